#include "race/options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "assets/model_settings.h"
#include "assets/texture_settings.h"
#include "bike/wheel_contacts.h"
#include "race/game_state.h"
#include "race/loop_options.h"
#include "race/race_settings.h"
#include "terrain/ground_texture.h"
#include "terrain/terrain_mesh.h"
#include "terrain/terrain_settings.h"

namespace {

// argv for a list of arguments, the program name first.
struct argv_builder {
  std::vector<std::string> text;
  std::vector<char*> pointers;
  explicit argv_builder(std::vector<std::string> args) : text(std::move(args)) {
    text.insert(text.begin(), "brakkan");
    for (auto& s : text) pointers.push_back(&s[0]);
    pointers.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(text.size()); }
  char** argv() { return pointers.data(); }
};

class options_test : public ::testing::Test {
 protected:
  void SetUp() override {
    game_state = game_state_record{};
    loop_options = loop_options_record{1, 1, 0, 0.0, 0, 0, 0, {0, 0, 0}, nullptr, nullptr, -1};
    texture_reduction = 1;
    ground_texture_level0 = 1;
    roost_density = 1000;
    lod_error_scale = 0.5f;
    model_lod_scale = 1;
    model_lod_offset = 0;
    no_vertex_arrays = 0;
    xres = 640;
    yres = 480;
    draw_fps = draw_time = draw_speed = 0;
    draw_ping = 1;
  }
  void TearDown() override {
    no_vertex_arrays = 0;
    mmx_available = 0;
  }
  command_line parse(std::vector<std::string> args) {
    args_ = std::make_unique<argv_builder>(std::move(args));
    command_line out;
    parse_command_line(args_->argc(), args_->argv(), &out);
    return out;
  }
  std::unique_ptr<argv_builder> args_;
};

TEST(match_option, cases) {
  struct test_case {
    std::vector<std::string> args;
    const char* name;
    bool valued;
    int result;
    const char* value;  // expected value (valued options); "(null)" = none
    int consumed;
    int end_of_options;
  };
  const test_case cases[] = {
      {{"--track=quarrybend"}, "--track", true, 1, "quarrybend", 1, 0},
      {{"--track", "quarrybend"}, "--track", true, 1, "quarrybend", 2, 0},
      {{"--track"}, "--track", true, 1, "(null)", 1, 0},
      {{"--track="}, "--track", true, 1, "", 1, 0},
      {{"--trackx"}, "--track", true, 0, "(null)", 0, 0},
      {{"--lod-bias", "-2"}, "--lod-bias", true, 1, "-2", 2, 0},
      {{"--", "--track"}, "--track", true, 0, "(null)", 1, 1},
      {{"--editor"}, "--editor", false, 1, nullptr, 1, 0},
      {{"--editor=1"}, "--editor", false, 0, nullptr, 0, 0},
      {{"--editor", "x"}, "--editor", false, 1, nullptr, 1, 0},
      {{"--"}, "--editor", false, 0, nullptr, 0, 0},
      {{}, "--editor", false, 0, nullptr, 0, 0},
  };
  for (const auto& c : cases) {
    argv_builder a(c.args);
    arg_cursor cursor;
    arg_cursor_init(&cursor, a.argc(), a.argv());
    const int before = cursor.remaining;
    const char* value = "(untouched)";
    const int result = match_option(&cursor, c.name, c.valued ? &value : nullptr);
    const std::string where = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(result, c.result) << where;
    EXPECT_EQ(before - cursor.remaining, c.consumed) << where;
    EXPECT_EQ(cursor.end_of_options, c.end_of_options) << where;
    if (c.valued && c.result) {
      EXPECT_STREQ(value ? value : "(null)", c.value) << where;
    }
  }
}

TEST(match_option, nothing_matches_after_the_end_of_options) {
  argv_builder a({"--", "--track", "x"});
  arg_cursor cursor;
  arg_cursor_init(&cursor, a.argc(), a.argv());
  const char* value = nullptr;
  EXPECT_EQ(match_option(&cursor, "--track", &value), 0);
  EXPECT_EQ(match_option(&cursor, "--track", &value), 0);
  EXPECT_EQ(match_option(&cursor, "--nosound", nullptr), 0);
  EXPECT_EQ(cursor.remaining, 2);
}

TEST_F(options_test, flags_and_values_reach_their_targets) {
  command_line c = parse({"--fugly", "--nosound", "--novertexarrays", "--learn", "--super-debug", "--practice",
                          "--warp", "--record-video", "--editor", "--hidden-pause", "--hidden-hud",
                          "--accurate-skip", "--glfinish", "--print-orientation", "--rotate-lineup", "-3",
                          "--width", "400", "--height=300", "--depth", "24", "--zdepth=32", "--draw-fps", "1",
                          "--draw-time=2", "--draw-ping", "3", "--draw-speed", "4", "--draw-render-stats", "5",
                          "--track=quarrybend", "--password", "pw", "--record-audio", "a.raw",
                          "--chase-center", "1.5,-2,3e2", "--fake-loss", "150", "--roostfrequency", "-7",
                          "--lod-bias", "-2", "--detail", "0.25", "--max-detail-distance", "9"});
  ASSERT_EQ(c.status, command_line_ok) << c.message;
  EXPECT_EQ(game_state.fugly, 1);
  EXPECT_EQ(c.nosound, 1);
  EXPECT_EQ(no_vertex_arrays, 1);
  EXPECT_EQ(game_state.learn_lines, 1);
  EXPECT_EQ(game_state.debug_level, 2);
  EXPECT_EQ(game_state.practice, 1);
  EXPECT_EQ(loop_options.warp, 1);
  EXPECT_EQ(loop_options.record_video, 1);
  EXPECT_EQ(game_state.editor_enabled, 1);
  EXPECT_EQ(loop_options.show_pause_text, 0);
  EXPECT_EQ(loop_options.show_hud, 0);
  EXPECT_EQ(game_state.accurate_skip, 1);
  EXPECT_EQ(loop_options.gl_finish, 1);
  EXPECT_EQ(game_state.print_orientation, 1);
  EXPECT_EQ(game_state.rotate_lineup, -3);
  EXPECT_EQ(xres, 400);
  EXPECT_EQ(yres, 300);
  EXPECT_EQ(c.depth, 24);
  EXPECT_EQ(c.zdepth, 32);
  EXPECT_EQ(draw_fps, 1);
  EXPECT_EQ(draw_time, 2);
  EXPECT_EQ(draw_ping, 3);
  EXPECT_EQ(draw_speed, 4);
  EXPECT_EQ(game_state.draw_render_stats, 5);
  EXPECT_STREQ(c.track, "quarrybend");
  EXPECT_STREQ(game_state.track_dir, "quarrybend");
  EXPECT_STREQ(game_state.net_password, "pw");
  EXPECT_STREQ(loop_options.record_audio_name, "a.raw");
  EXPECT_EQ(loop_options.chase_center_set, 1);
  EXPECT_FLOAT_EQ(loop_options.chase_center[0], 1.5f);
  EXPECT_FLOAT_EQ(loop_options.chase_center[1], -2.0f);
  EXPECT_FLOAT_EQ(loop_options.chase_center[2], 300.0f);
  EXPECT_EQ(game_state.fake_loss, 100);
  EXPECT_EQ(roost_density, 0);
  EXPECT_FLOAT_EQ(model_lod_offset, -2.0f);
  EXPECT_FLOAT_EQ(lod_error_scale, 0.25f);
  EXPECT_EQ(game_state.demo_argument, nullptr);
  EXPECT_STREQ(c.notice, "");
}

TEST_F(options_test, defaults_when_nothing_is_given) {
  command_line c = parse({});
  EXPECT_EQ(c.status, command_line_ok);
  EXPECT_EQ(c.depth, 16);
  EXPECT_EQ(c.zdepth, 16);
  EXPECT_EQ(xres, 640);
  EXPECT_EQ(draw_ping, 1);
  EXPECT_EQ(c.track, nullptr);
  EXPECT_EQ(loop_options.show_hud, 1);
  EXPECT_EQ(loop_options.erode_level, -1);
  EXPECT_EQ(texture_reduction, 1);
}

TEST_F(options_test, clamped_and_derived_values) {
  struct test_case {
    std::vector<std::string> args;
    int texture_skip, ground_skip;
    double fake_lag;
    int erode;
    float lod_scale;
    double lock_fps;
  };
  const test_case cases[] = {
      {{"--texture-detail", "9"}, 4, 4, 0, -1, 1, 0},
      {{"--texture-detail=-3"}, 0, 0, 0, -1, 1, 0},
      {{"--ground-texture-detail", "2"}, 1, 2, 0, -1, 1, 0},
      {{"--fake-lag", "250"}, 1, 1, 0.25, -1, 1, 0},
      {{"--fake-lag", "5000"}, 1, 1, 1.0, -1, 1, 0},
      {{"--fake-lag", "-5"}, 1, 1, 0, -1, 1, 0},
      {{"--erode", "0.5"}, 1, 1, 0, 512, 1, 0},
      {{"--erode", "1000"}, 1, 1, 0, 102400, 1, 0},
      {{"--erode", "-1"}, 1, 1, 0, 0, 1, 0},
      {{"--lod-scale", "0"}, 1, 1, 0, -1, 0.000001f, 0},
      {{"--lod-scale", "1e9"}, 1, 1, 0, -1, 1000000.0f, 0},
      {{"--lod-scale", "2.5"}, 1, 1, 0, -1, 2.5f, 0},
      {{"--lock-fps", "0"}, 1, 1, 0, -1, 1, 0},
      {{"--lock-fps", "0.2"}, 1, 1, 0, -1, 1, 1},
      {{"--lock-fps", "60"}, 1, 1, 0, -1, 1, 60},
      {{"--lock-fps", "5000"}, 1, 1, 0, -1, 1, 1000},
  };
  for (const auto& c : cases) {
    SetUp();
    const command_line out = parse(c.args);
    const std::string where = c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : "");
    ASSERT_EQ(out.status, command_line_ok) << where << ": " << out.message;
    EXPECT_EQ(texture_reduction, c.texture_skip) << where;
    EXPECT_EQ(ground_texture_level0, c.ground_skip) << where;
    EXPECT_DOUBLE_EQ(game_state.fake_lag, c.fake_lag) << where;
    EXPECT_EQ(loop_options.erode_level, c.erode) << where;
    EXPECT_FLOAT_EQ(model_lod_scale, c.lod_scale) << where;
    EXPECT_DOUBLE_EQ(loop_options.lock_fps, c.lock_fps) << where;
  }
}

