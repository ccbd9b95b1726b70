// The console: line editing with a history, chat with a 2 s spam rule, and
// the table of slash commands.
#include "ui/console.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bike/wheel_contacts.h"
#include "bike/rider.h"
#include "bike/rider_contacts.h"
#include "core/console_settings.h"
#include "core/game_clock.h"
#include "core/race_clock.h"
#include "core/message_ring.h"
#include "core/file_index.h"
#include "race/engine_sound.h"
#include "race/game_state.h"
#include "race/hud_text.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/views.h"
#include "terrain/decals.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/terrain_settings.h"
#include "ui/bike_setup.h"
#include "ui/bike_setup_pages.h"
#include "ui/console_files.h"
#include "ui/game_settings.h"

static double console_game_clock() { return game_clock; }

console_record console;
const int* const console_hits[] = {console.input.rect, nullptr};

void console_reset() {
  std::memset(&console, 0, sizeof console);
  console.input.label = "> ";
  console.input.max_length = console_line_max;
  console.input.text = console.input_text;
  console.input.insert = 1;
  // Entry 0, the line being edited, is always there: starting at 0 would
  // lose the first line entered.
  console.history.count = 1;
  console.last_chat = -1;
  console.now = console_game_clock;
}

namespace {
struct console_reset_at_start {
  console_reset_at_start() { console_reset(); }
} reset_at_start;
}  // namespace

int console_page_ring_index(int write_index, int row, int scroll) {
  // C++ % keeps the sign of a negative left side; the ring has none.
  const int i = (write_index + row - scroll - console_page_rows) % message_ring_size;
  return i < 0 ? i + message_ring_size : i;
}

static void set_input(const char* text) {
  std::snprintf(console.input_text, sizeof console.input_text, "%s", text);
  console.input.cursor = static_cast<int>(std::strlen(console.input_text));
}

void console_line_key(int key) {
  console_history_record& h = console.history;
  if (key == menu_keys.enter || key == menu_keys.keypad_enter) {
    char line[console_line_max + 1];
    std::snprintf(line, sizeof line, "%s", console.input_text);
    if (!run_console_line(line)) return;
    std::snprintf(h.entries[0], sizeof h.entries[0], "%s", line);
    if (h.count < console_history_max) ++h.count;
    std::memmove(h.entries[1], h.entries[0], sizeof h.entries[0] * static_cast<size_t>(h.count - 1));
    h.entries[0][0] = 0;
    h.walk = 0;
    set_input("");
    return;
  }
  if (key == menu_keys.up || key == menu_keys.down) {
    std::snprintf(h.entries[h.walk], sizeof h.entries[0], "%s", console.input_text);
    if (key == menu_keys.up) {
      if (h.walk < h.count - 1) ++h.walk;
    } else if (h.walk > 0) {
      --h.walk;
    }
    set_input(h.entries[h.walk]);
    return;
  }
  if (key == menu_keys.page_up) {
    if (console.scroll < console_scroll_max) ++console.scroll;
    return;
  }
  if (key == menu_keys.page_down) {
    if (console.scroll > 0) --console.scroll;
    return;
  }
  text_field_key(&console.input, key);
}

// Numbers typed at the console are refused when they are not finite.
static int read_int(const char* text, int* out) {
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text || value < -2147483647L || value > 2147483647L) return 0;
  *out = static_cast<int>(value);
  return 1;
}

static int read_double(const char* text, double* out) {
  char* end = nullptr;
  double value = std::strtod(text, &end);
  if (end == text || !std::isfinite(value)) return 0;
  *out = value;
  return 1;
}

static void toggle(int* flag, const char* name) {
  *flag = !*flag;
  console_printf("%.60s %s", name, *flag ? "ON" : "OFF");
}

static int cmd_togglefps(const char*) { return toggle(&draw_fps, "FPS display"), 1; }
static int cmd_toggletime(const char*) { return toggle(&draw_time, "Time display"), 1; }
static int cmd_toggleping(const char*) { return toggle(&draw_ping, "Ping display"), 1; }
static int cmd_togglespeed(const char*) { return toggle(&draw_speed, "Speed display"), 1; }
static int cmd_togglespy(const char*) { return toggle(&spy, "Spy mode"), 1; }
static int cmd_togglespam(const char*) { return toggle(&spam_filter, "Hide spam"), 1; }

static int cmd_bbopt(const char* arg) {
  int value = 0;
  // A letter after the word leaves the value as it was; the line is taken.
  if (read_int(arg, &value)) {
    if (value < 0) {
      console_print("Billboard optimization window cannot be negative");
      return 1;
    }
    billboard_optimize_lookahead = value;
  }
  console_printf("Billboard optimization window is now %d", billboard_optimize_lookahead);
  return 1;
}

