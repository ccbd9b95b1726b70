// Robot lines files ("lines_novice" and its kin) as the game loads them,
// against a small fixed route. Whatever the file holds, every slot it left
// filled must be one the robot code can walk: a sample count in range,
// samples behind it, finite values and no negative times.
#include <cmath>
#include <string>

#include "fuzz/fuzz_target.h"
#include "fuzz/lines_route.h"
#include "robot/lines.h"

BK_FUZZ_TARGET(lines) {
  fuzz_lines_route();
  const std::string path = fuzz_write("lines_novice", data, size);
  std::string refusal;
  const int header = lines_load_from(path.c_str(), &refusal);
  for (int32_t k = 0; k < route_library_segments(); k++) {
    const line_record* slots = library_segment_slots(k);
    for (int i = 0; i < line_slots_per_segment; i++) {
      const line_record& r = slots[i];
      if (!r.samples && r.sample_count == 0) continue;
      if (!r.samples || r.sample_count < 1 || r.sample_count > line_sample_count_max) __builtin_trap();
      if (r.own_time < 0 || r.pass_time < 0 || r.times_tested < 0 || r.failures < 0) __builtin_trap();
      if (r.times_tested > line_count_max || r.failures > line_count_max) __builtin_trap();
      if (r.own_time_sum > line_sum_max || r.pass_time_sum > line_sum_max) __builtin_trap();
      if (line_slot_expected_time(&r) < 0) __builtin_trap();
      for (int32_t n = 0; n < r.sample_count; n++) {
        const line_sample& v = r.samples[n];
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z) || !std::isfinite(v.speed) ||
            !std::isfinite(v.lean))
          __builtin_trap();
      }
    }
  }
  fuzz_lines_route_free();
  fuzz_clear_scratch();
  return header && refusal.empty();
}
