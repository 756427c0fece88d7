// One client connection of korvald: statement execution on SQLite, the
// command table, reply encoding, the watch for a client that has gone, and
// the rollback of an idle transaction.  See session.h.
#include "server/session.h"

#include <poll.h>
#include <sqlite3.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "proto/endian.h"
#include "proto/query.h"
#include "proto/wire.h"
#include "server/sqlgen.h"

// ---------------------------------------------------------------------------
// Value layout of a reply: every value is a 16-bit length and its bytes.

namespace {

// A CHARACTER value: the text with its NUL, cut to the longest one.
void put_text(DBwriter &w, const char *bytes, size_t n) {
  w.addstring(bytes, std::min(n, static_cast<size_t>(KV_MAX_CHARACTER)));
}

// A SMALLINT or INTEGER value, held to the type's range.
void put_int(DBwriter &w, KvType type, long long v) {
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

// Appends the value of column i of the current row of st, laid out for type.
// SQL NULL becomes the type's absent value.
void put_value(DBwriter &w, sqlite3_stmt *st, int i, KvType type) {
  bool null = sqlite3_column_type(st, i) == SQLITE_NULL;
  char b[12];
  switch (type) {
    case KV_CHARACTER: {
      const char *p = null ? "" : reinterpret_cast<const char *>(sqlite3_column_text(st, i));
      size_t n = null || !p ? 0 : static_cast<size_t>(sqlite3_column_bytes(st, i));
      // a text ends at its first NUL on the client side
      if (p) n = strnlen(p, n);
      put_text(w, p ? p : "", n);
      return;
    }
    case KV_BINARY: {
      const char *p = static_cast<const char *>(null ? nullptr : sqlite3_column_blob(st, i));
      int m = p ? std::min(sqlite3_column_bytes(st, i), KV_MAX_BINARY) : 0;
      // the value holds the BINARY's own length and bytes
      w.addshort(static_cast<int16_t>(m + 2));
      w.adddata(p, m);
      return;
    }
    case KV_SMALLINT:
    case KV_INTEGER: put_int(w, type, null ? 0 : sqlite3_column_int64(st, i)); return;
    case KV_FLOAT:
      le_put_double(b, null ? 0.0 : sqlite3_column_double(st, i));
      w.adddata(b, 8);
      return;
    case KV_DATE: {
      DATE d = _Def_Date;
      if (!null) {
        const char *p = reinterpret_cast<const char *>(sqlite3_column_text(st, i));
        if (p && !kv_parse_date(p, &d)) d = _Def_Date;
      }
      le_put16(b, static_cast<uint16_t>(d.year));
      b[2] = static_cast<char>(d.month);
      b[3] = static_cast<char>(d.day);
      w.adddata(b, 4);
      return;
    }
    case KV_TIME: {
      TIME t = _Def_Time;
      if (!null) {
        const char *p = reinterpret_cast<const char *>(sqlite3_column_text(st, i));
        if (p && !kv_parse_time(p, &t)) t = _Def_Time;
      }
      b[0] = static_cast<char>(t.hour);
      b[1] = static_cast<char>(t.min);
      b[2] = static_cast<char>(t.sec);
      w.adddata(b, 3);
      return;
    }
    case KV_TIMESTAMP: {
      DATI t = _Def_Dati;
      if (!null) {
        const char *p = reinterpret_cast<const char *>(sqlite3_column_text(st, i));
        if (p && !kv_parse_dati(p, &t)) t = _Def_Dati;
      }
      le_put16(b, static_cast<uint16_t>(t.year));
      b[2] = static_cast<char>(t.month);
      b[3] = static_cast<char>(t.day);
      b[4] = static_cast<char>(t.hour);
      b[5] = static_cast<char>(t.min);
      b[6] = static_cast<char>(t.sec);
      b[7] = '\0';
      le_put32(b + 8, static_cast<uint32_t>(t.usec));
      w.adddata(b, 12);
      return;
    }
  }
}

bool bind_all(sqlite3_stmt *st, const std::vector<KvBound> &binds) {
  for (size_t i = 0; i < binds.size(); i++) {
    const KvBound &b = binds[i];
    int k = static_cast<int>(i + 1), rc = SQLITE_OK;
    switch (b.kind) {
      case KvBound::NUL: rc = sqlite3_bind_null(st, k); break;
      case KvBound::INT: rc = sqlite3_bind_int64(st, k, b.i); break;
      case KvBound::REAL: rc = sqlite3_bind_double(st, k, b.d); break;
      case KvBound::TEXT:
        rc = sqlite3_bind_text(st, k, b.s.data(), static_cast<int>(b.s.size()), SQLITE_TRANSIENT);
        break;
      case KvBound::BLOB:
        rc = sqlite3_bind_blob(st, k, b.s.data(), static_cast<int>(b.s.size()), SQLITE_TRANSIENT);
        break;
    }
    if (rc != SQLITE_OK) return false;
  }
  return true;
}

// A prepared statement that finalises itself.
struct Stmt {
  sqlite3_stmt *st = nullptr;
  ~Stmt() { sqlite3_finalize(st); }
};

}  // namespace

// ---------------------------------------------------------------------------
// LIKE on Latin-1 bytes.  SQLite's own LIKE reads UTF-8 and folds ASCII case
// only: every umlaut byte became the same replacement character, so a
// pattern beginning with one umlaut found words beginning with any other,
// while 'm%' found "Meier".  Here '%' is any run of bytes, '_' one byte, and
// every other byte matches only itself.

static bool like_bytes(const unsigned char *p, size_t pn, const unsigned char *s, size_t sn,
                       int esc) {
  size_t pi = 0, si = 0, star = SIZE_MAX, mark = 0;
  while (si < sn) {
    if (pi < pn && p[pi] == '%' && p[pi] != esc) {
      star = ++pi;  // remember where to retry with one more byte taken
      mark = si;
      continue;
    }
    if (pi < pn) {
      int c = p[pi];
      size_t step = 1;
      bool any = c == '_';
      if (c == esc && pi + 1 < pn) {
        c = p[pi + 1];
        step = 2;
        any = false;
      }
      if (any || c == s[si]) {
        pi += step;
        si++;
        continue;
      }
    }
    if (star == SIZE_MAX) return false;
    pi = star;
    si = ++mark;
  }
  while (pi < pn && p[pi] == '%' && p[pi] != esc) pi++;
  return pi == pn;
}

// like(pattern, text [, escape]): SQLite calls it for "text LIKE pattern".
static void like_function(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  for (int i = 0; i < argc; i++)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return;  // NULL result
  int esc = -1;
  if (argc == 3) {
    const unsigned char *e = sqlite3_value_text(argv[2]);
    if (!e || sqlite3_value_bytes(argv[2]) != 1) {
      sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
      return;
    }
    esc = e[0];
  }
  const unsigned char *p = sqlite3_value_text(argv[0]);
  size_t pn = static_cast<size_t>(sqlite3_value_bytes(argv[0]));
  const unsigned char *t = sqlite3_value_text(argv[1]);
  size_t tn = static_cast<size_t>(sqlite3_value_bytes(argv[1]));
  if (!p || !t) {
    sqlite3_result_error_nomem(ctx);
    return;
  }
  sqlite3_result_int(ctx, like_bytes(p, pn, t, tn, esc) ? 1 : 0);
}

// ---------------------------------------------------------------------------

KvSession::KvSession(KvCatalog &catalog, int id, size_t reply_limit)
    : catalog_(catalog), id_(id), reply_limit_(reply_limit) {}

KvSession::~KvSession() { close_db(); }

void KvSession::trim() {
  if (reply_.capacity() > kLargeReply) std::vector<char>().swap(reply_);
}

// Room for the longest reply at once: until it is written it is only
// address space, and the reply is not copied again on its way up.  Huge
// pages spare most of the page faults of writing it.
void KvSession::reserve_reply() {
  reply_.reserve(reply_limit_ + 64 * 1024);
  advise_huge(reply_.data(), reply_.capacity());
}

// Every reply replaces what the request had answered so far.
DBwriter KvSession::new_reply() {
  reply_.clear();
  return DBwriter(reply_);
}

void KvSession::reply_error(const std::string &text) { new_reply().adderrmsg(text.c_str()); }

void KvSession::reply_ok() { new_reply().addok(); }

void KvSession::reply_count(long count) {
  new_reply().addoktuples(static_cast<int32_t>(std::min<long>(count, INT32_MAX)));
}

void KvSession::reply_sqlite_error() { reply_error(sqlite_error_text()); }

std::string KvSession::sqlite_error_text() const {
  if (!db_) return "No database open";
  if (sqlite3_extended_errcode(db_) == SQLITE_BUSY_SNAPSHOT)
    return "The database was changed by another connection during this transaction "
           "(ABORT and try again)";
  if (sqlite3_errcode(db_) == SQLITE_BUSY)
    return "The database is busy: another connection has uncommitted changes (try again)";
  return sqlite3_errmsg(db_);
}

void KvSession::reply_rows(const KvRows &rows, size_t first, size_t count, bool partial) {
  DBwriter w = new_reply();
  if (partial) {
    w.addnotalldata();
  } else {
    w.addokdata();
  }
  w.addint(static_cast<int32_t>(rows.fields.size()));
  w.addint(static_cast<int32_t>(count));
  if (count == 0) return;
  for (auto &f : rows.fields) {
    w.addstring(f.name.c_str());
    w.addtoken(db_types[f.type].code);
    w.addint(f.size);
  }
  size_t from = rows.offsets[first];
  size_t to = first + count < rows.offsets.size() ? rows.offsets[first + count] : rows.data.size();
  w.add(rows.data.data() + from, static_cast<int>(to - from));
}

bool KvSession::need_db() {
  if (db_) return true;
  reply_error("No database open");
  return false;
}

bool KvSession::in_transaction() const { return tx_open_ || (db_ && !sqlite3_get_autocommit(db_)); }

void KvSession::expire_transaction(int seconds) {
  drain_cursors();
  if (db_ && !sqlite3_get_autocommit(db_)) exec_sql("ROLLBACK");
  tx_open_ = tx_started_ = false;
  forget_schema();
  expired_ = "The transaction was rolled back after " + std::to_string(seconds) +
             " s without a request; nothing of it was committed, and this request was not run";
}

// SQLite calls this every thousand steps of a running statement; a non-zero
// result interrupts the statement.  The client never sends while it waits
// for a reply, so only a hang-up or an error on its socket (not readable
// data) means it has gone.  The socket is looked at ten times a second at
// most.
int KvSession::check_peer(void *session) {
  auto *s = static_cast<KvSession *>(session);
  timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  long long ms = static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
  if (s->peer_gone_ || ms < s->next_peer_check_) return s->peer_gone_;
  s->next_peer_check_ = ms + 100;
  pollfd p = {s->peer_fd_, POLLRDHUP, 0};
  if (poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) s->peer_gone_ = true;
  return s->peer_gone_;
}

// BEGIN only marks the transaction; SQLite's transaction starts with its
// first statement.  A reading one starts a deferred transaction, so that
// the viewer's BEGIN / SELECT / END never waits for another connection's
// uncommitted changes.  A writing one takes the write lock first (waiting
// up to the busy timeout), because SQLite cannot wait for it once the
// transaction has read: the catalogue lookups before every change would
// otherwise make concurrent writers fail at once.
bool KvSession::start_transaction(bool write) {
  if (!tx_open_ || !sqlite3_get_autocommit(db_)) return true;
  if (tx_started_) {
    // SQLite rolled the transaction back itself (after an I/O error, for
    // example); carrying on would commit the rest on its own
    reply_error("The transaction was rolled back after an error (end it with ABORT)");
    return false;
  }
  if (!exec_sql(write ? "BEGIN IMMEDIATE" : "BEGIN")) {
    reply_sqlite_error();
    return false;
  }
  tx_started_ = true;
  return true;
}

bool KvSession::exec_sql(const std::string &sql) {
  last_sql_ = sql;
  return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool KvSession::open_db(const std::string &name, std::string *err) {
  if (!catalog_.db_acquire(name)) {
    *err = "Database " + name + " does not exist";
    return false;
  }
  sqlite3 *db = nullptr;
  int rc = sqlite3_open_v2(catalog_.db_path(name).c_str(), &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    *err = "Cannot open database " + name + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    catalog_.db_release(name);
    return false;
  }
  sqlite3_busy_timeout(db, 5000);
  if (peer_fd_ >= 0) sqlite3_progress_handler(db, 1000, check_peer, this);
  sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
  // reads map the file instead of copying every page into the page cache
  sqlite3_exec(db, "PRAGMA mmap_size=268435456", nullptr, nullptr, nullptr);
  sqlite3_create_function(db, "like", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, like_function,
                          nullptr, nullptr);
  sqlite3_create_function(db, "like", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, like_function,
                          nullptr, nullptr);
  close_db();
  db_ = db;
  dbname_ = name;
  return true;
}

void KvSession::close_db() {
  cursors_.clear();
  tx_open_ = tx_started_ = false;
  if (!db_) return;
  forget_schema();
  sqlite3_finalize(schema_stmt_);
  schema_stmt_ = nullptr;
  // a client that has gone must not interrupt its own rollback
  sqlite3_progress_handler(db_, 0, nullptr, nullptr);
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db_);
  db_ = nullptr;
  catalog_.db_release(dbname_);
  dbname_.clear();
}

// A rolled-back transaction takes the schema version back with it, so that
// an equal version would no longer prove an unchanged schema: every end of
// a transaction forgets the schema as well (forget_schema).
void KvSession::check_schema() {
  if (schema_checked_) return;
  schema_checked_ = true;
  if (!schema_stmt_ &&
      sqlite3_prepare_v3(db_, "PRAGMA schema_version", -1, SQLITE_PREPARE_PERSISTENT, &schema_stmt_,
                         nullptr) != SQLITE_OK) {
    forget_schema();
    return;
  }
  int version = sqlite3_step(schema_stmt_) == SQLITE_ROW ? sqlite3_column_int(schema_stmt_, 0) : -1;
  sqlite3_reset(schema_stmt_);
  if (version < 0 || version != schema_version_) forget_schema();
  schema_version_ = version;
}

void KvSession::forget_schema() {
  for (auto &st : statements_) sqlite3_finalize(st.second);
  statements_.clear();
  tables_.clear();
  schema_version_ = -1;
}

const KvSession::TableInfo *KvSession::table_info(const std::string &table) {
  check_schema();
  auto it = tables_.find(table);
  if (it != tables_.end()) return &it->second;
  TableInfo info;
  if (!read_columns(table, &info.cols)) return nullptr;
  info.is_static = table_flag(table, "STATIC");
  info.secure = table_flag(table, "SECURE");
  // a version that could not be read proves nothing: nothing is kept
  if (schema_version_ < 0) {
    scratch_table_ = std::move(info);
    return &scratch_table_;
  }
  return &(tables_[table] = std::move(info));
}

bool KvSession::table_columns(const std::string &table, std::vector<KvColumn> *cols) {
  const TableInfo *t = table_info(table);
  if (t) {
    *cols = t->cols;
  } else {
    cols->clear();
  }
  return t != nullptr;
}

bool KvSession::read_columns(const std::string &table, std::vector<KvColumn> *cols) {
  cols->clear();
  Stmt s;
  if (sqlite3_prepare_v2(db_, "SELECT name, type, \"notnull\" FROM pragma_table_info(?1)", -1,
                         &s.st, nullptr) != SQLITE_OK)
    return false;
  sqlite3_bind_text(s.st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  while (sqlite3_step(s.st) == SQLITE_ROW) {
    const char *n = reinterpret_cast<const char *>(sqlite3_column_text(s.st, 0));
    const char *t = reinterpret_cast<const char *>(sqlite3_column_text(s.st, 1));
    KvColumn c = kv_parse_declared(n ? n : "", t ? t : "");
    c.notnull = sqlite3_column_int(s.st, 2) != 0;
    cols->push_back(c);
  }
  return !cols->empty();
}

// STATIC and SECURE are kept as triggers named KV$STATIC$T and KV$SECURE$T
// (a '$' can never occur in a KORVAL name), so that they are part of the
// database file, survive restarts and are removed with their table.
bool KvSession::table_flag(const std::string &table, const char *flag) {
  Stmt s;
  std::string trig = std::string("KV$") + flag + "$" + table;
  if (sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE type='trigger' AND name=?1", -1,
                         &s.st, nullptr) != SQLITE_OK)
    return false;
  sqlite3_bind_text(s.st, 1, trig.c_str(), -1, SQLITE_TRANSIENT);
  return sqlite3_step(s.st) == SQLITE_ROW;
}

bool KvSession::check_writable(const std::string &table, bool deleting) {
  const TableInfo *t = table_info(table);
  if (t && t->is_static) {
    reply_error("Table " + table + " is STATIC (read-only)");
    return false;
  }
  if (t && deleting && t->secure) {
    reply_error("Table " + table + " is SECURE (no DELETE, no DROP TABLE)");
    return false;
  }
  return true;
}

// SQLite prepares a kept statement again by itself when the schema has
// changed.
sqlite3_stmt *KvSession::cached_statement(const std::string &sql) {
  auto it = statements_.find(sql);
  if (it != statements_.end()) return it->second;
  sqlite3_stmt *st = nullptr;
  if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) !=
      SQLITE_OK)
    return nullptr;
  // a bound on the statements kept: changes of ever new shapes start over
  if (statements_.size() >= 64) {
    for (auto &kept : statements_) sqlite3_finalize(kept.second);
    statements_.clear();
  }
  statements_[sql] = st;
  return st;
}

