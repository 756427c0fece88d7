// The core of the form framework between the application's windows and
// XForms: FE_Init (containers, registries, the session, the toolkit's look
// and the six shared dialogs), one record per registered window ("form")
// with its name, type, at-close hook, fixed size, focus-first object and
// control tabbox; showing and hiding at the position remembered in the
// application's ini file; focus moves; the raw keyboard handler
// XEvent_Callback that routes keys to combo boxes and to a window's control
// tabbox; shortcuts recorded for the manual; and the framework's part of
// the help system (each window's invisible help button answering F1, the
// right mouse button and Escape).  The X-free rules live in formpos.h and
// keyroute.h.
//
// Misuse of an interface (unknown form, duplicate registration) is logged
// and ends the process through Msglog_Exit(1) unless stated otherwise.
#ifndef FORMS_FORMS_H
#define FORMS_FORMS_H

#include <forms.h>

#include "base/containers.h"
#include "forms/besrec.h"
#include "widgets/dbtabbox.h"

// Form types; the manual prints form_type_text.
enum {
  FORMTYPE_GLOBAL = 0,     // "Globalrahmen": the application's own windows
  FORMTYPE_MAIN_OBJ = 1,   // "Hauptobjektrahmen"
  FORMTYPE_DEP_OBJ = 2,    // "Abh. Objektrahmen"
  FORMTYPE_DIALOG = 3,     // "Dialog"
  FORMTYPE_SYSDIALOG = 4,  // "Systemdialog": the shared dialogs
  FORMTYPE_SEARCH = 5      // "Suchdialog"
};
const char *form_type_text(int type);  // "???" for other or unset types

typedef int (*FORM_ATCLOSE)(FL_FORM *form, void *data);

// The record of a registered form (kept in the Form registry, never freed).
struct FORMREC {
  FL_FORM *form;
  FORM_ATCLOSE atclose;  // window-manager close and Escape
  void *atclose_data;
  char *name;            // own copy, or null
  int type;              // -1 until set
  int deco_x, deco_y;    // decoration offsets measured at the last positioned show
  int fixed_w, fixed_h;  // -1 until the first show
  FL_OBJECT *focus_first;
  FL_OBJECT *ctrl_tabbox;
};

// Registries, created by FE_Init and kept for the whole run: trees keyed by
// object or form, and the list of forms given to myfl_init_form.  The
// registry of the database tabbox bindings, Tabbox, is the binding's
// (widgets/dbtabbox.h).
extern LTREE Cmb;       // combo boxes (cmb.h)
extern LTREE Help;      // help buttons -> HELPREC
extern LTREE Form;      // forms -> FORMREC
extern LTREE Data;      // objects -> OBJDATA (objdata.h)
extern LIST FormWinLs;  // forms in registration order

// Keyboard state: the registered form the pointer is in, the focus object
// seen at the last Tab, and the modifier keys (1 while held).
extern FL_FORM *Active_Form;
extern FL_OBJECT *Active_Obj;
extern int shift_pressed, alt_pressed, ctrl_pressed;

// The whole initialisation, in this order: the containers, the application
// name cleared and the registries created, the widgets' links to the
// framework, the session (BESREC_Init with address and name; any result but
// 1 ends the process through FE_Exit(1)), the goodies' font and the command
// log's position, then the six shared dialogs with their registrations,
// limits, shortcuts and help keys (dialogs.h).  Returns the result of the
// last help registration.
int FE_Init(BESREC **address, const char *name);

// The application name, owned by the framework (null until set).
extern char *myfl_applname;

// The application name (own copy; the earlier one is freed); the ini file
// is "<name>.ini".  myfl_get_applname: null until set.
void myfl_set_applname(const char *name);
const char *myfl_get_applname(void);

// Registers a form: record created or found, type and a copy of name
// stored, then myfl_init_form.  A missing name ends the process with
// "(myfl_set_form_name) Form-name is missing!\n".  Returns 1.
int myfl_set_form_data(FL_FORM *form, int type, const char *name);
// Appends form to FormWinLs and installs XEvent_Callback as its raw
// callback for key press and release and pointer enter and leave.
void myfl_init_form(FL_FORM *form);
// Stores the at-close function and data in the form's record (made when
// missing) and hands them to the toolkit's at-close hook of the form.
void myfl_set_form_atclose(FL_FORM *form, FORM_ATCLOSE atclose, void *data);
// The form's record, or null.
FORMREC *myfl_get_form_rec(FL_FORM *form);

