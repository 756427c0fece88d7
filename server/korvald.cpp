// korvald: the KORVAL database server.  Parses the command line, prepares
// the data directory, listens on 127.0.0.1 and serves clients until it is
// stopped by SIGTERM/SIGINT, a stop request or the STOP statement.
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
          "usage: korvald [-D DATADIR] [-p PORT] [--demo] [--trace]\n"
          "  -D DATADIR  directory of the database files (default ./korval-data)\n"
          "  -p PORT     TCP port on 127.0.0.1 (default: services entry KORVAL/tcp,\n"
          "              else 12453; 0 picks a free port)\n"
          "  --demo      fill KVSYS with demo tables when it has none\n"
          "  --trace     log every request and reply\n"
          "  --version   print the version\n"
          "  -h, --help  this text\n");
}

int main(int argc, char **argv) {
  Init_Msglog("", 0);
  KvOptions opt;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    if ((a == "-D" || a == "-p") && i + 1 < argc) {
      std::string v = argv[++i];
      if (a == "-D") {
        opt.datadir = v;
      } else {
        char *end;
        long p = strtol(v.c_str(), &end, 10);
        if (v.empty() || *end || p < 0 || p > 65535) {
          fprintf(stderr, "korvald: invalid port %s\n", v.c_str());
          return 2;
        }
        opt.port = static_cast<int>(p);
      }
    } else if (a == "--demo") {
      opt.demo = true;
    } else if (a == "--trace") {
      opt.trace = true;
    } else if (a == "-h" || a == "--help") {
      usage(stdout);
      return 0;
    } else if (a == "--version") {
      printf("korvald 1.0 (SQLite storage)\n");
      return 0;
    } else {
      usage(stderr);
      return 2;
    }
  }
  signal(SIGPIPE, SIG_IGN);
  KvServer server(opt);
  std::string err;
  if (!server.init(&err)) {
    Log_Msg("(korvald) %s\n", err.c_str());
    return 1;
  }
  int port = server.listen_socket(&err);
  if (port < 0) {
    Log_Msg("(korvald) %s\n", err.c_str());
    return 1;
  }
  g_server = &server;
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  printf("korvald: ready on 127.0.0.1 port %d, data in %s\n", port, opt.datadir.c_str());
  fflush(stdout);
  server.run();
  g_server = nullptr;
  Log_Msg("(korvald) stopped\n");
  return 0;
}
