// kvsql's command line: the options, the sources of statements in the
// order given (-c, -f, --import), and the usage text with the exit
// statuses.  Plain parsing, no network.
#ifndef TOOLS_KVSQL_OPTIONS_H
#define TOOLS_KVSQL_OPTIONS_H

#include <string>
#include <vector>

#include "tools/kvsql_output.h"

// Exit statuses of kvsql.
enum : int {
  KVSQL_OK = 0,         // every statement succeeded
  KVSQL_FAILED = 1,     // a statement failed, or a bad command line
  KVSQL_NO_SERVER = 2,  // no connection, or the connection was lost
  KVSQL_STOPPED = 3     // --on-error-stop ended a script at a failing statement
};

// One source of statements, run in command-line order.
struct KvsqlSource {
  enum Kind { SQL, FILE, IMPORT };
  Kind kind;
  std::string text;   // SQL: the text; FILE: the path ("-": standard input); IMPORT: the path
  std::string table;  // IMPORT: the table
};

struct KvsqlOptions {
  std::string dbname = "KVSYS";
  std::string port;  // empty: the default
  std::vector<KvsqlSource> sources;
  std::string output;  // -o FILE; empty: standard output
  bool format_set = false;
  OutputFormat format = OutputFormat::UNALIGNED;
  bool expanded = false;
  bool tuples_only = false;
  bool quiet = false;
  bool on_error_stop = false;
  bool tokens = false;
  bool no_convert = false;
  std::string encoding;      // the terminal's character set; empty: the locale's
  int connect_timeout = 30;  // seconds; 0: no limit
  int fetch_count = 0;       // rows per batch of a SELECT read through a cursor; 0: one reply
};

enum class KvsqlParse { RUN, HELP, VERSION, BAD };

// Reads argv into *opt.  BAD: *error names the argument.
KvsqlParse parse_options(int argc, char **argv, KvsqlOptions *opt, std::string *error);

// The --help text.
extern const char KVSQL_USAGE[];

#endif
