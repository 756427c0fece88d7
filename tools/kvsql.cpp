// kvsql: the command-line client of the KORVAL server, for people and
// scripts.  It runs SQL statements given with -c, or read from standard
// input (cut where the translator ends a statement: SqlSplitter), through
// the client library and prints rows as tab-separated text under a header
// line of field names.  With --tokens it only translates each statement and prints
// the request bytes as lower-case hex, without connecting.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/msglog.h"
#include "dbclient/connection.h"
#include "proto/query.h"
#include "dbclient/result.h"
#include "dbclient/scanner.h"

namespace {

const char VERSION[] = "kvsql 1.0";

const char USAGE[] =
    "usage: kvsql [-dbNAME] [-p PORT] [-c SQL]... [--tokens]\n"
    "  -dbNAME    database to open (default KVSYS)\n"
    "  -p PORT    server port (default 12453, or the services entry KORVAL/tcp)\n"
    "  -c SQL     run SQL (may be given more than once; may hold several statements);\n"
    "             without -c the statements are read from standard input\n"
    "  --tokens   print the request bytes of each statement as hex, do not connect\n"
    "  -h, --help this text;  --version  the program version\n"
    "Rows are printed tab-separated under a line of field names.  Exit status:\n"
    "0 every statement succeeded, 1 a statement failed, 2 no connection (also\n"
    "when the connection to the server is lost).\n";

void print_error(const char *text)
{
    fputs(text, stderr);
    size_t n = strlen(text);
    if (n == 0 || text[n - 1] != '\n')
        fputc('\n', stderr);
}

// Names a statement the translator could not read: its line and its start.
void name_statement(const SqlStatement &stmt)
{
    std::string t;
    for (char c : stmt.text) {
        if (t.size() >= 60) {
            t += "...";
            break;
        }
        if (c == '\n' || c == '\t' || c == '\r')
            c = ' ';
        else if (static_cast<unsigned char>(c) < 0x20)
            c = '?';
        t += c;
    }
    fprintf(stderr, "kvsql: in the statement on line %d: %s\n", stmt.line, t.c_str());
}

// The translator stops at a NUL byte and would send a cut statement.
bool holds_nul(const SqlStatement &stmt)
{
    if (stmt.text.find('\0') == std::string::npos)
        return false;
    fputs("kvsql: the statement holds a NUL byte and is not sent\n", stderr);
    name_statement(stmt);
    return true;
}

// --tokens: the request bytes of one statement.  Returns true when it translated.
bool print_tokens(const SqlStatement &stmt)
{
    if (holds_nul(stmt))
        return false;
    std::vector<char> err(DB_ERRMSG_SIZE);
    if (!DBtranslate(stmt.text.c_str(), err.data())) {
        std::string e = err.data();
        while (!e.empty() && e.back() == '\n')
            e.pop_back();
        printf("%s\n", e.c_str());
        name_statement(stmt);
        return false;
    }
    for (int i = 0; i < query_size; i++)
        printf("%02x", static_cast<unsigned char>(query_data[i]));
    putchar('\n');
    return true;
}

// Diagnostics the client library logs while a statement runs; they are
// shown after it, unless the connection was lost, which gets one line of
// kvsql's own instead.
struct HeldLog {
    std::string text;
    static void sink(const char *msg, void *ctx) { static_cast<HeldLog *>(ctx)->text += msg; }
};

enum Outcome { DONE, FAILED, LOST };

// Runs one statement and prints its outcome; port is the -p argument (null
// for the default), to name the server when the connection is lost.
Outcome run_statement(DBconn *conn, const SqlStatement &stmt, const char *port)
{
    if (holds_nul(stmt))
        return FAILED;
    HeldLog held;
    Set_Msglog_Sink(HeldLog::sink, &held);
    DBresult *res = DBexec(conn, stmt.text.c_str());
    Set_Msglog_Sink(nullptr, nullptr);
    if (DBstatus(conn) == DB_CONNECTION_BROKEN) {
        fprintf(stderr, "kvsql: lost the connection to the server at 127.0.0.1 port %d\n",
                DBport(port));
        if (res)
            DBclear(res);
        return LOST;
    }
    fputs(held.text.c_str(), stderr);
    if (!res) {
        print_error(DBerrorMessage(conn));
        return FAILED;
    }
    bool ok = true;
    switch (DBresultStatus(res)) {
    case DB_TUPLES_OK:
    case DB_NOT_ALL_DATA: {
        int nf = DBnfields(res), nt = DBntuples(res);
        for (int f = 0; f < nf; f++) {
            const char *name = DBfname(res, f);
            printf("%s%s", f ? "\t" : "", name ? name : "");
        }
        if (nf > 0)
            putchar('\n');
        for (int r = 0; r < nt; r++) {
            for (int f = 0; f < nf; f++)
                printf("%s%s", f ? "\t" : "", DBgetvalue(res, r, f));
            putchar('\n');
        }
        if (DBresultStatus(res) == DB_NOT_ALL_DATA)
            fprintf(stderr, "(not all rows were sent)\n");
        break;
    }
    case DB_COMMAND_OK:
        if (res->has_count)
            printf("%d\n", DBntuples(res));
        break;
    case DB_SYNTAX_ERROR:
        print_error(DBresultErrorMessage(res));
        name_statement(stmt);
        ok = false;
        break;
    default:
        print_error(DBresultErrorMessage(res));
        ok = false;
        break;
    }
    fflush(stdout);
    DBclear(res);
    return ok ? DONE : FAILED;
}

}  // namespace

