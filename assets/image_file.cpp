// PPM, PGM and J6/J7 files and the magic-word dispatch.
#include <cstdio>
#include <cstring>

#include "assets/image.h"
#include "core/file.h"
#include "core/memory.h"
#include "platform/log.h"

// A header number: white space and "#" comment lines may come first.
static int read_header_number(stream* s, int* value) {
  char hash[2];
  while (stream_scanf(s, " %1[#]%*[^\n]", hash) == 1) {
  }
  return stream_scanf(s, "%d", value) == 1;
}

static int read_size(stream* s, int* width, int* height, const char* name) {
  if (!read_header_number(s, width) || !read_header_number(s, height))
    return image_refuse(0, name, "no width and height");
  if (*width < 1 || *height < 1 || *width > image_max_side || *height > image_max_side) {
    image_refuse(0, name, "size %d x %d is outside 1..%d", *width, *height, (int)image_max_side);
    return 0;
  }
  return 1;
}

static int read_maximum(stream* s, int* maximum, const char* name) {
  if (!read_header_number(s, maximum)) return image_refuse(0, name, "no maximum value");
  if (*maximum < 1 || *maximum > 255) {
    image_refuse(0, name, "maximum value %d is outside 1..255", *maximum);
    return 0;
  }
  return 1;
}

static uint8_t* allocate(size_t bytes, const char* name) {
  uint8_t* p = static_cast<uint8_t*>(check_malloc(bytes));
  if (!p) image_refuse(0, name, "no memory for %zu bytes", bytes);
  return p;
}

// Refuses a body the rest of the input cannot hold, before anything is
// allocated for it: `bytes` at the least must still be there.
static int body_fits(stream* s, uint64_t bytes, int w, int h, const char* name) {
  if (bytes <= stream_remaining(s)) return 1;
  return image_refuse(0, name, "the file is truncated: too short for %d x %d pixels", w, h);
}

// The least a PPM or PGM body of count samples takes: raw, the separator
// byte and the samples; text, a digit and a blank before each sample.
static uint64_t body_bytes(int text, size_t count) { return text ? 2 * (uint64_t)count : 1 + (uint64_t)count; }

// A body read whole from a gzip file is only good when its trailer agrees.
static int body_intact(stream* s, const char* name) {
  if (stream_verify(s)) return 1;
  return image_refuse(0, name, "the file is damaged");
}

// The samples of a PPM or PGM body, scaled to 0..255. `text`: decimal
// samples (P3, P2), else one byte after the maximum and then raw bytes.
static int read_samples(stream* s, int text, int maximum, uint8_t* out, size_t count,
                        const char* name) {
  if (text) {
    for (size_t i = 0; i < count; i++) {
      int v;
      if (!read_header_number(s, &v))
        return image_refuse(0, name, "a sample is missing or not a number");
      if (v < 0 || v > maximum) return image_refuse(0, name, "a sample is above the maximum value");
      out[i] = (uint8_t)(v * 255 / maximum);
    }
    return 1;
  }
  if (stream_getc(s) < 0) return image_refuse(0, name, "the file ends in the header");
  if (stream_read(s, out, (uint32_t)count) != count)
    return image_refuse(0, name, "the file is truncated");
  if (maximum == 255) return 1;
  for (size_t i = 0; i < count; i++) {
    if (out[i] > maximum) return image_refuse(0, name, "a sample is above the maximum value");
    out[i] = (uint8_t)(out[i] * 255 / maximum);
  }
  return 1;
}

int image_read_ppm(const char* magic, stream* s, uint8_t** pixels, int* width, int* height,
                   const char* name) {
  *pixels = nullptr;
  const int text = std::strcmp(magic, "P3") == 0;
  if (!text && std::strcmp(magic, "P6") != 0) return image_refuse(0, name, "not a PPM file");
  int w, h, maximum;
  if (!read_size(s, &w, &h, name) || !read_maximum(s, &maximum, name)) return 0;
  if (!body_fits(s, body_bytes(text, (size_t)w * (size_t)h * 3), w, h, name)) return 0;
  uint8_t* p = allocate(image_chain_size(w, h, 3), name);
  if (!p) return 0;
  if (!read_samples(s, text, maximum, p, (size_t)w * (size_t)h * 3, name) || !body_intact(s, name)) {
    check_free(p);
    return 0;
  }
  image_build_mips_rgb(p, w, h);
  *pixels = p;
  *width = w;
  *height = h;
  return 1;
}

int image_read_pgm(stream* s, uint8_t** pixels, int* width, int* height, const char* name) {
  *pixels = nullptr;
  char magic[16];
  if (stream_scanf(s, "%15s", magic) != 1) return image_refuse(0, name, "not a PGM file");
  const int text = std::strcmp(magic, "P2") == 0;
  if (!text && std::strcmp(magic, "P5") != 0) return image_refuse(0, name, "not a PGM file");
  int w, h, maximum;
  if (!read_size(s, &w, &h, name) || !read_maximum(s, &maximum, name)) return 0;
  const size_t count = (size_t)w * (size_t)h;
  if (!body_fits(s, body_bytes(text, count), w, h, name)) return 0;
  uint8_t* p = allocate(count, name);
  if (!p) return 0;
  if (!read_samples(s, text, maximum, p, count, name) || !body_intact(s, name)) {
    check_free(p);
    return 0;
  }
  *pixels = p;
  *width = w;
  *height = h;
  return 1;
}

