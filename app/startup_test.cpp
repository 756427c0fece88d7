// Tests of the database name from the command line and the session kind.
#include "app/startup.h"

#include <gtest/gtest.h>

#include "forms/besrec.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string name_of(std::vector<std::string> args, const char *start = "-") {
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  char name[DBNAME_SIZE];
  strcpy(name, start);
  ARGV_GetDB_Name(argv.data(), static_cast<int>(argv.size()), name);
  return name;
}

TEST(Startup, DatabaseNameFromTheCommandLine) {
  EXPECT_EQ(name_of({"torvane"}), "");
  EXPECT_EQ(name_of({"torvane"}, "other"), "kvsys");
  EXPECT_EQ(name_of({"torvane", "-dbtest"}), "test");
  EXPECT_EQ(name_of({"torvane", "-dbone", "-x", "-dbtwo"}), "two");
  EXPECT_EQ(name_of({"torvane", "-db"}), "");
  EXPECT_EQ(name_of({"torvane", "-dbsrv/test"}), "srv/test");
  EXPECT_EQ(name_of({"torvane", "-d", "db"}), "");
  EXPECT_EQ(name_of({"torvane", "-db" + std::string(19, 'n')}), std::string(19, 'n'));
  EXPECT_EXIT(name_of({"torvane", "-db" + std::string(20, 'n')}), testing::ExitedWithCode(1),
              "\\(ARGV_GetDB_Name\\) DB-name n{20} is too long \\(max\\. 19\\)");
}

TEST(Startup, SessionKind) {
  BESREC rec = {};
  DBHANDLE handle = {DBKIND_SQL, nullptr};
  EXPECT_EQ(Is_DBSQL(&rec), 0);  // no session
  rec.handle = &handle;
  EXPECT_EQ(Is_DBSQL(&rec), 1);
  handle.kind = 7;
  EXPECT_EQ(Is_DBSQL(&rec), 0);
}

}  // namespace
