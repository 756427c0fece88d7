// The detail window's statements; see ddbv_sql.h.
#include "app/ddbv_sql.h"

#include <cctype>
#include <cstring>

#include "dbclient/scanner.h"
#include "proto/query.h"

namespace {

bool space(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }

// The scanner's tokens of text with the names' texts, up to the first end
// token; ok is false after a failed scan.
struct TOKENS {
  std::vector<int> codes;
  std::vector<std::string> texts;
  bool ok = true;
};

TOKENS tokens_of(const char *text) {
  TOKENS t;
  // As the translator does, a ';' ends the text.
  std::vector<char> copy(text, text + strlen(text));
  copy.push_back(';');
  copy.push_back(0);
  std::vector<char> err(SCAN_ERR_SIZE);
  std::vector<char> word(SCAN_TEXT_SIZE);
  SqlScanner scanner(copy.data(), err.data());
  for (;;) {
    int code = 0;
    if (!scan_token(&code, word.data()) || code == TOK_NONE) {
      t.ok = false;
      return t;
    }
    t.codes.push_back(code);
    t.texts.push_back(word.data());
    if (code == TOK_END) return t;
  }
}

std::string trimmed(const std::string &s) {
  size_t a = 0, b = s.size();
  while (a < b && space(s[a])) a++;
  while (b > a && space(s[b - 1])) b--;
  return s.substr(a, b - a);
}

// The table of tokens from index i: a name, an optional alias, then one of
// the tokens in ends.
std::string table_at(const TOKENS &t, size_t i, std::initializer_list<int> ends) {
  if (!t.ok || i >= t.codes.size() || t.codes[i] != TOK_NAME) return std::string();
  size_t next = i + 1;
  if (next < t.codes.size() && t.codes[next] == TOK_NAME) next++;
  if (next >= t.codes.size()) return std::string();
  for (int e : ends)
    if (t.codes[next] == e) return t.texts[i];
  return std::string();
}

}  // namespace

int Is_String_Wert(const char *text) {
  const char *p = text ? text : "";
  while (space(*p)) p++;
  if (*p == '+' || *p == '-') p++;
  bool separator = false;
  for (; *p && !space(*p); p++) {
    if (*p == '.' || *p == ',') {
      if (separator) return 0;
      separator = true;
    } else if (!isdigit(static_cast<unsigned char>(*p))) {
      return 0;
    }
  }
  while (space(*p)) p++;
  return *p == 0 ? 1 : 0;
}

std::string field_table(const char *field) {
  return table_at(tokens_of(field ? field : ""), 0, {TOK_END});
}

std::string select_table(const char *statement) {
  TOKENS t = tokens_of(statement ? statement : "");
  if (!t.ok || t.codes.empty() || t.codes[0] != TOK_SELECT) return std::string();
  int depth = 0;
  for (size_t i = 1; i < t.codes.size(); i++) {
    if (t.codes[i] == TOK_LPAREN) depth++;
    if (t.codes[i] == TOK_RPAREN) depth--;
    if (t.codes[i] == TOK_FROM && depth == 0)
      return table_at(t, i + 1, {TOK_END, TOK_WHERE, TOK_ORDER_BY});
  }
  return std::string();
}

int is_column_name(const std::string &text) {
  TOKENS t = tokens_of(text.c_str());
  return t.ok && t.codes.size() == 2 && t.codes[0] == TOK_NAME && t.texts[0] == text ? 1 : 0;
}

bool quoted_type(int type, const std::string &value) {
  switch (type) {
    case 2:  // SMALLINT
    case 3:  // INTEGER
    case 4:  // FLOAT
      return false;
    case -1: return !Is_String_Wert(value.c_str());
    default:  // CHARACTER, BINARY, TIME, DATE, TIMESTAMP
      return true;
  }
}

std::string wert_text(const std::string &value, bool quoted) {
  return quoted ? "'" + value + "'" : " " + value;
}

std::string sql_literal(const std::string &value) {
  std::string out = "'";
  for (char c : value) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out + "'";
}

int wert_literal(const std::string &wert, std::string *literal) {
  std::string t = trimmed(wert);
  if (t.size() >= 2 && t.front() == '\'' && t.back() == '\'') {
    *literal = sql_literal(t.substr(1, t.size() - 2));
    return 1;
  }
  if (t.find_first_of("0123456789") == std::string::npos || !Is_String_Wert(t.c_str())) return 0;
  *literal = t;
  return 1;
}

std::string update_statement(const std::string &table, const std::string &column,
                             const std::string &literal, const std::string &key,
                             const std::string &key_value) {
  return "update " + table + " set " + column + " = " + literal + " where " + key + " = " +
         sql_literal(key_value) + ";";
}

std::string delete_statement(const std::string &table, const std::string &key,
                             const std::string &key_value) {
  return "delete from " + table + " where " + key + " = " + sql_literal(key_value) + ";";
}

int key_column(const DDBV_ROW &row) {
  std::string key = row.table + "_ID";
  for (size_t i = 0; i < row.names.size(); i++)
    if (row.names[i] == key) return static_cast<int>(i);
  return -1;
}
