// Animated textures without GL: the ".seq" reader, the animation table, the
// sequence clock and the custom frame's composition.
#include "assets/texture_anim.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "assets/image.h"
#include "assets/texture.h"
#include "assets/verbose.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/stream.h"

growable_array texture_anim_table;

static texture_animation* anim_at(size_t i) {
  return *static_cast<texture_animation**>(growable_array_at(&texture_anim_table, i));
}

void texture_anim_free(texture_animation* anim) {
  if (!anim) return;
  for (int i = 0; i < anim->frame_count; i++) check_free(anim->frames[i].pixels);
  check_free(anim->custom_frame);
  check_free(anim);
}

// The PNG frame's name: the rest of the line, trimmed. 0 after the frame's
// message.
static int read_png_name(stream* s, char* name, size_t size, int frame) {
  if (!stream_gets(s, name, (int)size)) {
    console_printf("EOF while reading .seq");
    return 0;
  }
  size_t n = std::strlen(name);
  if (n == size - 1 && name[n - 1] != '\n' && stream_peekc(s) != -1) {
    console_printf("PNG name of .seq frame %d is too long", frame);
    return 0;
  }
  while (n > 0 && std::isspace((unsigned char)name[n - 1])) name[--n] = 0;
  size_t start = 0;
  while (name[start] && std::isspace((unsigned char)name[start])) start++;
  std::memmove(name, name + start, n - start + 1);
  if (!name[0]) {
    // The line ended without a name; at the end of the file that is the
    // file ending early.
    if (stream_peekc(s) == -1)
      console_printf("EOF while reading .seq");
    else
      console_printf("No PNG name for .seq frame %d", frame);
    return 0;
  }
  return 1;
}

// Reads frame i into anim->frames[i], reduced to the frame budget, adding
// its pixels as read to *pixels_read. 0 after a message; the frame then
// holds no pixels.
static int read_frame(stream* s, texture_animation* anim, int i, const char* file, uint64_t* pixels_read) {
  anim_frame* f = &anim->frames[i];
  char word[16];
  if (stream_scanf(s, "%15s", word) != 1) {
    console_printf("Error reading .seq frame %d", i);
    return 0;
  }
  uint8_t* pixels = nullptr;
  int width = 0, height = 0, channels = 0;
  if (std::strcmp(word, "J7") == 0) {
    channels = 4;
    if (!image_read_raw(word, s, 4, &pixels, &width, &height, file)) {
      console_printf("Error reading .seq frame %d", i);
      return 0;
    }
  } else if (std::strcmp(word, "PNG") == 0) {
    char png[1024];
    if (!read_png_name(s, png, sizeof png, i)) return 0;
    if (!image_read_png(png, &pixels, &width, &height, &channels, nullptr)) {
      console_printf("Can't read %.900s", png);
      return 0;
    }
  } else {
    console_printf("Error reading .seq frame %d", i);
    return 0;
  }
  *pixels_read += (uint64_t)width * (uint64_t)height;
  if (*pixels_read > (uint64_t)anim_max_pixels) {
    console_printf("More than %d pixels in the frames of '%.900s'", (int)anim_max_pixels, file);
    check_free(pixels);
    return 0;
  }
  if (!image_reduce_levels(&pixels, &width, &height, channels, anim_frame_budget, 0)) {
    console_printf("No memory for .seq frame %d", i);
    check_free(pixels);
    return 0;
  }
  f->width = width;
  f->height = height;
  f->channels = channels;
  f->pixels = pixels;
  return 1;
}

