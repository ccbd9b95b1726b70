#pragma once
// The frame loop: each pass draws a frame, updates sound, then runs as many
// fixed steps of one tick as the elapsed time asks for (input up to the
// step's deadline, controls, network, simulation tick), and spends budgets
// on erosion and terrain detail. It owns the view mode, pause, screenshots,
// video and audio capture, the stutter report and the setup-change report.
//
// Time, events, frames and pixels come through frame_io, so tests drive
// the loop with their own clock and events and no window.
#include <cstddef>
#include <cstdint>

struct axis_handle;

enum {
  view_onbike = 0,
  view_editor = 2,
  view_chase = 3,
  view_race = 4,
  view_loading = 5,
};

struct frame_loop_io {
  double (*now)();                  // seconds on the platform clock
  void (*sleep)(double seconds);
  int (*get_event)(int* code, int* pressed);  // 0 when none is queued
  int (*get_event_before)(int* code, int* pressed, double deadline);
  int (*begin_frame)(int* width, int* height);  // 0: no frame (minimised)
  int (*end_frame)();                           // 0: the window is gone
  int (*read_pixels)(uint8_t* rgb, int width, int height);  // rows bottom first
  int (*read_axis)(axis_handle* axis);          // -32768..32767
  const char* (*input_name)(int code);
  size_t (*write_video)(const void* bytes, size_t size);  // standard output
};
// The platform's: the game window, its clock and its event queue.
extern frame_loop_io frame_io;
void frame_io_use_platform();

struct frame_loop_state {
  int view_mode;
  int paused;
  double sim_time, sim_target;  // seconds of simulated time done and wanted
  double last_frame_time;
  int local_view;  // the viewed rider is a local human, not spied on
  float rider_input[9];
  int menu_page_seen;
  // The Reshade Delay setting (uploads every 2^d frames), read every frame
  // so a move of its slider counts at once; none: every frame.
  const double* reshade_delay;
  double last_frame_seconds;  // wall time of the last frame; the FPS line reads and zeroes it
  int record_video_failed;
};
extern frame_loop_state frame_loop;

// Ten phase names, in the stutter message.
extern const char* const frame_phase_names[10];

// "Stutter in %s - %f seconds" when the phase took longer than the
// threshold since the last one ended.
void stutter_check(const char* phase);

// Starts the loop's state at the time base now (view mode, clocks, control
// map).
void frame_loop_start(double now);
// One pass; 0 when the loop ends (quit asked, or a frame could not end).
int frame_loop_pass();
// Passes until the loop ends.
void run_frame_loop();

// The online correction of a frame's advance: lag seconds behind the
// server (negative: ahead), before or after the gate drop.
double online_advance(double advance, double lag, int before_drop);

// Handles one input event as the "getmessage" phase does.
void frame_handle_event(int code, int pressed);

// Takes a screenshot of the current frame ("@screenshot%03d.png").
void take_screenshot();

// The report of changed setup values, every 5 s of game time.
void setup_change_report();

// "--warp": once the leader has finished, the line-up turns one place and
// the race starts again.
void warp_rotation();
