// The SQL scanner: keywords (tried by first letter in a fixed order, with
// word boundaries and the two-word keywords), names, string and number
// literals and the operator characters, plus the error routines of the
// translator.  Works on the thread's current SqlScanner.
#include "dbclient/scanner.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "proto/query.h"

namespace {

thread_local SqlScanner *current = nullptr;

SqlScanner &S() { return *current; }

constexpr int kStringMax = SCAN_TEXT_SIZE;  // reaching this many characters fails
constexpr int kNumberMax = SCAN_TEXT_SIZE;

// Codes below 0 mark the first word of a two-word keyword.
enum { TWO_INSERT = -1, TWO_ORDER = -2, TWO_DROP = -3, TWO_DELETE = -4, TWO_CREATE = -5 };

struct Keyword {
  const char *word;
  int code;
};

const Keyword kw_a[] = {
    {"AND", TOK_AND}, {"ABORT", TOK_ABORT}, {"ALL", TOK_ALL}, {"ASC", TOK_ASC}, {nullptr, 0}};
const Keyword kw_b[] = {
    {"BEGIN", TOK_BEGIN}, {"BETWEEN", TOK_BETWEEN}, {"BINARY", TOK_BINARY}, {nullptr, 0}};
const Keyword kw_c[] = {{"CHARACTER", TOK_CHARACTER},
                        {"CREATE", TWO_CREATE},
                        {"COUNT", TOK_COUNT},
                        {"COMMIT", TOK_COMMIT},
                        {"CURSOR", TOK_CURSOR},
                        {"CLOSE", TOK_CLOSE},
                        {nullptr, 0}};
const Keyword kw_d[] = {
    {"DATE", TOK_DATE},           {"DROP", TWO_DROP},         {"DELETE", TWO_DELETE},
    {"DECLARE", TOK_DECLARE},     {"DESC", TOK_DESC},         {"DATABASE", TOK_DATABASE},
    {"DATABASES", TOK_DATABASES}, {"DISTINCT", TOK_DISTINCT}, {nullptr, 0}};
const Keyword kw_e[] = {{"END", TOK_END}, {"EXISTS", TOK_EXISTS}, {nullptr, 0}};
const Keyword kw_f[] = {
    {"FROM", TOK_FROM}, {"FLOAT", TOK_FLOAT}, {"FOR", TOK_FOR}, {"FETCH", TOK_FETCH}, {nullptr, 0}};
const Keyword kw_i[] = {{"INSERT", TWO_INSERT}, {"INTEGER", TOK_INTEGER}, {"IN", TOK_IN},
                        {"INDEX", TOK_INDEX},   {"INDICES", TOK_INDICES}, {nullptr, 0}};
const Keyword kw_l[] = {{"LIKE", TOK_LIKE}, {nullptr, 0}};
const Keyword kw_m[] = {{"MIN", TOK_MIN}, {"MAX", TOK_MAX}, {nullptr, 0}};
const Keyword kw_n[] = {{"NOT", TOK_NOT}, {"NULL", TOK_NULL}, {nullptr, 0}};
const Keyword kw_o[] = {{"ORDER", TWO_ORDER}, {"OR", TOK_OR}, {"ON", TOK_ON}, {nullptr, 0}};
const Keyword kw_s[] = {{"SMALLINT", TOK_SMALLINT}, {"SELECT", TOK_SELECT}, {"SET", TOK_SET},
                        {"STATIC", TOK_STATIC},     {"SAVE", TOK_SAVE},     {"SHOW", TOK_SHOW},
                        {"SECURE", TOK_SECURE},     {"STOP", TOK_STOP},     {nullptr, 0}};
const Keyword kw_t[] = {{"TIME", TOK_TIME},
                        {"TABLE", TOK_TABLE},
                        {"TIMESTAMP", TOK_TIMESTAMP},
                        {"TABLES", TOK_TABLES},
                        {nullptr, 0}};
const Keyword kw_u[] = {{"UPDATE", TOK_UPDATE}, {nullptr, 0}};
const Keyword kw_v[] = {{"VALUES", TOK_VALUES}, {nullptr, 0}};
const Keyword kw_w[] = {{"WHERE", TOK_WHERE}, {nullptr, 0}};

// Keywords by first letter A to W.
const Keyword *const kw_by_letter[23] = {
    kw_a, kw_b, kw_c, kw_d,    kw_e,    kw_f,    nullptr, nullptr, kw_i, nullptr, nullptr, kw_l,
    kw_m, kw_n, kw_o, nullptr, nullptr, nullptr, kw_s,    kw_t,    kw_u, kw_v,    kw_w};

bool is_letter(char c) { return isalpha((unsigned char)c) != 0; }
bool is_digit(char c) { return isdigit((unsigned char)c) != 0; }
bool is_word_char(char c) { return isalnum((unsigned char)c) != 0 || c == '_'; }

// Upper-cases in place the run of letters at position p; returns its length.
int upcase_run(int p) {
  int n = 0;
  while (is_letter(S().sql[p + n])) {
    S().sql[p + n] = (char)toupper((unsigned char)S().sql[p + n]);
    n++;
  }
  return n;
}

// The keyword at S().ptr ends at a word boundary.
bool keyword_at(const char *word) {
  size_t n = strlen(word);
  return strncmp(S().sql + S().ptr, word, n) == 0 && !is_word_char(S().sql[S().ptr + n]);
}

// After the first word of a two-word keyword: skips white space, upper-cases
// the next run of letters and advances past it if the run is word.  Only the
// run of letters is compared: a digit or '_' right after it ends it.
bool second_word(const char *word) {
  skip_spaces();
  size_t n = (size_t)upcase_run(S().ptr);
  if (n != strlen(word) || strncmp(S().sql + S().ptr, word, n) != 0) return false;
  S().ptr += (int)n;
  return true;
}

// Resolves a two-word keyword; 0 when the second word is wrong (text then
// holds what was read).
int two_word(int first, char *text) {
  switch (first) {
    case TWO_INSERT:
      if (second_word("INTO")) return TOK_INSERT_INTO;
      strcpy(text, "INSERT");
      return 0;
    case TWO_ORDER:
      if (second_word("BY")) return TOK_ORDER_BY;
      strcpy(text, "ORDER");
      return 0;
    case TWO_DELETE:
      if (second_word("FROM")) return TOK_DELETE_FROM;
      strcpy(text, "DELETE");
      return 0;
    case TWO_DROP:
      skip_spaces();
      upcase_run(S().ptr);
      if (second_word("TABLE")) return TOK_DROP_TABLE;
      if (second_word("INDEX")) return TOK_DROP_INDEX;
      if (second_word("DATABASE")) return TOK_DROP_DATABASE;
      strcpy(text, "DROP");
      return 0;
    case TWO_CREATE:
      skip_spaces();
      upcase_run(S().ptr);
      if (second_word("TABLE")) return TOK_CREATE_TABLE;
      if (second_word("INDEX")) return TOK_CREATE_INDEX;
      if (second_word("DATABASE")) return TOK_CREATE_DATABASE;
      if (second_word("UNIQUE")) {
        if (second_word("INDEX")) return TOK_CREATE_UNIQUE_INDEX;
        strcpy(text, "CREATE UNIQUE");
        return 0;
      }
      strcpy(text, "CREATE");
      return 0;
    default: return 0;
  }
}

int scan_name(int *token, char *text) {
  int n = 0;
  while (is_word_char(S().sql[S().ptr])) {
    text[n++] = (char)toupper((unsigned char)S().sql[S().ptr]);
    S().ptr++;
    if (n > SCAN_NAME_MAX) {
      text[n] = '\0';
      std::string first(text);
      snprintf(text, SCAN_TEXT_SIZE, "Syntax error: name too long (%s...)", first.c_str());
      return 0;
    }
  }
  text[n] = '\0';
  *token = TOK_NAME;
  return 1;
}

int string_end_error(char *text, int n) {
  text[n] = '\0';
  std::string read(text);
  snprintf(text, SCAN_TEXT_SIZE, "Syntax error: unexpected end of string (%s)", read.c_str());
  return 0;
}

int scan_string(int *token, char *text) {
  int n = 0;
  S().ptr++;
  for (;;) {
    char c = S().sql[S().ptr];
    if (c == '\0') return string_end_error(text, n);
    if (c == '\'') {
      S().ptr++;
      break;
    }
    if (c == '\\') {
      S().ptr++;
      c = S().sql[S().ptr];
      if (c == '\0') return string_end_error(text, n);
    }
    if (n + 1 >= kStringMax) {
      snprintf(text, SCAN_TEXT_SIZE, "Syntax error: string too long (max = %d)", kStringMax);
      return 0;
    }
    text[n++] = c;
    S().ptr++;
  }
  text[n] = '\0';
  *token = TOK_STRING;
  return 1;
}

// Appends one character of a number text; false once the text would not fit.
bool number_put(char *text, int &n, char c) {
  if (n + 1 >= kNumberMax) {
    snprintf(text, SCAN_TEXT_SIZE, "Syntax error: number too long (max = %d)", kNumberMax);
    return false;
  }
  text[n++] = c;
  return true;
}

bool number_digits(char *text, int &n) {
  while (is_digit(S().sql[S().ptr])) {
    if (!number_put(text, n, S().sql[S().ptr])) return false;
    S().ptr++;
  }
  return true;
}

// An integer text that does not fit the 32-bit integer of the wire.
bool fits_int32(const char *text) {
  errno = 0;
  long long v = strtoll(text, nullptr, 10);
  return errno != ERANGE && v >= INT32_MIN && v <= INT32_MAX;
}

int scan_number(int *token, char *text) {
  int n = 0;
  if (S().sql[S().ptr] == '-') {
    S().ptr++;
    skip_spaces();
    if (!is_digit(S().sql[S().ptr])) return 1;  // '-' delivered, minus and spaces consumed
    text[n++] = '-';
  }
  if (!number_digits(text, n)) return 0;
  bool is_float = false;
  if (S().sql[S().ptr] == '.') {
    if (!number_put(text, n, '.')) return 0;
    S().ptr++;
    if (!number_digits(text, n)) return 0;
    is_float = true;
  }
  if (S().sql[S().ptr] == 'e' || S().sql[S().ptr] == 'E') {
    S().ptr++;
    char sign = 0;
    if (S().sql[S().ptr] == '+' || S().sql[S().ptr] == '-') sign = S().sql[S().ptr++];
    if (!is_digit(S().sql[S().ptr])) {
      text[0] = '\0';
      return 1;  // exponent without digits: nothing recognised
    }
    if (!number_put(text, n, 'E')) return 0;
    if (sign && !number_put(text, n, sign)) return 0;
    if (!number_digits(text, n)) return 0;
    is_float = true;
  }
  text[n] = '\0';
  *token = (is_float || !fits_int32(text)) ? TOK_DOUBLE : TOK_INT;
  return 1;
}

// After a failed scan: when text is one of the scanner's own messages (name,
// string or number too long, unexpected end of string), writes it alone
// into S().estrg and returns true; a partial keyword such as "INSERT" is left
// to the caller.
bool own_error(const char *text) {
  static const char own[] = "Syntax error: ";
  if (strncmp(text, own, sizeof own - 1) != 0) return false;
  if (S().estrg) snprintf(S().estrg, SCAN_ERR_SIZE, "%s", text);
  return true;
}

}  // namespace

