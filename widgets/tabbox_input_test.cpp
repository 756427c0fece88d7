// Tests of the tabbox's geometry, hit-testing, scrolling, selection
// movement and event logic, driven through tb_handle with a recording host
// instead of an X server.
#include "widgets/tabbox_input.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "widgets/tabbox_hooks.h"

namespace {

struct FakeHost : TB_HOST {
  int redraws = 0, partials = 0, callbacks = 0, hand = 0, plain = 0, menus = 0;
  int menu_choice = -1;
  bool menu_viewer = false;
  bool cmb_focus = false;
  void redraw() override {
    redraws++;
    partials += last_partial ? *last_partial : 0;
  }
  void object_callback() override { callbacks++; }
  void hand_cursor() override { hand++; }
  void default_cursor() override { plain++; }
  int context_menu(bool viewer) override {
    menus++;
    menu_viewer = viewer;
    return menu_choice;
  }
  bool focus_is_cmb() override { return cmb_focus; }
  unsigned char *last_partial = nullptr;
};

// Hook targets.
int shift, ctrl;
std::vector<std::string> hook_log;
char object_token;
FL_OBJECT *const kObject = reinterpret_cast<FL_OBJECT *>(&object_token);

void log_hook(const std::string &s) { hook_log.push_back(s); }

class TabboxInput : public testing::Test {
 protected:
  void SetUp() override {
    shift = ctrl = 0;
    hook_log.clear();
    tabbox_hooks = {};
    tabbox_hooks.shift_pressed = &shift;
    tabbox_hooks.ctrl_pressed = &ctrl;
    tabbox_hooks.set_col_width = [](FL_OBJECT *, int c, int w) {
      log_hook("set " + std::to_string(c) + " " + std::to_string(w));
    };
    tabbox_hooks.clear_col_width = [](FL_OBJECT *, int c) {
      log_hook("clear " + std::to_string(c));
    };
    tabbox_hooks.clear_col_widths = [](FL_OBJECT *) { log_hook("clear all"); };
    tabbox_hooks.update_tbsort = [](FL_OBJECT *) { log_hook("update"); };
    tabbox_hooks.open_tbsort = [](FL_FORM *, FL_OBJECT *) { log_hook("sort"); };
    tabbox_hooks.open_tbexp = [](FL_FORM *, FL_OBJECT *) { log_hook("export"); };
    tabbox_hooks.open_tbview = [](FL_FORM *, FL_OBJECT *) { log_hook("view"); };
    tabbox_hooks.close_tbview = []() { log_hook("close view"); };
    tabbox_hooks.tbview_tabbox = []() { return kObject; };
  }
  void TearDown() override {
    tabbox_hooks = {};
    tb_free(rec);
  }
  // A tabbox at (10, 20) of 400 x 300, border 1, characters 10 x 18:
  // 38 columns and 14 lines on screen.
  void make(int type, int nlines, const char *title = "Zeile") {
    rec = tb_new(kObject, type, 10, 20, 400, 300, 1);
    tb_set_metrics(rec, 10, 18);
    tb_set_title(rec, title);
    for (int i = 1; i <= nlines; i++) tb_add_line(rec, ("Zeile " + std::to_string(i)).c_str());
    tb_rebuild(rec);
  }
  void ev(int event, int px, int py, int key = 1) { tb_handle(rec, host, event, px, py, key); }
  // The middle of display line d (0-based, from topline).
  int row_y(int d) { return 20 + 18 + 2 + d * 18 + 5; }
  void click(int d) { ev(TB_EV_PUSH, 100, row_y(d)); }
  std::vector<int> selected() {
    std::vector<int> out;
    for (int d = 0; d < rec->line_count; d++)
      if (tb_pos_selected(rec, d)) out.push_back(d);
    return out;
  }
  TABBOX *rec = nullptr;
  FakeHost host;
};

TEST_F(TabboxInput, AreasAndHitTest) {
  make(2, 0);
  EXPECT_EQ(tb_area_rect(rec, TB_AREA_TITLE).h, 20);
  TB_RECT text = tb_area_rect(rec, TB_AREA_TEXT);
  EXPECT_EQ(text.y, 40);
  EXPECT_EQ(text.h, 262);
  // Empty: both knobs fill their tracks.
  TB_RECT hk = tb_area_rect(rec, TB_AREA_HKNOB), vk = tb_area_rect(rec, TB_AREA_VKNOB);
  EXPECT_EQ(hk.x, 29);
  EXPECT_EQ(hk.w, rec->hslider_len);
  EXPECT_EQ(hk.y, 303);
  EXPECT_EQ(hk.h, 16);
  EXPECT_EQ(vk.y, 39);
  EXPECT_EQ(vk.h, rec->vslider_len);
  EXPECT_EQ(vk.x, 393);
  EXPECT_EQ(tb_hit(rec, 15, 310), TB_AREA_LEFT);
  EXPECT_EQ(tb_hit(rec, 380, 310), TB_AREA_RIGHT);
  EXPECT_EQ(tb_hit(rec, 400, 290), TB_AREA_DOWN);
  EXPECT_EQ(tb_hit(rec, 400, 25), TB_AREA_UP);
  EXPECT_EQ(tb_hit(rec, 400, 310), TB_AREA_INFO);
  EXPECT_EQ(tb_hit(rec, 100, 310), TB_AREA_HKNOB);
  EXPECT_EQ(tb_hit(rec, 400, 100), TB_AREA_VKNOB);
  EXPECT_EQ(tb_hit(rec, 100, 100), TB_AREA_TEXT);
  EXPECT_EQ(tb_hit(rec, 100, 30), TB_AREA_TITLE);
  EXPECT_EQ(tb_hit(rec, 10, 30), TB_AREA_NONE);   // on the left edge
  EXPECT_EQ(tb_hit(rec, 28, 310), TB_AREA_NONE);  // between button and knob
  EXPECT_EQ(tb_hit(rec, 500, 100), TB_AREA_NONE);
}

TEST_F(TabboxInput, KnobGeometryAndTracks) {
  make(2, 100);
  rec->screen_lines = 20;
  rec->topline = 40;
  // 40 % of (vslider_len - 10) below the track top, 20 % of it plus 10 high.
  TB_RECT vk = tb_area_rect(rec, TB_AREA_VKNOB);
  EXPECT_EQ(vk.y, 39 + 93);
  EXPECT_EQ(vk.h, 56);
  rec->xmax = 100;
  rec->screen_cols = 38;
  rec->left_col = 62;
  TB_RECT hk = tb_area_rect(rec, TB_AREA_HKNOB);
  EXPECT_EQ(hk.x, 29 + 207);  // 334 * 62 / 100
  EXPECT_EQ(hk.w, 136);       // 334 * 38 / 100 + 10
  rec->screen_lines = 14;
  rec->topline = 0;
  EXPECT_EQ(tb_hit(rec, 400, 200), TB_AREA_VTRACK);
  EXPECT_EQ(tb_hit(rec, 30 + 100, 310), TB_AREA_HTRACK);
}

TEST_F(TabboxInput, ScrollArithmetic) {
  make(0, 100);
  rec->xmax = 100;
  EXPECT_FALSE(tb_step_left(rec));
  EXPECT_TRUE(tb_page_right(rec));
  EXPECT_EQ(rec->left_col, 37);  // one less than a screen
  EXPECT_TRUE(tb_page_right(rec));
  EXPECT_EQ(rec->left_col, 62);  // xmax - screen_cols
  EXPECT_FALSE(tb_step_right(rec));
  EXPECT_TRUE(tb_page_left(rec));
  EXPECT_EQ(rec->left_col, 23);  // one more than a screen
  EXPECT_TRUE(tb_page_left(rec));
  EXPECT_EQ(rec->left_col, 0);
  EXPECT_TRUE(tb_page_down(rec));
  EXPECT_EQ(rec->topline, 13);
  rec->topline = 80;
  EXPECT_TRUE(tb_page_down(rec));
  EXPECT_EQ(rec->topline, 86);
  EXPECT_FALSE(tb_step_down(rec));
  EXPECT_TRUE(tb_page_up(rec));
  EXPECT_EQ(rec->topline, 71);
  // Type 0 keys scroll.
  ev(TB_EV_KEY, 0, 0, XK_Down);
  EXPECT_EQ(rec->topline, 72);
  ev(TB_EV_KEY, 0, 0, XK_Prior);
  EXPECT_EQ(rec->topline, 57);
  EXPECT_EQ(host.callbacks, 0);
}

TEST_F(TabboxInput, NarrowTableKeepsLeftCol) {
  make(2, 3);
  shift = 1;
  ev(TB_EV_KEY, 0, 0, XK_Right);
  EXPECT_EQ(rec->left_col, 0);
  ev(TB_EV_KEY, 0, 0, XK_End);
  EXPECT_EQ(rec->left_col, 0);
  rec->xmax = 50;
  ev(TB_EV_KEY, 0, 0, XK_End);
  EXPECT_EQ(rec->left_col, 12);
  ev(TB_EV_KEY, 0, 0, XK_Left);  // Shift: a page
  EXPECT_EQ(rec->left_col, 0);
  ev(TB_EV_KEY, 0, 0, XK_Right);
  EXPECT_EQ(rec->left_col, 12);
  ev(TB_EV_KEY, 0, 0, XK_Home);
  EXPECT_EQ(rec->left_col, 0);
}

TEST_F(TabboxInput, HoldSelectionMovement) {
  make(2, 40);
  tb_move(rec, host, 1, false);  // nothing selected: the top line, no scrolling
  EXPECT_EQ(selected(), std::vector<int>{0});
  EXPECT_EQ(rec->topline, 0);
  EXPECT_EQ(host.callbacks, 1);
  tb_move(rec, host, -1, false);  // already first
  EXPECT_EQ(host.callbacks, 1);
  tb_set_pos_selected(rec, 0, false);
  tb_set_pos_selected(rec, 13, true);
  tb_move(rec, host, 1, false);  // past the bottom line: scrolls one
  EXPECT_EQ(selected(), std::vector<int>{14});
  EXPECT_EQ(rec->topline, 1);
  rec->topline = 0;
  tb_clear_selection(rec);
  tb_set_pos_selected(rec, 13, true);
  tb_move(rec, host, 1, true);  // page down from the bottom line
  EXPECT_EQ(selected(), std::vector<int>{26});
  EXPECT_EQ(rec->topline, 13);
  tb_clear_selection(rec);
  tb_set_pos_selected(rec, 20, true);
  tb_move(rec, host, -1, true);  // page up below the top: the top line
  EXPECT_EQ(selected(), std::vector<int>{13});
  tb_move(rec, host, -1, true);  // from the top line: a page further up
  EXPECT_EQ(rec->topline, 0);
  EXPECT_EQ(selected(), std::vector<int>{0});
  tb_clear_selection(rec);
  tb_set_pos_selected(rec, 5, true);
  tb_move(rec, host, 1, true);  // page down within the screen: the bottom line
  EXPECT_EQ(selected(), std::vector<int>{13});
  tb_clear_selection(rec);
  tb_set_pos_selected(rec, 39, true);
  int before = host.callbacks;
  tb_move(rec, host, 1, false);
  tb_move(rec, host, 1, true);
  EXPECT_EQ(host.callbacks, before);
  EXPECT_EQ(selected(), std::vector<int>{39});
}

TEST_F(TabboxInput, MultiSelectionReducesBeforeMoving) {
  make(3, 10);
  for (int d : {3, 4, 7}) tb_set_pos_selected(rec, d, true);
  ev(TB_EV_KEY, 0, 0, XK_Up);
  EXPECT_EQ(selected(), std::vector<int>{2});
}

TEST_F(TabboxInput, MultiSelectionClicks) {
  make(3, 10);
  click(2);
  EXPECT_EQ(selected(), std::vector<int>{2});
  EXPECT_EQ(host.callbacks, 1);
  ctrl = 1;
  click(5);
  EXPECT_EQ(selected(), (std::vector<int>{2, 5}));
  ctrl = 0;
  shift = 1;
  click(7);
  EXPECT_EQ(selected(), (std::vector<int>{5, 6, 7}));
  ctrl = 1;
  click(9);
  EXPECT_EQ(selected(), (std::vector<int>{5, 6, 7, 8, 9}));
  click(6);
  EXPECT_EQ(selected(), (std::vector<int>{5, 6}));
  shift = 0;
  click(6);  // Ctrl alone toggles
  EXPECT_EQ(selected(), std::vector<int>{5});
  ctrl = 0;
  int before = host.callbacks;
  click(12);  // below the last line
  EXPECT_TRUE(selected().empty());
  EXPECT_EQ(host.callbacks, before);
}

TEST_F(TabboxInput, PressByType) {
  make(0, 5);
  click(1);
  EXPECT_TRUE(selected().empty());
  EXPECT_EQ(host.callbacks, 0);
  tb_free(rec);

  make(2, 5);
  click(1);
  EXPECT_EQ(selected(), std::vector<int>{1});
  click(8);  // below the lines: cleared, callback still called
  EXPECT_TRUE(selected().empty());
  EXPECT_EQ(host.callbacks, 2);
  tb_free(rec);

  make(1, 5);
  click(3);
  EXPECT_EQ(selected(), std::vector<int>{3});
  ev(TB_EV_RELEASE, 100, row_y(3));
  EXPECT_TRUE(selected().empty());
}

TEST_F(TabboxInput, VerticalViewSelectsOnTypeZero) {
  make(0, 2, "A | B");
  rec->vert = 1;
  TABBOX *v = tb_prepare_draw(rec);
  ev(TB_EV_PUSH, 100, row_y(1));
  EXPECT_EQ(tb_first_selected(v), 2);
  EXPECT_EQ(tb_select_count(rec), 0);
  EXPECT_EQ(host.callbacks, 1);
}

TEST_F(TabboxInput, ArrowButtonAutoRepeat) {
  make(2, 40);
  ev(TB_EV_PUSH, 400, 290);  // down button
  EXPECT_EQ(rec->topline, 1);
  ev(TB_EV_PUSH, 400, 290);  // held: ignored
  EXPECT_EQ(rec->topline, 1);
  for (int i = 0; i < 8; i++) ev(TB_EV_MOUSE, 400, 290);
  EXPECT_EQ(rec->topline, 1);
  ev(TB_EV_MOUSE, 400, 290);
  EXPECT_EQ(rec->topline, 2);
  EXPECT_EQ(rec->partial_draw, 1);
  for (int i = 0; i < 3; i++) ev(TB_EV_MOUSE, 400, 290);
  EXPECT_EQ(rec->topline, 2);
  ev(TB_EV_MOUSE, 400, 290);
  EXPECT_EQ(rec->topline, 3);
  ev(TB_EV_RELEASE, 400, 290);
  EXPECT_EQ(rec->down_pressed, 0);
  // Left/right repeat faster: first after 2, then every tick.
  rec->xmax = 100;
  ev(TB_EV_PUSH, 380, 310);
  EXPECT_EQ(rec->left_col, 1);
  for (int i = 0; i < 3; i++) ev(TB_EV_MOUSE, 380, 310);
  EXPECT_EQ(rec->left_col, 1);
  ev(TB_EV_MOUSE, 380, 310);
  EXPECT_EQ(rec->left_col, 2);
  ev(TB_EV_MOUSE, 380, 310);
  ev(TB_EV_MOUSE, 380, 310);
  EXPECT_EQ(rec->left_col, 3);
  ev(TB_EV_RELEASE, 380, 310);
}

TEST_F(TabboxInput, KnobDragAndTrackPaging) {
  make(2, 100);
  ev(TB_EV_PUSH, 400, 45);  // vertical knob
  EXPECT_EQ(rec->vknob_drag, 1);
  ev(TB_EV_MOUSE, 400, 45 + 61);  // 61 * 100 / 244 = 25 lines
  EXPECT_EQ(rec->topline, 25);
  EXPECT_EQ(rec->partial_draw, 1);
  ev(TB_EV_MOTION, 400, 45 - 10);  // truncated toward zero: -4, clamped
  EXPECT_EQ(rec->topline, 0);
  ev(TB_EV_RELEASE, 400, 35);
  EXPECT_EQ(rec->vknob_drag, 0);
  ev(TB_EV_PUSH, 400, 250);  // track below the knob: a page down
  EXPECT_EQ(rec->topline, 13);
  ev(TB_EV_RELEASE, 400, 250);
  ev(TB_EV_PUSH, 400, 40);  // track above the knob: a page up
  EXPECT_EQ(rec->topline, 0);
}

TEST_F(TabboxInput, ColumnBorderDragAndHeaderDoubleClick) {
  make(2, 0, "abc | def | g");
  tb_add_line(rec, "xyz | uvw | q");
  tb_rebuild(rec);
  ev(TB_EV_PUSH, 65, 30);  // just right of the first "|"
  EXPECT_EQ(rec->col_drag, 1);
  EXPECT_EQ(rec->drag_bar_pos, 4);
  EXPECT_EQ(host.hand, 1);
  ev(TB_EV_RELEASE, 65, 30);  // back where it was: nothing
  EXPECT_EQ(host.plain, 1);
  EXPECT_TRUE(hook_log.empty());
  ev(TB_EV_PUSH, 65, 30);
  ev(TB_EV_RELEASE, 45, 30);  // three characters left: width 1
  EXPECT_EQ(rec->col_maxwidth[1], 1);
  EXPECT_EQ(hook_log, (std::vector<std::string>{"set 1 1", "update"}));
  tb_rebuild(rec);
  EXPECT_EQ(rec->title, "a~| def | g");
  ev(TB_EV_PUSH, 45, 30);     // the "|" is now at 2
  ev(TB_EV_RELEASE, 95, 30);  // far right: capped at the title width
  EXPECT_EQ(rec->col_maxwidth[1], 4);
  hook_log.clear();
  ev(TB_EV_DBLCLICK, 75, 30);  // header of the second column
  EXPECT_EQ(hook_log, std::vector<std::string>{"clear 2"});
  EXPECT_EQ(rec->col_maxwidth[2], -1);
  ev(TB_EV_DBLCLICK, 15, 30);
  EXPECT_EQ(rec->col_maxwidth[1], -1);
  // With column 1 hidden the first header shown belongs to column 2.
  rec->col_visible[1] = 0;
  rec->col_maxwidth[2] = 2;
  tb_rebuild(rec);
  ev(TB_EV_DBLCLICK, 15, 30);
  EXPECT_EQ(rec->col_maxwidth[2], -1);
}

TEST_F(TabboxInput, ContextMenu) {
  make(2, 3, "a | b");
  rec->col_maxwidth[1] = 2;
  host.menu_choice = 2;
  ev(TB_EV_PUSH, 100, row_y(0), 3);
  EXPECT_FALSE(host.menu_viewer);
  EXPECT_EQ(rec->col_maxwidth[1], -1);
  EXPECT_EQ(hook_log, std::vector<std::string>{"clear all"});
  tb_set_pos_selected(rec, 1, true);
  host.menu_choice = 4;
  ev(TB_EV_PUSH, 100, row_y(0), 3);
  EXPECT_TRUE(host.menu_viewer);
  host.menu_choice = 1;
  ev(TB_EV_PUSH, 100, row_y(0), 3);
  host.menu_choice = 3;
  ev(TB_EV_PUSH, 100, row_y(0), 3);
  EXPECT_EQ(hook_log, (std::vector<std::string>{"clear all", "view", "sort", "export"}));
  EXPECT_EQ(tb_select_count(rec), 1);  // the right button does not select
}

long dbl_arg;
int dbl_calls;

TEST_F(TabboxInput, ReturnDoubleClickAndF2) {
  make(2, 3);
  rec->dblclick_callback = [](FL_OBJECT *, long arg) {
    dbl_arg = arg;
    dbl_calls++;
  };
  rec->dblclick_arg = 7;
  dbl_calls = 0;
  ev(TB_EV_KEY, 0, 0, XK_Return);
  EXPECT_EQ(dbl_calls, 1);
  host.cmb_focus = true;
  ev(TB_EV_KEY, 0, 0, XK_Return);
  ev(TB_EV_KEY, 0, 0, XK_Down);
  EXPECT_EQ(dbl_calls, 1);
  EXPECT_TRUE(selected().empty());
  ctrl = 1;
  ev(TB_EV_KEY, 0, 0, XK_Return);
  EXPECT_EQ(dbl_calls, 2);
  ctrl = 0;
  host.cmb_focus = false;
  ev(TB_EV_DBLCLICK, 100, row_y(1));
  EXPECT_EQ(dbl_calls, 3);
  EXPECT_EQ(dbl_arg, 7);
  ev(TB_EV_DBLCLICK, 100, row_y(6));  // no line there
  EXPECT_EQ(dbl_calls, 3);

  ev(TB_EV_KEY, 0, 0, XK_F2);  // nothing selected, and this is the viewer's tabbox
  EXPECT_EQ(hook_log, std::vector<std::string>{"close view"});
  tb_set_pos_selected(rec, 0, true);
  ev(TB_EV_KEY, 0, 0, XK_F2);
  EXPECT_EQ(hook_log.back(), "view");
  rec->view = 0;
  tabbox_hooks.tbview_tabbox = nullptr;
  ev(TB_EV_KEY, 0, 0, XK_F2);
  EXPECT_EQ(hook_log.size(), 2u);
}

}  // namespace

