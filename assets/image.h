#pragma once
// Image files and mip chains. An image is a bare pixel buffer carried with
// its width, height and channel count: bytes, channels interleaved (R G B A;
// one channel for grey), rows top to bottom with no gap. A mip chain is the
// base level followed directly by each half-size level (every side held at
// 1) down to and including 1 x 1.
#include <cstddef>
#include <cstdint>

struct stream;

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

// ---------------------------------------------------------------------------
// Image files. Every reader returns 1 with a buffer from check_malloc (the
// caller frees it with check_free) or 0, with a log line naming the file,
// and leaves the pixel pointer null. Sides must be 1..image_max_side.

enum { image_max_side = 16384 };

// PNG with its chain (3 or 4 channels) and its info text: the text chunks
// before and after the image data and the side file "<name>.info"
// (check_malloc'd, null when empty; may be passed as null). The info text
// options "[mip_max_alpha]" and "[mip_custom]" shape the chain.
int image_read_png(const char* name, uint8_t** pixels, int* width, int* height, int* channels,
                   char** info);

// 16-bit grey samples (host order) of a PNG, no chain: 1, or 2 when the file
// was read through a scrambled variant; 0 on failure. 8-bit images are
// widened (v -> v * 257); colour is converted to grey; palette images are
// refused.
int image_load_png_gray(const char* name, uint16_t** samples, int* width, int* height);

// The readers over an open stream whose magic word ("J6"/"J7", "P6"/"P3")
// the caller has already read. `name` is only used in messages.
int image_read_raw(const char* magic, stream* s, int channels, uint8_t** pixels, int* width,
                   int* height, const char* name);
int image_read_ppm(const char* magic, stream* s, uint8_t** pixels, int* width, int* height,
                   const char* name);
// Reads its own magic ("P5" or "P2"); one channel, no chain.
int image_read_pgm(stream* s, uint8_t** pixels, int* width, int* height, const char* name);
// Reads the magic and gives an RGB chain from PPM, J6 or J7.
int image_read(stream* s, uint8_t** pixels, int* width, int* height, const char* name);

// RGBA from a PNG (a four-channel PNG keeps its chain; a three-channel one
// gives the base level only, alpha 255) or a J6/J7 file (with its chain).
int image_load_rgba(const char* name, uint8_t** pixels, int* width, int* height);

// Writers: 1, or 0 with a log line. Names may be "@" names.
// 16-bit grey PNG from host-order samples.
int image_write_png(const char* name, const uint16_t* samples, int width, int height);
// 8-bit RGB PNG from rows bottom first (as glReadPixels gives them).
int image_write_screenshot(const char* name, const uint8_t* rgb, int width, int height);
// 8-bit PNG, rows top first: 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA.
int image_write_png8(const char* name, const uint8_t* pixels, int width, int height,
                     int channels);
// PGM or PPM with maximum 255: "P5"/"P2" from one channel, "P6"/"P3" from
// three.
int image_write_pnm(const char* name, const char* magic, const uint8_t* pixels, int width,
                    int height);
// "J6" from RGB, "J7" from RGBA.
int image_write_raw(const char* name, const char* magic, const uint8_t* pixels, int width,
                    int height);

// Every refusal of the readers and writers: logs "Can't read image 'NAME':
// reason" (or "Can't write image ...") and keeps the reason. Returns 0.
int image_refuse(int writing, const char* name, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
// The reason of the latest refusal ("" before any).
const char* image_last_refusal();