texture_animation* texture_anim_read(stream* s, const char* name) {
  int length = 0, frames = 0, ticks = 0, loop = 0;
  if (stream_scanf(s, "%d %d %d %d", &length, &frames, &ticks, &loop) != 4) {
    console_printf("Bad .seq header in '%.900s'", name);
    return nullptr;
  }
  // Checked before anything is allocated from them.
  if (length < 1 || length > anim_max_sequence || frames < 1 || frames > anim_max_frames) {
    console_printf("Bad .seq sizes in '%.900s': %d steps, %d frames (1..%d steps, 1..%d frames)", name,
                   length, frames, (int)anim_max_sequence, (int)anim_max_frames);
    return nullptr;
  }
  // The clock divides by it.
  if (ticks < 1) {
    console_printf("Bad .seq ticks per step in '%.900s': %d", name, ticks);
    return nullptr;
  }
  const size_t block = sizeof(texture_animation) + (size_t)frames * sizeof(anim_frame) +
                       (size_t)length * sizeof(int);
  texture_animation* anim = static_cast<texture_animation*>(check_calloc(1, block));
  if (!anim) {
    console_printf("No memory for animation '%.900s'", name);
    return nullptr;
  }
  anim->sequence_length = length;
  anim->frame_count = frames;
  anim->ticks_per_step = ticks;
  anim->loop = loop;
  anim->frames = reinterpret_cast<anim_frame*>(anim + 1);
  anim->sequence = reinterpret_cast<int*>(anim->frames + frames);

  for (int i = 0; i < length; i++) {
    int entry = 0;
    if (stream_scanf(s, "%d", &entry) != 1) {
      console_printf("Bad .seq sequence entry %d in '%.900s'", i, name);
      texture_anim_free(anim);
      return nullptr;
    }
    if (entry < 0 || entry >= frames) {
      console_printf("Sequence entry %d of '%.900s' names frame %d of %d", i, name, entry, frames);
      texture_anim_free(anim);
      return nullptr;
    }
    anim->sequence[i] = entry;
  }
  uint64_t pixels_read = 0;
  for (int i = 0; i < frames; i++) {
    if (!read_frame(s, anim, i, name, &pixels_read)) {
      texture_anim_free(anim);
      return nullptr;
    }
    const anim_frame* f = &anim->frames[i];
    // Every frame reads at least frame 0's reduced size: refuse now what
    // would pass the limit only after many more reads.
    if (i == 0 && (uint64_t)frames * (uint64_t)f->width * (uint64_t)f->height > (uint64_t)anim_max_pixels) {
      console_printf("More than %d pixels in the frames of '%.900s': %d frames of %d x %d", (int)anim_max_pixels,
                     name, frames, f->width, f->height);
      texture_anim_free(anim);
      return nullptr;
    }
    if (f->width != anim->frames[0].width || f->height != anim->frames[0].height) {
      console_printf("Width/height mismatch reading .seq");
      texture_anim_free(anim);
      return nullptr;
    }
    if (f->channels != anim->frames[0].channels) {
      console_printf("Depth mismatch reading .seq");
      texture_anim_free(anim);
      return nullptr;
    }
  }
  anim->current_frame = anim->sequence[0];
  return anim;
}

int texture_anim_add(texture_animation* anim) {
  if (!texture_anim_table.capacity &&
      !growable_array_init(&texture_anim_table, sizeof(texture_animation*), 16))
    return 0;
  return growable_array_append(&texture_anim_table, &anim);
}

texture_animation* texture_anim_find(unsigned id) {
  for (size_t i = 0; i < texture_anim_table.count; i++)
    if (anim_at(i)->id == id) return anim_at(i);
  return nullptr;
}

int texture_anim_frame_at(const texture_animation* anim, int tick) {
  int64_t elapsed = (int64_t)tick - anim->start_tick;
  if (elapsed < 0) elapsed = 0;
  int64_t step = elapsed / anim->ticks_per_step;
  if (anim->loop)
    step %= anim->sequence_length;
  else if (step > anim->sequence_length - 1)
    step = anim->sequence_length - 1;
  return anim->sequence[step];
}

unsigned texture_anim_start(unsigned id, int tick) {
  if (texture_animation* a = texture_anim_find(id)) {
    a->paused = 0;
    a->start_tick = tick;
  }
  return id;
}

void texture_anim_stop(unsigned id) {
  if (texture_animation* a = texture_anim_find(id)) a->paused = 1;
}

int texture_custom_frame_begin(unsigned id) {
  texture_animation* a = texture_anim_find(id);
  if (!a) return 0;
  const anim_frame* f = &a->frames[0];
  if (!a->custom_frame) {
    a->custom_frame = static_cast<uint8_t*>(check_malloc(image_chain_size(f->width, f->height, f->channels)));
    if (!a->custom_frame) {
      console_printf("No memory for a custom frame of texture %u", id);
      return 0;
    }
  }
  std::memset(a->custom_frame, 0, (size_t)f->width * f->height * f->channels);
  return 1;
}

