// Packing a rider's pose into bytes, interpolating two packed poses, and
// putting a rider back into one. Every field goes through explicit shifts;
// values are taken to single precision first and worked in double, and every
// rounding is floor(x + 0.5), so a pose packs the same on every machine.
#include "bike/packed_pose.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "bike/rider.h"
#include "bike/rider_limbs.h"
#include "bike/rider_setters.h"
#include "terrain/height_field.h"
#include "terrain/terrain_settings.h"

demo_playback_state demo_playback;

namespace {

const double pi = 3.14159265358979323846;

// Where the fields after byte 19 sit in each version.
struct pose_layout {
  int wheels;  // front, rear
  int status;
  int rpm;
};
const pose_layout layout_v5 = {34, 36, 37};
const pose_layout layout_v4 = {21, 23, 24};

const pose_layout* layout_for(int version) {
  return version == 5 ? &layout_v5 : version == 4 ? &layout_v4 : nullptr;
}

uint32_t read_le(const uint8_t* p, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; i++) v |= (uint32_t)p[i] << (8 * i);
  return v;
}

void write_le(uint8_t* p, int n, uint32_t v) {
  for (int i = 0; i < n; i++) p[i] = (uint8_t)(v >> (8 * i));
}

double code_max(int n) { return (double)((1u << (8 * n)) - 1); }

// floor(x + 0.5) as an n-byte code; below 0 (or not a number) is 0.
uint32_t round_code(double x, int n) {
  if (!(x >= 0)) return 0;
  const double v = std::floor(x + 0.5);
  return v >= code_max(n) ? (uint32_t)code_max(n) : (uint32_t)v;
}

// A value to pack: single precision first, then clamped. Anything not
// finite takes the low end, the field's lowest code.
double clamp_input(double v, double lo, double hi) {
  const double f = (float)v;
  if (!std::isfinite(f) || f < lo) return lo;
  return f > hi ? hi : f;
}

double clampd(double v, double lo, double hi) {
  if (!(v >= lo)) return lo;
  return v > hi ? hi : v;
}

double fraction(const uint8_t* p, int n) { return read_le(p, n) / code_max(n); }

void write_fraction(uint8_t* p, int n, double f) { write_le(p, n, round_code(clampd(f, 0, 1) * code_max(n), n)); }

void write_quaternion(uint8_t* p, const dReal* q) {
  for (int i = 0; i < 4; i++) write_le(p + 2 * i, 2, round_code((clamp_input(q[i], -1, 1) + 1) * 0.5 * 65535, 2));
}

// A quaternion this short is no orientation at all: all four fields at their
// middle code (0x8000, a zero component) come to about 3e-5.
const double shortest_quaternion = 1e-3;

// Unit quaternion from its four 16-bit fields; a zero one decodes as no turn.
void read_quaternion(const uint8_t* p, double q[4]) {
  for (int i = 0; i < 4; i++) q[i] = 2 * fraction(p + 2 * i, 2) - 1;
  const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  if (!(n > shortest_quaternion)) {
    q[0] = 1;
    q[1] = q[2] = q[3] = 0;
    return;
  }
  for (int i = 0; i < 4; i++) q[i] /= n;
}

// Terrain box of the loaded track.
struct terrain_box {
  double extent, min_height;
};
terrain_box loaded_box() { return {track_field.extent, track_field.min_height}; }

void read_position(const uint8_t* p, double out[3]) {
  const terrain_box box = loaded_box();
  out[0] = box.extent * fraction(p, 3);
  out[1] = box.min_height + box.extent * fraction(p + 3, 3);
  out[2] = box.extent * fraction(p + 6, 3);
}

