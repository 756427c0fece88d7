// Column types of korvald: the eight KORVAL data types, how a column of each
// type is declared in the SQLite schema (the declared type text is the
// catalogue), how request values are checked and turned into stored values,
// and how dates, times and timestamps are stored as fixed-width texts whose
// byte order is their chronological order.  Used by the request decoder, the
// SQL generation, the statement executor (session.cpp) and the demo data.
// Every function here is thread-safe.
#ifndef SERVER_TYPES_H
#define SERVER_TYPES_H

#include <cstdint>
#include <string>

#include "base/dates.h"
#include "proto/query.h"

// The types in the order of the wire's type table: a type's value is its
// index in db_types (proto/query.h), which gives its type token, name and
// byte size.  The values live only in memory; the schema holds the names.
enum KvType {
  KV_CHARACTER,
  KV_BINARY,
  KV_SMALLINT,
  KV_INTEGER,
  KV_FLOAT,
  KV_TIME,
  KV_DATE,
  KV_TIMESTAMP
};

// Longest CHARACTER(n) and BINARY(n): a value with its NUL or length field
// must fit the 16-bit value length of a reply.
constexpr int KV_MAX_CHARACTER = DB_MAX_STRING;
constexpr int KV_MAX_BINARY = DB_MAX_DATA - 2;

// One column of a table as the catalogue knows it.
struct KvColumn {
  std::string name;
  KvType type = KV_CHARACTER;
  int len = 0;  // n of CHARACTER(n) / BINARY(n), else 0
  bool notnull = false;
};

// A field of a result as the reply describes it: name, type and the field
// size (CHARACTER(n) n + 1, BINARY(n) n + 2, the fixed types their size).
struct KvField {
  std::string name;
  KvType type = KV_CHARACTER;
  int size = 0;
};

// The declared type written into CREATE TABLE ("CHARACTER(20)", "DATE").
std::string kv_declared_type(KvType type, int len);
// Reads a declared type back.  Types written by other programs are mapped
// by SQLite's own affinity rules (INT -> INTEGER, REAL/FLOA/DOUB -> FLOAT,
// anything else -> CHARACTER(255)).
KvColumn kv_parse_declared(const std::string &name, const std::string &decl);

// A value as it is handed to the storage.
struct KvBound {
  enum Kind { NUL, INT, REAL, TEXT, BLOB } kind = NUL;
  // What a TEXT holds: a date, time or timestamp in its stored form, or
  // anything else.
  enum Form { AS_IS, AS_DATE, AS_TIME, AS_TIMESTAMP } form = AS_IS;
  int64_t i = 0;
  double d = 0;
  std::string s;  // TEXT and BLOB bytes
};

// A literal of a request: integer, float or string (Latin-1 bytes).
struct KvLiteral {
  enum Kind { INT, FLOAT, STR } kind = INT;
  int32_t i = 0;
  double d = 0;
  std::string s;
};

// Converts a literal into the stored value of a column of the given type.
// Strings that spell a number are accepted for numeric columns, numbers are
// accepted as text for CHARACTER; dates, times and timestamps must be
// strings in one of the accepted forms and valid.  On failure returns false
// with a message naming the column in *err.  With gregorian, a date that
// only KORVAL's calendar has (29 February of 1800, 1900, 2100, ...) is
// refused as well.
bool kv_convert(const KvLiteral &lit, const KvColumn &col, KvBound *out, std::string *err,
                bool gregorian = false);

// The same for a literal compared with a column in a condition: it is
// converted where the column's type gives it a meaning, else bound as it
// came (a comparison then simply finds nothing).  Returns false only for a
// value that is no valid date, time or timestamp for such a column.
bool kv_convert_operand(const KvLiteral &lit, const KvColumn &col, KvBound *out, std::string *err,
                        bool gregorian = false);

// The literal bound unchanged (integer, double or text).
KvBound kv_bound_literal(const KvLiteral &lit);

// Date, time and timestamp texts.  Accepted input: DATE "YYYY-MM-DD" or
// "DD.MM.YYYY"; TIME "HH:MM" or "HH:MM:SS"; TIMESTAMP "YYYY-MM-DD" followed
// by nothing, "-HH.MM.SS[.ffffff]" or " HH:MM:SS[.ffffff]".  Validity by
// the base library's rules (years 1800 to 2800, every fourth year a leap
// year).  The stored form is "YYYY-MM-DD", "HH:MM:SS" and
// "YYYY-MM-DD-HH.MM.SS.ffffff".
bool kv_parse_date(const char *text, DATE *out);
bool kv_parse_time(const char *text, TIME *out);
bool kv_parse_dati(const char *text, DATI *out);
inline bool kv_parse_date(const std::string &text, DATE *out) {
  return kv_parse_date(text.c_str(), out);
}
inline bool kv_parse_time(const std::string &text, TIME *out) {
  return kv_parse_time(text.c_str(), out);
}
inline bool kv_parse_dati(const std::string &text, DATI *out) {
  return kv_parse_dati(text.c_str(), out);
}
// The day exists in the Gregorian calendar too (KORVAL's calendar has a
// leap day in every fourth year).
bool kv_gregorian(const DATE &d);
std::string kv_date_text(const DATE &d);
std::string kv_time_text(const TIME &t);
std::string kv_dati_text(const DATI &t);

// A valid KORVAL identifier: a letter or '_', then letters, digits and '_',
// at most 64 characters, and not one of SQLite's reserved "SQLITE_" names.
bool kv_valid_name(const std::string &name);
// Names compare without regard to case, as in SQLite.
bool kv_same_name(const std::string &a, const std::string &b);
// The name in double quotes, ready for SQL (only for valid names).
std::string kv_quote(const std::string &name);

#endif
