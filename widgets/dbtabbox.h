// The database tabbox binding: the layer between typed row records and a
// tabbox (mytabs.h).  A form registers a tabbox under a name with its
// record callbacks; from then on it hands the binding records, one or an
// array of them, and the binding turns each into a row of field texts
// (through the Data callback), keeps the rows with copies of their
// records, lays them out into equally wide columns and writes the title
// and the lines into the tabbox.  It answers which record belongs to the
// selected line, adds, replaces, deletes and moves rows (keeping the
// record states and the list of deleted records), reloads the rows when
// their display changes, and keeps the width entries of the tabbox's
// stored settings line in the ini file.  The X-free part is in
// dbtabbox_rows.h.
//
// Every operation on a tabbox that is not registered logs "(<operation>)
// Tabbox not defined\n" and ends the process (Msglog_Exit(1)), as do the
// other misuses named below.  Row records are self-sized (dbtabbox_rows.h:
// size, state, table number first); the binding copies what it is given.
#ifndef WIDGETS_DBTABBOX_H
#define WIDGETS_DBTABBOX_H

#include <forms.h>

#include <vector>

#include "base/containers.h"
#include "widgets/dbtabbox_rows.h"
#include "widgets/tabbox_model.h"

struct BESREC;  // the session record of the form framework

// Record callbacks.
// Attribs: the column names separated by ","; flag 1 asks for the database
// names, 0 for the display names.  The text stays the callee's.
typedef const char *(*TB_ATTRIBS)(int dbnames);
// New: a fresh empty record of the bound type (mymalloc; released by the
// caller with myfree).
typedef void *(*TB_NEW)(void);
// Data: the row text of a record (fields separated by ",", dbtabbox_rows.h
// for quoting); a new text (mymalloc) that the binding releases.
typedef char *(*TB_DATA)(BESREC *session, void *record, int dbnames);
// The Data callback of the sort dialog's lists: the record alone.
typedef char *(*TB_DATA1)(void *record);
// Show: non-zero if the column is shown.
typedef int (*TB_SHOW)(const char *column);
// Equal: non-zero if two records stand for the same entry.
typedef int (*TB_EQUAL)(const void *a, const void *b);
// Update: a row loaded from the database is replaced by a new record.
typedef void (*TB_UPDATE)(void *new_record, void *old_record);

// The binding record of one registered tabbox.
struct DBTABBOX {
  FL_FORM *form;
  FL_OBJECT *object;
  TABBOX_CALLBACK dblclick;
  TB_EQUAL Equal;
  TB_ATTRIBS Attribs;
  TB_NEW New;
  TB_UPDATE Update;
  TB_SHOW Show;
  std::vector<int> shown;  // per column: 1 = written into the lines
  int col_count;
  int line_count;               // lines written by the last draw
  int db;                       // 1 for a database tabbox (bound with New)
  TBROW title;                  // the title row (column names)
  std::vector<TBROW> rows;      // one per record, in load order
  std::vector<void *> deleted;  // deleted loaded records (state 50), newest first; owned
  char *name;                   // own copy, or null
  int kz_dbnames;               // 1: columns named and filled with database names
  int sort;                     // 1: the user may sort the tabbox
  TB_DATA Data;                 // the row-text callback of the last load (or null)
  TB_DATA1 Data1;               // the same for loads of the sort dialog's lists
  BESREC *session;              // the session of the last load, handed to Data on reloads
  int drawing;                  // 1 while myfl_draw_tabbox runs
};

// The registry of bindings: tabbox object -> DBTABBOX (ltinit by FE_Init).
extern LTREE Tabbox;

// The Show callback that shows every column: always 1.
int dbshow_all(const char *column);

// Registration.  The title row comes from Attribs(0) (more than 500 names:
// "(init_tabbox) Too many columns (max = %d)\n", end of the process); a
// second registration of the object ends the process with "(init_tabbox)
// Tabbox already defined\n".  The tabbox is cleared, gets the double-click
// callback (or one that does nothing), and a named tabbox gets its stored
// settings applied when its title is set; the object is recorded for the
// manual.  The db variants make a database tabbox (loads allowed); the
// no_ini variant deletes the stored settings line instead of applying it
// when the title is first set.
void myfl_init_tabbox(FL_FORM *form, FL_OBJECT *tabbox, const char *name, TB_ATTRIBS attribs,
                      TB_EQUAL equal, TB_SHOW show, TABBOX_CALLBACK dblclick);
void myfl_init_db_tabbox(FL_FORM *form, FL_OBJECT *tabbox, const char *name, TB_ATTRIBS attribs,
                         TB_NEW make, TB_EQUAL equal, TB_UPDATE update, TB_SHOW show,
                         TABBOX_CALLBACK dblclick);
void myfl_init_db_tabbox_no_ini(FL_FORM *form, FL_OBJECT *tabbox, const char *name,
                                TB_ATTRIBS attribs, TB_NEW make, TB_EQUAL equal, TB_UPDATE update,
                                TB_SHOW show, TABBOX_CALLBACK dblclick);

