// The korvald server object: data directory, database registry, listener
// and connection threads.  See server.h.
#include "server/server.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/msglog.h"
#include "proto/query.h"
#include "proto/wire.h"
#include "server/session.h"
#include "server/types.h"

KvServer::KvServer(const KvOptions &options) : options_(options) {
  if (pipe(wake_) == 0) {
    fcntl(wake_[0], F_SETFL, O_NONBLOCK);
    fcntl(wake_[1], F_SETFL, O_NONBLOCK);
    fcntl(wake_[0], F_SETFD, FD_CLOEXEC);
    fcntl(wake_[1], F_SETFD, FD_CLOEXEC);
  }
}

KvServer::~KvServer() {
  reap(true);
  if (listen_fd_ >= 0) close(listen_fd_);
  if (wake_[0] >= 0) close(wake_[0]);
  if (wake_[1] >= 0) close(wake_[1]);
}

static bool make_dirs(const std::string &path, std::string *err) {
  std::string part;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    part = path.substr(0, pos);
    if (part.empty()) continue;
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
      *err = "Cannot create " + part + ": " + strerror(errno);
      return false;
    }
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *err = path + " is not a directory";
    return false;
  }
  return true;
}

bool KvServer::init(std::string *err) {
  if (!make_dirs(options_.datadir, err)) return false;
  if (!db_exists(KV_SYSTEM_DB) && !db_create(KV_SYSTEM_DB, err)) return false;
  if (options_.demo && !kv_fill_demo(db_path(KV_SYSTEM_DB), err)) return false;
  return true;
}

int KvServer::listen_socket(std::string *err) {
  int port = options_.port;
  if (port < 0) {
    struct servent *se = getservbyname("KORVAL", "tcp");
    port = se ? ntohs(static_cast<uint16_t>(se->s_port)) : KV_DEFAULT_PORT;
  }
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) {
    *err = std::string("socket: ") + strerror(errno);
    return -1;
  }
  int one = 1;
  setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(listen_fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
      listen(listen_fd_, 64) != 0) {
    *err = "Cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + strerror(errno);
    return -1;
  }
  socklen_t len = sizeof addr;
  getsockname(listen_fd_, reinterpret_cast<sockaddr *>(&addr), &len);
  return ntohs(addr.sin_port);
}

void KvServer::stop() {
  stopping_ = true;
  if (wake_[1] >= 0) {
    ssize_t r = write(wake_[1], "x", 1);
    (void)r;
  }
}

void KvServer::reap(bool all) {
  std::list<std::unique_ptr<Conn>> finished;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = conns_.begin(); it != conns_.end();) {
      if (all) shutdown((*it)->fd, SHUT_RDWR);
      if (all || (*it)->done) {
        finished.push_back(std::move(*it));
        it = conns_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto &c : finished)
    if (c->thread.joinable()) c->thread.join();
}

void KvServer::run() {
  int next_id = 1;
  while (!stopping_) {
    pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    int n = poll(fds, 2, -1);
    if (n < 0 && errno != EINTR) break;
    if (stopping_) break;
    if (fds[1].revents & POLLIN) {
      char drain[64];
      while (read(wake_[0], drain, sizeof drain) > 0) {
      }
    }
    reap(false);
    if (n <= 0 || !(fds[0].revents & POLLIN)) continue;
    int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    auto conn = std::make_unique<Conn>();
    conn->fd = fd;
    Conn *c = conn.get();
    int id = next_id++;
    std::lock_guard<std::mutex> lock(mutex_);
    conns_.push_back(std::move(conn));
    c->thread = std::thread(&KvServer::serve, this, c, id);
  }
  close(listen_fd_);
  listen_fd_ = -1;
  reap(true);
}

// Reads exactly n bytes unless the peer closes or fails first; the number
// of bytes read.
static size_t read_full(int fd, char *buf, size_t n) {
  size_t have = 0;
  while (have < n) {
    ssize_t r = read(fd, buf + have, n - have);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    have += static_cast<size_t>(r);
  }
  return have;
}

