// import_bench: how fast kvsql imports.  Starts korvald on a temporary
// directory, writes a UTF-8 CSV file of N rows for a 6-column table
// (INTEGER, two CHARACTER with umlauts, FLOAT, DATE, SMALLINT) and times
// "kvsql --import" of it; then the same rows as INSERT statements in one
// transaction through "kvsql -f".  Prints rows per second of both and
// checks the row counts.  Usage: import_bench [--postgres] [rows] (default
// 200000); --postgres runs korvald on a throw-away PostgreSQL cluster.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/korvald_child.h"
#include "tests/support/pg_cluster.h"

namespace {

const char TABLE[] =
    "(ID INTEGER NOT NULL, NAME CHARACTER(30), ORT CHARACTER(30), BETRAG FLOAT, TAG DATE, MENGE "
    "SMALLINT)";

// Runs a shell command; its wall time in seconds, or -1 when it failed.
double timed(const std::string &cmd) {
  auto t0 = std::chrono::steady_clock::now();
  int st = system(cmd.c_str());
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return st == 0 ? s : -1;
}

}  // namespace

int main(int argc, char **argv) {
  bool postgres = argc > 1 && std::string(argv[1]) == "--postgres";
  if (postgres) argc--, argv++;
  int rows = argc > 1 ? atoi(argv[1]) : 200000;
  char tmpl[] = "/tmp/import_bench_XXXXXX";
  std::string dir = mkdtemp(tmpl);
  PgCluster pg;
  std::vector<std::string> args;
  if (postgres) {
    std::string conninfo = pg.start() ? pg.create_database() : "";
    if (conninfo.empty()) {
      fprintf(stderr, "import_bench: no PostgreSQL cluster: %s\n", pg.error().c_str());
      return 1;
    }
    args = {"--postgres", conninfo};
  }
  pid_t pid = -1;
  int port = korvald_start(KORVALD_PATH, dir + "/data", args, dir + "/korvald.log", &pid);
  if (port <= 0) {
    fprintf(stderr, "import_bench: korvald did not start\n");
    return 1;
  }
  std::ofstream csv(dir + "/rows.csv"), sql(dir + "/rows.sql");
  csv << "ID,NAME,ORT,BETRAG,TAG,MENGE\n";
  sql << "BEGIN;\n";
  for (int i = 1; i <= rows; i++) {
    char tag[16];
    snprintf(tag, sizeof tag, "20%02d-%02d-%02d", i % 30, 1 + i % 12, 1 + i % 28);
    std::string name = "M\xc3\xbcller-" + std::to_string(i),
                ort = i % 2 ? "M\xc3\xbcnchen" : "\"K\xc3\xb6ln, Dom\"";
    std::string betrag = std::to_string(i % 1000) + ".25", menge = std::to_string(i % 1000);
    csv << i << ',' << name << ',' << ort << ',' << betrag << ',' << tag << ',' << menge << '\n';
    sql << "INSERT INTO T2 VALUES (" << i << ", '" << name << "', '"
        << (i % 2 ? "M\xc3\xbcnchen" : "K\xc3\xb6ln, Dom") << "', " << betrag << ", '" << tag
        << "', " << menge << ");\n";
  }
  sql << "END;\n";
  csv.close();
  sql.close();
  std::string kvsql = std::string("cd ") + dir + " && LC_ALL=C.UTF-8 " + KVSQL_PATH + " -q -p " +
                      std::to_string(port) + " ";
  system((kvsql + "-c 'CREATE TABLE T1 " + TABLE + "; CREATE TABLE T2 " + TABLE + "'").c_str());
  double imp = timed(kvsql + "--import rows.csv T1");
  double ins = timed(kvsql + "-f rows.sql");
  printf("import of %d rows x 6 columns (CSV, UTF-8): %.2f s, %.0f rows/s\n", rows, imp,
         rows / imp);
  printf("the same as INSERT statements (kvsql -f):  %.2f s, %.0f rows/s\n", ins, rows / ins);
  system((kvsql + "-t -c 'SELECT COUNT(*) FROM T1; SELECT COUNT(*) FROM T2'").c_str());
  korvald_stop(&pid, SIGTERM);
  std::filesystem::remove_all(dir);
  return imp > 0 && ins > 0 ? 0 : 1;
}
