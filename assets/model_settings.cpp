#include "assets/model_settings.h"

float model_lod_scale = 1.0f;
float model_lod_offset = 0.0f;
float eye_position[3] = {0.0f, 0.0f, 0.0f};
float material_alpha = 1.0f;
unsigned scene_env_texture = 0;
draw_statistics draw_stats = {0, 0};
int no_vertex_arrays = 0;
int model_reflections = 1;
model_lighting_record model_lighting = {{0.2f, 0.2f, 0.2f}, {0.5f, 0.5f, 0.5f}};

static float clamp(float x, float lo, float hi) { return x < lo ? lo : x > hi ? hi : x; }

void model_lod_from_detail(float detail, float* scale, float* offset) {
  float s = 0.02f * clamp(100.0f - detail, 0.0f, 100.0f);
  if (s > 1.0f) s = s * s * s;
  *scale = s;
  *offset = 50.0f - 50.0f * clamp((detail - 10.0f) * 0.05f, 0.0f, 1.0f);
}
