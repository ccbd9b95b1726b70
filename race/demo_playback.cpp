// Playing demos back, and skipping through them.
#include "race/demo_playback.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bike/packed_pose.h"
#include "bike/rider.h"
#include "bike/rider_timing.h"
#include "bike/state_history.h"
#include "bike/wheel_contacts.h"
#include "core/file.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "platform/log.h"
#include "race/demo_record.h"
#include "race/engine_sound.h"
#include "race/game_state.h"
#include "race/race_hooks.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/tick.h"
#include "terrain/erode_queue.h"
#include "terrain/ruts.h"
#include "terrain/track.h"

demo_player_state demo_player;
char demo_playback_choice[256];

static int installed_track(const char* folder) {
  for (int32_t i = 0; i < track_count; i++)
    if (track_folders && track_folders[i] && std::strcmp(track_folders[i], folder) == 0) return 1;
  return 0;
}

void demo_close_playback() {
  if (demo_player.file) stream_close(demo_player.file);
  demo_player.file = nullptr;
  demo_player.header.rider_count = 0;
  demo_player.header.track[0] = 0;
  demo_player.next_rider = 0;
  demo_playback.playing = 0;
}

// say_missing: the player named this demo, so a file that does not open
// is said like a damaged one (a missing ghost or default demo is not news).
static int open_playback_file(const char* name, int say_missing) {
  demo_close_playback();
  for (demo_rider& r : demo_player.header.riders) r.slot = -1;
  errno = 0;
  stream* s = stream_open(name, "rb");
  if (!s) {
    const int error = errno;
    if (say_missing)
      console_printf("Can't play demo \"%.200s\": %s\n", name, error ? std::strerror(error) : "can't open");
    return 0;
  }
  char reason[128];
  if (!demo_header_read(s, &demo_player.header, installed_track, reason, sizeof reason)) {
    console_printf("Can't play demo \"%.200s\": %s\n", name, reason);
    stream_close(s);
    demo_player.header.rider_count = 0;
    demo_player.header.track[0] = 0;
    return 0;
  }
  demo_player.file = s;
  demo_player.next_chunk_offset = demo_player.header.length;
  demo_player.previous_length = 0;
  demo_player.first_chunk_tick = -1;
  demo_player.tick_offset = 0;
  demo_player.next_tick = -1;
  demo_player.last_terrain_chunk = 0;
  demo_player.read_ahead_tick = INT32_MIN;
  demo_player.next_rider = 0;
  demo_player.ghost = 0;
  demo_player.damage_logged_at = -1;
  demo_playback.playing = 1;
  // Versions 5 and 6 carry the same pose.
  demo_playback.version = demo_player.header.version == 4 ? 4 : 5;
  race_clock.race_length_ticks = demo_player.header.race_length_ticks;
  race_clock.race_laps = demo_player.header.race_laps;
  race_clock.gate_drop_tick = demo_player.header.gate_drop_tick;
  return 1;
}

int demo_open_playback_file(const char* name) { return open_playback_file(name, 0); }

int demo_open_playback() {
  const char* name = game_state.demo_argument;
  if (!name && demo_playback_choice[0]) name = demo_playback_choice;
  const int chosen = name != nullptr;
  char fast[track_folder_bytes + 32];
  if (!name) {
    if (time_trial) {
      std::snprintf(fast, sizeof fast, "@%s/fastlap.bkdemo", track_folder);
      name = fast;
    } else {
      name = "@demos/default.bkdemo";
    }
  }
  return open_playback_file(name, chosen);
}

const char* demo_open_for_reset() {
  return demo_open_playback() ? demo_player.header.track : nullptr;
}

int demo_open_ghost(const char* name) {
  if (!demo_open_playback_file(name)) return 0;
  demo_player.ghost = 1;
  return 1;
}

int demo_next_rider_identity(rider_identity* out, int* demo_index) {
  if (!demo_player.file || demo_player.next_rider >= demo_player.header.rider_count) return 0;
  const int i = demo_player.next_rider++;
  const demo_rider& r = demo_player.header.riders[i];
  auto or_null = [](const char* s) { return s[0] ? s : nullptr; };
  out->bike = or_null(r.bike);
  out->number = r.number;
  out->name = r.name;
  out->gear_skin = or_null(r.gear_skin);
  out->helmet_skin = or_null(r.helmet_skin);
  out->bike_skin = or_null(r.bike_skin);
  out->wheels_skin = or_null(r.wheels_skin);
  *demo_index = i;
  return 1;
}

