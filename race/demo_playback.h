#pragma once
// Demo playback: the recorded riders ride again as kind-1 slots, posed by
// the tick from state histories that the read-ahead keeps filled a little
// ahead of the race clock. Skipping runs the race forward or rewinds it.
// The time trial's ghost is played the same way beside the live rider.
#include <cstdint>

#include "race/demo_file.h"

struct demo_player_state {
  stream* file;      // null: not playing
  demo_header header;  // version, counts, track and the demo rider table
  int64_t next_chunk_offset;
  uint32_t previous_length;  // L of the chunk before the next one
  int32_t first_chunk_tick;  // -1 until the first states chunk is read
  int64_t tick_offset;       // added to every stored tick (the time trial)
  int64_t next_tick;         // versions 4 and 5: the record read next; -1 before the first call
  int64_t last_terrain_chunk;  // offset of the last terrain chunk applied
  int64_t read_ahead_tick;     // tick of the last chunk read, offset added
  int32_t next_rider;          // demo_next_rider's place in the table
  int32_t ghost;               // the time trial's ghost
  int64_t damage_logged_at;    // where the damage that ends the demo was logged; -1 none
};
extern demo_player_state demo_player;

// The demo the Playback Race page chose ("" none), read by the next reset
// that plays a demo.
extern char demo_playback_choice[256];

// Opens the demo named on the command line, else the one the menus chose,
// else "fastlap.bkdemo" of the track in a time trial or
// "@demos/default.bkdemo", and reads its header into the race clock. 1 when
// it opened; a malformed one is refused with a console line.
int demo_open_playback();
// Opens a named demo (the same checks). 1 when it opened.
int demo_open_playback_file(const char* name);
// Closes the stream and forgets the riders.
void demo_close_playback();
// Once a tick: reads chunks (or records) up to a little ahead of the clock.
void demo_read_ahead();
// Jumps seconds forward or back; only while a demo plays, nothing records
// and every rider is a played-back one.
void demo_skip(double seconds);

// Race reset's side: the header's riders in turn (0 when none is left) and
// the slot each got.
int demo_next_rider_identity(struct rider_identity* out, int* demo_index);
void demo_map_rider(int demo_index, int slot);

// The track folder of the demo just opened, for race reset.
const char* demo_open_for_reset();
// The time trial's ghost: opens the fast-lap demo. 1 when it opened.
int demo_open_ghost(const char* name);

// Fills the demo entries of the race hooks and installs the offline
// terrain-edit handler (rut messages also go into a recording).
void demo_install_hooks();
