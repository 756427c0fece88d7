// Tests of the ini store (appending, replacing and clearing entries, empty
// lines, duplicate keys, failed writes) and of the pattern replacement.
#include "base/ini.h"

#include "tests/support/test_files.h"
#include "tests/support/log_capture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class IniTest : public TempDirTest {
 protected:
  IniTest() : TempDirTest("initest") {}
  void SetUp() override {
    TempDirTest::SetUp();
    if (HasFatalFailure()) return;
    name_ = dir_ + "/app";
    path_ = name_ + ".ini";
  }
  void Write(const std::string &text) { WriteFile(path_, text); }
  std::string Read() { return ReadFile(path_); }
  std::string name_, path_;
};

TEST_F(IniTest, SetAppendsThenReplacesInPlace) {
  EXPECT_EQ(Get_ini_Data(name_.c_str(), "A_XY"), nullptr);  // no file yet
  EXPECT_EQ(Set_ini_Data(name_.c_str(), "A_XY", "[A_XY] 10 20\n"), 1);
  EXPECT_EQ(Set_ini_Data(name_.c_str(), "B_XY", "[B_XY] 1 2\n"), 1);
  EXPECT_EQ(Read(), "[A_XY] 10 20\n[B_XY] 1 2\n");
  EXPECT_EQ(Set_ini_Data(name_.c_str(), "A_XY", "[A_XY] 30 40\n"), 1);
  EXPECT_EQ(Read(), "[A_XY] 30 40\n[B_XY] 1 2\n");
  const char *line = Get_ini_Data(name_.c_str(), "A_XY");
  ASSERT_NE(line, nullptr);
  EXPECT_STREQ(line, "[A_XY] 30 40\n");
  char buf[INI_LINE_SIZE];
  EXPECT_EQ(Find_ini_Data(path_.c_str(), "B_XY", buf), 2);
  EXPECT_STREQ(buf, "[B_XY] 1 2\n");
  EXPECT_EQ(FilesInDir(), 1);  // no temporary file left behind
}

TEST_F(IniTest, KeysCompareExactly) {
  Write("[AB] long\n[a] lower\n# comment\n[A] upper\n");
  char buf[INI_LINE_SIZE];
  EXPECT_EQ(Find_ini_Data(path_.c_str(), "A", buf), 4);
  EXPECT_STREQ(buf, "[A] upper\n");
  EXPECT_EQ(Find_ini_Data(path_.c_str(), "ABC", buf), 0);
  EXPECT_EQ(Find_ini_Data(path_.c_str(), "B", buf), 0);
  EXPECT_EQ(Get_ini_Data(name_.c_str(), "a") != nullptr, true);
}

TEST_F(IniTest, RewriteDropsEmptyLinesAppendKeepsThem) {
  Write("[A] 1\n\n# note\n\n[B] 2\n");
  EXPECT_EQ(Set_ini_Data(name_.c_str(), "C", "[C] 3\n"), 1);  // appended only
  EXPECT_EQ(Read(), "[A] 1\n\n# note\n\n[B] 2\n[C] 3\n");
  EXPECT_EQ(Set_ini_Data(name_.c_str(), "B", "[B] 22\n"), 1);
  EXPECT_EQ(Read(), "[A] 1\n# note\n[B] 22\n[C] 3\n");

  Write("[A] 1\n\n[B] 2\n\n");
  EXPECT_EQ(Clear_ini_Data(name_.c_str(), "A"), 1);
  EXPECT_EQ(Read(), "[B] 2\n");
}

TEST_F(IniTest, DuplicateKeysOnlyFirstCounts) {
  Write("[K] first\n[X] x\n[K] second\n");
  EXPECT_STREQ(Get_ini_Data(name_.c_str(), "K"), "[K] first\n");
  EXPECT_EQ(Set_ini_Data(name_.c_str(), "K", "[K] new\n"), 1);
  EXPECT_EQ(Read(), "[K] new\n[X] x\n[K] second\n");
  EXPECT_EQ(Clear_ini_Data(name_.c_str(), "K"), 1);
  EXPECT_EQ(Read(), "[X] x\n[K] second\n");
  EXPECT_EQ(Clear_ini_Data(name_.c_str(), "K"), 1);
  EXPECT_EQ(Read(), "[X] x\n");
  EXPECT_EQ(Clear_ini_Data(name_.c_str(), "K"), 0);
  EXPECT_EQ(Read(), "[X] x\n");
  EXPECT_EQ(Clear_ini_Data((dir_ + "/missing").c_str(), "K"), 0);
}

