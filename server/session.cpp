// One client connection of korvald: statement execution through the
// session's store, the command table, reply encoding, and the rollback of an
// idle transaction.  See session.h.
#include "server/session.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "proto/endian.h"
#include "proto/query.h"
#include "proto/wire.h"
#include "server/sqlgen.h"

// ---------------------------------------------------------------------------

KvSession::KvSession(KvCatalog &catalog, int id, size_t reply_limit)
    : catalog_(catalog), id_(id), store_(catalog.new_store()), reply_limit_(reply_limit) {}

KvSession::~KvSession() { close_db(); }

void KvSession::trim() {
  if (reply_.capacity() > kLargeReply) std::vector<char>().swap(reply_);
}

// Room for the longest reply at once: until it is written it is only
// address space, and the reply is not copied again on its way up.  Huge
// pages spare most of the page faults of writing it.
void KvSession::reserve_reply() {
  reply_.reserve(reply_limit_ + 64 * 1024);
  advise_huge(reply_.data(), reply_.capacity());
}

// Every reply replaces what the request had answered so far.
DBwriter KvSession::new_reply() {
  reply_.clear();
  return DBwriter(reply_);
}

void KvSession::reply_error(const std::string &text) { new_reply().adderrmsg(text.c_str()); }

void KvSession::reply_ok() { new_reply().addok(); }

void KvSession::reply_count(long count) {
  new_reply().addoktuples(static_cast<int32_t>(std::min<long>(count, INT32_MAX)));
}

void KvSession::reply_store_error() { reply_error(store_->error()); }

void KvSession::reply_rows(const KvRows &rows, size_t first, size_t count, bool partial) {
  DBwriter w = new_reply();
  if (partial) {
    w.addnotalldata();
  } else {
    w.addokdata();
  }
  w.addint(static_cast<int32_t>(rows.fields.size()));
  w.addint(static_cast<int32_t>(count));
  if (count == 0) return;
  for (auto &f : rows.fields) {
    w.addstring(f.name.c_str());
    w.addtoken(db_types[f.type].code);
    w.addint(f.size);
  }
  size_t from = rows.offsets[first];
  size_t to = first + count < rows.offsets.size() ? rows.offsets[first + count] : rows.data.size();
  w.add(rows.data.data() + from, static_cast<int>(to - from));
}

bool KvSession::need_db() {
  if (store_->is_open()) return true;
  reply_error("No database open");
  return false;
}

bool KvSession::in_transaction() const { return tx_open_ || store_->in_transaction(); }

void KvSession::expire_transaction(int seconds) {
  drain_cursors();
  if (store_->in_transaction()) store_->rollback();
  tx_open_ = tx_started_ = false;
  store_->forget_schema();
  expired_ = "The transaction was rolled back after " + std::to_string(seconds) +
             " s without a request; nothing of it was committed, and this request was not run";
}

// BEGIN only marks the transaction; the storage's transaction starts with
// the first statement after it, for reading or with the write lock as the
// statement needs (KvStore::begin).
bool KvSession::start_transaction(bool write) {
  if (!tx_open_ || store_->in_transaction()) return true;
  if (tx_started_) {
    // the storage rolled the transaction back itself (after an I/O error,
    // for example); carrying on would commit the rest on its own
    reply_error("The transaction was rolled back after an error (end it with ABORT)");
    return false;
  }
  if (!store_->begin(write)) {
    reply_store_error();
    return false;
  }
  tx_started_ = true;
  return true;
}

// The database is counted as used before the store opens it, so that a
// DROP DATABASE by another session cannot come in between.
bool KvSession::open_db(const std::string &name, std::string *err) {
  catalog_.db_acquire(name);
  if (!store_->open(name)) {
    *err = store_->error();
    catalog_.db_release(name);
    return false;
  }
  // the store has closed the database open before
  cursors_.clear();
  tx_open_ = tx_started_ = false;
  if (!dbname_.empty()) catalog_.db_release(dbname_);
  dbname_ = name;
  return true;
}

void KvSession::close_db() {
  cursors_.clear();
  tx_open_ = tx_started_ = false;
  if (!store_->is_open()) return;
  store_->close();
  catalog_.db_release(dbname_);
  dbname_.clear();
}

