// Tests of the editor's X-free rules: re-wrapping, the status text, the
// 50 ms key filter and the cursor marker's place.  Text widths here are
// 10 pixels per character.
// GoogleTest comes before the X headers, whose macro None clashes with it.
#include <gtest/gtest.h>

#include "widgets/editor.h"

namespace {

int ten_each(const char *, int n) { return 10 * n; }

// Lines of at most 6 characters fit: 7 * 10 = 70 >= 73 - 3.
std::string wrap(const std::string &text) { return editor_wrap(text, 73, ten_each); }

TEST(EditorWrap, BreaksAtTheLastBlankThatFits) {
  EXPECT_EQ(wrap("ab cd ef gh"), "ab cd \nef gh");
  EXPECT_EQ(wrap("abcdef"), "abcdef");    // fits: unchanged
  EXPECT_EQ(wrap("abcdef "), "abcdef ");  // one trailing blank is not counted
  EXPECT_EQ(wrap("ab cd ef gh\n"), "ab cd \nef gh\n");
  EXPECT_EQ(wrap("eins\nzwei drei vier\n\nx"), "eins\nzwei \ndrei \nvier\n\nx");
  EXPECT_EQ(wrap(""), "");
  // A wrapped text wraps to itself.
  EXPECT_EQ(wrap(wrap("aa bb cc dd ee ff gg")), wrap("aa bb cc dd ee ff gg"));
}

TEST(EditorWrap, ASingleWordIsHalvedUntilEachPieceFits) {
  // 16 characters: the piece ends after the middle one (9), then after the
  // middle of those (5); the rest (11) is cut after its middle again.
  EXPECT_EQ(wrap("abcdefghijklmnop"), "abcde\nfghijk\nlmnop");
  // 7 characters: the middle one ends the first piece.
  EXPECT_EQ(wrap("abcdefg"), "abcd\nefg");
  // A blank at the line's start does not make an empty piece.
  EXPECT_EQ(wrap(" abcdefg"), " abcd\nefg");
  // Nothing fits at all: the pieces stop at two characters.
  EXPECT_EQ(editor_wrap("abcd", 1, ten_each), "ab\ncd");
}

TEST(EditorStatus, LineAndColumnFromOne) {
  std::string status = "unchanged";
  EXPECT_FALSE(editor_status_text("", true, 1, 0, &status));
  EXPECT_FALSE(editor_status_text(" \n\t ", true, 2, 0, &status));
  EXPECT_EQ(status, "unchanged");
  EXPECT_TRUE(editor_status_text("a\nb\nc", true, 3, 0, &status));
  EXPECT_EQ(status, "3:1");
  EXPECT_TRUE(editor_status_text("abc", true, 1, 3, &status));
  EXPECT_EQ(status, "1:4");
  EXPECT_TRUE(editor_status_text("abc", false, 0, -1, &status));
  EXPECT_EQ(status, "");
}

TEST(EditorKeys, AtMostOneKeyPerFiftyMilliseconds) {
  EDITOR_KEYFILTER f;
  EXPECT_TRUE(editor_key_pass(&f, 1000));
  EXPECT_FALSE(editor_key_pass(&f, 1020));
  EXPECT_FALSE(editor_key_pass(&f, 1049));
  EXPECT_TRUE(editor_key_pass(&f, 1050));  // measured from the last key let through
  EXPECT_FALSE(editor_key_pass(&f, 1099));
  EXPECT_TRUE(editor_key_pass(&f, 5000));
  // The X server's clock wraps around after 2^32 ms.
  EDITOR_KEYFILTER w;
  w.seen = 1;
  w.last = 0xfffffff0UL;
  EXPECT_FALSE(editor_key_pass(&w, 0xfffffff0UL + 20));
}

TEST(EditorMarker, ShownOnlyForLinesOnScreen) {
  // Editor at y 100, 200 high, 10 screen lines: 182 / 11 = 16 pixels a line.
  EXPECT_EQ(editor_marker_y(100, 200, 5, 5, 10), 104);
  EXPECT_EQ(editor_marker_y(100, 200, 7, 5, 10), 104 + 2 * 16);
  EXPECT_EQ(editor_marker_y(100, 200, 15, 5, 10), 104 + 10 * 16);
  EXPECT_EQ(editor_marker_y(100, 200, 16, 5, 10), -1);
  EXPECT_EQ(editor_marker_y(100, 200, 4, 5, 10), -1);
}

}  // namespace
