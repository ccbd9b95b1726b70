// Power-of-two fitting and level dropping: the CPU side of every texture
// upload, kept free of GL so it runs anywhere.
#include <cstring>

#include "assets/font.h"
#include "assets/image.h"
#include "assets/texture.h"
#include "core/memory.h"

static int half(int n) { return n / 2 > 0 ? n / 2 : 1; }

static int is_pow2(int n) { return n > 0 && (n & (n - 1)) == 0; }

int texture_pow2_floor(int n) {
  int p = 1;
  while (p <= n / 2) p *= 2;
  return p;
}

uint8_t* texture_resample_pow2(const uint8_t* pixels, int width, int height, int channels,
                               int* new_width, int* new_height) {
  const int nw = texture_pow2_floor(width), nh = texture_pow2_floor(height);
  uint8_t* out = static_cast<uint8_t*>(check_malloc(image_chain_size(nw, nh, channels)));
  if (!out) return nullptr;
  const size_t ch = (size_t)channels;
  for (int y = 0; y < nh; y++) {
    const int sy = (int)((int64_t)y * height / nh);
    for (int x = 0; x < nw; x++) {
      const int sx = (int)((int64_t)x * width / nw);
      std::memcpy(out + ((size_t)y * nw + x) * ch, pixels + ((size_t)sy * width + sx) * ch, ch);
    }
  }
  image_build_mips(out, nw, nh, channels, 0);
  *new_width = nw;
  *new_height = nh;
  return out;
}

// The two neighbours in the half-size level of full-size index i, the nearer
// first. Indices stay inside the half level even where a side is 1.
static void neighbours(int i, int half_size, int* nearer, int* farther) {
  int a = (i + 1) / 2 - 1;
  int b = (i + 1) / 2;
  if (a < 0) a = 0;
  if (b > half_size - 1) b = half_size - 1;
  if (i & 1) {
    *nearer = a;
    *farther = b;
  } else {
    *nearer = b;
    *farther = a;
  }
}

int texture_level_predicted(const uint8_t* level, int width, int height, int channels) {
  const int hw = half(width), hh = half(height);
  const uint8_t* next = level + (size_t)width * height * channels;
  for (int y = 0; y < height; y++) {
    int rn, rf;
    neighbours(y, hh, &rn, &rf);
    for (int x = 0; x < width; x++) {
      int cn, cf;
      neighbours(x, hw, &cn, &cf);
      const uint8_t* near_row = next + (size_t)rn * hw * channels;
      const uint8_t* far_row = next + (size_t)rf * hw * channels;
      const uint8_t* stored = level + ((size_t)y * width + x) * channels;
      for (int c = 0; c < channels; c++) {
        const int top = (3 * near_row[cn * channels + c] + near_row[cf * channels + c]) >> 2;
        const int bottom = (3 * far_row[cn * channels + c] + far_row[cf * channels + c]) >> 2;
        const int predicted = (3 * top + bottom) >> 2;
        const int d = predicted - stored[c];
        if (d < -4 || d > 4) return 0;
      }
    }
  }
  return 1;
}

int texture_fit_chain(const uint8_t* pixels, int width, int height, int channels, int reduction,
                      texture_fit* fit) {
  fit->buffer = nullptr;
  if (!is_pow2(width) || !is_pow2(height)) {
    fit->buffer = texture_resample_pow2(pixels, width, height, channels, &width, &height);
    if (!fit->buffer) return 0;
    pixels = fit->buffer;
  }
  fit->entry_width = width;
  fit->entry_height = height;

  // Detail reduction never takes a side to 128 or below.
  while (reduction > 0 && width > 128 && height > 128) {
    pixels += (size_t)width * height * channels;
    width = half(width);
    height = half(height);
    reduction--;
  }

  // Levels that the next one reproduces carry no detail worth the memory.
  int dropped = 0;
  while ((width > 16 || height > 16) && texture_level_predicted(pixels, width, height, channels)) {
    pixels += (size_t)width * height * channels;
    width = half(width);
    height = half(height);
    dropped++;
  }
  fit->level = pixels;
  fit->width = width;
  fit->height = height;
  fit->auto_dropped = dropped;
  return 1;
}

