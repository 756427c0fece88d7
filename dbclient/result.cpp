// Executing statements and decoding replies into results, the result
// accessors and the display texts of every value type.
#include "dbclient/result.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/dates.h"
#include "base/mem.h"
#include "base/msglog.h"
#include "dbclient/grammar.h"
#include "proto/endian.h"
#include "proto/query.h"
#include "dbclient/scanner.h"

static_assert(DB_ERRMSG_SIZE >= SCAN_ERR_SIZE, "the scanner writes its errors into errmsg");

namespace {

void set_error(DBresult *res, const char *text) {
  snprintf(res->errmsg, sizeof res->errmsg, "%s", text);
}

int32_t get_i32(const char *p) { return static_cast<int32_t>(le_get32(p)); }

int16_t get_i16(const char *p) { return static_cast<int16_t>(le_get16(p)); }

// The counts, field descriptions and values of a rows reply into t.
void decode_rows_into(DBresult *res, RESDATA *t, const char *reply, int len, int pos, char *err) {
  int32_t nf = 0, nr = 0;
  if ((pos = DBget_int(pos, reply, len, &nf, err)) < 0 ||
      (pos = DBget_int(pos, reply, len, &nr, err)) < 0) {
    res->status = DB_ERROR_REPLY;
    set_error(res, err);
    return;
  }
  if (nr < 1) return;
  if (nf < 0) {
    res->status = DB_ERROR_REPLY;
    set_error(res, "Syntax error: negative field count in reply");
    return;
  }
  for (int32_t f = 0; f < nf; f++) {
    const char *name = nullptr;
    int32_t size = 0;
    if ((pos = DBget_name(pos, reply, len, &name, err)) < 0) {
      res->status = DB_ERROR_REPLY;
      set_error(res, err);
      return;
    }
    if (pos >= len) {
      res->status = DB_ERROR_REPLY;
      set_error(res, "Syntax error: <datatype> expected (unexpected end of query)");
      return;
    }
    int type = static_cast<unsigned char>(reply[pos++]);
    if ((pos = DBget_int(pos, reply, len, &size, err)) < 0) {
      res->status = DB_ERROR_REPLY;
      set_error(res, err);
      return;
    }
    RESDATA_Header_Data(t, name, type, size);
  }
  if (nf == 0) return;
  // Every value takes at least its 2-byte length, which bounds the rows
  // worth reserving whatever count the reply claims.
  int64_t fit = (len - pos) / (2 * static_cast<int64_t>(nf));
  RESDATA_Reserve_Rows(t, static_cast<int32_t>(nr < fit ? nr : fit));
  int64_t total = static_cast<int64_t>(nr) * nf;
  for (int64_t i = 0; i < total; i++) {
    const char *bytes = nullptr;
    int n = 0;
    if ((pos = DBget_data(pos, reply, len, &bytes, &n, err)) < 0) {
      res->status = DB_ERROR_REPLY;
      set_error(res, err);
      return;
    }
    if (!RESDATA_Fill_Binary(t, bytes, n)) {
      char tname[TOK_TEXT_SIZE];
      int f = static_cast<int>(i % nf);
      snprintf(res->errmsg, sizeof res->errmsg,
               "Syntax error: incomplete value of type %s (%d bytes) in row %d, field %d",
               tok_translate(t->types[f], tname), n, static_cast<int>(i / nf), f);
      res->status = DB_ERROR_REPLY;
      return;
    }
  }
}

// Decodes the row data of a '2' or '4' reply from pos on.  owned: the reply
// itself when it is an xmalloc block the table may keep (its values then
// stay where they are), else null.  Returns true when the table took owned.
bool decode_rows(DBresult *res, const char *reply, int len, int pos, char *owned) {
  char err[DB_GET_ERRSIZE];
  RESDATA *t = &res->data;
  RESDATA_New(t);
  bool adopted = owned && RESDATA_Adopt(t, owned, len);
  decode_rows_into(res, t, reply, len, pos, err);
  return adopted;
}

// Decodes a reply into res (see DBprocess_reply); owned as for decode_rows.
bool process_reply(DBresult *res, const char *reply, int len, char *owned);

// Sends the query buffer, receives the reply and decodes it into res.
// Returns false after a transport failure (logged by DBsend/DBrecv).
bool send_and_decode(DBconn *conn, DBresult *res) {
  static const char send_failed[] = "DBsend: No data to send\n";
  static const char recv_failed[] = "DBrecv: No data received\n";
  if (!conn) return false;
  if (conn->status == DB_CONNECTION_BROKEN || conn->socket < 0) {
    if (conn->errmsg[0] == 0) snprintf(conn->errmsg, sizeof conn->errmsg, "%s", send_failed);
    return false;
  }
  if (!DBsend(conn)) {
    snprintf(conn->errmsg, sizeof conn->errmsg, "%s", send_failed);
    return false;
  }
  char buffer[DB_RECV_BUFSIZE];
  char *big = nullptr;
  int bigsize = -1;
  int len = 0;
  if (!DBrecv(conn, buffer, sizeof buffer, &len, &big, &bigsize)) {
    snprintf(conn->errmsg, sizeof conn->errmsg, "%s", recv_failed);
    return false;
  }
  if (big)
    DBprocess_owned_reply(res, big, len);
  else
    DBprocess_reply(res, buffer, len);
  return true;
}

// Fast writers for the display formats; each matches its printf format
// ("%d", "%02d", "%04d", "%06d") for the values it accepts and says so.
char *put_int(char *o, int32_t v) { return std::to_chars(o, o + 12, v).ptr; }

// Writes v with at least width digits (0 <= v, width <= 6).
char *put_padded(char *o, int32_t v, int width) {
  char tmp[12];
  char *e = std::to_chars(tmp, tmp + sizeof tmp, v).ptr;
  for (int n = static_cast<int>(e - tmp); n < width; n++) *o++ = '0';
  memcpy(o, tmp, e - tmp);
  return o + (e - tmp);
}

char *date_text(const DATE &d, char *o) {
  if (d.year < 0) {
    DATE_Text(&d, o);
    return o + strlen(o);
  }
  o = put_padded(o, d.year, 4);
  *o++ = '-';
  o = put_padded(o, d.month, 2);
  *o++ = '-';
  return put_padded(o, d.day, 2);
}

char *time_text(const TIME &t, char *o) {
  o = put_padded(o, t.hour, 2);
  *o++ = ':';
  o = put_padded(o, t.min, 2);
  *o++ = ':';
  return put_padded(o, t.sec, 2);
}

char *dati_text(const DATI &d, char *o) {
  if (d.year < 0 || d.usec < 0) {
    DATI_Text(&d, o);
    return o + strlen(o);
  }
  DATE date = {d.year, d.month, d.day};
  o = date_text(date, o);
  *o++ = '-';
  o = put_padded(o, d.hour, 2);
  *o++ = '.';
  o = put_padded(o, d.min, 2);
  *o++ = '.';
  o = put_padded(o, d.sec, 2);
  *o++ = '.';
  return put_padded(o, d.usec, 6);
}

}  // namespace

