// The column entry; see colrec.h.
#include "forms/colrec.h"

#include <cstring>
#include <string>

#include "base/mem.h"
#include "widgets/dbtabbox_rows.h"

void *_COL_New(void) {
  _COL *record = static_cast<_COL *>(mymalloc(sizeof(_COL)));
  record->state = 0;
  _COL_Init(record);
  return record;
}

void _COL_Init(_COL *record) {
  record->size = sizeof(_COL);
  record->tablenr = -1;
  record->title[0] = 0;
  record->column = 0;
}

void _COL_Set(_COL *record, const char *title, int column) {
  const char *t = title ? title : "";
  size_t n = strnlen(t, COL_TITLE_SIZE - 1);
  memcpy(record->title, t, n);
  record->title[n] = 0;
  record->column = column;
}

const char *_COL_Attribs(int) { return "Spalte"; }

char *_COL_Data(BESREC *, void *record, int) {
  const char *title = static_cast<_COL *>(record)->title;
  std::string text;
  tb_quote_value(title, strlen(title), &text);
  return mystrdup(text.c_str());
}
