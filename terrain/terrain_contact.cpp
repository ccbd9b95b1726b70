// Terrain contacts for dynamics bodies: walks the height-field triangles
// under a body, asks the triangle kernels how deep it sinks, and turns the
// contact kept into a soft contact joint.
#include "terrain/terrain_contact.h"

#include <math.h>
#include <string.h>

#include "terrain/dynamics_world.h"
#include "terrain/terrain_settings.h"
#include "terrain/tri_kernels.h"

static const float small_square = 0.0009765625f;  // 2^-10

static int finite3(const float v[3]) { return isfinite(v[0]) && isfinite(v[1]) && isfinite(v[2]); }
static int finite3d(const dReal* v) { return isfinite(v[0]) && isfinite(v[1]) && isfinite(v[2]); }

static void cross3(float o[3], const float a[3], const float b[3]) {
  float x = a[1] * b[2] - a[2] * b[1];
  float y = a[2] * b[0] - a[0] * b[2];
  float z = a[0] * b[1] - a[1] * b[0];
  o[0] = x;
  o[1] = y;
  o[2] = z;
}
static float dot3(const float a[3], const float b[3]) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void soft_contact_params(double kp, double kd, double h, double* erp, double* cfm) {
  *cfm = 1.0 / (h * kp + kd);
  *erp = h * kp * *cfm;
}

void tyre_spring_damper(float depth, float tyre_radius, double* kp, double* kd) {
  float c = depth / tyre_radius;
  if (!(c < 1.0f)) c = 1.0f;
  double c3 = (double)c * c * c;
  *kp = 1000.0 + 24000.0 * c3;
  *kd = 200.0 + 2300.0 * c3;
}

static int contact_is_sound(const dContact* c, dBodyID body) {
  if (!dynamics_world || !contact_group || !body) return 0;
  const dSurfaceParameters& s = c->surface;
  if (!finite3d(c->geom.pos) || !finite3d(c->geom.normal) || !isfinite(c->geom.depth) ||
      !isfinite(s.mu) || !isfinite(s.soft_erp) || !isfinite(s.soft_cfm))
    return 0;
  if ((s.mode & dContactMu2) && !isfinite(s.mu2)) return 0;
  if ((s.mode & dContactFDir1) && !finite3d(c->fdir1)) return 0;
  return 1;
}

dJointID add_contact_joint(const dContact* c, dBodyID body) {
  if (!contact_is_sound(c, body)) return nullptr;
  dJointID j = dJointCreateContact(dynamics_world, contact_group, c);
  dJointAttach(j, body, nullptr);
  return j;
}

// The same through the world's door, so it can be recorded on a worker
// thread; 1 when the contact was sound.
static int add_terrain_contact(const dContact* c, dBodyID body, dJointFeedback* feedback) {
  if (!contact_is_sound(c, body)) return 0;
  dynamics_add_contact(c, body, nullptr, feedback);
  return 1;
}

// The contact record handed to the library: zero everywhere but the fields
// the mode asks for.
static void fill_contact(dContact* c, int mode, float mu, double kp, double kd,
                         const float point[3], const float normal[3], float depth) {
  memset(c, 0, sizeof *c);
  c->surface.mode = mode;
  c->surface.mu = mu;
  soft_contact_params(kp, kd, tick_length, &c->surface.soft_erp, &c->surface.soft_cfm);
  for (int k = 0; k < 3; k++) {
    c->geom.pos[k] = point[k];
    c->geom.normal[k] = normal[k];
  }
  c->geom.depth = depth;
}

// Triangle half (0 or 1) of cell (i, k); outside the grid the vertices keep
// their own positions and take the border heights.
static void cell_triangle(const height_field* f, int i, int k, int half, float tri[9]) {
  static const int even[2][3][2] = {{{0, 0}, {0, 1}, {1, 1}}, {{1, 1}, {1, 0}, {0, 0}}};
  static const int odd[2][3][2] = {{{0, 0}, {0, 1}, {1, 0}}, {{1, 1}, {1, 0}, {0, 1}}};
  const int(*corners)[2] = ((i + k) & 1) ? odd[half] : even[half];
  for (int v = 0; v < 3; v++) {
    int ci = i + corners[v][0], ck = k + corners[v][1];
    tri[3 * v + 0] = (float)ci * f->spacing;
    tri[3 * v + 1] = terrain_vertex_height(f, ci, ck);
    tri[3 * v + 2] = (float)ck * f->spacing;
  }
}

