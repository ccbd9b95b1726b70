#include "race/camera_math.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

void matrix_from_yaw_pitch(float m[9], float pitch, float yaw) {
  const float ca = std::cos(pitch), sa = std::sin(pitch), cb = std::cos(yaw), sb = std::sin(yaw);
  const float rows[9] = {-cb, -sa * sb, -ca * sb, 0, ca, -sa, sb, -sa * cb, -ca * cb};
  std::memcpy(m, rows, sizeof rows);
}

void matrix_from_quaternion(float m[9], float w, float x, float y, float z) {
  m[0] = 1 - 2 * y * y - 2 * z * z;
  m[1] = 2 * x * y - 2 * w * z;
  m[2] = 2 * x * z + 2 * w * y;
  m[3] = 2 * x * y + 2 * w * z;
  m[4] = 1 - 2 * x * x - 2 * z * z;
  m[5] = 2 * y * z - 2 * w * x;
  m[6] = 2 * x * z - 2 * w * y;
  m[7] = 2 * y * z + 2 * w * x;
  m[8] = 1 - 2 * x * x - 2 * y * y;
}

void onbike_head_point(double k, float out[3]) {
  out[0] = 0;
  out[1] = (float)(0.5 + k * (1.0583830 - 0.5));
  out[2] = (float)(-0.4 + k * (-1.1933695 + 0.4));
}

double gimbal_relax_rate(double g) {
  const double f = 1 - g / 100;
  return 100 * f * f * f + 5;
}

void onbike_gimbal(float m[9], double g, double time, gimbal_memory* memory) {
  if (!(g > 0.5)) return;
  const float x[3] = {m[0], m[3], m[6]}, y[3] = {m[1], m[4], m[7]}, z[3] = {m[2], m[5], m[8]};
  const float* b = memory->back;
  double a = std::atan2((double)b[0] * y[0] + b[1] * y[1] + b[2] * y[2], (double)b[0] * z[0] + b[1] * z[1] + b[2] * z[2]);
  const double quarter = M_PI / 4;
  a = a < -quarter ? -quarter : a > quarter ? quarter : a;
  double held = a;
  if (time > memory->time) {
    const double step = time - memory->time < 0.125 ? time - memory->time : 0.125;
    held = a - a * gimbal_relax_rate(g) * step;
    if (held * a < 0) held = 0;
  }
  const double t = std::tan(held);
  double nz[3];
  double length = 0;
  for (int c = 0; c < 3; c++) {
    nz[c] = y[c] * t + z[c];
    length += nz[c] * nz[c];
  }
  length = std::sqrt(length);
  if (!(length > 0)) return;
  for (int c = 0; c < 3; c++) nz[c] /= length;
  const double up[3] = {nz[1] * x[2] - nz[2] * x[1], nz[2] * x[0] - nz[0] * x[2], nz[0] * x[1] - nz[1] * x[0]};
  for (int c = 0; c < 3; c++) {
    m[3 * c + 1] = (float)up[c];
    m[3 * c + 2] = (float)nz[c];
    memory->back[c] = (float)nz[c];
  }
  memory->time = time;
}

void tilt_about_right(float m[9], double degrees) {
  const double th = degrees * M_PI / 180, c = std::cos(th), s = std::sin(th);
  for (int r = 0; r < 3; r++) {
    const double up = m[3 * r + 1], back = m[3 * r + 2];
    m[3 * r + 1] = (float)(c * up - s * back);
    m[3 * r + 2] = (float)(s * up + c * back);
  }
}

double key_cubic(double p0, double p1, double p2, double p3, double t0, double t1, double t2, double t3, double u) {
  if (!(t2 - t1 > 0)) return p1;
  const double m1 = t1 > t0 ? ((p2 - p1) + (p1 - p0) * (t2 - t1) / (t1 - t0)) / 2 : 0;
  const double m2 = t3 > t2 ? ((p2 - p1) + (p3 - p2) * (t2 - t1) / (t3 - t2)) / 2 : 0;
  return p1 + m1 * u + (3 * (p2 - p1) - 2 * m1 - m2) * u * u + (m1 + m2 + 2 * (p1 - p2)) * u * u * u;
}

namespace {

// Normalises q in place; 0 when it has (next to) no length.
int normalise(float q[4]) {
  const double l = std::sqrt((double)q[0] * q[0] + (double)q[1] * q[1] + (double)q[2] * q[2] + (double)q[3] * q[3]);
  if (!(l > 1e-6) || !std::isfinite(l)) return 0;
  for (int c = 0; c < 4; c++) q[c] = (float)(q[c] / l);
  return 1;
}

// The key's own quaternion normalised, or no turn.
void key_quaternion(const camera_key& k, float q[4]) {
  std::memcpy(q, k.quaternion, 4 * sizeof(float));
  if (!normalise(q)) {
    q[0] = q[1] = q[2] = 0;
    q[3] = 1;
  }
}

}  // namespace

void key_camera_at(const camera_key* keys, size_t count, double tick, float position[3], float quaternion[4],
                   float* fov) {
  size_t i = 0;
  while (i < count && !(keys[i].tick > tick)) i++;
  if (i == 0 || i == count) {
    const camera_key& k = keys[i == 0 ? 0 : count - 1];
    std::memcpy(position, k.position, 3 * sizeof(float));
    key_quaternion(k, quaternion);
    *fov = k.fov;
    return;
  }
  const camera_key& k0 = keys[i >= 2 ? i - 2 : 0];
  const camera_key& k1 = keys[i - 1];
  const camera_key& k2 = keys[i];
  const camera_key& k3 = keys[i + 1 < count ? i + 1 : count - 1];
  const double t0 = k0.tick, t1 = k1.tick, t2 = k2.tick, t3 = k3.tick;
  double u = t2 == t1 ? 0 : (tick - t1) / (t2 - t1);
  u = u < 0 ? 0 : u > 1 ? 1 : u;
  for (int c = 0; c < 3; c++)
    position[c] =
        (float)key_cubic(k0.position[c], k1.position[c], k2.position[c], k3.position[c], t0, t1, t2, t3, u);

  // Take the short way round: neighbours on the far side of the sphere from
  // K2 are flipped first.
  float q[4][4];
  const camera_key* const ks[4] = {&k0, &k1, &k2, &k3};
  for (int j = 0; j < 4; j++) std::memcpy(q[j], ks[j]->quaternion, sizeof q[j]);
  for (int j : {0, 1, 3}) {
    const double dot = (double)q[j][0] * q[2][0] + (double)q[j][1] * q[2][1] + (double)q[j][2] * q[2][2] +
                       (double)q[j][3] * q[2][3];
    if (dot < 0)
      for (float& v : q[j]) v = -v;
  }
  for (int c = 0; c < 4; c++) quaternion[c] = (float)key_cubic(q[0][c], q[1][c], q[2][c], q[3][c], t0, t1, t2, t3, u);
  if (!normalise(quaternion)) key_quaternion(k1, quaternion);
  *fov = (float)(k1.fov + u * (k2.fov - k1.fov));
}

void key_camera_orientation(const float q[4], float m[9]) {
  matrix_from_quaternion(m, q[3], q[0], q[1], q[2]);
  for (int c = 0; c < 3; c++) {
    m[c] = -m[c];
    m[6 + c] = -m[6 + c];
  }
}
