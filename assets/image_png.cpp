// PNG through libpng over the file layer's streams: textures with their
// info text and mip options, 16-bit grey height maps, screenshots, and the
// RGBA loader the fonts use.
//
// libpng reports errors by longjmp. Every function that calls setjmp
// (the *_guarded ones) works only through a job record its caller owns, so
// nothing it touches is a local variable changed after setjmp and no C++
// object with a destructor lives in its frame.
#include <png.h>

#include <cstdlib>
#include <cstring>

#include "assets/image.h"
#include "core/file.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "platform/log.h"

static int host_little_endian() {
  const uint16_t one = 1;
  uint8_t first;
  std::memcpy(&first, &one, 1);
  return first == 1;
}

// What one read or write works on; freed by its caller whatever happened.
struct png_job {
  const char* name;
  stream* s;
  png_structp png;
  png_infop info;
  png_infop end_info;
  uint8_t* pixels;
  png_bytep* rows;
  char* text;
  size_t text_length;
  int width;
  int height;
  int channels;
  int sixteen;  // grey read: the samples were 16-bit
  int gray;     // grey read rather than colour
  int writing;
};

static void png_error_cb(png_structp png, png_const_charp message) {
  const png_job* job = static_cast<const png_job*>(png_get_error_ptr(png));
  image_refuse(job->writing, job->name, "%s", message);
  png_longjmp(png, 1);
}

static void png_warning_cb(png_structp, png_const_charp) {}

void image_png_read_cb(png_structp png, png_bytep data, png_size_t length) {
  stream* s = static_cast<stream*>(png_get_io_ptr(png));
  if (length > 0xFFFFFFFFu || stream_read(s, data, (uint32_t)length) != length)
    png_error(png, "the file is truncated");
}

void image_png_write_cb(png_structp png, png_bytep data, png_size_t length) {
  stream* s = static_cast<stream*>(png_get_io_ptr(png));
  if (length > 0xFFFFFFFFu || stream_write(s, data, (uint32_t)length) != length)
    png_error(png, "write failed");
}

void image_png_flush_cb(png_structp png) {
  stream* s = static_cast<stream*>(png_get_io_ptr(png));
  stream_flush(s);
}

static void job_free(png_job* job) {
  if (job->png) {
    if (job->writing)
      png_destroy_write_struct(&job->png, &job->info);
    else
      png_destroy_read_struct(&job->png, &job->info, &job->end_info);
  }
  check_free(job->rows);
  check_free(job->pixels);
  check_free(job->text);
  if (job->s) stream_close(job->s);
  job->rows = nullptr;
  job->pixels = nullptr;
  job->text = nullptr;
  job->s = nullptr;
}

static void append_text(png_job* job, const char* text, size_t length) {
  if (length == 0) return;
  char* grown = static_cast<char*>(check_realloc(job->text, job->text_length + length + 1));
  if (!grown) png_error(job->png, "no memory for the info text");
  std::memcpy(grown + job->text_length, text, length);
  job->text_length += length;
  grown[job->text_length] = '\0';
  job->text = grown;
}

static void append_chunks(png_job* job, png_infop info) {
  png_textp text = nullptr;
  int count = 0;
  png_get_text(job->png, info, &text, &count);
  for (int i = 0; i < count; i++)
    if (text[i].text) append_text(job, text[i].text, text[i].text_length);
}

// Opens the file and checks the signature. quiet: a file that is not a PNG
// is refused without a message (the caller tries other formats) and
// *not_png is set.
static int open_png(png_job* job, int quiet, int* not_png) {
  job->s = stream_open(job->name, "rb");
  if (!job->s) {
    image_refuse(0, job->name, "can't open the file");
    return 0;
  }
  png_byte signature[8];
  if (stream_read(job->s, signature, 8) != 8 || png_sig_cmp(signature, 0, 8) != 0) {
    if (!quiet) image_refuse(0, job->name, "not a PNG file");
    if (not_png) *not_png = 1;
    return 0;
  }
  return 1;
}

// libpng keeps no limit of its own on Debian: a chunk may claim 2 GiB, and
// too long a chunk is only a warning before libpng allocates it anyway. Our
// info chunks are small, and libpng's own buffers are a few rows at most,
// so its allocator refuses anything above this; the chunk is then skipped
// (and a chunk that really is that long runs into the end of the file).
enum { png_chunk_bytes_max = 4 << 20 };

static png_voidp png_capped_malloc(png_structp, png_alloc_size_t size) {
  return size <= png_chunk_bytes_max ? std::malloc(size) : nullptr;
}

static void png_capped_free(png_structp, png_voidp p) { std::free(p); }

