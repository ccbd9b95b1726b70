// The multiplayer client's connection state machine and its packets.
#include "net/net_client.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "bike/packed_pose.h"
#include "bike/rider.h"
#include "bike/state_history.h"
#include "core/game_clock.h"
#include "core/intern.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "bike/bike_model.h"
#include "net/net_packets.h"
#include "net/net_reliable.h"
#include "race/bike_setup.h"
#include "race/game_state.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/startup_lists.h"
#include "terrain/ruts.h"
#include "terrain/track.h"

static net_client_record net_client_initial() {
  net_client_record c;
  std::memset(&c, 0, sizeof c);
  c.socket = -1;
  c.last_info_slot = net_no_slot;
  return c;
}

net_client_record net_client = net_client_initial();

static double clock_now() { return game_clock; }
static uint32_t clock_wall_seconds() { return static_cast<uint32_t>(std::time(nullptr)); }
static int clock_random() { return std::rand() & 0x7fff; }
net_clock_source net_clock = {clock_now, clock_wall_seconds, clock_random};

// The fake-lag queue: a ring of datagrams with their arrival times.
struct fake_lag_entry {
  double arrival;
  uint8_t data[fake_lag_entry_bytes];
  long length;
  net_address from;
};
static fake_lag_entry fake_lag_queue[fake_lag_entries];
static int fake_lag_head;   // the oldest entry
static int fake_lag_count;  // entries waiting

static void print_send_error() {
  if (udp_last_error) console_printf("sendto error (%.100s)", udp_last_error);
}

// Sends a finished packet to the server; 1 when it went out.
static int send_to_server(const net_writer& w) {
  if (w.failed || net_client.socket < 0) return 0;
  if (udp_send(net_client.socket, w.data, w.at, &net_client.server) < 0) {
    print_send_error();
    return 0;
  }
  return 1;
}

// The head every client packet but the hello shares: kind, slot, key.
static void write_head(net_writer* w, int kind) {
  net_write_u8(w, static_cast<uint8_t>(kind));
  net_write_u32(w, static_cast<uint32_t>(net_own_slot));
  net_write_u32(w, net_client.session_key);
}

void net_send_hello() {
  uint8_t buffer[13];
  net_writer w = net_writer_make(buffer, sizeof buffer);
  net_write_u8(&w, net_kind_hello);
  net_write_u32(&w, game_state.net_password ? 1 : 0);
  net_write_u32(&w, net_client_version);
  net_write_u32(&w, net_client.session_number);
  if (send_to_server(w)) console_print("Contacting server\n");
}

static void send_client_info() {
  uint8_t buffer[17 + net_client_info_bytes];
  char text[net_client_info_bytes];
  net_format_client_info(text, sizeof text);
  uint8_t check[net_password_check_bytes];
  net_password_check(game_state.net_password, net_client.session_key, check);
  net_writer w = net_writer_make(buffer, sizeof buffer);
  write_head(&w, net_kind_client_info);
  net_write_bytes(&w, check, sizeof check);
  net_write_u32(&w, net_client.session_number);
  net_write_bytes(&w, text, std::strlen(text));
  net_settings_changed = 0;
  if (send_to_server(w)) console_print("Sending client info\n");
}

// Kinds 5, 9 and 14 (and 7 with the last info slot): slot, key, id.
static int send_id_packet(int kind, int with_last_info_slot) {
  uint8_t buffer[17];
  net_writer w = net_writer_make(buffer, sizeof buffer);
  write_head(&w, kind);
  net_write_u32(&w, net_client.connection_id);
  if (with_last_info_slot) net_write_u32(&w, net_client.last_info_slot);
  return send_to_server(w);
}

static void send_disconnect_packet() {
  uint8_t buffer[9];
  net_writer w = net_writer_make(buffer, sizeof buffer);
  write_head(&w, net_kind_disconnect);
  if (send_to_server(w)) console_print("Disconnecting\n");
}

int net_send_datagram(const uint8_t* data, size_t length) {
  if (net_client.socket < 0) return 0;
  if (udp_send(net_client.socket, data, length, &net_client.server) < 0) {
    print_send_error();
    return 0;
  }
  return 1;
}

void net_send_ack(uint32_t sequence) {
  uint8_t buffer[13];
  net_writer w = net_writer_make(buffer, sizeof buffer);
  write_head(&w, net_kind_ack);
  net_write_u32(&w, sequence);
  send_to_server(w);
}

