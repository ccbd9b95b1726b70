// The brakkan executable.
#include "platform/input.h"
#include "platform/log.h"
#include "platform/os/os_events.h"
#include "platform/timebase.h"
#include "platform/window.h"
#include "race/version.h"

#include <GL/gl.h>

namespace {

// Until the frame loop exists: clear and show a frame about 64 times a
// second, and end on the window's close request (its close button,
// SIGTERM or SIGINT).
void run_until_closed(window_state* window) {
  for (;;) {
    int code, pressed;
    while (window_get_event(window, &code, &pressed))
      if (code == input_code_close) return;
    if (window_begin_frame(window)) {
      glClearColor(0.196078f, 0.6f, 0.8f, 0.0f);
      glClear(GL_COLOR_BUFFER_BIT);
      window_end_frame(window);
    }
    sleep_precise(0, 1000000 / 64);
  }
}

}  // namespace

int main(int, char**) {
  // A SIGTERM that comes before the window is up is kept as its first close
  // request, so even an early `timeout -s TERM` ends the run in order.
  os_install_close_signals();
  log_printf("Brakkan version %s\n", game_version);
  window_state* window = gl_window_open("Brakkan", 640, 480, 16, 0, 16, 0, 0);
  if (!window) {
    log_close();
    return 1;
  }
  run_until_closed(window);
  gl_window_close(window);
  log_close();
  return 0;
}
