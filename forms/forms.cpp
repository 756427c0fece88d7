// The core of the form framework; see forms.h.
#include "forms/forms.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/ini.h"
#include "base/mem.h"
#include "base/msglog.h"
#include "forms/cmb.h"
#include "forms/dialogs.h"
#include "forms/formpos.h"
#include "forms/keyroute.h"
#include "forms/objdata.h"
#include "widgets/editor.h"
#include "widgets/mytabs.h"
#include "widgets/tabbox_hooks.h"

LTREE Cmb = nullptr;
LTREE Help = nullptr;
LTREE Form = nullptr;
LTREE Data = nullptr;
LIST FormWinLs = {0, nullptr, nullptr};

FL_FORM *Active_Form = nullptr;
FL_OBJECT *Active_Obj = nullptr;
int shift_pressed = 0, alt_pressed = 0, ctrl_pressed = 0;

char *myfl_applname = nullptr;

namespace {

FORMREC *find_rec(FL_FORM *form) {
  intptr_t value = 0;
  if (!form || !ltsearch(Form, reinterpret_cast<intptr_t>(form), &value)) return nullptr;
  return reinterpret_cast<FORMREC *>(value);
}

FORMREC *find_or_make_rec(FL_FORM *form) {
  if (FORMREC *rec = find_rec(form)) return rec;
  FORMREC *rec = static_cast<FORMREC *>(mymalloc(sizeof(FORMREC)));
  *rec = FORMREC{form, nullptr, nullptr, nullptr, -1, 0, 0, -1, -1, nullptr, nullptr};
  ltinsert(&Form, reinterpret_cast<intptr_t>(form), reinterpret_cast<intptr_t>(rec));
  return rec;
}

// The record of form or the end of the process after message.
FORMREC *rec_or_exit(FL_FORM *form, const char *message) {
  FORMREC *rec = find_rec(form);
  if (!rec) {
    Log_Msg(message);
    Msglog_Exit(1);
  }
  return rec;
}

HELPREC *help_of_form(FL_FORM *form) {
  LIST all;
  ltdump(Help, &all);
  HELPREC *found = nullptr;
  intptr_t value = 0;
  for (lsinitread(&all); !found && lsread(&all, &value);)
    if (reinterpret_cast<HELPREC *>(value)->form == form)
      found = reinterpret_cast<HELPREC *>(value);
  lsfree(&all);
  return found;
}

void copy_text(const char *text, char *buffer, int size) {
  if (size <= 0) return;
  strncpy(buffer, text, size - 1);
  buffer[size - 1] = 0;
}

// The object that takes the keys for ob: a multi-line input is a composite
// whose inner input does the typing (and carries the activity).
FL_OBJECT *typing_object(FL_OBJECT *ob) {
  return ob->objclass == FL_INPUT && ob->child && ob->child->objclass == FL_INPUT ? ob->child : ob;
}

bool not_deactivated(FL_OBJECT *ob) { return fl_object_is_active(typing_object(ob)); }

void focus_on(FL_FORM *form, FL_OBJECT *ob) { fl_set_focus_object(form, typing_object(ob)); }

// An input the user can type into; the parts of a composite object are
// left to their parent.
bool usable_input(FL_OBJECT *ob) {
  return ob->objclass == FL_INPUT && !ob->parent && not_deactivated(ob) && fl_object_is_visible(ob);
}

// The control tabbox of form after the diagnostic of the myfl_call_ctrl_tabbox
// family; null when the form has none.
FL_OBJECT *ctrl_tabbox_for_call(FL_FORM *form) {
  FORMREC *rec = find_rec(form);
  if (!rec) {
    Log_Msg("(myfl_call_ctrl_tabbox) Form not found!\n");
    return nullptr;
  }
  return rec->ctrl_tabbox;
}

int call_ctrl_tabbox(FL_FORM *form, int (*operation)(FL_OBJECT *)) {
  FL_OBJECT *tabbox = ctrl_tabbox_for_call(form);
  if (!tabbox) return 0;
  operation(tabbox);
  return 1;
}

int event_kind(const XEvent *ev) {
  switch (ev->type) {
    case KeyPress: return KEV_PRESS;
    case KeyRelease: return KEV_RELEASE;
    case EnterNotify: return KEV_ENTER;
    case LeaveNotify: return KEV_LEAVE;
    default: return KEV_OTHER;
  }
}

FL_FORM *registered_form_of(Window window) {
  intptr_t value = 0;
  for (lsinitread(&FormWinLs); lsread(&FormWinLs, &value);) {
    FL_FORM *form = reinterpret_cast<FL_FORM *>(value);
    if (form->window == window) return form;
  }
  return nullptr;
}

void pointer_entered(const XEvent *ev) {
  FL_FORM *form = registered_form_of(ev->xcrossing.window);
  if (!(fd_COMBO && form == fd_COMBO->COMBO)) Active_Form = form;
  if (cmb_open && Active_Form && fd_COMBO && fd_COMBO->COMBO->window)
    XRaiseWindow(fl_get_display(), fd_COMBO->COMBO->window);
  shift_pressed = alt_pressed = ctrl_pressed = 0;
}

void connect_widgets() {
  tabbox_hooks.is_cmb = myfl_is_cmb;
  tabbox_hooks.shift_pressed = &shift_pressed;
  tabbox_hooks.ctrl_pressed = &ctrl_pressed;
  tabbox_hooks.set_col_width = set_col_width;
  tabbox_hooks.clear_col_width = clear_col_width;
  tabbox_hooks.clear_col_widths = clear_col_widths;
  tabbox_hooks.applname = myfl_get_applname;
  tabbox_hooks.add_obj_data1 = myfl_add_obj_data1;
  tabbox_hooks.add_obj_data2 = myfl_add_obj_data2;
  editor_hooks.set_focus_next_input = myfl_set_focus_next_input;
  editor_hooks.define_shortcut = myfl_define_shortcut;
}

// The windows are laid out in pixels for fonts at 75 dpi.  X servers that
// also have the 100 dpi bitmap fonts usually list them first, and XForms'
// font names leave the resolution open, so a 12 point label would come out
// a third wider and run into its neighbours.  The toolkit's fonts 0 to 14
// are asked for at 75 dpi (in Latin-1); where the server has no such font,
// the toolkit's own choice stays.
void use_designed_fonts() {
  static const char *const families[] = {
      "helvetica-medium-r", "helvetica-bold-r", "helvetica-medium-o", "helvetica-bold-o",
      "courier-medium-r",   "courier-bold-r",   "courier-medium-o",   "courier-bold-o",
      "times-medium-r",     "times-bold-r",     "times-medium-i",     "times-bold-i",
      "charter-medium-r",   "charter-bold-r",   "charter-medium-i"};
  static std::vector<std::string> defaults;
  defaults.clear();
  fl_enumerate_fonts([](const char *f) { defaults.push_back(f); }, 0);
  for (int i = 0; i < static_cast<int>(sizeof families / sizeof families[0]); i++) {
    std::string name = std::string("-*-") + families[i] + "-normal-*-*-?-75-75-*-*-iso8859-1";
    if (fl_set_font_name(i, name.c_str()) < 0 && i < static_cast<int>(defaults.size()))
      fl_set_font_name(i, defaults[i].c_str());
  }
}

// A point of the form where a click reaches no object but the invisible
// help button (boxes, texts and frames take no events; neither do hidden
// or deactivated objects), a few pixels in from a corner or an edge; false
// when there is none.
bool free_point(FL_FORM *form, int *px, int *py) {
  const int w = form->w, h = form->h;
  const int cand[][2] = {{w - 3, 3}, {3, 3},         {w - 3, h - 3}, {3, h - 3},
                         {w / 2, 3}, {w / 2, h - 3}, {3, h / 2},     {w - 3, h / 2}};
  for (const auto &c : cand) {
    bool covered = false;
    for (FL_OBJECT *ob = form->first; ob && !covered; ob = ob->next) {
      if (!ob->visible || ob->active <= 0 || ob->objclass == FL_BEGIN_GROUP ||
          ob->objclass == FL_END_GROUP)
        continue;
      if (ob->objclass == FL_BUTTON && ob->type == FL_HIDDEN_BUTTON) continue;
      covered = c[0] >= ob->x && c[0] < ob->x + ob->w && c[1] >= ob->y && c[1] < ob->y + ob->h;
    }
    if (!covered) {
      *px = c[0];
      *py = c[1];
      return true;
    }
  }
  return false;
}

// The toolkit hands every key to the form last clicked into (while it is
// shown), whatever window the key was typed in: a window shown over one the
// user worked in would get neither F1, Escape nor typing until clicked into
// (Escape in the detail window would ask to end the program).  A left click
// sent to a free spot of the new window, which lands on its invisible help
// button and does nothing, makes it that form.
void take_keyboard(FL_FORM *form) {
  Display *display = fl_get_display();
  int x, y;
  if (!form || !form->window || !display || !free_point(form, &x, &y)) return;
  for (int type : {ButtonPress, ButtonRelease}) {
    XEvent ev = {};
    ev.xbutton.type = type;
    ev.xbutton.display = display;
    ev.xbutton.window = form->window;
    ev.xbutton.root = DefaultRootWindow(display);
    ev.xbutton.x = x;
    ev.xbutton.y = y;
    ev.xbutton.x_root = form->x + x;
    ev.xbutton.y_root = form->y + y;
    ev.xbutton.button = Button1;
    ev.xbutton.state = type == ButtonRelease ? Button1Mask : 0;
    ev.xbutton.same_screen = True;
    XSendEvent(display, form->window, True,
               type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &ev);
  }
  XFlush(display);
}

}  // namespace

