#include "race/chase_camera.h"

#include <ode/ode.h>

#include <cmath>

#include "assets/view_settings.h"
#include "bike/rider.h"
#include "bike/rider_timing.h"
#include "race/frame_loop.h"
#include "race/game_state.h"
#include "race/listener.h"
#include "race/loop_options.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/race_view.h"
#include "race/scene.h"
#include "race/views.h"
#include "terrain/height_field.h"
#include "terrain/terrain_settings.h"

float orbit_angle = 0;
float orbit_distance = 10;
float orbit_height = 5;
chase_memory chase_camera_memory = {{0, 1}, 1};

namespace {

const float pi = 3.14159265358979f;

// Into -pi .. pi; a non-finite angle (a NaN input) becomes 0, not a NaN
// that would stay in the camera for good.
float wrapped(float a) {
  if (!std::isfinite(a)) return 0;
  a = std::fmod(a + pi, 2 * pi);
  if (a < 0) a += 2 * pi;
  return a - pi;
}

float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

float approach(float from, float to, float step) {
  if (to > from + step) return from + step;
  if (to < from - step) return from - step;
  return to;
}

int same_sign(float a, float b) { return (a > 0 && b > 0) || (a < 0 && b < 0); }

float field_ground(float x, float z) { return average_terrain_height(&track_field, x, z, 10); }

}  // namespace

float average_terrain_height(const height_field* f, float x, float z, float radius) {
  if (!f || !f->heights || f->size < 1 || !(f->spacing > 0)) return 0;
  const float s = f->spacing;
  const int last = f->size - 1;
  auto height = [&](int i, int j) {
    i = i < 0 ? 0 : (i > last ? last : i);
    j = j < 0 ? 0 : (j > last ? last : j);
    return f->heights[i + (long)f->size * j];
  };
  // A point far off the field still reaches only a window one field wide:
  // its clamped columns all repeat the edge.
  const double lo_i = std::floor((x - radius) / s), hi_i = std::ceil((x + radius) / s);
  const double lo_j = std::floor((z - radius) / s), hi_j = std::ceil((z + radius) / s);
  if (!(hi_i - lo_i < 1e6) || !(hi_j - lo_j < 1e6)) return height(0, 0);
  const int i0 = (int)clampf((float)lo_i, -2e9f, 2e9f), i1 = (int)clampf((float)hi_i, -2e9f, 2e9f);
  const int j0 = (int)clampf((float)lo_j, -2e9f, 2e9f), j1 = (int)clampf((float)hi_j, -2e9f, 2e9f);
  double sum = 0, weight = 0;
  for (int j = j0; j <= j1; j++)
    for (int i = i0; i <= i1; i++) {
      const double dx = (double)i * s - x, dz = (double)j * s - z;
      const double d2 = dx * dx + dz * dz;
      double w = 0;
      if (d2 < (double)radius * radius)
        w = 1;
      else if (d2 < ((double)radius + s) * ((double)radius + s))
        w = (radius + s - std::sqrt(d2)) / s;
      if (w > 0) {
        sum += w * height(i, j);
        weight += w;
      }
    }
  if (weight <= 0) return height(i0, j0);
  return (float)(sum / weight);
}

