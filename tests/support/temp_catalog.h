// A catalogue of databases (server/catalog.h) for running korvald sessions
// without a server: each database is an SQLite file in a temporary
// directory of its own (the sessions' stores are KvSqliteStore on it),
// removed with the catalogue; how many sessions use each database is kept
// in memory, and log lines are collected for the test to read.  For one
// thread.  Header only; for the tests that link the server library.
#ifndef TESTS_SUPPORT_TEMP_CATALOG_H
#define TESTS_SUPPORT_TEMP_CATALOG_H

#include <stdlib.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "server/catalog.h"
#include "server/demo.h"
#include "server/sqlite_store.h"

class TempCatalog : public KvCatalog {
 public:
  TempCatalog() {
    char tmpl[] = "/tmp/kv-catalog-XXXXXX";
    if (mkdtemp(tmpl)) dir_ = tmpl;
  }
  ~TempCatalog() override {
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  TempCatalog(const TempCatalog &) = delete;
  TempCatalog &operator=(const TempCatalog &) = delete;

  // The directory could be made; it holds the database files.
  bool ok() const { return !dir_.empty(); }
  const std::string &dir() const { return dir_; }

  // The file of a database, the databases there, and a new one (false with
  // *err when it exists or cannot be made).
  std::string db_path(const std::string &name) const { return KvSqliteStore(dir_).path(name); }
  std::vector<std::string> db_list() const { return KvSqliteStore(dir_).databases(); }
  bool db_create(const std::string &name, std::string *err) {
    KvSqliteStore store(dir_);
    if (store.create_database(name)) return true;
    *err = store.error();
    return false;
  }
  // Fills a database with the demo data.
  bool fill_demo(const std::string &name, std::string *err) {
    KvSqliteStore store(dir_);
    if (!store.open(name)) {
      *err = store.error();
      return false;
    }
    return kv_fill_demo(store, err);
  }

  std::unique_ptr<KvStore> new_store() override { return std::make_unique<KvSqliteStore>(dir_); }
  void db_acquire(const std::string &name) override { users_.acquire(name); }
  void db_release(const std::string &name) override { users_.release(name); }
  bool db_drop(const std::string &name, const std::function<bool()> &remove,
               std::string *err) override {
    return users_.drop(name, remove, err);
  }
  bool tracing() const override { return trace; }
  void log_line(const std::string &text) override { log.push_back(text); }

  // Sessions are to log every request and reply.
  bool trace = false;
  // The lines logged so far.
  std::vector<std::string> log;
  // The number of sessions using a database.
  int users(const std::string &name) const { return users_.count(name); }

 private:
  std::string dir_;
  KvUsers users_;
};

#endif
