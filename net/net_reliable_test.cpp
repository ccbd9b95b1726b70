#include "net/net_reliable.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bike/bike_model.h"
#include "bike/rider.h"
#include "bike/rider_fall.h"
#include "bike/rider_timing.h"
#include "terrain/dynamics_world.h"
#include "core/file.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "net/net_client.h"
#include "net/test_support_peer.h"
#include "race/bike_setup.h"
#include "race/game_state.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/startup_lists.h"
#include "race/test_support_race.h"
#include "terrain/rut_test_field.h"
#include "terrain/ruts.h"
#include "terrain/track.h"
#include "terrain/terrain_contact.h"

namespace {

double sim_now;
uint32_t sim_wall_second;
double sim_clock() { return sim_now; }
uint32_t sim_wall() { return sim_wall_second; }
int sim_random() { return 0; }

const uint32_t key = 0x0badf00d;
const uint32_t id = 12;
const uint32_t own = 3;

std::string console_since(int first) { return race_test_console_since(first); }

// The client connected to a scripted server on the loopback, past the
// accept, in simulated time; the connection id is set as a race's would be.
class Reliable : public ::testing::Test {
 protected:
  void SetUp() override {
    stock_parts_ok = 1;
    sim_now = 100.0;
    sim_wall_second = 6000;
    net_clock = {sim_clock, sim_wall, sim_random};
    game_state.fake_lag = 0;
    game_state.fake_loss = 0;
    game_state.net_password = nullptr;
    net_keepalive_time = 5.0;
    ASSERT_TRUE(test_peer_open(&peer));
    ASSERT_EQ(net_request_connect(("127.0.0.1:" + std::to_string(peer.port)).c_str()), 1);
    first_line = message_ring.write_index;
    step();
    sent();
    server(packet(2).u32(own).u32(key).u32(6));
    ASSERT_EQ(net_client.state, net_sending_client_info);
    net_client.connection_id = id;
    sent();
    first_line = message_ring.write_index;
  }
  void TearDown() override {
    net_shutdown();
    test_peer_close(&peer);
  }
  void step(int ticks = 1) {
    for (int i = 0; i < ticks; i++) {
      sim_now += 1.0 / 128.0;
      race_clock.current_tick++;
      net_tick();
    }
  }
  void server(const packet_bytes& p) {
    test_peer_send(&peer, p.b);
    step();
  }
  packet_bytes reliable(uint32_t sequence, int item, const std::string& payload = "") {
    return packet(17).u32(sequence).u8(static_cast<uint32_t>(item)).text(payload);
  }
  std::vector<std::vector<uint8_t>> sent() {
    peer.received.clear();
    test_peer_drain(&peer);
    return peer.received;
  }
  // What the client sent of one kind.
  std::vector<std::vector<uint8_t>> sent(int kind) {
    std::vector<std::vector<uint8_t>> of_kind;
    for (auto& p : sent())
      if (p[0] == kind) of_kind.push_back(p);
    return of_kind;
  }
  std::vector<uint32_t> acks() {
    std::vector<uint32_t> sequences;
    for (auto& p : sent(18)) sequences.push_back(packet_u32(p, 9));
    return sequences;
  }
  // The server acknowledges the client's message.
  void ack(uint32_t sequence) { server(packet(18).u32(sequence)); }
  static std::string item_text(const std::vector<uint8_t>& p) { return std::string(p.begin() + 14, p.end()); }
  std::string console() { return console_since(first_line); }

  test_peer peer;
  int first_line = 0;
};

std::string u32_text(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; i++) s += static_cast<char>(v >> (8 * i));
  return s;
}

size_t waiting_count() {
  size_t n = 0;
  for (net_packet_node* w = net_waiting; w; w = w->next) n++;
  return n;
}

