// Tests of the tabbox as an XForms object on an X server (ctest runs them
// under Xvfb; without DISPLAY they skip): creation on a form, the public
// functions and their diagnostics, and synthetic pointer and key events
// sent to the form's window that reach the handler through XForms.  One
// test leaves a screenshot in $KV_BUILD_DIR/artifacts/tabbox.png.
// GoogleTest comes before the X headers, whose macro None clashes with it.
#include <gtest/gtest.h>

#include "widgets/mytabs.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/mem.h"
#include "widgets/tabbox_hooks.h"
#include "tests/support/log_capture.h"

namespace {

bool x_ready = false;
Time event_time = 1000;

bool init_x() {
  static bool tried = false;
  if (!tried) {
    tried = true;
    if (getenv("DISPLAY") && *getenv("DISPLAY")) {
      static int argc = 1;
      static char name[] = "tabbox_test";
      static char *argv[] = {name, nullptr};
      x_ready = fl_initialize(&argc, argv, "TabboxTest", nullptr, 0) != nullptr;
    }
  }
  return x_ready;
}

void pump() {
  for (int i = 0; i < 5; i++) {
    XSync(fl_get_display(), False);
    while (fl_check_forms()) {
    }
  }
}

int callbacks;
long callback_arg;
int dblclicks;
long dblclick_arg;
int shift_state;

void object_cb(FL_OBJECT *, long arg) {
  callbacks++;
  callback_arg = arg;
}

void dblclick_cb(FL_OBJECT *, long arg) {
  dblclicks++;
  dblclick_arg = arg;
}

class TabboxGui : public testing::Test {
 protected:
  void SetUp() override {
    if (!init_x()) GTEST_SKIP() << "no X display";
    callbacks = dblclicks = 0;
    shift_state = 0;
    tabbox_hooks = {};
    tabbox_hooks.shift_pressed = &shift_state;
  }
  void TearDown() override {
    if (form) {
      if (form->visible) fl_hide_form(form);
      fl_free_form(form);
    }
    tabbox_hooks = {};
  }
  void build(int type, int nlines) {
    form = fl_bgn_form(FL_UP_BOX, 620, 420);
    tb = fl_add_tabbox(type, 10, 10, 600, 400, "");
    fl_end_form();
    fl_set_object_callback(tb, object_cb, 5);
    fl_set_tabbox_title(tb,
                        "Nr   | Name       | Ort        | Bemerkung                "
                        "                           ");
    const char *names[] = {"Meier", "Schmidt", "\xd6zdemir", "Huber", "Wagner", "Becker"};
    const char *towns[] = {"Bonn", "Ulm", "Essen", "Hof", "Kiel", "Jena"};
    for (int i = 0; i < nlines; i++) {
      char line[200];
      snprintf(line, sizeof line, "%-4d | %-10s | %-10s | %s", i + 1, names[i % 6], towns[i % 6],
               i % 3 == 0 ? "Kunde seit langem, bevorzugt Lieferung am Vormittag" : "-");
      fl_add_tabbox_line(tb, line);
    }
    fl_set_form_position(form, 0, 0);
    fl_show_form(form, FL_PLACE_POSITION, FL_NOBORDER, "Tabbox");
    fl_set_focus_object(form, tb);
    pump();
  }
  TABBOX *rec() { return fl_get_tabbox_record(tb); }
  void send_button(int type, int x, int y, unsigned button, unsigned state = 0) {
    // A real press comes with the pointer already there: XForms finds the
    // object under the pointer from the motion events.
    if (type == ButtonPress) send_motion(x, y, 0);
    warp(x, y);
    XEvent ev = {};
    ev.xbutton.type = type;
    ev.xbutton.display = fl_get_display();
    ev.xbutton.window = form->window;
    ev.xbutton.root = DefaultRootWindow(fl_get_display());
    ev.xbutton.time = event_time;
    ev.xbutton.x = x;
    ev.xbutton.y = y;
    ev.xbutton.x_root = x;
    ev.xbutton.y_root = y;
    ev.xbutton.button = button;
    ev.xbutton.state = state;
    ev.xbutton.same_screen = True;
    XSendEvent(fl_get_display(), form->window, True,
               type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &ev);
    event_time += 10;
    pump();
  }
  // XForms asks the server where the pointer is, so the real pointer
  // goes where the synthetic event says it is.
  void warp(int x, int y) {
    XWarpPointer(fl_get_display(), None, form->window, 0, 0, 0, 0, x, y);
    XSync(fl_get_display(), False);
  }
  void send_motion(int x, int y, unsigned state = Button1Mask) {
    warp(x, y);
    XEvent ev = {};
    ev.xmotion.type = MotionNotify;
    ev.xmotion.display = fl_get_display();
    ev.xmotion.window = form->window;
    ev.xmotion.root = DefaultRootWindow(fl_get_display());
    ev.xmotion.time = event_time;
    ev.xmotion.x = ev.xmotion.x_root = x;
    ev.xmotion.y = ev.xmotion.y_root = y;
    ev.xmotion.state = state;
    ev.xmotion.same_screen = True;
    XSendEvent(fl_get_display(), form->window, True, PointerMotionMask | ButtonMotionMask, &ev);
    event_time += 10;
    pump();
  }
  void click(int x, int y, unsigned button = 1) {
    send_button(ButtonPress, x, y, button);
    send_button(ButtonRelease, x, y, button);
    event_time += 1000;  // the next click is a single click again
  }
  void key(KeySym sym) {
    XEvent ev = {};
    ev.xkey.type = KeyPress;
    ev.xkey.display = fl_get_display();
    ev.xkey.window = form->window;
    ev.xkey.root = DefaultRootWindow(fl_get_display());
    ev.xkey.time = event_time++;
    ev.xkey.keycode = XKeysymToKeycode(fl_get_display(), sym);
    ev.xkey.same_screen = True;
    XSendEvent(fl_get_display(), form->window, True, KeyPressMask, &ev);
    ev.xkey.type = KeyRelease;
    ev.xkey.time = event_time++;
    XSendEvent(fl_get_display(), form->window, True, KeyReleaseMask, &ev);
    pump();
  }
  // The middle of the d-th line on screen (0-based).
  int row_y(int d) {
    return tb->y + rec()->char_height + 2 * rec()->bw + d * rec()->char_height + 6;
  }