// Shows form at its remembered position (pulled onto the screen) or, with
// none stored, centred; fixes its size to the size of the first show;
// clears the modifier flags, moves the pointer to the form's centre and
// focuses the focus-first object (or the next usable input after it when
// it is deactivated) and makes it the form the toolkit hands the keys to (a
// click on a free spot of it that only its invisible help button covers).
// title is the window title.
void myfl_show_form(FL_FORM *form, const char *title);

// Stores the form's position under its key and hides it.  A form that is
// not shown is left alone; a form without record or name is hidden without
// storing.
void myfl_hide_form(FL_FORM *form);

// Copies the form's name (or, without one, its help key) into buffer of
// size bytes (cut to fit).  1, or 0 when there is neither.
int myfl_get_form_name(FL_FORM *form, char *buffer, int size);
// 1 and *type when the form has a record with its type set, else 0.
int myfl_get_form_type(FL_FORM *form, int *type);
// Appends every form that has a record, in the order of the Form registry.
void myfl_get_forms(LIST *list);

void myfl_define_focus_first(FL_FORM *form, FL_OBJECT *object);
FL_OBJECT *myfl_get_focus_first(FL_FORM *form);
// Focuses the focus-first object: 1 when it exists and is not deactivated.
// A form without record logs "(myfl_set_focus_next) Form not found!\n" and
// gives 0.
int myfl_set_focus_next(FL_FORM *form);
// Focuses the first input (of the toolkit's input class, not deactivated)
// after object in creation order, wrapping to the form's first object; the
// focus stays when the walk comes back to object.
void myfl_set_focus_next_input(FL_FORM *form, FL_OBJECT *object);

// The control tabbox: the tabbox that the form's Ctrl keys drive.
void myfl_define_ctrl_tabbox(FL_FORM *form, FL_OBJECT *tabbox);
FL_OBJECT *myfl_get_ctrl_tabbox(FL_FORM *form);
// Each calls the tabbox operation of the same name on the control tabbox:
// 1 when the form has one, else 0.
int myfl_call_ctrl_tabbox_left(FL_FORM *form);
int myfl_call_ctrl_tabbox_leftmost(FL_FORM *form);
int myfl_call_ctrl_tabbox_right(FL_FORM *form);
int myfl_call_ctrl_tabbox_rightmost(FL_FORM *form);
int myfl_call_ctrl_tabbox_up(FL_FORM *form);
int myfl_call_ctrl_tabbox_down(FL_FORM *form);
int myfl_call_ctrl_tabbox_pgup(FL_FORM *form);
int myfl_call_ctrl_tabbox_pgdown(FL_FORM *form);
// Runs the control tabbox's double-click callback, if there is a tabbox.
void myfl_call_ctrl_tabbox_dblclick(FL_FORM *form);

// Sets the object's shortcut (toolkit notation, "^S^s" = Ctrl+S) with or
// without the underlined key letter, and records it for the manual.
void myfl_define_shortcut(FL_OBJECT *object, const char *shortcut, int underline);

// The raw handler of every registered form (key press and release, pointer
// enter and leave): routes keys to combos and the control tabbox and
// applies the Tab rule (keyroute.h).  1 when the event was used here and
// the toolkit must not handle it, else 0.
int XEvent_Callback(FL_FORM *form, void *xev);

// ---------------------------------------------------------------------------
// The framework's part of the help system.

// The help record of a window, in the Help registry under its help button.
struct HELPREC {
  FL_FORM *form;
  FL_OBJECT *button;
  char *key;  // own copy, e.g. "DBV_HLP"
};

// Registers the window's invisible help button with its help key and gives
// it the shortcuts F1 and Escape ("&1^[").  A second registration of the
// button ends the process with "(myfl_init_helpdialog) Helpdialog '%s'
// already defined\n".  Returns 1.
int myfl_init_helpdialog(FL_FORM *form, FL_OBJECT *button, const char *key);
// The help button's callback: the right mouse button and F1 open the help
// dialog (through dialog_hooks.open_help, dialogs.h); Escape calls the
// form's at-close function with its data, as the window manager's close
// would.  A button without help record logs "(myfl_cb_help) Helpdialog not
// defined\n".
void myfl_cb_help(FL_OBJECT *button, long data);
// Copies the help key of the form's help record into buffer of size bytes:
// 1, or 0 when the form has none.
int myfl_get_help_form_data(FL_FORM *form, char *buffer, int size);
// Adds a full-size invisible help button to the form being built (the
// second object of every form, after its background box).
FL_OBJECT *myfl_add_help_button(FL_Coord w, FL_Coord h);

#endif
