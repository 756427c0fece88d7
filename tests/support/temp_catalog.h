// A catalogue of databases (server/catalog.h) for running korvald sessions
// without a server: each database is an SQLite file in a temporary
// directory of its own, removed with the catalogue; which databases exist
// and how many sessions use each is kept in memory, and log lines are
// collected for the test to read.  For one thread.  Header only; for the
// tests that link the server library.
#ifndef TESTS_SUPPORT_TEMP_CATALOG_H
#define TESTS_SUPPORT_TEMP_CATALOG_H

#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "server/catalog.h"

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

  // The directory could be made.
  bool ok() const { return !dir_.empty(); }

  std::string db_path(const std::string &name) const override { return dir_ + "/" + name + ".db"; }
  std::vector<std::string> db_list() const override {
    std::vector<std::string> names;
    for (auto &u : users_) names.push_back(u.first);
    return names;
  }
  bool db_acquire(const std::string &name) override {
    auto it = users_.find(name);
    if (it == users_.end()) return false;
    it->second++;
    return true;
  }
  void db_release(const std::string &name) override {
    auto it = users_.find(name);
    if (it != users_.end() && it->second > 0) it->second--;
  }
  bool db_create(const std::string &name, std::string *err) override {
    if (users_.count(name)) {
      *err = "Database " + name + " already exists";
      return false;
    }
    sqlite3 *db = nullptr;
    bool made = sqlite3_open(db_path(name).c_str(), &db) == SQLITE_OK &&
                sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    if (!made) {
      *err = "Cannot create database " + name;
      return false;
    }
    users_[name] = 0;
    return true;
  }
  bool db_drop(const std::string &name, std::string *err) override {
    auto it = users_.find(name);
    if (it != users_.end() && it->second > 1) {
      *err = "Database " + name + " is in use by another connection";
      return false;
    }
    for (const char *suffix : {"", "-wal", "-shm"}) std::remove((db_path(name) + suffix).c_str());
    if (it != users_.end()) users_.erase(it);
    return true;
  }
  bool tracing() const override { return trace; }
  void log_line(const std::string &text) override { log.push_back(text); }

  // Sessions are to log every request and reply.
  bool trace = false;
  // The lines logged so far.
  std::vector<std::string> log;

 private:
  std::string dir_;
  std::map<std::string, int> users_;  // database -> sessions using it
};

#endif
