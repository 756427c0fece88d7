// What a korvald session needs of the server around it: a connection to the
// storage (store.h) of its own, the registry of the databases in use, and
// the log.  KvServer (server.h) implements it for the running server; a test
// can give a session a catalogue of its own, so that sessions run without a
// server.  A catalogue is shared by the sessions of all connection threads.
#ifndef SERVER_CATALOG_H
#define SERVER_CATALOG_H

#include <functional>
#include <map>
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

// The registry behind a catalogue: how many sessions use each database, and
// the drop that only its one user may do (the contract of db_acquire,
// db_release and db_drop above).  Not thread-safe: a catalogue shared by
// threads holds a lock around it.
class KvUsers {
 public:
  void acquire(const std::string &name) { users_[name]++; }
  void release(const std::string &name) {
    auto it = users_.find(name);
    if (it != users_.end() && --it->second <= 0) users_.erase(it);
  }
  bool drop(const std::string &name, const std::function<bool()> &remove, std::string *err) {
    auto it = users_.find(name);
    if (it != users_.end() && it->second > 1) {
      *err = "Database " + name + " is in use by another connection";
      return false;
    }
    err->clear();
    if (!remove()) return false;
    if (it != users_.end()) users_.erase(it);
    return true;
  }
  // The number of sessions using a database.
  int count(const std::string &name) const {
    auto it = users_.find(name);
    return it == users_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, int> users_;
};

#endif
