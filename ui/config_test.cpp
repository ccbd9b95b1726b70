#include "ui/config.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "assets/view_settings.h"
#include "core/console_settings.h"
#include "core/file.h"
#include "core/file_replace.h"
#include "core/message_ring.h"
#include "race/control_bindings.h"
#include "ui/game_settings.h"
#include "terrain/track.h"
#include "tools/testing/test_env.h"

namespace {

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    control_bindings_reset();
    defaults = config_text();
    message_ring_clear();
    search_roots_free();
    home = search_root(0);
    std::filesystem::create_directories(home);
    std::filesystem::remove(home + "config");
    std::filesystem::remove(home + "config~");
  }
  void TearDown() override {
    file_replace_ops = {::write, ::fsync, ::close};
    read_config_text(defaults.data(), defaults.size(), "defaults");
    control_bindings_reset();
    config_track_name = nullptr;
  }
  // Console lines since the last clear, oldest first.
  std::string console() {
    std::string out;
    for (int k = message_ring_size; k >= 1; --k) out += message_ring_line(k);
    return out;
  }
  int read(const std::string& text) { return read_config_text(text.data(), text.size(), "config"); }
  std::string defaults;
  std::string home;
};

// Moves every setting and binding away from its default.
void change_everything(int seed) {
  int count = 0;
  const settings_entry* all = settings_entries(&count);
  for (int i = 0; i < count; ++i) {
    const settings_entry& e = all[i];
    switch (e.kind) {
      case setting_int:
        *static_cast<int*>(e.item) = static_cast<int>(e.minimum > 0 ? e.minimum : 0) + 3 + seed + i;
        break;
      case setting_float:
        *static_cast<double*>(e.item) = 2.5 + seed;
        break;
      case setting_slider: {
        menu_slider* s = static_cast<menu_slider*>(e.item);
        // A value with more than six decimals comes back rounded to six.
        *s->value = s->minimum + (s->maximum - s->minimum) * (0.1234567 + 0.01 * seed);
        break;
      }
      case setting_list: {
        menu_option_list* l = static_cast<menu_option_list*>(e.item);
        *l->selected = (*l->selected + 1 + seed) % l->count;
        break;
      }
      case setting_text: {
        menu_text_field* f = static_cast<menu_text_field*>(e.item);
        std::snprintf(f->text, static_cast<size_t>(f->max_length) + 1, "host%d-%d.example", seed, i);
        break;
      }
      case setting_track:
        break;
    }
  }
  parse_binding(&control_bindings[binding_throttle], seed ? "(k)q" : "(-1,1)Pad.axis[1]");
  parse_binding(&control_bindings[binding_left], "(0.25,-0.75)Pad axis 0");
  parse_binding(&control_bindings[binding_screenshot], "(k)");
  parse_binding(&control_bindings[binding_pause], seed ? "f12" : "scroll lock");
}

TEST_F(ConfigTest, EverySettingWritesAndReadsBack) {
  change_everything(0);
  config_track_name = nullptr;
  ASSERT_EQ(read("track=quarrybend\n"), 0);
  const std::string first = config_text();
  EXPECT_NE(first, defaults);
  EXPECT_NE(first.find("fov=29.753072\n"), std::string::npos);  // 10 + 160 x 0.1234567
  EXPECT_NE(first.find("track=quarrybend\n"), std::string::npos);
  EXPECT_NE(first.find("throttle_key=(-1.000000,1.000000)Pad.axis[1]\n"), std::string::npos);
  EXPECT_NE(first.find("screenshot_key=(k)\n"), std::string::npos);
  EXPECT_NE(first.find("pause_key=(k)scroll lock\n"), std::string::npos);
  EXPECT_EQ(first.find('\r'), std::string::npos);

  change_everything(1);
  ASSERT_NE(config_text(), first);
  EXPECT_EQ(read(first), 0) << console();
  EXPECT_EQ(config_text(), first);
  EXPECT_DOUBLE_EQ(fov, 29.753072);
  EXPECT_STREQ(control_bindings[binding_throttle].axis_name, "Pad.axis[1]");
  EXPECT_EQ(control_bindings[binding_throttle].key_name, nullptr);
  EXPECT_FLOAT_EQ(control_bindings[binding_left].axis_minimum, 0.25f);
  EXPECT_FLOAT_EQ(control_bindings[binding_left].axis_maximum, -0.75f);
  EXPECT_STREQ(control_bindings[binding_screenshot].key_name, "");

  // The file itself: written, read back, written again byte for byte.
  ASSERT_EQ(write_config(), 1);
  const std::string on_disk = test_read_file(home + "config");
  EXPECT_EQ(on_disk, first);
  change_everything(1);
  read_config();
  ASSERT_EQ(write_config(), 1);
  EXPECT_EQ(test_read_file(home + "config"), on_disk);
  EXPECT_EQ(test_read_file(home + "config~"), on_disk);
}