bool KvSession::need_table(const std::string &table, std::vector<KvColumn> *cols) {
  if (table_columns(table, cols)) return true;
  reply_error("Table " + table + " does not exist");
  return false;
}

// The lookup statement is finalised on return: left open, it would lock the
// schema against a following DROP INDEX.
bool KvSession::need_index(const std::string &name) {
  Stmt s;
  if (sqlite3_prepare_v2(db_,
                         "SELECT 1 FROM sqlite_master WHERE type='index' AND name=?1 AND "
                         "sql IS NOT NULL",
                         -1, &s.st, nullptr) != SQLITE_OK) {
    reply_sqlite_error();
    return false;
  }
  sqlite3_bind_text(s.st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(s.st) == SQLITE_ROW) return true;
  reply_error("Index " + name + " does not exist");
  return false;
}

void KvSession::exec_change(const std::string &sql, const std::vector<KvBound> &binds) {
  last_sql_ = sql;
  sqlite3_stmt *st = cached_statement(sql);
  bool ok = st && bind_all(st, binds) && sqlite3_step(st) == SQLITE_DONE;
  // the reply takes SQLite's error text before the reset
  if (!ok) reply_sqlite_error();
  if (st) {
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
  }
  if (ok) reply_count(sqlite3_changes(db_));
}

