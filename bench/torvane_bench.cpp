// torvane_bench: the viewer's main job at size.  A database BENCH with a
// table B of N rows x 6 columns (integer, two texts, float, date, integer)
// is built with SQLite in a temporary data directory, korvald serves it,
// and the viewer's windows are set up in this process as torvane does;
// then the table name goes into the Table field and the "Execute SELECT"
// callback runs: the SELECT through the session layer, the row texts, the
// binding's load and the lines in the tabbox.  Printed: the time of the
// callback, the time until the window is drawn, the time of the bare query
// through the client library for comparison, the time to sort the lines by
// one column and draw them, and the peak resident memory of this process
// (VmHWM, before the sort).  Needs an X server (xvfb-run); prints figures,
// is not a test.  Usage: torvane_bench [rows] (default 100000).
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/dbv.h"
#include "app/ddbv.h"
#include "app/history.h"
#include "app/setup.h"
#include "app/startup.h"
#include "base/msglog.h"
#include "dbclient/result.h"
#include "dbclient/session.h"
#include "forms/besrec.h"
#include "forms/cmb.h"
#include "forms/forms.h"
#include "tests/support/korvald_child.h"
#include "widgets/dbtabbox.h"
#include "widgets/goodies.h"
#include "widgets/mytabs.h"
#include "widgets/tabbox_model.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

long status_kib(const char *field) {
  FILE *f = fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kib = -1;
  size_t n = strlen(field);
  while (fgets(line, sizeof line, f))
    if (strncmp(line, field, n) == 0) kib = atol(line + n);
  fclose(f);
  return kib;
}

bool make_database(const std::string &path, int rows) {
  sqlite3 *db;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
  sqlite3_exec(db,
               "PRAGMA journal_mode=WAL; BEGIN; CREATE TABLE \"B\" (\"B_ID\" INTEGER NOT NULL,"
               " \"NAME\" CHARACTER(12), \"ORT\" CHARACTER(12), \"BETRAG\" FLOAT, \"TAG\" DATE,"
               " \"MENGE\" INTEGER)",
               nullptr, nullptr, nullptr);
  static const char *towns[] = {"M\xfcnchen", "K\xf6ln", "Bonn", "Ulm",
                                "L\xfc"
                                "beck"};
  sqlite3_stmt *st;
  sqlite3_prepare_v2(db, "INSERT INTO \"B\" VALUES (?,?,?,?,?,?)", -1, &st, nullptr);
  char name[32], tag[16];
  for (int i = 1; i <= rows; i++) {
    snprintf(name, sizeof name, "Kunde %d", i);
    snprintf(tag, sizeof tag, "20%02d-%02d-%02d", i % 30, 1 + i % 12, 1 + i % 28);
    sqlite3_bind_int(st, 1, i);
    sqlite3_bind_text(st, 2, name, -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, towns[i % 5], -1, SQLITE_STATIC);
    sqlite3_bind_double(st, 4, i * 1.25);
    sqlite3_bind_text(st, 5, tag, -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 6, i % 1000);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  bool ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

void pump() {
  XSync(fl_get_display(), False);
  while (fl_check_forms()) {
  }
  XSync(fl_get_display(), False);
  while (fl_check_forms()) {
  }
}

}  // namespace

int main(int argc, char **argv) {
  int rows = argc > 1 ? atoi(argv[1]) : 100000;
  if (!getenv("DISPLAY") || !*getenv("DISPLAY")) {
    fprintf(stderr, "torvane_bench: needs an X server (DISPLAY); run it under xvfb-run\n");
    return 1;
  }
  char tmpl[] = "/tmp/torvane_bench_XXXXXX";
  std::string dir = mkdtemp(tmpl);
  if (!make_database(dir + "/BENCH.db", rows)) {
    fprintf(stderr, "torvane_bench: cannot build the database\n");
    return 1;
  }
  pid_t pid;
  int port = korvald_start(KORVALD_PATH, dir, {}, "", &pid);
  if (port <= 0) {
    fprintf(stderr, "torvane_bench: korvald did not start\n");
    return 1;
  }
  std::string port_text = std::to_string(port);
  if (chdir(dir.c_str()) != 0) return 1;

  // The bare query for comparison, on a connection of its own.
  std::string name = "BENCH";
  DBconn *conn = DBsetdb(nullptr, port_text.c_str(), 0, name.data());
  auto t0 = std::chrono::steady_clock::now();
  DBresult *res = DBexec(conn, "SELECT * FROM B;");
  double query_s = seconds_since(t0);
  int query_rows = DBntuples(res);
  DBclear(res);
  DBfinish(conn);
  DBfreeconn(conn);
  long rss_before = status_kib("VmRSS:");

  setenv("LC_ALL", "de_DE.ISO-8859-1", 1);
  Init_Msglog("", 0);
  if (!fl_initialize(&argc, argv, nullptr, nullptr, 0)) return 1;
  GOODIES_SCRIPT script;  // alerts are recorded, not shown
  goodies_set_script(&script);
  dbsetport(port_text.c_str());
  load_sql_queries();
  FE_Init(&pBESREC, "BENCH");
  fd_DBV = create_form_DBV();
  fd_DDBV = create_form_DDBV();
  Init_GlobVars();
  myfl_init_forms();
  myfl_set_cmb_code(fd_DBV->database, "BENCH");
  myfl_show_form(fd_DBV->DBV, TORVANE_TITLE);
  pump();
  long rss_ready = status_kib("VmRSS:");

  fl_set_input(fd_DBV->table, "B");
  t0 = std::chrono::steady_clock::now();
  DBV_Durchfuehren(fd_DBV->execute_select, 0);
  double callback_s = seconds_since(t0);
  pump();
  double drawn_s = seconds_since(t0);
  int shown = myfl_get_tabbox_items(fd_DBV->tabbox);
  long peak = status_kib("VmHWM:");

  // The lines sorted by the amount, descending, and drawn again.
  TABBOX *rec = fl_get_tabbox_record(fd_DBV->tabbox);
  int cols[] = {4}, dirs[] = {-1};
  fl_set_tabbox_sort(fd_DBV->tabbox, 1, cols, dirs);
  t0 = std::chrono::steady_clock::now();
  tb_rebuild(rec);  // sorts, and makes the display lines in the new order
  fl_redraw_object(fd_DBV->tabbox);
  pump();
  double sort_s = seconds_since(t0);
  long rss_after = status_kib("VmRSS:");

  korvald_stop(&pid, SIGTERM);
  std::filesystem::remove_all(dir);

  printf("rows in table B: %d; rows through the client library: %d; rows shown: %d\n", rows,
         query_rows, shown);
  for (const GOODIE_SHOWN &a : script.shown) printf("alert: %s\n", a.text.c_str());
  printf("bare query (DBexec, decode):        %.3f s\n", query_s);
  printf("Execute SELECT callback:            %.3f s\n", callback_s);
  printf("callback until the window is drawn: %.3f s\n", drawn_s);
  printf("sort the lines by BETRAG and draw:   %.3f s\n", sort_s);
  printf("resident memory: %.1f MB before the windows, %.1f MB ready, %.1f MB after\n",
         rss_before / 1024.0, rss_ready / 1024.0, rss_after / 1024.0);
  printf("peak resident memory of the viewer process (VmHWM): %.1f MB\n", peak / 1024.0);
  return shown == rows ? 0 : 1;
}
