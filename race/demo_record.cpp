// Writing demos.
#include "race/demo_record.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bike/rider.h"
#include "bike/state_history.h"
#include "core/file.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "race/demo_file.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "terrain/erode_queue.h"
#include "terrain/track.h"

demo_recorder_state demo_recorder;
char demo_save_name[1024];

static const char default_demo[] = "@demos/default.bkdemo";

// A recording is written beside its demo under this suffix and renamed
// over it only once whole, so a full disk or a crash never costs the demo
// already there.
static const char recording_suffix[] = ".new";

static char* recording_file_path() {
  char name[sizeof demo_recorder.path + sizeof recording_suffix];
  std::snprintf(name, sizeof name, "%s%s", demo_recorder.path, recording_suffix);
  return home_file_path(name);
}

static void drop_recording() {
  char* path = recording_file_path();
  if (path) ::unlink(path);
  check_free(path);
}

static void stop_after_failure() {
  const int error = errno;
  console_printf("Demo recording stopped: can't write \"%.200s\": %s\n", demo_recorder.path,
                 error ? std::strerror(error) : "write failed");
  stream_close(demo_recorder.file);
  demo_recorder.file = nullptr;
  drop_recording();
}

static int home_file_exists(const char* name) {
  char* path = home_file_path(name);
  const int exists = path && access(path, F_OK) == 0;
  check_free(path);
  return exists;
}

// Moves one demo of the rotation; a file that exists and cannot be moved
// is named on the console.
static void move_demo(const char* from, const char* to) {
  if (!home_file_exists(from)) return;
  if (!rename_home_file(from, to)) console_printf("Can't rename \"%.200s\" to \"%.200s\"\n", from, to);
}

static void rotate_backups() {
  int n = demo_backups;
  n = n < 0 ? 0 : n > 100 ? 100 : n;
  char from[64], to[64];
  for (int i = n - 2; i >= 0; i--) {
    std::snprintf(from, sizeof from, "@demos/default%02d.bkdemo", i);
    std::snprintf(to, sizeof to, "@demos/default%02d.bkdemo", i + 1);
    move_demo(from, to);
  }
  if (n > 0) move_demo(default_demo, "@demos/default00.bkdemo");
}

static int is_recorded(int slot) {
  if (!slot_rider(slot)) return 0;
  const int kind = rider_slot_kind[slot];
  if (!net_online) return kind == RIDER_LOCAL || kind == RIDER_ROBOT;
  if (own_start_position == race_no_slot) return kind == RIDER_REMOTE || kind == RIDER_ROBOT;
  return 1;
}

static void copy_text(char* out, size_t room, const char* in) {
  std::snprintf(out, room, "%s", in ? in : "");
}

void demo_start_recording() {
  if (demo_recorder.file) demo_stop_recording();
  if (time_trial)
    std::snprintf(demo_recorder.path, sizeof demo_recorder.path, "@%s/lastlap.bkdemo", track_folder);
  else
    std::snprintf(demo_recorder.path, sizeof demo_recorder.path, "%s", default_demo);
  char* path = recording_file_path();
  demo_recorder.file = static_cast<stream*>(check_malloc(sizeof(stream)));
  errno = 0;
  if (!path || !demo_recorder.file || !stream_open_path(demo_recorder.file, path, "wb")) {
    const int error = errno;
    console_printf("Can't record demo \"%.200s\": %s\n", demo_recorder.path,
                   !path ? "no per-user folder" : error ? std::strerror(error) : "can't open");
    check_free(demo_recorder.file);
    demo_recorder.file = nullptr;
    check_free(path);
    return;
  }
  check_free(path);
  static demo_header h;
  std::memset(&h, 0, sizeof h);
  h.version = demo_version;
  h.race_length_ticks = race_clock.race_length_ticks;
  h.race_laps = race_clock.race_laps;
  h.gate_drop_tick = race_clock.gate_drop_tick;
  copy_text(h.track, sizeof h.track, track_folder);
  for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++) {
    demo_recorder.recorded_index[slot] = -1;
    if (!is_recorded(slot)) continue;
    const rider* r = slot_rider(slot);
    demo_rider& d = h.riders[h.rider_count];
    copy_text(d.bike, sizeof d.bike, rider_bike_model_name(r));
    copy_text(d.number, sizeof d.number, rider_number_text(r));
    copy_text(d.name, sizeof d.name, rider_names[slot]);
    rider_identity who = {};
    if (net_online && race_hooks.net_rider_info && race_hooks.net_rider_info(slot, &who)) {
      copy_text(d.gear_skin, sizeof d.gear_skin, who.gear_skin);
      copy_text(d.helmet_skin, sizeof d.helmet_skin, who.helmet_skin);
      copy_text(d.bike_skin, sizeof d.bike_skin, who.bike_skin);
      copy_text(d.wheels_skin, sizeof d.wheels_skin, who.wheels_skin);
    } else {
      copy_text(d.gear_skin, sizeof d.gear_skin, rider_gear_skin_name(r));
      copy_text(d.helmet_skin, sizeof d.helmet_skin, rider_helmet_skin_name(r));
      copy_text(d.bike_skin, sizeof d.bike_skin, rider_bike_skin_name(r));
      copy_text(d.wheels_skin, sizeof d.wheels_skin, rider_wheels_skin_name(r));
    }
    demo_recorder.recorded_index[slot] = (int16_t)h.rider_count++;
  }
  demo_recorder.previous_length = 0;
  if (!demo_header_write(demo_recorder.file, &h)) {
    stop_after_failure();
    return;
  }
  // Offline nobody else says how deep the ruts are: the replay must dig
  // as this race does.
  if (!net_online) {
    char text[32];
    std::snprintf(text, sizeof text, "erode %d", erode_level);
    demo_write_chunk(demo_chunk_command, text, (uint32_t)std::strlen(text));
  }
  if (demo_recorder.file && stream_flush(demo_recorder.file) != 0) stop_after_failure();
}

