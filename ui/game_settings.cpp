#include "ui/game_settings.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "assets/view_settings.h"
#include "core/console_settings.h"
#include "terrain/track.h"

front_end_settings front_end_values = {
    0,    "localhost", {}, 50.0, 9.0, 2, 1, 1, 2, 1, 250.0, 0.0, 1, 50.0, 9.0,
};

static const char* const no_yes[] = {"No", "Yes"};
static const char* const skills[] = {"Novice", "Amateur", "Expert"};
static const char* const gate_kinds[] = {"Empty", "Human", "Robot", "Robot (2 stroke)", "Robot (4 stroke)"};
static const char* const texture_dims[] = {"32x32", "64x64", "128x128", "256x256", "512x512", "1024x1024"};
static const char* const compress_modes[] = {"No", "Yes", "Always"};
static const char* const render_modes[] = {"Software", "Hardware/Copy", "Hardware/Direct", "Shaders/Copy",
                                           "Shaders/Direct"};
static const char* const playback_modes[] = {"Playback Only", "Race Against"};

#define LIST(label, options, value) {label, options, sizeof(options) / sizeof(options[0]), value, {0, 0, 0, 0}}
#define SLIDER(label, value, step, lo, hi) {label, value, step, lo, hi, {0, 0, 0, 0}, 0, 0}
#define FIELD(label, max, text) {label, max, text, 0, 1, {0, 0, 0, 0}}
#define GATE(n) LIST("Gate " #n, gate_kinds, &line_up_choice[n - 1])
#define HIST(n) FIELD("Server", server_name_max, front_end_values.server_name_hist[n])

game_settings_items game_settings = {
    {"Track", nullptr, 0, &front_end_values.track_selected, {0, 0, 0, 0}},
    LIST("Record Demo", no_yes, &record_demos),
    LIST("Robot Skill", skills, &race_skill),
    SLIDER("Minutes", &race_minutes, 1, 0, 60),
    SLIDER("Laps", &race_laps_choice, 1, 0, 50),
    {GATE(1),
     GATE(2),
     GATE(3),
     GATE(4),
     GATE(5),
     GATE(6),
     GATE(7),
     GATE(8),
     GATE(9),
     GATE(10),
     GATE(11),
     GATE(12),
     GATE(13),
     GATE(14),
     GATE(15),
     GATE(16),
     GATE(17),
     GATE(18),
     GATE(19),
     GATE(20),
     GATE(21),
     GATE(22),
     GATE(23),
     GATE(24),
     GATE(25),
     GATE(26),
     GATE(27),
     GATE(28),
     GATE(29),
     GATE(30),
     GATE(31),
     GATE(32),
     GATE(33),
     GATE(34),
     GATE(35),
     GATE(36),
     GATE(37),
     GATE(38),
     GATE(39),
     GATE(40)},
    SLIDER("Ghost Fade Distance", &ghost_fade_distance, 1, 0, 40),
    LIST("Backing Up Aborts Attempt", no_yes, &time_trial_abort),
    {"Video Mode", video_mode_names, 2, &video_mode, {0, 0, 0, 0}},
    FIELD("Server", server_name_max, front_end_values.server_name),
    {HIST(0), HIST(1), HIST(2), HIST(3), HIST(4), HIST(5), HIST(6), HIST(7), HIST(8), HIST(9), HIST(10), HIST(11), HIST(12), HIST(13), HIST(14), HIST(15)},
    SLIDER("Ground Geometric Detail", &front_end_values.ground_detail, 1, 0, 100),
    SLIDER("Ground Texture Levels", &front_end_values.ground_texture_detail, 1, 0, 10),
    LIST("Ground Texture Resolution", texture_dims, &front_end_values.ground_texture_dim),
    LIST("Enable Ground Mipmaps", no_yes, &front_end_values.ground_mipmaps),
    LIST("Compress Textures", compress_modes, &front_end_values.texture_compress),
    LIST("Terrain Rendering Method", render_modes, &front_end_values.render_texture),
    LIST("Use Shader Programs", no_yes, &front_end_values.use_shader),
    SLIDER("Roost Density", &front_end_values.roost_density, 10, 0, 1000),
    SLIDER("Reshade Delay", &front_end_values.reshade_delay, 1, 0, 20),
    LIST("Enable Lens Flares", no_yes, &lens_flare),
    LIST("Enable Reflections", no_yes, &front_end_values.reflections),
    LIST("Hide 1st Person Rider", no_yes, &hide_rider),
    LIST("Rigid 3rd person camera", no_yes, &rigid_camera),
    SLIDER("Model Geometric Detail", &front_end_values.model_detail, 1, 0, 100),
    SLIDER("Model Texture Detail", &front_end_values.model_texture_detail, 1, 0, 10),
    SLIDER("Field Of View", &fov, 1, 10, 170),
    SLIDER("1st Person Height", &first_person_height, 0.03125, 0, 1),
    SLIDER("1st Person Angle", &first_person_angle, 1, 0, 40),
    SLIDER("1st Person Gimbal", &first_person_gimbal, 1, 0, 100),
    SLIDER("3rd Person Height", &third_person_height, 1, 0, 20),
    SLIDER("3rd Person Distance", &third_person_distance, 1, 5, 40),
    SLIDER("Volume", &volume, 1, 0, 10),
    SLIDER("Competitor Volume", &comp_volume, 1, 0, 10),
    LIST("Playback Mode", playback_modes, &playback_mode),
};

