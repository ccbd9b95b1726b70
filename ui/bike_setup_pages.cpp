// The three bike setup pages: the bike, its rider and looks, the riding
// aids, the suspension and gearing, and the steering and balance values.
#include "ui/bike_setup_pages.h"

#include <cstdio>
#include <cstring>

#include "assets/font.h"
#include "bike/bike_model.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_state.h"
#include "race/rider_look.h"
#include "race/screen_draw.h"
#include "ui/bike_setup.h"
#include "ui/menu.h"

void (*bike_pages_apply_stability)(int stability) = apply_stability_level;

static const float line_gap = 0.125f;
static const float item_step = 3 * line_gap + 1;
static const float button_width = 15.0f;
static const float row_width = 41.99667f;
static const int star_code = 42;

// The setup goes onto the rider being ridden here, never a robot's or a
// recorded one's.
static void reapply_setup() {
  rider* r = slot_rider(viewed_slot);
  if (!r || slot_kind(viewed_slot) != 0) return;
  if (race_hooks.apply_bike_setup) race_hooks.apply_bike_setup(r);
}

// The record keeps the skins by name: a new choice is stored as its
// option's text, "default" as no name.
static void store_texture_name(const menu_option_list* list, char* name) {
  const int i = list->selected ? *list->selected : 0;
  const char* text = i > 0 ? option_list_text(list) : "";
  std::snprintf(name, bike_setup_texture_max + 1, "%s", text);
}

static void store_texture_names() {
  bike_setup_items& m = bike_setup_menu;
  store_texture_name(&m.rider_texture, bike_setup.rider_texture);
  store_texture_name(&m.head_texture, bike_setup.head_texture);
  store_texture_name(&m.bike_texture, bike_setup.bike_texture);
  store_texture_name(&m.wheel_texture, bike_setup.wheel_texture);
}

// A new bike brings its own graphics: the list is built again and its
// "default" chosen.
static void rebuild_bike_graphics() {
  const int row = bike_setup.bike;
  collect_bike_graphics(row >= 0 && row < BIKE_MODEL_COUNT ? &bike_models[row] : nullptr);
  const growable_array& names = rider_look_lists[rider_look_bike].names;
  option_list_set_options(&bike_setup_menu.bike_texture, static_cast<const char* const*>(names.data),
                          static_cast<int>(names.count));
  if (bike_setup_menu.bike_texture.selected) *bike_setup_menu.bike_texture.selected = 0;
  bike_setup.bike_texture[0] = 0;
  net_settings_changed = 1;
}

void select_setup_skins() {
  menu_option_list* items[rider_look_count] = {&bike_setup_menu.rider_texture, &bike_setup_menu.head_texture,
                                              &bike_setup_menu.bike_texture, &bike_setup_menu.wheel_texture};
  const char* chosen[rider_look_count] = {bike_setup.rider_texture, bike_setup.head_texture,
                                         bike_setup.bike_texture, bike_setup.wheel_texture};
  for (int i = 0; i < rider_look_count; i++) {
    const growable_array& names = rider_look_lists[i].names;
    bike_setup_texture_options(items[i], static_cast<const char* const*>(names.data),
                               static_cast<int>(names.count), chosen[i]);
  }
}

void read_setup_skins() {
  const int row = bike_setup.bike;
  collect_bike_graphics(row >= 0 && row < BIKE_MODEL_COUNT ? &bike_models[row] : nullptr);
  select_setup_skins();
}

void forget_setup_skin_options() {
  for (menu_option_list* item : {&bike_setup_menu.rider_texture, &bike_setup_menu.head_texture,
                                 &bike_setup_menu.bike_texture, &bike_setup_menu.wheel_texture})
    option_list_set_options(item, nullptr, 0);
}

void texture_list_row_item(int n) {
  const int before = bike_setup.bike;
  list_row_item(n);
  if (bike_setup.bike != before) rebuild_bike_graphics();
}

// --- "Bike Setup" ---

enum { bike_setup_last = 24 };
static menu_button bike_back = {"Back to Main Menu", {0, 0, 0, 0}};
static menu_button bike_suspension = {"Suspension and Gearing", {0, 0, 0, 0}};
static menu_button bike_stability = {"Advanced Stability Setup", {0, 0, 0, 0}};
static const int* bike_setup_hits[bike_setup_last + 2];