TEST_F(options_test, bad_values_are_refused_with_the_options_name) {
  struct test_case {
    std::vector<std::string> args;
    const char* message;
  };
  const test_case cases[] = {
      {{"--texture-detail", "x"}, "Bad arg for --texture-detail\n"},
      {{"--texture-detail", "3x"}, "Bad arg for --texture-detail\n"},
      {{"--texture-detail", "99999999999"}, "Bad arg for --texture-detail\n"},
      {{"--ground-texture-detail="}, "Bad arg for --ground-texture-detail\n"},
      {{"--roostfrequency", "1.5"}, "Bad arg for --roostfrequency\n"},
      {{"--erode", "nan"}, "Bad arg for --erode\n"},
      {{"--detail", "0"}, "Bad arg for --detail\n"},
      {{"--detail", "-1"}, "Bad arg for --detail\n"},
      {{"--max-detail-distance", "far"}, "Bad arg for --max-detail-distance\n"},
      {{"--lod-scale", "inf"}, "Bad arg for --lod-scale\n"},
      {{"--lod-bias", "1e400"}, "Bad arg for --lod-bias\n"},
      {{"--lock-fps", "nan"}, "Bad arg for --lock-fps\n"},
      {{"--lock-fps", "-1"}, "Bad arg for --lock-fps\n"},
      {{"--fake-lag", " 5"}, "Bad arg for --fake-lag\n"},
      {{"--fake-loss", "ten"}, "Bad arg for --fake-loss\n"},
      {{"--rotate-lineup", "1.0"}, "Bad arg for --rotate-lineup\n"},
      {{"--width", "-5"}, "Bad arg for --width\n"},
      {{"--width", "0"}, "Bad arg for --width\n"},
      {{"--height", "16385"}, "Bad arg for --height\n"},
      {{"--depth", "15"}, "Bad arg for --depth\n"},
      {{"--zdepth=abc"}, "Bad arg for --zdepth\n"},
      {{"--draw-fps", "-1"}, "Bad arg for --draw-fps\n"},
      {{"--draw-render-stats", "1x"}, "Bad arg for --draw-render-stats\n"},
      {{"--chase-center", "1,2"}, "Bad arg for --chase-center\n"},
      {{"--chase-center", "1,2,3,4"}, "Bad arg for --chase-center\n"},
      {{"--chase-center", "1,nan,3"}, "Bad arg for --chase-center\n"},
      {{"--track"}, "Bad arg for --track\n"},
      {{"--track="}, "Bad arg for --track\n"},
      {{"--record-audio"}, "Bad arg for --record-audio\n"},
      {{"--password"}, "Bad arg for --password\n"},
      {{"--bikes"}, "Bad arg for --bikes\n"},
      {{"--connect", "brakkanware:"}, "Bad arg for --connect\n"},
      {{"--connect", "brakkanware:" + std::string(127, 'a')}, "Bad arg for --connect\n"},
      {{"--editor=1"}, "bad option '--editor=1'\n"},
      {{"-x"}, "bad option '-x'\n"},
      {{"a.bkdemo", "b.bkdemo"}, "Too many files!\n"},
  };
  for (const auto& c : cases) {
    SetUp();
    const command_line out = parse(c.args);
    EXPECT_EQ(out.status, command_line_error) << c.args[0];
    EXPECT_STREQ(out.message, c.message) << c.args[0];
  }
}

