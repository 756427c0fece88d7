// The tabbox record and everything the tabbox does to its content without
// touching X: storing the title and lines, growing, the selection flags,
// the column layout cut from the title's "|" positions, the display forms
// (column order, hidden columns, width limits, "~" marks), the row order
// from the sort keys, and the transposed table of the vertical view.
// mytabs.cpp puts the XForms object on top; tabbox_input.h holds geometry,
// scrolling and event handling.
#ifndef WIDGETS_TABBOX_MODEL_H
#define WIDGETS_TABBOX_MODEL_H

#include <string>
#include <vector>

typedef struct FL_FORM_ FL_FORM;
typedef struct FL_OBJECT_ FL_OBJECT;

typedef void (*TABBOX_CALLBACK)(FL_OBJECT *, long);

enum {
  TABBOX_CLASS = 1001,      // FL_USER_CLASS_START
  TABBOX_LINE_STEP = 50,    // line_alloc at creation and its growth step
  TABBOX_LINE_SIZE = 250,   // line_size at creation
  TABBOX_SIZE_STEP = 500,   // growth of line_size
  TABBOX_FIELD_MAX = 9999,  // longest field a sort key compares
  TABBOX_BUTTON = 18        // size of the buttons and slider thickness
};

// One tabbox record.  The main record lives from the object's creation to
// FL_FREEMEM; the vertical record (same layout) is made on the first switch
// to the vertical view and is owned by the main record.
//
// Lines are kept as strings of their own length: `line_size` follows the
// growth rules of the buffers it describes, but no line is padded to it.
// The five column arrays have `col_count` entries, the line arrays
// (`lines`, `full_lines`, `selected`, `row_order`) `line_alloc` entries.
struct TABBOX {
  FL_FORM *form = nullptr;
  FL_OBJECT *object = nullptr;
  std::string title;
  std::string full_title;
  std::vector<std::string> lines;
  std::vector<std::string> full_lines;
  std::vector<unsigned char> selected;
  int rebuild = 0;
  std::vector<int> col_pos;
  std::vector<int> col_width;
  std::vector<int> col_visible;
  std::vector<int> col_order;
  std::vector<int> col_maxwidth;
  std::vector<int> row_order;
  std::vector<int> sort_cols;
  std::vector<int> sort_dirs;
  int sort_count = 0;
  int line_alloc = TABBOX_LINE_STEP;
  int col_count = 0;
  int line_size = TABBOX_LINE_SIZE;
  int maxwidth = -1;
  int char_height = 0, char_width = 0;
  int screen_cols = 0, screen_lines = 0;
  int xmax = 0;
  int line_count = 0;
  int left_col = 0;
  int topline = 0;
  int fontsize = 12;        // FL_NORMAL_SIZE
  int fontstyle = 4;        // FL_FIXED_STYLE
  int title_fontstyle = 5;  // FL_FIXEDBOLD_STYLE
  unsigned char info_pressed = 0, up_pressed = 0, down_pressed = 0, left_pressed = 0,
                right_pressed = 0;
  unsigned char col_drag = 0;
  unsigned char up_first = 0, down_first = 0, left_first = 0, right_first = 0, vtrack_first = 0,
                htrack_first = 0;
  unsigned char hknob_drag = 0, vknob_drag = 0;
  int hslider_len = 0, vslider_len = 0;
  int htrack_count = 0, vtrack_count = 0, up_count = 0, down_count = 0, left_count = 0,
      right_count = 0;
  int drag_x = 0, drag_y = 0;
  int drag_last_left = 0, drag_last_top = 0;
  int drag_start_left = 0, drag_start_top = 0;
  int drag_bar_pos = 0;
  unsigned char partial_draw = 0;
  TABBOX_CALLBACK dblclick_callback = nullptr;
  long dblclick_arg = 0;
  TABBOX_CALLBACK info_callback = nullptr;
  long info_arg = 0;
  std::string key2_menu;
  TABBOX_CALLBACK key2_callback = nullptr;
  int vert = 0;
  TABBOX *vert_record = nullptr;
  int view = 1;
  int comma = -1;
  int ini_data = 1;

  // Copies of the object's type and rectangle, refreshed by the XForms
  // layer before every operation so that the logic here needs no X.
  int type = 0;
  int x = 0, y = 0, w = 0, h = 0, bw = 0;
  // Paging direction of a held slider track: -1 back, 1 forward.
  int htrack_dir = 0, vtrack_dir = 0;
  // 1 in the vertical record of a tabbox.
  int is_vert_record = 0;
};

