// Typed inputs: the operations that give every text input of the system the
// same look and behaviour, hide the difference between the toolkit's
// one-line input and the editor (widgets/editor.h), and convert between
// input texts and values (short integers, "0"/"1" button states).  The
// conversions are also plain functions without X at the end.
#ifndef FORMS_INPUTS_H
#define FORMS_INPUTS_H

#include <forms.h>

#include <string>

// The short integer that stands for no value, shown as an empty input.
enum { INPUT_NO_SHORT = -32768 };

// Limits the input (an editor always, 0 included; a toolkit input only for
// a maximum other than 0), sets black text with a blue cursor and reporting
// on every change, and records the maximum for the manual.  Returns 1.
int myfl_init_input(FL_OBJECT *object, int maxchars);
// Shows text without its trailing blanks; an editor keeps them for a text
// of 10000 characters or more.  Returns 1.
int myfl_set_input(FL_OBJECT *object, const char *text);
// The input's (or editor's) text, owned by the object; "" when it has none.
const char *myfl_get_input(FL_OBJECT *object);
// INPUT_NO_SHORT empties the input, any other value shows in decimal.
int myfl_set_input_short(FL_OBJECT *object, short value);
// The input's number (input_short_value).
short myfl_get_input_short(FL_OBJECT *object);
// Sets the button for '1' or 1, clears it for anything else.  Returns 1.
int myfl_set_button(FL_OBJECT *object, int state);
// '1' when the button is set, else '0'.
char myfl_get_button(FL_OBJECT *object);
// Object callback of inputs that take upper case only: upper-cases the
// text while the user types, keeping the cursor where it was.
void myfl_cb_upper_input(FL_OBJECT *object, long data);

// Exactly one integer (leading white space allowed) and nothing after it
// gives its value; anything else, and a number outside the range of a
// short, gives INPUT_NO_SHORT.
short input_short_value(const char *text);
// "" for INPUT_NO_SHORT, else "%d".
std::string input_short_text(short value);
// Every character through toupper (as unsigned char: Latin-1 bytes are
// negative as char).
std::string input_upper(const char *text);

#endif
