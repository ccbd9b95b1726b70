// Support functions for the bike setup: its items, its lines in config
// and setup files, the stability preset and applying it to a bike.
#include "ui/bike_setup.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "bike/bike_model.h"
#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_setters.h"
#include "core/file_replace.h"
#include "core/game_clock.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "core/file.h"

static const char* const no_yes[] = {"No", "Yes"};
static const char* const brake_modes[] = {"Normal", "Antilock"};
static const char* const wheelie_modes[] = {"No", "Yes", "Front Only"};
static int texture_selected[4];

#define LIST(label, options, value) {label, options, sizeof(options) / sizeof(options[0]), value, {0, 0, 0, 0}}
#define SLIDER(label, value, step, lo, hi) {label, value, step, lo, hi, {0, 0, 0, 0}, 0, 0}
#define FIELD(label, max, text, insert) {label, max, text, 0, insert, {0, 0, 0, 0}}

bike_setup_items bike_setup_menu = {
    {"Bike", nullptr, 0, &bike_setup.bike, {0, 0, 0, 0}},
    FIELD("Name", bike_setup_name_max, bike_setup.name, 1),
    FIELD("Number", bike_setup_number_max, bike_setup.number, 0),
    {"Riding Gear", nullptr, 0, &texture_selected[0], {0, 0, 0, 0}},
    {"Helmet", nullptr, 0, &texture_selected[1], {0, 0, 0, 0}},
    {"Bike Graphics", nullptr, 0, &texture_selected[2], {0, 0, 0, 0}},
    {"Wheel Graphics", nullptr, 0, &texture_selected[3], {0, 0, 0, 0}},
    SLIDER("Stability", &bike_setup.stability, 1, 0, 100),  // default 100
    SLIDER("Leveling", &bike_setup.leveling, 1, 0, 100),  // default 20
    SLIDER("Roll Damping", &bike_setup.roll_damping, 1, 0, 100),  // default 60
    SLIDER("Roll Limit Angle", &bike_setup.roll_limit_angle, 1, 0, 180),  // default 45
    SLIDER("Roll Limit Factor", &bike_setup.roll_limit_factor, 1, 0, 64),  // default 10
    SLIDER("Steering Damping", &bike_setup.steering_damping, 1, 0, 100),  // default 45
    SLIDER("Steering Strength", &bike_setup.steering_strength, 1, 0, 100),  // default 75
    SLIDER("Max Steering Force", &bike_setup.max_steering_force, 5, 0, 1000),  // default 400
    SLIDER("Direct Steering", &bike_setup.direct_steering, 0.125, 0, 1),  // default 1
    SLIDER("Slow Damping Speed", &bike_setup.slow_damping_speed, 1, 0, 100),  // default 40
    SLIDER("Slow Damping Factor", &bike_setup.slow_damping_factor, 0.25, 1, 10),  // default 2
    SLIDER("Landing Damping Falloff", &bike_setup.land_damping_falloff, 0.0625, 0, 0.5),  // default 0.25
    SLIDER("Landing Damping Factor", &bike_setup.land_damping_factor, 0.25, 1, 3),  // default 2
    SLIDER("Full Lock Speed", &bike_setup.full_lock_speed, 1, 1, 100),  // default 10
    SLIDER("Restricted Lock Speed", &bike_setup.restricted_lock_speed, 1, 1, 100),  // default 50
    SLIDER("Restricted Lock Angle", &bike_setup.restricted_lock, 0.125, 0, 45),  // default 7.5
    LIST("Arcade Physics", no_yes, &bike_setup.arcade),
    LIST("Front Brake", brake_modes, &bike_setup.front_brake),
    LIST("Rear Brake", brake_modes, &bike_setup.rear_brake),
    LIST("Stop Wheelies", wheelie_modes, &bike_setup.stop_wheelies),
    LIST("Automatic Shifting", no_yes, &bike_setup.auto_shift),
    LIST("Dab When Stopped", no_yes, &bike_setup.auto_dab),
    LIST("Realign After Fall", no_yes, &bike_setup.auto_align),
    LIST("Sticky Sit/Dab", no_yes, &bike_setup.sticky_dab),
    LIST("Reversed Steering", no_yes, &bike_setup.reverse_steering),
    LIST("Lean Indicator", no_yes, &bike_setup.lean_indicator),
    SLIDER("Auto Clutch RPMs", &bike_setup.auto_clutch_rpms, 100, 0, 5000),  // default 5000
    SLIDER("Braking Torque (Front)", &bike_setup.brake_torque, 10, 0, 500),  // default 500
    SLIDER("Braking Torque (Rear)", &bike_setup.rear_brake_torque, 10, 0, 500),  // default 250
    SLIDER("Max Dab Speed (MPH)", &bike_setup.max_dab_speed, 1, 5, 60),  // default 60
    SLIDER("Countershaft Sprocket", &bike_setup.front_sprocket_adjustment, 1, -2, 2),  // default 0
    SLIDER("Rear Sprocket", &bike_setup.rear_sprocket_adjustment, 1, -2, 2),  // default 0
    SLIDER("Fork High Speed Compression Damping", &bike_setup.fork_compression_adjustment, 1, 0, 100),  // default 50
    SLIDER("Fork Low Speed Compression Damping", &bike_setup.fork_slow_compression_adjustment, 1, 0, 100),  // default 50
    SLIDER("Fork High Speed Rebound Damping", &bike_setup.fork_rebound_adjustment, 1, 0, 100),  // default 50
    SLIDER("Fork Low Speed Rebound Damping", &bike_setup.fork_slow_rebound_adjustment, 1, 0, 100),  // default 50
    SLIDER("Fork Spring Rate", &bike_setup.fork_spring_rate_adjustment, 1, 0, 100),  // default 50
    SLIDER("Fork Preload", &bike_setup.fork_preload_adjustment, 1, 0, 100),  // default 50
    SLIDER("Fork Oil Level", &bike_setup.fork_oil_level_adjustment, 1, 0, 100),  // default 50
    SLIDER("Shock High Speed Compression Damping", &bike_setup.shock_compression_adjustment, 1, 0, 100),  // default 75
    SLIDER("Shock Low Speed Compression Damping", &bike_setup.shock_slow_compression_adjustment, 1, 0, 100),  // default 50
    SLIDER("Shock High Speed Rebound Damping", &bike_setup.shock_rebound_adjustment, 1, 0, 100),  // default 75
    SLIDER("Shock Low Speed Rebound Damping", &bike_setup.shock_slow_rebound_adjustment, 1, 0, 100),  // default 50
    SLIDER("Shock Spring Rate", &bike_setup.shock_spring_rate_adjustment, 1, 0, 100),  // default 50
    SLIDER("Shock Preload", &bike_setup.shock_preload_adjustment, 1, 0, 100),  // default 50
    SLIDER("Rider Vertical Spring", &bike_setup.rider_yspring, 1, 0, 100),  // default 50
    SLIDER("Rider Vertical Damping", &bike_setup.rider_ydamping, 1, 0, 100),  // default 50
    SLIDER("Rider Forward Spring", &bike_setup.rider_zspring, 1, 0, 100),  // default 50
    SLIDER("Rider Forward Damping", &bike_setup.rider_zdamping, 1, 0, 100),  // default 50
    SLIDER("Rider Mass Distribution", &bike_setup.rider_mass_distribution, 0.01, 0.33, 0.5),  // default 0.33
};

