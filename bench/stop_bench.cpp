// stop_bench: how long korvald takes from SIGTERM (or SIGINT) to its exit,
// idle, with idle clients connected, with a client inside a transaction
// (checked afterwards: its row was rolled back), and during a long
// statement.  Prints the median of RUNS stops for each; prints figures, is
// not a test.  Usage: stop_bench [runs] (default 5); the environment
// variable KORVALD names another korvald program to measure.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "dbclient/connection.h"
#include "dbclient/result.h"
#include "tests/support/korvald_child.h"

namespace {

using Clock = std::chrono::steady_clock;

// Runs sql and tells whether the reply was as wanted (status).
bool exec(DBconn *c, const char *sql, int status) {
  DBresult *r = DBexec(c, sql);
  bool ok = r && DBresultStatus(r) == status;
  DBclear(r);
  return ok;
}

// Seconds from the signal to the end of the process.
double stop_time(pid_t pid, int sig) {
  auto t0 = Clock::now();
  kill(pid, sig);
  waitpid(pid, nullptr, 0);
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
  int runs = argc > 1 ? atoi(argv[1]) : 5;
  const std::string korvald = getenv("KORVALD") ? getenv("KORVALD") : KORVALD_PATH;
  char tmpl[] = "/tmp/stop_bench_XXXXXX";
  std::string dir = mkdtemp(tmpl);
  const char *names[] = {"idle", "10 idle clients", "a client inside a transaction",
                         "a long statement running"};
  std::vector<double> times[4];
  int rolled_back = 0, checked = 0;
  bool ok = true;
  for (int run = 0; run < runs; run++) {
    for (int scene = 0; scene < 4; scene++) {
      pid_t pid;
      int port = korvald_start(korvald, dir, {}, dir + "/korvald.log", &pid);
      if (port <= 0) {
        fprintf(stderr, "stop_bench: korvald did not start\n");
        return 1;
      }
      std::string p = std::to_string(port);
      std::vector<DBconn *> conns;
      std::thread longrun;
      auto open = [&]() {
        std::string db = "KVSYS";
        conns.push_back(DBsetdb(nullptr, p.c_str(), 0, db.data()));
        return conns.back();
      };
      if (run == 0 && scene == 0) {
        DBconn *c = open();
        ok &= exec(c, "CREATE TABLE R (N INTEGER);", DB_COMMAND_OK);
        ok &= exec(c, "CREATE TABLE L (N INTEGER);", DB_COMMAND_OK);
        ok &= exec(c, "BEGIN;", DB_COMMAND_OK);
        for (int i = 0; i < 3000; i++)
          ok &=
              exec(c, ("INSERT INTO L VALUES (" + std::to_string(i) + ");").c_str(), DB_COMMAND_OK);
        ok &= exec(c, "END;", DB_COMMAND_OK);
      }
      if (scene == 1)
        for (int i = 0; i < 10; i++) open();
      if (scene == 2) {
        DBconn *c = open();
        ok &= exec(c, "BEGIN;", DB_COMMAND_OK);
        ok &= exec(c, "INSERT INTO R VALUES (1);", DB_COMMAND_OK);
      }
      if (scene == 3) {
        DBconn *c = open();
        // nine million row pairs: seconds of work
        longrun = std::thread([c]() { DBclear(DBexec(c, "SELECT COUNT(*) FROM L A, L B;")); });
        usleep(300000);  // let it get going
      }
      times[scene].push_back(stop_time(pid, run % 2 ? SIGINT : SIGTERM));
      if (longrun.joinable()) longrun.join();
      for (DBconn *c : conns) DBfreeconn(c);
      if (scene == 2) {
        pid_t again;
        std::string q =
            std::to_string(korvald_start(korvald, dir, {}, dir + "/korvald.log", &again));
        std::string db = "KVSYS";
        DBconn *c = DBsetdb(nullptr, q.c_str(), 0, db.data());
        DBresult *r = DBexec(c, "SELECT COUNT(*) FROM R;");
        checked++;
        if (r && DBntuples(r) == 1 && std::string(DBgetvalue(r, 0, 0)) == "0") rolled_back++;
        DBclear(r);
        DBfinish(c);
        DBfreeconn(c);
        korvald_stop(&again, SIGTERM);
      }
    }
  }
  std::filesystem::remove_all(dir);
  printf("korvald from SIGTERM/SIGINT to exit, median of %d:\n", runs);
  for (int s = 0; s < 4; s++)
    printf("  %-30s %.3f s (longest %.3f s)\n", names[s], median(times[s]),
           *std::max_element(times[s].begin(), times[s].end()));
  printf("open transactions rolled back: %d of %d\n", rolled_back, checked);
  return ok && rolled_back == checked ? 0 : 1;
}
