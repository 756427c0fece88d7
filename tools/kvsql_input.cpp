// The comment and meta-command filter of kvsql's input and the cutting of
// meta-command lines.
#include "tools/kvsql_input.h"

#include <cctype>

void InputFilter::sql(char c, std::vector<InputPiece> *out) {
  if (out->empty() || out->back().kind != InputPiece::SQL) out->push_back({InputPiece::SQL, "", 0});
  out->back().text += c;
}

void InputFilter::feed(const char *data, size_t n, std::vector<InputPiece> *out) {
  for (size_t i = 0; i < n; i++) step(data[i], out);
}

// One byte.  A held byte is settled by the byte after it: "--" and "/*"
// open comments, "*/" and "/*" inside a comment close and nest.
void InputFilter::step(char c, std::vector<InputPiece> *out) {
  if (held_) {
    char h = held_;
    held_ = 0;
    if (state_ == NORMAL) {
      if (h == '-' && c == '-') {
        state_ = LINE_COMMENT;
        return;
      }
      if (h == '/' && c == '*') {
        state_ = BLOCK;
        depth_ = 1;
        comment_line_ = line_;
        sql(' ', out);
        return;
      }
      sql(h, out);
    } else if (state_ == BLOCK) {
      if (h == '*' && c == '/') {
        if (--depth_ == 0) state_ = NORMAL;
        return;
      }
      if (h == '/' && c == '*') {
        depth_++;
        return;
      }
    }
  }
  switch (state_) {
    case NORMAL:
      if (c == '-' || c == '/') {
        held_ = c;
        return;
      }
      if (c == '\\') {
        state_ = META;
        meta_ = "\\";
        meta_line_ = line_;
        sql(' ', out);
        return;
      }
      if (c == '\'') state_ = STRING;
      break;
    case STRING:
      if (c == '\\')
        state_ = STRING_ESCAPE;
      else if (c == '\'')
        state_ = NORMAL;
      break;
    case STRING_ESCAPE: state_ = STRING; break;
    case LINE_COMMENT:
      if (c != '\n') return;
      state_ = NORMAL;
      break;
    case BLOCK:
      if (c == '*' || c == '/') held_ = c;
      if (c != '\n') return;
      break;
    case META:
      if (c != '\n') {
        meta_ += c;
        return;
      }
      out->push_back({InputPiece::META, meta_, meta_line_});
      meta_.clear();
      state_ = NORMAL;
      break;
  }
  if (c == '\n') line_++;
  sql(c, out);
}

bool InputFilter::finish(std::vector<InputPiece> *out, int *line) {
  bool closed = state_ != BLOCK;
  if (held_ && state_ == NORMAL) sql(held_, out);
  if (state_ == META) out->push_back({InputPiece::META, meta_, meta_line_});
  if (!closed) *line = comment_line_;
  reset();
  line_ = 1;
  return closed;
}

void InputFilter::reset() {
  state_ = NORMAL;
  held_ = 0;
  depth_ = 0;
  meta_.clear();
}

bool parse_meta(const std::string &line, MetaCommand *cmd) {
  *cmd = MetaCommand();
  size_t i = 1;
  while (i < line.size() && !isspace(static_cast<unsigned char>(line[i]))) cmd->name += line[i++];
  for (;;) {
    while (i < line.size() && isspace(static_cast<unsigned char>(line[i]))) i++;
    if (i >= line.size()) return true;
    std::string arg;
    while (i < line.size() && !isspace(static_cast<unsigned char>(line[i]))) {
      char q = line[i];
      if (q != '\'' && q != '"') {
        arg += line[i++];
        continue;
      }
      for (i++;; i++) {
        if (i >= line.size()) return false;
        if (line[i] != q) {
          arg += line[i];
        } else if (q == '\'' && i + 1 < line.size() && line[i + 1] == '\'') {
          arg += line[i++];
        } else {
          i++;
          break;
        }
      }
    }
    cmd->args.push_back(arg);
  }
}
