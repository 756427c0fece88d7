// Tabbox benchmark: a tabbox on a form gets 100,000 lines of 6 columns
// (about 80 characters each) while the form is frozen, as the database
// binding loads a result; then the display lines are rebuilt, the rows are
// sorted by one column, and one screen is drawn.  Prints the time of each
// step and the memory the widget took (growth of the resident set).  Needs
// an X server (run under xvfb-run); prints figures, is not a test.
#include <forms.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "widgets/mytabs.h"

namespace {

long rss_kib() {
  FILE *f = fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kib = -1;
  while (fgets(line, sizeof line, f))
    if (strncmp(line, "VmRSS:", 6) == 0) kib = atol(line + 6);
  fclose(f);
  return kib;
}

double ms_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char **argv) {
  const int kLines = 100000;
  if (!getenv("DISPLAY") || !*getenv("DISPLAY")) {
    fprintf(stderr, "tabbox_bench: needs an X server (DISPLAY); run it under xvfb-run\n");
    return 1;
  }
  if (!fl_initialize(&argc, argv, "TabboxBench", nullptr, 0)) return 1;

  FL_FORM *form = fl_bgn_form(FL_UP_BOX, 820, 620);
  FL_OBJECT *tb = fl_add_tabbox(2, 10, 10, 800, 600, "");
  fl_end_form();
  fl_set_form_position(form, 0, 0);
  fl_show_form(form, FL_PLACE_POSITION, FL_NOBORDER, "tabbox_bench");
  XSync(fl_get_display(), False);
  fl_check_forms();

  static const char *names[] = {"Meier", "Schmidt", "Huber", "Wagner", "Becker", "Koch"};
  static const char *towns[] = {"Bonn", "Ulm", "Essen", "Hof", "Kiel", "Jena", "Trier"};
  fl_set_tabbox_title(tb,
                      "Nr       | Name         | Ort            | Betrag       | "
                      "Datum      | Status  ");
  std::string title = fl_get_tabbox_full_title(tb);

  long rss0 = rss_kib();
  auto t0 = std::chrono::steady_clock::now();
  fl_freeze_form(form);
  char line[256];
  unsigned seed = 12345;
  for (int i = 0; i < kLines; i++) {
    seed = seed * 1103515245u + 12345u;
    snprintf(line, sizeof line, "%-8d | %-12s | %-14s | %12.2f | %04u-%02u-%02u | %-8s", i + 1,
             names[seed % 6], towns[(seed >> 8) % 7], ((seed >> 4) % 1000000) / 100.0 - 2000.0,
             1990 + (seed >> 12) % 35, 1 + (seed >> 16) % 12, 1 + (seed >> 20) % 28,
             (seed >> 3) % 4 ? "offen" : "erledigt");
    fl_add_tabbox_line(tb, line);
  }
  double t_add = ms_since(t0);

  TABBOX *rec = fl_get_tabbox_record(tb);
  t0 = std::chrono::steady_clock::now();
  tb_rebuild(rec);
  double t_rebuild = ms_since(t0);

  int cols[] = {4}, dirs[] = {1};
  fl_set_tabbox_sort(tb, 1, cols, dirs);
  t0 = std::chrono::steady_clock::now();
  tb_sort_rows(rec);
  double t_sort = ms_since(t0);
  t0 = std::chrono::steady_clock::now();
  tb_rebuild(rec);
  double t_sort_rebuild = ms_since(t0);

  t0 = std::chrono::steady_clock::now();
  fl_unfreeze_form(form);
  fl_redraw_object(tb);
  XSync(fl_get_display(), False);
  double t_draw = ms_since(t0);
  long rss1 = rss_kib();

  printf("tabbox_bench: %d lines of %zu characters, 6 columns\n", kLines, strlen(line));
  printf("  add all lines (frozen form)   %8.1f ms\n", t_add);
  printf("  rebuild display lines         %8.1f ms\n", t_rebuild);
  printf("  sort by column 4 (numbers)    %8.1f ms\n", t_sort);
  printf("  rebuild with the sort         %8.1f ms\n", t_sort_rebuild);
  printf("  draw one screen (%d lines)    %8.1f ms\n", fl_get_tabbox_screenlines(tb), t_draw);
  printf("  total                         %8.1f ms\n", t_add + t_rebuild + t_sort_rebuild + t_draw);
  printf("  widget memory (RSS growth)    %8.1f MB\n", (rss1 - rss0) / 1024.0);
  printf("  first line after the sort: %s\n", fl_get_tabbox_line(tb, 1));

  fl_hide_form(form);
  fl_free_form(form);
  return 0;
}
