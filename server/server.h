// The korvald server object: its storage backend (backend.h), the registry
// of databases in use, the listening socket on 127.0.0.1, one thread per
// client connection (up to a limit), the time limit on idle transactions,
// the --trace log, and the orderly stop (signal, stop request, STOP
// statement).  It is the catalogue (catalog.h) of the sessions it runs.
// main (korvald.cpp) builds one KvServer and runs it; the end-to-end tests
// start the program.
#ifndef SERVER_SERVER_H
#define SERVER_SERVER_H

#include <pthread.h>

#include <atomic>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/backend.h"
#include "server/catalog.h"
#include "server/session.h"

class FrameReader;

// Requests announcing a longer message end their connection.
constexpr int KV_MAX_REQUEST = 64 * 1024 * 1024;

struct KvOptions {
  std::string datadir = "./korval-data";
  // A PostgreSQL connection string: the data is kept there instead of in
  // the SQLite files of datadir.  Empty: SQLite.
  std::string postgres;
  int port = -1;  // -1: services entry "KORVAL"/"tcp", else DB_DEFAULT_PORT; 0: any free port
  bool demo = false;
  bool trace = false;
  // Further clients get an error reply to their first request and are
  // closed.
  int max_connections = 100;
  // A transaction with no request for this many seconds is rolled back
  // (0: never).
  int idle_tx_timeout = 300;
  // Longest reply in bytes; a longer result is cut ("not all rows").
  size_t max_reply = KV_MAX_REPLY;
};

class KvServer : public KvCatalog {
 public:
  explicit KvServer(const KvOptions &options);
  ~KvServer() override;

  // Prepares the storage (KvBackend::init): locks it against a second
  // server, creates KVSYS (and the demo data when asked).  Returns false
  // with a message in *err; then it has removed what it created and holds
  // no lock.
  bool init(std::string *err);
  // Where the data is, for the ready line.
  std::string where() const;
  // Binds and listens on 127.0.0.1 with the system's longest queue of
  // pending connections.  Returns the port, or -1 with *err.
  int listen_socket(std::string *err);
  // Accepts connections until stop() is called; then closes every
  // connection (open transactions are rolled back) and returns.  While no
  // descriptor is free, it waits for connections to end instead of trying
  // again at once; a client beyond max_connections gets the error reply
  // "Too many connections (limit N); try again later" to its first request.
  void run();
  // Asks run() to end.  Async-signal-safe.
  void stop();

  // --- The catalogue: the backend's stores and the registry of the
  // databases in use (thread-safe).
  std::unique_ptr<KvStore> new_store() override;
  void db_acquire(const std::string &name) override;
  void db_release(const std::string &name) override;
  bool db_drop(const std::string &name, const std::function<bool()> &remove,
               std::string *err) override;
  bool tracing() const override { return options_.trace; }
  // On standard error, serialised between threads.
  void log_line(const std::string &text) override;

 private:
  struct Conn {
    KvServer *server = nullptr;
    int id = 0;
    int fd = -1;
    pthread_t thread{};
    bool started = false;
    std::atomic<bool> done{false};
  };
  static void *thread_main(void *conn);
  void serve(Conn *conn, int id);
  void reap(bool all);
  int live_connections() const;

  KvOptions options_;
  std::unique_ptr<KvBackend> backend_;
  int listen_fd_ = -1;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;  // users_ and conns_
  KvUsers users_;
  std::list<std::unique_ptr<Conn>> conns_;
  std::mutex log_mutex_;
};

// Results of kv_recv_request.
enum KvRecv {
  KV_RECV_OK,         // the request is in the reader
  KV_RECV_CLOSED,     // the peer closed the connection (or it failed)
                      // before the first byte of a request
  KV_RECV_MALFORMED,  // a malformed frame (see FrameReader), or the input
                      // ended or failed inside the request
  KV_RECV_STALLED     // no further byte came for stall_seconds
};

// The bytes that arrive on one connection's socket, read through a buffer:
// requests sent back to back (an import's, for instance) cost one read
// together.  What is read past a request stays here for the next one.
class KvInput {
 public:
  // fd belongs to the caller and outlives the input.  size 0: no buffer,
  // and no byte past a request is read.
  KvInput(int fd, size_t size) : fd_(fd), buf_(size) {}
  int fd() const { return fd_; }
  // Bytes received and not yet taken by a request.
  size_t pending() const { return end_ - pos_; }

 private:
  friend KvRecv kv_recv_request(KvInput &in, FrameReader &reader, int stall_seconds);
  int fd_;
  std::vector<char> buf_;
  size_t pos_ = 0;
  size_t end_ = 0;
};

// Reads one request from in into reader, which is new or reset and whose
// limit is KV_MAX_REQUEST.  The request grows with the frames that arrive,
// so a client that announces a large message and sends nothing costs no
// memory.  With stall_seconds above 0, a wait of that long for any byte
// ends the read with KV_RECV_STALLED.
KvRecv kv_recv_request(KvInput &in, FrameReader &reader, int stall_seconds);
// The same without a buffer: reads no byte past the request, so the next
// one stays on the socket fd.
KvRecv kv_recv_request(int fd, FrameReader &reader, int stall_seconds);

#endif
