// The tabbox settings line of the sort/columns dialog (tbsort.h), without
// X: one line per named tabbox in the application's ini file, holding the
// vertical view, the database-names flag, the column count, the display
// order, the sort keys, the maximum column width and the fixed widths of
// columns.  tbsort_line writes it; tbsort_parse reads it for a tabbox of
// a given column count and checks every entry, so that a line that does
// not fit the tabbox is never applied in part.
//
// Format (fields separated and ended by one blank): "[key]", "v" in the
// vertical view, '1' or '0' (database names), the column count n (column
// 0 included), the display order (one column number per position 1 ...
// n-1, stopping after the first -1), the sort keys ("%du" ascending, "%dd"
// descending), the maximum width ("%dm", when set), the fixed widths
// ("%d|%d" column and width), a line feed.  Example: "[DBV] 0 4 1 2 3 2d
// 30m 1|12 \n".
#ifndef FORMS_TBSORT_LINE_H
#define FORMS_TBSORT_LINE_H

#include <string>
#include <utility>
#include <vector>

// The settings of one tabbox.  order holds the positions 1, 2, ... of the
// display order (column numbers; a -1 ends the shown columns); the sort
// keys are in priority order with their directions (1 ascending, 0
// descending); maxwidth is -1 when none is set; widths lists (column,
// width) pairs.
struct TBSORT_SETTINGS {
  bool vertical = false;
  bool dbnames = false;
  int count = 0;
  std::vector<int> order;
  std::vector<int> sort_cols;
  std::vector<int> sort_dirs;
  int maxwidth = -1;
  std::vector<std::pair<int, int>> widths;
};

// The ini key of a tabbox: its name, or "%s_%d" with its table number when
// that is 0 or more.
std::string tbsort_key(const char *name, int tablenr);

// The line for key, ending in a blank and a line feed.  The order is
// written up to and including its first -1 (at most count - 1 positions).
std::string tbsort_line(const std::string &key, const TBSORT_SETTINGS &settings);

// Outcome of reading a line.
enum {
  TBSORT_LINE_OK = 0,
  TBSORT_LINE_TOO_MANY,   // written for more columns than the tabbox has
  TBSORT_LINE_BAD,        // header, column count or order unusable, or an unknown entry
  TBSORT_LINE_BAD_WIDTH,  // a width entry names no column or has no width above 0
  TBSORT_LINE_BAD_SORT    // a sort key names no column of the tabbox
};

// Reads line (from after its "]" to its line feed) for a tabbox of count
// columns (column 0 included) into *out: the order for all count columns
// (the stored order, then the columns added since the line was written,
// in their natural order where the stored order ended; the rest -1), the
// sort keys, the widths.  Every order entry must be a column of the stored
// count or -1, once each; every sort key and width a column of the tabbox;
// widths and the maximum width above 0.  Returns TBSORT_LINE_OK or the
// first fault found (then *out is unspecified and must not be applied).
int tbsort_parse(const char *line, int count, TBSORT_SETTINGS *out);

// The ini-file diagnostic for a parse outcome ("ini-file: wrong tabbox
// definition (%s)!\n" and so on), a format for the tabbox's name.
const char *tbsort_message(int outcome);

#endif
