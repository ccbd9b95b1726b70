#pragma once
// Rut strokes and the rut message that carries one stroke between machines
// (network item 27, demo chunk type 5). Every peer and every replay digs the
// terrain from these bytes, so encoding is done in double and written byte
// by byte: the same stroke gives the same bytes on every build.
//
//   offset  size  field
//        0     1  format, 1
//        1     2  smallest x step      code / 65535 * 2048 - 1024
//        3     2  smallest z step
//        5     2  largest x step
//        7     2  largest z step
//        9     3  first x               code / 16777215 * world extent
//       12     3  first z
//       15     1  a << 2 | k bits 0-1   a = (byte >> 2) / 64 * 2 - 1
//       16     1  b << 2 | k bits 2-3
//   17+4(i-1)  4  point i: x step, z step, a/k, b/k
//                 x_i = x_(i-1) + min + (max - min) * code / 255
//
// Little-endian; 17 + 4(n - 1) bytes for n points, at most 269.
#include <cstdint>

enum {
  rut_stroke_points = 64,
  rut_message_format = 1,
  rut_message_head_bytes = 17,
  rut_message_point_bytes = 4,
  rut_message_max_bytes = 269,
};

// One averaged point of a stroke. (a, b) points along the processed contact
// force; its length, 0.125 to 1, is the strength. k is how many ticks the
// point stands for.
struct rut_point {
  float x;
  float z;
  float a;
  float b;
  int32_t k;
};

// A decoded point waiting in the erode queue; k keeps only its low four bits.
struct erode_entry {
  float x;
  float z;
  float a;
  float b;
  int32_t k;
};

// The points one wheel is collecting, with the samples of the point being
// built. The rider record holds one per wheel.
struct rut_stroke {
  rut_point points[rut_stroke_points];
  float delta_min[2];  // smallest x and z step between consecutive points
  float delta_max[2];  // largest
  int32_t last_point_tick;
  int32_t point_count;
  float last_sample[2];
  float sample_sum[4];  // x, z, a, b
  float travelled;
  int32_t sample_count;
};

// Packs `count` points (1..64) with their step bounds into out, positions
// coded against a world of `extent`. Returns the byte count, or 0 for no
// points.
int32_t rut_message_encode(const rut_point* points, int32_t count, const float delta_min[2],
                           const float delta_max[2], float extent, uint8_t out[rut_message_max_bytes]);

// Unpacks a message into at most 64 entries and returns how many. A message
// shorter than 17 bytes or of another format gives none; bytes past the 64th
// point, and a last group shorter than four bytes, are not read. Points with
// no strength (a and b both 0) are left out: they have no direction to dig
// in.
int32_t rut_message_decode(const uint8_t* bytes, int32_t length, float extent,
                           erode_entry out[rut_stroke_points]);
