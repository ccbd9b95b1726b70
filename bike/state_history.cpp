// The per-slot rings of packed poses.
#include "bike/state_history.h"

#include <cstring>

#include "core/message_ring.h"

state_history state_histories[RIDER_SLOT_COUNT];

namespace {

// Empty from the start, not full of tick-0 entries.
const int emptied_at_start = (state_history_clear_all(), 0);

int wrap(int i) { return (i + state_history_size) % state_history_size; }

}  // namespace

void state_history_clear_all() {
  (void)emptied_at_start;
  for (state_history& h : state_histories) {
    std::memset(h.poses, 0, sizeof h.poses);
    for (int32_t& t : h.ticks) t = -1;
    h.head = 0;
    h.count = 0;
  }
}

void add_state_to_history(int slot, const packed_pose* pose, int32_t tick) {
  if (slot < 0 || slot >= RIDER_SLOT_COUNT) {
    console_print("add_state_to_history: slot out of range");
    return;
  }
  // -1 marks an empty entry.
  if (tick < 0 || !pose) return;
  state_history& h = state_histories[slot];
  int newer = 0;
  while (newer < state_history_size && h.ticks[wrap(h.head - newer)] > tick) newer++;
  // Older than every entry of a full ring: it would be the one evicted.
  if (newer == state_history_size) return;
  if (h.ticks[wrap(h.head - newer)] == tick) return;
  // The newer entries move one place on, newest first; the newest lands on
  // the oldest entry (or an empty one), which goes.
  for (int k = 0; k < newer; k++) {
    const int from = wrap(h.head - k);
    const int to = wrap(from + 1);
    h.poses[to] = h.poses[from];
    h.ticks[to] = h.ticks[from];
  }
  const int at = wrap(h.head - newer + 1);
  h.poses[at] = *pose;
  h.ticks[at] = tick;
  h.head = wrap(h.head + 1);
  if (h.count < state_history_size) h.count++;
}
