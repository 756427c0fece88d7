// Fuzz tests of whole korvald sessions (KvSession of server/session.h) on a
// catalogue of their own (no server) with the demo data in KVSYS: valid,
// random and mutated requests are executed one after the other, and every
// reply must be one the client library decodes cleanly (an error reply with
// its text, or a result the client reads without a decoding error).
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "dbclient/grammar.h"
#include "proto/query.h"
#include "dbclient/result.h"
#include "server/demo.h"
#include "server/session.h"
#include "tests/fuzz/fuzz.h"
#include "tests/support/temp_catalog.h"

using fuzz::Bytes;
using fuzz::open_request;
using fuzz::request;
using fuzz::Rng;

namespace {

class SessionFuzz : public ::testing::Test {
 protected:
  void SetUp() override {
    catalog_ = std::make_unique<TempCatalog>();
    ASSERT_TRUE(catalog_->ok());
    std::string err;
    ASSERT_TRUE(catalog_->db_create(KV_SYSTEM_DB, &err)) << err;
    ASSERT_TRUE(catalog_->fill_demo(KV_SYSTEM_DB, &err)) << err;
    session_ = std::make_unique<KvSession>(*catalog_, 1);
  }
  void TearDown() override {
    session_.reset();
    catalog_.reset();
  }

  // Runs one request and checks its reply with the client's decoder; the
  // reply stays in reply_.  Returns the reply code, or 0 when there was no
  // reply.
  int run(const Bytes &req) {
    fuzz::Exact x(req);
    KvReply r = session_->handle(x.data(), x.size());
    KvAction a = r.action;
    reply_.assign(r.bytes.begin(), r.bytes.end());
    EXPECT_TRUE(a == KV_SEND_REPLY || a == KV_NO_REPLY || a == KV_STOP_SERVER ||
                a == KV_REPLY_AND_STOP);
    if (a == KV_NO_REPLY || a == KV_STOP_SERVER) return 0;
    EXPECT_GE(reply_.size(), 1u) << "empty reply to " << fuzz::hex(req);
    if (reply_.empty()) return 0;
    Bytes reply = reply_;
    fuzz::Exact rx(reply);
    DBresult *res = new DBresult;
    RESDATA_Empty(&res->data);
    DBprocess_reply(res, rx.data(), rx.size());
    int code = static_cast<unsigned char>(reply[0]);
    codes_[code]++;
    if (code == REPLY_ERROR) {
      EXPECT_EQ(DBresultStatus(res), DB_ERROR_REPLY);
      EXPECT_NE(res->errmsg[0], '\0') << "error reply without a text to " << fuzz::hex(req);
      EXPECT_STRNE(res->errmsg, "(DBexec) Result error message missing\n") << fuzz::hex(req);
    } else {
      EXPECT_TRUE(code == REPLY_OK || code == REPLY_DATA || code == REPLY_TUPLES ||
                  code == REPLY_NOTALLDATA)
          << code;
      EXPECT_NE(DBresultStatus(res), DB_ERROR_REPLY)
          << "the client cannot read the reply to " << fuzz::hex(req) << ": " << res->errmsg
          << "\nreply " << fuzz::hex(reply);
      int cells = 0;
      for (int r = 0; r < DBntuples(res) && DBnfields(res) > 0 && cells < 200; r++)
        for (int f = 0; f < DBnfields(res); f++, cells++) {
          EXPECT_NE(DBgetvalue(res, r, f), nullptr);
          EXPECT_GE(DBftype(res, f), 0) << "unknown field type in a reply";
        }
    }
    DBclear(res);
    return code;
  }

