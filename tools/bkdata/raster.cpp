// FreeType rasterising for the generated pictures.
#include "tools/bkdata/raster.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstring>

const char* const dejavu_folder = "/usr/share/fonts/truetype/dejavu";
const uint8_t font_separator[4] = {255, 0, 255, 255};

struct raster_face {
  FT_Library library;
  FT_Face face;
};

raster_face* raster_open(const char* file_name, int pixel_size) {
  const std::string path = std::string(dejavu_folder) + "/" + file_name;
  raster_face* r = new raster_face{};
  if (FT_Init_FreeType(&r->library)) {
    std::fprintf(stderr, "bkdata: FreeType does not start\n");
    delete r;
    return nullptr;
  }
  if (FT_New_Face(r->library, path.c_str(), 0, &r->face) || FT_Set_Pixel_Sizes(r->face, 0, pixel_size)) {
    std::fprintf(stderr, "bkdata: can't open the font '%s' (package fonts-dejavu-core)\n", path.c_str());
    FT_Done_FreeType(r->library);
    delete r;
    return nullptr;
  }
  return r;
}

void raster_close(raster_face* face) {
  if (!face) return;
  FT_Done_Face(face->face);
  FT_Done_FreeType(face->library);
  delete face;
}

rgba_canvas canvas_make(int width, int height, const uint8_t fill[4]) {
  rgba_canvas c;
  c.width = width;
  c.height = height;
  c.pixels.resize((size_t)width * height * 4);
  for (size_t i = 0; i < c.pixels.size(); i += 4) std::memcpy(&c.pixels[i], fill, 4);
  return c;
}

void canvas_blend(rgba_canvas* c, int x, int y, const uint8_t colour[4], int coverage) {
  if (x < 0 || y < 0 || x >= c->width || y >= c->height || coverage <= 0) return;
  uint8_t* p = &c->pixels[((size_t)y * c->width + x) * 4];
  const int a = coverage * colour[3] / 255;
  for (int k = 0; k < 3; k++) p[k] = (uint8_t)((colour[k] * a + p[k] * (255 - a) + 127) / 255);
  p[3] = (uint8_t)(a + p[3] * (255 - a) / 255);
}

// Renders one character; null when the face has no glyph for it.
static FT_GlyphSlot render(raster_face* face, unsigned char c) {
  if (FT_Load_Char(face->face, c, FT_LOAD_RENDER)) return nullptr;
  FT_GlyphSlot slot = face->face->glyph;
  return slot->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY || slot->bitmap.rows == 0 ? slot : nullptr;
}

static int advance_of(FT_GlyphSlot slot) { return (int)((slot->advance.x + 32) >> 6); }

// Copies the rendered glyph's coverage into the canvas with its origin at
// (x, baseline), clipped to the box [cx0, cx1) x [cy0, cy1).
static void blit(FT_GlyphSlot slot, rgba_canvas* c, int x, int baseline, const uint8_t colour[4], int cx0,
                 int cy0, int cx1, int cy1) {
  const FT_Bitmap& b = slot->bitmap;
  for (unsigned row = 0; row < b.rows; row++)
    for (unsigned col = 0; col < b.width; col++) {
      const int px = x + slot->bitmap_left + (int)col, py = baseline - slot->bitmap_top + (int)row;
      if (px < cx0 || py < cy0 || px >= cx1 || py >= cy1) continue;
      canvas_blend(c, px, py, colour, b.buffer[row * b.pitch + col]);
    }
}

int raster_text_width(raster_face* face, const char* text) {
  int w = 0;
  for (const unsigned char* p = (const unsigned char*)text; *p; p++)
    if (FT_GlyphSlot slot = render(face, *p)) w += advance_of(slot);
  return w;
}

void raster_draw_text(raster_face* face, rgba_canvas* c, int x, int baseline, const char* text,
                      const uint8_t colour[4]) {
  for (const unsigned char* p = (const unsigned char*)text; *p; p++) {
    FT_GlyphSlot slot = render(face, *p);
    if (!slot) continue;
    blit(slot, c, x, baseline, colour, 0, 0, c->width, c->height);
    x += advance_of(slot);
  }
}

int raster_font_picture(raster_face* face, const char* glyphs, int width, int cell_height, rgba_canvas* out,
                        std::vector<int>* cells) {
  const FT_Size_Metrics& m = face->face->size->metrics;
  const int ascender = (int)(m.ascender >> 6), descender = (int)(m.descender >> 6);
  int top = (cell_height - (ascender - descender)) / 2;
  if (top < 1) top = 1;  // the cell's top row holds its separator
  const int baseline = top + ascender;

  // Lay the cells out first: each as wide as the glyph's advance, a band
  // closing when the next cell and the band's end mark would not fit.
  cells->clear();
  int x = 0, band = 0;
  for (const unsigned char* g = (const unsigned char*)glyphs; *g; g++) {
    FT_GlyphSlot slot = render(face, *g);
    if (!slot) {
      std::fprintf(stderr, "bkdata: the font has no glyph for '%c'\n", *g);
      return 0;
    }
    int w = advance_of(slot);
    if (w < 1) w = 1;
    if (w + 1 > width) return 0;
    if (x + w + 1 > width) {
      x = 0;
      band++;
    }
    cells->insert(cells->end(), {x, band * cell_height, x + w, (band + 1) * cell_height});
    x += w;
  }
  const int used = (band + 1) * cell_height;
  int height = 1;
  while (height < used) height *= 2;

  const uint8_t clear[4] = {255, 255, 255, 0}, ink[4] = {255, 255, 255, 255};
  *out = canvas_make(width, height, clear);
  auto mark = [&](int px, int py) { std::memcpy(&out->pixels[((size_t)py * width + px) * 4], font_separator, 4); };
  const size_t count = cells->size() / 4;
  for (size_t i = 0; i < count; i++) {
    const int* cell = &(*cells)[i * 4];
    FT_GlyphSlot slot = render(face, (unsigned char)glyphs[i]);
    blit(slot, out, cell[0], cell[1] + baseline, ink, cell[0], cell[1] + 1, cell[2], cell[3]);
    mark(cell[0], cell[1]);
    // The band's last cell ends at a mark of its own.
    if (i + 1 == count || (*cells)[(i + 1) * 4 + 1] != cell[1]) mark(cell[2], cell[1]);
  }
  // Padding below the last band is a band of its own, so the last band's
  // cells keep their height.
  if (used < height) mark(0, used);
  return 1;
}
