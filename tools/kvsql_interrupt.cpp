// The SIGINT watcher of kvsql.
#include "tools/kvsql_interrupt.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

namespace {

sigset_t sigint_set() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

Interrupts::Interrupts(bool interactive) : interactive_(interactive) {
  sigset_t set = sigint_set();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  if (pipe(pipe_) == 0) {
    for (int fd : pipe_) fcntl(fd, F_SETFD, FD_CLOEXEC);
    fcntl(pipe_[0], F_SETFL, O_NONBLOCK);
  }
  watcher_ = std::thread([this]() { watch(); });
}

Interrupts::~Interrupts() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  pthread_kill(watcher_.native_handle(), SIGINT);
  watcher_.join();
  for (int fd : pipe_)
    if (fd >= 0) close(fd);
}

void Interrupts::watch() {
  sigset_t set = sigint_set();
  for (;;) {
    int sig = 0;
    if (sigwait(&set, &sig) != 0) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return;
    if (socket_ >= 0) {
      shutdown(socket_, SHUT_RDWR);
      cut_ = true;
    } else if (!interactive_) {
      die(false);
    }
    ssize_t w = write(pipe_[1], "i", 1);
    (void)w;
  }
}

int Interrupts::take() {
  int n = 0;
  char buf[64];
  for (ssize_t r; (r = read(pipe_[0], buf, sizeof buf)) > 0;) n += static_cast<int>(r);
  return n;
}

void Interrupts::arm(int socket) {
  std::lock_guard<std::mutex> lock(mutex_);
  socket_ = socket;
  cut_ = false;
}

bool Interrupts::disarm() {
  std::lock_guard<std::mutex> lock(mutex_);
  socket_ = -1;
  return cut_;
}

void Interrupts::die(bool flush) {
  if (flush) fflush(nullptr);
  signal(SIGINT, SIG_DFL);
  sigset_t set = sigint_set();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(SIGINT);
  _exit(128 + SIGINT);
}
