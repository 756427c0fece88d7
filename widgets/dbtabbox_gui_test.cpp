// Tests of the database tabbox binding on real tabbox objects (ctest runs
// them under Xvfb; without DISPLAY they skip): registration, loads with the
// record states, adding with the duplicate check, replacing, deleting and
// moving rows with the selection rules, name switching and reloads, the
// width entries of the stored settings line, and the misuses that end the
// process.  Alerts go to the goodies' script.
// GoogleTest comes before the X headers, whose macro None clashes with it.
#include <gtest/gtest.h>

#include "widgets/dbtabbox.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "base/ini.h"
#include "base/mem.h"
#include "widgets/goodies.h"
#include "widgets/gui_test.h"
#include "widgets/mytabs.h"
#include "widgets/tabbox_hooks.h"

namespace {

// The test's row record: a name and a town, sized to its content.
struct TREC {
  TBREC_HEAD head;
  char name[40];
  char town[40];
};

void *trec_new() {
  TREC *r = static_cast<TREC *>(mymalloc(sizeof(TREC)));
  memset(r, 0, sizeof(TREC));
  r->head = {static_cast<int32_t>(sizeof(TREC)), 0, 42};
  return r;
}

TREC trec(const char *name, const char *town) {
  TREC r = {};
  r.head = {static_cast<int32_t>(sizeof(TREC)), 0, 42};
  snprintf(r.name, sizeof r.name, "%s", name);
  snprintf(r.town, sizeof r.town, "%s", town);
  return r;
}

const char *trec_attribs(int dbnames) { return dbnames ? "NAME_DB,ORT_DB" : "Name,Ort"; }

std::string upper(const char *s) {
  std::string u = s;
  for (char &c : u) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return u;
}

char *trec_data(BESREC *, void *record, int dbnames) {
  TREC *r = static_cast<TREC *>(record);
  std::string text;
  tb_quote_value(r->name, strlen(r->name), &text);
  text += ',';
  std::string town = dbnames ? upper(r->town) : r->town;
  tb_quote_value(town.data(), town.size(), &text);
  return mystrdup(text.c_str());
}

int trec_equal(const void *a, const void *b) {
  return strcmp(static_cast<const TREC *>(a)->name, static_cast<const TREC *>(b)->name) == 0;
}

int updates;
void trec_update(void *, void *) { updates++; }
int dblclicks;
void count_dblclick(FL_OBJECT *, long) { dblclicks++; }
const char *test_applname() { return "dbtabtest"; }

void unscripted(const std::string &what) { ADD_FAILURE() << "unscripted dialog: " << what; }

class DbTabboxGui : public testing::Test {
 protected:
  void SetUp() override {
    if (!gui_init("DbTabboxTest")) GTEST_SKIP() << "no X display";
    tabbox_hooks = {};
    tabbox_hooks.applname = test_applname;
    updates = dblclicks = 0;
    form = fl_bgn_form(FL_FLAT_BOX, 400, 300);
    hold = fl_add_tabbox(2, 10, 10, 380, 200, "");
    plain = fl_add_tabbox(0, 10, 220, 380, 70, "");
    fl_end_form();
    script.on_unscripted = unscripted;
    goodies_set_script(&script);
    ARRAY_Init(&records);
  }
  void TearDown() override {
    if (!form) return;
    goodies_set_script(nullptr);
    for (FL_OBJECT *ob : {hold, plain})
      if (myfl_get_tabbox_binding(ob)) myfl_free_tabbox(ob);
    fl_free_form(form);
    ARRAY_Free(&records);
    EXPECT_TRUE(script.steps.empty());
  }

  void bind(FL_OBJECT *ob, TB_EQUAL equal = nullptr, TB_UPDATE update = nullptr,
            const char *name = "TEST") {
    myfl_init_db_tabbox(form, ob, name, trec_attribs, trec_new, equal, update, dbshow_all,
                        count_dblclick);
  }

  // Loads rows named n1 ... nk living in town<i>.
  void load(FL_OBJECT *ob, int k) {
    ARRAY_Free(&records);
    for (int i = 1; i <= k; i++) {
      TREC r = trec(("n" + std::to_string(i)).c_str(), ("town" + std::to_string(i)).c_str());
      ARRAY_Add(&records, &r);
    }
    myfl_load_multiple_tabbox(nullptr, ob, &records, trec_data);
  }

  std::vector<std::string> lines(FL_OBJECT *ob) {
    std::vector<std::string> out;
    for (int i = 1; i <= fl_get_tabbox_maxline(ob); i++)
      out.push_back(fl_get_tabbox_full_line(ob, i));
    return out;
  }

  const TREC *row(FL_OBJECT *ob, int n) {
    return static_cast<const TREC *>(myfl_get_tabbox_item_info(ob, n));
  }

