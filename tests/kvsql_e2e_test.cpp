// End-to-end tests of kvsql against a real korvald: a file of statements is
// loaded through kvsql's standard input and read back through kvsql, so the
// splitting of the input, the translation and the server's storage are
// checked together; values with tabs, line feeds, backslashes, quotes and
// umlauts go out through the TSV and CSV output and back in through the
// import unchanged; imports from UTF-8 files store Latin-1 and are all or
// nothing.  Each test runs against korvald on SQLite and on PostgreSQL.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/korvald_child.h"
#include "tests/support/pg_test_database.h"

namespace fs = std::filesystem;

namespace {

class KvsqlWithKorvald : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kvsql_e2e_XXXXXX";
    dir_ = mkdtemp(tmpl);
    std::vector<std::string> args;
    if (GetParam()) {  // on PostgreSQL, in a database of its own
      std::string why, conninfo = pg_test_database(&why);
      ASSERT_FALSE(conninfo.empty()) << why;
      args = {"--postgres", conninfo};
    }
    int port = korvald_start(KORVALD_PATH, dir_ + "/data", args, dir_ + "/korvald.log", &pid_);
    ASSERT_GT(port, 0) << read("korvald.log");
    conn_ = "-dbKVSYS -p " + std::to_string(port);
  }
  void TearDown() override {
    korvald_stop(&pid_, SIGTERM);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // Runs kvsql with the connection options, args and input as standard
  // input under the environment settings env; returns its exit status and
  // fills out and err with what it wrote.
  int run(const std::string &args, const std::string &input = "", std::string *out = nullptr,
          std::string *err = nullptr, const std::string &env = "LC_ALL=C") {
    write("in", input);
    std::string cmd = "cd " + dir_ + " && " + env + " " + KVSQL_PATH + " " + conn_ + " " + args +
                      " <in >out 2>err";
    int st = system(cmd.c_str());
    if (out) *out = read("out");
    if (err) *err = read("err");
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  }
  // The output of a query, expected to succeed.
  std::string query(const std::string &sql, const std::string &opts = "--no-convert",
                    const std::string &env = "LC_ALL=C") {
    std::string out, err;
    EXPECT_EQ(run(opts + " -c \"" + sql + "\"", "", &out, &err, env), 0) << err;
    return out;
  }
  void write(const std::string &name, const std::string &text) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
  }
  std::string read(const std::string &name) {
    std::stringstream ss;
    ss << std::ifstream(dir_ + "/" + name, std::ios::binary).rdbuf();
    return ss.str();
  }

  std::string dir_, conn_;
  pid_t pid_ = -1;
};

std::vector<bool> backends() {
  if (KV_TEST_POSTGRES) return {false, true};
  return {false};
}

INSTANTIATE_TEST_SUITE_P(, KvsqlWithKorvald, testing::ValuesIn(backends()),
                         [](const testing::TestParamInfo<bool> &info) {
                           return std::string(info.param ? "postgres" : "sqlite");
                         });

}  // namespace

// Ten thousand INSERTs, every other one with an escaped quote in its value,
// all arrive: none is glued to the one before it.
TEST_P(KvsqlWithKorvald, LoadsEveryStatementOfAFile) {
  std::string load = "CREATE TABLE K0 (N INTEGER NOT NULL, NAME CHARACTER(20));\n";
  for (int i = 0; i < 10000; i++)
    load += "INSERT INTO K0 VALUES (" + std::to_string(i) + ", '" +
            (i % 2 ? "O\\'Brien; END" : "Meier") + "');\n";
  EXPECT_EQ(run("", load), 0);
  EXPECT_EQ(query("SELECT COUNT(*) FROM K0;"), "COUNT(*)\n10000\n");
  EXPECT_EQ(query("SELECT N, NAME FROM K0 WHERE N < 2 ORDER BY N;"),
            "N\tNAME\n0\tMeier\n1\tO'Brien; END\n");
}

