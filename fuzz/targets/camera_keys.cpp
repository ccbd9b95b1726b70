// Camera keyframe files ("keycam/NAME"), read up to their first bad line.
// A file read whole, written out and read again gives the same lines.
#include <cstdlib>
#include <string>

#include "core/message_ring.h"
#include "fuzz/fuzz_target.h"
#include "race/views.h"
#include "ui/console_files.h"

BK_FUZZ_TARGET(camera_keys) {
  static camera_key keys[camera_key_max], again[camera_key_max];
  size_t count = 0, count_again = 0;
  int bad_line = 0;
  const char* reason = nullptr;
  const int taken = parse_camera_keyframes(reinterpret_cast<const char*>(data), size, keys, camera_key_max, &count,
                                           &bad_line, &reason);
  if (!taken) {
    if (bad_line < 1 || !reason) std::abort();
    console_printf("camera keys: line %d has %s", bad_line, reason);
    return 0;
  }
  std::string written;
  for (size_t i = 0; i < count; ++i) camera_keyframe_line(keys[i], &written);
  // Values too large for their printed width still read back whole.
  if (!parse_camera_keyframes(written.data(), written.size(), again, camera_key_max, &count_again, &bad_line, &reason))
    std::abort();
  if (count_again != count) std::abort();
  std::string rewritten;
  for (size_t i = 0; i < count_again; ++i) camera_keyframe_line(again[i], &rewritten);
  if (rewritten != written) std::abort();
  return 1;
}
