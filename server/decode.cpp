// Request decoder of korvald.  See decode.h.
#include "server/decode.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "proto/query.h"

namespace {

std::string tok_text(int code) {
  char buf[TOK_TEXT_SIZE];
  return tok_translate(code, buf);
}

// Reads one request.  Every method returns false after setting err; the
// first error stays.
class Decoder {
 public:
  Decoder(const char *data, int len) : d_(data), len_(len) {}

  std::string err;

  // The next token without consuming it; TOK_END at the end of the data.
  int peek() {
    int t;
    char e[DB_GET_ERRSIZE];
    if (DBget_token(pos_, d_, len_, &t, e) < 0) return TOK_END;
    return t;
  }
  bool at_end() const { return pos_ >= len_; }

  bool token(int *t) {
    char e[DB_GET_ERRSIZE];
    int p = DBget_token(pos_, d_, len_, t, e);
    if (p < 0) return fail(e);
    pos_ = p;
    return true;
  }

  bool expect(int code, const char *what) {
    int t;
    if (!token(&t)) return false;
    if (t != code)
      return fail("Syntax error: " + std::string(what) + " expected (found " + tok_text(t) + ")");
    return true;
  }

  bool name(std::string *out, const char *what) {
    if (peek() != TOK_NAME) return fail_found(what);
    char e[DB_GET_ERRSIZE];
    const char *text;
    int p = DBmatch_tokname(pos_, d_, len_, &text, e);
    if (p < 0) return fail(e);
    pos_ = p;
    *out = text;
    return valid_name(out);
  }

  // Checks a name or qualifier and upper-cases it.  SQLite finds tables and
  // columns without regard to case, but database files, the flag triggers
  // of SET TABLE and cursor names do not: one spelling per name keeps a
  // request in "kunde" from missing what was set up for KUNDE.
  bool valid_name(std::string *n) {
    if (!kv_valid_name(*n)) return fail("Invalid name '" + *n + "'");
    for (char &c : *n) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return true;
  }

  bool string(std::string *out) {
    char e[DB_GET_ERRSIZE];
    const char *text;
    int p = DBmatch_tokstrg(pos_, d_, len_, &text, e);
    if (p < 0) return fail(e);
    pos_ = p;
    *out = text;
    return true;
  }

  bool integer(int32_t *out) {
    char e[DB_GET_ERRSIZE];
    int p = DBmatch_tokint(pos_, d_, len_, out, e);
    if (p < 0) return fail(e);
    pos_ = p;
    return true;
  }

  bool real(double *out) {
    char e[DB_GET_ERRSIZE];
    int p = DBmatch_tokdouble(pos_, d_, len_, out, e);
    if (p < 0) return fail(e);
    pos_ = p;
    return true;
  }

  // An integer, float or string literal.
  bool literal(KvLiteral *lit) {
    switch (peek()) {
      case TOK_INT: lit->kind = KvLiteral::INT; return integer(&lit->i);
      case TOK_DOUBLE: lit->kind = KvLiteral::FLOAT; return real(&lit->d);
      case TOK_STRING: lit->kind = KvLiteral::STR; return string(&lit->s);
    }
    return fail_found("<value>");
  }

  bool fail(const std::string &text) {
    if (err.empty()) err = text.empty() ? "Syntax error" : text;
    return false;
  }
  bool fail_found(const char *what) {
    int t = peek();
    if (at_end())
      return fail(std::string("Syntax error: ") + what + " expected (unexpected end of query)");
    return fail("Syntax error: " + std::string(what) + " expected (found " + tok_text(t) + ")");
  }

  // Counts one element of the request (column, value, table, condition
  // node ...); false once a request holds more than KV_MAX_ELEMENTS.
  bool element() {
    if (++elements_ > KV_MAX_ELEMENTS)
      return fail("Request too large (more than " + std::to_string(KV_MAX_ELEMENTS) + " elements)");
    return true;
  }

  bool select_body(KvSelect *sel, int level);
  bool expression(std::unique_ptr<KvExpr> *out, int level);

