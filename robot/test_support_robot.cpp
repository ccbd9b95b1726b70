#include "robot/test_support_robot.h"

#include <cmath>
#include <cstring>

#include "core/memory.h"
#include "terrain/track.h"

void robot_fixture_route_free() {
  if (route.line_library) {
    const int32_t slots = (route.first_lap_segments + route.normal_lap_segments) * (int32_t)line_slots_per_segment;
    for (int32_t k = 0; k < slots; k++) check_free(route.line_library[k].samples);
  }
  check_free(route.line_library);
  check_free(route.best_paths);
  std::memset(&route, 0, sizeof route);
}

void robot_fixture_route(const std::vector<int32_t>& first_lap, const std::vector<int32_t>& normal_lap,
                         int32_t gate_count) {
  robot_fixture_route_free();
  int32_t k = 0, sf = 0, sn = 0;
  for (int32_t e : first_lap) route.entries[k++] = e, sf += e < route_flagged;
  for (int32_t e : normal_lap) route.entries[k++] = e, sn += e < route_flagged;
  route.gate_count = gate_count;
  route.first_lap_gates = (int32_t)first_lap.size();
  route.normal_lap_gates = (int32_t)normal_lap.size();
  route.first_lap_segments = sf;
  route.normal_lap_segments = sn;
  if (sf + sn == 0) return;
  const size_t slots = (size_t)(sf + sn) * line_slots_per_segment;
  route.line_library = (line_record*)xmalloc(sizeof(line_record) * slots);
  std::memset(route.line_library, 0, sizeof(line_record) * slots);
  for (size_t i = 0; i < slots; i++) line_record_empty(&route.line_library[i]);
  route.best_paths = (int32_t*)xmalloc(sizeof(int32_t) * route_best_path_variants * (size_t)(sf + sn));
  std::memset(route.best_paths, 0, sizeof(int32_t) * route_best_path_variants * (size_t)(sf + sn));
}

void robot_fixture_line(line_record* slot, const std::vector<line_sample>& samples, int32_t pass_time,
                        int32_t tested, int32_t own_sum, int32_t failures) {
  line_record_empty(slot);
  slot->samples = (line_sample*)xmalloc(sizeof(line_sample) * samples.size());
  std::memcpy(slot->samples, samples.data(), sizeof(line_sample) * samples.size());
  slot->sample_count = (int32_t)samples.size();
  slot->own_time = pass_time / 2;
  slot->pass_time = pass_time;
  slot->times_tested = tested;
  slot->own_time_sum = own_sum;
  slot->pass_time_sum = own_sum * 2;
  slot->failures = failures;
  slot->unique_id = ++route.id_serial;
}

std::vector<line_sample> robot_fixture_run(float x0, float z0, float x1, float z1, int count, float speed) {
  std::vector<line_sample> out;
  for (int i = 0; i < count; i++) {
    const float u = count > 1 ? (float)i / (count - 1) : 0;
    out.push_back({x0 + (x1 - x0) * u, 0, z0 + (z1 - z0) * u, speed, 0});
  }
  return out;
}

std::vector<line_sample> robot_fixture_arc(float r, float a0, float a1, int count, float speed) {
  std::vector<line_sample> out;
  for (int i = 0; i < count; i++) {
    const double a = (a0 + (a1 - a0) * (double)i / (count - 1)) * M_PI / 180;
    out.push_back({(float)(r * std::cos(a)), 0, (float)(r * std::sin(a)), speed, 0});
  }
  return out;
}
