// Billboards and statues of the track, the statue grid and the
// terrain-aligned basis.
#include "terrain/track_objects.h"

#include <math.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "assets/model.h"
#include "assets/shader.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/tiles.h"

growable_array billboards;
growable_array statues;
growable_array billboard_extras;
growable_array statue_grid[statue_grid_side][statue_grid_side];

// The broad phase merges cell lists into these two in turn.
static growable_array near_scratch[2];

billboard* billboard_at(int32_t index) { return static_cast<billboard*>(growable_array_at(&billboards, (size_t)index)); }

statue* statue_at(int32_t index) { return static_cast<statue*>(growable_array_at(&statues, (size_t)index)); }

void script_set_value(script_changes* c, int slot, float* live, float value) {
  const uint32_t bit = 1u << slot;
  // A value that is not the script's own was made by the editor since (or
  // is the one from the file): that is the one to keep.
  if (!(c->fields & bit) || *live != c->last[slot]) c->authored[slot] = *live;
  c->fields |= bit;
  *live = value;
  c->last[slot] = value;
}

void script_set_colour(script_changes* c, uint8_t live[4], const uint8_t value[4]) {
  const uint32_t bit = 1u << script_slot_colour;
  if (!(c->fields & bit) || std::memcmp(live, c->last_colour, 4) != 0) std::memcpy(c->authored_colour, live, 4);
  c->fields |= bit;
  std::memcpy(live, value, 4);
  std::memcpy(c->last_colour, value, 4);
}

float authored_value(const script_changes* c, int slot, float live) {
  return (c->fields & (1u << slot)) && live == c->last[slot] ? c->authored[slot] : live;
}

void authored_colour(const script_changes* c, const uint8_t live[4], uint8_t out[4]) {
  const int scripted = (c->fields & (1u << script_slot_colour)) && std::memcmp(live, c->last_colour, 4) == 0;
  std::memcpy(out, scripted ? c->authored_colour : live, 4);
}