void KvSession::reply_exec(const std::string &sql) {
  if (exec_sql(sql)) {
    reply_ok();
  } else {
    reply_sqlite_error();
  }
}

// The commands: what each needs before its handler runs, and what the
// connection thread does afterwards.  kv_decode accepts the same codes.
const KvSession::Command KvSession::kCommands[] = {
    {CMD_OPEN_DATABASE, false, TX_REFUSED, KV_SEND_REPLY, &KvSession::do_set_database},
    {CMD_SET_DATABASE, false, TX_REFUSED, KV_SEND_REPLY, &KvSession::do_set_database},
    {CMD_CREATE_DATABASE, false, TX_REFUSED, KV_SEND_REPLY, &KvSession::do_set_database},
    // refused in a transaction as well, but only after the check of its name
    {CMD_DROP_DATABASE, true, TX_NONE, KV_SEND_REPLY, &KvSession::do_drop_database},
    {CMD_DISCONNECT, false, TX_NONE, KV_NO_REPLY, &KvSession::do_disconnect},
    {CMD_STOP_SERVER, false, TX_NONE, KV_STOP_SERVER, nullptr},
    {CMD_STOP, false, TX_NONE, KV_REPLY_AND_STOP, &KvSession::do_stop},
    // SHOW DATABASES needs no database; do_show asks for one for the others
    {CMD_SHOW, false, TX_NONE, KV_SEND_REPLY, &KvSession::do_show},
    {CMD_MAX, false, TX_NONE, KV_SEND_REPLY, &KvSession::do_max},
    {CMD_SELECT, true, TX_READ, KV_SEND_REPLY, &KvSession::do_select},
    {CMD_DECLARE, true, TX_READ, KV_SEND_REPLY, &KvSession::do_declare},
    {CMD_FETCH, true, TX_NONE, KV_SEND_REPLY, &KvSession::do_fetch},
    {CMD_CLOSE, true, TX_NONE, KV_SEND_REPLY, &KvSession::do_close},
    {CMD_INSERT, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_insert},
    {CMD_UPDATE, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_update},
    {CMD_DELETE, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_delete},
    {CMD_CREATE_TABLE, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_create_table},
    {CMD_DROP_TABLE, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_drop_table},
    {CMD_CREATE_INDEX, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_create_index},
    {CMD_CREATE_UNIQUE_INDEX, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_create_index},
    {CMD_DROP_INDEX, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_drop_index},
    {CMD_SET_STATIC, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_set_flag},
    {CMD_SET_SECURE, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_set_flag},
    {CMD_SAVE_DATABASE, true, TX_NONE, KV_SEND_REPLY, &KvSession::do_save},
    {CMD_BEGIN, true, TX_NONE, KV_SEND_REPLY, &KvSession::do_begin},
    {CMD_COMMIT, true, TX_NONE, KV_SEND_REPLY, &KvSession::do_end},
    {CMD_ABORT, true, TX_NONE, KV_SEND_REPLY, &KvSession::do_end},
};

