#pragma once
// Writing ANIM1 sequence files (".seq") for the data generator and tests:
// frames are PNG files named in the sequence, or J7 images embedded in it.
#include <cstdint>

struct stream;

struct anim_writer_frame {
  const char* png;       // a PNG file's name (as texture_load would open it), or null
  const uint8_t* rgba;   // without a name: width x height RGBA pixels, written as J7
  int width;
  int height;
};

struct anim_writer_sequence {
  int sequence_length;
  const int* sequence;   // frame index of each step
  int frame_count;
  const anim_writer_frame* frames;
  int ticks_per_step;
  int loop;
};

// 1, or 0 after a console line (bad sizes, a frame without pixels or a
// write error). Nothing is checked against the reader's limits, so tests can
// write files the reader refuses.
int anim_write(const anim_writer_sequence* seq, stream* s);
// The same into a named file ("@" names land in the per-user folder).
int anim_write_file(const anim_writer_sequence* seq, const char* name);