SqlScanner::SqlScanner(char *text, char *errdest) : sql(text), estrg(errdest), outer_(current) {
  current = this;
}

SqlScanner::~SqlScanner() { current = outer_; }

SqlScanner *scan_current() { return current; }

void skip_spaces() {
  while (isspace((unsigned char)S().sql[S().ptr])) S().ptr++;
}

int scan_token(int *token, char *text) {
  *token = TOK_NONE;
  text[0] = '\0';
  skip_spaces();
  char c = S().sql[S().ptr];
  if (is_letter(c)) {
    upcase_run(S().ptr);
    char first = S().sql[S().ptr];
    if (first >= 'A' && first <= 'W' && kw_by_letter[first - 'A']) {
      for (const Keyword *k = kw_by_letter[first - 'A']; k->word; k++) {
        if (!keyword_at(k->word)) continue;
        S().ptr += (int)strlen(k->word);
        if (k->code >= 0) {
          *token = k->code;
          return 1;
        }
        int code = two_word(k->code, text);
        if (code == 0) return 0;
        *token = code;
        return 1;
      }
    }
    return scan_name(token, text);
  }
  if (c == '\'') return scan_string(token, text);
  switch (c) {
    case '(':
      *token = TOK_LPAREN;
      S().ptr++;
      return 1;
    case ')':
      *token = TOK_RPAREN;
      S().ptr++;
      return 1;
    case '*':
      *token = TOK_STAR;
      S().ptr++;
      return 1;
    case ',':
      *token = TOK_COMMA;
      S().ptr++;
      return 1;
    case '.':
      *token = TOK_DOT;
      S().ptr++;
      return 1;
    case ';':
      *token = TOK_END;
      S().ptr++;
      return 1;
    case '=':
      *token = TOK_EQ;
      S().ptr++;
      return 1;
    case '<':
      S().ptr++;
      if (S().sql[S().ptr] == '=') {
        *token = TOK_LE;
        S().ptr++;
      } else if (S().sql[S().ptr] == '>') {
        *token = TOK_NE;
        S().ptr++;
      } else {
        *token = TOK_LT;
      }
      return 1;
    case '>':
      S().ptr++;
      if (S().sql[S().ptr] == '=') {
        *token = TOK_GE;
        S().ptr++;
      } else {
        *token = TOK_GT;
      }
      return 1;
    default: break;
  }
  if (c == '-' || is_digit(c)) return scan_number(token, text);
  return 1;
}

