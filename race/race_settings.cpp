#include "race/race_settings.h"

int xres = 640;
int yres = 480;
int draw_fps = 0;
int draw_time = 0;
int draw_ping = 1;
int draw_speed = 0;
int spy = 0;
const char* config_track_name = nullptr;
int record_demos = 0;
int race_skill = 0;
double race_minutes = 0.0;
double race_laps_choice = 5.0;
// Gates 20 human; 18, 19, 21, 22 and 23 robots.
int line_up_choice[line_up_gates] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                     0, 0, 0, 2, 2, 1, 2, 2, 2, 0, 0, 0, 0, 0};
double ghost_fade_distance = 10.0;
int time_trial_abort = 1;
const char* video_mode_names[video_mode_max] = {"Default Fullscreen", "Windowed"};
int video_mode_count = 2;
int video_mode = 0;
int lens_flare = 1;
int hide_rider = 0;
int rigid_camera = 0;
double first_person_height = 0.0;
double first_person_angle = 0.0;
double first_person_gimbal = 0.0;
double third_person_height = 5.0;
double third_person_distance = 10.0;
double volume = 10.0;
double comp_volume = 8.0;
int playback_mode = 0;
int billboard_optimize_lookahead = 8;
int demo_backups = 0;
double map_scale = 1.0;
