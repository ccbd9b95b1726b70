#pragma once
// Image files and mip chains. An image is a bare pixel buffer carried with
// its width, height and channel count: bytes, channels interleaved (R G B A;
// one channel for grey), rows top to bottom with no gap. A mip chain is the
// base level followed directly by each half-size level (every side held at
// 1) down to and including 1 x 1.
#include <cstddef>
#include <cstdint>

// Downsample flag: keep the largest alpha of each block instead of the mean
// (an image's "[mip_max_alpha]" option).
enum { image_flag_max_alpha = 1 };

// Bytes of a whole chain whose base level is width x height; 0 for a side
// below 1.
size_t image_chain_size(int width, int height, int channels);

// Writes the level after `level` (width x height) directly behind it.
// Four channels average colour weighted by alpha; an odd last row or column
// is dropped.
void image_downsample(uint8_t* level, int width, int height, int channels, int flags);

// Fills the chain behind a base level with image_downsample.
void image_build_mips(uint8_t* pixels, int width, int height, int channels, int flags);
void image_build_mips_rgb(uint8_t* pixels, int width, int height);
void image_build_mips_rgba(uint8_t* pixels, int width, int height);

// J6/J7 body decoding: width x height pixels of `stored_channels` residual
// bytes (3 for J6, 4 for J7) into `channels` (3 or 4) channels of `out`.
// J7 read as RGB drops alpha; J6 read as RGBA gets opaque alpha.
void image_raw_decode(const uint8_t* residuals, int width, int height, int stored_channels,
                      uint8_t* out, int channels);
// The inverse: pixels of `channels` channels (3 = J6, 4 = J7) to residuals.
void image_raw_encode(const uint8_t* pixels, int width, int height, int channels,
                      uint8_t* residuals);
