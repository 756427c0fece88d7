// Tests of the database selector's entries and its default.
#include "app/setup.h"

#include <gtest/gtest.h>

namespace {

TEST(Setup, DatabaseChoices) {
  DB_CHOICES c = database_choices({"A", "KVSYS", "Z"});
  EXPECT_EQ(c.entries, "A,A|KVSYS,KVSYS|Z,Z");
  EXPECT_EQ(c.default_name, "KVSYS");
  c = database_choices({"a", "b"});
  EXPECT_EQ(c.entries, "a,a|b,b");
  EXPECT_EQ(c.default_name, "b");
  c = database_choices({"KVSYSX"});
  EXPECT_EQ(c.default_name, "KVSYSX");
  c = database_choices({});
  EXPECT_EQ(c.entries, "");
  EXPECT_EQ(c.default_name, "");
}

}  // namespace
