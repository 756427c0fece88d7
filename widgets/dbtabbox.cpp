// The database tabbox binding on the tabbox object; see dbtabbox.h.
#include "widgets/dbtabbox.h"

#include <algorithm>
#include <string>

#include "base/ini.h"
#include "base/mem.h"
#include "base/msglog.h"
#include "base/valuestr.h"
#include "widgets/goodies.h"
#include "widgets/mytabs.h"
#include "widgets/tabbox_hooks.h"

LTREE Tabbox = nullptr;

namespace {

const int kObjDataTabbox = 19;  // the manual's record code of a bound tabbox

DBTABBOX *find_binding(FL_OBJECT *ob) {
  intptr_t value = 0;
  if (!ob || !ltsearch(Tabbox, reinterpret_cast<intptr_t>(ob), &value)) return nullptr;
  return reinterpret_cast<DBTABBOX *>(value);
}

[[noreturn]] void fail(const char *fmt, const char *op, int a = 0, int b = 0) {
  Log_Msg(fmt, op, a, b);
  Msglog_Exit(1);
}

DBTABBOX *binding_or_exit(FL_OBJECT *ob, const char *op) {
  DBTABBOX *b = find_binding(ob);
  if (!b) fail("(%s) Tabbox not defined\n", op);
  return b;
}

void no_dblclick(FL_OBJECT *, long) {}

// The fields of a row text or a name list, or the end of the process.
void parse_or_exit(DBTABBOX *b, const char *text, TBROW *row, const char *op) {
  if (tb_parse_row(text, row) != TB_PARSE_OK)
    fail("(%s) Too many columns (max = %d)\n", op, TB_MAX_COLS);
  if (row->count() != b->col_count)
    fail("(%s) Line is invalid (only %d of %d cols)\n", op, row->count(), b->col_count);
}

void set_title_names(DBTABBOX *b, const char *names, const char *op) {
  if (tb_parse_names(names, &b->title) != TB_PARSE_OK)
    fail("(%s) Too many columns (max = %d)\n", op, TB_MAX_COLS);
  b->col_count = b->title.count();
}

void alert_duplicate() { myfl_show_alert("Eintrag bereits vorhanden", "", "", 1); }

int test_unique(DBTABBOX *b, const void *skip, const void *record) {
  if (!b->Equal) return 1;
  for (const TBROW &row : b->rows)
    if (row.record && row.record != skip && b->Equal(row.record, record)) return 0;
  return 1;
}

void drop_rows(DBTABBOX *b) {
  b->rows.clear();
  for (void *r : b->deleted) myfree(r);
  b->deleted.clear();
}

void register_binding(FL_FORM *form, FL_OBJECT *ob, const char *name, TB_ATTRIBS attribs,
                      TB_EQUAL equal, TB_SHOW show, TABBOX_CALLBACK dblclick, bool no_ini) {
  DBTABBOX *b = new DBTABBOX{};
  if (!ltinsert(&Tabbox, reinterpret_cast<intptr_t>(ob), reinterpret_cast<intptr_t>(b))) {
    delete b;
    fail("(%s) Tabbox already defined\n", "init_tabbox");
  }
  set_title_names(b, attribs ? attribs(0) : "", "init_tabbox");
  b->shown.resize(b->col_count);
  for (int i = 0; i < b->col_count; i++)
    b->shown[i] = !show || show(b->title.field(i).c_str()) ? 1 : 0;
  b->form = form;
  b->object = ob;
  b->dblclick = dblclick;
  b->Equal = equal;
  b->Attribs = attribs;
  b->Show = show;
  b->name = name ? mystrdup(name) : nullptr;
  b->sort = 1;
  fl_set_tabbox_dblclick_callback(ob, dblclick ? dblclick : no_dblclick, 0);
  fl_clear_tabbox(ob);
  if (no_ini) fl_disable_tabbox_ini_data_for_next_load(ob);
  if (b->name) tbhook_init_tbsort(ob);
}

void init_tabbox(FL_FORM *form, FL_OBJECT *ob, const char *name, TB_ATTRIBS attribs, TB_EQUAL equal,
                 TB_SHOW show, TABBOX_CALLBACK dblclick, bool no_ini) {
  register_binding(form, ob, name, attribs, equal, show, dblclick, no_ini);
  myfl_draw_tabbox(form, ob);
  tbhook_add_obj_data1(ob, kObjDataTabbox, reinterpret_cast<intptr_t>(attribs));
}

void init_db_tabbox(FL_FORM *form, FL_OBJECT *ob, const char *name, TB_ATTRIBS attribs, TB_NEW make,
                    TB_EQUAL equal, TB_UPDATE update, TB_SHOW show, TABBOX_CALLBACK dblclick,
                    bool no_ini) {
  init_tabbox(form, ob, name, attribs, equal, show, dblclick, no_ini);
  DBTABBOX *b = find_binding(ob);
  b->db = 1;
  b->New = make;
  b->Update = update;
  tbhook_add_obj_data2(ob, kObjDataTabbox, reinterpret_cast<intptr_t>(attribs),
                       reinterpret_cast<intptr_t>(make));
}

// Moves topline so that the end of the tabbox will be in view once the new
// line is written.
void scroll_to_end(FL_OBJECT *ob) {
  int lines = fl_get_tabbox_maxline(ob);
  int top = std::min(std::max(lines - fl_get_tabbox_screenlines(ob) + 2, 1), lines + 1);
  if (top != fl_get_tabbox_topline(ob)) fl_set_tabbox_topline(ob, top);
}

// Adds a row holding record (now owned by the binding): addto_tabbox_line
// without the draw.  0 when Equal refuses it.
int add_row(DBTABBOX *b, const char *text, void *record) {
  if (record && !test_unique(b, nullptr, record)) {
    myfree(record);
    alert_duplicate();
    return 0;
  }
  TBROW row;
  row.record = record;
  parse_or_exit(b, text, &row, "addto_tabbox_line");
  b->rows.push_back(std::move(row));
  scroll_to_end(b->object);
  if (b->db && record) tbrec_set_state(record, TBREC_ADDED);
  return 1;
}

// Loading, steps before the rows: the callback remembered, the tabbox and
// the rows emptied.
void begin_load(DBTABBOX *b, const char *op) {
  if (b->form) fl_freeze_form(b->form);
  fl_clear_tabbox(b->object);
  drop_rows(b);
  b->line_count = 0;
  if (!b->New) fail("(%s) TABLE_New() not defined\n", op);
}

// One loaded row from the record and its text (released here).
void add_loaded(DBTABBOX *b, const void *record, char *text) {
  void *copy = tbrec_copy(record);
  if (add_row(b, text, copy)) tbrec_set_state(copy, TBREC_LOADED);
  myfree(text);
}

void end_load(DBTABBOX *b) {
  if (b->form) fl_unfreeze_form(b->form);
  Set_Nachkommastellen(-1);
}

char *row_text(DBTABBOX *b, void *record) {
  Set_Nachkommastellen(fl_get_tabbox_comma(b->object));
  char *text = b->Data ? b->Data(b->session, record, b->kz_dbnames) : b->Data1(record);
  Set_Nachkommastellen(-1);
  return text;
}

// Loads the records of array with the callback remembered in b.
void load_array(DBTABBOX *b, ARRAY *array, const char *op) {
  begin_load(b, op);
  b->rows.reserve(array->count);
  for (int i = 0; i < array->count; i++) {
    void *record = ARRAY_GetPtr(array, i);
    add_loaded(b, record, row_text(b, record));
  }
  end_load(b);
}

DBTABBOX *db_binding_or_exit(FL_OBJECT *ob, const char *op) {
  DBTABBOX *b = binding_or_exit(ob, op);
  if (!b->db) fail("(%s) Tabbox is no database tabbox\n", op);
  return b;
}

// The database binding of a load, which remembers the row-text callback
// and the session for reloads.
DBTABBOX *loading_binding(FL_OBJECT *ob, const char *op, TB_DATA data, TB_DATA1 data1,
                          BESREC *session) {
  DBTABBOX *b = db_binding_or_exit(ob, op);
  b->Data = data;
  b->Data1 = data1;
  b->session = session;
  return b;
}

// replace_tabbox_line_no_draw: the row of stored line n gets text and a
// copy of record.  0 when n is no row or Equal refuses.
int replace_row(DBTABBOX *b, int n, const char *text, const void *record) {
  const char *op = "myfl_replace_tabbox_line";
  if (n < 1 || n > static_cast<int>(b->rows.size())) return 0;
  TBROW &row = b->rows[n - 1];
  if (record && !test_unique(b, row.record, record)) {
    alert_duplicate();
    return 0;
  }
  bool loaded = row.record && tbrec_state(row.record) == TBREC_LOADED;
  if (!b->Update) {
    if (b->db && loaded) {
      if (!b->New) fail("(%s) TABLE_New() not defined\n", op);
      void *gone = tbrec_copy(row.record);
      tbrec_set_state(gone, TBREC_DELETED);
      b->deleted.insert(b->deleted.begin(), gone);
    }
  } else if (record && loaded) {
    tbrec_set_state(row.record, TBREC_UPDATED);
    b->Update(const_cast<void *>(record), row.record);
  }
  if (record) {
    row.take_record(tbrec_copy(record));
    if (!b->Update) tbrec_set_state(row.record, TBREC_ADDED);
  }
  TBROW parsed;
  parse_or_exit(b, text, &parsed, op);
  row.swap_fields(parsed);
  return 1;
}

int delete_row(DBTABBOX *b, int n) {
  if (n < 1 || n > static_cast<int>(b->rows.size())) return 0;
  TBROW &row = b->rows[n - 1];
  if (b->db && row.record && tbrec_state(row.record) == TBREC_LOADED) {
    tbrec_set_state(row.record, TBREC_DELETED);
    b->deleted.insert(b->deleted.begin(), row.record);
    row.record = nullptr;
  }
  b->rows.erase(b->rows.begin() + (n - 1));
  // The tabbox moves the selection flags so that, once every line is
  // written again, the line after the deleted one is selected (the
  // tabbox's delete contract, see mytabs.h).
  fl_delete_tabbox_line(b->object, n + 2);
  myfl_draw_tabbox(b->form, b->object);
  return 1;
}

void move_row(DBTABBOX *b, int dir) {
  FL_OBJECT *ob = b->object;
  int n = fl_get_tabbox(ob);
  int m = n + dir;
  if (n < 1 || m < 1 || m > static_cast<int>(b->rows.size())) return;
  std::swap(b->rows[n - 1], b->rows[m - 1]);
  int top = fl_get_tabbox_topline(ob);
  fl_select_tabbox_line(ob, m);
  if (top >= 1 && fl_get_tabbox_topline(ob) != top) fl_set_tabbox_topline(ob, top);
  myfl_draw_tabbox(b->form, ob);
}

// Edits the stored settings line of a named tabbox, if there is one.
void edit_settings(FL_OBJECT *ob, void (*edit)(std::string *, int, int), int c, int w) {
  DBTABBOX *b = find_binding(ob);
  const char *app = tbhook_applname();
  if (!b || !b->name || !app) return;
  const char *stored = Get_ini_Data(app, b->name);
  if (!stored) return;
  std::string line = stored;
  if (!line.empty() && line.back() == '\n') line.pop_back();
  edit(&line, c, w);
  line += '\n';
  Set_ini_Data(app, b->name, line.c_str());
}

}  // namespace

