// Fuzz tests of korvald's request decoder (kv_decode of server/decode.h):
// random requests, mutated requests of the client's translator, random
// sequences of well-formed tokens, and hostile shapes (deep nesting, huge
// counts) must decode or fail with a text, never crash.  A round trip checks
// both sides of the protocol together: random conditions and select bodies
// written as SQL, translated by scan_sql and decoded by kv_decode come back
// as the trees they were made from.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dbclient/grammar.h"
#include "proto/query.h"
#include "server/decode.h"
#include "tests/fuzz/fuzz.h"

using fuzz::Bytes;
using fuzz::request;
using fuzz::Rng;

namespace {

// Decodes b from an exactly sized block; checks the outcome.
bool decode(const Bytes &b, KvRequest *req, std::string *err) {
  fuzz::Exact x(b);
  err->clear();
  bool ok = kv_decode(x.data(), x.size(), req, err);
  if (!ok) {
    EXPECT_FALSE(err->empty()) << "refused without a text: " << fuzz::hex(b);
  }
  EXPECT_FALSE(kv_describe(*req).empty());
  return ok;
}

bool decode(const Bytes &b) {
  KvRequest req;
  std::string err;
  return decode(b, &req, &err);
}

// ---------------------------------------------------------------------------
// Printing decoded trees in one canonical form.

std::string show_select(const KvSelect &s);

std::string show_lit(const KvLiteral &l) {
  char buf[64];
  switch (l.kind) {
    case KvLiteral::INT: return std::to_string(l.i);
    case KvLiteral::FLOAT: {
      uint64_t bits;
      memcpy(&bits, &l.d, 8);
      snprintf(buf, sizeof buf, "f%016llx", static_cast<unsigned long long>(bits));
      return buf;
    }
    case KvLiteral::STR: return "'" + l.s + "'";
  }
  return "?";
}

std::string show_expr(const KvExpr &e) {
  auto kids = [&]() {
    std::string s;
    for (size_t i = 0; i < e.kids.size(); i++) s += (i ? "," : "") + show_expr(*e.kids[i]);
    return s;
  };
  std::string sub = e.sub ? "{" + show_select(*e.sub) + "}" : "";
  switch (e.kind) {
    case KvExpr::COLUMN: return e.qual.empty() ? e.name : e.qual + "." + e.name;
    case KvExpr::LITERAL: return show_lit(e.lit);
    case KvExpr::COMPARE: return std::string(1, static_cast<char>(e.op)) + "(" + kids() + ")";
    case KvExpr::COMPARE_SUB:
      return std::string(1, static_cast<char>(e.op)) + "(" + kids() + "," + sub + ")";
    case KvExpr::AND: return "AND(" + kids() + ")";
    case KvExpr::OR: return "OR(" + kids() + ")";
    case KvExpr::NOT: return "NOT(" + kids() + ")";
    case KvExpr::IN_LIST: return "IN(" + kids() + ")";
    case KvExpr::IN_SELECT: return "IN(" + kids() + "," + sub + ")";
    case KvExpr::BETWEEN: return "BETWEEN(" + kids() + ")";
    case KvExpr::EXISTS: return "EXISTS(" + sub + ")";
    case KvExpr::SUBSELECT: return "SUB" + sub;
  }
  return "?";
}

std::string show_select(const KvSelect &s) {
  std::string o = s.distinct ? "DISTINCT " : "";
  for (const KvSelItem &i : s.items) {
    switch (i.kind) {
      case KvSelItem::STAR: o += i.qual.empty() ? "*" : i.qual + ".*"; break;
      case KvSelItem::COUNT: o += "COUNT"; break;
      case KvSelItem::MIN: o += "MIN:" + (i.qual.empty() ? "" : i.qual + ".") + i.name; break;
      case KvSelItem::MAX: o += "MAX:" + (i.qual.empty() ? "" : i.qual + ".") + i.name; break;
      case KvSelItem::COLUMN: o += (i.qual.empty() ? "" : i.qual + ".") + i.name; break;
    }
    o += ";";
  }
  o += " FROM ";
  for (const KvTableRef &t : s.from) o += t.name + (t.alias.empty() ? "" : "/" + t.alias) + ";";
  if (s.where) o += " WHERE " + show_expr(*s.where);
  if (!s.order.empty()) {
    o += " ORDER";
    for (const KvOrderItem &i : s.order)
      o += " " + (i.qual.empty() ? "" : i.qual + ".") + i.name + (i.desc ? "-" : "+");
  }
  return o;
}

// ---------------------------------------------------------------------------
// Random statements, written as SQL and, alongside, in the canonical form
// their decoded tree must have.

struct Gen {
  Rng &rng;

