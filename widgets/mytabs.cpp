// The tabbox's XForms layer: object creation, the handler, drawing and the
// public fl_*_tabbox* functions on top of the X-free logic of
// tabbox_model.cpp and tabbox_input.cpp; see mytabs.h.
#include "widgets/mytabs.h"

#include <X11/cursorfont.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "base/mem.h"
#include "base/msglog.h"
#include "widgets/tabbox_hooks.h"
#include "widgets/tabbox_input.h"

namespace {

const char kBad[] = ": Bad argument or wrong type\n";

bool is_tabbox(FL_OBJECT *ob) { return ob && ob->objclass == TABBOX_CLASS && ob->spec; }

void sync_record(TABBOX *rec, FL_OBJECT *ob) {
  bool moved = rec->w != ob->w || rec->h != ob->h || rec->bw != std::abs(ob->bw);
  rec->type = ob->type;
  rec->x = ob->x;
  rec->y = ob->y;
  rec->w = ob->w;
  rec->h = ob->h;
  rec->bw = std::abs(ob->bw);
  if (!rec->form) rec->form = ob->form;
  if (moved) {
    // A resized form resizes its objects: the tracks follow the new size.
    rec->hslider_len = rec->w - (2 * rec->bw + 54);
    rec->vslider_len = rec->h - (2 * rec->bw + 54);
    tb_set_metrics(rec, rec->char_width, rec->char_height);
  }
}

// The record of a tabbox with its geometry brought up to date, or null
// after logging "<fname>: Bad argument or wrong type".
TABBOX *record_of(FL_OBJECT *ob, const char *fname) {
  if (!is_tabbox(ob)) {
    if (fname) Log_Msg("%s%s", fname, kBad);
    return nullptr;
  }
  TABBOX *rec = static_cast<TABBOX *>(ob->spec);
  sync_record(rec, ob);
  if (rec->vert_record) sync_record(rec->vert_record, ob);
  return rec;
}

void redraw(FL_OBJECT *ob) { fl_redraw_object(ob); }

void compute_metrics(TABBOX *rec) {
  int asc = 0, desc = 0;
  int ch = fl_get_char_height(rec->fontstyle, rec->fontsize, &asc, &desc);
  int cw = fl_get_char_width(rec->fontstyle, rec->fontsize);
  tb_set_metrics(rec, cw, ch);
}

class XHost : public TB_HOST {
 public:
  explicit XHost(FL_OBJECT *ob) : ob_(ob) {}
  void redraw() override { fl_redraw_object(ob_); }
  void object_callback() override {
    if (ob_->object_callback) ob_->object_callback(ob_, ob_->argument);
  }
  void hand_cursor() override {
    if (FL_ObjWin(ob_)) fl_set_cursor(FL_ObjWin(ob_), XC_hand2);
  }
  void default_cursor() override {
    if (FL_ObjWin(ob_)) fl_set_cursor(FL_ObjWin(ob_), FL_DEFAULT_CURSOR);
  }
  int context_menu(bool with_viewer) override {
    int n = with_viewer
                ? fl_defpup(FL_ObjWin(ob_), "Sortierung%h|Spalten optimieren%h%l|Export%h|Viewer%h",
                            "Ss", "oO", "Ee", "Vv")
                : fl_defpup(FL_ObjWin(ob_), "Sortierung%h|Spalten optimieren%h%l|Export%h", "Ss",
                            "oO", "Ee");
    fl_setpup_cursor(n, XC_hand2);
    int choice = fl_dopup(n);
    fl_freepup(n);
    return choice;
  }
  bool focus_is_cmb() override {
    return ob_->form && ob_->form->focusobj && tbhook_is_cmb(ob_->form->focusobj);
  }

