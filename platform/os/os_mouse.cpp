// The mouse over SDL: an event watch gathers motion so that nothing depends on
// which thread pumps the window's events.
#include "platform/os/os_mouse.h"

#include <cstring>

#include <SDL.h>

#include <atomic>

static std::atomic<int> g_watchers{0};
static std::atomic<int> g_dx{0};
static std::atomic<int> g_dy{0};
static std::atomic<int> g_wheel{0};
static std::atomic<unsigned> g_buttons{0};

static unsigned button_bit(Uint8 sdl_button) {
  switch (sdl_button) {
    case SDL_BUTTON_LEFT: return os_mouse_left;
    case SDL_BUTTON_RIGHT: return os_mouse_right;
    case SDL_BUTTON_MIDDLE: return os_mouse_middle;
    case SDL_BUTTON_X1: return os_mouse_x1;
    case SDL_BUTTON_X2: return os_mouse_x2;
    default: return 0;
  }
}

static int SDLCALL watch_mouse(void*, SDL_Event* event) {
  switch (event->type) {
    case SDL_MOUSEMOTION:
      if (event->motion.which == SDL_TOUCH_MOUSEID) break;
      g_dx += event->motion.xrel;
      g_dy += event->motion.yrel;
      break;
    case SDL_MOUSEWHEEL: {
      if (event->wheel.which == SDL_TOUCH_MOUSEID) break;
      int y = event->wheel.y;
      if (event->wheel.direction == SDL_MOUSEWHEEL_FLIPPED) y = -y;
      g_wheel += y * os_mouse_wheel_step;
      break;
    }
    case SDL_MOUSEBUTTONDOWN:
      g_buttons |= button_bit(event->button.button);
      break;
    case SDL_MOUSEBUTTONUP:
      g_buttons &= ~button_bit(event->button.button);
      break;
    default:
      break;
  }
  return 1;
}

int os_mouse_watch_start() {
  if (SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) return 0;
  if (g_watchers++ == 0) {
    g_dx = 0;
    g_dy = 0;
    g_wheel = 0;
    g_buttons = 0;
    SDL_AddEventWatch(watch_mouse, nullptr);
  }
  return 1;
}

void os_mouse_watch_stop() {
  if (g_watchers <= 0) return;
  if (--g_watchers == 0) SDL_DelEventWatch(watch_mouse, nullptr);
  SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

void os_mouse_take_motion(int* dx, int* dy, int* wheel) {
  if (dx) *dx = g_dx.exchange(0);
  if (dy) *dy = g_dy.exchange(0);
  if (wheel) *wheel = g_wheel.exchange(0);
}

unsigned os_mouse_buttons() { return g_buttons.load(); }

// The pointer as two sources see it: SDL's desktop-wide state, which on X11
// follows raw device motion and SDL's own warps only, and the window's own
// motion events, which see every move over the window but only once the
// events are pumped. Whichever changed since the last reading is the news.
// The desktop state alone would read a pointer moved any other way (a
// remote desktop, xdotool) where it was until the next button press, and a
// click would land on the menu item under the old place.
int os_mouse_global_position(int* x, int* y) {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return 0;
  static int have, last_global[2], last_window[2], answer[2];
  static SDL_Window* last_over;
  int global[2] = {0, 0}, window[2] = {0, 0};
  SDL_GetGlobalMouseState(&global[0], &global[1]);
  SDL_Window* over = SDL_GetRelativeMouseMode() ? nullptr : SDL_GetMouseFocus();
  if (over) {
    int left = 0, top = 0;
    SDL_GetMouseState(&window[0], &window[1]);
    SDL_GetWindowPosition(over, &left, &top);
    window[0] += left;
    window[1] += top;
  }
  if (!have || global[0] != last_global[0] || global[1] != last_global[1]) {
    answer[0] = global[0];
    answer[1] = global[1];
  } else if (over && (over != last_over || window[0] != last_window[0] || window[1] != last_window[1])) {
    answer[0] = window[0];
    answer[1] = window[1];
  }
  have = 1;
  last_over = over;
  std::memcpy(last_global, global, sizeof last_global);
  std::memcpy(last_window, window, sizeof last_window);
  *x = answer[0];
  *y = answer[1];
  return 1;
}

void os_mouse_warp_global(int x, int y) {
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_WarpMouseGlobal(x, y);
}

int os_mouse_set_relative(int on) { return SDL_SetRelativeMouseMode(on ? SDL_TRUE : SDL_FALSE) == 0; }
