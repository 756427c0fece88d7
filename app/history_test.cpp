// Tests of the query histories: recording (repeats against the newest or
// the browsed entry, texts over the limit, a full list dropping its oldest
// entry with the flags moving along), browsing and marking, and the history
// file (round trip byte for byte, line feeds, files edited by hand or cut
// short, a write that fails on a full disk).
#include "app/history.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "tests/support/log_capture.h"
#include "tests/support/test_files.h"

namespace {

class History : public testing::Test {
 protected:
  void SetUp() override { history_parse_lines({}); }
};

TEST_F(History, SelectsAreRecordedOnceAndUnsaved) {
  EXPECT_EQ(history_record_select("KUNDE", "", ""), 1);
  EXPECT_EQ(history_record_select("KUNDE", "", ""), 0);  // the same again
  EXPECT_EQ(history_record_select("KUNDE", "NAME", ""), 1);
  EXPECT_EQ(iSelect, 2);
  EXPECT_EQ(iSelect_Cnt, -1);
  EXPECT_STREQ(Sel_Attrib[1], "NAME");
  EXPECT_EQ(Sel_Save[1], 0);
  // A browsed entry run again unchanged adds nothing and keeps browsing.
  iSelect_Cnt = 0;
  EXPECT_EQ(history_record_select("KUNDE", "", ""), 0);
  EXPECT_EQ(iSelect_Cnt, 0);
  EXPECT_EQ(history_record_select("KUNDE", "NAME", ""), 1);  // differs from the browsed one
  EXPECT_EQ(iSelect, 3);
  EXPECT_EQ(iSelect_Cnt, -1);
  // Typed texts are kept as they are, "\n" pairs included.
  EXPECT_EQ(history_record_select("A\\nB", "", "WHERE X = 1"), 1);
  EXPECT_STREQ(Sel_Table[3], "A\\nB");
}

TEST_F(History, OverlongTextsAreNotRecorded) {
  std::string limit(HIST_TEXT_SIZE - 1, 'x'), over(HIST_TEXT_SIZE, 'x');
  EXPECT_EQ(history_record_sql(over.c_str()), 0);
  EXPECT_EQ(history_record_select("T", over.c_str(), ""), 0);
  EXPECT_EQ(iSQL + iSelect, 0);
  EXPECT_EQ(history_record_sql(limit.c_str()), 1);
  EXPECT_EQ(SQL_Query[0], limit);
}

TEST_F(History, AFullListDropsItsOldestEntry) {
  for (int i = 0; i < HIST_MAX; i++) {
    ASSERT_EQ(history_record_sql(("Q" + std::to_string(i)).c_str()), 1);
    SQL_Save[i] = i % 2;
    ASSERT_EQ(history_record_select(("T" + std::to_string(i)).c_str(), "", ""), 1);
    Sel_Save[i] = i % 3 == 0;
  }
  // A repeat of the newest entry costs nothing, not even the oldest entry.
  EXPECT_EQ(history_record_sql("Q99"), 0);
  EXPECT_STREQ(SQL_Query[0], "Q0");
  EXPECT_EQ(history_record_sql("neu"), 1);
  EXPECT_EQ(iSQL, HIST_MAX);
  EXPECT_STREQ(SQL_Query[0], "Q1");
  EXPECT_EQ(SQL_Save[0], 1);  // Q1's flag came along
  EXPECT_EQ(SQL_Save[1], 0);
  EXPECT_STREQ(SQL_Query[HIST_MAX - 1], "neu");
  EXPECT_EQ(SQL_Save[HIST_MAX - 1], 0);
  EXPECT_EQ(history_record_select("neu", "", ""), 1);
  EXPECT_STREQ(Sel_Table[0], "T1");
  EXPECT_EQ(Sel_Save[2], 1);  // T3's flag
  EXPECT_STREQ(Sel_Table[HIST_MAX - 1], "neu");
}

TEST_F(History, BrowsingAndMarking) {
  int32_t browse = -1;
  EXPECT_EQ(history_prev(0, &browse), -1);  // an empty list
  EXPECT_EQ(browse, -1);
  EXPECT_EQ(history_marked(0, -1), -1);
  EXPECT_EQ(history_prev(3, &browse), 2);  // the newest first
  EXPECT_EQ(history_marked(3, browse), 2);
  EXPECT_EQ(history_prev(3, &browse), 1);
  EXPECT_EQ(history_prev(3, &browse), 0);
  EXPECT_EQ(history_prev(3, &browse), 0);  // stays at the oldest
  EXPECT_EQ(history_marked(3, browse), 0);
  EXPECT_EQ(history_next(3, &browse), 1);
  EXPECT_EQ(history_next(3, &browse), 2);
  EXPECT_EQ(history_next(3, &browse), -1);  // past the newest: inputs emptied
  EXPECT_EQ(browse, -1);
  EXPECT_EQ(history_next(3, &browse), -1);
  EXPECT_EQ(history_marked(3, browse), 2);  // not browsing: the newest

  // A browsed entry of a full list stays the one browsed when a repeat of
  // it adds nothing; a new query ends browsing.
  for (int i = 0; i < HIST_MAX; i++) history_record_sql(("Q" + std::to_string(i)).c_str());
  iSQL_Cnt = 5;
  EXPECT_EQ(history_record_sql("Q5"), 0);
  EXPECT_EQ(iSQL_Cnt, 5);
  EXPECT_STREQ(SQL_Query[iSQL_Cnt], "Q5");
  EXPECT_EQ(history_record_sql("Q99"), 1);  // differs from the browsed entry
  EXPECT_EQ(iSQL_Cnt, -1);
  EXPECT_STREQ(SQL_Query[0], "Q1");
}

class HistoryFile : public TempDirTest {
 protected:
  HistoryFile() : TempDirTest("history_test") {}
  void SetUp() override {
    TempDirTest::SetUp();
    ASSERT_EQ(getcwd(old_, sizeof old_), old_);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    history_parse_lines({});
  }
  void TearDown() override {
    ASSERT_EQ(chdir(old_), 0);
    TempDirTest::TearDown();
  }
  char old_[4096];
};

TEST_F(HistoryFile, SavedEntriesRoundTripByteForByte) {
  EXPECT_EQ(load_sql_queries(), 1);  // no file: empty lists
  EXPECT_EQ(iSelect + iSQL, 0);
  history_record_select("KUNDE", "", "");
  history_record_select("ARTIKEL", "ARTIKEL_ID,PREIS", "WHERE PREIS > 10\nORDER BY PREIS");
  history_record_select("ORT", "", "");
  history_record_sql("show tables");
  history_record_sql("UPDATE KUNDE SET ORT = 'K\xf6ln\\' WHERE KUNDE_ID = 1");
  Sel_Save[0] = Sel_Save[1] = 1;  // ORT stays unsaved
  SQL_Save[1] = 1;
  ASSERT_EQ(save_sql_queries(), 1);
  const std::string expected =
      "KUNDE\n\n\n"
      "ARTIKEL\nARTIKEL_ID,PREIS\nWHERE PREIS > 10 ORDER BY PREIS\n"
      "---\n"
      "UPDATE KUNDE SET ORT = 'K\xf6ln\\' WHERE KUNDE_ID = 1\n";
  EXPECT_EQ(ReadFile("halvid.qry"), expected);

  ASSERT_EQ(load_sql_queries(), 1);
  ASSERT_EQ(iSelect, 2);
  ASSERT_EQ(iSQL, 1);
  EXPECT_EQ(iSelect_Cnt, -1);
  EXPECT_STREQ(Sel_Where[1], "WHERE PREIS > 10 ORDER BY PREIS");  // the line feed as a blank
  EXPECT_STREQ(SQL_Query[0], "UPDATE KUNDE SET ORT = 'K\xf6ln\\' WHERE KUNDE_ID = 1");
  EXPECT_EQ(Sel_Save[0] + Sel_Save[1] + SQL_Save[0], 3);  // read entries count as saved
  ASSERT_EQ(save_sql_queries(), 1);
  EXPECT_EQ(ReadFile("halvid.qry"), expected);
  EXPECT_EQ(FilesInDir(), 1);  // no new file left beside it

  // Unsaved entries only: an empty file, which loads as empty lists.
  Sel_Save[0] = Sel_Save[1] = SQL_Save[0] = 0;
  ASSERT_EQ(save_sql_queries(), 1);
  EXPECT_EQ(ReadFile("halvid.qry"), "");
  EXPECT_EQ(load_sql_queries(), 1);
  EXPECT_EQ(iSelect + iSQL, 0);
}

TEST_F(HistoryFile, FilesWrittenByHand) {
  // Only the separator: two empty lists; two separators: the second is no entry.
  EXPECT_EQ(history_parse("---\n"), 1);
  EXPECT_EQ(iSelect + iSQL, 0);
  EXPECT_EQ(history_parse("T\nA\nW\n---\nX\n---\nY"), 1);
  EXPECT_EQ(iSelect, 1);
  ASSERT_EQ(iSQL, 2);
  EXPECT_STREQ(SQL_Query[1], "Y");  // a last line without line feed counts

  // More than 100 entries keep the newest 100; an over-long line keeps 999
  // characters and its place.
  std::string text;
  for (int i = 0; i < 130; i++) text += "T" + std::to_string(i) + "\n\n\n";
  text += "---\n";
  for (int i = 0; i < 105; i++) text += "Q" + std::to_string(i) + "\n";
  text += std::string(1500, 'x') + "\nletzte\n";
  WriteFile("halvid.qry", text);
  EXPECT_EQ(load_sql_queries(), 1);
  ASSERT_EQ(iSelect, HIST_MAX);
  EXPECT_STREQ(Sel_Table[0], "T30");
  EXPECT_STREQ(Sel_Table[HIST_MAX - 1], "T129");
  ASSERT_EQ(iSQL, HIST_MAX);
  EXPECT_STREQ(SQL_Query[0], "Q7");
  EXPECT_EQ(std::string(SQL_Query[HIST_MAX - 2]), std::string(HIST_TEXT_SIZE - 1, 'x'));
  EXPECT_STREQ(SQL_Query[HIST_MAX - 1], "letzte");
  EXPECT_EQ(history_parse(text), 1);  // the text form reads the same
  EXPECT_STREQ(SQL_Query[HIST_MAX - 1], "letzte");
}

TEST_F(HistoryFile, AMalformedFileIsKeptAside) {
  // Four lines in the SELECT section: the second entry is cut short.
  WriteFile("halvid.qry", "T\nA\nW\nU\nB\n");
  EXPECT_EQ(load_sql_queries(), 0);
  EXPECT_EQ(iSelect + iSQL, 0);
  EXPECT_EQ(history_parse("T\nA"), 0);
  kv_capture_log();
  EXPECT_EQ(history_keep_malformed(), 1);
  EXPECT_EQ(kv_captured_log(),
            "Error reading SQL-commands from file 'halvid.qry' (file is kept as "
            "'halvid.qry.bak')!\n");
  EXPECT_EQ(ReadFile("halvid.qry.bak"), "T\nA\nW\nU\nB\n");
  EXPECT_NE(access("halvid.qry", F_OK), 0);
  EXPECT_EQ(load_sql_queries(), 1);  // now there is none
}

// The save in a child whose file-size limit a full disk stands for; the
// result of the save is its exit status.
int SaveUnderSizeLimit() {
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit rl = {100, 100};
  if (setrlimit(RLIMIT_FSIZE, &rl) != 0) return 3;
  return save_sql_queries();
}

TEST_F(HistoryFile, AFailedSaveKeepsTheOldFile) {
  history_record_sql("SELECT * FROM KUNDE");
  SQL_Save[0] = 1;
  ASSERT_EQ(save_sql_queries(), 1);
  std::string old = ReadFile("halvid.qry");
  for (int i = 0; i < 20; i++) history_record_sql(("SELECT * FROM T" + std::to_string(i)).c_str());
  for (int i = 0; i < iSQL; i++) SQL_Save[i] = 1;
  EXPECT_EXIT(exit(SaveUnderSizeLimit()), testing::ExitedWithCode(0),
              "^ERROR: File 'halvid.qry' cannot be opened for writing!\n$");
  EXPECT_EQ(ReadFile("halvid.qry"), old);
  EXPECT_EQ(FilesInDir(), 1);
}

}  // namespace
