#include "race/screen_draw.h"

#include <GL/gl.h>

#include "assets/screen_hooks.h"
#include "assets/view_extent.h"
#include "race/projection.h"

void draw_filled_quad(float r, float g, float b, float a, float x0, float y0, float x1, float y1) {
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(r, g, b, a);
  glBegin(GL_QUADS);
  glVertex3f(x0, y0, 0);
  glVertex3f(x0, y1, 0);
  glVertex3f(x1, y1, 0);
  glVertex3f(x1, y0, 0);
  glEnd();
  glDisable(GL_BLEND);
}

void menu_begin_text_scale(float lines) {
  glPushMatrix();
  glLoadIdentity();
  const float s = 2 * view_ye / lines;
  glTranslatef(-view_xe, view_ye - s, -1);
  glScalef(s, s, s);
}

void menu_pop_transform() { glPopMatrix(); }

void install_screen_hooks() {
  screen_hooks = screen_hooks_table{set_projection, draw_filled_quad, menu_begin_text_scale, menu_pop_transform};
}
