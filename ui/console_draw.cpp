// Drawing of the console page.
#include <GL/gl.h>

#include "assets/font.h"
#include "assets/view_extent.h"
#include "core/message_ring.h"
#include "race/race_state.h"
#include "race/screen_draw.h"
#include "ui/console.h"

void draw_console() {
  glPushMatrix();
  glLoadIdentity();
  glTranslatef(0, 0, -1);
  // y from top to bottom keeps the quad facing the viewer with culling on.
  draw_filled_quad(0, 0, 0, 0.75f, -view_xe, view_ye, view_xe, -view_ye);
  glPopMatrix();

  float origin[2], scale[2];
  menu_begin_screen(53, 0.67f, 0, origin, scale);
  float pen[2] = {origin[0], origin[1]};
  for (int row = 0; row < console_page_rows; ++row) {
    menu_translate(pen, 0, -1);
    const char* text = message_ring.lines[console_page_ring_index(message_ring.write_index, row, console.scroll)];
    if (row == console_page_rows - 1 && console.scroll > 0) text = "^    ^    ^    ^    ^";
    draw_text_color(0.75f, 0.75f, 0.75f, 1, text);
  }
  menu_translate(pen, 0, -1.5f);
  draw_text_field(&console.input, menu_selection == 0, pen, scale, 70.0f, 0, 0.03f);
  menu_pop_transform();
}
