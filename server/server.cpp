// The korvald server object: storage backend, database registry, listener
// and connection threads.  See server.h.
#include "server/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <climits>
#include <cstring>

#include "base/msglog.h"
#include "proto/query.h"
#include "proto/wire.h"
#include "server/pg_store.h"
#include "server/session.h"
#include "server/sqlite_store.h"

KvServer::KvServer(const KvOptions &options) : options_(options) {
  if (options_.postgres.empty()) {
    backend_ = std::make_unique<KvSqliteBackend>(options_.datadir);
  } else {
    backend_ = std::make_unique<KvPgBackend>(options_.postgres);
  }
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

bool KvServer::init(std::string *err) { return backend_->init(options_.demo, err); }

std::string KvServer::where() const { return backend_->where(); }

int KvServer::listen_socket(std::string *err) {
  int port = options_.port;
  if (port < 0) {
    struct servent *se = getservbyname("KORVAL", "tcp");
    port = se ? ntohs(static_cast<uint16_t>(se->s_port)) : DB_DEFAULT_PORT;
  }
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
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
  // the kernel cuts the queue length down to its maximum (somaxconn)
  if (bind(listen_fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
      listen(listen_fd_, INT_MAX) != 0) {
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
    if (c->started) pthread_join(c->thread, nullptr);
}

namespace {

using Clock = std::chrono::steady_clock;

// While no descriptor is free for a new connection, the accept loop tries
// again after this long, or earlier when a connection ends.
constexpr int kStarvedRetryMs = 250;
// A client beyond the connection limit has this long to send its first
// request; at most kMaxRefusing of them wait at a time.
constexpr auto kRefusalWait = std::chrono::seconds(10);
constexpr size_t kMaxRefusing = 32;

// A client beyond the connection limit, waiting for its first request.
struct Refusal {
  int fd;
  Clock::time_point deadline;
};

bool out_of_descriptors(int err) {
  return err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM;
}

// Reads what a refused client sent, answers with the refusal and closes.
// The request is read first because closing a socket with unread data
// resets the connection, and the client could lose the reply.
void answer_refusal(int fd, const std::vector<char> &reply) {
  char buf[4096];
  size_t got = 0;
  ssize_t r;
  while (got < sizeof buf * 16 && (r = recv(fd, buf, sizeof buf, MSG_DONTWAIT)) > 0)
    got += static_cast<size_t>(r);
  if (got > 0) {
    ssize_t w = send(fd, reply.data(), reply.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    (void)w;
  }
  close(fd);
}

}  // namespace

void *KvServer::thread_main(void *conn) {
  auto *c = static_cast<Conn *>(conn);
  c->server->serve(c, c->id);
  return nullptr;
}

int KvServer::live_connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(std::count_if(conns_.begin(), conns_.end(),
                                        [](const std::unique_ptr<Conn> &c) { return !c->done; }));
}

void KvServer::run() {
  int next_id = 1;
  bool starved = false;         // accept found no free descriptor: waiting
  bool starved_logged = false;  // ... and said so, once until the queue is empty
  bool at_limit = false;        // refusing clients; said once
  bool poll_failed = false;     // the last wait failed; said once
  std::vector<Refusal> refusing;
  std::string limit_text = "Too many connections (limit " +
                           std::to_string(options_.max_connections) + "); try again later";
  std::vector<char> reply;
  DBwriter(reply).adderrmsg(limit_text.c_str());
  const std::vector<char> refusal = wire_encode(reply.data(), static_cast<int>(reply.size()));
  while (!stopping_) {
    // a negative descriptor is left out by poll
    std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {starved ? -1 : listen_fd_, POLLIN, 0}};
    int timeout = starved ? kStarvedRetryMs : -1;
    Clock::time_point now = Clock::now();
    for (auto &r : refusing) {
      fds.push_back({r.fd, POLLIN, 0});
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(r.deadline - now).count();
      int ms = static_cast<int>(std::max<long long>(0, left + 1));
      if (timeout < 0 || ms < timeout) timeout = ms;
    }
    int n = poll(fds.data(), fds.size(), timeout);
    if (stopping_) break;
    if (n < 0 && errno != EINTR) {
      // Short of memory or descriptors for a moment: the server keeps
      // serving its clients and tries again, it does not end.
      if (!poll_failed)
        log_line(std::string("(korvald) waiting for clients failed: ") + strerror(errno) +
                 "; trying again");
      poll_failed = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(kStarvedRetryMs));
      continue;
    }
    poll_failed = false;
    if (fds[0].revents & POLLIN) {
      char drain[64];
      while (read(wake_[0], drain, sizeof drain) > 0) {
      }
    }
    reap(false);
    now = Clock::now();
    for (size_t i = refusing.size(); i-- > 0;) {
      if (fds[2 + i].revents != 0) {
        answer_refusal(refusing[i].fd, refusal);
      } else if (now >= refusing[i].deadline) {
        close(refusing[i].fd);
      } else {
        continue;
      }
      refusing.erase(refusing.begin() + static_cast<long>(i));
    }
    if (!starved && (n <= 0 || !(fds[1].revents & POLLIN))) continue;
    starved = false;
    for (;;) {
      int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) {
        if (out_of_descriptors(errno)) {
          if (!starved_logged)
            log_line(std::string("(korvald) cannot accept connections: ") + strerror(errno) +
                     "; waiting for connections to end");
          starved = starved_logged = true;
        } else if (errno == EAGAIN && starved_logged) {
          // the shortage is over once every waiting client got in
          starved_logged = false;
          log_line("(korvald) accepting connections again");
        }
        break;
      }
      if (live_connections() >= options_.max_connections) {
        if (!at_limit)
          log_line("(korvald) " + std::to_string(options_.max_connections) +
                   " connections open: further clients are refused");
        at_limit = true;
        if (refusing.size() >= kMaxRefusing) {
          close(refusing.front().fd);
          refusing.erase(refusing.begin());
        }
        refusing.push_back({fd, Clock::now() + kRefusalWait});
        continue;
      }
      at_limit = false;
      // requests and replies are whole messages: nothing waits for more
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      auto conn = std::make_unique<Conn>();
      conn->server = this;
      conn->id = next_id++;
      conn->fd = fd;
      std::lock_guard<std::mutex> lock(mutex_);
      int err = pthread_create(&conn->thread, nullptr, thread_main, conn.get());
      if (err != 0) {
        log_line(std::string("(korvald) cannot start a connection thread: ") + strerror(err));
        close(fd);
        continue;
      }
      conn->started = true;
      conns_.push_back(std::move(conn));
    }
  }
  for (auto &r : refusing) close(r.fd);
  close(listen_fd_);
  listen_fd_ = -1;
  reap(true);
}

