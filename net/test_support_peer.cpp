#include "net/test_support_peer.h"

bool test_peer_open(test_peer* p) {
  p->socket = udp_open_loopback(&p->port);
  return p->socket >= 0;
}

void test_peer_close(test_peer* p) {
  if (p->socket >= 0) udp_close(p->socket);
  p->socket = -1;
}

int test_peer_drain(test_peer* p) {
  int n = 0;
  uint8_t buffer[4096];
  for (;;) {
    net_address from;
    long got = udp_receive(p->socket, buffer, sizeof buffer, &from);
    if (got < 0) break;
    p->client = from;
    p->received.emplace_back(buffer, buffer + got);
    n++;
  }
  return n;
}

void test_peer_send(test_peer* p, const std::vector<uint8_t>& bytes) {
  udp_send(p->socket, bytes.data(), bytes.size(), &p->client);
}

packet_bytes& packet_bytes::u8(uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  return *this;
}
packet_bytes& packet_bytes::u16(uint32_t v) {
  for (int i = 0; i < 2; i++) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return *this;
}
packet_bytes& packet_bytes::u32(uint32_t v) {
  for (int i = 0; i < 4; i++) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return *this;
}
packet_bytes& packet_bytes::text(const std::string& s) {
  b.insert(b.end(), s.begin(), s.end());
  return *this;
}
packet_bytes& packet_bytes::raw(const uint8_t* p, size_t n) {
  b.insert(b.end(), p, p + n);
  return *this;
}
packet_bytes packet(int kind) {
  packet_bytes p;
  p.u8(static_cast<uint32_t>(kind));
  return p;
}
uint32_t packet_u32(const std::vector<uint8_t>& p, size_t at) {
  if (at + 4 > p.size()) return 0xdeadbeef;
  return static_cast<uint32_t>(p[at]) | static_cast<uint32_t>(p[at + 1]) << 8 |
         static_cast<uint32_t>(p[at + 2]) << 16 | static_cast<uint32_t>(p[at + 3]) << 24;
}