  // A name that is no keyword: first letters without keywords.
  std::string name() {
    std::string n(1, "GHJKPQRXYZ"[rng.below(10)]);
    int k = rng.below(8);
    for (int i = 0; i < k; i++) n += "ABCXYZ019_"[rng.below(10)];
    return n;
  }

  // A constant: SQL text and canonical form.
  void constant(std::string *sql, std::string *canon) {
    switch (rng.below(3)) {
      case 0: {
        int32_t v = rng.chance(4) ? static_cast<int32_t>(rng.next()) : rng.below(200) - 100;
        if (v == INT32_MIN) v = INT32_MIN + 1;  // "-2147483648" is fine too, but keep it simple
        *sql = std::to_string(v);
        *canon = std::to_string(v);
        break;
      }
      case 1: {
        double d = (static_cast<double>(rng.next() % 2000001) - 1000000.0) /
                   static_cast<double>(1 + rng.below(1000));
        if (rng.chance(5)) d *= 1e200;
        char buf[64];
        snprintf(buf, sizeof buf, "%.17e", d);
        *sql = buf;
        KvLiteral l;
        l.kind = KvLiteral::FLOAT;
        l.d = d;
        *canon = show_lit(l);
        break;
      }
      default: {
        std::string s;
        int k = rng.below(12);
        for (int i = 0; i < k; i++) {
          char c = rng.byte();
          if (c == 0) c = 'z';
          s += c;
        }
        std::string q = "'";
        for (char c : s) {
          if (c == '\'' || c == '\\') q += '\\';
          q += c;
        }
        *sql = q + "'";
        *canon = "'" + s + "'";
        break;
      }
    }
  }

  void operand(std::string *sql, std::string *canon) {
    int k = rng.below(4);
    if (k == 0) {
      std::string n = name();
      *sql = n;
      *canon = n;
    } else if (k == 1) {
      std::string q = name(), n = name();
      *sql = q + "." + n;
      *canon = q + "." + n;
    } else {
      constant(sql, canon);
    }
  }

  void select(int depth, std::string *sql, std::string *canon) {
    std::string s = "SELECT ", c;
    if (rng.chance(4)) {
      s += "DISTINCT ";
      c += "DISTINCT ";
    }
    int items = 1 + rng.below(3);
    for (int i = 0; i < items; i++) {
      if (i) s += ", ";
      std::string q = name(), n = name();
      switch (rng.below(7)) {
        case 0:
          s += "*";
          c += "*";
          break;
        case 1:
          s += "COUNT(*)";
          c += "COUNT";
          break;
        case 2:
          s += "MIN(" + n + ")";
          c += "MIN:" + n;
          break;
        case 3:
          s += "MAX(" + q + "." + n + ")";
          c += "MAX:" + q + "." + n;
          break;
        case 4:
          s += q + ".*";
          c += q + ".*";
          break;
        case 5:
          s += q + "." + n;
          c += q + "." + n;
          break;
        default:
          s += n;
          c += n;
          break;
      }
      c += ";";
    }
    s += " FROM ";
    c += " FROM ";
    int tables = 1 + rng.below(3);
    for (int i = 0; i < tables; i++) {
      std::string t = name();
      s += (i ? ", " : "") + t;
      c += t;
      if (rng.chance(2)) {
        std::string a = name();
        s += " " + a;
        c += "/" + a;
      }
      c += ";";
    }
    if (rng.chance(4) || depth == 0) {
      std::string ws, wc;
      condition(depth + 1, &ws, &wc);
      s += " WHERE " + ws;
      c += " WHERE " + wc;
    }
    if (rng.chance(3)) {
      s += " ORDER BY ";
      c += " ORDER";
      int k = 1 + rng.below(3);
      for (int i = 0; i < k; i++) {
        std::string n = name();
        if (rng.chance(2)) n = name() + "." + n;
        s += (i ? ", " : "") + n;
        bool desc = rng.chance(2);
        if (desc)
          s += " DESC";
        else if (rng.chance(2))
          s += " ASC";
        c += " " + n + (desc ? "-" : "+");
      }
    }
    *sql = s;
    *canon = c;
  }

