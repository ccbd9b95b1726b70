// The J6 (RGB) and J7 (RGBA) predictive formats: a PPM-like text header,
// then one residual byte per stored channel, each pixel predicted from its
// left, upper and upper-left neighbours (left + up - upper-left, clamped).
#include "assets/image.h"

static inline uint8_t raw_predict(const uint8_t* plane, size_t stride, size_t ch, int x, int y) {
  if (x == 0 && y == 0) return 0;
  const uint8_t* p = plane + (size_t)y * stride + (size_t)x * ch;
  if (y == 0) return p[-(ptrdiff_t)ch];
  if (x == 0) return p[-(ptrdiff_t)stride];
  const int left = p[-(ptrdiff_t)ch];
  const int up = p[-(ptrdiff_t)stride];
  const int up_left = p[-(ptrdiff_t)stride - (ptrdiff_t)ch];
  int v = left + up - up_left;
  if (v < 0) v = 0;
  if (v > 255) v = 255;
  return (uint8_t)v;
}

void image_raw_decode(const uint8_t* residuals, int width, int height, int stored_channels,
                      uint8_t* out, int channels) {
  const size_t out_ch = (size_t)channels;
  const size_t stride = (size_t)width * out_ch;
  const size_t in_ch = (size_t)stored_channels;
  const size_t decoded = in_ch < out_ch ? in_ch : out_ch;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      const uint8_t* r = residuals + ((size_t)y * (size_t)width + (size_t)x) * in_ch;
      uint8_t* o = out + (size_t)y * stride + (size_t)x * out_ch;
      for (size_t c = 0; c < decoded; c++)
        o[c] = (uint8_t)(raw_predict(out + c, stride, out_ch, x, y) + r[c]);
      // A J6 file read as RGBA has no alpha to decode: make it opaque.
      for (size_t c = decoded; c < out_ch; c++) o[c] = 255;
    }
  }
}

void image_raw_encode(const uint8_t* pixels, int width, int height, int channels,
                      uint8_t* residuals) {
  const size_t ch = (size_t)channels;
  const size_t stride = (size_t)width * ch;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      const size_t at = (size_t)y * stride + (size_t)x * ch;
      for (size_t c = 0; c < ch; c++)
        residuals[at + c] = (uint8_t)(pixels[at + c] - raw_predict(pixels + c, stride, ch, x, y));
    }
  }
}
