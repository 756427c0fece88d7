// Tests of the temporary value strings and the text helpers.
#include "base/valuestr.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "base/mem.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

// Fatal messages go to standard output; death tests match standard error,
// so the child sends its standard output there first.
void ToStderr() { dup2(2, 1); }

class ValueStrings : public testing::Test {
 protected:
  void SetUp() override { Free_ValueStrings(); }
  void TearDown() override { Free_ValueStrings(); }
};

TEST_F(ValueStrings, QuotesAreEscapedAndRegistered) {
  char *s = Make_ValueString("O'Neil", 6);
  EXPECT_STREQ(s, "O\\'Neil");
  EXPECT_STREQ(Make_ValueString("say \"hi\" 100%", 13), "say \\\"hi\\\" 100%");
  EXPECT_STREQ(Make_ValueString(nullptr, 0), "");
  EXPECT_EQ(ivalstr, 3);
  EXPECT_EQ(valstrs[0], s);
  Free_ValueStrings();
  EXPECT_EQ(ivalstr, 0);
}

TEST_F(ValueStrings, DbValueStringSharesOneEmptyText) {
  char *a = Make_DbValueString("   ", 2);
  char *b = Make_DbValueString("", 0);
  EXPECT_STREQ(a, "");
  EXPECT_EQ(a, b);
  EXPECT_EQ(ivalstr, 0);
  EXPECT_STREQ(Make_DbValueString("x'", 2), "x\\'");
  EXPECT_EQ(ivalstr, 1);
}

TEST_F(ValueStrings, LogicalAndReducedForms) {
  EXPECT_STREQ(Make_LogicalString(1), "Ja");
  EXPECT_STREQ(Make_LogicalString('1'), "Ja");
  EXPECT_STREQ(Make_LogicalString(0), "Nein");
  EXPECT_STREQ(Make_LogicalString('0'), "Nein");
  EXPECT_STREQ(Make_Reduce_String("ab c  "), "ab c");
  EXPECT_STREQ(Make_Reduce_String("ab\t"), "ab\t");  // only blanks count
  EXPECT_STREQ(Make_Reduce_String("    "), "");
  EXPECT_STREQ(Make_Reduce_HTML_String("    "), "-");
  EXPECT_STREQ(Make_Reduce_HTML_String(" x "), " x");
  EXPECT_EQ(ivalstr, 9);
}

TEST_F(ValueStrings, HtmlDescription) {
  EXPECT_STREQ(Make_Reduce_HTML_Beschreibung("Zeile 1\n  Zeile 2\nEnde   "),
               "Zeile 1<br><spacer type=horizontal size=20>Zeile 2<br>Ende");
  EXPECT_STREQ(Make_Reduce_HTML_Beschreibung("a\n\n b"),
               "a<br><br><spacer type=horizontal size=10>b");
  EXPECT_STREQ(Make_Reduce_HTML_Beschreibung("   "), "-");
  EXPECT_STREQ(Make_Reduce_HTML_Beschreibung(""), "-");
}

TEST_F(ValueStrings, HoldKeepsStringsUntilReleased) {
  char *s = Make_String("keep");
  EXPECT_EQ(Hold_ValueStrings(), 1);
  EXPECT_EQ(Hold_ValueStrings(), 1);
  Free_ValueStrings();
  EXPECT_EQ(Release_ValueStrings(), 1);
  Free_ValueStrings();
  EXPECT_EQ(ivalstr, 1);
  EXPECT_STREQ(s, "keep");
  EXPECT_EQ(valstrs[0], s);
  EXPECT_EQ(Release_ValueStrings(), 1);
  Free_ValueStrings();
  EXPECT_EQ(ivalstr, 0);
}

TEST_F(ValueStrings, LimitWarnsOnceAndStopsRegistering) {
  ASSERT_EQ(valstr_warning, 1);
  for (int i = 0; i < VALSTR_LIMIT - 1; i++) Make_String("x");
  EXPECT_EQ(ivalstr, VALSTR_LIMIT - 1);
  CaptureStdout();
  char *extra1 = Make_ValueString("y", 1);
  char *extra2 = Make_String("z");
  std::string out = GetCapturedStdout();
  EXPECT_EQ(out,
            "(Make_ValueString) Warning: Limit for temporary strings reached - "
            "memory is wasted (limit = 10000)\n");
  EXPECT_EQ(ivalstr, VALSTR_LIMIT - 1);
  EXPECT_STREQ(extra1, "y");
  EXPECT_STREQ(extra2, "z");
  Free_ValueStrings();
  EXPECT_EQ(ivalstr, 0);
  // The unregistered strings were never released by the ring.
  EXPECT_STREQ(extra1, "y");
  myfree(extra1);
  myfree(extra2);
}

