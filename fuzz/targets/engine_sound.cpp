// ".braap" definitions and "SOUNDTABLE" files: the first byte picks which,
// the rest is the file. Both may name "@s.raw" (a short sample), "@odd.raw"
// (three bytes) and "@t.soundtable" (a good table over them), which lie in
// the scratch folder, the only data root.
#include <cmath>
#include <cstdlib>

#include "core/file.h"
#include "fuzz/fuzz_target.h"
#include "race/engine_sound.h"

static void fuzz_engine_sound_files() {
  static int made = 0;
  if (made) return;
  made = 1;
  std::string raw;
  for (int i = 0; i < 64; i++) {
    const int v = (int)(12000 * std::sin(i * 0.3));
    raw += (char)(v & 0xff);
    raw += (char)((v >> 8) & 0xff);
  }
  fuzz_write("s.raw", (const uint8_t*)raw.data(), raw.size());
  fuzz_write("odd.raw", (const uint8_t*)"abc", 3);
  const std::string table = "SOUNDTABLE 2 2\n1000 5000\n0 1\n-1 2 @s.raw\n1 -1 2 @s.raw\n-1 1 @s.raw\n-1 4 @s.raw\n";
  fuzz_write("t.soundtable", (const uint8_t*)table.data(), table.size());
  setenv("BK_HOME", fuzz_scratch(), 1);
  setenv("XDG_DATA_HOME", (std::string(fuzz_scratch()) + "/no-user-folder").c_str(), 1);
  search_roots_free();
}

BK_FUZZ_TARGET(engine_sound) {
  if (size < 1) return 0;
  fuzz_engine_sound_files();
  const int table = data[0] & 1;
  const std::string path = fuzz_write(table ? "in.soundtable" : "in.braap", data + 1, size - 1);
  stream* s = stream_open(path.c_str(), "rb");
  if (!s) return 0;
  int accepted = 0;
  if (table) {
    sound_table* t = sound_table_read(s, path.c_str());
    accepted = t != nullptr;
    sound_table_free(t);
  } else {
    engine_sound d = *engine_sound_builtin(0);
    engine_sound_parse(&d, s, path.c_str());
    accepted = 1;
  }
  stream_close(s);
  sound_tables_free();
  sound_samples_free();
  return accepted;
}
