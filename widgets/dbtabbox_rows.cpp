// Rows, row texts and the line layout of the database tabbox binding; see
// dbtabbox_rows.h.
#include "widgets/dbtabbox_rows.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/ini.h"
#include "base/mem.h"

void *tbrec_copy(const void *record) {
  if (!record) return nullptr;
  int32_t size = static_cast<const TBREC_HEAD *>(record)->size;
  size_t n = std::max<size_t>(size > 0 ? static_cast<size_t>(size) : 0, sizeof(TBREC_HEAD));
  void *copy = mymalloc(n);
  memcpy(copy, record, n);
  // A record whose size word was below the header's gets the header's size.
  static_cast<TBREC_HEAD *>(copy)->size = static_cast<int32_t>(n);
  return copy;
}

int32_t tbrec_state(const void *record) { return static_cast<const TBREC_HEAD *>(record)->state; }

void tbrec_set_state(void *record, int32_t state) {
  static_cast<TBREC_HEAD *>(record)->state = state;
}

TBROW::TBROW(TBROW &&other) noexcept
    : text(std::move(other.text)), ends(std::move(other.ends)), record(other.record) {
  other.record = nullptr;
}

TBROW &TBROW::operator=(TBROW &&other) noexcept {
  if (this != &other) {
    myfree(record);
    text = std::move(other.text);
    ends = std::move(other.ends);
    record = other.record;
    other.record = nullptr;
  }
  return *this;
}

TBROW::~TBROW() { myfree(record); }

void TBROW::take_record(void *r) {
  if (r == record) return;
  myfree(record);
  record = r;
}

namespace {

// Collects the fields of one row with the limits on their number and size.
class FieldSink {
 public:
  explicit FieldSink(TBROW *row) : row_(row) {
    row_->text.clear();
    row_->ends.clear();
  }
  void put(char c) {
    if (field_len_ < TB_WORK_SIZE - 1 && !full()) {
      row_->text += c;
      field_len_++;
    }
  }
  void end_field() {
    if (row_->ends.size() < TB_MAX_COLS)
      row_->ends.push_back(static_cast<uint32_t>(row_->text.size()));
    else
      too_many_ = true;
    field_len_ = 0;
  }
  int result() const { return too_many_ ? TB_PARSE_TOO_MANY : TB_PARSE_OK; }

 private:
  bool full() const { return row_->ends.size() >= TB_MAX_COLS; }
  TBROW *row_;
  size_t field_len_ = 0;
  bool too_many_ = false;
};

}  // namespace

int tb_parse_row(const char *text, TBROW *row) {
  FieldSink sink(row);
  bool quoted = false;
  for (const char *p = text ? text : ""; *p; p++) {
    if (*p == '"') {
      quoted = !quoted;
    } else if (quoted && *p == '\\') {
      if (p[1]) sink.put(*++p);
    } else if (!quoted && *p == ',') {
      sink.end_field();
    } else {
      sink.put(*p);
    }
  }
  sink.end_field();
  return sink.result();
}

int tb_parse_names(const char *text, TBROW *row) {
  FieldSink sink(row);
  for (const char *p = text ? text : ""; *p; p++) {
    if (*p == ',')
      sink.end_field();
    else
      sink.put(*p);
  }
  sink.end_field();
  return sink.result();
}

std::vector<int> tb_column_widths(const TBROW &title, const std::vector<TBROW> &rows,
                                  const std::vector<int> &shown) {
  std::vector<int> widths(shown.size(), 0);
  auto measure = [&](const TBROW &row) {
    int n = std::min(row.count(), static_cast<int>(widths.size()));
    for (int i = 0; i < n; i++)
      if (shown[i]) widths[i] = std::max(widths[i], static_cast<int>(row.length(i)));
  };
  measure(title);
  for (const TBROW &row : rows) measure(row);
  return widths;
}

void tb_build_line(const TBROW &row, const std::vector<int> &widths, const std::vector<int> &shown,
                   bool data, std::string *line) {
  const size_t limit = TB_WORK_SIZE - 1;
  line->clear();
  bool first = true;
  for (size_t i = 0; i < widths.size() && line->size() < limit; i++) {
    if (!shown[i]) continue;
    if (!first) line->append(" | ");
    first = false;
    size_t start = line->size();
    if (static_cast<int>(i) < row.count())
      line->append(row.text, i ? row.ends[i - 1] : 0, row.length(static_cast<int>(i)));
    if (data) std::replace(line->begin() + start, line->end(), '\n', '\\');
    size_t len = line->size() - start;
    if (len < static_cast<size_t>(widths[i])) line->append(widths[i] - len, ' ');
  }
  if (line->size() > limit) line->resize(limit);
}

void tb_quote_value(const char *value, size_t length, std::string *out) {
  out->push_back('"');
  for (size_t i = 0; i < length; i++) {
    if (value[i] == '"' || value[i] == '\\') out->push_back('\\');
    out->push_back(value[i]);
  }
  out->push_back('"');
}

namespace {

// Replaces the first match of pattern by replacement (String_Replace): 1
// when there was one.
bool replace_entry(std::string *line, const char *pattern, const char *replacement) {
  std::vector<char> buf(line->begin(), line->end());
  buf.resize(line->size() + strlen(replacement) + 1, 0);
  if (String_Replace(buf.data(), pattern, replacement) < 0) return false;
  *line = buf.data();
  return true;
}

bool all_digits(const std::string &s, size_t from, size_t to) {
  if (from >= to) return false;
  for (size_t i = from; i < to; i++)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

}  // namespace

void settings_set_width(std::string *line, int c, int w) {
  char pattern[40], entry[40];
  snprintf(pattern, sizeof pattern, " %d|* ", c);
  snprintf(entry, sizeof entry, " %d|%d ", c, w);
  if (!replace_entry(line, pattern, entry)) line->append(entry + 1);
}

void settings_clear_width(std::string *line, int c) {
  char pattern[40];
  snprintf(pattern, sizeof pattern, " %d|* ", c);
  replace_entry(line, pattern, " ");
}

void settings_clear_widths(std::string *line) {
  // A pattern whose digit run may cross blanks (" $|$ ") would also take
  // the column order before the first width entry; the fields are looked
  // at one by one instead.
  std::string out;
  size_t i = 0;
  while (i < line->size()) {
    size_t end = line->find(' ', i);
    if (end == std::string::npos) end = line->size();
    size_t bar = line->find('|', i);
    bool width = i > 0 && bar < end && all_digits(*line, i, bar) && all_digits(*line, bar + 1, end);
    if (!width) out.append(*line, i, end - i);
    if (end < line->size() && !(width && !out.empty() && out.back() == ' ')) out += ' ';
    i = end + 1;
  }
  *line = out;
}
