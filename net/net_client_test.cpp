#include "net/net_client.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bike/bike_model.h"
#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/state_history.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "core/rmd160.h"
#include "net/net_packets.h"
#include "net/test_support_peer.h"
#include "race/game_state.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/startup_lists.h"
#include "race/test_support_race.h"
#include "race/tick.h"
#include "terrain/track.h"

namespace {

double sim_now;
double sim_clock() { return sim_now; }
uint32_t sim_wall() { return 5000; }
int sim_random() { return 0; }

const uint32_t key = 0x0badf00d;
const uint32_t id = 7;
const uint32_t own = 3;

// The client against a scripted server on the loopback, in simulated time:
// each step advances the program clock and the race clock by one tick.
class Client : public ::testing::Test {
 protected:
  void SetUp() override {
    race_test_open();
    scan_tracks();
    net_install_race_hooks();
    stock_parts_ok = 1;
    sim_now = 100.0;
    net_clock = {sim_clock, sim_wall, sim_random};
    game_state.fake_lag = 0;
    game_state.fake_loss = 0;
    game_state.net_password = nullptr;
    ASSERT_TRUE(test_peer_open(&peer));
    ASSERT_EQ(net_request_connect(("127.0.0.1:" + std::to_string(peer.port)).c_str()), 1);
    first_line = message_ring.write_index;
  }
  void TearDown() override {
    net_shutdown();
    test_peer_close(&peer);
    race_test_close();
    free_track_list();
  }
  void step(int ticks = 1) {
    for (int i = 0; i < ticks; i++) {
      sim_now += 1.0 / 128.0;
      race_clock.current_tick++;
      net_tick();
    }
  }
  // Sends, then lets the client take it on its next tick.
  void server(const packet_bytes& p) {
    test_peer_send(&peer, p.b);
    step();
  }
  std::vector<std::vector<uint8_t>> sent() {
    peer.received.clear();
    test_peer_drain(&peer);
    return peer.received;
  }
  std::string console() { return race_test_console_since(first_line); }
  packet_bytes race_info(uint32_t connection, const char* track, const uint8_t* digest, uint32_t length = 7680,
                         uint32_t laps = 0) {
    packet_bytes p = packet(4);
    p.u32(connection).u32(length).u32(laps).u32(1000);
    uint8_t zero[20] = {};
    p.raw(digest ? digest : zero, 20).text(track);
    return p;
  }
  std::string rider_text(const char* number, const char* name) {
    return std::string(bike_models[0].name, strnlen(bike_models[0].name, BIKE_NAME_SIZE)) + "|||||\n" + number +
           "\n" + name;
  }
  // The digest the sample track loads with.
  void sample_track_digest(uint8_t out[20]) {
    int line_up[160] = {1};
    ASSERT_EQ(reset_session(line_up, 0, 0, 0, 3, 0), 1);
    std::memcpy(out, track_hash, 20);
  }
  void join_to_track_ack() {
    step();
    sent();
    server(packet(2).u32(own).u32(key).u32(6));
    server(race_info(id, "quarrybend", digest));
    ASSERT_EQ(net_client.state, net_acknowledging_track);
  }
  void join_to_racing() {
    sample_track_digest(digest);
    join_to_track_ack();
    server(packet(6).u32(id).u32(5).text(rider_text("12", "Bob")));
    server(packet(8).u32(id).u32(0).text(rider_text("7", "Me")));
    ASSERT_EQ(net_client.state, net_loaded);
    server(packet(10).u32(id).u32(2000).u32(0));
    ASSERT_EQ(net_client.state, net_racing);
  }

