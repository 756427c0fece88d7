// Tests of kvsql's input filter: comments go, literals stay as the scanner
// reads them, meta-commands come out in their place, line numbers survive,
// whatever the sizes of the pieces the input arrives in.
#include "tools/kvsql_input.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dbclient/result.h"
#include "dbclient/scanner.h"
#include "proto/query.h"

namespace {

// The filter's output for text fed in pieces of the given size (0: whole),
// as SQL text with each meta-command written "<line:text>".
std::string filtered(const std::string &text, size_t piece = 0, bool *closed = nullptr) {
  InputFilter f;
  std::vector<InputPiece> out;
  for (size_t at = 0; at < text.size(); at += piece ? piece : text.size())
    f.feed(text.data() + at, std::min(piece ? piece : text.size(), text.size() - at), &out);
  int line = 0;
  bool ok = f.finish(&out, &line);
  if (closed) *closed = ok;
  std::string r;
  for (const InputPiece &p : out)
    r += p.kind == InputPiece::SQL ? p.text : "<" + std::to_string(p.line) + ":" + p.text + ">";
  return r;
}

std::string request_of(const std::string &stmt) {
  std::vector<char> err(DB_ERRMSG_SIZE);
  if (!DBtranslate(stmt.c_str(), err.data())) return "error: " + std::string(err.data());
  return std::string(query_data, static_cast<size_t>(query_size));
}

}  // namespace

TEST(InputFilter, CommentsGoLiteralsAndLinesStay) {
  const std::string in =
      "select 'a--b' -- gone ' not a quote\n"
      ", 'it\\'s -- /* data */' /* gone\n 'still' gone */ from t;\n"
      "select 1;/* a /* nested */ still */x-1 - -2 /**/ 3\n"
      "\\d kunde -- the rest of a meta line is its own\n"
      "select '\\\\' \\x\n"
      "'\n\\i inside a literal'";
  const std::string want =
      "select 'a--b' \n"
      ", 'it\\'s -- /* data */'  \n from t;\n"
      "select 1; x-1 - -2   3\n"
      " <5:\\d kunde -- the rest of a meta line is its own>\n"
      "select '\\\\'  <6:\\x>\n"
      "'\n\\i inside a literal'";
  for (size_t piece = 0; piece <= 7; piece++)
    EXPECT_EQ(filtered(in, piece), want) << "piece " << piece;
  bool closed = true;
  EXPECT_EQ(filtered("select 1 /* open\n\n", 1, &closed), "select 1  \n\n");
  EXPECT_FALSE(closed);
  EXPECT_EQ(filtered("a -", 0, &closed), "a -");
  EXPECT_TRUE(closed);
}

// Statements whose literals hold comment marks, escapes and ends, with
// comments between their words: after the filter and the splitter each
// translates exactly as the statement without comments, on its line.
TEST(InputFilter, StatementsWithCommentsTranslateAsWithout) {
  std::mt19937 rng(1512);
  const char *bits[] = {"--", "/*", "*/", "\\'", "\\\\", ";", " END ", "-", "/", "\n", "x"};
  const char *comments[] = {" -- c 'x\n", "/* c ' ; */", "/* a /* b */ c */", " ", "\n"};
  for (int round = 0; round < 30; round++) {
    std::vector<std::string> want;
    std::vector<int> lines;
    std::string text;
    int line = 1;
    for (int k = 0; k < 10; k++) {
      std::string lit;
      for (int j = rng() % 6; j > 0; j--) lit += bits[rng() % 11];
      std::vector<std::string> words = {
          "insert",          "into", "K" + std::to_string(k), "values", "(",
          std::to_string(k), ",",    "'" + lit + "'",         ")",      ";"};
      std::string plain, commented;
      for (size_t w = 0; w < words.size(); w++) {
        plain += words[w] + " ";
        commented += words[w] + (w + 1 < words.size() ? comments[rng() % 5] : "");
      }
      want.push_back(request_of(plain));
      lines.push_back(line);
      commented += "\n";
      for (char c : commented) line += c == '\n';
      text += commented;
    }
    for (size_t piece : {size_t(1), size_t(3), size_t(7), text.size()}) {
      InputFilter f;
      SqlSplitter sp;
      std::vector<SqlStatement> got;
      for (size_t at = 0; at < text.size(); at += piece) {
        std::vector<InputPiece> out;
        f.feed(text.data() + at, std::min(piece, text.size() - at), &out);
        for (const InputPiece &p : out) sp.feed(p.text.data(), p.text.size(), &got);
      }
      std::vector<InputPiece> out;
      int l;
      ASSERT_TRUE(f.finish(&out, &l));
      for (const InputPiece &p : out) sp.feed(p.text.data(), p.text.size(), &got);
      sp.finish(&got);
      ASSERT_EQ(got.size(), want.size()) << text;
      for (size_t i = 0; i < got.size(); i++) {
        EXPECT_EQ(request_of(got[i].text), want[i]) << got[i].text;
        EXPECT_EQ(got[i].line, lines[i]);
      }
    }
  }
}

TEST(InputFilter, MetaCommandArguments) {
  MetaCommand m;
  ASSERT_TRUE(parse_meta("\\import 'my file.csv'  kunde csv", &m));
  EXPECT_EQ(m.name, "import");
  EXPECT_EQ(m.args, (std::vector<std::string>{"my file.csv", "kunde", "csv"}));
  ASSERT_TRUE(parse_meta("\\i \"a b\"'c''d'", &m));
  EXPECT_EQ(m.args, (std::vector<std::string>{"a bc'd"}));
  ASSERT_TRUE(parse_meta("\\?", &m));
  EXPECT_EQ(m.name, "?");
  EXPECT_TRUE(m.args.empty());
  EXPECT_FALSE(parse_meta("\\o 'open", &m));
}