static int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The colour of a "#rrggbb#" prefix as 0xrrggbb, or -1 when the name has
// none.
static int32_t colour_prefix(const char* name) {
  if (!name || std::strlen(name) <= 7 || name[0] != '#' || name[7] != '#') return -1;
  int32_t value = 0;
  for (int k = 1; k < 7; k++) {
    const int d = hex_digit(name[k]);
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

static char* copy_name(const char* name) {
  if (!name) return nullptr;
  const size_t n = std::strlen(name) + 1;
  char* copy = (char*)xmalloc(n);
  std::memcpy(copy, name, n);
  return copy;
}

static uint32_t load_texture_named(const char* name) {
  return name && terrain_textures.load_texture ? terrain_textures.load_texture(name) : 0;
}

int32_t add_billboard(float x, float height_offset, float z, float size, float aspect, const char* name) {
  billboard b;
  std::memset(&b, 0, sizeof b);
  b.colour[0] = b.colour[1] = b.colour[2] = b.colour[3] = 255;
  const int32_t colour = colour_prefix(name);
  if (colour >= 0) {
    b.colour[0] = (uint8_t)(colour >> 16);
    b.colour[1] = (uint8_t)(colour >> 8);
    b.colour[2] = (uint8_t)colour;
    name += 8;
  }
  b.texture = load_texture_named(name);
  b.x = x;
  b.z = z;
  b.size = size;
  b.height_offset = height_offset;
  b.aspect = aspect;
  b.y = (track_field.heights ? terrain_height(&track_field, x, z) : 0.0f) + height_offset;
  if (!billboards.data && !growable_array_init(&billboards, sizeof(billboard), 16)) return -1;
  if (!billboard_extras.data && !growable_array_init(&billboard_extras, 2 * sizeof(int32_t), 16))
    return (int32_t)billboards.count - 1;
  b.texture_name = copy_name(name);
  if (billboard_extras.count == billboards.count && growable_array_append(&billboard_extras, nullptr)) {
    if (!growable_array_append(&billboards, &b)) {
      billboard_extras.count--;
      check_free(b.texture_name);
    }
  } else {
    check_free(b.texture_name);
  }
  return (int32_t)billboards.count - 1;
}

uint32_t load_texture_variant(const char* name, const char* tail, const char* replacement) {
  if (!name || !tail || !replacement) return 0;
  const size_t n = std::strlen(name), t = std::strlen(tail);
  if (n < t || std::strcmp(name + n - t, tail) != 0) return 0;
  const size_t length = n - t + std::strlen(replacement) + 1;
  char* variant = (char*)xmalloc(length);
  std::snprintf(variant, length, "%.*s%s", (int)(n - t), name, replacement);
  const uint32_t id = load_texture_named(variant);
  check_free(variant);
  return id;
}

// The first of stem + kind + ending that loads (kind "_norm" or "_spec").
static uint32_t load_first_companion(const char* stem, size_t stem_length, const char* kind,
                                     const char* const endings[3]) {
  for (int k = 0; k < 3; k++) {
    char name[2048];
    if (std::snprintf(name, sizeof name, "%.*s%s%s", (int)stem_length, stem, kind, endings[k]) >= (int)sizeof name)
      return 0;
    if (const uint32_t id = load_texture_named(name)) return id;
  }
  return 0;
}

// The normal or specular map of a statue: beside its texture, else beside
// its model. A name without '.' takes the endings whole.
static uint32_t find_companion(const char* texture, const char* model, const char* kind) {
  static const char* const plain[3] = {".seq", ".png", ".ppm"};
  static const char* const repeat[3] = {"-repeat.seq", "-repeat.png", "-repeat.ppm"};
  const size_t n = std::strlen(texture);
  int repeating = 0;
  for (const char* ending : repeat) {
    const size_t e = std::strlen(ending);
    if (n >= e && std::strcmp(texture + n - e, ending) == 0) repeating = 1;
  }
  uint32_t id;
  if (repeating) {
    const char* dash = std::strrchr(texture, '-');
    id = load_first_companion(texture, (size_t)(dash - texture), kind, repeat);
  } else {
    const char* dot = std::strrchr(texture, '.');
    id = load_first_companion(texture, dot ? (size_t)(dot - texture) : n, kind, plain);
  }
  if (id) return id;
  const char* dot = std::strrchr(model, '.');
  return load_first_companion(model, dot ? (size_t)(dot - model) : std::strlen(model), kind, plain);
}

int32_t load_track_object(float x, float height_offset, float z, float angle, const char* model_file,
                          const char* texture, const char* shape_file) {
  statue s;
  std::memset(&s, 0, sizeof s);
  s.facing_value = angle >= 3.25f ? exp2f(angle) : 0.0f;
  if (model_file) s.model = model_get(model_file);
  if (model_file && texture) {
    // Statues have no colour: a prefix is kept in the name but not loaded.
    const char* bare = colour_prefix(texture) >= 0 ? texture + 8 : texture;
    s.texture = load_texture_named(bare);
    if (shaders_active) {
      s.normal_texture = find_companion(bare, model_file, "_norm");
      s.specular_texture = find_companion(bare, model_file, "_spec");
    }
  }
  if (shape_file) {
    s.shape = shape_load_copy(shape_file);
    if (!s.shape) console_printf("Warning: missing shape file %.900s", shape_file);
  }
  s.x = x;
  s.z = z;
  s.height_offset = height_offset;
  s.angle = angle;
  s.model_name = copy_name(model_file);
  s.texture_name = copy_name(texture);
  s.shape_name = copy_name(shape_file);
  place_object_on_ground(&s);
  if (!statues.data && !growable_array_init(&statues, sizeof(statue), 16)) {
    free_track_object(&s);
    return -1;
  }
  if (!growable_array_append(&statues, &s)) free_track_object(&s);
  return (int32_t)statues.count - 1;
}

void place_object_on_ground(statue* s) {
  s->y = (track_field.heights ? terrain_height(&track_field, s->x, s->z) : 0.0f) + s->height_offset;
  terrain_aligned_basis(s->basis, s->x, s->z, s->angle);
}

void free_track_object(statue* s) {
  check_free(s->shape);
  s->shape = nullptr;
  for (char** name : {&s->model_name, &s->texture_name, &s->shape_name}) {
    check_free(*name);
    *name = nullptr;
  }
  for (float** bones : {&s->bone_centres, &s->bone_translations, &s->bone_rotations}) {
    check_free(*bones);
    *bones = nullptr;
  }
  s->bone_count = 0;
}

void track_objects_free() {
  if (statues.data) {
    for (size_t i = 0; i < statues.count; i++) free_track_object(statue_at((int32_t)i));
    growable_array_free(&statues);
    std::memset(&statues, 0, sizeof statues);
  }
  if (billboards.data)
    for (size_t i = 0; i < billboards.count; i++) check_free(billboard_at((int32_t)i)->texture_name);
  for (growable_array* list : {&billboards, &billboard_extras})
    if (list->data) {
      growable_array_free(list);
      std::memset(list, 0, sizeof *list);
    }
  statue_grid_free();
}

int statue_grid_cell(float c, float extent) {
  const double g = ((double)c / extent - 0.125) * 4.0 / 3.0 * statue_grid_side;
  if (!(g >= 0.0)) return 0;  // below the grid, or not a number
  if (g >= statue_grid_side - 1) return statue_grid_side - 1;
  return (int)floor(g);
}

static int ensure_list(growable_array* list) {
  return list->data || growable_array_init(list, sizeof(int32_t), statue_grid_capacity);
}

void statue_grid_insert(int32_t index) {
  if (!statues.data || index < 0 || (size_t)index >= statues.count) return;
  const statue* s = statue_at(index);
  if (!s->shape) return;
  const float r = shape_bounding_radius(s->shape);
  const float extent = track_field.extent;
  const int c0 = statue_grid_cell(s->x - r, extent), c1 = statue_grid_cell(s->x + r, extent);
  const int r0 = statue_grid_cell(s->z - r, extent), r1 = statue_grid_cell(s->z + r, extent);
  for (int row = r0; row <= r1; row++)
    for (int column = c0; column <= c1; column++) {
      growable_array* cell = &statue_grid[row][column];
      if (ensure_list(cell)) growable_array_append(cell, &index);
    }
}

void statue_grid_rebuild() {
  for (auto& row : statue_grid)
    for (auto& cell : row)
      if (cell.data) cell.count = 0;
  if (!statues.data) return;
  for (size_t i = 0; i < statues.count; i++) statue_grid_insert((int32_t)i);
}

static int32_t index_at(const growable_array* list, size_t i) {
  return *static_cast<const int32_t*>(growable_array_at(list, i));
}

// out = the ascending union of a and b without repeats; an index that does
// not fit is skipped.
static void merge_lists(growable_array* out, const growable_array* a, const growable_array* b) {
  out->count = 0;
  size_t i = 0, j = 0;
  const size_t na = a->data ? a->count : 0, nb = b->data ? b->count : 0;
  int32_t last = -1;
  while (i < na || j < nb) {
    int32_t v;
    if (j >= nb || (i < na && index_at(a, i) <= index_at(b, j)))
      v = index_at(a, i++);
    else
      v = index_at(b, j++);
    if (v == last && out->count > 0) continue;
    if (growable_array_append(out, &v)) last = v;
  }
}

const growable_array* statue_grid_near(float x, float z, float reach) {
  const float extent = track_field.extent;
  const int c0 = statue_grid_cell(x - reach, extent), c1 = statue_grid_cell(x + reach, extent);
  const int r0 = statue_grid_cell(z - reach, extent), r1 = statue_grid_cell(z + reach, extent);
  if (c0 == c1 && r0 == r1) {
    growable_array* cell = &statue_grid[r0][c0];
    ensure_list(cell);
    return cell;
  }
  for (auto& scratch : near_scratch) ensure_list(&scratch);
  int current = 0;
  near_scratch[current].count = 0;
  for (int row = r0; row <= r1; row++)
    for (int column = c0; column <= c1; column++) {
      merge_lists(&near_scratch[1 - current], &near_scratch[current], &statue_grid[row][column]);
      current = 1 - current;
    }
  return &near_scratch[current];
}

void statue_grid_free() {
  for (auto& row : statue_grid)
    for (auto& cell : row)
      if (cell.data) {
        growable_array_free(&cell);
        std::memset(&cell, 0, sizeof cell);
      }
  for (auto& scratch : near_scratch)
    if (scratch.data) {
      growable_array_free(&scratch);
      std::memset(&scratch, 0, sizeof scratch);
    }
}

static void normalise(float v[3]) {
  const float l = sqrtf(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (l > 0.0f)
    for (int k = 0; k < 3; k++) v[k] /= l;
}

static void cross(float out[3], const float a[3], const float b[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

void terrain_aligned_basis(float basis[9], float x, float z, float angle) {
  static const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  if (angle >= 3.25f) {
    std::memcpy(basis, identity, sizeof identity);
    return;
  }
  const float heading[3] = {cosf(angle), 0.0f, -sinf(angle)};
  float up[3] = {0.0f, 1.0f, 0.0f};
  if (angle > -2.0f * (float)M_PI && track_field.heights) {
    const float h = terrain_height(&track_field, x, z);
    up[0] = h - terrain_height(&track_field, x + 1.0f, z);
    up[2] = h - terrain_height(&track_field, x, z + 1.0f);
    if (!isfinite(up[0]) || !isfinite(up[2])) up[0] = up[2] = 0.0f;
    normalise(up);
  }
  float side[3], forward[3];
  cross(side, heading, up);
  normalise(side);
  cross(forward, up, side);
  for (int row = 0; row < 3; row++) {
    basis[3 * row + 0] = forward[row];
    basis[3 * row + 1] = up[row];
    basis[3 * row + 2] = side[row];
  }
}
