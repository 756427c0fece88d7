// Helpers of the fuzz tests: a small deterministic random generator (the
// same sequence on every platform and standard library, unlike the
// distributions of <random>), byte mutations of valid inputs, exactly sized
// heap copies so that the sanitizers see every read past an input's end,
// byte streams read like a socket, and requests as the client library
// builds them.  Header only; included by the fuzz tests of tests/fuzz.
#ifndef TESTS_FUZZ_FUZZ_H
#define TESTS_FUZZ_FUZZ_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dbclient/grammar.h"
#include "proto/query.h"

namespace fuzz {

using Bytes = std::vector<char>;

// xorshift64*: fixed seed, fixed sequence.
class Rng {
 public:
  explicit Rng(uint64_t seed) : s_(seed ? seed : 0x9e3779b97f4a7c15ull) {}
  uint64_t next() {
    s_ ^= s_ >> 12;
    s_ ^= s_ << 25;
    s_ ^= s_ >> 27;
    return s_ * 0x2545f4914f6cdd1dull;
  }
  // 0 ... n-1 (0 for n <= 0).
  int below(int n) { return n > 0 ? static_cast<int>(next() % static_cast<uint64_t>(n)) : 0; }
  bool chance(int one_in) { return below(one_in) == 0; }
  char byte() { return static_cast<char>(next() & 0xff); }
  Bytes bytes(int n) {
    Bytes b(static_cast<size_t>(n));
    for (auto &c : b) c = byte();
    return b;
  }
  template <class T>
  const T &pick(const std::vector<T> &v) {
    return v[static_cast<size_t>(below(static_cast<int>(v.size())))];
  }

 private:
  uint64_t s_;
};

// A copy of b in a heap block of exactly its size (one byte for an empty
// input, which then must not be read at all), so that AddressSanitizer
// reports any read outside it.
class Exact {
 public:
  explicit Exact(const Bytes &b)
      : n_(b.size()), p_(static_cast<char *>(malloc(b.empty() ? 1 : b.size())), free) {
    if (!b.empty())
      memcpy(p_.get(), b.data(), b.size());
    else
      *p_.get() = '\0';  // never read; set only so that no compiler sees it unset
  }
  char *data() { return p_.get(); }
  int size() const { return static_cast<int>(n_); }

 private:
  size_t n_;
  std::unique_ptr<char, void (*)(void *)> p_;
};

// A temporary file holding bytes, positioned at its start; read like a
// socket whose peer sent the bytes and closed.
class Feed {
 public:
  explicit Feed(const Bytes &b) : f_(tmpfile()) {
    if (f_ && !b.empty()) fwrite(b.data(), 1, b.size(), f_);
    if (f_) fflush(f_);
    if (f_) lseek(fileno(f_), 0, SEEK_SET);
  }
  ~Feed() {
    if (f_) fclose(f_);
  }
  Feed(const Feed &) = delete;
  Feed &operator=(const Feed &) = delete;
  bool ok() const { return f_ != nullptr; }
  int fd() const { return fileno(f_); }
  // How far the readers got: the bytes taken from the stream so far.
  long consumed() const { return static_cast<long>(lseek(fileno(f_), 0, SEEK_CUR)); }

 private:
  FILE *f_;
};

// The request the client sends for sql, or empty when scan_sql refuses it.
// Built in the query buffer, which it overwrites.
inline Bytes request(const std::string &sql) {
  std::vector<char> text(sql.begin(), sql.end());
  text.push_back(0);
  std::vector<char> err(10000);
  DBquery_init();
  if (!scan_sql(text.data(), err.data())) return Bytes();
  return Bytes(query_data, query_data + query_size);
}

// The request that opens the database db; overwrites the query buffer.
inline Bytes open_request(const char *db) {
  DBquery_init();
  DBquery_addcmd(CMD_OPEN_DATABASE);
  DBquery_addtokname(TOK_NAME, db);
  return Bytes(query_data, query_data + query_size);
}

// Extreme values for 16- and 32-bit length and count fields.
inline int32_t extreme32(Rng &r) {
  static const int32_t v[] = {0,
                              1,
                              -1,
                              2,
                              7,
                              8,
                              255,
                              256,
                              9992,
                              9996,
                              10000,
                              10001,
                              10008,
                              10009,
                              32767,
                              32768,
                              65535,
                              65536,
                              0x7fffffff,
                              INT32_MIN,
                              INT32_MIN + 1,
                              256 * 1024 * 1024,
                              256 * 1024 * 1024 + 1,
                              0x7ffffff0};
  return v[r.below(static_cast<int>(sizeof v / sizeof v[0]))];
}
inline int16_t extreme16(Rng &r) {
  static const int16_t v[] = {0, 1, -1, 2, 3, 4, 8, 255, 256, 32767, -32768, -32767, 0x7ff0};
  return v[r.below(static_cast<int>(sizeof v / sizeof v[0]))];
}

inline void put16(Bytes &b, size_t at, int16_t v) {
  if (at + 2 > b.size()) return;
  b[at] = static_cast<char>(v & 0xff);
  b[at + 1] = static_cast<char>((v >> 8) & 0xff);
}
inline void put32(Bytes &b, size_t at, int32_t v) {
  if (at + 4 > b.size()) return;
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; i++) b[at + i] = static_cast<char>((u >> (8 * i)) & 0xff);
}

