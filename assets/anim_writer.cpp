// Writing ANIM1 sequence files.
#include "assets/anim_writer.h"

#include "assets/image.h"
#include "core/file.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/stream.h"

static int write_j7(const anim_writer_frame* f, stream* s) {
  if (!f->rgba || f->width < 1 || f->height < 1 || f->width > image_max_side || f->height > image_max_side) {
    console_printf("Can't write a %dx%d J7 frame", f->width, f->height);
    return 0;
  }
  const size_t count = (size_t)f->width * f->height * 4;
  uint8_t* residuals = static_cast<uint8_t*>(check_malloc(count));
  if (!residuals) {
    console_printf("No memory to write a %dx%d J7 frame", f->width, f->height);
    return 0;
  }
  image_raw_encode(f->rgba, f->width, f->height, 4, residuals);
  const int ok = stream_printf(s, "J7\n%d %d\n", f->width, f->height) > 0 &&
                 stream_write(s, residuals, (uint32_t)count) == count && stream_printf(s, "\n") > 0;
  check_free(residuals);
  return ok;
}

int anim_write(const anim_writer_sequence* seq, stream* s) {
  if (seq->sequence_length < 0 || seq->frame_count < 0) {
    console_printf("Can't write a sequence of %d steps and %d frames", seq->sequence_length, seq->frame_count);
    return 0;
  }
  if (stream_printf(s, "ANIM1\n%d %d %d %d\n", seq->sequence_length, seq->frame_count, seq->ticks_per_step,
                    seq->loop) < 0)
    return 0;
  for (int i = 0; i < seq->sequence_length; i++)
    if (stream_printf(s, i + 1 < seq->sequence_length ? "%d " : "%d\n", seq->sequence[i]) < 0) return 0;
  for (int i = 0; i < seq->frame_count; i++) {
    const anim_writer_frame* f = &seq->frames[i];
    if (f->png) {
      if (stream_printf(s, "PNG %s\n", f->png) < 0) return 0;
    } else if (!write_j7(f, s)) {
      return 0;
    }
  }
  return stream_flush(s) == 0;
}

int anim_write_file(const anim_writer_sequence* seq, const char* name) {
  stream* s = stream_open(name, "wb");
  if (!s) {
    console_printf("Can't write '%.900s'", name);
    return 0;
  }
  const int ok = anim_write(seq, s);
  const int closed = stream_close_file(s) == 0;
  check_free(s);
  if (!ok || !closed) console_printf("Can't write '%.900s'", name);
  return ok && closed;
}
