// The goodies of the system: the toolkit's modal boxes or a test's script;
// see goodies.h.
#include "widgets/goodies.h"

#include <forms.h>

#include <optional>

namespace {

GOODIES_SCRIPT *active_script = nullptr;

std::string text_of(const char *s) { return s ? s : ""; }

// The next step when it is of the expected kind; otherwise records the box
// as unscripted and gives nothing.
std::optional<GOODIE_STEP> take_step(int kind, const GOODIE_SHOWN &shown) {
  GOODIES_SCRIPT *s = active_script;
  s->shown.push_back(shown);
  if (!s->steps.empty() && s->steps.front().kind == kind) {
    GOODIE_STEP step = s->steps.front();
    s->steps.pop_front();
    return step;
  }
  static const char *const names[] = {"alert", "question", "choice", "input"};
  std::string what = std::string(names[kind]) + ": " + shown.text;
  s->unscripted.push_back(what);
  if (s->on_unscripted) s->on_unscripted(what);
  return std::nullopt;
}

}  // namespace

void goodies_set_script(GOODIES_SCRIPT *script) { active_script = script; }

void myfl_show_alert(const char *s1, const char *s2, const char *s3, int centre) {
  if (!active_script) {
    fl_show_alert(text_of(s1).c_str(), text_of(s2).c_str(), text_of(s3).c_str(), centre);
    return;
  }
  take_step(GOODIE_ALERT,
            {GOODIE_ALERT, text_of(s1) + "\n" + text_of(s2) + "\n" + text_of(s3), ""});
}

int myfl_show_question(const char *text, int def) {
  if (!active_script) return fl_show_question(text_of(text).c_str(), def);
  std::optional<GOODIE_STEP> step =
      take_step(GOODIE_QUESTION, {GOODIE_QUESTION, text_of(text), ""});
  return step ? step->answer : 0;
}

int myfl_show_choice(const char *s1, const char *s2, const char *s3, int nbuttons, const char *b1,
                     const char *b2, const char *b3, int def) {
  if (!active_script)
    return fl_show_choice(text_of(s1).c_str(), text_of(s2).c_str(), text_of(s3).c_str(), nbuttons,
                          text_of(b1).c_str(), text_of(b2).c_str(), text_of(b3).c_str(), def);
  std::string buttons;
  const char *labels[] = {b1, b2, b3};
  for (int i = 0; i < nbuttons && i < 3; i++) buttons += (i ? "|" : "") + text_of(labels[i]);
  std::optional<GOODIE_STEP> step =
      take_step(GOODIE_CHOICE,
                {GOODIE_CHOICE, text_of(s1) + "\n" + text_of(s2) + "\n" + text_of(s3), buttons});
  return step ? step->answer : 0;
}

const char *myfl_show_input(const char *prompt, const char *def) {
  if (!active_script) return fl_show_input(text_of(prompt).c_str(), text_of(def).c_str());
  std::optional<GOODIE_STEP> step = take_step(GOODIE_INPUT, {GOODIE_INPUT, text_of(prompt), ""});
  if (!step) return nullptr;
  active_script->input_answer = step->text;
  return active_script->input_answer.c_str();
}
