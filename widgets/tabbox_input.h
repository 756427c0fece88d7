// Where the parts of a tabbox lie and what the mouse and the keys do to it,
// without X: the rectangles of the title row, text area, buttons, tracks
// and knobs, hit-testing, horizontal and vertical scrolling, selection
// movement by type, and the event handler's logic.  The XForms layer
// (mytabs.cpp) feeds events in and does what the TB_HOST asks for
// (redraws, the object callback, the pointer shape, the context menu).
#ifndef WIDGETS_TABBOX_INPUT_H
#define WIDGETS_TABBOX_INPUT_H

#include "widgets/tabbox_model.h"

struct TB_RECT {
  int x, y, w, h;
};

// Click areas, in hit-test order.
enum {
  TB_AREA_NONE = -1,
  TB_AREA_LEFT = 0,
  TB_AREA_RIGHT = 1,
  TB_AREA_DOWN = 2,
  TB_AREA_UP = 3,
  TB_AREA_INFO = 4,
  TB_AREA_HKNOB = 5,
  TB_AREA_VKNOB = 6,
  TB_AREA_HTRACK = 7,
  TB_AREA_VTRACK = 8,
  TB_AREA_TEXT = 9,
  TB_AREA_TITLE = 10
};

// The rectangle of an area of rec's object; the row height is rec's
// char_height (pass the active record).
TB_RECT tb_area_rect(const TABBOX *rec, int area);
// The area under (px, py) (form coordinates); a point on an edge belongs to
// no area.
int tb_hit(const TABBOX *rec, int px, int py);
// The 1-based display position under py, 0 if no line is there.
int tb_line_at(const TABBOX *rec, int py);
// The character position of the display title under px.
int tb_title_pos(const TABBOX *rec, int px);

// Scrolling by one step or page; each returns true if an offset changed.
bool tb_step_left(TABBOX *rec);
bool tb_step_right(TABBOX *rec);
bool tb_step_up(TABBOX *rec);
bool tb_step_down(TABBOX *rec);
bool tb_page_left(TABBOX *rec);
bool tb_page_right(TABBOX *rec);
bool tb_page_up(TABBOX *rec);
bool tb_page_down(TABBOX *rec);

// What the logic asks of the XForms object.
class TB_HOST {
 public:
  virtual ~TB_HOST() = default;
  // A full redraw; a partial one is requested by setting partial_draw on
  // the active record first.
  virtual void redraw() = 0;
  // The object's ordinary callback with its argument, if one is set.
  virtual void object_callback() = 0;
  virtual void hand_cursor() = 0;
  virtual void default_cursor() = 0;
  // Shows the context menu and returns the chosen item (1-4) or -1.
  virtual int context_menu(bool with_viewer) = 0;
  // Whether the form's focus object is a combo box.
  virtual bool focus_is_cmb() = 0;
};

// Moves the selection or scrolls as the Up/Down/Page keys do on the
// active record of main (fl_tabbox_up etc.).  dir: -1 up, 1 down;
// page: whole pages.
void tb_move(TABBOX *main, TB_HOST &host, int dir, bool page);
// Horizontal scrolling of the active record: -1 left, 1 right; with Shift
// held (tbhook_shift_pressed) by pages.  Redraws.
void tb_horizontal(TABBOX *main, TB_HOST &host, int dir);
void tb_leftmost(TABBOX *main, TB_HOST &host);
void tb_rightmost(TABBOX *main, TB_HOST &host);

// Event codes of tb_handle.
enum { TB_EV_PUSH = 1, TB_EV_RELEASE, TB_EV_MOUSE, TB_EV_MOTION, TB_EV_DBLCLICK, TB_EV_KEY };

// The handler's logic for one event on the tabbox whose main record is
// main.  px, py are form coordinates; key is the mouse button for the
// mouse events and the X keysym for TB_EV_KEY.  TB_EV_MOUSE is the
// periodic event while a button is held (auto-repeat and knob drags),
// TB_EV_MOTION a pointer movement (knob drags only).
void tb_handle(TABBOX *main, TB_HOST &host, int event, int px, int py, int key);

// The new width of the column whose border drag (drag_bar_pos) ends at
// title character q' = qprime; applies it (col_maxwidth, rebuild) and
// returns the column number, or 0 when nothing changed.  *width gets the
// width.
int tb_apply_border_drag(TABBOX *rec, int qprime, int *width);

#endif
