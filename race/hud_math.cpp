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
