// The entries of a combo box and the rules on them, free of the toolkit:
// parsing the data string, the blank entry, the sort, prefix matching,
// choosing by code, stepping with Up/Down, and where the popup list opens.
// cmb.h puts them on the screen.
#ifndef FORMS_CMB_DATA_H
#define FORMS_CMB_DATA_H

#include <string>
#include <vector>

enum { CMB_MAX_KEYS = 10000 };

// The blank entry and the code of "nothing chosen".
extern const char CMB_BLANK_TEXT[];  // " "
extern const char CMB_BLANK_CODE[];  // "    "

struct CMB_DATA {
  std::vector<std::string> texts;  // display texts
  std::vector<std::string> codes;
  std::vector<int> line_map;  // list line n (from 1) shows entry line_map[n - 1]
  int selected = -1;          // the chosen entry, -1 for none
  int count() const { return static_cast<int>(texts.size()); }
};

// Appends the entries of a data string: entries separated by "|", each a
// text, ",", a code.  A text runs to the next "," (a "|" inside it does not
// end it) and loses its trailing blanks; without "," the code is empty; a
// "|" at the very end (and the empty string) adds an entry with empty text
// and code.  Unless no_blank, the blank entry follows.  The line map becomes
// the identity.  Returns 1, or 0 when the entries would exceed
// CMB_MAX_KEYS (the blank one included).
int cmb_parse(CMB_DATA *data, const char *text, int no_blank);

// Selection sort by text with mystrcmp (the first of equal texts first);
// codes move with their texts.
void cmb_sort(CMB_DATA *data);

// Whether typed is a prefix of text, letters compared in upper case (every
// text matches an empty typed text).
bool cmb_matches(const std::string &typed, const std::string &text);
// The first entry that typed matches, -1 for none.
int cmb_find(const CMB_DATA &data, const std::string &typed);
// The first entry whose code equals code apart from trailing blanks, -1.
int cmb_find_code(const CMB_DATA &data, const std::string &code);
// What the input shows for an entry's text: "" for an empty or blank one.
std::string cmb_shown_text(const std::string &text);

// One step from the input's text with Up (dir < 0) or Down: the entry to
// choose and whether the input is to be emptied (Up from the first entry).
// The data must hold entries.
struct CMB_STEP {
  int index;
  bool empty_input;
};
CMB_STEP cmb_step(const CMB_DATA &data, const std::string &input, int dir);

// The list's height for count entries: 14 per entry and 14 more, at most 250.
int cmb_list_height(int count);

// Where the popup list goes for an input at (in_x, in_y) of size in_w x
// in_h on a form whose window is at (form_x, form_y): (in_w + 20) x (list
// height + 20), at the input's left edge, just below the input or, when it
// would reach the screen's bottom edge, above it.
struct CMB_PLACE {
  int x, y, w, h;
};
CMB_PLACE cmb_list_place(int form_x, int form_y, int in_x, int in_y, int in_w, int in_h, int count,
                         int screen_h);

// The browser's top line that brings line (from 1) into view: line itself
// when it lies above top or at or below top + visible, else top.
int cmb_scroll_top(int line, int top, int visible);

#endif