bool KvSession::table_columns(const std::string &table, std::vector<KvColumn> *cols,
                              std::string *stored) {
  const KvTable *t = store_->table(table);
  if (t) {
    *cols = t->cols;
    *stored = t->name;
  } else {
    cols->clear();
    *stored = store_->error();
  }
  return t != nullptr;
}

SqlGen KvSession::sql_gen() {
  return SqlGen([this](const std::string &t, std::vector<KvColumn> *c,
                       std::string *s) { return table_columns(t, c, s); },
                store_->dialect());
}

const KvTable *KvSession::need_table(const std::string &table) {
  const KvTable *t = store_->table(table);
  if (!t) reply_store_error();
  return t;
}

const KvTable *KvSession::writable_table(const std::string &table, bool deleting) {
  const KvTable *t = need_table(table);
  if (t && t->is_static) {
    reply_error("Table " + table + " is STATIC (read-only)");
    return nullptr;
  }
  if (t && deleting && t->secure) {
    reply_error("Table " + table + " is SECURE (no DELETE, no DROP TABLE)");
    return nullptr;
  }
  return t;
}

bool KvSession::need_index(const std::string &name) {
  int found = store_->index_exists(name);
  if (found < 0) reply_store_error();
  if (found == 0) reply_error("Index " + name + " does not exist");
  return found > 0;
}

void KvSession::exec_change(const std::string &sql, const std::vector<KvBound> &binds) {
  long count = 0;
  if (store_->change(sql, binds, &count)) {
    reply_count(count);
  } else {
    reply_store_error();
  }
}

void KvSession::reply_done(bool ok) {
  if (ok) {
    reply_ok();
  } else {
    reply_store_error();
  }
}

// The commands: what each needs before its handler runs, and what the
// connection thread does afterwards.  kv_decode accepts the same codes.
const KvSession::Command KvSession::kCommands[] = {
    {CMD_OPEN_DATABASE, false, TX_REFUSED, KV_SEND_REPLY, &KvSession::do_set_database},
    {CMD_SET_DATABASE, false, TX_REFUSED, KV_SEND_REPLY, &KvSession::do_set_database},
    {CMD_CREATE_DATABASE, false, TX_REFUSED, KV_SEND_REPLY, &KvSession::do_set_database},
    // refused in a transaction as well, but only after the check of its name
    {CMD_DROP_DATABASE, true, TX_NONE, KV_SEND_REPLY, &KvSession::do_drop_database},
    {CMD_DISCONNECT, false, TX_NONE, KV_NO_REPLY, &KvSession::do_disconnect},
    {CMD_STOP_SERVER, false, TX_NONE, KV_STOP_SERVER, nullptr},
    {CMD_STOP, false, TX_NONE, KV_REPLY_AND_STOP, &KvSession::do_stop},
    // SHOW DATABASES needs no database; do_show asks for one for the others
    {CMD_SHOW, false, TX_NONE, KV_SEND_REPLY, &KvSession::do_show},
    {CMD_MAX, false, TX_NONE, KV_SEND_REPLY, &KvSession::do_max},
    {CMD_SELECT, true, TX_READ, KV_SEND_REPLY, &KvSession::do_select},
    {CMD_DECLARE, true, TX_READ, KV_SEND_REPLY, &KvSession::do_declare},
    {CMD_FETCH, true, TX_NONE, KV_SEND_REPLY, &KvSession::do_fetch},
    {CMD_CLOSE, true, TX_NONE, KV_SEND_REPLY, &KvSession::do_close},
    {CMD_INSERT, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_insert},
    {CMD_UPDATE, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_update},
    {CMD_DELETE, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_delete},
    {CMD_CREATE_TABLE, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_create_table},
    {CMD_DROP_TABLE, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_drop_table},
    {CMD_CREATE_INDEX, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_create_index},
    {CMD_CREATE_UNIQUE_INDEX, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_create_index},
    {CMD_DROP_INDEX, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_drop_index},
    {CMD_SET_STATIC, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_set_flag},
    {CMD_SET_SECURE, true, TX_WRITE, KV_SEND_REPLY, &KvSession::do_set_flag},
    {CMD_SAVE_DATABASE, true, TX_NONE, KV_SEND_REPLY, &KvSession::do_save},
    {CMD_BEGIN, true, TX_NONE, KV_SEND_REPLY, &KvSession::do_begin},
    {CMD_COMMIT, true, TX_NONE, KV_SEND_REPLY, &KvSession::do_end},
    {CMD_ABORT, true, TX_NONE, KV_SEND_REPLY, &KvSession::do_end},
};

