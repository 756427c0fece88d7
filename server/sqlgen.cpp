// SQL generation of korvald.  See sqlgen.h.
#include "server/sqlgen.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "proto/query.h"

// The tables a name may refer to: those of the SELECT being built, then
// those of the SELECTs around it (a subselect sees its outer tables).
struct SqlGen::Scope {
  struct Table {
    std::string ref;  // alias, or the table name
    std::string table;
    std::string stored;  // the name as stored, when another spelling
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

// A column's SQL: "Q"."N" or "N".
std::string ref(const std::string &qual, const std::string &name) {
  return (qual.empty() ? "" : kv_quote(qual) + ".") + kv_quote(name);
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

std::string SqlGen::param(const KvBound &b) {
  binds.push_back(b);
  return dialect_.numbered_params ? "$" + std::to_string(binds.size()) : "?";
}

void SqlGen::bind(const KvBound &b) { sql += param(b); }

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
  if (dialect_.strict) {
    std::string c;
    if (!cond(e, sc, &c)) return false;
    sql += c;
    return true;
  }
  switch (e.kind) {
    case KvExpr::COLUMN: {
      const KvColumn *c;
      if (!resolve(sc, e.qual, e.name, &c)) return false;
      sql += ref(e.qual, c->name);
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
    if (!columns_(t.name, &st.cols, &st.stored))
      return fail(st.stored.empty() ? "Table " + t.name + " does not exist" : st.stored);
    for (auto &o : scope.tables)
      if (kv_same_name(o.ref, st.ref))
        return fail("Table " + st.ref + " appears twice in the FROM list");
    scope.tables.push_back(std::move(st));
  }
  std::vector<std::string> items;
  if (!select_items(sel, scope, &items, fields)) return false;
  if (dialect_.strict) return select_strict(sel, scope, items);
  sql += sel.distinct ? "SELECT DISTINCT " : "SELECT ";
  for (size_t i = 0; i < items.size(); i++) sql += (i ? ", " : "") + items[i];
  sql += from_list(sel, scope);
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
      sql += ref(sel.order[i].qual, c->name);
      if (sel.order[i].desc) sql += " DESC";
    }
  }
  return true;
}

bool SqlGen::where_on(const std::string &table, const std::vector<KvColumn> &cols,
                      const KvExpr &e) {
  Scope scope;
  scope.tables.push_back({table, table, "", cols});
  sql += " WHERE ";
  return expr(e, &scope);
}

// ---------------------------------------------------------------------------
// The strict dialect.  SQLite compares values by their storage classes
// (NULL < numbers < texts < blobs) after applying affinities: a column's
// numeric affinity turns a text that spells a number into that number, a
// text column's affinity turns a number without affinity (a value, COUNT,
// a condition) into its text.  Each operand is therefore described by what
// SQLite holds in it (Val), and compare() writes out what SQLite does,
// with the value of a comparison between different classes known in
// advance (NULL where an operand is NULL).

struct SqlGen::Val {
  enum Cls { NUM, TEXT, BLOB, DATE, TIME, TS } cls = NUM;
  enum Aff { NONE, TEXT_AFF, NUMERIC } aff = NONE;
  std::string sql;       // a column's or an expression's SQL
  bool literal = false;  // a value, in b, bound when it is emitted
  KvBound b;
  bool is_float = false;  // a double: its text is SQLite's "%!.15g"
};

namespace {

// A whole text SQLite reads as a number under numeric affinity, and the
// number a text begins with (what SQLite takes for its truth).
const char kNumberRe[] = "'^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?\\s*$'";
const char kPrefixRe[] = "'^(\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?)'";

bool space(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }
bool digit(char c) { return isdigit(static_cast<unsigned char>(c)) != 0; }

// The length of the number s begins with (after blanks; as kPrefixRe), 0
// when it begins with none.
size_t number_prefix(const std::string &s) {
  size_t i = 0, n = s.size(), digits = 0;
  while (i < n && space(s[i])) i++;
  if (i < n && (s[i] == '+' || s[i] == '-')) i++;
  for (; i < n && digit(s[i]); i++) digits++;
  if (i < n && s[i] == '.')
    for (i++; i < n && digit(s[i]); i++) digits++;
  if (!digits) return 0;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < n && (s[j] == '+' || s[j] == '-')) j++;
    if (j < n && digit(s[j])) {
      while (j < n && digit(s[j])) j++;
      i = j;
    }
  }
  return i;
}

