// Reliable messages and the items they carry, both ways.
#include "net/net_reliable.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bike/rider.h"
#include "bike/rider_fall.h"
#include "bike/rider_setters.h"
#include "bike/rider_timing.h"
#include "core/file.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "net/net_client.h"
#include "net/net_packets.h"
#include "race/bike_setup.h"
#include "race/demo_file.h"
#include "race/demo_record.h"
#include "race/net_values.h"
#include "race/race_state.h"
#include "race/results.h"
#include "terrain/erode_queue.h"
#include "terrain/ruts.h"

net_packet_node* net_outgoing;
net_packet_node* net_waiting;
uint32_t net_next_sequence;
uint32_t net_expected_sequence;
double net_keepalive_time = 5.0;
net_reliable_record net_reliable = {nullptr, 0, 0, {0}, 0, 0};
void (*net_offline_terrain_edit)(const uint8_t* bytes, int32_t length) = erode_queue_add_stroke;

namespace {

// The menu pages on which the rider is still choosing: the client info
// waits until they are left (the menus' own numbering).
enum { page_chooser_id = 2, page_bike_setup_id = 7 };

const char keepalive_text[] = "Hello server, I'm still here!";
const char pong_text[] = "Roger that!  Still alive!";
const char version_text[] = "version 0 41 Brakkan";

uint32_t read_u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void put_u32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

net_packet_node* new_node() {
  auto* node = static_cast<net_packet_node*>(xmalloc(sizeof(net_packet_node)));
  std::memset(node, 0, sizeof *node);
  return node;
}

void free_list(net_packet_node** list) {
  while (*list) {
    net_packet_node* next = (*list)->next;
    check_free(*list);
    *list = next;
  }
}

// A text that runs to the payload's end (or its first zero byte).
void payload_text(const uint8_t* payload, size_t length, char* out, size_t size) {
  size_t n = length < size - 1 ? length : size - 1;
  std::memcpy(out, payload, n);
  out[n] = 0;
}

// The word at the start of text, followed by a blank or the end.
int starts_with_word(const char* text, const char* word) {
  const size_t n = std::strlen(word);
  return std::strncmp(text, word, n) == 0 && (text[n] == 0 || text[n] == ' ');
}

// One decimal integer at *p after blanks, clamped to int's range; 0 when
// there is none.
int read_int(const char** p, long long* out) {
  char* end;
  errno = 0;
  const long long v = std::strtoll(*p, &end, 10);
  if (end == *p) return 0;
  *p = end;
  *out = v;
  return 1;
}

int clamp_int(long long v, long long low, long long high) {
  return static_cast<int>(v < low ? low : v > high ? high : v);
}

// "WORD %f": 1 and the number when the text has it and it is finite.
int word_float(const char* text, const char* word, float* out) {
  char format[40];
  std::snprintf(format, sizeof format, "%s %%f", word);
  float v;
  if (std::sscanf(text, format, &v) != 1 || !std::isfinite(v)) return 0;
  *out = v;
  return 1;
}

void close_upload() {
  if (net_reliable.upload) stream_close(net_reliable.upload);
  net_reliable.upload = nullptr;
}

void command_no_arcade() {
  net_client.no_arcade = 1;
  server_no_arcade = 1;
  if (bike_setup.arcade) console_print("Arcade physics disabled");
  for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++)
    if (rider_slot_kind[slot] == RIDER_LOCAL && rider_slots[slot]) rider_set_arcade(rider_slots[slot], 0);
}

void command_knockout(const char* args) {
  long long last = 0;
  int reading = 1;
  for (int i = 0; i < knockout_extra_count; i++) {
    long long v;
    if (reading && read_int(&args, &v))
      last = clamp_int(v, 0, net_knockout_max);
    else
      reading = 0;
    knockout_extra[i] = static_cast<int32_t>(last);
  }
}

void command_erode(const char* args) {
  long long connection, level;
  if (!read_int(&args, &connection) || !read_int(&args, &level)) {
    console_print("Malformed erode command received");
    return;
  }
  if (connection != static_cast<long long>(net_client.connection_id)) return;
  const int new_level = clamp_int(level, INT32_MIN, INT32_MAX);
  if (erode_level == -1 && new_level == 0) {
    erode_level = 0;
    return;
  }
  erode_level = new_level;
  char text[32];
  std::snprintf(text, sizeof text, "erode %d", erode_level);
  demo_write_chunk(demo_chunk_command, text, static_cast<uint32_t>(std::strlen(text)));
  if (erode_level > 0) track_reload_requested = 1;
}