  std::map<int, int> codes_;  // replies seen, by code
  Bytes reply_;               // the last reply
  std::unique_ptr<TempCatalog> catalog_;
  std::unique_ptr<KvSession> session_;
};

const std::vector<std::string> kSessionSql = {
    "SELECT * FROM KUNDE WHERE KUNDE_ID < 5 ORDER BY NAME DESC;",
    "SELECT K.NAME, COUNT(*) FROM KUNDE K, BESTELLUNG B WHERE K.KUNDE_ID = B.KUNDE_ID;",
    "SELECT MIN(PREIS), MAX(A.BESTAND) FROM ARTIKEL A;",
    "SELECT DISTINCT ORT FROM KUNDE WHERE ORT LIKE 'B%' OR RABATT BETWEEN 0.1 AND 0.3;",
    "SELECT * FROM BESTELLUNG WHERE DATUM > '2003-01-01' AND UHRZEIT < '12:00';",
    "SELECT * FROM KUNDE WHERE EXISTS (SELECT * FROM BESTELLUNG WHERE BESTELLUNG.KUNDE_ID = 3);",
    "SELECT * FROM ARTIKEL WHERE ARTIKEL_ID IN (SELECT ARTIKEL_ID FROM BESTELLUNG WHERE MENGE > "
    "2);",
    "SELECT * FROM ARTIKEL WHERE PREIS > (SELECT MIN(PREIS) FROM ARTIKEL);",
    "SELECT * FROM KUNDE WHERE KUNDE_ID IN (1, 2, '3', 4.0);",
    "CREATE TABLE T (C CHARACTER(10) NOT NULL, B BINARY(4), S SMALLINT, I INTEGER, F FLOAT, "
    "D DATE, TI TIME, TS TIMESTAMP);",
    "INSERT INTO T VALUES ('abc', 'xy', 7, 8, 9.5, '2003-07-12', '09:05:00', "
    "'2003-07-12-10.11.12.000013');",
    "INSERT INTO T (C, I) VALUES ('nur', 1);",
    "UPDATE T SET I = 2, F = 1 WHERE C = 'abc';",
    "SELECT * FROM T;",
    "DECLARE CU CURSOR FOR SELECT * FROM BESTELLUNG;",
    "FETCH IN CU;",
    "FETCH ALL IN CU;",
    "CLOSE CU;",
    "BEGIN;",
    "COMMIT;",
    "ABORT;",
    "MAX 3;",
    "MAX;",
    "SHOW DATABASES;",
    "SHOW TABLES;",
    "SHOW INDICES;",
    "SHOW INDICES ON TABLE KUNDE;",
    "SHOW TABLE KUNDE;",
    "SHOW INDEX KUNDE_PK;",
    "CREATE INDEX TI1 ON T (I, C);",
    "DROP INDEX TI1;",
    "DELETE FROM T WHERE I > 1;",
    "SET TABLE T STATIC;",
    "SET TABLE T SECURE;",
    "CREATE DATABASE FUZZ;",
    "SET DATABASE KVSYS;",
    "SAVE DATABASE;",
    "DROP TABLE T;"};

// Random literals for the typed columns of T: the server's conversions of
// strings to dates, times, timestamps and numbers.
std::string random_literal(Rng &rng) {
  static const std::vector<std::string> texts = {"'2003-07-12'",
                                                 "'12.07.2003'",
                                                 "'1799-12-31'",
                                                 "'2800-12-31'",
                                                 "'2004-02-29'",
                                                 "'2003-02-29'",
                                                 "'9999-99-99'",
                                                 "'-1-1-1'",
                                                 "'09:05'",
                                                 "'24:00:00'",
                                                 "'23:59:60'",
                                                 "'2003-07-12-25.61.61.9999999'",
                                                 "'2003-07-12 10:11:12.5'",
                                                 "'2003-07-12-10.11.12.'",
                                                 "''",
                                                 "' '",
                                                 "'0x10'",
                                                 "'1e400'",
                                                 "'-0'",
                                                 "'nan'",
                                                 "'inf'",
                                                 "'99999999999999999999'",
                                                 "'32768'",
                                                 "'-32769'",
                                                 "'2147483648'",
                                                 "'1.5'",
                                                 "'abcdefghijklmnop'",
                                                 "'\\\\'",
                                                 "2147483647",
                                                 "-2147483647",
                                                 "1e308",
                                                 "-1e308",
                                                 "0.0000001",
                                                 "32767",
                                                 "-32768",
                                                 "65536",
                                                 "'\xe4\xf6\xfc'",
                                                 "'12:00:00:00'",
                                                 "'2003-7-2'",
                                                 "'2003-07-12-10.11'",
                                                 "'.'",
                                                 "'::'"};
  if (rng.chance(3)) {
    std::string s = "'";
    int n = rng.below(14);
    for (int i = 0; i < n; i++) s += "0123456789-.: eE+"[rng.below(17)];
    return s + "'";
  }
  return rng.pick(texts);
}

}  // namespace

