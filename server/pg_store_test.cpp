// Tests of the PostgreSQL storage against a throw-away PostgreSQL cluster:
// values of every type read back as they were written, databases as
// schemas, a failing statement inside a transaction, cursors beside other
// statements, tables made by other PostgreSQL clients, the server's lock.
#include "server/pg_store.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <cstring>

#include "proto/endian.h"
#include "tests/support/pg_test_database.h"

namespace {

class PgStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    conninfo = pg_test_database(&why);
    ASSERT_FALSE(conninfo.empty()) << why;
    std::string err;
    backend = std::make_unique<KvPgBackend>(conninfo);
    ASSERT_TRUE(backend->init(false, &err)) << err;
    store = kv_new_pg_store(conninfo);
    ASSERT_TRUE(store->open(KV_SYSTEM_DB)) << store->error();
  }
  void TearDown() override {
    store.reset();
    backend.reset();
  }

  // Runs sql on a connection of its own (another PostgreSQL client).
  void psql(const std::string &sql) {
    PGconn *c = PQconnectdb(conninfo.c_str());
    PGresult *r = PQexec(c, sql.c_str());
    EXPECT_TRUE(PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK)
        << PQerrorMessage(c);
    PQclear(r);
    PQfinish(c);
  }

  // Every row of sql as reply values.
  std::vector<char> rows(const std::string &sql, const std::vector<KvField> &fields,
                         bool held = false) {
    std::vector<char> out;
    DBwriter w(out);
    auto src = store->query(sql, {}, fields, held, SIZE_MAX);
    EXPECT_NE(src, nullptr) << store->error();
    if (!src) return out;
    KvRowSource::Step s;
    while ((s = src->next(w)) == KvRowSource::ROW) {
    }
    EXPECT_EQ(s, KvRowSource::DONE) << store->error();
    return out;
  }

  long change(const std::string &sql, const std::vector<KvBound> &binds = {}) {
    long n = -1;
    EXPECT_TRUE(store->change(sql, binds, &n)) << sql << ": " << store->error();
    return n;
  }

  std::string conninfo;
  std::unique_ptr<KvPgBackend> backend;
  std::unique_ptr<KvStore> store;
};

KvBound bound(KvBound::Kind kind, const std::string &s, KvBound::Form form = KvBound::AS_IS) {
  KvBound b;
  b.kind = kind;
  b.form = form;
  b.s = s;
  if (kind == KvBound::INT) b.i = atoll(s.c_str());
  if (kind == KvBound::REAL) b.d = atof(s.c_str());
  return b;
}

