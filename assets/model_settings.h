#pragma once
// Values the scene and the front end own but model drawing reads. Their
// owners set them; the defaults are the shipped ones.

// The LOD choice: a variant is used once scale x its distance from the eye
// reaches its switch distance - offset. Derived from the "model_detail"
// slider by model_lod_from_detail at start-up.
extern float model_lod_scale;
extern float model_lod_offset;

// The camera position of the current view.
extern float eye_position[3];

// Opacity of the lit models drawn next, 1 by default. The scene lowers it
// to fade a rider (or a statue) out and puts it back to 1 after the call.
extern float material_alpha;

// The environment map the shine pass of reflective models binds; 0 = none
// (then nothing is shone). The scene keeps it in its shared texture table.
extern unsigned scene_env_texture;

// What was drawn this frame; the scene clears it every frame.
struct draw_statistics {
  int vertices;
  int triangles;
};
extern draw_statistics draw_stats;

// "--novertexarrays": draw in immediate mode instead of vertex arrays.
extern int no_vertex_arrays;

// Whether models draw their reflections (default on): a run-time copy of
// the front end's "reflections" item, made at start-up and when the
// graphics page changes it.
extern int model_reflections;

// The track's ambient colours, which the unlit material borrows light 0's
// ambient from and then puts back. The track's lighting reader keeps them
// here; the defaults match the lighting defaults.
struct model_lighting_record {
  float global_ambient[3];  // the light model's ambient
  float ambient[3];         // light 0's ambient
};
extern model_lighting_record model_lighting;

// The "model_detail" slider (0..100, default 50) turned into the LOD scale
// and offset.
void model_lod_from_detail(float detail, float* scale, float* offset);
