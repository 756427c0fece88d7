// Helpers shared by the tests that run XForms objects on an X server (the
// editor's and the form framework's GUI tests): starting the toolkit once
// per process, letting it handle what is queued, sending key, button,
// motion and crossing events to a window as the X server would deliver
// them, and saving screenshots into $KV_BUILD_DIR/artifacts.  Header only;
// included by *_gui_test.cpp files after GoogleTest, never by library code.
#ifndef WIDGETS_GUI_TEST_H
#define WIDGETS_GUI_TEST_H

#include <forms.h>
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

// Starts the toolkit (or finds it started): false without DISPLAY.
inline bool gui_init(const char *app_class) {
  if (fl_get_display()) return true;
  const char *display = getenv("DISPLAY");
  if (!display || !*display) return false;
  static int argc = 1;
  static char name[] = "gui_test";
  static char *argv[] = {name, nullptr};
  return fl_initialize(&argc, argv, app_class, nullptr, 0) != nullptr;
}

// Lets the toolkit handle everything the server has for it.
inline void gui_pump() {
  for (int i = 0; i < 5; i++) {
    XSync(fl_get_display(), False);
    while (fl_check_forms()) {
    }
  }
}

// The fields that key, pointer and crossing events share.
inline XEvent gui_event(int type, Window window, Time time) {
  XEvent ev = {};
  ev.xkey.type = type;
  ev.xkey.display = fl_get_display();
  ev.xkey.window = window;
  ev.xkey.root = DefaultRootWindow(fl_get_display());
  ev.xkey.time = time;
  return ev;
}

// One key press or release of sym with the modifier state.
inline void gui_key_event(Window window, int type, KeySym sym, unsigned state, Time time) {
  XEvent ev = gui_event(type, window, time);
  ev.xkey.x = ev.xkey.y = 5;
  ev.xkey.state = state;
  ev.xkey.keycode = XKeysymToKeycode(fl_get_display(), sym);
  ev.xkey.same_screen = True;
  XSendEvent(fl_get_display(), window, True, type == KeyPress ? KeyPressMask : KeyReleaseMask, &ev);
  gui_pump();
}

// Press and release.
inline void gui_key(Window window, KeySym sym, unsigned state, Time time) {
  gui_key_event(window, KeyPress, sym, state, time);
  gui_key_event(window, KeyRelease, sym, state, time);
}

// A pointer event at (x, y) of the window at (root_x, root_y) on the screen:
// MotionNotify, ButtonPress or ButtonRelease.  The real pointer goes there
// first, as the toolkit asks the server where it is.
inline void gui_pointer(Window window, int type, int x, int y, int root_x, int root_y,
                        unsigned button, Time time) {
  XWarpPointer(fl_get_display(), None, window, 0, 0, 0, 0, x, y);
  XSync(fl_get_display(), False);
  XEvent ev = gui_event(type, window, time);
  ev.xbutton.x = x;
  ev.xbutton.y = y;
  ev.xbutton.x_root = root_x;
  ev.xbutton.y_root = root_y;
  ev.xbutton.button = button;
  ev.xbutton.state = type == ButtonRelease ? Button1Mask << (button - 1) : 0;
  ev.xbutton.same_screen = True;
  long mask = type == MotionNotify  ? PointerMotionMask
              : type == ButtonPress ? ButtonPressMask
                                    : ButtonReleaseMask;
  XSendEvent(fl_get_display(), window, True, mask, &ev);
  gui_pump();
}

// EnterNotify or LeaveNotify of the window (a normal crossing from outside).
inline void gui_crossing(Window window, int type, Time time) {
  XEvent ev = gui_event(type, window, time);
  ev.xcrossing.mode = NotifyNormal;
  ev.xcrossing.detail = NotifyAncestor;
  ev.xcrossing.same_screen = True;
  XSendEvent(fl_get_display(), window, True,
             type == EnterNotify ? EnterWindowMask : LeaveWindowMask, &ev);
  gui_pump();
}

// Saves the window (its id, or "root") as $KV_BUILD_DIR/artifacts/name and
// checks that a picture came out.
inline void gui_screenshot(const std::string &window, const char *name) {
  const char *dir = getenv("KV_BUILD_DIR");
  std::string art = std::string(dir && *dir ? dir : ".") + "/artifacts";
  mkdir(art.c_str(), 0755);
  std::string file = art + "/" + name;
  remove(file.c_str());
  std::string cmd = "import -display \"" + std::string(getenv("DISPLAY")) + "\" -window " + window +
                    " \"" + file + "\" 2>/dev/null";
  ASSERT_EQ(system(cmd.c_str()), 0);
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_GT(st.st_size, 1000);
}

#endif