// A text that is a number as a whole (as kNumberRe) becomes that number.
bool numeric_bound(const std::string &s, KvBound *out) {
  size_t end = number_prefix(s);
  if (!end) return false;
  for (size_t i = end; i < s.size(); i++)
    if (!space(s[i])) return false;
  double d = strtod(s.c_str(), nullptr);
  *out = KvBound();
  if (d == std::floor(d) && std::fabs(d) < 9e18) {
    out->kind = KvBound::INT;
    out->i = static_cast<int64_t>(d);
  } else {
    out->kind = KvBound::REAL;
    out->d = d;
  }
  return true;
}

// SQLite's text of a double: 15 digits, always with a point.
std::string real_text(double d) {
  char buf[40];
  snprintf(buf, sizeof buf, "%.15g", d);
  std::string s = buf;
  if (s.find_first_of(".ni") != std::string::npos) return s;  // has a point, inf or nan
  size_t e = s.find('e');
  return e == std::string::npos ? s + ".0" : s.insert(e, ".0");
}

// SQLite's text of a value.
std::string bound_text(const KvBound &b) {
  switch (b.kind) {
    case KvBound::INT: return std::to_string(b.i);
    case KvBound::REAL: return real_text(b.d);
    default: return b.s;
  }
}

// A LIKE pattern ending in a lone backslash: korvald's LIKE takes it as
// itself, PostgreSQL refuses it, so it is escaped.
std::string whole_escapes(std::string p) {
  size_t run = 0;
  for (size_t k = p.size(); k > 0 && p[k - 1] == '\\'; k--) run++;
  if (run % 2) p += '\\';
  return p;
}

SqlGen::Val::Cls cls_of(KvType t) {
  switch (t) {
    case KV_CHARACTER: return SqlGen::Val::TEXT;
    case KV_BINARY: return SqlGen::Val::BLOB;
    case KV_DATE: return SqlGen::Val::DATE;
    case KV_TIME: return SqlGen::Val::TIME;
    case KV_TIMESTAMP: return SqlGen::Val::TS;
    default: return SqlGen::Val::NUM;
  }
}

// The storage class: numbers, texts, blobs.
int rank(const SqlGen::Val &v) {
  return v.cls == SqlGen::Val::NUM ? 0 : v.cls == SqlGen::Val::BLOB ? 2 : 1;
}

bool ordering(int op) { return op == TOK_LT || op == TOK_GT || op == TOK_LE || op == TOK_GE; }

}  // namespace

std::string SqlGen::emit(const Val &v) { return v.literal ? param(v.b) : v.sql; }

// SQLite's text of v (not for blobs).
std::string SqlGen::text_of(const Val &v) {
  if (v.literal) {
    KvBound t;
    t.kind = KvBound::TEXT;
    t.s = bound_text(v.b);
    return param(t);
  }
  const std::string &x = v.sql;
  switch (v.cls) {
    case Val::NUM:
      if (!v.is_float) return "CAST(" + x + " AS text)";
      // numeric is made with 15 digits, as SQLite writes a double
      return "(CASE WHEN " + x + " = 0 THEN '0.0' WHEN abs(" + x + ") >= 1e-4 AND abs(" + x +
             ") < 1e15 THEN regexp_replace(CAST(CAST(" + x +
             " AS numeric) AS text), '^(-?\\d+)$', '\\1.0') ELSE "
             "regexp_replace(regexp_replace(btrim(to_char(CAST(" +
             x + " AS numeric), '9.99999999999999EEEE')), '0+e', 'e'), '\\.e', '.0e') END)";
    case Val::DATE: return "to_char(" + x + ", 'YYYY-MM-DD')";
    case Val::TIME: return "to_char(" + x + ", 'HH24:MI:SS')";
    case Val::TS: return "to_char(" + x + ", 'YYYY-MM-DD-HH24.MI.SS.US')";
    default: return x;
  }
}