void command_senddenied() {
  console_print("Send file denied");
  net_reliable.upload_ready = 0;
  if (net_reliable.upload) {
    close_upload();
    net_reliable.closing_text[0] = 0;
  }
}

void command_redirect(const char* rest) {
  while (*rest == ' ') rest++;
  char target[net_redirect_max + 1];
  std::snprintf(target, sizeof target, "%s", rest);
  size_t n = std::strlen(target);
  while (n > 0 && target[n - 1] == ' ') target[--n] = 0;
  // With no target the disconnect would strand the client: ignore it.
  if (n == 0) return;
  std::memcpy(net_client.redirect_target, target, sizeof target);
  net_client.redirect_time = net_clock.now() + 10.0;
  console_printf("Redirecting to '%s' in 10 seconds", net_client.redirect_target);
}

void server_timing(const uint8_t* payload, size_t length) {
  if (length < 8) return;
  if (read_u32(payload) != net_client.connection_id) return;
  const uint32_t count = read_u32(payload + 4);
  size_t at = 8;
  for (uint32_t i = 0; i < count && length - at >= 12; i++, at += 12) {
    const uint32_t slot = read_u32(payload + at);
    const uint32_t index = read_u32(payload + at + 4);
    const uint32_t tick = read_u32(payload + at + 8);
    if (slot >= net_no_slot || static_cast<int>(slot) == net_own_slot) continue;
    rider* r = rider_slots[slot];
    // The timing list grows to the index: one past a race's reach is refused.
    if (!r || index >= static_cast<uint32_t>(rider_timing_index_limit)) continue;
    rider_set_timing_tick(r, static_cast<int>(index), static_cast<int32_t>(tick));
    rider_truncate_timing(r, static_cast<int>(index) + 1);
  }
  finish_results();
}

void server_terrain(const uint8_t* payload, size_t length) {
  if (length < 4) return;
  const uint8_t* message = payload + 4;
  const int32_t n = static_cast<int32_t>(length - 4);
  if (read_u32(payload) == net_client.connection_id) erode_queue_add_stroke(message, n);
  if (n > 0) demo_write_chunk(demo_chunk_terrain, message, static_cast<uint32_t>(n));
}

// The first wall-clock second after `second` that is a multiple of 3.
uint32_t next_third_second(uint32_t second) {
  uint32_t due = second + 1;
  while (due % 3 != 0) due++;
  return due;
}

void send_version_answer(int kind) {
  uint8_t text[sizeof version_text];
  std::memcpy(text, version_text, sizeof text);
  const size_t n = sizeof version_text - 1;
  if (kind == net_item_version)
    for (size_t i = 0; i < n; i++) text[i] ^= 0x80;
  net_send_item(kind, text, n);
}

void version_step() {
  if (!net_reliable.version_kind) return;
  const uint32_t wall = net_clock.wall_seconds();
  if (net_reliable.version_due == 0) {
    net_reliable.version_due = next_third_second(wall);
    return;
  }
  if (wall < net_reliable.version_due) return;
  if (wall == net_reliable.version_due) {
    send_version_answer(net_reliable.version_kind);
    net_reliable.version_kind = 0;
    net_reliable.version_due = 0;
  } else {
    net_reliable.version_due = next_third_second(wall);
  }
}

void upload_step(double now) {
  if (!net_reliable.upload_ready || !net_reliable.upload || now < net_reliable.next_part_time) return;
  net_reliable.next_part_time = now + 0.25;
  static const char head[] = "sendpart -";
  uint8_t part[sizeof head - 1 + net_upload_part_bytes];
  std::memcpy(part, head, sizeof head - 1);
  const uint32_t n = stream_read(net_reliable.upload, part + sizeof head - 1, net_upload_part_bytes);
  if (n > 0) net_send_item(net_item_command, part, sizeof head - 1 + n);
  if (n < net_upload_part_bytes) {
    close_upload();
    net_send_item(net_item_command, net_reliable.closing_text, std::strlen(net_reliable.closing_text));
  }
}

}  // namespace

