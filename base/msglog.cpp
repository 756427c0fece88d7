// The message log: formatter, optional log file, fatal end.
#include "base/msglog.h"

#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
int _initialized = 0;
char _fname[1024];
FILE *_logfp = nullptr;
Msglog_Sink _sink = nullptr;
void *_sink_context = nullptr;

const size_t kMaxMessage = 1999;
const size_t kMaxConversion = 999;
}  // namespace

int Init_Msglog(const char *name, int mode) {
  if (_initialized) return 1;
  setlocale(LC_ALL, "");
  setlocale(LC_NUMERIC, "C");
  if (name && *name) {
    const char *p = name;
    while (*p && isalnum(static_cast<unsigned char>(*p))) p++;
    int n;
    if (*p != '.') {
      n = snprintf(_fname, sizeof _fname, "%s.log", name);
    } else if (strcmp(p + 1, "log") == 0) {
      n = snprintf(_fname, sizeof _fname, "%s", name);
    } else {
      return 2;
    }
    // A name that does not fit would open some other, cut-off file.
    if (n < 0 || static_cast<size_t>(n) >= sizeof _fname) return 3;
    _logfp = fopen(_fname, mode == 1 ? "w" : "a");
    if (!_logfp) return 3;
  }
  _initialized = 1;
  return 0;
}

std::string Format_Msg(const char *fmt, va_list ap) {
  std::string msg;
  char conv[64];
  char out[kMaxConversion + 1];
  const char *p = fmt;
  while (*p) {
    if (*p != '%') {
      msg += *p++;
      continue;
    }
    // Build "%", width digits, optional "." and precision digits, letter.
    size_t n = 0;
    conv[n++] = *p++;
    while (isdigit(static_cast<unsigned char>(*p)) && n < 20) conv[n++] = *p++;
    if (*p == '.') {
      conv[n++] = *p++;
      while (isdigit(static_cast<unsigned char>(*p)) && n < 40) conv[n++] = *p++;
    }
    char letter = *p;
    if (!letter) break;
    p++;
    bool is_long = false;
    if (letter == 'l' && (*p == 'd' || *p == 'f')) {
      letter = *p++;
      is_long = letter == 'd';
    }
    if (is_long) conv[n++] = 'l';
    conv[n++] = letter;
    conv[n] = '\0';
    switch (letter) {
      case 'd':
        if (is_long)
          snprintf(out, sizeof out, conv, va_arg(ap, long));
        else
          snprintf(out, sizeof out, conv, va_arg(ap, int));
        break;
      case 's': {
        const char *s = va_arg(ap, const char *);
        snprintf(out, sizeof out, conv, s ? s : "(null)");
        break;
      }
      case 'f': snprintf(out, sizeof out, conv, va_arg(ap, double)); break;
      default: snprintf(out, sizeof out, "???"); break;
    }
    msg += out;
  }
  if (msg.size() > kMaxMessage) msg.resize(kMaxMessage);
  return msg;
}

void Log_VMsg(const char *fmt, va_list ap) {
  std::string msg = Format_Msg(fmt, ap);
  if (_logfp) {
    fputs(msg.c_str(), _logfp);
    fflush(_logfp);
  }
  if (_sink)
    _sink(msg.c_str(), _sink_context);
  else
    fputs(msg.c_str(), stderr);
}

void Set_Msglog_Sink(Msglog_Sink sink, void *context) {
  _sink = sink;
  _sink_context = sink ? context : nullptr;
}

void Log_Msg(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  Log_VMsg(fmt, ap);
  va_end(ap);
}

void Close_Msglog() {
  if (_logfp) {
    fclose(_logfp);
    _logfp = nullptr;
  }
}

void Msglog_Exit(int status) {
  Close_Msglog();
  exit(status);
}