TEST_F(Reliable, ServerMessagesAreDeliveredInSequenceOnce) {
  server(reliable(0, 19, "zero"));
  EXPECT_EQ(acks(), std::vector<uint32_t>{0});
  server(reliable(2, 19, "two"));
  EXPECT_EQ(acks(), std::vector<uint32_t>{2});
  EXPECT_EQ(console().find("two"), std::string::npos);
  server(reliable(1, 19, "one"));
  EXPECT_EQ(acks(), std::vector<uint32_t>{1});
  EXPECT_EQ(console(), "zero\none\ntwo\n");
  EXPECT_EQ(net_expected_sequence, 3u);
  EXPECT_EQ(net_waiting, nullptr);

  // Repeats, delivered or waiting, are acknowledged and interpreted once.
  server(reliable(1, 19, "one again"));
  server(reliable(5, 19, "five"));
  server(reliable(5, 19, "five again"));
  EXPECT_EQ(acks(), (std::vector<uint32_t>{1, 5, 5}));
  EXPECT_EQ(waiting_count(), 1u);
  server(reliable(4, 19, "four"));
  server(reliable(3, 19, "three"));
  EXPECT_EQ(console(), "zero\none\ntwo\nthree\nfour\nfive\n");
  EXPECT_EQ(waiting_count(), 0u);
}

TEST_F(Reliable, AnEarlyMessageFillingTheDatagramIsDeliveredWhole) {
  // The numbers sit past where a short node would have cut the text.
  const std::string command = "knockout" + std::string(900, ' ') + "100 200";
  server(reliable(1, 24, command));
  EXPECT_EQ(knockout_extra[0], 0);
  server(reliable(0, 19, "first"));
  EXPECT_EQ(knockout_extra[0], 100);
  EXPECT_EQ(knockout_extra[15], 200);
  for (int32_t& k : knockout_extra) k = 0;
}

TEST_F(Reliable, FarAheadSequencesAreNeitherKeptNorAcknowledged) {
  server(reliable(100000, 19, "far"));
  server(reliable(net_waiting_window + 1, 19, "just past the window"));
  server(reliable(net_waiting_window, 19, "last in the window"));
  // Only what is kept is acknowledged: the server resends the others.
  EXPECT_EQ(acks(), (std::vector<uint32_t>{net_waiting_window}));
  EXPECT_EQ(waiting_count(), 1u);
  EXPECT_EQ(net_waiting->sequence, static_cast<uint32_t>(net_waiting_window));
  EXPECT_EQ(console().find("far"), std::string::npos);
}

TEST_F(Reliable, OneMessageInFlightResentUntilAcknowledged) {
  net_send_text("first");
  net_send_text("second");
  step();
  auto out = sent(17);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0][0], 17);
  EXPECT_EQ(packet_u32(out[0], 1), own);
  EXPECT_EQ(packet_u32(out[0], 5), key);
  EXPECT_EQ(packet_u32(out[0], 9), 0u);
  EXPECT_EQ(out[0][13], 19);
  EXPECT_EQ(item_text(out[0]), "first");
  const auto first = out[0];

  // Withheld acks: the head alone, unchanged, every half second.
  std::vector<int> gaps;
  int since = 0;
  for (int t = 0; t < 128 * 3; t++) {
    step();
    since++;
    for (auto& p : sent(17)) {
      EXPECT_EQ(p, first);
      gaps.push_back(since);
      since = 0;
    }
  }
  ASSERT_EQ(gaps.size(), 5u);
  for (int g : gaps) EXPECT_EQ(g, 65);  // the first tick past 0.5 s

  // An ack for another sequence changes nothing; the head's lets the next
  // go out in the same tick.
  ack(1);
  EXPECT_TRUE(sent(17).empty());
  ack(0);
  out = sent(17);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(packet_u32(out[0], 9), 1u);
  EXPECT_EQ(item_text(out[0]), "second");
  ack(1);
  step(200);
  EXPECT_TRUE(sent(17).empty());
  EXPECT_EQ(net_outgoing, nullptr);
}

TEST_F(Reliable, PayloadsAreCutToTheDatagram) {
  net_send_text(std::string(600, 'x').c_str());
  step();
  auto out = sent(17);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].size(), 480u);
}

TEST_F(Reliable, WithoutASocketItemsAreLost) {
  net_shutdown();
  const int before = message_ring.write_index;
  net_send_text("hello");
  EXPECT_EQ(net_outgoing, nullptr);
  EXPECT_EQ(console_since(before), "Not connected to server\n");
}

