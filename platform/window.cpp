// The one game window and its OpenGL context.
#include "platform/window.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/array.h"
#include "platform/display_mode.h"
#include "platform/input_device.h"
#include "platform/log.h"
#include "platform/mutex.h"
#include "platform/options.h"
#include "platform/os/os.h"
#include "platform/timebase.h"

namespace {

// 16 KiB is too small for a thread under glibc, and SDL's event pump runs
// on this one.
const size_t kMessageThreadStack = 256 * 1024;
// How long the message thread waits for a message before looking at the
// close flag again.
const int kMessageWaitMs = 20;

unsigned g_option_bits;
bool g_options_read;

void read_options_once() {
  if (g_options_read) return;
  g_options_read = true;
  g_option_bits = 0;
  if (option_bool("fullscreen", 0)) g_option_bits |= window_option_fullscreen;
  const int threaded = option_bool("threaded", 0);
  if (threaded) g_option_bits |= window_option_threaded;
  log_printf("Options:\n");
  log_printf("%10s [%s]\n", "threaded:", threaded ? "yes" : "no");
}

// SDL windows ask for a drawable in real pixels (SDL_WINDOW_ALLOW_HIGHDPI),
// the nearest thing to turning display scaling off.
void disable_display_scaling() {
  static bool done = false;
  if (done) return;
  done = true;
  log_printf("Display scaling disabled via SDL_WINDOW_ALLOW_HIGHDPI\n");
}

void window_set_suspended(window_state* window, int suspended) {
  mutex_lock(window->window_mutex);
  window->suspended = suspended;
  mutex_unlock(window->window_mutex);
}

void window_foreground(window_state* window) {
  os_window_raise(window->handle);
  log_printf("Foregrounded\n");
}

// The desktop mode, or 640 x 480 when it cannot be read.
display_mode desktop_mode() {
  os_display_mode m;
  if (!os_desktop_mode(&m)) return display_mode{640, 480, 0};
  return display_mode{m.width, m.height, m.bits};
}

int set_fullscreen(void* window, int width, int height) {
  return os_window_set_fullscreen(static_cast<window_state*>(window)->handle, width, height);
}

// Switches the display to the full-screen mode for width x height (0: the
// desktop mode) and remembers the mode. A mode that cannot be set gives way
// to the desktop mode. 1 when the window is full screen.
int window_set_fullscreen_mode(window_state* window, int width, int height) {
  const display_mode desktop = desktop_mode();
  display_mode pick = desktop;
  if (width != 0 && height != 0) pick = display_mode_pick(display_mode_list(), width, height, desktop);
  display_mode chosen;
  const int ok = display_mode_switch(pick, desktop, set_fullscreen, window, &chosen);
  window->fullscreen_width = static_cast<unsigned>(chosen.width);
  window->fullscreen_height = static_cast<unsigned>(chosen.height);
  return ok;
}

// 1 when the window went full screen; the full-screen flag says so only
// then.
int window_go_fullscreen(window_state* window, int width, int height) {
  if (!(window->flags & window_may_change_mode)) return 0;
  window->flags &= static_cast<unsigned char>(~window_is_fullscreen);
  if (!window_set_fullscreen_mode(window, width, height)) return 0;
  window->flags |= window_is_fullscreen;
  return 1;
}

void window_go_windowed(window_state* window, int width, int height) {
  window->flags &= static_cast<unsigned char>(~window_is_fullscreen);
  if (!(window->flags & window_may_change_mode)) return;
  if (!os_window_set_windowed(window->handle, width, height))
    log_printf("Can't switch to a window of %dx%d (%s)\n", width, height, os_video_error());
}

// Runs on the window's thread. 1 on success.
int window_create(window_state* window, const os_gl_attributes* gl) {
  window->window_thread = os_thread_current_id();
  if (!os_video_init()) {
    log_printf("SDL video: %s\n", os_video_error());
    log_error("Can't register window class\n");
    return 0;
  }
  int width = window->requested_width;
  int height = window->requested_height;
  if (width == 0 || height == 0) {
    const display_mode desktop = desktop_mode();
    width = window->requested_width = desktop.width;
    height = window->requested_height = desktop.height;
  }
  log_printf("Choosing pixel format\n");
  os_gl_set_attributes(gl);
  log_printf("Creating window\n");
  window->handle = os_window_create(window->title, width, height);
  if (!window->handle) {
    log_printf("SDL video: %s\n", os_video_error());
    log_error("Can't create window!\n");
    return 0;
  }
  window->window_mutex = mutex_create();
  window->event_queue_mutex = mutex_create();
  if (!window->window_mutex || !window->event_queue_mutex) return 0;
  os_translate_reset();
  os_window_show(window->handle);
  if (window->flags & window_is_fullscreen) window_go_fullscreen(window, width, height);
  window_foreground(window);
  return 1;
}

void window_destroy(window_state* window) {
  mutex_close(window->window_mutex);
  mutex_close(window->event_queue_mutex);
  window->window_mutex = window->event_queue_mutex = nullptr;
  std::free(window->device_names);
  window->device_names = nullptr;
  if (window->devices) {
    log_printf("Closing input devices\n");
    input_devices_close(window);
  }
  if (window->handle) {
    log_printf("Destroying window\n");
    // Destroying a full-screen window restores the desktop mode.
    os_window_destroy(window->handle);
    window->handle = nullptr;
  }
  log_printf("Window shutdown complete\n");
}

struct thread_start {
  window_state* window;
  os_gl_attributes gl;
};

void message_thread(void* arg) {
  thread_start* start = static_cast<thread_start*>(arg);
  window_state* window = start->window;
  if (window_create(window, &start->gl)) {
    os_mailbox_post(window->creator_mailbox, os_msg_window_ready, 0, 0);
    os_message message;
    while (!window->close_flag.load()) {
      if (os_next_message(&message, kMessageWaitMs)) window_proc(window, message);
    }
  }
  window_destroy(window);
  os_mailbox_post(window->creator_mailbox, os_msg_window_gone, 0, 0);
}

void free_record(window_state* window) {
  os_mailbox_destroy(window->creator_mailbox);
  os_mailbox_destroy(window->window_mailbox);
  window->~window_state();
  std::free(window);
}

void build_device_names(window_state* window) {
  growable_array names{std::malloc(16 * sizeof(const char*)), 16, 0, sizeof(const char*)};
  if (!names.items) names.capacity = 0;
  input_devices_create(window, &names);
  array_append(&names, nullptr);
  void* shrunk = std::realloc(names.items, static_cast<size_t>(names.count) * sizeof(const char*));
  window->device_names = static_cast<const char**>(shrunk ? shrunk : names.items);
}

window_state* window_open(const char* title, int width, int height, int flags, const os_gl_attributes* gl) {
  const size_t title_len = std::strlen(title);
  void* memory = std::calloc(1, sizeof(window_state) + title_len + 1);
  disable_display_scaling();
  display_mode_list();
  read_options_once();
  if (!memory) return nullptr;
  window_state* window = new (memory) window_state();
  char* title_copy = static_cast<char*>(memory) + sizeof(window_state);
  std::memcpy(title_copy, title, title_len + 1);

  window->requested_width = width;
  window->requested_height = height;
  window->colour_bits = static_cast<unsigned>(flags & window_open_colour_bits);
  window->title = title_copy;
  window->option_bits = g_option_bits;
  window->flags = window_may_change_mode | window_flag_always;
  if (g_option_bits & window_option_threaded) window->flags |= window_threaded;
  if (flags & window_open_fullscreen) window->flags |= window_is_fullscreen;
  window->creator_thread = os_thread_current_id();

  window->creator_mailbox = os_mailbox_create();
  window->window_mailbox = os_mailbox_create();
  if (!window->creator_mailbox || !window->window_mailbox) {
    free_record(window);
    return nullptr;
  }

  if (window->flags & window_threaded) {
    log_printf("Starting message processing thread\n");
    thread_start start{window, *gl};
    window->message_thread = os_thread_start(message_thread, &start, kMessageThreadStack);
    if (!window->message_thread) {
      log_error("Can't create thread!\n");
      free_record(window);
      return nullptr;
    }
    os_message reply;
    os_mailbox_wait(window->creator_mailbox, os_msg_window_ready, os_msg_window_gone, &reply);
    if (reply.message == os_msg_window_gone) {
      os_thread_join(window->message_thread);
      free_record(window);
      return nullptr;
    }
  } else if (!window_create(window, gl)) {
    window_destroy(window);
    free_record(window);
    return nullptr;
  }

  build_device_names(window);
  alias_add("cursor-left", "Mouse Left");
  alias_add("cursor-middle", "Mouse Middle");
  alias_add("cursor-right", "Mouse Right");
  window->frame.reserved = 0;
  return window;
}

void window_close(window_state* window) {
  if (!window) return;
  if (window->flags & window_threaded) {
    log_printf("Setting close flag\n");
    window->close_flag.store(1);
    os_post_message(os_msg_window_close, 0, 0);
    os_message reply;
    os_mailbox_wait(window->creator_mailbox, os_msg_window_gone, os_msg_window_gone, &reply);
    os_thread_join(window->message_thread);
    log_printf("Message processing thread done\n");
  } else {
    window->close_flag.store(1);
    window_destroy(window);
  }
  free_record(window);
}

}  // namespace