int dbshow_all(const char *) { return 1; }

DBTABBOX *myfl_get_tabbox_binding(FL_OBJECT *tabbox) { return find_binding(tabbox); }

void myfl_init_tabbox(FL_FORM *form, FL_OBJECT *tabbox, const char *name, TB_ATTRIBS attribs,
                      TB_EQUAL equal, TB_SHOW show, TABBOX_CALLBACK dblclick) {
  init_tabbox(form, tabbox, name, attribs, equal, show, dblclick, false);
}

void myfl_init_db_tabbox(FL_FORM *form, FL_OBJECT *tabbox, const char *name, TB_ATTRIBS attribs,
                         TB_NEW make, TB_EQUAL equal, TB_UPDATE update, TB_SHOW show,
                         TABBOX_CALLBACK dblclick) {
  init_db_tabbox(form, tabbox, name, attribs, make, equal, update, show, dblclick, false);
}

void myfl_init_db_tabbox_no_ini(FL_FORM *form, FL_OBJECT *tabbox, const char *name,
                                TB_ATTRIBS attribs, TB_NEW make, TB_EQUAL equal, TB_UPDATE update,
                                TB_SHOW show, TABBOX_CALLBACK dblclick) {
  init_db_tabbox(form, tabbox, name, attribs, make, equal, update, show, dblclick, true);
}

