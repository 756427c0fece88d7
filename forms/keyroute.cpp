// The routing table of the raw keyboard handler; see keyroute.h.
#include "forms/keyroute.h"

#include <X11/keysym.h>

namespace {

int modifier_action(unsigned long sym) {
  switch (sym) {
    case XK_Shift_L:
    case XK_Shift_R: return KA_SHIFT;
    case XK_Alt_L:
    case XK_Alt_R: return KA_ALT;
    case XK_Control_L:
    case XK_Control_R: return KA_CTRL;
    default: return KA_NONE;
  }
}

int ctrl_scroll_action(unsigned long sym) {
  switch (sym) {
    case XK_Home: return KA_TB_LEFTMOST;
    case XK_Left: return KA_TB_LEFT;
    case XK_Right: return KA_TB_RIGHT;
    case XK_Prior: return KA_TB_PGUP;
    case XK_Next: return KA_TB_PGDOWN;
    case XK_End: return KA_TB_RIGHTMOST;
    default: return KA_NONE;
  }
}

KEY_ROUTE route(int action, int result, int flag = 0) {
  KEY_ROUTE r;
  r.action = action;
  r.result = result;
  r.flag = flag;
  return r;
}

}  // namespace

KEY_ROUTE key_route(const KEY_SITUATION &s) {
  if (s.event == KEV_ENTER) return route(KA_ENTER, KR_PASS);
  if (s.event == KEV_LEAVE) return route(KA_LEAVE, KR_PASS);
  if (s.event != KEV_PRESS && s.event != KEV_RELEASE) return route(KA_NONE, KR_PASS);
  unsigned long k = s.keysym;
  if (int m = modifier_action(k)) return route(m, KR_PASS, s.event == KEV_PRESS ? 1 : 0);
  if (s.event != KEV_PRESS) return route(KA_NONE, KR_PASS);
  if (int a = ctrl_scroll_action(k); a && s.active_form && s.ctrl) return route(a, KR_TABBOX);
  bool cmb_key = k == XK_F4 || k == XK_Return || k == XK_Up || k == XK_Down;
  if (cmb_key && (!s.active_form || !s.form_visible || !s.focus)) return route(KA_NONE, KR_PASS);
  if (k == XK_F4 && s.focus_cmb) return route(KA_CMB_BUTTON, KR_PASS);
  if (k == XK_Return && s.focus_cmb && !s.ctrl && s.list_open) return route(KA_CMB_BUTTON, KR_PASS);
  if ((k == XK_Up || k == XK_Down) && s.focus_cmb && !s.ctrl)
    return route(k == XK_Up ? KA_CMB_UP : KA_CMB_DOWN, KR_PASS);
  if ((k == XK_Up || k == XK_Down) && s.ctrl)
    return route(k == XK_Up ? KA_TB_UP : KA_TB_DOWN, KR_TABBOX);
  if (k == XK_Return && s.focus_input && s.ctrl) return route(KA_TB_DBLCLICK, KR_USED);
  // The toolkit moves the focus on Tab before an input sees the key, so the
  // editor's own Tab (on to the next input) is taken here.
  if (k == XK_Tab && s.active_form && s.focus_editor) return route(KA_EDITOR_TAB, KR_USED);
  if (k == XK_Tab) return route(KA_TAB, KR_TAB);
  return route(KA_NONE, KR_PASS);
}

int tab_rule(bool active_form, void *focus, void **active_obj,
             const std::function<int()> &focus_first) {
  if (!active_form) {
    *active_obj = nullptr;
    return 0;
  }
  if (!focus || focus == *active_obj) {
    *active_obj = nullptr;
    if (focus_first()) return 1;
  }
  *active_obj = focus;
  return 0;
}
