// The detail form; see ddbv.h.
#include "app/ddbv.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <string>

#include "app/dbv.h"
#include "app/dbvrec.h"
#include "proto/query.h"
#include "forms/forms.h"
#include "forms/inputs.h"
#include "widgets/dbtabbox_rows.h"
#include "widgets/goodies.h"
#include "widgets/mytabs.h"

FD_DDBV *fd_DDBV = nullptr;

FD_DDBV *create_form_DDBV(void) {
  FD_DDBV *fd = new FD_DDBV{};
  fd->DDBV = fl_bgn_form(FL_UP_BOX, 591, 661);
  fl_set_object_geometry(fd->DDBV->first, 0, 0, 595, 680);
  fd->help = myfl_add_help_button(590, 656);
  FL_OBJECT *ob = fl_add_text(FL_NORMAL_TEXT, 20, 10, 180, 20, "Dadazudi-Zudeda-Detail");
  fl_set_object_lsize(ob, 14);
  fl_set_object_lstyle(ob, FL_NORMAL_STYLE | FL_EMBOSSED_STYLE);
  fd->loeschen = fl_add_button(FL_NORMAL_BUTTON, 500, 10, 70, 21, "L\xf6schen");
  fl_set_object_callback(fd->loeschen, DDBV_Loeschen, 0);
  fl_set_object_shortcut(fd->loeschen, "^L^l", 1);
  fd->tabbox = fl_add_tabbox(0, 20, 40, 550, 565, "");
  fl_set_object_callback(fd->tabbox, DDBV_NORMAL_TABBOX, 0);
  fd->wert = fl_add_input(FL_NORMAL_INPUT, 60, 620, 430, 21, "Wert ");
  fl_set_object_callback(fd->wert, DDBV_Wert, 0);
  fd->update = fl_add_button(FL_NORMAL_BUTTON, 500, 620, 70, 21, "Update");
  fl_set_object_callback(fd->update, DDBV_Update, 0);
  fl_set_object_shortcut(fd->update, "^U^u", 1);
  fl_end_form();
  return fd;
}

void DDBV_NORMAL_TABBOX(FL_OBJECT *, long) {}

void DDBV_Set_Row(const DBV_SHOWN &shown, int row, const char *text) {
  DDBV_ROW r;
  r.valid = true;
  r.table = shown.table;
  r.database = shown.database;
  TBROW fields, names;
  tb_parse_row(text, &fields);
  tb_parse_names(DBV_TABBOX_Title.c_str(), &names);
  for (int i = 0; i < fields.count(); i++) {
    r.values.push_back(fields.field(i));
    r.names.push_back(i < names.count() ? names.field(i) : std::string());
    r.types.push_back(i < static_cast<int>(shown.types.size()) ? shown.types[i] : -1);
    r.cut.push_back(false);
  }
  auto cut = shown.cut.find(row);
  if (cut != shown.cut.end())
    for (int i : cut->second)
      if (i < static_cast<int>(r.cut.size())) r.cut[i] = true;
  fd_DDBV->row = r;
  fd_DDBV->taken = -1;
}

namespace {

void alert(const char *first, const std::string &second = std::string()) {
  myfl_show_alert(first, second.c_str(), "", 1);
}

// The key column of the row shown, or -1 after an alert whose first line
// is refused: the row must come from one table of the database the
// session is on, and its key must be whole and not empty.
int locate_key(const char *refused) {
  const DDBV_ROW &row = fd_DDBV->row;
  if (!row.valid || row.table.empty()) {
    alert(refused, "Das Ergebnis stammt nicht aus genau einer Tabelle");
    return -1;
  }
  if (row.database != fd_DBV->db_in_use) {
    alert(refused, "Die Datenbank wurde seit der Abfrage gewechselt");
    return -1;
  }
  int key = key_column(row);
  if (key < 0) {
    alert(refused, "Primary Key nicht gefunden");
    return -1;
  }
  if (row.cut[key] || row.values[key].empty()) {
    alert(refused,
          row.cut[key] ? "Primary Key ist in der Anzeige gek\xfcrzt" : "Primary Key ist leer");
    return -1;
  }
  return key;
}

// The column (from 0) of the selected line of the vertical table: its
// lines are the columns in display order.  -1 when none is selected.
int selected_column() {
  TABBOX *rec = fl_get_tabbox_record(fd_DDBV->tabbox);
  if (!rec || !rec->vert) return -1;
  TABBOX *v = tb_prepare_draw(rec);
  int pos = tb_first_selected_pos(v);
  if (pos < 0) return -1;
  int line = v->row_order[pos], k = 0;
  for (int p = 1; p < rec->col_count; p++) {
    int c = rec->col_order[p];
    if (c < 1 || c >= rec->col_count) continue;
    if (k++ == line) return c - 1;
  }
  return -1;
}

// Tells how the change went; after a change of the one row the main
// window shows the result anew and the detail window closes.
void finish_change(int outcome, int count, const std::string &reason, bool update,
                   const std::string &where) {
  const char *failed = update ? "Datensatz konnte nicht ge\xe4ndert werden!"
                              : "Datensatz konnte nicht gel\xf6scht werden!";
  switch (outcome) {
    case CHANGE_DONE:
      fl_activate_form(fd_DBV->DBV);
      DBV_Refresh();
      myfl_hide_form(fd_DDBV->DDBV);
      fd_DDBV->row.valid = false;
      fd_DDBV->taken = -1;
      alert(update ? "Datensatz wurde ge\xe4ndert" : "Datensatz wurde gel\xf6scht");
      return;
    case CHANGE_NONE: alert(failed, "Kein Datensatz mit " + where + " gefunden"); return;
    case CHANGE_MANY:
      alert(failed, std::to_string(count) + " Datens\xe4tze mit " + where + ", es wurde nichts " +
                        (update ? "ge\xe4ndert" : "gel\xf6scht"));
      return;
    case CHANGE_MANY_KEPT:
      alert(update ? "Achtung: mehrere Datens\xe4tze wurden ge\xe4ndert!"
                   : "Achtung: mehrere Datens\xe4tze wurden gel\xf6scht!",
            std::to_string(count) + " Datens\xe4tze mit " + where);
      return;
    case CHANGE_OTHER_DB: alert(failed, "Die Datenbank wurde seit der Abfrage gewechselt"); return;
    default: alert(failed, reason);
  }
}

}  // namespace

