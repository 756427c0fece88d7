// Tests of the message formatter and of the log file naming rules.
#include "base/msglog.h"

#include "tests/support/test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Fmt(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string s = Format_Msg(fmt, ap);
  va_end(ap);
  return s;
}

TEST(Format, Conversions) {
  EXPECT_EQ(Fmt("plain text\n"), "plain text\n");
  EXPECT_EQ(Fmt("[%5d]", 42), "[   42]");
  EXPECT_EQ(Fmt("%ld=%d", 7L, 7), "7=7");
  EXPECT_EQ(Fmt("%lf", 2.5), "2.500000");
  EXPECT_EQ(Fmt("%.2lf", 2.5), "2.50");
  EXPECT_EQ(Fmt("(f) %s!", "x"), "(f) x!");
  EXPECT_EQ(Fmt("[%-5d]", 42), "[???5d]");
  EXPECT_EQ(Fmt("%c|%s", "y"), "???|y");  // no argument taken by %c
}

TEST(Format, LongMessagesAreCut) {
  std::string big(3000, 'a');
  EXPECT_EQ(Fmt("%s", big.c_str()).size(), 999u);
  std::string fmt(2500, 'b');
  EXPECT_EQ(Fmt(fmt.c_str()).size(), 1999u);
}

TEST(Sink, TakesMessagesInsteadOfStandardError) {
  std::string got;
  Set_Msglog_Sink([](const char *m, void *ctx) { *static_cast<std::string *>(ctx) += m; }, &got);
  testing::internal::CaptureStderr();
  Log_Msg("(f) %d\n", 1);
  Set_Msglog_Sink(nullptr, &got);
  Log_Msg("(g)\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "(g)\n");
  EXPECT_EQ(got, "(f) 1\n");
}

// The log state is process-wide, so the naming rules run in child processes.
TEST(InitMsglogDeathTest, NamingAndModes) {
  char dir[] = "/tmp/msglogXXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  std::string d = dir;
  auto run = [&](const char *name, int mode, int want) {
    EXPECT_EXIT(
        {
          if (chdir(dir) != 0) exit(99);
          int r = Init_Msglog(name, mode);
          Log_Msg("line %d\n", mode);
          exit(r == want && Init_Msglog("other", 0) == (want == 0 ? 1 : 0) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
  };
  run("viewer", 0, 0);
  EXPECT_EQ(ReadFile(d + "/viewer.log"), "line 0\n");
  run("viewer.log", 0, 0);
  EXPECT_EQ(ReadFile(d + "/viewer.log"), "line 0\nline 0\n");
  run("viewer", 1, 0);
  EXPECT_EQ(ReadFile(d + "/viewer.log"), "line 1\n");
  run("my-app", 0, 0);
  EXPECT_EQ(ReadFile(d + "/my-app.log"), "line 0\n");
  run("viewer.txt", 0, 2);
  EXPECT_FALSE(std::ifstream(d + "/viewer.txt").good());
  run("nodir/x", 0, 3);
  run("", 0, 0);
  // A name whose log file name needs more than the 1023 characters of the
  // name buffer is refused instead of opening a cut-off "xx...x.lo".
  ASSERT_EQ(mkdir((d + "/s").c_str(), 0755), 0);
  std::string deep = "s/";
  for (int i = 0; i < 399; i++) deep += "./";
  deep += std::string(220, 'x');
  run(deep.c_str(), 0, 3);
  EXPECT_FALSE(std::ifstream(d + "/s/" + std::string(220, 'x') + ".lo").good());
  EXPECT_FALSE(std::ifstream(d + "/s/" + std::string(220, 'x') + ".log").good());
  EXPECT_EQ(system(("rm -rf " + d).c_str()), 0);
}

TEST(MsglogDeathTest, ExitEndsWithStatus) {
  EXPECT_EXIT(
      {
        Log_Msg("(t) bye %d\n", 3);
        Msglog_Exit(3);
      },
      ::testing::ExitedWithCode(3), "\\(t\\) bye 3");
}

}  // namespace
