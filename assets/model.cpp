// Reading ".jm" files, the model cache and its generations, LOD variants
// and the POV-Ray export.
#include "assets/model.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "assets/model_draw.h"
#include "assets/shader.h"
#include "assets/verbose.h"
#include "core/file.h"
#include "core/file_index.h"
#include "core/memory.h"
#include "core/message_ring.h"

int model_generation = 0;
growable_array model_cache = {nullptr, 0, 0, 0};
int model_compile_lists = 0;

// Triangles dropped while reading the current file, and whether a sub-mesh
// broke off after its header.
static int dropped_triangles = 0;
static int submesh_broke = 0;

static size_t align8(size_t n) { return (n + 7) & ~static_cast<size_t>(7); }

model* model_alloc_submesh(int vertex_count, int triangle_count, int bone_count, const char* name) {
  if (vertex_count < 0 || vertex_count > model_max_vertices || triangle_count < 0 ||
      triangle_count > model_max_triangles || bone_count < 0 || bone_count > model_max_bones) {
    console_printf("Bad counts in model '%.900s': %d vertices, %d triangles, %d bones", name, vertex_count,
                   triangle_count, bone_count);
    return nullptr;
  }
  const size_t v = static_cast<size_t>(vertex_count);
  const size_t halves = bone_count > 0 ? 2 : 1;
  const size_t floats = v * (3 * halves * 3 + 2 + (bone_count > 0 ? 4 : 0));
  const size_t ints = v * (bone_count > 0 ? 4 : 0) + static_cast<size_t>(triangle_count) * 3;
  const size_t name_bytes = std::strlen(name) + 1;
  const size_t head = align8(sizeof(model));
  const size_t size = head + floats * sizeof(float) + ints * sizeof(int) + name_bytes;
  unsigned char* block = static_cast<unsigned char*>(check_calloc(1, size));
  if (!block) {
    console_printf("Out of memory reading model '%.900s'", name);
    return nullptr;
  }
  model* m = reinterpret_cast<model*>(block);
  float* f = reinterpret_cast<float*>(block + head);
  m->positions = f;
  f += 3 * halves * v;
  m->normals = f;
  f += 3 * halves * v;
  m->tangents = f;
  f += 3 * halves * v;
  m->texcoords = f;
  f += 2 * v;
  if (bone_count > 0) {
    m->weights = f;
    f += 4 * v;
  }
  int* i = reinterpret_cast<int*>(f);
  if (bone_count > 0) {
    m->bone_indices = i;
    i += 4 * v;
  }
  m->triangles = i;
  i += 3 * static_cast<size_t>(triangle_count);
  m->name = reinterpret_cast<char*>(i);
  std::memcpy(m->name, name, name_bytes);
  m->vertex_count = vertex_count;
  m->triangle_count = triangle_count;
  m->bone_count = bone_count;
  m->colour[0] = m->colour[1] = m->colour[2] = m->colour[3] = 1.0f;
  return m;
}

// Keeps, in order, the triangles for which keep() holds; returns how many
// went.
template <typename keep_fn>
static int filter_triangles(model* m, keep_fn keep) {
  int kept = 0;
  for (int t = 0; t < m->triangle_count; ++t) {
    if (!keep(t)) continue;
    if (kept != t) std::memcpy(m->triangles + 3 * kept, m->triangles + 3 * t, 3 * sizeof(int));
    ++kept;
  }
  const int dropped = m->triangle_count - kept;
  m->triangle_count = kept;
  return dropped;
}

// Range filter, tangents, then the degeneracy filter: the tangent pass must
// only see indices inside the vertex arrays.
static void finish_triangles(model* m) {
  const int v = m->vertex_count;
  dropped_triangles += filter_triangles(m, [&](int t) {
    const int* c = m->triangles + 3 * t;
    return c[0] >= 0 && c[0] < v && c[1] >= 0 && c[1] < v && c[2] >= 0 && c[2] < v;
  });
  model_compute_tangents(m);
  dropped_triangles += filter_triangles(m, [&](int t) { return !model_triangle_degenerate(m, t); });
}

static int read_floats(stream* s, float* out, int n) {
  for (int k = 0; k < n; ++k)
    if (stream_scanf(s, "%f", &out[k]) != 1) return 0;
  return 1;
}