// Valid statements, then random INSERTs and comparisons with literals of
// every shape, then mutated requests, on one session.
TEST_F(SessionFuzz, RandomRequestsGiveReadableReplies) {
  Rng rng(51);
  ASSERT_EQ(run(open_request("KVSYS")), REPLY_OK);
  std::vector<Bytes> corpus;
  for (const std::string &s : kSessionSql) {
    Bytes r = request(s);
    ASSERT_FALSE(r.empty()) << s;
    corpus.push_back(r);
  }
  for (const std::string &s : fuzz::sql_corpus()) corpus.push_back(request(s));
  ASSERT_EQ(run(request(kSessionSql[9])), REPLY_OK);
  static const char *cols[] = {"C", "B", "S", "I", "F", "D", "TI", "TS"};
  for (int iter = 0; iter < 300; iter++) {
    std::string col = cols[rng.below(8)];
    std::string sql =
        rng.chance(2) ? "INSERT INTO T (" + col + ", C) VALUES (" + random_literal(rng) + ", 'x');"
                      : "SELECT * FROM T WHERE " + col + " " + (rng.chance(2) ? "=" : "<") + " " +
                            random_literal(rng) + ";";
    Bytes r = request(sql);
    ASSERT_FALSE(r.empty()) << sql;
    run(r);
  }
  for (const Bytes &r : corpus) {
    run(r);
    run(open_request("KVSYS"));
  }
  for (int iter = 0; iter < 2500; iter++) {
    if (iter % 25 == 0) run(open_request("KVSYS"));
    Bytes b = rng.pick(corpus);
    fuzz::mutate_some(rng, b, 3, rng.pick(corpus));
    run(b);
  }
  // The run reached every kind of reply, not just refusals.
  for (int code : {REPLY_ERROR, REPLY_OK, REPLY_DATA, REPLY_TUPLES})
    EXPECT_GE(codes_[code], 20) << "reply code " << code;
}

namespace {

// Random conditions on KUNDE of the demo data (no column there is NULL),
// so every condition is either true or false for each customer.
struct KundeConditions {
  Rng &rng;

  std::string literal(int col) {
    static const char *names[] = {"'M%'", "'Meier'", "'A'", "'Z'", "'%a%'", "'B_rlin'", "''"};
    switch (col) {
      case 0: return std::to_string(rng.below(130) - 5);
      case 6: {
        char b[96];
        snprintf(b, sizeof b, "'%04d-%02d-%02d'", 1935 + rng.below(70), 1 + rng.below(12),
                 1 + rng.below(28));
        return b;
      }
      case 7:
        return rng.chance(2) ? std::to_string(rng.below(12)) + ".5" : std::to_string(rng.below(12));
      case 8: {
        char b[96];
        snprintf(b, sizeof b, "'%04d-%02d-%02d-%02d.%02d.%02d.%06d'", 1997 + rng.below(8),
                 1 + rng.below(12), 1 + rng.below(28), rng.below(24), rng.below(60), rng.below(60),
                 rng.below(1000000));
        return b;
      }
      default: return names[rng.below(7)];
    }
  }

  std::string condition(int depth) {
    static const char *cols[] = {"KUNDE_ID", "NAME",       "VORNAME", "STRASSE", "PLZ",
                                 "ORT",      "GEBURTSTAG", "RABATT",  "ANGELEGT"};
    static const char *ops[] = {"=", "<", ">", "<=", ">=", "<>", "LIKE"};
    int c = rng.below(9);
    std::string col = cols[c];
    int k = depth > 3 ? rng.below(5) : rng.below(12);
    switch (k) {
      case 0:
      case 1:
      case 2: {
        const char *op = ops[rng.below(c >= 1 && c <= 5 ? 7 : 6)];
        return col + " " + op + " " + literal(c);
      }
      case 3: return col + " BETWEEN " + literal(c) + " AND " + literal(c);
      case 4: {
        std::string s = col + " IN (" + literal(c);
        for (int i = rng.below(3); i > 0; i--) s += ", " + literal(c);
        return s + ")";
      }
      case 5: return "NOT (" + condition(depth + 1) + ")";
      case 6: return "(" + condition(depth + 1) + ") AND (" + condition(depth + 1) + ")";
      case 7: return "(" + condition(depth + 1) + ") OR (" + condition(depth + 1) + ")";
      case 8:
        return "KUNDE_ID IN (SELECT KUNDE_ID FROM BESTELLUNG WHERE MENGE > " +
               std::to_string(rng.below(11)) + ")";
      case 9:
        return "EXISTS (SELECT * FROM BESTELLUNG B WHERE B.KUNDE_ID = KUNDE.KUNDE_ID AND B.MENGE "
               "> " +
               std::to_string(rng.below(11)) + ")";
      case 10: return "KUNDE_ID > (SELECT MIN(KUNDE_ID) FROM BESTELLUNG)";
      default: {
        // Two columns of the same kind.
        static const char *texts[] = {"NAME", "VORNAME", "STRASSE", "ORT"};
        return std::string(texts[rng.below(4)]) + " " + ops[rng.below(6)] + " " +
               texts[rng.below(4)];
      }
    }
  }
};

// The rows of a reply: the first field of each as text; false for an error.
bool rows_of(const Bytes &reply, std::vector<std::string> *rows, std::string *err) {
  DBresult *res = new DBresult;
  RESDATA_Empty(&res->data);
  DBprocess_reply(res, reply.data(), static_cast<int>(reply.size()));
  bool ok = DBresultStatus(res) == DB_TUPLES_OK;
  *err = res->errmsg;
  rows->clear();
  for (int r = 0; ok && r < DBntuples(res); r++) rows->push_back(DBgetvalue(res, r, 0));
  DBclear(res);
  return ok;
}

}  // namespace

