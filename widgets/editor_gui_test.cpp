// Tests of the editor as XForms objects on an X server (ctest runs them
// under Xvfb; without DISPLAY they skip): the objects and their places, the
// character limit's effect on the buttons and the status, the limit of 100
// editors, re-wrapping through the format button, the status and cursor
// marker after real key and pointer events, the key filter, and the zoom
// hook.  One test leaves a screenshot in $KV_BUILD_DIR/artifacts/editor.png.
// GoogleTest comes before the X headers, whose macro None clashes with it.
#include <gtest/gtest.h>

#include "widgets/editor.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstring>
#include <string>
#include <vector>

#include "widgets/gui_test.h"
#include "tests/support/log_capture.h"

namespace {

FL_FORM *zoom_form;
FL_OBJECT *zoom_input;
int zoom_max;
void open_zoom(FL_FORM *form, FL_OBJECT *input, int maxchars) {
  zoom_form = form;
  zoom_input = input;
  zoom_max = maxchars;
}

FL_OBJECT *next_from;
void focus_next(FL_FORM *, FL_OBJECT *ob) { next_from = ob; }

class EditorGui : public testing::Test {
 protected:
  void SetUp() override {
    if (!gui_init("EditorTest")) GTEST_SKIP() << "no X display";
    editor_hooks = {};
    editor_hooks.open_zoom = open_zoom;
    editor_hooks.set_focus_next_input = focus_next;
    form = fl_bgn_form(FL_FLAT_BOX, 500, 330);
    input = fl_add_editor(0, 60, 40, 400, 240, "Text");
    fl_end_form();
    ed = fl_get_editor_record(input);
  }
  void TearDown() override {
    if (form) {
      if (fl_form_is_visible(form)) fl_hide_form(form);
      fl_free_form(form);
    }
    editor_hooks = {};
  }
  void show() {
    fl_set_form_position(form, 10, 10);
    fl_show_form(form, FL_PLACE_POSITION, FL_NOBORDER, "Editor");
    gui_pump();
    XWarpPointer(fl_get_display(), None, form->window, 0, 0, 0, 0, 100, 100);
    fl_set_focus_object(form, input->child ? input->child : input);
    gui_pump();
  }
  void key(KeySym sym, Time time) { gui_key(form->window, sym, 0, time); }
  int cursor_chars() {
    int x = 0, y = 0;
    return fl_get_input_cursorpos(input, &x, &y);
  }
  unsigned long pixel_at(int x, int y) {
    XImage *img = XGetImage(fl_get_display(), form->window, x, y, 1, 1, AllPlanes, ZPixmap);
    unsigned long p = XGetPixel(img, 0, 0);
    XDestroyImage(img);
    return p;
  }

