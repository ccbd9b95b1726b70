#include "terrain/tiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/file.h"
#include "core/message_ring.h"
#include "terrain/height_field.h"
#include "tools/testing/test_env.h"

namespace {

height_field field;

// Reads text as a tileinfo (or texturelist) and returns the console lines
// it printed.
std::vector<std::string> read_tiles(const std::string& text, bool texturelist = false) {
  const std::string path = std::string(test_root()) + "/tiles_fixture";
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  terrain_reset(&field);
  stream* s = stream_open(path.c_str(), "rb");
  EXPECT_NE(s, nullptr);
  const int first = message_ring.write_index;
  EXPECT_EQ(texturelist ? read_texturelist(&field, s) : read_tileinfo(&field, s), 1);
  stream_close(s);
  std::vector<std::string> lines;
  for (int k = first; k != message_ring.write_index; k = (k + 1) % message_ring_size)
    lines.push_back(message_ring.lines[k]);
  return lines;
}

TEST(Tileinfo, FrictionPointsAreSortedAndTheNameFallsBackToTheTexture) {
  EXPECT_TRUE(read_tiles("texture sand.png\nfriction 0.9 10\n  friction 1.2 2\r\naddtile\n").empty());
  ASSERT_EQ(field.tile_count, 1);
  EXPECT_STREQ(field.tile_names[0], "sand.png");
  EXPECT_FLOAT_EQ(field.friction_value[0][0], 1.2f);
  EXPECT_FLOAT_EQ(field.friction_slip[0][0], 2.0f);
  EXPECT_FLOAT_EQ(field.friction_value[0][1], 0.9f);
  EXPECT_FLOAT_EQ(field.friction_slip[0][1], 10.0f);
  for (int k = 2; k < 8; k++) {
    EXPECT_FLOAT_EQ(field.friction_value[0][k], 1.0f);
    EXPECT_FLOAT_EQ(field.friction_slip[0][k], 1048576.0f);
  }
  // Defaults of a tile that gave nothing else.
  EXPECT_EQ(field.slip_function[0], 0);
  EXPECT_FLOAT_EQ(field.roll_resist_pair[0][0][0], 5.0f);
  EXPECT_FLOAT_EQ(field.roll_resist_pair[0][7][1], 15.0f);
  EXPECT_FLOAT_EQ(field.roll_resist_key[0][0], 1.0f);
  EXPECT_FLOAT_EQ(field.roll_resist_key[0][1], 0.0f);
  const tile_params& p = field.tile_params[0];
  EXPECT_FLOAT_EQ(p.erode_upper, 150.0f);
  EXPECT_FLOAT_EQ(p.erode_min_slope, -0.5f);
  EXPECT_FLOAT_EQ(p.erode_slip_scale, 1.5f);
  EXPECT_FLOAT_EQ(p.erode_front_scale, 1.0f);
  EXPECT_EQ(p.erode_limit_count, 1);
  EXPECT_FLOAT_EQ(p.erode_limit_depth[0], 0.0f);
  EXPECT_FLOAT_EQ(p.erode_limit_outer[0], 1.0f);
  EXPECT_FLOAT_EQ(p.erode_limit_inner[0], 1.0f);
  for (int k = 0; k < 4; k++) EXPECT_EQ(field.roost_types[0][k].mode, 0);
  EXPECT_EQ(field.transition_codes[0], 0);
}

TEST(Tileinfo, BadLinesWarnAndAreSkipped) {
  const struct {
    const char* text;
    const char* warning;
  } cases[] = {
      {"slip_function 3\n", "tileinfo warning: bad slip_function\n"},
      {"slip_function x\n", "tileinfo warning: bad slip_function\n"},
      {"friction 1\n", "tileinfo warning: bad friction parameters\n"},
      {"friction nan 2\n", "tileinfo warning: bad friction parameters\n"},
      {"roll_resist 1 2\n", "tileinfo warning: bad roll_resist parameters\n"},
      {"erode_depth\n", "tileinfo warning: bad erode_depth\n"},
      {"erode_front_scale q\n", "tileinfo warning: bad erode_front_scale\n"},
      {"erode_limit 1 2\n", "tileinfo warning: bad erode_limit\n"},
      {"erode_limit 0.5 1 1\nerode_limit 0.5 2 2\n", "tileinfo warning: erode_limit depth <= prev depth\n"},
      {"frictions 1 2\n", "tileinfo warning: Unknown identifier 'frictions'\n"},
      {"roost count=abc\n", "tileinfo warning: bad count\n"},
      {"roost fade_a=\n", "tileinfo warning: bad fade_a\n"},
      {"roost colour=3\n", "tileinfo warning: unknown roost parameter 'colour=3'\n"},
      {"roost a b c d\nroost\nroost\nroost\nroost count=1\n", "tileinfo warning: too many roost types\n"},
  };
  for (const auto& c : cases) {
    const std::vector<std::string> lines = read_tiles(std::string(c.text) + "addtile\n");
    ASSERT_FALSE(lines.empty()) << c.text;
    EXPECT_EQ(lines.back(), c.warning) << c.text;
    EXPECT_EQ(field.tile_count, 1) << c.text;
  }
  // What the warned lines left behind.
  read_tiles("slip_function 3\nerode_limit 0.5 1 1\nerode_limit 0.5 2 2\naddtile\n");
  EXPECT_EQ(field.slip_function[0], 3);
  EXPECT_EQ(field.tile_params[0].erode_limit_count, 1);
  EXPECT_FLOAT_EQ(field.tile_params[0].erode_limit_outer[0], 1.0f);
}

TEST(Tileinfo, TooManyPointsKeepTheFirstEight) {
  std::string text;
  for (int k = 0; k < 9; k++) {
    text += "friction 1 " + std::to_string(k) + "\n";
    text += "roll_resist 1 2 " + std::to_string(k + 1) + "\n";
    text += "erode_limit " + std::to_string(k) + " 1 1\n";
  }
  const std::vector<std::string> lines = read_tiles(text + "addtile\n");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "tileinfo warning: too many friction points\n");
  EXPECT_EQ(lines[1], "tileinfo warning: too many roll_resist points\n");
  EXPECT_EQ(lines[2], "tileinfo warning: too many erode limits\n");
  EXPECT_FLOAT_EQ(field.friction_slip[0][7], 7.0f);
  EXPECT_FLOAT_EQ(field.roll_resist_key[0][7], 8.0f);
  EXPECT_EQ(field.tile_params[0].erode_limit_count, 8);
}

