// Tests of the request decoder: token streams made by the client's grammar
// from SQL text decode into the statement trees the executor expects, and
// cut, damaged or hostile streams give an error text, never a crash.
#include "server/decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dbclient/grammar.h"
#include "proto/query.h"

namespace {

// The request the client would send for sql.
std::vector<char> request(const std::string &sql) {
  std::vector<char> text(sql.begin(), sql.end());
  text.push_back(';');
  text.push_back(0);
  char err[10000];
  DBquery_init();
  EXPECT_EQ(scan_sql(text.data(), err), 1) << sql << ": " << err;
  return std::vector<char>(query_data, query_data + query_size);
}

bool decode(const std::string &sql, KvRequest *req, std::string *err = nullptr) {
  std::vector<char> r = request(sql);
  std::string e;
  bool ok = kv_decode(r.data(), static_cast<int>(r.size()), req, &e);
  if (err) *err = e;
  return ok;
}

// A condition tree in prefix form, e.g. "OR(=(A,1),AND(...))".
std::string show(const KvExpr &e) {
  auto kids = [&](size_t from) {
    std::string s;
    for (size_t i = from; i < e.kids.size(); i++) s += (i > from ? "," : "") + show(*e.kids[i]);
    return s;
  };
  switch (e.kind) {
    case KvExpr::COLUMN: return e.qual.empty() ? e.name : e.qual + "." + e.name;
    case KvExpr::LITERAL:
      if (e.lit.kind == KvLiteral::STR) return "'" + e.lit.s + "'";
      if (e.lit.kind == KvLiteral::INT) return std::to_string(e.lit.i);
      return "f" + std::to_string(e.lit.d);
    case KvExpr::COMPARE: return std::string(1, static_cast<char>(e.op)) + "(" + kids(0) + ")";
    case KvExpr::COMPARE_SUB:
      return std::string(1, static_cast<char>(e.op)) + "(" + kids(0) + ",SUB)";
    case KvExpr::AND: return "AND(" + kids(0) + ")";
    case KvExpr::OR: return "OR(" + kids(0) + ")";
    case KvExpr::NOT: return "NOT(" + kids(0) + ")";
    case KvExpr::IN_LIST: return "IN(" + kids(0) + ")";
    case KvExpr::IN_SELECT: return "IN(" + kids(0) + ",SUB)";
    case KvExpr::BETWEEN: return "BETWEEN(" + kids(0) + ")";
    case KvExpr::EXISTS: return "EXISTS(SUB)";
    case KvExpr::SUBSELECT: return "SUB";
  }
  return "?";
}

}  // namespace

TEST(Decode, SelectWithWhereAndOrderBy) {
  KvRequest r;
  ASSERT_TRUE(decode("SELECT NAME, K.ORT FROM KUNDE K WHERE NR = 5 ORDER BY NAME DESC, K.ORT", &r));
  EXPECT_EQ(r.cmd, CMD_SELECT);
  ASSERT_EQ(r.select.items.size(), 2u);
  EXPECT_EQ(r.select.items[0].name, "NAME");
  EXPECT_EQ(r.select.items[1].qual, "K");
  EXPECT_EQ(r.select.items[1].name, "ORT");
  ASSERT_EQ(r.select.from.size(), 1u);
  EXPECT_EQ(r.select.from[0].name, "KUNDE");
  EXPECT_EQ(r.select.from[0].alias, "K");
  EXPECT_EQ(show(*r.select.where), "R(NR,5)");
  ASSERT_EQ(r.select.order.size(), 2u);
  EXPECT_TRUE(r.select.order[0].desc);
  EXPECT_EQ(r.select.order[1].qual, "K");
  EXPECT_FALSE(r.select.order[1].desc);
}

TEST(Decode, PostfixConditionsBecomeTrees) {
  struct Case {
    const char *where;
    const char *tree;
  } cases[] = {
      {"A = 1 OR B = 2 AND C = 3", "OR(R(A,1),AND(R(B,2),R(C,3)))"},
      {"NOT A = 1", "NOT(R(A,1))"},
      {"(A = 1 OR B = 2) AND C <> 'x'", "AND(OR(R(A,1),R(B,2)),S(C,'x'))"},
      {"X IN (1, 2, 3)", "IN(X,1,2,3)"},
      {"X IN ('a')", "IN(X,'a')"},
      {"X BETWEEN 1 AND 2.5", "BETWEEN(X,1,f2.500000)"},
      {"X LIKE 'M%' AND Y >= 2", "AND(V(X,'M%'),Q(Y,2))"},
      {"T.X < 3", "N(T.X,3)"},
      {"X IN (SELECT Y FROM U)", "IN(X,SUB)"},
      {"X = (SELECT MAX(Y) FROM U WHERE Z = 1)", "R(X,SUB)"},
      {"EXISTS (SELECT * FROM U WHERE U.Y = T.X) AND X > 0", "AND(EXISTS(SUB),O(X,0))"},
      {"X", "X"},
  };
  for (auto &c : cases) {
    KvRequest r;
    std::string err;
    ASSERT_TRUE(decode(std::string("SELECT * FROM T WHERE ") + c.where, &r, &err))
        << c.where << ": " << err;
    EXPECT_EQ(show(*r.select.where), c.tree) << c.where;
  }
  KvRequest r;
  ASSERT_TRUE(decode("SELECT * FROM T WHERE X = (SELECT MAX(Y) FROM U WHERE Z = 1)", &r));
  const KvSelect &sub = *r.select.where->sub;
  EXPECT_EQ(sub.items[0].kind, KvSelItem::MAX);
  EXPECT_EQ(show(*sub.where), "R(Z,1)");
}