TEST_F(options_test, an_unchecked_bad_value_leaves_its_target) {
  const command_line c = parse({"--texture-detail", "2", "--texture-detail", "x"});
  EXPECT_EQ(c.status, command_line_error);
  EXPECT_EQ(texture_reduction, 2);
}

TEST_F(options_test, demo_argument_and_end_of_options) {
  command_line c = parse({"race.bkdemo"});
  EXPECT_EQ(c.status, command_line_ok);
  EXPECT_STREQ(game_state.demo_argument, "race.bkdemo");

  SetUp();
  c = parse({"--nosound", "--", "-odd.bkdemo"});
  EXPECT_EQ(c.status, command_line_ok) << c.message;
  EXPECT_EQ(c.nosound, 1);
  EXPECT_STREQ(game_state.demo_argument, "-odd.bkdemo");

  SetUp();
  c = parse({"--", "--nosound"});
  EXPECT_EQ(c.status, command_line_ok) << c.message;
  EXPECT_EQ(c.nosound, 0);
  EXPECT_STREQ(game_state.demo_argument, "--nosound");

  SetUp();
  c = parse({"--fugly", "--"});
  EXPECT_EQ(c.status, command_line_ok) << c.message;
  EXPECT_EQ(game_state.demo_argument, nullptr);

  SetUp();
  c = parse({"--", "a.bkdemo", "b.bkdemo"});
  EXPECT_STREQ(c.message, "Too many files!\n");
}

