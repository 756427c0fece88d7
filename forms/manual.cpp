// The HTML manual; see manual.h.
#include "forms/manual.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/files.h"
#include "base/mem.h"
#include "base/msglog.h"
#include "base/valuestr.h"
#include "forms/cmb.h"
#include "forms/forms.h"
#include "forms/help.h"
#include "forms/helpfile.h"
#include "forms/objdata.h"
#include "widgets/dbtabbox.h"
#include "widgets/dbtabbox_rows.h"
#include "widgets/editor.h"
#include "widgets/tabbox_model.h"

namespace {

__attribute__((format(printf, 1, 2))) std::string fmt(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  va_list copy;
  va_copy(copy, ap);
  int n = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) vsnprintf(&out[0], out.size() + 1, format, ap);
  va_end(ap);
  return out;
}

std::string owned(char *text) {
  std::string s = text ? text : "";
  myfree(text);
  return s;
}

std::string form_name(FL_FORM *form) {
  FORMREC *rec = myfl_get_form_rec(form);
  return rec && rec->name ? rec->name : "";
}

std::string help_key(FL_FORM *form) {
  char key[1000] = "";
  return myfl_get_help_form_data(form, key, sizeof key) ? key : "";
}

std::string type_text(FL_FORM *form) {
  int type = -1;
  return form_type_text(myfl_get_form_type(form, &type) ? type : -1);
}

// The text of a file, or the end of the process when it exists but cannot
// be read.
std::string copy_of(const std::string &path) {
  std::string text;
  if (!read_whole_file(path, &text)) {
    Log_Msg("File '%s' could not be opened!\n", path.c_str());
    Msglog_Exit(1);
  }
  return text;
}

std::string picture(const std::string &path) {
  return fmt("<p><center>\n<img src=\"%s\" alt=\"Grafikdatei '%s'.\">\n</center></p>\n",
             path.c_str(), path.c_str());
}

bool is_button(const FL_OBJECT *ob) {
  switch (ob->objclass) {
    case FL_BUTTON:
    case FL_LIGHTBUTTON:
    case FL_ROUNDBUTTON:
    case FL_ROUND3DBUTTON:
    case FL_CHECKBUTTON:
    case FL_BITMAPBUTTON:
    case FL_PIXMAPBUTTON: return true;
    default: return false;
  }
}

bool is_combo(FL_OBJECT *ob, const OBJDATA *d) {
  return ob->objclass == FL_INPUT && (myfl_is_cmb(ob) || (d->codes & (1u << OBJDATA_CMB)));
}

std::string shortcut_of(const OBJDATA *d) {
  return d->shortcut ? fmt(" (Shortcuts: '%s')", d->shortcut) : "";
}

// "<li><b>kind 'label'</b></li>" with the shortcut behind the label.
std::string item(const char *kind, FL_OBJECT *ob, const OBJDATA *d) {
  std::string label = myfl_get_object_label(ob);
  std::string sc = shortcut_of(d);
  if (sc.empty()) return fmt("<li><b>%s '%s'</b></li>\n<br>\n", kind, label.c_str());
  return fmt("<li><b>%s '%s' %s</b></li>\n<br>\n", kind, label.c_str(), sc.c_str());
}

std::string input_entry(FL_OBJECT *ob, const OBJDATA *d) {
  const char *kind = ob->type == FL_FLOAT_INPUT ? "Gleitkommazahl"
                     : ob->type == FL_INT_INPUT ? "Ganzzahl"
                                                : "Zeichenkette";
  std::string out = item("Eingabefeld", ob, d);
  out += fmt("Das Eingabefeld ist vom Typ '%s'.\n", kind);
  if ((d->codes & (1u << OBJDATA_INPUT)) && d->maxchars > 0)
    out += fmt("Es k\xf6nnen maximal %d Zeichen eingegeben werden.\n", d->maxchars);
  return out;
}

std::string combo_entry(FL_OBJECT *ob, const OBJDATA *d) {
  return item("Auswahlfeld", ob, d) +
         fmt("Das Auswahlfeld ist vom Typ '%s'. ", d->cmb_kind ? d->cmb_kind : "???");
}

// The comma-separated names of an attribute function, sorted.
std::vector<std::string> sorted_names(TB_ATTRIBS attribs, int dbnames) {
  TBROW row;
  tb_parse_names(attribs(dbnames), &row);
  std::vector<std::string> names;
  for (int i = 0; i < row.count(); i++) names.push_back(row.field(i));
  std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
    return mystrcmp(a.c_str(), b.c_str()) < 0;
  });
  return names;
}

