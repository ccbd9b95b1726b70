// The multiplayer client's UDP layer over the OS layer's sockets.
#include "net/udp.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/os/os_socket.h"

const char* udp_last_error;
static int udp_started;
static char udp_error_digits[16];

struct udp_error_entry {
  int code;
  const char* name;
};

static const udp_error_entry udp_error_names[] = {
    {6, "WSA_INVALID_HANDLE"},
    {8, "WSA_NOT_ENOUGH_MEMORY"},
    {87, "WSA_INVALID_PARAMETER"},
    {995, "WSA_OPERATION_ABORTED"},
    {996, "WSA_IO_INCOMPLETE"},
    {997, "WSA_IO_PENDING"},
    {10009, "WSAEBADF"},
    {10013, "WSAEACCES"},
    {10014, "WSAEFAULT"},
    {10022, "WSAEINVAL"},
    {10024, "WSAEMFILE"},
    {10036, "WSAEINPROGRESS"},
    {10037, "WSAEALREADY"},
    {10038, "WSAENOTSOCK"},
    {10039, "WSAEDESTADDRREQ"},
    {10040, "WSAEMSGSIZE"},
    {10041, "WSAEPROTOTYPE"},
    {10042, "WSAENOPROTOOPT"},
    {10043, "WSAEPROTONOSUPPORT"},
    {10044, "WSAESOCKTNOSUPPORT"},
    {10045, "WSAEOPNOTSUPP"},
    {10046, "WSAEPFNOSUPPORT"},
    {10047, "WSAEAFNOSUPPORT"},
    {10048, "WSAEADDRINUSE"},
    {10049, "WSAEADDRNOTAVAIL"},
    {10050, "WSAENETDOWN"},
    {10051, "WSAENETUNREACH"},
    {10052, "WSAENETRESET"},
    {10053, "WSAECONNABORTED"},
    {10054, "WSAECONNRESET"},
    {10055, "WSAENOBUFS"},
    {10056, "WSAEISCONN"},
    {10057, "WSAENOTCONN"},
    {10058, "WSAESHUTDOWN"},
    {10059, "WSAETOOMANYREFS"},
    {10060, "WSAETIMEDOUT"},
    {10061, "WSAECONNREFUSED"},
    {10062, "WSAELOOP"},
    {10063, "WSAENAMETOOLONG"},
    {10064, "WSAEHOSTDOWN"},
    {10065, "WSAEHOSTUNREACH"},
    {10066, "WSAENOTEMPTY"},
    {10067, "WSAEPROCLIM"},
    {10068, "WSAEUSERS"},
    {10069, "WSAEDQUOT"},
    {10070, "WSAESTALE"},
    {10071, "WSAEREMOTE"},
    {10091, "WSASYSNOTREADY"},
    {10092, "WSAVERNOTSUPPORTED"},
    {10093, "WSANOTINITIALISED"},
    {10101, "WSAEDISCON"},
    {10102, "WSAENOMORE"},
    {10103, "WSAECANCELLED"},
    {10104, "WSAEINVALIDPROCTABLE"},
    {10105, "WSAEINVALIDPROVIDER"},
    {10106, "WSAEPROVIDERFAILEDINIT"},
    {10107, "WSASYSCALLFAILURE"},
    {10108, "WSASERVICE_NOT_FOUND"},
    {10109, "WSATYPE_NOT_FOUND"},
    {10110, "WSA_E_NO_MORE"},
    {10111, "WSA_E_CANCELLED"},
    {10112, "WSAEREFUSED"},
    {11001, "WSAHOST_NOT_FOUND"},
    {11002, "WSATRY_AGAIN"},
    {11003, "WSANO_RECOVERY"},
    {11004, "WSANO_DATA"},
    {11005, "WSA_QOS_RECEIVERS"},
    {11006, "WSA_QOS_SENDERS"},
    {11007, "WSA_QOS_NO_SENDERS"},
    {11008, "WSA_QOS_NO_RECEIVERS"},
    {11009, "WSA_QOS_REQUEST_CONFIRMED"},
    {11010, "WSA_QOS_ADMISSION_FAILURE"},
    {11011, "WSA_QOS_POLICY_FAILURE"},
    {11012, "WSA_QOS_BAD_STYLE"},
    {11013, "WSA_QOS_BAD_OBJECT"},
    {11014, "WSA_QOS_TRAFFIC_CTRL_ERROR"},
    {11015, "WSA_QOS_GENERIC_ERROR"},
    {11016, "WSA_QOS_ESERVICETYPE"},
    {11017, "WSA_QOS_EFLOWSPEC"},
    {11018, "WSA_QOS_EPROVSPECBUF"},
    {11019, "WSA_QOS_EFILTERSTYLE"},
    {11020, "WSA_QOS_EFILTERTYPE"},
    {11021, "WSA_QOS_EFILTERCOUNT"},
    {11022, "WSA_QOS_EOBJLENGTH"},
    {11023, "WSA_QOS_EFLOWCOUNT"},
    {11024, "WSA_QOS_EUNKNOWNPSOBJ"},
    {11025, "WSA_QOS_EPOLICYOBJ"},
    {11026, "WSA_QOS_EFLOWDESC"},
    {11027, "WSA_QOS_EPSFLOWSPEC"},
    {11028, "WSA_QOS_EPSFILTERSPEC"},
    {11029, "WSA_QOS_ESDMODEOBJ"},
    {11030, "WSA_QOS_ESHAPERATEOBJ"},
    {11031, "WSA_QOS_RESERVED_PETYPE"},
};

