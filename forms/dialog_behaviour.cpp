// The dialogs' behaviour connected to their set-up, and the shared modal
// opening and closing; see dialog_behaviour.h.
#include "forms/dialog_behaviour.h"

#include <forms.h>
#include <X11/Xlib.h>

#include "forms/cmb.h"
#include "forms/dialogs.h"
#include "forms/forms.h"
#include "forms/help.h"
#include "forms/tbexp.h"
#include "forms/tbview.h"
#include "forms/zoom.h"
#include "widgets/goodies.h"

void connect_dialog_behaviour(void) {
  dialog_hooks.zoom = ZOOM_Init;
  dialog_hooks.help = HELP_Init;
  dialog_hooks.tbexp = TBEXP_Init;
  dialog_hooks.tview = TVIEW_Init;
  dialog_hooks.open_help = myfl_open_help;
}

int open_modal_dialog(FL_FORM **usedby, FL_FORM *requester, FL_FORM *dialog, const char *title,
                      const char *busy) {
  if (*usedby) {
    myfl_show_alert(busy, "", "", 1);
    return 0;
  }
  *usedby = requester;
  myfl_close_cmb();
  fl_deactivate_form(requester);
  myfl_show_form(dialog, title);  // which also gives it the keyboard
  return 1;
}

int close_modal_dialog(FL_FORM **usedby, FL_FORM *dialog, const char *closed) {
  if (!*usedby) {
    myfl_show_alert(closed, "", "", 1);
    return 0;
  }
  myfl_close_cmb();
  fl_activate_form(*usedby);
  *usedby = nullptr;
  fl_hide_form(dialog);
  return 1;
}
