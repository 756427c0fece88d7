// Export benchmark: a tabbox with 100,000 lines of 6 columns (about 80
// characters each) is written as the export dialog writes it, once as
// shown ("exp. Tabbox", sorted by one column and with one column hidden)
// and once with all data ("exp. alle Daten"), into a file in /tmp.  Prints
// the time of each export and the file's size.  Needs an X server (run
// under xvfb-run); prints figures, is not a test.
#include <forms.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "forms/tbexp.h"
#include "widgets/mytabs.h"

namespace {

double ms_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

long file_size(const char *path) {
  FILE *f = fopen(path, "rb");
  if (!f) return -1;
  fseek(f, 0, SEEK_END);
  long n = ftell(f);
  fclose(f);
  return n;
}

}  // namespace

int main(int argc, char **argv) {
  const int kLines = 100000;
  if (!getenv("DISPLAY") || !*getenv("DISPLAY")) {
    fprintf(stderr, "tbexp_bench: needs an X server (DISPLAY); run it under xvfb-run\n");
    return 1;
  }
  if (!fl_initialize(&argc, argv, "TbexpBench", nullptr, 0)) return 1;
  fl_bgn_form(FL_UP_BOX, 820, 620);
  FL_OBJECT *tb = fl_add_tabbox(2, 10, 10, 800, 600, "");
  fl_end_form();

  fl_set_tabbox_title(tb,
                      "Nr       | Name         | Ort            | Betrag       | "
                      "Datum      | Status  ");
  static const char *names[] = {"Meier", "Schmidt", "Huber", "Wagner", "Becker", "Koch"};
  char line[256];
  unsigned seed = 12345;
  for (int i = 0; i < kLines; i++) {
    seed = seed * 1103515245u + 12345u;
    snprintf(line, sizeof line, "%-8d | %-12s | %-14s | %12.2f | %04u-%02u-%02u | %-8s", i + 1,
             names[seed % 6], "Bonn", ((seed >> 4) % 1000000) / 100.0 - 2000.0,
             1990 + (seed >> 12) % 35, 1 + (seed >> 16) % 12, 1 + (seed >> 20) % 28, "offen");
    fl_add_tabbox_line(tb, line);
  }
  const char *file = "/tmp/tbexp_bench.csv";

  auto t0 = std::chrono::steady_clock::now();
  int all = tbexp_write_file(tb, file, 1);
  double t_all = ms_since(t0);
  long size_all = file_size(file);

  int count, *order, *visible;
  fl_get_tabbox_properties(tb, &count, nullptr, &order, &visible, nullptr, nullptr, nullptr,
                           nullptr, nullptr);
  visible[3] = 0;
  int col = 4, up = 1;
  fl_set_tabbox_sort(tb, 1, &col, &up);
  t0 = std::chrono::steady_clock::now();
  int shown = tbexp_write_file(tb, file, 0);
  double t_shown = ms_since(t0);

  printf("tbexp_bench: %d lines of %zu characters, 6 columns\n", kLines, strlen(line));
  printf("  exp. alle Daten               %8.1f ms  %ld bytes%s\n", t_all, size_all,
         all == TBEXP_WRITTEN ? "" : "  (failed)");
  printf("  exp. Tabbox (sorted, 5 cols)  %8.1f ms  %ld bytes%s\n", t_shown, file_size(file),
         shown == TBEXP_WRITTEN ? "" : "  (failed)");
  remove(file);
  return 0;
}
