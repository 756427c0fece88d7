// Fuzz tests of the SQL translator (scan_sql of dbclient/grammar.h, with the
// scanner under it): random texts, soups of SQL words and symbols, and
// mutated valid statements.  Every text either translates into a
// well-formed request (a known command code, then tokens whose values all
// read back and end exactly at the request's end) or fails with an error
// text; the text is read only up to its terminating NUL, and the same text
// always gives the same outcome.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dbclient/grammar.h"
#include "proto/query.h"
#include "dbclient/result.h"
#include "dbclient/scanner.h"
#include "tests/fuzz/fuzz.h"

using fuzz::Bytes;
using fuzz::Rng;

namespace {

const std::vector<std::string> &kStatements = fuzz::sql_corpus();

const std::vector<std::string> kWords = {"SELECT",
                                         "FROM",
                                         "WHERE",
                                         "ORDER",
                                         "BY",
                                         "ORDER BY",
                                         "DESC",
                                         "ASC",
                                         "AND",
                                         "OR",
                                         "NOT",
                                         "IN",
                                         "BETWEEN",
                                         "LIKE",
                                         "EXISTS",
                                         "COUNT",
                                         "MIN",
                                         "MAX",
                                         "DISTINCT",
                                         "INSERT",
                                         "INTO",
                                         "INSERT INTO",
                                         "VALUES",
                                         "UPDATE",
                                         "SET",
                                         "DELETE",
                                         "DELETE FROM",
                                         "CREATE",
                                         "CREATE TABLE",
                                         "CREATE UNIQUE",
                                         "CREATE UNIQUE INDEX",
                                         "UNIQUE",
                                         "INDEX",
                                         "DROP",
                                         "DROP TABLE",
                                         "TABLE",
                                         "DATABASE",
                                         "DATABASES",
                                         "TABLES",
                                         "INDICES",
                                         "ON",
                                         "SHOW",
                                         "STATIC",
                                         "SECURE",
                                         "SAVE",
                                         "DECLARE",
                                         "CURSOR",
                                         "FOR",
                                         "FETCH",
                                         "ALL",
                                         "CLOSE",
                                         "BEGIN",
                                         "COMMIT",
                                         "END",
                                         "ABORT",
                                         "STOP",
                                         "NULL",
                                         "CHARACTER",
                                         "BINARY",
                                         "SMALLINT",
                                         "INTEGER",
                                         "FLOAT",
                                         "DATE",
                                         "TIME",
                                         "TIMESTAMP",
                                         "(",
                                         ")",
                                         ",",
                                         ".",
                                         "*",
                                         ";",
                                         "=",
                                         "<",
                                         ">",
                                         "<=",
                                         ">=",
                                         "<>",
                                         "-",
                                         "'",
                                         "'text'",
                                         "'it\\'s'",
                                         "'",
                                         "\\",
                                         "1",
                                         "-1",
                                         "0",
                                         "2147483647",
                                         "2147483648",
                                         "-2147483649",
                                         "1.5",
                                         "1e5",
                                         "1E",
                                         "1e+",
                                         "-.",
                                         "3.",
                                         ".5",
                                         "K",
                                         "KUNDE",
                                         "NAME",
                                         "NR",
                                         "T",
                                         "U",
                                         "A_B",
                                         "X1",
                                         "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEF",
                                         "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFG",
                                         "#",
                                         "@",
                                         "\t",
                                         "\n",
                                         " ",
                                         "\xc4\xd6\xdc",
                                         "\xe4",
                                         "_"};

// The command codes a translated request may start with.
bool known_command(int c) {
  switch (c) {
    case CMD_CREATE_DATABASE:
    case CMD_DROP_DATABASE:
    case CMD_CREATE_TABLE:
    case CMD_DROP_TABLE:
    case CMD_CREATE_INDEX:
    case CMD_CREATE_UNIQUE_INDEX:
    case CMD_DROP_INDEX:
    case CMD_SELECT:
    case CMD_INSERT:
    case CMD_DELETE:
    case CMD_UPDATE:
    case CMD_BEGIN:
    case CMD_COMMIT:
    case CMD_ABORT:
    case CMD_DECLARE:
    case CMD_FETCH:
    case CMD_CLOSE:
    case CMD_SET_STATIC:
    case CMD_SAVE_DATABASE:
    case CMD_SHOW:
    case CMD_MAX:
    case CMD_SET_SECURE:
    case CMD_STOP:
    case CMD_SET_DATABASE: return true;
    default: return false;
  }
}

// Walks a translated request: every value token is followed by a complete
// value, names are at most SCAN_NAME_MAX characters, and the walk ends
// exactly at the end.
void check_request(const char *data, int len, const std::string &sql) {
  ASSERT_GE(len, 1) << sql;
  EXPECT_TRUE(known_command(static_cast<unsigned char>(data[0])))
      << sql << ": command " << static_cast<int>(data[0]);
  char err[DB_GET_ERRSIZE];
  int pos = 1;
  while (pos < len) {
    int tok;
    pos = DBget_token(pos, data, len, &tok, err);
    ASSERT_GT(pos, 0) << sql;
    const char *text;
    switch (tok) {
      case TOK_NAME:
        pos = DBget_name(pos, data, len, &text, err);
        ASSERT_GT(pos, 0) << sql << ": " << err;
        EXPECT_LE(strlen(text), static_cast<size_t>(SCAN_NAME_MAX)) << sql;
        EXPECT_GT(strlen(text), 0u) << sql;
        break;
      case TOK_STRING:
        pos = DBget_string(pos, data, len, &text, err);
        ASSERT_GT(pos, 0) << sql << ": " << err;
        break;
      case TOK_INT:
        pos = DBget_int(pos, data, len, nullptr, err);
        ASSERT_GT(pos, 0) << sql << ": " << err;
        break;
      case TOK_DOUBLE:
        pos = DBget_double(pos, data, len, nullptr, err);
        ASSERT_GT(pos, 0) << sql << ": " << err;
        break;
      default: EXPECT_FALSE(tok == TOK_ERRMSG || tok == TOK_SHORT || tok == TOK_NONE) << sql; break;
    }
  }
  EXPECT_EQ(pos, len) << sql;
}

// Translates text from an exactly sized copy (its NUL is the last byte of
// the block) and checks the outcome.  Returns the request, or empty.
Bytes translate(const std::string &text) {
  Bytes b(text.begin(), text.end());
  b.push_back(0);
  fuzz::Exact x(b);
  std::vector<char> err(SCAN_ERR_SIZE, 'Z');
  DBquery_init();
  int ok = scan_sql(x.data(), err.data());
  EXPECT_TRUE(ok == 0 || ok == 1);
  EXPECT_NE(std::find(err.begin(), err.end(), '\0'), err.end()) << "error text not terminated";
  Bytes req;
  if (ok) {
    EXPECT_EQ(err[0], '\0') << text << ": " << err.data();
    req.assign(query_data, query_data + query_size);
    check_request(req.data(), static_cast<int>(req.size()), text);
  } else {
    EXPECT_NE(err[0], '\0') << "failed without a text: " << text;
  }
  // Only letters change, and only to upper case.
  for (size_t i = 0; i < text.size(); i++) {
    char a = text[i], c = x.data()[i];
    if (a != c) {
      EXPECT_EQ(c, toupper(static_cast<unsigned char>(a))) << text;
    }
  }
  EXPECT_EQ(x.data()[text.size()], '\0');

  // The same text again (through DBtranslate, which appends a missing ';'):
  // the same outcome when the text already ends in ';'.
  if (!text.empty() && text.back() == ';' && text.find('\0') == std::string::npos) {
    std::vector<char> err2(DB_ERRMSG_SIZE);
    int ok2 = DBtranslate(text.c_str(), err2.data());
    EXPECT_EQ(ok2, ok) << text;
    if (ok && ok2) {
      EXPECT_EQ(Bytes(query_data, query_data + query_size), req) << text;
    }
    if (!ok && !ok2) {
      EXPECT_STREQ(err2.data(), err.data()) << text;
    }
  }
  return req;
}

std::string soup(Rng &rng) {
  std::string s;
  int n = 1 + rng.below(25);
  for (int i = 0; i < n; i++) {
    s += rng.pick(kWords);
    if (!rng.chance(4)) s += ' ';
  }
  if (rng.chance(2)) s += ';';
  return s;
}

}  // namespace

