// The help dialog HELP (dialogs.h): F1 or the right mouse button on a free
// area of any window shows that window's help text from the help file
// (helpfile.h) without its tags.  In the dialog the text can be edited in
// place or in an external HTML editor through the file "hilfetxt.tmp" in
// the working directory, and is saved back into the help file after the
// HTML check.  Only one text is shown at a time.
//
// The external editor: the command of the ini entry "[HTML_EDITOR]" of the
// application (run with the file's name as its last argument), else the
// default "Netscape -composer" when that program is installed, else
// $VISUAL or $EDITOR in a terminal window (x-terminal-emulator or xterm).
// A command that cannot be started is reported in an alert.
#ifndef FORMS_HELP_H
#define FORMS_HELP_H

#include <forms.h>

#include <string>

#include "base/containers.h"
#include "forms/dialogs.h"

// The exchange file of the external editor.
extern const char HELP_TMPFILE[];

// Dialog state: the help key shown (own copy, null while closed), 1 while
// the dialog is in edit mode, and every help record of the Help registry
// (refreshed on each use, so windows registered late are found too).
extern char *hlp_dlgname;
extern int kz_save;
extern LIST help_forms;

// Sets the callbacks and the at-close function of the dialog (the help hook
// of dialog_hooks).
void HELP_Init(FD_HELP *fd);

// Opens the dialog with the help of the window whose help button this is.
// A button without help record logs "(myfl_open_help) Helpdialog not
// defined\n"; an open dialog refuses with the alert "Hilfedialog bereits
// ge\xf6" "ffnet", except that F1 in the help dialog itself, outside edit
// mode, shows the dialog's own help.  The requesting window stays active.
void myfl_open_help(FL_OBJECT *button);
// Closes the dialog; in edit mode only after the user confirmed that the
// changes are lost.  Closing a closed dialog alerts "Hilfedialog bereits
// geschlossen".
void myfl_close_help(void);

// Button callbacks: OK closes; "Hilfetext editieren" enters edit mode and,
// pressed again ("Hilfetext \xe4ndern"), checks and saves the text;
// "Netscape Editor" writes HELP_TMPFILE and, pressed again ("Netscape
// speichern"), reads it back, checks and saves; "Composer" starts the
// external editor.
void HELP_OK(FL_OBJECT *object, long data);
void HELP_Save(FL_OBJECT *object, long data);
void HELP_Editor(FL_OBJECT *object, long data);
void HELP_Composer(FL_OBJECT *object, long data);
// The window manager's close and Escape: myfl_close_help, -1.
int HELP_AtClose(FL_FORM *form, void *data);

// The help text of the form for the manual (internal parts removed) in
// *out: 1, or 0 when the form has no help record.
int myfl_get_help_data(FL_FORM *form, std::string *out);

// The text between the body tags of an HTML file as an editor saved it:
// from after "<body ...>" (and one line feed right after it) to just before
// "</body" (tags in any letter case); false when either is missing.
bool help_body_text(const std::string &html, std::string *text);

// The shell command that starts the external editor on file: command (from
// the ini entry) with the file name appended; without one the default when
// default_found, else the terminal editor of visual or editor (null or
// empty when unset) in terminal.  Empty when there is none.  The command
// runs in the background and ends with 127 when its program is missing.
std::string help_editor_command(const char *command, bool default_found, const char *visual,
                                const char *editor, const char *terminal, const char *file);

#endif
