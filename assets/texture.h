#pragma once
// Textures: image files turned into OpenGL textures and kept by name, the
// upload of mip chains, power-of-two fitting and the dropping of levels that
// carry no detail, tinted number-plate textures, the CPU image cache of the
// terrain code and the texture-variant lists of the bike-setup menu.
//
// Everything loaded carries a generation. The race reset raises
// asset_generation before it loads a track; what the track asks for again is
// stamped into the new generation, and texture_delete_stale then frees the
// rest. Generation 0 (start-up) is never freed by generation.
#include <cstddef>
#include <cstdint>

#include "core/growable_array.h"

// Upload flags.
enum {
  texture_flag_repeat_s = 1,
  texture_flag_repeat_t = 2,
  texture_flag_compress = 4,
  texture_flag_base_only = 8,  // no mip levels, linear filtering
};

struct texture_record {
  unsigned id;
  int generation;   // 0 = permanent
  int byte_size;    // texture_bytes grew by this much while it loaded
  char* info;       // PNG text chunks and ".info" file; owned, may be null
  char name[1];     // after "!" and links; the block holds it whole
};

struct texture_link {
  const char* name;    // interned
  const char* target;  // interned
};

struct image_record {
  int width;
  int height;
  int channels;  // always 4
  uint8_t* pixels;  // RGBA with its chain; owned
  int generation;
  int byte_size;  // width x height x 4
  char name[1];
};

extern int asset_generation;
extern unsigned texture_bytes;

// Of texture_record*, texture_link and image_record*; empty until first use.
extern growable_array texture_table;
extern growable_array texture_link_table;
extern growable_array image_table;

// ---------------------------------------------------------------------------
// Names.

// Upload flags a name asks for: "-hrepeat." repeats horizontally,
// "-vrepeat." vertically, "-repeat." both.
int texture_wrap_flags(const char* name);

// Strips a leading "!" (full detail: reduction 0); otherwise the reduction
// is texture_reduction. Returns the name without it.
const char* texture_strip_detail(const char* name, int* reduction);

// The upload flags of a PNG texture: the name's flags, compression when
// its info text holds "[compress]", then the "texture_compress" setting
// (never, as asked, always).
int texture_png_flags(int name_flags, const char* info);

// The target of a link named exactly `name`, or null.
const char* texture_link_target(const char* name);

// The texture record named `name` (exact match first, then ignoring case
// with a console warning); a record of an older generation is stamped into
// the current one and its size counted again. Null when none.
texture_record* texture_find(const char* name);

// The same for the image cache.
image_record* image_find(const char* name);

// Appends a record for a loaded texture (stamped with asset_generation; the
// record takes the info text); null when the table cannot grow.
texture_record* texture_add_record(unsigned id, int byte_size, char* info, const char* name);
// The same for a cached RGBA chain, which the record then owns.
image_record* image_add_record(uint8_t* pixels, int width, int height, const char* name);

// A link entry; its target changes once the target has loaded.
int texture_add_link(const char* name, const char* target);
void texture_set_link_target(const char* name, const char* target);

// ---------------------------------------------------------------------------
// Loading.

// A GL texture id for the file, loaded once and then found by name; 0 on
// failure.
unsigned texture_load(const char* name);

// The name of the texture with this id (null when no record has it), and its
// info text.
const char* texture_name(unsigned id);
const char* texture_info_text(unsigned id);

// The RGBA chain of an image file, reduced by the detail setting; the cache
// owns the pixels. 1, or 0 when the file cannot be read.
int image_load_cached(const char* name, uint8_t** pixels, int* width, int* height);

// The name of the cached image that owns `pixels`, or null.
const char* image_name(const uint8_t* pixels);

// With all = 0 frees the textures and images of older generations, then the
// animations whose texture has gone with them; with all = 1 frees everything
// and the tables (shut-down).
void texture_delete_stale(int all);

// Fills the two lists (of const char*, index i of one matching index i of
// the other) with the variants of the textures whose file name begins with
// `prefix`: entry 0 is "default" with a null path, then one entry per
// ".png" or ".png.scram" in the file list (not "_norm" or "_spec" maps).
// collect_texture_variants reads the file index; the _from form takes a
// null-terminated list of relative names.
void collect_texture_variants(growable_array* paths, growable_array* variants, const char* prefix);
void collect_texture_variants_from(const char* const* names, growable_array* paths,
                                   growable_array* variants, const char* prefix);

// ---------------------------------------------------------------------------
// Fitting and level dropping (no GL).

// The largest power of two not above n (n >= 1).
int texture_pow2_floor(int n);

// A chain of width x height resampled to the largest powers of two not above
// them: nearest-neighbour base level, then the box-filtered chain. A new
// buffer from check_malloc, or null when out of memory.
uint8_t* texture_resample_pow2(const uint8_t* pixels, int width, int height, int channels,
                               int* new_width, int* new_height);

// 1 when every channel of every pixel of the level is within 4 of its
// bilinear prediction from the next (half-size) level.
int texture_level_predicted(const uint8_t* level, int width, int height, int channels);

// What image_fit_pow2 would upload: `level` points into `pixels` or into
// `buffer` (owned, from the power-of-two resampling; null when none was
// needed). entry_* is the power-of-two size before any level was dropped,
// auto_dropped the levels that carried no detail.
struct texture_fit {
  uint8_t* buffer;
  const uint8_t* level;
  int width;
  int height;
  int entry_width;
  int entry_height;
  int auto_dropped;
};
// 0 when out of memory.
int texture_fit_chain(const uint8_t* pixels, int width, int height, int channels, int reduction,
                      texture_fit* fit);

// Makes a chain power-of-two and drops top levels while levels remain to
// drop or a level holds more than `budget` pixels (0: no budget), but never
// below the first level of at most 16384 pixels. Replaces *pixels (freeing
// the old buffer) when anything changed. 0 when out of memory (the image is
// left as it was).
int image_reduce_levels(uint8_t** pixels, int* width, int* height, int channels, long budget,
                        int levels);

// The border colour of a three-channel base level: the fullest of 8 x 8 x 8
// bins over the four edges (corners counted twice), alpha 0.
void texture_border_colour(const uint8_t* pixels, int width, int height, float colour[4]);

// The mask of a number plate before its chain is built: the digits stamped
// on transparent white and tinted from colour_zero (mask 0) to colour_full
// (mask 255) channel by channel. `pixels` holds width x height RGBA.
void texture_tint_mask(uint8_t* pixels, int width, int height, const char* digits,
                       const uint8_t colour_full[3], const uint8_t colour_zero[3]);

// Clears the outer ring of pixels of every level of an RGBA chain to
// transparent white, so a clamped plate does not smear its edge.
void texture_clear_chain_borders(uint8_t* pixels, int width, int height);

// ---------------------------------------------------------------------------
// Uploads (a GL context must be current).

unsigned texture_upload_mips(const uint8_t* pixels, int width, int height, int channels, int flags);
unsigned texture_upload(const uint8_t* pixels, int width, int height, int channels);
unsigned texture_upload_nomip(const uint8_t* pixels, int width, int height, int channels);

// Fits a chain to powers of two, drops levels and uploads it; prints
// "... reduced to ..." when levels were dropped and a name is given.
unsigned image_fit_pow2(const uint8_t* pixels, int width, int height, int channels, int reduction,
                        int flags, const char* name);

// A number-plate texture (the caller deletes it).
unsigned texture_make_tinted(const char* digits, int width, int height,
                             const uint8_t colour_full[3], const uint8_t colour_zero[3]);