// The executor agrees with itself on random conditions: COUNT(*) equals
// the rows a SELECT returns, ORDER BY DESC orders them, and a condition and
// its negation split the 120 customers between them.
TEST_F(SessionFuzz, ConditionsAreConsistent) {
  Rng rng(52);
  KundeConditions gen{rng};
  ASSERT_EQ(run(open_request("KVSYS")), REPLY_OK);
  int split = 0;
  for (int iter = 0; iter < 600; iter++) {
    std::string c = gen.condition(0);
    std::vector<std::string> count, rows, negated;
    std::string e1, e2, e3;
    Bytes q1 = request("SELECT COUNT(*) FROM KUNDE WHERE " + c + ";");
    Bytes q2 = request("SELECT KUNDE_ID FROM KUNDE WHERE " + c + " ORDER BY KUNDE_ID DESC;");
    Bytes q3 = request("SELECT KUNDE_ID FROM KUNDE WHERE NOT (" + c + ");");
    ASSERT_FALSE(q1.empty() || q2.empty() || q3.empty()) << c;
    run(q1);
    bool ok1 = rows_of(reply_, &count, &e1);
    run(q2);
    bool ok2 = rows_of(reply_, &rows, &e2);
    run(q3);
    bool ok3 = rows_of(reply_, &negated, &e3);
    ASSERT_TRUE(ok1 && ok2 && ok3) << c << "\n" << e1 << "\n" << e2 << "\n" << e3;
    ASSERT_EQ(count.size(), 1u) << c;
    EXPECT_EQ(atoi(count[0].c_str()), static_cast<int>(rows.size())) << c;
    for (size_t i = 1; i < rows.size(); i++)
      EXPECT_GT(atoi(rows[i - 1].c_str()), atoi(rows[i].c_str())) << c;
    EXPECT_EQ(rows.size() + negated.size(), 120u) << c;
    if (!rows.empty() && !negated.empty()) split++;
  }
  EXPECT_GE(split, 100) << "too few conditions that select some customers but not all";
}

namespace {

// A string literal for text (quotes and backslashes escaped).
std::string sql_string(const std::string &text) {
  std::string q = "'";
  for (char c : text) {
    if (c == '\'' || c == '\\') q += '\\';
    q += c;
  }
  return q + "'";
}

std::string random_text(Rng &rng, int max) {
  std::string s;
  for (int i = rng.below(max + 1); i > 0; i--) {
    char c = rng.byte();
    s += c ? c : '\\';
  }
  return s;
}

}  // namespace

