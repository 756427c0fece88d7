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
bool columns(const std::string &table, std::vector<KvColumn> *cols, std::string *stored) {
  if (table == "KLEIN") {
    // made by another client in lower case
    *cols = {column("id", KV_INTEGER), column("name", KV_CHARACTER, 20)};
    *stored = "klein";
  } else if (table == "KUNDE")
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
  std::string stored;
  ASSERT_TRUE(columns("KUNDE", &cols, &stored));
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

TEST(SqlGen, TablesStoredInAnotherSpellingKeepTheirNames) {
  for (bool strict : {false, true}) {
    KvDialect d;
    d.strict = strict;
    SqlGen gen(columns, d);
    std::vector<KvField> fields;
    ASSERT_TRUE(gen.select(decoded("SELECT KLEIN.NAME, ID FROM KLEIN WHERE NAME = 'x' AND EXISTS "
                                   "(SELECT * FROM KLEIN K WHERE K.ID = KLEIN.ID) ORDER BY ID;")
                               .select,
                           &fields))
        << gen.err;
    // the stored names in the SQL, the names asked for as aliases
    EXPECT_NE(gen.sql.find("SELECT \"KLEIN\".\"name\""), std::string::npos) << gen.sql;
    EXPECT_NE(gen.sql.find("FROM \"klein\" AS \"KLEIN\""), std::string::npos) << gen.sql;
    EXPECT_NE(gen.sql.find("FROM \"klein\" AS \"K\""), std::string::npos) << gen.sql;
    EXPECT_NE(gen.sql.find("\"K\".\"id\""), std::string::npos) << gen.sql;
    EXPECT_EQ(gen.sql.find("\"ID\""), std::string::npos) << gen.sql;
    EXPECT_EQ(gen.sql.find("\"NAME\""), std::string::npos) << gen.sql;
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0].name, "NAME");
  }
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

// PostgreSQL's dialect: each form below was checked to give SQLite's rows.
TEST(SqlGen, StrictDialectSpellsOutSQLiteReadings) {
  const struct {
    const char *korval;
    std::string sql;
  } cases[] = {
      // the plain column comes from the row of the MAX; one row has no order
      {"SELECT NAME, MAX(ID) FROM KUNDE ORDER BY NAME;",
       "SELECT (array_agg(\"NAME\" ORDER BY \"ID\" DESC NULLS LAST))[1], MAX(\"ID\") FROM "
       "\"KUNDE\""},
      {"SELECT MIN(NAME), MAX(B) FROM KUNDE, BEST;",
       "SELECT MIN(\"NAME\" COLLATE \"C\"), (array_agg(\"B\" ORDER BY \"B\" DESC) FILTER (WHERE "
       "\"B\" IS NOT NULL))[1] FROM \"KUNDE\", \"BEST\""},
      {"SELECT DISTINCT NAME FROM KUNDE ORDER BY ID DESC;",
       "SELECT \"kv_1\" FROM (SELECT DISTINCT ON (\"NAME\") \"NAME\" AS \"kv_1\", \"ID\" AS "
       "\"kv_o1\" FROM \"KUNDE\") AS \"kv_d\" ORDER BY \"kv_o1\" DESC NULLS LAST"},
      {"SELECT * FROM BEST WHERE B > ID ORDER BY B;",
       "SELECT \"BEST\".\"ID\", \"BEST\".\"KUNDE_ID\", \"BEST\".\"B\" FROM \"BEST\" WHERE "
       "(\"B\" IS NOT NULL AND \"ID\" IS NOT NULL OR NULL) ORDER BY \"B\" NULLS FIRST"},
      // numbers < texts: a known result, NULL for a NULL column
      {"SELECT ID FROM KUNDE WHERE ID < 'abc' AND NOT ID = 'abc' ORDER BY NAME DESC;",
       "SELECT \"ID\" FROM \"KUNDE\" WHERE ((\"ID\" IS NOT NULL OR NULL) AND (NOT (NOT (\"ID\" IS "
       "NOT NULL) AND NULL))) ORDER BY \"NAME\" COLLATE \"C\" DESC NULLS LAST"},
      {"SELECT ID FROM KUNDE WHERE NAME AND TAG LIKE '2003%';",
       "SELECT \"ID\" FROM \"KUNDE\" WHERE ((CAST(COALESCE(substring(\"NAME\" FROM "
       "'^(\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?)'), CASE WHEN \"NAME\" IS NOT NULL "
       "THEN '0' END) AS numeric) <> 0) AND (to_char(\"TAG\", 'YYYY-MM-DD') LIKE $1))"},
      {"SELECT ID FROM KUNDE WHERE ID >= NAME OR NAME < 'b' OR ID = (SELECT KUNDE_ID FROM BEST);",
       "SELECT \"ID\" FROM \"KUNDE\" WHERE (((CASE WHEN \"NAME\" ~ "
       "'^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?\\s*$' THEN (\"ID\" >= CAST(\"NAME\" AS "
       "float8)) ELSE (NOT (\"ID\" IS NOT NULL AND \"NAME\" "
       "IS NOT NULL) AND NULL) END) OR (\"NAME\" COLLATE \"C\" < $1)) OR (\"ID\" = (SELECT "
       "\"KUNDE_ID\" FROM \"BEST\" LIMIT 1)))"},
  };
  KvDialect pg;
  pg.strict = pg.gregorian = true;
  for (auto &c : cases) {
    SqlGen gen(columns, pg);
    std::vector<KvField> fields;
    ASSERT_TRUE(gen.select(decoded(c.korval).select, &fields)) << c.korval << ": " << gen.err;
    EXPECT_EQ(gen.sql, c.sql) << c.korval;
  }
}

