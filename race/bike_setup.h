#pragma once
// The rider's chosen bike, identity and handling: what the bike-setup
// pages show, "config" and the setup files save, and race reset, the
// setup baseline and the multiplayer client read. The initial values are
// the defaults; sliders are doubles in their page's units, lists the index
// of the chosen option.

enum { bike_setup_name_max = 63, bike_setup_number_max = 3, bike_setup_texture_max = 1023 };

struct bike_setup_record {
  int bike;  // row of the bike model table
  char name[bike_setup_name_max + 1];
  char number[bike_setup_number_max + 1];
  // Skin names; the matching option is chosen when the bike's choices are
  // built.
  char rider_texture[bike_setup_texture_max + 1];
  char head_texture[bike_setup_texture_max + 1];
  char bike_texture[bike_setup_texture_max + 1];
  char wheel_texture[bike_setup_texture_max + 1];
  double stability;
  double leveling;
  double roll_damping;
  double roll_limit_angle;  // degrees
  double roll_limit_factor;
  double steering_damping;
  double steering_strength;
  double max_steering_force;
  double direct_steering;
  double slow_damping_speed;
  double slow_damping_factor;
  double land_damping_falloff;
  double land_damping_factor;
  double full_lock_speed;
  double restricted_lock_speed;
  double restricted_lock;  // degrees
  int arcade;              // No, Yes
  int front_brake;         // Normal, Antilock
  int rear_brake;          // Normal, Antilock
  int stop_wheelies;       // No, Yes, Front Only
  int auto_shift;          // No, Yes
  int auto_dab;            // No, Yes
  int auto_align;          // No, Yes
  int sticky_dab;          // No, Yes
  int reverse_steering;    // No, Yes
  int lean_indicator;      // No, Yes
  double auto_clutch_rpms;
  double brake_torque;
  double rear_brake_torque;
  double max_dab_speed;  // mph
  double front_sprocket_adjustment;  // teeth
  double rear_sprocket_adjustment;   // teeth
  double fork_compression_adjustment;
  double fork_slow_compression_adjustment;
  double fork_rebound_adjustment;
  double fork_slow_rebound_adjustment;
  double fork_spring_rate_adjustment;
  double fork_preload_adjustment;
  double fork_oil_level_adjustment;
  double shock_compression_adjustment;
  double shock_slow_compression_adjustment;
  double shock_rebound_adjustment;
  double shock_slow_rebound_adjustment;
  double shock_spring_rate_adjustment;
  double shock_preload_adjustment;
  double rider_yspring;
  double rider_ydamping;
  double rider_zspring;
  double rider_zdamping;
  double rider_mass_distribution;
};

extern bike_setup_record bike_setup;

// The default bike's row ("450sxf(2018)").
extern const int bike_setup_default_bike;

// Older bike names that setups and race reset still accept: the current
// name for an alias ("kx250f" -> "kx250f(2008)"), else name itself.
const char* bike_name_alias(const char* name);

// The multiplayer server's no-arcade command: while set, applying a setup
// turns arcade physics off whatever the setup says.
extern int server_no_arcade;

// The 39 handling values whose changes from a baseline are reported: the
// baseline is taken at start-up, and applying a setup to the local bike
// flags the rows whose value differs from it.
enum { bike_setup_baseline_rows = 39 };
struct bike_setup_baseline_row {
  double baseline;
  int changed;
  int letter;
  double* value;  // the field of bike_setup
};
extern bike_setup_baseline_row bike_setup_baseline[bike_setup_baseline_rows];
