// The column entry _COL: one column of a tabbox as a row record of the
// database tabbox binding (widgets/dbtabbox.h), with the column's title
// and number.  The viewer's table is bound to this record type, and the
// sort/columns dialog lists the available and selected columns with it.
#ifndef FORMS_COLREC_H
#define FORMS_COLREC_H

#include <cstdint>

struct BESREC;

enum { COL_TITLE_SIZE = 1000 };  // a column title keeps at most 999 characters

// The record: size, state, table number (-1: no table), the column's title
// (cut to fit) and its number.
struct _COL {
  int32_t size;
  int32_t state;
  int32_t tablenr;
  char title[COL_TITLE_SIZE];
  int32_t column;
};

// A new record (mymalloc, released with myfree), initialised.
void *_COL_New(void);
// Empty title, column 0, table number -1, its size; the state stays.
void _COL_Init(_COL *record);
// Sets title (cut to COL_TITLE_SIZE - 1 characters) and column number.
void _COL_Set(_COL *record, const char *title, int column);
// The tabbox title "Spalte" (the same for database names).
const char *_COL_Attribs(int dbnames);
// The row text: the title in double quotes, quotes and backslashes inside
// it protected by a backslash (a new text, mymalloc).
char *_COL_Data(BESREC *session, void *record, int dbnames);

#endif
