#pragma once
// What the race's timing tells the line library of a rider's passes
// through the timing gates (see race_hooks: pass_before_gate_search,
// pass_record_crossing, pass_rider_finished).
struct rider;

// Before the gate search of a tick: a human's line sample, the booking of a
// fresh crash.
void record_pass_before_gate_search(rider* r);
// An accepted crossing c, found at offset `tried` from the crossings made
// (still the count before it; c's tick stored): the void bit of a rider who
// is down, then a robot's test or a human's pass at a segment start.
void record_pass_crossing(rider* r, int c, int tried);
// A finishing robot rolls down its remaining line.
void record_pass_finished(rider* r);
