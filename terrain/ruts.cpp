// The rut producer: wheel samples, points, strokes and their messages.
#include "terrain/ruts.h"

#include <cmath>
#include <cstdio>

#include "terrain/erode_queue.h"
#include "terrain/height_field.h"
#include "terrain/terrain_contact.h"
#include "terrain/tiles.h"

void (*net_send_terrain_edit)(const uint8_t* bytes, int32_t length) = erode_queue_add_stroke;

tyre_debug_values tyre_debug;

enum {
  rut_point_samples = 16,       // a point closes after this many samples
  rut_stroke_idle_ticks = 64,   // a stroke with no new point for longer is sent
};
constexpr float rut_stroke_max_span = 64.0f;

static float clamp_grid(float f) { return !(f > -1.0e9f) ? (f == f ? -1.0e9f : 0.0f) : f > 1.0e9f ? 1.0e9f : f; }

void terrain_triangle_normal(const height_field* field, float x, float z, float out[3]) {
  const float fx = clamp_grid(x / field->spacing);
  const float fz = clamp_grid(z / field->spacing);
  const int i = (int)std::floor(fx);
  const int j = (int)std::floor(fz);
  const float u = fx - (float)i;
  const float v = fz - (float)j;
  // The right-angle corner first, then the other two, as offsets: even
  // cells below and above their diagonal, odd cells below and above theirs.
  static const int corners[4][3][2] = {
      {{1, 0}, {0, 0}, {1, 1}},
      {{0, 1}, {0, 0}, {1, 1}},
      {{0, 0}, {1, 0}, {0, 1}},
      {{1, 1}, {0, 1}, {1, 0}},
  };
  const int which = ((i + j) & 1) == 0 ? (v <= u ? 0 : 1) : (u + v <= 1.0f ? 2 : 3);
  const int(*corner)[2] = corners[which];
  float p[3][3];
  for (int k = 0; k < 3; k++) {
    const int c = i + corner[k][0], r = j + corner[k][1];
    p[k][0] = (float)c * field->spacing;
    p[k][1] = terrain_vertex_height(field, c, r);
    p[k][2] = (float)r * field->spacing;
  }
  const float a[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
  const float b[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
  if (out[1] < 0.0f)
    for (int c = 0; c < 3; c++) out[c] = -out[c];
}

int32_t rut_stroke_encode(const rut_stroke* stroke, uint8_t out[rut_message_max_bytes]) {
  return rut_message_encode(stroke->points, stroke->point_count, stroke->delta_min, stroke->delta_max,
                            track_field.extent, out);
}

void rut_stroke_reset(rut_stroke* stroke) {
  for (int axis = 0; axis < 2; axis++) {
    stroke->delta_min[axis] = 0.0f;
    stroke->delta_max[axis] = 0.0f;
    stroke->last_sample[axis] = 0.0f;
  }
  stroke->last_point_tick = 0;
  stroke->point_count = 0;
  for (int k = 0; k < 4; k++) stroke->sample_sum[k] = 0.0f;
  stroke->travelled = 0.0f;
  stroke->sample_count = 0;
}

static void rut_stroke_send(const rut_stroke* stroke) {
  uint8_t message[rut_message_max_bytes];
  const int32_t length = rut_stroke_encode(stroke, message);
  if (length > 0 && net_send_terrain_edit) net_send_terrain_edit(message, length);
}

void rut_stroke_add_point(rut_stroke* stroke) {
  if (stroke->sample_count <= 0) return;
  int32_t c = stroke->point_count;
  if (c >= rut_stroke_points) {
    // The step bounds stay; the second point of the new stroke sets them.
    rut_stroke_send(stroke);
    stroke->point_count = 0;
    c = 0;
  }
  rut_point* point = &stroke->points[c];
  const float n = (float)stroke->sample_count;
  point->x = stroke->sample_sum[0] / n;
  point->z = stroke->sample_sum[1] / n;
  point->a = stroke->sample_sum[2] / n;
  point->b = stroke->sample_sum[3] / n;
  point->k = stroke->sample_count;
  if (c == 0) {
    stroke->point_count = 1;
  } else {
    const float step[2] = {point->x - stroke->points[c - 1].x, point->z - stroke->points[c - 1].z};
    if (c == 1) {
      for (int axis = 0; axis < 2; axis++) stroke->delta_min[axis] = stroke->delta_max[axis] = step[axis];
      stroke->point_count = 2;
    } else {
      float low[2], high[2];
      for (int axis = 0; axis < 2; axis++) {
        low[axis] = std::fmin(stroke->delta_min[axis], step[axis]);
        high[axis] = std::fmax(stroke->delta_max[axis], step[axis]);
      }
      const float span = std::fmax(high[0] - low[0], high[1] - low[1]);
      if (span > rut_stroke_max_span) {
        // Too wide a spread of steps for the byte codes: send what there
        // is and open the next stroke with the new point.
        rut_stroke_send(stroke);
        const rut_point kept = *point;
        rut_stroke_reset(stroke);
        stroke->points[0] = kept;
        stroke->point_count = 1;
      } else {
        for (int axis = 0; axis < 2; axis++) {
          stroke->delta_min[axis] = low[axis];
          stroke->delta_max[axis] = high[axis];
        }
        stroke->point_count++;
      }
    }
  }
  stroke->last_point_tick = erode_current_tick();
}

static int finite3(const float* v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

// The sampling part of a wheel's rut update: 1 when the contact gave a sample.
static int rut_sample(rut_stroke* stroke, const wheel_contact* contact, int front) {
  const height_field* field = &track_field;
  const float x = contact->point[0], z = contact->point[2];
  if (!field->heights || !contact->body || !finite3(contact->point) || !finite3(contact->point_velocity))
    return 0;
  const tile_params* p = &field->tile_params[tile_at(field, x, z)];
  float normal[3];
  terrain_triangle_normal(field, x, z, normal);

  const dReal* velocity = dBodyGetLinearVel(contact->body);
  const float vx = (float)velocity[0], vy = (float)velocity[1], vz = (float)velocity[2];
  const float horizontal = std::sqrt(vx * vx + vz * vz);
  // A wheel moving straight up or down has no forward direction; its force
  // then goes on without a lateral part to scale.
  const float f[2] = {horizontal > 0.0f ? vx / horizontal : 0.0f, horizontal > 0.0f ? vz / horizontal : 0.0f};
  const float l[2] = {-f[1], f[0]};
  const float speed = std::sqrt(vx * vx + vy * vy + vz * vz);
  tyre_debug.speed = speed;
  const float speed_factor = tile_param_ramp(speed, p->erode_off_speed, p->erode_on_speed);

  const float force[3] = {(float)contact->feedback.f1[0], (float)contact->feedback.f1[1],
                          (float)contact->feedback.f1[2]};
  const float nn = normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2];
  const float along = (normal[0] * force[0] + normal[1] * force[1] + normal[2] * force[2]) / nn;
  tyre_debug.fx = force[0] * l[0] + force[2] * l[1];
  tyre_debug.fz = force[0] * f[0] + force[2] * f[1];
  float g[2] = {(force[0] - p->erode_project_to_ground * normal[0] * along) * speed_factor,
                (force[2] - p->erode_project_to_ground * normal[2] * along) * speed_factor};

  const float* pv = contact->point_velocity;
  const float slip = std::sqrt(pv[0] * pv[0] + pv[1] * pv[1] + pv[2] * pv[2]);
  tyre_debug.slip = slip;
  const float w = tile_param_ramp(slip, p->erode_slip_lower, p->erode_slip_upper);
  const float slip_scale = p->erode_slip_base_scale + w * (p->erode_slip_scale - p->erode_slip_base_scale);
  g[0] *= slip_scale;
  g[1] *= slip_scale;

  const float lateral = (g[0] * l[0] + g[1] * l[1]) * (p->erode_lateral_scale - 1.0f);
  g[0] += l[0] * lateral;
  g[1] += l[1] * lateral;
  if (front) {
    g[0] *= p->erode_front_scale;
    g[1] *= p->erode_front_scale;
  }
  tyre_debug.pfx = g[0] * l[0] + g[1] * l[1];
  tyre_debug.pfz = g[0] * f[0] + g[1] * f[1];

  const float m2 = g[0] * g[0] + g[1] * g[1];
  if (!(m2 > p->erode_lower * p->erode_lower) || !(m2 > 1.0f / 1024.0f) || !std::isfinite(m2)) return 0;
  const float m = std::sqrt(m2);
  const float q = tile_param_ramp(m, p->erode_lower, p->erode_upper);
  const float strength = (0.125f + 0.875f * q) / m;
  const float a = g[0] * strength, b = g[1] * strength;

  const float d = stroke->sample_count < 1 ? 0.0f
                                           : std::sqrt((x - stroke->last_sample[0]) * (x - stroke->last_sample[0]) +
                                                       (z - stroke->last_sample[1]) * (z - stroke->last_sample[1]));
  stroke->last_sample[0] = x;
  stroke->last_sample[1] = z;
  if (stroke->sample_count != rut_point_samples && d + stroke->travelled < 1.0f) {
    stroke->sample_sum[0] += x;
    stroke->sample_sum[1] += z;
    stroke->sample_sum[2] += a;
    stroke->sample_sum[3] += b;
    stroke->travelled += d;
    stroke->sample_count++;
    return 1;
  }
  const int full = stroke->sample_count == rut_point_samples;
  rut_stroke_add_point(stroke);
  // Adding the point may have opened a new stroke and cleared the samples;
  // this sample is still the last one either way.
  stroke->last_sample[0] = x;
  stroke->last_sample[1] = z;
  stroke->sample_sum[0] = x;
  stroke->sample_sum[1] = z;
  stroke->sample_sum[2] = a;
  stroke->sample_sum[3] = b;
  stroke->sample_count = 1;
  float carry = full ? 0.0f : d + stroke->travelled - 1.0f;
  if (carry >= 1.0f) carry = 0.0f;
  stroke->travelled = carry;
  return 1;
}

void rut_update_wheel(rut_stroke* stroke, const wheel_contact* contact, int front) {
  tyre_debug = tyre_debug_values{};
  if (contact->depth > 0.0f && rut_sample(stroke, contact, front)) return;
  if (stroke->point_count >= 1 &&
      (int64_t)erode_current_tick() > (int64_t)stroke->last_point_tick + rut_stroke_idle_ticks) {
    rut_stroke_add_point(stroke);
    if (stroke->point_count >= 1) rut_stroke_send(stroke);
    rut_stroke_reset(stroke);
  }
}

void format_tyre_debug(char* out, int size) {
  if (!out || size <= 0) return;
  std::snprintf(out, (size_t)size, "speed=%.2f\nslip=%.2f\nfx=%.2f\nfz=%.2f\npfx=%.2f\npfz=%.2f\n", tyre_debug.speed,
                tyre_debug.slip, -tyre_debug.fx, -tyre_debug.fz, -tyre_debug.pfx, -tyre_debug.pfz);
}