void move_free_camera(track_camera* c, const float* input, const float target[3], const float velocity[3],
                      int switched, int automatic, float dt) {
  if (!(dt > 0)) return;
  const float r = pi * dt;
  float start_yaw = c->yaw, start_pitch = c->pitch;
  float yaw_rate = c->yaw_rate, pitch_rate = c->pitch_rate;
  float want_yaw_rate, want_pitch_rate;
  if (automatic) {
    const float dx = target[0] - c->x, dy = target[1] - c->y, dz = target[2] - c->z;
    const float nx = dx + velocity[0] * dt, ny = dy + velocity[1] * dt, nz = dz + velocity[2] * dt;
    const float bearing = std::atan2(dx, dz);
    const float yaw_lead = clampf(wrapped(std::atan2(nx, nz) - bearing) / dt, -2 * pi, 2 * pi);
    if (switched) start_yaw = bearing;
    const float yaw_error = clampf(wrapped(bearing - start_yaw), -pi / 2, pi / 2);
    want_yaw_rate = yaw_error + (same_sign(yaw_lead, yaw_error) ? yaw_lead : 0);

    const float horizontal = std::sqrt(dx * dx + dz * dz);
    const float elevation = std::atan2(dy, horizontal);
    const float next_elevation = std::atan2(ny, std::sqrt(nx * nx + nz * nz));
    const float pitch_lead = clampf((next_elevation - elevation) / dt, -2 * pi, 2 * pi);
    if (switched) start_pitch = elevation;
    const float pitch_error = elevation - start_pitch;
    want_pitch_rate = (same_sign(pitch_lead, pitch_error) ? pitch_lead : 0) + pitch_error * pi / 4;
    if (switched) {
      yaw_rate = want_yaw_rate;
      pitch_rate = want_pitch_rate;
    }
    if (c->autofovsize > 0) {
      const float distance = std::sqrt(horizontal * horizontal + dy * dy);
      const float wanted = std::atan2(c->autofovsize, distance) * 360 / pi;
      if (switched)
        c->fov = wanted;
      else
        c->fov = approach(c->fov, wanted, dt * (2 * std::fabs(wanted - c->fov) + 1));
    }
  } else {
    want_yaw_rate = input[input_steer] * 3 * pi / 8;
    want_pitch_rate = input[input_shift] * pi / 4;
  }
  c->yaw_rate = approach(yaw_rate, want_yaw_rate, r);
  c->pitch_rate = approach(pitch_rate, want_pitch_rate, r);
  c->yaw = wrapped(start_yaw + dt * c->yaw_rate);
  c->pitch = clampf(start_pitch + dt * c->pitch_rate, -pi / 2, pi / 2);
}

int gate_camera_index(int gate) {
  if (gate < 0 || gate >= checkpoint_max) return -1;
  const int32_t index = gate_cameras[gate];
  // A "gate" line after the last camera names one that never came.
  if (index < 0 || !track_cameras.data || (size_t)index >= track_cameras.count) return -1;
  return index;
}

track_camera* chosen_race_camera(int choice) {
  if (choice >= 0 && track_cameras.data && (size_t)choice < track_cameras.count)
    return static_cast<track_camera*>(growable_array_at(&track_cameras, (size_t)choice));
  return &free_camera;
}

void settle_race_camera_choice() {
  if (race_camera_choice >= 0 && chosen_race_camera(race_camera_choice) == &free_camera) race_camera_choice = -1;
}

void chase_camera_position(const chase_input& in, chase_memory* memory, float (*ground)(float x, float z),
                           float camera[3]) {
  float cx, cz;
  if (!in.local_view) {
    cx = std::sin(in.orbit_angle);
    cz = std::cos(in.orbit_angle);
  } else if (in.rigid) {
    cx = in.body_z[0];
    cz = in.body_z[2];
  } else {
    const float vx = in.velocity[0], vz = in.velocity[2];
    const float v = std::sqrt(vx * vx + vz * vz);
    if (v >= 30) {
      cx = -vx;
      cz = -vz;
    } else {
      const float t = clampf((v - 10) * 0.05f, 0, 1);
      cx = in.body_z[0] + (-vx - in.body_z[0]) * t;
      cz = in.body_z[2] + (-vz - in.body_z[2]) * t;
    }
  }
  const float length = std::sqrt(cx * cx + cz * cz);
  // A bike on its end, or a blend that cancels, has no horizontal
  // direction: keep looking the way the camera last did.
  if (length > 1e-6f && std::isfinite(length)) {
    memory->direction[0] = cx / length;
    memory->direction[1] = cz / length;
    memory->valid = 1;
  } else if (!memory->valid) {
    memory->direction[0] = 0;
    memory->direction[1] = 1;
    memory->valid = 1;
  }
  camera[0] = in.target[0] + memory->direction[0] * in.distance;
  camera[2] = in.target[2] + memory->direction[1] * in.distance;
  camera[1] = in.target[1] + in.height;
  if (ground) {
    const float floor = ground(camera[0], camera[2]) + 5;
    if (floor > camera[1]) camera[1] = floor;
  }
}

void orbit_controls(const float* input, float dt) {
  orbit_angle = wrapped(orbit_angle + input[input_steer] * pi / 512);
  if (input[input_throttle] > 0.5f) {
    orbit_distance -= 1.0f / 64;
    if (orbit_distance < 0.25f) orbit_distance = 0.25f;
  }
  if (input[input_front_brake] > 0.5f) orbit_distance += 1.0f / 64;
  orbit_height += dt * input[input_shift];
}

