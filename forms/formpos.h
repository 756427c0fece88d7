// Where a form appears: the X-free rules behind myfl_show_form and
// myfl_hide_form.  A form's position lives in the application's ini file
// under the key "<name>_XY" as the line "[<key>] x y"; a stored position is
// pulled onto the screen before use, and the window manager's decoration
// offsets measured at showing are taken off again when the position is
// stored, so that the stored point is where the window was asked to appear.
#ifndef FORMS_FORMPOS_H
#define FORMS_FORMPOS_H

#include <string>

// The ini key of a form name: the name up to its first line break (line
// feed or carriage return), without its other control characters (below
// 32 and 127), followed by "_XY".  A window title that ends in a line break
// thus gives a key that fits the one-line entries of the ini file.
std::string form_pos_key(const char *name);

// The entry line "[key] x y\n".
std::string form_pos_line(const std::string &key, int x, int y);

// Reads x and y from a stored entry line of key: after the bracketed key
// (after the first "]" when the line does not start with it) "%d %d".
// True only when both numbers were read.
bool form_pos_parse(const char *line, const std::string &key, int *x, int *y);

// Pulls a position onto the screen: x at most screen_w - form_w, then at
// least 0 (the lower bound wins for a form wider than the screen); y alike.
void form_pos_clamp(int *x, int *y, int form_w, int form_h, int screen_w, int screen_h);

// The decoration offset after a positioned show: where the client area
// landed minus where it was asked to appear, at least 0.
int form_deco_offset(int landed, int asked);

// The coordinate to store for a form at pos with the given offset: pos -
// offset, or pos itself when it is smaller than the offset.
int form_pos_to_store(int pos, int offset);

#endif
