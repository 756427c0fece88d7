// Import of CSV and tab-separated files: record reading, header detection,
// INSERT requests and the pipelined transfer in one transaction.
#include "tools/kvsql_import.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "base/mem.h"
#include "dbclient/result.h"
#include "proto/query.h"
#include "proto/wire.h"

namespace {

enum Parse { COMPLETE, NEED_MORE, BAD };

std::string upper(std::string s) {
  for (char &c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return s;
}

bool ends_with(const std::string &s, const char *tail) {
  size_t n = strlen(tail);
  return s.size() >= n && upper(s.substr(s.size() - n)) == upper(tail);
}

// One CSV record from buf[*p]; *line follows the line feeds read.
Parse csv_record(const std::string &buf, size_t *p, int *line, bool at_end, ImportRecord *rec,
                 std::string *error) {
  const size_t n = buf.size();
  size_t i = *p;
  for (;;) {
    std::string field;
    if (i < n && buf[i] == '"') {
      int opened = *line;
      for (i++;; i++) {
        if (i >= n) {
          if (!at_end) return NEED_MORE;
          *line = opened;
          *error = "the quoted field that begins here is not closed";
          return BAD;
        }
        if (buf[i] == '"') {
          if (i + 1 >= n && !at_end) return NEED_MORE;
          if (i + 1 < n && buf[i + 1] == '"') {
            field += '"';
            i++;
            continue;
          }
          i++;
          break;
        }
        if (buf[i] == '\n') (*line)++;
        field += buf[i];
      }
      rec->fields.push_back(field);
      if (i >= n) {
        if (!at_end) return NEED_MORE;
        break;
      }
      if (buf[i] == ',') {
        i++;
        continue;
      }
      if (buf[i] == '\r' && i + 1 >= n && !at_end) return NEED_MORE;
      if (buf[i] == '\r' && (i + 1 >= n || buf[i + 1] == '\n')) i++;
      if (i >= n) break;
      if (buf[i] == '\n') {
        i++;
        (*line)++;
        break;
      }
      *error =
          "a character follows the closing quote of field " + std::to_string(rec->fields.size());
      return BAD;
    }
    while (i < n && buf[i] != ',' && buf[i] != '\n') field += buf[i++];
    if (i >= n && !at_end) return NEED_MORE;
    if (i < n && buf[i] == ',') {
      rec->fields.push_back(field);
      i++;
      continue;
    }
    if (!field.empty() && field.back() == '\r') field.pop_back();
    rec->fields.push_back(field);
    if (i < n) {
      i++;
      (*line)++;
    }
    break;
  }
  *p = i;
  return COMPLETE;
}

std::string tsv_unescape(const std::string &s, size_t from, size_t to) {
  std::string r;
  for (size_t i = from; i < to; i++) {
    if (s[i] != '\\' || i + 1 >= to) {
      r += s[i];
      continue;
    }
    char c = s[i + 1];
    if (c == 't' || c == 'n' || c == 'r' || c == '\\') {
      r += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : '\\';
      i++;
    } else {
      r += '\\';
    }
  }
  return r;
}

Parse tsv_record(const std::string &buf, size_t *p, int *line, bool at_end, ImportRecord *rec) {
  size_t nl = buf.find('\n', *p);
  if (nl == std::string::npos && !at_end) return NEED_MORE;
  size_t end = nl == std::string::npos ? buf.size() : nl;
  size_t stop = end > *p && buf[end - 1] == '\r' ? end - 1 : end;
  for (size_t f = *p;;) {
    size_t tab = buf.find('\t', f);
    if (tab == std::string::npos || tab > stop) tab = stop;
    rec->fields.push_back(tsv_unescape(buf, f, tab));
    if (tab == stop) break;
    f = tab + 1;
  }
  *p = nl == std::string::npos ? end : nl + 1;
  if (nl != std::string::npos) (*line)++;
  return COMPLETE;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of "0x..." hex text, or false when it is not that form.
bool from_hex(const std::string &v, std::string *bytes) {
  if (v.size() < 2 || v[0] != '0' || (v[1] != 'x' && v[1] != 'X') || v.size() % 2) return false;
  bytes->clear();
  for (size_t i = 2; i < v.size(); i += 2) {
    int hi = hex_digit(v[i]), lo = hex_digit(v[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes->push_back(static_cast<char>(hi * 16 + lo));
  }
  return true;
}

// The server's text of a failed result or connection, in the terminal's
// set and without its line feed.
std::string server_text(const char *latin1, Recoder *recoder) {
  std::string t = recoder->from_latin1(latin1);
  while (!t.empty() && t.back() == '\n') t.pop_back();
  return t;
}

// Runs one statement of the import's own (SHOW TABLE, BEGIN, COMMIT,
// ABORT).  The result when it succeeded, else null with *o set.
DBresult *exec_own(DBconn *conn, const std::string &sql, ImportOutcome *o, Recoder *recoder) {
  DBresult *res = DBexec(conn, sql.c_str());
  if (DBstatus(conn) == DB_CONNECTION_BROKEN) {
    o->status = ImportOutcome::LOST;
    DBclear(res);
    return nullptr;
  }
  int st = DBresultStatus(res);
  if (res && (st == DB_COMMAND_OK || st == DB_TUPLES_OK)) return res;
  o->status = ImportOutcome::FAILED;
  o->error = server_text(res ? DBresultErrorMessage(res) : DBerrorMessage(conn), recoder);
  DBclear(res);
  return nullptr;
}

// The rows of one import in flight.  Requests are framed into a batch that
// goes out in one write, without waiting for their answers; at most WINDOW
// stay unanswered, so neither side's socket buffer can fill up while the
// other waits.  While kvsql waits for answers it sends nothing the server
// could see its acknowledgements on, so it acknowledges at once
// (TCP_QUICKACK): otherwise the server's small answers wait for delayed
// acknowledgements and the import crawls.
class Pipeline {
 public:
  static constexpr size_t WINDOW = 256;
  static constexpr size_t BATCH = 64;

  Pipeline(DBconn *conn, ImportOutcome *o, Recoder *recoder)
      : conn_(conn), o_(o), recoder_(recoder) {
    int one = 1;  // a batch goes out whole, at once
    setsockopt(conn->socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }

  // Queues the request in the query buffer for the row on line.  false
  // once the import failed or the connection broke.
  bool send(int line) {
    std::vector<char> frames = wire_encode(query_data, query_size);
    batch_.insert(batch_.end(), frames.begin(), frames.end());
    lines_.push_back(line);
    if (++unsent_ >= BATCH && !flush()) return false;
    while (lines_.size() - unsent_ >= WINDOW)
      if (!receive()) return false;
    return true;
  }

  // Sends what is queued and waits for every answer.  false as for send.
  bool drain() {
    if (!flush()) return false;
    while (!lines_.empty())
      if (!receive() && o_->status == ImportOutcome::LOST) return false;
    return o_->error.empty();
  }

 private:
  bool broken() {
    conn_->status = DB_CONNECTION_BROKEN;
    o_->status = ImportOutcome::LOST;
    return false;
  }

  bool flush() {
    size_t done = 0;
    while (done < batch_.size()) {
      ssize_t w = ::send(conn_->socket, batch_.data() + done, batch_.size() - done, MSG_NOSIGNAL);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return broken();
      done += static_cast<size_t>(w);
    }
    batch_.clear();
    unsent_ = 0;
    return true;
  }

  // One answer; an error answer ends the import (the first one is reported).
  bool receive() {
    char buf[DB_RECV_BUFSIZE];
    char *big = nullptr;
    int bigsize = -1, len = 0;
    int one = 1;
    setsockopt(conn_->socket, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
    if (!DBrecv_data(conn_, buf, sizeof buf, &len, &big, &bigsize)) return broken();
    const char *reply = big ? big : buf;
    int line = lines_.front();
    lines_.pop_front();
    bool ok = len >= 1 && reply[0] != REPLY_ERROR;
    if (!ok && o_->error.empty()) {
      const char *text = nullptr;
      o_->line = line;
      o_->error = len >= 1 && DBmatch_errmsg(1, reply, len, &text) >= 0 && text[0]
                      ? server_text(text, recoder_)
                      : "the server refused the row";
    }
    if (big) xfree(big);
    return ok;
  }

  DBconn *conn_;
  ImportOutcome *o_;
  Recoder *recoder_;
  std::vector<char> batch_;
  size_t unsent_ = 0;      // requests in batch_
  std::deque<int> lines_;  // lines of the requests not yet answered, batched ones last
};

// Reads the rows of the file and sends them; false on the first error
// (*o says which).
bool send_rows(FILE *file, const ImportJob &job, const std::vector<ImportColumn> &columns,
               Pipeline *pipe, ImportOutcome *o, Recoder *recoder) {
  std::vector<char> chunk(1 << 16);
  size_t n = fread(chunk.data(), 1, chunk.size(), file);
  size_t skip =
      n >= 3 && memcmp(chunk.data(), "\xef\xbb\xbf", 3) == 0 ? 3 : 0;  // a UTF-8 byte order mark
  bool csv = job.format == ImportFormat::CSV ||
             (job.format == ImportFormat::AUTO &&
              import_is_csv(job.path, std::string(chunk.data() + skip, n - skip)));
  RecordReader reader(csv);
  std::vector<ImportRecord> records;
  std::vector<int> order;
  std::vector<std::string> values;
  bool first = true;
  std::string latin1;
  for (bool end = false; !end;) {
    records.clear();
    bool ok;
    if (n > 0) {
      ok = reader.feed(chunk.data() + skip, n - skip, &records, &o->error, &o->line);
    } else {
      if (ferror(file)) {
        o->error = std::string("reading the file: ") + strerror(errno);
        return false;
      }
      ok = reader.finish(&records, &o->error, &o->line);
      end = true;
    }
    if (!ok) return false;
    for (const ImportRecord &rec : records) {
      if (first) {
        first = false;
        bool named = job.header != ImportHeader::NO && header_columns(rec, columns, &order);
        if (named) {
          o->header = true;
          continue;
        }
        if (job.header == ImportHeader::YES) {
          o->line = rec.line;
          o->error = "the first line does not name columns of " + job.table;
          return false;
        }
        for (size_t i = 0; i < columns.size(); i++) order.push_back(static_cast<int>(i));
      }
      if (rec.fields.size() != order.size()) {
        o->line = rec.line;
        o->error = std::to_string(rec.fields.size()) + " fields, but " +
                   (o->header ? "the header names " : "the table has ") +
                   std::to_string(order.size()) + " columns";
        return false;
      }
      values.resize(rec.fields.size());
      for (size_t i = 0; i < rec.fields.size(); i++) {
        RecodeError err;
        if (!recoder->to_latin1(rec.fields[i], &values[i], &err)) {
          o->line = rec.line + static_cast<int>(err.line);
          o->error =
              "field " + std::to_string(i + 1) + ": " + recode_error_text(err, recoder->charset());
          return false;
        }
      }
      std::string why = build_insert(job.table, columns, order, values);
      if (!why.empty()) {
        o->line = rec.line;
        o->error = why;
        return false;
      }
      if (!pipe->send(rec.line)) return false;
      o->rows++;
    }
    skip = 0;
    if (!end) n = fread(chunk.data(), 1, chunk.size(), file);
  }
  return true;
}

}  // namespace

bool RecordReader::parse(bool at_end, std::vector<ImportRecord> *out, std::string *error,
                         int *line) {
  size_t p = 0;
  int l = line_;
  bool ok = true;
  while (p < buf_.size()) {
    if (buf_[p] == '\n' || (buf_[p] == '\r' && p + 1 < buf_.size() && buf_[p + 1] == '\n')) {
      p += buf_[p] == '\r' ? 2 : 1;
      l++;
      line_ = l;
      buf_.erase(0, p);
      p = 0;
      continue;
    }
    ImportRecord rec;
    rec.line = l;
    size_t q = p;
    int ql = l;
    Parse r = csv_ ? csv_record(buf_, &q, &ql, at_end, &rec, error)
                   : tsv_record(buf_, &q, &ql, at_end, &rec);
    if (r == NEED_MORE) break;
    if (r == BAD) {
      *line = ql;
      ok = false;
      break;
    }
    out->push_back(std::move(rec));
    p = q;
    l = ql;
    buf_.erase(0, p);
    p = 0;
    line_ = l;
  }
  return ok;
}

bool RecordReader::feed(const char *data, size_t n, std::vector<ImportRecord> *out,
                        std::string *error, int *line) {
  buf_.append(data, n);
  return parse(false, out, error, line);
}

bool RecordReader::finish(std::vector<ImportRecord> *out, std::string *error, int *line) {
  bool ok = parse(true, out, error, line);
  buf_.clear();
  line_ = 1;
  return ok;
}

bool import_is_csv(const std::string &path, const std::string &start) {
  if (ends_with(path, ".csv")) return true;
  if (ends_with(path, ".tsv") || ends_with(path, ".tab") || ends_with(path, ".txt")) return false;
  size_t nl = start.find('\n');
  return start.substr(0, nl).find('\t') == std::string::npos;
}

bool header_columns(const ImportRecord &record, const std::vector<ImportColumn> &columns,
                    std::vector<int> *order) {
  order->clear();
  for (const std::string &f : record.fields) {
    int found = -1;
    for (size_t c = 0; c < columns.size() && found < 0; c++)
      if (upper(f) == columns[c].name) found = static_cast<int>(c);
    for (int o : *order)
      if (o == found) found = -1;
    if (found < 0) {
      order->clear();
      return false;
    }
    order->push_back(found);
  }
  return !order->empty();
}

std::string build_insert(const std::string &table, const std::vector<ImportColumn> &columns,
                         const std::vector<int> &order, const std::vector<std::string> &values) {
  std::vector<size_t> sent;
  std::vector<std::string> texts(values.size());
  for (size_t i = 0; i < values.size(); i++) {
    const ImportColumn &col = columns[static_cast<size_t>(order[i])];
    if (values[i].empty() && col.type != TOK_CHARACTER) continue;
    if (col.type != TOK_BINARY || !from_hex(values[i], &texts[i])) texts[i] = values[i];
    std::string field = "field " + std::to_string(i + 1);
    if (texts[i].find('\0') != std::string::npos)
      return field + " holds a zero byte, which a request cannot carry";
    if (texts[i].size() > static_cast<size_t>(DB_MAX_STRING))
      return field + " is longer than " + std::to_string(DB_MAX_STRING) + " bytes";
    sent.push_back(i);
  }
  if (sent.empty()) return "every field is empty";
  DBquery_init();
  DBquery_addcmd(CMD_INSERT);
  DBquery_addtokname(TOK_NAME, table.c_str());
  for (size_t i : sent)
    DBquery_addtokname(TOK_NAME, columns[static_cast<size_t>(order[i])].name.c_str());
  DBquery_addtoken(TOK_VALUES);
  for (size_t i : sent) DBquery_addtokstring(TOK_STRING, texts[i].c_str());
  DBquery_addtoken(TOK_END);
  return "";
}

ImportOutcome run_import(DBconn *conn, const ImportJob &job, Recoder *recoder) {
  ImportOutcome o;
  errno = 0;
  std::unique_ptr<FILE, int (*)(FILE *)> file(fopen(job.path.c_str(), "rb"), fclose);
  if (!file) {
    o.error = "cannot open " + job.path + ": " + strerror(errno);
    return o;
  }
  DBresult *shown = exec_own(conn, "SHOW TABLE " + job.table + ";", &o, recoder);
  if (!shown) return o;
  std::vector<ImportColumn> columns;
  for (int r = 0; r < DBntuples(shown); r++) {
    int type = TOK_CHARACTER;
    for (const DBTYPE &t : db_types)
      if (strcmp(t.name, DBgetvalue(shown, r, 1)) == 0) type = t.code;
    columns.push_back({DBgetvalue(shown, r, 0), type});
  }
  DBclear(shown);
  DBresult *begun = exec_own(conn, "BEGIN;", &o, recoder);
  if (!begun) return o;
  DBclear(begun);
  Pipeline pipe(conn, &o, recoder);
  bool sent = send_rows(file.get(), job, columns, &pipe, &o, recoder);
  if (!pipe.drain() || !sent) {
    if (o.status != ImportOutcome::LOST) {
      ImportOutcome ignored;
      DBclear(exec_own(conn, "ABORT;", &ignored, recoder));
      o.status =
          ignored.status == ImportOutcome::LOST ? ImportOutcome::LOST : ImportOutcome::FAILED;
    }
    o.rows = 0;
    return o;
  }
  DBresult *done = exec_own(conn, "COMMIT;", &o, recoder);
  if (!done) {
    o.rows = 0;
    return o;
  }
  DBclear(done);
  o.status = ImportOutcome::DONE;
  return o;
}
