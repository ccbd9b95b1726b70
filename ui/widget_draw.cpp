// Drawing the toolkit's items: boxes of five alpha-blended quads with their
// text, each drawer storing the item's pixel rectangle for the hit tests.
#include <GL/gl.h>

#include <cstdio>
#include <cstring>

#include "assets/font.h"
#include "assets/view_extent.h"
#include "race/menu_screen.h"
#include "race/screen_draw.h"
#include "ui/widget.h"

void menu_begin_screen(float units_high, float pen_x, float pen_y, float origin[2],
                       float pixel_scale[2]) {
  const menu_screen_layout l =
      menu_layout_screen(units_high, pen_x, pen_y, view_xe, view_ye, menu_screen.width, menu_screen.height);
  glPushMatrix();
  glLoadIdentity();
  glTranslatef(l.translate[0], l.translate[1], l.translate[2]);
  glScalef(l.scale, l.scale, l.scale);
  glTranslatef(pen_x, pen_y, 0.0f);
  origin[0] = l.origin[0];
  origin[1] = l.origin[1];
  pixel_scale[0] = l.pixel_scale[0];
  pixel_scale[1] = l.pixel_scale[1];
}

void menu_translate(float pen[2], float x, float y) {
  glTranslatef(x, y, 0.0f);
  pen[0] += x;
  pen[1] += y;
}

static void fill(const menu_color& c, float x0, float y0, float x1, float y1) {
  draw_filled_quad(c.r, c.g, c.b, c.a, x0, y0, x1, y1);
}

// The frame strips and then the whole box, so the frame shows darker.
static void framed_box(const menu_color& c, float x0, float x1) {
  const float m = menu_line_width;
  fill(c, x0 - m, 1 + m, x1 + m, 1);
  fill(c, x0 - m, 0, x1 + m, -m);
  fill(c, x0 - m, 1, x0, 0);
  fill(c, x1, 1, x1 + m, 0);
  fill(c, x0 - m, 1 + m, x1 + m, -m);
}

void draw_text_box(const char* text, const menu_color& text_color, const menu_color& fill_color,
                   float width, float align) {
  const float tw = text_width(text);
  const float l = width > tw ? width : tw;
  framed_box(fill_color, 0, l);
  glPushMatrix();
  glTranslatef((l - tw) * align, 0, 0);
  draw_text_color(text_color.r, text_color.g, text_color.b, text_color.a, text);
  glPopMatrix();
}

void draw_label(menu_button* item, const float pen[2], const float scale[2], float width,
                float align, const menu_color& text_color, const menu_color& fill_color) {
  widget_store_rect(item->rect, pen, scale, width);
  draw_text_box(item->label, text_color, fill_color, width, align);
}

void draw_button(menu_button* item, int selected, const float pen[2], const float scale[2],
                 float width, float align) {
  widget_store_rect(item->rect, pen, scale, width);
  const menu_color_pair& p = selected ? menu_colors.selected : menu_colors.normal;
  draw_text_box(item->label, p.text, p.fill, width, align);
}

void draw_list_row(menu_button* item, int selected, const float pen[2], const float scale[2],
                   float width, float align, int flags) {
  widget_store_rect(item->rect, pen, scale, width);
  const int flagged = flags & 1;
  const menu_color_pair& p = flagged && !selected ? menu_colors.flagged_row
                             : selected           ? menu_colors.selected
                                                  : menu_colors.list_row;
  draw_text_box(item->label, p.text, p.fill, width, align);
}

void draw_option_list(menu_option_list* item, int selected, const float pen[2],
                      const float scale[2], float width, float align, float f) {
  const float m = menu_line_width;
  widget_store_rect(item->rect, pen, scale, width);
  draw_text_box(item->label, menu_colors.item_label.text, menu_colors.item_label.fill, f * width - m, align);
  glPushMatrix();
  glTranslatef(f * width + m, 0, 0);
  char shown[1024];
  option_list_display_text(item, shown, sizeof(shown));
  const menu_color_pair& p = selected ? menu_colors.selected : menu_colors.normal;
  draw_text_box(shown, p.text, p.fill, (1 - f) * width - m, align);
  glPopMatrix();
}

