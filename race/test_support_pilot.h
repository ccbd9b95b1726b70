#pragma once
// A scripted pilot for race tests and benchmarks: each rider rides the
// route, steering for its next timing gate at a set speed. It counts a gate
// as reached when the rider comes within the gate's half-width of its
// centre, so it follows the route whether or not crossings are recorded.
// Robots (kind 2) get it as the auto pilot hook; a local rider (kind 0) gets
// its controls through apply_controls.
struct rider;

extern float pilot_speed;  // ft/s to hold
// Ticks after the drop before the pilot lets go of the brakes: the arm is
// down by then.
extern int pilot_reaction_ticks;

// Forgets every slot's progress along the route.
void pilot_reset();
// The controls for the rider this tick, as a player's hands give them to
// apply_controls (a rider_input: steer, throttle, front brake, rear brake,
// shift, clutch, dab, back up, lean).
void pilot_input(rider* r, float input[9]);
// The auto pilot hook's form: the controls set on the rider.
void pilot_auto_pilot_tick(rider* r);
// The route position (index into the crossings) the rider steers for.
int pilot_route_position(int slot);