  void condition(int depth, std::string *sql, std::string *canon) {
    static const struct {
      const char *sql;
      char tok;
    } ops[] = {{"=", 'R'},  {"<", 'N'},  {">", 'O'},   {"<=", 'P'},
               {">=", 'Q'}, {"<>", 'S'}, {"LIKE", 'V'}};
    std::string ls, lc, rs, rc;
    int k = depth > 3 ? rng.below(4) : rng.below(10);
    switch (k) {
      case 0:
      case 1:
      case 2: {
        auto op = ops[rng.below(7)];
        operand(&ls, &lc);
        operand(&rs, &rc);
        *sql = ls + " " + op.sql + " " + rs;
        *canon = std::string(1, op.tok) + "(" + lc + "," + rc + ")";
        return;
      }
      case 3: {
        operand(&ls, &lc);
        std::string c1s, c1c, c2s, c2c;
        constant(&c1s, &c1c);
        constant(&c2s, &c2c);
        *sql = ls + " BETWEEN " + c1s + " AND " + c2s;
        *canon = "BETWEEN(" + lc + "," + c1c + "," + c2c + ")";
        return;
      }
      case 4:
      case 5:
        condition(depth + 1, &ls, &lc);
        condition(depth + 1, &rs, &rc);
        if (k == 4) {
          *sql = "(" + ls + ") AND (" + rs + ")";
          *canon = "AND(" + lc + "," + rc + ")";
        } else {
          *sql = "(" + ls + ") OR (" + rs + ")";
          *canon = "OR(" + lc + "," + rc + ")";
        }
        return;
      case 6:
        condition(depth + 1, &ls, &lc);
        *sql = "NOT (" + ls + ")";
        *canon = "NOT(" + lc + ")";
        return;
      case 7: {
        operand(&ls, &lc);
        int n = 1 + rng.below(4);
        *sql = ls + " IN (";
        *canon = "IN(" + lc;
        for (int i = 0; i < n; i++) {
          std::string cs, cc;
          constant(&cs, &cc);
          *sql += (i ? ", " : "") + cs;
          *canon += "," + cc;
        }
        *sql += ")";
        *canon += ")";
        return;
      }
      default: {
        std::string ss, sc;
        select(depth + 1, &ss, &sc);
        operand(&ls, &lc);
        int which = rng.below(3);
        if (which == 0) {
          *sql = "EXISTS (" + ss + ")";
          *canon = "EXISTS({" + sc + "})";
        } else if (which == 1) {
          *sql = ls + " IN (" + ss + ")";
          *canon = "IN(" + lc + ",{" + sc + "})";
        } else {
          auto op = ops[rng.below(7)];
          *sql = ls + " " + op.sql + " (" + ss + ")";
          *canon = std::string(1, op.tok) + "(" + lc + ",{" + sc + "})";
        }
        return;
      }
    }
  }
};

// Random well-formed tokens after a command code.
Bytes token_soup(Rng &rng) {
  static const int bare[] = {
      TOK_WHERE,         TOK_AND,     TOK_OR,       TOK_NOT,       TOK_IN,
      TOK_BETWEEN,       TOK_EQ,      TOK_LT,       TOK_LIKE,      TOK_SELECT,
      TOK_SELECT_EXISTS, TOK_EXISTS,  TOK_FROM,     TOK_STAR,      TOK_COUNT,
      TOK_MIN,           TOK_MAX,     TOK_DISTINCT, TOK_DOT,       TOK_ORDER_BY,
      TOK_DESC,          TOK_END,     TOK_VALUES,   TOK_NULL,      TOK_ALL,
      TOK_TABLE,         TOK_INDICES, TOK_INDEX,    TOK_DATABASES, TOK_TABLES,
      TOK_CHARACTER,     TOK_BINARY,  TOK_INTEGER,  TOK_TIMESTAMP};
  static const int cmds[] = {CMD_OPEN_DATABASE,
                             CMD_DISCONNECT,
                             CMD_CREATE_DATABASE,
                             CMD_DROP_DATABASE,
                             CMD_CREATE_TABLE,
                             CMD_DROP_TABLE,
                             CMD_CREATE_INDEX,
                             CMD_CREATE_UNIQUE_INDEX,
                             CMD_DROP_INDEX,
                             CMD_SELECT,
                             CMD_INSERT,
                             CMD_DELETE,
                             CMD_UPDATE,
                             CMD_BEGIN,
                             CMD_COMMIT,
                             CMD_ABORT,
                             CMD_DECLARE,
                             CMD_FETCH,
                             CMD_CLOSE,
                             CMD_SET_STATIC,
                             CMD_SAVE_DATABASE,
                             CMD_SHOW,
                             CMD_MAX,
                             CMD_SET_SECURE,
                             CMD_STOP,
                             CMD_STOP_SERVER,
                             CMD_SET_DATABASE,
                             0,
                             255};
  DBquery_init();
  DBquery_addcmd(cmds[rng.below(static_cast<int>(sizeof cmds / sizeof cmds[0]))]);
  int n = rng.below(30);
  for (int i = 0; i < n; i++) {
    switch (rng.below(6)) {
      case 0: DBquery_addtokname(TOK_NAME, rng.chance(8) ? "sqlite_x" : "A"); break;
      case 1: DBquery_addtokstring(TOK_STRING, rng.chance(2) ? "Q" : "1x"); break;
      case 2: DBquery_addtokint(TOK_INT, rng.below(5) - 1); break;
      case 3: DBquery_addtokdouble(TOK_DOUBLE, 0.5); break;
      default: DBquery_addtoken(bare[rng.below(static_cast<int>(sizeof bare / sizeof bare[0]))]);
    }
  }
  return Bytes(query_data, query_data + query_size);
}

}  // namespace

