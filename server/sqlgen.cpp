// SQL generation of korvald.  See sqlgen.h.
#include "server/sqlgen.h"

#include "proto/query.h"

// The tables a name may refer to: those of the SELECT being built, then
// those of the SELECTs around it (a subselect sees its outer tables).
struct SqlGen::Scope {
  struct Table {
    std::string ref;  // alias, or the table name
    std::string table;
    std::vector<KvColumn> cols;
  };
  std::vector<Table> tables;
  const Scope *outer = nullptr;
};

namespace {

// The SQL of a comparison token.
const char *op_sql(int op) {
  switch (op) {
    case TOK_EQ: return " = ";
    case TOK_LT: return " < ";
    case TOK_GT: return " > ";
    case TOK_LE: return " <= ";
    case TOK_GE: return " >= ";
    case TOK_NE: return " <> ";
    case TOK_LIKE: return " LIKE ";
  }
  return " = ";
}

// The field size of a result column of c's type.
int field_size(const KvColumn &c) {
  const DBTYPE &t = db_types[c.type];
  return t.sized ? t.size + c.len : t.size;
}

}  // namespace

bool SqlGen::fail(const std::string &text) {
  if (err.empty()) err = text;
  return false;
}

// Finds a column; *found is the column description.
bool SqlGen::resolve(const Scope *scope, const std::string &qual, const std::string &name,
                     const KvColumn **found) {
  for (const Scope *s = scope; s; s = s->outer) {
    const KvColumn *hit = nullptr;
    bool table_hit = false;
    for (auto &t : s->tables) {
      if (!qual.empty() && !kv_same_name(t.ref, qual)) continue;
      table_hit = true;
      for (auto &c : t.cols) {
        if (!kv_same_name(c.name, name)) continue;
        if (hit) return fail("Column " + name + " is ambiguous");
        hit = &c;
      }
    }
    if (hit) {
      *found = hit;
      return true;
    }
    if (!qual.empty() && table_hit) return fail("Column " + qual + "." + name + " does not exist");
  }
  if (!qual.empty()) return fail("Table " + qual + " is not in the FROM list");
  return fail("Column " + name + " does not exist");
}

void SqlGen::column_sql(const std::string &qual, const std::string &name) {
  if (!qual.empty()) sql += kv_quote(qual) + ".";
  sql += kv_quote(name);
}

void SqlGen::bind(const KvBound &b) {
  sql += "?";
  binds.push_back(b);
}

void SqlGen::insert(const std::string &table, const std::vector<const KvColumn *> &cols,
                    const std::vector<KvBound> &values) {
  sql += "INSERT INTO " + kv_quote(table) + " (";
  for (size_t i = 0; i < cols.size(); i++) sql += (i ? ", " : "") + kv_quote(cols[i]->name);
  sql += ") VALUES (";
  for (size_t i = 0; i < values.size(); i++) {
    if (i) sql += ", ";
    bind(values[i]);
  }
  sql += ")";
}

// A literal compared with the column col (may be null).
bool SqlGen::operand(const KvExpr &e, const Scope *scope, const KvColumn *col, bool like) {
  if (e.kind != KvExpr::LITERAL) return expr(e, scope);
  KvBound b;
  if (col && !like) {
    if (!kv_convert_operand(e.lit, *col, &b, &err)) return false;
  } else {
    b = kv_bound_literal(e.lit);
  }
  bind(b);
  return true;
}

// The column of a column operand; null for any other operand or an error.
const KvColumn *SqlGen::column_of(const KvExpr &e, const Scope *scope) {
  const KvColumn *c = nullptr;
  if (e.kind == KvExpr::COLUMN && !resolve(scope, e.qual, e.name, &c)) return nullptr;
  return c;
}

