// The table viewer TVIEW (dialogs.h): shows the record of a tabbox's
// current line in a table of its own, filled by a load function the
// application registers.  The tabbox's popup menu and its F2 key open it
// (through tabbox_hooks); the same request while it is open closes it.
// Without a load function, or when the load function does not fill the
// viewer, the request ends with the alert "Keine Daten darstellbar".
#ifndef FORMS_TBVIEW_H
#define FORMS_TBVIEW_H

#include <forms.h>

#include "forms/dialogs.h"

// Fills the viewer's tabbox from the record of the requesting tabbox's
// current line: non-zero when there is something to show.
typedef int (*TBVIEW_LOAD_FUNC)(FL_FORM *viewer, FL_OBJECT *tabbox, void *record);

// The tabbox whose line is shown, null while the viewer is closed.
extern FL_OBJECT *TVIEW_Tabbox;
// The registered load function, null by default (the viewer application
// registers none).
extern TBVIEW_LOAD_FUNC tbview_load_func;

TBVIEW_LOAD_FUNC myfl_get_tbview_load_func(void);
void myfl_set_tbview_load_func(TBVIEW_LOAD_FUNC func);

// Binds the viewer's tabbox as database tabbox "TVIEW" (column entries,
// every column shown, no double click), sets the at-close function and
// connects the tabboxes' viewer entry (the tview hook of dialog_hooks).
void TVIEW_Init(FD_TVIEW *fd);

// Closed: opens the viewer for tabbox of form (form deactivated) when a
// load function filled it, else alerts "Keine Daten darstellbar".  Open:
// closes it.
void myfl_open_tbview(FL_FORM *form, FL_OBJECT *tabbox);
// Closes the viewer and activates the form; when closed: alert
// "Tabbox-Viewer-Dialog bereits geschlossen".
void myfl_close_tbview(void);
int TVIEW_AtClose(FL_FORM *form, void *data);  // myfl_close_tbview, -1

#endif
