// End to end with the real programs on the X server of the test run (ctest
// runs under Xvfb; without DISPLAY, xdotool or ImageMagick every test
// skips): korvald with the demo data and --trace on a private port and
// data directory, torvane under the Latin-1 locale driven by xdotool.  A
// table name typed into the main window and Ctrl+U bring the rows (seen in
// the server's trace and on a screenshot of the window); Escape and "Ja"
// end the program with status 0.  The start-up refusals (a database name
// too long, also with the DBSYS prefix, and -doku when the manual cannot be
// written) end it with status 1 before any window shows; -doku writes the
// manual with the shipped help texts and ends with status 0.
// F1 shows the main window's help and Escape closes it again;
// torvane_shots takes the manual's pictures of every window.  Screenshots
// go to $KV_BUILD_DIR/artifacts (torvane_e2e_*.png).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/korvald_child.h"
#include "tests/support/pg_cluster.h"

namespace {

const char kLocale[] = "de_DE.ISO-8859-1";

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The standard output of a shell command (its exit status in *status).
std::string shell(const std::string &cmd, int *status = nullptr) {
  std::string out;
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = pclose(p);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

bool have_tools() {
  int a = 1, b = 1;
  shell("command -v xdotool >/dev/null", &a);
  shell("command -v import >/dev/null && command -v convert >/dev/null", &b);
  return a == 0 && b == 0;
}

// Polls until done() or the deadline; true when done.
template <class F>
bool poll(F done, int seconds = 30) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return done();
}

std::string artifact(const std::string &name) {
  const char *dir = getenv("KV_BUILD_DIR");
  std::string art = std::string(dir && *dir ? dir : ".") + "/artifacts";
  shell("mkdir -p '" + art + "'");
  return art + "/" + name;
}

// The spread of the pixel values in a rectangle of a picture (0 for a
// region of one colour).
double spread(const std::string &png, const char *crop) {
  std::string out = shell("convert '" + png + "' -crop " + crop +
                          " +repage -format '%[fx:standard_deviation]' info: 2>/dev/null");
  return out.empty() ? -1 : atof(out.c_str());
}

class TorvaneE2E : public testing::Test {
 protected:
  void SetUp() override {
    const char *display = getenv("DISPLAY");
    if (!display || !*display || !have_tools())
      GTEST_SKIP() << "needs DISPLAY, xdotool, ImageMagick";
    char dir[] = "/tmp/torvane_e2e_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    std::vector<std::string> args = {"--demo", "--trace"};
    if (!postgres_.empty()) args.insert(args.end(), {"--postgres", postgres_});
    port_ = korvald_start(KORVALD_PATH, dir_ + "/data", args, dir_ + "/trace", &server_);
    ASSERT_GT(port_, 0) << trace();
  }
  void TearDown() override {
    if (viewer_ > 0) {
      kill(viewer_, SIGTERM);
      waitpid(viewer_, nullptr, 0);
    }
    korvald_stop(&server_, SIGTERM);
    if (!dir_.empty()) shell("rm -rf '" + dir_ + "'");
  }

  // Starts torvane in the data directory's parent with args and env.
  void start_viewer(const std::vector<std::string> &args,
                    const std::vector<std::string> &env = {}) {
    viewer_ = fork();
    if (viewer_ == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(126);
      setenv("LC_ALL", kLocale, 1);
      setenv("KORVAL_PORT", std::to_string(port_).c_str(), 1);
      for (const std::string &e : env) putenv(const_cast<char *>(e.c_str()));
      FILE *err = fopen((dir_ + "/torvane.err").c_str(), "w");
      if (err) dup2(fileno(err), 2);
      std::vector<char *> argv = {const_cast<char *>(TORVANE_PATH)};
      for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
      argv.push_back(nullptr);
      execv(TORVANE_PATH, argv.data());
      _exit(127);
    }
  }

