#pragma once
// The bike setup as menu items over the bike_setup record, its lines in
// "config" and in setup files under "setups/", the one-number stability
// preset, and applying a setup to a rider's bike.
#include <string>

#include "race/bike_setup.h"
#include "ui/game_settings.h"
#include "ui/widget.h"

struct rider;

struct bike_setup_items {
  menu_option_list bike;  // the 80 bike model names
  menu_text_field name;
  menu_text_field number;  // overwrite mode
  // The skin choices are given at run time from the texture variants; the
  // record keeps the chosen names, which select the options when built.
  menu_option_list rider_texture;
  menu_option_list head_texture;
  menu_option_list bike_texture;
  menu_option_list wheel_texture;
  menu_slider stability;
  menu_slider leveling;
  menu_slider roll_damping;
  menu_slider roll_limit_angle;
  menu_slider roll_limit_factor;
  menu_slider steering_damping;
  menu_slider steering_strength;
  menu_slider max_steering_force;
  menu_slider direct_steering;
  menu_slider slow_damping_speed;
  menu_slider slow_damping_factor;
  menu_slider land_damping_falloff;
  menu_slider land_damping_factor;
  menu_slider full_lock_speed;
  menu_slider restricted_lock_speed;
  menu_slider restricted_lock;
  menu_option_list arcade;
  menu_option_list front_brake;
  menu_option_list rear_brake;
  menu_option_list stop_wheelies;
  menu_option_list auto_shift;
  menu_option_list auto_dab;
  menu_option_list auto_align;
  menu_option_list sticky_dab;
  menu_option_list reverse_steering;
  menu_option_list lean_indicator;
  menu_slider auto_clutch_rpms;
  menu_slider brake_torque;
  menu_slider rear_brake_torque;
  menu_slider max_dab_speed;
  menu_slider front_sprocket_adjustment;
  menu_slider rear_sprocket_adjustment;
  menu_slider fork_compression_adjustment;
  menu_slider fork_slow_compression_adjustment;
  menu_slider fork_rebound_adjustment;
  menu_slider fork_slow_rebound_adjustment;
  menu_slider fork_spring_rate_adjustment;
  menu_slider fork_preload_adjustment;
  menu_slider fork_oil_level_adjustment;
  menu_slider shock_compression_adjustment;
  menu_slider shock_slow_compression_adjustment;
  menu_slider shock_rebound_adjustment;
  menu_slider shock_slow_rebound_adjustment;
  menu_slider shock_spring_rate_adjustment;
  menu_slider shock_preload_adjustment;
  menu_slider rider_yspring;
  menu_slider rider_ydamping;
  menu_slider rider_zspring;
  menu_slider rider_zdamping;
  menu_slider rider_mass_distribution;
};
extern bike_setup_items bike_setup_menu;

// Every setup key in the order write_bike_setup writes them; *count set.
const settings_entry* bike_setup_entries(int* count);

// Takes one setup line. 0 when key is no setup key (the config reader then
// tries its own); 1 when it is, with *reason null when the value was
// stored, else why it was refused (the setup keeps its value). "stability"
// also sets the 15 handling values from the preset table.
int parse_bike_setup_key(const char* key, const char* value, const char** reason = nullptr);

// Appends the setup lines, "key=value\n" each, in the table's order.
void write_bike_setup(std::string* out);

// Sets the 15 handling values from the stability table, interpolating
// between its columns 0, 20, ..., 100; stored as the table gives them,
// without the sliders' clamping.
void apply_stability_level(int stability);

// Applies the setup to the rider's bike through its setters. Refused while
// the bike moves faster than 0.125 ft/s: "Settings not applied.  Mechanic
// can't keep up error." is printed on a refusal unless the previous one was
// less than 10 s before. 1 when applied.
int apply_bike_setup(rider* r);

// Setup files "@setups/NAME". Reading takes every good line: a bad line
// (no "=", a value its item refuses, too long) or an unknown key is named
// with its file, line and reason and skipped, leaving only that item as it
// was. 1 when the file was read, 0 when it could not be opened ("Error
// reading setup ... can't open"). read_bike_setup_text is the same on text
// already in memory (shown names it in messages); it returns 1 when every
// line was taken, 0 when one was skipped.
int read_bike_setup_file(const char* name);
int read_bike_setup_text(const char* text, size_t size, const char* shown);
// Writes "@setups/NAME" in one step (no backup). 1 when written.
int write_bike_setup_file(const char* name);

// Gives a skin list its options and selects the record's stored name.
void bike_setup_texture_options(menu_option_list* list, const char* const* options, int count,
                                const char* stored_name);
