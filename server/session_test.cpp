// Tests of a korvald session without a server, on a temporary catalogue:
// which requests need a database or are refused inside a transaction, the
// actions and reply bytes handle() hands back, the databases it creates and
// drops through the catalogue, the trace lines, and the notice after an
// expired transaction.
#include "server/session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbclient/grammar.h"
#include "dbclient/result.h"
#include "proto/query.h"
#include "tests/support/temp_catalog.h"

namespace {

struct Outcome {
  KvAction action;
  std::string bytes;
};

// The error reply with text.
std::string error_reply(const std::string &text) {
  std::string r = "0b";
  r += static_cast<char>(text.size() + 1);
  r += '\0';
  return r + text + '\0';
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(catalog_.ok());
    std::string err;
    ASSERT_TRUE(catalog_.db_create(KV_SYSTEM_DB, &err)) << err;
  }

  Outcome raw(KvSession &s, const std::string &request) {
    KvReply r = s.handle(request.data(), static_cast<int>(request.size()));
    return {r.action, std::string(r.bytes)};
  }
  // The outcome of the request the client sends for sql.
  Outcome run(KvSession &s, const std::string &sql) {
    std::vector<char> text(sql.begin(), sql.end());
    text.push_back(0);
    char err[10000];
    DBquery_init();
    EXPECT_EQ(scan_sql(text.data(), err), 1) << sql << ": " << err;
    return raw(s, std::string(query_data, static_cast<size_t>(query_size)));
  }
  std::string reply(const std::string &sql) { return run(session_, sql).bytes; }
  // A request of a command code and a name token (as DBsetdb and DBdropdb
  // send them).
  std::string named(KvSession &s, int cmd, const char *name) {
    return raw(s, std::string(1, static_cast<char>(cmd)) + "a" +
                      static_cast<char>(strlen(name) + 1) + '\0' + name + '\0')
        .bytes;
  }
  std::string open_db(KvSession &s, const char *db) { return named(s, CMD_OPEN_DATABASE, db); }

  TempCatalog catalog_;
  KvSession session_{catalog_, 7};
};

}  // namespace

TEST_F(SessionTest, RequestsWithoutADatabase) {
  const char *const need_a_database[] = {"SELECT * FROM T;",
                                         "DECLARE C CURSOR FOR SELECT * FROM T;",
                                         "FETCH IN C;",
                                         "CLOSE C;",
                                         "INSERT INTO T VALUES (1);",
                                         "UPDATE T SET A = 1;",
                                         "DELETE FROM T;",
                                         "CREATE TABLE T (A INTEGER);",
                                         "DROP TABLE T;",
                                         "CREATE INDEX I ON T (A);",
                                         "CREATE UNIQUE INDEX I ON T (A);",
                                         "DROP INDEX I;",
                                         "SET TABLE T STATIC;",
                                         "SET TABLE T SECURE;",
                                         "SAVE DATABASE;",
                                         "BEGIN;",
                                         "COMMIT;",
                                         "ABORT;",
                                         "SHOW TABLES;",
                                         "SHOW TABLE T;",
                                         "DROP DATABASE;"};
  for (const char *sql : need_a_database) {
    Outcome o = run(session_, sql);
    EXPECT_EQ(o.action, KV_SEND_REPLY) << sql;
    EXPECT_EQ(o.bytes, error_reply("No database open")) << sql;
  }
  EXPECT_EQ(reply("MAX 3;"), "1");
  EXPECT_EQ(reply("SHOW DATABASES;").substr(0, 9), std::string("2\x01\0\0\0\x01\0\0\0", 9));

  Outcome stop = run(session_, "STOP;");
  EXPECT_EQ(stop.action, KV_REPLY_AND_STOP);
  EXPECT_EQ(stop.bytes, "1");
  Outcome stop_server = raw(session_, std::string(1, CMD_STOP_SERVER));
  EXPECT_EQ(stop_server.action, KV_STOP_SERVER);
  EXPECT_EQ(stop_server.bytes, "");
  Outcome disconnect = raw(session_, std::string(1, CMD_DISCONNECT));
  EXPECT_EQ(disconnect.action, KV_NO_REPLY);
  EXPECT_EQ(disconnect.bytes, "");
  EXPECT_EQ(raw(session_, "").bytes, error_reply("Empty request"));
}