  // The viewer's exit status once it ended (-1 when it was still running
  // at the deadline).
  int viewer_status(int seconds = 30) {
    int status = -1;
    bool ended = poll(
        [&] {
          int st;
          if (waitpid(viewer_, &st, WNOHANG) != viewer_) return false;
          status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
          return true;
        },
        seconds);
    if (ended) viewer_ = -1;
    return status;
  }

  // The id of a shown window named name, waiting for it ("" when none came).
  std::string window(const std::string &name) {
    std::string id;
    poll([&] { return !(id = window_now(name)).empty(); });
    return id;
  }
  std::string window_now(const std::string &name) {
    std::string id =
        shell("xdotool search --onlyvisible --name '" + name + "' 2>/dev/null | head -1");
    while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
    return id;
  }

  // Starts the viewer with args and returns its main window (empty when
  // none came).  A viewer that could not even connect to the X server is
  // started once more: that is the test machine's trouble, not the viewer's.
  std::string start_main_window(const std::vector<std::string> &args) {
    for (int attempt = 0;; attempt++) {
      start_viewer(args);
      std::string id;
      int status = -1;
      poll([&] {
        id = window_now("Dadazudi-Zudeda 1.1.3");
        if (!id.empty()) return true;
        int st;
        if (waitpid(viewer_, &st, WNOHANG) != viewer_) return false;
        viewer_ = -1;
        status = st;
        return true;
      });
      if (!id.empty() || attempt == 1 || status == -1 ||
          viewer_log().find("Can't open display") == std::string::npos)
        return id;
      fprintf(stderr, "the viewer could not connect to the X server; starting it again\n");
    }
  }

  std::string trace() { return read_file(dir_ + "/trace"); }
  std::string viewer_log() { return read_file(dir_ + "/torvane.err"); }

  // Types a table name and Ctrl+U: the rows come and are drawn; Escape
  // and "Ja" end the viewer.
  void typed_table_and_ctrl_u_then_ja(const std::string &shot) {
    std::string main = start_main_window({"-dbKVSYS"});
    ASSERT_FALSE(main.empty()) << viewer_log();
    // The start-up switched the session to KVSYS.
    EXPECT_TRUE(poll([&] { return trace().find("SET DATABASE") != std::string::npos; }));
    std::string empty = artifact(shot + "_empty.png");
    ASSERT_EQ(system(("import -window " + main + " '" + empty + "'").c_str()), 0);
    const char *table_area = "640x250+30+285";  // inside the result table's text area
    EXPECT_LT(spread(empty, table_area), 0.001);

    shell("xdotool windowfocus --sync " + main + " 2>/dev/null");
    shell("xdotool type --delay 30 kunde; xdotool key ctrl+u");
    ASSERT_TRUE(poll([&] { return trace().find("9 fields, 120 rows") != std::string::npos; }))
        << trace();
    EXPECT_NE(trace().find("FROM \"KUNDE\""), std::string::npos);
    std::string rows = artifact(shot + "_kunde.png");
    EXPECT_TRUE(poll([&] {
      return system(("import -window " + main + " '" + rows + "'").c_str()) == 0 &&
             spread(rows, table_area) > 0.01;
    })) << "no rows drawn in the result table";

    // Escape asks whether to end; "Ja" ends with status 0.
    shell("xdotool key --window " + main + " Escape");
    std::string choice = window("Choice");
    ASSERT_FALSE(choice.empty());
    shell("xdotool mousemove --window " + choice + " 84 105 click 1");
    EXPECT_EQ(viewer_status(), 0) << viewer_log();
    EXPECT_TRUE(poll([&] { return trace().find("DISCONNECT") != std::string::npos; }));
  }

