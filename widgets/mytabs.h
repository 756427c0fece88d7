// The tabbox: the system's table widget as an XForms object of class 1001.
// It shows a title row and rows of text columns cut at the title's "|"
// positions, scrolls with its own buttons and sliders, keeps a selection
// (browser types 0-4), sorts, hides, reorders and narrows columns and can
// show its content transposed (the vertical view).  This file is the thin
// XForms layer: object creation, the handler, the drawing and the public
// fl_*_tabbox* functions; the logic lives in tabbox_model.h and
// tabbox_input.h, the links to the form framework in tabbox_hooks.h.
//
// Every function checks that the object is a tabbox; on a null object or
// one of another class it logs "<function>: Bad argument or wrong type\n"
// and returns its failure value (-1 for counts and the topline, null for
// texts, 0 otherwise).  Line numbers are 1-based.  Texts returned as const
// belong to the tabbox and stay valid until its content changes.
#ifndef WIDGETS_MYTABS_H
#define WIDGETS_MYTABS_H

#include <forms.h>

#include "widgets/tabbox_model.h"

// A new tabbox (type = selection mode, the browser type numbers 0-4).
// fl_add_tabbox also adds it to the current form.  The object owns its
// record; XForms releases both with the form.
FL_OBJECT *fl_create_tabbox(int type, FL_Coord x, FL_Coord y, FL_Coord w, FL_Coord h,
                            const char *label);
FL_OBJECT *fl_add_tabbox(int type, FL_Coord x, FL_Coord y, FL_Coord w, FL_Coord h,
                         const char *label);

// The handler XForms calls for every event of a tabbox; always 0.
int handle_tabbox(FL_OBJECT *ob, int event, FL_Coord mx, FL_Coord my, int key, void *xev);

// Content.  1 done, 0 refused.
int fl_set_tabbox_title(FL_OBJECT *ob, const char *text);
int fl_add_tabbox_line(FL_OBJECT *ob, const char *text);
int fl_replace_tabbox_line(FL_OBJECT *ob, int n, const char *text);
// Drops one line: the stored lines and selection flags from 0-based index m
// on move up one place and the line count shrinks by one (deleting the last
// line with m > 3 selects the new last line).  The binding passes its row
// number + 2 and rewrites every line afterwards, so in effect only the count
// and the selection flags change.  Refused (0) when m - 2 > line count.
int fl_delete_tabbox_line(FL_OBJECT *ob, int m);
int fl_clear_tabbox(FL_OBJECT *ob);

const char *fl_get_tabbox_full_title(FL_OBJECT *ob);
// The display line / the stored line shown at display position n.
const char *fl_get_tabbox_line(FL_OBJECT *ob, int n);
const char *fl_get_tabbox_full_line(FL_OBJECT *ob, int n);
int fl_get_tabbox_maxline(FL_OBJECT *ob);
int fl_get_tabbox_screenlines(FL_OBJECT *ob);
int fl_get_tabbox_topline(FL_OBJECT *ob);
int fl_set_tabbox_topline(FL_OBJECT *ob, int n);

// Selection by stored line number.
int fl_select_tabbox_line(FL_OBJECT *ob, int n);
int fl_deselect_tabbox_line(FL_OBJECT *ob, int n);
int fl_deselect_tabbox(FL_OBJECT *ob);
int fl_isselected_tabbox_line(FL_OBJECT *ob, int n);
// First selected stored line, 0 if none.
int fl_get_tabbox(FL_OBJECT *ob);
int fl_get_tabbox_selectcount(FL_OBJECT *ob);

// Sort keys: n columns with directions (non-zero ascending); copied.
int fl_set_tabbox_sort(FL_OBJECT *ob, int n, const int *columns, const int *directions);
int fl_set_tabbox_maxwidth(FL_OBJECT *ob, int width);
int fl_set_tabbox_comma(FL_OBJECT *ob, int decimals);
int fl_get_tabbox_comma(FL_OBJECT *ob);
// Counts and pointers to the live column and sort arrays; callers may
// change the arrays in place, then set the sort or redraw.  The sort arrays
// hold at least col_count entries.
int fl_get_tabbox_properties(FL_OBJECT *ob, int *col_count, int **col_pos, int **col_order,
                             int **col_visible, int *sort_count, int **sort_cols, int **sort_dirs,
                             int *maxwidth, int **col_maxwidth);

int fl_set_tabbox_dblclick_callback(FL_OBJECT *ob, TABBOX_CALLBACK callback, long arg);
int fl_call_tabbox_dblclick_callback(FL_OBJECT *ob);

// The vertical view (type 0 only).
int fl_set_tabbox_vert(FL_OBJECT *ob);
int fl_set_tabbox_hor(FL_OBJECT *ob);
int fl_get_tabbox_vert(FL_OBJECT *ob);
// Attribute / value of the selected line, or of stored line n, of the
// vertical table; a new text the caller releases with myfree, or null.
char *fl_get_tabbox_vert_attr(FL_OBJECT *ob);
char *fl_get_tabbox_vert_value(FL_OBJECT *ob);
char *fl_get_tabbox_vert_attr_line(FL_OBJECT *ob, int n);
char *fl_get_tabbox_vert_value_line(FL_OBJECT *ob, int n);

// Scrolling and selection movement of the active record.
int fl_tabbox_left(FL_OBJECT *ob);
int fl_tabbox_right(FL_OBJECT *ob);
int fl_tabbox_leftmost(FL_OBJECT *ob);
int fl_tabbox_rightmost(FL_OBJECT *ob);
int fl_tabbox_up(FL_OBJECT *ob);
int fl_tabbox_down(FL_OBJECT *ob);
int fl_tabbox_pgup(FL_OBJECT *ob);
int fl_tabbox_pgdown(FL_OBJECT *ob);

void fl_set_tabbox_view(FL_OBJECT *ob, int flag);
void fl_disable_tabbox_ini_data_for_next_load(FL_OBJECT *ob);
void fl_enable_tabbox_ini_data(FL_OBJECT *ob);
int fl_enabled_tabbox_ini_data(FL_OBJECT *ob);

// The record of a tabbox object (null for anything else); for the binding
// and the tests.
TABBOX *fl_get_tabbox_record(FL_OBJECT *ob);

#endif
