#pragma once
// Drawing services that the loading screen borrows from the race code (the
// projection) and from the menus (filled quads, text scaling). Those live
// above this library, so their owners fill this table at start-up; a null
// entry is skipped.
struct screen_hooks_table {
  // Viewport width x height and a perspective frustum for a field of view
  // in degrees; keeps view_xe and view_ye and resets the modelview matrix.
  void (*set_projection)(int width, int height, double fov);
  // Texturing off, blending on, one quad (x0, y0)-(x1, y1) at z = 0 in the
  // colour, blending off afterwards.
  void (*draw_filled_quad)(float r, float g, float b, float a, float x0, float y0, float x1,
                           float y1);
  // Pushes the matrix and scales so that text one unit high takes 1/lines
  // of the screen height, first line at the top left.
  void (*menu_begin_text_scale)(float lines);
  // Pops what menu_begin_text_scale pushed.
  void (*menu_pop_transform)();
};

extern screen_hooks_table screen_hooks;