TEST_F(PgStoreTest, EveryTypeReadsBackAsWritten) {
  std::vector<KvColumn> cols = {{"C", KV_CHARACTER, 12, true}, {"B", KV_BINARY, 4, false},
                                {"S", KV_SMALLINT, 0, false},  {"I", KV_INTEGER, 0, false},
                                {"F", KV_FLOAT, 0, false},     {"T", KV_TIME, 0, false},
                                {"D", KV_DATE, 0, false},      {"TS", KV_TIMESTAMP, 0, false}};
  ASSERT_TRUE(store->create_table("ALLE", cols)) << store->error();
  const KvTable *t = store->table("ALLE");
  ASSERT_NE(t, nullptr) << store->error();
  ASSERT_EQ(t->cols.size(), cols.size());
  for (size_t i = 0; i < cols.size(); i++) {
    EXPECT_EQ(t->cols[i].name, cols[i].name);
    EXPECT_EQ(t->cols[i].type, cols[i].type) << cols[i].name;
    EXPECT_EQ(t->cols[i].len, cols[i].len) << cols[i].name;
  }
  EXPECT_TRUE(t->cols[0].notnull);
  std::string bin("\x00\xff\\x", 4);
  EXPECT_EQ(change("INSERT INTO \"ALLE\" VALUES ($1, $2, $3, $4, $5, $6, $7, $8)",
                   {bound(KvBound::TEXT, "M\xfcller \xdf'"), bound(KvBound::BLOB, bin),
                    bound(KvBound::INT, "-32768"), bound(KvBound::INT, "2147483647"),
                    bound(KvBound::REAL, "0.1"), bound(KvBound::TEXT, "23:59:58", KvBound::AS_TIME),
                    bound(KvBound::TEXT, "1800-01-01", KvBound::AS_DATE),
                    bound(KvBound::TEXT, "2800-12-31-23.59.59.000001", KvBound::AS_TIMESTAMP)}),
            1);
  EXPECT_EQ(change("INSERT INTO \"ALLE\" (\"C\") VALUES ($1)", {bound(KvBound::TEXT, "")}), 1);
  std::vector<KvField> fields;
  for (auto &c : cols) fields.push_back({c.name, c.type, 0});
  std::vector<char> got = rows("SELECT * FROM \"ALLE\" ORDER BY \"I\" NULLS LAST", fields);

  std::vector<char> want;
  DBwriter w(want);
  kv_put_text(w, "M\xfcller \xdf'", 9);
  kv_put_binary(w, bin.data(), bin.size());
  kv_put_int(w, KV_SMALLINT, -32768);
  kv_put_int(w, KV_INTEGER, 2147483647);
  kv_put_float(w, 0.1);
  kv_put_time(w, TIME{23, 59, 58});
  kv_put_date(w, DATE{1800, 1, 1});
  DATI ts = {2800, 12, 31, 23, 59, 59, 0, 1};
  kv_put_dati(w, ts);
  // the second row: NULLs read as the types' absent values
  kv_put_text(w, "", 0);
  for (KvType ty : {KV_BINARY, KV_SMALLINT, KV_INTEGER, KV_FLOAT, KV_TIME, KV_DATE, KV_TIMESTAMP})
    kv_put_absent(w, ty);
  EXPECT_EQ(got, want);

  // a longer BINARY is refused by the table itself
  long n;
  EXPECT_FALSE(store->change("INSERT INTO \"ALLE\" (\"C\", \"B\") VALUES ($1, $2)",
                             {bound(KvBound::TEXT, "x"), bound(KvBound::BLOB, "12345")}, &n));
}

TEST_F(PgStoreTest, DatabasesAreMarkedSchemas) {
  psql("CREATE SCHEMA \"FREMD\"");
  ASSERT_TRUE(store->create_database("LAGER")) << store->error();
  EXPECT_FALSE(store->create_database("LAGER"));
  EXPECT_EQ(store->error(), "Database LAGER already exists");
  EXPECT_EQ(store->databases(), (std::vector<std::string>{"KVSYS", "LAGER"}));
  EXPECT_FALSE(store->open("FREMD"));
  EXPECT_EQ(store->error(), "Database FREMD does not exist");

  ASSERT_TRUE(store->open("LAGER")) << store->error();
  ASSERT_TRUE(store->create_table("T", {{"A", KV_INTEGER, 0, false}})) << store->error();
  // PostgreSQL would cut a longer name and store the table under another
  std::string longest(63, 'L');
  EXPECT_TRUE(store->create_table(longest, {{"A", KV_INTEGER, 0, false}})) << store->error();
  EXPECT_FALSE(store->create_table(longest + "X", {{"A", KV_INTEGER, 0, false}}));
  EXPECT_NE(store->error().find("too long"), std::string::npos) << store->error();
  EXPECT_NE(store->table(longest), nullptr);
  EXPECT_EQ(change("INSERT INTO \"T\" VALUES (1)"), 1);
  // the same table name in another database is another table
  EXPECT_EQ(store->table("T") != nullptr, true);
  ASSERT_TRUE(store->open("KVSYS"));
  EXPECT_EQ(store->table("T"), nullptr);
  EXPECT_EQ(store->error(), "Table T does not exist");

  ASSERT_TRUE(store->open("LAGER"));
  ASSERT_TRUE(store->begin(true));
  ASSERT_TRUE(store->drop()) << store->error();
  EXPECT_FALSE(store->is_open());
  EXPECT_EQ(store->databases(), (std::vector<std::string>{"KVSYS"}));
}

