// The input side of kvsql before statements are cut: InputFilter removes
// comments ("--" to the end of the line, "/* */", which may nest) and takes
// out meta-commands (a backslash outside a string literal starts one; it
// runs to the end of the line), reading string literals exactly as the
// scanner does (a backslash takes the next character, a quote ends the
// literal), so that "--" inside a literal stays data.  What remains goes to
// the SqlSplitter.  parse_meta cuts a meta-command into its name and
// arguments.  Plain text processing, no network.
#ifndef TOOLS_KVSQL_INPUT_H
#define TOOLS_KVSQL_INPUT_H

#include <cstddef>
#include <string>
#include <vector>

// One piece of filtered input: SQL text for the splitter, or a
// meta-command line.
struct InputPiece {
  enum Kind { SQL, META };
  Kind kind;
  std::string text;  // SQL: the text; META: the line from its backslash, without the line feed
  int line;          // META: the line, counted from 1, on which it stands
};

// A streaming filter: input arrives in pieces of any size and the output
// keeps the order of the input.  Line feeds are kept (also those inside
// comments), so the splitter counts the lines of the input; a removed
// comment or meta-command leaves a blank, which ends a word or a token
// before it.
class InputFilter {
 public:
  // Filters n bytes, appending to out.
  void feed(const char *data, size_t n, std::vector<InputPiece> *out);
  // The end of the input: passes on what was held back.  Returns false
  // when a "/*" comment is still open; *line is then the line on which it
  // began.  The filter is then ready for a new input.
  bool finish(std::vector<InputPiece> *out, int *line);
  // True inside a "/*" comment.
  bool in_comment() const { return state_ == BLOCK; }
  // Forgets a started comment, literal or meta-command; the line count goes on.
  void reset();

 private:
  enum State { NORMAL, STRING, STRING_ESCAPE, LINE_COMMENT, BLOCK, META };
  void sql(char c, std::vector<InputPiece> *out);
  void step(char c, std::vector<InputPiece> *out);

  State state_ = NORMAL;
  char held_ = 0;  // '-' or '/' (NORMAL), '*' or '/' (BLOCK) waiting for the next byte
  int depth_ = 0;  // nesting of "/*"
  int line_ = 1;   // line of the next byte
  int comment_line_ = 0;
  int meta_line_ = 0;
  std::string meta_;
};

// A meta-command: its name without the backslash ("d", "import", "?") and
// its arguments, split at blanks; an argument in single or double quotes
// may hold blanks (in single quotes '' stands for one quote).
struct MetaCommand {
  std::string name;
  std::vector<std::string> args;
};

// Cuts the line of a meta-command (starting with the backslash).  Returns
// false for an unclosed quote.
bool parse_meta(const std::string &line, MetaCommand *cmd);

#endif
