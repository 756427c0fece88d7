// The ini store of the base library: small pieces of user state kept between
// runs in one text file per application, "%s.ini" with the application name.
// Each entry is one line that starts with its key in square brackets; the
// store finds, returns, replaces, appends and removes such lines, and offers
// the pattern replacement the callers use to edit parts of a line.  Nothing
// is cached: every call reads (and when needed rewrites) the file.
#ifndef BASE_INI_H
#define BASE_INI_H

enum { INI_LINE_SIZE = 10000 };  // line buffers: 9998 characters, LF, NUL

// Looks for the first line of the file at path that begins with "[key]"
// (keys compare exactly).  Returns its number (from 1) and copies the line
// into line (INI_LINE_SIZE characters; a longer line is cut), always ending
// with a line feed, even when the file's last line lacks one; 0 when the
// file or the key is missing.
int Find_ini_Data(const char *path, const char *key, char *line);

// The whole entry line of key in "<name>.ini", bracketed key and line feed
// included, in one process-wide buffer valid until the next call; nullptr
// when the file or the key is missing, or name is null (no application name
// set yet).  Set_ini_Data and Clear_ini_Data return 0 for a null name.
char *Get_ini_Data(const char *name, const char *key);

// Stores line as the entry of key in "<name>.ini".  The line must begin with
// "[key]"; a missing final line feed is added.  A present entry is replaced
// in place and the file rewritten without its empty lines; otherwise the
// line is appended and the file created when missing.  The file is rewritten
// through a new file renamed over it, so on any failure it keeps its old
// content; the failure is reported on standard output ("ERR: Cannot open
// temporary file!\n" or "Cannot open file '%s'!").  Returns 1, or 0 on
// failure or when key/line are unusable (logged).
int Set_ini_Data(const char *name, const char *key, const char *line);

// Removes the entry of key from "<name>.ini" (and the file's empty lines),
// with the same rewriting and messages as Set_ini_Data.  Returns 1 when an
// entry was removed, 0 when the key was not present or the file could not
// be rewritten.
int Clear_ini_Data(const char *name, const char *key);

// Looks for pattern in text.  Pattern characters: "\" takes the next one
// literally; "*" skips the text up to the next occurrence of the character
// that follows it (to the end when it is last); "$" skips a run of digits,
// blanks and "-" up to the character that follows it; every other character
// matches itself.  Returns the start index of the first match and sets start
// and end (exclusive); -1 when there is none, as soon as the remaining text
// is shorter than the pattern.
int find(const char *text, const char *pattern, int *start, int *end);

// Replaces the first match of pattern in text, in place, by replacement; the
// rest of the text moves with its terminator.  text must have room for the
// longer result.  Returns the start index, or -1 when nothing matches.
int String_Replace(char *text, const char *pattern, const char *replacement);

#endif
