// The server's reliable messages as the multiplayer client takes them. The
// first byte picks the mode: even, the rest is one item (its kind byte and
// payload) interpreted directly; odd, the rest is a run of messages, each a
// length byte and that many bytes of datagram after the kind byte, whose
// sequences are taken as offsets from the expected one so that early,
// repeated and old messages all occur. The waiting list must stay sorted,
// without repeats and inside its window. No socket is open: answers go
// nowhere.
#include <cstdlib>
#include <cstring>

#include "bike/rider_fall.h"
#include "core/intern.h"
#include "core/race_clock.h"
#include "fuzz/fuzz_target.h"
#include "net/net_client.h"
#include "net/net_reliable.h"
#include "race/net_values.h"
#include "race/race_state.h"
#include "race/results.h"
#include "terrain/erode_queue.h"

namespace {

void check_waiting() {
  const net_packet_node* previous = nullptr;
  for (const net_packet_node* w = net_waiting; w; w = w->next) {
    if (w->sequence <= net_expected_sequence || w->sequence - net_expected_sequence > net_waiting_window)
      std::abort();
    if (previous && previous->sequence >= w->sequence) std::abort();
    previous = w;
  }
}

}  // namespace

BK_FUZZ_TARGET(net_items) {
  if (size < 2) return 0;
  net_reset();
  net_client.connection_id = 1;
  net_own_slot = 3;
  erode_level = -1;
  race_clock.current_tick = 0;
  const uint32_t start = net_expected_sequence;
  if (data[0] % 2 == 0) {
    net_interpret_item(data[1], data + 2, size - 2);
  } else {
    size_t at = 1;
    while (at < size) {
      const size_t n = data[at++];
      const size_t take = n < size - at ? n : size - at;
      uint8_t datagram[net_node_bytes];
      datagram[0] = 17;
      std::memcpy(datagram + 1, data + at, take);
      at += take;
      if (take >= 4) {
        // Small signed offsets from the expected sequence, and now and
        // then one far past the window.
        uint32_t offset;
        std::memcpy(&offset, datagram + 1, 4);
        const uint32_t sequence = (offset & 0x80000000u) ? offset : net_expected_sequence + (int8_t)(offset & 0xff);
        std::memcpy(datagram + 1, &sequence, 4);
      }
      net_reliable_receive(datagram, take + 1);
      check_waiting();
    }
  }
  const int delivered = net_expected_sequence != start;
  net_reset();
  net_pending_server = nullptr;
  net_reliable.upload_ready = 0;
  net_reliable.version_kind = 0;
  for (int32_t& k : knockout_extra) k = 0;
  off_course_bias = 10.0f;
  off_course_scale = 1.5f;
  track_reload_requested = 0;
  erode_queue_reset();
  results_clear();
  intern_free_all();
  return delivered;
}