// The stored skin names, taken as text whatever the current choices. A
// name is at most as long as still fits a 1024-byte line after the longest
// of the four keys, so every setup written can be read back.
enum { texture_name_max = 1024 - 14 };
static menu_text_field texture_names[4] = {
    FIELD("Rider Graphics", texture_name_max, bike_setup.rider_texture, 1),
    FIELD("Helmet Graphics", texture_name_max, bike_setup.head_texture, 1),
    FIELD("Bike Graphics", texture_name_max, bike_setup.bike_texture, 1),
    FIELD("Wheel Graphics", texture_name_max, bike_setup.wheel_texture, 1),
};

static const char* bike_names[BIKE_MODEL_COUNT];
static settings_entry entries[64];
static int entry_count;

static void add(const char* key, int kind, void* item) { entries[entry_count++] = settings_entry{key, kind, item, 0, 0}; }

static void build() {
  for (int i = 0; i < BIKE_MODEL_COUNT; ++i) bike_names[i] = bike_models[i].name;
  option_list_set_options(&bike_setup_menu.bike, bike_names, BIKE_MODEL_COUNT);
  bike_setup_items& m = bike_setup_menu;
  add("bike", setting_bike, &m.bike);
  add("name", setting_text, &m.name);
  add("number", setting_text, &m.number);
  add("rider_texture", setting_text, &texture_names[0]);
  add("head_texture", setting_text, &texture_names[1]);
  add("bike_texture", setting_text, &texture_names[2]);
  add("wheel_texture", setting_text, &texture_names[3]);
  add("stability", setting_stability, &m.stability);
  add("leveling", setting_slider, &m.leveling);
  add("roll_damping", setting_slider, &m.roll_damping);
  add("roll_limit_angle", setting_slider, &m.roll_limit_angle);
  add("roll_limit_factor", setting_slider, &m.roll_limit_factor);
  add("steering_damping", setting_slider, &m.steering_damping);
  add("steering_strength", setting_slider, &m.steering_strength);
  add("max_steering_force", setting_slider, &m.max_steering_force);
  add("direct_steering", setting_slider, &m.direct_steering);
  add("slow_damping_speed", setting_slider, &m.slow_damping_speed);
  add("slow_damping_factor", setting_slider, &m.slow_damping_factor);
  add("land_damping_falloff", setting_slider, &m.land_damping_falloff);
  add("land_damping_factor", setting_slider, &m.land_damping_factor);
  add("full_lock_speed", setting_slider, &m.full_lock_speed);
  add("restricted_lock_speed", setting_slider, &m.restricted_lock_speed);
  add("restricted_lock", setting_slider, &m.restricted_lock);
  add("arcade", setting_list, &m.arcade);
  add("front_brake", setting_list, &m.front_brake);
  add("rear_brake", setting_list, &m.rear_brake);
  add("stop_wheelies", setting_list, &m.stop_wheelies);
  add("auto_shift", setting_list, &m.auto_shift);
  add("auto_dab", setting_list, &m.auto_dab);
  add("auto_align", setting_list, &m.auto_align);
  add("sticky_dab", setting_list, &m.sticky_dab);
  add("reverse_steering", setting_list, &m.reverse_steering);
  add("lean_indicator", setting_list, &m.lean_indicator);
  add("auto_clutch_rpms", setting_slider, &m.auto_clutch_rpms);
  add("brake_torque", setting_slider, &m.brake_torque);
  add("rear_brake_torque", setting_slider, &m.rear_brake_torque);
  add("max_dab_speed", setting_slider, &m.max_dab_speed);
  add("front_sprocket_adjustment", setting_slider, &m.front_sprocket_adjustment);
  add("rear_sprocket_adjustment", setting_slider, &m.rear_sprocket_adjustment);
  add("fork_compression_adjustment", setting_slider, &m.fork_compression_adjustment);
  add("fork_slow_compression_adjustment", setting_slider, &m.fork_slow_compression_adjustment);
  add("fork_rebound_adjustment", setting_slider, &m.fork_rebound_adjustment);
  add("fork_slow_rebound_adjustment", setting_slider, &m.fork_slow_rebound_adjustment);
  add("fork_spring_rate_adjustment", setting_slider, &m.fork_spring_rate_adjustment);
  add("fork_preload_adjustment", setting_slider, &m.fork_preload_adjustment);
  add("fork_oil_level_adjustment", setting_slider, &m.fork_oil_level_adjustment);
  add("shock_compression_adjustment", setting_slider, &m.shock_compression_adjustment);
  add("shock_slow_compression_adjustment", setting_slider, &m.shock_slow_compression_adjustment);
  add("shock_rebound_adjustment", setting_slider, &m.shock_rebound_adjustment);
  add("shock_slow_rebound_adjustment", setting_slider, &m.shock_slow_rebound_adjustment);
  add("shock_spring_rate_adjustment", setting_slider, &m.shock_spring_rate_adjustment);
  add("shock_preload_adjustment", setting_slider, &m.shock_preload_adjustment);
  add("rider_yspring", setting_slider, &m.rider_yspring);
  add("rider_ydamping", setting_slider, &m.rider_ydamping);
  add("rider_zspring", setting_slider, &m.rider_zspring);
  add("rider_zdamping", setting_slider, &m.rider_zdamping);
  add("rider_mass_distribution", setting_slider, &m.rider_mass_distribution);
}

