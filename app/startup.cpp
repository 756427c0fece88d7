// The viewer's entry and exit; see startup.h.
#include "app/startup.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/dbv.h"
#include "app/dbvrec.h"
#include "app/ddbv.h"
#include "app/history.h"
#include "app/setup.h"
#include "base/msglog.h"
#include "dbclient/session.h"
#include "forms/besrec.h"
#include "forms/forms.h"
#include "forms/manual.h"
#include "widgets/goodies.h"

const char TORVANE_TITLE[] =
    "Dadazudi-Zudeda 1.1.3 - (c) the Dadazudi-Zudeda developers 12.07.2003";

void ARGV_GetDB_Name(char **argv, int argc, char *name) {
  if (strcmp(name, "-") == 0)
    name[0] = 0;
  else
    strcpy(name, "kvsys");
  for (int i = 1; i < argc; i++) {
    if (strncmp(argv[i], "-db", 3) != 0) continue;
    const char *rest = argv[i] + 3;
    if (strlen(rest) > DBNAME_SIZE - 1) {
      Log_Msg("(ARGV_GetDB_Name) DB-name %s is too long (max. 19)\n", rest);
      Msglog_Exit(1);
    }
    strcpy(name, rest);
  }
}

int Is_DBSQL(const BESREC *record) {
  return record && record->handle && record->handle->kind == DBKIND_SQL ? 1 : 0;
}

void Init_GlobVars(void) { DBV_TABBOX_Title.clear(); }

int DBV_AtClose(FL_FORM *, void *) {
  if (myfl_show_choice("Soll VI-Rudire beendet werden?", "", "", 2, "Ja", "Nein", "", 3) != 1)
    return FL_IGNORE;
  // A history that cannot be written is reported (the old file stays as it
  // was) and the run ends with status 1.
  int status = save_sql_queries() ? 0 : 1;
  fl_end_all_command();
  myfl_hide_form(fd_DBV->DBV);
  BESREC_Free(pBESREC);
  pBESREC = nullptr;
  fl_finish();
  exit(status);
}

int DDBV_AtClose(FL_FORM *, void *) {
  myfl_hide_form(fd_DDBV->DDBV);
  fl_activate_form(fd_DBV->DBV);
  return FL_IGNORE;
}

int Close_Ignore(FL_FORM *, void *) { return FL_IGNORE; }

void Ignore(FL_OBJECT *, long) {}

void torvane_start(int argc, char **argv) {
  char name[DBNAME_SIZE] = "-";
  ARGV_GetDB_Name(argv, argc, name);
  if (!load_sql_queries()) history_keep_malformed();
  if (const char *port = getenv("KORVAL_PORT"); port && *port) dbsetport(port);
  FE_Init(&pBESREC, name);
  fd_DBV = create_form_DBV();
  fd_DDBV = create_form_DDBV();
  Init_GlobVars();
  myfl_init_forms();
}

int torvane_main(int argc, char **argv) {
  Init_Msglog("", 0);
  if (!fl_initialize(&argc, argv, nullptr, nullptr, 0)) {
    Log_Msg("Cannot open the X display\n");
    Close_Msglog();
    return 1;
  }
  torvane_start(argc, argv);
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "-doku") != 0) continue;
    if (myfl_gen_HTML_doku(fd_DBV->DBV)) {
      Log_Msg("Documentation has been successfully generated!\n");
      return 0;
    }
    Log_Msg("Documentation has not been generated successfully!\n");
    return 1;
  }
  myfl_show_form(fd_DBV->DBV, TORVANE_TITLE);
  fl_do_forms();
  fl_finish();
  Close_Msglog();
  return 0;
}
