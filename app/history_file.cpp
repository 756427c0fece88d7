// The history file halvid.qry and the history buttons of the main window
// (history.h): loading at start, saving through the base library's
// replacing write, the backup of a malformed file, and the "Add", "Del",
// "@8" and "@2" callbacks of the SELECT and SQL groups, which fill the
// inputs and the "saved" indicators of the query form (dbv.h).
#include "app/history.h"

#include <cerrno>
#include <cstdio>

#include "app/dbv.h"
#include "base/files.h"
#include "base/msglog.h"
#include "forms/inputs.h"
#include "widgets/goodies.h"

namespace {

// Saves after a change of the marks; the user learns when that failed.
void save_marks() {
  if (save_sql_queries()) return;
  myfl_show_alert("Die Abfragen konnten nicht gesichert werden!",
                  "Datei 'halvid.qry' ist nicht beschreibbar", "", 1);
}

// "Add" (on 1) and "Del" (on 0) of a group: the flag of the browsed or
// newest entry, the group's indicator, and the file.
template <class FLAG>
void mark(FLAG *flags, int count, int32_t browse, FL_OBJECT *indicator, int on) {
  int i = history_marked(count, browse);
  if (i < 0) return;
  flags[i] = static_cast<FLAG>(on);
  myfl_set_button(indicator, on);
  save_marks();
}

// The entry of the SELECT list shown in the three inputs, or empty inputs
// for -1; the indicator shows the entry's flag.
void show_select(int i) {
  fl_set_input(fd_DBV->table, i < 0 ? "" : Sel_Table[i]);
  fl_set_input(fd_DBV->attributes, i < 0 ? "" : Sel_Attrib[i]);
  fl_set_input(fd_DBV->clause, i < 0 ? "" : Sel_Where[i]);
  myfl_set_button(fd_DBV->select_saved, i < 0 ? 0 : Sel_Save[i]);
}

void show_sql(int i) {
  fl_set_input(fd_DBV->sql, i < 0 ? "" : SQL_Query[i]);
  myfl_set_button(fd_DBV->sql_saved, i < 0 ? 0 : SQL_Save[i]);
}

}  // namespace

int load_sql_queries(void) {
  history_parse_lines({});
  FILE *fp = fopen(HISTORY_FILE, "rb");
  // Only a missing file means an empty history; one that cannot be read is
  // kept aside like a malformed one.
  if (!fp) return errno == ENOENT ? 1 : 0;
  std::vector<std::string> lines;
  char buffer[HIST_TEXT_SIZE];
  while (in_line(fp, buffer)) lines.push_back(buffer);
  bool failed = ferror(fp) != 0;
  fclose(fp);
  if (failed) return 0;
  return history_parse_lines(lines);
}

int save_sql_queries(void) {
  std::string text = history_text();
  if (File_Replace(HISTORY_FILE, text.data(), text.size()) == FILE_REPLACE_OK) return 1;
  Log_Msg("ERROR: File '%s' cannot be opened for writing!\n", HISTORY_FILE);
  return 0;
}

int history_keep_malformed(void) {
  if (rename(HISTORY_FILE, HISTORY_BACKUP_FILE) == 0) {
    Log_Msg("Error reading SQL-commands from file '%s' (file is kept as '%s')!\n", HISTORY_FILE,
            HISTORY_BACKUP_FILE);
    return 1;
  }
  Log_Msg("Error reading SQL-commands from file '%s' (file cannot be kept as '%s')!\n",
          HISTORY_FILE, HISTORY_BACKUP_FILE);
  return 0;
}

void DBV_Select_Prev(FL_OBJECT *, long) {
  if (iSelect > 0) show_select(history_prev(iSelect, &iSelect_Cnt));
}

void DBV_Select_Next(FL_OBJECT *, long) { show_select(history_next(iSelect, &iSelect_Cnt)); }

void DBV_SQL_Prev(FL_OBJECT *, long) {
  if (iSQL > 0) show_sql(history_prev(iSQL, &iSQL_Cnt));
}

void DBV_SQL_Next(FL_OBJECT *, long) { show_sql(history_next(iSQL, &iSQL_Cnt)); }

void DBV_Select_Add(FL_OBJECT *, long) {
  if (myfl_get_input(fd_DBV->table)[0])
    mark(Sel_Save, iSelect, iSelect_Cnt, fd_DBV->select_saved, 1);
}

void DBV_Select_Del(FL_OBJECT *, long) {
  mark(Sel_Save, iSelect, iSelect_Cnt, fd_DBV->select_saved, 0);
}

void DBV_SQL_Add(FL_OBJECT *, long) {
  if (myfl_get_input(fd_DBV->sql)[0]) mark(SQL_Save, iSQL, iSQL_Cnt, fd_DBV->sql_saved, 1);
}

void DBV_SQL_Del(FL_OBJECT *, long) { mark(SQL_Save, iSQL, iSQL_Cnt, fd_DBV->sql_saved, 0); }