// The cells under the square of half-width reach round (x, z). The range is
// held to the grid and the ring of cells just outside it, where the border
// heights continue: enough for a body straddling the border, and a huge or
// far-away reach cannot make the walk endless.
struct cell_range {
  int first_column, last_column, first_row, last_row;
};

static int cell_range_for(const height_field* f, float x, float z, float reach, cell_range* r) {
  if (!f->heights || !(f->spacing > 0.0f) || f->size < 2) return 0;
  if (!isfinite(x) || !isfinite(z) || !isfinite(reach) || !(reach >= 0.0f)) return 0;
  const double s = f->spacing;
  const double low = -1.0, high = f->size - 1;
  double c0 = floor((x - (double)reach) / s), c1 = ceil((x + (double)reach) / s) - 1.0;
  double r0 = floor((z - (double)reach) / s), r1 = ceil((z + (double)reach) / s) - 1.0;
  c0 = fmax(c0, low);
  r0 = fmax(r0, low);
  c1 = fmin(c1, high);
  r1 = fmin(r1, high);
  if (c1 < c0 || r1 < r0) return 0;
  r->first_column = (int)c0;
  r->last_column = (int)c1;
  r->first_row = (int)r0;
  r->last_row = (int)r1;
  return 1;
}

// A normal pointing into the ground loses its downward part, or becomes
// straight up when nothing else is left; then it is made unit.
static void clean_normal(float n[3]) {
  if (n[1] < 0.0f) {
    if (n[0] * n[0] + n[2] * n[2] >= small_square) {
      n[1] = 0.0f;
    } else {
      n[0] = 0.0f;
      n[1] = 1.0f;
      n[2] = 0.0f;
    }
  }
  float l = sqrtf(dot3(n, n));
  if (l > 0.0f && isfinite(l)) {
    n[0] /= l;
    n[1] /= l;
    n[2] /= l;
  } else {
    n[0] = 0.0f;
    n[1] = 1.0f;
    n[2] = 0.0f;
  }
}

// Where the wheel is, in world coordinates: centre and axle.
static int wheel_pose(const wheel_contact* w, float centre[3], float axle[3]) {
  if (!w->body) return 0;
  const dReal* p = dBodyGetPosition(w->body);
  dVector3 a;
  dBodyVectorToWorld(w->body, w->axle[0], w->axle[1], w->axle[2], a);
  for (int k = 0; k < 3; k++) {
    centre[k] = (float)p[k];
    axle[k] = (float)a[k];
  }
  return finite3(centre) && finite3(axle) && isfinite(w->rim_radius) &&
         isfinite(w->tyre_radius);
}

// Distance from p to the nearest point of a triangle (corner, edge or face).
static double point_triangle_distance(const float p[3], const float tri[9]) {
  double a[3], ab[3], ac[3], ap[3], bp[3], cp[3];
  for (int k = 0; k < 3; k++) {
    a[k] = tri[k];
    ab[k] = (double)tri[3 + k] - tri[k];
    ac[k] = (double)tri[6 + k] - tri[k];
    ap[k] = (double)p[k] - tri[k];
    bp[k] = (double)p[k] - tri[3 + k];
    cp[k] = (double)p[k] - tri[6 + k];
  }
  auto dot = [](const double* x, const double* y) { return x[0] * y[0] + x[1] * y[1] + x[2] * y[2]; };
  double q[3];
  auto at = [&](double u, double v) {
    for (int k = 0; k < 3; k++) q[k] = a[k] + ab[k] * u + ac[k] * v;
  };
  const double d1 = dot(ab, ap), d2 = dot(ac, ap);
  const double d3 = dot(ab, bp), d4 = dot(ac, bp);
  const double d5 = dot(ab, cp), d6 = dot(ac, cp);
  const double vc = d1 * d4 - d3 * d2, vb = d5 * d2 - d1 * d6, va = d3 * d6 - d5 * d4;
  if (d1 <= 0 && d2 <= 0)
    at(0, 0);
  else if (d3 >= 0 && d4 <= d3)
    at(1, 0);
  else if (d6 >= 0 && d5 <= d6)
    at(0, 1);
  else if (vc <= 0 && d1 >= 0 && d3 <= 0)
    at(d1 / (d1 - d3), 0);
  else if (vb <= 0 && d2 >= 0 && d6 <= 0)
    at(0, d2 / (d2 - d6));
  else if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) {
    double t = (d4 - d3) / ((d4 - d3) + (d5 - d6));
    at(1 - t, t);
  } else {
    double sum = va + vb + vc;
    if (!(sum != 0)) return 0;  // a degenerate triangle: never skip it
    at(vb / sum, vc / sum);
  }
  double dx = p[0] - q[0], dy = p[1] - q[1], dz = p[2] - q[2];
  return sqrt(dx * dx + dy * dy + dz * dz);
}

