// Parsing of kvsql's command line.
#include "tools/kvsql_options.h"

#include <cerrno>
#include <cstdlib>

const char KVSQL_USAGE[] =
    "usage: kvsql [-dbNAME] [-p PORT] [-c SQL | -f FILE | --import FILE TABLE]...\n"
    "             [-A | --aligned | --csv] [-x] [-t] [-q] [-o FILE] [--on-error-stop]\n"
    "             [--encoding CHARSET | --no-convert] [--connect-timeout SECONDS]\n"
    "             [--fetch-count N] [--tokens]\n"
    "  -dbNAME    database to open (default KVSYS; also -db NAME)\n"
    "  -p PORT    server port (default 12453, or the services entry KORVAL/tcp)\n"
    "  -c SQL     run SQL: statements and meta-commands (may be given more than once)\n"
    "  -f FILE    run the statements in FILE, '-' for standard input (may repeat);\n"
    "             errors are named \"kvsql: FILE:LINE: message\"\n"
    "  --import FILE TABLE\n"
    "             import a CSV or tab-separated file into TABLE (as \\import)\n"
    "             -c, -f and --import run in the order given; standard input is read\n"
    "             only without them (or as -f -): a terminal gets a prompt with line\n"
    "             editing, history and completion\n"
    "  -A, --unaligned  tab-separated rows (default when the output is no terminal);\n"
    "             tab, line feed, carriage return and backslash in values as \\t \\n \\r \\\\\n"
    "  --aligned  a table with a header and a row count (default on a terminal)\n"
    "  --csv      comma-separated values with RFC 4180 quoting\n"
    "  -x, --expanded  one \"name | value\" line per column\n"
    "  -t, --tuples-only  rows only, without header and row count\n"
    "  -q, --quiet  no command feedback (row counts of INSERT, UPDATE, DELETE, ...)\n"
    "  -o FILE    write results to FILE\n"
    "  --on-error-stop  end at the first failing statement (also -v ON_ERROR_STOP=1)\n"
    "  --encoding CHARSET  the terminal's character set (default: the locale's);\n"
    "             text is converted to and from the database's Latin-1\n"
    "  --no-convert  pass bytes unchanged\n"
    "  --connect-timeout SECONDS  give up a connection not answered within this\n"
    "             time (default 30; 0: wait without limit)\n"
    "  --fetch-count N  read the rows of a SELECT N at a time through a cursor:\n"
    "             memory for N rows, not the whole result; 0 (default): one reply;\n"
    "             not after a MAX statement, not with -x\n"
    "  --tokens   print the request bytes of each statement as hex, do not connect\n"
    "  -h, --help this text;  --version  the program version\n"
    "BINARY values are shown as 0x and hex digits.  Comments (-- and /* */) are\n"
    "removed before a statement is sent.  Type \\? in kvsql for its meta-commands;\n"
    "see kvsql(1).\n"
    "Exit status: 0 every statement succeeded, 1 a statement failed (or a bad\n"
    "command line), 2 no connection (also when the connection to the server is\n"
    "lost), 3 --on-error-stop ended the run; Ctrl+C in a script cancels the\n"
    "running statement and ends kvsql as the signal does.\n";

namespace {

// The value of an option given as "-xVALUE" or "-x VALUE"; false when missing.
bool value_of(int argc, char **argv, int *i, size_t prefix, std::string *value) {
  std::string a = argv[*i];
  if (a.size() > prefix) {
    *value = a.substr(prefix);
    return true;
  }
  if (*i + 1 >= argc) return false;
  *value = argv[++*i];
  return true;
}

bool truth(const std::string &v, bool *out) {
  if (v == "1" || v == "on" || v == "true" || v == "yes") return *out = true, true;
  if (v == "0" || v == "off" || v == "false" || v == "no") return *out = false, true;
  return false;
}

// A whole number from 0 to max.
bool whole_number(const std::string &v, long max, int *out) {
  char *end;
  errno = 0;
  long n = strtol(v.c_str(), &end, 10);
  if (v.empty() || *end || errno || n < 0 || n > max) return false;
  *out = static_cast<int>(n);
  return true;
}

}  // namespace

