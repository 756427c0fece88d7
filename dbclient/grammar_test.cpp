// Tests of the statement grammar: the exact request bytes of every statement
// kind, the postfix order of expressions, and the error texts.
#include "dbclient/grammar.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "proto/query.h"
#include "dbclient/scanner.h"

namespace {

// Builds an expected request in the notation of the token stream.
struct Req {
  std::string b;
  Req &t(int code) {
    b += (char)code;
    return *this;
  }
  Req &t(const char *codes) {
    b += codes;
    return *this;
  }
  Req &text(int code, const std::string &s) {
    b += (char)code;
    uint16_t n = (uint16_t)(s.size() + 1);
    b += (char)(n & 0xff);
    b += (char)(n >> 8);
    b += s;
    b += '\0';
    return *this;
  }
  Req &name(const std::string &s) { return text('a', s); }
  Req &str(const std::string &s) { return text('f', s); }
  Req &i(int32_t v) {
    b += 'd';
    for (int k = 0; k < 4; k++) b += (char)((uint32_t)v >> (8 * k));
    return *this;
  }
  Req &f(double v) {
    uint64_t bits;
    memcpy(&bits, &v, 8);
    b += 'e';
    for (int k = 0; k < 8; k++) b += (char)(bits >> (8 * k));
    return *this;
  }
};

std::string hex(const std::string &s) {
  static const char digits[] = "0123456789abcdef";
  std::string h;
  for (unsigned char c : s) {
    h += digits[c >> 4];
    h += digits[c & 15];
  }
  return h;
}

class GrammarTest : public ::testing::Test {
 protected:
  char err[SCAN_ERR_SIZE];

  // The request for text, or "ERROR: " and the error text.
  std::string run(const std::string &text) {
    std::string copy = text;
    DBquery_init();
    err[0] = '\0';
    if (!scan_sql(&copy[0], err)) return std::string("ERROR: ") + err;
    EXPECT_STREQ(err, "");
    return std::string(query_data, (size_t)query_size);
  }

  void expect_bytes(const std::string &text, const Req &r) {
    std::string got = run(text);
    EXPECT_EQ(hex(got), hex(r.b)) << text << "\n got: " << got;
  }

