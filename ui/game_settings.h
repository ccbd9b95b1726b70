#pragma once
// The game's settings as menu items: each item's initial value is the
// setting's default, and the item points at the variable the game reads
// (in the lowest library that reads it) or, when only the front end reads
// it, at storage of its own. The config file reads and writes them through
// the table of entries below, which the pages and the editor can also use
// to find an item by its key.
#include "race/race_settings.h"
#include "ui/widget.h"

enum { server_name_max = 127, server_history_count = 16 };

struct game_settings_items {
  menu_option_list track;  // options given at run time from the track list
  menu_option_list record;
  menu_option_list skill;
  menu_slider minutes;
  menu_slider laps;
  menu_option_list slots[line_up_gates];
  menu_slider ghost_fade_distance;
  menu_option_list time_trial_abort;
  menu_option_list video_mode;  // options: video_mode_names
  menu_text_field server_name;
  menu_text_field server_name_hist[server_history_count];
  menu_slider ground_detail;
  menu_slider ground_texture_detail;
  menu_option_list ground_texture_dim;
  menu_option_list ground_mipmaps;
  menu_option_list texture_compress;
  menu_option_list render_texture;
  menu_option_list use_shader;
  menu_slider roost_density;
  menu_slider reshade_delay;
  menu_option_list lens_flare;
  menu_option_list reflections;
  menu_option_list hide_rider;
  menu_option_list rigid_camera;
  menu_slider model_detail;
  menu_slider model_texture_detail;
  menu_slider fov;
  menu_slider first_person_height;
  menu_slider first_person_angle;
  menu_slider first_person_gimbal;
  menu_slider third_person_height;
  menu_slider third_person_distance;
  menu_slider volume;
  menu_slider comp_volume;
  menu_option_list playback_mode;
};
extern game_settings_items game_settings;

// The values of the settings that only the front end reads.
struct front_end_settings {
  int track_selected;
  char server_name[server_name_max + 1];
  char server_name_hist[server_history_count][server_name_max + 1];
  double ground_detail;          // 0..100
  double ground_texture_detail;  // 0..10
  int ground_texture_dim;        // 32x32 .. 1024x1024
  int ground_mipmaps;            // No, Yes
  int texture_compress;          // No, Yes, Always
  int render_texture;            // Software .. Shaders/Direct
  int use_shader;                // No, Yes
  double roost_density;          // copied into the bike's roost_density
  double reshade_delay;          // 0..20
  int reflections;               // No, Yes; copied into model_reflections
  double model_detail;           // 0..100
  double model_texture_detail;   // 0..10
};
extern front_end_settings front_end_values;

// How a config key's value is stored.
enum settings_kind {
  setting_int,     // int*, within [minimum, maximum]
  setting_float,   // double*, clamped to [minimum, maximum]
  setting_slider,  // menu_slider*
  setting_list,    // menu_option_list*
  setting_text,    // menu_text_field*
  setting_track,   // the track: menu_option_list* with config_track_name
  setting_bike,       // the bike list: menu_option_list*, old names accepted
  setting_stability,  // menu_slider* that also sets the handling preset
};

struct settings_entry {
  const char* key;
  int kind;
  void* item;
  double minimum;  // setting_int and setting_float
  double maximum;
};

// Every settings key, in the config file's order; *count set.
const settings_entry* settings_entries(int* count);
// The entry of a key (exact), or null.
const settings_entry* settings_find(const char* key);

// The folder name of the track the Track item has selected, "" when none.
// The item shows the tracks' display names; the config file and the race
// reset want the folder.
const char* selected_track_folder();
