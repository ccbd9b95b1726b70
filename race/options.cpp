// Command-line parsing: the argument cursor, the option matcher and the
// options in the order they are tried.
#include "race/options.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets/model_settings.h"
#include "assets/texture_settings.h"
#include "bike/wheel_contacts.h"
#include "platform/log.h"
#include "race/game_state.h"
#include "race/loop_options.h"
#include "race/race_settings.h"
#include "terrain/ground_texture.h"
#include "terrain/terrain_mesh.h"
#include "terrain/terrain_settings.h"

void arg_cursor_init(arg_cursor* cursor, int argc, char** argv) {
  cursor->remaining = argc > 1 ? argc - 1 : 0;
  cursor->next = cursor->remaining ? argv + 1 : nullptr;
  cursor->end_of_options = 0;
}

static void consume(arg_cursor* cursor, int count) {
  cursor->remaining -= count;
  cursor->next += count;
}

int match_option(arg_cursor* cursor, const char* name, const char** value) {
  if (cursor->remaining <= 0 || cursor->end_of_options) return 0;
  const char* arg = *cursor->next;
  if (!value) {
    if (std::strcmp(arg, name) != 0) return 0;
    consume(cursor, 1);
    return 1;
  }
  if (std::strcmp(arg, "--") == 0) {
    cursor->end_of_options = 1;
    consume(cursor, 1);
    return 0;
  }
  if (std::strcmp(arg, name) == 0) {
    if (cursor->remaining >= 2) {
      *value = cursor->next[1];
      consume(cursor, 2);
    } else {
      *value = nullptr;
      consume(cursor, 1);
    }
    return 1;
  }
  const size_t length = std::strlen(name);
  if (std::strncmp(arg, name, length) == 0 && arg[length] == '=') {
    *value = arg + length + 1;
    consume(cursor, 1);
    return 1;
  }
  return 0;
}

// A whole number in min..max with nothing before or after it but the
// number itself.
static int parse_int(const char* text, long min, long max, int* out) {
  if (!text || !*text || std::strchr(" \t\n\r\f\v", *text)) return 0;
  char* end;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno || *end || v < min || v > max) return 0;
  *out = static_cast<int>(v);
  return 1;
}

// A finite number, the whole text.
static int parse_float(const char* text, double* out) {
  if (!text || !*text || std::strchr(" \t\n\r\f\v", *text)) return 0;
  char* end;
  const double v = std::strtod(text, &end);
  if (*end || !std::isfinite(v)) return 0;
  *out = v;
  return 1;
}

static double clamp(double v, double low, double high) { return v < low ? low : v > high ? high : v; }

// "x,y,z": three finite numbers.
static int parse_vector(const char* text, float out[3]) {
  if (!text) return 0;
  char part[3][64];
  const char* p = text;
  for (int i = 0; i < 3; i++) {
    const char* stop = i < 2 ? std::strchr(p, ',') : p + std::strlen(p);
    if (!stop || stop - p >= static_cast<long>(sizeof part[i])) return 0;
    std::memcpy(part[i], p, stop - p);
    part[i][stop - p] = 0;
    p = stop + 1;
  }
  double v[3];
  for (int i = 0; i < 3; i++)
    if (!parse_float(part[i], &v[i]) || std::fabs(v[i]) > 3.0e38) return 0;
  for (int i = 0; i < 3; i++) out[i] = static_cast<float>(v[i]);
  return 1;
}

static void fail(command_line* out, const char* format, const char* arg) {
  out->status = command_line_error;
  std::snprintf(out->message, sizeof out->message, format, arg);
}

static const char link_prefix[] = "brakkanware:";

