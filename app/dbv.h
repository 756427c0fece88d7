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

// The database part of the session's name, upper-cased (the database a new
// session starts on).
std::string start_database(void);

#endif
