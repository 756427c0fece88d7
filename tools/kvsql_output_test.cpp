// Tests of kvsql's output formats on plain tables: the exact aligned,
// vertical, CSV and tab-separated forms, zero rows, escapes and hex.
#include "tools/kvsql_output.h"

#include <gtest/gtest.h>

namespace {

OutTable sample() {
  OutTable t;
  t.names = {"ID", "NAME"};
  t.numeric = {true, false};
  t.cells = {"7", "M\xfcller", "12", "a\tb\nc\\d"};
  return t;
}

}  // namespace

TEST(Output, Aligned) {
  OutputOptions o;
  o.format = OutputFormat::ALIGNED;
  EXPECT_EQ(format_table(sample(), o),
            " ID |   NAME\n"
            "----+-----------\n"
            "  7 | M\xfcller\n"
            " 12 | a\\tb\\nc\\d\n"
            "(2 rows)\n\n");
  OutTable one = sample();
  one.cells.resize(2);
  o.tuples_only = true;
  EXPECT_EQ(format_table(one, o), " 7 | M\xfcller\n");
  OutTable none = sample();
  none.cells.clear();
  o.tuples_only = false;
  EXPECT_EQ(format_table(none, o), " ID | NAME\n----+------\n(0 rows)\n\n");
  one.cells[1] = "\x01\x85";
  EXPECT_EQ(format_table(one, o), " ID |   NAME\n----+----------\n  7 | \\x01\\x85\n(1 row)\n\n");
}

TEST(Output, UnalignedAndCsv) {
  OutputOptions o;
  EXPECT_EQ(format_table(sample(), o), "ID\tNAME\n7\tM\xfcller\n12\ta\\tb\\nc\\\\d\n");
  OutTable none = sample();
  none.cells.clear();
  EXPECT_EQ(format_table(none, o), "ID\tNAME\n");
  o.format = OutputFormat::CSV;
  OutTable t = sample();
  t.cells.push_back("x,y");
  t.cells.push_back("say \"hi\"\r\n");
  EXPECT_EQ(format_table(t, o),
            "ID,NAME\n7,M\xfcller\n12,\"a\tb\nc\\d\"\n\"x,y\",\"say \"\"hi\"\"\r\n\"\n");
  o.expanded = true;  // CSV stays CSV
  o.tuples_only = true;
  EXPECT_EQ(format_table(none, o), "");
  EXPECT_EQ(tsv_escape("\r"), "\\r");
}

TEST(Output, Vertical) {
  OutputOptions o;
  o.format = OutputFormat::ALIGNED;
  o.expanded = true;
  EXPECT_EQ(format_table(sample(), o),
            "-[ RECORD 1 ]---\n"
            "ID   | 7\n"
            "NAME | M\xfcller\n"
            "-[ RECORD 2 ]---\n"
            "ID   | 12\n"
            "NAME | a\\tb\\nc\\d\n"
            "\n");
  OutTable none = sample();
  none.cells.clear();
  EXPECT_EQ(format_table(none, o), "(0 rows)\n");
  o.format = OutputFormat::UNALIGNED;
  o.tuples_only = true;
  OutTable one = sample();
  one.cells = {"1", "x", "2", "\\"};
  EXPECT_EQ(format_table(one, o), "ID   | 1\nNAME | x\n\nID   | 2\nNAME | \\\\\n");
}

TEST(Output, BinaryHex) {
  const unsigned char b[] = {0, 0x7f, 0xab, 0x10};
  EXPECT_EQ(binary_hex(b, 4), "0x007fab10");
  EXPECT_EQ(binary_hex(b, 0), "0x");
}