static int read_guarded(png_job* job) {
  job->png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, job, png_error_cb, png_warning_cb, nullptr,
                                      png_capped_malloc, png_capped_free);
  if (!job->png) return image_refuse(0, job->name, "libpng could not start");
  job->info = png_create_info_struct(job->png);
  job->end_info = png_create_info_struct(job->png);
  if (!job->info || !job->end_info) return image_refuse(0, job->name, "libpng could not start");
  if (setjmp(png_jmpbuf(job->png))) return 0;

  png_set_read_fn(job->png, job->s, image_png_read_cb);
  png_set_sig_bytes(job->png, 8);
  png_set_user_limits(job->png, image_max_side, image_max_side);
  png_set_chunk_malloc_max(job->png, png_chunk_bytes_max);
  png_read_info(job->png, job->info);
  png_uint_32 w, h;
  int depth, colour, interlace;
  png_get_IHDR(job->png, job->info, &w, &h, &depth, &colour, &interlace, nullptr, nullptr);
  if (w < 1 || h < 1 || w > image_max_side || h > image_max_side) {
    image_refuse(0, job->name, "size %u x %u is outside 1..%d", (unsigned)w, (unsigned)h,
                 (int)image_max_side);
    return 0;
  }
  // The pixels come out of deflate data still to be read, which cannot
  // expand by more than its ratio: a header alone must not size the chain.
  const uint64_t packed = (uint64_t)w * h * (uint64_t)depth * png_get_channels(job->png, job->info) / 8;
  if (packed > stream_remaining(job->s) * stream_inflate_ratio + 258)
    return image_refuse(0, job->name, "the file is truncated: too short for %u x %u pixels", (unsigned)w,
                        (unsigned)h);
  job->width = (int)w;
  job->height = (int)h;

  size_t bytes, row_step;
  if (job->gray) {
    if (colour == PNG_COLOR_TYPE_PALETTE)
      return image_refuse(0, job->name, "a palette image is not grey");
    if (depth < 8) png_set_expand_gray_1_2_4_to_8(job->png);
    job->sixteen = depth == 16;
    if (depth == 16 && host_little_endian()) png_set_swap(job->png);
    if (colour & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(job->png);
    if (colour & PNG_COLOR_MASK_COLOR) png_set_rgb_to_gray_fixed(job->png, 1, -1, -1);
    job->channels = 1;
    row_step = (size_t)w * 2;
    bytes = row_step * h;
  } else {
    job->channels = (colour & PNG_COLOR_MASK_ALPHA) ? 4 : 3;
    if (png_get_valid(job->png, job->info, PNG_INFO_tRNS)) {
      png_set_tRNS_to_alpha(job->png);
      job->channels = 4;
    }
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(job->png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(job->png);
    if (depth == 16) png_set_strip_16(job->png);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA)
      png_set_gray_to_rgb(job->png);
    row_step = (size_t)w * (size_t)job->channels;
    bytes = image_chain_size(job->width, job->height, job->channels);
  }
  png_set_interlace_handling(job->png);
  png_read_update_info(job->png, job->info);
  const size_t expected = job->gray ? (size_t)w * (job->sixteen ? 2 : 1) : row_step;
  if (png_get_rowbytes(job->png, job->info) != expected)
    return image_refuse(0, job->name, "an unexpected pixel layout");

  job->pixels = static_cast<uint8_t*>(check_malloc(bytes));
  job->rows = static_cast<png_bytep*>(check_malloc(sizeof(png_bytep) * h));
  if (!job->pixels || !job->rows) return image_refuse(0, job->name, "no memory");
  for (png_uint_32 y = 0; y < h; y++) job->rows[y] = job->pixels + (size_t)y * row_step;
  png_read_image(job->png, job->rows);
  png_read_end(job->png, job->end_info);
  if (!stream_verify(job->s)) return image_refuse(0, job->name, "the file is damaged");
  if (!job->gray) {
    append_chunks(job, job->info);
    append_chunks(job, job->end_info);
  }
  return 1;
}

// The side file "<name>.info", appended whole when it opens.
static void append_side_file(png_job* job) {
  const size_t n = std::strlen(job->name);
  char* side = static_cast<char*>(check_malloc(n + 6));
  if (!side) return;
  std::memcpy(side, job->name, n);
  std::memcpy(side + n, ".info", 6);
  stream* s = stream_open(side, "rb");
  check_free(side);
  if (!s) return;
  char buffer[4096];
  for (uint32_t got; (got = stream_read(s, buffer, sizeof buffer)) > 0;) {
    char* grown = static_cast<char*>(check_realloc(job->text, job->text_length + got + 1));
    if (!grown) break;
    std::memcpy(grown + job->text_length, buffer, got);
    job->text_length += got;
    grown[job->text_length] = '\0';
    job->text = grown;
  }
  stream_close(s);
}

