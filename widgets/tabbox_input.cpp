// Geometry, scrolling, selection movement and event logic of the tabbox;
// see tabbox_input.h.
#include "widgets/tabbox_input.h"

#include <X11/keysym.h>

#include <algorithm>

#include "widgets/tabbox_hooks.h"

namespace {

const int B = TABBOX_BUTTON;

bool inside(const TB_RECT &r, int px, int py) {
  return r.x < px && px < r.x + r.w && r.y < py && py < r.y + r.h;
}

int clamp_hi_lo(int v, int hi, int lo) {
  if (v > hi) v = hi;
  if (v < lo) v = lo;
  return v;
}

// One slider knob along a track of length len starting at start.
void knob_span(int len, int offset, int shown, int total, int start, int *pos, int *size) {
  if (total < 1) {
    *pos = start;
    *size = len;
    return;
  }
  double l = len - 10;
  double a = l * offset / total;
  double b = l * std::min(offset + shown, total) / total;
  *pos = start + static_cast<int>(a);
  *size = std::max(static_cast<int>(b - a) + 10, 10);
}

}  // namespace

TB_RECT tb_area_rect(const TABBOX *r, int area) {
  int x = r->x, y = r->y, w = r->w, h = r->h, bw = r->bw, ch = r->char_height;
  switch (area) {
    case TB_AREA_TITLE: return {x, y, w - B, 2 * bw + ch};
    case TB_AREA_TEXT: return {x, y + 2 * bw + ch, w - B, h - ch - 2 * bw - B};
    case TB_AREA_LEFT: return {x, y + h - B, B, B};
    case TB_AREA_HTRACK: return {x + B, y + h - B, w - 3 * B, B};
    case TB_AREA_RIGHT: return {x + w - 2 * B, y + h - B, B, B};
    case TB_AREA_UP: return {x + w - B, y, B, B};
    case TB_AREA_VTRACK: return {x + w - B, y + B, B, h - 3 * B};
    case TB_AREA_DOWN: return {x + w - B, y + h - 2 * B, B, B};
    case TB_AREA_INFO: return {x + w - B, y + h - B, B, B};
    case TB_AREA_HKNOB: {
      TB_RECT k{0, y + h + bw - B, 0, B - 2 * bw};
      knob_span(r->hslider_len, r->left_col, r->screen_cols, r->xmax, x + B + bw, &k.x, &k.w);
      if (r->xmax < 1) k.w = r->hslider_len;
      return k;
    }
    case TB_AREA_VKNOB: {
      TB_RECT k{x + w + bw - B, 0, B - 2 * bw, 0};
      knob_span(r->vslider_len, r->topline, r->screen_lines, r->line_count, y + bw + B, &k.y, &k.h);
      if (r->line_count < 1) k.h = r->vslider_len;
      return k;
    }
    default: return {0, 0, 0, 0};
  }
}

int tb_hit(const TABBOX *rec, int px, int py) {
  for (int area = TB_AREA_LEFT; area <= TB_AREA_TITLE; area++)
    if (inside(tb_area_rect(rec, area), px, py)) return area;
  return TB_AREA_NONE;
}

int tb_line_at(const TABBOX *rec, int py) {
  int ch = rec->char_height > 0 ? rec->char_height : 1;
  int d = (py - rec->y - 3 * rec->bw) / ch + rec->topline;
  if (d < 1) d = 1;
  return d > rec->line_count ? 0 : d;
}

int tb_title_pos(const TABBOX *rec, int px) {
  int cw = rec->char_width > 0 ? rec->char_width : 1;
  return (px - rec->x) / cw + rec->left_col;
}

bool tb_step_left(TABBOX *r) {
  if (r->left_col <= 0) return false;
  r->left_col--;
  return true;
}

bool tb_step_right(TABBOX *r) {
  if (r->left_col >= r->xmax - r->screen_cols) return false;
  r->left_col++;
  return true;
}

bool tb_step_up(TABBOX *r) {
  if (r->topline <= 0) return false;
  r->topline--;
  return true;
}

bool tb_step_down(TABBOX *r) {
  if (r->topline >= r->line_count - r->screen_lines) return false;
  r->topline++;
  return true;
}

bool tb_page_left(TABBOX *r) {
  if (r->left_col <= 0) return false;
  r->left_col = std::max(0, r->left_col - 1 - r->screen_cols);
  return true;
}

