// The part of the database tabbox binding (dbtabbox.h) that needs no X:
// the row-record header and its states, copies of self-sized records, the
// rows a binding keeps (field texts in one buffer and the row's record),
// splitting row texts and column-name lists into fields, and the line
// layout that turns rows into tabbox lines of equally wide columns.
#ifndef WIDGETS_DBTABBOX_ROWS_H
#define WIDGETS_DBTABBOX_ROWS_H

#include <cstdint>
#include <string>
#include <vector>

enum {
  TB_MAX_COLS = 500,    // columns of a bound tabbox
  TB_WORK_SIZE = 10000  // a field and a built line hold at most TB_WORK_SIZE - 1 characters
};

// The first three words of every row record; the rest belongs to the
// record type.  size is the number of bytes in use, header included.
struct TBREC_HEAD {
  int32_t size;
  int32_t state;
  int32_t tablenr;
};

// Record states the binding sets.
enum {
  TBREC_ADDED = 10,     // added or changed through the binding
  TBREC_UPDATED = 30,   // a loaded record replaced and reported through Update
  TBREC_DELETED = 50,   // a loaded record deleted, or replaced without Update
  TBREC_LOADED = 77777  // loaded through a load operation
};

// A new record (mymalloc, released with myfree) holding a copy of record,
// as many bytes as its size word gives; a size below the header's is taken
// as the header's.  Null for a null record.
void *tbrec_copy(const void *record);
int32_t tbrec_state(const void *record);
void tbrec_set_state(void *record, int32_t state);

// One row: its fields and the row's record (owned, or null for the title
// row).  The fields live in one block sized to them: the field count and
// each field's length (16 bits each), then the texts one after the other.
struct TBROW {
  void *record = nullptr;

  TBROW() = default;
  TBROW(TBROW &&other) noexcept;
  TBROW &operator=(TBROW &&other) noexcept;
  TBROW(const TBROW &) = delete;
  TBROW &operator=(const TBROW &) = delete;
  ~TBROW();

  int count() const { return block_ ? head()[0] : 0; }
  size_t length(int i) const { return head()[1 + i]; }
  // The text of field i (not terminated; length(i) characters).
  const char *data(int i) const;
  std::string field(int i) const { return std::string(data(i), length(i)); }
  // Replaces the fields: the texts one after the other and their lengths.
  void set_fields(const std::string &text, const std::vector<uint16_t> &lengths);
  // Exchanges the fields (not the records) with other.
  void swap_fields(TBROW &other) noexcept;
  // Replaces the record by record (now owned; the old one is released).
  void take_record(void *record);

 private:
  const uint16_t *head() const { return reinterpret_cast<const uint16_t *>(block_); }
  const char *texts() const { return block_ + sizeof(uint16_t) * (1 + count()); }
  char *block_ = nullptr;
};

// Outcome of splitting a text into a row.
enum {
  TB_PARSE_OK = 0,
  TB_PARSE_TOO_MANY = 1  // more than TB_MAX_COLS fields; the row holds the first TB_MAX_COLS
};

// Splits a row text into the fields of row (its former fields dropped, its
// record kept).  Fields are separated by ","; a double quote opens a
// stretch that runs to the next double quote, inside which "," is an
// ordinary character and a backslash takes the next character as it is
// (the backslash itself is dropped, so "\"" is a quote and "\\" a
// backslash); the quotes themselves are dropped.  A field keeps at most
// TB_WORK_SIZE - 1 characters, the rest is dropped.  A null text counts as
// empty (one empty field).
int tb_parse_row(const char *text, TBROW *row);
// Splits a list of column names at every "," (no quoting), with the same
// limits.
int tb_parse_names(const char *text, TBROW *row);

// The column widths over the title row and all rows, for the columns whose
// shown flag is set (0 for the others): the longest field of each.  A field
// beyond a row's own fields counts as empty.
std::vector<int> tb_column_widths(const TBROW &title, const std::vector<TBROW> &rows,
                                  const std::vector<int> &shown);
// Builds the line of row into line (replacing its content): the shown
// columns' fields padded with blanks to their widths, joined by " | ".  In a
// data line every line feed shows as a backslash.  At most TB_WORK_SIZE - 1
// characters; the rest is cut.
void tb_build_line(const TBROW &row, const std::vector<int> &widths, const std::vector<int> &shown,
                   bool data, std::string *line);

// Quotes a value for a row text so that tb_parse_row gives it back
// unchanged: a double quote, the value with every double quote and
// backslash preceded by a backslash, a double quote.  Appends to out.
void tb_quote_value(const char *value, size_t length, std::string *out);

// The width entries of a tabbox's stored settings line (the line without
// its final line feed): "c|w" entries among the blank-separated fields.
// settings_set_width replaces the entry of column c by " c|w " or, with
// none, appends "c|w " (the line ends with a blank); settings_clear_width
// replaces the entry of column c by one blank; settings_clear_widths
// removes every field of the form digits "|" digits and nothing else.
void settings_set_width(std::string *line, int c, int w);
void settings_clear_width(std::string *line, int c);
void settings_clear_widths(std::string *line);

#endif