void DDBV_dblclick(FL_OBJECT *, long) {
  const DDBV_ROW &row = fd_DDBV->row;
  int c = selected_column();
  if (!row.valid || c < 0 || c >= static_cast<int>(row.values.size())) return;
  if (row.cut[c]) {
    alert("Wert ist nicht editierbar!", "Wert ist in der Anzeige gek\xfcrzt");
    return;
  }
  // A BINARY value's display text is not its bytes: written back it would
  // change the value, so it is not taken at all.
  if (row.types[c] == DBtype_number(TOK_BINARY)) {  // DBftype gives type numbers
    alert("Wert ist nicht editierbar!", "BINARY-Werte k\xf6nnen hier nicht ge\xe4ndert werden");
    return;
  }
  std::string text = wert_text(row.values[c], quoted_type(row.types[c], row.values[c]));
  if (text.size() > 4000) {
    alert("Wert ist nicht editierbar!", "String ist l\xe4nger als 4000 Zeichen");
    return;
  }
  fd_DDBV->taken = c;
  myfl_set_input(fd_DDBV->wert, text.c_str());
  fl_set_focus_object(fd_DDBV->DDBV, fd_DDBV->wert);
}

void DDBV_Wert(FL_OBJECT *, long) {
  // Only Return confirms the edit: leaving the field writes nothing.
  const XEvent *ev = fl_last_event();
  if (!ev || ev->type != KeyPress) return;
  XKeyEvent key = ev->xkey;
  KeySym sym = XLookupKeysym(&key, 0);
  if (sym == XK_Return || sym == XK_KP_Enter) fl_call_object_callback(fd_DDBV->update);
}

void DDBV_Update(FL_OBJECT *, long) {
  const char *refused = "Update nicht m\xf6glich";
  int key = locate_key(refused);
  if (key < 0) return;
  const DDBV_ROW row = fd_DDBV->row;
  int c = fd_DDBV->taken;
  if (c < 0) {
    alert(refused,
          "Kein Wert \xfc"
          "bernommen (Doppelklick auf ein Attribut)");
    return;
  }
  if (!is_column_name(row.names[c])) {
    alert(refused, row.names[c] + " ist keine Spalte der Tabelle");
    return;
  }
  std::string wert = myfl_get_input(fd_DDBV->wert);
  if (wert.size() >= 4000) {
    alert("Update nicht m\xf6glich!", "Wert-String zu lange (maximal 4000 Zeichen erlaubt)");
    return;
  }
  std::string literal;
  if (!wert_literal(wert, &literal)) {
    alert("Update nicht m\xf6glich!", "Texte in Hochkommas angeben, Zahlen ohne");
    return;
  }
  std::string statement =
      update_statement(row.table, row.names[c], literal, row.names[key], row.values[key]);
  int count = 0;
  std::string reason;
  int outcome = Do_SQL_Change(statement.c_str(), row.database, &count, &reason);
  finish_change(outcome, count, reason, true,
                row.names[key] + " = " + sql_literal(row.values[key]));
}

void DDBV_Loeschen(FL_OBJECT *, long) {
  int key = locate_key("L\xf6schen nicht m\xf6glich");
  if (key < 0) return;
  if (myfl_show_choice("Der ausgew\xe4hlte Datensatz wird gel\xf6scht!",
                       "Wollen Sie dennoch fortfahren?", "", 2, "Ja", "Nein", "", 3) != 1)
    return;
  const DDBV_ROW row = fd_DDBV->row;
  std::string statement = delete_statement(row.table, row.names[key], row.values[key]);
  int count = 0;
  std::string reason;
  int outcome = Do_SQL_Change(statement.c_str(), row.database, &count, &reason);
  finish_change(outcome, count, reason, false,
                row.names[key] + " = " + sql_literal(row.values[key]));
}
