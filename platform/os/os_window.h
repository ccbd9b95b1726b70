#pragma once
// The game window, its OpenGL context, display modes and the message box,
// over SDL2's video subsystem.

struct os_window;
struct os_gl_context;

struct os_display_mode {
  int width;
  int height;
  int bits;  // four-byte pixel formats report 32
  int refresh_hz;
};

// What the window's OpenGL framebuffer needs. colour_bits 16 asks for 5/6/5,
// 15 for 5/5/5, anything else for 8/8/8; accum_bits is the total over the
// four channels.
struct os_gl_attributes {
  int colour_bits;
  int alpha_bits;
  int depth_bits;
  int stencil_bits;
  int accum_bits;
};

// Starts SDL's video subsystem once per process (later calls return the
// first result): keeps the screen saver off, turns SIGTERM and SIGINT into
// close messages. 1/0; os_video_error() says why.
int os_video_init();
const char* os_video_error();

// The desktop mode of the first display. 1/0.
int os_desktop_mode(os_display_mode* mode);
// The i-th display mode of the first display; 0 past the last one.
int os_display_mode_at(int i, os_display_mode* mode);

// Sets the OpenGL framebuffer attributes for windows created after it. No
// version or profile is asked for, which gives a compatibility context.
void os_gl_set_attributes(const os_gl_attributes* attributes);
// The attributes of the current context's framebuffer, as granted.
void os_gl_get_attributes(os_gl_attributes* attributes);

// A hidden, resizable OpenGL window with the given client size. Null on
// failure.
os_window* os_window_create(const char* title, int width, int height);
void os_window_destroy(os_window* window);
void os_window_show(os_window* window);
void os_window_hide(os_window* window);
void os_window_minimize(os_window* window);
void os_window_raise(os_window* window);
// 0 while hidden or minimised: nothing drawn would be seen.
int os_window_visible(os_window* window);
// 1 while the window has the keyboard focus (as of the last event pump).
int os_window_has_focus(os_window* window);
// Gives the window the keyboard focus; seen after the next event pumps.
void os_window_take_focus(os_window* window);
// The desktop position of the client area's top left corner.
void os_window_client_origin(os_window* window, int* x, int* y);
// The client (drawable) size in pixels. 1/0.
int os_window_client_size(os_window* window, int* width, int* height);
// Full screen in the display mode of exactly width x height; 1/0.
int os_window_set_fullscreen(os_window* window, int width, int height);
// Leaves full screen; a window of client size width x height at the top
// left corner, or the whole desktop when either is 0. 1/0.
int os_window_set_windowed(os_window* window, int width, int height);
int os_window_is_fullscreen(os_window* window);

// Creates the window's OpenGL context and makes it current on the calling
// thread. Null on failure.
os_gl_context* os_gl_context_create(os_window* window);
void os_gl_context_delete(os_gl_context* context);
void os_gl_swap(os_window* window);

// Shows a modal message box when one can be seen and answered: a display is
// attached, and BK_ERROR_BOX is "1", or it is unset and standard input is a
// terminal. Returns 1 when the box was shown.
int os_message_box(const char* title, const char* text);
