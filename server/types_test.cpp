// Tests of korvald's column types: date, time and timestamp texts (accepted
// forms, validity, chronological byte order), value conversion per column
// type with its refusals, declared types and identifiers.
#include "server/types.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

KvLiteral str(const std::string &s) {
  KvLiteral l;
  l.kind = KvLiteral::STR;
  l.s = s;
  return l;
}
KvLiteral num(int32_t i) {
  KvLiteral l;
  l.kind = KvLiteral::INT;
  l.i = i;
  return l;
}
KvLiteral real(double d) {
  KvLiteral l;
  l.kind = KvLiteral::FLOAT;
  l.d = d;
  return l;
}
KvColumn col(KvType t, int len = 0) {
  KvColumn c;
  c.name = "C";
  c.type = t;
  c.len = len;
  return c;
}

}  // namespace

TEST(Types, DatesByTheBaseRules) {
  DATE d;
  EXPECT_TRUE(kv_parse_date("2000-02-29", &d));
  EXPECT_TRUE(kv_parse_date("1900-02-29", &d));  // every fourth year
  EXPECT_FALSE(kv_parse_date("2001-02-29", &d));
  EXPECT_FALSE(kv_parse_date("1799-12-31", &d));
  EXPECT_FALSE(kv_parse_date("2801-01-01", &d));
  EXPECT_FALSE(kv_parse_date("2003-7-1x", &d));
  EXPECT_FALSE(kv_parse_date("", &d));
  ASSERT_TRUE(kv_parse_date("12.07.2003", &d));
  EXPECT_EQ(kv_date_text(d), "2003-07-12");
  ASSERT_TRUE(kv_parse_date("2003-7-1", &d));
  EXPECT_EQ(kv_date_text(d), "2003-07-01");

  TIME t;
  ASSERT_TRUE(kv_parse_time("9:05", &t));
  EXPECT_EQ(kv_time_text(t), "09:05:00");
  EXPECT_FALSE(kv_parse_time("24:00:00", &t));
  EXPECT_FALSE(kv_parse_time("12:60", &t));

  DATI ts;
  ASSERT_TRUE(kv_parse_dati("2003-07-12-09.05.00.5", &ts));
  EXPECT_EQ(kv_dati_text(ts), "2003-07-12-09.05.00.500000");
  ASSERT_TRUE(kv_parse_dati("2003-07-12 23:59:59.000001", &ts));
  EXPECT_EQ(ts.usec, 1);
  ASSERT_TRUE(kv_parse_dati("2003-07-12", &ts));
  EXPECT_EQ(kv_dati_text(ts), "2003-07-12-00.00.00.000000");
  EXPECT_FALSE(kv_parse_dati("2003-07-12-09.05", &ts));
  EXPECT_FALSE(kv_parse_dati("2003-07-12-09.05.00.1234567", &ts));
}

TEST(Types, StoredTextsSortChronologically) {
  std::vector<std::string> in = {"2003-12-01", "1999-1-31", "31.01.2800", "2003-02-01",
                                 "1800-01-01"};
  std::vector<std::string> stored;
  for (auto &s : in) {
    DATE d;
    ASSERT_TRUE(kv_parse_date(s, &d)) << s;
    stored.push_back(kv_date_text(d));
  }
  std::sort(stored.begin(), stored.end());
  EXPECT_EQ(stored, (std::vector<std::string>{"1800-01-01", "1999-01-31", "2003-02-01",
                                              "2003-12-01", "2800-01-31"}));
  DATI a, b;
  ASSERT_TRUE(kv_parse_dati("2003-07-12-09.05.00.000010", &a));
  ASSERT_TRUE(kv_parse_dati("2003-07-12-10.00.00", &b));
  EXPECT_LT(kv_dati_text(a), kv_dati_text(b));
}

TEST(Types, ConversionPerColumnType) {
  KvBound b;
  std::string err;
  ASSERT_TRUE(kv_convert(str("abc"), col(KV_CHARACTER, 3), &b, &err));
  EXPECT_EQ(b.kind, KvBound::TEXT);
  EXPECT_FALSE(kv_convert(str("abcd"), col(KV_CHARACTER, 3), &b, &err));
  EXPECT_NE(err.find("too long"), std::string::npos);
  ASSERT_TRUE(kv_convert(num(42), col(KV_CHARACTER, 3), &b, &err));
  EXPECT_EQ(b.s, "42");
  ASSERT_TRUE(kv_convert(str("A\x01"), col(KV_BINARY, 2), &b, &err));
  EXPECT_EQ(b.kind, KvBound::BLOB);

  ASSERT_TRUE(kv_convert(str("17"), col(KV_INTEGER), &b, &err));
  EXPECT_EQ(b.i, 17);
  ASSERT_TRUE(kv_convert(real(3.0), col(KV_INTEGER), &b, &err));
  EXPECT_EQ(b.i, 3);
  EXPECT_FALSE(kv_convert(real(3.5), col(KV_INTEGER), &b, &err));
  EXPECT_FALSE(kv_convert(str("abc"), col(KV_INTEGER), &b, &err));
  EXPECT_FALSE(kv_convert(num(32768), col(KV_SMALLINT), &b, &err));
  ASSERT_TRUE(kv_convert(num(-32768), col(KV_SMALLINT), &b, &err));
  ASSERT_TRUE(kv_convert(str("2.5"), col(KV_FLOAT), &b, &err));
  EXPECT_EQ(b.d, 2.5);
  EXPECT_FALSE(kv_convert(str("nan"), col(KV_FLOAT), &b, &err));

  ASSERT_TRUE(kv_convert(str("12.07.2003"), col(KV_DATE), &b, &err));
  EXPECT_EQ(b.s, "2003-07-12");
  EXPECT_FALSE(kv_convert(num(20030712), col(KV_DATE), &b, &err));
  EXPECT_FALSE(kv_convert(str("25:00:00"), col(KV_TIME), &b, &err));
  ASSERT_TRUE(kv_convert(str("2003-07-12 09:05:00"), col(KV_TIMESTAMP), &b, &err));
  EXPECT_EQ(b.s, "2003-07-12-09.05.00.000000");

  // in a condition a number text meets a numeric column as a number, and
  // an impossible date is an error
  ASSERT_TRUE(kv_convert_operand(str("17"), col(KV_INTEGER), &b, &err));
  EXPECT_EQ(b.kind, KvBound::INT);
  ASSERT_TRUE(kv_convert_operand(str("abc"), col(KV_INTEGER), &b, &err));
  EXPECT_EQ(b.kind, KvBound::TEXT);
  EXPECT_FALSE(kv_convert_operand(str("2003-02-30"), col(KV_DATE), &b, &err));
}

