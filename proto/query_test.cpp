// Tests of the token stream: byte layouts of the appending and reply-building
// operations, buffer growth, and the readers on valid, truncated and
// malformed data.
#include "proto/query.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

namespace {

std::string buffer() { return std::string(query_data, (size_t)query_size); }

TEST(QueryBuffer, ValueTokenLayouts) {
  DBquery_init();
  DBquery_addtokname(TOK_NAME, "KUNDE");
  EXPECT_EQ(buffer(), std::string("a\x06\x00KUNDE\x00", 9));

  DBquery_init();
  DBquery_addtokint(TOK_INT, 1);
  EXPECT_EQ(buffer(), std::string("d\x01\x00\x00\x00", 5));

  DBquery_init();
  DBquery_addtokint(TOK_INT, -2);
  EXPECT_EQ(buffer(), std::string("d\xfe\xff\xff\xff", 5));

  DBquery_init();
  DBquery_addtokstring(TOK_STRING, "");
  EXPECT_EQ(buffer(), std::string("f\x01\x00\x00", 4));

  DBquery_init();
  DBquery_addtokdouble(TOK_DOUBLE, 1.0);  // 0x3FF0000000000000
  EXPECT_EQ(buffer(), std::string("e\x00\x00\x00\x00\x00\x00\xf0\x3f", 9));

  DBquery_init();
  DBquery_addtokshort(TOK_SHORT, 0x1234);
  DBquery_addtokdata(TOK_BINARY, "\x00\x01", 2);
  EXPECT_EQ(buffer(), std::string("c\x34\x12\xa6\x02\x00\x00\x01", 8));
}

TEST(QueryBuffer, ReplyBuilding) {
  DBquery_init();
  DBquery_adderrmsg("kaputt");
  EXPECT_EQ(buffer(), std::string("0b\x07\x00kaputt\x00", 11));

  DBquery_init();
  DBquery_addok();
  DBquery_addokdata();
  DBquery_addnotalldata();
  DBquery_addoktuples(7);
  EXPECT_EQ(buffer(), std::string("1243\x07\x00\x00\x00", 8));
}

// The writer appends to its string exactly what the query buffer gets for
// the same calls, and keeps what the string held before.
TEST(QueryBuffer, WriterWritesTheSameBytes) {
  std::string big(DB_MAX_STRING + 10, 'z');
  std::vector<char> out = {'v', 'o', 'r'};
  DBwriter w(out);
  DBquery_init();
  w.addcmd(CMD_SELECT);
  DBquery_addcmd(CMD_SELECT);
  w.addtokname(TOK_NAME, "KUNDE");
  DBquery_addtokname(TOK_NAME, "KUNDE");
  w.addtokint(TOK_INT, -2);
  DBquery_addtokint(TOK_INT, -2);
  w.addtokdouble(TOK_DOUBLE, 0.1);
  DBquery_addtokdouble(TOK_DOUBLE, 0.1);
  w.addtokshort(TOK_SHORT, -300);
  DBquery_addtokshort(TOK_SHORT, -300);
  w.addtokdata(TOK_BINARY, "\x00\x01", 2);
  DBquery_addtokdata(TOK_BINARY, "\x00\x01", 2);
  w.adddata("x", -1);
  DBquery_adddata("x", -1);
  w.addstring(nullptr);
  DBquery_addstring(nullptr);
  w.addstring(big.c_str());
  DBquery_addstring(big.c_str());
  w.addoktuples(7);
  DBquery_addoktuples(7);
  w.adderrmsg("kaputt");
  DBquery_adderrmsg("kaputt");
  w.add("roh", 3);
  DBquery_add("roh", 3);
  w.add("nichts", -1);
  DBquery_add("nichts", -1);
  EXPECT_EQ(std::string(out.begin(), out.end()), "vor" + buffer());

  // a text given with its length needs no NUL and may stop inside a word
  out.clear();
  w.addstring("KUNDEN", 5);
  EXPECT_EQ(std::string(out.begin(), out.end()), std::string("\x06\x00KUNDE\x00", 8));
}

TEST(QueryBuffer, OverlongTextIsCutToTheLengthField) {
  std::string big(40000, 'x');
  DBquery_init();
  DBquery_addstring(big.c_str());
  ASSERT_EQ(query_size, 2 + DB_MAX_STRING + 1);
  const char *text = nullptr;
  char err[DB_GET_ERRSIZE];
  EXPECT_EQ(DBget_string(0, query_data, query_size, &text, err), query_size);
  EXPECT_EQ(strlen(text), (size_t)DB_MAX_STRING);
}

TEST(QueryBuffer, GrowthFollowsTheAllocationRules) {
  // The buffer is per thread: a fresh thread starts unallocated.
  int32_t first = 0, second = 0, initial = 0, size = 0;
  std::thread t([&] {
    initial = query_max;
    std::string block(150000, 'q');
    DBquery_add(block.data(), (int)block.size());
    first = query_max;
    DBquery_add("r", 1);
    second = query_max;
    size = query_size;
    DBquery_free();
  });
  t.join();
  EXPECT_EQ(initial, -1);
  EXPECT_EQ(first, 150000);
  EXPECT_EQ(second, 1150000);
  EXPECT_EQ(size, 150001);

  std::thread small([&] {
    DBquery_add("ab", 2);
    first = query_max;
    DBquery_init();
    second = query_max;
    size = query_size;
    DBquery_free();
  });
  small.join();
  EXPECT_EQ(first, 100000);
  EXPECT_EQ(second, 100000);
  EXPECT_EQ(size, 0);
}

TEST(QueryReaders, TokenAtAndBeyondTheEnd) {
  const char data[] = "uv";
  char err[DB_GET_ERRSIZE] = "";
  int tok = 0;
  EXPECT_EQ(DBget_token(1, data, 2, &tok, err), 2);
  EXPECT_EQ(tok, 'v');
  EXPECT_EQ(DBget_token(2, data, 2, &tok, err), 2);
  EXPECT_EQ(tok, TOK_END);
  EXPECT_LT(DBget_token(3, data, 2, &tok, err), 0);
  EXPECT_STREQ(err, "Syntax error: %s expected (unexpected end of query)");
}

TEST(QueryReaders, FixedSizeValues) {
  DBquery_init();
  DBquery_addshort(-3);
  DBquery_addint(123456789);
  DBquery_adddouble(-2.5);
  std::string d = buffer();
  char err[DB_GET_ERRSIZE];
  int16_t s;
  int32_t i;
  double x;
  int p = DBget_short(0, d.data(), (int)d.size(), &s, err);
  p = DBget_int(p, d.data(), (int)d.size(), &i, err);
  p = DBget_double(p, d.data(), (int)d.size(), &x, err);
  EXPECT_EQ(p, 14);
  EXPECT_EQ(s, -3);
  EXPECT_EQ(i, 123456789);
  EXPECT_EQ(x, -2.5);

  EXPECT_EQ(DBget_short(13, d.data(), 14, &s, err), DB_GET_SHORT);
  EXPECT_STREQ(err, "Syntax error: <short value> expected (unexpected end of query)");
  EXPECT_EQ(DBget_int(11, d.data(), 14, &i, err), DB_GET_SHORT);
  EXPECT_STREQ(err, "Syntax error: <integer value> expected (unexpected end of query)");
  EXPECT_EQ(DBget_double(7, d.data(), 14, &x, err), DB_GET_SHORT);
  EXPECT_STREQ(err, "Syntax error: <float value> expected (unexpected end of query)");
}

TEST(QueryReaders, LengthPrefixedValuesStayInside) {
  char err[DB_GET_ERRSIZE];
  const char *text = nullptr;
  int n = 0;
  // Announced length 5 but only 4 bytes follow.
  std::string shortname(
      "\x05\x00"
      "ABC\x00",
      6);
  EXPECT_EQ(DBget_name(0, shortname.data(), 6, &text, err), DB_GET_SHORT);
  EXPECT_STREQ(err, "Syntax error: <name> expected (unexpected end of query)");
  EXPECT_EQ(DBget_string(0, shortname.data(), 6, &text, err), DB_GET_SHORT);
  EXPECT_STREQ(err, "Syntax error: <string value> expected (unexpected end of query)");
  EXPECT_EQ(DBget_name(0, shortname.data(), 1, &text, err), DB_GET_SHORT);

  std::string nonul(
      "\x03\x00"
      "ABC",
      5);
  EXPECT_EQ(DBget_name(0, nonul.data(), 5, &text, err), DB_GET_MALFORMED);
  std::string zero("\x00\x00", 2);
  EXPECT_EQ(DBget_string(0, zero.data(), 2, &text, err), DB_GET_MALFORMED);
  std::string negative(
      "\xff\xff"
      "AB",
      4);
  EXPECT_EQ(DBget_string(0, negative.data(), 4, &text, err), DB_GET_MALFORMED);
  EXPECT_EQ(DBget_data(0, negative.data(), 4, &text, &n, err), DB_GET_MALFORMED);

  std::string data("\x02\x00\x00\x07", 4);
  EXPECT_EQ(DBget_data(0, data.data(), 4, &text, &n, err), 4);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(text, data.data() + 2);
  EXPECT_EQ(DBget_data(0, data.data(), 3, &text, &n, err), DB_GET_SHORT);
  EXPECT_STREQ(err, "Syntax error: <name> expected (unexpected end of query)");
}

TEST(QueryMatching, TokenTexts) {
  char err[DB_GET_ERRSIZE] = "unchanged";
  const char data[] = "w";
  EXPECT_EQ(DBmatch_token(0, data, 1, 'w', err), 1);
  EXPECT_EQ(DBmatch_token(1, data, 1, 'w', err), DB_GET_END);
  EXPECT_STREQ(err, "unchanged");
  EXPECT_EQ(DBmatch_token(2, data, 1, 'w', err), DB_GET_SHORT);
  EXPECT_LT(DBmatch_token(0, data, 1, 'v', err), 0);
  EXPECT_STREQ(err, "Syntax error: FROM expected (found WHERE)");
}

TEST(QueryMatching, TypedValuesAndErrorMessage) {
  DBquery_init();
  DBquery_addtokshort(TOK_SHORT, 9);
  DBquery_addtokint(TOK_INT, -7);
  DBquery_addtokdouble(TOK_DOUBLE, 0.25);
  DBquery_addtokname(TOK_NAME, "KUNDE");
  DBquery_addtokstring(TOK_STRING, "Wert");
  DBquery_adderrmsg("Tabelle fehlt");
  std::string d = buffer();
  const char *p = d.data();
  int len = (int)d.size();
  char err[DB_GET_ERRSIZE];
  int16_t s;
  int32_t i;
  double x;
  const char *name, *strg, *msg;
  int pos = DBmatch_tokshort(0, p, len, &s, err);
  pos = DBmatch_tokint(pos, p, len, &i, err);
  pos = DBmatch_tokdouble(pos, p, len, &x, err);
  pos = DBmatch_tokname(pos, p, len, &name, err);
  pos = DBmatch_tokstrg(pos, p, len, &strg, err);
  ASSERT_GT(pos, 0);
  EXPECT_EQ(p[pos], '0');
  pos = DBmatch_errmsg(pos + 1, p, len, &msg);
  EXPECT_EQ(pos, len);
  EXPECT_EQ(s, 9);
  EXPECT_EQ(i, -7);
  EXPECT_EQ(x, 0.25);
  EXPECT_STREQ(name, "KUNDE");
  EXPECT_STREQ(strg, "Wert");
  EXPECT_STREQ(msg, "Tabelle fehlt");
  EXPECT_GE(msg, p);  // points into the data

  EXPECT_LT(DBmatch_tokint(0, p, len, &i, err), 0);
  EXPECT_STREQ(err, "Syntax error: <integer value> expected (found <smallint value>)");
  EXPECT_EQ(DBmatch_tokname(len, p, len, &name, err), DB_GET_END);
  EXPECT_STREQ(err, "Syntax error: <name> expected (unexpected end of query)");
  EXPECT_LT(DBmatch_errmsg(0, p, len, &msg), 0);
  EXPECT_STREQ(msg, "Syntax error: Fehlermeldung expected (found <smallint value>)");
}

// Every prefix of a valid stream must read as an error, never out of bounds.
TEST(QueryMatching, EveryTruncationFailsCleanly) {
  DBquery_init();
  DBquery_addtokshort(TOK_SHORT, 1);
  DBquery_addtokint(TOK_INT, 2);
  DBquery_addtokdouble(TOK_DOUBLE, 3.0);
  DBquery_addtokname(TOK_NAME, "NAME");
  DBquery_addtokstring(TOK_STRING, "text");
  DBquery_addtokdata(TOK_BINARY, "\x01\x02\x03", 3);
  DBquery_adderrmsg("msg");
  std::string full = buffer();
  auto read_all = [](const std::string &d) {
    int len = (int)d.size();
    char err[DB_GET_ERRSIZE];
    int16_t s;
    int32_t i;
    double x;
    const char *t;
    int n;
    int pos = DBmatch_tokshort(0, d.data(), len, &s, err);
    if (pos >= 0) pos = DBmatch_tokint(pos, d.data(), len, &i, err);
    if (pos >= 0) pos = DBmatch_tokdouble(pos, d.data(), len, &x, err);
    if (pos >= 0) pos = DBmatch_tokname(pos, d.data(), len, &t, err);
    if (pos >= 0) pos = DBmatch_tokstrg(pos, d.data(), len, &t, err);
    if (pos >= 0) pos = DBmatch_token(pos, d.data(), len, TOK_BINARY, err);
    if (pos >= 0) pos = DBget_data(pos, d.data(), len, &t, &n, err);
    if (pos >= 0) pos = DBmatch_token(pos, d.data(), len, REPLY_ERROR, err);
    if (pos >= 0) pos = DBmatch_errmsg(pos, d.data(), len, &t);
    return pos;
  };
  EXPECT_EQ(read_all(full), (int)full.size());
  for (size_t cut = 0; cut < full.size(); cut++) {
    // A copy of exactly cut bytes, so that a reader overrunning it would be
    // caught by a memory checker.
    std::string part = full.substr(0, cut);
    EXPECT_LT(read_all(part), 0) << "cut at " << cut;
  }
}

TEST(QueryTranslate, TextsOfCodes) {
  char out[TOK_TEXT_SIZE];
  EXPECT_STREQ(tok_translate('v', out), "FROM");
  EXPECT_STREQ(tok_translate('x', out), ";");
  EXPECT_STREQ(tok_translate('=', out), "SELECT EXISTS");
  EXPECT_STREQ(tok_translate('n', out), "CREATE UNIQUE INDEX");
  EXPECT_STREQ(tok_translate(252, out), "TABLES");
  EXPECT_STREQ(tok_translate('b', out), "Fehlermeldung");
  for (int code : {(int)'H', (int)'j', 166, 214, (int)'-', 0, 255})
    EXPECT_STREQ(tok_translate(code, out), "<unknown token>") << code;
}

TEST(QueryTranslate, TypeNumbers) {
  EXPECT_EQ(DBtype_number('0'), 0);
  EXPECT_EQ(DBtype_number(166), 1);
  EXPECT_EQ(DBtype_number('1'), 2);
  EXPECT_EQ(DBtype_number('2'), 3);
  EXPECT_EQ(DBtype_number('3'), 4);
  EXPECT_EQ(DBtype_number('5'), 5);
  EXPECT_EQ(DBtype_number('4'), 6);
  EXPECT_EQ(DBtype_number('6'), 7);
  EXPECT_EQ(DBtype_number('7'), -1);
}

}  // namespace