TEST_F(Reliable, PingIsAnsweredOnce) {
  server(reliable(0, 20));
  auto out = sent(17);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0][13], 31);
  EXPECT_EQ(item_text(out[0]), "Roger that!  Still alive!");
  step(100);
  EXPECT_TRUE(sent(17).size() == 1u);  // the same message resent, nothing new
  EXPECT_EQ(net_next_sequence, 1u);
}

TEST_F(Reliable, VersionAnswersInASecondThatIsAMultipleOfThree) {
  sim_wall_second = 6001;
  server(reliable(0, 30));
  step(10);
  EXPECT_TRUE(sent(17).empty());
  sim_wall_second = 6003;
  step();
  auto out = sent(17);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0][13], 30);
  std::string text = item_text(out[0]);
  for (char& c : text) c = static_cast<char>(c ^ 0x80);
  EXPECT_EQ(text.rfind("version 0 41", 0), 0u) << text;
  ack(0);

  // Asked as text and answered as text; a missed second picks the next.
  server(reliable(1, 24, "version"));
  sim_wall_second = 6007;  // past the due 6006
  step();
  EXPECT_TRUE(sent(17).empty());
  sim_wall_second = 6009;
  step();
  out = sent(17);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0][13], 24);
  EXPECT_EQ(item_text(out[0]).rfind("version 0 41", 0), 0u);
}

TEST_F(Reliable, TextCommands) {
  struct {
    const char* command;
    std::vector<int32_t> knockout;
  } knockouts[] = {
      {"knockout 100 200", {100, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200}},
      {"knockout -5", std::vector<int32_t>(16, 0)},
      {"  knockout 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
      {"knockout 9999999 x 5", std::vector<int32_t>(16, 460800)},
      {"knockout", std::vector<int32_t>(16, 0)},
  };
  for (const auto& k : knockouts) {
    for (int32_t& v : knockout_extra) v = 77;
    net_server_command(k.command);
    EXPECT_EQ(std::vector<int32_t>(knockout_extra, knockout_extra + 16), k.knockout) << k.command;
  }
  for (int32_t& v : knockout_extra) v = 77;
  net_server_command("knockouts 5");
  EXPECT_EQ(knockout_extra[0], 77);
  for (int32_t& v : knockout_extra) v = 0;

  net_server_command("off_course_bias 3.5");
  net_server_command("off_course_scale 2.25");
  EXPECT_FLOAT_EQ(off_course_bias, 3.5f);
  EXPECT_FLOAT_EQ(off_course_scale, 2.25f);
  net_server_command("off_course_bias nan");
  EXPECT_FLOAT_EQ(off_course_bias, 3.5f);

  erode_level = -1;
  track_reload_requested = 0;
  net_server_command("erode 13 1");  // another race's id
  EXPECT_EQ(erode_level, -1);
  net_server_command("erode 12 0");
  EXPECT_EQ(erode_level, 0);
  EXPECT_EQ(track_reload_requested, 0);
  net_server_command("erode 12 1");
  EXPECT_EQ(erode_level, 1);
  EXPECT_EQ(track_reload_requested, 1);
  const int before = message_ring.write_index;
  net_server_command("erode 12");
  EXPECT_EQ(console_since(before), "Malformed erode command received\n");
  EXPECT_EQ(erode_level, 1);
  net_server_command("eroded 12 5");
  EXPECT_EQ(erode_level, 1);
  track_reload_requested = 0;

  server_no_arcade = 0;
  net_server_command("no_arcade please");
  EXPECT_EQ(server_no_arcade, 0);
  net_server_command("no_arcade");
  EXPECT_EQ(server_no_arcade, 1);
}

TEST_F(Reliable, RedirectWaitsTenSecondsThenMovesToTheTarget) {
  server(reliable(0, 24, "redirect   "));  // no target: ignored
  EXPECT_EQ(net_client.redirect_time, 0.0);
  server(reliable(1, 24, "redirect  127.0.0.1:19999  "));
  EXPECT_STREQ(net_client.redirect_target, "127.0.0.1:19999");
  EXPECT_NE(console().find("Redirecting to '127.0.0.1:19999' in 10 seconds"), std::string::npos);
  step(128 * 9);
  EXPECT_EQ(net_client.state, net_sending_client_info);
  step(128 + 2);
  EXPECT_EQ(net_client.state, net_disconnecting);
  server(packet(15));
  EXPECT_STREQ(net_pending_server, "127.0.0.1:19999");
  net_pending_server = nullptr;
}

TEST_F(Reliable, UploadGoesInPartsAfterTheServerIsReady) {
  char* path = home_file_path("@outgoing/track.txt");
  ASSERT_NE(path, nullptr);
  make_parent_folders(path);
  std::string content;
  for (int i = 0; i < 600; i++) content += static_cast<char>('a' + i % 26);
  FILE* f = std::fopen(path, "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
  std::free(path);

  struct {
    const char* name;
    const char* message;
  } refused[] = {
      {"../x", "Filename may only contain alphanumeric characters, '_' or '.'"},
      {"a b", "Filename may only contain alphanumeric characters, '_' or '.'"},
      {"", "Filename may only contain alphanumeric characters, '_' or '.'"},
      {"missing.txt", "Can't open file"},
  };
  for (const auto& r : refused) {
    const int before = message_ring.write_index;
    net_send_file(r.name);
    EXPECT_EQ(console_since(before), std::string(r.message) + "\n") << r.name;
  }
  net_send_file(std::string(1014, 'a').c_str());
  net_send_file("track.txt");
  EXPECT_NE(console().find("Filename too long"), std::string::npos);
  EXPECT_NE(console().find("Sending file"), std::string::npos);
  step();
  auto out = sent(17);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0][13], 24);
  EXPECT_EQ(item_text(out[0]), "sendfile");
  // Nothing more until the server is ready.
  ack(0);
  step(64);
  EXPECT_TRUE(sent(17).empty());
  server(reliable(0, 24, "sendready"));

  std::vector<std::string> items;
  for (int t = 0; t < 128 * 3 && items.size() < 4; t++) {
    for (auto& p : sent(17)) {
      items.push_back(item_text(p));
      ack(packet_u32(p, 9));
    }
    step();
  }
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0], "sendpart -" + content.substr(0, 256));
  EXPECT_EQ(items[1], "sendpart -" + content.substr(256, 256));
  EXPECT_EQ(items[2], "sendpart -" + content.substr(512));
  EXPECT_EQ(items[3], "namefile track.txt");
  EXPECT_EQ(net_reliable.upload, nullptr);

  // A denial stops a transfer under way.
  net_send_file("track.txt");
  server(reliable(1, 24, "senddenied"));
  EXPECT_EQ(net_reliable.upload, nullptr);
  EXPECT_EQ(net_reliable.upload_ready, 0);
  EXPECT_NE(console().find("Send file denied"), std::string::npos);
}

