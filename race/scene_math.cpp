#include "race/scene_math.h"

#include <cmath>
#include <cstring>

#include "terrain/track_lighting.h"

void scene_clip_planes(float* near_plane, float* far_plane) {
  float n = lighting.near_plane, f = lighting.far_plane;
  if (!(n > 0.0f) || !std::isfinite(n)) n = 0.25f;
  if (!(f > n) || !std::isfinite(f)) f = n + 1.0f;
  *near_plane = n;
  *far_plane = f;
}

float ghost_fade(double d, double fade_distance) {
  if (!(fade_distance > 0.0)) return 1.0f;
  const double half = fade_distance / 2;
  const double f = (d - half) / (fade_distance - half);
  if (!(f > 0.0)) return 0.0f;
  return f >= 1.0 ? 1.0f : (float)f;
}

uint32_t depth_key(double value) {
  const double k = std::floor(1024.0 * value + 16777216.0);
  if (!(k > 0.0)) return 0;
  if (k >= 4294967295.0) return 4294967295u;
  return (uint32_t)k;
}

size_t billboard_cull(const billboard_view* boards, size_t count, size_t widened, const float back[3],
                      const float camera[3], int32_t* list, uint32_t* keys) {
  if (back[0] * back[0] + back[2] * back[2] < 1e-12f) return 0;
  const uint32_t camera_key =
      depth_key((double)back[0] * camera[0] + (double)back[1] * camera[1] + (double)back[2] * camera[2]);
  size_t n = 0;
  for (size_t i = 0; i < count; i++) {
    const billboard_view& b = boards[i];
    if (!b.texture || !b.alpha) continue;
    if (!std::isfinite(b.x) || !std::isfinite(b.y) || !std::isfinite(b.z)) continue;
    double along = (double)back[0] * b.x + (double)back[1] * b.y + (double)back[2] * b.z;
    if (i < widened) along += b.width;
    const uint32_t key = depth_key(along);
    if (key >= camera_key) continue;
    keys[i] = key;
    list[n++] = (int32_t)i;
  }
  return n;
}

void radix_sort_by_key(int32_t* list, size_t n, const uint32_t* keys, int32_t* scratch) {
  int32_t* from = list;
  int32_t* to = scratch;
  for (int shift = 0; shift < 32; shift += 8) {
    size_t start[257];
    std::memset(start, 0, sizeof start);
    for (size_t i = 0; i < n; i++) start[((keys[from[i]] >> shift) & 255) + 1]++;
    for (int b = 0; b < 256; b++) start[b + 1] += start[b];
    for (size_t i = 0; i < n; i++) to[start[(keys[from[i]] >> shift) & 255]++] = from[i];
    int32_t* t = from;
    from = to;
    to = t;
  }
  // Four passes end where they started, in list.
}

namespace {

struct segment {
  float left[2], right[2];  // x, z relative to the camera
};

segment segment_of(const billboard_view& b, const float r[2], const float camera[3]) {
  const float cx = b.x - camera[0], cz = b.z - camera[2], half = b.width / 2;
  return {{cx - r[0] * half, cz - r[1] * half}, {cx + r[0] * half, cz + r[1] * half}};
}

float cross(const float a[2], const float c[2]) { return a[0] * c[1] - a[1] * c[0]; }

int overlap(const segment& u, const segment& t) { return cross(u.right, t.left) < 0 && cross(t.right, u.left) < 0; }

}  // namespace

void billboard_regroup(int32_t* list, size_t n, const billboard_view* boards, int lookahead, const float back[3],
                       const float camera[3]) {
  if (lookahead <= 1) return;
  float r[2] = {back[2], -back[0]};
  const float length = std::sqrt(r[0] * r[0] + r[1] * r[1]);
  if (!(length > 0.0f)) return;
  r[0] /= length;
  r[1] /= length;
  for (size_t k = 0; k + 1 < n; k++) {
    const uint32_t texture = boards[list[k]].texture;
    size_t found = 0;
    for (size_t d = 1; d < (size_t)lookahead && k + d < n; d++)
      if (boards[list[k + d]].texture == texture) {
        found = d;
        break;
      }
    if (found < 2) continue;
    const segment t = segment_of(boards[list[k + found]], r, camera);
    int clear = 1;
    for (size_t d = 1; d < found && clear; d++)
      if (overlap(segment_of(boards[list[k + d]], r, camera), t)) clear = 0;
    if (!clear) continue;
    const int32_t moved = list[k + found];
    std::memmove(list + k + 2, list + k + 1, (found - 1) * sizeof *list);
    list[k + 1] = moved;
  }
}