TEST_F(IniTest, AppendDoesNotGlueOntoUnterminatedLastLine) {
  Write("[A] 1\n[B] 2");
  // The line is returned with its line feed even when the file lacks it.
  EXPECT_STREQ(Get_ini_Data(name_.c_str(), "B"), "[B] 2\n");
  EXPECT_EQ(Set_ini_Data(name_.c_str(), "C", "[C] 3"), 1);  // line feed added
  EXPECT_EQ(Read(), "[A] 1\n[B] 2\n[C] 3\n");
  EXPECT_STREQ(Get_ini_Data(name_.c_str(), "B"), "[B] 2\n");
}

TEST_F(IniTest, LongLinesSurviveRewrite) {
  std::string longline = "# " + std::string(15000, 'x') + "\n";
  std::string longentry = "[L] " + std::string(12000, 'y') + "\n";
  Write(longline + "[A] 1\n" + longentry);
  char buf[INI_LINE_SIZE];
  EXPECT_EQ(Find_ini_Data(path_.c_str(), "A", buf), 2);
  // A long entry is cut to 9998 characters and its line feed.
  EXPECT_EQ(Find_ini_Data(path_.c_str(), "L", buf), 3);
  EXPECT_EQ(std::string(buf), longentry.substr(0, INI_LINE_SIZE - 2) + "\n");
  Write(longline + "[A] 1\n");
  EXPECT_EQ(Set_ini_Data(name_.c_str(), "A", "[A] 2\n"), 1);
  EXPECT_EQ(Read(), longline + "[A] 2\n");
}

TEST_F(IniTest, UnusableEntriesAreRefused) {
  Write("[A] 1\n");
  EXPECT_EQ(Set_ini_Data(name_.c_str(), "A", "[B] 1\n"), 0);
  EXPECT_EQ(Set_ini_Data(name_.c_str(), "X\n", "[X\n] 1\n"), 0);
  EXPECT_EQ(Set_ini_Data(name_.c_str(), "", "[] 1\n"), 0);
  EXPECT_EQ(Set_ini_Data(name_.c_str(), "A", "[A] 1\n[B] 2\n"), 0);
  EXPECT_EQ(Read(), "[A] 1\n");
}

// Before the application has a name there is no ini file to use.
TEST_F(IniTest, NoNameMeansNoFile) {
  EXPECT_EQ(Get_ini_Data(nullptr, "A"), nullptr);
  char buf[INI_LINE_SIZE];
  EXPECT_EQ(Find_ini_Data(nullptr, "A", buf), 0);
  kv_capture_log();
  EXPECT_EQ(Set_ini_Data(nullptr, "A", "[A] 1\n"), 0);
  EXPECT_EQ(kv_captured_log(), "(Set_ini_Data) No ini file name for key 'A'\n");
  EXPECT_EQ(Clear_ini_Data(nullptr, "A"), 0);
}

// Root may write any file, so the child drops to an unprivileged user
// before it tries; its exit status tells what it saw.
int SetAsUser(const std::string &name, const std::string &expect) {
  if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 3;
  testing::internal::CaptureStdout();
  int r = Set_ini_Data(name.c_str(), "A", "[A] 2\n");
  std::string out = testing::internal::GetCapturedStdout();
  if (r != 0) return 1;
  return out == expect ? 0 : 2;
}

TEST_F(IniTest, ReadOnlyFileIsNotReplaced) {
  Write("[A] 1\n\n[B] 1\n");
  ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);  // the new file could be made
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  EXPECT_EXIT(exit(SetAsUser(name_, "Cannot open file '" + path_ + "'!")),
              testing::ExitedWithCode(0), "");
  EXPECT_EQ(Read(), "[A] 1\n\n[B] 1\n");
  EXPECT_EQ(FilesInDir(), 1);
}