void demo_map_rider(int demo_index, int slot) {
  if (demo_index >= 0 && demo_index < demo_rider_max) demo_player.header.riders[demo_index].slot = slot;
}

// The slot a demo rider index plays in, or -1.
static int slot_of(int index) {
  if (index < 0 || index >= demo_player.header.rider_count) return -1;
  const int slot = demo_player.header.riders[index].slot;
  return slot >= 0 && slot < RIDER_SLOT_COUNT ? slot : -1;
}

static void read_states(const demo_chunk& c) {
  stream* s = demo_player.file;
  if (demo_player.first_chunk_tick == -1) {
    demo_player.first_chunk_tick = c.tick;
    // The ghost starts with the attempt; a demo starts where it was recorded.
    if (time_trial) demo_player.tick_offset = (int64_t)race_clock.current_tick - c.tick;
    else race_clock.current_tick = c.tick;
  }
  for (uint32_t k = 0; k < c.length / demo_state_entry_bytes; k++) {
    uint8_t e[demo_state_entry_bytes];
    if (stream_read(s, e, sizeof e) != sizeof e) return;
    const int slot = slot_of(e[0]);
    const int64_t tick = (int64_t)(int32_t)demo_read_u32(e + 1) + demo_player.tick_offset;
    if (slot < 0 || tick < 0 || tick > INT32_MAX) continue;
    packed_pose p;
    std::memcpy(p.bytes, e + 5, packed_pose_size);
    add_state_to_history(slot, &p, (int32_t)tick);
  }
}

static void read_text(const demo_chunk& c) {
  char text[demo_text_bytes + 1];
  const uint32_t want = c.length < (uint32_t)demo_text_bytes ? c.length : (uint32_t)demo_text_bytes;
  const uint32_t got = stream_read(demo_player.file, text, want);
  text[got] = 0;
  if (c.type == demo_chunk_text) {
    console_print(text);
    return;
  }
  if (got != c.length || std::strncmp(text, "erode ", 6) != 0) return;
  char* end;
  const long long v = std::strtoll(text + 6, &end, 10);
  if (end == text + 6) return;
  // As "--erode": 0..100, times 1024.
  erode_level = (int)(v < 0 ? 0 : v > 102400 ? 102400 : v);
}

static void read_terrain(const demo_chunk& c) {
  if (c.length < rut_message_head_bytes || c.length > rut_message_max_bytes) return;
  if (c.offset <= demo_player.last_terrain_chunk) return;
  uint8_t bytes[rut_message_max_bytes];
  if (stream_read(demo_player.file, bytes, c.length) != c.length) return;
  demo_player.last_terrain_chunk = c.offset;
  erode_queue_add_stroke(bytes, (int32_t)c.length);
}

static void read_ahead_chunks() {
  for (int n = 0; n < 128; n++) {
    if (demo_player.first_chunk_tick != -1 && demo_player.read_ahead_tick > (int64_t)race_clock.current_tick + 64)
      return;
    demo_chunk c;
    const int r = demo_chunk_read_head(demo_player.file, demo_player.next_chunk_offset, demo_player.previous_length, &c);
    if (r == 0) return;
    if (r < 0) {
      if (demo_player.damage_logged_at != demo_player.next_chunk_offset)
        log_printf("Demo ends at byte %lld: a chunk is cut short\n", (long long)demo_player.next_chunk_offset);
      demo_player.damage_logged_at = demo_player.next_chunk_offset;
      return;
    }
    const int64_t tick = (int64_t)c.tick + demo_player.tick_offset;
    if (tick >= 0 || c.type != demo_chunk_states) {
      if (c.type == demo_chunk_states && c.length % demo_state_entry_bytes == 0 && c.tick >= 0) read_states(c);
      else if ((c.type == demo_chunk_text || c.type == demo_chunk_command) && tick >= 0) read_text(c);
      else if (c.type == demo_chunk_terrain && tick >= 0) read_terrain(c);
    }
    demo_player.previous_length = c.length;
    demo_player.next_chunk_offset += (int64_t)c.length + demo_chunk_head_bytes;
    if (demo_player.first_chunk_tick != -1) demo_player.read_ahead_tick = (int64_t)c.tick + demo_player.tick_offset;
  }
}

