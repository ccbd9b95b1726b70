// Uploading mip chains to OpenGL: wrap modes, filters, compression and the
// border colour.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdlib>

#include "assets/gl_ext.h"
#include "assets/image.h"
#include "assets/texture.h"
#include "core/memory.h"
#include "core/message_ring.h"

unsigned texture_upload_mips(const uint8_t* pixels, int width, int height, int channels, int flags) {
  const int compressed = (flags & texture_flag_compress) && gl_caps.major > 1;
  const GLenum format = channels == 4 ? GL_RGBA : GL_RGB;
  GLenum internal = format;
  if (compressed) internal = channels == 4 ? GL_COMPRESSED_RGBA_ARB : GL_COMPRESSED_RGB_ARB;

  GLuint id = 0;
  glGenTextures(1, &id);
  glBindTexture(GL_TEXTURE_2D, id);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, (flags & texture_flag_repeat_s) ? GL_REPEAT : GL_CLAMP);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, (flags & texture_flag_repeat_t) ? GL_REPEAT : GL_CLAMP);
  while (glGetError() != GL_NO_ERROR) {
  }
  if (!(flags & texture_flag_repeat_s))
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  if (!(flags & texture_flag_repeat_t))
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  // Old drivers without edge clamping get point sampling, which does not
  // blend in the border.
  const int no_edge_clamp = glGetError() != GL_NO_ERROR;
  const int base_only = flags & texture_flag_base_only;
  GLint min_filter;
  if (no_edge_clamp)
    min_filter = base_only ? GL_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  else
    min_filter = base_only ? GL_LINEAR : GL_LINEAR_MIPMAP_NEAREST;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min_filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);

  float border[4] = {0, 0, 0, 0};
  if (channels == 3) texture_border_colour(pixels, width, height, border);
  glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);

  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  const uint8_t* level = pixels;
  int w = width, h = height;
  for (int i = 0;; i++) {
    glTexImage2D(GL_TEXTURE_2D, i, (GLint)internal, w, h, 0, format, GL_UNSIGNED_BYTE, level);
    // A driver may store a generic compressed format uncompressed, and
    // then has no compressed size to report.
    GLint stored_compressed = 0;
    if (compressed) glGetTexLevelParameteriv(GL_TEXTURE_2D, i, GL_TEXTURE_COMPRESSED_ARB, &stored_compressed);
    if (stored_compressed) {
      GLint size = 0;
      glGetTexLevelParameteriv(GL_TEXTURE_2D, i, GL_TEXTURE_COMPRESSED_IMAGE_SIZE_ARB, &size);
      texture_bytes += (unsigned)size;
    } else {
      texture_bytes += (unsigned)(w * h * channels);
    }
    if (base_only || (w == 1 && h == 1)) break;
    level += (size_t)w * h * channels;
    w = w / 2 > 0 ? w / 2 : 1;
    h = h / 2 > 0 ? h / 2 : 1;
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  return id;
}

unsigned texture_upload(const uint8_t* pixels, int width, int height, int channels) {
  return texture_upload_mips(pixels, width, height, channels, 0);
}

unsigned texture_upload_nomip(const uint8_t* pixels, int width, int height, int channels) {
  return texture_upload_mips(pixels, width, height, channels, texture_flag_base_only);
}

unsigned image_fit_pow2(const uint8_t* pixels, int width, int height, int channels, int reduction,
                        int flags, const char* name) {
  texture_fit fit;
  if (!texture_fit_chain(pixels, width, height, channels, reduction, &fit)) {
    console_printf("No memory to fit texture '%.900s'", name ? name : "");
    return 0;
  }
  if (fit.auto_dropped > 0 && name)
    console_printf("%.64s reduced to %dx%d (originally %dx%d)", name, fit.width, fit.height,
                   fit.entry_width, fit.entry_height);
  const unsigned id = texture_upload_mips(fit.level, fit.width, fit.height, channels, flags);
  check_free(fit.buffer);
  return id;
}

unsigned texture_make_tinted(const char* digits, int width, int height,
                             const uint8_t colour_full[3], const uint8_t colour_zero[3]) {
  if (width < 1 || height < 1) return 0;
  uint8_t* pixels = static_cast<uint8_t*>(check_malloc(image_chain_size(width, height, 4)));
  if (!pixels) {
    console_printf("No memory for a %dx%d number plate", width, height);
    return 0;
  }
  texture_tint_mask(pixels, width, height, digits, colour_full, colour_zero);
  image_build_mips(pixels, width, height, 4, 0);
  texture_clear_chain_borders(pixels, width, height);
  const unsigned id = texture_upload_mips(pixels, width, height, 4, 0);
  check_free(pixels);
  return id;
}
