// kvsql's import of CSV and tab-separated files into a table (\import and
// --import): RecordReader cuts the file into records (RFC 4180 quoting for
// CSV; the escapes \t, \n, \r, \\ of kvsql's own tab-separated output for
// TSV), header_columns recognises a first line of column names, and
// build_insert writes one row's INSERT request into the query buffer.
// run_import does the whole import on a connection: it reads the table's
// columns (SHOW TABLE), sends every row in one transaction without waiting
// for each answer (a bounded number of requests stays in flight), and on
// the first error rolls it all back and names the line of the file.  Sits
// on the client library; the parsing parts need no server.
#ifndef TOOLS_KVSQL_IMPORT_H
#define TOOLS_KVSQL_IMPORT_H

#include <cstddef>
#include <string>
#include <vector>

#include "dbclient/connection.h"
#include "tools/kvsql_encoding.h"

enum class ImportFormat { AUTO, CSV, TSV };
enum class ImportHeader { AUTO, YES, NO };

// One record of the file and the line, counted from 1, on which it begins.
struct ImportRecord {
  std::vector<std::string> fields;
  int line = 0;
};

// Cuts a file arriving in pieces into records.  Empty lines are passed
// over; a CR before a line feed is dropped.
class RecordReader {
 public:
  explicit RecordReader(bool csv) : csv_(csv) {}
  // Appends n bytes; complete records are appended to out.  false on a
  // malformed record: *error says why and *line where.
  bool feed(const char *data, size_t n, std::vector<ImportRecord> *out, std::string *error,
            int *line);
  // The end of the file: the last record needs no line feed.  false for a
  // quoted field that is never closed.
  bool finish(std::vector<ImportRecord> *out, std::string *error, int *line);

 private:
  bool parse(bool at_end, std::vector<ImportRecord> *out, std::string *error, int *line);
  bool csv_;
  std::string buf_;
  int line_ = 1;  // line of buf_[0]
};

// CSV for a name ending in ".csv", TSV for ".tsv", ".tab" and ".txt";
// otherwise TSV when the first line (start of the file) holds a tab.
bool import_is_csv(const std::string &path, const std::string &start);

// A column of the table: its name and type token (TOK_CHARACTER, ...).
struct ImportColumn {
  std::string name;
  int type;
};

// Whether record names columns of the table: every field is a column name
// (any case), none twice.  Then order gets the column index of each field.
bool header_columns(const ImportRecord &record, const std::vector<ImportColumn> &columns,
                    std::vector<int> *order);

// Writes into the emptied query buffer the INSERT of one row into table:
// values[i] (Latin-1) for the column columns[order[i]], as a string
// literal, which the server converts to the column's type.  An empty value
// of a column that is not CHARACTER is left out (the column gets its
// absent value); a BINARY value written "0x" and hex digits is those bytes.
// Returns "" or the reason the row cannot be sent ("field 3 holds a zero
// byte ...").
std::string build_insert(const std::string &table, const std::vector<ImportColumn> &columns,
                         const std::vector<int> &order, const std::vector<std::string> &values);

struct ImportJob {
  std::string path;   // the file
  std::string table;  // an identifier (checked)
  ImportFormat format = ImportFormat::AUTO;
  ImportHeader header = ImportHeader::AUTO;
};

struct ImportOutcome {
  enum Status { DONE, FAILED, LOST };
  Status status = FAILED;
  long rows = 0;        // rows imported (DONE)
  bool header = false;  // the first line was taken as column names
  int line = 0;         // the line of the file an error belongs to; 0 for none
  std::string error;    // the reason, in the terminal's character set
};

// Imports job on conn, which must be open and not inside a transaction.
// Values are converted from the terminal's set by recoder.  DONE: all rows
// are committed.  FAILED: nothing of the file is in the table (the
// transaction was aborted, or never begun).  LOST: the connection broke
// (its status is DB_CONNECTION_BROKEN); the server rolls back.
ImportOutcome run_import(DBconn *conn, const ImportJob &job, Recoder *recoder);

#endif
