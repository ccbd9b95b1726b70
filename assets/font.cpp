// Glyph cells, measuring and laying out text, and stamping digits: the parts
// of the fonts that need no GL.
#include "assets/font.h"

#include <cmath>
#include <cstring>

font font_main;
font font_numbers;
font font_numbers_condensed;

const float text_palette[16][3] = {
    {0, 0, 0},       {0.75f, 0, 0},    {0, 0.75f, 0},    {0.75f, 0.75f, 0},
    {0, 0, 0.75f},   {0.75f, 0, 0.75f}, {0, 0.75f, 0.75f}, {0.75f, 0.75f, 0.75f},
    {0, 0, 0},       {1, 0, 0},        {0, 1, 0},        {1, 1, 0},
    {0, 0, 1},       {1, 0, 1},        {0, 1, 1},        {1, 1, 1},
};

static const float no_glyph_advance = 2.0f / 3.0f;

void font_reset(font* f) {
  f->texture = 0;
  f->pixels = nullptr;
  f->width = 0;
  f->height = 0;
  std::memset(f->cells, 0, sizeof f->cells);
  for (float& a : f->advances) a = no_glyph_advance;
}

static int same_pixel(const uint8_t* pixels, int width, int x, int y, const uint8_t m[4]) {
  return std::memcmp(pixels + ((size_t)y * width + x) * 4, m, 4) == 0;
}

// The first x > from in row y holding the separator, else width.
static int next_in_row(const uint8_t* pixels, int width, int y, int from, const uint8_t m[4]) {
  for (int x = from + 1; x < width; x++)
    if (same_pixel(pixels, width, x, y, m)) return x;
  return width;
}

// The first y > from in column 0 holding the separator, else height.
static int next_in_column(const uint8_t* pixels, int width, int height, int from,
                          const uint8_t m[4]) {
  for (int y = from + 1; y < height; y++)
    if (same_pixel(pixels, width, 0, y, m)) return y;
  return height;
}

void font_scan_cells(font* f, uint8_t* pixels, int width, int height, const char* glyphs) {
  uint8_t m[4];
  std::memcpy(m, pixels, 4);
  int y0 = 0, x0 = 0;
  int x1 = next_in_row(pixels, width, 0, 0, m);
  int y1 = next_in_column(pixels, width, height, 0, m);
  for (const unsigned char* g = (const unsigned char*)glyphs; *g; g++) {
    if (x1 == width) {
      // Past the last band the glyphs start again at the first.
      y0 = y1 == height ? 0 : y1;
      x0 = 0;
      x1 = next_in_row(pixels, width, y0, 0, m);
      y1 = next_in_column(pixels, width, height, y0, m);
    }
    float* cell = f->cells[*g];
    cell[0] = (float)x0 / (float)width;
    cell[1] = (float)y0 / (float)height;
    cell[2] = (float)x1 / (float)width;
    cell[3] = (float)y1 / (float)height;
    f->advances[*g] = (float)(x1 - x0) / (float)(y1 - y0);
    x0 = x1;
    x1 = next_in_row(pixels, width, y0, x0, m);
  }
  f->advances[(unsigned char)' '] = f->advances[(unsigned char)'-'];

  static const uint8_t clear[4] = {255, 255, 255, 0};
  for (int y = 0; y < height; y++) {
    if (y > 0 && !same_pixel(pixels, width, 0, y, m)) continue;
    for (int x = y == 0 ? 1 : 0; x < width; x++)
      if (same_pixel(pixels, width, x, y, m)) std::memcpy(pixels + ((size_t)y * width + x) * 4, clear, 4);
  }
  // The reference pixel goes last: every comparison above needed it.
  std::memcpy(pixels, clear, 4);
}

const char* text_skip_colour(const char* p) {
  if (!*p) return p;
  p++;  // ESC
  if (*p == '[') p++;
  while (*p && ((signed char)*p < '@' || *p == 127)) p++;
  // Text that ends inside a sequence ends there.
  if (*p) p++;
  return p;
}

