// The storage behind a korvald session: the interface every storage
// backend implements (KvStore, one per client connection, and the rows of
// an open SELECT, KvRowSource), and the layout of values in a reply, which
// the backends use to write rows straight into it.  The session (session.h)
// does everything the protocol asks for (decoding, replies, the row
// maximum, reply limits, cursors' batches, the command table) and reaches
// the data only through this interface; sqlite_store.h and pg_store.h are
// its two implementations.
#ifndef SERVER_STORE_H
#define SERVER_STORE_H

#include <memory>
#include <string>
#include <vector>

#include "base/dates.h"
#include "proto/query.h"
#include "server/decode.h"
#include "server/sqlgen.h"
#include "server/types.h"

// What a session knows of a table: its columns and flags.
struct KvTable {
  // The name as stored when it is another spelling of the name asked for
  // (a table another client of the storage made in lower case), else empty.
  std::string name;
  std::vector<KvColumn> cols;
  bool is_static = false;
  bool secure = false;
};

// The rows of an open SELECT, read one after the other.  It belongs to the
// caller, who may drop it before its end; it must not outlive its store.
class KvRowSource {
 public:
  enum Step { ROW, DONE, FAILED };
  virtual ~KvRowSource() = default;
  // Appends the values of the next row to w, laid out for the types of the
  // fields given to KvStore::query.  FAILED leaves the text in the store's
  // error(); after DONE or FAILED it is not called again.
  virtual Step next(DBwriter &w) = 0;
};

// One session's connection to the storage: the open database, its
// transaction and its schema.  Methods that can fail return false (or
// null) and leave a text for the client in error().  Names arrive checked
// (kv_valid_name) and upper-cased as the request decoder gives them.
class KvStore {
 public:
  virtual ~KvStore() = default;

  // The text of the last failure.
  virtual std::string error() const = 0;
  // The SQL last run for the current request (for --trace); emptied by
  // new_request.
  virtual const std::string &last_sql() const = 0;
  // A new request begins: what was learnt of the schema is checked again
  // before it is used.
  virtual void new_request() = 0;
  // Lets running statements watch the client's socket fd (see
  // KvSession::watch_peer); peer_gone() becomes true when it has gone.
  virtual void watch_peer(int fd) = 0;
  virtual bool peer_gone() const = 0;
  // The generation rules of the backend's SQL.
  virtual const KvDialect &dialect() const = 0;

  // --- Databases.  At most one is open; opening another closes the first
  // (rolling back) only once the new one is open.
  virtual std::vector<std::string> databases() = 0;  // sorted
  virtual bool create_database(const std::string &name) = 0;
  virtual bool open(const std::string &name) = 0;
  virtual bool is_open() const = 0;
  // Rolls back and closes the open database, if any.
  virtual void close() = 0;
  // Drops the open database, which no other session may use; then none is
  // open.  On failure it stays open.
  virtual bool drop() = 0;
  // Copies the committed state of the open database beside it.
  virtual bool save() = 0;

  // --- Transactions.  begin starts the storage's transaction (for a
  // statement that writes, write is true); the storage may end it by
  // itself after an error, which in_transaction then shows.
  virtual bool in_transaction() const = 0;
  virtual bool begin(bool write) = 0;
  virtual bool commit() = 0;
  virtual bool rollback() = 0;

  // --- The schema of the open database.  table() is null when the table
  // does not exist (or cannot be served: error() says why); its answer is
  // valid until the next new_request or forget_schema.
  virtual const KvTable *table(const std::string &name) = 0;
  virtual void forget_schema() = 0;
  // 1 when the index exists, 0 when not, -1 on failure.
  virtual int index_exists(const std::string &name) = 0;
  // The rows of SHOW TABLES, SHOW INDICES [ON TABLE name] and SHOW INDEX
  // name as texts, sorted as the reply wants them: TABLE; INDEX, TABLE,
  // UNIQUE; INDEX, TABLE, COLUMN, UNIQUE.
  virtual bool show(KvShowKind kind, const std::string &name,
                    std::vector<std::vector<std::string>> *rows) = 0;

  // --- Statements.  sql and binds are made by SqlGen with dialect().
  // query opens a SELECT whose result has the given fields.  held: its
  // rows are read over several requests, while other statements run in
  // between (a cursor); limit: no more rows than this are read.
  virtual std::unique_ptr<KvRowSource> query(const std::string &sql,
                                             const std::vector<KvBound> &binds,
                                             const std::vector<KvField> &fields, bool held,
                                             size_t limit) = 0;
  // Runs an INSERT, UPDATE or DELETE; *count is the number of rows changed.
  virtual bool change(const std::string &sql, const std::vector<KvBound> &binds, long *count) = 0;
  virtual bool create_table(const std::string &name, const std::vector<KvColumn> &cols) = 0;
  virtual bool drop_table(const std::string &name) = 0;
  virtual bool create_index(const std::string &name, const std::string &table,
                            const std::vector<std::string> &cols, bool unique) = 0;
  virtual bool drop_index(const std::string &name) = 0;
  // SET TABLE name STATIC (secure false) or SECURE: permanent.
  virtual bool set_flag(const std::string &table, bool secure) = 0;
};

// ---------------------------------------------------------------------------
// Values in a reply: each is a 16-bit length and its bytes.

// A CHARACTER value: the text with its NUL, cut to the longest one.
void kv_put_text(DBwriter &w, const char *bytes, size_t n);
// A SMALLINT or INTEGER value, held to the type's range.
void kv_put_int(DBwriter &w, KvType type, long long v);
void kv_put_float(DBwriter &w, double v);
// A BINARY value (its own length and bytes), cut to the longest one.
void kv_put_binary(DBwriter &w, const void *bytes, size_t n);
void kv_put_date(DBwriter &w, const DATE &d);
void kv_put_time(DBwriter &w, const TIME &t);
void kv_put_dati(DBwriter &w, const DATI &t);
// The type's absent value, which stands for SQL NULL.
void kv_put_absent(DBwriter &w, KvType type);

#endif