// Values with every character the formats must escape, BINARY bytes and the
// date and time types leave through TSV and CSV and come back in through
// the import unchanged.
TEST_P(KvsqlWithKorvald, ValuesRoundTripThroughTsvAndCsv) {
  const std::string columns =
      "(ID INTEGER NOT NULL, TXT CHARACTER(40), B BINARY(8), D DATE, T TIME, TS TIMESTAMP, F "
      "FLOAT)";
  std::string load = "CREATE TABLE S " + columns + ";\n";
  const char *texts[] = {
      "tab\there", "line\nfeed",         "back\\\\slash\\\\t", "it\\'s, \"quoted\"",
      "cr\r\nlf",  "M\xfcller \xdf\xe4", " blanks ",           ""};
  for (int i = 0; i < 8; i++)
    load += "INSERT INTO S VALUES (" + std::to_string(i) + ", '" + texts[i] + "', 'b\\\\" +
            std::to_string(i) + "', '2024-02-29', '23:59:0" + std::to_string(i) +
            "', '1998-10-08-09.26.33.767683', " + std::to_string(i) + ".5);\n";
  ASSERT_EQ(run("--no-convert -q", load), 0);
  const std::string select = "SELECT * FROM S ORDER BY ID";
  std::string tsv = query(select, "--no-convert -A"), csv = query(select, "--no-convert --csv");
  EXPECT_NE(
      tsv.find(
          "\n1\tline\\nfeed\t0x625c31\t2024-02-29\t23:59:01\t1998-10-08-09.26.33.767683\t1.5\n"),
      std::string::npos)
      << tsv;
  EXPECT_NE(csv.find("\n3,\"it's, \"\"quoted\"\"\",0x625c33,"), std::string::npos) << csv;
  write("s.tsv", tsv);
  write("s.csv", csv);
  std::string out, err;
  ASSERT_EQ(run("--no-convert -c \"CREATE TABLE S1 " + columns + "; CREATE TABLE S2 " + columns +
                    "\" -c '\\import s.tsv s1' --import s.csv S2",
                "", &out, &err),
            0)
      << err;
  EXPECT_EQ(out, "8\n8\n");
  EXPECT_EQ(query("SELECT * FROM S1 ORDER BY ID", "--no-convert -A"), tsv);
  EXPECT_EQ(query("SELECT * FROM S2 ORDER BY ID", "--no-convert --csv"), csv);
}

// --fetch-count reads a SELECT in batches through a cursor: the TSV and
// CSV output is the same as from one reply, an aligned table has its
// header once and the row count of all batches at the end; errors are the
// SELECT's.  A result cut by MAX says how many rows came.
TEST_P(KvsqlWithKorvald, FetchCountPrintsTheSameRowsInBatches) {
  std::string load = "CREATE TABLE B (N INTEGER, T CHARACTER(20), F FLOAT);\nBEGIN;\n";
  for (int i = 0; i < 250; i++)
    load += "INSERT INTO B VALUES (" + std::to_string(i) + ", 'Zeile\\t" + std::to_string(i) +
            "', " + std::to_string(i) + ".25);\n";
  ASSERT_EQ(run("--no-convert -q", load + "END;\n"), 0);
  const std::string select = "SELECT * FROM B ORDER BY N DESC";
  for (const char *form : {"-A", "--csv", "-A -t"}) {
    std::string whole = query(select, std::string("--no-convert ") + form);
    bool header = std::string(form).find("-t") == std::string::npos;
    EXPECT_EQ(std::count(whole.begin(), whole.end(), '\n'), header ? 251 : 250) << form;
    for (const char *n : {"1", "7", "250", "1000"})
      EXPECT_EQ(query(select, std::string("--no-convert --fetch-count ") + n + " " + form), whole)
          << form << " " << n;
  }
  std::string aligned =
      query("SELECT N FROM B WHERE N < 12", "--no-convert --aligned --fetch-count 5");
  // the first batch (0 to 4) is one digit wide, the last (10, 11) two
  EXPECT_EQ(aligned.substr(0, 10), " N\n---\n 0\n");
  EXPECT_NE(aligned.find("\n 10\n 11\n"), std::string::npos) << aligned;
  EXPECT_EQ(aligned.substr(aligned.size() - 11), "(12 rows)\n\n");
  EXPECT_EQ(std::count(aligned.begin(), aligned.end(), '\n'), 2 + 12 + 2);
  EXPECT_EQ(query("SELECT N FROM B WHERE N < 0", "--no-convert --fetch-count 5"), "N\n");
  std::string out, err;
  EXPECT_EQ(run("--no-convert --fetch-count 5 -c 'SELECT X FROM B'", "", &out, &err), 1);
  EXPECT_NE(err.find("X"), std::string::npos) << err;
  // the cursor and the row maximum are gone again: a plain MAX cuts
  EXPECT_EQ(run("--no-convert --fetch-count 5 -c 'SELECT N FROM B' -c 'MAX 3; SELECT N FROM B'", "",
                &out, &err),
            0);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 251 + 4) << out;
  EXPECT_EQ(err, "(not all rows were sent: 3 received)\n");
}

