#include "ui/console.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bike/rider_contacts.h"
#include "bike/wheel_contacts.h"
#include "assets/texture.h"
#include "core/console_settings.h"
#include "core/file.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "race/demo_record.h"
#include "race/game_state.h"
#include "race/hud_text.h"
#include "race/net_values.h"
#include "race/rider_look.h"
#include "race/race_hooks.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/views.h"
#include "terrain/height_field.h"
#include "terrain/terrain_settings.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"
#include "ui/bike_setup.h"
#include "ui/bike_setup_pages.h"
#include "ui/console_files.h"
#include "ui/game_settings.h"

namespace {

double fake_now;
double fake_clock() { return fake_now; }

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    menu_keys_name(nullptr);
    console_reset();
    console.now = fake_clock;
    fake_now = 100;
    message_ring_clear();
    search_roots_free();
  }
  static std::string newest() { return message_ring_line(1); }
  static std::string all_lines() {
    std::string out;
    for (int k = message_ring_size; k >= 1; --k)
      if (*message_ring_line(k)) out += std::string(message_ring_line(k)) + "\n";
    return out;
  }
  static void type(const char* text) {
    for (const char* c = text; *c; ++c) console_line_key(static_cast<unsigned char>(*c));
  }
  static void enter(const char* text) {
    type(text);
    console_line_key(menu_keys.enter);
  }
};

TEST_F(ConsoleTest, HistoryKeepsTheFirstLineAndTheNewest99) {
  enter("/togglefps");
  console_line_key(menu_keys.up);
  EXPECT_STREQ(console.input_text, "/togglefps");
  EXPECT_EQ(console.input.cursor, 10);
  console_line_key(menu_keys.up);  // only one earlier line
  EXPECT_STREQ(console.input_text, "/togglefps");
  console_line_key(menu_keys.down);
  EXPECT_STREQ(console.input_text, "");

  console_reset();
  console.now = fake_clock;
  for (int i = 0; i < 150; ++i) {
    fake_now += 3;
    char line[32];
    std::snprintf(line, sizeof line, "line %d", i);
    enter(line);
  }
  EXPECT_EQ(console.history.count, console_history_max);
  EXPECT_STREQ(console.history.entries[1], "line 149");
  EXPECT_STREQ(console.history.entries[99], "line 51");
  // The text being edited survives a walk up and back down.
  type("draft");
  for (int i = 0; i < 200; ++i) console_line_key(menu_keys.up);
  EXPECT_STREQ(console.input_text, "line 51");
  for (int i = 0; i < 200; ++i) console_line_key(menu_keys.down);
  EXPECT_STREQ(console.input_text, "draft");
}

TEST_F(ConsoleTest, RefusedLinesStayInTheFieldAndOutOfTheHistory) {
  enter("hello");
  EXPECT_EQ(newest(), "Not connected to server");  // the first chat is never spam
  enter("again");
  EXPECT_EQ(newest(), "No one likes a spammer");
  EXPECT_STREQ(console.input_text, "again");
  EXPECT_EQ(console.history.count, 2);
  console_line_key(menu_keys.enter);
  EXPECT_STREQ(console.input_text, "again");
  fake_now += 2.5;
  console_line_key(menu_keys.enter);
  EXPECT_STREQ(console.input_text, "");
  EXPECT_EQ(console.history.count, 3);

  console_reset();
  enter("/nosuchcommand");
  EXPECT_STREQ(console.input_text, "/nosuchcommand");
  EXPECT_EQ(all_lines(),
            "Not connected to server\nNo one likes a spammer\nNo one likes a spammer\nNot connected to server\n");
}

std::string handed_text, handed_file;
void take_text(const char* text) { handed_text = text; }
void take_file(const char* name) { handed_file = name; }