const settings_entry* bike_setup_entries(int* count) {
  if (!entry_count) build();
  *count = entry_count;
  return entries;
}

static const settings_entry* find(const char* key) {
  int count = 0;
  const settings_entry* all = bike_setup_entries(&count);
  for (int i = 0; i < count; ++i)
    if (std::strcmp(all[i].key, key) == 0) return &all[i];
  return nullptr;
}

int parse_bike_setup_key(const char* key, const char* value, const char** reason) {
  const settings_entry* e = find(key);
  if (!e) return 0;
  const char* why = nullptr;
  switch (e->kind) {
    case setting_bike:
      if (!option_list_select(static_cast<menu_option_list*>(e->item), bike_name_alias(value))) why = "names no bike";
      break;
    case setting_stability: {
      menu_slider* s = static_cast<menu_slider*>(e->item);
      if (!slider_parse_value(s, value)) why = "not a finite number";
      else apply_stability_level(static_cast<int>(*s->value));
      break;
    }
    case setting_slider:
      if (!slider_parse_value(static_cast<menu_slider*>(e->item), value)) why = "not a finite number";
      break;
    case setting_list:
      if (!option_list_select(static_cast<menu_option_list*>(e->item), value)) why = "names no option";
      break;
    case setting_text:
      if (!text_field_set(static_cast<menu_text_field*>(e->item), value)) why = "too long";
      break;
  }
  if (reason) *reason = why;
  return 1;
}

