// Tests of the session layer against the scripted server on loopback:
// opening with name prefixes, transaction nesting and underflow, status
// mapping with its log messages, and reconnection after a server restart.
#include "dbclient/session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "proto/query.h"
#include "tests/support/scripted_server.h"
#include "tests/support/log_capture.h"

namespace {

// The caller's record: the session handle is its first field.
struct Record {
  DBHANDLE *handle = nullptr;
  char other[16] = {0};
};

class SessionTest : public testing::Test {
 protected:
  void SetUp() override {
    ibegin = 0;
    server = std::make_unique<ScriptedServer>();
    ASSERT_TRUE(server->ok());
    port = server->port_text();
    dbsetport(port.c_str());
  }
  void TearDown() override {
    if (rec.handle) dbclose(rec.handle);
    dbsetport(nullptr);
    ibegin = 0;
  }
  // Opens the session, capturing and returning the log.
  std::string open(const char *name, int expect) {
    kv_capture_log();
    EXPECT_EQ(expect, dbopen(&rec.handle, name));
    return kv_captured_log();
  }
  std::unique_ptr<ScriptedServer> server;
  std::string port;
  Record rec;
};

std::string name_of_open(const std::vector<char> &req) { return ScriptedServer::request_name(req); }

}  // namespace

TEST_F(SessionTest, OpenTakesTheDatabasePartOfTheName) {
  EXPECT_EQ("", open("srv/kunden", 1));
  ASSERT_NE(nullptr, rec.handle);
  EXPECT_EQ(DBKIND_SQL, rec.handle->kind);
  dbclose(rec.handle);
  rec.handle = nullptr;
  EXPECT_EQ("", open("lager", 1));
  dbclose(rec.handle);
  rec.handle = nullptr;
  // The database part is read as "%s" reads a word: after any white space
  // (form feed, carriage return, vertical tab too), up to the next.
  EXPECT_EQ("", open("srv/\f\r\vkunden\rlager", 1));
  dbclose(rec.handle);
  rec.handle = nullptr;
  EXPECT_EQ("Connection to KORVAL-database failed:\n  Database not found\n", open("srv/", 0));
  ASSERT_NE(nullptr, rec.handle);  // made all the same
  EXPECT_EQ(DB_CONNECTION_FAILED, DBstatus(rec.handle->conn));
  dbclose(rec.handle);
  rec.handle = nullptr;
  EXPECT_EQ("Connection to KORVAL-database 'BADDB' failed:\n  Database not found\n",
            open("baddb", 0));
  ASSERT_TRUE(server->wait_requests(8));
  std::vector<std::string> names;
  for (const auto &r : server->requests())
    if (r[0] == '1') names.push_back(name_of_open(r));
  EXPECT_EQ((std::vector<std::string>{"KUNDEN", "LAGER", "KUNDEN", "", "BADDB"}), names);
}

TEST_F(SessionTest, NestedTransactionsSendOneBeginAndEnd) {
  open("db", 1);
  DBHANDLE *h = rec.handle;
  EXPECT_EQ(1, dbbegin(h));
  EXPECT_EQ(1, dbbegin(h));
  EXPECT_EQ(2, ibegin);
  EXPECT_EQ(1, dbend(h));
  EXPECT_EQ(1, dbend(h));
  EXPECT_EQ(0, ibegin);
  ASSERT_TRUE(server->wait_requests(3));
  EXPECT_EQ("1JK", server->codes());
}

TEST_F(SessionTest, UnderflowIsLoggedAndRecovers) {
  open("db", 1);
  DBHANDLE *h = rec.handle;
  EXPECT_EQ(1, dbbegin(h));
  EXPECT_EQ(1, dbend(h));
  kv_capture_log();
  EXPECT_EQ(1, dbend(h));
  EXPECT_EQ("BEGIN-stack underflow (too many dbends).\n", kv_captured_log());
  // The depth is back at 0, so the next transaction reaches the server.
  EXPECT_EQ(1, dbbegin(h));
  EXPECT_EQ(1, dbend(h));
  ASSERT_TRUE(server->wait_requests(5));
  EXPECT_EQ("1JKJK", server->codes());
}