std::string SqlGen::compare(const Val &l0, int op, const Val &r0) {
  Val l = l0, r = r0;
  // Numeric affinity on a text: a value is read now, a column when it runs.
  Val *maybe = nullptr;
  auto numeric = [&](Val &v) {
    if (v.cls != Val::TEXT) return;
    if (!v.literal) {
      maybe = &v;
    } else if (numeric_bound(v.b.s, &v.b)) {
      v.cls = Val::NUM;
    }
  };
  auto text = [&](Val &v) {
    if (v.literal) {
      v.b.s = bound_text(v.b);
      v.b.kind = KvBound::TEXT;
    } else {
      v.sql = text_of(v);
    }
    v.cls = Val::TEXT;
  };
  if (l.aff == Val::NUMERIC && r.aff != Val::NUMERIC) {
    numeric(r);
  } else if (r.aff == Val::NUMERIC && l.aff != Val::NUMERIC) {
    numeric(l);
  } else if (l.aff == Val::TEXT_AFF && r.aff == Val::NONE && r.cls == Val::NUM) {
    text(r);
  } else if (r.aff == Val::TEXT_AFF && l.aff == Val::NONE && l.cls == Val::NUM) {
    text(l);
  }

  // The comparison of values of their classes.
  auto plain = [&](const Val &a, const Val &b) -> std::string {
    int ra = rank(a), rb = rank(b);
    if (ra != rb) {
      bool yes =
          op == TOK_NE || (ra < rb ? op == TOK_LT || op == TOK_LE : op == TOK_GT || op == TOK_GE);
      std::string known;
      for (const Val *v : {&a, &b})
        if (!v->literal) known += (known.empty() ? "" : " AND ") + v->sql + " IS NOT NULL";
      if (known.empty()) return yes ? "TRUE" : "FALSE";
      return yes ? "(" + known + " OR NULL)" : "(NOT (" + known + ") AND NULL)";
    }
    if (ra == 1 && (a.cls != b.cls || a.cls == Val::TEXT))
      return "(" + text_of(a) + (ordering(op) ? " COLLATE \"C\"" : "") + op_sql(op) + text_of(b) +
             ")";
    return "(" + emit(a) + op_sql(op) + emit(b) + ")";
  };
  if (!maybe) return plain(l, r);
  Val num = *maybe;
  num.cls = Val::NUM;
  num.aff = Val::NONE;
  num.sql = "CAST(" + maybe->sql + " AS float8)";
  std::string as_number = maybe == &l ? plain(num, r) : plain(l, num);
  return "(CASE WHEN " + maybe->sql + " ~ " + kNumberRe + " THEN " + as_number + " ELSE " +
         plain(l, r) + " END)";
}

// l LIKE r on SQLite's texts of both; blobs and texts meet as bytes.
std::string SqlGen::like(const Val &l, const Val &r) {
  bool bytes = l.cls == Val::BLOB || r.cls == Val::BLOB;
  auto side = [&](const Val &v, bool pattern) -> std::string {
    if (v.literal) {
      KvBound b;
      b.kind = bytes ? KvBound::BLOB : KvBound::TEXT;
      b.s = pattern ? whole_escapes(bound_text(v.b)) : bound_text(v.b);
      return param(b);
    }
    if (v.cls == Val::BLOB) return v.sql;
    std::string t = text_of(v);
    if (bytes) return "convert_to(" + t + ", 'LATIN1')";
    if (pattern) return "regexp_replace(" + t + ", '^((?:[^\\\\]|\\\\.)*)\\\\$', '\\1\\\\\\\\')";
    return t;
  };
  // PostgreSQL's LIKE escapes with a backslash, as korvald's SQLite LIKE
  std::string left = side(l, false);
  return "(" + left + " LIKE " + side(r, true) + ")";
}

