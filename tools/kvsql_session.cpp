// kvsql's session: sources, statements, meta-commands, results and the
// reports of what went wrong.
#include "tools/kvsql_session.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/msglog.h"
#include "dbclient/result.h"
#include "proto/endian.h"
#include "proto/query.h"
#include "tools/kvsql_header.h"
#include "tools/kvsql_import.h"

// A stream of input: the filter and the splitter that read it, and how its
// places are named in messages.
struct KvsqlSession::Source {
  enum Kind {
    PLAIN,    // -c and standard input: "in the statement on line N"
    FILE,     // -f, \i: "kvsql: FILE:LINE: message"
    TERMINAL  // the prompt: no line numbers
  };
  Source(Kind k, const std::string &n, int d = 0) : kind(k), name(n), depth(d) {}
  Kind kind;
  std::string name;
  int depth;
  InputFilter filter;
  SqlSplitter splitter;
};

namespace {

const int MAX_FILE_DEPTH = 16;

const char HELP[] =
    "Statements end with ';' (or END) and may span lines; -- and /* */ are comments.\n"
    "  \\q                 quit (also quit, exit or Ctrl+D)\n"
    "  \\?                 this help\n"
    "  \\l                 list the databases\n"
    "  \\c [NAME]          connect to database NAME (again to this one without NAME)\n"
    "  \\d [TABLE]         list the tables, or the columns of TABLE (also \\dt)\n"
    "  \\di [TABLE]        list the indices (of TABLE)\n"
    "  \\i FILE            run the statements in FILE\n"
    "  \\o [FILE]          send results to FILE (back to the screen without FILE)\n"
    "  \\import FILE TABLE [csv|tsv] [header|noheader]\n"
    "                     import a CSV or tab-separated file into TABLE, all or nothing\n"
    "  \\x [on|off]        vertical output, one \"name | value\" line per column\n"
    "  \\a                 switch between aligned and unaligned (tab-separated) output\n"
    "  \\t [on|off]        rows only, without header and row count\n"
    "  \\timing [on|off]   show how long each statement took\n"
    "  \\set ON_ERROR_STOP on|off   end a script at its first failing statement\n"
    "Tab completes keywords, tables and columns; Ctrl+C cancels a running statement.\n";

const char *command_tag(int cmd) {
  switch (cmd) {
    case CMD_CREATE_DATABASE: return "CREATE DATABASE";
    case CMD_DROP_DATABASE: return "DROP DATABASE";
    case CMD_CREATE_TABLE: return "CREATE TABLE";
    case CMD_DROP_TABLE: return "DROP TABLE";
    case CMD_CREATE_INDEX: return "CREATE INDEX";
    case CMD_CREATE_UNIQUE_INDEX: return "CREATE UNIQUE INDEX";
    case CMD_DROP_INDEX: return "DROP INDEX";
    case CMD_INSERT: return "INSERT";
    case CMD_DELETE: return "DELETE";
    case CMD_UPDATE: return "UPDATE";
    case CMD_BEGIN: return "BEGIN";
    case CMD_COMMIT: return "COMMIT";
    case CMD_ABORT: return "ABORT";
    case CMD_DECLARE: return "DECLARE CURSOR";
    case CMD_FETCH: return "FETCH";
    case CMD_CLOSE: return "CLOSE CURSOR";
    case CMD_SET_STATIC: return "SET TABLE STATIC";
    case CMD_SET_SECURE: return "SET TABLE SECURE";
    case CMD_SAVE_DATABASE: return "SAVE DATABASE";
    case CMD_MAX: return "MAX";
    case CMD_STOP: return "STOP";
    case CMD_SET_DATABASE: return "SET DATABASE";
    default: return "OK";
  }
}

// Diagnostics the client library logs while a statement runs; they are
// shown after it, unless the connection was lost, which gets one line of
// kvsql's own instead.
struct HeldLog {
  std::string text;
  static void sink(const char *msg, void *ctx) { static_cast<HeldLog *>(ctx)->text += msg; }
  HeldLog() { Set_Msglog_Sink(sink, this); }
  ~HeldLog() { Set_Msglog_Sink(nullptr, nullptr); }
};

std::string without_line_end(std::string t) {
  while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
  return t;
}

// A letter or '_', then letters, digits and '_': what may follow SHOW
// TABLE without changing the statement.
bool is_name(const std::string &s) {
  if (s.empty() || !(isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  for (char c : s)
    if (!(isalnum(static_cast<unsigned char>(c)) || c == '_') ||
        static_cast<unsigned char>(c) >= 0x80)
      return false;
  return true;
}

std::string upper(std::string s) {
  for (char &c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return s;
}

// The start of a statement for a message: blanks for line breaks, at most
// 60 characters.
std::string excerpt(const std::string &text) {
  std::string t;
  for (char c : text) {
    if (t.size() >= 60) {
      t += "...";
      break;
    }
    if (c == '\n' || c == '\t' || c == '\r')
      c = ' ';
    else if (static_cast<unsigned char>(c) < 0x20)
      c = '?';
    t += c;
  }
  return t;
}

// The text kvsql prints for the value at row r, field f (of DBftype type)
// of res: a CHARACTER value where the result keeps it, BINARY as 0x and hex
// digits made in *hex, the other types made in buf (DB_FLOAT_TEXT_SIZE
// bytes), so that nothing is added to the result.  Valid until buf or *hex
// change or res is cleared.
std::string_view value_text(DBresult *res, int r, int f, int type, char *buf, std::string *hex) {
  const char *v = DBgetbinary(res, r, f);
  if (!v) return {};
  if (type == 0) return v;
  if (type == 1) {
    *hex = binary_hex(reinterpret_cast<const unsigned char *>(v + 2), le_get16(v));
    return *hex;
  }
  int n = DBvalue_text(res, r, f, buf);
  return n < 0 ? std::string_view(DBgetvalue(res, r, f)) : std::string_view(buf, n);
}

}  // namespace

KvsqlSession::KvsqlSession(const KvsqlOptions &opt, Recoder *recoder, Interrupts *interrupts,
                           bool interactive)
    : opt_(opt),
      recoder_(recoder),
      interrupts_(interrupts),
      interactive_(interactive),
      on_error_stop_(opt.on_error_stop),
      dbname_(upper(opt.dbname)) {
  out_opt_.format = opt.format_set                    ? opt.format
                    : isatty(1) && opt.output.empty() ? OutputFormat::ALIGNED
                                                      : OutputFormat::UNALIGNED;
  out_opt_.expanded = opt.expanded;
  out_opt_.tuples_only = opt.tuples_only;
}

KvsqlSession::~KvsqlSession() {
  close_db();
  if (out_ != stdout) fclose(out_);
}

bool KvsqlSession::start() {
  if (!opt_.output.empty()) {
    out_ = fopen(opt_.output.c_str(), "w");
    if (!out_) {
      fprintf(stderr, "kvsql: cannot write %s: %s\n", opt_.output.c_str(), strerror(errno));
      out_ = stdout;
      status_ = KVSQL_FAILED;
      return false;
    }
  }
  if (opt_.tokens) return true;
  std::string error;
  conn_ = open_db(dbname_, &error);
  if (!conn_) {
    fputs(error.c_str(), stderr);
    status_ = KVSQL_NO_SERVER;
    return false;
  }
  return true;
}

DBconn *KvsqlSession::open_db(const std::string &name, std::string *error) {
  std::vector<char> buf(name.begin(), name.end());
  buf.push_back(0);
  DBconn *c;
  {
    HeldLog held;  // a failed open says why in its error text
    c = DBsetdb_timeout(nullptr, opt_.port.empty() ? nullptr : opt_.port.c_str(), buf.data(),
                        opt_.connect_timeout * 1000);
  }
  if (DBstatus(c) == DB_CONNECTION_OK) return c;
  *error = recoder_->from_latin1(DBerrorMessage(c));
  DBfreeconn(c);
  return nullptr;
}

void KvsqlSession::close_db() {
  if (!conn_) return;
  if (DBstatus(conn_) != DB_CONNECTION_BROKEN) DBfinish(conn_);
  DBfreeconn(conn_);
  conn_ = nullptr;
  in_transaction_ = false;
  max_set_ = false;  // the row maximum belongs to the connection
  tables_known_ = false;
  columns_.clear();
}

bool KvsqlSession::reconnect(const std::string &name, bool quietly) {
  std::string error;
  DBconn *c = open_db(name, &error);
  if (!c) {
    fprintf(stderr, "kvsql: could not connect to database %s: %s", name.c_str(), error.c_str());
    return false;
  }
  close_db();
  conn_ = c;
  dbname_ = name;
  if (!quietly && !opt_.quiet)
    fprintf(stdout, "You are now connected to database \"%s\".\n", name.c_str());
  return true;
}

int KvsqlSession::exit_status() const {
  if (status_) return status_;
  return any_failed_ && !interactive_ ? KVSQL_FAILED : KVSQL_OK;
}

// --- reports ---------------------------------------------------------------

std::string KvsqlSession::where(const Source &src, int line) const {
  if (line <= 0) return "kvsql: ";
  switch (src.kind) {
    case Source::FILE: return "kvsql: " + src.name + ":" + std::to_string(line) + ": ";
    case Source::PLAIN: return "kvsql: line " + std::to_string(line) + ": ";
    default: return "kvsql: ";
  }
}

void KvsqlSession::report(const Source &src, int line, const std::string &message) {
  fflush(out_);
  fputs((where(src, line) + message + "\n").c_str(), stderr);
}

void KvsqlSession::name_statement(const Source &src, const SqlStatement &stmt) {
  std::string t = excerpt(stmt.text);
  if (src.kind == Source::PLAIN)
    fprintf(stderr, "kvsql: in the statement on line %d: %s\n", stmt.line, t.c_str());
  else
    report(src, stmt.line, "in the statement: " + t);
}

// An error text from the server or the translator (Latin-1, ending in a
// line feed): as it is for -c, standard input and the terminal, after the
// place for a file.
void KvsqlSession::server_error(const Source &src, int line, const char *latin1) {
  std::string text = without_line_end(recoder_->from_latin1(latin1));
  fflush(out_);
  if (src.kind == Source::FILE)
    report(src, line, text);
  else
    fprintf(stderr, "%s\n", text.c_str());
}

void KvsqlSession::failed() {
  any_failed_ = true;
  if (!on_error_stop_) return;
  if (interactive_) {
    halt_ = ABANDON;
  } else {
    halt_ = END;
    status_ = KVSQL_STOPPED;
  }
}

void KvsqlSession::lost() {
  fflush(out_);
  fprintf(stderr, "kvsql: lost the connection to the server at 127.0.0.1 port %d\n",
          DBport(opt_.port.empty() ? nullptr : opt_.port.c_str()));
  any_failed_ = true;
  if (interactive_ && reconnect(dbname_, true)) {
    fprintf(stderr, "kvsql: connected again to database %s\n", dbname_.c_str());
    halt_ = ABANDON;
    return;
  }
  halt_ = END;
  status_ = KVSQL_NO_SERVER;
}

// The statement stopped by Ctrl+C.  The server rolls back the open
// transaction of a connection that went away, so that is said too.
void KvsqlSession::canceled(bool connection_cut) {
  interrupts_->take();
  fflush(out_);
  fputs("canceled\n", stderr);
  any_failed_ = true;
  if (connection_cut && in_transaction_)
    fputs("kvsql: the open transaction was rolled back\n", stderr);
  if (!interactive_) Interrupts::die(true);
  halt_ = ABANDON;
  if (connection_cut && !reconnect(dbname_, true)) {
    halt_ = END;
    status_ = KVSQL_NO_SERVER;
  }
}

// --- sources ---------------------------------------------------------------

void KvsqlSession::process(Source &src, std::vector<InputPiece> &pieces) {
  std::vector<SqlStatement> ready;
  for (const InputPiece &p : pieces) {
    if (halt_ != RUNNING) return;
    if (p.kind == InputPiece::META) {
      run_meta(src, p);
      continue;
    }
    ready.clear();
    src.splitter.feed(p.text.data(), p.text.size(), &ready);
    for (const SqlStatement &stmt : ready) {
      if (halt_ != RUNNING) return;
      run_statement(src, stmt);
    }
  }
}

void KvsqlSession::feed(Source &src, const char *data, size_t n) {
  if (halt_ != RUNNING) return;
  std::vector<InputPiece> pieces;
  src.filter.feed(data, n, &pieces);
  process(src, pieces);
}

void KvsqlSession::finish(Source &src) {
  if (halt_ != RUNNING) return;
  std::vector<InputPiece> pieces;
  int line = 0;
  bool closed = src.filter.finish(&pieces, &line);
  process(src, pieces);
  if (halt_ != RUNNING) return;
  std::vector<SqlStatement> ready;
  src.splitter.finish(&ready);
  for (const SqlStatement &stmt : ready) {
    if (halt_ != RUNNING) return;
    run_statement(src, stmt);
  }
  if (!closed && halt_ == RUNNING) {
    report(src, line, "the /* comment that begins here is not closed");
    failed();
  }
}

void KvsqlSession::run_fd(Source &src, int fd) {
  // read(), not stdio: a statement runs as soon as its end has arrived,
  // even when the writer waits for its answer before sending more.
  std::vector<char> chunk(1 << 16);
  while (halt_ == RUNNING) {
    ssize_t n = read(fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) fprintf(stderr, "kvsql: reading %s: %s\n", src.name.c_str(), strerror(errno));
      finish(src);
      break;
    }
    feed(src, chunk.data(), static_cast<size_t>(n));
  }
}

void KvsqlSession::run_sql(const std::string &text) {
  Source src(Source::PLAIN, "-c");
  feed(src, text.data(), text.size());
  finish(src);
}

void KvsqlSession::run_stdin() {
  Source src(Source::PLAIN, "standard input");
  run_fd(src, 0);
}

void KvsqlSession::run_file(const std::string &path, int depth) {
  bool std_in = path == "-";
  Source src(Source::FILE, std_in ? "<stdin>" : path, depth);
  int fd = std_in ? 0 : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    fprintf(stderr, "kvsql: cannot read %s: %s\n", path.c_str(), strerror(errno));
    failed();
    return;
  }
  run_fd(src, fd);
  if (!std_in) close(fd);
}

void KvsqlSession::run_import(const std::string &path, const std::string &table) {
  Source src(Source::PLAIN, "--import");
  import_file(src, 0, path, table, {});
}

void KvsqlSession::feed_line(const std::string &line) {
  if (!terminal_) terminal_.reset(new Source(Source::TERMINAL, ""));
  if (!statement_open()) {
    // The words people type to leave or for help, alone on a line.
    std::string w = upper(without_line_end(line));
    while (!w.empty() && (w.back() == ' ' || w.back() == ';')) w.pop_back();
    while (!w.empty() && w[0] == ' ') w.erase(0, 1);
    if (w == "QUIT" || w == "EXIT") {
      halt_ = END;
      return;
    }
    if (w == "HELP") {
      fputs(
          "You are using kvsql, the command-line client of the KORVAL server.\n"
          "Type \\? for help with kvsql commands, \\q to quit.\n",
          stdout);
      return;
    }
  }
  feed(*terminal_, line.data(), line.size());
}

bool KvsqlSession::statement_open() const {
  return terminal_ && (terminal_->splitter.open() || terminal_->filter.in_comment());
}

void KvsqlSession::clear_input() {
  if (!terminal_) return;
  std::vector<SqlStatement> dropped;
  std::vector<InputPiece> pieces;
  int line;
  terminal_->filter.finish(&pieces, &line);
  terminal_->splitter.finish(&dropped);
}

bool KvsqlSession::take_abandoned() {
  if (halt_ != ABANDON) return false;
  halt_ = RUNNING;
  clear_input();
  return true;
}

// --- statements ------------------------------------------------------------

void KvsqlSession::write_out(const std::string &latin1) {
  if (recoder_->passes_bytes()) {
    fwrite(latin1.data(), 1, latin1.size(), out_);
    return;
  }
  std::string text = recoder_->from_latin1(latin1);
  fwrite(text.data(), 1, text.size(), out_);
}

void KvsqlSession::print_tokens(Source &src, const SqlStatement &stmt, const std::string &latin1) {
  std::vector<char> err(DB_ERRMSG_SIZE);
  if (!DBtranslate(latin1.c_str(), err.data())) {
    std::string e = without_line_end(recoder_->from_latin1(err.data()));
    printf("%s\n", e.c_str());
    name_statement(src, stmt);
    failed();
    return;
  }
  for (int i = 0; i < query_size; i++) printf("%02x", static_cast<unsigned char>(query_data[i]));
  putchar('\n');
}

void KvsqlSession::run_statement(Source &src, const SqlStatement &stmt) {
  // The translator stops at a NUL byte and would send a cut statement.
  if (stmt.text.find('\0') != std::string::npos) {
    if (src.kind == Source::PLAIN) {
      fputs("kvsql: the statement holds a NUL byte and is not sent\n", stderr);
    } else {
      report(src, stmt.line, "the statement holds a NUL byte and is not sent");
    }
    name_statement(src, stmt);
    failed();
    return;
  }
  std::string text;
  RecodeError bad;
  if (!recoder_->to_latin1(stmt.text, &text, &bad)) {
    report(src, stmt.line + static_cast<int>(bad.line),
           recode_error_text(bad, recoder_->charset()) + " (at character " +
               std::to_string(bad.index) + " of the statement); the statement is not sent");
    failed();
    return;
  }
  if (opt_.tokens) {
    print_tokens(src, stmt, text);
    return;
  }
  if (interrupts_->take() > 0) return canceled(false);  // Ctrl+C between two statements
  char err[DB_ERRMSG_SIZE];
  if (opt_.fetch_count > 0 && !max_set_ && !out_opt_.expanded && DBtranslate(text.c_str(), err) &&
      query_size > 0 && query_data[0] == CMD_SELECT) {
    run_in_batches(src, stmt, text);
    return;
  }
  double ms = 0;
  DBresult *res = exchange(src, stmt.line, text, &ms);
  if (!res) return;
  // DBexec leaves the request it sent in the query buffer: its first byte
  // is the command.
  int command = DBresultStatus(res) == DB_SYNTAX_ERROR || query_size < 1 ? 0 : query_data[0] & 0xff;
  int status = DBresultStatus(res);
  if (command == CMD_COMMIT || command == CMD_ABORT) in_transaction_ = false;
  switch (status) {
    case DB_TUPLES_OK:
    case DB_NOT_ALL_DATA:
    case DB_COMMAND_OK:
      print_result(res, command);
      if (status == DB_NOT_ALL_DATA) {
        fflush(out_);
        fprintf(stderr, "(not all rows were sent: %d received)\n", DBntuples(res));
      }
      if (command == CMD_MAX)
        max_set_ = DBmatch_token(1, query_data, query_size, TOK_NULL, err) < 0;
      if (command == CMD_BEGIN) in_transaction_ = true;
      if (command == CMD_CREATE_TABLE || command == CMD_DROP_TABLE) {
        tables_known_ = false;
        columns_.clear();
      }
      if (command == CMD_SET_DATABASE || command == CMD_CREATE_DATABASE) {
        const char *name = nullptr;
        char err[DB_GET_ERRSIZE];
        if (DBmatch_tokname(1, query_data, query_size, &name, err) > 0) dbname_ = name;
        tables_known_ = false;
        columns_.clear();
      }
      break;
    case DB_SYNTAX_ERROR:
      server_error(src, stmt.line, DBresultErrorMessage(res));
      name_statement(src, stmt);
      failed();
      break;
    default:
      server_error(src, stmt.line, DBresultErrorMessage(res));
      failed();
      break;
  }
  DBclear(res);
  if (timing_) fprintf(out_, "Time: %.3f ms\n", ms);
  fflush(out_);
}

DBresult *KvsqlSession::exchange(Source &src, int line, const std::string &latin1, double *ms) {
  HeldLog held;
  auto started = std::chrono::steady_clock::now();
  interrupts_->arm(conn_->socket);
  DBresult *res = DBexec(conn_, latin1.c_str());
  bool cut = interrupts_->disarm();
  *ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
  std::string log = held.text;
  held.text.clear();
  if (cut) {
    DBclear(res);
    canceled(true);
    return nullptr;
  }
  if (DBstatus(conn_) == DB_CONNECTION_BROKEN) {
    DBclear(res);
    lost();
    return nullptr;
  }
  fflush(out_);
  fputs(log.c_str(), stderr);
  if (!res) {
    server_error(src, line, DBerrorMessage(conn_));
    failed();
  }
  return res;
}

// A SELECT read through a cursor, fetch_count rows at a time, each batch
// printed and released before the next: memory for one batch, whatever
// the size of the result.  The batches form one table: the header comes
// with the first, an aligned table's row count after the last (each batch
// is aligned by itself, as in psql).
void KvsqlSession::run_in_batches(Source &src, const SqlStatement &stmt,
                                  const std::string &latin1) {
  static const char cursor[] = "KVSQL_BATCHES";
  double ms = 0, one = 0;
  auto step = [&](const std::string &sql) {
    DBresult *res = exchange(src, stmt.line, sql, &one);
    ms += one;
    return res;
  };
  // a refusal of the statement itself, reported as for a plain SELECT
  auto refused = [&](DBresult *res) {
    server_error(src, stmt.line, DBresultErrorMessage(res));
    if (DBresultStatus(res) == DB_SYNTAX_ERROR) name_statement(src, stmt);
    failed();
    DBclear(res);
  };
  // the maximum first: then the server reads the first batch at DECLARE
  DBresult *res = step("MAX " + std::to_string(opt_.fetch_count));
  if (!res) return;
  bool ok = DBresultStatus(res) == DB_COMMAND_OK;
  if (ok) {
    DBclear(res);
    if (!(res = step(std::string("DECLARE ") + cursor + " CURSOR FOR " + latin1))) return;
    ok = DBresultStatus(res) == DB_COMMAND_OK;
  }
  if (ok)
    DBclear(res);
  else
    refused(res);
  OutputOptions saved = out_opt_;
  out_opt_.footer = false;
  long total = 0;
  for (bool first = true; ok; first = false) {
    if (!(res = step(std::string("FETCH ALL IN ") + cursor))) {
      out_opt_ = saved;
      return;  // the connection has gone, and the cursor with it
    }
    int status = DBresultStatus(res);
    if (status != DB_TUPLES_OK && status != DB_NOT_ALL_DATA) {
      refused(res);
      break;
    }
    // without rows a reply names no fields: they come from the SELECT
    char err[DB_ERRMSG_SIZE];
    if (first && DBntuples(res) == 0) DBtranslate(latin1.c_str(), err);
    if (first || DBntuples(res) > 0) print_result(res, CMD_SELECT);
    out_opt_.tuples_only = true;
    total += DBntuples(res);
    DBclear(res);
    // '4': rows are left in the cursor
    if (status == DB_TUPLES_OK) break;
  }
  out_opt_ = saved;
  for (std::string end : {std::string("CLOSE ") + cursor, std::string("MAX")}) {
    if (!(res = step(end))) return;
    DBclear(res);
  }
  if (ok && out_opt_.format == OutputFormat::ALIGNED && !out_opt_.tuples_only)
    write_out(row_count_text(static_cast<size_t>(total)) + "\n");
  if (timing_) fprintf(out_, "Time: %.3f ms\n", ms);
  fflush(out_);
}

void KvsqlSession::print_result(DBresult *res, int command) {
  if (DBresultStatus(res) == DB_COMMAND_OK) {
    if (opt_.quiet) return;
    if (out_opt_.format == OutputFormat::ALIGNED)
      fprintf(out_, res->has_count ? "%s %d\n" : "%s\n", command_tag(command), DBntuples(res));
    else if (res->has_count)
      fprintf(out_, "%d\n", DBntuples(res));
    return;
  }
  OutTable t;
  int nf = DBnfields(res), nt = DBntuples(res);
  if (nf == 0) {
    // The request is still in the query buffer; SHOW TABLE will replace it.
    std::vector<char> request(query_data, query_data + query_size);
    auto columns_of = [this](const std::string &table) {
      return query_column("SHOW TABLE " + table + ";");
    };
    result_names(request.data(), static_cast<int>(request.size()), columns_of, &t.names);
    t.numeric.assign(t.names.size(), false);
    if (t.names.empty() && out_opt_.format == OutputFormat::ALIGNED && !out_opt_.tuples_only)
      write_out("(0 rows)\n\n");
  }
  for (int f = 0; f < nf; f++) {
    const char *name = DBfname(res, f);
    int type = DBftype(res, f);
    t.names.push_back(name ? name : "");
    t.numeric.push_back(type == 2 || type == 3 || type == 4);
  }
  if (nf > 0 && !out_opt_.expanded && out_opt_.format != OutputFormat::ALIGNED) {
    print_rows(res, t.names);
    return;
  }
  t.cells.reserve(static_cast<size_t>(nf) * static_cast<size_t>(nt));
  char buf[DB_FLOAT_TEXT_SIZE];
  std::string hex;
  for (int r = 0; r < nt; r++)
    for (int f = 0; f < nf; f++)
      t.cells.emplace_back(value_text(res, r, f, DBftype(res, f), buf, &hex));
  write_out(format_table(t, out_opt_));
}

// The unaligned and CSV forms need no widths: the rows go out line by line
// through one buffer, each value's text made in place, instead of a table
// of texts that first holds them all.
void KvsqlSession::print_rows(DBresult *res, const std::vector<std::string> &names) {
  constexpr size_t kFlushAt = 1 << 20;
  size_t nf = names.size();
  // the buffer stays with the session: batch after batch reuses its pages
  std::string &out = print_buffer_;
  out.clear();
  out.reserve(kFlushAt + 64 * 1024);
  std::vector<std::string_view> line(nf);
  if (!out_opt_.tuples_only) {
    for (size_t f = 0; f < nf; f++) line[f] = names[f];
    append_separated(&out, line.data(), nf, out_opt_.format);
  }
  std::vector<char> texts(nf * DB_FLOAT_TEXT_SIZE);
  std::vector<std::string> hex(nf);
  std::vector<int> types(nf);
  for (size_t f = 0; f < nf; f++) types[f] = DBftype(res, static_cast<int>(f));
  int nt = DBntuples(res);
  for (int r = 0; r < nt; r++) {
    for (size_t f = 0; f < nf; f++)
      line[f] = value_text(res, r, static_cast<int>(f), types[f], &texts[f * DB_FLOAT_TEXT_SIZE],
                           &hex[f]);
    append_separated(&out, line.data(), nf, out_opt_.format);
    if (out.size() >= kFlushAt) {
      write_out(out);
      out.clear();
    }
  }
  write_out(out);
}

// --- meta-commands ---------------------------------------------------------

void KvsqlSession::set_flag(const Source &src, const InputPiece &piece, const MetaCommand &m,
                            bool *flag, const char *what) {
  if (m.args.empty()) {
    *flag = !*flag;
  } else if (m.args[0] == "on" || m.args[0] == "off") {
    *flag = m.args[0] == "on";
  } else {
    report(src, piece.line, "\\" + m.name + ": expects on or off, not " + m.args[0]);
    failed();
    return;
  }
  if (!opt_.quiet) fprintf(stdout, "%s is %s.\n", what, *flag ? "on" : "off");
}

void KvsqlSession::run_meta(Source &src, const InputPiece &piece) {
  MetaCommand m;
  if (!parse_meta(piece.text, &m)) {
    report(src, piece.line, "unclosed quote in " + excerpt(piece.text));
    failed();
    return;
  }
  const std::string &name = m.name;
  auto fail = [&](const std::string &message) {
    report(src, piece.line, "\\" + name + ": " + message);
    failed();
  };
  auto sql = [&](const std::string &text) { run_statement(src, {text, piece.line}); };
  bool needs_server =
      name == "l" || name == "c" || name == "d" || name == "dt" || name == "di" || name == "import";
  if (needs_server && opt_.tokens) return fail("needs a connection (not with --tokens)");
  fflush(out_);
  if (name == "q" || name == "quit") {
    halt_ = END;
  } else if (name == "?" || name == "h" || name == "help") {
    fputs(HELP, stdout);
  } else if (name == "l") {
    sql("SHOW DATABASES;");
  } else if (name == "c") {
    std::string db = m.args.empty() ? dbname_ : upper(m.args[0]);
    if (!is_name(db)) return fail("not a database name: " + db);
    if (!reconnect(db, false)) failed();
  } else if (name == "d" || name == "dt") {
    if (m.args.empty()) return sql("SHOW TABLES;");
    if (!is_name(m.args[0])) return fail("not a table name: " + m.args[0]);
    sql("SHOW TABLE " + m.args[0] + ";");
  } else if (name == "di") {
    if (m.args.empty()) return sql("SHOW INDICES;");
    if (!is_name(m.args[0])) return fail("not a table name: " + m.args[0]);
    sql("SHOW INDICES ON TABLE " + m.args[0] + ";");
  } else if (name == "i" || name == "include") {
    if (m.args.size() != 1) return fail("expects one file name");
    if (src.depth >= MAX_FILE_DEPTH)
      return fail("files nest deeper than " + std::to_string(MAX_FILE_DEPTH));
    run_file(m.args[0], src.depth + 1);
  } else if (name == "o" || name == "out") {
    FILE *f = stdout;
    if (!m.args.empty()) {
      f = fopen(m.args[0].c_str(), "w");
      if (!f) return fail("cannot write " + m.args[0] + ": " + strerror(errno));
    }
    if (out_ != stdout) fclose(out_);
    out_ = f;
  } else if (name == "x") {
    set_flag(src, piece, m, &out_opt_.expanded, "Expanded display");
  } else if (name == "t") {
    set_flag(src, piece, m, &out_opt_.tuples_only, "Tuples only");
  } else if (name == "timing") {
    set_flag(src, piece, m, &timing_, "Timing");
  } else if (name == "a") {
    out_opt_.format =
        out_opt_.format == OutputFormat::ALIGNED ? OutputFormat::UNALIGNED : OutputFormat::ALIGNED;
    if (!opt_.quiet)
      printf("Output format is %s.\n",
             out_opt_.format == OutputFormat::ALIGNED ? "aligned" : "unaligned");
  } else if (name == "set") {
    bool value = false;
    if (m.args.size() != 2 || m.args[0] != "ON_ERROR_STOP" ||
        (m.args[1] != "on" && m.args[1] != "off" && m.args[1] != "1" && m.args[1] != "0"))
      return fail("knows only ON_ERROR_STOP on|off");
    value = m.args[1] == "on" || m.args[1] == "1";
    on_error_stop_ = value;
  } else if (name == "import") {
    if (m.args.size() < 2) return fail("expects a file name and a table");
    import_file(src, piece.line, m.args[0], m.args[1],
                std::vector<std::string>(m.args.begin() + 2, m.args.end()));
  } else {
    report(src, piece.line, "invalid command \\" + name + ".  Try \\? for help.");
    failed();
  }
  fflush(stdout);
}

void KvsqlSession::import_file(Source &src, int line, const std::string &path,
                               const std::string &table, const std::vector<std::string> &flags) {
  auto fail = [&](const std::string &message) {
    report(src, line, "\\import: " + message);
    failed();
  };
  ImportJob job;
  job.path = path;
  job.table = upper(table);
  if (!is_name(table)) return fail("not a table name: " + table);
  for (const std::string &f : flags) {
    if (f == "csv" || f == "tsv")
      job.format = f == "csv" ? ImportFormat::CSV : ImportFormat::TSV;
    else if (f == "header" || f == "noheader")
      job.header = f == "header" ? ImportHeader::YES : ImportHeader::NO;
    else
      return fail("unknown option " + f + " (csv, tsv, header, noheader)");
  }
  if (in_transaction_)
    return fail("runs in a transaction of its own; end the open one first (COMMIT or ABORT)");
  if (interrupts_->take() > 0) return canceled(false);
  HeldLog held;
  interrupts_->arm(conn_->socket);
  ImportOutcome o = ::run_import(conn_, job, recoder_);
  if (interrupts_->disarm()) return canceled(true);
  if (o.status == ImportOutcome::LOST) return lost();
  fflush(out_);
  if (o.status == ImportOutcome::FAILED) {
    if (o.line > 0)
      fprintf(stderr, "kvsql: %s:%d: %s; nothing was imported\n", path.c_str(), o.line,
              o.error.c_str());
    else
      report(src, line, "\\import: " + o.error + "; nothing was imported");
    failed();
    return;
  }
  if (opt_.quiet) return;
  if (out_opt_.format == OutputFormat::ALIGNED)
    fprintf(out_, "IMPORT %ld\n", o.rows);
  else
    fprintf(out_, "%ld\n", o.rows);
  fflush(out_);
}

// --- completion ------------------------------------------------------------

std::vector<std::string> KvsqlSession::query_column(const std::string &sql) {
  std::vector<std::string> r;
  if (!conn_ || DBstatus(conn_) != DB_CONNECTION_OK) return r;
  HeldLog held;
  DBresult *res = DBexec(conn_, sql.c_str());
  if (DBresultStatus(res) == DB_TUPLES_OK)
    for (int i = 0; i < DBntuples(res); i++) r.push_back(DBgetvalue(res, i, 0));
  DBclear(res);
  return r;
}

const std::vector<std::string> &KvsqlSession::tables() {
  if (!tables_known_) {
    tables_ = query_column("SHOW TABLES;");
    tables_known_ = true;
  }
  return tables_;
}

const std::vector<std::string> &KvsqlSession::columns(const std::string &table) {
  auto it = columns_.find(table);
  if (it != columns_.end()) return it->second;
  std::vector<std::string> cols;
  if (is_name(table)) cols = query_column("SHOW TABLE " + table + ";");
  return columns_[table] = cols;
}
