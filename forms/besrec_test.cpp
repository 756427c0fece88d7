// Tests of the session record against a scripted stand-in for the server:
// the session name with and without DBSYS, the record's fixed values, the
// refused sessions, the signal handlers and the fatal ends.
// GoogleTest comes before the X headers, whose macro None clashes with it.
#include <gtest/gtest.h>

#include "forms/besrec.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "tests/support/scripted_server.h"
#include "forms/forms.h"
#include "tests/support/log_capture.h"

namespace {

class Besrec : public testing::Test {
 protected:
  void SetUp() override {
    server = std::make_unique<ScriptedServer>();
    ASSERT_TRUE(server->ok());
    port = server->port_text();
    dbsetport(port.c_str());
    unsetenv("DBSYS");
  }
  void TearDown() override {
    BESREC_Free(rec);
    rec = nullptr;
    dbsetport(nullptr);
    unsetenv("DBSYS");
    for (int sig : {SIGFPE, SIGSEGV, SIGINT, SIGTERM, SIGBUS, SIGPIPE, SIGQUIT})
      signal(sig, SIG_DFL);
  }
  // The database name of the open request the server received.
  std::string opened() {
    EXPECT_TRUE(server->wait_requests(1));
    return ScriptedServer::request_name(server->requests().at(0));
  }

  std::unique_ptr<ScriptedServer> server;
  std::string port;
  BESREC *rec = nullptr;
};

void (*handler_of(int sig))(int) {
  struct sigaction now;
  sigaction(sig, nullptr, &now);
  return now.sa_handler;
}

TEST_F(Besrec, OpensTheSessionAndFillsTheRecord) {
  ASSERT_EQ(BESREC_Init(&rec, "kunden"), 1);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(opened(), "KUNDEN");
  EXPECT_STREQ(rec->dbname, "kunden");
  ASSERT_NE(rec->handle, nullptr);
  EXPECT_NE(rec->handle->conn, nullptr);
  EXPECT_EQ(std::string(rec->code, 4), "D   ");
  EXPECT_EQ(rec->state, 1);
  EXPECT_NE(rec->work, nullptr);
  ASSERT_NE(rec->array, nullptr);
  EXPECT_EQ(rec->array->count, 0);
  for (int32_t c : rec->counters) EXPECT_EQ(c, 0);
  EXPECT_EQ(rec->zero, 0);
  EXPECT_EQ(memcmp(&rec->def_date, &_Def_Date, sizeof(DATE)), 0);
  EXPECT_EQ(strlen(_Def_String), static_cast<size_t>(DEF_STRING_LEN));
  EXPECT_EQ(strspn(_Def_String, " "), static_cast<size_t>(DEF_STRING_LEN));
  EXPECT_EQ(_Def_Binary, 0);
  ASSERT_NE(Cache_Tablecode, nullptr);
  EXPECT_EQ(Cache_Tablecode->capacity, 1000);
  EXPECT_EQ(Cache_Tabletext->capacity, 1000);
  EXPECT_EQ(Cache_SVZTSelectLk->capacity, 200);
  EXPECT_EQ(Cache_SVZTSelectLk->count, 0);
  EXPECT_EQ(handler_of(SIGFPE), Abort_FPE);
  EXPECT_EQ(handler_of(SIGSEGV), Abort_SEGV);
  EXPECT_EQ(handler_of(SIGBUS), Abort_BUS);
  EXPECT_EQ(handler_of(SIGPIPE), Abort_PIPE);
  for (int sig : {SIGINT, SIGTERM, SIGQUIT}) EXPECT_EQ(handler_of(sig), Exit);
}

TEST_F(Besrec, DbsysPrefixesAPlainName) {
  setenv("DBSYS", "srv", 1);
  ASSERT_EQ(BESREC_Init(&rec, "test"), 1);
  EXPECT_STREQ(rec->dbname, "srv/test");
  EXPECT_EQ(opened(), "TEST");
}

TEST_F(Besrec, AGivenPrefixIgnoresDbsys) {
  setenv("DBSYS", "srv", 1);
  ASSERT_EQ(BESREC_Init(&rec, "other/test"), 1);
  EXPECT_STREQ(rec->dbname, "other/test");
}

TEST_F(Besrec, AnEmptyNameWithoutDbsysIsRefusedByTheServer) {
  kv_capture_log();
  EXPECT_EQ(BESREC_Init(&rec, ""), 0);
  std::string log = kv_captured_log();
  EXPECT_NE(log.find("Connection to KORVAL-database failed:\n"), std::string::npos) << log;
  // The record is filled all the same.
  EXPECT_STREQ(rec->dbname, "");
  EXPECT_EQ(rec->state, 1);
}

TEST_F(Besrec, ACombinedNameOverNineteenCharactersIsRefusedWithoutConnecting) {
  setenv("DBSYS", "produktion", 1);
  kv_capture_log();
  EXPECT_EQ(BESREC_Init(&rec, "kundendaten"), 0);  // "produktion/kundendaten": 22
  EXPECT_EQ(kv_captured_log(),
            "(BESREC_Init) DB-name produktion/kundendaten is too long (max. 19)\n");
  EXPECT_EQ(rec->handle, nullptr);
  EXPECT_TRUE(server->requests().empty());
  BESREC_Free(rec);
  rec = nullptr;
  setenv("DBSYS", "produktio", 1);  // exactly 19
  ASSERT_EQ(BESREC_Init(&rec, "kundendat"), 1);
  EXPECT_STREQ(rec->dbname, "produktio/kundendat");
}

TEST(BesrecDeathTest, FatalEndsAndSignalsLogOneLine) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(FE_Exit(3), testing::ExitedWithCode(3),
              "^Error occurred \\(data is saved\\)! Please restart the application!\n$");
  EXPECT_EXIT(BE_Exit(2), testing::ExitedWithCode(2),
              "^BE-Error occurred! Please restart the application!\n$");
  struct Case {
    int sig;
    void (*handler)(int);
    const char *message;
  };
  for (const Case &c :
       {Case{SIGFPE, Abort_FPE, "Abnormal termination \\(Floating point exception\\)"},
        Case{SIGSEGV, Abort_SEGV, "Abnormal termination \\(Segmentation fault\\)"},
        Case{SIGBUS, Abort_BUS, "Abnormal termination \\(Bus error\\)"},
        Case{SIGPIPE, Abort_PIPE, "Abnormal termination \\(Broken pipe\\)"},
        Case{SIGTERM, Exit, "Program terminated"}}) {
    EXPECT_EXIT(
        {
          signal(c.sig, c.handler);
          raise(c.sig);
        },
        testing::ExitedWithCode(1), std::string("^") + c.message + "\n$");
  }
}

TEST(BesrecDeathTest, FeInitEndsTheProcessWhenTheSessionCannotOpen) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScriptedServer server;
  std::string port = server.port_text();
  dbsetport(port.c_str());
  BESREC *rec = nullptr;
  // FE_Init touches no display before the session: no X server needed.
  EXPECT_EXIT(FE_Init(&rec, "BADDB"), testing::ExitedWithCode(1),
              "Connection to KORVAL-database 'BADDB' failed:(.|\n)*"
              "Error occurred \\(data is saved\\)! Please restart the application!\n$");
  dbsetport(nullptr);
}

}  // namespace