// Reads the B weights of vertex i into its four slots.
static int read_weights(stream* s, model* m, int i, int* warned) {
  float* w = m->weights + 4 * i;
  int* b = m->bone_indices + 4 * i;
  for (int k = 0; k < 4; ++k) {
    w[k] = 0.0f;
    b[k] = 0;
  }
  for (int bone = 0; bone < m->bone_count; ++bone) {
    float weight;
    if (stream_scanf(s, "%f", &weight) != 1) return 0;
    if (!(weight > 0.0f)) continue;
    int slot = 0;
    for (int k = 1; k < 4; ++k)
      if (w[k] < w[slot]) slot = k;
    if (w[slot] != 0.0f && !*warned) {
      console_printf("Warning: vertex with more than 4 bone influences in '%.900s'", m->name);
      *warned = 1;
    }
    w[slot] = weight;
    b[slot] = bone;
  }
  const double sum = static_cast<double>(w[0]) + w[1] + w[2] + w[3];
  if (sum > 0.0 && std::isfinite(sum)) {
    for (int k = 0; k < 4; ++k) w[k] = static_cast<float>(w[k] / sum);
  } else {
    for (int k = 0; k < 4; ++k) {
      w[k] = 0.25f;
      b[k] = 0;
    }
  }
  return 1;
}

// The vertices and triangles of a sub-mesh whose block is allocated.
static int read_body(stream* s, model* m) {
  const size_t v = static_cast<size_t>(m->vertex_count);
  int warned = 0;
  for (int i = 0; i < m->vertex_count; ++i) {
    float values[8];
    if (!read_floats(s, values, 8)) return 0;
    float* p = m->positions + 3 * i;
    float* n = m->normals + 3 * i;
    std::memcpy(p, values, 3 * sizeof(float));
    std::memcpy(n, values + 3, 3 * sizeof(float));
    m->texcoords[2 * i] = values[6];
    m->texcoords[2 * i + 1] = 1.0f - values[7];
    if (m->bone_count > 0) {
      std::memcpy(m->positions + 3 * (v + i), p, 3 * sizeof(float));
      std::memcpy(m->normals + 3 * (v + i), n, 3 * sizeof(float));
      if (!read_weights(s, m, i, &warned)) return 0;
    }
  }
  for (int k = 0; k < 3 * m->triangle_count; ++k)
    if (stream_scanf(s, "%d", &m->triangles[k]) != 1) return 0;
  return 1;
}

// Every count comes from a header: before the block is allocated, the rest
// of the file must at least hold one byte for each number the counts ask for.
static int counts_fit(stream* s, const char* name, int vertices, int triangles, int bone_count) {
  if (vertices < 0 || vertices > model_max_vertices || triangles < 0 || triangles > model_max_triangles ||
      bone_count < 0 || bone_count > model_max_bones)
    return 1;  // the allocator refuses these with its own message
  const uint64_t numbers = (uint64_t)vertices * (uint64_t)(8 + bone_count) + 3 * (uint64_t)triangles;
  if (numbers <= stream_remaining(s)) return 1;
  console_printf("Model '%.900s' breaks off: too short for %d vertices and %d triangles", name, vertices, triangles);
  return 0;
}

model* model_read_submesh(stream* s, const char* name, int bone_count) {
  float material[5];
  int vertices, triangles;
  if (stream_scanf(s, "%f %f %f %f %f %d %d", &material[0], &material[1], &material[2], &material[3], &material[4],
                   &vertices, &triangles) != 7)
    return nullptr;
  if (!counts_fit(s, name, vertices, triangles, bone_count)) {
    submesh_broke = 1;
    return nullptr;
  }
  model* m = model_alloc_submesh(vertices, triangles, bone_count, name);
  if (!m) return nullptr;
  m->shininess = material[0];
  m->colour[0] = material[2];
  m->colour[1] = material[3];
  m->colour[2] = material[4];
  m->colour[3] = material[0] >= 0.0f ? 1.0f : material[1];
  m->reflective = material[0] == static_cast<float>(model_mode_reflective);
  if (!read_body(s, m)) {
    submesh_broke = 1;
    check_free(m);
    return nullptr;
  }
  finish_triangles(m);
  m->list_wanted = shaders_active || (bone_count == 0 && material[0] >= 0.0f);
  return m;
}

