#pragma once
// The light of the loaded track: sun, ambient and view range. The track
// loader fills it from the track's "lighting" file; until then it holds the
// defaults.
#include <cstdint>

struct track_lighting {
  float sun_vector[3];  // unit length
  float sun_color[3];
  float ambient[3];
  float global_ambient[3];
  float near_plane;
  float far_plane;
  int32_t dynamic_lighting;
};

extern track_lighting lighting;

// The defaults: sun (1, 1, 1) normalised and white, ambient 0.5, global
// ambient 0.2, near 0.25, far 5000, no dynamic lighting.
void track_lighting_reset(track_lighting* l);
