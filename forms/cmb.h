// Combo boxes: a one-line input of a form and, beside it, a small button,
// bound to a fixed list of entries (display text and code).  The user types
// a text or a prefix, steps with Up/Down, or opens the shared popup list
// (the form COMBO of dialogs.h) and picks a line; the program reads the
// code of the chosen entry.  One record per combo lives in the Cmb
// registry under the input and under the button; at most one list is open
// at any time.  The rules on the entries are in cmb_data.h.
//
// Misuse (an object that is no combo, a second registration, too many
// entries) is logged and ends the process through Msglog_Exit(1).
#ifndef FORMS_CMB_H
#define FORMS_CMB_H

#include <forms.h>

#include "forms/besrec.h"
#include "forms/cmb_data.h"

struct CMBREC {
  FL_FORM *form;
  FL_OBJECT *input;
  FL_OBJECT *button;        // or null
  CMB_DATA data;            // entries, line map, chosen entry
  int list_open;            // 1 while the popup list shows this combo
  int kind;                 // 1: built from a data string
  int no_blank;             // 1: no blank entry
  FL_CALLBACKPTR callback;  // called when the chosen entry changes, or null
};

// The list state: 1 while the popup list is shown, the combo it shows and
// the object (input or button) through which it was opened.
extern int cmb_open;
extern CMBREC *open_cmb;
extern FL_OBJECT *cmb_browser_called_from;

// Builds a combo from a data string (cmb_data.h) on the form's input and
// button (or none): the input reports at the end of editing and gets the
// prehandler cb_cmb_prehandler; entries parsed and sorted; recorded for the
// manual.  The input must have the callback myfl_cb_cmb, the button
// myfl_cb_cmb_button.  rec is not used by this kind of combo.  Returns 1.
int myfl_init_data_cmb(BESREC *rec, FL_FORM *form, FL_OBJECT *input, FL_OBJECT *button,
                       const char *data, int no_blank);
// Sorts the combo's entries (myfl_init_data_cmb does).
void myfl_sort_cmb(FL_OBJECT *input);
// Chooses the entry with this code (an empty code chooses the blank entry),
// shows its text and calls the change callback: 1.  An unknown code logs
// "(set_cmb_code) Warning: CMB-Code '%s' is invalid!\n", is shown itself
// and leaves the choice: 0.
int myfl_set_cmb_code(FL_OBJECT *input, const char *code);
// The code of the chosen entry, "    " when none is chosen; owned by the
// combo.
const char *myfl_get_cmb_code(FL_OBJECT *input);
void myfl_set_cmb_callback(FL_OBJECT *input, FL_CALLBACKPTR callback);
// 1 when the object is the input or button of a combo.
int myfl_is_cmb(FL_OBJECT *object);
// The combo of an input or button, or null.
CMBREC *myfl_get_cmb(FL_OBJECT *object);

// Object callbacks: the input's (typing finished), the button's (open or
// close the list; F4 too), the list browser's (a line picked).
void myfl_cb_cmb(FL_OBJECT *input, long data);
void myfl_cb_cmb_button(FL_OBJECT *object, long data);
void myfl_cb_sel_cmb(FL_OBJECT *browser, long data);

// The previous / next entry (cmb_step), shown and reported; nothing for a
// combo without entries.
void myfl_cmb_up(CMBREC *cmb);
void myfl_cmb_down(CMBREC *cmb);

// Closes whatever list is open.
void myfl_close_cmb(void);

// The combo input's prehandler: closes the open list when the input loses
// the focus.  Always 0.
int cb_cmb_prehandler(FL_OBJECT *object, int event, FL_Coord mx, FL_Coord my, int key, void *xev);
// The list window's raw handler (key press, button press, pointer leave):
// keys inside the open list act on the combo that opened it; leaving the
// window closes the list.  Escape closes the list and is used up (1);
// everything else is left to the toolkit (0).
int XEvent_COMBO_Callback(FL_FORM *form, void *xev);
// Closing the list window by the window manager only closes the list: -1.
int COMBO_AtClose(FL_FORM *form, void *data);

#endif
