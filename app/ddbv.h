// The detail form: one result row of the main window as attribute/value
// pairs (the detail table, bound as "DDBV", in its vertical view), the
// edit field "Wert" with "Update", and "L\xf6schen".  The main window's
// double click fills and shows it (dbv.h); closing it gives the main window
// back (DDBV_AtClose, startup.h).
#ifndef APP_DDBV_H
#define APP_DDBV_H

#include <forms.h>

struct FD_DDBV {
  FL_FORM *DDBV;
  FL_OBJECT *help;      // invisible help button
  FL_OBJECT *loeschen;  // "L\xf6schen"
  FL_OBJECT *tabbox;    // the detail table (tabbox type 0)
  FL_OBJECT *wert;      // "Wert "
  FL_OBJECT *update;    // "Update"
};

extern FD_DDBV *fd_DDBV;

// Builds the detail window (591 x 661) and returns its record (kept for
// the whole run).
FD_DDBV *create_form_DDBV(void);

// Callbacks: "L\xf6schen", the detail table's object callback (does nothing)
// and double click, "Wert", "Update".
void DDBV_Loeschen(FL_OBJECT *object, long data);
void DDBV_NORMAL_TABBOX(FL_OBJECT *object, long data);
void DDBV_dblclick(FL_OBJECT *object, long data);
void DDBV_Wert(FL_OBJECT *object, long data);
void DDBV_Update(FL_OBJECT *object, long data);

#endif