TEST(Tileinfo, ValuesAreClampedAsTheyAreRead) {
  read_tiles(
      "friction -1 -5\nfriction 2 3000000\n"
      "roll_resist -1 -2 0\nroll_resist 3 4 -7\n"
      "name a_name_that_is_much_longer_than_the_forty_seven_characters_a_tile_can_hold\n"
      "erode_on_speed 12.5\n"
      "roost count=12 dig=0.5 r=300 g=20 b=-1 a=128.9 fade_a=-256 fade_r=300 splash=1 "
      "texture=\"@my roost.png\" slow_angle=0.25\n"
      "roost\n"
      "addtile\n");
  EXPECT_FLOAT_EQ(field.friction_value[0][0], 0.0f);
  EXPECT_FLOAT_EQ(field.friction_slip[0][0], 0.0f);  // negative speeds clamp to 0
  EXPECT_FLOAT_EQ(field.friction_slip[0][1], 1048575.0f);
  EXPECT_FLOAT_EQ(field.roll_resist_pair[0][0][0], 0.0f);
  EXPECT_FLOAT_EQ(field.roll_resist_pair[0][0][1], 0.0f);
  EXPECT_FLOAT_EQ(field.roll_resist_key[0][0], 1.0f / 1048576.0f);
  EXPECT_FLOAT_EQ(field.roll_resist_key[0][1], 1.0f / 1048576.0f);
  EXPECT_EQ(std::string(field.tile_names[0]).size(), 47u);
  EXPECT_FLOAT_EQ(field.tile_params[0].erode_on_speed, 12.5f);
  const roost_type& r = field.roost_types[0][0];
  EXPECT_EQ(r.mode, 2);
  EXPECT_FLOAT_EQ(r.count, 12.0f);
  EXPECT_FLOAT_EQ(r.dig, 0.5f);
  EXPECT_FLOAT_EQ(r.slow_angle, 0.25f);
  EXPECT_FLOAT_EQ(r.fast_angle, 0.19634955f);
  EXPECT_EQ(r.colour[0], 44);  // 300 as a byte
  EXPECT_EQ(r.colour[1], 20);
  EXPECT_EQ(r.colour[2], 255);
  EXPECT_EQ(r.colour[3], 128);
  EXPECT_EQ(r.fade[3], -2);  // -256 a second is -2 a tick
  EXPECT_EQ(r.fade[0], 2);
  EXPECT_EQ(field.roost_types[0][1].mode, 1);
  EXPECT_FLOAT_EQ(field.roost_types[0][1].fast_speed, 64.0f);
  EXPECT_EQ(field.roost_types[0][1].fade[3], -2);
  EXPECT_EQ(field.roost_types[0][2].mode, 0);
}

