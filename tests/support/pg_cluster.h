// A throw-away PostgreSQL cluster for the tests and benchmarks that run
// korvald on PostgreSQL: initdb in a new temporary directory, the server on
// a free port of 127.0.0.1 with its socket inside that directory, a fresh
// empty database per caller, and at the end an immediate stop and the
// directory removed.  PostgreSQL refuses to run as root, so a root process
// runs initdb, pg_ctl and the server as the user "nobody".  Plain POSIX and
// libpq without GoogleTest, part of the test_support library.
#ifndef TESTS_SUPPORT_PG_CLUSTER_H
#define TESTS_SUPPORT_PG_CLUSTER_H

#include <string>

class PgCluster {
 public:
  PgCluster() = default;
  ~PgCluster() { stop(); }
  PgCluster(const PgCluster &) = delete;
  PgCluster &operator=(const PgCluster &) = delete;

  // Makes and starts the cluster.  bin is the directory of initdb and
  // pg_ctl; empty means the newest /usr/lib/postgresql/*/bin, else PATH.
  // Returns true once the server accepts connections; false with the reason
  // in error() and nothing left behind.
  bool start(const std::string &bin = "");

  // Stops the server at once (pg_ctl stop -m immediate) and removes the
  // directory.  Does nothing when the cluster is not running.
  void stop();

  bool running() const { return !dir_.empty(); }

  // "host=127.0.0.1 port=N user=korval dbname=DBNAME" for a database of
  // this cluster.
  std::string conninfo(const std::string &dbname) const;

  // Creates a new empty database with a name no other call of this object
  // returned.  Returns its conninfo, or "" with the reason in error().
  std::string create_database();

  // Why the last start or create_database failed.
  const std::string &error() const { return error_; }
  // The directory of PostgreSQL's programs (psql, pg_ctl, ...) in use.
  const std::string &bin_dir() const { return bin_; }
  // The temporary directory (data in DIR/data, the server's log in
  // DIR/server.log); empty when not running.
  const std::string &dir() const { return dir_; }
  int port() const { return port_; }

 private:
  bool fail(const std::string &why);
  int run(const std::string &program, const std::string &args);

  std::string bin_, dir_, error_;
  int port_ = 0;
  int databases_ = 0;
};

// Runs sql over a new libpq connection to conninfo and returns the first
// column of the first row ("" when the result has no rows).  On failure
// returns "" and sets *err to libpq's message; *err is cleared otherwise.
std::string pg_first_value(const std::string &conninfo, const std::string &sql, std::string *err);

#endif
