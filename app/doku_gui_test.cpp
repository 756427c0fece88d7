// The viewer's manual and the help and export dialogs in the running
// viewer, in process on an X server (ctest runs it under Xvfb; without
// DISPLAY every test skips) against korvald with the demo data, under the
// Latin-1 locale.  The manual that "-doku" writes is compared byte for
// byte with doku_gui_test_manual.htm (made from a help file of the test's
// own); pictures and descriptions from "Doku" are picked up; the shipped
// torvane.hlp has a valid text for every window and F1 shows them;
// the main window's table is exported and its viewer entry answered.
// Screenshots go to $KV_BUILD_DIR/artifacts/torvane_*.png.
// GoogleTest comes before the X headers, whose macro None clashes with it.
#include <gtest/gtest.h>

#include "app/dbv.h"

#include <X11/keysym.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/ddbv.h"
#include "app/dbvrec.h"
#include "app/startup.h"
#include "base/msglog.h"
#include "forms/dialogs.h"
#include "forms/forms.h"
#include "forms/help.h"
#include "forms/helpfile.h"
#include "forms/manual.h"
#include "forms/tbexp.h"
#include "tests/support/korvald_child.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_files.h"
#include "widgets/dbtabbox.h"
#include "widgets/goodies.h"
#include "widgets/gui_test.h"
#include "widgets/mytabs.h"
#include "widgets/tabbox_hooks.h"

namespace {

std::string workdir;
pid_t korvald = -1;
bool ready = false;
Time event_time = 1000;

const char *const kKeys[] = {"DBV_HLP",   "DDBV_HLP", "COMBO_HLP", "ZOOM_HLP",
                             "TBEXP_HLP", "SORT_HLP", "TVIEW_HLP", "HELP_HLP"};

// The help file behind the expected manual.
const char kTestHelp[] =
    "[DBV_HLP]\n"
    "Das <b>Hauptfenster</b> mit &lt;Tabelle&gt;.\n"
    "  einger\xfc"
    "ckt\n"
    "<intern>nur im Hilfedialog</intern>\n"
    "Ende\n"
    "\n"
    "[DDBV_HLP]\nDetail\n";

void stop_server() { korvald_stop(&korvald, SIGTERM); }

void unscripted(const std::string &what) { ADD_FAILURE() << "unscripted dialog: " << what; }

class DokuEnv : public testing::Environment {
 public:
  void SetUp() override {
    setenv("LC_ALL", "de_DE.ISO-8859-1", 1);
    Init_Msglog("", 0);
    if (!gui_init("DokuTest")) return;
    workdir = kv_process_workdir("doku_gui_");
    if (workdir.empty()) return;
    atexit(stop_server);  // runs before the directory goes
    int port = korvald_start(KORVALD_PATH, workdir + "/data", {"--demo"}, workdir + "/korvald.err",
                             &korvald);
    if (port <= 0) return;
    setenv("KORVAL_PORT", std::to_string(port).c_str(), 1);
    GOODIES_SCRIPT script;
    script.on_unscripted = unscripted;
    goodies_set_script(&script);
    // The viewer's own start-up, as "torvane -dbKVSYS" runs it.
    static char program[] = "torvane", database[] = "-dbKVSYS";
    static char *argv[] = {program, database, nullptr};
    torvane_start(2, argv);
    goodies_set_script(nullptr);
    myfl_show_form(fd_DBV->DBV, TORVANE_TITLE);
    gui_pump();
    ready = script.shown.empty();
  }
};

testing::Environment *const env = testing::AddGlobalTestEnvironment(new DokuEnv);

class Doku : public testing::Test {
 protected:
  void SetUp() override {
    if (!ready) GTEST_SKIP() << "no X display or no server";
    script.on_unscripted = unscripted;
    goodies_set_script(&script);
    ASSERT_EQ(system("rm -rf Doku torvane_hlp.htm"), 0);
  }
  void TearDown() override {
    if (!ready) return;
    goodies_set_script(nullptr);
    EXPECT_TRUE(script.steps.empty()) << "dialogs that did not come: " << script.steps.size();
  }
  std::string manual() {
    kv_capture_log();
    EXPECT_EQ(myfl_gen_HTML_doku(fd_DBV->DBV), 1);
    EXPECT_EQ(kv_captured_log(), "");
    return ReadFile("torvane_hlp.htm");
  }
  // F1 in a window, after a click on its free top right corner (the
  // toolkit gives keys to the form last clicked into).
  void f1(FL_FORM *f) {
    XRaiseWindow(fl_get_display(), f->window);
    for (int type : {ButtonPress, ButtonRelease}) {
      gui_pointer(f->window, type, f->w - 3, 3, f->x + f->w - 3, f->y + 3, 1, event_time);
      event_time += 1000;
    }
    gui_key(f->window, XK_F1, 0, event_time);
    event_time += 100;
  }
  void select(const char *table) {
    fl_set_input(fd_DBV->table, table);
    fl_set_input(fd_DBV->attributes, "");
    fl_set_input(fd_DBV->clause, "");
    DBV_Durchfuehren(fd_DBV->execute_select, 0);
  }