static menu_option_list* skin_list(int item) {
  bike_setup_items& m = bike_setup_menu;
  menu_option_list* lists[] = {&m.rider_texture, &m.head_texture, &m.bike_texture, &m.wheel_texture};
  return lists[item - 6];
}
static const char* const skin_titles[] = {"Choose Riding Gear", "Choose Helmet", "Choose Bike Graphics",
                                          "Choose Wheel Graphics"};

static menu_slider* aid_slider(int item) {
  bike_setup_items& m = bike_setup_menu;
  menu_slider* sliders[] = {&m.stability, &m.auto_clutch_rpms, &m.brake_torque, &m.rear_brake_torque,
                            &m.max_dab_speed};
  return sliders[item - 10];
}

static menu_option_list* aid_list(int item) {
  bike_setup_items& m = bike_setup_menu;
  menu_option_list* lists[] = {&m.arcade,   &m.front_brake, &m.rear_brake, &m.stop_wheelies,
                               &m.auto_shift, &m.auto_dab,  &m.sticky_dab, &m.auto_align,
                               &m.reverse_steering, &m.lean_indicator};
  return lists[item - 15];
}

// The skin chooser stores the chosen name like the list's own keys do.
static void skin_row_item(int n) {
  list_row_item(n);
  store_texture_names();
}

void bike_setup_page_key(int code) {
  menu_move_selection(code, bike_setup_last);
  const int s = menu_selection;
  bike_setup_items& m = bike_setup_menu;
  if (s == 0) {
    if (widget_activated(bike_back.rect, code)) menu_go(page_main);
  } else if (s == 1) {
    if (widget_activated(bike_suspension.rect, code)) menu_go(page_suspension);
  } else if (s == 2) {
    if (widget_activated(bike_stability.rect, code)) menu_go(page_stability);
  } else if (s == 3) {
    if (menu_opens_chooser(code)) {
      chooser_open(&m.bike, "Choose Bike", texture_list_row_item, page_bike_setup);
      return;
    }
    const int before = bike_setup.bike;
    option_list_key(&m.bike, code);
    if (bike_setup.bike != before) rebuild_bike_graphics();
  } else if (s == 4 || s == 5) {
    text_field_key(s == 4 ? &m.name : &m.number, code);
    net_settings_changed = 1;
  } else if (s <= 9) {
    if (menu_opens_chooser(code))
      chooser_open(skin_list(s), skin_titles[s - 6], skin_row_item, page_bike_setup);
    else
      option_list_key(skin_list(s), code);
    store_texture_names();
    net_settings_changed = 1;
  } else if (s <= 14) {
    menu_slider* slider = aid_slider(s);
    if (s == 10 && code == star_code) {
      menu_go(page_stability);
      return;
    }
    const double before = *slider->value;
    slider_key(slider, code);
    if (*slider->value == before) return;
    if (s == 10 && static_cast<int>(*slider->value) != static_cast<int>(before))
      bike_pages_apply_stability(static_cast<int>(*slider->value));
    reapply_setup();
  } else {
    menu_option_list* list = aid_list(s);
    const int before = list->selected ? *list->selected : 0;
    option_list_key(list, code);
    // Sticky sit, reversed steering and the lean indicator are read as the
    // rider rides: nothing to put on the bike.
    if (s == 21 || s == 23 || s == 24) return;
    if ((list->selected ? *list->selected : 0) != before) reapply_setup();
  }
}

void draw_bike_setup_page() {
  draw_menu_backdrop();
  bike_setup_items& m = bike_setup_menu;
  float pen[2], scale[2];
  const int s = menu_selection;
  menu_begin_column(32, pen, scale);
  menu_translate(pen, 1, -2);
  menu_draw_title("Bike Setup", pen, scale);
  menu_translate(pen, 0, -2);
  draw_button(&bike_back, s == 0, pen, scale, button_width, 0);
  menu_translate(pen, 21.99f, 0);
  draw_option_list(&m.bike, s == 3, pen, scale, 20.33f, 0, 0.33f);
  menu_translate(pen, -21.99f, -item_step);
  draw_button(&bike_suspension, s == 1, pen, scale, button_width, 0);
  menu_translate(pen, 21.99f, 0);
  draw_text_field(&m.name, s == 4, pen, scale, 20.33f, 0, 0.33f);
  menu_translate(pen, -21.99f, -item_step);
  draw_button(&bike_stability, s == 2, pen, scale, button_width, 0);
  menu_translate(pen, 21.99f, 0);
  draw_text_field(&m.number, s == 5, pen, scale, 20.33f, 0, 0.33f);
  menu_translate(pen, -21.99f, 0);
  for (int i = 6; i <= 9; i++) {
    menu_translate(pen, 0, -item_step);
    draw_option_list(skin_list(i), s == i, pen, scale, row_width, 0, 0.33f);
  }
  for (int i = 10; i <= 14; i++) {
    menu_translate(pen, 0, -item_step);
    draw_slider(aid_slider(i), s == i, pen, scale, row_width, 0, 0.5f);
  }
  menu_translate(pen, 0, -item_step);
  for (int i = 15; i <= 24; i++) {
    const float x = i < 20 ? 0.0f : 21.66f;
    const float y = -((i - 15) % 5) * item_step;
    menu_translate(pen, x, y);
    draw_option_list(aid_list(i), s == i, pen, scale, 20.33f, 0, 0.67f);
    menu_translate(pen, -x, -y);
  }
  menu_pop_transform();
}

