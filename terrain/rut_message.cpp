// Encoding and decoding of rut messages.
#include "terrain/rut_message.h"

#include <cmath>

static double clamp_double(double v, double low, double high) {
  // NaN goes to the low end so a bad value still codes to a defined byte.
  return !(v > low) ? low : v > high ? high : v;
}

static void put_u16(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)(v & 0xFF);
  p[1] = (uint8_t)((v >> 8) & 0xFF);
}

static void put_u24(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)(v & 0xFF);
  p[1] = (uint8_t)((v >> 8) & 0xFF);
  p[2] = (uint8_t)((v >> 16) & 0xFF);
}

static uint32_t get_u16(const uint8_t* p) { return (uint32_t)p[0] | ((uint32_t)p[1] << 8); }

static uint32_t get_u24(const uint8_t* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16);
}

static uint32_t step_code(double v) {
  return (uint32_t)std::floor((clamp_double(v, -1024.0, 1024.0) + 1024.0) / 2048.0 * 65535.0 + 0.5);
}

static double step_value(uint32_t code) { return (double)code / 65535.0 * 2048.0 - 1024.0; }

static uint32_t position_code(double v, double extent) {
  if (!(extent > 0.0) || !std::isfinite(extent)) return 0;
  return (uint32_t)std::floor(clamp_double(v, 0.0, extent) / extent * 16777215.0 + 0.5);
}

static double position_value(uint32_t code, double extent) {
  if (!(extent > 0.0) || !std::isfinite(extent)) return 0.0;
  return (double)code / 16777215.0 * extent;
}

// The top six bits hold trunc(64 t) for t = (v + 1) / 2, capped at 63 so
// that v = +1 does not wrap; the decoder reads them back as a floor.
static uint8_t direction_byte(double v, uint32_t k_bits) {
  const double t = (clamp_double(v, -1.0, 1.0) + 1.0) / 2.0;
  uint32_t code = (uint32_t)(64.0 * t);
  if (code > 63) code = 63;
  return (uint8_t)((code << 2) | (k_bits & 3));
}

static double direction_value(uint8_t byte) { return clamp_double((byte >> 2) / 64.0, 0.0, 1.0) * 2.0 - 1.0; }

// Code of one step against the decoded bounds. A zero-width range (both
// bounds clamped to the same end) has only the one value.
static uint32_t point_step_code(double step, double low, double high) {
  if (!(high > low)) return 0;
  return (uint32_t)std::floor((clamp_double(step, low, high) - low) / (high - low) * 255.0 + 0.5);
}

int32_t rut_message_encode(const rut_point* points, int32_t count, const float delta_min[2],
                           const float delta_max[2], float extent, uint8_t out[rut_message_max_bytes]) {
  if (count <= 0) return 0;
  if (count > rut_stroke_points) count = rut_stroke_points;
  out[0] = rut_message_format;
  uint32_t low_code[2], high_code[2];
  double low[2], high[2];
  for (int axis = 0; axis < 2; axis++) {
    low_code[axis] = step_code((double)delta_min[axis] - 0.0625);
    high_code[axis] = step_code((double)delta_max[axis] + 0.0625);
    low[axis] = step_value(low_code[axis]);
    high[axis] = step_value(high_code[axis]);
  }
  put_u16(out + 1, low_code[0]);
  put_u16(out + 3, low_code[1]);
  put_u16(out + 5, high_code[0]);
  put_u16(out + 7, high_code[1]);

  const uint32_t x_code = position_code(points[0].x, extent);
  const uint32_t z_code = position_code(points[0].z, extent);
  put_u24(out + 9, x_code);
  put_u24(out + 12, z_code);
  out[15] = direction_byte(points[0].a, (uint32_t)points[0].k);
  out[16] = direction_byte(points[0].b, (uint32_t)points[0].k >> 2);

  // Each step is coded against where the decoder will be, so rounding does
  // not add up along the stroke.
  double rx = position_value(x_code, extent);
  double rz = position_value(z_code, extent);
  for (int32_t i = 1; i < count; i++) {
    uint8_t* group = out + rut_message_head_bytes + rut_message_point_bytes * (i - 1);
    const uint32_t cx = point_step_code((double)points[i].x - rx, low[0], high[0]);
    rx += low[0] + (high[0] - low[0]) * cx / 255.0;
    const uint32_t cz = point_step_code((double)points[i].z - rz, low[1], high[1]);
    rz += low[1] + (high[1] - low[1]) * cz / 255.0;
    group[0] = (uint8_t)cx;
    group[1] = (uint8_t)cz;
    group[2] = direction_byte(points[i].a, (uint32_t)points[i].k);
    group[3] = direction_byte(points[i].b, (uint32_t)points[i].k >> 2);
  }
  return rut_message_head_bytes + rut_message_point_bytes * (count - 1);
}

int32_t rut_message_decode(const uint8_t* bytes, int32_t length, float extent,
                           erode_entry out[rut_stroke_points]) {
  if (!bytes || length < rut_message_head_bytes || bytes[0] != rut_message_format) return 0;
  int32_t n = (length - rut_message_head_bytes) / rut_message_point_bytes + 1;
  if (n > rut_stroke_points) n = rut_stroke_points;
  const double low_x = step_value(get_u16(bytes + 1));
  const double low_z = step_value(get_u16(bytes + 3));
  const double high_x = step_value(get_u16(bytes + 5));
  const double high_z = step_value(get_u16(bytes + 7));
  double x = position_value(get_u24(bytes + 9), extent);
  double z = position_value(get_u24(bytes + 12), extent);
  int32_t kept = 0;
  for (int32_t i = 0; i < n; i++) {
    const uint8_t* group = i == 0 ? bytes + 15 : bytes + rut_message_head_bytes + rut_message_point_bytes * (i - 1);
    if (i > 0) {
      x += low_x + (high_x - low_x) * group[0] / 255.0;
      z += low_z + (high_z - low_z) * group[1] / 255.0;
      group += 2;
    }
    const double a = direction_value(group[0]);
    const double b = direction_value(group[1]);
    if (a * a + b * b < 1.0 / (64.0 * 64.0)) continue;
    erode_entry& e = out[kept++];
    e.x = (float)x;
    e.z = (float)z;
    e.a = (float)a;
    e.b = (float)b;
    e.k = (group[0] & 3) | ((group[1] & 3) << 2);
  }
  return kept;
}
