// Server datagrams as the multiplayer client takes them: the first byte
// picks the state the client is in, the rest is the datagram. No socket is
// open, so the answers it would send go nowhere.
#include "core/intern.h"
#include "core/race_clock.h"
#include "fuzz/fuzz_target.h"
#include "net/net_client.h"
#include "race/net_values.h"
#include "race/race_state.h"

BK_FUZZ_TARGET(net_packet) {
  if (size < 1) return 0;
  // Every state, own rider info aside: that one starts a race, which
  // needs the game data and the world.
  static const int states[] = {net_contacting, net_sending_client_info, net_acknowledging_track,
                               net_acknowledging_bikes, net_loaded,     net_racing,
                               net_restarting,          net_disconnecting};
  const int state = states[data[0] % (sizeof states / sizeof states[0])];
  net_reset();
  net_own_slot = data[0] & 0x80 ? net_no_slot : 3;
  net_client.state = state;
  net_client.connection_id = 1;
  net_client.session_number = 0;
  race_clock.current_tick = 0;
  const uint8_t* datagram = data + 1;
  const size_t most = net_receive_max;
  const size_t length = size - 1 > most ? most : size - 1;
  const int starts_race = length > 0 && datagram[0] == 8;
  if (!starts_race) net_handle_datagram(datagram, length);
  const int changed = net_client.state != state || net_pending_server != nullptr;
  net_clear_race_tables();
  net_client.track_name = nullptr;
  net_reset();
  net_pending_server = nullptr;
  intern_free_all();
  return changed;
}
