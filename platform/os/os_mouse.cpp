// The mouse over SDL: an event watch gathers motion so that nothing depends on
// which thread pumps the window's events.
#include "platform/os/os_mouse.h"

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

int os_mouse_global_position(int* x, int* y) {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return 0;
  // Over one of our windows its own motion events are current. SDL's
  // desktop-wide state on X11 follows raw device motion only, so a pointer
  // moved any other way (a warp, a remote desktop, xdotool) would read
  // where it was until the next button press, and a click would land on
  // the menu item under the old place.
  SDL_Window* over = SDL_GetMouseFocus();
  if (over && !SDL_GetRelativeMouseMode()) {
    int in_x = 0, in_y = 0, left = 0, top = 0;
    SDL_GetMouseState(&in_x, &in_y);
    SDL_GetWindowPosition(over, &left, &top);
    *x = left + in_x;
    *y = top + in_y;
    return 1;
  }
  SDL_GetGlobalMouseState(x, y);
  return 1;
}

void os_mouse_warp_global(int x, int y) {
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_WarpMouseGlobal(x, y);
}

int os_mouse_set_relative(int on) { return SDL_SetRelativeMouseMode(on ? SDL_TRUE : SDL_FALSE) == 0; }
