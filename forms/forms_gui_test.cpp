// The form framework on a real X server, in process (ctest runs it under
// Xvfb; without DISPLAY every test skips): FE_Init against a scripted
// stand-in for the KORVAL server, the six shared dialogs, and a sample form
// with two inputs, a combo box, an editor and a control tabbox that is
// shown, hidden and driven by key and pointer events sent to its window.
// Screenshots of the open combo list and of the editor go to
// $KV_BUILD_DIR/artifacts.  The ini file lives in a temporary directory.
// GoogleTest comes before the X headers, whose macro None clashes with it.
#include <gtest/gtest.h>

#include "forms/forms.h"

#include <X11/keysym.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/ini.h"
#include "tests/support/scripted_server.h"
#include "forms/cmb.h"
#include "forms/dialogs.h"
#include "widgets/goodies.h"
#include "forms/inputs.h"
#include "forms/objdata.h"
#include "widgets/editor.h"
#include "widgets/gui_test.h"
#include "widgets/mytabs.h"
#include "widgets/tabbox_hooks.h"
#include "tests/support/log_capture.h"

namespace {

const char kApp[] = "formtest";
const char kCombos[] = "kvsys,KVSYS|demo,DEMO|archiv,ARCHIV|Dublin,DUB|Essen,ESS|Zeta,ZET";

// The sample form of the application under test.
struct Sample {
  FL_FORM *form;
  FL_OBJECT *background, *help, *table, *attribs, *cmb_input, *cmb_button, *editor, *tabbox;
};

bool ready = false;
std::string workdir;
Sample sample;
int dblclicks, atcloses, helps, cmb_changes;
FL_OBJECT *cmb_changed_by;
Time event_time = 1000;

void unscripted(const std::string &what) { ADD_FAILURE() << "unscripted dialog: " << what; }

void count_dblclick(FL_OBJECT *, long) { dblclicks++; }
int count_atclose(FL_FORM *, void *) {
  atcloses++;
  return FL_IGNORE;
}
void count_help(FL_OBJECT *) { helps++; }
void cmb_changed(FL_OBJECT *ob, long) {
  cmb_changes++;
  cmb_changed_by = ob;
}
void nothing(FL_OBJECT *, long) {}

void build_sample() {
  Sample &s = sample;
  s.form = fl_bgn_form(FL_FLAT_BOX, 640, 480);
  s.background = s.form->first;
  s.help = myfl_add_help_button(640, 480);
  s.table = fl_add_input(FL_NORMAL_INPUT, 110, 20, 200, 25, "Tabelle ");
  fl_set_object_callback(s.table, myfl_cb_upper_input, 0);
  s.attribs = fl_add_input(FL_NORMAL_INPUT, 110, 55, 200, 25, "Attribute ");
  fl_set_object_callback(s.attribs, nothing, 0);
  s.cmb_input = fl_add_input(FL_NORMAL_INPUT, 110, 90, 160, 25, "Datenbank ");
  fl_set_object_callback(s.cmb_input, myfl_cb_cmb, 0);
  s.cmb_button = fl_add_button(FL_NORMAL_BUTTON, 272, 92, 20, 21, "@2->");
  fl_set_object_callback(s.cmb_button, myfl_cb_cmb_button, 0);
  s.editor = fl_add_editor(0, 110, 150, 320, 110, "Bemerkung ");
  s.tabbox = fl_add_tabbox(2, 20, 290, 600, 170, "");
  fl_set_object_callback(s.tabbox, nothing, 0);
  fl_end_form();

  myfl_set_form_data(s.form, FORMTYPE_GLOBAL, "Formtest 1.0\n");
  myfl_init_helpdialog(s.form, s.help, "FORMTEST_HLP");
  myfl_set_form_atclose(s.form, count_atclose, nullptr);
  myfl_init_input(s.table, 20);
  myfl_init_input(s.attribs, 0);
  myfl_init_data_cmb(pBESREC, s.form, s.cmb_input, s.cmb_button, kCombos, 0);
  myfl_set_cmb_callback(s.cmb_input, cmb_changed);
  myfl_define_focus_first(s.form, s.table);
  myfl_define_ctrl_tabbox(s.form, s.tabbox);
  fl_set_tabbox_title(s.tabbox,
                      "Nr   | Name         | Ort          | Bemerkung                  "
                      "                                              ");
  for (int i = 1; i <= 60; i++) {
    char line[200];
    snprintf(line, sizeof line, "%-4d | Kunde %-6d | Ort %-8d | %s", i, i, i,
             "eine recht lange Bemerkung, die weit nach rechts reicht und gescrollt wird");
    fl_add_tabbox_line(s.tabbox, line);
  }
  fl_set_tabbox_dblclick_callback(s.tabbox, count_dblclick, 0);
}

// The temporary directory goes at the end of the process, also of the
// processes that death tests start.
void remove_workdir() {
  if (workdir.empty()) return;
  std::string cmd = "rm -rf '" + workdir + "'";
  if (system(cmd.c_str()) != 0) fprintf(stderr, "cannot remove %s\n", workdir.c_str());
  workdir.clear();
}

class FormsEnv : public testing::Environment {
 public:
  void SetUp() override {
    if (!gui_init("FormsTest")) return;
    char dir[] = "/tmp/forms_gui_XXXXXX";
    if (!mkdtemp(dir)) return;
    workdir = dir;
    atexit(remove_workdir);
    if (chdir(dir) != 0) return;
    server_ = std::make_unique<ScriptedServer>();
    port_ = server_->port_text();
    dbsetport(port_.c_str());
    if (FE_Init(&pBESREC, "FORMTEST") != 1) return;
    myfl_set_applname(kApp);
    dialog_hooks.open_help = count_help;
    build_sample();
    ready = true;
  }

