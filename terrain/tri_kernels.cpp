// Triangle contact kernels for wheels and spheres. The cheap cases (face,
// flat-on, edge crossing) come first; the rim-to-edge quartic runs only when
// none of them decides.
#include "terrain/tri_kernels.h"

#include <math.h>

static const float touch_epsilon = 9.5367431640625e-7f;  // 2^-20

static inline void v_set(float o[3], float x, float y, float z) {
  o[0] = x;
  o[1] = y;
  o[2] = z;
}
static inline void v_copy(float o[3], const float a[3]) { v_set(o, a[0], a[1], a[2]); }
static inline void v_sub(float o[3], const float a[3], const float b[3]) {
  v_set(o, a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}
static inline void v_add_scaled(float o[3], const float a[3], const float b[3], float s) {
  v_set(o, a[0] + b[0] * s, a[1] + b[1] * s, a[2] + b[2] * s);
}
static inline float v_dot(const float a[3], const float b[3]) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
static inline void v_cross(float o[3], const float a[3], const float b[3]) {
  float x = a[1] * b[2] - a[2] * b[1];
  float y = a[2] * b[0] - a[0] * b[2];
  float z = a[0] * b[1] - a[1] * b[0];
  v_set(o, x, y, z);
}
static inline float v_len2(const float a[3]) { return v_dot(a, a); }
static inline float v_dist(const float a[3], const float b[3]) {
  float d[3];
  v_sub(d, a, b);
  return sqrtf(v_len2(d));
}
// Unit copy of a; a zero vector stays zero.
static inline void v_unit(float o[3], const float a[3]) {
  float l = sqrtf(v_len2(a));
  if (l > 0.0f)
    v_set(o, a[0] / l, a[1] / l, a[2] / l);
  else
    v_set(o, 0.0f, 0.0f, 0.0f);
}

// Face normal and outward edge normals e_j = E_j x n.
struct tri_frame {
  const float* v[3];
  float edge[3][3];
  float n[3];
  float out[3][3];
};

static void tri_frame_build(tri_frame* f, const float tri[9]) {
  for (int j = 0; j < 3; j++) f->v[j] = tri + 3 * j;
  for (int j = 0; j < 3; j++) v_sub(f->edge[j], f->v[(j + 1) % 3], f->v[j]);
  float e02[3];
  v_sub(e02, f->v[2], f->v[0]);
  v_cross(f->n, f->edge[0], e02);
  for (int j = 0; j < 3; j++) v_cross(f->out[j], f->edge[j], f->n);
}

static int outside_edge(const tri_frame* f, int j, const float p[3]) {
  float q[3];
  v_sub(q, p, f->v[j]);
  return v_dot(q, f->out[j]) > 0.0f;
}

static int inside_all_edges(const tri_frame* f, const float p[3]) {
  return !outside_edge(f, 0, p) && !outside_edge(f, 1, p) && !outside_edge(f, 2, p);
}

// Inside the triangle's vertical prism: the edge normals of its outline seen
// from above, E_j x (0, 1, 0).
static int inside_vertical_prism(const tri_frame* f, const float p[3]) {
  for (int j = 0; j < 3; j++) {
    const float* e = f->edge[j];
    float q[3];
    v_sub(q, p, f->v[j]);
    if (q[0] * -e[2] + q[2] * e[0] > 0.0f) return 0;
  }
  return 1;
}

void nearest_point_on_rim(float out[3], const float w[3], const float a[3], float rim_radius,
                          const float p[3]) {
  float a2 = v_len2(a);
  float q[3], v[3];
  v_sub(q, p, w);
  v_add_scaled(v, q, a, a2 > 0.0f ? -v_dot(q, a) / a2 : 0.0f);
  // A point on the axle has no nearest rim point of its own: any will do, so
  // try offsets until one has an in-plane part. Bits 0, 1, 2 of the trial
  // count pick x, y, z; the first two trials cannot fail for a non-zero axle
  // and radius, the cap only guards a zero one.
  for (int trial = 0; v_len2(v) < rim_radius * 1e-6f && trial < 8; trial++) {
    float t[3] = {(trial & 1) ? rim_radius : 0.0f, (trial & 2) ? rim_radius : 0.0f,
                  (trial & 4) ? rim_radius : 0.0f};
    v_add_scaled(v, t, a, a2 > 0.0f ? -v_dot(t, a) / a2 : 0.0f);
  }
  float l = sqrtf(v_len2(v));
  if (!(l > 0.0f)) {
    v_copy(out, w);
    return;
  }
  v_add_scaled(out, w, v, rim_radius / l);
}

float point_plane_distance(const float q[3], const float n[3], const float p[3]) {
  float d[3];
  v_sub(d, p, q);
  float l = sqrtf(v_len2(n));
  if (!(l > 0.0f)) return 0.0f;
  return fabsf(v_dot(d, n)) / l;
}

int line_plane_intersect(float out[3], const float p[3], const float d[3], const float q[3],
                         const float n[3]) {
  float dn = v_dot(d, n);
  if (dn == 0.0f) {
    v_copy(out, p);
    return 0;
  }
  float qp[3];
  v_sub(qp, q, p);
  v_add_scaled(out, p, d, v_dot(qp, n) / dn);
  return 1;
}

// The stationary points of the distance between the edge line q(t) = D + t E
// (D = Vj - W) and the rim circle are the roots of
//   f(t) = Rr^2 g(t)^2 - h(t)^2 p(t)
// with h = q.E, g = q.E - (q.A)(E.A)/|A|^2 and p = |q|^2 - (q.A)^2/|A|^2
// (p is the squared distance of q from the axle). Doubles keep the quartic's
// coefficients from cancelling away.
struct edge_quartic {
  double c[5];
};

static void edge_quartic_build(edge_quartic* q, const float d[3], const float e[3],
                               const float a[3], float rim_radius) {
  double ia = 1.0 / ((double)a[0] * a[0] + (double)a[1] * a[1] + (double)a[2] * a[2]);
  double ee = (double)e[0] * e[0] + (double)e[1] * e[1] + (double)e[2] * e[2];
  double de = (double)d[0] * e[0] + (double)d[1] * e[1] + (double)d[2] * e[2];
  double ea = (double)e[0] * a[0] + (double)e[1] * a[1] + (double)e[2] * a[2];
  double dd = (double)d[0] * d[0] + (double)d[1] * d[1] + (double)d[2] * d[2];
  double da = (double)d[0] * a[0] + (double)d[1] * a[1] + (double)d[2] * a[2];
  double g0 = de - da * ea * ia, g1 = ee - ea * ea * ia;
  double h0 = de, h1 = ee;
  double p0 = dd - da * da * ia, p1 = 2.0 * g0, p2 = g1;
  double r2 = (double)rim_radius * rim_radius;
  double hh0 = h0 * h0, hh1 = 2.0 * h0 * h1, hh2 = h1 * h1;
  q->c[0] = r2 * g0 * g0 - hh0 * p0;
  q->c[1] = r2 * 2.0 * g0 * g1 - (hh0 * p1 + hh1 * p0);
  q->c[2] = r2 * g1 * g1 - (hh0 * p2 + hh1 * p1 + hh2 * p0);
  q->c[3] = -(hh1 * p2 + hh2 * p1);
  q->c[4] = -(hh2 * p2);
}

static double quartic_value(const edge_quartic* q, double t) {
  return (((q->c[4] * t + q->c[3]) * t + q->c[2]) * t + q->c[1]) * t + q->c[0];
}

static double quartic_slope(const edge_quartic* q, double t) {
  return ((4.0 * q->c[4] * t + 3.0 * q->c[3]) * t + 2.0 * q->c[2]) * t + q->c[1];
}

// At most four accepted Newton steps; a step that makes |f| larger ends it.
static double quartic_newton(const edge_quartic* q, double t) {
  double f = quartic_value(q, t);
  for (int accepted = 0; accepted < 4; accepted++) {
    double slope = quartic_slope(q, t);
    if (!(fabs(slope) >= 9.313225746154785e-10)) break;  // 2^-30
    double next = t - f / slope;
    double fn = quartic_value(q, next);
    if (!(fabs(fn) <= fabs(f))) break;
    t = next;
    f = fn;
  }
  return t;
}

float rim_triangle_distance(float point[3], float normal[3], const float w[3], const float a[3],
                            float rim_radius, float tyre_radius, const float tri[9],
                            const float n[3]) {
  const float* v[3] = {tri, tri + 3, tri + 6};
  float best_dist = INFINITY;
  int best = -1;  // 0..2 edges, 3..5 corners
  float edge_point[3][3];
  float edge[3][3];

  for (int j = 0; j < 3; j++) {
    v_sub(edge[j], v[(j + 1) % 3], v[j]);
    const float* e = edge[j];
    float d[3];
    v_sub(d, v[j], w);
    float ee = v_len2(e);
    double starts[2] = {0.0, 0.0};
    if (ee > 0.0f) {
      float wd[3];
      v_sub(wd, w, v[j]);
      float tc = v_dot(e, wd) / ee;
      float ea[3], wv[3];
      v_cross(ea, e, a);
      v_cross(wv, ea, a);
      float delta;
      float wl2 = v_len2(wv);
      if (wl2 >= rim_radius * 1e-6f) {
        float s = rim_radius / sqrtf(wl2);
        float r[3] = {wv[0] * s, wv[1] * s, wv[2] * s};
        delta = fabsf(v_dot(r, e)) / ee;
      } else {
        delta = rim_radius * 0.001f;
      }
      edge_quartic q;
      edge_quartic_build(&q, d, e, a, rim_radius);
      starts[0] = quartic_newton(&q, (double)tc - delta);
      starts[1] = quartic_newton(&q, (double)tc + delta);
    }
    float dist_j = INFINITY;
    for (int s = 0; s < 2; s++) {
      double t = starts[s];
      if (!(t >= 0.0)) t = 0.0;  // also catches a NaN
      if (t > 1.0) t = 1.0;
      float qp[3], rim[3];
      v_add_scaled(qp, v[j], e, (float)t);
      nearest_point_on_rim(rim, w, a, rim_radius, qp);
      float dist = v_dist(qp, rim);
      if (s == 0 || dist < dist_j) {
        dist_j = dist;
        v_copy(edge_point[j], qp);
      }
    }
    if (dist_j < best_dist || best < 0) {
      best_dist = dist_j;
      best = j;
    }
  }

  float a_unit[3];
  v_unit(a_unit, a);
  for (int k = 0; k < 3; k++) {
    float o[3], p[3];
    v_sub(o, v[k], w);
    v_add_scaled(p, o, a_unit, -v_dot(o, a_unit));
    float pl = sqrtf(v_len2(p));
    if (pl > rim_radius) {
      float s = rim_radius / pl;
      v_set(p, p[0] * s, p[1] * s, p[2] * s);
    }
    float disc[3];
    v_set(disc, w[0] + p[0], w[1] + p[1], w[2] + p[2]);
    float dist = v_dist(disc, v[k]);
    if (dist < best_dist) {
      best_dist = dist;
      best = 3 + k;
    }
  }

  if (best < 3) {
    const float* qj = edge_point[best];
    float rim[3];
    nearest_point_on_rim(rim, w, a, rim_radius, qj);
    if (best_dist > touch_epsilon) {
      v_copy(point, qj);
      v_sub(normal, rim, qj);
    } else {
      // The edge touches the rim itself: push across the edge, in the
      // direction the rim's tangent plane allows.
      float r[3], m[3], nn[3];
      v_sub(r, rim, w);
      v_cross(m, r, a);
      if (v_dot(m, n) < 0.0f) v_set(m, -m[0], -m[1], -m[2]);
      v_cross(nn, edge[best], m);
      if (v_len2(nn) < touch_epsilon) v_copy(nn, n);
      v_unit(normal, nn);
      v_add_scaled(point, rim, normal, -tyre_radius);
    }
  } else {
    const float* vk = v[best - 3];
    float o[3];
    v_sub(o, vk, w);
    v_copy(point, vk);
    if (v_dot(o, a) > 0.0f)
      v_set(normal, -a[0], -a[1], -a[2]);
    else
      v_copy(normal, a);
  }
  return best_dist;
}

static float wheel_contact_cases(float point[3], float normal[3], const float w[3],
                                 const float a[3], float rim_radius, float tyre_radius,
                                 const float tri[9], int allow_general) {
  tri_frame f;
  tri_frame_build(&f, tri);
  const float* v0 = f.v[0];

  float na[3], d[3];
  v_cross(na, f.n, a);
  v_cross(d, na, a);
  float a2 = v_len2(a);

  // A wheel lying flat (axle along the face normal) has no lowest rim point:
  // the whole tube bottom is equally low, a flat torus over the face.
  if (v_len2(d) <= 2.3283064365386963e-10f * v_len2(f.n) * a2 * a2) {  // sin^2 below 2^-32
    if (inside_all_edges(&f, w)) {
      float n_unit[3], q[3];
      v_unit(n_unit, f.n);
      v_sub(q, w, v0);
      float height = v_dot(q, n_unit);
      v_copy(normal, n_unit);
      v_add_scaled(point, w, n_unit, -tyre_radius);
      return tyre_radius - height;
    }
    if (!allow_general) return 0.0f;
    return tyre_radius - rim_triangle_distance(point, normal, w, a, rim_radius, tyre_radius, tri, f.n);
  }

  if (v_dot(d, f.n) > 0.0f) v_set(d, -d[0], -d[1], -d[2]);
  float d_unit[3], low[3], high[3], q[3];
  v_unit(d_unit, d);
  v_add_scaled(low, w, d_unit, rim_radius);
  v_add_scaled(high, w, d_unit, -rim_radius);

  v_sub(q, low, v0);
  if (v_dot(q, f.n) <= 0.0f) {
    v_sub(q, high, v0);
    if (v_dot(q, f.n) > 0.0f) {
      // The rim crosses the face plane.
      float y[3];
      line_plane_intersect(y, w, d, v0, f.n);
      if (inside_all_edges(&f, y)) {
        float rim[3];
        v_unit(normal, f.n);
        nearest_point_on_rim(rim, w, a, rim_radius, low);
        v_add_scaled(point, rim, normal, -tyre_radius);
        return tyre_radius + point_plane_distance(v0, f.n, low);
      }
      int below[3];
      for (int j = 0; j < 3; j++) {
        v_sub(q, f.v[j], w);
        below[j] = v_dot(q, a) <= 0.0f;
      }
      for (int k = 0; k < 3; k++) {
        if (!outside_edge(&f, k, y) || below[k] == below[(k + 1) % 3]) continue;
        float x[3], xw[3];
        line_plane_intersect(x, f.v[k], f.edge[k], w, a);
        v_sub(xw, x, w);
        if (!(v_len2(xw) < rim_radius * rim_radius)) continue;
        // The edge passes through the rim's disc.
        float m[3], nn[3], rim[3];
        v_cross(m, xw, a);
        if (v_dot(m, f.n) < 0.0f) v_set(m, -m[0], -m[1], -m[2]);
        v_cross(nn, f.edge[k], m);
        v_unit(normal, nn);
        nearest_point_on_rim(rim, w, a, rim_radius, x);
        v_add_scaled(point, rim, normal, -tyre_radius);
        return tyre_radius - touch_epsilon;
      }
    } else if (inside_vertical_prism(&f, w)) {
      // The whole rim is under the face.
      v_copy(point, low);
      v_set(normal, 0.0f, 1.0f, 0.0f);
      return 2.0f * rim_radius;
    }
  } else if (inside_all_edges(&f, low)) {
    // The lowest rim point hangs over the face: the tube reaches down to it.
    float foot[3], rim[3];
    v_add_scaled(foot, low, f.n, -v_dot(q, f.n) / v_len2(f.n));
    v_unit(normal, f.n);
    nearest_point_on_rim(rim, w, a, rim_radius, foot);
    v_add_scaled(point, rim, normal, -tyre_radius);
    return tyre_radius - v_dist(foot, low);
  }

  if (!allow_general) return 0.0f;
  return tyre_radius - rim_triangle_distance(point, normal, w, a, rim_radius, tyre_radius, tri, f.n);
}

float wheel_triangle_contact(float point[3], float normal[3], const float w[3], const float a[3],
                             float rim_radius, float tyre_radius, const float tri[9]) {
  return wheel_contact_cases(point, normal, w, a, rim_radius, tyre_radius, tri, 1);
}

float wheel_triangle_contact_2(float point[3], float normal[3], const float w[3], const float a[3],
                               float rim_radius, float tyre_radius, const float tri[9]) {
  return wheel_contact_cases(point, normal, w, a, rim_radius, tyre_radius, tri, 0);
}

// Contact along the direction c - q at distance l.
static float sphere_contact_from(float point[3], float normal[3], const float c[3], float r,
                                 const float q[3], const float fallback[3]) {
  float o[3];
  v_sub(o, c, q);
  float l = sqrtf(v_len2(o));
  if (l > 0.0f)
    v_set(normal, o[0] / l, o[1] / l, o[2] / l);
  else
    v_unit(normal, fallback);
  v_add_scaled(point, c, normal, -r);
  return r - l;
}

float body_triangle_contact(float point[3], float normal[3], const float c[3], float r,
                            const float tri[9]) {
  tri_frame f;
  tri_frame_build(&f, tri);

  if (!inside_all_edges(&f, c)) {
    // Beside the triangle: the first edge the centre projects onto (not the
    // nearest), else the nearest corner.
    for (int k = 0; k < 3; k++) {
      float ee = v_len2(f.edge[k]);
      if (!(ee > 0.0f)) continue;
      float o[3];
      v_sub(o, c, f.v[k]);
      float t = v_dot(o, f.edge[k]) / ee;
      if (t >= 0.0f && t <= 1.0f) {
        float q[3];
        v_add_scaled(q, f.v[k], f.edge[k], t);
        return sphere_contact_from(point, normal, c, r, q, f.n);
      }
    }
    int nearest = 0;
    float nearest_d2 = INFINITY;
    for (int k = 0; k < 3; k++) {
      float o[3];
      v_sub(o, c, f.v[k]);
      float d2 = v_len2(o);
      if (d2 < nearest_d2) {
        nearest_d2 = d2;
        nearest = k;
      }
    }
    return sphere_contact_from(point, normal, c, r, f.v[nearest], f.n);
  }

  float n_unit[3], o[3];
  v_unit(n_unit, f.n);
  v_sub(o, c, f.v[0]);
  float z = r - v_dot(o, n_unit);
  if (z > 2.0f * r && !inside_vertical_prism(&f, c)) return 0.0f;
  // Deep under the face the sphere still belongs above it: the same face
  // normal and deepest point as a shallow contact.
  v_copy(normal, n_unit);
  v_add_scaled(point, c, n_unit, -r);
  return z;
}
