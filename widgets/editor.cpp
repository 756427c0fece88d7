// The editor object and its X-free rules; see editor.h.
#include "widgets/editor.h"

#include <X11/keysym.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "base/msglog.h"

EDITOR *edis[EDITOR_MAX];
int iedi = 0;
EDITOR_HOOKS editor_hooks = {};
std::string editor_data;

// ---------------------------------------------------------------------------
// X-free rules

namespace {

// Cuts one line [start, end) of text into pieces appended to out.
void wrap_line(const std::string &s, size_t start, size_t end, int text_width,
               const std::function<int(const char *, int)> &width, std::string *out) {
  auto too_wide = [&](size_t from, size_t to) {
    size_t n = to - from;
    if (n > 0 && s[to - 1] == ' ') n--;
    return width(s.data() + from, static_cast<int>(n)) >= text_width - 3;
  };
  for (;;) {
    size_t e = end, rest = end;
    bool at_blank = false;
    while (too_wide(start, e)) {
      size_t bp = std::string::npos;
      // A blank at the very start would give an empty piece: it does not count.
      for (size_t i = e; i-- > start + 1;)
        if (s[i] == ' ') {
          bp = i;
          break;
        }
      if (bp == std::string::npos) bp = start + (e - start) / 2;
      size_t new_end = s[bp] == ' ' ? bp : bp + 1;
      if (new_end >= e) break;  // two characters cannot be halved further
      at_blank = s[bp] == ' ';
      e = new_end;
      rest = bp + 1;
    }
    out->append(s, start, e - start);
    out->append(at_blank ? " \n" : "\n");
    if (e == end || rest >= end) return;
    start = rest;
  }
}

}  // namespace

