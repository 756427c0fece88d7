// The output formats of kvsql: aligned, unaligned, CSV and vertical.
#include "tools/kvsql_output.h"

#include <algorithm>
#include <cstdio>

namespace {

// A value for the eyes: control characters become visible escapes, so a
// line feed inside a value cannot break the layout.
std::string display(std::string_view v) {
  std::string r;
  for (char ch : v) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '\n') {
      r += "\\n";
    } else if (c == '\t') {
      r += "\\t";
    } else if (c == '\r') {
      r += "\\r";
    } else if (c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0)) {
      char b[8];
      snprintf(b, sizeof b, "\\x%02x", c);
      r += b;
    } else {
      r += ch;
    }
  }
  return r;
}

void pad(std::string *line, size_t n) { line->append(n, ' '); }

void trim_right(std::string *line) {
  while (!line->empty() && line->back() == ' ') line->pop_back();
}

std::string aligned(const OutTable &t, bool tuples_only, bool footer) {
  size_t nf = t.names.size(), nr = t.rows();
  std::vector<std::string> shown(t.cells.size());
  std::vector<size_t> width(nf, 0);
  for (size_t f = 0; f < nf; f++)
    if (!tuples_only) width[f] = t.names[f].size();
  for (size_t i = 0; i < t.cells.size(); i++) {
    shown[i] = display(t.cells[i]);
    width[i % nf] = std::max(width[i % nf], shown[i].size());
  }
  std::string out;
  if (!tuples_only) {
    std::string line, rule;
    for (size_t f = 0; f < nf; f++) {
      std::string name = display(t.names[f]);
      size_t room = width[f] - std::min(width[f], name.size());
      line += f ? "| " : " ";
      pad(&line, room / 2);
      line += name;
      pad(&line, room - room / 2 + 1);
      rule += f ? "+" : "";
      rule.append(width[f] + 2, '-');
    }
    trim_right(&line);
    out += line + "\n" + rule + "\n";
  }
  for (size_t r = 0; r < nr; r++) {
    std::string line;
    for (size_t f = 0; f < nf; f++) {
      const std::string &v = shown[r * nf + f];
      line += f ? "| " : " ";
      if (t.numeric[f]) pad(&line, width[f] - v.size());
      line += v;
      if (!t.numeric[f]) pad(&line, width[f] - v.size());
      line += ' ';
    }
    trim_right(&line);
    out += line + "\n";
  }
  if (!tuples_only && footer) out += row_count_text(nr) + "\n";
  return out;
}

std::string vertical(const OutTable &t, const OutputOptions &o) {
  bool tsv = o.format != OutputFormat::ALIGNED;
  size_t nf = t.names.size(), nr = t.rows();
  if (nr == 0) return o.tuples_only ? "" : "(0 rows)\n";
  size_t namew = 0, valw = 0;
  std::vector<std::string> names(nf), shown(t.cells.size());
  for (size_t f = 0; f < nf; f++) {
    names[f] = tsv ? tsv_escape(t.names[f]) : display(t.names[f]);
    namew = std::max(namew, names[f].size());
  }
  for (size_t i = 0; i < t.cells.size(); i++) {
    shown[i] = tsv ? tsv_escape(t.cells[i]) : display(t.cells[i]);
    valw = std::max(valw, shown[i].size());
  }
  std::string out;
  for (size_t r = 0; r < nr; r++) {
    if (o.tuples_only) {
      if (r) out += "\n";
    } else {
      std::string head = "-[ RECORD " + std::to_string(r + 1) + " ]";
      if (head.size() < namew + 3 + valw) head.append(namew + 3 + valw - head.size(), '-');
      out += head + "\n";
    }
    for (size_t f = 0; f < nf; f++) {
      std::string line = names[f];
      pad(&line, namew - names[f].size());
      line += " | " + shown[r * nf + f];
      trim_right(&line);
      out += line + "\n";
    }
  }
  if (!o.tuples_only && o.format == OutputFormat::ALIGNED) out += "\n";
  return out;
}

// Appends value to *out with tab, line feed, carriage return and backslash
// escaped; runs of other bytes are appended whole.
void append_tsv(std::string *out, std::string_view value) {
  const char *p = value.data(), *end = p + value.size(), *run = p;
  for (; p < end; p++) {
    unsigned char c = static_cast<unsigned char>(*p);
    // one test keeps the common bytes quick
    if (c > '\r' && c != '\\') continue;
    char e = c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : c == '\\' ? '\\' : 0;
    if (!e) continue;
    out->append(run, static_cast<size_t>(p - run));
    out->push_back('\\');
    out->push_back(e);
    run = p + 1;
  }
  out->append(run, static_cast<size_t>(end - run));
}

void append_csv(std::string *out, std::string_view value) {
  if (value.find_first_of(",\"\n\r") == std::string_view::npos) {
    out->append(value);
    return;
  }
  out->push_back('"');
  for (char c : value) {
    if (c == '"') out->push_back('"');
    out->push_back(c);
  }
  out->push_back('"');
}

// Lines of values in the UNALIGNED or CSV form.
std::string separated(const OutTable &t, bool tuples_only, OutputFormat format) {
  size_t nf = t.names.size();
  std::string out;
  std::vector<std::string_view> line(nf);
  if (!tuples_only) {
    for (size_t f = 0; f < nf; f++) line[f] = t.names[f];
    append_separated(&out, line.data(), nf, format);
  }
  for (size_t r = 0; r < t.rows(); r++) {
    for (size_t f = 0; f < nf; f++) line[f] = t.cells[r * nf + f];
    append_separated(&out, line.data(), nf, format);
  }
  return out;
}

}  // namespace

std::string row_count_text(size_t n) {
  return "(" + std::to_string(n) + (n == 1 ? " row)\n" : " rows)\n");
}

void append_separated(std::string *out, const std::string_view *values, size_t n,
                      OutputFormat format) {
  bool csv = format == OutputFormat::CSV;
  for (size_t i = 0; i < n; i++) {
    if (i) out->push_back(csv ? ',' : '\t');
    if (csv)
      append_csv(out, values[i]);
    else
      append_tsv(out, values[i]);
  }
  out->push_back('\n');
}

std::string tsv_escape(std::string_view value) {
  std::string r;
  r.reserve(value.size());
  append_tsv(&r, value);
  return r;
}

std::string binary_hex(const unsigned char *bytes, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string r = "0x";
  for (size_t i = 0; i < n; i++) {
    r += digits[bytes[i] >> 4];
    r += digits[bytes[i] & 15];
  }
  return r;
}

std::string format_table(const OutTable &table, const OutputOptions &options) {
  if (table.names.empty()) return "";
  if (options.expanded && options.format != OutputFormat::CSV) return vertical(table, options);
  switch (options.format) {
    case OutputFormat::ALIGNED: return aligned(table, options.tuples_only, options.footer);
    default: return separated(table, options.tuples_only, options.format);
  }
}
