// Tests of the kvsql program: runs the built binary with arguments and
// standard input, against the scripted server where it needs one, and checks
// its output and exit status.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "dbclient/result.h"
#include "proto/query.h"
#include "tests/support/scripted_server.h"

namespace {

struct KvsqlRun {
  int status = -1;
  std::string out, err;
};

std::string slurp(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// Runs kvsql with args and the given standard input, in the C locale
// unless env (of "NAME=VALUE" settings) says otherwise.
KvsqlRun kvsql(std::vector<std::string> args, const std::string &input = "",
               std::vector<std::string> env = {}) {
  char dir[] = "/tmp/kvsqltestXXXXXX";
  EXPECT_NE(nullptr, mkdtemp(dir));
  std::string in = std::string(dir) + "/in", out = std::string(dir) + "/out",
              err = std::string(dir) + "/err";
  std::ofstream(in, std::ios::binary) << input;
  pid_t pid = fork();
  if (pid == 0) {
    int fi = open(in.c_str(), O_RDONLY);
    int fo = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int fe = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fi, 0);
    dup2(fo, 1);
    dup2(fe, 2);
    setenv("LC_ALL", "C", 1);
    for (std::string &e : env) putenv(&e[0]);
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(KVSQL_BINARY));
    for (auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(KVSQL_BINARY, argv.data());
    _exit(127);
  }
  KvsqlRun r;
  int st = 0;
  waitpid(pid, &st, 0);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.out = slurp(out);
  r.err = slurp(err);
  unlink(in.c_str());
  unlink(out.c_str());
  unlink(err.c_str());
  rmdir(dir);
  return r;
}

}  // namespace

