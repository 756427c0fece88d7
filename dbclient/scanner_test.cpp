// Tests of the SQL scanner: keyword recognition and word boundaries, the
// two-word keywords, names, string and number literals, operators, and the
// error routines.
#include "dbclient/scanner.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dbclient/grammar.h"
#include "proto/query.h"

namespace {

struct Scanned {
  int ok;
  int token;
  std::string text;
};

// Scans the whole of text (a writable copy) token by token until the scan
// fails or nothing more is recognised.
class ScannerTest : public ::testing::Test {
 protected:
  std::string source;
  char err[SCAN_ERR_SIZE];
  char text[SCAN_TEXT_SIZE];
  std::unique_ptr<SqlScanner> scanner;
  int &ptr() { return scanner->ptr; }

  void start(const std::string &s) {
    source = s;
    err[0] = '\0';
    scanner.reset();
    scanner.reset(new SqlScanner(&source[0], err));
  }

  Scanned one() {
    Scanned r;
    r.token = 0;
    r.ok = scan_token(&r.token, text);
    r.text = text;
    return r;
  }

  std::vector<Scanned> all(const std::string &s) {
    start(s);
    std::vector<Scanned> out;
    for (int i = 0; i < 100; i++) {
      out.push_back(one());
      if (!out.back().ok || out.back().token == TOK_NONE) break;
    }
    return out;
  }