  std::string dir_;
  std::string postgres_;  // korvald's --postgres, when not empty
  int port_ = 0;
  pid_t server_ = -1, viewer_ = -1;
};

TEST_F(TorvaneE2E, TypedTableAndCtrlUBringTheRowsThenJaEnds) {
  typed_table_and_ctrl_u_then_ja("torvane_e2e");
}

#if KV_TEST_POSTGRES
// The same against korvald on PostgreSQL, in a cluster of the test's own.
class TorvaneOnPostgres : public TorvaneE2E {
 protected:
  void SetUp() override {
    if (!cluster_.start()) GTEST_FAIL() << cluster_.error();
    postgres_ = cluster_.create_database();
    ASSERT_FALSE(postgres_.empty()) << cluster_.error();
    TorvaneE2E::SetUp();
  }
  void TearDown() override {
    TorvaneE2E::TearDown();
    cluster_.stop();
  }
  PgCluster cluster_;
};

TEST_F(TorvaneOnPostgres, TypedTableAndCtrlUBringTheRowsThenJaEnds) {
  typed_table_and_ctrl_u_then_ja("torvane_e2e_postgres");
}
#endif

TEST_F(TorvaneE2E, StartUpRefusals) {
  start_viewer({"-db" + std::string(20, 'x')});
  EXPECT_EQ(viewer_status(), 1);
  EXPECT_NE(
      viewer_log().find("(ARGV_GetDB_Name) DB-name xxxxxxxxxxxxxxxxxxxx is too long (max. 19)"),
      std::string::npos)
      << viewer_log();

  // The DBSYS prefix and the name together are over 19 characters.
  start_viewer({"-dbKVSYS"}, {"DBSYS=prefix_of_fifteen"});
  EXPECT_EQ(viewer_status(), 1);
  EXPECT_NE(viewer_log().find("DB-name prefix_of_fifteen/KVSYS is too long (max. 19)"),
            std::string::npos)
      << viewer_log();

  // The manual cannot be written (a directory of its name is in the way).
  shell("mkdir '" + dir_ + "/torvane_hlp.htm'");
  start_viewer({"-dbKVSYS", "-doku"});
  EXPECT_EQ(viewer_status(), 1);
  EXPECT_NE(viewer_log().find("ERROR: Cannot open file torvane_hlp.htm for writing!\n"
                              "Documentation has not been generated successfully!"),
            std::string::npos)
      << viewer_log();
  EXPECT_EQ(shell("xdotool search --onlyvisible --name 'Dadazudi-Zudeda 1.1.3' 2>/dev/null"), "");
}

TEST_F(TorvaneE2E, DokuWritesTheManualWithoutAWindow) {
  shell("cp '" + std::string(TORVANE_HLP) + "' '" + dir_ + "/torvane.hlp'");
  shell("mkdir '" + dir_ + "/Doku' && printf GIF89a > '" + dir_ + "/Doku/dbv.gif'");
  // An argument that only begins with -doku is no request for the manual.
  start_viewer({"-dbKVSYS", "-dokument", "-doku"});
  EXPECT_EQ(viewer_status(), 0) << viewer_log();
  EXPECT_NE(viewer_log().find("Documentation has been successfully generated!"), std::string::npos)
      << viewer_log();
  std::string manual = read_file(dir_ + "/torvane_hlp.htm");
  ASSERT_GT(manual.size(), 1000u);
  EXPECT_EQ(manual.find("<html>\n<head>\n<title>Benutzerhandbuch TORVANE-Globalrahmen</title>"),
            0u);
  EXPECT_NE(manual.find("<img src=\"Doku/dbv.gif\""), std::string::npos);
  EXPECT_NE(manual.find("<b>Das Hauptfenster</b>"), std::string::npos);
  EXPECT_NE(manual.find("<li>Ergebnis Select-Abfrage</li>"), std::string::npos);
  EXPECT_EQ(manual.substr(manual.size() - 16), "</body>\n</html>\n");
  EXPECT_EQ(shell("xdotool search --onlyvisible --name 'Dadazudi-Zudeda 1.1.3' 2>/dev/null"), "");
}

TEST_F(TorvaneE2E, F1ShowsTheHelpAndEscapeClosesIt) {
  shell("cp '" + std::string(TORVANE_HLP) + "' '" + dir_ + "/torvane.hlp'");
  std::string main = start_main_window({"-dbKVSYS"});
  ASSERT_FALSE(main.empty()) << viewer_log();
  // Typing in the main window first, as a user would.
  shell("xdotool mousemove --window " + main + " 300 50 click 1 type kunde");
  shell("xdotool key F1");
  std::string help = window("Hilfedialog");
  ASSERT_FALSE(help.empty()) << viewer_log();
  std::string shot = artifact("torvane_e2e_help.png");
  ASSERT_EQ(system(("import -window " + help + " '" + shot + "'").c_str()), 0);
  EXPECT_GT(spread(shot, "600x300+20+20"), 0.01) << "no help text in the dialog";
  // Escape closes the help, not the main window.
  shell("xdotool key Escape");
  EXPECT_TRUE(poll([&] {
    return shell("xdotool search --onlyvisible --name Hilfedialog 2>/dev/null").empty();
  }));
  EXPECT_EQ(shell("xdotool search --onlyvisible --name Choice 2>/dev/null"), "");
  // In the main window Escape asks whether to end; "Ja" ends.
  shell("xdotool mousemove --window " + main + " 300 50 click 1 key Escape");
  std::string choice = window("Choice");
  ASSERT_FALSE(choice.empty());
  shell("xdotool mousemove --window " + choice + " 84 105 click 1");
  EXPECT_EQ(viewer_status(), 0) << viewer_log();
}

// The detail window opened by a double click gets the keys at once:
// Escape closes it instead of asking, in the main window, whether to end.
TEST_F(TorvaneE2E, TheDetailWindowTakesTheKeyboard) {
  std::string main = start_main_window({"-dbKVSYS"});
  ASSERT_FALSE(main.empty()) << viewer_log();
  shell("xdotool mousemove --window " + main + " 300 50 click 1 type kunde");
  shell("xdotool key ctrl+u");
  ASSERT_TRUE(poll([&] { return trace().find("120 rows") != std::string::npos; })) << trace();
  shell("xdotool mousemove --window " + main + " 100 278 click --repeat 2 --delay 80 1");
  std::string detail = window("Dadazudi-Zudeda-Detail");
  ASSERT_FALSE(detail.empty()) << viewer_log();
  shell("xdotool key Escape");
  EXPECT_TRUE(poll([&] {
    return shell("xdotool search --onlyvisible --name Dadazudi-Zudeda-Detail 2>/dev/null").empty();
  }));
  EXPECT_EQ(shell("xdotool search --onlyvisible --name Choice 2>/dev/null"), "");
}

TEST_F(TorvaneE2E, ShotsOfEveryWindowForTheManual) {
  shell("cp '" + std::string(TORVANE_HLP) + "' '" + dir_ + "/torvane.hlp'");
  int status = -1;
  std::string out =
      shell("cd '" + dir_ + "' && LC_ALL=" + kLocale + " KORVAL_PORT=" + std::to_string(port_) +
                " '" + TORVANE_SHOTS_PATH + "' -dbKVSYS 2>&1",
            &status);
  EXPECT_EQ(status, 0) << out;
  // One picture per window, named after its help key, of the window's size.
  struct Shot {
    const char *name, *size;
  };
  for (const Shot &s : {Shot{"dbv", "721x606"}, Shot{"ddbv", "591x661"}, Shot{"combo", ""},
                        Shot{"tbexp", "420x150"}, Shot{"sort", "700x490"}, Shot{"tview", "590x640"},
                        Shot{"zoom", "660x630"}, Shot{"help", "660x630"}}) {
    std::string file = dir_ + "/Doku/" + s.name + ".gif";
    std::string info = shell("identify -format '%m %wx%h' '" + file + "' 2>&1");
    EXPECT_EQ(info.substr(0, 4), "GIF ") << file << ": " << info;
    if (*s.size) {
      EXPECT_EQ(info.substr(4), s.size) << file;
    }
  }
  start_viewer({"-dbKVSYS", "-doku"});
  EXPECT_EQ(viewer_status(), 0) << viewer_log();
  EXPECT_NE(read_file(dir_ + "/torvane_hlp.htm").find("<img src=\"Doku/dbv.gif\""),
            std::string::npos);
}

}  // namespace
