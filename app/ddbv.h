// The detail form: one result row of the main window as attribute/value
// pairs (the detail table, bound as "DDBV", in its vertical view), the
// edit field "Wert" with "Update", and "L\xf6schen".  The main window's
// double click fills and shows it (dbv.h); closing it gives the main window
// back (DDBV_AtClose, startup.h).
//
// The statements change exactly the row shown or nothing: the table and
// database are those the shown result came from (refused when there is no
// single table or the session has moved to another database since), key
// and value come from the row's record, not from the display, literals are
// escaped (ddbv_sql.h), an UPDATE sets the attribute whose value was taken
// into "Wert", and success is the server's count of exactly one row (more
// are taken back).
#ifndef APP_DDBV_H
#define APP_DDBV_H

#include <forms.h>

#include "app/ddbv_sql.h"

struct FD_DDBV {
  FL_FORM *DDBV;
  FL_OBJECT *help;      // invisible help button
  FL_OBJECT *loeschen;  // "L\xf6schen"
  FL_OBJECT *tabbox;    // the detail table (tabbox type 0)
  FL_OBJECT *wert;      // "Wert "
  FL_OBJECT *update;    // "Update"
  DDBV_ROW row;         // the row shown
  int taken = -1;       // its column (from 0) whose value went into "Wert", -1 none
};

extern FD_DDBV *fd_DDBV;

// Builds the detail window (591 x 661) and returns its record (kept for
// the whole run).
FD_DDBV *create_form_DDBV(void);

// Makes the row (from 0) of the shown result, whose record holds text, the
// detail window's row; no value is taken yet.
void DDBV_Set_Row(const DBV_SHOWN &shown, int row, const char *text);

// Callbacks: "L\xf6schen", the detail table's object callback (does nothing)
// and double click, "Wert", "Update".
void DDBV_Loeschen(FL_OBJECT *object, long data);
void DDBV_NORMAL_TABBOX(FL_OBJECT *object, long data);
void DDBV_dblclick(FL_OBJECT *object, long data);
void DDBV_Wert(FL_OBJECT *object, long data);
void DDBV_Update(FL_OBJECT *object, long data);

#endif