int main(int argc, char **argv)
{
    // The same start as the viewer's: character classes (and so the
    // upper-casing of names by the scanner) from the environment, numbers
    // in "C"; no log file.
    Init_Msglog("", 0);
    std::string dbname = "KVSYS";
    const char *port = nullptr;
    std::vector<std::string> commands;
    bool tokens = false;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            fputs(USAGE, stdout);
            return 0;
        }
        if (a == "--version") {
            printf("%s\n", VERSION);
            return 0;
        }
        if (a == "--tokens") {
            tokens = true;
        } else if (a.compare(0, 3, "-db") == 0) {
            if (a.size() > 3) {
                dbname = a.substr(3);
            } else if (i + 1 < argc) {
                dbname = argv[++i];
            } else {
                fprintf(stderr, "kvsql: -db needs a database name\n%s", USAGE);
                return 1;
            }
        } else if (a.compare(0, 2, "-p") == 0) {
            if (a.size() > 2) {
                port = argv[i] + 2;
            } else if (i + 1 < argc) {
                port = argv[++i];
            } else {
                fprintf(stderr, "kvsql: -p needs a port\n%s", USAGE);
                return 1;
            }
        } else if (a == "-c") {
            if (i + 1 >= argc) {
                fprintf(stderr, "kvsql: -c needs an SQL text\n%s", USAGE);
                return 1;
            }
            commands.push_back(argv[++i]);
        } else {
            fprintf(stderr, "kvsql: unknown argument '%s'\n%s", argv[i], USAGE);
            return 1;
        }
    }

    DBconn *conn = nullptr;
    if (!tokens) {
        std::vector<char> name(dbname.begin(), dbname.end());
        name.push_back(0);
        conn = DBsetdb(nullptr, port, 0, name.data());
        if (DBstatus(conn) != DB_CONNECTION_OK) {
            print_error(DBerrorMessage(conn));
            DBfreeconn(conn);
            return 2;
        }
    }

    bool all_ok = true;
    bool lost = false;
    std::vector<SqlStatement> ready;
    // Runs what the splitter has cut so far; false once the server is gone.
    auto run_ready = [&]() {
        for (const SqlStatement &stmt : ready) {
            if (tokens) {
                all_ok = print_tokens(stmt) && all_ok;
                continue;
            }
            Outcome o = run_statement(conn, stmt, port);
            all_ok = all_ok && o == DONE;
            if (o == LOST) {
                lost = true;
                break;
            }
        }
        ready.clear();
        return !lost;
    };
    SqlSplitter splitter;
    if (!commands.empty()) {
        for (const std::string &c : commands) {
            splitter.feed(c.data(), c.size(), &ready);
            splitter.finish(&ready);
            if (!run_ready())
                break;
        }
    } else {
        // read(), not stdio: a statement runs as soon as its end has arrived,
        // even when the writer waits for its answer before sending more.
        std::vector<char> chunk(1 << 16);
        for (;;) {
            ssize_t n = read(0, chunk.data(), chunk.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (n < 0)
                    fprintf(stderr, "kvsql: reading standard input: %s\n", strerror(errno));
                splitter.finish(&ready);
                run_ready();
                break;
            }
            splitter.feed(chunk.data(), static_cast<size_t>(n), &ready);
            if (!run_ready())
                break;
        }
    }
    fflush(stdout);
    if (conn) {
        if (!lost)
            DBfinish(conn);
        DBfreeconn(conn);
    }
    return lost ? 2 : all_ok ? 0 : 1;
}