float font_text_width(const font* f, const char* text) {
  const float tab = 8.0f * f->advances[(unsigned char)' '];
  float x = 0, result = 0;
  const char* p = text;
  while (*p) {
    const unsigned char c = (unsigned char)*p;
    if (c == 27) {
      p = text_skip_colour(p);
      continue;
    }
    p++;
    if (c == '\r' || c == '\n') {
      x = 0;
      continue;
    }
    if (c == '\t')
      x = tab > 0 ? (std::floor(x / tab) + 1.0f) * tab : x;
    else
      x += f->advances[c];
    if (x > result) result = x;
  }
  return result;
}

float text_width(const char* text) { return font_text_width(&font_main, text); }

// Pixel column or row of a cell edge; rounded so that a fraction stored as
// a float still lands on the separator it came from.
static int cell_edge(float fraction, int size) { return (int)std::floor(fraction * (float)size + 0.5f); }

static void measure_digits(const font* f, const char* text, int* total, int* tallest) {
  *total = 0;
  *tallest = 0;
  for (const char* p = text; *p;) {
    if (*p == 27) {
      p = text_skip_colour(p);
      continue;
    }
    const float* cell = f->cells[(unsigned char)*p++];
    *total += cell_edge(cell[2], f->width) - cell_edge(cell[0], f->width);
    const int h = cell_edge(cell[3], f->height) - cell_edge(cell[1], f->height);
    if (h > *tallest) *tallest = h;
  }
}

void render_digits_to_pixels(uint8_t* pixels, int width, int height, float r, float g, float b,
                             float a, const char* text) {
  const font* f = &font_numbers;
  if (!f->pixels) return;
  int total, tallest;
  measure_digits(f, text, &total, &tallest);
  if ((width * 9) / 8 < total && font_numbers_condensed.pixels) {
    f = &font_numbers_condensed;
    measure_digits(f, text, &total, &tallest);
  }
  const float colour[3] = {r, g, b};
  int x = width / 2 - total / 2;
  const int y = height / 2 - tallest / 2;
  for (const char* p = text; *p;) {
    if (*p == 27) {
      p = text_skip_colour(p);
      continue;
    }
    const float* cell = f->cells[(unsigned char)*p++];
    const int sx0 = cell_edge(cell[0], f->width), sy0 = cell_edge(cell[1], f->height);
    const int gw = cell_edge(cell[2], f->width) - sx0;
    const int gh = cell_edge(cell[3], f->height) - sy0;
    for (int j = 0; j < gh; j++) {
      const int dy = y + j, sy = sy0 + j;
      if (dy < 0 || dy >= height || sy < 0 || sy >= f->height) continue;
      for (int i = 0; i < gw; i++) {
        const int dx = x + i, sx = sx0 + i;
        if (dx < 0 || dx >= width || sx < 0 || sx >= f->width) continue;
        const uint8_t* s = f->pixels + ((size_t)sy * f->width + sx) * 4;
        uint8_t* d = pixels + ((size_t)dy * width + dx) * 4;
        const float alpha = (float)s[3] / 255.0f * a;
        for (int c = 0; c < 3; c++)
          d[c] = (uint8_t)(((float)s[c] / 255.0f * colour[c] * alpha +
                            (float)d[c] / 255.0f * (1.0f - alpha)) *
                           255.0f);
        d[3] = (uint8_t)((alpha * alpha + (float)d[3] / 255.0f * (1.0f - alpha)) * 255.0f);
      }
    }
    x += gw;
  }
}

// Applies the parameters of "ESC [ ... m" to the drawing flags.
static int apply_colour_codes(int flags, const int* codes, int count) {
  if (count == 0) return text_flag_caller_colour | (flags & text_flag_shadow);
  for (int i = 0; i < count; i++) {
    const int code = codes[i];
    if (code == 0)
      flags = text_flag_caller_colour | (flags & text_flag_shadow);
    else if (code == 1)
      flags |= text_flag_bold;
    else if (code == 22)
      flags &= ~text_flag_bold;
    else if (code >= 30 && code <= 37 && !(flags & text_flag_shadow))
      flags = (flags & text_flag_bold) | (code - 30);
    else if (code >= 40 && code <= 47 && (flags & text_flag_shadow))
      flags = (flags & (text_flag_bold | text_flag_shadow)) | (code - 40);
  }
  return flags;
}