const KvSession::Command *KvSession::command(int code) {
  for (const Command &c : kCommands)
    if (c.cmd == code) return &c;
  return nullptr;
}

KvReply KvSession::handle(const char *data, int len) {
  KvRequest req;
  std::string err;
  store_->new_request();
  reply_.clear();
  KvAction action = KV_SEND_REPLY;
  // a request without a reply cannot carry the notice of an expired
  // transaction: it runs
  const Command *c = len > 0 ? command(static_cast<unsigned char>(data[0])) : nullptr;
  bool unanswered = c && (c->action == KV_NO_REPLY || c->action == KV_STOP_SERVER);
  if (!expired_.empty() && !unanswered) {
    reply_error(expired_);
    expired_.clear();
    if (catalog_.tracing())
      catalog_.log_line("[" + std::to_string(id_) + "] request not run: transaction had expired");
  } else if (!kv_decode(data, len, &req, &err)) {
    reply_error(err);
    if (catalog_.tracing())
      catalog_.log_line("[" + std::to_string(id_) + "] request refused: " + err);
  } else {
    action = execute(c, req);
    if (catalog_.tracing()) {
      std::string line = "[" + std::to_string(id_) + "] " + kv_describe(req);
      if (!store_->last_sql().empty()) line += " | " + store_->last_sql();
      catalog_.log_line(line);
    }
  }
  if (action == KV_NO_REPLY || action == KV_STOP_SERVER) return {action, {}};
  if (catalog_.tracing()) trace_reply();
  return {action, std::string_view(reply_.data(), reply_.size())};
}

// One line for the reply in the --trace log: its code, and the error text,
// the numbers of fields and rows, or the count.
void KvSession::trace_reply() {
  const char *r = reply_.data();
  int n = static_cast<int>(reply_.size());
  std::string line = "[" + std::to_string(id_) + "] reply ";
  line += n > 0 ? r[0] : '?';
  int32_t fields, rows;
  if (n > 0 && r[0] == REPLY_ERROR) {
    const char *text;
    if (DBmatch_errmsg(1, r, n, &text) > 0) line += std::string(" ") + text;
  } else if (n >= 9 && (r[0] == REPLY_DATA || r[0] == REPLY_NOTALLDATA)) {
    DBget_int(1, r, n, &fields, nullptr);
    DBget_int(5, r, n, &rows, nullptr);
    line += " " + std::to_string(fields) + " fields, " + std::to_string(rows) + " rows";
  } else if (n >= 5 && r[0] == REPLY_TUPLES) {
    DBget_int(1, r, n, &rows, nullptr);
    line += " count " + std::to_string(rows);
  }
  catalog_.log_line(line);
}

KvAction KvSession::execute(const Command *c, const KvRequest &req) {
  if (!c) {
    reply_error("Unknown request code " + std::to_string(req.cmd));
    return KV_SEND_REPLY;
  }
  if (c->tx == TX_REFUSED && in_transaction()) {
    reply_error("Not possible inside a transaction");
    return c->action;
  }
  if (c->needs_db && !need_db()) return c->action;
  // reading a cursor, and other reading, leaves its open statement alone
  static const int kBesideCursors[] = {CMD_FETCH,  CMD_CLOSE, CMD_DECLARE,
                                       CMD_SELECT, CMD_SHOW,  CMD_MAX};
  if (std::find(std::begin(kBesideCursors), std::end(kBesideCursors), c->cmd) ==
      std::end(kBesideCursors))
    drain_cursors();
  if ((c->tx == TX_READ || c->tx == TX_WRITE) && !start_transaction(c->tx == TX_WRITE))
    return c->action;
  if (c->run) (this->*c->run)(req);
  return c->action;
}

void KvSession::do_disconnect(const KvRequest &) {
  close_db();
  max_rows_ = -1;
  expired_.clear();
}

void KvSession::do_stop(const KvRequest &) { reply_ok(); }

void KvSession::do_max(const KvRequest &req) {
  max_rows_ = req.max_none ? -1 : req.max;
  reply_ok();
}