const KvSession::Command *KvSession::command(int code) {
  for (const Command &c : kCommands)
    if (c.cmd == code) return &c;
  return nullptr;
}

KvReply KvSession::handle(const char *data, int len) {
  KvRequest req;
  std::string err;
  last_sql_.clear();
  reply_.clear();
  schema_checked_ = false;
  KvAction action = KV_SEND_REPLY;
  // a request without a reply cannot carry the notice of an expired
  // transaction: it runs
  const Command *c = len > 0 ? command(static_cast<unsigned char>(data[0])) : nullptr;
  bool unanswered = c && (c->action == KV_NO_REPLY || c->action == KV_STOP_SERVER);
  if (!expired_.empty() && !unanswered) {
    reply_error(expired_);
    expired_.clear();
    if (catalog_.tracing())
      catalog_.log_line("[" + std::to_string(id_) + "] request not run: transaction had expired");
  } else if (!kv_decode(data, len, &req, &err)) {
    reply_error(err);
    if (catalog_.tracing())
      catalog_.log_line("[" + std::to_string(id_) + "] request refused: " + err);
  } else {
    action = execute(c, req);
    if (catalog_.tracing()) {
      std::string line = "[" + std::to_string(id_) + "] " + kv_describe(req);
      if (!last_sql_.empty()) line += " | " + last_sql_;
      catalog_.log_line(line);
    }
  }
  if (action == KV_NO_REPLY || action == KV_STOP_SERVER) return {action, {}};
  if (catalog_.tracing()) trace_reply();
  return {action, std::string_view(reply_.data(), reply_.size())};
}

