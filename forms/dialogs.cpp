// The layouts of the six shared dialogs and their set-up in FE_Init; see
// dialogs.h.
#include "forms/dialogs.h"

#include "forms/cmb.h"
#include "forms/dialog_behaviour.h"
#include "forms/forms.h"
#include "forms/inputs.h"
#include "forms/objdata.h"
#include "forms/tbsort.h"
#include "widgets/editor.h"
#include "widgets/mytabs.h"

FD_COMBO *fd_COMBO = nullptr;
FD_ZOOM *fd_ZOOM = nullptr;
FD_HELP *fd_HELP = nullptr;
FD_TBEXP *fd_TBEXP = nullptr;
FD_TVIEW *fd_TVIEW = nullptr;
FD_SORT *fd_SORT = nullptr;

FL_FORM *ZOOM_Usedby = nullptr;
FL_FORM *HELP_Usedby = nullptr;
FL_FORM *TBEXP_Usedby = nullptr;
FL_FORM *TVIEW_Usedby = nullptr;
FL_FORM *SORT_Usedby = nullptr;

DIALOG_HOOKS dialog_hooks = {};

namespace {

// Objects need a callback, or the event loop would hand them back to the
// caller of fl_do_forms.
void no_action(FL_OBJECT *, long) {}

FL_FORM *begin_form(FL_Coord w, FL_Coord h, FL_OBJECT **background, FL_OBJECT **help) {
  // fl_bgn_form makes the background box the form's first object.
  FL_FORM *form = fl_bgn_form(FL_FLAT_BOX, w, h);
  *background = form->first;
  *help = myfl_add_help_button(w, h);
  return form;
}

FL_OBJECT *button(FL_Coord x, FL_Coord y, FL_Coord w, const char *label) {
  FL_OBJECT *ob = fl_add_button(FL_NORMAL_BUTTON, x, y, w, 21, label);
  fl_set_object_lsize(ob, 12);
  fl_set_object_callback(ob, no_action, 0);
  return ob;
}

FL_OBJECT *arrow(FL_Coord x, FL_Coord y, const char *symbol) {
  FL_OBJECT *ob = fl_add_button(FL_NORMAL_BUTTON, x, y, 30, 31, symbol);
  fl_set_object_lcol(ob, FL_BLACK);
  fl_set_object_callback(ob, no_action, 0);
  return ob;
}

FL_OBJECT *toggle(FL_Coord x, FL_Coord y, FL_Coord w, const char *label) {
  FL_OBJECT *ob = fl_add_checkbutton(FL_PUSH_BUTTON, x, y, w, 21, label);
  fl_set_object_lsize(ob, 12);
  fl_set_object_callback(ob, no_action, 0);
  return ob;
}

FL_OBJECT *text(FL_Coord x, FL_Coord y, FL_Coord w, const char *label) {
  FL_OBJECT *ob = fl_add_text(FL_NORMAL_TEXT, x, y, w, 20, label);
  fl_set_object_lsize(ob, 12);
  fl_set_object_lalign(ob, FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  return ob;
}

// The heading text at the top left of a dialog.
FL_OBJECT *title(const char *label) { return text(10, 10, 190, label); }

FL_OBJECT *int_input(FL_Coord x, FL_Coord y, FL_Coord w, const char *label) {
  FL_OBJECT *ob = fl_add_input(FL_INT_INPUT, x, y, w, 21, label);
  fl_set_object_lsize(ob, 12);
  fl_set_object_callback(ob, no_action, 0);
  return ob;
}

void register_dialog(FL_FORM *form, const char *name) {
  myfl_set_form_data(form, FORMTYPE_SYSDIALOG, name);
}

}  // namespace

FD_COMBO *create_form_COMBO(void) {
  FD_COMBO *fd = new FD_COMBO{};
  fd->COMBO = begin_form(300, 220, &fd->background, &fd->help);
  FL_OBJECT *ob = fd->browser = fl_add_browser(FL_SELECT_BROWSER, 0, 0, 300, 220, "");
  fl_set_object_color(ob, FL_COL1, FL_YELLOW);
  fl_set_object_callback(ob, myfl_cb_sel_cmb, 0);
  fl_set_object_resize(ob, FL_RESIZE_ALL);
  fl_set_object_gravity(ob, FL_NorthWest, FL_SouthEast);
  fl_end_form();
  return fd;
}

FD_ZOOM *create_form_ZOOM(void) {
  FD_ZOOM *fd = new FD_ZOOM{};
  fd->ZOOM = begin_form(660, 630, &fd->background, &fd->help);
  fd->frame = fl_add_frame(FL_ENGRAVED_FRAME, 10, 10, 640, 580, "");
  // The editor's input keeps its own callback (status updates).
  fd->editor = fl_add_editor(0, 20, 20, 620, 560, "");
  fd->ok = button(10, 600, 90, "OK");
  fl_end_form();
  return fd;
}

FD_HELP *create_form_HELP(void) {
  FD_HELP *fd = new FD_HELP{};
  fd->HELP = begin_form(660, 630, &fd->background, &fd->help);
  fd->text = fl_add_input(FL_MULTILINE_INPUT, 10, 10, 640, 581, "");
  fl_set_object_callback(fd->text, no_action, 0);
  fd->ok = button(10, 600, 90, "OK");
  fd->save = button(125, 600, 130, "Hilfetext sichern");
  fd->editor = button(275, 600, 130, "Netscape Editor");
  fd->composer = button(415, 600, 90, "Composer");
  fd->status = fl_add_text(FL_NORMAL_TEXT, 510, 600, 140, 21, "");
  fl_set_object_lsize(fd->status, 12);
  fl_end_form();
  return fd;
}

FD_TBEXP *create_form_TBEXP(void) {
  FD_TBEXP *fd = new FD_TBEXP{};
  fd->TBEXP = begin_form(420, 150, &fd->background, &fd->help);
  fd->title = title("Tabbox exportieren");
  fl_set_object_lsize(fd->title, 14);
  fl_set_object_lstyle(fd->title, FL_EMBOSSED_STYLE);
  fd->filename = fl_add_input(FL_NORMAL_INPUT, 90, 50, 180, 21, "Dateiname ");
  fl_set_object_lsize(fd->filename, 12);
  fl_set_object_callback(fd->filename, no_action, 0);
  fd->export_tb = button(290, 50, 100, "exp. Tabbox");
  fd->export_all = button(290, 80, 100, "exp. alle Daten");
  fd->ok = button(20, 110, 90, "OK");
  fl_end_form();
  return fd;
}

FD_TVIEW *create_form_TVIEW(void) {
  FD_TVIEW *fd = new FD_TVIEW{};
  fd->TVIEW = begin_form(590, 640, &fd->background, &fd->help);
  fd->title = title("Tabbox-Viewer");
  fd->tabbox = fl_add_tabbox(0, 20, 40, 550, 580, "");
  fl_set_object_callback(fd->tabbox, no_action, 0);
  fl_end_form();
  return fd;
}

FD_SORT *create_form_SORT(void) {
  FD_SORT *fd = new FD_SORT{};
  fd->SORT = begin_form(700, 490, &fd->background, &fd->help);
  fd->title = title("Tabbox Einstellungen");
  fd->frame_top = fl_add_frame(FL_ENGRAVED_FRAME, 20, 40, 660, 40, "");
  fd->dbnames = toggle(30, 50, 130, " Datenbanknamen");
  fd->decimals = int_input(290, 50, 40, "Nachkommastellen ");
  fd->maxwidth = int_input(460, 50, 50, "max. Spaltenbreite ");
  fd->vertical = toggle(530, 50, 140, " vertikale Darstellung");
  fd->frame_lists = fl_add_frame(FL_ENGRAVED_FRAME, 20, 80, 660, 360, "");
  fd->avail_text = text(30, 90, 180,
                        "verf\xfc"
                        "gbare Spalten");
  fd->select_text = text(240, 90, 180, "ausgew\xe4hlte Spalten");
  fd->sort_text = text(440, 90, 180, "Sortierung");
  fd->avail = fl_add_tabbox(2, 30, 110, 160, 320, "");
  fd->select = fl_add_tabbox(2, 240, 110, 160, 320, "");
  fd->sort = fl_add_tabbox(2, 450, 110, 180, 290, "");
  for (FL_OBJECT *tb : {fd->avail, fd->select, fd->sort}) fl_set_object_callback(tb, no_action, 0);
  fd->select_up = arrow(410, 150, "@8->");
  fd->sort_up = arrow(640, 160, "@8->");
  fd->select_down = arrow(410, 200, "@2->");
  fd->avail_in = arrow(200, 210, "@<-");
  fd->sort_down = arrow(640, 210, "@2->");
  fd->avail_out = arrow(200, 280, "@->");
  fd->select_out = arrow(410, 290, "@->");
  fd->change = arrow(640, 290, "@<->");
  fd->select_in = arrow(410, 340, "@<-");
  fd->ascending = toggle(470, 410, 80, " aufw\xe4rts");
  fd->descending = toggle(550, 410, 80, " abw\xe4rts");
  fd->ok = button(20, 450, 90, "OK");
  fl_end_form();
  return fd;
}

int myfl_init_dialogs(void) {
  // The dialogs' behaviour and the tabbox's links to them.
  connect_dialog_behaviour();
  myfl_connect_tbsort();

  cmb_open = 0;
  fd_COMBO = create_form_COMBO();
  fl_set_browser_fontsize(fd_COMBO->browser, 12);
  fl_set_browser_hscrollbar(fd_COMBO->browser, FL_AUTO);
  fl_set_browser_vscrollbar(fd_COMBO->browser, FL_AUTO);
  // Key press, button press, pointer leave.
  fl_register_raw_callback(fd_COMBO->COMBO, KeyPressMask | ButtonPressMask | LeaveWindowMask,
                           XEvent_COMBO_Callback);
  myfl_set_form_atclose(fd_COMBO->COMBO, COMBO_AtClose, nullptr);

  fd_ZOOM = create_form_ZOOM();
  ZOOM_Usedby = nullptr;
  register_dialog(fd_ZOOM->ZOOM, "Editor-Zoom");
  myfl_init_input(fd_ZOOM->editor, 4000);
  fl_hide_editor_zoom(fd_ZOOM->editor);
  myfl_define_shortcut(fd_ZOOM->ok, "^O^o", 1);
  if (dialog_hooks.zoom) dialog_hooks.zoom(fd_ZOOM);

  fd_HELP = create_form_HELP();
  HELP_Usedby = nullptr;
  register_dialog(fd_HELP->HELP, "Hilfedialog");
  myfl_init_input(fd_HELP->text, 0);
  myfl_define_shortcut(fd_HELP->ok, "^O^o", 1);
  myfl_define_shortcut(fd_HELP->save, "^l^L", 1);
  myfl_define_shortcut(fd_HELP->editor, "^N^n", 1);
  myfl_define_shortcut(fd_HELP->composer, "^C^c", 1);
  if (dialog_hooks.help) dialog_hooks.help(fd_HELP);

  fd_TBEXP = create_form_TBEXP();
  TBEXP_Usedby = nullptr;
  register_dialog(fd_TBEXP->TBEXP, "Export-Tabbox");
  myfl_define_shortcut(fd_TBEXP->ok, "^O^o", 1);
  myfl_init_input(fd_TBEXP->filename, 58);
  if (dialog_hooks.tbexp) dialog_hooks.tbexp(fd_TBEXP);

  fd_TVIEW = create_form_TVIEW();
  TVIEW_Usedby = nullptr;
  register_dialog(fd_TVIEW->TVIEW, "Tabbox-Viewer");
  fl_set_tabbox_view(fd_TVIEW->tabbox, 0);
  myfl_add_obj_data0(fd_TVIEW->tabbox, OBJDATA_TBVIEW);
  if (dialog_hooks.tview) dialog_hooks.tview(fd_TVIEW);

  fd_SORT = create_form_SORT();
  SORT_Usedby = nullptr;
  register_dialog(fd_SORT->SORT, "Tabbox-Sortierung");
  myfl_init_input(fd_SORT->maxwidth, 3);
  myfl_init_input(fd_SORT->decimals, 2);
  myfl_define_shortcut(fd_SORT->ok, "^O^o", 1);
  if (dialog_hooks.sort) dialog_hooks.sort(fd_SORT);

  myfl_init_helpdialog(fd_COMBO->COMBO, fd_COMBO->help, "COMBO_HLP");
  myfl_init_helpdialog(fd_ZOOM->ZOOM, fd_ZOOM->help, "ZOOM_HLP");
  myfl_init_helpdialog(fd_TBEXP->TBEXP, fd_TBEXP->help, "TBEXP_HLP");
  myfl_init_helpdialog(fd_SORT->SORT, fd_SORT->help, "SORT_HLP");
  myfl_init_helpdialog(fd_TVIEW->TVIEW, fd_TVIEW->help, "TVIEW_HLP");
  return myfl_init_helpdialog(fd_HELP->HELP, fd_HELP->help, "HELP_HLP");
}