static int cmd_fov(const char* arg) {
  double value = 0;
  if (!read_double(arg, &value)) {
    console_print("Usage: fov <degrees>");
    return 1;
  }
  slider_parse_value(&game_settings.fov, arg);
  console_print("fov set");
  return 1;
}

static int cmd_fpshist(const char*) {
  char line[256];
  int used = 0;
  for (int i = 0; i < frame_time_buckets; ++i) {
    used += std::snprintf(line + used, sizeof line - static_cast<size_t>(used), "%d=%d ", 128 >> i,
                          game_state.frame_time_histogram[i]);
    game_state.frame_time_histogram[i] = 0;
  }
  console_print(line);
  return 1;
}

static int cmd_forcereload(const char*) {
  track_reload_requested = 1;
  console_print("Track will be reloaded on next restart");
  return 1;
}

// "@setups/" and the name with blanks cut from both ends.
static int setup_name(const char* arg, char* out, size_t size) {
  while (*arg == ' ') ++arg;
  size_t length = std::strlen(arg);
  while (length > 0 && arg[length - 1] == ' ') --length;
  int written = std::snprintf(out, size, "%.*s", static_cast<int>(length), arg);
  return written >= 0 && static_cast<size_t>(written) < size;
}

static int cmd_readsetup(const char* arg) {
  char name[1024];
  if (!setup_name(arg, name, sizeof name)) {
    console_print("Error reading setup");
    return 1;
  }
  // A file that cannot be opened says so, naming it.
  if (read_bike_setup_file(name)) {
    read_setup_skins();
    console_print("Setup updated");
  }
  // Online the server hears of the setup, read or not.
  net_settings_changed = 1;
  rider* r = slot_rider(viewed_slot);
  // Only a local human rider takes the setup at once.
  if (r && slot_kind(viewed_slot) == 0) apply_bike_setup(r);
  return 1;
}

static int cmd_writesetup(const char* arg) {
  char name[1024];
  if (setup_name(arg, name, sizeof name) && write_bike_setup_file(name))
    console_print("Setup written");
  else
    console_print("Error writing setup");
  return 1;
}

static int cmd_randdump(const char*) { return 1; }

static int cmd_messagelines(const char* arg) {
  int value = 0;
  if (!read_int(arg, &value) || value < 0 || value > message_ring_size) {
    console_print("Usage: messagelines <0..1000>");
    return 1;
  }
  message_lines = value;
  console_printf("Maximum showing messages is now %d", message_lines);
  return 1;
}

static int cmd_demobackups(const char* arg) {
  int value = 0;
  if (!read_int(arg, &value) || value < 0) {
    console_print("Usage: demobackups <count>");
    return 1;
  }
  demo_backups = value;
  console_printf("Now keeping %d demo backups", demo_backups);
  return 1;
}

static int cmd_mapscale(const char* arg) {
  double value = 0;
  if (!read_double(arg, &value)) {
    console_print("Usage: mapscale <0.125..8>");
    return 1;
  }
  map_scale = value < 0.125 ? 0.125 : value > 8 ? 8 : value;
  console_printf("Map scale set to %f", map_scale);
  return 1;
}

static int cmd_clearlog(const char*) {
  // The lines go too, or the page would still show them.
  message_ring_clear();
  message_ring.write_index = 0;
  message_ring.on_screen = 0;
  return 1;
}

static int cmd_log(const char* arg) {
  const char* word_end = arg;
  while (*word_end && *word_end != ' ') ++word_end;
  double spacing = 10;
  const char* rest = word_end;
  while (*rest == ' ') ++rest;
  if (*rest && !read_double(rest, &spacing)) {
    console_print("Usage: log <flags> [spacing]");
    return 1;
  }
  debug_flags = 0;
  for (const char* c = arg; c < word_end; ++c)
    if (*c == 'e') debug_flags |= 1;
  debug_label_spacing = static_cast<float>(spacing);
  console_printf("Logging 0x%x, spacing %f", debug_flags, static_cast<double>(debug_label_spacing));
  return 1;
}

static int cmd_reportstutter(const char* arg) {
  double value = 0;
  if (!read_double(arg, &value) || value < 0) {
    console_print("Usage: reportstutter <seconds>");
    return 1;
  }
  game_state.stutter_threshold = value;
  console_printf("Stutter threshold set to %f", value);
  return 1;
}

static int cmd_togglekeycam(const char*) { return toggle(&key_camera_on, "Keycam mode"), 1; }
static int cmd_togglegraph(const char*) { return toggle(&telemetry_graph_on, "Suspension graph"), 1; }
static int cmd_renderstats(const char*) { return render_stats_reset(), 1; }

