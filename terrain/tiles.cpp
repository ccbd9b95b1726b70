// Ground materials: reading "tileinfo" and "texturelist" into the tile
// table, the transition-name matcher, and the tile curves.
#include "terrain/tiles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/memory.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "terrain/height_field.h"
#include "terrain/terrain_settings.h"

terrain_texture_hooks terrain_textures;

static const struct {
  const char* key;
  float tile_params::*field;
} erode_keys[] = {
    {"erode_depth", &tile_params::erode_depth},
    {"erode_lower", &tile_params::erode_lower},
    {"erode_upper", &tile_params::erode_upper},
    {"erode_displacement", &tile_params::erode_displacement},
    {"erode_radius", &tile_params::erode_radius},
    {"erode_inner_depth", &tile_params::erode_inner_depth},
    {"erode_inner_radius", &tile_params::erode_inner_radius},
    {"erode_min_slope", &tile_params::erode_min_slope},
    {"erode_max_slope", &tile_params::erode_max_slope},
    {"erode_off_speed", &tile_params::erode_off_speed},
    {"erode_on_speed", &tile_params::erode_on_speed},
    {"erode_slip_lower", &tile_params::erode_slip_lower},
    {"erode_slip_upper", &tile_params::erode_slip_upper},
    {"erode_slip_base_scale", &tile_params::erode_slip_base_scale},
    {"erode_slip_scale", &tile_params::erode_slip_scale},
    {"erode_downhill_scale", &tile_params::erode_downhill_scale},
    {"erode_project_to_ground", &tile_params::erode_project_to_ground},
    {"erode_lateral_scale", &tile_params::erode_lateral_scale},
    {"erode_front_scale", &tile_params::erode_front_scale},
};

static const struct {
  const char* key;
  float roost_type::*field;
} roost_float_keys[] = {
    {"count", &roost_type::count},
    {"dig", &roost_type::dig},
    {"slip_threshold", &roost_type::slip_threshold},
    {"slow_angle", &roost_type::slow_angle},
    {"fast_angle", &roost_type::fast_angle},
    {"slow_speed", &roost_type::slow_speed},
    {"fast_speed", &roost_type::fast_speed},
    {"size", &roost_type::size},
    {"grow", &roost_type::grow},
    {"drag", &roost_type::drag},
    {"vscale", &roost_type::vscale},
    {"randomize", &roost_type::randomize},
};

static const char* const colour_keys[4] = {"r", "g", "b", "a"};
static const char* const fade_keys[4] = {"fade_r", "fade_g", "fade_b", "fade_a"};

// Reads up to max numbers separated by blanks, as "%f %f ..." would, and
// returns how many were read. A number that is not finite ends the run: no
// curve or parameter of the ground is meant to be infinite.
static int scan_floats(const char* text, float* out, int max) {
  int count = 0;
  while (count < max) {
    char* end;
    const double v = std::strtod(text, &end);
    if (end == text || !std::isfinite(v) || std::fabs(v) > 3.0e38) break;
    out[count++] = (float)v;
    text = end;
  }
  return count;
}

// One number of a roost word: the whole rest must be a finite number.
static int parse_number(const char* text, double* out) {
  char* end;
  const double v = std::strtod(text, &end);
  if (end == text || !std::isfinite(v)) return 0;
  while (*end == ' ' || *end == '\t') end++;
  if (*end) return 0;
  *out = v;
  return 1;
}

// The integer part of v as a byte pattern (v reduced modulo 256).
static uint8_t byte_of(double v) {
  v = std::trunc(v);
  v = v < -2147483648.0 ? -2147483648.0 : v > 2147483647.0 ? 2147483647.0 : v;
  return (uint8_t)((int64_t)v & 255);
}

static void load_tile_texture(int texture_mode, const char* name, uint32_t* id, uint8_t** pixels, int32_t* width,
                              int32_t* height) {
  if (texture_mode == 1) {
    if (terrain_textures.load_image && !terrain_textures.load_image(name, pixels, width, height)) {
      *pixels = nullptr;
      *width = *height = 0;
    }
  } else if (terrain_textures.load_texture) {
    *id = terrain_textures.load_texture(name);
  }
}