TEST_F(PgStoreTest, AFailedStatementLeavesTheTransactionGoing) {
  ASSERT_TRUE(store->create_table("U", {{"A", KV_INTEGER, 0, true}}));
  ASSERT_TRUE(store->create_index("U_A", "U", {"A"}, true));
  ASSERT_TRUE(store->begin(true));
  EXPECT_EQ(change("INSERT INTO \"U\" VALUES (1)"), 1);
  long n;
  EXPECT_FALSE(store->change("INSERT INTO \"U\" VALUES (1)", {}, &n));
  // the texts of the SQLite storage
  EXPECT_EQ(store->error(), "UNIQUE constraint failed: U.A");
  EXPECT_FALSE(store->change("INSERT INTO \"U\" VALUES (NULL)", {}, &n));
  EXPECT_EQ(store->error(), "NOT NULL constraint failed: U.A");
  EXPECT_TRUE(store->in_transaction());
  EXPECT_EQ(change("INSERT INTO \"U\" VALUES (2)"), 1);
  // a cursor's rows are read while other statements run
  auto cur = store->query("SELECT \"A\" FROM \"U\" ORDER BY \"A\"", {}, {{"A", KV_INTEGER, 4}},
                          true, SIZE_MAX);
  ASSERT_NE(cur, nullptr) << store->error();
  std::vector<char> got;
  DBwriter w(got);
  EXPECT_EQ(cur->next(w), KvRowSource::ROW);
  EXPECT_EQ(change("UPDATE \"U\" SET \"A\" = 3 WHERE \"A\" = 2"), 1);
  EXPECT_EQ(cur->next(w), KvRowSource::ROW);
  EXPECT_EQ(cur->next(w), KvRowSource::DONE);
  EXPECT_EQ(got.size(), 12u);
  EXPECT_EQ(le_get32(got.data() + 8), 2u);
  cur.reset();
  ASSERT_TRUE(store->commit()) << store->error();
  EXPECT_FALSE(store->in_transaction());
  std::vector<char> all = rows("SELECT count(*) FROM \"U\"", {{"N", KV_INTEGER, 4}});
  ASSERT_EQ(all.size(), 6u);
  EXPECT_EQ(le_get32(all.data() + 2), 2u);
}

// A name taken by a table or an index is refused in the SQLite storage's
// words, whichever of the two the CREATE makes.
TEST_F(PgStoreTest, NameClashesInTheSqliteStoragesWords) {
  ASSERT_TRUE(store->create_table("V", {{"A", KV_INTEGER, 0, false}}));
  ASSERT_TRUE(store->create_index("V_A", "V", {"A"}, false));
  EXPECT_FALSE(store->create_table("V_A", {{"A", KV_INTEGER, 0, false}}));
  EXPECT_EQ(store->error(), "there is already an index named V_A");
  EXPECT_FALSE(store->create_index("V_A", "V", {"A"}, true));
  EXPECT_EQ(store->error(), "index V_A already exists");
  EXPECT_FALSE(store->create_index("V", "V", {"A"}, false));
  EXPECT_EQ(store->error(), "there is already a table named V");
}

