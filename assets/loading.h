#pragma once
// The loading screen: while tracks and files load the game thread is busy
// for seconds, so loaders draw a frame between steps (the title picture, a
// message and the build string), a rate-limited progress form of it, and a
// lighter animated frame for the folder walk. It also records which step
// kept the screen frozen longest.

enum { loading_message_bytes = 80 };  // at most 79 characters kept

struct loading_state {
  char previous[loading_message_bytes];  // message of the last frame
  char slowest[loading_message_bytes];   // message shown before the longest gap
  double last_frame;   // time of the last frame shown
  double longest_gap;
  double progress_time;  // last progress frame, 0 = none yet
  int spinner;           // 0..3
  unsigned refresh_count;
  double refresh_time;
  double animation_start;  // 0 = not started
  unsigned picture;        // texture of the title picture, set by main
  const char* build_text;  // shown at the bottom right, set by main
};

extern loading_state loading;

// Seconds on the platform clock.
double loading_now();

// One full frame with the message; nothing when the window gives no frame.
void loading_show(const char* message);
// loading_show, then the message as a log line unless it is empty.
void loading_show_logged(const char* message);
// loading_show_logged with the spinner back at its first state.
void loading_show_reset(const char* message);
// loading_show of the message with a moving "."/".."/"..." suffix, at most
// one frame per 1/8 s.
void loading_progress(const char* message);
// loading_show of "message...done".
void loading_progress_done(const char* message);
// Keeps the window alive during the folder walk: discards input and draws
// the spinner frame at most 16 times a second.
void loading_refresh();

// The race reset's start of a load: the longest gap is 0 and measuring
// starts now, so the time the screen was not showing does not count.
void loading_reset_gap();

// Bookkeeping of loading_show after a frame: the gap since the last frame
// and the slowest message.
void loading_note_frame(const char* message, double now);
// The progress text for the message at time now into out (room for
// loading_message_bytes), advancing the spinner; 0 when the last progress
// frame is too recent to show another.
int loading_progress_text(const char* message, double now, char* out);
// Counts a refresh call; 1 when a refresh frame is due at time now (which is
// then remembered as the last one).
int loading_refresh_due(double now);

// The title picture's rectangle (x0, y0, x1, y1) for a view of half
// extents xe, ye: 2:1, covering the whole view.
void loading_picture_rect(float xe, float ye, float rect[4]);

// Drawing steps (a GL context must be current).
void loading_draw_screen(const char* message);
void loading_draw_quad(unsigned texture, float x0, float y0, float x1, float y1);
void loading_draw_spinner(unsigned counter);