  FL_FORM *form = nullptr;
  FL_OBJECT *hold = nullptr, *plain = nullptr;
  GOODIES_SCRIPT script;
  ARRAY records;
};

TEST_F(DbTabboxGui, LoadWritesTitleAndLinesAndKeepsCopies) {
  bind(hold);
  DBTABBOX *b = myfl_get_tabbox_binding(hold);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->col_count, 2);
  EXPECT_STREQ(myfl_get_tabbox_name(hold), "TEST");
  EXPECT_EQ(myfl_enabled_tabbox_sort(hold), 1);
  EXPECT_EQ(myfl_get_tabbox_tablenr(hold), 42);
  EXPECT_STREQ(fl_get_tabbox_full_title(hold), "Name | Ort");

  ARRAY_Free(&records);
  TREC r1 = trec("Meier", "Bonn"), r2 = trec("Al", "K\xf6ln");
  ARRAY_Add(&records, &r1);
  ARRAY_Add(&records, &r2);
  myfl_load_multiple_tabbox(nullptr, hold, &records, trec_data);
  EXPECT_STREQ(fl_get_tabbox_full_title(hold), "Name  | Ort ");
  EXPECT_EQ(lines(hold), (std::vector<std::string>{"Meier | Bonn", "Al    | K\xf6ln"}));
  EXPECT_EQ(myfl_get_tabbox_items(hold), 2);
  ASSERT_NE(row(hold, 2), nullptr);
  EXPECT_STREQ(row(hold, 2)->town, "K\xf6ln");
  EXPECT_EQ(row(hold, 1)->head.state, TBREC_LOADED);
  EXPECT_NE(static_cast<const void *>(row(hold, 1)), ARRAY_GetPtr(&records, 0));  // a copy
  EXPECT_EQ(row(hold, 3), nullptr);

  EXPECT_EQ(myfl_get_tabbox(hold), 0);
  EXPECT_EQ(myfl_get_tabbox_info(hold), nullptr);
  fl_select_tabbox_line(hold, 2);
  EXPECT_EQ(myfl_get_tabbox(hold), 2);
  EXPECT_STREQ(static_cast<TREC *>(myfl_get_tabbox_info(hold))->name, "Al");

  ARRAY all;
  ARRAY_Init(&all);
  myfl_get_multiple_tabbox(hold, &all);
  ASSERT_EQ(all.count, 2);
  EXPECT_STREQ(static_cast<TREC *>(ARRAY_GetPtr(&all, 0))->name, "Meier");
  ARRAY_Free(&all);

  // A new load replaces every row; a single load leaves one.
  load(hold, 5);
  EXPECT_EQ(myfl_get_tabbox_items(hold), 5);
  EXPECT_EQ(fl_get_tabbox_maxline(hold), 5);
  myfl_load_single_tabbox(nullptr, hold, &r1, trec_data);
  EXPECT_EQ(lines(hold), (std::vector<std::string>{"Meier | Bonn"}));
  myfl_free_tabbox_data(hold);
  EXPECT_EQ(fl_get_tabbox_maxline(hold), 0);
  EXPECT_STREQ(fl_get_tabbox_full_title(hold), "Name | Ort");
}

TEST_F(DbTabboxGui, AddingRefusesDuplicatesAndSelectsTheNewLine) {
  bind(hold, trec_equal);
  load(hold, 2);
  TREC r = trec("neu", "Ulm");
  EXPECT_EQ(myfl_addto_tabbox_line(hold, "\"neu\",\"Ulm\"", &r), 1);
  EXPECT_EQ(myfl_get_tabbox_items(hold), 3);
  EXPECT_EQ(row(hold, 3)->head.state, TBREC_ADDED);
  EXPECT_EQ(fl_get_tabbox(hold), 3);

  script.steps = {{GOODIE_ALERT, 0, ""}};
  TREC dup = trec("n1", "anders");
  EXPECT_EQ(myfl_addto_tabbox_line(hold, "\"n1\",\"anders\"", &dup), 0);
  ASSERT_EQ(script.shown.size(), 1u);
  EXPECT_EQ(script.shown[0].text, "Eintrag bereits vorhanden\n\n");
  EXPECT_EQ(myfl_get_tabbox_items(hold), 3);
  EXPECT_EQ(myfl_test_tabbox_insert(hold, &dup), 0);
  EXPECT_EQ(myfl_test_tabbox_replace(hold, row(hold, 1), &dup), 1);
  EXPECT_EQ(myfl_test_tabbox_replace(hold, row(hold, 2), &dup), 0);
}