TEST_F(IniTest, UnwritableFileIsReported) {
  ASSERT_EQ(mkdir(path_.c_str(), 0755), 0);  // the ini "file" is a directory
  testing::internal::CaptureStdout();
  int r = Set_ini_Data(name_.c_str(), "A", "[A] 1\n");
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(r, 0);
  EXPECT_EQ(out, "Cannot open file '" + path_ + "'!");
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
}

// Writes beyond the file-size limit fail (also for root); the limit is set
// in a child process so that the test binary itself is not affected.
int SetUnderSizeLimit(const std::string &name, const char *key, const char *line,
                      const std::string &expect) {
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit rl = {1000, 1000};
  if (setrlimit(RLIMIT_FSIZE, &rl) != 0) return 3;
  testing::internal::CaptureStdout();
  int r = Set_ini_Data(name.c_str(), key, line);
  std::string out = testing::internal::GetCapturedStdout();
  if (r != 0) return 1;
  return out == expect ? 0 : 2;
}

TEST_F(IniTest, FailedRewriteKeepsOldContent) {
  std::string filler;
  for (int i = 0; i < 100; i++) filler += "[K" + std::to_string(i) + "] some value\n";
  Write(filler);
  ASSERT_GT(filler.size(), 1000u);
  std::string msg = "Cannot open file '" + path_ + "'!";
  EXPECT_EXIT(exit(SetUnderSizeLimit(name_, "K50", "[K50] changed\n", msg)),
              testing::ExitedWithCode(0), "");
  EXPECT_EQ(Read(), filler);
  EXPECT_EQ(FilesInDir(), 1);
  // Appending beyond the limit is undone as well.
  EXPECT_EXIT(exit(SetUnderSizeLimit(name_, "NEW", "[NEW] x\n", msg)), testing::ExitedWithCode(0),
              "");
  EXPECT_EQ(Read(), filler);
}

struct FindCase {
  const char *text, *pattern;
  int start, end;
};

TEST(IniPattern, Find) {
  const FindCase cases[] = {
      {"A W=12; B", "W=$;", 2, 7},      // run of digits skipped
      {"W=abc", "W=*", 0, 5},           // "*" at the end takes the rest
      {"W=; ", "W=$;", 0, 3},           // nothing to skip
      {"W=;", "W=$;", -1, -1},          // shorter than the pattern, "$" counted
      {"X W=-1 2;", "W=$;", 2, 9},      // digits, blanks and minus signs
      {" 1|15 2|20 ", " 2|* ", 5, 11},  // "*" up to the next blank
      {"a*b ", "a\\*b", 0, 3},          // escaped "*" matches itself
      {"a$bc", "a\\$b", 0, 3},
      {"axb ", "a\\*b", -1, -1},
      {"x W=1a;", "W=$;", -1, -1},   // the run stops at "a", not ";"
      {"abc", "abcd", -1, -1},       // pattern longer than the text
      {"ab W=1;", "W=1;x", -1, -1},  // text ends before the pattern
      {"", "a", -1, -1},
  };
  for (const FindCase &c : cases) {
    int s = -2, e = -2;
    int r = find(c.text, c.pattern, &s, &e);
    EXPECT_EQ(r, c.start) << c.text << " / " << c.pattern;
    if (c.start >= 0) {
      EXPECT_EQ(s, c.start) << c.text << " / " << c.pattern;
      EXPECT_EQ(e, c.end) << c.text << " / " << c.pattern;
    }
  }
}

TEST(IniPattern, StringReplace) {
  char text[100] = "A W=12; B";
  EXPECT_EQ(String_Replace(text, "W=$;", "W=7;"), 2);
  EXPECT_STREQ(text, "A W=7; B");
  EXPECT_EQ(String_Replace(text, "W=$;", "W=12345;"), 2);  // tail moves right
  EXPECT_STREQ(text, "A W=12345; B");
  char widths[100] = "[T] 1|15 2|20 3|8 ";
  EXPECT_EQ(String_Replace(widths, " 2|* ", " 2|7 "), 8);
  EXPECT_STREQ(widths, "[T] 1|15 2|7 3|8 ");
  EXPECT_EQ(String_Replace(widths, " 9|* ", " 9|1 "), -1);
  EXPECT_STREQ(widths, "[T] 1|15 2|7 3|8 ");
}

}  // namespace
