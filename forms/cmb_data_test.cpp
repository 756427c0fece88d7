// Tests of the combo entries: parsing, the blank entry, sorting, prefix
// matching, codes, stepping and the list's size and place.
#include "forms/cmb_data.h"

#include <gtest/gtest.h>

namespace {

CMB_DATA parsed(const char *text, int no_blank = 0) {
  CMB_DATA d;
  EXPECT_EQ(cmb_parse(&d, text, no_blank), 1);
  cmb_sort(&d);
  return d;
}

using Texts = std::vector<std::string>;

TEST(CmbData, ParseSortAndTheBlankEntry) {
  CMB_DATA d = parsed("b,2|a,1");
  EXPECT_EQ(d.texts, (Texts{" ", "a", "b"}));
  EXPECT_EQ(d.codes, (Texts{"    ", "1", "2"}));
  EXPECT_EQ(d.line_map, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(d.selected, -1);
  EXPECT_EQ(parsed("b,2|a,1", 1).texts, (Texts{"a", "b"}));
}

TEST(CmbData, ParseEdgeCases) {
  // A "|" belongs to the text up to the next ",".
  CMB_DATA bar = parsed("x|y,1", 1);
  EXPECT_EQ(bar.texts, (Texts{"x|y"}));
  EXPECT_EQ(bar.codes, (Texts{"1"}));
  // Empty string and a trailing "|" give an entry with empty text and code.
  CMB_DATA empty = parsed("");
  EXPECT_EQ(empty.texts, (Texts{"", " "}));
  EXPECT_EQ(empty.codes, (Texts{"", "    "}));
  CMB_DATA trailing = parsed("a,1|", 1);
  EXPECT_EQ(trailing.texts, (Texts{"", "a"}));
  EXPECT_EQ(trailing.codes, (Texts{"", "1"}));
  // Trailing blanks leave the texts, not the codes; no "," means no code.
  CMB_DATA blanks = parsed("KVSYS   ,K1  |nur Text", 1);
  EXPECT_EQ(blanks.texts, (Texts{"KVSYS", "nur Text"}));
  EXPECT_EQ(blanks.codes, (Texts{"K1  ", ""}));
  // Database pairs as the viewer builds them.
  EXPECT_EQ(parsed("kvsys,kvsys|demo,demo").codes, (Texts{"    ", "demo", "kvsys"}));
}

TEST(CmbData, SortFoldsCaseAndUmlautsAndKeepsCodesWithTexts) {
  CMB_DATA d = parsed("\xd6l,3|Zebra,4|oma,2|Apfel,1|apfel,5", 1);
  EXPECT_EQ(d.texts, (Texts{"Apfel", "apfel", "\xd6l", "oma", "Zebra"}));
  EXPECT_EQ(d.codes, (Texts{"1", "5", "3", "2", "4"}));
}

TEST(CmbData, TooManyKeys) {
  std::string data;
  for (int i = 0; i < CMB_MAX_KEYS - 1; i++) data += (i ? "|" : "") + std::to_string(i) + ",c";
  CMB_DATA fits;
  EXPECT_EQ(cmb_parse(&fits, data.c_str(), 0), 1);  // 9999 + the blank one
  EXPECT_EQ(fits.count(), CMB_MAX_KEYS);
  CMB_DATA over;
  EXPECT_EQ(cmb_parse(&over, (data + "|x,y|z,w").c_str(), 1), 0);
  CMB_DATA blank_over;
  EXPECT_EQ(cmb_parse(&blank_over, (data + "|x,y").c_str(), 0), 0);
}

TEST(CmbData, PrefixMatchIgnoresCase) {
  CMB_DATA d = parsed("Datenbank,1|DAX,2|demo,3|Liste,4");
  EXPECT_TRUE(cmb_matches("", "egal"));
  EXPECT_TRUE(cmb_matches("da", "DAX"));
  EXPECT_FALSE(cmb_matches("datenbanken", "Datenbank"));
  EXPECT_EQ(d.texts[cmb_find(d, "da")], "Datenbank");
  EXPECT_EQ(d.texts[cmb_find(d, "DE")], "demo");
  EXPECT_EQ(cmb_find(d, "x"), -1);
  EXPECT_EQ(cmb_find(d, ""), 0);  // the blank entry
}

TEST(CmbData, CodesCompareWithoutTrailingBlanks) {
  CMB_DATA d = parsed("a,1|b,2");
  EXPECT_EQ(d.texts[cmb_find_code(d, "2")], "b");
  EXPECT_EQ(d.texts[cmb_find_code(d, "2   ")], "b");
  EXPECT_EQ(d.texts[cmb_find_code(d, CMB_BLANK_CODE)], " ");
  EXPECT_EQ(cmb_find_code(d, "9"), -1);
  EXPECT_EQ(cmb_shown_text(" "), "");
  EXPECT_EQ(cmb_shown_text("a "), "a ");
}

TEST(CmbData, Stepping) {
  CMB_DATA d = parsed("alpha,1|beta,2|gamma,3");  // " ", alpha, beta, gamma
  // From an empty input Down chooses the first real entry.
  EXPECT_EQ(cmb_step(d, "", 1).index, 1);
  EXPECT_EQ(cmb_step(d, "alpha", 1).index, 2);
  EXPECT_EQ(cmb_step(d, "gamma", 1).index, 3);  // the last one stays
  EXPECT_EQ(cmb_step(d, "nichts", 1).index, 0);
  EXPECT_EQ(cmb_step(d, "beta", -1).index, 1);
  CMB_STEP first = cmb_step(d, "", -1);  // on entry 0: the input is emptied
  EXPECT_EQ(first.index, 0);
  EXPECT_TRUE(first.empty_input);
  CMB_STEP none = cmb_step(d, "nichts", -1);
  EXPECT_EQ(none.index, 0);
  EXPECT_FALSE(none.empty_input);
  EXPECT_FALSE(cmb_step(d, "b", -1).empty_input);
}

TEST(CmbData, ListSizeAndPlace) {
  EXPECT_EQ(cmb_list_height(3), 56);
  EXPECT_EQ(cmb_list_height(17), 252 > 250 ? 250 : 252);
  EXPECT_EQ(cmb_list_height(20), 250);
  // Below the input: form at (100, 50), input at (60, 30) of 150 x 21.
  CMB_PLACE below = cmb_list_place(100, 50, 60, 30, 150, 21, 3, 1024);
  EXPECT_EQ(below.x, 160);
  EXPECT_EQ(below.y, 101);
  EXPECT_EQ(below.w, 170);
  EXPECT_EQ(below.h, 76);
  // Near the bottom edge: above the input.
  CMB_PLACE above = cmb_list_place(100, 900, 60, 30, 150, 21, 20, 1024);
  EXPECT_EQ(above.y, 900 + 30 - 250 - 20);
  EXPECT_EQ(above.h, 270);
  // The edge itself counts as reached.
  EXPECT_EQ(cmb_list_place(0, 0, 0, 0, 10, 10, 3, 66).y, 0 - 56 - 20);
  EXPECT_EQ(cmb_list_place(0, 0, 0, 0, 10, 10, 3, 67).y, 10);
}

TEST(CmbData, ScrollIntoView) {
  EXPECT_EQ(cmb_scroll_top(5, 1, 10), 1);
  EXPECT_EQ(cmb_scroll_top(11, 1, 10), 11);
  EXPECT_EQ(cmb_scroll_top(10, 1, 10), 1);
  EXPECT_EQ(cmb_scroll_top(3, 4, 10), 3);
}

}  // namespace
