// Tests of connections and DBexec against the scripted server on loopback:
// the open/create/drop/reset/disconnect/stop requests, the port checks,
// refusals, and transport failures that leave the process running.
#include "dbclient/connection.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <string>
#include <vector>

#include "proto/query.h"
#include "dbclient/result.h"
#include "tests/support/scripted_server.h"
#include "tests/support/log_capture.h"

namespace {

std::vector<char> name_request(char code, const char *name) {
  std::vector<char> r = {code, 'a', static_cast<char>(strlen(name) + 1), 0};
  r.insert(r.end(), name, name + strlen(name) + 1);
  return r;
}

// A port on which nobody listens: a server that was just stopped.
std::string dead_port() {
  ScriptedServer s;
  std::string p = s.port_text();
  s.stop();
  return p;
}

}  // namespace

TEST(Connect, ArgumentChecks) {
  DBconn *c = DBconnect(nullptr, nullptr, 0, 0, nullptr);
  EXPECT_EQ(DB_CONNECTION_FAILED, DBstatus(c));
  EXPECT_STREQ("(DBconnect) Database name missing\n", DBerrorMessage(c));
  EXPECT_EQ(-1, c->socket);
  DBfreeconn(c);
  struct {
    const char *port, *text;
  } cases[] = {
      {"abc", "(KORVAL) Invalid port (abc)\n"},
      {"70000", "(KORVAL) Invalid port 70000 (must be in 0...65535)\n"},
      {"-1", "(KORVAL) Invalid port -1 (must be in 0...65535)\n"},
  };
  for (auto &k : cases) {
    char name[] = "x";
    c = DBsetdb("localhost", k.port, 0, name);
    EXPECT_EQ(DB_CONNECTION_FAILED, DBstatus(c));
    EXPECT_STREQ(k.text, DBerrorMessage(c));
    DBfreeconn(c);
  }
  char name[] = "x";
  c = DBsetdb("no-such-host.invalid", "1", 0, name);
  EXPECT_EQ(DB_CONNECTION_FAILED, DBstatus(c));
  EXPECT_EQ(0, strncmp("(KORVAL) ", DBerrorMessage(c), 9));
  DBfreeconn(c);
  std::string port = dead_port();
  c = DBsetdb("localhost", port.c_str(), 0, name);
  EXPECT_EQ(DB_CONNECTION_FAILED, DBstatus(c));
  EXPECT_STREQ("(KORVAL) Connection refused\n", DBerrorMessage(c));
  EXPECT_EQ(-1, c->socket);
  DBfreeconn(c);
}

TEST(Connect, OpenCreateRefuse) {
  ScriptedServer srv;
  ASSERT_TRUE(srv.ok());
  std::string port = srv.port_text();
  char name[] = "mydb";
  DBconn *c = DBsetdb(nullptr, port.c_str(), 0, name);
  EXPECT_EQ(DB_CONNECTION_OK, DBstatus(c)) << c->errmsg;
  EXPECT_STREQ("MYDB", name);  // upper-cased in place
  EXPECT_STREQ("MYDB", c->dbname);
  EXPECT_EQ(1, DBfinish(c));
  DBfreeconn(c);
  char name2[] = "neu";
  c = DBcreatedb("localhost", port.c_str(), 0, name2);
  EXPECT_EQ(DB_CONNECTION_OK, DBstatus(c));
  char bad[] = "baddb";
  DBconn *r = DBsetdb(nullptr, port.c_str(), 0, bad);
  EXPECT_EQ(DB_CONNECTION_FAILED, DBstatus(r));
  EXPECT_STREQ("Database not found\n", DBerrorMessage(r));
  EXPECT_STREQ("Database not found\n", DBerrorMessage(r));
  EXPECT_EQ(-1, r->socket);
  DBfreeconn(r);
  ASSERT_TRUE(srv.wait_requests(4));
  auto reqs = srv.requests();
  EXPECT_EQ(name_request('1', "MYDB"), reqs[0]);
  // The others arrive on different connections, in any order.
  std::vector<std::vector<char>> rest(reqs.begin() + 1, reqs.end());
  EXPECT_NE(rest.end(), std::find(rest.begin(), rest.end(), std::vector<char>{'2'}));
  EXPECT_NE(rest.end(), std::find(rest.begin(), rest.end(), name_request('3', "NEU")));
  EXPECT_NE(rest.end(), std::find(rest.begin(), rest.end(), name_request('1', "BADDB")));
  DBfinish(c);
  DBfreeconn(c);

  srv.set_rule([](const std::vector<char> &) { return ScriptedServer::reply_of({'0'}); });
  char name3[] = "a";
  c = DBsetdb(nullptr, port.c_str(), 0, name3);
  EXPECT_EQ(DB_CONNECTION_FAILED, DBstatus(c));
  EXPECT_STREQ("(DBconnect) Result error message missing\n", DBerrorMessage(c));
  DBfreeconn(c);
}

