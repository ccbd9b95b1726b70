// Loading the three fonts from their pictures.
#include <GL/gl.h>

#include "assets/font.h"
#include "assets/image.h"
#include "assets/texture.h"
#include "core/memory.h"
#include "core/message_ring.h"

static const char* const printable_ascii =
    "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";

// What a font held before: loading it again must not leak it.
static void font_release(font* f) {
  if (f->texture) glDeleteTextures(1, &f->texture);
  check_free(f->pixels);
  font_reset(f);
}

void font_load(font* f, const char* name, const char* glyphs) {
  font_release(f);
  uint8_t* pixels = nullptr;
  int width = 0, height = 0;
  if (!image_load_rgba(name, &pixels, &width, &height)) {
    console_printf("Can't open font '%.512s'", name);
    return;
  }
  // A three-channel picture comes back as a base level only; the glyph
  // scan works on the base level and the chain is rebuilt afterwards.
  uint8_t* chain = static_cast<uint8_t*>(check_realloc(pixels, image_chain_size(width, height, 4)));
  if (!chain) {
    console_printf("Can't open font '%.512s'", name);
    check_free(pixels);
    return;
  }
  font_scan_cells(f, chain, width, height, glyphs);
  image_build_mips_rgba(chain, width, height);
  f->pixels = chain;
  f->width = width;
  f->height = height;
}

void fonts_load() {
  font_load(&font_main, "@font.png", printable_ascii);
  if (font_main.pixels) {
    font_main.texture = texture_upload(font_main.pixels, font_main.width, font_main.height, 4);
    check_free(font_main.pixels);
    font_main.pixels = nullptr;
  }
  font_load(&font_numbers, "@numbers.png", "0123456789");
  font_load(&font_numbers_condensed, "@numbers-condensed.png", "0123456789");
}

void fonts_free() {
  font* fonts[3] = {&font_main, &font_numbers, &font_numbers_condensed};
  for (font* f : fonts) font_release(f);
}
