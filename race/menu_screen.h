#pragma once
// The screen metrics the menus and the editor panel lay out and hit-test
// against: the window size and the mouse position in pixels from the
// window's top-left. The main loop keeps them; the view's half extents are
// in assets/view_extent.h.
struct menu_screen_metrics {
  int width;
  int height;
  int mouse_x;
  int mouse_y;
};
extern menu_screen_metrics menu_screen;
