// Animated textures on the driver: the first upload, and replacing the
// levels with a sequence frame or the custom frame.
#include <GL/gl.h>

#include "assets/image.h"
#include "assets/texture.h"
#include "assets/texture_anim.h"
#include "core/memory.h"
#include "core/message_ring.h"

// Every level the upload made, down to 1 x 1, each side held at 1: a
// non-square texture's smallest levels change with the rest.
static void replace_levels(unsigned id, const uint8_t* pixels, int width, int height, int channels) {
  const GLenum format = channels == 4 ? GL_RGBA : GL_RGB;
  glBindTexture(GL_TEXTURE_2D, id);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  int w = width, h = height;
  for (int level = 0;; level++) {
    glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, format, GL_UNSIGNED_BYTE, pixels);
    if (w == 1 && h == 1) break;
    pixels += (size_t)w * h * channels;
    w = w / 2 > 0 ? w / 2 : 1;
    h = h / 2 > 0 ? h / 2 : 1;
  }
  glBindTexture(GL_TEXTURE_2D, 0);
}

unsigned texture_anim_upload(texture_animation* anim, int flags) {
  const anim_frame* f = &anim->frames[anim->sequence[0]];
  const unsigned id = texture_upload_mips(f->pixels, f->width, f->height, f->channels,
                                          flags & ~texture_flag_compress);
  anim->id = id;
  anim->current_frame = anim->sequence[0];
  anim->start_tick = 0;
  anim->paused = 0;
  if (!id || !texture_anim_add(anim)) {
    if (id) {
      GLuint name = id;
      glDeleteTextures(1, &name);
    }
    console_printf("No room to keep an animated texture");
    texture_anim_free(anim);
    return 0;
  }
  return id;
}

void texture_anims_update(int tick) {
  for (size_t i = 0; i < texture_anim_table.count; i++) {
    texture_animation* a = *static_cast<texture_animation**>(growable_array_at(&texture_anim_table, i));
    if (a->paused) continue;
    const int frame = texture_anim_frame_at(a, tick);
    if (frame == a->current_frame) continue;
    const anim_frame* f = &a->frames[frame];
    replace_levels(a->id, f->pixels, f->width, f->height, f->channels);
    a->current_frame = frame;
  }
}

int texture_custom_frame_end(unsigned id) {
  texture_animation* a = texture_anim_find(id);
  if (!a || !a->custom_frame) return 0;
  const anim_frame* f = &a->frames[0];
  image_build_mips(a->custom_frame, f->width, f->height, f->channels, 0);
  replace_levels(a->id, a->custom_frame, f->width, f->height, f->channels);
  return 1;
}
