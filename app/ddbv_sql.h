// The detail window's statements, without X: where the shown result came
// from (its statement, its single table, its database, the types of its
// columns, the values its row texts had to cut), the row the detail window
// shows, the text a value takes in "Wert", the literal a "Wert" text stands
// for, and the UPDATE and DELETE that address exactly that row by its key
// column "%s_ID".  Literals are written the way the SQL scanner reads them:
// in single quotes, with a backslash before each single quote and
// backslash inside.
#ifndef APP_DDBV_SQL_H
#define APP_DDBV_SQL_H

#include <map>
#include <string>
#include <vector>

// What the result shown in the main window came from.  table is empty when
// the result is not the rows of one table (a join, a SHOW, no result yet);
// types holds DBftype per column; cut the columns (from 0) whose values a
// row text (from 0) holds only in part.
struct DBV_SHOWN {
  std::string statement;
  std::string table;
  std::string database;
  std::vector<int> types;
  std::map<int, std::vector<int>> cut;
};

// The row shown in the detail window: its source and the row's columns
// (names upper case, values unescaped, whether each was cut).  valid is
// false until a row is shown.
struct DDBV_ROW {
  bool valid = false;
  std::string table;
  std::string database;
  std::vector<std::string> names;
  std::vector<std::string> values;
  std::vector<int> types;
  std::vector<bool> cut;
};

// 1 when text is a plain number: optional white space, an optional "+" or
// "-", digits with at most one decimal separator ("." or ","), optional
// white space, nothing else.  A text without any digit counts as a number.
int Is_String_Wert(const char *text);

// The table of a Table field (as cleaned for the statement): its one name,
// upper case, when the field holds one name and at most an alias after
// it; else empty.
std::string field_table(const char *field);
// The table of a typed SELECT: the one name after FROM (an alias may
// follow) when WHERE, ORDER BY or the end comes next; else empty (also for
// other statements).
std::string select_table(const char *statement);
// 1 when text is one plain column name the scanner reads as a name.
int is_column_name(const std::string &text);

// Whether a value of a column of type (DBftype) stands in quotes: texts,
// binary, dates and times do, numbers do not; for an unknown type the look
// of the value decides (quoted unless Is_String_Wert).
bool quoted_type(int type, const std::string &value);
// The text a value takes in "Wert": in single quotes, or a blank and the
// number.
std::string wert_text(const std::string &value, bool quoted);
// The literal a "Wert" text stands for: a text in single quotes (blanks
// around allowed) becomes that text as a literal (its inner quotes and
// backslashes escaped); a plain number with a digit stays as typed, without
// the blanks around it.  0 for anything else.
int wert_literal(const std::string &wert, std::string *literal);
// 'value' with every single quote and backslash escaped by a backslash.
std::string sql_literal(const std::string &value);

// "update %s set %s = %s where %s = %s;" and "delete from %s where %s =
// %s;" with the key value as a literal.
std::string update_statement(const std::string &table, const std::string &column,
                             const std::string &literal, const std::string &key,
                             const std::string &key_value);
std::string delete_statement(const std::string &table, const std::string &key,
                             const std::string &key_value);

// The column (from 0) of the row's key "<table>_ID", the first of that
// name; -1 when there is none.
int key_column(const DDBV_ROW &row);

#endif