TEST(Types, DeclaredTypesAndNames) {
  // each type is the wire's type of its index in the type table, and is
  // declared in the schema by exactly these texts
  const struct {
    KvType type;
    int token;
    const char *declared;
  } types[] = {{KV_CHARACTER, TOK_CHARACTER, "CHARACTER(12)"},
               {KV_BINARY, TOK_BINARY, "BINARY(12)"},
               {KV_SMALLINT, TOK_SMALLINT, "SMALLINT"},
               {KV_INTEGER, TOK_INTEGER, "INTEGER"},
               {KV_FLOAT, TOK_FLOAT, "FLOAT"},
               {KV_DATE, TOK_DATE, "DATE"},
               {KV_TIME, TOK_TIME, "TIME"},
               {KV_TIMESTAMP, TOK_TIMESTAMP, "TIMESTAMP"}};
  for (auto &t : types) {
    EXPECT_EQ(kv_declared_type(t.type, 12), t.declared);
    KvColumn c = kv_parse_declared("X", t.declared);
    EXPECT_EQ(c.type, t.type);
    EXPECT_EQ(db_types[t.type].code, t.token) << t.declared;
    EXPECT_EQ(DBtype_number(t.token), static_cast<int>(t.type)) << t.declared;
  }
  EXPECT_EQ(kv_parse_declared("X", "CHARACTER(12)").len, 12);
  EXPECT_EQ(kv_parse_declared("X", "bigint").type, KV_INTEGER);
  EXPECT_EQ(kv_parse_declared("X", "double precision").type, KV_FLOAT);

  EXPECT_TRUE(kv_valid_name("KUNDE_ID"));
  EXPECT_TRUE(kv_valid_name("_X1"));
  EXPECT_FALSE(kv_valid_name(""));
  EXPECT_FALSE(kv_valid_name("1A"));
  EXPECT_FALSE(kv_valid_name("A\"B"));
  EXPECT_FALSE(kv_valid_name("A B"));
  EXPECT_FALSE(kv_valid_name("M\xdcLLER"));
  EXPECT_FALSE(kv_valid_name("SQLITE_MASTER"));
  EXPECT_FALSE(kv_valid_name(std::string(65, 'A')));
}

TEST(Types, ErrorTextsStayShortAndSayWhatIsWrong) {
  KvBound b;
  std::string err;
  // a value near the protocol's text limit must not blow up the error reply
  EXPECT_FALSE(kv_convert(str(std::string(30000, 'x')), col(KV_CHARACTER, 3), &b, &err));
  EXPECT_LT(err.size(), 200u);
  EXPECT_NE(err.find("too long"), std::string::npos) << err;
  EXPECT_FALSE(kv_convert(str("2001-02-29"), col(KV_DATE, 0), &b, &err));
  EXPECT_NE(err.find("no valid date"), std::string::npos) << err;
  EXPECT_FALSE(kv_convert(str("24:00"), col(KV_TIME, 0), &b, &err));
  EXPECT_NE(err.find("no valid time"), std::string::npos) << err;
}

TEST(Types, GregorianStoresRefuseDaysOnlyKorvalHas) {
  KvColumn date{"D", KV_DATE, 0, false}, stamp{"T", KV_TIMESTAMP, 0, false};
  KvBound b;
  std::string err;
  for (const char *day : {"29.02.1900", "1800-02-29", "2100-02-29"}) {
    KvLiteral lit{KvLiteral::STR, 0, 0, day};
    EXPECT_TRUE(kv_convert(lit, date, &b, &err)) << day;
    EXPECT_EQ(b.form, KvBound::AS_DATE);
    EXPECT_FALSE(kv_convert(lit, date, &b, &err, true)) << day;
    EXPECT_NE(err.find("no such day"), std::string::npos) << err;
  }
  KvLiteral leap{KvLiteral::STR, 0, 0, "2000-02-29-12.00.00"},
      late{KvLiteral::STR, 0, 0, "1900-02-29"};
  EXPECT_TRUE(kv_convert(leap, stamp, &b, &err, true));
  EXPECT_EQ(b.form, KvBound::AS_TIMESTAMP);
  EXPECT_EQ(b.s, "2000-02-29-12.00.00.000000");
  EXPECT_FALSE(kv_convert(late, stamp, &b, &err, true));
}
