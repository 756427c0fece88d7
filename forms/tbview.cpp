// The table viewer; see tbview.h.
#include "forms/tbview.h"

#include "forms/dialog_behaviour.h"
#include "forms/colrec.h"
#include "forms/forms.h"
#include "widgets/dbtabbox.h"
#include "widgets/goodies.h"
#include "widgets/tabbox_hooks.h"

FL_OBJECT *TVIEW_Tabbox = nullptr;
TBVIEW_LOAD_FUNC tbview_load_func = nullptr;

namespace {

FL_OBJECT *viewer_tabbox() { return fd_TVIEW ? fd_TVIEW->tabbox : nullptr; }

// The record of the tabbox's current line; null without one, also for a
// tabbox that has no binding.
void *current_record(FL_OBJECT *tabbox) {
  return myfl_get_tabbox_binding(tabbox) ? myfl_get_tabbox_info(tabbox) : nullptr;
}

}  // namespace

TBVIEW_LOAD_FUNC myfl_get_tbview_load_func(void) { return tbview_load_func; }
void myfl_set_tbview_load_func(TBVIEW_LOAD_FUNC func) { tbview_load_func = func; }

void TVIEW_Init(FD_TVIEW *fd) {
  myfl_init_db_tabbox(fd->TVIEW, fd->tabbox, "TVIEW", _COL_Attribs, _COL_New, nullptr, nullptr,
                      dbshow_all, nullptr);
  myfl_set_form_atclose(fd->TVIEW, TVIEW_AtClose, nullptr);
  tabbox_hooks.open_tbview = myfl_open_tbview;
  tabbox_hooks.close_tbview = myfl_close_tbview;
  tabbox_hooks.tbview_tabbox = viewer_tabbox;
}

void myfl_open_tbview(FL_FORM *form, FL_OBJECT *tabbox) {
  if (TVIEW_Usedby) {
    myfl_close_tbview();
    return;
  }
  void *record = tbview_load_func ? current_record(tabbox) : nullptr;
  if (!record || !tbview_load_func(fd_TVIEW->TVIEW, fd_TVIEW->tabbox, record)) {
    myfl_show_alert("Keine Daten darstellbar", "", "", 1);
    return;
  }
  open_modal_dialog(&TVIEW_Usedby, form, fd_TVIEW->TVIEW, "Tabbox-Viewer", "");
  TVIEW_Tabbox = tabbox;
}

void myfl_close_tbview(void) {
  if (close_modal_dialog(&TVIEW_Usedby, fd_TVIEW->TVIEW,
                         "Tabbox-Viewer-Dialog bereits geschlossen"))
    TVIEW_Tabbox = nullptr;
}

int TVIEW_AtClose(FL_FORM *, void *) {
  myfl_close_tbview();
  return FL_IGNORE;
}
