// The viewer's row record _DBV: one result row as its row text (the
// fields quoted and separated by ",", query.h), bound to the result table
// and the detail table through the database tabbox binding
// (widgets/dbtabbox.h), with the record callbacks the binding calls and the
// title of the result table.
#ifndef APP_DBVREC_H
#define APP_DBVREC_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/query.h"

struct BESREC;

enum { DBV_TEXT_SIZE = DBV_ROW_MAX + 1 };

// The record: size (bytes in use: the header and the text with its
// terminator, never more than sizeof(_DBV)), state (the binding's), table
// number (-1: no table), row text.  Records are sized to their text; only
// _DBV_New makes a whole one.
struct _DBV {
  int32_t size;
  int32_t state;
  int32_t tablenr;
  char text[DBV_TEXT_SIZE];
};

// Title line of the result table: the upper-cased field names of the last
// shown result joined by ","; empty at start (Init_GlobVars).
extern std::string DBV_TABBOX_Title;

// A new whole record (mymalloc, released with myfree), initialised.
void *_DBV_New(void);
// Empty text, its size, table number -1; the state is left as it is.
void _DBV_Init(_DBV *record);
// Sets the row text (at most DBV_ROW_MAX characters of it) and the size.
void _DBV_Set_Text(_DBV *record, const char *text, size_t length);
// DBV_TABBOX_Title, or "Ergebnis Select-Abfrage" while that is empty.  The
// flag (database names) makes no difference.
const char *_DBV_Attribs(int dbnames);
// A new copy (mymalloc) of the record's row text; the caller releases it.
char *_DBV_Data(BESREC *session, void *record, int dbnames);

#endif
