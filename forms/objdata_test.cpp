// Tests of the object descriptions: what each code records, replacement,
// and the fatal misuses.  Objects are only keys here, so plain addresses
// stand in for them.
// GoogleTest comes before the X headers, whose macro None clashes with it.
#include <gtest/gtest.h>

#include "forms/objdata.h"

#include "forms/forms.h"

namespace {

FL_OBJECT *fake(int n) {
  static char objects[8];
  return reinterpret_cast<FL_OBJECT *>(&objects[n]);
}

void attribs() {}
void make() {}

TEST(ObjData, EachCodeFillsItsField) {
  ltinit(&Data);
  EXPECT_EQ(myfl_get_obj_data(fake(0)), nullptr);
  myfl_add_obj_data1(fake(0), OBJDATA_INPUT, 0);
  myfl_add_obj_data1(fake(0), OBJDATA_SHORTCUT, reinterpret_cast<intptr_t>("^S^s"));
  myfl_add_obj_data1(fake(1), OBJDATA_CMB, reinterpret_cast<intptr_t>("a,1|b,2"));
  myfl_add_obj_data2(fake(2), OBJDATA_TABBOX, reinterpret_cast<intptr_t>(attribs),
                     reinterpret_cast<intptr_t>(make));
  myfl_add_obj_data1(fake(3), OBJDATA_TABBOX, reinterpret_cast<intptr_t>(attribs));
  myfl_add_obj_data0(fake(4), OBJDATA_TBVIEW);
  myfl_add_obj_data0(fake(5), 30);  // a known code this system does not use

  OBJDATA *in = myfl_get_obj_data(fake(0));
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->object, fake(0));
  EXPECT_EQ(in->maxchars, 0);  // 0 is a value, not a missing argument
  EXPECT_STREQ(in->shortcut, "^S^s");
  EXPECT_EQ(in->codes, (1u << OBJDATA_INPUT) | (1u << OBJDATA_SHORTCUT));
  OBJDATA *cmb = myfl_get_obj_data(fake(1));
  EXPECT_STREQ(cmb->cmb_kind, "Fixdaten");
  EXPECT_STREQ(cmb->cmb_data, "a,1|b,2");
  EXPECT_EQ(cmb->maxchars, -1);
  EXPECT_EQ(myfl_get_obj_data(fake(2))->constructor, reinterpret_cast<intptr_t>(make));
  EXPECT_EQ(myfl_get_obj_data(fake(3))->attribs, reinterpret_cast<intptr_t>(attribs));
  EXPECT_EQ(myfl_get_obj_data(fake(3))->constructor, 0);
  EXPECT_EQ(myfl_get_obj_data(fake(4))->tbview, 1);
  EXPECT_EQ(myfl_get_obj_data(fake(5))->codes, 1u << 30);

  // A repeated code replaces the earlier value with a fresh copy.
  char shortcut[] = "^A^a";
  myfl_add_obj_data1(fake(0), OBJDATA_SHORTCUT, reinterpret_cast<intptr_t>(shortcut));
  shortcut[1] = 'X';
  EXPECT_STREQ(myfl_get_obj_data(fake(0))->shortcut, "^A^a");
  myfl_add_obj_data1(fake(0), OBJDATA_INPUT, 255);
  EXPECT_EQ(myfl_get_obj_data(fake(0))->maxchars, 255);
}

TEST(ObjDataDeathTest, UnknownCodesAndMissingArgumentsEndTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(myfl_add_obj_data0(fake(6), 32), testing::ExitedWithCode(1),
              "\\(myfl_add_obj_data\\) Unknown datatype-code 32!");
  EXPECT_EXIT(myfl_add_obj_data0(fake(6), -1), testing::ExitedWithCode(1),
              "Unknown datatype-code -1");
  EXPECT_EXIT(myfl_add_obj_data0(fake(6), OBJDATA_INPUT), testing::ExitedWithCode(1),
              "\\(add_obj_data\\) Parameter missing \\(code 8\\)!");
  EXPECT_EXIT(myfl_add_obj_data1(fake(6), OBJDATA_SHORTCUT, 0), testing::ExitedWithCode(1),
              "Parameter missing \\(code 25\\)");
}

}  // namespace