TEST(Decode, BareSubselectIsRefusedWithAClearText) {
  KvRequest r;
  std::string err;
  EXPECT_FALSE(decode("SELECT * FROM T WHERE (SELECT Y FROM U)", &r, &err));
  EXPECT_NE(err.find("subselect alone"), std::string::npos) << err;
}

TEST(Decode, OtherStatements) {
  KvRequest r;
  ASSERT_TRUE(decode("CREATE TABLE T (A CHARACTER(10) NOT NULL, B BINARY(4), C DATE)", &r));
  ASSERT_EQ(r.coldefs.size(), 3u);
  EXPECT_EQ(r.coldefs[0].type, KV_CHARACTER);
  EXPECT_EQ(r.coldefs[0].len, 10);
  EXPECT_TRUE(r.coldefs[0].notnull);
  EXPECT_EQ(r.coldefs[1].type, KV_BINARY);
  EXPECT_EQ(r.coldefs[2].type, KV_DATE);

  KvRequest ins;
  ASSERT_TRUE(decode("INSERT INTO T (A, B) VALUES ('x', 2.5)", &ins));
  EXPECT_EQ(ins.columns, (std::vector<std::string>{"A", "B"}));
  ASSERT_EQ(ins.values.size(), 2u);
  EXPECT_EQ(ins.values[1].kind, KvLiteral::FLOAT);

  KvRequest up;
  ASSERT_TRUE(decode("UPDATE T SET A = 'y', B = 3 WHERE C = '2003-01-01'", &up));
  EXPECT_EQ(up.columns.size(), 2u);
  EXPECT_EQ(show(*up.where), "R(C,'2003-01-01')");

  KvRequest f, fa, mx, sh, si;
  ASSERT_TRUE(decode("FETCH IN C1", &f));
  EXPECT_FALSE(f.fetch_all);
  ASSERT_TRUE(decode("FETCH ALL IN C1", &fa));
  EXPECT_TRUE(fa.fetch_all);
  EXPECT_EQ(fa.name, "C1");
  ASSERT_TRUE(decode("MAX", &mx));
  EXPECT_TRUE(mx.max_none);
  ASSERT_TRUE(decode("SHOW INDICES ON TABLE T", &sh));
  EXPECT_EQ(sh.show, SHOW_INDICES_ON);
  EXPECT_EQ(sh.name, "T");
  ASSERT_TRUE(decode("CREATE UNIQUE INDEX I ON T (A, B)", &si));
  EXPECT_EQ(si.cmd, CMD_CREATE_UNIQUE_INDEX);
  EXPECT_EQ(si.table, "T");
  EXPECT_EQ(si.columns.size(), 2u);
}

TEST(Decode, MalformedStreamsGiveErrors) {
  auto bad = [](std::vector<char> bytes, const char *text) {
    KvRequest r;
    std::string err;
    EXPECT_FALSE(kv_decode(bytes.data(), static_cast<int>(bytes.size()), &r, &err)) << text;
    EXPECT_NE(err.find(text), std::string::npos) << err;
  };
  bad({}, "Empty request");
  bad({1}, "Unknown request code 1");
  // a name that is no identifier: 'a', length 4, "A;B" NUL
  bad({CMD_DROP_TABLE, 'a', 4, 0, 'A', ';', 'B', 0}, "Invalid name");
  // a name whose length points past the end
  bad({CMD_DROP_TABLE, 'a', 100, 0, 'A', 0}, "expected");
  // IN whose count exceeds the operands
  DBquery_init();
  DBquery_addcmd(CMD_DELETE);
  DBquery_addtokname(TOK_NAME, "T");
  DBquery_addtoken(TOK_WHERE);
  DBquery_addtokname(TOK_NAME, "A");
  DBquery_addtokint(TOK_INT, 5);
  DBquery_addtoken(TOK_IN);
  DBquery_addtoken(TOK_WHERE);
  bad(std::vector<char>(query_data, query_data + query_size), "IN without its value count");
  // a CHARACTER length outside 1 ... 32766
  DBquery_init();
  DBquery_addcmd(CMD_CREATE_TABLE);
  DBquery_addtokname(TOK_NAME, "T");
  DBquery_addtokname(TOK_NAME, "A");
  DBquery_addtoken(TOK_CHARACTER);
  DBquery_addtokint(TOK_INT, 40000);
  bad(std::vector<char>(query_data, query_data + query_size), "Invalid length");
}