const char *form_type_text(int type) {
  static const char *const texts[] = {"Globalrahmen", "Hauptobjektrahmen", "Abh. Objektrahmen",
                                      "Dialog",       "Systemdialog",      "Suchdialog"};
  return type >= 0 && type <= FORMTYPE_SEARCH ? texts[type] : "???";
}

int FE_Init(BESREC **address, const char *name) {
  htinit(500000, 10007);
  lsmeminit(1000);
  ltmeminit(1000);

  myfl_set_applname(nullptr);
  ltinit(&Tabbox);
  ltinit(&Cmb);
  ltinit(&Help);
  ltinit(&Form);
  ltinit(&Data);
  lsinit(&FormWinLs);
  connect_widgets();

  if (BESREC_Init(address, name) != 1) FE_Exit(1);

  use_designed_fonts();
  fl_set_goodies_font(FL_BOLD_STYLE, 12);
  fl_set_command_log_position(500, 40);
  return myfl_init_dialogs();
}

void myfl_set_applname(const char *name) {
  myfree(myfl_applname);
  myfl_applname = name ? mystrdup(name) : nullptr;
}

const char *myfl_get_applname(void) { return myfl_applname; }

int myfl_set_form_data(FL_FORM *form, int type, const char *name) {
  if (!name) {
    Log_Msg("(myfl_set_form_name) Form-name is missing!\n");
    Msglog_Exit(1);
  }
  FORMREC *rec = find_or_make_rec(form);
  rec->type = type;
  myfree(rec->name);
  rec->name = mystrdup(name);
  myfl_init_form(form);
  return 1;
}