TEST_F(DbTabboxGui, ReplacingKeepsTheRecordStates) {
  bind(hold);
  load(hold, 3);
  DBTABBOX *b = myfl_get_tabbox_binding(hold);
  EXPECT_EQ(myfl_replace_tabbox_line(hold, "\"x\",\"y\"", nullptr), 0);  // no selection
  fl_select_tabbox_line(hold, 2);
  TREC r = trec("zwei", "Trier");
  EXPECT_EQ(myfl_replace_tabbox_line(hold, "\"zwei\",\"Trier\"", &r), 1);
  EXPECT_EQ(lines(hold)[1], "zwei | Trier");
  EXPECT_EQ(row(hold, 2)->head.state, TBREC_ADDED);
  EXPECT_EQ(fl_get_tabbox(hold), 2);
  // The loaded record it replaced went to the deleted list.
  ASSERT_EQ(b->deleted.size(), 1u);
  EXPECT_STREQ(static_cast<TREC *>(b->deleted[0])->name, "n2");
  EXPECT_EQ(static_cast<TREC *>(b->deleted[0])->head.state, TBREC_DELETED);
  // Replacing a record added here does not list anything.
  EXPECT_EQ(myfl_replace_tabbox_line(hold, "\"drei\",\"Hof\"", &r), 1);
  EXPECT_EQ(b->deleted.size(), 1u);
  myfl_free_tabbox(hold);

  // With Update the loaded record is reported instead.
  bind(hold, nullptr, trec_update);
  load(hold, 2);
  fl_select_tabbox_line(hold, 1);
  EXPECT_EQ(myfl_replace_tabbox_line(hold, "\"zwei\",\"Trier\"", &r), 1);
  EXPECT_EQ(updates, 1);
  EXPECT_TRUE(myfl_get_tabbox_binding(hold)->deleted.empty());
}

TEST_F(DbTabboxGui, DeletingSelectsTheFollowingLine) {
  bind(hold);
  load(hold, 5);
  EXPECT_EQ(myfl_delete_tabbox_line(hold), 0);
  fl_select_tabbox_line(hold, 3);
  EXPECT_EQ(myfl_delete_tabbox_line(hold), 1);
  EXPECT_EQ(myfl_get_tabbox_items(hold), 4);
  EXPECT_EQ(fl_get_tabbox_maxline(hold), 4);
  EXPECT_EQ(fl_get_tabbox(hold), 3);
  EXPECT_STREQ(row(hold, 3)->name, "n4");
  EXPECT_EQ(lines(hold)[2], "n4   | town4");
  DBTABBOX *b = myfl_get_tabbox_binding(hold);
  ASSERT_EQ(b->deleted.size(), 1u);
  EXPECT_EQ(static_cast<TREC *>(b->deleted[0])->head.state, TBREC_DELETED);

  fl_select_tabbox_line(hold, 4);
  EXPECT_EQ(myfl_delete_tabbox_line(hold), 1);
  EXPECT_EQ(fl_get_tabbox(hold), 3);
  EXPECT_STREQ(row(hold, 3)->name, "n4");
  EXPECT_STREQ(static_cast<TREC *>(b->deleted[0])->name, "n5");  // newest first
  EXPECT_EQ(myfl_delete_tabbox_line_idx(hold, 1), 1);
  EXPECT_EQ(myfl_delete_tabbox_line_idx(hold, 9), 0);
  EXPECT_EQ(lines(hold), (std::vector<std::string>{"n2   | town2", "n4   | town4"}));
}

TEST_F(DbTabboxGui, MovingLinesUpAndDown) {
  bind(hold);
  load(hold, 3);
  fl_select_tabbox_line(hold, 1);
  myfl_up_tabbox_line(hold);
  EXPECT_STREQ(row(hold, 1)->name, "n1");
  myfl_down_tabbox_line(hold);
  EXPECT_STREQ(row(hold, 1)->name, "n2");
  EXPECT_STREQ(row(hold, 2)->name, "n1");
  EXPECT_EQ(fl_get_tabbox(hold), 2);
  EXPECT_EQ(lines(hold)[1], "n1   | town1");
  myfl_down_tabbox_line(hold);
  myfl_down_tabbox_line(hold);  // the last line stays
  EXPECT_EQ(lines(hold),
            (std::vector<std::string>{"n2   | town2", "n3   | town3", "n1   | town1"}));
  EXPECT_EQ(fl_get_tabbox(hold), 3);
}