TEST(Tileinfo, ReadingStopsAtTheTableSizeAndDropsAnUncommittedTile) {
  std::string text;
  for (int k = 0; k < 257; k++) text += "name t" + std::to_string(k) + "\naddtile\n";
  read_tiles(text);
  EXPECT_EQ(field.tile_count, 256);
  EXPECT_STREQ(field.tile_names[255], "t255");
  read_tiles("name kept\naddtile\nname lost\n");
  EXPECT_EQ(field.tile_count, 1);
}

TEST(Tileinfo, AnOverlongLineIsSkippedWhole) {
  const std::vector<std::string> lines = read_tiles("name " + std::string(2000, 'x') + "\nname ok\naddtile\n");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "tileinfo warning: line longer than 1024 bytes skipped\n");
  EXPECT_STREQ(field.tile_names[0], "ok");
}

TEST(Tileinfo, TransitionCodesFromTextureNames) {
  read_tiles(
      "texture dirt.png\naddtile\n"
      "texture @grass.png\naddtile\n"
      "texture @tiles/dirt-grass-0110.png\naddtile\n"
      "texture dirt-alt2.png\naddtile\n"
      "texture dirt-grass.png\naddtile\n"
      "texture dirt-grass-01x0.png\naddtile\n"
      "texture @tiles/rock.png\naddtile\n"
      "texture @tiles/rock-dirt-0001.png\naddtile\n"
      "texture dirt-/rock-0001.png\naddtile\n");
  ASSERT_EQ(field.tile_count, 9);
  EXPECT_EQ(field.transition_codes[0], 0);                          // plain: itself twice
  EXPECT_EQ(field.transition_codes[1], (1 << 16) | (1 << 8));
  EXPECT_EQ(field.transition_codes[2], (2 << 16) | (2 << 8));       // "/dirt-..." is not "dirt-..."
  EXPECT_EQ(field.transition_codes[3], 0);                          // a variant of dirt
  EXPECT_EQ(field.transition_codes[4], (int32_t)0xFFFFFF00u);       // no second tile
  EXPECT_EQ(field.transition_codes[5], (0 << 16) | (1 << 8));       // corner digits unreadable
  EXPECT_EQ(field.transition_codes[6], (6 << 16) | (6 << 8));
  EXPECT_EQ(field.transition_codes[7], (6 << 16) | (0 << 8) | 1);   // "/rock" as a first part
  EXPECT_EQ(field.transition_codes[8], (int32_t)0xFFFFFF00u);       // but never as a second
}