void myfl_init_form(FL_FORM *form) {
  lssortinsert(&FormWinLs, reinterpret_cast<intptr_t>(form));
  fl_register_raw_callback(form, KeyPressMask | KeyReleaseMask | EnterWindowMask | LeaveWindowMask,
                           XEvent_Callback);
}

void myfl_set_form_atclose(FL_FORM *form, FORM_ATCLOSE atclose, void *data) {
  FORMREC *rec = find_or_make_rec(form);
  rec->atclose = atclose;
  rec->atclose_data = data;
  fl_set_form_atclose(form, atclose, data);
}

FORMREC *myfl_get_form_rec(FL_FORM *form) { return find_rec(form); }

void myfl_show_form(FL_FORM *form, const char *title) {
  FORMREC *rec = find_rec(form);
  int x = 0, y = 0;
  bool found = false;
  if (rec && rec->name) {
    std::string key = form_pos_key(rec->name);
    if (form_pos_parse(Get_ini_Data(myfl_get_applname(), key.c_str()), key, &x, &y)) {
      form_pos_clamp(&x, &y, form->w, form->h, fl_scrw, fl_scrh);
      found = true;
    }
  }
  if (rec) {
    if (rec->fixed_w == -1) {
      rec->fixed_w = form->w;
      rec->fixed_h = form->h;
    }
    fl_set_form_minsize(form, rec->fixed_w, rec->fixed_h);
    fl_set_form_maxsize(form, rec->fixed_w, rec->fixed_h);
  }
  if (found) {
    fl_set_form_position(form, x, y);
    fl_show_form(form, FL_PLACE_POSITION, FL_FULLBORDER, title ? title : "");
    if (rec) {
      int wx = form->x, wy = form->y;
      fl_get_winorigin(form->window, &wx, &wy);
      rec->deco_x = form_deco_offset(wx, x);
      rec->deco_y = form_deco_offset(wy, y);
    }
  } else {
    fl_show_form(form, FL_PLACE_CENTER, FL_FULLBORDER, title ? title : "");
  }
  shift_pressed = alt_pressed = ctrl_pressed = 0;
  fl_set_mouse(form->x + form->w / 2, form->y + form->h / 2);
  if (rec && rec->focus_first) {
    if (not_deactivated(rec->focus_first))
      focus_on(form, rec->focus_first);
    else
      myfl_set_focus_next_input(form, rec->focus_first);
  }
  take_keyboard(form);
}

