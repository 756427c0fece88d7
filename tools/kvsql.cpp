// kvsql: the command-line client of the KORVAL server, for people and
// scripts.  main reads the command line, sets up the character-set
// conversion and the Ctrl+C watcher, opens the database and hands the
// sources of statements (-c, -f, --import, standard input or the terminal)
// to the session, in the order given.  The modules beside this file do the
// work: kvsql_session (statements, meta-commands, reports),
// kvsql_interactive (Readline), kvsql_output, kvsql_import,
// kvsql_encoding, kvsql_input and kvsql_options.
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/msglog.h"
#include "tools/kvsql_encoding.h"
#include "tools/kvsql_interactive.h"
#include "tools/kvsql_interrupt.h"
#include "tools/kvsql_options.h"
#include "tools/kvsql_session.h"

int main(int argc, char **argv) {
  // Replies, results and output buffers of up to some megabytes come and go
  // with every statement (and every batch of --fetch-count): kept in the
  // heap instead of being mapped and unmapped each time, their pages are
  // used again without new page faults.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  // The same start as the viewer's: character classes (and so the
  // upper-casing of names by the scanner) and the character set from the
  // environment, numbers in "C"; no log file.
  Init_Msglog("", 0);
  KvsqlOptions opt;
  std::string error;
  switch (parse_options(argc, argv, &opt, &error)) {
    case KvsqlParse::HELP: fputs(KVSQL_USAGE, stdout); return KVSQL_OK;
    case KvsqlParse::VERSION: puts("kvsql 1.0"); return KVSQL_OK;
    case KvsqlParse::BAD:
      fprintf(stderr, "kvsql: %s\n%s", error.c_str(), KVSQL_USAGE);
      return KVSQL_FAILED;
    case KvsqlParse::RUN: break;
  }
  Recoder recoder(opt.no_convert, opt.encoding);
  if (!recoder.ok()) {
    fprintf(stderr,
            "kvsql: cannot convert between %s and Latin-1 (--no-convert passes bytes unchanged)\n",
            recoder.charset().c_str());
    return KVSQL_FAILED;
  }
  bool interactive = opt.sources.empty() && !opt.tokens && isatty(0);
  Interrupts interrupts(interactive);
  KvsqlSession session(opt, &recoder, &interrupts, interactive);
  if (!session.start()) return session.exit_status();
  if (interactive) {
    run_interactive(&session, &interrupts, opt.quiet);
  } else if (opt.sources.empty()) {
    session.run_stdin();
  }
  for (const KvsqlSource &src : opt.sources) {
    if (session.ended()) break;
    if (src.kind == KvsqlSource::SQL)
      session.run_sql(src.text);
    else if (src.kind == KvsqlSource::FILE)
      session.run_file(src.text);
    else
      session.run_import(src.text, src.table);
  }
  fflush(stdout);
  return session.exit_status();
}