void write_position(uint8_t* p, const dReal* position) {
  const terrain_box box = loaded_box();
  // No terrain, no box: the fields say nothing rather than divide by zero.
  if (!(box.extent > 0) || !std::isfinite(box.min_height)) {
    std::memset(p, 0, 9);
    return;
  }
  const double E = box.extent, lo = box.min_height;
  write_le(p, 3, round_code(clamp_input(position[0], 0, E) / E * code_max(3), 3));
  write_le(p + 3, 3, round_code((clamp_input(position[1], lo, lo + E) - lo) / E * code_max(3), 3));
  write_le(p + 6, 3, round_code(clamp_input(position[2], 0, E) / E * code_max(3), 3));
}

// Unit quaternion to a 3x3 row-major matrix.
void unit_quaternion_matrix(const double q[4], double m[9]) {
  const double w = q[0], x = q[1], y = q[2], z = q[3];
  m[0] = 1 - 2 * (y * y + z * z);
  m[1] = 2 * (x * y - w * z);
  m[2] = 2 * (x * z + w * y);
  m[3] = 2 * (x * y + w * z);
  m[4] = 1 - 2 * (x * x + z * z);
  m[5] = 2 * (y * z - w * x);
  m[6] = 2 * (x * z - w * y);
  m[7] = 2 * (y * z + w * x);
  m[8] = 1 - 2 * (x * x + y * y);
}

void mat_apply(const double m[9], const double v[3], double out[3]) {
  for (int i = 0; i < 3; i++) out[i] = m[i * 3] * v[0] + m[i * 3 + 1] * v[1] + m[i * 3 + 2] * v[2];
}

// a then b in a's frame: the orientation a x b.
void quaternion_multiply(const double a[4], const double b[4], double out[4]) {
  out[0] = a[0] * b[0] - a[1] * b[1] - a[2] * b[2] - a[3] * b[3];
  out[1] = a[0] * b[1] + a[1] * b[0] + a[2] * b[3] - a[3] * b[2];
  out[2] = a[0] * b[2] - a[1] * b[3] + a[2] * b[0] + a[3] * b[1];
  out[3] = a[0] * b[3] + a[1] * b[2] - a[2] * b[1] + a[3] * b[0];
}

void unit(const double v[3], double out[3]) {
  const double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  for (int i = 0; i < 3; i++) out[i] = n > 0 ? v[i] / n : 0;
}

// The turn by angle about a unit axis (a zero axis gives no turn).
void axis_turn(const double axis[3], double angle, double q[4]) {
  const double s = std::sin(angle / 2);
  q[0] = std::cos(angle / 2);
  for (int i = 0; i < 3; i++) q[i + 1] = axis[i] * s;
}

// Where each body goes: its position and unit orientation, and the matrix
// of the bodies others hang from.
struct body_place {
  double position[3];
  double q[4];
  double rotation[9];
};

void relative_point(const body_place& body, const double local[3], double out[3]) {
  mat_apply(body.rotation, local, out);
  for (int i = 0; i < 3; i++) out[i] += body.position[i];
}

void difference(const float a[3], const float b[3], double out[3]) {
  for (int i = 0; i < 3; i++) out[i] = (double)a[i] - (double)b[i];
}

void turned(const body_place& parent, const double axis[3], double angle, body_place* child) {
  double turn[4];
  axis_turn(axis, angle, turn);
  quaternion_multiply(parent.q, turn, child->q);
}

