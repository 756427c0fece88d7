// The help file, the display text and the HTML check; see helpfile.h.
#include "forms/helpfile.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/files.h"
#include "base/msglog.h"
#include "forms/forms.h"

namespace {

// Tags that take no attributes.
const char *const kPlainTags[] = {
    "menu",  "dir", "li",   "br",    "nobr",    "wbr", "em",     "strong", "code",  "samp",
    "kbd",   "var", "cite", "dfn",   "acronym", "b",   "u",      "i",      "tt",    "big",
    "small", "sup", "sub",  "blink", "center",  "tr",  "intern", "thead",  "tbody", "tfoot"};
// Tags that may carry attributes after a blank.
const char *const kAttributeTags[] = {
    "h1",     "h2",         "h3",      "h4",  "h5",       "h6",       "p",  "ol",  "ul",
    "dl",     "blockquote", "pre",     "q",   "font",     "basefont", "hr", "div", "multicol",
    "spacer", "table",      "caption", "col", "colgroup", "td",       "th", "img"};

// One piece of the file as the scanner sees it: [start, next), a head line
// with its key or a text line.
struct Piece {
  size_t start, next;
  bool head;
  std::string key;
};

Piece piece_at(const std::string &file, size_t pos) {
  Piece p{pos, pos, false, ""};
  size_t limit = std::min(file.size(), pos + HELP_LINE_MAX);
  size_t lf = file.find('\n', pos);
  p.next = lf != std::string::npos && lf < limit ? lf + 1 : limit;
  if (p.next - pos >= 2 && file[pos] == '[' && file[pos + 1] != ']') {
    p.head = true;
    size_t close = file.find(']', pos + 1);
    size_t key_end = close != std::string::npos && close < p.next ? close : p.next;
    p.key = file.substr(pos + 1, key_end - pos - 1);
  }
  return p;
}

// The whole file; empty when it is missing or unreadable (a missing help
// file reads as one without sections).
std::string read_help_file(const std::string &path) {
  std::string text;
  read_whole_file(path, &text);
  return text;
}

bool equal_nocase(const std::string &text, size_t pos, const char *word) {
  size_t n = strlen(word);
  if (pos + n > text.size()) return false;
  for (size_t i = 0; i < n; i++)
    if (tolower(static_cast<unsigned char>(text[pos + i])) != word[i]) return false;
  return true;
}

size_t find_nocase(const std::string &text, const char *word, size_t from) {
  for (size_t i = from; i < text.size(); i++)
    if (equal_nocase(text, i, word)) return i;
  return std::string::npos;
}

bool allowed_tag(const std::string &tag) {
  for (const char *name : kPlainTags)
    if (tag == name) return true;
  for (const char *name : kAttributeTags) {
    size_t n = strlen(name);
    if (tag.compare(0, n, name) == 0 && (tag.size() == n || tag[n] == ' ')) return true;
  }
  return false;
}

}  // namespace

HELP_SECTION help_find_section(const std::string &file, const char *key) {
  HELP_SECTION s;
  int line = 0;
  for (size_t pos = 0; pos < file.size();) {
    Piece p = piece_at(file, pos);
    line++;
    if (s.found) {
      if (p.head) {
        s.end = p.start;
        return s;
      }
    } else if (p.head && p.key == key) {
      s.found = true;
      s.line = line;
      s.head = p.start;
      s.body = p.next;
      s.head_lf = file[p.next - 1] == '\n';
    }
    pos = p.next;
  }
  s.end = file.size();
  return s;
}

std::string help_put_section(const std::string &file, const char *key, const std::string &text) {
  std::string body = text;
  if (body.empty() || body.back() != '\n') body += '\n';
  HELP_SECTION s = help_find_section(file, key);
  if (!s.found) return file + "\n[" + key + "]\n" + body;
  // Only the lines the reader returned are replaced.
  std::string out = file.substr(0, s.body);
  if (!s.head_lf) out += '\n';
  return out + body + file.substr(s.end);
}

std::string help_display_text(const std::string &raw) {
  static const struct {
    const char *entity;
    char c;
  } entities[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}};
  std::string out;
  for (size_t i = 0; i < raw.size(); i++) {
    if (raw[i] == '<') {
      size_t close = raw.find('>', i);
      if (close == std::string::npos) break;
      i = close;
      continue;
    }
    bool replaced = false;
    for (const auto &e : entities)
      if (raw.compare(i, strlen(e.entity), e.entity) == 0) {
        out += e.c;
        i += strlen(e.entity) - 1;
        replaced = true;
        break;
      }
    if (!replaced) out += raw[i];
  }
  return out;
}

std::string help_without_intern(const std::string &raw, const char *key) {
  std::string text = raw;
  size_t from = 0;
  for (;;) {
    size_t open = find_nocase(text, "<intern>", from);
    if (open == std::string::npos) break;
    size_t close = find_nocase(text, "</intern>", open + 1);
    if (close == std::string::npos) {
      Log_Msg("Warnung (Hilfetext '%s'): <intern> ohne </intern>!\n", key);
      break;
    }
    text.replace(open, close + strlen("</intern>") - open, "\n");
    from = open + 1;
  }
  return text;
}

bool read_whole_file(const std::string &path, std::string *text) {
  text->clear();
  FILE *fp = fopen(path.c_str(), "rb");
  if (!fp) return false;
  char buffer[8192];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, fp)) > 0) text->append(buffer, n);
  bool ok = !ferror(fp);
  fclose(fp);
  if (!ok) text->clear();
  return ok;
}

std::string help_file_name(void) {
  const char *name = myfl_get_applname();
  return std::string(name ? name : "") + ".hlp";
}

int find_help(const char *key) {
  HELP_SECTION s = help_find_section(read_help_file(help_file_name()), key);
  return s.found ? s.line : 0;
}

std::string get_edit_help(const char *key) {
  std::string file = read_help_file(help_file_name());
  HELP_SECTION s = help_find_section(file, key);
  return s.found ? file.substr(s.body, s.end - s.body) : std::string();
}

std::string get_help(const char *key) { return help_display_text(get_edit_help(key)); }

int set_help(const char *key, const char *text) {
  std::string path = help_file_name();
  std::string content = help_put_section(read_help_file(path), key, text ? text : "");
  switch (File_Replace(path.c_str(), content.data(), content.size())) {
    case FILE_REPLACE_OK: return 1;
    case FILE_REPLACE_NOTEMP: fputs("ERROR: Cannot open temporary file!\n", stdout); break;
    default: printf("Cannot open file '%s'!", path.c_str()); break;
  }
  fflush(stdout);
  return 0;
}

int check_help(const char *text, std::string *message) {
  const char *p = text ? text : "";
  for (; *p; p++) {
    if (*p != '<') continue;
    const char *close = strchr(p + 1, '>');
    if (!close) {
      *message =
          "Schlie\xdf"
          "ende Befehlsklammer '>' fehlt.";
      return 0;
    }
    std::string tag(p + 1, close);
    if (!tag.empty() && tag[0] == '/') tag.erase(0, 1);
    for (char &c : tag) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (!allowed_tag(tag)) {
      *message = "HTML-Befehl '" + tag + "' nicht zul\xe4ssig.";
      return 0;
    }
    p = close;
  }
  return 1;
}
