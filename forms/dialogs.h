// The six shared dialogs that FE_Init creates for every application: the
// combo list COMBO, the editor zoom ZOOM, the help dialog HELP, the table
// export TBEXP, the table viewer TVIEW and the sort/columns dialog SORT.
// This module builds their forms (layouts, objects in creation order) and
// holds their form-description records and used-by globals.  What their
// buttons do belongs to the dialogs' own modules: each is connected through
// its hook in dialog_hooks, which FE_Init calls right after the dialog is
// created and registered (to set the button callbacks, the at-close
// function and the tabbox bindings).  Until a hook is filled the dialog's
// buttons do nothing.  The combo list's behaviour is in cmb.h.
#ifndef FORMS_DIALOGS_H
#define FORMS_DIALOGS_H

#include <forms.h>

// Every form starts with a flat background box of its full size and the
// invisible help button (forms.h).
struct FD_COMBO {
  FL_FORM *COMBO;
  FL_OBJECT *background, *help;
  FL_OBJECT *browser;  // the list, callback myfl_cb_sel_cmb
};

struct FD_ZOOM {
  FL_FORM *ZOOM;
  FL_OBJECT *background, *help;
  FL_OBJECT *frame;
  FL_OBJECT *editor;  // the editor's text input
  FL_OBJECT *ok;      // ZOOM_OK
};

struct FD_HELP {
  FL_FORM *HELP;
  FL_OBJECT *background, *help;
  FL_OBJECT *text;      // multi-line input without limit
  FL_OBJECT *ok;        // HELP_OK
  FL_OBJECT *save;      // "Hilfetext sichern", HELP_Save
  FL_OBJECT *editor;    // "Netscape Editor", HELP_Editor
  FL_OBJECT *composer;  // "Composer", HELP_Composer
  FL_OBJECT *status;    // status text, normally empty
};

struct FD_TBEXP {
  FL_FORM *TBEXP;
  FL_OBJECT *background, *help;
  FL_OBJECT *title;
  FL_OBJECT *filename;    // "Dateiname ", at most 58 characters
  FL_OBJECT *export_tb;   // "exp. Tabbox", TBEXP_Export
  FL_OBJECT *export_all;  // "exp. alle Daten", TBEXP_Export_Alle
  FL_OBJECT *ok;          // TBEXP_OK
};

struct FD_TVIEW {
  FL_FORM *TVIEW;
  FL_OBJECT *background, *help;
  FL_OBJECT *title;
  FL_OBJECT *tabbox;  // type 0
};

struct FD_SORT {
  FL_FORM *SORT;
  FL_OBJECT *background, *help;
  FL_OBJECT *title;
  FL_OBJECT *frame_top;
  FL_OBJECT *dbnames;   // " Datenbanknamen"
  FL_OBJECT *decimals;  // "Nachkommastellen ", at most 2 characters
  FL_OBJECT *maxwidth;  // "max. Spaltenbreite ", at most 3 characters
  FL_OBJECT *vertical;  // " vertikale Darstellung"
  FL_OBJECT *frame_lists;
  FL_OBJECT *avail_text, *select_text, *sort_text;
  FL_OBJECT *avail;        // tabbox SORTA, available columns
  FL_OBJECT *select;       // tabbox SORTS, selected columns
  FL_OBJECT *sort;         // tabbox SORT, sort keys
  FL_OBJECT *select_up;    // SORT_Select_TB_Up
  FL_OBJECT *sort_up;      // SORT_Sort_TB_Up
  FL_OBJECT *select_down;  // SORT_Select_TB_Down
  FL_OBJECT *avail_in;     // SORT_Avail_TB_In: selected column back to available
  FL_OBJECT *sort_down;    // SORT_Sort_TB_Down
  FL_OBJECT *avail_out;    // SORT_Avail_TB_Out: available column to selected
  FL_OBJECT *select_out;   // SORT_Select_TB_Out: selected column becomes a sort key
  FL_OBJECT *change;       // SORT_TB_Change: direction onto the current sort key
  FL_OBJECT *select_in;    // SORT_Select_TB_In: remove the current sort key
  FL_OBJECT *ascending;    // " aufw\xe4rts"
  FL_OBJECT *descending;   // " abw\xe4rts"
  FL_OBJECT *ok;           // SORT_OK
};

extern FD_COMBO *fd_COMBO;
extern FD_ZOOM *fd_ZOOM;
extern FD_HELP *fd_HELP;
extern FD_TBEXP *fd_TBEXP;
extern FD_TVIEW *fd_TVIEW;
extern FD_SORT *fd_SORT;

// The form that opened each dialog, null while it is closed.
extern FL_FORM *ZOOM_Usedby;
extern FL_FORM *HELP_Usedby;
extern FL_FORM *TBEXP_Usedby;
extern FL_FORM *TVIEW_Usedby;
extern FL_FORM *SORT_Usedby;

// The dialogs' behaviour, brought by their own modules.
struct DIALOG_HOOKS {
  void (*zoom)(FD_ZOOM *fd);    // ZOOM_OK, ZOOM_AtClose
  void (*help)(FD_HELP *fd);    // HELP_OK, HELP_Save, HELP_Editor, HELP_Composer, HELP_AtClose
  void (*tbexp)(FD_TBEXP *fd);  // TBEXP_Export, TBEXP_Export_Alle, TBEXP_OK, TBEXP_AtClose
  void (*tview)(FD_TVIEW *fd);  // binds the tabbox "TVIEW", TVIEW_AtClose
  void (*sort)(
      FD_SORT *fd);  // binds "SORTA", "SORTS", "SORT", the list buttons, SORT_OK, SORT_AtClose
  void (*open_help)(FL_OBJECT *button);  // myfl_open_help: F1 and the right mouse button
};
extern DIALOG_HOOKS dialog_hooks;

// The forms with their layouts; each returns a new record owned by the
// caller (FE_Init keeps them for the whole run).  Every button gets a
// callback that does nothing until its hook sets the real one.
FD_COMBO *create_form_COMBO(void);
FD_ZOOM *create_form_ZOOM(void);
FD_HELP *create_form_HELP(void);
FD_TBEXP *create_form_TBEXP(void);
FD_TVIEW *create_form_TVIEW(void);
FD_SORT *create_form_SORT(void);

// FE_Init's steps for the six dialogs (creation, registration, limits,
// shortcuts, hooks, help keys); the result of the last help registration.
int myfl_init_dialogs(void);

#endif