TEST_F(SessionTest, DatabasesAndTransactions) {
  ASSERT_EQ(reply("CREATE DATABASE D2;"), "1");
  ASSERT_EQ(reply("BEGIN;"), "1");
  EXPECT_EQ(reply("BEGIN;"), error_reply("A transaction is already active"));
  EXPECT_EQ(reply("SET DATABASE KVSYS;"), error_reply("Not possible inside a transaction"));
  EXPECT_EQ(reply("CREATE DATABASE D3;"), error_reply("Not possible inside a transaction"));
  // DROP DATABASE looks at the name before the transaction
  EXPECT_EQ(named(session_, CMD_DROP_DATABASE, "KVSYS"),
            error_reply("Only the open database D2 can be dropped"));
  EXPECT_EQ(reply("DROP DATABASE;"), error_reply("Not possible inside a transaction"));
  EXPECT_EQ(catalog_.db_list(), (std::vector<std::string>{"D2", "KVSYS"}));
  ASSERT_EQ(reply("ABORT;"), "1");
  EXPECT_EQ(reply("COMMIT;"), error_reply("No transaction active"));

  // another session on D2 keeps it; the refused session goes on with D2
  KvSession other(catalog_, 8);
  ASSERT_EQ(open_db(other, "D2"), "1");
  EXPECT_EQ(reply("DROP DATABASE;"), error_reply("Database D2 is in use by another connection"));
  EXPECT_EQ(reply("CREATE TABLE T (A INTEGER);"), "1");
  raw(other, std::string(1, CMD_DISCONNECT));
  EXPECT_EQ(reply("DROP DATABASE;"), "1");
  EXPECT_EQ(catalog_.db_list(), std::vector<std::string>{"KVSYS"});
  EXPECT_EQ(reply("SELECT * FROM T;"), error_reply("No database open"));
  ASSERT_EQ(open_db(session_, "KVSYS"), "1");
  EXPECT_EQ(reply("DROP DATABASE;"), error_reply("The database KVSYS cannot be dropped"));
  EXPECT_EQ(open_db(session_, "D2"), error_reply("Database D2 does not exist"));
}

// Every type's value and field description, byte for byte, and the trace
// of the statements and replies.
TEST_F(SessionTest, RowRepliesByteForByte) {
  ASSERT_EQ(open_db(session_, "KVSYS"), "1");
  ASSERT_EQ(reply("CREATE TABLE V (C CHARACTER(3), B BINARY(2), S SMALLINT, I INTEGER, F FLOAT, "
                  "D DATE, T TIME, TS TIMESTAMP);"),
            "1");
  ASSERT_EQ(reply("INSERT INTO V VALUES ('ab', 'xy', -2, 70000, 1.0, '12.07.2003', '09:05:01', "
                  "'2003-07-12-10.11.12.000013');"),
            std::string("3\x01\0\0\0", 5));
  catalog_.trace = true;
  std::string want("2\x08\0\0\0\x01\0\0\0", 9);
  const char *fields[][3] = {{"C", "0", "\x04"}, {"B", "\xa6", "\x04"}, {"S", "1", "\x02"},
                             {"I", "2", "\x04"}, {"F", "3", "\x08"},    {"D", "4", "\x04"},
                             {"T", "5", "\x03"}, {"TS", "6", "\x0c"}};
  for (auto &f : fields) {
    want += static_cast<char>(strlen(f[0]) + 1);
    want +=
        std::string("\0", 1) + f[0] + std::string("\0", 1) + f[1] + f[2] + std::string("\0\0\0", 3);
  }
  want += std::string("\x03\0ab\0", 5);                                       // CHARACTER
  want += std::string("\x04\0\x02\0xy", 6);                                   // BINARY
  want += std::string("\x02\0\xfe\xff", 4);                                   // SMALLINT
  want += std::string("\x04\0\x70\x11\x01\0", 6);                             // INTEGER
  want += std::string("\x08\0\0\0\0\0\0\0\xf0\x3f", 10);                      // FLOAT
  want += std::string("\x04\0\xd3\x07\x07\x0c", 6);                           // DATE
  want += std::string("\x03\0\x09\x05\x01", 5);                               // TIME
  want += std::string("\x0c\0\xd3\x07\x07\x0c\x0a\x0b\x0c\0\x0d\0\0\0", 14);  // TIMESTAMP
  EXPECT_EQ(reply("SELECT * FROM V;"), want);
  EXPECT_EQ(reply("DELETE FROM X;"), error_reply("Table X does not exist"));
  ASSERT_EQ(catalog_.log.size(), 4u);
  EXPECT_EQ(catalog_.log[0],
            "[7] SELECT | SELECT \"V\".\"C\", \"V\".\"B\", \"V\".\"S\", \"V\".\"I\", "
            "\"V\".\"F\", \"V\".\"D\", \"V\".\"T\", \"V\".\"TS\" FROM \"V\"");
  EXPECT_EQ(catalog_.log[1], "[7] reply 2 8 fields, 1 rows");
  EXPECT_EQ(catalog_.log[3], "[7] reply 0 Table X does not exist");

  // SHOW TABLE names each type and its size
  std::string show = reply("SHOW TABLE V;");
  DBresult *res = new DBresult;
  RESDATA_Empty(&res->data);
  DBprocess_reply(res, show.data(), static_cast<int>(show.size()));
  ASSERT_EQ(DBntuples(res), 8);
  const char *types[][2] = {{"CHARACTER", "3"}, {"BINARY", "2"},    {"SMALLINT", "2"},
                            {"INTEGER", "4"},   {"FLOAT", "8"},     {"DATE", "4"},
                            {"TIME", "3"},      {"TIMESTAMP", "12"}};
  for (int r = 0; r < 8; r++) {
    EXPECT_STREQ(DBgetvalue(res, r, 1), types[r][0]);
    EXPECT_STREQ(DBgetvalue(res, r, 2), types[r][1]);
  }
  DBclear(res);
}

