// Connections to the KORVAL server: opening with the services entry and the
// port checks, the open/create/drop/disconnect/stop requests, and sending and
// receiving framed messages on the connection's socket.
#include "dbclient/connection.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <chrono>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/mem.h"
#include "base/msglog.h"
#include "proto/query.h"
#include "proto/wire.h"

namespace {

const char SEND_FAILED[] = "DBsend: No data to send\n";
const char RECV_FAILED[] = "DBrecv: No data received\n";

void set_error(DBconn *conn, const char *text) {
  snprintf(conn->errmsg, sizeof conn->errmsg, "%s", text);
}

void close_socket(DBconn *conn) {
  if (conn->socket >= 0) close(conn->socket);
  conn->socket = -1;
}

// The text of the last name-service or socket error.
const char *sys_error(bool resolver) {
  if (resolver && errno == 0) return hstrerror(h_errno);
  return strerror(errno);
}

using Clock = std::chrono::steady_clock;

// Milliseconds left until deadline, at least 1 (a limit never turns into
// "wait for ever").
int ms_left(Clock::time_point deadline) {
  auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 1 ? 1 : left > 1000000000 ? 1000000000 : static_cast<int>(left);
}

// connect() on s, given up at deadline when timed (s is switched to
// non-blocking for the wait and back).  0, or -1 with errno set (ETIMEDOUT
// when the time ran out).
int connect_until(int s, const struct sockaddr_in &addr, bool timed, Clock::time_point deadline) {
  int flags = fcntl(s, F_GETFL);
  if (timed) fcntl(s, F_SETFL, flags | O_NONBLOCK);
  int rc;
  do {
    rc = connect(s, reinterpret_cast<const struct sockaddr *>(&addr), sizeof addr);
  } while (rc != 0 && errno == EINTR && !timed);
  if (rc != 0 && timed && (errno == EINPROGRESS || errno == EINTR)) {
    for (;;) {
      if (Clock::now() >= deadline) {
        errno = ETIMEDOUT;
        break;
      }
      struct pollfd p = {s, POLLOUT, 0};
      int n = poll(&p, 1, ms_left(deadline));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) continue;  // the deadline check above ends it
      int soerr = 0;
      socklen_t len = sizeof soerr;
      getsockopt(s, SOL_SOCKET, SO_ERROR, &soerr, &len);
      rc = soerr == 0 ? 0 : -1;
      errno = soerr;
      break;
    }
  }
  int saved = errno;
  if (timed) fcntl(s, F_SETFL, flags);
  errno = saved;
  return rc;
}

// Limits every send and receive on s to ms milliseconds (0: no limit).
void set_io_limit(int s, int ms) {
  struct timeval tv;
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

// Opens a TCP socket to the server, waiting until deadline when timed.
// Returns the socket, or -1 with the reason in err (the "(KORVAL) ..."
// texts).
int open_socket(const char *host, const char *port, char *err, size_t errsize, bool timed = false,
                Clock::time_point deadline = Clock::time_point()) {
  int portnum = DB_DEFAULT_PORT;
  if (port) {
    if (sscanf(port, "%d", &portnum) != 1) {
      snprintf(err, errsize, "(KORVAL) Invalid port (%s)\n", port);
      return -1;
    }
    if (static_cast<unsigned>(portnum) > 65535) {
      snprintf(err, errsize, "(KORVAL) Invalid port %d (must be in 0...65535)\n", portnum);
      return -1;
    }
  }
  char hostname[10000];
  if (!host) {
    if (gethostname(hostname, sizeof hostname) != 0) {
      snprintf(err, errsize, "(KORVAL) %s\n", strerror(errno));
      return -1;
    }
    hostname[sizeof hostname - 1] = 0;
    host = hostname;
  }
  struct sockaddr_in addr;
  memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  struct servent *serv = getservbyname("KORVAL", "tcp");
  addr.sin_port =
      serv ? static_cast<in_port_t>(serv->s_port) : htons(static_cast<uint16_t>(portnum));
  errno = 0;
  if (!gethostbyname(host)) {
    snprintf(err, errsize, "(KORVAL) %s\n", sys_error(true));
    return -1;
  }
  // Only a server on this machine is ever used; the name just has to resolve.
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int s = socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) {
    snprintf(err, errsize, "(KORVAL) %s\n", strerror(errno));
    return -1;
  }
  if (connect_until(s, addr, timed, deadline) != 0) {
    snprintf(err, errsize, "(KORVAL) %s\n", strerror(errno));
    close(s);
    return -1;
  }
  return s;
}

