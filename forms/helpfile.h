// The help file of the help system: one plain text file per application,
// "<applname>.hlp" in the working directory, with one section per window.
// A section starts with a head line "[KEY]" and runs to the next head
// line; its text is HTML restricted to a fixed list of tags, and a part
// between "<intern>" and "</intern>" is shown in the help dialog but left
// out of the manual.  This module reads and writes sections, makes the
// display text, checks the HTML and strips the internal parts; it knows
// nothing of X (the dialog is help.h).
//
// Lines are scanned as the file was always read: in pieces of at most
// HELP_LINE_MAX characters, each piece ending at a line feed or at that
// length.  A piece is a head line when it starts with "[" and a character
// other than "]"; its key runs to the first "]" (or the end of the piece).
//
// A literal "<" in a help text is written "&lt;" (and ">" "&gt;", "&"
// "&amp;"): the HTML check never sees a tag there, the help dialog shows
// the character and the manual passes the entity on to the browser.
#ifndef FORMS_HELPFILE_H
#define FORMS_HELPFILE_H

#include <cstddef>
#include <string>

enum { HELP_LINE_MAX = 9998 };

// Where the section of a key lies in the text of a help file (offsets into
// that text).  found is false when no head line carries the key.
struct HELP_SECTION {
  bool found = false;
  int line = 0;         // number of the head line, from 1
  size_t head = 0;      // start of the head line
  size_t body = 0;      // just after the head line
  size_t end = 0;       // start of the next head line, or the end of the text
  bool head_lf = true;  // the head line ends with a line feed
};

// The first section of key in file (keys compare exactly).
HELP_SECTION help_find_section(const std::string &file, const char *key);

// The file text with the section of key replaced by text, or, when there is
// none, with "\n[key]\n" and text appended.  The text always ends with a
// line feed in the result (one is added when it has none); everything
// outside the replaced body stays byte for byte.
std::string help_put_section(const std::string &file, const char *key, const std::string &text);

// The display text: every tag ("<" up to and including the next ">")
// removed, a tag left open removing the rest; the entities "&lt;", "&gt;"
// and "&amp;" become their characters.
std::string help_display_text(const std::string &raw);

// The text without its internal parts: each "<intern>" (any letter case)
// becomes a line feed, and everything after it up to and including the
// next "</intern>" goes.  An "<intern>" without a closing tag logs
// "Warnung (Hilfetext '%s'): <intern> ohne </intern>!\n" with key and
// leaves the rest as it is.
std::string help_without_intern(const std::string &raw, const char *key);

// The bytes of the file at path in *text: true, or false (text empty) when
// it cannot be opened or read.
bool read_whole_file(const std::string &path, std::string *text);

// The name of the application's help file, "<applname>.hlp".
std::string help_file_name(void);

// The 1-based line number of the head line of key in the help file; 0 when
// the section or the file is missing.
int find_help(const char *key);
// The raw text of the section (tags included); empty when there is none.
std::string get_edit_help(const char *key);
// The section's display text (help_display_text).
std::string get_help(const char *key);
// Replaces (or appends) the section of key by text, rewriting the help file
// through a new file beside it that replaces the old one, so the old file
// stays whole when anything fails.  1 when written; 0 after printing
// "ERROR: Cannot open temporary file!\n" or "Cannot open file '%s'!" on
// standard output.
int set_help(const char *key, const char *text);

// The HTML check: 1 when every tag of text is allowed (tag tables in
// helpfile.cpp; closing tags count like opening ones, letter case does not
// matter); otherwise 0 and *message is "Schlie\xdf" "ende Befehlsklammer
// '>' fehlt." or "HTML-Befehl '%s' nicht zul\xe4ssig." with the lower-cased
// tag text.
int check_help(const char *text, std::string *message);

#endif
