// Fuzz tests of the client's reply decoder (DBprocess_reply and
// DBprocess_owned_reply of dbclient/result.h) and of everything read from a
// decoded result: replies built with the DBquery_add* reply builders decode
// to the values put in, their display texts match the printf formats they
// stand for, and random, cut and damaged replies give a well-formed result
// or a clean error, whichever accessor is then called.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/mem.h"
#include "proto/query.h"
#include "dbclient/result.h"
#include "tests/fuzz/fuzz.h"

using fuzz::Bytes;
using fuzz::Rng;

namespace {

const int kTypes[] = {TOK_CHARACTER, TOK_BINARY, TOK_SMALLINT, TOK_INTEGER,
                      TOK_FLOAT,     TOK_DATE,   TOK_TIME,     TOK_TIMESTAMP};

int16_t i16(const char *p) {
  int16_t v;
  memcpy(&v, p, 2);
  return v;
}
int32_t i32(const char *p) {
  int32_t v;
  memcpy(&v, p, 4);
  return v;
}

// The display text a value must have, written with printf as the formats
// are defined; empty for CHARACTER and BINARY, which are checked otherwise.
std::string reference_text(int type, const char *v) {
  char buf[512];
  const unsigned char *u = reinterpret_cast<const unsigned char *>(v);
  switch (type) {
    case TOK_SMALLINT: snprintf(buf, sizeof buf, "%d", i16(v)); return buf;
    case TOK_INTEGER: snprintf(buf, sizeof buf, "%d", i32(v)); return buf;
    case TOK_FLOAT: {
      double x;
      memcpy(&x, v, 8);
      static const double limits[] = {1,   1e1, 1e2, 1e3,  1e4,  1e5, 1e6,
                                      1e7, 1e8, 1e9, 1e10, 1e11, 1e12};
      int decimals = 14;
      if (std::isnan(x)) {
        decimals = 1;
      } else {
        for (double l : limits)
          if (std::fabs(x) >= l) decimals--;
      }
      snprintf(buf, sizeof buf, "%.*lf", decimals, x);
      std::string s = buf;
      if (s.find('.') != std::string::npos || s.find(',') != std::string::npos) {
        while (!s.empty() && s.back() == '0') s.pop_back();
        if (!s.empty() && (s.back() == '.' || s.back() == ',')) s.pop_back();
      }
      return s;
    }
    case TOK_DATE: snprintf(buf, sizeof buf, "%04d-%02d-%02d", i16(v), u[2], u[3]); return buf;
    case TOK_TIME: snprintf(buf, sizeof buf, "%02d:%02d:%02d", u[0], u[1], u[2]); return buf;
    case TOK_TIMESTAMP:
      snprintf(buf, sizeof buf, "%04d-%02d-%02d-%02d.%02d.%02d.%06d", i16(v), u[2], u[3], u[4],
               u[5], u[6], i32(v + 8));
      return buf;
    default: return "";
  }
}

// Reverses Binary_Encode; false when text is no valid encoding.
bool binary_decode(const std::string &text, Bytes *out) {
  auto hex = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  const char mark = static_cast<char>(0xA7);
  out->clear();
  for (size_t i = 0; i < text.size();) {
    char c = text[i];
    if (c == '$') {
      if (i + 1 < text.size() && text[i + 1] == '$') {
        out->push_back('$');
        i += 2;
        continue;
      }
      if (i + 2 >= text.size() || hex(text[i + 1]) < 0 || hex(text[i + 2]) < 0) return false;
      out->push_back(static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2])));
      i += 3;
    } else if (c == mark) {
      size_t j = i + 1;
      int k = 0;
      while (j + 1 < text.size() && text[j] != mark) {
        if (hex(text[j]) < 0 || hex(text[j + 1]) < 0) return false;
        out->push_back(static_cast<char>(hex(text[j]) * 16 + hex(text[j + 1])));
        j += 2;
        k++;
      }
      if (j >= text.size() || text[j] != mark || k < 2) return false;
      i = j + 1;
    } else {
      unsigned char uc = static_cast<unsigned char>(c);
      if (uc < 32 || uc > 126) return false;
      out->push_back(c);
      i++;
    }
  }
  return true;
}