void KvSession::do_close(const KvRequest &req) {
  if (cursors_.erase(req.name)) {
    reply_ok();
  } else {
    reply_error("Cursor " + req.name + " is not declared");
  }
}

void KvSession::do_begin(const KvRequest &) {
  if (in_transaction()) {
    reply_error("A transaction is already active");
  } else {
    tx_open_ = true;
    reply_ok();
  }
}

// COMMIT (and END) or ABORT.
void KvSession::do_end(const KvRequest &req) {
  store_->forget_schema();
  if (!in_transaction()) {
    reply_error("No transaction active");
  } else if (!store_->in_transaction() && tx_started_ && req.cmd == CMD_COMMIT) {
    tx_open_ = tx_started_ = false;
    reply_error("The transaction was rolled back after an error; nothing was committed");
  } else if (!store_->in_transaction() ||
             (req.cmd == CMD_COMMIT ? store_->commit() : store_->rollback())) {
    tx_open_ = tx_started_ = false;
    reply_ok();
  } else {
    reply_store_error();
    if (!store_->in_transaction()) tx_open_ = tx_started_ = false;
  }
}

// ---------------------------------------------------------------------------
// Queries.

std::unique_ptr<KvRowSource> KvSession::open_select(const KvSelect &sel,
                                                    std::vector<KvField> *fields, bool held,
                                                    size_t limit) {
  SqlGen gen = sql_gen();
  if (!gen.select(sel, fields)) {
    reply_error(gen.err);
    return nullptr;
  }
  std::unique_ptr<KvRowSource> src = store_->query(gen.sql, gen.binds, *fields, held, limit);
  if (!src) reply_store_error();
  return src;
}

// The rows are laid out straight into the reply, behind the header of
// reply_rows whose row count is filled in at the end.  A row that would
// make the reply longer than the limit is taken back, and the reply says
// that not all rows were sent.
void KvSession::do_select(const KvRequest &req) {
  std::vector<KvField> fields;
  // one row beyond the maximum tells that not all rows were sent
  size_t limit = max_rows_ >= 0 ? static_cast<size_t>(max_rows_) + 1 : SIZE_MAX;
  std::unique_ptr<KvRowSource> src = open_select(req.select, &fields, false, limit);
  if (!src) return;
  DBwriter w = new_reply();
  w.addokdata();
  w.addint(static_cast<int32_t>(fields.size()));
  w.addint(0);
  const size_t head = reply_.size();
  for (auto &f : fields) {
    w.addstring(f.name.c_str());
    w.addtoken(db_types[f.type].code);
    w.addint(f.size);
  }
  int32_t count = 0;
  bool partial = false;
  KvRowSource::Step step;
  for (;;) {
    size_t row = reply_.size();
    if (row > kLargeReply && reply_.capacity() < reply_limit_) reserve_reply();
    step = src->next(w);
    if (step != KvRowSource::ROW) break;
    if ((max_rows_ >= 0 && count >= max_rows_) || count == INT32_MAX ||
        reply_.size() > reply_limit_) {
      reply_.resize(row);
      partial = true;
      break;
    }
    count++;
  }
  if (step == KvRowSource::FAILED) {
    reply_store_error();
    return;
  }
  // without rows the reply ends after the counts
  if (count == 0) reply_.resize(head);
  if (partial) reply_[0] = static_cast<char>(REPLY_NOTALLDATA);
  le_put32(reply_.data() + head - 4, static_cast<uint32_t>(count));
}

// Rows of a cursor are read as they are asked for: with a row maximum set,
// FETCH ALL takes that many at a time, and the next batch is read ahead
// while the client works on the last (prefetch).  Without a maximum every
// row is read at DECLARE.  Before any request that could change what the
// open query reads, the rest is read (drain_cursors), so that a cursor
// always shows the database as it was when it was declared.
bool KvSession::pull(Cursor &c, size_t want) {
  KvRows &r = c.rows;
  if (c.next > 0) {
    size_t from = c.next < r.offsets.size() ? r.offsets[c.next] : r.data.size();
    r.data.erase(r.data.begin(), r.data.begin() + static_cast<long>(from));
    r.offsets.erase(r.offsets.begin(), r.offsets.begin() + static_cast<long>(c.next));
    for (size_t &o : r.offsets) o -= from;
    c.next = 0;
  }
  if (!c.src) return true;
  DBwriter w(r.data);
  while (r.offsets.size() < want && r.data.size() <= reply_limit_) {
    size_t row = r.data.size();
    KvRowSource::Step step = c.src->next(w);
    if (step == KvRowSource::ROW) {
      r.offsets.push_back(row);
      continue;
    }
    r.data.resize(row);
    if (step == KvRowSource::FAILED) c.error = store_->error();
    c.src.reset();
    return step == KvRowSource::DONE;
  }
  return true;
}

