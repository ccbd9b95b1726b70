#include "net/udp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(udp, host_and_port_rule) {
  struct row {
    const char* text;
    int ok;
    uint16_t port;
  } rows[] = {
      {"127.0.0.1:2000", 1, 2000},
      {"127.0.0.1", 1, 19800},
      {"127.0.0.1:65537", 1, 1},  // modulo 65536
      {"127.0.0.1:-1", 1, 65535},
      {"127.0.0.1:99999999999", 1, static_cast<uint16_t>(99999999999ll & 0xffff)},
      {"localhost:", 0, 19800},        // "localhost:" looked up whole
      {"127.0.0.1:abc", 0, 19800},     // no number: the whole text is the host
      {"", 0, 19800},                  // never the local host
      {":2000", 0, 2000},              // empty host
  };
  for (const row& r : rows) {
    net_address a;
    memset(&a, 0xcc, sizeof a);
    EXPECT_EQ(udp_resolve_address(&a, r.text, 19800), r.ok) << r.text;
    EXPECT_EQ(a.length, 16) << r.text;
    EXPECT_EQ(a.port, r.port) << r.text;
    if (r.ok) {
      EXPECT_EQ(a.host, 0x7f000001u) << r.text;
    }
  }
}

TEST(udp, error_names) {
  EXPECT_EQ(udp_error_name(10035), nullptr);
  EXPECT_EQ(udp_error_name(10004), nullptr);
  EXPECT_STREQ(udp_error_name(10061), "WSAECONNREFUSED");
  EXPECT_STREQ(udp_error_name(10040), "WSAEMSGSIZE");
  EXPECT_STREQ(udp_error_name(6), "WSA_INVALID_HANDLE");
  EXPECT_STREQ(udp_error_name(11031), "WSA_QOS_RESERVED_PETYPE");
  EXPECT_STREQ(udp_error_name(10010), "10010");  // a gap in the table
  EXPECT_STREQ(udp_error_name(12345), "12345");
  EXPECT_STREQ(udp_error_name(-7), "-7");
}

TEST(udp, empty_socket_and_loopback_round_trip) {
  uint16_t port_a = 0, port_b = 0;
  int a = udp_open_loopback(&port_a);
  int b = udp_open_loopback(&port_b);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  char buffer[64];
  net_address from;
  EXPECT_EQ(udp_receive(a, buffer, sizeof buffer, &from), -1);
  EXPECT_EQ(udp_last_error, nullptr);

  net_address to;
  ASSERT_EQ(udp_resolve_address(&to, ("127.0.0.1:" + std::to_string(port_a)).c_str(), 19800), 1);
  EXPECT_EQ(udp_send(b, "hello", 5, &to), 5);
  long n = -1;
  for (int i = 0; i < 1000 && n < 0; i++) n = udp_receive(a, buffer, sizeof buffer, &from);
  ASSERT_EQ(n, 5);
  EXPECT_EQ(memcmp(buffer, "hello", 5), 0);
  EXPECT_EQ(from.port, port_b);
  EXPECT_EQ(from.host, 0x7f000001u);
  EXPECT_EQ(from.length, 16);

  // A send on a closed socket fails with a name.
  udp_close(b);
  EXPECT_EQ(udp_send(b, "x", 1, &to), -1);
  EXPECT_STREQ(udp_last_error, "WSAEBADF");
  udp_close(a);
  udp_cleanup();
}