// Checks every accessor of a decoded result: a valid status, a non-empty
// text for an error, values and texts for every cell in range (at most
// max_cells of them), nothing outside the table.
void check_result(DBresult *res, int max_cells = 400) {
  int st = DBresultStatus(res);
  ASSERT_TRUE(st == DB_COMMAND_OK || st == DB_TUPLES_OK || st == DB_NOT_ALL_DATA ||
              st == DB_ERROR_REPLY)
      << st;
  if (st == DB_ERROR_REPLY) {
    EXPECT_NE(res->errmsg[0], '\0');
  }
  const char *em = DBresultErrorMessage(res);
  ASSERT_NE(em, nullptr);
  size_t emn = strlen(em);
  ASSERT_GT(emn, 0u);
  EXPECT_EQ(em[emn - 1], '\n');
  EXPECT_STREQ(DBresultErrorMessage(res), em);

  int nf = DBnfields(res), nt = DBntuples(res);
  ASSERT_GE(nf, 0);
  if (st == DB_TUPLES_OK || st == DB_NOT_ALL_DATA || nf > 0) {
    ASSERT_GE(nt, 0);
  }
  for (int f = 0; f < nf; f++) {
    EXPECT_NE(DBfname(res, f), nullptr);
    int t = DBftype(res, f);
    EXPECT_GE(t, -1);
    EXPECT_LE(t, 7);
  }
  EXPECT_EQ(DBfname(res, nf), nullptr);
  EXPECT_EQ(DBfname(res, -1), nullptr);
  EXPECT_EQ(DBftype(res, nf), -1);
  EXPECT_STREQ(DBgetvalue(res, nt, 0), "");
  EXPECT_STREQ(DBgetvalue(res, 0, nf), "");
  EXPECT_STREQ(DBgetvalue(res, -1, 0), "");
  EXPECT_EQ(DBgetbinary(res, nt, 0), nullptr);
  EXPECT_EQ(DBgetbinary(res, 0, -1), nullptr);

  int cells = 0;
  std::vector<char> dest(70000);
  for (int r = 0; r < nt && nf > 0 && cells < max_cells; r++) {
    for (int f = 0; f < nf && cells < max_cells; f++, cells++) {
      const char *v = DBgetbinary(res, r, f);
      ASSERT_NE(v, nullptr) << r << "," << f;
      const char *text = DBgetvalue(res, r, f);
      ASSERT_NE(text, nullptr);
      std::string first = text;
      EXPECT_EQ(std::string(DBgetvalue(res, r, f)), first) << "text changed on a second request";
      int type = res->data.types[f];
      if (DBftype(res, f) < 0) {
        EXPECT_EQ(first, "<datatype unknown>");
        continue;
      }
      if (type == TOK_CHARACTER) {
        EXPECT_EQ(first, std::string(v));
      } else if (type == TOK_BINARY) {
        int m = static_cast<unsigned char>(v[0]) | (static_cast<unsigned char>(v[1]) << 8);
        EXPECT_LT(first.size(), Binary_Text_Size(m));
        Bytes back;
        EXPECT_TRUE(binary_decode(first, &back)) << first;
        EXPECT_EQ(back, Bytes(v + 2, v + 2 + m));
      } else {
        EXPECT_EQ(first, reference_text(type, v)) << "type " << type;
      }
      // The binary copy: as many bytes as the type has, equal to the value.
      memset(dest.data(), 0x5a, dest.size());
      DBfillbinary(res, dest.data(), r, f);
      int n = RESDATA_Min_Size(type);
      if (type == TOK_BINARY)
        n = (static_cast<unsigned char>(v[0]) | (static_cast<unsigned char>(v[1]) << 8)) + 2;
      if (type == TOK_CHARACTER) {
        if (DBfsize(res, f) == 2) {
          char c = v[0];
          if (c == 0 || c == 1) c = static_cast<char>('0' + c);
          EXPECT_EQ(dest[0], c);
          EXPECT_EQ(dest[1], 0x5a);
          continue;
        }
        n = static_cast<int>(strlen(v)) + 1;
      }
      EXPECT_EQ(memcmp(dest.data(), v, n), 0) << "type " << type;
      EXPECT_EQ(dest[n], 0x5a) << "DBfillbinary wrote past the value, type " << type;
    }
  }
}