std::string tabbox_entry(FL_OBJECT *ob, const OBJDATA *d) {
  static const char *const kinds[] = {"Anzeige", "Ausw\xe4hl", "Markier", "Mehrfach-Markier",
                                      "Treeview"};
  std::string label = myfl_get_object_label(ob);
  std::string out = label.empty() ? "<li><b>Tabbox</b></li>\n<br>\n"
                                  : fmt("<li><b>Tabbox '%s'</b></li>\n<br>\n", label.c_str());
  int type = ob->type;
  out += fmt("Es handelt sich um eine %s-Tabbox.\n", type >= 0 && type <= 4 ? kinds[type] : "???");
  if (d->codes & (1u << OBJDATA_TBVIEW))
    return out +
           "In der Tabbox werden die Attribute des gerade aktuellen Datenobjekts "
           "angezeigt.\n";
  if (type == 4) return out;
  TB_ATTRIBS attribs = reinterpret_cast<TB_ATTRIBS>(d->attribs);
  std::vector<std::string> shown = sorted_names(attribs, 0), db = sorted_names(attribs, 1);
  out +=
      "<br>In der Tabbox sind folgende Spalten verf\xfc"
      "gbar:<br>\n";
  for (size_t i = 0; i < shown.size(); i++) {
    if (i < db.size() && db[i] != shown[i])
      out += fmt("<li>%s (Datenbank: '%s')</li>\n", shown[i].c_str(), db[i].c_str());
    else
      out += fmt("<li>%s</li>\n", shown[i].c_str());
  }
  return out;
}

// The element sections of a form; empty when none lists anything.
std::string elements(FL_FORM *form) {
  int type = -1;
  myfl_get_form_type(form, &type);
  std::string buttons, inputs, combos, tabboxes;
  for (FL_OBJECT *ob = form->first; ob; ob = ob->next) {
    const OBJDATA *d = myfl_get_obj_data(ob);
    if (!d) continue;
    if (is_button(ob)) {
      buttons += item(
          "Schaltfl\xe4"
          "che",
          ob, d);
    } else if (is_combo(ob, d)) {
      combos += combo_entry(ob, d);
    } else if (ob->objclass == FL_INPUT && type != FORMTYPE_MAIN_OBJ && type != FORMTYPE_DEP_OBJ) {
      inputs += input_entry(ob, d);
    } else if (ob->objclass == TABBOX_CLASS && d->attribs) {
      tabboxes += tabbox_entry(ob, d);
    }
  }
  std::string out;
  auto section = [&out](const char *heading, const std::string &entries) {
    if (!entries.empty()) out += std::string(heading) + "<ul>\n" + entries + "</ul>\n";
  };
  section(
      "<h4>Schaltfl\xe4"
      "chen:</h4>\n",
      buttons);
  section("<h4>Eingabefelder:</h4>\n", inputs);
  section("<h4>Auswahlfelder:</h4>\n", combos);
  section("<h4>Tabboxen:</h4>\n", tabboxes);
  return out;
}

std::string chapter_head(FL_FORM *form, const std::string &number) {
  std::string out;
  std::string key = help_key(form), name = form_name(form);
  if (!key.empty()) out += fmt("<a name=%s></a>\n", key.c_str());
  out += fmt("<a name=%s></a>\n", number.c_str());
  if (name.empty()) return out + "<hr><h2>Unbekannter Dialogname</h2>\n";
  return out +
         fmt("<hr><h2>%s %s/%s</h2>\n", number.c_str(), type_text(form).c_str(), name.c_str());
}

