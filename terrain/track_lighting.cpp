#include "terrain/track_lighting.h"

#include <cmath>
#include <cstring>

void track_lighting_reset(track_lighting* l) {
  std::memset(l, 0, sizeof *l);
  const float s = 1.0f / std::sqrt(3.0f);
  for (int c = 0; c < 3; c++) {
    l->sun_vector[c] = s;
    l->sun_color[c] = 1.0f;
    l->ambient[c] = 0.5f;
    l->global_ambient[c] = 0.2f;
  }
  l->near_plane = 0.25f;
  l->far_plane = 5000.0f;
  l->dynamic_lighting = 0;
}

static track_lighting lighting_defaults() {
  track_lighting l;
  track_lighting_reset(&l);
  return l;
}

track_lighting lighting = lighting_defaults();
growable_array flares;
