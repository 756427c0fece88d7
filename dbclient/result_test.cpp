// Tests of reply decoding, the display text of every type, Binary_Encode,
// DBfillbinary and the result data table's value store.
#include "dbclient/result.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "base/mem.h"
#include "dbclient/resdata.h"

namespace {

// Builds reply bytes in the wire layout.
struct Bytes {
  std::vector<char> b;
  Bytes &c(int v) {
    b.push_back(static_cast<char>(v));
    return *this;
  }
  Bytes &raw(const void *p, size_t n) {
    const char *q = static_cast<const char *>(p);
    b.insert(b.end(), q, q + n);
    return *this;
  }
  Bytes &i16(int16_t v) { return raw(&v, 2); }
  Bytes &i32(int32_t v) { return raw(&v, 4); }
  Bytes &str(const char *s) {
    i16(static_cast<int16_t>(strlen(s) + 1));
    return raw(s, strlen(s) + 1);
  }
  Bytes &field(const char *name, int type, int32_t size) {
    str(name);
    c(type);
    return i32(size);
  }
  Bytes &value(const void *p, int n) {
    i16(static_cast<int16_t>(n));
    return raw(p, n);
  }
  Bytes &text(const char *s) { return value(s, static_cast<int>(strlen(s)) + 1); }
  Bytes &integer(int32_t v) { return value(&v, 4); }
  Bytes &dbl(double v) { return value(&v, 8); }
};

const int T_CHAR = '0', T_SMALL = '1', T_INT = '2', T_FLOAT = '3', T_DATE = '4', T_TIME = '5',
          T_DATI = '6', T_BIN = 166;

// One row of each type (plus a second row), the reply most tests start from.
Bytes all_types_reply() {
  Bytes r;
  r.c('2').i32(8).i32(2);
  r.field("NAME", T_CHAR, 30).field("S", T_SMALL, 2).field("I", T_INT, 4).field("F", T_FLOAT, 8);
  r.field("D", T_DATE, 4).field("T", T_TIME, 3).field("TS", T_DATI, 12).field("B", T_BIN, 10);
  int16_t s = -12;
  unsigned char date[4] = {0xd3, 0x07, 7, 12};  // 2003-07-12
  unsigned char time[3] = {9, 5, 0};
  unsigned char dati[12] = {0xd3, 0x07, 7, 12, 23, 59, 58, 0, 0x40, 0xe2, 0x01, 0};  // 123456 us
  unsigned char bin[8] = {6, 0, 'A', 0, 1, 'B', '$', 10};
  r.text("Meier").value(&s, 2).integer(-123456).dbl(2.5).value(date, 4).value(time, 3);
  r.value(dati, 12).value(bin, 8);
  s = 7;
  unsigned char bin0[2] = {0, 0};
  r.text("").value(&s, 2).integer(0).dbl(100.0).value(date, 4).value(time, 3).value(dati, 12);
  r.value(bin0, 2);
  return r;
}

DBresult *decode(const std::vector<char> &reply, int len = -1) {
  DBresult *res = new DBresult;
  RESDATA_Empty(&res->data);
  DBprocess_reply(res, reply.data(), len < 0 ? static_cast<int>(reply.size()) : len);
  return res;
}

std::string float_text(double x) {
  char buf[DB_FLOAT_TEXT_SIZE];
  return DBfloat_text(x, buf);
}

}  // namespace

