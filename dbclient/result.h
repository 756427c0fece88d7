// Query execution and results of the client library: DBexec translates one
// SQL statement into a token request, sends it, receives the reply and
// decodes it into a DBresult; DBbinexec does the same for a request built by
// the caller in the query buffer.  The accessors give status, error text,
// field descriptions and values, raw or as display text (fixed per type
// here).  Results belong to the caller until DBclear.
#ifndef DBCLIENT_RESULT_H
#define DBCLIENT_RESULT_H

#include <cstddef>
#include <cstdint>

#include "dbclient/connection.h"
#include "dbclient/resdata.h"

enum DBResultStatus {
  DB_COMMAND_OK = 1,    // reply '1', '3' or an unlisted code; the initial value
  DB_TUPLES_OK = 2,     // reply '2': rows follow
  DB_NOT_ALL_DATA = 3,  // reply '4': rows follow, not all were sent
  DB_ERROR_REPLY = 4,   // the server answered '0', or the reply was malformed
  DB_SYNTAX_ERROR = 5,  // the statement did not translate; nothing was sent
};

struct DBresult {
  int32_t status = DB_COMMAND_OK;
  char errmsg[DB_ERRMSG_SIZE] = {0};
  int32_t ntuples = 0;     // the count of a '3' reply
  bool has_count = false;  // a '3' reply came
  RESDATA data;
};

// Runs one statement (a ';' is appended when missing; text is not changed).
// Returns a new result (the caller frees it with DBclear), or null when the
// request could not be sent or no reply was received: that is logged, the
// connection's status is DB_CONNECTION_BROKEN and its error text says why.
// A broken connection gets no further request (null at once), but a
// statement that does not translate still gives its DB_SYNTAX_ERROR result.
DBresult *DBexec(DBconn *conn, const char *text);

// Translates text as DBexec does (a private copy, ';' appended when missing)
// into the emptied query buffer.  1, or 0 with the error text in errmsg
// (DB_ERRMSG_SIZE bytes).
int DBtranslate(const char *text, char *errmsg);

// The same for the request the caller built in the query buffer.
DBresult *DBbinexec(DBconn *conn);

// Decodes the reply of len bytes (code at byte 0) into res, which must be
// fresh (as made by DBexec before sending).  Malformed replies give
// DB_ERROR_REPLY with a reader's text; nothing outside reply[0..len) is read.
void DBprocess_reply(DBresult *res, const char *reply, int len);
// The same for a reply in a block allocated with xmalloc, which it takes
// over: a result with rows keeps the block and its values where they are
// (freed by DBclear), otherwise the block is freed at once.
void DBprocess_owned_reply(DBresult *res, char *reply, int len);

// Accessors.  A null result gives 0 / -1 / "" as fitting; rows and fields
// count from 0, and values outside the table give "" or null.
int DBresultStatus(const DBresult *res);
// Ends with exactly one newline (appended in the record).  Belongs to res;
// for a null result a fixed text.
const char *DBresultErrorMessage(DBresult *res);
int DBntuples(const DBresult *res);
int DBnfields(const DBresult *res);
const char *DBfname(const DBresult *res, int field);
int DBfsize(const DBresult *res, int field);
// 0 CHARACTER, 1 BINARY, 2 SMALLINT, 3 INTEGER, 4 FLOAT, 5 TIME, 6 DATE,
// 7 TIMESTAMP, -1 other.
int DBftype(const DBresult *res, int field);

// Display text of a value; belongs to the result until DBclear.
const char *DBgetvalue(DBresult *res, int row, int field);
// Writes the display text of a SMALLINT, INTEGER, FLOAT, DATE, TIME or
// TIMESTAMP value, as DBgetvalue gives it, into out (at least
// DB_FLOAT_TEXT_SIZE bytes) without keeping it in the result.  Returns the
// text's length, or -1 (out untouched) for CHARACTER, BINARY, another type
// or a place outside the table.  For callers that go through every value
// once, such as a printer of large results.
int DBvalue_text(const DBresult *res, int row, int field, char *out);

// The stored bytes of a value (null outside the table).
const char *DBgetbinary(const DBresult *res, int row, int field);
// Copies a value in its binary form to dest: SMALLINT 2 bytes, INTEGER 4,
// FLOAT 8, DATE 4, TIME 3, TIMESTAMP 12, BINARY its length and bytes,
// CHARACTER the text with its NUL (a field of size 2: the one stored byte,
// 0 and 1 becoming '0' and '1', no NUL).  An unknown type is logged and ends
// the process.
void DBfillbinary(const DBresult *res, void *dest, int row, int field);

// Releases the result (null is allowed).
void DBclear(DBresult *res);

// Text form of n bytes: printable bytes stay ('$' doubled), a single other
// byte is "$XX", a run of them is 0xA7, hex pairs, 0xA7.  out must hold
// Binary_Text_Size(n) bytes.  Returns out.
char *Binary_Encode(const unsigned char *bytes, int n, char *out);
// Room for the text of n bytes: no byte takes more than three characters
// (a lone "$XX"; a run of k >= 2 takes 2k + 2), plus the NUL.  Two per byte
// and two markers is not enough: 0, '$', 0, '$', ... takes five per pair.
constexpr size_t Binary_Text_Size(int n) { return 3 * static_cast<size_t>(n > 0 ? n : 0) + 1; }

// Display text of a FLOAT value (decimals by magnitude, trailing zeros and
// separator trimmed) into out (at least DB_FLOAT_TEXT_SIZE bytes).
constexpr int DB_FLOAT_TEXT_SIZE = 400;
char *DBfloat_text(double x, char *out);

#endif
