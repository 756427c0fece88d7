// SQL generation of korvald: turns the statement trees of the request
// decoder (decode.h) into SQLite statements.  Every name is a checked
// identifier in double quotes and every value a bound parameter; column
// names are resolved against the tables' columns (through the catalogue
// lookup the caller passes), so an unknown or ambiguous name is an error
// text here, not an SQLite message.  Nothing here touches a database; the
// statement executor (session.cpp) prepares and runs what it builds.
#ifndef SERVER_SQLGEN_H
#define SERVER_SQLGEN_H

#include <functional>
#include <string>
#include <vector>

#include "server/decode.h"
#include "server/types.h"

// Looks up the columns of a table; false when it does not exist.
using KvColumnsFn = std::function<bool(const std::string &table, std::vector<KvColumn> *cols)>;

// One statement under construction.  The builders append to sql and binds
// and return false after setting err (the first error stays).
class SqlGen {
 public:
  explicit SqlGen(KvColumnsFn columns) : columns_(std::move(columns)) {}

  std::string sql;             // the statement so far
  std::vector<KvBound> binds;  // its parameters, in the order of their '?'
  std::string err;

  // Appends the SELECT; with fields (may be null), the description of every
  // result column.
  bool select(const KvSelect &sel, std::vector<KvField> *fields) {
    return select(sel, nullptr, fields);
  }
  // Appends " WHERE " and the condition e on the one table with the given
  // columns (UPDATE, DELETE).
  bool where_on(const std::string &table, const std::vector<KvColumn> &cols, const KvExpr &e);
  // Appends a parameter for the value b.
  void bind(const KvBound &b);

 private:
  struct Scope;
  bool fail(const std::string &text);
  bool select(const KvSelect &sel, const Scope *outer, std::vector<KvField> *fields);
  bool expr(const KvExpr &e, const Scope *scope);
  bool resolve(const Scope *scope, const std::string &qual, const std::string &name,
               const KvColumn **found);
  const KvColumn *column_of(const KvExpr &e, const Scope *scope);
  bool operand(const KvExpr &e, const Scope *scope, const KvColumn *col, bool like);
  void column_sql(const std::string &qual, const std::string &name);

  KvColumnsFn columns_;
};

#endif
