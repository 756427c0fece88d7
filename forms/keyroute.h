// The routing decisions of the framework's raw keyboard handler
// (XEvent_Callback, forms.h) as plain functions: which row of the routing
// table an event falls under and what it asks for, and the Tab rule.  The
// XForms side gathers the situation, calls key_route and carries the
// action out.
#ifndef FORMS_KEYROUTE_H
#define FORMS_KEYROUTE_H

#include <functional>

// The event, reduced to what routing needs.
enum { KEV_PRESS, KEV_RELEASE, KEV_ENTER, KEV_LEAVE, KEV_OTHER };

struct KEY_SITUATION {
  int event = KEV_OTHER;
  unsigned long keysym = 0;   // the keysym XLookupString gives (key events)
  bool active_form = false;   // Active_Form is set
  bool form_visible = false;  // ... and shown
  bool focus = false;         // the active form has a focus object
  bool focus_cmb = false;     // ... which is a combo's input or button
  bool focus_input = false;   // ... which is of the toolkit's input class
  bool focus_editor = false;  // ... which is an editor's input
  bool list_open = false;     // the focused combo's list is open
  bool ctrl = false;          // ctrl_pressed
};

enum {
  KA_NONE,
  KA_SHIFT,        // set shift_pressed to flag
  KA_ALT,          // set alt_pressed to flag
  KA_CTRL,         // set ctrl_pressed to flag
  KA_TB_LEFTMOST,  // myfl_call_ctrl_tabbox_leftmost on the active form
  KA_TB_LEFT,
  KA_TB_RIGHT,
  KA_TB_RIGHTMOST,
  KA_TB_PGUP,
  KA_TB_PGDOWN,
  KA_TB_UP,
  KA_TB_DOWN,
  KA_TB_DBLCLICK,  // myfl_call_ctrl_tabbox_dblclick on the active form
  KA_CMB_BUTTON,   // myfl_cb_cmb_button on the focus object
  KA_CMB_UP,       // myfl_cmb_up on the focused combo
  KA_CMB_DOWN,
  KA_EDITOR_TAB,  // myfl_set_focus_next_input after the focused editor
  KA_TAB,         // the Tab rule
  KA_ENTER,       // the pointer entered a form window
  KA_LEAVE        // the pointer left a form window
};

// The result the handler gives back: 0 or 1, or the result of the control
// tabbox call (1 when the form has a control tabbox), or that of the Tab rule.
enum { KR_PASS = 0, KR_USED = 1, KR_TABBOX = 2, KR_TAB = 3 };

struct KEY_ROUTE {
  int action = KA_NONE;
  int flag = 0;  // the modifier flag's new value
  int result = KR_PASS;
};

// The first row of the routing table that the situation matches.
KEY_ROUTE key_route(const KEY_SITUATION &s);

// The Tab rule on the active form.  focus is its focus object (null for
// none), *active_obj the object seen at the previous Tab (Active_Obj).
// When the focus did not move since (or there is none), *active_obj is
// cleared and focus_first() tried: it focuses the form's focus-first object
// and returns 1 when that exists and is not deactivated, which uses the key
// (result 1).  Otherwise *active_obj becomes focus and the key is left to
// the toolkit (0).
int tab_rule(bool active_form, void *focus, void **active_obj,
             const std::function<int()> &focus_first);

#endif
