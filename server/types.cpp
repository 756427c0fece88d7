// Column types of korvald: declared types, value checks and conversions,
// date/time texts.  See types.h.
#include "server/types.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

std::string kv_declared_type(KvType type, int len) {
  std::string t = db_types[type].name;
  if (db_types[type].sized) t += "(" + std::to_string(len) + ")";
  return t;
}

KvColumn kv_parse_declared(const std::string &name, const std::string &decl) {
  KvColumn c;
  c.name = name;
  std::string up;
  for (char ch : decl) up += static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  size_t paren = up.find('(');
  std::string base = up.substr(0, paren);
  while (!base.empty() && base.back() == ' ') base.pop_back();
  int len = paren == std::string::npos ? 0 : atoi(up.c_str() + paren + 1);
  for (int i = 0; i < DB_TYPE_COUNT; i++) {
    if (base == db_types[i].name) {
      KvType t = static_cast<KvType>(i);
      c.type = t;
      if (t == KV_CHARACTER) c.len = len > 0 && len <= KV_MAX_CHARACTER ? len : 255;
      if (t == KV_BINARY) c.len = len > 0 && len <= KV_MAX_BINARY ? len : 255;
      return c;
    }
  }
  if (up.find("INT") != std::string::npos) {
    c.type = KV_INTEGER;
  } else if (up.find("REAL") != std::string::npos || up.find("FLOA") != std::string::npos ||
             up.find("DOUB") != std::string::npos) {
    c.type = KV_FLOAT;
  } else {
    c.type = KV_CHARACTER;
    c.len = 255;
  }
  return c;
}

// Reads an unsigned decimal number of 1 to maxdigits digits at p; advances p.
static bool read_num(const char *&p, int maxdigits, long *out) {
  long v = 0;
  int n = 0;
  while (isdigit(static_cast<unsigned char>(*p)) && n < maxdigits) {
    v = v * 10 + (*p - '0');
    p++;
    n++;
  }
  if (n == 0 || isdigit(static_cast<unsigned char>(*p))) return false;
  *out = v;
  return true;
}

static bool parse_date_at(const char *&p, DATE *out) {
  long a, b, c;
  const char *start = p;
  if (read_num(p, 4, &a) && *p == '-' && p - start == 4) {
    p++;
    if (!read_num(p, 2, &b) || *p != '-') return false;
    p++;
    if (!read_num(p, 2, &c)) return false;
    *out = DATE{static_cast<int16_t>(a), static_cast<uint8_t>(b), static_cast<uint8_t>(c)};
    return DATE_IsValidQuiet(out);
  }
  p = start;
  if (read_num(p, 2, &c) && *p == '.') {  // DD.MM.YYYY
    p++;
    if (!read_num(p, 2, &b) || *p != '.') return false;
    p++;
    const char *ys = p;
    if (!read_num(p, 4, &a) || p - ys != 4) return false;
    *out = DATE{static_cast<int16_t>(a), static_cast<uint8_t>(b), static_cast<uint8_t>(c)};
    return DATE_IsValidQuiet(out);
  }
  return false;
}

// hour, minute and optional second with the given separator.
static bool parse_time_at(const char *&p, char sep, bool need_sec, TIME *out) {
  long h, m, s = 0;
  if (!read_num(p, 2, &h) || *p != sep) return false;
  p++;
  if (!read_num(p, 2, &m)) return false;
  if (*p == sep) {
    p++;
    if (!read_num(p, 2, &s)) return false;
  } else if (need_sec) {
    return false;
  }
  if (h > 23 || m > 59 || s > 59) return false;
  *out = TIME{static_cast<uint8_t>(h), static_cast<uint8_t>(m), static_cast<uint8_t>(s)};
  return true;
}

bool kv_parse_date(const char *text, DATE *out) {
  const char *p = text;
  return parse_date_at(p, out) && *p == '\0';
}

bool kv_parse_time(const char *text, TIME *out) {
  const char *p = text;
  return parse_time_at(p, ':', false, out) && *p == '\0';
}

