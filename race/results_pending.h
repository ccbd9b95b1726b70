#pragma once
// Values the results read that the frame loop, race reset and the client
// own; held here until those land.
#include <cstdint>

extern int viewed_slot;
extern int own_start_position;
extern int net_online;
extern int net_own_slot;
extern uint32_t net_state_time[160];
extern float off_course_bias;
extern float off_course_scale;
int net_state_stale(int slot, int32_t current_tick);
