// The throw-away PostgreSQL cluster of the tests and benchmarks.  See
// pg_cluster.h.
#include "tests/support/pg_cluster.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char kUser[] = "korval";

bool is_program(const fs::path &p) { return access(p.c_str(), X_OK) == 0; }

// The directory holding initdb and pg_ctl: the newest version under
// /usr/lib/postgresql (Debian keeps them out of PATH), else PATH; "" when
// neither has them.
std::string find_bin() {
  std::string best;
  int best_version = -1;
  std::error_code ec;
  for (auto &e : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    fs::path bin = e.path() / "bin";
    int version = atoi(e.path().filename().c_str());
    if (version > best_version && is_program(bin / "initdb") && is_program(bin / "pg_ctl")) {
      best = bin.string();
      best_version = version;
    }
  }
  if (!best.empty()) return best;
  const char *path = getenv("PATH");
  std::istringstream dirs(path ? path : "");
  std::string d;
  while (std::getline(dirs, d, ':'))
    if (!d.empty() && is_program(fs::path(d) / "initdb") && is_program(fs::path(d) / "pg_ctl"))
      return d;
  return "";
}

// A port of 127.0.0.1 that was free a moment ago, or 0.
int free_port() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

std::string read_file(const std::string &path) {
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

bool PgCluster::fail(const std::string &why) {
  std::string log =
      dir_.empty() ? "" : read_file(dir_ + "/setup.log") + read_file(dir_ + "/server.log");
  stop();
  error_ = why + (log.empty() ? "" : "\n" + log);
  return false;
}

// Runs bin_/program with args in dir_, as "nobody" when this process is
// root; its output goes to dir_/setup.log.  Returns the exit status, or -1.
int PgCluster::run(const std::string &program, const std::string &args) {
  std::vector<std::string> words = {bin_ + "/" + program};
  std::istringstream in(args);
  for (std::string w; in >> w;) words.push_back(w);
  std::vector<char *> argv;
  for (auto &w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const passwd *nobody = geteuid() == 0 ? getpwnam("nobody") : nullptr;
  std::string log = dir_ + "/setup.log";
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    int null = open("/dev/null", O_RDONLY);
    if (fd < 0 || null < 0 || dup2(null, 0) < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0) _exit(126);
    // the server outlives this process: it keeps none of our descriptors
    for (int i = 3; i < 1024; i++) close(i);
    if (chdir(dir_.c_str()) != 0) _exit(126);
    if (nobody &&
        (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0))
      _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool PgCluster::start(const std::string &bin) {
  stop();
  error_.clear();
  bin_ = bin.empty() ? find_bin() : bin;
  if (bin_.empty() || !is_program(bin_ + "/initdb") || !is_program(bin_ + "/pg_ctl"))
    return fail("PostgreSQL's programs initdb and pg_ctl were not found (looked in " +
                (bin.empty() ? "/usr/lib/postgresql/*/bin and PATH" : bin) +
                "); install the Debian package postgresql (scripts/setup.sh does)");
  char tmpl[] = "/tmp/pg_cluster_XXXXXX";
  if (!mkdtemp(tmpl)) return fail("cannot make a temporary directory");
  dir_ = tmpl;
  if (geteuid() == 0) {
    const passwd *nobody = getpwnam("nobody");
    if (!nobody || chown(dir_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
      return fail("cannot hand " + dir_ + " to the user nobody");
  }
  if (run("initdb", std::string("-D data -E UTF8 --locale=C -A trust -N -U ") + kUser) != 0)
    return fail("initdb failed");
  std::ofstream conf(dir_ + "/data/postgresql.conf", std::ios::app);
  conf << "listen_addresses = '127.0.0.1'\n"
       << "unix_socket_directories = '" << dir_ << "'\n"
       << "fsync = off\nsynchronous_commit = off\nfull_page_writes = off\n"
       << "max_parallel_workers_per_gather = 0\n";
  conf.close();
  if (!conf) return fail("cannot write " + dir_ + "/data/postgresql.conf");
  // another process may take the free port before the server does
  for (int attempt = 0; attempt < 5; attempt++) {
    port_ = free_port();
    if (run("pg_ctl", "start -w -t 120 -D data -l server.log -o -p" + std::to_string(port_)) == 0)
      return true;
  }
  return fail("pg_ctl start failed");
}

void PgCluster::stop() {
  if (dir_.empty()) return;
  if (fs::exists(dir_ + "/data/postmaster.pid")) run("pg_ctl", "stop -w -m immediate -D data");
  std::error_code ec;
  fs::remove_all(dir_, ec);
  dir_.clear();
  port_ = 0;
}

std::string PgCluster::conninfo(const std::string &dbname) const {
  return "host=127.0.0.1 port=" + std::to_string(port_) + " user=" + kUser + " dbname=" + dbname;
}

std::string PgCluster::create_database() {
  if (!running()) {
    error_ = "the PostgreSQL cluster is not running";
    return "";
  }
  std::string name = "korval_" + std::to_string(++databases_);
  std::string err;
  pg_first_value(conninfo("postgres"), "CREATE DATABASE " + name, &err);
  if (!err.empty()) {
    error_ = "cannot create the database " + name + ": " + err;
    return "";
  }
  return conninfo(name);
}

std::string pg_first_value(const std::string &conninfo, const std::string &sql, std::string *err) {
  err->clear();
  PGconn *c = PQconnectdb(conninfo.c_str());
  std::string value;
  if (PQstatus(c) != CONNECTION_OK) {
    *err = PQerrorMessage(c);
  } else {
    PGresult *r = PQexec(c, sql.c_str());
    ExecStatusType s = PQresultStatus(r);
    if (s != PGRES_TUPLES_OK && s != PGRES_COMMAND_OK)
      *err = PQresultErrorMessage(r);
    else if (PQntuples(r) > 0 && PQnfields(r) > 0)
      value = PQgetvalue(r, 0, 0);
    PQclear(r);
  }
  PQfinish(c);
  return value;
}
