#pragma once
// The multiplayer client: one state machine, stepped once per simulation
// tick by net_tick, that connects to the pending server, drains the socket,
// answers the server's packets and sends the local rider's state. The
// socket is polled, never waited on. What the race reads of it lives in
// race/net_values.h and race/race_state.h.
#include <cstddef>
#include <cstdint>

#include "net/udp.h"

enum net_client_state {
  net_contacting = 0,
  net_sending_client_info = 3,
  net_acknowledging_track = 5,
  net_acknowledging_bikes = 7,
  net_loaded = 9,
  net_racing = 11,
  net_restarting = 14,
  net_disconnecting = 15,
};

enum {
  net_default_port = 19800,
  net_client_version = 41,
  net_server_protocol = 6,
  net_receive_max = 1023,
  net_client_info_bytes = 982,
  net_no_slot = 160,
  net_redirect_max = 127,
  fake_lag_entries = 1024,
  fake_lag_entry_bytes = 1024,
};

// Who rides a network slot, from the server's rider-info text. Strings are
// interned; null until a text names them.
struct net_slot_info_record {
  const char* bike;
  const char* rider_texture;
  const char* bike_texture;
  const char* wheel_texture;
  const char* head_texture;
  char number[4];
  const char* name;
};

struct net_client_record {
  int socket;  // -1 offline
  net_address server;
  int state;
  uint32_t session_number;  // wall-clock seconds when the connection opened
  uint32_t session_key;
  uint32_t connection_id;   // 0: none
  uint32_t last_info_slot;  // 160: none
  uint32_t race_length_ticks;
  uint32_t race_laps;
  uint32_t gate_drop_tick;
  uint8_t track_digest[20];
  const char* track_name;
  uint32_t newest_server_time;  // 0: none yet
  int server_time_estimate;
  double last_send_time;  // 0 forces a send on the next tick
  int line_up[net_no_slot];
  net_slot_info_record slot_info[net_no_slot];
  int last_crossing_count;
  int no_arcade;
  char redirect_target[net_redirect_max + 1];
  double redirect_time;  // 0: none
  // The server a redirect named, kept here so the reset that follows it
  // cannot clear the text the pending server points at.
  char redirect_server[net_redirect_max + 1];
};
extern net_client_record net_client;

// The clocks the client reads: the program clock in seconds ("now"), the
// wall clock in whole seconds (the session number) and the fake-loss dice.
// Tests swap them for simulated ones.
struct net_clock_source {
  double (*now)();
  uint32_t (*wall_seconds)();
  int (*random)();  // 0..32767
};
extern net_clock_source net_clock;

// Sends a finished datagram to the server; 1 when it went out. A failed
// send prints "sendto error (...)".
int net_send_datagram(const uint8_t* data, size_t length);
// The ack of a server reliable message.
void net_send_ack(uint32_t sequence);

void net_tick();
void net_receive_packets();
// The effects of one datagram known to come from the server: a kind the
// client does not take, a datagram shorter than its kind's fixed fields or
// one that fails its kind's conditions changes nothing.
void net_handle_datagram(const uint8_t* data, size_t length);
void net_send_hello();
// The rider-info text of the local setup; the short form when the long
// one does not fit.
void net_format_client_info(char* buffer, size_t size);
void net_parse_rider_info(int slot, const char* text);

// The user's disconnect: at once in state 0, else via state 15.
void net_disconnect();
// Shut-down: one disconnect packet when online, then the socket closes
// and the client resets.
void net_shutdown();
// The Multiplayer page's restart request (state 11 only).
void net_request_restart();
// Back to offline: socket closed, every connection value cleared.
void net_reset();

// The race's hooks: the estimate, the per-race tables and a slot's rider.
int net_server_time_estimate();
void net_clear_race_tables();
struct rider_identity;
int net_rider_info(int slot, rider_identity* out);
const char* net_rider_name(int slot);
// Fills race_hooks' client entries.
void net_install_race_hooks();
