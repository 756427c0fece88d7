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

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/ini.h"
#include "dbclient/scripted_server.h"
#include "forms/cmb.h"
#include "forms/dialogs.h"
#include "forms/goodies.h"
#include "forms/inputs.h"
#include "forms/objdata.h"
#include "widgets/editor.h"
#include "widgets/mytabs.h"
#include "widgets/tabbox_hooks.h"

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
  s.form = fl_bgn_form(FL_NO_BOX, 640, 480);
  s.background = fl_add_box(FL_FLAT_BOX, 0, 0, 640, 480, "");
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
  fl_set_tabbox_title(s.tabbox, "Nr   | Name         | Ort          | Bemerkung                  "
                                "                                              ");
  for (int i = 1; i <= 60; i++) {
    char line[200];
    snprintf(line, sizeof line, "%-4d | Kunde %-6d | Ort %-8d | %s", i, i, i,
             "eine recht lange Bemerkung, die weit nach rechts reicht und gescrollt wird");
    fl_add_tabbox_line(s.tabbox, line);
  }
  fl_set_tabbox_dblclick_callback(s.tabbox, count_dblclick, 0);
}

class FormsEnv : public testing::Environment {
 public:
  void SetUp() override {
    const char *display = getenv("DISPLAY");
    if (!display || !*display) return;
    static int argc = 1;
    static char name[] = "forms_gui_test";
    static char *argv[] = {name, nullptr};
    if (!fl_initialize(&argc, argv, "FormsTest", nullptr, 0)) return;
    char dir[] = "/tmp/forms_gui_XXXXXX";
    if (!mkdtemp(dir)) return;
    workdir = dir;
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
  void TearDown() override {
    if (!workdir.empty()) {
      std::string cmd = "rm -rf '" + workdir + "'";
      if (system(cmd.c_str()) != 0) ADD_FAILURE() << "cannot remove " << workdir;
    }
  }

 private:
  std::unique_ptr<ScriptedServer> server_;
  std::string port_;
};

testing::Environment *const env = testing::AddGlobalTestEnvironment(new FormsEnv);

void pump() {
  for (int i = 0; i < 5; i++) {
    XSync(fl_get_display(), False);
    while (fl_check_forms()) {
    }
  }
}

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
    if (x >= 0) {
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
  void crossing(FL_FORM *f, int type) {
    XEvent ev = {};
    ev.xcrossing.type = type;
    ev.xcrossing.display = fl_get_display();
    ev.xcrossing.window = f->window;
    ev.xcrossing.root = DefaultRootWindow(fl_get_display());
    ev.xcrossing.time = event_time++;
    ev.xcrossing.mode = NotifyNormal;
    ev.xcrossing.detail = NotifyAncestor;
    ev.xcrossing.same_screen = True;
    XSendEvent(fl_get_display(), f->window, True,
               type == EnterNotify ? EnterWindowMask : LeaveWindowMask, &ev);
    pump();
  }
  void key_event(FL_FORM *f, int type, KeySym sym, unsigned state) {
    XEvent ev = {};
    ev.xkey.type = type;
    ev.xkey.display = fl_get_display();
    ev.xkey.window = f->window;
    ev.xkey.root = DefaultRootWindow(fl_get_display());
    ev.xkey.time = event_time;
    event_time += 100;
    ev.xkey.x = ev.xkey.y = 5;
    ev.xkey.state = state;
    ev.xkey.keycode = XKeysymToKeycode(fl_get_display(), sym);
    ev.xkey.same_screen = True;
    XSendEvent(fl_get_display(), f->window, True, type == KeyPress ? KeyPressMask : KeyReleaseMask,
               &ev);
    pump();
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

  GOODIES_SCRIPT script;
};

TEST_F(FormsGui, ProbeKeyRouting) {
  show();
  EXPECT_EQ(focus(), sample.table);
  EXPECT_EQ(Active_Form, sample.form);
  type_text(sample.form, "ab");
  EXPECT_STREQ(fl_get_input(sample.table), "AB");
  key(sample.form, XK_Tab);
  EXPECT_EQ(focus(), sample.attribs);
  ctrl_key(sample.form, XK_Down);
  EXPECT_EQ(fl_get_tabbox(sample.tabbox), 1);
  EXPECT_EQ(focus(), sample.attribs);
}

}  // namespace
