// The grading machine: its bodies and motors, the wheel contacts and the
// blade's cut, push, smoothing and tile painting.
#include "terrain/grading_machine.h"

#include <cmath>

#include "core/memory.h"
#include "platform/log.h"
#include "terrain/dynamics_world.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/terrain_contact.h"
#include "terrain/terrain_edit.h"
#include "terrain/terrain_settings.h"

namespace {

int clamp_int(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// Start position of body k.
void start_position(int k, double out[3]) {
  if (k == grader_chassis) {
    out[0] = 0.0, out[1] = grader_chassis_height, out[2] = 0.0;
    return;
  }
  const int axle = k / 2;
  out[0] = (k % 2 ? 0.5 : -0.5) * grader_track_width;
  out[1] = grader_wheel_radius;
  out[2] = (axle / 3.0 - 0.5) * grader_wheelbase;
}

// Left wheels (even) get +steer, right wheels -steer.
void set_motors(grading_machine* m, float speed) {
  for (int k = 0; k < grader_wheels; k++) {
    dJointSetHingeParam(m->hinges[k], dParamVel, k % 2 ? speed - m->steer : speed + m->steer);
    dJointSetHingeParam(m->hinges[k], dParamFMax, grader_motor_force);
  }
}

void widen(grader_rect* r, int x0, int z0, int x1, int z1) {
  if (!r) return;
  if (r->x0 > r->x1) {
    *r = {x0, z0, x1, z1};
    return;
  }
  if (x0 < r->x0) r->x0 = x0;
  if (z0 < r->z0) r->z0 = z0;
  if (x1 > r->x1) r->x1 = x1;
  if (z1 > r->z1) r->z1 = z1;
}

float height_at(const height_field* f, int column, int row) { return f->heights[column + (int64_t)f->size * row]; }

int finite_body(dBodyID b) {
  const dReal* p = dBodyGetPosition(b);
  const dReal* q = dBodyGetRotation(b);
  for (int k = 0; k < 3; k++)
    if (!std::isfinite(p[k])) return 0;
  for (int k = 0; k < 12; k++)
    if (!std::isfinite(q[k])) return 0;
  return 1;
}

// The corner of a texel whose bit is `bit` shows the second tile of the
// code when the bit is set, else the first.
int shown_tile(int32_t code, int bit) { return (code & bit) ? (code >> 8) & 0xFF : (code >> 16) & 0xFF; }

// The matcher's code for a transition name whose second tile was not found.
constexpr int32_t unresolved_transition = ~0xFF;

}  // namespace

grading_machine* grader_create() {
  if (!dynamics_world) {
    log_printf("No dynamics world for a grading machine\n");
    return nullptr;
  }
  grading_machine* m = static_cast<grading_machine*>(check_calloc(1, sizeof(grading_machine)));
  if (!m) {
    log_printf("No memory for a grading machine\n");
    return nullptr;
  }
  dMass mass;
  m->bodies[grader_chassis] = dBodyCreate(dynamics_world);
  dMassSetBox(&mass, grader_chassis_density, 10.0, 5.0, 10.0);
  dBodySetMass(m->bodies[grader_chassis], &mass);
  for (int k = 0; k < grader_wheels; k++) {
    m->bodies[k] = dBodyCreate(dynamics_world);
    dMassSetSphereTotal(&mass, grader_wheel_mass, grader_wheel_radius);
    dBodySetMass(m->bodies[k], &mass);
  }
  grader_reset(m);
  for (int k = 0; k < grader_wheels; k++) {
    double p[3];
    start_position(k, p);
    m->hinges[k] = dJointCreateHinge(dynamics_world, nullptr);
    // Wheel first: the motor's velocity is the wheel's spin about +x.
    dJointAttach(m->hinges[k], m->bodies[k], m->bodies[grader_chassis]);
    dJointSetHingeAnchor(m->hinges[k], p[0], p[1], p[2]);
    dJointSetHingeAxis(m->hinges[k], 1.0, 0.0, 0.0);
  }
  set_motors(m, 0.0f);
  return m;
}

void grader_destroy(grading_machine* m) {
  if (!m) return;
  for (dJointID j : m->hinges)
    if (j) dJointDestroy(j);
  for (dBodyID b : m->bodies)
    if (b) dBodyDestroy(b);
  check_free(m);
}

void grader_reset(grading_machine* m) {
  for (int k = 0; k <= grader_chassis; k++) {
    double p[3];
    start_position(k, p);
    dMatrix3 identity;
    dRSetIdentity(identity);
    dBodySetPosition(m->bodies[k], p[0], p[1], p[2]);
    dBodySetRotation(m->bodies[k], identity);
    dBodySetLinearVel(m->bodies[k], 0.0, 0.0, 0.0);
    dBodySetAngularVel(m->bodies[k], 0.0, 0.0, 0.0);
  }
  m->blade_lever = 0.5f;
  m->blade_target = 0.5f;
  m->steer = 0.0f;
  m->blade_rate = 0.0f;
  m->tool_mode = 0;
}

void grader_set_steer(grading_machine* m, float steer) { m->steer = steer; }
void grader_set_blade_target(grading_machine* m, float target) { m->blade_target = target; }
void grader_set_blade_rate(grading_machine* m, float rate) { m->blade_rate = rate; }
void grader_set_tool_mode(grading_machine* m, int mode) { m->tool_mode = mode; }
void grader_set_speed(grading_machine* m, float speed) { set_motors(m, speed); }
dBodyID grader_get_body(const grading_machine* m) { return m->bodies[grader_chassis]; }

void grader_move(grading_machine* m, float dx, float dy, float dz) {
  for (dBodyID b : m->bodies) {
    const dReal* p = dBodyGetPosition(b);
    dBodySetPosition(b, p[0] + dx, p[1] + dy, p[2] + dz);
  }
}

void grader_update_lever(grading_machine* m) {
  const dReal* v = dBodyGetLinearVel(m->bodies[grader_chassis]);
  const float speed = (float)std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  const float g = speed * (float)tick_length * m->blade_target / grader_lever_travel;
  const float moved = m->blade_lever + g / 2.0f;
  if (g >= 0.0f)
    m->blade_lever = std::fmin(m->blade_target, moved);
  else
    m->blade_lever = std::fmax(m->blade_target, moved);
  if (m->blade_rate != 0.0f) {
    const float lever = m->blade_lever + (float)tick_length * m->blade_rate;
    m->blade_lever = lever < -1.0f ? -1.0f : lever > 1.0f ? 1.0f : lever;
  }
}

// The blade line's centre (world) and the horizontal heading; 0 when the
// chassis points straight up or down.
static int blade_frame(const grading_machine* m, double centre[3], double heading[2]) {
  const dReal* p = dBodyGetPosition(m->bodies[grader_chassis]);
  const dReal* r = dBodyGetRotation(m->bodies[grader_chassis]);
  const double local[3] = {0.0, -grader_chassis_height + m->blade_lever * grader_blade_travel, grader_blade_reach};
  for (int i = 0; i < 3; i++) centre[i] = p[i] + r[4 * i] * local[0] + r[4 * i + 1] * local[1] + r[4 * i + 2] * local[2];
  const double hx = r[2], hz = r[10];
  const double length = std::sqrt(hx * hx + hz * hz);
  if (!(length > 1e-6)) return 0;
  heading[0] = hx / length;
  heading[1] = hz / length;
  return 1;
}

void grader_blade(const grading_machine* m, float left[3], float right[3]) {
  double c[3], h[2] = {0.0, 1.0};
  blade_frame(m, c, h);
  // Across the heading, towards the machine's left (-x at rest).
  const double ax = -h[1], az = h[0];
  const double half = grader_blade_width / 2.0;
  left[0] = (float)(c[0] + ax * half), left[1] = (float)c[1], left[2] = (float)(c[2] + az * half);
  right[0] = (float)(c[0] - ax * half), right[1] = (float)c[1], right[2] = (float)(c[2] - az * half);
}

int grader_set_height(height_field* field, int column, int row, float height, grader_rect* touched) {
  if (!terrain_set_height(field, column, row, height)) return 0;
  widen(touched, column - 1, row - 1, column, row);
  return 1;
}

float grader_push(height_field* field, int column, int row, float dx, float dz, float amount, int first_step,
                  grader_rect* touched) {
  const int size = field->size;
  if (!field->heights || column < 0 || row < 0 || column >= size || row >= size) return amount;
  if (!(amount > 0.0f) || !std::isfinite(amount)) return 0.0f;
  const int sx = dx > 0.0f ? 1 : dx < 0.0f ? -1 : 0;
  const int sz = dz > 0.0f ? 1 : dz < 0.0f ? -1 : 0;
  // The lower of the forward neighbours inside the grid (the row neighbour
  // on a tie); 0 when there is none.
  auto next = [&](int c, int r, int* nc, int* nr) {
    const int by_column = sx && c + sx >= 0 && c + sx < size;
    const int by_row = sz && r + sz >= 0 && r + sz < size;
    if (!by_column && !by_row) return 0;
    if (by_column && (!by_row || height_at(field, c + sx, r) < height_at(field, c, r + sz))) {
      *nc = c + sx, *nr = r;
    } else {
      *nc = c, *nr = r + sz;
    }
    return 1;
  };
  if (!sx && !sz)
    return grader_set_height(field, column, row, height_at(field, column, row) + amount, touched) ? 0.0f : amount;
  int c = column, r = row;
  if (first_step && !next(c, r, &c, &r)) return amount;
  for (;;) {
    int nc, nr;
    // At the grid's edge the walk ends and the rest is lost over it.
    if (!next(c, r, &nc, &nr)) return amount;
    const float limit = height_at(field, nc, nr) + field->spacing / 2.0f;
    const float h = height_at(field, c, r);
    if (h + amount <= limit) return grader_set_height(field, c, r, h + amount, touched) ? 0.0f : amount;
    if (h < limit) {
      if (!grader_set_height(field, c, r, limit, touched)) return amount;
      amount -= limit - h;
    }
    c = nc, r = nr;
  }
}

int grader_paint_tile(height_field* field, int column, int row, int tile, grader_rect* touched) {
  const int q = (field->size - 1) / 2;
  if (!field->tilemap || field->edit_lock || q < 1 || tile < 0 || tile >= field->tile_count) return 0;
  column = clamp_int(column, 0, q - 1);
  row = clamp_int(row, 0, q - 1);
  field->tilemap[column + (int64_t)q * row] = (uint8_t)tile;
  widen(touched, 2 * column, 2 * row, 2 * column + 1, 2 * row + 1);
  static const struct {
    int dc, dr, mask;
  } neighbours[8] = {{-1, -1, 1}, {0, -1, 3}, {1, -1, 2}, {-1, 0, 5}, {1, 0, 10}, {-1, 1, 4}, {0, 1, 12}, {1, 1, 8}};
  for (const auto& n : neighbours) {
    const int c = column + n.dc, r = row + n.dr;
    if (c < 0 || r < 0 || c >= q || r >= q) continue;
    uint8_t* texel = &field->tilemap[c + (int64_t)q * r];
    const int32_t present = field->transition_codes[*texel];
    // A neighbour whose own tiles are unknown is left as it is.
    if (present == unresolved_transition) continue;
    for (int t = 0; t < field->tile_count; t++) {
      const int32_t code = field->transition_codes[t];
      if (code == unresolved_transition) continue;
      int fits = 1;
      for (int bit = 1; bit <= 8 && fits; bit <<= 1)
        fits = shown_tile(code, bit) == ((n.mask & bit) ? tile : shown_tile(present, bit));
      if (!fits) continue;
      if (*texel != t) {
        *texel = (uint8_t)t;
        widen(touched, 2 * c, 2 * r, 2 * c + 1, 2 * r + 1);
      }
      break;
    }
  }
  return 1;
}

// The blade's work on one vertex; 1 when it changed anything.
static int shape_vertex(grading_machine* m, height_field* field, int i, int j, double along, double blade_y,
                        const double heading[2], grader_rect* touched) {
  const float h = height_at(field, i, j);
  switch (m->tool_mode) {
    case 0:
    case 1: {
      if (std::fabs(along) > grader_blade_round) return 0;
      const double r = grader_blade_round;
      const float limit = (float)(blade_y + r - std::sqrt(r * r - along * along));
      if (!(h > limit) || !grader_set_height(field, i, j, limit, touched)) return 0;
      grader_paint_tile(field, i / 2, j / 2, 0, touched);
      if (m->tool_mode == 0)
        grader_push(field, i, j, (float)-heading[0], (float)-heading[1], h - limit, 1, touched);
      return 1;
    }
    case 2: {
      if (std::fabs(along) > grader_blade_line_reach || !(h > blade_y)) return 0;
      if (!grader_set_height(field, i, j, (float)blade_y, touched)) return 0;
      grader_paint_tile(field, i / 2, j / 2, 0, touched);
      grader_push(field, i, j, (float)heading[0], (float)heading[1], h - (float)blade_y, 1, touched);
      return 1;
    }
    case 3: {
      if (std::fabs(along) > grader_blade_line_reach) return 0;
      const int last = field->size - 1;
      double sum = 0.0;
      for (int b = j - grader_smooth_radius; b <= j + grader_smooth_radius; b++)
        for (int a = i - grader_smooth_radius; a <= i + grader_smooth_radius; a++)
          sum += height_at(field, clamp_int(a, 0, last), clamp_int(b, 0, last));
      const int side = 2 * grader_smooth_radius + 1;
      const float average = (float)(sum / (side * side));
      return average != h && grader_set_height(field, i, j, average, touched);
    }
  }
  return 0;
}

int grader_step(grading_machine* m, height_field* field, grader_rect* touched) {
  for (int k = 0; k < grader_wheels; k++) {
    if (!finite_body(m->bodies[k])) continue;
    const dReal* p = dBodyGetPosition(m->bodies[k]);
    const dReal* r = dBodyGetRotation(m->bodies[k]);
    const float centre[3] = {(float)p[0], (float)p[1], (float)p[2]};
    const float axle[3] = {(float)r[0], (float)r[4], (float)r[8]};
    add_sphere_contact(field, centre, grader_wheel_radius, grader_grip, grader_side_grip, axle, m->bodies[k]);
  }

  grader_rect rect = {1, 1, 0, 0};
  if (touched) *touched = rect;
  if (!field->heights || !finite_body(m->bodies[grader_chassis])) return 0;
  double centre[3], heading[2];
  if (!blade_frame(m, centre, heading)) return 0;
  const double across[2] = {-heading[1], heading[0]};
  const double half = grader_blade_width / 2.0;
  const double depth = grader_blade_round > grader_blade_line_reach ? grader_blade_round : grader_blade_line_reach;
  // The vertices round the blade's footprint.
  const double ex = std::fabs(across[0]) * half + std::fabs(heading[0]) * depth;
  const double ez = std::fabs(across[1]) * half + std::fabs(heading[1]) * depth;
  const double s = field->spacing;
  const int last = field->size - 1;
  const double lo_x = (centre[0] - ex) / s, hi_x = (centre[0] + ex) / s;
  const double lo_z = (centre[2] - ez) / s, hi_z = (centre[2] + ez) / s;
  if (hi_x < 0 || hi_z < 0 || lo_x > last || lo_z > last) return 0;
  const int i0 = clamp_int((int)std::ceil(lo_x), 0, last), i1 = clamp_int((int)std::floor(hi_x), 0, last);
  const int j0 = clamp_int((int)std::ceil(lo_z), 0, last), j1 = clamp_int((int)std::floor(hi_z), 0, last);
  int changed = 0;
  for (int j = j0; j <= j1; j++)
    for (int i = i0; i <= i1; i++) {
      const double px = i * s - centre[0], pz = j * s - centre[2];
      const double along = px * heading[0] + pz * heading[1];
      const double side = px * across[0] + pz * across[1];
      if (std::fabs(side) > half) continue;
      changed |= shape_vertex(m, field, i, j, along, centre[1], heading, &rect);
    }
  if (!changed) return 0;
  rect.x0 = clamp_int(rect.x0, 0, last), rect.z0 = clamp_int(rect.z0, 0, last);
  rect.x1 = clamp_int(rect.x1, 0, last), rect.z1 = clamp_int(rect.z1, 0, last);
  // The composed ground textures show the new tiles and shading; in the
  // driver's modes the low-detail textures hold shading too.
  ground_invalidate_rect(field, rect.x0, rect.z0, rect.x1, rect.z1);
  ground_mark_dirty_clamped(field, rect.x0, rect.z0, rect.x1, rect.z1);
  if (touched) *touched = rect;
  return 1;
}
