// The PostgreSQL storage of korvald.  See pg_store.h.
//
// Every statement is sent with PQsendQueryParams and waited for with poll()
// on the server's socket and the client's: a client that hangs up while a
// statement runs cancels it, as the SQLite storage interrupts it.  Inside a
// transaction each statement runs under a savepoint, so that a failing one
// is undone alone and the transaction goes on, as in SQLite (PostgreSQL
// would otherwise refuse every further statement until the rollback).
#include "server/pg_store.h"

#include "server/demo.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace {

// Type OIDs of PostgreSQL's built-in types (pg_type.h, stable).
constexpr Oid kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25, kFloat4 = 700,
              kFloat8 = 701, kBpchar = 1042, kVarchar = 1043, kDate = 1082, kTime = 1083,
              kTimestamp = 1114;

struct ResultFree {
  void operator()(PGresult *r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

// The SQL text of a parameter as PostgreSQL reads it.
std::string param_text(const KvBound &b) {
  switch (b.kind) {
    case KvBound::INT: return std::to_string(b.i);
    case KvBound::REAL: {
      if (std::isnan(b.d)) return "NaN";
      if (std::isinf(b.d)) return b.d > 0 ? "Infinity" : "-Infinity";
      char buf[40];
      snprintf(buf, sizeof buf, "%.17g", b.d);
      return buf;
    }
    case KvBound::TEXT:
      // 'YYYY-MM-DD-HH.MM.SS.ffffff' -> 'YYYY-MM-DD HH:MM:SS.ffffff'
      if (b.form == KvBound::AS_TIMESTAMP && b.s.size() == 26) {
        std::string t = b.s;
        t[10] = ' ';
        t[13] = ':';
        t[16] = ':';
        return t;
      }
      return b.s;
    default: return b.s;
  }
}

Oid param_type(const KvBound &b) {
  switch (b.kind) {
    case KvBound::NUL: return 0;
    case KvBound::INT: return kInt8;
    case KvBound::REAL: return kFloat8;
    case KvBound::BLOB: return kBytea;
    case KvBound::TEXT: break;
  }
  switch (b.form) {
    case KvBound::AS_DATE: return kDate;
    case KvBound::AS_TIME: return kTime;
    case KvBound::AS_TIMESTAMP: return kTimestamp;
    case KvBound::AS_IS: break;
  }
  return kText;
}

// The parameters of one statement in libpq's arrays.
struct Params {
  explicit Params(const std::vector<KvBound> &binds) {
    for (auto &b : binds) {
      texts.push_back(b.kind == KvBound::BLOB ? b.s : param_text(b));
      types.push_back(param_type(b));
      formats.push_back(b.kind == KvBound::BLOB ? 1 : 0);
    }
    for (size_t i = 0; i < binds.size(); i++) {
      values.push_back(binds[i].kind == KvBound::NUL ? nullptr : texts[i].c_str());
      lengths.push_back(static_cast<int>(texts[i].size()));
    }
  }
  std::vector<std::string> texts;
  std::vector<Oid> types;
  std::vector<const char *> values;
  std::vector<int> lengths;
  std::vector<int> formats;
};

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// bytea's text output ("\x" and hex digits) as bytes; the escape form of
// old servers is read by libpq's own decoder.
std::string bytea_bytes(const char *p, size_t n) {
  std::string out;
  if (n >= 2 && p[0] == '\\' && p[1] == 'x') {
    out.reserve((n - 2) / 2);
    for (size_t i = 2; i + 1 < n; i += 2) {
      int h = hex_digit(p[i]), l = hex_digit(p[i + 1]);
      if (h < 0 || l < 0) break;
      out += static_cast<char>(h * 16 + l);
    }
    return out;
  }
  size_t len = 0;
  unsigned char *raw = PQunescapeBytea(reinterpret_cast<const unsigned char *>(p), &len);
  if (raw) out.assign(reinterpret_cast<char *>(raw), len);
  PQfreemem(raw);
  return out;
}

// A text parameter.
KvBound text(const std::string &s) {
  KvBound b;
  b.kind = KvBound::TEXT;
  b.s = s;
  return b;
}

// Reads "YYYY-MM-DD", "HH:MM:SS[.ffffff]" and "YYYY-MM-DD HH:MM:SS[.ffffff]"
// (DateStyle ISO).  Years before Christ and beyond 9999 are no KORVAL value.
bool read_date(const char *p, DATE *d) {
  int y, m, dd, n = 0;
  if (sscanf(p, "%4d-%2d-%2d%n", &y, &m, &dd, &n) != 3 || n != 10) return false;
  if (strstr(p, "BC")) return false;
  if (y < 0 || y > 9999) return false;
  *d = DATE{static_cast<int16_t>(y), static_cast<uint8_t>(m), static_cast<uint8_t>(dd)};
  return true;
}

bool read_time(const char *p, TIME *t, long *usec) {
  int h, m, s, n = 0;
  if (sscanf(p, "%2d:%2d:%2d%n", &h, &m, &s, &n) != 3 || n != 8) return false;
  *t = TIME{static_cast<uint8_t>(h), static_cast<uint8_t>(m), static_cast<uint8_t>(s)};
  *usec = 0;
  if (p[8] == '.') {
    long scale = 100000;
    for (const char *q = p + 9; *q >= '0' && *q <= '9' && scale > 0; q++, scale /= 10)
      *usec += (*q - '0') * scale;
  }
  return true;
}

// One value of a text-format result, laid out for type.
void put_field(DBwriter &w, const PGresult *r, int row, int col, KvType type) {
  if (PQgetisnull(r, row, col)) {
    kv_put_absent(w, type);
    return;
  }
  const char *p = PQgetvalue(r, row, col);
  size_t n = static_cast<size_t>(PQgetlength(r, row, col));
  switch (type) {
    case KV_CHARACTER: kv_put_text(w, p, n); return;
    case KV_BINARY: {
      std::string b = bytea_bytes(p, n);
      kv_put_binary(w, b.data(), b.size());
      return;
    }
    case KV_SMALLINT:
    case KV_INTEGER: kv_put_int(w, type, strtoll(p, nullptr, 10)); return;
    case KV_FLOAT: kv_put_float(w, strtod(p, nullptr)); return;
    case KV_DATE: {
      DATE d;
      kv_put_date(w, read_date(p, &d) ? d : _Def_Date);
      return;
    }
    case KV_TIME: {
      TIME t;
      long usec;
      kv_put_time(w, read_time(p, &t, &usec) ? t : _Def_Time);
      return;
    }
    case KV_TIMESTAMP: {
      DATE d;
      TIME t;
      long usec;
      if (n >= 19 && read_date(p, &d) && p[10] == ' ' && read_time(p + 11, &t, &usec)) {
        DATI x = _Def_Dati;
        x.year = d.year;
        x.month = d.month;
        x.day = d.day;
        x.hour = t.hour;
        x.min = t.min;
        x.sec = t.sec;
        x.usec = static_cast<int32_t>(usec);
        kv_put_dati(w, x);
      } else {
        kv_put_dati(w, _Def_Dati);
      }
      return;
    }
  }
}

// The KORVAL type of a column of PostgreSQL type oid with modifier typmod;
// false when there is none.
bool map_type(Oid oid, int typmod, const std::string &comment, KvColumn *c) {
  switch (oid) {
    case kVarchar:
    case kBpchar:
      c->type = KV_CHARACTER;
      c->len = typmod > 4 ? std::min(typmod - 4, KV_MAX_CHARACTER) : KV_MAX_CHARACTER;
      return true;
    case kText:
      c->type = KV_CHARACTER;
      c->len = KV_MAX_CHARACTER;
      return true;
    case kBytea: {
      c->type = KV_BINARY;
      int n = 0;
      c->len = sscanf(comment.c_str(), "BINARY(%d)", &n) == 1 && n > 0 && n <= KV_MAX_BINARY
                   ? n
                   : KV_MAX_BINARY;
      return true;
    }
    case kInt2: c->type = KV_SMALLINT; return true;
    case kInt4: c->type = KV_INTEGER; return true;
    case kFloat4:
    case kFloat8: c->type = KV_FLOAT; return true;
    case kDate: c->type = KV_DATE; return true;
    case kTime: c->type = KV_TIME; return true;
    case kTimestamp: c->type = KV_TIMESTAMP; return true;
  }
  return false;
}

// The PostgreSQL column type of a KORVAL column.
std::string pg_type(const KvColumn &c) {
  switch (c.type) {
    case KV_CHARACTER:
      return "varchar(" + std::to_string(c.len > 0 ? c.len : 1) + ") COLLATE \"C\"";
    case KV_BINARY: return "bytea";
    case KV_SMALLINT: return "smallint";
    case KV_INTEGER: return "integer";
    case KV_FLOAT: return "double precision";
    case KV_DATE: return "date";
    case KV_TIME: return "time(0)";
    case KV_TIMESTAMP: return "timestamp(6)";
  }
  return "varchar(255)";
}

// A literal for SQL text (only for texts we made: names, fixed messages).
std::string sql_literal(const std::string &s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

// The statements that make a schema a KORVAL database: the mark and the
// trigger function of STATIC and SECURE tables, which refuses a change
// with the text it is given.
std::string database_sql(const std::string &name) {
  std::string q = kv_quote(name);
  return "CREATE SCHEMA " + q + "; COMMENT ON SCHEMA " + q + " IS " + sql_literal(KV_PG_MARK) +
         "; CREATE FUNCTION " + q +
         ".\"KV$REFUSE\"() RETURNS trigger LANGUAGE plpgsql AS "
         "$kv$BEGIN RAISE EXCEPTION '%', TG_ARGV[0]; END$kv$";
}

const char kIsDatabase[] =
    "SELECT 1 FROM pg_namespace WHERE nspname = $1 AND "
    "obj_description(oid, 'pg_namespace') = $2";

class PgConnection {
 public:
  explicit PgConnection(const std::string &conninfo) {
    conn_ = PQconnectdb(conninfo.c_str());
    if (PQstatus(conn_) != CONNECTION_OK) {
      error_ = std::string("Cannot connect to PostgreSQL: ") + PQerrorMessage(conn_);
      while (!error_.empty() && error_.back() == '\n') error_.pop_back();
      return;
    }
    ok_ = setup();
  }

  // The session's settings and its schema on a new connection.
  bool setup() {
    Result r(PQexec(conn_, ("SET client_encoding TO 'LATIN1'; SET DateStyle TO 'ISO, YMD'; "
                            "SET lock_timeout TO '5s'; SET client_min_messages TO 'error'; "
                            "SET search_path TO " +
                            schema_)
                               .c_str()));
    if (PQresultStatus(r.get()) == PGRES_COMMAND_OK) return true;
    error_ = std::string("Cannot set up the PostgreSQL connection: ") + PQerrorMessage(conn_);
    return false;
  }

  // Makes name (empty: none) the schema that names are looked up in.
  bool use_schema(const std::string &name) {
    std::string path = name.empty() ? "pg_catalog" : kv_quote(name) + ", pg_catalog";
    if (!run("SET search_path TO " + path)) return false;
    schema_ = path;
    return true;
  }
  ~PgConnection() { PQfinish(conn_); }
  PgConnection(const PgConnection &) = delete;
  PgConnection &operator=(const PgConnection &) = delete;

  bool ok() const { return ok_ && PQstatus(conn_) == CONNECTION_OK; }
  PGconn *get() const { return conn_; }
  const std::string &error() const { return error_; }
  void set_error(const std::string &e) { error_ = e; }
  void watch_peer(int fd) { peer_fd_ = fd; }
  bool peer_gone() const { return peer_gone_; }
  bool in_transaction() const {
    PGTransactionStatusType s = PQtransactionStatus(conn_);
    return s == PQTRANS_INTRANS || s == PQTRANS_INERROR || s == PQTRANS_ACTIVE;
  }

  // Sends sql with binds (extended protocol; several statements need the
  // simple one: multi) and waits until the result can be read.
  bool send(const std::string &sql, const std::vector<KvBound> &binds, bool multi = false) {
    // A connection that PostgreSQL ended (a restart, a terminated backend)
    // is made again; a transaction it had is gone, which the session sees.
    if (ok_ && PQstatus(conn_) == CONNECTION_BAD && !PQisBusy(conn_)) {
      PQreset(conn_);
      if (PQstatus(conn_) == CONNECTION_OK) setup();
    }
    if (!ok()) {
      if (error_.empty()) error_ = "The connection to PostgreSQL is lost";
      return false;
    }
    int sent;
    if (multi) {
      sent = PQsendQuery(conn_, sql.c_str());
    } else {
      Params p(binds);
      sent = PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(binds.size()), p.types.data(),
                               p.values.data(), p.lengths.data(), p.formats.data(), 0);
    }
    if (!sent) {
      take_error(nullptr);
      return false;
    }
    return true;
  }

  // The next result of the statement sent, waiting for it (null: none
  // more).  While it waits, a client that hangs up cancels the statement.
  // A cancel that reaches the server between two statements of a request
  // is lost, so it is sent again every tenth of a second until the result
  // is there.
  Result next_result() {
    while (PQisBusy(conn_)) {
      pollfd p[2] = {{PQsocket(conn_), POLLIN, 0}, {peer_fd_, POLLRDHUP, 0}};
      int n = poll(p, peer_fd_ >= 0 && !peer_gone_ ? 2 : 1, peer_gone_ ? 100 : -1);
      if (n < 0 && errno != EINTR) break;
      if (n == 0 && peer_gone_) cancel();
      if (n > 0 && !peer_gone_ && (p[1].revents & (POLLRDHUP | POLLHUP | POLLERR))) {
        peer_gone_ = true;
        cancel();
      }
      if (n > 0 && p[0].revents && !PQconsumeInput(conn_)) break;
    }
    return Result(PQgetResult(conn_));
  }

  // Runs sql to its end; true when every statement in it succeeded.  The
  // last result with rows, if any, goes to *rows.
  bool run(const std::string &sql, const std::vector<KvBound> &binds = {}, Result *rows = nullptr,
           bool multi = false) {
    if (!send(sql, binds, multi)) return false;
    bool good = true;
    changed_ = 0;
    while (Result r = next_result()) {
      ExecStatusType s = PQresultStatus(r.get());
      if (*PQcmdTuples(r.get())) changed_ = atol(PQcmdTuples(r.get()));
      if (s == PGRES_TUPLES_OK) {
        if (rows) *rows = std::move(r);
      } else if (s != PGRES_COMMAND_OK && s != PGRES_EMPTY_QUERY) {
        if (good) take_error(r.get());
        good = false;
      }
    }
    return good;
  }

  // Runs sql inside a transaction under a savepoint (see above); outside one
  // as it is.  SAVEPOINT, the statement and RELEASE go out together in
  // libpq's pipeline mode: one round trip where it would take three.
  bool run_guarded(const std::string &sql, const std::vector<KvBound> &binds,
                   Result *rows = nullptr, bool multi = false) {
    if (!in_transaction()) return run(sql, binds, rows, multi);
    bool good;
    if (multi || !ok() || !PQenterPipelineMode(conn_)) {
      good = run("SAVEPOINT kv_statement") && run(sql, binds, rows, multi);
      long n = changed_;
      if (good) good = run("RELEASE SAVEPOINT kv_statement");
      changed_ = n;
    } else {
      // What was sent before a send failed (PostgreSQL's limit of 65535
      // parameters) is synced and read all the same, or the connection
      // would stay in pipeline mode.
      int queued = 0;
      if (send("SAVEPOINT kv_statement", {})) queued++;
      if (queued == 1 && send(sql, binds)) queued++;
      if (queued == 2 && send("RELEASE SAVEPOINT kv_statement", {})) queued++;
      bool sent = queued > 0 && PQpipelineSync(conn_);
      good = sent && queued == 3;
      long n = 0;
      // each statement's results end with a null; then comes the sync
      for (int q = 0; q < queued && sent; q++) {
        while (Result r = next_result()) {
          ExecStatusType st = PQresultStatus(r.get());
          if (q == 1 && *PQcmdTuples(r.get())) n = atol(PQcmdTuples(r.get()));
          if (st == PGRES_TUPLES_OK && q == 1 && rows) {
            *rows = std::move(r);
          } else if (st == PGRES_FATAL_ERROR || st == PGRES_NONFATAL_ERROR) {
            if (good) take_error(r.get());
            good = false;
          }
        }
      }
      while (sent) {
        Result r = next_result();
        if (!r || PQresultStatus(r.get()) == PGRES_PIPELINE_SYNC) break;
      }
      PQexitPipelineMode(conn_);
      changed_ = n;
    }
    if (good) return true;
    undo_statement();
    return false;
  }

  // Undoes the failed statement of a transaction back to its savepoint; the
  // text of its failure stays the error.
  void undo_statement() {
    std::string e = error_;
    run("ROLLBACK TO SAVEPOINT kv_statement; RELEASE SAVEPOINT kv_statement", {}, nullptr, true);
    error_ = e;
  }

  void cancel() {
    PGcancel *c = PQgetCancel(conn_);
    char buf[256];
    if (c) PQcancel(c, buf, sizeof buf);
    PQfreeCancel(c);
  }

  // The text of a failed result (or of the connection): PostgreSQL's
  // primary message, which for the refusals of our triggers is their text.
  void take_error(const PGresult *r) {
    const char *m = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const char *code = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    sqlstate_ = code ? code : "";
    if (peer_gone_ && sqlstate_ == "57014") {
      error_ = "client gone during a statement";
      return;
    }
    error_ = m ? m : PQerrorMessage(conn_);
    while (!error_.empty() && error_.back() == '\n') error_.pop_back();
    if (error_.empty()) error_ = "PostgreSQL failed";
    if (r) same_as_sqlite(r);
  }

  // The texts the SQLite storage gives for the same failures, so that a
  // client sees one message whatever the storage.
  void same_as_sqlite(const PGresult *r) {
    const char *table = PQresultErrorField(r, PG_DIAG_TABLE_NAME);
    const char *column = PQresultErrorField(r, PG_DIAG_COLUMN_NAME);
    const char *detail = PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL);
    if (sqlstate_ == "23502" && table && column) {
      error_ = std::string("NOT NULL constraint failed: ") + table + "." + column;
    } else if (sqlstate_ == "23505" && table && detail && strncmp(detail, "Key (", 5) == 0) {
      // Key ("A", "B")=(1, 2) already exists.
      const char *end = strstr(detail, ")=(");
      if (!end) return;
      std::string cols(detail + 5, end), text = "UNIQUE constraint failed: ";
      size_t from = 0;
      for (;;) {
        size_t comma = cols.find(", ", from);
        std::string col = cols.substr(from, comma == std::string::npos ? comma : comma - from);
        if (col.size() >= 2 && col.front() == '"') col = col.substr(1, col.size() - 2);
        text += std::string(from ? ", " : "") + table + "." + col;
        if (comma == std::string::npos) break;
        from = comma + 2;
      }
      error_ = text;
    } else if (sqlstate_ == "55P03") {
      error_ = "The database is busy: another connection has uncommitted changes (try again)";
    } else if (sqlstate_ == "40001") {
      error_ =
          "The database was changed by another connection during this transaction "
          "(ABORT and try again)";
    }
  }
  const std::string &sqlstate() const { return sqlstate_; }
  // Rows changed by the last INSERT, UPDATE or DELETE run.
  long changed() const { return changed_; }

 private:
  PGconn *conn_ = nullptr;
  bool ok_ = false;
  std::string error_;
  std::string sqlstate_;
  int peer_fd_ = -1;
  bool peer_gone_ = false;
  long changed_ = 0;
  std::string schema_ = "pg_catalog";  // the search_path
};

// The rows of a SELECT read as they come (libpq's single-row mode): for a
// statement nothing else runs beside.
class StreamRows : public KvRowSource {
 public:
  StreamRows(PgConnection &c, const std::vector<KvField> &fields, bool guarded)
      : c_(c), fields_(fields), guarded_(guarded) {}
  ~StreamRows() override {
    if (!done_) {
      c_.cancel();
      while (c_.next_result()) {
      }
      if (guarded_) c_.undo_statement();
    }
  }
  Step next(DBwriter &w) override {
    if (done_) return DONE;
    Result r = c_.next_result();
    ExecStatusType s = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (s == PGRES_SINGLE_TUPLE) {
      for (int i = 0; i < static_cast<int>(fields_.size()); i++)
        put_field(w, r.get(), 0, i, fields_[i].type);
      return ROW;
    }
    bool good = s == PGRES_TUPLES_OK;
    if (!good) c_.take_error(r.get());
    while (c_.next_result()) {
    }
    done_ = true;
    if (guarded_ && good) c_.run("RELEASE SAVEPOINT kv_statement");
    if (guarded_ && !good) c_.undo_statement();
    return good ? DONE : FAILED;
  }

