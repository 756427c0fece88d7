// decode_bench: how fast the client library receives and decodes a large
// reply and gives every value as display text, and how much memory that
// takes.  A child process plays the server and sends one reply of 100,000
// rows x 6 columns (CHARACTER(30), INTEGER, FLOAT, DATE, TIMESTAMP,
// CHARACTER(60)); the parent receives it with DBbinexec over a socket pair and
// reads every value with DBgetvalue.  Prints figures; not a test.
// Targets: at least 5 million values per second, peak memory at most 3x the
// reply size.
#include <malloc.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/dates.h"
#include "dbclient/connection.h"
#include "proto/query.h"
#include "dbclient/result.h"
#include "proto/wire.h"

namespace {

const int ROWS = 100000;
const int COLS = 6;

struct Builder {
  std::vector<char> b;
  void raw(const void *p, size_t n) {
    const char *q = static_cast<const char *>(p);
    b.insert(b.end(), q, q + n);
  }
  void i16(int16_t v) { raw(&v, 2); }
  void i32(int32_t v) { raw(&v, 4); }
  void field(const char *name, char type, int32_t size) {
    i16(static_cast<int16_t>(strlen(name) + 1));
    raw(name, strlen(name) + 1);
    b.push_back(type);
    i32(size);
  }
  void value(const void *p, int n) {
    i16(static_cast<int16_t>(n));
    raw(p, n);
  }
  void text(const std::string &s) { value(s.c_str(), static_cast<int>(s.size()) + 1); }
};

std::vector<char> build_reply() {
  Builder r;
  r.b.reserve(static_cast<size_t>(ROWS) * 130);
  r.b.push_back('2');
  r.i32(COLS);
  r.i32(ROWS);
  r.field("NAME", '0', 30);
  r.field("NUMMER", '2', 4);
  r.field("BETRAG", '3', 8);
  r.field("DATUM", '4', 4);
  r.field("GEAENDERT", '6', 12);
  r.field("BEMERKUNG", '0', 60);
  char buf[128];
  for (int i = 0; i < ROWS; i++) {
    snprintf(buf, sizeof buf, "Kunde %06d Musterstadt", i);
    r.text(buf);
    int32_t n = i * 7 - 350000;
    r.value(&n, 4);
    double d = i * 1.25 + 0.01 * (i % 97);
    r.value(&d, 8);
    DATE date = {static_cast<int16_t>(1990 + i % 30), static_cast<uint8_t>(1 + i % 12),
                 static_cast<uint8_t>(1 + i % 28)};
    r.value(&date, 4);
    DATI ts = {static_cast<int16_t>(2000 + i % 25),
               static_cast<uint8_t>(1 + i % 12),
               static_cast<uint8_t>(1 + i % 28),
               static_cast<uint8_t>(i % 24),
               static_cast<uint8_t>(i % 60),
               static_cast<uint8_t>((i / 60) % 60),
               0,
               i % 1000000};
    r.value(&ts, 12);
    snprintf(buf, sizeof buf, "Bemerkung zu Zeile %d: Lieferung wie vereinbart", i);
    r.text(buf);
  }
  return r.b;
}

long rss_kib() {
  FILE *f = fopen("/proc/self/statm", "r");
  long pages = 0, resident = 0;
  if (f) {
    if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long peak_rss_kib() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

double seconds_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

long minor_faults() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_minflt;
}

// Reads every value of res once as display text.  Returns the number of
// characters, which the figures print so that no read can be left out.
size_t read_every_value(DBresult *res) {
  size_t chars = 0;
  for (int r = 0; r < ROWS; r++)
    for (int f = 0; f < COLS; f++) chars += strlen(DBgetvalue(res, r, f));
  return chars;
}

// Decode alone: in a fresh process (so that the value store meets memory
// as cold as in a real client), decode a reply already in memory and read
// every value.  Prints its figures.
void decode_only() {
  pid_t child = fork();
  if (child != 0) {
    waitpid(child, nullptr, 0);
    return;
  }
  // Keep freed memory in the heap so that the second round reuses it.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
  std::vector<char> reply = build_reply();
  double values = static_cast<double>(ROWS) * COLS;
  for (int round = 0; round < 2; round++) {
    long faults = minor_faults();
    auto t0 = std::chrono::steady_clock::now();
    DBresult *res = new DBresult;
    RESDATA_Empty(&res->data);
    DBprocess_reply(res, reply.data(), static_cast<int>(reply.size()));
    double t_decode = seconds_since(t0);
    auto t1 = std::chrono::steady_clock::now();
    size_t chars = read_every_value(res);
    double t_values = seconds_since(t1);
    faults = minor_faults() - faults;
    printf("%s: decode %.1f ms, DBgetvalue %.1f ms (%zu characters), %ld page faults\n",
           round ? "memory reused" : "fresh memory ", t_decode * 1000, t_values * 1000, chars,
           faults);
    printf("  values per second (decode + first DBgetvalue pass): %.2f million (target >= 5)\n",
           values / (t_decode + t_values) / 1e6);
    DBclear(res);
  }
  fflush(stdout);
  _exit(0);
}

}  // namespace

int main() {
  printf("-- decode of a reply in memory, fresh process\n");
  fflush(stdout);
  decode_only();
  printf("-- receive over a socket from a server process, decode, read\n");
  fflush(stdout);
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0) {
    perror("socketpair");
    return 1;
  }
  pid_t child = fork();
  if (child == 0) {
    close(sv[0]);
    std::vector<char> reply = build_reply();
    int32_t size = static_cast<int32_t>(reply.size());
    if (write(sv[1], &size, 4) != 4) _exit(1);
    std::vector<char> request;
    if (wire_recv_message(sv[1], request) != WIRE_OK) _exit(1);
    wire_send_message(sv[1], reply.data(), size);
    _exit(0);
  }
  close(sv[1]);
  int32_t reply_size = 0;
  if (read(sv[0], &reply_size, 4) != 4) {
    fprintf(stderr, "no reply size from the child\n");
    return 1;
  }
  DBconn conn{};
  conn.status = DB_CONNECTION_OK;
  conn.socket = sv[0];
  DBquery_init();
  DBquery_addcmd(CMD_SELECT);
  DBquery_addtoken(TOK_END);
  long base = rss_kib();
  long faults = minor_faults();

