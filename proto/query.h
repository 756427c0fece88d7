// The KORVAL token stream: every request to the server and every reply from
// it is a flat byte string of one-byte command and token codes, each
// optionally followed by a value (little-endian integers, 16-bit lengths for
// names, strings and data, IEEE 754 doubles).  This module owns the
// encodings (DBencoder), written once for two destinations: the client's
// query buffer with its appending operations DBquery_add*, and DBwriter,
// which appends to a byte vector (the server's replies).  It also holds the
// bounds-checked readers DBget_* and DBmatch_* that work on any byte
// buffer, the reply-building operations and tok_translate, which names a
// token code for syntax-error texts.  It sits below dbclient and the
// server: the scanner and grammar emit into the buffer, the transport sends
// it, the result decoder and the server read with the readers.
#ifndef PROTO_QUERY_H
#define PROTO_QUERY_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/msglog.h"
#include "proto/endian.h"

// ---------------------------------------------------------------------------
// Token codes (one byte).  The comment names the SQL word or role.
enum : int {
  TOK_FOR = 33,                   // FOR
  TOK_DECLARE = 36,               // DECLARE
  TOK_ALL = 37,                   // ALL
  TOK_CLOSE = 38,                 // CLOSE
  TOK_ABORT = 40,                 // ABORT
  TOK_BEGIN = 41,                 // BEGIN
  TOK_COMMIT = 47,                // COMMIT
  TOK_CHARACTER = 48,             // CHARACTER (type '0')
  TOK_SMALLINT = 49,              // SMALLINT (type '1')
  TOK_INTEGER = 50,               // INTEGER (type '2')
  TOK_FLOAT = 51,                 // FLOAT (type '3')
  TOK_DATE = 52,                  // DATE (type '4')
  TOK_TIME = 53,                  // TIME (type '5')
  TOK_TIMESTAMP = 54,             // TIMESTAMP (type '6')
  TOK_DISTINCT = 55,              // DISTINCT
  TOK_SHOW = 56,                  // SHOW
  TOK_INDEX = 57,                 // INDEX
  TOK_SELECT_EXISTS = 61,         // EXISTS test on a subselect (grammar)
  TOK_TABLE = 63,                 // TABLE
  TOK_LPAREN = 65,                // (
  TOK_RPAREN = 66,                // )
  TOK_COUNT = 67,                 // COUNT
  TOK_DOT = 68,                   // . of a qualified name
  TOK_COMMA = 69,                 // ,
  TOK_NULL = 70,                  // NULL
  TOK_ORDER_BY = 72,              // ORDER BY
  TOK_MIN = 73,                   // MIN
  TOK_MAX = 74,                   // MAX
  TOK_EXISTS = 76,                // EXISTS
  TOK_IN = 77,                    // IN
  TOK_LT = 78,                    // <
  TOK_GT = 79,                    // >
  TOK_LE = 80,                    // <=
  TOK_GE = 81,                    // >=
  TOK_EQ = 82,                    // =
  TOK_NE = 83,                    // <>
  TOK_NOT = 84,                   // NOT
  TOK_SET = 85,                   // SET
  TOK_LIKE = 86,                  // LIKE
  TOK_STAR = 87,                  // *
  TOK_VALUES = 88,                // VALUES
  TOK_BETWEEN = 89,               // BETWEEN
  TOK_CURSOR = 90,                // CURSOR
  TOK_ASC = 91,                   // ASC
  TOK_DESC = 93,                  // DESC
  TOK_NAME = 97,                  // 'a' name value (identifier)
  TOK_ERRMSG = 98,                // 'b' error message value
  TOK_SHORT = 99,                 // 'c' smallint value
  TOK_INT = 100,                  // 'd' integer value
  TOK_DOUBLE = 101,               // 'e' float value
  TOK_STRING = 102,               // 'f' string value
  TOK_RESULT = 104,               // 'h' result value
  TOK_BOOL = 105,                 // 'i' bool value
  TOK_ON = 106,                   // ON
  TOK_CREATE_DATABASE = 107,      // CREATE DATABASE
  TOK_CREATE_TABLE = 108,         // CREATE TABLE
  TOK_CREATE_INDEX = 109,         // CREATE INDEX
  TOK_CREATE_UNIQUE_INDEX = 110,  // CREATE UNIQUE INDEX
  TOK_DROP_DATABASE = 111,        // DROP DATABASE
  TOK_DROP_TABLE = 112,           // DROP TABLE
  TOK_DROP_INDEX = 113,           // DROP INDEX
  TOK_INSERT_INTO = 114,          // INSERT INTO
  TOK_UPDATE = 115,               // UPDATE
  TOK_DELETE_FROM = 116,          // DELETE FROM
  TOK_SELECT = 117,               // SELECT
  TOK_FROM = 118,                 // FROM
  TOK_WHERE = 119,                // WHERE
  TOK_END = 120,                  // 'x': ';' and END; also past the data end
  TOK_AND = 121,                  // AND
  TOK_OR = 122,                   // OR
  TOK_SAVE = 123,                 // SAVE
  TOK_DATABASE = 125,             // DATABASE
  TOK_BINARY = 166,               // BINARY (type)
  TOK_FETCH = 167,                // FETCH
  TOK_SECURE = 196,               // SECURE
  TOK_STOP = 214,                 // STOP
  TOK_STATIC = 223,               // STATIC
  TOK_INDICES = 228,              // INDICES
  TOK_DATABASES = 246,            // DATABASES
  TOK_TABLES = 252,               // TABLES
  TOK_NONE = 45                   // '-': the scanner recognised nothing
};

