#pragma once
// The packed pose: a rider's bodies and drive state in 39 bytes, as demos,
// the network and the state history carry it, and the two ways of putting a
// rider back into one (placing a shown rider, pulling a simulated one).
//
//   bytes  field
//   0-8    frame position x, y, z: 24-bit fractions of the terrain box
//   9-16   frame quaternion w, x, y, z: 16 bits each, (q + 1) / 2
//   17     steering angle, -pi/4..pi/4
//   18     swingarm angle, -travel..0 (bit 0 always 0)
//   19     fork slide, -travel..0 (bit 0 always 0)
//   20-25  rider body offset from the frame x, y, z: 16 bits each, -16..16 ft
//   26-33  rider body quaternion, as bytes 9-16
//   34-35  front and rear wheel turn, -pi..pi
//   36     status: gear (7 = down) | foot down << 3 | throttle or lying time << 4
//   37-38  engine rpm, 0..32768
//
// Every multi-byte field is little-endian and an n-byte field v stands for
// v / (256^n - 1). The 26-byte version-4 form (demos of that version) keeps
// bytes 0-19, then the rider's place along its travel, the wheels, status and
// rpm; it is only read. It sits in the first 26 bytes of a packed_pose.
#include <cstdint>

struct rider;

enum {
  packed_pose_size = 39,
  packed_pose_v4_size = 26,
  packed_pose_down_gear = 7,  // gear field of a rider lying down
};

struct packed_pose {
  uint8_t bytes[packed_pose_size];
};

// Whether a demo is playing and its format version (4 or 5). The demo player
// owns it; it lives here with its lowest reader.
struct demo_playback_state {
  int32_t playing;
  int32_t version;
};
extern demo_playback_state demo_playback;

// Bytes of one pose in a demo of the version; 0 for a version not read.
int packed_pose_bytes_for_version(int version);

// What a pose is made of, as plain values: the frame and person bodies'
// positions and orientations, the steering, swingarm and fork joints with
// the bike's travels, the wheels' turn, the drive status and engine speed
// (radians a second). Tools make poses without a simulated rider from it.
struct pose_values {
  double frame_position[3];
  double frame_quaternion[4];
  double person_position[3];
  double person_quaternion[4];
  double steer, swingarm, swingarm_travel, fork_slide, fork_travel;
  double wheel_angle[2];
  int32_t down_counter;  // above 0: lying down
  int32_t gear;
  float throttle;
  int32_t foot_down;
  double engine_speed;
};
// Packs the values as rider_pack_pose packs a rider.
void pack_pose_values(const pose_values* v, packed_pose* out);

// The rider's current pose, in the current (version-5) form. Positions are
// clamped into the loaded terrain's box; a value that is not a number packs
// as its field's lowest code.
void rider_pack_pose(const rider* r, packed_pose* out);

// The pose a fraction t of the way from a to b. A copy of a when t is 0 or
// not a number, or while a version-4 demo plays.
void interpolate_packed_state(packed_pose* out, const packed_pose* a, const packed_pose* b, double t);

// Puts the rider into current with velocities from previous and next, which
// lie gap ticks apart (1 or less counts as 1). An inactive rider is placed
// (rider_unpack_pose); an active one is pulled (rider_unpack_pose_active).
// A version other than 4 or 5 applies nothing.
void rider_apply_packed_pose(rider* r, const packed_pose* current, const packed_pose* previous,
                             const packed_pose* next, int gap, int version);

// Places every body from the pose and the model's rest geometry, and takes
// the status (down or riding, gear, throttle) and engine speed from it.
// Velocities are left as they are. Returns 0 for a version not read.
int rider_unpack_pose(rider* r, const packed_pose* pose, int version);

// Pulls a simulated rider towards the current pose with a force and torque
// on its frame (each at most 2500) that grow as its activity fades, and sets
// its controls from the pose so its own control step follows.
void rider_unpack_pose_active(rider* r, const packed_pose* current, const packed_pose* previous,
                              const packed_pose* next, int gap);

// Small rotation helpers. Quaternions are (w, x, y, z); matrices are 3x3 row
// major. A quaternion of zero length stands for no rotation.
void quaternion_to_matrix(const double q[4], double m[9]);
// The signed angle about axis from a to b (both seen along the axis),
// returned as unit axis x angle; 0 when either vector lies along the axis or
// the angle is 0.
void signed_angle_about_axis(const double axis[3], const double a[3], const double b[3],
                             double out[3]);
// The rotation, as unit axis x angle in world axes, that turns orientation
// from into orientation to, the short way round; 0 at zero angle.
void rotation_vector_between(const double from[4], const double to[4], double out[3]);