net_packet_node* net_new_reliable_packet() {
  net_packet_node* node = new_node();
  node->sequence = net_next_sequence++;
  uint8_t* d = node->datagram;
  d[0] = net_kind_reliable;
  put_u32(d + 1, static_cast<uint32_t>(net_own_slot));
  put_u32(d + 5, net_client.session_key);
  put_u32(d + 9, node->sequence);
  node->length = net_reliable_head_bytes;
  net_packet_node** tail = &net_outgoing;
  while (*tail) tail = &(*tail)->next;
  *tail = node;
  return node;
}

int net_send_item(int kind, const void* payload, size_t length) {
  if (net_client.socket < 0) {
    console_print("Not connected to server");
    return 0;
  }
  if (length > net_reliable_payload_max) length = net_reliable_payload_max;
  net_packet_node* node = net_new_reliable_packet();
  node->datagram[node->length] = static_cast<uint8_t>(kind);
  if (length > 0) std::memcpy(node->datagram + node->length + 1, payload, length);
  node->length += static_cast<int32_t>(1 + length);
  return 1;
}

void net_send_text(const char* text) {
  if (!text) return;
  net_send_item(net_item_text, text, std::strlen(text));
}

void net_send_terrain_edit_online(const uint8_t* bytes, int32_t length) {
  if (length <= 0) return;
  if (net_client.socket < 0) {
    if (net_offline_terrain_edit) net_offline_terrain_edit(bytes, length);
    return;
  }
  uint8_t payload[4 + rut_message_max_bytes];
  const size_t n = static_cast<size_t>(length) < sizeof payload - 4 ? static_cast<size_t>(length) : sizeof payload - 4;
  put_u32(payload, net_client.connection_id);
  std::memcpy(payload + 4, bytes, n);
  net_send_item(net_item_terrain, payload, 4 + n);
}

void net_reliable_receive(const uint8_t* datagram, size_t length) {
  if (!datagram || length < 6) return;
  const uint32_t sequence = read_u32(datagram + 1);
  // A message too far ahead to keep is dropped unacknowledged, so the server
  // sends it again once the gap has filled; acknowledging it would lose it.
  if (sequence > net_expected_sequence && sequence - net_expected_sequence > net_waiting_window) return;
  net_send_ack(sequence);
  if (sequence < net_expected_sequence) return;
  if (sequence > net_expected_sequence) {
    net_packet_node** at = &net_waiting;
    while (*at && (*at)->sequence < sequence) at = &(*at)->next;
    if (*at && (*at)->sequence == sequence) return;
    net_packet_node* node = new_node();
    node->sequence = sequence;
    node->length = static_cast<int32_t>(length < sizeof node->datagram ? length : sizeof node->datagram);
    std::memcpy(node->datagram, datagram, static_cast<size_t>(node->length));
    node->next = *at;
    *at = node;
    return;
  }
  net_expected_sequence++;
  net_interpret_item(datagram[5], datagram + 6, length - 6);
  while (net_waiting && net_waiting->sequence <= net_expected_sequence) {
    net_packet_node* node = net_waiting;
    net_waiting = node->next;
    if (node->sequence == net_expected_sequence) {
      net_expected_sequence++;
      net_interpret_item(node->datagram[5], node->datagram + 6, static_cast<size_t>(node->length) - 6);
    }
    check_free(node);
  }
}

void net_reliable_ack(uint32_t sequence) {
  if (!net_outgoing || net_outgoing->sequence != sequence) return;
  net_packet_node* head = net_outgoing;
  net_outgoing = head->next;
  check_free(head);
}

void net_reliable_step() {
  if (net_client.socket < 0) return;
  const double now = net_clock.now();
  upload_step(now);
  version_step();
  net_packet_node* head = net_outgoing;
  if (!head || !(now > head->next_send_time)) return;
  head->next_send_time = now + 0.5;
  net_send_datagram(head->datagram, static_cast<size_t>(head->length));
}

void net_racing_timing_item() {
  rider* own = slot_rider(net_own_slot);
  if (net_own_slot == net_no_slot || own_start_position == race_no_slot || !own) return;
  const int32_t count = rider_next_timing_index(own);
  if (count == net_client.last_crossing_count) return;
  net_client.last_crossing_count = count;
  // A count back at 0 goes out too (index and tick all ones), so the server
  // drops the crossings a reset took away.
  uint8_t payload[12];
  put_u32(payload, net_client.connection_id);
  put_u32(payload + 4, static_cast<uint32_t>(count - 1));
  put_u32(payload + 8, static_cast<uint32_t>(rider_timing_tick(own, count - 1)));
  net_send_item(net_item_timing, payload, sizeof payload);
}

