// Typed inputs; see inputs.h.
#include "forms/inputs.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/mem.h"
#include "base/valuestr.h"
#include "forms/objdata.h"
#include "widgets/editor.h"

enum { EDITOR_KEEP_BLANKS = 10000 };

short input_short_value(const char *text) {
  int value = 0;
  char rest = 0;
  if (!text || sscanf(text, "%d%c", &value, &rest) != 1) return INPUT_NO_SHORT;
  if (value < -32768 || value > 32767) return INPUT_NO_SHORT;
  return static_cast<short>(value);
}

std::string input_short_text(short value) {
  return value == INPUT_NO_SHORT ? std::string() : std::to_string(value);
}

std::string input_upper(const char *text) {
  std::string out = text ? text : "";
  for (char &c : out) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return out;
}

int myfl_init_input(FL_OBJECT *object, int maxchars) {
  FL_OBJECT *input = object;
  if (fl_is_editor(object)) {
    fl_set_editor_maxchars(object, maxchars);
    input = fl_get_editor_input_object(object);
  } else if (maxchars != 0) {
    fl_set_input_maxchars(object, maxchars);
  }
  if (input) {
    fl_set_input_color(input, FL_BLACK, FL_BLUE);
    fl_set_input_return(input, FL_RETURN_CHANGED);
  }
  myfl_add_obj_data1(object, OBJDATA_INPUT, maxchars);
  return 1;
}

int myfl_set_input(FL_OBJECT *object, const char *text) {
  const char *given = text ? text : "";
  if (fl_is_editor(object) && strlen(given) >= EDITOR_KEEP_BLANKS) {
    fl_set_editor(object, given);
    return 1;
  }
  char *reduced = Reduce_String(given);
  if (fl_is_editor(object))
    fl_set_editor(object, reduced);
  else
    fl_set_input(object, reduced);
  myfree(reduced);
  return 1;
}

const char *myfl_get_input(FL_OBJECT *object) {
  const char *text = fl_is_editor(object) ? fl_get_editor_input(object) : fl_get_input(object);
  return text ? text : "";
}

int myfl_set_input_short(FL_OBJECT *object, short value) {
  fl_set_input(object, input_short_text(value).c_str());
  return 1;
}

short myfl_get_input_short(FL_OBJECT *object) { return input_short_value(myfl_get_input(object)); }

int myfl_set_button(FL_OBJECT *object, int state) {
  fl_set_button(object, state == '1' || state == 1);
  return 1;
}

char myfl_get_button(FL_OBJECT *object) { return fl_get_button(object) ? '1' : '0'; }

void myfl_cb_upper_input(FL_OBJECT *object, long) {
  const char *text = fl_get_input(object);
  std::string upper = input_upper(text);
  if (upper == (text ? text : "")) return;
  int col = 0, line = 0;
  int pos = fl_get_input_cursorpos(object, &col, &line);
  fl_set_input(object, upper.c_str());
  if (pos >= 0) fl_set_input_cursorpos(object, col, line);
}
