// Connects the behaviour of the zoom, help, export and viewer dialogs
// (zoom.h, help.h, tbexp.h, tbview.h) to the dialogs' set-up: their hooks
// in dialog_hooks (dialogs.h), which FE_Init calls as it creates each
// dialog, and the help opening of every window's help button.
#ifndef FORMS_DIALOG_BEHAVIOUR_H
#define FORMS_DIALOG_BEHAVIOUR_H

// Fills the zoom, help, tbexp, tview and open_help entries of
// dialog_hooks; the hooks connect the editors and tabboxes in turn.
void connect_dialog_behaviour(void);

#endif