// The seven bodies of the pose, from the frame and the model's rest
// geometry.
void pose_places(const bike_model* row, const uint8_t* b, int version, body_place places[RIDER_BODY_COUNT]) {
  const pose_layout* layout = layout_for(version);
  body_place& frame = places[RIDER_FRAME];
  read_position(b, frame.position);
  read_quaternion(b + 9, frame.q);
  unit_quaternion_matrix(frame.q, frame.rotation);

  double local[3];
  body_place& fork_upper = places[RIDER_FORK_UPPER];
  difference(row->fork_upper_position, row->frame_position, local);
  relative_point(frame, local, fork_upper.position);
  double steering[3], steering_axis[3];
  difference(row->fork_upper_position, row->fork_lower_position, steering);
  unit(steering, steering_axis);
  turned(frame, steering_axis, b[17] / 255.0 * (pi / 2) - pi / 4, &fork_upper);
  unit_quaternion_matrix(fork_upper.q, fork_upper.rotation);

  body_place& swingarm = places[RIDER_SWINGARM];
  const double S = row->shock_linkage[BIKE_SWINGARM_TRAVEL];
  const double w = (b[18] & 0xFE) / 255.0 * S - S;
  const double y = (double)row->swingarm_position[1] - row->swingarm_pivot[1];
  const double z = (double)row->swingarm_position[2] - row->swingarm_pivot[2];
  const double c = std::cos(w), s = std::sin(w);
  local[0] = (double)row->swingarm_position[0] - row->frame_position[0];
  local[1] = (double)row->swingarm_pivot[1] + (y * c - z * s) - row->frame_position[1];
  local[2] = (double)row->swingarm_pivot[2] + (y * s + z * c) - row->frame_position[2];
  relative_point(frame, local, swingarm.position);
  const double x_axis[3] = {1, 0, 0};
  turned(frame, x_axis, w, &swingarm);
  unit_quaternion_matrix(swingarm.q, swingarm.rotation);

  body_place& fork_lower = places[RIDER_FORK_LOWER];
  const double F = row->fork_travel;
  const double slide = (b[19] & 0xFE) / 255.0 * F - F;
  double down_fork[3];
  difference(row->fork_lower_position, row->fork_upper_position, down_fork);
  for (int i = 0; i < 3; i++) local[i] = down_fork[i] - slide * steering_axis[i];
  relative_point(fork_upper, local, fork_lower.position);
  std::memcpy(fork_lower.q, fork_upper.q, sizeof fork_lower.q);
  std::memcpy(fork_lower.rotation, fork_upper.rotation, sizeof fork_lower.rotation);

  body_place& person = places[RIDER_PERSON];
  if (version == 4) {
    const double f = b[20] / 255.0;
    const double k = row->rider_travel_min + f * ((double)row->rider_travel_max - row->rider_travel_min);
    double axis[3], travel[3];
    for (int i = 0; i < 3; i++) axis[i] = row->rider_axis[i];
    unit(axis, travel);
    for (int i = 0; i < 3; i++) local[i] = (double)row->rider_position[i] + k * travel[i] - row->frame_position[i];
    relative_point(frame, local, person.position);
    std::memcpy(person.q, frame.q, sizeof person.q);
  } else {
    for (int i = 0; i < 3; i++) person.position[i] = frame.position[i] + fraction(b + 20 + 2 * i, 2) * 32 - 16;
    read_quaternion(b + 26, person.q);
  }

  const double wheel_axis[3] = {-1, 0, 0};
  body_place& front = places[RIDER_FRONT_WHEEL];
  difference(row->front_wheel_position, row->fork_lower_position, local);
  relative_point(fork_lower, local, front.position);
  turned(fork_lower, wheel_axis, b[layout->wheels] / 255.0 * 2 * pi - pi, &front);

  body_place& rear = places[RIDER_REAR_WHEEL];
  difference(row->rear_wheel_position, row->swingarm_position, local);
  relative_point(swingarm, local, rear.position);
  turned(swingarm, wheel_axis, b[layout->wheels + 1] / 255.0 * 2 * pi - pi, &rear);
}

void set_place(dBodyID body, const body_place& place) {
  dBodySetPosition(body, place.position[0], place.position[1], place.position[2]);
  const dQuaternion q = {place.q[0], place.q[1], place.q[2], place.q[3]};
  dBodySetQuaternion(body, q);
}

int has_bodies(const rider* r) {
  for (dBodyID b : r->bodies)
    if (!b) return 0;
  for (dJointID j : r->joints)
    if (!j) return 0;
  return rider_model(r) != nullptr;
}

// Positions and orientations only: the status is the current pose's alone.
int place_bodies(rider* r, const packed_pose* pose, int version) {
  if (!layout_for(version) || !has_bodies(r)) return 0;
  body_place places[RIDER_BODY_COUNT];
  pose_places(rider_model(r), pose->bytes, version, places);
  for (int i = 0; i < RIDER_BODY_COUNT; i++) set_place(r->bodies[i], places[i]);
  return 1;
}

