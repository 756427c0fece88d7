// server_bench: how long a SELECT of 100,000 rows x 6 columns takes through
// korvald and the client library (request, reply, decoding into the result
// table), on each storage backend, against the same query in that backend's
// own shell: the sqlite3 shell on the same database file ("sqlite3 FILE
// "select ..." > /dev/null") and psql on the same PostgreSQL database
// ("psql -Atc "select ..." > /dev/null").  For PostgreSQL it starts a
// throw-away cluster (tests/support/pg_cluster.h); korvald creates the
// KORVAL database BENCH and its table, and the rows arrive by COPY.  Prints
// the times and their ratio per backend.  Usage: server_bench [rows]
// (default 100000).
#include <libpq-fe.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "dbclient/connection.h"
#include "dbclient/result.h"
#include "tests/support/korvald_child.h"
#include "tests/support/pg_cluster.h"

namespace {

const char kQuery[] = "SELECT B_ID, NAME, BETRAG, TAG, MENGE, BEMERKUNG FROM B";
const char kTable[] =
    "CREATE TABLE B (B_ID INTEGER NOT NULL, NAME CHARACTER(20), BETRAG FLOAT, TAG DATE, "
    "MENGE INTEGER, BEMERKUNG CHARACTER(30))";

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Row i of the table: its fields as text.
struct Row {
  char name[32], tag[16];
  double betrag;
  int menge;
  explicit Row(int i) : betrag(i * 1.25), menge(i % 1000) {
    snprintf(name, sizeof name, "Kunde %d", i);
    snprintf(tag, sizeof tag, "20%02d-%02d-%02d", i % 30, 1 + i % 12, 1 + i % 28);
  }
};

// What one backend measured.
struct Figures {
  int rows = 0, status = 0;
  double server_s = 1e9, shell_s = 1e9;
  bool shell_ok = true;
  std::string error;  // why the backend was not measured
};

// Builds DIR/BENCH.db with the table B in korvald's declared types.
bool make_sqlite_database(const std::string &path, int rows) {
  sqlite3 *db;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
  sqlite3_exec(db, (std::string("PRAGMA journal_mode=WAL; BEGIN; ") + kTable).c_str(), nullptr,
               nullptr, nullptr);
  sqlite3_stmt *st;
  sqlite3_prepare_v2(db, "INSERT INTO \"B\" VALUES (?,?,?,?,?,?)", -1, &st, nullptr);
  for (int i = 1; i <= rows; i++) {
    Row r(i);
    sqlite3_bind_int(st, 1, i);
    sqlite3_bind_text(st, 2, r.name, -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(st, 3, r.betrag);
    sqlite3_bind_text(st, 4, r.tag, -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 5, r.menge);
    sqlite3_bind_text(st, 6, "Lieferung an Haus", -1, SQLITE_STATIC);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  bool ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

// Fills the table "BENCH"."B" that korvald made with COPY; "" or libpq's
// message.
std::string copy_rows(const std::string &conninfo, int rows) {
  PGconn *c = PQconnectdb(conninfo.c_str());
  std::string err;
  PGresult *r = PQexec(c, "COPY \"BENCH\".\"B\" FROM STDIN");
  if (PQresultStatus(r) != PGRES_COPY_IN) err = PQerrorMessage(c);
  PQclear(r);
  std::string chunk;
  for (int i = 1; i <= rows && err.empty(); i++) {
    Row row(i);
    char line[160];
    snprintf(line, sizeof line, "%d\t%s\t%.17g\t%s\t%d\tLieferung an Haus\n", i, row.name,
             row.betrag, row.tag, row.menge);
    chunk += line;
    if (chunk.size() > 60000 || i == rows) {
      if (PQputCopyData(c, chunk.data(), static_cast<int>(chunk.size())) != 1)
        err = PQerrorMessage(c);
      chunk.clear();
    }
  }
  if (err.empty() && PQputCopyEnd(c, nullptr) == 1) {
    r = PQgetResult(c);
    if (PQresultStatus(r) != PGRES_COMMAND_OK) err = PQerrorMessage(c);
    PQclear(r);
  } else if (err.empty()) {
    err = PQerrorMessage(c);
  }
  PQfinish(c);
  return err;
}

// Runs the query through korvald on port in database dbname, best of three.
void time_korvald(int port, const std::string &dbname, Figures *f) {
  std::string port_text = std::to_string(port), name = dbname;
  DBconn *conn = DBsetdb(nullptr, port_text.c_str(), 0, name.data());
  for (int run = 0; run < 3; run++) {
    auto t0 = std::chrono::steady_clock::now();
    DBresult *res = DBexec(conn, kQuery);
    f->server_s = std::min(f->server_s, seconds_since(t0));
    f->rows = DBntuples(res);
    f->status = DBresultStatus(res);
    DBclear(res);
  }
  DBfinish(conn);
  DBfreeconn(conn);
}

// Runs a shell command three times; the best time into f->shell_s.
void time_shell(const std::string &cmd, Figures *f) {
  for (int run = 0; run < 3; run++) {
    auto t0 = std::chrono::steady_clock::now();
    f->shell_ok &= system(cmd.c_str()) == 0;
    f->shell_s = std::min(f->shell_s, seconds_since(t0));
  }
}

Figures bench_sqlite(int rows) {
  Figures f;
  char tmpl[] = "/tmp/server_bench_XXXXXX";
  std::string dir = mkdtemp(tmpl);
  std::string file = dir + "/BENCH.db";
  pid_t pid = -1;
  int port = 0;
  if (!make_sqlite_database(file, rows))
    f.error = "cannot build " + file;
  else if ((port = korvald_start(KORVALD_PATH, dir, {}, "", &pid)) <= 0)
    f.error = "korvald did not start";
  if (f.error.empty()) {
    time_korvald(port, "BENCH", &f);
    time_shell("sqlite3 " + file + " \"" + kQuery + "\" > /dev/null", &f);
  }
  korvald_stop(&pid, SIGTERM);
  std::filesystem::remove_all(dir);
  return f;
}

Figures bench_postgres(int rows) {
  Figures f;
  PgCluster pg;
  if (!pg.start()) {
    f.error = pg.error();
    return f;
  }
  std::string conninfo = pg.create_database();
  char tmpl[] = "/tmp/server_bench_XXXXXX";
  std::string dir = mkdtemp(tmpl);
  std::string log = dir + "/korvald.log";
  pid_t pid = -1;
  int port = 0;
  if (conninfo.empty()) {
    f.error = pg.error();
  } else if ((port = korvald_start(KORVALD_PATH, dir, {"--postgres", conninfo}, log, &pid)) <= 0) {
    f.error = "korvald did not start on PostgreSQL";
  } else {
    std::string port_text = std::to_string(port), name = "BENCH";
    DBconn *conn = DBcreatedb(nullptr, port_text.c_str(), 0, name.data());
    DBresult *res = DBstatus(conn) == DB_CONNECTION_OK ? DBexec(conn, kTable) : nullptr;
    if (!res || DBresultStatus(res) != DB_COMMAND_OK)
      f.error = std::string("korvald did not create BENCH.B: ") +
                (res ? DBresultErrorMessage(res) : DBerrorMessage(conn));
    DBclear(res);
    DBfinish(conn);
    DBfreeconn(conn);
    if (f.error.empty()) f.error = copy_rows(conninfo, rows);
  }
  if (f.error.empty()) {
    time_korvald(port, "BENCH", &f);
    time_shell(pg.bin_dir() +
                   "/psql -X -Atc 'select \"B_ID\", \"NAME\", \"BETRAG\", \"TAG\", "
                   "\"MENGE\", \"BEMERKUNG\" from \"BENCH\".\"B\"' '" +
                   conninfo + "' > /dev/null",
               &f);
  }
  korvald_stop(&pid, SIGTERM);
  if (!f.error.empty()) {
    FILE *in = fopen(log.c_str(), "r");
    char line[512];
    while (in && fgets(line, sizeof line, in)) {
      line[strcspn(line, "\n")] = '\0';
      f.error += std::string("\n  korvald: ") + line;
    }
    if (in) fclose(in);
  }
  std::filesystem::remove_all(dir);
  return f;
}

// Prints one backend's figures; true when korvald returned every row.
bool report(const char *backend, const char *shell, int rows, const Figures &f) {
  printf("== %s\n", backend);
  if (!f.error.empty()) {
    printf("not measured: %s\n", f.error.c_str());
    return false;
  }
  printf("rows: %d (status %d)\n", f.rows, f.status);
  printf("korvald + client library: %.3f s (best of 3)\n", f.server_s);
  printf("%-25s %.3f s (best of 3)%s\n", shell, f.shell_s, f.shell_ok ? "" : " (shell failed)");
  printf("ratio: %.2f\n", f.shell_s > 0 ? f.server_s / f.shell_s : 0.0);
  return f.rows == rows && f.status == DB_TUPLES_OK;
}

}  // namespace

int main(int argc, char **argv) {
  int rows = argc > 1 ? atoi(argv[1]) : 100000;
  bool ok = report("SQLite", "sqlite3 shell:", rows, bench_sqlite(rows));
  ok &= report("PostgreSQL", "psql:", rows, bench_postgres(rows));
  return ok ? 0 : 1;
}
