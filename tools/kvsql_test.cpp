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

std::string slurp(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Runs kvsql with args and the given standard input.
KvsqlRun kvsql(std::vector<std::string> args, const std::string &input = "")
{
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
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(KVSQL_BINARY));
        for (auto &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
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

TEST(Kvsql, HelpAndVersion)
{
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

TEST(Kvsql, TokensSplitStatementsOutsideQuotes)
{
    KvsqlRun r = kvsql({"--tokens"}, "begin;\n  END ;\nINSERT INTO t VALUES ('a;b');\n;\ncommit");
    EXPECT_EQ(0, r.status) << r.err;
    std::vector<std::string> lines;
    std::istringstream ss(r.out);
    for (std::string l; std::getline(ss, l);)
        lines.push_back(l);
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

TEST(Kvsql, ConnectionFailureIsStatusTwo)
{
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

TEST(Kvsql, RowsCountsAndErrors)
{
    ScriptedServer srv;
    srv.set_rule([](const std::vector<char> &req) {
        std::string s(req.begin(), req.end());
        if (s.find("ERR") != std::string::npos)
            return ScriptedServer::error_reply("kaputt");
        if (s.find("CNT") != std::string::npos)
            return ScriptedServer::reply_of({'3', 7, 0, 0, 0});
        if (s.find("ROWS") != std::string::npos) {
            ScriptedReply r;
            r.bytes = {'2', 2, 0, 0, 0, 2, 0, 0, 0,
                       2, 0, 'N', 0, '2', 4, 0, 0, 0,
                       3, 0, 'T', 'X', 0, '0', 9, 0, 0, 0,
                       4, 0, 42, 0, 0, 0, 3, 0, 'a', 'b', 0,
                       4, 0, -1, -1, -1, -1, 1, 0, 0};
            return r;
        }
        return ScriptedServer::default_rule(req);
    });
    KvsqlRun r = kvsql({"-dbkunden", "-p" + srv.port_text(), "-c", "SELECT * FROM rows",
                   "-c", "DELETE FROM cnt; DELETE FROM other"});
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
std::string request_of(const std::string &stmt)
{
    std::vector<char> err(10000);
    EXPECT_EQ(1, DBtranslate(stmt.c_str(), err.data())) << stmt << ": " << err.data();
    return std::string(query_data, static_cast<size_t>(query_size));
}

// The statement requests the server got (between open and disconnect).
std::vector<std::string> statements_sent(ScriptedServer &srv)
{
    std::vector<std::string> r;
    for (const auto &req : srv.requests())
        if (!req.empty() && req[0] != '1' && req[0] != '2')
            r.emplace_back(req.begin(), req.end());
    return r;
}

}  // namespace

// Statements whose literals hold quotes, backslashes, ';' and END reach the
// server exactly as written, one request each, in order; text from inside a
// literal is never run.
TEST(Kvsql, SendsExactlyTheStatementsWritten)
{
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
                if (b[0] == '\'')
                    b = "\\" + b.substr(0, b.size() - 1) + "\\'";
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
    EXPECT_EQ(std::vector<std::string>{request_of("INSERT INTO K0 VALUES (2, 'a\\'; DROP TABLE K0; ');")},
              statements_sent(srv));
}

// A statement that does not translate is named by its line and start, and
// the statements after it still run; a NUL byte is never sent cut short.
TEST(Kvsql, UnreadableStatementsAreNamed)
{
    ScriptedServer srv;
    std::string input = "begin;\ninsert kunde values (1);\n" + std::string("select 'a\0b' from t;\n", 21) +
                        "end;";
    KvsqlRun r = kvsql({"-dbX", "-p", srv.port_text()}, input);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("Unexpected end of query (expected SQL-command)\n"
              "kvsql: in the statement on line 2: insert kunde values (1);\n"
              "kvsql: the statement holds a NUL byte and is not sent\n"
              "kvsql: in the statement on line 3: select 'a?b' from t;\n",
              r.err);
    ASSERT_TRUE(srv.wait_requests(4));
    EXPECT_EQ((std::vector<std::string>{request_of("begin;"), request_of("end;")}), statements_sent(srv));
}

// A server that goes away mid-session gets one line naming it, exit status 2,
// and nothing after it is tried.
TEST(Kvsql, LostServerIsOneLine)
{
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
    KvsqlRun r = kvsql({"-dbX", "-p", srv.port_text()}, "begin;\nselect * from gone;\nselect * from t;\nend;\n");
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("kvsql: lost the connection to the server at 127.0.0.1 port " + srv.port_text() + "\n", r.err);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(3u, srv.requests().size());
}