  test_peer peer;
  int first_line = 0;
  uint8_t digest[20] = {};
};

TEST_F(Client, WholeJoinFromHelloToRacing) {
  uint8_t good[20];
  sample_track_digest(good);
  std::memcpy(digest, good, 20);

  // Hello at once, again each second.
  step();
  auto out = sent();
  ASSERT_EQ(out.size(), 1u);
  ASSERT_EQ(out[0].size(), 13u);
  EXPECT_EQ(out[0][0], 0);
  EXPECT_EQ(packet_u32(out[0], 1), 0u);
  EXPECT_EQ(packet_u32(out[0], 5), 41u);
  EXPECT_EQ(packet_u32(out[0], 9), 5000u);
  step(127);
  EXPECT_EQ(sent().size(), 0u);
  step(2);
  EXPECT_EQ(sent().size(), 1u);

  // The first accept is taken, a second ignored; client info at once.
  server(packet(2).u32(own).u32(key).u32(6));
  server(packet(2).u32(9).u32(1).u32(6));
  EXPECT_EQ(net_own_slot, (int)own);
  EXPECT_EQ(net_client.session_key, key);
  EXPECT_EQ(net_client.state, net_sending_client_info);
  out = sent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0][0], 3);
  EXPECT_EQ(packet_u32(out[0], 1), own);
  EXPECT_EQ(packet_u32(out[0], 5), key);
  EXPECT_EQ(packet_u32(out[0], 9), 0u);  // no password
  EXPECT_EQ(packet_u32(out[0], 13), 5000u);
  char text[net_client_info_bytes];
  net_format_client_info(text, sizeof text);
  EXPECT_EQ(std::string(out[0].begin() + 17, out[0].end()), text);

  // Race info: track acknowledgment with the connection id.
  server(race_info(id, "quarrybend", good));
  EXPECT_EQ(net_client.state, net_acknowledging_track);
  out = sent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].size(), 13u);
  EXPECT_EQ(out[0][0], 5);
  EXPECT_EQ(packet_u32(out[0], 9), id);

  // Bike acks in rising slot order; lower, equal or another id ignored.
  server(packet(6).u32(id).u32(5).text(rider_text("12", "Bob")));
  server(packet(6).u32(id).u32(5).text(rider_text("99", "Again")));
  server(packet(6).u32(id).u32(4).text(rider_text("98", "Lower")));
  server(packet(6).u32(id + 1).u32(9).text(rider_text("97", "Other id")));
  EXPECT_EQ(net_client.state, net_acknowledging_bikes);
  EXPECT_EQ(net_client.last_info_slot, 5u);
  EXPECT_STREQ(net_client.slot_info[5].name, "Bob");
  EXPECT_STREQ(net_client.slot_info[5].number, "12");
  EXPECT_EQ(net_client.slot_info[4].name, nullptr);
  out = sent();
  ASSERT_GE(out.size(), 1u);
  EXPECT_EQ(out[0][0], 7);
  EXPECT_EQ(out[0].size(), 17u);
  EXPECT_EQ(packet_u32(out[0], 13), 5u);

  // Own info: the reset builds the race from the line-up; loaded.
  server(packet(8).u32(id).u32(0).text(rider_text("7", "Me")));
  EXPECT_EQ(net_client.state, net_loaded);
  EXPECT_EQ(own_start_position, 0);
  ASSERT_NE(slot_rider(own), nullptr);
  ASSERT_NE(slot_rider(5), nullptr);
  EXPECT_EQ(rider_slot_kind[5], RIDER_REMOTE);
  EXPECT_EQ(race_clock.gate_drop_tick, 1000);
  out = sent();
  ASSERT_GE(out.size(), 1u);
  EXPECT_EQ(out.back()[0], 9);

  // Time sync: racing, the race text, the clock from the server.
  server(packet(10).u32(id).u32(2000).u32(0));
  EXPECT_EQ(net_client.state, net_racing);
  EXPECT_NE(console().find("1 minutes"), std::string::npos) << console();
  EXPECT_EQ(net_client.newest_server_time, 2000u);

  // State packets every 4th tick with the server time and a rising tick.
  sent();
  step(16);
  out = sent();
  ASSERT_EQ(out.size(), 4u);
  uint32_t previous = 0;
  for (const auto& p : out) {
    EXPECT_EQ(p.size(), 60u);
    EXPECT_EQ(p[0], 11);
    EXPECT_EQ(packet_u32(p, 9), id);
    EXPECT_EQ(packet_u32(p, 13), 2000u);
    EXPECT_EQ(packet_u32(p, 17) % 4, 0u);
    EXPECT_GT(packet_u32(p, 17), previous);
    previous = packet_u32(p, 17);
  }
  EXPECT_GT(net_client.server_time_estimate, 2000);
}

