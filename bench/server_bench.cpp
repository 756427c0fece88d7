// server_bench: how long a SELECT of 100,000 rows x 6 columns takes through
// korvald and the client library (request, reply, decoding into the result
// table), against the same query in the sqlite3 shell on the same database
// file ("sqlite3 FILE "select ..." > /dev/null").  Prints both times and
// their ratio.  Usage: server_bench [rows] (default 100000).
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "dbclient/connection.h"
#include "dbclient/result.h"
#include "tests/support/korvald_child.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Builds DIR/BENCH.db with the table B in korvald's declared types.
bool make_database(const std::string &path, int rows) {
  sqlite3 *db;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
  sqlite3_exec(db,
               "PRAGMA journal_mode=WAL; BEGIN; CREATE TABLE \"B\" (\"B_ID\" INTEGER NOT NULL,"
               " \"NAME\" CHARACTER(20), \"BETRAG\" FLOAT, \"TAG\" DATE, \"MENGE\" INTEGER,"
               " \"BEMERKUNG\" CHARACTER(30))",
               nullptr, nullptr, nullptr);
  sqlite3_stmt *st;
  sqlite3_prepare_v2(db, "INSERT INTO \"B\" VALUES (?,?,?,?,?,?)", -1, &st, nullptr);
  char name[32], tag[16];
  for (int i = 1; i <= rows; i++) {
    snprintf(name, sizeof name, "Kunde %d", i);
    snprintf(tag, sizeof tag, "20%02d-%02d-%02d", i % 30, 1 + i % 12, 1 + i % 28);
    sqlite3_bind_int(st, 1, i);
    sqlite3_bind_text(st, 2, name, -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(st, 3, i * 1.25);
    sqlite3_bind_text(st, 4, tag, -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 5, i % 1000);
    sqlite3_bind_text(st, 6, "Lieferung an Haus", -1, SQLITE_STATIC);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  bool ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

}  // namespace

int main(int argc, char **argv) {
  int rows = argc > 1 ? atoi(argv[1]) : 100000;
  char tmpl[] = "/tmp/server_bench_XXXXXX";
  std::string dir = mkdtemp(tmpl);
  std::string file = dir + "/BENCH.db";
  if (!make_database(file, rows)) {
    fprintf(stderr, "server_bench: cannot build %s\n", file.c_str());
    return 1;
  }
  pid_t pid;
  int port_number = korvald_start(KORVALD_PATH, dir, {}, "", &pid);
  if (port_number <= 0) {
    fprintf(stderr, "server_bench: korvald did not start\n");
    return 1;
  }
  std::string port = std::to_string(port_number);
  std::string dbname = "BENCH";
  DBconn *conn = DBsetdb(nullptr, port.c_str(), 0, dbname.data());
  const char *query = "SELECT B_ID, NAME, BETRAG, TAG, MENGE, BEMERKUNG FROM B";

  // best of three runs each, against the noise of a shared machine
  double server_s = 1e9, shell_s = 1e9;
  int got = 0, status = 0, rc = 0;
  for (int run = 0; run < 3; run++) {
    auto t0 = std::chrono::steady_clock::now();
    DBresult *res = DBexec(conn, query);
    server_s = std::min(server_s, seconds_since(t0));
    got = DBntuples(res);
    status = DBresultStatus(res);
    DBclear(res);
  }
  DBfinish(conn);
  DBfreeconn(conn);

  std::string cmd = "sqlite3 " + file + " \"" + query + "\" > /dev/null";
  for (int run = 0; run < 3; run++) {
    auto t0 = std::chrono::steady_clock::now();
    rc |= system(cmd.c_str());
    shell_s = std::min(shell_s, seconds_since(t0));
  }

  korvald_stop(&pid, SIGTERM);
  std::filesystem::remove_all(dir);

  printf("rows: %d (status %d)\n", got, status);
  printf("korvald + client library: %.3f s (best of 3)\n", server_s);
  printf("sqlite3 shell:            %.3f s (best of 3)%s\n", shell_s, rc ? " (shell failed)" : "");
  printf("ratio: %.2f\n", shell_s > 0 ? server_s / shell_s : 0.0);
  return got == rows && status == DB_TUPLES_OK ? 0 : 1;
}
