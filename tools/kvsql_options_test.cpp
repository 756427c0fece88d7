// Tests of kvsql's command line: the sources keep their order, the forms of
// the options with values, and the refusals name the argument.
#include "tools/kvsql_options.h"

#include <gtest/gtest.h>

namespace {

KvsqlParse parse(std::vector<std::string> args, KvsqlOptions *opt, std::string *error) {
  std::vector<char *> argv = {const_cast<char *>("kvsql")};
  for (std::string &a : args) argv.push_back(&a[0]);
  return parse_options(static_cast<int>(argv.size()), argv.data(), opt, error);
}

}  // namespace

TEST(Options, SourcesInOrderAndValueForms) {
  KvsqlOptions o;
  std::string e;
  ASSERT_EQ(parse({"-c",
                   "A",
                   "-fB",
                   "--import",
                   "C",
                   "T",
                   "-db",
                   "x",
                   "-f",
                   "-",
                   "-c",
                   "D",
                   "-p12",
                   "-v",
                   "ON_ERROR_STOP=on",
                   "--csv",
                   "-x",
                   "-q",
                   "--connect-timeout",
                   "0"},
                  &o, &e),
            KvsqlParse::RUN)
      << e;
  ASSERT_EQ(o.sources.size(), 5u);
  EXPECT_EQ(o.sources[0].kind, KvsqlSource::SQL);
  EXPECT_EQ(o.sources[1].kind, KvsqlSource::FILE);
  EXPECT_EQ(o.sources[1].text, "B");
  EXPECT_EQ(o.sources[2].kind, KvsqlSource::IMPORT);
  EXPECT_EQ(o.sources[2].table, "T");
  EXPECT_EQ(o.sources[3].text, "-");
  EXPECT_EQ(o.sources[4].text, "D");
  EXPECT_EQ(o.dbname, "x");
  EXPECT_EQ(o.port, "12");
  EXPECT_TRUE(o.on_error_stop && o.expanded && o.quiet && o.format_set);
  EXPECT_EQ(o.format, OutputFormat::CSV);
  EXPECT_EQ(o.connect_timeout, 0);
}

TEST(Options, Refusals) {
  struct {
    std::vector<std::string> args;
    const char *error;
  } cases[] = {
      {{"--bogus"}, "unknown argument '--bogus'"},
      {{"-c"}, "-c needs an SQL text"},
      {{"--import", "f"}, "--import needs a file name and a table"},
      {{"-v", "X=1"}, "-v knows only ON_ERROR_STOP=1 or ON_ERROR_STOP=0, not 'X=1'"},
      {{"--connect-timeout", "-1"}, "invalid value for --connect-timeout: -1"},
      {{"--connect-timeout", ""}, "invalid value for --connect-timeout: "},
      {{"--fetch-count", "5x"}, "invalid value for --fetch-count: 5x"},
      {{"--fetch-count", "100000001"}, "invalid value for --fetch-count: 100000001"},
      {{"--fetch-count"}, "--fetch-count needs a number of rows"},
      {{"-db"}, "-db needs a database name"},
  };
  for (auto &c : cases) {
    KvsqlOptions o;
    std::string e;
    EXPECT_EQ(parse(c.args, &o, &e), KvsqlParse::BAD);
    EXPECT_EQ(e, c.error);
  }
  KvsqlOptions o;
  std::string e;
  EXPECT_EQ(parse({"-c", "x", "--help"}, &o, &e), KvsqlParse::HELP);
}