TEST_F(Client, StateRecordsReachOnlyNetworkRidersWithNewerTicks) {
  join_to_racing();
  uint8_t pose[39] = {};
  pose[0] = 0x40;
  auto records = [&](std::vector<std::pair<uint32_t, uint32_t>> slot_ticks) {
    packet_bytes p = packet(11);
    p.u32(id).u32(2100).u32(race_clock.current_tick - 8).u32(slot_ticks.size());
    for (auto& st : slot_ticks) p.u16(st.first).u16(9).u32(st.second).raw(pose, 39);
    return p;
  };
  const int echoed = race_clock.current_tick - 8;
  server(records({{5, 2050}, {own, 2050}, {7, 2050}}));
  EXPECT_EQ(net_state_time[5], 2050u);
  EXPECT_EQ(net_lag[5], 9);
  const state_history& h = state_histories[5];
  EXPECT_EQ(h.ticks[h.head & (state_history_size - 1)], 2050);
  EXPECT_EQ(net_state_time[own], 0u);  // own slot: unchanged
  EXPECT_EQ(net_state_time[7], 0u);    // empty slot
  EXPECT_EQ(net_lag[own], race_clock.current_tick - echoed);
  EXPECT_EQ(net_client.newest_server_time, 2100u);

  server(records({{5, 2040}}));  // older: nothing
  EXPECT_EQ(net_state_time[5], 2050u);

  // A short record ends the packet before the server-time rule.
  packet_bytes cut = records({{5, 2060}, {5, 2070}});
  cut.u32(3000);  // no effect: the packet says two records
  cut.b.resize(17 + 47 + 20);
  cut.b[5] = 0x30;  // server time 0x0830: newer, but never taken
  server(cut);
  EXPECT_EQ(net_state_time[5], 2060u);
  EXPECT_EQ(net_client.newest_server_time, 2100u);
  EXPECT_NE(console().find("State packet too small"), std::string::npos);
}

// The states the server relays pose the network rider: it follows them.
TEST_F(Client, ANetworkRiderMovesAlongTheStatesItIsSent) {
  join_to_racing();
  rider* mine = slot_rider(own);
  rider* other = slot_rider(5);
  ASSERT_NE(mine, nullptr);
  ASSERT_NE(other, nullptr);
  const double x0 = dBodyGetPosition(rider_frame_body(mine))[0];
  const uint32_t first = static_cast<uint32_t>(race_clock.current_tick) + 8;
  packet_bytes p = packet(11);
  p.u32(id).u32(2000).u32(0).u32(5);
  for (uint32_t k = 0; k < 5; k++) {
    rider_translate(mine, 1.0f, 0, 0);
    packed_pose pose;
    rider_pack_pose(mine, &pose);
    p.u16(5).u16(0).u32(first + 8 * k).raw(pose.bytes, 39);
  }
  server(p);
  ASSERT_EQ(net_state_time[5], first + 32);
  race_clock.network_display_delay = 0;
  race_clock.current_tick = static_cast<int32_t>(first + 16);
  simulation_tick();
  EXPECT_NEAR(dBodyGetPosition(rider_frame_body(other))[0], x0 + 3, 0.05);
}

