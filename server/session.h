// One client connection of korvald: its current database, transaction,
// cursors and row maximum, and the execution of every request on it.  A
// session knows the server around it only as a catalogue (catalog.h), which
// gives it its own connection to the storage (store.h), keeps the registry
// of databases in use and the log; it builds each reply in a buffer of its
// own and hands it to the caller, the connection thread (server.cpp), which
// sends it.  Statements are translated into SQL (sqlgen.h) whose values are
// all bound parameters and whose names are checked identifiers.
#ifndef SERVER_SESSION_H
#define SERVER_SESSION_H

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server/catalog.h"
#include "server/decode.h"
#include "server/sqlgen.h"
#include "server/store.h"
#include "server/types.h"

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

class KvSession {
 public:
  // The catalogue outlives the session; the session's store is made by
  // it.  No reply is longer than reply_limit bytes: a longer result is cut
  // after its last whole row.
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
  void watch_peer(int fd) { store_->watch_peer(fd); }
  bool peer_gone() const { return store_->peer_gone(); }

  // BEGIN was answered, or the storage's transaction is open.
  bool in_transaction() const;
  // Rolls back the open transaction of a client that sent nothing for
  // seconds.  The next request other than disconnect and stop is not run
  // but answered with an error reply naming the rollback.
  void expire_transaction(int seconds);

 private:
  struct Cursor {
    KvRows rows;  // rows read and laid out, fetched up to next
    size_t next = 0;
    std::unique_ptr<KvRowSource> src;  // open while rows may follow
    std::string error;                 // a failure of the query, after the rows read before it
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
  // The columns of a table (false when it does not exist), for SqlGen.
  bool table_columns(const std::string &table, std::vector<KvColumn> *cols, std::string *stored);
  // A SQL generator in the store's dialect that looks tables up through
  // table_columns.
  SqlGen sql_gen();
  // need_table and need_index reply "... does not exist" (or the store's
  // error) and return null or false when the table or index is missing.
  // need_table's answer is valid until the store's schema is forgotten.
  const KvTable *need_table(const std::string &table);
  // need_table for a change: also null after replying that the table is
  // STATIC or, when deleting, SECURE.
  const KvTable *writable_table(const std::string &table, bool deleting);
  bool need_index(const std::string &name);
  // Runs one INSERT, UPDATE or DELETE with its bound values; replies with
  // the number of rows changed or the store's error.
  void exec_change(const std::string &sql, const std::vector<KvBound> &binds);
  // Replies OK when ok, else the store's error.
  void reply_done(bool ok);
  // Translates and opens the SELECT sel with its fields (held: for a
  // cursor; limit: rows wanted at most); null after replying with the
  // error.
  std::unique_ptr<KvRowSource> open_select(const KvSelect &sel, std::vector<KvField> *fields,
                                           bool held, size_t limit);
  // Reads rows of the cursor's open query until want rows wait to be
  // fetched, it ends, or the rows fill the longest reply; the fetched rows
  // are dropped first.  false after a failure, whose text is kept in the
  // cursor (the query is closed).
  bool pull(Cursor &c, size_t want);
  // Reads every open cursor to its end (up to the longest reply).
  void drain_cursors();

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
  void reply_store_error();
  void reserve_reply();
  // A reply beyond this size gets room for the longest one (reserve_reply)
  // and is given back once sent (trim).
  static constexpr size_t kLargeReply = 1u << 20;

  KvCatalog &catalog_;
  int id_;
  // declared before the cursors, whose queries must not outlive it
  std::unique_ptr<KvStore> store_;
  std::string dbname_;  // the open database, or empty
  std::map<std::string, Cursor> cursors_;
  std::string last_cursor_;  // fetched by the last request
  long max_rows_ = -1;       // -1: no cap
  bool tx_open_ = false;     // BEGIN was answered; COMMIT/END/ABORT not yet
  bool tx_started_ = false;  // ... and the storage's transaction has begun
  std::string expired_;      // notice for the next request after expire_transaction
  std::vector<char> reply_;  // the reply to the current request
  size_t reply_limit_;
};

#endif
