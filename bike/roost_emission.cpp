// Roost: the dirt a wheel throws, by the roost types of the tile under its
// contact.
#include <cmath>

#include "bike/rider.h"
#include "bike/wheel_contacts.h"
#include "core/random.h"
#include "terrain/height_field.h"
#include "terrain/roost.h"
#include "terrain/terrain_settings.h"

namespace {

float uniform31() { return (float)((random_next() >> 1) * (1.0 / 2147483648.0)); }
float uniform24() { return (float)((random_next() >> 8) * (1.0 / 16777216.0)); }

void spawn_splash(const wheel_contact* w, const roost_type* type, int k) {
  const dReal* lin = dBodyGetLinearVel(w->body);
  const float* n = w->normal;
  float v[3] = {(float)lin[0], (float)lin[1], (float)lin[2]};
  const float vn = v[0] * n[0] + v[1] * n[1] + v[2] * n[2];
  for (int i = 0; i < 3; i++) v[i] -= vn * n[i];
  const float speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  // A wheel not moving along the ground splashes nothing: there is no
  // direction to throw in, and no speed to throw with.
  if (!(speed > 0) || !std::isfinite(speed)) return;
  const float u[3] = {v[0] / speed, v[1] / speed, v[2] / speed};
  const float c[3] = {n[1] * u[2] - n[2] * u[1], n[2] * u[0] - n[0] * u[2],
                      n[0] * u[1] - n[1] * u[0]};
  float d[2][3];
  for (int i = 0; i < 3; i++) {
    d[0][i] = 0.7071068f * speed * (n[i] + c[i]);
    d[1][i] = 0.7071068f * speed * (n[i] - c[i]);
  }
  const float h = (float)tick_length;
  for (int j = 0; j < k; j++) {
    const float* dir = d[(j ^ race_clock.current_tick) & 1];
    const float along = h * (float)j / (float)k;
    const float r1 = uniform24(), r2 = uniform24(), r3 = uniform24();
    const float r4 = uniform31();
    const float rnd[3] = {r1 - 0.5f, r2 - 0.5f, r3 - 0.5f};
    float position[3], velocity[3];
    for (int i = 0; i < 3; i++) {
      position[i] = w->point[i] + dir[i] * along;
      velocity[i] = (dir[i] + type->randomize * rnd[i]) * (r4 * type->vscale);
    }
    roost_particle_spawn(position, velocity, type);
  }
}

void spawn_thrown(const wheel_contact* w, const roost_type* type, int k, float spread_limit) {
  const float* pv = w->point_velocity;
  const float slip2 = pv[0] * pv[0] + pv[1] * pv[1] + pv[2] * pv[2];
  if (slip2 < type->slip_threshold * type->slip_threshold) return;
  const dReal* lin = dBodyGetLinearVel(w->body);
  const dReal* ang = dBodyGetAngularVel(w->body);
  float a = 0.049087387f;  // pi/64: a wheel rolling without spin
  if (pv[0] * lin[0] + pv[1] * lin[1] + pv[2] * lin[2] < 0) {
    const float spin2 = (float)(ang[0] * ang[0] + ang[1] * ang[1] + ang[2] * ang[2]);
    const float slow2 = type->slow_speed * type->slow_speed;
    const float span = type->fast_speed * type->fast_speed - slow2;
    // Equal slow and fast speeds switch at once instead of giving 0/0.
    float s = span != 0 ? (spin2 - slow2) / span : (spin2 >= slow2 ? 1.0f : 0.0f);
    s = s < 0 ? 0 : s > 1 ? 1 : s;
    a = std::fmin(spread_limit, type->slow_angle + s * (type->fast_angle - type->slow_angle));
  }
  const dReal* centre = dBodyGetPosition(w->body);
  dVector3 axle;
  dBodyVectorToWorld(w->body, 1, 0, 0, axle);
  const float h = (float)tick_length;
  for (int j = 0; j < k; j++) {
    const double theta = a * uniform24();
    // The contact point turned by theta about the axle through the centre
    // (Rodrigues' rotation).
    const double p[3] = {w->point[0] - centre[0], w->point[1] - centre[1], w->point[2] - centre[2]};
    const double cs = std::cos(theta), sn = std::sin(theta);
    const double ad = axle[0] * p[0] + axle[1] * p[1] + axle[2] * p[2];
    const double cr[3] = {axle[1] * p[2] - axle[2] * p[1], axle[2] * p[0] - axle[0] * p[2],
                          axle[0] * p[1] - axle[1] * p[0]};
    float point[3];
    for (int i = 0; i < 3; i++)
      point[i] = (float)(centre[i] + p[i] * cs + cr[i] * sn + axle[i] * ad * (1 - cs));
    dVector3 wv;
    dBodyGetPointVel(w->body, point[0], point[1], point[2], wv);
    const float along = h * (float)j / (float)k;
    const float rnd[3] = {uniform24() - 0.5f, uniform24() - 0.5f, uniform24() - 0.5f};
    float position[3], velocity[3];
    for (int i = 0; i < 3; i++) {
      position[i] = point[i] + (float)wv[i] * along;
      velocity[i] = ((float)wv[i] + type->randomize * rnd[i]) * type->vscale;
    }
    roost_particle_spawn(position, velocity, type);
  }
}

}  // namespace

void wheel_emit_particles(const wheel_contact* w, int bursts, float spread_limit) {
  if (!(w->depth > 0) || !w->body || !track_field.heights) return;
  const int tile = tile_at(&track_field, w->point[0], w->point[2]);
  const roost_type* types = track_field.roost_types[tile];
  for (int t = 0; t < tile_roost_types && types[t].mode != 0; t++) {
    const roost_type* type = &types[t];
    const float whole = std::floor(type->count);
    float kf = whole + (uniform31() < type->count - whole ? 1.0f : 0.0f);
    // Capped in float first: a huge count from a tile file never reaches
    // the integer conversion.
    if (!(kf > 0)) continue;
    if (kf > (float)bursts) kf = (float)bursts;
    const int k = (int)kf;
    if (k <= 0) continue;
    if (type->mode == 2) {
      spawn_splash(w, type, k);
    } else if (type->mode == 1) {
      spawn_thrown(w, type, k, spread_limit);
    }
  }
}

void rider_emit_roost(rider* r) {
  const int density = roost_density < 0 ? 0 : roost_density;
  int n = density / 100;
  if ((int)(random_next() % 100) < density % 100) n += 1;
  if (n == 0) return;
  rider_refresh_wheel_contacts(r);
  wheel_emit_particles(&r->front_contact, n, (float)(M_PI / 8));
  wheel_emit_particles(&r->rear_contact, n, (float)(2 * M_PI));
}