 private:
  PgConnection &c_;
  std::vector<KvField> fields_;
  bool guarded_;
  bool done_ = false;
};

// The rows of a cursor that stays open while other statements run: a
// PostgreSQL cursor WITH HOLD, fetched in batches.
class CursorRows : public KvRowSource {
 public:
  CursorRows(PgConnection &c, std::string name, const std::vector<KvField> &fields)
      : c_(c), name_(std::move(name)), fields_(fields) {}
  ~CursorRows() override {
    if (open_) c_.run_guarded("CLOSE " + name_, {});
  }
  Step next(DBwriter &w) override {
    if (!open_) return DONE;
    if (!batch_ || row_ >= PQntuples(batch_.get())) {
      batch_.reset();
      row_ = 0;
      if (!c_.run_guarded("FETCH FORWARD 1000 FROM " + name_, {}, &batch_)) {
        open_ = false;
        return FAILED;
      }
      if (!batch_ || PQntuples(batch_.get()) == 0) {
        c_.run_guarded("CLOSE " + name_, {});
        open_ = false;
        return DONE;
      }
    }
    for (int i = 0; i < static_cast<int>(fields_.size()); i++)
      put_field(w, batch_.get(), row_, i, fields_[i].type);
    row_++;
    return ROW;
  }

 private:
  PgConnection &c_;
  std::string name_;
  std::vector<KvField> fields_;
  Result batch_;
  int row_ = 0;
  bool open_ = true;
};

class PgStore : public KvStore {
 public:
  explicit PgStore(const std::string &conninfo) : conninfo_(conninfo), conn_(conninfo) {}
  ~PgStore() override { close(); }