namespace {

enum option_kind { flag, valued };

struct option_entry {
  const char* name;
  option_kind kind;
};

// The options in the order they are tried.
enum option_id {
  opt_fugly, opt_nosound, opt_novertexarrays, opt_learn, opt_nolearn, opt_nommx, opt_debug,
  opt_super_debug, opt_practice, opt_warp, opt_texture_detail, opt_ground_texture_detail,
  opt_roostfrequency, opt_erode, opt_detail, opt_max_detail_distance, opt_lod_scale, opt_lod_bias,
  opt_lock_fps, opt_fake_lag, opt_fake_loss, opt_record_audio, opt_record_video, opt_rotate_lineup,
  opt_editor, opt_hidden_pause, opt_hidden_hud, opt_bikes, opt_width, opt_height, opt_depth,
  opt_zdepth, opt_draw_fps, opt_draw_time, opt_draw_ping, opt_draw_speed, opt_draw_render_stats,
  opt_accurate_skip, opt_track, opt_connect, opt_password, opt_chase_center, opt_open_home,
  opt_glfinish, opt_print_orientation, option_count
};

const option_entry options[option_count] = {
    {"--fugly", flag},
    {"--nosound", flag},
    {"--novertexarrays", flag},
    {"--learn", flag},
    {"--nolearn", flag},
    {"--nommx", flag},
    {"--debug", flag},
    {"--super-debug", flag},
    {"--practice", flag},
    {"--warp", flag},
    {"--texture-detail", valued},
    {"--ground-texture-detail", valued},
    {"--roostfrequency", valued},
    {"--erode", valued},
    {"--detail", valued},
    {"--max-detail-distance", valued},
    {"--lod-scale", valued},
    {"--lod-bias", valued},
    {"--lock-fps", valued},
    {"--fake-lag", valued},
    {"--fake-loss", valued},
    {"--record-audio", valued},
    {"--record-video", flag},
    {"--rotate-lineup", valued},
    {"--editor", flag},
    {"--hidden-pause", flag},
    {"--hidden-hud", flag},
    {"--bikes", valued},
    {"--width", valued},
    {"--height", valued},
    {"--depth", valued},
    {"--zdepth", valued},
    {"--draw-fps", valued},
    {"--draw-time", valued},
    {"--draw-ping", valued},
    {"--draw-speed", valued},
    {"--draw-render-stats", valued},
    {"--accurate-skip", flag},
    {"--track", valued},
    {"--connect", valued},
    {"--password", valued},
    {"--chase-center", valued},
    {"--open-home", flag},
    {"--glfinish", flag},
    {"--print-orientation", flag},
};

}  // namespace

static int bit_depth_ok(int bits) { return bits == 16 || bits == 24 || bits == 32; }