// Whether a triangle certainly cannot give the wheel a contact deeper than
// best. With the wheel centre above the triangle's plane, no rim point comes
// nearer the triangle than the centre's distance less the rim radius, so
// no case of the wheel kernel can report more than rim + tyre - that
// distance. Skipping such triangles saves the rim-to-edge quartic for most
// of the range and never changes the contact kept: the margin covers the
// rounding of single-precision world coordinates.
static int wheel_cannot_beat(const float tri[9], const float w[3], float reach, float best) {
  const double margin = 1.0 / 64;
  double e1[3], e2[3], o[3];
  for (int k = 0; k < 3; k++) {
    e1[k] = (double)tri[3 + k] - tri[k];
    e2[k] = (double)tri[6 + k] - tri[k];
    o[k] = (double)w[k] - tri[k];
  }
  double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                 e1[0] * e2[1] - e1[1] * e2[0]};
  if (!(o[0] * n[0] + o[1] * n[1] + o[2] * n[2] > 0)) return 0;
  return reach - point_triangle_distance(w, tri) + margin <= best;
}

// The deepest contact of `kernel` (tri, point, normal -> depth) over the
// triangles of the cells in r; `skip` (tri, best so far) may pass over
// triangles that cannot beat the best. 1 and the contact, or 0.
template <typename Kernel, typename Skip>
static int deepest_triangle_contact(const height_field* field, const cell_range& r, Kernel kernel, Skip skip,
                                    float point[3], float normal[3], float* depth) {
  float best = 0.0f, best_point[3] = {0, 0, 0}, best_normal[3] = {0, 1, 0};
  for (int k = r.first_row; k <= r.last_row; k++)
    for (int i = r.first_column; i <= r.last_column; i++)
      for (int half = 0; half < 2; half++) {
        float tri[9], p[3], n[3];
        cell_triangle(field, i, k, half, tri);
        if (skip(tri, best)) continue;
        float d = kernel(tri, p, n);
        if (d > best) {
          best = d;
          memcpy(best_point, p, sizeof p);
          memcpy(best_normal, n, sizeof n);
        }
      }
  if (!(best > 0.0f) || !isfinite(best) || !finite3(best_point)) return 0;
  clean_normal(best_normal);
  memcpy(point, best_point, sizeof best_point);
  memcpy(normal, best_normal, sizeof best_normal);
  *depth = best;
  return 1;
}

int tyre_contact_geometry(const height_field* field, const wheel_contact* wheel, float point[3],
                          float normal[3], float* depth) {
  float w[3], a[3];
  if (!wheel_pose(wheel, w, a)) return 0;
  const float rr = wheel->rim_radius, rt = wheel->tyre_radius;
  cell_range r;
  if (!cell_range_for(field, w[0], w[2], rr + rt, &r)) return 0;
  return deepest_triangle_contact(
      field, r, [&](const float* tri, float* p, float* n) { return wheel_triangle_contact(p, n, w, a, rr, rt, tri); },
      [&](const float* tri, float best) { return wheel_cannot_beat(tri, w, rr + rt, best) != 0; }, point, normal,
      depth);
}

// Index `step` of the middle-out order over count items: m, m + 1, m - 1,
// m + 2, m - 2, ... with m = (count - 1) / 2. With m rounded down the upper
// side is never shorter, so the order stays inside 0..count - 1.
static int middle_out(int count, int step) {
  const int m = (count - 1) / 2;
  const int offset = (step + 1) / 2;
  return (step & 1) ? m + offset : m - offset;
}