 private:
  const char *d_;
  int len_;
  int pos_ = 1;  // after the command code
  int elements_ = 0;
};

bool Decoder::select_body(KvSelect *sel, int level) {
  if (level > KV_MAX_SUBSELECT_DEPTH) return fail("Subselects nested too deeply");
  for (;;) {
    int t = peek();
    if (t == TOK_FROM && !at_end()) {
      token(&t);
      break;
    }
    KvSelItem item;
    switch (t) {
      case TOK_DISTINCT:
        token(&t);
        if (sel->distinct) return fail("Syntax error: DISTINCT given twice");
        sel->distinct = true;
        continue;
      case TOK_STAR:
        token(&t);
        item.kind = KvSelItem::STAR;
        break;
      case TOK_COUNT:
        token(&t);
        item.kind = KvSelItem::COUNT;
        break;
      case TOK_MIN:
      case TOK_MAX:
        token(&t);
        item.kind = t == TOK_MIN ? KvSelItem::MIN : KvSelItem::MAX;
        if (peek() == TOK_STRING) {
          if (!string(&item.qual)) return false;
          if (!valid_name(&item.qual)) return false;
        }
        if (!name(&item.name, "attrib-name")) return false;
        break;
      case TOK_NAME:
        if (!name(&item.name, "attrib-name")) return false;
        break;
      case TOK_STRING:
        if (!string(&item.qual)) return false;
        if (!valid_name(&item.qual)) return false;
        if (peek() == TOK_STAR && !at_end()) {
          token(&t);
          item.kind = KvSelItem::STAR;
        } else if (!name(&item.name, "attrib-name")) {
          return false;
        }
        break;
      default: return fail_found("FROM");
    }
    if (!element()) return false;
    sel->items.push_back(item);
  }
  if (sel->items.empty()) return fail("Syntax error: attrib-list expected (found 'FROM')");
  while (peek() == TOK_NAME && !at_end()) {
    KvTableRef ref;
    if (!name(&ref.name, "table-name")) return false;
    if (peek() == TOK_STRING && !at_end()) {
      if (!string(&ref.alias)) return false;
      if (!valid_name(&ref.alias)) return false;
    }
    if (!element()) return false;
    sel->from.push_back(ref);
  }
  if (sel->from.empty()) return fail_found("table-name");
  if (peek() == TOK_WHERE && !at_end()) {
    int t;
    token(&t);
    if (!expression(&sel->where, level)) return false;
  }
  if (peek() == TOK_ORDER_BY && !at_end()) {
    int t;
    token(&t);
    for (;;) {
      t = peek();
      if (at_end()) return fail_found("attrib-name");
      if (t == TOK_ORDER_BY) {
        token(&t);
        break;
      }
      KvOrderItem item;
      if (t == TOK_DOT) {
        token(&t);
        if (!name(&item.qual, "attrib-name")) return false;
      }
      if (!name(&item.name, "attrib-name")) return false;
      if (peek() == TOK_DESC && !at_end()) {
        token(&t);
        item.desc = true;
      }
      if (!element()) return false;
      sel->order.push_back(item);
    }
    if (sel->order.empty()) return fail("Syntax error: attrib-name expected (found ORDER BY)");
  }
  return true;
}

// Reads a postfix condition up to and including its closing 'w'.
bool Decoder::expression(std::unique_ptr<KvExpr> *out, int level) {
  std::vector<std::unique_ptr<KvExpr>> stack;
  auto make = [](KvExpr::Kind kind) {
    auto e = std::make_unique<KvExpr>();
    e->kind = kind;
    return e;
  };
  auto pop = [&](std::unique_ptr<KvExpr> *e) {
    if (stack.empty()) return fail("Syntax error: operand missing in condition");
    *e = std::move(stack.back());
    stack.pop_back();
    return true;
  };
  // An operand that must be a value, not a waiting subselect.
  auto pop_value = [&](std::unique_ptr<KvExpr> *e) {
    if (!pop(e)) return false;
    if ((*e)->kind == KvExpr::SUBSELECT) return fail("Syntax error: subselect without an operator");
    return true;
  };
  auto push = [&](std::unique_ptr<KvExpr> e) {
    int d = 0;
    for (auto &k : e->kids) d = std::max(d, k->depth);
    e->depth = d + 1;
    if (e->depth > KV_MAX_EXPR_DEPTH) return fail("Condition nested too deeply");
    if (!element()) return false;
    stack.push_back(std::move(e));
    return true;
  };

  for (;;) {
    if (at_end()) return fail("Syntax error: WHERE expected (unexpected end of query)");
    int t = peek();
    switch (t) {
      case TOK_WHERE: {
        token(&t);
        if (stack.size() != 1)
          return fail(stack.empty() ? "Syntax error: empty condition"
                                    : "Syntax error: operator missing in condition");
        if (stack[0]->kind == KvExpr::SUBSELECT)
          return fail("A subselect alone is not a condition (use EXISTS)");
        *out = std::move(stack[0]);
        return true;
      }
      case TOK_NAME: {
        auto e = make(KvExpr::COLUMN);
        if (!name(&e->name, "attrib-name") || !push(std::move(e))) return false;
        break;
      }
      case TOK_DOT: {
        token(&t);
        auto e = make(KvExpr::COLUMN);
        if (!name(&e->qual, "attrib-name") || !name(&e->name, "attrib-name") || !push(std::move(e)))
          return false;
        break;
      }
      case TOK_INT:
      case TOK_DOUBLE:
      case TOK_STRING: {
        auto e = make(KvExpr::LITERAL);
        if (!literal(&e->lit) || !push(std::move(e))) return false;
        break;
      }
      case TOK_SELECT:
      case TOK_SELECT_EXISTS: {
        token(&t);
        auto e = make(t == TOK_SELECT ? KvExpr::SUBSELECT : KvExpr::EXISTS);
        e->sub = std::make_unique<KvSelect>();
        if (!select_body(e->sub.get(), level + 1)) return false;
        if (t == TOK_SELECT_EXISTS && !expect(TOK_EXISTS, "EXISTS")) return false;
        if (!push(std::move(e))) return false;
        break;
      }
      case TOK_EQ:
      case TOK_LT:
      case TOK_GT:
      case TOK_LE:
      case TOK_GE:
      case TOK_NE:
      case TOK_LIKE: {
        token(&t);
        std::unique_ptr<KvExpr> l, r;
        if (!pop(&r) || !pop_value(&l)) return false;
        auto e = make(r->kind == KvExpr::SUBSELECT ? KvExpr::COMPARE_SUB : KvExpr::COMPARE);
        e->op = t;
        e->kids.push_back(std::move(l));
        if (r->kind == KvExpr::SUBSELECT) {
          e->sub = std::move(r->sub);
        } else {
          e->kids.push_back(std::move(r));
        }
        if (!push(std::move(e))) return false;
        break;
      }
      case TOK_AND:
      case TOK_OR: {
        token(&t);
        std::unique_ptr<KvExpr> l, r;
        if (!pop_value(&r) || !pop_value(&l)) return false;
        auto e = make(t == TOK_AND ? KvExpr::AND : KvExpr::OR);
        e->kids.push_back(std::move(l));
        e->kids.push_back(std::move(r));
        if (!push(std::move(e))) return false;
        break;
      }
      case TOK_NOT: {
        token(&t);
        std::unique_ptr<KvExpr> a;
        if (!pop_value(&a)) return false;
        auto e = make(KvExpr::NOT);
        e->kids.push_back(std::move(a));
        if (!push(std::move(e))) return false;
        break;
      }
      case TOK_IN: {
        token(&t);
        std::unique_ptr<KvExpr> k;
        if (!pop(&k)) return false;
        if (k->kind != KvExpr::LITERAL || k->lit.kind != KvLiteral::INT || k->lit.i < 1 ||
            static_cast<size_t>(k->lit.i) + 1 > stack.size())
          return fail("Syntax error: IN without its value count");
        int n = k->lit.i;
        if (n == 1 && stack.back()->kind == KvExpr::SUBSELECT) {
          std::unique_ptr<KvExpr> sub, l;
          pop(&sub);
          if (!pop_value(&l)) return false;
          auto e = make(KvExpr::IN_SELECT);
          e->kids.push_back(std::move(l));
          e->sub = std::move(sub->sub);
          if (!push(std::move(e))) return false;
          break;
        }
        std::vector<std::unique_ptr<KvExpr>> vals(n);
        for (int i = n - 1; i >= 0; i--) {
          if (!pop_value(&vals[i])) return false;
          if (vals[i]->kind != KvExpr::LITERAL)
            return fail("Syntax error: const value expected in IN list");
        }
        std::unique_ptr<KvExpr> l;
        if (!pop_value(&l)) return false;
        auto e = make(KvExpr::IN_LIST);
        e->kids.push_back(std::move(l));
        for (auto &v : vals) e->kids.push_back(std::move(v));
        if (!push(std::move(e))) return false;
        break;
      }
      case TOK_BETWEEN: {
        token(&t);
        std::unique_ptr<KvExpr> l, a, b;
        if (!pop_value(&b) || !pop_value(&a) || !pop_value(&l)) return false;
        auto e = make(KvExpr::BETWEEN);
        e->kids.push_back(std::move(l));
        e->kids.push_back(std::move(a));
        e->kids.push_back(std::move(b));
        if (!push(std::move(e))) return false;
        break;
      }
      case TOK_FROM:
      case TOK_STAR:
      case TOK_COUNT:
      case TOK_MIN:
      case TOK_MAX:
      case TOK_DISTINCT:
        // only a subselect has these, and one without 'u' or '=' in front
        // is a bare subselect used as a condition
        return fail("A subselect alone is not a condition (use EXISTS)");
      default: return fail("Syntax error: unexpected token " + tok_text(t) + " in condition");
    }
  }
}

bool decode_show(Decoder &d, KvRequest *req) {
  int t;
  if (!d.token(&t)) return false;
  switch (t) {
    case TOK_DATABASES: req->show = SHOW_DATABASES; return true;
    case TOK_TABLES: req->show = SHOW_TABLES; return true;
    case TOK_INDICES: req->show = SHOW_INDICES; return true;
    case TOK_INDEX: req->show = SHOW_INDEX; return d.name(&req->name, "attrib-name");
    case TOK_TABLE:
      if (d.peek() == TOK_INDICES && !d.at_end()) {
        d.token(&t);
        req->show = SHOW_INDICES_ON;
      } else {
        req->show = SHOW_TABLE;
      }
      return d.name(&req->name, "table-name");
  }
  return d.fail("Syntax error: SHOW expected (found " + tok_text(t) + ")");
}

bool decode_create_table(Decoder &d, KvRequest *req) {
  if (!d.name(&req->name, "table-name")) return false;
  while (d.peek() != TOK_END) {
    KvColumn c;
    if (!d.name(&c.name, "attrib-name")) return false;
    int t;
    if (!d.token(&t)) return false;
    int type = DBtype_number(t);
    if (type < 0) return d.fail("Syntax error: datatype expected (found " + tok_text(t) + ")");
    c.type = static_cast<KvType>(type);
    if (c.type == KV_CHARACTER || c.type == KV_BINARY) {
      int32_t n;
      if (!d.integer(&n)) return false;
      int limit = c.type == KV_CHARACTER ? KV_MAX_CHARACTER : KV_MAX_BINARY;
      if (n < 1 || n > limit)
        return d.fail("Invalid length " + std::to_string(n) + " of column " + c.name + " (1 to " +
                      std::to_string(limit) + ")");
      c.len = n;
    }
    if (d.peek() == TOK_NULL && !d.at_end()) {
      d.token(&t);
      c.notnull = true;
    }
    for (auto &o : req->coldefs)
      if (o.name == c.name) return d.fail("Column " + c.name + " given twice");
    if (!d.element()) return false;
    req->coldefs.push_back(c);
  }
  if (req->coldefs.empty()) return d.fail("Syntax error: attribute expected");
  return true;
}

bool decode_body(Decoder &d, KvRequest *req) {
  int t;
  switch (req->cmd) {
    case CMD_OPEN_DATABASE:
    case CMD_CREATE_DATABASE:
    case CMD_SET_DATABASE:
    case CMD_DROP_TABLE:
    case CMD_DROP_INDEX:
    case CMD_SET_STATIC:
    case CMD_SET_SECURE:
    case CMD_CLOSE: return d.name(&req->name, "name");
    case CMD_DROP_DATABASE:
      if (d.peek() == TOK_NAME && !d.at_end()) return d.name(&req->name, "name");
      return true;
    case CMD_DISCONNECT:
    case CMD_STOP_SERVER:
    case CMD_BEGIN:
    case CMD_COMMIT:
    case CMD_ABORT:
    case CMD_SAVE_DATABASE:
    case CMD_STOP: return true;
    case CMD_SELECT: return d.select_body(&req->select, 0) && d.expect(TOK_END, "';'");
    case CMD_DECLARE:
      return d.name(&req->name, "cursor name") && d.select_body(&req->select, 0) &&
             d.expect(TOK_END, "';'");
    case CMD_FETCH:
      if (d.peek() == TOK_ALL && !d.at_end()) {
        d.token(&t);
        req->fetch_all = true;
      }
      return d.name(&req->name, "cursor name");
    case CMD_INSERT: {
      if (!d.name(&req->name, "table-name")) return false;
      while (d.peek() == TOK_NAME && !d.at_end()) {
        std::string c;
        if (!d.name(&c, "attrib-name") || !d.element()) return false;
        req->columns.push_back(c);
      }
      if (!d.expect(TOK_VALUES, "VALUES")) return false;
      while (d.peek() != TOK_END) {
        KvLiteral lit;
        if (!d.literal(&lit) || !d.element()) return false;
        req->values.push_back(lit);
      }
      if (!d.expect(TOK_END, "';'")) return false;
      if (req->values.empty()) return d.fail("Syntax error: <value> expected");
      if (!req->columns.empty() && req->columns.size() != req->values.size())
        return d.fail("(INSERT) attributes (" + std::to_string(req->columns.size()) +
                      ") do not match values (" + std::to_string(req->values.size()) + ")");
      return true;
    }
    case CMD_UPDATE: {
      if (!d.name(&req->name, "table-name")) return false;
      while (d.peek() == TOK_NAME && !d.at_end()) {
        std::string c;
        KvLiteral lit;
        if (!d.name(&c, "attrib-name") || !d.literal(&lit) || !d.element()) return false;
        req->columns.push_back(c);
        req->values.push_back(lit);
      }
      if (req->columns.empty()) return d.fail_found("attrib-name");
      if (d.peek() == TOK_WHERE && !d.at_end()) {
        d.token(&t);
        if (!d.expression(&req->where, 0)) return false;
      }
      return d.expect(TOK_END, "';'");
    }
    case CMD_DELETE:
      if (!d.name(&req->name, "table-name")) return false;
      if (d.peek() == TOK_WHERE && !d.at_end()) {
        d.token(&t);
        if (!d.expression(&req->where, 0)) return false;
      }
      return d.expect(TOK_END, "';'");
    case CMD_MAX:
      if (d.peek() == TOK_NULL && !d.at_end()) {
        d.token(&t);
        req->max_none = true;
        return true;
      }
      if (!d.integer(&req->max)) return false;
      if (req->max < 0) return d.fail("MAX: negative result row maximum");
      return true;
    case CMD_SHOW: return decode_show(d, req);
    case CMD_CREATE_TABLE: return decode_create_table(d, req) && d.expect(TOK_END, "';'");
    case CMD_CREATE_INDEX:
    case CMD_CREATE_UNIQUE_INDEX:
      if (!d.name(&req->name, "index name") || !d.name(&req->table, "table-name")) return false;
      while (d.peek() == TOK_NAME && !d.at_end()) {
        std::string c;
        if (!d.name(&c, "attrib-name") || !d.element()) return false;
        req->columns.push_back(c);
      }
      if (req->columns.empty()) return d.fail_found("attrib-name");
      return d.expect(TOK_END, "';'");
  }
  char buf[80];
  snprintf(buf, sizeof buf, "Unknown request code %d", req->cmd);
  return d.fail(buf);
}

}  // namespace