  FL_FORM *form = nullptr;
  FL_OBJECT *input = nullptr;
  EDITOR *ed = nullptr;
};

std::string geometry(FL_OBJECT *ob) {
  return std::to_string(ob->x) + "," + std::to_string(ob->y) + " " + std::to_string(ob->w) + "x" +
         std::to_string(ob->h);
}

TEST_F(EditorGui, ObjectsAndRecord) {
  ASSERT_NE(ed, nullptr);
  EXPECT_EQ(ed->form, form);
  EXPECT_EQ(ed->object->objclass, EDITOR_CLASS);
  EXPECT_EQ(geometry(ed->object), "60,40 400x240");
  EXPECT_EQ(ed->object->col2, static_cast<FL_COLOR>(FL_BLUE));
  EXPECT_EQ(ed->object->wantkey, FL_KEY_ALL);
  EXPECT_EQ(ed->input, input);
  EXPECT_EQ(geometry(input), "60,42 398x213");
  EXPECT_EQ(input->type, FL_MULTILINE_INPUT);
  EXPECT_EQ(geometry(ed->status), "348,21 110x21");
  EXPECT_EQ(ed->status->lsize, 12);
  int b = 42 + 213 + std::abs(input->bw) + 3;
  EXPECT_EQ(geometry(ed->zoom), "60," + std::to_string(b) + " 110x20");
  EXPECT_STREQ(ed->zoom->label, "Z\boom");  // Ctrl+Z, underlined
  EXPECT_EQ(geometry(ed->format), "230," + std::to_string(b) + " 110x20");
  EXPECT_STREQ(ed->format->label, "Zeilenumbruch");
  EXPECT_EQ(ed->maxchars, -1);
  EXPECT_EQ(ed->fontsize, FL_NORMAL_SIZE);
  EXPECT_EQ(ed->text_width, 398 - 3 * std::abs(input->bw));
  EXPECT_GT(ed->char_height, 5);
  EXPECT_EQ(ed->screen_lines, (240 - 18) / ed->char_height - 1);
  // Every object of the editor finds the record; others do not.
  for (FL_OBJECT *ob : {ed->object, input, ed->zoom, ed->format})
    EXPECT_EQ(fl_get_editor_record(ob), ed);
  EXPECT_EQ(fl_is_editor(ed->status), 0);
  EXPECT_EQ(fl_is_editor(form->first), 0);
  EXPECT_EQ(fl_get_editor(form->first), nullptr);
  EXPECT_EQ(fl_get_editor_fontstyle(form->first), -1);
}

TEST_F(EditorGui, TheLimitDecidesButtonsAndStatus) {
  show();
  EXPECT_TRUE(fl_object_is_visible(ed->format));
  EXPECT_TRUE(fl_object_is_visible(ed->status));
  fl_set_editor_maxchars(ed->zoom, 0);
  EXPECT_FALSE(fl_object_is_visible(ed->format));
  EXPECT_FALSE(fl_object_is_visible(ed->status));
  fl_set_editor_maxchars(input, 5);
  EXPECT_TRUE(fl_object_is_visible(ed->format));
  EXPECT_FALSE(fl_object_is_visible(ed->status));
  fl_set_editor(input, "abcdefgh");
  fl_set_focus_object(form, input->child);
  key(XK_End, 1000);
  key(XK_x, 2000);
  EXPECT_EQ(strlen(fl_get_editor(input)), 8u);  // typing stops at the limit
  fl_set_editor(input, "");
  key(XK_a, 3000);
  key(XK_b, 3100);
  EXPECT_STREQ(fl_get_editor(input), "ab");
  fl_set_editor_maxchars(input, -1);
  EXPECT_TRUE(fl_object_is_visible(ed->status));
  fl_hide_editor_zoom(input);
  EXPECT_FALSE(fl_object_is_visible(ed->zoom));
}

TEST_F(EditorGui, AtMostOneHundredEditors) {
  int before = iedi;
  FL_FORM *many = fl_bgn_form(FL_FLAT_BOX, 100, 100);
  FL_OBJECT *box = fl_add_box(FL_UP_BOX, 0, 0, 10, 10, "bleibt");
  std::vector<FL_OBJECT *> made;
  while (iedi < EDITOR_MAX) made.push_back(fl_add_editor(0, 0, 30, 90, 60, ""));
  kv_capture_log();
  FL_OBJECT *extra = fl_add_editor(0, 0, 30, 90, 60, "");
  EXPECT_EQ(kv_captured_log(), "fl_add_editor: Too many editors (max = 100)\n");
  fl_end_form();
  EXPECT_EQ(extra, nullptr);
  EXPECT_EQ(static_cast<int>(made.size()), EDITOR_MAX - before);
  EXPECT_EQ(many->first->next, box);  // the form keeps its other objects
  fl_free_form(many);
  // Freed editors give their places back.
  EXPECT_EQ(iedi, before);
  FL_FORM *again = fl_bgn_form(FL_FLAT_BOX, 100, 100);
  EXPECT_NE(fl_add_editor(0, 0, 30, 90, 60, ""), nullptr);
  fl_end_form();
  fl_free_form(again);
}

TEST_F(EditorGui, FormatButtonRewrapsToTheInputWidth) {
  show();
  std::string text =
      "Dieser Absatz ist mit Absicht deutlich breiter als das Eingabefeld, damit der "
      "Zeilenumbruch ihn auf mehrere Zeilen verteilen muss.\nKurz.\n"
      "EinWortOhneLeerzeichenDasNichtInEineZeilePasstUndDeshalbInDerMitteGeteiltWird";
  fl_set_editor(input, text.c_str());
  fl_call_object_callback(ed->format);
  std::string wrapped = fl_get_editor(input);
  EXPECT_NE(wrapped, text);
  EXPECT_NE(wrapped.find("\nKurz.\n"), std::string::npos);
  size_t start = 0;
  int lines = 0;
  while (start <= wrapped.size()) {
    size_t end = wrapped.find('\n', start);
    if (end == std::string::npos) end = wrapped.size();
    std::string line = wrapped.substr(start, end - start);
    if (!line.empty() && line.back() == ' ') line.pop_back();
    EXPECT_LT(fl_get_string_width(ed->fontstyle, ed->fontsize, line.c_str(), line.size()),
              ed->text_width - 3)
        << line;
    lines++;
    start = end + 1;
  }
  EXPECT_GE(lines, 5);
  // The words are all still there, in order.
  std::string joined;
  for (char c : wrapped)
    if (c != '\n' && c != ' ') joined += c;
  std::string original;
  for (char c : text)
    if (c != '\n' && c != ' ') original += c;
  EXPECT_EQ(joined, original);
  // A limited editor whose text would grow past the limit keeps its text.
  fl_set_editor_maxchars(input, static_cast<int>(text.size()));
  fl_set_editor(input, text.c_str());
  kv_capture_log();
  fl_call_object_callback(ed->format);
  kv_captured_log();
  EXPECT_EQ(fl_get_editor(input), text);
  // Without a limit of 0 the button does nothing.
  fl_set_editor_maxchars(input, 0);
  fl_call_object_callback(ed->format);
  EXPECT_EQ(fl_get_editor(input), text);
}

TEST_F(EditorGui, StatusAndMarkerFollowTheCursor) {
  show();
  fl_set_editor(input, "erste Zeile\nzweite Zeile\ndritte Zeile");
  fl_set_focus_object(form, input->child);
  key(XK_Home, 1000);  // to the start of the text
  key(XK_Down, 2000);
  key(XK_Down, 3000);
  EXPECT_STREQ(ed->status->label, "3:1");
  key(XK_Right, 4000);
  EXPECT_STREQ(ed->status->label, "3:2");
  // The yellow stroke stands beside the third line.
  int y = editor_marker_y(ed->object->y, ed->object->h, 3, fl_get_editor_topline(input),
                          ed->screen_lines);
  ASSERT_GT(y, 0);
  EXPECT_EQ(pixel_at(ed->object->x - 3, y + ed->char_height / 2), fl_get_pixel(FL_YELLOW));
  EXPECT_NE(pixel_at(ed->object->x - 3, ed->object->y + 6), fl_get_pixel(FL_YELLOW));
  // Empty text: the status stays.
  fl_set_editor(input, "");
  key(XK_Left, 5000);
  EXPECT_STREQ(ed->status->label, "3:2");
}

TEST_F(EditorGui, ArrowKeysPassAtMostEveryFiftyMilliseconds) {
  show();
  fl_set_editor(input, "abcdefghij");
  fl_set_focus_object(form, input->child);
  key(XK_Home, 10000);
  int start = cursor_chars();
  key(XK_Right, 20000);
  key(XK_Right, 20020);  // swallowed
  key(XK_Right, 20049);  // swallowed
  key(XK_Right, 20050);
  EXPECT_EQ(cursor_chars(), start + 2);
  // The space bar is filtered only in editors without limit.
  key(XK_space, 30000);
  key(XK_space, 30010);
  EXPECT_EQ(std::string(fl_get_editor(input)).substr(2, 3), " cd");
  fl_set_editor_maxchars(input, 100);
  fl_set_focus_object(form, input->child);
  key(XK_space, 40000);
  key(XK_space, 40010);
  EXPECT_NE(std::string(fl_get_editor(input)).find("  "), std::string::npos);
}

TEST_F(EditorGui, ZoomButtonAndTabGoThroughTheHooks) {
  show();
  fl_set_editor_maxchars(input, 250);
  zoom_form = nullptr;
  fl_call_object_callback(ed->zoom);
  EXPECT_EQ(zoom_form, form);
  EXPECT_EQ(zoom_input, input);
  EXPECT_EQ(zoom_max, 250);
  fl_set_editor_fontstyle(ed->format, FL_BOLD_STYLE);
  EXPECT_EQ(fl_get_editor_fontstyle(input), FL_BOLD_STYLE);
  EXPECT_EQ(input->lstyle, FL_BOLD_STYLE);
}

TEST_F(EditorGui, ScreenshotOfAWrappedText) {
  show();
  fl_set_editor(input,
                // Inputs draw Latin-1 letters only under a Latin-1 locale,
                // which the test machine need not have: plain ASCII here.
                "Die Lieferung erfolgt werktags zwischen acht und zwoelf Uhr; bei "
                "Abwesenheit wird die Ware beim Nachbarn abgegeben.\n\nRueckfragen bitte "
                "an die Zentrale in Muenchen.");
  fl_call_object_callback(ed->format);
  fl_set_focus_object(form, input->child);
  key(XK_Home, 1000);
  key(XK_Down, 2000);
  gui_screenshot(std::to_string(form->window), "editor.png");
  EXPECT_STREQ(ed->status->label, "2:1");
}

}  // namespace