TEST_F(options_test, bikes_leaves_a_notice_and_parsing_goes_on) {
  const command_line c = parse({"--bikes", "4", "--nosound"});
  EXPECT_EQ(c.status, command_line_ok);
  EXPECT_STREQ(c.notice, "--bikes doesn't do anything anymore\n");
  EXPECT_EQ(c.nosound, 1);
}

TEST_F(options_test, open_home_ends_the_parse_at_once) {
  command_line c = parse({"--nosound", "--open-home", "--width", "-5"});
  EXPECT_EQ(c.status, command_line_open_home);
  c = parse({"--width", "-5", "--open-home"});
  EXPECT_EQ(c.status, command_line_error);
}

TEST_F(options_test, connect_drops_the_link_prefix) {
  command_line c = parse({"--connect", "brakkanware:race.example.org:19800"});
  ASSERT_EQ(c.status, command_line_ok);
  EXPECT_STREQ(c.server, "race.example.org:19800");
  EXPECT_STREQ(game_state.connect_target, "race.example.org:19800");

  SetUp();
  c = parse({"--connect=10.0.0.1"});
  EXPECT_STREQ(game_state.connect_target, "10.0.0.1");

  SetUp();
  const std::string longest(connect_name_max, 'n');
  c = parse({"--connect", "brakkanware:" + longest});
  ASSERT_EQ(c.status, command_line_ok);
  EXPECT_EQ(std::strlen(game_state.connect_target), static_cast<size_t>(connect_name_max));
}

TEST_F(options_test, nommx_clears_the_flag) {
  mmx_available = 1;
  EXPECT_EQ(parse({"--nommx"}).status, command_line_ok);
  EXPECT_EQ(mmx_available, 0);
}

}  // namespace

namespace {

TEST(server_history_push, moves_down_unless_already_first) {
  char history[server_history_entries][server_name_size] = {};
  for (int i = 0; i < server_history_entries; i++) std::snprintf(history[i], server_name_size, "server%d", i);
  EXPECT_EQ(server_history_push(history, "server0"), 0);
  EXPECT_STREQ(history[1], "server1");

  EXPECT_EQ(server_history_push(history, "race.example.org"), 1);
  EXPECT_STREQ(history[0], "race.example.org");
  EXPECT_STREQ(history[1], "server0");
  EXPECT_STREQ(history[server_history_entries - 1], "server14");

  EXPECT_EQ(server_history_push(history, ""), 0);
  EXPECT_STREQ(history[0], "race.example.org");

  const std::string longest(connect_name_max, 'x');
  EXPECT_EQ(server_history_push(history, longest.c_str()), 1);
  EXPECT_STREQ(history[0], longest.c_str());
}

}  // namespace
