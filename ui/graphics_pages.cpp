#include "ui/graphics_pages.h"

#include <GL/gl.h>

#include "assets/font.h"
#include "assets/game_window.h"
#include "assets/gl_ext.h"
#include "assets/model_settings.h"
#include "bike/wheel_contacts.h"
#include "platform/window.h"
#include "race/detail_settings.h"
#include "race/game_state.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/screen_draw.h"
#include "race/video_modes.h"
#include "ui/game_settings.h"
#include "ui/menu.h"

const char* const detail_preset_names[detail_preset_count] = {"Compatibility", "High FPS", "Normal", "High Detail"};

// One setting a preset sets: a slider or an option list of game_settings.
struct preset_item {
  menu_slider* slider;
  menu_option_list* list;
};

static const preset_item preset_items[detail_setting_count] = {
    {&game_settings.ground_detail, nullptr},      {&game_settings.ground_texture_detail, nullptr},
    {nullptr, &game_settings.ground_texture_dim}, {nullptr, &game_settings.ground_mipmaps},
    {nullptr, &game_settings.texture_compress},   {nullptr, &game_settings.render_texture},
    {nullptr, &game_settings.use_shader},         {&game_settings.model_detail, nullptr},
    {&game_settings.model_texture_detail, nullptr}, {nullptr, &game_settings.lens_flare},
    {nullptr, &game_settings.reflections},        {&game_settings.roost_density, nullptr},
    {&game_settings.reshade_delay, nullptr},
};

const double detail_presets[detail_preset_count][detail_setting_count] = {
    // ground detail, levels, resolution, mipmaps, compress, terrain method, shaders,
    // model detail, model texture, lens flares, reflections, roost, reshade delay
    {70, 9, 1, 1, 0, 0, 1, 50, 9, 1, 1, 1000, 8},
    {50, 7, 1, 1, 1, 2, 0, 25, 7, 0, 0, 0, 10},
    {70, 9, 2, 1, 1, 4, 1, 50, 9, 1, 1, 1000, 8},
    {90, 10, 3, 1, 0, 4, 1, 75, 10, 1, 1, 1000, 0},
};

void apply_detail_preset(int preset) {
  if (preset < 0 || preset >= detail_preset_count) return;
  for (int i = 0; i < detail_setting_count; i++) {
    const preset_item& item = preset_items[i];
    const double v = detail_presets[preset][i];
    if (item.slider)
      *item.slider->value = v;
    else
      *item.list->selected = static_cast<int>(v);
  }
}

static int preset_matches(int preset) {
  for (int i = 0; i < detail_setting_count; i++) {
    const preset_item& item = preset_items[i];
    const double v = detail_presets[preset][i];
    if (item.slider ? *item.slider->value != v : *item.list->selected != static_cast<int>(v)) return 0;
  }
  return 1;
}

int current_detail_preset() {
  int found = -1;
  for (int k = 0; k < detail_preset_count; k++)
    if (preset_matches(k)) found = k;
  return found;
}

const char* current_settings_text() {
  static const char* const texts[detail_preset_count] = {
      "Current Settings: Compatibility", "Current Settings: High FPS", "Current Settings: Normal",
      "Current Settings: High Detail"};
  const int k = current_detail_preset();
  return k < 0 ? "Current Settings: Custom" : texts[k];
}

void derive_graphics_settings() {
  const front_end_settings& v = front_end_values;
  const detail_settings_input in = {v.ground_detail,         v.ground_texture_detail, v.ground_texture_dim,
                                    v.model_detail,          v.model_texture_detail,  v.texture_compress,
                                    v.roost_density,         v.reflections};
  derive_detail_settings(&in);
}

enum { render_hardware_direct = 2 };

int render_method_available(int choice, const gl_capabilities& caps) {
  return !(choice == render_hardware_direct && !caps.framebuffer_object);
}

int shader_programs_available(const gl_capabilities& caps) {
  return caps.fragment_shader && caps.texture_units > 3;
}

int (*graphics_request_mode)(window_state*, int, int, int) = window_request_mode;

void switch_to_selected_mode() {
  const int mode = video_mode;
  if (mode == video_mode_windowed) {
    graphics_request_mode(game_window, xres, yres, 0);
  } else {
    int width = 0, height = 0;
    if (mode > video_mode_windowed && mode < video_mode_list.count) {
      width = video_mode_list.size[mode][0];
      height = video_mode_list.size[mode][1];
    }
    graphics_request_mode(game_window, width, height, window_open_fullscreen);
  }
  game_state.window_video_mode = mode;
}

// --- Layout ---

static const float line_gap = 0.125f;
static const float item_step = 3 * line_gap + 1;
static const float button_width = 15.0f;

// --- Graphics/Sound Setup ---

