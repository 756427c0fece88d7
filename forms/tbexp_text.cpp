// The X-free rules of the table export; see tbexp_text.h.
#include "forms/tbexp_text.h"

#include "base/files.h"

int is_number_string(const char *text) {
  int dots = 0;
  for (const char *p = text ? text : ""; *p; p++) {
    if (*p == '.') {
      if (++dots > 1) return 0;
    } else if (!digit(static_cast<unsigned char>(*p)) && *p != '-') {
      return 0;
    }
  }
  return 1;
}

int repl_char_string(char *text, char from, char to) {
  for (char *p = text; p && *p; p++)
    if (*p == from) *p = to;
  return 1;
}

int tbexp_valid_name(const char *name) {
  if (!name || !*name) return 0;
  for (const char *p = name; *p; p++)
    if (!ndigit(static_cast<unsigned char>(*p))) return 0;
  return 1;
}

std::vector<TBEXP_SLOT> tbexp_slots(const std::string &title) {
  std::vector<TBEXP_SLOT> slots;
  size_t pos = 0;
  for (;;) {
    size_t start = pos;
    while (start < title.size() && title[start] == ' ') start++;
    size_t bar = title.find('|', start);
    if (bar == std::string::npos) {
      slots.push_back({start, title.size() > start ? title.size() - start : 0});
      return slots;
    }
    // The blank before the "|" belongs to the separator " | ".
    slots.push_back({start, bar > start ? bar - 1 - start : 0});
    pos = bar + 1;
  }
}

std::string tbexp_text(const std::string &title, const std::vector<std::string> &lines,
                       const std::vector<int> &columns) {
  std::vector<TBEXP_SLOT> slots = tbexp_slots(title);
  std::string out;
  std::string field;
  auto add_row = [&](const std::string &row) {
    size_t before = out.size();
    for (int c : columns) {
      if (c < 1 || static_cast<size_t>(c) > slots.size()) continue;
      const TBEXP_SLOT &s = slots[c - 1];
      field.assign(s.start < row.size() ? row.substr(s.start, s.width) : std::string());
      size_t keep = field.find_last_not_of(' ');
      field.resize(keep == std::string::npos ? 0 : keep + 1);
      for (char &ch : field)
        if (ch == '\t') ch = '_';
      if (is_number_string(field.c_str()))
        for (char &ch : field)
          if (ch == '.') ch = ',';
      out += field;
      out += '\t';
    }
    if (out.size() > before) out.back() = '\n';
  };
  add_row(title);
  for (const std::string &line : lines) add_row(line);
  return out;
}

std::vector<int> tbexp_display_columns(int count, const int *order, const int *visible) {
  std::vector<int> cols;
  for (int p = 1; p < count; p++) {
    int c = order[p];
    if (c < 1 || c >= count || !visible[c]) continue;
    cols.push_back(c);
  }
  return cols;
}

std::vector<int> tbexp_all_columns(int count) {
  std::vector<int> cols;
  for (int c = 1; c < count; c++) cols.push_back(c);
  return cols;
}
