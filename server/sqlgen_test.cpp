// Tests of the SQL generation without a database: statements decoded from
// the client's token form become SQL with quoted names and bound values,
// result fields get their types and sizes, and names that do not resolve
// are errors.
#include "server/sqlgen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbclient/grammar.h"
#include "proto/query.h"

namespace {

KvColumn column(const char *name, KvType type, int len = 0) {
  KvColumn c;
  c.name = name;
  c.type = type;
  c.len = len;
  return c;
}

// Two tables: KUNDE (ID, NAME, TAG) and BEST (ID, KUNDE_ID, B).
bool columns(const std::string &table, std::vector<KvColumn> *cols) {
  if (table == "KUNDE")
    *cols = {column("ID", KV_INTEGER), column("NAME", KV_CHARACTER, 20), column("TAG", KV_DATE)};
  else if (table == "BEST")
    *cols = {column("ID", KV_INTEGER), column("KUNDE_ID", KV_INTEGER), column("B", KV_BINARY, 8)};
  else
    return false;
  return true;
}

// The decoded request for sql.
KvRequest decoded(const std::string &sql) {
  std::vector<char> text(sql.begin(), sql.end());
  text.push_back(0);
  char err[10000];
  DBquery_init();
  EXPECT_EQ(scan_sql(text.data(), err), 1) << sql << ": " << err;
  KvRequest req;
  std::string e;
  EXPECT_TRUE(kv_decode(query_data, query_size, &req, &e)) << sql << ": " << e;
  return req;
}

}  // namespace

TEST(SqlGen, SelectWithAliasesSubselectAndConvertedValues) {
  KvRequest req = decoded(
      "SELECT K.NAME, COUNT(*), MIN(TAG), B.* FROM KUNDE K, BEST B WHERE K.TAG = '12.07.2003' AND "
      "EXISTS (SELECT * FROM BEST WHERE BEST.KUNDE_ID = K.ID) ORDER BY K.NAME DESC;");
  SqlGen gen(columns);
  std::vector<KvField> fields;
  ASSERT_TRUE(gen.select(req.select, &fields)) << gen.err;
  EXPECT_EQ(gen.sql,
            "SELECT \"K\".\"NAME\", COUNT(*), MIN(\"TAG\"), \"B\".\"ID\", \"B\".\"KUNDE_ID\", "
            "\"B\".\"B\" FROM \"KUNDE\" AS \"K\", \"BEST\" AS \"B\" WHERE ((\"K\".\"TAG\" = ?) AND "
            "(EXISTS (SELECT \"BEST\".\"ID\", \"BEST\".\"KUNDE_ID\", \"BEST\".\"B\" FROM \"BEST\" "
            "WHERE (\"BEST\".\"KUNDE_ID\" = \"K\".\"ID\")))) ORDER BY \"K\".\"NAME\" DESC");
  // the date literal is bound in its stored form
  ASSERT_EQ(gen.binds.size(), 1u);
  EXPECT_EQ(gen.binds[0].kind, KvBound::TEXT);
  EXPECT_EQ(gen.binds[0].s, "2003-07-12");
  // field names, types and reply sizes
  ASSERT_EQ(fields.size(), 6u);
  const struct {
    const char *name;
    KvType type;
    int size;
  } want[] = {{"NAME", KV_CHARACTER, 21}, {"COUNT(*)", KV_INTEGER, 4}, {"MIN(TAG)", KV_DATE, 4},
              {"ID", KV_INTEGER, 4},      {"KUNDE_ID", KV_INTEGER, 4}, {"B", KV_BINARY, 10}};
  for (size_t i = 0; i < fields.size(); i++) {
    EXPECT_EQ(fields[i].name, want[i].name) << i;
    EXPECT_EQ(fields[i].type, want[i].type) << i;
    EXPECT_EQ(fields[i].size, want[i].size) << i;
  }
}

TEST(SqlGen, ConditionOfAnUpdate) {
  KvRequest req = decoded("UPDATE KUNDE SET NAME = 'x' WHERE ID IN ('7', 8) OR NAME LIKE 'M%';");
  std::vector<KvColumn> cols;
  ASSERT_TRUE(columns("KUNDE", &cols));
  SqlGen gen(columns);
  gen.sql = "UPDATE \"KUNDE\" SET \"NAME\" = ";
  KvBound name;
  name.kind = KvBound::TEXT;
  name.s = "x";
  gen.bind(name);
  ASSERT_TRUE(gen.where_on("KUNDE", cols, *req.where)) << gen.err;
  EXPECT_EQ(gen.sql,
            "UPDATE \"KUNDE\" SET \"NAME\" = ? WHERE ((\"ID\" IN (?, ?)) OR (\"NAME\" LIKE ? "
            "ESCAPE '\\'))");
  // a number text meets the INTEGER column as a number; LIKE keeps its text
  ASSERT_EQ(gen.binds.size(), 4u);
  EXPECT_EQ(gen.binds[1].kind, KvBound::INT);
  EXPECT_EQ(gen.binds[1].i, 7);
  EXPECT_EQ(gen.binds[2].kind, KvBound::INT);
  EXPECT_EQ(gen.binds[3].s, "M%");
}

TEST(SqlGen, NamesThatDoNotResolveAreErrors) {
  const struct {
    const char *sql;
    const char *err;
  } cases[] = {
      {"SELECT ID FROM KUNDE, BEST;", "Column ID is ambiguous"},
      {"SELECT * FROM KUNDE, KUNDE;", "Table KUNDE appears twice in the FROM list"},
      {"SELECT * FROM LIEFERANT;", "Table LIEFERANT does not exist"},
      {"SELECT X.* FROM KUNDE;", "Table X is not in the FROM list"},
      {"SELECT K.B FROM KUNDE K;", "Column K.B does not exist"},
      {"SELECT * FROM KUNDE WHERE ALT = 3;", "Column ALT does not exist"},
      {"SELECT * FROM KUNDE WHERE TAG = '31.02.2003';", "no valid date"},
  };
  for (auto &c : cases) {
    SqlGen gen(columns);
    std::vector<KvField> fields;
    EXPECT_FALSE(gen.select(decoded(c.sql).select, &fields)) << c.sql;
    EXPECT_NE(gen.err.find(c.err), std::string::npos) << c.sql << ": " << gen.err;
  }
}