TEST(Connect, ServerHangsUpDuringOpen) {
  ScriptedServer srv;
  std::string port = srv.port_text();
  srv.set_rule([&](const std::vector<char> &) {
    ScriptedReply none;
    none.send = false;
    return none;
  });
  // The rule sends nothing; stopping the server closes the connection.
  std::thread stopper([&]() {
    srv.wait_requests(1);
    srv.stop();
  });
  char name[] = "x";
  kv_capture_log();
  DBconn *c = DBsetdb(nullptr, port.c_str(), 0, name);
  std::string log = kv_captured_log();
  stopper.join();
  EXPECT_EQ(DB_CONNECTION_FAILED, DBstatus(c));
  EXPECT_STREQ("DBrecv: No data received\n", DBerrorMessage(c));
  EXPECT_EQ("DBrecv: No data received\n", log);
  DBfreeconn(c);
}

// An open request that is never answered ends at the time limit with its
// own text; a connection made within the limit keeps no limit for the
// statements that follow.
TEST(Connect, TimeLimitOnOpen) {
  ScriptedServer srv;
  std::string port = srv.port_text();
  srv.set_rule([](const std::vector<char> &) {
    ScriptedReply none;
    none.send = false;
    return none;
  });
  char name[] = "x";
  kv_capture_log();
  DBconn *c = DBsetdb_timeout(nullptr, port.c_str(), name, 200);
  kv_captured_log();
  EXPECT_EQ(DB_CONNECTION_FAILED, DBstatus(c));
  EXPECT_STREQ("(KORVAL) No answer from the server within 0.2 s\n", DBerrorMessage(c));
  EXPECT_EQ(-1, c->socket);
  DBfreeconn(c);

  srv.set_rule(ScriptedServer::default_rule);
  char name2[] = "y";
  c = DBsetdb_timeout(nullptr, port.c_str(), name2, 60000);
  ASSERT_EQ(DB_CONNECTION_OK, DBstatus(c)) << c->errmsg;
  struct timeval tv = {1, 1};
  socklen_t len = sizeof tv;
  ASSERT_EQ(0, getsockopt(c->socket, SOL_SOCKET, SO_RCVTIMEO, &tv, &len));
  EXPECT_EQ(0, tv.tv_sec + tv.tv_usec);
  DBfinish(c);
  DBfreeconn(c);
  std::string dead = dead_port();
  c = DBsetdb_timeout(nullptr, dead.c_str(), name2, 60000);
  EXPECT_STREQ("(KORVAL) Connection refused\n", DBerrorMessage(c));
  DBfreeconn(c);
}

TEST(Connect, DropResetStop) {
  ScriptedServer srv;
  std::string port = srv.port_text();
  char name[] = "kunden";
  DBconn *c = DBsetdb(nullptr, port.c_str(), 0, name);
  ASSERT_EQ(DB_CONNECTION_OK, DBstatus(c));
  EXPECT_EQ(1, DBreset(c));
  EXPECT_EQ(DB_CONNECTION_OK, DBstatus(c));
  srv.set_rule([](const std::vector<char> &req) {
    if (req[0] == '4') return ScriptedServer::error_reply("Datenbank in Benutzung");
    return ScriptedServer::default_rule(req);
  });
  EXPECT_EQ(0, DBdropdb(c));
  EXPECT_EQ(DB_CONNECTION_FAILED, DBstatus(c));
  EXPECT_STREQ("Datenbank in Benutzung\n", DBerrorMessage(c));
  srv.set_rule([](const std::vector<char> &req) {
    if (req[0] == '4' || req[0] == '1') return ScriptedServer::reply_of({'0'});
    return ScriptedServer::default_rule(req);
  });
  EXPECT_EQ(0, DBreset(c));
  EXPECT_STREQ("(DBreset) Result error message missing\n", DBerrorMessage(c));
  EXPECT_EQ(0, DBdropdb(c));
  EXPECT_STREQ("(DBdropdb) Result error message missing\n", DBerrorMessage(c));
  srv.set_rule(ScriptedServer::default_rule);
  EXPECT_EQ(1, DBdropdb(c));
  EXPECT_EQ(-1, c->socket);
  DBfreeconn(c);
  ASSERT_TRUE(srv.wait_requests(9));
  EXPECT_EQ(1, DBstopdb(nullptr, port.c_str()));
  ASSERT_TRUE(srv.wait_requests(10));
  // open; reset (disconnect, open); refused drop; refused reset; refused
  // drop; drop and its disconnect; stop
  EXPECT_EQ("121421442W", srv.codes());
  std::string dead = dead_port();
  kv_capture_log();
  EXPECT_EQ(0, DBstopdb(nullptr, dead.c_str()));
  EXPECT_EQ("(KORVAL) Connection refused\n", kv_captured_log());
}