// One line for the reply in the --trace log: its code, and the error text,
// the numbers of fields and rows, or the count.
void KvSession::trace_reply() {
  const char *r = reply_.data();
  int n = static_cast<int>(reply_.size());
  std::string line = "[" + std::to_string(id_) + "] reply ";
  line += n > 0 ? r[0] : '?';
  int32_t fields, rows;
  if (n > 0 && r[0] == REPLY_ERROR) {
    const char *text;
    if (DBmatch_errmsg(1, r, n, &text) > 0) line += std::string(" ") + text;
  } else if (n >= 9 && (r[0] == REPLY_DATA || r[0] == REPLY_NOTALLDATA)) {
    DBget_int(1, r, n, &fields, nullptr);
    DBget_int(5, r, n, &rows, nullptr);
    line += " " + std::to_string(fields) + " fields, " + std::to_string(rows) + " rows";
  } else if (n >= 5 && r[0] == REPLY_TUPLES) {
    DBget_int(1, r, n, &rows, nullptr);
    line += " count " + std::to_string(rows);
  }
  catalog_.log_line(line);
}

KvAction KvSession::execute(const Command *c, const KvRequest &req) {
  if (!c) {
    reply_error("Unknown request code " + std::to_string(req.cmd));
    return KV_SEND_REPLY;
  }
  if (c->tx == TX_REFUSED && in_transaction()) {
    reply_error("Not possible inside a transaction");
    return c->action;
  }
  if (c->needs_db && !need_db()) return c->action;
  // reading a cursor, and other reading, leaves its open statement alone
  static const int kBesideCursors[] = {CMD_FETCH,  CMD_CLOSE, CMD_DECLARE,
                                       CMD_SELECT, CMD_SHOW,  CMD_MAX};
  if (std::find(std::begin(kBesideCursors), std::end(kBesideCursors), c->cmd) ==
      std::end(kBesideCursors))
    drain_cursors();
  if ((c->tx == TX_READ || c->tx == TX_WRITE) && !start_transaction(c->tx == TX_WRITE))
    return c->action;
  if (c->run) (this->*c->run)(req);
  return c->action;
}

void KvSession::do_disconnect(const KvRequest &) {
  close_db();
  max_rows_ = -1;
  expired_.clear();
}

void KvSession::do_stop(const KvRequest &) { reply_ok(); }

void KvSession::do_max(const KvRequest &req) {
  max_rows_ = req.max_none ? -1 : req.max;
  reply_ok();
}

void KvSession::do_close(const KvRequest &req) {
  if (cursors_.erase(req.name)) {
    reply_ok();
  } else {
    reply_error("Cursor " + req.name + " is not declared");
  }
}

void KvSession::do_begin(const KvRequest &) {
  if (in_transaction()) {
    reply_error("A transaction is already active");
  } else {
    tx_open_ = true;
    reply_ok();
  }
}

// COMMIT (and END) or ABORT.
void KvSession::do_end(const KvRequest &req) {
  forget_schema();
  if (!in_transaction()) {
    reply_error("No transaction active");
  } else if (sqlite3_get_autocommit(db_) && tx_started_ && req.cmd == CMD_COMMIT) {
    tx_open_ = tx_started_ = false;
    reply_error("The transaction was rolled back after an error; nothing was committed");
  } else if (sqlite3_get_autocommit(db_) ||
             exec_sql(req.cmd == CMD_COMMIT ? "COMMIT" : "ROLLBACK")) {
    tx_open_ = tx_started_ = false;
    reply_ok();
  } else {
    reply_sqlite_error();
    if (sqlite3_get_autocommit(db_)) tx_open_ = tx_started_ = false;
  }
}

// ---------------------------------------------------------------------------
// Queries.

bool KvSession::prepare_select(const KvSelect &sel, std::vector<KvField> *fields,
                               sqlite3_stmt **st) {
  SqlGen gen(
      [this](const std::string &t, std::vector<KvColumn> *c) { return table_columns(t, c); });
  if (!gen.select(sel, fields)) {
    reply_error(gen.err);
    return false;
  }
  last_sql_ = gen.sql;
  if (sqlite3_prepare_v2(db_, gen.sql.c_str(), -1, st, nullptr) != SQLITE_OK ||
      !bind_all(*st, gen.binds)) {
    reply_sqlite_error();
    return false;
  }
  return true;
}

// The rows are laid out straight into the reply, behind the header of
// reply_rows whose row count is filled in at the end.  A row that would
// make the reply longer than the limit is taken back, and the reply says
// that not all rows were sent.
void KvSession::do_select(const KvRequest &req) {
  std::vector<KvField> fields;
  Stmt s;
  if (!prepare_select(req.select, &fields, &s.st)) return;
  DBwriter w = new_reply();
  w.addokdata();
  w.addint(static_cast<int32_t>(fields.size()));
  w.addint(0);
  const size_t head = reply_.size();
  for (auto &f : fields) {
    w.addstring(f.name.c_str());
    w.addtoken(db_types[f.type].code);
    w.addint(f.size);
  }
  int ncols = static_cast<int>(fields.size());
  int32_t count = 0;
  bool partial = false;
  int rc;
  while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
    if ((max_rows_ >= 0 && count >= max_rows_) || count == INT32_MAX) {
      partial = true;
      break;
    }
    size_t row = reply_.size();
    if (row > kLargeReply && reply_.capacity() < reply_limit_) reserve_reply();
    for (int i = 0; i < ncols; i++) put_value(w, s.st, i, fields[i].type);
    if (reply_.size() > reply_limit_) {
      reply_.resize(row);
      partial = true;
      break;
    }
    count++;
  }
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
    reply_sqlite_error();
    return;
  }
  // without rows the reply ends after the counts
  if (count == 0) reply_.resize(head);
  if (partial) reply_[0] = static_cast<char>(REPLY_NOTALLDATA);
  le_put32(reply_.data() + head - 4, static_cast<uint32_t>(count));
}

void KvStmtFinalizer::operator()(sqlite3_stmt *st) const { sqlite3_finalize(st); }