static void reset_roost_type(roost_type* r) {
  r->mode = 0;
  r->texture = terrain_textures.load_texture ? terrain_textures.load_texture("@roost.png") : 0;
  r->count = 10.0f;
  r->dig = 1.0f;
  r->slip_threshold = 4.0f;
  r->slow_angle = 1.5707964f;
  r->fast_angle = 0.19634955f;
  r->slow_speed = 0.0f;
  r->fast_speed = 64.0f;
  r->size = 0.25f;
  r->grow = 4.0f;
  r->drag = 0.5f;
  r->vscale = 1.0f;
  r->randomize = 15.0f;
  for (int c = 0; c < 4; c++) r->colour[c] = 255;
  r->fade[0] = r->fade[1] = r->fade[2] = 0;
  r->fade[3] = -2;
}

static void reset_tile_params(tile_params* p) {
  std::memset(p, 0, sizeof *p);
  p->erode_depth = 1.0f;
  p->erode_lower = 50.0f;
  p->erode_upper = 150.0f;
  p->erode_displacement = 2.0f;
  p->erode_radius = 4.0f;
  p->erode_inner_depth = 0.125f;
  p->erode_inner_radius = 2.0f;
  p->erode_min_slope = -0.5f;
  p->erode_max_slope = 0.5f;
  p->erode_off_speed = 10.0f;
  p->erode_on_speed = 15.0f;
  p->erode_slip_lower = 0.0f;
  p->erode_slip_upper = 5.0f;
  p->erode_slip_base_scale = 1.0f;
  p->erode_slip_scale = 1.5f;
  p->erode_downhill_scale = 0.0f;
  p->erode_project_to_ground = 1.0f;
  p->erode_lateral_scale = 1.0f;
  p->erode_front_scale = 1.0f;
}

static void set_single_erode_limit(tile_params* p) {
  p->erode_limit_depth[0] = 0.0f;
  p->erode_limit_outer[0] = 1.0f;
  p->erode_limit_inner[0] = 1.0f;
  p->erode_limit_count = 1;
}

void tileinfo_reset_tile(tileinfo_description* d) {
  std::memset(d, 0, sizeof *d);
  for (int k = 0; k < tile_curve_points; k++) {
    d->friction_value[k] = 1.0f;
    d->friction_slip[k] = k == 0 ? 1.0f : tile_unused_slip;
    d->roll_resist_pair[k][0] = 5.0f;
    d->roll_resist_pair[k][1] = 15.0f;
    d->roll_resist_key[k] = k == 0 ? 1.0f : 0.0f;
  }
  reset_tile_params(&d->params);
  for (auto& r : d->roost_types) reset_roost_type(&r);
}

void tileinfo_parse_roost(tileinfo_description* d, const char* text) {
  if (d->roost_count >= tile_roost_types) return;
  roost_type* r = &d->roost_types[d->roost_count];
  r->mode = 1;
  const size_t length = std::strlen(text);
  char* word = (char*)xmalloc(length + 1);
  const char* p = text;
  for (;;) {
    while (*p && std::strchr(" \f\n\r\t\b", *p)) p++;
    if (!*p) break;
    size_t w = 0;
    while (*p && !std::strchr(" \f\n\r\t\b", *p)) {
      if (*p == '"') {
        for (p++; *p && *p != '"'; p++) word[w++] = *p;
        if (*p == '"') p++;
      } else {
        word[w++] = *p++;
      }
    }
    word[w] = 0;
    char* equals = std::strchr(word, '=');
    const char* value = equals ? equals + 1 : "";
    if (equals) *equals = 0;
    double number;
    int known = 0;
    if (equals && std::strcmp(word, "texture") == 0) {
      known = 1;
      if (terrain_textures.load_texture) r->texture = terrain_textures.load_texture(value);
    } else if (equals && std::strcmp(word, "splash") == 0) {
      known = 1;
      if (!parse_number(value, &number))
        console_print("tileinfo warning: bad splash\n");
      else if (number != 0.0)
        r->mode = 2;
    }
    for (const auto& key : roost_float_keys) {
      if (known || !equals || std::strcmp(word, key.key) != 0) continue;
      known = 1;
      if (parse_number(value, &number) && std::fabs(number) <= 3.0e38)
        r->*key.field = (float)number;
      else
        console_printf("tileinfo warning: bad %s\n", key.key);
    }
    for (int c = 0; c < 4 && !known && equals; c++) {
      if (std::strcmp(word, colour_keys[c]) == 0) {
        known = 1;
        if (parse_number(value, &number))
          r->colour[c] = byte_of(number);
        else
          console_printf("tileinfo warning: bad %s\n", colour_keys[c]);
      } else if (std::strcmp(word, fade_keys[c]) == 0) {
        known = 1;
        if (parse_number(value, &number))
          r->fade[c] = (int8_t)byte_of(number * tick_length);
        else
          console_printf("tileinfo warning: bad %s\n", fade_keys[c]);
      }
    }
    if (!known) {
      if (equals) *equals = '=';
      console_printf("tileinfo warning: unknown roost parameter '%.40s'\n", word);
    }
  }
  check_free(word);
  d->roost_count++;
}

