// The driver side of the ground compositor: region textures, uploads, and
// composing regions with GL in the copy and framebuffer modes.
#include <GL/gl.h>

#include <cstring>
#include <vector>

#include "assets/gl_ext.h"
#include "assets/image.h"
#include "assets/shader.h"
#include "assets/loading.h"
#include "assets/texture.h"
#include "assets/verbose.h"
#include "core/growable_array.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "platform/log.h"
#include "terrain/bitmap.h"
#include "terrain/decals.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/terrain_lod.h"
#include "terrain/tiles.h"

void placeholder_pixels(uint8_t* out, int size, int check, int grey) {
  if (check < 1) check = 1;
  for (int row = 0; row < size; row++)
    for (int col = 0; col < size; col++) {
      const int white = ((col / check) ^ (row / check)) & 1;
      const uint8_t v = (uint8_t)(white ? grey : 0);
      std::memset(out + 3 * ((size_t)size * row + col), v, 3);
    }
}

namespace {

void set_region_filtering(const height_field* field) {
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  if (!ground_mipmaps) return;
  if (field->texture_mode == 3 && gl_entry.glGenerateMipmapEXT) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    gl_entry.glGenerateMipmapEXT(GL_TEXTURE_2D);
  } else if (field->texture_mode == 2 && gl_caps.generate_mipmap) {
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP_SGIS, GL_TRUE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
  } else if (field->texture_mode == 1) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
  }
}