  std::string error() const override { return conn_.error(); }
  const std::string &last_sql() const override { return last_sql_; }
  // What was read of tables is read again for each request, but for the
  // tables that a change of this transaction has used: their lock (which
  // lasts until the transaction ends) keeps any other client from altering
  // them, so a long import reads the catalogue once.
  void new_request() override {
    last_sql_.clear();
    used_.clear();
    if (!conn_.in_transaction()) held_.clear();
    for (auto it = tables_.begin(); it != tables_.end();)
      it = held_.count(it->first) ? std::next(it) : tables_.erase(it);
  }
  void watch_peer(int fd) override { conn_.watch_peer(fd); }
  bool peer_gone() const override { return conn_.peer_gone(); }
  const KvDialect &dialect() const override { return dialect_; }

  std::vector<std::string> databases() override {
    std::vector<std::string> out;
    Result r;
    if (!run("SELECT nspname FROM pg_namespace WHERE obj_description(oid, 'pg_namespace') = $1 "
             "ORDER BY nspname COLLATE \"C\"",
             {text(KV_PG_MARK)}, &r))
      return out;
    for (int i = 0; i < PQntuples(r.get()); i++) out.push_back(PQgetvalue(r.get(), i, 0));
    return out;
  }

  bool create_database(const std::string &name) override {
    // room for the "$BAK" of SAVE DATABASE
    if (!fits(name, 4)) return false;
    if (!run(database_sql(name), {}, nullptr, true)) {
      if (conn_.sqlstate() == "42P06") conn_.set_error("Database " + name + " already exists");
      return false;
    }
    return true;
  }

