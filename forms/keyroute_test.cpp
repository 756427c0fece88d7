// Tests of the routing table of the raw keyboard handler, row by row, and
// of the Tab rule.
// GoogleTest comes before the X headers, whose macro None clashes with it.
#include <gtest/gtest.h>

#include "forms/keyroute.h"

#include <X11/keysym.h>

namespace {

// A key press in a shown registered form whose focus is a plain input.
KEY_SITUATION press(unsigned long sym) {
  KEY_SITUATION s;
  s.event = KEV_PRESS;
  s.keysym = sym;
  s.active_form = s.form_visible = s.focus = s.focus_input = true;
  return s;
}

KEY_SITUATION on_combo(KEY_SITUATION s) {
  s.focus_cmb = true;
  return s;
}

KEY_SITUATION with_ctrl(KEY_SITUATION s) {
  s.ctrl = true;
  return s;
}

void expect_route(const KEY_SITUATION &s, int action, int result, const char *what) {
  KEY_ROUTE r = key_route(s);
  EXPECT_EQ(r.action, action) << what;
  EXPECT_EQ(r.result, result) << what;
}

TEST(KeyRoute, ModifiersAreTrackedEvenWithoutActiveForm) {
  struct Case {
    unsigned long sym;
    int action;
  };
  for (const Case &c :
       {Case{XK_Shift_L, KA_SHIFT}, Case{XK_Shift_R, KA_SHIFT}, Case{XK_Alt_L, KA_ALT},
        Case{XK_Alt_R, KA_ALT}, Case{XK_Control_L, KA_CTRL}, Case{XK_Control_R, KA_CTRL}}) {
    KEY_SITUATION s;
    s.event = KEV_PRESS;
    s.keysym = c.sym;
    KEY_ROUTE r = key_route(s);
    EXPECT_EQ(r.action, c.action);
    EXPECT_EQ(r.flag, 1);
    EXPECT_EQ(r.result, KR_PASS);
    s.event = KEV_RELEASE;
    r = key_route(s);
    EXPECT_EQ(r.action, c.action);
    EXPECT_EQ(r.flag, 0);
  }
}

TEST(KeyRoute, CtrlScrollKeysDriveTheControlTabbox) {
  struct Case {
    unsigned long sym;
    int action;
  };
  for (const Case &c :
       {Case{XK_Home, KA_TB_LEFTMOST}, Case{XK_Left, KA_TB_LEFT}, Case{XK_Right, KA_TB_RIGHT},
        Case{XK_Prior, KA_TB_PGUP}, Case{XK_Next, KA_TB_PGDOWN}, Case{XK_End, KA_TB_RIGHTMOST}}) {
    expect_route(with_ctrl(press(c.sym)), c.action, KR_TABBOX, "ctrl");
    // Also with a combo focused and without any focus object.
    expect_route(with_ctrl(on_combo(press(c.sym))), c.action, KR_TABBOX, "ctrl combo");
    KEY_SITUATION nofocus = with_ctrl(press(c.sym));
    nofocus.focus = nofocus.focus_input = false;
    expect_route(nofocus, c.action, KR_TABBOX, "ctrl no focus");
    expect_route(press(c.sym), KA_NONE, KR_PASS, "no ctrl");
    KEY_SITUATION inactive = with_ctrl(press(c.sym));
    inactive.active_form = false;
    expect_route(inactive, KA_NONE, KR_PASS, "no active form");
    KEY_SITUATION release = with_ctrl(press(c.sym));
    release.event = KEV_RELEASE;
    expect_route(release, KA_NONE, KR_PASS, "release");
  }
}

TEST(KeyRoute, ComboKeysNeedAVisibleActiveFormWithFocus) {
  for (unsigned long sym : {XK_F4, XK_Return, XK_Up, XK_Down}) {
    KEY_SITUATION s = with_ctrl(on_combo(press(sym)));
    s.list_open = true;
    KEY_SITUATION none = s;
    none.active_form = false;
    expect_route(none, KA_NONE, KR_PASS, "no active form");
    KEY_SITUATION hidden = s;
    hidden.form_visible = false;
    expect_route(hidden, KA_NONE, KR_PASS, "hidden form");
    KEY_SITUATION nofocus = s;
    nofocus.focus = false;
    expect_route(nofocus, KA_NONE, KR_PASS, "no focus");
  }
}

TEST(KeyRoute, ComboRows) {
  expect_route(on_combo(press(XK_F4)), KA_CMB_BUTTON, KR_PASS, "F4");
  expect_route(with_ctrl(on_combo(press(XK_F4))), KA_CMB_BUTTON, KR_PASS, "Ctrl+F4");
  expect_route(press(XK_F4), KA_NONE, KR_PASS, "F4 on a plain input");

  KEY_SITUATION open = on_combo(press(XK_Return));
  open.list_open = true;
  expect_route(open, KA_CMB_BUTTON, KR_PASS, "Return, list open");
  // List closed: the toolkit ends the input as usual.
  expect_route(on_combo(press(XK_Return)), KA_NONE, KR_PASS, "Return, list closed");
  // Ctrl+Return in a combo input is the double click of the control tabbox.
  expect_route(with_ctrl(open), KA_TB_DBLCLICK, KR_USED, "Ctrl+Return, list open");

  expect_route(on_combo(press(XK_Up)), KA_CMB_UP, KR_PASS, "Up");
  expect_route(on_combo(press(XK_Down)), KA_CMB_DOWN, KR_PASS, "Down");
  expect_route(with_ctrl(on_combo(press(XK_Up))), KA_TB_UP, KR_TABBOX, "Ctrl+Up on combo");
}

TEST(KeyRoute, InputRows) {
  expect_route(with_ctrl(press(XK_Up)), KA_TB_UP, KR_TABBOX, "Ctrl+Up");
  expect_route(with_ctrl(press(XK_Down)), KA_TB_DOWN, KR_TABBOX, "Ctrl+Down");
  expect_route(press(XK_Up), KA_NONE, KR_PASS, "Up");
  expect_route(with_ctrl(press(XK_Return)), KA_TB_DBLCLICK, KR_USED, "Ctrl+Return");
  expect_route(press(XK_Return), KA_NONE, KR_PASS, "Return");
  KEY_SITUATION button = with_ctrl(press(XK_Return));
  button.focus_input = false;
  expect_route(button, KA_NONE, KR_PASS, "Ctrl+Return on a button");
  expect_route(press(XK_Tab), KA_TAB, KR_TAB, "Tab");
  KEY_SITUATION editor = press(XK_Tab);
  editor.focus_editor = true;
  expect_route(editor, KA_EDITOR_TAB, KR_USED, "Tab in an editor");
  editor.active_form = false;
  expect_route(editor, KA_TAB, KR_TAB, "Tab in an editor, pointer outside");
  KEY_SITUATION away;
  away.event = KEV_PRESS;
  away.keysym = XK_Tab;
  expect_route(away, KA_TAB, KR_TAB, "Tab without active form");
  expect_route(press(XK_a), KA_NONE, KR_PASS, "a letter");
  expect_route(press(XK_Escape), KA_NONE, KR_PASS, "Escape is a shortcut");
  expect_route(press(XK_F1), KA_NONE, KR_PASS, "F1 is a shortcut");
}

TEST(KeyRoute, Crossings) {
  KEY_SITUATION s;
  s.event = KEV_ENTER;
  expect_route(s, KA_ENTER, KR_PASS, "enter");
  s.event = KEV_LEAVE;
  expect_route(s, KA_LEAVE, KR_PASS, "leave");
  s.event = KEV_OTHER;
  expect_route(s, KA_NONE, KR_PASS, "other");
}

TEST(TabRule, StepsInOnlyWhereTheFocusDidNotMove) {
  int a = 0, b = 0;
  void *active = nullptr;
  int first_calls = 0;
  auto first_ok = [&] {
    first_calls++;
    return 1;
  };
  auto first_missing = [&] {
    first_calls++;
    return 0;
  };

  // No active form: forgotten, left to the toolkit.
  active = &a;
  EXPECT_EQ(tab_rule(false, &a, &active, first_ok), 0);
  EXPECT_EQ(active, nullptr);
  EXPECT_EQ(first_calls, 0);
  // A new focus object: remembered, left to the toolkit.
  EXPECT_EQ(tab_rule(true, &a, &active, first_ok), 0);
  EXPECT_EQ(active, &a);
  EXPECT_EQ(tab_rule(true, &b, &active, first_ok), 0);
  EXPECT_EQ(active, &b);
  EXPECT_EQ(first_calls, 0);
  // The focus stayed on b: the focus-first object takes it.
  EXPECT_EQ(tab_rule(true, &b, &active, first_ok), 1);
  EXPECT_EQ(active, nullptr);
  EXPECT_EQ(first_calls, 1);
  // No focus object at all, and no usable focus-first object.
  EXPECT_EQ(tab_rule(true, nullptr, &active, first_missing), 0);
  EXPECT_EQ(active, nullptr);
  active = &a;
  EXPECT_EQ(tab_rule(true, &a, &active, first_missing), 0);
  EXPECT_EQ(active, &a);
  EXPECT_EQ(first_calls, 3);
}

}  // namespace
