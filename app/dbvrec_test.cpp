// Tests of the viewer's row record: sized to its text, the title callback,
// the row-text copy.
#include "app/dbvrec.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "app/startup.h"
#include "base/containers.h"
#include "base/mem.h"

namespace {

TEST(DbvRecord, SizedToItsText) {
  _DBV *rec = static_cast<_DBV *>(_DBV_New());
  EXPECT_EQ(rec->tablenr, -1);
  EXPECT_EQ(rec->size, static_cast<int32_t>(offsetof(_DBV, text) + 1));
  _DBV_Set_Text(rec, "\"a\",\"b\"", 7);
  EXPECT_EQ(rec->size, static_cast<int32_t>(offsetof(_DBV, text) + 8));
  ARRAY a;
  ARRAY_Init(&a);
  ARRAY_Add(&a, rec);  // copies only what is in use
  char *text = _DBV_Data(nullptr, ARRAY_GetPtr(&a, 0), 0);
  EXPECT_STREQ(text, "\"a\",\"b\"");
  myfree(text);
  std::string huge(DBV_TEXT_SIZE + 100, 'z');
  _DBV_Set_Text(rec, huge.data(), huge.size());
  EXPECT_EQ(std::string(rec->text).size(), static_cast<size_t>(DBV_ROW_MAX));
  EXPECT_EQ(rec->size, static_cast<int32_t>(sizeof(_DBV)));
  ARRAY_Free(&a);
  myfree(rec);
}

TEST(DbvRecord, TitleOfTheResultTable) {
  DBV_TABBOX_Title = "A,B";
  EXPECT_STREQ(_DBV_Attribs(0), "A,B");
  EXPECT_STREQ(_DBV_Attribs(1), "A,B");
  Init_GlobVars();
  EXPECT_STREQ(_DBV_Attribs(0), "Ergebnis Select-Abfrage");
}

}  // namespace
