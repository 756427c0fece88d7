// Ctrl+C in kvsql.  SIGINT is blocked in every thread and taken by a
// watcher thread of its own, so no signal handler runs inside the client
// library.  While a statement runs, the watcher shuts the connection's
// socket down: the blocked send or receive ends at once, and the server,
// which sees its client gone, stops the statement and rolls back.  At the
// prompt a SIGINT is only counted (the interactive loop clears the line);
// in a script without a running statement it ends kvsql as SIGINT does.
#ifndef TOOLS_KVSQL_INTERRUPT_H
#define TOOLS_KVSQL_INTERRUPT_H

#include <mutex>
#include <thread>

class Interrupts {
 public:
  // Blocks SIGINT in the calling thread (and so in the threads it starts
  // later; make it before any other thread) and starts the watcher.
  // interactive: see above.
  explicit Interrupts(bool interactive);
  // Stops the watcher; SIGINT stays blocked.
  ~Interrupts();
  Interrupts(const Interrupts &) = delete;
  Interrupts &operator=(const Interrupts &) = delete;

  // A descriptor that becomes readable when a SIGINT arrived (for poll).
  int fd() const { return pipe_[0]; }
  // The SIGINTs since the last call (empties fd).
  int take();
  // Until disarm, a SIGINT shuts the socket down (both directions).
  void arm(int socket);
  // Ends arm; true when the socket was shut down meanwhile.
  bool disarm();
  // Ends the process by the default action of SIGINT (flush: after
  // flushing stdio).
  [[noreturn]] static void die(bool flush);

 private:
  void watch();

  bool interactive_;
  int pipe_[2] = {-1, -1};
  std::mutex mutex_;  // guards socket_ and cut_ against the watcher
  int socket_ = -1;
  bool cut_ = false;
  bool stopping_ = false;
  std::thread watcher_;
};

#endif