void myfl_load_multiple_tabbox(BESREC *session, FL_OBJECT *tabbox, ARRAY *records, TB_DATA data) {
  const char *op = "myfl_load_multiple_tabbox";
  DBTABBOX *b = loading_binding(tabbox, op, data, nullptr, session);
  load_array(b, records, op);
  myfl_draw_tabbox(b->form, tabbox);
}

void myfl_load_single_tabbox(BESREC *session, FL_OBJECT *tabbox, const void *record, TB_DATA data) {
  const char *op = "myfl_load_single_tabbox";
  DBTABBOX *b = loading_binding(tabbox, op, data, nullptr, session);
  begin_load(b, op);
  add_loaded(b, record, row_text(b, const_cast<void *>(record)));
  end_load(b);
  myfl_draw_tabbox(b->form, tabbox);
}

void myfl_load_multiple_tabbox_1(FL_OBJECT *tabbox, ARRAY *records, TB_DATA1 data) {
  const char *op = "myfl_load_multiple_tabbox";
  DBTABBOX *b = loading_binding(tabbox, op, nullptr, data, nullptr);
  load_array(b, records, op);
  myfl_draw_tabbox(b->form, tabbox);
}

void myfl_draw_tabbox(FL_FORM *form, FL_OBJECT *tabbox) {
  DBTABBOX *b = binding_or_exit(tabbox, "myfl_draw_tabbox");
  b->drawing = 1;
  int top = fl_get_tabbox_topline(tabbox);
  int selected = fl_get_tabbox(tabbox);
  if (form) fl_freeze_form(form);
  std::vector<int> widths = tb_column_widths(b->title, b->rows, b->shown);
  std::string line;
  line.reserve(TB_WORK_SIZE);
  tb_build_line(b->title, widths, b->shown, false, &line);
  fl_set_tabbox_title(tabbox, line.c_str());
  int have = fl_get_tabbox_maxline(tabbox);
  if (have > static_cast<int>(b->rows.size())) {
    fl_clear_tabbox(tabbox);
    have = 0;
  }
  int replace = std::min(b->line_count, have);
  for (size_t i = 0; i < b->rows.size(); i++) {
    tb_build_line(b->rows[i], widths, b->shown, true, &line);
    if (static_cast<int>(i) < replace)
      fl_replace_tabbox_line(tabbox, static_cast<int>(i) + 1, line.c_str());
    else
      fl_add_tabbox_line(tabbox, line.c_str());
  }
  b->line_count = static_cast<int>(b->rows.size());
  if (top >= 1 && top - 1 <= fl_get_tabbox_maxline(tabbox)) fl_set_tabbox_topline(tabbox, top);
  if (selected > 0) fl_select_tabbox_line(tabbox, selected);
  if (form) fl_unfreeze_form(form);
  fl_redraw_object(tabbox);
  b->drawing = 0;
}

