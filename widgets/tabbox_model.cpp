// The tabbox's content logic without X; see tabbox_model.h.
#include "widgets/tabbox_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/msglog.h"
#include "base/valuestr.h"
#include "widgets/tabbox_hooks.h"

namespace {

void init_record(TABBOX *rec) {
  rec->lines.assign(rec->line_alloc, std::string());
  rec->full_lines.assign(rec->line_alloc, std::string());
  rec->selected.assign(rec->line_alloc, 0);
  rec->row_order.resize(rec->line_alloc);
  for (int i = 0; i < rec->line_alloc; i++) rec->row_order[i] = i;
}

void reset_columns(TABBOX *rec, int count) {
  rec->col_count = count;
  rec->col_pos.assign(count, -1);
  rec->col_width.assign(count, 0);
  rec->col_visible.assign(count, 1);
  rec->col_maxwidth.assign(count, -1);
  rec->col_order.resize(count);
  for (int i = 0; i < count; i++) rec->col_order[i] = i;
}

std::string rtrim(const std::string &s) {
  size_t n = s.size();
  while (n > 0 && s[n - 1] == ' ') n--;
  return s.substr(0, n);
}

}  // namespace

TABBOX *tb_new(FL_OBJECT *object, int type, int x, int y, int w, int h, int bw) {
  TABBOX *rec = new TABBOX;
  rec->object = object;
  rec->type = type;
  rec->x = x;
  rec->y = y;
  rec->w = w;
  rec->h = h;
  rec->bw = bw;
  rec->hslider_len = w - (2 * bw + 54);
  rec->vslider_len = h - (2 * bw + 54);
  init_record(rec);
  return rec;
}

void tb_free(TABBOX *rec) {
  if (!rec) return;
  if (rec->vert_record && rec->vert_record->vert_record == rec) {
    rec->vert_record->vert_record = nullptr;
    delete rec->vert_record;
  }
  delete rec;
}

void tb_set_metrics(TABBOX *rec, int char_width, int char_height) {
  rec->char_width = char_width > 0 ? char_width : 1;
  rec->char_height = char_height > 0 ? char_height : 1;
  rec->screen_cols = (rec->w - (2 * rec->bw + 18)) / rec->char_width;
  rec->screen_lines = (rec->h - (2 * rec->bw + rec->char_height) - 18) / rec->char_height;
  if (rec->screen_cols < 0) rec->screen_cols = 0;
  if (rec->screen_lines < 0) rec->screen_lines = 0;
}

bool tb_is_vertical_record(const TABBOX *rec) { return rec->is_vert_record != 0; }

TABBOX *tb_main(TABBOX *rec) {
  return rec->is_vert_record && rec->vert_record ? rec->vert_record : rec;
}

TABBOX *tb_active(TABBOX *rec) {
  TABBOX *main = tb_main(rec);
  return main->vert && main->vert_record ? main->vert_record : main;
}

void tb_grow_lines(TABBOX *rec) {
  int old = rec->line_alloc;
  rec->line_alloc += TABBOX_LINE_STEP;
  rec->lines.resize(rec->line_alloc);
  rec->full_lines.resize(rec->line_alloc);
  rec->selected.resize(rec->line_alloc, 0);
  rec->row_order.resize(rec->line_alloc);
  for (int i = old; i < rec->line_alloc; i++) rec->row_order[i] = i;
}

void tb_fit_line_size(TABBOX *rec, size_t n) {
  while (n >= static_cast<size_t>(rec->line_size)) {
    if (static_cast<size_t>(rec->line_size) + TABBOX_SIZE_STEP < n)
      rec->line_size = static_cast<int>(n) + TABBOX_SIZE_STEP;
    else
      rec->line_size += TABBOX_SIZE_STEP;
  }
}

void tb_set_title(TABBOX *rec, const char *text) {
  if (!text) text = "";
  tb_fit_line_size(rec, strlen(text));
  rec->full_title = text;
  int bars = static_cast<int>(std::count(rec->full_title.begin(), rec->full_title.end(), '|'));
  reset_columns(rec, bars + 2);
  rec->rebuild = 1;
}

void tb_add_line(TABBOX *rec, const char *text) {
  if (!text) text = "";
  if (rec->line_count >= rec->line_alloc) tb_grow_lines(rec);
  tb_fit_line_size(rec, strlen(text));
  rec->full_lines[rec->line_count] = text;
  rec->lines[rec->line_count].clear();
  rec->selected[rec->line_count] = 0;
  rec->line_count++;
  rec->rebuild = 1;
}

int tb_check_line(const TABBOX *rec, int n, const char *fname) {
  if (n < 1 || n - 1 > rec->line_count) {
    Log_Msg("%s: Index out of range\n", fname);
    return 0;
  }
  return n <= rec->line_count ? 1 : 0;
}

