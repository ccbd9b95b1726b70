#pragma once
// The edge of the world: the height field ends at its border, and past it
// there is no ground to ride on or to land on. A rider stepped here (a
// local player or a robot) is held at the field's edge; one that is
// nowhere on it (under the ground, or not a number) is brought back to the
// timing gate it last crossed, as a fall, with its crossings kept.
struct rider;

// Keeps the rider on the field, as above. 1 when it had to.
int keep_rider_on_field(rider* r);
// Puts the rider back at the gate of its last crossing (before its first,
// the first gate), facing the way through it and clear of the ground.
// Keeps its crossings, finish and robot state; counts a crash.
void bring_rider_back(rider* r);