static model* read_headerless(stream* s, const char* name) {
  int vertices, triangles;
  if (stream_scanf(s, "%d %d", &vertices, &triangles) != 2) {
    console_printf("Can't read model '%.900s'", name);
    return nullptr;
  }
  if (!counts_fit(s, name, vertices, triangles, 0)) return nullptr;
  model* m = model_alloc_submesh(vertices, triangles, 0, name);
  if (!m) return nullptr;
  m->shininess = 32.0f;
  if (!read_body(s, m)) {
    console_printf("Model '%.900s' breaks off", name);
    check_free(m);
    return nullptr;
  }
  finish_triangles(m);
  m->list_wanted = 1;
  return m;
}

static model* read_versioned(stream* s, const char* name, int version) {
  int bones = 0;
  if (version == 2) {
    static char word[stream_scan_default_width + 1];
    if (stream_scanf(s, " %d %1023s", &bones, word) != 2) {
      console_printf("Model '%.900s' lacks its bone count", name);
      return nullptr;
    }
    if (bones < 0 || bones > model_max_bones) {
      console_printf("Model '%.900s' asks for %d bones", name, bones);
      return nullptr;
    }
    if (shaders_active && bones > shader_max_bones) {
      console_printf("Model '%.900s' has %d bones; the shaders take at most %d", name, bones, shader_max_bones);
      return nullptr;
    }
  } else if (version != 1) {
    console_printf("Model '%.900s' has unknown version %d", name, version);
    return nullptr;
  }
  model* first = model_read_submesh(s, name, bones);
  if (!first) {
    console_printf("Can't read model '%.900s'", name);
    return nullptr;
  }
  model* last = first;
  int count = 1;
  for (model* sub; (sub = model_read_submesh(s, name, bones)) != nullptr; ++count) {
    last->next = sub;
    last = sub;
    first->reflective |= sub->reflective;
  }
  // Anything but blank space left means a sub-mesh broke off: say so
  // rather than lose it quietly.
  while (stream_peekc(s) == ' ' || stream_peekc(s) == '\n' || stream_peekc(s) == '\r' || stream_peekc(s) == '\t')
    stream_getc(s);
  if (submesh_broke || stream_peekc(s) >= 0)
    console_printf("Warning: model '%.900s' breaks off after %d sub-meshes", name, count);
  return first;
}

model* model_read(const char* name) {
  stream* s = stream_open(name, "rb");
  if (!s) return nullptr;
  dropped_triangles = 0;
  submesh_broke = 0;
  int version = 0;
  model* m;
  if (stream_scanf(s, "JM%d", &version) == 1)
    m = read_versioned(s, name, version);
  else
    m = read_headerless(s, name);
  const int intact = stream_verify(s);
  stream_close(s);
  if (!m) return nullptr;
  if (!intact) {
    console_printf("Can't read model '%.900s': the file is damaged", name);
    model_free_submeshes(m);
    return nullptr;
  }
  model_gradient_bounds(m);
  if (dropped_triangles) console_printf("%d degenerate triangles deleted in %.100s", dropped_triangles, name);
  if (model_compile_lists) model_build_lists(m);
  return m;
}

void model_gradient_bounds(model* m) {
  for (model* sub = m; sub; sub = sub->next) {
    float ub = 0.0f, vb = 0.0f;
    for (int t = 0; t < sub->triangle_count; ++t) {
      const int* c = sub->triangles + 3 * t;
      for (int e = 0; e < 3; ++e) {
        const int a = c[e], b = c[(e + 1) % 3];
        const float* pa = sub->positions + 3 * a;
        const float* pb = sub->positions + 3 * b;
        const float dx = pb[0] - pa[0], dy = pb[1] - pa[1], dz = pb[2] - pa[2];
        const float length = std::sqrt(dx * dx + dy * dy + dz * dz);
        if (!(length >= 0.0625f)) continue;
        const float du = std::fabs(sub->texcoords[2 * b] - sub->texcoords[2 * a]) / length;
        const float dv = std::fabs(sub->texcoords[2 * b + 1] - sub->texcoords[2 * a + 1]) / length;
        if (du > ub) ub = du;
        if (dv > vb) vb = dv;
      }
    }
    sub->u_gradient_bound = ub;
    sub->v_gradient_bound = vb;
  }
  // Each sub-mesh covers those after it; the first covers the chain.
  for (model* sub = m; sub; sub = sub->next)
    for (model* later = sub->next; later; later = later->next) {
      if (later->u_gradient_bound > sub->u_gradient_bound) sub->u_gradient_bound = later->u_gradient_bound;
      if (later->v_gradient_bound > sub->v_gradient_bound) sub->v_gradient_bound = later->v_gradient_bound;
    }
}

