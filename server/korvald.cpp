// korvald: the KORVAL database server.  Parses the command line, listens on
// 127.0.0.1, locks and prepares the data directory, and serves clients until
// it is stopped by SIGTERM/SIGINT, a stop request or the STOP statement.
// Exit status 0 after a stop, 2 for a bad command line, 1 when the start
// failed (port taken, data directory locked or unusable); a failed start
// leaves no file or directory behind.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/msglog.h"
#include "server/server.h"

static KvServer *g_server = nullptr;

static void on_signal(int) {
  if (g_server) g_server->stop();
}

static void usage(FILE *out) {
  fprintf(out,
          "usage: korvald [-D DATADIR | --postgres CONNINFO] [-p PORT] [--max-connections N]\n"
          "               [--tx-idle-timeout SECONDS] [--max-reply MIB] [--demo] [--trace]\n"
          "  -D DATADIR  directory of the database files (default ./korval-data);\n"
          "              one korvald at a time may use it\n"
          "  --postgres CONNINFO\n"
          "              keep the data in the PostgreSQL database of this libpq\n"
          "              connection string instead (a KORVAL database is a schema)\n"
          "  -p PORT     TCP port on 127.0.0.1 (default: services entry KORVAL/tcp,\n"
          "              else 12453; 0 picks a free port)\n"
          "  --max-connections N\n"
          "              clients served at once (default 100); further clients\n"
          "              get an error reply\n"
          "  --tx-idle-timeout SECONDS\n"
          "              roll back a transaction whose client sends nothing for\n"
          "              this long (default 300; 0: never)\n"
          "  --max-reply MIB\n"
          "              longest reply in MiB (1 to 256, default 256, the most a\n"
          "              client accepts); a longer result is cut and answered as\n"
          "              not all rows\n"
          "  --demo      fill KVSYS with demo tables when it has none\n"
          "  --trace     log every request and reply\n"
          "  --version   print the version\n"
          "  -h, --help  this text\n"
          "Exit status: 0 after a stop, 1 when the start failed, 2 for a bad\n"
          "command line.\n");
}

// The whole of text as a decimal number from min to max.
static bool parse_number(const std::string &text, long min, long max, int *out) {
  char *end;
  errno = 0;
  long v = strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || errno || v < min || v > max) return false;
  *out = static_cast<int>(v);
  return true;
}

int main(int argc, char **argv) {
  Init_Msglog("", 0);
  KvOptions opt;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    bool numeric =
        a == "-p" || a == "--max-connections" || a == "--tx-idle-timeout" || a == "--max-reply";
    if ((a == "-D" || a == "--postgres" || numeric) && i + 1 >= argc) {
      fprintf(stderr, "korvald: %s needs a value\n", a.c_str());
      usage(stderr);
      return 2;
    }
    if (a == "--postgres") {
      opt.postgres = argv[++i];
      if (opt.postgres.empty()) {
        fprintf(stderr, "korvald: --postgres needs a connection string\n");
        return 2;
      }
    } else if (a == "-D" || numeric) {
      std::string v = argv[++i];
      bool ok = true;
      int mib = 0;
      if (a == "-D") {
        opt.datadir = v;
      } else if (a == "-p") {
        ok = parse_number(v, 0, 65535, &opt.port);
      } else if (a == "--max-connections") {
        ok = parse_number(v, 1, 100000, &opt.max_connections);
      } else if (a == "--max-reply") {
        ok = parse_number(v, 1, 256, &mib);
        opt.max_reply = static_cast<size_t>(mib) << 20;
      } else {
        ok = parse_number(v, 0, 1000000, &opt.idle_tx_timeout);
      }
      if (!ok) {
        fprintf(stderr, "korvald: invalid value for %s: %s\n", a.c_str(), v.c_str());
        return 2;
      }
    } else if (a == "--demo") {
      opt.demo = true;
    } else if (a == "--trace") {
      opt.trace = true;
    } else if (a == "-h" || a == "--help") {
      usage(stdout);
      return 0;
    } else if (a == "--version") {
      printf("korvald 1.0 (SQLite or PostgreSQL storage)\n");
      return 0;
    } else {
      fprintf(stderr, "korvald: unknown option '%s'\n", a.c_str());
      usage(stderr);
      return 2;
    }
  }
  signal(SIGPIPE, SIG_IGN);
  KvServer server(opt);
  std::string err;
  // the port first: a start that fails on it has created nothing
  int port = server.listen_socket(&err);
  if (port < 0 || !server.init(&err)) {
    Log_Msg("(korvald) %s\n", err.c_str());
    return 1;
  }
  g_server = &server;
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  printf("korvald: ready on 127.0.0.1 port %d, data in %s\n", port, server.where().c_str());
  fflush(stdout);
  server.run();
  g_server = nullptr;
  Log_Msg("(korvald) stopped\n");
  return 0;
}
