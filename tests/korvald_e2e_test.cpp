// End-to-end tests of korvald: each test starts the server program on a
// free loopback port with a temporary data directory and talks to it through
// the client library (DBconnect, DBexec) or, for malformed input, with raw
// frames on a socket.  Most tests run on both storage backends (names ending
// /sqlite and /postgres); for PostgreSQL the test binary starts a throw-away
// cluster and gives each korvald a fresh database of it.  Covers every
// statement kind, the typed replies, the viewer's own statements,
// transactions, cursors, MAX, STATIC/SECURE, bad input, concurrent clients,
// kill -9 during writes, the ways to stop, the data directory lock (on
// PostgreSQL: the database's) and failed starts, and the server's
// resources: file descriptors, the connection limit, idle transactions and
// statements whose client has gone (watched through the server's CPU time in
// /proc, on PostgreSQL through pg_stat_activity).
#include <algorithm>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_files.h"
#include "dbclient/connection.h"
#include "dbclient/grammar.h"
#include "proto/query.h"
#include "dbclient/result.h"
#include "proto/wire.h"
#include "tests/support/korvald_child.h"
#include "tests/support/pg_cluster.h"
#include "tests/support/pg_test_database.h"

namespace fs = std::filesystem;

namespace {

std::string korvald_path() {
#ifdef KORVALD_PATH
  if (fs::exists(KORVALD_PATH)) return KORVALD_PATH;
#endif
  const char *dir = getenv("KV_BUILD_DIR");
  return std::string(dir ? dir : ".") + "/server/korvald";
}

// the server's CPU time, below with the other helpers
bool gets_busy(pid_t pid, double seconds);
bool becomes_idle(pid_t pid);

enum class Backend { sqlite, postgres };

// Statements that other connections are running in the PostgreSQL database
// of conninfo, or -1 when that cannot be asked.  With long_only, only those
// running for 0.3 s already (not the short ones of a request that comes
// before the long statement).
int running_statements(const std::string &conninfo, bool long_only) {
  std::string err;
  std::string n = pg_first_value(
      conninfo,
      std::string("SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() AND "
                  "state = 'active' AND backend_type = 'client backend' AND "
                  "pid <> pg_backend_pid()") +
          (long_only ? " AND clock_timestamp() - query_start > interval '0.3 s'" : ""),
      &err);
  return err.empty() ? atoi(n.c_str()) : -1;
}

// Polls until running_statements(conninfo, long_only) satisfies ok; false
// when that did not happen within a generous deadline.
template <class Pred>
bool statements_become(const std::string &conninfo, bool long_only, Pred ok) {
  for (int i = 0; i < 600; i++) {
    int n = running_statements(conninfo, long_only);
    if (n >= 0 && ok(n)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// One korvald process on its own data directory, or on a database of its
// own in the test binary's PostgreSQL cluster; restarts use the same one.
class Korvald {
 public:
  explicit Korvald(Backend b = Backend::sqlite) : backend(b) {
    char tmpl[] = "/tmp/korvald_e2e_XXXXXX";
    dir = mkdtemp(tmpl);
    // made here, before a test lowers limits that PostgreSQL needs
    if (backend == Backend::postgres) conninfo = pg_test_database(&why);
  }
  ~Korvald() {
    korvald_stop(&pid, SIGKILL);
    // a sanitizer build of the server reports its findings in its log
    std::string text = log();
    EXPECT_EQ(text.find("Sanitizer"), std::string::npos) << text;
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  // Starts the server and waits for its ready line.  Returns true when up;
  // else failure() tells why.
  bool start(std::vector<std::string> extra = {}) {
    if (backend == Backend::postgres) {
      if (conninfo.empty()) return false;
      extra.insert(extra.begin(), {"--postgres", conninfo});
    }
    int p = korvald_start(korvald_path(), dir, extra, dir + "/korvald.log", &pid);
    if (p <= 0) return false;
    port = p;
    port_text = std::to_string(port);
    return true;
  }

  // Waits for the process to end; its exit status, or -1.
  int wait_exit() {
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  void kill9() { korvald_stop(&pid, SIGKILL); }

  std::string failure() const {
    return !why.empty() ? "no PostgreSQL database: " + why
                        : "korvald did not start: " + korvald_path() + "\n" + log();
  }

  // Polls until a statement of a client runs: the server is busy for 0.3 s
  // (SQLite runs inside it), or a statement of the PostgreSQL database has
  // been active for 0.3 s.  False when none did within a generous deadline.
  bool statement_runs() const {
    if (backend == Backend::sqlite) return gets_busy(pid, 0.3);
    return statements_become(conninfo, true, [](int n) { return n > 0; });
  }

  // Polls until no statement runs any more; false when one still did after
  // a generous deadline.
  bool statement_ended() const {
    if (backend == Backend::sqlite) return pid <= 0 || becomes_idle(pid);
    return statements_become(conninfo, false, [](int n) { return n == 0; });
  }

  // What the server wrote to standard error so far.
  std::string log() const { return ReadFile(dir + "/korvald.log"); }

  // Polls the log until it holds text at least `times` times; false when it
  // did not within a generous deadline.
  bool log_shows(const std::string &text, int times = 1) const {
    for (int i = 0; i < 600; i++) {
      std::string now = log();
      int n = 0;
      for (size_t p = now.find(text); p != std::string::npos && n < times;
           p = now.find(text, p + 1))
        n++;
      if (n >= times) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  DBconn *open(const char *db = "KVSYS") {
    std::string name = db;
    return DBsetdb(nullptr, port_text.c_str(), 0, name.data());
  }

  int raw_socket() const { return loopback_connect(port); }

  Backend backend;
  std::string dir;
  std::string conninfo;  // PostgreSQL only
  std::string why;       // why there is no PostgreSQL database
  pid_t pid = -1;
  int port = 0;
  std::string port_text;
};

// A result that frees itself.
struct Res {
  DBresult *r;
  explicit Res(DBresult *res) : r(res) {}
  ~Res() { DBclear(r); }
  int status() const { return DBresultStatus(r); }
  int rows() const { return DBntuples(r); }
  std::string v(int row, int field) { return DBgetvalue(r, row, field); }
  std::string err() { return DBresultErrorMessage(r); }
};

struct Conn {
  DBconn *c;
  explicit Conn(DBconn *conn) : c(conn) {}
  ~Conn() {
    if (c && c->socket >= 0) DBfinish(c);
    DBfreeconn(c);
  }
  bool ok() const { return c && DBstatus(c) == DB_CONNECTION_OK; }
  DBresult *exec(const std::string &sql) { return DBexec(c, sql.c_str()); }
  // Runs a statement; its status, the error text in last_err.
  int run(const std::string &sql) {
    Res r(exec(sql));
    last_err = r.status() == DB_ERROR_REPLY || r.status() == DB_SYNTAX_ERROR ? r.err() : "";
    return r.status();
  }
  std::string last_err;
};

// Column 0 of every row, joined by ",".
std::string column0(Res &r) {
  std::string s;
  for (int i = 0; i < r.rows(); i++) s += (i ? "," : "") + r.v(i, 0);
  return s;
}

std::vector<Backend> backends() {
  if (KV_TEST_POSTGRES) return {Backend::sqlite, Backend::postgres};
  return {Backend::sqlite};
}

std::string backend_name(const ::testing::TestParamInfo<Backend> &info) {
  return info.param == Backend::sqlite ? "sqlite" : "postgres";
}

void PrintTo(Backend b, std::ostream *os) { *os << (b == Backend::sqlite ? "sqlite" : "postgres"); }

// Tests that start korvald themselves, on each backend.
class KorvaldBackendTest : public ::testing::TestWithParam<Backend> {};

// Tests on a running korvald, on each backend.
class KorvaldTest : public KorvaldBackendTest {
 protected:
  void SetUp() override { ASSERT_TRUE(server.start()) << server.failure(); }
  Korvald server{GetParam()};
};

// Tests of the SQLite data directory.
class KorvaldSqliteTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.start()) << server.failure(); }
  Korvald server{Backend::sqlite};
};

class KorvaldDemo : public KorvaldBackendTest {};
class KorvaldLimits : public KorvaldBackendTest {};

// A request built in the query buffer, sent raw; the reply code, or -1 when
// the connection ended instead.
int raw_exchange(int fd, std::vector<char> *reply = nullptr) {
  if (!wire_send_message(fd, query_data, query_size)) return -1;
  std::vector<char> msg;
  if (wire_recv_message(fd, msg) != WIRE_OK || msg.empty()) return -1;
  if (reply) *reply = msg;
  return static_cast<unsigned char>(msg[0]);
}

bool connection_closed(int fd) {
  char c;
  return recv(fd, &c, 1, 0) <= 0;
}

// Opens KVSYS on a raw connection; the reply code.
int raw_open(int fd) {
  DBquery_init();
  DBquery_addcmd(CMD_OPEN_DATABASE);
  DBquery_addtokname(TOK_NAME, "KVSYS");
  return raw_exchange(fd);
}

// Sends sql on a raw connection, translated as the client library does.
// With a reply, the reply code (-1 when the connection ended); without, 1
// once it is sent.
int raw_sql(int fd, const std::string &sql, bool reply = true) {
  std::string text = sql + ";";
  std::vector<char> err(10000);
  DBquery_init();
  if (!scan_sql(&text[0], err.data())) return -2;
  if (!reply) return wire_send_message(fd, query_data, query_size);
  return raw_exchange(fd);
}

// Runs korvald with "-D dir -p 0" and then extra, expecting a failed start.
// Its exit status (-1 when it started after all or was killed), its
// messages in *log.
int failed_start(const std::string &dir, const std::vector<std::string> &extra, std::string *log) {
  char path[] = "/tmp/korvald_failed_start_XXXXXX";
  close(mkstemp(path));
  pid_t pid;
  int status = -1;
  if (korvald_start(korvald_path(), dir, extra, path, &pid) > 0) {
    korvald_stop(&pid, SIGKILL);
  } else if (pid > 0 && waitpid(pid, &status, 0) == pid) {
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  *log = ReadFile(path);
  unlink(path);
  return status;
}

// The names in directory dir (not recursive).
std::set<std::string> entries(const std::string &dir) {
  std::set<std::string> names;
  for (auto &e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// CPU seconds (user and system) that the process pid has used.
double cpu_seconds(pid_t pid) {
  std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  size_t p = stat.rfind(')');
  if (p == std::string::npos) return 0;
  std::istringstream in(stat.substr(p + 1));
  std::string field;
  for (int i = 3; i <= 13; i++) in >> field;  // state ... cmajflt
  long utime = 0, stime = 0;
  in >> utime >> stime;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Polls until the process pid has used `seconds` more CPU time; false when
// it did not within a generous deadline.
bool gets_busy(pid_t pid, double seconds) {
  double start = cpu_seconds(pid);
  for (int i = 0; i < 600; i++) {
    if (cpu_seconds(pid) - start >= seconds) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// Polls until the process pid uses less than a tenth of a core over half a
// second; false when that did not happen within a generous deadline.
bool becomes_idle(pid_t pid) {
  for (int i = 0; i < 60; i++) {
    double before = cpu_seconds(pid);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (cpu_seconds(pid) - before < 0.05) return true;
  }
  return false;
}

// How often text occurs in log.
int count_of(const std::string &log, const std::string &text) {
  int n = 0;
  for (size_t p = log.find(text); p != std::string::npos; p = log.find(text, p + 1)) n++;
  return n;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(, KorvaldTest, ::testing::ValuesIn(backends()), backend_name);
INSTANTIATE_TEST_SUITE_P(, KorvaldDemo, ::testing::ValuesIn(backends()), backend_name);
INSTANTIATE_TEST_SUITE_P(, KorvaldLimits, ::testing::ValuesIn(backends()), backend_name);

// ---------------------------------------------------------------------------

TEST_P(KorvaldTest, ShowDatabasesAndOpenRefusal) {
  Conn a(server.open());
  ASSERT_TRUE(a.ok()) << DBerrorMessage(a.c);
  Res r(a.exec("SHOW DATABASES"));
  ASSERT_EQ(r.status(), DB_TUPLES_OK);
  EXPECT_EQ(column0(r), "KVSYS");

  Conn missing(server.open("nosuchdb"));
  EXPECT_EQ(DBstatus(missing.c), DB_CONNECTION_FAILED);
  EXPECT_NE(std::string(DBerrorMessage(missing.c)).find("NOSUCHDB does not exist"),
            std::string::npos);
}

TEST_P(KorvaldTest, EveryTypeRoundTripsToItsDisplayText) {
  Conn a(server.open());
  ASSERT_EQ(a.run("CREATE TABLE TYPEN (ID INTEGER NOT NULL, NAME CHARACTER(10), KLEIN SMALLINT, "
                  "WERT FLOAT, TAG DATE, ZEIT TIME, STEMPEL TIMESTAMP, ROH BINARY(8))"),
            DB_COMMAND_OK);
  {
    Res r(
        a.exec("INSERT INTO TYPEN VALUES (1, 'M\xfcller', -7, 2.5, '2003-07-12', '09:05:00', "
               "'2003-07-12-09.05.00.000123', 'A\x01\x02"
               "B$\n')"));
    ASSERT_EQ(r.status(), DB_COMMAND_OK) << r.err();
    EXPECT_EQ(r.rows(), 1);
  }
  ASSERT_EQ(a.run("INSERT INTO TYPEN (ID) VALUES (2)"), DB_COMMAND_OK);
  Res r(a.exec("SELECT * FROM TYPEN ORDER BY ID"));
  ASSERT_EQ(r.status(), DB_TUPLES_OK) << r.err();
  ASSERT_EQ(r.rows(), 2);
  ASSERT_EQ(DBnfields(r.r), 8);
  const int types[] = {3, 0, 2, 4, 6, 5, 7, 1};
  const int sizes[] = {4, 11, 2, 8, 4, 3, 12, 10};
  const char *names[] = {"ID", "NAME", "KLEIN", "WERT", "TAG", "ZEIT", "STEMPEL", "ROH"};
  for (int f = 0; f < 8; f++) {
    EXPECT_EQ(DBftype(r.r, f), types[f]) << f;
    EXPECT_EQ(DBfsize(r.r, f), sizes[f]) << f;
    EXPECT_STREQ(DBfname(r.r, f), names[f]);
  }
  const char *row1[] = {"1",
                        "M\xfcller",
                        "-7",
                        "2.5",
                        "2003-07-12",
                        "09:05:00",
                        "2003-07-12-09.05.00.000123",
                        "A\xa7"
                        "0102\xa7"
                        "B$$$0A"};
  for (int f = 0; f < 8; f++) EXPECT_EQ(r.v(0, f), row1[f]) << f;
  // SQL NULL arrives as the type's absent value
  const char *row2[] = {"2", "", "0", "0", "1800-01-01", "00:00:01", "1800-01-01-00.00.00.000000",
                        ""};
  for (int f = 0; f < 8; f++) EXPECT_EQ(r.v(1, f), row2[f]) << f;
}

TEST_P(KorvaldTest, WhereOrderByAndConditions) {
  Conn a(server.open());
  ASSERT_EQ(a.run("CREATE TABLE P (ID INTEGER, NAME CHARACTER(20), TAG DATE, W FLOAT)"),
            DB_COMMAND_OK);
  const char *rows[] = {"(1, 'Berta', '2003-12-01', 1.5)", "(2, 'Anton', '1999-01-31', 2.5)",
                        "(3, 'Cora', '2003-02-01', 3.5)", "(4, 'Dora', '2010-06-15', 4.5)"};
  for (auto *v : rows) ASSERT_EQ(a.run(std::string("INSERT INTO P VALUES ") + v), DB_COMMAND_OK);
  ASSERT_EQ(a.run("CREATE TABLE Q (PID INTEGER, X INTEGER)"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("INSERT INTO Q VALUES (2, 20)"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("INSERT INTO Q VALUES (3, 30)"), DB_COMMAND_OK);

  struct Case {
    const char *sql;
    const char *expect;
  } cases[] = {
      {"SELECT NAME FROM P ORDER BY NAME", "Anton,Berta,Cora,Dora"},
      {"SELECT NAME FROM P WHERE ID > 1 ORDER BY NAME DESC", "Dora,Cora,Anton"},
      {"SELECT NAME FROM P ORDER BY TAG", "Anton,Cora,Berta,Dora"},
      {"SELECT NAME FROM P WHERE TAG < '2003-06-01' ORDER BY ID", "Anton,Cora"},
      {"SELECT NAME FROM P WHERE ID = 1 OR ID = 2 AND NAME = 'Cora' ORDER BY ID", "Berta"},
      {"SELECT NAME FROM P WHERE NOT ID = 1 ORDER BY ID", "Anton,Cora,Dora"},
      {"SELECT NAME FROM P WHERE ID IN (1, 3, 9) ORDER BY ID", "Berta,Cora"},
      {"SELECT NAME FROM P WHERE W BETWEEN 2 AND 4 ORDER BY ID", "Anton,Cora"},
      {"SELECT NAME FROM P WHERE NAME LIKE '%ora' ORDER BY ID", "Cora,Dora"},
      {"SELECT NAME FROM P WHERE ID IN (SELECT PID FROM Q) ORDER BY ID", "Anton,Cora"},
      {"SELECT NAME FROM P WHERE ID = (SELECT MAX(PID) FROM Q)", "Cora"},
      {"SELECT NAME FROM P WHERE EXISTS (SELECT X FROM Q WHERE Q.PID = P.ID) ORDER BY ID",
       "Anton,Cora"},
      {"SELECT P.NAME FROM P, Q WHERE P.ID = Q.PID AND Q.X > 25", "Cora"},
      {"SELECT K.NAME FROM P K WHERE K.ID = 4", "Dora"},
      {"SELECT NAME FROM P WHERE ID = '3'", "Cora"},
      {"SELECT DISTINCT PID FROM Q ORDER BY PID", "2,3"},
      {"SELECT COUNT(*) FROM P", "4"},
      {"SELECT MIN(TAG) FROM P", "1999-01-31"},
  };
  for (auto &c : cases) {
    Res r(a.exec(c.sql));
    ASSERT_EQ(r.status(), DB_TUPLES_OK) << c.sql << ": " << r.err();
    EXPECT_EQ(column0(r), c.expect) << c.sql;
  }
  {
    Res r(a.exec("SELECT COUNT(*), MAX(NAME) FROM P"));
    EXPECT_EQ(DBftype(r.r, 0), 3);
    EXPECT_EQ(DBftype(r.r, 1), 0);
    EXPECT_EQ(DBfsize(r.r, 1), 21);
  }
  // a query without rows: field count and row count only
  Res none(a.exec("SELECT NAME FROM P WHERE ID > 100"));
  EXPECT_EQ(none.status(), DB_TUPLES_OK);
  EXPECT_EQ(none.rows(), 0);
  EXPECT_EQ(DBnfields(none.r), 0);
}

TEST_P(KorvaldTest, UpdateDeleteAndTheViewersStatements) {
  Conn a(server.open());
  ASSERT_EQ(a.run("CREATE TABLE KUNDE (KUNDE_ID INTEGER NOT NULL, NAME CHARACTER(20))"),
            DB_COMMAND_OK);
  for (int i = 1; i <= 5; i++)
    ASSERT_EQ(
        a.run("INSERT INTO KUNDE VALUES (" + std::to_string(i) + ", 'N" + std::to_string(i) + "')"),
        DB_COMMAND_OK);
  {
    Res r(a.exec("UPDATE KUNDE SET NAME = 'X' WHERE KUNDE_ID > 3"));
    EXPECT_EQ(r.status(), DB_COMMAND_OK);
    EXPECT_EQ(r.rows(), 2);
  }
  char sql[200];
  snprintf(sql, sizeof sql, "update %s set %s = %s where %s = '%s';", "KUNDE", "NAME", "'Neu'",
           "KUNDE_ID", "2");
  {
    Res r(a.exec(sql));
    EXPECT_EQ(r.status(), DB_COMMAND_OK) << r.err();
    EXPECT_EQ(r.rows(), 1);
  }
  snprintf(sql, sizeof sql, "delete from %s where %s = '%s';", "KUNDE", "KUNDE_ID", "1");
  {
    Res r(a.exec(sql));
    EXPECT_EQ(r.status(), DB_COMMAND_OK) << r.err();
    EXPECT_EQ(r.rows(), 1);
  }
  // the viewer's SELECT inside BEGIN ... END
  ASSERT_EQ(a.run("BEGIN"), DB_COMMAND_OK);
  Res r(a.exec("SELECT NAME FROM KUNDE ORDER BY KUNDE_ID"));
  EXPECT_EQ(column0(r), "Neu,N3,X,X");
  EXPECT_EQ(a.run("END"), DB_COMMAND_OK);
  Res d(a.exec("DELETE FROM KUNDE"));
  EXPECT_EQ(d.rows(), 4);
}

TEST_P(KorvaldTest, TransactionsCommitAbortAndDisconnect) {
  Conn a(server.open()), b(server.open());
  ASSERT_EQ(a.run("CREATE TABLE T (ID INTEGER)"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("BEGIN"), DB_COMMAND_OK);
  EXPECT_EQ(a.run("BEGIN"), DB_ERROR_REPLY);
  ASSERT_EQ(a.run("INSERT INTO T VALUES (1)"), DB_COMMAND_OK);
  EXPECT_EQ(a.run("SET DATABASE KVSYS"), DB_ERROR_REPLY);  // refused inside a transaction
  ASSERT_EQ(a.run("ABORT"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("BEGIN"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("INSERT INTO T VALUES (2)"), DB_COMMAND_OK);
  {
    Res other(b.exec("SELECT COUNT(*) FROM T"));
    EXPECT_EQ(other.v(0, 0), "0");  // not yet committed
  }
  ASSERT_EQ(a.run("COMMIT"), DB_COMMAND_OK);
  EXPECT_EQ(a.run("COMMIT"), DB_ERROR_REPLY);
  {
    Res r(b.exec("SELECT ID FROM T"));
    EXPECT_EQ(column0(r), "2");
  }
  // a connection that ends inside a transaction is rolled back, both by
  // the disconnect request and by a plain close of the socket
  {
    Conn c(server.open());
    ASSERT_EQ(c.run("BEGIN"), DB_COMMAND_OK);
    ASSERT_EQ(c.run("INSERT INTO T VALUES (3)"), DB_COMMAND_OK);
  }
  {
    Conn c(server.open());
    ASSERT_EQ(c.run("BEGIN"), DB_COMMAND_OK);
    ASSERT_EQ(c.run("INSERT INTO T VALUES (4)"), DB_COMMAND_OK);
    close(c.c->socket);
    c.c->socket = -1;
  }
  // b can write at once: no lock was left behind
  ASSERT_EQ(b.run("INSERT INTO T VALUES (5)"), DB_COMMAND_OK);
  Res r(b.exec("SELECT ID FROM T ORDER BY ID"));
  EXPECT_EQ(column0(r), "2,5");
}

TEST_P(KorvaldTest, ErrorsAreRepliesAndLeaveTheConnectionUsable) {
  Conn a(server.open());
  ASSERT_EQ(a.run("CREATE TABLE E (ID INTEGER NOT NULL, K CHARACTER(3), S SMALLINT, D DATE)"),
            DB_COMMAND_OK);
  struct Case {
    const char *sql;
    const char *text;
  } cases[] = {
      {"SELECT * FROM NOPE", "Table NOPE does not exist"},
      {"SELECT NOPE FROM E", "Column NOPE does not exist"},
      {"INSERT INTO E VALUES (1, 'abcd', 1, '2003-01-01')", "too long"},
      {"INSERT INTO E VALUES ('x', 'a', 1, '2003-01-01')", "not a number"},
      {"INSERT INTO E VALUES (1, 'a', 40000, '2003-01-01')", "out of range"},
      {"INSERT INTO E VALUES (1, 'a', 1, '2001-02-29')", "DATE"},
      {"INSERT INTO E (K) VALUES ('a')", "NOT NULL"},
      {"INSERT INTO E VALUES (1, 'a')", "4 columns"},
      {"SELECT * FROM E WHERE D = '2003-13-01'", "DATE"},
      {"CREATE TABLE E (A INTEGER)", "already exists"},
      {"DROP INDEX NIX", "does not exist"},
      {"FETCH IN NIX", "not declared"},
  };
  for (auto &c : cases) {
    Res r(a.exec(c.sql));
    EXPECT_EQ(r.status(), DB_ERROR_REPLY) << c.sql;
    EXPECT_NE(r.err().find(c.text), std::string::npos) << c.sql << ": " << r.err();
  }
  EXPECT_EQ(a.run("INSERT INTO E VALUES (1, 'abc', 1, '29.02.2004')"), DB_COMMAND_OK);
  Res r(a.exec("SELECT D FROM E"));
  EXPECT_EQ(column0(r), "2004-02-29");
}

TEST_P(KorvaldTest, MaxCursorsAndShow) {
  Conn a(server.open());
  ASSERT_EQ(a.run("CREATE TABLE M (ID INTEGER NOT NULL, T CHARACTER(5))"), DB_COMMAND_OK);
  for (int i = 1; i <= 5; i++)
    ASSERT_EQ(a.run("INSERT INTO M VALUES (" + std::to_string(i) + ", 'x')"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("MAX 2"), DB_COMMAND_OK);
  {
    Res r(a.exec("SELECT ID FROM M ORDER BY ID"));
    EXPECT_EQ(r.status(), DB_NOT_ALL_DATA);
    EXPECT_EQ(column0(r), "1,2");
  }
  {
    Res r(a.exec("SELECT ID FROM M WHERE ID < 3"));
    EXPECT_EQ(r.status(), DB_TUPLES_OK);  // nothing left out
  }
  ASSERT_EQ(a.run("MAX"), DB_COMMAND_OK);
  {
    Res r(a.exec("SELECT ID FROM M"));
    EXPECT_EQ(r.status(), DB_TUPLES_OK);
    EXPECT_EQ(r.rows(), 5);
  }

  ASSERT_EQ(a.run("DECLARE C CURSOR FOR SELECT ID FROM M ORDER BY ID DESC"), DB_COMMAND_OK);
  EXPECT_EQ(a.run("DECLARE C CURSOR FOR SELECT ID FROM M"), DB_ERROR_REPLY);
  {
    Res r(a.exec("FETCH IN C"));
    EXPECT_EQ(column0(r), "5");
  }
  {
    Res r(a.exec("FETCH ALL IN C"));
    EXPECT_EQ(column0(r), "4,3,2,1");
  }
  {
    Res r(a.exec("FETCH IN C"));
    EXPECT_EQ(r.status(), DB_TUPLES_OK);
    EXPECT_EQ(r.rows(), 0);
  }
  EXPECT_EQ(a.run("CLOSE C"), DB_COMMAND_OK);
  EXPECT_EQ(a.run("CLOSE C"), DB_ERROR_REPLY);

  ASSERT_EQ(a.run("CREATE UNIQUE INDEX M_PK ON M (ID)"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("CREATE INDEX M_T ON M (T, ID)"), DB_COMMAND_OK);
  EXPECT_EQ(a.run("INSERT INTO M VALUES (1, 'dup')"), DB_ERROR_REPLY);
  ASSERT_EQ(a.run("CREATE TABLE A (X INTEGER)"), DB_COMMAND_OK);
  {
    Res r(a.exec("SHOW TABLES"));
    EXPECT_EQ(column0(r), "A,M");
  }
  {
    Res r(a.exec("SHOW TABLE M"));
    ASSERT_EQ(r.rows(), 2);
    EXPECT_EQ(r.v(0, 0), "ID");
    EXPECT_EQ(r.v(0, 1), "INTEGER");
    EXPECT_EQ(r.v(0, 2), "4");
    EXPECT_EQ(r.v(0, 3), "YES");
    EXPECT_EQ(r.v(1, 1), "CHARACTER");
    EXPECT_EQ(r.v(1, 2), "5");
  }
  {
    Res r(a.exec("SHOW INDICES"));
    EXPECT_EQ(column0(r), "M_PK,M_T");
    EXPECT_EQ(r.v(0, 2), "YES");
  }
  {
    Res r(a.exec("SHOW INDICES ON TABLE A"));
    EXPECT_EQ(r.rows(), 0);
  }
  {
    Res r(a.exec("SHOW INDEX M_T"));
    ASSERT_EQ(r.rows(), 2);
    EXPECT_EQ(r.v(0, 2), "T");
    EXPECT_EQ(r.v(1, 2), "ID");
  }
  ASSERT_EQ(a.run("DROP INDEX M_T"), DB_COMMAND_OK) << a.last_err;
  ASSERT_EQ(a.run("DROP TABLE A"), DB_COMMAND_OK);
  Res r(a.exec("SHOW TABLES"));
  EXPECT_EQ(column0(r), "M");
}

TEST_P(KorvaldTest, StaticAndSecureTables) {
  Conn a(server.open());
  ASSERT_EQ(a.run("CREATE TABLE S (ID INTEGER)"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("INSERT INTO S VALUES (1)"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("SET TABLE S SECURE"), DB_COMMAND_OK);
  EXPECT_EQ(a.run("INSERT INTO S VALUES (2)"), DB_COMMAND_OK);
  EXPECT_EQ(a.run("UPDATE S SET ID = 3 WHERE ID = 2"), DB_COMMAND_OK);
  EXPECT_EQ(a.run("DELETE FROM S WHERE ID = 1"), DB_ERROR_REPLY);
  EXPECT_EQ(a.run("DROP TABLE S"), DB_ERROR_REPLY);
  ASSERT_EQ(a.run("CREATE TABLE R (ID INTEGER)"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("INSERT INTO R VALUES (1)"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("SET TABLE R STATIC"), DB_COMMAND_OK);
  EXPECT_EQ(a.run("INSERT INTO R VALUES (2)"), DB_ERROR_REPLY);
  EXPECT_EQ(a.run("UPDATE R SET ID = 5"), DB_ERROR_REPLY);
  EXPECT_EQ(a.run("DELETE FROM R"), DB_ERROR_REPLY);
  EXPECT_EQ(a.run("DROP TABLE R"), DB_ERROR_REPLY);
  Res r(a.exec("SELECT ID FROM S ORDER BY ID"));
  EXPECT_EQ(column0(r), "1,3");
  Res t(a.exec("SELECT ID FROM R"));
  EXPECT_EQ(column0(t), "1");
}

TEST_P(KorvaldTest, DatabasesCreateSwitchSaveDrop) {
  std::string name = "kunden";
  Conn c(DBcreatedb(nullptr, server.port_text.c_str(), 0, name.data()));
  ASSERT_TRUE(c.ok()) << DBerrorMessage(c.c);
  ASSERT_EQ(c.run("CREATE TABLE X (A INTEGER)"), DB_COMMAND_OK);
  ASSERT_EQ(c.run("INSERT INTO X VALUES (42)"), DB_COMMAND_OK);
  {
    Res r(c.exec("SHOW DATABASES"));
    EXPECT_EQ(column0(r), "KUNDEN,KVSYS");
  }
  ASSERT_EQ(c.run("SAVE DATABASE"), DB_COMMAND_OK);
  if (GetParam() == Backend::sqlite) {
    EXPECT_TRUE(fs::exists(server.dir + "/KUNDEN.bak"));
  }
  EXPECT_EQ(c.run("CREATE DATABASE KUNDEN"), DB_ERROR_REPLY);
  ASSERT_EQ(c.run("CREATE DATABASE ZWEI"), DB_COMMAND_OK);
  EXPECT_EQ(c.run("SELECT * FROM X"), DB_ERROR_REPLY);  // ZWEI is open now
  ASSERT_EQ(c.run("SET DATABASE KUNDEN"), DB_COMMAND_OK);
  {
    Res r(c.exec("SELECT A FROM X"));
    EXPECT_EQ(column0(r), "42");
  }
  // a database in use by another connection is not dropped
  Conn other(server.open("KUNDEN"));
  ASSERT_TRUE(other.ok());
  EXPECT_EQ(c.run("DROP DATABASE"), DB_ERROR_REPLY);
  EXPECT_EQ(c.run("SELECT A FROM X"), DB_TUPLES_OK);
  DBfinish(other.c);
  Conn z(server.open("ZWEI"));
  ASSERT_EQ(DBdropdb(z.c), 1) << DBerrorMessage(z.c);
  Conn k(server.open());
  Res r(k.exec("SHOW DATABASES"));
  EXPECT_EQ(column0(r), "KUNDEN,KVSYS");
  EXPECT_EQ(k.run("DROP DATABASE"), DB_ERROR_REPLY);  // KVSYS stays
}

TEST_P(KorvaldTest, RawBadInputGetsAnErrorOrAClosedConnection) {
  Conn good(server.open());
  ASSERT_EQ(good.run("CREATE TABLE T (A INTEGER)"), DB_COMMAND_OK);
  // a frame shorter than its header
  {
    int fd = server.raw_socket();
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "\x05\x00\x00", 3), 3);
    shutdown(fd, SHUT_WR);
    EXPECT_TRUE(connection_closed(fd));
    close(fd);
  }
  // a message length over the limit, and a frame length over the frame size
  const int32_t bad_headers[][2] = {{108, 100 << 20}, {20000, 100}, {4, 0}};
  for (auto &h : bad_headers) {
    int fd = server.raw_socket();
    char hdr[8];
    wire_put32(hdr, h[0]);
    wire_put32(hdr + 4, h[1]);
    ASSERT_EQ(write(fd, hdr, 8), 8);
    EXPECT_TRUE(connection_closed(fd));
    close(fd);
  }
  int fd = server.raw_socket();
  ASSERT_GE(fd, 0);
  DBquery_init();
  DBquery_addcmd(CMD_OPEN_DATABASE);
  DBquery_addtokname(TOK_NAME, "KVSYS");
  ASSERT_EQ(raw_exchange(fd), REPLY_OK);
  // unknown command code and unknown token
  DBquery_init();
  DBquery_addcmd(1);
  EXPECT_EQ(raw_exchange(fd), REPLY_ERROR);
  DBquery_init();
  DBquery_addcmd(CMD_SELECT);
  DBquery_addtokname(TOK_NAME, "A");
  DBquery_addtoken(TOK_FROM);
  DBquery_addtokname(TOK_NAME, "T");
  DBquery_addtoken(TOK_WHERE);
  DBquery_addtoken(2);
  DBquery_addtoken(TOK_WHERE);
  DBquery_addtoken(TOK_END);
  EXPECT_EQ(raw_exchange(fd), REPLY_ERROR);
  // a name that is no identifier cannot reach SQL
  DBquery_init();
  DBquery_addcmd(CMD_SELECT);
  DBquery_addtokname(TOK_NAME, "A");
  DBquery_addtoken(TOK_FROM);
  DBquery_addtokname(TOK_NAME, "T; DROP TABLE T");
  std::vector<char> reply;
  EXPECT_EQ(raw_exchange(fd, &reply), REPLY_ERROR);
  // every cut of a valid request gives an error reply or a valid result,
  // and the connection stays in step
  DBquery_init();
  DBquery_addcmd(CMD_SELECT);
  DBquery_addtokname(TOK_NAME, "A");
  DBquery_addtoken(TOK_FROM);
  DBquery_addtokname(TOK_NAME, "T");
  DBquery_addtoken(TOK_WHERE);
  DBquery_addtokname(TOK_NAME, "A");
  DBquery_addtokint(TOK_INT, 1);
  DBquery_addtokint(TOK_INT, 2);
  DBquery_addtokint(TOK_INT, 2);
  DBquery_addtoken(TOK_IN);
  DBquery_addtokstring(TOK_STRING, "x");
  DBquery_addtokname(TOK_NAME, "A");
  DBquery_addtoken(TOK_LIKE);
  DBquery_addtoken(TOK_OR);
  DBquery_addtoken(TOK_WHERE);
  DBquery_addtoken(TOK_END);
  std::vector<char> full(query_data, query_data + query_size);
  for (size_t n = 1; n <= full.size(); n++) {
    DBquery_init();
    DBquery_add(full.data(), static_cast<int>(n));
    int code = raw_exchange(fd);
    // complete statements: "SELECT A FROM T" (12 bytes) and the whole
    // request with or without its end token
    bool complete = n == 12 || n >= full.size() - 1;
    EXPECT_EQ(code, complete ? REPLY_DATA : REPLY_ERROR) << "cut at " << n << " gave " << code;
  }
  // a client that goes away in the middle of a multi-frame message
  {
    int cut = server.raw_socket();
    std::vector<char> frames = wire_encode(std::string(30000, 'x').data(), 30000);
    ASSERT_EQ(write(cut, frames.data(), 12000), 12000);
    close(cut);
  }
  // the server is still there for everybody
  EXPECT_EQ(good.run("INSERT INTO T VALUES (1)"), DB_COMMAND_OK);
  close(fd);
}

TEST_P(KorvaldTest, ConcurrentClientsAndAStuckOne) {
  // a client that sent half a frame and stalls
  int stuck = server.raw_socket();
  ASSERT_GE(stuck, 0);
  ASSERT_EQ(write(stuck, "\x6c\x00\x00\x00\x64\x00", 6), 6);
  {
    Conn setup(server.open());
    ASSERT_EQ(setup.run("CREATE TABLE C (W INTEGER, N INTEGER)"), DB_COMMAND_OK);
  }
  const int kThreads = 4, kRows = 40;
  std::atomic<int> failures{0};
  std::mutex mutex;
  std::string first_error;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&, t]() {
      Conn c(server.open());
      if (!c.ok()) {
        failures++;
        return;
      }
      auto check = [&](const std::string &sql) {
        if (c.run(sql) == DB_COMMAND_OK) return;
        failures++;
        std::lock_guard<std::mutex> lock(mutex);
        if (first_error.empty()) first_error = sql + ": " + c.last_err;
      };
      for (int i = 0; i < kRows; i++) {
        bool tx = i % 2 == 0;
        if (tx) check("BEGIN");
        check("INSERT INTO C VALUES (" + std::to_string(t) + ", " + std::to_string(i) + ")");
        if (tx) check("END");
        Res r(c.exec("SELECT COUNT(*) FROM C WHERE W = " + std::to_string(t)));
        if (r.v(0, 0) != std::to_string(i + 1)) failures++;
      }
      DBquery_free();
    });
  }
  for (auto &th : threads) th.join();
  EXPECT_EQ(failures.load(), 0) << first_error;
  Conn check(server.open());
  Res r(check.exec("SELECT COUNT(*) FROM C"));
  EXPECT_EQ(r.v(0, 0), std::to_string(kThreads * kRows));
  close(stuck);
}

TEST_P(KorvaldTest, KillDuringWritesKeepsCommittedRows) {
  {
    Conn c(server.open());
    ASSERT_EQ(c.run("CREATE TABLE K (ID INTEGER NOT NULL, T CHARACTER(40))"), DB_COMMAND_OK);
  }
  // each step commits two rows in one transaction; acked is the last step
  // whose COMMIT was answered
  std::atomic<int> acked{0};
  std::atomic<bool> writer_ended{false};
  std::thread writer([&]() {
    Conn c(server.open());
    for (int i = 1;; i++) {
      std::string id = std::to_string(i);
      bool ok = c.run("BEGIN") == DB_COMMAND_OK &&
                c.run("INSERT INTO K VALUES (" + id + ", 'erste')") == DB_COMMAND_OK &&
                c.run("INSERT INTO K VALUES (" + id + ", 'zweite')") == DB_COMMAND_OK &&
                c.run("COMMIT") == DB_COMMAND_OK;
      if (!ok) break;
      acked = i;
    }
    DBquery_free();
    writer_ended = true;
  });
  // a writer that fails early ends the wait instead of hanging the test
  while (acked < 150 && !writer_ended) std::this_thread::yield();
  EXPECT_FALSE(writer_ended) << "the writer failed before the kill";
  server.kill9();
  writer.join();
  int committed = acked;
  ASSERT_TRUE(server.start());
  Conn c(server.open());
  Res r(c.exec("SELECT COUNT(*) FROM K WHERE ID <= " + std::to_string(committed)));
  EXPECT_EQ(r.v(0, 0), std::to_string(2 * committed));
  // no transaction survives in half
  Res all(c.exec("SELECT COUNT(*) FROM K"));
  EXPECT_EQ(std::stoi(all.v(0, 0)) % 2, 0);
  // and the database takes writes again
  EXPECT_EQ(c.run("INSERT INTO K VALUES (0, 'nach dem Neustart')"), DB_COMMAND_OK);
}

// SIGINT stops the server as SIGTERM does, also while clients idle and one
// of them waits for a long statement: the server ends with 0, the waiting
// client sees its connection end.
TEST_P(KorvaldTest, SigintStopsTheServerDuringALongStatement) {
  Conn c(server.open());
  ASSERT_EQ(c.run("CREATE TABLE L (N INTEGER)"), DB_COMMAND_OK);
  ASSERT_EQ(c.run("BEGIN"), DB_COMMAND_OK);
  for (int i = 0; i < 1000; i++)
    ASSERT_EQ(c.run("INSERT INTO L VALUES (" + std::to_string(i) + ")"), DB_COMMAND_OK);
  ASSERT_EQ(c.run("END"), DB_COMMAND_OK);
  Conn idle1(server.open()), idle2(server.open());
  int status = -2;
  // a thousand million rows of a join: far longer than this test
  std::thread busy([&]() {
    DBresult *r = DBexec(c.c, "SELECT COUNT(*) FROM L A, L B, L C");
    status = r ? DBresultStatus(r) : -1;
    DBclear(r);
    DBquery_free();  // the thread's query buffer
  });
  bool running = server.statement_runs();
  kill(server.pid, SIGINT);
  EXPECT_EQ(server.wait_exit(), 0);
  busy.join();
  EXPECT_TRUE(running);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(DBstatus(c.c), DB_CONNECTION_BROKEN);
  // nor does the join go on in PostgreSQL without the server
  EXPECT_TRUE(server.statement_ended()) << "the statement still runs";
}

TEST_P(KorvaldTest, StopBySignalStatementAndRequest) {
  {
    Conn c(server.open());
    ASSERT_EQ(c.run("CREATE TABLE X (A INTEGER)"), DB_COMMAND_OK);
    ASSERT_EQ(c.run("BEGIN"), DB_COMMAND_OK);
    ASSERT_EQ(c.run("INSERT INTO X VALUES (1)"), DB_COMMAND_OK);
    kill(server.pid, SIGTERM);
    EXPECT_EQ(server.wait_exit(), 0);
  }
  ASSERT_TRUE(server.start());
  {
    Conn c(server.open());
    Res r(c.exec("SELECT COUNT(*) FROM X"));
    EXPECT_EQ(r.v(0, 0), "0");  // the open transaction was rolled back
    EXPECT_EQ(c.run("STOP"), DB_COMMAND_OK);
    EXPECT_EQ(server.wait_exit(), 0);
  }
  ASSERT_TRUE(server.start());
  EXPECT_EQ(DBstopdb(nullptr, server.port_text.c_str()), 1);
  EXPECT_EQ(server.wait_exit(), 0);
}

TEST_P(KorvaldTest, ResetReopensOnTheSameSocket) {
  Conn a(server.open());
  ASSERT_EQ(a.run("CREATE TABLE R (A INTEGER)"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("MAX 0"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("BEGIN"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("INSERT INTO R VALUES (1)"), DB_COMMAND_OK);
  ASSERT_EQ(DBreset(a.c), 1) << DBerrorMessage(a.c);
  // the reset rolled back and dropped the row maximum
  ASSERT_EQ(a.run("INSERT INTO R VALUES (2)"), DB_COMMAND_OK);
  Res r(a.exec("SELECT A FROM R"));
  EXPECT_EQ(r.status(), DB_TUPLES_OK);
  EXPECT_EQ(column0(r), "2");
}

TEST_P(KorvaldTest, LikeRespectsCaseForEveryLetter) {
  Conn a(server.open());
  ASSERT_EQ(a.run("CREATE TABLE L (L_ID INTEGER, NAME CHARACTER(10))"), DB_COMMAND_OK);
  for (const char *v : {"(1, 'M\xfcller')", "(2, 'meier')",
                        "(3, '\xdc"
                        "bel')",
                        "(4, '\xfc"
                        "ber')"})
    ASSERT_EQ(a.run(std::string("INSERT INTO L VALUES ") + v), DB_COMMAND_OK);
  const struct {
    const char *pattern, *ids;
  } cases[] = {{"m%", "2"},     {"M%", "1"},    {"\xdc%", "3"},  {"\xfc%", "4"}, {"%e%", "1,2,3,4"},
               {"M_ller", "1"}, {"_eier", "2"}, {"%r", "1,2,4"}, {"%l", "3"}};
  for (auto &c : cases) {
    Res r(a.exec(std::string("SELECT L_ID FROM L WHERE NAME LIKE '") + c.pattern +
                 "' ORDER BY L_ID"));
    ASSERT_EQ(r.status(), DB_TUPLES_OK) << r.err();
    EXPECT_EQ(column0(r), c.ids) << c.pattern;
  }
}

TEST_P(KorvaldTest, AnOpenTransactionBlocksNeitherReadersNorOtherWriters) {
  Conn a(server.open()), b(server.open());
  ASSERT_EQ(a.run("CREATE TABLE T (ID INTEGER)"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("INSERT INTO T VALUES (1)"), DB_COMMAND_OK);
  // a transaction that has only read leaves writing to the others
  ASSERT_EQ(a.run("BEGIN"), DB_COMMAND_OK);
  {
    Res r(a.exec("SELECT COUNT(*) FROM T"));
    EXPECT_EQ(r.v(0, 0), "1");
  }
  EXPECT_EQ(b.run("INSERT INTO T VALUES (2)"), DB_COMMAND_OK) << b.last_err;
  // SQLite's snapshot of the whole database is now stale: the reader's
  // write is refused with a clear text (PostgreSQL keeps versions per row)
  if (GetParam() == Backend::sqlite) {
    EXPECT_EQ(a.run("INSERT INTO T VALUES (3)"), DB_ERROR_REPLY);
    EXPECT_NE(a.last_err.find("changed by another connection"), std::string::npos) << a.last_err;
  }
  ASSERT_EQ(a.run("ABORT"), DB_COMMAND_OK);
  // a transaction with uncommitted changes (a stuck client) still lets the
  // viewer's BEGIN / SELECT / END through, showing the committed rows
  ASSERT_EQ(a.run("BEGIN"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("INSERT INTO T VALUES (4)"), DB_COMMAND_OK);
  ASSERT_EQ(b.run("BEGIN"), DB_COMMAND_OK) << b.last_err;
  {
    Res r(b.exec("SELECT ID FROM T ORDER BY ID"));
    EXPECT_EQ(r.status(), DB_TUPLES_OK) << r.err();
    EXPECT_EQ(column0(r), "1,2");
  }
  EXPECT_EQ(b.run("END"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("COMMIT"), DB_COMMAND_OK);
  Res r(b.exec("SELECT ID FROM T ORDER BY ID"));
  EXPECT_EQ(column0(r), "1,2,4");
}

TEST_P(KorvaldTest, NamesInAnyCaseMeanTheSameObject) {
  Conn a(server.open());
  ASSERT_EQ(a.run("CREATE TABLE R (ID INTEGER)"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("INSERT INTO R VALUES (1)"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("SET TABLE R STATIC"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("CREATE TABLE S (ID INTEGER)"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("SET TABLE S SECURE"), DB_COMMAND_OK);
  // the client library upper-cases names; a raw request need not
  int fd = server.raw_socket();
  ASSERT_GE(fd, 0);
  DBquery_init();
  DBquery_addcmd(CMD_OPEN_DATABASE);
  DBquery_addtokname(TOK_NAME, "kvsys");
  ASSERT_EQ(raw_exchange(fd), REPLY_OK);
  DBquery_init();
  DBquery_addcmd(CMD_DROP_TABLE);
  DBquery_addtokname(TOK_NAME, "r");
  EXPECT_EQ(raw_exchange(fd), REPLY_ERROR);  // STATIC
  DBquery_init();
  DBquery_addcmd(CMD_DROP_TABLE);
  DBquery_addtokname(TOK_NAME, "s");
  EXPECT_EQ(raw_exchange(fd), REPLY_ERROR);  // SECURE
  DBquery_init();
  DBquery_addcmd(CMD_DELETE);
  DBquery_addtokname(TOK_NAME, "r");
  DBquery_addtoken(TOK_END);
  EXPECT_EQ(raw_exchange(fd), REPLY_ERROR);
  DBquery_init();
  DBquery_addcmd(CMD_CREATE_DATABASE);
  DBquery_addtokname(TOK_NAME, "kvsys");
  EXPECT_EQ(raw_exchange(fd), REPLY_ERROR);  // exists already
  close(fd);
  Res t(a.exec("SHOW TABLES"));
  EXPECT_EQ(column0(t), "R,S");
  Res d(a.exec("SHOW DATABASES"));
  EXPECT_EQ(column0(d), "KVSYS");
  Res r(a.exec("SELECT COUNT(*) FROM R"));
  EXPECT_EQ(r.v(0, 0), "1");
}

// In a network namespace of its own (unshare -n) the default port is free:
// korvald without -p listens on 12453 and stops on a stop request 'W'
// (frame length 9, message length 1) sent there.
TEST(KorvaldDefaultPort, ListensOn12453AndStopsOnRequest) {
  if (system("unshare -n true >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no network namespaces here (unshare -n)";
  const char *script =
      "ip link set lo up || exit 77\n"
      "d=$(mktemp -d) || exit 78\n"
      "trap 'rm -rf \"$d\"' EXIT\n"
      "mkfifo \"$d/ready\"\n"
      "\"$0\" -D \"$d/data\" > \"$d/ready\" 2> \"$d/log\" &\n"
      "pid=$!\n"
      "read -r line < \"$d/ready\"\n"
      "case \"$line\" in *'port 12453,'*) ;; *) kill $pid; exit 3 ;; esac\n"
      "printf '\\011\\000\\000\\000\\001\\000\\000\\000W' > /dev/tcp/127.0.0.1/12453 ||"
      " { kill $pid; exit 4; }\n"
      "wait $pid\n";
  pid_t pid = fork();
  if (pid == 0) {
    std::string bin = korvald_path();
    // the time limit only ends a korvald that would never stop
    execlp("timeout", "timeout", "120", "unshare", "-n", "bash", "-c", script, bin.c_str(),
           static_cast<char *>(nullptr));
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no loopback in the namespace";
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "3: not ready on 12453, 4: no connection, 124: did not stop, else korvald's exit status";
}

TEST_P(KorvaldDemo, DemoDataFillsKvsys) {
  Korvald server(GetParam());
  ASSERT_TRUE(server.start({"--demo", "--trace"})) << server.failure();
  Conn c(server.open());
  Res t(c.exec("SHOW TABLES"));
  EXPECT_EQ(column0(t), "ARTIKEL,BESTELLUNG,KUNDE");
  Res k(c.exec("SELECT COUNT(*) FROM KUNDE"));
  EXPECT_EQ(k.v(0, 0), "120");
  Res u(c.exec("SELECT COUNT(*) FROM KUNDE WHERE NAME = 'M\xfcller'"));
  EXPECT_NE(u.v(0, 0), "0");
  Res b(c.exec("SELECT DATUM, UHRZEIT, ERFASST FROM BESTELLUNG WHERE BESTELLUNG_ID = 1"));
  ASSERT_EQ(b.rows(), 1);
  EXPECT_EQ(b.v(0, 0).size(), 10u);
  EXPECT_EQ(b.v(0, 2).substr(0, 10), b.v(0, 0));
  // --trace: one line per request, with its SQL, and one per reply
  DBfinish(c.c);
  kill(server.pid, SIGTERM);
  ASSERT_EQ(server.wait_exit(), 0);
  std::string log = server.log();
  EXPECT_NE(log.find("SELECT | SELECT COUNT(*) FROM \"KUNDE\""), std::string::npos) << log;
  EXPECT_NE(log.find("reply 2 1 fields, 1 rows"), std::string::npos) << log;
}

#if KV_TEST_POSTGRES
// What a statement gives: its status, error text, or fields and rows (in
// the order sent, or sorted where the order of equal keys is the
// database's choice).
std::string outcome(Conn &c, const std::string &sql, bool sorted) {
  Res r(c.exec(sql));
  if (r.status() == DB_ERROR_REPLY || r.status() == DB_SYNTAX_ERROR)
    return "error " + std::to_string(r.status()) + ": " + r.err();
  std::string head = "status " + std::to_string(r.status());
  for (int f = 0; f < DBnfields(r.r); f++)
    head += std::string(" ") + DBfname(r.r, f) + ":" + std::to_string(DBftype(r.r, f));
  std::vector<std::string> rows;
  for (int i = 0; i < r.rows(); i++) {
    std::string row;
    for (int f = 0; f < DBnfields(r.r); f++) row += r.v(i, f) + "|";
    rows.push_back(row);
  }
  if (sorted) std::sort(rows.begin(), rows.end());
  for (auto &row : rows) head += "\n" + row;
  return head;
}

// The same statements on the same data give the same replies on both
// storages: the demo tables, and values that SQLite and PostgreSQL read
// differently (texts that spell numbers, NULLs, LIKE on numbers and dates,
// Latin-1 letters, mixed types, subselects, aggregates beside columns).
TEST(KorvaldBackends, TheSameStatementsGiveTheSameReplies) {
  Korvald lite(Backend::sqlite), pg(Backend::postgres);
  ASSERT_TRUE(lite.start({"--demo"})) << lite.failure();
  ASSERT_TRUE(pg.start({"--demo"})) << pg.failure();
  Conn a(lite.open()), b(pg.open());
  ASSERT_TRUE(a.ok() && b.ok());
  const char *setup[] = {
      "CREATE TABLE M (ID INTEGER NOT NULL, S CHARACTER(10), N SMALLINT, F FLOAT, D DATE, "
      "T TIME, TS TIMESTAMP, B BINARY(4))",
      "INSERT INTO M VALUES (1, '12', 12, 1.5, '2000-02-29', '10:00:00', "
      "'2000-02-29-10.00.00.000001', 'ab')",
      "INSERT INTO M VALUES (2, 'abc', -3, 100, '29.02.1904', '00:00', '1800-01-01', 'a%')",
      "INSERT INTO M (ID, S) VALUES (3, ' 7 ')",
      "INSERT INTO M (ID, S, F) VALUES (4, '\xc4rger', 1e20)",
      "INSERT INTO M (ID, N, F) VALUES (5, 0, 0.000001)",
      "INSERT INTO M VALUES (6, '1900-02-29', 1, 2, '1900-02-28', '23:59:59', "
      "'2800-12-31-23.59.59.999999', '')",
      "CREATE UNIQUE INDEX M_ID ON M (ID)",
      "INSERT INTO M (ID) VALUES (1)",
  };
  for (const char *sql : setup) EXPECT_EQ(outcome(a, sql, false), outcome(b, sql, false)) << sql;
  struct Case {
    const char *sql;
    bool sorted;
  } cases[] = {
      {"SELECT * FROM M ORDER BY ID", false},
      {"SELECT * FROM M ORDER BY S, ID", false},
      {"SELECT ID FROM M ORDER BY D DESC, ID", false},
      {"SELECT ID, N FROM M ORDER BY N, ID", false},
      {"SELECT ID FROM M WHERE S = 12", true},
      {"SELECT ID FROM M WHERE N = '12'", true},
      {"SELECT ID FROM M WHERE S < 'b'", true},
      {"SELECT ID FROM M WHERE S > 5", true},
      {"SELECT ID FROM M WHERE N LIKE '1%'", true},
      {"SELECT ID FROM M WHERE F LIKE '1%'", true},
      {"SELECT ID FROM M WHERE D LIKE '%-02-29'", true},
      {"SELECT ID FROM M WHERE TS LIKE '2000%'", true},
      {"SELECT ID FROM M WHERE S LIKE '_rger'", true},
      {"SELECT ID FROM M WHERE S LIKE '\xe4%'", true},
      {"SELECT ID FROM M WHERE D = '1904-02-29'", true},
      {"SELECT ID FROM M WHERE D BETWEEN '1900-01-01' AND '2000-12-31'", true},
      {"SELECT ID FROM M WHERE N IN (0, 1, 12)", true},
      {"SELECT ID FROM M WHERE NOT (N > 0)", true},
      {"SELECT ID FROM M WHERE N", true},
      {"SELECT ID FROM M WHERE S = N", true},
      {"SELECT ID FROM M WHERE ID = (SELECT N FROM M WHERE N > 0)", true},
      {"SELECT ID FROM M WHERE ID IN (SELECT N FROM M)", true},
      {"SELECT ID FROM M WHERE EXISTS (SELECT * FROM M X WHERE X.ID = M.N)", true},
      {"SELECT COUNT(*), MIN(S), MAX(F), MIN(D), MAX(TS) FROM M", false},
      {"SELECT ID, MAX(F) FROM M", false},
      {"SELECT DISTINCT N FROM M ORDER BY N", false},
      {"SELECT ID FROM M WHERE B = 'ab'", true},
      {"SELECT ID FROM M WHERE B LIKE 'a%'", true},
      {"SELECT * FROM M WHERE D = '2001-02-29'", false},
      {"SELECT NOPE FROM M", false},
      {"SELECT K.NAME, A.BEZEICHNUNG, B.MENGE FROM KUNDE K, ARTIKEL A, BESTELLUNG B "
       "WHERE B.KUNDE_ID = K.KUNDE_ID AND B.ARTIKEL_ID = A.ARTIKEL_ID AND B.MENGE > 5 "
       "ORDER BY B.BESTELLUNG_ID",
       false},
      {"SELECT ORT, COUNT(*) FROM KUNDE", false},
      {"SELECT * FROM KUNDE WHERE NAME LIKE '%\xfc%' ORDER BY KUNDE_ID", false},
      {"SELECT * FROM BESTELLUNG WHERE UHRZEIT > '12:00' AND DATUM < '01.01.2003' "
       "ORDER BY BESTELLUNG_ID",
       false},
      {"SELECT ARTIKEL_ID, PREIS FROM ARTIKEL WHERE PREIS > 10 ORDER BY PREIS DESC, ARTIKEL_ID",
       false},
      {"SELECT * FROM KUNDE WHERE GEBURTSTAG >= '1980-01-01' ORDER BY ANGELEGT", false},
  };
  for (auto &c : cases)
    EXPECT_EQ(outcome(a, c.sql, c.sorted), outcome(b, c.sql, c.sorted)) << c.sql;
  // and the same changes
  const char *changes[] = {
      "UPDATE M SET S = 'neu', N = 7 WHERE F > 1",
      "DELETE FROM M WHERE S LIKE 'n%'",
      "SELECT * FROM M ORDER BY ID",
  };
  for (const char *sql : changes) EXPECT_EQ(outcome(a, sql, false), outcome(b, sql, false)) << sql;
  // the one difference: a day of KORVAL's calendar that PostgreSQL's lacks
  // is refused there instead of being stored as another
  const char *leap = "UPDATE M SET D = '1900-02-29' WHERE ID = 1";
  EXPECT_EQ(a.run(leap), DB_COMMAND_OK);
  EXPECT_EQ(b.run(leap), DB_ERROR_REPLY);
  EXPECT_NE(b.last_err.find("no such day in PostgreSQL's calendar"), std::string::npos)
      << b.last_err;
}

// Commands, and the errors of commands, answer alike on both storages.
TEST(KorvaldBackends, CommandsAndTheirErrorsGiveTheSameReplies) {
  Korvald lite(Backend::sqlite), pg(Backend::postgres);
  ASSERT_TRUE(lite.start()) << lite.failure();
  ASSERT_TRUE(pg.start()) << pg.failure();
  Conn a(lite.open()), b(pg.open());
  ASSERT_TRUE(a.ok() && b.ok());
  const char *steps[] = {
      "CREATE TABLE T (ID INTEGER NOT NULL, K CHARACTER(3), S SMALLINT, B BINARY(2))",
      "CREATE TABLE T (X INTEGER)",
      "CREATE UNIQUE INDEX T_ID ON T (ID)",
      "CREATE INDEX T_ID ON T (K)",
      "CREATE INDEX T_KS ON T (K, S)",
      "CREATE INDEX T_X ON T (NOPE)",
      "CREATE INDEX T ON T (K)",
      "CREATE TABLE T_KS (A INTEGER)",
      "INSERT INTO T VALUES (1, 'a', 1, 'xy')",
      "INSERT INTO T VALUES (1, 'b', 2, 'z')",
      "INSERT INTO T VALUES (2, 'abcd', 2, 'z')",
      "INSERT INTO T VALUES (2, 'b', 70000, 'z')",
      "INSERT INTO T VALUES (2, 'b', 2, 'xyz')",
      "INSERT INTO T (K) VALUES ('c')",
      "INSERT INTO T (ID, K) VALUES (2, 'b')",
      "UPDATE T SET ID = 1 WHERE ID = 2",
      "UPDATE T SET NOPE = 1",
      "SHOW TABLES",
      "SHOW TABLE T",
      "SHOW INDICES",
      "SHOW INDICES ON TABLE T",
      "SHOW INDEX T_KS",
      "SHOW INDEX NIX",
      "SHOW TABLE NIX",
      "DROP INDEX NIX",
      "DROP TABLE NIX",
      "BEGIN",
      "BEGIN",
      "INSERT INTO T VALUES (3, 'c', 3, 'c')",
      "INSERT INTO T VALUES (3, 'd', 3, 'd')",
      "INSERT INTO T VALUES (4, 'd', 4, 'd')",
      "CREATE DATABASE X",
      "ABORT",
      "COMMIT",
      "SELECT ID FROM T ORDER BY ID",
      "MAX 1",
      "SELECT ID FROM T ORDER BY ID",
      "DECLARE C CURSOR FOR SELECT ID, K FROM T ORDER BY ID",
      "DECLARE C CURSOR FOR SELECT ID FROM T",
      "FETCH ALL IN C",
      "FETCH IN C",
      "FETCH ALL IN C",
      "CLOSE C",
      "CLOSE C",
      "MAX",
      "SET TABLE T SECURE",
      "DELETE FROM T WHERE ID = 1",
      "DROP TABLE T",
      "UPDATE T SET K = 'u' WHERE ID = 1",
      "CREATE TABLE R (A INTEGER)",
      "SET TABLE R STATIC",
      "INSERT INTO R VALUES (1)",
      "DROP TABLE R",
      "CREATE DATABASE LAGER",
      "CREATE DATABASE LAGER",
      "SHOW DATABASES",
      "SET DATABASE NIX",
      "SET DATABASE LAGER",
      "SHOW TABLES",
      "SAVE DATABASE",
      "DROP DATABASE KVSYS",
      "DROP DATABASE",
      "SHOW DATABASES",
  };
  for (const char *sql : steps) EXPECT_EQ(outcome(a, sql, false), outcome(b, sql, false)) << sql;
}

// Tables that other PostgreSQL clients made in the database's schema: in
// lower case (PostgreSQL's spelling of unquoted names) they are served
// under KORVAL's upper-case names; a column type without a KORVAL type is
// named in the error.
TEST(KorvaldPostgres, TablesOfOtherClientsAreServed) {
  Korvald server(Backend::postgres);
  ASSERT_TRUE(server.start()) << server.failure();
  std::string err;
  pg_first_value(server.conninfo,
                 "CREATE TABLE \"KVSYS\".kunden (id integer NOT NULL, name varchar(20), "
                 "seit date); INSERT INTO \"KVSYS\".kunden VALUES (1, 'M\xc3\xbcller', "
                 "'2001-02-03'), (2, 'Ma', NULL); CREATE INDEX kunden_id ON \"KVSYS\".kunden (id); "
                 "CREATE TABLE \"KVSYS\".konten (nr bigint)",
                 &err);
  ASSERT_EQ(err, "");
  Conn c(server.open());
  Res r(c.exec("SELECT K.NAME, SEIT FROM KUNDEN K WHERE ID > 0 AND NAME LIKE 'M%' ORDER BY ID"));
  ASSERT_EQ(r.status(), DB_TUPLES_OK) << r.err();
  EXPECT_EQ(column0(r), "M\xfcller,Ma");
  EXPECT_EQ(c.run("INSERT INTO KUNDEN (ID, NAME) VALUES (3, 'Neu')"), DB_COMMAND_OK) << c.last_err;
  EXPECT_EQ(c.run("UPDATE KUNDEN SET NAME = 'Alt' WHERE KUNDEN.ID = 3"), DB_COMMAND_OK)
      << c.last_err;
  EXPECT_EQ(c.run("DELETE FROM KUNDEN WHERE NAME = 'Ma'"), DB_COMMAND_OK) << c.last_err;
  Res all(c.exec("SELECT * FROM KUNDEN ORDER BY ID"));
  EXPECT_EQ(column0(all), "1,3");
  EXPECT_EQ(c.run("CREATE UNIQUE INDEX KUNDEN_NAME ON KUNDEN (NAME)"), DB_COMMAND_OK) << c.last_err;
  Res idx(c.exec("SHOW INDICES ON TABLE KUNDEN"));
  EXPECT_EQ(column0(idx), "KUNDEN_NAME,kunden_id");
  EXPECT_EQ(c.run("DROP INDEX KUNDEN_ID"), DB_COMMAND_OK) << c.last_err;
  EXPECT_EQ(c.run("SET TABLE KUNDEN STATIC"), DB_COMMAND_OK) << c.last_err;
  EXPECT_EQ(c.run("DELETE FROM KUNDEN"), DB_ERROR_REPLY);
  // ... and PostgreSQL's own clients are held to it as well
  pg_first_value(server.conninfo, "DELETE FROM \"KVSYS\".kunden", &err);
  EXPECT_NE(err.find("KUNDEN is STATIC"), std::string::npos) << err;
  Res big(c.exec("SELECT * FROM KONTEN"));
  EXPECT_EQ(big.status(), DB_ERROR_REPLY);
  EXPECT_EQ(big.err(),
            "Table KONTEN cannot be served: column nr has type bigint, which has no KORVAL type\n");
  // names quoted in mixed case are found too, unless two spellings compete
  pg_first_value(server.conninfo,
                 "CREATE TABLE \"KVSYS\".\"Artikel\" (\"Nr\" integer, \"Preis\" double precision); "
                 "INSERT INTO \"KVSYS\".\"Artikel\" VALUES (7, 2.5); "
                 "CREATE INDEX \"Artikel_Nr\" ON \"KVSYS\".\"Artikel\" (\"Nr\"); "
                 "CREATE TABLE \"KVSYS\".\"Lager\" (n integer); "
                 "CREATE TABLE \"KVSYS\".\"LAger\" (n integer)",
                 &err);
  ASSERT_EQ(err, "");
  EXPECT_EQ(c.run("UPDATE ARTIKEL SET PREIS = 5 WHERE NR = 7"), DB_COMMAND_OK) << c.last_err;
  Res art(c.exec("SELECT A.NR, PREIS FROM ARTIKEL A WHERE NR IN (SELECT NR FROM ARTIKEL)"));
  ASSERT_EQ(art.status(), DB_TUPLES_OK) << art.err();
  EXPECT_EQ(art.v(0, 0) + " " + art.v(0, 1), "7 5");
  Res ai(c.exec("SHOW INDEX ARTIKEL_NR"));
  EXPECT_EQ(ai.v(0, 1) + " " + ai.v(0, 2), "Artikel Nr") << ai.err();
  EXPECT_EQ(c.run("DROP INDEX ARTIKEL_NR"), DB_COMMAND_OK) << c.last_err;
  EXPECT_EQ(c.run("INSERT INTO LAGER VALUES (1)"), DB_ERROR_REPLY);
  EXPECT_EQ(c.last_err, "Table LAGER is ambiguous: PostgreSQL has LAger and Lager\n");
}
#endif

// ---------------------------------------------------------------------------
// The data directory and the server's resources.

TEST_F(KorvaldSqliteTest, ASecondServerOnTheSameDirectoryIsRefused) {
  Conn a(server.open());
  ASSERT_EQ(a.run("CREATE DATABASE LAGER"), DB_COMMAND_OK) << a.last_err;
  ASSERT_EQ(a.run("CREATE TABLE T (ID INTEGER)"), DB_COMMAND_OK);
  std::set<std::string> before = entries(server.dir);
  std::string log;
  EXPECT_EQ(failed_start(server.dir, {}, &log), 1);
  EXPECT_NE(log.find("The data directory " + server.dir + " is in use by another korvald (pid " +
                     std::to_string(server.pid) + ")"),
            std::string::npos)
      << log;
  EXPECT_EQ(entries(server.dir), before);
  // the first server and its client carry on
  EXPECT_EQ(a.run("INSERT INTO T VALUES (1)"), DB_COMMAND_OK) << a.last_err;
  Res r(a.exec("SELECT COUNT(*) FROM T"));
  EXPECT_EQ(r.v(0, 0), "1");
  // once it has stopped, the directory is free again
  EXPECT_EQ(a.run("STOP"), DB_COMMAND_OK);
  EXPECT_EQ(server.wait_exit(), 0);
  EXPECT_EQ(entries(server.dir).count("korvald.lock"), 0u);
  ASSERT_TRUE(server.start());
  Conn b(server.open("LAGER"));
  EXPECT_TRUE(b.ok()) << DBerrorMessage(b.c);
}

TEST_F(KorvaldSqliteTest, AFailedStartCreatesNothing) {
  char tmpl[] = "/tmp/korvald_nostart_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string base = tmpl;
  const struct {
    std::vector<std::string> args;
    int status;
    std::string says;
  } cases[] = {
      {{"--no-such-option"}, 2, "unknown option '--no-such-option'\nusage: korvald"},
      {{"-D"}, 2, "korvald: -D needs a value\nusage: korvald"},
      {{"--max-reply"}, 2, "korvald: --max-reply needs a value"},
      {{"--max-reply", "257"}, 2, "invalid value for --max-reply: 257"},
      {{"-p", "70000"}, 2, "invalid value for -p: 70000"},
      {{"--max-connections", "0"}, 2, "invalid value for --max-connections: 0"},
      {{"--tx-idle-timeout", "soon"}, 2, "invalid value for --tx-idle-timeout: soon"},
      {{"-p", server.port_text}, 1, "Cannot listen on 127.0.0.1:" + server.port_text},
  };
  for (auto &c : cases) {
    std::string log;
    EXPECT_EQ(failed_start(base + "/new/data", c.args, &log), c.status) << c.args[0];
    EXPECT_NE(log.find(c.says), std::string::npos) << log;
    EXPECT_TRUE(entries(base).empty()) << c.args[0];
  }
  // a failure after the directory was locked: KVSYS.db cannot be created
  fs::create_directories(base + "/blocked/KVSYS.db");
  std::string log;
  EXPECT_EQ(failed_start(base + "/blocked", {}, &log), 1);
  EXPECT_NE(log.find("Cannot create database KVSYS"), std::string::npos) << log;
  EXPECT_EQ(entries(base + "/blocked"), std::set<std::string>{"KVSYS.db"});
  EXPECT_TRUE(entries(base + "/blocked/KVSYS.db").empty());
  std::error_code ec;
  fs::remove_all(base, ec);
}

#if KV_TEST_POSTGRES
// Tests of korvald on a PostgreSQL database of its own.
class KorvaldPostgresTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.start()) << server.failure(); }
  Korvald server{Backend::postgres};
};

TEST_F(KorvaldPostgresTest, ASecondServerOnTheSameDatabaseIsRefused) {
  Conn a(server.open());
  ASSERT_EQ(a.run("CREATE DATABASE LAGER"), DB_COMMAND_OK) << a.last_err;
  ASSERT_EQ(a.run("CREATE TABLE T (ID INTEGER)"), DB_COMMAND_OK);
  // -D is ignored: a second server with another directory is refused too
  std::string other = server.dir + "/other";
  std::string log;
  EXPECT_EQ(failed_start(other, {"--postgres", server.conninfo}, &log), 1);
  EXPECT_NE(log.find("in use by another korvald"), std::string::npos) << log;
  EXPECT_FALSE(fs::exists(other));
  // the first server and its client carry on
  EXPECT_EQ(a.run("INSERT INTO T VALUES (1)"), DB_COMMAND_OK) << a.last_err;
  Res r(a.exec("SELECT COUNT(*) FROM T"));
  EXPECT_EQ(r.v(0, 0), "1");
  // once it has stopped, the database is free again and keeps its data
  EXPECT_EQ(a.run("STOP"), DB_COMMAND_OK);
  EXPECT_EQ(server.wait_exit(), 0);
  ASSERT_TRUE(server.start()) << server.failure();
  Conn b(server.open("LAGER"));
  ASSERT_TRUE(b.ok()) << DBerrorMessage(b.c);
  Res t(b.exec("SELECT ID FROM T"));
  EXPECT_EQ(column0(t), "1");
}

TEST_F(KorvaldPostgresTest, AnUnreachableDatabaseIsAFailedStartWithLibpqsReason) {
  std::string host = server.conninfo.substr(0, server.conninfo.find(" user="));
  const struct {
    std::string conninfo, says;
  } cases[] = {
      {"host=127.0.0.1 port=1 user=korval dbname=x", "Connection refused"},
      {host + " user=korval dbname=nosuchdb", "database \"nosuchdb\" does not exist"},
      {"dbname", "missing \"=\" after \"dbname\""},
  };
  for (auto &c : cases) {
    std::string log;
    EXPECT_EQ(failed_start(server.dir + "/never", {"--postgres", c.conninfo}, &log), 1)
        << c.conninfo;
    EXPECT_NE(log.find(c.says), std::string::npos) << c.conninfo << ": " << log;
    EXPECT_FALSE(fs::exists(server.dir + "/never"));
  }
}
#endif

TEST_P(KorvaldTest, ListenQueueIsTheSystemMaximum) {
  std::string max = ReadFile("/proc/sys/net/core/somaxconn");
  std::string cmd = "ss -Hltn 'sport = :" + server.port_text + "' 2>/dev/null";
  FILE *p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char line[512] = "";
  bool got = fgets(line, sizeof line, p) != nullptr;
  pclose(p);
  if (!got || max.empty()) GTEST_SKIP() << "no ss or no somaxconn here";
  // ss shows a listening socket's queue length as its Send-Q
  std::istringstream in(line);
  std::string state, recv_q, send_q;
  in >> state >> recv_q >> send_q;
  EXPECT_EQ(send_q, std::to_string(std::stol(max)));
}

TEST_P(KorvaldLimits, AcceptWaitsWhileNoDescriptorIsFree) {
  Korvald server(GetParam());
  // the server inherits a low descriptor limit; so does nothing else
  rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
  rlimit low = old;
  low.rlim_cur = 40;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  bool up = server.start();
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &old), 0);
  ASSERT_TRUE(up) << server.failure();
  // more clients than descriptors: the rest wait in the listen queue
  std::vector<int> clients;
  for (int i = 0; i < 60; i++) {
    int fd = server.raw_socket();
    ASSERT_GE(fd, 0) << i;
    clients.push_back(fd);
  }
  EXPECT_TRUE(server.log_shows("cannot accept connections: Too many open files"));
  // waiting, not spinning
  EXPECT_TRUE(becomes_idle(server.pid)) << "korvald keeps a core busy";
  for (int fd : clients) close(fd);
  // The queued connections of the closed clients are still being accepted
  // and wound up while the descriptors come back, so a first open may meet
  // the shortage's tail: a client answered within a generous deadline is
  // what counts.
  bool served = false;
  std::string why;
  for (int i = 0; i < 200 && !served; i++) {
    Conn c(server.open());
    served = c.ok() && c.run("CREATE TABLE T (ID INTEGER)") == DB_COMMAND_OK;
    if (!served) {
      why = c.ok() ? c.last_err : DBerrorMessage(c.c);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  EXPECT_TRUE(served) << why << "\nserver " << (kill(server.pid, 0) == 0 ? "running" : "gone")
                      << ", its log:\n"
                      << server.log();
  EXPECT_TRUE(server.log_shows("accepting connections again"));
  std::string log = server.log();
  // once per shortage; on PostgreSQL every session takes a second
  // descriptor (its libpq connection), so the closed clients' queue can
  // run short once more
  int shortages = count_of(log, "cannot accept connections");
  if (GetParam() == Backend::sqlite) {
    EXPECT_EQ(shortages, 1) << log;
  }
  EXPECT_GE(shortages, 1) << log;
  EXPECT_LE(shortages, 3) << log;
  EXPECT_EQ(count_of(log, "accepting connections again"), shortages) << log;
}

TEST_P(KorvaldLimits, ClientsBeyondTheLimitAreRefusedWithAMessage) {
  Korvald server(GetParam());
  ASSERT_TRUE(server.start({"--max-connections", "2"})) << server.failure();
  {
    Conn a(server.open()), b(server.open());
    ASSERT_TRUE(a.ok() && b.ok());
    // a client beyond the limit that sends nothing holds up no one
    int silent = server.raw_socket();
    ASSERT_GE(silent, 0);
    for (int i = 0; i < 2; i++) {
      Conn c(server.open());
      EXPECT_EQ(DBstatus(c.c), DB_CONNECTION_FAILED);
      EXPECT_STREQ(DBerrorMessage(c.c), "Too many connections (limit 2); try again later\n");
    }
    EXPECT_EQ(a.run("CREATE TABLE T (ID INTEGER)"), DB_COMMAND_OK) << a.last_err;
    close(silent);
  }
  // places free up as clients leave
  bool in = false;
  for (int i = 0; i < 600 && !in; i++) {
    Conn c(server.open());
    in = c.ok() && c.run("INSERT INTO T VALUES (1)") == DB_COMMAND_OK;
    if (!in) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(in);
  EXPECT_EQ(count_of(server.log(), "2 connections open: further clients are refused"), 1)
      << server.log();
}

TEST_P(KorvaldLimits, AnIdleTransactionIsRolledBackAndTheClientTold) {
  Korvald server(GetParam());
  ASSERT_TRUE(server.start({"--tx-idle-timeout", "1"})) << server.failure();
  Conn a(server.open()), b(server.open());
  ASSERT_EQ(a.run("CREATE TABLE T (ID INTEGER)"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("BEGIN"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("INSERT INTO T VALUES (1)"), DB_COMMAND_OK);
  // a stalls holding the write lock; b gets through once a's time is up
  bool written = false;
  for (int i = 0; i < 20 && !written; i++)
    written = b.run("INSERT INTO T VALUES (2)") == DB_COMMAND_OK;
  ASSERT_TRUE(written) << b.last_err;
  EXPECT_TRUE(server.log_shows("idle for 1 s inside a transaction, rolled back"));
  // a's next request is not run but answered with the news
  EXPECT_EQ(a.run("INSERT INTO T VALUES (3)"), DB_ERROR_REPLY);
  EXPECT_NE(a.last_err.find("rolled back after 1 s without a request"), std::string::npos)
      << a.last_err;
  EXPECT_EQ(a.run("COMMIT"), DB_ERROR_REPLY);
  EXPECT_EQ(a.last_err, "No transaction active\n");
  {
    Res r(a.exec("SELECT ID FROM T"));
    EXPECT_EQ(column0(r), "2");
  }
  // a request that stops half-way inside a transaction ends its connection
  int fd = server.raw_socket();
  ASSERT_GE(fd, 0);
  timeval tv{60, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ASSERT_EQ(raw_open(fd), REPLY_OK);
  ASSERT_EQ(raw_sql(fd, "BEGIN"), REPLY_OK);
  ASSERT_EQ(raw_sql(fd, "INSERT INTO T VALUES (4)"), REPLY_TUPLES);
  ASSERT_EQ(write(fd, "\x6c\x00\x00\x00\x64\x00", 6), 6);
  char c;
  errno = 0;
  ssize_t got = recv(fd, &c, 1, 0);
  EXPECT_TRUE(got == 0 || (got < 0 && errno == ECONNRESET)) << "the connection stayed open";
  close(fd);
  EXPECT_EQ(b.run("INSERT INTO T VALUES (5)"), DB_COMMAND_OK) << b.last_err;
  Res r(b.exec("SELECT ID FROM T ORDER BY ID"));
  EXPECT_EQ(column0(r), "2,5");
  EXPECT_TRUE(server.log_shows("request stalled for 1 s inside a transaction"));
}

TEST_P(KorvaldLimits, AnAbandonedStatementIsStoppedAndRolledBack) {
  Korvald server(GetParam());
  ASSERT_TRUE(server.start()) << server.failure();
  Conn a(server.open());
  ASSERT_EQ(a.run("CREATE TABLE A (N INTEGER)"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("BEGIN"), DB_COMMAND_OK);
  for (int i = 0; i < 100; i++)
    ASSERT_EQ(a.run("INSERT INTO A VALUES (" + std::to_string(i) + ")"), DB_COMMAND_OK);
  ASSERT_EQ(a.run("END"), DB_COMMAND_OK);
  // 10^10 combinations: it would run for hours
  const std::string join =
      "SELECT COUNT(*) FROM A V, A W, A X, A Y, A Z WHERE V.N <> W.N AND W.N <> X.N AND "
      "X.N <> Y.N AND Y.N <> Z.N";
  // a client that writes, then starts the join and waits for its reply
  auto start_client = [&](int fd) {
    return raw_open(fd) == REPLY_OK && raw_sql(fd, "BEGIN") == REPLY_OK &&
           raw_sql(fd, "INSERT INTO A VALUES (-1)") == REPLY_TUPLES &&
           raw_sql(fd, join, false) == 1;
  };
  for (bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "client killed" : "connection closed");
    if (killed) {
      pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        int fd = server.raw_socket();
        if (fd >= 0 && start_client(fd)) pause();
        _exit(1);
      }
      bool busy = server.statement_runs();
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
      ASSERT_TRUE(busy) << "the statement did not run";
    } else {
      int fd = server.raw_socket();
      ASSERT_TRUE(fd >= 0 && start_client(fd));
      bool busy = server.statement_runs();
      close(fd);
      ASSERT_TRUE(busy) << "the statement did not run";
    }
    EXPECT_TRUE(server.statement_ended()) << "the statement still runs";
    // the statement ends in the store before the server writes its line
    EXPECT_TRUE(server.log_shows("client gone during a statement", killed ? 2 : 1));
    // rolled back: the row is gone and the write lock free
    Res r(a.exec("SELECT COUNT(*) FROM A WHERE N < 0"));
    EXPECT_EQ(r.v(0, 0), "0");
    EXPECT_EQ(a.run("UPDATE A SET N = 0 WHERE N = 0"), DB_COMMAND_OK) << a.last_err;
  }
  EXPECT_EQ(count_of(server.log(), "client gone during a statement, stopped and rolled back"), 2)
      << server.log();
}