  bool open(const std::string &name) override {
    Result r;
    if (!run(kIsDatabase, {text(name), text(KV_PG_MARK)}, &r)) return false;
    if (PQntuples(r.get()) == 0) {
      conn_.set_error("Database " + name + " does not exist");
      return false;
    }
    if (conn_.in_transaction()) run("ROLLBACK");
    if (!conn_.use_schema(name)) return false;
    dbname_ = name;
    forget_schema();
    return true;
  }

  bool is_open() const override { return !dbname_.empty(); }

  void close() override {
    forget_schema();
    if (dbname_.empty()) return;
    if (conn_.ok() && conn_.in_transaction()) run("ROLLBACK");
    if (conn_.ok()) conn_.use_schema("");
    dbname_.clear();
  }

  bool drop() override {
    std::string name = dbname_;
    if (conn_.in_transaction()) run("ROLLBACK");
    if (!run("DROP SCHEMA " + kv_quote(name) + " CASCADE", {}, nullptr, true) ||
        !conn_.use_schema("")) {
      conn_.set_error("Cannot remove database " + name + ": " + conn_.error());
      return false;
    }
    dbname_.clear();
    forget_schema();
    return true;
  }

  // A copy of the committed state of every table of the open database in
  // the schema NAME$BAK (no KORVAL database: it is not listed), made on a
  // connection of its own in one snapshot.
  bool save() override {
    PgConnection other(conninfo_);
    if (!other.ok()) {
      conn_.set_error("SAVE DATABASE failed: " + other.error());
      return false;
    }
    std::string src = kv_quote(dbname_), bak = kv_quote(dbname_ + "$BAK");
    Result tabs;
    bool ok = other.run("BEGIN ISOLATION LEVEL REPEATABLE READ") &&
              other.run(
                  "SELECT c.relname FROM pg_class c JOIN pg_namespace n ON c.relnamespace = n.oid "
                  "WHERE n.nspname = $1 AND c.relkind IN ('r', 'p') ORDER BY 1",
                  {text(dbname_)}, &tabs) &&
              other.run("DROP SCHEMA IF EXISTS " + bak + " CASCADE; CREATE SCHEMA " + bak, {},
                        nullptr, true);
    for (int i = 0; ok && i < PQntuples(tabs.get()); i++) {
      std::string t = kv_quote(PQgetvalue(tabs.get(), i, 0));
      ok = other.run("CREATE TABLE " + bak + "." + t + " (LIKE " + src + "." + t +
                         " INCLUDING ALL); INSERT INTO " + bak + "." + t + " SELECT * FROM " + src +
                         "." + t,
                     {}, nullptr, true);
    }
    if (ok) ok = other.run("COMMIT");
    if (!ok) conn_.set_error("SAVE DATABASE failed: " + other.error());
    return ok;
  }