void write_bike_setup(std::string* out) {
  int count = 0;
  const settings_entry* all = bike_setup_entries(&count);
  char number[64];
  for (int i = 0; i < count; ++i) {
    const settings_entry& e = all[i];
    out->append(e.key);
    out->push_back('=');
    switch (e.kind) {
      case setting_bike:
      case setting_list:
        out->append(option_list_text(static_cast<menu_option_list*>(e.item)));
        break;
      case setting_slider:
      case setting_stability:
        std::snprintf(number, sizeof(number), "%f", *static_cast<menu_slider*>(e.item)->value);
        out->append(number);
        break;
      case setting_text:
        out->append(static_cast<menu_text_field*>(e.item)->text);
        break;
    }
    out->push_back('\n');
  }
}

// The handling values by stability 0, 20, 40, 60, 80 and 100.
static const struct {
  double* value;
  double column[6];
} stability_table[15] = {
    {&bike_setup.leveling, {20.0, 20.0, 20.0, 20.0, 20.0, 20.0}},
    {&bike_setup.roll_damping, {40.0, 50.0, 60.0, 70.0, 75.0, 80.0}},
    {&bike_setup.roll_limit_angle, {90.0, 45.0, 45.0, 45.0, 45.0, 45.0}},
    {&bike_setup.roll_limit_factor, {0.0, 5.0, 10.0, 32.0, 32.0, 32.0}},
    {&bike_setup.steering_damping, {45.0, 45.0, 45.0, 45.0, 50.0, 60.0}},
    {&bike_setup.steering_strength, {75.0, 75.0, 75.0, 75.0, 75.0, 75.0}},
    {&bike_setup.max_steering_force, {400.0, 400.0, 400.0, 400.0, 400.0, 400.0}},
    {&bike_setup.direct_steering, {1.0, 1.0, 1.0, 1.0, 1.0, 0.125}},
    {&bike_setup.slow_damping_speed, {40.0, 40.0, 40.0, 40.0, 40.0, 40.0}},
    {&bike_setup.slow_damping_factor, {1.0, 1.0, 1.5, 2.0, 2.0, 2.0}},
    {&bike_setup.land_damping_falloff, {0.0, 0.125, 0.25, 0.25, 0.25, 0.25}},
    {&bike_setup.land_damping_factor, {1.0, 1.5, 2.0, 2.0, 2.0, 2.0}},
    {&bike_setup.full_lock_speed, {10.0, 10.0, 10.0, 10.0, 10.0, 10.0}},
    {&bike_setup.restricted_lock_speed, {50.0, 50.0, 50.0, 50.0, 50.0, 50.0}},
    {&bike_setup.restricted_lock, {45.0, 15.0, 10.0, 5.0, 2.5, 1.0}},
};

