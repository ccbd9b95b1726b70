// IPv4 datagram sockets over POSIX.
#include "platform/os/os_socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

static thread_local int last_code;

static sockaddr_in to_sockaddr(const os_ipv4_address* a) {
  sockaddr_in s;
  memset(&s, 0, sizeof s);
  s.sin_family = AF_INET;
  s.sin_port = htons(a->port);
  s.sin_addr.s_addr = htonl(a->host);
  return s;
}

int os_socket_lookup_ipv4(const char* name, uint32_t* host_out) {
  if (!name || !*name) return 0;
  addrinfo hints;
  memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* result = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &result) != 0 || !result) return 0;
  int found = 0;
  for (addrinfo* p = result; p; p = p->ai_next) {
    if (p->ai_family == AF_INET && p->ai_addrlen >= sizeof(sockaddr_in)) {
      const sockaddr_in* s = reinterpret_cast<const sockaddr_in*>(p->ai_addr);
      *host_out = ntohl(s->sin_addr.s_addr);
      found = 1;
      break;
    }
  }
  freeaddrinfo(result);
  return found;
}

int os_socket_open_udp() {
  int s = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (s < 0) {
    last_code = errno;
    return -1;
  }
  int flags = fcntl(s, F_GETFL, 0);
  if (flags < 0 || fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) {
    last_code = errno;
    ::close(s);
    return -1;
  }
  return s;
}

void os_socket_close(int socket) {
  if (socket >= 0) ::close(socket);
}

int os_socket_bind(int socket, const os_ipv4_address* address) {
  sockaddr_in s = to_sockaddr(address);
  if (::bind(socket, reinterpret_cast<sockaddr*>(&s), sizeof s) < 0) {
    last_code = errno;
    return 0;
  }
  return 1;
}

int os_socket_local_address(int socket, os_ipv4_address* out) {
  sockaddr_in s;
  socklen_t n = sizeof s;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&s), &n) < 0) {
    last_code = errno;
    return 0;
  }
  out->host = ntohl(s.sin_addr.s_addr);
  out->port = ntohs(s.sin_port);
  return 1;
}

long os_socket_send_to(int socket, const void* data, size_t length, const os_ipv4_address* to) {
  sockaddr_in s = to_sockaddr(to);
  ssize_t n = ::sendto(socket, data, length, 0, reinterpret_cast<sockaddr*>(&s), sizeof s);
  if (n < 0) {
    last_code = errno;
    return -1;
  }
  return static_cast<long>(n);
}

long os_socket_receive_from(int socket, void* buffer, size_t size, os_ipv4_address* from) {
  sockaddr_in s;
  memset(&s, 0, sizeof s);
  socklen_t n = sizeof s;
  ssize_t got = ::recvfrom(socket, buffer, size, 0, reinterpret_cast<sockaddr*>(&s), &n);
  if (got < 0) {
    last_code = errno;
    return -1;
  }
  if (from) {
    from->host = ntohl(s.sin_addr.s_addr);
    from->port = ntohs(s.sin_port);
  }
  return static_cast<long>(got);
}

struct errno_twin {
  int errno_value;
  int winsock_code;
};

static const errno_twin errno_twins[] = {
    {EINTR, 10004},           {EAGAIN, 10035},          {ENOMEM, 8},
    {EBADF, 10009},           {EACCES, 10013},          {EFAULT, 10014},
    {EINVAL, 10022},          {EMFILE, 10024},          {EINPROGRESS, 10036},
    {EALREADY, 10037},        {ENOTSOCK, 10038},        {EDESTADDRREQ, 10039},
    {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},      {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},
    {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},        {ENETUNREACH, 10051},
    {ENETRESET, 10052},       {ECONNABORTED, 10053},    {ECONNRESET, 10054},
    {ENOBUFS, 10055},         {EISCONN, 10056},         {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},       {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},    {ELOOP, 10062},           {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},       {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},
    {EUSERS, 10068},          {EDQUOT, 10069},          {ESTALE, 10070},
    {EREMOTE, 10071},
};

int os_socket_last_error() {
  if (last_code == EWOULDBLOCK) return 10035;
  for (const errno_twin& t : errno_twins)
    if (t.errno_value == last_code) return t.winsock_code;
  return last_code;
}