void DBprocess_reply(DBresult *res, const char *reply, int len) {
  process_reply(res, reply, len, nullptr);
}

void DBprocess_owned_reply(DBresult *res, char *reply, int len) {
  if (!process_reply(res, reply, len, reply)) xfree(reply);
}

namespace {

bool process_reply(DBresult *res, const char *reply, int len, char *owned) {
  char err[DB_GET_ERRSIZE];
  if (len < 1) {
    res->status = DB_ERROR_REPLY;
    set_error(res, "Syntax error: reply code expected (unexpected end of query)");
    return false;
  }
  bool adopted = false;
  switch (static_cast<unsigned char>(reply[0])) {
    case REPLY_ERROR: {
      // An empty text (also one cut short by a NUL at its start) would
      // leave an error without any explanation: it counts as missing.
      const char *text = nullptr;
      if (DBmatch_errmsg(1, reply, len, &text) >= 0 && text[0] != 0)
        set_error(res, text);
      else
        set_error(res, "(DBexec) Result error message missing\n");
      res->status = DB_ERROR_REPLY;
      break;
    }
    case REPLY_TUPLES: {
      int32_t count = 0;
      if (DBget_int(1, reply, len, &count, err) < 0) {
        res->status = DB_ERROR_REPLY;
        set_error(res, err);
      } else {
        res->ntuples = count;
        res->has_count = true;
      }
      break;
    }
    case REPLY_DATA:
    case REPLY_NOTALLDATA:
      res->status = reply[0] == REPLY_DATA ? DB_TUPLES_OK : DB_NOT_ALL_DATA;
      adopted = decode_rows(res, reply, len, 1, owned);
      break;
    default: break;
  }
  return adopted;
}

}  // namespace