void race_view_controls(const float* input, int slot, int paused, float dt) {
  static float last_dab;
  if (input[input_dab] > 0.5f && !(last_dab > 0.5f)) game_state.auto_camera = !game_state.auto_camera;
  last_dab = input[input_dab];

  const rider* r = slot_rider(slot);
  int switched = 0;
  if (game_state.auto_camera && r && route.normal_lap_gates >= 1 && race_camera_choice != -1) {
    int n = rider_next_timing_index(r);
    const int first = route.first_lap_gates, normal = route.normal_lap_gates;
    if (n >= first) n = first + (n - first) % normal;
    if (n >= 0 && n < route_entry_max && n < first + normal) {
      int gate = route.entries[n];
      if (gate >= route_flagged) gate -= route_flagged;
      const int camera = gate_camera_index(gate);
      if (camera >= 0 && camera != race_camera_choice) {
        race_camera_choice = camera;
        switched = 1;
      }
    }
  }

  float target[3] = {0, 0, 0}, velocity[3] = {0, 0, 0};
  const dBodyID body = r ? rider_frame_body(r) : nullptr;
  if (body) {
    const dReal* p = dBodyGetPosition(body);
    for (int k = 0; k < 3; k++) target[k] = (float)p[k];
    if (!paused) {
      const dReal* v = dBodyGetLinearVel(body);
      for (int k = 0; k < 3; k++) velocity[k] = (float)v[k];
    }
  }
  track_camera* chosen = chosen_race_camera(race_camera_choice);
  if (chosen == &free_camera) switched = 0;
  move_free_camera(chosen, input, target, velocity, switched, game_state.auto_camera, dt);

  float& speed = game_state.free_camera_speed;
  if (input[input_throttle] > 0.5f) speed = std::fmin(speed + 80 * dt, 100.0f);
  if (input[input_front_brake] > 0.5f) speed = std::fmax(speed - 80 * dt, -100.0f);
  speed = speed > 0 ? std::fmax(speed - 60 * dt, 0.0f) : std::fmin(speed + 60 * dt, 0.0f);
  if (std::fabs(speed) > 0.0001f) {
    track_camera& c = free_camera;
    const float step = speed * dt;
    c.x += std::sin(c.yaw) * std::cos(c.pitch) * step;
    c.y += std::sin(c.pitch) * step;
    c.z += std::cos(c.yaw) * std::cos(c.pitch) * step;
    const float floor = average_terrain_height(&track_field, c.x, c.z, 10) + 2;
    if (c.y < floor) c.y = floor;
  }
  free_camera.fov = (float)fov;
}

void draw_chase_view(int slot) {
  const rider* r = slot_rider(slot);
  const dBodyID body = r ? rider_frame_body(r) : nullptr;
  if (!body) return;
  static const float default_centre[3] = {0, 2.52f, 0.52f};
  const float* centre = loop_options.chase_center_set ? loop_options.chase_center : default_centre;
  dVector3 t;
  dBodyGetRelPointPos(body, centre[0], centre[1], centre[2], t);
  const dReal* rot = dBodyGetRotation(body);  // rows of 4
  const dReal* v = dBodyGetLinearVel(body);
  chase_input in = {};
  for (int k = 0; k < 3; k++) {
    in.target[k] = (float)t[k];
    in.body_z[k] = (float)rot[4 * k + 2];
    in.velocity[k] = (float)v[k];
  }
  in.local_view = frame_loop.local_view;
  in.distance = in.local_view ? (float)third_person_distance : orbit_distance;
  in.height = in.local_view ? (float)third_person_height : orbit_height;
  in.rigid = rigid_camera;
  in.orbit_angle = orbit_angle;
  float camera[3];
  chase_camera_position(in, &chase_camera_memory, field_ground, camera);
  const float dx = in.target[0] - camera[0], dy = in.target[1] - camera[1], dz = in.target[2] - camera[2];
  float m[9];
  matrix_from_yaw_pitch(m, std::atan2(dy, std::sqrt(dx * dx + dz * dz)), std::atan2(dx, dz));
  for (float& c : listener.velocity) c = 0;
  // The camera rides behind the bike, not in the rider's head: the whole
  // bike and rider are drawn as for anyone seen from outside.
  draw_scene(camera, m, fov, -1);
  for (int k = 0; k < 3; k++) listener.velocity[k] = in.velocity[k];
}

void chase_camera_controls_tick(const float* input) { orbit_controls(input, (float)tick_length); }

void race_view_controls_tick(const float* input) {
  race_view_controls(input, viewed_slot, frame_loop.paused, (float)tick_length);
}
