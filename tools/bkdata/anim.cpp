// bkdata check for ANIM1 sequences (".seq"): the game's reader, without
// uploading anything.
#include <cstdio>
#include <cstring>
#include <string>

#include "assets/texture_anim.h"
#include "core/file.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "tools/bkdata/commands.h"

int bkdata_is_seq_name(const char* path) {
  const size_t n = std::strlen(path);
  return n > 4 && std::strcmp(path + n - 4, ".seq") == 0;
}

int bkdata_check_seq(const char* path) {
  const int first_line = message_ring.write_index;
  stream* s = stream_open(path, "rb");
  if (!s) {
    std::printf("%s: can't open\n", path);
    return 0;
  }
  char word[16];
  texture_animation* a = nullptr;
  const int magic = stream_scanf(s, "%15s", word) == 1 && std::strcmp(word, "ANIM1") == 0;
  if (magic) a = texture_anim_read(s, path);
  stream_close(s);
  if (!a) {
    // The reader's own reasons, then the refusal.
    for (int k = first_line; k != message_ring.write_index; k = (k + 1) % message_ring_size)
      std::printf("%s: %s\n", path, message_ring.lines[k]);
    std::printf("%s: %s\n", path, magic ? "animation refused" : "not an ANIM1 file");
    return 0;
  }
  const anim_frame* f = &a->frames[0];
  std::printf("%s: animation, %d steps, %d frames, %d x %d, %s, %d ticks per step, %s\n", path,
              a->sequence_length, a->frame_count, f->width, f->height, f->channels == 4 ? "RGBA" : "RGB",
              a->ticks_per_step, a->loop ? "looping" : "once");
  texture_anim_free(a);
  return 1;
}
