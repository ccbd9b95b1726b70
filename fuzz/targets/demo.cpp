// Demo files as bkdata's check and playback read them: the header, the
// chunk chain walked to its end, and walked back from there to the first.
#include "core/stream.h"
#include "core/file.h"
#include "fuzz/fuzz_target.h"
#include "race/demo_file.h"

BK_FUZZ_TARGET(demo) {
  const std::string path = fuzz_write("demo.bkdemo", data, size);
  stream s = {};
  if (!stream_open_path(&s, path.c_str(), "rb")) return 0;
  static demo_header h;
  demo_summary sum;
  char reason[128];
  const int ok = demo_check_stream(&s, &h, &sum, nullptr, reason, sizeof reason);
  if (ok && h.version == demo_version && sum.damage_offset < 0) {
    // From the end, the XOR chain leads back to the first chunk and never
    // before it.
    int64_t offset = sum.end_offset;
    uint32_t previous = 0;
    demo_chunk c;
    if (sum.chunks > 0) {
      // The last chunk's length, found by walking forward once more.
      int64_t at = h.length;
      uint32_t before = 0;
      for (int64_t k = 0; k < sum.chunks; k++) {
        if (demo_chunk_read_head(&s, at, before, &c) != 1) __builtin_trap();
        before = c.length;
        at += (int64_t)c.length + demo_chunk_head_bytes;
      }
      previous = before;
    }
    int64_t steps = 0;
    while (demo_chunk_step_back(&s, h.length, &offset, &previous, &c)) {
      if (offset < h.length || ++steps > sum.chunks) __builtin_trap();
    }
    if (offset != h.length && sum.chunks > 0) __builtin_trap();
  }
  stream_close_file(&s);
  return ok;
}