TEST_F(Reliable, MalformedItemsLeaveTheClientAnswering) {
  const std::vector<std::string> payloads = {
      "",
      std::string("\x0c\x00\x00", 3),
      std::string("\x0c\x00\x00\x00", 4),
      std::string("\x0c\x00\x00\x00\xff\xff\xff\xff", 8),
      std::string("\x0c\x00\x00\x00\xff\xff\xff\xff", 8) + std::string(11, '\x01'),
      std::string("\x0c\x00\x00\x00\x01\x00\x00\x00", 8) + std::string("\x05\x00\x00\x00\xff\xff\xff\x7f\x01\x00\x00\x00", 12),
      std::string(1000, '\xff'),
  };
  uint32_t sequence = 0;
  for (int item : {0, 3, 19, 20, 21, 24, 27, 30, 31, 255}) {
    for (const auto& p : payloads) {
      server(reliable(sequence, item, p));
      EXPECT_EQ(acks(), std::vector<uint32_t>{sequence}) << item;
      sequence++;
    }
  }
  EXPECT_EQ(net_expected_sequence, sequence);
  EXPECT_EQ(net_client.state, net_sending_client_info);
  erode_queue_reset();
}

// The race on the sample track, joined and racing with one network rider.
class ReliableRace : public Reliable {
 protected:
  void SetUp() override {
    race_test_open();
    scan_tracks();
    net_install_race_hooks();
    results_install_hooks();
    int line_up[160] = {1};
    ASSERT_EQ(reset_session(line_up, 0, 0, 0, 3, 0), 1);
    std::memcpy(digest, track_hash, 20);
    Reliable::SetUp();
    net_client.connection_id = 0;
    server(packet(4).u32(id).u32(7680).u32(0).u32(1000).raw(digest, 20).text("quarrybend"));
    const std::string text = std::string(bike_models[0].name, strnlen(bike_models[0].name, BIKE_NAME_SIZE)) + "|||||\n";
    server(packet(6).u32(id).u32(5).text(text + "12\nBob"));
    server(packet(8).u32(id).u32(0).text(text + "7\nMe"));
    server(packet(10).u32(id).u32(2000).u32(0));
    ASSERT_EQ(net_client.state, net_racing);
    // Whatever joining queued (the client info after the setup was
    // applied) is acknowledged, so each test starts with an empty list.
    for (int i = 0; i < 10 && net_outgoing; i++) ack(net_outgoing->sequence);
    ASSERT_EQ(net_outgoing, nullptr);
    sent();
    next_sequence = net_next_sequence;
  }
  uint32_t next_sequence = 0;
  void TearDown() override {
    Reliable::TearDown();
    race_test_close();
    free_track_list();
  }
  uint8_t digest[20] = {};
};