// Command codes: the first byte of every request.
enum : int {
  CMD_OPEN_DATABASE = 49,        // '1' open database + name token
  CMD_DISCONNECT = 50,           // '2' no reply
  CMD_CREATE_DATABASE = 51,      // '3' create (and open) + name token
  CMD_DROP_DATABASE = 52,        // '4' drop the open database
  CMD_CREATE_TABLE = 53,         // '5'
  CMD_DROP_TABLE = 54,           // '6'
  CMD_CREATE_INDEX = 55,         // '7'
  CMD_CREATE_UNIQUE_INDEX = 56,  // '8'
  CMD_DROP_INDEX = 57,           // '9'
  CMD_SELECT = 67,               // 'C'
  CMD_INSERT = 69,               // 'E'
  CMD_DELETE = 71,               // 'G'
  CMD_UPDATE = 73,               // 'I'
  CMD_BEGIN = 74,                // 'J'
  CMD_COMMIT = 75,               // 'K' (COMMIT and END)
  CMD_ABORT = 77,                // 'M'
  CMD_DECLARE = 78,              // 'N' cursor
  CMD_FETCH = 79,                // 'O'
  CMD_CLOSE = 80,                // 'P'
  CMD_SET_STATIC = 81,           // 'Q' SET TABLE t STATIC
  CMD_SAVE_DATABASE = 82,        // 'R'
  CMD_SHOW = 83,                 // 'S'
  CMD_MAX = 84,                  // 'T'
  CMD_SET_SECURE = 85,           // 'U' SET TABLE t SECURE
  CMD_STOP = 86,                 // 'V' STOP statement
  CMD_STOP_SERVER = 87,          // 'W' stop request, no reply
  CMD_SET_DATABASE = 88          // 'X'
};

// Reply codes: the first byte of every reply.
enum : int {
  REPLY_ERROR = 48,      // '0' + error-message token
  REPLY_OK = 49,         // '1' done, no data
  REPLY_DATA = 50,       // '2' rows follow
  REPLY_TUPLES = 51,     // '3' done, 32-bit count follows
  REPLY_NOTALLDATA = 52  // '4' rows follow, not all were sent
};

// Results of the readers.  A reader returns the position after the element
// or one of these (all negative).
enum : int {
  DB_GET_END = -1,       // DBmatch_*: the position is exactly at the end
  DB_GET_SHORT = -2,     // the data ends inside the element (need more)
  DB_GET_MALFORMED = -3  // a length field is negative, or a name/string
                         // lacks its terminating NUL
};

// Size an error-text buffer given to a reader must have at least.
constexpr int DB_GET_ERRSIZE = 256;
// Size the out buffer of tok_translate must have (with the NUL).
constexpr int TOK_TEXT_SIZE = 20;
// Longest name or string (characters without the NUL) the 16-bit length
// field can carry, and longest data value.
constexpr int DB_MAX_STRING = 32766;
constexpr int DB_MAX_DATA = 32767;