 private:
  FL_OBJECT *ob_;
};

std::string visible_part(const std::string &text, int from, int count) {
  if (from >= static_cast<int>(text.size()) || count <= 0) return std::string();
  return text.substr(from, count);
}

void draw_box_rect(int style, const TB_RECT &r, int bw) {
  fl_drw_box(style, r.x, r.y, r.w, r.h, FL_COL1, bw);
}

void draw_sliders(FL_OBJECT *ob, TABBOX *a) {
  draw_box_rect(FL_DOWN_BOX, tb_area_rect(a, TB_AREA_HTRACK), ob->bw);
  draw_box_rect(FL_DOWN_BOX, tb_area_rect(a, TB_AREA_VTRACK), ob->bw);
  draw_box_rect(a->hknob_drag ? FL_DOWN_BOX : FL_UP_BOX, tb_area_rect(a, TB_AREA_HKNOB), ob->bw);
  draw_box_rect(a->vknob_drag ? FL_DOWN_BOX : FL_UP_BOX, tb_area_rect(a, TB_AREA_VKNOB), ob->bw);
}

void draw_text_area(FL_OBJECT *ob, TABBOX *a) {
  int x = ob->x, y = ob->y, w = ob->w, h = ob->h, bw = a->bw, ch = a->char_height;
  const int B = TABBOX_BUTTON;
  fl_rectf(x + bw, y + bw + 1, w - 2 * bw - B, ch - 1, ob->col1);
  std::string title = visible_part(a->title, a->left_col, a->screen_cols);
  if (!title.empty())
    fl_drw_text(FL_ALIGN_LEFT_TOP, x, y, w, h, FL_BLACK, a->title_fontstyle, a->fontsize,
                title.c_str());
  int area_h = h - ch - 4 * bw - B;
  fl_rectf(x + bw, y + ch + 3 * bw, w - 2 * bw - B, area_h, ob->col1);
  fl_set_clipping(x + bw, y + ch + 3 * bw, w - 2 * bw - B, area_h);
  int py = y + ch + 2 * bw;
  for (int d = a->topline, shown = 0; d < a->line_count && shown < a->screen_lines;
       d++, shown++, py += ch) {
    int s = a->row_order[d];
    if (a->selected[s]) fl_rectf(x + bw, py + bw, w - 2 * bw - B, ch, FL_YELLOW);
    std::string text = visible_part(a->lines[s], a->left_col, a->screen_cols);
    if (!text.empty())
      fl_drw_text(FL_ALIGN_LEFT_TOP, x, py, w - 2 * bw - B, area_h, FL_BLACK, a->fontstyle,
                  a->fontsize, text.c_str());
  }
  fl_unset_clipping();
}

void draw_button(FL_OBJECT *ob, TABBOX *a, int area, bool held, const char *label) {
  TB_RECT r = tb_area_rect(a, area);
  draw_box_rect(held ? FL_DOWN_BOX : FL_UP_BOX, r, ob->bw);
  fl_drw_text(FL_ALIGN_CENTER, r.x, r.y, r.w, r.h, FL_BLACK, a->title_fontstyle, a->fontsize,
              label);
}

void draw_tabbox(FL_OBJECT *ob, TABBOX *main) {
  if (ob->form) fl_freeze_form(ob->form);
  TABBOX *a = tb_prepare_draw(main);
  if (a->partial_draw) {
    a->partial_draw = 0;
    draw_sliders(ob, a);
    draw_text_area(ob, a);
  } else {
    draw_box_rect(FL_UP_BOX, tb_area_rect(a, TB_AREA_TITLE), ob->bw);
    draw_box_rect(FL_DOWN_BOX, tb_area_rect(a, TB_AREA_TEXT), ob->bw);
    draw_button(ob, a, TB_AREA_LEFT, a->left_pressed, "@<");
    draw_button(ob, a, TB_AREA_RIGHT, a->right_pressed, "@>");
    draw_button(ob, a, TB_AREA_UP, a->up_pressed, "@2<");
    draw_button(ob, a, TB_AREA_DOWN, a->down_pressed, "@2>");
    draw_button(ob, a, TB_AREA_INFO, a->info_pressed, "I");
    draw_sliders(ob, a);
    draw_text_area(ob, a);
  }
  if (ob->form) fl_unfreeze_form(ob->form);
}

// Selection functions act only on tabboxes that keep a selection.
bool selectable(const TABBOX *rec) { return rec->type != 0 || rec->vert; }

char *vert_text(FL_OBJECT *ob, int n, bool value, const char *fname) {
  TABBOX *rec = record_of(ob, fname);
  if (!rec || !rec->vert || rec->type != 0 || !rec->vert_record) return nullptr;
  TABBOX *v = tb_prepare_draw(rec);
  int index;
  if (n == 0) {
    int pos = tb_first_selected_pos(v);
    if (pos < 0) return nullptr;
    index = v->row_order[pos];
  } else {
    if (n < 1 || n > v->line_count) return nullptr;
    index = n - 1;
  }
  const std::string &line = v->full_lines[index];
  return mystrdup((value ? tb_vert_value_of(line) : tb_vert_attr_of(line)).c_str());
}

}  // namespace