// Random conditions and select bodies survive SQL -> scan_sql -> kv_decode
// unchanged.
TEST(DecodeFuzz, SelectRoundTrip) {
  Rng rng(41);
  Gen gen{rng};
  for (int iter = 0; iter < 2000; iter++) {
    std::string sql, canon;
    gen.select(0, &sql, &canon);
    Bytes r = request(sql + ";");
    ASSERT_FALSE(r.empty()) << sql;
    KvRequest req;
    std::string err;
    ASSERT_TRUE(decode(r, &req, &err)) << sql << "\n" << err;
    EXPECT_EQ(req.cmd, CMD_SELECT);
    EXPECT_EQ(show_select(req.select), canon) << sql;
  }
}

// Valid requests of every kind decode; every one of their truncations
// and many mutations decode or fail with a text.
TEST(DecodeFuzz, MutatedRequests) {
  Rng rng(42);
  std::vector<Bytes> corpus;
  for (const std::string &s : fuzz::sql_corpus()) {
    Bytes r = request(s);
    ASSERT_FALSE(r.empty()) << s;
    corpus.push_back(r);
  }
  for (const Bytes &r : corpus) {
    KvRequest req;
    std::string err;
    EXPECT_TRUE(decode(r, &req, &err)) << fuzz::hex(r) << ": " << err;
    for (size_t cut = 0; cut < r.size(); cut++) decode(Bytes(r.begin(), r.begin() + cut));
  }
  for (int iter = 0; iter < 30000; iter++) {
    Bytes b = rng.pick(corpus);
    fuzz::mutate_some(rng, b, 4, rng.pick(corpus));
    decode(b);
  }
}

