// The two point masses that stand for the rider's feet: they follow the
// limb pose while riding and move by themselves while the rider is down.
#include <cmath>

#include "bike/rider.h"
#include "bike/rider_limbs.h"
#include "bike/rider_setters.h"
#include "terrain/height_field.h"
#include "terrain/terrain_settings.h"

namespace {

void body_velocity_at(dBodyID body, const float p[3], float out[3]) {
  dVector3 v;
  dBodyGetPointVel(body, p[0], p[1], p[2], v);
  for (int i = 0; i < 3; i++) out[i] = (float)v[i];
}

float dot3(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Replaces the component of velocity along unit u by that of w.
void match_along(float velocity[3], const float w[3], const float u[3]) {
  const float d = dot3(w, u) - dot3(velocity, u);
  for (int i = 0; i < 3; i++) velocity[i] += d * u[i];
}

}  // namespace

void rider_point_rope(dBodyID body, const float anchor[3], float length, float position[3],
                      float velocity[3]) {
  const float d[3] = {position[0] - anchor[0], position[1] - anchor[1], position[2] - anchor[2]};
  const float dist = std::sqrt(dot3(d, d));
  if (dist < length || !(dist > 0)) return;
  const float u[3] = {d[0] / dist, d[1] / dist, d[2] / dist};
  for (int i = 0; i < 3; i++) position[i] = anchor[i] + u[i] * length;
  float w[3];
  body_velocity_at(body, anchor, w);
  match_along(velocity, w, u);
}

void rider_point_floor(dBodyID body, const float plane_point[3], const float normal[3],
                       float position[3], float velocity[3]) {
  const float d[3] = {position[0] - plane_point[0], position[1] - plane_point[1],
                      position[2] - plane_point[2]};
  const float r = dot3(normal, d);
  if (!(r < 0)) return;
  for (int i = 0; i < 3; i++) position[i] -= r * normal[i];
  float w[3];
  body_velocity_at(body, position, w);
  match_along(velocity, w, normal);
}

void rider_update_point_masses(rider* r) {
  const float h = (float)tick_length;
  r->ramp = std::fmax(0.0f, r->ramp - 4 * h);
  const bike_model* row = rider_model(r);
  dBodyID person = r->bodies[RIDER_PERSON];
  if (!row || !person) return;

  if (r->down_counter <= 0) {
    rider_limb_pose(r, r->point_a_pos, nullptr, r->point_b_pos, nullptr);
    body_velocity_at(person, r->point_a_pos, r->point_a_vel);
    body_velocity_at(person, r->point_b_pos, r->point_b_vel);
    return;
  }

  for (int i = 0; i < 3; i++) {
    r->point_a_pos[i] += r->point_a_vel[i] * h;
    r->point_b_pos[i] += r->point_b_vel[i] * h;
  }
  const float* g = row->pose_geometry;
  dVector3 p;
  dBodyGetRelPointPos(person, g[9], g[10], g[11], p);
  const float hip_a[3] = {(float)p[0], (float)p[1], (float)p[2]};
  dBodyGetRelPointPos(person, g[12], g[13], g[14], p);
  const float hip_b[3] = {(float)p[0], (float)p[1], (float)p[2]};
  const float rope = g[29] + g[30];
  dBodyVectorToWorld(person, 0, -1, 0, p);
  const float down[3] = {(float)p[0], (float)p[1], (float)p[2]};
  const float floor_point[3] = {hip_a[0] + down[0], hip_a[1] + down[1], hip_a[2] + down[2]};

  float* positions[2] = {r->point_a_pos, r->point_b_pos};
  float* velocities[2] = {r->point_a_vel, r->point_b_vel};
  const float* hips[2] = {hip_a, hip_b};
  for (int k = 0; k < 2; k++) {
    float* pos = positions[k];
    float* vel = velocities[k];
    vel[1] -= 32 * h;
    if (track_field.heights) {
      const float ground = terrain_height(&track_field, pos[0], pos[2]) + 0.25f;
      if (pos[1] < ground) {
        pos[1] = ground;
        vel[0] = vel[1] = vel[2] = 0;
      }
    }
    for (int i = 0; i < 3; i++) vel[i] *= 0.9375f;
    rider_point_rope(person, hips[k], rope, pos, vel);
    rider_point_floor(person, floor_point, down, pos, vel);
  }
}