TEST(SqlGen, StrictDialectValuesAndErrors) {
  KvDialect pg;
  pg.strict = pg.gregorian = true;
  KvRequest req = decoded(
      "DELETE FROM KUNDE WHERE TAG = '29.02.1900' OR NAME LIKE 'a\\\\' OR "
      "ID IN (7, 'x');");
  std::vector<KvColumn> cols;
  std::string stored;
  ASSERT_TRUE(columns("KUNDE", &cols, &stored));
  SqlGen gen(columns, pg);
  gen.sql = "DELETE FROM \"KUNDE\"";
  ASSERT_TRUE(gen.where_on("KUNDE", cols, *req.where)) << gen.err;
  EXPECT_EQ(gen.sql,
            "DELETE FROM \"KUNDE\" WHERE (((to_char(\"TAG\", 'YYYY-MM-DD') = $1) OR (\"NAME\" "
            "LIKE $2)) OR ((\"ID\" = $3) OR (NOT (\"ID\" IS NOT NULL) AND NULL)))");
  ASSERT_EQ(gen.binds.size(), 3u);
  // a day no stored date has is compared as text; a pattern's last
  // backslash is itself
  EXPECT_EQ(gen.binds[0].form, KvBound::AS_IS);
  EXPECT_EQ(gen.binds[0].s, "1900-02-29");
  EXPECT_EQ(gen.binds[1].s, "a\\\\");
  EXPECT_EQ(gen.binds[2].i, 7);

  KvBound v;
  v.kind = KvBound::INT;
  SqlGen ins(columns, pg);
  ins.insert("KUNDE", {&cols[0], &cols[1]}, {v, v});
  EXPECT_EQ(ins.sql, "INSERT INTO \"KUNDE\" (\"ID\", \"NAME\") VALUES ($1, $2)");

  SqlGen sub(columns, pg);
  std::vector<KvField> fields;
  EXPECT_FALSE(sub.select(decoded("SELECT ID FROM KUNDE WHERE ID IN (SELECT * FROM BEST);").select,
                          &fields));
  EXPECT_EQ(sub.err, "sub-select returns 3 columns - expected 1");
}