window_state* gl_window_open(const char* title, int width, int height, int flags, int alpha_bits, int depth_bits,
                             int stencil_bits, int accum_bits) {
  const os_gl_attributes asked{flags & window_open_colour_bits, alpha_bits, depth_bits, stencil_bits, accum_bits};
  window_state* window = window_open(title, width, height, flags, &asked);
  if (!window) return nullptr;
  window->gl = new (std::nothrow) gl_record{nullptr, asked};
  if (window->gl) {
    log_printf("Creating OpenGL context\n");
    window->gl->context = os_gl_context_create(window->handle);
    if (!window->gl->context) {
      log_printf("SDL video: %s\n", os_video_error());
      log_printf("Couldn't create OpenGL context\n");
    }
  }
  if (!window->gl || !window->gl->context) {
    delete window->gl;
    window->gl = nullptr;
    window_close(window);
    return nullptr;
  }
  os_gl_attributes got;
  os_gl_get_attributes(&got);
  log_printf("Pixel format: %d colour, %d alpha, %d depth, %d stencil, %d accumulation bits\n", got.colour_bits,
             got.alpha_bits, got.depth_bits, got.stencil_bits, got.accum_bits);
  return window;
}

void gl_window_close(window_state* window) {
  if (!window) return;
  if (window->gl) {
    if (window->gl->context) {
      log_printf("Deleting OpenGL context\n");
      os_gl_context_delete(window->gl->context);
    }
    delete window->gl;
    window->gl = nullptr;
  }
  window_close(window);
}

