// The server-wide side of a korvald storage backend: what the server does
// with the storage once at its start, and the store (store.h) of each new
// client session.  KvServer (server.h) owns one backend; the SQLite one is
// KvSqliteBackend (sqlite_store.h).
#ifndef SERVER_BACKEND_H
#define SERVER_BACKEND_H

#include <memory>
#include <string>

#include "server/store.h"

class KvBackend {
 public:
  virtual ~KvBackend() = default;
  // At the server's start: locks out a second server on the same storage,
  // creates KVSYS when missing and fills the demo data into it when demo is
  // set.  False with *err; then nothing it made is left behind and nothing
  // stays locked.
  virtual bool init(bool demo, std::string *err) = 0;
  // Where the data is, for "data in WHERE" of the ready line.
  virtual std::string where() const = 0;
  // A new session's store, owned by the caller; the backend outlives it.
  virtual std::unique_ptr<KvStore> new_store() = 0;
};

#endif