std::string editor_wrap(const std::string &text, int text_width,
                        const std::function<int(const char *, int)> &width) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string::npos ? text.size() : nl;
    wrap_line(text, pos, end, text_width, width, &out);
    pos = end + 1;
  }
  if (!text.empty() && text.back() != '\n' && !out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

bool editor_status_text(const char *text, bool cursor_ok, int line, int chars_before,
                        std::string *status) {
  bool blank = true;
  for (const char *p = text ? text : ""; *p; p++)
    if (!isspace(static_cast<unsigned char>(*p))) blank = false;
  if (blank) return false;
  *status = cursor_ok ? std::to_string(line) + ":" + std::to_string(chars_before + 1) : "";
  return true;
}

bool editor_key_pass(EDITOR_KEYFILTER *filter, unsigned long time) {
  if (filter->seen && time - filter->last < EDITOR_KEY_INTERVAL) return false;
  filter->seen = 1;
  filter->last = time;
  return true;
}

int editor_marker_y(int editor_y, int editor_h, int line, int top, int screen_lines) {
  if (line < top || line > top + screen_lines) return -1;
  return editor_y + 4 + (line - top) * ((editor_h - 18) / (screen_lines + 1));
}

// ---------------------------------------------------------------------------
// The XForms object

namespace {

int free_slot() {
  for (int i = 0; i < EDITOR_MAX; i++)
    if (!edis[i]) return i;
  return -1;
}

void compute_metrics(EDITOR *e) {
  int asc = 0, desc = 0;
  e->char_height = fl_get_char_height(e->fontstyle, e->fontsize, &asc, &desc);
  if (e->char_height < 1) e->char_height = 1;
  if (e->object) e->screen_lines = (e->object->h - 18) / e->char_height - 1;
  if (e->input) e->text_width = e->input->w - 3 * std::abs(e->input->bw);
}

bool drawable(EDITOR *e) {
  return e->form && e->form->visible == FL_VISIBLE && FL_ObjWin(e->object);
}

void update_status(EDITOR *e) {
  if (!e->input || !e->status || e->maxchars >= 0) return;
  int col = 0, line = 0;
  bool ok = fl_get_input_cursorpos(e->input, &col, &line) >= 0;
  std::string status;
  if (editor_status_text(fl_get_input(e->input), ok, line, col, &status) &&
      status != fl_get_object_label(e->status))
    fl_set_object_label(e->status, status.c_str());
}

// The cursor marker: a yellow stroke beside the cursor's line on a strip
// left of the editor, drawn straight into the form's window.
void update_marker(EDITOR *e) {
  if (!e->input || e->maxchars >= 0 || !drawable(e)) return;
  FL_OBJECT *ob = e->object;
  Window previous = fl_winget();
  fl_winset(FL_ObjWin(ob));
  fl_linewidth(3);
  fl_linestyle(FL_SOLID);
  fl_line(ob->x - 3, ob->y + 4, ob->x - 3, ob->y + 4 + ob->h - 18, e->input->col1);
  int col = 0, line = 0;
  if (fl_get_input_cursorpos(e->input, &col, &line) >= 0) {
    int y = editor_marker_y(ob->y, ob->h, line, fl_get_input_topline(e->input), e->screen_lines);
    if (y >= 0) fl_line(ob->x - 3, y, ob->x - 3, y + e->char_height, FL_YELLOW);
  }
  fl_linewidth(0);
  fl_winset(previous);
}

void update_cursor_display(EDITOR *e) {
  update_status(e);
  update_marker(e);
}

void cb_editor_always(FL_OBJECT *ob, long) {
  if (EDITOR *e = fl_get_editor_record(ob)) update_status(e);
}

bool filtered_key(int key, const EDITOR *e) {
  switch (key) {
    case XK_Left:
    case XK_Up:
    case XK_Right:
    case XK_Down:
    case XK_Prior:
    case XK_Next: return true;
    case ' ': return e->maxchars < 0;
    default: return false;
  }
}

int prehandler(FL_OBJECT *ob, int event, FL_Coord, FL_Coord, int key, void *xev) {
  EDITOR *e = fl_get_editor_record(ob);
  if (!e) return 0;
  if (event == FL_RELEASE && (key == 1 || key == 3)) {
    update_cursor_display(e);
  } else if (event == FL_KEYPRESS && (key == '\t' || key == XK_Tab)) {
    if (editor_hooks.set_focus_next_input) editor_hooks.set_focus_next_input(ob->form, ob);
    return 1;
  } else if (event == FL_KEYPRESS && filtered_key(key, e)) {
    unsigned long time = xev ? static_cast<XEvent *>(xev)->xkey.time : 0;
    return editor_key_pass(&e->keys, time) ? 0 : 1;
  }
  return 0;
}

int posthandler(FL_OBJECT *ob, int event, FL_Coord, FL_Coord, int key, void *) {
  EDITOR *e = fl_get_editor_record(ob);
  if (e && ((event == FL_RELEASE && key == 2) || event == FL_KEYPRESS)) update_cursor_display(e);
  return 0;
}

void editor_zoom(FL_OBJECT *ob, long) {
  EDITOR *e = fl_get_editor_record(ob);
  if (e && editor_hooks.open_zoom) editor_hooks.open_zoom(e->form, e->input, e->maxchars);
}

void editor_format(FL_OBJECT *ob, long) {
  EDITOR *e = fl_get_editor_record(ob);
  if (!e || !e->input || e->maxchars == 0) return;
  int style = e->fontstyle, size = e->fontsize;
  std::string out = editor_wrap(
      fl_get_input(e->input), e->text_width,
      [style, size](const char *s, int n) { return fl_get_string_width(style, size, s, n); });
  // The blanks kept before the new line breaks make the text longer: rather
  // than lose its end to the limit, a text that would no longer fit stays.
  if (e->maxchars > 0 && out.size() > static_cast<size_t>(e->maxchars)) {
    Log_Msg("editor_format: Text too long for wrapping (max = %d)\n", e->maxchars);
    return;
  }
  fl_set_input(e->input, out.c_str());
  fl_set_input_maxchars(e->input, e->maxchars < 1 ? 0 : e->maxchars);
  fl_redraw_object(e->object);
}

}  // namespace

int handle_editor(FL_OBJECT *ob, int event, FL_Coord, FL_Coord, int, void *) {
  EDITOR *e = static_cast<EDITOR *>(ob->spec);
  if (!e) return 0;
  if (event == FL_DRAW) {
    fl_draw_object_label_outside(ob);
    update_status(e);
  } else if (event == FL_FOCUS && e->input && ob->form) {
    // The editor object takes part in the toolkit's focus moves; the keys
    // belong to the text input (for a multi-line input, its inner input).
    fl_set_focus_object(ob->form, e->input->child ? e->input->child : e->input);
  } else if (event == FL_FREEMEM) {
    for (EDITOR *&slot : edis)
      if (slot == e) {
        slot = nullptr;
        iedi--;
      }
    delete e;
    ob->spec = nullptr;
  }
  return 0;
}

FL_OBJECT *fl_create_editor(int type, FL_Coord x, FL_Coord y, FL_Coord w, FL_Coord h,
                            const char *label) {
  int slot = free_slot();
  if (slot < 0) return nullptr;
  FL_OBJECT *ob = fl_make_object(EDITOR_CLASS, type, x, y, w, h, label, handle_editor);
  ob->boxtype = FL_NO_BOX;
  ob->align = FL_ALIGN_LEFT;
  ob->col1 = FL_COL1;
  ob->col2 = FL_BLUE;
  ob->input = 1;
  ob->wantkey = FL_KEY_ALL;
  ob->use_pixmap = 1;
  EDITOR *e = new EDITOR{};
  e->object = ob;
  e->maxchars = -1;
  e->fontsize = FL_NORMAL_SIZE;
  e->fontstyle = FL_NORMAL_STYLE;
  compute_metrics(e);
  ob->spec = e;
  edis[slot] = e;
  iedi++;
  return ob;
}

FL_OBJECT *fl_add_editor(int type, FL_Coord x, FL_Coord y, FL_Coord w, FL_Coord h,
                         const char *label) {
  FL_OBJECT *ob = fl_create_editor(type, x, y, w, h, label);
  if (!ob) {
    Log_Msg("fl_add_editor: Too many editors (max = %d)\n", EDITOR_MAX);
    return nullptr;
  }
  EDITOR *e = static_cast<EDITOR *>(ob->spec);
  e->form = fl_current_form;
  fl_add_object(e->form, ob);

  FL_OBJECT *in = e->input = fl_add_input(FL_MULTILINE_INPUT, x, y + 2, w - 2, h - 27, "");
  fl_set_input_return(in, FL_RETURN_ALWAYS);
  fl_set_object_callback(in, cb_editor_always, 0);
  fl_set_object_lsize(in, e->fontsize);
  fl_set_object_lstyle(in, e->fontstyle);
  fl_set_object_boxtype(in, FL_DOWN_BOX);
  in->wantkey = FL_KEY_ALL;
  fl_set_object_prehandler(in, prehandler);
  fl_set_object_posthandler(in, posthandler);

  e->status = fl_add_text(FL_NORMAL_TEXT, x + w - 112, y - 19, 110, 21, "");
  fl_set_object_lsize(e->status, 12);
  fl_set_object_lalign(e->status, FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  fl_set_object_lstyle(e->status, FL_EMBOSSED_STYLE);

  int b = in->y + in->h + std::abs(in->bw) + 3;
  e->zoom = fl_add_button(FL_NORMAL_BUTTON, x, b, 110, 20, "Zoom");
  fl_set_object_boxtype(e->zoom, FL_UP_BOX);
  fl_set_object_lsize(e->zoom, e->fontsize);
  fl_set_object_callback(e->zoom, editor_zoom, 0);
  if (editor_hooks.define_shortcut)
    editor_hooks.define_shortcut(e->zoom, "^Z^z", 1);
  else
    fl_set_object_shortcut(e->zoom, "^Z^z", 1);

  e->format = fl_add_button(FL_NORMAL_BUTTON, x + 170, b, 110, 20, "Zeilenumbruch");
  fl_set_object_boxtype(e->format, FL_UP_BOX);
  fl_set_object_lsize(e->format, e->fontsize);
  fl_set_object_callback(e->format, editor_format, 0);
  compute_metrics(e);
  return in;
}

EDITOR *fl_get_editor_record(FL_OBJECT *object) {
  if (!object) return nullptr;
  for (EDITOR *e : edis)
    if (e &&
        (e->object == object || e->input == object || e->zoom == object || e->format == object))
      return e;
  return nullptr;
}

int fl_is_editor(FL_OBJECT *object) { return fl_get_editor_record(object) ? 1 : 0; }

const char *fl_get_editor(FL_OBJECT *object) {
  const char *text = fl_get_editor_input(object);
  if (!text) return nullptr;
  editor_data.assign(text);
  return editor_data.c_str();
}

const char *fl_get_editor_input(FL_OBJECT *object) {
  EDITOR *e = fl_get_editor_record(object);
  return e && e->input ? fl_get_input(e->input) : nullptr;
}

FL_OBJECT *fl_get_editor_input_object(FL_OBJECT *object) {
  EDITOR *e = fl_get_editor_record(object);
  return e ? e->input : nullptr;
}

void fl_set_editor(FL_OBJECT *object, const char *text) {
  EDITOR *e = fl_get_editor_record(object);
  if (!e || !e->input) return;
  fl_set_input_maxchars(e->input, e->maxchars < 1 ? 0 : e->maxchars);
  fl_set_input(e->input, text ? text : "");
  fl_redraw_object(e->object);
}

void fl_set_editor_maxchars(FL_OBJECT *object, int n) {
  EDITOR *e = fl_get_editor_record(object);
  if (!e) return;
  e->maxchars = n;
  if (e->format) {
    if (n == 0)
      fl_hide_object(e->format);
    else
      fl_show_object(e->format);
  }
  if (e->input) fl_set_input_maxchars(e->input, n < 1 ? 0 : n);
  if (e->status) {
    if (n < 0)
      fl_show_object(e->status);
    else
      fl_hide_object(e->status);
  }
  fl_redraw_object(e->object);
}

void fl_set_editor_fontstyle(FL_OBJECT *object, int style) {
  EDITOR *e = fl_get_editor_record(object);
  if (!e) return;
  e->fontstyle = style;
  if (e->input) fl_set_object_lstyle(e->input, style);
  compute_metrics(e);
  fl_redraw_object(e->object);
}

int fl_get_editor_fontstyle(FL_OBJECT *object) {
  EDITOR *e = fl_get_editor_record(object);
  return e ? e->fontstyle : -1;
}

void fl_hide_editor_zoom(FL_OBJECT *object) {
  EDITOR *e = fl_get_editor_record(object);
  if (e && e->zoom) fl_hide_object(e->zoom);
}

int fl_get_editor_topline(FL_OBJECT *object) {
  EDITOR *e = fl_get_editor_record(object);
  return e && e->input ? fl_get_input_topline(e->input) : 0;
}
