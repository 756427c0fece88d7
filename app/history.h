// The two query histories of the viewer: the SELECT entries (table,
// attributes, WHERE/ORDER BY clause as typed) and the SQL-command entries,
// 100 each, oldest first, each with its "saved" flag.  The query form
// records every query that ran successfully (history_record_select,
// history_record_sql); the history file halvid.qry keeps the saved entries
// across runs; the arrow buttons of the main window browse the lists and
// "Add"/"Del" mark the shown entry.  history.cpp holds the lists and the
// rules without X (recording, the file's text, browsing); history_file.cpp
// the file itself and the buttons.
#ifndef APP_HISTORY_H
#define APP_HISTORY_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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

// The history file: the SELECT entries (three lines each: table,
// attributes, clause), then, when SQL entries follow, the line "---" and one
// line per SQL entry; only saved entries, oldest first.
extern const char HISTORY_FILE[];         // "halvid.qry"
extern const char HISTORY_BACKUP_FILE[];  // "halvid.qry.bak"

// The file's text for the saved entries of both lists.  A line feed inside
// a text is written as a blank, so that every entry keeps its lines.
std::string history_text(void);
// Fills both lists from the file's text (every entry saved, browsing off).
// A section with more than HIST_MAX entries keeps its newest HIST_MAX; a
// line longer than HIST_TEXT_SIZE - 1 characters keeps that many.  A text
// that ends inside a SELECT entry is malformed: 0 and both lists empty;
// else 1.
int history_parse(const std::string &text);
// The same for the file's lines (each without its line feed).
int history_parse_lines(const std::vector<std::string> &lines);

// Reads one line of fp into buffer (HIST_TEXT_SIZE bytes) without its line
// feed.  A longer line keeps its first HIST_TEXT_SIZE - 1 characters; the
// rest of it is passed over.  Returns buffer, or null at the end of the
// file (or on a read error, which ferror tells).
char *in_line(FILE *fp, char *buffer);

// Fills both lists from the history file: 1, also when there is no file;
// 0 (lists empty) when the file is malformed or cannot be read.
int load_sql_queries(void);
// Writes the saved entries into the history file through a new file that
// replaces the old one, so that a failure leaves the old file as it was.
// 1, or 0 after logging "ERROR: File '%s' cannot be opened for
// writing!\n".
int save_sql_queries(void);
// After a failed load: keeps the history file as HISTORY_BACKUP_FILE (an
// older backup is replaced) and logs where it went.  1 when it was moved.
int history_keep_malformed(void);

// Browsing, for a list of count entries and its browse index (-1: not
// browsing).  Each returns the entry to show, or -1 to empty the inputs
// (then browsing has ended).
// "@8": from not browsing to the newest entry, else one back, not below 0;
// -1 for an empty list (the index stays).
int history_prev(int count, int32_t *browse);
// "@2": one forward while browsing; passing the newest entry ends browsing.
int history_next(int count, int32_t *browse);
// The entry "Add" and "Del" mark: the browsed one, else the newest; -1 for
// an empty list.
int history_marked(int count, int32_t browse);

// Callbacks of the "Add", "Del", "@8" and "@2" buttons of the two groups.
// Marking or unmarking saves the history file at once; a failure is
// alerted.
void DBV_Select_Add(FL_OBJECT *object, long data);
void DBV_Select_Del(FL_OBJECT *object, long data);
void DBV_Select_Prev(FL_OBJECT *object, long data);
void DBV_Select_Next(FL_OBJECT *object, long data);
void DBV_SQL_Add(FL_OBJECT *object, long data);
void DBV_SQL_Del(FL_OBJECT *object, long data);
void DBV_SQL_Prev(FL_OBJECT *object, long data);
void DBV_SQL_Next(FL_OBJECT *object, long data);

#endif
