// The korvald server object: the locked data directory with one SQLite file
// per database, the registry of databases in use, the listening socket on
// 127.0.0.1, one thread per client connection (up to a limit), the time
// limit on idle transactions, the --trace log, and the orderly stop
// (signal, stop request, STOP statement).  main (korvald.cpp) builds one
// KvServer and runs it; the end-to-end tests start the program.
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

#include "server/datadir.h"

constexpr int KV_DEFAULT_PORT = 12453;
constexpr const char *KV_SYSTEM_DB = "KVSYS";
// Requests announcing a longer message end their connection.
constexpr int KV_MAX_REQUEST = 64 * 1024 * 1024;

struct KvOptions {
  std::string datadir = "./korval-data";
  int port = -1;  // -1: services entry "KORVAL"/"tcp", else KV_DEFAULT_PORT; 0: any free port
  bool demo = false;
  bool trace = false;
  // Further clients get an error reply to their first request and are
  // closed.
  int max_connections = 100;
  // A transaction with no request for this many seconds is rolled back
  // (0: never).
  int idle_tx_timeout = 300;
};

class KvServer {
 public:
  explicit KvServer(const KvOptions &options);
  ~KvServer();

  // Creates the data directory when missing, locks it against a second
  // server, and creates KVSYS (and the demo data when asked).  Returns false
  // with a message in *err; then it has removed what it created and holds
  // no lock.
  bool init(std::string *err);
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

  // --- The database registry (thread-safe). ---
  std::string db_path(const std::string &name) const;
  bool db_exists(const std::string &name) const;
  // The names of all databases, sorted.
  std::vector<std::string> db_list() const;
  // Counts a session as user of a database; false when it does not exist.
  bool db_acquire(const std::string &name);
  void db_release(const std::string &name);
  // Creates a new, empty database file (WAL mode); false with *err when it
  // exists or cannot be created.  The caller acquires it afterwards.
  bool db_create(const std::string &name, std::string *err);
  // Removes a database that the calling session (and no other) uses; the
  // caller has closed its SQLite connection and releases nothing more.
  bool db_drop(const std::string &name, std::string *err);

  bool tracing() const { return options_.trace; }
  // One line on standard error, serialised between threads.
  void log_line(const std::string &text);

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
  KvDataDir datadir_;
  int listen_fd_ = -1;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;  // users_ and conns_
  std::map<std::string, int> users_;
  std::list<std::unique_ptr<Conn>> conns_;
  std::mutex log_mutex_;
};

// Reads one request message in the framing of the protocol into msg.  The
// message grows with the frames that arrive, so a client that announces a
// large message and sends nothing costs no memory.  Returns 1 for a
// message, 0 when the peer closed the connection between messages, -1 for
// a malformed or cut message (a frame shorter than its header or longer
// than WIRE_FRAME_BUF, a length above KV_MAX_REQUEST).
int kv_recv_request(int fd, std::vector<char> &msg);

// Fills KVSYS with the demo tables when it has none (demo.cpp).  Returns
// false with *err on failure.
bool kv_fill_demo(const std::string &path, std::string *err);

#endif
