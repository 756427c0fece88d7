// The editor zoom; see zoom.h.
#include "forms/zoom.h"

#include "forms/dialog_behaviour.h"
#include "forms/forms.h"
#include "forms/inputs.h"
#include "widgets/editor.h"

FL_OBJECT *ZOOM_Input = nullptr;

namespace {

FL_OBJECT *input_of(FL_OBJECT *editor) {
  FL_OBJECT *input = fl_get_editor_input_object(editor);
  return input ? input : editor;
}

}  // namespace

void ZOOM_Init(FD_ZOOM *fd) {
  fl_set_object_callback(fd->ok, ZOOM_OK, 0);
  myfl_set_form_atclose(fd->ZOOM, ZOOM_AtClose, nullptr);
  editor_hooks.open_zoom = myfl_open_zoom;
}

void myfl_open_zoom(FL_FORM *form, FL_OBJECT *editor, int maxchars) {
  if (!open_modal_dialog(&ZOOM_Usedby, form, fd_ZOOM->ZOOM, "Editor-Zoom",
                         "Editor-Zoom-Dialog bereits ge\xf6"
                         "ffnet"))
    return;
  ZOOM_Input = editor;
  FL_OBJECT *zoom = fd_ZOOM->editor;
  // The limit first: the text must not be cut to the previous one.
  fl_set_editor_maxchars(zoom, maxchars);
  myfl_set_input(zoom, myfl_get_input(editor));
  if (fl_is_editor(editor)) fl_set_editor_fontstyle(zoom, fl_get_editor_fontstyle(editor));
  fl_set_input_topline(input_of(zoom), fl_get_input_topline(input_of(editor)));
}

void myfl_close_zoom(void) {
  if (ZOOM_Usedby) {
    FL_OBJECT *zoom = fd_ZOOM->editor;
    myfl_set_input(ZOOM_Input, myfl_get_input(zoom));
    fl_set_input_topline(input_of(ZOOM_Input), fl_get_input_topline(input_of(zoom)));
  }
  if (close_modal_dialog(&ZOOM_Usedby, fd_ZOOM->ZOOM, "Editor-Zoom-Dialog bereits geschlossen"))
    ZOOM_Input = nullptr;
}

void ZOOM_OK(FL_OBJECT *, long) { myfl_close_zoom(); }

int ZOOM_AtClose(FL_FORM *, void *) {
  myfl_close_zoom();
  return FL_IGNORE;
}
