// Rut messages as they come from peers and demos: decoded against a few
// world extents, including the degenerate ones.
#include "fuzz/fuzz_target.h"
#include "terrain/rut_message.h"

BK_FUZZ_TARGET(rut_message) {
  erode_entry out[rut_stroke_points];
  int total = 0;
  for (float extent : {1024.0f, 0.0f, -5.0f, 3.0e38f}) {
    const int32_t n = rut_message_decode(data, static_cast<int32_t>(size > 100000 ? 100000 : size), extent, out);
    if (n < 0 || n > rut_stroke_points) __builtin_trap();
    total += n;
  }
  return total > 0;
}
