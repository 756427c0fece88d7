// The HTML user manual that "-doku" writes: "<applname>_hlp.htm" in the
// working directory, generated from what the framework recorded while the
// application set up its windows: the registered forms with their names
// and types, their help texts (without internal parts) and the object
// descriptions (objdata.h) of inputs, combo boxes, tabboxes and
// shortcuts.  Screenshots and hand-written descriptions may be added in
// the directory "Doku": for a window with help key KEY_HLP, "Doku/key.jpg"
// or "Doku/key.gif" is its picture (referenced even when missing),
// "Doku/key1" ... "Doku/key7" (.jpg, .gif) further pictures and
// "Doku/key.htm" a description used instead of the help text.
//
// No object of this system links to another window, so the manual has the
// main window as its one chapter-1 entry; the chapters of search dialogs
// and general dialogs say that there are none.  The elements of a window
// are listed in the order the window's objects were created.
#ifndef FORMS_MANUAL_H
#define FORMS_MANUAL_H

#include <forms.h>

#include <string>

// Writes the manual of the application whose main window is main: 1, or
// 0 after logging "ERROR: Cannot open file %s for writing!\n" when the
// file cannot be written.  A description file that exists but cannot be
// read ends the process with "File '%s' could not be opened!\n".
int myfl_gen_HTML_doku(FL_FORM *main);

// The object's label for the manual: leading and trailing blanks removed,
// backspaces and "@" dropped.  An object without description record logs
// "Warnung: Objekt nicht gefunden!\n" and gives "???"; a label shorter
// than 2 characters on an object whose type is not 0 ... 4 logs "Warning:
// Objectname '%s' in dialog '%s' invalid!\n".
std::string myfl_get_object_label(FL_OBJECT *object);

#endif