TEST_F(Client, RestartAndBothDisconnects) {
  join_to_racing();
  server(packet(14).u32(id));  // not above: ignored
  EXPECT_EQ(net_client.state, net_racing);
  server(packet(14).u32(id + 1));
  EXPECT_EQ(net_client.state, net_restarting);
  sim_now += 1.0;
  sent();
  step();
  auto out = sent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0][0], 14);
  server(race_info(id, "quarrybend", digest));  // the old id: ignored
  EXPECT_EQ(net_client.state, net_restarting);
  server(race_info(id + 1, "quarrybend", digest));
  EXPECT_EQ(net_client.state, net_acknowledging_track);

  // Ours: state 15 and disconnect packets until the server answers.
  net_disconnect();
  EXPECT_EQ(net_client.state, net_disconnecting);
  sim_now += 1.0;
  sent();
  step();
  out = sent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].size(), 9u);
  EXPECT_EQ(out[0][0], 15);
  EXPECT_EQ(packet_u32(out[0], 1), own);
  EXPECT_EQ(packet_u32(out[0], 5), key);
  server(packet(15));
  EXPECT_EQ(net_client.socket, -1);
  EXPECT_EQ(net_pending_server, nullptr);
  EXPECT_EQ(game_state.connect_target, nullptr);
  EXPECT_EQ(net_own_slot, 160);
  EXPECT_EQ(net_online, 0);
  EXPECT_NE(console().find("Disconnected\n"), std::string::npos);
}

TEST_F(Client, LeavingFromTheMenusSendsOneDisconnectAndGoesOffline) {
  join_to_racing();
  sent();
  ASSERT_NE(race_hooks.net_leave_server, nullptr);
  race_hooks.net_leave_server();
  auto out = sent();
  ASSERT_EQ(out.size(), 1u);
  ASSERT_EQ(out[0].size(), 9u);
  EXPECT_EQ(out[0][0], 15);
  EXPECT_EQ(packet_u32(out[0], 1), own);
  EXPECT_EQ(packet_u32(out[0], 5), key);
  EXPECT_NE(console().find("Disconnecting"), std::string::npos);
  EXPECT_EQ(net_client.socket, -1);
  EXPECT_EQ(net_online, 0);
  EXPECT_EQ(net_pending_server, nullptr);
  EXPECT_EQ(game_state.connect_target, nullptr);
  race_hooks.net_leave_server();  // offline: nothing more goes out
  EXPECT_TRUE(sent().empty());
}

TEST_F(Client, RestartRequestOnlyWhileRacingThroughTheHooks) {
  sample_track_digest(digest);
  join_to_track_ack();
  server(packet(6).u32(id).u32(5).text(rider_text("12", "Bob")));
  server(packet(8).u32(id).u32(0).text(rider_text("7", "Me")));
  ASSERT_EQ(race_hooks.net_client_state(), net_loaded);
  sent();
  race_hooks.net_request_restart();
  EXPECT_TRUE(sent().empty());
  server(packet(10).u32(id).u32(2000).u32(0));
  ASSERT_EQ(race_hooks.net_client_state(), net_racing);
  EXPECT_EQ(race_hooks.net_line_up_entry(own), line_up_local);
  EXPECT_EQ(race_hooks.net_line_up_entry(5), line_up_network);
  EXPECT_EQ(race_hooks.net_line_up_entry(-1), 0);
  EXPECT_EQ(race_hooks.net_line_up_entry(160), 0);
  sent();
  race_hooks.net_request_restart();
  std::vector<std::vector<uint8_t>> out;
  for (const auto& p : sent())
    if (p[0] == 13) out.push_back(p);
  ASSERT_EQ(out.size(), 1u);
  const std::vector<uint8_t> expect = {13, own, 0, 0, 0, 0x0d, 0xf0, 0xad, 0x0b, 1, 0, 0, 0};
  EXPECT_EQ(out[0], expect);
  EXPECT_NE(console().find("Requesting restart\n"), std::string::npos);
  // A send that fails names the socket error.
  net_client.server.port = 0;
  race_hooks.net_request_restart();
  EXPECT_NE(console().find("sendto error ("), std::string::npos) << console();
}

