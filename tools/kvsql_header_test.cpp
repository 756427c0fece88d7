// Tests of the field names read from a request: every kind of select item,
// stars over several tables and aliases, the SHOW statements, and the
// requests that give none.
#include "tools/kvsql_header.h"

#include <gtest/gtest.h>

#include "dbclient/result.h"
#include "proto/query.h"

namespace {

std::vector<std::string> names_of(const std::string &sql) {
  std::vector<char> err(DB_ERRMSG_SIZE);
  EXPECT_EQ(DBtranslate(sql.c_str(), err.data()), 1) << err.data();
  auto columns = [](const std::string &t) {
    return t == "K"   ? std::vector<std::string>{"ID", "NAME"}
           : t == "B" ? std::vector<std::string>{"NR"}
                      : std::vector<std::string>{};
  };
  std::vector<std::string> names;
  if (!result_names(query_data, query_size, columns, &names)) return {"<none>"};
  return names;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(ResultNames, SelectItemsAsTheServerNamesThem) {
  EXPECT_EQ(
      names_of(
          "select distinct name, count(*), min(id), max(x.nr) from k where id = 1 order by name"),
      Names({"NAME", "COUNT(*)", "MIN(ID)", "MAX(NR)"}));
  EXPECT_EQ(names_of("select *, b.nr from k, b where k.id = b.nr"),
            Names({"ID", "NAME", "NR", "NR"}));
  EXPECT_EQ(names_of("select y.* , id from k x, k y"), Names({"ID", "NAME", "ID"}));
  EXPECT_EQ(names_of("select * from unknown"), Names({"<none>"}));
  EXPECT_EQ(names_of("select z.* from k"), Names({"<none>"}));
  EXPECT_EQ(names_of("delete from k"), Names({"<none>"}));
}

TEST(ResultNames, Show) {
  EXPECT_EQ(names_of("show tables"), Names({"TABLE"}));
  EXPECT_EQ(names_of("show databases"), Names({"DATABASE"}));
  EXPECT_EQ(names_of("show table k"), Names({"COLUMN", "TYPE", "SIZE", "NOT NULL"}));
  EXPECT_EQ(names_of("show indices on table k"), Names({"INDEX", "TABLE", "UNIQUE"}));
  EXPECT_EQ(names_of("show indices"), Names({"INDEX", "TABLE", "UNIQUE"}));
  EXPECT_EQ(names_of("show index i"), Names({"INDEX", "TABLE", "COLUMN", "UNIQUE"}));
}