// POSIX sockets need no start-up; the flag keeps the start-once,
// clean-up-once shape the client's shut-down relies on.
static void udp_start() { udp_started = 1; }

const char* udp_error_name(int code) {
  if (code == 10004 || code == 10035) return nullptr;
  for (const udp_error_entry& e : udp_error_names)
    if (e.code == code) return e.name;
  snprintf(udp_error_digits, sizeof udp_error_digits, "%d", code);
  return udp_error_digits;
}

int udp_error_text() {
  int code = os_socket_last_error();
  udp_last_error = udp_error_name(code);
  return code;
}

int udp_resolve_address(net_address* address, const char* text, int default_port) {
  udp_start();
  udp_last_error = nullptr;
  memset(address, 0, sizeof *address);
  address->length = udp_address_length;
  if (!text) return 0;
  std::string host = text;
  int port = default_port;
  size_t colon = host.rfind(':');
  if (colon != std::string::npos) {
    // As "%d" reads it (blanks, a sign, digits), but a number too long for
    // an int keeps its low bits instead of being undefined.
    const char* digits = host.c_str() + colon + 1;
    char* end = nullptr;
    long long number = strtoll(digits, &end, 10);
    if (end != digits) {
      port = static_cast<int>(static_cast<unsigned long long>(number) & 0xffffffffu);
      host.resize(colon);
    }
  }
  address->family = 2;
  address->port = static_cast<uint16_t>(static_cast<unsigned>(port) & 0xffffu);
  uint32_t ip;
  if (!os_socket_lookup_ipv4(host.c_str(), &ip)) return 0;
  address->host = ip;
  return 1;
}

int udp_open() {
  udp_start();
  udp_last_error = nullptr;
  int s = os_socket_open_udp();
  if (s < 0) udp_error_text();
  return s;
}

void udp_close(int socket) { os_socket_close(socket); }

long udp_send(int socket, const void* data, size_t length, const net_address* address) {
  udp_last_error = nullptr;
  os_ipv4_address to = {address->host, address->port};
  long n = os_socket_send_to(socket, data, length, &to);
  if (n < 0) udp_error_text();
  return n;
}

long udp_receive(int socket, void* buffer, size_t size, net_address* address) {
  udp_last_error = nullptr;
  os_ipv4_address from = {0, 0};
  long n = os_socket_receive_from(socket, buffer, size, &from);
  if (n < 0) {
    udp_error_text();
    return -1;
  }
  if (address) {
    memset(address, 0, sizeof *address);
    address->length = udp_address_length;
    address->family = 2;
    address->host = from.host;
    address->port = from.port;
  }
  return n;
}

void udp_cleanup() { udp_started = 0; }

int udp_open_loopback(uint16_t* port) {
  int s = udp_open();
  if (s < 0) return -1;
  os_ipv4_address a = {0x7f000001u, 0};
  os_ipv4_address bound;
  if (!os_socket_bind(s, &a) || !os_socket_local_address(s, &bound)) {
    udp_error_text();
    udp_close(s);
    return -1;
  }
  *port = bound.port;
  return s;
}