void myfl_draw_tabbox_extern(FL_OBJECT *tabbox) {
  DBTABBOX *b = binding_or_exit(tabbox, "myfl_draw_tabbox_extern");
  myfl_draw_tabbox(b->form, tabbox);
}

int myfl_addto_tabbox_line(FL_OBJECT *tabbox, const char *text, const void *record) {
  DBTABBOX *b = binding_or_exit(tabbox, "myfl_addto_tabbox_line");
  if (!add_row(b, text, tbrec_copy(record))) return 0;
  myfl_draw_tabbox(b->form, tabbox);
  if (fl_get_tabbox_record(tabbox)->type == 2)
    fl_select_tabbox_line(tabbox, static_cast<int>(b->rows.size()));
  return 1;
}

int myfl_replace_tabbox_line(FL_OBJECT *tabbox, const char *text, const void *record) {
  DBTABBOX *b = binding_or_exit(tabbox, "myfl_replace_tabbox_line");
  int n = fl_get_tabbox(tabbox);
  if (!replace_row(b, n, text, record)) return 0;
  myfl_draw_tabbox(b->form, tabbox);
  if (fl_get_tabbox_record(tabbox)->type == 2) fl_select_tabbox_line(tabbox, n);
  return 1;
}

int myfl_delete_tabbox_line(FL_OBJECT *tabbox) {
  DBTABBOX *b = binding_or_exit(tabbox, "myfl_delete_tabbox_line");
  return delete_row(b, fl_get_tabbox(tabbox));
}