bool SqlGen::expr(const KvExpr &e, const Scope *sc) {
  switch (e.kind) {
    case KvExpr::COLUMN: {
      const KvColumn *c;
      if (!resolve(sc, e.qual, e.name, &c)) return false;
      column_sql(e.qual, e.name);
      return true;
    }
    case KvExpr::LITERAL: bind(kv_bound_literal(e.lit)); return true;
    case KvExpr::COMPARE: {
      const KvExpr &l = *e.kids[0], &r = *e.kids[1];
      if (!err.empty()) return false;
      const KvColumn *lc = l.kind == KvExpr::COLUMN ? column_of(l, sc) : nullptr;
      const KvColumn *rc = r.kind == KvExpr::COLUMN ? column_of(r, sc) : nullptr;
      if (!err.empty()) return false;
      bool like = e.op == TOK_LIKE;
      sql += "(";
      if (!operand(l, sc, rc, like)) return false;
      sql += op_sql(e.op);
      if (!operand(r, sc, lc, like)) return false;
      if (like) sql += " ESCAPE '\\'";
      sql += ")";
      return true;
    }
    case KvExpr::COMPARE_SUB:
      sql += "(";
      if (!expr(*e.kids[0], sc)) return false;
      sql += op_sql(e.op);
      sql += "(";
      if (!select(*e.sub, sc, nullptr)) return false;
      sql += "))";
      return true;
    case KvExpr::AND:
    case KvExpr::OR:
      sql += "(";
      if (!expr(*e.kids[0], sc)) return false;
      sql += e.kind == KvExpr::AND ? " AND " : " OR ";
      if (!expr(*e.kids[1], sc)) return false;
      sql += ")";
      return true;
    case KvExpr::NOT:
      sql += "(NOT ";
      if (!expr(*e.kids[0], sc)) return false;
      sql += ")";
      return true;
    case KvExpr::IN_LIST:
    case KvExpr::BETWEEN: {
      const KvColumn *lc = column_of(*e.kids[0], sc);
      if (!err.empty()) return false;
      sql += "(";
      if (!expr(*e.kids[0], sc)) return false;
      sql += e.kind == KvExpr::IN_LIST ? " IN (" : " BETWEEN ";
      for (size_t i = 1; i < e.kids.size(); i++) {
        if (i > 1) sql += e.kind == KvExpr::IN_LIST ? ", " : " AND ";
        if (!operand(*e.kids[i], sc, lc, false)) return false;
      }
      sql += e.kind == KvExpr::IN_LIST ? "))" : ")";
      return true;
    }
    case KvExpr::IN_SELECT:
      sql += "(";
      if (!expr(*e.kids[0], sc)) return false;
      sql += " IN (";
      if (!select(*e.sub, sc, nullptr)) return false;
      sql += "))";
      return true;
    case KvExpr::EXISTS:
      sql += "(EXISTS (";
      if (!select(*e.sub, sc, nullptr)) return false;
      sql += "))";
      return true;
    case KvExpr::SUBSELECT: return fail("A subselect alone is not a condition (use EXISTS)");
  }
  return fail("Unknown condition");
}

// The SELECT inside the scope outer (null for a statement's own SELECT).
bool SqlGen::select(const KvSelect &sel, const Scope *outer, std::vector<KvField> *fields) {
  Scope scope;
  scope.outer = outer;
  for (auto &t : sel.from) {
    Scope::Table st;
    st.table = t.name;
    st.ref = t.alias.empty() ? t.name : t.alias;
    if (!columns_(t.name, &st.cols)) return fail("Table " + t.name + " does not exist");
    for (auto &o : scope.tables)
      if (kv_same_name(o.ref, st.ref))
        return fail("Table " + st.ref + " appears twice in the FROM list");
    scope.tables.push_back(std::move(st));
  }
  sql += sel.distinct ? "SELECT DISTINCT " : "SELECT ";
  bool first = true;
  auto sep = [&]() {
    if (!first) sql += ", ";
    first = false;
  };
  for (auto &item : sel.items) {
    switch (item.kind) {
      case KvSelItem::STAR: {
        bool any = false;
        for (auto &t : scope.tables) {
          if (!item.qual.empty() && !kv_same_name(t.ref, item.qual)) continue;
          any = true;
          for (auto &c : t.cols) {
            sep();
            column_sql(t.ref, c.name);
            if (fields) fields->push_back({c.name, c.type, field_size(c)});
          }
        }
        if (!any) return fail("Table " + item.qual + " is not in the FROM list");
        break;
      }
      case KvSelItem::COUNT:
        sep();
        sql += "COUNT(*)";
        if (fields) fields->push_back({"COUNT(*)", KV_INTEGER, db_types[KV_INTEGER].size});
        break;
      case KvSelItem::MIN:
      case KvSelItem::MAX:
      case KvSelItem::COLUMN: {
        const KvColumn *c;
        if (!resolve(&scope, item.qual, item.name, &c)) return false;
        sep();
        std::string name = item.name;
        if (item.kind != KvSelItem::COLUMN) {
          const char *fn = item.kind == KvSelItem::MIN ? "MIN" : "MAX";
          sql += fn;
          sql += "(";
          name = std::string(fn) + "(" + item.name + ")";
        }
        column_sql(item.qual, item.name);
        if (item.kind != KvSelItem::COLUMN) sql += ")";
        if (fields) fields->push_back({name, c->type, field_size(*c)});
        break;
      }
    }
  }
  sql += " FROM ";
  for (size_t i = 0; i < sel.from.size(); i++) {
    if (i) sql += ", ";
    sql += kv_quote(sel.from[i].name);
    if (!sel.from[i].alias.empty()) sql += " AS " + kv_quote(sel.from[i].alias);
  }
  if (sel.where) {
    sql += " WHERE ";
    if (!expr(*sel.where, &scope)) return false;
  }
  if (!sel.order.empty()) {
    sql += " ORDER BY ";
    for (size_t i = 0; i < sel.order.size(); i++) {
      const KvColumn *c;
      if (!resolve(&scope, sel.order[i].qual, sel.order[i].name, &c)) return false;
      if (i) sql += ", ";
      column_sql(sel.order[i].qual, sel.order[i].name);
      if (sel.order[i].desc) sql += " DESC";
    }
  }
  return true;
}

bool SqlGen::where_on(const std::string &table, const std::vector<KvColumn> &cols,
                      const KvExpr &e) {
  Scope scope;
  scope.tables.push_back({table, table, cols});
  sql += " WHERE ";
  return expr(e, &scope);
}