int DBtranslate(const char *text, char *errmsg) {
  std::string copy = text ? text : "";
  if (copy.empty() || copy.back() != ';') copy += ';';
  // The scanner upper-cases words in place and may look one past the end.
  std::vector<char> work(copy.begin(), copy.end());
  work.push_back(0);
  work.push_back(0);
  DBquery_init();
  errmsg[0] = 0;
  return scan_sql(work.data(), errmsg);
}

DBresult *DBexec(DBconn *conn, const char *text) {
  DBresult *res = new DBresult;
  RESDATA_Empty(&res->data);
  if (!DBtranslate(text, res->errmsg)) {
    res->status = DB_SYNTAX_ERROR;
    return res;
  }
  res->errmsg[0] = 0;
  if (!send_and_decode(conn, res)) {
    DBclear(res);
    return nullptr;
  }
  return res;
}

DBresult *DBbinexec(DBconn *conn) {
  DBresult *res = new DBresult;
  RESDATA_Empty(&res->data);
  if (!send_and_decode(conn, res)) {
    DBclear(res);
    return nullptr;
  }
  return res;
}

int DBresultStatus(const DBresult *res) { return res ? res->status : 0; }

const char *DBresultErrorMessage(DBresult *res) {
  if (!res) return "(KORVAL) No result\n";
  return DBend_line(res->errmsg, sizeof res->errmsg);
}

int DBntuples(const DBresult *res) {
  if (!res) return 0;
  return res->data.state == 0 ? res->data.nrows : res->ntuples;
}

int DBnfields(const DBresult *res) { return res && res->data.state == 0 ? res->data.nfields : 0; }

const char *DBfname(const DBresult *res, int field) {
  if (!res || field < 0 || field >= res->data.nfields) return nullptr;
  return RESDATA_Name(&res->data, field);
}

int DBfsize(const DBresult *res, int field) {
  if (!res || field < 0 || field >= res->data.nfields) return 0;
  return res->data.sizes[field];
}

int DBftype(const DBresult *res, int field) {
  if (!res || field < 0 || field >= res->data.nfields) return -1;
  return DBtype_number(res->data.types[field]);
}

char *DBfloat_text(double x, char *out) {
  int decimals = 14;
  if (std::isnan(x)) {
    decimals = 1;
  } else {
    double a = std::fabs(x), limit = 1;
    while (decimals > 1 && a >= limit) {
      limit *= 10;
      decimals--;
    }
  }
  // Same digits as "%.<decimals>lf": both round the exact binary value.
  auto r = std::to_chars(out, out + DB_FLOAT_TEXT_SIZE - 1, x, std::chars_format::fixed, decimals);
  if (r.ec != std::errc())
    snprintf(out, DB_FLOAT_TEXT_SIZE, "%.*f", decimals, x);
  else
    *r.ptr = 0;
  if (strchr(out, '.') || strchr(out, ',')) {
    size_t n = strlen(out);
    while (n > 0 && out[n - 1] == '0') n--;
    if (n > 0 && (out[n - 1] == '.' || out[n - 1] == ',')) n--;
    out[n] = 0;
  }
  return out;
}