// --- "Suspension and Gearing" ---

enum { suspension_last = 20, stability_last = 15 };
static menu_button suspension_back = {"Back to Bike Setup Menu", {0, 0, 0, 0}};
static menu_button stability_back = {"Back to Bike Setup Menu", {0, 0, 0, 0}};
static const int* suspension_hits[suspension_last + 2];
static const int* stability_hits[stability_last + 2];

static menu_slider* suspension_slider(int item) {
  bike_setup_items& m = bike_setup_menu;
  menu_slider* sliders[] = {&m.fork_compression_adjustment,
                            &m.fork_slow_compression_adjustment,
                            &m.fork_rebound_adjustment,
                            &m.fork_slow_rebound_adjustment,
                            &m.fork_spring_rate_adjustment,
                            &m.fork_preload_adjustment,
                            &m.fork_oil_level_adjustment,
                            &m.shock_compression_adjustment,
                            &m.shock_slow_compression_adjustment,
                            &m.shock_rebound_adjustment,
                            &m.shock_slow_rebound_adjustment,
                            &m.shock_spring_rate_adjustment,
                            &m.shock_preload_adjustment,
                            &m.front_sprocket_adjustment,
                            &m.rear_sprocket_adjustment,
                            &m.rider_yspring,
                            &m.rider_ydamping,
                            &m.rider_zspring,
                            &m.rider_zdamping,
                            &m.rider_mass_distribution};
  return sliders[item - 1];
}

static menu_slider* stability_slider(int item) {
  bike_setup_items& m = bike_setup_menu;
  menu_slider* sliders[] = {&m.leveling,           &m.roll_damping,        &m.roll_limit_angle,
                            &m.roll_limit_factor,  &m.steering_damping,    &m.steering_strength,
                            &m.max_steering_force, &m.direct_steering,     &m.slow_damping_speed,
                            &m.slow_damping_factor, &m.land_damping_falloff, &m.land_damping_factor,
                            &m.full_lock_speed,    &m.restricted_lock_speed, &m.restricted_lock};
  return sliders[item - 1];
}

static void slider_page_key(int code, menu_slider* slider) {
  const double before = *slider->value;
  slider_key(slider, code);
  if (*slider->value != before) reapply_setup();
}

void suspension_page_key(int code) {
  menu_move_selection(code, suspension_last);
  const int s = menu_selection;
  if (s == 0) {
    if (widget_activated(suspension_back.rect, code)) menu_go(page_bike_setup);
    return;
  }
  slider_page_key(code, suspension_slider(s));
}

void stability_page_key(int code) {
  menu_move_selection(code, stability_last);
  const int s = menu_selection;
  if (s == 0) {
    if (widget_activated(stability_back.rect, code)) menu_go(page_bike_setup);
    return;
  }
  slider_page_key(code, stability_slider(s));
}