// The value of an operand: a column, a value (converted for the column it
// is compared with, other) or a condition (0 or 1, as in SQLite).
bool SqlGen::value(const KvExpr &e, const Scope *sc, const KvColumn *other, Val *v) {
  *v = Val();
  if (e.kind == KvExpr::COLUMN) {
    const KvColumn *c;
    if (!resolve(sc, e.qual, e.name, &c)) return false;
    v->cls = cls_of(c->type);
    v->aff = c->type == KV_CHARACTER ? Val::TEXT_AFF : Val::NUMERIC;
    v->is_float = c->type == KV_FLOAT;
    if (!e.qual.empty()) v->sql = kv_quote(e.qual) + ".";
    v->sql += kv_quote(c->name);
    return true;
  }
  if (e.kind == KvExpr::LITERAL) {
    v->literal = true;
    if (!other) {
      v->b = kv_bound_literal(e.lit);
    } else if (!kv_convert_operand(e.lit, *other, &v->b, &err)) {
      return false;
    }
    DATE d;
    if (dialect_.gregorian &&
        (v->b.form == KvBound::AS_DATE || v->b.form == KvBound::AS_TIMESTAMP) &&
        kv_parse_date(v->b.s.substr(0, 10), &d) && !kv_gregorian(d))
      v->b.form = KvBound::AS_IS;  // no stored date is this day: compared as text
    switch (v->b.kind) {
      case KvBound::TEXT:
        v->cls = v->b.form == KvBound::AS_DATE        ? Val::DATE
                 : v->b.form == KvBound::AS_TIME      ? Val::TIME
                 : v->b.form == KvBound::AS_TIMESTAMP ? Val::TS
                                                      : Val::TEXT;
        break;
      case KvBound::BLOB: v->cls = Val::BLOB; break;
      default: v->cls = Val::NUM;
    }
    return true;
  }
  std::string c;
  if (!cond(e, sc, &c)) return false;
  v->sql = "CAST(" + c + " AS integer)";
  return true;
}

// A subselect compared with a value; with first, its first row (SQLite's
// reading), else its SELECT.
bool SqlGen::subvalue(const KvSelect &sub, const Scope *sc, bool first, Val *v) {
  std::string outer;
  outer.swap(sql);
  std::vector<KvField> fields;
  bool ok = select(sub, sc, &fields);
  sql.swap(outer);
  if (!ok) return false;
  if (fields.size() != 1)
    return fail("sub-select returns " + std::to_string(fields.size()) + " columns - expected 1");
  *v = Val();
  v->cls = cls_of(fields[0].type);
  // only a plain column gives its affinity; COUNT, MIN and MAX have none
  if (sub.items[0].kind == KvSelItem::COLUMN || sub.items[0].kind == KvSelItem::STAR)
    v->aff = fields[0].type == KV_CHARACTER ? Val::TEXT_AFF : Val::NUMERIC;
  v->is_float = fields[0].type == KV_FLOAT;
  v->sql = first ? "(" + outer + " LIMIT 1)" : outer;
  return true;
}

