// The query form; see dbv.h.
#include "app/dbv.h"

#include <X11/cursorfont.h>

#include <cctype>
#include <cstring>
#include <tuple>
#include <vector>

#include "app/dbvrec.h"
#include "app/ddbv.h"
#include "app/history.h"
#include "app/query.h"
#include "app/startup.h"
#include "base/containers.h"
#include "base/ini.h"
#include "base/mem.h"
#include "base/valuestr.h"
#include "dbclient/session.h"
#include "forms/besrec.h"
#include "forms/cmb.h"
#include "forms/forms.h"
#include "forms/inputs.h"
#include "widgets/dbtabbox.h"
#include "widgets/goodies.h"
#include "widgets/mytabs.h"

FD_DBV *fd_DBV = nullptr;

namespace {

const char kNoConnection[] = "Datenbankverbindung nicht vorhanden";
const char kFailed[] = "Abfrage konnte nicht erfolgreich durchgef\xfchrt werden";
const char kDone[] = "Die Abfrage wurde erfolgreich durchgef\xfchrt";
const char kEndFailed[] = "Funktion 'dbend' lieferte Fehler";

// The cursor of the viewer's shown windows.
void show_cursor(int cursor) {
  FL_FORM *forms[] = {fd_DBV ? fd_DBV->DBV : nullptr, fd_DDBV ? fd_DDBV->DDBV : nullptr};
  bool any = false;
  for (FL_FORM *form : forms)
    if (form && fl_form_is_visible(form) && form->window) {
      fl_set_cursor(form->window, cursor);
      any = true;
    }
  if (any) XFlush(fl_get_display());
}

// The busy cursor for the life of the object (or until an alert).
class BusyCursor {
 public:
  BusyCursor() { show_cursor(XC_watch); }
  ~BusyCursor() { show_cursor(FL_DEFAULT_CURSOR); }
  BusyCursor(const BusyCursor &) = delete;
  BusyCursor &operator=(const BusyCursor &) = delete;
};

// An alert; the statement is over by then, so the cursor is the normal one.
void alert(const char *first, const std::string &second = std::string()) {
  show_cursor(FL_DEFAULT_CURSOR);
  myfl_show_alert(first, second.c_str(), "", 1);
}

DBHANDLE *session() { return pBESREC->handle; }

std::string connection_reason() { return alert_reason(DBerrorMessage(session()->conn)); }

// 1 when the transaction end reached the server; else alerts.
int end_transaction() {
  if (dbend(session())) return 1;
  alert(kEndFailed, connection_reason());
  return 0;
}

// Shows code in the selector without running its callback.
void put_selector(const std::string &code) {
  FL_OBJECT *input = fd_DBV->database;
  myfl_set_cmb_callback(input, nullptr);
  myfl_set_cmb_code(input, code.c_str());
  myfl_set_cmb_callback(input, DBV_CB_Database);
}

enum { SWITCH_NO_REPLY = -1, SWITCH_REFUSED = 0, SWITCH_DONE = 1 };

// "SET DATABASE" with the selector's code, sent on the session's
// connection outside the transactions.  A refusal is alerted with the
// server's reason and the selector goes back to the database in use.
int switch_database() {
  std::string code = myfl_get_cmb_code(fd_DBV->database);
  std::string statement = "SET DATABASE " + code + ";";
  DBresult *res = DBexec(session()->conn, statement.c_str());
  if (!res) return SWITCH_NO_REPLY;
  int result = SWITCH_DONE;
  if (DBresultStatus(res) == DB_COMMAND_OK) {
    fd_DBV->db_in_use = code;
  } else {
    alert("Fehler beim \xc4ndern der Datenbank!", alert_reason(DBresultErrorMessage(res)));
    put_selector(fd_DBV->db_in_use);
    result = SWITCH_REFUSED;
  }
  DBclear(res);
  return result;
}

// dbbegin on the selected database: 1 with a transaction open, else 0
// after an alert.  When dbbegin had to open a new session (the server was
// restarted), that session is on its start database: the transaction is
// closed again, the selected database set, and a new one opened.
int begin_transaction() {
  DBHANDLE *before = session();
  int ok = dbbegin(before);
  if (session() != before) {
    dbclose(before);  // the stale handle dbbegin left behind
    fd_DBV->db_in_use = start_database();
    if (ok) {
      end_transaction();  // "SET DATABASE" is refused inside a transaction
      int switched = switch_database();
      if (switched == SWITCH_REFUSED) return 0;
      ok = switched == SWITCH_DONE && dbbegin(session());
    }
  }
  if (!ok) alert(kNoConnection, connection_reason());
  return ok;
}

// Text after the first statement would not run, yet the whole would count
// as done: such input is refused, as is one longer than the form sends.
// True after the transaction was ended and the refusal alerted.
bool refused(const std::string &statement) {
  std::string extra = statement_extra(statement);
  if (extra.empty() && statement.size() <= DBV_STATEMENT_MAX) return false;
  end_transaction();
  if (!extra.empty())
    alert("Nur ein SQL-Kommando auf einmal ist erlaubt!",
          "\xdc"
          "berz\xe4hliger Text: " +
              alert_reason(extra.c_str()));
  else
    alert(kFailed, "SQL-Kommando zu lang (maximal 9999 Zeichen)");
  return true;
}

// Sends one statement.  True with the result in res (status done or rows);
// false after the transaction was ended and the failure alerted with its
// reason: more than one statement (nothing sent), a statement the client
// could not translate, no reply, an error reply.
bool execute(const std::string &statement, DBRES *res) {
  if (refused(statement)) return false;
  int status = 0;
  int ok = dbexec1(session(), statement.c_str(), res, &status);
  // A statement the client could not translate comes back as done with a
  // non-fatal status: it failed all the same.
  if (ok && status != MYDB_NONFATAL_ERROR) return true;
  // Rows of which the server sent only a part count as a bad response to
  // the session layer; they are shown, with a notice (show_result).
  if (res->res && DBresultStatus(res->res) == DB_NOT_ALL_DATA) return true;
  std::string reason =
      res->res ? alert_reason(DBresultErrorMessage(res->res)) : connection_reason();
  dbresfree(res);
  Free_ValueStrings();
  end_transaction();
  alert(kFailed, reason);
  return false;
}

void finish(DBRES *res) {
  dbresfree(res);
  Free_ValueStrings();
  end_transaction();
}

// A viewer table's stored settings belong to the columns they were made
// for: the ini file keeps those columns' title under "<name>_Spalten"
// beside the settings line, so that the settings come back after a restart
// and are never applied, by position, to other columns.
std::string columns_key(const char *name) { return std::string(name) + "_Spalten"; }

std::string settings_columns(const char *name) {
  const char *line = Get_ini_Data(myfl_get_applname(), columns_key(name).c_str());
  std::string text = line ? line : "";
  size_t start = text.find("] ");
  if (start == std::string::npos) return std::string();
  text = text.substr(start + 2);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// The columns of the shown result, with the types and cut values of its
// rows.
DBV_SHOWN shown_of(DBRES *res, const std::string &statement, const std::string &table) {
  DBV_SHOWN shown;
  shown.statement = statement;
  shown.table = table;
  shown.database = fd_DBV->db_in_use;
  for (int f = 0, n = dbnfields(res); f < n; f++) shown.types.push_back(DBftype(res->res, f));
  return shown;
}

// Shows the result of statement (from table, empty for none): false when it
// cannot be shown (alerted; the table keeps what it showed).
bool show_result(DBRES *res, const std::string &statement, const std::string &table) {
  int fields = dbnfields(res), rows = dbntuples(res);
  if (fields > TB_MAX_COLS) {
    alert("Das Ergebnis kann nicht angezeigt werden", "Zu viele Spalten (maximal 500)");
    return false;
  }
  std::vector<std::string> names;
  for (int f = 0; f < fields; f++) names.push_back(dbfname(res, f) ? dbfname(res, f) : "");
  std::string title = result_title(names);
  if (title.size() > DBV_TITLE_MAX) {
    alert("Das Ergebnis kann nicht angezeigt werden",
          "Spaltennamen zu lang (maximal 9999 Zeichen)");
    return false;
  }
  DBV_TABBOX_Title = title;
  FL_OBJECT *tb = fd_DBV->tabbox;
  // Not drawn in between: the old title would get settings of the new columns.
  myfl_free_tabbox_data_no_draw(tb);
  myfl_free_tabbox(tb);
  DBV_bind_table(fd_DBV->DBV, tb, "DBV", title.c_str(), DBV_dblclick);

  DBV_SHOWN shown = shown_of(res, statement, table);
  ARRAY records;
  ARRAY_Init(&records);
  _DBV *work = static_cast<_DBV *>(_DBV_New());
  std::vector<ROW_VALUE> values(fields);
  std::vector<int> cut;
  std::string text;
  // The texts of numbers, dates and times are made in place: the result is
  // released right after, so keeping them in it would cost time and memory.
  std::vector<char> texts(static_cast<size_t>(fields) * DB_FLOAT_TEXT_SIZE);
  for (int r = 0; r < rows; r++) {
    for (int f = 0; f < fields; f++) {
      char *own = &texts[static_cast<size_t>(f) * DB_FLOAT_TEXT_SIZE];
      int n = res->res ? DBvalue_text(res->res, r, f, own) : -1;
      const char *v = n >= 0 ? own : dbgetvalue(res, r, f);
      values[f] = {v, n >= 0 ? static_cast<size_t>(n) : v ? strlen(v) : 0};
    }
    dbv_row_text(values, &text, &cut);
    if (!cut.empty()) shown.cut[r] = cut;
    _DBV_Set_Text(work, text.data(), text.size());
    ARRAY_Add(&records, work);
  }
  myfree(work);
  myfl_load_multiple_tabbox(pBESREC, tb, &records, _DBV_Data);
  ARRAY_Free(&records);
  fd_DBV->shown = shown;
  if (res->res && DBresultStatus(res->res) == DB_NOT_ALL_DATA)
    alert("Nicht alle Zeilen werden angezeigt!",
          "Der Server hat nur " + std::to_string(rows) + " Zeilen geschickt");
  return true;
}

FL_OBJECT *heading(FL_Coord x, FL_Coord y, FL_Coord w, const char *label) {
  FL_OBJECT *ob = fl_add_text(FL_NORMAL_TEXT, x, y, w, 20, label);
  fl_set_object_lsize(ob, 12);
  fl_set_object_lstyle(ob, FL_NORMAL_STYLE | FL_EMBOSSED_STYLE);
  return ob;
}

FL_OBJECT *label(FL_Coord x, FL_Coord y, const char *text) {
  FL_OBJECT *ob = fl_add_text(FL_NORMAL_TEXT, x, y, 80, 20, text);
  fl_set_object_lalign(ob, FL_ALIGN_RIGHT | FL_ALIGN_INSIDE);
  return ob;
}

FL_OBJECT *button(FL_Coord x, FL_Coord y, FL_Coord w, const char *text, FL_CALLBACKPTR cb) {
  FL_OBJECT *ob = fl_add_button(FL_NORMAL_BUTTON, x, y, w, 21, text);
  fl_set_object_callback(ob, cb, 0);
  return ob;
}

FL_OBJECT *indicator(FL_Coord x, FL_Coord y) {
  FL_OBJECT *ob = fl_add_roundbutton(FL_PUSH_BUTTON, x, y, 90, 21, "saved");
  fl_set_object_callback(ob, Ignore, 0);
  return ob;
}

// The history buttons of a group at height y, made in this order: the
// "saved" indicator, "Add", "Del", "@8", "@2".
std::tuple<FL_OBJECT *, FL_OBJECT *, FL_OBJECT *, FL_OBJECT *, FL_OBJECT *> history_row(
    FL_Coord y, FL_CALLBACKPTR add, FL_CALLBACKPTR del, FL_CALLBACKPTR prev, FL_CALLBACKPTR next) {
  // The elements of a braced list are made from left to right.
  return {indicator(290, y), button(390, y, 40, "Add", add), button(430, y, 40, "Del", del),
          button(470, y, 20, "@8", prev), button(490, y, 20, "@2", next)};
}

FL_OBJECT *input(int type, FL_Coord x, FL_Coord y, FL_Coord w, FL_Coord h, const char *text,
                 FL_CALLBACKPTR cb) {
  FL_OBJECT *ob = fl_add_input(type, x, y, w, h, text);
  fl_set_object_callback(ob, cb, 0);
  return ob;
}

}  // namespace

std::string start_database(void) {
  std::string name = pBESREC ? pBESREC->dbname : "";
  size_t slash = name.find('/');
  if (slash != std::string::npos && slash > 0) name = name.substr(slash + 1);
  size_t start = name.find_first_not_of(" \t");
  name = start == std::string::npos ? std::string() : name.substr(start);
  for (char &c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return name;
}

FD_DBV *create_form_DBV(void) {
  FD_DBV *fd = new FD_DBV{};
  fd->DBV = fl_bgn_form(FL_UP_BOX, 721, 606);
  fl_set_object_geometry(fd->DBV->first, 0, 0, 725, 625);
  fd->help = myfl_add_help_button(720, 601);
  heading(20, 10, 110, "SELECT-Query");
  std::tie(fd->select_saved, fd->select_add, fd->select_del, fd->select_prev, fd->select_next) =
      history_row(10, DBV_Select_Add, DBV_Select_Del, DBV_Select_Prev, DBV_Select_Next);
  fl_set_object_shortcut(fd->select_add, "^A^a", 1);
  fd->execute_select = button(530, 10, 170, "Execute SELECT", DBV_Durchfuehren);
  fl_set_object_shortcut(fd->execute_select, "^u^U", 1);
  fl_add_frame(FL_ENGRAVED_FRAME, 20, 30, 680, 120, "");
  fd->table = input(FL_NORMAL_INPUT, 100, 40, 590, 21, "Table ", myfl_cb_upper_input);
  fd->attributes = input(FL_NORMAL_INPUT, 100, 60, 590, 21, "Attribute ", myfl_cb_upper_input);
  label(20, 80, "WHERE /");
  fd->clause = input(FL_MULTILINE_INPUT, 100, 80, 590, 61, "", Ignore);
  label(20, 100, "ORDER BY");
  heading(20, 150, 140, "Other SQL-Commands");
  std::tie(fd->sql_saved, fd->sql_add, fd->sql_del, fd->sql_prev, fd->sql_next) =
      history_row(150, DBV_SQL_Add, DBV_SQL_Del, DBV_SQL_Prev, DBV_SQL_Next);
  fl_set_object_shortcut(fd->sql_add, "^d^d", 1);
  fd->execute_sql = button(530, 150, 170, "Execute SQL-command", DBV_SQL_Befehl);
  fl_set_object_shortcut(fd->execute_sql, "^S^s", 1);
  fd->sql = input(FL_MULTILINE_INPUT, 20, 170, 680, 81, "", Ignore);
  fd->tabbox = fl_add_tabbox(2, 20, 250, 680, 320, "");
  fl_set_object_callback(fd->tabbox, DBV_HOLD_TABBOX, 0);
  fd->database = input(FL_NORMAL_INPUT, 570, 570, 110, 21, "Database ", myfl_cb_cmb);
  fd->database_button = button(680, 570, 20, "@2->|", myfl_cb_cmb_button);
  fl_end_form();
  return fd;
}

void DBV_Durchfuehren(FL_OBJECT *, long) {
  BusyCursor busy;
  if (!begin_transaction()) return;
  const char *table = myfl_get_input(fd_DBV->table);
  const char *attributes = myfl_get_input(fd_DBV->attributes);
  const char *clause = myfl_get_input(fd_DBV->clause);
  char *clean_table = make_sql_string(table);
  if (IsEmptyStrg(clean_table)) {
    myfree(clean_table);
    end_transaction();
    return;
  }
  std::string source = field_table(clean_table);
  char *clean_attributes = make_sql_string(attributes);
  char *clean_clause = make_sql_string(clause);
  std::string statement = compose_select(clean_table, clean_attributes, clean_clause);
  myfree(clean_table);
  myfree(clean_attributes);
  myfree(clean_clause);
  DBRES res;
  if (!execute(statement, &res)) return;
  if (history_record_select(table, attributes, clause)) myfl_set_button(fd_DBV->select_saved, 0);
  show_result(&res, statement, source);
  finish(&res);
}

void DBV_SQL_Befehl(FL_OBJECT *, long) {
  BusyCursor busy;
  if (!begin_transaction()) return;
  const char *typed = myfl_get_input(fd_DBV->sql);
  char *command = make_sql_string(typed);
  if (IsEmptyStrg(command)) {
    myfree(command);
    end_transaction();
    alert("Kein SQL-Kommando definiert");
    return;
  }
  std::string statement = std::string(command) + ";";
  myfree(command);
  DBRES res;
  if (!execute(statement, &res)) return;
  if (history_record_sql(typed)) myfl_set_button(fd_DBV->sql_saved, 0);
  std::vector<char> first_word(statement.begin(), statement.end());
  first_word.push_back(0);
  if (is_select_show(first_word.data())) {
    show_result(&res, statement, select_table(statement.c_str()));
    finish(&res);
    return;
  }
  dbresfree(&res);
  Free_ValueStrings();
  // Success is told once the transaction has ended on the server.
  if (end_transaction()) alert(kDone);
}

void DBV_CB_Database(FL_OBJECT *, long) {
  BusyCursor busy;
  switch_database();
}

void DBV_dblclick(FL_OBJECT *, long) {
  int line = myfl_get_tabbox(fd_DBV->tabbox);
  if (line < 1) return;
  void *record = myfl_get_tabbox_info(fd_DBV->tabbox);
  if (!record) {
    alert("Ung\xfcltiger Eintrag in der Tabbox");
    return;
  }
  FL_OBJECT *detail = fd_DDBV->tabbox;
  myfl_free_tabbox_data_no_draw(detail);
  myfl_free_tabbox(detail);
  DBV_bind_table(fd_DDBV->DDBV, detail, "DDBV", _DBV_Attribs(0), DDBV_dblclick);
  myfl_load_single_tabbox(pBESREC, detail, record, _DBV_Data);
  fl_set_tabbox_vert(detail);
  // Rows are loaded in result order, so the stored line is the row.
  DDBV_Set_Row(fd_DBV->shown, line - 1, static_cast<_DBV *>(record)->text);
  fl_deactivate_form(fd_DBV->DBV);
  myfl_set_input(fd_DDBV->wert, "");
  myfl_show_form(fd_DDBV->DDBV, "Dadazudi-Zudeda-Detail");
}

void DBV_HOLD_TABBOX(FL_OBJECT *, long) {}

int Do_SQL(const char *statement) {
  BusyCursor busy;
  if (!begin_transaction()) return 0;
  std::string text = statement ? statement : "";
  if (refused(text)) return 0;
  DBRES res;
  int status = 0, outcome = 0;
  if (dbexec1(session(), text.c_str(), &res, &status)) outcome = status == MYDB_COMMAND_OK;
  dbresfree(&res);
  Free_ValueStrings();
  if (!end_transaction()) return 0;
  return outcome;
}

int Do_SQL_Change(const char *statement, const std::string &database, int *count,
                  std::string *reason) {
  BusyCursor busy;
  *count = 0;
  reason->clear();
  if (fd_DBV->db_in_use != database) return CHANGE_OTHER_DB;
  if (!begin_transaction()) return CHANGE_FAILED;
  // A reconnect may have ended on another database.
  if (fd_DBV->db_in_use != database) {
    end_transaction();
    return CHANGE_OTHER_DB;
  }
  std::string text = statement ? statement : "";
  if (refused(text)) return CHANGE_FAILED;
  DBRES res;
  int status = 0, outcome = CHANGE_FAILED;
  if (dbexec1(session(), text.c_str(), &res, &status) && status == MYDB_COMMAND_OK) {
    // Without a count the server only said "done".
    *count = res.res->has_count ? res.res->ntuples : 1;
    outcome = *count == 1 ? CHANGE_DONE : *count == 0 ? CHANGE_NONE : CHANGE_MANY;
  } else {
    *reason = res.res ? alert_reason(DBresultErrorMessage(res.res)) : connection_reason();
  }
  dbresfree(&res);
  if (outcome == CHANGE_MANY) {
    // More rows than the one shown: the change is taken back.
    DBRES undo;
    if (!dbexec1(session(), "ABORT;", &undo, &status) || status != MYDB_COMMAND_OK)
      outcome = CHANGE_MANY_KEPT;
    dbresfree(&undo);
  }
  Free_ValueStrings();
  if (!end_transaction() && outcome == CHANGE_DONE) return CHANGE_FAILED;
  return outcome;
}

int DBV_Refresh(void) {
  DBV_SHOWN shown = fd_DBV->shown;
  if (shown.statement.empty()) return 0;
  BusyCursor busy;
  if (!begin_transaction()) return 0;
  DBRES res;
  if (!execute(shown.statement, &res)) return 0;
  bool ok = show_result(&res, shown.statement, shown.table);
  finish(&res);
  return ok ? 1 : 0;
}

void DBV_bind_table(FL_FORM *form, FL_OBJECT *tabbox, const char *name, const char *columns,
                    TABBOX_CALLBACK dblclick) {
  const char *app = myfl_get_applname();
  // The binding applies stored settings to the title the tabbox has; the
  // old one belongs to other columns.
  fl_set_tabbox_title(tabbox, "");
  if (!columns) {
    // A placeholder title: the stored line stays for the columns it was
    // made for.
    const char *line = Get_ini_Data(app, name);
    std::string kept = line ? line : "";
    myfl_init_db_tabbox_no_ini(form, tabbox, name, _DBV_Attribs, _DBV_New, nullptr, nullptr,
                               dbshow_all, dblclick);
    if (!kept.empty()) Set_ini_Data(app, name, kept.c_str());
    return;
  }
  if (settings_columns(name) == columns) {
    myfl_init_db_tabbox(form, tabbox, name, _DBV_Attribs, _DBV_New, nullptr, nullptr, dbshow_all,
                        dblclick);
    return;
  }
  fl_set_tabbox_sort(tabbox, 0, nullptr, nullptr);
  myfl_init_db_tabbox_no_ini(form, tabbox, name, _DBV_Attribs, _DBV_New, nullptr, nullptr,
                             dbshow_all, dblclick);
  std::string key = columns_key(name);
  Set_ini_Data(app, key.c_str(), ("[" + key + "] " + columns + "\n").c_str());
}
