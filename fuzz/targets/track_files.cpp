// The track folder's text files besides the terrain: "timing_gates",
// "statues", "billboards", "flaggers", "lighting" and "cameras". The first
// byte picks the file (fuzz/track_names.h), the rest is its text. Objects
// and cameras stand on a small flat field; without GL no texture loads.
#include <cstdlib>
#include <cstring>
#include <string>

#include "assets/model.h"
#include "core/message_ring.h"
#include "fuzz/fuzz_target.h"
#include "fuzz/track_names.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "terrain/track.h"
#include "terrain/track_lighting.h"

// Names in these files are opened as they stand; a device or process file
// would only make the fuzzer wait on it, which says nothing of the reader.
static int names_a_device(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const char* root : {"/dev", "/proc", "/sys"})
    if (text.find(root) != std::string::npos) return 1;
  return 0;
}

// Accepted: the reader took the whole file without a console line.
BK_FUZZ_TARGET(track_files) {
  static int made;
  if (!made) {
    terrain_reset(&track_field);
    // Without the field every input would pass untested.
    if (!terrain_create(&track_field, 7, 4.0f)) std::abort();
    made = 1;
  }
  if (size < 1 || names_a_device(data, size)) return 0;
  const char* name = fuzz_track_file_names[data[0] % fuzz_track_file_kinds];
  const std::string path = fuzz_write(name, data + 1, size - 1);
  const int mark = message_ring.write_index;
  int read = 0;
  if (!std::strcmp(name, "timing_gates")) {
    read = read_timing_gates(path.c_str());
  } else if (!std::strcmp(name, "statues")) {
    read = read_statues(path.c_str());
  } else if (!std::strcmp(name, "billboards")) {
    read = read_billboards(path.c_str());
  } else if (!std::strcmp(name, "flaggers")) {
    read = read_flaggers(path.c_str());
  } else if (!std::strcmp(name, "lighting")) {
    read = read_lighting(path.c_str());
  } else {
    read = read_cameras(path.c_str());
  }
  const int quiet = message_ring.write_index == mark;
  free_track_data();
  model_delete_stale(1);
  fuzz_clear_scratch();
  return read && quiet;
}