// Uploads a base level, and in mode 1 with mipmaps its box-filtered chain.
void upload_levels(const height_field* field, const uint8_t* pixels, int size, int sub) {
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  int level = 0;
  for (int s = size; s >= 1; s /= 2, level++) {
    if (sub)
      glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, s, s, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    else
      glTexImage2D(GL_TEXTURE_2D, level, GL_RGB, s, s, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    if (!(ground_mipmaps && field->texture_mode == 1)) break;
    pixels += (size_t)s * s * 3;
  }
}

void upload_region(height_field* field, uint32_t texture, const uint8_t* pixels, int size) {
  if (!texture) return;
  glBindTexture(GL_TEXTURE_2D, texture);
  upload_levels(field, pixels, size, 1);
  glBindTexture(GL_TEXTURE_2D, 0);
}

void upload_low_detail(uint32_t texture, const uint8_t* pixels, int width, int height) {
  if (!texture) return;
  glBindTexture(GL_TEXTURE_2D, texture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels);
  glBindTexture(GL_TEXTURE_2D, 0);
}

const char* renderer_string() { return gl_caps.renderer; }

// Region space: the region's cells map to [-1, 1]^2 on the plane z = -1,
// x to x and z to y, so the bottom row of the render is the region's first.
struct region_frame {
  float x0, z0, span;  // world
  float to_x(float wx) const { return -1.0f + 2.0f * (wx - x0) / span; }
  float to_y(float wz) const { return -1.0f + 2.0f * (wz - z0) / span; }
};

void draw_tiles(height_field* field, int x, int z, int size) {
  const int q = 1 << field->n;
  uint32_t bound = 0xFFFFFFFFu;
  glBegin(GL_QUADS);
  for (int j = 0; j < size; j++)
    for (int i = 0; i < size; i++) {
      const int tx = x + i, tz = z + j;
      if (tx >= q || tz >= q) continue;
      const uint32_t texture = field->tile_textures[field->tilemap[tx + q * tz]];
      if (texture != bound) {
        glEnd();
        glBindTexture(GL_TEXTURE_2D, texture);
        bound = texture;
        glBegin(GL_QUADS);
      }
      const float x0 = -1.0f + 2.0f * i / size, x1 = -1.0f + 2.0f * (i + 1) / size;
      const float y0 = -1.0f + 2.0f * j / size, y1 = -1.0f + 2.0f * (j + 1) / size;
      glTexCoord2f(0.0625f, 0.0625f);
      glVertex3f(x0, y0, -1.0f);
      glTexCoord2f(0.9375f, 0.0625f);
      glVertex3f(x1, y0, -1.0f);
      glTexCoord2f(0.9375f, 0.9375f);
      glVertex3f(x1, y1, -1.0f);
      glTexCoord2f(0.0625f, 0.9375f);
      glVertex3f(x0, y1, -1.0f);
    }
  glEnd();
}

// The decals over the region, each with the texture `pick` chooses.
void draw_decals(height_field* field, const region_frame& frame, int pick) {
  if (field->hide_decals || !field->decals.data) return;
  size_t count = 0;
  const int32_t* list =
      decal_bins_query(field, frame.x0, frame.z0, frame.x0 + frame.span, frame.z0 + frame.span, &count);
  for (size_t i = 0; i < count; i++) {
    const decal* d = decal_at(field, list[i]);
    const uint32_t texture = pick == 0 ? d->texture : pick == 1 ? d->tnorm_texture : d->tspec_texture;
    if (!texture) continue;
    if (pick == 0) field->decals_drawn++;
    glBindTexture(GL_TEXTURE_2D, texture);
    // extent_a along (cos, -sin), extent_b along the heading's line (sin, cos).
    const float ax = d->cos_angle * d->extent_a / 2, az = -d->sin_angle * d->extent_a / 2;
    const float bx = d->sin_angle * d->extent_b / 2, bz = d->cos_angle * d->extent_b / 2;
    // With the workaround, a decal more than 256 pixels across on the
    // region is drawn as a grid of pieces of at most 256.
    int pieces = 1;
    if (ati_workaround == 1) {
      const float across = (d->extent_a > d->extent_b ? d->extent_a : d->extent_b) / frame.span * field->block_size;
      while (across / (float)pieces > 256.0f && pieces < 64) pieces *= 2;
    }
    const float st[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    glBegin(GL_QUADS);
    for (int pj = 0; pj < pieces; pj++)
      for (int pi = 0; pi < pieces; pi++)
        for (const auto& c : st) {
          const float u = (pi + c[0]) / pieces, v = (pj + c[1]) / pieces;
          const float wx = d->x + (2 * u - 1) * ax + (2 * v - 1) * bx;
          const float wz = d->z + (2 * u - 1) * az + (2 * v - 1) * bz;
          glTexCoord2f(u, v);
          glVertex3f(frame.to_x(wx), frame.to_y(wz), -1.0f);
        }
    glEnd();
    field->composited_count++;
  }
}

// The low-detail texture over the region: one texel per vertex.
void draw_low_detail(height_field* field, int x, int z, int size) {
  const int c0 = 2 * x, r0 = 2 * z, c1 = 2 * (x + size), r1 = 2 * (z + size);
  const int kx = c0 / 384, kz = r0 / 384;
  const int w = field->low_detail_count;
  if (!field->low_detail_textures || kx >= w || kz >= w) return;
  glBindTexture(GL_TEXTURE_2D, field->low_detail_textures[kx + w * kz]);
  const float sx = 1.0f / (float)ground_low_detail_side(field, kx), sz = 1.0f / (float)ground_low_detail_side(field, kz);
  auto s = [&](int cell) { return ((float)(cell - 384 * kx) + 64.0f + 0.5f) * sx; };
  auto t = [&](int cell) { return ((float)(cell - 384 * kz) + 64.0f + 0.5f) * sz; };
  glBegin(GL_QUADS);
  glTexCoord2f(s(c0), t(r0));
  glVertex3f(-1, -1, -1);
  glTexCoord2f(s(c1), t(r0));
  glVertex3f(1, -1, -1);
  glTexCoord2f(s(c1), t(r1));
  glVertex3f(1, 1, -1);
  glTexCoord2f(s(c0), t(r1));
  glVertex3f(-1, 1, -1);
  glEnd();
}

void whole_quad() {
  glBegin(GL_QUADS);
  glVertex3f(-1, -1, -1);
  glVertex3f(1, -1, -1);
  glVertex3f(1, 1, -1);
  glVertex3f(-1, 1, -1);
  glEnd();
}

// Makes `texture` the render target (mode 3). 0 when the framebuffer is not
// complete: the texture keeps what it held.
int bind_target(height_field* field, uint32_t texture) {
  if (field->texture_mode != 3) return 1;
  gl_entry.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, field->framebuffer);
  gl_entry.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, texture, 0);
  const GLenum status = gl_entry.glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
  if (status == GL_FRAMEBUFFER_COMPLETE_EXT) return 1;
  console_printf("Framebuffer error %x", (unsigned)status);
  gl_entry.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  return 0;
}

