// Fuzz tests of the token readers of proto/query.h (DBget_*, DBmatch_*):
// random and mutated buffers at every position, checked for the readers'
// contract (result inside the data or a negative status with a text, names
// NUL-terminated inside their announced length) and against values written
// by the DBquery_add* builders.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "proto/query.h"
#include "tests/fuzz/fuzz.h"

using fuzz::Bytes;
using fuzz::Exact;
using fuzz::Rng;

namespace {

// The contract of a reader that returned r for an element starting at pos:
// on success the element lies in data[pos, len) and at least min bytes long;
// otherwise a negative status with a non-empty error text.
void check_result(int r, int pos, int len, int min, const char *err, const char *what) {
  if (r >= 0) {
    EXPECT_GE(pos, 0) << what;
    EXPECT_GE(r, pos + min) << what;
    EXPECT_LE(r, len) << what;
  } else {
    EXPECT_TRUE(r == DB_GET_SHORT || r == DB_GET_MALFORMED || r == DB_GET_END) << what << " " << r;
    EXPECT_NE(err[0], '\0') << what << " at " << pos << " of " << len;
    EXPECT_LT(strlen(err), static_cast<size_t>(DB_GET_ERRSIZE)) << what;
  }
}

// A text handed out by a name/string reader ending at r: inside the data,
// NUL-terminated before r.
void check_text(int r, int pos, const char *data, const char *text) {
  if (r < 0) return;
  ASSERT_GE(text, data + pos);
  ASSERT_LT(text, data + r);
  EXPECT_EQ(data[r - 1], '\0');
  EXPECT_LE(text + strlen(text), data + r - 1);
}

// Runs every reader and matcher at pos on the len bytes of data.
void run_readers(char *data, int len, int pos) {
  char err[DB_GET_ERRSIZE];
  int token = -1;
  int16_t s;
  int32_t i;
  double d;
  const char *text = nullptr;
  int n = -1;

  err[0] = 0;
  int r = DBget_token(pos, data, len, &token, err);
  if (pos == len && pos >= 0) {
    EXPECT_EQ(r, pos);
    EXPECT_EQ(token, TOK_END);
  } else {
    check_result(r, pos, len, 1, err, "DBget_token");
    if (r >= 0) {
      EXPECT_EQ(token, static_cast<unsigned char>(data[pos]));
    }
  }
  err[0] = 0;
  check_result(DBget_short(pos, data, len, &s, err), pos, len, 2, err, "DBget_short");
  err[0] = 0;
  check_result(DBget_int(pos, data, len, &i, err), pos, len, 4, err, "DBget_int");
  err[0] = 0;
  check_result(DBget_double(pos, data, len, &d, err), pos, len, 8, err, "DBget_double");

  err[0] = 0;
  r = DBget_name(pos, data, len, &text, err);
  check_result(r, pos, len, 3, err, "DBget_name");
  check_text(r, pos, data, text);
  err[0] = 0;
  r = DBget_string(pos, data, len, &text, err);
  check_result(r, pos, len, 3, err, "DBget_string");
  check_text(r, pos, data, text);
  err[0] = 0;
  const char *bytes = nullptr;
  r = DBget_data(pos, data, len, &bytes, &n, err);
  check_result(r, pos, len, 2, err, "DBget_data");
  if (r >= 0) {
    EXPECT_EQ(r, pos + 2 + n);
    EXPECT_EQ(bytes, data + pos + 2);
  }

  err[0] = 0;
  r = DBmatch_token(pos, data, len, TOK_NAME, err);
  if (r == DB_GET_END)
    EXPECT_EQ(pos, len);
  else
    check_result(r, pos, len, 1, err, "DBmatch_token");
  // The typed matchers: DB_GET_END only at the very end, and then with the
  // reader's text.
  struct Typed {
    const char *what;
    int r;
    int min;
  };
  char e1[DB_GET_ERRSIZE] = "", e2[DB_GET_ERRSIZE] = "", e3[DB_GET_ERRSIZE] = "",
       e4[DB_GET_ERRSIZE] = "", e5[DB_GET_ERRSIZE] = "";
  const char *t4 = nullptr, *t5 = nullptr;
  Typed typed[] = {{"DBmatch_tokshort", DBmatch_tokshort(pos, data, len, &s, e1), 3},
                   {"DBmatch_tokint", DBmatch_tokint(pos, data, len, &i, e2), 5},
                   {"DBmatch_tokdouble", DBmatch_tokdouble(pos, data, len, &d, e3), 9},
                   {"DBmatch_tokname", DBmatch_tokname(pos, data, len, &t4, e4), 4},
                   {"DBmatch_tokstrg", DBmatch_tokstrg(pos, data, len, &t5, e5), 4}};
  const char *errs[] = {e1, e2, e3, e4, e5};
  for (int k = 0; k < 5; k++) {
    if (typed[k].r == DB_GET_END) {
      EXPECT_EQ(pos, len) << typed[k].what;
    }
    check_result(typed[k].r, pos, len, typed[k].min, errs[k], typed[k].what);
  }
  check_text(typed[3].r, pos + 1, data, t4);
  check_text(typed[4].r, pos + 1, data, t5);

  text = nullptr;
  r = DBmatch_errmsg(pos, data, len, &text);
  ASSERT_NE(text, nullptr);
  if (r >= 0) {
    check_text(r, pos + 1, data, text);
  } else {
    EXPECT_NE(text[0], '\0');
    EXPECT_LT(strlen(text), static_cast<size_t>(DB_GET_ERRSIZE));
  }
}

}  // namespace