TEST_F(SessionTest, AnExpiredTransactionIsToldOnceAndNotForADisconnect) {
  ASSERT_EQ(open_db(session_, "KVSYS"), "1");
  ASSERT_EQ(reply("CREATE TABLE T (A INTEGER);"), "1");
  ASSERT_EQ(reply("BEGIN;"), "1");
  ASSERT_EQ(reply("INSERT INTO T VALUES (1);"), std::string("3\x01\0\0\0", 5));
  ASSERT_TRUE(session_.in_transaction());
  session_.expire_transaction(5);
  EXPECT_FALSE(session_.in_transaction());
  catalog_.trace = true;
  EXPECT_EQ(reply("INSERT INTO T VALUES (2);"),
            error_reply("The transaction was rolled back after 5 s without a request; nothing of "
                        "it was committed, and this request was not run"));
  EXPECT_EQ(catalog_.log.front(), "[7] request not run: transaction had expired");
  EXPECT_EQ(reply("SELECT COUNT(*) FROM T;"), std::string("2\x01\0\0\0\x01\0\0\0", 9) +
                                                  std::string("\x09\0COUNT(*)\0"
                                                              "2\x04\0\0\0",
                                                              16) +
                                                  std::string("\x04\0\0\0\0\0", 6));

  // a disconnect runs and takes the notice with it
  ASSERT_EQ(reply("BEGIN;"), "1");
  session_.expire_transaction(5);
  EXPECT_EQ(raw(session_, std::string(1, CMD_DISCONNECT)).action, KV_NO_REPLY);
  EXPECT_EQ(open_db(session_, "KVSYS"), "1");
}

// The rows of a reply, decoded as the client does: one line per row, the
// display texts joined by '|'.
static std::vector<std::string> rows_of(const std::string &reply) {
  DBresult *res = new DBresult;
  RESDATA_Empty(&res->data);
  DBprocess_reply(res, reply.data(), static_cast<int>(reply.size()));
  std::vector<std::string> rows;
  for (int r = 0; r < DBntuples(res); r++) {
    std::string line;
    for (int f = 0; f < DBnfields(res); f++)
      line += (f ? "|" : "") + std::string(DBgetvalue(res, r, f));
    rows.push_back(line);
  }
  DBclear(res);
  return rows;
}

