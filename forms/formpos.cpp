// Position rules of the form framework; see formpos.h.
#include "forms/formpos.h"

#include <cstdio>
#include <cstring>

std::string form_pos_key(const char *name) {
  std::string key;
  for (const char *p = name ? name : ""; *p && *p != '\n' && *p != '\r'; p++) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c >= 32 && c != 127) key += *p;
  }
  return key + "_XY";
}

std::string form_pos_line(const std::string &key, int x, int y) {
  char numbers[40];
  snprintf(numbers, sizeof numbers, " %d %d\n", x, y);
  return "[" + key + "]" + numbers;
}

bool form_pos_parse(const char *line, const std::string &key, int *x, int *y) {
  if (!line) return false;
  std::string head = "[" + key + "]";
  const char *rest;
  // A name may itself hold a "]": skip the whole bracketed key when the
  // line starts with it.
  if (strncmp(line, head.c_str(), head.size()) == 0) {
    rest = line + head.size();
  } else {
    rest = strchr(line, ']');
    if (!rest) return false;
    rest++;
  }
  return sscanf(rest, "%d %d", x, y) == 2;
}

void form_pos_clamp(int *x, int *y, int form_w, int form_h, int screen_w, int screen_h) {
  if (*x > screen_w - form_w) *x = screen_w - form_w;
  if (*x < 0) *x = 0;
  if (*y > screen_h - form_h) *y = screen_h - form_h;
  if (*y < 0) *y = 0;
}

int form_deco_offset(int landed, int asked) { return landed - asked > 0 ? landed - asked : 0; }

int form_pos_to_store(int pos, int offset) { return pos < offset ? pos : pos - offset; }
