// The frame loop and what it owns: view modes, frame timing, the per-tick
// input and controls, captures and the periodic reports.
#include "race/frame_loop.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets/font.h"
#include "assets/held_controls.h"
#include "assets/image.h"
#include "assets/loading.h"
#include "assets/view_extent.h"
#include "assets/view_settings.h"
#include "bike/rider.h"
#include "core/file_index.h"
#include "core/game_clock.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "platform/audio.h"
#include "platform/input.h"
#include "platform/log.h"
#include "race/binding_capture.h"
#include "race/control_bindings.h"
#include "race/game_state.h"
#include "race/gate_timing.h"
#include "race/loop_options.h"
#include "race/menu_screen.h"
#include "race/projection.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/race_view.h"
#include "race/screen_draw.h"
#include "race/setup_baseline.h"
#include "terrain/dynamics_world.h"
#include "terrain/erode_queue.h"
#include "terrain/height_field.h"
#include "terrain/terrain_lod.h"
#include "terrain/terrain_settings.h"
#include "terrain/track.h"

frame_loop_state frame_loop;

const char* const frame_phase_names[10] = {"draw", "flip", "sound", "getmessage", "processmessage",
                                           "action", "net", "tic", "erode", "update"};

namespace {

const double tick_seconds = 1.0 / 128.0;
const double longest_advance = 0.125;
const int warp_ticks = 100;
const int tab_code = 9;
const int net_text_item_bytes = 480;

// The control map the loop keeps values in: one entry per bike binding.
control_map_entry loop_control_map[control_binding_input_count + 1];

int online() { return game_state.connect_target != nullptr; }

void build_control_map() {
  for (int i = 0; i < control_binding_input_count; i++) {
    const control_binding_input& in = control_binding_inputs[i];
    loop_control_map[i] = {&control_bindings[in.binding], in.control, in.sign, 0.0f};
  }
  loop_control_map[control_binding_input_count] = {nullptr, 0, 0, 0.0f};
  control_map = loop_control_map;
}

int binding_pressed(int binding, int code, int pressed) {
  return pressed && control_bindings[binding].key_code != 0 && control_bindings[binding].key_code == code;
}

int is_code(int which, int code) { return game_state.menu_key_codes[which] != 0 && game_state.menu_key_codes[which] == code; }

void simulation_tick() {
  if (race_hooks.simulation_tick) race_hooks.simulation_tick();
}

void view_mode_step() {
  const int slot = viewed_slot;
  if (game_state.track_dir && frame_loop.view_mode == view_loading) frame_loop.view_mode = view_onbike;
  frame_loop.local_view = slot_kind(slot) == RIDER_LOCAL && !(spy && frame_loop.view_mode == view_race);
  if (frame_loop.local_view && frame_loop.view_mode != view_editor && frame_loop.view_mode != view_onbike &&
      frame_loop.view_mode != view_chase)
    frame_loop.view_mode = view_onbike;
  if (!slot_rider(slot)) frame_loop.view_mode = view_race;
  if (!game_state.track_dir) frame_loop.view_mode = view_loading;
}

// Text centred on line `line` of 30.
void draw_centred_line(int line, const char* text) {
  menu_begin_text_scale(30.0f);
  glTranslatef(0.0f, -(float)line, 0.0f);
  draw_text_centered_shadowed(1, 1, 1, 1, 0.0f, 30.0f * view_xe / view_ye, text);
  menu_pop_transform();
}

// Stops the video capture after a failed write; the game runs on.
void stop_video(const char* why) {
  loop_options.record_video = 0;
  frame_loop.record_video_failed = 1;
  console_printf("Video recording stopped (%s)\n", why);
}

void capture_video_frame(int width, int height) {
  if (width <= 0 || height <= 0) return;
  const size_t row = (size_t)width * 3;
  uint8_t* rgb = (uint8_t*)std::malloc(row * (size_t)height);
  if (!rgb) return;  // no memory: this frame is not captured
  if (frame_io.read_pixels && frame_io.read_pixels(rgb, width, height)) {
    char header[64];
    const int n = std::snprintf(header, sizeof header, "P6\n%d %d\n255\n", width, height);
    int ok = frame_io.write_video(header, (size_t)n) == (size_t)n;
    for (int y = height - 1; ok && y >= 0; y--) ok = frame_io.write_video(rgb + row * (size_t)y, row) == row;
    if (!ok) stop_video("standard output refused the frame");
  }
  std::free(rgb);
}

// 0 when the window gave no frame (minimised): nothing drawn, no flip.
int draw_step() {
  int width = 0, height = 0;
  if (!frame_io.begin_frame || !frame_io.begin_frame(&width, &height)) return 0;
  game_state.screen_width = width;
  game_state.screen_height = height;
  // The window's own mode: a Video Mode choice not yet switched to must not
  // take the full-screen size for the window's.
  if (game_state.window_video_mode == 1) {
    xres = width;
    yres = height;
  }
  set_projection(width, height, fov);
  const int slot = viewed_slot;
  const int hud = loop_options.show_hud;
  switch (frame_loop.view_mode) {
    case view_onbike:
      if (race_hooks.draw_onbike_view) race_hooks.draw_onbike_view(slot);
      if (hud && race_hooks.draw_hud) race_hooks.draw_hud(slot);
      break;
    case view_chase:
      if (race_hooks.draw_chase_view) race_hooks.draw_chase_view(slot);
      if (hud && race_hooks.draw_hud) race_hooks.draw_hud(slot);
      break;
    case view_race:
      if (race_hooks.draw_race_view) race_hooks.draw_race_view(slot);
      if (hud && game_state.auto_camera && slot_kind(slot) == RIDER_REMOTE && race_hooks.net_rider_name) {
        const char* name = race_hooks.net_rider_name(slot);
        if (name) draw_centred_line(28, name);
      }
      break;
    case view_editor:
      if (race_hooks.editor_draw) race_hooks.editor_draw();
      break;
    default:
      loading_draw_screen("");
      break;
  }
  if (hud && race_hooks.draw_info_board) race_hooks.draw_info_board(slot);
  if (loop_options.record_video && !frame_loop.paused && frame_loop.view_mode != view_loading)
    capture_video_frame(width, height);
  if (frame_loop.paused && loop_options.show_pause_text) draw_centred_line(1, "Paused");
  if (frame_loop.local_view && online() && own_start_position == race_no_slot)
    draw_centred_line(28, "Warmup mode - collisions disabled");
  if (race_hooks.draw_menu) race_hooks.draw_menu();
  stutter_check("draw");
  if (loop_options.gl_finish) glFinish();
  return 1;
}

// Histogram bin of a frame's wall time: the smallest k with
// tick x 2^k above it, or 7.
int histogram_bin(double elapsed) {
  for (int k = 0; k < 7; k++)
    if (tick_seconds * (double)(1 << k) > elapsed) return k;
  return 7;
}

double frame_timing() {
  double now = frame_io.now();
  double elapsed = now - frame_loop.last_frame_time;
  game_state.frame_time_histogram[histogram_bin(elapsed)]++;
  double advance;
  if (!online() && loop_options.lock_fps > 0) {
    const double frame = 1.0 / loop_options.lock_fps;
    if (elapsed < frame) {
      frame_io.sleep(frame - elapsed);
      now = frame_io.now();
    }
    advance = frame;
  } else if (!online() && loop_options.warp) {
    advance = warp_ticks * tick_seconds;
  } else {
    while (elapsed < tick_seconds) {
      frame_io.sleep(tick_seconds - elapsed);
      now = frame_io.now();
      elapsed = now - frame_loop.last_frame_time;
    }
    advance = elapsed < longest_advance ? elapsed : longest_advance;
  }
  if (game_state.frame_advance_min == 0 || advance < game_state.frame_advance_min)
    game_state.frame_advance_min = advance;
  if (advance > game_state.frame_advance_max) game_state.frame_advance_max = advance;
  if (online() && race_hooks.net_server_time_estimate) {
    const double lag = (race_hooks.net_server_time_estimate() - race_clock.current_tick - 1) * tick_seconds;
    advance = online_advance(advance, lag, race_clock.current_tick < race_clock.gate_drop_tick);
  }
  frame_loop.last_frame_seconds = now - frame_loop.last_frame_time;
  frame_loop.last_frame_time = now;
  frame_loop.sim_target += advance;
  game_clock += advance;
  return now;
}

double clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

static void read_cursor() {
  for (int i = 0; i < 2; i++) {
    axis_handle* a = game_state.cursor_axes[i];
    const int v = a && frame_io.read_axis ? frame_io.read_axis(a) : 0;
    (i == 0 ? game_state.cursor_x : game_state.cursor_y) = v;
  }
}

void cursor_and_menu_mouse() {
  const int old_x = game_state.cursor_x, old_y = game_state.cursor_y;
  read_cursor();
  // The editor's view and panel follow the pointer with no menu open.
  menu_screen.width = game_state.screen_width;
  menu_screen.height = game_state.screen_height;
  menu_screen.mouse_x = game_state.cursor_x;
  menu_screen.mouse_y = game_state.cursor_y;
  if (menu_page >= 0) {
    if (!game_state.mouse_held) {
      if (race_hooks.menu_hover_select) race_hooks.menu_hover_select();
    } else if ((game_state.cursor_x != old_x || game_state.cursor_y != old_y) && race_hooks.menu_key) {
      race_hooks.menu_key(16, menu_page);
    }
  }
  frame_loop.menu_page_seen = menu_page;
  game_state.menu_page_changed = 0;
}

void open_menu_key(int code) {
  if (race_hooks.menu_key) race_hooks.menu_key(code, menu_page);
  if (!game_state.track_dir) frame_loop.view_mode = view_loading;
}

// Tab: on-bike, chase camera, race view in turn (the editor in place of the
// chase camera when it is enabled); leaving the editor lifts every rider
// clear of the ground it may have raised.
void tab_view() {
  switch (frame_loop.view_mode) {
    case view_onbike: frame_loop.view_mode = game_state.editor_enabled ? view_editor : view_chase; break;
    case view_chase: frame_loop.view_mode = view_race; break;
    case view_race: frame_loop.view_mode = view_onbike; break;
    case view_editor:
      if (track_field.heights) rebuild_terrain_lod(&track_field);
      for (int i = 0; i < 160; i++)
        if (rider_slots[i]) lift_rider_clear(rider_slots[i]);
      if (contact_group) dJointGroupEmpty(contact_group);
      frame_loop.view_mode = view_chase;
      break;
    default: break;
  }
}

// Previous / Next Bike: step through the running order.
void step_viewed(int direction) {
  if (running_order.count <= 0) return;
  int at = running_order.count;
  for (int i = 0; i < running_order.count; i++)
    if (running_order.entries[i].slot == viewed_slot) at = i;
  int next = at + direction;
  if (next < 0) next = 0;
  if (next > running_order.count - 1) next = running_order.count - 1;
  if (frame_loop.local_view && !spy && !(online() && own_start_position == race_no_slot)) return;
  viewed_slot = running_order.entries[next].slot;
}

void audio_record_tick() {
  std::FILE* f = loop_options.record_audio_file;
  if (!f || !game_state.audio) return;
  const uint8_t* block = audio_readback(game_state.audio);
  const size_t n = 2 * (size_t)samples_per_tick;
  if (block && std::fwrite(block, 1, n, f) == n) return;
  console_printf("Audio recording stopped (can't write %.100s)\n",
                 loop_options.record_audio_name ? loop_options.record_audio_name : "the file");
  std::fclose(f);
  loop_options.record_audio_file = nullptr;
}

void fixed_step(double now) {
  frame_loop.sim_time += tick_seconds;
  const double deadline = now - (frame_loop.sim_target - frame_loop.sim_time);
  for (float& v : frame_loop.rider_input) v = 0.0f;

  int code, pressed;
  for (;;) {
    const int got = deadline >= now ? frame_io.get_event(&code, &pressed)
                                    : frame_io.get_event_before(&code, &pressed, deadline);
    if (!got) break;
    stutter_check("getmessage");
    frame_handle_event(code, pressed);
  }

  stutter_check("processmessage");
  if (binding_capture) watch_pots_update(game_clock);

  for (control_map_entry* e = control_map; e && e->binding; e++) {
    const menu_binding* b = e->binding;
    if (b->axis && frame_io.read_axis) {
      const double range = b->axis_maximum - b->axis_minimum;
      const double raw = frame_io.read_axis(b->axis) / 32768.0;
      e->value = range != 0 ? (float)clamp01((raw - b->axis_minimum) / range) : 0.0f;
    }
    if (e->control >= 0 && e->control < rider_input_count) frame_loop.rider_input[e->control] += (float)e->sign * e->value;
  }

  // "action"
  const int menu_open = menu_page >= 0;
  if (menu_open && frame_loop.local_view && !online()) return;  // the race stands while a menu is open offline
  if (frame_loop.view_mode == view_editor) {
    if (race_hooks.editor_update) race_hooks.editor_update();
    if (!online()) return;
  } else if (!menu_open && frame_loop.view_mode != view_loading) {
    if (frame_loop.local_view) {
      if (time_trial && frame_loop.rider_input[input_back_up] > 0.5f && time_trial_abort) restart_alone_at_gate();
      if (slot_kind(viewed_slot) == RIDER_LOCAL && slot_rider(viewed_slot))
        apply_controls(slot_rider(viewed_slot), frame_loop.rider_input);
    } else if (frame_loop.view_mode == view_chase) {
      if (race_hooks.chase_camera_controls) race_hooks.chase_camera_controls(frame_loop.rider_input);
    } else if (frame_loop.view_mode == view_race) {
      if (race_hooks.race_view_controls) race_hooks.race_view_controls(frame_loop.rider_input);
    }
  }
  stutter_check("action");

  // "net"
  if (online()) frame_loop.paused = 0;
  if (race_hooks.net_tick) race_hooks.net_tick();
  if (!game_state.track_dir) frame_loop.view_mode = view_loading;
  stutter_check("net");

  // "tic"
  if (!frame_loop.paused && frame_loop.view_mode != view_loading &&
      (!online() || (race_hooks.net_server_time_estimate && race_hooks.net_server_time_estimate() >= 1))) {
    simulation_tick();
    stutter_check("tic");
    audio_record_tick();
  }
}

void erode_step() {
  if (frame_loop.view_mode == view_loading || erode_queue.count <= 0 || erode_level < 1) return;
  float viewer[3];
  const float* at = nullptr;
  for (int i = 0; i < 160 && !at; i++) {
    if (!rider_slots[i] || rider_slot_kind[i] != RIDER_LOCAL) continue;
    const dReal* p = dBodyGetPosition(rider_slots[i]->bodies[RIDER_FRAME]);
    for (int k = 0; k < 3; k++) viewer[k] = (float)p[k];
    at = viewer;
  }
  const int32_t lock = track_field.edit_lock;
  track_field.edit_lock = 0;
  // The strength is the erosion level's: a backlog must not deepen the digs.
  erode_queue_process(at, (float)erode_level / 1024.0f);
  track_field.edit_lock = lock;
  stutter_check("erode");
}

void update_step() {
  if (frame_loop.view_mode == view_loading) return;
  const double delay = frame_loop.reshade_delay ? *frame_loop.reshade_delay : 0;
  const int d = delay < 0 ? 0 : delay > 20 ? 20 : static_cast<int>(delay);
  upload_interval = frame_loop.view_mode == view_editor ? 0 : (1u << d) - 1;
  if (track_field.heights) update_terrain_lod(&track_field);
  message_ring_expire();
  stutter_check("update");
}

// When BK_PRESS_FILE names a file, each key or mouse button press the game
// takes from its window adds a line (its input code), so a script knows a
// press arrived before it sends the next: a loaded X server may hand over
// several at once, and a page change drops the keys after it in its batch.
void note_press_taken(int code) {
  static std::FILE* file = nullptr;
  static bool opened = false;
  if (!opened) {
    opened = true;
    const char* path = std::getenv("BK_PRESS_FILE");
    if (path && *path) file = std::fopen(path, "a");
  }
  if (!file) return;
  std::fprintf(file, "0x%x\n", (unsigned)code);
  std::fflush(file);
}

}  // namespace