void myfl_hide_form(FL_FORM *form) {
  if (!fl_form_is_visible(form)) return;
  FORMREC *rec = find_rec(form);
  if (rec && rec->name) {
    int wx = form->x, wy = form->y;
    fl_get_winorigin(form->window, &wx, &wy);
    std::string key = form_pos_key(rec->name);
    std::string line =
        form_pos_line(key, form_pos_to_store(wx, rec->deco_x), form_pos_to_store(wy, rec->deco_y));
    Set_ini_Data(myfl_get_applname(), key.c_str(), line.c_str());
  }
  fl_hide_form(form);
}

int myfl_get_form_name(FL_FORM *form, char *buffer, int size) {
  FORMREC *rec = find_rec(form);
  if (rec && rec->name) {
    copy_text(rec->name, buffer, size);
    return 1;
  }
  return myfl_get_help_form_data(form, buffer, size);
}

int myfl_get_form_type(FL_FORM *form, int *type) {
  FORMREC *rec = find_rec(form);
  if (!rec || rec->type == -1) return 0;
  *type = rec->type;
  return 1;
}

void myfl_get_forms(LIST *list) {
  LIST recs;
  ltdump(Form, &recs);
  intptr_t value = 0;
  for (lsinitread(&recs); lsread(&recs, &value);)
    lssortinsert(list, reinterpret_cast<intptr_t>(reinterpret_cast<FORMREC *>(value)->form));
  lsfree(&recs);
}

void myfl_define_focus_first(FL_FORM *form, FL_OBJECT *object) {
  rec_or_exit(form, "(myfl_define_focus_first) Form not found!\n")->focus_first = object;
}

FL_OBJECT *myfl_get_focus_first(FL_FORM *form) {
  return rec_or_exit(form, "(myfl_get_focus_first) Form not found!\n")->focus_first;
}

int myfl_set_focus_next(FL_FORM *form) {
  FORMREC *rec = find_rec(form);
  if (!rec) {
    Log_Msg("(myfl_set_focus_next) Form not found!\n");
    return 0;
  }
  if (!rec->focus_first || !not_deactivated(rec->focus_first)) return 0;
  focus_on(form, rec->focus_first);
  return 1;
}

