// The KORVAL token stream: the query buffer with its appending operations
// (the encodings themselves are DBencoder's, in query.h), the bounds-checked
// readers and matchers, the texts of the token codes and the type table.
#include "proto/query.h"

#include <cstdio>
#include <cstring>

#include "base/mem.h"
#include "base/msglog.h"
#include "proto/endian.h"

thread_local char *query_data = nullptr;
thread_local int32_t query_size = 0;
thread_local int32_t query_max = -1;

namespace {

constexpr int32_t kFirstCapacity = 100000;
constexpr int32_t kGrowth = 1000000;
constexpr int32_t kLimit = 0x7fffffff;

// The "unexpected end" text of a reader; the one of DBget_token keeps its
// %s literally, as all callers expect.
int short_data(char *err, const char *what) {
  if (err)
    snprintf(err, DB_GET_ERRSIZE, "Syntax error: %s expected (unexpected end of query)", what);
  return DB_GET_SHORT;
}

// Fixed-size element of n bytes at pos: 1 if it lies within the data.
bool fits(int pos, int len, int n) {
  return pos >= 0 && len >= 0 && pos <= len && (int64_t)len - pos >= n;
}

// A name or string at pos: length field with the NUL counted, characters,
// NUL.  Refuses lengths outside the data and texts without their NUL.
int get_text(int pos, const char *data, int len, const char **text, char *err, const char *what) {
  if (!fits(pos, len, 2)) return short_data(err, what);
  int n = (int16_t)le_get16(data + pos);
  if (n < 1) {
    if (err) snprintf(err, DB_GET_ERRSIZE, "Syntax error: %s malformed (length %d)", what, n);
    return DB_GET_MALFORMED;
  }
  if (!fits(pos + 2, len, n)) return short_data(err, what);
  if (data[pos + 2 + n - 1] != '\0') {
    if (err) snprintf(err, DB_GET_ERRSIZE, "Syntax error: %s malformed (no terminating NUL)", what);
    return DB_GET_MALFORMED;
  }
  if (text) *text = data + pos + 2;
  return pos + 2 + n;
}

}  // namespace

void DBquery_init() { query_size = 0; }

void DBquery_free() {
  xfree(query_data);
  query_data = nullptr;
  query_size = 0;
  query_max = -1;
}

void DBquery_add(const void *data, int n) {
  if (n < 0) return;
  if (query_max == -1 || query_data == nullptr) {
    query_max = n > kFirstCapacity ? n : kFirstCapacity;
    query_data = (char *)xmalloc((size_t)query_max);
    query_size = 0;
  } else if ((int64_t)query_size + n > query_max) {
    if ((int64_t)query_size + n > kLimit) {
      Log_Msg("(DBquery_add) Query too large\n");
      Msglog_Exit(1);
    }
    int64_t grown = (int64_t)query_max + kGrowth;
    if (grown < (int64_t)query_size + n) grown = (int64_t)query_size + n;
    if (grown > kLimit) grown = kLimit;
    query_data = (char *)xrealloc(query_data, (size_t)grown);
    query_max = (int32_t)grown;
  }
  if (n > 0) memcpy(query_data + query_size, data, (size_t)n);
  query_size += n;
}

namespace {

// The query buffer as a destination of the encodings.
struct QueryBuffer : DBencoder<QueryBuffer> {
  void add(const void *data, int n) { DBquery_add(data, n); }
};

}  // namespace

void DBquery_addcmd(int code) { QueryBuffer().addcmd(code); }
void DBquery_addtoken(int code) { QueryBuffer().addtoken(code); }
void DBquery_addint(int32_t value) { QueryBuffer().addint(value); }
void DBquery_addshort(int16_t value) { QueryBuffer().addshort(value); }
void DBquery_adddouble(double value) { QueryBuffer().adddouble(value); }
void DBquery_addstring(const char *text) { QueryBuffer().addstring(text); }
void DBquery_adddata(const void *data, int n) { QueryBuffer().adddata(data, n); }
void DBquery_addtokname(int code, const char *text) { QueryBuffer().addtokname(code, text); }
void DBquery_addtokstring(int code, const char *text) { QueryBuffer().addtokstring(code, text); }
void DBquery_addtokint(int code, int32_t value) { QueryBuffer().addtokint(code, value); }
void DBquery_addtokshort(int code, int16_t value) { QueryBuffer().addtokshort(code, value); }
void DBquery_addtokdouble(int code, double value) { QueryBuffer().addtokdouble(code, value); }
void DBquery_addtokdata(int code, const void *data, int n) {
  QueryBuffer().addtokdata(code, data, n);
}
void DBquery_addok() { QueryBuffer().addok(); }
void DBquery_addokdata() { QueryBuffer().addokdata(); }
void DBquery_addoktuples(int32_t count) { QueryBuffer().addoktuples(count); }
void DBquery_addnotalldata() { QueryBuffer().addnotalldata(); }
void DBquery_adderrmsg(const char *text) { QueryBuffer().adderrmsg(text); }

// ---------------------------------------------------------------------------