TEST(Decode, DeepNestingIsRefused) {
  DBquery_init();
  DBquery_addcmd(CMD_DELETE);
  DBquery_addtokname(TOK_NAME, "T");
  DBquery_addtoken(TOK_WHERE);
  DBquery_addtokname(TOK_NAME, "A");
  for (int i = 0; i < 100000; i++) DBquery_addtoken(TOK_NOT);
  DBquery_addtoken(TOK_WHERE);
  KvRequest r;
  std::string err;
  EXPECT_FALSE(kv_decode(query_data, query_size, &r, &err));
  EXPECT_NE(err.find("nested too deeply"), std::string::npos) << err;
}

TEST(Decode, HugeRequestsAreRefused) {
  DBquery_init();
  DBquery_addcmd(CMD_SELECT);
  for (int i = 0; i < 200000; i++) DBquery_addtoken(TOK_STAR);
  DBquery_addtoken(TOK_FROM);
  DBquery_addtokname(TOK_NAME, "T");
  KvRequest r;
  std::string err;
  EXPECT_FALSE(kv_decode(query_data, query_size, &r, &err));
  EXPECT_NE(err.find("Request too large"), std::string::npos) << err;
}

TEST(Decode, EveryCutAndEveryFlippedByteIsHandled) {
  const std::string head = "SELECT DISTINCT K.NAME, COUNT(*), MIN(K.NR) FROM KUNDE";
  const std::string cond =
      " WHERE K.NR IN (1, 2) AND NOT EXISTS (SELECT * FROM X WHERE X.A = K.NR) OR K.D BETWEEN "
      "'2001-01-01' AND '2002-01-01'";
  std::vector<char> full = request(head + " K, ORT" + cond + " ORDER BY K.NAME DESC");
  KvRequest whole;
  std::string err;
  ASSERT_TRUE(kv_decode(full.data(), static_cast<int>(full.size()), &whole, &err)) << err;
  // the cuts that are complete statements themselves (an end token is
  // implied at the end of the data)
  std::vector<std::vector<char>> complete;
  for (std::string sql : {head, head + " K", head + " K, ORT", head + " K, ORT" + cond}) {
    std::vector<char> r = request(sql);
    r.pop_back();
    complete.push_back(r);
  }
  complete.push_back(std::vector<char>(full.begin(), full.end() - 1));
  for (size_t n = 0; n < full.size(); n++) {
    KvRequest r;
    std::vector<char> cut(full.begin(), full.begin() + n);
    bool ok = kv_decode(cut.data(), static_cast<int>(n), &r, &err);
    bool expected = std::find(complete.begin(), complete.end(), cut) != complete.end();
    EXPECT_EQ(ok, expected) << "cut at " << n << ": " << err;
  }
  for (size_t i = 1; i < full.size(); i++) {
    for (int v : {0x00, 0x7f, 0xff, int{'a'}, int{'w'}, int{'M'}}) {
      std::vector<char> damaged = full;
      damaged[i] = static_cast<char>(v);
      KvRequest r;
      err.clear();
      if (!kv_decode(damaged.data(), static_cast<int>(damaged.size()), &r, &err)) {
        EXPECT_FALSE(err.empty()) << "byte " << i << " = " << v;
      }
    }
  }
}

TEST(Decode, NamesAndQualifiersAreUpperCased) {
  // the client library upper-cases names; a raw request may not
  DBquery_init();
  DBquery_addcmd(CMD_SELECT);
  DBquery_addtokstring(TOK_STRING, "k");
  DBquery_addtokname(TOK_NAME, "name");
  DBquery_addtoken(TOK_FROM);
  DBquery_addtokname(TOK_NAME, "kunde");
  DBquery_addtokstring(TOK_STRING, "k");
  DBquery_addtoken(TOK_END);
  KvRequest r;
  std::string err;
  ASSERT_TRUE(kv_decode(query_data, query_size, &r, &err)) << err;
  ASSERT_EQ(r.select.items.size(), 1u);
  EXPECT_EQ(r.select.items[0].qual, "K");
  EXPECT_EQ(r.select.items[0].name, "NAME");
  ASSERT_EQ(r.select.from.size(), 1u);
  EXPECT_EQ(r.select.from[0].name, "KUNDE");
  EXPECT_EQ(r.select.from[0].alias, "K");
  DBquery_init();
  DBquery_addcmd(CMD_OPEN_DATABASE);
  DBquery_addtokname(TOK_NAME, "kvsys");
  KvRequest o;
  ASSERT_TRUE(kv_decode(query_data, query_size, &o, &err)) << err;
  EXPECT_EQ(o.name, "KVSYS");
}
