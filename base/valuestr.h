// Temporary value strings and the small text helpers used everywhere.
//
// The Make_* family returns newly allocated texts (from mystrdup) that are
// registered in one process-wide ring; callers use them freely and release
// all of them at once with Free_ValueStrings at the end of a unit of work
// (after a row, after a query).  Hold_ValueStrings / Release_ValueStrings
// bracket code that must keep the registered strings across a call that
// frees the ring.  At most VALSTR_LIMIT - 1 strings are registered at a
// time; a string made beyond that is still returned but never released
// (one warning on standard output, the first time only).
//
// The rest are plain text functions: comparison ignoring trailing blanks,
// the sorting comparison with umlaut folding, bounded copying, padding and
// trimming, number reading.  Programming errors (a negative or too small
// maximum, an invalid logical value, an unbalanced release) print their
// message on standard output and end the process with status 1.
#ifndef BASE_VALUESTR_H
#define BASE_VALUESTR_H

#include <cstdint>

enum { VALSTR_LIMIT = 10000 };

// Ring state; read-only outside valuestr.cpp.
extern char *valstrs[VALSTR_LIMIT];
extern int32_t ivalstr;         // number of registered strings
extern int32_t valstrs_hold;    // hold counter; while above 0 nothing is released
extern int32_t valstr_warning;  // 1 until the limit warning has been written
// Decimal places for number display, set by Set_Nachkommastellen.
extern int32_t myfl_comma;

// Registered copy of text with every ' and " preceded by a backslash.
// maxlen is the longest text the value's type allows: a negative maxlen or a
// longer text ends the process.  A null text counts as empty.
char *Make_ValueString(const char *text, int maxlen);

// As Make_ValueString, but an empty or all-blank text gives one shared empty
// text that is not registered and must be neither released nor written.
char *Make_DbValueString(const char *text, int maxlen);

// Registered plain copy (a null text counts as empty).
char *Make_String(const char *text);

// Registered "Ja" for 1 or '1', "Nein" for 0 or '0'; anything else ends the
// process.
char *Make_LogicalString(int value);

// Registered copy without trailing blanks.
char *Make_Reduce_String(const char *text);

// As Make_Reduce_String, but "-" when nothing remains.
char *Make_Reduce_HTML_String(const char *text);

// Registered HTML form of a multi-line description: trailing blanks dropped,
// every line feed as "<br>", k blanks right after a line feed as
// "<spacer type=horizontal size=10k>"; "-" when empty.
char *Make_Reduce_HTML_Beschreibung(const char *text);

// Releases every registered string unless the ring is held.
void Free_ValueStrings(void);

// Raise / lower the hold counter; both return 1.  A release without a
// matching hold ends the process.
int Hold_ValueStrings(void);
int Release_ValueStrings(void);

// Unregistered new copy without trailing blanks; the caller frees it.
char *Reduce_String(const char *text);

// Unregistered new copy padded with blanks to width characters (unchanged
// when already as long); the caller frees it.
char *Fillup_String(const char *text, int width);

// 1 when text is null, empty or only white space, else 0.
int Is_EmptyString(const char *text);

// 1 when a and b are equal apart from trailing blanks, else 0.
int my_strcmp(const char *a, const char *b);

// Sorting order: case-insensitive (locale's upper case), with the Latin-1
// umlauts Ä, Ö, Ü counted as A, O, U, characters compared as signed 8-bit
// values; a text that is a prefix of the other is the smaller.  -1, 0, 1.
int mystrcmp(const char *a, const char *b);

// Copies src into dst, which holds size + 1 characters.  Trailing blanks of
// src at position size or beyond are ignored.  Returns 1 when the rest fits;
// otherwise reports on standard output, copies the first size characters
// and returns 0.  dst is always terminated.
int my_strncpy(char *dst, const char *src, int size);

// The number at the start of text, up to the first blank (at most 9999
// characters, decimal point "."); 0 for an empty text or one that starts
// with a blank.
double XAtof(const char *text);

// Sets myfl_comma.
void Set_Nachkommastellen(int n);

#endif