// Sends the request in the query buffer and reads the one-message reply to
// an open, create or drop request.  Returns 1 accepted, 0 refused (error
// text set, using missing_text when the reply carries none), -1 transport
// failure (logged, status 6, error text says which).
int request_with_answer(DBconn *conn, const char *missing_text) {
  if (!DBsend(conn)) {
    set_error(conn, SEND_FAILED);
    return -1;
  }
  char reply[DB_RECV_BUFSIZE];
  int len = 0;
  if (!DBrecv(conn, reply, sizeof reply, &len, nullptr, nullptr)) {
    set_error(conn, RECV_FAILED);
    return -1;
  }
  if (len >= 1 && reply[0] != REPLY_ERROR) return 1;
  // An empty refusal text (also one cut short by a NUL at its start)
  // explains nothing: it counts as missing.
  const char *text = nullptr;
  if (len >= 1 && DBmatch_errmsg(1, reply, len, &text) >= 0 && text[0] != 0)
    set_error(conn, text);
  else
    set_error(conn, missing_text);
  return 0;
}

void send_disconnect(DBconn *conn) {
  char code = static_cast<char>(CMD_DISCONNECT);
  if (conn->socket >= 0 && conn->status != DB_CONNECTION_BROKEN) DBsend_data(conn, &code, 1);
}

}  // namespace

namespace {

// Opens a connection as DBconnect does; timeout_ms > 0 limits the connect
// and the answer to the open request.
DBconn *connect_db(const char *host, const char *port, int create, char *dbname, int timeout_ms) {
  DBconn *conn = new DBconn;
  conn->status = DB_CONNECTION_FAILED;
  conn->socket = -1;
  conn->dbname = nullptr;
  conn->errmsg[0] = 0;
  if (!dbname) {
    set_error(conn, "(DBconnect) Database name missing\n");
    return conn;
  }
  for (char *p = dbname; *p; p++) *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
  conn->dbname = xstrdup(dbname);
  bool timed = timeout_ms > 0;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timed ? timeout_ms : 0);
  conn->socket = open_socket(host, port, conn->errmsg, sizeof conn->errmsg, timed, deadline);
  if (conn->socket < 0) {
    if (timed && Clock::now() >= deadline)
      snprintf(conn->errmsg, sizeof conn->errmsg,
               "(KORVAL) No answer from the server within %g s\n", timeout_ms / 1000.0);
    return conn;
  }
  conn->status = DB_CONNECTION_OK;
  if (timed) set_io_limit(conn->socket, ms_left(deadline));
  DBquery_init();
  DBquery_addcmd(create ? CMD_CREATE_DATABASE : CMD_OPEN_DATABASE);
  DBquery_addtokname(TOK_NAME, conn->dbname);
  int r = request_with_answer(conn, "(DBconnect) Result error message missing\n");
  if (r == -1 && timed && Clock::now() >= deadline)
    snprintf(conn->errmsg, sizeof conn->errmsg, "(KORVAL) No answer from the server within %g s\n",
             timeout_ms / 1000.0);
  if (r != 1) {
    conn->status = DB_CONNECTION_FAILED;
    close_socket(conn);
  } else if (timed) {
    set_io_limit(conn->socket, 0);
  }
  return conn;
}

}  // namespace

DBconn *DBconnect(const char *host, const char *port, int reserved, int create, char *dbname) {
  (void)reserved;
  return connect_db(host, port, create, dbname, 0);
}

DBconn *DBsetdb(const char *host, const char *port, int reserved, char *dbname) {
  return DBconnect(host, port, reserved, 0, dbname);
}

DBconn *DBsetdb_timeout(const char *host, const char *port, char *dbname, int timeout_ms) {
  return connect_db(host, port, 0, dbname, timeout_ms);
}

