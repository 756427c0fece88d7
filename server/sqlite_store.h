// The SQLite storage of korvald: every KORVAL database is a file NAME.db in
// the data directory, in WAL mode.  KvSqliteStore is one session's
// connection (store.h): the open file, its statements kept for the next
// request, the schema as last seen, STATIC and SECURE as triggers, SAVE
// through SQLite's backup, LIKE on Latin-1 bytes and the watch on the client
// while a statement runs.  KvSqliteBackend (backend.h) is the server-wide
// side: the locked data directory, KVSYS and the demo data.
#ifndef SERVER_SQLITE_STORE_H
#define SERVER_SQLITE_STORE_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "server/backend.h"
#include "server/datadir.h"
#include "server/store.h"

struct sqlite3;
struct sqlite3_stmt;

class KvSqliteStore : public KvStore {
 public:
  // The databases are the files NAME.db in the directory dir.
  explicit KvSqliteStore(std::string dir);
  ~KvSqliteStore() override;  // closes the open database (rolling back)
  KvSqliteStore(const KvSqliteStore &) = delete;
  KvSqliteStore &operator=(const KvSqliteStore &) = delete;

  // The file of a database.
  std::string path(const std::string &name) const { return dir_ + "/" + name + ".db"; }
  // The file of a database exists (and the name is valid).
  bool exists(const std::string &name) const;

  std::string error() const override { return error_; }
  const std::string &last_sql() const override { return last_sql_; }
  void new_request() override;
  void watch_peer(int fd) override;
  bool peer_gone() const override { return peer_gone_; }
  const KvDialect &dialect() const override { return dialect_; }

  std::vector<std::string> databases() override;
  // The new file is made in WAL mode.
  bool create_database(const std::string &name) override;
  bool open(const std::string &name) override;
  bool is_open() const override { return db_ != nullptr; }
  void close() override;
  bool drop() override;
  // The copy is the file NAME.bak.
  bool save() override;

  bool in_transaction() const override;
  bool begin(bool write) override;
  bool commit() override;
  bool rollback() override;

  const KvTable *table(const std::string &name) override;
  void forget_schema() override;
  int index_exists(const std::string &name) override;
  bool show(KvShowKind kind, const std::string &name,
            std::vector<std::vector<std::string>> *rows) override;

  std::unique_ptr<KvRowSource> query(const std::string &sql, const std::vector<KvBound> &binds,
                                     const std::vector<KvField> &fields, bool held,
                                     size_t limit) override;
  bool change(const std::string &sql, const std::vector<KvBound> &binds, long *count) override;
  bool create_table(const std::string &name, const std::vector<KvColumn> &cols) override;
  bool drop_table(const std::string &name) override;
  bool create_index(const std::string &name, const std::string &table,
                    const std::vector<std::string> &cols, bool unique) override;
  bool drop_index(const std::string &name) override;
  bool set_flag(const std::string &table, bool secure) override;

 private:
  class Rows;
  static int check_peer(void *store);
  bool exec(const std::string &sql);
  // Takes the text of the connection's last error as error().
  bool fail();
  // Reads the rows of a query whose columns are texts; false after fail().
  bool texts(const std::string &sql, const std::vector<std::string> &params, size_t ncols,
             std::vector<std::vector<std::string>> *rows);
  // The schema as SQLite has it now: forgets the tables and statements
  // known so far when any connection has changed it since.
  void check_schema();
  bool read_columns(const std::string &table, std::vector<KvColumn> *cols);
  bool table_flag(const std::string &table, const char *flag);
  // A prepared statement for sql, kept for the next request with the same
  // text; null (SQLite's error set) when it does not prepare.
  sqlite3_stmt *cached_statement(const std::string &sql);

  std::string dir_;
  KvDialect dialect_;
  sqlite3 *db_ = nullptr;
  std::string name_;
  std::string error_;
  std::string last_sql_;
  // The schema as last seen (PRAGMA schema_version), the tables and
  // prepared changes known under it.
  int schema_version_ = -1;
  sqlite3_stmt *schema_stmt_ = nullptr;
  bool schema_checked_ = false;  // in this request
  std::map<std::string, KvTable> tables_;
  KvTable scratch_table_;  // table()'s answer when nothing may be kept
  std::map<std::string, sqlite3_stmt *> statements_;
  int peer_fd_ = -1;
  long long next_peer_check_ = 0;  // ms on the monotonic clock
  bool peer_gone_ = false;
};

class KvSqliteBackend : public KvBackend {
 public:
  // The data directory datadir is made when missing.
  explicit KvSqliteBackend(std::string datadir) : dir_(std::move(datadir)) {}
  bool init(bool demo, std::string *err) override;
  std::string where() const override { return dir_; }
  std::unique_ptr<KvStore> new_store() override;

 private:
  std::string dir_;
  KvDataDir datadir_;
};

#endif
