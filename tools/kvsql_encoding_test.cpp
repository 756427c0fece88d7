// Tests of the conversion between a terminal's character set and Latin-1:
// both directions for every Latin-1 character, refusals with the character
// and its place, and the sets that pass bytes unchanged.
#include "tools/kvsql_encoding.h"

#include <gtest/gtest.h>

TEST(Recoder, Utf8BothWays) {
  Recoder r(false, "UTF-8");
  ASSERT_TRUE(r.ok());
  EXPECT_FALSE(r.passes_bytes());
  std::string latin1, out;
  for (int c = 1; c < 256; c++) latin1 += static_cast<char>(c);
  std::string utf8 = r.from_latin1(latin1);
  EXPECT_EQ(utf8.size(), 127u + 2 * 128u);
  RecodeError err;
  ASSERT_TRUE(r.to_latin1(utf8, &out, &err));
  EXPECT_EQ(out, latin1);
  ASSERT_TRUE(r.to_latin1("M\xc3\xbcnchen", &out, &err));
  EXPECT_EQ(out, "M\xfcnchen");
}

TEST(Recoder, RefusesWithCharacterAndPlace) {
  Recoder r(false, "UTF-8");
  std::string out;
  RecodeError err;
  ASSERT_FALSE(r.to_latin1("\xc3\xa4\n12\xe2\x82\xac", &out, &err));
  EXPECT_EQ(err.offset, 5u);
  EXPECT_EQ(err.line, 1u);
  EXPECT_EQ(err.index, 5u);  // \xc3\xa4 is one character
  EXPECT_EQ(err.code, 0x20acu);
  EXPECT_EQ(recode_error_text(err, r.charset()),
            "the character \"\xe2\x82\xac\" (U+20AC) has no Latin-1 form");
  ASSERT_FALSE(
      r.to_latin1("ab\xff"
                  "c",
                  &out, &err));
  EXPECT_TRUE(err.invalid);
  EXPECT_EQ(err.index, 3u);
  EXPECT_EQ(recode_error_text(err, r.charset()), "the bytes \\xff are no UTF-8 character");
  ASSERT_FALSE(r.to_latin1("x\xf0\x9f\x98\x80", &out, &err));
  EXPECT_EQ(recode_error_text(err, r.charset()),
            "the character \"\xf0\x9f\x98\x80\" (U+1F600) has no Latin-1 form");
}

TEST(Recoder, SetsThatPassBytes) {
  for (const char *cs : {"ISO-8859-1", "latin1", "ANSI_X3.4-1968"}) {
    Recoder r(false, cs);
    EXPECT_TRUE(r.passes_bytes()) << cs;
  }
  Recoder raw(true, "UTF-8");
  std::string out;
  RecodeError err;
  ASSERT_TRUE(raw.to_latin1("\xe2\x82\xac", &out, &err));
  EXPECT_EQ(out, "\xe2\x82\xac");
  EXPECT_EQ(raw.from_latin1("\xfc"), "\xfc");
  EXPECT_FALSE(Recoder(false, "NO-SUCH-SET").ok());
  // Latin-9 holds the euro sign where Latin-1 has the currency sign.
  Recoder l9(false, "ISO-8859-15");
  ASSERT_TRUE(l9.ok());
  EXPECT_FALSE(l9.to_latin1("\xa4", &out, &err));
}