TEST_F(ConfigTest, DefaultsAreTheTablesOwn) {
  const std::string t = defaults;
  for (const char* line :
       {"xres=640\n", "draw_ping=1\n", "record=No\n", "skill=Novice\n", "laps=5.000000\n", "slot17=Robot\n",
        "slot19=Human\n", "slot23=Empty\n", "time_trial_abort=Yes\n", "video_mode=Default Fullscreen\n",
        "ground_texture_dim=128x128\n", "render_texture=Hardware/Direct\n", "roost_density=250.000000\n",
        "fov=110.000000\n", "first_person_height=0.000000\n", "playback_mode=Playback Only\n",
        "billboard_optimize_lookahead=8\n", "map_scale=1.000000\n", "throttle_key=(k)x\n",
        "dab_key=(k)right ctrl\n", "rewind_key=(k)\\\n", "screenshot_key=(k)s\n"})
    EXPECT_NE(t.find(line), std::string::npos) << line;
  EXPECT_EQ(t.find("track="), std::string::npos);  // no track list, nothing read
  EXPECT_LT(t.find("time_trial_abort="), t.find("video_mode="));
  EXPECT_LT(t.find("server_name_hist15="), t.find("ground_detail="));
  EXPECT_LT(t.find("map_scale="), t.find("throttle_key="));
}

TEST_F(ConfigTest, RefusedLinesSayWhyAndKeepTheValue) {
  const std::string long_name(128, 'h');
  struct row {
    std::string line;
    std::string message;
  };
  const row rows[] = {
      {"fov=nan", "config line 1: fov=nan: not a finite number, value kept"},
      {"fov=inf", "fov=inf: not a finite number"},
      {"map_scale=nan", "map_scale=nan: not a finite number"},
      {"skill=expert", "skill=expert: names no option"},
      {"video_mode=1024x768", "video_mode=1024x768: names no option"},
      {"xres=12abc", "xres=12abc: not a whole number"},
      {"xres=", "xres=: not a whole number"},
      {"draw_fps=99999999999", "draw_fps=99999999999: out of range"},
      {"xres=0", "xres=0: out of range"},
      {"yres=16385", "yres=16385: out of range"},
      {"message_lines=1001", "message_lines=1001: out of range"},
      {"message_lines=-1", "message_lines=-1: out of range"},
      {"billboard_optimize_lookahead=-1", "billboard_optimize_lookahead=-1: out of range"},
      {"server_name=" + long_name, "server_name=hhh"},
      {"server_name_hist03=" + long_name, ": too long, value kept"},
      {"throttle_key=(0.5,0.5)Pad", "throttle_key=(0.5,0.5)Pad: axis range is empty"},
      {"throttle_key=(0,1)", "throttle_key=(0,1): no axis name"},
      {"throttle_key=(nan,1)Pad", "axis range is not finite"},
      {"use_fbo=maybe", "use_fbo=maybe: names no option"},
      {"fov =95", "config line 1: unknown key \"fov \", skipped"},
      {"no_such_key=1", "unknown key \"no_such_key\""},
      {"just text", "config line 1: \"just text\": no '=', skipped"},
      {"fov=" + std::string(1100, '1'), "config line 1: longer than 1024 bytes, skipped"},
  };
  for (const row& r : rows) {
    message_ring_clear();
    EXPECT_EQ(read(r.line + "\n"), 1) << r.line;
    EXPECT_NE(console().find(r.message), std::string::npos) << r.line << "\n" << console();
    EXPECT_EQ(config_text(), defaults) << r.line;
  }
  // Text at the field's length is taken whole.
  EXPECT_EQ(read("server_name=" + std::string(127, 'k') + "\n"), 0);
  EXPECT_EQ(std::string(front_end_values.server_name), std::string(127, 'k'));
  // A history entry is kept only below that length.
  message_ring_clear();
  EXPECT_EQ(read("server_name_hist02=" + std::string(127, 'k') + "\n"), 1);
  EXPECT_NE(console().find("server_name_hist02=kkk"), std::string::npos) << console();
  EXPECT_EQ(std::string(front_end_values.server_name_hist[2]), std::string());
  EXPECT_EQ(read("server_name_hist02=" + std::string(126, 'k') + "\n"), 0);
  EXPECT_EQ(std::string(front_end_values.server_name_hist[2]), std::string(126, 'k'));
}