// Every valid statement translates, and so does every statement word for
// word in lower case.
TEST(GrammarFuzz, CorpusTranslates) {
  for (const std::string &s : kStatements) {
    EXPECT_FALSE(translate(s).empty()) << s;
    std::string lower;
    for (char c : s) lower += static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_FALSE(translate(lower).empty()) << lower;
  }
}

// Every prefix of every valid statement: a clean outcome each time, and no
// read past the end of a text that stops anywhere (inside a string, a
// number, a two-word keyword ...).
TEST(GrammarFuzz, EveryPrefix) {
  for (const std::string &s : kStatements)
    for (size_t cut = 0; cut <= s.size(); cut++) translate(s.substr(0, cut));
}

// Random bytes, soups of SQL words and symbols, and mutated statements.
TEST(GrammarFuzz, RandomSoupsAndMutations) {
  Rng rng(31);
  std::vector<Bytes> corpus;
  for (const std::string &s : kStatements) corpus.push_back(fuzz::of(s));
  for (int iter = 0; iter < 20000; iter++) {
    std::string text;
    switch (rng.below(3)) {
      case 0: {
        Bytes b = rng.bytes(rng.below(60));
        for (auto &c : b)
          if (c == 0) c = ' ';
        text.assign(b.begin(), b.end());
        break;
      }
      case 1: text = soup(rng); break;
      default: {
        Bytes b = rng.pick(corpus);
        fuzz::mutate_some(rng, b, 4, rng.pick(corpus));
        for (auto &c : b)
          if (c == 0) c = '\t';
        text.assign(b.begin(), b.end());
        break;
      }
    }
    Bytes first = translate(text);
    EXPECT_EQ(translate(text), first) << "not deterministic: " << text;
  }
}