// Sorts the first count points of a curve by abscissa: each position takes
// the smallest of the points after it, whole points moving.
template <typename Value>
static void sort_points(float* keys, Value* values, int count) {
  if (count < 2) return;
  for (int l = 0; l < count; l++)
    for (int m = l + 1; m < count; m++)
      if (keys[m] < keys[l]) {
        const float k = keys[l];
        keys[l] = keys[m];
        keys[m] = k;
        Value v;
        std::memcpy(&v, &values[l], sizeof v);
        std::memcpy(&values[l], &values[m], sizeof v);
        std::memcpy(&values[m], &v, sizeof v);
      }
}

// The part of a texture string that names transitions: a leading "@" goes,
// then everything before the last "/" goes.
static void transition_name_of(const char* texture, char* out, size_t out_size) {
  if (*texture == '@') texture++;
  const char* slash = std::strrchr(texture, '/');
  std::snprintf(out, out_size, "%s", slash ? slash : texture);
}

static void commit_tile(height_field* field, int t, tileinfo_description* d, char* transition_name) {
  if (d->name[0])
    std::snprintf(field->tile_names[t], tile_name_bytes, "%s", d->name);
  else
    std::snprintf(field->tile_names[t], tile_name_bytes, "%.47s", d->texture);
  field->tile_textures[t] = d->texture_id;
  field->tile_image_pixels[t] = d->image_pixels;
  field->tile_image_width[t] = d->image_width;
  field->tile_image_height[t] = d->image_height;
  field->slip_function[t] = d->slip_function;
  sort_points(d->friction_slip, d->friction_value, d->friction_count);
  sort_points(d->roll_resist_key, d->roll_resist_pair, d->roll_resist_count);
  std::memcpy(field->friction_value[t], d->friction_value, sizeof d->friction_value);
  std::memcpy(field->friction_slip[t], d->friction_slip, sizeof d->friction_slip);
  std::memcpy(field->roll_resist_pair[t], d->roll_resist_pair, sizeof d->roll_resist_pair);
  std::memcpy(field->roll_resist_key[t], d->roll_resist_key, sizeof d->roll_resist_key);
  std::memcpy(field->roost_types[t], d->roost_types, sizeof d->roost_types);
  if (d->params.erode_limit_count == 0) set_single_erode_limit(&d->params);
  field->tile_params[t] = d->params;
  transition_name_of(d->texture, transition_name, tileinfo_line_bytes + 1);
}

static void set_transition_codes(height_field* field, char (*transition_names)[tileinfo_line_bytes + 1]) {
  const char* names[tile_table_size];
  for (int t = 0; t < field->tile_count; t++) names[t] = transition_names[t];
  for (int t = 0; t < field->tile_count; t++) {
    const int32_t code = match_tile_transitions(names[t], names, field->tile_count);
    field->transition_codes[t] = code == -1 ? (t << 16) | (t << 8) : code;
  }
}

static int is_line_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads one line of at most tileinfo_line_bytes bytes. A longer line is
// dropped whole with a warning rather than read as two lines.
static int read_line(stream* s, char* line, const char* file) {
  for (;;) {
    if (!stream_gets(s, line, tileinfo_line_bytes + 1)) return 0;
    const size_t length = std::strlen(line);
    if (length < tileinfo_line_bytes || line[length - 1] == '\n' || stream_peekc(s) < 0) return 1;
    int c;
    while ((c = stream_getc(s)) >= 0 && c != '\n') {
    }
    console_printf("%s warning: line longer than %d bytes skipped\n", file, (int)tileinfo_line_bytes);
  }
}