int suspension_readout(int item, char* out, size_t size) {
  const int row = bike_setup.bike;
  const bike_model* bike =
      row >= 0 && row < BIKE_MODEL_COUNT ? bike_model_find(bike_models[row].name) : nullptr;
  if (!bike || item < 1 || item > suspension_last) return 0;
  const float v = static_cast<float>(*suspension_slider(item)->value);
  switch (item) {
    case 5: std::snprintf(out, size, "%.3f kg/mm", bike_model_fork_spring_rate(bike, v * 0.01f)); return 1;
    case 6: std::snprintf(out, size, "%.2f mm", bike_model_fork_preload_mm(bike, v * 0.01f)); return 1;
    case 7: std::snprintf(out, size, "%.2f mm", bike_model_fork_oil_level_mm(bike, v * 0.01f)); return 1;
    case 12: std::snprintf(out, size, "%.2f kg/mm", bike_model_shock_spring_rate(bike, v * 0.01f)); return 1;
    case 13: std::snprintf(out, size, "%.2f mm", bike_model_shock_preload_mm(bike, v * 0.01f)); return 1;
    case 14: std::snprintf(out, size, "%.2f teeth", bike_model_front_sprocket(bike) + v); return 1;
    case 15: std::snprintf(out, size, "%.2f teeth", bike_model_rear_sprocket(bike) + v); return 1;
    default: return 0;
  }
}

void draw_suspension_page() {
  draw_menu_backdrop();
  float pen[2], scale[2];
  const int s = menu_selection;
  menu_begin_column(32, pen, scale);
  menu_translate(pen, 1, -2);
  menu_draw_title("Suspension and Gearing", pen, scale);
  menu_translate(pen, 0, -2);
  draw_button(&suspension_back, s == 0, pen, scale, button_width, 0);
  menu_pop_transform();
  // The sliders are smaller: 40 lines to the screen, starting below the
  // button.
  menu_begin_column(40, pen, scale);
  menu_translate(pen, 1.25f, -(4 + item_step) * 1.25f - item_step);
  for (int i = 1; i <= suspension_last; i++) {
    if (i > 1) menu_translate(pen, 0, -item_step);
    if (i == 8 || i == 14 || i == 16 || i == 18 || i == 20) menu_translate(pen, 0, -0.5f);
    draw_slider(suspension_slider(i), s == i, pen, scale, 52.66f, 0, 0.5f);
    char text[64];
    if (suspension_readout(i, text, sizeof text)) {
      draw_text_centered(0.5f, 0.5f, 0.5f, 0.8f, 21.0f, 52.66f, text);
    }
  }
  menu_pop_transform();
}

void draw_stability_page() {
  draw_menu_backdrop();
  float pen[2], scale[2];
  const int s = menu_selection;
  menu_begin_column(32, pen, scale);
  menu_translate(pen, 1, -2);
  menu_draw_title("Advanced Stability Setup", pen, scale);
  menu_translate(pen, 0, -2);
  draw_button(&stability_back, s == 0, pen, scale, button_width, 0);
  menu_translate(pen, 0, -(1.5f + item_step));
  for (int i = 1; i <= stability_last; i++) {
    if (i > 1) menu_translate(pen, 0, -item_step);
    draw_slider(stability_slider(i), s == i, pen, scale, row_width, 0, 0.5f);
  }
  menu_pop_transform();
}

void bike_setup_pages_install() {
  bike_setup_items& m = bike_setup_menu;
  int n = 0;
  bike_setup_hits[n++] = bike_back.rect;
  bike_setup_hits[n++] = bike_suspension.rect;
  bike_setup_hits[n++] = bike_stability.rect;
  bike_setup_hits[n++] = m.bike.rect;
  bike_setup_hits[n++] = m.name.rect;
  bike_setup_hits[n++] = m.number.rect;
  for (int i = 6; i <= 9; i++) bike_setup_hits[n++] = skin_list(i)->rect;
  for (int i = 10; i <= 14; i++) bike_setup_hits[n++] = aid_slider(i)->rect;
  for (int i = 15; i <= 24; i++) bike_setup_hits[n++] = aid_list(i)->rect;
  bike_setup_hits[n] = nullptr;

  n = 0;
  suspension_hits[n++] = suspension_back.rect;
  for (int i = 1; i <= suspension_last; i++) suspension_hits[n++] = suspension_slider(i)->rect;
  suspension_hits[n] = nullptr;

  n = 0;
  stability_hits[n++] = stability_back.rect;
  for (int i = 1; i <= stability_last; i++) stability_hits[n++] = stability_slider(i)->rect;
  stability_hits[n] = nullptr;

  menu_pages[page_bike_setup] = {draw_bike_setup_page, bike_setup_page_key, bike_setup_hits};
  menu_pages[page_suspension] = {draw_suspension_page, suspension_page_key, suspension_hits};
  menu_pages[page_stability] = {draw_stability_page, stability_page_key, stability_hits};
}