// Loads: all rows replaced by one row per record (copied; state 77777),
// then drawn.  A tabbox that is not a database tabbox ends the process
// ("(myfl_load_multiple_tabbox) Tabbox is no database tabbox\n", and so
// on).  data is remembered for reloads, with session.  A row that does not
// fit the title (field count) ends the process, as for adding.
void myfl_load_multiple_tabbox(BESREC *session, FL_OBJECT *tabbox, ARRAY *records, TB_DATA data);
void myfl_load_single_tabbox(BESREC *session, FL_OBJECT *tabbox, const void *record, TB_DATA data);
void myfl_load_multiple_tabbox_1(FL_OBJECT *tabbox, ARRAY *records, TB_DATA1 data);

// Writes the title and every row's line into the tabbox, keeping its
// topline and selection.
void myfl_draw_tabbox(FL_FORM *form, FL_OBJECT *tabbox);
void myfl_draw_tabbox_extern(FL_OBJECT *tabbox);

// Adds a row from text with a copy of record (which may be null) and
// draws; a hold tabbox (type 2) selects the new last line.  0 when Equal
// finds the record present (alert "Eintrag bereits vorhanden"), else 1.
// A text with more than 500 fields or another field count than the title
// ends the process ("(addto_tabbox_line) Too many columns (max = %d)\n",
// "(addto_tabbox_line) Line is invalid (only %d of %d cols)\n").
int myfl_addto_tabbox_line(FL_OBJECT *tabbox, const char *text, const void *record);
// Replaces the row of the selected line by text and a copy of record (the
// record states as described at replace_tabbox_line_no_draw in the code),
// draws and, in a hold tabbox, selects the line again.  0 when no line is
// selected or Equal refuses (alert), else 1.
int myfl_replace_tabbox_line(FL_OBJECT *tabbox, const char *text, const void *record);
// Deletes the row of the selected line (or of stored line n): a loaded
// record goes to the deleted list.  The line after it is selected then (the
// new last line when the last was deleted).  0 when there is no such line.
int myfl_delete_tabbox_line(FL_OBJECT *tabbox);
int myfl_delete_tabbox_line_idx(FL_OBJECT *tabbox, int n);
// Swap the selected row with the one above / below; nothing at the ends or
// without a selection.
void myfl_up_tabbox_line(FL_OBJECT *tabbox);
void myfl_down_tabbox_line(FL_OBJECT *tabbox);
// Rebuilds every row from its record with the remembered Data callback and
// draws: 1, or 0 when New or the callback is missing.
int myfl_reload_tabbox(FL_OBJECT *tabbox);

// The first selected stored line, 0 if none (a selected line 3 or beyond
// is selected again, which brings it into view).
int myfl_get_tabbox(FL_OBJECT *tabbox);
// The record of the first selected line / of row n (from 1), owned by the
// binding and valid until the rows change; null when there is none.  n
// below 1 ends the process ("(myfl_get_tabbox_item_info) Invalid index
// (%d)\n").
void *myfl_get_tabbox_info(FL_OBJECT *tabbox);
void *myfl_get_tabbox_item_info(FL_OBJECT *tabbox, int n);
int myfl_get_tabbox_items(FL_OBJECT *tabbox);
// Appends copies of all rows' records to array (ARRAY_Add).
void myfl_get_multiple_tabbox(FL_OBJECT *tabbox, ARRAY *array);
// 0 when Equal finds a row whose record equals record (for replace: other
// than the row holding old_record), else 1.
int myfl_test_tabbox_insert(FL_OBJECT *tabbox, const void *record);
int myfl_test_tabbox_replace(FL_OBJECT *tabbox, const void *old_record, const void *new_record);
// The registration name (owned by the binding), or null.
const char *myfl_get_tabbox_name(FL_OBJECT *tabbox);
// The table number of a fresh record of a database tabbox, else -1.
int myfl_get_tabbox_tablenr(FL_OBJECT *tabbox);
// Display or database column names: the title row is renamed and the rows
// loaded again with the remembered callback (not while a draw runs).
void myfl_set_tabbox_kz_dbnames(FL_OBJECT *tabbox, int flag);
int myfl_get_tabbox_kz_dbnames(FL_OBJECT *tabbox);
void myfl_set_tabbox_sort(FL_OBJECT *tabbox, int flag);
int myfl_enabled_tabbox_sort(FL_OBJECT *tabbox);

// Drop all rows, their records and the deleted list; the first draws the
// title again.
void myfl_free_tabbox_data(FL_OBJECT *tabbox);
void myfl_free_tabbox_data_no_draw(FL_OBJECT *tabbox);
// Clears the tabbox, releases everything of the binding and removes it
// from the registry; the tabbox may be registered again.
void myfl_free_tabbox(FL_OBJECT *tabbox);

// The binding of tabbox, or null (for tests and the framework).
DBTABBOX *myfl_get_tabbox_binding(FL_OBJECT *tabbox);

// The width entries of the tabbox's stored settings line (under the
// application name and the tabbox's name): set column c to width w, remove
// column c's entry, remove every width entry.  Nothing happens for a tabbox
// without name or without a stored line.  These are the tabbox's width
// hooks (tabbox_hooks.h).
void set_col_width(FL_OBJECT *tabbox, int c, int w);
void clear_col_width(FL_OBJECT *tabbox, int c);
void clear_col_widths(FL_OBJECT *tabbox);

#endif
