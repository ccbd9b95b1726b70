#pragma once
// The grading machine: an earth mover of rigid bodies (a chassis on eight
// motor-driven wheels, skid-steered) whose blade reshapes the height field as
// it drives. Nothing in the game makes one; it is kept as a terrain service.
//
// The chassis's forward is its +z axis: a positive speed spins every wheel
// about +x and drives the machine along +z. The blade is a horizontal edge
// across the heading, ahead of the chassis; blade_lever moves it between
// grader_blade_travel below (-1) and above (+1) the wheels' ground line.
#include <ode/ode.h>

struct height_field;

// The machine's dimensions, ours to choose.
constexpr float grader_track_width = 8.0f;      // wheel centres across: room for the 10 ft chassis
constexpr float grader_wheelbase = 12.0f;       // first to last of the four axles
constexpr float grader_chassis_height = 3.0f;   // chassis centre above the wheels' ground line
constexpr float grader_blade_width = 10.0f;     // covers the wheels' outer edges (8 ft + two radii)
constexpr float grader_blade_reach = 9.0f;      // from the chassis centre: 3 ft ahead of the front axle
constexpr float grader_blade_travel = 2.0f;     // blade height at lever +-1 from the ground line
constexpr float grader_blade_round = 1.0f;      // radius of the blade edge's profile (modes 0 and 1)
constexpr float grader_blade_line_reach = 0.5f; // modes 2 and 3 act this close to the blade line
constexpr float grader_lever_travel = 8.0f;     // the lever divisor: ft of travel for the lever to close on its target
constexpr float grader_wheel_radius = 1.0f;
constexpr float grader_wheel_mass = 4.0f;       // slugs; light beside the chassis so the motors spin them up at once
// The chassis is a 10 x 5 x 10 box of 7.8125 lb per cubic foot (122 slugs):
// what the wheels' sphere contacts (2500 lb/ft springs) carry with a few
// inches of sink.
constexpr float grader_chassis_density = 7.8125f / 32.0f;
constexpr float grader_grip = 1.0f;             // friction along the rolling direction
constexpr float grader_side_grip = 0.5f;        // along the axle: low enough for the wheels to skid in a turn
constexpr float grader_motor_force = 10000.0f;
constexpr int grader_smooth_radius = 10;        // mode 3 averages 21 x 21 vertices

enum { grader_wheels = 8, grader_chassis = 8 };

struct grading_machine {
  dBodyID bodies[9];  // wheels 0..7 (axle i: 2i on the left at -x, 2i + 1 on the right), then the chassis
  dJointID hinges[8];
  float steer;        // half the speed difference between the wheels of a pair
  float blade_lever;  // -1 .. 1
  float blade_target;
  float blade_rate;
  int tool_mode;  // 0 cut and push back, 1 cut, 2 push away ahead, 3 smooth
};

// An inclusive rectangle of cells; empty while x0 > x1.
struct grader_rect {
  int x0, z0, x1, z1;
};

// Builds the machine at rest on the origin in the dynamics world. Null, after
// a log line, when there is no world or no memory.
grading_machine* grader_create();
void grader_destroy(grading_machine* m);
// Back to the start position, still; lever and target 0.5, the rest 0.
void grader_reset(grading_machine* m);

void grader_set_steer(grading_machine* m, float steer);
void grader_set_blade_target(grading_machine* m, float target);
void grader_set_blade_rate(grading_machine* m, float rate);
void grader_set_tool_mode(grading_machine* m, int mode);  // outside 0..3 shapes nothing
// Every wheel motor: speed + steer on the left, speed - steer on the right.
void grader_set_speed(grading_machine* m, float speed);
void grader_move(grading_machine* m, float dx, float dy, float dz);
// Moves the lever towards its target as the machine travels, then by the rate.
void grader_update_lever(grading_machine* m);
dBodyID grader_get_body(const grading_machine* m);

// The blade's ends in world coordinates (at the blade's height).
void grader_blade(const grading_machine* m, float left[3], float right[3]);

// One tick: a contact joint per wheel, then the blade's shaping; the cells it
// changed are handed to the ground-texture invalidation and, when `touched`
// is given, stored there. 1 when anything changed. Non-finite bodies shape
// nothing.
int grader_step(grading_machine* m, height_field* field, grader_rect* touched = nullptr);

// The machine's height edit: terrain_set_height, widening `touched`.
int grader_set_height(height_field* field, int column, int row, float height, grader_rect* touched);
// Deposits `amount` walking from vertex (column, row) downhill along the
// signs of (dx, dz) (a zero component does not count; both zero deposits in
// place): each vertex is raised at most half a spacing above its lower
// forward neighbour. With first_step the walk moves once before it deposits.
// Returns what was not deposited: the rest at the grid's edge, or all of it
// when an edit is refused.
float grader_push(height_field* field, int column, int row, float dx, float dz, float amount, int first_step,
                  grader_rect* touched);
// Paints tile-map texel (column, row) (clamped to the map) with `tile`, and
// each of its eight neighbours with the first tile whose transition code
// shows the painted tile in the corners they share and the neighbour's own
// tiles in the rest (left alone when none fits). 0 when refused (edit lock,
// no such tile).
int grader_paint_tile(height_field* field, int column, int row, int tile, grader_rect* touched);