// The rider body to its rest place on the frame, then the joint attached:
// attaching fixes the joint's relative values from where the bodies are.
// With restore set the rider body goes back where it was.
void reattach_person(rider* r, int restore) {
  const bike_model* row = rider_model(r);
  dBodyID person = r->bodies[RIDER_PERSON];
  dBodyID frame = r->bodies[RIDER_FRAME];
  dVector3 saved_position;
  dMatrix3 saved_rotation;
  std::memcpy(saved_position, dBodyGetPosition(person), sizeof saved_position);
  std::memcpy(saved_rotation, dBodyGetRotation(person), sizeof saved_rotation);
  dVector3 seat;
  dBodyGetRelPointPos(frame, (double)row->rider_position[0] - row->frame_position[0],
                      (double)row->rider_position[1] - row->frame_position[1],
                      (double)row->rider_position[2] - row->frame_position[2], seat);
  dBodySetPosition(person, seat[0], seat[1], seat[2]);
  dBodySetRotation(person, dBodyGetRotation(frame));
  dJointAttach(r->joints[RIDER_PERSON_JOINT], person, frame);
  if (restore) {
    dBodySetPosition(person, saved_position[0], saved_position[1], saved_position[2]);
    dBodySetRotation(person, saved_rotation);
  }
}

int32_t down_counter_from(int status) { return (status >> 4) * 127 / 15 + 1; }

// Down or riding, gear and throttle from the status byte.
void apply_status(rider* r, int status, int restore_person) {
  const int field = status & 7;
  if (field == packed_pose_down_gear) {
    dJointAttach(r->joints[RIDER_PERSON_JOINT], nullptr, nullptr);
    r->down_counter = down_counter_from(status);
    r->throttle = 0;
    return;
  }
  if (r->down_counter > 0) reattach_person(r, restore_person);
  r->down_counter = 0;
  rider_set_gear(r, field < 5 ? field : 5);
  rider_set_throttle(r, (float)((status >> 4) / 15.0));
}

float engine_speed_from(const uint8_t* p) { return (float)(fraction(p, 2) * 32768 * 2 * pi / 60); }

// The feet become point masses where the limb pose has them, moving with
// the rider body.
void start_point_masses(rider* r) {
  rider_limb_pose(r, r->point_a_pos, nullptr, r->point_b_pos, nullptr);
  dBodyID person = r->bodies[RIDER_PERSON];
  dVector3 v;
  dBodyGetPointVel(person, r->point_a_pos[0], r->point_a_pos[1], r->point_a_pos[2], v);
  for (int i = 0; i < 3; i++) r->point_a_vel[i] = (float)v[i];
  dBodyGetPointVel(person, r->point_b_pos[0], r->point_b_pos[1], r->point_b_pos[2], v);
  for (int i = 0; i < 3; i++) r->point_b_vel[i] = (float)v[i];
}

double step_time(int gap) { return (gap > 1 ? gap : 1) * tick_length; }

// A force or torque longer than 2500 is cut to 2500; one that is not finite
// is dropped.
int limit_2500(double v[3]) {
  const double n2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  if (!std::isfinite(n2)) return 0;
  if (n2 > 6250000.0) {
    const double k = 2500 / std::sqrt(n2);
    for (int i = 0; i < 3; i++) v[i] *= k;
  }
  return 1;
}

