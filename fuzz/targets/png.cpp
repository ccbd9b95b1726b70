// PNG through every loader the game has for it: textures with their chain
// and info text, 16-bit grey heights, and the RGBA loader of the fonts.
#include "assets/image.h"
#include "core/memory.h"
#include "fuzz/fuzz_target.h"

BK_FUZZ_TARGET(png) {
  const std::string path = fuzz_write("p.png", data, size);
  uint8_t* pixels = nullptr;
  int w, h, channels;
  char* info = nullptr;
  const int ok = image_read_png(path.c_str(), &pixels, &w, &h, &channels, &info);
  check_free(pixels);
  check_free(info);
  uint16_t* samples = nullptr;
  image_load_png_gray(path.c_str(), &samples, &w, &h);
  check_free(samples);
  pixels = nullptr;
  image_load_rgba(path.c_str(), &pixels, &w, &h);
  check_free(pixels);
  return ok;
}
