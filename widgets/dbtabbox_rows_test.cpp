// Tests of the binding's X-free part: row-text splitting with quotes and
// backslashes, the limits on fields and columns, quoting that round-trips
// any value, the line layout, record copies and the width entries of the
// stored settings line.
#include "widgets/dbtabbox_rows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/mem.h"

namespace {

std::vector<std::string> fields(const TBROW &row) {
  std::vector<std::string> out;
  for (int i = 0; i < row.count(); i++) out.push_back(row.field(i));
  return out;
}

std::vector<std::string> parse(const char *text) {
  TBROW row;
  EXPECT_EQ(tb_parse_row(text, &row), TB_PARSE_OK) << text;
  return fields(row);
}

using V = std::vector<std::string>;

TEST(DbTabboxRows, RowTextsSplitAtCommasOutsideQuotes) {
  EXPECT_EQ(parse("a,\"b,c\",d"), (V{"a", "b,c", "d"}));
  EXPECT_EQ(parse(""), (V{""}));
  EXPECT_EQ(parse(nullptr), (V{""}));
  EXPECT_EQ(parse("a,,"), (V{"a", "", ""}));
  // Quoted and unquoted stretches mix within a field; quotes are dropped.
  EXPECT_EQ(parse("x\"y,z\"w,1"), (V{"xy,zw", "1"}));
  // Inside quotes a backslash takes the next character as it is.
  EXPECT_EQ(parse("\"a\\\"b\",\"c\\\\\",\"\\,\""), (V{"a\"b", "c\\", ","}));
  // Outside quotes a backslash is an ordinary character.
  EXPECT_EQ(parse("a\\,b"), (V{"a\\", "b"}));
  TBROW names;
  EXPECT_EQ(tb_parse_names("NAME,\"ORT\",A\\B", &names), TB_PARSE_OK);
  EXPECT_EQ(fields(names), (V{"NAME", "\"ORT\"", "A\\B"}));
}

TEST(DbTabboxRows, QuotedValuesRoundTrip) {
  const char *values[] = {"plain",      "a\"b",        "ends in \\", "\\\"",       "a|b",
                          "two\nlines", "comma, here", "",           "M\xfcnchen", "\"\"\\\\"};
  std::string text;
  for (const char *v : values) {
    if (!text.empty()) text += ',';
    tb_quote_value(v, strlen(v), &text);
  }
  TBROW row;
  ASSERT_EQ(tb_parse_row(text.c_str(), &row), TB_PARSE_OK);
  ASSERT_EQ(row.count(), 10);
  for (int i = 0; i < 10; i++) EXPECT_EQ(row.field(i), values[i]);
  std::string quoted;
  tb_quote_value("a\"b", 3, &quoted);
  EXPECT_EQ(quoted, "\"a\\\"b\"");
}

TEST(DbTabboxRows, LimitsOnFieldsAndColumns) {
  std::string long_field(TB_WORK_SIZE + 50, 'x');
  TBROW row;
  ASSERT_EQ(tb_parse_row(("\"" + long_field + "\",b").c_str(), &row), TB_PARSE_OK);
  EXPECT_EQ(row.length(0), static_cast<size_t>(TB_WORK_SIZE - 1));
  EXPECT_EQ(row.field(1), "b");

  std::string cols;
  for (int i = 0; i < TB_MAX_COLS; i++) cols += (i ? ",c" : "c") + std::to_string(i);
  ASSERT_EQ(tb_parse_names(cols.c_str(), &row), TB_PARSE_OK);
  EXPECT_EQ(row.count(), TB_MAX_COLS);
  ASSERT_EQ(tb_parse_row((cols + ",extra,more").c_str(), &row), TB_PARSE_TOO_MANY);
  EXPECT_EQ(row.count(), TB_MAX_COLS);
  EXPECT_EQ(row.field(TB_MAX_COLS - 1), "c499");
}

TEST(DbTabboxRows, LineLayoutPadsToTheLongestField) {
  TBROW title, r1, r2;
  tb_parse_names("Name,Ort", &title);
  std::vector<TBROW> rows(2);
  tb_parse_row("Meier,Bonn", &rows[0]);
  tb_parse_row("Al,K\xf6ln", &rows[1]);
  std::vector<int> shown = {1, 1};
  std::vector<int> widths = tb_column_widths(title, rows, shown);
  EXPECT_EQ(widths, (std::vector<int>{5, 4}));
  std::string line;
  tb_build_line(title, widths, shown, false, &line);
  EXPECT_EQ(line, "Name  | Ort ");
  tb_build_line(rows[1], widths, shown, true, &line);
  EXPECT_EQ(line, "Al    | K\xf6ln");

  // Hidden columns are left out and count for no width; line feeds of data
  // show as backslashes; a leading "@" stays as it is.
  tb_parse_row("\"@x\ny\",\"very long text\"", &rows[1]);
  shown = {1, 0};
  widths = tb_column_widths(title, rows, shown);
  EXPECT_EQ(widths, (std::vector<int>{5, 0}));
  tb_build_line(rows[1], widths, shown, true, &line);
  EXPECT_EQ(line, "@x\\y ");
  tb_build_line(rows[1], widths, shown, false, &line);
  EXPECT_EQ(line, "@x\ny ");
}

TEST(DbTabboxRows, BuiltLinesStopAtTheLimit) {
  TBROW title, row;
  tb_parse_names("A,B", &title);
  std::string big(6000, 'y');
  tb_parse_row(("\"" + big + "\",\"" + big + "\"").c_str(), &row);
  std::vector<TBROW> rows;
  rows.push_back(std::move(row));
  std::vector<int> shown = {1, 1};
  std::string line;
  tb_build_line(rows[0], tb_column_widths(title, rows, shown), shown, true, &line);
  EXPECT_EQ(line.size(), static_cast<size_t>(TB_WORK_SIZE - 1));
  EXPECT_EQ(line.substr(6000, 3), " | ");
}

TEST(DbTabboxRows, RecordCopiesFollowTheSizeWord) {
  struct Rec {
    TBREC_HEAD head;
    char text[20];
  } rec = {{static_cast<int32_t>(sizeof(TBREC_HEAD) + 4), 5, 7}, "abc"};
  void *copy = tbrec_copy(&rec);
  EXPECT_EQ(memcmp(copy, &rec, sizeof(TBREC_HEAD) + 4), 0);
  EXPECT_EQ(tbrec_state(copy), 5);
  tbrec_set_state(copy, TBREC_LOADED);
  EXPECT_EQ(static_cast<TBREC_HEAD *>(copy)->state, TBREC_LOADED);
  myfree(copy);
  rec.head.size = 0;  // an unset size copies the header only
  copy = tbrec_copy(&rec);
  EXPECT_EQ(static_cast<TBREC_HEAD *>(copy)->size, static_cast<int32_t>(sizeof(TBREC_HEAD)));
  EXPECT_EQ(static_cast<TBREC_HEAD *>(copy)->tablenr, 7);
  myfree(copy);
  EXPECT_EQ(tbrec_copy(nullptr), nullptr);
}

TEST(DbTabboxRows, WidthEntriesOfTheSettingsLine) {
  std::string line = "[DBV] 0 4 1 2 3 2d 30m 1|12 ";
  settings_set_width(&line, 1, 20);
  EXPECT_EQ(line, "[DBV] 0 4 1 2 3 2d 30m 1|20 ");
  settings_set_width(&line, 3, 7);
  EXPECT_EQ(line, "[DBV] 0 4 1 2 3 2d 30m 1|20 3|7 ");
  settings_clear_width(&line, 1);
  EXPECT_EQ(line, "[DBV] 0 4 1 2 3 2d 30m 3|7 ");
  settings_set_width(&line, 1, 9);
  settings_clear_widths(&line);
  EXPECT_EQ(line, "[DBV] 0 4 1 2 3 2d 30m ");
  // Without sort keys the column order comes right before the widths and
  // stays.
  line = "[DBV] v 1 4 1 3 2 1|12 2|5 ";
  settings_clear_widths(&line);
  EXPECT_EQ(line, "[DBV] v 1 4 1 3 2 ");
  line = "[DBV] 0 3 1 2 ";
  settings_clear_width(&line, 1);
  EXPECT_EQ(line, "[DBV] 0 3 1 2 ");
}

}  // namespace