TEST_F(Client, RaceTextOnEnteringRacing) {
  sample_track_digest(digest);
  struct row {
    uint32_t length, laps;
    const char* text;
  } rows[] = {
      {0, 5, "5 laps"},
      {7680, 0, "1 minutes"},
      {19200, 2, "3 minutes + 2 laps"},  // 2.5 minutes round up
  };
  for (const row& r : rows) {
    net_reset();
    net_request_connect(("127.0.0.1:" + std::to_string(peer.port)).c_str());
    first_line = message_ring.write_index;
    step();
    sent();  // the peer learns the new socket's port
    server(packet(2).u32(own).u32(key).u32(6));
    server(race_info(id, "quarrybend", digest, r.length, r.laps));
    server(packet(8).u32(id).u32(0).text(rider_text("7", "Me")));
    server(packet(10).u32(id).u32(2000).u32(0));
    EXPECT_EQ(net_client.state, net_racing) << r.text;
    EXPECT_NE(console().find(std::string(r.text) + "\n"), std::string::npos) << r.text << ": " << console();
  }
}

TEST_F(Client, DisconnectWhileContactingResetsAtOnce) {
  step();
  net_disconnect();
  EXPECT_EQ(net_client.socket, -1);
  EXPECT_EQ(net_pending_server, nullptr);
  step(200);
  sent();
  EXPECT_EQ(sent().size(), 0u);
}

TEST_F(Client, RefusalsGoToDisconnecting) {
  struct row {
    const char* what;
    std::vector<packet_bytes> packets;
    const char* message;
  } rows[] = {
      {"version", {packet(2).u32(own).u32(key).u32(5)}, "Server version does not match client version\n"},
      {"track",
       {packet(2).u32(own).u32(key).u32(6), race_info(id, "nosuchtrack", nullptr)},
       "Can't find track 'nosuchtrack'\n"},
      {"digest",
       {packet(2).u32(own).u32(key).u32(6), race_info(id, "quarrybend", nullptr),
        packet(8).u32(id).u32(0).text(rider_text("7", "Me"))},
       "Client track modified - does not match server's track (quarrybend)\n"},
      {"message", {packet(16).text("Kicked")}, "Kicked"},
  };
  for (row& r : rows) {
    net_reset();
    net_request_connect(("127.0.0.1:" + std::to_string(peer.port)).c_str());
    first_line = message_ring.write_index;
    step();
    sent();
    for (auto& p : r.packets) server(p);
    EXPECT_EQ(net_client.state, net_disconnecting) << r.what;
    EXPECT_NE(console().find(r.message), std::string::npos) << r.what << ": " << console();
  }
}

TEST_F(Client, RedirectFollowsOnlyOurSession) {
  test_peer second;
  ASSERT_TRUE(test_peer_open(&second));
  step();
  sent();
  const std::string target = "127.0.0.1:" + std::to_string(second.port);
  server(packet(25).u32(4999).text(target).u8(0));
  EXPECT_EQ(net_client.state, net_contacting);
  EXPECT_GE(net_client.socket, 0);
  server(packet(25).u32(5000).text(target).u8(0));
  // The reset left the target as the pending server; the next tick
  // connects there.
  EXPECT_EQ(net_client.socket, -1);
  ASSERT_NE(net_pending_server, nullptr);
  EXPECT_EQ(std::string(net_pending_server), target);
  EXPECT_EQ(net_pending_server, net_client.redirect_server);
  step();
  EXPECT_EQ(test_peer_drain(&second), 1);
  EXPECT_EQ(second.received[0][0], 0);
  test_peer_close(&second);
}