void net_request_restart() {
  if (net_client.state != net_racing) return;
  uint8_t buffer[13];
  net_writer w = net_writer_make(buffer, sizeof buffer);
  write_head(&w, net_kind_restart_request);
  net_write_u32(&w, 1);
  if (send_to_server(w)) console_print("Requesting restart\n");
}

static void send_state_packet(const rider* r) {
  packed_pose pose;
  rider_pack_pose(r, &pose);
  uint8_t buffer[net_state_packet_bytes];
  net_writer w = net_writer_make(buffer, sizeof buffer);
  write_head(&w, net_kind_state);
  net_write_u32(&w, net_client.connection_id);
  net_write_u32(&w, net_client.newest_server_time);
  net_write_u32(&w, static_cast<uint32_t>(race_clock.current_tick));
  net_write_bytes(&w, pose.bytes, packed_pose_size);
  send_to_server(w);
}

void net_clear_race_tables() {
  for (int i = 0; i < net_no_slot; i++) {
    std::memset(&net_client.slot_info[i], 0, sizeof net_client.slot_info[i]);
    net_client.line_up[i] = 0;
    net_lag[i] = 0;
    net_state_time[i] = 0;
  }
}

void net_reset() {
  if (net_client.socket >= 0) udp_close(net_client.socket);
  net_client.socket = -1;
  net_client.state = net_contacting;
  net_pending_server = nullptr;
  net_own_slot = net_no_slot;
  own_start_position = race_no_slot;
  net_client.session_key = 0;
  net_client.connection_id = 0;
  net_client.race_length_ticks = 0;
  net_client.race_laps = 0;
  net_client.gate_drop_tick = 0;
  net_client.newest_server_time = 0;
  net_client.server_time_estimate = 0;
  net_client.last_crossing_count = 0;
  net_client.last_send_time = 0;
  net_settings_changed = 0;
  net_client.no_arcade = 0;
  off_course_bias = 10.0f;
  off_course_scale = 1.5f;
  net_online = 0;
  net_reliable_free_lists();
  server_no_arcade = 0;
  if (net_client.redirect_target[0] && net_client.redirect_time == 0) {
    std::memcpy(net_client.redirect_server, net_client.redirect_target, sizeof net_client.redirect_server);
    net_pending_server = net_client.redirect_server;
  }
  net_client.redirect_target[0] = 0;
  net_client.redirect_time = 0;
  game_state.connect_target = net_pending_server;
}

void net_disconnect() {
  if (net_client.state == net_contacting) {
    net_reset();
    console_print("Disconnected\n");
  } else {
    net_client.state = net_disconnecting;
  }
}

void net_shutdown() {
  if (net_client.socket >= 0) send_disconnect_packet();
  net_reset();
  net_reliable_shutdown();
  net_pending_server = nullptr;
  game_state.connect_target = nullptr;
}

int net_server_time_estimate() { return net_client.server_time_estimate; }

static const char* or_empty(const char* s) { return s ? s : ""; }

void net_format_client_info(char* buffer, size_t size) {
  if (!buffer || size == 0) return;
  const int row = bike_setup.bike;
  const char* bike = row >= 0 && row < BIKE_MODEL_COUNT ? bike_models[row].name : "";
  char bike_name[BIKE_NAME_SIZE + 1];
  std::snprintf(bike_name, sizeof bike_name, "%.*s", static_cast<int>(BIKE_NAME_SIZE), bike);
  const char* texts[7] = {bike_name,
                          bike_setup.rider_texture,
                          bike_setup.bike_texture,
                          bike_setup.wheel_texture,
                          bike_setup.head_texture,
                          bike_setup.number,
                          bike_setup.name};
  size_t total = 6;
  for (const char* t : texts) total += std::strlen(t);
  if (total < size)
    std::snprintf(buffer, size, "%s|%s|%s|%s|%s\n%s\n%s", texts[0], texts[1], texts[2], texts[3], texts[4],
                  texts[5], texts[6]);
  else
    std::snprintf(buffer, size, "%s\n%s\n%s", texts[0], texts[5], texts[6]);
}

