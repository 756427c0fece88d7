// The field names of a result without rows.  The server describes the
// fields only when rows follow, so kvsql reads them from the request it
// sent, naming them as the server does: a column by its name, MIN(C) and
// MAX(C), COUNT(*), for * the columns of the tables in the FROM list (which
// the caller asks the server for), and the fixed fields of the SHOW
// statements.  Plain reading of the token stream; used by kvsql's session.
#ifndef TOOLS_KVSQL_HEADER_H
#define TOOLS_KVSQL_HEADER_H

#include <functional>
#include <string>
#include <vector>

// The columns of a table, as SHOW TABLE gives them; empty when unknown.
using ColumnsOf = std::function<std::vector<std::string>(const std::string &table)>;

// The field names the request (len bytes, command code first) gives its
// rows.  false when it is no SELECT or SHOW, or cannot be read, or a
// table's columns are unknown.
bool result_names(const char *request, int len, const ColumnsOf &columns_of,
                  std::vector<std::string> *names);

#endif
