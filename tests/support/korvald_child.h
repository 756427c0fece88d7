// Helpers of the end-to-end tests, the fuzz tests and the benchmarks that
// talk to korvald over TCP: start the server program as a child process on
// a free loopback port and read the port from its ready line, stop it, and
// open a raw connection to a port on 127.0.0.1.  Plain POSIX code without
// GoogleTest, built as the test_support library by tests/CMakeLists.txt.
#ifndef TESTS_SUPPORT_KORVALD_CHILD_H
#define TESTS_SUPPORT_KORVALD_CHILD_H

#include <sys/types.h>

#include <string>
#include <vector>

// Starts bin with "-D dir -p 0" and then extra, and blocks until the child
// writes its first line to standard output (the ready line, "... port N")
// or closes it.  The child's standard error is appended to err_log unless
// that is empty.  Returns the port from the ready line, or 0 when there was
// none.  *pid is the child's process id (-1 when none was started); it is
// set on failure too, so that the caller can still stop the child.
int korvald_start(const std::string &bin, const std::string &dir,
                  const std::vector<std::string> &extra, const std::string &err_log, pid_t *pid);

// Sends sig to the child *pid and waits for its end; *pid becomes -1.
// Does nothing when *pid is not a process id.
void korvald_stop(pid_t *pid, int sig);

// A TCP connection to 127.0.0.1:port.  Returns the descriptor, which the
// caller closes, or -1.
int loopback_connect(int port);

#endif
