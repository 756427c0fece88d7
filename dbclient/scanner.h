// The SQL scanner: cuts the statement text into tokens (keywords, names,
// string and number literals, operators) for the statement grammar, which
// emits them as the token stream of query.h.  It also owns the error
// routines that write the syntax-error texts a failed translation shows.
// The state of a scan lives in an SqlScanner, which scan_sql sets up for each
// statement; the scanner calls below work on the thread's current one.
#ifndef DBCLIENT_SCANNER_H
#define DBCLIENT_SCANNER_H

#include <cstddef>
#include <string>
#include <vector>

// Size of the token text buffers the scanner writes into (a string literal
// holds at most 9999 characters, a number text likewise).
constexpr int SCAN_TEXT_SIZE = 10000;
// Size of the error destination estrg (the result's error-text field).
constexpr int SCAN_ERR_SIZE = 10000;
// Longest name in characters.
constexpr int SCAN_NAME_MAX = 31;

// One scan: the statement being scanned (a writable copy: runs of letters
// are upper-cased in place), the current index in it, and where error texts
// go (SCAN_ERR_SIZE bytes, or null for none).  While it exists it is the
// current scanner of the thread that made it, which the calls below use; the
// one current before it is current again once it is gone.  The text and the
// error destination belong to the caller and must outlive the scanner.
class SqlScanner {
 public:
  SqlScanner(char *text, char *errdest);
  ~SqlScanner();
  SqlScanner(const SqlScanner &) = delete;
  SqlScanner &operator=(const SqlScanner &) = delete;

  char *sql;
  int ptr = 0;
  char *estrg;

 private:
  SqlScanner *outer_;
};

// The current scanner of the calling thread, or null.
SqlScanner *scan_current();

// Delivers the next token into *token and its text into text
// (SCAN_TEXT_SIZE bytes): the upper-cased name for 'a', the characters of a
// string 'f', the number text for 'd'/'e', else empty.  TOK_NONE ('-') when
// nothing was recognised.  Returns 1 when a token (possibly '-') was
// delivered, 0 on a failed scan: text then holds the partial keyword
// ("INSERT", "CREATE UNIQUE", ...) or the scanner's error text.
int scan_token(int *token, char *text);

// Advances the current position over white space.
void skip_spaces();

// Scans the next token; 1 if it is expected.  Else 0 with the error text
// (the scanner's estrg) set to
// "Syntax error: %s expected (found %s)" or, for a failed scan, the
// scanner's own message or "Unexpected end of file at '%s'" with the partial
// keyword.
int match_token(int *token, int expected, char *text);

// Writes "Syntax error: %s expected (found '%s')" into the error text.
void _error(const char *expected, int found);

// Writes "Unexpected end of query (expected %s)" into dest (SCAN_ERR_SIZE
// bytes).
void _scan_token_error(char *dest, const char *expected);

// One statement cut out of a stream of SQL text by SqlSplitter: its text up
// to and including its end token (or to the end of the input for the last
// one) and the line, counted from 1, on which the text starts.
struct SqlStatement {
  std::string text;
  int line;
};

// Cuts a stream of SQL text into statements exactly where scan_sql ends
// them: after the first end token (';' or END) that is not inside a string
// literal, with the scanner's own reading of literals and their backslash
// escapes.  As in the grammar, an END that opens a statement is the COMMIT
// command, whose statement ends at the next end token; a ';' that opens one
// is an empty statement.  Text arrives in pieces of any size (feed); a statement is handed
// out once its end token has arrived, so a word cut between two pieces is
// never taken for a keyword too early.  White space between statements and
// empty statements (a ';' alone) are passed over.
class SqlSplitter {
 public:
  // Appends n bytes; complete statements are appended to out in order.  A
  // NUL byte counts as an ordinary character (the caller decides what to do
  // with a statement that holds one; the translator would stop at it).
  void feed(const char *data, size_t n, std::vector<SqlStatement> *out);
  // The end of the input: what is left, if not blank, is the last statement
  // (without an end token; an unclosed string literal stays in it, for the
  // translator to report).  The splitter is then empty and may be reused.
  void finish(std::vector<SqlStatement> *out);
  // True while the text of an unfinished statement is held: anything but
  // white space has arrived since the last statement was handed out
  // (an open string literal included).
  bool open() const;

 private:
  void scan(bool at_end, std::vector<SqlStatement> *out);
  std::string buf_;         // text of the open statement and what follows
  size_t pos_ = 0;          // where scanning resumes in buf_ (a token start or inside a literal)
  bool in_string_ = false;  // pos_ lies inside a string literal
  bool first_ = true;       // no token of the open statement read yet
  int line_ = 1;            // line on which buf_ starts
};

#endif