// The rear rim's lowest point, along the frame's own down, kept above the
// ground by lifting the whole rider.
void lift_above_ground(rider* r) {
  if (!track_field.heights) return;
  const bike_model* row = rider_model(r);
  dVector3 up;
  dBodyVectorToWorld(r->bodies[RIDER_FRAME], 0, 1, 0, up);
  const dReal* axle = dBodyGetPosition(r->bodies[RIDER_REAR_WHEEL]);
  double point[3];
  for (int i = 0; i < 3; i++) point[i] = axle[i] - row->rear_rim_radius * up[i];
  const double ground = terrain_height(&track_field, (float)point[0], (float)point[2]);
  if (!(ground > point[1])) return;
  const double lift = ground - point[1];
  for (dBodyID b : r->bodies) {
    const dReal* p = dBodyGetPosition(b);
    dBodySetPosition(b, p[0], p[1] + lift, p[2]);
  }
}

void follow_pose(rider* r, const packed_pose* current, const packed_pose* previous, const packed_pose* next,
                 int gap, int version) {
  const pose_layout* layout = layout_for(version);
  const uint8_t* b = current->bytes;
  const double a = r->activity;
  double stiffness, damping;
  if (a > 0.75) {
    stiffness = damping = 0;
  } else if (a > 0.5) {
    const double s = clampd((a - 0.75) * -4, 0, 1);
    stiffness = 5000 * s;
    damping = -500 * s;
  } else {
    const double s = clampd((a - 0.5) * -2, 0, 1);
    stiffness = 45000 * s + 5000;
    damping = -500;
  }

  dBodyID frame = r->bodies[RIDER_FRAME];
  double target[3], before[3], after[3];
  read_position(b, target);
  read_position(previous->bytes, before);
  read_position(next->bytes, after);
  const double dt = step_time(gap);
  const dReal* p = dBodyGetPosition(frame);
  const dReal* v = dBodyGetLinearVel(frame);
  double force[3];
  for (int i = 0; i < 3; i++)
    force[i] = damping * (v[i] - (after[i] - before[i]) / dt) + stiffness * (target[i] - p[i]);
  if (limit_2500(force)) dBodyAddForce(frame, force[0], force[1], force[2]);

  double wanted[4], now[4], turn[3];
  read_quaternion(b + 9, wanted);
  for (int k = 0; k < 4; k++) now[k] = dBodyGetQuaternion(frame)[k];
  rotation_vector_between(now, wanted, turn);
  const dReal* w = dBodyGetAngularVel(frame);
  double torque[3];
  for (int i = 0; i < 3; i++) torque[i] = stiffness * turn[i] + damping * w[i];
  if (limit_2500(torque)) dBodyAddTorque(frame, torque[0], torque[1], torque[2]);

  const double steer_target = b[17] / 255.0 * (pi / 2) - pi / 4;
  dJointID steering = r->joints[RIDER_STEERING];
  rider_set_steer(r, (float)((steer_target - dJointGetHingeAngle(steering) - dJointGetHingeAngleRate(steering)) / 4));

  // A rider already down keeps counting its own time on the ground.
  const int status = b[layout->status];
  if ((status & 7) == packed_pose_down_gear) {
    if (r->down_counter == 0) {
      start_point_masses(r);
      dJointAttach(r->joints[RIDER_PERSON_JOINT], nullptr, nullptr);
      r->down_counter = down_counter_from(status);
    }
    r->throttle = 0;
  } else {
    // Re-attached at the seat: this rider is simulated, so it stays there
    // rather than being put back against its joint.
    apply_status(r, status, 0);
  }
  rider_set_dab(r, (status >> 3) & 1 ? 1.0f : 0.0f);
  double lean = 0;
  if (version == 5) {
    const bike_model* row = rider_model(r);
    double frame_rotation[9], offset[3];
    quaternion_to_matrix(wanted, frame_rotation);
    for (int i = 0; i < 3; i++) offset[i] = fraction(b + 20 + 2 * i, 2) * 32 - 16;
    double dy = 0, dz = 0;
    for (int i = 0; i < 3; i++) {
      dy += offset[i] * frame_rotation[i * 3 + 1];
      dz += offset[i] * frame_rotation[i * 3 + 2];
    }
    const double y0 = (double)row->rider_position[1] - row->frame_position[1];
    const double z0 = (double)row->rider_position[2] - row->frame_position[2];
    lean = (y0 - dy) * (0.5 * r->dab + 0.5) - (z0 - dz);
  }
  rider_set_lean(r, (float)lean);
  r->engine_speed = engine_speed_from(b + layout->rpm);
}

}  // namespace