static void handle_tileinfo_line(height_field* field, tileinfo_description* d, char* line, int* committed,
                                 char (*transition_names)[tileinfo_line_bytes + 1]) {
  char* keyword = line;
  while (is_line_blank(*keyword)) keyword++;
  if (!*keyword) return;
  char* value = keyword;
  while (*value && !is_line_blank(*value)) value++;
  if (*value) {
    *value++ = 0;
    while (*value == ' ' || *value == '\t') value++;
  }
  value[std::strcspn(value, "\r\n")] = 0;

  float f[3];
  if (std::strcmp(keyword, "addtile") == 0) {
    commit_tile(field, *committed, d, transition_names[*committed]);
    (*committed)++;
    tileinfo_reset_tile(d);
  } else if (std::strcmp(keyword, "name") == 0) {
    std::snprintf(d->name, sizeof d->name, "%.47s", value);
  } else if (std::strcmp(keyword, "texture") == 0) {
    std::snprintf(d->texture, sizeof d->texture, "%s", value);
    load_tile_texture(field->texture_mode, value, &d->texture_id, &d->image_pixels, &d->image_width,
                      &d->image_height);
  } else if (std::strcmp(keyword, "friction") == 0) {
    if (scan_floats(value, f, 2) < 2) {
      console_print("tileinfo warning: bad friction parameters\n");
    } else if (d->friction_count >= tile_curve_points) {
      console_print("tileinfo warning: too many friction points\n");
    } else {
      // A negative speed would fold onto a positive one when the curve is
      // read in squared speed.
      const float slip = f[1] < 0.0f ? 0.0f : f[1] > tile_max_slip ? tile_max_slip : f[1];
      d->friction_value[d->friction_count] = f[0] <= 0.0f ? 0.0f : f[0];
      d->friction_slip[d->friction_count] = slip;
      d->friction_count++;
    }
  } else if (std::strcmp(keyword, "slip_function") == 0) {
    char* end;
    const long v = std::strtol(value, &end, 10);
    if (end == value) {
      console_print("tileinfo warning: bad slip_function\n");
    } else {
      d->slip_function = v < -2147483647L ? -2147483647 : v > 2147483647L ? 2147483647 : (int32_t)v;
      if (v < 0 || v > 2) console_print("tileinfo warning: bad slip_function\n");
    }
  } else if (std::strcmp(keyword, "roll_resist") == 0) {
    if (scan_floats(value, f, 3) < 3) {
      console_print("tileinfo warning: bad roll_resist parameters\n");
    } else if (d->roll_resist_count >= tile_curve_points) {
      console_print("tileinfo warning: too many roll_resist points\n");
    } else {
      const int k = d->roll_resist_count++;
      d->roll_resist_pair[k][0] = f[0] <= 0.0f ? 0.0f : f[0];
      d->roll_resist_pair[k][1] = f[1] < 0.0f ? 0.0f : f[1];
      d->roll_resist_key[k] = f[2] <= tile_min_roll_speed ? tile_min_roll_speed : f[2];
    }
  } else if (std::strcmp(keyword, "roost") == 0) {
    if (d->roost_count >= tile_roost_types)
      console_print("tileinfo warning: too many roost types\n");
    else
      tileinfo_parse_roost(d, value);
  } else if (std::strcmp(keyword, "erode_limit") == 0) {
    tile_params* p = &d->params;
    const int k = p->erode_limit_count;
    if (k >= tile_erode_limit_points) {
      console_print("tileinfo warning: too many erode limits\n");
    } else if (scan_floats(value, f, 3) < 3) {
      console_print("tileinfo warning: bad erode_limit\n");
    } else if (k > 0 && f[0] <= p->erode_limit_depth[k - 1]) {
      console_print("tileinfo warning: erode_limit depth <= prev depth\n");
    } else {
      p->erode_limit_depth[k] = f[0];
      p->erode_limit_outer[k] = f[1];
      p->erode_limit_inner[k] = f[2];
      p->erode_limit_count = k + 1;
    }
  } else {
    for (const auto& key : erode_keys) {
      if (std::strcmp(keyword, key.key) != 0) continue;
      if (scan_floats(value, f, 1) < 1)
        console_printf("tileinfo warning: bad %s\n", key.key);
      else
        d->params.*key.field = f[0];
      return;
    }
    console_printf("tileinfo warning: Unknown identifier '%.950s'\n", keyword);
  }
}