double online_advance(double advance, double lag, int before_drop) {
  if (lag < 0) return advance * (0.5 + 0.5 * clamp01(1 + lag));
  if (before_drop) return advance * (1 + 3 * clamp01(lag));
  return advance * (1 + 0.125 * clamp01(8 * lag));
}

void stutter_check(const char* phase) {
  if (game_state.stutter_threshold == 0) return;
  const double now = frame_io.now();
  if (game_state.last_phase_end > 0 && now - game_state.last_phase_end > game_state.stutter_threshold)
    console_printf("Stutter in %s - %f seconds", phase, now - game_state.last_phase_end);
  game_state.last_phase_end = now;
}

void frame_loop_start(double now) {
  frame_loop.view_mode = view_onbike;
  frame_loop.paused = 0;
  frame_loop.sim_time = frame_loop.sim_target = 0;
  frame_loop.last_frame_time = now;
  frame_loop.menu_page_seen = menu_page;
  for (float& v : frame_loop.rider_input) v = 0.0f;
  build_control_map();
}

void frame_handle_event(int code, int pressed) {
  if (pressed && ((code >= input_code_key && code <= input_code_key + 0x1FF) ||
                  (code >= input_code_mouse_left && code <= input_code_mouse_right)))
    note_press_taken(code);
  if (code == input_code_close) {
    game_state.quit_requested = 1;
    return;
  }
  if (menu_page != frame_loop.menu_page_seen) {
    frame_loop.menu_page_seen = menu_page;
    game_state.menu_page_changed = 1;
  }
  for (control_map_entry* e = control_map; e && e->binding; e++)
    if (e->binding->key_code != 0 && e->binding->key_code == code) e->value = pressed ? 1.0f : 0.0f;
  if (is_code(menu_key_cursor_left, code)) game_state.mouse_held = pressed;
  if (binding_capture) {
    if (pressed) watch_pots_key(code, game_clock);
    return;
  }
  if (pressed && is_code(menu_key_esc, code)) {
    menu_page = menu_page < 0 ? 0 : -1;
    menu_selection = 0;
    if (menu_page >= 0) open_menu_key(code);
    return;
  }
  if (menu_page >= 0) {
    // A click acts on the item under the pointer now: the pointer may have
    // moved since this frame's hover, in the same batch of events.
    if (pressed && is_code(menu_key_cursor_left, code)) {
      read_cursor();
      if (race_hooks.menu_hover_select) race_hooks.menu_hover_select();
    }
    if (pressed) open_menu_key(code);
    return;
  }
  if (frame_loop.view_mode != view_editor && binding_pressed(binding_console, code, pressed)) {
    menu_page = 16;
    menu_selection = 0;
    return;
  }
  if (frame_loop.view_mode == view_loading) return;
  if (frame_loop.view_mode == view_editor && race_hooks.editor_key) {
    // As in the menus, a click acts where the pointer is now: it may have
    // moved since this frame began, in the same batch of events.
    read_cursor();
    menu_screen.mouse_x = game_state.cursor_x;
    menu_screen.mouse_y = game_state.cursor_y;
    if (race_hooks.editor_key(code, pressed)) return;
  }
  if (binding_pressed(binding_pause, code, pressed) && !online()) frame_loop.paused = !frame_loop.paused;
  if (binding_pressed(binding_step, code, pressed) && frame_loop.paused) simulation_tick();
  if (pressed && code == tab_code) tab_view();
  if (binding_pressed(binding_rewind, code, pressed) && race_hooks.demo_skip) race_hooks.demo_skip(-1.0);
  if (binding_pressed(binding_skip, code, pressed) && race_hooks.demo_skip) race_hooks.demo_skip(1.0);
  if (binding_pressed(binding_prev, code, pressed)) step_viewed(-1);
  if (binding_pressed(binding_next, code, pressed)) step_viewed(1);
  if (binding_pressed(binding_screenshot, code, pressed) && frame_loop.view_mode != view_editor) take_screenshot();
  if (pressed && code >= '0' && code <= '9') {
    const int digit = code - '0';
    const int cameras = (int)track_cameras.count;
    race_camera_choice = digit == 0 ? -1 : (digit < cameras ? digit : cameras) - 1;
  }
}

