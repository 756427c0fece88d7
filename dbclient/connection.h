// Connections of the client library to the KORVAL server: the connection
// record DBconn, opening (DBconnect, DBsetdb, DBcreatedb), closing
// (DBfinish), dropping and reopening a database, stopping the server, and
// sending the query buffer / receiving one reply as framed messages (wire.h).
// One TCP connection to the server on this machine per open database; all
// I/O is blocking.  A failed send or receive is not fatal: it is logged, the
// connection's status becomes DB_CONNECTION_BROKEN and the caller gets a
// failure result.
#ifndef DBCLIENT_CONNECTION_H
#define DBCLIENT_CONNECTION_H

#include <cstddef>
#include <cstdint>

#include "proto/wire.h"

enum DBConnStatus {
  DB_CONNECTION_OK = 0,
  DB_CONNECTION_FAILED = 1,  // connect failed or the server refused; error text set
  DB_CONNECTION_BROKEN = 6,  // a send or receive failed
};

constexpr int DB_ERRMSG_SIZE = 10000;
constexpr int DB_RECV_BUFSIZE = 10000;

struct DBconn {
  int32_t status;
  int32_t socket;               // -1 when there is none
  char *dbname;                 // owned copy, upper-cased; null without a name
  char errmsg[DB_ERRMSG_SIZE];  // NUL-terminated; empty when there is no error
};

// Opens a connection to the server on 127.0.0.1 and the database dbname
// (create 1: creates it first).  host: null for this machine's name (it only
// has to resolve); port: text or null for 12453 (a "KORVAL"/"tcp" services
// entry wins over both); reserved is not used.  dbname is upper-cased in
// place.  Always returns a new record (free it with DBfreeconn): status 0,
// or status 1 with the reason in the error text (no socket stays open then).
DBconn *DBconnect(const char *host, const char *port, int reserved, int create, char *dbname);
DBconn *DBsetdb(const char *host, const char *port, int reserved, char *dbname);
DBconn *DBcreatedb(const char *host, const char *port, int reserved, char *dbname);

// DBsetdb with a time limit: the connection must be made and the open
// request answered within timeout_ms milliseconds (0 or less: no limit, as
// DBsetdb).  When the time runs out: status 1 and the error text "(KORVAL)
// No answer from the server within N s" (N the limit in seconds).  The
// requests that follow have no limit.
DBconn *DBsetdb_timeout(const char *host, const char *port, char *dbname, int timeout_ms);

// The TCP port DBconnect uses for port (text or null): the services entry
// "KORVAL"/"tcp" if there is one, else the number in port, else 12453.
// -1 when port is no number in 0...65535 (DBconnect then fails).
int DBport(const char *port);

// The status field; DB_CONNECTION_BROKEN for a null record.
int DBstatus(const DBconn *conn);

// Makes the NUL-terminated text in buf (size bytes) end with a line feed:
// one is appended unless it is there, the text cut by one character when
// there is no room.  Returns buf.  The rule of every error text handed out.
char *DBend_line(char *buf, size_t size);

// The error text, made to end with a newline (DBend_line, in the record).  The text belongs to the
// record.  For a null record a fixed text.
const char *DBerrorMessage(DBconn *conn);

// Clears the error text, sends the disconnect request (no reply) and closes
// the socket.  Returns 1.  The record stays valid for DBstatus and
// DBerrorMessage but must not be used for requests any more.
int DBfinish(DBconn *conn);
int DBdisconnect(DBconn *conn);

// Drops the open database: 1 when the server did (the connection is then
// finished as by DBfinish), 0 when it refused (status 1, error text) or the
// transport failed (status 6).
int DBdropdb(DBconn *conn);

// Sends a disconnect and then an open request for the record's database on
// the same socket.  1: status 0; 0: status 1 and the refusal text, or status 6
// when the transport failed.
int DBreset(DBconn *conn);

// Connects on a socket of its own and sends the stop request 'W' without
// waiting.  1 once the connection was made, 0 (logged) when it could not be.
int DBstopdb(const char *host, const char *port);

// Releases a record made by DBconnect, closing its socket if still open.
void DBfreeconn(DBconn *conn);

// Sends the query buffer as one message.  1, or 0 after logging
// "DBsend: No data to send\n" (empty buffer or write failure): status 6.
int DBsend(DBconn *conn);

// Receives one message into buffer (size bytes), or, when big and bigsize
// are given and it is larger, into a block allocated for the caller (*big,
// *bigsize; null and -1 when the buffer sufficed).  1 with the length in
// *length, or 0 after logging "DBrecv: No data received\n": status 6.
int DBrecv(DBconn *conn, char *buffer, int size, int *length, char **big, int *bigsize);

// The same transfers without log messages or status changes: 1 / 0.
int DBsend_data(DBconn *conn, const char *data, int length);
int DBrecv_data(DBconn *conn, char *buffer, int size, int *length, char **big, int *bigsize);

#endif
