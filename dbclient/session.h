// The session layer between the application and the client library: opens
// and closes the one database session of the process, nests transactions so
// that only the outermost dbbegin/dbend reach the server, reconnects once
// when a transaction cannot be started because the connection is gone,
// executes statements and sorts their outcome into error classes with log
// messages, and gives uniform access to results.
#ifndef DBCLIENT_SESSION_H
#define DBCLIENT_SESSION_H

#include <cstdint>

#include "dbclient/connection.h"
#include "dbclient/result.h"

constexpr int32_t DBKIND_SQL = 0;  // the only kind dbopen makes

// Session handle: made by dbopen, released by dbclose.
struct DBHANDLE {
  int32_t kind;
  DBconn *conn;
};

// Result wrapper: provided by the caller, filled by the execute operations.
// After an execute the result in it (if any) belongs to the caller until
// dbresfree.
struct DBRES {
  int32_t kind;
  DBresult *res;
};

// Session result status.
enum {
  MYDB_COMMAND_OK = 1,
  MYDB_TUPLES_OK = 2,
  MYDB_BAD_RESPONSE = 3,
  MYDB_NONFATAL_ERROR = 4,
  MYDB_FATAL_ERROR = 5,
};

// Transaction nesting depth (begins minus ends).
extern int32_t ibegin;

// Opens the session for name ("prefix/db" connects to db, "prefix/" to the
// empty name, anything else to the whole name) and stores a new handle
// through where.  The session keeps the address where (and a copy of name):
// when dbbegin finds the connection gone it opens a new session and writes
// the new handle through where.  So *where must stay valid, and be the place
// the caller reads its handle from, until dbclose.
// 1 connected; 0 not connected (logged; the handle exists all the same).
int dbopen(DBHANDLE **where, const char *name);

// The port dbopen connects to: null (the default) for the usual one of
// DBsetdb, else the text given (copied).  For tools and tests that talk to a
// server on another port.
void dbsetport(const char *port);

// Ends the connection and releases the handle and its connection record.
void dbclose(DBHANDLE *handle);

// Opens a transaction: "BEGIN" goes out only when the depth moves from 0
// to 1.  When no reply comes back, the session is reopened once (the new
// handle is written through the address given to dbopen; handle itself is
// then stale and is not released) and "BEGIN" sent again.
// 1 / 0 (logged).  A failed dbbegin does not count as a begin.
int dbbegin(DBHANDLE *handle);

// Closes a transaction: "END" goes out when the depth moves from 1 to 0.
// More ends than begins are logged as an underflow and the depth is set
// back to 0.  1 / 0 (END got no reply).
int dbend(DBHANDLE *handle);

// Executes a statement into the wrapper and stores the session status
// through status (may be null; MYDB_FATAL_ERROR when no reply came back).
// 1 for done, rows and non-fatal errors (statement did not translate);
// 0 (logged) for no reply, a bad response or a fatal error.
int dbexec1(DBHANDLE *handle, const char *statement, DBRES *result, int *status);
// The same for "%s %s" of a command word and its argument text.
int dbexec(DBHANDLE *handle, const char *command, const char *args, DBRES *result, int *status);
// The same for the request already built in the query buffer.
int dbbinexec1(DBHANDLE *handle, DBRES *result, int *status);

// Session status of a wrapper's result (MYDB_BAD_RESPONSE for a kind other
// than SQL; 0 when there is no result).
int dbresultstatus(const DBRES *result);
// Releases the wrapper's result (DBclear); the wrapper then holds none.
void dbresfree(DBRES *result);
// Accessors: -1 / null / null for a kind other than SQL.
int dbnfields(const DBRES *result);
int dbntuples(const DBRES *result);
const char *dbfname(const DBRES *result, int field);
const char *dbgetvalue(DBRES *result, int row, int field);

#endif