TEST(ResultDecode, EveryTypeDisplays) {
  DBresult *res = decode(all_types_reply().b);
  ASSERT_EQ(DB_TUPLES_OK, DBresultStatus(res)) << res->errmsg;
  ASSERT_EQ(2, DBntuples(res));
  ASSERT_EQ(8, DBnfields(res));
  const char *expect[2][8] = {
      {"Meier", "-12", "-123456", "2.5", "2003-07-12", "09:05:00", "2003-07-12-23.59.58.123456",
       "A\xa7"
       "0001\xa7"
       "B$$$0A"},
      {"", "7", "0", "100", "2003-07-12", "09:05:00", "2003-07-12-23.59.58.123456", ""}};
  for (int r = 0; r < 2; r++)
    for (int f = 0; f < 8; f++) EXPECT_STREQ(expect[r][f], DBgetvalue(res, r, f)) << r << "," << f;
  int types[8] = {0, 2, 3, 4, 6, 5, 7, 1};
  for (int f = 0; f < 8; f++) EXPECT_EQ(types[f], DBftype(res, f)) << f;
  EXPECT_STREQ("TS", DBfname(res, 6));
  EXPECT_EQ(30, DBfsize(res, 0));
  // The text of a number is made once and kept.
  const char *first = DBgetvalue(res, 0, 2);
  EXPECT_EQ(first, DBgetvalue(res, 0, 2));
  // Outside the table: an empty text, no crash.
  EXPECT_STREQ("", DBgetvalue(res, 2, 0));
  EXPECT_STREQ("", DBgetvalue(res, 0, 8));
  EXPECT_EQ(nullptr, DBgetbinary(res, -1, 0));
  DBclear(res);
}

TEST(ResultDecode, UnknownTypeDisplaysAsSuch) {
  Bytes r;
  r.c('2').i32(1).i32(1).field("X", 'z', 3).value("abc", 3);
  DBresult *res = decode(r.b);
  ASSERT_EQ(DB_TUPLES_OK, DBresultStatus(res));
  EXPECT_STREQ("<datatype unknown>", DBgetvalue(res, 0, 0));
  EXPECT_EQ(-1, DBftype(res, 0));
  DBclear(res);
}

TEST(ResultDecode, ReplyCodes) {
  Bytes err;
  err.c('0').c('b').str("Tabelle fehlt");
  DBresult *res = decode(err.b);
  EXPECT_EQ(DB_ERROR_REPLY, DBresultStatus(res));
  EXPECT_STREQ("Tabelle fehlt\n", DBresultErrorMessage(res));
  EXPECT_STREQ("Tabelle fehlt\n", DBresultErrorMessage(res));  // one newline only
  DBclear(res);

  res = decode(Bytes().c('0').b);
  EXPECT_EQ(DB_ERROR_REPLY, DBresultStatus(res));
  EXPECT_STREQ("(DBexec) Result error message missing\n", DBresultErrorMessage(res));
  DBclear(res);

  res = decode(Bytes().c('1').b);
  EXPECT_EQ(DB_COMMAND_OK, DBresultStatus(res));
  EXPECT_EQ(0, DBntuples(res));
  DBclear(res);

  res = decode(Bytes().c('3').i32(7).b);
  EXPECT_EQ(DB_COMMAND_OK, DBresultStatus(res));
  EXPECT_EQ(7, DBntuples(res));
  DBclear(res);

  res = decode(Bytes().c('3').i16(7).b);
  EXPECT_EQ(DB_ERROR_REPLY, DBresultStatus(res));
  EXPECT_NE(std::string(), res->errmsg);
  DBclear(res);

  res = decode(Bytes().c('2').i32(3).i32(0).b);  // no rows: no field descriptions follow
  EXPECT_EQ(DB_TUPLES_OK, DBresultStatus(res));
  EXPECT_EQ(0, DBntuples(res));
  EXPECT_EQ(0, DBnfields(res));
  DBclear(res);

  res = decode(Bytes().c('4').i32(1).i32(1).field("N", T_INT, 4).integer(5).b);
  EXPECT_EQ(DB_NOT_ALL_DATA, DBresultStatus(res));
  EXPECT_STREQ("5", DBgetvalue(res, 0, 0));
  DBclear(res);

  res = decode(Bytes().c('Z').b);
  EXPECT_EQ(DB_COMMAND_OK, DBresultStatus(res));
  DBclear(res);

  res = decode(std::vector<char>(), 0);
  EXPECT_EQ(DB_ERROR_REPLY, DBresultStatus(res));
  DBclear(res);
}