KvsqlParse parse_options(int argc, char **argv, KvsqlOptions *opt, std::string *error) {
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i], v;
    auto missing = [&](const char *what) {
      *error = a + " needs " + what;
      return KvsqlParse::BAD;
    };
    if (a == "-h" || a == "--help") return KvsqlParse::HELP;
    if (a == "--version") return KvsqlParse::VERSION;
    if (a == "--tokens") {
      opt->tokens = true;
    } else if (a.compare(0, 3, "-db") == 0) {
      if (!value_of(argc, argv, &i, 3, &opt->dbname)) return missing("a database name");
    } else if (a.compare(0, 2, "-p") == 0) {
      if (!value_of(argc, argv, &i, 2, &opt->port)) return missing("a port");
    } else if (a == "-c") {
      if (i + 1 >= argc) return missing("an SQL text");
      opt->sources.push_back({KvsqlSource::SQL, argv[++i], ""});
    } else if (a.compare(0, 2, "-f") == 0) {
      if (!value_of(argc, argv, &i, 2, &v)) return missing("a file name");
      opt->sources.push_back({KvsqlSource::FILE, v, ""});
    } else if (a == "--import") {
      if (i + 2 >= argc) return missing("a file name and a table");
      opt->sources.push_back({KvsqlSource::IMPORT, argv[i + 1], argv[i + 2]});
      i += 2;
    } else if (a.compare(0, 2, "-o") == 0) {
      if (!value_of(argc, argv, &i, 2, &opt->output)) return missing("a file name");
    } else if (a == "-A" || a == "--unaligned" || a == "--aligned" || a == "--csv") {
      opt->format_set = true;
      opt->format = a == "--aligned" ? OutputFormat::ALIGNED
                    : a == "--csv"   ? OutputFormat::CSV
                                     : OutputFormat::UNALIGNED;
    } else if (a == "-x" || a == "--expanded") {
      opt->expanded = true;
    } else if (a == "-t" || a == "--tuples-only") {
      opt->tuples_only = true;
    } else if (a == "-q" || a == "--quiet") {
      opt->quiet = true;
    } else if (a == "--on-error-stop") {
      opt->on_error_stop = true;
    } else if (a.compare(0, 2, "-v") == 0) {
      if (!value_of(argc, argv, &i, 2, &v)) return missing("NAME=VALUE");
      if (v.compare(0, 14, "ON_ERROR_STOP=") != 0 || !truth(v.substr(14), &opt->on_error_stop)) {
        *error = "-v knows only ON_ERROR_STOP=1 or ON_ERROR_STOP=0, not '" + v + "'";
        return KvsqlParse::BAD;
      }
    } else if (a == "--fetch-count") {
      if (i + 1 >= argc) return missing("a number of rows");
      if (!whole_number(argv[++i], 100000000, &opt->fetch_count)) {
        *error = std::string("invalid value for --fetch-count: ") + argv[i];
        return KvsqlParse::BAD;
      }
    } else if (a == "--encoding") {
      if (i + 1 >= argc) return missing("a character set");
      opt->encoding = argv[++i];
    } else if (a == "--no-convert") {
      opt->no_convert = true;
    } else if (a == "--connect-timeout") {
      if (i + 1 >= argc) return missing("a number of seconds");
      if (!whole_number(argv[++i], 1000000, &opt->connect_timeout)) {
        *error = std::string("invalid value for --connect-timeout: ") + argv[i];
        return KvsqlParse::BAD;
      }
    } else {
      *error = "unknown argument '" + a + "'";
      return KvsqlParse::BAD;
    }
  }
  return KvsqlParse::RUN;
}