void model_gradient_counts(const model* m, float distance, float* u_count, float* v_count) {
  *u_count = distance / 8192.0f > m->u_gradient_bound ? 8192.0f : distance / m->u_gradient_bound;
  *v_count = distance / 8192.0f > m->v_gradient_bound ? 8192.0f : distance / m->v_gradient_bound;
}

const char* model_name(const model* m) { return m->name; }

void model_free_submeshes(model* m) {
  while (m) {
    model* next = m->next;
    model_release_list(m);
    check_free(m);
    m = next;
  }
}

void model_free(model* m) {
  if (!m) return;
  for (model* v = m->lod_next; v;) {
    model* next = v->lod_next;
    model_free_submeshes(v);
    v = next;
  }
  model_free_submeshes(m);
}

int model_lod_stem(const char* name, char* stem, int size) {
  if (name[0] != '@') return 0;
  const char* dot = std::strrchr(name + 1, '.');
  if (!dot) return 0;
  const size_t n = static_cast<size_t>(dot - (name + 1));
  if (n + 1 > static_cast<size_t>(size)) return 0;
  std::memcpy(stem, name + 1, n);
  stem[n] = '\0';
  return 1;
}

// A decimal number with optional fraction and exponent at text; its end in
// *end. 0 when none starts there.
static int parse_decimal(const char* text, double* value, const char** end) {
  const char* p = text;
  if (*p == '+' || *p == '-') ++p;
  int digits = 0;
  while (*p >= '0' && *p <= '9') ++p, ++digits;
  if (*p == '.') {
    ++p;
    while (*p >= '0' && *p <= '9') ++p, ++digits;
  }
  if (!digits) return 0;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    if (*q == '+' || *q == '-') ++q;
    if (*q >= '0' && *q <= '9') {
      while (*q >= '0' && *q <= '9') ++q;
      p = q;
    }
  }
  // strtod would also take "inf", hex and leading blanks; the span is known
  // to be plain decimal, so only its value is taken from it.
  char buffer[64];
  const size_t n = static_cast<size_t>(p - text);
  if (n >= sizeof buffer) return 0;
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
  *value = std::strtod(buffer, nullptr);
  *end = p;
  return 1;
}

static int ends_with(const char* text, size_t n, const char* suffix) {
  const size_t m = std::strlen(suffix);
  return n >= m && std::memcmp(text + n - m, suffix, m) == 0;
}

int model_lod_variant(const char* stem, const char* listed, float* distance, char* variant, int size) {
  const size_t stem_length = std::strlen(stem);
  if (std::strncmp(listed, stem, stem_length) != 0 || std::strncmp(listed + stem_length, "_lod", 4) != 0) return 0;
  double n;
  const char* end;
  if (!parse_decimal(listed + stem_length + 4, &n, &end)) return 0;
  size_t length = std::strlen(listed);
  if (ends_with(listed, length, ".gz.scram"))
    length -= 9;
  else if (ends_with(listed, length, ".scram"))
    length -= 6;
  else if (ends_with(listed, length, ".gz"))
    length -= 3;
  if (length + 1 > static_cast<size_t>(size)) return 0;
  std::memcpy(variant, listed, length);
  variant[length] = '\0';
  *distance = static_cast<float>(std::pow(2.0, n));
  return 1;
}

