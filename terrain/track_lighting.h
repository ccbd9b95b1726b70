#pragma once
// The light of the loaded track: sun, ambient, view range, sky, fog and
// lens flares. The track loader fills it from the track's "lighting" file;
// without one it holds the defaults.
#include <cstdint>

#include "core/growable_array.h"

enum {
  sky_north,
  sky_east,
  sky_south,
  sky_west,
  sky_up,
  sky_texture_count,
  flare_max_elements = 8,
};

struct track_lighting {
  float sun_vector[3];  // unit length
  float sun_color[3];
  float ambient[3];
  float global_ambient[3];
  float near_plane;
  float far_plane;
  int32_t dynamic_lighting;
  uint32_t sky_textures[sky_texture_count];
  uint32_t sky_env_texture;
  int32_t fog_on;  // exponential fog of the colour and density below
  float fog_colour[3];
  float fog_density;
};

extern track_lighting lighting;

// A lens-flare source: a point, or a direction (is_direction) such as the
// sun's, with up to 8 drawn elements.
struct flare {
  float vector[3];
  int32_t spare[2];
  float element_offset[flare_max_elements][2];
  float element_colour[flare_max_elements][3];
  float element_size[flare_max_elements];
  uint32_t element_texture[flare_max_elements];
  int32_t element_count;
  int32_t is_direction;
  int32_t spare_end;
};

// Of flare; exists while a track is loaded.
extern growable_array flares;

// The defaults: sun (1, 1, 1) normalised and white, ambient 0.5, global
// ambient 0.2, near 0.25, far 5000, no dynamic lighting, no sky textures,
// no fog.
void track_lighting_reset(track_lighting* l);

// Reads a "lighting" file (a path or "@" name) into `lighting` and
// `flares`, then loads the sky textures not given from "@sky-*.ppm". A
// missing file leaves the defaults, no sky and no fog. Returns 1 when the
// file was read.
int read_lighting(const char* path);