static menu_button back_to_main = {"Back to Main Menu", {0, 0, 0, 0}};
static menu_button advanced_button = {"Advanced Graphics Setup", {0, 0, 0, 0}};
menu_button graphics_preset_buttons[detail_preset_count] = {
    {"Use Compatibility Settings", {0, 0, 0, 0}},
    {"Use High FPS Settings", {0, 0, 0, 0}},
    {"Use Normal Settings", {0, 0, 0, 0}},
    {"Use High Detail Settings", {0, 0, 0, 0}},
};
static menu_button switch_button = {"Switch To Selected Mode Now", {0, 0, 0, 0}};

enum { graphics_last = 17, graphics_first_slider = 10 };
static menu_slider* const graphics_sliders[] = {
    &game_settings.fov,                 &game_settings.first_person_height, &game_settings.first_person_angle,
    &game_settings.first_person_gimbal, &game_settings.third_person_height, &game_settings.third_person_distance,
    &game_settings.volume,              &game_settings.comp_volume};
static const int* graphics_hits[graphics_last + 2];

void graphics_page_key(int code) {
  menu_move_selection(code, graphics_last);
  const int s = menu_selection;
  if (s == 0) {
    if (widget_activated(back_to_main.rect, code)) menu_go(page_main);
  } else if (s == 1) {
    if (widget_activated(advanced_button.rect, code)) menu_go(page_advanced_graphics);
  } else if (s >= 2 && s <= 5) {
    if (widget_activated(graphics_preset_buttons[s - 2].rect, code)) apply_detail_preset(s - 2);
  } else if (s == 6) {
    option_list_key(&game_settings.video_mode, code);
  } else if (s == 7) {
    if (widget_activated(switch_button.rect, code)) switch_to_selected_mode();
  } else if (s == 8) {
    option_list_key(&game_settings.hide_rider, code);
  } else if (s == 9) {
    option_list_key(&game_settings.rigid_camera, code);
  } else {
    slider_key(graphics_sliders[s - graphics_first_slider], code);
  }
}

static const char* driver_text(const char* s) { return s ? s : "NULL"; }

void draw_graphics_page() {
  draw_menu_backdrop();
  float pen[2], scale[2];
  const int s = menu_selection;
  menu_begin_column(36, pen, scale);
  menu_translate(pen, 1, -2);
  menu_draw_title("Graphics/Sound Setup", pen, scale);
  menu_translate(pen, 0, -2);
  draw_button(&back_to_main, s == 0, pen, scale, button_width, 0);
  menu_translate(pen, 0, -item_step);
  draw_button(&advanced_button, s == 1, pen, scale, button_width, 0);

  // The presets beside the buttons, the current-settings line on top.
  const float preset_x = button_width + 12 - button_width / 2;
  menu_translate(pen, preset_x, 2 + item_step);
  const float preset_width = 23.33f;
  menu_button current = {current_settings_text(), {0, 0, 0, 0}};
  draw_label(&current, pen, scale, preset_width, 0, menu_colors.item_label.text, menu_colors.item_label.fill);
  for (int i = 0; i < detail_preset_count; i++) {
    menu_translate(pen, 0, -item_step);
    draw_button(&graphics_preset_buttons[i], s == 2 + i, pen, scale, preset_width, 0);
  }

  const float width = 47.33f;
  menu_translate(pen, -preset_x - 0.5f, -item_step - 0.5f);
  menu_translate(pen, 0, -item_step);
  draw_option_list(&game_settings.video_mode, s == 6, pen, scale, width, 0, 0.5f);
  menu_translate(pen, 0, -item_step);
  draw_button(&switch_button, s == 7, pen, scale, width, 0);
  menu_translate(pen, 0, -item_step);
  draw_option_list(&game_settings.hide_rider, s == 8, pen, scale, width, 0, 0.5f);
  menu_translate(pen, 0, -item_step);
  draw_option_list(&game_settings.rigid_camera, s == 9, pen, scale, width, 0, 0.5f);
  for (int i = 0; i <= graphics_last - graphics_first_slider; i++) {
    menu_translate(pen, 0, -item_step);
    draw_slider(graphics_sliders[i], s == graphics_first_slider + i, pen, scale, width, 0, 0.5f);
  }

  menu_translate(pen, 0, -1.5f - 1);
  const char* restart = "Some settings will not take effect until next restart";
  // The note is centred under the items; the driver lines start from the
  // same point, which keeps them clear of the pit board in the bottom
  // left corner.
  glTranslatef(23.67f, 0, 0);
  glPushMatrix();
  glTranslatef(-text_width(restart) / 2, 0, 0);
  draw_text_color(1, 0, 0, 1, restart);
  glPopMatrix();
  glScalef(0.75f, 0.75f, 1.0f);
  const char* lines[4] = {"Driver info:", driver_text(gl_caps.vendor), driver_text(gl_caps.renderer),
                          driver_text(gl_caps.version)};
  for (const char* line : lines) {
    glTranslatef(0, -1.0f, 0);
    draw_text_color(1, 1, 1, 1, line);
  }
  menu_pop_transform();
}

