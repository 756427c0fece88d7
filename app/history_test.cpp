// Tests of recording queries in the histories: repeats against the newest
// or the browsed entry, texts over the limit, a full list dropping its
// oldest entry with the flags moving along.
#include "app/history.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class History : public testing::Test {
 protected:
  void SetUp() override { load_sql_queries(); }
};

TEST_F(History, SelectsAreRecordedOnceAndUnsaved) {
  EXPECT_EQ(history_record_select("KUNDE", "", ""), 1);
  EXPECT_EQ(history_record_select("KUNDE", "", ""), 0);  // the same again
  EXPECT_EQ(history_record_select("KUNDE", "NAME", ""), 1);
  EXPECT_EQ(iSelect, 2);
  EXPECT_EQ(iSelect_Cnt, -1);
  EXPECT_STREQ(Sel_Attrib[1], "NAME");
  EXPECT_EQ(Sel_Save[1], 0);
  // A browsed entry run again unchanged adds nothing and keeps browsing.
  iSelect_Cnt = 0;
  EXPECT_EQ(history_record_select("KUNDE", "", ""), 0);
  EXPECT_EQ(iSelect_Cnt, 0);
  EXPECT_EQ(history_record_select("KUNDE", "NAME", ""), 1);  // differs from the browsed one
  EXPECT_EQ(iSelect, 3);
  EXPECT_EQ(iSelect_Cnt, -1);
  // Typed texts are kept as they are, "\n" pairs included.
  EXPECT_EQ(history_record_select("A\\nB", "", "WHERE X = 1"), 1);
  EXPECT_STREQ(Sel_Table[3], "A\\nB");
}

TEST_F(History, OverlongTextsAreNotRecorded) {
  std::string limit(HIST_TEXT_SIZE - 1, 'x'), over(HIST_TEXT_SIZE, 'x');
  EXPECT_EQ(history_record_sql(over.c_str()), 0);
  EXPECT_EQ(history_record_select("T", over.c_str(), ""), 0);
  EXPECT_EQ(iSQL + iSelect, 0);
  EXPECT_EQ(history_record_sql(limit.c_str()), 1);
  EXPECT_EQ(SQL_Query[0], limit);
}

TEST_F(History, AFullListDropsItsOldestEntry) {
  for (int i = 0; i < HIST_MAX; i++) {
    ASSERT_EQ(history_record_sql(("Q" + std::to_string(i)).c_str()), 1);
    SQL_Save[i] = i % 2;
    ASSERT_EQ(history_record_select(("T" + std::to_string(i)).c_str(), "", ""), 1);
    Sel_Save[i] = i % 3 == 0;
  }
  // A repeat of the newest entry costs nothing, not even the oldest entry.
  EXPECT_EQ(history_record_sql("Q99"), 0);
  EXPECT_STREQ(SQL_Query[0], "Q0");
  EXPECT_EQ(history_record_sql("neu"), 1);
  EXPECT_EQ(iSQL, HIST_MAX);
  EXPECT_STREQ(SQL_Query[0], "Q1");
  EXPECT_EQ(SQL_Save[0], 1);  // Q1's flag came along
  EXPECT_EQ(SQL_Save[1], 0);
  EXPECT_STREQ(SQL_Query[HIST_MAX - 1], "neu");
  EXPECT_EQ(SQL_Save[HIST_MAX - 1], 0);
  EXPECT_EQ(history_record_select("neu", "", ""), 1);
  EXPECT_STREQ(Sel_Table[0], "T1");
  EXPECT_EQ(Sel_Save[2], 1);  // T3's flag
  EXPECT_STREQ(Sel_Table[HIST_MAX - 1], "neu");
}

}  // namespace
