#pragma once
// The run-time state of the game that main owns: zero at load, filled in by
// start-up, read and written by the frame loop and the subsystems above
// race. State that a lower library owns lives there and is not repeated
// here: the window is assets' game_window, the frame clock is core's
// game_clock, the dynamics world and its contact group are terrain's
// dynamics_world and contact_group.

struct height_field;
struct axis_handle;

enum {
  line_up_slots = 160,
  menu_key_count = 13,
  frame_time_buckets = 8,
};

// The sound output's mixing rate and the samples of one tick at that rate:
// the integer part of 88320 / 128.
enum { audio_mix_rate = 88320 };
extern const int samples_per_tick;

// Indices into game_state.menu_key_codes, in the order their names are
// looked up (menu_key_names).
enum {
  menu_key_up,
  menu_key_down,
  menu_key_left,
  menu_key_right,
  menu_key_enter,
  menu_key_keypad_enter,
  menu_key_esc,
  menu_key_pause,
  menu_key_cursor_left,
  menu_key_cursor_right,
  menu_key_page_up,
  menu_key_page_down,
  menu_key_close,
};
extern const char* const menu_key_names[menu_key_count];

struct game_state_record {
  int quit_requested;
  void* audio;                // the open audio driver, null when silent
  int window_video_mode;      // the video-mode index the window was opened with
  int loading_frames;         // loading frames counted (the spinner's phase)
  double last_loading_draw;   // seconds, when main last drew a loading frame
  height_field* terrain;
  const char* track_dir;      // the loaded track's folder; null: none
  const char* connect_target; // "--connect": online play asked for
  const char* net_password;   // "--password"
  const char* demo_argument;  // the demo file named on the command line
  int line_up[line_up_slots];
  int screen_width, screen_height;
  int cursor_x, cursor_y;
  axis_handle* cursor_axes[2];  // "cursor-x", "cursor-y"; closed at shut-down
  int menu_key_codes[menu_key_count];
  int learn_lines;
  double stutter_threshold;   // 0: stutter reports off
  double last_phase_end;
  int frame_time_histogram[frame_time_buckets];
  double frame_advance_min, frame_advance_max;
  int auto_camera;
  float free_camera_speed;
  int mouse_held;
  int menu_page_changed;
  int screenshot_counter;
  double setup_report_time;
  // Set by the command line.
  int debug_level;            // "--debug" 1, "--super-debug" 2
  int fugly;                  // "--fugly": flat shading, the scene's plain drawing
  int practice;               // "--practice": robots get the "tester" personality
  int editor_enabled;
  int draw_render_stats;
  int accurate_skip;
  int print_orientation;
  int rotate_lineup;
  double fake_lag;            // seconds, 0..1
  int fake_loss;              // percent, 0..100
};

extern game_state_record game_state;
