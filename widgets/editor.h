// The editor: a composite XForms object for longer texts.  fl_add_editor
// puts on the current form an editor object (class 1002) and over it a
// multi-line text input, a status label above its right edge showing the
// cursor's line and column, a "Zoom" button that opens the text in the
// large editor-zoom dialog and a "Zeilenumbruch" button that re-wraps the
// text to the input's width; editors without a character limit also get a
// marker left of the input showing the cursor's line.  Every editor
// function accepts any of the editor's objects.  At most 100 editors exist
// at a time.
//
// The editor sits below the form framework: the zoom dialog, the focus move
// on Tab and the recording of shortcuts reach it through editor_hooks, which
// the framework fills when it starts.  The X-free rules (re-wrapping, the
// status text, the key filter, the marker's place) are plain functions at
// the end of this header.
#ifndef WIDGETS_EDITOR_H
#define WIDGETS_EDITOR_H

#include <forms.h>

#include <functional>
#include <string>

enum { EDITOR_CLASS = FL_USER_CLASS_START + 1, EDITOR_MAX = 100 };

// Keys (arrows, page keys, and the space bar in editors without limit) pass
// at most once per EDITOR_KEY_INTERVAL milliseconds of X event time.
enum { EDITOR_KEY_INTERVAL = 50 };

struct EDITOR_KEYFILTER {
  int seen = 0;            // a key has been let through
  unsigned long last = 0;  // its X event time
};

struct EDITOR {
  FL_FORM *form;
  FL_OBJECT *object;  // the editor object
  FL_OBJECT *input;   // the multi-line text input
  FL_OBJECT *zoom;
  FL_OBJECT *format;
  FL_OBJECT *status;
  // -1 at creation; > 0 a character limit; 0 no limit and no format
  // button; < 0 no limit, with status label and cursor marker.
  int maxchars;
  int char_height;   // pixel height of a character of the font
  int text_width;    // usable pixel width of a line: input width - 3 * border
  int screen_lines;  // (editor height - 18) / char_height - 1
  int fontsize;      // FL_NORMAL_SIZE
  int fontstyle;     // FL_NORMAL_STYLE
  EDITOR_KEYFILTER keys;
};

// The records of all editors (null for free slots) and their number.
extern EDITOR *edis[EDITOR_MAX];
extern int iedi;
// The buffer fl_get_editor copies into (grown as needed, never shrunk).
extern std::string editor_data;

// What the editor asks of the form framework; unset hooks do nothing
// (define_shortcut then sets the shortcut with the toolkit alone).
struct EDITOR_HOOKS {
  void (*open_zoom)(FL_FORM *form, FL_OBJECT *input, int maxchars);  // myfl_open_zoom
  void (*set_focus_next_input)(FL_FORM *form, FL_OBJECT *object);    // myfl_set_focus_next_input
  void (*define_shortcut)(FL_OBJECT *object, const char *shortcut, int underline);
};
extern EDITOR_HOOKS editor_hooks;

// Adds an editor to the current form and returns its text input; with 100
// editors in existence it logs "fl_add_editor: Too many editors (max =
// %d)\n" and returns null.  The record belongs to the editor object and is
// released with it.
FL_OBJECT *fl_add_editor(int type, FL_Coord x, FL_Coord y, FL_Coord w, FL_Coord h,
                         const char *label);
// Only the editor object and its record with the defaults (null when 100
// editors exist).
FL_OBJECT *fl_create_editor(int type, FL_Coord x, FL_Coord y, FL_Coord w, FL_Coord h,
                            const char *label);
// The editor object's handler: FL_DRAW updates the status, FL_FREEMEM
// releases the record.
int handle_editor(FL_OBJECT *ob, int event, FL_Coord mx, FL_Coord my, int key, void *xev);

// The record of the editor that object belongs to, or null.
EDITOR *fl_get_editor_record(FL_OBJECT *object);
int fl_is_editor(FL_OBJECT *object);
// The text in one module buffer (editor_data), valid until the next call;
// null for an object of no editor.
const char *fl_get_editor(FL_OBJECT *object);
// The input's own text (owned by the input), or null.
const char *fl_get_editor_input(FL_OBJECT *object);
// The editor's text input, or null.
FL_OBJECT *fl_get_editor_input_object(FL_OBJECT *object);
// Sets the text and the input's limit (maxchars; none below 1); redraws.
void fl_set_editor(FL_OBJECT *object, const char *text);
// Sets maxchars: the format button is hidden for 0, the status label shown
// only below 0, the input's limit n (none below 1); redraws.
void fl_set_editor_maxchars(FL_OBJECT *object, int n);
void fl_set_editor_fontstyle(FL_OBJECT *object, int style);
int fl_get_editor_fontstyle(FL_OBJECT *object);  // -1 for no editor
void fl_hide_editor_zoom(FL_OBJECT *object);
int fl_get_editor_topline(FL_OBJECT *object);  // 0 for no editor

// ---------------------------------------------------------------------------
// X-free rules.

// Re-wraps text for lines of text_width pixels; width(s, n) is the pixel
// width of the first n characters of s.  Each line (split at line feeds) is
// cut while its width without one trailing blank is at least text_width - 3:
// at the last blank before its end (the blank is dropped and the piece ends
// in " \n") or, without one, after the character in its middle (the piece
// ends in "\n"); the rest continues as the next line.  The text keeps its
// own ending: a final line feed only when it had one.
std::string editor_wrap(const std::string &text, int text_width,
                        const std::function<int(const char *, int)> &width);

// The status text for the cursor: "line:column" (both from 1; column is
// the characters before the cursor + 1), "" when the cursor cannot be read
// (cursor_ok false).  False when the status is to stay as it is: the text
// is empty or only white space.
bool editor_status_text(const char *text, bool cursor_ok, int line, int chars_before,
                        std::string *status);

// Whether a key at X event time passes the filter (and is remembered).
bool editor_key_pass(EDITOR_KEYFILTER *filter, unsigned long time);

// The top of the cursor marker for cursor line `line` with `top` the
// input's top line (both from 1), or -1 when the line is not on screen.
int editor_marker_y(int editor_y, int editor_h, int line, int top, int screen_lines);

#endif