// A new main record with the initial values; the caller owns it and
// releases it with tb_free.
TABBOX *tb_new(FL_OBJECT *object, int type, int x, int y, int w, int h, int bw);
// Releases a main record together with its vertical record.
void tb_free(TABBOX *rec);

// Sets the character size and derives screen_cols and screen_lines from
// the record's rectangle.
void tb_set_metrics(TABBOX *rec, int char_width, int char_height);

// The record the handler and the active-record functions work on: the
// vertical record while the vertical view is shown, else rec.
TABBOX *tb_active(TABBOX *rec);
// The main record of rec (itself unless rec is a vertical record).
TABBOX *tb_main(TABBOX *rec);
bool tb_is_vertical_record(const TABBOX *rec);

// Growth rules: tb_grow_lines adds 50 lines to every line array;
// tb_fit_line_size raises line_size until a text of length n fits.
void tb_grow_lines(TABBOX *rec);
void tb_fit_line_size(TABBOX *rec, size_t n);

// Content.  Each sets rebuild; none redraws.  n is a stored line number
// (1-based).  The range checks and their messages are those of the public
// functions named in the messages; the results are 1 done, 0 refused.
void tb_set_title(TABBOX *rec, const char *text);
void tb_add_line(TABBOX *rec, const char *text);
int tb_replace_line(TABBOX *rec, int n, const char *text);
int tb_delete_line(TABBOX *rec, int m);
void tb_clear(TABBOX *rec);

// 1 when 1 <= n <= line_count; n = line_count + 1 answers 0 silently,
// anything else answers 0 after "<fname>: Index out of range\n".
int tb_check_line(const TABBOX *rec, int n, const char *fname);

// Selection on rec itself (callers pick the active record).  tb_select_line
// follows fl_select_tabbox_line: clears the others unless rec's tabbox is
// of type 3, sets stored line n, brings the first selected line into view.
void tb_select_line(TABBOX *rec, int n);
void tb_clear_selection(TABBOX *rec);
int tb_select_count(const TABBOX *rec);
// First selected stored line (1-based), 0 if none.
int tb_first_selected(const TABBOX *rec);
// 0-based display position of the first selected line in display order,
// -1 if none.
int tb_first_selected_pos(const TABBOX *rec);
// Selection flag of the line at 0-based display position d.
bool tb_pos_selected(const TABBOX *rec, int d);
void tb_set_pos_selected(TABBOX *rec, int d, bool on);

// Rebuild: column layout, display title, row order, display lines, xmax;
// clears rebuild.  tb_ensure_built rebuilds only when rebuild is set.
void tb_layout_columns(TABBOX *rec);
void tb_rebuild(TABBOX *rec);
void tb_ensure_built(TABBOX *rec);

// The display form of a stored line or of the title under rec's column
// layout, order, visibility and width limits.
std::string tb_display_form(const TABBOX *rec, const std::string &line);

// The raw field of column c (1-based) of a line: start and length after
// the leading "| " is skipped; length 0 when the line or layout has none.
void tb_field_span(const TABBOX *rec, const std::string &line, int c, size_t *start, size_t *len);

// The sort comparison of two fields: numeric when both are numbers, else
// mystrcmp.  -1, 0, 1.
bool tb_is_number(const char *text);
int tb_compare_fields(const char *a, const char *b);
// The sort key text of column c of a line: the field without surrounding
// "|" and blanks, at most 9999 characters.
std::string tb_sort_field(const TABBOX *rec, const std::string &line, int c);
// Row order from the sort keys (stable; equal lines keep stored order).
void tb_sort_rows(TABBOX *rec);

// The vertical view: makes the vertical record if needed and refills it
// from the main record (title, one line per column in display order).
TABBOX *tb_make_vertical(TABBOX *main);
void tb_build_vertical(TABBOX *main);

// Everything a draw does before painting: rebuilds the main record if
// needed, refills the vertical table while the vertical view is shown
// (keeping its selected position), rebuilds the active record.  Returns
// the record to paint.
TABBOX *tb_prepare_draw(TABBOX *main);

// Attribute or value of a vertical-table line: the text before the first
// "|" / from two characters after it to the next "|" or the end, trailing
// blanks removed.
std::string tb_vert_attr_of(const std::string &line);
std::string tb_vert_value_of(const std::string &line);

// The column number shown as the k-th written column of the display title
// (hidden columns and -1 entries skipped); 0 if there is none.
int tb_shown_column(const TABBOX *rec, int k);

// The double-click callback by its rules (vertical view: the main record's
// callback and argument; type 4: 1 with Shift held, else 0; type 0: none;
// other types: the registered argument).  Returns 1 if it was called.
int tb_call_dblclick(TABBOX *rec);

#endif
