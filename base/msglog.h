// The message log: Log_Msg formats a diagnostic with a small printf-like
// formatter of its own and writes it to standard error (or an installed
// sink) and, once Init_Msglog has opened one, to a log file.  Most
// diagnostics go this way; a few fixed warnings of the date rules and of the
// transport's frame reader go to standard output instead (see there).
// Msglog_Exit is the one way a fatal path ends the process.
#ifndef BASE_MSGLOG_H
#define BASE_MSGLOG_H

#include <cstdarg>
#include <string>

// Sets the locale from the environment (numbers stay "C") and, for a
// non-empty name, opens the log file: "name" gives "name.log", "name.log"
// stays, any other extension after the leading run of letters and digits is
// refused.  mode 1 empties the file, any other mode appends.
// Returns 0 ready, 1 already initialised, 2 bad extension, 3 cannot open
// (also for a file name longer than 1023 characters).
int Init_Msglog(const char *name, int mode);

// Formats and writes one message.  Conversions: %[width][.prec] with d (an
// int), ld (a long), s (a string; null prints "(null)") and lf or f (a
// double); any other letter stands as "???" and takes no argument.  The message is
// written unchanged (no line feed is added).
void Log_Msg(const char *fmt, ...);
void Log_VMsg(const char *fmt, va_list ap);

// Where messages go instead of standard error (the log file still gets
// them): sink(message, context) for each formatted message.  A null sink
// restores standard error.  Returns nothing; the sink and its context must
// stay valid until they are replaced.  Programs use it to turn library
// diagnostics into their own output, tests to read what was logged.
typedef void (*Msglog_Sink)(const char *message, void *context);
void Set_Msglog_Sink(Msglog_Sink sink, void *context);

// The formatter alone: the text Log_Msg would write.
std::string Format_Msg(const char *fmt, va_list ap);

void Close_Msglog();

// Closes the log and ends the process with status through exit().
[[noreturn]] void Msglog_Exit(int status);

#endif