TEST(Tileinfo, TheMatcherOnItsOwn) {
  const char* names[] = {"dirt.png", "grass.png", "noext", "sand.jpg"};
  const struct {
    const char* name;
    int32_t want;
  } cases[] = {
      {"dirt-grass-0110.png", (0 << 16) | (1 << 8) | 6},
      {"dirt-grass-1111", (0 << 16) | (1 << 8) | 15},
      {"grass-dirt-1000.png", (1 << 16) | (0 << 8) | 8},
      {"dirt-alt2.png", 0},
      {"dirt-altx.png", (int32_t)0xFFFFFF00u},
      {"dirt.png", -1},
      {"noext-dirt-0000.png", -1},
      {"sand-dirt-0011.png", (3 << 16) | (0 << 8) | 3},
      {"mud-dirt-0011.png", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(match_tile_transitions(c.name, names, 4), c.want) << c.name;
}

TEST(Texturelist, OneTileALine) {
  EXPECT_TRUE(read_tiles("0.8 4 12 sand.png\n\n   rock.png\r\n0.5 1 x mud.png", true).empty());
  ASSERT_EQ(field.tile_count, 3);
  EXPECT_STREQ(field.tile_names[0], "");
  for (int k = 0; k < 8; k++) {
    EXPECT_FLOAT_EQ(field.friction_value[0][k], 0.8f);
    EXPECT_FLOAT_EQ(field.roll_resist_pair[0][k][0], 4.0f);
    EXPECT_FLOAT_EQ(field.roll_resist_pair[0][k][1], 12.0f);
    EXPECT_FLOAT_EQ(field.friction_value[1][k], 1.0f);
    EXPECT_FLOAT_EQ(field.roll_resist_pair[2][k][1], 15.0f);  // fewer than three numbers: defaults
  }
  EXPECT_FLOAT_EQ(field.friction_slip[0][0], 1.0f);
  EXPECT_FLOAT_EQ(field.friction_slip[0][1], 1048576.0f);
  EXPECT_FLOAT_EQ(field.roll_resist_key[0][0], 1.0f);
  EXPECT_FLOAT_EQ(field.roll_resist_key[0][1], 0.0f);
  EXPECT_EQ(field.roost_types[0][0].mode, 1);
  EXPECT_EQ(field.roost_types[0][1].mode, 0);
  EXPECT_EQ(field.tile_params[0].erode_limit_count, 1);
  EXPECT_EQ(field.transition_codes[2], (2 << 16) | (2 << 8));
}

TEST(TileCurves, FrictionRollingResistanceAndRampsAtATableOfPoints) {
  terrain_reset(&field);
  field.tile_count = 1;
  const float slips[8] = {0, 10, 1048576, 1048576, 1048576, 1048576, 1048576, 1048576};
  const float values[8] = {1.2f, 0.8f, 1, 1, 1, 1, 1, 1};
  for (int k = 0; k < 8; k++) {
    field.friction_slip[0][k] = slips[k];
    field.friction_value[0][k] = values[k];
    field.roll_resist_pair[0][k][0] = k == 0 ? 4.0f : k == 1 ? 6.0f : 5.0f;
    field.roll_resist_pair[0][k][1] = k == 0 ? 12.0f : k == 1 ? 18.0f : 15.0f;
    field.roll_resist_key[0][k] = k == 0 ? 1.0f : k == 1 ? 10.0f : 0.0f;
  }
  const struct {
    int slip_function;
    float v, want;
  } friction[] = {
      {1, 5, 1.0f}, {0, 5, 1.1f}, {3, 5, 1.1f}, {2, 5, 1.0f},  // 3 reads as 0
      {1, 20, 0.8f}, {0, 20, 0.8f}, {1, 10, 0.8f}, {1, 0, 1.2f}, {2, -3, 1.2f},
  };
  for (const auto& c : friction) {
    field.slip_function[0] = c.slip_function;
    EXPECT_NEAR(tile_friction(&field, 0, c.v), c.want, 1e-6f) << c.slip_function << " at " << c.v;
  }
  const struct {
    float e, a, b;
  } roll[] = {{0.5f, 4, 12}, {1, 4, 12}, {5.5f, 5, 15}, {10, 6, 18}, {100, 6, 18}};
  for (const auto& c : roll) {
    float a, b;
    tile_roll_resist(&field, 0, c.e, &a, &b);
    EXPECT_NEAR(a, c.a, 1e-6f) << c.e;
    EXPECT_NEAR(b, c.b, 1e-6f) << c.e;
  }
  const struct {
    float x, low, high, want;
  } ramps[] = {{12.5f, 10, 15, 0.5f}, {9, 10, 15, 0}, {20, 10, 15, 1}, {5, 5, 5, 0}, {5.01f, 5, 5, 1}, {4, 5, 5, 0}};
  for (const auto& c : ramps) EXPECT_FLOAT_EQ(tile_param_ramp(c.x, c.low, c.high), c.want) << c.x;
}

TEST(TileCurves, TileUnderAPointIsClampedToTheMap) {
  terrain_reset(&field);
  field.n = 7;
  field.spacing = 2.0f;
  static uint8_t map[128 * 128];
  map[0] = 1;
  map[3 + 128 * 2] = 2;
  map[127 + 128 * 127] = 3;
  field.tilemap = map;
  EXPECT_EQ(tile_at(&field, 13.9f, 8.0f), 2);  // texel (3, 2): 4 ft a texel
  EXPECT_EQ(tile_at(&field, -50, -1), 1);
  EXPECT_EQ(tile_at(&field, 1e9f, 1e9f), 3);
  field.tilemap = nullptr;
}

}  // namespace