void take_screenshot() {
  int number;
  if (game_state.screenshot_counter < 1) {
    unsigned largest = 0;
    const int n = file_index_count(&game_file_index);
    for (int i = 0; i < n; i++) {
      const file_index_entry* e = file_index_at(&game_file_index, i);
      const char* name = e->relative ? e->relative : e->name;
      unsigned k;
      if (name && std::sscanf(name, "screenshot%u", &k) == 1 && k > largest && k < 1000000) largest = k;
    }
    number = (int)largest + 1;
    game_state.screenshot_counter = number + 1;
  } else {
    number = game_state.screenshot_counter++;
  }
  char name[32];
  std::snprintf(name, sizeof name, "@screenshot%03d.png", number);
  const int width = game_state.screen_width, height = game_state.screen_height;
  int saved = 0;
  uint8_t* rgb = width > 0 && height > 0 ? (uint8_t*)std::malloc((size_t)width * 3 * (size_t)height) : nullptr;
  if (rgb && frame_io.read_pixels && frame_io.read_pixels(rgb, width, height))
    saved = image_write_screenshot(name, rgb, width, height);
  std::free(rgb);
  if (saved) console_printf("Saved \"screenshot%03d.png\"", number);
  else console_printf("Couldn't save \"screenshot%03d.png\"", number);
}

