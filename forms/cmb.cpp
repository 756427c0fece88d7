// Combo boxes on the screen; see cmb.h.
#include "forms/cmb.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include "base/containers.h"
#include "base/msglog.h"
#include "forms/dialogs.h"
#include "forms/forms.h"
#include "forms/objdata.h"

int cmb_open = 0;
CMBREC *open_cmb = nullptr;
FL_OBJECT *cmb_browser_called_from = nullptr;

namespace {

// The combo of object or the end of the process with the caller's message.
CMBREC *cmb_or_exit(FL_OBJECT *object, const char *message) {
  CMBREC *cmb = myfl_get_cmb(object);
  if (!cmb) {
    Log_Msg(message);
    Msglog_Exit(1);
  }
  return cmb;
}

CMBREC *open_cmb_or_exit(FL_OBJECT *object) {
  return cmb_or_exit(object, "(myfl_cb_open_cmb) Cmb not defined\n");
}

void report_change(CMBREC *cmb, FL_OBJECT *object) {
  if (cmb->callback) cmb->callback(object, 0);
}

void show_entry(CMBREC *cmb, int index) {
  fl_set_input(cmb->input, cmb_shown_text(cmb->data.texts[index]).c_str());
}

FL_OBJECT *browser() { return fd_COMBO->browser; }

// Selects line (from 1) in the list and scrolls it into view.
void select_line(int line) {
  FL_OBJECT *br = browser();
  fl_select_browser_line(br, line);
  int top = fl_get_browser_topline(br);
  int wanted = cmb_scroll_top(line, top, fl_get_browser_screenlines(br));
  if (wanted != top) fl_set_browser_topline(br, wanted);
}

// Fills the list with the entries in sorted order; a typed prefix selects
// its first line and is completed to the line's text.
void fill_list(CMBREC *cmb) {
  FL_OBJECT *br = browser();
  fl_freeze_form(fd_COMBO->COMBO);
  fl_clear_browser(br);
  for (int i = 0; i < cmb->data.count(); i++) {
    // A line starting with "@" would be read as format codes; "@@" is a
    // plain "@".
    const std::string &text = cmb->data.texts[i];
    fl_add_browser_line(br, (text.compare(0, 1, "@") == 0 ? "@" + text : text).c_str());
    cmb->data.line_map[i] = i;
  }
  fl_unfreeze_form(fd_COMBO->COMBO);
  std::string typed = fl_get_input(cmb->input);
  if (typed.empty()) return;
  int found = cmb_find(cmb->data, typed);
  if (found < 0) return;
  select_line(found + 1);
  fl_set_input(cmb->input, cmb->data.texts[found].c_str());
}

void open_list(CMBREC *cmb, FL_OBJECT *from) {
  cmb_open = 1;
  cmb_browser_called_from = from;
  fl_set_app_mainform(cmb->form);
  fill_list(cmb);
  FL_FORM *list = fd_COMBO->COMBO;
  CMB_PLACE p = cmb_list_place(cmb->form->x, cmb->form->y, cmb->input->x, cmb->input->y,
                               cmb->input->w, cmb->input->h, cmb->data.count(), fl_scrh);
  fl_set_form_size(list, p.w, p.h);
  fl_set_form_position(list, p.x, p.y);
  fl_set_mouse(p.x + p.w * 2 / 3, p.y + p.h / 2);
  fl_show_form(list, FL_PLACE_POSITION, FL_NOBORDER, "");
  cmb->list_open = 1;
  open_cmb = cmb;
  fl_set_focus_object(cmb->form, cmb->input);
}

void step(CMBREC *cmb, int dir) {
  if (!cmb || cmb->data.count() == 0) return;
  CMB_STEP st = cmb_step(cmb->data, fl_get_input(cmb->input), dir);
  cmb->data.selected = st.index;
  if (st.empty_input)
    fl_set_input(cmb->input, "");
  else
    show_entry(cmb, st.index);
  report_change(cmb, cmb->input);
  if (cmb->list_open) select_line(st.index + 1);
}

KeySym keysym_of(XEvent *ev) {
  char buffer[20];
  KeySym sym = 0;
  XLookupString(&ev->xkey, buffer, sizeof buffer, &sym, nullptr);
  return sym;
}

}  // namespace

CMBREC *myfl_get_cmb(FL_OBJECT *object) {
  intptr_t value = 0;
  if (!object || !ltsearch(Cmb, reinterpret_cast<intptr_t>(object), &value)) return nullptr;
  return reinterpret_cast<CMBREC *>(value);
}

int myfl_is_cmb(FL_OBJECT *object) { return myfl_get_cmb(object) ? 1 : 0; }

int myfl_init_data_cmb(BESREC *, FL_FORM *form, FL_OBJECT *input, FL_OBJECT *button,
                       const char *data, int no_blank) {
  fl_set_input_return(input, FL_RETURN_END);
  CMBREC *cmb = new CMBREC{};
  if (!ltinsert(&Cmb, reinterpret_cast<intptr_t>(input), reinterpret_cast<intptr_t>(cmb))) {
    Log_Msg("(myfl_init_data_cmb) Cmb already defined\n");
    Msglog_Exit(1);
  }
  if (button &&
      !ltinsert(&Cmb, reinterpret_cast<intptr_t>(button), reinterpret_cast<intptr_t>(cmb))) {
    Log_Msg("(myfl_init_data_cmb) Cmb (button) already defined\n");
    Msglog_Exit(1);
  }
  cmb->form = form;
  cmb->input = input;
  cmb->button = button;
  cmb->list_open = 0;
  cmb->kind = 1;
  cmb->no_blank = no_blank;
  cmb->callback = nullptr;
  if (!cmb_parse(&cmb->data, data, no_blank)) {
    Log_Msg("(myfl_init_data_cmb) Too many keys (max = %d)\n", CMB_MAX_KEYS);
    Msglog_Exit(1);
  }
  myfl_sort_cmb(input);
  myfl_add_obj_data1(input, OBJDATA_CMB, reinterpret_cast<intptr_t>(data ? data : ""));
  fl_set_object_prehandler(input, cb_cmb_prehandler);
  return 1;
}