void net_parse_rider_info(int slot, const char* text) {
  if (slot < 0 || slot >= net_no_slot || !text) return;
  char copy[fake_lag_entry_bytes];
  std::snprintf(copy, sizeof copy, "%s", text);
  net_slot_info_record* info = &net_client.slot_info[slot];
  char* line2 = std::strchr(copy, '\n');
  char* line3 = nullptr;
  if (line2) {
    *line2++ = 0;
    line3 = std::strchr(line2, '\n');
    if (line3) {
      *line3++ = 0;
      char* end = std::strchr(line3, '\n');
      if (end) *end = 0;
    }
  }
  const char** fields[5] = {&info->bike, &info->rider_texture, &info->bike_texture, &info->wheel_texture,
                            &info->head_texture};
  char* field = copy;
  for (int i = 0; i < 5 && field; i++) {
    char* bar = std::strchr(field, '|');
    if (bar) *bar++ = 0;
    *fields[i] = intern_string(field);
    field = bar;
  }
  if (line2) std::snprintf(info->number, sizeof info->number, "%.3s", line2);
  if (line3) info->name = intern_string(line3);
}

int net_rider_info(int slot, rider_identity* out) {
  if (slot < 0 || slot >= net_no_slot || !out) return 0;
  const net_slot_info_record* info = &net_client.slot_info[slot];
  if (!info->bike) return 0;
  out->bike = info->bike;
  out->number = info->number;
  out->name = info->name;
  out->gear_skin = info->rider_texture;
  out->helmet_skin = info->head_texture;
  out->bike_skin = info->bike_texture;
  out->wheels_skin = info->wheel_texture;
  return 1;
}

const char* net_rider_name(int slot) {
  if (slot < 0 || slot >= net_no_slot) return nullptr;
  return net_client.slot_info[slot].name;
}

void net_install_race_hooks() {
  race_hooks.net_tick = net_tick;
  race_hooks.net_server_time_estimate = net_server_time_estimate;
  race_hooks.net_clear_race_tables = net_clear_race_tables;
  race_hooks.net_rider_info = net_rider_info;
  race_hooks.net_rider_name = net_rider_name;
  race_hooks.net_send_text = net_send_text;
  race_hooks.net_send_file = net_send_file;
  // Rut messages go through the server while online; offline they keep
  // going where they went before (the erode queue and the demo).
  if (net_send_terrain_edit != net_send_terrain_edit_online) {
    net_offline_terrain_edit = net_send_terrain_edit;
    net_send_terrain_edit = net_send_terrain_edit_online;
  }
  // Starting a race of one's own from the menus leaves the server the way
  // shutting down does: one disconnect, then offline whatever the send did.
  race_hooks.net_leave_server = net_shutdown;
  race_hooks.net_client_state = [] { return net_client.state; };
  race_hooks.net_disconnect = net_disconnect;
  race_hooks.net_request_restart = net_request_restart;
  race_hooks.net_line_up_entry = [](int slot) { return slot >= 0 && slot < net_no_slot ? net_client.line_up[slot] : 0; };
}

// A text that runs to the datagram's end, terminated there.
static void read_text_to_end(net_reader* r, char* out, size_t size) {
  size_t n = net_reader_left(r);
  if (n > size - 1) n = size - 1;
  net_read_bytes(r, out, n);
  out[n] = 0;
}

static void print_race_text() {
  const int minutes = static_cast<int>(net_client.race_length_ticks * (1.0 / 128.0) / 60.0 + 0.5);
  if (net_client.race_length_ticks < 1)
    console_printf("%d laps", static_cast<int>(net_client.race_laps));
  else if (net_client.race_laps < 1)
    console_printf("%d minutes", minutes);
  else
    console_printf("%d minutes + %d laps", minutes, static_cast<int>(net_client.race_laps));
}

// Ticks from an echoed tick to now. Both come from the server, so the
// difference wraps rather than overflows.
static int ticks_since(uint32_t echoed) {
  return static_cast<int32_t>(static_cast<uint32_t>(race_clock.current_tick) - echoed);
}

static void server_time_rule(uint32_t server_time) {
  if (net_client.newest_server_time == 0) race_clock.current_tick = static_cast<int32_t>(server_time);
  if (server_time > net_client.newest_server_time) {
    net_client.newest_server_time = server_time;
    net_client.server_time_estimate = static_cast<int>(server_time);
  }
}

static void enter_racing_from_loaded() {
  if (net_client.state != net_loaded) return;
  print_race_text();
  net_client.state = net_racing;
}

static int track_installed(const char* name) {
  for (int i = 0; i < track_count; i++)
    if (track_folders && track_folders[i] && std::strcmp(track_folders[i], name) == 0) return 1;
  return 0;
}

