#include "race/race_state.h"

#include "race/race_view.h"

int viewed_slot = race_no_slot;
int erode_level;
int time_trial;
int own_start_position = race_no_slot;
float start_position[3];
int false_start_ticks;
int best_lap_ticks;
int last_lap_ticks;
int menu_page = -1;
int menu_selection;
char race_track_choice[race_track_name_bytes];
int track_reload_requested;
const int* server_line_up;
int server_gate_drop_tick;
char server_track[race_track_name_bytes];
char rider_names[160][rider_name_bytes];
int race_camera_choice = -1;
