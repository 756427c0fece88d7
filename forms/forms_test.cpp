// Tests of the framework's answers to misuse that need no display: unknown
// forms and objects given to the form and combo operations.  Objects and
// forms are only keys here, so plain addresses stand in for them.
// GoogleTest comes before the X headers, whose macro None clashes with it.
#include <gtest/gtest.h>

#include "forms/forms.h"

#include "forms/cmb.h"
#include "tests/support/log_capture.h"

namespace {

FL_FORM *unknown_form() {
  static char place;
  return reinterpret_cast<FL_FORM *>(&place);
}

FL_OBJECT *unknown_object() {
  static char place;
  return reinterpret_cast<FL_OBJECT *>(&place);
}

TEST(FormsMisuse, UnknownFormsAreLoggedAndRefused) {
  kv_capture_log();
  EXPECT_EQ(myfl_set_focus_next(unknown_form()), 0);
  myfl_define_ctrl_tabbox(unknown_form(), unknown_object());
  EXPECT_EQ(myfl_call_ctrl_tabbox_left(unknown_form()), 0);
  EXPECT_EQ(myfl_call_ctrl_tabbox_pgdown(unknown_form()), 0);
  myfl_call_ctrl_tabbox_dblclick(unknown_form());
  EXPECT_EQ(kv_captured_log(),
            "(myfl_set_focus_next) Form not found!\n"
            "(myfl_define_ctrl_tabbox) Form not found!\n"
            "(myfl_call_ctrl_tabbox) Form not found!\n"
            "(myfl_call_ctrl_tabbox) Form not found!\n"
            "(myfl_call_ctrl_tabbox) Form not found!\n");
  EXPECT_EQ(myfl_get_form_rec(unknown_form()), nullptr);
  int type = 7;
  EXPECT_EQ(myfl_get_form_type(unknown_form(), &type), 0);
  EXPECT_EQ(type, 7);
  EXPECT_EQ(myfl_is_cmb(unknown_object()), 0);
  EXPECT_EQ(myfl_is_cmb(nullptr), 0);
}

TEST(FormsMisuseDeathTest, UnknownFormsAndCombosEndTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    void (*call)();
    const char *message;
  };
  const Case cases[] = {
      {[] { myfl_set_form_data(unknown_form(), 0, nullptr); },
       "^\\(myfl_set_form_name\\) Form-name is missing!\n$"},
      {[] { myfl_define_focus_first(unknown_form(), nullptr); },
       "^\\(myfl_define_focus_first\\) Form not found!\n$"},
      {[] { myfl_get_focus_first(unknown_form()); },
       "^\\(myfl_get_focus_first\\) Form not found!\n$"},
      {[] { myfl_get_ctrl_tabbox(unknown_form()); },
       "^\\(myfl_get_ctrl_tabbox\\) Form not found!\n$"},
      {[] { myfl_get_cmb_code(unknown_object()); }, "^\\(myfl_get_cmb_code\\) Cmb not defined\n$"},
      {[] { myfl_set_cmb_code(unknown_object(), "A"); },
       "^\\(myfl_set_cmb_code\\) Cmb not defined\n$"},
      {[] { myfl_set_cmb_callback(unknown_object(), nullptr); },
       "^\\(myfl_set_cmb_callback\\) Cmb not defined\n$"},
      {[] { myfl_sort_cmb(unknown_object()); }, "^\\(myfl_sort_cmb\\) Cmb not defined\n$"},
      {[] { myfl_cb_cmb(unknown_object(), 0); }, "^\\(myfl_cb_open_cmb\\) Cmb not defined\n$"},
      {[] { myfl_cb_cmb_button(unknown_object(), 0); },
       "^\\(myfl_cb_open_cmb\\) Cmb not defined\n$"},
  };
  for (const Case &c : cases) EXPECT_EXIT(c.call(), testing::ExitedWithCode(1), c.message);
}

}  // namespace