TEST(ResultDecode, EveryTruncationIsAnErrorReply) {
  std::vector<char> full = all_types_reply().b;
  for (size_t n = 0; n < full.size(); n++) {
    // A copy of exactly n bytes, so that reading past it would be noticed
    // by the memory checkers.
    std::vector<char> cut(full.begin(), full.begin() + static_cast<long>(n));
    DBresult *res = decode(cut, static_cast<int>(n));
    EXPECT_EQ(DB_ERROR_REPLY, DBresultStatus(res)) << "length " << n;
    EXPECT_NE('\0', res->errmsg[0]) << "length " << n;
    for (int r = 0; r < DBntuples(res); r++)
      for (int f = 0; f < DBnfields(res); f++) DBgetvalue(res, r, f);
    DBclear(res);
  }
}

TEST(ResultDecode, ShortValuesAreRefused) {
  struct Case {
    int type;
    std::vector<char> bytes;
  } cases[] = {
      {T_INT, {1, 2}},
      {T_SMALL, {1}},
      {T_FLOAT, {0, 0, 0, 0, 0, 0, 0}},
      {T_DATE, {1, 2, 3}},
      {T_TIME, {1, 2}},
      {T_DATI, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {T_CHAR, {'a', 'b'}},  // no NUL
      {T_CHAR, {}},
      {T_BIN, {5, 0, 'a', 'b'}},  // inner length beyond the value
      {T_BIN, {1}},
  };
  for (const Case &c : cases) {
    Bytes r;
    r.c('2')
        .i32(1)
        .i32(1)
        .field("V", c.type, 4)
        .value(c.bytes.data(), static_cast<int>(c.bytes.size()));
    DBresult *res = decode(r.b);
    EXPECT_EQ(DB_ERROR_REPLY, DBresultStatus(res)) << c.type << "/" << c.bytes.size();
    EXPECT_NE(nullptr, strstr(res->errmsg, "incomplete value")) << res->errmsg;
    EXPECT_EQ(0, DBntuples(res));
    DBclear(res);
  }
  // A length pointing past the end of the reply.
  Bytes r;
  r.c('2').i32(1).i32(1).field("V", T_CHAR, 4).i16(30000).raw("abc", 4);
  DBresult *res = decode(r.b);
  EXPECT_EQ(DB_ERROR_REPLY, DBresultStatus(res));
  DBclear(res);
  // A negative field count and an absurd row count do not run wild.
  res = decode(Bytes().c('2').i32(-1).i32(5).b);
  EXPECT_EQ(DB_ERROR_REPLY, DBresultStatus(res));
  DBclear(res);
  res = decode(Bytes().c('2').i32(1).i32(2000000000).field("N", T_INT, 4).integer(1).b);
  EXPECT_EQ(DB_ERROR_REPLY, DBresultStatus(res));
  EXPECT_EQ(1, DBntuples(res));  // what was read stays
  DBclear(res);
}

TEST(ResultDisplay, FloatDecimalsByMagnitude) {
  EXPECT_EQ("2.5", float_text(2.5));
  EXPECT_EQ("100", float_text(100.0));
  EXPECT_EQ("0.1", float_text(0.1));
  EXPECT_EQ("-0.000001", float_text(-0.000001));
  EXPECT_EQ("10000000000000", float_text(1e13));
  EXPECT_EQ("0", float_text(0.0));
  EXPECT_EQ("0.33333333333333", float_text(1.0 / 3));       // 14 decimals below 1
  EXPECT_EQ("3.3333333333333", float_text(10.0 / 3));       // 13 from 1
  EXPECT_EQ("33.333333333333", float_text(100.0 / 3));      // 12 from 10
  EXPECT_EQ("333333.33333333", float_text(1000000.0 / 3));  // 8 from 10^5
  EXPECT_EQ("333333333.33333", float_text(1e9 / 3));        // 5 from 10^8
  EXPECT_EQ("33333333333.333", float_text(1e11 / 3));       // 3 from 10^10
  EXPECT_EQ("333333333333.33", float_text(1e12 / 3));       // 2 from 10^11
  EXPECT_EQ("1000000000000", float_text(1e12));
  EXPECT_EQ("12345678901.5", float_text(12345678901.5));
  EXPECT_EQ("-1", float_text(-1.0));
  std::string nan = float_text(std::numeric_limits<double>::quiet_NaN());
  EXPECT_NE(std::string::npos, nan.find("nan"));
}

TEST(ResultDisplay, BinaryEncode) {
  char out[64];
  const unsigned char ex[] = {'A', 0, 1, 'B', '$', 10};
  EXPECT_STREQ(
      "A\xa7"
      "0001\xa7"
      "B$$$0A",
      Binary_Encode(ex, 6, out));
  EXPECT_STREQ("", Binary_Encode(ex, 0, out));
  const unsigned char hi[] = {0xff, 0x7f, 0x80, ' ', '~'};
  EXPECT_STREQ(
      "\xa7"
      "FF7F80\xa7"
      " ~",
      Binary_Encode(hi, 5, out));
  const unsigned char one[] = {0xab};
  EXPECT_STREQ("$AB", Binary_Encode(one, 1, out));
  // A run of non-printable bytes: two characters per byte and two markers.
  std::vector<unsigned char> all(200, 0x01);
  std::vector<char> big(Binary_Text_Size(200));
  EXPECT_EQ(2u * 200 + 2, strlen(Binary_Encode(all.data(), 200, big.data())));
}

TEST(ResultDisplay, BinaryWorstCaseIsFiveCharactersPerPair) {
  // A lone non-printable byte is "$XX" and a '$' is "$$": the pair takes
  // five characters, more than two per byte and two markers.
  const int n = 32764;  // the longest BINARY a 16-bit signed value length holds: n + 2 <= 32767
  std::vector<unsigned char> bytes(n);
  std::string expect;
  for (int i = 0; i < n; i += 2) {
    bytes[i] = 0x1f;
    bytes[i + 1] = '$';
    expect += "$1F$$";
  }
  std::vector<char> out(Binary_Text_Size(n));
  EXPECT_EQ(expect, Binary_Encode(bytes.data(), n, out.data()));
  EXPECT_LE(expect.size() + 1, out.size());

  // The same value as a result column, displayed twice (made anew each time).
  Bytes r;
  std::vector<char> value(n + 2);
  value[0] = static_cast<char>(n & 0xff);
  value[1] = static_cast<char>(n >> 8);
  memcpy(value.data() + 2, bytes.data(), n);
  r.c('2').i32(1).i32(1).field("B", T_BIN, n).value(value.data(), n + 2);
  DBresult *res = decode(r.b);
  ASSERT_EQ(DB_TUPLES_OK, DBresultStatus(res)) << res->errmsg;
  EXPECT_EQ(expect, DBgetvalue(res, 0, 0));
  EXPECT_EQ(expect, DBgetvalue(res, 0, 0));
  DBclear(res);
}

TEST(ResultFill, BinaryCopies) {
  DBresult *res = decode(all_types_reply().b);
  ASSERT_EQ(DB_TUPLES_OK, DBresultStatus(res));
  unsigned char buf[32];
  memset(buf, 0xee, sizeof buf);
  DBfillbinary(res, buf, 0, 2);
  int32_t i;
  memcpy(&i, buf, 4);
  EXPECT_EQ(-123456, i);
  EXPECT_EQ(0xee, buf[4]);
  memset(buf, 0xee, sizeof buf);
  DBfillbinary(res, buf, 0, 7);
  EXPECT_EQ(0, memcmp(buf,
                      "\x06\x00"
                      "A\x00\x01"
                      "B$\n",
                      8));
  EXPECT_EQ(0xee, buf[8]);
  memset(buf, 0xee, sizeof buf);
  DBfillbinary(res, buf, 0, 0);
  EXPECT_STREQ("Meier", reinterpret_cast<char *>(buf));
  memset(buf, 0xee, sizeof buf);
  DBfillbinary(res, buf, 0, 5);
  EXPECT_EQ(0, memcmp(buf, "\x09\x05\x00", 3));
  EXPECT_EQ(0xee, buf[3]);
  DBclear(res);

  // A CHARACTER field of size 2 is one flag byte: 0 and 1 become digits.
  Bytes r;
  r.c('2').i32(1).i32(3).field("F", T_CHAR, 2).value("\x01", 2).value("\0", 1).value("J", 2);
  res = decode(r.b);
  ASSERT_EQ(DB_TUPLES_OK, DBresultStatus(res)) << res->errmsg;
  const char expect[] = {'1', '0', 'J'};
  for (int row = 0; row < 3; row++) {
    char c[2] = {'x', 'x'};
    DBfillbinary(res, c, row, 0);
    EXPECT_EQ(expect[row], c[0]);
    EXPECT_EQ('x', c[1]);
  }
  DBclear(res);
}

TEST(ResultFillDeathTest, UnknownTypeEndsTheProcess) {
  Bytes r;
  r.c('2').i32(1).i32(1).field("X", 'z', 3).value("abc", 3);
  DBresult *res = decode(r.b);
  char buf[8];
  EXPECT_EXIT(DBfillbinary(res, buf, 0, 0), testing::ExitedWithCode(1),
              "\\(DBfillbinary\\) Unknown datatype!");
  DBclear(res);
}

TEST(Resdata, ValueStoreBlocks) {
  RESDATA t;
  RESDATA_Empty(&t);
  RESDATA_Free(&t);  // nothing to free on an empty table
  EXPECT_EQ(1, t.state);
  RESDATA_New(&t);
  EXPECT_EQ(0, t.state);
  EXPECT_EQ(1u, t.blocks.size());
  RESDATA_Header_Data(&t, "X", 'z', 0);  // a type stored as received
  // A value that exactly fills the rest of the first block goes into a new one.
  int n = RESDATA_FIRST_BLOCK - t.used;
  std::vector<char> v(RESDATA_BLOCK, 'x');
  ASSERT_EQ(1, RESDATA_Fill_Binary(&t, v.data(), n));
  EXPECT_EQ(1, t.curblock);
  EXPECT_EQ(2u, t.blocks.size());
  EXPECT_EQ(RESDATA_BLOCK, t.blocksizes[1]);
  EXPECT_EQ(1, t.nrows);
  EXPECT_EQ(t.blocks[1], RESDATA_Value(&t, 0, 0));
  // One byte less than the rest fits into the current block.
  int rest = RESDATA_BLOCK - t.used;
  ASSERT_EQ(1, RESDATA_Fill_Binary(&t, v.data(), rest - 1));
  EXPECT_EQ(1, t.curblock);
  EXPECT_EQ(RESDATA_BLOCK - 1, t.used);
  // A value larger than a block gets a block of its own size.
  std::vector<char> huge(RESDATA_BLOCK + 10, 'y');
  ASSERT_EQ(1, RESDATA_Fill_Binary(&t, huge.data(), static_cast<int>(huge.size())));
  EXPECT_EQ(RESDATA_BLOCK + 10, t.blocksizes[2]);
  // Texts live in the store too and are found again.
  const char *s = RESDATA_Fill_ResString(&t, 1, 0, "hallo");
  EXPECT_STREQ("hallo", RESDATA_Text(&t, 1, 0));
  EXPECT_EQ(s, RESDATA_Text(&t, 1, 0));
  EXPECT_EQ(nullptr, RESDATA_Text(&t, 0, 0));
  RESDATA_Free(&t);
  EXPECT_EQ(1, t.state);
  EXPECT_EQ(0, t.nrows);
  EXPECT_TRUE(t.blocks.empty());
}

// Past the first hundred blocks every new block is twice as large as the
// one before, up to what a reference addresses: the store holds gigabytes
// in its thousand blocks instead of 200 MB.
TEST(Resdata, BlocksGrowInSizeNotInCount) {
  RESDATA t;
  RESDATA_Empty(&t);
  RESDATA_New(&t);
  RESDATA_Header_Data(&t, "X", 'z', 0);
  std::vector<char> v(60000, 'v');
  while (t.blocks.size() < static_cast<size_t>(RESDATA_GROW_AFTER) + 8)
    ASSERT_EQ(1, RESDATA_Fill_Binary(&t, v.data(), static_cast<int>(v.size())));
  for (int b = 1; b < RESDATA_GROW_AFTER; b++) ASSERT_EQ(RESDATA_BLOCK, t.blocksizes[b]) << b;
  int64_t want = RESDATA_BLOCK;
  for (size_t b = RESDATA_GROW_AFTER; b < t.blocks.size(); b++) {
    want = std::min<int64_t>(2 * want, 1 << RESREF_SHIFT);
    EXPECT_EQ(want, t.blocksizes[b]) << b;
  }
  EXPECT_EQ(1 << RESREF_SHIFT, t.blocksizes.back());
  // every value is still where its reference says
  for (int32_t r = 0; r < t.nrows; r += 97)
    EXPECT_EQ(0, memcmp(RESDATA_Value(&t, r, 0), v.data(), v.size()));
  RESDATA_Free(&t);
}

TEST(Resdata, ManyRowsAcrossBlocks) {
  RESDATA t;
  RESDATA_Empty(&t);
  RESDATA_New(&t);
  RESDATA_Header_Data(&t, "N", '2', 4);
  RESDATA_Header_Data(&t, "T", '0', 40);
  for (int32_t i = 0; i < 30000; i++) {
    ASSERT_EQ(1, RESDATA_Fill_Binary(&t, reinterpret_cast<const char *>(&i), 4));
    std::string s = "row " + std::to_string(i);
    ASSERT_EQ(1, RESDATA_Fill_Binary(&t, s.c_str(), static_cast<int>(s.size()) + 1));
  }
  EXPECT_EQ(30000, t.nrows);
  EXPECT_GT(t.blocks.size(), 2u);
  for (int32_t i = 0; i < 30000; i += 997) {
    int32_t v;
    memcpy(&v, RESDATA_Value(&t, i, 0), 4);
    EXPECT_EQ(i, v);
    EXPECT_EQ("row " + std::to_string(i), RESDATA_Value(&t, i, 1));
  }
  RESDATA_Free(&t);
}

TEST(Resdata, AdoptedBlockIsNeverFilled) {
  RESDATA t;
  RESDATA_Empty(&t);
  EXPECT_EQ(0, RESDATA_Adopt(&t, nullptr, 0));  // not in use yet
  RESDATA_New(&t);
  RESDATA_Header_Data(&t, "T", '0', 40);
  const int32_t size = 5 << 20;  // two slices
  char *block = static_cast<char *>(xmalloc(size));
  memset(block, 'a', size);
  block[size - 1] = 0;
  ASSERT_EQ(1, RESDATA_Adopt(&t, block, size));
  EXPECT_EQ(0, RESDATA_Adopt(&t, block, size));  // only one
  // In place: a value near the end of the first slice, one in the second.
  int32_t at[2] = {(4 << 20) - 3, (4 << 20) + 5};
  for (int32_t a : at) ASSERT_EQ(1, RESDATA_Fill_Binary(&t, block + a, size - a));
  // Copied values fill new blocks of the store, never the adopted ones.
  std::string text(999, 'z');
  for (int i = 0; i < 600; i++) ASSERT_EQ(1, RESDATA_Fill_Binary(&t, text.c_str(), 1000));
  EXPECT_EQ(602, t.nrows);
  EXPECT_EQ(block + at[0], RESDATA_Value(&t, 0, 0));
  EXPECT_EQ(block + at[1], RESDATA_Value(&t, 1, 0));
  EXPECT_EQ(text, RESDATA_Value(&t, 601, 0));
  for (int32_t i = 0; i < size - 1; i++)
    if (block[i] != 'a') FAIL() << "adopted byte " << i << " overwritten";
  RESDATA_Free(&t);  // frees the adopted block once
  EXPECT_EQ(nullptr, t.adopted);
}

namespace {

// The display text as the printf formats define it.
std::string printf_float(double x) {
  double a = std::fabs(x);
  int dec = std::isnan(x) ? 1
            : a < 1       ? 14
            : a < 1e1     ? 13
            : a < 1e2     ? 12
            : a < 1e3     ? 11
            : a < 1e4     ? 10
            : a < 1e5     ? 9
            : a < 1e6     ? 8
            : a < 1e7     ? 7
            : a < 1e8     ? 6
            : a < 1e9     ? 5
            : a < 1e10    ? 4
            : a < 1e11    ? 3
            : a < 1e12    ? 2
                          : 1;
  char buf[512];
  snprintf(buf, sizeof buf, "%.*lf", dec, x);
  std::string s = buf;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && (s.back() == '.' || s.back() == ',')) s.pop_back();
  return s;
}

}  // namespace

