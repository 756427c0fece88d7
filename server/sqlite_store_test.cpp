// Tests of the SQLite backend's start (sqlite_store.h): KVSYS and the demo
// data made through the store, once, and the lock that keeps a second
// backend off the same data directory.
#include "server/sqlite_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_catalog.h"

namespace {

using Texts = std::vector<std::vector<std::string>>;

// The texts of a one-column query's rows.
std::vector<std::string> column(KvStore &store, const std::string &sql) {
  std::vector<KvField> fields = {{"X", KV_CHARACTER, 41}};
  std::unique_ptr<KvRowSource> rows = store.query(sql, {}, fields, false, SIZE_MAX);
  std::vector<std::string> out;
  std::vector<char> buf;
  DBwriter w(buf);
  while (rows && rows->next(w) == KvRowSource::ROW) {
    out.push_back(std::string(buf.data() + 2));
    buf.clear();
  }
  return out;
}

}  // namespace

TEST(SqliteBackend, MakesKvsysAndTheDemoDataOnceAndLocksItsDirectory) {
  TempCatalog catalog;
  ASSERT_TRUE(catalog.ok());
  std::string dir = catalog.dir() + "/data", err;
  {
    KvSqliteBackend backend(dir);
    ASSERT_TRUE(backend.init(true, &err)) << err;
    EXPECT_EQ(backend.where(), dir);
    KvSqliteBackend second(dir);
    EXPECT_FALSE(second.init(false, &err));
    EXPECT_NE(err.find("in use by another korvald"), std::string::npos) << err;

    std::unique_ptr<KvStore> store = backend.new_store();
    EXPECT_EQ(store->databases(), std::vector<std::string>{KV_SYSTEM_DB});
    ASSERT_TRUE(store->open(KV_SYSTEM_DB)) << store->error();
    Texts tables, indices;
    ASSERT_TRUE(store->show(SHOW_TABLES, "", &tables));
    EXPECT_EQ(tables, (Texts{{"ARTIKEL"}, {"BESTELLUNG"}, {"KUNDE"}}));
    ASSERT_TRUE(store->show(SHOW_INDICES, "", &indices));
    EXPECT_EQ(indices, (Texts{{"ARTIKEL_PK", "ARTIKEL", "YES"},
                              {"BESTELLUNG_KUNDE", "BESTELLUNG", "NO"},
                              {"BESTELLUNG_PK", "BESTELLUNG", "YES"},
                              {"KUNDE_PK", "KUNDE", "YES"}}));
    // the values are stored as a client's INSERT stores them
    EXPECT_EQ(column(*store,
                     "SELECT (SELECT count(*) FROM KUNDE) || '/' || (SELECT count(*) FROM ARTIKEL) "
                     "|| '/' || (SELECT count(*) FROM BESTELLUNG)"),
              std::vector<std::string>{"120/20/300"});
    EXPECT_EQ(column(*store,
                     "SELECT DISTINCT typeof(KUNDE_ID) || typeof(NAME) || typeof(GEBURTSTAG) || "
                     "typeof(RABATT) || typeof(ANGELEGT) FROM KUNDE"),
              std::vector<std::string>{"integertexttextrealtext"});
    EXPECT_EQ(column(*store, "SELECT ERFASST FROM BESTELLUNG WHERE BESTELLUNG_ID = 1").size(), 1u);
    EXPECT_EQ(column(*store,
                     "SELECT count(*) FROM BESTELLUNG WHERE ERFASST NOT GLOB "
                     "'[12][0-9][0-9][0-9]-[01][0-9]-[0-3][0-9]-[0-2][0-9].[0-5][0-9]."
                     "[0-5][0-9].[0-9][0-9][0-9][0-9][0-9][0-9]'"),
              std::vector<std::string>{"0"});
  }
  // a second start finds the data and adds nothing
  KvSqliteBackend again(dir);
  ASSERT_TRUE(again.init(true, &err)) << err;
  std::unique_ptr<KvStore> store = again.new_store();
  ASSERT_TRUE(store->open(KV_SYSTEM_DB));
  EXPECT_EQ(column(*store, "SELECT count(*) FROM KUNDE"), std::vector<std::string>{"120"});
}
