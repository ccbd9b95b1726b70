#pragma once
// The drawing helpers the loading screen borrows: filled quads and the
// text scale of the menus. The menus will use them too.

// Texturing off, blending on (source alpha, one minus source alpha), one
// quad (x0, y0)-(x1, y1) at z = 0 in the colour; blending off afterwards.
void draw_filled_quad(float r, float g, float b, float a, float x0, float y0, float x1, float y1);

// Pushes the matrix and scales so that text one unit high takes 1/lines of
// the screen height, its first line at the top left; menu_pop_transform
// pops it.
void menu_begin_text_scale(float lines);
void menu_pop_transform();

// Fills screen_hooks with set_projection and the helpers above.
void install_screen_hooks();