// "[mip_custom]": the file holds every level. Level 0 (W x A) is at the top;
// each later level goes below the previous one while it fits in the file's
// height H = 3A/2, else to the right of it at the same row. Returns the new
// chain, or null when a level would lie outside the file.
static uint8_t* cut_custom_levels(const png_job* job, int base_height) {
  const int ch = job->channels;
  const int W = job->width, H = job->height;
  uint8_t* chain = static_cast<uint8_t*>(check_malloc(image_chain_size(W, base_height, ch)));
  if (!chain) {
    image_refuse(0, job->name, "no memory");
    return nullptr;
  }
  uint8_t* out = chain;
  int x = 0, y = 0, lw = W, lh = base_height;
  for (;;) {
    if (x + lw > W || y + lh > H) {
      image_refuse(0, job->name, "custom MIP level %d x %d at (%d, %d) lies outside the image", lw,
                   lh, x, y);
      check_free(chain);
      return nullptr;
    }
    for (int r = 0; r < lh; r++) {
      const uint8_t* from = job->pixels + ((size_t)(y + r) * (size_t)W + (size_t)x) * (size_t)ch;
      std::memcpy(out, from, (size_t)lw * (size_t)ch);
      out += (size_t)lw * (size_t)ch;
    }
    if (lw == 1 && lh == 1) break;
    if (y + lh < H)
      y += lh;
    else
      x += lw;
    lw = lw / 2 > 0 ? lw / 2 : 1;
    lh = lh / 2 > 0 ? lh / 2 : 1;
  }
  return chain;
}

static int read_png(const char* name, uint8_t** pixels, int* width, int* height, int* channels,
                    char** info, int quiet, int* not_png) {
  *pixels = nullptr;
  if (info) *info = nullptr;
  png_job job = {};
  job.name = name;
  if (!open_png(&job, quiet, not_png) || !read_guarded(&job)) {
    job_free(&job);
    return 0;
  }
  png_destroy_read_struct(&job.png, &job.info, &job.end_info);
  job.png = nullptr;
  stream_close(job.s);
  job.s = nullptr;
  check_free(job.rows);
  job.rows = nullptr;
  append_side_file(&job);

  const char* text = job.text ? job.text : "";
  const int flags = std::strstr(text, "[mip_max_alpha]") ? image_flag_max_alpha : 0;
  int h = job.height;
  if (std::strstr(text, "[mip_custom]")) {
    if ((2 * job.height) % 3 != 0) {
      console_printf("Warning: Invalid height for custom MIP map in '%.950s'", name);
      image_build_mips(job.pixels, job.width, job.height, job.channels, flags);
    } else {
      h = 2 * job.height / 3;
      uint8_t* chain = cut_custom_levels(&job, h);
      if (!chain) {
        job_free(&job);
        return 0;
      }
      check_free(job.pixels);
      job.pixels = chain;
    }
  } else {
    image_build_mips(job.pixels, job.width, job.height, job.channels, flags);
  }

  *pixels = job.pixels;
  *width = job.width;
  *height = h;
  *channels = job.channels;
  if (info)
    *info = job.text;
  else
    check_free(job.text);
  return 1;
}

int image_read_png(const char* name, uint8_t** pixels, int* width, int* height, int* channels,
                   char** info) {
  return read_png(name, pixels, width, height, channels, info, 0, nullptr);
}

int image_load_png_gray(const char* name, uint16_t** samples, int* width, int* height) {
  *samples = nullptr;
  png_job job = {};
  job.name = name;
  job.gray = 1;
  if (!open_png(&job, 0, nullptr) || !read_guarded(&job)) {
    job_free(&job);
    return 0;
  }
  const int result = stream_is_scrambled(job.s) ? 2 : 1;
  if (!job.sixteen) {
    // Widen each row in place from its end: v -> v * 257.
    for (int y = 0; y < job.height; y++) {
      uint8_t* row = job.rows[y];
      for (int x = job.width - 1; x >= 0; x--) {
        const uint8_t v = row[x];
        row[2 * x] = v;
        row[2 * x + 1] = v;
      }
    }
  }
  *samples = reinterpret_cast<uint16_t*>(job.pixels);
  *width = job.width;
  *height = job.height;
  job.pixels = nullptr;
  job_free(&job);
  return result;
}