static int cmd_pipe(const char* arg) {
  // 160 means no rider: slot_rider checks the range before any lookup.
  rider* r = slot_rider(viewed_slot);
  if (!r) return 0;
  const char* bike_class = rider_bike_class(r);
  const int four_stroke = bike_class && (!std::strcmp(bike_class, "250f") || !std::strcmp(bike_class, "450f"));
  double v[3] = {four_stroke ? 5.0 : 1.75, four_stroke ? 0.9182072 : 0.3, four_stroke ? -0.85 : -0.75};
  int bands[2] = {0, 15};
  double read[3];
  int read_bands[2];
  const int got = std::sscanf(arg, "%lf %lf %lf %d %d", &read[0], &read[1], &read[2], &read_bands[0], &read_bands[1]);
  for (int i = 0; i < got && i < 3; ++i) {
    if (!std::isfinite(read[i])) {
      console_print("Usage: pipe <length> <spread> <feedback> <first band> <last band>");
      return 1;
    }
    v[i] = read[i];
  }
  for (int i = 3; i < got; ++i) bands[i - 3] = read_bands[i - 3];
  set_pipe_bands(&engine_voices[viewed_slot].definition, static_cast<float>(v[0]), static_cast<float>(v[1]),
                 static_cast<float>(v[2]), bands[0], bands[1]);
  console_print("Pipe updated");
  return 1;
}

static int cmd_listfiles(const char* arg) {
  file_index_build();
  const int count = file_index_count(&game_file_index);
  for (int i = 0; i < count; ++i) {
    char text[1024];
    if (!file_index_entry_text(i, text, sizeof text)) continue;
    if (*arg) {
      // Contains the pattern, ignoring case.
      const size_t n = std::strlen(arg);
      int found = 0;
      for (const char* t = text; *t && !found; ++t) {
        size_t k = 0;
        while (k < n && t[k] &&
               std::tolower(static_cast<unsigned char>(t[k])) == std::tolower(static_cast<unsigned char>(arg[k])))
          ++k;
        found = k == n;
      }
      if (!found) continue;
    }
    console_printf("%s", text);
  }
  return 1;
}

static int cmd_hfvol(const char*) {
  const height_field* field = game_state.terrain;
  if (!field || !field->heights) {
    console_print("No track loaded");
    return 1;
  }
  double sum = 0;
  const size_t cells = static_cast<size_t>(field->size) * static_cast<size_t>(field->size);
  for (size_t i = 0; i < cells; ++i) sum += field->heights[i];
  console_printf("%f\n", sum);
  return 1;
}

static int cmd_toggledecals(const char*) {
  height_field* field = game_state.terrain;
  if (!field) {
    console_print("No track loaded");
    return 1;
  }
  int hide = field->hide_decals != 0;
  toggle(&hide, "Hide decals");
  field->hide_decals = hide;
  for (auto& row : field->decal_bins)
    for (growable_array& bin : row) bin.count = 0;
  if (field->decals.data)
    for (size_t i = 0; i < field->decals.count; i++) decal_bin_insert(field, static_cast<int>(i));
  if (field->size > 1) ground_invalidate_rect(field, 0, 0, field->size - 2, field->size - 2);
  return 1;
}

static int cmd_camangle(const char* arg) {
  if (!slot_rider(viewed_slot)) return 0;
  double yaw = 0, pitch = 0;
  if (std::sscanf(arg, "%lf %lf", &yaw, &pitch) != 2 || !std::isfinite(yaw) || !std::isfinite(pitch)) {
    console_print("Usage: camangle <yaw> <pitch>");
    return 1;
  }
  const double degrees = 0.017453292519943295;
  free_camera.yaw = static_cast<float>(yaw * degrees);
  free_camera.pitch = static_cast<float>(pitch * degrees);
  free_camera.yaw_rate = 0;
  free_camera.pitch_rate = 0;
  console_print("Camera aimed");
  return 1;
}

static int cmd_addkey(const char*) {
  if (add_camera_keyframe()) console_print("Keyframe added");
  return 1;
}

static int cmd_deletekey(const char*) {
  delete_camera_keyframe();
  console_print("Keyframe deleted");
  return 1;
}

static int cmd_clearkeys(const char*) {
  clear_camera_keyframes();
  console_print("Keyframes cleared");
  return 1;
}

static int cmd_listkeys(const char*) {
  for (size_t i = 0; i < camera_key_count; ++i) {
    const camera_key& k = camera_keys[i];
    console_printf("pos = { %.2f, %.2f, %.2f }, rot = { %.2f, %.2f, %.2f, %.2f }, time = %.2f",
                   static_cast<double>(k.position[0]), static_cast<double>(k.position[1]),
                   static_cast<double>(k.position[2]), static_cast<double>(k.quaternion[0]),
                   static_cast<double>(k.quaternion[1]), static_cast<double>(k.quaternion[2]),
                   static_cast<double>(k.quaternion[3]), k.tick * tick_length);
  }
  return 1;
}

