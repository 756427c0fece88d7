// The column entry: a fresh record, and its row text, which the binding's
// parser must give back as the title whatever characters it holds.
#include "forms/colrec.h"

#include <gtest/gtest.h>

#include <string>

#include "base/mem.h"
#include "widgets/dbtabbox_rows.h"

namespace {

TEST(ColRecord, RowTextRoundTripsTheTitle) {
  _COL *col = static_cast<_COL *>(_COL_New());
  EXPECT_EQ(col->size, static_cast<int32_t>(sizeof(_COL)));
  EXPECT_EQ(col->tablenr, -1);
  EXPECT_STREQ(col->title, "");
  EXPECT_STREQ(_COL_Attribs(0), "Spalte");
  for (const char *title : {"NAME", "a,b", "Zoll \"12\"", "ends in \\", "M\xfcller"}) {
    _COL_Set(col, title, 3);
    char *text = _COL_Data(nullptr, col, 0);
    TBROW row;
    tb_parse_row(text, &row);
    ASSERT_EQ(row.count(), 1) << text;
    EXPECT_EQ(row.field(0), title);
    myfree(text);
  }
  EXPECT_EQ(col->column, 3);
  _COL_Set(col, std::string(COL_TITLE_SIZE + 100, 'x').c_str(), 1);
  EXPECT_EQ(std::string(col->title).size(), static_cast<size_t>(COL_TITLE_SIZE - 1));
  myfree(col);
}

}  // namespace