TEST(ResultDisplay, TextsMatchThePrintfFormats) {
  uint64_t seed = 12345;
  auto next = [&]() {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return seed >> 11;
  };
  const int N = 4000;
  Bytes r;
  r.c('2').i32(5).i32(N);
  r.field("S", T_SMALL, 2).field("I", T_INT, 4).field("F", T_FLOAT, 8).field("D", T_DATE, 4);
  r.field("TS", T_DATI, 12);
  std::vector<std::string> expect;
  double specials[] = {0.125,
                       0.5,
                       -2.5,
                       1e-15,
                       5e-15,
                       123.456,
                       9.99999999999999,
                       1e300,
                       -1e20,
                       std::numeric_limits<double>::infinity(),
                       0.0,
                       -0.0,
                       999999.999999995};
  for (int i = 0; i < N; i++) {
    char buf[128];
    int16_t s = i == 0 ? -32768 : static_cast<int16_t>(next());
    int32_t v = i == 0 ? std::numeric_limits<int32_t>::min() : static_cast<int32_t>(next());
    double d;
    if (i < 13) {
      d = specials[i];
    } else {
      uint64_t bits = next() | (next() << 53);
      memcpy(&d, &bits, 8);
      if (i % 2)
        d = static_cast<double>(static_cast<int64_t>(next() % 100000000000ll)) /
            std::pow(10.0, static_cast<double>(next() % 12));
    }
    unsigned char date[4], dati[12];
    for (auto &b : date) b = static_cast<unsigned char>(next());
    for (auto &b : dati) b = static_cast<unsigned char>(next());
    if (i % 3 == 0) {
      date[1] = 0;  // a year from 0 to 255
      dati[1] = 7;
      dati[11] = 0;
    }
    r.value(&s, 2).integer(v).dbl(d).value(date, 4).value(dati, 12);
    expect.push_back(std::to_string(s));
    expect.push_back(std::to_string(v));
    expect.push_back(printf_float(d));
    int16_t y;
    memcpy(&y, date, 2);
    snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, date[2], date[3]);
    expect.push_back(buf);
    int32_t us;
    memcpy(&y, dati, 2);
    memcpy(&us, dati + 8, 4);
    snprintf(buf, sizeof buf, "%04d-%02d-%02d-%02d.%02d.%02d.%06d", y, dati[2], dati[3], dati[4],
             dati[5], dati[6], us);
    expect.push_back(buf);
  }
  DBresult *res = decode(r.b);
  ASSERT_EQ(DB_TUPLES_OK, DBresultStatus(res)) << res->errmsg;
  for (int i = 0; i < N; i++)
    for (int f = 0; f < 5; f++)
      ASSERT_EQ(expect[i * 5 + f], DBgetvalue(res, i, f)) << "row " << i << " field " << f;
  DBclear(res);
}

