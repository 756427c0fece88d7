// Tests of the tabbox's content logic: storage and growth, diagnostics,
// column layout, display forms, sorting and the vertical view.  No X.
#include "widgets/tabbox_model.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "widgets/tabbox_hooks.h"
#include "tests/support/log_capture.h"

namespace {

struct RecDeleter {
  void operator()(TABBOX *r) const { tb_free(r); }
};
using RecPtr = std::unique_ptr<TABBOX, RecDeleter>;

RecPtr make(int type, const char *title, const std::vector<std::string> &lines = {}) {
  RecPtr rec(tb_new(nullptr, type, 10, 20, 400, 300, 1));
  tb_set_metrics(rec.get(), 10, 18);
  tb_set_title(rec.get(), title);
  for (const auto &l : lines) tb_add_line(rec.get(), l.c_str());
  return rec;
}

std::vector<std::string> display_order(TABBOX *rec) {
  tb_ensure_built(rec);
  std::vector<std::string> out;
  for (int d = 0; d < rec->line_count; d++) out.push_back(rec->full_lines[rec->row_order[d]]);
  return out;
}

void sort_by(TABBOX *rec, std::vector<int> cols, std::vector<int> dirs) {
  rec->sort_cols = cols;
  rec->sort_dirs = dirs;
  rec->sort_count = static_cast<int>(cols.size());
  rec->rebuild = 1;
}

TEST(TabboxModel, ColumnLayoutFromTitle) {
  RecPtr one = make(2, "Name");
  EXPECT_EQ(one->col_count, 2);
  RecPtr rec = make(2, "abc | def | g");
  ASSERT_EQ(rec->col_count, 4);
  EXPECT_EQ(rec->col_pos[1], -1);  // until the next rebuild
  EXPECT_EQ(rec->col_order[3], 3);
  EXPECT_EQ(rec->col_visible[2], 1);
  EXPECT_EQ(rec->col_maxwidth[1], -1);
  tb_layout_columns(rec.get());
  EXPECT_EQ(rec->col_pos, (std::vector<int>{0, 4, 10, 14}));
  EXPECT_EQ(rec->col_width, (std::vector<int>{0, 4, 5, 4}));
  // An empty title leaves the last column without an end.
  RecPtr empty = make(2, "");
  tb_layout_columns(empty.get());
  EXPECT_EQ(empty->col_pos[1], -1);
  EXPECT_EQ(tb_display_form(empty.get(), "xyz"), "");
}

TEST(TabboxModel, GrowthKeepsLinesFlagsAndOrder) {
  RecPtr rec = make(3, "A");
  for (int i = 1; i <= 50; i++) tb_add_line(rec.get(), std::to_string(i).c_str());
  rec->selected[7] = 1;
  EXPECT_EQ(rec->line_alloc, 50);
  tb_add_line(rec.get(), "51");
  EXPECT_EQ(rec->line_alloc, 100);
  EXPECT_EQ(rec->line_count, 51);
  EXPECT_EQ(rec->full_lines[0], "1");
  EXPECT_EQ(rec->full_lines[50], "51");
  EXPECT_EQ(rec->selected[7], 1);
  EXPECT_EQ(rec->selected[50], 0);
  EXPECT_EQ(rec->selected[99], 0);
  for (int i = 0; i < 100; i++) ASSERT_EQ(rec->row_order[i], i);
}

TEST(TabboxModel, LineSizeGrowth) {
  RecPtr rec = make(2, "A");
  tb_add_line(rec.get(), std::string(249, 'x').c_str());
  EXPECT_EQ(rec->line_size, 250);
  tb_add_line(rec.get(), std::string(250, 'x').c_str());
  EXPECT_EQ(rec->line_size, 750);
  RecPtr a = make(2, "A");
  tb_add_line(a.get(), std::string(300, 'x').c_str());
  EXPECT_EQ(a->line_size, 750);
  RecPtr b = make(2, "A");
  tb_add_line(b.get(), std::string(800, 'x').c_str());
  EXPECT_EQ(b->line_size, 1300);
  EXPECT_EQ(b->full_lines[0].size(), 800u);  // stored at its own length
  tb_set_title(b.get(), std::string(1400, 'T').c_str());
  EXPECT_EQ(b->line_size, 1800);
}

TEST(TabboxModel, ClearKeepsTitleAndColumns) {
  RecPtr rec = make(2, "a | b", {"1 | 2", "3 | 4"});
  rec->col_visible[1] = 0;
  rec->left_col = 3;
  rec->topline = 1;
  tb_clear(rec.get());
  EXPECT_EQ(rec->line_count, 0);
  EXPECT_EQ(rec->left_col, 0);
  EXPECT_EQ(rec->topline, 0);
  EXPECT_EQ(rec->full_title, "a | b");
  EXPECT_EQ(rec->col_visible[1], 0);
  tb_add_line(rec.get(), "5 | 6");
  EXPECT_EQ(rec->line_count, 1);
  EXPECT_EQ(rec->full_lines[0], "5 | 6");
}

TEST(TabboxModel, ReplaceAndRangeDiagnostics) {
  RecPtr rec = make(2, "a", {"one", "two"});
  rec->selected[1] = 1;
  EXPECT_EQ(tb_replace_line(rec.get(), 2, "zwei"), 1);
  EXPECT_EQ(rec->full_lines[1], "zwei");
  EXPECT_EQ(rec->selected[1], 0);

  kv_capture_log();
  EXPECT_EQ(tb_replace_line(rec.get(), 3, "x"), 0);  // line_count + 1: silent
  EXPECT_EQ(kv_captured_log(), "");
  kv_capture_log();
  EXPECT_EQ(tb_replace_line(rec.get(), 4, "x"), 0);
  EXPECT_EQ(tb_replace_line(rec.get(), 0, "x"), 0);
  EXPECT_EQ(kv_captured_log(),
            "fl_replace_tabbox_line: Index out of range\n"
            "fl_replace_tabbox_line: Index out of range\n");
  EXPECT_EQ(rec->line_count, 2);
}

TEST(TabboxModel, DeleteLastLineSelectsNewLast) {
  RecPtr rec = make(2, "a", {"l1", "l2", "l3"});
  EXPECT_EQ(tb_delete_line(rec.get(), 5), 1);
  EXPECT_EQ(rec->line_count, 2);
  EXPECT_EQ(rec->selected[1], 1);
  EXPECT_EQ(rec->selected[0], 0);
}

TEST(TabboxModel, DeleteMovesLinesAndFlagsFromIndexM) {
  RecPtr rec = make(2, "a", {"l1", "l2", "l3", "l4"});
  rec->selected[3] = 1;
  EXPECT_EQ(tb_delete_line(rec.get(), 3), 1);  // stored line 1
  EXPECT_EQ(rec->line_count, 3);
  EXPECT_EQ(rec->full_lines[2], "l4");
  EXPECT_EQ(rec->selected[2], 1);
  EXPECT_EQ(rec->selected[3], 0);

  kv_capture_log();
  EXPECT_EQ(tb_delete_line(rec.get(), 6), 0);
  EXPECT_EQ(tb_delete_line(rec.get(), 0), 0);
  RecPtr empty = make(2, "a");
  EXPECT_EQ(tb_delete_line(empty.get(), 2), 0);
  EXPECT_EQ(kv_captured_log(),
            "fl_delete_tabbox_line: Index out of range\n"
            "fl_delete_tabbox_line: Index out of range\n"
            "fl_delete_tabbox_line: Index out of range\n");
  EXPECT_EQ(empty->line_count, 0);
}

TEST(TabboxModel, SelectLineByType) {
  std::vector<std::string> lines;
  for (int i = 1; i <= 40; i++) lines.push_back("line " + std::to_string(i));
  RecPtr hold = make(2, "L", lines);
  tb_select_line(hold.get(), 3);
  tb_select_line(hold.get(), 5);
  EXPECT_EQ(tb_select_count(hold.get()), 1);
  EXPECT_EQ(tb_first_selected(hold.get()), 5);
  EXPECT_EQ(hold->topline, 0);
  // Beyond the screen (14 lines): the line comes to the top.
  tb_select_line(hold.get(), 30);
  EXPECT_EQ(hold->topline, 29);
  // line_count + 1 clears and selects nothing.
  tb_select_line(hold.get(), 41);
  EXPECT_EQ(tb_select_count(hold.get()), 0);

  RecPtr multi = make(3, "L", lines);
  tb_select_line(multi.get(), 2);
  tb_select_line(multi.get(), 35);
  EXPECT_EQ(tb_select_count(multi.get()), 2);
  EXPECT_EQ(multi->topline, 0);  // several selected: no scrolling
}

TEST(TabboxModel, DisplayFormOrderHiddenLimitsAndMarks) {
  const char *title = "Name      | Ort   | Bemerkung";
  RecPtr rec = make(2, title, {"Meier     | Bonn  | kurz     ", "Schmidtba | Ulm   | x"});
  tb_rebuild(rec.get());
  EXPECT_EQ(rec->title, "Name      | Ort   | Bemerkung");
  EXPECT_EQ(rec->xmax, 29);

  rec->col_order = {0, 3, 1, 2};
  rec->col_visible[1] = 0;
  tb_rebuild(rec.get());
  EXPECT_EQ(rec->title, "Bemerkung | Ort  ");  // hidden first column: no leading separator

  rec->col_order = {0, 1, 2, 3};
  rec->col_visible[1] = 1;
  rec->maxwidth = 4;
  tb_rebuild(rec.get());
  // Values longer than 4 are cut and marked; padding alone is cut silently.
  EXPECT_EQ(rec->lines[0], "Meie~| Bonn | kurz");
  EXPECT_EQ(rec->lines[1], "Schm~| Ulm  | x");
  EXPECT_EQ(rec->title, "Name | Ort  | Beme");

  rec->maxwidth = -1;
  rec->col_maxwidth[2] = 1;
  tb_rebuild(rec.get());
  EXPECT_EQ(rec->lines[0], "Meier     | B~| kurz     ");
  EXPECT_EQ(rec->xmax, 25);
}

TEST(TabboxModel, RebuildResetsLeftColBeyondXmax) {
  RecPtr rec = make(2, "a | b", {"1 | 2"});
  rec->left_col = 10;
  tb_rebuild(rec.get());
  EXPECT_EQ(rec->left_col, 0);
  EXPECT_EQ(rec->rebuild, 0);
}

TEST(TabboxModel, NumberTest) {
  EXPECT_TRUE(tb_is_number("10"));
  EXPECT_TRUE(tb_is_number("-3"));
  EXPECT_TRUE(tb_is_number("1.5"));
  EXPECT_TRUE(tb_is_number("-1,5"));
  EXPECT_TRUE(tb_is_number(""));
  EXPECT_FALSE(tb_is_number("1.2.3"));
  EXPECT_FALSE(tb_is_number("1,5.0"));
  EXPECT_FALSE(tb_is_number("12a"));
  EXPECT_FALSE(tb_is_number("1 2"));
  EXPECT_LT(tb_compare_fields("9", "10"), 0);
  EXPECT_GT(tb_compare_fields("1.2.3", "1.10"), 0);  // text: '2' after '1'
  EXPECT_EQ(tb_compare_fields("abc", "ABC"), 0);
}

TEST(TabboxModel, SortFieldStripsSeparatorsAndBlanks) {
  RecPtr rec = make(2, "aaa | bbb | ccc", {"x   |  y  | z"});
  tb_layout_columns(rec.get());
  EXPECT_EQ(tb_sort_field(rec.get(), rec->full_lines[0], 1), "x");
  EXPECT_EQ(tb_sort_field(rec.get(), rec->full_lines[0], 2), "y");
  EXPECT_EQ(tb_sort_field(rec.get(), rec->full_lines[0], 3), "z");
  EXPECT_EQ(tb_sort_field(rec.get(), rec->full_lines[0], 7), "");
  std::string long_line = "x   | " + std::string(12000, 'q');
  RecPtr wide = make(2, ("aaa | " + std::string(12000, 'B')).c_str(), {long_line});
  tb_layout_columns(wide.get());
  EXPECT_EQ(tb_sort_field(wide.get(), wide->full_lines[0], 2).size(), 9999u);
}

TEST(TabboxModel, SortNumbersTextAndDirections) {
  RecPtr rec = make(2, "N    | T", {"10   | b", "-3   | a", "9    | c", "1.5  | d", "-1.5 | e"});
  sort_by(rec.get(), {1}, {1});
  EXPECT_EQ(display_order(rec.get()),
            (std::vector<std::string>{"-3   | a", "-1.5 | e", "1.5  | d", "9    | c", "10   | b"}));
  EXPECT_EQ(rec->lines[rec->row_order[0]], "-3   | a");
  sort_by(rec.get(), {1}, {0});
  EXPECT_EQ(display_order(rec.get()).front(), "10   | b");
  EXPECT_EQ(display_order(rec.get()).back(), "-3   | a");
  // The stored order is untouched.
  EXPECT_EQ(rec->full_lines[0], "10   | b");
}

TEST(TabboxModel, SortTextFoldsCaseAndUmlauts) {
  RecPtr rec = make(2, "Wort ", {"birne", "\xc4pfel", "Zitrone", "apfel", "1.2.3", "Apfel"});
  sort_by(rec.get(), {1}, {1});
  std::vector<std::string> got = display_order(rec.get());
  ASSERT_EQ(got.size(), 6u);
  EXPECT_EQ(got[0], "1.2.3");
  // Apfel, apfel, Äpfel: equal under mystrcmp, so they keep stored order.
  EXPECT_EQ(got[1], "\xc4pfel");
  EXPECT_EQ(got[2], "apfel");
  EXPECT_EQ(got[3], "Apfel");
  EXPECT_EQ(got[4], "birne");
  EXPECT_EQ(got[5], "Zitrone");
}

TEST(TabboxModel, SortSeveralKeysIsStable) {
  RecPtr rec = make(2, "K | V | I",
                    {"b | 2 | 1", "a | 2 | 2", "b | 1 | 3", "a | 1 | 4", "b | 2 | 5", "a | 2 | 6"});
  sort_by(rec.get(), {1, 2}, {1, 0});
  std::vector<std::string> got = display_order(rec.get());
  EXPECT_EQ(got, (std::vector<std::string>{"a | 2 | 2", "a | 2 | 6", "a | 1 | 4", "b | 2 | 1",
                                           "b | 2 | 5", "b | 1 | 3"}));
  sort_by(rec.get(), {}, {});
  EXPECT_EQ(display_order(rec.get()).front(), "b | 2 | 1");
}

TEST(TabboxModel, VerticalViewOneLine) {
  RecPtr rec = make(0, "Name | Stadt", {"Anna | Bonn "});
  rec->vert = 1;
  TABBOX *v = tb_prepare_draw(rec.get());
  ASSERT_EQ(v, rec->vert_record);
  EXPECT_TRUE(tb_is_vertical_record(v));
  EXPECT_EQ(tb_active(rec.get()), v);
  EXPECT_EQ(tb_main(v), rec.get());
  EXPECT_EQ(v->full_title, "Attribut  | Wert      ");
  ASSERT_EQ(v->line_count, 2);
  EXPECT_EQ(v->full_lines[0], "Name      | Anna      ");
  EXPECT_EQ(v->full_lines[1], "Stadt     | Bonn      ");
  EXPECT_EQ(tb_vert_attr_of(v->full_lines[1]), "Stadt");
  EXPECT_EQ(tb_vert_value_of(v->full_lines[1]), "Bonn");
  EXPECT_EQ(tb_vert_value_of("no bar"), "");
  EXPECT_EQ(tb_vert_value_of("a | abc   | x"), "abc");
  EXPECT_EQ(v->xmax, 22);
}

TEST(TabboxModel, VerticalViewSeveralLinesKeepsSelection) {
  std::string a = "Bezeichnungsfeld";  // longer than 9
  auto row = [](const char *name, const char *value) {
    std::string s = name;
    s.resize(17, ' ');
    return s + "| " + value;
  };
  RecPtr rec =
      make(0, (a + " | Wert").c_str(), {row("eins", "1"), row("zwei", "22"), row("drei", "3")});
  rec->vert = 1;
  TABBOX *v = tb_prepare_draw(rec.get());
  EXPECT_EQ(v->full_title,
            "Attribut" + std::string(8, ' ') + " | Zeile 1    | Zeile 2    | Zeile 3   ");
  EXPECT_EQ(v->full_lines[0], a + " | eins       | zwei       | drei      ");
  EXPECT_EQ(v->full_lines[1],
            "Wert" + std::string(12, ' ') + " | 1          | 22         | 3         ");
  tb_select_line(v, 2);
  tb_add_line(rec.get(), row("vier", "4").c_str());
  v = tb_prepare_draw(rec.get());
  EXPECT_EQ(tb_first_selected(v), 2);
  EXPECT_NE(v->full_title.find("Zeile 4"), std::string::npos);
  // Offsets survive a refill only where the new table still reaches them.
  v->topline = 1;
  v->left_col = 40;
  v = tb_prepare_draw(rec.get());
  EXPECT_EQ(v->topline, 1);
  EXPECT_EQ(v->left_col, 40);
  tb_set_title(rec.get(), a.c_str());  // one column: one vertical line
  v = tb_prepare_draw(rec.get());
  ASSERT_EQ(v->line_count, 1);
  EXPECT_EQ(v->topline, 0);
  EXPECT_EQ(v->left_col, 40);
  tb_clear(rec.get());  // no values: 16 characters wide
  v = tb_prepare_draw(rec.get());
  EXPECT_EQ(v->xmax, 16);
  EXPECT_EQ(v->left_col, 0);
  tb_add_line(rec.get(), row("vier", "4").c_str());
  // Back to the main record; the vertical record stays for the next switch.
  rec->vert = 0;
  EXPECT_EQ(tb_prepare_draw(rec.get()), rec.get());
  EXPECT_EQ(rec->vert_record, v);
}

TEST(TabboxModel, VerticalViewListsHiddenColumnsAtVisibleWidth) {
  // Line i of the vertical table stays field i: a hidden column keeps its
  // line, but neither its name nor its values widen the table.
  RecPtr rec = make(0, "Name | Geheimnisvoll | Stadt", {"Anna | sehr geheim   | Bonn"});
  tb_ensure_built(rec.get());
  rec->col_visible[2] = 0;
  rec->vert = 1;
  TABBOX *v = tb_prepare_draw(rec.get());
  EXPECT_EQ(v->full_title, "Attribut  | Wert      ");
  ASSERT_EQ(v->line_count, 3);
  EXPECT_EQ(v->full_lines[0], "Name      | Anna      ");
  EXPECT_EQ(v->full_lines[1], "Geheimnis | sehr gehei");
  EXPECT_EQ(v->full_lines[2], "Stadt     | Bonn      ");
  // Reordered columns come in display order.
  rec->col_order = {0, 3, 1, 2};
  v = tb_prepare_draw(rec.get());
  EXPECT_EQ(tb_vert_attr_of(v->full_lines[0]), "Stadt");
  EXPECT_EQ(tb_vert_attr_of(v->full_lines[1]), "Name");
}

long last_arg;
int calls;
void record_call(FL_OBJECT *, long arg) {
  last_arg = arg;
  calls++;
}

TEST(TabboxModel, DoubleClickRules) {
  static int shift = 0;
  tabbox_hooks.shift_pressed = &shift;
  RecPtr rec = make(2, "a", {"x"});
  rec->dblclick_callback = record_call;
  rec->dblclick_arg = 42;
  calls = 0;
  EXPECT_EQ(tb_call_dblclick(rec.get()), 1);
  EXPECT_EQ(last_arg, 42);
  rec->type = 4;
  shift = 1;
  tb_call_dblclick(rec.get());
  EXPECT_EQ(last_arg, 1);
  shift = 0;
  tb_call_dblclick(rec.get());
  EXPECT_EQ(last_arg, 0);
  rec->type = 0;
  EXPECT_EQ(tb_call_dblclick(rec.get()), 0);
  rec->vert = 1;
  TABBOX *v = tb_prepare_draw(rec.get());
  EXPECT_EQ(tb_call_dblclick(v), 1);
  EXPECT_EQ(last_arg, 42);
  EXPECT_EQ(calls, 4);
  tabbox_hooks.shift_pressed = nullptr;
}

}  // namespace
