#pragma once
// ".jm" models: reading them into sub-mesh chains, the cache by name with
// level-of-detail variants, freeing by generation, and the POV-Ray "mesh2"
// export. Reading never touches GL; display lists are built by
// model_build_lists (model_draw.h) once a context exists.
//
// A ".jm" file is text:
//   JM1                      sub-meshes without bone weights
//   JM2 <bones> <word>       sub-meshes with <bones> weights per vertex
// then sub-meshes to the end of the file, each
//   m0 m1 m2 m3 m4 V T       material (mode/shininess, alpha, r, g, b)
//   V x (x y z  nx ny nz  u v  [weights])
//   T x (a b c)              vertex indices from 0
// A file without the "JM" line holds "V T", the vertices and the triangles
// of one plain white sub-mesh.
#include "core/growable_array.h"
#include "core/stream.h"

// Material modes below 0 (0 and above are ordinary lit materials with that
// specular exponent).
enum {
  model_mode_reflective = -1,
  model_mode_unlit = -2,
};

// Limits of what a file may ask for, checked before anything is allocated.
enum {
  model_max_vertices = 1 << 20,
  model_max_triangles = 1 << 21,
  model_max_bones = 1024,
};

// One sub-mesh; the first of a chain stands for the whole model and carries
// the cache fields. Each sub-mesh is one heap block: this record, its
// arrays, then its name.
struct model {
  char* name;
  model* next;
  int generation;          // first sub-mesh of a cached model
  int reflective;          // mode -1; on the first, set when any sub-mesh is
  unsigned display_list;   // 0 = none
  int list_wanted;         // draw from a display list once one can be made
  int vertex_count;
  int triangle_count;
  int bone_count;
  float colour[4];         // r, g, b, a
  float shininess;         // material mode, see above
  // With bones the position, normal and tangent arrays hold 2V entries:
  // the current (skinned) ones first, then the bind pose.
  float* positions;        // 3 per vertex
  float* normals;          // 3 per vertex
  float* tangents;         // 3 per vertex
  float* texcoords;        // 2 per vertex, v stored as 1 - v of the file
  float* weights;          // 4 per vertex, null without bones
  int* bone_indices;       // 4 per vertex, null without bones
  int* triangles;          // 3 per triangle
  float u_gradient_bound;  // largest change of u per unit of edge length
  float v_gradient_bound;
  float lod_distance;      // 0 on the base model, 2^N on a "_lodN" variant
  model* lod_next;         // variants by ascending distance
};

// Raised by the race reset when it loads a track; 0 = before the first.
extern int model_generation;
// Of model*, capacity 16 at first use.
extern growable_array model_cache;
// Set once the game has a GL context: models read from then on get their
// display lists at load. Tools and headless tests leave it 0.
extern int model_compile_lists;

// A zeroed sub-mesh block for V vertices, T triangles and B bones, named
// name; null (after a console line) when a count is out of range.
model* model_alloc_submesh(int vertex_count, int triangle_count, int bone_count, const char* name);

// One sub-mesh from the stream: null at the end of the chain or on a read
// error. Triangles out of range or degenerate are dropped and counted.
model* model_read_submesh(stream* s, const char* name, int bone_count);

// A new (uncached) model chain from the named file, or null.
model* model_read(const char* name);

// The cached model, read (with its LOD variants for "@" names) on the first
// request; null when it cannot be read.
model* model_get(const char* name);

const char* model_name(const model* m);

// A cached model with its LOD variants, sub-meshes and display lists.
void model_free(model* m);
// A sub-mesh chain and its display lists.
void model_free_submeshes(model* m);

// all = 0: frees the models of older generations (0 and the current one
// stay); all = 1: frees every model and the cache storage.
void model_delete_stale(int all);

// Writes the model as POV-Ray "mesh2" text ("union" of several sub-meshes).
int model_export_pov(const model* m, stream* s);

// The stem of an "@" name: after "@" up to its last "." (without the "@").
// 0 when the name has no "@" or no ".".
int model_lod_stem(const char* name, char* stem, int size);

// When listed (a relative file name) is a variant of stem ("<stem>_lod<N>..."
// with N a decimal number), 1 with its switch distance 2^N and the name to
// read it by (listed without ".gz", ".scram" or ".gz.scram").
int model_lod_variant(const char* stem, const char* listed, float* distance, char* variant, int size);

// Reads the LOD variants of base from the listed names (null-terminated) and
// links them behind it by ascending distance; prefix goes before each name
// read ("@" for the file index). Returns how many were added.
int model_add_lod_variants(model* base, const char* stem, const char* const* listed, const char* prefix);

// Recomputes the texture-gradient bounds of every sub-mesh of the chain.
void model_gradient_bounds(model* m);
// Counts for a distance d: d / bound each, 8192 when d / 8192 exceeds it.
void model_gradient_counts(const model* m, float distance, float* u_count, float* v_count);
