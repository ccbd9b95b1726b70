// PPM and PGM, text and raw, through the magic-word reader and the PGM one.
#include "assets/image.h"
#include "core/file.h"
#include "core/memory.h"
#include "fuzz/fuzz_target.h"

static int read_with(const std::string& path, int pgm) {
  stream* s = stream_open(path.c_str(), "rb");
  if (!s) return 0;
  uint8_t* pixels = nullptr;
  int w, h;
  const int ok = pgm ? image_read_pgm(s, &pixels, &w, &h, path.c_str()) : image_read(s, &pixels, &w, &h, path.c_str());
  check_free(pixels);
  stream_close(s);
  return ok;
}

BK_FUZZ_TARGET(pnm) {
  const std::string path = fuzz_write("i.pnm", data, size);
  const int rgb = read_with(path, 0);
  const int grey = read_with(path, 1);
  return rgb || grey;
}