  bool in_transaction() const override { return conn_.in_transaction(); }
  bool begin(bool) override { return run("BEGIN"); }
  bool commit() override {
    if (PQtransactionStatus(conn_.get()) == PQTRANS_INERROR) {
      run("ROLLBACK");
      conn_.set_error("The transaction was rolled back after an error; nothing was committed");
      return false;
    }
    return run("COMMIT");
  }
  bool rollback() override { return run("ROLLBACK"); }

  const KvTable *table(const std::string &name) override {
    used_.insert(name);
    auto it = tables_.find(name);
    if (it != tables_.end()) return &it->second;
    // The columns, and on each row the table's flags (its triggers) and
    // name.  Names arrive in upper case; a table that another client made
    // has its name in lower case (without quotes) or in mixed case (quoted),
    // and is found as well: the exact spelling first, then lower case, then
    // a single other spelling.
    Result r;
    if (!run(
            "SELECT a.attname, a.atttypid, a.atttypmod, a.attnotnull, "
            "coalesce(col_description(c.oid, a.attnum), ''), format_type(a.atttypid, a.atttypmod), "
            "EXISTS (SELECT 1 FROM pg_trigger g WHERE g.tgrelid = c.oid AND g.tgname = $3), "
            "EXISTS (SELECT 1 FROM pg_trigger g WHERE g.tgrelid = c.oid AND g.tgname = $4), "
            "c.relname FROM pg_class c JOIN pg_namespace n ON c.relnamespace = n.oid "
            "JOIN pg_attribute a ON a.attrelid = c.oid "
            "WHERE n.nspname = $1 AND upper(c.relname COLLATE \"C\") = $2 "
            "AND c.relkind IN ('r', 'p') AND a.attnum > 0 AND NOT a.attisdropped "
            "ORDER BY c.relname = $2 DESC, c.relname = lower($2) DESC, "
            "c.relname COLLATE \"C\", a.attnum",
            {text(dbname_), text(name), text("KV$STATIC"), text("KV$SECURE")}, &r))
      return nullptr;
    if (PQntuples(r.get()) == 0) {
      conn_.set_error("Table " + name + " does not exist");
      return nullptr;
    }
    KvTable t;
    std::string stored = PQgetvalue(r.get(), 0, 8);
    if (stored != name) t.name = stored;
    for (int i = 0; i < PQntuples(r.get()); i++) {
      if (stored != PQgetvalue(r.get(), i, 8)) {  // another spelling
        if (!mixed_case(name, stored)) break;
        conn_.set_error("Table " + name + " is ambiguous: PostgreSQL has " + stored + " and " +
                        PQgetvalue(r.get(), i, 8));
        return nullptr;
      }
      KvColumn c;
      c.name = PQgetvalue(r.get(), i, 0);
      c.notnull = PQgetvalue(r.get(), i, 3)[0] == 't';
      if (!map_type(static_cast<Oid>(strtoul(PQgetvalue(r.get(), i, 1), nullptr, 10)),
                    atoi(PQgetvalue(r.get(), i, 2)), PQgetvalue(r.get(), i, 4), &c)) {
        conn_.set_error("Table " + name + " cannot be served: column " + c.name + " has type " +
                        PQgetvalue(r.get(), i, 5) + ", which has no KORVAL type");
        return nullptr;
      }
      t.cols.push_back(c);
    }
    t.is_static = PQgetvalue(r.get(), 0, 6)[0] == 't';
    t.secure = PQgetvalue(r.get(), 0, 7)[0] == 't';
    return &(tables_[name] = std::move(t));
  }