  // Tokens as a string of codes ('-' for nothing, '!' for a failed scan).
  std::string codes(const std::string &s) {
    std::string r;
    for (const Scanned &t : all(s)) r += t.ok ? (char)t.token : '!';
    return r;
  }
};

TEST_F(ScannerTest, SimpleSelect) {
  auto t = all("select * from kunde");
  ASSERT_EQ(t.size(), 5u);
  EXPECT_EQ(t[0].token, 'u');
  EXPECT_EQ(t[1].token, 'W');
  EXPECT_EQ(t[2].token, 'v');
  EXPECT_EQ(t[3].token, 'a');
  EXPECT_EQ(t[3].text, "KUNDE");
  EXPECT_EQ(t[4].token, '-');
  EXPECT_EQ(t[4].ok, 1);
  // Words were upper-cased in place in the scanned text.
  EXPECT_EQ(source, "SELECT * FROM KUNDE");
}

TEST_F(ScannerTest, WordBoundaries) {
  auto t = all("SELECTED ORDER_NO timestamp in index indices database databases");
  ASSERT_GE(t.size(), 8u);
  EXPECT_EQ(t[0].token, 'a');
  EXPECT_EQ(t[0].text, "SELECTED");
  EXPECT_EQ(t[1].token, 'a');
  EXPECT_EQ(t[1].text, "ORDER_NO");
  EXPECT_EQ(t[2].token, TOK_TIMESTAMP);
  EXPECT_EQ(t[3].token, TOK_IN);
  EXPECT_EQ(t[4].token, TOK_INDEX);
  EXPECT_EQ(t[5].token, TOK_INDICES);
  EXPECT_EQ(t[6].token, TOK_DATABASE);
  EXPECT_EQ(t[7].token, TOK_DATABASES);
  EXPECT_EQ(codes("time tables table select1 x_y"), std::string("5\xfc?aa-"));
  // Letters X to Z start no keyword, '_' starts nothing.
  EXPECT_EQ(codes("zahl _a"), "a-");
}

TEST_F(ScannerTest, EveryKeyword) {
  const char *words =
      "and abort all asc begin between binary character count commit cursor close date "
      "declare desc database databases distinct end exists from float for fetch integer in "
      "index indices like min max not null or on smallint select set static save show secure "
      "stop time table timestamp tables update values where";
  const std::string expected =
      "y(%[)Y\xa6"
      "0C/Z&4$]}\xf6"
      "7xLv3!\xa7"
      "2M9\xe4"
      "VIJTFzj1uU\xdf{8\xc4\xd6"
      "5?6\xfcsXw-";
  EXPECT_EQ(codes(words), expected);
}

TEST_F(ScannerTest, TwoWordKeywords) {
  EXPECT_EQ(codes("insert  into order\tby delete from"), "rHt-");
  EXPECT_EQ(codes("drop table drop index drop database"), "pqo-");
  EXPECT_EQ(codes("create table create index create database create unique index"), "lmkn-");
  // The second word is the run of letters: a digit or '_' after it ends it
  // and is scanned on its own.
  EXPECT_EQ(codes("insert into1"), "rd-");
  EXPECT_EQ(codes("drop table2 create unique index3"), "pdnd-");
  EXPECT_EQ(codes("order by_x"), "H-");

  struct Case {
    const char *sql;
    const char *text;
  } fails[] = {{"insert kunde", "INSERT"}, {"order name", "ORDER"},
               {"drop kunde", "DROP"},     {"delete kunde", "DELETE"},
               {"create view", "CREATE"},  {"create unique table", "CREATE UNIQUE"},
               {"insert intox", "INSERT"}};
  for (const Case &c : fails) {
    start(c.sql);
    Scanned s = one();
    EXPECT_EQ(s.ok, 0) << c.sql;
    EXPECT_EQ(s.text, c.text) << c.sql;
  }
}

TEST_F(ScannerTest, Operators) {
  EXPECT_EQ(codes("( ) * , . ; = < > <= >= <>"), "ABWEDxRNOPQS-");
  EXPECT_EQ(codes("<>"), "S-");
  EXPECT_EQ(codes("< >"), "NO-");
  EXPECT_EQ(codes("a<=b"), "aPa-");
  // Characters that start no token are not consumed.
  start("+x");
  EXPECT_EQ(one().token, TOK_NONE);
  EXPECT_EQ(ptr(), 0);
}

TEST_F(ScannerTest, Numbers) {
  struct Case {
    const char *sql;
    int token;
    const char *text;
  } cases[] = {
      {"12", 'd', "12"},
      {"- 12", 'd', "-12"},
      {"-7", 'd', "-7"},
      {"1.5", 'e', "1.5"},
      {"12.", 'e', "12."},
      {"1e5", 'e', "1E5"},
      {"2.5e-3", 'e', "2.5E-3"},
      {"3E+2", 'e', "3E+2"},
      {"12345678901", 'e', "12345678901"},
      {"2147483647", 'd', "2147483647"},
      {"-2147483648", 'd', "-2147483648"},
      {"2147483648", 'e', "2147483648"},
  };
  for (const Case &c : cases) {
    start(c.sql);
    Scanned s = one();
    EXPECT_EQ(s.ok, 1) << c.sql;
    EXPECT_EQ(s.token, c.token) << c.sql;
    EXPECT_EQ(s.text, c.text) << c.sql;
  }
  EXPECT_EQ(codes("1.5e"), "-");
  EXPECT_EQ(codes("7ex"), "-");
  // A minus without a digit is consumed with the white space after it.
  start("-  x");
  EXPECT_EQ(one().token, TOK_NONE);
  EXPECT_EQ(ptr(), 3);
  EXPECT_EQ(codes("a=-1"), "aRd-");
}

TEST_F(ScannerTest, NumberLongerThanTheTokenBufferFails) {
  std::string fits(SCAN_TEXT_SIZE - 1, '7');
  start(fits);
  Scanned s = one();
  EXPECT_EQ(s.ok, 1);
  EXPECT_EQ(s.token, 'e');
  EXPECT_EQ(s.text.size(), fits.size());

  for (const std::string &n :
       {std::string(SCAN_TEXT_SIZE, '7'), std::string(20000, '7'), "1." + std::string(20000, '5'),
        "-" + std::string(SCAN_TEXT_SIZE - 1, '1'), "1e" + std::string(20000, '2')}) {
    start(n);
    Scanned s2 = one();
    EXPECT_EQ(s2.ok, 0) << n.size();
    EXPECT_EQ(s2.text, "Syntax error: number too long (max = 10000)");
  }
}

TEST_F(ScannerTest, Names) {
  std::string n31(31, 'n');
  start(n31 + " x");
  Scanned s = one();
  EXPECT_EQ(s.ok, 1);
  EXPECT_EQ(s.token, 'a');
  EXPECT_EQ(s.text, std::string(31, 'N'));

  std::string n40 = "k" + std::string(39, '1');
  start(n40);
  s = one();
  EXPECT_EQ(s.ok, 0);
  EXPECT_EQ(s.text, "Syntax error: name too long (K" + std::string(31, '1') + "...)");

  start("Kunde_2b");
  s = one();
  EXPECT_EQ(s.text, "KUNDE_2B");
}

TEST_F(ScannerTest, Strings) {
  start("'it\\'s' 'ab''cd' 'Gro\xdf'");
  Scanned s = one();
  EXPECT_EQ(s.token, 'f');
  EXPECT_EQ(s.text, "it's");
  s = one();
  EXPECT_EQ(s.text, "ab");
  s = one();
  EXPECT_EQ(s.token, 'f');
  EXPECT_EQ(s.text, "cd");
  s = one();
  EXPECT_EQ(s.text, "Gro\xdf");  // case and Latin-1 kept
  EXPECT_EQ(one().token, '-');

  start("'a\\\\b' ''");
  EXPECT_EQ(one().text, "a\\b");
  s = one();
  EXPECT_EQ(s.token, 'f');
  EXPECT_EQ(s.text, "");

  start("'abc");
  s = one();
  EXPECT_EQ(s.ok, 0);
  EXPECT_EQ(s.text, "Syntax error: unexpected end of string (abc)");
  start("'ab\\");
  s = one();
  EXPECT_EQ(s.ok, 0);
  EXPECT_EQ(s.text, "Syntax error: unexpected end of string (ab)");
}

TEST_F(ScannerTest, StringLengthLimit) {
  std::string longest = "'" + std::string(9999, 's') + "'";
  start(longest);
  Scanned s = one();
  EXPECT_EQ(s.ok, 1);
  EXPECT_EQ(s.text.size(), 9999u);

  start("'" + std::string(10000, 's') + "'");
  s = one();
  EXPECT_EQ(s.ok, 0);
  EXPECT_EQ(s.text, "Syntax error: string too long (max = 10000)");

  // An unterminated string of the longest length: the text is cut, not overrun.
  start("'" + std::string(9999, 's'));
  s = one();
  EXPECT_EQ(s.ok, 0);
  EXPECT_EQ(s.text.size(), (size_t)SCAN_TEXT_SIZE - 1);
  EXPECT_EQ(s.text.compare(0, 40, "Syntax error: unexpected end of string ("), 0);
}

TEST_F(ScannerTest, ErrorRoutines) {
  start("from");
  int tok;
  EXPECT_EQ(match_token(&tok, 'u', text), 0);
  EXPECT_STREQ(err, "Syntax error: SELECT expected (found FROM)");
  start("insert x");
  EXPECT_EQ(match_token(&tok, 'r', text), 0);
  EXPECT_STREQ(err, "Unexpected end of file at 'INSERT'");
  start("where");
  EXPECT_EQ(match_token(&tok, 'w', text), 1);

  _error("FROM", 'w');
  EXPECT_STREQ(err, "Syntax error: FROM expected (found 'WHERE')");
  _scan_token_error(err, "table-list");
  EXPECT_STREQ(err, "Unexpected end of query (expected table-list)");

  // A very long token text is cut to the error field.
  start("'" + std::string(9990, 'z'));
  EXPECT_EQ(match_token(&tok, 'f', text), 0);
  EXPECT_EQ(std::string(err).size(), (size_t)SCAN_ERR_SIZE - 1);
}

// The statements a splitter makes of text fed in pieces of the given sizes
// (cycled), as "line:text".
std::vector<std::string> split(const std::string &text, std::vector<size_t> pieces = {}) {
  SqlSplitter sp;
  std::vector<SqlStatement> got;
  size_t at = 0;
  for (size_t k = 0; at < text.size(); k++) {
    size_t n = pieces.empty() ? text.size() : std::min(pieces[k % pieces.size()], text.size() - at);
    sp.feed(text.data() + at, n, &got);
    at += n;
  }
  sp.finish(&got);
  std::vector<std::string> r;
  for (const SqlStatement &st : got) r.push_back(std::to_string(st.line) + ":" + st.text);
  return r;
}

using Lines = std::vector<std::string>;

TEST(SqlSplitter, EndsWhereTheScannerEnds) {
  // A backslash-escaped quote keeps the literal open: no injected DROP.
  EXPECT_EQ(
      split("INSERT INTO K0 VALUES (2, 'a\\'; DROP TABLE K0; ');\nSELECT * FROM K0;"),
      Lines({"1:INSERT INTO K0 VALUES (2, 'a\\'; DROP TABLE K0; ');", "2:SELECT * FROM K0;"}));
  EXPECT_EQ(split("insert into t values ('O\\'Brien');insert into t values ('x')"),
            Lines({"1:insert into t values ('O\\'Brien');", "1:insert into t values ('x')"}));
  // END ends a statement, unless it opens one (COMMIT) or is part of a word
  // or a literal; a lone ';' is an empty statement; "" is no escape.
  EXPECT_EQ(split("begin end\nend;\n;;\nselect * from t where a = 'end;' end ENDE;\n'ab''c;'"),
            Lines({"1:begin end", "2:end;", "4:select * from t where a = 'end;' end", "4:ENDE;",
                   "5:'ab''c;'"}));
  // Unreadable text does not swallow the next statement; an open literal
  // runs to the end of the input.
  EXPECT_EQ(split("insert kunde; select " + std::string(40, 'x') + "; \"a;b\" ; x = 'open;\n;"),
            Lines({"1:insert kunde;", "1:select " + std::string(40, 'x') + ";", "1:\"a;", "1:b\" ;",
                   "1:x = 'open;\n;"}));
  EXPECT_EQ(split("  \n\t "), Lines());
}

// Generated statements whose literals hold quotes, backslashes, ';' and END,
// ended by ';' or END and fed in every piece size from 1 to 7: the splitter
// gives back exactly the statements, and each is where the grammar itself
// stops reading.
TEST(SqlSplitter, GeneratedStatementsComeBackWhole) {
  std::mt19937 rng(12453);
  // ("''" is left out: it makes two literals, which the grammar refuses.)
  const char *bits[] = {"'", "\\'", "\\\\", ";", " END ", "end", "x", "\n", "<", "-"};
  for (int round = 0; round < 40; round++) {
    std::vector<std::string> want;
    std::string text;
    int line = 1;
    for (int k = 0; k < 12; k++) {
      std::string lit;
      for (int j = rng() % 8; j > 0; j--) {
        std::string b = bits[rng() % 10];
        if (b == "'") b = "\\'";
        lit += b;
      }
      std::string stmt = "insert into K" + std::to_string(k) + " values (" + std::to_string(k) +
                         ", '" + lit + "')" + (rng() % 2 ? ";" : " END");
      std::string gap = rng() % 3 ? "\n" : "  ";
      want.push_back(std::to_string(line) + ":" + stmt);
      for (char c : stmt + gap) line += c == '\n';
      text += stmt + gap;
      // The grammar translates the statement and stops right after it.
      std::string copy = stmt + " garbage";
      char err[SCAN_ERR_SIZE];
      DBquery_init();
      int end = -1;
      ASSERT_EQ(scan_sql(&copy[0], err, &end), 1) << stmt << ": " << err;
      EXPECT_EQ(end, (int)stmt.size()) << stmt;
    }
    for (size_t piece = 1; piece <= 7; piece++) ASSERT_EQ(split(text, {piece}), want) << text;
    ASSERT_EQ(split(text), want);
  }
}

// open() tells whether a statement is unfinished, for a continuation prompt:
// not for white space or a lone ';', yes inside a statement or an open
// literal that holds a ';'.
TEST(SqlSplitter, OpenWhileAStatementIsUnfinished) {
  SqlSplitter sp;
  std::vector<SqlStatement> got;
  auto feed = [&](const std::string &t) {
    sp.feed(t.data(), t.size(), &got);
    return sp.open();
  };
  EXPECT_FALSE(sp.open());
  EXPECT_FALSE(feed("  \n\t"));
  EXPECT_TRUE(feed("select *\n"));
  EXPECT_FALSE(feed("from t;\n"));
  EXPECT_TRUE(feed("insert into t values ('a;\n"));
  EXPECT_TRUE(feed("end\n"));
  EXPECT_FALSE(feed("');\n"));
  EXPECT_FALSE(feed(";\n"));
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].text, "insert into t values ('a;\nend\n');");
}

}  // namespace
