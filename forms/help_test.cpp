// The help dialog's rules that need no display: the text an HTML editor
// saved between the body tags, and the command that starts the external
// editor (the ini entry, the default, $VISUAL/$EDITOR in a
// terminal, none).  The dialog itself is tested in dialogs_gui_test.
// GoogleTest comes before the X headers, whose macro None clashes with it.
#include <gtest/gtest.h>

#include "forms/help.h"

#include <string>

namespace {

std::string body(const std::string &html) {
  std::string text = "<unchanged>";
  return help_body_text(html, &text) ? text : "(none)";
}

TEST(HelpBody, TheTextBetweenTheBodyTags) {
  // What the dialog writes comes back unchanged.
  EXPECT_EQ(body("<html>\n<body>\nZeile 1\n<b>Zeile 2</b>\n</body>\n</html>\n"),
            "Zeile 1\n<b>Zeile 2</b>\n");
  // An editor's own way of writing it: attributes, upper case, no line feeds.
  EXPECT_EQ(body("<HTML><HEAD><TITLE>t</TITLE></HEAD><BODY BGCOLOR=\"#ffffff\">Text</BODY>"),
            "Text");
  EXPECT_EQ(body("<html><body></body></html>"), "");  // empty, never a negative length
  EXPECT_EQ(body("<html><body>\n</body>"), "");
  EXPECT_EQ(body("<bodyguard>x</body>"), "(none)");
  EXPECT_EQ(body("<html>Text</html>"), "(none)");
  EXPECT_EQ(body("<body>Text ohne Ende"), "(none)");
  EXPECT_EQ(body(""), "(none)");
}

TEST(HelpEditor, CommandChoice) {
  const char *file = "hilfetxt.tmp";
  // The ini entry wins and gets the file; its program is checked first.
  EXPECT_EQ(help_editor_command("bluefish -n", true, "vi", "ed", "xterm", file),
            "command -v 'bluefish' >/dev/null 2>&1 || exit 127; bluefish -n 'hilfetxt.tmp' "
            ">/dev/null 2>&1 &");
  // Without it the default, when installed.
  EXPECT_EQ(help_editor_command("", true, "vi", nullptr, "xterm", file), "Netscape -composer&");
  EXPECT_EQ(help_editor_command(nullptr, true, nullptr, nullptr, "", file), "Netscape -composer&");
  // Then $VISUAL, else $EDITOR, in a terminal window.
  EXPECT_EQ(help_editor_command("", false, "vim -p", "ed", "xterm", file),
            "command -v 'xterm' >/dev/null 2>&1 || exit 127; command -v 'vim' >/dev/null 2>&1 "
            "|| exit 127; xterm -e vim -p 'hilfetxt.tmp' >/dev/null 2>&1 &");
  EXPECT_NE(help_editor_command("", false, "", "nano", "x-terminal-emulator", file)
                .find("x-terminal-emulator -e nano 'hilfetxt.tmp'"),
            std::string::npos);
  // Nothing to start.
  EXPECT_EQ(help_editor_command("", false, "", "", "xterm", file), "");
  EXPECT_EQ(help_editor_command("", false, "vi", nullptr, "", file), "");
}

}  // namespace
