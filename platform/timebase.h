#pragma once
// The platform time base: (seconds, microseconds) pairs from a 32-bit
// millisecond clock, and a sleep that wakes on time rather than late.
#include <cstdint>

// Split a millisecond count into seconds and microseconds. Input events are
// stamped with the same rule, so the two clocks always agree.
void time_from_ms(uint32_t ms, int* seconds, int* microseconds);

// The current time; always returns 1.
int time_now(int* seconds, int* microseconds);

// How long sleep_precise first hands to the OS, in milliseconds; the rest is
// spent yielding until the deadline.
uint32_t sleep_first_ms(int seconds, int microseconds);

// Returns after at least the given duration.
void sleep_precise(int seconds, int microseconds);
