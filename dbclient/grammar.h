// The SQL statement grammar: checks one SQL statement and emits it, while
// reading, as a request (command code and tokens) into the query buffer of
// query.h.  Expressions go out in postfix order, WHERE and ORDER BY sections
// bracketed by their own token.  Used by DBexec and by kvsql --tokens.
#ifndef DBCLIENT_GRAMMAR_H
#define DBCLIENT_GRAMMAR_H

// Translates the first statement of text (NUL-terminated, writable: words
// are upper-cased in place; DBexec passes a private copy ending in ';') into
// the query buffer, which the caller has emptied with DBquery_init.
// Returns 1 on success, 0 with the error text in errdest (SCAN_ERR_SIZE =
// 10000 bytes); the buffer then holds a partial request that must not be
// sent.  Whatever follows the statement's end token is ignored; on success
// *end (when end is not null) is the index just after that token.  Brackets
// and subselects nest at most 256 deep (deeper fails with a syntax error).
int scan_sql(char *text, char *errdest, int *end = nullptr);

#endif
