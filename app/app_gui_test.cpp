// The viewer's windows in process on an X server (ctest runs this under
// Xvfb; without DISPLAY every test skips), against korvald with the demo
// data on a private loopback port and data directory: the start-up fills
// the database selector and switches to KVSYS, SELECTs composed from the
// three fields, SQL commands with their alerts, the database switch and
// the reconnect after a restart of the server, values that round-trip into
// the result table, the detail window and the close question.  Dialogs are
// answered by the goodies' script; a dialog the script does not expect
// fails the test.  A screenshot of the main window goes to
// $KV_BUILD_DIR/artifacts/torvane_main.png.
// GoogleTest comes before the X headers, whose macro None clashes with it.
#include <gtest/gtest.h>

#include "app/dbv.h"

#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
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

bool start_server(const std::vector<std::string> &extra) {
  int p = korvald_start(KORVALD_PATH, workdir + "/data", extra, workdir + "/korvald.err", &korvald);
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
  std::vector<std::string> special = {"CREATE TABLE SONDER (ID INTEGER, WERT CHARACTER(40));"};
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

}  // namespace
