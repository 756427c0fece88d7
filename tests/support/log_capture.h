// Reading what the message log writes, for the tests of every library: the
// test installs the log's sink instead of capturing standard error, so it
// sees exactly the diagnostics (and nothing else the process prints).
// Header only; one capture at a time per process, as with the log itself.
#ifndef TESTS_SUPPORT_LOG_CAPTURE_H
#define TESTS_SUPPORT_LOG_CAPTURE_H

#include <string>

#include "base/msglog.h"

inline std::string &kv_log_buffer() {
  static std::string text;
  return text;
}

// Starts collecting the log's messages (standard error gets none of them).
inline void kv_capture_log() {
  kv_log_buffer().clear();
  Set_Msglog_Sink([](const char *m, void *) { kv_log_buffer() += m; }, nullptr);
}

// Stops collecting and returns what was logged since kv_capture_log.
inline std::string kv_captured_log() {
  Set_Msglog_Sink(nullptr, nullptr);
  std::string text;
  text.swap(kv_log_buffer());
  return text;
}

#endif
