// Request decoder of korvald: turns one request message (command code and
// token stream) into a statement tree.  WHERE expressions arrive in postfix
// order and are rebuilt as trees with a stack; subselects are decoded
// recursively.  Every read is bounds-checked: a cut, overlong or unknown
// stream gives a clear error text, never a crash.  The executor
// (session.cpp) runs the tree; nothing here touches a database.
#ifndef SERVER_DECODE_H
#define SERVER_DECODE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "server/types.h"

struct KvSelect;

// A node of a condition.
struct KvExpr {
  enum Kind {
    COLUMN,       // qual (may be empty) . name
    LITERAL,      // lit
    COMPARE,      // kids[0] op kids[1]; op is the token ('R', 'N', ... 'V')
    COMPARE_SUB,  // kids[0] op (sub)
    AND,          // kids[0], kids[1]
    OR,
    NOT,        // kids[0]
    IN_LIST,    // kids[0] IN (kids[1..])
    IN_SELECT,  // kids[0] IN (sub)
    BETWEEN,    // kids[0] BETWEEN kids[1] AND kids[2]
    EXISTS,     // EXISTS (sub)
    SUBSELECT   // a subselect waiting for its operator (decoder only)
  } kind = COLUMN;
  int op = 0;
  std::string qual, name;
  KvLiteral lit;
  std::vector<std::unique_ptr<KvExpr>> kids;
  std::unique_ptr<KvSelect> sub;
  int depth = 1;  // height of the tree below and including this node
};

struct KvSelItem {
  enum Kind { STAR, COUNT, MIN, MAX, COLUMN } kind = COLUMN;
  std::string qual;  // qualifier of q.n, q.* and MIN(q.n)
  std::string name;
};

struct KvTableRef {
  std::string name;
  std::string alias;  // empty when none
};

struct KvOrderItem {
  std::string qual, name;
  bool desc = false;
};

struct KvSelect {
  bool distinct = false;
  std::vector<KvSelItem> items;
  std::vector<KvTableRef> from;
  std::unique_ptr<KvExpr> where;
  std::vector<KvOrderItem> order;
};

// What SHOW lists.
enum KvShowKind {
  SHOW_DATABASES,
  SHOW_TABLES,
  SHOW_INDICES,
  SHOW_INDICES_ON,
  SHOW_TABLE,
  SHOW_INDEX
};

// One decoded request.  Which members are set depends on cmd (the command
// code of the request, CMD_* of proto/query.h).
struct KvRequest {
  int cmd = 0;
  std::string name;                  // database, table, index or cursor name
  std::string table;                 // CREATE INDEX: the table
  KvSelect select;                   // SELECT, DECLARE
  std::vector<std::string> columns;  // INSERT column list, UPDATE targets, index columns
  std::vector<KvLiteral> values;     // INSERT values, UPDATE values (one per column)
  std::unique_ptr<KvExpr> where;     // UPDATE, DELETE
  std::vector<KvColumn> coldefs;     // CREATE TABLE
  KvShowKind show = SHOW_DATABASES;
  bool fetch_all = false;  // FETCH ALL IN
  bool max_none = false;   // MAX without a number
  int32_t max = 0;
};

// Limits against hostile requests.
constexpr int KV_MAX_EXPR_DEPTH = 200;  // nesting of a condition tree
constexpr int KV_MAX_SUBSELECT_DEPTH = 16;
constexpr int KV_MAX_ELEMENTS = 100000;  // columns, values, tables, condition nodes

// Decodes len bytes at data into *req.  Returns true, or false with a
// message in *err.  Names are checked to be valid identifiers.  The
// request's pointers do not point into data.
bool kv_decode(const char *data, int len, KvRequest *req, std::string *err);

// A short readable form of a request for the --trace log.
std::string kv_describe(const KvRequest &req);

#endif