window_frame* window_begin_frame(window_state* window) {
  if (!window->gl || !os_window_visible(window->handle)) return nullptr;
  mutex_lock(window->window_mutex);
  if (window->suspended) {
    mutex_unlock(window->window_mutex);
    return nullptr;
  }
  window_frame* frame = &window->frame;
  *frame = window_frame{nullptr, window->requested_width, window->requested_height, 0, 0};
  int width, height;
  if (os_window_client_size(window->handle, &width, &height)) {
    frame->width = width;
    frame->height = height;
  }
  return frame;
}

int window_end_frame(window_state* window) {
  if (!window->gl) return 0;
  os_gl_swap(window->handle);
  mutex_unlock(window->window_mutex);
  return 1;
}

int window_request_mode(window_state*, int width, int height, int flags) {
  const uint32_t lparam = (static_cast<uint32_t>(height) & 0xFFFF) | static_cast<uint32_t>(width) << 16;
  os_post_message(flags & window_open_fullscreen ? os_msg_fullscreen : os_msg_windowed, 0, lparam);
  return 1;
}

void window_pump_messages(window_state* window) {
  if (window->flags & window_threaded) {
    os_sleep_ms(0);
    return;
  }
  if (!window->handle) return;
  os_message message;
  while (os_next_message(&message, 0)) window_proc(window, message);
}