// Decodes reply both ways (copied into the result, and adopted as an
// allocated block) and checks that both give the same result.
DBresult *decode(const Bytes &reply) {
  SCOPED_TRACE("reply " + fuzz::hex(reply));
  fuzz::Exact x(reply);
  DBresult *res = new DBresult;
  RESDATA_Empty(&res->data);
  DBprocess_reply(res, x.data(), x.size());

  char *block = static_cast<char *>(xmalloc(reply.empty() ? 1 : reply.size()));
  if (!reply.empty()) memcpy(block, reply.data(), reply.size());
  DBresult *own = new DBresult;
  RESDATA_Empty(&own->data);
  DBprocess_owned_reply(own, block, static_cast<int>(reply.size()));
  EXPECT_EQ(DBresultStatus(own), DBresultStatus(res));
  EXPECT_STREQ(own->errmsg, res->errmsg);
  EXPECT_EQ(DBntuples(own), DBntuples(res));
  EXPECT_EQ(DBnfields(own), DBnfields(res));
  int cells = 0;
  for (int r = 0; r < DBntuples(res) && DBnfields(res) > 0 && cells < 400; r++)
    for (int f = 0; f < DBnfields(res) && cells < 400; f++, cells++) {
      EXPECT_NE(DBgetbinary(res, r, f), nullptr);
      EXPECT_NE(DBgetbinary(own, r, f), nullptr);
      EXPECT_EQ(std::string(DBgetvalue(res, r, f)), std::string(DBgetvalue(own, r, f)));
    }
  check_result(own);
  DBclear(own);
  check_result(res);
  return res;
}

// A value of the type (n bytes as it goes on the wire).
Bytes random_value(Rng &rng, int type) {
  Bytes v;
  switch (type) {
    case TOK_CHARACTER: {
      int n = rng.chance(30) ? 32766 : rng.below(40);
      for (int i = 0; i < n; i++) {
        char c = rng.byte();
        v.push_back(c ? c : 'a');
      }
      v.push_back(0);
      break;
    }
    case TOK_BINARY: {
      int m = rng.chance(30) ? 32765 : rng.below(40);
      v.push_back(static_cast<char>(m & 0xff));
      v.push_back(static_cast<char>(m >> 8));
      Bytes b = rng.bytes(m);
      // Runs of '$', 0xA7 and controls are where the encoding is subtle.
      for (auto &c : b)
        if (rng.chance(3)) c = "$\xa7\x00\x01 ~\x7f"[rng.below(7)];
      v.insert(v.end(), b.begin(), b.end());
      break;
    }
    default: {
      v = rng.bytes(RESDATA_Min_Size(type));
      if (type == TOK_FLOAT && rng.chance(2)) {
        static const double special[] = {0.0,
                                         -0.0,
                                         2.5,
                                         100.0,
                                         0.1,
                                         -0.000001,
                                         1e13,
                                         1e12,
                                         999999.99999999,
                                         1e-300,
                                         1e308,
                                         -1e308,
                                         INFINITY,
                                         -INFINITY,
                                         NAN,
                                         9.5,
                                         0.99999999999999999};
        double d = special[rng.below(static_cast<int>(sizeof special / sizeof special[0]))];
        memcpy(v.data(), &d, 8);
      }
      break;
    }
  }
  return v;
}

struct Table {
  std::vector<std::string> names;
  std::vector<int> types;
  std::vector<int32_t> sizes;
  std::vector<Bytes> values;  // row-major
  int rows = 0;
};

// A reply built with the reply builders of query.h: code '2' or '4', the
// field count, the row count, the fields and the values.
Bytes build_reply(const Table &t, bool notall) {
  DBquery_init();
  if (notall)
    DBquery_addnotalldata();
  else
    DBquery_addokdata();
  DBquery_addint(static_cast<int32_t>(t.names.size()));
  DBquery_addint(t.rows);
  if (t.rows >= 1) {
    for (size_t f = 0; f < t.names.size(); f++) {
      DBquery_addstring(t.names[f].c_str());
      DBquery_addtoken(t.types[f]);
      DBquery_addint(t.sizes[f]);
    }
    for (const Bytes &v : t.values) DBquery_adddata(v.data(), static_cast<int>(v.size()));
  }
  return Bytes(query_data, query_data + query_size);
}

Table random_table(Rng &rng, int max_rows) {
  Table t;
  int nf = 1 + rng.below(8);
  t.rows = rng.below(max_rows + 1);
  for (int f = 0; f < nf; f++) {
    t.names.push_back("F" + std::to_string(f));
    t.types.push_back(kTypes[rng.below(8)]);
    t.sizes.push_back(rng.chance(4) ? 2 : 1 + rng.below(100));
  }
  for (int r = 0; r < t.rows; r++)
    for (int f = 0; f < nf; f++) t.values.push_back(random_value(rng, t.types[f]));
  return t;
}

// A small corpus of valid replies of every code.
std::vector<Bytes> corpus(Rng &rng) {
  std::vector<Bytes> c;
  DBquery_init();
  DBquery_addok();
  c.emplace_back(query_data, query_data + query_size);
  DBquery_init();
  DBquery_addoktuples(7);
  c.emplace_back(query_data, query_data + query_size);
  DBquery_init();
  DBquery_adderrmsg("Tabelle KUNDE existiert nicht");
  c.emplace_back(query_data, query_data + query_size);
  for (int i = 0; i < 6; i++) c.push_back(build_reply(random_table(rng, 3), i % 2));
  return c;
}

}  // namespace

