// The X-free rules of the table export (tbexp.h): the file-name rule, the
// number test, and the tab-separated text made from a tabbox's title and
// lines, which are cut into columns at the title's "|" positions.
#ifndef FORMS_TBEXP_TEXT_H
#define FORMS_TBEXP_TEXT_H

#include <string>
#include <vector>

enum { TBEXP_NAME_MAX = 58 };  // characters of a file name without suffix

// 1 when text holds only digits, "-" and at most one "." (so "", "-" and
// "1-2" count), else 0.
int is_number_string(const char *text);
// Replaces every from by to in text, in place.  Returns 1.
int repl_char_string(char *text, char from, char to);

// 1 when name is a usable export file name: not empty and only ASCII
// letters, digits and "_".
int tbexp_valid_name(const char *name);

// One column of the title: where its text starts and how wide it is.
struct TBEXP_SLOT {
  size_t start, width;
};
// The title's slots: from its start and after each "|", blanks skipped;
// a slot runs to the character before the next "|" (exclusive) or to the
// end of the title.
std::vector<TBEXP_SLOT> tbexp_slots(const std::string &title);

// The export text: the title and then each line, one row each, with the
// fields of columns (numbers from 1 = the first slot) in the given order.
// A field is the line's text in the column's slot, trailing blanks dropped,
// tabs written "_", and a number written with "," for ".".  Fields are
// separated by tabs, rows end in a line feed; a row without fields adds
// nothing.  Column numbers outside the slots are skipped.
std::string tbexp_text(const std::string &title, const std::vector<std::string> &lines,
                       const std::vector<int> &columns);

// The columns of "exp. Tabbox": display positions 1 ... count-1 of order,
// skipping -1 entries and columns whose visible flag is 0 (both arrays
// indexed by position / column, count entries each).
std::vector<int> tbexp_display_columns(int count, const int *order, const int *visible);
// The columns of "exp. alle Daten": 1 ... count-1.
std::vector<int> tbexp_all_columns(int count);

#endif
