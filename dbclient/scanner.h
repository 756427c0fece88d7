// The SQL scanner: cuts the statement text into tokens (keywords, names,
// string and number literals, operators) for the statement grammar, which
// emits them as the token stream of query.h.  It also owns the error
// routines that write the syntax-error texts a failed translation shows.
// The state is per thread and set up by scan_sql for each statement.
#ifndef DBCLIENT_SCANNER_H
#define DBCLIENT_SCANNER_H

// Size of the token text buffers the scanner writes into (a string literal
// holds at most 9999 characters, a number text likewise).
constexpr int SCAN_TEXT_SIZE = 10000;
// Size of the error destination estrg (the result's error-text field).
constexpr int SCAN_ERR_SIZE = 10000;
// Longest name in characters.
constexpr int SCAN_NAME_MAX = 31;

// The statement being scanned (a writable copy: runs of letters are
// upper-cased in place), the current index in it, and where error texts go
// (SCAN_ERR_SIZE bytes).
extern thread_local char *sql;
extern thread_local int ptr;
extern thread_local char *estrg;

// Delivers the next token into *token and its text into text
// (SCAN_TEXT_SIZE bytes): the upper-cased name for 'a', the characters of a
// string 'f', the number text for 'd'/'e', else empty.  TOK_NONE ('-') when
// nothing was recognised.  Returns 1 when a token (possibly '-') was
// delivered, 0 on a failed scan: text then holds the partial keyword
// ("INSERT", "CREATE UNIQUE", ...) or the scanner's error text.
int scan_token(int *token, char *text);

// Advances ptr over white space.
void skip_spaces();

// Scans the next token; 1 if it is expected.  Else 0 with estrg set to
// "Syntax error: %s expected (found %s)" or, for a failed scan,
// "Unexpected end of file at '%s'" with the token text.
int match_token(int *token, int expected, char *text);

// Writes "Syntax error: %s expected (found '%s')" into estrg.
void _error(const char *expected, int found);

// Writes "Unexpected end of query (expected %s)" into dest (SCAN_ERR_SIZE
// bytes).
void _scan_token_error(char *dest, const char *expected);

#endif