  void expect_error(const std::string &text, const std::string &message) {
    EXPECT_EQ(run(text), "ERROR: " + message) << text;
  }
};

TEST_F(GrammarTest, WorkedSelect) {
  expect_bytes("SELECT NAME FROM KUNDE WHERE NR = 5 ORDER BY NAME DESC;", Req()
                                                                              .t('C')
                                                                              .name("NAME")
                                                                              .t('v')
                                                                              .name("KUNDE")
                                                                              .t('w')
                                                                              .name("NR")
                                                                              .i(5)
                                                                              .t('R')
                                                                              .t('w')
                                                                              .t('H')
                                                                              .name("NAME")
                                                                              .t(']')
                                                                              .t('H')
                                                                              .t('x'));
}

TEST_F(GrammarTest, SelectLists) {
  expect_bytes("select * from t;", Req().t('C').t('W').t('v').name("T").t('x'));
  expect_bytes("select distinct a, b from t;",
               Req().t('C').t('7').name("A").name("B").t('v').name("T").t('x'));
  expect_bytes("select count(*) from t;", Req().t('C').t('C').t('v').name("T").t('x'));
  expect_bytes(
      "select min(a), max(k.b) from t k;",
      Req().t('C').t('I').name("A").t('J').str("K").name("B").t('v').name("T").str("K").t('x'));
  expect_bytes("SELECT K.NAME, k.* FROM KUNDE K, ORT WHERE K.NAME = 'x';", Req()
                                                                               .t('C')
                                                                               .str("K")
                                                                               .name("NAME")
                                                                               .str("K")
                                                                               .t('W')
                                                                               .t('v')
                                                                               .name("KUNDE")
                                                                               .str("K")
                                                                               .name("ORT")
                                                                               .t('w')
                                                                               .t('D')
                                                                               .name("K")
                                                                               .name("NAME")
                                                                               .str("x")
                                                                               .t('R')
                                                                               .t('w')
                                                                               .t('x'));
  expect_bytes("select a from t order by k.a asc, b desc, c;", Req()
                                                                   .t('C')
                                                                   .name("A")
                                                                   .t('v')
                                                                   .name("T")
                                                                   .t('H')
                                                                   .t('D')
                                                                   .name("K")
                                                                   .name("A")
                                                                   .name("B")
                                                                   .t(']')
                                                                   .name("C")
                                                                   .t('H')
                                                                   .t('x'));
  // END ends a statement like ';'.
  expect_bytes("select a from t end", Req().t('C').name("A").t('v').name("T").t('x'));
}

TEST_F(GrammarTest, ExpressionOrder) {
  Req head = Req().t('C').t('W').t('v').name("T").t('w');
  expect_bytes("select * from t where a = 1 or b = 2 and c = 3;", Req(head)
                                                                      .name("A")
                                                                      .i(1)
                                                                      .t('R')
                                                                      .name("B")
                                                                      .i(2)
                                                                      .t('R')
                                                                      .name("C")
                                                                      .i(3)
                                                                      .t('R')
                                                                      .t('y')
                                                                      .t('z')
                                                                      .t('w')
                                                                      .t('x'));
  expect_bytes("select * from t where (a = 1 or b = 2) and c = 3;", Req(head)
                                                                        .name("A")
                                                                        .i(1)
                                                                        .t('R')
                                                                        .name("B")
                                                                        .i(2)
                                                                        .t('R')
                                                                        .t('z')
                                                                        .name("C")
                                                                        .i(3)
                                                                        .t('R')
                                                                        .t('y')
                                                                        .t('w')
                                                                        .t('x'));
  expect_bytes("select * from t where not a = 1;",
               Req(head).name("A").i(1).t('R').t('T').t('w').t('x'));
  expect_bytes(
      "select * from t where a < 1 and b > 2.5 and c <= 'x' and d >= e and f <> g and h like 'A%';",
      Req(head)
          .name("A")
          .i(1)
          .t('N')
          .name("B")
          .f(2.5)
          .t('O')
          .t('y')
          .name("C")
          .str("x")
          .t('P')
          .t('y')
          .name("D")
          .name("E")
          .t('Q')
          .t('y')
          .name("F")
          .name("G")
          .t('S')
          .t('y')
          .name("H")
          .str("A%")
          .t('V')
          .t('y')
          .t('w')
          .t('x'));
  expect_bytes("select * from t where x in (1, 2, 3);",
               Req(head).name("X").i(1).i(2).i(3).i(3).t('M').t('w').t('x'));
  expect_bytes("select * from t where x between 1 and 'z' and flag;",
               Req(head).name("X").i(1).str("z").t('Y').name("FLAG").t('y').t('w').t('x'));
}

TEST_F(GrammarTest, Subselects) {
  Req head = Req().t('C').t('W').t('v').name("T").t('w');
  expect_bytes("select * from t where a = (select max(b) from u);",
               Req(head).name("A").t('u').t('J').name("B").t('v').name("U").t('R').t('w').t('x'));
  expect_bytes("select * from t where a in (select b from u where c = 1);", Req(head)
                                                                                .name("A")
                                                                                .t('u')
                                                                                .name("B")
                                                                                .t('v')
                                                                                .name("U")
                                                                                .t('w')
                                                                                .name("C")
                                                                                .i(1)
                                                                                .t('R')
                                                                                .t('w')
                                                                                .i(1)
                                                                                .t('M')
                                                                                .t('w')
                                                                                .t('x'));
  expect_bytes("select * from t where exists (select * from u) and not exists (select * from v);",
               Req(head)
                   .t('=')
                   .t('W')
                   .t('v')
                   .name("U")
                   .t('L')
                   .t('=')
                   .t('W')
                   .t('v')
                   .name("V")
                   .t('L')
                   .t('T')
                   .t('y')
                   .t('w')
                   .t('x'));
  expect_bytes("select * from t where (select * from u);",
               Req(head).t('W').t('v').name("U").t('w').t('x'));
}

TEST_F(GrammarTest, Cursors) {
  expect_bytes("declare c cursor for select a from t;",
               Req().t('N').name("C").name("A").t('v').name("T").t('x'));
  expect_bytes("fetch all in c;", Req().t('O').t('%').name("C"));
  expect_bytes("fetch in c;", Req().t('O').name("C"));
  expect_bytes("fetch next c;", Req().t('O').name("C"));
  expect_bytes("close c;", Req().t('P').name("C"));
}

TEST_F(GrammarTest, DataChanges) {
  expect_bytes("insert into t (a, b) values (1, 'x');",
               Req().t('E').name("T").name("A").name("B").t('X').i(1).str("x").t('x'));
  expect_bytes("INSERT INTO T VALUES (1, 'x', 2.5);",
               Req().t('E').name("T").t('X').i(1).str("x").f(2.5).t('x'));
  expect_bytes("update t set a = 1, b = 'neu' where c = 2;", Req()
                                                                 .t('I')
                                                                 .name("T")
                                                                 .name("A")
                                                                 .i(1)
                                                                 .name("B")
                                                                 .str("neu")
                                                                 .t('w')
                                                                 .name("C")
                                                                 .i(2)
                                                                 .t('R')
                                                                 .t('w')
                                                                 .t('x'));
  expect_bytes("update t set a = -1.5;", Req().t('I').name("T").name("A").f(-1.5).t('x'));
  expect_bytes("delete from t where a = 1;",
               Req().t('G').name("T").t('w').name("A").i(1).t('R').t('w').t('x'));
  expect_bytes("delete from t;", Req().t('G').name("T").t('x'));
}

TEST_F(GrammarTest, TransactionsAndControl) {
  expect_bytes("begin;", Req().t('J'));
  expect_bytes("commit;", Req().t('K'));
  expect_bytes("END;", Req().t('K'));
  expect_bytes("abort;", Req().t('M'));
  expect_bytes("stop;", Req().t('V'));
  expect_bytes("max 100;", Req().t('T').i(100));
  expect_bytes("max 0;", Req().t('T').i(0));
  expect_bytes("max;", Req().t('T').t('F'));
  expect_bytes("BEGIN; SELECT * FROM T", Req().t('J'));
}

TEST_F(GrammarTest, ShowAndSet) {
  expect_bytes("SHOW DATABASES;", Req().t('S').t(246));
  expect_bytes("show tables;", Req().t('S').t(252));
  expect_bytes("show indices;", Req().t('S').t(228));
  expect_bytes("show indices on table kunde;", Req().t('S').t('?').t(228).name("KUNDE"));
  expect_bytes("show table kunde;", Req().t('S').t('?').name("KUNDE"));
  expect_bytes("show index ix;", Req().t('S').t('9').name("IX"));
  expect_bytes("set table t static;", Req().t('Q').name("T"));
  expect_bytes("set table t secure;", Req().t('U').name("T"));
  expect_bytes("set database demo;", Req().t('X').name("DEMO"));
  expect_bytes("save database;", Req().t('R'));
}

TEST_F(GrammarTest, Definitions) {
  expect_bytes("create database demo;", Req().t('3').name("DEMO"));
  expect_bytes("drop database;", Req().t('4'));
  expect_bytes("drop table t;", Req().t('6').name("T"));
  expect_bytes("drop index i;", Req().t('9').name("I"));
  expect_bytes(
      "create table kunde (nr integer not null, name character(30), b binary(8), s smallint, "
      "f float, d date, z time, ts timestamp);",
      Req()
          .t('5')
          .name("KUNDE")
          .name("NR")
          .t('2')
          .t('F')
          .name("NAME")
          .t('0')
          .i(30)
          .name("B")
          .t(166)
          .i(8)
          .name("S")
          .t('1')
          .name("F")
          .t('3')
          .name("D")
          .t('4')
          .name("Z")
          .t('5')
          .name("TS")
          .t('6')
          .t('x'));
  expect_bytes("create index ix on kunde (nr, name);",
               Req().t('7').name("IX").name("KUNDE").name("NR").name("NAME").t('x'));
  expect_bytes("create unique index ix on kunde (nr);",
               Req().t('8').name("IX").name("KUNDE").name("NR").t('x'));
}

TEST_F(GrammarTest, StatementErrors) {
  expect_error(";", "Syntax error: end of SQL-command expected (found '<unknown token>')");
  expect_error("kunde lesen;", "(DBexec) Syntax error: SQL-command KUNDE not known");
  expect_error("  where;", "(DBexec) Syntax error: SQL-command WHERE; not known");
  expect_error("insert kunde;", "Unexpected end of query (expected SQL-command)");
  expect_error("begin work;",
               "Syntax error: end of SQL-command expected (found '<identifier value>')");
  expect_error("begin 'x", "Unexpected end of query (expected query-end)");
  expect_error("select a from t x y;", "Syntax error: ';' expected (found '<identifier value>')");
  expect_error("select a from t", "Syntax error: ';' expected (found '<unknown token>')");
  expect_error("MAX -1;",
               "Syntax error: MAX: negative result row maximum expected (found '<integer value>')");
  expect_error("max 'x';", "Syntax error: <max-results> expected (found '<string value>')");
  expect_error("show kunde;", "Syntax error: SHOW expected (found '<identifier value>')");
  expect_error("show 'abc", "Unexpected end of query (expected SHOW)");
  expect_error("set kunde;", "Syntax error: TABLE expected (found '<identifier value>')");
  expect_error("set table t open;", "Syntax error: STATIC expected (found '<identifier value>')");
  expect_error("save table;", "Syntax error: DATABASE expected (found TABLE)");
  expect_error("fetch all c;", "Syntax error: IN expected (found <identifier value>)");
  expect_error("drop table;", "Syntax error: <identifier value> expected (found ;)");
  expect_error("close 'c';", "Syntax error: <identifier value> expected (found <string value>)");
  expect_error("declare c for select a from t;", "Syntax error: CURSOR expected (found FOR)");
}

TEST_F(GrammarTest, SelectErrors) {
  expect_error("select a where b = 1;", "Syntax error: FROM expected (found 'WHERE')");
  expect_error("select from t;", "Syntax error: attrib-name expected (found 'FROM')");
  expect_error("select distinct distinct a from t;",
               "Syntax error: attrib-name expected (found 'DISTINCT')");
  expect_error("select count(a) from t;", "Syntax error: * expected (found <identifier value>)");
  expect_error("select min(a from t;", "Syntax error: ')' expected (found 'FROM')");
  expect_error("select a from 'x';", "Syntax error: table-name expected (found '<string value>')");
  expect_error("select a from t where a = null;",
               "Syntax error: expr-value expected (found 'NULL')");
  expect_error("select a from t where = 1;", "Syntax error: expr-element expected (found '=')");
  expect_error("select a from t where x in (1, b);",
               "Syntax error: <value> expected (found '<identifier value>')");
  expect_error("select a from t where x in 1;",
               "Syntax error: '(' expected (found '<integer value>')");
  expect_error("select a from t where x between 1 or 2;",
               "Syntax error: 'AND' expected (found 'OR')");
  expect_error("select a from t where (a = 1;", "Syntax error: ')' expected (found ';')");
  expect_error("select a from t where a = (1);",
               "Syntax error: SELECT expected (found <integer value>)");
  expect_error("select a from t where a = 'x;", "Unexpected end of query (expected value)");
  expect_error("select a from t order by 1;",
               "Syntax error: attrib-name expected (found '<integer value>')");
  expect_error("select a from t order a;", "Unexpected end of query (expected WHERE)");
  expect_error("select a." + std::string(40, 'b') + " from t;",
               "Unexpected end of query (expected attrib-name)");
}

TEST_F(GrammarTest, ChangeAndDefinitionErrors) {
  expect_error("INSERT INTO T (A, B) VALUES (1);",
               "(INSERT) attributes (2) do not match values (1)");
  expect_error("insert into t (a) values (1, 2);",
               "(INSERT) attributes (1) do not match values (2)");
  expect_error("insert into t (a) (1);", "Syntax error: VALUES expected (found ()");
  expect_error("insert into t values (a);",
               "Syntax error: <value> expected (found '<identifier value>')");
  expect_error("insert into t values (1 2);",
               "Syntax error: ')' expected (found '<integer value>')");
  expect_error("UPDATE T SET A = NULL;", "Syntax error: <value> expected (found 'NULL')");
  expect_error("update t a = 1;", "Syntax error: SET expected (found <identifier value>)");
  expect_error("update t set a = 1 b = 2;",
               "Syntax error: ';' expected (found '<identifier value>')");
  expect_error("delete from t where;", "Syntax error: expr-element expected (found ';')");
  expect_error("create table t (a varchar(3));",
               "Syntax error: datatype expected (found '<identifier value>')");
  expect_error("create table t (a character);", "Syntax error: ( expected (found ))");
  expect_error("create table t (a character(x));",
               "Syntax error: datatype expected (found '<identifier value>')");
  expect_error("create table t (a integer not 1);",
               "Syntax error: NULL expected (found <integer value>)");
  expect_error("create table t (a integer;", "Syntax error: ')' expected (found ';')");
  expect_error("create index i kunde (a);",
               "Syntax error: <unknown token> expected (found <identifier value>)");
  expect_error("create unique index i on t a;",
               "Syntax error: ( expected (found <identifier value>)");
  expect_error("create unique t;", "Unexpected end of query (expected SQL-command)");
}

// Where a name token is required, a name over the limit gives the scanner's
// message alone, not wrapped in the end-of-file text a partial keyword gets.
TEST_F(GrammarTest, TooLongNamesAreNamedAlone) {
  std::string name(40, 'n'), msg = "Syntax error: name too long (" + std::string(32, 'N') + "...)";
  for (const std::string &stmt :
       {"insert into " + name + " values (1);", "update " + name + " set a = 1;",
        "delete from " + name + ";", "show table " + name + ";", "drop table " + name + ";",
        "create table " + name + " (a integer);"})
    expect_error(stmt, msg);
  expect_error("declare c cursor for insert x;", "Unexpected end of file at 'INSERT'");
}

// A text as long as the error field may get, and a name longer than allowed,
// stay inside the error field.
TEST_F(GrammarTest, LongTextsStayInBounds) {
  std::string word(20000, 'K');
  std::string got = run(word + ";");
  EXPECT_EQ(got, "ERROR: Unexpected end of query (expected SQL-command)");
  std::string bad(300, '#');
  got = run(bad);
  EXPECT_EQ(got,
            "ERROR: (DBexec) Syntax error: SQL-command " + std::string(255, '#') + " not known");
  std::string lit = "select * from t where a = '" + std::string(9999, 'v') + "';";
  expect_bytes(lit, Req()
                        .t('C')
                        .t('W')
                        .t('v')
                        .name("T")
                        .t('w')
                        .name("A")
                        .str(std::string(9999, 'v'))
                        .t('R')
                        .t('w')
                        .t('x'));
}

// Brackets and subselects nest by recursion: a sane depth translates, an
// absurd one fails with a text instead of overrunning the stack.
TEST_F(GrammarTest, NestingDepthIsLimited) {
  Req head = Req().t('C').t('W').t('v').name("T").t('w');
  expect_bytes(
      "select * from t where " + std::string(255, '(') + "a = 1" + std::string(255, ')') + ";",
      Req(head).name("A").i(1).t('R').t('w').t('x'));
  const std::string deep = "Syntax error: expression nested too deeply (max = 256)";
  expect_error(
      "select * from t where " + std::string(256, '(') + "a = 1" + std::string(256, ')') + ";",
      deep);
  expect_error("select * from t where " + std::string(1000000, '(') + "a = 1;", deep);
  std::string sub = "select * from t where ";
  for (int i = 0; i < 100000; i++) sub += "a in (select a from t where ";
  expect_error(sub + "a = 1;", deep);
  std::string nots = "delete from t where ";
  for (int i = 0; i < 100000; i++) nots += "not (";
  expect_error(nots + "a = 1;", deep);
}

// Every prefix of a valid statement translates or fails with a text; none
// reads outside the text (checked under the sanitizer build).
TEST_F(GrammarTest, EveryPrefixEndsCleanly) {
  const char *statements[] = {
      "SELECT DISTINCT K.NAME, MIN(K.NR), COUNT(*) FROM KUNDE K, ORT WHERE NOT (A = 1 OR B <> 'x') "
      "AND C IN (1, 2.5, 'z') AND D BETWEEN -1 AND 1e3 AND EXISTS (SELECT * FROM U) ORDER BY "
      "K.NAME DESC;",
      "insert into t (a, b) values ('it\\'s', -2);",
      "update t set a = 1 where b in (select c from d);",
      "create unique index i on t (a, b);",
      "create table t (a character(3) not null, b binary(4));",
      "show indices on table t;",
      "set table t secure;",
      "fetch all in c;",
      "max 10;"};
  for (const char *full : statements) {
    std::string text = full;
    std::string whole = run(text);
    EXPECT_NE(whole.compare(0, 6, "ERROR:"), 0) << text << "\n" << whole;
    for (size_t cut = 0; cut < text.size(); cut++) {
      std::string got = run(text.substr(0, cut));
      if (got.compare(0, 6, "ERROR:") == 0) {
        EXPECT_GT(got.size(), 7u) << cut;
      }
    }
  }
}

// Each thread has its own query buffer and scanner state.
TEST(GrammarThreads, TranslationsInParallelDoNotMix) {
  auto work = [](const char *text, std::string *out, int *bad) {
    std::string first;
    for (int i = 0; i < 2000; i++) {
      std::string copy = text;
      char err[SCAN_ERR_SIZE];
      DBquery_init();
      if (!scan_sql(&copy[0], err)) (*bad)++;
      std::string got(query_data, (size_t)query_size);
      if (i == 0)
        first = got;
      else if (got != first)
        (*bad)++;
    }
    *out = first;
    DBquery_free();
  };
  std::string a, b;
  int bad_a = 0, bad_b = 0;
  std::thread ta(work, "select a from t where x = 1;", &a, &bad_a);
  std::thread tb(work, "insert into kunde values ('abc', 2, 3.5);", &b, &bad_b);
  ta.join();
  tb.join();
  EXPECT_EQ(bad_a, 0);
  EXPECT_EQ(bad_b, 0);
  EXPECT_EQ(a[0], 'C');
  EXPECT_EQ(b[0], 'E');
}

}  // namespace