TEST_F(ConfigTest, QuietClampsOldKeysAndLineNumbers) {
  const std::string text =
      "fov=500\r\n"
      "map_scale=0\n"
      "\n"
      "ground_texture_distance=3\n"
      "use_fbo=No\n"
      "xres=" + std::string(1200, '9') + "\n"
      "yres=600\n"
      "skill=Expert\n"
      "laps=7.5\n"
      "throttle_key=  (k)q\n"
      "slot19=Robot (4 stroke)\n"
      "bogus\n";
  EXPECT_EQ(read(text), 2);
  EXPECT_DOUBLE_EQ(fov, 170);
  EXPECT_DOUBLE_EQ(map_scale, 0.125);
  EXPECT_EQ(*game_settings.render_texture.selected, 1);
  EXPECT_EQ(xres, 640);  // the long line is skipped whole...
  EXPECT_EQ(yres, 600);  // ...and the next one still read
  EXPECT_EQ(race_skill, 2);
  EXPECT_DOUBLE_EQ(race_laps_choice, 7.5);
  EXPECT_STREQ(control_bindings[binding_throttle].key_name, "q");
  EXPECT_EQ(line_up_choice[19], 4);
  const std::string c = console();
  EXPECT_NE(c.find("config line 6: longer than 1024 bytes"), std::string::npos) << c;
  EXPECT_NE(c.find("config line 12: \"bogus\""), std::string::npos) << c;
  EXPECT_EQ(c.find("fov"), std::string::npos) << c;
  EXPECT_EQ(c.find("map_scale"), std::string::npos) << c;
  EXPECT_EQ(read("use_fbo=Yes\n"), 0);
  EXPECT_EQ(*game_settings.render_texture.selected, 2);
}

TEST_F(ConfigTest, TrackNameIsKeptWithoutAListAndChosenWithOne) {
  EXPECT_EQ(read("track=faraway\n"), 0);
  EXPECT_NE(config_text().find("track=faraway\n"), std::string::npos);
  // The item shows display names; the file keeps the folder.
  char folders[3][16] = {"quarrybend", "faraway", "dunes"};
  char* folder_list[] = {folders[0], folders[1], folders[2]};
  const char* const shown[] = {"Quarry Bend", "Far Away", "The Dunes"};
  track_folders = folder_list;
  track_count = 3;
  option_list_set_options(&game_settings.track, shown, 3);
  EXPECT_EQ(read("track=dunes\n"), 0);
  EXPECT_STREQ(option_list_text(&game_settings.track), "The Dunes");
  EXPECT_NE(config_text().find("track=dunes\n"), std::string::npos);
  option_list_set_options(&game_settings.track, nullptr, 0);
  track_folders = nullptr;
  track_count = 0;
}

// The writer fails at each byte; "config" stays as it was each time.
long budget;
ssize_t limited_write(int fd, const void* bytes, size_t n) {
  if (budget <= 0) {
    errno = ENOSPC;
    return -1;
  }
  const size_t take = n < static_cast<size_t>(budget) ? n : static_cast<size_t>(budget);
  budget -= static_cast<long>(take);
  return ::write(fd, bytes, take);
}

TEST_F(ConfigTest, FailedWriteAtAnyOffsetLeavesConfig) {
  const std::string old_text = "fov=95.000000\nunknown=kept here\n";
  std::ofstream(home + "config", std::ios::binary) << old_text;
  change_everything(0);
  const std::string new_text = config_text();
  file_replace_ops.write = limited_write;
  for (long offset = 0; offset < static_cast<long>(new_text.size() + old_text.size()); offset += 7) {
    budget = offset;
    message_ring_clear();
    EXPECT_EQ(write_config(), 0);
    ASSERT_EQ(test_read_file(home + "config"), old_text) << offset;
    EXPECT_NE(console().find("No space left on device"), std::string::npos) << console();
  }
  budget = 1 << 30;
  EXPECT_EQ(write_config(), 1);
  EXPECT_EQ(test_read_file(home + "config"), new_text);
  EXPECT_EQ(test_read_file(home + "config~"), old_text);
}

TEST_F(ConfigTest, MissingFileLeavesDefaults) {
  read_config();
  EXPECT_EQ(config_text(), defaults);
  EXPECT_EQ(console(), "");
}

}  // namespace
