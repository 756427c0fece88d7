// The interactive loop of kvsql on GNU Readline.
#include "tools/kvsql_interactive.h"

#include <poll.h>
#include <stdio.h>  // readline.h needs FILE before it
#include <unistd.h>

#include <readline/history.h>
#include <readline/readline.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/kvsql_input.h"

namespace {

const char *const KEYWORDS[] = {
    "ABORT",     "ALL",     "AND",    "ASC",    "BEGIN",    "BETWEEN",   "BINARY",   "BY",
    "CHARACTER", "CLOSE",   "COMMIT", "COUNT",  "CREATE",   "CURSOR",    "DATABASE", "DATABASES",
    "DATE",      "DECLARE", "DELETE", "DESC",   "DISTINCT", "DROP",      "END",      "EXISTS",
    "FETCH",     "FLOAT",   "FOR",    "FROM",   "IN",       "INDEX",     "INDICES",  "INSERT",
    "INTEGER",   "INTO",    "LIKE",   "MAX",    "MIN",      "NOT",       "NULL",     "ON",
    "OR",        "ORDER",   "SAVE",   "SECURE", "SELECT",   "SET",       "SHOW",     "SMALLINT",
    "STATIC",    "STOP",    "TABLE",  "TABLES", "TIME",     "TIMESTAMP", "UNIQUE",   "UPDATE",
    "VALUES",    "WHERE"};

const char *const META_NAMES[] = {"\\?",  "\\a",   "\\c",      "\\d",      "\\di",
                                  "\\dt", "\\i",   "\\import", "\\l",      "\\o",
                                  "\\q",  "\\set", "\\t",      "\\timing", "\\x"};

// The state of the running loop.  Readline's callbacks take no context
// argument, so they reach it through `active`, set while run_interactive
// runs (there is one terminal and one loop).
struct Loop {
  KvsqlSession *session;
  std::string line;
  bool have_line = false;
  bool eof = false;
  std::vector<std::string> matches;  // of the completion in progress
  size_t next_match = 0;
};
Loop *active = nullptr;

void on_line(char *text) {
  if (!text) {
    active->eof = true;
  } else {
    active->line = text;
    active->have_line = true;
    free(text);
  }
  // Output follows; readline shows its prompt again once it is done.
  rl_callback_handler_remove();
}

std::string prompt() {
  return active->session->dbname() + (active->session->statement_open() ? "-> " : "=> ");
}

void show_prompt() { rl_callback_handler_install(prompt().c_str(), on_line); }

bool starts_with_nocase(const std::string &word, const char *prefix) {
  size_t n = strlen(prefix);
  if (word.size() < n) return false;
  for (size_t i = 0; i < n; i++)
    if (toupper(static_cast<unsigned char>(word[i])) !=
        toupper(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

char *next_match(const char *, int state) {
  if (state == 0) active->next_match = 0;
  if (active->next_match >= active->matches.size()) return nullptr;
  return strdup(active->matches[active->next_match++].c_str());
}

// The words of the line that are names of tables.
std::vector<std::string> tables_named(const std::string &line,
                                      const std::vector<std::string> &tables) {
  std::vector<std::string> r;
  std::string word;
  for (size_t i = 0; i <= line.size(); i++) {
    char c = i < line.size() ? line[i] : ' ';
    if (isalnum(static_cast<unsigned char>(c)) || c == '_') {
      word += static_cast<char>(toupper(static_cast<unsigned char>(c)));
      continue;
    }
    if (!word.empty() && std::find(tables.begin(), tables.end(), word) != tables.end() &&
        std::find(r.begin(), r.end(), word) == r.end())
      r.push_back(word);
    word.clear();
  }
  return r;
}

// Completion: meta-commands after a backslash at the start of the line,
// file names after \i, \o and \import, tables after \d and as the table of
// \import, else keywords, tables and the columns of the tables on the line.
// Words come in lower case when the typed start is lower case.
char **complete(const char *text, int start, int) {
  rl_attempted_completion_over = 1;
  std::string before(rl_line_buffer, static_cast<size_t>(start));
  size_t lead = before.find_first_not_of(" \t");
  std::vector<std::string> words;
  KvsqlSession *s = active->session;
  if (lead == std::string::npos && text[0] == '\\') {
    words.assign(std::begin(META_NAMES), std::end(META_NAMES));
  } else if (lead != std::string::npos && before[lead] == '\\') {
    MetaCommand m;
    parse_meta(before.substr(lead), &m);
    if (m.name == "i" || m.name == "o" || (m.name == "import" && m.args.empty())) {
      rl_attempted_completion_over = 0;  // readline's file names
      return nullptr;
    }
    if (m.name == "d" || m.name == "dt" || m.name == "di" ||
        (m.name == "import" && m.args.size() == 1))
      words = s->tables();
  } else {
    words.assign(std::begin(KEYWORDS), std::end(KEYWORDS));
    const std::vector<std::string> &tables = s->tables();
    words.insert(words.end(), tables.begin(), tables.end());
    for (const std::string &t : tables_named(rl_line_buffer, tables)) {
      const std::vector<std::string> &cols = s->columns(t);
      words.insert(words.end(), cols.begin(), cols.end());
    }
  }
  bool lower = islower(static_cast<unsigned char>(text[0])) != 0;
  active->matches.clear();
  for (std::string w : words) {
    if (!starts_with_nocase(w, text)) continue;
    if (lower)
      for (char &c : w) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (std::find(active->matches.begin(), active->matches.end(), w) == active->matches.end())
      active->matches.push_back(w);
  }
  return rl_completion_matches(text, next_match);
}

// Ctrl+C at the prompt: the line and the open statement are dropped.
void clear_line() {
  rl_callback_sigcleanup();
  rl_callback_handler_remove();
  fputs("^C\n", rl_outstream);
  active->session->clear_input();
  show_prompt();
}

void remember(const std::string &line, const std::string &file) {
  if (line.find_first_not_of(" \t") == std::string::npos) return;
  HIST_ENTRY *last = history_length > 0 ? history_get(history_base + history_length - 1) : nullptr;
  if (last && line == last->line) return;
  add_history(line.c_str());
  if (!file.empty()) append_history(1, file.c_str());
}

}  // namespace

std::string kvsql_history_file() {
  const char *env = getenv("KVSQL_HISTORY");
  if (env && *env) return env;
  const char *home = getenv("HOME");
  return home && *home ? std::string(home) + "/.kvsql_history" : "";
}

void run_interactive(KvsqlSession *session, Interrupts *interrupts, bool quiet) {
  Loop loop;
  loop.session = session;
  active = &loop;
  rl_readline_name = "kvsql";
  rl_catch_signals = 0;  // SIGINT belongs to Interrupts
  rl_instream = stdin;
  rl_outstream = isatty(1) ? stdout : stderr;  // results may go to a file, the prompt not
  rl_attempted_completion_function = complete;
  rl_basic_word_break_characters = const_cast<char *>(" \t\n\"'`<>=;|&(),.");
  std::string history = kvsql_history_file();
  using_history();
  if (!history.empty() && read_history(history.c_str()) != 0 && errno == ENOENT)
    write_history(history.c_str());  // append_history needs the file
  if (!quiet)
    fprintf(rl_outstream, "kvsql 1.0, database %s.  Type \\? for help, \\q to quit.\n",
            session->dbname().c_str());
  show_prompt();
  while (!session->ended()) {
    struct pollfd fds[2] = {{0, POLLIN, 0}, {interrupts->fd(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents) {
      interrupts->take();
      clear_line();
      continue;
    }
    if (!fds[0].revents) continue;
    rl_callback_read_char();
    if (loop.eof) {
      fputs("\n", rl_outstream);
      break;
    }
    if (!loop.have_line) continue;
    loop.have_line = false;
    remember(loop.line, history);
    session->feed_line(loop.line + "\n");
    session->take_abandoned();
    interrupts->take();
    if (!session->ended()) show_prompt();
  }
  rl_callback_handler_remove();
  if (!history.empty()) history_truncate_file(history.c_str(), 1000);
  active = nullptr;
}