bool kv_decode(const char *data, int len, KvRequest *req, std::string *err) {
  if (len < 1) {
    *err = "Empty request";
    return false;
  }
  req->cmd = static_cast<unsigned char>(data[0]);
  Decoder d(data, len);
  if (!decode_body(d, req)) {
    *err = d.err;
    return false;
  }
  return true;
}

std::string kv_describe(const KvRequest &req) {
  static const struct {
    int cmd;
    const char *text;
  } names[] = {
      {CMD_OPEN_DATABASE, "OPEN"},
      {CMD_DISCONNECT, "DISCONNECT"},
      {CMD_CREATE_DATABASE, "CREATE DATABASE"},
      {CMD_DROP_DATABASE, "DROP DATABASE"},
      {CMD_CREATE_TABLE, "CREATE TABLE"},
      {CMD_DROP_TABLE, "DROP TABLE"},
      {CMD_CREATE_INDEX, "CREATE INDEX"},
      {CMD_CREATE_UNIQUE_INDEX, "CREATE UNIQUE INDEX"},
      {CMD_DROP_INDEX, "DROP INDEX"},
      {CMD_SELECT, "SELECT"},
      {CMD_INSERT, "INSERT"},
      {CMD_DELETE, "DELETE"},
      {CMD_UPDATE, "UPDATE"},
      {CMD_BEGIN, "BEGIN"},
      {CMD_COMMIT, "COMMIT"},
      {CMD_ABORT, "ABORT"},
      {CMD_DECLARE, "DECLARE"},
      {CMD_FETCH, "FETCH"},
      {CMD_CLOSE, "CLOSE"},
      {CMD_SET_STATIC, "SET TABLE STATIC"},
      {CMD_SAVE_DATABASE, "SAVE DATABASE"},
      {CMD_SHOW, "SHOW"},
      {CMD_MAX, "MAX"},
      {CMD_SET_SECURE, "SET TABLE SECURE"},
      {CMD_STOP, "STOP"},
      {CMD_STOP_SERVER, "STOP SERVER"},
      {CMD_SET_DATABASE, "SET DATABASE"},
  };
  std::string s = "?";
  for (auto &n : names)
    if (n.cmd == req.cmd) s = n.text;
  if (!req.name.empty()) s += " " + req.name;
  if (req.cmd == CMD_MAX) s += req.max_none ? " (none)" : " " + std::to_string(req.max);
  return s;
}
