// The query form's work on texts, free of the toolkit: cleaning what the
// user typed, composing the SELECT from the three fields, telling whether
// a command returns rows, finding text after the end of the first
// statement (the translator would ignore it), the title and the row texts
// of a result, and the one-line reasons that alerts show.
#ifndef APP_QUERY_H
#define APP_QUERY_H

#include <cstddef>
#include <string>
#include <vector>

enum {
  DBV_STATEMENT_MAX = 9999,  // longest statement the query form sends
  DBV_TITLE_MAX = 9999,      // longest title of the result table
  DBV_ROW_MAX = 9799         // longest row text of a result row
};

// A new copy of text (mymalloc; the caller releases it with myfree) with
// every two-character sequence backslash, 'n' removed.  Nothing else is
// cut: the copy holds the whole text.
char *make_sql_string(const char *text);
// 1 when the text is null, empty or white space only.
int IsEmptyStrg(const char *text);
// Upper-cases the first word of text in place (after leading white space)
// and answers 1 when the text there begins with "SELECT" or "SHOW".
int is_select_show(char *text);

// "SELECT ", the attributes and a blank (or "* " when they are blank),
// "FROM ", the table, a blank and the clause when it is not blank, ";".
std::string compose_select(const char *table, const char *attributes, const char *clause);

// What follows the end (";" or END) of the first statement of text, with
// the translator's reading of literals: the further statements joined by
// blanks; empty when there are none.
std::string statement_extra(const std::string &text);

// The result table's title: the field names, each upper-cased, joined by
// ",".  A "," or "|" inside a name (which would split it into columns)
// becomes ";" or "!".
std::string result_title(const std::vector<std::string> &names);

// One value of a result row: its text and length (trailing blanks are
// removed by dbv_row_text).
struct ROW_VALUE {
  const char *text;
  size_t length;
};
// The row text of a result row: every value, without trailing blanks, in
// double quotes with each double quote and backslash escaped by a
// backslash, separated by ",".  A text that would exceed DBV_ROW_MAX
// characters has its longest values cut until it fits.  Returns the text in
// *out and, when cut is given, the values (from 0) that were cut in *cut.
void dbv_row_text(const std::vector<ROW_VALUE> &values, std::string *out,
                  std::vector<int> *cut = nullptr);

// The text of an error message as the second line of an alert: without
// its final line feed, other line feeds as blanks, at most 200 characters
// (then ending in "...").
std::string alert_reason(const char *message);

#endif