// Rows of a cursor are read as they are asked for: with a row maximum set,
// FETCH ALL takes that many at a time, and the next batch is read ahead
// while the client works on the last (prefetch).  Without a maximum every
// row is read at DECLARE.  Before any request that could change what the
// open statement reads, the rest is read (drain_cursors), so that a cursor
// always shows the database as it was when it was declared.
bool KvSession::pull(Cursor &c, size_t want) {
  KvRows &r = c.rows;
  if (c.next > 0) {
    size_t from = c.next < r.offsets.size() ? r.offsets[c.next] : r.data.size();
    r.data.erase(r.data.begin(), r.data.begin() + static_cast<long>(from));
    r.offsets.erase(r.offsets.begin(), r.offsets.begin() + static_cast<long>(c.next));
    for (size_t &o : r.offsets) o -= from;
    c.next = 0;
  }
  if (!c.st) return true;
  DBwriter w(r.data);
  int ncols = static_cast<int>(r.fields.size());
  while (r.offsets.size() < want && r.data.size() <= reply_limit_) {
    int rc = sqlite3_step(c.st.get());
    if (rc == SQLITE_DONE) {
      c.st.reset();
      return true;
    }
    if (rc != SQLITE_ROW) {
      c.error = sqlite_error_text();
      c.st.reset();
      return false;
    }
    r.offsets.push_back(r.data.size());
    for (int i = 0; i < ncols; i++) put_value(w, c.st.get(), i, r.fields[i].type);
  }
  return true;
}

void KvSession::drain_cursors() {
  for (auto &it : cursors_) {
    Cursor &c = it.second;
    if (!c.st) continue;
    pull(c, SIZE_MAX);
    if (c.st) {
      c.error = "Cursor " + it.first + ": result too large (close other cursors)";
      c.st.reset();
    }
  }
}

void KvSession::prefetch() {
  std::string name;
  name.swap(last_cursor_);
  auto it = cursors_.find(name);
  if (it == cursors_.end() || !it->second.st || max_rows_ < 0) return;
  pull(it->second, static_cast<size_t>(max_rows_) + 1);
}

void KvSession::do_declare(const KvRequest &req) {
  if (cursors_.count(req.name)) {
    reply_error("Cursor " + req.name + " is already declared");
    return;
  }
  Cursor c;
  sqlite3_stmt *st = nullptr;
  bool prepared = prepare_select(req.select, &c.rows.fields, &st);
  c.st.reset(st);
  if (!prepared) return;
  if (!pull(c, max_rows_ >= 0 ? static_cast<size_t>(max_rows_) + 1 : SIZE_MAX)) {
    reply_error(c.error);
    return;
  }
  size_t held = c.rows.data.size();
  for (auto &other : cursors_) held += other.second.rows.data.size();
  // read whole, the rows of all cursors must fit into a reply; read in
  // batches, each cursor holds a batch at most
  if (max_rows_ < 0 && (c.st || held > reply_limit_)) {
    reply_error("Cursor " + req.name + ": result too large (close other cursors)");
    return;
  }
  cursors_[req.name] = std::move(c);
  last_cursor_ = req.name;
  reply_ok();
}

void KvSession::do_fetch(const KvRequest &req) {
  auto it = cursors_.find(req.name);
  if (it == cursors_.end()) {
    reply_error("Cursor " + req.name + " is not declared");
    return;
  }
  Cursor &c = it->second;
  size_t want = !req.fetch_all ? 1 : max_rows_ >= 0 ? static_cast<size_t>(max_rows_) + 1 : SIZE_MAX;
  // a failure while reading comes after the rows read before it
  pull(c, want);
  size_t left = c.rows.offsets.size() - c.next;
  if (left == 0 && !c.error.empty()) {
    reply_error(c.error);
    c.error.clear();
    return;
  }
  size_t n = req.fetch_all ? left : std::min<size_t>(left, 1);
  // rows are left beyond the longest reply
  bool partial = req.fetch_all && max_rows_ < 0 && c.st;
  if (max_rows_ >= 0 && n > static_cast<size_t>(max_rows_)) {
    n = static_cast<size_t>(max_rows_);
    partial = true;
  }
  // no more rows than a reply can hold
  size_t room = 9;
  for (auto &f : c.rows.fields) room += f.name.size() + 8;
  room = reply_limit_ > room ? reply_limit_ - room : 0;
  auto end_of = [&c](size_t row) {
    return row < c.rows.offsets.size() ? c.rows.offsets[row] : c.rows.data.size();
  };
  while (n > 0 && end_of(c.next + n) - c.rows.offsets[c.next] > room) {
    n = n / 2;
    partial = true;
  }
  reply_rows(c.rows, c.next, n, partial);
  c.next += n;
  last_cursor_ = req.name;
}

bool KvSession::run_query(const std::string &sql, const std::vector<std::string> &params,
                          const std::vector<KvField> &fields, KvRows *rows) {
  Stmt s;
  last_sql_ = sql;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s.st, nullptr) != SQLITE_OK) {
    reply_sqlite_error();
    return false;
  }
  for (size_t i = 0; i < params.size(); i++)
    sqlite3_bind_text(s.st, static_cast<int>(i + 1), params[i].c_str(), -1, SQLITE_TRANSIENT);
  rows->fields = fields;
  DBwriter w(rows->data);
  int rc;
  while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
    rows->offsets.push_back(rows->data.size());
    for (size_t i = 0; i < fields.size(); i++) {
      if (fields[i].type == KV_CHARACTER)
        rows->fields[i].size =
            std::max(rows->fields[i].size, sqlite3_column_bytes(s.st, static_cast<int>(i)) + 1);
      put_value(w, s.st, static_cast<int>(i), fields[i].type);
    }
  }
  if (rc != SQLITE_DONE) {
    reply_sqlite_error();
    return false;
  }
  return true;
}

