// The working part of kvsql: one connection to a database and the input
// that flows into it.  Text from -c, a file, standard input or the
// terminal passes the InputFilter (comments, meta-commands) and the
// SqlSplitter; each statement is converted to Latin-1, run and its result
// printed in the chosen format; meta-commands (\d, \i, \import, ...) are
// run in their place.  Errors are reported with the place they come from
// ("kvsql: FILE:LINE: message" for files), failures decide the exit status,
// and Ctrl+C (Interrupts) cancels the running statement.  Used by kvsql's
// main and its interactive loop.
#ifndef TOOLS_KVSQL_SESSION_H
#define TOOLS_KVSQL_SESSION_H

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dbclient/connection.h"
#include "dbclient/scanner.h"
#include "tools/kvsql_encoding.h"
#include "tools/kvsql_input.h"
#include "tools/kvsql_interrupt.h"
#include "tools/kvsql_options.h"
#include "tools/kvsql_output.h"

class KvsqlSession {
 public:
  // opt, recoder and interrupts must outlive the session.  interactive:
  // the input is a person at a terminal (errors do not end the run, a lost
  // connection or a cancel is followed by a new connection).
  KvsqlSession(const KvsqlOptions &opt, Recoder *recoder, Interrupts *interrupts, bool interactive);
  ~KvsqlSession();
  KvsqlSession(const KvsqlSession &) = delete;
  KvsqlSession &operator=(const KvsqlSession &) = delete;

  // Opens the output file of -o and the database of the options (not with
  // --tokens).  false after printing why.
  bool start();

  // The sources of a run.  Each returns when its input is done or the run
  // was halted.
  void run_sql(const std::string &text);                  // -c
  void run_file(const std::string &path, int depth = 0);  // -f, \i ("-": standard input)
  void run_stdin();                                       // standard input, not a terminal
  void run_import(const std::string &path, const std::string &table);  // --import

  // The terminal: one line of input with its line feed.
  void feed_line(const std::string &line);
  // A statement, literal or comment is open (for the continuation prompt).
  bool statement_open() const;
  // Forgets what was typed of an open statement (Ctrl+C at the prompt).
  void clear_input();
  // After a line: true once when the line's input was abandoned (cancel,
  // lost connection, --on-error-stop); the open statement is then gone.
  bool take_abandoned();

  // The run is over (\q, a lost connection that could not be restored, or
  // a stop at an error in a script).
  bool ended() const { return halt_ == END; }
  int exit_status() const;
  // The open database's name (upper case).
  const std::string &dbname() const { return dbname_; }

  // For completion: the tables of the database and the columns of one,
  // asked from the server once and kept until a table is created or
  // dropped or the database changes.  Empty when they cannot be had.
  const std::vector<std::string> &tables();
  const std::vector<std::string> &columns(const std::string &table);

 private:
  struct Source;
  enum Halt { RUNNING, ABANDON, END };

  void feed(Source &src, const char *data, size_t n);
  void finish(Source &src);
  void run_fd(Source &src, int fd);
  void process(Source &src, std::vector<InputPiece> &pieces);
  void run_statement(Source &src, const SqlStatement &stmt);
  void run_meta(Source &src, const InputPiece &piece);
  void import_file(Source &src, int line, const std::string &path, const std::string &table,
                   const std::vector<std::string> &flags);
  // Runs one statement; its result, or null after the failure has been
  // dealt with (canceled, connection lost, no reply).  *ms: its time.
  struct DBresult *exchange(Source &src, int line, const std::string &latin1, double *ms);
  void run_in_batches(Source &src, const SqlStatement &stmt, const std::string &latin1);
  void print_result(struct DBresult *res, int command);
  void print_rows(struct DBresult *res, const std::vector<std::string> &names);
  void print_tokens(Source &src, const SqlStatement &stmt, const std::string &latin1);

  // Reports: a message about a line of src, and the statement in question.
  std::string where(const Source &src, int line) const;
  void report(const Source &src, int line, const std::string &message);
  void name_statement(const Source &src, const SqlStatement &stmt);
  void server_error(const Source &src, int line, const char *latin1);

  void failed();
  void lost();
  void canceled(bool connection_cut);
  bool reconnect(const std::string &name, bool quietly);
  DBconn *open_db(const std::string &name, std::string *error);
  void close_db();
  std::vector<std::string> query_column(const std::string &sql);
  void write_out(const std::string &text);
  void set_flag(const Source &src, const InputPiece &piece, const MetaCommand &m, bool *flag,
                const char *what);

  const KvsqlOptions &opt_;
  Recoder *recoder_;
  Interrupts *interrupts_;
  bool interactive_;
  OutputOptions out_opt_;
  bool timing_ = false;
  bool on_error_stop_;
  DBconn *conn_ = nullptr;
  std::string dbname_;
  bool in_transaction_ = false;
  bool max_set_ = false;      // a MAX statement limits the rows of a reply
  std::string print_buffer_;  // print_rows' output on its way out
  FILE *out_ = stdout;
  Halt halt_ = RUNNING;
  int status_ = 0;  // KVSQL_NO_SERVER or KVSQL_STOPPED once decided
  bool any_failed_ = false;
  std::unique_ptr<Source> terminal_;
  bool tables_known_ = false;
  std::vector<std::string> tables_;
  std::map<std::string, std::vector<std::string>> columns_;
};

#endif