 private:
  std::unique_ptr<ScriptedServer> server_;
  std::string port_;
};

testing::Environment *const env = testing::AddGlobalTestEnvironment(new FormsEnv);

void pump() { gui_pump(); }

std::string ini_text() {
  std::ifstream in(std::string(kApp) + ".ini");
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class FormsGui : public testing::Test {
 protected:
  void SetUp() override {
    if (!ready) GTEST_SKIP() << "no X display";
    script.on_unscripted = unscripted;
    goodies_set_script(&script);
    dblclicks = atcloses = helps = cmb_changes = 0;
    cmb_changed_by = nullptr;
  }
  void TearDown() override {
    if (!ready) return;
    myfl_close_cmb();
    for (FL_FORM *f : {sample.form, fd_ZOOM->ZOOM, fd_HELP->HELP, fd_TBEXP->TBEXP, fd_TVIEW->TVIEW,
                       fd_SORT->SORT})
      if (fl_form_is_visible(f)) fl_hide_form(f);
    pump();
    goodies_set_script(nullptr);
    EXPECT_TRUE(script.steps.empty()) << "dialogs expected but not shown";
  }
  // Shows the sample form at a stored position (or centred) and puts the
  // pointer into it.
  void show(int x = -1, int y = -1) {
    Clear_ini_Data(kApp, "Formtest 1.0_XY");
    if (x != -1) {
      std::string line = "[Formtest 1.0_XY] " + std::to_string(x) + " " + std::to_string(y) + "\n";
      Set_ini_Data(kApp, "Formtest 1.0_XY", line.c_str());
    }
    myfl_show_form(sample.form, "Formtest");
    pump();
    enter(sample.form);
  }
  Window win(FL_FORM *f) { return f->window; }
  // The pointer into a form, with the crossing event XForms would get.
  void enter(FL_FORM *f) {
    XWarpPointer(fl_get_display(), None, f->window, 0, 0, 0, 0, 5, 5);
    XSync(fl_get_display(), False);
    crossing(f, EnterNotify);
  }
  void crossing(FL_FORM *f, int type) { gui_crossing(f->window, type, event_time++); }
  void key_event(FL_FORM *f, int type, KeySym sym, unsigned state) {
    gui_key_event(f->window, type, sym, state, event_time);
    event_time += 100;
  }
  void key(FL_FORM *f, KeySym sym, unsigned state = 0) {
    key_event(f, KeyPress, sym, state);
    key_event(f, KeyRelease, sym, state);
  }
  void ctrl_key(FL_FORM *f, KeySym sym) {
    key_event(f, KeyPress, XK_Control_L, 0);
    key(f, sym, ControlMask);
    key_event(f, KeyRelease, XK_Control_L, ControlMask);
  }
  void type_text(FL_FORM *f, const char *text) {
    for (const char *p = text; *p; p++) key(f, static_cast<KeySym>(*p));
  }
  FL_OBJECT *focus() { return fl_get_focus_object(sample.form); }
  // A click at (x, y) of a form's window, the pointer moved there first.
  void click(FL_FORM *f, int x, int y, unsigned button = 1) {
    for (int type : {MotionNotify, ButtonPress, ButtonRelease}) {
      gui_pointer(f->window, type, x, y, f->x + x, f->y + y, button, event_time);
      event_time += 1000;  // never a double click
    }
  }

  GOODIES_SCRIPT script;
};

// The objects of a form in creation order.
std::vector<FL_OBJECT *> objects_of(FL_FORM *f) {
  std::vector<FL_OBJECT *> all;
  for (FL_OBJECT *ob = f->first; ob; ob = ob->next) all.push_back(ob);
  return all;
}

std::string geometry(FL_OBJECT *ob) {
  return std::to_string(ob->x) + "," + std::to_string(ob->y) + " " + std::to_string(ob->w) + "x" +
         std::to_string(ob->h);
}

std::string form_name(FL_FORM *f) {
  char name[100] = "";
  return myfl_get_form_name(f, name, sizeof name) ? name : "-";
}

bool in_formwinls(FL_FORM *f) {
  intptr_t value;
  for (lsinitread(&FormWinLs); lsread(&FormWinLs, &value);)
    if (reinterpret_cast<FL_FORM *>(value) == f) return true;
  return false;
}

TEST_F(FormsGui, InitCreatesAndRegistersTheSharedDialogs) {
  struct Dialog {
    FL_FORM *form;
    int w, h;
    const char *name, *help;
  };
  for (const Dialog &d : {Dialog{fd_ZOOM->ZOOM, 660, 630, "Editor-Zoom", "ZOOM_HLP"},
                          Dialog{fd_HELP->HELP, 660, 630, "Hilfedialog", "HELP_HLP"},
                          Dialog{fd_TBEXP->TBEXP, 420, 150, "Export-Tabbox", "TBEXP_HLP"},
                          Dialog{fd_TVIEW->TVIEW, 590, 640, "Tabbox-Viewer", "TVIEW_HLP"},
                          Dialog{fd_SORT->SORT, 700, 490, "Tabbox-Sortierung", "SORT_HLP"}}) {
    EXPECT_EQ(d.form->w, d.w) << d.name;
    EXPECT_EQ(d.form->h, d.h) << d.name;
    EXPECT_EQ(form_name(d.form), d.name);
    int type = -1;
    EXPECT_EQ(myfl_get_form_type(d.form, &type), 1);
    EXPECT_EQ(type, FORMTYPE_SYSDIALOG);
    EXPECT_TRUE(in_formwinls(d.form)) << d.name;
    // Background box, then the invisible help button with its key.
    std::vector<FL_OBJECT *> obs = objects_of(d.form);
    ASSERT_GE(obs.size(), 3u);
    EXPECT_EQ(obs[0]->boxtype, FL_FLAT_BOX);
    EXPECT_EQ(geometry(obs[0]), "0,0 " + std::to_string(d.w) + "x" + std::to_string(d.h));
    EXPECT_EQ(obs[1]->type, FL_HIDDEN_BUTTON);
    EXPECT_EQ(geometry(obs[1]), geometry(obs[0]));
    char key[40] = "";
    EXPECT_EQ(myfl_get_help_form_data(d.form, key, sizeof key), 1);
    EXPECT_STREQ(key, d.help);
  }
  // The combo list: no name, no type, not in the list of registered forms,
  // but a help key; its browser fills the form.
  EXPECT_EQ(fd_COMBO->COMBO->w, 300);
  EXPECT_EQ(fd_COMBO->COMBO->h, 220);
  int type = -1;
  EXPECT_EQ(myfl_get_form_type(fd_COMBO->COMBO, &type), 0);
  EXPECT_FALSE(in_formwinls(fd_COMBO->COMBO));
  EXPECT_EQ(form_name(fd_COMBO->COMBO), "COMBO_HLP");
  EXPECT_EQ(geometry(fd_COMBO->browser), "0,0 300x220");
  EXPECT_EQ(fd_COMBO->browser->type, FL_SELECT_BROWSER);
  EXPECT_EQ(fd_COMBO->browser->col2, static_cast<FL_COLOR>(FL_YELLOW));
  EXPECT_EQ(cmb_open, 0);

  // Limits, shortcuts and bindings.
  EXPECT_EQ(myfl_get_obj_data(fd_ZOOM->editor)->maxchars, 4000);
  EXPECT_EQ(fl_get_editor_record(fd_ZOOM->editor)->maxchars, 4000);
  EXPECT_FALSE(fl_object_is_visible(fl_get_editor_record(fd_ZOOM->editor)->zoom));
  EXPECT_EQ(myfl_get_obj_data(fd_TBEXP->filename)->maxchars, 58);
  EXPECT_EQ(myfl_get_obj_data(fd_SORT->maxwidth)->maxchars, 3);
  EXPECT_EQ(myfl_get_obj_data(fd_SORT->decimals)->maxchars, 2);
  EXPECT_EQ(myfl_get_obj_data(fd_HELP->text)->maxchars, 0);
  EXPECT_EQ(myfl_get_obj_data(fd_TVIEW->tabbox)->tbview, 1);
  EXPECT_EQ(fl_get_tabbox_record(fd_TVIEW->tabbox)->view, 0);
  for (FL_OBJECT *ok : {fd_ZOOM->ok, fd_HELP->ok, fd_TBEXP->ok, fd_SORT->ok})
    EXPECT_STREQ(myfl_get_obj_data(ok)->shortcut, "^O^o");
  EXPECT_STREQ(myfl_get_obj_data(fd_HELP->save)->shortcut, "^l^L");
  EXPECT_STREQ(myfl_get_obj_data(fd_HELP->editor)->shortcut, "^N^n");
  EXPECT_STREQ(myfl_get_obj_data(fd_HELP->composer)->shortcut, "^C^c");
  // Editors made after FE_Init record their zoom shortcut.
  EXPECT_STREQ(myfl_get_obj_data(fl_get_editor_record(sample.editor)->zoom)->shortcut, "^Z^z");
  EXPECT_EQ(tabbox_hooks.is_cmb, myfl_is_cmb);
  EXPECT_EQ(tabbox_hooks.ctrl_pressed, &ctrl_pressed);
  EXPECT_EQ(tabbox_hooks.shift_pressed, &shift_pressed);
  for (FL_FORM *used : {ZOOM_Usedby, HELP_Usedby, TBEXP_Usedby, TVIEW_Usedby, SORT_Usedby})
    EXPECT_EQ(used, nullptr);
}

TEST_F(FormsGui, DialogLayouts) {
  EXPECT_EQ(geometry(fd_ZOOM->frame), "10,10 640x580");
  EXPECT_EQ(geometry(fl_get_editor_record(fd_ZOOM->editor)->object), "20,20 620x560");
  EXPECT_EQ(geometry(fd_ZOOM->ok), "10,600 90x21");
  EXPECT_STREQ(fd_ZOOM->ok->label, "O\bK");  // the underlined shortcut key

  EXPECT_EQ(geometry(fd_HELP->text), "10,10 640x581");
  EXPECT_EQ(fd_HELP->text->type, FL_MULTILINE_INPUT);
  EXPECT_EQ(geometry(fd_HELP->ok), "10,600 90x21");
  EXPECT_EQ(geometry(fd_HELP->save), "125,600 130x21");
  EXPECT_STREQ(fd_HELP->save->label, "Hil\bfetext sichern");
  EXPECT_EQ(geometry(fd_HELP->editor), "275,600 130x21");
  EXPECT_STREQ(fd_HELP->editor->label, "N\betscape Editor");
  EXPECT_EQ(geometry(fd_HELP->composer), "415,600 90x21");
  EXPECT_EQ(geometry(fd_HELP->status), "510,600 140x21");

  EXPECT_EQ(geometry(fd_TBEXP->title), "10,10 190x20");
  EXPECT_STREQ(fd_TBEXP->title->label, "Tabbox exportieren");
  EXPECT_EQ(fd_TBEXP->title->lsize, 14);
  EXPECT_EQ(fd_TBEXP->title->lstyle, FL_EMBOSSED_STYLE);
  EXPECT_EQ(fd_TVIEW->title->lsize, 12);
  EXPECT_EQ(geometry(fd_TBEXP->filename), "90,50 180x21");
  EXPECT_STREQ(fd_TBEXP->filename->label, "Dateiname ");
  EXPECT_EQ(geometry(fd_TBEXP->export_tb), "290,50 100x21");
  EXPECT_STREQ(fd_TBEXP->export_all->label, "exp. alle Daten");
  EXPECT_EQ(geometry(fd_TBEXP->ok), "20,110 90x21");

  EXPECT_STREQ(fd_TVIEW->title->label, "Tabbox-Viewer");
  EXPECT_EQ(geometry(fd_TVIEW->tabbox), "20,40 550x580");
  EXPECT_EQ(fd_TVIEW->tabbox->type, 0);

  FD_SORT *s = fd_SORT;
  EXPECT_STREQ(s->title->label, "Tabbox Einstellungen");
  EXPECT_EQ(geometry(s->frame_top), "20,40 660x40");
  EXPECT_EQ(geometry(s->dbnames), "30,50 130x21");
  EXPECT_EQ(geometry(s->decimals), "290,50 40x21");
  EXPECT_EQ(s->decimals->type, FL_INT_INPUT);
  EXPECT_STREQ(s->decimals->label, "Nachkommastellen ");
  EXPECT_EQ(geometry(s->maxwidth), "460,50 50x21");
  EXPECT_STREQ(s->vertical->label, " vertikale Darstellung");
  EXPECT_EQ(geometry(s->frame_lists), "20,80 660x360");
  EXPECT_STREQ(s->avail_text->label,
               "verf\xfc"
               "gbare Spalten");
  EXPECT_STREQ(s->select_text->label, "ausgew\xe4hlte Spalten");
  EXPECT_EQ(geometry(s->avail), "30,110 160x320");
  EXPECT_EQ(geometry(s->select), "240,110 160x320");
  EXPECT_EQ(geometry(s->sort), "450,110 180x290");
  for (FL_OBJECT *tb : {s->avail, s->select, s->sort}) EXPECT_EQ(tb->type, 2);
  struct Arrow {
    FL_OBJECT *ob;
    int x, y;
  };
  for (const Arrow &a :
       {Arrow{s->select_up, 410, 150}, Arrow{s->sort_up, 640, 160}, Arrow{s->select_down, 410, 200},
        Arrow{s->avail_in, 200, 210}, Arrow{s->sort_down, 640, 210}, Arrow{s->avail_out, 200, 280},
        Arrow{s->select_out, 410, 290}, Arrow{s->change, 640, 290}, Arrow{s->select_in, 410, 340}})
    EXPECT_EQ(geometry(a.ob), std::to_string(a.x) + "," + std::to_string(a.y) + " 30x31");
  EXPECT_EQ(geometry(s->ascending), "470,410 80x21");
  EXPECT_STREQ(s->descending->label, " abw\xe4rts");
  EXPECT_EQ(geometry(s->ok), "20,450 90x21");
  // The objects stand in the record's order.
  std::vector<FL_OBJECT *> obs = objects_of(s->SORT);
  EXPECT_EQ(obs.size(), 27u);
  EXPECT_EQ(obs.back(), s->ok);
}

int pointer_x, pointer_y;
void query_pointer() {
  Window root, child;
  int wx, wy;
  unsigned mask;
  XQueryPointer(fl_get_display(), DefaultRootWindow(fl_get_display()), &root, &child, &pointer_x,
                &pointer_y, &wx, &wy, &mask);
}

TEST_F(FormsGui, ShownCentredThenAtTheStoredPosition) {
  show();
  FL_FORM *f = sample.form;
  EXPECT_EQ(f->x, (fl_scrw - 640) / 2);
  EXPECT_EQ(f->y, (fl_scrh - 480) / 2);
  // The size is fixed to the first show's.
  FORMREC *rec = myfl_get_form_rec(f);
  EXPECT_EQ(rec->fixed_w, 640);
  EXPECT_EQ(rec->fixed_h, 480);
  EXPECT_EQ(focus(), sample.table);
  int cx = f->x + 320, cy = f->y + 240;
  myfl_hide_form(f);
  pump();
  EXPECT_FALSE(fl_form_is_visible(f));
  // The window title ends in a line break; the key is cut before it, and
  // the file holds nothing but the one entry line.
  EXPECT_EQ(ini_text(), "[Formtest 1.0_XY] " + std::to_string(cx - 320) + " " +
                            std::to_string(cy - 240) + "\n");
  myfl_show_form(f, "Formtest");
  pump();
  EXPECT_EQ(f->x, cx - 320);
  EXPECT_EQ(f->y, cy - 240);
  // The pointer goes to the form's centre.
  query_pointer();
  EXPECT_EQ(pointer_x, cx);
  EXPECT_EQ(pointer_y, cy);
  // Hiding a hidden form changes nothing.
  myfl_hide_form(f);
  fl_set_form_position(f, 3, 4);
  myfl_hide_form(f);
  EXPECT_EQ(ini_text(), "[Formtest 1.0_XY] " + std::to_string(cx - 320) + " " +
                            std::to_string(cy - 240) + "\n");
}

TEST_F(FormsGui, StoredPositionsArePulledOntoTheScreen) {
  show(5000, -30);
  EXPECT_EQ(sample.form->x, fl_scrw - 640);
  EXPECT_EQ(sample.form->y, 0);
  myfl_hide_form(sample.form);
  show(-200, 9000);
  EXPECT_EQ(sample.form->x, 0);
  EXPECT_EQ(sample.form->y, fl_scrh - 480);
  myfl_hide_form(sample.form);
  // An unreadable line: centred.
  Set_ini_Data(kApp, "Formtest 1.0_XY", "[Formtest 1.0_XY] links oben\n");
  myfl_show_form(sample.form, "Formtest");
  pump();
  EXPECT_EQ(sample.form->x, (fl_scrw - 640) / 2);
}

TEST_F(FormsGui, FocusFirstAndNextUsableInput) {
  show();
  EXPECT_EQ(focus(), sample.table);
  myfl_hide_form(sample.form);
  // A deactivated focus-first object hands over to the next usable input.
  fl_deactivate_object(sample.table);
  show();
  EXPECT_EQ(focus(), sample.attribs);
  EXPECT_EQ(myfl_set_focus_next(sample.form), 0);
  fl_activate_object(sample.table);
  EXPECT_EQ(myfl_set_focus_next(sample.form), 1);
  EXPECT_EQ(focus(), sample.table);
  // The walk skips the deactivated and wraps after the last input.
  fl_deactivate_object(sample.attribs);
  myfl_set_focus_next_input(sample.form, sample.table);
  EXPECT_EQ(focus(), sample.cmb_input);
  FL_OBJECT *editor_input = sample.editor;
  myfl_set_focus_next_input(sample.form, sample.cmb_input);
  EXPECT_EQ(focus(), editor_input);
  myfl_set_focus_next_input(sample.form, editor_input);
  EXPECT_EQ(focus(), sample.table);
  fl_activate_object(sample.attribs);
  // Tab in the editor moves on through the framework, wrapping to the top.
  fl_set_focus_object(sample.form, sample.cmb_input);
  key(sample.form, XK_Tab);  // the toolkit's move, to the editor
  EXPECT_EQ(focus(), editor_input);
  EXPECT_EQ(sample.form->focusobj, editor_input->child);  // the inner input types
  type_text(sample.form, "ab");
  EXPECT_STREQ(fl_get_input(editor_input), "ab");
  key(sample.form, XK_Tab);
  EXPECT_EQ(focus(), sample.table);
  EXPECT_STREQ(fl_get_input(editor_input), "ab");  // no tab typed
  fl_set_input(editor_input, "");
}

TEST_F(FormsGui, TabRule) {
  show();
  Active_Obj = nullptr;
  // The toolkit moves the focus: the key is left to it.
  key(sample.form, XK_Tab);
  EXPECT_EQ(focus(), sample.attribs);
  EXPECT_EQ(Active_Obj, sample.table);
  key(sample.form, XK_Tab);
  EXPECT_EQ(focus(), sample.cmb_input);
  EXPECT_EQ(Active_Obj, sample.attribs);
  // A focus that did not move since the last Tab goes to the focus-first
  // object: the handler uses the key.
  Active_Obj = sample.cmb_input;
  XEvent ev = {};
  ev.xkey.type = KeyPress;
  ev.xkey.display = fl_get_display();
  ev.xkey.window = sample.form->window;
  ev.xkey.keycode = XKeysymToKeycode(fl_get_display(), XK_Tab);
  EXPECT_EQ(XEvent_Callback(sample.form, &ev), 1);
  EXPECT_EQ(focus(), sample.table);
  EXPECT_EQ(Active_Obj, nullptr);
  // Outside every registered form nothing is routed.
  crossing(sample.form, LeaveNotify);
  EXPECT_EQ(Active_Form, nullptr);
  Active_Obj = sample.table;
  EXPECT_EQ(XEvent_Callback(sample.form, &ev), 0);
  EXPECT_EQ(Active_Obj, nullptr);
}

TEST_F(FormsGui, CtrlKeysDriveTheControlTabboxFromAnInput) {
  show();
  TABBOX *tb = fl_get_tabbox_record(sample.tabbox);
  fl_deselect_tabbox(sample.tabbox);
  fl_set_tabbox_topline(sample.tabbox, 1);
  fl_set_input(sample.table, "");
  ctrl_key(sample.form, XK_Down);
  ctrl_key(sample.form, XK_Down);
  EXPECT_EQ(fl_get_tabbox(sample.tabbox), 2);
  ctrl_key(sample.form, XK_Up);
  EXPECT_EQ(fl_get_tabbox(sample.tabbox), 1);
  ctrl_key(sample.form, XK_Next);
  int page = fl_get_tabbox(sample.tabbox);
  EXPECT_GT(page, 5);
  ctrl_key(sample.form, XK_Prior);
  EXPECT_LT(fl_get_tabbox(sample.tabbox), page);
  ctrl_key(sample.form, XK_Right);
  EXPECT_GT(tb->left_col, 0);
  ctrl_key(sample.form, XK_Home);
  EXPECT_EQ(tb->left_col, 0);
  ctrl_key(sample.form, XK_End);
  int rightmost = tb->left_col;
  EXPECT_GT(rightmost, 0);
  ctrl_key(sample.form, XK_Left);
  EXPECT_LT(tb->left_col, rightmost);
  // The keys never reached the input, whose focus and text stay.
  EXPECT_EQ(focus(), sample.table);
  EXPECT_STREQ(fl_get_input(sample.table), "");
  // Ctrl+Return is a double click on the table; plain Return is not.
  key(sample.form, XK_Return);
  EXPECT_EQ(dblclicks, 0);
  ctrl_key(sample.form, XK_Return);
  EXPECT_EQ(dblclicks, 1);
  EXPECT_EQ(ctrl_pressed, 0);
}

TEST_F(FormsGui, WithoutControlTabboxCtrlKeysReachTheToolkit) {
  show();
  myfl_define_ctrl_tabbox(sample.form, nullptr);
  fl_deselect_tabbox(sample.tabbox);
  ctrl_key(sample.form, XK_Down);
  EXPECT_EQ(fl_get_tabbox(sample.tabbox), 0);
  EXPECT_EQ(myfl_call_ctrl_tabbox_down(sample.form), 0);
  // The handler leaves the keys to the toolkit.
  XEvent ev = {};
  ev.xkey.type = KeyPress;
  ev.xkey.display = fl_get_display();
  ev.xkey.window = sample.form->window;
  ev.xkey.state = ControlMask;
  ctrl_pressed = 1;
  for (KeySym sym : {XK_Home, XK_End, XK_Left, XK_Right, XK_Prior, XK_Next, XK_Up, XK_Down}) {
    ev.xkey.keycode = XKeysymToKeycode(fl_get_display(), sym);
    EXPECT_EQ(XEvent_Callback(sample.form, &ev), 0) << sym;
  }
  myfl_define_ctrl_tabbox(sample.form, sample.tabbox);
  EXPECT_EQ(myfl_get_ctrl_tabbox(sample.form), sample.tabbox);
  ev.xkey.keycode = XKeysymToKeycode(fl_get_display(), XK_Home);
  EXPECT_EQ(XEvent_Callback(sample.form, &ev), 1);
  ctrl_pressed = 0;
}

TEST_F(FormsGui, EscapeRunsTheAtCloseFunctionAndF1OpensHelp) {
  show();
  key(sample.form, XK_Escape);
  EXPECT_EQ(atcloses, 1);
  EXPECT_TRUE(fl_form_is_visible(sample.form));  // the at-close function kept it
  key(sample.form, XK_F1);
  EXPECT_EQ(helps, 1);
  // On a free area the right mouse button opens help, the left one does
  // nothing.
  click(sample.form, 600, 20, 1);
  EXPECT_EQ(helps, 1);
  click(sample.form, 600, 20, 3);
  EXPECT_EQ(helps, 2);
  EXPECT_EQ(atcloses, 1);
}

TEST_F(FormsGui, UpperCaseInputKeepsTheCursor) {
  show();
  fl_set_input(sample.table, "");
  type_text(sample.form, "kunde");
  EXPECT_STREQ(fl_get_input(sample.table), "KUNDE");
  key(sample.form, XK_Left);
  key(sample.form, XK_Left);
  type_text(sample.form, "x");
  EXPECT_STREQ(fl_get_input(sample.table), "KUNXDE");
  int col = -1, line = -1;
  fl_get_input_cursorpos(sample.table, &col, &line);
  EXPECT_EQ(col, 4);
  // The limit of 20 characters holds.
  type_text(sample.form, "aaaaaaaaaaaaaaaaaaaa");
  EXPECT_EQ(strlen(fl_get_input(sample.table)), 20u);
}

TEST_F(FormsGui, TypedInputs) {
  EXPECT_EQ(myfl_set_input(sample.attribs, "Name, Ort   "), 1);
  EXPECT_STREQ(myfl_get_input(sample.attribs), "Name, Ort");
  myfl_set_input(sample.editor, "Text mit Blanks   ");
  EXPECT_STREQ(myfl_get_input(sample.editor), "Text mit Blanks");
  std::string big(9999, 'x');
  myfl_set_input(sample.editor, (big + "  ").c_str());  // 10001: kept whole
  EXPECT_EQ(strlen(myfl_get_input(sample.editor)), 10001u);
  myfl_set_input(sample.editor, "");
  myfl_set_input_short(sample.attribs, -5);
  EXPECT_STREQ(fl_get_input(sample.attribs), "-5");
  EXPECT_EQ(myfl_get_input_short(sample.attribs), -5);
  myfl_set_input_short(sample.attribs, INPUT_NO_SHORT);
  EXPECT_STREQ(fl_get_input(sample.attribs), "");
  EXPECT_EQ(myfl_get_input_short(sample.attribs), INPUT_NO_SHORT);
  EXPECT_EQ(sample.attribs->type, FL_NORMAL_INPUT);
  // Limits: 0 leaves a toolkit input unlimited, an editor takes it as is.
  EXPECT_EQ(myfl_get_obj_data(sample.attribs)->maxchars, 0);
  EXPECT_EQ(myfl_get_obj_data(sample.table)->maxchars, 20);
  EDITOR *ed = fl_get_editor_record(sample.editor);
  myfl_init_input(sample.editor, 0);
  EXPECT_EQ(ed->maxchars, 0);
  EXPECT_FALSE(fl_object_is_visible(ed->format));
  myfl_init_input(sample.editor, -1);
  EXPECT_EQ(ed->maxchars, -1);
  EXPECT_TRUE(fl_object_is_visible(ed->format));
  EXPECT_EQ(myfl_get_obj_data(sample.editor)->maxchars, -1);

  FL_FORM *f = fl_bgn_form(FL_FLAT_BOX, 100, 50);
  FL_OBJECT *button = fl_add_checkbutton(FL_PUSH_BUTTON, 5, 5, 50, 20, "x");
  fl_end_form();
  for (int on : std::vector<int>{'1', 1}) {
    myfl_set_button(button, 0);
    EXPECT_EQ(myfl_get_button(button), '0');
    myfl_set_button(button, on);
    EXPECT_EQ(myfl_get_button(button), '1');
  }
  for (int off : std::vector<int>{'0', 0, 'x', 2}) {
    myfl_set_button(button, 1);
    myfl_set_button(button, off);
    EXPECT_EQ(myfl_get_button(button), '0') << off;
  }
  fl_free_form(f);
}

TEST_F(FormsGui, FormNamesTypesAndTheListOfForms) {
  EXPECT_EQ(form_name(sample.form), "Formtest 1.0\n");
  int type = -1;
  EXPECT_EQ(myfl_get_form_type(sample.form, &type), 1);
  EXPECT_EQ(type, FORMTYPE_GLOBAL);
  EXPECT_STREQ(form_type_text(FORMTYPE_SYSDIALOG), "Systemdialog");
  EXPECT_STREQ(form_type_text(-1), "???");
  EXPECT_STREQ(form_type_text(6), "???");
  LIST forms;
  lsinit(&forms);
  lsinsert(&forms, 0);  // appended after what is there
  myfl_get_forms(&forms);
  EXPECT_EQ(lsnumber(&forms), 8);  // the earlier value, five dialogs, COMBO, the sample
  lsfree(&forms);
  // A form without record or help key has no name.
  FL_FORM *bare = fl_bgn_form(FL_FLAT_BOX, 10, 10);
  fl_end_form();
  EXPECT_EQ(form_name(bare), "-");
  EXPECT_EQ(myfl_get_form_type(bare, &type), 0);
  fl_free_form(bare);
}

class ComboGui : public FormsGui {
 protected:
  void SetUp() override {
    FormsGui::SetUp();
    if (!ready) return;
    cmb = myfl_get_cmb(sample.cmb_input);
    cmb->data.selected = -1;
    fl_set_input(sample.cmb_input, "");
  }
  FL_FORM *list() { return fd_COMBO->COMBO; }
  bool list_shown() { return fl_form_is_visible(list()) && cmb_open && cmb->list_open; }
  void focus_combo() {
    fl_set_focus_object(sample.form, sample.cmb_input);
    pump();
  }

  CMBREC *cmb = nullptr;
};

TEST_F(ComboGui, EntriesAreSortedWithTheBlankOneFirst) {
  std::vector<std::string> texts = cmb->data.texts;
  EXPECT_EQ(texts,
            (std::vector<std::string>{" ", "archiv", "demo", "Dublin", "Essen", "kvsys", "Zeta"}));
  EXPECT_EQ(myfl_is_cmb(sample.cmb_input), 1);
  EXPECT_EQ(myfl_is_cmb(sample.cmb_button), 1);
  EXPECT_EQ(myfl_is_cmb(sample.table), 0);
  EXPECT_STREQ(myfl_get_obj_data(sample.cmb_input)->cmb_data, kCombos);
}

TEST_F(ComboGui, ChoosingByCode) {
  EXPECT_STREQ(myfl_get_cmb_code(sample.cmb_input), "    ");
  EXPECT_EQ(myfl_set_cmb_code(sample.cmb_input, "ESS"), 1);
  EXPECT_STREQ(fl_get_input(sample.cmb_input), "Essen");
  EXPECT_STREQ(myfl_get_cmb_code(sample.cmb_input), "ESS");
  EXPECT_EQ(cmb_changes, 1);
  EXPECT_EQ(cmb_changed_by, sample.cmb_input);
  kv_capture_log();
  EXPECT_EQ(myfl_set_cmb_code(sample.cmb_input, "NIX"), 0);
  EXPECT_EQ(kv_captured_log(), "(set_cmb_code) Warning: CMB-Code 'NIX' is invalid!\n");
  EXPECT_STREQ(fl_get_input(sample.cmb_input), "NIX");
  EXPECT_STREQ(myfl_get_cmb_code(sample.cmb_input), "ESS");  // unchanged
  EXPECT_EQ(cmb_changes, 1);
  EXPECT_EQ(myfl_set_cmb_code(sample.cmb_input, ""), 1);  // the blank entry
  EXPECT_STREQ(fl_get_input(sample.cmb_input), "");
  EXPECT_STREQ(myfl_get_cmb_code(sample.cmb_input), "    ");
  EXPECT_EQ(cmb->data.selected, 0);
}

TEST_F(ComboGui, TypingAPrefixAndReturnCompletes) {
  show();
  struct Case {
    const char *typed, *shown, *code;
    int changes;
  };
  // A prefix in any case completes; a text no entry starts with stays as
  // typed and leaves the choice.
  for (const Case &c :
       {Case{"du", "Dublin", "DUB", 1}, Case{"xy", "xy", "DUB", 1}, Case{"ZE", "Zeta", "ZET", 2}}) {
    focus_combo();
    fl_set_input(sample.cmb_input, "");
    type_text(sample.form, c.typed);
    key(sample.form, XK_Return);
    EXPECT_STREQ(fl_get_input(sample.cmb_input), c.shown);
    EXPECT_STREQ(myfl_get_cmb_code(sample.cmb_input), c.code);
    EXPECT_EQ(cmb_changes, c.changes);
  }
  // An emptied input unselects without a callback.
  focus_combo();
  fl_set_input(sample.cmb_input, "");
  myfl_cb_cmb(sample.cmb_input, 0);
  EXPECT_STREQ(myfl_get_cmb_code(sample.cmb_input), "    ");
  EXPECT_EQ(cmb_changes, 2);
}

TEST_F(ComboGui, UpAndDownStepThroughTheEntries) {
  show();
  focus_combo();
  key(sample.form, XK_Down);  // from the empty input: the first real entry
  EXPECT_STREQ(fl_get_input(sample.cmb_input), "archiv");
  key(sample.form, XK_Down);
  EXPECT_STREQ(myfl_get_cmb_code(sample.cmb_input), "DEMO");
  EXPECT_EQ(cmb_changes, 2);
  EXPECT_EQ(cmb_changed_by, sample.cmb_input);
  key(sample.form, XK_Up);
  key(sample.form, XK_Up);  // onto the blank entry
  EXPECT_STREQ(fl_get_input(sample.cmb_input), "");
  key(sample.form, XK_Up);  // on the first entry: the input is emptied
  EXPECT_STREQ(fl_get_input(sample.cmb_input), "");
  EXPECT_EQ(cmb->data.selected, 0);
  myfl_set_cmb_code(sample.cmb_input, "ZET");
  key(sample.form, XK_Down);  // the last entry stays
  EXPECT_STREQ(myfl_get_cmb_code(sample.cmb_input), "ZET");
  EXPECT_EQ(focus(), sample.cmb_input);
}

TEST_F(ComboGui, F4OpensTheListBelowTheInputAndAClickPicks) {
  show();
  focus_combo();
  fl_set_input(sample.cmb_input, "e");
  key(sample.form, XK_F4);
  ASSERT_TRUE(list_shown());
  EXPECT_EQ(open_cmb, cmb);
  EXPECT_EQ(cmb_browser_called_from, sample.cmb_input);
  // 7 entries: 14 * 7 + 14 = 112 high, 20 more for the form; the input's
  // width + 20 wide; at the input's left edge, just below it.
  EXPECT_EQ(list()->w, 160 + 20);
  EXPECT_EQ(list()->h, 112 + 20);
  EXPECT_EQ(list()->x, sample.form->x + 110);
  EXPECT_EQ(list()->y, sample.form->y + 90 + 25);
  EXPECT_EQ(fl_get_browser_maxline(fd_COMBO->browser), 7);
  EXPECT_STREQ(fl_get_browser_line(fd_COMBO->browser, 2), "archiv");
  // The typed prefix is completed and its line selected.
  EXPECT_STREQ(fl_get_input(sample.cmb_input), "Essen");
  EXPECT_EQ(fl_get_browser(fd_COMBO->browser), 5);
  // The pointer sits inside the list, the focus stays on the input.
  query_pointer();
  EXPECT_EQ(pointer_x, list()->x + 180 * 2 / 3);
  EXPECT_EQ(pointer_y, list()->y + 132 / 2);
  EXPECT_EQ(focus(), sample.cmb_input);
  gui_screenshot("root", "combo_list.png");  // the list is a window of its own

  // A click on the fourth line picks "Dublin" and closes the list.
  int asc = 0, desc = 0;
  int line_h = fl_get_char_height(FL_NORMAL_STYLE, 12, &asc, &desc);
  click(list(), 60, std::abs(fd_COMBO->browser->bw) + 3 * line_h + line_h / 2 + 2);
  EXPECT_FALSE(list_shown());
  EXPECT_EQ(cmb_open, 0);
  EXPECT_STREQ(fl_get_input(sample.cmb_input), "Dublin");
  EXPECT_STREQ(myfl_get_cmb_code(sample.cmb_input), "DUB");
  EXPECT_EQ(cmb_changed_by, fd_COMBO->browser);

  // The button opens and closes the list as well.
  click(sample.form, 280, 100);
  EXPECT_TRUE(list_shown());
  EXPECT_EQ(cmb_browser_called_from, sample.cmb_button);
  myfl_cb_cmb_button(sample.cmb_button, 0);
  EXPECT_FALSE(list_shown());
}

TEST_F(ComboGui, KeysInsideTheOpenList) {
  show();
  focus_combo();
  key(sample.form, XK_F4);
  ASSERT_TRUE(list_shown());
  key(list(), XK_Down);
  key(list(), XK_Down);
  EXPECT_STREQ(fl_get_input(sample.cmb_input), "demo");
  EXPECT_EQ(fl_get_browser(fd_COMBO->browser), 3);
  key(list(), XK_Up);
  EXPECT_STREQ(myfl_get_cmb_code(sample.cmb_input), "ARCHIV");
  key(list(), XK_Return);  // closes, the choice stays
  EXPECT_FALSE(list_shown());
  EXPECT_STREQ(myfl_get_cmb_code(sample.cmb_input), "ARCHIV");
  // F4 inside the list closes it too; so does Escape.
  focus_combo();
  key(sample.form, XK_F4);
  ASSERT_TRUE(list_shown());
  key(list(), XK_F4);
  EXPECT_FALSE(list_shown());
  key(sample.form, XK_F4);
  ASSERT_TRUE(list_shown());
  key(list(), XK_Escape);
  EXPECT_FALSE(list_shown());
  EXPECT_EQ(atcloses, 0);  // the window under the list stays
  // Finishing the typing with the list open selects the matching line.
  focus_combo();
  fl_set_input(sample.cmb_input, "");
  key(sample.form, XK_F4);
  ASSERT_TRUE(list_shown());
  fl_set_input(sample.cmb_input, "KV");
  myfl_cb_cmb(sample.cmb_input, 0);
  EXPECT_STREQ(fl_get_input(sample.cmb_input), "kvsys");
  EXPECT_EQ(fl_get_browser(fd_COMBO->browser), 6);
  EXPECT_STREQ(myfl_get_cmb_code(sample.cmb_input), "KVSYS");
  myfl_close_cmb();
  // With the list open, Return in the form closes it as well.
  focus_combo();
  key(sample.form, XK_F4);
  ASSERT_TRUE(list_shown());
  key(sample.form, XK_Return);
  EXPECT_FALSE(list_shown());
}

TEST_F(ComboGui, LeavingTheListOrLosingTheFocusClosesIt) {
  show();
  focus_combo();
  key(sample.form, XK_F4);
  ASSERT_TRUE(list_shown());
  crossing(list(), LeaveNotify);
  EXPECT_FALSE(list_shown());
  EXPECT_EQ(cmb_open, 0);
  focus_combo();
  key(sample.form, XK_F4);
  ASSERT_TRUE(list_shown());
  fl_set_focus_object(sample.form, sample.table);
  pump();
  EXPECT_FALSE(list_shown());
  // The pointer entering a registered form raises the open list.
  focus_combo();
  key(sample.form, XK_F4);
  ASSERT_TRUE(list_shown());
  // Lowered and raised again before any event is read: the real crossing
  // events the lowering causes come only after the check.
  XLowerWindow(fl_get_display(), list()->window);
  XEvent enter_ev = {};
  enter_ev.xcrossing.type = EnterNotify;
  enter_ev.xcrossing.window = sample.form->window;
  enter_ev.xcrossing.detail = NotifyAncestor;
  EXPECT_EQ(XEvent_Callback(sample.form, &enter_ev), 0);
  EXPECT_EQ(Active_Form, sample.form);
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  XQueryTree(fl_get_display(), DefaultRootWindow(fl_get_display()), &root, &parent, &children,
             &count);
  ASSERT_GT(count, 0u);
  EXPECT_EQ(children[count - 1], list()->window);
  XFree(children);
  myfl_close_cmb();
  // The window manager's close only closes the list.
  focus_combo();
  key(sample.form, XK_F4);
  ASSERT_TRUE(list_shown());
  EXPECT_EQ(COMBO_AtClose(list(), nullptr), FL_IGNORE);
  EXPECT_FALSE(list_shown());
}

TEST_F(ComboGui, NearTheBottomEdgeTheListOpensAboveAndOnlyOneListOpens) {
  static FL_FORM *foot = nullptr;
  static FL_OBJECT *foot_input, *foot_button;
  if (!foot) {
    foot = fl_bgn_form(FL_FLAT_BOX, 320, 60);
    FL_OBJECT *help = myfl_add_help_button(320, 60);
    foot_input = fl_add_input(FL_NORMAL_INPUT, 90, 30, 150, 25, "Land ");
    fl_set_object_callback(foot_input, myfl_cb_cmb, 0);
    foot_button = fl_add_button(FL_NORMAL_BUTTON, 242, 32, 20, 21, "@2->");
    fl_set_object_callback(foot_button, myfl_cb_cmb_button, 0);
    fl_end_form();
    myfl_set_form_data(foot, FORMTYPE_DIALOG, "Fusszeile");
    myfl_init_helpdialog(foot, help, "FUSS_HLP");
    std::string many;
    for (int i = 0; i < 30; i++) many += (i ? "|Land " : "Land ") + std::to_string(i) + ",L";
    myfl_init_data_cmb(pBESREC, foot, foot_input, foot_button, many.c_str(), 1);
  }
  Set_ini_Data(kApp, "Fusszeile_XY", "[Fusszeile_XY] 100 5000\n");
  myfl_show_form(foot, "Fusszeile");
  pump();
  ASSERT_EQ(foot->y, fl_scrh - 60);
  enter(foot);
  fl_set_focus_object(foot, foot_input);
  key(foot, XK_F4);
  ASSERT_TRUE(fl_form_is_visible(list()));
  // 30 entries: capped at 250, the form 270 high, ending at the input's top.
  EXPECT_EQ(list()->h, 270);
  EXPECT_EQ(list()->y, foot->y + 30 - 250 - 20);
  EXPECT_EQ(list()->x, foot->x + 90);
  // Another combo cannot open its list meanwhile.
  myfl_cb_cmb_button(sample.cmb_button, 0);
  EXPECT_EQ(open_cmb, myfl_get_cmb(foot_input));
  EXPECT_EQ(cmb->list_open, 0);
  myfl_close_cmb();
  myfl_hide_form(foot);
  pump();
}

TEST_F(FormsGui, MisusedRegistrationsEndTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(myfl_init_data_cmb(pBESREC, sample.form, sample.cmb_input, nullptr, "a,1", 0),
              testing::ExitedWithCode(1), "^\\(myfl_init_data_cmb\\) Cmb already defined\n$");
  EXPECT_EXIT(myfl_init_data_cmb(pBESREC, sample.form, sample.attribs, sample.cmb_button, "a,1", 0),
              testing::ExitedWithCode(1),
              "^\\(myfl_init_data_cmb\\) Cmb \\(button\\) already defined\n$");
  std::string many;
  for (int i = 0; i < CMB_MAX_KEYS; i++) many += (i ? "|" : "") + std::to_string(i) + ",x";
  EXPECT_EXIT(myfl_init_data_cmb(pBESREC, sample.form, sample.attribs, nullptr, many.c_str(), 0),
              testing::ExitedWithCode(1),
              "^\\(myfl_init_data_cmb\\) Too many keys \\(max = 10000\\)\n$");
  EXPECT_EXIT(myfl_init_helpdialog(sample.form, sample.help, "NOCHMAL_HLP"),
              testing::ExitedWithCode(1),
              "^\\(myfl_init_helpdialog\\) Helpdialog 'NOCHMAL_HLP' already defined\n$");
}

}  // namespace
