#pragma once
// Drawing models with OpenGL, and the CPU work behind it: the LOD choice,
// bone skinning, environment-map coordinates, tangents and the degeneracy
// test.
//
// Bones come as three parallel arrays of B entries: bind-pose pivots
// (3 floats), where each pivot is now (3 floats) and 3 x 3 rotations
// (9 floats, column after column). A skinned vertex is
//   p' = sum over its four influences of w (R (p - c) + t).
// The object rotation of the draw calls is model-to-world, row after row.
#include "assets/model.h"

// ---------------------------------------------------------------------------
// CPU work (no GL).

// The level to draw: walking the variants by ascending distance, stop before
// the first whose (distance - offset) is above 0 and above scale x |object -
// eye|.
const model* model_choose_lod(const model* base, const float object[3], const float eye[3], float scale,
                              float offset);

// Fills the tangents (and their bind-pose copy with bones) from positions
// and texture coordinates; not made perpendicular to the normals.
void model_compute_tangents(model* sub);

// 1 when triangle t has (nearly) no area, or its area is not a number.
int model_triangle_degenerate(const model* sub, int t);

// Skins the current half from the bind pose. Does nothing while shaders are
// active (the vertex programs skin) or when B is not the sub-mesh's count.
void model_skin_cpu(model* sub, const float* centres, const float* translations, const float* rotations,
                    int bone_count);

// Overwrites the texture coordinates with the polar environment-map lookup
// of each vertex's reflection as seen from eye.
void model_env_texcoords(model* sub, const float eye[3], const float object[3], const float rotation[9]);

// ---------------------------------------------------------------------------
// Drawing (a GL context must be current).

// Compiles the display lists the chain and its LOD variants want.
void model_build_lists(model* m);
// Deletes the sub-mesh's display list, if any.
void model_release_list(model* sub);

// The ordinary sub-meshes, up to the first reflective one.
void model_draw_lit(const model* m, const float eye[3], const float object[3], const float rotation[9],
                    const float* centres, const float* translations, const float* rotations, int bone_count);
// The reflective sub-meshes.
void model_draw_env(const model* m, const float eye[3], const float object[3], const float rotation[9],
                    const float* centres, const float* translations, const float* rotations, int bone_count);
void model_draw_lit_simple(const model* m, const float eye[3], const float object[3], const float rotation[9]);
void model_draw_env_simple(const model* m, const float eye[3], const float object[3], const float rotation[9]);

// 1 when reflections are on and the model has a reflective sub-mesh.
int model_uses_env(const model* m);

// The first sub-mesh's triangles as line loops.
void model_draw_lines(const model* m);

void model_draw_arrays(const model* sub);
void model_draw_immediate(const model* sub);
// One sub-mesh: its display list, else immediate mode or vertex arrays;
// counted in draw_stats.
void model_call_list(const model* sub);