TEST(Exec, StatementsRepliesAndBrokenConnection) {
  ScriptedServer srv;
  std::string port = srv.port_text();
  // SHOW answers with a reply larger than one frame.
  srv.set_rule([](const std::vector<char> &req) {
    if (req[0] != 'S') return ScriptedServer::default_rule(req);
    ScriptedReply r;
    auto put32 = [&](int32_t v) { r.bytes.insert(r.bytes.end(), (char *)&v, (char *)&v + 4); };
    r.bytes.push_back('2');
    put32(1);
    put32(3000);
    const char fname[] = "\x05\x00NAME\0";
    r.bytes.insert(r.bytes.end(), fname, fname + 7);
    r.bytes.push_back('0');
    put32(20);
    for (int i = 0; i < 3000; i++) {
      std::string s = "db" + std::to_string(i);
      r.bytes.push_back(static_cast<char>(s.size() + 1));
      r.bytes.push_back(0);
      r.bytes.insert(r.bytes.end(), s.c_str(), s.c_str() + s.size() + 1);
    }
    return r;
  });
  char name[] = "x";
  DBconn *c = DBsetdb(nullptr, port.c_str(), 0, name);
  ASSERT_EQ(DB_CONNECTION_OK, DBstatus(c));
  DBresult *r = DBexec(c, "SHOW DATABASES");
  ASSERT_NE(nullptr, r);
  EXPECT_EQ(DB_TUPLES_OK, DBresultStatus(r));
  EXPECT_EQ(3000, DBntuples(r));
  EXPECT_STREQ("db2999", DBgetvalue(r, 2999, 0));
  DBclear(r);
  // A statement that does not translate is not sent; the next one works.
  r = DBexec(c, "SELEKT x FROM y");
  ASSERT_NE(nullptr, r);
  EXPECT_EQ(DB_SYNTAX_ERROR, DBresultStatus(r));
  EXPECT_NE('\0', r->errmsg[0]);
  DBclear(r);
  r = DBexec(c, "SHOW DATABASES;");
  ASSERT_NE(nullptr, r);
  EXPECT_EQ(DB_TUPLES_OK, DBresultStatus(r));
  DBclear(r);
  ASSERT_TRUE(srv.wait_requests(3));
  auto reqs = srv.requests();
  EXPECT_EQ(reqs[1], reqs[2]);  // the ';' is added when missing
  // DBbinexec sends the buffer as built.
  DBquery_init();
  DBquery_addcmd(CMD_BEGIN);
  DBquery_addtoken(TOK_END);
  r = DBbinexec(c);
  ASSERT_NE(nullptr, r);
  EXPECT_EQ(DB_COMMAND_OK, DBresultStatus(r));
  DBclear(r);
  ASSERT_TRUE(srv.wait_requests(4));
  EXPECT_EQ((std::vector<char>{'J', 'x'}), srv.requests()[3]);

  // The server goes away: no result, a log line, status broken; no crash.
  srv.stop();
  kv_capture_log();
  r = DBexec(c, "BEGIN");
  std::string log = kv_captured_log();
  EXPECT_EQ(nullptr, r);
  EXPECT_EQ(DB_CONNECTION_BROKEN, DBstatus(c));
  EXPECT_TRUE(log == "DBrecv: No data received\n" || log == "DBsend: No data to send\n") << log;
  EXPECT_NE('\0', DBerrorMessage(c)[0]);
  // A broken connection sends nothing more.
  kv_capture_log();
  EXPECT_EQ(nullptr, DBexec(c, "BEGIN"));
  EXPECT_EQ("", kv_captured_log());
  r = DBexec(c, "SELEKT");
  ASSERT_NE(nullptr, r);
  EXPECT_EQ(DB_SYNTAX_ERROR, DBresultStatus(r));
  DBclear(r);
  DBfinish(c);
  DBfreeconn(c);
}

TEST(Exec, EmptyRequestIsRefused) {
  ScriptedServer srv;
  std::string port = srv.port_text();
  char name[] = "x";
  DBconn *c = DBsetdb(nullptr, port.c_str(), 0, name);
  ASSERT_EQ(DB_CONNECTION_OK, DBstatus(c));
  DBquery_init();
  kv_capture_log();
  EXPECT_EQ(nullptr, DBbinexec(c));
  EXPECT_EQ("DBsend: No data to send\n", kv_captured_log());
  EXPECT_EQ(DB_CONNECTION_BROKEN, DBstatus(c));
  EXPECT_STREQ("DBsend: No data to send\n", DBerrorMessage(c));
  DBfinish(c);
  DBfreeconn(c);
}
