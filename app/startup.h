// The viewer's entry and exit: torvane_main (the start-up in its order, the
// event loop), the database name from the command line, the window title,
// the close handlers of the two windows and of the process, and the
// callback that does nothing.  The session record, the fatal ends and the
// signal handlers are the framework's (forms/besrec.h).
#ifndef APP_STARTUP_H
#define APP_STARTUP_H

typedef struct FL_FORM_ FL_FORM;
typedef struct FL_OBJECT_ FL_OBJECT;

enum { DBNAME_SIZE = 20 };  // database name: at most 19 characters

// "Dadazudi-Zudeda", the version and the notice of authorship.
extern const char TORVANE_TITLE[];

// Takes the database name from argv[1 ... argc-1] into name (DBNAME_SIZE
// characters): the buffer starts as "" when it held "-", else as "kvsys";
// each argument beginning with "-db" sets it to the rest (the last one
// counts).  A rest longer than 19 characters logs "(ARGV_GetDB_Name)
// DB-name %s is too long (max. 19)\n" and ends the process with status 1.
void ARGV_GetDB_Name(char **argv, int argc, char *name);

struct BESREC;
// 1 when the session is an SQL-server session (the only kind dbopen makes).
int Is_DBSQL(const BESREC *record);

// Empties DBV_TABBOX_Title.
void Init_GlobVars(void);

// Close of the main window: asks "Soll VI-Rudire beendet werden?"; on
// "Ja" saves the history, closes the session and ends the process with
// status 0 (1 when the history could not be saved), otherwise returns -1
// (the window stays).
int DBV_AtClose(FL_FORM *form, void *data);
// Close of the detail window: hides it, activates the main window: -1.
int DDBV_AtClose(FL_FORM *form, void *data);
// The process-wide close handler: a close is ignored (-1).
int Close_Ignore(FL_FORM *form, void *data);
// An object callback that does nothing.
void Ignore(FL_OBJECT *object, long data);

// The start-up after the toolkit: the database name, the history, the
// server's port from KORVAL_PORT, FE_Init, the two windows and
// myfl_init_forms (which switches to the default database).
void torvane_start(int argc, char **argv);

// The program: the start-up (message log, toolkit, database name, history,
// FE_Init, the two windows, myfl_init_forms), "-doku" or the main window
// and the event loop.  The port of the server may be given in the
// environment as KORVAL_PORT.  Returns the exit status.
int torvane_main(int argc, char **argv);

#endif
