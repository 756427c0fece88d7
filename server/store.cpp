// The layout of values in a reply, shared by the storage backends.  See
// store.h.
#include "server/store.h"

#include <algorithm>
#include <cstdint>

#include "proto/endian.h"

void kv_put_text(DBwriter &w, const char *bytes, size_t n) {
  w.addstring(bytes, std::min(n, static_cast<size_t>(KV_MAX_CHARACTER)));
}

void kv_put_int(DBwriter &w, KvType type, long long v) {
  char b[4];
  if (type == KV_SMALLINT) {
    le_put16(b, static_cast<uint16_t>(std::max(-32768LL, std::min(32767LL, v))));
    w.adddata(b, 2);
  } else {
    v = std::max(static_cast<long long>(INT32_MIN), std::min(static_cast<long long>(INT32_MAX), v));
    le_put32(b, static_cast<uint32_t>(v));
    w.adddata(b, 4);
  }
}

void kv_put_float(DBwriter &w, double v) {
  char b[8];
  le_put_double(b, v);
  w.adddata(b, 8);
}

// The value holds the BINARY's own length and bytes.
void kv_put_binary(DBwriter &w, const void *bytes, size_t n) {
  int m = static_cast<int>(std::min(n, static_cast<size_t>(KV_MAX_BINARY)));
  w.addshort(static_cast<int16_t>(m + 2));
  w.adddata(bytes, m);
}

void kv_put_date(DBwriter &w, const DATE &d) {
  char b[4];
  le_put16(b, static_cast<uint16_t>(d.year));
  b[2] = static_cast<char>(d.month);
  b[3] = static_cast<char>(d.day);
  w.adddata(b, 4);
}

void kv_put_time(DBwriter &w, const TIME &t) {
  char b[3];
  b[0] = static_cast<char>(t.hour);
  b[1] = static_cast<char>(t.min);
  b[2] = static_cast<char>(t.sec);
  w.adddata(b, 3);
}

void kv_put_dati(DBwriter &w, const DATI &t) {
  char b[12];
  le_put16(b, static_cast<uint16_t>(t.year));
  b[2] = static_cast<char>(t.month);
  b[3] = static_cast<char>(t.day);
  b[4] = static_cast<char>(t.hour);
  b[5] = static_cast<char>(t.min);
  b[6] = static_cast<char>(t.sec);
  b[7] = '\0';
  le_put32(b + 8, static_cast<uint32_t>(t.usec));
  w.adddata(b, 12);
}

void kv_put_absent(DBwriter &w, KvType type) {
  switch (type) {
    case KV_CHARACTER: kv_put_text(w, "", 0); return;
    case KV_BINARY: kv_put_binary(w, nullptr, 0); return;
    case KV_SMALLINT:
    case KV_INTEGER: kv_put_int(w, type, 0); return;
    case KV_FLOAT: kv_put_float(w, 0.0); return;
    case KV_DATE: kv_put_date(w, _Def_Date); return;
    case KV_TIME: kv_put_time(w, _Def_Time); return;
    case KV_TIMESTAMP: kv_put_dati(w, _Def_Dati); return;
  }
}
