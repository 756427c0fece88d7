// The tabbox's links to the form framework; see tabbox_hooks.h.
#include "widgets/tabbox_hooks.h"

TABBOX_HOOKS tabbox_hooks = {};

void tbhook_init_tbsort(FL_OBJECT *tabbox) {
  if (tabbox_hooks.init_tbsort) tabbox_hooks.init_tbsort(tabbox);
}

void tbhook_update_tbsort(FL_OBJECT *tabbox) {
  if (tabbox_hooks.update_tbsort) tabbox_hooks.update_tbsort(tabbox);
}

void tbhook_set_col_width(FL_OBJECT *tabbox, int col, int width) {
  if (tabbox_hooks.set_col_width) tabbox_hooks.set_col_width(tabbox, col, width);
}

void tbhook_clear_col_width(FL_OBJECT *tabbox, int col) {
  if (tabbox_hooks.clear_col_width) tabbox_hooks.clear_col_width(tabbox, col);
}

void tbhook_clear_col_widths(FL_OBJECT *tabbox) {
  if (tabbox_hooks.clear_col_widths) tabbox_hooks.clear_col_widths(tabbox);
}

void tbhook_open_tbsort(FL_FORM *form, FL_OBJECT *tabbox) {
  if (tabbox_hooks.open_tbsort) tabbox_hooks.open_tbsort(form, tabbox);
}

void tbhook_open_tbexp(FL_FORM *form, FL_OBJECT *tabbox) {
  if (tabbox_hooks.open_tbexp) tabbox_hooks.open_tbexp(form, tabbox);
}

void tbhook_open_tbview(FL_FORM *form, FL_OBJECT *tabbox) {
  if (tabbox_hooks.open_tbview) tabbox_hooks.open_tbview(form, tabbox);
}

void tbhook_close_tbview(void) {
  if (tabbox_hooks.close_tbview) tabbox_hooks.close_tbview();
}

FL_OBJECT *tbhook_tbview_tabbox(void) {
  return tabbox_hooks.tbview_tabbox ? tabbox_hooks.tbview_tabbox() : nullptr;
}

int tbhook_is_cmb(FL_OBJECT *object) {
  return tabbox_hooks.is_cmb && object ? tabbox_hooks.is_cmb(object) : 0;
}

int tbhook_shift_pressed(void) {
  return tabbox_hooks.shift_pressed ? *tabbox_hooks.shift_pressed : 0;
}

int tbhook_ctrl_pressed(void) { return tabbox_hooks.ctrl_pressed ? *tabbox_hooks.ctrl_pressed : 0; }

const char *tbhook_applname(void) {
  return tabbox_hooks.applname ? tabbox_hooks.applname() : nullptr;
}

void tbhook_add_obj_data1(FL_OBJECT *object, int code, intptr_t a1) {
  if (tabbox_hooks.add_obj_data1) tabbox_hooks.add_obj_data1(object, code, a1);
}

void tbhook_add_obj_data2(FL_OBJECT *object, int code, intptr_t a1, intptr_t a2) {
  if (tabbox_hooks.add_obj_data2) tabbox_hooks.add_obj_data2(object, code, a1, a2);
}