int image_reduce_levels(uint8_t** pixels, int* width, int* height, int channels, long budget,
                        int levels) {
  int w = *width, h = *height;
  if (!is_pow2(w) || !is_pow2(h)) {
    uint8_t* resampled = texture_resample_pow2(*pixels, w, h, channels, &w, &h);
    if (!resampled) return 0;
    check_free(*pixels);
    *pixels = resampled;
    *width = w;
    *height = h;
  }
  size_t offset = 0;
  int dropped = 0;
  while ((levels > 0 || (budget > 0 && (long)w * h > budget)) && (long)w * h > 16384) {
    offset += (size_t)w * h * channels;
    w = half(w);
    h = half(h);
    levels--;
    dropped++;
  }
  if (dropped) {
    const size_t size = image_chain_size(w, h, channels);
    uint8_t* kept = static_cast<uint8_t*>(check_malloc(size));
    if (!kept) return 0;
    std::memcpy(kept, *pixels + offset, size);
    check_free(*pixels);
    *pixels = kept;
    *width = w;
    *height = h;
  }
  return 1;
}

void texture_border_colour(const uint8_t* pixels, int width, int height, float colour[4]) {
  int bins[512] = {};
  auto count = [&](int x, int y) {
    const uint8_t* p = pixels + ((size_t)y * width + x) * 3;
    bins[(p[0] * 7 / 255) * 64 + (p[1] * 7 / 255) * 8 + p[2] * 7 / 255]++;
  };
  for (int x = 0; x < width; x++) {
    count(x, 0);
    count(x, height - 1);
  }
  for (int y = 0; y < height; y++) {
    count(0, y);
    count(width - 1, y);
  }
  // Ties go to the lowest bin.
  int best = 0;
  for (int i = 1; i < 512; i++)
    if (bins[i] > bins[best]) best = i;
  colour[0] = (float)(best / 64) / 7.0f;
  colour[1] = (float)(best / 8 % 8) / 7.0f;
  colour[2] = (float)(best % 8) / 7.0f;
  colour[3] = 0.0f;
}

void texture_tint_mask(uint8_t* pixels, int width, int height, const char* digits,
                       const uint8_t colour_full[3], const uint8_t colour_zero[3]) {
  const size_t n = (size_t)width * height;
  for (size_t i = 0; i < n; i++) {
    pixels[i * 4 + 0] = 255;
    pixels[i * 4 + 1] = 255;
    pixels[i * 4 + 2] = 255;
    pixels[i * 4 + 3] = 0;
  }
  render_digits_to_pixels(pixels, width, height, 1.0f, 1.0f, 1.0f, 1.0f, digits);
  for (size_t i = 0; i < n; i++)
    for (int c = 0; c < 3; c++) {
      const int v = pixels[i * 4 + c];
      pixels[i * 4 + c] =
          (uint8_t)(colour_zero[c] + (colour_full[c] - colour_zero[c]) * v / 255);
    }
}

void texture_clear_chain_borders(uint8_t* pixels, int width, int height) {
  static const uint8_t clear[4] = {255, 255, 255, 0};
  while (width > 0 && height > 0) {
    for (int x = 0; x < width; x++) {
      std::memcpy(pixels + (size_t)x * 4, clear, 4);
      std::memcpy(pixels + ((size_t)(height - 1) * width + x) * 4, clear, 4);
    }
    for (int y = 0; y < height; y++) {
      std::memcpy(pixels + (size_t)y * width * 4, clear, 4);
      std::memcpy(pixels + ((size_t)y * width + width - 1) * 4, clear, 4);
    }
    pixels += (size_t)width * height * 4;
    width /= 2;
    height /= 2;
  }
}
