// The table export's rules without X: the number test, the file-name rule,
// the title's column slots, the export text byte for byte (tabs, decimal
// comma, hidden columns, display order, all data) and its growth with
// 100,000 rows.
#include "forms/tbexp_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

TEST(TbexpText, NumberTest) {
  for (const char *yes : {"12.50", "-7", "", "-", "1-2", "007", ".5", "5."})
    EXPECT_EQ(is_number_string(yes), 1) << yes;
  for (const char *no : {"1.2.3", "1,5", "12 50", "+3", "a1", "1e5", "M\xfcller"})
    EXPECT_EQ(is_number_string(no), 0) << no;
  char text[] = "a.b.c";
  EXPECT_EQ(repl_char_string(text, '.', ','), 1);
  EXPECT_STREQ(text, "a,b,c");
}

TEST(TbexpText, FileNames) {
  for (const char *ok : {"result_1", "A", "_", "x9"}) EXPECT_EQ(tbexp_valid_name(ok), 1) << ok;
  for (const char *bad : {"", "a.b", "a b", "a/b", "..", "M\xfcller", "a-b", "x.csv"})
    EXPECT_EQ(tbexp_valid_name(bad), 0) << bad;
}

TEST(TbexpText, SlotsOfTheTitle) {
  std::vector<TBEXP_SLOT> s = tbexp_slots("Name  | Betrag");
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].start, 0u);
  EXPECT_EQ(s[0].width, 5u);
  EXPECT_EQ(s[1].start, 8u);
  EXPECT_EQ(s[1].width, 6u);
  EXPECT_EQ(tbexp_slots("Ein Titel").size(), 1u);
  EXPECT_EQ(tbexp_slots("").size(), 1u);
  // Leading blanks of a field are skipped.
  s = tbexp_slots("  A |  B");
  EXPECT_EQ(s[0].start, 2u);
  EXPECT_EQ(s[1].start, 7u);
}

TEST(TbexpText, NameAndAmount) {
  EXPECT_EQ(tbexp_text("Name  | Betrag", {"Meier | 12.50 "}, {1, 2}),
            "Name\tBetrag\nMeier\t12,50\n");
}

TEST(TbexpText, FieldsColumnsAndRows) {
  // Three columns; the tab inside a field becomes "_", 1.2.3 keeps its dots.
  std::string title = "Nr | Wert  | Text     ";
  std::vector<std::string> lines = {"1  | 1.2.3 | a\tb     ", "2  | -7    | x.y      ",
                                    "3  |       |          "};
  EXPECT_EQ(tbexp_text(title, lines, {1, 2, 3}),
            "Nr\tWert\tText\n1\t1.2.3\ta_b\n2\t-7\tx.y\n3\t\t\n");
  // Display order 3, 1 with column 2 hidden.
  int order[] = {-1, 3, 1, 2};
  int visible[] = {0, 1, 0, 1};
  std::vector<int> shown = tbexp_display_columns(4, order, visible);
  EXPECT_EQ(shown, (std::vector<int>{3, 1}));
  EXPECT_EQ(tbexp_text(title, lines, shown), "Text\tNr\na_b\t1\nx.y\t2\n\t3\n");
  // All data: every column in natural order, the hidden one too.
  EXPECT_EQ(tbexp_all_columns(4), (std::vector<int>{1, 2, 3}));
  // An order that ends early (-1) and numbers outside the columns.
  int early[] = {-1, 2, -1, 7};
  int all_visible[] = {0, 1, 1, 1};
  EXPECT_EQ(tbexp_display_columns(4, early, all_visible), (std::vector<int>{2}));
  // No columns: nothing at all; lines shorter than the title give empty fields.
  EXPECT_EQ(tbexp_text(title, lines, {}), "");
  EXPECT_EQ(tbexp_text(title, {"9"}, {1, 3}), "Nr\tText\n9\t\n");
}

// The text grows geometrically: 100,000 rows take well under a second
// (bench/tbexp_bench prints the figures of the whole export), while growing
// by a fixed step would copy gigabytes.  The bound only separates the two.
TEST(TbexpText, AHundredThousandRowsInLinearTime) {
  std::string title = "ID     | NAME                 | BETRAG    | ORT       ";
  std::vector<std::string> lines;
  char line[200];
  for (int i = 0; i < 100000; i++) {
    snprintf(line, sizeof line, "%-6d | Kunde Nummer %-7d | %9.2f | Bonn      ", i, i, i * 1.25);
    lines.push_back(line);
  }
  auto start = std::chrono::steady_clock::now();
  std::string text = tbexp_text(title, lines, {1, 2, 3, 4});
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 5.0);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 100001);
  EXPECT_NE(text.find("99999\tKunde Nummer 99999\t124998,75\tBonn\n"), std::string::npos);
}

}  // namespace
