// Writing ".jm" text and building simple shapes as models.
#include "assets/jm_writer.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "assets/model_draw.h"
#include "assets/shader.h"
#include "core/file.h"
#include "core/memory.h"
#include "core/message_ring.h"

static int write_submesh(const model* m, stream* s, int bones) {
  const size_t v = static_cast<size_t>(m->vertex_count);
  // Mode, alpha, colour: the alpha is only read back below mode 0.
  if (stream_printf(s, "%.9g %.9g %.9g %.9g %.9g %d %d\n", m->shininess, m->colour[3], m->colour[0], m->colour[1],
                    m->colour[2], m->vertex_count, m->triangle_count) < 0)
    return 0;
  // With bones the bind pose is what the file holds.
  const size_t bind = bones > 0 ? v : 0;
  for (size_t i = 0; i < v; ++i) {
    const float* p = m->positions + 3 * (bind + i);
    const float* n = m->normals + 3 * (bind + i);
    const float* t = m->texcoords + 2 * i;
    if (stream_printf(s, "%.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g", p[0], p[1], p[2], n[0], n[1], n[2], t[0],
                      1.0f - t[1]) < 0)
      return 0;
    for (int b = 0; b < bones; ++b) {
      float w = 0.0f;
      for (int k = 0; k < 4; ++k)
        if (m->bone_indices[4 * i + k] == b && m->weights[4 * i + k] > 0.0f) w += m->weights[4 * i + k];
      if (stream_printf(s, " %.9g", w) < 0) return 0;
    }
    if (stream_printf(s, "\n") < 0) return 0;
  }
  for (int k = 0; k < m->triangle_count; ++k) {
    const int* c = m->triangles + 3 * k;
    if (stream_printf(s, "%d %d %d\n", c[0], c[1], c[2]) < 0) return 0;
  }
  return 1;
}

int jm_write(const model* m, stream* s) {
  const int bones = m->bone_count;
  for (const model* sub = m; sub; sub = sub->next)
    if (sub->bone_count != bones || (bones > 0 && !sub->weights)) {
      console_printf("Can't write '%.900s': its sub-meshes differ in bone count", m->name);
      return 0;
    }
  const int ok = bones > 0 ? stream_printf(s, "JM2\n%d skeleton\n", bones) : stream_printf(s, "JM1\n");
  if (ok < 0) return 0;
  for (const model* sub = m; sub; sub = sub->next)
    if (!write_submesh(sub, s, bones)) return 0;
  return stream_flush(s) == 0;
}

int jm_write_file(const model* m, const char* name) {
  stream* s = stream_open(name, "wb");
  if (!s) {
    console_printf("Can't write '%.900s'", name);
    return 0;
  }
  const int ok = jm_write(m, s);
  const int closed = stream_close_file(s) == 0;
  check_free(s);
  return ok && closed;
}

namespace {

struct shape_builder {
  std::vector<float> positions, normals, texcoords, weights;
  std::vector<int> bone_indices, triangles;

  int vertex(float x, float y, float z, float nx, float ny, float nz, float u, float v) {
    positions.insert(positions.end(), {x, y, z});
    normals.insert(normals.end(), {nx, ny, nz});
    texcoords.insert(texcoords.end(), {u, v});
    return static_cast<int>(positions.size() / 3) - 1;
  }