int tb_replace_line(TABBOX *rec, int n, const char *text) {
  if (!tb_check_line(rec, n, "fl_replace_tabbox_line")) return 0;
  if (!text) text = "";
  tb_fit_line_size(rec, strlen(text));
  rec->full_lines[n - 1] = text;
  rec->selected[n - 1] = 0;
  rec->rebuild = 1;
  return 1;
}

int tb_delete_line(TABBOX *rec, int m) {
  // A caller's number below 1, or a delete on an empty tabbox, would move
  // lines to index -1 or leave a negative line count: refused like an
  // index beyond the end.
  if (m - 2 > rec->line_count || m < 1 || rec->line_count == 0) {
    Log_Msg("fl_delete_tabbox_line: Index out of range\n");
    return 0;
  }
  int count = rec->line_count;
  // Kept as designed: lines move up from index m, not from the caller's row
  // (the binding passes row + 2 and rewrites all lines afterwards).
  for (int i = m; i < count; i++) {
    rec->full_lines[i - 1] = std::move(rec->full_lines[i]);
    rec->lines[i - 1] = std::move(rec->lines[i]);
    rec->selected[i - 1] = rec->selected[i];
  }
  rec->full_lines[count - 1].clear();
  rec->lines[count - 1].clear();
  if (m <= count) rec->selected[count - 1] = 0;
  if (m - 2 == count && m > 3) rec->selected[m - 4] = 1;
  rec->line_count--;
  rec->rebuild = 1;
  return 1;
}

void tb_clear(TABBOX *rec) {
  rec->line_count = 0;
  rec->xmax = 0;
  rec->left_col = 0;
  rec->topline = 0;
  if (rec->vert_record) rec->vert_record->line_count = 0;
  rec->rebuild = 1;
}

static int effective_type(const TABBOX *rec) { return rec->is_vert_record ? 2 : rec->type; }

void tb_clear_selection(TABBOX *rec) { std::fill(rec->selected.begin(), rec->selected.end(), 0); }

int tb_select_count(const TABBOX *rec) {
  int n = 0;
  for (int i = 0; i < rec->line_count; i++) n += rec->selected[i] ? 1 : 0;
  return n;
}

int tb_first_selected(const TABBOX *rec) {
  for (int i = 0; i < rec->line_count; i++)
    if (rec->selected[i]) return i + 1;
  return 0;
}

int tb_first_selected_pos(const TABBOX *rec) {
  for (int d = 0; d < rec->line_count; d++)
    if (rec->selected[rec->row_order[d]]) return d;
  return -1;
}

bool tb_pos_selected(const TABBOX *rec, int d) {
  return d >= 0 && d < rec->line_count && rec->selected[rec->row_order[d]];
}

void tb_set_pos_selected(TABBOX *rec, int d, bool on) {
  if (d >= 0 && d < rec->line_count) rec->selected[rec->row_order[d]] = on ? 1 : 0;
}

void tb_select_line(TABBOX *rec, int n) {
  tb_ensure_built(rec);
  int type = effective_type(rec);
  if (type != 3) tb_clear_selection(rec);
  if (n >= 1 && n <= rec->line_count) rec->selected[n - 1] = 1;
  if (type == 3 && tb_select_count(rec) > 1) return;
  int p = tb_first_selected_pos(rec) + 1;
  if (p > 0 && (p <= rec->topline || p > rec->topline + rec->screen_lines)) rec->topline = p - 1;
}

void tb_layout_columns(TABBOX *rec) {
  if (rec->col_count < 2) return;
  const std::string &t = rec->full_title;
  rec->col_pos[0] = 0;
  int k = 0;
  for (size_t i = 0; i < t.size() && k + 1 < rec->col_count; i++) {
    if (t[i] != '|') continue;
    k++;
    int pos = static_cast<int>(i);
    rec->col_width[k] = k == 1 ? pos - rec->col_pos[0] : pos - rec->col_pos[k - 1] - 1;
    rec->col_pos[k] = pos;
  }
  if (!t.empty() && k + 1 < rec->col_count) {
    int len = static_cast<int>(t.size());
    rec->col_width[k + 1] = len + 1 - rec->col_pos[k];
    rec->col_pos[k + 1] = len + 1;
  }
}

void tb_field_span(const TABBOX *rec, const std::string &line, int c, size_t *start, size_t *len) {
  *start = 0;
  *len = 0;
  if (c < 1 || c >= rec->col_count) return;
  int s = rec->col_pos[c - 1];
  int e = rec->col_pos[c];
  if (s < 0 || e < 0) return;
  if (s > 0 && static_cast<size_t>(s) < line.size() && line[s] == '|') {
    s++;
    if (static_cast<size_t>(s) < line.size() && line[s] == ' ') s++;
  }
  int n = e - s - 1;
  if (n <= 0 || static_cast<size_t>(s) >= line.size()) return;
  *start = s;
  *len = std::min(static_cast<size_t>(n), line.size() - s);
}

