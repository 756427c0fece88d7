// Tests of the file and text utilities: open failures and their messages,
// whole-file write by replacement (permissions, links, failures), append,
// the chunked whole-file read at its chunk boundaries, suffixes, case
// conversion and the character tests.
#include "base/files.h"

#include "base/mem.h"
#include "tests/support/test_files.h"
#include "tests/support/log_capture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FilesTest : public TempDirTest {
 protected:
  FilesTest() : TempDirTest("filestest") {}
  std::string P(const char *name) { return dir_ + "/" + name; }
  void Write(const std::string &path, const std::string &text) { WriteFile(path, text); }
  std::string Read(const std::string &path) { return ReadFile(path); }
};

TEST_F(FilesTest, ExistsOnlyForRegularFiles) {
  Write(P("f"), "x");
  EXPECT_EQ(File_Exists(P("f").c_str()), 1);
  EXPECT_EQ(exists_file(P("f").c_str()), 1);
  EXPECT_EQ(File_Exists(dir_.c_str()), 0);
  EXPECT_EQ(File_Exists(P("missing").c_str()), 0);
  EXPECT_EQ(exists_file(P("missing").c_str()), 0);
}

TEST_F(FilesTest, OpenFailuresAreLogged) {
  std::string missing = P("missing");
  kv_capture_log();
  EXPECT_EQ(File_Read_Open(missing.c_str()), nullptr);
  EXPECT_EQ(File_Write_Open(dir_.c_str()), nullptr);
  EXPECT_EQ(File_Append_Open(dir_.c_str()), nullptr);
  EXPECT_EQ(File_Get_Contents(missing.c_str()), nullptr);
  std::string err = kv_captured_log();
  EXPECT_EQ(err, "(myio) Cannot open file '" + missing + "' for input!\n" +
                     "(myio) Cannot open file '" + dir_ + "' for output!\n" +
                     "(myio) Cannot open file '" + dir_ + "' for output!\n" +
                     "(myio) Cannot open file '" + missing + "' for input!\n");
}

TEST_F(FilesTest, WriteAppendCloseDelete) {
  std::string f = P("w.txt");
  FILE *fp = File_Write_Open(f.c_str());
  ASSERT_NE(fp, nullptr);
  EXPECT_EQ(File_Write(fp, "one\n"), 1);
  EXPECT_EQ(File_Close(fp), 1);
  fp = File_Append_Open(f.c_str());
  ASSERT_NE(fp, nullptr);
  EXPECT_EQ(File_Write(fp, "two\n"), 1);
  EXPECT_EQ(File_Close(fp), 1);
  EXPECT_EQ(Read(f), "one\ntwo\n");
  EXPECT_EQ(File_Write(nullptr, "x"), 0);
  EXPECT_EQ(File_Close(nullptr), 0);
  EXPECT_EQ(del_file(f.c_str()), 1);
  EXPECT_EQ(File_Exists(f.c_str()), 0);
  EXPECT_EQ(del_file(f.c_str()), 0);
}

TEST_F(FilesTest, ContentsReplacesAndAddCreates) {
  std::string f = P("c.txt");
  EXPECT_EQ(File_Add_Contents(f.c_str(), "new"), 1);  // created when missing
  EXPECT_EQ(Read(f), "new");
  EXPECT_EQ(File_Add_Contents(f.c_str(), " more"), 1);
  EXPECT_EQ(Read(f), "new more");
  EXPECT_EQ(File_Contents(f.c_str(), "replaced"), 1);
  EXPECT_EQ(Read(f), "replaced");
  EXPECT_EQ(File_Contents(f.c_str(), ""), 1);
  EXPECT_EQ(Read(f), "");
  EXPECT_EQ(FilesInDir(), 1);  // no new file left beside it
}

