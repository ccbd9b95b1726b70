#pragma once
// The one game window and its OpenGL context: opening and closing, the
// optional message thread, the window procedure, full-screen and windowed
// switches and the frame bracket.
#include <atomic>
#include <cstdint>

#include "platform/input.h"
#include "platform/os/os_events.h"
#include "platform/os/os_thread.h"
#include "platform/os/os_window.h"

struct input_device;

// What window_begin_frame returns; callers use width and height, the client
// size in pixels.
struct window_frame {
  void* pixels;  // null for an OpenGL window
  int width;
  int height;
  int pitch;  // 0 for an OpenGL window
  int reserved;  // always 0
};

struct gl_record {
  os_gl_context* context;
  os_gl_attributes asked;
};

// Open flags (gl_window_open, window_request_mode).
enum : int {
  window_open_colour_bits = 0xFF,
  window_open_fullscreen = 0x200,
};

// Flag byte of window_state.
enum : unsigned char {
  window_may_change_mode = 0x02,
  window_threaded = 0x04,
  window_is_fullscreen = 0x08,
  window_flag_always = 0x10,
};

// Option bits.
enum : unsigned {
  window_option_fullscreen = 0x02,
  window_option_threaded = 0x04,
};

struct window_state {
  os_window* handle;
  window_frame frame;
  int requested_width;  // the client size: asked at open, then kept by size messages
  int requested_height;
  unsigned colour_bits;
  unsigned fullscreen_width;  // the mode picked by the last full-screen switch
  unsigned fullscreen_height;
  const char* title;
  uint64_t creator_thread;
  uint64_t window_thread;
  os_mailbox* creator_mailbox;  // thread messages to the creator
  os_mailbox* window_mailbox;   // thread messages to the window's thread
  os_thread* message_thread;
  os_mutex* window_mutex;
  input_device* devices;
  const char** device_names;  // null-terminated, interned
  os_mutex* event_queue_mutex;
  event_queue events;
  unsigned option_bits;
  std::atomic<int> close_flag;
  int suspended;
  unsigned char flags;
  gl_record* gl;
};

// Opens the window titled title with an OpenGL context current on the
// calling thread. width or height 0: the desktop size. flags: colour bits
// (16: 5/6/5, 24 or 32: 8/8/8) plus window_open_fullscreen. Null on failure.
window_state* gl_window_open(const char* title, int width, int height, int flags, int alpha_bits, int depth_bits,
                             int stencil_bits, int accum_bits);
// Deletes the context and closes the window (null: nothing).
void gl_window_close(window_state* window);

// Locks the window for drawing and returns the frame, or null when there is
// nothing to draw now (hidden, minimised or suspended: no lock is held and
// window_end_frame must not be called).
window_frame* window_begin_frame(window_state* window);
// Swaps the buffers and unlocks; 0 when the window has no OpenGL context.
int window_end_frame(window_state* window);

// Asks the window's thread to switch: with window_open_fullscreen, full
// screen in the listed mode nearest at least width x height (0 x 0: the
// desktop mode); else a window of width x height (0 x 0: the desktop).
// Returns 1; the switch happens when the window's messages are next handled.
int window_request_mode(window_state* window, int width, int height, int flags);

// Handles the window's pending messages (with a message thread: only yields).
void window_pump_messages(window_state* window);
// The window procedure: one message for the window. Returns its result.
int window_proc(window_state* window, const os_message& message);

// The null-terminated list of the window's analogue axis names.
const char** input_device_names(window_state* window);

// Reads the window options ("fullscreen", "threaded") again at the next open.
// Tests only: the game reads them once.
void window_reset_options_for_tests();