TEST_F(SessionTest, StatusMappingAndMessages) {
  open("db", 1);
  DBHANDLE *h = rec.handle;
  // The reply is chosen by the table name of the SELECT ('C', ..., name).
  server->set_rule([](const std::vector<char> &req) {
    std::string s(req.begin(), req.end());
    if (s.find("ERR") != std::string::npos) return ScriptedServer::error_reply("kaputt");
    if (s.find("PART") != std::string::npos) {
      ScriptedReply r;
      r.bytes = {'4', 0, 0, 0, 0, 0, 0, 0, 0};
      return r;
    }
    if (s.find("ROWS") != std::string::npos) {
      ScriptedReply r;
      r.bytes = {'2', 1, 0, 0, 0, 1, 0, 0, 0, 2, 0, 'N', 0, '2', 4, 0, 0, 0, 4, 0, 42, 0, 0, 0};
      return r;
    }
    return ScriptedServer::default_rule(req);
  });
  struct Case {
    const char *sql;
    int ret, status;
    std::string log;
  } cases[] = {
      {"DELETE FROM ok", 1, MYDB_COMMAND_OK, ""},
      {"SELECT * FROM rows", 1, MYDB_TUPLES_OK, ""},
      {"SELECT * FROM err", 0, MYDB_BAD_RESPONSE,
       "BAD RESPONSE to dbexec1 command.\nError: kaputt\n"},
      {"SELECT * FROM part", 0, MYDB_BAD_RESPONSE, "BAD RESPONSE to dbexec1 command.\nError: \n"},
      {"SELEKT nix", 1, MYDB_NONFATAL_ERROR, "NONFATAL ERROR occured in dbexec1 command.\nError: "},
  };
  for (const Case &c : cases) {
    DBRES res{7, nullptr};
    int status = -1;
    kv_capture_log();
    EXPECT_EQ(c.ret, dbexec1(h, c.sql, &res, &status)) << c.sql;
    std::string log = kv_captured_log();
    EXPECT_EQ(c.status, status) << c.sql;
    EXPECT_EQ(c.status, dbresultstatus(&res)) << c.sql;
    EXPECT_EQ(0, log.compare(0, c.log.size(), c.log)) << c.sql << ": " << log;
    if (c.log.empty()) {
      EXPECT_EQ("", log);
    }
    ASSERT_NE(nullptr, res.res) << c.sql;  // the result stays in the wrapper
    EXPECT_EQ(DBKIND_SQL, res.kind);
    if (c.status == MYDB_TUPLES_OK) {
      EXPECT_EQ(1, dbntuples(&res));
      EXPECT_EQ(1, dbnfields(&res));
      EXPECT_STREQ("N", dbfname(&res, 0));
      EXPECT_STREQ("42", dbgetvalue(&res, 0, 0));
    }
    dbresfree(&res);
    EXPECT_EQ(nullptr, res.res);
  }
  // dbexec: "%s %s" of command word and arguments, messages name the word.
  DBRES res{0, nullptr};
  int status = 0;
  kv_capture_log();
  EXPECT_EQ(0, dbexec(h, "DELETE", "FROM err", &res, &status));
  EXPECT_EQ("BAD RESPONSE to 'DELETE' command.\nError: kaputt\n", kv_captured_log());
  dbresfree(&res);
  kv_capture_log();
  EXPECT_EQ(1, dbexec(h, "DELETE", "FROM", &res, &status));
  EXPECT_EQ(0, kv_captured_log().find("NONFATAL ERROR occured in 'DELETE' command.\nError: "));
  EXPECT_EQ(MYDB_NONFATAL_ERROR, status);
  dbresfree(&res);
  // dbbinexec1 sends the query buffer as it stands.
  DBquery_init();
  DBquery_addcmd(CMD_DELETE);
  DBquery_addtokname(TOK_NAME, "ERR");
  DBquery_addtoken(TOK_END);
  kv_capture_log();
  EXPECT_EQ(0, dbbinexec1(h, &res, &status));
  EXPECT_EQ("BAD RESPONSE to dbbinexec1 command.\nError: kaputt\n", kv_captured_log());
  dbresfree(&res);
}

