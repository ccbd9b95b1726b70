#include "race/hud_math.h"

#include <cmath>
#include <cstdio>

#include "core/race_clock.h"

void draw_race_length(char* buffer, size_t size) {
  if (!buffer || size == 0) return;
  const int32_t ticks = race_clock.race_length_ticks;
  if (ticks <= 0) {
    std::snprintf(buffer, size, "%d laps", race_clock.race_laps);
    return;
  }
  const int minutes = (int)(ticks / 128.0 / 60.0 + 0.5);
  if (race_clock.race_laps > 0)
    std::snprintf(buffer, size, "%d minutes + %d laps", minutes, race_clock.race_laps);
  else
    std::snprintf(buffer, size, "%d minutes", minutes);
}

float tach_needle_degrees(float rpm) { return (3 * rpm / 64000 - 0.375f) * 360; }

void gear_cell(int gear, float cell[4]) {
  // A negative index (none yet) still lands on a cell of the sheet.
  const int column = ((gear % 3) + 3) % 3;
  const int row = (((gear / 3) % 3) + 3) % 3;
  cell[0] = column / 3.0f;
  cell[1] = row / 3.0f;
  cell[2] = (column + 1) / 3.0f;
  cell[3] = (row + 1) / 3.0f;
}

float start_caption_alpha(int32_t tick) {
  const float alpha = 3 - tick / 128.0f;
  return alpha < 0 ? 0 : (alpha > 1 ? 1 : alpha);
}

int gauge_arc_steps(float a0, float a1) {
  const float span = std::fabs(a0 - a1);
  if (!std::isfinite(span)) return 0;
  // Beyond a few turns more steps add nothing but the risk of an
  // overflowing count.
  const float steps = span * 31 / 3.14159265f;
  return steps > 4096 ? 4098 : (int)steps + 2;
}

namespace {

int32_t tick_at(const crossing_list& list, int n) {
  if (!list.ticks || n < 0 || n >= list.count) return -1;
  return list.ticks[n];
}

}  // namespace

double pit_board_gap(const crossing_list& self, const crossing_list& other) {
  const int index = (self.count < other.count ? self.count : other.count) - 1;
  const int32_t a = tick_at(self, index), b = tick_at(other, index);
  if (index < 0 || a < 1 || b < 1) return 0;
  // The one behind crossed later: positive for the leader against the
  // second, negative against the rider ahead.
  return (b - a) / 128.0;
}

int lapping_listed(const crossing_list& viewed, const crossing_list& other, int riders, int first_gates,
                   int normal_gates) {
  const int c = viewed.count, l = other.count;
  if (riders < 2 || normal_gates < 1 || c < first_gates || l <= c) return 0;
  const int k = (l - c - 1) / normal_gates;
  const int index = l - normal_gates * (k + 1) - 1;
  if (index < 0) return 0;
  const int32_t g = tick_at(viewed, index);
  const int32_t other_last = tick_at(other, l - 1), viewed_last = tick_at(viewed, c - 1);
  if (g < 1 || other_last < 1 || viewed_last < 1) return 0;
  return other_last >= g && viewed_last - g <= 15 * 128 && other_last - g <= 3 * 128;
}
