// The viewer's row record; see dbvrec.h.
#include "app/dbvrec.h"

#include <cstring>

#include "base/mem.h"

std::string DBV_TABBOX_Title;

namespace {

int32_t size_for(size_t length) { return static_cast<int32_t>(offsetof(_DBV, text) + length + 1); }

}  // namespace

void *_DBV_New(void) {
  _DBV *record = static_cast<_DBV *>(mymalloc(sizeof(_DBV)));
  _DBV_Init(record);
  return record;
}

void _DBV_Init(_DBV *record) {
  record->text[0] = 0;
  record->size = size_for(0);
  record->tablenr = -1;
}

void _DBV_Set_Text(_DBV *record, const char *text, size_t length) {
  if (length > DBV_ROW_MAX) length = DBV_ROW_MAX;
  memcpy(record->text, text, length);
  record->text[length] = 0;
  record->size = size_for(length);
}

const char *_DBV_Attribs(int) {
  return DBV_TABBOX_Title.empty() ? "Ergebnis Select-Abfrage" : DBV_TABBOX_Title.c_str();
}

char *_DBV_Data(BESREC *, void *record, int) { return mystrdup(static_cast<_DBV *>(record)->text); }