TEST_F(ReliableRace, OwnCrossingsGoOutAsTimingItems) {
  rider* me = slot_rider(own);
  ASSERT_NE(me, nullptr);
  // A crossing: its tick, and the count past it.
  rider_set_timing_tick(me, 0, 1234);
  rider_truncate_timing(me, 1);
  step();  // queued in the racing step, sent at the next resend check
  step();
  auto out = sent(17);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0][13], 21);
  EXPECT_EQ(out[0].size(), 26u);
  EXPECT_EQ(packet_u32(out[0], 14), id);
  EXPECT_EQ(packet_u32(out[0], 18), 0u);
  EXPECT_EQ(packet_u32(out[0], 22), 1234u);
  EXPECT_EQ(packet_u32(out[0], 9), next_sequence);
  ack(next_sequence);
  step(10);
  EXPECT_TRUE(sent(17).empty());  // no new crossing, no item
  // A reset takes the crossing away: the count drop goes out as index -1.
  rider_truncate_timing(me, 0);
  step();
  step();
  out = sent(17);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0][13], 21);
  EXPECT_EQ(packet_u32(out[0], 18), 0xffffffffu);
  EXPECT_EQ(packet_u32(out[0], 22), 0xffffffffu);
}

TEST_F(ReliableRace, ServerTimingCorrectsOtherRiders) {
  rider* bob = slot_rider(5);
  rider* me = slot_rider(own);
  ASSERT_NE(bob, nullptr);
  for (int i = 0; i < 5; i++) rider_set_timing_tick(bob, i, 100 * (i + 1));
  rider_truncate_timing(bob, 5);
  auto timing = [](uint32_t connection, std::vector<std::array<uint32_t, 3>> records, uint32_t count) {
    packet_bytes p;
    p.u32(connection).u32(count);
    for (auto& r : records) p.u32(r[0]).u32(r[1]).u32(r[2]);
    return std::string(p.b.begin(), p.b.end());
  };
  server(reliable(0, 21, timing(id + 1, {{5, 1, 999}}, 1)));  // another race
  EXPECT_EQ(rider_timing_tick(bob, 1), 200);
  EXPECT_EQ(rider_next_timing_index(bob), 5);
  // Bob's crossing 2 moves and the later ones go; our own slot, an empty
  // slot and an index past any race are left alone; the count runs past
  // the end of the records.
  server(reliable(1, 21, timing(id, {{5, 2, 777}, {own, 0, 5}, {99, 0, 5}, {5, 1u << 30, 5}}, 1000)));
  EXPECT_EQ(rider_timing_tick(bob, 2), 777);
  EXPECT_EQ(rider_next_timing_index(bob), 3);
  EXPECT_EQ(rider_next_timing_index(me), 0);
  EXPECT_EQ(net_client.state, net_racing);
}