void myfl_set_focus_next_input(FL_FORM *form, FL_OBJECT *object) {
  if (!form || !form->first) return;
  FL_OBJECT *start = object && object->form == form ? object : nullptr;
  FL_OBJECT *ob = start && start->next ? start->next : form->first;
  while (ob && ob != start) {
    if (usable_input(ob)) {
      focus_on(form, ob);
      return;
    }
    ob = ob->next ? ob->next : (start ? form->first : nullptr);
  }
}

void myfl_define_ctrl_tabbox(FL_FORM *form, FL_OBJECT *tabbox) {
  FORMREC *rec = find_rec(form);
  if (!rec) {
    Log_Msg("(myfl_define_ctrl_tabbox) Form not found!\n");
    return;
  }
  rec->ctrl_tabbox = tabbox;
}

FL_OBJECT *myfl_get_ctrl_tabbox(FL_FORM *form) {
  return rec_or_exit(form, "(myfl_get_ctrl_tabbox) Form not found!\n")->ctrl_tabbox;
}

int myfl_call_ctrl_tabbox_left(FL_FORM *form) { return call_ctrl_tabbox(form, fl_tabbox_left); }
int myfl_call_ctrl_tabbox_leftmost(FL_FORM *form) {
  return call_ctrl_tabbox(form, fl_tabbox_leftmost);
}
int myfl_call_ctrl_tabbox_right(FL_FORM *form) { return call_ctrl_tabbox(form, fl_tabbox_right); }
int myfl_call_ctrl_tabbox_rightmost(FL_FORM *form) {
  return call_ctrl_tabbox(form, fl_tabbox_rightmost);
}
int myfl_call_ctrl_tabbox_up(FL_FORM *form) { return call_ctrl_tabbox(form, fl_tabbox_up); }
int myfl_call_ctrl_tabbox_down(FL_FORM *form) { return call_ctrl_tabbox(form, fl_tabbox_down); }
int myfl_call_ctrl_tabbox_pgup(FL_FORM *form) { return call_ctrl_tabbox(form, fl_tabbox_pgup); }
int myfl_call_ctrl_tabbox_pgdown(FL_FORM *form) { return call_ctrl_tabbox(form, fl_tabbox_pgdown); }

void myfl_call_ctrl_tabbox_dblclick(FL_FORM *form) {
  call_ctrl_tabbox(form, fl_call_tabbox_dblclick_callback);
}

void myfl_define_shortcut(FL_OBJECT *object, const char *shortcut, int underline) {
  fl_set_object_shortcut(object, shortcut, underline);
  myfl_add_obj_data1(object, OBJDATA_SHORTCUT, reinterpret_cast<intptr_t>(shortcut));
}

