#include "ui/controls_page.h"

#include <cstdio>

#include "assets/held_controls.h"
#include "core/game_clock.h"
#include "race/binding_capture.h"
#include "race/control_bindings.h"
#include "race/race_state.h"
#include "race/screen_draw.h"
#include "ui/menu.h"
#include "ui/widget.h"

#include <GL/gl.h>

static const float line_gap = 0.125f;
static const float item_step = 3 * line_gap + 1;
static const float button_width = 15.0f;
static const float row_width = 41.99667f;
static const float label_share = 0.25f;
enum { controls_last = control_binding_count };

static menu_button back_button = {"Back to Main Menu", {0, 0, 0, 0}};
static const int* controls_hits[controls_last + 2];

void binding_row_text(const menu_binding* b, char* out, int size) {
  if (size <= 0) return;
  if (binding_capture == b)
    std::snprintf(out, size, "<<PRESS A KEY>>");
  else if (b->key_name && b->key_name[0])
    std::snprintf(out, size, "%.1023s", b->key_name);
  else if (b->axis_name && b->axis_name[0])
    std::snprintf(out, size, "%.1000s %s", b->axis_name, b->axis_maximum >= 0 ? "(Positive)" : "(Negative)");
  else
    std::snprintf(out, size, "None");
}

void draw_binding_row(menu_binding* b, int selected, const float pen[2], const float scale[2]) {
  const float m = menu_line_width;
  widget_store_rect(b->rect, pen, scale, row_width);
  const float split = label_share * row_width;
  draw_text_box(b->label, menu_colors.item_label.text, menu_colors.item_label.fill, split - m, 0);
  char text[1100];
  binding_row_text(b, text, sizeof text);
  glPushMatrix();
  glTranslatef(split + m, 0, 0);
  const menu_color_pair& p = selected ? menu_colors.selected : menu_colors.normal;
  draw_text_box(text, p.text, p.fill, row_width - split - m, 0);
  glPopMatrix();
}

void draw_controls_page() {
  draw_menu_backdrop();
  float origin[2], pen[2], scale[2];
  menu_begin_screen(32, 0, 0, origin, scale);
  pen[0] = origin[0];
  pen[1] = origin[1];
  const int s = menu_selection;
  menu_translate(pen, 1, -2);
  menu_button title = {"Customize Controls", {0, 0, 0, 0}};
  draw_label(&title, pen, scale, button_width, 0, menu_colors.title.text, menu_colors.title.fill);
  menu_translate(pen, 0, -2);
  draw_button(&back_button, s == 0, pen, scale, button_width, 0);
  menu_translate(pen, 0, -0.5f);
  for (int i = 0; i < control_binding_count; i++) {
    menu_translate(pen, 0, -item_step);
    draw_binding_row(&control_bindings[i], s == i + 1, pen, scale);
  }
  menu_pop_transform();
}

void controls_page_key(int code) {
  menu_move_selection(code, controls_last);
  const int s = menu_selection;
  if (s == 0) {
    if (widget_activated(back_button.rect, code)) menu_go(page_main);
    return;
  }
  menu_binding* b = &control_bindings[s - 1];
  if (menu_starts_capture(code, b->rect)) watch_pots_start(b, game_clock);
}

void controls_page_install() {
  int n = 0;
  controls_hits[n++] = back_button.rect;
  for (int i = 0; i < control_binding_count; i++) controls_hits[n++] = control_bindings[i].rect;
  controls_hits[n] = nullptr;
  menu_pages[page_controls] = {draw_controls_page, controls_page_key, controls_hits};
}
