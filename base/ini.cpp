// The ini store: entry lines "[key]..." in "<name>.ini", found, replaced,
// appended and removed on every call, and the small pattern language the
// callers use to edit parts of an entry line.  Part of the base library; the
// whole-file rewrite goes through File_Replace so that a failed write never
// leaves a truncated file behind.
#include "base/ini.h"

#include "base/files.h"
#include "base/msglog.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A usable key: not empty, and nothing that would end the bracket or the
// line early, so that a stored entry can be found again.
bool usable_key(const char *key) { return key && *key && !strchr(key, ']') && !strchr(key, '\n'); }

bool has_key(const char *line, size_t len, const char *key) {
  size_t klen = strlen(key);
  return len >= klen + 2 && line[0] == '[' && memcmp(line + 1, key, klen) == 0 &&
         line[klen + 1] == ']';
}

enum ReadResult { READ_OK, READ_MISSING, READ_FAILED };

// Reads the whole file as lines, each with its line feed (the last one may
// lack it).
ReadResult read_lines(const std::string &path, std::vector<std::string> &lines) {
  FILE *fp = fopen(path.c_str(), "rb");
  if (!fp) return errno == ENOENT ? READ_MISSING : READ_FAILED;
  char *buf = nullptr;
  size_t cap = 0;
  ssize_t n;
  while ((n = getline(&buf, &cap, fp)) > 0) lines.emplace_back(buf, static_cast<size_t>(n));
  free(buf);
  bool failed = ferror(fp) != 0;
  fclose(fp);
  return failed ? READ_FAILED : READ_OK;
}

int find_key(const std::vector<std::string> &lines, const char *key) {
  for (size_t i = 0; i < lines.size(); i++)
    if (has_key(lines[i].data(), lines[i].size(), key)) return static_cast<int>(i);
  return -1;
}

void report_cannot_open(const std::string &path) {
  printf("Cannot open file '%s'!", path.c_str());
  fflush(stdout);
}

// Writes the lines, the one at index skip replaced by entry (or dropped when
// entry is null), and leaves out empty lines.
bool rewrite(const std::string &path, const std::vector<std::string> &lines, size_t skip,
             const std::string *entry) {
  std::string content;
  for (size_t i = 0; i < lines.size(); i++) {
    const std::string &l = i == skip ? (entry ? *entry : std::string()) : lines[i];
    if (l.empty() || l == "\n") continue;
    content += l;
  }
  switch (File_Replace(path.c_str(), content.data(), content.size())) {
    case FILE_REPLACE_OK: return true;
    case FILE_REPLACE_NOTEMP:
      fputs("ERR: Cannot open temporary file!\n", stdout);
      fflush(stdout);
      return false;
    default: report_cannot_open(path); return false;
  }
}

// Appends entry; a last line without line feed gets one first so that the
// two lines are not glued together.  A failed write is undone.
bool append(const std::string &path, const std::vector<std::string> &lines,
            const std::string &entry) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0666);
  if (fd < 0) {
    report_cannot_open(path);
    return false;
  }
  std::string text = entry;
  if (!lines.empty() && lines.back().back() != '\n') text.insert(0, "\n");
  struct stat st;
  bool known = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  bool ok = true;
  const char *p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (!ok && known && ftruncate(fd, st.st_size) != 0) {
    // Nothing more can be done; the failure is reported below.
  }
  if (close(fd) != 0) ok = false;
  if (!ok) report_cannot_open(path);
  return ok;
}

}  // namespace