void myfl_sort_cmb(FL_OBJECT *input) {
  cmb_sort(&cmb_or_exit(input, "(myfl_sort_cmb) Cmb not defined\n")->data);
}

int myfl_set_cmb_code(FL_OBJECT *input, const char *code) {
  CMBREC *cmb = cmb_or_exit(input, "(myfl_set_cmb_code) Cmb not defined\n");
  std::string wanted = code ? code : "";
  if (wanted.empty()) {
    wanted = CMB_BLANK_CODE;
    fl_set_input(cmb->input, "");
  }
  int index = cmb_find_code(cmb->data, wanted);
  if (index < 0) {
    Log_Msg("(set_cmb_code) Warning: CMB-Code '%s' is invalid!\n", wanted.c_str());
    fl_set_input(cmb->input, wanted.c_str());
    return 0;
  }
  show_entry(cmb, index);
  cmb->data.selected = index;
  report_change(cmb, cmb->input);
  return 1;
}

const char *myfl_get_cmb_code(FL_OBJECT *input) {
  CMBREC *cmb = cmb_or_exit(input, "(myfl_get_cmb_code) Cmb not defined\n");
  return cmb->data.selected >= 0 ? cmb->data.codes[cmb->data.selected].c_str() : CMB_BLANK_CODE;
}

void myfl_set_cmb_callback(FL_OBJECT *input, FL_CALLBACKPTR callback) {
  cmb_or_exit(input, "(myfl_set_cmb_callback) Cmb not defined\n")->callback = callback;
}

void myfl_cb_cmb(FL_OBJECT *input, long) {
  CMBREC *cmb = open_cmb_or_exit(input);
  std::string typed = fl_get_input(cmb->input);
  if (typed.empty()) {
    cmb->data.selected = -1;
    return;
  }
  int found = cmb_find(cmb->data, typed);
  if (found < 0) return;
  if (cmb->list_open) select_line(found + 1);
  cmb->data.selected = found;
  show_entry(cmb, found);
  report_change(cmb, cmb->input);
}

void myfl_cb_cmb_button(FL_OBJECT *object, long) {
  CMBREC *cmb = open_cmb_or_exit(object);
  if (cmb->list_open)
    myfl_close_cmb();
  else if (!cmb_open)
    open_list(cmb, object);
}

void myfl_cb_sel_cmb(FL_OBJECT *br, long) {
  int line = fl_get_browser(br);
  if (line <= 0 || !cmb_browser_called_from) return;
  CMBREC *cmb = open_cmb_or_exit(cmb_browser_called_from);
  if (line > cmb->data.count()) return;
  int index = cmb->data.line_map[line - 1];
  cmb->data.selected = index;
  show_entry(cmb, index);
  // The change callback learns of a pick through the list browser, not
  // the input.
  report_change(cmb, br);
  myfl_close_cmb();
}

void myfl_cmb_up(CMBREC *cmb) { step(cmb, -1); }
void myfl_cmb_down(CMBREC *cmb) { step(cmb, 1); }

void myfl_close_cmb(void) {
  if (open_cmb) open_cmb->list_open = 0;
  cmb_open = 0;
  open_cmb = nullptr;
  if (fd_COMBO && fl_form_is_visible(fd_COMBO->COMBO)) fl_hide_form(fd_COMBO->COMBO);
}

int cb_cmb_prehandler(FL_OBJECT *object, int event, FL_Coord, FL_Coord, int, void *) {
  if (event == FL_UNFOCUS) {
    CMBREC *cmb = myfl_get_cmb(object);
    if (cmb && cmb->list_open) myfl_close_cmb();
  }
  return 0;
}

int XEvent_COMBO_Callback(FL_FORM *, void *xev) {
  XEvent *ev = static_cast<XEvent *>(xev);
  if (!cmb_open || !cmb_browser_called_from) return 0;
  if (ev->type == LeaveNotify) {
    if (ev->xcrossing.detail != NotifyInferior) myfl_close_cmb();
    return 0;
  }
  if (ev->type != KeyPress) return 0;
  FL_OBJECT *from = cmb_browser_called_from;
  CMBREC *cmb = myfl_get_cmb(from);
  switch (keysym_of(ev)) {
    case XK_Escape:
      // The toolkit hands the keys of the list to the form that holds the
      // focus, whose help button would take Escape for that window's close.
      myfl_close_cmb();
      return 1;
    case XK_Up:
      if (!ctrl_pressed) myfl_cmb_up(cmb);
      break;
    case XK_Down:
      if (!ctrl_pressed) myfl_cmb_down(cmb);
      break;
    case XK_Tab: fl_call_object_callback(from); break;
    case XK_Return:
      if (!ctrl_pressed && cmb && cmb->list_open)
        myfl_close_cmb();
      else
        fl_call_object_callback(from);
      break;
    case XK_F4: myfl_cb_cmb_button(from, 0); break;
    default: break;
  }
  return 0;
}

int COMBO_AtClose(FL_FORM *, void *) {
  myfl_close_cmb();
  return FL_IGNORE;
}
