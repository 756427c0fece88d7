// How kvsql prints a result: an aligned table with a header and a row
// count (the default on a terminal), unaligned tab-separated text (the
// default otherwise), CSV (RFC 4180 quoting), or vertically, one
// "attribute | value" line per column.  The formatter works on a plain
// table of texts, so it is tested without a server; the texts are Latin-1
// (one byte, one character) and so is the output.  Sits between kvsql's
// session, which fills the table from a result, and the terminal.
#ifndef TOOLS_KVSQL_OUTPUT_H
#define TOOLS_KVSQL_OUTPUT_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

enum class OutputFormat { ALIGNED, UNALIGNED, CSV };

struct OutputOptions {
  OutputFormat format = OutputFormat::UNALIGNED;
  bool expanded = false;     // vertical output (not for CSV)
  bool tuples_only = false;  // rows only: no header, no row count
  bool footer = true;        // the row count after an aligned table
};

// A result as texts: field names, per field whether it is a number (right
// aligned), and the values row by row.
struct OutTable {
  std::vector<std::string> names;
  std::vector<bool> numeric;
  std::vector<std::string> cells;  // row-major, names.size() per row

  size_t rows() const { return names.empty() ? 0 : cells.size() / names.size(); }
};

// The whole printed form of table.  ALIGNED: header, a rule, the rows and
// "(N rows)", control characters shown as \n, \t, \r or
// \xHH; UNALIGNED: tab-separated lines, the header first, tab, line feed,
// carriage return and backslash inside values written \t, \n, \r, \\;
// CSV: comma-separated, a value with a comma, quote, line feed or carriage
// return in double quotes with its quotes doubled.  Expanded (ALIGNED and
// UNALIGNED): per row a line "-[ RECORD n ]---" and one "name | value"
// line per field.  The header is there for zero rows as well.
std::string format_table(const OutTable &table, const OutputOptions &options);

// Appends one line of the UNALIGNED or CSV form (format is either) of the
// n values to *out, exactly as format_table writes a row or the header:
// the values escaped or quoted, separated, and a line feed.  For results
// written row by row.
void append_separated(std::string *out, const std::string_view *values, size_t n,
                      OutputFormat format);

// The row count line after an aligned table: "(N rows)" or "(1 row)" and a
// line feed.
std::string row_count_text(size_t n);

// A value escaped for tab-separated text (see UNALIGNED above).
std::string tsv_escape(std::string_view value);
// The display form of BINARY bytes: "0x" and two lower-case hex digits per byte.
std::string binary_hex(const unsigned char *bytes, size_t n);

#endif
