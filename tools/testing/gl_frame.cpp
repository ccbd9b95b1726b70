#include "tools/testing/gl_frame.h"

#include <cstdio>
#include <cstdlib>

#include "assets/gl_ext.h"

void gl_target::create(int width, int height, bool with_depth) {
  w = width;
  h = height;
  glGenTextures(1, &colour);
  glBindTexture(GL_TEXTURE_2D, colour);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glBindTexture(GL_TEXTURE_2D, 0);
  if (with_depth) {
    gl_entry.glGenRenderbuffersEXT(1, &depth);
    gl_entry.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, depth);
    gl_entry.glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, w, h);
  }
  gl_entry.glGenFramebuffersEXT(1, &fbo);
}

void gl_target::bind() const {
  gl_entry.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo);
  gl_entry.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, colour, 0);
  if (depth)
    gl_entry.glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, depth);
}

bool gl_target::complete() const {
  bind();
  return gl_entry.glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT;
}

void gl_target::release() {
  if (!fbo && !colour && !depth) return;
  gl_entry.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  if (fbo) gl_entry.glDeleteFramebuffersEXT(1, &fbo);
  if (depth) gl_entry.glDeleteRenderbuffersEXT(1, &depth);
  if (colour) glDeleteTextures(1, &colour);
  fbo = colour = depth = 0;
}

gl_frame gl_frame_read(int w, int h) {
  gl_frame f;
  f.w = w;
  f.h = h;
  f.rgb.resize((size_t)w * (size_t)h * 3);
  // Rows packed tight, whatever the width.
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, f.rgb.data());
  return f;
}

void gl_frame_keep(const gl_frame& f, const std::string& name) {
  const char* folder = std::getenv("BK_TEST_FRAMES");
  if (!folder) return;
  std::FILE* out = std::fopen((std::string(folder) + "/" + name + ".ppm").c_str(), "wb");
  if (!out) return;
  std::fprintf(out, "P6\n%d %d\n255\n", f.w, f.h);
  for (int y = 0; y < f.h; y++) std::fwrite(f.at(0, y), 3, (size_t)f.w, out);
  std::fclose(out);
}

int gl_frame_differing(const gl_frame& a, const gl_frame& b, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0 < 0 ? 0 : y0; y < y1 && y < a.h; y++)
    for (int x = x0 < 0 ? 0 : x0; x < x1 && x < a.w; x++) {
      int d = 0;
      for (int c = 0; c < 3; c++) d += std::abs((int)a.at(x, y)[c] - (int)b.at(x, y)[c]);
      n += d > 24;
    }
  return n;
}

int gl_frame_differing(const gl_frame& a, const gl_frame& b) { return gl_frame_differing(a, b, 0, 0, a.w, a.h); }