void finish_target(height_field* field, uint32_t texture) {
  glBindTexture(GL_TEXTURE_2D, texture);
  if (field->texture_mode == 3) {
    gl_entry.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    if (ground_mipmaps && gl_entry.glGenerateMipmapEXT) gl_entry.glGenerateMipmapEXT(GL_TEXTURE_2D);
  } else {
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, field->block_size, field->block_size);
  }
  glBindTexture(GL_TEXTURE_2D, 0);
}

void render_region(height_field* field, const uint32_t* textures, int x, int z, int size) {
  if (field->texture_mode == 3 && (!field->framebuffer || !gl_entry.glBindFramebufferEXT)) return;
  const region_frame frame = {2.0f * x * field->spacing, 2.0f * z * field->spacing, 2.0f * size * field->spacing};
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glFrustum(-0.5, 0.5, -0.5, 0.5, 0.5, 2.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glDisable(GL_FOG);
  glViewport(0, 0, field->block_size, field->block_size);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glColor4f(1, 1, 1, 1);

  // Colour: tiles, decals, then twice the product with the shading.
  if (bind_target(field, textures[0])) {
    glDisable(GL_BLEND);
    draw_tiles(field, x, z, size);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    draw_decals(field, frame, 0);
    if (!field->normal_mapped) {
      glBlendFunc(GL_DST_COLOR, GL_SRC_COLOR);
      draw_low_detail(field, x, z, size);
    }
    glDisable(GL_BLEND);
    finish_target(field, textures[0]);
  }
  if (field->normal_mapped) {
    // The packed normals, with the decals' normal maps composed onto them.
    if (textures[1] && bind_target(field, textures[1])) {
      draw_low_detail(field, x, z, size);
      if (shaders_active && gl_entry.glActiveTextureARB && field->low_detail_textures) {
        gl_entry.glActiveTextureARB(GL_TEXTURE1_ARB);
        glBindTexture(GL_TEXTURE_2D, field->low_detail_textures[(2 * x / 384) + field->low_detail_count * (2 * z / 384)]);
        gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB);
        shader_use(shader_terrain_normals);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        draw_decals(field, frame, 1);
        glDisable(GL_BLEND);
        shader_use(shader_fixed);
        gl_entry.glActiveTextureARB(GL_TEXTURE1_ARB);
        glBindTexture(GL_TEXTURE_2D, 0);
        gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB);
      }
      finish_target(field, textures[1]);
    }
    // Specular: none, then the decals' own.
    if (textures[2] && bind_target(field, textures[2])) {
      glDisable(GL_TEXTURE_2D);
      glColor4f(0, 1, 1, 1);
      whole_quad();
      glColor4f(1, 1, 1, 1);
      glEnable(GL_TEXTURE_2D);
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      draw_decals(field, frame, 2);
      glDisable(GL_BLEND);
      finish_target(field, textures[2]);
    }
  }
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
}

uint32_t new_rgb_texture(const uint8_t* pixels, int width, int height, GLint filter) {
  GLuint id = 0;
  glGenTextures(1, &id);
  if (!id) return 0;
  glBindTexture(GL_TEXTURE_2D, id);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  return id;
}

