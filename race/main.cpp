// The brakkan executable: start-up, the loading page until the frame loop
// exists, and shut-down.
#include <GL/gl.h>

#include <cstring>

#include "assets/font.h"
#include "assets/game_window.h"
#include "assets/gl_ext.h"
#include "assets/loading.h"
#include "assets/model.h"
#include "assets/texture.h"
#include "assets/view_settings.h"
#include "core/file.h"
#include "core/file_index.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "game_data_digest.h"
#include "platform/error_box.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/os/os_events.h"
#include "platform/timebase.h"
#include "platform/window.h"
#include "race/control_bindings.h"
#include "race/projection.h"
#include "race/race_settings.h"
#include "race/screen_draw.h"
#include "race/version.h"
#include "terrain/dynamics_world.h"
#include "terrain/shape.h"
#include "ui/config.h"
#include "ui/game_settings.h"

namespace {

int quit_requested;
unsigned hud_textures[3];

// Takes the pending input. Loading frames throw input away, but never the
// request to close: a SIGTERM during start-up must still end the run.
void take_events() {
  int code, pressed;
  while (window_get_event(game_window, &code, &pressed))
    if (code == input_code_close) quit_requested = 1;
}

// The file listing's refresh while start-up walks the data folders: the
// refresh frame of the loading screen, drawn here so that the input it
// throws away goes through take_events first.
void startup_refresh() {
  take_events();
  if (!loading_refresh_due(loading_now()) || !window_begin_frame(game_window)) return;
  set_projection(game_window->frame.width, game_window->frame.height, fov);
  loading_draw_spinner(loading.refresh_count);
  window_end_frame(game_window);
}

void close_window_for_oom() {
  if (game_window) gl_window_close(game_window);
  game_window = nullptr;
}

void error_box_for_oom(const char* title, const char* text) { error_box(title, "%s", text); }

// Waits until the window gives a frame (it may start minimised); 0 when
// closed first.
int begin_first_frame() {
  while (!quit_requested) {
    if (window_begin_frame(game_window)) return 1;
    take_events();
    sleep_precise(0, 1000000 / 16);
  }
  return 0;
}

void load_gl_and_assets() {
  gl_load_extensions();
  log_printf("GL_VENDOR: %s\n", gl_caps.vendor);
  log_printf("GL_RENDERER: %s\n", gl_caps.renderer);
  log_printf("GL_VERSION: %s\n", gl_caps.version);
  log_printf("GL_EXTENSIONS: %s\n", gl_caps.extensions);
  glClear(GL_COLOR_BUFFER_BIT);
  glClearColor(0.196078f, 0.6f, 0.8f, 0.0f);
  glEnable(GL_CULL_FACE);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  fonts_load();
  hud_textures[0] = texture_load("!@tach.png");
  hud_textures[1] = texture_load("!@shifter.png");
  hud_textures[2] = texture_load("!@pitboard.png");
  loading.picture = texture_load("!@title.png");
}

// Until the frame loop exists: the loading page, about 64 frames a second,
// until the window is asked to close.
void show_loading_page() {
  while (!quit_requested) {
    take_events();
    if (window_begin_frame(game_window)) {
      set_projection(game_window->frame.width, game_window->frame.height, fov);
      loading_draw_screen("");
      window_end_frame(game_window);
    }
    sleep_precise(0, 1000000 / 64);
  }
}

// Each shut-down step shows and logs what it does.
void shutdown_step(const char* text) {
  loading_show(text);
  log_printf("%s\n", text);
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
  option_list_set_options(&game_settings.video_mode, video_mode_names, video_mode_count);
  control_bindings_reset();
  read_config();
  game_window = gl_window_open("Brakkan", 640, 480, 16, 0, 16, 0, 0);
  if (!game_window) {
    free_file_index();
    log_close();
    return 1;
  }
  oom_close_window_hook = close_window_for_oom;
  oom_error_box_hook = error_box_for_oom;
  install_screen_hooks();
  file_index_refresh_hook = startup_refresh;
  loading.build_text = game_version;

  startup_refresh();
  file_index_build();
  if (begin_first_frame()) {
    load_gl_and_assets();
    const int drawn = window_end_frame(game_window);
    if (drawn && dynamics_open()) {
      show_loading_page();
      dynamics_close();
    }
  }

  shutdown_step("Writing config files");
  write_config();
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
  return 0;
}