int collide_wheel_terrain(const height_field* field, const wheel_contact* wheel, float point[3],
                          float normal[3], float* depth) {
  float w[3], a[3];
  if (!wheel_pose(wheel, w, a)) return 0;
  const float rr = wheel->rim_radius, rt = wheel->tyre_radius;
  cell_range r;
  if (!cell_range_for(field, w[0], w[2], rr + rt, &r)) return 0;
  const int rows = r.last_row - r.first_row + 1, columns = r.last_column - r.first_column + 1;
  for (int rs = 0; rs < rows; rs++) {
    const int k = r.first_row + middle_out(rows, rs);
    for (int cs = 0; cs < columns; cs++) {
      const int i = r.first_column + middle_out(columns, cs);
      for (int half = 0; half < 2; half++) {
        float tri[9], p[3], n[3];
        cell_triangle(field, i, k, half, tri);
        float d = wheel_triangle_contact_2(p, n, w, a, rr, rt, tri);
        if (d > 0.0f && isfinite(d) && finite3(p)) {
          clean_normal(n);
          memcpy(point, p, sizeof p);
          memcpy(normal, n, sizeof n);
          *depth = d;
          return 1;
        }
      }
    }
  }
  return 0;
}

int collide_sphere_terrain(const height_field* field, const float centre[3], float radius,
                           float point[3], float normal[3], float* depth) {
  if (!finite3(centre) || !isfinite(radius)) return 0;
  cell_range r;
  if (!cell_range_for(field, centre[0], centre[2], radius, &r)) return 0;
  return deepest_triangle_contact(
      field, r, [&](const float* tri, float* p, float* n) { return body_triangle_contact(p, n, centre, radius, tri); },
      [](const float*, float) { return false; }, point, normal, depth);
}

// The slip measure of slip function 2: the speed of the contact point as if
// the wheel did not spin about its axle, along the direction the point
// actually moves.
static float axle_free_slip(dBodyID body, const float point[3], const float pv[3], float speed) {
  if (!(speed >= 0.0625f)) return speed;
  const dReal* rot = dBodyGetRotation(body);
  const dReal* pos = dBodyGetPosition(body);
  const dReal* lin = dBodyGetLinearVel(body);
  const dReal* ang = dBodyGetAngularVel(body);
  double x[3] = {rot[0], rot[4], rot[8]};  // the body's x axis in world
  double along = ang[0] * x[0] + ang[1] * x[1] + ang[2] * x[2];
  double w[3] = {ang[0] - along * x[0], ang[1] - along * x[1], ang[2] - along * x[2]};
  double r[3] = {point[0] - pos[0], point[1] - pos[1], point[2] - pos[2]};
  double v[3] = {lin[0] + w[1] * r[2] - w[2] * r[1], lin[1] + w[2] * r[0] - w[0] * r[2],
                 lin[2] + w[0] * r[1] - w[1] * r[0]};
  float slip = (float)((v[0] * pv[0] + v[1] * pv[1] + v[2] * pv[2]) / speed);
  if (slip > speed) slip = speed;
  if (slip < -speed) slip = -speed;
  return slip;
}

