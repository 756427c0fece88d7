// The session record of the process and the ways the process ends.
// BESREC_Init (called by FE_Init) builds the one session record, opens the
// database session through the session layer, sets the process-wide
// defaults and caches and installs the signal handlers; BESREC_Free closes
// the session.  FE_Exit and BE_Exit end the process after a fatal error of
// the front end or back end, the signal handlers after a signal.
#ifndef FORMS_BESREC_H
#define FORMS_BESREC_H

#include <cstdint>

#include "base/containers.h"
#include "base/dates.h"
#include "dbclient/session.h"

enum { BESREC_NAME_SIZE = 20, BESREC_WORK_SIZE = 176, DEF_STRING_LEN = 8000 };

// The session record: every database operation of the application starts
// from it.  Fields in their fixed order; the unset words are left as
// allocated.
struct BESREC {
  DBHANDLE *handle;  // stored by dbopen
  char code[4];      // "D   "
  int32_t unset1;
  int32_t state;  // 1
  int32_t unset2[10];
  char *work;                     // BESREC_WORK_SIZE bytes from mymalloc, contents as allocated
  int32_t counters[4];            // 0
  ARRAY *array;                   // empty
  char dbname[BESREC_NAME_SIZE];  // "prefix/db", "prefix/" or "db", at most 19
  DATE def_date;                  // copy of _Def_Date
  int32_t zero;                   // 0
};

// A string cache: capacity slots of key texts and values; the code-table
// look-ups of the framework fill and read it.
struct MYCACHE {
  int32_t capacity;
  int32_t count;
  int32_t next;  // the slot written next
  char **keys;
  char **values;
};

extern BESREC *pBESREC;
extern char _Def_String[DEF_STRING_LEN + 1];  // blanks
extern int16_t _Def_Binary;
extern MYCACHE *Cache_Tablecode;     // 1000 entries
extern MYCACHE *Cache_Tabletext;     // 1000 entries
extern MYCACHE *Cache_SVZTSelectLk;  // 200 entries

// Allocates and fills the session record (stored through address), opens
// the session with the record's name and installs the signal handlers.
// The name: a given "prefix/db" stays; otherwise, when the environment
// variable DBSYS is set, it becomes "$DBSYS/name".  A resulting name of more
// than 19 characters is refused with "(BESREC_Init) DB-name %s is too long
// (max. 19)\n" and no session is opened.  Returns 1 when the session is
// open, else 0; the record is filled either way and belongs to the caller
// until BESREC_Free.
int BESREC_Init(BESREC **address, const char *name);

// Closes the session (dbclose) and releases the record; null is ignored.
void BESREC_Free(BESREC *rec);

// A new empty cache of capacity slots (mymalloc; lives for the process).
MYCACHE *Make_MYCache(int capacity);

// Seeds the library's random-number generator (rand) from the clock and the
// process id; n is the reseeding interval of the original generator, which
// no caller of this system draws from.
void randinit(int n);

// Fatal errors: log "Error occurred (data is saved)! Please restart the
// application!\n" / "BE-Error occurred! Please restart the application!\n"
// and end the process through Msglog_Exit(code).
[[noreturn]] void FE_Exit(int code);
[[noreturn]] void BE_Exit(int code);

// Signal handlers: log one line and end the process at once with status 1
// (_exit: no exit handlers, no flushing of standard streams).
[[noreturn]] void Abort_FPE(int sig);
[[noreturn]] void Abort_SEGV(int sig);
[[noreturn]] void Abort_BUS(int sig);
[[noreturn]] void Abort_PIPE(int sig);
[[noreturn]] void Exit(int sig);

#endif