int myfl_delete_tabbox_line_idx(FL_OBJECT *tabbox, int n) {
  return delete_row(binding_or_exit(tabbox, "myfl_delete_tabbox_line"), n);
}

void myfl_up_tabbox_line(FL_OBJECT *tabbox) {
  move_row(binding_or_exit(tabbox, "myfl_up_tabbox_line"), -1);
}

void myfl_down_tabbox_line(FL_OBJECT *tabbox) {
  // Reported under the name of the up operation, as designed.
  move_row(binding_or_exit(tabbox, "myfl_up_tabbox_line"), 1);
}

int myfl_reload_tabbox(FL_OBJECT *tabbox) {
  DBTABBOX *b = binding_or_exit(tabbox, "myfl_reload_tabbox");
  if (!b->New || (!b->Data && !b->Data1)) return 0;
  // The rows get their texts anew; their records and states stay as they
  // are (a reload changes the display, not the data).
  for (TBROW &row : b->rows) {
    char *text = row_text(b, row.record);
    TBROW parsed;
    parse_or_exit(b, text, &parsed, "myfl_replace_tabbox_line");
    myfree(text);
    row.swap_fields(parsed);
  }
  myfl_draw_tabbox(b->form, tabbox);
  return 1;
}

int myfl_get_tabbox(FL_OBJECT *tabbox) {
  binding_or_exit(tabbox, "myfl_get_tabbox");
  int n = fl_get_tabbox(tabbox);
  if (n >= 3) fl_select_tabbox_line(tabbox, n);
  return n;
}

void *myfl_get_tabbox_info(FL_OBJECT *tabbox) {
  DBTABBOX *b = binding_or_exit(tabbox, "myfl_get_tabbox_info");
  int n = fl_get_tabbox(tabbox);
  if (n < 1 || n > static_cast<int>(b->rows.size())) return nullptr;
  return b->rows[n - 1].record;
}

void *myfl_get_tabbox_item_info(FL_OBJECT *tabbox, int n) {
  DBTABBOX *b = binding_or_exit(tabbox, "myfl_get_tabbox_item_info");
  if (n < 1) {
    Log_Msg("(myfl_get_tabbox_item_info) Invalid index (%d)\n", n);
    Msglog_Exit(1);
  }
  if (n > static_cast<int>(b->rows.size())) return nullptr;
  return b->rows[n - 1].record;
}

int myfl_get_tabbox_items(FL_OBJECT *tabbox) {
  return static_cast<int>(binding_or_exit(tabbox, "myfl_get_tabbox_items")->rows.size());
}

void myfl_get_multiple_tabbox(FL_OBJECT *tabbox, ARRAY *array) {
  DBTABBOX *b = binding_or_exit(tabbox, "myfl_get_multiple_tabbox");
  for (const TBROW &row : b->rows)
    if (row.record) ARRAY_Add(array, row.record);
}

