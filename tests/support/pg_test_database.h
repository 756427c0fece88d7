// A fresh PostgreSQL database for a GoogleTest program: the program's own
// throw-away cluster (pg_cluster.h) is started at the first call and
// stopped after the last test by a GoogleTest environment.  Header-only, so
// that the test_support library itself stays free of GoogleTest.
#ifndef TESTS_SUPPORT_PG_TEST_DATABASE_H
#define TESTS_SUPPORT_PG_TEST_DATABASE_H

#include <gtest/gtest.h>

#include <string>

#include "tests/support/pg_cluster.h"

// A new empty database in the program's cluster: its conninfo, or "" with
// the reason in *why (the cluster is started once; a failed start is not
// tried again).
inline std::string pg_test_database(std::string *why) {
  struct Environment : ::testing::Environment {
    void TearDown() override { cluster.stop(); }
    PgCluster cluster;
  };
  static Environment *env = [] {
    auto *made = static_cast<Environment *>(::testing::AddGlobalTestEnvironment(new Environment));
    made->cluster.start();
    return made;
  }();
  std::string conninfo = env->cluster.running() ? env->cluster.create_database() : "";
  if (conninfo.empty()) *why = env->cluster.error();
  return conninfo;
}

#endif
