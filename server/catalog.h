// What a korvald session needs of the server around it: the databases of
// the data directory (their files, which exist, which are in use) and the
// log.  KvServer (server.h) implements it for the running server; a test can
// give a session a catalogue of its own, so that sessions run without a
// server.  A catalogue is shared by the sessions of all connection threads.
#ifndef SERVER_CATALOG_H
#define SERVER_CATALOG_H

#include <string>
#include <vector>

// The system database: made at the first start, never dropped.
constexpr const char *KV_SYSTEM_DB = "KVSYS";

class KvCatalog {
 public:
  virtual ~KvCatalog() = default;

  // The SQLite file of a database.
  virtual std::string db_path(const std::string &name) const = 0;
  // The names of all databases, sorted.
  virtual std::vector<std::string> db_list() const = 0;
  // Counts a session as user of a database; false when it does not exist.
  virtual bool db_acquire(const std::string &name) = 0;
  virtual void db_release(const std::string &name) = 0;
  // Creates a new, empty database file; false with *err when it exists or
  // cannot be created.  The caller acquires it afterwards.
  virtual bool db_create(const std::string &name, std::string *err) = 0;
  // Removes a database that the calling session (and no other) uses; the
  // caller has closed its SQLite connection and releases nothing more.
  // False with *err when another session uses it or it cannot be removed.
  virtual bool db_drop(const std::string &name, std::string *err) = 0;

  // Every request and reply is to be logged.
  virtual bool tracing() const = 0;
  // One line of the log (without its line end).
  virtual void log_line(const std::string &text) = 0;
};

#endif
