#pragma once
// Writing ".jm" files, and the simple shapes the data generator and the
// tests build models from. Shapes are ordinary model sub-meshes (tangents
// computed), so they can be drawn or written as they are; link several
// through `next` to make a model of several materials.
#include "assets/model.h"

struct jm_material {
  float mode;       // >= 0 shininess, -1 reflective, -2 unlit
  float colour[4];  // r, g, b, a (a is only read back for modes below 0)
};

// Writes the chain as "JM1", or as "JM2" when it has bones (every sub-mesh
// must then have the same bone count). Numbers are written so that they
// read back to the same floats. 0 on a write error or mixed bone counts.
int jm_write(const model* m, stream* s);
// The same into a named file ("@" names land in the per-user folder).
int jm_write_file(const model* m, const char* name);

// An axis-aligned box of the given full sizes centred on the origin: four
// vertices and two triangles per face, texture coordinates 0..1 per face,
// laid so that each face shows its picture upright and unmirrored from
// outside.
model* jm_box(const float size[3], const jm_material* material, const char* name);

// A closed cylinder along y from -length / 2 to length / 2, with
// `segments` sides (at least 3).
model* jm_cylinder(float radius, float length, int segments, const jm_material* material, const char* name);

// A torus around the y axis: ring radius `major`, tube radius `minor`.
model* jm_torus(float major, float minor, int segments, int sides, const jm_material* material, const char* name);

// A capsule along y (cylinder of `length` with hemispherical ends), skinned
// to `bones` bones (1..model_max_bones) whose pivots are spaced evenly on
// its axis (jm_capsule_bone_centre); each vertex is weighted to the two
// nearest pivots.
model* jm_capsule(float radius, float length, int segments, int rings, int bones, const jm_material* material,
                  const char* name);
void jm_capsule_bone_centre(float length, int bones, int bone, float centre[3]);
