// The frame loop's platform side: the game window's frames, events and
// pixels, the time base and the input axes.
#include <GL/gl.h>

#include <cmath>
#include <cstdio>

#include "assets/game_window.h"
#include "platform/input.h"
#include "platform/input_device.h"
#include "platform/timebase.h"
#include "platform/window.h"
#include "race/frame_loop.h"

namespace {

double platform_now() {
  int s, us;
  time_now(&s, &us);
  return s + us / 1e6;
}

void platform_sleep(double seconds) {
  if (!(seconds > 0)) return;
  const int s = (int)seconds;
  sleep_precise(s, (int)((seconds - s) * 1e6));
}

int platform_get_event(int* code, int* pressed) { return game_window && window_get_event(game_window, code, pressed); }

int platform_get_event_before(int* code, int* pressed, double deadline) {
  if (!game_window) return 0;
  const int s = (int)std::floor(deadline);
  return window_get_event_before(game_window, code, pressed, s, (int)((deadline - s) * 1e6));
}

int platform_begin_frame(int* width, int* height) {
  if (!game_window) return 0;
  window_frame* f = window_begin_frame(game_window);
  if (!f) return 0;
  *width = f->width;
  *height = f->height;
  return 1;
}

int platform_end_frame() { return game_window && window_end_frame(game_window); }

int platform_read_pixels(uint8_t* rgb, int width, int height) {
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
  return glGetError() == GL_NO_ERROR;
}

int platform_read_axis(axis_handle* axis) { return axis_read(axis); }

const char* platform_input_name(int code) { return game_window ? input_code_name(game_window, code) : nullptr; }

size_t platform_write_video(const void* bytes, size_t size) {
  return std::fwrite(bytes, 1, size, stdout);
}

}  // namespace

frame_loop_io frame_io;

void frame_io_use_platform() {
  frame_io = {platform_now,         platform_sleep,       platform_get_event, platform_get_event_before,
              platform_begin_frame, platform_end_frame,   platform_read_pixels, platform_read_axis,
              platform_input_name,  platform_write_video};
}