TEST(ResultDecode, OwnedReplyKeepsValuesInPlace) {
  // A reply of more than 4 MiB, as a large reply arrives: in an xmalloc
  // block that the result takes over.
  const int N = 150000;
  Bytes r;
  r.c('2').i32(3).i32(N).field("N", T_INT, 4).field("T", T_CHAR, 40).field("B", T_BIN, 4);
  for (int32_t i = 0; i < N; i++) {
    std::string s = "Zeile " + std::to_string(i) + std::string(static_cast<size_t>(i % 7), '.');
    unsigned char bin[4] = {2, 0, static_cast<unsigned char>(i & 0xff), '$'};
    r.integer(i).text(s.c_str()).value(bin, 4);
  }
  ASSERT_GT(r.b.size(), 4u << 20);
  int len = static_cast<int>(r.b.size());
  char *block = static_cast<char *>(xmalloc(len));
  memcpy(block, r.b.data(), r.b.size());
  DBresult *res = new DBresult;
  RESDATA_Empty(&res->data);
  DBprocess_owned_reply(res, block, len);
  ASSERT_EQ(DB_TUPLES_OK, DBresultStatus(res)) << res->errmsg;
  ASSERT_EQ(N, DBntuples(res));
  for (int32_t i = 0; i < N; i += (i < 200 || i > N - 200) ? 1 : 113) {
    std::string s = "Zeile " + std::to_string(i) + std::string(static_cast<size_t>(i % 7), '.');
    ASSERT_EQ(std::to_string(i), DBgetvalue(res, i, 0)) << i;
    ASSERT_EQ(s, DBgetvalue(res, i, 1)) << i;
    char hex[8];
    snprintf(hex, sizeof hex, "$%02X", i & 0xff);
    std::string b = (i & 0xff) >= 32 && (i & 0xff) <= 126
                        ? std::string(1, static_cast<char>(i & 0xff))
                        : std::string(hex);
    if ((i & 0xff) == '$') b = "$$";
    ASSERT_EQ(b + "$$", DBgetvalue(res, i, 2)) << i;
    // Not copied: the stored bytes are those of the reply.
    const char *v = DBgetbinary(res, i, 1);
    ASSERT_TRUE(v >= block && v < block + len) << i;
  }
  DBclear(res);

  // A reply without rows gives its block back at once; a malformed one
  // keeps what it read, as from any reply.
  for (const std::vector<char> &bytes :
       {Bytes().c('3').i32(7).b, Bytes().c('0').c('b').str("kaputt").b, all_types_reply().b}) {
    for (size_t n = 1; n <= bytes.size(); n++) {
      char *b = static_cast<char *>(xmalloc(n));
      memcpy(b, bytes.data(), n);
      DBresult *res2 = new DBresult;
      RESDATA_Empty(&res2->data);
      DBprocess_owned_reply(res2, b, static_cast<int>(n));
      if (n < bytes.size()) {
        EXPECT_EQ(DB_ERROR_REPLY, DBresultStatus(res2)) << n;
      }
      for (int row = 0; row < DBntuples(res2); row++)
        for (int f = 0; f < DBnfields(res2); f++) DBgetvalue(res2, row, f);
      DBclear(res2);
    }
  }
}