// SQLite's truth of a value: its number is not 0 (a text's number is the
// one it begins with; a date's is its year, a time's its hour).
static std::string truth(const SqlGen::Val &v) {
  if (v.literal) {
    bool yes = v.b.kind == KvBound::INT ? v.b.i != 0
               : v.b.kind == KvBound::REAL
                   ? v.b.d != 0
                   : strtod(v.b.s.substr(0, number_prefix(v.b.s)).c_str(), nullptr) != 0;
    return yes ? "TRUE" : "FALSE";
  }
  const std::string &x = v.sql;
  auto prefix = [](const std::string &t) {
    return "(CAST(COALESCE(substring(" + t + " FROM " + kPrefixRe + "), CASE WHEN " + t +
           " IS NOT NULL THEN '0' END) AS numeric) <> 0)";
  };
  switch (v.cls) {
    case SqlGen::Val::NUM: return "(" + x + " <> 0)";
    case SqlGen::Val::TEXT: return prefix(x);
    case SqlGen::Val::BLOB: return prefix("encode(" + x + ", 'escape')");
    case SqlGen::Val::TIME: return "(EXTRACT(HOUR FROM " + x + ") <> 0)";
    default: return "(" + x + " IS NOT NULL OR NULL)";
  }
}

bool SqlGen::cond(const KvExpr &e, const Scope *sc, std::string *out) {
  Val l, r;
  std::string a, b;
  switch (e.kind) {
    case KvExpr::COLUMN:
    case KvExpr::LITERAL:
      if (!value(e, sc, nullptr, &l)) return false;
      *out = truth(l);
      return true;
    case KvExpr::COMPARE: {
      const KvExpr &le = *e.kids[0], &re = *e.kids[1];
      bool is_like = e.op == TOK_LIKE;
      const KvColumn *lc = is_like ? nullptr : column_of(le, sc);
      const KvColumn *rc = is_like ? nullptr : column_of(re, sc);
      if (!err.empty() || !value(le, sc, rc, &l) || !value(re, sc, lc, &r)) return false;
      *out = is_like ? like(l, r) : compare(l, e.op, r);
      return true;
    }
    case KvExpr::COMPARE_SUB:
      if (!value(*e.kids[0], sc, nullptr, &l) || !subvalue(*e.sub, sc, true, &r)) return false;
      *out = e.op == TOK_LIKE ? like(l, r) : compare(l, e.op, r);
      return true;
    case KvExpr::AND:
    case KvExpr::OR:
      if (!cond(*e.kids[0], sc, &a) || !cond(*e.kids[1], sc, &b)) return false;
      *out = "(" + a + (e.kind == KvExpr::AND ? " AND " : " OR ") + b + ")";
      return true;
    case KvExpr::NOT:
      if (!cond(*e.kids[0], sc, &a)) return false;
      *out = "(NOT " + a + ")";
      return true;
    case KvExpr::IN_LIST:
    case KvExpr::BETWEEN: {
      // as SQLite reads them: x = v1 OR x = v2 ..., x >= v1 AND x <= v2
      const KvColumn *lc = column_of(*e.kids[0], sc);
      if (!err.empty() || !value(*e.kids[0], sc, nullptr, &l)) return false;
      bool in = e.kind == KvExpr::IN_LIST;
      *out = "(";
      for (size_t i = 1; i < e.kids.size(); i++) {
        if (!value(*e.kids[i], sc, lc, &r)) return false;
        if (i > 1) *out += in ? " OR " : " AND ";
        *out += compare(l, in ? TOK_EQ : i == 1 ? TOK_GE : TOK_LE, r);
      }
      *out += ")";
      return true;
    }
    case KvExpr::IN_SELECT: {
      if (!value(*e.kids[0], sc, nullptr, &l) || !subvalue(*e.sub, sc, false, &r)) return false;
      const std::string &sub = r.sql;
      Val x = r;
      x.sql = "\"kv_s\".\"kv_v\"";
      bool same = rank(l) == rank(r) && (rank(l) != 1 || l.cls == r.cls) &&
                  !(l.cls == Val::TEXT && r.aff == Val::NUMERIC) &&
                  !(r.cls == Val::TEXT && l.aff == Val::NUMERIC);
      if (same) {
        *out = "(" + emit(l) + " IN (" + sub + "))";
      } else {
        // x = each value, in IN's three values: true for a match, else
        // NULL for a NULL among them, else false
        *out =
            "(SELECT CASE WHEN bool_or(\"kv_c\") THEN TRUE WHEN bool_or(\"kv_c\" IS NULL) "
            "THEN NULL ELSE FALSE END FROM (SELECT " +
            compare(l, TOK_EQ, x) + " AS \"kv_c\" FROM (" + sub +
            ") AS \"kv_s\"(\"kv_v\")) AS \"kv_q\")";
      }
      return true;
    }
    case KvExpr::EXISTS: {
      std::string outer;
      outer.swap(sql);
      bool ok = select(*e.sub, sc, nullptr);
      sql.swap(outer);
      if (!ok) return false;
      *out = "(EXISTS (" + outer + "))";
      return true;
    }
    case KvExpr::SUBSELECT: return fail("A subselect alone is not a condition (use EXISTS)");
  }
  return fail("Unknown condition");
}