int image_read_raw(const char* magic, stream* s, int channels, uint8_t** pixels, int* width,
                   int* height, const char* name) {
  *pixels = nullptr;
  int stored;
  if (std::strcmp(magic, "J6") == 0)
    stored = 3;
  else if (std::strcmp(magic, "J7") == 0)
    stored = 4;
  else
    return image_refuse(0, name, "not a J6 or J7 file");
  if (channels != 3 && channels != 4)
    return image_refuse(0, name, "J6/J7 images are read as RGB or RGBA");
  int w, h;
  if (!read_size(s, &w, &h, name)) return 0;
  if (stream_getc(s) < 0) return image_refuse(0, name, "the file ends in the header");
  const size_t count = (size_t)w * (size_t)h * (size_t)stored;
  if (!body_fits(s, count, w, h, name)) return 0;
  uint8_t* residuals = allocate(count, name);
  if (!residuals) return 0;
  if (stream_read(s, residuals, (uint32_t)count) != count) {
    check_free(residuals);
    return image_refuse(0, name, "the file is truncated");
  }
  if (!body_intact(s, name)) {
    check_free(residuals);
    return 0;
  }
  uint8_t* p = allocate(image_chain_size(w, h, channels), name);
  if (!p) {
    check_free(residuals);
    return 0;
  }
  image_raw_decode(residuals, w, h, stored, p, channels);
  check_free(residuals);
  image_build_mips(p, w, h, channels, 0);
  *pixels = p;
  *width = w;
  *height = h;
  return 1;
}

int image_read(stream* s, uint8_t** pixels, int* width, int* height, const char* name) {
  *pixels = nullptr;
  char magic[16];
  if (stream_scanf(s, "%15s", magic) != 1) return image_refuse(0, name, "no magic word");
  if (!std::strcmp(magic, "P3") || !std::strcmp(magic, "P6"))
    return image_read_ppm(magic, s, pixels, width, height, name);
  if (!std::strcmp(magic, "J6") || !std::strcmp(magic, "J7"))
    return image_read_raw(magic, s, 3, pixels, width, height, name);
  return image_refuse(0, name, "not a PPM, J6 or J7 file");
}

// ---------------------------------------------------------------------------
// Writers

static stream* open_for_writing(const char* name) {
  stream* s = stream_open(name, "wb");
  if (!s) image_refuse(1, name, "can't open or write the file");
  return s;
}

static int finish_writing(stream* s, const char* name, int ok) {
  if (ok && stream_flush(s) != 0) ok = 0;
  if (ok && std::ferror(s->file)) ok = 0;
  stream_close(s);
  if (!ok) image_refuse(1, name, "can't open or write the file");
  return ok;
}

static int valid_size(int width, int height, const char* name) {
  if (width >= 1 && height >= 1 && width <= image_max_side && height <= image_max_side) return 1;
  image_refuse(1, name, "size %d x %d is outside 1..%d", width, height, (int)image_max_side);
  return 0;
}

int image_write_pnm(const char* name, const char* magic, const uint8_t* pixels, int width,
                    int height) {
  int channels, text;
  if (!std::strcmp(magic, "P2") || !std::strcmp(magic, "P5"))
    channels = 1;
  else if (!std::strcmp(magic, "P3") || !std::strcmp(magic, "P6"))
    channels = 3;
  else {
    image_refuse(1, name, "unknown kind '%.20s'", magic);
    return 0;
  }
  text = magic[1] == '2' || magic[1] == '3';
  if (!valid_size(width, height, name)) return 0;
  stream* s = open_for_writing(name);
  if (!s) return 0;
  int ok = stream_printf(s, "%s\n%d %d\n255\n", magic, width, height) > 0;
  const size_t row = (size_t)width * (size_t)channels;
  for (int y = 0; ok && y < height; y++) {
    const uint8_t* r = pixels + (size_t)y * row;
    if (text) {
      for (size_t i = 0; ok && i < row; i++) ok = stream_printf(s, i ? " %d" : "%d", r[i]) > 0;
      if (ok) ok = stream_putc(s, '\n') != 0;
    } else {
      ok = stream_write(s, r, (uint32_t)row) == row;
    }
  }
  return finish_writing(s, name, ok);
}

int image_write_raw(const char* name, const char* magic, const uint8_t* pixels, int width,
                    int height) {
  int channels;
  if (!std::strcmp(magic, "J6"))
    channels = 3;
  else if (!std::strcmp(magic, "J7"))
    channels = 4;
  else {
    image_refuse(1, name, "unknown kind '%.20s'", magic);
    return 0;
  }
  if (!valid_size(width, height, name)) return 0;
  const size_t count = (size_t)width * (size_t)height * (size_t)channels;
  uint8_t* residuals = static_cast<uint8_t*>(check_malloc(count));
  if (!residuals) {
    image_refuse(1, name, "no memory");
    return 0;
  }
  image_raw_encode(pixels, width, height, channels, residuals);
  stream* s = open_for_writing(name);
  int ok = 0;
  if (s) {
    ok = stream_printf(s, "%s\n%d %d\n", magic, width, height) > 0 &&
         stream_write(s, residuals, (uint32_t)count) == count;
    ok = finish_writing(s, name, ok);
  }
  check_free(residuals);
  return ok;
}
