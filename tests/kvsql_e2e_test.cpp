// End-to-end tests of kvsql against a real korvald: a file of statements is
// loaded through kvsql's standard input and read back through kvsql, so the
// splitting of the input, the translation and the server's storage are
// checked together.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/korvald_child.h"

namespace fs = std::filesystem;

namespace {

// Runs kvsql with args and input as standard input; returns its exit status
// and fills out with its standard output.
int run_kvsql(const std::string &args, const std::string &input, std::string *out,
              const std::string &dir) {
  std::ofstream(dir + "/in", std::ios::binary) << input;
  std::string cmd = std::string(KVSQL_PATH) + " " + args + " <" + dir + "/in >" + dir + "/out 2>" +
                    dir + "/err";
  int st = system(cmd.c_str());
  std::stringstream ss;
  ss << std::ifstream(dir + "/out", std::ios::binary).rdbuf();
  *out = ss.str();
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// Ten thousand INSERTs, every other one with an escaped quote in its value,
// all arrive: none is glued to the one before it.
TEST(KvsqlWithKorvald, LoadsEveryStatementOfAFile) {
  char tmpl[] = "/tmp/kvsql_e2e_XXXXXX";
  std::string dir = mkdtemp(tmpl);
  pid_t pid = -1;
  int port = korvald_start(KORVALD_PATH, dir + "/data", {}, dir + "/korvald.log", &pid);
  ASSERT_GT(port, 0);
  std::string p = "-dbKVSYS -p " + std::to_string(port), out;
  std::string load = "CREATE TABLE K0 (N INTEGER NOT NULL, NAME CHARACTER(20));\n";
  for (int i = 0; i < 10000; i++)
    load += "INSERT INTO K0 VALUES (" + std::to_string(i) + ", '" +
            (i % 2 ? "O\\'Brien; END" : "Meier") + "');\n";
  EXPECT_EQ(run_kvsql(p, load, &out, dir), 0);
  EXPECT_EQ(run_kvsql(p, "SELECT COUNT(*) FROM K0;", &out, dir), 0);
  EXPECT_EQ(out, "COUNT(*)\n10000\n");
  EXPECT_EQ(run_kvsql(p, "SELECT N, NAME FROM K0 WHERE N < 2 ORDER BY N;", &out, dir), 0);
  EXPECT_EQ(out, "N\tNAME\n0\tMeier\n1\tO'Brien; END\n");
  korvald_stop(&pid, SIGTERM);
  std::error_code ec;
  fs::remove_all(dir, ec);
}

}  // namespace