int DBget_token(int pos, const char *data, int len, int *token, char *err) {
  if (pos == len && pos >= 0) {
    if (token) *token = TOK_END;
    return pos;
  }
  if (!fits(pos, len, 1)) return short_data(err, "%s");
  if (token) *token = (unsigned char)data[pos];
  return pos + 1;
}

int DBget_short(int pos, const char *data, int len, int16_t *value, char *err) {
  if (!fits(pos, len, 2)) return short_data(err, "<short value>");
  if (value) *value = (int16_t)le_get16(data + pos);
  return pos + 2;
}

int DBget_int(int pos, const char *data, int len, int32_t *value, char *err) {
  if (!fits(pos, len, 4)) return short_data(err, "<integer value>");
  if (value) *value = (int32_t)le_get32(data + pos);
  return pos + 4;
}

int DBget_double(int pos, const char *data, int len, double *value, char *err) {
  if (!fits(pos, len, 8)) return short_data(err, "<float value>");
  if (value) *value = le_get_double(data + pos);
  return pos + 8;
}

int DBget_name(int pos, const char *data, int len, const char **text, char *err) {
  return get_text(pos, data, len, text, err, "<name>");
}

int DBget_string(int pos, const char *data, int len, const char **text, char *err) {
  return get_text(pos, data, len, text, err, "<string value>");
}

int DBget_data(int pos, const char *data, int len, const char **bytes, int *n, char *err) {
  if (!fits(pos, len, 2)) return short_data(err, "<name>");
  int m = (int16_t)le_get16(data + pos);
  if (m < 0) {
    if (err) snprintf(err, DB_GET_ERRSIZE, "Syntax error: <name> malformed (length %d)", m);
    return DB_GET_MALFORMED;
  }
  if (!fits(pos + 2, len, m)) return short_data(err, "<name>");
  if (bytes) *bytes = data + pos + 2;
  if (n) *n = m;
  return pos + 2 + m;
}

int DBmatch_token(int pos, const char *data, int len, int expected, char *err) {
  if (pos == len && pos >= 0) return DB_GET_END;
  if (!fits(pos, len, 1)) return short_data(err, "%s");
  int found = (unsigned char)data[pos];
  if (found != (expected & 0xff)) {
    char exp_text[TOK_TEXT_SIZE], found_text[TOK_TEXT_SIZE];
    if (err)
      snprintf(err, DB_GET_ERRSIZE, "Syntax error: %s expected (found %s)",
               tok_translate(expected, exp_text), tok_translate(found, found_text));
    return DB_GET_MALFORMED;
  }
  return pos + 1;
}

namespace {

// The typed matchers: the code, then the value.  At the very end of the data
// the value is missing: DB_GET_END with the reader's "unexpected end" text.
int match_code(int pos, const char *data, int len, int code, char *err, const char *what) {
  int p = DBmatch_token(pos, data, len, code, err);
  if (p == DB_GET_END) short_data(err, what);
  return p;
}

}  // namespace

int DBmatch_tokshort(int pos, const char *data, int len, int16_t *value, char *err) {
  int p = match_code(pos, data, len, TOK_SHORT, err, "<short value>");
  return p < 0 ? p : DBget_short(p, data, len, value, err);
}

int DBmatch_tokint(int pos, const char *data, int len, int32_t *value, char *err) {
  int p = match_code(pos, data, len, TOK_INT, err, "<integer value>");
  return p < 0 ? p : DBget_int(p, data, len, value, err);
}

int DBmatch_tokdouble(int pos, const char *data, int len, double *value, char *err) {
  int p = match_code(pos, data, len, TOK_DOUBLE, err, "<float value>");
  return p < 0 ? p : DBget_double(p, data, len, value, err);
}

int DBmatch_tokname(int pos, const char *data, int len, const char **text, char *err) {
  int p = match_code(pos, data, len, TOK_NAME, err, "<name>");
  return p < 0 ? p : DBget_name(p, data, len, text, err);
}

int DBmatch_tokstrg(int pos, const char *data, int len, const char **text, char *err) {
  int p = match_code(pos, data, len, TOK_STRING, err, "<string value>");
  return p < 0 ? p : DBget_string(p, data, len, text, err);
}

int DBmatch_errmsg(int pos, const char *data, int len, const char **text) {
  static thread_local char errtext[DB_GET_ERRSIZE];
  errtext[0] = '\0';
  const char *found = nullptr;
  int p = match_code(pos, data, len, TOK_ERRMSG, errtext, "<string value>");
  if (p >= 0) p = DBget_string(p, data, len, &found, errtext);
  if (text) *text = p < 0 ? errtext : found;
  return p;
}