bool tb_page_right(TABBOX *r) {
  int old = r->left_col;
  r->left_col = clamp_hi_lo(r->left_col - 1 + r->screen_cols, r->xmax - r->screen_cols, 0);
  return r->left_col != old;
}

bool tb_page_up(TABBOX *r) {
  int old = r->topline;
  r->topline = std::max(0, r->topline - 1 - r->screen_lines);
  return r->topline != old;
}

bool tb_page_down(TABBOX *r) {
  int old = r->topline;
  r->topline = clamp_hi_lo(r->topline - 1 + r->screen_lines, r->line_count - r->screen_lines, 0);
  return r->topline != old;
}

namespace {

// Selection movement on the active record a; true if something moved.
bool move_selection(TABBOX *a, int dir, bool page) {
  int n = a->line_count;
  int q = tb_first_selected_pos(a);
  if (q < 0) {
    if (a->topline < 0 || a->topline >= n) return false;
    tb_set_pos_selected(a, a->topline, true);
    return true;
  }
  if (dir < 0) {
    if (q <= 0) return false;
    tb_set_pos_selected(a, q, false);
    if (!page) {
      tb_set_pos_selected(a, q - 1, true);
      if (q - 1 < a->topline && a->topline > 0) a->topline--;
    } else {
      if (q == a->topline) a->topline = std::max(0, q - 1 - a->screen_lines);
      tb_set_pos_selected(a, a->topline, true);
    }
    return true;
  }
  if (q >= n - 1) return false;
  tb_set_pos_selected(a, q, false);
  if (!page) {
    tb_set_pos_selected(a, q + 1, true);
    if (q + 1 >= a->topline + a->screen_lines && a->topline < n - a->screen_lines) a->topline++;
    return true;
  }
  int bottom = a->topline + a->screen_lines - 1;
  if (q == bottom) {
    tb_set_pos_selected(a, std::min(a->topline + 2 * a->screen_lines - 2, n - 1), true);
    a->topline = clamp_hi_lo(a->topline + a->screen_lines - 1, n - a->screen_lines, 0);
  } else {
    tb_set_pos_selected(a, std::min(bottom, n - 1), true);
  }
  return true;
}

// Keeps only the first selected line (display order) of a.
void reduce_selection(TABBOX *a) {
  int q = tb_first_selected_pos(a);
  tb_clear_selection(a);
  if (q >= 0) tb_set_pos_selected(a, q, true);
}

void context_menu(TABBOX *main, TABBOX *a, TB_HOST &host) {
  bool viewer = main->view && tb_select_count(a) == 1;
  switch (host.context_menu(viewer)) {
    case 1: tbhook_open_tbsort(main->form, main->object); break;
    case 2:
      std::fill(a->col_maxwidth.begin(), a->col_maxwidth.end(), -1);
      a->rebuild = 1;
      host.redraw();
      tbhook_clear_col_widths(main->object);
      break;
    case 3: tbhook_open_tbexp(main->form, main->object); break;
    case 4:
      if (viewer) tbhook_open_tbview(main->form, main->object);
      break;
    default: break;
  }
}

// A press with button 1 or 2 in the text area.
void press_text(TABBOX *main, TABBOX *a, TB_HOST &host, int py) {
  if (main->type == 0 && !main->vert) return;
  int d = tb_line_at(a, py);
  if (main->vert || main->type != 3) {
    tb_clear_selection(a);
    if (d > 0) tb_select_line(a, a->row_order[d - 1] + 1);
    host.redraw();
    host.object_callback();
    return;
  }
  if (d == 0) {
    tb_clear_selection(a);
    host.redraw();
    return;
  }
  int pos = d - 1, n = a->line_count;
  bool shift = tbhook_shift_pressed() != 0, ctrl = tbhook_ctrl_pressed() != 0;
  if (!shift && !ctrl) {
    tb_clear_selection(a);
    tb_set_pos_selected(a, pos, true);
  } else if (shift && !ctrl) {
    int i = pos;
    while (i >= 0 && !tb_pos_selected(a, i)) tb_set_pos_selected(a, i--, true);
    while (i >= 0 && tb_pos_selected(a, i)) i--;
    for (; i >= 0; i--) tb_set_pos_selected(a, i, false);
    for (int j = pos + 1; j < n; j++) tb_set_pos_selected(a, j, false);
  } else if (shift && ctrl) {
    for (int i = pos; i >= 0 && !tb_pos_selected(a, i); i--) tb_set_pos_selected(a, i, true);
    for (int j = pos + 1; j < n && tb_pos_selected(a, j); j++) tb_set_pos_selected(a, j, false);
  } else {
    tb_set_pos_selected(a, pos, !tb_pos_selected(a, pos));
  }
  host.redraw();
  host.object_callback();
}

// One auto-repeat tick of a held control; true when a step is due.
bool repeat_due(int *count, unsigned char *first, int first_delay, int every) {
  if (*count > 0) {
    (*count)--;
    return false;
  }
  if (*first) {
    *first = 0;
    *count = first_delay;
    return false;
  }
  *count = every;
  return true;
}

void partial(TABBOX *a, TB_HOST &host) {
  a->partial_draw = 1;
  host.redraw();
}

void knob_drag(TABBOX *a, TB_HOST &host, int px, int py) {
  if (a->hknob_drag && a->hslider_len > 0) {
    long long delta = static_cast<long long>(px - a->drag_x) * a->xmax / a->hslider_len;
    if (delta != 0)
      a->left_col =
          clamp_hi_lo(static_cast<int>(a->drag_start_left + delta), a->xmax - a->screen_cols, 0);
  }
  if (a->vknob_drag && a->vslider_len > 0) {
    long long delta = static_cast<long long>(py - a->drag_y) * a->line_count / a->vslider_len;
    if (delta != 0)
      a->topline = clamp_hi_lo(static_cast<int>(a->drag_start_top + delta),
                               a->line_count - a->screen_lines, 0);
  }
  if (a->left_col != a->drag_last_left || a->topline != a->drag_last_top) {
    a->drag_last_left = a->left_col;
    a->drag_last_top = a->topline;
    partial(a, host);
  }
}

void auto_repeat(TABBOX *a, TB_HOST &host, int px, int py) {
  bool moved = false;
  if (a->left_pressed && repeat_due(&a->left_count, &a->left_first, 2, 1)) moved |= tb_step_left(a);
  if (a->right_pressed && repeat_due(&a->right_count, &a->right_first, 2, 1))
    moved |= tb_step_right(a);
  if (a->up_pressed && repeat_due(&a->up_count, &a->up_first, 7, 3)) moved |= tb_step_up(a);
  if (a->down_pressed && repeat_due(&a->down_count, &a->down_first, 7, 3)) moved |= tb_step_down(a);
  // A held track keeps paging toward the pointer until the knob reaches it.
  if (a->htrack_dir && repeat_due(&a->htrack_count, &a->htrack_first, 7, 3)) {
    TB_RECT k = tb_area_rect(a, TB_AREA_HKNOB);
    if (a->htrack_dir < 0 && px <= k.x) moved |= tb_page_left(a);
    if (a->htrack_dir > 0 && px >= k.x + k.w) moved |= tb_page_right(a);
  }
  if (a->vtrack_dir && repeat_due(&a->vtrack_count, &a->vtrack_first, 7, 3)) {
    TB_RECT k = tb_area_rect(a, TB_AREA_VKNOB);
    if (a->vtrack_dir < 0 && py <= k.y) moved |= tb_page_up(a);
    if (a->vtrack_dir > 0 && py >= k.y + k.h) moved |= tb_page_down(a);
  }
  if (moved) partial(a, host);
}

int bars_before(const std::string &title, int pos) {
  int n = 0;
  for (int i = 0; i < pos && i < static_cast<int>(title.size()); i++) n += title[i] == '|';
  return n;
}

void push(TABBOX *main, TABBOX *a, TB_HOST &host, int px, int py, int button) {
  switch (tb_hit(a, px, py)) {
    case TB_AREA_LEFT:
      if (a->left_pressed) return;
      a->left_pressed = a->left_first = 1;
      tb_step_left(a);
      host.redraw();
      return;
    case TB_AREA_RIGHT:
      if (a->right_pressed) return;
      a->right_pressed = a->right_first = 1;
      tb_step_right(a);
      host.redraw();
      return;
    case TB_AREA_DOWN:
      if (a->down_pressed) return;
      a->down_pressed = a->down_first = 1;
      tb_step_down(a);
      host.redraw();
      return;
    case TB_AREA_UP:
      if (a->up_pressed) return;
      a->up_pressed = a->up_first = 1;
      tb_step_up(a);
      host.redraw();
      return;
    case TB_AREA_INFO:
      if (a->info_pressed) return;
      a->info_pressed = 1;
      host.redraw();
      if (main->info_callback) main->info_callback(main->object, main->info_arg);
      return;
    case TB_AREA_HKNOB:
    case TB_AREA_VKNOB:
      if (tb_hit(a, px, py) == TB_AREA_HKNOB)
        a->hknob_drag = 1;
      else
        a->vknob_drag = 1;
      a->drag_x = px;
      a->drag_y = py;
      a->drag_start_left = a->drag_last_left = a->left_col;
      a->drag_start_top = a->drag_last_top = a->topline;
      host.redraw();
      return;
    case TB_AREA_HTRACK: {
      a->htrack_first = 1;
      TB_RECT k = tb_area_rect(a, TB_AREA_HKNOB);
      if (px <= k.x && a->left_col > 0) {
        a->htrack_dir = -1;
        tb_page_left(a);
      } else {
        a->htrack_dir = 1;
        tb_page_right(a);
      }
      host.redraw();
      return;
    }
    case TB_AREA_VTRACK: {
      a->vtrack_first = 1;
      TB_RECT k = tb_area_rect(a, TB_AREA_VKNOB);
      if (py <= k.y && a->topline > 0) {
        a->vtrack_dir = -1;
        tb_page_up(a);
      } else {
        a->vtrack_dir = 1;
        tb_page_down(a);
      }
      host.redraw();
      return;
    }
    case TB_AREA_TEXT:
      if (button == 3) {
        context_menu(main, a, host);
      } else if (button == 4 || button == 5) {
        // The scroll wheel scrolls; it does not select.
        if (button == 4 ? tb_step_up(a) : tb_step_down(a)) host.redraw();
      } else {
        press_text(main, a, host, py);
      }
      return;
    case TB_AREA_TITLE: {
      int q = tb_title_pos(a, px);
      if (q >= 1 && q < static_cast<int>(a->title.size()) && a->title[q - 1] == '|') {
        a->drag_bar_pos = q - 1;
        a->col_drag = 1;
        host.hand_cursor();
      }
      return;
    }
    default: return;
  }
}

void release(TABBOX *main, TABBOX *a, TB_HOST &host, int px, int py) {
  int area = tb_hit(a, px, py);
  if (main->type == 1 && !main->vert && area == TB_AREA_TEXT) {
    tb_clear_selection(a);
    host.redraw();
  }
  if (a->col_drag) {
    host.default_cursor();
    int width = 0;
    int c = 0;
    if (area == TB_AREA_TITLE) c = tb_apply_border_drag(a, tb_title_pos(a, px) - 1, &width);
    if (c > 0) {
      tbhook_set_col_width(main->object, c, width);
      host.redraw();
      tbhook_update_tbsort(main->object);
    }
  }
  bool held = a->info_pressed || a->up_pressed || a->down_pressed || a->left_pressed ||
              a->right_pressed || a->col_drag || a->hknob_drag || a->vknob_drag || a->htrack_dir ||
              a->vtrack_dir;
  a->info_pressed = a->up_pressed = a->down_pressed = a->left_pressed = a->right_pressed = 0;
  a->col_drag = a->hknob_drag = a->vknob_drag = 0;
  a->up_first = a->down_first = a->left_first = a->right_first = 0;
  a->htrack_first = a->vtrack_first = 0;
  a->htrack_dir = a->vtrack_dir = 0;
  if (held) host.redraw();
}

void dblclick(TABBOX *main, TABBOX *a, TB_HOST &host, int px, int py) {
  int area = tb_hit(a, px, py);
  if (area == TB_AREA_TEXT) {
    if ((main->type != 0 || main->vert) && tb_line_at(a, py) > 0) tb_call_dblclick(main);
  } else if (area == TB_AREA_TITLE) {
    int q = tb_title_pos(a, px);
    int c = tb_shown_column(a, 1 + bars_before(a->title, q));
    if (c > 0) {
      a->col_maxwidth[c] = -1;
      tbhook_clear_col_width(main->object, c);
      a->rebuild = 1;
      host.redraw();
    }
  }
}

void keypress(TABBOX *main, TABBOX *a, TB_HOST &host, int key) {
  bool shift = tbhook_shift_pressed() != 0;
  switch (key) {
    case XK_Right:
      if (a->left_col < a->xmax - a->screen_cols) {
        shift ? tb_page_right(a) : tb_step_right(a);
        host.redraw();
      }
      return;
    case XK_Left:
      if (a->left_col > 0) {
        shift ? tb_page_left(a) : tb_step_left(a);
        host.redraw();
      }
      return;
    case XK_Home: tb_leftmost(main, host); return;
    case XK_End: tb_rightmost(main, host); return;
    case XK_Up:
    case XK_Down:
      if (!tbhook_ctrl_pressed() && host.focus_is_cmb()) return;
      tb_move(main, host, key == XK_Up ? -1 : 1, false);
      return;
    case XK_Prior:
    case XK_Next: tb_move(main, host, key == XK_Prior ? -1 : 1, true); return;
    case XK_Return:
    case '\r':
      if (!tbhook_ctrl_pressed() && host.focus_is_cmb()) return;
      tb_call_dblclick(main);
      return;
    case XK_F2:
      if (main->view && tb_select_count(a) == 1)
        tbhook_open_tbview(main->form, main->object);
      else if (main->object && tbhook_tbview_tabbox() == main->object)
        tbhook_close_tbview();
      return;
    default: return;
  }
}

}  // namespace