void KvSession::do_show(const KvRequest &req) {
  if (req.show != SHOW_DATABASES && !need_db()) return;
  KvRows rows;
  DBwriter w(rows.data);
  auto text_field = [](const char *name) { return KvField{name, KV_CHARACTER, 1}; };
  switch (req.show) {
    case SHOW_DATABASES: {
      rows.fields.push_back(text_field("DATABASE"));
      for (auto &name : catalog_.db_list()) {
        rows.offsets.push_back(rows.data.size());
        put_text(w, name.data(), name.size());
        rows.fields[0].size = std::max(rows.fields[0].size, static_cast<int>(name.size()) + 1);
      }
      break;
    }
    case SHOW_TABLES:
      if (!run_query("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE "
                     "'sqlite!_%' ESCAPE '!' ORDER BY name",
                     {}, {text_field("TABLE")}, &rows))
        return;
      break;
    case SHOW_INDICES:
    case SHOW_INDICES_ON: {
      std::vector<KvColumn> cols;
      if (req.show == SHOW_INDICES_ON && !need_table(req.name, &cols)) return;
      std::string sql =
          "SELECT name, tbl_name, CASE WHEN upper(sql) LIKE 'CREATE UNIQUE%' THEN 'YES' ELSE 'NO' "
          "END "
          "FROM sqlite_master WHERE type='index' AND sql IS NOT NULL";
      std::vector<std::string> params;
      if (req.show == SHOW_INDICES_ON) {
        sql += " AND tbl_name=?1";
        params.push_back(req.name);
      }
      sql += " ORDER BY name";
      if (!run_query(sql, params, {text_field("INDEX"), text_field("TABLE"), text_field("UNIQUE")},
                     &rows))
        return;
      break;
    }
    case SHOW_TABLE: {
      std::vector<KvColumn> cols;
      if (!need_table(req.name, &cols)) return;
      rows.fields = {text_field("COLUMN"),
                     text_field("TYPE"),
                     {"SIZE", KV_INTEGER, db_types[KV_INTEGER].size},
                     text_field("NOT NULL")};
      for (auto &c : cols) {
        rows.offsets.push_back(rows.data.size());
        std::string texts[3] = {c.name, db_types[c.type].name, c.notnull ? "YES" : "NO"};
        int size = c.len ? c.len : db_types[c.type].size;
        put_text(w, texts[0].data(), texts[0].size());
        put_text(w, texts[1].data(), texts[1].size());
        put_int(w, KV_INTEGER, size);
        put_text(w, texts[2].data(), texts[2].size());
        for (int i = 0; i < 3; i++) {
          int f = i == 2 ? 3 : i;
          rows.fields[f].size =
              std::max(rows.fields[f].size, static_cast<int>(texts[i].size()) + 1);
        }
      }
      break;
    }
    case SHOW_INDEX: {
      if (!need_index(req.name)) return;
      if (!run_query(
              "SELECT m.name, m.tbl_name, i.name, CASE WHEN upper(m.sql) LIKE 'CREATE UNIQUE%' "
              "THEN 'YES' ELSE 'NO' END FROM sqlite_master AS m, pragma_index_info(?1) AS i "
              "WHERE m.type='index' AND m.name=?1 ORDER BY i.seqno",
              {req.name},
              {text_field("INDEX"), text_field("TABLE"), text_field("COLUMN"),
               text_field("UNIQUE")},
              &rows))
        return;
      break;
    }
  }
  reply_rows(rows, 0, rows.offsets.size(), false);
}

// ---------------------------------------------------------------------------
// Changes.

static const KvColumn *find_column(const std::vector<KvColumn> &cols, const std::string &name) {
  for (auto &c : cols)
    if (kv_same_name(c.name, name)) return &c;
  return nullptr;
}

void KvSession::do_insert(const KvRequest &req) {
  const TableInfo *info = table_info(req.name);
  if (!info) {
    reply_error("Table " + req.name + " does not exist");
    return;
  }
  if (!check_writable(req.name, false)) return;
  const std::vector<KvColumn> &cols = info->cols;
  std::vector<const KvColumn *> targets;
  if (req.columns.empty()) {
    if (req.values.size() != cols.size()) {
      reply_error("Table " + req.name + " has " + std::to_string(cols.size()) + " columns, " +
                  std::to_string(req.values.size()) + " values given");
      return;
    }
    for (auto &c : cols) targets.push_back(&c);
  } else {
    for (auto &n : req.columns) {
      const KvColumn *c = find_column(cols, n);
      if (!c) {
        reply_error("Column " + n + " does not exist in table " + req.name);
        return;
      }
      if (std::find(targets.begin(), targets.end(), c) != targets.end()) {
        reply_error("Column " + n + " given twice");
        return;
      }
      targets.push_back(c);
    }
  }
  std::string sql = "INSERT INTO " + kv_quote(req.name) + " (", vals;
  std::vector<KvBound> binds;
  for (size_t i = 0; i < targets.size(); i++) {
    KvBound b;
    std::string err;
    if (!kv_convert(req.values[i], *targets[i], &b, &err)) {
      reply_error(err);
      return;
    }
    binds.push_back(b);
    sql += (i ? ", " : "") + kv_quote(targets[i]->name);
    vals += i ? ", ?" : "?";
  }
  sql += ") VALUES (" + vals + ")";
  exec_change(sql, binds);
}

void KvSession::do_update(const KvRequest &req) {
  std::vector<KvColumn> cols;
  if (!need_table(req.name, &cols)) return;
  if (!check_writable(req.name, false)) return;
  SqlGen gen(
      [this](const std::string &t, std::vector<KvColumn> *c) { return table_columns(t, c); });
  gen.sql = "UPDATE " + kv_quote(req.name) + " SET ";
  for (size_t i = 0; i < req.columns.size(); i++) {
    const KvColumn *c = find_column(cols, req.columns[i]);
    if (!c) {
      reply_error("Column " + req.columns[i] + " does not exist in table " + req.name);
      return;
    }
    KvBound b;
    std::string err;
    if (!kv_convert(req.values[i], *c, &b, &err)) {
      reply_error(err);
      return;
    }
    if (i) gen.sql += ", ";
    gen.sql += kv_quote(c->name) + " = ";
    gen.bind(b);
  }
  if (req.where && !gen.where_on(req.name, cols, *req.where)) {
    reply_error(gen.err);
    return;
  }
  exec_change(gen.sql, gen.binds);
}

void KvSession::do_delete(const KvRequest &req) {
  std::vector<KvColumn> cols;
  if (!need_table(req.name, &cols)) return;
  if (!check_writable(req.name, true)) return;
  SqlGen gen(
      [this](const std::string &t, std::vector<KvColumn> *c) { return table_columns(t, c); });
  gen.sql = "DELETE FROM " + kv_quote(req.name);
  if (req.where && !gen.where_on(req.name, cols, *req.where)) {
    reply_error(gen.err);
    return;
  }
  exec_change(gen.sql, gen.binds);
}

