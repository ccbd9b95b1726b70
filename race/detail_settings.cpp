#include "race/detail_settings.h"

#include <cstdio>

#include "assets/model_settings.h"
#include "assets/texture_settings.h"
#include "bike/wheel_contacts.h"
#include "terrain/terrain_mesh.h"
#include "terrain/terrain_settings.h"

static double clamp(double v, double low, double high) { return v < low ? low : v > high ? high : v; }

void derive_detail_settings(const detail_settings_input* in) {
  // A detail of 0 (a hand-edited config) would divide by zero; below 1 the
  // terrain would only get coarser anyway.
  lod_error_scale = static_cast<float>(0.125 / (in->ground_detail > 1 ? in->ground_detail : 1));
  ground_texture_level0 = static_cast<int>(clamp(10 - in->ground_texture_levels, 0, 10));
  const int resolution = static_cast<int>(clamp(in->ground_texture_resolution, 0, 5));
  ground_texture_dim = 32 << resolution;
  model_lod_from_detail(static_cast<float>(in->model_detail), &model_lod_scale, &model_lod_offset);
  texture_reduction = static_cast<int>(clamp(10 - in->model_texture_detail, 0, 10));
  texture_compress = in->compress_textures;
  roost_density = static_cast<int>(in->roost_density);
  model_reflections = in->reflections;
}

void detail_settings_line(char* out, int size) {
  std::snprintf(out, size,
                "Detail settings: terrain %f, ground skip %d, ground size %d, model LOD %f %f, texture skip %d, "
                "compress %d, roost %d, reflections %d",
                lod_error_scale, ground_texture_level0, ground_texture_dim, model_lod_scale, model_lod_offset,
                texture_reduction, texture_compress, roost_density, model_reflections);
}
