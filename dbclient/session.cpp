// The session layer: one database session per process, transaction nesting
// with reconnection, statement execution with error classes and messages.
#include "dbclient/session.h"

#include <string>
#include <vector>

#include "base/msglog.h"

int32_t ibegin = 0;

namespace {

std::string _dbname;           // name given to the last dbopen
DBHANDLE **_dbconn = nullptr;  // where the last dbopen stored its handle
std::string port_text;         // dbsetport; empty for the default port

// The database part of a session name: "prefix/db" -> "db", "prefix/" -> "",
// anything else unchanged.
std::string database_part(const std::string &name) {
  size_t slash = name.find('/');
  if (slash == std::string::npos || slash == 0) return name;
  static const char space[] = " \t\n\v\f\r";
  size_t start = name.find_first_not_of(space, slash + 1);
  if (start == std::string::npos) return slash + 1 == name.size() ? std::string() : name;
  size_t end = name.find_first_of(space, start);
  return name.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Runs text (or, when text is null, the query buffer) and classifies the
// outcome with the messages of the calling operation.
struct Messages {
  const char *failed;    // no reply; one %s (or two with the word first)
  const char *bad;       // status 3
  const char *fatal;     // status 5
  const char *nonfatal;  // status 4
};

int run(DBHANDLE *handle, const char *text, const char *word, const Messages &m, DBRES *result,
        int *status) {
  result->kind = handle->kind;
  result->res = nullptr;
  if (handle->kind != DBKIND_SQL) return 1;
  result->res = text ? DBexec(handle->conn, text) : DBbinexec(handle->conn);
  if (!result->res) {
    if (status) *status = MYDB_FATAL_ERROR;
    if (word)
      Log_Msg(m.failed, word, DBerrorMessage(handle->conn));
    else
      Log_Msg(m.failed, DBerrorMessage(handle->conn));
    return 0;
  }
  int s = dbresultstatus(result);
  if (status) *status = s;
  const char *msg = s == MYDB_BAD_RESPONSE     ? m.bad
                    : s == MYDB_FATAL_ERROR    ? m.fatal
                    : s == MYDB_NONFATAL_ERROR ? m.nonfatal
                                               : nullptr;
  if (!msg) return 1;
  if (word)
    Log_Msg(msg, word);
  else
    Log_Msg(msg);
  Log_Msg("Error: %s", DBresultErrorMessage(result->res));
  return s == MYDB_NONFATAL_ERROR ? 1 : 0;
}

}  // namespace

int dbopen(DBHANDLE **where, const char *name) {
  int result = 1;
  DBHANDLE *handle = new DBHANDLE;
  handle->kind = DBKIND_SQL;
  handle->conn = nullptr;
  *where = handle;
  std::string full = name ? name : "";
  std::string db = database_part(full);
  std::vector<char> dbbuf(db.begin(), db.end());
  dbbuf.push_back(0);
  handle->conn = DBsetdb(nullptr, port_text.empty() ? nullptr : port_text.c_str(), 0, dbbuf.data());
  if (DBstatus(handle->conn) == DB_CONNECTION_FAILED) {
    if (db.empty())
      Log_Msg("Connection to KORVAL-database failed:\n");
    else
      Log_Msg("Connection to KORVAL-database '%s' failed:\n", dbbuf.data());
    Log_Msg("  %s", DBerrorMessage(handle->conn));
    result = 0;
  }
  _dbname = full;
  _dbconn = where;
  return result;
}

void dbsetport(const char *port) { port_text = port ? port : ""; }

void dbclose(DBHANDLE *handle) {
  if (!handle) return;
  if (handle->kind == DBKIND_SQL && handle->conn) {
    DBfinish(handle->conn);
    DBfreeconn(handle->conn);
  }
  delete handle;
}

int dbbegin(DBHANDLE *handle) {
  int32_t depth = ibegin++;
  if (depth != 0 || handle->kind != DBKIND_SQL) return 1;
  DBconn *last = handle->conn;
  DBresult *res = DBexec(handle->conn, "BEGIN");
  if (!res && _dbconn) {
    // The connection is gone: open the session again and retry once.
    // The old handle stays allocated (the caller may still hold it), but
    // its dead socket is closed.
    DBfinish(handle->conn);
    if (dbopen(_dbconn, _dbname.c_str())) {
      last = (*_dbconn)->conn;
      res = DBexec(last, "BEGIN");
    } else {
      last = (*_dbconn)->conn;
    }
  }
  if (!res) {
    Log_Msg("BEGIN command failed:\n  %s", DBerrorMessage(last));
    Log_Msg("Error: %s", DBresultErrorMessage(nullptr));
    ibegin = depth;
    return 0;
  }
  if (DBresultStatus(res) != DB_COMMAND_OK) {
    Log_Msg("BEGIN command failed.\n");
    Log_Msg("Error: %s", DBresultErrorMessage(res));
    DBclear(res);
    ibegin = depth;
    return 0;
  }
  DBclear(res);
  return 1;
}

int dbend(DBHANDLE *handle) {
  int result = 1;
  int32_t depth = ibegin--;
  if (depth == 1 && handle->kind == DBKIND_SQL) {
    DBresult *res = DBexec(handle->conn, "END");
    if (!res) {
      Log_Msg("END command failed:\n  %s", DBerrorMessage(handle->conn));
      Log_Msg("Error: %s", DBresultErrorMessage(nullptr));
      result = 0;
    } else {
      DBclear(res);
    }
  }
  if (ibegin < 0) {
    Log_Msg("BEGIN-stack underflow (too many dbends).\n");
    ibegin = 0;
  }
  return result;
}

int dbexec1(DBHANDLE *handle, const char *statement, DBRES *result, int *status) {
  static const Messages m = {"dbexec1 command failed:\n  %s", "BAD RESPONSE to dbexec1 command.\n",
                             "FATAL ERROR occured in dbexec1 command.\n",
                             "NONFATAL ERROR occured in dbexec1 command.\n"};
  std::string text = statement ? statement : "";
  return run(handle, text.c_str(), nullptr, m, result, status);
}

int dbexec(DBHANDLE *handle, const char *command, const char *args, DBRES *result, int *status) {
  static const Messages m = {
      "(dbexec) '%s' command failed:\n  %s", "BAD RESPONSE to '%s' command.\n",
      "FATAL ERROR occured in '%s' command.\n", "NONFATAL ERROR occured in '%s' command.\n"};
  std::string word = command ? command : "";
  std::string text = word + " " + (args ? args : "");
  return run(handle, text.c_str(), word.c_str(), m, result, status);
}

int dbbinexec1(DBHANDLE *handle, DBRES *result, int *status) {
  static const Messages m = {"dbbinexec1 command failed:\n  %s",
                             "BAD RESPONSE to dbbinexec1 command.\n",
                             "FATAL ERROR occured in dbbinexec1 command.\n",
                             "NONFATAL ERROR occured in dbbinexec1 command.\n"};
  return run(handle, nullptr, nullptr, m, result, status);
}

int dbresultstatus(const DBRES *result) {
  if (result->kind != DBKIND_SQL) return MYDB_BAD_RESPONSE;
  int s = DBresultStatus(result->res);
  switch (s) {
    case 0: return 0;
    case DB_COMMAND_OK: return MYDB_COMMAND_OK;
    case DB_TUPLES_OK: return MYDB_TUPLES_OK;
    case DB_SYNTAX_ERROR: return MYDB_NONFATAL_ERROR;
    case 6: return MYDB_FATAL_ERROR;
    default: return MYDB_BAD_RESPONSE;
  }
}

void dbresfree(DBRES *result) {
  if (result->kind == DBKIND_SQL) DBclear(result->res);
  result->res = nullptr;
}

int dbnfields(const DBRES *result) {
  return result->kind == DBKIND_SQL ? DBnfields(result->res) : -1;
}

int dbntuples(const DBRES *result) {
  return result->kind == DBKIND_SQL ? DBntuples(result->res) : -1;
}

const char *dbfname(const DBRES *result, int field) {
  return result->kind == DBKIND_SQL ? DBfname(result->res, field) : nullptr;
}

const char *dbgetvalue(DBRES *result, int row, int field) {
  return result->kind == DBKIND_SQL ? DBgetvalue(result->res, row, field) : nullptr;
}