void start_flagger_at(double t, int32_t five_second_ticks, double walk_time, float* along, int* texture) {
  const double e = std::floor(five_second_ticks / 128.0);
  // A walk of no length (or a broken one) is a jump at the end of the count.
  const int walks = walk_time > 0.0 && std::isfinite(walk_time);
  const double walk = walks ? walk_time : 0.0;
  double m;
  if (walks)
    m = (t - (e + 1)) / walk;
  else
    m = t >= e + 1 ? 1.0 : 0.0;
  *along = (float)(m < 0.0 ? 0.0 : m > 1.0 ? 1.0 : m);
  if (t < e + 0.1)
    *texture = 0;
  else if (t < e + 0.4)
    *texture = 1;
  else if (t < e + 1)
    *texture = 2;
  else if (t >= e + walk + 1)
    *texture = 4;
  else
    *texture = 3;
}

int lap_total(int laps_done, int32_t finish_lap, int32_t race_laps, int time_up, int last_completed_lap) {
  int total = finish_lap;
  if (time_up && last_completed_lap) {
    const long long cap = (long long)laps_done + race_laps;
    if (cap < total) total = (int)cap;
  }
  return total;
}

int lap_flag(int laps_done, int total, int32_t half_way_lap) {
  if (laps_done >= total) return lap_flag_chequered;
  if ((long long)laps_done + 1 == total) return lap_flag_white;
  if (laps_done == half_way_lap) return lap_flag_half_way;
  return lap_flag_green;
}

int flare_in_view(const float c[3], float xe, float ye) {
  if (!(c[2] < 0.0f)) return 0;
  return std::fabs(c[0]) <= -c[2] * xe && std::fabs(c[1]) <= -c[2] * ye;
}

int flare_pixel(const float c[3], float xe, float ye, int width, int height, float s[2], int* px, int* py) {
  s[0] = c[0] / -c[2];
  s[1] = c[1] / -c[2];
  double fx = (s[0] + xe) / (2 * xe), fy = (s[1] + ye) / (2 * ye);
  fx = fx < 0 ? 0 : fx > 1 ? 1 : fx;
  fy = fy < 0 ? 0 : fy > 1 ? 1 : fy;
  *px = (int)(fx * width);
  *py = (int)(fy * height);
  return *px >= 0 && *px < width && *py >= 0 && *py < height;
}

double linear_depth(double depth, double near_plane, double far_plane) {
  const double n = near_plane, f = far_plane;
  return (n * f / (f - (f - n) * depth) - n) / (f - n);
}

int flare_depth_visible(int is_direction, double linear, double camera_z, double near_plane, double far_plane) {
  if (is_direction) return linear >= 0.4;
  // How far out the flare itself lies, on the same scale as the depth read.
  double own = (-camera_z - near_plane) / (far_plane - near_plane);
  own = own < 0 ? 0 : own > 1 ? 1 : own;
  return linear >= own;
}

float flare_edge_intensity(const float s[2], float xe, float ye) {
  const float band = (xe < ye ? xe : ye) / 32;
  if (!(band > 0.0f)) return 0.0f;
  float ix = (xe - std::fabs(s[0])) / band, iy = (ye - std::fabs(s[1])) / band;
  ix = ix < 0 ? 0 : ix > 1 ? 1 : ix;
  iy = iy < 0 ? 0 : iy > 1 ? 1 : iy;
  return ix < iy ? ix : iy;
}

int facing_basis(float basis[9], float dx, float dz) {
  const float length = std::sqrt(dx * dx + dz * dz);
  if (!(length > 1e-3f)) return 0;
  const float f[3] = {dx / length, 0, dz / length};
  // side = forward x up
  const float side[3] = {-f[2], 0, f[0]};
  const float rows[9] = {f[0], 0, side[0], 0, 1, 0, f[2], 0, side[2]};
  std::memcpy(basis, rows, sizeof rows);
  return 1;
}
