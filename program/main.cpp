// The brakkan executable: start-up in its fixed order, the frame loop, and
// shut-down in its fixed order.
#include <GL/gl.h>

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets/font.h"
#include "assets/game_window.h"
#include "assets/gl_ext.h"
#include "assets/loading.h"
#include "assets/model.h"
#include "assets/shader.h"
#include "assets/texture.h"
#include "assets/view_settings.h"
#include "bike/bike_model.h"
#include "bike/rider.h"
#include "core/file.h"
#include "core/file_index.h"
#include "core/intern.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/running_order.h"
#include "game_data_digest.h"
#include "platform/audio.h"
#include "race/chase_camera.h"
#include "race/engine_sound.h"
#include "race/sound_scene.h"
#include "platform/error_box.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/os/os.h"
#include "platform/os/os_events.h"
#include "platform/timebase.h"
#include "platform/window.h"
#include "race/bike_setup.h"
#include "race/binding_capture.h"
#include "race/control_bindings.h"
#include "race/demo_playback.h"
#include "race/detail_settings.h"
#include "race/frame_loop.h"
#include "race/hud.h"
#include "race/game_state.h"
#include "race/loop_options.h"
#include "race/options.h"
#include "race/projection.h"
#include "race/race_hooks.h"
#include "terrain/editor_hooks.h"
#include "net/net_client.h"
#include "race/net_values.h"
#include "editor/editor.h"
#include "race/race_reset.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/rider_look.h"
#include "race/scene.h"
#include "race/screen_draw.h"
#include "race/series.h"
#include "race/setup_baseline.h"
#include "race/startup_input.h"
#include "race/startup_lists.h"
#include "race/tick.h"
#include "race/version.h"
#include "race/video_modes.h"
#include "race/views.h"
#include "robot/auto_pilot.h"
#include "script/track_script.h"
#include "terrain/dynamics_world.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/terrain_settings.h"
#include "terrain/track.h"
#include "terrain/track_lighting.h"
#include "ui/bike_setup_pages.h"
#include "ui/bike_setup.h"
#include "ui/config.h"
#include "ui/game_settings.h"
#include "ui/graphics_pages.h"
#include "ui/menu.h"

