#pragma once
// Decals: textures laid flat on the ground and painted into the ground
// textures. The list and its 8 x 8 bins are fields of the height field.
//
// The "decals" file of a track folder is text: repeated entries
// "[ x z ] angle extent_a extent_b texture", the extents along the decal's
// own axes: extent_a along (cos angle, -sin angle), extent_b along
// (sin angle, cos angle), the line of its heading (-sin angle, -cos angle).
#include <cstdint>

struct height_field;
struct stream;

struct decal {
  uint8_t* image;  // the texture's image form (texture_mode 1 only)
  int32_t image_width;
  int32_t image_height;
  uint32_t texture;  // the other modes
  uint32_t tnorm_texture;
  uint32_t tspec_texture;
  float x;
  float z;
  float angle;  // radians
  float extent_a;
  float extent_b;
  float sin_angle;
  float cos_angle;
  const char* name;  // interned texture name, as the file gives it
};

// Reads a decals file into the field: creates the decal list, the
// compositor's two scratch lists and the 64 bins, keeps every entry whose
// texture loads, then bins them all. Reading stops at the first entry that
// does not match; a console line says so when text was left unread, and
// another for each texture that cannot be loaded. Returns 1.
int load_decals(height_field* field, stream* s);
// Writes one "[x z] angle extent_a extent_b name" line per decal. 1, or 0
// when the field has no decal list or a write failed.
int save_decals(const height_field* field, stream* s);

decal* decal_at(const height_field* field, int32_t index);

// Adds decal `index` to every bin its rotated rectangle covers, keeping each
// bin ascending and without repeats.
void decal_bin_insert(height_field* field, int index);