int window_proc(window_state* window, const os_message& message) {
  if (!window || window->close_flag.load()) return 0;
  int seconds, microseconds;
  time_from_ms(message.time_ms, &seconds, &microseconds);
  const uint32_t lparam = message.lparam;
  switch (message.message) {
    case os_msg_size:
      if (window->gl) {
        mutex_lock(window->window_mutex);
        window->requested_width = static_cast<int>(lparam & 0xFFFF);
        window->requested_height = static_cast<int>(lparam >> 16);
        mutex_unlock(window->window_mutex);
      }
      log_printf("WM_SIZE message %dx%d\n", window->requested_width, window->requested_height);
      return 0;
    case os_msg_lbutton_down:
    case os_msg_lbutton_up:
      window_push_event(window, input_code_mouse_left, message.message == os_msg_lbutton_down, seconds, microseconds);
      return 0;
    case os_msg_mbutton_down:
    case os_msg_mbutton_up:
      window_push_event(window, input_code_mouse_middle, message.message == os_msg_mbutton_down, seconds,
                        microseconds);
      return 0;
    case os_msg_rbutton_down:
    case os_msg_rbutton_up:
      window_push_event(window, input_code_mouse_right, message.message == os_msg_rbutton_down, seconds,
                        microseconds);
      return 0;
    case os_msg_key_down:
    case os_msg_key_up:
      window_push_event(window, input_code_key + static_cast<int>((lparam >> 16) & 0x1FF),
                        message.message == os_msg_key_down, seconds, microseconds);
      return 0;
    case os_msg_char:
      window_push_event(window, static_cast<int>(message.wparam & 0xFF), 1, seconds, microseconds);
      return 0;
    case os_msg_close:
      window_push_event_now(window, input_code_close, 1);
      return 0;
    case os_msg_activate:
      if (window->flags & window_is_fullscreen) {
        window_set_suspended(window, 1);
        if (message.wparam != 0)
          window_go_fullscreen(window, static_cast<int>(window->fullscreen_width),
                               static_cast<int>(window->fullscreen_height));
        else
          os_window_minimize(window->handle);  // which gives the desktop mode back
        window_set_suspended(window, 0);
      }
      if (message.wparam != 0) window_foreground(window);
      return 0;
    case os_msg_window_close:
      window->close_flag.store(1);
      return 0;
    case os_msg_hold: {
      os_mailbox_post(window->creator_mailbox, os_msg_held, 0, 0);
      os_message release;
      os_mailbox_wait(window->window_mailbox, os_msg_release, os_msg_release, &release);
      return 0;
    }
    case os_msg_fullscreen:
      window_set_suspended(window, 1);
      window_go_fullscreen(window, static_cast<int>(lparam >> 16), static_cast<int>(lparam & 0xFFFF));
      window_set_suspended(window, 0);
      return 0;
    case os_msg_windowed:
      window_set_suspended(window, 1);
      window_go_windowed(window, static_cast<int>(lparam >> 16), static_cast<int>(lparam & 0xFFFF));
      window_set_suspended(window, 0);
      return 0;
    default:
      return 0;
  }
}

const char** input_device_names(window_state* window) { return window->device_names; }

void window_reset_options_for_tests() { g_options_read = false; }