void draw_slider(menu_slider* item, int selected, const float pen[2], const float scale[2],
                 float width, float align, float f) {
  const float m = menu_line_width;
  char text[64];
  std::snprintf(text, sizeof(text), "%.2f", item->maximum > 1000.0 ? item->maximum : 1000.0);
  const float nw = text_width(text);
  std::snprintf(text, sizeof(text), "%.2f", *item->value);
  const float fraction = static_cast<float>(slider_fraction(item));
  widget_store_rect(item->rect, pen, scale, width);
  const float L = f * width;
  const menu_color_pair& label = menu_colors.item_label;
  draw_text_box(item->label, label.text, label.fill, L - nw - 3 * m, align);
  glPushMatrix();
  glTranslatef(L - nw - m, 0, 0);
  draw_text_box(text, label.text, label.fill, nw, 1.0f);
  glPopMatrix();
  const float b0 = L + m;
  item->bar_x0 = static_cast<int>((pen[0] + b0) * scale[0]);
  item->bar_x1 = static_cast<int>(scale[0] * (pen[0] + width));
  const menu_color_pair& p = selected ? menu_colors.selected : menu_colors.normal;
  framed_box(p.fill, b0, width);
  fill(p.text, b0, 1, b0 + (width - b0) * fraction, 0);
}

void draw_text_cursor(const menu_text_field* item, float r, float g, float b, int position) {
  const int length = static_cast<int>(std::strlen(item->text));
  if (position < 0 || position > length) return;
  char before[1024];
  const int n = position < static_cast<int>(sizeof(before)) - 1 ? position : static_cast<int>(sizeof(before)) - 1;
  std::memcpy(before, item->text, static_cast<size_t>(n));
  before[n] = 0;
  const char at[2] = {position < length ? item->text[position] : ' ', 0};
  const float x0 = text_width(before);
  const float x1 = x0 + text_width(at);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glColor3f(r, g, b);
  glBegin(GL_QUADS);
  // Wound like every other quad here, so face culling keeps it.
  glVertex3f(x0, 1, 0);
  glVertex3f(x0, 0, 0);
  glVertex3f(x1, 0, 0);
  glVertex3f(x1, 1, 0);
  glEnd();
}

void draw_text_field(menu_text_field* item, int selected, const float pen[2],
                     const float scale[2], float width, float align, float f) {
  const float m = menu_line_width;
  widget_store_rect(item->rect, pen, scale, width);
  draw_text_box(item->label, menu_colors.item_label.text, menu_colors.item_label.fill, f * width - m, align);
  glPushMatrix();
  glTranslatef(f * width + m, 0, 0);
  const float u = (1 - f) * width - m;
  const menu_color_pair& p = selected ? menu_colors.selected : menu_colors.normal;
  framed_box(p.fill, 0, u);
  if (selected) draw_text_cursor(item, 0.5f, 0.5f, 0.5f, item->cursor);
  draw_text_color(p.text.r, p.text.g, p.text.b, p.text.a, item->text);
  glPopMatrix();
}

void draw_box_color(const menu_color& color, float x0, float y0, float x1, float y1) {
  const float m = menu_line_width;
  fill(color, x0 - m, y1 + m, x1 + m, y1);
  fill(color, x0 - m, y0, x1 + m, y0 - m);
  fill(color, x0 - m, y1, x0, y0);
  fill(color, x1, y1, x1 + m, y0);
  fill(color, x0 - m, y1 + m, x1 + m, y0 - m);
}

void fill_rect_color(const menu_color& color, float x0, float y0, float x1, float y1) {
  fill(color, x0, y0, x1, y1);
}