  // Faces outwards (by the vertex normals); a triangle without area is left
  // out, as the reader would drop it.
  void triangle(int a, int b, int c) {
    const float* pa = &positions[3 * a];
    const float* pb = &positions[3 * b];
    const float* pc = &positions[3 * c];
    const float e1[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
    const float e2[3] = {pc[0] - pa[0], pc[1] - pa[1], pc[2] - pa[2]};
    const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    if (n[0] * n[0] + n[1] * n[1] + n[2] * n[2] < 1e-12f) return;
    float outward = 0.0f;
    for (int k = 0; k < 3; ++k) outward += n[k] * (normals[3 * a + k] + normals[3 * b + k] + normals[3 * c + k]);
    if (outward < 0.0f) std::swap(b, c);
    triangles.insert(triangles.end(), {a, b, c});
  }

  void quad(int a, int b, int c, int d) {
    triangle(a, b, c);
    triangle(a, c, d);
  }

  model* finish(int bones, const jm_material* material, const char* name) {
    const int v = static_cast<int>(positions.size() / 3);
    model* m = model_alloc_submesh(v, static_cast<int>(triangles.size() / 3), bones, name);
    if (!m) return nullptr;
    const size_t vs = static_cast<size_t>(v);
    std::memcpy(m->positions, positions.data(), positions.size() * sizeof(float));
    std::memcpy(m->normals, normals.data(), normals.size() * sizeof(float));
    if (bones > 0) {
      std::memcpy(m->positions + 3 * vs, positions.data(), positions.size() * sizeof(float));
      std::memcpy(m->normals + 3 * vs, normals.data(), normals.size() * sizeof(float));
      std::memcpy(m->weights, weights.data(), weights.size() * sizeof(float));
      std::memcpy(m->bone_indices, bone_indices.data(), bone_indices.size() * sizeof(int));
    }
    std::memcpy(m->texcoords, texcoords.data(), texcoords.size() * sizeof(float));
    std::memcpy(m->triangles, triangles.data(), triangles.size() * sizeof(int));
    m->shininess = material->mode;
    std::memcpy(m->colour, material->colour, sizeof m->colour);
    if (material->mode >= 0.0f) m->colour[3] = 1.0f;
    m->reflective = material->mode == static_cast<float>(model_mode_reflective);
    m->list_wanted = shaders_active || (bones == 0 && material->mode >= 0.0f);
    model_compute_tangents(m);
    model_gradient_bounds(m);
    return m;
  }
};

const float two_pi = 6.283185307179586f;

}  // namespace

model* jm_box(const float size[3], const jm_material* material, const char* name) {
  shape_builder b;
  for (int axis = 0; axis < 3; ++axis)
    for (int sign = -1; sign <= 1; sign += 2) {
      float n[3] = {0, 0, 0}, u[3] = {0, 0, 0}, v[3] = {0, 0, 0};
      n[axis] = static_cast<float>(sign);
      u[(axis + 1) % 3] = 1.0f;
      v[(axis + 2) % 3] = 1.0f;
      // Each face shows its picture as printed to someone facing it from
      // outside: first row at the top (up is +y on the sides, -z on the top
      // and bottom), first column on the left. A number plate reads.
      float up[3] = {0, 1, 0};
      if (axis == 1) up[1] = 0, up[2] = -1;
      const float right[3] = {up[1] * n[2] - up[2] * n[1], up[2] * n[0] - up[0] * n[2], up[0] * n[1] - up[1] * n[0]};
      int corner[4];
      static const float su[4] = {-1, 1, 1, -1}, sv[4] = {-1, -1, 1, 1};
      for (int k = 0; k < 4; ++k) {
        float c[3];
        for (int j = 0; j < 3; ++j) c[j] = su[k] * u[j] + sv[k] * v[j];
        float p[3];
        for (int j = 0; j < 3; ++j) p[j] = 0.5f * size[j] * (n[j] + c[j]);
        const float s = 0.5f + 0.5f * (c[0] * right[0] + c[1] * right[1] + c[2] * right[2]);
        const float t = 0.5f - 0.5f * (c[0] * up[0] + c[1] * up[1] + c[2] * up[2]);
        corner[k] = b.vertex(p[0], p[1], p[2], n[0], n[1], n[2], s, t);
      }
      b.quad(corner[0], corner[1], corner[2], corner[3]);
    }
  return b.finish(0, material, name);
}

model* jm_cylinder(float radius, float length, int segments, const jm_material* material, const char* name) {
  if (segments < 3) segments = 3;
  shape_builder b;
  const float h = 0.5f * length;
  const int side = static_cast<int>(b.positions.size() / 3);
  for (int j = 0; j <= segments; ++j) {
    const float a = two_pi * static_cast<float>(j) / static_cast<float>(segments);
    const float c = std::cos(a), s = std::sin(a);
    const float u = static_cast<float>(j) / static_cast<float>(segments);
    b.vertex(radius * c, -h, radius * s, c, 0, s, u, 0.0f);
    b.vertex(radius * c, h, radius * s, c, 0, s, u, 1.0f);
  }
  for (int j = 0; j < segments; ++j) b.quad(side + 2 * j, side + 2 * j + 1, side + 2 * j + 3, side + 2 * j + 2);
  for (int end = -1; end <= 1; end += 2) {
    const float y = h * static_cast<float>(end), ny = static_cast<float>(end);
    const int centre = b.vertex(0, y, 0, 0, ny, 0, 0.5f, 0.5f);
    for (int j = 0; j < segments; ++j) {
      const float a = two_pi * static_cast<float>(j) / static_cast<float>(segments);
      const float c = std::cos(a), s = std::sin(a);
      b.vertex(radius * c, y, radius * s, 0, ny, 0, 0.5f + 0.5f * c, 0.5f + 0.5f * s);
    }
    for (int j = 0; j < segments; ++j) b.triangle(centre, centre + 1 + j, centre + 1 + (j + 1) % segments);
  }
  return b.finish(0, material, name);
}

model* jm_torus(float major, float minor, int segments, int sides, const jm_material* material, const char* name) {
  if (segments < 3) segments = 3;
  if (sides < 3) sides = 3;
  shape_builder b;
  for (int j = 0; j <= segments; ++j) {
    const float theta = two_pi * static_cast<float>(j) / static_cast<float>(segments);
    for (int k = 0; k <= sides; ++k) {
      const float phi = two_pi * static_cast<float>(k) / static_cast<float>(sides);
      const float ring = major + minor * std::cos(phi);
      const float nx = std::cos(phi) * std::cos(theta), ny = std::sin(phi), nz = std::cos(phi) * std::sin(theta);
      b.vertex(ring * std::cos(theta), minor * std::sin(phi), ring * std::sin(theta), nx, ny, nz,
               static_cast<float>(j) / static_cast<float>(segments), static_cast<float>(k) / static_cast<float>(sides));
    }
  }
  const int row = sides + 1;
  for (int j = 0; j < segments; ++j)
    for (int k = 0; k < sides; ++k)
      b.quad(j * row + k, (j + 1) * row + k, (j + 1) * row + k + 1, j * row + k + 1);
  return b.finish(0, material, name);
}

void jm_capsule_bone_centre(float length, int bones, int bone, float centre[3]) {
  centre[0] = centre[2] = 0.0f;
  centre[1] = bones > 1 ? -0.5f * length + length * static_cast<float>(bone) / static_cast<float>(bones - 1) : 0.0f;
}

model* jm_capsule(float radius, float length, int segments, int rings, int bones, const jm_material* material,
                  const char* name) {
  if (segments < 3) segments = 3;
  if (rings < 1) rings = 1;
  if (bones < 1 || bones > model_max_bones) {
    console_printf("Can't make '%.900s' with %d bones", name, bones);
    return nullptr;
  }
  shape_builder b;
  const float h = 0.5f * length;
  const int rows = 2 * (rings + 1);
  for (int r = 0; r < rows; ++r) {
    // Bottom hemisphere from the pole to the equator, then the top one.
    const int top = r > rings;
    const int k = top ? r - rings - 1 : r;
    const float phi = (top ? 0.0f : -0.5f * 3.14159265f) + 0.5f * 3.14159265f * static_cast<float>(k) / rings;
    const float y = (top ? h : -h) + radius * std::sin(phi);
    const float ring = radius * std::cos(phi);
    for (int j = 0; j <= segments; ++j) {
      const float theta = two_pi * static_cast<float>(j) / static_cast<float>(segments);
      b.vertex(ring * std::cos(theta), y, ring * std::sin(theta), std::cos(phi) * std::cos(theta), std::sin(phi),
               std::cos(phi) * std::sin(theta), static_cast<float>(j) / static_cast<float>(segments),
               static_cast<float>(r) / static_cast<float>(rows - 1));
      // The two nearest pivots, by height along the axis.
      float w[4] = {0, 0, 0, 0};
      int index[4] = {0, 0, 0, 0};
      if (bones == 1) {
        w[0] = 1.0f;
      } else {
        const float step = length / static_cast<float>(bones - 1);
        float at = (y + h) / step;
        if (at < 0.0f) at = 0.0f;
        if (at > static_cast<float>(bones - 1)) at = static_cast<float>(bones - 1);
        int lower = static_cast<int>(at);
        if (lower > bones - 2) lower = bones - 2;
        const float t = at - static_cast<float>(lower);
        int slot = 0;
        if (1.0f - t > 0.0f) w[slot] = 1.0f - t, index[slot++] = lower;
        if (t > 0.0f) w[slot] = t, index[slot] = lower + 1;
      }
      b.weights.insert(b.weights.end(), w, w + 4);
      b.bone_indices.insert(b.bone_indices.end(), index, index + 4);
    }
  }
  const int row = segments + 1;
  for (int r = 0; r + 1 < rows; ++r)
    for (int j = 0; j < segments; ++j) b.quad(r * row + j, r * row + j + 1, (r + 1) * row + j + 1, (r + 1) * row + j);
  return b.finish(bones, material, name);
}