bool kv_parse_dati(const char *text, DATI *out) {
  const char *p = text;
  DATE d;
  TIME t{0, 0, 0};
  long usec = 0;
  if (!parse_date_at(p, &d)) return false;
  if (*p == '-' || *p == ' ') {
    char sep = *p == '-' ? '.' : ':';
    p++;
    if (!parse_time_at(p, sep, true, &t)) return false;
    if (*p == '.') {
      p++;
      const char *fs = p;
      if (!read_num(p, 6, &usec)) return false;
      for (long n = p - fs; n < 6; n++) usec *= 10;  // ".5" is half a second
    }
  }
  if (*p != '\0') return false;
  *out = DATI{d.year, d.month, d.day, t.hour, t.min, t.sec, 0, static_cast<int32_t>(usec)};
  return DATI_IsValidQuiet(out);
}

bool kv_gregorian(const DATE &d) {
  return !(d.month == 2 && d.day == 29 && d.year % 100 == 0 && d.year % 400 != 0);
}

std::string kv_date_text(const DATE &d) {
  char buf[32];
  snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buf;
}

std::string kv_time_text(const TIME &t) {
  char buf[32];
  snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.min, t.sec);
  return buf;
}

std::string kv_dati_text(const DATI &t) {
  char buf[64];
  snprintf(buf, sizeof buf, "%04d-%02d-%02d-%02d.%02d.%02d.%06d", t.year, t.month, t.day, t.hour,
           t.min, t.sec, static_cast<int>(t.usec));
  return buf;
}

// ---------------------------------------------------------------------------
// Value conversion.

static bool parse_int_text(const std::string &s, int64_t *out) {
  if (s.empty()) return false;
  errno = 0;
  char *end;
  long long v = strtoll(s.c_str(), &end, 10);
  if (errno || *end) return false;
  *out = v;
  return true;
}