static void on_accept(net_reader* r) {
  if (net_client.state != net_contacting) return;
  uint32_t slot, key, version;
  net_read_u32(r, &slot);
  net_read_u32(r, &key);
  net_read_u32(r, &version);
  // The slot indexes every per-slot table from here on.
  if (slot >= net_no_slot) return;
  net_own_slot = static_cast<int>(slot);
  net_client.session_key = key;
  if (version == net_server_protocol) {
    net_client.state = net_sending_client_info;
  } else {
    console_print("Server version does not match client version\n");
    net_client.state = net_disconnecting;
  }
  net_client.last_send_time = 0;
}

static void on_race_info(net_reader* r) {
  if (net_own_slot == net_no_slot) return;
  if (net_client.state != net_sending_client_info && net_client.state != net_restarting) return;
  uint32_t id, length, laps, gate_drop;
  net_read_u32(r, &id);
  if (net_client.connection_id != 0 && id != net_client.connection_id) return;
  net_read_u32(r, &length);
  net_read_u32(r, &laps);
  net_read_u32(r, &gate_drop);
  net_client.connection_id = id;
  net_client.race_length_ticks = length;
  net_client.race_laps = laps;
  net_client.gate_drop_tick = gate_drop;
  net_read_bytes(r, net_client.track_digest, sizeof net_client.track_digest);
  char name[net_receive_max + 1];
  read_text_to_end(r, name, sizeof name);
  net_client.track_name = intern_string(name);
  net_client.last_send_time = 0;
  if (!track_installed(name)) {
    console_printf("Can't find track '%.150s'\n", name);
    net_client.state = net_disconnecting;
    return;
  }
  net_client.state = net_acknowledging_track;
  net_clear_race_tables();
  own_start_position = race_no_slot;
  net_client.last_info_slot = net_no_slot;
  net_client.newest_server_time = 0;
  net_client.server_time_estimate = 0;
  net_client.last_crossing_count = 0;
  state_history_clear_all();
}

static int rider_info_acceptable(net_reader* r) {
  if (net_own_slot == net_no_slot) return 0;
  if (net_client.state != net_acknowledging_track && net_client.state != net_acknowledging_bikes) return 0;
  uint32_t id;
  net_read_u32(r, &id);
  return id == net_client.connection_id;
}

static void on_other_rider_info(net_reader* r) {
  if (!rider_info_acceptable(r)) return;
  uint32_t slot;
  net_read_u32(r, &slot);
  // Slots past the tables are refused like any out-of-order info.
  if (slot >= net_no_slot) return;
  if (net_client.last_info_slot != net_no_slot && slot <= net_client.last_info_slot) return;
  char text[net_receive_max + 1];
  read_text_to_end(r, text, sizeof text);
  net_parse_rider_info(static_cast<int>(slot), text);
  net_client.last_info_slot = slot;
  net_client.line_up[slot] = line_up_network;
  net_client.state = net_acknowledging_bikes;
  net_client.last_send_time = 0;
}

static void on_own_rider_info(net_reader* r) {
  if (!rider_info_acceptable(r)) return;
  uint32_t start;
  net_read_u32(r, &start);
  char text[net_receive_max + 1];
  read_text_to_end(r, text, sizeof text);
  net_client.line_up[net_own_slot] = line_up_local;
  net_parse_rider_info(net_own_slot, text);
  // Positions past the gate count as watching: the reset indexes by it.
  own_start_position = start >= race_no_slot ? race_no_slot : static_cast<int>(start);
  server_line_up = net_client.line_up;
  server_gate_drop_tick = static_cast<int>(net_client.gate_drop_tick);
  std::snprintf(server_track, sizeof server_track, "%s", or_empty(net_client.track_name));
  reset_session(net_client.line_up, 0, record_demos, static_cast<int>(net_client.race_length_ticks),
                static_cast<int>(net_client.race_laps), 0);
  net_client.state = net_loaded;
  net_client.last_send_time = 0;
  if (std::memcmp(track_hash, net_client.track_digest, sizeof net_client.track_digest) != 0) {
    console_printf("Client track modified - does not match server's track (%.100s)\n",
                   or_empty(net_client.track_name));
    net_client.state = net_disconnecting;
  }
}

static int race_packet_acceptable(net_reader* r, uint32_t* server_time, uint32_t* echoed) {
  if (net_own_slot == net_no_slot) return 0;
  if (net_client.state != net_loaded && net_client.state != net_racing) return 0;
  uint32_t id;
  net_read_u32(r, &id);
  if (id != net_client.connection_id) return 0;
  net_read_u32(r, server_time);
  net_read_u32(r, echoed);
  // The race clock counts in signed ticks and goes on counting from the
  // server's time: one at its very end (after some 194 days) would overflow.
  if (*server_time >= static_cast<uint32_t>(INT32_MAX)) return 0;
  return 1;
}