void demo_write_chunk(int type, const void* data, uint32_t length) {
  if (!demo_recorder.file) return;
  if (!demo_chunk_write(demo_recorder.file, &demo_recorder.previous_length, race_clock.current_tick, type, data,
                        length))
    stop_after_failure();
}

// One states chunk of every recorded rider's entries not yet written,
// oldest first; none when nothing is pending. The histories outlive the
// riders, so a stop after shut-down freed them still keeps their last
// states.
static void write_pending() {
  static uint8_t buffer[RIDER_SLOT_COUNT * state_history_size * demo_state_entry_bytes];
  uint32_t length = 0;
  for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++) {
    state_history& h = state_histories[slot];
    const int index = demo_recorder.recorded_index[slot];
    if (index < 0) continue;
    const int count = h.count < 0 ? 0 : h.count > state_history_size ? state_history_size : h.count;
    for (int k = count - 1; k >= 0; k--) {
      const int e = ((h.head - k) % state_history_size + state_history_size) % state_history_size;
      if (h.ticks[e] < 0) continue;
      uint8_t* p = buffer + length;
      p[0] = (uint8_t)index;
      demo_put_u32(p + 1, (uint32_t)h.ticks[e]);
      std::memcpy(p + 5, h.poses[e].bytes, packed_pose_size);
      length += demo_state_entry_bytes;
    }
    h.count = 0;
  }
  if (length == 0) return;
  demo_write_chunk(demo_chunk_states, buffer, length);
  if (demo_recorder.file && stream_flush(demo_recorder.file) != 0) stop_after_failure();
}

void demo_write_states(int force) {
  if (!demo_recorder.file) return;
  const int32_t tick = race_clock.current_tick;
  if (force || tick % 4 == 0) {
    for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++) {
      const rider* r = slot_rider(slot);
      if (!r || (rider_slot_kind[slot] != RIDER_LOCAL && rider_slot_kind[slot] != RIDER_ROBOT)) continue;
      packed_pose p;
      rider_pack_pose(r, &p);
      add_state_to_history(slot, &p, tick);
    }
  }
  if (!force && tick % 16 != 0) return;
  write_pending();
}

void demo_stop_recording() {
  if (demo_recorder.file) {
    // The last eighth of a second is already packed: keep it.
    write_pending();
    if (demo_recorder.file) {
      errno = 0;
      const int closed = stream_close_file(demo_recorder.file) == 0;
      const int error = errno;
      check_free(demo_recorder.file);
      demo_recorder.file = nullptr;
      char* from = recording_file_path();
      char* to = home_file_path(demo_recorder.path);
      if (!closed) {
        console_printf("Demo recording: can't finish \"%.200s\": %s\n", demo_recorder.path,
                       error ? std::strerror(error) : "write failed");
        drop_recording();
      } else {
        // Whole: only now do the demos before it move along.
        if (!std::strcmp(demo_recorder.path, default_demo)) rotate_backups();
        if (!from || !to || std::rename(from, to) != 0) {
          console_printf("Demo recording: can't keep \"%.200s\": %s\n", demo_recorder.path, std::strerror(errno));
          drop_recording();
        }
      }
      check_free(from);
      check_free(to);
    }
  }
  if (demo_save_name[0]) {
    char to[sizeof demo_save_name + 8];
    std::snprintf(to, sizeof to, "@demos/%s", demo_save_name);
    demo_save_name[0] = 0;
    move_demo(default_demo, to);
  }
}

void demo_terrain_edit(const uint8_t* bytes, int32_t length) {
  erode_queue_add_stroke(bytes, length);
  if (!net_online && length > 0) demo_write_chunk(demo_chunk_terrain, bytes, (uint32_t)length);
}
