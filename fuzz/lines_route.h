#pragma once
// The small route the lines target reads against, and its seeds are written
// for: first lap gates 0, 1 (no segment start), 2, 3; normal lap 1, 2, 3 (no
// segment start), so three first-lap and two normal-lap segments, each with
// an empty library segment. The lines reader needs a route block to know
// how many segments a file must hold.
#include <cstring>

#include "core/memory.h"
#include "terrain/line_library.h"
#include "terrain/track.h"

inline void fuzz_lines_route() {
  static const int32_t first_lap[] = {0, route_flagged + 1, 2, 3};
  static const int32_t normal_lap[] = {1, 2, route_flagged + 3};
  std::memset(&route, 0, sizeof route);
  int32_t k = 0, sf = 0, sn = 0;
  for (int32_t e : first_lap) route.entries[k++] = e, sf += e < route_flagged;
  for (int32_t e : normal_lap) route.entries[k++] = e, sn += e < route_flagged;
  route.gate_count = 4;
  route.first_lap_gates = (int32_t)(sizeof first_lap / sizeof first_lap[0]);
  route.normal_lap_gates = (int32_t)(sizeof normal_lap / sizeof normal_lap[0]);
  route.first_lap_segments = sf;
  route.normal_lap_segments = sn;
  const size_t slots = (size_t)(sf + sn) * line_slots_per_segment;
  route.line_library = (line_record*)xmalloc(sizeof(line_record) * slots);
  std::memset(route.line_library, 0, sizeof(line_record) * slots);
  for (size_t i = 0; i < slots; i++) line_record_empty(&route.line_library[i]);
  route.best_paths = (int32_t*)xmalloc(sizeof(int32_t) * route_best_path_variants * (size_t)(sf + sn));
  std::memset(route.best_paths, 0, sizeof(int32_t) * route_best_path_variants * (size_t)(sf + sn));
}

// Frees the library and zeroes the route block, so one input's lines never
// outlive it.
inline void fuzz_lines_route_free() {
  const size_t slots = (size_t)(route.first_lap_segments + route.normal_lap_segments) * line_slots_per_segment;
  if (route.line_library)
    for (size_t i = 0; i < slots; i++) line_record_empty(&route.line_library[i]);
  check_free(route.line_library);
  check_free(route.best_paths);
  std::memset(&route, 0, sizeof route);
}