  void forget_schema() override {
    tables_.clear();
    held_.clear();
  }

  int index_exists(const std::string &name) override {
    std::string stored;
    return index_name(name, &stored);
  }

  bool show(KvShowKind kind, const std::string &name,
            std::vector<std::vector<std::string>> *rows) override {
    static const char kIndexes[] =
        "SELECT i.relname, t.relname, CASE WHEN x.indisunique THEN 'YES' ELSE 'NO' END "
        "FROM pg_index x JOIN pg_class i ON i.oid = x.indexrelid "
        "JOIN pg_class t ON t.oid = x.indrelid JOIN pg_namespace n ON n.oid = t.relnamespace "
        "WHERE n.nspname = $1 AND NOT EXISTS (SELECT 1 FROM pg_constraint k "
        "WHERE k.conindid = x.indexrelid)";
    Result r;
    bool ok;
    std::string stored_index;
    switch (kind) {
      case SHOW_TABLES:
        ok =
            run("SELECT c.relname FROM pg_class c JOIN pg_namespace n ON c.relnamespace = n.oid "
                "WHERE n.nspname = $1 AND c.relkind IN ('r', 'p') "
                "ORDER BY c.relname COLLATE \"C\"",
                {text(dbname_)}, &r);
        break;
      case SHOW_INDICES:
        ok = run(std::string(kIndexes) + " ORDER BY i.relname COLLATE \"C\"", {text(dbname_)}, &r);
        break;
      case SHOW_INDICES_ON:
        ok = run(std::string(kIndexes) + " AND t.relname = $2 ORDER BY i.relname COLLATE \"C\"",
                 {text(dbname_), text(stored_name(name))}, &r);
        break;
      case SHOW_INDEX:
        index_name(name, &stored_index);
        ok =
            run("SELECT i.relname, t.relname, a.attname, "
                "CASE WHEN x.indisunique THEN 'YES' ELSE 'NO' END "
                "FROM pg_index x JOIN pg_class i ON i.oid = x.indexrelid "
                "JOIN pg_class t ON t.oid = x.indrelid "
                "JOIN pg_namespace n ON n.oid = i.relnamespace "
                "CROSS JOIN LATERAL unnest(x.indkey::int2[]) WITH ORDINALITY AS k(attnum, seq) "
                "JOIN pg_attribute a ON a.attrelid = t.oid AND a.attnum = k.attnum "
                "WHERE n.nspname = $1 AND i.relname = $2 ORDER BY k.seq",
                {text(dbname_), text(stored_index)}, &r);
        break;
      default: ok = false; conn_.set_error("SHOW of this kind is made by the session");
    }
    if (!ok) return false;
    for (int i = 0; i < PQntuples(r.get()); i++) {
      std::vector<std::string> row;
      for (int j = 0; j < PQnfields(r.get()); j++) row.push_back(PQgetvalue(r.get(), i, j));
      rows->push_back(std::move(row));
    }
    return true;
  }

