#include "race/net_values.h"

int net_online;
int net_own_slot = 160;
uint32_t net_state_time[net_slot_count];
float off_course_bias = 10.0f;
float off_course_scale = 1.5f;

int net_state_stale(int slot, int32_t current_tick) {
  if (slot < 0 || slot >= net_slot_count) return 1;
  return (int64_t)current_tick - (int64_t)net_state_time[slot] >= 128;
}

void net_values_reset() {
  net_online = 0;
  net_own_slot = 160;
  for (uint32_t& t : net_state_time) t = 0;
  off_course_bias = 10.0f;
  off_course_scale = 1.5f;
}