// Values of every type, inserted as literals and read back as the client
// displays them: the whole way from SQL text through the translator, the
// request decoder, SQLite, the reply and the client's decoder.
TEST_F(SessionFuzz, ValuesRoundTrip) {
  Rng rng(53);
  ASSERT_EQ(run(open_request("KVSYS")), REPLY_OK);
  ASSERT_EQ(run(request("CREATE TABLE RT (K INTEGER NOT NULL, C CHARACTER(40), B BINARY(8), "
                        "S SMALLINT, I INTEGER, F FLOAT, D DATE, T TIME, TS TIMESTAMP);")),
            REPLY_OK);
  for (int k = 0; k < 300; k++) {
    std::string c = random_text(rng, 40), bin = random_text(rng, 8);
    int s = rng.below(65536) - 32768;
    int32_t i = static_cast<int32_t>(rng.next());
    double f = (static_cast<double>(static_cast<int64_t>(rng.next() % 2000000001)) - 1e9) /
               static_cast<double>(1 + rng.below(100000));
    if (rng.chance(4)) f *= 1e100;
    if (f == 0) f = 1;
    char fs[64], ds[64], ts[64], tss[96], ftext[DB_FLOAT_TEXT_SIZE];
    snprintf(fs, sizeof fs, "%.17e", f);
    int y = 1800 + rng.below(1001), mo = 1 + rng.below(12), d = 1 + rng.below(28);
    int h = rng.below(24), mi = rng.below(60), se = rng.below(60), us = rng.below(1000000);
    snprintf(ds, sizeof ds, "%04d-%02d-%02d", y, mo, d);
    snprintf(ts, sizeof ts, "%02d:%02d:%02d", h, mi, se);
    snprintf(tss, sizeof tss, "%04d-%02d-%02d-%02d.%02d.%02d.%06d", y, mo, d, h, mi, se, us);
    std::string sql = "INSERT INTO RT VALUES (" + std::to_string(k) + ", " + sql_string(c) + ", " +
                      sql_string(bin) + ", " + std::to_string(s) + ", " + std::to_string(i) + ", " +
                      fs + ", '" + ds + "', '" + ts + "', '" + tss + "');";
    Bytes ins = request(sql);
    ASSERT_FALSE(ins.empty()) << sql;
    ASSERT_EQ(run(ins), REPLY_TUPLES) << sql;

    Bytes sel = request("SELECT * FROM RT WHERE K = " + std::to_string(k) + ";");
    ASSERT_EQ(run(sel), REPLY_DATA);
    DBresult *res = new DBresult;
    RESDATA_Empty(&res->data);
    DBprocess_reply(res, reply_.data(), static_cast<int>(reply_.size()));
    ASSERT_EQ(DBntuples(res), 1) << sql;
    ASSERT_EQ(DBnfields(res), 9);
    std::vector<char> enc(Binary_Text_Size(static_cast<int>(bin.size())));
    Binary_Encode(reinterpret_cast<const unsigned char *>(bin.data()), static_cast<int>(bin.size()),
                  enc.data());
    EXPECT_EQ(std::string(DBgetvalue(res, 0, 1)), c) << sql;
    EXPECT_EQ(std::string(DBgetvalue(res, 0, 2)), std::string(enc.data())) << sql;
    EXPECT_EQ(std::string(DBgetvalue(res, 0, 3)), std::to_string(s));
    EXPECT_EQ(std::string(DBgetvalue(res, 0, 4)), std::to_string(i));
    EXPECT_EQ(std::string(DBgetvalue(res, 0, 5)), std::string(DBfloat_text(f, ftext))) << fs;
    EXPECT_EQ(std::string(DBgetvalue(res, 0, 6)), std::string(ds));
    EXPECT_EQ(std::string(DBgetvalue(res, 0, 7)), std::string(ts));
    EXPECT_EQ(std::string(DBgetvalue(res, 0, 8)), std::string(tss));
    DBclear(res);
  }
}

// Valid statements in random order on three sessions at once (interleaved
// in one thread): databases created, opened, switched and dropped under
// each other's feet, cursors and maximums left behind.  Transactions are
// left out, since a session waiting for another's lock in the same thread
// would only wait.
TEST_F(SessionFuzz, StatementsInRandomOrderOnThreeSessions) {
  Rng rng(54);
  std::vector<std::unique_ptr<KvSession>> sessions;
  for (int i = 0; i < 3; i++) sessions.push_back(std::make_unique<KvSession>(*catalog_, 10 + i));
  std::vector<Bytes> statements;
  for (const std::string &s : kSessionSql)
    if (s != "BEGIN;" && s != "COMMIT;" && s != "ABORT;") statements.push_back(request(s));
  for (const char *s : {"CREATE DATABASE FUZZ;", "CREATE DATABASE FUZZ2;", "DROP DATABASE;",
                        "SET DATABASE FUZZ;", "SET DATABASE FUZZ2;", "SET DATABASE KVSYS;",
                        "CREATE TABLE T (C CHARACTER(10), I INTEGER);",
                        "INSERT INTO T (C, I) VALUES ('a', 1);", "SELECT * FROM T;"})
    statements.push_back(request(s));
  Bytes disconnect{static_cast<char>(CMD_DISCONNECT)};
  statements.push_back(open_request("KVSYS"));
  statements.push_back(open_request("FUZZ"));
  for (const Bytes &s : statements) ASSERT_FALSE(s.empty());
  for (int iter = 0; iter < 1500; iter++) {
    // run() works on session_; point it at one of the three.
    std::swap(session_, sessions[static_cast<size_t>(rng.below(3))]);
    run(rng.chance(40) ? disconnect : rng.pick(statements));
  }
  EXPECT_GE(codes_[REPLY_DATA], 50);
  EXPECT_GE(codes_[REPLY_OK], 50);
}
