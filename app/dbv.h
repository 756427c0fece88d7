// The query form: the viewer's main window.  The user composes a SELECT
// from three fields or types any SQL command, runs it through the session
// layer and sees the rows in the result table (bound as "DBV" through the
// database tabbox binding); a double click on a row opens the detail
// window; the selector at the bottom switches the session's database.
// Every query that ran is recorded in the histories (history.h).  Each
// statement runs in its own transaction; while it runs the windows show
// the busy cursor.
#ifndef APP_DBV_H
#define APP_DBV_H

#include <forms.h>

#include <string>

#include "app/ddbv_sql.h"
#include "widgets/tabbox_model.h"

// The main window and its objects, in creation order.
struct FD_DBV {
  FL_FORM *DBV;
  FL_OBJECT *help;            // invisible help button
  FL_OBJECT *select_saved;    // "saved" indicator of the SELECT history
  FL_OBJECT *select_add;      // "Add"
  FL_OBJECT *select_del;      // "Del"
  FL_OBJECT *select_prev;     // "@8"
  FL_OBJECT *select_next;     // "@2"
  FL_OBJECT *execute_select;  // "Execute SELECT"
  FL_OBJECT *table;           // "Table "
  FL_OBJECT *attributes;      // "Attribute "
  FL_OBJECT *clause;          // WHERE / ORDER BY
  FL_OBJECT *sql_saved;       // "saved" indicator of the SQL history
  FL_OBJECT *sql_add;
  FL_OBJECT *sql_del;
  FL_OBJECT *sql_prev;
  FL_OBJECT *sql_next;
  FL_OBJECT *execute_sql;      // "Execute SQL-command"
  FL_OBJECT *sql;              // the SQL command
  FL_OBJECT *tabbox;           // the result table
  FL_OBJECT *database;         // "Database ": the database selector's input
  FL_OBJECT *database_button;  // its list button
  // The database the session is on, as far as the form knows: the one of
  // the last successful switch, or the start database after a reconnect.
  std::string db_in_use;
  // Where the shown result came from (empty statement before the first).
  DBV_SHOWN shown;
};

extern FD_DBV *fd_DBV;

// Builds the main window (721 x 606) and returns its record (kept for the
// whole run).
FD_DBV *create_form_DBV(void);

// Callbacks: "Execute SELECT", "Execute SQL-command", the database selector
// (also called once at start), the result table's double click and its
// object callback (does nothing).
void DBV_Durchfuehren(FL_OBJECT *object, long data);
void DBV_SQL_Befehl(FL_OBJECT *object, long data);
void DBV_CB_Database(FL_OBJECT *object, long data);
void DBV_dblclick(FL_OBJECT *object, long data);
void DBV_HOLD_TABBOX(FL_OBJECT *object, long data);

// Runs one statement that returns no rows in its own transaction: 1 when
// the server did it (result status "command done"), else 0.  A text with
// more than one statement is refused with an alert and not sent.
int Do_SQL(const char *statement);

// Outcomes of Do_SQL_Change.
enum {
  CHANGE_DONE,       // exactly one row (or the server gave no count)
  CHANGE_NONE,       // no row
  CHANGE_MANY,       // more than one row: taken back
  CHANGE_MANY_KEPT,  // more than one row, and taking it back failed
  CHANGE_OTHER_DB,   // the session is not on database: nothing was sent
  CHANGE_FAILED      // not done (alerted already, or the reason in *reason)
};
// Runs one UPDATE or DELETE in its own transaction, only while the
// session is on database, and reports the number of rows it changed in
// *count; a change of more than one row is taken back (ABORT) before the
// transaction ends.  *reason gets the server's or the connection's text
// when the statement failed.
int Do_SQL_Change(const char *statement, const std::string &database, int *count,
                  std::string *reason);
// Runs the statement of the shown result again and shows its rows: 1, or 0
// (alerted) when it failed.
int DBV_Refresh(void);
// Binds a viewer table ("DBV", "DDBV") to the _DBV record for a result with
// the given column title.  Its stored settings apply only when they were
// made for the same columns (the ini file keeps their title under
// "<name>_Spalten"); for other columns they are dropped and the new title
// kept.  A null title binds the start-up table with its placeholder title
// and keeps the stored settings for later.
void DBV_bind_table(FL_FORM *form, FL_OBJECT *tabbox, const char *name, const char *columns,
                    TABBOX_CALLBACK dblclick);

// The database part of the session's name, upper-cased (the database a new
// session starts on).
std::string start_database(void);

#endif