// Applies option `id` with `value` (null for a flag, or a valued option
// that came last with nothing after it). 0 after setting the error.
static int apply_option(int id, const char* value, command_line* out) {
  const char* name = options[id].name;
  if (options[id].kind == valued && !value) {
    fail(out, "Bad arg for %s\n", name);
    return 0;
  }
  int i = 0;
  double f = 0;
  switch (id) {
    case opt_fugly: game_state.fugly = 1; break;
    case opt_nosound: out->nosound = 1; break;
    case opt_novertexarrays: no_vertex_arrays = 1; break;
    case opt_learn: game_state.learn_lines = 1; break;
    case opt_nolearn: game_state.learn_lines = 0; break;
    case opt_nommx:
      if (mmx_available) log_printf("Ignoring MMX\n");
      mmx_available = 0;
      break;
    case opt_debug: game_state.debug_level = 1; break;
    case opt_super_debug: game_state.debug_level = 2; break;
    case opt_practice: game_state.practice = 1; break;
    case opt_warp: loop_options.warp = 1; break;
    case opt_texture_detail:
      if (!parse_int(value, INT_MIN, INT_MAX, &i)) break;
      texture_reduction = ground_texture_level0 = static_cast<int>(clamp(i, 0, 4));
      return 1;
    case opt_ground_texture_detail:
      if (!parse_int(value, INT_MIN, INT_MAX, &i)) break;
      ground_texture_level0 = static_cast<int>(clamp(i, 0, 4));
      return 1;
    case opt_roostfrequency:
      if (!parse_int(value, INT_MIN, INT_MAX, &i)) break;
      roost_density = static_cast<int>(clamp(i, 0, 1000));
      return 1;
    case opt_erode:
      if (!parse_float(value, &f)) break;
      loop_options.erode_level = static_cast<int>(std::floor(clamp(f, 0, 100) * 1024));
      return 1;
    case opt_detail:
      if (!parse_float(value, &f) || f <= 0 || f > 3.0e38) break;
      lod_error_scale = static_cast<float>(f);
      return 1;
    case opt_max_detail_distance:
      if (!parse_float(value, &f)) break;
      return 1;
    case opt_lod_scale:
      if (!parse_float(value, &f)) break;
      model_lod_scale = static_cast<float>(clamp(f, 0.000001, 1000000));
      return 1;
    case opt_lod_bias:
      if (!parse_float(value, &f) || std::fabs(f) > 3.0e38) break;
      model_lod_offset = static_cast<float>(f);
      return 1;
    case opt_lock_fps:
      if (!parse_float(value, &f) || f < 0) break;
      loop_options.lock_fps = f == 0 ? 0 : clamp(f, 1, 1000);
      return 1;
    case opt_fake_lag:
      if (!parse_float(value, &f)) break;
      game_state.fake_lag = clamp(f * 0.001, 0, 1);
      return 1;
    case opt_fake_loss:
      if (!parse_int(value, INT_MIN, INT_MAX, &i)) break;
      game_state.fake_loss = static_cast<int>(clamp(i, 0, 100));
      return 1;
    case opt_record_audio:
      if (!*value) break;
      loop_options.record_audio_name = value;
      return 1;
    case opt_record_video: loop_options.record_video = 1; break;
    case opt_rotate_lineup:
      if (!parse_int(value, INT_MIN, INT_MAX, &i)) break;
      game_state.rotate_lineup = i;
      return 1;
    case opt_editor: game_state.editor_enabled = 1; break;
    case opt_hidden_pause: loop_options.show_pause_text = 0; break;
    case opt_hidden_hud: loop_options.show_hud = 0; break;
    case opt_bikes: std::snprintf(out->notice, sizeof out->notice, "--bikes doesn't do anything anymore\n"); break;
    case opt_width:
    case opt_height:
      if (!parse_int(value, 1, window_size_max, &i)) break;
      (id == opt_width ? xres : yres) = i;
      return 1;
    case opt_depth:
    case opt_zdepth:
      if (!parse_int(value, INT_MIN, INT_MAX, &i) || !bit_depth_ok(i)) break;
      (id == opt_depth ? out->depth : out->zdepth) = i;
      return 1;
    case opt_draw_fps:
    case opt_draw_time:
    case opt_draw_ping:
    case opt_draw_speed:
    case opt_draw_render_stats:
      if (!parse_int(value, 0, INT_MAX, &i)) break;
      if (id == opt_draw_fps) draw_fps = i;
      if (id == opt_draw_time) draw_time = i;
      if (id == opt_draw_ping) draw_ping = i;
      if (id == opt_draw_speed) draw_speed = i;
      if (id == opt_draw_render_stats) game_state.draw_render_stats = i;
      return 1;
    case opt_accurate_skip: game_state.accurate_skip = 1; break;
    case opt_track:
      if (!*value) break;
      out->track = value;
      game_state.track_dir = value;
      return 1;
    case opt_connect: {
      const char* server = value;
      if (std::strncmp(server, link_prefix, sizeof link_prefix - 1) == 0) server += sizeof link_prefix - 1;
      if (!*server || std::strlen(server) > connect_name_max) break;
      out->server = server;
      game_state.connect_target = server;
      return 1;
    }
    case opt_password: game_state.net_password = value; break;
    case opt_chase_center:
      if (!parse_vector(value, loop_options.chase_center)) break;
      loop_options.chase_center_set = 1;
      return 1;
    case opt_open_home: out->status = command_line_open_home; break;
    case opt_glfinish: loop_options.gl_finish = 1; break;
    case opt_print_orientation: game_state.print_orientation = 1; break;
  }
  if (options[id].kind == flag || id == opt_bikes || id == opt_password) return 1;
  fail(out, "Bad arg for %s\n", name);
  return 0;
}

void parse_command_line(int argc, char** argv, command_line* out) {
  std::memset(out, 0, sizeof *out);
  out->depth = 16;
  out->zdepth = 16;
  arg_cursor cursor;
  arg_cursor_init(&cursor, argc, argv);
  const char* demo = nullptr;
  while (cursor.remaining > 0) {
    int matched = 0;
    for (int id = 0; id < option_count && !matched; id++) {
      const char* value = nullptr;
      if (!match_option(&cursor, options[id].name, options[id].kind == valued ? &value : nullptr)) continue;
      matched = 1;
      if (!apply_option(id, value, out) || out->status == command_line_open_home) return;
    }
    if (matched || cursor.remaining == 0) continue;
    const char* arg = *cursor.next;
    if (arg[0] == '-' && !cursor.end_of_options) {
      fail(out, "bad option '%s'\n", arg);
      return;
    }
    if (demo) {
      fail(out, "Too many files!\n", arg);
      return;
    }
    demo = arg;
    consume(&cursor, 1);
  }
  game_state.demo_argument = demo;
}

int server_history_push(char (*history)[server_name_size], const char* name) {
  if (!*name || std::strncmp(history[0], name, server_name_size) == 0) return 0;
  std::memmove(history[1], history[0], (server_history_entries - 1) * sizeof history[0]);
  std::snprintf(history[0], server_name_size, "%s", name);
  return 1;
}