void setup_change_report() {
  if (game_clock < game_state.setup_report_time) return;
  game_state.setup_report_time = game_clock + 5;
  char text[net_text_item_bytes];
  if (setup_baseline_report(text, (int)sizeof text - 1) == 0) return;
  std::strncat(text, "\n", sizeof text - std::strlen(text) - 1);
  if (!online()) console_print(text);
  else if (race_hooks.net_send_text) race_hooks.net_send_text(text);
  setup_baseline_take();
}

void warp_rotation() {
  if (!loop_options.warp || frame_loop.view_mode == view_loading || running_order.count <= 0) return;
  if (laps_completed(running_order.entries[0].crossings) < race_clock.finish_lap) return;
  const int last = game_state.line_up[line_up_slots - 1];
  for (int i = line_up_slots - 1; i > 0; i--) game_state.line_up[i] = game_state.line_up[i - 1];
  game_state.line_up[0] = last;
  reset_session(game_state.line_up, 0, record_demos, (int)(race_minutes * 60.0 / tick_seconds),
                (int)race_laps_choice, race_skill);
}

namespace {

// The test scripts wait on the game's frames rather than on the clock: when
// BK_FRAME_FILE names a file, each frame shown adds a line to it, so a
// script can wait until the frames after its input have been drawn however
// slowly the machine runs.
void note_frame_shown() {
  static std::FILE* file = nullptr;
  static bool opened = false;
  static unsigned long frames = 0;
  if (!opened) {
    opened = true;
    const char* path = std::getenv("BK_FRAME_FILE");
    if (path && *path) file = std::fopen(path, "a");
  }
  if (!file) return;
  std::fprintf(file, "%lu\n", ++frames);
  std::fflush(file);
}


}  // namespace

int frame_loop_pass() {
  if (game_state.quit_requested) return 0;
  view_mode_step();
  if (draw_step()) {
    if (frame_io.end_frame && !frame_io.end_frame()) return 0;
    stutter_check("flip");
    note_frame_shown();
  }
  if (game_state.audio) {
    const float volume = frame_loop.paused || frame_loop.view_mode == view_editor ? 0.0f
                         : menu_page < 0                                        ? 1.0f
                         : !frame_loop.local_view                               ? 0.25f
                                                                                : 0.0f;
    if (race_hooks.update_sound_scene) race_hooks.update_sound_scene(volume);
    audio_update(game_state.audio);
    stutter_check("sound");
  }
  const double now = frame_timing();
  cursor_and_menu_mouse();
  while (frame_loop.sim_time < frame_loop.sim_target) fixed_step(now);
  warp_rotation();
  erode_step();
  update_step();
  setup_change_report();
  return 1;
}

void run_frame_loop() {
  while (frame_loop_pass()) {
  }
}
