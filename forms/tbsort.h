// The sort/columns dialog SORT ("Tabbox-Sortierung") and the stored
// settings of every named tabbox.  The dialog edits, for one tabbox, which
// columns are shown and in which order (the lists "verf\xfcgbare Spalten"
// SORTA and "ausgew\xe4hlte Spalten" SORTS), its sort keys (the list
// SORT), decimal places, maximum column width, vertical view and database
// names.  The settings live in one line per tabbox in the application's
// ini file (format in tbsort_line.h): written when the dialog is confirmed
// and when the tabbox changes its widths, applied whenever the tabbox gets
// a title or switches its view.  The tabbox reaches these operations
// through its hooks (widgets/tabbox_hooks.h), the dialog's form comes
// from dialogs.h; myfl_connect_tbsort wires both.
#ifndef FORMS_TBSORT_H
#define FORMS_TBSORT_H

#include <forms.h>

#include <cstdint>

#include "forms/colrec.h"
#include "forms/dialogs.h"

// The column lists hold _COL records (forms/colrec.h).  Row record of the
// sort-key list: column number, direction ('1' ascending, '0' descending)
// and title, sized to its title.  Line text: the title and "Ja" or "Nein".
struct _SORT {
  int32_t size;
  int32_t state;
  int32_t tablenr;
  int32_t column;
  char ascending;
  char title[COL_TITLE_SIZE];
};

// Record callbacks of the sort-key list (widgets/dbtabbox.h): a new whole
// record (mymalloc), the title "Spalte,KZ_aufwaerts", the line text as a
// new text (mymalloc; the binding releases it).  _SORT_Set fills a record.
void *_SORT_New(void);
const char *_SORT_Attribs(int dbnames);
char *_SORT_Data(void *record);
void _SORT_Set(_SORT *record, int column, const char *title, int ascending);

// The tabbox the dialog works on (null while closed) and its decimal
// places when the dialog was opened.
extern FL_OBJECT *SORT_Tabbox;
extern int SORT_Nachkomma;

// Applies the stored line to the tabbox (nothing for a tabbox that is not
// bound under a name, or has no columns).  A tabbox whose stored settings
// are switched off for this load gets them switched on again and its line
// deleted.  A line written for more columns than the tabbox has is logged
// ("ini-file: wrong tabbox definition (%s)!\n") and deleted; any other
// fault is logged (tbsort_message) and the line is left unapplied.  A
// title whose column slots disagree with the tabbox's column count logs
// "error in tabbox definition (%s)!\n" and ends the process.
void myfl_init_tbsort(FL_OBJECT *tabbox);
// Stores the tabbox's current settings as its line (named tabboxes only).
void myfl_update_tbsort(FL_OBJECT *tabbox);

// Opens the dialog for the tabbox of form (alert "Sortierung-Tabbox-Dialog
// bereits ge\xf6" "ffnet" while it serves another); the form is
// deactivated until the dialog closes.
void myfl_open_tbsort(FL_FORM *form, FL_OBJECT *tabbox);
// Closes it and activates the requesting form again (alert when it is not
// open).  SORT_AtClose closes it and returns -1.
void myfl_close_tbsort(void);
int SORT_AtClose(FL_FORM *form, void *data);
// Fills the dialog's inputs, toggles and lists from the tabbox.
void init_tbsort_tabboxes(FL_OBJECT *tabbox);

// Button and list callbacks.  The list actions work on the selected line;
// a line without record alerts "Ung\xfcltiger Eintrag in der Tabbox".
void SORT_OK(FL_OBJECT *object, long data);
void SORT_Avail_TB_Out(FL_OBJECT *object, long data);   // available -> selected
void SORT_Avail_TB_In(FL_OBJECT *object, long data);    // selected -> available
void SORT_Select_TB_Out(FL_OBJECT *object, long data);  // selected -> new sort key
void SORT_Select_TB_In(FL_OBJECT *object, long data);   // remove the sort key
void SORT_Select_TB_Up(FL_OBJECT *object, long data);
void SORT_Select_TB_Down(FL_OBJECT *object, long data);
void SORT_Sort_TB_Up(FL_OBJECT *object, long data);
void SORT_Sort_TB_Down(FL_OBJECT *object, long data);
void SORT_TB_Change(FL_OBJECT *object, long data);   // direction onto the sort key
void SORT_Sortierung(FL_OBJECT *object, long data);  // 1 " aufw\xe4rts", 2 " abw\xe4rts"
void SORT_Avail_dblclick(FL_OBJECT *object, long data);
void SORT_Select_dblclick(FL_OBJECT *object, long data);

// Connects the dialog (dialog_hooks.sort) and the tabbox's sort operations
// (init, update, open) to this module.  Called by FE_Init before the
// dialogs are made.
void myfl_connect_tbsort(void);

#endif
