// Tests of the goodies' script: answers in order, texts recorded, boxes
// without a step reported instead of blocking.
#include "widgets/goodies.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> reported;
void report(const std::string &what) { reported.push_back(what); }

TEST(Goodies, ScriptAnswersInOrderAndRecordsTexts) {
  GOODIES_SCRIPT script;
  script.steps = {{GOODIE_ALERT, 0, ""},
                  {GOODIE_CHOICE, 2, ""},
                  {GOODIE_QUESTION, 1, ""},
                  {GOODIE_INPUT, 0, "neu"}};
  goodies_set_script(&script);
  myfl_show_alert("Fehler", nullptr, "", 1);
  EXPECT_EQ(myfl_show_choice("Datei existiert bereits", "",
                             "Soll Datei \xfc"
                             "berschrieben werden?",
                             2, "Ja", "Nein", "", 3),
            2);
  EXPECT_EQ(myfl_show_question("Weiter?", 0), 1);
  EXPECT_STREQ(myfl_show_input("Name:", "alt"), "neu");
  goodies_set_script(nullptr);
  EXPECT_TRUE(script.steps.empty());
  EXPECT_TRUE(script.unscripted.empty());
  ASSERT_EQ(script.shown.size(), 4u);
  EXPECT_EQ(script.shown[0].kind, GOODIE_ALERT);
  EXPECT_EQ(script.shown[0].text, "Fehler\n\n");
  EXPECT_EQ(script.shown[1].text,
            "Datei existiert bereits\n\nSoll Datei \xfc"
            "berschrieben werden?");
  EXPECT_EQ(script.shown[1].buttons, "Ja|Nein");
  EXPECT_EQ(script.shown[2].text, "Weiter?");
  EXPECT_EQ(script.shown[3].text, "Name:");
}

TEST(Goodies, UnscriptedBoxesAreReportedAndAnsweredNegatively) {
  GOODIES_SCRIPT script;
  script.on_unscripted = report;
  script.steps = {{GOODIE_ALERT, 0, ""}};
  reported.clear();
  goodies_set_script(&script);
  // A choice where an alert is expected: reported, the alert step stays.
  EXPECT_EQ(myfl_show_choice("Soll beendet werden?", "", "", 2, "Ja", "Nein", "", 3), 0);
  myfl_show_alert("a", "b", "c", 1);
  EXPECT_EQ(myfl_show_question("q", 1), 0);
  EXPECT_EQ(myfl_show_input("p", "d"), nullptr);
  goodies_set_script(nullptr);
  EXPECT_EQ(reported, (std::vector<std::string>{"choice: Soll beendet werden?\n\n", "question: q",
                                                "input: p"}));
  EXPECT_EQ(script.unscripted, reported);
  EXPECT_EQ(script.shown.size(), 4u);
}

}  // namespace
