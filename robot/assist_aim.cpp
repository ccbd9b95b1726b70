// Support functions for the assist's aim point.
#include "robot/assist_aim.h"

int32_t assist_fastest_slot(const line_record slots[line_slots_per_segment]) {
  int32_t chosen = 0;
  for (int32_t i = 1; i < line_slots_per_segment; i++) {
    if (slots[i].sample_count <= 0) continue;
    if (slots[chosen].sample_count <= 0 || slots[i].own_time < slots[chosen].own_time) chosen = i;
  }
  return chosen;
}

int32_t assist_nearest_sample(const line_sample* samples, int32_t count, const float p[3]) {
  int32_t best = -1;
  double best_distance = 0;
  for (int32_t i = 0; samples && i < count; i++) {
    const double dx = (double)samples[i].x - p[0], dy = (double)samples[i].y - p[1], dz = (double)samples[i].z - p[2];
    const double d = dx * dx + dy * dy + dz * dz;
    if (best < 0 || d < best_distance) {
      best = i;
      best_distance = d;
    }
  }
  return best;
}
