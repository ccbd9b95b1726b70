#pragma once
// Animated textures: an "ANIM1" sequence file (".seq") loaded by texture_load
// becomes one GL texture whose levels are replaced by the frames of a fixed
// sequence as the race clock advances, and the track script can paint a
// custom picture into it.
//
// ANIM1 file, white-space separated:
//   ANIM1
//   S F T L             sequence length, frame count, ticks per step, loop
//   S frame indices     the frame shown at each step
//   F frames, each "J7" followed by a J7 image in the same stream, or
//                  "PNG" and the rest of the line naming a PNG file
// Every frame must reduce to the size and channel count of frame 0.
#include <cstddef>
#include <cstdint>

#include "core/growable_array.h"

struct stream;

enum {
  anim_max_sequence = 65536,
  anim_max_frames = 1024,
  anim_frame_budget = 65536,  // pixels of a frame's base level after reduction
  // Pixels of all frames together as read, before reduction: frames may
  // all name one small PNG, so without it a few lines of text could make the
  // reader decode and keep hundreds of MiB.
  anim_max_pixels = 1 << 24,
};

struct anim_frame {
  int width;
  int height;
  int channels;     // 3 or 4
  uint8_t* pixels;  // the frame with its mip chain; owned
};

// One heap block: these fields, then the frames, then the sequence.
struct texture_animation {
  unsigned id;
  int sequence_length;
  int frame_count;
  int current_frame;
  int ticks_per_step;
  int loop;
  int start_tick;
  int paused;
  anim_frame* frames;     // frame_count entries, inside the block
  uint8_t* custom_frame;  // a chain of the frames' size; owned, null until first begun
  int* sequence;          // sequence_length entries, inside the block
};

// Of texture_animation*; empty until the first animation loads.
extern growable_array texture_anim_table;

// Reads the rest of an ANIM1 file after its magic word (no GL). Null after a
// console line naming what was wrong; nothing read is kept then.
texture_animation* texture_anim_read(stream* s, const char* name);
// Frees the frames, the custom frame and the block.
void texture_anim_free(texture_animation* anim);

// Uploads the frame of sequence entry 0 as a new texture (a GL context must
// be current) and appends the animation to the table; the table then owns
// it. The texture id, or 0 (the animation is freed) when it could not be
// kept.
unsigned texture_anim_upload(texture_animation* anim, int flags);
// Appends an animation whose texture exists already; 0 when the table
// cannot grow.
int texture_anim_add(texture_animation* anim);

// The animation of a texture, or null.
texture_animation* texture_anim_find(unsigned id);

// The frame shown at race-clock `tick` (ignoring the paused flag).
int texture_anim_frame_at(const texture_animation* anim, int tick);

// Advances every animation that is not paused to `tick`; once a drawn frame.
void texture_anims_update(int tick);
// Unpauses the texture's animation from `tick`; returns the id.
unsigned texture_anim_start(unsigned id, int tick);
void texture_anim_stop(unsigned id);

// The track script's custom frame. Begin clears it (allocating it the first
// time), paste composes a rectangle of a frame into it (all six coordinates
// as fractions of the frame size), end shows it. 1 on success, else 0.
int texture_custom_frame_begin(unsigned id);
int texture_custom_frame_paste(unsigned id, int frame, double src_x, double src_y, double dst_x,
                               double dst_y, double size_x, double size_y);
int texture_custom_frame_end(unsigned id);

// Frees the animations whose texture no texture record holds any more (all
// of them and the table with all = 1). Called by texture_delete_stale.
void texture_anims_delete_stale(int all);