// A fraction of a side as a pixel count, kept far inside int.
static double scaled(double fraction, int side) {
  const double limit = 1048576.0;
  const double v = fraction * side;
  return v < -limit ? -limit : v > limit ? limit : v;
}

static int nearest(double fraction, int side) { return (int)std::ceil(scaled(fraction, side) - 0.5); }

static void compose_pixel(uint8_t* d, const uint8_t* s) {
  const int a = s[3];
  const int b = d[3];
  if (a == 0) {
    if (b == 0) std::memcpy(d, s, 4);
  } else if (a == 255 || b == 0) {
    std::memcpy(d, s, 4);
  } else if (b == 255) {
    for (int c = 0; c < 3; c++) d[c] = (uint8_t)((d[c] * (255 - a) + s[c] * a) / 255);
  } else {
    const int k = 255 - a;
    for (int c = 0; c < 3; c++) d[c] = (uint8_t)((d[c] * b * k + s[c] * a * 255) / (a * 255 + k * b));
    d[3] = (uint8_t)(a + k * b / 255);
  }
}

int texture_custom_frame_paste(unsigned id, int frame, double src_x, double src_y, double dst_x,
                               double dst_y, double size_x, double size_y) {
  texture_animation* a = texture_anim_find(id);
  if (!a || !a->custom_frame || frame < 0 || frame >= a->frame_count) return 0;
  for (double v : {src_x, src_y, dst_x, dst_y, size_x, size_y})
    if (!std::isfinite(v)) return 0;
  const int w = a->frames[0].width, h = a->frames[0].height, channels = a->frames[0].channels;
  int sx = nearest(src_x, w), sy = nearest(src_y, h);
  int dx = nearest(dst_x, w), dy = nearest(dst_y, h);
  int cw = (int)scaled(size_x, w), ch = (int)scaled(size_y, h);
  if (cw > w - (sx > dx ? sx : dx)) cw = w - (sx > dx ? sx : dx);
  if (ch > h - (sy > dy ? sy : dy)) ch = h - (sy > dy ? sy : dy);
  // A negative origin shortens the rectangle and moves both origins alike.
  const int shift_x = sx < dx ? sx : dx, shift_y = sy < dy ? sy : dy;
  if (shift_x < 0) {
    cw += shift_x;
    sx -= shift_x;
    dx -= shift_x;
  }
  if (shift_y < 0) {
    ch += shift_y;
    sy -= shift_y;
    dy -= shift_y;
  }
  if (sx >= w || dx >= w || sy >= h || dy >= h || cw <= 0 || ch <= 0) return 0;
  const uint8_t* source = a->frames[frame].pixels;
  uint8_t* target = a->custom_frame;
  for (int y = 0; y < ch; y++) {
    const uint8_t* s = source + ((size_t)(sy + y) * w + sx) * channels;
    uint8_t* d = target + ((size_t)(dy + y) * w + dx) * channels;
    if (channels == 3) {
      std::memcpy(d, s, (size_t)cw * 3);
      continue;
    }
    for (int x = 0; x < cw; x++) compose_pixel(d + x * 4, s + x * 4);
  }
  return 1;
}

void texture_anims_delete_stale(int all) {
  for (size_t i = texture_anim_table.count; i-- > 0;) {
    texture_animation* a = anim_at(i);
    if (!all && texture_name(a->id)) continue;
    if (verbose) console_printf("deleting anim %d for tid %d", (int)i, (int)a->id);
    texture_anim_free(a);
    unsigned char* data = static_cast<unsigned char*>(texture_anim_table.data);
    std::memmove(data + i * sizeof(texture_animation*), data + (i + 1) * sizeof(texture_animation*),
                 (texture_anim_table.count - i - 1) * sizeof(texture_animation*));
    texture_anim_table.count--;
  }
  if (all && texture_anim_table.capacity) {
    growable_array_free(&texture_anim_table);
    texture_anim_table = growable_array{};
  }
}