void apply_stability_level(int stability) {
  double c = stability * 5 * 0.01;
  if (c < 0) c = 0;
  if (c > 5) c = 5;
  int k = static_cast<int>(std::floor(c));
  if (k > 4) k = 4;
  const double f = c - k;
  for (const auto& row : stability_table) *row.value = row.column[k] + f * (row.column[k + 1] - row.column[k]);
}

static double last_refusal = -1.0;
static int refused_before;

int apply_bike_setup(rider* r) {
  if (!r) return 0;
  const dReal* v = dBodyGetLinearVel(rider_frame_body(r));
  if (std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) > 0.125) {
    // The first refusal is said too; only quick repeats stay quiet.
    if (!refused_before || game_clock - last_refusal >= 10.0)
      console_print("Settings not applied.  Mechanic can't keep up error.\n");
    refused_before = 1;
    last_refusal = game_clock;
    return 0;
  }
  const bike_setup_record& s = bike_setup;
  const double degrees = 0.017453292519943295;
  rider_set_leveling(r, static_cast<float>(s.leveling));
  rider_set_roll_damping(r, static_cast<float>(s.roll_damping));
  rider_set_roll_limit_angle(r, static_cast<float>(s.roll_limit_angle * degrees));
  rider_set_roll_limit_factor(r, static_cast<float>(s.roll_limit_factor));
  rider_set_steering_damping(r, static_cast<float>(s.steering_damping));
  rider_set_steering_strength(r, static_cast<float>(s.steering_strength));
  rider_set_max_steering_force(r, static_cast<float>(s.max_steering_force));
  rider_set_arcade(r, server_no_arcade ? 0 : s.arcade);
  rider_set_front_antilock(r, s.front_brake);
  rider_set_rear_antilock(r, s.rear_brake);
  static const int wheelie_mode[3] = {0, 3, 2};
  rider_set_stop_wheelies(r, s.stop_wheelies >= 0 && s.stop_wheelies < 3 ? wheelie_mode[s.stop_wheelies] : 0);
  rider_set_auto_shift(r, s.auto_shift);
  rider_set_auto_dab(r, s.auto_dab);
  rider_set_auto_align(r, s.auto_align);
  rider_set_direct_steering(r, static_cast<float>(s.direct_steering));
  rider_set_slow_damping_speed(r, static_cast<float>(s.slow_damping_speed));
  rider_set_slow_damping_factor(r, static_cast<float>(s.slow_damping_factor));
  rider_set_land_damping_falloff(r, static_cast<float>(s.land_damping_falloff));
  rider_set_land_damping_factor(r, static_cast<float>(s.land_damping_factor));
  rider_set_full_lock_speed(r, static_cast<float>(s.full_lock_speed));
  rider_set_restricted_lock_speed(r, static_cast<float>(s.restricted_lock_speed));
  rider_set_restricted_lock(r, static_cast<float>(s.restricted_lock * degrees));
  rider_set_auto_clutch_rpms(r, static_cast<float>(s.auto_clutch_rpms));
  rider_set_brake_torque(r, static_cast<float>(s.brake_torque));
  rider_set_rear_brake_torque(r, static_cast<float>(s.rear_brake_torque));
  rider_set_max_dab_speed(r, static_cast<float>(s.max_dab_speed * 22.0 / 15.0));
  rider_set_sprockets(r, static_cast<float>(s.front_sprocket_adjustment), static_cast<float>(s.rear_sprocket_adjustment));
  auto damping = [](double v) { return static_cast<float>(std::pow(2.0, v * 0.04 - 2.0)); };
  auto slow = [](double v) { return static_cast<float>(v * 0.02 - 1.0); };
  auto share = [](double v) { return static_cast<float>(v * 0.01); };
  rider_set_fork(r, damping(s.fork_compression_adjustment), slow(s.fork_slow_compression_adjustment),
                 damping(s.fork_rebound_adjustment), slow(s.fork_slow_rebound_adjustment),
                 share(s.fork_spring_rate_adjustment), share(s.fork_preload_adjustment),
                 share(s.fork_oil_level_adjustment));
  rider_set_shock(r, damping(s.shock_compression_adjustment), slow(s.shock_slow_compression_adjustment),
                  damping(s.shock_rebound_adjustment), slow(s.shock_slow_rebound_adjustment),
                  share(s.shock_spring_rate_adjustment), share(s.shock_preload_adjustment));
  rider_set_rider_springs(r, share(s.rider_yspring), share(s.rider_zspring));
  rider_set_rider_damping(r, share(s.rider_ydamping), share(s.rider_zdamping));
  rider_set_rider_mass_distribution(r, static_cast<float>(s.rider_mass_distribution));
  for (bike_setup_baseline_row& row : bike_setup_baseline)
    if (*row.value != row.baseline) row.changed = 1;
  return 1;
}

