// The help file without X: sections read, replaced and appended with the
// rest of the file kept byte for byte (also through the application's
// help file in a temporary directory), the display text with the "&lt;"
// escape, the HTML check's accepted and refused tags, and the internal
// parts left out of the manual.
#include "forms/helpfile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "forms/forms.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_files.h"

namespace {

const std::string kFile =
    "[DBV_HLP]\nHaupt<b>fenster</b>\n\n"
    "[Hinweis]\nkein Hilfe-Abschnitt\n"
    "[DDBV_HLP]\nDetail\n\n"
    "[COMBO_HLP]\nListe\n";

TEST(HelpSection, FindsTheSectionAndItsLines) {
  HELP_SECTION s = help_find_section(kFile, "DBV_HLP");
  ASSERT_TRUE(s.found);
  EXPECT_EQ(s.line, 1);
  EXPECT_EQ(kFile.substr(s.body, s.end - s.body), "Haupt<b>fenster</b>\n\n");
  // Any head line ends a section when it is read, also one without HLP.
  s = help_find_section(kFile, "Hinweis");
  EXPECT_EQ(s.line, 4);
  EXPECT_EQ(kFile.substr(s.body, s.end - s.body), "kein Hilfe-Abschnitt\n");
  s = help_find_section(kFile, "COMBO_HLP");
  EXPECT_EQ(kFile.substr(s.body, s.end - s.body), "Liste\n");
  EXPECT_EQ(s.end, kFile.size());
  // Keys compare exactly; "[]" is no head line.
  EXPECT_FALSE(help_find_section(kFile, "dbv_hlp").found);
  EXPECT_FALSE(help_find_section("[]\nx\n", "").found);
  EXPECT_FALSE(help_find_section("", "DBV_HLP").found);
  // A head line's key runs to the first "]"; what follows is ignored.
  s = help_find_section("[A_HLP] alt\ntext\n", "A_HLP");
  ASSERT_TRUE(s.found);
  EXPECT_EQ(s.body, 12u);
}

TEST(HelpSection, LongLinesAreReadInPieces) {
  // A line of 9998 characters and then "[X_HLP]" on the same line: the
  // second piece starts with "[" and counts as a head line.
  std::string file = "[A_HLP]\n" + std::string(HELP_LINE_MAX, 'x') + "[X_HLP]\nrest\n";
  HELP_SECTION a = help_find_section(file, "A_HLP");
  EXPECT_EQ(a.end - a.body, static_cast<size_t>(HELP_LINE_MAX));
  HELP_SECTION x = help_find_section(file, "X_HLP");
  ASSERT_TRUE(x.found);
  EXPECT_EQ(x.line, 3);
}

TEST(HelpSection, ReplacingKeepsEveryOtherByte) {
  // Middle section: only its body changes.
  std::string out = help_put_section(kFile, "DDBV_HLP", "Neu\nzweite Zeile");
  EXPECT_EQ(out,
            "[DBV_HLP]\nHaupt<b>fenster</b>\n\n"
            "[Hinweis]\nkein Hilfe-Abschnitt\n"
            "[DDBV_HLP]\nNeu\nzweite Zeile\n"
            "[COMBO_HLP]\nListe\n");
  // The section before a head line without HLP: the lines under that head
  // were never part of the text that was read, so they stay.
  out = help_put_section(kFile, "DBV_HLP", "X\n");
  EXPECT_EQ(out,
            "[DBV_HLP]\nX\n[Hinweis]\nkein Hilfe-Abschnitt\n[DDBV_HLP]\nDetail\n\n"
            "[COMBO_HLP]\nListe\n");
  // The last section, and a read-and-write round trip that changes nothing.
  out = help_put_section(kFile, "COMBO_HLP", "Liste\n");
  EXPECT_EQ(out, kFile);
  // Bytes that are no text (NUL, CR) outside the section stay.
  std::string odd = std::string("[A_HLP]\nalt\n[B_HLP]\nx\0y\r\n", 24);
  EXPECT_EQ(help_put_section(odd, "A_HLP", "neu\n"),
            std::string("[A_HLP]\nneu\n[B_HLP]\nx\0y\r\n", 24));
}

TEST(HelpSection, AppendingAndEmptyBodies) {
  EXPECT_EQ(help_put_section(kFile, "HELP_HLP", "Hilfe"), kFile + "\n[HELP_HLP]\nHilfe\n");
  EXPECT_EQ(help_put_section("", "A_HLP", ""), "\n[A_HLP]\n\n");
  // A file that ends without a line feed, and a head line that is the
  // file's last line without one: the text starts on a line of its own.
  EXPECT_EQ(help_put_section("[A_HLP]\nx", "B_HLP", "y\n"), "[A_HLP]\nx\n[B_HLP]\ny\n");
  EXPECT_EQ(help_put_section("[A_HLP]", "A_HLP", "neu"), "[A_HLP]\nneu\n");
  // An empty body in the middle becomes one empty line.
  EXPECT_EQ(help_put_section("[A_HLP]\n[B_HLP]\nb\n", "A_HLP", ""), "[A_HLP]\n\n[B_HLP]\nb\n");
}

TEST(HelpText, DisplayTextDropsTagsAndResolvesTheEscapes) {
  EXPECT_EQ(help_display_text("Haupt<b>fenster</b>\n"), "Hauptfenster\n");
  EXPECT_EQ(help_display_text("eins<br>zwei"), "einszwei");  // words run together
  EXPECT_EQ(help_display_text("a &lt; b &gt; c &amp;lt; &amp;"), "a < b > c &lt; &");
  EXPECT_EQ(help_display_text("offen <b bleibt"), "offen ");
  EXPECT_EQ(help_display_text("a > b & c &uuml;"), "a > b & c &uuml;");
  EXPECT_EQ(help_display_text("<intern>x</intern>y"), "xy");
}

TEST(HelpText, HtmlCheck) {
  std::string msg;
  for (const char *ok : {"<b>fett</b> und <font color=red>rot</font>", "<BR>",
                         "<h1 align=center>T</h1>", "<p>", "<img src=\"Doku/x.gif\">",
                         "<intern>a</intern>", "<ul><li>x</ul>", "a &lt; b", "ohne Befehle", ""}) {
    EXPECT_EQ(check_help(ok, &msg), 1) << ok << ": " << msg;
  }
  struct Refused {
    const char *text, *message;
  };
  for (const Refused &r :
       {Refused{"<a href=x.htm>link</a>", "HTML-Befehl 'a href=x.htm' nicht zul\xe4ssig."},
        Refused{"<A HREF=X>", "HTML-Befehl 'a href=x' nicht zul\xe4ssig."},
        Refused{"<br >", "HTML-Befehl 'br ' nicht zul\xe4ssig."},
        Refused{"<b class=x>", "HTML-Befehl 'b class=x' nicht zul\xe4ssig."},
        Refused{"<body>", "HTML-Befehl 'body' nicht zul\xe4ssig."},
        Refused{"<!-- x -->", "HTML-Befehl '!-- x --' nicht zul\xe4ssig."},
        Refused{"<pfeil>", "HTML-Befehl 'pfeil' nicht zul\xe4ssig."},
        Refused{"a < <b>x</b>", "HTML-Befehl ' <b' nicht zul\xe4ssig."},
        Refused{"ok <b>bis hier <i",
                "Schlie\xdf"
                "ende Befehlsklammer '>' fehlt."}}) {
    msg.clear();
    EXPECT_EQ(check_help(r.text, &msg), 0) << r.text;
    EXPECT_EQ(msg, r.message) << r.text;
  }
}

TEST(HelpText, InternalPartsLeaveTheManual) {
  kv_capture_log();
  EXPECT_EQ(help_without_intern("eins<intern>geheim</intern>zwei", "K"), "eins\nzwei");
  EXPECT_EQ(help_without_intern("a<INTERN>x</Intern>b<intern>y</intern>c", "K"), "a\nb\nc");
  // A closing tag before the opening one does not count.
  EXPECT_EQ(help_without_intern("a</intern>b<intern>c</intern>", "K"), "a</intern>b\n");
  EXPECT_EQ(kv_captured_log(), "");
  kv_capture_log();
  EXPECT_EQ(help_without_intern("a<intern>b", "DBV_HLP"), "a<intern>b");
  EXPECT_EQ(kv_captured_log(), "Warnung (Hilfetext 'DBV_HLP'): <intern> ohne </intern>!\n");
}

class HelpFile : public TempDirTest {
 protected:
  HelpFile() : TempDirTest("helpfile_") {}
  void SetUp() override {
    TempDirTest::SetUp();
    ASSERT_NE(getcwd(old_, sizeof old_), nullptr);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    myfl_set_applname("hlptest");
  }
  void TearDown() override {
    ASSERT_EQ(chdir(old_), 0);
    TempDirTest::TearDown();
  }
  char old_[4096];
};

TEST_F(HelpFile, TheApplicationsHelpFile) {
  EXPECT_EQ(help_file_name(), "hlptest.hlp");
  // A missing file reads as one without sections; the first save makes it.
  EXPECT_EQ(find_help("DBV_HLP"), 0);
  EXPECT_EQ(get_edit_help("DBV_HLP"), "");
  EXPECT_EQ(set_help("DBV_HLP", "Haupt<b>fenster</b>"), 1);
  EXPECT_EQ(ReadFile("hlptest.hlp"), "\n[DBV_HLP]\nHaupt<b>fenster</b>\n");
  EXPECT_EQ(find_help("DBV_HLP"), 2);
  EXPECT_EQ(get_edit_help("DBV_HLP"), "Haupt<b>fenster</b>\n");
  EXPECT_EQ(get_help("DBV_HLP"), "Hauptfenster\n");

  WriteFile("hlptest.hlp", kFile);
  chmod("hlptest.hlp", 0640);
  EXPECT_EQ(set_help("DDBV_HLP", "D\xe9tail\n"), 1);
  EXPECT_EQ(ReadFile("hlptest.hlp"),
            "[DBV_HLP]\nHaupt<b>fenster</b>\n\n[Hinweis]\nkein Hilfe-Abschnitt\n"
            "[DDBV_HLP]\nD\xe9tail\n[COMBO_HLP]\nListe\n");
  struct stat st;
  ASSERT_EQ(stat("hlptest.hlp", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(FilesInDir(), 1);  // no temporary file left behind
}

TEST_F(HelpFile, AFailedWriteKeepsTheOldFile) {
  // A file size limit below the new file's size makes the write fail, as a
  // full disk would (also for root).
  std::string big(4000, 'x');
  WriteFile("hlptest.hlp", kFile);
  struct rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  struct rlimit small = old_limit;
  small.rlim_cur = 1000;
  void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  testing::internal::CaptureStdout();
  int result = set_help("DBV_HLP", big.c_str());
  std::string out = testing::internal::GetCapturedStdout();
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(out, "Cannot open file 'hlptest.hlp'!");
  EXPECT_EQ(ReadFile("hlptest.hlp"), kFile);
  EXPECT_EQ(FilesInDir(), 1);
}

}  // namespace