// Reads the colour codes of the sequence at the ESC at p and returns the
// new flags (unchanged unless the sequence ends in "m").
static int read_colour_sequence(const char* p, int flags) {
  if (p[1] != '[') return flags;
  p += 2;
  int codes[64];
  int count = 0;
  while (count < 64 && *p >= '0' && *p <= '9') {
    int v = 0;
    while (*p >= '0' && *p <= '9') {
      if (v < 100000) v = v * 10 + (*p - '0');
      p++;
    }
    codes[count++] = v;
    if (*p != ';') break;
    p++;
  }
  if (*p != 'm') return flags;
  return apply_colour_codes(flags, codes, count);
}

static void add_glyph(text_batch* batch, const float cell[4], float x, float line, float advance,
                      const float colour[4]) {
  const int n = batch->count;
  float* v = batch->vertices + n * 12;
  const float corners[4][2] = {{x, line + 1}, {x + advance, line + 1}, {x, line}, {x + advance, line}};
  const float uv[4][2] = {{cell[0], cell[1]}, {cell[2], cell[1]}, {cell[0], cell[3]}, {cell[2], cell[3]}};
  for (int k = 0; k < 4; k++) {
    v[k * 3 + 0] = corners[k][0];
    v[k * 3 + 1] = corners[k][1];
    v[k * 3 + 2] = 0;
    batch->texcoords[n * 8 + k * 2 + 0] = uv[k][0];
    batch->texcoords[n * 8 + k * 2 + 1] = uv[k][1];
    std::memcpy(batch->colours + n * 16 + k * 4, colour, 4 * sizeof(float));
  }
  const uint32_t base = (uint32_t)n * 4;
  const uint32_t order[6] = {2, 1, 0, 2, 3, 1};
  for (int k = 0; k < 6; k++) batch->indices[n * 6 + k] = base + order[k];
  batch->count = n + 1;
}

void text_layout(const font* f, float r, float g, float b, float a, const char* text, int flags,
                 text_batch* batch, void (*flush)(const text_batch*, void*), void* context) {
  const float tab = 8.0f * f->advances[(unsigned char)' '];
  float x = 0, line = 0;
  batch->count = 0;
  const char* p = text;
  while (*p) {
    const unsigned char c = (unsigned char)*p;
    if (c == 27) {
      if (!(flags & text_flag_ignore_colour)) flags = read_colour_sequence(p, flags);
      p = text_skip_colour(p);
      continue;
    }
    p++;
    if (c == ' ') {
      x += f->advances[c];
    } else if (c == '\r') {
      x = 0;
    } else if (c == '\n') {
      x = 0;
      line -= 1;
    } else if (c == '\t') {
      if (tab > 0) x = (std::floor(x / tab) + 1.0f) * tab;
    } else {
      float colour[4];
      if (flags & text_flag_caller_colour) {
        const float boost = (flags & text_flag_bold) ? 0.25f : 0.0f;
        colour[0] = std::fmin(r + boost, 1.0f);
        colour[1] = std::fmin(g + boost, 1.0f);
        colour[2] = std::fmin(b + boost, 1.0f);
      } else {
        std::memcpy(colour, text_palette[flags & text_flag_palette], 3 * sizeof(float));
      }
      colour[3] = a;
      add_glyph(batch, f->cells[c], x, line, f->advances[c], colour);
      x += f->advances[c];
      if (batch->count == text_batch_glyphs) {
        flush(batch, context);
        batch->count = 0;
      }
    }
  }
  if (batch->count > 0) flush(batch, context);
}
