#pragma once
// The edge of the world: the height field ends at its border, and past it
// there is no ground to ride on or to land on. A rider stepped here (a
// local player or a robot) that leaves the field is brought back to the
// timing gate it last crossed, as a fall, with its crossings kept.
struct rider;

// Whether the rider's frame is outside the field's square (or nowhere).
int rider_beyond_field(const rider* r);
// Puts the rider back at the gate of its last crossing (before its first,
// the first gate), facing the way through it and clear of the ground.
// Keeps its crossings, finish and robot state; counts a crash.
void bring_rider_back(rider* r);
