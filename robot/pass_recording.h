#pragma once
// What a rider's passes through the timing gates teach the line library.
// A human rider's samples, every 32 ticks, fill pass list (segment number)
// mod 2; when the segment after a pass ends, the pass may enter the library
// as a line. A robot's runs never become lines: they book tests and
// failures on the lines it picked. A robot is a rider whose personality row
// is not 0; every other rider counts as human here.
#include <cstdint>

struct rider;

int rider_is_robot(const rider* r);

// Per tick, before the crossing search: a human's sample on ticks that are
// multiples of 32, and the booking of a fresh crash.
void pass_take_sample(rider* r);
void pass_book_crash(rider* r);

// An accepted crossing c, found at offset `tried` from the crossings made:
// first (crossings still as before) the void bit of a rider who is down;
// then (tick of c stored) at a segment start a robot books its test, a human
// records its pass when it missed no gate and otherwise loses both lists.
void pass_mark_void(rider* r);
void pass_at_segment_start(rider* r, int64_t c, int tried);

// A finishing robot rolls down its remaining line.
void pass_slow_followed_line(rider* r);
