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

// The server-wide side.  init connects, takes the advisory lock of korvald
// on that PostgreSQL database (false with *err when another korvald holds
// it), creates KVSYS when missing and, with demo, fills in the demo data; the
// lock lasts until the backend is destroyed.  A store per session.
class KvPgBackend : public KvBackend {
 public:
  explicit KvPgBackend(std::string conninfo);
  ~KvPgBackend() override;
  bool init(bool demo, std::string *err) override;
  std::string where() const override;
  std::unique_ptr<KvStore> new_store() override;

 private:
  struct Lock;
  std::string conninfo_;
  std::unique_ptr<Lock> lock_;
};

#endif