static void read_ahead_records() {
  const int size = demo_state_size(demo_player.header.version);
  const int count = demo_player.header.rider_count;
  const int64_t record = (int64_t)size * count;
  const int64_t now = race_clock.current_tick;
  if (demo_player.next_tick < 0) demo_player.next_tick = now < 0 ? 0 : now;
  if (record == 0) {
    // No rider, nothing to read: the records are empty.
    if (demo_player.next_tick <= now + 8) demo_player.next_tick = now + 9;
    return;
  }
  while (demo_player.next_tick <= now + 8) {
    const int64_t at = demo_player.header.length + demo_player.next_tick * record;
    if (at > 0xffffffffLL) return;
    if (demo_player.file->position != (uint32_t)at && !stream_seek(demo_player.file, (uint32_t)at)) return;
    for (int i = 0; i < count; i++) {
      packed_pose p = {};
      const int slot = slot_of(i);
      const int whole = stream_read(demo_player.file, p.bytes, (uint32_t)size) == (uint32_t)size;
      // Old demos carry no engine state: a rider's engine is heard while
      // its records keep coming, and falls silent where the file ends.
      if (!whole) {
        // The rest of this tick's record is past the end too.
        for (int j = i; j < count; j++) {
          const int s = slot_of(j);
          if (s >= 0 && rider_slot_kind[s] == RIDER_REMOTE) engine_voices[s].presence_gain = 0.0f;
        }
        return;
      }
      if (slot >= 0 && rider_slot_kind[slot] == RIDER_REMOTE) {
        engine_voices[slot].presence_gain = 1.0f;
        add_state_to_history(slot, &p, (int32_t)demo_player.next_tick);
      }
    }
    demo_player.next_tick++;
  }
}

void demo_read_ahead() {
  if (!demo_player.file) return;
  if (demo_player.header.version == demo_version) read_ahead_chunks();
  else read_ahead_records();
}

void demo_skip(double seconds) {
  if (!demo_player.file || demo_recorder.file || !(seconds > -1e6 && seconds < 1e6)) return;
  for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++)
    if (rider_slots[slot] && rider_slot_kind[slot] != RIDER_REMOTE) return;
  const int version = demo_player.header.version;
  if (seconds > 0 && (version == demo_version || game_state.accurate_skip)) {
    const int64_t target = (int64_t)race_clock.current_tick + (int64_t)(seconds * 128.0);
    const int saved = roost_density;
    roost_density = 0;
    while (race_clock.current_tick < target && demo_player.file) simulation_tick();
    roost_density = saved;
    return;
  }
  int64_t c = (int64_t)((double)race_clock.current_tick + seconds * 128.0 - 1.0);
  if (c < 0) c = 0;
  if (version == demo_version) {
    const int64_t floor_tick = c - 64 > 0 ? c - 64 : 0;
    int64_t offset = demo_player.next_chunk_offset;
    uint32_t previous = demo_player.previous_length;
    demo_chunk ch;
    while (demo_chunk_step_back(demo_player.file, demo_player.header.length, &offset, &previous, &ch))
      if ((int64_t)ch.tick + demo_player.tick_offset <= floor_tick) break;
    demo_player.next_chunk_offset = offset;
    demo_player.previous_length = previous;
    demo_player.read_ahead_tick = INT32_MIN;
  } else {
    const int64_t record = (int64_t)demo_state_size(version) * demo_player.header.rider_count;
    const int64_t at = demo_player.header.length + c * record;
    if (at > 0xffffffffLL || !stream_seek(demo_player.file, (uint32_t)at)) return;
  }
  demo_player.next_tick = c;
  if (c < race_clock.current_tick) {
    for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++) {
      rider* r = rider_slots[slot];
      if (!r) continue;
      for (int n = rider_next_timing_index(r); n > 0; n = rider_next_timing_index(r)) {
        const int32_t t = rider_timing_tick(r, n - 1);
        if (t <= c && t >= 0) break;
        rider_truncate_timing(r, n - 1);
        // The results are open again until the race is played out anew.
        results_finished = 0;
      }
    }
    if (race_hooks.finish_results) race_hooks.finish_results();
  }
  race_clock.current_tick = (int32_t)c;
  state_history_clear_all();
  demo_read_ahead();
  simulation_tick();
}

void demo_install_hooks() {
  race_hooks.demo_skip = demo_skip;
  race_hooks.demo_open_playback = demo_open_for_reset;
  race_hooks.demo_next_rider = demo_next_rider_identity;
  race_hooks.demo_map_rider = demo_map_rider;
  race_hooks.demo_close_playback = demo_close_playback;
  race_hooks.demo_start_recording = demo_start_recording;
  race_hooks.demo_stop_recording = demo_stop_recording;
  race_hooks.demo_write_states = demo_write_states;
  race_hooks.demo_read_ahead = demo_read_ahead;
  race_hooks.demo_open_ghost = demo_open_ghost;
  net_send_terrain_edit = demo_terrain_edit;
}
