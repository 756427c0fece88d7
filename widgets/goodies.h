// The toolkit's modal goodies (alert, question, choice and input boxes) as
// the whole system uses them.  Every dialog of the framework and of the
// application goes through these four functions: the program gets the
// toolkit's boxes, which block until the user answers; a test installs a
// script instead, which answers each box in turn and records its texts, so
// that no test ever waits for a person.
#ifndef WIDGETS_GOODIES_H
#define WIDGETS_GOODIES_H

#include <deque>
#include <string>
#include <vector>

// fl_show_alert: three lines; centred on the screen when centre is non-zero.
void myfl_show_alert(const char *s1, const char *s2, const char *s3, int centre);
// fl_show_question: 1 for yes, 0 for no (def is the toolkit's default-button
// argument).
int myfl_show_question(const char *text, int def);
// fl_show_choice: three lines, nbuttons buttons; the number (1 ... 3) of the
// button pressed.
int myfl_show_choice(const char *s1, const char *s2, const char *s3, int nbuttons, const char *b1,
                     const char *b2, const char *b3, int def);
// fl_show_input: the text entered, owned by the toolkit (or the script) and
// valid until the next input box; null when the user cancelled.
const char *myfl_show_input(const char *prompt, const char *def);

enum { GOODIE_ALERT, GOODIE_QUESTION, GOODIE_CHOICE, GOODIE_INPUT };

// One expected box and its answer: the button number for a choice, 1/0 for
// a question, the text for an input (an alert needs none).
struct GOODIE_STEP {
  int kind;
  int answer;
  std::string text;
};

// What a box showed: its lines joined by line feeds (three lines for alerts
// and choices, one for questions and inputs) and, for a choice, its button
// labels joined by "|".
struct GOODIE_SHOWN {
  int kind;
  std::string text;
  std::string buttons;
};

// A test's stand-in for the user.  Each box takes the next step; a box for
// which no step of its kind is next is unscripted: it is recorded in
// unscripted, reported through on_unscripted (when set) and answered
// negatively (question 0, choice 0, input null), and the step stays.
struct GOODIES_SCRIPT {
  std::deque<GOODIE_STEP> steps;
  std::vector<GOODIE_SHOWN> shown;
  std::vector<std::string> unscripted;
  void (*on_unscripted)(const std::string &what) = nullptr;
  std::string input_answer;  // keeps the text an input box returned
};

// Installs script (not owned; it must outlive its use) or, with null, goes
// back to the toolkit's boxes.
void goodies_set_script(GOODIES_SCRIPT *script);

#endif
