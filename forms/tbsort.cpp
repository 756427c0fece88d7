// The sort/columns dialog and the stored tabbox settings; see tbsort.h.
#include "forms/tbsort.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "base/containers.h"
#include "base/ini.h"
#include "base/mem.h"
#include "base/msglog.h"
#include "forms/cmb.h"
#include "forms/forms.h"
#include "forms/inputs.h"
#include "forms/tbsort_line.h"
#include "widgets/dbtabbox.h"
#include "widgets/goodies.h"
#include "widgets/mytabs.h"
#include "widgets/tabbox_hooks.h"

FL_OBJECT *SORT_Tabbox = nullptr;
int SORT_Nachkomma = -1;

namespace {

const char kBadEntry[] = "Ung\xfcltiger Eintrag in der Tabbox";
const char kBadCol[] = "Ung\xfcltiger COL-Eintrag";
const char kBadSort[] = "Ung\xfcltiger SORT-Eintrag";

void alert(const char *text) { myfl_show_alert(text, "", "", 1); }

template <class R>
int32_t size_of(const R *record) {
  return static_cast<int32_t>(offsetof(R, title) + strlen(record->title) + 1);
}

template <class R>
void set_title(R *record, const char *title) {
  const char *t = title ? title : "";
  size_t n = strnlen(t, COL_TITLE_SIZE - 1);
  memcpy(record->title, t, n);
  record->title[n] = 0;
  record->size = size_of(record);
}

// A new empty record of the list records (mymalloc), sized to its title.
template <class R>
R *new_record() {
  R *rec = static_cast<R *>(mymalloc(sizeof(R)));
  memset(rec, 0, sizeof *rec);
  rec->tablenr = -1;
  rec->size = size_of(rec);
  return rec;
}

// The quoted line field of a text (the binding reads it back unchanged).
std::string quoted(const char *text) {
  std::string out;
  tb_quote_value(text, strlen(text), &out);
  return out;
}

// The name a tabbox is bound under, or null (unbound or unnamed).
const char *bound_name(FL_OBJECT *tabbox) {
  DBTABBOX *b = myfl_get_tabbox_binding(tabbox);
  return b ? b->name : nullptr;
}

std::string key_of(FL_OBJECT *tabbox) {
  return tbsort_key(bound_name(tabbox), myfl_get_tabbox_tablenr(tabbox));
}

// The title text of column c, without the padding of the layout.
std::string column_title(FL_OBJECT *tabbox, int c) {
  TABBOX *rec = fl_get_tabbox_record(tabbox);
  size_t start = 0, len = 0;
  tb_field_span(rec, rec->full_title, c, &start, &len);
  std::string t = rec->full_title.substr(start, len);
  t.erase(t.find_last_not_of(' ') + 1);
  return t;
}

// The tabbox's live column and sort arrays.
struct PROPS {
  int count = 0, sort_count = 0, maxwidth = -1;
  int *pos = nullptr, *order = nullptr, *visible = nullptr, *sort_cols = nullptr,
      *sort_dirs = nullptr, *col_maxwidth = nullptr;
};

PROPS props_of(FL_OBJECT *tabbox) {
  PROPS p;
  fl_get_tabbox_properties(tabbox, &p.count, &p.pos, &p.order, &p.visible, &p.sort_count,
                           &p.sort_cols, &p.sort_dirs, &p.maxwidth, &p.col_maxwidth);
  return p;
}

// The tabbox's settings as they are now.
TBSORT_SETTINGS current_settings(FL_OBJECT *tabbox) {
  PROPS p = props_of(tabbox);
  TBSORT_SETTINGS s;
  s.vertical = fl_get_tabbox_vert(tabbox) == 1;
  DBTABBOX *b = myfl_get_tabbox_binding(tabbox);
  s.dbnames = b && b->kz_dbnames;
  s.count = p.count;
  for (int i = 1; i < p.count; i++) s.order.push_back(p.order[i]);
  s.sort_cols.assign(p.sort_cols, p.sort_cols + p.sort_count);
  s.sort_dirs.assign(p.sort_dirs, p.sort_dirs + p.sort_count);
  s.maxwidth = p.maxwidth;
  for (int c = 1; c < p.count; c++)
    if (p.col_maxwidth[c] != -1) s.widths.emplace_back(c, p.col_maxwidth[c]);
  return s;
}

// The display order positions 1 ... from order; the columns before the
// first -1 are the visible ones.
void set_order(const PROPS &p, const std::vector<int> &order) {
  std::fill(p.visible, p.visible + p.count, 0);
  std::fill(p.order, p.order + p.count, -1);
  bool shown = true;
  for (size_t k = 0; k < order.size() && static_cast<int>(k) + 1 < p.count; k++) {
    p.order[k + 1] = order[k];
    if (order[k] == -1) shown = false;
    if (shown && order[k] > 0) p.visible[order[k]] = 1;
  }
}

void apply(FL_OBJECT *tabbox, const TBSORT_SETTINGS &s) {
  PROPS p = props_of(tabbox);
  set_order(p, s.order);
  std::fill(p.col_maxwidth, p.col_maxwidth + p.count, -1);
  for (const auto &w : s.widths) p.col_maxwidth[w.first] = w.second;
  fl_set_tabbox_maxwidth(tabbox, s.maxwidth);
  fl_set_tabbox_sort(tabbox, static_cast<int>(s.sort_cols.size()), s.sort_cols.data(),
                     s.sort_dirs.data());
  if (s.vertical) fl_set_tabbox_vert(tabbox);
}

// Column slots of a title: one at its start, one at each "|", one at the
// end of a title that is not empty.
int slot_count(const std::string &title) {
  return 1 + static_cast<int>(std::count(title.begin(), title.end(), '|')) +
         (title.empty() ? 0 : 1);
}

// The records of all rows of a list, or false (after the alert) when a row
// has none.
template <class R>
bool list_records(FL_OBJECT *tabbox, const char *bad, std::vector<R *> *out) {
  out->clear();
  for (int n = 1, rows = myfl_get_tabbox_items(tabbox); n <= rows; n++) {
    R *rec = static_cast<R *>(myfl_get_tabbox_item_info(tabbox, n));
    if (!rec) {
      alert(bad);
      return false;
    }
    out->push_back(rec);
  }
  return true;
}

// The record of the selected line of a list: null with no line selected,
// or after the alert when the line has none.
template <class R>
R *selected_record(FL_OBJECT *tabbox) {
  if (myfl_get_tabbox(tabbox) < 1) return nullptr;
  R *rec = static_cast<R *>(myfl_get_tabbox_info(tabbox));
  if (!rec) alert(kBadEntry);
  return rec;
}

// The line text of a column entry, for the loads of the lists.
char *col_line(void *record) { return _COL_Data(nullptr, record, 0); }

// Adds the column entry to the list "to" and removes the selected line of "from".
void move_column(FL_OBJECT *from, FL_OBJECT *to) {
  _COL *rec = selected_record<_COL>(from);
  if (!rec) return;
  char *text = col_line(rec);
  myfl_addto_tabbox_line(to, text, rec);
  myfree(text);
  myfl_delete_tabbox_line(from);
}

void set_direction(bool ascending) {
  myfl_set_button(fd_SORT->ascending, ascending);
  myfl_set_button(fd_SORT->descending, !ascending);
}

// Selecting a line of a column list: the line must have a record.
void check_column_line(FL_OBJECT *tabbox, long) { selected_record<_COL>(tabbox); }

// Selecting a sort key shows its direction.
void show_sort_line(FL_OBJECT *tabbox, long) {
  if (_SORT *rec = selected_record<_SORT>(tabbox)) set_direction(rec->ascending == '1');
}

void connect_dialog(FD_SORT *fd) {
  struct {
    FL_OBJECT *ob;
    FL_CALLBACKPTR cb;
    long arg;
  } const buttons[] = {{fd->select_up, SORT_Select_TB_Up, 0},
                       {fd->sort_up, SORT_Sort_TB_Up, 0},
                       {fd->select_down, SORT_Select_TB_Down, 0},
                       {fd->avail_in, SORT_Avail_TB_In, 0},
                       {fd->sort_down, SORT_Sort_TB_Down, 0},
                       {fd->avail_out, SORT_Avail_TB_Out, 0},
                       {fd->select_out, SORT_Select_TB_Out, 0},
                       {fd->change, SORT_TB_Change, 0},
                       {fd->select_in, SORT_Select_TB_In, 0},
                       {fd->ascending, SORT_Sortierung, 1},
                       {fd->descending, SORT_Sortierung, 2},
                       {fd->ok, SORT_OK, 0},
                       {fd->avail, check_column_line, 0},
                       {fd->select, check_column_line, 0},
                       {fd->sort, show_sort_line, 0}};
  for (const auto &b : buttons) fl_set_object_callback(b.ob, b.cb, b.arg);
  myfl_init_db_tabbox(fd->SORT, fd->avail, "SORTA", _COL_Attribs, _COL_New, nullptr, nullptr,
                      dbshow_all, SORT_Avail_dblclick);
  myfl_init_db_tabbox(fd->SORT, fd->select, "SORTS", _COL_Attribs, _COL_New, nullptr, nullptr,
                      dbshow_all, SORT_Select_dblclick);
  myfl_init_db_tabbox(fd->SORT, fd->sort, "SORT", _SORT_Attribs, _SORT_New, nullptr, nullptr,
                      dbshow_all, nullptr);
  for (FL_OBJECT *tb : {fd->avail, fd->select, fd->sort}) myfl_set_tabbox_sort(tb, 0);
  myfl_set_form_atclose(fd->SORT, SORT_AtClose, nullptr);
}

}  // namespace