int tyre_contact_prepare(const height_field* field, wheel_contact* wheel, float friction_scale,
                         dContact* contact, float roll_force[3]) {
  float point[3], normal[3], depth;
  if (!wheel->body || !finite3d(dBodyGetLinearVel(wheel->body)) ||
      !finite3d(dBodyGetAngularVel(wheel->body)) ||
      !tyre_contact_geometry(field, wheel, point, normal, &depth)) {
    wheel->depth = 0.0f;
    return 0;
  }
  dBodyID body = wheel->body;
  dVector3 pv_d;
  dBodyGetPointVel(body, point[0], point[1], point[2], pv_d);
  float pv[3] = {(float)pv_d[0], (float)pv_d[1], (float)pv_d[2]};
  memcpy(wheel->point, point, sizeof point);
  memcpy(wheel->point_velocity, pv, sizeof pv);
  memcpy(wheel->normal, normal, sizeof normal);
  wheel->depth = depth;

  const int tile = tile_at(field, point[0], point[2]);
  const float speed = sqrtf(dot3(pv, pv));
  float slip = speed;  // slip function 0 reads the curve in squared speed itself
  if (field->slip_function[tile] == 2) slip = axle_free_slip(body, point, pv, speed);
  const float mu = tile_friction(field, tile, slip) * friction_scale;

  double kp, kd;
  tyre_spring_damper(depth, wheel->tyre_radius, &kp, &kd);
  fill_contact(contact, contact_mode_soft, mu, kp, kd, point, normal, depth);

  float f[3];
  cross3(f, normal, pv);
  if (!(dot3(f, f) >= small_square)) {
    dVector3 a;
    dBodyVectorToWorld(body, wheel->axle[0], wheel->axle[1], wheel->axle[2], a);
    float axle[3] = {(float)a[0], (float)a[1], (float)a[2]};
    cross3(f, normal, axle);
  }
  float f2 = dot3(f, f);
  if (f2 > 0.0f && isfinite(f2)) {
    float l = sqrtf(f2);
    for (int k = 0; k < 3; k++) contact->fdir1[k] = f[k] / l;
    contact->surface.mode |= dContactFDir1;
  }

  // Rolling resistance: against the hub's motion along the ground, full
  // strength from 1 ft/s, in proportion below.
  const dReal* lin = dBodyGetLinearVel(body);
  float u[3] = {(float)lin[0], (float)lin[1], (float)lin[2]};
  float un = dot3(u, normal);
  for (int k = 0; k < 3; k++) u[k] -= un * normal[k];
  const float e = sqrtf(dot3(u, u));
  float ra, rb;
  tile_roll_resist(field, tile, e, &ra, &rb);
  float c = depth / wheel->tyre_radius;
  if (!(c < 1.0f)) c = 1.0f;
  const float resist = ra + (rb - ra) * c;
  if (e > 1.0f)
    for (int k = 0; k < 3; k++) u[k] /= e;
  for (int k = 0; k < 3; k++) roll_force[k] = -resist * u[k];
  return 1;
}

int collide_tyre_terrain(const height_field* field, wheel_contact* wheel, float friction_scale) {
  dContact contact;
  float roll_force[3];
  if (!tyre_contact_prepare(field, wheel, friction_scale, &contact, roll_force)) return 0;
  // A force that is not finite leaves the joint in place, without feedback.
  const int sound_force = finite3(roll_force);
  if (!add_terrain_contact(&contact, wheel->body, sound_force ? &wheel->feedback : nullptr) || !sound_force) {
    wheel->depth = 0.0f;
    return 0;
  }
  dynamics_add_force(wheel->body, roll_force[0], roll_force[1], roll_force[2]);
  return 1;
}

int collide_shape_terrain(shape* instance, dBodyID body, const float position[3],
                          const float rotation[9], const height_field* field) {
  if (!instance || !instance->source || !instance->spheres) return 0;
  const shape* source = instance->source;
  int touched = 0;
  for (int s = 0; s < instance->count && s < source->count; s++) {
    const float* c = source->spheres[s].centre;
    shape_sphere* sphere = &instance->spheres[s];
    for (int k = 0; k < 3; k++)
      sphere->centre[k] = rotation[3 * k] * c[0] + rotation[3 * k + 1] * c[1] +
                          rotation[3 * k + 2] * c[2] + position[k];
    float point[3], normal[3], depth;
    if (!collide_sphere_terrain(field, sphere->centre, sphere->radius, point, normal, &depth))
      continue;
    touched = 1;
    if (!body) continue;
    dContact contact;
    fill_contact(&contact, contact_mode_soft, sphere->friction, sphere_contact_spring,
                 sphere_contact_damper, point, normal, depth);
    add_terrain_contact(&contact, body, nullptr);
  }
  return touched;
}

int add_sphere_contact(const height_field* field, const float centre[3], float radius, float mu,
                       float mu2, const float direction[3], dBodyID body) {
  float point[3], normal[3], depth;
  if (!collide_sphere_terrain(field, centre, radius, point, normal, &depth)) return 0;
  if (!body) return 1;
  dContact contact;
  fill_contact(&contact, contact_mode_soft, mu, sphere_contact_spring, sphere_contact_damper,
               point, normal, depth);
  float f[3];
  cross3(f, normal, direction);
  float f2 = dot3(f, f);
  if (f2 > 0.0f && isfinite(f2)) {
    float l = sqrtf(f2);
    for (int k = 0; k < 3; k++) contact.fdir1[k] = f[k] / l;
    contact.surface.mu2 = mu2;
    contact.surface.mode = contact_mode_soft_fdir_mu2;
  }
  add_terrain_contact(&contact, body, nullptr);
  return 1;
}