int image_load_rgba(const char* name, uint8_t** pixels, int* width, int* height) {
  *pixels = nullptr;
  uint8_t* p = nullptr;
  int w, h, channels, not_png = 0;
  if (read_png(name, &p, &w, &h, &channels, nullptr, 1, &not_png)) {
    if (channels == 4) {
      *pixels = p;
      *width = w;
      *height = h;
      return 1;
    }
    const size_t count = (size_t)w * (size_t)h;
    uint8_t* rgba = static_cast<uint8_t*>(check_malloc(count * 4));
    if (!rgba) {
      check_free(p);
      return image_refuse(0, name, "no memory");
    }
    for (size_t i = 0; i < count; i++) {
      rgba[i * 4 + 0] = p[i * 3 + 0];
      rgba[i * 4 + 1] = p[i * 3 + 1];
      rgba[i * 4 + 2] = p[i * 3 + 2];
      rgba[i * 4 + 3] = 255;
    }
    check_free(p);
    *pixels = rgba;
    *width = w;
    *height = h;
    return 1;
  }
  if (!not_png) return 0;  // a broken PNG, or no file: already said
  stream* s = stream_open(name, "rb");
  if (!s) return 0;
  char magic[16];
  int ok = 0;
  if (stream_scanf(s, "%15s", magic) == 1 &&
      (!std::strcmp(magic, "J6") || !std::strcmp(magic, "J7")))
    ok = image_read_raw(magic, s, 4, pixels, width, height, name);
  else
    image_refuse(0, name, "not a PNG, J6 or J7 file");
  stream_close(s);
  return ok;
}

// ---------------------------------------------------------------------------
// Writing

// rows[i] are set by the caller; bit depth 8 or 16.
static int write_guarded(png_job* job, int depth, int colour, int swap) {
  job->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, job, png_error_cb, png_warning_cb);
  if (!job->png) return 0;
  job->info = png_create_info_struct(job->png);
  if (!job->info) return 0;
  if (setjmp(png_jmpbuf(job->png))) return 0;
  png_set_write_fn(job->png, job->s, image_png_write_cb, image_png_flush_cb);
  png_set_IHDR(job->png, job->info, (png_uint_32)job->width, (png_uint_32)job->height, depth,
               colour, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(job->png, job->info);
  if (swap) png_set_swap(job->png);
  png_write_image(job->png, job->rows);
  png_write_end(job->png, nullptr);
  return 1;
}

// PNG row i is buffer row i, or row height - 1 - i when bottom_first.
static int write_png(const char* name, const uint8_t* pixels, int width, int height,
                     size_t row_bytes, int bottom_first, int depth, int colour, int swap) {
  if (width < 1 || height < 1 || width > image_max_side || height > image_max_side) {
    image_refuse(1, name, "size %d x %d is outside 1..%d", width, height, (int)image_max_side);
    return 0;
  }
  png_job job = {};
  job.name = name;
  job.writing = 1;
  job.width = width;
  job.height = height;
  job.rows = static_cast<png_bytep*>(check_malloc(sizeof(png_bytep) * (size_t)height));
  if (!job.rows) {
    image_refuse(1, name, "no memory");
    return 0;
  }
  for (int i = 0; i < height; i++) {
    const int from = bottom_first ? height - 1 - i : i;
    job.rows[i] = const_cast<png_bytep>(pixels + (size_t)from * row_bytes);
  }
  job.s = stream_open(name, "wb");
  if (!job.s) {
    image_refuse(1, name, "can't open or write the file");
    job_free(&job);
    return 0;
  }
  int ok = write_guarded(&job, depth, colour, swap);
  if (ok && (stream_flush(job.s) != 0 || std::ferror(job.s->file))) {
    image_refuse(1, name, "can't open or write the file");
    ok = 0;
  }
  job_free(&job);
  return ok;
}

int image_write_png(const char* name, const uint16_t* samples, int width, int height) {
  return write_png(name, reinterpret_cast<const uint8_t*>(samples), width, height,
                   (size_t)width * 2, 0, 16, PNG_COLOR_TYPE_GRAY, host_little_endian());
}

int image_write_screenshot(const char* name, const uint8_t* rgb, int width, int height) {
  return write_png(name, rgb, width, height, (size_t)width * 3, 1, 8, PNG_COLOR_TYPE_RGB, 0);
}

int image_write_png8(const char* name, const uint8_t* pixels, int width, int height, int channels) {
  static const int colours[5] = {-1, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA,
                                 PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
  if (channels < 1 || channels > 4) {
    image_refuse(1, name, "%d channels", channels);
    return 0;
  }
  return write_png(name, pixels, width, height, (size_t)width * (size_t)channels, 0, 8,
                   colours[channels], 0);
}