void net_racing_late_items() {
  const double now = net_clock.now();
  if (own_start_position == race_no_slot && now >= net_keepalive_time) {
    net_keepalive_time = now + 10.0;
    net_send_item(net_item_ping, keepalive_text, sizeof keepalive_text - 1);
  }
  if (net_settings_changed && menu_page != page_bike_setup_id && menu_page != page_chooser_id) {
    // The room left in a datagram less one.
    char text[net_reliable_payload_max - 1];
    net_format_client_info(text, sizeof text);
    net_send_item(net_item_client_info, text, std::strlen(text));
    net_settings_changed = 0;
  }
}

void net_reliable_free_lists() {
  free_list(&net_outgoing);
  free_list(&net_waiting);
  net_next_sequence = 0;
  net_expected_sequence = 0;
}

void net_reliable_shutdown() {
  close_upload();
  net_reliable.closing_text[0] = 0;
}

void net_interpret_item(int kind, const uint8_t* payload, size_t length) {
  switch (kind) {
    case net_item_text: {
      char text[net_node_bytes];
      payload_text(payload, length, text, sizeof text);
      console_print(text);
      demo_write_chunk(demo_chunk_text, text, static_cast<uint32_t>(std::strlen(text)));
      break;
    }
    case net_item_ping: net_send_item(net_item_pong, pong_text, sizeof pong_text - 1); break;
    case net_item_timing: server_timing(payload, length); break;
    case net_item_command: {
      char text[net_node_bytes];
      payload_text(payload, length, text, sizeof text);
      net_server_command(text);
      break;
    }
    case net_item_terrain: server_terrain(payload, length); break;
    case net_item_version:
      net_reliable.version_kind = net_item_version;
      net_reliable.version_due = 0;
      break;
    default: break;
  }
}

void net_server_command(const char* text) {
  float value;
  const char* knock = text;
  while (*knock == ' ') knock++;
  if (std::strcmp(text, "no_arcade") == 0) {
    command_no_arcade();
  } else if (word_float(text, "off_course_bias", &value)) {
    off_course_bias = value;
  } else if (word_float(text, "off_course_scale", &value)) {
    off_course_scale = value;
  } else if (starts_with_word(knock, "knockout")) {
    command_knockout(knock + 8);
  } else if (starts_with_word(text, "erode")) {
    command_erode(text + 5);
  } else if (std::strcmp(text, "sendready") == 0) {
    net_reliable.upload_ready = 1;
  } else if (starts_with_word(text, "senddenied")) {
    command_senddenied();
  } else if (starts_with_word(text, "version")) {
    net_reliable.version_kind = net_item_command;
    net_reliable.version_due = 0;
  } else if (starts_with_word(text, "redirect")) {
    command_redirect(text + 8);
  }
}

void net_send_file(const char* name) {
  if (!name) return;
  const size_t n = std::strlen(name);
  int ok = n > 0;
  for (size_t i = 0; i < n && ok; i++)
    ok = std::isalnum(static_cast<unsigned char>(name[i])) || name[i] == '_' || name[i] == '.';
  if (!ok) {
    console_print("Filename may only contain alphanumeric characters, '_' or '.'");
    return;
  }
  static const char folder[] = "@outgoing/";
  static const char closing[] = "namefile ";
  if (sizeof folder - 1 + n >= net_upload_name_max || sizeof closing - 1 + n >= net_upload_name_max) {
    console_print("Filename too long");
    return;
  }
  if (net_reliable.upload) {
    close_upload();
    console_print("Stopping previous transfer");
  }
  char path[net_upload_name_max];
  std::snprintf(path, sizeof path, "%s%s", folder, name);
  net_reliable.upload = stream_open(path, "rb");
  if (!net_reliable.upload) {
    console_print("Can't open file");
    return;
  }
  std::snprintf(net_reliable.closing_text, sizeof net_reliable.closing_text, "%s%s", closing, name);
  net_send_item(net_item_command, "sendfile", 8);
  console_print("Sending file");
}
