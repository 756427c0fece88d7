// kvsql: the command-line client of the KORVAL server, for people and
// scripts.  It runs SQL statements given with -c, or read from standard
// input (a statement ends at a ';' outside quotes), through the client
// library and prints rows as tab-separated text under a header line of
// field names.  With --tokens it only translates each statement and prints
// the request bytes as lower-case hex, without connecting.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/msglog.h"
#include "dbclient/connection.h"
#include "dbclient/query.h"
#include "dbclient/result.h"

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
    "0 every statement succeeded, 1 a statement failed, 2 no connection.\n";

// Cuts statements out of a text stream: a statement ends at a ';' outside
// single or double quotes (the ';' is kept).  Feed characters with add();
// a complete statement is handed to the sink.
class Splitter {
public:
    template <class Sink>
    void add(char c, Sink &&sink)
    {
        current_ += c;
        if (quote_) {
            if (c == quote_)
                quote_ = 0;
        } else if (c == '\'' || c == '"') {
            quote_ = c;
        } else if (c == ';') {
            flush(sink);
        }
    }
    // Hands over what is left (a statement without its ';'), if not blank.
    template <class Sink>
    void finish(Sink &&sink)
    {
        flush(sink);
        quote_ = 0;
    }

private:
    template <class Sink>
    void flush(Sink &sink)
    {
        std::string s;
        s.swap(current_);
        size_t first = s.find_first_not_of(" \t\r\n");
        if (first == std::string::npos)
            return;
        size_t last = s.find_last_not_of(" \t\r\n");
        s = s.substr(first, last - first + 1);
        if (s == ";")
            return;
        sink(s);
    }
    std::string current_;
    char quote_ = 0;
};

void print_error(const char *text)
{
    fputs(text, stderr);
    size_t n = strlen(text);
    if (n == 0 || text[n - 1] != '\n')
        fputc('\n', stderr);
}

// --tokens: the request bytes of one statement.  Returns true when it translated.
bool print_tokens(const std::string &stmt)
{
    std::vector<char> err(DB_ERRMSG_SIZE);
    if (!DBtranslate(stmt.c_str(), err.data())) {
        std::string e = err.data();
        while (!e.empty() && e.back() == '\n')
            e.pop_back();
        printf("%s\n", e.c_str());
        return false;
    }
    for (int i = 0; i < query_size; i++)
        printf("%02x", static_cast<unsigned char>(query_data[i]));
    putchar('\n');
    return true;
}

// Runs one statement and prints its outcome.  Returns true on success.
bool run_statement(DBconn *conn, const std::string &stmt)
{
    DBresult *res = DBexec(conn, stmt.c_str());
    if (!res) {
        print_error(DBerrorMessage(conn));
        return false;
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
    default:
        print_error(DBresultErrorMessage(res));
        ok = false;
        break;
    }
    fflush(stdout);
    DBclear(res);
    return ok;
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
    auto sink = [&](const std::string &stmt) {
        bool ok = tokens ? print_tokens(stmt) : run_statement(conn, stmt);
        all_ok = all_ok && ok;
    };
    Splitter splitter;
    if (!commands.empty()) {
        for (const std::string &c : commands) {
            for (char ch : c)
                splitter.add(ch, sink);
            splitter.finish(sink);
        }
    } else {
        int ch;
        while ((ch = getchar()) != EOF)
            splitter.add(static_cast<char>(ch), sink);
        splitter.finish(sink);
    }
    fflush(stdout);
    if (conn) {
        DBfinish(conn);
        DBfreeconn(conn);
    }
    return all_ok ? 0 : 1;
}
