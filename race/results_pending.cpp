#include "race/results_pending.h"

int net_online;
int net_own_slot = 160;
uint32_t net_state_time[160];
float off_course_bias = 10.0f;
float off_course_scale = 1.5f;

int net_state_stale(int slot, int32_t current_tick) {
  if (slot < 0 || slot >= 160) return 1;
  return (int64_t)current_tick - (int64_t)net_state_time[slot] >= 128;
}
