// The tabbox's links upward.  The tabbox sits below the form framework, yet
// it opens the framework's dialogs (sort/columns, export, viewer), keeps its
// stored settings line up to date, asks whether the focus object is a combo
// box and reads the framework's Shift/Ctrl state; its database binding
// (dbtabbox.h) reads the application name and records bound tabboxes for
// the manual.  The framework fills the
// pointers of `tabbox_hooks` when it starts; until then every hook does
// nothing and the modifier keys count as released.
#ifndef WIDGETS_TABBOX_HOOKS_H
#define WIDGETS_TABBOX_HOOKS_H

#include <cstdint>

typedef struct FL_FORM_ FL_FORM;
typedef struct FL_OBJECT_ FL_OBJECT;

struct TABBOX_HOOKS {
  void (*init_tbsort)(FL_OBJECT *tabbox);    // myfl_init_tbsort
  void (*update_tbsort)(FL_OBJECT *tabbox);  // myfl_update_tbsort
  void (*set_col_width)(FL_OBJECT *tabbox, int col, int width);
  void (*clear_col_width)(FL_OBJECT *tabbox, int col);
  void (*clear_col_widths)(FL_OBJECT *tabbox);
  void (*open_tbsort)(FL_FORM *form, FL_OBJECT *tabbox);  // myfl_open_tbsort
  void (*open_tbexp)(FL_FORM *form, FL_OBJECT *tabbox);   // myfl_open_tbexp
  void (*open_tbview)(FL_FORM *form, FL_OBJECT *tabbox);  // myfl_open_tbview
  void (*close_tbview)(void);                             // myfl_close_tbview
  // The viewer dialog's own tabbox, or null while there is none.
  FL_OBJECT *(*tbview_tabbox)(void);
  int (*is_cmb)(FL_OBJECT *object);  // myfl_is_cmb
  // The framework's keyboard globals (1 while the key is held).
  const int *shift_pressed;
  const int *ctrl_pressed;
  const char *(*applname)(void);                                   // myfl_get_applname
  int (*add_obj_data1)(FL_OBJECT *object, int code, intptr_t a1);  // myfl_add_obj_data1
  int (*add_obj_data2)(FL_OBJECT *object, int code, intptr_t a1, intptr_t a2);
};

// All members start as null.
extern TABBOX_HOOKS tabbox_hooks;

// Callers inside the widget: each does nothing (or answers 0 / null) while
// its hook is unset.
void tbhook_init_tbsort(FL_OBJECT *tabbox);
void tbhook_update_tbsort(FL_OBJECT *tabbox);
void tbhook_set_col_width(FL_OBJECT *tabbox, int col, int width);
void tbhook_clear_col_width(FL_OBJECT *tabbox, int col);
void tbhook_clear_col_widths(FL_OBJECT *tabbox);
void tbhook_open_tbsort(FL_FORM *form, FL_OBJECT *tabbox);
void tbhook_open_tbexp(FL_FORM *form, FL_OBJECT *tabbox);
void tbhook_open_tbview(FL_FORM *form, FL_OBJECT *tabbox);
void tbhook_close_tbview(void);
FL_OBJECT *tbhook_tbview_tabbox(void);
int tbhook_is_cmb(FL_OBJECT *object);
int tbhook_shift_pressed(void);
int tbhook_ctrl_pressed(void);
const char *tbhook_applname(void);
void tbhook_add_obj_data1(FL_OBJECT *object, int code, intptr_t a1);
void tbhook_add_obj_data2(FL_OBJECT *object, int code, intptr_t a1, intptr_t a2);

#endif
