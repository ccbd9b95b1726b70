#pragma once
// Test fixtures of the rut and erosion tests: the game's terrain made in
// memory with one erodible tile, and the race tick the queue reads.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "core/race_clock.h"
#include "terrain/erode_queue.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "terrain/tiles.h"

// The queue reads the race clock.
inline int32_t& rut_test_tick = race_clock.current_tick;

// A new tile's erosion parameters, as a tileinfo that names none gives.
inline tile_params rut_test_default_params() {
  tileinfo_description* d = (tileinfo_description*)std::calloc(1, sizeof *d);
  tileinfo_reset_tile(d);
  tile_params p = d->params;
  std::free(d);
  p.erode_limit_count = 1;
  p.erode_limit_depth[0] = 0.0f;
  p.erode_limit_outer[0] = 1.0f;
  p.erode_limit_inner[0] = 1.0f;
  return p;
}

// The game's terrain: 257 x 257 vertices 4 units apart, heights from
// `height` (flat when null), every tile erodible with the defaults; the
// queue empty and its clock at rut_test_tick.
inline void rut_test_make_field(float (*height)(float x, float z) = nullptr) {
  terrain_create(&track_field, 7, 4.0f);
  for (int row = 0; row < track_field.size; row++)
    for (int column = 0; column < track_field.size; column++) {
      const float h = height ? height(column * 4.0f, row * 4.0f) : 0.0f;
      track_field.heights[column + track_field.size * row] = h;
      track_field.base_heights[column + track_field.size * row] = h;
    }
  track_field.tile_params[0] = rut_test_default_params();
  rut_test_tick = 1000;
  erode_queue_reset();
}

inline void rut_test_free_field() {
  free_terrain(&track_field);
  erode_queue_reset();
  rut_test_tick = 0;
}

// Sum of every height change against the loaded heights.
inline double rut_test_volume_change() {
  double sum = 0.0;
  for (int k = 0; k < track_field.size * track_field.size; k++)
    sum += (double)track_field.heights[k] - (double)track_field.base_heights[k];
  return sum;
}