// Waits up to seconds for fd to become readable (data, the peer's close or
// an error); false when the time ran out.
static bool wait_readable(int fd, int seconds) {
  Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p = {fd, POLLIN, 0};
    int n = poll(&p, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return true;  // let the read report it
  }
}

KvRecv kv_recv_request(KvInput &in, FrameReader &reader, int stall_seconds) {
  char chunk[WIRE_FRAME_BUF];
  while (reader.status() == FrameReader::NEED_MORE) {
    if (in.pos_ < in.end_) {
      size_t used = 0;
      reader.feed(in.buf_.data() + in.pos_, in.end_ - in.pos_, &used);
      in.pos_ += used;
      continue;
    }
    if (stall_seconds > 0 && !wait_readable(in.fd_, stall_seconds)) return KV_RECV_STALLED;
    bool direct = in.buf_.empty();
    ssize_t r = direct ? read(in.fd_, chunk, std::min(reader.wanted(), sizeof chunk))
                       : read(in.fd_, in.buf_.data(), in.buf_.size());
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return reader.started() ? KV_RECV_MALFORMED : KV_RECV_CLOSED;
    if (direct) {
      reader.feed(chunk, static_cast<size_t>(r), nullptr);
    } else {
      in.pos_ = 0;
      in.end_ = static_cast<size_t>(r);
    }
  }
  return reader.status() == FrameReader::COMPLETE ? KV_RECV_OK : KV_RECV_MALFORMED;
}

KvRecv kv_recv_request(int fd, FrameReader &reader, int stall_seconds) {
  KvInput in(fd, 0);
  return kv_recv_request(in, reader, stall_seconds);
}

// Inside a transaction, the wait for the next request is limited: when it
// runs out the transaction is rolled back (the session answers the next
// request with a notice), and a request that stalls half-way for as long
// ends the connection.  Outside transactions a client may idle for ever.
void KvServer::serve(Conn *conn, int id) {
  {
    KvSession session(*this, id, options_.max_reply);
    session.watch_peer(conn->fd);
    const int limit = options_.idle_tx_timeout;
    const std::string who = "(korvald) connection " + std::to_string(id) + ": ";
    FrameReader reader(KV_MAX_REQUEST);
    KvInput input(conn->fd, 64 * 1024);
    for (;;) {
      bool in_tx = limit > 0 && session.in_transaction();
      if (in_tx && input.pending() == 0 && !wait_readable(conn->fd, limit)) {
        session.expire_transaction(limit);
        log_line(who + "idle for " + std::to_string(limit) +
                 " s inside a transaction, rolled back");
        in_tx = false;
      }
      reader.reset();
      KvRecv got = kv_recv_request(input, reader, in_tx ? limit : 0);
      if (got == KV_RECV_STALLED) {
        log_line(who + "request stalled for " + std::to_string(limit) +
                 " s inside a transaction, rolled back and closed");
        break;
      }
      if (got == KV_RECV_MALFORMED) {
        log_line(who + "malformed or cut message, closed");
        break;
      }
      if (got == KV_RECV_CLOSED) break;
      KvReply reply = session.handle(reader.data(), reader.size());
      if (session.peer_gone()) {
        if (!stopping_) log_line(who + "client gone during a statement, stopped and rolled back");
        break;
      }
      if (reply.action == KV_NO_REPLY) continue;
      if (reply.action == KV_STOP_SERVER) {
        stop();
        break;
      }
      bool sent =
          wire_send_message(conn->fd, reply.bytes.data(), static_cast<int>(reply.bytes.size()));
      session.trim();
      if (!sent) break;
      session.prefetch();
      if (reply.action == KV_REPLY_AND_STOP) {
        stop();
        break;
      }
    }
  }
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

std::unique_ptr<KvStore> KvServer::new_store() { return backend_->new_store(); }

void KvServer::db_acquire(const std::string &name) {
  std::lock_guard<std::mutex> lock(mutex_);
  users_.acquire(name);
}

void KvServer::db_release(const std::string &name) {
  std::lock_guard<std::mutex> lock(mutex_);
  users_.release(name);
}

// The storage's drop runs under the registry's lock: a session that wants
// to open the database meanwhile counts itself first, and then finds it
// gone.
bool KvServer::db_drop(const std::string &name, const std::function<bool()> &remove,
                       std::string *err) {
  std::lock_guard<std::mutex> lock(mutex_);
  return users_.drop(name, remove, err);
}