char *tok_translate(int code, char *out) {
  const char *text = "<unknown token>";
  switch (code) {
    case TOK_FOR: text = "FOR"; break;
    case TOK_DECLARE: text = "DECLARE"; break;
    case TOK_ALL: text = "ALL"; break;
    case TOK_CLOSE: text = "CLOSE"; break;
    case TOK_ABORT: text = "ABORT"; break;
    case TOK_BEGIN: text = "BEGIN"; break;
    case TOK_COMMIT: text = "COMMIT"; break;
    case TOK_CHARACTER: text = "CHARACTER"; break;
    case TOK_SMALLINT: text = "SMALLINT"; break;
    case TOK_INTEGER: text = "INTEGER"; break;
    case TOK_FLOAT: text = "FLOAT"; break;
    case TOK_DATE: text = "DATE"; break;
    case TOK_TIME: text = "TIME"; break;
    case TOK_TIMESTAMP: text = "TIMESTAMP"; break;
    case TOK_DISTINCT: text = "DISTINCT"; break;
    case TOK_SHOW: text = "SHOW"; break;
    case TOK_INDEX: text = "INDEX"; break;
    case TOK_SELECT_EXISTS: text = "SELECT EXISTS"; break;
    case TOK_TABLE: text = "TABLE"; break;
    case TOK_LPAREN: text = "("; break;
    case TOK_RPAREN: text = ")"; break;
    case TOK_COUNT: text = "COUNT"; break;
    case TOK_DOT: text = "DOT"; break;
    case TOK_COMMA: text = "COMMA"; break;
    case TOK_NULL: text = "NULL"; break;
    case TOK_MIN: text = "MIN"; break;
    case TOK_MAX: text = "MAX"; break;
    case TOK_EXISTS: text = "EXISTS"; break;
    case TOK_IN: text = "IN"; break;
    case TOK_LT: text = "<"; break;
    case TOK_GT: text = ">"; break;
    case TOK_LE: text = "<="; break;
    case TOK_GE: text = ">="; break;
    case TOK_EQ: text = "="; break;
    case TOK_NE: text = "<>"; break;
    case TOK_NOT: text = "NOT"; break;
    case TOK_SET: text = "SET"; break;
    case TOK_LIKE: text = "LIKE"; break;
    case TOK_STAR: text = "*"; break;
    case TOK_VALUES: text = "VALUES"; break;
    case TOK_BETWEEN: text = "BETWEEN"; break;
    case TOK_CURSOR: text = "CURSOR"; break;
    case TOK_ASC: text = "ASC"; break;
    case TOK_DESC: text = "DESC"; break;
    case TOK_NAME: text = "<identifier value>"; break;
    case TOK_ERRMSG: text = "Fehlermeldung"; break;
    case TOK_SHORT: text = "<smallint value>"; break;
    case TOK_INT: text = "<integer value>"; break;
    case TOK_DOUBLE: text = "<float value>"; break;
    case TOK_STRING: text = "<string value>"; break;
    case TOK_RESULT: text = "<result value>"; break;
    case TOK_BOOL: text = "<bool value>"; break;
    case TOK_CREATE_DATABASE: text = "CREATE DATABASE"; break;
    case TOK_CREATE_TABLE: text = "CREATE TABLE"; break;
    case TOK_CREATE_INDEX: text = "CREATE INDEX"; break;
    case TOK_CREATE_UNIQUE_INDEX: text = "CREATE UNIQUE INDEX"; break;
    case TOK_DROP_DATABASE: text = "DROP DATABASE"; break;
    case TOK_DROP_TABLE: text = "DROP TABLE"; break;
    case TOK_DROP_INDEX: text = "DROP INDEX"; break;
    case TOK_INSERT_INTO: text = "INSERT INTO"; break;
    case TOK_UPDATE: text = "UPDATE"; break;
    case TOK_DELETE_FROM: text = "DELETE FROM"; break;
    case TOK_SELECT: text = "SELECT"; break;
    case TOK_FROM: text = "FROM"; break;
    case TOK_WHERE: text = "WHERE"; break;
    case TOK_END: text = ";"; break;
    case TOK_AND: text = "AND"; break;
    case TOK_OR: text = "OR"; break;
    case TOK_SAVE: text = "SAVE"; break;
    case TOK_DATABASE: text = "DATABASE"; break;
    case TOK_FETCH: text = "FETCH"; break;
    case TOK_SECURE: text = "SECURE"; break;
    case TOK_STATIC: text = "STATIC"; break;
    case TOK_INDICES: text = "INDICES"; break;
    case TOK_DATABASES: text = "DATABASES"; break;
    case TOK_TABLES: text = "TABLES"; break;
    default: break;
  }
  snprintf(out, TOK_TEXT_SIZE, "%s", text);
  return out;
}

const DBTYPE db_types[DB_TYPE_COUNT] = {
    {TOK_CHARACTER, 1, true, "CHARACTER"}, {TOK_BINARY, 2, true, "BINARY"},
    {TOK_SMALLINT, 2, false, "SMALLINT"},  {TOK_INTEGER, 4, false, "INTEGER"},
    {TOK_FLOAT, 8, false, "FLOAT"},        {TOK_TIME, 3, false, "TIME"},
    {TOK_DATE, 4, false, "DATE"},          {TOK_TIMESTAMP, 12, false, "TIMESTAMP"},
};

int DBtype_number(int code) {
  for (int i = 0; i < DB_TYPE_COUNT; i++)
    if (db_types[i].code == code) return i;
  return -1;
}

const DBTYPE *DBtype_of(int code) {
  int i = DBtype_number(code);
  return i < 0 ? nullptr : &db_types[i];
}