int packed_pose_bytes_for_version(int version) {
  return version == 5 ? packed_pose_size : version == 4 ? packed_pose_v4_size : 0;
}

void quaternion_to_matrix(const double q[4], double m[9]) {
  const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  double u[4] = {1, 0, 0, 0};
  if (n > 1e-12)
    for (int i = 0; i < 4; i++) u[i] = q[i] / n;
  unit_quaternion_matrix(u, m);
}

void signed_angle_about_axis(const double axis[3], const double a[3], const double b[3], double out[3]) {
  double n[3];
  unit(axis, n);
  out[0] = out[1] = out[2] = 0;
  const double da = a[0] * n[0] + a[1] * n[1] + a[2] * n[2];
  const double db = b[0] * n[0] + b[1] * n[1] + b[2] * n[2];
  double pa[3], pb[3];
  for (int i = 0; i < 3; i++) {
    pa[i] = a[i] - da * n[i];
    pb[i] = b[i] - db * n[i];
  }
  const double cross[3] = {pa[1] * pb[2] - pa[2] * pb[1], pa[2] * pb[0] - pa[0] * pb[2],
                           pa[0] * pb[1] - pa[1] * pb[0]};
  const double sine = cross[0] * n[0] + cross[1] * n[1] + cross[2] * n[2];
  const double cosine = pa[0] * pb[0] + pa[1] * pb[1] + pa[2] * pb[2];
  if (sine == 0 && !(cosine < 0)) return;
  const double angle = std::atan2(sine, cosine);
  if (!std::isfinite(angle)) return;
  for (int i = 0; i < 3; i++) out[i] = n[i] * angle;
}

void rotation_vector_between(const double from[4], const double to[4], double out[3]) {
  // to x conjugate(from): the turn that takes from to to, in world axes.
  const double aw = from[0], ax = -from[1], ay = -from[2], az = -from[3];
  const double bw = to[0], bx = to[1], by = to[2], bz = to[3];
  double w = bw * aw - bx * ax - by * ay - bz * az;
  double x = bw * ax + bx * aw + by * az - bz * ay;
  double y = bw * ay - bx * az + by * aw + bz * ax;
  double z = bw * az + bx * ay - by * ax + bz * aw;
  if (w < 0) {
    w = -w;
    x = -x;
    y = -y;
    z = -z;
  }
  out[0] = out[1] = out[2] = 0;
  const double s = std::sqrt(x * x + y * y + z * z);
  if (!(s > 0) || !std::isfinite(s)) return;
  const double angle = 2 * std::atan2(s, w);
  out[0] = x / s * angle;
  out[1] = y / s * angle;
  out[2] = z / s * angle;
}