// One random mutation of b (which may become empty or grow): bit flip, byte
// set, truncation, insertion or deletion of a run, an extreme 16- or 32-bit
// value written at a random place, a duplicated run, or a splice of a run
// from other.
inline void mutate(Rng &r, Bytes &b, const Bytes &other = Bytes()) {
  int n = static_cast<int>(b.size());
  switch (r.below(9)) {
    case 0:
      if (n) b[r.below(n)] ^= static_cast<char>(1 << r.below(8));
      break;
    case 1:
      if (n) b[r.below(n)] = r.byte();
      break;
    case 2: b.resize(static_cast<size_t>(r.below(n + 1))); break;
    case 3: {
      Bytes ins = r.bytes(1 + r.below(8));
      b.insert(b.begin() + r.below(n + 1), ins.begin(), ins.end());
      break;
    }
    case 4:
      if (n) {
        int at = r.below(n), k = 1 + r.below(n - at);
        b.erase(b.begin() + at, b.begin() + at + k);
      }
      break;
    case 5:
      if (n >= 2) put16(b, static_cast<size_t>(r.below(n - 1)), extreme16(r));
      break;
    case 6:
      if (n >= 4) put32(b, static_cast<size_t>(r.below(n - 3)), extreme32(r));
      break;
    case 7:
      if (n) {
        int at = r.below(n), k = 1 + r.below(n - at < 64 ? n - at : 64);
        Bytes run(b.begin() + at, b.begin() + at + k);
        b.insert(b.begin() + r.below(n + 1), run.begin(), run.end());
      }
      break;
    default:
      if (!other.empty()) {
        int on = static_cast<int>(other.size());
        int at = r.below(on), k = 1 + r.below(on - at);
        int to = r.below(n + 1);
        b.resize(static_cast<size_t>(to));
        b.insert(b.end(), other.begin() + at, other.begin() + at + k);
      }
      break;
  }
}

// Applies 1 to max random mutations.
inline void mutate_some(Rng &r, Bytes &b, int max, const Bytes &other = Bytes()) {
  int k = 1 + r.below(max);
  for (int i = 0; i < k; i++) mutate(r, b, other);
}

// The first max bytes of b in hex, for failure messages.
inline std::string hex(const Bytes &b, size_t max = 64) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < b.size() && i < max; i++) {
    unsigned char c = static_cast<unsigned char>(b[i]);
    s += digits[c >> 4];
    s += digits[c & 15];
    s += ' ';
  }
  if (b.size() > max) s += "... (" + std::to_string(b.size()) + " bytes)";
  return s;
}

inline Bytes of(const std::string &s) { return Bytes(s.begin(), s.end()); }

// Valid statements of every kind, the seeds of the mutations.
inline const std::vector<std::string> &sql_corpus() {
  static const std::vector<std::string> statements = {
      "SELECT NAME FROM KUNDE WHERE NR = 5 ORDER BY NAME DESC;",
      "SELECT DISTINCT K.NAME, K.* , COUNT(*), MIN(K.NR), MAX(NR) FROM KUNDE K, ARTIKEL "
      "WHERE (a = 1 OR b <> 'x') AND NOT c >= 2.5 AND d LIKE 'M%' ORDER BY K.NAME ASC, NR DESC;",
      "SELECT * FROM T WHERE X IN (1, -2, 3.5, 'vier') AND Y BETWEEN 1 AND 9;",
      "SELECT * FROM T WHERE EXISTS (SELECT * FROM U WHERE U.A = T.A) OR X IN (SELECT A FROM U);",
      "SELECT * FROM T WHERE X < (SELECT MAX(A) FROM U WHERE (B = 1));",
      "DECLARE C1 CURSOR FOR SELECT * FROM KUNDE WHERE NR > 10;",
      "FETCH ALL IN C1;",
      "FETCH IN C1;",
      "CLOSE C1;",
      "INSERT INTO T (A, B, C) VALUES (1, 'zwei', 3.0);",
      "INSERT INTO T VALUES ('it\\'s', -7);",
      "UPDATE T SET A = 1, B = 'x' WHERE C = 2 OR NOT D = 3;",
      "DELETE FROM T WHERE A <= 0;",
      "DELETE FROM T;",
      "BEGIN;",
      "COMMIT;",
      "END;",
      "ABORT;",
      "MAX 100;",
      "MAX;",
      "MAX 0;",
      "SHOW DATABASES;",
      "SHOW TABLES;",
      "SHOW INDICES;",
      "SHOW INDICES ON TABLE T;",
      "SHOW TABLE T;",
      "SHOW INDEX I;",
      "SET TABLE T STATIC;",
      "SET TABLE T SECURE;",
      "SET DATABASE D;",
      "SAVE DATABASE;",
      "CREATE DATABASE D;",
      "DROP DATABASE;",
      "CREATE TABLE T (A CHARACTER(20) NOT NULL, B BINARY(8), C SMALLINT, D INTEGER, E FLOAT, "
      "F DATE, G TIME, H TIMESTAMP);",
      "DROP TABLE T;",
      "CREATE INDEX I ON T (A, B);",
      "CREATE UNIQUE INDEX I ON T (A);",
      "DROP INDEX I;",
      "STOP;",
      "select name from kunde where name like 'M\\\\%';"};
  return statements;
}

}  // namespace fuzz

#endif