int read_tileinfo(height_field* field, stream* s) {
  tileinfo_description* d = (tileinfo_description*)xmalloc(sizeof *d);
  auto transition_names = (char(*)[tileinfo_line_bytes + 1])xmalloc(tile_table_size * (tileinfo_line_bytes + 1));
  char* line = (char*)xmalloc(tileinfo_line_bytes + 1);
  tileinfo_reset_tile(d);
  int committed = 0;
  while (committed < tile_table_size && read_line(s, line, "tileinfo"))
    handle_tileinfo_line(field, d, line, &committed, transition_names);
  field->tile_count = committed;
  set_transition_codes(field, transition_names);
  check_free(line);
  check_free(transition_names);
  check_free(d);
  return 1;
}

int read_texturelist(height_field* field, stream* s) {
  auto transition_names = (char(*)[tileinfo_line_bytes + 1])xmalloc(tile_table_size * (tileinfo_line_bytes + 1));
  char* line = (char*)xmalloc(tileinfo_line_bytes + 1);
  char* texture = (char*)xmalloc(tileinfo_line_bytes + 2);
  roost_type roost;
  int t = 0;
  while (t < tile_table_size && read_line(s, line, "texturelist")) {
    const char* p = line;
    while (is_line_blank(*p)) p++;
    if (!*p) continue;
    float f[3] = {1.0f, 5.0f, 15.0f};
    const char* name = p;
    const char* q = p;
    int read = 0;
    while (read < 3) {
      char* end;
      const double v = std::strtod(q, &end);
      if (end == q || !std::isfinite(v) || std::fabs(v) > 3.0e38) break;
      f[read++] = (float)v;
      q = end;
    }
    if (read == 3) {
      while (*q == ' ' || *q == '\t') q++;
      name = q;
    } else {
      f[0] = 1.0f;
      f[1] = 5.0f;
      f[2] = 15.0f;
    }
    const size_t name_length = std::strcspn(name, "\r\n");
    std::snprintf(texture, tileinfo_line_bytes + 2, "@%.*s", (int)name_length, name);

    field->tile_names[t][0] = 0;
    for (int k = 0; k < tile_curve_points; k++) {
      field->friction_value[t][k] = f[0];
      field->friction_slip[t][k] = k == 0 ? 1.0f : tile_unused_slip;
      field->roll_resist_pair[t][k][0] = f[1];
      field->roll_resist_pair[t][k][1] = f[2];
      field->roll_resist_key[t][k] = k == 0 ? 1.0f : 0.0f;
    }
    for (int k = 0; k < tile_roost_types; k++) {
      reset_roost_type(&roost);
      roost.mode = k == 0 ? 1 : 0;
      field->roost_types[t][k] = roost;
    }
    reset_tile_params(&field->tile_params[t]);
    set_single_erode_limit(&field->tile_params[t]);
    field->slip_function[t] = 0;
    field->tile_textures[t] = 0;
    field->tile_image_pixels[t] = nullptr;
    field->tile_image_width[t] = field->tile_image_height[t] = 0;
    load_tile_texture(field->texture_mode, texture, &field->tile_textures[t], &field->tile_image_pixels[t],
                      &field->tile_image_width[t], &field->tile_image_height[t]);
    transition_name_of(texture, transition_names[t], tileinfo_line_bytes + 1);
    t++;
  }
  field->tile_count = t;
  set_transition_codes(field, transition_names);
  check_free(texture);
  check_free(line);
  check_free(transition_names);
  return 1;
}

// Length of a tile name up to its first '.', or -1 when it has none.
static int stem_length(const char* name) {
  const char* dot = std::strchr(name, '.');
  return dot ? (int)(dot - name) : -1;
}

// The first tile whose name, up to its '.', starts text and is followed
// there by '-'; -1 when none.
static int match_part(const char* text, const char* const* names, int count) {
  for (int i = 0; i < count; i++) {
    const int length = stem_length(names[i]);
    if (length < 0) continue;
    if (std::strncmp(text, names[i], (size_t)length) == 0 && text[length] == '-') return i;
  }
  return -1;
}

