#pragma once
// What a race holds between resets beside the race clock: who is viewed,
// how the ruts work, the time-trial flag, the local rider's start, its lap
// times and the menu page the loop hands keys to. Race reset sets most of
// it; the frame loop, the tick and the HUD read it.
#include <cstdint>

struct rider;

enum {
  race_no_slot = 160,
  rider_input_count = 9,
  race_track_name_bytes = 256,
  rider_name_bytes = 64,
};

// The nine control values of one tick, in this order.
enum {
  input_steer,
  input_throttle,
  input_front_brake,
  input_rear_brake,
  input_shift,
  input_clutch,
  input_dab,
  input_back_up,
  input_lean,
};

extern int viewed_slot;          // the slot the HUD and cameras follow; 160: none
extern int erode_level;          // -1 not yet known, 0 ruts off, above 0 on (x 1024)
extern int time_trial;           // the race is a time trial
extern int own_start_position;   // the local rider's gate online; 160: not racing
extern float start_position[3];  // the local rider's frame at the gate
extern int false_start_ticks;
extern int best_lap_ticks;
extern int last_lap_ticks;

// The open menu page: -1 none, 0 the main menu, 16 the console page.
extern int menu_page;
extern int menu_selection;

// The track the menus have chosen (a folder name), which the next reset
// loads when it differs from the loaded one.
extern char race_track_choice[race_track_name_bytes];
// The server turned ruts on: the next reset loads the track again.
extern int track_reload_requested;
// The line-up table the server's race start fills; a reset given this
// table starts the server's race. Null while there is no client.
extern const int* server_line_up;
extern int server_gate_drop_tick;
extern char server_track[race_track_name_bytes];

// The riders' names, for the HUD and the results.
extern char rider_names[160][rider_name_bytes];

// The rider in a slot, or null for an empty slot and for any index outside
// 0..159 (160 is the usual "no rider").
rider* slot_rider(int slot);
// The slot's kind (0 local, 1 recorded, 2 robot), or -1 outside 0..159.
int slot_kind(int slot);