static bool parse_double_text(const std::string &s, double *out) {
  if (s.empty()) return false;
  char *end;
  double v = strtod(s.c_str(), &end);
  if (*end || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

static std::string literal_text(const KvLiteral &lit) {
  if (lit.kind == KvLiteral::STR) return "'" + lit.s + "'";
  if (lit.kind == KvLiteral::INT) return std::to_string(lit.i);
  char buf[64];
  snprintf(buf, sizeof buf, "%.15g", lit.d);
  return buf;
}

KvBound kv_bound_literal(const KvLiteral &lit) {
  KvBound b;
  switch (lit.kind) {
    case KvLiteral::INT:
      b.kind = KvBound::INT;
      b.i = lit.i;
      break;
    case KvLiteral::FLOAT:
      b.kind = KvBound::REAL;
      b.d = lit.d;
      break;
    case KvLiteral::STR:
      b.kind = KvBound::TEXT;
      b.s = lit.s;
      break;
  }
  return b;
}

static bool bad(std::string *err, const KvLiteral &lit, const KvColumn &col, const char *why) {
  std::string shown = literal_text(lit);
  if (shown.size() > 64) shown = shown.substr(0, 60) + "...'";
  *err = "Invalid value " + shown + " for column " + col.name + " (" +
         kv_declared_type(col.type, col.len) + ")" + why;
  return false;
}

// The reason a date of KORVAL's calendar is refused where only Gregorian
// dates can be stored.
static const char kNotGregorian[] =
    ": no such day in PostgreSQL's calendar (29 February only in years divisible by 4, "
    "but not by 100 unless by 400)";

bool kv_convert(const KvLiteral &lit, const KvColumn &col, KvBound *out, std::string *err,
                bool gregorian) {
  *out = KvBound();
  switch (col.type) {
    case KV_CHARACTER:
    case KV_BINARY: {
      std::string s = lit.kind == KvLiteral::STR ? lit.s : literal_text(lit);
      if (static_cast<int>(s.size()) > col.len) return bad(err, lit, col, ": too long");
      out->kind = col.type == KV_CHARACTER ? KvBound::TEXT : KvBound::BLOB;
      out->s = s;
      return true;
    }
    case KV_SMALLINT:
    case KV_INTEGER: {
      int64_t v;
      double d;
      if (lit.kind == KvLiteral::INT) {
        v = lit.i;
      } else if (lit.kind == KvLiteral::FLOAT || lit.kind == KvLiteral::STR) {
        if (lit.kind == KvLiteral::STR && parse_int_text(lit.s, &v)) {
          // taken
        } else {
          d = lit.kind == KvLiteral::FLOAT ? lit.d : 0;
          if (lit.kind == KvLiteral::STR && !parse_double_text(lit.s, &d))
            return bad(err, lit, col, ": not a number");
          if (d != std::floor(d) || std::fabs(d) > 9e18)
            return bad(err, lit, col, ": not a whole number");
          v = static_cast<int64_t>(d);
        }
      } else {
        return bad(err, lit, col, "");
      }
      int64_t lo = col.type == KV_SMALLINT ? -32768 : INT32_MIN;
      int64_t hi = col.type == KV_SMALLINT ? 32767 : INT32_MAX;
      if (v < lo || v > hi) return bad(err, lit, col, ": out of range");
      out->kind = KvBound::INT;
      out->i = v;
      return true;
    }
    case KV_FLOAT: {
      double d;
      if (lit.kind == KvLiteral::INT) {
        d = lit.i;
      } else if (lit.kind == KvLiteral::FLOAT) {
        d = lit.d;
      } else if (!parse_double_text(lit.s, &d)) {
        return bad(err, lit, col, ": not a number");
      }
      out->kind = KvBound::REAL;
      out->d = d;
      return true;
    }
    case KV_DATE: {
      DATE d;
      if (lit.kind != KvLiteral::STR || !kv_parse_date(lit.s, &d))
        return bad(err, lit, col,
                   ": no valid date ('YYYY-MM-DD' or 'DD.MM.YYYY', years 1800 to 2800)");
      if (gregorian && !kv_gregorian(d)) return bad(err, lit, col, kNotGregorian);
      out->kind = KvBound::TEXT;
      out->form = KvBound::AS_DATE;
      out->s = kv_date_text(d);
      return true;
    }
    case KV_TIME: {
      TIME t;
      if (lit.kind != KvLiteral::STR || !kv_parse_time(lit.s, &t))
        return bad(err, lit, col, ": no valid time ('HH:MM:SS' or 'HH:MM')");
      out->kind = KvBound::TEXT;
      out->form = KvBound::AS_TIME;
      out->s = kv_time_text(t);
      return true;
    }
    case KV_TIMESTAMP: {
      DATI t;
      if (lit.kind != KvLiteral::STR || !kv_parse_dati(lit.s, &t))
        return bad(err, lit, col,
                   ": no valid timestamp ('YYYY-MM-DD-HH.MM.SS.ffffff', years 1800 to 2800)");
      if (gregorian && !kv_gregorian(DATE{t.year, t.month, t.day}))
        return bad(err, lit, col, kNotGregorian);
      out->kind = KvBound::TEXT;
      out->form = KvBound::AS_TIMESTAMP;
      out->s = kv_dati_text(t);
      return true;
    }
  }
  return bad(err, lit, col, "");
}

bool kv_convert_operand(const KvLiteral &lit, const KvColumn &col, KvBound *out, std::string *err,
                        bool gregorian) {
  switch (col.type) {
    case KV_DATE:
    case KV_TIME:
    case KV_TIMESTAMP: return kv_convert(lit, col, out, err, gregorian);
    case KV_SMALLINT:
    case KV_INTEGER:
    case KV_FLOAT: {
      std::string ignored;
      KvColumn wide = col;
      wide.type = KV_FLOAT;
      if (lit.kind == KvLiteral::STR && kv_convert(lit, wide, out, &ignored)) {
        if (out->d == std::floor(out->d) && std::fabs(out->d) < 9e18) {
          out->kind = KvBound::INT;
          out->i = static_cast<int64_t>(out->d);
        }
        return true;
      }
      *out = kv_bound_literal(lit);
      return true;
    }
    case KV_CHARACTER:
    case KV_BINARY:
      if (lit.kind == KvLiteral::STR) {
        *out = kv_bound_literal(lit);
        if (col.type == KV_BINARY) out->kind = KvBound::BLOB;
      } else {
        out->kind = col.type == KV_BINARY ? KvBound::BLOB : KvBound::TEXT;
        out->s = literal_text(lit);
      }
      return true;
  }
  *out = kv_bound_literal(lit);
  return true;
}

// ---------------------------------------------------------------------------
// Names.

bool kv_valid_name(const std::string &name) {
  if (name.empty() || name.size() > 64) return false;
  unsigned char c0 = static_cast<unsigned char>(name[0]);
  if (!(isascii(c0) && (isalpha(c0) || c0 == '_'))) return false;
  for (unsigned char c : name)
    if (!(isascii(c) && (isalnum(c) || c == '_'))) return false;
  if (strncasecmp(name.c_str(), "SQLITE_", 7) == 0) return false;
  return true;
}

bool kv_same_name(const std::string &a, const std::string &b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string kv_quote(const std::string &name) { return "\"" + name + "\""; }