// A statement that libpq refuses before it reaches PostgreSQL (more than
// 65535 parameters) inside a transaction fails alone; the connection stays
// usable.
TEST_F(PgStoreTest, AStatementLibpqRefusesLeavesTheTransactionGoing) {
  ASSERT_TRUE(store->create_table("P", {{"A", KV_INTEGER, 0, false}}));
  ASSERT_TRUE(store->begin(true));
  EXPECT_EQ(change("INSERT INTO \"P\" VALUES (1)"), 1);
  std::string sql = "DELETE FROM \"P\" WHERE \"A\" IN ($1";
  std::vector<KvBound> binds = {bound(KvBound::INT, "1")};
  for (int i = 2; i <= 70000; i++) {
    sql += ", $" + std::to_string(i);
    binds.push_back(binds[0]);
  }
  long n;
  EXPECT_FALSE(store->change(sql + ")", binds, &n));
  EXPECT_NE(store->error().find("65535"), std::string::npos) << store->error();
  EXPECT_TRUE(store->in_transaction());
  EXPECT_EQ(change("INSERT INTO \"P\" VALUES (2)"), 1);
  ASSERT_TRUE(store->commit()) << store->error();
  std::vector<char> all = rows("SELECT count(*) FROM \"P\"", {{"N", KV_INTEGER, 4}});
  ASSERT_EQ(all.size(), 6u);
  EXPECT_EQ(le_get32(all.data() + 2), 2u);
}

TEST_F(PgStoreTest, TablesOfOtherClientsAndFlags) {
  psql(
      "CREATE TABLE \"KVSYS\".\"FREMD\" (\"ID\" bigint, \"X\" text);"
      "CREATE TABLE \"KVSYS\".\"GUT\" (\"ID\" integer, \"X\" text, \"Y\" real)");
  EXPECT_EQ(store->table("FREMD"), nullptr);
  EXPECT_EQ(store->error(),
            "Table FREMD cannot be served: column ID has type bigint, which has no KORVAL type");
  const KvTable *t = store->table("GUT");
  ASSERT_NE(t, nullptr) << store->error();
  EXPECT_EQ(t->cols[1].type, KV_CHARACTER);
  EXPECT_EQ(t->cols[2].type, KV_FLOAT);
  EXPECT_FALSE(t->is_static);

  ASSERT_TRUE(store->set_flag("GUT", false)) << store->error();
  ASSERT_TRUE(store->set_flag("GUT", false)) << store->error();
  store->new_request();
  t = store->table("GUT");
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(t->is_static);
  EXPECT_FALSE(t->secure);
  long n;
  EXPECT_FALSE(store->change("INSERT INTO \"GUT\" VALUES (1, 'a', 1)", {}, &n));
  EXPECT_EQ(store->error(), "Table GUT is STATIC (read-only)");

  std::vector<std::vector<std::string>> shown;
  ASSERT_TRUE(store->show(SHOW_TABLES, "", &shown)) << store->error();
  EXPECT_EQ(shown, (std::vector<std::vector<std::string>>{{"FREMD"}, {"GUT"}}));
}

TEST_F(PgStoreTest, AConnectionPostgresEndedIsMadeAgain) {
  ASSERT_TRUE(store->create_table("W", {{"A", KV_INTEGER, 0, false}}));
  ASSERT_TRUE(store->begin(true));
  EXPECT_EQ(change("INSERT INTO \"W\" VALUES (1)"), 1);
  psql(
      "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
      "current_database() AND pid <> pg_backend_pid()");
  // the statement that meets the ended connection fails; the uncommitted
  // row is gone with the transaction, and the store works on in its schema
  long n;
  EXPECT_FALSE(store->change("INSERT INTO \"W\" VALUES (2)", {}, &n));
  EXPECT_FALSE(store->in_transaction());
  store->new_request();
  ASSERT_NE(store->table("W"), nullptr) << store->error();
  EXPECT_EQ(change("INSERT INTO \"W\" VALUES (3)"), 1);
  std::vector<char> got = rows("SELECT \"A\" FROM \"W\"", {{"A", KV_INTEGER, 4}});
  ASSERT_EQ(got.size(), 6u);
  EXPECT_EQ(le_get32(got.data() + 2), 3u);
}

TEST_F(PgStoreTest, OneServerPerPostgresDatabase) {
  std::string err;
  KvPgBackend second(conninfo);
  EXPECT_FALSE(second.init(false, &err));
  EXPECT_NE(err.find("in use by another korvald"), std::string::npos) << err;
  EXPECT_EQ(kv_pg_where("host=127.0.0.1 password=geheim dbname=x").find("geheim"),
            std::string::npos);
}

}  // namespace
