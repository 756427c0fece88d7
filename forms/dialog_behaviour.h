// The behaviour of the zoom, help, export and viewer dialogs connected to
// the dialogs' set-up: their hooks in dialog_hooks (dialogs.h), which
// FE_Init calls as it creates each dialog, and the help opening of every
// window's help button.  Also the modal opening and closing that the
// zoom, export and viewer dialogs share: a dialog serves one requesting
// form at a time and keeps it deactivated while it is open.
#ifndef FORMS_DIALOG_BEHAVIOUR_H
#define FORMS_DIALOG_BEHAVIOUR_H

typedef struct FL_FORM_ FL_FORM;

// Fills the zoom, help, tbexp, tview and open_help entries of
// dialog_hooks; the hooks connect the editors and tabboxes in turn.
void connect_dialog_behaviour(void);

// Opens dialog for requester: when *usedby is set already, the alert busy
// and 0; else *usedby = requester, any combo list closed, the requester
// deactivated and the dialog shown with title (myfl_show_form) and given
// the keyboard: 1.
int open_modal_dialog(FL_FORM **usedby, FL_FORM *requester, FL_FORM *dialog, const char *title,
                      const char *busy);
// Closes dialog: when *usedby is null, the alert closed and 0; else any
// combo list closed, the requester activated, *usedby = null and the
// dialog hidden with the toolkit's plain hide (no position stored): 1.
int close_modal_dialog(FL_FORM **usedby, FL_FORM *dialog, const char *closed);

#endif