namespace {

int info_calls;
long info_arg_seen;
FL_OBJECT *info_object_seen;

TEST_F(TabboxInput, InfoButtonCallsBackOncePerPress) {
  make(2, 3);
  rec->info_callback = [](FL_OBJECT *ob, long arg) {
    info_calls++;
    info_arg_seen = arg;
    info_object_seen = ob;
  };
  rec->info_arg = 3;
  info_calls = 0;
  ev(TB_EV_PUSH, 400, 310);
  EXPECT_EQ(rec->info_pressed, 1);
  EXPECT_EQ(host.redraws, 1);
  EXPECT_EQ(info_calls, 1);
  EXPECT_EQ(info_arg_seen, 3);
  EXPECT_EQ(info_object_seen, kObject);
  ev(TB_EV_PUSH, 400, 310);  // still held
  EXPECT_EQ(info_calls, 1);
  ev(TB_EV_RELEASE, 400, 310);
  EXPECT_EQ(rec->info_pressed, 0);
  EXPECT_EQ(host.redraws, 2);
  EXPECT_EQ(host.callbacks, 0);
}

TEST_F(TabboxInput, RepeatCountdownCarriesOverToTheNextPress) {
  make(2, 40);
  ev(TB_EV_PUSH, 400, 290);   // down button: one line
  ev(TB_EV_MOUSE, 400, 290);  // first repeat pending: countdown 7
  ev(TB_EV_MOUSE, 400, 290);
  ev(TB_EV_MOUSE, 400, 290);  // countdown 5
  ev(TB_EV_RELEASE, 400, 290);
  ASSERT_EQ(rec->topline, 1);
  ev(TB_EV_PUSH, 400, 290);
  EXPECT_EQ(rec->topline, 2);
  // 5 events run the old countdown out, the 6th sets 7, 7 more pass.
  for (int i = 0; i < 13; i++) ev(TB_EV_MOUSE, 400, 290);
  EXPECT_EQ(rec->topline, 2);
  ev(TB_EV_MOUSE, 400, 290);
  EXPECT_EQ(rec->topline, 3);
  ev(TB_EV_RELEASE, 400, 290);
}

TEST_F(TabboxInput, MultiSelectionShiftOnSelectedLineAndCtrlShift) {
  make(3, 10);
  for (int d : {0, 2, 3, 4, 7}) tb_set_pos_selected(rec, d, true);
  shift = 1;
  click(3);  // already selected: its block 2-3 stays, everything else goes
  EXPECT_EQ(selected(), (std::vector<int>{2, 3}));
  tb_clear_selection(rec);
  for (int d : {1, 5, 6, 8}) tb_set_pos_selected(rec, d, true);
  ctrl = 1;
  click(4);  // up to the selected line 1; down, the block 5-6 is cleared
  EXPECT_EQ(selected(), (std::vector<int>{1, 2, 3, 4, 8}));
  EXPECT_EQ(host.callbacks, 2);
}

TEST_F(TabboxInput, HorizontalTrackPagesTowardThePointer) {
  make(2, 3);
  rec->xmax = 100;
  ev(TB_EV_PUSH, 250, 310);  // right of the knob (29 .. 165)
  EXPECT_EQ(rec->left_col, 37);
  ev(TB_EV_RELEASE, 250, 310);
  ev(TB_EV_PUSH, 100, 310);  // left of the knob, now at 29 + 123
  EXPECT_EQ(rec->left_col, 0);
  ev(TB_EV_RELEASE, 100, 310);
}

TEST_F(TabboxInput, HorizontalFunctionsSeePendingContent) {
  make(2, 0);
  // A wider title and line, not yet rebuilt: xmax still says 5.
  tb_set_title(rec, std::string(100, 'T').c_str());
  tb_add_line(rec, std::string(100, 'x').c_str());
  tb_horizontal(rec, host, 1);
  EXPECT_EQ(rec->left_col, 1);
  shift = 1;
  tb_horizontal(rec, host, 1);  // a page: 1 - 1 + 38
  EXPECT_EQ(rec->left_col, 38);
  tb_horizontal(rec, host, 1);  // capped at xmax - screen_cols
  EXPECT_EQ(rec->left_col, 62);
  tb_horizontal(rec, host, -1);
  EXPECT_EQ(rec->left_col, 23);
  EXPECT_EQ(host.redraws, 4);
}

TEST_F(TabboxInput, TitlePressStartsDragOnlyRightOfABar) {
  make(2, 0, "abc | def");
  ev(TB_EV_PUSH, 55, 30);  // q = 4: the "|" itself
  EXPECT_EQ(rec->col_drag, 0);
  ev(TB_EV_PUSH, 15, 30);  // q = 0
  EXPECT_EQ(rec->col_drag, 0);
  EXPECT_EQ(host.hand, 0);
  ev(TB_EV_PUSH, 115, 30);  // q = 10, past the title
  EXPECT_EQ(rec->col_drag, 0);
  ev(TB_EV_PUSH, 65, 30);
  EXPECT_EQ(rec->col_drag, 1);
  ev(TB_EV_RELEASE, 65, 100);  // released over the text area: no new width
  EXPECT_EQ(host.plain, 1);
  EXPECT_EQ(rec->col_maxwidth[1], -1);
  EXPECT_TRUE(hook_log.empty());
}

}  // namespace
