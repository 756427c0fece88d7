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

TBROW::TBROW(TBROW &&other) noexcept : record(other.record), block_(other.block_) {
  other.record = nullptr;
  other.block_ = nullptr;
}

TBROW &TBROW::operator=(TBROW &&other) noexcept {
  if (this != &other) {
    myfree(record);
    myfree(block_);
    record = other.record;
    block_ = other.block_;
    other.record = nullptr;
    other.block_ = nullptr;
  }
  return *this;
}

TBROW::~TBROW() {
  myfree(record);
  myfree(block_);
}

const char *TBROW::data(int i) const {
  const char *p = texts();
  for (int k = 0; k < i; k++) p += length(k);
  return p;
}

void TBROW::set_fields(const std::string &text, const std::vector<uint16_t> &lengths) {
  size_t head = sizeof(uint16_t) * (1 + lengths.size());
  char *block = static_cast<char *>(mymalloc(head + text.size()));
  uint16_t count = static_cast<uint16_t>(lengths.size());
  memcpy(block, &count, sizeof count);
  if (!lengths.empty()) memcpy(block + sizeof count, lengths.data(), sizeof(uint16_t) * count);
  if (!text.empty()) memcpy(block + head, text.data(), text.size());
  myfree(block_);
  block_ = block;
}

void TBROW::swap_fields(TBROW &other) noexcept { std::swap(block_, other.block_); }

void TBROW::take_record(void *r) {
  if (r == record) return;
  myfree(record);
  record = r;
}

namespace {

// Collects the fields of one row with the limits on their number and
// size, then hands them to the row.
class FieldSink {
 public:
  FieldSink(TBROW *row, size_t size_hint) : row_(row) { text_.reserve(size_hint); }
  void put(char c) {
    if (field_len_ < TB_WORK_SIZE - 1 && lengths_.size() < TB_MAX_COLS) {
      text_ += c;
      field_len_++;
    }
  }
  void end_field() {
    if (lengths_.size() < TB_MAX_COLS)
      lengths_.push_back(static_cast<uint16_t>(field_len_));
    else
      too_many_ = true;
    field_len_ = 0;
  }
  int finish() {
    end_field();
    row_->set_fields(text_, lengths_);
    return too_many_ ? TB_PARSE_TOO_MANY : TB_PARSE_OK;
  }

 private:
  TBROW *row_;
  std::string text_;
  std::vector<uint16_t> lengths_;
  size_t field_len_ = 0;
  bool too_many_ = false;
};

}  // namespace

int tb_parse_row(const char *text, TBROW *row) {
  FieldSink sink(row, text ? strlen(text) : 0);
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
  return sink.finish();
}

int tb_parse_names(const char *text, TBROW *row) {
  FieldSink sink(row, text ? strlen(text) : 0);
  for (const char *p = text ? text : ""; *p; p++) {
    if (*p == ',')
      sink.end_field();
    else
      sink.put(*p);
  }
  return sink.finish();
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
  const char *p = row.count() ? row.data(0) : "";
  for (size_t i = 0; i < widths.size() && line->size() < limit; i++) {
    size_t len = static_cast<int>(i) < row.count() ? row.length(static_cast<int>(i)) : 0;
    const char *text = p;
    p += len;
    if (!shown[i]) continue;
    if (!first) line->append(" | ");
    first = false;
    size_t start = line->size();
    line->append(text, len);
    if (data) std::replace(line->begin() + start, line->end(), '\n', '\\');
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