// Online, chat and uploads go to the multiplayer client.
TEST_F(ConsoleTest, ChatAndUploadsGoToTheClient) {
  race_hooks.net_send_text = take_text;
  race_hooks.net_send_file = take_file;
  handed_text.clear();
  handed_file.clear();
  enter("hello riders");
  EXPECT_EQ(handed_text, "hello riders");
  enter("/sendfile   lap.txt");
  EXPECT_EQ(handed_file, "lap.txt");
  race_hooks.net_send_text = nullptr;
  race_hooks.net_send_file = nullptr;
  enter("/sendfile lap.txt");
  EXPECT_EQ(newest(), "Not connected to server");
}

TEST_F(ConsoleTest, PageKeysScrollWithinTheRing) {
  console_line_key(menu_keys.page_down);
  EXPECT_EQ(console.scroll, 0);
  for (int i = 0; i < 1200; ++i) console_line_key(menu_keys.page_up);
  EXPECT_EQ(console.scroll, console_scroll_max);
}

TEST_F(ConsoleTest, MatchingWholePrefixAndWord) {
  draw_fps = 0;
  billboard_optimize_lookahead = 5;
  message_lines = 4;
  struct line_case {
    const char* line;
    int taken;
    const char* printed;  // null: nothing
  } cases[] = {
      {"/togglefps x", 0, nullptr},
      {"/togglefps", 1, "FPS display ON"},
      {"\\togglefps", 1, "FPS display OFF"},
      {"/bbopt 12", 1, "Billboard optimization window is now 12"},
      {"/bboptx", 1, "Billboard optimization window is now 12"},
      {"/bbopt", 1, "Billboard optimization window is now 12"},
      {"/bbopt -3", 1, "Billboard optimization window cannot be negative"},
      {"/  messagelines 3", 1, "Maximum showing messages is now 3"},
      {"/messagelines 1001", 1, "Usage: messagelines <0..1000>"},
      {"/messagelinesx 5", 0, nullptr},
      {"\\", 0, nullptr},
      {"/", 0, nullptr},
      {"/fov", 1, "Usage: fov <degrees>"},
      {"/fov nan", 1, "Usage: fov <degrees>"},
      {"/mapscale 0", 1, "Map scale set to 0.125000"},
      {"/mapscale inf", 1, "Usage: mapscale <0.125..8>"},
      {"/reportstutter -1", 1, "Usage: reportstutter <seconds>"},
      {"/log e 5", 1, "Logging 0x1, spacing 5.000000"},
      {"/log x", 1, "Logging 0x0, spacing 10.000000"},
      {"/togglespam", 1, "Hide spam OFF"},
      {"/togglespam", 1, "Hide spam ON"},
      {"/writekeys", 1, "Error saving camera keys"},  // bare: an empty name
  };
  for (const line_case& c : cases) {
    message_ring_clear();
    EXPECT_EQ(run_console_line(c.line), c.taken) << c.line;
    EXPECT_EQ(newest(), c.printed ? c.printed : "") << c.line;
  }
  EXPECT_EQ(draw_fps, 0);
  EXPECT_EQ(billboard_optimize_lookahead, 12);
  EXPECT_EQ(message_lines, 3);
  EXPECT_EQ(debug_flags, 0);
  EXPECT_FLOAT_EQ(debug_label_spacing, 10.0f);

  *game_settings.fov.value = 60;
  EXPECT_EQ(run_console_line("/fov 500"), 1);
  EXPECT_EQ(*game_settings.fov.value, game_settings.fov.maximum);
  EXPECT_EQ(newest(), "fov set");
}

TEST_F(ConsoleTest, HistogramClearLogAndSetups) {
  for (int i = 0; i < frame_time_buckets; ++i) game_state.frame_time_histogram[i] = i + 1;
  run_console_line("/fpshist");
  EXPECT_EQ(newest(), "128=1 64=2 32=3 16=4 8=5 4=6 2=7 1=8 ");
  EXPECT_EQ(game_state.frame_time_histogram[7], 0);

  run_console_line("/clearlog");
  EXPECT_EQ(all_lines(), "");
  EXPECT_EQ(message_ring.write_index, 0);

  const double saved = *game_settings.fov.value;
  viewed_slot = 160;  // no rider: the setup is read, never applied
  ASSERT_EQ(run_console_line("/writesetup  e2e  "), 1);
  EXPECT_EQ(newest(), "Setup written");
  std::string written;
  write_bike_setup(&written);
  EXPECT_EQ(test_read_file(std::string(search_root(0)) + "setups/e2e"), written);
  run_console_line("/readsetup e2e");
  EXPECT_EQ(newest(), "Setup updated");
  run_console_line("/readsetup nosuch");
  EXPECT_NE(newest().find("Error reading setup"), std::string::npos);
  EXPECT_EQ(*game_settings.fov.value, saved);
}