void pack_pose_values(const pose_values* v, packed_pose* out) {
  std::memset(out->bytes, 0, sizeof out->bytes);
  uint8_t* b = out->bytes;
  write_position(b, v->frame_position);
  write_quaternion(b + 9, v->frame_quaternion);

  const double quarter = pi / 4;
  const double steer = clamp_input(v->steer, -quarter, quarter);
  b[17] = (uint8_t)round_code((steer + quarter) * (2 / pi) * 255, 1);
  const double S = v->swingarm_travel;
  const double swing = clamp_input(v->swingarm, -S, 0);
  b[18] = S > 0 ? (uint8_t)(round_code((swing + S) / S * 255, 1) & 0xFE) : 0;
  const double F = v->fork_travel;
  const double slide = clamp_input(v->fork_slide, -F, 0);
  b[19] = F > 0 ? (uint8_t)(round_code((slide + F) / F * 255, 1) & 0xFE) : 0;

  for (int i = 0; i < 3; i++) {
    const double d = clamp_input(v->person_position[i] - v->frame_position[i], -16, 16);
    write_le(b + 20 + 2 * i, 2, round_code((d + 16) * (1.0 / 32) * 65535, 2));
  }
  write_quaternion(b + 26, v->person_quaternion);

  for (int w = 0; w < 2; w++) {
    const double a = clamp_input(v->wheel_angle[w], -pi, pi);
    b[34 + w] = (uint8_t)round_code((a + pi) * (1 / (2 * pi)) * 255, 1);
  }

  int status;
  if (v->down_counter > 0) {
    int64_t lying = ((int64_t)v->down_counter * 15 - 15) / 127;
    if (lying > 15) lying = 15;
    status = packed_pose_down_gear | (int)lying << 4;
  } else {
    const int gear = v->gear < 0 ? 0 : v->gear > 6 ? 6 : v->gear;
    const double t = (double)v->throttle * 15;
    const int throttle = !(t >= 0) ? 0 : t >= 15 ? 15 : (int)t;
    status = gear | (v->foot_down ? 8 : 0) | throttle << 4;
  }
  b[36] = (uint8_t)status;

  const double speed = (float)v->engine_speed;
  const double rpm = std::isfinite(speed) ? clampd(speed * 60 / (2 * pi), 0, 32768) : 0;
  write_le(b + 37, 2, round_code(rpm / 32768 * 65535, 2));
}

void rider_pack_pose(const rider* r, packed_pose* out) {
  std::memset(out->bytes, 0, sizeof out->bytes);
  if (!has_bodies(r)) return;
  const bike_model* row = rider_model(r);
  pose_values v;
  const dReal* fp = dBodyGetPosition(r->bodies[RIDER_FRAME]);
  const dReal* fq = dBodyGetQuaternion(r->bodies[RIDER_FRAME]);
  const dReal* pp = dBodyGetPosition(r->bodies[RIDER_PERSON]);
  const dReal* pq = dBodyGetQuaternion(r->bodies[RIDER_PERSON]);
  for (int i = 0; i < 3; i++) {
    v.frame_position[i] = fp[i];
    v.person_position[i] = pp[i];
  }
  for (int i = 0; i < 4; i++) {
    v.frame_quaternion[i] = fq[i];
    v.person_quaternion[i] = pq[i];
  }
  v.steer = dJointGetHingeAngle(r->joints[RIDER_STEERING]);
  v.swingarm_travel = row->shock_linkage[BIKE_SWINGARM_TRAVEL];
  v.swingarm = dJointGetHingeAngle(r->joints[RIDER_SWINGARM_PIVOT]);
  v.fork_travel = row->fork_travel;
  v.fork_slide = dJointGetSliderPosition(r->joints[RIDER_FORK_SLIDER]);
  v.wheel_angle[0] = dJointGetHingeAngle(r->joints[RIDER_FRONT_AXLE]);
  v.wheel_angle[1] = dJointGetHingeAngle(r->joints[RIDER_REAR_AXLE]);
  v.down_counter = r->down_counter;
  v.gear = r->gear;
  v.throttle = r->throttle;
  v.foot_down = r->ramp > 0;
  v.engine_speed = r->engine_speed;
  pack_pose_values(&v, out);
}