void tb_move(TABBOX *main, TB_HOST &host, int dir, bool page) {
  TABBOX *a = tb_active(main);
  tb_ensure_built(a);
  if (main->vert || main->type == 2 || main->type == 4 || main->type == 3) {
    if (main->type == 3 && !main->vert && tb_select_count(a) > 1) reduce_selection(a);
    if (move_selection(a, dir, page)) {
      host.object_callback();
      host.redraw();
    }
    return;
  }
  if (page)
    dir < 0 ? tb_page_up(a) : tb_page_down(a);
  else
    dir < 0 ? tb_step_up(a) : tb_step_down(a);
  host.redraw();
}

void tb_horizontal(TABBOX *main, TB_HOST &host, int dir) {
  TABBOX *a = tb_active(main);
  tb_ensure_built(a);
  bool shift = tbhook_shift_pressed() != 0;
  if (dir < 0)
    shift ? tb_page_left(a) : tb_step_left(a);
  else
    shift ? tb_page_right(a) : tb_step_right(a);
  host.redraw();
}

void tb_leftmost(TABBOX *main, TB_HOST &host) {
  tb_active(main)->left_col = 0;
  host.redraw();
}

void tb_rightmost(TABBOX *main, TB_HOST &host) {
  TABBOX *a = tb_active(main);
  a->left_col = std::max(0, a->xmax - a->screen_cols);
  host.redraw();
}