TEST_F(ReliableRace, SpectatorsSendKeepAlives) {
  own_start_position = race_no_slot;
  step();
  step();
  auto out = sent(17);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0][13], 20);
  EXPECT_EQ(item_text(out[0]), "Hello server, I'm still here!");
  ack(next_sequence);
  step(128 * 9);
  EXPECT_TRUE(sent(17).empty());
  step(128 + 2);
  EXPECT_EQ(sent(17).size(), 1u);
}

TEST_F(ReliableRace, ChangedSettingsResendTheClientInfoOffTheSetupPages) {
  net_settings_changed = 1;
  menu_page = 7;  // Bike Setup
  step(3);
  EXPECT_TRUE(sent(17).empty());
  menu_page = -1;
  step(2);
  auto out = sent(17);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0][13], 3);
  char text[465];
  net_format_client_info(text, sizeof text);
  EXPECT_EQ(item_text(out[0]), text);
  EXPECT_EQ(net_settings_changed, 0);
}

// The terrain: a wheel digging on the game's own field while connected.
class ReliableTerrain : public Reliable {
 protected:
  void SetUp() override {
    ASSERT_EQ(dynamics_open(), 1);
    rut_test_make_field();
    net_install_race_hooks();
    Reliable::SetUp();
  }
  void TearDown() override {
    Reliable::TearDown();
    net_send_terrain_edit = erode_queue_add_stroke;
    net_offline_terrain_edit = erode_queue_add_stroke;
    race_hooks = {};
    rut_test_free_field();
    dynamics_close();
  }
  // Drives a slipping wheel over the field until a stroke is sent.
  void ride() {
    wheel_contact wheel = {};
    wheel.body = dBodyCreate(dynamics_world);
    rut_stroke stroke;
    std::memset(&stroke, 0, sizeof stroke);
    const float velocity[3] = {20.0f, 0.0f, 0.0f}, force[3] = {300.0f, -500.0f, 0.0f};
    float x = 300.0f;
    for (int t = 0; t < 600; t++, x += 20.0f / 128.0f) {
      dBodySetLinearVel(wheel.body, velocity[0], velocity[1], velocity[2]);
      const float point[3] = {x, 0.0f, 501.3f}, slip[3] = {5.0f, 0.0f, 0.0f};
      std::memcpy(wheel.point, point, sizeof point);
      std::memcpy(wheel.point_velocity, slip, sizeof slip);
      wheel.depth = 0.1f;
      for (int c = 0; c < 3; c++) wheel.feedback.f1[c] = force[c];
      rut_update_wheel(&stroke, &wheel, 0);
      rut_test_tick++;
    }
    dBodyDestroy(wheel.body);
  }
  std::vector<float> dig() {
    while (erode_queue.count > 0) erode_queue_process(nullptr, 1.0f);
    std::vector<float> h(track_field.heights, track_field.heights + track_field.size * track_field.size);
    for (int k = 0; k < track_field.size * track_field.size; k++) track_field.heights[k] = track_field.base_heights[k];
    return h;
  }
};

TEST_F(ReliableTerrain, EditsGoThroughTheServerAndDigAsOffline) {
  ride();
  EXPECT_EQ(erode_queue.count, 0);  // online nothing digs before the server says so
  step();
  auto out = sent(17);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0][13], 27);
  EXPECT_EQ(packet_u32(out[0], 14), id);
  const std::string message(out[0].begin() + 18, out[0].end());
  ASSERT_GE(message.size(), 17u);

  // The server's echo digs; another race's edit does not.
  server(reliable(0, 27, "abc"));  // shorter than its id
  server(reliable(1, 27, u32_text(id + 1) + message));
  EXPECT_EQ(erode_queue.count, 0);
  server(reliable(2, 27, u32_text(id) + message));
  EXPECT_GT(erode_queue.count, 0);
  const std::vector<float> online = dig();

  // The same bytes offline dig the same heights.
  net_shutdown();
  net_send_terrain_edit(reinterpret_cast<const uint8_t*>(message.data()), static_cast<int32_t>(message.size()));
  EXPECT_GT(erode_queue.count, 0);
  const std::vector<float> offline = dig();
  EXPECT_EQ(online, offline);
  double changed = 0;
  for (size_t k = 0; k < online.size(); k++) changed += online[k] != track_field.base_heights[k];
  EXPECT_GT(changed, 0);
}

}  // namespace