  std::unique_ptr<KvRowSource> query(const std::string &sql, const std::vector<KvBound> &binds,
                                     const std::vector<KvField> &fields, bool held,
                                     size_t limit) override {
    std::string text = sql;
    if (limit < static_cast<size_t>(INT64_MAX)) text += " LIMIT " + std::to_string(limit);
    if (held) {
      std::string name = "kv_cursor_" + std::to_string(++cursors_);
      if (!run_guarded("DECLARE " + name + " NO SCROLL CURSOR WITH HOLD FOR " + text, binds))
        return nullptr;
      return std::make_unique<CursorRows>(conn_, name, fields);
    }
    last_sql_ = text;
    bool guarded = conn_.in_transaction();
    if (guarded && !conn_.run("SAVEPOINT kv_statement")) return nullptr;
    if (!conn_.send(text, binds) || !PQsetSingleRowMode(conn_.get())) {
      if (guarded) conn_.undo_statement();
      return nullptr;
    }
    return std::make_unique<StreamRows>(conn_, fields, guarded);
  }

  bool change(const std::string &sql, const std::vector<KvBound> &binds, long *count) override {
    if (!run_guarded(sql, binds)) return false;
    *count = conn_.changed();
    if (conn_.in_transaction()) held_.insert(used_.begin(), used_.end());
    return true;
  }

  bool create_table(const std::string &name, const std::vector<KvColumn> &cols) override {
    if (!fits(name)) return false;
    for (auto &c : cols)
      if (!fits(c.name)) return false;
    std::string sql = "CREATE TABLE " + kv_quote(name) + " (";
    std::string comments;
    for (size_t i = 0; i < cols.size(); i++) {
      const KvColumn &c = cols[i];
      if (i) sql += ", ";
      sql += kv_quote(c.name) + " " + pg_type(c);
      if (c.notnull) sql += " NOT NULL";
      if (c.type == KV_BINARY) {
        sql += " CHECK (octet_length(" + kv_quote(c.name) + ") <= " + std::to_string(c.len) + ")";
        comments += "; COMMENT ON COLUMN " + kv_quote(name) + "." + kv_quote(c.name) + " IS " +
                    sql_literal("BINARY(" + std::to_string(c.len) + ")");
      }
    }
    forget_schema();
    return run_guarded(sql + ")" + comments, {}, nullptr, true) || clash(name, true);
  }

  bool drop_table(const std::string &name) override {
    std::string stored = stored_name(name);
    forget_schema();
    return run_guarded("DROP TABLE " + kv_quote(stored), {});
  }

