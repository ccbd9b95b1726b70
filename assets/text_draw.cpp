// Drawing text with the main font: glyph quads from client arrays, one draw
// call per batch of up to 256 glyphs.
#include <GL/gl.h>

#include "assets/font.h"

void draw_glyph_arrays(int count, const float* vertices, const float* texcoords,
                       const uint32_t* indices, const float* colours) {
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, vertices);
  glTexCoordPointer(2, GL_FLOAT, 0, texcoords);
  glColorPointer(4, GL_FLOAT, 0, colours);
  glDrawElements(GL_TRIANGLES, count * 6, GL_UNSIGNED_INT, indices);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

static void flush_batch(const text_batch* batch, void*) {
  draw_glyph_arrays(batch->count, batch->vertices, batch->texcoords, batch->indices,
                    batch->colours);
}

static int only_white_space(const char* text) {
  for (; *text; text++)
    if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n') return 0;
  return 1;
}

void draw_text_core(float r, float g, float b, float a, const char* text, int flags) {
  if (!text || only_white_space(text) || !font_main.texture) return;
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glBindTexture(GL_TEXTURE_2D, font_main.texture);
  static text_batch batch;
  text_layout(&font_main, r, g, b, a, text, flags, &batch, flush_batch, nullptr);
}

void draw_text_color(float r, float g, float b, float a, const char* text) {
  draw_text_core(r, g, b, a, text, text_flag_caller_colour);
}

void draw_text_white(const char* text) { draw_text_color(1, 1, 1, 1, text); }

void draw_text_shadowed(float r, float g, float b, float a, const char* text) {
  glPushMatrix();
  glTranslatef(1.0f / 16.0f, -1.0f / 16.0f, 0.0f);
  draw_text_core(0, 0, 0, a * 0.5f, text, text_flag_caller_colour | text_flag_shadow);
  glPopMatrix();
  draw_text_core(r, g, b, a, text, text_flag_caller_colour);
}

void draw_text_grey_shadowed(const char* text) { draw_text_shadowed(0.75f, 0.75f, 0.75f, 1.0f, text); }

void draw_text_centered(float r, float g, float b, float a, float x0, float x1, const char* text) {
  glPushMatrix();
  glTranslatef(x0 + ((x1 - x0) - text_width(text)) / 2.0f, 0.0f, 0.0f);
  draw_text_color(r, g, b, a, text);
  glPopMatrix();
}

void draw_text_centered_shadowed(float r, float g, float b, float a, float x0, float x1,
                                 const char* text) {
  glPushMatrix();
  glTranslatef(x0 + ((x1 - x0) - text_width(text)) / 2.0f, 0.0f, 0.0f);
  draw_text_shadowed(r, g, b, a, text);
  glPopMatrix();
}

void draw_text_right_shadowed(float r, float g, float b, float a, float x, const char* text) {
  glPushMatrix();
  glTranslatef(x - text_width(text), 0.0f, 0.0f);
  draw_text_shadowed(r, g, b, a, text);
  glPopMatrix();
}