void *_SORT_New(void) {
  _SORT *rec = new_record<_SORT>();
  rec->ascending = '1';
  return rec;
}

const char *_SORT_Attribs(int) { return "Spalte,KZ_aufwaerts"; }

char *_SORT_Data(void *record) {
  const _SORT *rec = static_cast<_SORT *>(record);
  std::string text = quoted(rec->title) + "," + quoted(rec->ascending == '1' ? "Ja" : "Nein");
  return mystrdup(text.c_str());
}

void _SORT_Set(_SORT *record, int column, const char *title, int ascending) {
  record->column = column;
  record->ascending = ascending ? '1' : '0';
  set_title(record, title);
}

void myfl_init_tbsort(FL_OBJECT *tabbox) {
  const char *name = bound_name(tabbox);
  TABBOX *rec = fl_get_tabbox_record(tabbox);
  if (!name || !rec || rec->full_title.empty() || rec->col_count < 2) return;
  const char *app = myfl_get_applname();
  std::string key = key_of(tabbox);
  if (fl_enabled_tabbox_ini_data(tabbox) != 1) {
    fl_enable_tabbox_ini_data(tabbox);
    Clear_ini_Data(app, key.c_str());
    return;
  }
  const char *found = Get_ini_Data(app, key.c_str());
  if (!found && key != name) found = Get_ini_Data(app, name);
  if (!found) return;
  std::string line = found;  // the store's buffer is reused by the next call
  if (slot_count(rec->full_title) != rec->col_count) {
    Log_Msg("error in tabbox definition (%s)!\n", name);
    Msglog_Exit(1);
  }
  TBSORT_SETTINGS s;
  int outcome = tbsort_parse(line.c_str(), rec->col_count, &s);
  if (outcome != TBSORT_LINE_OK) {
    // A line that does not fit is never applied in part.
    Log_Msg(tbsort_message(outcome), name);
    if (outcome == TBSORT_LINE_TOO_MANY) Clear_ini_Data(app, key.c_str());
    return;
  }
  apply(tabbox, s);
}