// Replies built with the reply builders decode to exactly what was put in.
TEST(ResultFuzz, BuiltRepliesRoundTrip) {
  Rng rng(21);
  for (int iter = 0; iter < 150; iter++) {
    Table t = random_table(rng, 6);
    bool notall = rng.chance(2);
    Bytes reply = build_reply(t, notall);
    DBresult *res = decode(reply);
    ASSERT_EQ(DBresultStatus(res), notall ? DB_NOT_ALL_DATA : DB_TUPLES_OK) << res->errmsg;
    int nf = static_cast<int>(t.names.size());
    if (t.rows == 0) {
      EXPECT_EQ(DBntuples(res), 0);
      EXPECT_EQ(DBnfields(res), 0);
      DBclear(res);
      continue;
    }
    ASSERT_EQ(DBntuples(res), t.rows);
    ASSERT_EQ(DBnfields(res), nf);
    for (int f = 0; f < nf; f++) {
      EXPECT_EQ(std::string(DBfname(res, f)), t.names[f]);
      EXPECT_EQ(DBftype(res, f), DBtype_number(t.types[f]));
      EXPECT_EQ(DBfsize(res, f), t.sizes[f]);
    }
    for (int r = 0; r < t.rows; r++)
      for (int f = 0; f < nf; f++) {
        const Bytes &v = t.values[static_cast<size_t>(r) * nf + f];
        const char *got = DBgetbinary(res, r, f);
        ASSERT_NE(got, nullptr);
        size_t n = t.types[f] == TOK_CHARACTER ? strlen(v.data()) + 1 : v.size();
        EXPECT_EQ(Bytes(got, got + n), Bytes(v.begin(), v.begin() + n)) << r << "," << f;
        if (t.types[f] == TOK_CHARACTER) {
          EXPECT_STREQ(DBgetvalue(res, r, f), v.data());
        }
      }
    DBclear(res);
  }
}

// A reply of several MiB, adopted as one block: values on both sides of its
// 4 MiB slices stay where they are and read back unchanged.
TEST(ResultFuzz, LargeAdoptedReplyRoundTrip) {
  Rng rng(22);
  Table t;
  t.names = {"TEXT", "BIN", "N"};
  t.types = {TOK_CHARACTER, TOK_BINARY, TOK_INTEGER};
  t.sizes = {32767, 32767, 4};
  t.rows = 400;
  for (int r = 0; r < t.rows; r++) {
    Bytes text(static_cast<size_t>(rng.below(32767)), 'x');
    for (auto &c : text) c = static_cast<char>('A' + rng.below(26));
    text.push_back(0);
    t.values.push_back(text);
    t.values.push_back(random_value(rng, TOK_BINARY));
    t.values.push_back(random_value(rng, TOK_INTEGER));
  }
  Bytes reply = build_reply(t, false);
  ASSERT_GT(reply.size(), static_cast<size_t>(1 << 22));
  DBresult *res = decode(reply);
  ASSERT_EQ(DBresultStatus(res), DB_TUPLES_OK) << res->errmsg;
  ASSERT_EQ(DBntuples(res), t.rows);
  for (int r = 0; r < t.rows; r++)
    for (int f = 0; f < 3; f++) {
      const Bytes &v = t.values[static_cast<size_t>(r) * 3 + f];
      const char *got = DBgetbinary(res, r, f);
      ASSERT_NE(got, nullptr);
      EXPECT_EQ(memcmp(got, v.data(), v.size()), 0) << r << "," << f;
    }
  check_result(res, 1000);
  DBclear(res);
}

