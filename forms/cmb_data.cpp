// Combo entries and their rules; see cmb_data.h.
#include "forms/cmb_data.h"

#include <cctype>
#include <numeric>
#include <utility>

#include "base/valuestr.h"

const char CMB_BLANK_TEXT[] = " ";
const char CMB_BLANK_CODE[] = "    ";

namespace {

std::string without_trailing_blanks(std::string s) {
  size_t end = s.find_last_not_of(' ');
  s.erase(end == std::string::npos ? 0 : end + 1);
  return s;
}

}  // namespace

int cmb_parse(CMB_DATA *data, const char *text, int no_blank) {
  std::string s = text ? text : "";
  size_t pos = 0;
  for (;;) {
    size_t comma = s.find(',', pos);
    size_t text_end = comma == std::string::npos ? s.size() : comma;
    if (data->count() >= CMB_MAX_KEYS) return 0;
    data->texts.push_back(without_trailing_blanks(s.substr(pos, text_end - pos)));
    pos = text_end;
    std::string code;
    if (pos < s.size()) {  // at the ","
      size_t bar = s.find('|', pos + 1);
      size_t code_end = bar == std::string::npos ? s.size() : bar;
      code = s.substr(pos + 1, code_end - pos - 1);
      pos = code_end;
    }
    data->codes.push_back(code);
    if (pos >= s.size()) break;
    pos++;  // the "|"
  }
  if (!no_blank) {
    if (data->count() >= CMB_MAX_KEYS) return 0;
    data->texts.push_back(CMB_BLANK_TEXT);
    data->codes.push_back(CMB_BLANK_CODE);
  }
  data->line_map.resize(data->count());
  std::iota(data->line_map.begin(), data->line_map.end(), 0);
  return 1;
}

void cmb_sort(CMB_DATA *data) {
  int n = data->count();
  for (int i = 0; i < n; i++) {
    int min = i;
    for (int j = i + 1; j < n; j++)
      if (mystrcmp(data->texts[j].c_str(), data->texts[min].c_str()) < 0) min = j;
    if (min != i) {
      std::swap(data->texts[i], data->texts[min]);
      std::swap(data->codes[i], data->codes[min]);
    }
  }
}

bool cmb_matches(const std::string &typed, const std::string &text) {
  if (typed.size() > text.size()) return false;
  for (size_t i = 0; i < typed.size(); i++)
    if (toupper(static_cast<unsigned char>(typed[i])) !=
        toupper(static_cast<unsigned char>(text[i])))
      return false;
  return true;
}

int cmb_find(const CMB_DATA &data, const std::string &typed) {
  for (int i = 0; i < data.count(); i++)
    if (cmb_matches(typed, data.texts[i])) return i;
  return -1;
}

int cmb_find_code(const CMB_DATA &data, const std::string &code) {
  for (int i = 0; i < data.count(); i++)
    if (my_strcmp(data.codes[i].c_str(), code.c_str())) return i;
  return -1;
}

std::string cmb_shown_text(const std::string &text) {
  return Is_EmptyString(text.c_str()) ? std::string() : text;
}

CMB_STEP cmb_step(const CMB_DATA &data, const std::string &input, int dir) {
  int s = cmb_find(data, input);
  if (dir < 0) {
    if (s >= 1) return {s - 1, false};
    if (s == 0) return {0, true};
    return {0, false};
  }
  if (s < 0) return {0, false};
  return {s < data.count() - 1 ? s + 1 : s, false};
}

int cmb_list_height(int count) {
  int h = 14 * count + 14;
  return h > 250 ? 250 : h;
}

CMB_PLACE cmb_list_place(int form_x, int form_y, int in_x, int in_y, int in_w, int in_h, int count,
                         int screen_h) {
  int h = cmb_list_height(count);
  int below = form_y + in_y + in_h;
  int y = h + below >= screen_h ? form_y + in_y - h - 20 : below;
  return {form_x + in_x, y, in_w + 20, h + 20};
}

int cmb_scroll_top(int line, int top, int visible) {
  return line < top || line >= top + visible ? line : top;
}
