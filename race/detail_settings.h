#pragma once
// The detail values the renderer reads, derived at start-up from the
// graphics settings as the player set them (before the command line, which
// may override them).

struct detail_settings_input {
  double ground_detail;          // Ground Geometric Detail
  double ground_texture_levels;  // Ground Texture Levels
  int ground_texture_resolution; // index of "32x32" .. "1024x1024"
  double model_detail;           // Model Geometric Detail
  double model_texture_detail;   // Model Texture Detail
  int compress_textures;         // Compress Textures index
  double roost_density;          // Roost Density
  int reflections;               // Enable Reflections index
};

// Sets lod_error_scale, ground_texture_level0, ground_texture_dim,
// model_lod_scale and model_lod_offset, texture_reduction, texture_compress,
// roost_density and model_reflections.
void derive_detail_settings(const detail_settings_input* in);

// The derived values as one line (no newline), for the debug log:
// "Detail settings: terrain %f, ground skip %d, ...".
void detail_settings_line(char* out, int size);