void KvSession::do_create_table(const KvRequest &req) {
  std::vector<KvColumn> cols;
  if (table_columns(req.name, &cols)) {
    reply_error("Table " + req.name + " already exists");
    return;
  }
  std::string sql = "CREATE TABLE " + kv_quote(req.name) + " (";
  for (size_t i = 0; i < req.coldefs.size(); i++) {
    const KvColumn &c = req.coldefs[i];
    if (i) sql += ", ";
    sql += kv_quote(c.name) + " " + kv_declared_type(c.type, c.len);
    if (c.notnull) sql += " NOT NULL";
  }
  sql += ")";
  reply_exec(sql);
}

void KvSession::do_drop_table(const KvRequest &req) {
  std::vector<KvColumn> cols;
  if (!need_table(req.name, &cols)) return;
  if (!check_writable(req.name, true)) return;
  reply_exec("DROP TABLE " + kv_quote(req.name));
}

void KvSession::do_create_index(const KvRequest &req) {
  std::vector<KvColumn> cols;
  if (!need_table(req.table, &cols)) return;
  std::string sql = req.cmd == CMD_CREATE_UNIQUE_INDEX ? "CREATE UNIQUE INDEX " : "CREATE INDEX ";
  sql += kv_quote(req.name) + " ON " + kv_quote(req.table) + " (";
  for (size_t i = 0; i < req.columns.size(); i++) {
    if (!find_column(cols, req.columns[i])) {
      reply_error("Column " + req.columns[i] + " does not exist in table " + req.table);
      return;
    }
    sql += (i ? ", " : "") + kv_quote(req.columns[i]);
  }
  sql += ")";
  reply_exec(sql);
}

void KvSession::do_drop_index(const KvRequest &req) {
  if (!need_index(req.name)) return;
  reply_exec("DROP INDEX " + kv_quote(req.name));
}

// SET TABLE t STATIC or SECURE.
void KvSession::do_set_flag(const KvRequest &req) {
  bool secure = req.cmd == CMD_SET_SECURE;
  std::vector<KvColumn> cols;
  if (!need_table(req.name, &cols)) return;
  std::string t = kv_quote(req.name);
  std::string sql;
  if (secure) {
    sql = "CREATE TRIGGER IF NOT EXISTS \"KV$SECURE$" + req.name + "\" BEFORE DELETE ON " + t +
          " BEGIN SELECT RAISE(ABORT, 'Table " + req.name +
          " is SECURE (no DELETE, no DROP "
          "TABLE)'); END";
  } else {
    // one trigger per change kind; the first carries the flag name
    static const char *kinds[] = {"INSERT", "UPDATE", "DELETE"};
    static const char *suffix[] = {"", "$U", "$D"};
    for (int i = 0; i < 3; i++)
      sql += "CREATE TRIGGER IF NOT EXISTS \"KV$STATIC$" + req.name + suffix[i] + "\" BEFORE " +
             kinds[i] + " ON " + t + " BEGIN SELECT RAISE(ABORT, 'Table " + req.name +
             " is STATIC (read-only)'); END;";
  }
  reply_exec(sql);
}

// ---------------------------------------------------------------------------
// Databases.

// Opens (CREATE DATABASE: creates and opens) the database named.
void KvSession::do_set_database(const KvRequest &req) {
  std::string err;
  if (req.cmd == CMD_CREATE_DATABASE && !catalog_.db_create(req.name, &err)) {
    reply_error(err);
    return;
  }
  if (!open_db(req.name, &err)) {
    reply_error(err);
    return;
  }
  reply_ok();
}

void KvSession::do_drop_database(const KvRequest &req) {
  if (!req.name.empty() && req.name != dbname_) {
    reply_error("Only the open database " + dbname_ + " can be dropped");
    return;
  }
  if (in_transaction()) {
    reply_error("Not possible inside a transaction");
    return;
  }
  if (dbname_ == KV_SYSTEM_DB) {
    reply_error(std::string("The database ") + KV_SYSTEM_DB + " cannot be dropped");
    return;
  }
  std::string name = dbname_, err;
  cursors_.clear();
  forget_schema();
  sqlite3_finalize(schema_stmt_);
  schema_stmt_ = nullptr;
  sqlite3_close_v2(db_);
  db_ = nullptr;
  dbname_.clear();
  // db_drop releases this session's use of the database when it succeeds
  if (!catalog_.db_drop(name, &err)) {
    std::string ignored;
    catalog_.db_release(name);
    if (!open_db(name, &ignored)) dbname_.clear();
    reply_error(err);
    return;
  }
  reply_ok();
}

void KvSession::do_save(const KvRequest &) {
  std::string path = catalog_.db_path(dbname_);
  std::string target = path.substr(0, path.size() - 3) + ".bak";
  std::string tmp = target + ".tmp";
  unlink(tmp.c_str());
  sqlite3 *src = nullptr, *dst = nullptr;
  bool ok = false;
  // A fresh connection copies the committed state, not this session's
  // uncommitted changes.
  if (sqlite3_open_v2(path.c_str(), &src, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_open_v2(tmp.c_str(), &dst, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) ==
          SQLITE_OK) {
    sqlite3_busy_timeout(src, 5000);
    sqlite3_backup *b = sqlite3_backup_init(dst, "main", src, "main");
    if (b) {
      int rc = sqlite3_backup_step(b, -1);
      ok = sqlite3_backup_finish(b) == SQLITE_OK && rc == SQLITE_DONE;
    }
  }
  std::string err = dst ? sqlite3_errmsg(dst) : "cannot open backup file";
  sqlite3_close(src);
  sqlite3_close(dst);
  if (ok && rename(tmp.c_str(), target.c_str()) == 0) {
    reply_ok();
  } else {
    unlink(tmp.c_str());
    reply_error("SAVE DATABASE failed: " + err);
  }
}
