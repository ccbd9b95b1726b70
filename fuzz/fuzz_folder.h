#pragma once
// A track folder packed into one fuzz input, so one target can feed the
// folder's loader a set of files that change together:
//
//   repeated: kind (1 byte, an index into fuzz_folder_names modulo its
//             length), size (4 bytes, little-endian), then the bytes
//
// A size past the end takes what is left. A later entry of the same kind
// replaces an earlier one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The files of a track folder the terrain loader reads. No ".gz" variant of
// the tilemap: a tiny compressed tilemap may rightly stand for a field of
// hundreds of MiB, which is no finding.
static const char* const fuzz_folder_names[] = {
    "terrain.hf",  "terrain.hf.gz", "terrain.png", "shading.ppm", "shadingx2.ppm", "shadingx2.ppm.gz",
    "shadows.pgm", "tileinfo",      "texturelist", "tilemap",     "decals",
};
enum { fuzz_folder_kinds = sizeof(fuzz_folder_names) / sizeof(fuzz_folder_names[0]) };

struct fuzz_folder_file {
  int kind;
  const uint8_t* data;
  size_t size;
};

inline std::vector<fuzz_folder_file> fuzz_folder_unpack(const uint8_t* data, size_t size) {
  std::vector<fuzz_folder_file> files;
  size_t at = 0;
  while (at + 5 <= size) {
    const int kind = data[at] % fuzz_folder_kinds;
    size_t n = (size_t)data[at + 1] | (size_t)data[at + 2] << 8 | (size_t)data[at + 3] << 16 |
               (size_t)data[at + 4] << 24;
    at += 5;
    if (n > size - at) n = size - at;
    files.push_back({kind, data + at, n});
    at += n;
  }
  return files;
}

inline void fuzz_folder_pack(std::string* out, int kind, const std::string& bytes) {
  out->push_back(static_cast<char>(kind));
  const uint32_t n = static_cast<uint32_t>(bytes.size());
  for (int i = 0; i < 4; i++) out->push_back(static_cast<char>(n >> (8 * i)));
  *out += bytes;
}