namespace {

// The input layer's event for an XForms event, or -1 for events it ignores.
int input_event(int event) {
  switch (event) {
    case FL_PUSH: return TB_EV_PUSH;
    case FL_RELEASE: return TB_EV_RELEASE;
    case FL_UPDATE: return TB_EV_MOUSE;
    case FL_MOTION: return TB_EV_MOTION;
    case FL_DBLCLICK: return TB_EV_DBLCLICK;
    case FL_KEYPRESS: return TB_EV_KEY;
    default: return -1;
  }
}

}  // namespace

int handle_tabbox(FL_OBJECT *ob, int event, FL_Coord mx, FL_Coord my, int key, void *) {
  if (!is_tabbox(ob)) return 0;
  TABBOX *main = record_of(ob, nullptr);
  if (event == FL_DRAW) {
    draw_tabbox(ob, main);
  } else if (event == FL_FREEMEM) {
    tb_free(main);
    ob->spec = nullptr;
  } else if (int ev = input_event(event); ev >= 0) {
    XHost host(ob);
    tb_handle(main, host, ev, mx, my, key);
  }
  return 0;
}

FL_OBJECT *fl_create_tabbox(int type, FL_Coord x, FL_Coord y, FL_Coord w, FL_Coord h,
                            const char *label) {
  FL_OBJECT *ob = fl_make_object(TABBOX_CLASS, type, x, y, w, h, label, handle_tabbox);
  ob->col1 = FL_COL1;
  ob->col2 = FL_BLACK;
  ob->input = 1;
  ob->wantkey = FL_KEY_ALL;
  // Periodic FL_UPDATE events while a button is held drive the
  // auto-repeat of the arrow buttons and tracks.
  ob->want_update = 1;
  TABBOX *rec = tb_new(ob, type, x, y, w, h, std::abs(ob->bw));
  compute_metrics(rec);
  ob->spec = rec;
  return ob;
}

FL_OBJECT *fl_add_tabbox(int type, FL_Coord x, FL_Coord y, FL_Coord w, FL_Coord h,
                         const char *label) {
  FL_OBJECT *ob = fl_create_tabbox(type, x, y, w, h, label);
  FL_FORM *form = fl_current_form;
  fl_add_object(form, ob);
  static_cast<TABBOX *>(ob->spec)->form = form;
  return ob;
}

TABBOX *fl_get_tabbox_record(FL_OBJECT *ob) { return record_of(ob, nullptr); }

int fl_set_tabbox_title(FL_OBJECT *ob, const char *text) {
  TABBOX *rec = record_of(ob, "fl_set_tabbox_title");
  if (!rec) return 0;
  tb_set_title(rec, text);
  if (rec->sort_cols.size() < static_cast<size_t>(rec->col_count)) {
    rec->sort_cols.resize(rec->col_count, 0);
    rec->sort_dirs.resize(rec->col_count, 1);
  }
  tbhook_init_tbsort(ob);
  redraw(ob);
  return 1;
}

int fl_add_tabbox_line(FL_OBJECT *ob, const char *text) {
  TABBOX *rec = record_of(ob, "fl_add_tabbox_line");
  if (!rec) return 0;
  tb_add_line(rec, text);
  redraw(ob);
  return 1;
}

int fl_replace_tabbox_line(FL_OBJECT *ob, int n, const char *text) {
  TABBOX *rec = record_of(ob, "fl_replace_tabbox_line");
  if (!rec || !tb_replace_line(rec, n, text)) return 0;
  redraw(ob);
  return 1;
}

