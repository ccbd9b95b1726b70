#pragma once
// The race protocol's byte level: bounds-checked little-endian reading of
// a received datagram, writing of the client's packets, the shortest
// datagram each server kind can be, and the client-info password check.
//
//   every datagram: byte 0 kind, then its fields, u16/u32 little-endian
//   client  0 hello      13   password flag, version 41, session number
//           3 info     17+t   slot, key, password check, session, text
//           5/9/14      13    slot, key, connection id
//           7           17    slot, key, connection id, last info slot
//          11 state     60    slot, key, id, server time, tick, pose (39)
//          13           13    slot, key, 1
//          15 bye        9    slot, key
//          17 reliable 13+i   slot, key, sequence, item
//          18 ack       13    slot, key, sequence
#include <cstddef>
#include <cstdint>

enum {
  net_kind_hello = 0,
  net_kind_server_full = 1,
  net_kind_accept = 2,
  net_kind_client_info = 3,
  net_kind_race_info = 4,
  net_kind_track_ack = 5,
  net_kind_other_rider_info = 6,
  net_kind_bike_ack = 7,
  net_kind_own_rider_info = 8,
  net_kind_loaded = 9,
  net_kind_time_sync = 10,
  net_kind_state = 11,
  net_kind_restart_request = 13,
  net_kind_restart = 14,
  net_kind_disconnect = 15,
  net_kind_message = 16,
  net_kind_reliable = 17,
  net_kind_ack = 18,
  net_kind_redirect = 25,

  net_state_record_bytes = 47,  // u16 slot, u16 lag, u32 tick, 39-byte pose
  net_state_packet_bytes = 60,
  net_password_check_bytes = 4,
};

// A received datagram being read: every read checks that its bytes lie
// inside length and otherwise reads nothing and returns 0.
struct net_reader {
  const uint8_t* data;
  size_t length;
  size_t at;
};
net_reader net_reader_make(const void* data, size_t length);
int net_read_u8(net_reader* r, uint8_t* out);
int net_read_u16(net_reader* r, uint16_t* out);
int net_read_u32(net_reader* r, uint32_t* out);
int net_read_bytes(net_reader* r, void* out, size_t n);
size_t net_reader_left(const net_reader* r);

// A packet being built in a caller's buffer; writes past size are refused
// and mark it failed.
struct net_writer {
  uint8_t* data;
  size_t size;
  size_t at;
  int failed;
};
net_writer net_writer_make(void* data, size_t size);
void net_write_u8(net_writer* w, uint8_t v);
void net_write_u32(net_writer* w, uint32_t v);
void net_write_bytes(net_writer* w, const void* bytes, size_t n);

// The shortest datagram of a server kind: its kind byte and fixed fields
// (a text to the end may be empty). 0 for a kind the client ignores.
size_t net_server_min_length(int kind);

// The client-info packet's password check: RIPEMD-160 over the password's
// characters and the session key's 4 bytes (least significant first); the
// wire bytes are the digest's bytes 3, 2, 1, 0. Zeros without a password.
void net_password_check(const char* password, uint32_t session_key, uint8_t out[net_password_check_bytes]);