int kv_recv_request(int fd, std::vector<char> &msg) {
  msg.clear();
  char frame[WIRE_FRAME_BUF];
  size_t got = read_full(fd, frame, 8);
  if (got == 0) return 0;
  if (got < 8) return -1;
  int32_t flen = wire_get32(frame), total = wire_get32(frame + 4);
  if (flen < 8 || flen > WIRE_FRAME_BUF || total < 0 || total > KV_MAX_REQUEST) return -1;
  size_t body = static_cast<size_t>(flen - 8);
  if (read_full(fd, frame, body) != body) return -1;
  msg.insert(msg.end(), frame, frame + std::min(body, static_cast<size_t>(total)));
  while (msg.size() < static_cast<size_t>(total)) {
    if (read_full(fd, frame, 4) != 4) return -1;
    int32_t f = wire_get32(frame);
    if (f < 4 || f > WIRE_FRAME_BUF) return -1;
    body = static_cast<size_t>(f - 4);
    if (read_full(fd, frame, body) != body) return -1;
    msg.insert(msg.end(), frame,
               frame + std::min(body, static_cast<size_t>(total) - msg.size()));
  }
  return 1;
}

void KvServer::serve(Conn *conn, int id) {
  {
    KvSession session(*this, id);
    std::vector<char> msg;
    for (;;) {
      int ok = kv_recv_request(conn->fd, msg);
      if (ok < 0) {
        log_line("(korvald) connection " + std::to_string(id) + ": malformed or cut message, closed");
        break;
      }
      if (ok == 0) break;
      KvAction action = session.handle(msg.data(), static_cast<int>(msg.size()));
      if (action == KV_NO_REPLY) continue;
      if (action == KV_STOP_SERVER) {
        stop();
        break;
      }
      if (!wire_send_message(conn->fd, query_data, query_size)) break;
      if (action == KV_REPLY_AND_STOP) {
        stop();
        break;
      }
    }
  }
  DBquery_free();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    close(conn->fd);
    conn->fd = -1;
  }
  conn->done = true;
  if (wake_[1] >= 0 && !stopping_) {
    // wake the accept loop so that it joins this thread soon
    ssize_t r = write(wake_[1], "r", 1);
    (void)r;
  }
}

void KvServer::log_line(const std::string &text) {
  std::lock_guard<std::mutex> lock(log_mutex_);
  Log_Msg("%s\n", text.substr(0, 990).c_str());
}

// ---------------------------------------------------------------------------
// Registry.

std::string KvServer::db_path(const std::string &name) const {
  return options_.datadir + "/" + name + ".db";
}

bool KvServer::db_exists(const std::string &name) const {
  struct stat st;
  return kv_valid_name(name) && stat(db_path(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> KvServer::db_list() const {
  std::vector<std::string> names;
  DIR *dir = opendir(options_.datadir.c_str());
  if (!dir) return names;
  while (dirent *e = readdir(dir)) {
    std::string f = e->d_name;
    if (f.size() > 3 && f.compare(f.size() - 3, 3, ".db") == 0) {
      std::string n = f.substr(0, f.size() - 3);
      if (kv_valid_name(n)) names.push_back(n);
    }
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool KvServer::db_acquire(const std::string &name) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!db_exists(name)) return false;
  users_[name]++;
  return true;
}

void KvServer::db_release(const std::string &name) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = users_.find(name);
  if (it != users_.end() && --it->second <= 0) users_.erase(it);
}

bool KvServer::db_create(const std::string &name, std::string *err) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!kv_valid_name(name)) {
    *err = "Invalid database name '" + name + "'";
    return false;
  }
  if (db_exists(name)) {
    *err = "Database " + name + " already exists";
    return false;
  }
  sqlite3 *db = nullptr;
  int rc = sqlite3_open_v2(db_path(name).c_str(), &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXCLUSIVE,
                           nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    *err = "Cannot create database " + name + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    unlink(db_path(name).c_str());
    return false;
  }
  sqlite3_close(db);
  return true;
}

bool KvServer::db_drop(const std::string &name, std::string *err) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = users_.find(name);
  if (it != users_.end() && it->second > 1) {
    *err = "Database " + name + " is in use by another connection";
    return false;
  }
  std::string path = db_path(name);
  if (unlink(path.c_str()) != 0) {
    *err = "Cannot remove database " + name + ": " + strerror(errno);
    return false;
  }
  unlink((path + "-wal").c_str());
  unlink((path + "-shm").c_str());
  if (it != users_.end()) users_.erase(it);
  return true;
}