int fl_delete_tabbox_line(FL_OBJECT *ob, int m) {
  TABBOX *rec = record_of(ob, "fl_delete_tabbox_line");
  if (!rec || !tb_delete_line(rec, m)) return 0;
  redraw(ob);
  return 1;
}

int fl_clear_tabbox(FL_OBJECT *ob) {
  TABBOX *rec = record_of(ob, "fl_clear_tabbox");
  if (!rec) return 0;
  tb_clear(rec);
  redraw(ob);
  return 1;
}

const char *fl_get_tabbox_full_title(FL_OBJECT *ob) {
  TABBOX *rec = record_of(ob, "fl_get_tabbox_full_title");
  return rec ? rec->full_title.c_str() : nullptr;
}

static const char *get_line(FL_OBJECT *ob, int n, bool full) {
  TABBOX *rec = record_of(ob, "fl_get_tabbox_line");
  if (!rec) return nullptr;
  tb_ensure_built(rec);
  // Both getters report a bad number under the name of fl_get_tabbox_line.
  if (!tb_check_line(rec, n, "fl_get_tabbox_line")) return nullptr;
  int s = rec->row_order[n - 1];
  return full ? rec->full_lines[s].c_str() : rec->lines[s].c_str();
}

const char *fl_get_tabbox_line(FL_OBJECT *ob, int n) { return get_line(ob, n, false); }
const char *fl_get_tabbox_full_line(FL_OBJECT *ob, int n) { return get_line(ob, n, true); }

int fl_get_tabbox_maxline(FL_OBJECT *ob) {
  TABBOX *rec = record_of(ob, "fl_get_tabbox_maxline");
  return rec ? rec->line_count : -1;
}

int fl_get_tabbox_screenlines(FL_OBJECT *ob) {
  TABBOX *rec = record_of(ob, "fl_get_tabbox_screenlines");
  return rec ? rec->screen_lines : -1;
}

int fl_get_tabbox_topline(FL_OBJECT *ob) {
  TABBOX *rec = record_of(ob, "fl_get_tabbox_topline");
  return rec ? rec->topline + 1 : -1;
}

int fl_set_tabbox_topline(FL_OBJECT *ob, int n) {
  TABBOX *rec = record_of(ob, "fl_set_tabbox_topline");
  if (!rec) return 0;
  if (n < 1 || n - 1 > rec->line_count) {
    Log_Msg("fl_set_tabbox_topline: Index out of range\n");
    return 0;
  }
  rec->topline = n - 1;
  redraw(ob);
  return 1;
}

int fl_select_tabbox_line(FL_OBJECT *ob, int n) {
  TABBOX *rec = record_of(ob, "fl_select_tabbox_line");
  if (!rec) return 0;
  if (!selectable(rec)) return 0;
  if (n < 1) {
    Log_Msg("fl_select_tabbox_line: Index %d is not valid\n", n);
    return 0;
  }
  TABBOX *a = tb_active(rec);
  if (n > a->line_count + 1) return 0;
  tb_select_line(a, n);
  redraw(ob);
  return 1;
}

int fl_deselect_tabbox_line(FL_OBJECT *ob, int n) {
  // Reported under fl_clear_tabbox's name, as designed.
  TABBOX *rec = record_of(ob, "fl_clear_tabbox");
  if (!rec || !selectable(rec)) return 0;
  if (!tb_check_line(rec, n, "fl_deselect_tabbox_line")) return 0;
  rec->selected[n - 1] = 0;
  redraw(ob);
  return 1;
}

int fl_deselect_tabbox(FL_OBJECT *ob) {
  // Reported under fl_clear_tabbox's name, as designed.
  TABBOX *rec = record_of(ob, "fl_clear_tabbox");
  if (!rec || !selectable(rec)) return 0;
  tb_clear_selection(rec);
  redraw(ob);
  return 1;
}

int fl_isselected_tabbox_line(FL_OBJECT *ob, int n) {
  TABBOX *rec = record_of(ob, "fl_isselected_tabbox_line");
  if (!rec || !selectable(rec)) return 0;
  if (!tb_check_line(rec, n, "fl_isselected_tabbox_line")) return 0;
  return rec->selected[n - 1] ? 1 : 0;
}