  auto t0 = std::chrono::steady_clock::now();
  DBresult *res = DBbinexec(&conn);
  double t_decode = seconds_since(t0);
  if (!res || DBresultStatus(res) != DB_TUPLES_OK || DBntuples(res) != ROWS) {
    fprintf(stderr, "unexpected result: %s", res ? DBresultErrorMessage(res) : "none\n");
    return 1;
  }
  auto t1 = std::chrono::steady_clock::now();
  size_t chars = read_every_value(res);
  double t_values = seconds_since(t1);
  // A second pass hits the text cache.
  auto t2 = std::chrono::steady_clock::now();
  for (int r = 0; r < ROWS; r++)
    for (int f = 0; f < COLS; f++) chars += DBgetvalue(res, r, f)[0] != 0;
  double t_cached = seconds_since(t2);
  long peak = peak_rss_kib();
  faults = minor_faults() - faults;
  DBclear(res);
  close(sv[0]);
  waitpid(child, nullptr, 0);

  double values = static_cast<double>(ROWS) * COLS;
  double reply_kib = reply_size / 1024.0;
  printf("receive + decode:        %8.1f ms\n", t_decode * 1000);
  printf("DBgetvalue, first pass:  %8.1f ms  (%zu characters)\n", t_values * 1000, chars);
  printf("DBgetvalue, cached pass: %8.1f ms\n", t_cached * 1000);
  printf("values per second (receive + decode + first pass): %.2f million; %ld page faults\n",
         values / (t_decode + t_values) / 1e6, faults);
  printf("reply: %d rows x %d columns, %.1f MiB\n", ROWS, COLS, reply_kib / 1024);
  printf("peak memory above start: %.1f MiB = %.2f x reply size (target <= 3)\n",
         (peak - base) / 1024.0, (peak - base) / reply_kib);
  return 0;
}