// Random bytes, read at every position from before the start to past the
// end, with the length also given too small, zero and negative.
TEST(QueryFuzz, RandomBytesAtEveryPosition) {
  Rng rng(1);
  for (int iter = 0; iter < 400; iter++) {
    Bytes b = rng.bytes(rng.below(48));
    // Biased towards the value codes so that the typed readers get far.
    for (auto &c : b)
      if (rng.chance(3)) c = static_cast<char>("abcdef\x01\x00\x02\xff"[rng.below(10)]);
    Exact x(b);
    int len = x.size();
    for (int pos = -2; pos <= len + 2; pos++) run_readers(x.data(), len, pos);
    if (len > 0) run_readers(x.data(), rng.below(len), rng.below(len + 1));
    run_readers(x.data(), -1, 0);
    run_readers(x.data(), INT32_MIN, rng.below(len + 1));
  }
}

// Every length field at the extremes and every truncation of a stream made
// by the builders.
TEST(QueryFuzz, BuiltStreamsTruncatedAndMutated) {
  Rng rng(2);
  DBquery_init();
  DBquery_addtokname(TOK_NAME, "KUNDE");
  DBquery_addtokint(TOK_INT, -7);
  DBquery_addtokshort(TOK_SHORT, 300);
  DBquery_addtokdouble(TOK_DOUBLE, 2.5);
  DBquery_addtokstring(TOK_STRING, "Hallo Welt");
  DBquery_addtokstring(TOK_ERRMSG, "Fehler");
  DBquery_addtokdata(TOK_RESULT, "\x00\x01\x02", 3);
  DBquery_addtokstring(TOK_STRING, "");
  Bytes valid(query_data, query_data + query_size);
  for (size_t cut = 0; cut <= valid.size(); cut++) {
    Exact x(Bytes(valid.begin(), valid.begin() + cut));
    for (int pos = 0; pos <= x.size(); pos++) run_readers(x.data(), x.size(), pos);
  }
  for (int iter = 0; iter < 1500; iter++) {
    Bytes b = valid;
    fuzz::mutate_some(rng, b, 4, valid);
    Exact x(b);
    for (int pos = 0; pos <= x.size(); pos++) run_readers(x.data(), x.size(), pos);
  }
}

// Values written by the builders read back unchanged, for random values and
// texts of every length the length field allows.
TEST(QueryFuzz, BuilderRoundTrip) {
  Rng rng(3);
  for (int iter = 0; iter < 300; iter++) {
    int32_t iv = static_cast<int32_t>(rng.next());
    int16_t sv = static_cast<int16_t>(rng.next());
    uint64_t bits = rng.next();
    double dv;
    memcpy(&dv, &bits, 8);
    std::string text;
    int tlen = rng.chance(20) ? DB_MAX_STRING - rng.below(2) : rng.below(300);
    for (int k = 0; k < tlen; k++) {
      char c = rng.byte();
      text += c ? c : 'x';
    }
    Bytes data = rng.bytes(rng.chance(20) ? DB_MAX_DATA : rng.below(300));

    DBquery_init();
    DBquery_addtokint(TOK_INT, iv);
    DBquery_addtokshort(TOK_SHORT, sv);
    DBquery_addtokdouble(TOK_DOUBLE, dv);
    DBquery_addtokname(TOK_NAME, text.c_str());
    DBquery_addtokstring(TOK_STRING, text.c_str());
    DBquery_addtokstring(TOK_ERRMSG, text.c_str());
    DBquery_addtokdata(TOK_RESULT, data.data(), static_cast<int>(data.size()));
    Exact x(Bytes(query_data, query_data + query_size));
    const char *p = x.data();
    int len = x.size();
    char err[DB_GET_ERRSIZE];
    int32_t i;
    int16_t s;
    double d;
    const char *t;
    int pos = DBmatch_tokint(0, p, len, &i, err);
    ASSERT_EQ(pos, 5) << err;
    EXPECT_EQ(i, iv);
    pos = DBmatch_tokshort(pos, p, len, &s, err);
    ASSERT_GT(pos, 0) << err;
    EXPECT_EQ(s, sv);
    pos = DBmatch_tokdouble(pos, p, len, &d, err);
    ASSERT_GT(pos, 0) << err;
    EXPECT_EQ(memcmp(&d, &dv, 8), 0);
    pos = DBmatch_tokname(pos, p, len, &t, err);
    ASSERT_GT(pos, 0) << err;
    EXPECT_EQ(std::string(t), text);
    pos = DBmatch_tokstrg(pos, p, len, &t, err);
    ASSERT_GT(pos, 0) << err;
    EXPECT_EQ(std::string(t), text);
    pos = DBmatch_errmsg(pos, p, len, &t);
    ASSERT_GT(pos, 0) << t;
    EXPECT_EQ(std::string(t), text);
    pos = DBmatch_token(pos, p, len, TOK_RESULT, err);
    ASSERT_GT(pos, 0) << err;
    int n;
    pos = DBget_data(pos, p, len, &t, &n, err);
    ASSERT_EQ(pos, len) << err;
    ASSERT_EQ(n, static_cast<int>(data.size()));
    EXPECT_EQ(memcmp(t, data.data(), data.size()), 0);
    EXPECT_EQ(DBmatch_token(pos, p, len, TOK_END, err), DB_GET_END);
  }
}