void interpolate_packed_state(packed_pose* out, const packed_pose* a, const packed_pose* b, double t) {
  if (t == 0 || !std::isfinite(t) || (demo_playback.playing && demo_playback.version == 4)) {
    *out = *a;
    return;
  }
  const uint8_t* pa = a->bytes;
  const uint8_t* pb = b->bytes;
  uint8_t* po = out->bytes;
  auto linear = [&](int at, int n) {
    const double fa = fraction(pa + at, n), fb = fraction(pb + at, n);
    write_fraction(po + at, n, fa + t * (fb - fa));
  };
  for (int i = 0; i < 3; i++) linear(3 * i, 3);

  const double tq = t < 1 ? t : 1;
  for (int at : {9, 26}) {
    double qa[4], qb[4], q[4];
    for (int i = 0; i < 4; i++) {
      qa[i] = 2 * fraction(pa + at + 2 * i, 2) - 1;
      qb[i] = 2 * fraction(pb + at + 2 * i, 2) - 1;
    }
    if (qa[0] * qb[0] + qa[1] * qb[1] + qa[2] * qb[2] + qa[3] * qb[3] < 0)
      for (double& c : qa) c = -c;
    double n = 0;
    for (int i = 0; i < 4; i++) {
      q[i] = qa[i] + tq * (qb[i] - qa[i]);
      n += q[i] * q[i];
    }
    n = std::sqrt(n);
    if (!(n > shortest_quaternion)) {
      q[0] = 1;
      q[1] = q[2] = q[3] = 0;
      n = 1;
    }
    for (int i = 0; i < 4; i++) write_le(po + at + 2 * i, 2, round_code((q[i] / n + 1) * 0.5 * 65535, 2));
  }

  for (int at : {17, 18, 19}) linear(at, 1);
  for (int i = 0; i < 3; i++) linear(20 + 2 * i, 2);

  // Wheels on the byte scale: a wheel turns forward, or back by at most an
  // eighth of a turn.
  for (int at : {34, 35}) {
    double fa = pa[at], fb = pb[at];
    if (fb < fa - 255.0 / 8)
      fa -= 255;
    else if (fb > fa + 255.0 * 7 / 8)
      fb -= 255;
    double v = fa + t * (fb - fa);
    if (v < 0) v += 255;
    po[at] = (uint8_t)round_code(clampd(v, 0, 255), 1);
  }

  po[36] = pa[36];
  linear(37, 2);
  po[18] &= 0xFE;
  po[19] &= 0xFE;
}

int rider_unpack_pose(rider* r, const packed_pose* pose, int version) {
  if (!place_bodies(r, pose, version)) return 0;
  const pose_layout* layout = layout_for(version);
  apply_status(r, pose->bytes[layout->status], 1);
  r->engine_speed = engine_speed_from(pose->bytes + layout->rpm);
  return 1;
}

void rider_unpack_pose_active(rider* r, const packed_pose* current, const packed_pose* previous,
                              const packed_pose* next, int gap) {
  if (!has_bodies(r)) return;
  follow_pose(r, current, previous, next, gap, 5);
}

void rider_apply_packed_pose(rider* r, const packed_pose* current, const packed_pose* previous,
                             const packed_pose* next, int gap, int version) {
  const pose_layout* layout = layout_for(version);
  if (!layout || !has_bodies(r)) return;
  if (r->activity > 0.25f) {
    follow_pose(r, current, previous, next, gap, version);
    return;
  }
  const int was_down = r->down_counter > 0;
  // Velocities from the bodies' places in previous and next; only current
  // is put into the dynamics bodies.
  const bike_model* row = rider_model(r);
  body_place before[RIDER_BODY_COUNT], after[RIDER_BODY_COUNT];
  pose_places(row, previous->bytes, version, before);
  pose_places(row, next->bytes, version, after);
  rider_unpack_pose(r, current, version);
  const double dt = step_time(gap);
  for (int i = 0; i < RIDER_BODY_COUNT; i++) {
    const double* p0 = before[i].position;
    const double* p1 = after[i].position;
    double turn[3];
    rotation_vector_between(before[i].q, after[i].q, turn);
    dBodySetLinearVel(r->bodies[i], (p1[0] - p0[0]) / dt, (p1[1] - p0[1]) / dt, (p1[2] - p0[2]) / dt);
    dBodySetAngularVel(r->bodies[i], turn[0] / dt, turn[1] / dt, turn[2] / dt);
  }
  lift_above_ground(r);
  if (!was_down && r->down_counter > 0) start_point_masses(r);
  const int status = current->bytes[layout->status];
  if ((status & 8) || (status & 7) == packed_pose_down_gear)
    r->ramp = std::fmin(1.0f, r->ramp + 8 * (float)tick_length);
}
