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

// Where the client connects next: host[:port], or null. While it is null
// the client does nothing. The text lives in connect_target_buffer (or,
// after a redirect, in the client's own copy), never in storage a reset
// clears.
extern const char* net_pending_server;
enum { connect_target_bytes = 128 };
// The one server text "--connect" and the Multiplayer page connect to.
extern char connect_target_buffer[connect_target_bytes];
// Per slot, the lag in ticks shown as "Ping" on the Multiplayer page.
extern int net_lag[net_slot_count];
// The bike setup changed: the client sends its client info again.
extern int net_settings_changed;

// Asks the client to connect to text (host[:port]): copied into
// connect_target_buffer (at most 127 bytes), which game_state's
// connect_target and net_pending_server then point at. 0 when the text is
// null or too long (nothing changes).
int net_request_connect(const char* text);

// 1 when the slot's newest state is a second or more behind the tick. The
// difference is signed, so a state stamped ahead of the clock is fresh.
int net_state_stale(int slot, int32_t current_tick);

// Back to the offline values.
void net_values_reset();
