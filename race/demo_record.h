#pragma once
// Demo recording: the header when the race starts, then the local and
// robot riders' states at 32 a second, written every 1/8 s, with text,
// commands and rut messages as chunks between them.
#include <cstdint>

#include "core/stream.h"

struct demo_recorder_state {
  stream* file;                    // null: not recording
  uint32_t previous_length;        // L of the last chunk written
  int16_t recorded_index[160];     // per slot: its index in the file, -1 not recorded
  char path[300];                  // the "@" name being written, for messages
};
extern demo_recorder_state demo_recorder;

// The name "namedemo" gave the next recording ("" none): stopping moves
// "@demos/default.bkdemo" to "@demos/" + it.
extern char demo_save_name[1024];

// Opens the recording (the track's "lastlap.bkdemo" in a time trial, else
// "@demos/default.bkdemo") and writes the header; offline also the race's
// "erode" level. The recording is written as NAME + ".new" beside it and
// takes the name (rotating default.bkdemo's backups) only when stopped
// whole; a failed write drops it and the demo already there stays.
void demo_start_recording();
// Every tick with force 0: packs the local and robot riders every 4 ticks
// and writes what is pending every 16; force does both now.
void demo_write_states(int force);
// One chunk at the current tick; nothing when not recording.
void demo_write_chunk(int type, const void* data, uint32_t length);
// Writes what is still pending, closes, and renames to demo_save_name.
void demo_stop_recording();
// The offline terrain-edit handler: the rut message goes to the erode
// queue and, while recording, into the demo.
void demo_terrain_edit(const uint8_t* bytes, int32_t length);
