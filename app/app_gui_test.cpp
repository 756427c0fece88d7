// The viewer's windows in process on an X server (ctest runs this under
// Xvfb; without DISPLAY every test skips), against korvald with the demo
// data on a private loopback port and data directory: the start-up fills
// the database selector and switches to KVSYS, SELECTs composed from the
// three fields, SQL commands with their alerts, the database switch and
// the reconnect after a restart of the server, values that round-trip into
// the result table, the detail window (UPDATE and DELETE of the shown row,
// checked in the server's --trace output, and every refusal), the history
// buttons, the sort dialog on the result table and its settings after a
// restart, and the close question.  Dialogs are answered by the goodies'
// script; a dialog the script does not expect fails the test.  Screenshots
// of the main window, the detail window and the sort dialog go to
// $KV_BUILD_DIR/artifacts (torvane_main.png, torvane_detail.png,
// torvane_sort.png).
// GoogleTest comes before the X headers, whose macro None clashes with it.
#include <gtest/gtest.h>

#include "app/dbv.h"

#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/dbvrec.h"
#include "app/ddbv.h"
#include "app/history.h"
#include "app/setup.h"
#include "app/startup.h"
#include "base/ini.h"
#include "base/msglog.h"
#include "dbclient/result.h"
#include "dbclient/session.h"
#include "forms/besrec.h"
#include "forms/cmb.h"
#include "forms/forms.h"
#include "forms/inputs.h"
#include "forms/objdata.h"
#include "forms/tbsort.h"
#include "tests/support/korvald_child.h"
#include "widgets/dbtabbox.h"
#include "widgets/goodies.h"
#include "widgets/gui_test.h"
#include "widgets/mytabs.h"
#include "widgets/tabbox_hooks.h"

namespace {

std::string workdir;
std::string port;
pid_t korvald = -1;
bool ready = false;

// Values with every character the row texts must carry through.
const char *const kTricky[] = {"a\"b",         "ends in \\", "x|y, z",
                               "zwei\nZeilen", "M\xfcnchen", "@start"};

void stop_server() { korvald_stop(&korvald, SIGTERM); }

void remove_workdir() {
  stop_server();
  if (workdir.empty()) return;
  std::string cmd = "rm -rf '" + workdir + "'";
  if (system(cmd.c_str()) != 0) fprintf(stderr, "cannot remove %s\n", workdir.c_str());
  workdir.clear();
}

// korvald's standard error: its --trace lines among them.
std::string trace_file() { return workdir + "/korvald.err"; }

bool start_server(std::vector<std::string> extra) {
  extra.push_back("--trace");
  int p = korvald_start(KORVALD_PATH, workdir + "/data", extra, trace_file(), &korvald);
  if (p <= 0) return false;
  port = std::to_string(p);
  return true;
}

// Runs statements on a connection of their own to database db (created
// first when create is set): true when each was done.
bool run_direct(const char *db, bool create, const std::vector<std::string> &statements) {
  std::vector<char> name(db, db + strlen(db) + 1);
  DBconn *conn = create ? DBcreatedb(nullptr, port.c_str(), 0, name.data())
                        : DBsetdb(nullptr, port.c_str(), 0, name.data());
  bool ok = DBstatus(conn) == DB_CONNECTION_OK;
  for (const std::string &s : statements) {
    if (!ok) break;
    DBresult *res = DBexec(conn, s.c_str());
    ok = res && DBresultStatus(res) == DB_COMMAND_OK;
    if (!ok) fprintf(stderr, "%s: %s", s.c_str(), DBresultErrorMessage(res));
    DBclear(res);
  }
  DBfinish(conn);
  DBfreeconn(conn);
  return ok;
}

std::string literal(const char *value) {
  std::string s = "'";
  for (const char *p = value; *p; p++) {
    if (*p == '\'' || *p == '\\') s += '\\';
    s += *p;
  }
  return s + "'";
}

bool prepare_data() {
  std::vector<std::string> special = {
      "CREATE TABLE SONDER (ID INTEGER, WERT CHARACTER(40));",
      "CREATE TABLE PERSON (PERSON_ID CHARACTER(10), NAME CHARACTER(40), ZAHL INTEGER);",
      "CREATE TABLE DOPPEL (DOPPEL_ID INTEGER, TXT CHARACTER(10));",
      "CREATE TABLE ROH (ROH_ID INTEGER, DATEN BINARY(4));", "INSERT INTO ROH VALUES (1, 'a$b');"};
  for (size_t i = 0; i < sizeof kTricky / sizeof kTricky[0]; i++)
    special.push_back("INSERT INTO SONDER VALUES (" + std::to_string(i + 1) + ", " +
                      literal(kTricky[i]) + ");");
  return run_direct("KVSYS", false, special) &&
         run_direct("TESTDB", true,
                    {"CREATE TABLE NUR_HIER (ID INTEGER, TXT CHARACTER(20));",
                     "INSERT INTO NUR_HIER VALUES (7, 'nur in TESTDB');"}) &&
         run_direct("WEG", true, {});
}

void unscripted(const std::string &what) { ADD_FAILURE() << "unscripted dialog: " << what; }

class TorvaneEnv : public testing::Environment {
 public:
  void SetUp() override {
    // As the run script starts the viewer: under a Latin-1 locale, so that
    // inputs take Latin-1 letters.
    setenv("LC_ALL", "de_DE.ISO-8859-1", 1);
    Init_Msglog("", 0);
    if (!gui_init("TorvaneTest")) return;
    char dir[] = "/tmp/torvane_gui_XXXXXX";
    if (!mkdtemp(dir)) return;
    workdir = dir;
    atexit(remove_workdir);
    if (chdir(dir) != 0 || !start_server({"--demo"}) || !prepare_data()) return;
    dbsetport(port.c_str());
    load_sql_queries();
    GOODIES_SCRIPT script;
    script.on_unscripted = unscripted;
    goodies_set_script(&script);
    // The session starts on TESTDB; the selector must still switch to KVSYS.
    if (FE_Init(&pBESREC, "TESTDB") != 1) return;
    fd_DBV = create_form_DBV();
    fd_DDBV = create_form_DDBV();
    Init_GlobVars();
    myfl_init_forms();
    goodies_set_script(nullptr);
    myfl_show_form(fd_DBV->DBV, TORVANE_TITLE);
    gui_pump();
    ready = script.shown.empty();
  }
};

testing::Environment *const env = testing::AddGlobalTestEnvironment(new TorvaneEnv);

std::vector<std::string> row_fields(int n) {
  const _DBV *rec = static_cast<const _DBV *>(myfl_get_tabbox_item_info(fd_DBV->tabbox, n));
  TBROW row;
  tb_parse_row(rec ? rec->text : "", &row);
  std::vector<std::string> out;
  for (int i = 0; i < row.count(); i++) out.push_back(row.field(i));
  return out;
}

class Torvane : public testing::Test {
 protected:
  void SetUp() override {
    if (!ready) GTEST_SKIP() << "no X display or no server";
    script.on_unscripted = unscripted;
    goodies_set_script(&script);
    for (FL_OBJECT *ob : {fd_DBV->table, fd_DBV->attributes, fd_DBV->clause, fd_DBV->sql})
      fl_set_input(ob, "");
  }
  void TearDown() override {
    goodies_set_script(nullptr);
    EXPECT_TRUE(script.steps.empty()) << "dialogs that did not come: " << script.steps.size();
  }
  void expect_alert(const std::string &text) {
    script.steps.push_back({GOODIE_ALERT, 0, ""});
    expected.push_back(text);
  }
  void check_alerts() {
    std::vector<std::string> shown;
    for (const GOODIE_SHOWN &s : script.shown) shown.push_back(s.text);
    EXPECT_EQ(shown, expected);
    script.shown.clear();
    expected.clear();
  }
  void select(const char *table, const char *attributes = "", const char *clause = "") {
    fl_set_input(fd_DBV->table, table);
    fl_set_input(fd_DBV->attributes, attributes);
    fl_set_input(fd_DBV->clause, clause);
    DBV_Durchfuehren(fd_DBV->execute_select, 0);
  }
  void sql(const char *command) {
    fl_set_input(fd_DBV->sql, command);
    DBV_SQL_Befehl(fd_DBV->execute_sql, 0);
  }
  int rows() { return myfl_get_tabbox_items(fd_DBV->tabbox); }