// Texts at the scanner's limits: names, strings and numbers of the longest
// allowed length and one more, and brackets nested up to and beyond the
// grammar's limit.
TEST(GrammarFuzz, LimitsAndNesting) {
  std::string name31(31, 'N'), name32(32, 'N');
  EXPECT_FALSE(translate("SELECT " + name31 + " FROM T;").empty());
  EXPECT_TRUE(translate("SELECT " + name32 + " FROM T;").empty());
  for (int n : {9998, 9999, 10000, 20000}) {
    std::string str(static_cast<size_t>(n), 's');
    translate("INSERT INTO T VALUES ('" + str + "');");
    translate("INSERT INTO T VALUES ('" + str);
    std::string num(static_cast<size_t>(n), '7');
    translate("INSERT INTO T VALUES (" + num + ");");
    translate("INSERT INTO T VALUES (1." + num + "e" + num + ");");
  }
  for (int depth : {1, 100, 255, 256, 257, 5000}) {
    std::string open, close;
    for (int i = 0; i < depth; i++) {
      open += "(";
      close += ")";
    }
    Bytes r = translate("SELECT * FROM T WHERE " + open + "A = 1" + close + ";");
    EXPECT_EQ(r.empty(), depth >= 256) << depth;
    std::string sub;
    for (int i = 0; i < depth && i < 400; i++) sub += "X IN (SELECT A FROM T WHERE ";
    sub += "A = 1";
    for (int i = 0; i < depth && i < 400; i++) sub += ")";
    translate("SELECT * FROM T WHERE " + sub + ";");
    translate("SELECT * FROM T WHERE " + open);
    std::string nots;
    for (int i = 0; i < depth; i++) nots += "NOT (";
    translate("SELECT * FROM T WHERE " + nots + "A = 1" + close + ";");
  }
}