// ---------------------------------------------------------------------------
// The encodings.  DBencoder<Out> appends the elements of the token stream
// through Out::add(const void *data, int n), where Out is the class that
// derives from it; the query buffer below and DBwriter are its two
// destinations, so both write the same bytes.  None reports failure.
template <class Out>
class DBencoder {
 public:
  void addcmd(int code) {
    char c = static_cast<char>(code);
    out().add(&c, 1);
  }
  void addtoken(int code) { addcmd(code); }
  void addint(int32_t value) {
    char b[4];
    le_put32(b, static_cast<uint32_t>(value));
    out().add(b, 4);
  }
  void addshort(int16_t value) {
    char b[2];
    le_put16(b, static_cast<uint16_t>(value));
    out().add(b, 2);
  }
  void adddouble(double value) {
    char b[8];
    le_put_double(b, value);
    out().add(b, 8);
  }
  // A string without a code: 16-bit length (characters + 1), characters,
  // NUL.  A null text is empty; a text longer than DB_MAX_STRING is cut
  // there (logged).
  void addstring(const char *text) {
    if (!text) text = "";
    addstring(text, strlen(text));
  }
  // The same for the first n characters at text (which need no NUL).
  void addstring(const char *text, size_t n) {
    if (n > static_cast<size_t>(DB_MAX_STRING)) {
      Log_Msg("(DBquery_addstring) Text of %d characters cut to %d\n", static_cast<int>(n),
              DB_MAX_STRING);
      n = DB_MAX_STRING;
    }
    addshort(static_cast<int16_t>(n + 1));
    out().add(text, static_cast<int>(n));
    addcmd(0);
  }
  // A 16-bit length n and n bytes, without a code (a reply value).  A
  // negative n counts as 0; n above DB_MAX_DATA is cut there (logged).
  void adddata(const void *data, int n) {
    if (n < 0) n = 0;
    if (n > DB_MAX_DATA) {
      Log_Msg("(DBquery_adddata) Value of %d bytes cut to %d\n", n, DB_MAX_DATA);
      n = DB_MAX_DATA;
    }
    addshort(static_cast<int16_t>(n));
    out().add(data, n);
  }
  void addtokname(int code, const char *text) {
    addtoken(code);
    addstring(text);
  }
  void addtokstring(int code, const char *text) {
    addtoken(code);
    addstring(text);
  }
  void addtokint(int code, int32_t value) {
    addtoken(code);
    addint(value);
  }
  void addtokshort(int code, int16_t value) {
    addtoken(code);
    addshort(value);
  }
  void addtokdouble(int code, double value) {
    addtoken(code);
    adddouble(value);
  }
  void addtokdata(int code, const void *data, int n) {
    addtoken(code);
    adddata(data, n);
  }

  // Reply building: the first byte of a reply and what follows it.
  void addok() { addcmd(REPLY_OK); }        // '1'
  void addokdata() { addcmd(REPLY_DATA); }  // '2' (field count, rows follow)
  void addoktuples(int32_t count) {         // '3' and the count
    addcmd(REPLY_TUPLES);
    addint(count);
  }
  void addnotalldata() { addcmd(REPLY_NOTALLDATA); }  // '4'
  void adderrmsg(const char *text) {                  // '0', 'b' and the text
    addcmd(REPLY_ERROR);
    addtokstring(TOK_ERRMSG, text);
  }

 private:
  Out &out() { return static_cast<Out &>(*this); }
};

// Appends the token stream to a byte vector that the caller owns and that
// outlives the writer (the server builds its replies so).
class DBwriter : public DBencoder<DBwriter> {
 public:
  explicit DBwriter(std::vector<char> &out) : out_(out) {}
  // Appends n raw bytes; a negative n appends nothing.
  void add(const void *data, int n) {
    const char *p = static_cast<const char *>(data);
    if (n > 8) {
      out_.insert(out_.end(), p, p + n);
    } else {
      // the lengths and numbers of a reply's values: byte by byte is
      // quicker than a call to copy a few bytes
      for (int i = 0; i < n; i++) out_.push_back(p[i]);
    }
  }

 private:
  std::vector<char> &out_;
};

// ---------------------------------------------------------------------------
// The query buffer, in which the client builds its requests.  One per
// thread: a thread of its own (a test's, for instance) starts with an
// unallocated one.  Allocated on the first append, reused by every request
// and never shrunk; query_max is -1 until the first append.
extern thread_local char *query_data;
extern thread_local int32_t query_size;
extern thread_local int32_t query_max;

// Empties the buffer (size 0, the memory stays).
void DBquery_init();
// Releases the calling thread's buffer (query_max back to -1).  For threads
// other than the client's main thread, at their end.
void DBquery_free();

