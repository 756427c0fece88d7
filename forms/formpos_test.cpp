// Tests of the position rules: the ini key of a form name, the stored line
// and its reading, clamping onto the screen and the decoration offsets.
#include "forms/formpos.h"

#include <gtest/gtest.h>

namespace {

TEST(FormPos, KeyStopsAtTheFirstLineBreakAndDropsControlCharacters) {
  EXPECT_EQ(form_pos_key("Dadazudi-Zudeda 1.1.3 (c) A. Autor, 12.07.2003\n"),
            "Dadazudi-Zudeda 1.1.3 (c) A. Autor, 12.07.2003_XY");
  EXPECT_EQ(form_pos_key("erste\nzweite\n"), "erste_XY");
  EXPECT_EQ(form_pos_key("mit\r\nCRLF"), "mit_XY");
  EXPECT_EQ(form_pos_key("Tab\there\x7f\x01"), "Tabhere_XY");
  // Blanks and Latin-1 letters stay as they are.
  EXPECT_EQ(form_pos_key("Gro\xdf"
                         "e Liste "),
            "Gro\xdf"
            "e Liste _XY");
  EXPECT_EQ(form_pos_key(""), "_XY");
  EXPECT_EQ(form_pos_key(nullptr), "_XY");
  EXPECT_EQ(form_pos_key("\nnur danach"), "_XY");
}

TEST(FormPos, LineRoundTripsThroughParse) {
  std::string key = form_pos_key("Editor-Zoom");
  std::string line = form_pos_line(key, 120, -7);
  EXPECT_EQ(line, "[Editor-Zoom_XY] 120 -7\n");
  int x = 0, y = 0;
  ASSERT_TRUE(form_pos_parse(line.c_str(), key, &x, &y));
  EXPECT_EQ(x, 120);
  EXPECT_EQ(y, -7);
}

TEST(FormPos, ParseNeedsBothNumbers) {
  int x = 1, y = 2;
  EXPECT_FALSE(form_pos_parse(nullptr, "a_XY", &x, &y));
  EXPECT_FALSE(form_pos_parse("[a_XY] 10\n", "a_XY", &x, &y));
  EXPECT_FALSE(form_pos_parse("[a_XY] x 10\n", "a_XY", &x, &y));
  EXPECT_FALSE(form_pos_parse("kein Schluss", "a_XY", &x, &y));
  EXPECT_TRUE(form_pos_parse("[a_XY]   5   6 und mehr\n", "a_XY", &x, &y));
  EXPECT_EQ(x, 5);
  EXPECT_EQ(y, 6);
}

TEST(FormPos, ParseSkipsAKeyThatHoldsABracket) {
  std::string key = form_pos_key("Liste [alt]");
  std::string line = form_pos_line(key, 30, 40);
  EXPECT_EQ(line, "[Liste [alt]_XY] 30 40\n");
  int x = 0, y = 0;
  ASSERT_TRUE(form_pos_parse(line.c_str(), key, &x, &y));
  EXPECT_EQ(x, 30);
  EXPECT_EQ(y, 40);
}

TEST(FormPos, ClampPullsThePositionOntoTheScreen) {
  struct Case {
    int x, y, fw, fh, want_x, want_y;
  };
  for (const Case &c : {Case{100, 50, 400, 300, 100, 50},      // inside: unchanged
                        Case{5000, 5000, 400, 300, 880, 724},  // right and bottom edges
                        Case{-20, -1, 400, 300, 0, 0},         // left and top edges
                        Case{880, 724, 400, 300, 880, 724},    // exactly at the edges
                        Case{300, 200, 1500, 1100, 0, 0}}) {   // wider than the screen
    int x = c.x, y = c.y;
    form_pos_clamp(&x, &y, c.fw, c.fh, 1280, 1024);
    EXPECT_EQ(x, c.want_x) << c.x;
    EXPECT_EQ(y, c.want_y) << c.y;
  }
}

TEST(FormPos, DecorationOffsetsAreTakenOffWhenStoring) {
  EXPECT_EQ(form_deco_offset(105, 100), 5);
  EXPECT_EQ(form_deco_offset(100, 100), 0);
  EXPECT_EQ(form_deco_offset(90, 100), 0);
  EXPECT_EQ(form_pos_to_store(125, 5), 120);
  EXPECT_EQ(form_pos_to_store(3, 5), 3);  // smaller than the offset: as it is
  EXPECT_EQ(form_pos_to_store(5, 5), 0);
}

}  // namespace