// --- Advanced Graphics Setup ---

static menu_button back_to_graphics = {"Back to Graphics/Sound Menu", {0, 0, 0, 0}};
enum { advanced_last = 13 };

// Items 1..13 in page order: a slider or a list each.
static const preset_item advanced_items[advanced_last] = {
    {&game_settings.ground_detail, nullptr},        {&game_settings.ground_texture_detail, nullptr},
    {nullptr, &game_settings.ground_texture_dim},   {nullptr, &game_settings.ground_mipmaps},
    {nullptr, &game_settings.texture_compress},     {nullptr, &game_settings.render_texture},
    {nullptr, &game_settings.use_shader},           {&game_settings.model_detail, nullptr},
    {&game_settings.model_texture_detail, nullptr}, {&game_settings.roost_density, nullptr},
    {&game_settings.reshade_delay, nullptr},        {nullptr, &game_settings.lens_flare},
    {nullptr, &game_settings.reflections},
};
enum { item_render = 6, item_shaders = 7, item_roost = 10, item_reflections = 13 };
static const int* advanced_hits[advanced_last + 2];

void advanced_graphics_page_key(int code) {
  menu_move_selection(code, advanced_last);
  const int s = menu_selection;
  if (s == 0) {
    if (widget_activated(back_to_graphics.rect, code)) menu_go(page_graphics);
    return;
  }
  const preset_item& item = advanced_items[s - 1];
  if (item.slider)
    slider_key(item.slider, code);
  else
    option_list_key(item.list, code);
  // The roost emitter and the reflections read copies taken at start-up;
  // only these two items move them at once.
  if (s == item_roost) roost_density = static_cast<int>(front_end_values.roost_density);
  if (s == item_reflections) model_reflections = front_end_values.reflections;
}

static void draw_tag(int available, const float pen[2], const float scale[2], float x, float width) {
  (void)pen;
  (void)scale;
  const menu_color_pair& c = available ? menu_colors.good : menu_colors.bad;
  glPushMatrix();
  glTranslatef(x, 0, 0);
  draw_text_box(available ? "Available" : "Not Available", c.text, c.fill, width, 0.5f);
  glPopMatrix();
}

void draw_advanced_graphics_page() {
  draw_menu_backdrop();
  float pen[2], scale[2];
  const int s = menu_selection;
  menu_begin_column(32, pen, scale);
  menu_translate(pen, 1, -2);
  menu_draw_title("Advanced Graphics Setup", pen, scale);
  menu_translate(pen, 0, -2);
  draw_button(&back_to_graphics, s == 0, pen, scale, button_width, 0);
  const float width = 41.99667f;
  const float short_width = 31.67f;
  for (int i = 1; i <= advanced_last; i++) {
    menu_translate(pen, 0, -item_step);
    const preset_item& item = advanced_items[i - 1];
    const int tagged = i == item_render || i == item_shaders;
    const float w = tagged ? short_width : width;
    const float f = tagged ? 0.663f : 0.5f;
    if (item.slider)
      draw_slider(item.slider, s == i, pen, scale, w, 0, f);
    else
      draw_option_list(item.list, s == i, pen, scale, w, 0, f);
    const float tag_x = short_width + 2 * menu_line_width;
    const float tag_width = width - tag_x;
    if (i == item_render)
      draw_tag(render_method_available(front_end_values.render_texture, gl_caps), pen, scale, tag_x, tag_width);
    if (i == item_shaders) draw_tag(shader_programs_available(gl_caps), pen, scale, tag_x, tag_width);
  }
  menu_pop_transform();
}

void graphics_pages_install() {
  int n = 0;
  graphics_hits[n++] = back_to_main.rect;
  graphics_hits[n++] = advanced_button.rect;
  for (menu_button& b : graphics_preset_buttons) graphics_hits[n++] = b.rect;
  graphics_hits[n++] = game_settings.video_mode.rect;
  graphics_hits[n++] = switch_button.rect;
  graphics_hits[n++] = game_settings.hide_rider.rect;
  graphics_hits[n++] = game_settings.rigid_camera.rect;
  for (menu_slider* slider : graphics_sliders) graphics_hits[n++] = slider->rect;
  graphics_hits[n] = nullptr;

  n = 0;
  advanced_hits[n++] = back_to_graphics.rect;
  for (const preset_item& item : advanced_items) advanced_hits[n++] = item.slider ? item.slider->rect : item.list->rect;
  advanced_hits[n] = nullptr;

  menu_pages[page_graphics] = {draw_graphics_page, graphics_page_key, graphics_hits};
  menu_pages[page_advanced_graphics] = {draw_advanced_graphics_page, advanced_graphics_page_key, advanced_hits};
}