enum { entry_capacity = 128 };
static settings_entry entries[entry_capacity];
static int entry_count;
static char slot_keys[line_up_gates][8];
static char history_keys[server_history_count][24];

static void add(const char* key, int kind, void* item, double lo = INT_MIN, double hi = INT_MAX) {
  entries[entry_count++] = settings_entry{key, kind, item, lo, hi};
}

static void build_entries() {
  game_settings_items& g = game_settings;
  add("xres", setting_int, &xres, 1, 16384);
  add("yres", setting_int, &yres, 1, 16384);
  add("draw_fps", setting_int, &draw_fps);
  add("draw_time", setting_int, &draw_time);
  add("draw_ping", setting_int, &draw_ping);
  add("draw_speed", setting_int, &draw_speed);
  add("spy", setting_int, &spy);
  add("track", setting_track, &g.track);
  add("record", setting_list, &g.record);
  add("skill", setting_list, &g.skill);
  add("minutes", setting_slider, &g.minutes);
  add("laps", setting_slider, &g.laps);
  for (int i = 0; i < line_up_gates; ++i) {
    std::snprintf(slot_keys[i], sizeof(slot_keys[i]), "slot%02d", i);
    add(slot_keys[i], setting_list, &g.slots[i]);
  }
  add("ghost_fade_distance", setting_slider, &g.ghost_fade_distance);
  add("time_trial_abort", setting_list, &g.time_trial_abort);
  add("video_mode", setting_list, &g.video_mode);
  add("server_name", setting_text, &g.server_name);
  for (int i = 0; i < server_history_count; ++i) {
    std::snprintf(history_keys[i], sizeof(history_keys[i]), "server_name_hist%02d", i);
    add(history_keys[i], setting_text, &g.server_name_hist[i]);
  }
  add("ground_detail", setting_slider, &g.ground_detail);
  add("ground_texture_detail", setting_slider, &g.ground_texture_detail);
  add("ground_texture_dim", setting_list, &g.ground_texture_dim);
  add("ground_mipmaps", setting_list, &g.ground_mipmaps);
  add("texture_compress", setting_list, &g.texture_compress);
  add("render_texture", setting_list, &g.render_texture);
  add("use_shader", setting_list, &g.use_shader);
  add("roost_density", setting_slider, &g.roost_density);
  add("reshade_delay", setting_slider, &g.reshade_delay);
  add("lens_flare", setting_list, &g.lens_flare);
  add("reflections", setting_list, &g.reflections);
  add("hide_rider", setting_list, &g.hide_rider);
  add("rigid_camera", setting_list, &g.rigid_camera);
  add("model_detail", setting_slider, &g.model_detail);
  add("model_texture_detail", setting_slider, &g.model_texture_detail);
  add("fov", setting_slider, &g.fov);
  add("first_person_height", setting_slider, &g.first_person_height);
  add("first_person_angle", setting_slider, &g.first_person_angle);
  add("first_person_gimbal", setting_slider, &g.first_person_gimbal);
  add("third_person_height", setting_slider, &g.third_person_height);
  add("third_person_distance", setting_slider, &g.third_person_distance);
  add("volume", setting_slider, &g.volume);
  add("comp_volume", setting_slider, &g.comp_volume);
  add("playback_mode", setting_list, &g.playback_mode);
  add("billboard_optimize_lookahead", setting_int, &billboard_optimize_lookahead, 0, INT_MAX);
  add("message_lines", setting_int, &message_lines, 0, 1000);
  add("demo_backups", setting_int, &demo_backups);
  add("map_scale", setting_float, &map_scale, 0.125, 8.0);
}

const settings_entry* settings_entries(int* count) {
  if (!entry_count) build_entries();
  *count = entry_count;
  return entries;
}

const settings_entry* settings_find(const char* key) {
  int count = 0;
  const settings_entry* all = settings_entries(&count);
  for (int i = 0; i < count; ++i)
    if (std::strcmp(all[i].key, key) == 0) return &all[i];
  return nullptr;
}

const char* selected_track_folder() {
  const menu_option_list& list = game_settings.track;
  const int i = list.selected ? *list.selected : -1;
  if (i < 0 || i >= list.count || i >= track_count || !track_folders || !track_folders[i]) return "";
  return track_folders[i];
}