void KvSession::drain_cursors() {
  for (auto &it : cursors_) {
    Cursor &c = it.second;
    if (!c.src) continue;
    pull(c, SIZE_MAX);
    if (c.src) {
      c.error = "Cursor " + it.first + ": result too large (close other cursors)";
      c.src.reset();
    }
  }
}

void KvSession::prefetch() {
  std::string name;
  name.swap(last_cursor_);
  auto it = cursors_.find(name);
  if (it == cursors_.end() || !it->second.src || max_rows_ < 0) return;
  pull(it->second, static_cast<size_t>(max_rows_) + 1);
}

void KvSession::do_declare(const KvRequest &req) {
  if (cursors_.count(req.name)) {
    reply_error("Cursor " + req.name + " is already declared");
    return;
  }
  Cursor c;
  c.src = open_select(req.select, &c.rows.fields, true, SIZE_MAX);
  if (!c.src) return;
  if (!pull(c, max_rows_ >= 0 ? static_cast<size_t>(max_rows_) + 1 : SIZE_MAX)) {
    reply_error(c.error);
    return;
  }
  size_t held = c.rows.data.size();
  for (auto &other : cursors_) held += other.second.rows.data.size();
  // read whole, the rows of all cursors must fit into a reply; read in
  // batches, each cursor holds a batch at most
  if (max_rows_ < 0 && (c.src || held > reply_limit_)) {
    reply_error("Cursor " + req.name + ": result too large (close other cursors)");
    return;
  }
  cursors_[req.name] = std::move(c);
  last_cursor_ = req.name;
  reply_ok();
}

void KvSession::do_fetch(const KvRequest &req) {
  auto it = cursors_.find(req.name);
  if (it == cursors_.end()) {
    reply_error("Cursor " + req.name + " is not declared");
    return;
  }
  Cursor &c = it->second;
  size_t want = !req.fetch_all ? 1 : max_rows_ >= 0 ? static_cast<size_t>(max_rows_) + 1 : SIZE_MAX;
  // a failure while reading comes after the rows read before it
  pull(c, want);
  size_t left = c.rows.offsets.size() - c.next;
  if (left == 0 && !c.error.empty()) {
    reply_error(c.error);
    c.error.clear();
    return;
  }
  size_t n = req.fetch_all ? left : std::min<size_t>(left, 1);
  // rows are left beyond the longest reply
  bool partial = req.fetch_all && max_rows_ < 0 && c.src;
  if (max_rows_ >= 0 && n > static_cast<size_t>(max_rows_)) {
    n = static_cast<size_t>(max_rows_);
    partial = true;
  }
  // no more rows than a reply can hold
  size_t room = 9;
  for (auto &f : c.rows.fields) room += f.name.size() + 8;
  room = reply_limit_ > room ? reply_limit_ - room : 0;
  auto end_of = [&c](size_t row) {
    return row < c.rows.offsets.size() ? c.rows.offsets[row] : c.rows.data.size();
  };
  while (n > 0 && end_of(c.next + n) - c.rows.offsets[c.next] > room) {
    n = n / 2;
    partial = true;
  }
  reply_rows(c.rows, c.next, n, partial);
  c.next += n;
  last_cursor_ = req.name;
}

// Lays out rows of texts as a result whose fields are all CHARACTER, each
// as wide as its longest text.
static void text_rows(const std::vector<std::vector<std::string>> &texts, KvRows *rows) {
  DBwriter w(rows->data);
  for (auto &row : texts) {
    rows->offsets.push_back(rows->data.size());
    for (size_t i = 0; i < rows->fields.size(); i++) {
      const std::string &t = i < row.size() ? row[i] : std::string();
      kv_put_text(w, t.data(), strnlen(t.c_str(), t.size()));
      rows->fields[i].size = std::max(rows->fields[i].size, static_cast<int>(t.size()) + 1);
    }
  }
}