TEST_F(SessionTest, AReplyNeverExceedsTheLimitAndEndsAfterAWholeRow) {
  KvSession small(catalog_, 8, 2000);
  ASSERT_EQ(open_db(session_, "KVSYS"), "1");
  ASSERT_EQ(open_db(small, "KVSYS"), "1");
  ASSERT_EQ(reply("CREATE TABLE T (N INTEGER, C CHARACTER(40));"), "1");
  for (int i = 0; i < 100; i++)
    ASSERT_EQ(reply("INSERT INTO T VALUES (" + std::to_string(i) + ", 'Zeile " + std::to_string(i) +
                    " mit etwas Text');")[0],
              '3');
  std::string all = reply("SELECT * FROM T;");
  ASSERT_EQ(all[0], '2');
  ASSERT_EQ(rows_of(all).size(), 100u);
  std::string cut = run(small, "SELECT * FROM T;").bytes;
  EXPECT_EQ(cut[0], '4');
  EXPECT_LE(cut.size(), 2000u);
  std::vector<std::string> got = rows_of(cut), want = rows_of(all);
  ASSERT_GT(got.size(), 10u);
  ASSERT_LT(got.size(), 100u);
  // the rows that came are the first ones, and one more would not fit
  EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin()));
  std::string one_more = run(small, "MAX " + std::to_string(got.size() + 1) + ";").bytes;
  ASSERT_EQ(one_more, "1");
  EXPECT_EQ(rows_of(run(small, "SELECT * FROM T;").bytes).size(), got.size());
  // a cursor is fetched in replies within the limit as well, to its end
  // (held whole, its rows would be more than the limit allows)
  ASSERT_EQ(run(small, "MAX;").bytes, "1");
  ASSERT_EQ(run(small, "DECLARE C CURSOR FOR SELECT * FROM T;").bytes,
            error_reply("Cursor C: result too large (close other cursors)"));
  ASSERT_EQ(run(small, "MAX 90;").bytes, "1");
  ASSERT_EQ(run(small, "DECLARE C CURSOR FOR SELECT * FROM T;").bytes, "1");
  std::vector<std::string> fetched;
  for (int i = 0; i < 100; i++) {
    std::string part = run(small, "FETCH ALL IN C;").bytes;
    EXPECT_LE(part.size(), 2000u);
    std::vector<std::string> r = rows_of(part);
    fetched.insert(fetched.end(), r.begin(), r.end());
    if (part[0] == '2') break;
  }
  EXPECT_EQ(fetched, want);
}

// Each session keeps what it has learnt of a table (columns, STATIC,
// SECURE) and its prepared changes; a change of the schema by any
// connection, and the rollback of one, makes it learn anew.
TEST_F(SessionTest, WhatASessionKnowsOfTablesFollowsEveryChange) {
  KvSession other(catalog_, 8);
  ASSERT_EQ(open_db(session_, "KVSYS"), "1");
  ASSERT_EQ(open_db(other, "KVSYS"), "1");
  const std::string one("3\x01\0\0\0", 5);
  ASSERT_EQ(reply("CREATE TABLE T (A INTEGER, B CHARACTER(5));"), "1");
  ASSERT_EQ(reply("INSERT INTO T VALUES (1, 'x');"), one);
  // another connection gives T other columns and then makes it STATIC
  ASSERT_EQ(run(other, "DROP TABLE T;").bytes, "1");
  ASSERT_EQ(run(other, "CREATE TABLE T (A INTEGER, B CHARACTER(5), C FLOAT);").bytes, "1");
  EXPECT_EQ(reply("INSERT INTO T VALUES (2, 'y');"),
            error_reply("Table T has 3 columns, 2 values given"));
  ASSERT_EQ(reply("INSERT INTO T VALUES (2, 'y', 2.5);"), one);
  ASSERT_EQ(run(other, "SET TABLE T STATIC;").bytes, "1");
  EXPECT_EQ(reply("INSERT INTO T VALUES (3, 'z', 1);"),
            error_reply("Table T is STATIC (read-only)"));
  // a flag set inside a transaction and rolled back is gone again, even when
  // another connection has changed the schema since
  ASSERT_EQ(reply("CREATE TABLE U (A INTEGER);"), "1");
  ASSERT_EQ(reply("BEGIN;"), "1");
  ASSERT_EQ(reply("SET TABLE U SECURE;"), "1");
  EXPECT_EQ(reply("DELETE FROM U;"), error_reply("Table U is SECURE (no DELETE, no DROP TABLE)"));
  ASSERT_EQ(reply("ABORT;"), "1");
  ASSERT_EQ(run(other, "CREATE TABLE W (A INTEGER);").bytes, "1");
  EXPECT_EQ(reply("DELETE FROM U;"), std::string("3\0\0\0\0", 5));
  EXPECT_EQ(rows_of(reply("SELECT * FROM T;")), std::vector<std::string>({"2|y|2.5"}));
}

