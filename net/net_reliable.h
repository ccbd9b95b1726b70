#pragma once
// Reliable messages: every one is a kind-17 datagram carrying one item. The
// client's go out one at a time from the outgoing list, each resent every
// half second until the server acknowledges it; the server's are
// acknowledged at once and handed to the game strictly in sequence order,
// those that arrive early waiting in a sorted list.
//
//   client  17, u32 slot, u32 key, u32 sequence, item kind, payload (<= 466)
//   server  17, u32 sequence, item kind, payload to the datagram's end
#include <cstddef>
#include <cstdint>

struct stream;

enum {
  // A node holds a whole datagram, so an early server message that fills
  // the receive buffer is still delivered whole.
  net_node_bytes = 1024,
  net_reliable_head_bytes = 13,
  net_reliable_datagram_max = 480,
  net_reliable_payload_max = net_reliable_datagram_max - net_reliable_head_bytes - 1,  // 466
  // Server messages further ahead of the expected one than this are
  // acknowledged but not kept: memory stays bounded whatever the server sends.
  net_waiting_window = 1024,
  net_upload_part_bytes = 256,
  net_upload_name_max = 1024,
  net_knockout_max = 460800,
};

enum net_item_kind {
  net_item_client_info = 3,
  net_item_text = 19,
  net_item_ping = 20,  // the client's keep-alive; from the server, a ping
  net_item_timing = 21,
  net_item_command = 24,
  net_item_terrain = 27,
  net_item_version = 30,
  net_item_pong = 31,
};

struct net_packet_node {
  double next_send_time;  // 0: at the next resend check
  net_packet_node* next;
  uint32_t sequence;
  int32_t length;
  uint8_t datagram[net_node_bytes];
};

extern net_packet_node* net_outgoing;  // creation order; only the head is on the wire
extern net_packet_node* net_waiting;   // rising sequence, no two alike
extern uint32_t net_next_sequence;
extern uint32_t net_expected_sequence;

// What the reliable side keeps beyond the lists.
// When the next keep-alive is due while spectating; starts at 5 s.
extern double net_keepalive_time;

struct net_reliable_record {
  stream* upload;         // the file being sent, or null
  int upload_ready;       // the server said "sendready"
  double next_part_time;
  char closing_text[net_upload_name_max + 16];  // "namefile NAME"
  int version_kind;        // 0 none asked, else the item (24 or 30) that asked
  uint32_t version_due;    // wall-clock second the answer is due; 0 not set yet
};
extern net_reliable_record net_reliable;

// A new outgoing node at the list's tail with the 13-byte head written and
// the next sequence taken. Out of memory ends the program.
net_packet_node* net_new_reliable_packet();
// Queues one item; its payload is cut to 466 bytes. Without a socket it
// prints "Not connected to server" and returns 0.
int net_send_item(int kind, const void* payload, size_t length);
// A chat or text line as item 19.
void net_send_text(const char* text);
// A finished rut message: offline to the previous handler (the erode queue
// and the demo), online as item 27 with the connection id.
void net_send_terrain_edit_online(const uint8_t* bytes, int32_t length);

// A server datagram of kind 17 (at least 6 bytes): acknowledged, then
// delivered in order, kept for later or dropped as a repeat.
void net_reliable_receive(const uint8_t* datagram, size_t length);
// An ack: frees the outgoing head when the sequence is the head's.
void net_reliable_ack(uint32_t sequence);
// Every net_tick after the drain: the upload and version steps, then the
// head goes out when due.
void net_reliable_step();
// The racing step's items: the timing item (before the state packet).
void net_racing_timing_item();
// Then the keep-alive and the client-info item.
void net_racing_late_items();
// Frees both lists and zeroes both counters (the client reset).
void net_reliable_free_lists();
// Program shut-down: an upload under way is closed.
void net_reliable_shutdown();

// One server item's effect.
void net_interpret_item(int kind, const uint8_t* payload, size_t length);
// One server text command (item 24).
void net_server_command(const char* text);

// The console's "sendfile NAME": checks the name, opens "@outgoing/NAME",
// sends "sendfile"; the parts follow once the server is ready.
void net_send_file(const char* name);

// The sender of terrain edits that was installed before the client's own:
// the offline path.
extern void (*net_offline_terrain_edit)(const uint8_t* bytes, int32_t length);