// The SQL of the result columns, with their descriptions (fields may be
// null).  In the strict dialect a plain column beside COUNT, MIN or MAX (no
// GROUP BY: one row) is taken from the row of the one MIN or MAX, as in
// SQLite; texts have their MIN and MAX in byte order.
bool SqlGen::select_items(const KvSelect &sel, const Scope &scope, std::vector<std::string> *items,
                          std::vector<KvField> *fields) {
  bool agg = false, plain = false;
  int extremes = 0;
  const KvSelItem *key_item = nullptr;
  for (auto &item : sel.items) {
    if (item.kind == KvSelItem::MIN || item.kind == KvSelItem::MAX) {
      extremes++;
      key_item = &item;
    }
    (item.kind == KvSelItem::COLUMN || item.kind == KvSelItem::STAR ? plain : agg) = true;
  }
  bool strict = dialect_.strict;
  auto sortable = [&](const std::string &r, const KvColumn &c) {
    return strict && c.type == KV_CHARACTER ? r + " COLLATE \"C\"" : r;
  };
  std::string key;  // the order that gives the row of the one MIN or MAX
  if (strict && agg && plain && extremes == 1) {
    const KvColumn *c;
    if (!resolve(&scope, key_item->qual, key_item->name, &c)) return false;
    key = " ORDER BY " + sortable(ref(key_item->qual, c->name), *c) +
          (key_item->kind == KvSelItem::MAX ? " DESC" : "") + " NULLS LAST";
  }
  auto plain_sql = [&](const std::string &r) {
    return strict && agg ? "(array_agg(" + r + key + "))[1]" : r;
  };
  for (auto &item : sel.items) {
    switch (item.kind) {
      case KvSelItem::STAR: {
        bool any = false;
        for (auto &t : scope.tables) {
          if (!item.qual.empty() && !kv_same_name(t.ref, item.qual)) continue;
          any = true;
          for (auto &c : t.cols) {
            items->push_back(plain_sql(ref(t.ref, c.name)));
            if (fields) fields->push_back({c.name, c.type, field_size(c)});
          }
        }
        if (!any) return fail("Table " + item.qual + " is not in the FROM list");
        break;
      }
      case KvSelItem::COUNT:
        items->push_back("COUNT(*)");
        if (fields) fields->push_back({"COUNT(*)", KV_INTEGER, db_types[KV_INTEGER].size});
        break;
      case KvSelItem::MIN:
      case KvSelItem::MAX:
      case KvSelItem::COLUMN: {
        const KvColumn *c;
        if (!resolve(&scope, item.qual, item.name, &c)) return false;
        std::string r = ref(item.qual, c->name), name = item.name;
        if (item.kind == KvSelItem::COLUMN) {
          items->push_back(plain_sql(r));
        } else {
          const char *fn = item.kind == KvSelItem::MIN ? "MIN" : "MAX";
          name = std::string(fn) + "(" + item.name + ")";
          if (strict && c->type == KV_BINARY)  // bytea has no MIN and MAX
            items->push_back("(array_agg(" + r + " ORDER BY " + r +
                             (item.kind == KvSelItem::MAX ? " DESC" : "") + ") FILTER (WHERE " + r +
                             " IS NOT NULL))[1]");
          else
            items->push_back(std::string(fn) + "(" + sortable(r, *c) + ")");
        }
        if (fields) fields->push_back({name, c->type, field_size(*c)});
        break;
      }
    }
  }
  return true;
}

