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

std::string row_count(size_t n) {
  return "(" + std::to_string(n) + (n == 1 ? " row)\n" : " rows)\n");
}

std::string aligned(const OutTable &t, bool tuples_only) {
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
  if (!tuples_only) out += row_count(nr) + "\n";
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

// Lines of values joined by sep, each value passed through quote.
std::string separated(const OutTable &t, bool tuples_only, char sep,
                      std::string (*quote)(std::string_view)) {
  size_t nf = t.names.size();
  std::string out;
  if (!tuples_only) {
    for (size_t f = 0; f < nf; f++) (out += f ? std::string(1, sep) : "") += quote(t.names[f]);
    if (nf) out += '\n';
  }
  for (size_t i = 0; i < t.cells.size(); i++) {
    if (i % nf) out += sep;
    out += quote(t.cells[i]);
    if (i % nf == nf - 1) out += '\n';
  }
  return out;
}

}  // namespace

std::string tsv_escape(std::string_view value) {
  std::string r;
  r.reserve(value.size());
  for (char c : value) {
    switch (c) {
      case '\t': r += "\\t"; break;
      case '\n': r += "\\n"; break;
      case '\r': r += "\\r"; break;
      case '\\': r += "\\\\"; break;
      default: r += c;
    }
  }
  return r;
}

std::string csv_quote(std::string_view value) {
  if (value.find_first_of(",\"\n\r") == std::string_view::npos) return std::string(value);
  std::string r = "\"";
  for (char c : value) {
    if (c == '"') r += '"';
    r += c;
  }
  return r + "\"";
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
    case OutputFormat::ALIGNED: return aligned(table, options.tuples_only);
    case OutputFormat::CSV: return separated(table, options.tuples_only, ',', csv_quote);
    default: return separated(table, options.tuples_only, '\t', tsv_escape);
  }
}