int fl_get_tabbox(FL_OBJECT *ob) {
  TABBOX *rec = record_of(ob, "fl_get_tabbox");
  return rec ? tb_first_selected(rec) : 0;
}

int fl_get_tabbox_selectcount(FL_OBJECT *ob) {
  TABBOX *rec = record_of(ob, "fl_get_tabbox_selectcount");
  return rec ? tb_select_count(rec) : -1;
}

int fl_set_tabbox_sort(FL_OBJECT *ob, int n, const int *columns, const int *directions) {
  TABBOX *rec = record_of(ob, "fl_set_tabbox_sort");
  if (!rec) return 0;
  if (n < 0 || (n > 0 && (!columns || !directions))) n = 0;
  // The arrays may be the record's own (from fl_get_tabbox_properties).
  std::vector<int> cols(columns, columns + n), dirs(directions, directions + n);
  size_t keep = std::max(static_cast<size_t>(n), static_cast<size_t>(rec->col_count));
  cols.resize(keep, 0);
  dirs.resize(keep, 1);
  rec->sort_cols.swap(cols);
  rec->sort_dirs.swap(dirs);
  rec->sort_count = n;
  rec->rebuild = 1;
  return 1;
}

int fl_set_tabbox_maxwidth(FL_OBJECT *ob, int width) {
  TABBOX *rec = record_of(ob, "fl_set_tabbox_maxwidth");
  if (!rec) return 0;
  rec->maxwidth = width;
  rec->rebuild = 1;
  return 1;
}

int fl_set_tabbox_comma(FL_OBJECT *ob, int decimals) {
  TABBOX *rec = record_of(ob, "fl_set_tabbox_comma");
  if (!rec) return 0;
  rec->comma = decimals;
  rec->rebuild = 1;
  return 1;
}

int fl_get_tabbox_comma(FL_OBJECT *ob) {
  TABBOX *rec = record_of(ob, "fl_get_tabbox_comma");
  return rec ? rec->comma : -1;
}

int fl_get_tabbox_properties(FL_OBJECT *ob, int *col_count, int **col_pos, int **col_order,
                             int **col_visible, int *sort_count, int **sort_cols, int **sort_dirs,
                             int *maxwidth, int **col_maxwidth) {
  TABBOX *rec = record_of(ob, "fl_get_tabbox_properties");
  if (!rec) return 0;
  tb_ensure_built(rec);
  // The caller may change the arrays; the next draw shows the result.
  rec->rebuild = 1;
  if (col_count) *col_count = rec->col_count;
  if (col_pos) *col_pos = rec->col_pos.data();
  if (col_order) *col_order = rec->col_order.data();
  if (col_visible) *col_visible = rec->col_visible.data();
  if (sort_count) *sort_count = rec->sort_count;
  if (sort_cols) *sort_cols = rec->sort_cols.data();
  if (sort_dirs) *sort_dirs = rec->sort_dirs.data();
  if (maxwidth) *maxwidth = rec->maxwidth;
  if (col_maxwidth) *col_maxwidth = rec->col_maxwidth.data();
  return 1;
}

int fl_set_tabbox_dblclick_callback(FL_OBJECT *ob, TABBOX_CALLBACK callback, long arg) {
  // Reported under fl_clear_tabbox's name, as designed.
  TABBOX *rec = record_of(ob, "fl_clear_tabbox");
  if (!rec) return 0;
  rec->dblclick_callback = callback;
  rec->dblclick_arg = arg;
  ob->click_timeout = 400;
  return 1;
}

int fl_call_tabbox_dblclick_callback(FL_OBJECT *ob) {
  TABBOX *rec = record_of(ob, "fl_call_tabbox_dblclick_callback");
  if (!rec) return 0;
  tb_call_dblclick(rec);
  return 1;
}

int fl_set_tabbox_vert(FL_OBJECT *ob) {
  TABBOX *rec = record_of(ob, "fl_set_tabbox_vert");
  if (!rec || rec->type != 0 || rec->vert) return 0;
  tb_make_vertical(rec);
  rec->vert = 1;
  rec->rebuild = 1;
  tbhook_init_tbsort(ob);
  redraw(ob);
  return 1;
}