void myfl_update_tbsort(FL_OBJECT *tabbox) {
  if (!bound_name(tabbox)) return;
  std::string key = key_of(tabbox);
  Set_ini_Data(myfl_get_applname(), key.c_str(),
               tbsort_line(key, current_settings(tabbox)).c_str());
}

void init_tbsort_tabboxes(FL_OBJECT *tabbox) {
  DBTABBOX *b = myfl_get_tabbox_binding(tabbox);
  myfl_set_button(fd_SORT->dbnames, b && b->kz_dbnames);
  myfl_set_button(fd_SORT->vertical, fl_get_tabbox_vert(tabbox) == 1);
  if (!b || b->sort)
    fl_activate_object(fd_SORT->select_out);
  else
    fl_deactivate_object(fd_SORT->select_out);
  PROPS p = props_of(tabbox);
  myfl_set_input_short(fd_SORT->maxwidth,
                       static_cast<short>(p.maxwidth < 0 ? INPUT_NO_SHORT : p.maxwidth));
  SORT_Nachkomma = fl_get_tabbox_comma(tabbox);
  myfl_set_input_short(fd_SORT->decimals,
                       static_cast<short>(SORT_Nachkomma < 0 ? INPUT_NO_SHORT : SORT_Nachkomma));

  ARRAY keys, chosen, others;
  ARRAY_Init(&keys);
  ARRAY_Init(&chosen);
  ARRAY_Init(&others);
  _SORT *key = static_cast<_SORT *>(_SORT_New());
  for (int k = 0; k < p.sort_count; k++) {
    int c = p.sort_cols[k];
    if (c < 1 || c >= p.count) continue;
    _SORT_Set(key, c, column_title(tabbox, c).c_str(), p.sort_dirs[k]);
    ARRAY_Add(&keys, key);
  }
  myfree(key);
  _COL *col = static_cast<_COL *>(_COL_New());
  std::vector<bool> listed(p.count, false);
  for (int i = 1; i < p.count; i++) {
    int c = p.order[i];
    if (c < 1 || c >= p.count) break;
    listed[c] = true;
    _COL_Set(col, column_title(tabbox, c).c_str(), c);
    ARRAY_Add(&chosen, col);
  }
  for (int c = 1; c < p.count; c++) {
    if (listed[c]) continue;
    _COL_Set(col, column_title(tabbox, c).c_str(), c);
    ARRAY_Add(&others, col);
  }
  myfree(col);
  myfl_load_multiple_tabbox_1(fd_SORT->sort, &keys, _SORT_Data);
  myfl_load_multiple_tabbox_1(fd_SORT->select, &chosen, col_line);
  myfl_load_multiple_tabbox_1(fd_SORT->avail, &others, col_line);
  ARRAY_Free(&keys);
  ARRAY_Free(&chosen);
  ARRAY_Free(&others);
}