static void on_time_sync(net_reader* r) {
  uint32_t server_time, echoed;
  if (!race_packet_acceptable(r, &server_time, &echoed)) return;
  if (echoed != 0) net_lag[net_own_slot] = ticks_since(echoed);
  server_time_rule(server_time);
  enter_racing_from_loaded();
}

static void on_states(net_reader* r) {
  uint32_t server_time, echoed, count;
  if (!race_packet_acceptable(r, &server_time, &echoed)) return;
  net_read_u32(r, &count);
  for (uint32_t i = 0; i < count; i++) {
    if (net_reader_left(r) < net_state_record_bytes) {
      console_print("State packet too small\n");
      return;
    }
    uint16_t slot, lag;
    uint32_t tick;
    packed_pose pose;
    net_read_u16(r, &slot);
    net_read_u16(r, &lag);
    net_read_u32(r, &tick);
    net_read_bytes(r, pose.bytes, packed_pose_size);
    if (slot >= net_no_slot) continue;
    if (rider_slot_kind[slot] != RIDER_REMOTE || !rider_slots[slot]) continue;
    if (tick <= net_state_time[slot]) continue;
    net_state_time[slot] = tick;
    net_lag[slot] = lag;
    add_state_to_history(slot, &pose, static_cast<int32_t>(tick));
  }
  if (echoed != 0 && count >= 1) net_lag[net_own_slot] = ticks_since(echoed);
  server_time_rule(server_time);
  enter_racing_from_loaded();
}

static void on_race_restart(net_reader* r) {
  if (net_own_slot == net_no_slot) return;
  if (net_client.state != net_loaded && net_client.state != net_racing) return;
  uint32_t id;
  net_read_u32(r, &id);
  if (id > net_client.connection_id) {
    net_client.connection_id = id;
    net_client.state = net_restarting;
  }
}

static void on_redirect(net_reader* r) {
  if (net_client.state != net_contacting) return;
  uint32_t number;
  net_read_u32(r, &number);
  if (number != net_client.session_number) return;
  char target[net_redirect_max + 1];
  size_t n = net_reader_left(r);
  if (n > net_redirect_max) n = net_redirect_max;
  net_read_bytes(r, target, n);
  target[n] = 0;
  net_reset();
  std::memcpy(net_client.redirect_server, target, sizeof target);
  net_pending_server = net_client.redirect_server;
  game_state.connect_target = net_pending_server;
}

void net_handle_datagram(const uint8_t* data, size_t length) {
  if (!data || length < 1) return;
  const int kind = data[0];
  const size_t minimum = net_server_min_length(kind);
  if (minimum == 0 || length < minimum) return;
  net_reader r = net_reader_make(data, length);
  r.at = 1;
  switch (kind) {
    case net_kind_server_full: console_print("Server is full\n"); break;
    case net_kind_accept: on_accept(&r); break;
    case net_kind_race_info: on_race_info(&r); break;
    case net_kind_other_rider_info: on_other_rider_info(&r); break;
    case net_kind_own_rider_info: on_own_rider_info(&r); break;
    case net_kind_time_sync: on_time_sync(&r); break;
    case net_kind_state: on_states(&r); break;
    case net_kind_restart_request: break;
    case net_kind_restart: on_race_restart(&r); break;
    case net_kind_disconnect:
      console_print("Disconnected\n");
      net_reset();
      break;
    case net_kind_message: {
      char text[net_receive_max + 1];
      read_text_to_end(&r, text, sizeof text);
      console_print(text);
      net_client.state = net_disconnecting;
      net_client.last_send_time = 0;
      break;
    }
    case net_kind_reliable: net_reliable_receive(data, length); break;
    case net_kind_ack: {
      uint32_t sequence;
      net_read_u32(&r, &sequence);
      net_reliable_ack(sequence);
      break;
    }
    case net_kind_redirect: on_redirect(&r); break;
  }
}

static int from_server(const net_address& from) {
  return from.host == net_client.server.host && from.port == net_client.server.port;
}

