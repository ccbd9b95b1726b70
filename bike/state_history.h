#pragma once
// The state history: per rider slot, the last 128 packed poses received or
// recorded, each with its tick, kept in tick order in a ring. The race tick
// poses remote and replayed riders from it, and the demo writer takes the
// entries it has not yet written.
#include <cstdint>

#include "bike/packed_pose.h"
#include "bike/rider.h"

enum { state_history_size = 128 };

struct state_history {
  packed_pose poses[state_history_size];
  int32_t ticks[state_history_size];  // -1 = empty
  int32_t head;   // the newest entry
  int32_t count;  // entries added and not yet taken by the demo writer, at most 128
};

extern state_history state_histories[RIDER_SLOT_COUNT];

// Inserts the pose of a slot at its tick, in tick order. A tick already held
// changes nothing; a negative tick, a slot outside 0..159 (with a console
// line) and a pose older than every entry of a full ring are not stored.
void add_state_to_history(int slot, const packed_pose* pose, int32_t tick);

// Empties every slot: every tick -1, poses zeroed, head and count 0. Race
// reset and the server's race info do it.
void state_history_clear_all();
