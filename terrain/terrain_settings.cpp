#include "terrain/terrain_settings.h"

double tick_length = 1.0 / 128.0;
float lod_error_scale = 0.125f / 50.0f;
int ground_texture_dim = 128;
int terrain_shaders = 0;
uint32_t upload_interval = 1;
int render_texture_mode = 1;
