// The CPU side of model drawing: LOD choice, tangents, degeneracy, skinning
// and environment-map coordinates. No GL here, so tools and headless tests
// use it directly.
#include <cmath>
#include <cstring>

#include "assets/model_draw.h"
#include "assets/shader.h"

static const float tiny = 9.5367431640625e-07f;  // 2^-20

static void sub3(const float* a, const float* b, float* out) {
  out[0] = a[0] - b[0];
  out[1] = a[1] - b[1];
  out[2] = a[2] - b[2];
}

static void cross(const float* a, const float* b, float* out) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

static float dot(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Normalises v in place; 0 (and v untouched) when it has no length.
static int normalise(float* v) {
  const float length = std::sqrt(dot(v, v));
  if (!(length > 0.0f) || !std::isfinite(length)) return 0;
  v[0] /= length;
  v[1] /= length;
  v[2] /= length;
  return 1;
}

const model* model_choose_lod(const model* base, const float object[3], const float eye[3], float scale,
                              float offset) {
  float d[3];
  sub3(object, eye, d);
  const float reach = scale * std::sqrt(dot(d, d));
  const model* chosen = base;
  for (const model* v = base->lod_next; v; v = v->lod_next) {
    const float need = v->lod_distance - offset;
    if (need > 0.0f && need > reach) break;
    chosen = v;
  }
  return chosen;
}

void model_compute_tangents(model* sub) {
  const size_t v = static_cast<size_t>(sub->vertex_count);
  std::memset(sub->tangents, 0, 3 * v * sizeof(float));
  for (int t = 0; t < sub->triangle_count; ++t) {
    const int* c = sub->triangles + 3 * t;
    const float* pa = sub->positions + 3 * c[0];
    const float* pb = sub->positions + 3 * c[1];
    const float* pc = sub->positions + 3 * c[2];
    const float* ta = sub->texcoords + 2 * c[0];
    const float* tb = sub->texcoords + 2 * c[1];
    const float* tc = sub->texcoords + 2 * c[2];
    float e1[3], e2[3], tangent[3];
    sub3(pb, pa, e1);
    sub3(pc, pa, e2);
    const float du1 = tb[0] - ta[0], dv1 = tb[1] - ta[1];
    const float du2 = tc[0] - ta[0], dv2 = tc[1] - ta[1];
    const float det = du1 * dv2 - du2 * dv1;
    if (std::fabs(det) >= tiny) {
      float bitangent[3], tb_cross[3], face[3];
      for (int k = 0; k < 3; ++k) {
        tangent[k] = (e1[k] * dv2 - e2[k] * dv1) / det;
        bitangent[k] = (e2[k] * du1 - e1[k] * du2) / det;
      }
      cross(tangent, bitangent, tb_cross);
      cross(e2, e1, face);
      if (dot(tb_cross, face) >= 0.0f)
        for (float& x : tangent) x = -x;
    } else {
      const float l1 = std::sqrt(dot(e1, e1)), l2 = std::sqrt(dot(e2, e2));
      if (l2 < l1) {
        for (int k = 0; k < 3; ++k) tangent[k] = e1[k] * (tiny / l1);
      } else if (l2 == 0.0f) {
        tangent[0] = tiny;
        tangent[1] = tangent[2] = 0.0f;
      } else {
        for (int k = 0; k < 3; ++k) tangent[k] = e2[k] * (tiny / l2);
      }
    }
    for (int corner = 0; corner < 3; ++corner) {
      float* out = sub->tangents + 3 * c[corner];
      out[0] += tangent[0];
      out[1] += tangent[1];
      out[2] += tangent[2];
    }
  }
  for (size_t i = 0; i < v; ++i) {
    float* out = sub->tangents + 3 * i;
    if (!normalise(out)) {
      out[0] = 1.0f;
      out[1] = out[2] = 0.0f;
    }
  }
  if (sub->bone_count > 0) std::memcpy(sub->tangents + 3 * v, sub->tangents, 3 * v * sizeof(float));
}

int model_triangle_degenerate(const model* sub, int t) {
  const int* c = sub->triangles + 3 * t;
  float e1[3], e2[3], n[3];
  sub3(sub->positions + 3 * c[1], sub->positions + 3 * c[0], e1);
  sub3(sub->positions + 3 * c[2], sub->positions + 3 * c[0], e2);
  cross(e1, e2, n);
  const float area2 = dot(n, n);
  return std::isnan(area2) || area2 < 8.2718061255302767e-25f;  // 2^-80
}

// R x for a rotation stored column after column.
static void rotate(const float* r, const float* x, float* out) {
  out[0] = r[0] * x[0] + r[3] * x[1] + r[6] * x[2];
  out[1] = r[1] * x[0] + r[4] * x[1] + r[7] * x[2];
  out[2] = r[2] * x[0] + r[5] * x[1] + r[8] * x[2];
}

void model_skin_cpu(model* sub, const float* centres, const float* translations, const float* rotations,
                    int bone_count) {
  if (shaders_active || bone_count != sub->bone_count || bone_count <= 0 || !sub->weights) return;
  const size_t v = static_cast<size_t>(sub->vertex_count);
  for (size_t i = 0; i < v; ++i) {
    float* p = sub->positions + 3 * i;
    float* n = sub->normals + 3 * i;
    float* t = sub->tangents + 3 * i;
    const float* bind_p = sub->positions + 3 * (v + i);
    const float* bind_n = sub->normals + 3 * (v + i);
    const float* bind_t = sub->tangents + 3 * (v + i);
    for (int k = 0; k < 3; ++k) p[k] = n[k] = t[k] = 0.0f;
    for (int k = 0; k < 4; ++k) {
      const float w = sub->weights[4 * i + k];
      const int b = sub->bone_indices[4 * i + k];
      if (!(w > 0.0f) || b < 0 || b >= bone_count) continue;
      const float* r = rotations + 9 * b;
      float local[3], moved[3];
      sub3(bind_p, centres + 3 * b, local);
      rotate(r, local, moved);
      for (int j = 0; j < 3; ++j) p[j] += w * (moved[j] + translations[3 * b + j]);
      rotate(r, bind_n, moved);
      for (int j = 0; j < 3; ++j) n[j] += w * moved[j];
      rotate(r, bind_t, moved);
      for (int j = 0; j < 3; ++j) t[j] += w * moved[j];
    }
    normalise(n);
    normalise(t);
  }
}

void model_env_texcoords(model* sub, const float eye[3], const float object[3], const float rotation[9]) {
  const float* r = rotation;  // row after row
  float offset[3], d[3];
  sub3(object, eye, offset);
  // d = R^T (object - eye)
  d[0] = r[0] * offset[0] + r[3] * offset[1] + r[6] * offset[2];
  d[1] = r[1] * offset[0] + r[4] * offset[1] + r[7] * offset[2];
  d[2] = r[2] * offset[0] + r[5] * offset[1] + r[8] * offset[2];
  const float inverse_two_pi = 0.15915494309189535f;
  for (int i = 0; i < sub->vertex_count; ++i) {
    const float* p = sub->positions + 3 * i;
    const float* n = sub->normals + 3 * i;
    float* out = sub->texcoords + 2 * i;
    float v[3] = {d[0] + p[0], d[1] + p[1], d[2] + p[2]};
    const float vn = 2.0f * dot(v, n);
    const float reflected[3] = {v[0] - vn * n[0], v[1] - vn * n[1], v[2] - vn * n[2]};
    float w[3] = {dot(r, reflected), dot(r + 3, reflected), dot(r + 6, reflected)};
    if (!normalise(w)) {
      // The eye sits on the surface: no direction to look up.
      out[0] = out[1] = 0.5f;
      continue;
    }
    const float y = w[1] < -1.0f ? -1.0f : w[1] > 1.0f ? 1.0f : w[1];
    const float a = std::acos(y) * inverse_two_pi;
    const float horizontal = std::sqrt(w[0] * w[0] + w[2] * w[2]);
    if (!(horizontal > 0.0f)) {
      // Straight up is the centre of the map; straight down is its rim,
      // any point of which will do.
      out[0] = 0.5f + a;
      out[1] = 0.5f;
      continue;
    }
    const float t = 1.0f / horizontal;
    out[0] = 0.5f + a * w[0] * t;
    out[1] = 0.5f + a * w[2] * t;
  }
}