// Reads one datagram, through the fake-lag queue when lag or loss is set.
// -1 when nothing (more) is to be handled this tick.
static long next_datagram(uint8_t* buffer, net_address* from) {
  if (game_state.fake_lag <= 0 && game_state.fake_loss <= 0)
    return udp_receive(net_client.socket, buffer, net_receive_max, from);
  // A full ring stops reading for this tick rather than overwrite a
  // datagram not yet delivered.
  while (fake_lag_count < fake_lag_entries) {
    fake_lag_entry* e = &fake_lag_queue[(fake_lag_head + fake_lag_count) % fake_lag_entries];
    long n = udp_receive(net_client.socket, e->data, sizeof e->data, &e->from);
    if (n < 0) break;
    if (net_clock.random() < game_state.fake_loss * 327) continue;
    e->length = n;
    e->arrival = net_clock.now();
    fake_lag_count++;
  }
  if (fake_lag_count == 0) return -1;
  fake_lag_entry* oldest = &fake_lag_queue[fake_lag_head];
  if (!(oldest->arrival + game_state.fake_lag < net_clock.now())) return -1;
  long n = oldest->length > static_cast<long>(net_receive_max) ? static_cast<long>(net_receive_max) : oldest->length;
  std::memcpy(buffer, oldest->data, static_cast<size_t>(n));
  *from = oldest->from;
  fake_lag_head = (fake_lag_head + 1) % fake_lag_entries;
  fake_lag_count--;
  return n;
}

void net_receive_packets() {
  uint8_t buffer[net_receive_max + 1];
  while (net_client.socket >= 0) {
    net_address from;
    long n = next_datagram(buffer, &from);
    if (n < 0) {
      if (udp_last_error) console_print(udp_last_error);
      break;
    }
    // Only the server speaks to us; anything else could forge its packets.
    if (!from_server(from)) continue;
    net_handle_datagram(buffer, static_cast<size_t>(n));
  }
}

static void racing_step() {
  net_racing_timing_item();
  rider* own = slot_rider(net_own_slot);
  if (net_own_slot != net_no_slot && own_start_position != race_no_slot && own &&
      race_clock.current_tick % 4 == 0)
    send_state_packet(own);
  net_racing_late_items();
}

static void connect_to_pending() {
  const char* failure = nullptr;
  if (!stock_parts_ok) {
    failure = "Fixed file mismatch\n";
  } else if (!udp_resolve_address(&net_client.server, net_pending_server, net_default_port)) {
    // Which name failed is the one thing a player can mend.
    console_printf("Can't resolve address '%.200s'\n", net_pending_server);
    net_pending_server = nullptr;
    return;
  } else {
    net_client.socket = udp_open();
    if (net_client.socket < 0) failure = "Can't create socket\n";
  }
  if (failure) {
    console_print(failure);
    net_pending_server = nullptr;
    return;
  }
  net_online = 1;
  fake_lag_head = 0;
  fake_lag_count = 0;
  net_client.state = net_contacting;
  net_client.session_number = net_clock.wall_seconds();
  net_client.last_send_time = net_clock.now();
  net_send_hello();
}

void net_tick() {
  if (!net_pending_server) return;
  if (net_client.socket < 0) {
    connect_to_pending();
    if (net_client.socket < 0) return;
  }
  if (net_client.server_time_estimate > 0 && net_client.server_time_estimate < INT32_MAX)
    net_client.server_time_estimate++;
  net_receive_packets();
  if (net_client.socket < 0) return;
  net_reliable_step();
  const double now = net_clock.now();
  if (net_client.redirect_time != 0 && now > net_client.redirect_time) {
    net_client.redirect_time = 0;
    net_client.state = net_disconnecting;
    console_printf("Redirecting to '%s'", net_client.redirect_target);
  }
  if (net_client.state != net_racing) {
    if (now < net_client.last_send_time + 1.0) return;
    net_client.last_send_time = now;
  }
  switch (net_client.state) {
    case net_contacting: net_send_hello(); break;
    case net_sending_client_info: send_client_info(); break;
    case net_acknowledging_track:
      if (send_id_packet(net_kind_track_ack, 0)) console_print("Sending track acknowledgment\n");
      break;
    case net_acknowledging_bikes:
      if (send_id_packet(net_kind_bike_ack, 1))
        console_printf("Sending bike acknowledgment %d\n", static_cast<int>(net_client.last_info_slot));
      break;
    case net_loaded: send_id_packet(net_kind_loaded, 0); break;
    case net_restarting:
      if (send_id_packet(net_kind_restart, 0)) console_print("Sending restart\n");
      break;
    case net_disconnecting: send_disconnect_packet(); break;
    case net_racing: racing_step(); break;
  }
}