TEST_F(ConsoleTest, ReadSetupSelectsItsSkinsAndTellsTheServer) {
  viewed_slot = 160;
  texture_variant_list& gear = rider_look_lists[rider_look_gear];
  const char* const files[] = {"rider_body-blue.png", nullptr};
  collect_texture_variants_from(files, &gear.paths, &gear.names, "rider_body-");
  std::snprintf(bike_setup.rider_texture, sizeof bike_setup.rider_texture, "blue");
  ASSERT_EQ(run_console_line("/writesetup skins"), 1);
  bike_setup.rider_texture[0] = 0;
  net_settings_changed = 0;
  run_console_line("/readsetup skins");
  EXPECT_EQ(newest(), "Setup updated");
  EXPECT_STREQ(option_list_text(&bike_setup_menu.rider_texture), "blue");
  EXPECT_EQ(net_settings_changed, 1);
  net_settings_changed = 0;
  run_console_line("/readsetup nosuch");
  EXPECT_EQ(net_settings_changed, 1);
  net_settings_changed = 0;
  forget_setup_skin_options();
  free_rider_look();
}

TEST_F(ConsoleTest, CommandsNeedingARiderOrTrackRefuseWithoutOne) {
  viewed_slot = 160;
  EXPECT_EQ(run_console_line("/camangle 90 0"), 0);
  EXPECT_EQ(run_console_line("/pipe 1 2 3"), 0);
  EXPECT_EQ(newest(), "");
  height_field* saved = game_state.terrain;
  game_state.terrain = nullptr;
  EXPECT_EQ(run_console_line("/toggledecals"), 1);
  EXPECT_EQ(newest(), "No track loaded");
  EXPECT_EQ(run_console_line("/hfvol"), 1);
  EXPECT_EQ(newest(), "No track loaded");
  static height_field field;  // no decals, no grid: only the flag changes
  game_state.terrain = &field;
  run_console_line("/toggledecals");
  EXPECT_EQ(newest(), "Hide decals ON");
  EXPECT_EQ(field.hide_decals, 1);
  game_state.terrain = saved;
}

TEST_F(ConsoleTest, KeyListAndKeyCamera) {
  key_camera_on = 0;
  run_console_line("/togglekeycam");
  EXPECT_EQ(newest(), "Keycam mode ON");
  camera_key_count = 1;
  camera_keys[0] = camera_key{{1, 2, 3}, {0, 0.7071f, 0, 0.7071f}, 60, 256};
  run_console_line("/listkeys");
  char expected[160];
  std::snprintf(expected, sizeof expected,
                "pos = { 1.00, 2.00, 3.00 }, rot = { 0.00, 0.71, 0.00, 0.71 }, time = %.2f", 256 * tick_length);
  EXPECT_EQ(newest(), expected);
  run_console_line("/clearkeys");
  EXPECT_EQ(camera_key_count, 0u);
  EXPECT_EQ(newest(), "Keyframes cleared");
  key_camera_on = 0;
}

}  // namespace

TEST(ConsolePage, RingIndexStaysInTheRing) {
  for (int write = 0; write < message_ring_size; ++write)
    for (int scroll = 0; scroll <= console_scroll_max; scroll += 50)
      for (int row = 0; row < console_page_rows; ++row) {
        const int i = console_page_ring_index(write, row, scroll);
        ASSERT_GE(i, 0);
        ASSERT_LT(i, message_ring_size);
        ASSERT_EQ((i - (write + row - scroll - console_page_rows)) % message_ring_size, 0);
      }
  // The newest line sits on the last row.
  EXPECT_EQ(console_page_ring_index(10, console_page_rows - 1, 0), 9);
  EXPECT_EQ(console_page_ring_index(0, 0, console_scroll_max), 0);
}

