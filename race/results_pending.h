#pragma once
// Values the results read that the multiplayer client owns; held here
// until the client's own header lands.
#include <cstdint>

extern int net_online;
extern int net_own_slot;
extern uint32_t net_state_time[160];
extern float off_course_bias;
extern float off_course_scale;
int net_state_stale(int slot, int32_t current_tick);