// With a row maximum a cursor is read batch by batch, ahead of the client;
// still it shows the table as it was when declared, whatever the session
// changes in between.
TEST_F(SessionTest, ACursorReadInBatchesShowsTheTableAsDeclared) {
  ASSERT_EQ(open_db(session_, "KVSYS"), "1");
  ASSERT_EQ(reply("CREATE TABLE T (N INTEGER);"), "1");
  std::vector<std::string> want;
  for (int i = 0; i < 7; i++) {
    ASSERT_EQ(reply("INSERT INTO T VALUES (" + std::to_string(i) + ");")[0], '3');
    want.push_back(std::to_string(i));
  }
  ASSERT_EQ(reply("MAX 3;"), "1");
  ASSERT_EQ(reply("DECLARE C CURSOR FOR SELECT N FROM T;"), "1");
  session_.prefetch();
  std::string first = reply("FETCH ALL IN C;");
  EXPECT_EQ(first[0], '4');
  session_.prefetch();
  // changes of this session do not reach the rows still to come
  ASSERT_EQ(reply("INSERT INTO T VALUES (99);")[0], '3');
  ASSERT_EQ(reply("DELETE FROM T WHERE N = 5;"), std::string("3\x01\0\0\0", 5));
  std::vector<std::string> got = rows_of(first);
  for (;;) {
    std::string part = reply("FETCH ALL IN C;");
    std::vector<std::string> r = rows_of(part);
    EXPECT_LE(r.size(), 3u);
    got.insert(got.end(), r.begin(), r.end());
    if (part[0] == '2') break;
    session_.prefetch();
  }
  EXPECT_EQ(got, want);
  ASSERT_EQ(reply("CLOSE C;"), "1");
  // the table itself can be dropped once the cursor is gone
  EXPECT_EQ(reply("DROP TABLE T;"), "1");
}

namespace {

// The operation of a store that is to fail, with the store's error text;
// "rows" lets a query's rows fail after the first `rows` ones.
struct Fault {
  std::string op;
  std::string text = "Speicher gest\xf6rt";
  size_t rows = 0;
};

// The SQLite store of a temporary catalogue, failing where the fault says.
class FaultyStore : public KvSqliteStore {
 public:
  FaultyStore(const std::string &dir, const Fault &fault) : KvSqliteStore(dir), fault_(fault) {}
  std::string error() const override { return hit_ ? fault_.text : KvSqliteStore::error(); }
  bool open(const std::string &name) override { return !hit("open") && KvSqliteStore::open(name); }
  bool drop() override { return !hit("drop") && KvSqliteStore::drop(); }
  bool begin(bool write) override { return !hit("begin") && KvSqliteStore::begin(write); }
  bool commit() override { return !hit("commit") && KvSqliteStore::commit(); }
  bool change(const std::string &sql, const std::vector<KvBound> &binds, long *count) override {
    return !hit("change") && KvSqliteStore::change(sql, binds, count);
  }
  std::unique_ptr<KvRowSource> query(const std::string &sql, const std::vector<KvBound> &binds,
                                     const std::vector<KvField> &fields, bool held,
                                     size_t limit) override {
    if (hit("query")) return nullptr;
    auto rows = KvSqliteStore::query(sql, binds, fields, held, limit);
    if (!rows || !hit("rows")) return rows;
    return std::make_unique<Failing>(std::move(rows), fault_.rows);
  }

 private:
  struct Failing : KvRowSource {
    Failing(std::unique_ptr<KvRowSource> rows, size_t left) : rows(std::move(rows)), left(left) {}
    Step next(DBwriter &w) override { return left-- == 0 ? FAILED : rows->next(w); }
    std::unique_ptr<KvRowSource> rows;
    size_t left;
  };
  bool hit(const std::string &op) { return hit_ = fault_.op == op; }

  const Fault &fault_;
  bool hit_ = false;
};

class FaultyCatalog : public TempCatalog {
 public:
  std::unique_ptr<KvStore> new_store() override {
    return std::make_unique<FaultyStore>(dir(), fault);
  }
  Fault fault;
};

}  // namespace

