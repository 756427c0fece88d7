// The tabbox settings line; see tbsort_line.h.
#include "forms/tbsort_line.h"

#include <cstdlib>
#include <cstring>

namespace {

// The blank-separated tokens of text up to its line feed.
std::vector<std::string> tokens_of(const char *text) {
  std::vector<std::string> out;
  std::string cur;
  for (const char *p = text; *p && *p != '\n'; p++) {
    if (*p == ' ') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += *p;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

// The value of a run of decimal digits (with an optional leading '-' when
// signed_ok) filling the whole of text; false for anything else.
bool whole_number(const std::string &text, bool signed_ok, int *value) {
  size_t i = signed_ok && !text.empty() && text[0] == '-' ? 1 : 0;
  if (i == text.size() || text.size() - i > 9) return false;
  for (size_t k = i; k < text.size(); k++)
    if (text[k] < '0' || text[k] > '9') return false;
  *value = atoi(text.c_str());
  return true;
}

}  // namespace

std::string tbsort_key(const char *name, int tablenr) {
  std::string key = name ? name : "";
  if (tablenr >= 0) key += "_" + std::to_string(tablenr);
  return key;
}

std::string tbsort_line(const std::string &key, const TBSORT_SETTINGS &s) {
  std::string line = "[" + key + "] ";
  if (s.vertical) line += "v ";
  line += s.dbnames ? "1 " : "0 ";
  line += std::to_string(s.count) + " ";
  for (size_t p = 0; p < s.order.size() && static_cast<int>(p) < s.count - 1; p++) {
    line += std::to_string(s.order[p]) + " ";
    if (s.order[p] == -1) break;
  }
  for (size_t k = 0; k < s.sort_cols.size(); k++)
    line += std::to_string(s.sort_cols[k]) + (s.sort_dirs[k] ? "u " : "d ");
  if (s.maxwidth != -1) line += std::to_string(s.maxwidth) + "m ";
  for (const auto &w : s.widths)
    line += std::to_string(w.first) + "|" + std::to_string(w.second) + " ";
  return line + "\n";
}

int tbsort_parse(const char *line, int count, TBSORT_SETTINGS *out) {
  *out = TBSORT_SETTINGS();
  const char *close = line ? strchr(line, ']') : nullptr;
  if (!close || count < 2) return TBSORT_LINE_BAD;
  std::vector<std::string> t = tokens_of(close + 1);
  size_t i = 0;
  if (i < t.size() && t[i] == "v") {
    out->vertical = true;
    i++;
  }
  if (i >= t.size() || (t[i] != "0" && t[i] != "1")) return TBSORT_LINE_BAD;
  out->dbnames = t[i++] == "1";
  int stored = 0;
  if (i >= t.size() || !whole_number(t[i++], false, &stored) || stored < 2) return TBSORT_LINE_BAD;
  if (stored > count) return TBSORT_LINE_TOO_MANY;
  out->count = count;

  // The stored order: at most stored - 1 positions, up to the first -1.
  std::vector<bool> listed(count, false);
  bool ended = false;
  for (int p = 1; p < stored && !ended; p++) {
    int c = 0;
    if (i >= t.size() || !whole_number(t[i++], true, &c)) return TBSORT_LINE_BAD;
    if (c == -1) {
      ended = true;
    } else {
      if (c < 1 || c >= stored || listed[c]) return TBSORT_LINE_BAD;
      listed[c] = true;
      out->order.push_back(c);
    }
  }
  // Columns that came since the line was written are shown after the
  // stored ones.
  for (int c = stored; c < count; c++) out->order.push_back(c);
  out->order.resize(count - 1, -1);

  for (; i < t.size(); i++) {
    const std::string &e = t[i];
    size_t digits = e.find_first_not_of("0123456789");
    int c = 0;
    if (digits == 0 || digits == std::string::npos || !whole_number(e.substr(0, digits), false, &c))
      return TBSORT_LINE_BAD;
    std::string rest = e.substr(digits);
    if (rest[0] == '|') {
      int w = 0;
      if (c < 1 || c >= count || !whole_number(rest.substr(1), false, &w) || w < 1)
        return TBSORT_LINE_BAD_WIDTH;
      out->widths.emplace_back(c, w);
    } else if (rest == "m") {
      if (c < 1) return TBSORT_LINE_BAD_WIDTH;
      out->maxwidth = c;
    } else if (rest == "u" || rest == "d") {
      if (c < 1 || c >= count) return TBSORT_LINE_BAD_SORT;
      out->sort_cols.push_back(c);
      out->sort_dirs.push_back(rest == "u" ? 1 : 0);
    } else {
      return TBSORT_LINE_BAD;
    }
  }
  return TBSORT_LINE_OK;
}

const char *tbsort_message(int outcome) {
  switch (outcome) {
    case TBSORT_LINE_BAD_WIDTH: return "ini-file: wrong max-width definition (%s)!\n";
    case TBSORT_LINE_BAD_SORT: return "ini-file: wrong sort definition (%s)!\n";
    default: return "ini-file: wrong tabbox definition (%s)!\n";
  }
}