DBconn *DBcreatedb(const char *host, const char *port, int reserved, char *dbname) {
  return DBconnect(host, port, reserved, 1, dbname);
}

int DBport(const char *port) {
  if (struct servent *serv = getservbyname("KORVAL", "tcp"))
    return ntohs(static_cast<uint16_t>(serv->s_port));
  int portnum = DB_DEFAULT_PORT;
  if (port && (sscanf(port, "%d", &portnum) != 1 || static_cast<unsigned>(portnum) > 65535))
    return -1;
  return portnum;
}

int DBstatus(const DBconn *conn) { return conn ? conn->status : DB_CONNECTION_BROKEN; }

char *DBend_line(char *buf, size_t size) {
  size_t n = strlen(buf);
  if (n == 0 || buf[n - 1] != '\n') {
    if (n + 1 >= size) n = size - 2;
    buf[n] = '\n';
    buf[n + 1] = 0;
  }
  return buf;
}

const char *DBerrorMessage(DBconn *conn) {
  if (!conn) return "(KORVAL) No connection\n";
  return DBend_line(conn->errmsg, sizeof conn->errmsg);
}

int DBfinish(DBconn *conn) {
  if (!conn) return 1;
  conn->errmsg[0] = 0;
  send_disconnect(conn);
  close_socket(conn);
  return 1;
}

int DBdisconnect(DBconn *conn) { return DBfinish(conn); }

int DBdropdb(DBconn *conn) {
  DBquery_init();
  DBquery_addcmd(CMD_DROP_DATABASE);
  DBquery_addtokname(TOK_NAME, conn->dbname ? conn->dbname : "");
  int r = request_with_answer(conn, "(DBdropdb) Result error message missing\n");
  if (r == 1) {
    DBfinish(conn);
    return 1;
  }
  if (r == 0) conn->status = DB_CONNECTION_FAILED;
  return 0;
}

int DBreset(DBconn *conn) {
  send_disconnect(conn);
  DBquery_init();
  DBquery_addcmd(CMD_OPEN_DATABASE);
  DBquery_addtokname(TOK_NAME, conn->dbname ? conn->dbname : "");
  int r = request_with_answer(conn, "(DBreset) Result error message missing\n");
  if (r == 1) {
    conn->status = DB_CONNECTION_OK;
    conn->errmsg[0] = 0;
    return 1;
  }
  if (r == 0) conn->status = DB_CONNECTION_FAILED;
  return 0;
}

int DBstopdb(const char *host, const char *port) {
  char err[DB_ERRMSG_SIZE];
  int s = open_socket(host, port, err, sizeof err);
  if (s < 0) {
    Log_Msg("%s", err);
    return 0;
  }
  char code = static_cast<char>(CMD_STOP_SERVER);
  wire_send_message(s, &code, 1);
  close(s);
  return 1;
}

void DBfreeconn(DBconn *conn) {
  if (!conn) return;
  close_socket(conn);
  xfree(conn->dbname);
  delete conn;
}

int DBsend(DBconn *conn) {
  if (query_size <= 0 || !DBsend_data(conn, query_data, query_size)) {
    Log_Msg(SEND_FAILED);
    conn->status = DB_CONNECTION_BROKEN;
    return 0;
  }
  return 1;
}

int DBrecv(DBconn *conn, char *buffer, int size, int *length, char **big, int *bigsize) {
  if (!DBrecv_data(conn, buffer, size, length, big, bigsize)) {
    Log_Msg(RECV_FAILED);
    conn->status = DB_CONNECTION_BROKEN;
    return 0;
  }
  return 1;
}

int DBsend_data(DBconn *conn, const char *data, int length) {
  if (!conn || conn->socket < 0) return 0;
  return wire_send_message(conn->socket, data, length);
}

int DBrecv_data(DBconn *conn, char *buffer, int size, int *length, char **big, int *bigsize) {
  if (!conn || conn->socket < 0) return 0;
  int n = wire_recv(conn->socket, buffer, size, big, bigsize);
  if (n < 0) return 0;
  *length = n;
  return 1;
}
