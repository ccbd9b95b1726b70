// Bounds-checked reading and writing of the race protocol's packets.
#include "net/net_packets.h"

#include <cstring>

#include "core/rmd160.h"

net_reader net_reader_make(const void* data, size_t length) {
  net_reader r = {static_cast<const uint8_t*>(data), data ? length : 0, 0};
  return r;
}

size_t net_reader_left(const net_reader* r) { return r->at <= r->length ? r->length - r->at : 0; }

int net_read_bytes(net_reader* r, void* out, size_t n) {
  if (net_reader_left(r) < n) return 0;
  if (n) std::memcpy(out, r->data + r->at, n);
  r->at += n;
  return 1;
}

int net_read_u8(net_reader* r, uint8_t* out) { return net_read_bytes(r, out, 1); }

int net_read_u16(net_reader* r, uint16_t* out) {
  uint8_t b[2];
  if (!net_read_bytes(r, b, 2)) return 0;
  *out = static_cast<uint16_t>(b[0] | b[1] << 8);
  return 1;
}

int net_read_u32(net_reader* r, uint32_t* out) {
  uint8_t b[4];
  if (!net_read_bytes(r, b, 4)) return 0;
  *out = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
         static_cast<uint32_t>(b[3]) << 24;
  return 1;
}

net_writer net_writer_make(void* data, size_t size) {
  net_writer w = {static_cast<uint8_t*>(data), size, 0, 0};
  return w;
}

void net_write_bytes(net_writer* w, const void* bytes, size_t n) {
  if (w->failed || w->size - w->at < n) {
    w->failed = 1;
    return;
  }
  if (n) std::memcpy(w->data + w->at, bytes, n);
  w->at += n;
}

void net_write_u8(net_writer* w, uint8_t v) { net_write_bytes(w, &v, 1); }

void net_write_u32(net_writer* w, uint32_t v) {
  const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                        static_cast<uint8_t>(v >> 24)};
  net_write_bytes(w, b, 4);
}

size_t net_server_min_length(int kind) {
  switch (kind) {
    case net_kind_server_full: return 1;
    case net_kind_accept: return 13;         // slot, key, version
    case net_kind_race_info: return 37;      // id, length, laps, gate drop, digest (20)
    case net_kind_other_rider_info: return 9;  // id, slot
    case net_kind_own_rider_info: return 9;  // id, start position
    case net_kind_time_sync: return 13;      // id, server time, echoed tick
    case net_kind_state: return 17;          // id, server time, echoed tick, count
    case net_kind_restart_request: return 5;
    case net_kind_restart: return 5;         // id
    case net_kind_disconnect: return 1;
    case net_kind_message: return 1;
    case net_kind_reliable: return 6;        // sequence, item kind
    case net_kind_ack: return 5;             // sequence
    case net_kind_redirect: return 5;        // session number
    default: return 0;
  }
}

void net_password_check(const char* password, uint32_t session_key, uint8_t out[net_password_check_bytes]) {
  if (!password) {
    std::memset(out, 0, net_password_check_bytes);
    return;
  }
  rmd160_context c;
  rmd160_init(&c);
  rmd160_update(&c, password, std::strlen(password));
  const uint8_t key[4] = {static_cast<uint8_t>(session_key), static_cast<uint8_t>(session_key >> 8),
                          static_cast<uint8_t>(session_key >> 16), static_cast<uint8_t>(session_key >> 24)};
  rmd160_update(&c, key, 4);
  rmd160_final(&c);
  for (int i = 0; i < 4; i++) out[i] = c.digest[3 - i];
}