int XEvent_Callback(FL_FORM *, void *xev) {
  XEvent *ev = static_cast<XEvent *>(xev);
  KEY_SITUATION s;
  s.event = event_kind(ev);
  if (s.event == KEV_PRESS || s.event == KEV_RELEASE) {
    char buffer[20];
    KeySym sym = 0;
    XLookupString(&ev->xkey, buffer, sizeof buffer, &sym, nullptr);
    s.keysym = sym;
  }
  FL_OBJECT *focus = Active_Form ? fl_get_focus_object(Active_Form) : nullptr;
  CMBREC *cmb = myfl_get_cmb(focus);
  s.active_form = Active_Form != nullptr;
  s.form_visible = Active_Form && fl_form_is_visible(Active_Form);
  s.focus = focus != nullptr;
  s.focus_cmb = cmb != nullptr;
  s.focus_input = focus && focus->objclass == FL_INPUT;
  s.focus_editor = focus && fl_is_editor(focus);
  s.list_open = cmb && cmb->list_open;
  s.ctrl = ctrl_pressed != 0;

  KEY_ROUTE route = key_route(s);
  int tabbox_result = 0, tab_result = 0;
  switch (route.action) {
    case KA_SHIFT: shift_pressed = route.flag; break;
    case KA_ALT: alt_pressed = route.flag; break;
    case KA_CTRL: ctrl_pressed = route.flag; break;
    case KA_TB_LEFTMOST: tabbox_result = myfl_call_ctrl_tabbox_leftmost(Active_Form); break;
    case KA_TB_LEFT: tabbox_result = myfl_call_ctrl_tabbox_left(Active_Form); break;
    case KA_TB_RIGHT: tabbox_result = myfl_call_ctrl_tabbox_right(Active_Form); break;
    case KA_TB_RIGHTMOST: tabbox_result = myfl_call_ctrl_tabbox_rightmost(Active_Form); break;
    case KA_TB_PGUP: tabbox_result = myfl_call_ctrl_tabbox_pgup(Active_Form); break;
    case KA_TB_PGDOWN: tabbox_result = myfl_call_ctrl_tabbox_pgdown(Active_Form); break;
    case KA_TB_UP: tabbox_result = myfl_call_ctrl_tabbox_up(Active_Form); break;
    case KA_TB_DOWN: tabbox_result = myfl_call_ctrl_tabbox_down(Active_Form); break;
    case KA_TB_DBLCLICK: myfl_call_ctrl_tabbox_dblclick(Active_Form); break;
    case KA_CMB_BUTTON: myfl_cb_cmb_button(focus, 0); break;
    case KA_CMB_UP: myfl_cmb_up(cmb); break;
    case KA_CMB_DOWN: myfl_cmb_down(cmb); break;
    case KA_EDITOR_TAB:
      Active_Obj = nullptr;
      myfl_set_focus_next_input(Active_Form, focus);
      break;
    case KA_TAB: {
      void *active = Active_Obj;
      tab_result = tab_rule(Active_Form != nullptr, focus, &active,
                            [] { return myfl_set_focus_next(Active_Form); });
      Active_Obj = static_cast<FL_OBJECT *>(active);
      break;
    }
    case KA_ENTER: pointer_entered(ev); break;
    case KA_LEAVE:
      if (ev->xcrossing.detail != NotifyInferior) Active_Form = nullptr;
      break;
    default: break;
  }
  switch (route.result) {
    case KR_USED: return 1;
    case KR_TABBOX: return tabbox_result;
    case KR_TAB: return tab_result;
    default: return 0;
  }
}

// ---------------------------------------------------------------------------
// The framework's part of the help system

int myfl_init_helpdialog(FL_FORM *form, FL_OBJECT *button, const char *key) {
  HELPREC *rec = static_cast<HELPREC *>(mymalloc(sizeof(HELPREC)));
  *rec = HELPREC{form, button, mystrdup(key ? key : "")};
  if (!ltinsert(&Help, reinterpret_cast<intptr_t>(button), reinterpret_cast<intptr_t>(rec))) {
    Log_Msg("(myfl_init_helpdialog) Helpdialog '%s' already defined\n", rec->key);
    Msglog_Exit(1);
  }
  fl_set_object_shortcut(button, "&1^[", 0);
  return 1;
}

void myfl_cb_help(FL_OBJECT *button, long) {
  int how = fl_get_button_numb(button);
  if (how == FL_SHORTCUT + 27) {  // Escape
    FORMREC *rec = find_rec(button->form);
    if (!rec) {
      Log_Msg("(myfl_cb_help) Form-information not defined\n");
      return;
    }
    if (rec->atclose) rec->atclose(button->form, rec->atclose_data);
    return;
  }
  if (how != FL_RIGHT_MOUSE && how != FL_SHORTCUT + XK_F1) return;
  if (!ltsearch(Help, reinterpret_cast<intptr_t>(button), nullptr)) {
    Log_Msg("(myfl_cb_help) Helpdialog not defined\n");
    return;
  }
  if (dialog_hooks.open_help) dialog_hooks.open_help(button);
}

int myfl_get_help_form_data(FL_FORM *form, char *buffer, int size) {
  HELPREC *rec = help_of_form(form);
  if (!rec) return 0;
  copy_text(rec->key, buffer, size);
  return 1;
}

FL_OBJECT *myfl_add_help_button(FL_Coord w, FL_Coord h) {
  FL_OBJECT *ob = fl_add_button(FL_HIDDEN_BUTTON, 0, 0, w, h, "");
  fl_set_object_callback(ob, myfl_cb_help, 0);
  return ob;
}
