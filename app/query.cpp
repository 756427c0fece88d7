// The query form's text work; see query.h.
#include "app/query.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/mem.h"
#include "dbclient/scanner.h"
#include "widgets/dbtabbox_rows.h"

namespace {

bool blank(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }

size_t trimmed_length(const char *text, size_t length) {
  while (length > 0 && text[length - 1] == ' ') length--;
  return length;
}

size_t escaped_length(const char *text, size_t length) {
  size_t n = length;
  for (size_t i = 0; i < length; i++)
    if (text[i] == '"' || text[i] == '\\') n++;
  return n;
}

// The longest prefix of text whose escaped form has at most cap characters.
size_t prefix_within(const char *text, size_t length, size_t cap) {
  size_t used = 0, i = 0;
  for (; i < length; i++) {
    size_t step = text[i] == '"' || text[i] == '\\' ? 2 : 1;
    if (used + step > cap) break;
    used += step;
  }
  return i;
}

}  // namespace

char *make_sql_string(const char *text) {
  std::string out;
  for (const char *p = text ? text : ""; *p; p++) {
    if (p[0] == '\\' && p[1] == 'n') {
      p++;
      continue;
    }
    out += *p;
  }
  return mystrdup(out.c_str());
}

int IsEmptyStrg(const char *text) {
  for (const char *p = text ? text : ""; *p; p++)
    if (!blank(*p)) return 0;
  return 1;
}

int is_select_show(char *text) {
  char *p = text;
  while (*p && blank(*p)) p++;
  char *word = p;
  for (; *p && !blank(*p); p++) *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
  return strncmp(word, "SELECT", 6) == 0 || strncmp(word, "SHOW", 4) == 0 ? 1 : 0;
}

std::string compose_select(const char *table, const char *attributes, const char *clause) {
  std::string s = "SELECT ";
  if (IsEmptyStrg(attributes))
    s += "* ";
  else
    s += std::string(attributes) + " ";
  s += "FROM ";
  s += table ? table : "";
  if (!IsEmptyStrg(clause)) s += std::string(" ") + clause;
  return s + ";";
}

std::string statement_extra(const std::string &text) {
  std::vector<SqlStatement> statements;
  SqlSplitter splitter;
  splitter.feed(text.data(), text.size(), &statements);
  splitter.finish(&statements);
  std::string extra;
  for (size_t i = 1; i < statements.size(); i++) {
    if (!extra.empty()) extra += ' ';
    extra += statements[i].text;
  }
  return extra;
}

std::string result_title(const std::vector<std::string> &names) {
  std::string title;
  for (size_t i = 0; i < names.size(); i++) {
    if (i) title += ',';
    for (char c : names[i]) {
      if (c == ',') c = ';';
      if (c == '|') c = '!';
      title += static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
  }
  return title;
}

void dbv_row_text(const std::vector<ROW_VALUE> &values, std::string *out, std::vector<int> *cut) {
  if (cut) cut->clear();
  out->clear();
  for (size_t i = 0; i < values.size(); i++) {
    if (i) out->push_back(',');
    const char *v = values[i].text ? values[i].text : "";
    tb_quote_value(v, trimmed_length(v, values[i].text ? values[i].length : 0), out);
  }
  if (out->size() <= DBV_ROW_MAX) return;

  // Too long: every value is cut to the largest escaped length that lets
  // the text fit.
  size_t n = values.size();
  std::vector<size_t> len(n), esc(n);
  for (size_t i = 0; i < n; i++) {
    len[i] =
        trimmed_length(values[i].text ? values[i].text : "", values[i].text ? values[i].length : 0);
    esc[i] = escaped_length(values[i].text, len[i]);
  }
  size_t room = DBV_ROW_MAX - (3 * n - 1);
  size_t lo = 0, hi = *std::max_element(esc.begin(), esc.end());
  while (lo < hi) {
    size_t mid = (lo + hi + 1) / 2, sum = 0;
    for (size_t e : esc) sum += std::min(e, mid);
    if (sum <= room)
      lo = mid;
    else
      hi = mid - 1;
  }
  out->clear();
  for (size_t i = 0; i < n; i++) {
    if (i) out->push_back(',');
    size_t keep = esc[i] > lo ? prefix_within(values[i].text, len[i], lo) : len[i];
    if (keep < len[i] && cut) cut->push_back(static_cast<int>(i));
    tb_quote_value(values[i].text, keep, out);
  }
}

std::string alert_reason(const char *message) {
  std::string r = message ? message : "";
  while (!r.empty() && (r.back() == '\n' || r.back() == ' ')) r.pop_back();
  std::replace(r.begin(), r.end(), '\n', ' ');
  if (r.size() > 200) r = r.substr(0, 197) + "...";
  return r;
}