// Every truncation of valid replies, and counts and lengths at extremes.
TEST(ResultFuzz, TruncatedAndExtremeReplies) {
  Rng rng(23);
  std::vector<Bytes> c = corpus(rng);
  for (const Bytes &valid : c) {
    for (size_t cut = 0; cut < valid.size(); cut++) {
      // Every cut of a small reply; of a large one, those near its ends and
      // a sample of the rest.
      if (valid.size() > 4096 && cut > 512 && cut + 512 < valid.size() && !rng.chance(64)) continue;
      DBresult *res = decode(Bytes(valid.begin(), valid.begin() + cut));
      if (cut == 0 || valid[0] == REPLY_ERROR || valid[0] == REPLY_TUPLES ||
          ((valid[0] == REPLY_DATA || valid[0] == REPLY_NOTALLDATA) && cut < 9)) {
        EXPECT_EQ(DBresultStatus(res), DB_ERROR_REPLY) << "cut " << cut;
      }
      DBclear(res);
    }
  }
  for (int iter = 0; iter < 600; iter++) {
    Bytes b = rng.pick(c);
    if (b.size() >= 9 && (b[0] == REPLY_DATA || b[0] == REPLY_NOTALLDATA) && rng.chance(2)) {
      fuzz::put32(b, 1 + 4 * static_cast<size_t>(rng.below(2)), fuzz::extreme32(rng));
    } else {
      int at = rng.below(static_cast<int>(b.size()) - 1);
      fuzz::put16(b, static_cast<size_t>(at), fuzz::extreme16(rng));
    }
    DBclear(decode(b));
  }
}

// Random bytes after each reply code, and mutated valid replies.
TEST(ResultFuzz, RandomAndMutatedReplies) {
  Rng rng(24);
  std::vector<Bytes> c = corpus(rng);
  for (int iter = 0; iter < 20000; iter++) {
    Bytes b;
    if (rng.chance(3)) {
      b = rng.bytes(rng.below(80));
      if (!b.empty()) b[0] = static_cast<char>("01234\xff"[rng.below(6)]);
      // Small counts so that the decoder gets into the fields and values.
      if (b.size() >= 9 && rng.chance(2)) {
        fuzz::put32(b, 1, rng.below(4));
        fuzz::put32(b, 5, rng.below(4));
      }
    } else {
      b = rng.pick(c);
      fuzz::mutate_some(rng, b, 4, rng.pick(c));
    }
    DBresult *res = decode(b);
    if (!b.empty() && b[0] == REPLY_ERROR) {
      EXPECT_EQ(DBresultStatus(res), DB_ERROR_REPLY);
    }
    DBclear(res);
  }
}

// The accessors on a null result.
TEST(ResultFuzz, NullResult) {
  EXPECT_EQ(DBntuples(nullptr), 0);
  EXPECT_EQ(DBnfields(nullptr), 0);
  EXPECT_STREQ(DBgetvalue(nullptr, 0, 0), "");
  EXPECT_EQ(DBgetbinary(nullptr, 0, 0), nullptr);
  EXPECT_EQ(DBfname(nullptr, 0), nullptr);
  const char *t = DBresultErrorMessage(nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t[strlen(t) - 1], '\n');
}

// Found by TruncatedAndExtremeReplies: an error reply whose text is empty,
// or starts with a NUL, gave an error result without any text.
TEST(ResultFuzz, EmptyErrorTextCountsAsMissing) {
  const Bytes replies[] = {
      {'0', 'b', 1, 0, 0},
      {'0', 'b', 30,  0,   0,   1,   'b', 'e', 'l', 'l', 'e', ' ', 'K', 'U', 'N', 'D', 'E',
       ' ', 'e', 'x', 'i', 's', 't', 'i', 'e', 'r', 't', ' ', 'n', 'i', 'c', 'h', 't', 0}};
  for (const Bytes &reply : replies) {
    DBresult *res = decode(reply);
    EXPECT_EQ(DBresultStatus(res), DB_ERROR_REPLY);
    EXPECT_STREQ(DBresultErrorMessage(res), "(DBexec) Result error message missing\n");
    DBclear(res);
  }
}

// Found while checking repeated reads: every DBgetvalue of a BINARY value
// stored a new text, so a few thousand reads of a 32 KB value filled the
// value store and ended the process.  The text is now cached.
TEST(ResultFuzz, RepeatedBinaryReadsDoNotExhaustTheStore) {
  Table t;
  t.names = {"B"};
  t.types = {TOK_BINARY};
  t.sizes = {32767};
  t.rows = 1;
  Bytes v(32767, '\x01');
  v[0] = static_cast<char>(32765 & 0xff);
  v[1] = static_cast<char>(32765 >> 8);
  t.values.push_back(v);
  Bytes reply = build_reply(t, false);
  DBresult *res = new DBresult;
  RESDATA_Empty(&res->data);
  DBprocess_reply(res, reply.data(), static_cast<int>(reply.size()));
  ASSERT_EQ(DBntuples(res), 1) << res->errmsg;
  const char *first = DBgetvalue(res, 0, 0);
  EXPECT_EQ(strlen(first), 2u * 32765 + 2);
  for (int i = 0; i < 5000; i++) ASSERT_EQ(DBgetvalue(res, 0, 0), first) << i;
  DBclear(res);
}
