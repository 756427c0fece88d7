// The zoom, export, viewer and help dialogs on a real X server, in process
// (ctest runs it under Xvfb and the Latin-1 locale; without DISPLAY every
// test skips): FE_Init against a scripted stand-in server, a sample window
// with an editor and a database tabbox of three columns, and a help file
// in a temporary working directory.  Alerts and questions are answered by
// the goodies' script; one that the test does not expect fails it.
// Screenshots of every dialog go to $KV_BUILD_DIR/artifacts/dialog_*.png.
// GoogleTest comes before the X headers, whose macro None clashes with it.
#include <gtest/gtest.h>

#include "forms/forms.h"

#include <X11/keysym.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/containers.h"
#include "base/ini.h"
#include "base/mem.h"
#include "base/msglog.h"
#include "forms/colrec.h"
#include "forms/dialogs.h"
#include "forms/help.h"
#include "forms/helpfile.h"
#include "forms/inputs.h"
#include "forms/tbexp.h"
#include "forms/tbview.h"
#include "forms/zoom.h"
#include "tests/support/scripted_server.h"
#include "tests/support/test_files.h"
#include "widgets/dbtabbox.h"
#include "widgets/editor.h"
#include "widgets/goodies.h"
#include "widgets/gui_test.h"
#include "widgets/mytabs.h"
#include "widgets/tabbox_hooks.h"

namespace {

const char kApp[] = "dlgtest";
const std::string kHelp =
    "[SAMPLE_HLP]\nDas <b>Beispiel</b>fenster.\n\n"
    "[ZOOM_HLP]\nZoom-Hilfe\n\n"
    "[Anmerkung]\nbleibt stehen\n"
    "[TBEXP_HLP]\nExport-Hilfe: ein &lt; und &amp;.\n\n"
    "[TVIEW_HLP]\nViewer-Hilfe\n\n"
    "[HELP_HLP]\nHilfe zur Hilfe mit \xc4, \xd6, \xdc und \xdf.\n";

// A row record of the sample tabbox: its row text.
struct ROW {
  int32_t size, state, tablenr;
  char text[200];
};
void *row_new() {
  ROW *r = static_cast<ROW *>(mymalloc(sizeof(ROW)));
  *r = ROW{sizeof(ROW), 0, -1, ""};
  return r;
}
const char *row_attribs(int) { return "NAME,BETRAG,ORT"; }
char *row_data(BESREC *, void *record, int) { return mystrdup(static_cast<ROW *>(record)->text); }

struct Sample {
  FL_FORM *form;
  FL_OBJECT *help, *editor, *tabbox;
};

bool ready = false;
std::string workdir;
Sample sample;
Time event_time = 1000;

void unscripted(const std::string &what) { ADD_FAILURE() << "unscripted dialog: " << what; }
void nothing(FL_OBJECT *, long) {}
int sample_closes = 0;
int keep_open(FL_FORM *, void *) {
  sample_closes++;
  return FL_IGNORE;
}

void build_sample() {
  Sample &s = sample;
  s.form = fl_bgn_form(FL_FLAT_BOX, 600, 460);
  s.help = myfl_add_help_button(600, 460);
  s.editor = fl_add_editor(0, 20, 30, 400, 100, "Bemerkung");
  s.tabbox = fl_add_tabbox(2, 20, 170, 560, 270, "");
  fl_set_object_callback(s.tabbox, nothing, 0);
  fl_end_form();
  myfl_set_form_data(s.form, FORMTYPE_GLOBAL, "Beispiel");
  myfl_init_helpdialog(s.form, s.help, "SAMPLE_HLP");
  myfl_set_form_atclose(s.form, keep_open, nullptr);
  myfl_init_input(s.editor, 500);
  myfl_init_db_tabbox(s.form, s.tabbox, "SAMPLE", row_attribs, row_new, nullptr, nullptr,
                      dbshow_all, nullptr);
  ARRAY rows;
  ARRAY_Init(&rows);
  for (const char *text : {"\"Meier\",\"12.50\",\"Bonn\"", "\"Al\",\"-7\",\"K\xf6ln\"",
                           "\"Zoe\",\"1.2.3\",\"a\tb\""}) {
    ROW r{sizeof(ROW), 0, -1, ""};
    strcpy(r.text, text);
    ARRAY_Add(&rows, &r);
  }
  myfl_load_multiple_tabbox(pBESREC, s.tabbox, &rows, row_data);
  ARRAY_Free(&rows);
}

class DialogsEnv : public testing::Environment {
 public:
  void SetUp() override {
    setenv("LC_ALL", "de_DE.ISO-8859-1", 1);
    Init_Msglog("", 0);
    if (!gui_init("DialogsTest")) return;
    workdir = kv_process_workdir("dialogs_gui_");
    if (workdir.empty()) return;
    server_ = std::make_unique<ScriptedServer>();
    port_ = server_->port_text();
    dbsetport(port_.c_str());
    if (FE_Init(&pBESREC, "DLGTEST") != 1) return;
    myfl_set_applname(kApp);
    build_sample();
    ready = true;
  }

