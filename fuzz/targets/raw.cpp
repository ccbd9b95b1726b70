// J6 and J7 files: as RGB through the magic-word reader, and as RGBA as
// the font and texture loaders read them.
#include "assets/image.h"
#include "core/file.h"
#include "core/memory.h"
#include "fuzz/fuzz_target.h"

BK_FUZZ_TARGET(raw) {
  const std::string path = fuzz_write("r.j7", data, size);
  int ok = 0;
  if (stream* s = stream_open(path.c_str(), "rb")) {
    uint8_t* pixels = nullptr;
    int w, h;
    ok = image_read(s, &pixels, &w, &h, path.c_str());
    check_free(pixels);
    stream_close(s);
  }
  uint8_t* rgba = nullptr;
  int w, h;
  image_load_rgba(path.c_str(), &rgba, &w, &h);
  check_free(rgba);
  return ok;
}