TEST(ValueStringsDeathTest, ProgrammingErrorsEndTheProcess) {
  EXPECT_EXIT((ToStderr(), Make_ValueString("O'Neil", 5)), testing::ExitedWithCode(1),
              "^\\(Make_ValueString\\) Error: Size of string 'O'Neil' is "
              "invalid \\(5 characters expected\\)\n$");
  EXPECT_EXIT((ToStderr(), Make_ValueString("abc", -1)), testing::ExitedWithCode(1),
              "^\\(Make_ValueString\\) Error: Stringsize '-1' of type is "
              "invalid \\('abc'\\)\n$");
  EXPECT_EXIT((ToStderr(), Make_LogicalString('x')), testing::ExitedWithCode(1),
              "^\\(Make_LogicalString\\) Error: Invalid logical value 'x'!\n$");
  EXPECT_EXIT((ToStderr(), Make_LogicalString(2)), testing::ExitedWithCode(1),
              "Invalid logical value");
  EXPECT_EXIT((ToStderr(), Release_ValueStrings()), testing::ExitedWithCode(1),
              "^\\(Release_ValueStrings\\) Error: No corresponding "
              "Hold_ValueStrings!\n$");
}

TEST(TextHelpers, ReduceFillupEmpty) {
  char *r = Reduce_String("abc   ");
  EXPECT_STREQ(r, "abc");
  myfree(r);
  char *f = Fillup_String("ab", 5);
  EXPECT_STREQ(f, "ab   ");
  myfree(f);
  f = Fillup_String("abcdef", 3);
  EXPECT_STREQ(f, "abcdef");
  myfree(f);
  EXPECT_EQ(Is_EmptyString(""), 1);
  EXPECT_EQ(Is_EmptyString(" \t\n"), 1);
  EXPECT_EQ(Is_EmptyString(nullptr), 1);
  EXPECT_EQ(Is_EmptyString("  a "), 0);
}

TEST(TextHelpers, MyStrcmpIgnoresTrailingBlanks) {
  EXPECT_EQ(my_strcmp("ABC", "ABC   "), 1);
  EXPECT_EQ(my_strcmp("ABC  ", "ABC"), 1);
  EXPECT_EQ(my_strcmp("ABC", "ABD"), 0);
  EXPECT_EQ(my_strcmp("ABC", " ABC"), 0);
  EXPECT_EQ(my_strcmp("ABC", "ABCD"), 0);
  EXPECT_EQ(my_strcmp("", "   "), 1);
}

TEST(TextHelpers, MystrcmpSortOrder) {
  EXPECT_EQ(mystrcmp("\xc4pfel", "Apfel"), 0);
  EXPECT_EQ(mystrcmp("\xc4pfel", "Birne"), -1);
  EXPECT_EQ(mystrcmp("\xd6l", "Ol"), 0);
  EXPECT_EQ(mystrcmp("\xdc"
                     "ber",
                     "uber"),
            0);
  EXPECT_EQ(mystrcmp("Abc", "ABC"), 0);
  EXPECT_EQ(mystrcmp("ABC", "ABCD"), -1);
  EXPECT_EQ(mystrcmp("ABCD", "ABC"), 1);
  EXPECT_EQ(mystrcmp("abd", "ABC"), 1);
  EXPECT_EQ(mystrcmp("", ""), 0);
  // Signed characters: from 128 up everything sorts before ASCII.
  EXPECT_EQ(mystrcmp("\xe9t\xe9", "A"), -1);
  EXPECT_EQ(mystrcmp("1", "\xdf"), 1);
}

TEST(TextHelpers, BoundedCopy) {
  char buf[5];
  CaptureStdout();
  EXPECT_EQ(my_strncpy(buf, "ABCD    ", 4), 1);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_STREQ(buf, "ABCD");
  EXPECT_EQ(my_strncpy(buf, "AB  ", 4), 1);
  EXPECT_STREQ(buf, "AB  ");
  CaptureStdout();
  EXPECT_EQ(my_strncpy(buf, "ABCDE", 4), 0);
  EXPECT_EQ(GetCapturedStdout(), "(my_strncpy): String too long (strlen = 5; size = 4)!\n");
  EXPECT_STREQ(buf, "ABCD");
  CaptureStdout();
  EXPECT_EQ(my_strncpy(buf, "ABC DE  ", 4), 0);
  EXPECT_EQ(GetCapturedStdout(), "(my_strncpy): String too long (strlen = 8; size = 4)!\n");
  EXPECT_STREQ(buf, "ABC ");
}

TEST(TextHelpers, XAtof) {
  EXPECT_DOUBLE_EQ(XAtof("12.5 kg"), 12.5);
  EXPECT_DOUBLE_EQ(XAtof(" 12.5"), 0.0);
  EXPECT_DOUBLE_EQ(XAtof(""), 0.0);
  EXPECT_DOUBLE_EQ(XAtof("-3e2"), -300.0);
  EXPECT_DOUBLE_EQ(XAtof("abc"), 0.0);
  // Only the first 9999 characters are read: the tail "5e9999" would make
  // the whole text 50.
  std::string longtext = "0." + std::string(9997, '0') + "5e9999";
  EXPECT_DOUBLE_EQ(strtod(longtext.c_str(), nullptr), 50.0);
  EXPECT_DOUBLE_EQ(XAtof(longtext.c_str()), 0.0);
  Set_Nachkommastellen(3);
  EXPECT_EQ(myfl_comma, 3);
}

}  // namespace