static int cmd_savetrackinfo(const char*) { return write_trackinfo(), 1; }
static int cmd_namedemo(const char* arg) { return name_demo(arg), 1; }
static int cmd_readkeys(const char* arg) { return read_camera_keyframes(arg), 1; }
static int cmd_writekeys(const char* arg) { return write_camera_keyframes(arg), 1; }

// Uploads go through the multiplayer client, which says what went wrong.
static int cmd_sendfile(const char* name) {
  if (race_hooks.net_send_file) race_hooks.net_send_file(name);
  else console_print("Not connected to server");
  return 1;
}

enum console_match { match_whole, match_prefix, match_word };

struct console_command {
  const char* word;
  console_match match;
  int (*run)(const char* argument);
};

static const console_command console_commands[] = {
    {"savetrackinfo", match_whole, cmd_savetrackinfo},
    {"renderstats", match_whole, cmd_renderstats},
    {"togglespy", match_whole, cmd_togglespy},
    {"togglegraph", match_whole, cmd_togglegraph},
    {"bbopt", match_prefix, cmd_bbopt},
    {"pipe", match_prefix, cmd_pipe},
    {"namedemo", match_prefix, cmd_namedemo},
    {"camangle", match_prefix, cmd_camangle},
    {"fov", match_prefix, cmd_fov},
    {"fpshist", match_prefix, cmd_fpshist},
    {"forcereload", match_whole, cmd_forcereload},
    {"readsetup", match_prefix, cmd_readsetup},
    {"writesetup", match_prefix, cmd_writesetup},
    {"randdump", match_whole, cmd_randdump},
    {"addkey", match_whole, cmd_addkey},
    {"deletekey", match_whole, cmd_deletekey},
    {"rmkey", match_whole, cmd_deletekey},
    {"clearkeys", match_whole, cmd_clearkeys},
    {"listkeys", match_whole, cmd_listkeys},
    {"readkeys", match_prefix, cmd_readkeys},
    {"writekeys", match_prefix, cmd_writekeys},
    {"togglekeycam", match_whole, cmd_togglekeycam},
    {"togglefps", match_whole, cmd_togglefps},
    {"toggletime", match_whole, cmd_toggletime},
    {"toggleping", match_whole, cmd_toggleping},
    {"togglespam", match_whole, cmd_togglespam},
    {"togglespeed", match_whole, cmd_togglespeed},
    {"sendfile", match_word, cmd_sendfile},
    {"listfiles", match_word, cmd_listfiles},
    {"messagelines", match_word, cmd_messagelines},
    {"demobackups", match_word, cmd_demobackups},
    {"mapscale", match_word, cmd_mapscale},
    {"hfvol", match_whole, cmd_hfvol},
    {"toggledecals", match_whole, cmd_toggledecals},
    {"clearlog", match_word, cmd_clearlog},
    {"log", match_word, cmd_log},
    {"reportstutter", match_word, cmd_reportstutter},
};

// The argument of a matching command, or null when the text does not match.
static const char* match_command(const console_command& c, const char* text) {
  const size_t length = std::strlen(c.word);
  switch (c.match) {
    case match_whole:
      return std::strcmp(text, c.word) == 0 ? text + length : nullptr;
    case match_prefix:
      if (std::strncmp(text, c.word, length) != 0) return nullptr;
      // A bare word has an empty argument rather than one past its end.
      return text[length] ? text + length + 1 : text + length;
    case match_word: {
      while (*text == ' ') ++text;
      if (std::strncmp(text, c.word, length) != 0) return nullptr;
      if (text[length] != 0 && text[length] != ' ') return nullptr;
      const char* arg = text + length;
      while (*arg == ' ') ++arg;
      return arg;
    }
  }
  return nullptr;
}

static int run_chat(const char* text) {
  const double now = console.now();
  // The first chat line of a run is never called spam.
  if (console.last_chat >= 0 && now - console.last_chat <= 2) {
    console_print("No one likes a spammer");
    return 0;
  }
  console.last_chat = now;
  // The client prints "Not connected to server" itself when offline.
  if (race_hooks.net_send_text) race_hooks.net_send_text(text);
  else console_print("Not connected to server");
  return 1;
}

int run_console_line(const char* text) {
  if (text[0] != '/' && text[0] != '\\') return run_chat(text);
  const char* command = text + 1;
  for (const console_command& c : console_commands) {
    const char* arg = match_command(c, command);
    if (!arg) continue;
    return c.run(arg);
  }
  return 0;
}