void myfl_open_tbsort(FL_FORM *form, FL_OBJECT *tabbox) {
  if (SORT_Usedby) {
    alert(
        "Sortierung-Tabbox-Dialog bereits ge\xf6"
        "ffnet");
    return;
  }
  if (tabbox->type == 0)
    fl_show_object(fd_SORT->vertical);
  else
    fl_hide_object(fd_SORT->vertical);
  SORT_Usedby = form;
  SORT_Tabbox = tabbox;
  myfl_init_tbsort(tabbox);
  init_tbsort_tabboxes(tabbox);
  set_direction(true);
  myfl_close_cmb();
  if (form) fl_deactivate_form(form);
  myfl_show_form(fd_SORT->SORT, "Sortierung-Tabbox");
}

void myfl_close_tbsort(void) {
  if (!SORT_Usedby) {
    alert("Sortierung-Tabbox-Dialog bereits geschlossen");
    return;
  }
  myfl_close_cmb();
  fl_activate_form(SORT_Usedby);
  SORT_Usedby = nullptr;
  SORT_Tabbox = nullptr;
  fl_hide_form(fd_SORT->SORT);
}

int SORT_AtClose(FL_FORM *, void *) {
  myfl_close_tbsort();
  return FL_IGNORE;
}

void SORT_OK(FL_OBJECT *, long) {
  FL_OBJECT *tb = SORT_Tabbox;
  if (!tb) return;
  short decimals = myfl_get_input_short(fd_SORT->decimals);
  short maxwidth = myfl_get_input_short(fd_SORT->maxwidth);
  if (decimals != INPUT_NO_SHORT && decimals > 20) {
    alert("Maximal 20 Nachkommastellen sind zul\xe4ssig!");
    return;
  }
  if (decimals != INPUT_NO_SHORT && decimals < 0) {
    alert("Nachkommastellen d\xfcrfen nicht negativ sein!");
    return;
  }
  if (maxwidth != INPUT_NO_SHORT && maxwidth < 1) {
    alert("Die maximale Spaltenbreite muss mindestens 1 sein!");
    return;
  }
  // Every entry is checked before anything changes.
  PROPS p = props_of(tb);
  std::vector<_COL *> chosen, others;
  std::vector<_SORT *> keys;
  if (!list_records(fd_SORT->select, kBadCol, &chosen) ||
      !list_records(fd_SORT->avail, kBadCol, &others) ||
      !list_records(fd_SORT->sort, kBadSort, &keys))
    return;
  for (const auto *list : {&chosen, &others})
    for (const _COL *c : *list)
      if (c->column < 1 || c->column >= p.count) return alert(kBadCol);
  for (const _SORT *k : keys)
    if (k->column < 1 || k->column >= p.count) return alert(kBadSort);

  DBTABBOX *b = myfl_get_tabbox_binding(tb);
  if (b) myfl_set_tabbox_kz_dbnames(tb, myfl_get_button(fd_SORT->dbnames) == '1');
  fl_set_tabbox_maxwidth(tb, maxwidth == INPUT_NO_SHORT ? -1 : maxwidth);
  int comma = decimals == INPUT_NO_SHORT ? -1 : decimals;
  fl_set_tabbox_comma(tb, comma);
  p = props_of(tb);
  std::vector<int> order;
  for (const _COL *c : chosen) order.push_back(c->column);
  order.push_back(-1);
  set_order(p, order);
  std::vector<int> cols, dirs;
  for (const _SORT *k : keys) {
    cols.push_back(k->column);
    dirs.push_back(k->ascending == '1');
  }
  bool vertical = myfl_get_button(fd_SORT->vertical) == '1';
  if (bound_name(tb)) {
    TBSORT_SETTINGS s = current_settings(tb);
    s.vertical = vertical;
    s.dbnames = myfl_get_button(fd_SORT->dbnames) == '1';
    s.sort_cols = cols;
    s.sort_dirs = dirs;
    std::string key = key_of(tb);
    Set_ini_Data(myfl_get_applname(), key.c_str(), tbsort_line(key, s).c_str());
  }
  fl_set_tabbox_sort(tb, static_cast<int>(cols.size()), cols.data(), dirs.data());
  if (vertical)
    fl_set_tabbox_vert(tb);
  else
    fl_set_tabbox_hor(tb);
  if (comma != SORT_Nachkomma) {
    bool reloaded = b && myfl_reload_tabbox(tb);
    if (!reloaded && (comma != -1 || SORT_Nachkomma != -1)) {
      if (fd_TVIEW && tb == fd_TVIEW->tabbox) {
        alert("Nachkommastellen-Definition nicht m\xf6glich.");
        fl_set_tabbox_comma(tb, -1);
      } else {
        alert(
            "Nachkommastellen werden erst nach Neubef\xfcllung ber\xfc"
            "cksichtigt!");
      }
    }
  }
  if (b)
    myfl_draw_tabbox_extern(tb);
  else
    fl_redraw_object(tb);
  myfl_close_tbsort();
}

