#pragma once
// Settings the race code reads: the video mode, the HUD switches, the new
// race choices, the cameras and the volumes. The front end's settings
// items point at these variables and the config file saves them; the
// initial values are the defaults.

// Window size for windowed play, in pixels (1..16384).
extern int xres;
extern int yres;

// HUD switches (0 off, otherwise on).
extern int draw_fps;
extern int draw_time;
extern int draw_ping;
extern int draw_speed;
extern int spy;

// The folder name of the chosen track as the config file named it
// (interned), or null. Kept so that a track the list does not hold is
// still written back.
extern const char* config_track_name;

// New race choices: record demos (0 No, 1 Yes), robot skill (0 Novice,
// 1 Amateur, 2 Expert), length in minutes and laps.
extern int record_demos;
extern int race_skill;
extern double race_minutes;
extern double race_laps_choice;

// What stands at each of the 40 starting gates of a race against robots:
// 0 empty, 1 human, 2 robot, 3 robot on a two-stroke, 4 robot on a
// four-stroke.
enum { line_up_gates = 40 };
extern int line_up_choice[line_up_gates];

// Time trial: the distance at which the ghost fades, and whether a lap
// that cannot beat the best is abandoned (0 No, 1 Yes).
extern double ghost_fade_distance;
extern int time_trial_abort;

// The video-mode list built at start-up: "Default Fullscreen", "Windowed",
// then the display's modes. video_mode is the chosen index.
enum { video_mode_max = 256 };
extern const char* video_mode_names[video_mode_max];
extern int video_mode_count;
extern int video_mode;

// Drawing and camera choices (lists 0 No, 1 Yes; sliders in their units).
extern int lens_flare;
extern int hide_rider;
extern int rigid_camera;
extern double first_person_height;
extern double first_person_angle;
extern double first_person_gimbal;
extern double third_person_height;
extern double third_person_distance;

// Volumes 0..10: the game's and the other riders' engines.
extern double volume;
extern double comp_volume;

// Demo playback: 0 Playback Only, 1 Race Against.
extern int playback_mode;

// How many frames ahead billboards are sorted (never negative).
extern int billboard_optimize_lookahead;
// How many older copies of a demo are kept when it is written again.
extern int demo_backups;
// The track map's scale, 0.125..8.
extern double map_scale;
