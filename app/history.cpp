// The query histories: recording, the history file's text and browsing;
// see history.h.
#include "app/history.h"

#include <algorithm>
#include <cstring>
#include <vector>

char Sel_Table[HIST_MAX][HIST_TEXT_SIZE];
char Sel_Attrib[HIST_MAX][HIST_TEXT_SIZE];
char Sel_Where[HIST_MAX][HIST_TEXT_SIZE];
int32_t Sel_Save[HIST_MAX];
int32_t iSelect = 0;
int32_t iSelect_Cnt = -1;
char SQL_Query[HIST_MAX][HIST_TEXT_SIZE];
int8_t SQL_Save[HIST_MAX];
int32_t iSQL = 0;
int32_t iSQL_Cnt = -1;

const char HISTORY_FILE[] = "halvid.qry";
const char HISTORY_BACKUP_FILE[] = "halvid.qry.bak";

namespace {

bool fits(const char *text) { return strlen(text ? text : "") < HIST_TEXT_SIZE; }

void copy_text(char *slot, const char *text) {
  strncpy(slot, text ? text : "", HIST_TEXT_SIZE - 1);
  slot[HIST_TEXT_SIZE - 1] = 0;
}

bool same(const char *slot, const char *text) { return strcmp(slot, text ? text : "") == 0; }

// The entry new ones are compared with: the browsed one, else the newest;
// -1 for an empty list.
int reference(int count, int browsed) { return browsed >= 0 ? browsed : count - 1; }

const char kSeparator[] = "---";

// One line of the file: the text with its line feeds as blanks.
void put_line(const char *text, std::string *out) {
  size_t from = out->size();
  *out += text;
  std::replace(out->begin() + from, out->end(), '\n', ' ');
  *out += '\n';
}

// The lines of text (the last one may lack its line feed), each cut to
// HIST_TEXT_SIZE - 1 characters.
std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, std::min<size_t>(end - at, HIST_TEXT_SIZE - 1)));
    at = end + 1;
  }
  return lines;
}

}  // namespace

int history_record_select(const char *table, const char *attributes, const char *clause) {
  if (!fits(table) || !fits(attributes) || !fits(clause)) return 0;
  int ref = reference(iSelect, iSelect_Cnt);
  if (ref >= 0 && same(Sel_Table[ref], table) && same(Sel_Attrib[ref], attributes) &&
      same(Sel_Where[ref], clause))
    return 0;
  if (iSelect == HIST_MAX) {
    memmove(Sel_Table[0], Sel_Table[1], sizeof Sel_Table[0] * (HIST_MAX - 1));
    memmove(Sel_Attrib[0], Sel_Attrib[1], sizeof Sel_Attrib[0] * (HIST_MAX - 1));
    memmove(Sel_Where[0], Sel_Where[1], sizeof Sel_Where[0] * (HIST_MAX - 1));
    memmove(&Sel_Save[0], &Sel_Save[1], sizeof Sel_Save[0] * (HIST_MAX - 1));
    iSelect = HIST_MAX - 1;
  }
  copy_text(Sel_Table[iSelect], table);
  copy_text(Sel_Attrib[iSelect], attributes);
  copy_text(Sel_Where[iSelect], clause);
  Sel_Save[iSelect] = 0;
  iSelect++;
  iSelect_Cnt = -1;
  return 1;
}

int history_record_sql(const char *command) {
  if (!fits(command)) return 0;
  int ref = reference(iSQL, iSQL_Cnt);
  if (ref >= 0 && same(SQL_Query[ref], command)) return 0;
  if (iSQL == HIST_MAX) {
    memmove(SQL_Query[0], SQL_Query[1], sizeof SQL_Query[0] * (HIST_MAX - 1));
    memmove(&SQL_Save[0], &SQL_Save[1], sizeof SQL_Save[0] * (HIST_MAX - 1));
    iSQL = HIST_MAX - 1;
  }
  copy_text(SQL_Query[iSQL], command);
  SQL_Save[iSQL] = 0;
  iSQL++;
  iSQL_Cnt = -1;
  return 1;
}

std::string history_text(void) {
  std::string out;
  for (int i = 0; i < iSelect; i++) {
    if (!Sel_Save[i]) continue;
    put_line(Sel_Table[i], &out);
    put_line(Sel_Attrib[i], &out);
    put_line(Sel_Where[i], &out);
  }
  bool separated = false;
  for (int i = 0; i < iSQL; i++) {
    if (!SQL_Save[i]) continue;
    if (!separated) put_line(kSeparator, &out);
    separated = true;
    put_line(SQL_Query[i], &out);
  }
  return out;
}

int history_parse(const std::string &text) { return history_parse_lines(lines_of(text)); }

int history_parse_lines(const std::vector<std::string> &lines) {
  iSelect = iSQL = 0;
  iSelect_Cnt = iSQL_Cnt = -1;
  std::vector<size_t> selects;  // first line of each SELECT entry
  std::vector<size_t> commands;
  bool in_sql = false;
  for (size_t i = 0; i < lines.size(); i++) {
    if (lines[i] == kSeparator) {
      in_sql = true;
    } else if (in_sql) {
      commands.push_back(i);
    } else {
      if (i + 2 >= lines.size()) return 0;  // the file ends inside the entry
      selects.push_back(i);
      i += 2;
    }
  }
  // A file edited by hand may hold more than a list takes: the newest stay.
  size_t first = selects.size() > HIST_MAX ? selects.size() - HIST_MAX : 0;
  for (size_t k = first; k < selects.size(); k++, iSelect++) {
    copy_text(Sel_Table[iSelect], lines[selects[k]].c_str());
    copy_text(Sel_Attrib[iSelect], lines[selects[k] + 1].c_str());
    copy_text(Sel_Where[iSelect], lines[selects[k] + 2].c_str());
    Sel_Save[iSelect] = 1;
  }
  first = commands.size() > HIST_MAX ? commands.size() - HIST_MAX : 0;
  for (size_t k = first; k < commands.size(); k++, iSQL++) {
    copy_text(SQL_Query[iSQL], lines[commands[k]].c_str());
    SQL_Save[iSQL] = 1;
  }
  return 1;
}

char *in_line(FILE *fp, char *buffer) {
  if (!fgets(buffer, HIST_TEXT_SIZE, fp)) return nullptr;
  size_t n = strlen(buffer);
  if (n > 0 && buffer[n - 1] == '\n') {
    buffer[n - 1] = 0;
    return buffer;
  }
  // The line goes on beyond the buffer: the rest is passed over.
  int c;
  while ((c = fgetc(fp)) != EOF && c != '\n') {
  }
  return buffer;
}

int history_prev(int count, int32_t *browse) {
  if (count <= 0) return -1;
  *browse = *browse < 0 ? count - 1 : std::max(*browse - 1, 0);
  return *browse;
}

int history_next(int count, int32_t *browse) {
  if (*browse >= 0 && *browse < count) ++*browse;
  if (*browse < 0 || *browse >= count) {
    *browse = -1;
    return -1;
  }
  return *browse;
}

int history_marked(int count, int32_t browse) {
  if (count <= 0) return -1;
  return browse >= 0 && browse < count ? browse : count - 1;
}
