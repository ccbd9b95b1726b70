// The brakkan executable: start-up in its fixed order, the loading page
// until the frame loop exists, and shut-down in its fixed order.
#include <GL/gl.h>

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
#include "core/file.h"
#include "core/file_index.h"
#include "core/intern.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "game_data_digest.h"
#include "platform/audio.h"
#include "platform/error_box.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/os/os_events.h"
#include "platform/timebase.h"
#include "platform/window.h"
#include "race/control_bindings.h"
#include "race/detail_settings.h"
#include "race/game_state.h"
#include "race/loop_options.h"
#include "race/options.h"
#include "race/projection.h"
#include "race/race_hooks.h"
#include "race/race_settings.h"
#include "race/screen_draw.h"
#include "race/results.h"
#include "race/series.h"
#include "race/startup_input.h"
#include "race/startup_lists.h"
#include "race/tick.h"
#include "race/version.h"
#include "race/video_modes.h"
#include "robot/auto_pilot.h"
#include "terrain/dynamics_world.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/track.h"
#include "terrain/shape.h"
#include "terrain/terrain_settings.h"
#include "terrain/track_lighting.h"
#include "ui/bike_setup.h"
#include "ui/config.h"
#include "ui/game_settings.h"

namespace {

unsigned hud_textures[3];

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

// An end of start-up before the frame loop: what is open is closed, but
// nothing is written (the config stays as it was read).
void end_early() {
  if (game_state.audio) audio_close(game_state.audio);
  game_state.audio = nullptr;
  if (loop_options.record_audio_file) std::fclose(loop_options.record_audio_file);
  loop_options.record_audio_file = nullptr;
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
window_state* open_game_window(const command_line& cl, int mode, int width, int height) {
  int flags = cl.depth;
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
void choose_renderer_features(int use_shader, int shader_ground_method) {
  shaders_activate(use_shader);
  terrain_shaders = shaders_active && shader_ground_method;
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
  hud_textures[0] = texture_load("!@tach.png");
  hud_textures[1] = texture_load("!@shifter.png");
  hud_textures[2] = texture_load("!@pitboard.png");
  loading.picture = texture_load("!@title.png");
}

// Until the frame loop exists: the loading page, about 64 frames a second,
// until the window is asked to close. 0 when a frame could not be ended.
int show_loading_page() {
  while (!game_state.quit_requested) {
    take_events();
    if (window_begin_frame(game_window)) {
      set_projection(game_window->frame.width, game_window->frame.height, fov);
      loading_draw_screen("");
      if (!window_end_frame(game_window)) return 0;
    }
    sleep_precise(0, 1000000 / 64);
  }
  return 1;
}

void shutdown_step(const char* text) { loading_show_logged(text); }

void close_input_devices() {
  shutdown_step("Closing input devices");
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
  shutdown_step("Writing config files");
  write_config();
  shutdown_step("Freeing memory (2)");
  free_series_table();
  intern_free_all();
  shutdown_step("Freeing memory (3)");
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

}  // namespace

int main(int argc, char** argv) {
  // A SIGTERM that comes before the window is up is kept as its first close
  // request, so even an early `timeout -s TERM` ends the run in order.
  os_install_close_signals();
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

  list_video_modes();
  detect_mmx();
  if (!mmx_available) log_printf("This CPU does not have MMX!\n");
  track_lighting_reset(&lighting);
  option_list_set_options(&game_settings.video_mode, video_mode_names, video_mode_count);
  control_bindings_reset();
  int setup_keys = 0;
  bike_setup_entries(&setup_keys);  // gives the Bike list its options
  read_config();
  const detail_settings_input seeded = {70, 9, 1, 50, 9, 0, 1000, 1};
  ground_mipmaps = 1;
  game_state.track_dir = nullptr;
  derive_detail_settings(&seeded);

  command_line cl;
  parse_command_line(argc, argv, &cl);
  if (cl.notice[0]) std::fputs(cl.notice, stderr);
  if (cl.status == command_line_error) {
    report_failure("%s", cl.message);
    end_early();
    return 1;
  }
  if (cl.status == command_line_open_home) {
    open_home_folder();
    end_early();
    return 0;
  }
  if (game_state.connect_target) game_state.track_dir = nullptr;

  game_window = open_game_window(cl, video_mode_windowed, cl.width ? cl.width : 640, cl.height ? cl.height : 480);
  if (!game_window) {
    end_early();
    return 1;
  }
  install_screen_hooks();
  race_hooks.apply_bike_setup = [](rider* r) { apply_bike_setup(r); };
  file_index_refresh_hook = startup_refresh;
  loading.build_text = game_version;

  startup_refresh();
  file_index_build();
  tick_install_hooks();
  stock_parts_digest = stock_parts_stored_digest;
  check_fixed_files();
  if (!track_folders) scan_tracks();
  build_demo_list();
  results_install_hooks();
  robot_install_hooks();
  build_series_table();

  if (!open_audio(cl.nosound)) {
    end_early();
    return 1;
  }

  int exit_code = 0;
  int opened = 0;
  if (begin_first_frame()) {
    load_gl_extensions_logged();
    choose_renderer_features(1, 0);
    set_gl_state(cl.fugly);
    load_fonts_and_pictures();
    if (!window_end_frame(game_window)) {
      report_failure("Can't draw to the window\n");
      exit_code = 1;
    } else {
      opened = 1;
    }
  }
  if (opened) {
    open_startup_input(game_window);
    game_state.terrain = &track_field;
    if (dynamics_open()) {
      if (!show_loading_page()) exit_code = 1;
      dynamics_close();
    }
    close_input_devices();
  }
  shut_down_from_audio();
  sleep_precise(1, 0);
  return exit_code;
}