// A CSV file written on a UTF-8 terminal (quotes, umlauts, CRLF, its
// columns in another order than the table's, named in its first line) is
// stored in Latin-1.  A character outside Latin-1, a value the server
// refuses or a short line is named with its line of the file, and nothing
// of that file is imported.
TEST_P(KvsqlWithKorvald, ImportCsvFromUtf8File) {
  const std::string utf8 = "LC_ALL=C.UTF-8";
  ASSERT_EQ(query("CREATE TABLE P (ID INTEGER NOT NULL, NAME CHARACTER(30), ORT CHARACTER(20))"),
            "");
  write("p.csv",
        "\xef\xbb\xbfname,Id,ORT\r\n"
        "\"M\xc3\xbcller, Hans\",1,M\xc3\xbcnchen\r\n"
        "\"Say \"\"Gr\xc3\xbc\xc3\x9f Gott\"\"\",2,\"K\xc3\xb6ln\"\r\n");
  std::string out, err;
  EXPECT_EQ(run("--import p.csv p", "", &out, &err, utf8), 0) << err;
  EXPECT_EQ(out, "2\n");
  EXPECT_EQ(query("SELECT * FROM P ORDER BY ID"),
            "ID\tNAME\tORT\n1\tM\xfcller, Hans\tM\xfcnchen\n2\tSay \"Gr\xfc\xdf Gott\"\tK\xf6ln\n");
  EXPECT_EQ(query("SELECT NAME FROM P WHERE ORT = 'M\xc3\xbcnchen'", "-t", utf8),
            "M\xc3\xbcller, Hans\n");

  struct {
    const char *file, *error;
  } bad[] = {
      {"3,a,b\n4,\"x\ny\",Z\xc3\xbcrich\n5,\xe2\x82\xac uro,c\n",
       "kvsql: bad.csv:4: field 2: the character \"\xe2\x82\xac\" (U+20AC) has no Latin-1 form; "
       "nothing was imported\n"},
      {"3,a,b\n4,b,c\nfive,c,d\n", "kvsql: bad.csv:3: "},
      {"3,a,b\n4,b\n",
       "kvsql: bad.csv:2: 2 fields, but the table has 3 columns; nothing was imported\n"},
  };
  for (auto &b : bad) {
    write("bad.csv", b.file);
    EXPECT_EQ(run("-c '\\import bad.csv P'", "", &out, &err, utf8), 1);
    EXPECT_EQ(err.compare(0, strlen(b.error), b.error), 0) << err;
    EXPECT_EQ(query("SELECT COUNT(*) FROM P"), "COUNT(*)\n2\n");
  }
  // Inside an open transaction the import refuses to start.
  EXPECT_EQ(run("", "begin;\n\\import p.csv P\nabort;\n", &out, &err), 1);
  EXPECT_EQ(err,
            "kvsql: line 2: \\import: runs in a transaction of its own; end the open one first "
            "(COMMIT or ABORT)\n");
}
