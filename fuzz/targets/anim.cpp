// ANIM1 sequences (".seq") through the headless parse texture_load uses.
// The input packs the sequence and the PNG files it may name:
//
//   repeated: kind (1 byte, modulo 3: 0 the sequence, 1 "a.png",
//             2 "b.png"), size (4 bytes, little-endian), then the bytes
//
// as in fuzz/fuzz_folder.h. The pictures are written into the scratch
// folder, which is made the data root, so "PNG @a.png" finds them.
#include <cstdlib>
#include <cstring>
#include <string>

#include "assets/texture_anim.h"
#include "core/file.h"
#include "core/stream.h"
#include "fuzz/fuzz_target.h"

static const char* const anim_file_names[] = {"frames.seq", "a.png", "b.png"};

// Only "@" names are opened (relative, found in the data root): a path of
// the fuzzer's making could name a device, and waiting on one says nothing
// of the reader. A sequence whose "PNG" word is followed by anything else
// is skipped.
static int names_a_path(const uint8_t* data, size_t size) {
  for (size_t i = 0; i + 3 <= size; i++) {
    if (std::memcmp(data + i, "PNG", 3) != 0) continue;
    size_t at = i + 3;
    while (at < size && (data[at] == ' ' || data[at] == '\t' || data[at] == '\r' || data[at] == '\v' || data[at] == '\f'))
      at++;
    if (at < size && data[at] != '@' && data[at] != '\n') return 1;
  }
  return 0;
}

BK_FUZZ_TARGET(anim) {
  static int rooted;
  if (!rooted) {
    setenv("BK_HOME", fuzz_scratch(), 1);
    setenv("XDG_DATA_HOME", fuzz_scratch(), 1);
    search_roots_free();
    rooted = 1;
  }
  const uint8_t* seq = nullptr;
  size_t seq_size = 0;
  fuzz_clear_scratch();
  for (size_t at = 0; at + 5 <= size;) {
    const int kind = data[at] % 3;
    size_t n = (size_t)data[at + 1] | (size_t)data[at + 2] << 8 | (size_t)data[at + 3] << 16 |
               (size_t)data[at + 4] << 24;
    at += 5;
    if (n > size - at) n = size - at;
    if (kind == 0) {
      seq = data + at;
      seq_size = n;
    } else {
      fuzz_write(anim_file_names[kind], data + at, n);
    }
    at += n;
  }
  if (!seq || names_a_path(seq, seq_size)) {
    fuzz_clear_scratch();
    return 0;
  }
  const std::string path = fuzz_write(anim_file_names[0], seq, seq_size);
  texture_animation* a = nullptr;
  if (stream* s = stream_open(path.c_str(), "rb")) {
    char word[16];
    if (stream_scanf(s, "%15s", word) == 1 && !std::strcmp(word, "ANIM1")) a = texture_anim_read(s, path.c_str());
    stream_close(s);
  }
  const int accepted = a != nullptr;
  texture_anim_free(a);
  fuzz_clear_scratch();
  return accepted;
}