TEST_F(DbTabboxGui, NameSwitchAndReloadReformatTheSameRecords) {
  bind(hold);
  load(hold, 2);
  fl_select_tabbox_line(hold, 1);
  myfl_set_tabbox_kz_dbnames(hold, 1);
  EXPECT_EQ(myfl_get_tabbox_kz_dbnames(hold), 1);
  EXPECT_EQ(myfl_get_tabbox_items(hold), 2);
  myfl_draw_tabbox_extern(hold);  // the caller draws after the switch
  EXPECT_STREQ(fl_get_tabbox_full_title(hold), "NAME_DB | ORT_DB");
  EXPECT_EQ(lines(hold), (std::vector<std::string>{"n1      | TOWN1 ", "n2      | TOWN2 "}));
  EXPECT_EQ(myfl_reload_tabbox(hold), 1);
  EXPECT_EQ(row(hold, 1)->head.state, TBREC_LOADED);
  EXPECT_TRUE(myfl_get_tabbox_binding(hold)->deleted.empty());

  // A tabbox that was never loaded has nothing to reload with.
  bind(plain);
  EXPECT_EQ(myfl_reload_tabbox(plain), 0);
}

TEST_F(DbTabboxGui, ValuesRoundTripIntoTheLines) {
  bind(hold);
  const char *raw = "\"a\\\"b\",\"c\\\\\"";  // a"b and c\ quoted
  TREC r = trec("a\"b", "c\\");
  EXPECT_EQ(myfl_addto_tabbox_line(hold, raw, &r), 1);
  EXPECT_EQ(myfl_addto_tabbox_line(hold, "\"x|y\",\"l1\nl2\"", &r), 1);
  EXPECT_EQ(myfl_addto_tabbox_line(hold, "\"@at\",\"\"", &r), 1);
  EXPECT_EQ(lines(hold),
            (std::vector<std::string>{"a\"b  | c\\   ", "x|y  | l1\\l2", "@at  |      "}));
}

TEST_F(DbTabboxGui, WidthEntriesEditTheStoredLine) {
  char dir[] = "/tmp/dbtab_gui_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(dir), 0);
  bind(hold);
  set_col_width(hold, 1, 12);  // no stored line yet: nothing
  EXPECT_EQ(Get_ini_Data("dbtabtest", "TEST"), nullptr);
  Set_ini_Data("dbtabtest", "TEST", "[TEST] 0 3 1 2 \n");
  set_col_width(hold, 2, 12);
  EXPECT_STREQ(Get_ini_Data("dbtabtest", "TEST"), "[TEST] 0 3 1 2 2|12 \n");
  set_col_width(hold, 2, 8);
  set_col_width(hold, 1, 5);
  EXPECT_STREQ(Get_ini_Data("dbtabtest", "TEST"), "[TEST] 0 3 1 2 2|8 1|5 \n");
  clear_col_width(hold, 2);
  EXPECT_STREQ(Get_ini_Data("dbtabtest", "TEST"), "[TEST] 0 3 1 2 1|5 \n");
  clear_col_widths(hold);
  EXPECT_STREQ(Get_ini_Data("dbtabtest", "TEST"), "[TEST] 0 3 1 2 \n");
  set_col_width(plain, 1, 3);  // not bound: nothing
  ASSERT_EQ(chdir(old), 0);
  std::string cmd = std::string("rm -rf ") + dir;
  ASSERT_EQ(system(cmd.c_str()), 0);
}

using DbTabboxGuiDeathTest = DbTabboxGui;

TEST_F(DbTabboxGuiDeathTest, MisusesEndTheProcess) {
  GTEST_FLAG_SET(death_test_style, "fast");
  EXPECT_EXIT(myfl_get_tabbox(plain), testing::ExitedWithCode(1),
              "\\(myfl_get_tabbox\\) Tabbox not defined");
  EXPECT_EXIT(myfl_down_tabbox_line(plain), testing::ExitedWithCode(1),
              "\\(myfl_up_tabbox_line\\) Tabbox not defined");
  EXPECT_EXIT(myfl_test_tabbox_replace(plain, nullptr, nullptr), testing::ExitedWithCode(1),
              "\\(myfl_test_tabbox_unique\\) Tabbox not defined");
  bind(hold);
  EXPECT_EXIT(bind(hold), testing::ExitedWithCode(1), "\\(init_tabbox\\) Tabbox already defined");
  EXPECT_EXIT(myfl_addto_tabbox_line(hold, "a,b,c", nullptr), testing::ExitedWithCode(1),
              "\\(addto_tabbox_line\\) Line is invalid \\(only 3 of 2 cols\\)");
  EXPECT_EXIT(myfl_get_tabbox_item_info(hold, 0), testing::ExitedWithCode(1),
              "\\(myfl_get_tabbox_item_info\\) Invalid index \\(0\\)");
  myfl_init_tabbox(form, plain, nullptr, trec_attribs, nullptr, nullptr, nullptr);
  EXPECT_EQ(myfl_get_tabbox_tablenr(plain), -1);
  EXPECT_EXIT(myfl_load_multiple_tabbox(nullptr, plain, &records, trec_data),
              testing::ExitedWithCode(1),
              "\\(myfl_load_multiple_tabbox\\) Tabbox is no database tabbox");
}

}  // namespace
