// The dialogs' behaviour connected to their set-up; see dialog_behaviour.h.
#include "forms/dialog_behaviour.h"

#include "forms/dialogs.h"
#include "forms/help.h"
#include "forms/tbexp.h"
#include "forms/tbview.h"
#include "forms/zoom.h"

void connect_dialog_behaviour(void) {
  dialog_hooks.zoom = ZOOM_Init;
  dialog_hooks.help = HELP_Init;
  dialog_hooks.tbexp = TBEXP_Init;
  dialog_hooks.tview = TVIEW_Init;
  dialog_hooks.open_help = myfl_open_help;
}