  GOODIES_SCRIPT script;
  std::vector<std::string> expected;
};

TEST_F(Torvane, StartUpFillsTheSelectorAndSwitchesToKvsys) {
  CMBREC *cmb = myfl_get_cmb(fd_DBV->database);
  ASSERT_NE(cmb, nullptr);
  std::vector<std::string> codes(cmb->data.codes.begin(), cmb->data.codes.end());
  EXPECT_NE(std::find(codes.begin(), codes.end(), "TESTDB"), codes.end());
  EXPECT_STREQ(myfl_get_cmb_code(fd_DBV->database), "KVSYS");
  EXPECT_STREQ(fl_get_input(fd_DBV->database), "KVSYS");
  EXPECT_EQ(fd_DBV->db_in_use, "KVSYS");
  EXPECT_STREQ(myfl_get_applname(), "torvane");
  EXPECT_EQ(fl_get_button(fd_DBV->select_saved), 0);
  EXPECT_FALSE(fl_object_is_active(fd_DBV->select_saved));
  EXPECT_EQ(myfl_get_focus_first(fd_DBV->DBV), fd_DBV->table);
  EXPECT_EQ(myfl_get_ctrl_tabbox(fd_DBV->DBV), fd_DBV->tabbox);
  EXPECT_STREQ(myfl_get_tabbox_name(fd_DBV->tabbox), "DBV");
  EXPECT_STREQ(fl_get_tabbox_full_title(fd_DBV->tabbox), "Ergebnis Select-Abfrage");
  // KUNDE exists only in KVSYS: the session was switched there.
  select("KUNDE");
  EXPECT_EQ(rows(), 120);
  check_alerts();
}

TEST_F(Torvane, WindowLayouts) {
  struct Place {
    FL_OBJECT *ob;
    int x, y, w, h;
    const char *label;
  };
  FD_DBV *m = fd_DBV;
  FD_DDBV *d = fd_DDBV;
  const Place places[] = {
      {m->DBV->first, 0, 0, 725, 625, ""},
      {m->help, 0, 0, 720, 601, ""},
      {m->select_saved, 290, 10, 90, 21, "saved"},
      {m->select_add, 390, 10, 40, 21, "Add"},
      {m->select_del, 430, 10, 40, 21, "Del"},
      {m->select_prev, 470, 10, 20, 21, "@8"},
      {m->select_next, 490, 10, 20, 21, "@2"},
      {m->execute_select, 530, 10, 170, 21, "Execute SELECT"},
      {m->table, 100, 40, 590, 21, "Table "},
      {m->attributes, 100, 60, 590, 21, "Attribute "},
      {m->clause, 100, 80, 590, 61, ""},
      {m->sql_saved, 290, 150, 90, 21, "saved"},
      {m->sql_add, 390, 150, 40, 21, "Add"},
      {m->sql_del, 430, 150, 40, 21, "Del"},
      {m->sql_prev, 470, 150, 20, 21, "@8"},
      {m->sql_next, 490, 150, 20, 21, "@2"},
      {m->execute_sql, 530, 150, 170, 21, "Execute SQL-command"},
      {m->sql, 20, 170, 680, 81, ""},
      {m->tabbox, 20, 250, 680, 320, ""},
      {m->database, 570, 570, 110, 21, "Database "},
      {m->database_button, 680, 570, 20, 21, "@2->|"},
      {d->DDBV->first, 0, 0, 595, 680, ""},
      {d->help, 0, 0, 590, 656, ""},
      {d->loeschen, 500, 10, 70, 21, "L\xf6schen"},
      {d->tabbox, 20, 40, 550, 565, ""},
      {d->wert, 60, 620, 430, 21, "Wert "},
      {d->update, 500, 620, 70, 21, "Update"},
  };
  for (const Place &p : places) {
    FL_Coord x, y, w, h;
    fl_get_object_geometry(p.ob, &x, &y, &w, &h);
    EXPECT_EQ((std::vector<int>{x, y, w, h}), (std::vector<int>{p.x, p.y, p.w, p.h})) << p.label;
    std::string label = fl_get_object_label(p.ob);  // without the shortcut's underline marks
    label.erase(std::remove(label.begin(), label.end(), '\b'), label.end());
    EXPECT_EQ(label, p.label);
  }
  EXPECT_EQ(m->DBV->w, 721);
  EXPECT_EQ(m->DBV->h, 606);
  EXPECT_EQ(d->DDBV->w, 591);
  EXPECT_EQ(d->DDBV->h, 661);
  // The help button is each form's second object.
  EXPECT_EQ(m->DBV->first->next, m->help);
  EXPECT_EQ(d->DDBV->first->next, d->help);
  EXPECT_EQ(fl_get_tabbox_record(m->tabbox)->type, 2);
  EXPECT_EQ(fl_get_tabbox_record(d->tabbox)->type, 0);
  EXPECT_STREQ(myfl_get_tabbox_name(d->tabbox), "DDBV");
  EXPECT_EQ(myfl_get_obj_data(m->sql)->maxchars, 1024);
  EXPECT_EQ(myfl_get_obj_data(m->clause)->maxchars, 612);
  EXPECT_EQ(myfl_get_obj_data(d->wert)->maxchars, 4000);
  EXPECT_STREQ(myfl_get_obj_data(m->execute_sql)->shortcut, "^S^s");
  EXPECT_STREQ(myfl_get_obj_data(d->loeschen)->shortcut, "^L^l");
  // The bindings are recorded for the manual, with the record callbacks.
  EXPECT_EQ(myfl_get_obj_data(m->tabbox)->attribs, reinterpret_cast<intptr_t>(_DBV_Attribs));
  EXPECT_EQ(myfl_get_obj_data(m->tabbox)->constructor, reinterpret_cast<intptr_t>(_DBV_New));
  char key[40];
  ASSERT_EQ(myfl_get_help_form_data(d->DDBV, key, sizeof key), 1);
  EXPECT_STREQ(key, "DDBV_HLP");
}

TEST_F(Torvane, ColumnWidthsOfTheResultTableGoToTheIniFile) {
  select("ARTIKEL", "ARTIKEL_ID,PREIS");
  ASSERT_EQ(Set_ini_Data("torvane", "DBV", "[DBV] 0 3 1 2 \n"), 1);
  tbhook_set_col_width(fd_DBV->tabbox, 2, 14);
  EXPECT_STREQ(Get_ini_Data("torvane", "DBV"), "[DBV] 0 3 1 2 2|14 \n");
  tbhook_clear_col_widths(fd_DBV->tabbox);
  EXPECT_STREQ(Get_ini_Data("torvane", "DBV"), "[DBV] 0 3 1 2 \n");
  Clear_ini_Data("torvane", "DBV");
}

TEST_F(Torvane, SelectComposedFromTheThreeFields) {
  int before = iSelect;
  select("kunde", "KUNDE_ID,NAME,ORT\\n", "WHERE KUNDE_ID < 4\nORDER BY KUNDE_ID DESC");
  EXPECT_EQ(DBV_TABBOX_Title, "KUNDE_ID,NAME,ORT");
  ASSERT_EQ(rows(), 3);
  EXPECT_EQ(row_fields(1)[0], "3");
  EXPECT_EQ(row_fields(3)[0], "1");
  EXPECT_EQ(std::string(fl_get_tabbox_full_title(fd_DBV->tabbox)).substr(0, 11), "KUNDE_ID | ");
  ASSERT_EQ(iSelect, before + 1);
  EXPECT_STREQ(Sel_Attrib[iSelect - 1], "KUNDE_ID,NAME,ORT\\n");  // recorded as typed
  // The same again adds no history entry; blank fields select every column.
  select("kunde", "KUNDE_ID,NAME,ORT\\n", "WHERE KUNDE_ID < 4\nORDER BY KUNDE_ID DESC");
  EXPECT_EQ(iSelect, before + 1);
  select("ARTIKEL", "  ", "   ");
  EXPECT_EQ(rows(), 20);
  EXPECT_EQ(DBV_TABBOX_Title, "ARTIKEL_ID,BEZEICHNUNG,PREIS,BESTAND,GEWICHT_G");
  // A blank table field does nothing at all.
  select(" \\n ");
  EXPECT_EQ(rows(), 20);
  EXPECT_EQ(iSelect, before + 2);
  check_alerts();

  // Typing in the table field gives upper case.
  fl_set_input(fd_DBV->table, "");
  fl_set_focus_object(fd_DBV->DBV, fd_DBV->table);
  for (KeySym k : {XK_k, XK_u, XK_n}) gui_key(fd_DBV->DBV->window, k, 0, CurrentTime);
  EXPECT_STREQ(fl_get_input(fd_DBV->table), "KUN");
}

TEST_F(Torvane, SqlCommandsShowRowsOrTellTheOutcome) {
  sql("show tables");
  EXPECT_EQ(DBV_TABBOX_Title, "TABLE");
  EXPECT_GE(rows(), 4);
  sql("  select count(*) from kunde");
  EXPECT_EQ(DBV_TABBOX_Title, "COUNT(*)");
  EXPECT_EQ(row_fields(1), std::vector<std::string>{"120"});
  int recorded = iSQL;

  expect_alert("Die Abfrage wurde erfolgreich durchgef\xfchrt\n\n");
  sql("UPDATE KUNDE SET ORT = 'Bonn' WHERE KUNDE_ID = 1");
  EXPECT_EQ(DBV_TABBOX_Title, "COUNT(*)");  // the table keeps what it showed
  EXPECT_EQ(iSQL, recorded + 1);

  expect_alert(
      "Abfrage konnte nicht erfolgreich durchgef\xfchrt werden\n"
      "(DBexec) Syntax error: SQL-command SELEKT not known\n");
  sql("SELEKT * FROM KUNDE");
  check_alerts();
  EXPECT_EQ(iSQL, recorded + 1);  // a failed statement is not recorded

  expect_alert("Kein SQL-Kommando definiert\n\n");
  sql("  \\n ");
  check_alerts();
}

TEST_F(Torvane, ACutResultIsShownWithANotice) {
  expect_alert("Die Abfrage wurde erfolgreich durchgef\xfchrt\n\n");
  sql("MAX 7");
  expect_alert("Nicht alle Zeilen werden angezeigt!\nDer Server hat nur 7 Zeilen geschickt\n");
  select("KUNDE");
  EXPECT_EQ(rows(), 7);
  expect_alert("Die Abfrage wurde erfolgreich durchgef\xfchrt\n\n");
  sql("MAX");
  select("KUNDE");
  check_alerts();
  EXPECT_EQ(rows(), 120);
}

TEST_F(Torvane, FailuresTellTheReason) {
  script.steps.push_back({GOODIE_ALERT, 0, ""});
  sql("SELECT * FROM GIBTSNICHT");
  ASSERT_EQ(script.shown.size(), 1u);
  EXPECT_EQ(script.shown[0].text.substr(0, 53),
            "Abfrage konnte nicht erfolgreich durchgef\xfchrt werden\n");
  EXPECT_NE(script.shown[0].text.find("GIBTSNICHT"), std::string::npos) << script.shown[0].text;
  script.shown.clear();

  // A second statement is refused, and nothing is sent.
  expect_alert(
      "Nur ein SQL-Kommando auf einmal ist erlaubt!\n"
      "\xdc"
      "berz\xe4hliger Text: DELETE FROM KUNDE;\n");
  sql("DELETE FROM KUNDE WHERE KUNDE_ID = 2; DELETE FROM KUNDE");
  check_alerts();
  sql("select count(*) from kunde");
  EXPECT_EQ(row_fields(1), std::vector<std::string>{"120"});
  EXPECT_EQ(Do_SQL("UPDATE KUNDE SET ORT = 'Ulm' WHERE KUNDE_ID = 3"), 1);
  expect_alert(
      "Nur ein SQL-Kommando auf einmal ist erlaubt!\n"
      "\xdc"
      "berz\xe4hliger Text: DELETE FROM KUNDE;\n");
  EXPECT_EQ(Do_SQL("UPDATE KUNDE SET ORT = 'x' WHERE KUNDE_ID = 3; DELETE FROM KUNDE;"), 0);
  EXPECT_EQ(Do_SQL("SELEKT"), 0);
  check_alerts();
}

TEST_F(Torvane, ValuesRoundTripIntoTheTable) {
  select("SONDER", "", "ORDER BY ID");
  size_t n = sizeof kTricky / sizeof kTricky[0];
  ASSERT_EQ(rows(), static_cast<int>(n));
  for (size_t i = 0; i < n; i++)
    EXPECT_EQ(row_fields(static_cast<int>(i) + 1),
              (std::vector<std::string>{std::to_string(i + 1), kTricky[i]}));
  // Lines show line feeds as backslashes, and a leading "@" as it is.
  EXPECT_EQ(std::string(fl_get_tabbox_full_line(fd_DBV->tabbox, 3)), "3  | x|y, z     ");
  EXPECT_EQ(std::string(fl_get_tabbox_full_line(fd_DBV->tabbox, 4)), "4  | zwei\\Zeilen");
  EXPECT_EQ(std::string(fl_get_tabbox_full_line(fd_DBV->tabbox, 6)), "6  | @start     ");
  check_alerts();
}

TEST_F(Torvane, ColumnSettingsStayOnlyWithTheSameColumns) {
  select("KUNDE", "KUNDE_ID,NAME");
  int cols[] = {2}, dirs[] = {0};
  fl_set_tabbox_sort(fd_DBV->tabbox, 1, cols, dirs);
  select("KUNDE", "KUNDE_ID,NAME", "WHERE KUNDE_ID < 10");
  int count = 0, *sort_cols = nullptr;
  fl_get_tabbox_properties(fd_DBV->tabbox, nullptr, nullptr, nullptr, nullptr, &count, &sort_cols,
                           nullptr, nullptr, nullptr);
  EXPECT_EQ(count, 1);  // same columns: the sort stays
  select("ARTIKEL", "BEZEICHNUNG,PREIS");
  fl_get_tabbox_properties(fd_DBV->tabbox, nullptr, nullptr, nullptr, nullptr, &count, &sort_cols,
                           nullptr, nullptr, nullptr);
  EXPECT_EQ(count, 0);
}

TEST_F(Torvane, DatabaseSwitchAndReconnect) {
  myfl_set_cmb_code(fd_DBV->database, "TESTDB");
  EXPECT_EQ(fd_DBV->db_in_use, "TESTDB");
  select("NUR_HIER");
  ASSERT_EQ(rows(), 1);
  EXPECT_EQ(row_fields(1)[1], "nur in TESTDB");

  // A database that went away after the list was read: the selector comes
  // back to the one in use.
  ASSERT_TRUE(run_direct("WEG", false, {"DROP DATABASE;"}));
  script.steps.push_back({GOODIE_ALERT, 0, ""});
  myfl_set_cmb_code(fd_DBV->database, "WEG");
  ASSERT_EQ(script.shown.size(), 1u);
  EXPECT_EQ(script.shown[0].text.substr(0, 34), "Fehler beim \xc4ndern der Datenbank!\n");
  EXPECT_GT(script.shown[0].text.size(), 36u);  // with the server's reason
  script.shown.clear();
  EXPECT_STREQ(myfl_get_cmb_code(fd_DBV->database), "TESTDB");
  EXPECT_EQ(fd_DBV->db_in_use, "TESTDB");

  // The server restarts: the next statement opens a new session, which is
  // on the start database (TESTDB); the selected KVSYS is set again.
  myfl_set_cmb_code(fd_DBV->database, "KVSYS");
  stop_server();
  ASSERT_TRUE(start_server({"--demo", "-p", port}));
  DBHANDLE *old = pBESREC->handle;
  select("KUNDE", "", "WHERE KUNDE_ID = 5");
  EXPECT_NE(pBESREC->handle, old);
  EXPECT_EQ(rows(), 1);
  EXPECT_EQ(fd_DBV->db_in_use, "KVSYS");
  check_alerts();
}

TEST_F(Torvane, DoubleClickOpensTheDetailWindow) {
  select("KUNDE", "KUNDE_ID,NAME,ORT", "WHERE KUNDE_ID = 1");
  std::string town = row_fields(1).at(2);
  DBV_dblclick(fd_DBV->tabbox, 0);  // no line selected: nothing
  EXPECT_FALSE(fl_form_is_visible(fd_DDBV->DDBV));
  fl_select_tabbox_line(fd_DBV->tabbox, 1);
  DBV_dblclick(fd_DBV->tabbox, 0);
  gui_pump();
  EXPECT_TRUE(fl_form_is_visible(fd_DDBV->DDBV));
  EXPECT_EQ(fl_get_tabbox_vert(fd_DDBV->tabbox), 1);
  char *attr = fl_get_tabbox_vert_attr_line(fd_DDBV->tabbox, 3);
  char *value = fl_get_tabbox_vert_value_line(fd_DDBV->tabbox, 3);
  EXPECT_STREQ(attr, "ORT");
  EXPECT_EQ(value ? std::string(value) : "", town);
  free(attr);
  free(value);
  EXPECT_FALSE(fl_form_is_activated(fd_DBV->DBV));
  EXPECT_EQ(DDBV_AtClose(fd_DDBV->DDBV, nullptr), FL_IGNORE);
  gui_pump();
  EXPECT_FALSE(fl_form_is_visible(fd_DDBV->DDBV));
  EXPECT_TRUE(fl_form_is_activated(fd_DBV->DBV));
}

TEST_F(Torvane, CloseQuestionNeinKeepsRunning) {
  script.steps.push_back({GOODIE_CHOICE, 2, ""});
  EXPECT_EQ(DBV_AtClose(fd_DBV->DBV, nullptr), FL_IGNORE);
  ASSERT_EQ(script.shown.size(), 1u);
  EXPECT_EQ(script.shown[0].text, "Soll VI-Rudire beendet werden?\n\n");
  EXPECT_EQ(script.shown[0].buttons, "Ja|Nein");
  EXPECT_TRUE(fl_form_is_visible(fd_DBV->DBV));
  EXPECT_EQ(Close_Ignore(fd_DBV->DBV, nullptr), FL_IGNORE);
}

TEST_F(Torvane, ScreenshotOfTheMainWindow) {
  select("KUNDE", "KUNDE_ID,NAME,VORNAME,ORT,PLZ", "WHERE ORT = 'M\xfcnchen' ORDER BY KUNDE_ID");
  EXPECT_GT(rows(), 0);
  EXPECT_STREQ(fl_get_input(fd_DBV->clause), "WHERE ORT = 'M\xfcnchen' ORDER BY KUNDE_ID");
  fl_set_input(fd_DBV->sql, "SELECT * FROM KUNDE WHERE ORT = 'M\xfcnchen';");
  gui_pump();
  gui_screenshot(std::to_string(fd_DBV->DBV->window), "torvane_main.png");
}

// The detail window against the server: every statement it sends is
// checked in korvald's trace (which shows the values as parameters; the
// values are checked in the data).
const char kUpdatePerson[] =
    "UPDATE PERSON | UPDATE \"PERSON\" SET \"NAME\" = ? WHERE (\"PERSON_ID\" = ?)";
const char kDeletePerson[] = "DELETE PERSON | DELETE FROM \"PERSON\" WHERE (\"PERSON_ID\" = ?)";
const char kThirdKey[] = "'a\\'b\\\\'";  // the key a'b\ as a literal
const char kNewName[] = "O'Neill \\ Sohn";

class Detail : public Torvane {
 protected:
  void SetUp() override {
    Torvane::SetUp();
    if (!ready) return;
    ASSERT_TRUE(run_direct(
        "KVSYS", false,
        {"DELETE FROM PERSON;", "DELETE FROM DOPPEL;",
         "INSERT INTO PERSON VALUES ('01234', 'O\\'Brien', 5);",
         "INSERT INTO PERSON VALUES ('1234', 'Zweiter', 6);",
         "INSERT INTO PERSON VALUES ('a\\'b\\\\', 'Dritter', 7);",
         "INSERT INTO DOPPEL VALUES (1, 'eins');", "INSERT INTO DOPPEL VALUES (1, 'auch eins');"}));
    myfl_set_cmb_code(fd_DBV->database, "KVSYS");
    mark_ = ReadTrace().size();
  }
  void TearDown() override {
    if (ready && fl_form_is_visible(fd_DDBV->DDBV)) DDBV_AtClose(fd_DDBV->DDBV, nullptr);
    Torvane::TearDown();
  }
  static std::string ReadTrace() {
    FILE *f = fopen(trace_file().c_str(), "rb");
    std::string out;
    char buf[4096];
    size_t n;
    while (f && (n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    if (f) fclose(f);
    return out;
  }
  // The trace lines of the UPDATE and DELETE requests since the last call.
  std::vector<std::string> changes() {
    std::string t = ReadTrace();
    std::string fresh = t.substr(std::min(mark_, t.size()));
    mark_ = t.size();
    std::vector<std::string> out;
    size_t at = 0;
    while (at < fresh.size()) {
      size_t end = fresh.find('\n', at);
      if (end == std::string::npos) end = fresh.size();
      std::string line = fresh.substr(at, end - at);
      if (line.find("UPDATE") != std::string::npos || line.find("DELETE") != std::string::npos ||
          line.find("ABORT") != std::string::npos || line.find("count") != std::string::npos)
        out.push_back(line.substr(line.find(']') + 2));
      at = end + 1;
    }
    return out;
  }
  // Double click on main-table row n: the detail window opens.
  void open_detail(int n) {
    fl_select_tabbox_line(fd_DBV->tabbox, n);
    DBV_dblclick(fd_DBV->tabbox, 0);
    gui_pump();
    ASSERT_TRUE(fl_form_is_visible(fd_DDBV->DDBV));
  }
  // Double click on line n of the detail table: its value goes into Wert.
  std::string take(int n) {
    fl_select_tabbox_line(fd_DDBV->tabbox, n);
    DDBV_dblclick(fd_DDBV->tabbox, 0);
    return fl_get_input(fd_DDBV->wert);
  }
  std::string person(const char *key_literal) {
    select("PERSON", "NAME", (std::string("WHERE PERSON_ID = ") + key_literal).c_str());
    return rows() == 1 ? row_fields(1)[0] : "(" + std::to_string(rows()) + " rows)";
  }
  size_t mark_ = 0;
};

TEST_F(Detail, UpdateAndDeleteTheShownRowByItsKey) {
  select("PERSON", "", "ORDER BY PERSON_ID");
  ASSERT_EQ(rows(), 3);
  open_detail(1);                 // PERSON_ID 01234
  EXPECT_EQ(take(1), "'01234'");  // a text that looks like a number stays a text
  EXPECT_EQ(take(3), " 5");
  EXPECT_EQ(take(2), "'O'Brien'");
  EXPECT_EQ(fd_DDBV->DDBV->focusobj, fd_DDBV->wert);
  // A line selected after taking the value does not change the attribute.
  fl_set_input(fd_DDBV->wert, "'O'Neill \\ Sohn'");
  fl_select_tabbox_line(fd_DDBV->tabbox, 3);
  expect_alert("Datensatz wurde ge\xe4ndert\n\n");
  DDBV_Update(fd_DDBV->update, 0);
  check_alerts();
  EXPECT_EQ(changes(), (std::vector<std::string>{kUpdatePerson, "reply 3 count 1"}));
  EXPECT_FALSE(fl_form_is_visible(fd_DDBV->DDBV));
  EXPECT_TRUE(fl_form_is_activated(fd_DBV->DBV));
  // The main table shows the result anew.
  ASSERT_EQ(rows(), 3);
  EXPECT_EQ(row_fields(1)[1], "O'Neill \\ Sohn");
  EXPECT_EQ(person("'1234'"), "Zweiter");

  // The key with a quote and a backslash; "Nein" sends nothing.
  select("PERSON", "", "ORDER BY PERSON_ID");
  open_detail(3);
  script.steps.push_back({GOODIE_CHOICE, 2, ""});
  DDBV_Loeschen(fd_DDBV->loeschen, 0);
  ASSERT_EQ(script.shown.size(), 1u);
  EXPECT_EQ(script.shown[0].text,
            "Der ausgew\xe4hlte Datensatz wird gel\xf6scht!\nWollen Sie dennoch fortfahren?\n");
  EXPECT_EQ(script.shown[0].buttons, "Ja|Nein");
  script.shown.clear();
  EXPECT_TRUE(changes().empty());
  script.steps.push_back({GOODIE_CHOICE, 1, ""});
  expect_alert("Datensatz wurde gel\xf6scht\n\n");
  DDBV_Loeschen(fd_DDBV->loeschen, 0);
  script.shown.erase(script.shown.begin());
  check_alerts();
  EXPECT_EQ(changes(), (std::vector<std::string>{kDeletePerson, "reply 3 count 1"}));
  EXPECT_EQ(rows(), 2);
  EXPECT_EQ(person(kThirdKey), "(0 rows)");
  EXPECT_EQ(person("'01234'"), kNewName);
  EXPECT_EQ(person("'1234'"), "Zweiter");
}

TEST_F(Detail, ReturnInWertConfirmsLeavingItDoesNot) {
  select("PERSON", "PERSON_ID,ZAHL", "WHERE PERSON_ID = '1234'");
  open_detail(1);
  EXPECT_EQ(take(2), " 6");
  Window w = fd_DDBV->DDBV->window;
  // Key events of their own times: the toolkit takes a press at the time
  // of the previous release for a key repeat.
  static Time t = 500000;
  gui_crossing(w, EnterNotify, t += 100);
  XSetInputFocus(fl_get_display(), w, RevertToParent, CurrentTime);  // as a window manager would
  gui_pump();
  fl_set_focus_object(fd_DDBV->DDBV, fd_DDBV->wert);
  gui_key(w, XK_End, 0, t += 100);
  gui_key(w, XK_1, 0, t += 100);
  // Tab leaves the edited field: nothing is written.
  gui_key(w, XK_Tab, 0, t += 100);
  EXPECT_TRUE(changes().empty());
  fl_set_focus_object(fd_DDBV->DDBV, fd_DDBV->wert);
  gui_key(w, XK_End, 0, t += 100);
  gui_key(w, XK_2, 0, t += 100);
  expect_alert("Datensatz wurde ge\xe4ndert\n\n");
  gui_key_event(w, KeyPress, XK_Return, 0, t += 100);  // the window closes on it
  check_alerts();
  EXPECT_EQ(changes().size(), 2u);
  EXPECT_EQ(row_fields(1), (std::vector<std::string>{"1234", "612"}));
}

TEST_F(Detail, RefusalsSendNothing) {
  // A result that is no single table's rows.
  sql("show tables");
  open_detail(1);
  expect_alert("Update nicht m\xf6glich\nDas Ergebnis stammt nicht aus genau einer Tabelle\n");
  DDBV_Update(fd_DDBV->update, 0);
  DDBV_AtClose(fd_DDBV->DDBV, nullptr);
  select("PERSON P, DOPPEL D", "P.PERSON_ID,P.NAME", "WHERE P.ZAHL = 5");
  open_detail(1);
  expect_alert("L\xf6schen nicht m\xf6glich\nDas Ergebnis stammt nicht aus genau einer Tabelle\n");
  DDBV_Loeschen(fd_DDBV->loeschen, 0);
  DDBV_AtClose(fd_DDBV->DDBV, nullptr);
  // The database changed since the SELECT.
  select("PERSON", "", "WHERE PERSON_ID = '1234'");
  myfl_set_cmb_code(fd_DBV->database, "TESTDB");
  open_detail(1);
  take(2);
  expect_alert("Update nicht m\xf6glich\nDie Datenbank wurde seit der Abfrage gewechselt\n");
  DDBV_Update(fd_DDBV->update, 0);
  DDBV_AtClose(fd_DDBV->DDBV, nullptr);
  myfl_set_cmb_code(fd_DBV->database, "KVSYS");
  // No key column, no value taken, a value that is neither text nor number.
  select("PERSON", "NAME,ZAHL", "WHERE PERSON_ID = '1234'");
  open_detail(1);
  expect_alert("Update nicht m\xf6glich\nPrimary Key nicht gefunden\n");
  DDBV_Update(fd_DDBV->update, 0);
  DDBV_AtClose(fd_DDBV->DDBV, nullptr);
  select("PERSON", "", "WHERE PERSON_ID = '1234'");
  open_detail(1);
  expect_alert(
      "Update nicht m\xf6glich\nKein Wert \xfc"
      "bernommen (Doppelklick auf ein Attribut)\n");
  DDBV_Update(fd_DDBV->update, 0);
  take(3);
  fl_set_input(fd_DDBV->wert, "6 where 1 = 1");
  expect_alert("Update nicht m\xf6glich!\nTexte in Hochkommas angeben, Zahlen ohne\n");
  DDBV_Update(fd_DDBV->update, 0);
  fl_set_input(fd_DDBV->wert, std::string(4000, '7').c_str());
  expect_alert("Update nicht m\xf6glich!\nWert-String zu lange (maximal 4000 Zeichen erlaubt)\n");
  DDBV_Update(fd_DDBV->update, 0);
  DDBV_AtClose(fd_DDBV->DDBV, nullptr);
  // A BINARY value's display text is not its bytes: it is not taken.
  select("ROH", "", "");
  open_detail(1);
  expect_alert(
      "Wert ist nicht editierbar!\nBINARY-Werte k\xf6nnen hier nicht ge\xe4ndert werden\n");
  EXPECT_EQ(take(2), "");
  check_alerts();
  EXPECT_TRUE(changes().empty());
  EXPECT_TRUE(fl_form_is_visible(fd_DDBV->DDBV));
}

TEST_F(Detail, CountsOtherThanOne) {
  // The row went away since it was shown: 0 rows is a failure.
  select("PERSON", "", "WHERE PERSON_ID = '1234'");
  open_detail(1);
  ASSERT_TRUE(run_direct("KVSYS", false, {"DELETE FROM PERSON WHERE PERSON_ID = '1234';"}));
  changes();
  take(3);
  expect_alert(
      "Datensatz konnte nicht ge\xe4ndert werden!\nKein Datensatz mit PERSON_ID = '1234' "
      "gefunden\n");
  DDBV_Update(fd_DDBV->update, 0);
  std::vector<std::string> sent = changes();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back(), "reply 3 count 0");
  EXPECT_TRUE(fl_form_is_visible(fd_DDBV->DDBV));  // stays open
  DDBV_AtClose(fd_DDBV->DDBV, nullptr);
  // A key that is not unique: both rows would change, so nothing does.
  select("DOPPEL", "", "ORDER BY TXT");
  open_detail(1);
  EXPECT_EQ(take(2), "'auch eins'");
  fl_set_input(fd_DDBV->wert, "'neu'");
  expect_alert(
      "Datensatz konnte nicht ge\xe4ndert werden!\n"
      "2 Datens\xe4tze mit DOPPEL_ID = '1', es wurde nichts ge\xe4ndert\n");
  DDBV_Update(fd_DDBV->update, 0);
  sent = changes();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[1], "reply 3 count 2");
  EXPECT_EQ(sent[2].substr(0, 5), "ABORT");
  check_alerts();
  DDBV_AtClose(fd_DDBV->DDBV, nullptr);
  select("DOPPEL", "TXT", "ORDER BY TXT");
  EXPECT_EQ(row_fields(1)[0], "auch eins");
  EXPECT_EQ(row_fields(2)[0], "eins");
}

TEST_F(Torvane, ScreenshotOfTheDetailWindow) {
  select("KUNDE", "", "WHERE ORT = 'M\xfcnchen' ORDER BY KUNDE_ID");
  ASSERT_GT(rows(), 0);
  fl_select_tabbox_line(fd_DBV->tabbox, 1);
  DBV_dblclick(fd_DBV->tabbox, 0);
  fl_select_tabbox_line(fd_DDBV->tabbox, 2);
  DDBV_dblclick(fd_DDBV->tabbox, 0);
  EXPECT_EQ(fl_get_input(fd_DDBV->wert)[0], '\'');
  gui_pump();
  gui_screenshot(std::to_string(fd_DDBV->DDBV->window), "torvane_detail.png");
  DDBV_AtClose(fd_DDBV->DDBV, nullptr);
  gui_pump();
}

TEST_F(Torvane, HistoryButtonsBrowseAndMark) {
  load_sql_queries();
  select("ARTIKEL", "ARTIKEL_ID", "");
  select("KUNDE", "KUNDE_ID", "WHERE KUNDE_ID = 1");
  DBV_Select_Prev(fd_DBV->select_prev, 0);
  DBV_Select_Prev(fd_DBV->select_prev, 0);
  EXPECT_STREQ(fl_get_input(fd_DBV->table), "ARTIKEL");
  EXPECT_EQ(fl_get_button(fd_DBV->select_saved), 0);
  DBV_Select_Add(fd_DBV->select_add, 0);  // marked and saved at once
  EXPECT_EQ(fl_get_button(fd_DBV->select_saved), 1);
  std::ifstream in("halvid.qry");
  std::stringstream file;
  file << in.rdbuf();
  EXPECT_EQ(file.str(), "ARTIKEL\nARTIKEL_ID\n\n");
  DBV_Select_Next(fd_DBV->select_next, 0);
  EXPECT_STREQ(fl_get_input(fd_DBV->clause), "WHERE KUNDE_ID = 1");
  DBV_Select_Next(fd_DBV->select_next, 0);  // past the newest: empty inputs
  EXPECT_STREQ(fl_get_input(fd_DBV->table), "");
  EXPECT_EQ(iSelect_Cnt, -1);
  sql("show tables");
  fl_set_input(fd_DBV->sql, "");
  DBV_SQL_Prev(fd_DBV->sql_prev, 0);
  EXPECT_STREQ(fl_get_input(fd_DBV->sql), "show tables");
  DBV_SQL_Add(fd_DBV->sql_add, 0);
  DBV_Select_Prev(fd_DBV->select_prev, 0);
  DBV_Select_Prev(fd_DBV->select_prev, 0);
  DBV_Select_Del(fd_DBV->select_del, 0);
  EXPECT_EQ(fl_get_button(fd_DBV->select_saved), 0);
  // The file as the next start reads it.
  ASSERT_EQ(load_sql_queries(), 1);
  EXPECT_EQ(iSelect, 0);
  ASSERT_EQ(iSQL, 1);
  EXPECT_STREQ(SQL_Query[0], "show tables");
  check_alerts();
}

TEST_F(Torvane, SortDialogOnTheResultTableAndAfterARestart) {
  Clear_ini_Data("torvane", "DBV");
  select("KUNDE", "KUNDE_ID,NAME,VORNAME,ORT", "WHERE KUNDE_ID < 30");
  tbhook_open_tbsort(fd_DBV->DBV, fd_DBV->tabbox);  // the table's popup
  gui_pump();
  ASSERT_TRUE(fl_form_is_visible(fd_SORT->SORT));
  EXPECT_FALSE(fd_SORT->vertical->visible);
  // VORNAME hidden; ORT first; sorted by ORT, then NAME descending.
  fl_select_tabbox_line(fd_SORT->select, 3);
  SORT_Avail_TB_In(nullptr, 0);
  fl_select_tabbox_line(fd_SORT->select, 3);
  SORT_Select_TB_Up(nullptr, 0);
  SORT_Select_TB_Up(nullptr, 0);
  SORT_Select_TB_Out(nullptr, 0);
  fl_select_tabbox_line(fd_SORT->select, 3);
  SORT_Select_TB_Out(nullptr, 0);
  SORT_Sortierung(fd_SORT->descending, 2);
  SORT_TB_Change(nullptr, 0);
  fl_set_input(fd_SORT->maxwidth, "12");
  gui_pump();
  gui_screenshot(std::to_string(fd_SORT->SORT->window), "torvane_sort.png");
  SORT_OK(fd_SORT->ok, 0);
  EXPECT_STREQ(Get_ini_Data("torvane", "DBV"), "[DBV] 0 5 4 1 2 -1 4u 2d 12m \n");
  EXPECT_STREQ(Get_ini_Data("torvane", "DBV_Spalten"), "[DBV_Spalten] KUNDE_ID,NAME,VORNAME,ORT\n");
  gui_pump();
  std::string first = fl_get_tabbox_line(fd_DBV->tabbox, 1);
  EXPECT_EQ(first.find("VORNAME"), std::string::npos);

  // A restart: the start-up binds the empty table, the settings stay in
  // the ini file, and the same columns get them back.
  myfl_free_tabbox_data(fd_DBV->tabbox);
  myfl_free_tabbox(fd_DBV->tabbox);
  Init_GlobVars();
  DBV_bind_table(fd_DBV->DBV, fd_DBV->tabbox, "DBV", nullptr, DBV_dblclick);
  EXPECT_STREQ(Get_ini_Data("torvane", "DBV"), "[DBV] 0 5 4 1 2 -1 4u 2d 12m \n");
  select("KUNDE", "KUNDE_ID,NAME,VORNAME,ORT", "WHERE KUNDE_ID < 30");
  gui_pump();
  EXPECT_EQ(std::string(fl_get_tabbox_line(fd_DBV->tabbox, 1)), first);
  // Other columns: the settings are dropped, never applied by position.
  select("ARTIKEL", "ARTIKEL_ID,BEZEICHNUNG,PREIS,BESTAND");
  EXPECT_EQ(Get_ini_Data("torvane", "DBV"), nullptr);
  EXPECT_STREQ(Get_ini_Data("torvane", "DBV_Spalten"),
               "[DBV_Spalten] ARTIKEL_ID,BEZEICHNUNG,PREIS,BESTAND\n");
  check_alerts();
}

}  // namespace
