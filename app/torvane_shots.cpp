// torvane_shots: the pictures of the user manual.  Starts the viewer as
// torvane does (the database name from -db<name>, the server's port from
// KORVAL_PORT), runs SELECT * FROM KUNDE in the main window and then shows
// every window of the viewer in turn and saves it with ImageMagick's
// import as "Doku/<name>.gif" in the working directory, the name taken
// from the window's help key (DBV_HLP gives dbv.gif).  The two windows the
// viewer never fills itself (the editor zoom, which no window of the
// viewer uses, and the table viewer, which has no load function) are shown
// with an example text and empty.  Alerts are answered and reported.  scripts/doku.sh runs it on a
// virtual display; exit status 0 when every picture was saved.
#include <forms.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/dbv.h"
#include "app/ddbv.h"
#include "app/startup.h"
#include "base/msglog.h"
#include "forms/cmb.h"
#include "forms/dialogs.h"
#include "forms/forms.h"
#include "forms/help.h"
#include "forms/tbexp.h"
#include "widgets/editor.h"
#include "widgets/goodies.h"
#include "widgets/mytabs.h"
#include "widgets/tabbox_hooks.h"

namespace {

int failures = 0;

void report_box(const std::string &what) {
  fprintf(stderr, "torvane_shots: unexpected %s\n", what.c_str());
  failures++;
}

void pump() {
  for (int i = 0; i < 5; i++) {
    XSync(fl_get_display(), False);
    while (fl_check_forms()) {
    }
  }
}

// Saves the form's window as Doku/<help key without _HLP, lower case>.gif.
void shoot(FL_FORM *form) {
  char key[100] = "";
  if (!myfl_get_help_form_data(form, key, sizeof key)) {
    fprintf(stderr, "torvane_shots: a window without help key\n");
    failures++;
    return;
  }
  std::string name = key;
  if (name.size() > 3) name.resize(name.size() - 4);
  for (char &c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  // Without a window manager a window shown again keeps its old place in
  // the stacking order.
  XRaiseWindow(fl_get_display(), form->window);
  pump();
  std::string file = "Doku/" + name + ".gif";
  std::string cmd = "import -window " + std::to_string(form->window) + " '" + file + "'";
  if (system(cmd.c_str()) != 0) {
    fprintf(stderr, "torvane_shots: %s failed\n", cmd.c_str());
    failures++;
    return;
  }
  printf("%s\n", file.c_str());
}

// Closes a window as Escape would: its at-close function, or a plain hide.
void close_window(FL_FORM *form) {
  FORMREC *rec = myfl_get_form_rec(form);
  if (rec && rec->atclose)
    rec->atclose(form, rec->atclose_data);
  else if (fl_form_is_visible(form))
    fl_hide_form(form);
  pump();
}

}  // namespace

int main(int argc, char **argv) {
  Init_Msglog("", 0);
  if (!fl_initialize(&argc, argv, nullptr, nullptr, 0)) {
    fprintf(stderr, "torvane_shots: cannot open the X display\n");
    return 1;
  }
  mkdir("Doku", 0755);
  GOODIES_SCRIPT script;
  script.on_unscripted = report_box;
  goodies_set_script(&script);

  torvane_start(argc, argv);

  FD_DBV *m = fd_DBV;
  myfl_show_form(m->DBV, TORVANE_TITLE);
  fl_set_input(m->table, "KUNDE");
  DBV_Durchfuehren(m->execute_select, 0);
  fl_set_input(m->sql, "SELECT ORT, COUNT(*) FROM KUNDE GROUP BY ORT");
  pump();
  shoot(m->DBV);

  fl_select_tabbox_line(m->tabbox, 1);
  DBV_dblclick(m->tabbox, 0);
  pump();
  shoot(fd_DDBV->DDBV);
  close_window(fd_DDBV->DDBV);

  myfl_cb_cmb_button(m->database_button, 0);
  pump();
  shoot(fd_COMBO->COMBO);
  myfl_close_cmb();

  tbhook_open_tbexp(m->DBV, m->tabbox);
  fl_set_input(fd_TBEXP->filename, "kunden");
  pump();
  shoot(fd_TBEXP->TBEXP);
  close_window(fd_TBEXP->TBEXP);

  // The sort dialog opens from the table's menu; until its behaviour is
  // there, its form is shown as it is.
  tbhook_open_tbsort(m->DBV, m->tabbox);
  if (!fl_form_is_visible(fd_SORT->SORT)) myfl_show_form(fd_SORT->SORT, "Sortierung-Tabbox");
  shoot(fd_SORT->SORT);
  close_window(fd_SORT->SORT);

  // The viewer application registers no load function: the viewer as it
  // would open, empty.
  myfl_show_form(fd_TVIEW->TVIEW, "Tabbox-Viewer");
  shoot(fd_TVIEW->TVIEW);
  fl_hide_form(fd_TVIEW->TVIEW);

  // The viewer's windows have no editor: the zoom with an example text.
  fl_set_editor(fd_ZOOM->editor,
                "SELECT KUNDE_ID, NAME, ORT\nFROM KUNDE\nWHERE ORT = 'M\xfcnchen'\nORDER BY NAME");
  myfl_show_form(fd_ZOOM->ZOOM, "Editor-Zoom");
  shoot(fd_ZOOM->ZOOM);
  fl_hide_form(fd_ZOOM->ZOOM);

  myfl_open_help(m->help);
  pump();
  shoot(fd_HELP->HELP);
  myfl_close_help();

  goodies_set_script(nullptr);
  for (const GOODIE_SHOWN &s : script.shown)
    fprintf(stderr, "torvane_shots: box shown: %s\n", s.text.c_str());
  return failures ? 1 : 0;
}
