// The table export; see tbexp.h.
#include "forms/tbexp.h"

#include <vector>

#include "base/files.h"
#include "base/mem.h"
#include "forms/dialog_behaviour.h"
#include "forms/forms.h"
#include "forms/inputs.h"
#include "forms/tbexp_text.h"
#include "widgets/goodies.h"
#include "widgets/mytabs.h"
#include "widgets/tabbox_hooks.h"

FL_OBJECT *TBEXP_Tabbox = nullptr;

namespace {

void alert(const char *first, const char *second = "") { myfl_show_alert(first, second, "", 1); }

void export_tabbox(bool all) {
  if (!TBEXP_Usedby) return;
  std::string name = get_check_filename();
  if (name.empty()) return;
  switch (tbexp_write_file(TBEXP_Tabbox, name.c_str(), all)) {
    case TBEXP_BAD_TITLE:
      alert("Es ist ein Fehler aufgetreten (Tabellenanzahl inkonsistent)");
      return;
    case TBEXP_WRITE_FAILED: alert("Fehler beim Schreiben der Datei", name.c_str()); return;
    default: myfl_close_tbexp();
  }
}

}  // namespace

int tbexp_write_file(FL_OBJECT *tabbox, const char *file, int all) {
  int count = 0, *order = nullptr, *visible = nullptr;
  if (!fl_get_tabbox_properties(tabbox, &count, nullptr, &order, &visible, nullptr, nullptr,
                                nullptr, nullptr, nullptr))
    return TBEXP_WRITE_FAILED;
  std::vector<int> columns =
      all ? tbexp_all_columns(count) : tbexp_display_columns(count, order, visible);
  std::string title = fl_get_tabbox_full_title(tabbox);
  if (tbexp_slots(title).size() + 1 != static_cast<size_t>(count)) return TBEXP_BAD_TITLE;
  std::vector<std::string> lines;
  int n = fl_get_tabbox_maxline(tabbox);
  lines.reserve(n > 0 ? n : 0);
  for (int i = 1; i <= n; i++) {
    const char *line = fl_get_tabbox_full_line(tabbox, i);
    lines.emplace_back(line ? line : "");
  }
  return File_Contents(file, tbexp_text(title, lines, columns).c_str()) ? TBEXP_WRITTEN
                                                                        : TBEXP_WRITE_FAILED;
}

void TBEXP_Init(FD_TBEXP *fd) {
  fl_set_object_callback(fd->export_tb, TBEXP_Export, 0);
  fl_set_object_callback(fd->export_all, TBEXP_Export_Alle, 0);
  fl_set_object_callback(fd->ok, TBEXP_OK, 0);
  myfl_set_form_atclose(fd->TBEXP, TBEXP_AtClose, nullptr);
  tabbox_hooks.open_tbexp = myfl_open_tbexp;
}

void myfl_open_tbexp(FL_FORM *form, FL_OBJECT *tabbox) {
  if (open_modal_dialog(&TBEXP_Usedby, form, fd_TBEXP->TBEXP, "Export-Tabbox",
                        "Export-Tabbox-Dialog bereits ge\xf6"
                        "ffnet"))
    TBEXP_Tabbox = tabbox;
}

void myfl_close_tbexp(void) {
  if (close_modal_dialog(&TBEXP_Usedby, fd_TBEXP->TBEXP,
                         "Export-Tabbox-Dialog bereits geschlossen"))
    TBEXP_Tabbox = nullptr;
}

void TBEXP_Export(FL_OBJECT *, long) { export_tabbox(false); }
void TBEXP_Export_Alle(FL_OBJECT *, long) { export_tabbox(true); }
void TBEXP_OK(FL_OBJECT *, long) { myfl_close_tbexp(); }

int TBEXP_AtClose(FL_FORM *, void *) {
  myfl_close_tbexp();
  return FL_IGNORE;
}

std::string get_check_filename(void) {
  std::string name = myfl_get_input(fd_TBEXP->filename);
  if (name.size() > TBEXP_NAME_MAX) name.resize(TBEXP_NAME_MAX);
  if (!tbexp_valid_name(name.c_str())) {
    alert("Ung\xfcltiger Dateiname");
    return "";
  }
  char *with_suffix = setsuffix(name.c_str(), "csv");
  std::string file = with_suffix;
  myfree(with_suffix);
  if (File_Exists(file.c_str()) && myfl_show_choice("Datei existiert bereits", "",
                                                    "Soll Datei \xfc"
                                                    "berschrieben werden?",
                                                    2, "Ja", "Nein", "", 2) != 1)
    return "";
  return file;
}
