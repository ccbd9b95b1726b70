#pragma once
// A scripted race server for the client's tests: a UDP socket on
// 127.0.0.1 with an ephemeral port that sends what a test tells it to and
// collects what the client sends. Delivery on the loopback is immediate, so
// the tests step the client in simulated time without waiting.
#include <cstdint>
#include <string>
#include <vector>

#include "net/udp.h"

struct test_peer {
  int socket = -1;
  uint16_t port = 0;
  net_address client{};  // where the client's last datagram came from
  std::vector<std::vector<uint8_t>> received;
};

bool test_peer_open(test_peer* p);
void test_peer_close(test_peer* p);
// Collects every datagram waiting; returns how many arrived.
int test_peer_drain(test_peer* p);
// Sends to the client's address (learned from its first datagram).
void test_peer_send(test_peer* p, const std::vector<uint8_t>& bytes);

// Little-endian packet building.
struct packet_bytes {
  std::vector<uint8_t> b;
  packet_bytes& u8(uint32_t v);
  packet_bytes& u16(uint32_t v);
  packet_bytes& u32(uint32_t v);
  packet_bytes& text(const std::string& s);
  packet_bytes& raw(const uint8_t* p, size_t n);
};
packet_bytes packet(int kind);
uint32_t packet_u32(const std::vector<uint8_t>& p, size_t at);
