// The sort/columns dialog on a real X server, in process (ctest runs it
// under Xvfb; without DISPLAY every test skips): FE_Init against the
// scripted stand-in for the server, a form with a bound result list (type
// 2) and a detail table (type 0).  The dialog is filled from the stored
// line, its list actions and OK change the tabbox and its line in the ini
// file, the line comes back when the tabbox is bound anew, and lines that
// do not fit are reported and not applied.  Alerts are answered by the
// goodies' script.  The ini file lives in a temporary directory.
// GoogleTest comes before the X headers, whose macro None clashes with it.
#include <gtest/gtest.h>

#include "forms/tbsort.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/containers.h"
#include "base/ini.h"
#include "base/mem.h"
#include "forms/forms.h"
#include "forms/inputs.h"
#include "tests/support/log_capture.h"
#include "tests/support/scripted_server.h"
#include "widgets/dbtabbox.h"
#include "widgets/goodies.h"
#include "widgets/gui_test.h"
#include "widgets/mytabs.h"
#include "widgets/tabbox_hooks.h"

namespace {

const char kApp[] = "sorttest";

// A row record of the test: header and the row text.
struct ROW {
  int32_t size, state, tablenr;
  char text[200];
};

void *row_new() {
  ROW *r = static_cast<ROW *>(mymalloc(sizeof(ROW)));
  memset(r, 0, sizeof *r);
  r->size = sizeof(ROW);
  r->tablenr = -1;
  return r;
}
const char *row_attribs(int) { return "NR,NAME,ORT,BETRAG"; }
char *row_data(BESREC *, void *record, int) { return mystrdup(static_cast<ROW *>(record)->text); }

FL_FORM *form;
FL_OBJECT *list, *detail;
bool ready = false;
std::string workdir;

void remove_workdir() {
  if (workdir.empty()) return;
  std::string cmd = "rm -rf '" + workdir + "'";
  if (system(cmd.c_str()) != 0) fprintf(stderr, "cannot remove %s\n", workdir.c_str());
  workdir.clear();
}

// Binds the tabbox anew, as a window does for new data, and loads rows.
void bind(FL_OBJECT *tb, const char *name) {
  if (myfl_get_tabbox_binding(tb)) myfl_free_tabbox(tb);
  myfl_init_db_tabbox(form, tb, name, row_attribs, row_new, nullptr, nullptr, dbshow_all, nullptr);
  ARRAY rows;
  ARRAY_Init(&rows);
  const char *texts[] = {"\"1\",\"Meier\",\"Bonn\",\"12.5\"", "\"2\",\"Al\",\"K\xf6ln\",\"3\"",
                         "\"3\",\"Zander\",\"Aachen\",\"-7\""};
  ROW *r = static_cast<ROW *>(row_new());
  for (const char *t : texts) {
    strcpy(r->text, t);
    ARRAY_Add(&rows, r);
  }
  myfree(r);
  myfl_load_multiple_tabbox(pBESREC, tb, &rows, row_data);
  ARRAY_Free(&rows);
}

class SortEnv : public testing::Environment {
 public:
  void SetUp() override {
    if (!gui_init("SortTest")) return;
    char dir[] = "/tmp/tbsort_gui_XXXXXX";
    if (!mkdtemp(dir)) return;
    workdir = dir;
    atexit(remove_workdir);
    if (chdir(dir) != 0) return;
    server_ = std::make_unique<ScriptedServer>();
    port_ = server_->port_text();
    dbsetport(port_.c_str());
    if (FE_Init(&pBESREC, "SORTTEST") != 1) return;
    myfl_set_applname(kApp);
    form = fl_bgn_form(FL_FLAT_BOX, 640, 480);
    myfl_add_help_button(640, 480);
    list = fl_add_tabbox(2, 20, 20, 600, 200, "");
    detail = fl_add_tabbox(0, 20, 240, 600, 220, "");
    fl_end_form();
    myfl_set_form_data(form, FORMTYPE_GLOBAL, "Sorttest");
    fl_show_form(form, FL_PLACE_CENTER, FL_FULLBORDER, "Sorttest");
    bind(list, "LISTE");
    bind(detail, "DETAIL");
    ready = true;
  }