TEST(Kvsql, HelpAndVersion) {
  KvsqlRun r = kvsql({"--help"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(0u, r.out.find("usage: kvsql"));
  r = kvsql({"-h"});
  EXPECT_EQ(0, r.status);
  r = kvsql({"--version"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("kvsql 1.0\n", r.out);
  r = kvsql({"--bogus"});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("unknown argument"));
}

TEST(Kvsql, TokensSplitStatementsOutsideQuotes) {
  KvsqlRun r = kvsql({"--tokens"}, "begin;\n  END ;\nINSERT INTO t VALUES ('a;b');\n;\ncommit");
  EXPECT_EQ(0, r.status) << r.err;
  std::vector<std::string> lines;
  std::istringstream ss(r.out);
  for (std::string l; std::getline(ss, l);) lines.push_back(l);
  ASSERT_EQ(4u, lines.size()) << r.out;
  EXPECT_EQ("4a", lines[0]);  // BEGIN: the command code alone
  EXPECT_EQ("4b", lines[1]);
  EXPECT_NE(std::string::npos, lines[2].find("613b62"));  // the string a;b, one statement
  EXPECT_EQ("4b", lines[3]);
  r = kvsql({"--tokens", "-c", "SELEKT x", "-c", "begin"});
  EXPECT_EQ(1, r.status);
  std::istringstream ss2(r.out);
  std::string first, second;
  std::getline(ss2, first);
  std::getline(ss2, second);
  // The first line is the translation error text, not hex.
  EXPECT_NE(std::string::npos, first.find_first_not_of("0123456789abcdef")) << first;
  EXPECT_EQ("4a", second);
}

TEST(Kvsql, ConnectionFailureIsStatusTwo) {
  ScriptedServer s;
  std::string port = s.port_text();
  s.stop();
  KvsqlRun r = kvsql({"-dbx", "-p", port, "-c", "begin"});
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("(KORVAL) Connection refused\n", r.err);
  ScriptedServer refusing;
  r = kvsql({"-db", "baddb", "-p", refusing.port_text(), "-c", "begin"});
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("Database not found\n", r.err);
}

TEST(Kvsql, RowsCountsAndErrors) {
  ScriptedServer srv;
  srv.set_rule([](const std::vector<char> &req) {
    std::string s(req.begin(), req.end());
    if (s.find("ERR") != std::string::npos) return ScriptedServer::error_reply("kaputt");
    if (s.find("CNT") != std::string::npos) return ScriptedServer::reply_of({'3', 7, 0, 0, 0});
    if (s.find("ROWS") != std::string::npos) {
      ScriptedReply r;
      r.bytes = {'2', 2, 0, 0, 0,   2,   0, 0,   0, 2,  0,  'N', 0,  '2', 4,  0,
                 0,   0, 3, 0, 'T', 'X', 0, '0', 9, 0,  0,  0,   4,  0,   42, 0,
                 0,   0, 3, 0, 'a', 'b', 0, 4,   0, -1, -1, -1,  -1, 1,   0,  0};
      return r;
    }
    return ScriptedServer::default_rule(req);
  });
  KvsqlRun r = kvsql({"-dbkunden", "-p" + srv.port_text(), "-c", "SELECT * FROM rows", "-c",
                      "DELETE FROM cnt; DELETE FROM other"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("N\tTX\n42\tab\n-1\t\n7\n", r.out);
  EXPECT_EQ("", r.err);
  r = kvsql({"-dbkunden", "-p", srv.port_text()}, "select * from err;\nselect * from rows;");
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("kaputt\n", r.err);
  EXPECT_EQ("N\tTX\n42\tab\n-1\t\n", r.out);
  ASSERT_TRUE(srv.wait_requests(9));
  EXPECT_EQ("KUNDEN", ScriptedServer::request_name(srv.requests()[0]));
}

namespace {

// The request DBexec would send for stmt.
std::string request_of(const std::string &stmt) {
  std::vector<char> err(10000);
  EXPECT_EQ(1, DBtranslate(stmt.c_str(), err.data())) << stmt << ": " << err.data();
  return std::string(query_data, static_cast<size_t>(query_size));
}

// The statement requests the server got (between open and disconnect).
std::vector<std::string> statements_sent(ScriptedServer &srv) {
  std::vector<std::string> r;
  for (const auto &req : srv.requests())
    if (!req.empty() && req[0] != '1' && req[0] != '2') r.emplace_back(req.begin(), req.end());
  return r;
}

}  // namespace

// Statements whose literals hold quotes, backslashes, ';' and END reach the
// server exactly as written, one request each, in order; text from inside a
// literal is never run.
TEST(Kvsql, SendsExactlyTheStatementsWritten) {
  std::mt19937 rng(4711);
  const char *bits[] = {"\\'", "\\\\", ";", " END ", "end;", "'); DROP TABLE K0; ('", "\n", "x"};
  for (int round = 0; round < 5; round++) {
    ScriptedServer srv;
    std::string input;
    std::vector<std::string> want;
    for (int k = 0; k < 30; k++) {
      std::string lit;
      for (int j = rng() % 6; j > 0; j--) {
        std::string b = bits[rng() % 8];
        if (b[0] == '\'') b = "\\" + b.substr(0, b.size() - 1) + "\\'";
        lit += b;
      }
      std::string stmt = "INSERT INTO K0 VALUES (" + std::to_string(k) + ", '" + lit + "')";
      stmt += rng() % 2 ? ";" : " END";
      want.push_back(request_of(stmt));
      input += stmt + (rng() % 2 ? "\n" : " ");
    }
    KvsqlRun r = kvsql({"-dbX", "-p", srv.port_text()}, input);
    EXPECT_EQ(0, r.status) << r.err;
    ASSERT_TRUE(srv.wait_requests(want.size() + 2));
    EXPECT_EQ(want, statements_sent(srv)) << input;
  }
  // The reported injection: one INSERT whose value holds the DROP.
  ScriptedServer srv;
  KvsqlRun r = kvsql({"-dbX", "-p", srv.port_text()},
                     "INSERT INTO K0 VALUES (2, 'a\\'; DROP TABLE K0; ');\n");
  EXPECT_EQ(0, r.status) << r.err;
  ASSERT_TRUE(srv.wait_requests(3));
  EXPECT_EQ(
      std::vector<std::string>{request_of("INSERT INTO K0 VALUES (2, 'a\\'; DROP TABLE K0; ');")},
      statements_sent(srv));
}

// A statement that does not translate is named by its line and start, and
// the statements after it still run; a NUL byte is never sent cut short.
TEST(Kvsql, UnreadableStatementsAreNamed) {
  ScriptedServer srv;
  std::string input =
      "begin;\ninsert kunde values (1);\n" + std::string("select 'a\0b' from t;\n", 21) + "end;";
  KvsqlRun r = kvsql({"-dbX", "-p", srv.port_text()}, input);
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(
      "Unexpected end of query (expected SQL-command)\n"
      "kvsql: in the statement on line 2: insert kunde values (1);\n"
      "kvsql: the statement holds a NUL byte and is not sent\n"
      "kvsql: in the statement on line 3: select 'a?b' from t;\n",
      r.err);
  ASSERT_TRUE(srv.wait_requests(4));
  EXPECT_EQ((std::vector<std::string>{request_of("begin;"), request_of("end;")}),
            statements_sent(srv));
}

// A server that goes away mid-session gets one line naming it, exit status 2,
// and nothing after it is tried.
TEST(Kvsql, LostServerIsOneLine) {
  ScriptedServer srv;
  srv.set_rule([](const std::vector<char> &req) {
    if (std::string(req.begin(), req.end()).find("GONE") != std::string::npos) {
      ScriptedReply r;
      r.send = false;
      r.hang_up = true;
      return r;
    }
    return ScriptedServer::default_rule(req);
  });
  KvsqlRun r = kvsql({"-dbX", "-p", srv.port_text()},
                     "begin;\nselect * from gone;\nselect * from t;\nend;\n");
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("kvsql: lost the connection to the server at 127.0.0.1 port " + srv.port_text() + "\n",
            r.err);
  EXPECT_EQ("", r.out);
  EXPECT_EQ(3u, srv.requests().size());
}

namespace {

// A scripted server whose SELECTs answer two rows (N INTEGER, TX
// CHARACTER(9)) and, FROM EMPTY, none; DELETEs a count of 7; statements on
// table ERR an error; everything else '1'.
void script_rows(ScriptedServer &srv) {
  srv.set_rule([](const std::vector<char> &req) {
    std::string s(req.begin(), req.end());
    if (s.find("ERR") != std::string::npos)
      return ScriptedServer::error_reply(
          "Gr\xfc\xdf"
          "e vom Server");
    if (!req.empty() && req[0] == 'G') return ScriptedServer::reply_of({'3', 7, 0, 0, 0});
    if (req.empty() || req[0] != 'C') return ScriptedServer::default_rule(req);
    bool empty = s.find("EMPTY") != std::string::npos;
    ScriptedReply r;
    r.bytes = {'2', 2,   0,   0,   0, static_cast<char>(empty ? 0 : 2),
               0,   0,   0,   2,   0, 'N',
               0,   '2', 4,   0,   0, 0,
               3,   0,   'T', 'X', 0, '0',
               9,   0,   0,   0};
    if (!empty)
      r.bytes.insert(r.bytes.end(), {4, 0, 42, 0,  0,  0,  5,  0, 'a', '\t', 'b', '\xe4',
                                     0, 4, 0,  -1, -1, -1, -1, 3, 0,   'x',  ',', 0});
    return r;
  });
}

struct TempDir {
  std::string path;
  TempDir() {
    char t[] = "/tmp/kvsqlfilesXXXXXX";
    path = mkdtemp(t);
  }
  ~TempDir() { system(("rm -rf '" + path + "'").c_str()); }
  std::string write(const std::string &name, const std::string &text) {
    std::ofstream(path + "/" + name, std::ios::binary) << text;
    return path + "/" + name;
  }
};

}  // namespace

// -f: comments never reach the server, every error names the file and the
// line of its statement, and the run goes on (status 1) unless told to stop
// at the first failure (status 3, nothing after it is sent); -c and -f run
// in the order given.
TEST(Kvsql, ScriptsNameFileAndLine) {
  ScriptedServer srv;
  script_rows(srv);
  TempDir dir;
  std::string f = dir.write("s.sql",
                            "-- a script\n"
                            "begin; /* a comment\n"
                            "over two lines */ delete from t -- why ' not\n"
                            "  where a = '--';\n"
                            "select * from err;\n"
                            "\n"
                            "insert kunde values (1);\n"
                            "end;\n");
  KvsqlRun r = kvsql({"-dbX", "-p", srv.port_text(), "-q", "-c", "abort", "-f", f, "-c", "commit"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("kvsql: " + f +
                ":5: Gr\xfc\xdf"
                "e vom Server\n"
                "kvsql: " +
                f +
                ":7: Unexpected end of query (expected SQL-command)\n"
                "kvsql: " +
                f + ":7: in the statement: insert kunde values (1);\n",
            r.err);
  EXPECT_EQ("", r.out);
  ASSERT_TRUE(srv.wait_requests(8));
  EXPECT_EQ(
      (std::vector<std::string>{
          request_of("abort"), request_of("begin"), request_of("delete from t where a = '--'"),
          request_of("select * from err"), request_of("end"), request_of("commit")}),
      statements_sent(srv));

  for (std::vector<std::string> stop : {std::vector<std::string>{"--on-error-stop"},
                                        std::vector<std::string>{"-v", "ON_ERROR_STOP=1"}}) {
    ScriptedServer s2;
    script_rows(s2);
    std::vector<std::string> args = {"-dbX", "-p", s2.port_text(), "-f", f, "-c", "commit"};
    args.insert(args.end(), stop.begin(), stop.end());
    r = kvsql(args);
    EXPECT_EQ(3, r.status);
    EXPECT_EQ("kvsql: " + f +
                  ":5: Gr\xfc\xdf"
                  "e vom Server\n",
              r.err);
    ASSERT_TRUE(s2.wait_requests(4));
    EXPECT_EQ(3u, statements_sent(s2).size());
  }
  // The same switch as a meta-command inside the script.
  ScriptedServer s3;
  script_rows(s3);
  r = kvsql({"-dbX", "-p", s3.port_text()}, "\\set ON_ERROR_STOP on\nselect * from err;\nbegin;\n");
  EXPECT_EQ(3, r.status);
  EXPECT_EQ(
      "Gr\xfc\xdf"
      "e vom Server\n",
      r.err);
}

// Every output mode on the same two rows (a tab and a Latin-1 umlaut in a
// value, a comma in another), zero rows with their header, and the command
// feedback that -q silences.
TEST(Kvsql, OutputModes) {
  ScriptedServer srv;
  script_rows(srv);
  std::string p = srv.port_text();
  auto out = [&](std::vector<std::string> opts, const char *sql) {
    std::vector<std::string> args = {"-dbX", "-p", p, "--no-convert"};
    args.insert(args.end(), opts.begin(), opts.end());
    args.push_back("-c");
    args.push_back(sql);
    KvsqlRun r = kvsql(args);
    EXPECT_EQ(0, r.status) << r.err;
    return r.out;
  };
  EXPECT_EQ("N\tTX\n42\ta\\tb\xe4\n-1\tx,\n", out({}, "select * from t"));
  EXPECT_EQ("N,TX\n42,a\tb\xe4\n-1,\"x,\"\n", out({"--csv"}, "select * from t"));
  EXPECT_EQ(
      " N  |  TX\n"
      "----+-------\n"
      " 42 | a\\tb\xe4\n"
      " -1 | x,\n"
      "(2 rows)\n\n",
      out({"--aligned"}, "select * from t"));
  EXPECT_EQ("-[ RECORD 1 ]\nN  | 42\nTX | a\\tb\xe4\n-[ RECORD 2 ]\nN  | -1\nTX | x,\n\n",
            out({"--aligned", "-x"}, "select * from t"));
  EXPECT_EQ("42\ta\\tb\xe4\n-1\tx,\n", out({"-t"}, "select * from t"));
  EXPECT_EQ("N\tTX\n", out({}, "select n, tx from empty"));
  EXPECT_EQ(" N | TX\n---+----\n(0 rows)\n\n", out({"--aligned"}, "select n, tx from empty"));
  EXPECT_EQ("7\n", out({}, "delete from t"));
  EXPECT_EQ("DELETE 7\nBEGIN\n", out({"--aligned"}, "delete from t; begin"));
  EXPECT_EQ("", out({"-q", "--aligned"}, "delete from t; begin"));
  // Switched on and off by meta-commands in between.
  EXPECT_EQ("N,TX\n42,a\tb\xe4\n-1,\"x,\"\nTuples only is on.\n42,a\tb\xe4\n-1,\"x,\"\n",
            out({"--csv"}, "select * from t;\n\\t\nselect * from t"));
}

// On a UTF-8 terminal a statement is sent in Latin-1; one with a character
// Latin-1 lacks is refused before anything is sent, naming it and where it
// is; the server's Latin-1 texts come back in UTF-8.  --no-convert sends
// the bytes as they are.
TEST(Kvsql, TerminalCharacterSet) {
  ScriptedServer srv;
  script_rows(srv);
  KvsqlRun r = kvsql({"-dbX", "-p", srv.port_text()},
                     "select * from t where a = 'M\xc3\xbcnchen';\n"
                     "select * from t\n where a = '\xe2\x82\xac';\nselect * from err;\n",
                     {"LC_ALL=C.UTF-8"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(
      "kvsql: line 3: the character \"\xe2\x82\xac\" (U+20AC) has no Latin-1 form (at character "
      "29 of the statement); the statement is not sent\n"
      "Gr\xc3\xbc\xc3\x9f"
      "e vom Server\n",
      r.err);
  EXPECT_EQ("N\tTX\n42\ta\\tb\xc3\xa4\n-1\tx,\n", r.out);
  ASSERT_TRUE(srv.wait_requests(4));
  EXPECT_EQ((std::vector<std::string>{request_of("select * from t where a = 'M\xfcnchen';"),
                                      request_of("select * from err")}),
            statements_sent(srv));
  ScriptedServer s2;
  r = kvsql({"-dbX", "-p", s2.port_text(), "--no-convert", "-c",
             "select * from t where a = '\xe2\x82\xac'"},
            "", {"LC_ALL=C.UTF-8"});
  EXPECT_EQ(0, r.status) << r.err;
  ASSERT_TRUE(s2.wait_requests(3));
  EXPECT_EQ(std::vector<std::string>{request_of("select * from t where a = '\xe2\x82\xac'")},
            statements_sent(s2));
}

// Meta-commands in scripts: \d becomes SHOW, \i runs a file (its errors
// named with its own name), \o sends results to a file, a bad table name
// or an unknown command is refused, \q ends everything.
TEST(Kvsql, MetaCommandsInScripts) {
  ScriptedServer srv;
  script_rows(srv);
  TempDir dir;
  std::string inner = dir.write("inner.sql", "select * from t;\n\nselect * from err;\n");
  std::string outfile = dir.path + "/out.txt";
  KvsqlRun r = kvsql({"-dbX", "-p", srv.port_text(), "--no-convert", "-c",
                      "\\d\n\\d kunde\n\\d 'a;b'\n\\i " + inner + "\n\\o " + outfile +
                          "\nselect n, tx from empty;\n\\o\n\\bogus\nbegin; \\q\nend;",
                      "-c", "commit"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(
      "kvsql: line 3: \\d: not a table name: a;b\n"
      "kvsql: " +
          inner +
          ":3: Gr\xfc\xdf"
          "e vom Server\n"
          "kvsql: line 8: invalid command \\bogus.  Try \\? for help.\n",
      r.err);
  EXPECT_EQ("N\tTX\n42\ta\\tb\xe4\n-1\tx,\n", r.out);
  std::ifstream in(outfile);
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_EQ("N\tTX\n", ss.str());
  ASSERT_TRUE(srv.wait_requests(7));
  EXPECT_EQ(
      (std::vector<std::string>{request_of("SHOW TABLES"), request_of("SHOW TABLE KUNDE"),
                                request_of("select * from t"), request_of("select * from err"),
                                request_of("select n, tx from empty"), request_of("begin")}),
      statements_sent(srv));
}

// An open request nobody answers ends at --connect-timeout with status 2.
TEST(Kvsql, ConnectTimeout) {
  ScriptedServer srv;
  srv.set_rule([](const std::vector<char> &) {
    ScriptedReply none;
    none.send = false;
    return none;
  });
  KvsqlRun r = kvsql({"-dbX", "-p", srv.port_text(), "--connect-timeout", "1", "-c", "begin"});
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("(KORVAL) No answer from the server within 1 s\n", r.err);
}
