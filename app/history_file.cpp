// The history file and the browsing of the histories (history.h).  Not
// built yet: the lists start empty, nothing is written at the end, and the
// "Add", "Del", "@8" and "@2" buttons do nothing.  The start-up and the
// shutdown already call the file operations at their places.
#include "app/history.h"

int load_sql_queries(void) {
  iSelect = iSQL = 0;
  iSelect_Cnt = iSQL_Cnt = -1;
  return 1;
}

int save_sql_queries(void) { return 1; }

void DBV_Select_Add(FL_OBJECT *, long) {}
void DBV_Select_Del(FL_OBJECT *, long) {}
void DBV_Select_Prev(FL_OBJECT *, long) {}
void DBV_Select_Next(FL_OBJECT *, long) {}
void DBV_SQL_Add(FL_OBJECT *, long) {}
void DBV_SQL_Del(FL_OBJECT *, long) {}
void DBV_SQL_Prev(FL_OBJECT *, long) {}
void DBV_SQL_Next(FL_OBJECT *, long) {}