int fl_set_tabbox_hor(FL_OBJECT *ob) {
  TABBOX *rec = record_of(ob, nullptr);
  if (!rec || !rec->vert) return 0;
  rec->vert = 0;
  rec->rebuild = 1;
  tbhook_init_tbsort(ob);
  redraw(ob);
  return 1;
}

int fl_get_tabbox_vert(FL_OBJECT *ob) {
  TABBOX *rec = record_of(ob, nullptr);
  return rec ? rec->vert : 0;
}

char *fl_get_tabbox_vert_attr(FL_OBJECT *ob) {
  return vert_text(ob, 0, false, "fl_get_tabbox_vert_attr");
}

char *fl_get_tabbox_vert_value(FL_OBJECT *ob) {
  // The value getters report under the attribute getters' names, as designed.
  return vert_text(ob, 0, true, "fl_get_tabbox_vert_attr");
}

char *fl_get_tabbox_vert_attr_line(FL_OBJECT *ob, int n) {
  if (n < 1) {
    record_of(ob, "fl_get_tabbox_vert_attr_line");
    return nullptr;
  }
  return vert_text(ob, n, false, "fl_get_tabbox_vert_attr_line");
}

char *fl_get_tabbox_vert_value_line(FL_OBJECT *ob, int n) {
  if (n < 1) {
    record_of(ob, "fl_get_tabbox_vert_attr_line");
    return nullptr;
  }
  return vert_text(ob, n, true, "fl_get_tabbox_vert_attr_line");
}

int fl_tabbox_left(FL_OBJECT *ob) {
  // Reported under fl_tabbox_leftmost's name, as designed.
  TABBOX *rec = record_of(ob, "fl_tabbox_leftmost");
  if (!rec) return 0;
  XHost host(ob);
  tb_horizontal(rec, host, -1);
  return 1;
}

int fl_tabbox_right(FL_OBJECT *ob) {
  // Reported under fl_tabbox_rightmost's name, as designed.
  TABBOX *rec = record_of(ob, "fl_tabbox_rightmost");
  if (!rec) return 0;
  XHost host(ob);
  tb_horizontal(rec, host, 1);
  return 1;
}

int fl_tabbox_leftmost(FL_OBJECT *ob) {
  TABBOX *rec = record_of(ob, "fl_tabbox_leftmost");
  if (!rec) return 0;
  XHost host(ob);
  tb_leftmost(rec, host);
  return 1;
}

int fl_tabbox_rightmost(FL_OBJECT *ob) {
  TABBOX *rec = record_of(ob, "fl_tabbox_rightmost");
  if (!rec) return 0;
  XHost host(ob);
  tb_ensure_built(tb_active(rec));
  tb_rightmost(rec, host);
  return 1;
}

static int vertical_move(FL_OBJECT *ob, const char *fname, int dir, bool page) {
  TABBOX *rec = record_of(ob, fname);
  if (!rec) return 0;
  XHost host(ob);
  tb_move(rec, host, dir, page);
  return 1;
}

int fl_tabbox_up(FL_OBJECT *ob) { return vertical_move(ob, "fl_tabbox_up", -1, false); }
int fl_tabbox_down(FL_OBJECT *ob) { return vertical_move(ob, "fl_tabbox_down", 1, false); }
int fl_tabbox_pgup(FL_OBJECT *ob) { return vertical_move(ob, "fl_tabbox_pgup", -1, true); }
int fl_tabbox_pgdown(FL_OBJECT *ob) { return vertical_move(ob, "fl_tabbox_pgdown", 1, true); }

void fl_set_tabbox_view(FL_OBJECT *ob, int flag) {
  if (TABBOX *rec = record_of(ob, nullptr)) rec->view = flag;
}

void fl_disable_tabbox_ini_data_for_next_load(FL_OBJECT *ob) {
  if (TABBOX *rec = record_of(ob, nullptr)) rec->ini_data = 0;
}

void fl_enable_tabbox_ini_data(FL_OBJECT *ob) {
  if (TABBOX *rec = record_of(ob, nullptr)) rec->ini_data = 1;
}

int fl_enabled_tabbox_ini_data(FL_OBJECT *ob) {
  TABBOX *rec = record_of(ob, nullptr);
  return rec ? rec->ini_data : 0;
}
