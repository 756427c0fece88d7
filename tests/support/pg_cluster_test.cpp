// Tests of the throw-away PostgreSQL cluster: it starts, answers libpq on
// its port, hands out separate empty databases, runs its server as a user
// other than root, and leaves neither a process nor a file behind.
#include "tests/support/pg_cluster.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(PgCluster, StartsServesSeparateDatabasesAndStopsWithoutATrace) {
  PgCluster pg;
  ASSERT_TRUE(pg.start()) << pg.error();
  std::string err;
  EXPECT_EQ(pg_first_value(pg.conninfo("postgres"), "SELECT 1", &err), "1") << err;
  EXPECT_EQ(pg_first_value(pg.conninfo("postgres"), "SHOW server_encoding", &err), "UTF8");
  EXPECT_EQ(pg_first_value(pg.conninfo("postgres"), "SHOW listen_addresses", &err), "127.0.0.1");

  std::string a = pg.create_database(), b = pg.create_database();
  ASSERT_FALSE(a.empty()) << pg.error();
  ASSERT_FALSE(b.empty()) << pg.error();
  EXPECT_NE(a, b);
  pg_first_value(a, "CREATE SCHEMA \"LAGER\"", &err);
  ASSERT_EQ(err, "");
  EXPECT_EQ(pg_first_value(b, "SELECT count(*) FROM pg_namespace WHERE nspname = 'LAGER'", &err),
            "0")
      << err;
  EXPECT_EQ(pg_first_value(a, "SELECT count(*) FROM pg_namespace WHERE nspname = 'LAGER'", &err),
            "1")
      << err;

  // the server runs as someone other than root (it would refuse root)
  std::string dir = pg.dir();
  std::ifstream pidfile(dir + "/data/postmaster.pid");
  pid_t server = 0;
  pidfile >> server;
  ASSERT_GT(server, 0);
  ASSERT_EQ(kill(server, 0), 0);
  std::ifstream status("/proc/" + std::to_string(server) + "/status");
  std::string line;
  while (std::getline(status, line) && line.rfind("Uid:", 0) != 0) {
  }
  EXPECT_EQ(line.find("\t0\t"), std::string::npos) << line;

  pg.stop();
  EXPECT_FALSE(pg.running());
  EXPECT_FALSE(fs::exists(dir));
  // immediate stop has ended the server by the time pg_ctl returns; its
  // parent (init or a reaper) may still have to collect it
  bool gone = false;
  for (int i = 0; i < 600 && !gone; i++) {
    std::ifstream st("/proc/" + std::to_string(server) + "/stat");
    std::string text;
    std::getline(st, text);
    gone = !st || text.find(") Z") != std::string::npos;
    if (!gone) usleep(50000);
  }
  EXPECT_TRUE(gone) << "the server " << server << " still runs";
  EXPECT_NE(pg_first_value(a, "SELECT 1", &err), "1");
  EXPECT_NE(err, "");
}

TEST(PgCluster, MissingProgramsAreNamedAndLeaveNothing) {
  PgCluster pg;
  EXPECT_FALSE(pg.start("/nonexistent/bin"));
  EXPECT_FALSE(pg.running());
  EXPECT_NE(pg.error().find("initdb and pg_ctl were not found (looked in /nonexistent/bin)"),
            std::string::npos)
      << pg.error();
  EXPECT_NE(pg.error().find("postgresql"), std::string::npos);
  EXPECT_EQ(pg.create_database(), "");
}