TEST_F(ConsoleTest, AddAndDeleteKeysByTick) {
  camera_key_count = 0;
  free_camera.yaw = 90 * 0.017453292519943295f;
  free_camera.pitch = 0;
  auto add_at = [](int tick, float x) {
    race_clock.current_tick = tick;
    free_camera.x = x;
    run_console_line("/addkey");
  };
  add_at(200, 1);
  add_at(100, 2);
  add_at(100, 3);  // equal ticks keep their order
  ASSERT_EQ(camera_key_count, 3u);
  EXPECT_EQ(camera_keys[0].position[0], 2);
  EXPECT_EQ(camera_keys[1].position[0], 3);
  EXPECT_EQ(camera_keys[2].tick, 200);
  EXPECT_NEAR(camera_keys[0].quaternion[1], 0.7071, 1e-4);
  EXPECT_NEAR(camera_keys[0].quaternion[3], 0.7071, 1e-4);
  EXPECT_EQ(newest(), "Keyframe added");

  struct delete_case {
    int tick;
    int gone_tick;
  } cases[] = {{180, 200}, {120, 100}, {50, 100}, {300, 200}};
  for (const delete_case& c : cases) {
    camera_key_count = 2;
    camera_keys[0].tick = 100;
    camera_keys[1].tick = 200;
    race_clock.current_tick = c.tick;
    run_console_line("/deletekey");
    ASSERT_EQ(camera_key_count, 1u) << c.tick;
    EXPECT_NE(camera_keys[0].tick, c.gone_tick) << c.tick;
  }
  run_console_line("/rmkey");  // a single key: the list empties
  EXPECT_EQ(camera_key_count, 0u);
  EXPECT_EQ(newest(), "Keyframe deleted");
  race_clock.current_tick = 0;
}

