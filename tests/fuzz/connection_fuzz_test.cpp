// Fuzz tests of the client library against a scripted server that answers
// with random and damaged replies: opening a database (the open reply's
// decoder in connection.cpp) and running statements over the socket
// (DBexec: receiving, possibly into an allocated block, and decoding).
// Every outcome must be a usable connection or one with a status and an
// error text, and every result a valid one.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "dbclient/connection.h"
#include "proto/query.h"
#include "dbclient/result.h"
#include "tests/support/scripted_server.h"
#include "tests/fuzz/fuzz.h"

using fuzz::Bytes;
using fuzz::Rng;

namespace {

// A connection's or result's error text carries more than its newline.
bool has_text(const char *t) { return t && t[0] != '\0' && strcmp(t, "\n") != 0; }

Bytes open_reply(Rng &rng) {
  static const std::vector<Bytes> corpus = {
      {'1'},
      {'0', 'b', 10, 0, 'n', 'i', 'c', 'h', 't', ' ', 'd', 'a', '!', 0},
      {'0'},
      {},
      {'0', 'b', 1, 0, 0},
      {'0', 'b', 3, 0, 0, 'x', 0}};
  Bytes b = rng.pick(corpus);
  if (rng.chance(3)) fuzz::mutate_some(rng, b, 3, rng.pick(corpus));
  if (rng.chance(20)) b.resize(10000 + static_cast<size_t>(rng.below(3)), '0');
  return b;
}

Bytes statement_reply(Rng &rng) {
  DBquery_init();
  switch (rng.below(4)) {
    case 0: DBquery_addok(); break;
    case 1: DBquery_adderrmsg("Fehler"); break;
    case 2: DBquery_addoktuples(rng.below(100)); break;
    default: {
      DBquery_addokdata();
      int rows = rng.chance(5) ? 2000 : rng.below(4);
      DBquery_addint(2);
      DBquery_addint(rows);
      DBquery_addstring("NAME");
      DBquery_addtoken(TOK_CHARACTER);
      DBquery_addint(20);
      DBquery_addstring("NR");
      DBquery_addtoken(TOK_INTEGER);
      DBquery_addint(4);
      for (int r = 0; r < rows; r++) {
        DBquery_adddata("Meier", 6);
        int32_t v = r;
        DBquery_adddata(&v, 4);
      }
    }
  }
  Bytes b(query_data, query_data + query_size);
  if (rng.chance(2)) fuzz::mutate_some(rng, b, 3);
  return b;
}

}  // namespace

TEST(ConnectionFuzz, DamagedRepliesToOpenAndStatements) {
  ScriptedServer srv;
  ASSERT_TRUE(srv.ok());
  std::string port = srv.port_text();
  Rng rng(71);
  int opened = 0, refused = 0;
  for (int iter = 0; iter < 150; iter++) {
    Bytes to_open = open_reply(rng), to_statement = statement_reply(rng);
    srv.set_rule([to_open, to_statement](const std::vector<char> &req) {
      ScriptedReply r;
      if (!req.empty() && (req[0] == CMD_DISCONNECT || req[0] == CMD_STOP_SERVER)) {
        r.send = false;
        return r;
      }
      r.bytes = req.size() > 0 && req[0] == CMD_OPEN_DATABASE ? to_open : to_statement;
      return r;
    });
    char name[] = "fuzzdb";
    DBconn *c = DBsetdb(nullptr, port.c_str(), 0, name);
    ASSERT_NE(c, nullptr);
    int st = DBstatus(c);
    EXPECT_TRUE(st == DB_CONNECTION_OK || st == DB_CONNECTION_FAILED || st == DB_CONNECTION_BROKEN);
    SCOPED_TRACE("open reply " + fuzz::hex(to_open));
    if (st == DB_CONNECTION_OK) {
      opened++;
      EXPECT_TRUE(!to_open.empty() && to_open[0] != REPLY_ERROR);
      DBresult *res = DBexec(c, "SELECT * FROM T");
      ASSERT_NE(res, nullptr) << DBerrorMessage(c);
      int rs = DBresultStatus(res);
      EXPECT_TRUE(rs >= DB_COMMAND_OK && rs <= DB_ERROR_REPLY) << rs;
      if (rs == DB_ERROR_REPLY) {
        EXPECT_TRUE(has_text(DBresultErrorMessage(res))) << fuzz::hex(to_statement);
      }
      for (int r = 0; r < DBntuples(res) && r < 50; r++)
        for (int f = 0; f < DBnfields(res); f++) EXPECT_NE(DBgetvalue(res, r, f), nullptr);
      DBclear(res);
      DBfinish(c);
    } else {
      refused++;
      EXPECT_TRUE(has_text(DBerrorMessage(c))) << "status " << st << " without a text";
    }
    DBfreeconn(c);
  }
  EXPECT_GT(opened, 20);
  EXPECT_GT(refused, 20);
  srv.stop();
}

// Found by DamagedRepliesToOpenAndStatements: a refusal whose text is empty
// (or starts with a NUL) left a failed connection without any error text.
TEST(ConnectionFuzz, EmptyRefusalTextCountsAsMissing) {
  ScriptedServer srv;
  ASSERT_TRUE(srv.ok());
  std::string port = srv.port_text();
  for (const Bytes &reply : {Bytes{'0', 'b', 1, 0, 0}, Bytes{'0', 'b', 3, 0, 0, 'x', 0}}) {
    srv.set_rule([reply](const std::vector<char> &req) {
      ScriptedReply r;
      r.send = !req.empty() && req[0] != CMD_DISCONNECT;
      r.bytes = reply;
      return r;
    });
    char name[] = "fuzzdb";
    DBconn *c = DBsetdb(nullptr, port.c_str(), 0, name);
    EXPECT_EQ(DBstatus(c), DB_CONNECTION_FAILED);
    EXPECT_STREQ(DBerrorMessage(c), "(DBconnect) Result error message missing\n");
    DBfreeconn(c);
  }
  srv.stop();
}