// Appending, with the encodings of DBencoder.  None reports failure;
// exhausted memory ends the process.  A negative n appends nothing.
void DBquery_add(const void *data, int n);
void DBquery_addcmd(int code);
void DBquery_addtoken(int code);
void DBquery_addint(int32_t value);
void DBquery_addshort(int16_t value);
void DBquery_adddouble(double value);
void DBquery_addstring(const char *text);
void DBquery_adddata(const void *data, int n);
void DBquery_addtokname(int code, const char *text);
void DBquery_addtokstring(int code, const char *text);
void DBquery_addtokint(int code, int32_t value);
void DBquery_addtokshort(int code, int16_t value);
void DBquery_addtokdouble(int code, double value);
void DBquery_addtokdata(int code, const void *data, int n);

// Reply building, as DBencoder does it: '1', '2', '3' with the count, '4',
// and '0' with 'b' and the text.
void DBquery_addok();
void DBquery_addokdata();
void DBquery_addoktuples(int32_t count);
void DBquery_addnotalldata();
void DBquery_adderrmsg(const char *text);

// ---------------------------------------------------------------------------
// Reading.  Every reader takes the position pos in data of len bytes, an out
// value and an error buffer err of at least DB_GET_ERRSIZE bytes; it returns
// the position after the element, or a negative DB_GET_* after writing an
// error text into err.  Nothing is read outside data[0..len).  Pointers
// handed out point into data and live as long as it does; a name or string
// is guaranteed NUL-terminated within its announced length.
//
// DBget_token at pos == len yields TOK_END ('x') and returns pos unchanged.
int DBget_token(int pos, const char *data, int len, int *token, char *err);
int DBget_short(int pos, const char *data, int len, int16_t *value, char *err);
int DBget_int(int pos, const char *data, int len, int32_t *value, char *err);
int DBget_double(int pos, const char *data, int len, double *value, char *err);
// *text points at the characters (NUL-terminated inside data).
int DBget_name(int pos, const char *data, int len, const char **text, char *err);
int DBget_string(int pos, const char *data, int len, const char **text, char *err);
// 16-bit length and bytes.
int DBget_data(int pos, const char *data, int len, const char **bytes, int *n, char *err);

// Matching.  DBmatch_token returns DB_GET_END at pos == len (no text),
// DB_GET_SHORT beyond it, DB_GET_MALFORMED with "Syntax error: %s expected
// (found %s)" when the byte differs, else pos + 1.  The typed forms match
// their code ('c', 'd', 'e', 'a', 'f') and read the value after it.
int DBmatch_token(int pos, const char *data, int len, int expected, char *err);
int DBmatch_tokshort(int pos, const char *data, int len, int16_t *value, char *err);
int DBmatch_tokint(int pos, const char *data, int len, int32_t *value, char *err);
int DBmatch_tokdouble(int pos, const char *data, int len, double *value, char *err);
int DBmatch_tokname(int pos, const char *data, int len, const char **text, char *err);
int DBmatch_tokstrg(int pos, const char *data, int len, const char **text, char *err);
// Matches 'b' and its string.  On success *text points into data; on
// failure it points to a per-thread static buffer (256 characters, valid
// until the next failed call in the thread) holding the syntax error, and
// the result is negative.
int DBmatch_errmsg(int pos, const char *data, int len, const char **text);

// Writes the text of a token code into out (at most TOK_TEXT_SIZE bytes with
// the NUL; "<unknown token>" for codes without a text) and returns out.
char *tok_translate(int code, char *out);

// The data types of the wire, in the order of their small type numbers:
// the type token of a field description, the byte size of a value and the
// type's name.  CHARACTER(n) and BINARY(n) take n bytes plus their size
// (CHARACTER its NUL, BINARY its 16-bit length); the others are fixed.
struct DBTYPE {
  int code;
  int size;
  bool sized;  // declared with an n
  const char *name;
};
constexpr int DB_TYPE_COUNT = 8;
extern const DBTYPE db_types[DB_TYPE_COUNT];

// The small type number of a type token: 0 CHARACTER, 1 BINARY, 2 SMALLINT,
// 3 INTEGER, 4 FLOAT, 5 TIME, 6 DATE, 7 TIMESTAMP, -1 any other code.
int DBtype_number(int code);
// The entry of a type token, or null for a code that is no type.
const DBTYPE *DBtype_of(int code);

#endif
