// The SQLite storage of korvald: one session's connection to the database
// files (KvSqliteStore) and the data directory they lie in (KvSqliteBackend).
// See sqlite_store.h.
#include "server/sqlite_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "server/catalog.h"
#include "server/demo.h"

namespace {

// Appends the value of column i of the current row of st, laid out for type.
// SQL NULL becomes the type's absent value.
void put_value(DBwriter &w, sqlite3_stmt *st, int i, KvType type) {
  if (sqlite3_column_type(st, i) == SQLITE_NULL) {
    kv_put_absent(w, type);
    return;
  }
  const char *text = nullptr;
  if (type == KV_CHARACTER || type == KV_DATE || type == KV_TIME || type == KV_TIMESTAMP)
    text = reinterpret_cast<const char *>(sqlite3_column_text(st, i));
  switch (type) {
    case KV_CHARACTER: {
      size_t n = text ? static_cast<size_t>(sqlite3_column_bytes(st, i)) : 0;
      // a text ends at its first NUL on the client side
      if (text) n = strnlen(text, n);
      kv_put_text(w, text ? text : "", n);
      return;
    }
    case KV_BINARY: {
      const void *p = sqlite3_column_blob(st, i);
      kv_put_binary(w, p, p ? static_cast<size_t>(sqlite3_column_bytes(st, i)) : 0);
      return;
    }
    case KV_SMALLINT:
    case KV_INTEGER: kv_put_int(w, type, sqlite3_column_int64(st, i)); return;
    case KV_FLOAT: kv_put_float(w, sqlite3_column_double(st, i)); return;
    case KV_DATE: {
      DATE d = _Def_Date;
      if (text && !kv_parse_date(text, &d)) d = _Def_Date;
      kv_put_date(w, d);
      return;
    }
    case KV_TIME: {
      TIME t = _Def_Time;
      if (text && !kv_parse_time(text, &t)) t = _Def_Time;
      kv_put_time(w, t);
      return;
    }
    case KV_TIMESTAMP: {
      DATI t = _Def_Dati;
      if (text && !kv_parse_dati(text, &t)) t = _Def_Dati;
      kv_put_dati(w, t);
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

// ---------------------------------------------------------------------------
// LIKE on Latin-1 bytes.  SQLite's own LIKE reads UTF-8 and folds ASCII case
// only: every umlaut byte became the same replacement character, so a
// pattern beginning with one umlaut found words beginning with any other,
// while 'm%' found "Meier".  Here '%' is any run of bytes, '_' one byte, and
// every other byte matches only itself.

bool like_bytes(const unsigned char *p, size_t pn, const unsigned char *s, size_t sn, int esc) {
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
void like_function(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
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

}  // namespace

// ---------------------------------------------------------------------------
// The rows of a query: its statement, stepped as they are asked for.

class KvSqliteStore::Rows : public KvRowSource {
 public:
  Rows(KvSqliteStore *store, sqlite3_stmt *st, const std::vector<KvField> &fields)
      : store_(store), st_(st) {
    for (auto &f : fields) types_.push_back(f.type);
  }
  ~Rows() override { sqlite3_finalize(st_); }
  Step next(DBwriter &w) override {
    int rc = sqlite3_step(st_);
    if (rc == SQLITE_DONE) return DONE;
    if (rc != SQLITE_ROW) {
      store_->fail();
      return FAILED;
    }
    for (size_t i = 0; i < types_.size(); i++) put_value(w, st_, static_cast<int>(i), types_[i]);
    return ROW;
  }

 private:
  KvSqliteStore *store_;
  sqlite3_stmt *st_;
  std::vector<KvType> types_;
};

// ---------------------------------------------------------------------------

KvSqliteStore::KvSqliteStore(std::string dir) : dir_(std::move(dir)) {}

KvSqliteStore::~KvSqliteStore() { close(); }

bool KvSqliteStore::exists(const std::string &name) const {
  struct stat st;
  return kv_valid_name(name) && stat(path(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool KvSqliteStore::fail() {
  if (!db_) {
    error_ = "No database open";
  } else if (sqlite3_extended_errcode(db_) == SQLITE_BUSY_SNAPSHOT) {
    error_ =
        "The database was changed by another connection during this transaction "
        "(ABORT and try again)";
  } else if (sqlite3_errcode(db_) == SQLITE_BUSY) {
    error_ = "The database is busy: another connection has uncommitted changes (try again)";
  } else {
    error_ = sqlite3_errmsg(db_);
  }
  return false;
}

bool KvSqliteStore::exec(const std::string &sql) {
  last_sql_ = sql;
  return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK || fail();
}

void KvSqliteStore::new_request() {
  last_sql_.clear();
  schema_checked_ = false;
}

void KvSqliteStore::watch_peer(int fd) {
  peer_fd_ = fd;
  if (db_) sqlite3_progress_handler(db_, 1000, fd >= 0 ? check_peer : nullptr, this);
}

// SQLite calls this every thousand steps of a running statement; a non-zero
// result interrupts the statement.  The client never sends while it waits
// for a reply, so only a hang-up or an error on its socket (not readable
// data) means it has gone.  The socket is looked at ten times a second at
// most.
int KvSqliteStore::check_peer(void *store) {
  auto *s = static_cast<KvSqliteStore *>(store);
  timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  long long ms = static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
  if (s->peer_gone_ || ms < s->next_peer_check_) return s->peer_gone_;
  s->next_peer_check_ = ms + 100;
  pollfd p = {s->peer_fd_, POLLRDHUP, 0};
  if (poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) s->peer_gone_ = true;
  return s->peer_gone_;
}

// ---------------------------------------------------------------------------
// Databases.

std::vector<std::string> KvSqliteStore::databases() {
  std::vector<std::string> names;
  DIR *dir = opendir(dir_.c_str());
  if (!dir) return names;
  while (dirent *e = readdir(dir)) {
    std::string f = e->d_name;
    if (f.size() > 3 && f.compare(f.size() - 3, 3, ".db") == 0) {
      std::string n = f.substr(0, f.size() - 3);
      if (kv_valid_name(n)) names.push_back(n);
    }
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// The file is made with O_EXCL first, so that of two sessions creating the
// same database at once one fails, and a failure removes only its own file.
bool KvSqliteStore::create_database(const std::string &name) {
  if (!kv_valid_name(name)) {
    error_ = "Invalid database name '" + name + "'";
    return false;
  }
  std::string file = path(name);
  int fd = exists(name) ? -1 : ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    int why = errno;
    error_ = exists(name) ? "Database " + name + " already exists"
                          : "Cannot create database " + name + ": " + strerror(why);
    return false;
  }
  ::close(fd);
  sqlite3 *db = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    error_ = "Cannot create database " + name + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    for (const char *suffix : {"", "-wal", "-shm"}) unlink((file + suffix).c_str());
    return false;
  }
  sqlite3_close(db);
  return true;
}

bool KvSqliteStore::open(const std::string &name) {
  if (!exists(name)) {
    error_ = "Database " + name + " does not exist";
    return false;
  }
  sqlite3 *db = nullptr;
  int rc = sqlite3_open_v2(path(name).c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    error_ = "Cannot open database " + name + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
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
  close();
  db_ = db;
  name_ = name;
  return true;
}

void KvSqliteStore::close() {
  if (!db_) return;
  forget_schema();
  sqlite3_finalize(schema_stmt_);
  schema_stmt_ = nullptr;
  // a client that has gone must not interrupt its own rollback
  sqlite3_progress_handler(db_, 0, nullptr, nullptr);
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db_);
  db_ = nullptr;
  name_.clear();
}

// The file is removed after the connection is closed; when it cannot be
// removed, the database is opened again.
bool KvSqliteStore::drop() {
  if (!db_) return fail();
  std::string name = name_, file = path(name);
  close();
  if (unlink(file.c_str()) != 0) {
    std::string why = "Cannot remove database " + name + ": " + strerror(errno);
    open(name);
    error_ = why;
    return false;
  }
  unlink((file + "-wal").c_str());
  unlink((file + "-shm").c_str());
  return true;
}

bool KvSqliteStore::save() {
  std::string file = path(name_);
  std::string target = file.substr(0, file.size() - 3) + ".bak";
  std::string tmp = target + ".tmp";
  unlink(tmp.c_str());
  sqlite3 *src = nullptr, *dst = nullptr;
  bool ok = false;
  // A fresh connection copies the committed state, not this session's
  // uncommitted changes.
  if (sqlite3_open_v2(file.c_str(), &src, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
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
  if (ok && rename(tmp.c_str(), target.c_str()) == 0) return true;
  unlink(tmp.c_str());
  error_ = "SAVE DATABASE failed: " + err;
  return false;
}

// ---------------------------------------------------------------------------
// Transactions.

bool KvSqliteStore::in_transaction() const { return db_ && !sqlite3_get_autocommit(db_); }

// A reading transaction is deferred, so that the viewer's BEGIN / SELECT /
// END never waits for another connection's uncommitted changes.  A writing
// one takes the write lock first (waiting up to the busy timeout), because
// SQLite cannot wait for it once the transaction has read: the catalogue
// lookups before every change would otherwise make concurrent writers fail
// at once.
bool KvSqliteStore::begin(bool write) { return exec(write ? "BEGIN IMMEDIATE" : "BEGIN"); }

bool KvSqliteStore::commit() { return exec("COMMIT"); }

bool KvSqliteStore::rollback() { return exec("ROLLBACK"); }

// ---------------------------------------------------------------------------
// Schema.

// A rolled-back transaction takes the schema version back with it, so that
// an equal version would no longer prove an unchanged schema: the session
// forgets the schema at every end of a transaction (forget_schema).
void KvSqliteStore::check_schema() {
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

void KvSqliteStore::forget_schema() {
  for (auto &st : statements_) sqlite3_finalize(st.second);
  statements_.clear();
  tables_.clear();
  schema_version_ = -1;
}

const KvTable *KvSqliteStore::table(const std::string &name) {
  if (db_) {
    check_schema();
    auto it = tables_.find(name);
    if (it != tables_.end()) return &it->second;
  }
  KvTable info;
  if (!db_ || !read_columns(name, &info.cols)) {
    error_ = "Table " + name + " does not exist";
    return nullptr;
  }
  info.is_static = table_flag(name, "STATIC");
  info.secure = table_flag(name, "SECURE");
  // a version that could not be read proves nothing: nothing is kept
  if (schema_version_ < 0) {
    scratch_table_ = std::move(info);
    return &scratch_table_;
  }
  return &(tables_[name] = std::move(info));
}

bool KvSqliteStore::read_columns(const std::string &table, std::vector<KvColumn> *cols) {
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
bool KvSqliteStore::table_flag(const std::string &table, const char *flag) {
  Stmt s;
  std::string trig = std::string("KV$") + flag + "$" + table;
  if (sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE type='trigger' AND name=?1", -1,
                         &s.st, nullptr) != SQLITE_OK)
    return false;
  sqlite3_bind_text(s.st, 1, trig.c_str(), -1, SQLITE_TRANSIENT);
  return sqlite3_step(s.st) == SQLITE_ROW;
}

// The lookup statement is finalised on return: left open, it would lock the
// schema against a following DROP INDEX.
int KvSqliteStore::index_exists(const std::string &name) {
  Stmt s;
  if (!db_ || sqlite3_prepare_v2(db_,
                                 "SELECT 1 FROM sqlite_master WHERE type='index' AND name=?1 AND "
                                 "sql IS NOT NULL",
                                 -1, &s.st, nullptr) != SQLITE_OK) {
    fail();
    return -1;
  }
  sqlite3_bind_text(s.st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  return sqlite3_step(s.st) == SQLITE_ROW ? 1 : 0;
}

bool KvSqliteStore::texts(const std::string &sql, const std::vector<std::string> &params,
                          size_t ncols, std::vector<std::vector<std::string>> *rows) {
  Stmt s;
  last_sql_ = sql;
  if (!db_ || sqlite3_prepare_v2(db_, sql.c_str(), -1, &s.st, nullptr) != SQLITE_OK) return fail();
  for (size_t i = 0; i < params.size(); i++)
    sqlite3_bind_text(s.st, static_cast<int>(i + 1), params[i].c_str(), -1, SQLITE_TRANSIENT);
  int rc;
  while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (size_t i = 0; i < ncols; i++) {
      const char *p =
          reinterpret_cast<const char *>(sqlite3_column_text(s.st, static_cast<int>(i)));
      row.push_back(p ? p : "");
    }
    rows->push_back(std::move(row));
  }
  return rc == SQLITE_DONE || fail();
}

bool KvSqliteStore::show(KvShowKind kind, const std::string &name,
                         std::vector<std::vector<std::string>> *rows) {
  rows->clear();
  switch (kind) {
    case SHOW_TABLES:
      return texts(
          "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE "
          "'sqlite!_%' ESCAPE '!' ORDER BY name",
          {}, 1, rows);
    case SHOW_INDICES:
    case SHOW_INDICES_ON: {
      std::string sql =
          "SELECT name, tbl_name, CASE WHEN upper(sql) LIKE 'CREATE UNIQUE%' THEN 'YES' ELSE 'NO' "
          "END "
          "FROM sqlite_master WHERE type='index' AND sql IS NOT NULL";
      std::vector<std::string> params;
      if (kind == SHOW_INDICES_ON) {
        sql += " AND tbl_name=?1";
        params.push_back(name);
      }
      sql += " ORDER BY name";
      return texts(sql, params, 3, rows);
    }
    case SHOW_INDEX:
      return texts(
          "SELECT m.name, m.tbl_name, i.name, CASE WHEN upper(m.sql) LIKE 'CREATE UNIQUE%' "
          "THEN 'YES' ELSE 'NO' END FROM sqlite_master AS m, pragma_index_info(?1) AS i "
          "WHERE m.type='index' AND m.name=?1 ORDER BY i.seqno",
          {name}, 4, rows);
    case SHOW_DATABASES:
    case SHOW_TABLE: break;
  }
  error_ = "No such listing";
  return false;
}

// ---------------------------------------------------------------------------
// Statements.

// SQLite reads the rows as they are asked for, so neither held nor limit
// changes anything here.
std::unique_ptr<KvRowSource> KvSqliteStore::query(const std::string &sql,
                                                  const std::vector<KvBound> &binds,
                                                  const std::vector<KvField> &fields, bool,
                                                  size_t) {
  last_sql_ = sql;
  sqlite3_stmt *st = nullptr;
  if (!db_ || sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK ||
      !bind_all(st, binds)) {
    fail();
    sqlite3_finalize(st);
    return nullptr;
  }
  return std::make_unique<Rows>(this, st, fields);
}

// SQLite prepares a kept statement again by itself when the schema has
// changed.
sqlite3_stmt *KvSqliteStore::cached_statement(const std::string &sql) {
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

bool KvSqliteStore::change(const std::string &sql, const std::vector<KvBound> &binds, long *count) {
  last_sql_ = sql;
  if (!db_) return fail();
  sqlite3_stmt *st = cached_statement(sql);
  bool ok = st && bind_all(st, binds) && sqlite3_step(st) == SQLITE_DONE;
  // the error text is taken before the reset
  if (!ok) fail();
  if (st) {
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
  }
  if (ok) *count = static_cast<long>(sqlite3_changes(db_));
  return ok;
}

bool KvSqliteStore::create_table(const std::string &name, const std::vector<KvColumn> &cols) {
  std::string sql = "CREATE TABLE " + kv_quote(name) + " (";
  for (size_t i = 0; i < cols.size(); i++) {
    const KvColumn &c = cols[i];
    if (i) sql += ", ";
    sql += kv_quote(c.name) + " " + kv_declared_type(c.type, c.len);
    if (c.notnull) sql += " NOT NULL";
  }
  sql += ")";
  return exec(sql);
}

bool KvSqliteStore::drop_table(const std::string &name) {
  return exec("DROP TABLE " + kv_quote(name));
}

bool KvSqliteStore::create_index(const std::string &name, const std::string &table,
                                 const std::vector<std::string> &cols, bool unique) {
  std::string sql = unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ";
  sql += kv_quote(name) + " ON " + kv_quote(table) + " (";
  for (size_t i = 0; i < cols.size(); i++) sql += (i ? ", " : "") + kv_quote(cols[i]);
  sql += ")";
  return exec(sql);
}

bool KvSqliteStore::drop_index(const std::string &name) {
  return exec("DROP INDEX " + kv_quote(name));
}

bool KvSqliteStore::set_flag(const std::string &table, bool secure) {
  std::string t = kv_quote(table);
  std::string sql;
  if (secure) {
    sql = "CREATE TRIGGER IF NOT EXISTS \"KV$SECURE$" + table + "\" BEFORE DELETE ON " + t +
          " BEGIN SELECT RAISE(ABORT, 'Table " + table +
          " is SECURE (no DELETE, no DROP "
          "TABLE)'); END";
  } else {
    // one trigger per change kind; the first carries the flag name
    static const char *kinds[] = {"INSERT", "UPDATE", "DELETE"};
    static const char *suffix[] = {"", "$U", "$D"};
    for (int i = 0; i < 3; i++)
      sql += "CREATE TRIGGER IF NOT EXISTS \"KV$STATIC$" + table + suffix[i] + "\" BEFORE " +
             kinds[i] + " ON " + t + " BEGIN SELECT RAISE(ABORT, 'Table " + table +
             " is STATIC (read-only)'); END;";
  }
  return exec(sql);
}

// ---------------------------------------------------------------------------
// The data directory.

bool KvSqliteBackend::init(bool demo, std::string *err) {
  if (!datadir_.lock(dir_, err)) return false;
  KvSqliteStore store(dir_);
  bool created = !store.exists(KV_SYSTEM_DB);
  bool ok = !created || store.create_database(KV_SYSTEM_DB);
  if (!ok) *err = store.error();
  if (ok && demo) {
    ok = store.open(KV_SYSTEM_DB);
    if (!ok) *err = "demo data: cannot open " + store.path(KV_SYSTEM_DB);
    ok = ok && kv_fill_demo(store, err);
    store.close();
  }
  if (ok) return true;
  if (created) {
    std::string file = store.path(KV_SYSTEM_DB);
    for (const char *suffix : {"", "-wal", "-shm", "-journal"}) unlink((file + suffix).c_str());
  }
  datadir_.undo();
  return false;
}

std::unique_ptr<KvStore> KvSqliteBackend::new_store() {
  return std::make_unique<KvSqliteStore>(dir_);
}