namespace {

// Failures the player must see go to standard error and the log alike.
void report_failure(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::fputs(text, stderr);
  log_printf("%s", text);
}

// Takes the pending input. Loading frames throw input away, but never the
// request to close: a SIGTERM during start-up must still end the run.
void take_events() {
  int code, pressed;
  while (window_get_event(game_window, &code, &pressed))
    if (code == input_code_close) game_state.quit_requested = 1;
}

// The file listing's refresh while start-up walks the data folders: the
// refresh frame of the loading screen, drawn here so that the input it
// throws away goes through take_events first.
void startup_refresh() {
  take_events();
  game_state.loading_frames++;
  if (!loading_refresh_due(loading_now()) || !window_begin_frame(game_window)) return;
  set_projection(game_window->frame.width, game_window->frame.height, fov);
  loading_draw_spinner(loading.refresh_count);
  window_end_frame(game_window);
  game_state.last_loading_draw = loading_now();
}

void close_audio_for_oom() {
  if (game_state.audio) audio_close(game_state.audio);
  game_state.audio = nullptr;
}

void close_window_for_oom() {
  if (game_window) gl_window_close(game_window);
  game_window = nullptr;
}

void error_box_for_oom(const char* title, const char* text) { error_box(title, "%s", text); }

// The bike a first start rides, before the config and setups choose, with
// the handling of its stability.
void choose_default_bike() {
  int setup_keys = 0;
  bike_setup_entries(&setup_keys);  // gives the Bike list its options
  option_list_select(&bike_setup_menu.bike, "yz250f(2017)");
  apply_stability_level(static_cast<int>(bike_setup.stability));
}

// "--connect": the Server item and the top of its history.
void apply_connect(const char* server) {
  if (!server) return;
  text_field_set(&game_settings.server_name, server);
  static_assert(sizeof front_end_values.server_name_hist[0] == server_name_size, "history entry size");
  server_history_push(front_end_values.server_name_hist, server);
}

// The skins the rider can choose, with the chosen ones from the setup.
void collect_rider_look_choices() {
  const int row = bike_setup.bike;
  collect_rider_look(row >= 0 && row < BIKE_MODEL_COUNT ? &bike_models[row] : nullptr);
  select_setup_skins();
}

// The index of the scanned track in `folder`, or -1.
int find_track(const char* folder) {
  for (int i = 0; i < track_count; i++)
    if (std::strcmp(track_folders[i], folder) == 0) return i;
  return -1;
}

// The Track item lists the scanned tracks by their display names and shows
// the one asked for (else the config's, else "quarrybend"). 0 when
// "--track" names none.
int choose_track(const char* asked) {
  option_list_set_options(&game_settings.track, track_long_names, track_count);
  const char* name = asked ? asked : config_track_name ? config_track_name : "quarrybend";
  const int index = find_track(name);
  if (index >= 0) {
    *game_settings.track.selected = index;
    return 1;
  }
  if (!asked) return 1;
  report_failure("Unknown track '%s'\n", asked);
  return 0;
}

// An end of start-up before the frame loop: what is open is closed, but
// nothing is written (the config stays as it was read).
void end_early() {
  if (game_state.audio) audio_close(game_state.audio);
  game_state.audio = nullptr;
  if (loop_options.record_audio_file) std::fclose(loop_options.record_audio_file);
  loop_options.record_audio_file = nullptr;
  free_track_list();
  forget_setup_skin_options();
  free_rider_look();
  free_file_index();
  free_video_modes();
  if (game_window) gl_window_close(game_window);
  game_window = nullptr;
  intern_free_all();
  log_close();
}

// The window of the video mode: windowed at the configured size and the
// asked colour depth, or full screen at the mode's size (0 x 0 for the
// desktop's own).
window_state* open_game_window(const command_line& cl, int mode) {
  int flags = cl.depth;
  int width = xres, height = yres;
  if (mode != video_mode_windowed && mode >= 0 && mode < video_mode_list.count) {
    width = video_mode_list.size[mode][0];
    height = video_mode_list.size[mode][1];
    flags |= window_open_fullscreen;
  }
  game_state.window_video_mode = mode;
  return gl_window_open("Brakkan", width, height, flags, 0, cl.zdepth, 0, 0);
}

// Opens the sound output: the readback driver into the record file, none,
// or the device. 0 when the record file cannot be made.
int open_audio(int nosound) {
  if (loop_options.record_audio_name) {
    loop_options.record_audio_file = std::fopen(loop_options.record_audio_name, "wb");
    if (!loop_options.record_audio_file) {
      report_failure("Can't write %s\n", loop_options.record_audio_name);
      return 0;
    }
    game_state.audio = audio_open_readback(game_window, audio_mix_rate, samples_per_tick);
    return 1;
  }
  if (!nosound) game_state.audio = audio_open(game_window);
  return 1;
}

// Waits until the window gives a frame (it may start minimised); 0 when
// closed first.
int begin_first_frame() {
  while (!game_state.quit_requested) {
    if (window_begin_frame(game_window)) return 1;
    take_events();
    sleep_precise(0, 1000000 / 16);
  }
  return 0;
}

void load_gl_extensions_logged() {
  gl_load_extensions();
  log_printf("GL_VENDOR: %s\n", gl_caps.vendor);
  log_printf("GL_RENDERER: %s\n", gl_caps.renderer);
  log_printf("GL_VERSION: %s\n", gl_caps.version);
  log_printf("GL_EXTENSIONS: %s\n", gl_caps.extensions);
}

// The renderer's features from what the driver offers and the settings.
void choose_renderer_features() {
  const front_end_settings& v = front_end_values;
  ground_mipmaps = v.ground_mipmaps;
  // "Software", "Hardware/Copy", "Hardware/Direct", "Shaders/Copy",
  // "Shaders/Direct": the ground composed on the processor, copied from
  // the frame buffer, or rendered into its texture.
  static const int ground_modes[5] = {1, 2, 3, 2, 3};
  render_texture_mode = v.render_texture >= 0 && v.render_texture < 5 ? ground_modes[v.render_texture] : 1;
  shaders_activate(v.use_shader);
  terrain_shaders = shaders_active && v.render_texture >= 3;
  ground_gl_install();
  model_compile_lists = 1;
}

void set_gl_state(int fugly) {
  glClear(GL_COLOR_BUFFER_BIT);
  glClearColor(0.196078f, 0.6f, 0.8f, 0.0f);
  glEnable(GL_CULL_FACE);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (fugly) glShadeModel(GL_FLAT);
}

void load_fonts_and_pictures() {
  fonts_load();
  hud_textures[hud_tach] = texture_load("!@tach.png");
  hud_textures[hud_shifter] = texture_load("!@shifter.png");
  hud_textures[hud_pitboard] = texture_load("!@pitboard.png");
  loading.picture = texture_load("!@title.png");
}

// The frame loop hands the page along with the code; the pages read
// menu_page themselves.
static void menu_key_of_page(int code, int) { menu_key(code); }

// Start-up's last steps: the slots emptied, the race of a pending track
// (a robot in the first slot, 1000 laps, behind the main menu), then the
// frame loop until it ends. Shut-down's rider and track steps follow. 0
// when the loop ended on a frame that could not be shown rather than on a
// request to close.
int run_game() {
  engine_voices_clear();
  // A demo named on the command line races on its own track; its header is
  // read here only to learn which.
  static char demo_track[race_track_name_bytes];
  if (game_state.demo_argument && demo_open_playback()) {
    std::snprintf(demo_track, sizeof demo_track, "%s", demo_player.header.track);
    game_state.track_dir = demo_track;
    demo_close_playback();
  }
  for (int i = 0; i < line_up_slots; i++) {
    game_state.line_up[i] = 0;
    rider_slots[i] = nullptr;
    rider_slot_kind[i] = RIDER_REMOTE;
  }
  running_order_clear();
  if (!game_state.demo_argument) game_state.line_up[0] = line_up_robot;
  const int selected = game_settings.track.selected ? *game_settings.track.selected : -1;
  if (selected >= 0 && selected < track_count)
    std::snprintf(race_track_choice, sizeof race_track_choice, "%s", track_folders[selected]);
  if (game_state.track_dir) {
    game_state.track_dir = nullptr;
    reset_session(game_state.line_up, game_state.demo_argument != nullptr, 0, 0, 1000, race_skill);
  }
  game_state.demo_argument = nullptr;
  game_state.screen_width = xres;
  game_state.screen_height = yres;
  menu_page = game_state.connect_target ? -1 : 0;

  frame_io_use_platform();
  frame_loop.reshade_delay = &front_end_values.reshade_delay;
  frame_loop_start(frame_io.now());
  run_frame_loop();
  const int closed_in_order = game_state.quit_requested != 0;

  net_shutdown();
  if (race_hooks.record_series_event) race_hooks.record_series_event();
  if (race_hooks.lines_write_and_clear) race_hooks.lines_write_and_clear();
  log_printf("Deallocating bikes\n");
  for (int i = 0; i < line_up_slots; i++) {
    if (race_hooks.free_engine_voice) race_hooks.free_engine_voice(i);
    if (rider_slots[i]) rider_destroy(rider_slots[i]);
    rider_slots[i] = nullptr;
  }
  running_order_clear();
  log_printf("Finished deallocating bikes\n");
  if (race_hooks.free_track_script) race_hooks.free_track_script();
  if (race_hooks.free_script_sounds) race_hooks.free_script_sounds();
  if (race_hooks.demo_close_playback) race_hooks.demo_close_playback();
  if (race_hooks.demo_stop_recording) race_hooks.demo_stop_recording();
  free_track();
  return closed_in_order;
}

void shutdown_step(const char* text) { loading_show_logged(text); }

// The scene's settings and its entries in the hook tables.
void install_scene() {
  scene_model_detail = front_end_values.model_detail;
  scene_install_hooks();
  race_hooks.draw_onbike_view = draw_onbike_view_of;
  race_hooks.draw_race_view = draw_race_view_of;
  race_hooks.draw_chase_view = draw_chase_view;
  race_hooks.draw_hud = draw_hud;
  race_hooks.draw_info_board = draw_info_board;
  race_hooks.chase_camera_controls = chase_camera_controls_tick;
  race_hooks.race_view_controls = race_view_controls_tick;
  race_hooks.place_free_camera = place_free_camera;
}

void close_input_devices() {
  shutdown_step("Freeing memory (1)");
  scene_arrays_free();
  shutdown_step("Closing input devices");
  // A capture still running holds axes of its own.
  watch_pots_cancel();
  close_startup_input();
}

// Shut-down from the audio step on: the part every run that opened its
// window goes through, even one whose first frame failed.
void shut_down_from_audio() {
  shutdown_step("Closing audio");
  if (game_state.audio) audio_close(game_state.audio);
  game_state.audio = nullptr;
  if (loop_options.record_audio_file) std::fclose(loop_options.record_audio_file);
  loop_options.record_audio_file = nullptr;
  sound_tables_free();
  shutdown_step("Writing config files");
  write_config();
  shutdown_step("Freeing memory (2)");
  free_series_table();
  intern_free_all();
  free_track_list();
  shutdown_step("Freeing memory (3)");
  sound_samples_free();
  forget_setup_skin_options();
  free_rider_look();
  free_video_modes();
  free_demo_list();
  shutdown_step("Freeing file list");
  free_file_index();
  shutdown_step("Freeing memory (4)");
  shape_free_all();
  shutdown_step("Deleting textures");
  texture_delete_stale(1);
  loading.picture = 0;
  shutdown_step("Deleting models");
  model_delete_stale(1);
  fonts_free();
  gl_window_close(game_window);
  game_window = nullptr;
  log_close();
  check_print_allocations();
}

// The settings a run starts from: a first start's defaults with the config
// read over them.
void read_settings() {
  list_video_modes();
  option_list_set_options(&game_settings.video_mode, video_mode_names, video_mode_count);
  detect_mmx();
  if (!mmx_available) log_printf("This CPU does not have MMX!\n");
  choose_default_bike();
  // A first start's graphics settings: the Compatibility preset.
  apply_detail_preset(preset_compatibility);
  track_lighting_reset(&lighting);
  control_bindings_reset();
  read_config();
  setup_baseline_take();
  game_state.track_dir = nullptr;
  derive_graphics_settings();
}

enum { keep_running = -1 };

// The command line over the config: keep_running, or the exit code of a run
// that ends here.
int take_command_line(int argc, char** argv, command_line* cl) {
  parse_command_line(argc, argv, cl);
  if (cl->notice[0]) std::fputs(cl->notice, stderr);
  if (game_state.debug_level > 0) {
    char line[512];
    detail_settings_line(line, sizeof line);
    log_printf("%s\n", line);
  }
  if (cl->status == command_line_error) {
    report_failure("%s", cl->message);
    end_early();
    return 1;
  }
  if (cl->status == command_line_open_home) {
    open_home_folder();
    end_early();
    return 0;
  }
  apply_connect(cl->server);
  // A command-line start connects at once, with no menu in between.
  if (cl->server) net_request_connect(cl->server);
  if (game_state.connect_target) game_state.track_dir = nullptr;
  return keep_running;
}

void install_front_end_hooks() {
  install_screen_hooks();
  menu_pages_install();
  race_hooks.draw_menu = draw_menu;
  race_hooks.menu_key = menu_key_of_page;
  race_hooks.menu_hover_select = menu_hover_select;
  race_hooks.apply_bike_setup = apply_bike_setup;
  sound_scene_install_hooks();
  file_index_refresh_hook = startup_refresh;
  loading.build_text = game_version;
}

// The data folders walked and checked, then the race's parts hooked in and
// their tables built. 0 when there is no track to race on.
int scan_data_and_install_race() {
  startup_refresh();
  file_index_build();
  tick_install_hooks();
  stock_parts_digest = stock_parts_stored_digest;
  check_fixed_files();
  demo_install_hooks();
  collect_rider_look_choices();
  if (!scan_tracks()) {
    report_failure("No tracks found\n");
    return 0;
  }
  build_demo_list();
  results_install_hooks();
  robot_install_hooks();
  script_install_hooks();
  net_install_race_hooks();
  // Without "--editor" the track loader never calls into the editor, so
  // nothing of it is allocated.
  editor_hooks.active = game_state.editor_enabled;
  editor_install_hooks();
  race_hooks.editor_draw = editor_draw;
  race_hooks.editor_key = editor_key;
  race_hooks.editor_update = editor_update;
  race_hooks.editor_free = editor_free;
  build_series_table();
  return 1;
}

// Start-up from the window to the sound. 0 when the run cannot go on; what
// was opened is then for end_early to close.
int open_window_and_data(const command_line& cl) {
  game_window = open_game_window(cl, video_mode);
  if (!game_window) return 0;
  install_front_end_hooks();
  if (!scan_data_and_install_race()) return 0;
  return choose_track(cl.track) && open_audio(cl.nosound);
}

// The first frame, which sets up the renderer. 1 when it was shown; 0 when
// the window closed first, or, with *exit_code set to 1, when it could not
// be drawn.
int show_first_frame(int* exit_code) {
  if (!begin_first_frame()) return 0;
  load_gl_extensions_logged();
  choose_renderer_features();
  set_gl_state(game_state.fugly);
  install_scene();
  load_fonts_and_pictures();
  if (!window_end_frame(game_window)) {
    report_failure("Can't draw to the window\n");
    *exit_code = 1;
    return 0;
  }
  return 1;
}

// The game between opening the input devices and closing them. 0 when it
// ended on a frame that could not be shown.
int play() {
  open_startup_input(game_window);
  menu_keys_name(game_window);
  if (!scene_arrays_create()) out_of_memory();
  game_state.terrain = &track_field;
  game_state.screen_width = xres;
  game_state.screen_height = yres;
  int closed_in_order = 1;
  if (dynamics_open()) {
    if (!run_game()) closed_in_order = 0;
    dynamics_close();
  }
  close_input_devices();
  return closed_in_order;
}

}  // namespace