TEST_F(SessionTest, ClientStatusMapping) {
  int client[] = {0, 1, 2, 3, 4, 5, 6, 7, 99};
  int session[] = {0, 1, 2, 3, 3, 4, 5, 3, 3};
  for (int i = 0; i < 9; i++) {
    DBresult r;
    r.status = client[i];
    DBRES w{DBKIND_SQL, &r};
    EXPECT_EQ(session[i], dbresultstatus(&w)) << client[i];
  }
  DBRES other{1, nullptr};
  EXPECT_EQ(MYDB_BAD_RESPONSE, dbresultstatus(&other));
  EXPECT_EQ(-1, dbnfields(&other));
  EXPECT_EQ(-1, dbntuples(&other));
  EXPECT_EQ(nullptr, dbfname(&other, 0));
  EXPECT_EQ(nullptr, dbgetvalue(&other, 0, 0));
}

TEST_F(SessionTest, RefusedBegin) {
  open("db", 1);
  server->set_rule([](const std::vector<char> &req) {
    if (req[0] == 'J') return ScriptedServer::error_reply("keine Transaktion");
    return ScriptedServer::default_rule(req);
  });
  kv_capture_log();
  EXPECT_EQ(0, dbbegin(rec.handle));
  EXPECT_EQ("BEGIN command failed.\nError: keine Transaktion\n", kv_captured_log());
  EXPECT_EQ(0, ibegin);  // a failed begin does not count
}

TEST_F(SessionTest, SurvivesServerRestartBetweenTransactions) {
  open("kunden", 1);
  DBHANDLE *first = rec.handle;
  ASSERT_EQ(1, dbbegin(rec.handle));
  DBRES res{0, nullptr};
  int status = 0;
  EXPECT_EQ(1, dbexec1(rec.handle, "DELETE FROM a", &res, &status));
  dbresfree(&res);
  ASSERT_EQ(1, dbend(rec.handle));
  ASSERT_TRUE(server->wait_requests(4));

  // The server stops and a new one starts on the same port.
  int p = server->port();
  server->stop();
  server = std::make_unique<ScriptedServer>(p);
  ASSERT_TRUE(server->ok());

  kv_capture_log();
  EXPECT_EQ(1, dbbegin(rec.handle));
  std::string log = kv_captured_log();
  EXPECT_TRUE(log == "DBrecv: No data received\n" || log == "DBsend: No data to send\n") << log;
  EXPECT_NE(first, rec.handle);  // the record holds the new handle
  EXPECT_EQ(1, dbexec1(rec.handle, "DELETE FROM a", &res, &status));
  EXPECT_EQ(MYDB_COMMAND_OK, status);
  dbresfree(&res);
  EXPECT_EQ(1, dbend(rec.handle));
  ASSERT_TRUE(server->wait_requests(4));
  EXPECT_EQ("1JGK", server->codes());
  EXPECT_EQ("KUNDEN", ScriptedServer::request_name(server->requests()[0]));
  // The old handle is left to its owner; its socket is already closed.
  DBfreeconn(first->conn);
  delete first;
}

TEST_F(SessionTest, BeginFailsWhenTheServerStaysDown) {
  open("kunden", 1);
  DBHANDLE *first = rec.handle;
  server->stop();
  kv_capture_log();
  EXPECT_EQ(0, dbbegin(rec.handle));
  std::string log = kv_captured_log();
  EXPECT_NE(
      std::string::npos,
      log.find("Connection to KORVAL-database 'KUNDEN' failed:\n  (KORVAL) Connection refused\n"));
  EXPECT_NE(std::string::npos,
            log.find("BEGIN command failed:\n  (KORVAL) Connection refused\nError: "));
  EXPECT_EQ(0, ibegin);
  // Statements on the dead session fail with a message, never a crash.
  DBRES res{0, nullptr};
  int status = 0;
  kv_capture_log();
  EXPECT_EQ(0, dbexec1(rec.handle, "DELETE FROM a", &res, &status));
  EXPECT_EQ("dbexec1 command failed:\n  (KORVAL) Connection refused\n", kv_captured_log());
  EXPECT_EQ(MYDB_FATAL_ERROR, status);
  EXPECT_EQ(nullptr, res.res);
  DBfreeconn(first->conn);
  delete first;
}