void make_textures(height_field* field) {
  if (field->texture_mode != 1 && field->low_detail_textures) {
    loading_show("Creating low detail textures");
    const int w = field->low_detail_count;
    std::vector<uint8_t> image((size_t)512 * 512 * 3);
    for (int kz = 0; kz < w; kz++)
      for (int kx = 0; kx < w; kx++) {
        const int sx = ground_low_detail_side(field, kx), sz = ground_low_detail_side(field, kz);
        build_low_detail_textures(field, image.data(), 384 * kx - 64, 384 * kz - 64, sx, sz);
        field->low_detail_textures[kx + w * kz] = new_rgb_texture(image.data(), sx, sz, GL_LINEAR);
      }
    if (field->low_detail_dirty) std::memset(field->low_detail_dirty, 0, (size_t)bitmap_bytes((int64_t)w * w));
    field->low_detail_cursor = 0;
    if (verbose) log_printf("%lu bytes texture memory used after low detail ground textures\n", (unsigned long)texture_bytes);
  }
  loading_show("Creating LOD textures");
  const int sets = field->normal_mapped ? 3 : 1;
  for (int level = 0; level < lod_texture_levels; level++)
    for (int j = 0; j < lod_texture_window; j++)
      for (int k = 0; k < lod_texture_window; k++)
        for (int set = 0; set < sets; set++)
          field->lod_textures[set][level][j][k] = make_placeholder_texture(field, 64 >> level, (1530 - 255 * level) / 6);
  const int blocks = terrain_block_count(field);
  for (int set = 0; set < sets; set++)
    if (field->block_textures[set])
      for (int b = 0; b < blocks * blocks; b++) field->block_textures[set][b] = make_placeholder_texture(field, 16, 0);
}

void upload_stale(height_field* field) { ground_upload_stale_lod(field, 1); }
void upload_all(height_field* field) { ground_upload_stale_lod(field, 0); }

uint32_t load_texture(const char* name) { return texture_load(name); }
int load_image(const char* name, uint8_t** pixels, int32_t* width, int32_t* height) {
  return image_load_cached(name, pixels, width, height);
}
void delete_textures(const uint32_t* ids, int count) { glDeleteTextures(count, ids); }
uint32_t create_framebuffer() {
  if (!gl_caps.framebuffer_object || !gl_entry.glGenFramebuffersEXT) return 0;
  GLuint framebuffer = 0;
  gl_entry.glGenFramebuffersEXT(1, &framebuffer);
  return framebuffer;
}
void delete_framebuffer(uint32_t framebuffer) {
  if (gl_entry.glDeleteFramebuffersEXT) gl_entry.glDeleteFramebuffersEXT(1, &framebuffer);
}

}  // namespace

uint32_t make_placeholder_texture(height_field* field, int check, int grey) {
  const int bs = field->block_size;
  std::vector<uint8_t> pixels((size_t)bs * bs * 3);
  placeholder_pixels(pixels.data(), bs, check, grey);
  GLuint id = 0;
  glGenTextures(1, &id);
  if (!id) return 0;
  glBindTexture(GL_TEXTURE_2D, id);
  if (ground_mipmaps && field->texture_mode == 1) {
    std::vector<uint8_t> chain(image_chain_size(bs, bs, 3));
    std::memcpy(chain.data(), pixels.data(), pixels.size());
    image_build_mips_rgb(chain.data(), bs, bs);
    upload_levels(field, chain.data(), bs, 0);
  } else {
    upload_levels(field, pixels.data(), bs, 0);
  }
  set_region_filtering(field);
  glBindTexture(GL_TEXTURE_2D, 0);
  return id;
}

void ground_gl_install() {
  ground_gl.upload_region = upload_region;
  ground_gl.render_region = render_region;
  ground_gl.upload_low_detail = upload_low_detail;
  ground_gl.renderer = renderer_string;
  terrain_textures.load_texture = load_texture;
  terrain_textures.load_image = load_image;
  terrain_textures.delete_textures = delete_textures;
  terrain_textures.create_framebuffer = create_framebuffer;
  terrain_textures.delete_framebuffer = delete_framebuffer;
  terrain_lod_uploads.upload_stale = upload_stale;
  terrain_lod_uploads.upload_all = upload_all;
  terrain_lod_uploads.make_textures = make_textures;
}
