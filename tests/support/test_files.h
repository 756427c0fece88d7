// Helpers shared by the tests: whole-file read and write of test data, a
// fixture that gives every test a fresh temporary directory, removed with
// all it holds after the test, and a temporary working directory for the
// whole process of a GUI test.  Header only; included by *_test.cpp
// files, never by library code.
#ifndef TESTS_SUPPORT_TEST_FILES_H
#define TESTS_SUPPORT_TEST_FILES_H

#include <dirent.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

// The bytes of the file at path; empty when it cannot be read.
inline std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Creates or replaces the file at path with the bytes of text.
inline void WriteFile(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// For tests that run the whole process in one working directory (the GUI
// tests): makes "/tmp/<prefix>XXXXXX", changes into it and has it removed
// with all it holds when the process ends.  Returns its path, or "" when it
// could not be made or entered.  One such directory per process.
inline std::string kv_process_workdir(const char *prefix) {
  static std::string made;
  std::string tmpl = std::string("/tmp/") + prefix + "XXXXXX";
  if (!made.empty() || !mkdtemp(&tmpl[0])) return "";
  made = tmpl;
  atexit([] {
    std::string cmd = "rm -rf '" + made + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "cannot remove %s\n", made.c_str());
  });
  return chdir(made.c_str()) == 0 ? made : "";
}

// A test with its own directory dir_ ("/tmp/<prefix>XXXXXX"), made in SetUp
// and removed in TearDown.  A fixture that overrides SetUp calls this one
// first.
class TempDirTest : public testing::Test {
 protected:
  explicit TempDirTest(const char *prefix) : prefix_(prefix) {}
  void SetUp() override {
    std::string tmpl = "/tmp/" + prefix_ + "XXXXXX";
    ASSERT_TRUE(mkdtemp(&tmpl[0]));
    dir_ = tmpl;
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  // Entries of dir_ whose names do not start with '.'.
  int FilesInDir() {
    int n = 0;
    DIR *d = opendir(dir_.c_str());
    while (dirent *e = readdir(d))
      if (e->d_name[0] != '.') n++;
    closedir(d);
    return n;
  }
  std::string dir_;

 private:
  std::string prefix_;
};

#endif
