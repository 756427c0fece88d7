// Tests of the data directory lock (datadir.cpp): a failed or undone lock
// leaves exactly what was there before.  The refusal of a second server is
// tested end to end (tests/korvald_e2e_test.cpp).
#include "server/datadir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "tests/support/test_files.h"

namespace fs = std::filesystem;

namespace {

class DataDirTest : public TempDirTest {
 protected:
  DataDirTest() : TempDirTest("kv-datadir-") {}
  // Every path below dir_, relative to it.
  std::set<std::string> tree() const {
    std::set<std::string> names;
    for (auto &e : fs::recursive_directory_iterator(dir_))
      names.insert(fs::relative(e.path(), dir_).string());
    return names;
  }
};

}  // namespace

TEST_F(DataDirTest, UndoAndFailuresLeaveWhatWasThere) {
  std::string err;
  {
    KvDataDir d;
    ASSERT_TRUE(d.lock(dir_ + "/new/data", &err)) << err;
    d.undo();
    EXPECT_TRUE(tree().empty());
  }
  // a lock file left by a killed server is no obstacle, and stays after undo
  fs::create_directory(dir_ + "/old");
  WriteFile(dir_ + "/old/" + KV_LOCK_FILE, "99999\n");
  WriteFile(dir_ + "/old/KVSYS.db", "x");
  {
    KvDataDir d;
    ASSERT_TRUE(d.lock(dir_ + "/old", &err)) << err;
    d.undo();
  }
  std::set<std::string> before = {"old", "old/KVSYS.db", std::string("old/") + KV_LOCK_FILE};
  EXPECT_EQ(tree(), before);
  // a plain file where a directory should be: refused, nothing created
  WriteFile(dir_ + "/file", "x");
  before.insert("file");
  KvDataDir below, at;
  EXPECT_FALSE(below.lock(dir_ + "/file/data", &err));
  EXPECT_FALSE(err.empty());
  EXPECT_FALSE(at.lock(dir_ + "/file", &err));
  EXPECT_EQ(err, dir_ + "/file is not a directory");
  EXPECT_EQ(tree(), before);
}
