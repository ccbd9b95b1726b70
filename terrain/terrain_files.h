#pragma once
// The terrain files of a track folder: "terrain.hf" (or the heights in
// "terrain.png"), "shadingx2.ppm" / "shading.ppm", "shadows.pgm",
// "tileinfo" / "texturelist" and "tilemap".
//
// A folder is used as given: the track loader passes "@" + the track's
// folder, so reads go along the search roots and writes land in the
// per-user folder; tools pass a real path.
struct height_field;
struct stream;

// Loads the terrain of a folder. requested_mode is the ground-texture mode
// the render_texture setting asks for: 1 on the processor, 2 copy, 3
// framebuffer objects. Returns 1, or 0 after a console line with the record
// released.
int load_terrain(height_field* field, const char* folder, int requested_mode);

// Whether a terrain.hf header ("n spacing minimum maximum") describes a
// grid the game can hold and draw and a height range.
int terrain_header_is_sound(int n, float spacing, float minimum, float maximum);

// A flat field of exponent n at height 0 with every buffer a loaded terrain
// has, one tile, and every vertex's shading due: for new tracks and tools.
// Returns 0 with a console line when n or spacing is out of range.
int terrain_create(height_field* field, int n, float spacing);

// Writes terrain.hf, terrain.png, shading.ppm, shadingx2.ppm and tilemap
// into the folder. 1 on success, 0 after the first file that cannot be
// written.
int save_terrain(height_field* field, const char* folder);

// Opens folder + "/" + name; when that fails and report is set, shows
// "Can't open '<path>'" on the console. Null on failure.
stream* open_track_file(const char* folder, const char* name, const char* mode, int report);