int match_token(int *token, int expected, char *text) {
  if (!scan_token(token, text)) {
    if (!own_error(text) && S().estrg)
      snprintf(S().estrg, SCAN_ERR_SIZE, "Unexpected end of file at '%s'", text);
    return 0;
  }
  if (*token == expected) return 1;
  char exp_text[TOK_TEXT_SIZE], found_text[TOK_TEXT_SIZE];
  if (S().estrg)
    snprintf(S().estrg, SCAN_ERR_SIZE, "Syntax error: %s expected (found %s)",
             tok_translate(expected, exp_text), tok_translate(*token, found_text));
  return 0;
}

void _error(const char *expected, int found) {
  char found_text[TOK_TEXT_SIZE];
  if (S().estrg)
    snprintf(S().estrg, SCAN_ERR_SIZE, "Syntax error: %s expected (found '%s')", expected,
             tok_translate(found, found_text));
}

void _scan_token_error(char *dest, const char *expected) {
  if (dest) snprintf(dest, SCAN_ERR_SIZE, "Unexpected end of query (expected %s)", expected);
}

// The splitter runs the scanner over a private copy of the unscanned text,
// so the in-place upper-casing never reaches the statement texts it hands
// out.  A token that runs up to the end of what has arrived may still grow
// ("EN" + "D", "<" + ">", "INSERT " + "INTO") and is scanned again once more
// text is there; string literals are followed by the scanner's rule directly
// so that one left open costs no rescans.
void SqlSplitter::scan(bool at_end, std::vector<SqlStatement> *out) {
  std::string copy = buf_.substr(pos_);
  std::vector<char> text(SCAN_TEXT_SIZE);
  const size_t len = copy.size();
  size_t base = pos_;  // buf_ index of copy[0]
  size_t stmt = 0;     // buf_ index where the open statement starts
  SqlScanner scanner(&copy[0], nullptr);
  int &ptr = scanner.ptr;
  auto emit = [&](size_t end) {
    size_t b = stmt;
    int line = line_;
    while (b < end && isspace((unsigned char)buf_[b])) {
      if (buf_[b] == '\n') line++;
      b++;
    }
    bool empty = b == end || (end - b == 1 && buf_[b] == ';');
    if (!empty) out->push_back({buf_.substr(b, end - b), line});
    for (size_t i = stmt; i < end; i++)
      if (buf_[i] == '\n') line_++;
    stmt = end;
    first_ = true;
  };
  for (;;) {
    if (in_string_) {
      // The rule of scan_string: a backslash takes the next character, a
      // quote ends the literal.
      size_t p = (size_t)ptr;
      bool closed = false;
      while (p < len) {
        if (copy[p] == '\\') {
          if (p + 1 >= len) break;
          p += 2;
        } else if (copy[p++] == '\'') {
          closed = true;
          break;
        }
      }
      ptr = (int)p;
      if (!closed) {
        if (at_end) ptr = (int)len;
        break;
      }
      in_string_ = false;
    }
    while ((size_t)ptr < len && isspace((unsigned char)copy[ptr])) ptr++;
    if ((size_t)ptr >= len) break;
    int start = ptr;
    if (copy[start] == '\'') {
      ptr++;
      in_string_ = true;
      first_ = false;
      continue;
    }
    int tok = TOK_NONE;
    int ok = scan_token(&tok, text.data());
    if ((size_t)ptr >= len && !at_end) {
      ptr = start;  // may grow with the next piece
      break;
    }
    if (ptr == start) ptr++;  // a character no token begins with
    if (ok && tok == TOK_END && !(first_ && copy[start] != ';')) {
      emit(base + (size_t)ptr);
      continue;
    }
    first_ = false;
  }
  size_t resume = base + (size_t)ptr;
  if (at_end) {
    emit(buf_.size());
    in_string_ = false;
    resume = buf_.size();
  }
  buf_.erase(0, stmt);
  pos_ = resume - stmt;
}

void SqlSplitter::feed(const char *data, size_t n, std::vector<SqlStatement> *out) {
  buf_.append(data, n);
  scan(false, out);
}

bool SqlSplitter::open() const {
  for (char c : buf_)
    if (!isspace((unsigned char)c)) return true;
  return false;
}

void SqlSplitter::finish(std::vector<SqlStatement> *out) {
  scan(true, out);
  buf_.clear();
  pos_ = 0;
  line_ = 1;
  first_ = true;
}