int myfl_test_tabbox_insert(FL_OBJECT *tabbox, const void *record) {
  return test_unique(binding_or_exit(tabbox, "myfl_test_tabbox_insert"), nullptr, record);
}

int myfl_test_tabbox_replace(FL_OBJECT *tabbox, const void *old_record, const void *new_record) {
  return test_unique(binding_or_exit(tabbox, "myfl_test_tabbox_unique"), old_record, new_record);
}

const char *myfl_get_tabbox_name(FL_OBJECT *tabbox) {
  return binding_or_exit(tabbox, "myfl_get_tabbox_name")->name;
}

int myfl_get_tabbox_tablenr(FL_OBJECT *tabbox) {
  DBTABBOX *b = binding_or_exit(tabbox, "myfl_get_tabbox_tablenr");
  if (!b->db || !b->New) return -1;
  void *fresh = b->New();
  int nr = static_cast<TBREC_HEAD *>(fresh)->tablenr;
  myfree(fresh);
  return nr;
}

void myfl_set_tabbox_kz_dbnames(FL_OBJECT *tabbox, int flag) {
  const char *op = "myfl_set_tabbox_kz_dbnames";
  DBTABBOX *b = binding_or_exit(tabbox, op);
  if (flag == b->kz_dbnames) return;
  b->kz_dbnames = flag;
  set_title_names(b, b->Attribs ? b->Attribs(flag) : "", op);
  b->shown.resize(b->col_count, 1);
  if (b->drawing || !b->db || (!b->Data && !b->Data1)) return;
  ARRAY records;
  ARRAY_Init(&records);
  myfl_get_multiple_tabbox(tabbox, &records);
  load_array(b, &records, "myfl_load_multiple_tabbox");
  ARRAY_Free(&records);
}

int myfl_get_tabbox_kz_dbnames(FL_OBJECT *tabbox) {
  return binding_or_exit(tabbox, "myfl_get_tabbox_kz_dbnames")->kz_dbnames;
}

void myfl_set_tabbox_sort(FL_OBJECT *tabbox, int flag) {
  binding_or_exit(tabbox, "myfl_set_tabbox_sort")->sort = flag;
}

int myfl_enabled_tabbox_sort(FL_OBJECT *tabbox) {
  return binding_or_exit(tabbox, "myfl_enabled_tabbox_sort")->sort;
}

void myfl_free_tabbox_data(FL_OBJECT *tabbox) {
  DBTABBOX *b = binding_or_exit(tabbox, "myfl_free_tabbox_data");
  fl_clear_tabbox(tabbox);
  drop_rows(b);
  b->line_count = 0;
  myfl_draw_tabbox(b->form, tabbox);
}

void myfl_free_tabbox_data_no_draw(FL_OBJECT *tabbox) {
  DBTABBOX *b = binding_or_exit(tabbox, "myfl_free_tabbox_data_no_draw");
  fl_clear_tabbox(tabbox);
  drop_rows(b);
  b->line_count = 0;
}

void myfl_free_tabbox(FL_OBJECT *tabbox) {
  DBTABBOX *b = binding_or_exit(tabbox, "myfl_free_tabbox");
  fl_clear_tabbox(tabbox);
  drop_rows(b);
  ltdelete(&Tabbox, reinterpret_cast<intptr_t>(tabbox));
  myfree(b->name);
  delete b;
}

void set_col_width(FL_OBJECT *tabbox, int c, int w) {
  edit_settings(
      tabbox, [](std::string *line, int col, int width) { settings_set_width(line, col, width); },
      c, w);
}

void clear_col_width(FL_OBJECT *tabbox, int c) {
  edit_settings(
      tabbox, [](std::string *line, int col, int) { settings_clear_width(line, col); }, c, 0);
}

void clear_col_widths(FL_OBJECT *tabbox) {
  edit_settings(
      tabbox, [](std::string *line, int, int) { settings_clear_widths(line); }, 0, 0);
}