TEST_F(FilesTest, ContentsKeepsModeAndLinks) {
  std::string f = P("m.txt");
  Write(f, "old");
  ASSERT_EQ(chmod(f.c_str(), 0640), 0);
  EXPECT_EQ(File_Contents(f.c_str(), "new"), 1);
  struct stat st;
  ASSERT_EQ(stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  std::string link = P("link.txt");
  ASSERT_EQ(symlink(f.c_str(), link.c_str()), 0);
  EXPECT_EQ(File_Contents(link.c_str(), "via link"), 1);
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Read(f), "via link");

  mode_t mask = umask(022);
  std::string fresh = P("fresh.txt");
  EXPECT_EQ(File_Contents(fresh.c_str(), "x"), 1);
  umask(mask);
  ASSERT_EQ(stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST_F(FilesTest, ContentsOnDirectoryFails) {
  kv_capture_log();
  EXPECT_EQ(File_Contents(dir_.c_str(), "x"), 0);
  EXPECT_EQ(File_Contents(P("no/such/dir").c_str(), "x"), 0);
  std::string err = kv_captured_log();
  EXPECT_EQ(err, "(myio) Cannot open file '" + dir_ + "' for output!\n" +
                     "(myio) Cannot open file '" + P("no/such/dir") + "' for output!\n");
}

// Root may write any file, so the child drops to an unprivileged user
// before it tries; the result of the call is its exit status.
int ContentsAsUser(const std::string &path) {
  if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 3;
  return File_Contents(path.c_str(), "new");
}

TEST_F(FilesTest, ContentsOnReadOnlyFileFails) {
  std::string f = P("ro.txt");
  Write(f, "old");
  ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);  // the new file could be made
  ASSERT_EQ(chmod(f.c_str(), 0444), 0);
  EXPECT_EXIT(exit(ContentsAsUser(f)), testing::ExitedWithCode(0),
              "^\\(myio\\) Cannot open file '" + f + "' for output!\n$");
  EXPECT_EQ(Read(f), "old");
  EXPECT_EQ(FilesInDir(), 1);
}

// Writes beyond the file-size limit fail, also for root.  The limit is set
// in a child process; the result of the call is its exit status.
int UnderSizeLimit(bool add, const std::string &path, const std::string &text) {
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit rl = {1000, 1000};
  if (setrlimit(RLIMIT_FSIZE, &rl) != 0) return 3;
  return add ? File_Add_Contents(path.c_str(), text.c_str())
             : File_Contents(path.c_str(), text.c_str());
}

TEST_F(FilesTest, FailedWritesKeepOldContent) {
  std::string f = P("big.txt");
  std::string old(600, 'o');
  Write(f, old);
  std::string big(3000, 'n');
  std::string msg = "\\(myio\\) Cannot write file '" + f + "'!";
  EXPECT_EXIT(exit(UnderSizeLimit(false, f, big)), testing::ExitedWithCode(0), msg);
  EXPECT_EQ(Read(f), old);
  EXPECT_EQ(FilesInDir(), 1);
  EXPECT_EXIT(exit(UnderSizeLimit(true, f, big)), testing::ExitedWithCode(0), msg);
  EXPECT_EQ(Read(f), old);  // the partial append was taken back
}

TEST_F(FilesTest, GetContentsAtChunkBoundaries) {
  for (size_t size : {0u, 1u, 9999u, 10000u, 10001u, 20000u, 20001u, 35000u}) {
    std::string text;
    for (size_t i = 0; i < size; i++) text += static_cast<char>('a' + i % 26);
    if (size > 0) text[size - 1] = '\xff';  // Latin-1 y-diaeresis is a plain character
    std::string f = P("r.txt");
    Write(f, text);
    char *got = File_Get_Contents(f.c_str());
    ASSERT_NE(got, nullptr) << size;
    EXPECT_EQ(strlen(got), size);
    EXPECT_TRUE(text == got) << size;
    myfree(got);
  }
}

TEST_F(FilesTest, GetContentsStopsAtNul) {
  std::string f = P("nul.txt");
  Write(f, std::string("abc\0def", 7));
  char *got = File_Get_Contents(f.c_str());
  ASSERT_NE(got, nullptr);
  EXPECT_STREQ(got, "abc");
  myfree(got);

  kv_capture_log();
  EXPECT_EQ(File_Get_Contents(dir_.c_str()), nullptr);  // opens, but cannot be read
  EXPECT_EQ(kv_captured_log(), "(myio) Cannot read file '" + dir_ + "'!\n");
}

TEST(Text, Suffix) {
  struct {
    const char *name, *suffix, *result;
  } cases[] = {
      {"report.txt", "txt", "report.txt"},
      {"report.csv", "txt", "report.txt"},
      {"report", "txt", "report.txt"},
      {"a.b.c", "c", "a.b.c"},
      {"a.b.c", "d", "a.b.d"},
      {"report.", "csv", "report.csv"},
      {"report.tx", "txt", "report.txt"},
      {"dir.d/report", "csv", "dir.d/report.csv"},
      {"./report", "csv", "./report.csv"},
      {"dir.d/r.txt", "csv", "dir.d/r.csv"},
  };
  for (const auto &c : cases) {
    char *r = setsuffix(c.name, c.suffix);
    EXPECT_STREQ(r, c.result) << c.name << " " << c.suffix;
    myfree(r);
  }
  std::string longname(1200, 'n');
  char *r = setsuffix(longname.c_str(), "csv");
  EXPECT_EQ(std::string(r), std::string(999, 'n') + ".csv");
  myfree(r);
}

TEST(Text, CaseAndCharacterClasses) {
  char *u = Up("Hello_1 z");
  char *l = Low("Hello_1 Z");
  EXPECT_STREQ(u, "HELLO_1 Z");
  EXPECT_STREQ(l, "hello_1 z");
  myfree(u);
  myfree(l);
  EXPECT_EQ(Up(nullptr), nullptr);

  const char *digits = "0123456789", *letters = "azAZmQ";
  for (const char *p = digits; *p; p++) {
    EXPECT_TRUE(digit(*p));
    EXPECT_FALSE(letter(*p));
    EXPECT_TRUE(ndigit(*p));
  }
  for (const char *p = letters; *p; p++) {
    EXPECT_FALSE(digit(*p));
    EXPECT_TRUE(letter(*p));
    EXPECT_TRUE(ndigit(*p));
  }
  for (int c : {int('/'), int(':'), int('@'), int('['), int('`'), int('{'), int(' '), int('-'),
                0xe4, int('\xe4'), 0}) {
    EXPECT_FALSE(digit(c)) << c;
    EXPECT_FALSE(letter(c)) << c;
    EXPECT_FALSE(ndigit(c)) << c;
  }
  EXPECT_TRUE(ndigit('_'));
  EXPECT_FALSE(letter('_'));
}

}  // namespace
