// Tests of the tabbox settings line: writing and reading back, lines
// written for fewer or more columns than the tabbox has now, and every
// entry that makes a line unusable.
#include "forms/tbsort_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TBSORT_SETTINGS parsed(const std::string &line, int count, int expect = TBSORT_LINE_OK) {
  TBSORT_SETTINGS s;
  EXPECT_EQ(tbsort_parse(line.c_str(), count, &s), expect) << line;
  return s;
}

TEST(TbsortLine, WrittenAndReadBack) {
  EXPECT_EQ(tbsort_key("DBV", -1), "DBV");
  EXPECT_EQ(tbsort_key("KUNDE", 3), "KUNDE_3");

  TBSORT_SETTINGS s;
  s.count = 4;
  s.order = {1, 2, 3};
  s.sort_cols = {2};
  s.sort_dirs = {0};
  s.maxwidth = 30;
  s.widths = {{1, 12}};
  const std::string line = "[DBV] 0 4 1 2 3 2d 30m 1|12 \n";
  EXPECT_EQ(tbsort_line("DBV", s), line);
  TBSORT_SETTINGS r = parsed(line, 4);
  EXPECT_FALSE(r.vertical);
  EXPECT_FALSE(r.dbnames);
  EXPECT_EQ(r.count, 4);
  EXPECT_EQ(r.order, s.order);
  EXPECT_EQ(r.sort_cols, s.sort_cols);
  EXPECT_EQ(r.sort_dirs, s.sort_dirs);
  EXPECT_EQ(r.maxwidth, 30);
  EXPECT_EQ(r.widths, s.widths);
  EXPECT_EQ(tbsort_line("DBV", r), line);

  // Vertical view, database names, hidden columns, a column sorted twice.
  s = TBSORT_SETTINGS();
  s.vertical = s.dbnames = true;
  s.count = 5;
  s.order = {3, 1, -1, -1};
  s.sort_cols = {3, 1, 3};
  s.sort_dirs = {1, 0, 0};
  const std::string hidden = "[DDBV] v 1 5 3 1 -1 3u 1d 3d \n";
  EXPECT_EQ(tbsort_line("DDBV", s), hidden);
  r = parsed(hidden, 5);
  EXPECT_TRUE(r.vertical && r.dbnames);
  EXPECT_EQ(r.order, s.order);
  EXPECT_EQ(r.sort_cols, s.sort_cols);
  EXPECT_EQ(r.maxwidth, -1);
  EXPECT_EQ(tbsort_line("DDBV", r), hidden);

  // No column selected: the order is only -1.
  s.order = {-1, -1, -1, -1};
  s.sort_cols.clear();
  s.sort_dirs.clear();
  s.vertical = s.dbnames = false;
  EXPECT_EQ(tbsort_line("X", s), "[X] 0 5 -1 \n");
  EXPECT_EQ(parsed("[X] 0 5 -1 \n", 5).order, (std::vector<int>{-1, -1, -1, -1}));
}

TEST(TbsortLine, ColumnsAddedOrRemovedSince) {
  // Written for three data columns, read for five: the stored order, then
  // columns 4 and 5, also where the stored order ended with hidden columns.
  EXPECT_EQ(parsed("[T] 0 4 3 1 2 2u \n", 6).order, (std::vector<int>{3, 1, 2, 4, 5}));
  EXPECT_EQ(parsed("[T] 0 4 2 -1 \n", 6).order, (std::vector<int>{2, 4, 5, -1, -1}));
  // Written for five, read for three.
  parsed("[T] 0 6 1 2 3 4 5 \n", 4, TBSORT_LINE_TOO_MANY);
}

TEST(TbsortLine, EveryBadEntrySpoilsTheLine) {
  struct Case {
    const char *line;
    int outcome;
  } const cases[] = {
      {"[T] 0 5 1 2 3 4 7|15 \n", TBSORT_LINE_BAD_WIDTH},  // no column 7
      {"[T] 0 5 1 2 3 4 2| \n", TBSORT_LINE_BAD_WIDTH},    // no width
      {"[T] 0 5 1 2 3 4 2|0 \n", TBSORT_LINE_BAD_WIDTH},
      {"[T] 0 5 1 2 3 4 0m \n", TBSORT_LINE_BAD_WIDTH},
      {"[T] 0 5 1 2 3 4 5u \n", TBSORT_LINE_BAD_SORT},
      {"[T] 0 5 1 2 3 4 0d \n", TBSORT_LINE_BAD_SORT},
      {"[T] 0 5 1 1 2 3 \n", TBSORT_LINE_BAD},  // a column twice
      {"[T] 0 4 1 2 4 \n", TBSORT_LINE_BAD},    // not a column of the stored count
      {"[T] 0 5 1 2 3 \n", TBSORT_LINE_BAD},    // the order ends early
      {"[T] 0 5 1 2 3 4 2x \n", TBSORT_LINE_BAD},
      {"[T] 0 5 1 2 3 4 |3 \n", TBSORT_LINE_BAD},
      {"[T] 2 5 1 2 3 4 \n", TBSORT_LINE_BAD},  // database names neither 0 nor 1
      {"[T] 0 \n", TBSORT_LINE_BAD},
      {"[T] 0 1 \n", TBSORT_LINE_BAD},
      {"T 0 5 1 2 3 4 \n", TBSORT_LINE_BAD},
  };
  for (const Case &c : cases) parsed(c.line, 5, c.outcome);
  parsed("[T] 0 5 1 2 3 4 4|3 2d 9m \n", 5);  // the same entries in range
  EXPECT_STREQ(tbsort_message(TBSORT_LINE_BAD_WIDTH),
               "ini-file: wrong max-width definition (%s)!\n");
  EXPECT_STREQ(tbsort_message(TBSORT_LINE_BAD_SORT), "ini-file: wrong sort definition (%s)!\n");
  EXPECT_STREQ(tbsort_message(TBSORT_LINE_TOO_MANY), "ini-file: wrong tabbox definition (%s)!\n");
  EXPECT_STREQ(tbsort_message(TBSORT_LINE_BAD), "ini-file: wrong tabbox definition (%s)!\n");
}

}  // namespace
