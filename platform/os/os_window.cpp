// The game window, its OpenGL context, display modes and the message box,
// over SDL2.
#include "platform/os/os_window.h"

#include <SDL.h>
#include <unistd.h>

#include <cstring>

#include "platform/os/os.h"
#include "platform/os/os_events.h"

namespace {

SDL_Window* sdl(os_window* window) { return reinterpret_cast<SDL_Window*>(window); }

int display_of(os_window* window) {
  const int display = window ? SDL_GetWindowDisplayIndex(sdl(window)) : 0;
  return display < 0 ? 0 : display;
}

void from_sdl(const SDL_DisplayMode& in, os_display_mode* out) {
  out->width = in.w;
  out->height = in.h;
  out->bits = SDL_BYTESPERPIXEL(in.format) == 4 ? 32 : static_cast<int>(SDL_BITSPERPIXEL(in.format));
  out->refresh_hz = in.refresh_rate;
}

bool has_text(const char* s) { return s && *s; }

}  // namespace

int os_video_init() {
  static const int ok = [] {
    // The game handles SIGTERM/SIGINT itself, closes its window in order
    // and does its own minimising when a full-screen window loses focus.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return 0;
    SDL_DisableScreenSaver();
    SDL_StartTextInput();
    os_install_close_signals();
    return 1;
  }();
  return ok;
}

const char* os_video_error() { return SDL_GetError(); }

int os_desktop_mode(os_display_mode* mode) {
  SDL_DisplayMode m;
  if (SDL_GetDesktopDisplayMode(0, &m) != 0) return 0;
  from_sdl(m, mode);
  return 1;
}

int os_display_mode_at(int i, os_display_mode* mode) {
  SDL_DisplayMode m;
  if (i < 0 || i >= SDL_GetNumDisplayModes(0) || SDL_GetDisplayMode(0, i, &m) != 0) return 0;
  from_sdl(m, mode);
  return 1;
}

void os_gl_set_attributes(const os_gl_attributes* a) {
  SDL_GL_ResetAttributes();
  int r = 8, g = 8, b = 8;
  if (a->colour_bits == 16) {
    r = 5, g = 6, b = 5;
  } else if (a->colour_bits == 15) {
    r = g = b = 5;
  }
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, r);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, g);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, b);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, a->alpha_bits);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, a->depth_bits);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, a->stencil_bits);
  const int accum = a->accum_bits / 4;
  SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accum);
  SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, accum);
  SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, accum);
  SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, accum);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

void os_gl_get_attributes(os_gl_attributes* a) {
  int r = 0, g = 0, b = 0, ar = 0, ag = 0, ab = 0, aa = 0;
  SDL_GL_GetAttribute(SDL_GL_RED_SIZE, &r);
  SDL_GL_GetAttribute(SDL_GL_GREEN_SIZE, &g);
  SDL_GL_GetAttribute(SDL_GL_BLUE_SIZE, &b);
  SDL_GL_GetAttribute(SDL_GL_ALPHA_SIZE, &a->alpha_bits);
  SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &a->depth_bits);
  SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &a->stencil_bits);
  SDL_GL_GetAttribute(SDL_GL_ACCUM_RED_SIZE, &ar);
  SDL_GL_GetAttribute(SDL_GL_ACCUM_GREEN_SIZE, &ag);
  SDL_GL_GetAttribute(SDL_GL_ACCUM_BLUE_SIZE, &ab);
  SDL_GL_GetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, &aa);
  a->colour_bits = r + g + b;
  a->accum_bits = ar + ag + ab + aa;
}

os_window* os_window_create(const char* title, int width, int height) {
  const Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
  SDL_Window* window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height, flags);
  return reinterpret_cast<os_window*>(window);
}

void os_window_destroy(os_window* window) {
  if (!window) return;
  SDL_DestroyWindow(sdl(window));
  // What is still queued was meant for this window; the next one must not
  // see it.
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  os_translate_reset();
}

void os_window_show(os_window* window) { SDL_ShowWindow(sdl(window)); }
void os_window_hide(os_window* window) { SDL_HideWindow(sdl(window)); }
void os_window_minimize(os_window* window) { SDL_MinimizeWindow(sdl(window)); }
void os_window_raise(os_window* window) { SDL_RaiseWindow(sdl(window)); }

int os_window_visible(os_window* window) {
  return (SDL_GetWindowFlags(sdl(window)) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED)) == 0;
}

int os_window_has_focus(os_window* window) {
  return window && (SDL_GetWindowFlags(sdl(window)) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

void os_window_take_focus(os_window* window) { SDL_SetWindowInputFocus(sdl(window)); }

void os_window_client_origin(os_window* window, int* x, int* y) { SDL_GetWindowPosition(sdl(window), x, y); }

int os_window_client_size(os_window* window, int* width, int* height) {
  SDL_GL_GetDrawableSize(sdl(window), width, height);
  return *width > 0 && *height > 0;
}

int os_window_set_fullscreen(os_window* window, int width, int height) {
  SDL_DisplayMode want, mode;
  std::memset(&want, 0, sizeof want);
  want.w = width;
  want.h = height;
  if (!SDL_GetClosestDisplayMode(display_of(window), &want, &mode)) return 0;
  if (mode.w != width || mode.h != height) return 0;
  if (SDL_SetWindowDisplayMode(sdl(window), &mode) != 0) return 0;
  return SDL_SetWindowFullscreen(sdl(window), SDL_WINDOW_FULLSCREEN) == 0;
}

int os_window_set_windowed(os_window* window, int width, int height) {
  if (SDL_SetWindowFullscreen(sdl(window), 0) != 0) return 0;
  if (width == 0 || height == 0) {
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(display_of(window), &bounds) != 0) return 0;
    width = bounds.w;
    height = bounds.h;
  }
  SDL_SetWindowSize(sdl(window), width, height);
  SDL_SetWindowPosition(sdl(window), 0, 0);
  SDL_ShowWindow(sdl(window));
  return 1;
}

int os_window_is_fullscreen(os_window* window) {
  return (SDL_GetWindowFlags(sdl(window)) & SDL_WINDOW_FULLSCREEN) != 0;
}

os_gl_context* os_gl_context_create(os_window* window) {
  SDL_GLContext context = SDL_GL_CreateContext(sdl(window));
  if (context && SDL_GL_MakeCurrent(sdl(window), context) != 0) {
    SDL_GL_DeleteContext(context);
    context = nullptr;
  }
  return static_cast<os_gl_context*>(context);
}

void os_gl_context_delete(os_gl_context* context) {
  if (!context) return;
  SDL_GL_MakeCurrent(nullptr, nullptr);
  SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context));
}

void os_gl_swap(os_window* window) { SDL_GL_SwapWindow(sdl(window)); }

int os_message_box(const char* title, const char* text) {
  if (!has_text(os_getenv("DISPLAY")) && !has_text(os_getenv("WAYLAND_DISPLAY"))) return 0;
  const char* allow = os_getenv("BK_ERROR_BOX");
  const bool show = allow ? std::strcmp(allow, "1") == 0 : isatty(STDIN_FILENO) != 0;
  if (!show) return 0;
  return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr) == 0;
}