char *Binary_Encode(const unsigned char *bytes, int n, char *out) {
  static const char hex[] = "0123456789ABCDEF";
  const char MARK = static_cast<char>(0xA7);
  char *o = out;
  int i = 0;
  while (i < n) {
    unsigned char c = bytes[i];
    if (c >= 32 && c <= 126) {
      *o++ = static_cast<char>(c);
      if (c == '$') *o++ = '$';
      i++;
      continue;
    }
    int j = i;
    while (j < n && (bytes[j] < 32 || bytes[j] > 126)) j++;
    if (j - i == 1) {
      *o++ = '$';
      *o++ = hex[c >> 4];
      *o++ = hex[c & 15];
    } else {
      *o++ = MARK;
      for (; i < j; i++) {
        *o++ = hex[bytes[i] >> 4];
        *o++ = hex[bytes[i] & 15];
      }
      *o++ = MARK;
    }
    i = j;
  }
  *o = 0;
  return out;
}

const char *DBgetvalue(DBresult *res, int row, int field) {
  if (!res) return "";
  RESDATA *t = &res->data;
  const char *v = RESDATA_Value(t, row, field);
  if (!v) return "";
  int type = t->types[field];
  if (type == TOK_CHARACTER) return v;
  // BINARY texts are cached like the others: a new copy per request would
  // let the repeated reads of a large value (every repaint) fill the value
  // store, which ends the process.
  if (const char *cached = RESDATA_Text(t, row, field)) return cached;
  if (type == TOK_BINARY) {
    int m = le_get16(v);
    std::vector<char> buf(Binary_Text_Size(m));
    Binary_Encode(reinterpret_cast<const unsigned char *>(v + 2), m, buf.data());
    return RESDATA_Fill_ResString(t, row, field, buf.data());
  }
  char text[DB_FLOAT_TEXT_SIZE];
  if (DBvalue_text(res, row, field, text) < 0) return "<datatype unknown>";
  return RESDATA_Fill_ResString(t, row, field, text);
}

int DBvalue_text(const DBresult *res, int row, int field, char *out) {
  if (!res) return -1;
  const char *v = RESDATA_Value(&res->data, row, field);
  if (!v) return -1;
  char *end = out;
  switch (res->data.types[field]) {
    case TOK_SMALLINT: end = put_int(out, get_i16(v)); break;
    case TOK_INTEGER: end = put_int(out, get_i32(v)); break;
    case TOK_FLOAT: {
      double d;
      memcpy(&d, v, 8);
      DBfloat_text(d, out);
      end = out + strlen(out);
      break;
    }
    case TOK_DATE: {
      DATE d;
      memcpy(&d, v, sizeof d);
      end = date_text(d, out);
      break;
    }
    case TOK_TIME: {
      TIME tm;
      memcpy(&tm, v, sizeof tm);
      end = time_text(tm, out);
      break;
    }
    case TOK_TIMESTAMP: {
      DATI d;
      memcpy(&d, v, sizeof d);
      end = dati_text(d, out);
      break;
    }
    default: return -1;
  }
  *end = 0;
  return static_cast<int>(end - out);
}

const char *DBgetbinary(const DBresult *res, int row, int field) {
  return res ? RESDATA_Value(&res->data, row, field) : nullptr;
}

void DBfillbinary(const DBresult *res, void *dest, int row, int field) {
  const char *v = DBgetbinary(res, row, field);
  if (!v) return;
  char *d = static_cast<char *>(dest);
  int type = res->data.types[field];
  switch (type) {
    case TOK_SMALLINT:
    case TOK_INTEGER:
    case TOK_FLOAT:
    case TOK_DATE:
    case TOK_TIME:
    case TOK_TIMESTAMP: memcpy(d, v, static_cast<size_t>(DBtype_of(type)->size)); break;
    case TOK_BINARY: {
      int m = le_get16(v);
      memcpy(d, v, static_cast<size_t>(m) + 2);
      break;
    }
    case TOK_CHARACTER:
      if (res->data.sizes[field] == 2) {
        char c = v[0];
        if (c == 0 || c == 1) c = static_cast<char>('0' + c);
        d[0] = c;
      } else {
        memcpy(d, v, strlen(v) + 1);
      }
      break;
    default: Log_Msg("(DBfillbinary) Unknown datatype!\n"); Msglog_Exit(1);
  }
}

void DBclear(DBresult *res) {
  if (!res) return;
  RESDATA_Free(&res->data);
  delete res;
}
