// One client connection of korvald: its current database (its own SQLite
// connection), transaction, cursors and row maximum, and the execution of
// every request on it.  A session knows the server around it only as a
// catalogue of databases and a log (catalog.h); it builds each reply in a
// buffer of its own and hands it to the caller, the connection thread
// (server.cpp), which sends it.  Statements are translated into SQL
// (sqlgen.h) whose values are all bound parameters and whose names are
// checked identifiers.
#ifndef SERVER_SESSION_H
#define SERVER_SESSION_H

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server/catalog.h"
#include "server/decode.h"
#include "server/types.h"

struct sqlite3;
struct sqlite3_stmt;

// Rows already laid out as reply values (16-bit length and bytes each).
struct KvRows {
  std::vector<KvField> fields;
  std::vector<char> data;       // all values of all rows, row after row
  std::vector<size_t> offsets;  // start of each row in data
};

// What the connection thread does after a request.
enum KvAction {
  KV_SEND_REPLY,     // send the reply
  KV_NO_REPLY,       // disconnect: no reply; the session is reset and the
                     // socket may carry a new open request (DBreset)
  KV_STOP_SERVER,    // stop request: no reply, stop the server
  KV_REPLY_AND_STOP  // STOP statement: send the reply, then stop the server
};

// The outcome of one request.
struct KvReply {
  KvAction action;
  // The reply message (empty for KV_NO_REPLY and KV_STOP_SERVER).  It lies
  // in the session and stays valid until the session's next handle().
  std::string_view bytes;
};

// Largest reply the server builds by default, the most the client library
// accepts; a longer result is cut and answered with "not all rows".
constexpr size_t KV_MAX_REPLY = 256u * 1024 * 1024;

// Finalises the statement of a cursor.
struct KvStmtFinalizer {
  void operator()(sqlite3_stmt *st) const;
};

class KvSession {
 public:
  // The catalogue outlives the session.  No reply is longer than
  // reply_limit bytes: a longer result is cut after its last whole row.
  KvSession(KvCatalog &catalog, int id, size_t reply_limit = KV_MAX_REPLY);
  ~KvSession();  // rolls back an open transaction, closes the database
  KvSession(const KvSession &) = delete;
  KvSession &operator=(const KvSession &) = delete;

  // Decodes and executes one request of len bytes.
  KvReply handle(const char *data, int len);
  // Gives back the memory of a large reply once it has been sent (the
  // reply of handle() is invalid afterwards).
  void trim();
  // Work for the time the client spends on the reply just sent: the next
  // rows of a cursor it is fetching in batches are read ahead.
  void prefetch();

  // Lets running statements watch the client's socket fd (which outlives
  // the session): when the client has gone, the statement is interrupted
  // within a fraction of a second and peer_gone() becomes true; the caller
  // then ends the session, which rolls back.
  void watch_peer(int fd) { peer_fd_ = fd; }
  bool peer_gone() const { return peer_gone_; }

  // BEGIN was answered, or SQLite's transaction is open.
  bool in_transaction() const;
  // Rolls back the open transaction of a client that sent nothing for
  // seconds.  The next request other than disconnect and stop is not run
  // but answered with an error reply naming the rollback.
  void expire_transaction(int seconds);

 private:
  struct Cursor {
    KvRows rows;  // rows read and laid out, fetched up to next
    size_t next = 0;
    std::unique_ptr<sqlite3_stmt, KvStmtFinalizer> st;  // open while rows may follow
    std::string error;  // a failure of the statement, after the rows read before it
  };
  // What the session knows of a table: its columns and flags.
  struct TableInfo {
    std::vector<KvColumn> cols;
    bool is_static = false;
    bool secure = false;
  };

  // How a command meets the session's transaction before its handler runs.
  enum TxUse {
    TX_NONE,    // not at all
    TX_READ,    // starts the pending transaction for reading
    TX_WRITE,   // starts it with the write lock
    TX_REFUSED  // "Not possible inside a transaction"
  };
  // One command: its code, whether it needs an open database ("No database
  // open"), its use of the transaction, the action after it, and its
  // handler (null: nothing to run).  The handlers write the reply, where
  // the command has one.
  struct Command {
    int cmd;
    bool needs_db;
    TxUse tx;
    KvAction action;
    void (KvSession::*run)(const KvRequest &req);
  };
  static const Command kCommands[];
  // The entry of a command code, or null.
  static const Command *command(int code);

