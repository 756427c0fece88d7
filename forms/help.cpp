// The help dialog; see help.h.
#include "forms/help.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "base/files.h"
#include "base/ini.h"
#include "base/mem.h"
#include "base/msglog.h"
#include "forms/cmb.h"
#include "forms/dialog_behaviour.h"
#include "forms/forms.h"
#include "forms/helpfile.h"
#include "widgets/goodies.h"

const char HELP_TMPFILE[] = "hilfetxt.tmp";

char *hlp_dlgname = nullptr;
int kz_save = 0;
LIST help_forms = {0, nullptr, nullptr};

namespace {

const char kEditorKey[] = "HTML_EDITOR";
const char kDefaultEditor[] = "Netscape";

void alert(const char *first, const char *second = "") { myfl_show_alert(first, second, "", 1); }

// Sets a button's label and its underlined shortcut again (the toolkit
// marks the shortcut key inside the label).
void relabel(FL_OBJECT *button, const char *label, const char *shortcut) {
  fl_set_object_label(button, label);
  fl_set_object_shortcut(button, shortcut, 1);
}

void refresh_help_forms() {
  lsfree(&help_forms);
  ltdump(Help, &help_forms);
}

HELPREC *help_of_form(FL_FORM *form) {
  refresh_help_forms();
  intptr_t value = 0;
  for (lsinitread(&help_forms); lsread(&help_forms, &value);)
    if (reinterpret_cast<HELPREC *>(value)->form == form) return reinterpret_cast<HELPREC *>(value);
  return nullptr;
}

// Puts text into the dialog's input, shown from its first line.
void set_text(const std::string &text) {
  fl_set_input(fd_HELP->text, text.c_str());
  fl_set_input_cursorpos(fd_HELP->text, 0, 1);
  fl_set_input_topline(fd_HELP->text, 1);
}

void show_text(const char *key) {
  char *copy = mystrdup(key);  // key may be hlp_dlgname itself
  myfree(hlp_dlgname);
  hlp_dlgname = copy;
  set_text(get_help(hlp_dlgname));
}

// View mode: both edit buttons with their first labels, no status.
void view_mode() {
  kz_save = 0;
  relabel(fd_HELP->save, "Hilfetext editieren", "^l^L");
  relabel(fd_HELP->editor, "Netscape Editor", "^N^n");
  fl_show_object(fd_HELP->save);
  fl_show_object(fd_HELP->editor);
  fl_set_object_label(fd_HELP->status, "");
}

void edit_mode(FL_OBJECT *button, const char *label, const char *shortcut, FL_OBJECT *other) {
  kz_save = 1;
  relabel(button, label, shortcut);
  fl_hide_object(other);
  fl_set_object_label(fd_HELP->status, "Editier-Modus");
}

// Checks text and saves it as the shown section; back to view mode with the
// new display text when it worked.  Stays in edit mode otherwise.
void check_and_save(const std::string &text) {
  std::string message;
  if (!check_help(text.c_str(), &message)) {
    alert("HTML-Syntaxfehler", message.c_str());
    return;
  }
  if (!set_help(hlp_dlgname, text.c_str())) {
    alert("Fehler bei Sichern des Hilfetexts");
    return;
  }
  view_mode();
  show_text(hlp_dlgname);
  alert("Hilfetext wurde gesichert");
}

bool program_found(const std::string &name) {
  if (name.empty()) return false;
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0;
  const char *path = getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  for (;;) {
    size_t colon = dirs.find(':', start);
    std::string dir =
        dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    std::string full = (dir.empty() ? "." : dir) + "/" + name;
    struct stat st;
    if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0)
      return true;
    if (colon == std::string::npos) return false;
    start = colon + 1;
  }
}

