// Tests of the query form's text work: cleaning input, composing the
// SELECT, telling commands with rows, finding text after the first
// statement, the result title and row texts with their limits, alert
// reasons.
#include "app/query.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/mem.h"
#include "widgets/dbtabbox_rows.h"

namespace {

std::string clean(const char *text) {
  char *s = make_sql_string(text);
  std::string r = s;
  myfree(s);
  return r;
}

TEST(Query, CleaningAndComposing) {
  EXPECT_EQ(clean("KUN\\nDE"), "KUNDE");
  EXPECT_EQ(clean("a\\\\nb\\"), "a\\b\\");  // the first backslash stays, "\n" goes
  EXPECT_EQ(clean(nullptr), "");
  // Nothing is cut: the longest SQL input (1024 characters) stays whole.
  std::string longest = "DELETE FROM T WHERE " + std::string(1000, 'X') + " = 1";
  EXPECT_EQ(clean(longest.c_str()), longest);

  EXPECT_EQ(IsEmptyStrg(""), 1);
  EXPECT_EQ(IsEmptyStrg(" \t\n"), 1);
  EXPECT_EQ(IsEmptyStrg(nullptr), 1);
  EXPECT_EQ(IsEmptyStrg(" x "), 0);

  EXPECT_EQ(compose_select("KUNDE", "", ""), "SELECT * FROM KUNDE;");
  EXPECT_EQ(compose_select("KUNDE", "  ", " \n "), "SELECT * FROM KUNDE;");
  EXPECT_EQ(compose_select("KUNDE", "A,B", "ORDER BY A"), "SELECT A,B FROM KUNDE ORDER BY A;");
}

TEST(Query, CommandsWithRows) {
  struct Case {
    const char *text, *after;
    int rows;
  } cases[] = {{"select * from a;", "SELECT * from a;", 1},
               {"  show tables;", "  SHOW tables;", 1},
               {"\tSeLeCt\n1", "\tSELECT\n1", 1},
               {"update a set b = 1;", "UPDATE a set b = 1;", 0},
               {"(select 1)", "(SELECT 1)", 0},
               {"", "", 0}};
  for (const Case &c : cases) {
    std::vector<char> text(c.text, c.text + strlen(c.text) + 1);
    EXPECT_EQ(is_select_show(text.data()), c.rows) << c.text;
    EXPECT_STREQ(text.data(), c.after);
  }
}

TEST(Query, TextAfterTheFirstStatement) {
  EXPECT_EQ(statement_extra("SELECT * FROM A;"), "");
  EXPECT_EQ(statement_extra("SELECT * FROM A;;"), "");  // the form's ";" after the user's
  EXPECT_EQ(statement_extra("SELECT * FROM A WHERE B = 'x;y';"), "");
  EXPECT_EQ(statement_extra("DELETE FROM A; DELETE FROM B;"), "DELETE FROM B;");
  EXPECT_EQ(statement_extra("SELECT * FROM A; DROP TABLE B; X;"), "DROP TABLE B; X;");
  EXPECT_EQ(statement_extra("SELECT * FROM A END; x"), "x");
  EXPECT_EQ(statement_extra("SELECT ENDE FROM WEEKEND WHERE X = 'END;';"), "");
}

TEST(Query, ResultTitle) {
  EXPECT_EQ(result_title({"kunde_id", "Name", "COUNT(*)"}), "KUNDE_ID,NAME,COUNT(*)");
  EXPECT_EQ(result_title({}), "");
  EXPECT_EQ(result_title({"a,b", "c|d"}), "A;B,C!D");
}

std::vector<std::string> parsed(const std::string &text) {
  TBROW row;
  EXPECT_EQ(tb_parse_row(text.c_str(), &row), TB_PARSE_OK);
  std::vector<std::string> out;
  for (int i = 0; i < row.count(); i++) out.push_back(row.field(i));
  return out;
}

TEST(Query, RowTextsQuoteEveryValue) {
  std::string text;
  dbv_row_text({{"1", 1}, {"a\"b", 3}}, &text);
  EXPECT_EQ(text, "\"1\",\"a\\\"b\"");
  const char *tricky[] = {"ends in \\", "Meier   ", "x|y", "zwei\nZeilen", "", "M\xfcnchen"};
  std::vector<ROW_VALUE> values;
  for (const char *v : tricky) values.push_back({v, strlen(v)});
  values.push_back({nullptr, 0});
  dbv_row_text(values, &text);
  EXPECT_EQ(parsed(text), (std::vector<std::string>{"ends in \\", "Meier", "x|y", "zwei\nZeilen",
                                                    "", "M\xfcnchen", ""}));
}

TEST(Query, LongRowsAreCutToFit) {
  std::string big(9000, 'a'), quotes(3000, '"'), small = "klein";
  std::string text;
  std::vector<int> cut = {7};
  dbv_row_text({{"1", 1}}, &text, &cut);
  EXPECT_TRUE(cut.empty());
  dbv_row_text({{big.data(), big.size()}, {quotes.data(), quotes.size()}, {small.data(), 5}}, &text,
               &cut);
  EXPECT_EQ(cut, (std::vector<int>{0, 1}));  // the detail window must not write these back
  EXPECT_LE(text.size(), static_cast<size_t>(DBV_ROW_MAX));
  EXPECT_GT(text.size(), static_cast<size_t>(DBV_ROW_MAX) - 10);
  std::vector<std::string> f = parsed(text);
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[2], "klein");  // short values stay whole
  EXPECT_EQ(f[0], big.substr(0, f[0].size()));
  EXPECT_EQ(f[1], quotes.substr(0, f[1].size()));
  EXPECT_GT(f[1].size(), 1000u);

  // 500 columns of long values still give a valid row of 500 fields.
  std::vector<ROW_VALUE> many(TB_MAX_COLS, ROW_VALUE{big.data(), 100});
  dbv_row_text(many, &text);
  EXPECT_LE(text.size(), static_cast<size_t>(DBV_ROW_MAX));
  EXPECT_EQ(parsed(text).size(), static_cast<size_t>(TB_MAX_COLS));
}

TEST(Query, AlertReasons) {
  EXPECT_EQ(alert_reason("Table X does not exist\n"), "Table X does not exist");
  EXPECT_EQ(alert_reason("a\nb\n"), "a b");
  EXPECT_EQ(alert_reason(nullptr), "");
  std::string r = alert_reason(std::string(500, 'e').c_str());
  EXPECT_EQ(r.size(), 200u);
  EXPECT_EQ(r.substr(197), "...");
}

}  // namespace
