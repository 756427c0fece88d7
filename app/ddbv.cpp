// The detail form's window; see ddbv.h.  Taking a value into "Wert",
// writing it back and deleting the record are not built yet: those
// buttons and the detail table's double click do nothing so far.
#include "app/ddbv.h"

#include "forms/forms.h"
#include "widgets/mytabs.h"

FD_DDBV *fd_DDBV = nullptr;

FD_DDBV *create_form_DDBV(void) {
  FD_DDBV *fd = new FD_DDBV{};
  fd->DDBV = fl_bgn_form(FL_UP_BOX, 591, 661);
  fl_set_object_geometry(fd->DDBV->first, 0, 0, 595, 680);
  fd->help = myfl_add_help_button(590, 656);
  FL_OBJECT *ob = fl_add_text(FL_NORMAL_TEXT, 20, 10, 180, 20, "Dadazudi-Zudeda-Detail");
  fl_set_object_lsize(ob, 14);
  fl_set_object_lstyle(ob, FL_NORMAL_STYLE | FL_EMBOSSED_STYLE);
  fd->loeschen = fl_add_button(FL_NORMAL_BUTTON, 500, 10, 70, 21, "L\xf6schen");
  fl_set_object_callback(fd->loeschen, DDBV_Loeschen, 0);
  fl_set_object_shortcut(fd->loeschen, "^L^l", 1);
  fd->tabbox = fl_add_tabbox(0, 20, 40, 550, 565, "");
  fl_set_object_callback(fd->tabbox, DDBV_NORMAL_TABBOX, 0);
  fd->wert = fl_add_input(FL_NORMAL_INPUT, 60, 620, 430, 21, "Wert ");
  fl_set_object_callback(fd->wert, DDBV_Wert, 0);
  fd->update = fl_add_button(FL_NORMAL_BUTTON, 500, 620, 70, 21, "Update");
  fl_set_object_callback(fd->update, DDBV_Update, 0);
  fl_set_object_shortcut(fd->update, "^U^u", 1);
  fl_end_form();
  return fd;
}

void DDBV_NORMAL_TABBOX(FL_OBJECT *, long) {}

void DDBV_Loeschen(FL_OBJECT *, long) {}
void DDBV_dblclick(FL_OBJECT *, long) {}
void DDBV_Wert(FL_OBJECT *, long) {}
void DDBV_Update(FL_OBJECT *, long) {}