std::string kv_table_sql(const std::string &name, const std::string &stored,
                         const std::string &alias) {
  std::string sql = kv_quote(stored.empty() ? name : stored);
  if (!alias.empty()) return sql + " AS " + kv_quote(alias);
  if (!stored.empty() && stored != name) return sql + " AS " + kv_quote(name);
  return sql;
}

// " FROM " and the tables.
std::string SqlGen::from_list(const KvSelect &sel, const Scope &scope) {
  std::string from = " FROM ";
  for (size_t i = 0; i < sel.from.size(); i++) {
    if (i) from += ", ";
    from += kv_table_sql(sel.from[i].name, scope.tables[i].stored, sel.from[i].alias);
  }
  return from;
}

// The SELECT in the strict dialect.  A row of COUNT, MIN or MAX has no
// order.  SELECT DISTINCT sorted by anything is sorted outside, since
// PostgreSQL sorts it only by its result columns as they are.
bool SqlGen::select_strict(const KvSelect &sel, Scope &scope,
                           const std::vector<std::string> &items) {
  bool agg = false;
  for (auto &item : sel.items)
    agg = agg || (item.kind != KvSelItem::COLUMN && item.kind != KvSelItem::STAR);
  std::string from = from_list(sel, scope);
  if (sel.where) {
    std::string c;
    if (!cond(*sel.where, &scope, &c)) return false;
    from += " WHERE " + c;
  }
  std::vector<std::string> keys, orders;  // sort keys; their order
  for (auto &o : sel.order) {
    const KvColumn *c;
    if (!resolve(&scope, o.qual, o.name, &c)) return false;
    keys.push_back(ref(o.qual, c->name));
    orders.push_back(std::string(c->type == KV_CHARACTER ? " COLLATE \"C\"" : "") +
                     (o.desc ? " DESC NULLS LAST" : " NULLS FIRST"));
  }
  if (agg) keys.clear();

  if (sel.distinct && !keys.empty()) {
    sql += "SELECT ";
    for (size_t i = 0; i < items.size(); i++)
      sql += (i ? ", \"kv_" : "\"kv_") + std::to_string(i + 1) + "\"";
    std::string inner = "SELECT DISTINCT ON (";
    for (size_t i = 0; i < items.size(); i++) inner += (i ? ", " : "") + items[i];
    inner += ")";
    for (size_t i = 0; i < items.size(); i++)
      inner += (i ? ", " : " ") + items[i] + " AS \"kv_" + std::to_string(i + 1) + "\"";
    for (size_t i = 0; i < keys.size(); i++)
      inner += ", " + keys[i] + " AS \"kv_o" + std::to_string(i + 1) + "\"";
    sql += " FROM (" + inner + from + ") AS \"kv_d\" ORDER BY ";
    for (size_t i = 0; i < keys.size(); i++)
      sql += (i ? ", \"kv_o" : "\"kv_o") + std::to_string(i + 1) + "\"" + orders[i];
    return true;
  }
  sql += sel.distinct ? "SELECT DISTINCT " : "SELECT ";
  for (size_t i = 0; i < items.size(); i++) sql += (i ? ", " : "") + items[i];
  sql += from;
  for (size_t i = 0; i < keys.size(); i++) sql += (i ? ", " : " ORDER BY ") + keys[i] + orders[i];
  return true;
}