  // Runs the decoded request req with its command c (null: none known).
  KvAction execute(const Command *c, const KvRequest &req);
  void trace_reply();
  bool need_db();
  bool open_db(const std::string &name, std::string *err);
  void close_db();
  bool start_transaction(bool write);
  static int check_peer(void *session);
  bool exec_sql(const std::string &sql);
  // The schema as SQLite has it now: forgets the tables and statements
  // known so far when any connection has changed it since.
  void check_schema();
  void forget_schema();
  // The columns and flags of a table, from the session's memory of the
  // schema or read afresh; null when the table does not exist.  Valid
  // until the next check_schema.
  const TableInfo *table_info(const std::string &table);
  // table_info's columns (false when the table does not exist), and the
  // reading of them from SQLite's catalogue.
  bool table_columns(const std::string &table, std::vector<KvColumn> *cols);
  bool read_columns(const std::string &table, std::vector<KvColumn> *cols);
  bool table_flag(const std::string &table, const char *flag);
  // A prepared statement for sql, kept for the next request with the same
  // text; null (SQLite's error set) when it does not prepare.
  sqlite3_stmt *cached_statement(const std::string &sql);
  bool check_writable(const std::string &table, bool deleting);
  // need_table and need_index reply "... does not exist" (or the SQLite
  // error) and return false when the table or index is missing.
  bool need_table(const std::string &table, std::vector<KvColumn> *cols);
  bool need_index(const std::string &name);
  // Runs one INSERT, UPDATE or DELETE with its bound values; replies with
  // the number of rows changed or the SQLite error.
  void exec_change(const std::string &sql, const std::vector<KvBound> &binds);
  // Runs sql without parameters; replies OK or the SQLite error.
  void reply_exec(const std::string &sql);
  // Translates and prepares the SELECT sel into *st (the caller finalises
  // it) and its fields; false after replying with the error.
  bool prepare_select(const KvSelect &sel, std::vector<KvField> *fields, sqlite3_stmt **st);
  // Reads rows of the cursor's open statement until want rows wait to be
  // fetched, it ends, or the rows fill the longest reply; the fetched rows
  // are dropped first.  false after a failure, whose text is kept in the
  // cursor (the statement is finalised).
  bool pull(Cursor &c, size_t want);
  // Reads every open cursor to its end (up to the longest reply).
  void drain_cursors();
  bool run_query(const std::string &sql, const std::vector<std::string> &params,
                 const std::vector<KvField> &fields, KvRows *rows);

  // The handlers of the command table.
  void do_set_database(const KvRequest &req);
  void do_drop_database(const KvRequest &req);
  void do_disconnect(const KvRequest &req);
  void do_stop(const KvRequest &req);
  void do_show(const KvRequest &req);
  void do_max(const KvRequest &req);
  void do_select(const KvRequest &req);
  void do_declare(const KvRequest &req);
  void do_fetch(const KvRequest &req);
  void do_close(const KvRequest &req);
  void do_insert(const KvRequest &req);
  void do_update(const KvRequest &req);
  void do_delete(const KvRequest &req);
  void do_create_table(const KvRequest &req);
  void do_drop_table(const KvRequest &req);
  void do_create_index(const KvRequest &req);
  void do_drop_index(const KvRequest &req);
  void do_set_flag(const KvRequest &req);
  void do_save(const KvRequest &req);
  void do_begin(const KvRequest &req);
  void do_end(const KvRequest &req);

  // Empties the reply and returns a writer that appends to it.
  DBwriter new_reply();
  void reply_error(const std::string &text);
  void reply_ok();
  void reply_count(long count);
  void reply_rows(const KvRows &rows, size_t first, size_t count, bool partial);
  void reply_sqlite_error();
  std::string sqlite_error_text() const;
  void reserve_reply();
  // A reply beyond this size gets room for the longest one (reserve_reply)
  // and is given back once sent (trim).
  static constexpr size_t kLargeReply = 1u << 20;

  KvCatalog &catalog_;
  int id_;
  sqlite3 *db_ = nullptr;
  std::string dbname_;
  std::map<std::string, Cursor> cursors_;
  std::string last_cursor_;  // fetched by the last request
  long max_rows_ = -1;       // -1: no cap
  bool tx_open_ = false;     // BEGIN was answered; COMMIT/END/ABORT not yet
  bool tx_started_ = false;  // ... and SQLite's transaction has begun
  std::string last_sql_;
  std::string expired_;      // notice for the next request after expire_transaction
  std::vector<char> reply_;  // the reply to the current request
  size_t reply_limit_;
  // The schema as last seen (PRAGMA schema_version), the tables and
  // prepared changes known under it.
  int schema_version_ = -1;
  sqlite3_stmt *schema_stmt_ = nullptr;
  bool schema_checked_ = false;  // in this request
  std::map<std::string, TableInfo> tables_;
  TableInfo scratch_table_;  // table_info's answer when nothing may be kept
  std::map<std::string, sqlite3_stmt *> statements_;
  int peer_fd_ = -1;
  long long next_peer_check_ = 0;  // ms on the monotonic clock
  bool peer_gone_ = false;
};

#endif