void KvSession::do_show(const KvRequest &req) {
  if (req.show != SHOW_DATABASES && !need_db()) return;
  KvRows rows;
  DBwriter w(rows.data);
  auto text_field = [](const char *name) { return KvField{name, KV_CHARACTER, 1}; };
  std::vector<std::vector<std::string>> texts;
  switch (req.show) {
    case SHOW_DATABASES:
      rows.fields.push_back(text_field("DATABASE"));
      for (auto &name : store_->databases()) texts.push_back({name});
      break;
    case SHOW_TABLES: rows.fields = {text_field("TABLE")}; break;
    case SHOW_INDICES:
    case SHOW_INDICES_ON:
      if (req.show == SHOW_INDICES_ON && !need_table(req.name)) return;
      rows.fields = {text_field("INDEX"), text_field("TABLE"), text_field("UNIQUE")};
      break;
    case SHOW_TABLE: {
      const KvTable *t = need_table(req.name);
      if (!t) return;
      rows.fields = {text_field("COLUMN"),
                     text_field("TYPE"),
                     {"SIZE", KV_INTEGER, db_types[KV_INTEGER].size},
                     text_field("NOT NULL")};
      for (auto &c : t->cols) {
        rows.offsets.push_back(rows.data.size());
        std::string texts3[3] = {c.name, db_types[c.type].name, c.notnull ? "YES" : "NO"};
        int size = c.len ? c.len : db_types[c.type].size;
        kv_put_text(w, texts3[0].data(), texts3[0].size());
        kv_put_text(w, texts3[1].data(), texts3[1].size());
        kv_put_int(w, KV_INTEGER, size);
        kv_put_text(w, texts3[2].data(), texts3[2].size());
        for (int i = 0; i < 3; i++) {
          int f = i == 2 ? 3 : i;
          rows.fields[f].size =
              std::max(rows.fields[f].size, static_cast<int>(texts3[i].size()) + 1);
        }
      }
      break;
    }
    case SHOW_INDEX:
      if (!need_index(req.name)) return;
      rows.fields = {text_field("INDEX"), text_field("TABLE"), text_field("COLUMN"),
                     text_field("UNIQUE")};
      break;
  }
  if (req.show != SHOW_DATABASES && req.show != SHOW_TABLE &&
      !store_->show(req.show, req.name, &texts)) {
    reply_store_error();
    return;
  }
  text_rows(texts, &rows);
  reply_rows(rows, 0, rows.offsets.size(), false);
}

// ---------------------------------------------------------------------------
// Changes.

static const KvColumn *find_column(const std::vector<KvColumn> &cols, const std::string &name) {
  for (auto &c : cols)
    if (kv_same_name(c.name, name)) return &c;
  return nullptr;
}

void KvSession::do_insert(const KvRequest &req) {
  const KvTable *info = writable_table(req.name, false);
  if (!info) return;
  const std::string stored = info->name;
  const std::vector<KvColumn> cols = info->cols;
  std::vector<const KvColumn *> targets;
  if (req.columns.empty()) {
    if (req.values.size() != cols.size()) {
      reply_error("Table " + req.name + " has " + std::to_string(cols.size()) + " columns, " +
                  std::to_string(req.values.size()) + " values given");
      return;
    }
    for (auto &c : cols) targets.push_back(&c);
  } else {
    for (auto &n : req.columns) {
      const KvColumn *c = find_column(cols, n);
      if (!c) {
        reply_error("Column " + n + " does not exist in table " + req.name);
        return;
      }
      if (std::find(targets.begin(), targets.end(), c) != targets.end()) {
        reply_error("Column " + n + " given twice");
        return;
      }
      targets.push_back(c);
    }
  }
  std::vector<KvBound> values(targets.size());
  for (size_t i = 0; i < targets.size(); i++) {
    std::string err;
    if (!kv_convert(req.values[i], *targets[i], &values[i], &err, store_->dialect().gregorian)) {
      reply_error(err);
      return;
    }
  }
  SqlGen gen = sql_gen();
  gen.insert(stored.empty() ? req.name : stored, targets, values);
  exec_change(gen.sql, gen.binds);
}

