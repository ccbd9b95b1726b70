#pragma once
// The storage of the robot riders' learned lines. The timing-gate reader
// makes it for the track's segments and empties every slot; the robot code
// fills and reads it.
#include <cstdint>

enum {
  line_slots_per_segment = 45,
  line_time_none = 1000000,  // no time yet
};

// One sample of a recorded line, every 32 ticks along a segment.
struct line_sample {
  float x, y, z;  // the frame body's position
  float speed;    // negative when neither wheel touched the ground
  float lean;
};

// One slot of a segment.
struct line_record {
  line_sample* samples;  // owned; null when empty
  int32_t sample_count;  // 0: an empty slot
  int32_t own_time;
  int32_t pass_time;
  int32_t times_tested;
  int32_t best_own_time;
  int32_t best_pass_time;
  int32_t own_time_sum;
  int32_t pass_time_sum;
  int32_t failures;
  int32_t last_picked_tick;
  int32_t unique_id;  // 0: none
};

// Frees the samples and gives the slot the empty values; the last-picked
// tick stays as it was.
void line_record_empty(line_record* r);
