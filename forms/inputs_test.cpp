// Tests of the typed-input conversions without X.
// GoogleTest comes before the X headers, whose macro None clashes with it.
#include <gtest/gtest.h>

#include "forms/inputs.h"

#include <clocale>

namespace {

TEST(Inputs, ShortValues) {
  EXPECT_EQ(input_short_value("12"), 12);
  EXPECT_EQ(input_short_value(" 12"), 12);
  EXPECT_EQ(input_short_value("-5"), -5);
  EXPECT_EQ(input_short_value("12a"), INPUT_NO_SHORT);
  EXPECT_EQ(input_short_value("12 "), INPUT_NO_SHORT);
  EXPECT_EQ(input_short_value(""), INPUT_NO_SHORT);
  EXPECT_EQ(input_short_value(nullptr), INPUT_NO_SHORT);
  EXPECT_EQ(input_short_value("32767"), 32767);
  // Outside a short: no value rather than a wrapped-around one.
  EXPECT_EQ(input_short_value("70000"), INPUT_NO_SHORT);
  EXPECT_EQ(input_short_value("-32769"), INPUT_NO_SHORT);
  EXPECT_EQ(input_short_text(INPUT_NO_SHORT), "");
  EXPECT_EQ(input_short_text(-5), "-5");
}

TEST(Inputs, UpperCaseTreatsLatin1BytesAsUnsigned) {
  EXPECT_EQ(input_upper("kunden_2"), "KUNDEN_2");
  EXPECT_EQ(input_upper(nullptr), "");
  // Without a Latin-1 locale the umlaut bytes pass unchanged (and never
  // reach toupper as negative values).
  EXPECT_EQ(input_upper("m\xfcller"), "M\xfcLLER");
  if (setlocale(LC_CTYPE, "de_DE.ISO-8859-1") || setlocale(LC_CTYPE, "de_DE")) {
    EXPECT_EQ(input_upper("m\xfcller"), "M\xdcLLER");
    setlocale(LC_CTYPE, "C");
  }
}

}  // namespace
