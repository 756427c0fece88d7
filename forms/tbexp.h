// The table export TBEXP (dialogs.h): writes a tabbox's contents as a
// tab-separated file "<name>.csv" in the working directory, either the
// table as shown ("exp. Tabbox": the visible columns in display order) or
// all columns in their natural order ("exp. alle Daten"); the rows always
// in display order, the title first, numbers with a decimal comma.  The
// tabbox's popup menu opens it (through tabbox_hooks); while it is open
// the requesting form is deactivated.  The rules without X are in
// tbexp_text.h.
#ifndef FORMS_TBEXP_H
#define FORMS_TBEXP_H

#include <forms.h>

#include <string>

#include "forms/dialogs.h"

// The tabbox being exported, null while the dialog is closed.
extern FL_OBJECT *TBEXP_Tabbox;

// Sets the button callbacks and the at-close function, and connects the
// tabboxes' export entry (the tbexp hook of dialog_hooks).
void TBEXP_Init(FD_TBEXP *fd);

// Opens the dialog for tabbox of form (form deactivated).  While it is
// open: alert "Export-Tabbox-Dialog bereits ge\xf6" "ffnet".
void myfl_open_tbexp(FL_FORM *form, FL_OBJECT *tabbox);
// Closes it and activates the form again; when closed: alert
// "Export-Tabbox-Dialog bereits geschlossen".
void myfl_close_tbexp(void);

// The export buttons: with a usable file name (get_check_filename) the
// file is written and the dialog closes.  A title that does not match the
// tabbox's columns alerts "Es ist ein Fehler aufgetreten
// (Tabellenanzahl inkonsistent)", a failed write alerts "Fehler beim
// Schreiben der Datei" with the name; the dialog stays open after either.
void TBEXP_Export(FL_OBJECT *object, long data);
void TBEXP_Export_Alle(FL_OBJECT *object, long data);
void TBEXP_OK(FL_OBJECT *object, long data);
int TBEXP_AtClose(FL_FORM *form, void *data);  // myfl_close_tbexp, -1

// Outcomes of tbexp_write_file.
enum { TBEXP_WRITTEN = 1, TBEXP_WRITE_FAILED = 0, TBEXP_BAD_TITLE = -1 };
// Writes the export of tabbox (all: every column in natural order, else
// the visible ones in display order) as the whole content of file:
// TBEXP_WRITTEN; TBEXP_BAD_TITLE when the title's slots do not match the
// tabbox's columns (nothing written); TBEXP_WRITE_FAILED after the
// message of File_Contents.
int tbexp_write_file(FL_OBJECT *tabbox, const char *file, int all);

// The file name from the input with the suffix "csv", or "" when there is
// none to write: a name that is empty or has other characters than ASCII
// letters, digits and "_" is refused with the alert "Ung\xfcltiger
// Dateiname"; for an existing file the user is asked whether to overwrite
// it, and only "Ja" gives the name.
std::string get_check_filename(void);

#endif