// Random bytes and random sequences of well-formed tokens.
TEST(DecodeFuzz, RandomRequests) {
  Rng rng(43);
  for (int iter = 0; iter < 20000; iter++) {
    Bytes b = rng.bytes(rng.below(40));
    decode(b);
    decode(token_soup(rng));
  }
}

// Shapes a hostile client might send: conditions nested far beyond the
// limits, subselects nested too deep, element counts far above the limit,
// IN with absurd counts.
TEST(DecodeFuzz, HostileShapes) {
  auto finish = [](std::string *err) {
    Bytes b(query_data, query_data + query_size);
    KvRequest req;
    bool ok = decode(b, &req, err);
    return ok;
  };
  // DELETE FROM T WHERE, the condition still to come.
  auto delete_where = []() {
    DBquery_init();
    DBquery_addcmd(CMD_DELETE);
    DBquery_addtokname(TOK_NAME, "T");
    DBquery_addtoken(TOK_WHERE);
  };
  std::string err;
  // NOT NOT NOT ... : a chain of 100000.
  delete_where();
  DBquery_addtokname(TOK_NAME, "A");
  for (int i = 0; i < 100000; i++) DBquery_addtoken(TOK_NOT);
  DBquery_addtoken(TOK_WHERE);
  DBquery_addtoken(TOK_END);
  EXPECT_FALSE(finish(&err));
  // A left-deep AND chain.
  delete_where();
  DBquery_addtokname(TOK_NAME, "A");
  for (int i = 0; i < 50000; i++) {
    DBquery_addtokname(TOK_NAME, "A");
    DBquery_addtoken(TOK_AND);
  }
  DBquery_addtoken(TOK_WHERE);
  DBquery_addtoken(TOK_END);
  EXPECT_FALSE(finish(&err));
  // 200000 operands, then as many ORs.
  delete_where();
  for (int i = 0; i < 200000; i++) DBquery_addtokint(TOK_INT, i);
  for (int i = 0; i < 199999; i++) DBquery_addtoken(TOK_OR);
  DBquery_addtoken(TOK_WHERE);
  DBquery_addtoken(TOK_END);
  EXPECT_FALSE(finish(&err));
  // Subselects nested 40 deep.
  DBquery_init();
  DBquery_addcmd(CMD_SELECT);
  for (int i = 0; i < 40; i++) {
    DBquery_addtoken(TOK_STAR);
    DBquery_addtoken(TOK_FROM);
    DBquery_addtokname(TOK_NAME, "T");
    DBquery_addtoken(TOK_WHERE);
    DBquery_addtoken(TOK_SELECT_EXISTS);
  }
  EXPECT_FALSE(finish(&err));
  // IN with counts of 0, -1, INT32_MAX and one more than the stack.
  for (int32_t k : {0, -1, INT32_MAX, INT32_MIN, 3, 4}) {
    DBquery_init();
    DBquery_addcmd(CMD_DELETE);
    DBquery_addtokname(TOK_NAME, "T");
    DBquery_addtoken(TOK_WHERE);
    DBquery_addtokname(TOK_NAME, "A");
    DBquery_addtokint(TOK_INT, 1);
    DBquery_addtokint(TOK_INT, 2);
    DBquery_addtokint(TOK_INT, k);
    DBquery_addtoken(TOK_IN);
    DBquery_addtoken(TOK_WHERE);
    DBquery_addtoken(TOK_END);
    EXPECT_FALSE(finish(&err)) << k;
  }
  // An INSERT of 150000 values.
  DBquery_init();
  DBquery_addcmd(CMD_INSERT);
  DBquery_addtokname(TOK_NAME, "T");
  DBquery_addtoken(TOK_VALUES);
  for (int i = 0; i < 150000; i++) DBquery_addtokint(TOK_INT, i);
  DBquery_addtoken(TOK_END);
  EXPECT_FALSE(finish(&err));
  EXPECT_NE(err.find("Request too large"), std::string::npos) << err;
}