  bool create_index(const std::string &name, const std::string &table,
                    const std::vector<std::string> &cols, bool unique) override {
    if (!fits(name)) return false;
    const KvTable *t = this->table(table);
    std::string sql = std::string(unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                      kv_quote(name) + " ON " + kv_quote(stored_name(table)) + " (";
    for (size_t i = 0; i < cols.size(); i++) {
      std::string col = cols[i];
      if (t)
        for (auto &c : t->cols)
          if (kv_same_name(c.name, col)) col = c.name;
      sql += (i ? ", " : "") + kv_quote(col);
    }
    return run_guarded(sql + ")", {}) || clash(name, false);
  }

  bool drop_index(const std::string &name) override {
    std::string stored;
    index_name(name, &stored);
    return run_guarded("DROP INDEX " + kv_quote(stored), {});
  }

  bool set_flag(const std::string &table, bool secure) override {
    std::string t = kv_quote(stored_name(table));
    std::string sql;
    if (secure) {
      sql = "CREATE TRIGGER \"KV$SECURE\" BEFORE DELETE ON " + t +
            " FOR EACH ROW EXECUTE FUNCTION \"KV$REFUSE\"(" +
            sql_literal("Table " + table + " is SECURE (no DELETE, no DROP TABLE)") + ")";
    } else {
      sql = "CREATE TRIGGER \"KV$STATIC\" BEFORE INSERT OR UPDATE OR DELETE ON " + t +
            " FOR EACH ROW EXECUTE FUNCTION \"KV$REFUSE\"(" +
            sql_literal("Table " + table + " is STATIC (read-only)") + ")";
    }
    // set twice is no error, as in SQLite's CREATE TRIGGER IF NOT EXISTS
    forget_schema();
    const KvTable *info = this->table(table);
    if (info && (secure ? info->secure : info->is_static)) return true;
    forget_schema();
    return run_guarded(sql, {});
  }

 private:
  // 1 when the index exists (*stored: its name as stored, in the spelling
  // asked for or in lower case), 0 when not (*stored: name), -1 on failure.
  int index_name(const std::string &name, std::string *stored) {
    *stored = name;
    Result r;
    if (!run("SELECT c.relname FROM pg_class c JOIN pg_namespace n ON c.relnamespace = n.oid "
             "WHERE n.nspname = $1 AND upper(c.relname COLLATE \"C\") = $2 "
             "AND c.relkind = 'i' "
             "ORDER BY c.relname = $2 DESC, c.relname = lower($2) DESC, c.relname COLLATE \"C\"",
             {text(dbname_), text(name)}, &r))
      return -1;
    if (PQntuples(r.get()) == 0) return 0;
    if (PQntuples(r.get()) > 1 && mixed_case(name, PQgetvalue(r.get(), 0, 0))) {
      conn_.set_error("Index " + name + " is ambiguous: PostgreSQL has " +
                      PQgetvalue(r.get(), 0, 0) + " and " + PQgetvalue(r.get(), 1, 0));
      return -1;
    }
    *stored = PQgetvalue(r.get(), 0, 0);
    return 1;
  }

  // Whether stored, found for name, is in neither its spelling nor lower
  // case: another such spelling would make the name ambiguous.
  static bool mixed_case(const std::string &name, const std::string &stored) {
    if (stored == name || stored.size() != name.size()) return stored != name;
    for (size_t i = 0; i < stored.size(); i++)
      if (stored[i] != static_cast<char>(tolower(static_cast<unsigned char>(name[i])))) return true;
    return false;
  }

  // After a CREATE TABLE (making_table) or CREATE INDEX that failed: the
  // SQLite storage's text when the name is taken by another table or index,
  // else PostgreSQL's.  Returns false.
  bool clash(const std::string &name, bool making_table) {
    if (conn_.sqlstate() != "42P07") return false;
    std::string e = conn_.error(), stored;
    if (index_name(name, &stored) == 1)
      e = making_table ? "there is already an index named " + name
                       : "index " + name + " already exists";
    else if (!making_table)
      e = "there is already a table named " + name;
    conn_.set_error(e);
    return false;
  }

  // The name of a table as stored (see table()).
  std::string stored_name(const std::string &name) {
    const KvTable *t = this->table(name);
    return t && !t->name.empty() ? t->name : name;
  }

  // PostgreSQL cuts longer names to 63 bytes: such a name is refused
  // instead of being stored as another.
  bool fits(const std::string &name, size_t room = 0) {
    if (name.size() + room <= 63) return true;
    conn_.set_error("The name " + name + " is too long for PostgreSQL (at most " +
                    std::to_string(63 - room) + " characters)");
    return false;
  }

  bool run(const std::string &sql, const std::vector<KvBound> &binds = {}, Result *rows = nullptr,
           bool multi = false) {
    last_sql_ = sql;
    return conn_.run(sql, binds, rows, multi);
  }
  bool run_guarded(const std::string &sql, const std::vector<KvBound> &binds,
                   Result *rows = nullptr, bool multi = false) {
    last_sql_ = sql;
    return conn_.run_guarded(sql, binds, rows, multi);
  }

  std::string conninfo_;
  mutable PgConnection conn_;
  KvDialect dialect_ = [] {
    KvDialect d;
    d.numbered_params = true;
    d.strict = true;
    d.gregorian = true;
    return d;
  }();
  std::string dbname_;
  std::string last_sql_;
  std::map<std::string, KvTable> tables_;
  std::set<std::string> used_;  // tables looked up since the request began
  std::set<std::string> held_;  // tables locked by this transaction's changes
  long cursors_ = 0;
};

// The key of korvald's advisory lock (any fixed number; "KORVAL" in ASCII).
constexpr const char *kLockKey = "75838268657676";

// Takes korvald's lock on c and creates KVSYS when missing; false with *err.
bool lock_server(PgConnection &c, std::string *err) {
  Result r;
  if (!c.ok()) {
    *err = c.error();
    return false;
  }
  if (!c.run(std::string("SELECT pg_try_advisory_lock(") + kLockKey + ")", {}, &r)) {
    *err = "Cannot lock the PostgreSQL database: " + c.error();
    return false;
  }
  if (PQgetvalue(r.get(), 0, 0)[0] != 't') {
    *err =
        "The PostgreSQL database " + std::string(PQdb(c.get())) + " is in use by another korvald";
    return false;
  }
  KvBound name = text(KV_SYSTEM_DB), mark = text(KV_PG_MARK);
  Result known, any;
  if (!c.run(kIsDatabase, {name, mark}, &known) ||
      !c.run("SELECT 1 FROM pg_namespace WHERE nspname = $1", {name}, &any)) {
    *err = "Cannot read the schemas of PostgreSQL: " + c.error();
    return false;
  }
  if (PQntuples(known.get()) == 0) {
    if (PQntuples(any.get()) > 0) {
      *err = std::string("The schema ") + KV_SYSTEM_DB +
             " of the PostgreSQL database is no KORVAL database (it lacks the comment '" +
             KV_PG_MARK + "')";
      return false;
    }
    if (!c.run(database_sql(KV_SYSTEM_DB), {}, nullptr, true)) {
      *err = std::string("Cannot create database ") + KV_SYSTEM_DB + ": " + c.error();
      return false;
    }
  }
  return true;
}

}  // namespace

std::unique_ptr<KvStore> kv_new_pg_store(const std::string &conninfo) {
  return std::make_unique<PgStore>(conninfo);
}

std::string kv_pg_where(const std::string &conninfo) {
  char *msg = nullptr;
  PQconninfoOption *opts = PQconninfoParse(conninfo.c_str(), &msg);
  PQfreemem(msg);
  std::string out = "PostgreSQL";
  for (PQconninfoOption *o = opts; o && o->keyword; o++) {
    if (!o->val || !*o->val || strcmp(o->keyword, "password") == 0) continue;
    out += std::string(" ") + o->keyword + "=" + o->val;
  }
  PQconninfoFree(opts);
  return out;
}

// The connection that holds korvald's advisory lock for the server's run.
struct KvPgBackend::Lock {
  explicit Lock(const std::string &conninfo) : conn(conninfo) {}
  PgConnection conn;
};

KvPgBackend::KvPgBackend(std::string conninfo) : conninfo_(std::move(conninfo)) {}
KvPgBackend::~KvPgBackend() = default;

bool KvPgBackend::init(bool demo, std::string *err) {
  auto lock = std::make_unique<Lock>(conninfo_);
  if (!lock_server(lock->conn, err)) return false;
  if (demo) {
    PgStore store(conninfo_);
    if (!store.open(KV_SYSTEM_DB)) {
      *err = "demo data: " + store.error();
      return false;
    }
    if (!kv_fill_demo(store, err)) return false;
  }
  lock_ = std::move(lock);
  return true;
}

std::string KvPgBackend::where() const { return kv_pg_where(conninfo_); }

std::unique_ptr<KvStore> KvPgBackend::new_store() { return kv_new_pg_store(conninfo_); }