int Find_ini_Data(const char *path, const char *key, char *line) {
  if (!path || !usable_key(key)) return 0;
  FILE *fp = fopen(path, "rb");
  if (!fp) return 0;
  char *buf = nullptr;
  size_t cap = 0;
  ssize_t n;
  int number = 0, found = 0;
  while ((n = getline(&buf, &cap, fp)) > 0) {
    number++;
    if (has_key(buf, static_cast<size_t>(n), key)) {
      // The callers strip the final line feed before editing a line, so it
      // is always there: also for a last line without one and a cut line.
      size_t keep = static_cast<size_t>(n);
      if (buf[keep - 1] == '\n') keep--;
      if (keep > INI_LINE_SIZE - 2) keep = INI_LINE_SIZE - 2;
      memcpy(line, buf, keep);
      line[keep] = '\n';
      line[keep + 1] = '\0';
      found = number;
      break;
    }
  }
  free(buf);
  fclose(fp);
  return found;
}

char *Get_ini_Data(const char *name, const char *key) {
  static char line[INI_LINE_SIZE];
  if (!name) return nullptr;  // no application name yet: no ini file
  std::string path = std::string(name) + ".ini";
  return Find_ini_Data(path.c_str(), key, line) ? line : nullptr;
}

int Set_ini_Data(const char *name, const char *key, const char *line) {
  if (!usable_key(key) || !line || !has_key(line, strlen(line), key)) {
    Log_Msg("(Set_ini_Data) Invalid entry for key '%s'\n", key ? key : "");
    return 0;
  }
  if (!name) {
    Log_Msg("(Set_ini_Data) No ini file name for key '%s'\n", key);
    return 0;
  }
  std::string entry = line;
  if (entry.back() != '\n') entry += '\n';
  if (entry.find('\n') != entry.size() - 1) {
    Log_Msg("(Set_ini_Data) Invalid entry for key '%s'\n", key);
    return 0;
  }
  std::string path = std::string(name) + ".ini";
  std::vector<std::string> lines;
  if (read_lines(path, lines) == READ_FAILED) {
    report_cannot_open(path);
    return 0;
  }
  int at = find_key(lines, key);
  bool ok =
      at >= 0 ? rewrite(path, lines, static_cast<size_t>(at), &entry) : append(path, lines, entry);
  return ok ? 1 : 0;
}

int Clear_ini_Data(const char *name, const char *key) {
  if (!name || !usable_key(key)) return 0;
  std::string path = std::string(name) + ".ini";
  std::vector<std::string> lines;
  ReadResult r = read_lines(path, lines);
  if (r == READ_FAILED) {
    report_cannot_open(path);
    return 0;
  }
  int at = find_key(lines, key);
  if (at < 0) return 0;
  return rewrite(path, lines, static_cast<size_t>(at), nullptr) ? 1 : 0;
}

int find(const char *text, const char *pattern, int *start, int *end) {
  size_t tlen = strlen(text), plen = strlen(pattern);
  auto in_run = [](char c) { return (c >= '0' && c <= '9') || c == ' ' || c == '-'; };
  for (size_t p = 0; p < tlen; p++) {
    if (tlen - p < plen) return -1;
    size_t i = p, j = 0;
    for (;;) {
      char pc = pattern[j];
      if (pc == '*' || pc == '$') {
        j++;
        // The character the skip runs up to; an escaped one counts as itself.
        char stop = pattern[j] == '\\' ? pattern[j + 1] : pattern[j];
        if (pc == '*') {
          while (text[i] && (stop == '\0' || text[i] != stop)) i++;
        } else {
          while (in_run(text[i]) && text[i] != stop) i++;
        }
        continue;
      }
      if (pc == '\\') pc = pattern[++j];
      if (pc == '\0') {
        *start = static_cast<int>(p);
        *end = static_cast<int>(i);
        return static_cast<int>(p);
      }
      if (text[i] == '\0' || text[i] != pc) break;
      i++;
      j++;
    }
  }
  return -1;
}

int String_Replace(char *text, const char *pattern, const char *replacement) {
  int s, e;
  if (find(text, pattern, &s, &e) < 0) return -1;
  size_t rlen = strlen(replacement);
  memmove(text + s + rlen, text + e, strlen(text + e) + 1);
  memcpy(text + s, replacement, rlen);
  return s;
}
