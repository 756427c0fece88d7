// kvsql at a terminal: the prompt naming the database ("KVSYS=> ", and
// "KVSYS-> " while a statement is open), line editing, a history file in
// the home directory and tab completion of keywords, meta-commands, tables
// and columns, all through GNU Readline.  Ctrl+C at the prompt drops the
// line and the open statement; while a statement runs the session cancels
// it.  Readline is driven through its callback interface, so that the
// loop waits for the terminal and for Ctrl+C at once.
#ifndef TOOLS_KVSQL_INTERACTIVE_H
#define TOOLS_KVSQL_INTERACTIVE_H

#include <string>

#include "tools/kvsql_interrupt.h"
#include "tools/kvsql_session.h"

// The history file: $KVSQL_HISTORY, else ~/.kvsql_history; empty when
// neither can be had.
std::string kvsql_history_file();

// Reads lines from the terminal into session until \q, quit, exit, Ctrl+D
// or the session's end.  quiet: no greeting.
void run_interactive(KvsqlSession *session, Interrupts *interrupts, bool quiet);

#endif
