// The query histories and their recording; see history.h.
#include "app/history.h"

#include <cstring>

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