void KvSession::do_update(const KvRequest &req) {
  const KvTable *info = writable_table(req.name, false);
  if (!info) return;
  std::vector<KvColumn> cols = info->cols;
  const std::string stored = info->name;
  SqlGen gen = sql_gen();
  gen.sql = "UPDATE " + kv_table_sql(req.name, stored) + " SET ";
  for (size_t i = 0; i < req.columns.size(); i++) {
    const KvColumn *c = find_column(cols, req.columns[i]);
    if (!c) {
      reply_error("Column " + req.columns[i] + " does not exist in table " + req.name);
      return;
    }
    KvBound b;
    std::string err;
    if (!kv_convert(req.values[i], *c, &b, &err, store_->dialect().gregorian)) {
      reply_error(err);
      return;
    }
    if (i) gen.sql += ", ";
    gen.sql += kv_quote(c->name) + " = ";
    gen.bind(b);
  }
  if (req.where && !gen.where_on(req.name, cols, *req.where)) {
    reply_error(gen.err);
    return;
  }
  exec_change(gen.sql, gen.binds);
}

void KvSession::do_delete(const KvRequest &req) {
  const KvTable *info = writable_table(req.name, true);
  if (!info) return;
  std::vector<KvColumn> cols = info->cols;
  const std::string stored = info->name;
  SqlGen gen = sql_gen();
  gen.sql = "DELETE FROM " + kv_table_sql(req.name, stored);
  if (req.where && !gen.where_on(req.name, cols, *req.where)) {
    reply_error(gen.err);
    return;
  }
  exec_change(gen.sql, gen.binds);
}

void KvSession::do_create_table(const KvRequest &req) {
  if (store_->table(req.name)) {
    reply_error("Table " + req.name + " already exists");
    return;
  }
  reply_done(store_->create_table(req.name, req.coldefs));
}

void KvSession::do_drop_table(const KvRequest &req) {
  if (!writable_table(req.name, true)) return;
  reply_done(store_->drop_table(req.name));
}

void KvSession::do_create_index(const KvRequest &req) {
  const KvTable *t = need_table(req.table);
  if (!t) return;
  for (auto &col : req.columns) {
    if (!find_column(t->cols, col)) {
      reply_error("Column " + col + " does not exist in table " + req.table);
      return;
    }
  }
  reply_done(
      store_->create_index(req.name, req.table, req.columns, req.cmd == CMD_CREATE_UNIQUE_INDEX));
}

void KvSession::do_drop_index(const KvRequest &req) {
  if (!need_index(req.name)) return;
  reply_done(store_->drop_index(req.name));
}

// SET TABLE t STATIC or SECURE.
void KvSession::do_set_flag(const KvRequest &req) {
  if (!need_table(req.name)) return;
  reply_done(store_->set_flag(req.name, req.cmd == CMD_SET_SECURE));
}

// ---------------------------------------------------------------------------
// Databases.

// Opens (CREATE DATABASE: creates and opens) the database named.
void KvSession::do_set_database(const KvRequest &req) {
  if (req.cmd == CMD_CREATE_DATABASE && !store_->create_database(req.name)) {
    reply_store_error();
    return;
  }
  std::string err;
  if (!open_db(req.name, &err)) {
    reply_error(err);
    return;
  }
  reply_ok();
}

void KvSession::do_drop_database(const KvRequest &req) {
  if (!req.name.empty() && req.name != dbname_) {
    reply_error("Only the open database " + dbname_ + " can be dropped");
    return;
  }
  if (in_transaction()) {
    reply_error("Not possible inside a transaction");
    return;
  }
  if (dbname_ == KV_SYSTEM_DB) {
    reply_error(std::string("The database ") + KV_SYSTEM_DB + " cannot be dropped");
    return;
  }
  cursors_.clear();
  std::string err;
  // db_drop releases this session's use of the database when it succeeds
  if (catalog_.db_drop(
          dbname_, [this] { return store_->drop(); }, &err)) {
    dbname_.clear();
    reply_ok();
    return;
  }
  reply_error(err.empty() ? store_->error() : err);
  // a store that could not open the database again has none open
  if (!store_->is_open()) {
    catalog_.db_release(dbname_);
    dbname_.clear();
  }
}

void KvSession::do_save(const KvRequest &) { reply_done(store_->save()); }