 private:
  std::unique_ptr<ScriptedServer> server_;
  std::string port_;
};

testing::Environment *const env = testing::AddGlobalTestEnvironment(new DialogsEnv);

void pump() { gui_pump(); }

// The label without the toolkit's underline marks.
std::string label(FL_OBJECT *ob) {
  std::string s;
  for (const char *p = ob->label; *p; p++)
    if (*p != '\b') s += *p;
  return s;
}

bool shown(FL_FORM *f) { return fl_form_is_visible(f) != 0; }
bool active(FL_FORM *f) { return f->deactivated == 0; }

class Dialogs : public testing::Test {
 protected:
  void SetUp() override {
    if (!ready) GTEST_SKIP() << "no X display";
    WriteFile(std::string(kApp) + ".hlp", kHelp);
    script.on_unscripted = unscripted;
    goodies_set_script(&script);
    myfl_show_form(sample.form, "Beispiel");
    pump();
  }
  void TearDown() override {
    if (!ready) return;
    goodies_set_script(nullptr);
    EXPECT_TRUE(script.steps.empty()) << "dialogs expected but not shown";
    // Whatever a failed test left open.
    script.steps.clear();
    if (HELP_Usedby) {
      kz_save = 0;
      myfl_close_help();
    }
    if (ZOOM_Usedby) myfl_close_zoom();
    if (TBEXP_Usedby) myfl_close_tbexp();
    if (TVIEW_Usedby) myfl_close_tbview();
    myfl_set_tbview_load_func(nullptr);
    if (shown(sample.form)) fl_hide_form(sample.form);
    pump();
  }
  // Expects an alert with these lines (joined by line feeds).
  void expect_alert(const std::string &text) {
    script.steps.push_back({GOODIE_ALERT, 0, ""});
    expected.push_back(text);
  }
  // Expects a choice box and answers it with button.
  void expect_choice(const std::string &text, int button) {
    script.steps.push_back({GOODIE_CHOICE, button, ""});
    expected.push_back(text);
  }
  void check_boxes() {
    std::vector<std::string> texts;
    for (const GOODIE_SHOWN &s : script.shown) texts.push_back(s.text);
    EXPECT_EQ(texts, expected);
    EXPECT_TRUE(script.steps.empty());
    script.shown.clear();
    expected.clear();
  }
  // The toolkit gives keys to the form last clicked into, as a user would
  // do before typing (here on the free top right corner, which does
  // nothing).  Without a window manager a window shown again keeps its old
  // place in the stacking order, so it is raised first.
  void enter(FL_FORM *f) {
    XRaiseWindow(fl_get_display(), f->window);
    XWarpPointer(fl_get_display(), None, f->window, 0, 0, 0, 0, 5, 5);
    XSync(fl_get_display(), False);
    gui_crossing(f->window, EnterNotify, event_time++);
    click(f, f->w - 3, 3, 1);
  }
  void click(FL_FORM *f, int x, int y, unsigned button) {
    for (int type : {ButtonPress, ButtonRelease}) {
      gui_pointer(f->window, type, x, y, f->x + x, f->y + y, button, event_time);
      event_time += 1000;
    }
  }
  void key(FL_FORM *f, KeySym sym) {
    enter(f);
    gui_key(f->window, sym, 0, event_time);
    event_time += 100;
  }
  // A key that closes the window: the release would find no window.
  void closing_key(FL_FORM *f, KeySym sym) {
    enter(f);
    gui_key_event(f->window, KeyPress, sym, 0, event_time);
    event_time += 100;
  }
  void press(FL_OBJECT *button) {
    fl_call_object_callback(button);
    pump();
  }
  void screenshot(FL_FORM *f, const char *name) {
    XRaiseWindow(fl_get_display(), f->window);
    pump();
    gui_screenshot(std::to_string(f->window), name);
  }

