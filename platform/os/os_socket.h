#pragma once
// IPv4 datagram sockets over POSIX: what the multiplayer client's UDP layer
// needs and nothing more. A socket is a plain integer, -1 for none. Failures
// return -1 (or 0 for a look-up) and leave the errno-style code for
// os_socket_last_code.
#include <cstddef>
#include <cstdint>

// An IPv4 address and port, both in host order.
struct os_ipv4_address {
  uint32_t host;
  uint16_t port;
};

// The first IPv4 address of a host name or dotted address, in host order.
// Blocks while the name is looked up. 1 on success; 0 when unknown (an
// empty name is unknown and never means the local host).
int os_socket_lookup_ipv4(const char* name, uint32_t* host_out);

int os_socket_open_udp();  // non-blocking; -1 on failure
void os_socket_close(int socket);
// Binds to a local address (tests bind 127.0.0.1 port 0 for an ephemeral
// port). 1 on success.
int os_socket_bind(int socket, const os_ipv4_address* address);
// The bound local address. 1 on success.
int os_socket_local_address(int socket, os_ipv4_address* out);
// Bytes sent, or -1.
long os_socket_send_to(int socket, const void* data, size_t length, const os_ipv4_address* to);
// The datagram's length, or -1 (also when nothing is pending: code then
// os_socket_would_block). A datagram longer than size is cut to size.
long os_socket_receive_from(int socket, void* buffer, size_t size, os_ipv4_address* from);

// The code of the last failure on this thread, numbered as the Winsock
// twin of its errno value where one exists (EAGAIN 10035, EINTR 10004,
// ECONNREFUSED 10061 ...), so the client's messages read the same on every
// system; an errno value with no twin is passed through as it is.
int os_socket_last_error();