// What fails in the store reaches the client as an error reply with the
// store's text, in place of what the request would have answered; the
// session and the registry of databases in use stay as they were.
TEST(SessionStore, AStoresFailureIsTheClientsErrorReply) {
  FaultyCatalog catalog;
  ASSERT_TRUE(catalog.ok());
  std::string err;
  ASSERT_TRUE(catalog.db_create(KV_SYSTEM_DB, &err)) << err;
  ASSERT_TRUE(catalog.db_create("D2", &err)) << err;
  KvSession s(catalog, 7);
  auto sql = [&s](const std::string &text) {
    std::vector<char> t(text.begin(), text.end());
    t.push_back(0);
    char msg[10000];
    DBquery_init();
    EXPECT_EQ(scan_sql(t.data(), msg), 1) << text;
    return std::string(s.handle(query_data, query_size).bytes);
  };
  const std::string failed = error_reply(catalog.fault.text);
  ASSERT_EQ(sql("SET DATABASE KVSYS;"), "1");
  ASSERT_EQ(sql("CREATE TABLE T (N INTEGER);"), "1");
  for (int i = 0; i < 3; i++)
    ASSERT_EQ(sql("INSERT INTO T VALUES (" + std::to_string(i) + ");")[0], '3');

  catalog.fault.op = "change";
  EXPECT_EQ(sql("INSERT INTO T VALUES (9);"), failed);
  EXPECT_EQ(sql("DELETE FROM T;"), failed);
  catalog.fault.op = "query";
  EXPECT_EQ(sql("SELECT * FROM T;"), failed);
  // a query failing after some rows: no rows in a plain reply; a cursor
  // gives the rows read before the failure first
  catalog.fault = {"rows", catalog.fault.text, 2};
  EXPECT_EQ(sql("SELECT * FROM T;"), failed);
  ASSERT_EQ(sql("MAX 1;"), "1");
  ASSERT_EQ(sql("DECLARE C CURSOR FOR SELECT N FROM T;"), "1");
  EXPECT_EQ(rows_of(sql("FETCH ALL IN C;")), std::vector<std::string>{"0"});
  EXPECT_EQ(rows_of(sql("FETCH ALL IN C;")), std::vector<std::string>{"1"});
  EXPECT_EQ(sql("FETCH ALL IN C;"), failed);
  ASSERT_EQ(sql("CLOSE C;"), "1");

  // transactions: a BEGIN that the store refuses keeps the client's
  // transaction open until it ends it
  catalog.fault.op = "begin";
  ASSERT_EQ(sql("BEGIN;"), "1");
  EXPECT_EQ(sql("INSERT INTO T VALUES (9);"), failed);
  EXPECT_TRUE(s.in_transaction());
  EXPECT_EQ(sql("ABORT;"), "1");
  catalog.fault.op = "commit";
  ASSERT_EQ(sql("BEGIN;"), "1");
  ASSERT_EQ(sql("INSERT INTO T VALUES (9);")[0], '3');
  EXPECT_EQ(sql("COMMIT;"), failed);
  EXPECT_TRUE(s.in_transaction());
  catalog.fault.op.clear();
  EXPECT_EQ(sql("ABORT;"), "1");
  EXPECT_EQ(rows_of(sql("SELECT COUNT(*) FROM T;")), std::vector<std::string>{"3"});

  // databases: a failed open counts no user and keeps the open database; a
  // failed drop keeps it open and counted
  catalog.fault.op = "open";
  EXPECT_EQ(sql("SET DATABASE D2;"), failed);
  EXPECT_EQ(catalog.users("D2"), 0);
  EXPECT_EQ(catalog.users(KV_SYSTEM_DB), 1);
  EXPECT_EQ(rows_of(sql("SELECT COUNT(*) FROM T;")), std::vector<std::string>{"3"});
  catalog.fault.op.clear();
  ASSERT_EQ(sql("SET DATABASE D2;"), "1");
  EXPECT_EQ(catalog.users(KV_SYSTEM_DB), 0);
  catalog.fault.op = "drop";
  EXPECT_EQ(sql("DROP DATABASE;"), failed);
  EXPECT_EQ(catalog.users("D2"), 1);
  EXPECT_EQ(sql("CREATE TABLE U (A INTEGER);"), "1");
  catalog.fault.op.clear();
  EXPECT_EQ(sql("DROP DATABASE;"), "1");
  EXPECT_EQ(catalog.users("D2"), 0);
  EXPECT_EQ(catalog.db_list(), std::vector<std::string>{KV_SYSTEM_DB});
}
