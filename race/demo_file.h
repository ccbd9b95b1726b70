#pragma once
// The demo file: a text header naming the track and the riders, then
// chunks stamped with ticks. Recording, playback and bkdata's check all
// read and write it through here.
//
//   header   "BK06 count length laps gate_drop\n" "track\n"
//            per rider "bike|gear|bike skin|wheels|helmet\n" "number\n"
//            "name\n" "\n"  (versions 4 and 5: the first two lines only)
//   chunk    u32 L ^ previous L | i32 tick | u8 type | L bytes of data
//
// Walking back: a reader at chunk k that knows L(k-1) finds chunk k-1 at
// start(k) - L(k-1) - 9, and its stored word XOR L(k-1) gives L(k-2).
// Versions 4 and 5 have no chunks: one record per tick of every header
// rider's state (26 or 39 bytes). All numbers little-endian.
#include <cstdint>

#include "core/stream.h"

enum {
  demo_version_min = 4,
  demo_version = 6,
  demo_line_bytes = 1024,    // longest header line the reader takes, LF included
  demo_rider_max = 160,
  demo_chunk_head_bytes = 9,
  demo_state_entry_bytes = 44,  // rider index, tick, 39-byte pose
  demo_text_bytes = 1023,       // kept of a text or command chunk
  demo_gate_drop_default = 1792,  // 14 s
  demo_field_bytes = 64,
  demo_number_bytes = 4,        // 3 characters
  demo_track_bytes = 256,
};

enum {
  demo_chunk_states = 1,
  demo_chunk_text = 2,
  demo_chunk_command = 3,
  demo_chunk_terrain = 5,
};

// One rider of a header, and the slot playback placed it in (-1 none).
struct demo_rider {
  char bike[demo_field_bytes];
  char number[demo_number_bytes];
  char name[demo_field_bytes];
  char gear_skin[demo_field_bytes];
  char helmet_skin[demo_field_bytes];
  char bike_skin[demo_field_bytes];
  char wheels_skin[demo_field_bytes];
  int32_t slot;
};

struct demo_header {
  int32_t version;
  int32_t rider_count;
  int32_t race_length_ticks;
  int32_t race_laps;
  int32_t gate_drop_tick;
  char track[demo_track_bytes];
  demo_rider riders[demo_rider_max];
  int64_t length;  // bytes of the header: where the body starts
};

struct demo_chunk {
  int64_t offset;    // of its 9-byte head
  uint32_t length;   // L, the XOR undone
  int32_t tick;
  int32_t type;
};

// Bytes per rider state in a per-tick demo: 26 for version 4, 39 for 5,
// otherwise 0.
int demo_state_size(int version);

// Writes the header of the version-6 form. "|", CR and LF in a field
// become "_", and fields are cut so no line is longer than the reader
// takes. 1 when every byte was written.
int demo_header_write(stream* s, const demo_header* h);

// Reads a header (versions 4 to 6). known_track, when given, says whether
// the track is installed. On refusal returns 0 with the reason (for
// "Can't play demo \"%s\": <reason>") in reason.
int demo_header_read(stream* s, demo_header* h, int (*known_track)(const char* folder), char* reason,
                     int reason_size);

// Writes one chunk and remembers its L in *previous_length. 1 when written.
int demo_chunk_write(stream* s, uint32_t* previous_length, int32_t tick, int type, const void* data,
                     uint32_t length);

// Reads the head of the chunk at offset (the stream must stand there) and
// checks that its data lie within the file. 1 when whole; 0 at the clean end
// of the file; -1 when the head is cut short or the data would pass the end
// (the demo ends there).
int demo_chunk_read_head(stream* s, int64_t offset, uint32_t previous_length, demo_chunk* out);

// Steps back from the chunk at offset whose predecessor's length is
// *previous_length: to the chunk before, never before first_offset. The
// stream is left at the chunk reached; *previous_length becomes that chunk's
// predecessor's length. 1 when it moved.
int demo_chunk_step_back(stream* s, int64_t first_offset, int64_t* offset, uint32_t* previous_length,
                         demo_chunk* out);

// Little-endian words of a chunk's data.
uint32_t demo_read_u32(const uint8_t* p);
void demo_put_u32(uint8_t* p, uint32_t v);

// What a whole demo holds, for bkdata's check and the fuzz tests: the
// header, then every chunk walked (version 6) or the per-tick records
// counted (versions 4 and 5).
struct demo_summary {
  int64_t chunks;
  int64_t chunks_by_type[256];
  int32_t first_tick, last_tick;  // of the chunks; 0 and -1 when none
  int64_t end_offset;     // where the walk stopped: the file's end or the damage
  int64_t damage_offset;  // the chunk that would pass the end; -1 none
  int64_t records;        // versions 4 and 5: whole per-tick records
  int64_t trailing_bytes; // bytes after the last whole record
};

// Reads the header (as demo_header_read) and walks the body. 0 when the
// header is refused.
int demo_check_stream(stream* s, demo_header* h, demo_summary* out, int (*known_track)(const char* folder),
                      char* reason, int reason_size);