  FL_FORM *form = nullptr;
  FL_OBJECT *tb = nullptr;
};

TEST_F(TabboxGui, CreatedWithItsInitialValues) {
  build(2, 3);
  EXPECT_EQ(tb->objclass, FL_USER_CLASS_START);
  EXPECT_EQ(tb->col1, static_cast<FL_COLOR>(FL_COL1));
  EXPECT_EQ(tb->col2, static_cast<FL_COLOR>(FL_BLACK));
  EXPECT_EQ(tb->input, 1);
  EXPECT_EQ(tb->wantkey, FL_KEY_ALL);
  EXPECT_EQ(rec()->form, form);
  EXPECT_EQ(rec()->object, tb);
  EXPECT_GT(rec()->char_width, 0);
  EXPECT_EQ(rec()->screen_lines,
            (400 - (2 * rec()->bw + rec()->char_height) - 18) / rec()->char_height);
  EXPECT_EQ(fl_get_tabbox_maxline(tb), 3);
  EXPECT_EQ(std::string(fl_get_tabbox_full_title(tb)).substr(0, 42),
            "Nr   | Name       | Ort        | Bemerkung");
  EXPECT_EQ(tb->click_timeout, 0u);
  fl_set_tabbox_dblclick_callback(tb, dblclick_cb, 9);
  EXPECT_EQ(tb->click_timeout, 400u);
}

TEST_F(TabboxGui, BadArgumentsAreLoggedAndRefused) {
  build(2, 1);
  FL_FORM *other = fl_bgn_form(FL_NO_BOX, 10, 10);
  FL_OBJECT *box = fl_add_box(FL_UP_BOX, 0, 0, 5, 5, "");
  fl_end_form();
  for (FL_OBJECT *bad : {static_cast<FL_OBJECT *>(nullptr), box}) {
    kv_capture_log();
    EXPECT_EQ(fl_add_tabbox_line(bad, "x"), 0);
    EXPECT_EQ(fl_get_tabbox_maxline(bad), -1);
    EXPECT_EQ(fl_get_tabbox_topline(bad), -1);
    EXPECT_EQ(fl_get_tabbox_selectcount(bad), -1);
    EXPECT_EQ(fl_get_tabbox_comma(bad), -1);
    EXPECT_EQ(fl_get_tabbox_line(bad, 1), nullptr);
    EXPECT_EQ(fl_get_tabbox_full_line(bad, 1), nullptr);
    EXPECT_EQ(fl_deselect_tabbox(bad), 0);
    EXPECT_EQ(fl_tabbox_left(bad), 0);
    EXPECT_EQ(fl_tabbox_pgdown(bad), 0);
    EXPECT_EQ(fl_get_tabbox_vert_value_line(bad, 1), nullptr);
    EXPECT_EQ(fl_get_tabbox_vert(bad), 0);  // unchecked by name: silent
    EXPECT_EQ(kv_captured_log(),
              "fl_add_tabbox_line: Bad argument or wrong type\n"
              "fl_get_tabbox_maxline: Bad argument or wrong type\n"
              "fl_get_tabbox_topline: Bad argument or wrong type\n"
              "fl_get_tabbox_selectcount: Bad argument or wrong type\n"
              "fl_get_tabbox_comma: Bad argument or wrong type\n"
              "fl_get_tabbox_line: Bad argument or wrong type\n"
              "fl_get_tabbox_line: Bad argument or wrong type\n"
              "fl_clear_tabbox: Bad argument or wrong type\n"
              "fl_tabbox_leftmost: Bad argument or wrong type\n"
              "fl_tabbox_pgdown: Bad argument or wrong type\n"
              "fl_get_tabbox_vert_attr_line: Bad argument or wrong type\n");
  }
  fl_free_form(other);
  kv_capture_log();
  EXPECT_EQ(fl_set_tabbox_topline(tb, 3), 0);
  EXPECT_EQ(fl_set_tabbox_topline(tb, 2), 1);  // line_count + 1 passes
  EXPECT_EQ(fl_get_tabbox_topline(tb), 2);
  EXPECT_EQ(fl_select_tabbox_line(tb, 0), 0);
  EXPECT_EQ(fl_isselected_tabbox_line(tb, 5), 0);
  EXPECT_EQ(kv_captured_log(),
            "fl_set_tabbox_topline: Index out of range\n"
            "fl_select_tabbox_line: Index 0 is not valid\n"
            "fl_isselected_tabbox_line: Index out of range\n");
  // The two line getters share one message; line_count + 1 is silent.
  kv_capture_log();
  EXPECT_EQ(fl_get_tabbox_full_line(tb, 3), nullptr);
  EXPECT_EQ(fl_get_tabbox_line(tb, 0), nullptr);
  EXPECT_EQ(fl_get_tabbox_full_line(tb, 2), nullptr);
  EXPECT_EQ(fl_get_tabbox_line(tb, 2), nullptr);
  EXPECT_EQ(fl_deselect_tabbox_line(tb, 3), 0);
  EXPECT_EQ(fl_replace_tabbox_line(tb, 3, "x"), 0);
  EXPECT_EQ(fl_delete_tabbox_line(tb, 4), 0);
  EXPECT_EQ(kv_captured_log(),
            "fl_get_tabbox_line: Index out of range\n"
            "fl_get_tabbox_line: Index out of range\n"
            "fl_deselect_tabbox_line: Index out of range\n"
            "fl_replace_tabbox_line: Index out of range\n"
            "fl_delete_tabbox_line: Index out of range\n");
}

// Every checked function names itself (or its shared name) when handed a
// null object; the unchecked ones stay silent.  No display needed.
TEST(TabboxApi, EveryBadArgumentMessage) {
  int i = 0, *p = nullptr;
  kv_capture_log();
  fl_add_tabbox_line(nullptr, "x");
  fl_replace_tabbox_line(nullptr, 1, "x");
  fl_delete_tabbox_line(nullptr, 3);
  fl_clear_tabbox(nullptr);
  fl_deselect_tabbox_line(nullptr, 1);
  fl_deselect_tabbox(nullptr);
  fl_set_tabbox_dblclick_callback(nullptr, dblclick_cb, 0);
  fl_set_tabbox_title(nullptr, "a");
  fl_get_tabbox_full_title(nullptr);
  fl_get_tabbox_line(nullptr, 1);
  fl_get_tabbox_full_line(nullptr, 1);
  fl_get_tabbox_maxline(nullptr);
  fl_get_tabbox_screenlines(nullptr);
  fl_get_tabbox_topline(nullptr);
  fl_set_tabbox_topline(nullptr, 1);
  fl_select_tabbox_line(nullptr, 1);
  fl_isselected_tabbox_line(nullptr, 1);
  fl_get_tabbox(nullptr);
  fl_get_tabbox_selectcount(nullptr);
  fl_set_tabbox_sort(nullptr, 0, nullptr, nullptr);
  fl_set_tabbox_maxwidth(nullptr, 3);
  fl_set_tabbox_comma(nullptr, 2);
  fl_get_tabbox_comma(nullptr);
  fl_get_tabbox_properties(nullptr, &i, &p, &p, &p, &i, &p, &p, &i, &p);
  fl_set_tabbox_vert(nullptr);
  fl_get_tabbox_vert_attr(nullptr);
  fl_get_tabbox_vert_value(nullptr);
  fl_get_tabbox_vert_attr_line(nullptr, 1);
  fl_get_tabbox_vert_value_line(nullptr, 1);
  fl_call_tabbox_dblclick_callback(nullptr);
  fl_tabbox_left(nullptr);
  fl_tabbox_leftmost(nullptr);
  fl_tabbox_right(nullptr);
  fl_tabbox_rightmost(nullptr);
  fl_tabbox_up(nullptr);
  fl_tabbox_down(nullptr);
  fl_tabbox_pgup(nullptr);
  fl_tabbox_pgdown(nullptr);
  fl_set_tabbox_hor(nullptr);
  fl_get_tabbox_vert(nullptr);
  fl_set_tabbox_view(nullptr, 1);
  fl_disable_tabbox_ini_data_for_next_load(nullptr);
  fl_enable_tabbox_ini_data(nullptr);
  fl_enabled_tabbox_ini_data(nullptr);
  std::string expected;
  for (const char *name : {"fl_add_tabbox_line",
                           "fl_replace_tabbox_line",
                           "fl_delete_tabbox_line",
                           "fl_clear_tabbox",
                           "fl_clear_tabbox",
                           "fl_clear_tabbox",
                           "fl_clear_tabbox",
                           "fl_set_tabbox_title",
                           "fl_get_tabbox_full_title",
                           "fl_get_tabbox_line",
                           "fl_get_tabbox_line",
                           "fl_get_tabbox_maxline",
                           "fl_get_tabbox_screenlines",
                           "fl_get_tabbox_topline",
                           "fl_set_tabbox_topline",
                           "fl_select_tabbox_line",
                           "fl_isselected_tabbox_line",
                           "fl_get_tabbox",
                           "fl_get_tabbox_selectcount",
                           "fl_set_tabbox_sort",
                           "fl_set_tabbox_maxwidth",
                           "fl_set_tabbox_comma",
                           "fl_get_tabbox_comma",
                           "fl_get_tabbox_properties",
                           "fl_set_tabbox_vert",
                           "fl_get_tabbox_vert_attr",
                           "fl_get_tabbox_vert_attr",
                           "fl_get_tabbox_vert_attr_line",
                           "fl_get_tabbox_vert_attr_line",
                           "fl_call_tabbox_dblclick_callback",
                           "fl_tabbox_leftmost",
                           "fl_tabbox_leftmost",
                           "fl_tabbox_rightmost",
                           "fl_tabbox_rightmost",
                           "fl_tabbox_up",
                           "fl_tabbox_down",
                           "fl_tabbox_pgup",
                           "fl_tabbox_pgdown"})
    expected += std::string(name) + ": Bad argument or wrong type\n";
  EXPECT_EQ(kv_captured_log(), expected);
}

TEST_F(TabboxGui, SortedNumberingAndLineAccess) {
  build(2, 6);
  int cols[] = {2}, dirs[] = {1};
  fl_set_tabbox_sort(tb, 1, cols, dirs);
  // Display order by name: Becker(6) Huber(4) Meier(1) Ozdemir(3) Schmidt(2) Wagner(5).
  EXPECT_EQ(std::string(fl_get_tabbox_full_line(tb, 1)).substr(0, 4), "6   ");
  EXPECT_EQ(std::string(fl_get_tabbox_line(tb, 4)).substr(0, 4), "3   ");
  fl_select_tabbox_line(tb, 1);
  EXPECT_EQ(fl_get_tabbox(tb), 1);
  EXPECT_EQ(fl_isselected_tabbox_line(tb, 1), 1);
  fl_deselect_tabbox_line(tb, 1);
  EXPECT_EQ(fl_get_tabbox_selectcount(tb), 0);
  int count, *pos, *order, *visible, scount, *scols, *sdirs, maxw, *colmax;
  ASSERT_EQ(fl_get_tabbox_properties(tb, &count, &pos, &order, &visible, &scount, &scols, &sdirs,
                                     &maxw, &colmax),
            1);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(scount, 1);
  EXPECT_EQ(scols[0], 2);
  scols[0] = 1;
  sdirs[0] = 0;
  fl_set_tabbox_sort(tb, scount, scols, sdirs);  // the live arrays themselves
  EXPECT_EQ(std::string(fl_get_tabbox_full_line(tb, 1)).substr(0, 4), "6   ");
  EXPECT_EQ(std::string(fl_get_tabbox_full_line(tb, 6)).substr(0, 4), "1   ");
}

TEST_F(TabboxGui, ClickSelectsAndDoubleClickCallsBack) {
  build(2, 20);
  fl_set_tabbox_dblclick_callback(tb, dblclick_cb, 9);
  click(100, row_y(2));
  EXPECT_EQ(fl_get_tabbox(tb), 3);
  EXPECT_EQ(callbacks, 1);
  EXPECT_EQ(callback_arg, 5);
  send_button(ButtonPress, 100, row_y(4), 1);
  send_button(ButtonRelease, 100, row_y(4), 1);
  send_button(ButtonPress, 100, row_y(4), 1);
  send_button(ButtonRelease, 100, row_y(4), 1);
  EXPECT_EQ(fl_get_tabbox(tb), 5);
  EXPECT_EQ(dblclicks, 1);
  EXPECT_EQ(dblclick_arg, 9);
}

TEST_F(TabboxGui, KeysMoveAndReturnCallsBack) {
  build(4, 40);
  fl_set_tabbox_dblclick_callback(tb, dblclick_cb, 9);
  key(XK_Down);
  EXPECT_EQ(fl_get_tabbox(tb), 1);
  key(XK_Down);
  key(XK_Down);
  EXPECT_EQ(fl_get_tabbox(tb), 3);
  key(XK_Next);
  int bottom = fl_get_tabbox_screenlines(tb);
  EXPECT_EQ(fl_get_tabbox(tb), bottom);
  key(XK_Return);
  EXPECT_EQ(dblclicks, 1);
  EXPECT_EQ(dblclick_arg, 0);  // type 4: Shift state, not the argument
  shift_state = 1;
  fl_call_tabbox_dblclick_callback(tb);
  EXPECT_EQ(dblclick_arg, 1);
}

TEST_F(TabboxGui, KnobDragAndArrowButtons) {
  build(2, 100);
  TABBOX *r = rec();
  int kx = tb->x + tb->w - 9;
  int ky = tb->y + 18 + r->bw + 3;  // the top of the vertical knob
  send_button(ButtonPress, kx, ky, 1);
  EXPECT_EQ(r->vknob_drag, 1);
  send_motion(kx, ky + r->vslider_len / 2);
  EXPECT_EQ(r->topline, 50);
  send_button(ButtonRelease, kx, ky + r->vslider_len / 2, 1);
  EXPECT_EQ(r->vknob_drag, 0);
  EXPECT_EQ(fl_get_tabbox_topline(tb), 51);
  click(tb->x + tb->w - 9, tb->y + 9);  // up button
  EXPECT_EQ(fl_get_tabbox_topline(tb), 50);
  event_time += 1000;
  click(tb->x + 9, tb->y + tb->h - 9);  // left button at the left edge
  EXPECT_EQ(r->left_col, 0);
  click(tb->x + tb->w - 27, tb->y + tb->h - 9);  // right button
  // One step, and possibly auto-repeat steps while the button was held.
  EXPECT_GE(r->left_col, 1);
}

TEST_F(TabboxGui, ColumnBorderDragNarrowsColumn) {
  std::vector<std::string> log;
  static std::vector<std::string> *hook_log;
  hook_log = &log;
  build(2, 3);
  tabbox_hooks.set_col_width = [](FL_OBJECT *, int c, int w) {
    hook_log->push_back(std::to_string(c) + "=" + std::to_string(w));
  };
  TABBOX *r = rec();
  // The "|" after "Name       " is character 18 of the title.
  int bar_x = tb->x + 19 * r->char_width + 2;
  int ty = tb->y + 5;
  send_button(ButtonPress, bar_x, ty, 1);
  EXPECT_EQ(r->col_drag, 1);
  send_button(ButtonRelease, bar_x - 5 * r->char_width, ty, 1);
  EXPECT_EQ(r->col_drag, 0);
  // Five characters left of a field of 10.
  EXPECT_EQ(r->col_maxwidth[2], 5);
  EXPECT_EQ(log, std::vector<std::string>{"2=5"});
  EXPECT_EQ(std::string(fl_get_tabbox_line(tb, 2)).substr(0, 15), "2    | Schmi~| ");
  // Header double clicks arrive once a double-click callback is set.
  fl_set_tabbox_dblclick_callback(tb, dblclick_cb, 0);
  event_time += 1000;
  send_button(ButtonPress, tb->x + 10 * r->char_width, ty, 1);
  send_button(ButtonRelease, tb->x + 10 * r->char_width, ty, 1);
  send_button(ButtonPress, tb->x + 10 * r->char_width, ty, 1);
  send_button(ButtonRelease, tb->x + 10 * r->char_width, ty, 1);
  EXPECT_EQ(r->col_maxwidth[2], -1);
}

TEST_F(TabboxGui, VerticalViewOfDetailTable) {
  build(0, 1);
  click(100, row_y(0));
  EXPECT_EQ(fl_get_tabbox_selectcount(tb), 0);  // type 0 selects nothing
  EXPECT_EQ(fl_select_tabbox_line(tb, 1), 0);
  ASSERT_EQ(fl_set_tabbox_vert(tb), 1);
  pump();
  EXPECT_EQ(fl_get_tabbox_vert(tb), 1);
  EXPECT_EQ(fl_get_tabbox_vert_attr(tb), nullptr);  // nothing selected yet
  click(100, row_y(1));
  char *attr = fl_get_tabbox_vert_attr(tb);
  char *value = fl_get_tabbox_vert_value(tb);
  ASSERT_NE(attr, nullptr);
  ASSERT_NE(value, nullptr);
  EXPECT_STREQ(attr, "Name");
  EXPECT_STREQ(value, "Meier");
  myfree(attr);
  myfree(value);
  char *town = fl_get_tabbox_vert_value_line(tb, 3);
  EXPECT_STREQ(town, "Bonn");
  myfree(town);
  EXPECT_EQ(fl_set_tabbox_hor(tb), 1);
  EXPECT_EQ(fl_get_tabbox_vert_value(tb), nullptr);
}

TEST_F(TabboxGui, ScreenshotWithSampleData) {
  build(3, 30);
  int *colmax = nullptr;
  fl_get_tabbox_properties(tb, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, &colmax);
  colmax[2] = 5;
  fl_set_tabbox_maxwidth(tb, 30);
  fl_select_tabbox_line(tb, 2);
  fl_select_tabbox_line(tb, 4);
  fl_select_tabbox_line(tb, 5);
  fl_redraw_object(tb);
  pump();
  const char *dir = getenv("KV_BUILD_DIR");
  std::string base = dir && *dir ? dir : ".";
  std::string art = base + "/artifacts";
  mkdir(art.c_str(), 0755);
  std::string file = art + "/tabbox.png";
  remove(file.c_str());
  std::string cmd = "import -display \"" + std::string(getenv("DISPLAY")) + "\" -window " +
                    std::to_string(form->window) + " \"" + file + "\" 2>/dev/null";
  ASSERT_EQ(system(cmd.c_str()), 0);
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_GT(st.st_size, 1000);
  EXPECT_STREQ(fl_get_tabbox_line(tb, 2), "2    | Schmi~| Ulm        | -");
  EXPECT_STREQ(fl_get_tabbox_line(tb, 4),
               "4    | Huber | Hof        | Kunde seit langem, bevorzugt L");
}

}  // namespace
