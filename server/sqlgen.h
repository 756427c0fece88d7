// SQL generation of korvald: turns the statement trees of the request
// decoder (decode.h) into the SQL of a storage backend.  Every name is a
// checked identifier in double quotes and every value a bound parameter;
// column names are resolved against the tables' columns (through the
// catalogue lookup the caller passes), so an unknown or ambiguous name is an
// error text here, not a database's message.  The SQL is SQLite's; a
// dialect (KvDialect) gives the rewritings by which PostgreSQL answers the
// same statements with the same rows.  Nothing here touches a database;
// the session (session.cpp) hands what it builds to its store (store.h).
#ifndef SERVER_SQLGEN_H
#define SERVER_SQLGEN_H

#include <functional>
#include <string>
#include <vector>

#include "server/decode.h"
#include "server/types.h"

// How a backend's SQL differs from SQLite's.  The default is SQLite.
struct KvDialect {
  // Parameters are numbered ($1, $2, ...) instead of '?'.
  bool numbered_params = false;
  // Strict types (PostgreSQL): values of different types do not compare
  // and aggregates do not mix with plain columns, so SQLite's readings are
  // spelled out: LIKE on a number, date or time compares its text as
  // SQLite stores it; values of different kinds compare by SQLite's
  // affinities (a text that spells a number compares as that number with
  // a numeric column, else numbers < texts < binaries); texts compare and
  // sort in byte order; NULL sorts first; a plain column beside COUNT,
  // MIN or MAX takes its value from the row of the one MIN or MAX (else
  // from any row); a subselect compared with a value gives its first row;
  // a column or value alone is a condition by its number.  Strict SQL
  // always numbers its parameters (a value may be used twice).
  bool strict = false;
  // Stored dates exist in the Gregorian calendar: a value compared with a
  // date that is not in it (29 February 1900) compares as its text.
  bool gregorian = false;
};

// Looks up the columns of a table.  *stored is set to the table's name as
// the storage spells it when that differs from table (a table another
// client made in lower case), else left empty; the columns carry their
// names as stored.  False when the table does not exist or cannot be
// used; *stored may then hold the reason.
using KvColumnsFn =
    std::function<bool(const std::string &table, std::vector<KvColumn> *cols, std::string *stored)>;

// A table in SQL: its name as stored (stored, or name when that is empty)
// under alias, or under name when stored is another spelling of it, so that
// qualifiers keep working.
std::string kv_table_sql(const std::string &name, const std::string &stored,
                         const std::string &alias = "");

// One statement under construction.  The builders append to sql and binds
// and return false after setting err (the first error stays).
class SqlGen {
 public:
  explicit SqlGen(KvColumnsFn columns, const KvDialect &dialect = KvDialect())
      : columns_(std::move(columns)), dialect_(dialect) {
    if (dialect_.strict) dialect_.numbered_params = true;
  }

  std::string sql;             // the statement so far
  std::vector<KvBound> binds;  // its parameters: the n-th is '?' number n or $n
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
  // An operand of the strict dialect as SQLite sees it (sqlgen.cpp).
  struct Val;

  // Appends the INSERT of values into the given columns of table.
  void insert(const std::string &table, const std::vector<const KvColumn *> &cols,
              const std::vector<KvBound> &values);

 private:
  struct Scope;
  bool fail(const std::string &text);
  bool select(const KvSelect &sel, const Scope *outer, std::vector<KvField> *fields);
  bool expr(const KvExpr &e, const Scope *scope);
  bool resolve(const Scope *scope, const std::string &qual, const std::string &name,
               const KvColumn **found);
  const KvColumn *column_of(const KvExpr &e, const Scope *scope);
  bool operand(const KvExpr &e, const Scope *scope, const KvColumn *col, bool like);
  std::string param(const KvBound &b);
  // The strict dialect's forms (see KvDialect), each returned as SQL.
  bool cond(const KvExpr &e, const Scope *scope, std::string *out);
  bool value(const KvExpr &e, const Scope *scope, const KvColumn *other, Val *v);
  bool subvalue(const KvSelect &sub, const Scope *scope, bool first, Val *v);
  std::string emit(const Val &v);
  std::string text_of(const Val &v);
  std::string compare(const Val &l, int op, const Val &r);
  std::string like(const Val &l, const Val &r);
  bool select_items(const KvSelect &sel, const Scope &scope, std::vector<std::string> *items,
                    std::vector<KvField> *fields);
  std::string from_list(const KvSelect &sel, const Scope &scope);
  bool select_strict(const KvSelect &sel, Scope &scope, const std::vector<std::string> &items);

  KvColumnsFn columns_;
  KvDialect dialect_;
};

#endif
