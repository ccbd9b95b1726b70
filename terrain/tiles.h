#pragma once
// Ground materials: the tile table of the height field, the "tileinfo" and
// "texturelist" files that fill it, roost types, and the curves the tyre
// model and the erosion code read from a tile.
#include <cstdint>

struct height_field;
struct stream;

enum {
  tile_table_size = 256,
  tile_name_bytes = 48,           // 47 characters and the NUL
  tile_curve_points = 8,
  tile_roost_types = 4,
  tile_erode_limit_points = 8,
  tileinfo_line_bytes = 1024,
};

// An abscissa of an unused friction point, and the largest one a file may give.
constexpr float tile_unused_slip = 1048576.0f;
constexpr float tile_max_slip = 1048575.0f;
// The smallest rolling-resistance speed a file may give.
constexpr float tile_min_roll_speed = 1.0f / 1048576.0f;

// One kind of dirt a wheel throws from a tile. mode 0: unused; 1: given;
// 2: splash.
struct roost_type {
  int32_t mode;
  uint32_t texture;
  float count;
  float dig;
  float slip_threshold;
  float slow_angle;
  float fast_angle;
  float slow_speed;
  float fast_speed;
  float size;
  float grow;
  float drag;
  float vscale;
  float randomize;
  uint8_t colour[4];  // r g b a
  int8_t fade[4];     // change of r g b a per tick
};

// How wheels erode a tile. Field order is the order of the 44 stored words.
struct tile_params {
  float erode_depth;
  float erode_lower;
  float erode_upper;
  float erode_displacement;
  float erode_radius;
  float erode_inner_depth;
  float erode_inner_radius;
  float erode_min_slope;
  float erode_max_slope;
  float erode_off_speed;
  float erode_on_speed;
  float erode_slip_lower;
  float erode_slip_upper;
  float erode_slip_base_scale;
  float erode_slip_scale;
  float erode_downhill_scale;
  float erode_limit_depth[tile_erode_limit_points];
  float erode_limit_outer[tile_erode_limit_points];
  float erode_limit_inner[tile_erode_limit_points];
  float erode_project_to_ground;
  float erode_lateral_scale;
  float erode_front_scale;
  int32_t erode_limit_count;
};

// The tile under construction while "tileinfo" is read.
struct tileinfo_description {
  char name[tile_name_bytes];
  char texture[tileinfo_line_bytes + 1];  // the texture string as given
  uint32_t texture_id;
  uint8_t* image_pixels;
  int32_t image_width;
  int32_t image_height;
  int32_t slip_function;
  float friction_value[tile_curve_points];
  float friction_slip[tile_curve_points];
  int32_t friction_count;
  float roll_resist_pair[tile_curve_points][2];
  float roll_resist_key[tile_curve_points];
  int32_t roll_resist_count;
  roost_type roost_types[tile_roost_types];
  int32_t roost_count;
  tile_params params;
};

// Textures of the terrain. The texture table lives with the GL code, which
// fills these in at start-up; while they are null (tools, tests, a game
// without a window) tiles keep texture 0 and no image, nothing is deleted,
// and everything else about the terrain still loads. load_image gives the
// RGBA mip chain of a cached image, which the image cache owns.
struct terrain_texture_hooks {
  uint32_t (*load_texture)(const char* name);
  int (*load_image)(const char* name, uint8_t** pixels, int32_t* width, int32_t* height);
  void (*delete_textures)(const uint32_t* ids, int count);
  // A framebuffer object for the ground compositor, or 0 when the driver
  // has none.
  uint32_t (*create_framebuffer)();
  void (*delete_framebuffer)(uint32_t framebuffer);
};
extern terrain_texture_hooks terrain_textures;

// Reads a whole "tileinfo": fills the tile table, tile_count and the
// transition codes. Bad lines print a console warning and are skipped.
// Returns 1.
int read_tileinfo(height_field* field, stream* s);
// The same for the older one-line-per-tile "texturelist".
int read_texturelist(height_field* field, stream* s);

// Puts every field of the description back to a new tile's defaults.
void tileinfo_reset_tile(tileinfo_description* d);
// Parses one "roost" value into the next roost type of the description.
void tileinfo_parse_roost(tileinfo_description* d, const char* text);
// The transition code of one tile name among all names, or -1 for a plain
// tile.
int32_t match_tile_transitions(const char* name, const char* const* names, int count);

// Friction value of a tile's curve at slip measure v. With slip function 0
// (and every value other than 1 and 2) the curve is read in squared speed.
float tile_friction(const height_field* field, int tile, float v);
// Rolling resistance of a tile's curve at speed e, for an uncompressed (a)
// and a fully compressed (b) tyre.
void tile_roll_resist(const height_field* field, int tile, float e, float* a, float* b);
// clamp((x - low) / (high - low), 0, 1); a zero-width range is a step at
// low, so equal on and off speeds or bounds switch instead of giving 0/0.
float tile_param_ramp(float x, float low, float high);
// The tile index under world (x, z).
int tile_at(const height_field* field, float x, float z);
// The tile under world (x, z) for the robot riders' grip estimate: the
// tilemap cell nearest to (x, z) x 0.5 / spacing, clamped to the map; 0
// without a tilemap.
int ground_tile_at(const height_field* field, float x, float z);
// The first value of a tile's friction curve, the robots' grip coefficient;
// 0 for an index outside the table.
float ground_tile_grip(const height_field* field, int tile);
