// The two query histories of the viewer: the SELECT entries (table,
// attributes, WHERE/ORDER BY clause as typed) and the SQL-command entries,
// 100 each, oldest first, each with its "saved" flag.  The query form
// records every query that ran successfully (history_record_select,
// history_record_sql); the history file halvid.qry and the browsing and
// marking buttons of the main window work on the same lists.
#ifndef APP_HISTORY_H
#define APP_HISTORY_H

#include <cstdint>

typedef struct FL_OBJECT_ FL_OBJECT;

enum {
  HIST_MAX = 100,        // entries of each list
  HIST_TEXT_SIZE = 1000  // a text holds at most HIST_TEXT_SIZE - 1 characters
};

extern char Sel_Table[HIST_MAX][HIST_TEXT_SIZE];
extern char Sel_Attrib[HIST_MAX][HIST_TEXT_SIZE];
extern char Sel_Where[HIST_MAX][HIST_TEXT_SIZE];
extern int32_t Sel_Save[HIST_MAX];  // 1: the entry goes into the history file
extern int32_t iSelect;             // number of SELECT entries
extern int32_t iSelect_Cnt;         // entry being browsed, -1 when not browsing
extern char SQL_Query[HIST_MAX][HIST_TEXT_SIZE];
extern int8_t SQL_Save[HIST_MAX];
extern int32_t iSQL, iSQL_Cnt;

// Records a SELECT by its three fields as typed.  Nothing is recorded when
// a text has more than HIST_TEXT_SIZE - 1 characters or when all three
// equal the reference entry (the browsed one, else the newest).  Otherwise
// a full list first drops its oldest entry (flags move with their
// entries), the entry is added unsaved and browsing ends.  1 when added (the
// caller switches the "saved" indicator off), else 0.
int history_record_select(const char *table, const char *attributes, const char *clause);
// The same for an SQL command and the SQL list.
int history_record_sql(const char *command);

// The history file and the browsing of the lists.
extern const char HISTORY_FILE[];  // "halvid.qry"
// Fills both lists from the history file: 1 (also without a file), 0 for a
// malformed file (the lists are then empty).
int load_sql_queries(void);
// Writes the saved entries into the history file: 1.
int save_sql_queries(void);
// Callbacks of the "Add", "Del", "@8" and "@2" buttons of the two groups.
void DBV_Select_Add(FL_OBJECT *object, long data);
void DBV_Select_Del(FL_OBJECT *object, long data);
void DBV_Select_Prev(FL_OBJECT *object, long data);
void DBV_Select_Next(FL_OBJECT *object, long data);
void DBV_SQL_Add(FL_OBJECT *object, long data);
void DBV_SQL_Del(FL_OBJECT *object, long data);
void DBV_SQL_Prev(FL_OBJECT *object, long data);
void DBV_SQL_Next(FL_OBJECT *object, long data);

#endif