int32_t match_tile_transitions(const char* name, const char* const* names, int count) {
  const int i = match_part(name, names, count);
  if (i < 0) return -1;
  const char* second = name + stem_length(names[i]) + 1;
  if (std::strncmp(second, "alt", 3) == 0 && second[3] >= '0' && second[3] <= '9') return (i << 16) | (i << 8);
  const int j = match_part(second, names, count);
  if (j < 0) return (int32_t)0xFFFFFF00u;
  const char* corners = second + stem_length(names[j]) + 1;
  int bits = 0;
  for (int k = 0; k < 4; k++) {
    if (corners[k] != '0' && corners[k] != '1') return (i << 16) | (j << 8);
    bits = (bits << 1) | (corners[k] - '0');
  }
  return (i << 16) | (j << 8) | bits;
}

float tile_friction(const height_field* field, int tile, float v) {
  const float* x = field->friction_slip[tile];
  const float* value = field->friction_value[tile];
  const int sf = field->slip_function[tile];
  const int squared = sf != 1 && sf != 2;
  const float measure = squared ? v * v : v;
  int j = 0;
  while (j < tile_curve_points && x[j] < tile_unused_slip && (squared ? x[j] * x[j] : x[j]) <= measure) j++;
  if (j == 0) return value[0];
  if (j == tile_curve_points || x[j] >= tile_unused_slip) return value[j - 1];
  const float low = squared ? x[j - 1] * x[j - 1] : x[j - 1];
  const float high = squared ? x[j] * x[j] : x[j];
  const float t = tile_param_ramp(measure, low, high);
  return value[j - 1] + t * (value[j] - value[j - 1]);
}

void tile_roll_resist(const height_field* field, int tile, float e, float* a, float* b) {
  const float* key = field->roll_resist_key[tile];
  const float(*pair)[2] = field->roll_resist_pair[tile];
  int j = 0;
  while (j < tile_curve_points && key[j] != 0.0f && key[j] <= e) j++;
  if (j == 0) {
    *a = pair[0][0];
    *b = pair[0][1];
    return;
  }
  if (j == tile_curve_points || key[j] == 0.0f) {
    *a = pair[j - 1][0];
    *b = pair[j - 1][1];
    return;
  }
  const float t = tile_param_ramp(e, key[j - 1], key[j]);
  *a = pair[j - 1][0] + t * (pair[j][0] - pair[j - 1][0]);
  *b = pair[j - 1][1] + t * (pair[j][1] - pair[j - 1][1]);
}

float tile_param_ramp(float x, float low, float high) {
  if (high == low) return x > low ? 1.0f : 0.0f;
  const float t = (x - low) / (high - low);
  return t < 0.0f ? 0.0f : t > 1.0f ? 1.0f : t;
}

int tile_at(const height_field* field, float x, float z) {
  if (!field->tilemap) return 0;
  const int q = 1 << field->n;
  float fc = x * 0.5f / field->spacing;
  float fr = z * 0.5f / field->spacing;
  fc = !(fc > 0.0f) ? 0.0f : fc > (float)(q - 1) ? (float)(q - 1) : fc;
  fr = !(fr > 0.0f) ? 0.0f : fr > (float)(q - 1) ? (float)(q - 1) : fr;
  return field->tilemap[(int)fr * q + (int)fc];
}

int ground_tile_at(const height_field* field, float x, float z) {
  if (!field->tilemap || field->n < 0) return 0;
  const int q = 1 << field->n;
  float fc = field->spacing > 0 ? x * 0.5f / field->spacing : 0.0f;
  float fr = field->spacing > 0 ? z * 0.5f / field->spacing : 0.0f;
  // A point off the map (or not a number) reads the nearest edge cell.
  fc = !(fc > 0.0f) ? 0.0f : fc > (float)(q - 1) ? (float)(q - 1) : fc;
  fr = !(fr > 0.0f) ? 0.0f : fr > (float)(q - 1) ? (float)(q - 1) : fr;
  const int column = std::min((int)std::lround(fc), q - 1);
  const int row = std::min((int)std::lround(fr), q - 1);
  return field->tilemap[row * q + column];
}

float ground_tile_grip(const height_field* field, int tile) {
  if (tile < 0 || tile >= tile_table_size) return 0;
  return field->friction_value[tile][0];
}