enum { setup_line_max = 1024 };

int read_bike_setup_text(const char* text, size_t size, const char* shown) {
  int count = 0;
  bike_setup_entries(&count);
  char line[setup_line_max + 1];
  int number = 0, all_taken = 1;
  size_t at = 0;
  while (at < size) {
    ++number;
    size_t end = at;
    while (end < size && text[end] != '\n') ++end;
    size_t len = end - at;
    while (len > 0 && (text[at + len - 1] == '\r' || text[at + len - 1] == '\n')) --len;
    const char* why = nullptr;
    if (len > setup_line_max) {
      why = "line longer than 1024 bytes";
    } else if (std::memchr(text + at, 0, len)) {
      why = "NUL byte in line";
    } else {
      std::memcpy(line, text + at, len);
      line[len] = 0;
      char* eq = std::strchr(line, '=');
      if (!eq && len > 0) why = "no '='";
      if (eq) {
        *eq = 0;
        if (!parse_bike_setup_key(line, eq + 1, &why))
          console_printf("setup %s line %d: unknown key \"%.60s\", skipped\n", shown, number, line);
      }
    }
    // A bad line leaves only its own item as it was; the rest of the file
    // is still the rider's setup.
    if (why) {
      console_printf("setup %s line %d: %s, skipped\n", shown, number, why);
      all_taken = 0;
    }
    at = end + 1;
  }
  return all_taken;
}

// "@setups/" + name, or 0 with a message when the name does not fit.
static int setup_file_name(const char* name, char* out, size_t size) {
  const int n = std::snprintf(out, size, "@setups/%s", name);
  if (n < 0 || static_cast<size_t>(n) >= size) {
    console_print("Setup name longer than 1024 bytes, refused\n");
    return 0;
  }
  return 1;
}

int read_bike_setup_file(const char* name) {
  char path[setup_line_max + 1];
  if (!setup_file_name(name, path, sizeof(path))) return 0;
  stream s;
  if (!stream_open_name(&s, path, "rb")) {
    console_printf("Error reading setup %s: can't open\n", path + 1);
    return 0;
  }
  std::string text;
  char buffer[4096];
  for (uint32_t n; (n = stream_read(&s, buffer, sizeof(buffer))) > 0;) text.append(buffer, n);
  stream_close_file(&s);
  read_bike_setup_text(text.data(), text.size(), path + 1);
  return 1;
}

int write_bike_setup_file(const char* name) {
  char path[setup_line_max + 1];
  if (!setup_file_name(name, path, sizeof(path))) return 0;
  std::string text;
  write_bike_setup(&text);
  return file_replace(path, text.data(), text.size(), 0);
}

void bike_setup_texture_options(menu_option_list* list, const char* const* options, int count,
                                const char* stored_name) {
  option_list_set_options(list, options, count);
  option_list_select(list, stored_name);
}
