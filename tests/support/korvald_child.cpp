// Starting and stopping korvald as a child process, and raw loopback
// connections, for the tests and benchmarks.  See korvald_child.h.
#include "tests/support/korvald_child.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int korvald_start(const std::string &bin, const std::string &dir,
                  const std::vector<std::string> &extra, const std::string &err_log, pid_t *pid) {
  *pid = -1;
  std::vector<std::string> args = {bin, "-D", dir, "-p", "0"};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int fds[2];
  if (pipe(fds) != 0) return 0;
  *pid = fork();
  if (*pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    if (!err_log.empty()) {
      FILE *f = fopen(err_log.c_str(), "a");
      if (f) dup2(fileno(f), 2);
    }
    execv(bin.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  std::string line;
  char c;
  while (*pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') line += c;
  close(fds[0]);
  size_t p = line.find("port ");
  if (p == std::string::npos) return 0;
  return atoi(line.c_str() + p + 5);
}

void korvald_stop(pid_t *pid, int sig) {
  if (*pid <= 0) return;
  kill(*pid, sig);
  waitpid(*pid, nullptr, 0);
  *pid = -1;
}

int loopback_connect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}
