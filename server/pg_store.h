// The PostgreSQL storage of korvald (korvald --postgres CONNINFO).  The
// KORVAL databases are schemas of one PostgreSQL database, marked with the
// schema comment KV_PG_MARK; each client session has a libpq connection of
// its own (client_encoding LATIN1, DateStyle ISO), whose search_path is the
// open database.  The server holds one connection more for the whole of its
// run: it carries the advisory lock that keeps a second korvald off the
// same PostgreSQL database.  Type mapping and the rules where KORVAL's and
// PostgreSQL's values differ: server/README.md.
#ifndef SERVER_PG_STORE_H
#define SERVER_PG_STORE_H

#include <memory>
#include <string>

#include "server/backend.h"
#include "server/catalog.h"
#include "server/store.h"

// The comment that marks a schema as a KORVAL database.
constexpr const char *KV_PG_MARK = "KORVAL database";

// A session's store on the PostgreSQL database of conninfo.  It connects at
// once; a failed connection leaves every call failing with its reason in
// error().
std::unique_ptr<KvStore> kv_new_pg_store(const std::string &conninfo);

// conninfo without its password, for the ready line and the log.
std::string kv_pg_where(const std::string &conninfo);

// The server's side: connects, takes the advisory lock of korvald on that
// PostgreSQL database (false with *err when another korvald holds it), and
// creates KVSYS when missing.  The lock lasts as long as the returned
// handle; kv_pg_release ends it.
struct KvPgServerLock;
KvPgServerLock *kv_pg_prepare(const std::string &conninfo, std::string *err);
void kv_pg_release(KvPgServerLock *lock);

// The server-wide side: the lock for the server's run, KVSYS and the demo
// data at the start, a store per session.
class KvPgBackend : public KvBackend {
 public:
  explicit KvPgBackend(std::string conninfo) : conninfo_(std::move(conninfo)) {}
  ~KvPgBackend() override;
  KvPgBackend(const KvPgBackend &) = delete;
  KvPgBackend &operator=(const KvPgBackend &) = delete;
  bool init(bool demo, std::string *err) override;
  std::string where() const override;
  std::unique_ptr<KvStore> new_store(KvCatalog &catalog) override;

 private:
  std::string conninfo_;
  KvPgServerLock *lock_ = nullptr;
};

#endif
