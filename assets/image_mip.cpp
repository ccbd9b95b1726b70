// Mip chains: the base level followed directly by every half-size level
// down to 1 x 1, and the 2 x 2 box filter that makes each level.
#include "assets/image.h"

size_t image_chain_size(int width, int height, int channels) {
  if (width < 1 || height < 1 || channels < 1) return 0;
  size_t pixels = 1;  // the final 1 x 1 level
  size_t w = (size_t)width, h = (size_t)height;
  while (w * h > 1) {
    pixels += w * h;
    w = w / 2 > 0 ? w / 2 : 1;
    h = h / 2 > 0 ? h / 2 : 1;
  }
  return pixels * (size_t)channels;
}

// One output pixel of a four-channel line: the colours are weighted by alpha
// so that transparent texels do not bleed their colour into the edge.
static void downsample_pair_rgba(const uint8_t* a, const uint8_t* b, uint8_t* out, int flags) {
  const unsigned a0 = a[3], a1 = b[3];
  const unsigned t = a0 + a1;
  for (int c = 0; c < 3; c++) {
    if (t != 0 && t != 510)
      out[c] = (uint8_t)((a[c] * a0 + b[c] * a1) / t);
    else
      out[c] = (uint8_t)((a[c] + b[c]) >> 1);
  }
  if (flags & image_flag_max_alpha)
    out[3] = (uint8_t)(a0 > a1 ? a0 : a1);
  else
    out[3] = (uint8_t)(t >> 1);
}

static void downsample_block_rgba(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                                  const uint8_t* p3, uint8_t* out, int flags) {
  const unsigned a0 = p0[3], a1 = p1[3], a2 = p2[3], a3 = p3[3];
  const unsigned t = a0 + a1 + a2 + a3;
  for (int c = 0; c < 3; c++) {
    if (t != 0 && t != 1020)
      out[c] = (uint8_t)((p0[c] * a0 + p1[c] * a1 + p2[c] * a2 + p3[c] * a3) / t);
    else
      out[c] = (uint8_t)((p0[c] + p1[c] + p2[c] + p3[c]) >> 2);
  }
  if (flags & image_flag_max_alpha) {
    unsigned m = a0;
    if (a1 > m) m = a1;
    if (a2 > m) m = a2;
    if (a3 > m) m = a3;
    out[3] = (uint8_t)m;
  } else {
    out[3] = (uint8_t)(t >> 2);
  }
}

void image_downsample(uint8_t* level, int width, int height, int channels, int flags) {
  if (width < 1 || height < 1 || channels < 1 || (width == 1 && height == 1)) return;
  const size_t ch = (size_t)channels;
  const size_t stride = (size_t)width * ch;
  uint8_t* out = level + stride * (size_t)height;

  if (width >= 2 && height >= 2) {
    const int ow = width / 2, oh = height / 2;
    for (int y = 0; y < oh; y++) {
      const uint8_t* row0 = level + (size_t)(2 * y) * stride;
      const uint8_t* row1 = row0 + stride;
      for (int x = 0; x < ow; x++) {
        const uint8_t* p0 = row0 + (size_t)(2 * x) * ch;
        const uint8_t* p1 = p0 + ch;
        const uint8_t* p2 = row1 + (size_t)(2 * x) * ch;
        const uint8_t* p3 = p2 + ch;
        uint8_t* o = out + ((size_t)y * (size_t)ow + (size_t)x) * ch;
        if (channels == 4) {
          downsample_block_rgba(p0, p1, p2, p3, o, flags);
        } else {
          for (size_t c = 0; c < ch; c++) o[c] = (uint8_t)((p0[c] + p1[c] + p2[c] + p3[c]) >> 2);
        }
      }
    }
    return;
  }

  // A single row or column: the pixels are contiguous either way.
  const int n = width > 1 ? width : height;
  for (int k = 0; k < n / 2; k++) {
    const uint8_t* a = level + (size_t)(2 * k) * ch;
    const uint8_t* b = a + ch;
    uint8_t* o = out + (size_t)k * ch;
    if (channels == 4) {
      downsample_pair_rgba(a, b, o, flags);
    } else {
      for (size_t c = 0; c < ch; c++) o[c] = (uint8_t)((a[c] + b[c]) >> 1);
    }
  }
}

void image_build_mips(uint8_t* pixels, int width, int height, int channels, int flags) {
  if (width < 1 || height < 1) return;
  uint8_t* level = pixels;
  int w = width, h = height;
  while ((size_t)w * (size_t)h > 1) {
    image_downsample(level, w, h, channels, flags);
    level += (size_t)w * (size_t)h * (size_t)channels;
    w = w / 2 > 0 ? w / 2 : 1;
    h = h / 2 > 0 ? h / 2 : 1;
  }
}

void image_build_mips_rgb(uint8_t* pixels, int width, int height) {
  image_build_mips(pixels, width, height, 3, 0);
}

void image_build_mips_rgba(uint8_t* pixels, int width, int height) {
  image_build_mips(pixels, width, height, 4, 0);
}