std::string first_word(const std::string &command) {
  size_t start = command.find_first_not_of(" \t");
  if (start == std::string::npos) return "";
  size_t end = command.find_first_of(" \t", start);
  return command.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The command from the ini entry "[HTML_EDITOR] command", or "".
std::string configured_editor() {
  const char *line = Get_ini_Data(myfl_get_applname(), kEditorKey);
  if (!line) return "";
  std::string text = line + strlen(kEditorKey) + 2;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\t'))
    text.pop_back();
  size_t start = text.find_first_not_of(" \t");
  return start == std::string::npos ? "" : text.substr(start);
}

std::string terminal_program() {
  for (const char *t : {"x-terminal-emulator", "xterm"})
    if (program_found(t)) return t;
  return "";
}

// Runs command in the shell; false when the shell or the program check in
// the command failed.
bool start_command(const std::string &command) {
  int status = system(command.c_str());
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::string help_editor_command(const char *command, bool default_found, const char *visual,
                                const char *editor, const char *terminal, const char *file) {
  // Each command first makes sure its programs exist, so that a missing one
  // ends the shell with 127 instead of failing unseen in the background.
  auto check = [](const std::string &program) {
    return "command -v '" + program + "' >/dev/null 2>&1 || exit 127; ";
  };
  std::string quoted = std::string("'") + file + "'";
  if (command && *command) {
    std::string cmd = command;
    return check(first_word(cmd)) + cmd + " " + quoted + " >/dev/null 2>&1 &";
  }
  if (default_found) return std::string(kDefaultEditor) + " -composer&";
  const char *own = visual && *visual ? visual : editor && *editor ? editor : nullptr;
  if (!own || !terminal || !*terminal) return "";
  std::string prog = first_word(own);
  return check(terminal) + check(prog) + terminal + " -e " + own + " " + quoted +
         " >/dev/null 2>&1 &";
}

bool help_body_text(const std::string &html, std::string *text) {
  size_t open = std::string::npos;
  for (size_t pos = 0; (pos = html.find('<', pos)) != std::string::npos; pos++) {
    if (html.size() - pos >= 6 && strncasecmp(html.c_str() + pos, "<body", 5) == 0 &&
        (html[pos + 5] == '>' || isspace(static_cast<unsigned char>(html[pos + 5])))) {
      open = pos;
      break;
    }
  }
  if (open == std::string::npos) return false;
  size_t start = html.find('>', open);
  if (start == std::string::npos) return false;
  start++;
  if (start < html.size() && html[start] == '\n') start++;
  size_t close = std::string::npos;
  for (size_t pos = start; (pos = html.find('<', pos)) != std::string::npos; pos++)
    if (strncasecmp(html.c_str() + pos, "</body", 6) == 0) {
      close = pos;
      break;
    }
  if (close == std::string::npos) return false;
  *text = html.substr(start, close - start);
  return true;
}

void HELP_Init(FD_HELP *fd) {
  fl_set_object_callback(fd->ok, HELP_OK, 0);
  fl_set_object_callback(fd->save, HELP_Save, 0);
  fl_set_object_callback(fd->editor, HELP_Editor, 0);
  fl_set_object_callback(fd->composer, HELP_Composer, 0);
  myfl_set_form_atclose(fd->HELP, HELP_AtClose, nullptr);
}

void myfl_open_help(FL_OBJECT *button) {
  intptr_t value = 0;
  if (!ltsearch(Help, reinterpret_cast<intptr_t>(button), &value)) {
    Log_Msg("(myfl_open_help) Helpdialog not defined\n");
    return;
  }
  HELPREC *rec = reinterpret_cast<HELPREC *>(value);
  if (HELP_Usedby) {
    // F1 in the dialog itself would otherwise never show the dialog's own
    // help; in edit mode the text being edited must not be replaced.
    if (rec->form == fd_HELP->HELP && !kz_save) {
      HELP_Usedby = rec->form;
      show_text(rec->key);
      return;
    }
    alert(
        "Hilfedialog bereits ge\xf6"
        "ffnet");
    return;
  }
  HELP_Usedby = rec->form;
  show_text(rec->key);
  myfl_close_cmb();
  view_mode();
  myfl_show_form(fd_HELP->HELP, "Hilfedialog");
}

void myfl_close_help(void) {
  if (!HELP_Usedby) {
    alert("Hilfedialog bereits geschlossen");
    return;
  }
  if (kz_save &&
      myfl_show_choice("Nicht gespeicherte \xc4nderungen am Hilfetext gehen verloren!", "",
                       "Wollen Sie dennoch fortfahren?", 2, "Ja", "Nein", "", 2) != 1)
    return;
  myfl_close_cmb();
  HELP_Usedby = nullptr;
  kz_save = 0;
  fl_hide_form(fd_HELP->HELP);
}

void HELP_OK(FL_OBJECT *, long) { myfl_close_help(); }

int HELP_AtClose(FL_FORM *, void *) {
  myfl_close_help();
  return FL_IGNORE;
}

void HELP_Save(FL_OBJECT *, long) {
  if (!HELP_Usedby) return;
  if (!kz_save) {
    edit_mode(fd_HELP->save, "Hilfetext \xe4ndern", "^l^L", fd_HELP->editor);
    set_text(get_edit_help(hlp_dlgname));
    return;
  }
  check_and_save(fl_get_input(fd_HELP->text));
}

void HELP_Editor(FL_OBJECT *, long) {
  if (!HELP_Usedby) return;
  if (!kz_save) {
    std::string page = "<html>\n<body>\n" + get_edit_help(hlp_dlgname) + "</body>\n</html>\n";
    if (!File_Contents(HELP_TMPFILE, page.c_str())) {
      alert("Fehler beim Schreiben der Datei", HELP_TMPFILE);
      return;
    }
    edit_mode(fd_HELP->editor, "Netscape speichern", "^N^n", fd_HELP->save);
    return;
  }
  char *html = File_Get_Contents(HELP_TMPFILE);
  std::string text;
  bool found = html && help_body_text(html, &text);
  myfree(html);
  if (!found) {
    alert("Hilfetext nicht gefunden (Datei hilfetxt.tmp)");
    return;
  }
  check_and_save(text);
}

void HELP_Composer(FL_OBJECT *, long) {
  const char *visual = getenv("VISUAL"), *editor = getenv("EDITOR");
  std::string configured = configured_editor();
  std::string command =
      help_editor_command(configured.c_str(), program_found(kDefaultEditor), visual, editor,
                          terminal_program().c_str(), HELP_TMPFILE);
  if (command.empty()) {
    std::string hint = std::string("Eintrag [") + kEditorKey + "] Befehl in " +
                       (myfl_get_applname() ? myfl_get_applname() : "") + ".ini fehlt";
    alert("Kein HTML-Editor gefunden", hint.c_str());
    return;
  }
  if (!start_command(command)) alert("HTML-Editor konnte nicht gestartet werden", command.c_str());
}

int myfl_get_help_data(FL_FORM *form, std::string *out) {
  HELPREC *rec = help_of_form(form);
  if (!rec) return 0;
  *out = help_without_intern(get_edit_help(rec->key), rec->key);
  return 1;
}