int main(int argc, char** argv) {
  os_keep_freed_memory();
  // A SIGTERM that comes before the window is up is kept as its first close
  // request, so even an early `timeout -s TERM` ends the run in order.
  os_install_close_signals();
  // A reader that goes away (a pipe closed under --record-video) is a
  // failed write, not the end of the game.
  std::signal(SIGPIPE, SIG_IGN);
  if (argc == 2 && std::strcmp(argv[1], "--open-home") == 0) {
    open_home_folder();
    return 0;
  }
  message_ring_clear();
  if (!locate_game_data(game_data_digest)) {
    // Exit code 1: a run that found nothing to play must not look like one
    // that ended normally.
    error_box("Problem starting Brakkan", "Can't find game data\n");
    log_close();
    return 1;
  }
  log_printf("Brakkan version %s\n", game_version);
  oom_close_audio_hook = close_audio_for_oom;
  oom_close_window_hook = close_window_for_oom;
  oom_error_box_hook = error_box_for_oom;
  read_settings();
  command_line cl;
  const int early_exit = take_command_line(argc, argv, &cl);
  if (early_exit != keep_running) return early_exit;
  if (!open_window_and_data(cl)) {
    end_early();
    return 1;
  }

  int exit_code = 0;
  if (show_first_frame(&exit_code) && !play()) exit_code = 1;
  shut_down_from_audio();
  udp_cleanup();
  sleep_precise(1, 0);
  return exit_code;
}
