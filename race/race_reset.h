#pragma once
// Race reset: the one way into a race. It ends the race that runs, frees
// the riders, sets the race clock, loads the track when it changed, fills
// the 160 slots from a line-up and puts each rider on the starting grid.
// Also the time-trial restart, freeing the track and turning one tick's
// control values into a rider's controls.
struct rider;

// Line-up codes, one per slot.
enum {
  line_up_empty = 0,      // or the next rider of the demo being played
  line_up_local = 1,
  line_up_robot = 2,
  line_up_robot_125 = 3,  // a robot whose bike name holds "125"
  line_up_robot_250 = 4,  // one whose bike name holds "250"
  line_up_network = 5,
  line_up_numbered = 1000,  // 1000 + n: the robot with race number n
};

enum {
  robot_roster_size = 80,
  gate_drop_min_seconds = 13,
  time_trial_start_tick = 38400,  // 300 s: the gate long down
};

// One robot of the roster; a null skin leaves the rider's default.
struct robot_roster_row {
  const char* number;
  const char* personality;
  const char* bike;
  const char* gear_skin;
  const char* helmet_skin;
  const char* bike_skin;
  const char* wheels_skin;
};
extern const robot_roster_row robot_roster[robot_roster_size];
// The roster in the order this race takes it (shuffled by the reset).
extern int robot_roster_order[robot_roster_size];
// The place in that order of the next robot; it carries on from race to
// race, so a race run again on the same clock needs it set back too.
extern int robot_counter;

// (Re)starts a race. line_up: 160 codes, or null for a time trial;
// play_demo: race the chosen demo's riders; record: record a demo;
// race_length_ticks: 0 for laps only; skill 0..2 picks the robots' lines.
// 0 when the track could not be loaded (then none is).
int reset_session(const int* line_up, int play_demo, int record, int race_length_ticks,
                  int race_laps, int skill);

// The time trial's restart: slot 0 alone at the route's gate where the
// lap's last segments begin.
void restart_alone_at_gate();

// Frees the loaded track (safe when none is).
void free_track();

// Stands the rider's bodies at (x, z), turned by heading about the
// vertical, starting at the grid height under it and raised 0.25 at a time
// until clear of the ground, but never past the field's highest point
// + 20 (a log line says so).
void place_rider_clear(rider* r, float x, float z, float heading);

// Lifts a rider clear of the terrain where it stands (the editor's exit).
void lift_rider_clear(rider* r);

// One tick's control values (steer, throttle, front brake, rear brake,
// shift, clutch lever, dab, back up, lean) to the rider.
void apply_controls(rider* r, const float* input);
// Forgets the sticky dab's held state (a new race, a new rider).
void apply_controls_reset();
// Whether the sticky dab is held down (the HUD's "Dabbing!").
int sticky_dab_is_held();
