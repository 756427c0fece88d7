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

// The toolkit hands every key to the form last clicked into, as long as
// that form is shown, whatever window the key was typed in: a dialog shown
// over a window the user worked in would get neither F1, Escape nor
// typing until clicked into (Escape in the help dialog would close the
// main window).  A left click sent to the dialog's free top right corner,
// which lands on its invisible help button and does nothing, makes the
// dialog that form.  The pointer is in the dialog (myfl_show_form puts it
// there), so the toolkit takes the click for it.
void myfl_take_keyboard(FL_FORM *form) {
  Display *display = fl_get_display();
  if (!form || !form->window || !display) return;
  for (int type : {ButtonPress, ButtonRelease}) {
    XEvent ev = {};
    ev.xbutton.type = type;
    ev.xbutton.display = display;
    ev.xbutton.window = form->window;
    ev.xbutton.root = DefaultRootWindow(display);
    ev.xbutton.x = form->w - 3;
    ev.xbutton.y = 3;
    ev.xbutton.x_root = form->x + form->w - 3;
    ev.xbutton.y_root = form->y + 3;
    ev.xbutton.button = Button1;
    ev.xbutton.state = type == ButtonRelease ? Button1Mask : 0;
    ev.xbutton.same_screen = True;
    XSendEvent(display, form->window, True,
               type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &ev);
  }
  XFlush(display);
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
  myfl_show_form(dialog, title);
  myfl_take_keyboard(dialog);
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
