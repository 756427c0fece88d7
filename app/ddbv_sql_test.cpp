// Tests of the detail window's statements without X: the number test, the
// table a result came from, the text a value takes in "Wert" by the
// column's type, the literal a "Wert" text stands for, and statements
// whose literals cannot leave their quotes.
#include "app/ddbv_sql.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DetailSql, NumberTest) {
  for (const char *n : {"12", " -12,5 ", "+3.", ".5", "", "   ", "-", "007"})
    EXPECT_EQ(Is_String_Wert(n), 1) << n;
  for (const char *t : {"Meier", "1,2,3", "1.2.3", "1 2", "--1", "1e5", "'1'", "12a"})
    EXPECT_EQ(Is_String_Wert(t), 0) << t;
}

TEST(DetailSql, TheTableOfAResult) {
  EXPECT_EQ(field_table("kunde"), "KUNDE");
  EXPECT_EQ(field_table("  KUNDE k "), "KUNDE");  // with an alias
  EXPECT_EQ(field_table("KUNDE, ORT"), "");
  EXPECT_EQ(field_table("KUNDE K, ORT O"), "");
  EXPECT_EQ(field_table(""), "");
  EXPECT_EQ(field_table("'KUNDE'"), "");
  EXPECT_EQ(select_table("SELECT * FROM KUNDE;"), "KUNDE");
  EXPECT_EQ(select_table("select count(*), max(PREIS) from artikel a where a.PREIS > 3"),
            "ARTIKEL");
  EXPECT_EQ(select_table("SELECT NAME FROM KUNDE ORDER BY NAME;"), "KUNDE");
  EXPECT_EQ(select_table("SELECT * FROM KUNDE K, ORT O WHERE K.ORT = O.ORT;"), "");
  EXPECT_EQ(select_table("SHOW TABLES;"), "");
  EXPECT_EQ(select_table("DELETE FROM KUNDE;"), "");
  EXPECT_EQ(select_table("SELECT * FROM 'KUNDE"), "");  // unfinished literal
  EXPECT_EQ(is_column_name("NAME"), 1);
  EXPECT_EQ(is_column_name("KUNDE_ID"), 1);
  for (const char *bad : {"COUNT(*)", "A B", "WHERE", "", "A;B", "name"})
    EXPECT_EQ(is_column_name(bad), 0) << bad;
}

TEST(DetailSql, WertTextFollowsTheColumnType) {
  EXPECT_EQ(wert_text("Meier", quoted_type(0, "Meier")), "'Meier'");
  EXPECT_EQ(wert_text("01234", quoted_type(0, "01234")), "'01234'");  // CHARACTER stays a text
  EXPECT_EQ(wert_text("-12,5", quoted_type(4, "-12,5")), " -12,5");
  EXPECT_EQ(wert_text("", quoted_type(3, "")), " ");
  for (int type : {1, 5, 6, 7}) EXPECT_TRUE(quoted_type(type, "12")) << type;
  EXPECT_FALSE(quoted_type(2, "7"));
  EXPECT_FALSE(quoted_type(-1, "7"));  // unknown: by its look
  EXPECT_TRUE(quoted_type(-1, "x"));
}

TEST(DetailSql, LiteralsKeepToTheirQuotes) {
  std::string lit;
  ASSERT_EQ(wert_literal("'O'Brien'", &lit), 1);
  EXPECT_EQ(lit, "'O\\'Brien'");
  ASSERT_EQ(wert_literal(" 'C:\\temp\\' ", &lit), 1);
  EXPECT_EQ(lit, "'C:\\\\temp\\\\'");
  ASSERT_EQ(wert_literal("''", &lit), 1);
  EXPECT_EQ(lit, "''");
  ASSERT_EQ(wert_literal(" -12.5 ", &lit), 1);
  EXPECT_EQ(lit, "-12.5");
  // Neither a quoted text nor a number: an expression could reach beyond
  // the value.
  for (const char *bad : {"Meier", "1 where 1 = 1", " ", "", "'", "'a' or 'b", "1; DELETE"})
    EXPECT_EQ(wert_literal(bad, &lit), 0) << bad;

  EXPECT_EQ(update_statement("KUNDE", "NAME", "'O\\'Brien'", "KUNDE_ID", "a'b\\"),
            "update KUNDE set NAME = 'O\\'Brien' where KUNDE_ID = 'a\\'b\\\\';");
  EXPECT_EQ(delete_statement("KUNDE", "KUNDE_ID", "7' OR 'x' = 'x"),
            "delete from KUNDE where KUNDE_ID = '7\\' OR \\'x\\' = \\'x';");
}

TEST(DetailSql, KeyColumn) {
  DDBV_ROW row;
  row.table = "KUNDE";
  row.names = {"NAME", "KUNDE_ID", "KUNDE_ID"};
  EXPECT_EQ(key_column(row), 1);
  row.table = "ORT";
  EXPECT_EQ(key_column(row), -1);
}

}  // namespace
