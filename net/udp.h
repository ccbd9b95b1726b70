#pragma once
// The multiplayer client's UDP layer: one non-blocking IPv4 datagram
// socket, host[:port] resolution and readable names for socket errors.
// Nothing here prints; a failure returns 0 or -1 and leaves its name in
// udp_last_error for the caller to show.
#include <cstddef>
#include <cstdint>

enum { udp_address_length = 16 };

// A server or sender address. length is always 16 once filled; port and
// host are in host order.
struct net_address {
  int32_t length;
  uint16_t family;  // AF_INET (2)
  uint16_t port;
  uint32_t host;
};

// The last socket error's name, or null (also after an empty receive).
extern const char* udp_last_error;

// host[:port]: the number after the last ":" (read as "%d", taken modulo
// 65536) replaces default_port; text after it that is no number leaves the
// whole text, colon included, as the host name. 1 on success, 0 when the
// host is unknown or empty.
int udp_resolve_address(net_address* address, const char* text, int default_port);
int udp_open();  // -1 on failure
void udp_close(int socket);
long udp_send(int socket, const void* data, size_t length, const net_address* address);
long udp_receive(int socket, void* buffer, size_t size, net_address* address);
void udp_cleanup();  // once at shut-down
// The name of a Winsock-numbered code: null for an interrupted call or an
// empty socket (10004, 10035), a constant name for the named codes, else
// the decimal digits (in a static buffer).
const char* udp_error_name(int code);
// Points udp_last_error at the name of the OS layer's last error and
// returns the code.
int udp_error_text();

// For tests and the loopback peer: a socket bound to 127.0.0.1 on an
// ephemeral port, whose port is stored in *port. -1 on failure.
int udp_open_loopback(uint16_t* port);