TEST_F(Client, PasswordCheckBytes) {
  game_state.net_password = "secret";
  step();
  auto out = sent();
  EXPECT_EQ(packet_u32(out[0], 1), 1u);
  server(packet(2).u32(own).u32(key).u32(6));
  out = sent();
  ASSERT_EQ(out.size(), 1u);
  rmd160_context c;
  rmd160_init(&c);
  rmd160_update(&c, "secret", 6);
  const uint8_t k[4] = {0x0d, 0xf0, 0xad, 0x0b};
  rmd160_update(&c, k, 4);
  rmd160_final(&c);
  EXPECT_EQ(out[0][9], c.digest[3]);
  EXPECT_EQ(out[0][10], c.digest[2]);
  EXPECT_EQ(out[0][11], c.digest[1]);
  EXPECT_EQ(out[0][12], c.digest[0]);
  game_state.net_password = nullptr;
}

TEST_F(Client, ConnectFailuresDropThePendingServer) {
  struct row {
    const char* target;
    int stock_ok;
    const char* message;
  } rows[] = {
      {"127.0.0.1:2000", 0, "Fixed file mismatch\n"},
      {"", 1, "Can't resolve address ''\n"},
      {":2000", 1, "Can't resolve address ':2000'\n"},
  };
  net_reset();
  for (const row& r : rows) {
    stock_parts_ok = r.stock_ok;
    first_line = message_ring.write_index;
    net_request_connect(r.target);
    step();
    EXPECT_EQ(net_pending_server, nullptr) << r.target;
    EXPECT_EQ(net_client.socket, -1) << r.target;
    EXPECT_NE(console().find(r.message), std::string::npos) << r.target;
  }
  stock_parts_ok = 1;
}

// Every server kind cut short, empty and oversized datagrams, slots past
// the tables and a stranger's packets: nothing changes, nothing is read
// past the end (under the sanitizers), and the client still answers.
TEST_F(Client, MalformedInputLeavesTheStateAlone) {
  join_to_racing();
  const int kinds[] = {1, 2, 4, 6, 8, 10, 11, 13, 14, 15, 16, 17, 18, 25};
  for (int kind : kinds) {
    const size_t minimum = net_server_min_length(kind);
    for (size_t n = 0; n < minimum; n++) {
      std::vector<uint8_t> p(n, 0xff);
      if (n) p[0] = static_cast<uint8_t>(kind);
      test_peer_send(&peer, p);
    }
  }
  std::vector<uint8_t> big(3072, 0xff);
  big[0] = 11;
  test_peer_send(&peer, big);
  test_peer_send(&peer, {});
  step();
  EXPECT_EQ(net_client.state, net_racing);
  EXPECT_EQ(net_own_slot, (int)own);

  // Counts and slots past every table.
  const uint32_t slots[] = {160, 200, 65535, 0xffffffffu};
  uint8_t pose[39] = {};
  for (uint32_t s : slots) {
    server(packet(11).u32(id).u32(2000).u32(0).u32(1).u16(s).u16(1).u32(5000).raw(pose, 39));
  }
  server(packet(11).u32(id).u32(2000).u32(0).u32(0xffffffffu).u16(5).u16(1).u32(2222).raw(pose, 39));
  EXPECT_EQ(net_state_time[5], 2222u);  // the one whole record, then the cut
  EXPECT_EQ(net_client.state, net_racing);

  // A server time at the race clock's end is refused.
  const int tick = race_clock.current_tick;
  server(packet(10).u32(id).u32(0x7fffffffu).u32(0));
  server(packet(10).u32(id).u32(0xffffffffu).u32(0));
  EXPECT_EQ(net_client.newest_server_time, 2000u);
  EXPECT_EQ(race_clock.current_tick, tick + 2);

  // A stranger on another port, sending what the server would.
  test_peer stranger;
  ASSERT_TRUE(test_peer_open(&stranger));
  stranger.client = peer.client;
  test_peer_send(&stranger, packet(15).b);
  test_peer_send(&stranger, packet(16).text("Go away").b);
  step();
  EXPECT_EQ(net_client.state, net_racing);
  EXPECT_GE(net_client.socket, 0);
  test_peer_close(&stranger);

  sent();
  step(8);
  EXPECT_EQ(sent().size(), 2u);  // still racing, still sending
}

