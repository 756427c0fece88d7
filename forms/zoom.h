// The editor zoom ZOOM (dialogs.h): a large editor for the text of a small
// one.  The editor's zoom button opens it for its form (through
// editor_hooks, widgets/editor.h); OK, Escape and the window manager's
// close copy the text back and close it.  While it is open the requesting
// form is deactivated, and it serves one editor at a time.
#ifndef FORMS_ZOOM_H
#define FORMS_ZOOM_H

#include <forms.h>

#include "forms/dialogs.h"

// The editor being zoomed, null while the dialog is closed.
extern FL_OBJECT *ZOOM_Input;

// Sets the OK callback and the at-close function, and connects the
// editors' zoom buttons (the zoom hook of dialog_hooks).
void ZOOM_Init(FD_ZOOM *fd);

// Opens the zoom for editor (any object of an editor) of form: the zoom
// editor takes the character limit maxchars, the editor's text (trailing
// blanks dropped below 10000 characters), its first visible line and its
// font style; the form is deactivated.  While the zoom is open: alert
// "Editor-Zoom-Dialog bereits ge\xf6" "ffnet".
void myfl_open_zoom(FL_FORM *form, FL_OBJECT *editor, int maxchars);
// Copies the text (trailing blanks dropped again) and the first visible
// line back, activates the form and hides the zoom.  When closed: alert
// "Editor-Zoom-Dialog bereits geschlossen".
void myfl_close_zoom(void);
void ZOOM_OK(FL_OBJECT *object, long data);
int ZOOM_AtClose(FL_FORM *form, void *data);  // myfl_close_zoom, -1

#endif
