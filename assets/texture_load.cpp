// Loading textures and cached images from files: the magic-word dispatch,
// LINK files, ANIM1 sequences and the PNG path with its compression option.
#include <GL/gl.h>

#include <cctype>
#include <cstring>

#include "assets/image.h"
#include "assets/texture.h"
#include "assets/texture_anim.h"
#include "assets/texture_settings.h"
#include "assets/verbose.h"
#include "core/file.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "platform/log.h"

static const char* const link_fallback = "@colors/white.png";

static int is_pow2(int n) { return n > 0 && (n & (n - 1)) == 0; }

// The rest of a LINK file names the target; the link falls back to white
// until the target has loaded, which also ends a loop of links.
static unsigned load_link(stream* s, const char* name) {
  texture_add_link(name, link_fallback);
  char target[1024];
  const uint32_t n = stream_read(s, target, sizeof target - 1);
  stream_close(s);
  target[n] = 0;
  size_t end = n;
  while (end > 0 && std::isspace((unsigned char)target[end - 1])) end--;
  target[end] = 0;
  const char* start = target;
  while (*start && std::isspace((unsigned char)*start)) start++;
  if (!*start) {
    console_printf("Empty texture link \"%.900s\"", name);
    return 0;
  }
  const unsigned id = texture_load(start);
  const char* loaded = id ? texture_name(id) : nullptr;
  if (loaded) texture_set_link_target(name, loaded);
  return id;
}

// An ANIM1 file: a refused one has said why and is not tried as anything
// else.
static unsigned load_animation(stream* s, const char* name, int flags, unsigned bytes_at_start) {
  texture_animation* anim = texture_anim_read(s, name);
  stream_close(s);
  if (!anim) return 0;
  const unsigned id = texture_anim_upload(anim, flags);
  if (!id) return 0;
  if (!texture_add_record(id, (int)(texture_bytes - bytes_at_start), nullptr, name)) {
    log_printf("No room to keep texture '%.900s'\n", name);
    GLuint name_id = id;
    glDeleteTextures(1, &name_id);
    // The only animation without a record now is this one.
    texture_anims_delete_stale(0);
    return 0;
  }
  return id;
}

int texture_png_flags(int flags, const char* info) {
  if (info && std::strstr(info, "[compress]")) flags |= texture_flag_compress;
  if (texture_compress == texture_compress_never) flags &= ~texture_flag_compress;
  if (texture_compress == texture_compress_always) flags |= texture_flag_compress;
  return flags;
}

unsigned texture_load(const char* requested) {
  if (!requested || !*requested) return 0;
  int reduction;
  const char* name = texture_strip_detail(requested, &reduction);
  const char* target = texture_link_target(name);
  if (target) name = target;
  const unsigned bytes_at_start = texture_bytes;

  texture_record* cached = texture_find(name);
  if (cached && cached->id) return cached->id;

  stream* s = stream_open(name, "rb");
  if (!s) {
    if (verbose) console_printf("Can't open texture \"%.900s\"", name);
    return 0;
  }
  char word[16];
  if (stream_scanf(s, "%15s", word) != 1) {
    stream_close(s);
    return 0;
  }
  int flags = texture_wrap_flags(name);

  unsigned id = 0;
  int width = 0, height = 0;
  uint8_t* pixels = nullptr;
  if (std::strcmp(word, "LINK") == 0) return load_link(s, name);
  if (std::strcmp(word, "ANIM1") == 0) return load_animation(s, name, flags, bytes_at_start);
  if (std::strcmp(word, "J7") == 0 || std::strcmp(word, "J6") == 0) {
    const int channels = word[1] == '7' ? 4 : 3;
    if (image_read_raw(word, s, channels, &pixels, &width, &height, name))
      id = image_fit_pow2(pixels, width, height, channels, reduction, flags, name);
  } else if (std::strcmp(word, "P3") == 0 || std::strcmp(word, "P6") == 0) {
    if (image_read_ppm(word, s, &pixels, &width, &height, name))
      id = image_fit_pow2(pixels, width, height, 3, reduction, flags, name);
  }
  stream_close(s);
  check_free(pixels);
  pixels = nullptr;

  char* info = nullptr;
  if (!id) {
    int channels = 0;
    if (!image_read_png(name, &pixels, &width, &height, &channels, &info)) return 0;
    flags = texture_png_flags(flags, info);
    id = image_fit_pow2(pixels, width, height, channels, reduction, flags, name);
    check_free(pixels);
    if (!id) {
      check_free(info);
      return 0;
    }
  }
  if (!is_pow2(width) || !is_pow2(height))
    console_printf("Warning: Non power of 2 texture '%.950s'", name);

  if (!texture_add_record(id, (int)(texture_bytes - bytes_at_start), info, name)) {
    // Without a record nothing could free it later.
    log_printf("No room to keep texture '%.900s'\n", name);
    glDeleteTextures(1, &id);
    check_free(info);
    return 0;
  }
  return id;
}

int image_load_cached(const char* requested, uint8_t** pixels_out, int* width_out, int* height_out) {
  int reduction;
  const char* name = texture_strip_detail(requested, &reduction);
  if (image_record* r = image_find(name)) {
    *pixels_out = r->pixels;
    *width_out = r->width;
    *height_out = r->height;
    return 1;
  }

  stream* s = stream_open(name, "rb");
  if (!s) {
    if (verbose) console_printf("Can't open texture \"%.900s\"", name);
    return 0;
  }
  char word[16];
  const int have_word = stream_scanf(s, "%15s", word) == 1;
  uint8_t* pixels = nullptr;
  int width = 0, height = 0, channels = 0, ok = 0;
  if (have_word && (std::strcmp(word, "J7") == 0 || std::strcmp(word, "J6") == 0)) {
    channels = word[1] == '7' ? 4 : 3;
    ok = image_read_raw(word, s, channels, &pixels, &width, &height, name);
    stream_close(s);
  } else if (have_word && (std::strcmp(word, "P3") == 0 || std::strcmp(word, "P6") == 0)) {
    channels = 3;
    ok = image_read_ppm(word, s, &pixels, &width, &height, name);
    stream_close(s);
  } else {
    stream_close(s);
    ok = image_read_png(name, &pixels, &width, &height, &channels, nullptr);
  }
  if (!ok) return 0;
  if (!image_reduce_levels(&pixels, &width, &height, channels, 0, reduction)) {
    log_printf("No memory to cache image '%.900s'\n", name);
    check_free(pixels);
    return 0;
  }
  if (channels == 3) {
    const size_t count = image_chain_size(width, height, 1);
    uint8_t* rgba = static_cast<uint8_t*>(check_malloc(count * 4));
    if (!rgba) {
      log_printf("No memory to cache image '%.900s'\n", name);
      check_free(pixels);
      return 0;
    }
    for (size_t i = 0; i < count; i++) {
      std::memcpy(rgba + i * 4, pixels + i * 3, 3);
      rgba[i * 4 + 3] = 255;
    }
    check_free(pixels);
    pixels = rgba;
  }
  image_record* r = image_add_record(pixels, width, height, name);
  if (!r) {
    log_printf("No room to cache image '%.900s'\n", name);
    check_free(pixels);
    return 0;
  }
  *pixels_out = r->pixels;
  *width_out = r->width;
  *height_out = r->height;
  return 1;
}