 private:
  std::unique_ptr<ScriptedServer> server_;
  std::string port_;
};

testing::Environment *const env = testing::AddGlobalTestEnvironment(new SortEnv);

void unscripted(const std::string &what) { ADD_FAILURE() << "unscripted dialog: " << what; }

// The texts of the lines of a list (the first field of each row).
std::vector<std::string> lines(FL_OBJECT *tb) {
  std::vector<std::string> out;
  DBTABBOX *b = myfl_get_tabbox_binding(tb);
  for (const TBROW &row : b->rows) {
    std::string text = row.field(0);
    for (int i = 1; i < row.count(); i++) text += "/" + row.field(i);
    out.push_back(text);
  }
  return out;
}

// Selects the line of a list whose first field is text.
void pick(FL_OBJECT *tb, const std::string &text) {
  std::vector<std::string> l = lines(tb);
  for (size_t i = 0; i < l.size(); i++)
    if (l[i].substr(0, l[i].find('/')) == text) {
      fl_select_tabbox_line(tb, static_cast<int>(i) + 1);
      return;
    }
  ADD_FAILURE() << text << " not in the list";
}

std::vector<int> order_of(FL_OBJECT *tb) {
  int n = 0, *order = nullptr, *visible = nullptr;
  fl_get_tabbox_properties(tb, &n, nullptr, &order, &visible, nullptr, nullptr, nullptr, nullptr,
                           nullptr);
  std::vector<int> out;
  for (int p = 1; p < n && order[p] != -1; p++) out.push_back(visible[order[p]] ? order[p] : 0);
  return out;
}

std::vector<int> sort_of(FL_OBJECT *tb) {
  int count = 0, *cols = nullptr, *dirs = nullptr;
  fl_get_tabbox_properties(tb, nullptr, nullptr, nullptr, nullptr, &count, &cols, &dirs, nullptr,
                           nullptr);
  std::vector<int> out;
  for (int k = 0; k < count; k++) out.push_back(dirs[k] ? cols[k] : -cols[k]);
  return out;
}

std::string stored(const char *key) {
  const char *line = Get_ini_Data(kApp, key);
  return line ? line : "";
}

// The log holds message, once or (a line is applied at every draw) more
// often, and nothing else.
void only_message(const std::string &log, const std::string &message) {
  ASSERT_FALSE(log.empty());
  std::string rest = log;
  while (rest.compare(0, message.size(), message) == 0) rest.erase(0, message.size());
  EXPECT_EQ(rest, "") << log;
}

class SortDialog : public testing::Test {
 protected:
  void SetUp() override {
    if (!ready) GTEST_SKIP() << "no X display";
    script.on_unscripted = unscripted;
    goodies_set_script(&script);
    Clear_ini_Data(kApp, "LISTE");
    Clear_ini_Data(kApp, "DETAIL");
    for (FL_OBJECT *tb : {list, detail}) fl_set_tabbox_sort(tb, 0, nullptr, nullptr);
    bind(list, "LISTE");
    fl_set_tabbox_hor(detail);
    bind(detail, "DETAIL");
  }
  void TearDown() override {
    if (!ready) return;
    if (SORT_Usedby) myfl_close_tbsort();
    goodies_set_script(nullptr);
    EXPECT_TRUE(script.steps.empty()) << "alerts expected but not shown";
    gui_pump();
  }
  void expect_alert(const char *text) {
    script.steps.push_back({GOODIE_ALERT, 0, ""});
    expected.push_back(std::string(text) + "\n\n");
  }
  void check_alerts() {
    std::vector<std::string> shown;
    for (const GOODIE_SHOWN &s : script.shown) shown.push_back(s.text);
    EXPECT_EQ(shown, expected);
    script.shown.clear();
    expected.clear();
  }
  GOODIES_SCRIPT script;
  std::vector<std::string> expected;
};

TEST_F(SortDialog, OpensFilledFromTheStoredLine) {
  ASSERT_EQ(Set_ini_Data(kApp, "LISTE", "[LISTE] 0 5 3 1 -1 1d 14m 2|4 \n"), 1);
  tbhook_open_tbsort(form, list);  // as the tabbox's popup does
  gui_pump();
  ASSERT_TRUE(fl_form_is_visible(fd_SORT->SORT));
  EXPECT_EQ(SORT_Usedby, form);
  EXPECT_EQ(SORT_Tabbox, list);
  EXPECT_FALSE(fl_form_is_activated(form));
  EXPECT_EQ(lines(fd_SORT->select), (std::vector<std::string>{"ORT", "NR"}));
  EXPECT_EQ(lines(fd_SORT->avail), (std::vector<std::string>{"NAME", "BETRAG"}));
  EXPECT_EQ(lines(fd_SORT->sort), (std::vector<std::string>{"NR/Nein"}));
  EXPECT_STREQ(fl_get_input(fd_SORT->maxwidth), "14");
  EXPECT_STREQ(fl_get_input(fd_SORT->decimals), "");
  EXPECT_FALSE(fd_SORT->vertical->visible);  // a type 2 tabbox has no vertical view
  EXPECT_EQ(myfl_get_button(fd_SORT->ascending), '1');
  EXPECT_EQ(order_of(list), (std::vector<int>{3, 1}));  // the line is applied too

  expect_alert(
      "Sortierung-Tabbox-Dialog bereits ge\xf6"
      "ffnet");
  myfl_open_tbsort(form, detail);
  EXPECT_EQ(SORT_Tabbox, list);
  EXPECT_EQ(SORT_AtClose(fd_SORT->SORT, nullptr), FL_IGNORE);
  gui_pump();
  EXPECT_FALSE(fl_form_is_visible(fd_SORT->SORT));
  EXPECT_TRUE(fl_form_is_activated(form));
  expect_alert("Sortierung-Tabbox-Dialog bereits geschlossen");
  myfl_close_tbsort();
  check_alerts();
}

TEST_F(SortDialog, ListActionsAndOk) {
  myfl_open_tbsort(form, list);
  EXPECT_EQ(lines(fd_SORT->select), (std::vector<std::string>{"NR", "NAME", "ORT", "BETRAG"}));
  EXPECT_TRUE(lines(fd_SORT->avail).empty());
  // NAME back to the available ones, then again to the end of the selected.
  pick(fd_SORT->select, "NAME");
  SORT_Avail_TB_In(nullptr, 0);
  EXPECT_EQ(lines(fd_SORT->avail), (std::vector<std::string>{"NAME"}));
  pick(fd_SORT->avail, "NAME");
  SORT_Avail_dblclick(fd_SORT->avail, 0);
  EXPECT_EQ(lines(fd_SORT->select), (std::vector<std::string>{"NR", "ORT", "BETRAG", "NAME"}));
  // ORT up; keys ORT (descending), NAME, NR; then NR down to the end.
  pick(fd_SORT->select, "ORT");
  SORT_Select_TB_Up(nullptr, 0);
  EXPECT_EQ(lines(fd_SORT->select), (std::vector<std::string>{"ORT", "NR", "BETRAG", "NAME"}));
  SORT_Select_TB_Out(nullptr, 0);
  SORT_Sortierung(fd_SORT->descending, 2);
  EXPECT_EQ(myfl_get_button(fd_SORT->ascending), '0');
  SORT_TB_Change(nullptr, 0);
  for (const char *c : {"NAME", "NR"}) {
    pick(fd_SORT->select, c);
    SORT_Select_TB_Out(nullptr, 0);
  }
  EXPECT_EQ(lines(fd_SORT->sort), (std::vector<std::string>{"ORT/Nein", "NAME/Ja", "NR/Ja"}));
  pick(fd_SORT->sort, "NAME");
  SORT_Sort_TB_Up(nullptr, 0);
  SORT_Sort_TB_Up(nullptr, 0);
  EXPECT_EQ(lines(fd_SORT->sort), (std::vector<std::string>{"NAME/Ja", "ORT/Nein", "NR/Ja"}));
  // Selecting a key shows its direction.
  pick(fd_SORT->sort, "ORT");
  fl_call_object_callback(fd_SORT->sort);
  EXPECT_EQ(myfl_get_button(fd_SORT->descending), '1');
  // BETRAG leaves the selected columns; NR leaves them with its key.
  pick(fd_SORT->select, "BETRAG");
  SORT_Select_dblclick(fd_SORT->select, 0);
  pick(fd_SORT->select, "NR");
  SORT_Avail_TB_In(nullptr, 0);
  EXPECT_EQ(lines(fd_SORT->sort), (std::vector<std::string>{"NAME/Ja", "ORT/Nein"}));
  pick(fd_SORT->sort, "ORT");
  SORT_Sort_TB_Down(nullptr, 0);  // already the last
  pick(fd_SORT->sort, "NAME");
  SORT_Select_TB_In(nullptr, 0);
  EXPECT_EQ(lines(fd_SORT->sort), (std::vector<std::string>{"ORT/Nein"}));

  // OK checks the inputs before anything changes.
  fl_set_input(fd_SORT->decimals, "21");
  expect_alert("Maximal 20 Nachkommastellen sind zul\xe4ssig!");
  SORT_OK(fd_SORT->ok, 0);
  fl_set_input(fd_SORT->decimals, "20");
  fl_set_input(fd_SORT->maxwidth, "0");
  expect_alert("Die maximale Spaltenbreite muss mindestens 1 sein!");
  SORT_OK(fd_SORT->ok, 0);
  check_alerts();
  EXPECT_TRUE(fl_form_is_visible(fd_SORT->SORT));
  EXPECT_EQ(stored("LISTE"), "");
  EXPECT_EQ(order_of(list), (std::vector<int>{1, 2, 3, 4}));

  fl_set_input(fd_SORT->maxwidth, "15");
  SORT_OK(fd_SORT->ok, 0);
  EXPECT_EQ(SORT_Usedby, nullptr);
  EXPECT_TRUE(fl_form_is_activated(form));
  EXPECT_EQ(stored("LISTE"), "[LISTE] 0 5 3 2 -1 3d 15m \n");
  EXPECT_EQ(order_of(list), (std::vector<int>{3, 2}));
  EXPECT_EQ(sort_of(list), (std::vector<int>{-3}));
  EXPECT_EQ(fl_get_tabbox_comma(list), 20);
  // Shown: ORT, then NAME, the rows sorted by ORT descending.
  gui_pump();
  EXPECT_EQ(std::string(fl_get_tabbox_line(list, 1)).substr(0, 12), "K\xf6ln   | Al ");

  // Bound anew (a new result, a new run): the line is applied again.
  bind(list, "LISTE");
  EXPECT_EQ(order_of(list), (std::vector<int>{3, 2}));
  EXPECT_EQ(sort_of(list), (std::vector<int>{-3}));
}

TEST_F(SortDialog, VerticalViewAndWidthsOfADetailTable) {
  myfl_open_tbsort(form, detail);
  EXPECT_TRUE(fd_SORT->vertical->visible);
  myfl_set_button(fd_SORT->vertical, 1);
  SORT_OK(fd_SORT->ok, 0);
  EXPECT_EQ(fl_get_tabbox_vert(detail), 1);
  EXPECT_EQ(stored("DETAIL"), "[DETAIL] v 0 5 1 2 3 4 \n");
  // A width the user dragged is stored with the rest (the tabbox's hooks).
  int *col_maxwidth = nullptr;
  fl_get_tabbox_properties(detail, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, &col_maxwidth);
  col_maxwidth[2] = 3;
  tbhook_update_tbsort(detail);
  EXPECT_EQ(stored("DETAIL"), "[DETAIL] v 0 5 1 2 3 4 2|3 \n");
  bind(detail, "DETAIL");
  fl_get_tabbox_properties(detail, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, &col_maxwidth);
  EXPECT_EQ(col_maxwidth[2], 3);
  EXPECT_EQ(fl_get_tabbox_vert(detail), 1);
}

TEST_F(SortDialog, LinesThatDoNotFitAreReportedAndNotApplied) {
  // A bad entry: nothing of the line is applied, the line stays.
  ASSERT_EQ(Set_ini_Data(kApp, "LISTE", "[LISTE] 0 5 2 1 -1 7|15 \n"), 1);
  kv_capture_log();
  bind(list, "LISTE");
  only_message(kv_captured_log(), "ini-file: wrong max-width definition (LISTE)!\n");
  EXPECT_EQ(order_of(list), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(stored("LISTE"), "[LISTE] 0 5 2 1 -1 7|15 \n");
  // Written for more columns than the tabbox has: reported and deleted.
  ASSERT_EQ(Set_ini_Data(kApp, "LISTE", "[LISTE] 0 7 6 5 4 3 2 1 \n"), 1);
  kv_capture_log();
  bind(list, "LISTE");
  only_message(kv_captured_log(), "ini-file: wrong tabbox definition (LISTE)!\n");
  EXPECT_EQ(order_of(list), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(stored("LISTE"), "");
  // Written for fewer: the columns added since follow the stored ones.
  ASSERT_EQ(Set_ini_Data(kApp, "LISTE", "[LISTE] 0 3 2 1 1u \n"), 1);
  bind(list, "LISTE");
  EXPECT_EQ(order_of(list), (std::vector<int>{2, 1, 3, 4}));
  EXPECT_EQ(sort_of(list), (std::vector<int>{1}));
}

}  // namespace