int tb_apply_border_drag(TABBOX *rec, int qprime, int *width) {
  int bar = rec->drag_bar_pos;
  if (qprime == bar) return 0;
  int c = tb_shown_column(rec, 1 + bars_before(rec->title, bar));
  if (c <= 0) return 0;
  int prev = -1;
  for (int i = bar - 1; i >= 0; i--) {
    if (i < static_cast<int>(rec->title.size()) && rec->title[i] == '|') {
      prev = i;
      break;
    }
  }
  int w0 = prev >= 0 ? bar - prev - 1 : bar + 1;
  int w = clamp_hi_lo(w0 + qprime - bar - 2, rec->col_width[c], 1);
  if (w < 1) w = 1;
  rec->col_maxwidth[c] = w;
  rec->rebuild = 1;
  *width = w;
  return c;
}

void tb_handle(TABBOX *main, TB_HOST &host, int event, int px, int py, int key) {
  TABBOX *a = tb_active(main);
  tb_ensure_built(a);
  switch (event) {
    case TB_EV_PUSH: push(main, a, host, px, py, key); break;
    case TB_EV_RELEASE: release(main, a, host, px, py); break;
    case TB_EV_MOUSE:
      if (a->hknob_drag || a->vknob_drag)
        knob_drag(a, host, px, py);
      else
        auto_repeat(a, host, px, py);
      break;
    case TB_EV_MOTION:
      if (a->hknob_drag || a->vknob_drag) knob_drag(a, host, px, py);
      break;
    case TB_EV_DBLCLICK: dblclick(main, a, host, px, py); break;
    case TB_EV_KEY: keypress(main, a, host, key); break;
    default: break;
  }
}
