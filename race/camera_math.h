#pragma once
// Camera orientations and paths without GL. An orientation is 9 floats row
// by row whose columns are the camera's right, up and back axes in world
// coordinates; the camera looks along minus the back axis.
#include <cstddef>
#include <cstdint>

// Looking along (cos a sin b, sin a, cos a cos b) for pitch a and yaw b.
void matrix_from_yaw_pitch(float orientation[9], float pitch, float yaw);
// The rotation of the unit quaternion (w, x, y, z).
void matrix_from_quaternion(float orientation[9], float w, float x, float y, float z);

// The on-bike camera's point in the frame body's coordinates for the
// "first_person_height" setting k (0 the rider's chest, 1 above the helmet).
void onbike_head_point(double k, float out[3]);

// What the on-bike camera remembers between frames: the back axis it used
// and the race time (seconds) it used it at. Never reset.
struct gimbal_memory {
  float back[3];
  double time;
};

// How fast (per second) the held pitch lets go for a "first_person_gimbal"
// of g: 105 at 0 down to 5 at 100.
double gimbal_relax_rate(double g);

// Holds the camera's previous pitch against the bike's pitching, within 45
// degrees, letting go at the relax rate. orientation comes in as the
// body's and leaves with the new back and up axes; memory is updated. A
// gimbal of 0.5 or less leaves the orientation and the memory alone.
void onbike_gimbal(float orientation[9], double g, double time, gimbal_memory* memory);

// Tilts an orientation by `degrees` about its right axis; positive looks
// down.
void tilt_about_right(float orientation[9], double degrees);

// A key of the camera path (the keyframe file's).
struct camera_key {
  float position[3];
  float quaternion[4];  // x, y, z, w
  float fov;            // degrees
  int32_t tick;
};

// The camera on the path at `tick`: standing on the first key before it and
// on the last after it, else a cubic through the keys around it. The
// quaternion is normalised; one that vanishes (a zero key, or opposite
// keys cancelling) is the earlier key's, or no turn when that is zero too.
// `count` must be at least 1.
void key_camera_at(const camera_key* keys, size_t count, double tick, float position[3], float quaternion[4],
                   float* fov);
// The orientation a key camera's quaternion gives (its first and third rows
// negated, as the keyframe files store them).
void key_camera_orientation(const float quaternion[4], float orientation[9]);

// The cubic segment from p1 to p2 at u with its neighbours p0 and p3 and
// the key ticks t0..t3, as the camera path uses it per component.
double key_cubic(double p0, double p1, double p2, double p3, double t0, double t1, double t2, double t3, double u);