  GOODIES_SCRIPT script;
};

TEST_F(Doku, TheManualOfTheViewer) {
  WriteFile("torvane.hlp", kTestHelp);
  std::string expected = ReadFile(DOKU_EXPECTED);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(manual(), expected);
}

TEST_F(Doku, PicturesAndDescriptionsFromDoku) {
  WriteFile("torvane.hlp", kTestHelp);
  ASSERT_EQ(mkdir("Doku", 0755), 0);
  for (const char *file : {"Doku/dbv.jpg", "Doku/dbv.gif", "Doku/dbv2.gif", "Doku/dbv7.jpg",
                           "Doku/dbv7.gif", "Doku/ddbv1.gif", "Doku/dbv8.gif"})
    WriteFile(file, "GIF89a");
  std::string text = manual();
  auto picture = [](const char *path) {
    return std::string("<p><center>\n<img src=\"") + path + "\" alt=\"Grafikdatei '" + path +
           "'.\">\n</center></p>\n";
  };
  std::string pictures = picture("Doku/dbv.jpg") + picture("Doku/dbv2.gif") +
                         picture("Doku/dbv7.jpg") + picture("Doku/dbv7.gif") +
                         "<h3>Allgemeine Beschreibung:</h3>\n";
  EXPECT_NE(text.find("</h2>\n" + pictures), std::string::npos) << text;
  // A description file takes the place of the help text, byte for byte.
  WriteFile("Doku/dbv.htm", "<p>Eigene\n<i>Beschreibung</i></p>\n");
  text = manual();
  EXPECT_NE(text.find("<h3>Allgemeine Beschreibung:</h3>\n<p>Eigene\n<i>Beschreibung</i></p>\n"
                      "<p>Beim \xd6"
                      "ffnen"),
            std::string::npos);
  EXPECT_EQ(text.find("Hauptfenster"), std::string::npos);
}

TEST_F(Doku, TheShippedHelpTextsAndF1) {
  WriteFile("torvane.hlp", ReadFile(TORVANE_HLP));
  for (const char *key : kKeys) {
    std::string raw = get_edit_help(key), message;
    EXPECT_GT(raw.size(), 200u) << key;
    EXPECT_EQ(check_help(raw.c_str(), &message), 1) << key << ": " << message;
    kv_capture_log();
    help_without_intern(raw, key);
    EXPECT_EQ(kv_captured_log(), "") << key;
    // Lines fit the help dialog's width.
    std::string shown = get_help(key);
    size_t start = 0, longest = 0;
    for (size_t nl; (nl = shown.find('\n', start)) != std::string::npos; start = nl + 1)
      longest = std::max(longest, nl - start);
    EXPECT_LE(longest, 90u) << key;
  }
  // The manual carries the main window's text without its internal part.
  std::string text = manual();
  EXPECT_NE(text.find("<b>Das Hauptfenster</b><br><br>Im Hauptfenster"), std::string::npos);
  EXPECT_EQ(text.find("torvane.ini"), std::string::npos);

  f1(fd_DBV->DBV);
  ASSERT_EQ(HELP_Usedby, fd_DBV->DBV);
  EXPECT_EQ(fl_get_input(fd_HELP->text), get_help("DBV_HLP"));
  EXPECT_NE(std::string(fl_get_input(fd_HELP->text)).find("torvane.ini"), std::string::npos);
  gui_pump();
  gui_screenshot(std::to_string(fd_HELP->HELP->window), "torvane_help_dbv.png");
  myfl_close_help();

  select("KUNDE");
  fl_select_tabbox_line(fd_DBV->tabbox, 1);
  DBV_dblclick(fd_DBV->tabbox, 0);
  gui_pump();
  ASSERT_TRUE(fl_form_is_visible(fd_DDBV->DDBV));
  f1(fd_DDBV->DDBV);
  ASSERT_EQ(HELP_Usedby, fd_DDBV->DDBV);
  EXPECT_EQ(fl_get_input(fd_HELP->text), get_help("DDBV_HLP"));
  gui_pump();
  gui_screenshot(std::to_string(fd_HELP->HELP->window), "torvane_help_ddbv.png");
  // F1 in the help dialog shows its own text.
  f1(fd_HELP->HELP);
  EXPECT_EQ(fl_get_input(fd_HELP->text), get_help("HELP_HLP"));
  myfl_close_help();
  DDBV_AtClose(fd_DDBV->DDBV, nullptr);
  gui_pump();
}

TEST_F(Doku, ExportAndViewerOfTheResultTable) {
  select("KUNDE");
  ASSERT_EQ(myfl_get_tabbox_items(fd_DBV->tabbox), 120);
  remove("kunden.csv");
  tbhook_open_tbexp(fd_DBV->DBV, fd_DBV->tabbox);
  gui_pump();
  ASSERT_EQ(TBEXP_Usedby, fd_DBV->DBV);
  fl_set_input(fd_TBEXP->filename, "kunden");
  gui_pump();
  gui_screenshot(std::to_string(fd_TBEXP->TBEXP->window), "torvane_export.png");
  fl_call_object_callback(fd_TBEXP->export_tb);
  gui_pump();
  EXPECT_EQ(TBEXP_Usedby, nullptr);
  std::string csv = ReadFile("kunden.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 121);
  std::string title = DBV_TABBOX_Title;
  std::replace(title.begin(), title.end(), ',', '\t');
  EXPECT_EQ(csv.substr(0, csv.find('\n')), title);

  // The viewer has no load function in this application.
  fl_select_tabbox_line(fd_DBV->tabbox, 2);
  script.steps.push_back({GOODIE_ALERT, 0, ""});
  tbhook_open_tbview(fd_DBV->DBV, fd_DBV->tabbox);
  ASSERT_EQ(script.shown.size(), 1u);
  EXPECT_EQ(script.shown[0].text, "Keine Daten darstellbar\n\n");
  EXPECT_TRUE(fl_form_is_activated(fd_DBV->DBV));
}

}  // namespace