TEST_F(ConsoleTest, GraphToggleAndRenderStatisticsRestart) {
  telemetry_graph_on = 0;
  run_console_line("/togglegraph");
  EXPECT_EQ(newest(), "Suspension graph ON");
  EXPECT_EQ(telemetry_graph_on, 1);
  run_console_line("/togglegraph");
  EXPECT_EQ(newest(), "Suspension graph OFF");
  EXPECT_EQ(telemetry_graph_on, 0);

  game_state.draw_render_stats = 0;
  render_stats_max.model_polygons = 900;
  render_stats_max.billboards = 12;
  EXPECT_EQ(run_console_line("/renderstats"), 1);
  EXPECT_EQ(game_state.draw_render_stats, 1);
  EXPECT_EQ(render_stats_max.model_polygons, 0);
  EXPECT_EQ(render_stats_max.billboards, 0);
  game_state.draw_render_stats = 0;
}
namespace {

std::string home_file(const std::string& name) { return std::string(search_root(0)) + name; }

void put_home_file(const std::string& name, const std::string& text) {
  make_parent_folders(home_file(name).c_str());
  FILE* f = std::fopen(home_file(name).c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

TEST_F(ConsoleTest, KeyFilesRoundTripAndABadFileKeepsTheKeys) {
  camera_key_count = 0;
  free_camera.x = 1.5f;
  free_camera.y = 2;
  free_camera.z = -3;
  free_camera.yaw = 90 * 0.017453292519943295f;
  free_camera.pitch = 0;
  race_clock.current_tick = 640;
  run_console_line("/addkey");
  race_clock.current_tick = 100;
  free_camera.pitch = 10 * 0.017453292519943295f;
  run_console_line("/addkey");
  ASSERT_EQ(run_console_line("/writekeys  k1 "), 1);
  EXPECT_EQ(newest(), "Camera keys saved");
  const std::string text = test_read_file(home_file("keycam/k1"));
  std::string expected;
  camera_keyframe_line(camera_keys[0], &expected);
  camera_keyframe_line(camera_keys[1], &expected);
  EXPECT_EQ(text, expected);
  EXPECT_NE(text.find("1.5000 2.0000 -3.0000 0.0000 0.7071 -0.0000 0.7071"), std::string::npos) << text;

  camera_key_count = 0;
  ASSERT_EQ(run_console_line("/readkeys k1"), 1);
  EXPECT_EQ(newest(), "Camera keys updated");
  ASSERT_EQ(camera_key_count, 2u);
  EXPECT_EQ(camera_keys[0].tick, 100);
  EXPECT_EQ(camera_keys[1].tick, 640);
  EXPECT_FLOAT_EQ(camera_keys[1].position[0], 1.5f);

  // The third line is short: the two keys before it are the list now, in
  // the file's order.
  put_home_file("keycam/bad", "1 2 3 0 0 0 1 60 300\n1 2 3 0 0 0 1 60 200\n1 2 3 0 0 0 1 60\n");
  run_console_line("/readkeys bad");
  EXPECT_NE(newest().find("Error reading camera keys"), std::string::npos);
  EXPECT_NE(newest().find("line 3"), std::string::npos) << newest();
  ASSERT_EQ(camera_key_count, 2u);
  EXPECT_EQ(camera_keys[0].tick, 300);
  EXPECT_EQ(camera_keys[1].tick, 200);

  run_console_line("/readkeys nosuch");
  EXPECT_NE(newest().find("Error reading camera keys"), std::string::npos);
  run_console_line("/readkeys");
  EXPECT_EQ(newest(), "Error reading camera keys");
  run_console_line("/writekeys   ");
  EXPECT_EQ(newest(), "Error saving camera keys");
  EXPECT_EQ(camera_key_count, 2u);
  camera_key_count = 0;
  race_clock.current_tick = 0;
}

TEST(CameraKeyFile, LinesAreReadInFileOrderUpToTheFirstBadOne) {
  struct read_case {
    const char* text;
    int ok;
    int bad_line;
    std::vector<int> ticks;  // of the keys taken, in order
  } cases[] = {
      {"", 1, 0, {}},
      {"0 0 0 0 0 0 1 60 5\n0 0 0 0 0 0 1 61 2\n0 0 0 0 0 0 1 62 5", 1, 0, {5, 2, 5}},
      {"0 0 0 0 0 0 1 60 5 trailing words\r\n", 1, 0, {5}},
      {"0 0 0 0 0 0 1 60 5\n\n0 0 0 0 0 0 1 60 6\n", 0, 2, {5}},
      {"0 0 0 0 0 0 1 60 7\n0 0 nan 0 0 0 1 60 5\n", 0, 2, {7}},
      {"0 0 0 0 0 0 1 inf 5\n", 0, 1, {}},
      {"0 0 0 0 0 0 1 60 99999999999\n", 0, 1, {}},
      {"0 0 0 0 0 0 1 60 x\n", 0, 1, {}},
  };
  for (const read_case& c : cases) {
    camera_key keys[8];
    size_t count = 99;
    int bad_line = -1;
    const char* reason = nullptr;
    const int ok = parse_camera_keyframes(c.text, std::strlen(c.text), keys, 8, &count, &bad_line, &reason);
    EXPECT_EQ(ok, c.ok) << c.text;
    EXPECT_EQ(bad_line, c.bad_line) << c.text;
    EXPECT_EQ(reason != nullptr, !c.ok) << c.text;
    ASSERT_EQ(count, c.ticks.size()) << c.text;
    for (size_t i = 0; i < count; ++i) EXPECT_EQ(keys[i].tick, c.ticks[i]) << c.text;
  }
  // One key more than the list holds, and a line past 1024 characters.
  const char* three = "1 0 0 0 0 0 1 60 5\n2 0 0 0 0 0 1 60 5\n3 0 0 0 0 0 1 60 1\n";
  camera_key keys[3];
  size_t count = 0;
  int bad_line = 0;
  const char* reason = nullptr;
  EXPECT_EQ(parse_camera_keyframes(three, std::strlen(three), keys, 2, &count, &bad_line, &reason), 0);
  EXPECT_EQ(bad_line, 3);
  EXPECT_EQ(count, 2u);
  const std::string long_line = "0 0 0 0 0 0 1 60 5" + std::string(1100, ' ') + "\n";
  EXPECT_EQ(parse_camera_keyframes(long_line.data(), long_line.size(), keys, 3, &count, &bad_line, &reason), 0);
}

TEST_F(ConsoleTest, NamingTheDemoBeingRecorded) {
  demo_save_name[0] = 0;
  demo_recorder.file = nullptr;
  run_console_line("/namedemo best");
  EXPECT_EQ(newest(), "Not currently recording a demo");
  EXPECT_STREQ(demo_save_name, "");

  static stream recording;  // only its presence matters here
  demo_recorder.file = &recording;
  const std::string longest(1016, 'a');
  struct name_case {
    std::string line;
    const char* message;
    std::string name;  // "" : unchanged from "kept.bkdemo"
  } cases[] = {
      {"/namedemo best", "Demo name updated", "best.bkdemo"},
      {"/namedemo   lap.bkdemo more words", "Demo name updated", "lap.bkdemo"},
      {"/namedemo " + longest, "Demo name updated", longest + ".bkdemo"},
      {"/namedemo " + longest + "a", "Name too long", ""},
      {"/namedemo ../up", nullptr, ""},
      {"/namedemo a/b", nullptr, ""},
      {"/namedemo a\\b", nullptr, ""},
      {"/namedemo", "Usage: namedemo <name>", ""},
  };
  for (const name_case& c : cases) {
    std::snprintf(demo_save_name, sizeof demo_save_name, "kept.bkdemo");
    // The console's line is at most 119 characters; the name reaches the
    // command whole when it comes another way.
    const char* argument = c.line.c_str() + std::strlen("/namedemo");
    if (*argument == ' ') ++argument;
    name_demo(argument);
    if (c.message) {
      EXPECT_EQ(newest(), c.message) << c.line.substr(0, 40);
    }
    EXPECT_EQ(demo_save_name, c.name.empty() ? std::string("kept.bkdemo") : c.name) << c.line.substr(0, 40);
  }
  EXPECT_EQ(run_console_line("/namedemo short"), 1);
  EXPECT_STREQ(demo_save_name, "short.bkdemo");
  demo_recorder.file = nullptr;
  demo_save_name[0] = 0;
}

TEST_F(ConsoleTest, TrackInfoHasSixLinesAndTheLoadedHash) {
  const std::string saved_folder = track_folder;
  track_folder[0] = 0;
  run_console_line("/savetrackinfo");
  EXPECT_EQ(newest(), "No track loaded");

  std::snprintf(track_folder, sizeof track_folder, "infotrack");
  std::snprintf(track_long_name, sizeof track_long_name, "Info Track");
  const route_block saved_route = route;
  route.first_lap_gates = 7;
  route.normal_lap_gates = 5;
  const int32_t saved_count = checkpoint_count;
  checkpoint_count = 6;
  for (int i = 0; i < digest_bytes; ++i) track_hash[i] = static_cast<uint8_t>(i * 13 + 1);
  ASSERT_EQ(run_console_line("/savetrackinfo"), 1);
  EXPECT_EQ(newest(), "Track info saved to infotrack.trackinfo");
  EXPECT_EQ(test_read_file(home_file("infotrack.trackinfo")),
            "dir=infotrack\nlongname=Info Track\nfirstlap=7\nnormallap=5\ngatecount=6\n"
            "hash=010e1b2835424f5c697683909daab7c4d1deebf8\n");
  route = saved_route;
  checkpoint_count = saved_count;
  std::snprintf(track_folder, sizeof track_folder, "%s", saved_folder.c_str());
}

}  // namespace
