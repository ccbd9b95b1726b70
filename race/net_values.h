#pragma once
// What the race reads of the multiplayer client, with their values while
// offline. The client sets them while it is connected and puts them back
// when it closes; the simulation tick and the results read them.
#include <cstdint>

enum { net_slot_count = 160 };

extern int net_online;           // the client socket is open
extern int net_own_slot;         // the local rider's slot online; 160: none
// Per slot: the tick of the newest network state received.
extern uint32_t net_state_time[net_slot_count];
// A rider slower over a timing segment than the leader's time x scale +
// bias (seconds) is off course; the server may change both.
extern float off_course_bias;
extern float off_course_scale;

// 1 when the slot's newest state is a second or more behind the tick. The
// difference is signed, so a state stamped ahead of the clock is fresh.
int net_state_stale(int slot, int32_t current_tick);

// Back to the offline values.
void net_values_reset();