std::string tb_display_form(const TABBOX *rec, const std::string &line) {
  std::string out;
  bool first = true, prev_cut = false;
  for (int p = 1; p < rec->col_count; p++) {
    int c = rec->col_order[p];
    if (c < 1 || c >= rec->col_count || !rec->col_visible[c]) continue;
    if (!first) out += prev_cut ? "~| " : " | ";
    first = false;
    size_t s, n;
    tb_field_span(rec, line, c, &s, &n);
    int limit = rec->col_maxwidth[c] == -1 ? rec->maxwidth : rec->col_maxwidth[c];
    prev_cut = false;
    if (limit >= 0 && n > static_cast<size_t>(limit)) {
      for (size_t i = limit; i < n; i++) {
        if (line[s + i] != ' ') {
          prev_cut = true;
          break;
        }
      }
      n = limit;
    }
    out.append(line, s, n);
  }
  return out;
}

bool tb_is_number(const char *text) {
  int seps = 0;
  for (const char *p = text; *p; p++) {
    if (*p == '.' || *p == ',') {
      if (++seps > 1) return false;
    } else if (*p != '-' && (*p < '0' || *p > '9')) {
      return false;
    }
  }
  return true;
}

int tb_compare_fields(const char *a, const char *b) {
  if (tb_is_number(a) && tb_is_number(b)) {
    double x = XAtof(a), y = XAtof(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  return mystrcmp(a, b);
}

std::string tb_sort_field(const TABBOX *rec, const std::string &line, int c) {
  if (c < 1 || c >= rec->col_count) return std::string();
  int s = rec->col_pos[c - 1], e = rec->col_pos[c];
  if (s < 0 || e < 0) return std::string();
  size_t a = std::min(static_cast<size_t>(s), line.size());
  size_t b = std::min(static_cast<size_t>(e), line.size());
  while (a < b && (line[a] == '|' || line[a] == ' ')) a++;
  while (b > a && (line[b - 1] == '|' || line[b - 1] == ' ')) b--;
  return line.substr(a, std::min(b - a, static_cast<size_t>(TABBOX_FIELD_MAX)));
}

namespace {

struct SortKey {
  std::string text;
  double value;
  bool number;
};

}  // namespace

void tb_sort_rows(TABBOX *rec) {
  int n = rec->line_count;
  for (int i = 0; i < rec->line_alloc; i++) rec->row_order[i] = i;
  int nkeys = std::min(rec->sort_count, static_cast<int>(rec->sort_cols.size()));
  if (nkeys <= 0 || n < 2) return;
  // Each key's fields are cut and classified once, so the comparisons of
  // the sort itself only compare prepared values.
  std::vector<std::vector<SortKey>> keys(nkeys, std::vector<SortKey>(n));
  for (int k = 0; k < nkeys; k++) {
    for (int i = 0; i < n; i++) {
      SortKey &key = keys[k][i];
      key.text = tb_sort_field(rec, rec->full_lines[i], rec->sort_cols[k]);
      key.number = tb_is_number(key.text.c_str());
      key.value = key.number ? XAtof(key.text.c_str()) : 0.0;
    }
  }
  std::vector<int> dirs(rec->sort_dirs.begin(), rec->sort_dirs.end());
  dirs.resize(nkeys, 1);
  std::stable_sort(rec->row_order.begin(), rec->row_order.begin() + n, [&](int a, int b) {
    for (int k = 0; k < nkeys; k++) {
      const SortKey &x = keys[k][a], &y = keys[k][b];
      int r;
      if (x.number && y.number)
        r = x.value < y.value ? -1 : (x.value > y.value ? 1 : 0);
      else
        r = mystrcmp(x.text.c_str(), y.text.c_str());
      if (dirs[k] == 0) r = -r;
      if (r != 0) return r < 0;
    }
    return false;
  });
}

void tb_rebuild(TABBOX *rec) {
  tb_layout_columns(rec);
  rec->title = tb_display_form(rec, rec->full_title);
  tb_sort_rows(rec);
  size_t xmax = rec->title.size();
  for (int i = 0; i < rec->line_count; i++) {
    rec->lines[i] = tb_display_form(rec, rec->full_lines[i]);
    xmax = std::max(xmax, rec->lines[i].size());
  }
  rec->xmax = static_cast<int>(xmax);
  if (rec->xmax <= rec->left_col) rec->left_col = 0;
  rec->rebuild = 0;
}

void tb_ensure_built(TABBOX *rec) {
  if (rec->rebuild) tb_rebuild(rec);
}

TABBOX *tb_make_vertical(TABBOX *main) {
  if (main->vert_record) return main->vert_record;
  TABBOX *v = tb_new(main->object, main->type, main->x, main->y, main->w, main->h, main->bw);
  v->form = main->form;
  v->is_vert_record = 1;
  v->vert_record = main;
  main->vert_record = v;
  tb_set_metrics(v, main->char_width, main->char_height);
  return v;
}

static std::string fit(const std::string &s, size_t width) {
  std::string r = s.substr(0, width);
  r.resize(width, ' ');
  return r;
}

void tb_build_vertical(TABBOX *main) {
  TABBOX *v = tb_make_vertical(main);
  int ncols = main->col_count;
  std::vector<std::string> names(ncols > 0 ? ncols : 0);
  size_t a = 9;
  for (int c = 1; c < ncols; c++) {
    size_t s, n;
    tb_field_span(main, main->full_title, c, &s, &n);
    names[c] = rtrim(main->full_title.substr(s, n));
    if (main->col_visible[c]) a = std::max(a, names[c].size());
  }
  std::vector<size_t> vw(main->line_count);
  for (int i = 0; i < main->line_count; i++) {
    size_t m = 0;
    for (int c = 1; c < ncols; c++) {
      if (!main->col_visible[c]) continue;
      size_t s, n;
      tb_field_span(main, main->full_lines[i], c, &s, &n);
      while (n > 0 && main->full_lines[i][s + n - 1] == ' ') n--;
      m = std::max(m, n);
    }
    vw[i] = std::max<size_t>(m + 1, 10);
  }
  std::string title = fit("Attribut", a);
  if (main->line_count == 1) {
    title += " | " + fit("Wert", vw[0]);
  } else {
    char buf[32];
    for (int i = 0; i < main->line_count; i++) {
      snprintf(buf, sizeof buf, "Zeile %d", i + 1);
      title += " | " + fit(buf, vw[i]);
    }
  }
  int keep_left = v->left_col, keep_top = v->topline;
  tb_fit_line_size(v, title.size());
  v->full_title = title;
  reset_columns(v, main->line_count + 2);
  // Cleared like fl_clear_tabbox (not through it: v->vert_record is the
  // main record); the offsets come back below only where the refilled
  // table still reaches them.
  v->line_count = 0;
  v->xmax = 0;
  v->left_col = 0;
  v->topline = 0;
  tb_clear_selection(v);
  for (int p = 1; p < ncols; p++) {
    int c = main->col_order[p];
    if (c < 1 || c >= ncols) continue;
    std::string line = fit(names[c], a);
    for (int i = 0; i < main->line_count; i++) {
      size_t s, n;
      tb_field_span(main, main->full_lines[i], c, &s, &n);
      line += " | ";
      line += fit(main->full_lines[i].substr(s, n), vw[i]);
    }
    tb_add_line(v, line.c_str());
  }
  tb_rebuild(v);
  if (keep_left < v->xmax) v->left_col = keep_left;
  if (keep_top < v->line_count) v->topline = keep_top;
}

TABBOX *tb_prepare_draw(TABBOX *main) {
  if (!main->vert) {
    tb_ensure_built(main);
    return main;
  }
  tb_ensure_built(main);
  TABBOX *v = tb_make_vertical(main);
  int pos = tb_first_selected_pos(v);
  tb_build_vertical(main);
  if (pos >= 0) tb_set_pos_selected(v, pos, true);
  return v;
}

std::string tb_vert_attr_of(const std::string &line) {
  return rtrim(line.substr(0, line.find('|')));
}

std::string tb_vert_value_of(const std::string &line) {
  size_t bar = line.find('|');
  if (bar == std::string::npos || bar + 2 >= line.size()) return std::string();
  size_t start = bar + 2;
  size_t end = line.find('|', start);
  return rtrim(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
}

int tb_shown_column(const TABBOX *rec, int k) {
  int seen = 0;
  for (int p = 1; p < rec->col_count; p++) {
    int c = rec->col_order[p];
    if (c < 1 || c >= rec->col_count || !rec->col_visible[c]) continue;
    if (++seen == k) return c;
  }
  return 0;
}

int tb_call_dblclick(TABBOX *rec) {
  TABBOX *main = tb_main(rec);
  if (!main->dblclick_callback) return 0;
  if (main->vert) {
    main->dblclick_callback(main->object, main->dblclick_arg);
    return 1;
  }
  switch (main->type) {
    case 0: return 0;
    case 4: main->dblclick_callback(main->object, tbhook_shift_pressed() ? 1 : 0); return 1;
    default: main->dblclick_callback(main->object, main->dblclick_arg); return 1;
  }
}