TEST_F(Client, SlotsPastTheTablesAreRefusedWhileJoining) {
  const uint32_t slots[] = {160, 200, 65535, 0xffffffffu};
  step();
  for (uint32_t s : slots) server(packet(2).u32(s).u32(key).u32(6));
  EXPECT_EQ(net_client.state, net_contacting);
  EXPECT_EQ(net_own_slot, 160);
  join_to_track_ack();
  for (uint32_t s : slots) server(packet(6).u32(id).u32(s).text("x\n1\nX"));
  EXPECT_EQ(net_client.state, net_acknowledging_track);
  EXPECT_EQ(net_client.last_info_slot, 160u);
  server(packet(6).u32(id).u32(159).text("x\n1\nX"));
  EXPECT_EQ(net_client.last_info_slot, 159u);
}

// A start position past the grid counts as watching the race.
TEST_F(Client, StartPositionPastTheGridWatches) {
  sample_track_digest(digest);
  join_to_track_ack();
  server(packet(8).u32(id).u32(0xffffffffu).text(rider_text("7", "Me")));
  EXPECT_EQ(net_client.state, net_loaded);
  EXPECT_EQ(own_start_position, race_no_slot);
}

TEST_F(Client, FakeLagHoldsDatagramsUntilDue) {
  game_state.fake_lag = 0.5;
  step();
  sent();
  server(packet(2).u32(own).u32(key).u32(6));
  EXPECT_EQ(net_client.state, net_contacting);
  step(60);
  EXPECT_EQ(net_client.state, net_contacting);
  step(10);
  EXPECT_EQ(net_client.state, net_sending_client_info);
  game_state.fake_lag = 0;
}

// More datagrams than the fake-lag ring holds arrive while they are held
// back: reading stops while the ring is full and none is overwritten, so
// every one is answered, in order, once it is due.
TEST_F(Client, FullFakeLagRingLosesNothing) {
  game_state.fake_lag = 0.5;
  step();
  sent();
  const uint32_t total = 1200;
  std::vector<uint32_t> acked;
  auto collect = [&]() {
    for (const auto& p : sent())
      if (p.size() == 13 && p[0] == 18) acked.push_back(packet_u32(p, 9));
  };
  for (uint32_t sequence = 0; sequence < total;) {
    for (int k = 0; k < 100; k++, sequence++) test_peer_send(&peer, packet(17).u32(sequence).u8(1).b);
    step();
    collect();
  }
  for (int i = 0; i < 200; i++) {
    step();
    collect();
  }
  ASSERT_EQ(acked.size(), total);
  for (uint32_t k = 0; k < total; k++) ASSERT_EQ(acked[k], k);
  game_state.fake_lag = 0;
}

TEST(ClientText, RaceTextAndRiderInfo) {
  // The long form, then the short one when the long does not fit.
  char buffer[net_client_info_bytes];
  net_format_client_info(buffer, sizeof buffer);
  EXPECT_NE(std::strchr(buffer, '|'), nullptr);
  char small[8];
  net_format_client_info(small, sizeof small);
  EXPECT_EQ(std::strchr(small, '|'), nullptr);

  net_parse_rider_info(10, "yz250|red|blue|black|white|extra\n1234\nAnn\ntrailing");
  const net_slot_info_record& i = net_client.slot_info[10];
  EXPECT_STREQ(i.bike, "yz250");
  EXPECT_STREQ(i.rider_texture, "red");
  EXPECT_STREQ(i.head_texture, "white");
  EXPECT_STREQ(i.number, "123");
  EXPECT_STREQ(i.name, "Ann");
  net_parse_rider_info(10, "kx125");  // missing fields keep theirs
  EXPECT_STREQ(i.bike, "kx125");
  EXPECT_STREQ(i.rider_texture, "red");
  EXPECT_STREQ(i.name, "Ann");
  net_parse_rider_info(160, "x");  // outside: nothing
}

}  // namespace