void SORT_Avail_TB_Out(FL_OBJECT *, long) { move_column(fd_SORT->avail, fd_SORT->select); }

void SORT_Avail_dblclick(FL_OBJECT *, long) { SORT_Avail_TB_Out(nullptr, 0); }

void SORT_Avail_TB_In(FL_OBJECT *, long) {
  _COL *rec = selected_record<_COL>(fd_SORT->select);
  if (!rec) return;
  int column = rec->column;
  move_column(fd_SORT->select, fd_SORT->avail);
  // The column's sort keys go with it (matched by number, so that columns
  // of the same title keep theirs).
  for (int n = myfl_get_tabbox_items(fd_SORT->sort); n >= 1; n--) {
    _SORT *key = static_cast<_SORT *>(myfl_get_tabbox_item_info(fd_SORT->sort, n));
    if (!key) return alert(kBadSort);
    if (key->column == column) myfl_delete_tabbox_line_idx(fd_SORT->sort, n);
  }
}

void SORT_Select_dblclick(FL_OBJECT *, long) { SORT_Avail_TB_In(nullptr, 0); }

void SORT_Select_TB_Out(FL_OBJECT *, long) {
  _COL *rec = selected_record<_COL>(fd_SORT->select);
  if (!rec) return;
  _SORT *key = static_cast<_SORT *>(_SORT_New());
  _SORT_Set(key, rec->column, rec->title, 1);
  char *text = _SORT_Data(key);
  myfl_addto_tabbox_line(fd_SORT->sort, text, key);
  myfree(text);
  myfree(key);
}

void SORT_Select_TB_In(FL_OBJECT *, long) {
  if (selected_record<_SORT>(fd_SORT->sort)) myfl_delete_tabbox_line(fd_SORT->sort);
}

void SORT_Select_TB_Up(FL_OBJECT *, long) {
  if (selected_record<_COL>(fd_SORT->select)) myfl_up_tabbox_line(fd_SORT->select);
}

void SORT_Select_TB_Down(FL_OBJECT *, long) {
  if (selected_record<_COL>(fd_SORT->select)) myfl_down_tabbox_line(fd_SORT->select);
}

void SORT_Sort_TB_Up(FL_OBJECT *, long) {
  if (selected_record<_SORT>(fd_SORT->sort)) myfl_up_tabbox_line(fd_SORT->sort);
}

void SORT_Sort_TB_Down(FL_OBJECT *, long) {
  if (selected_record<_SORT>(fd_SORT->sort)) myfl_down_tabbox_line(fd_SORT->sort);
}

void SORT_TB_Change(FL_OBJECT *, long) {
  _SORT *rec = selected_record<_SORT>(fd_SORT->sort);
  if (!rec) return;
  _SORT *copy = static_cast<_SORT *>(tbrec_copy(rec));
  copy->ascending = myfl_get_button(fd_SORT->ascending) == '1' ? '1' : '0';
  char *text = _SORT_Data(copy);
  myfl_replace_tabbox_line(fd_SORT->sort, text, copy);
  myfree(text);
  myfree(copy);
}

void SORT_Sortierung(FL_OBJECT *, long which) { set_direction(which == 1); }

void myfl_connect_tbsort(void) {
  dialog_hooks.sort = connect_dialog;
  tabbox_hooks.init_tbsort = myfl_init_tbsort;
  tabbox_hooks.update_tbsort = myfl_update_tbsort;
  tabbox_hooks.open_tbsort = myfl_open_tbsort;
}