int model_add_lod_variants(model* base, const char* stem, const char* const* listed, const char* prefix) {
  int added = 0;
  for (int i = 0; listed && listed[i]; ++i) {
    char variant[1024];
    float distance;
    if (!model_lod_variant(stem, listed[i], &distance, variant, sizeof variant)) continue;
    // A variant stored both plain and compressed is listed twice: read it once.
    int seen = 0;
    for (int j = 0; j < i && !seen; ++j) {
      char other[1024];
      float d;
      seen = model_lod_variant(stem, listed[j], &d, other, sizeof other) && std::strcmp(other, variant) == 0;
    }
    if (seen) continue;
    char name[1100];
    std::snprintf(name, sizeof name, "%s%s", prefix, variant);
    model* v = model_read(name);
    if (!v) continue;
    v->lod_distance = distance;
    model** at = &base->lod_next;
    while (*at && (*at)->lod_distance < distance) at = &(*at)->lod_next;
    v->lod_next = *at;
    *at = v;
    ++added;
  }
  return added;
}

model* model_get(const char* name) {
  if (!model_cache.data && !growable_array_init(&model_cache, sizeof(model*), 16)) return nullptr;
  model** entries = static_cast<model**>(model_cache.data);
  for (size_t i = 0; i < model_cache.count; ++i)
    if (std::strcmp(entries[i]->name, name) == 0) {
      entries[i]->generation = model_generation;
      return entries[i];
    }
  for (size_t i = 0; i < model_cache.count; ++i)
    if (strcasecmp(entries[i]->name, name) == 0) {
      console_printf("Warning: case mismatch on '%.900s'", name);
      entries[i]->generation = model_generation;
      return entries[i];
    }
  model* m = model_read(name);
  if (!m) return nullptr;
  m->lod_distance = 0.0f;
  m->lod_next = nullptr;
  m->generation = model_generation;
  if (!growable_array_append(&model_cache, &m)) {
    console_printf("Can't keep model '%.900s'", name);
    model_free(m);
    return nullptr;
  }
  char stem[1024];
  if (model_lod_stem(name, stem, sizeof stem)) model_add_lod_variants(m, stem, file_index_build(), "@");
  return m;
}

void model_delete_stale(int all) {
  model** entries = static_cast<model**>(model_cache.data);
  for (size_t k = model_cache.count; k-- > 0;) {
    model* m = entries[k];
    if (!all && (m->generation == 0 || m->generation == model_generation)) continue;
    if (verbose) console_printf("deleting model %.900s", m->name);
    model_free(m);
    std::memmove(entries + k, entries + k + 1, (model_cache.count - k - 1) * sizeof(model*));
    --model_cache.count;
  }
  if (all && model_cache.data) growable_array_free(&model_cache);
}

static int write_vectors(stream* s, const char* title, const float* v, int count, int size) {
  int ok = stream_printf(s, "\t%s {\n\t\t%d\n", title, count) >= 0;
  for (int i = 0; i < count && ok; ++i) {
    const char* comma = i + 1 < count ? "," : "";
    const float* x = v + size * i;
    if (size == 3)
      ok = stream_printf(s, "\t\t<%f,%f,%f>%s\n", x[0], x[1], x[2], comma) >= 0;
    else
      ok = stream_printf(s, "\t\t<%f,%f>%s\n", x[0], x[1], comma) >= 0;
  }
  return ok && stream_printf(s, "\t}\n") >= 0;
}

static int export_block(const model* sub, stream* s) {
  if (stream_printf(s, "mesh2 {\n") < 0) return 0;
  if (!write_vectors(s, "vertex_vectors", sub->positions, sub->vertex_count, 3)) return 0;
  if (!write_vectors(s, "normal_vectors", sub->normals, sub->vertex_count, 3)) return 0;
  if (!write_vectors(s, "uv_vectors", sub->texcoords, sub->vertex_count, 2)) return 0;
  if (stream_printf(s, "\tface_indices {\n\t\t%d\n", sub->triangle_count) < 0) return 0;
  for (int t = 0; t < sub->triangle_count; ++t) {
    const int* c = sub->triangles + 3 * t;
    if (stream_printf(s, "\t\t<%d,%d,%d>%s\n", c[0], c[1], c[2], t + 1 < sub->triangle_count ? "," : "") < 0)
      return 0;
  }
  return stream_printf(s, "\t}\n}\n") >= 0;
}

int model_export_pov(const model* m, stream* s) {
  if (!m->next) return export_block(m, s);
  if (stream_printf(s, "union {\n") < 0) return 0;
  for (const model* sub = m; sub; sub = sub->next)
    if (!export_block(sub, s)) return 0;
  return stream_printf(s, "}\n") >= 0;
}
