// What a korvald session needs of the server around it: a connection to the
// storage (store.h) of its own, the registry of the databases in use, and
// the log.  KvServer (server.h) implements it for the running server; a test
// can give a session a catalogue of its own, so that sessions run without a
// server.  A catalogue is shared by the sessions of all connection threads.
#ifndef SERVER_CATALOG_H
#define SERVER_CATALOG_H

#include <functional>
#include <memory>
#include <string>

#include "server/store.h"

// The system database: made at the first start, never dropped.
constexpr const char *KV_SYSTEM_DB = "KVSYS";

class KvCatalog {
 public:
  virtual ~KvCatalog() = default;

  // A new session's connection to the storage, owned by the caller; it must
  // not outlive the catalogue.
  virtual std::unique_ptr<KvStore> new_store() = 0;
  // Counts a session as user of a database; a session does so before its
  // store opens the database, and releases it when the opening fails.
  virtual void db_acquire(const std::string &name) = 0;
  virtual void db_release(const std::string &name) = 0;
  // Drops a database that the calling session (and no other) uses: runs
  // remove, the store's drop, while no other session can start using the
  // database, and then releases the caller's use of it.  False with *err
  // when another session uses it (remove is not run), false with *err empty
  // when remove fails (the store has the reason).
  virtual bool db_drop(const std::string &name, const std::function<bool()> &remove,
                       std::string *err) = 0;

  // Every request and reply is to be logged.
  virtual bool tracing() const = 0;
  // One line of the log (without its line end).
  virtual void log_line(const std::string &text) = 0;
};

#endif