std::string form_details(FL_FORM *form) {
  std::string out;
  std::string key = help_key(form);
  if (key.empty()) {
    out += "<p><hr>Help-Dialog nicht definiert.<hr></p>\n";
  } else {
    std::string base = key.size() > 3 ? key.substr(0, key.size() - 4) : key;
    base = owned(Low(base.c_str()));
    std::string jpg = "Doku/" + base + ".jpg";
    out += picture(File_Exists(jpg.c_str()) ? jpg : "Doku/" + base + ".gif");
    for (int i = 1; i <= 7; i++)
      for (const char *ext : {".jpg", ".gif"}) {
        std::string more = "Doku/" + base + std::to_string(i) + ext;
        if (File_Exists(more.c_str())) out += picture(more);
      }
    out += "<h3>Allgemeine Beschreibung:</h3>\n";
    std::string own = "Doku/" + base + ".htm";
    if (File_Exists(own.c_str())) {
      out += copy_of(own);
    } else {
      std::string text;
      myfl_get_help_data(form, &text);
      out += Make_Reduce_HTML_Beschreibung(text.c_str());
      Free_ValueStrings();
    }
    FORMREC *rec = myfl_get_form_rec(form);
    if (rec && rec->focus_first)
      out +=
          fmt("<p>Beim \xd6"
              "ffnen des Dialogs ist das Feld '%s' fokusiert.</p>\n",
              myfl_get_object_label(rec->focus_first).c_str());
    if (rec && rec->ctrl_tabbox)
      out +=
          fmt("<p>\xdc"
              "ber die Ctrl-Taste wird die Tabbox '%s' selektiert.</p>\n",
              myfl_get_object_label(rec->ctrl_tabbox).c_str());
  }
  out += "<h3>Beschreibung der Dialogelemente:</h3>\n";
  std::string sections = elements(form);
  out += sections.empty() ? "<p>Es ist keine Beschreibung f\xfcr Dialogelemente vorhanden.</p>\n"
                          : sections;
  return out;
}

}  // namespace

std::string myfl_get_object_label(FL_OBJECT *object) {
  if (!object || !myfl_get_obj_data(object)) {
    Log_Msg("Warnung: Objekt nicht gefunden!\n");
    return "???";
  }
  std::string label;
  for (const char *p = object->label ? object->label : ""; *p; p++)
    if (*p != '\b' && *p != '@') label += *p;
  size_t start = label.find_first_not_of(' ');
  label = start == std::string::npos ? ""
                                     : label.substr(start, label.find_last_not_of(' ') + 1 - start);
  if (label.size() < 2 && (object->type < 0 || object->type > 4))
    Log_Msg("Warning: Objectname '%s' in dialog '%s' invalid!\n", label.c_str(),
            object->form ? form_name(object->form).c_str() : "");
  return label;
}

int myfl_gen_HTML_doku(FL_FORM *main) {
  const char *app = myfl_get_applname();
  std::string applname = app ? app : "";
  std::string file = applname + "_hlp.htm";
  std::string title = owned(Up(applname.c_str()));
  std::string out;
  out += fmt("<html>\n<head>\n<title>Benutzerhandbuch %s-Globalrahmen</title>\n</head>\n<body>\n",
             title.c_str());
  out += "\n<a name=main></a>\n";
  out += fmt("<center><h1>Benutzerhandbuch %s-Globalrahmen</h1></center>\n", title.c_str());

  // Contents.  Only the main window is used: no object links to a form.
  out += "<hr><h2>Inhaltsverzeichnis</h2>\n\n<dir>\n";
  out += fmt("<li><a href=#%s>%s %s/%s</a>\n", "1", "1", type_text(main).c_str(),
             form_name(main).c_str());
  out += "<li><a href=#2>2 Suchdialoge</a>\n\n";
  out += "<li><a href=#3>3 Allgemeine Dialoge</a>\n\n";
  out += "<li><a href=#4>4 Anhang</a>\n\n<dir>\n";
  out += "<li><a href=#4.1>4.1 Schl\xfcsselverzeichnisse</a>\n</dir>\n</dir>\n\n";

  out += chapter_head(main, "1");
  out += form_details(main);
  out += "<a name=2></a>\n<hr><h2>2 Suchdialoge</h2>\n";
  out += "<p>Es sind keine Suchdialoge vorhanden.</p>\n";
  out += "<a name=3></a>\n<hr><h2>3 Allgemeine Dialoge</h2>\n";
  out += "<p>Es sind keine allgemeinen Dialoge vorhanden.</p>\n";
  out += "<a name=4></a>\n<hr><h2>4 Anhang</h2>\n";
  out += "<a name=4.1></a>\n<hr><h3>4.1 Schl\xfcsselverzeichnisse</h3>\n";
  out += "</body>\n</html>\n";

  if (File_Replace(file.c_str(), out.data(), out.size()) != FILE_REPLACE_OK) {
    Log_Msg("ERROR: Cannot open file %s for writing!\n", file.c_str());
    return 0;
  }
  return 1;
}