  GOODIES_SCRIPT script;
  std::vector<std::string> expected;
};

// ---------------------------------------------------------------------------
// Zoom

TEST_F(Dialogs, ZoomRoundTripDropsTrailingBlanks) {
  EDITOR *ed = fl_get_editor_record(sample.editor);
  fl_set_input(sample.editor, "Erste Zeile\nzweite Zeile mit Blanks   ");
  fl_set_editor_fontstyle(sample.editor, FL_BOLD_STYLE);
  // The editor's zoom button reaches the dialog through the editor's hook.
  press(ed->zoom);
  ASSERT_EQ(ZOOM_Usedby, sample.form);
  EXPECT_EQ(ZOOM_Input, sample.editor);
  EXPECT_TRUE(shown(fd_ZOOM->ZOOM));
  EXPECT_FALSE(active(sample.form));
  EXPECT_STREQ(fl_get_editor_input(fd_ZOOM->editor), "Erste Zeile\nzweite Zeile mit Blanks");
  EXPECT_EQ(fl_get_editor_record(fd_ZOOM->editor)->maxchars, 500);
  EXPECT_EQ(fl_get_editor_fontstyle(fd_ZOOM->editor), FL_BOLD_STYLE);
  screenshot(fd_ZOOM->ZOOM, "dialog_zoom.png");

  // A second editor cannot zoom meanwhile.
  expect_alert(
      "Editor-Zoom-Dialog bereits ge\xf6"
      "ffnet\n\n");
  myfl_open_zoom(sample.form, sample.editor, 10);
  check_boxes();

  fl_set_input(fl_get_editor_input_object(fd_ZOOM->editor), "neuer\nText   ");
  press(fd_ZOOM->ok);
  EXPECT_STREQ(fl_get_editor_input(sample.editor), "neuer\nText");
  EXPECT_EQ(ZOOM_Usedby, nullptr);
  EXPECT_FALSE(shown(fd_ZOOM->ZOOM));
  EXPECT_TRUE(active(sample.form));
  expect_alert("Editor-Zoom-Dialog bereits geschlossen\n\n");
  myfl_close_zoom();
  check_boxes();

  // Escape in the zoom closes it like OK.
  myfl_open_zoom(sample.form, sample.editor, 500);
  pump();
  fl_set_input(fl_get_editor_input_object(fd_ZOOM->editor), "per Escape");
  closing_key(fd_ZOOM->ZOOM, XK_Escape);
  EXPECT_EQ(ZOOM_Usedby, nullptr);
  EXPECT_STREQ(fl_get_editor_input(sample.editor), "per Escape");
  fl_set_editor_fontstyle(sample.editor, FL_NORMAL_STYLE);
}

TEST_F(Dialogs, ZoomKeepsLongTextsAndTheLimit) {
  // The zoom editor takes the requester's limit before the text: a text
  // longer than the previous limit (4000) is not cut.
  std::string text(6000, 'x');
  myfl_init_input(sample.editor, 0);
  fl_set_input(sample.editor, text.c_str());
  myfl_open_zoom(sample.form, sample.editor, 0);
  pump();
  EXPECT_EQ(strlen(fl_get_editor_input(fd_ZOOM->editor)), 6000u);
  myfl_close_zoom();
  EXPECT_EQ(strlen(fl_get_editor_input(sample.editor)), 6000u);
  myfl_init_input(sample.editor, 500);
  fl_set_input(sample.editor, "");
}

TEST_F(Dialogs, KeysReachTheDialogJustShown) {
  // The user worked in the sample window last; the keys typed in a dialog
  // opened from it go to the dialog, without a click into it first.
  enter(sample.form);
  tbhook_open_tbexp(sample.form, sample.tabbox);
  pump();
  fl_set_input(fd_TBEXP->filename, "");
  gui_key(fd_TBEXP->TBEXP->window, XK_a, 0, event_time += 100);
  EXPECT_STREQ(fl_get_input(fd_TBEXP->filename), "a");
  gui_key_event(fd_TBEXP->TBEXP->window, KeyPress, XK_Escape, 0, event_time += 100);
  EXPECT_EQ(TBEXP_Usedby, nullptr);
  // F1 and then Escape close the help, not the window it was asked for.
  sample_closes = 0;
  key(sample.form, XK_F1);
  ASSERT_EQ(HELP_Usedby, sample.form);
  gui_key_event(fd_HELP->HELP->window, KeyPress, XK_Escape, 0, event_time += 100);
  EXPECT_EQ(HELP_Usedby, nullptr);
  EXPECT_EQ(sample_closes, 0);
}

// ---------------------------------------------------------------------------
// Export

class Export : public Dialogs {
 protected:
  void SetUp() override {
    Dialogs::SetUp();
    if (!ready) return;
    remove("liste.csv");
    // The tabbox's export entry reaches the dialog through its hook.
    tbhook_open_tbexp(sample.form, sample.tabbox);
    pump();
  }
  void TearDown() override {
    if (!ready) return;
    int count, *order, *visible;
    fl_get_tabbox_properties(sample.tabbox, &count, nullptr, &order, &visible, nullptr, nullptr,
                             nullptr, nullptr, nullptr);
    for (int c = 1; c < count; c++) order[c] = c, visible[c] = 1;
    fl_set_tabbox_sort(sample.tabbox, 0, nullptr, nullptr);
    Dialogs::TearDown();
  }
  void name(const char *text) { fl_set_input(fd_TBEXP->filename, text); }
};

TEST_F(Export, TheTableAsShownAndAllData) {
  ASSERT_EQ(TBEXP_Usedby, sample.form);
  EXPECT_EQ(TBEXP_Tabbox, sample.tabbox);
  EXPECT_FALSE(active(sample.form));
  name("liste");
  screenshot(fd_TBEXP->TBEXP, "dialog_tbexp.png");
  press(fd_TBEXP->export_tb);
  EXPECT_EQ(ReadFile("liste.csv"),
            "NAME\tBETRAG\tORT\n"
            "Meier\t12,50\tBonn\n"
            "Al\t-7\tK\xf6ln\n"
            "Zoe\t1.2.3\ta_b\n");
  // A successful export closes the dialog.
  EXPECT_EQ(TBEXP_Usedby, nullptr);
  EXPECT_FALSE(shown(fd_TBEXP->TBEXP));
  EXPECT_TRUE(active(sample.form));

  // Sorted by NAME, ORT moved to the front and BETRAG hidden, as the sort
  // dialog leaves the tabbox.
  int count, *order, *visible;
  fl_get_tabbox_properties(sample.tabbox, &count, nullptr, &order, &visible, nullptr, nullptr,
                           nullptr, nullptr, nullptr);
  ASSERT_EQ(count, 4);
  order[1] = 3, order[2] = 1, order[3] = -1;
  visible[2] = 0;
  int col = 1, up = 1;
  fl_set_tabbox_sort(sample.tabbox, 1, &col, &up);
  myfl_open_tbexp(sample.form, sample.tabbox);
  expect_choice(
      "Datei existiert bereits\n\nSoll Datei \xfc"
      "berschrieben werden?",
      1);
  press(fd_TBEXP->export_tb);
  check_boxes();
  EXPECT_EQ(ReadFile("liste.csv"), "ORT\tNAME\nK\xf6ln\tAl\nBonn\tMeier\na_b\tZoe\n");

  // All data: every column in natural order, rows still in display order.
  myfl_open_tbexp(sample.form, sample.tabbox);
  expect_choice(
      "Datei existiert bereits\n\nSoll Datei \xfc"
      "berschrieben werden?",
      1);
  press(fd_TBEXP->export_all);
  check_boxes();
  EXPECT_EQ(ReadFile("liste.csv"),
            "NAME\tBETRAG\tORT\nAl\t-7\tK\xf6ln\nMeier\t12,50\tBonn\nZoe\t1.2.3\ta_b\n");
}

TEST_F(Export, RefusedNamesAndTheOverwriteQuestion) {
  for (const char *bad : {"liste.csv", "mit blank", ""}) {
    name(bad);
    expect_alert("Ung\xfcltiger Dateiname\n\n");
    press(fd_TBEXP->export_tb);
    check_boxes();
    EXPECT_EQ(TBEXP_Usedby, sample.form) << bad;  // the dialog stays open
  }
  for (const char *file : {"liste.csv", "mit blank.csv", ".csv"})
    EXPECT_NE(access(file, F_OK), 0) << file;

  WriteFile("liste.csv", "alt");
  name("liste");
  expect_choice(
      "Datei existiert bereits\n\nSoll Datei \xfc"
      "berschrieben werden?",
      2);
  press(fd_TBEXP->export_all);
  check_boxes();
  EXPECT_EQ(ReadFile("liste.csv"), "alt");
  EXPECT_EQ(TBEXP_Usedby, sample.form);
  EXPECT_EQ(label(fd_TBEXP->filename), "Dateiname ");
  EXPECT_STREQ(fl_get_input(fd_TBEXP->filename), "liste");  // the name stays

  // A file that cannot be written: the alert names it, the dialog stays.
  ASSERT_EQ(mkdir("ordner.csv", 0755), 0);
  name("ordner");
  expect_alert("Fehler beim Schreiben der Datei\nordner.csv\n");
  press(fd_TBEXP->export_tb);
  check_boxes();
  EXPECT_EQ(TBEXP_Usedby, sample.form);
  rmdir("ordner.csv");
  remove("liste.csv");

  // Only one requester at a time; OK and Escape close.
  expect_alert(
      "Export-Tabbox-Dialog bereits ge\xf6"
      "ffnet\n\n");
  myfl_open_tbexp(sample.form, sample.tabbox);
  check_boxes();
  press(fd_TBEXP->ok);
  EXPECT_EQ(TBEXP_Usedby, nullptr);
  EXPECT_TRUE(active(sample.form));
  expect_alert("Export-Tabbox-Dialog bereits geschlossen\n\n");
  myfl_close_tbexp();
  check_boxes();
  myfl_open_tbexp(sample.form, sample.tabbox);
  pump();
  closing_key(fd_TBEXP->TBEXP, XK_Escape);
  EXPECT_EQ(TBEXP_Usedby, nullptr);
}

// ---------------------------------------------------------------------------
// Viewer

// A load function: the fields of the record as column entries.
int loaded = 0;
int load_fields(FL_FORM *, FL_OBJECT *tabbox, void *record) {
  loaded++;
  const char *text = static_cast<ROW *>(record)->text;
  if (strstr(text, "Zoe")) return 0;  // nothing to show for this one
  ARRAY cols;
  ARRAY_Init(&cols);
  TBROW row;
  tb_parse_row(text, &row);
  for (int i = 0; i < row.count(); i++) {
    _COL c;
    _COL_Init(&c);
    _COL_Set(&c, row.field(i).c_str(), i + 1);
    ARRAY_Add(&cols, &c);
  }
  myfl_load_multiple_tabbox(pBESREC, tabbox, &cols, _COL_Data);
  ARRAY_Free(&cols);
  return 1;
}

TEST_F(Dialogs, ViewerWithAndWithoutLoadFunction) {
  EXPECT_EQ(myfl_get_tbview_load_func(), nullptr);
  fl_select_tabbox_line(sample.tabbox, 1);
  // The viewer application registers no load function.
  expect_alert("Keine Daten darstellbar\n\n");
  tbhook_open_tbview(sample.form, sample.tabbox);
  check_boxes();
  EXPECT_EQ(TVIEW_Usedby, nullptr);
  EXPECT_TRUE(active(sample.form));

  myfl_set_tbview_load_func(load_fields);
  loaded = 0;
  tbhook_open_tbview(sample.form, sample.tabbox);
  pump();
  ASSERT_EQ(TVIEW_Usedby, sample.form);
  EXPECT_EQ(TVIEW_Tabbox, sample.tabbox);
  EXPECT_EQ(loaded, 1);
  EXPECT_FALSE(active(sample.form));
  EXPECT_EQ(myfl_get_tabbox_items(fd_TVIEW->tabbox), 3);
  screenshot(fd_TVIEW->TVIEW, "dialog_tview.png");
  // F2 in the viewer's own tabbox (or the same request again) closes it.
  EXPECT_EQ(tbhook_tbview_tabbox(), fd_TVIEW->tabbox);
  tbhook_close_tbview();
  EXPECT_EQ(TVIEW_Usedby, nullptr);
  EXPECT_TRUE(active(sample.form));
  expect_alert("Tabbox-Viewer-Dialog bereits geschlossen\n\n");
  myfl_close_tbview();
  check_boxes();

  // A line the load function cannot show, and no line at all.
  fl_select_tabbox_line(sample.tabbox, 3);
  expect_alert("Keine Daten darstellbar\n\n");
  myfl_open_tbview(sample.form, sample.tabbox);
  check_boxes();
  fl_deselect_tabbox(sample.tabbox);
  expect_alert("Keine Daten darstellbar\n\n");
  myfl_open_tbview(sample.form, sample.tabbox);
  check_boxes();
  EXPECT_EQ(loaded, 2);

  // Escape closes it too.
  fl_select_tabbox_line(sample.tabbox, 2);
  myfl_open_tbview(sample.form, sample.tabbox);
  pump();
  closing_key(fd_TVIEW->TVIEW, XK_Escape);
  EXPECT_EQ(TVIEW_Usedby, nullptr);
}

// ---------------------------------------------------------------------------
// Help

class Help : public Dialogs {
 protected:
  void TearDown() override {
    if (!ready) return;
    Clear_ini_Data(kApp, "HTML_EDITOR");
    remove(HELP_TMPFILE);
    Dialogs::TearDown();
  }
  std::string text() { return fl_get_input(fd_HELP->text); }
  std::string status() { return fd_HELP->status->label; }
};

TEST_F(Help, F1ShowsTheWindowsHelpAndEditInPlaceSaves) {
  key(sample.form, XK_F1);
  ASSERT_EQ(HELP_Usedby, sample.form);
  EXPECT_TRUE(shown(fd_HELP->HELP));
  EXPECT_TRUE(active(sample.form));  // the requesting window stays active
  EXPECT_STREQ(hlp_dlgname, "SAMPLE_HLP");
  EXPECT_EQ(text(), "Das Beispielfenster.\n\n");
  EXPECT_EQ(label(fd_HELP->save), "Hilfetext editieren");
  EXPECT_EQ(label(fd_HELP->editor), "Netscape Editor");
  EXPECT_EQ(status(), "");
  screenshot(fd_HELP->HELP, "dialog_help.png");

  // A second request while the dialog is open is refused.
  expect_alert(
      "Hilfedialog bereits ge\xf6"
      "ffnet\n\n");
  key(sample.form, XK_F1);
  check_boxes();

  press(fd_HELP->save);
  EXPECT_EQ(kz_save, 1);
  EXPECT_EQ(label(fd_HELP->save), "Hilfetext \xe4ndern");
  EXPECT_FALSE(fl_object_is_visible(fd_HELP->editor));
  EXPECT_EQ(status(), "Editier-Modus");
  EXPECT_EQ(text(), "Das <b>Beispiel</b>fenster.\n\n");
  screenshot(fd_HELP->HELP, "dialog_help_edit.png");

  // An HTML error keeps the dialog in edit mode.
  fl_set_input(fd_HELP->text, "Siehe <a href=x.htm>dort</a>");
  expect_alert("HTML-Syntaxfehler\nHTML-Befehl 'a href=x.htm' nicht zul\xe4ssig.\n");
  press(fd_HELP->save);
  check_boxes();
  EXPECT_EQ(kz_save, 1);
  EXPECT_EQ(ReadFile("dlgtest.hlp"), kHelp);

  fl_set_input(fd_HELP->text, "Neu mit <i>\xfc</i>");
  expect_alert("Hilfetext wurde gesichert\n\n");
  press(fd_HELP->save);
  check_boxes();
  EXPECT_EQ(kz_save, 0);
  EXPECT_EQ(text(), "Neu mit \xfc\n");
  EXPECT_EQ(label(fd_HELP->save), "Hilfetext editieren");
  EXPECT_TRUE(fl_object_is_visible(fd_HELP->editor));
  EXPECT_EQ(status(), "");
  std::string after = kHelp;
  after.replace(0, after.find("[ZOOM_HLP]"), "[SAMPLE_HLP]\nNeu mit <i>\xfc</i>\n");
  EXPECT_EQ(ReadFile("dlgtest.hlp"), after);

  press(fd_HELP->ok);
  EXPECT_EQ(HELP_Usedby, nullptr);
  EXPECT_FALSE(shown(fd_HELP->HELP));
  expect_alert("Hilfedialog bereits geschlossen\n\n");
  myfl_close_help();
  check_boxes();
}

TEST_F(Help, ClosingInEditModeAsksFirst) {
  myfl_open_help(sample.help);
  press(fd_HELP->save);
  fl_set_input(fd_HELP->text, "nicht gespeichert");
  const std::string question =
      "Nicht gespeicherte \xc4nderungen am Hilfetext gehen verloren!\n\nWollen Sie dennoch "
      "fortfahren?";
  expect_choice(question, 2);
  press(fd_HELP->ok);
  check_boxes();
  EXPECT_EQ(HELP_Usedby, sample.form);
  expect_choice(question, 1);
  closing_key(fd_HELP->HELP, XK_Escape);
  check_boxes();
  EXPECT_EQ(HELP_Usedby, nullptr);
  EXPECT_EQ(ReadFile("dlgtest.hlp"), kHelp);
}

TEST_F(Help, ExternalEditorRoundTrip) {
  // A stand-in editor, named in the ini entry, edits the file it is given.
  WriteFile("editor.sh", "#!/bin/sh\nsed -i 's/Beispiel/Muster/' \"$1\"\ntouch editor.done\n");
  chmod("editor.sh", 0755);
  Set_ini_Data(kApp, "HTML_EDITOR", ("[HTML_EDITOR] " + workdir + "/editor.sh\n").c_str());
  remove("editor.done");
  myfl_open_help(sample.help);
  press(fd_HELP->editor);
  EXPECT_EQ(kz_save, 1);
  EXPECT_EQ(label(fd_HELP->editor), "Netscape speichern");
  EXPECT_FALSE(fl_object_is_visible(fd_HELP->save));
  EXPECT_EQ(ReadFile(HELP_TMPFILE),
            "<html>\n<body>\nDas <b>Beispiel</b>fenster.\n\n</body>\n</html>\n");
  press(fd_HELP->composer);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (access("editor.done", F_OK) != 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(access("editor.done", F_OK), 0) << "the stand-in editor did not run";
  expect_alert("Hilfetext wurde gesichert\n\n");
  press(fd_HELP->editor);
  check_boxes();
  EXPECT_EQ(kz_save, 0);
  EXPECT_EQ(text(), "Das Musterfenster.\n\n");
  EXPECT_EQ(label(fd_HELP->editor), "Netscape Editor");
  EXPECT_TRUE(fl_object_is_visible(fd_HELP->save));
  // Unedited the round trip gives the same file.
  std::string expect = kHelp;
  expect.replace(expect.find("Beispiel"), 8, "Muster");
  EXPECT_EQ(ReadFile("dlgtest.hlp"), expect);
  press(fd_HELP->editor);
  expect_alert("Hilfetext wurde gesichert\n\n");
  press(fd_HELP->editor);
  check_boxes();
  EXPECT_EQ(ReadFile("dlgtest.hlp"), expect);

  // A file without body, and a check that fails: edit mode stays.
  press(fd_HELP->editor);
  WriteFile(HELP_TMPFILE, "<html>kaputt</html>");
  expect_alert("Hilfetext nicht gefunden (Datei hilfetxt.tmp)\n\n");
  press(fd_HELP->editor);
  check_boxes();
  WriteFile(HELP_TMPFILE, "<html><BODY bgcolor=white>mit <a href=x>Link</a></BODY></html>");
  expect_alert("HTML-Syntaxfehler\nHTML-Befehl 'a href=x' nicht zul\xe4ssig.\n");
  press(fd_HELP->editor);
  check_boxes();
  EXPECT_EQ(kz_save, 1);
  EXPECT_EQ(ReadFile("dlgtest.hlp"), expect);
  kz_save = 0;
}

TEST_F(Help, EditorThatCannotStartIsAnAlert) {
  Set_ini_Data(kApp, "HTML_EDITOR", "[HTML_EDITOR] /nicht/vorhanden/editor -x\n");
  myfl_open_help(sample.help);
  expect_alert(
      "HTML-Editor konnte nicht gestartet werden\ncommand -v '/nicht/vorhanden/editor' "
      ">/dev/null 2>&1 || exit 127; /nicht/vorhanden/editor -x 'hilfetxt.tmp' >/dev/null "
      "2>&1 &\n");
  press(fd_HELP->composer);
  check_boxes();
  // Without entry, default program, $VISUAL and $EDITOR there is none.
  Clear_ini_Data(kApp, "HTML_EDITOR");
  std::string visual = getenv("VISUAL") ? getenv("VISUAL") : "";
  std::string editor = getenv("EDITOR") ? getenv("EDITOR") : "";
  unsetenv("VISUAL");
  unsetenv("EDITOR");
  expect_alert("Kein HTML-Editor gefunden\nEintrag [HTML_EDITOR] Befehl in dlgtest.ini fehlt\n");
  press(fd_HELP->composer);
  check_boxes();
  if (!visual.empty()) setenv("VISUAL", visual.c_str(), 1);
  if (!editor.empty()) setenv("EDITOR", editor.c_str(), 1);
}

TEST_F(Help, F1InEveryDialog) {
  struct Case {
    FL_FORM *form;
    const char *key, *display;
  };
  myfl_open_zoom(sample.form, sample.editor, 500);
  tbhook_open_tbexp(sample.form, sample.tabbox);
  pump();
  for (const Case &c : {Case{fd_ZOOM->ZOOM, "ZOOM_HLP", "Zoom-Hilfe\n\n"},
                        Case{fd_TBEXP->TBEXP, "TBEXP_HLP", "Export-Hilfe: ein < und &.\n\n"}}) {
    key(c.form, XK_F1);
    EXPECT_STREQ(hlp_dlgname, c.key);
    EXPECT_EQ(text(), c.display);
    EXPECT_EQ(HELP_Usedby, c.form);
    // F1 in the help dialog itself shows the dialog's own help.
    key(fd_HELP->HELP, XK_F1);
    EXPECT_STREQ(hlp_dlgname, "HELP_HLP");
    EXPECT_EQ(text(), "Hilfe zur Hilfe mit \xc4, \xd6, \xdc und \xdf.\n");
    closing_key(fd_HELP->HELP, XK_Escape);
    EXPECT_EQ(HELP_Usedby, nullptr);
  }
  myfl_close_tbexp();
  myfl_close_zoom();
  // A window without section shows an empty text; the right mouse button
  // on a free area opens the help too.
  WriteFile(std::string(kApp) + ".hlp", "");
  click(sample.form, 590, 10, 3);
  EXPECT_EQ(HELP_Usedby, sample.form);
  EXPECT_EQ(text(), "");
  // In edit mode F1 in the help dialog does not replace the text.
  press(fd_HELP->save);
  expect_alert(
      "Hilfedialog bereits ge\xf6"
      "ffnet\n\n");
  key(fd_HELP->HELP, XK_F1);
  check_boxes();
  EXPECT_STREQ(hlp_dlgname, "SAMPLE_HLP");
  kz_save = 0;
  myfl_close_help();
}

}  // namespace
