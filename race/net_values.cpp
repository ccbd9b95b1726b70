#include "race/net_values.h"

#include <cstring>

#include "race/game_state.h"

int net_online;
int net_own_slot = 160;
uint32_t net_state_time[net_slot_count];
float off_course_bias = 10.0f;
float off_course_scale = 1.5f;
const char* net_pending_server;
char connect_target_buffer[connect_target_bytes];
int net_lag[net_slot_count];
int net_settings_changed;

int net_request_connect(const char* text) {
  if (!text) return 0;
  const size_t n = std::strlen(text);
  if (n >= connect_target_bytes) return 0;
  std::memcpy(connect_target_buffer, text, n + 1);
  game_state.connect_target = connect_target_buffer;
  net_pending_server = connect_target_buffer;
  return 1;
}

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
