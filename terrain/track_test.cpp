#include "terrain/track.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "assets/shader.h"
#include "core/file_index.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/terrain_files.h"
#include "terrain/tiles.h"
#include "terrain/track_lighting.h"
#include "terrain/track_objects.h"
#include "tools/testing/test_env.h"

namespace {

// Textures "exist" unless their name holds "missing"; each name gets its
// own id, so tests can tell which file a texture came from.
std::map<std::string, uint32_t> texture_ids;
uint32_t fake_texture(const char* name) {
  if (std::strstr(name, "missing")) return 0;
  auto it = texture_ids.find(name);
  if (it != texture_ids.end()) return it->second;
  const uint32_t id = (uint32_t)texture_ids.size() + 1;
  texture_ids[name] = id;
  return id;
}
std::string texture_of(uint32_t id) {
  for (const auto& entry : texture_ids)
    if (entry.second == id) return entry.first;
  return "";
}

std::string data_root() { return std::string(test_root()) + "/bkhome"; }

void put(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

std::string get(const std::string& path) { return test_read_file(path); }

// A flat 257 x 257 field at 4 ft (extent 1024) under the data root, with
// the given files beside it.
void make_track(const std::string& name, const std::map<std::string, std::string>& files) {
  mkdir(data_root().c_str(), 0755);
  const std::string dir = data_root() + "/" + name;
  mkdir(dir.c_str(), 0755);
  static height_field field;
  ASSERT_EQ(terrain_create(&field, 7, 4.0f), 1);
  for (int k = 0; k < field.size * field.size; k++) field.heights[k] = 10.0f;
  ASSERT_EQ(save_terrain(&field, dir.c_str()), 1);
  free_terrain(&field);
  put(dir + "/tileinfo", "name dirt\naddtile\n");
  for (const auto& f : files) put(dir + "/" + f.first, f.second);
  put(data_root() + "/gate.shp", "1\n0 1 0 0.5 1 2500 250\n");
}

std::string console_since(int first) {
  std::string text;
  for (int k = first; k != message_ring.write_index; k = (k + 1) % message_ring_size)
    text += std::string(message_ring.lines[k]) + "\n";
  return text;
}

// The per-user folder, where the writers' files land.
std::string home_track(const std::string& name) { return std::string(test_root()) + "/xdg/Brakkan/" + name; }

class Track : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = terrain_textures;
    terrain_textures = {};
    terrain_textures.load_texture = fake_texture;
    texture_ids.clear();
    shaders_active = 0;
  }
  void TearDown() override {
    free_track_data();
    free_terrain(&track_field);
    shape_free_all();
    terrain_textures = saved;
    shaders_active = 0;
  }
  int load(const std::string& name) {
    std::snprintf(track_folder, sizeof track_folder, "%s", name.c_str());
    first_line = message_ring.write_index;
    return load_track();
  }
  std::string console() { return console_since(first_line); }
  terrain_texture_hooks saved;
  int first_line = 0;
};

const char* const gate_file =
    "startinggate:\n"
    "[100 0 200] 0\n"
    "[110 0 200] 0 @gate.jm @gate.ppm @gate.shp\n"
    "checkpoints:\n"
    "20 [100 10 300] [1 0 0]\n"
    "25 [300 10 300] [0 0 1]\n"
    "20 [300 10 100] [-1 0 0]\n"
    "firstlap:\n"
    "0 1 2 100003 -5\n"
    "normallap:\n"
    "0 1 100002 2\n";

TEST_F(Track, TimingGatesSlotsChecksAndRoute) {
  make_track("gates", {{"timing_gates", gate_file}});
  ASSERT_EQ(load("gates"), 1) << console();
  ASSERT_EQ(start_slot_count, 2);
  // At angle 0 the gate object stands 3 ft towards -z of the slot.
  const statue* g = statue_at(start_slots[0].statue);
  EXPECT_FLOAT_EQ(g->x, 100.0f);
  EXPECT_FLOAT_EQ(g->z, 197.0f);
  EXPECT_STREQ(g->model_name, "@startgate.jm");
  EXPECT_STREQ(g->shape_name, "@startgate.shp");
  EXPECT_STREQ(statue_at(start_slots[1].statue)->texture_name, "@gate.ppm");
  EXPECT_NE(statue_at(start_slots[1].statue)->shape, nullptr);
  EXPECT_EQ(race_clock.start_gate_count, 2);
  EXPECT_EQ(race_clock.start_gate_statues[1], start_slots[1].statue);
  EXPECT_EQ(first_file_statue, 2);

  EXPECT_EQ(checkpoint_count, 3);
  EXPECT_EQ(route.gate_count, 3);
  EXPECT_FLOAT_EQ(checkpoints[1].half_width, 25.0f);
  EXPECT_FLOAT_EQ(checkpoints[1].x, 300.0f);
  EXPECT_FLOAT_EQ(checkpoints[1].dz, 1.0f);
  float end[3];
  checkpoint_far_end(&checkpoints[1], end);
  EXPECT_FLOAT_EQ(end[2], 325.0f);
  // A flagged entry keeps its flag with the gate clamped; below 0 is 0.
  const std::vector<int32_t> want = {0, 1, 2, 100002, 0, 0, 1, 100002, 2};
  EXPECT_EQ(std::vector<int32_t>(route.entries, route.entries + 9), want);
  EXPECT_EQ(route.first_lap_gates, 5);
  EXPECT_EQ(route.normal_lap_gates, 4);
  EXPECT_EQ(route.first_lap_segments, 4);
  EXPECT_EQ(route.normal_lap_segments, 3);
  ASSERT_NE(route.line_library, nullptr);
  for (int k = 0; k < 7 * line_slots_per_segment; k++) {
    const line_record& r = route.line_library[k];
    ASSERT_EQ(r.samples, nullptr);
    ASSERT_EQ(r.sample_count, 0);
    ASSERT_EQ(r.own_time, line_time_none);
    ASSERT_EQ(r.best_pass_time, line_time_none);
    ASSERT_EQ(r.unique_id, 0);
  }
  EXPECT_EQ(route.id_serial, 0);
}

TEST_F(Track, GatesTakeEffectOnlyWithLongEnoughLists) {
  struct {
    const char* file;
    int effect;
  } cases[] = {
      // A first lap of two entries: no gates at all.
      {"checkpoints:\n5 [0 0 0] [1 0 0]\n5 [9 0 0] [1 0 0]\nfirstlap: 0 1\nnormallap: 0 1 0 1\n", 0},
      // Three entries, but only two start segments.
      {"checkpoints:\n5 [0 0 0] [1 0 0]\nfirstlap: 0 1 100001\nnormallap: 0 1 0\n", 0},
      {"checkpoints:\n5 [0 0 0] [1 0 0]\nfirstlap: 0 0 0\nnormallap: 0 0 0\n", 1},
      // No gates.
      {"checkpoints:\nfirstlap: 0 0 0\nnormallap: 0 0 0\n", 0},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string name = "lists" + std::to_string(n++);
    make_track(name, {{"timing_gates", c.file}});
    ASSERT_EQ(load(name), 1);
    EXPECT_EQ(checkpoint_count > 0, c.effect == 1) << c.file;
    EXPECT_EQ(route.first_lap_gates > 0, c.effect == 1) << c.file;
    EXPECT_EQ(route.line_library != nullptr, c.effect == 1) << c.file;
    free_track_data();
  }
}

// A damaged gates file leaves the track without timing: the player is told
// which line ended the reading, or why the lists give no lap.
TEST_F(Track, DamagedTimingGatesSayWhyTheTrackHasNoGates) {
  const std::string gates = "checkpoints:\n5 [0 0 0] [1 0 0]\n5 [9 0 0] [1 0 0]\n";
  const std::string laps = "firstlap: 0 1 0\nnormallap: 0 1 0\n";
  struct {
    const char* what;
    std::string file;
    const char* fault;
  } cases[] = {
      {"garbage", "\n\x01\x7fjunk [1 2 3]\n", "timing_gates line 2: starts with '\x01\x7fjunk', not"},
      {"empty", "", "timing_gates: the file is empty"},
      {"blank", " \n\n", "timing_gates: the file is empty"},
      {"zero gates", "checkpoints:\n" + laps, "timing_gates: it holds no gates"},
      {"only a grid", "startinggate:\n[1 0 2] 0\n", "timing_gates: it holds no gates"},
      {"negative entries", gates + "firstlap: -1 -2\nnormallap: -1 -2 -3\n",
       "timing_gates: the first lap lists 2 crossings, 2 of them starting a segment"},
      {"negative entries in the normal lap", gates + "firstlap: 0 1 0\nnormallap: -1 100001 -3\n",
       "timing_gates: the normal lap lists 3 crossings, 2 of them starting a segment"},
      {"NaN in a gate", gates + "5 [nan 0 0] [1 0 0]\n" + laps, "timing_gates line 4: gate 2 is incomplete"},
      {"a huge number", gates + "5 [1e39 0 0] [1 0 0]\n" + laps, "timing_gates line 4: gate 2 has a number out of range"},
      {"NaN in a slot", "startinggate:\n[1 0 2] 0\n[1 nan 2] 0\ncheckpoints:\n" + gates + laps,
       "timing_gates line 3: a starting gate number is out of range"},
      {"cut in a gate", gates + "5 [9 0", "timing_gates line 4: gate 2 is incomplete"},
      {"cut before a bracket", gates + "5 [9 0 4", "timing_gates line 4: gate 2 is incomplete"},
      {"cut in the lists", gates + "firstlap: 0 1 0\nnorma", "timing_gates line 5: 'norma' where 'normallap:'"},
      {"cut after a list", gates + "firstlap: 0 1 0\n", "timing_gates: the normal lap lists 0 crossings"},
      {"junk in a list", gates + "firstlap: 0 1 0\nnormallap: 0 1 x 0\n",
       "timing_gates line 5: unreadable lap entry"},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string name = "damaged" + std::to_string(n++);
    make_track(name, {{"timing_gates", c.file}});
    ASSERT_EQ(load(name), 1) << c.what << ": only the terrain fails a track";
    EXPECT_EQ(checkpoint_count, 0) << c.what;
    EXPECT_EQ(route.first_lap_gates, 0) << c.what;
    EXPECT_EQ(std::string(timing_gates_fault).rfind(c.fault, 0), 0u) << c.what << ": " << timing_gates_fault;
    EXPECT_NE(console().find("the track has no timing gates in effect"), std::string::npos) << c.what << "\n"
                                                                                            << console();
    free_track_data();
  }
  // A sound file clears the reason.
  make_track("sound", {{"timing_gates", gates + laps}});
  ASSERT_EQ(load("sound"), 1);
  EXPECT_EQ(checkpoint_count, 2);
  EXPECT_STREQ(timing_gates_fault, "");
  EXPECT_EQ(console().find("Warning"), std::string::npos) << console();
}

TEST_F(Track, OnlyAFlaggedEntrysGateIsClamped) {
  make_track("flagged", {{"timing_gates", "checkpoints:\n5 [0 0 0] [1 0 0]\n5 [9 0 0] [1 0 0]\n"
                                          "firstlap: 100003 0 1 1 7\nnormallap: 0 1 0 300\n"}});
  ASSERT_EQ(load("flagged"), 1);
  const std::vector<int32_t> want = {100001, 0, 1, 1, 7, 0, 1, 0, 300};
  EXPECT_EQ(std::vector<int32_t>(route.entries, route.entries + 9), want);
  EXPECT_EQ(route.first_lap_gates, 5);
  EXPECT_EQ(route.first_lap_segments, 4);
  EXPECT_EQ(route.normal_lap_segments, 4);
}

TEST_F(Track, ABlankLineEndsTheStartingGatesAndTheFile) {
  const std::string gates = "checkpoints:\n5 [0 0 0] [1 0 0]\nfirstlap: 0 0 0\nnormallap: 0 0 0\n";
  struct {
    const char* what;
    std::string file;
    int slots, gates;
  } cases[] = {
      {"blank lines after the heading come before the first slot", "startinggate:\n\n \n[1 0 2] 0\n" + gates, 1, 1},
      {"a slot on the heading's line", "startinggate: [1 0 2] 0\n[2 0 2] 0\n" + gates, 2, 1},
      {"a blank line between slots", "startinggate:\n[1 0 2] 0\n\n[2 0 2] 0\n" + gates, 1, 0},
      {"a line of spaces before the gates", "startinggate:\n[1 0 2] 0\n[2 0 2] 0\n  \t\n" + gates, 2, 0},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string name = "blank" + std::to_string(n++);
    make_track(name, {{"timing_gates", c.file}});
    ASSERT_EQ(load(name), 1) << c.what;
    EXPECT_EQ(start_slot_count, c.slots) << c.what;
    EXPECT_EQ(checkpoints_read, c.gates) << c.what;
    EXPECT_EQ(checkpoint_count, c.gates) << c.what;
    EXPECT_EQ(console().find("a blank line ends the starting gates") != std::string::npos, c.gates == 0)
        << c.what << "\n" << console();
    free_track_data();
  }
}

TEST_F(Track, A161stStartingGateEndsTheFileWithAWarning) {
  std::string file = "startinggate:\n";
  for (int k = 0; k < 161; k++) file += "[" + std::to_string(10 + k) + " 0 100] 0 null null null\n";
  file += "checkpoints:\n5 [0 0 0] [1 0 0]\nfirstlap: 0 0 0\nnormallap: 0 0 0\n";
  make_track("crowded", {{"timing_gates", file}});
  ASSERT_EQ(load("crowded"), 1);
  EXPECT_EQ(start_slot_count, 160);
  EXPECT_EQ(race_clock.start_gate_count, 160);
  EXPECT_EQ(checkpoints_read, 0) << "nothing after the 161st line is read";
  EXPECT_NE(console().find("more than 160 starting gates"), std::string::npos) << console();
}

TEST_F(Track, LapListsShareTheTableOf256) {
  std::string file = "checkpoints:\n5 [0 0 0] [1 0 0]\n5 [9 0 0] [1 0 0]\nfirstlap:\n";
  for (int k = 0; k < 200; k++) file += "1 ";
  file += "\nnormallap:\n";
  for (int k = 0; k < 100; k++) file += "0 ";
  make_track("long", {{"timing_gates", file}});
  ASSERT_EQ(load("long"), 1);
  EXPECT_EQ(route.first_lap_gates, 200);
  EXPECT_EQ(route.normal_lap_gates, 56);
  EXPECT_EQ(route.normal_lap_segments, 56);
  EXPECT_NE(console().find("44 normal-lap entries"), std::string::npos) << console();
}

TEST_F(Track, BillboardsStatuesAndColourPrefix) {
  make_track("objects", {{"billboards",
                          "[10 1 20] 4 0.5 #ff000#tree.png\n"
                          "[30 0 40] 2 1 #20a0Ff#bush.png\n"
                          "[50 0 60] 2 1 missing.png\n"},
                         {"statues",
                          "[100 2 100] 0.5 null rock.png @gate.shp\n"
                          "[120 0 100] 3.5 @nothing.jm null null\n"}});
  ASSERT_EQ(load("objects"), 1) << console();
  ASSERT_EQ((int)billboards.count - first_file_billboard, 3);
  const billboard* b = billboard_at(first_file_billboard);
  EXPECT_STREQ(b->texture_name, "#ff000#tree.png");
  EXPECT_EQ(texture_of(b->texture), "#ff000#tree.png");
  EXPECT_EQ(b->colour[0] + b->colour[1] + b->colour[2], 3 * 255);
  EXPECT_FLOAT_EQ(b->y, 11.0f);
  b = billboard_at(first_file_billboard + 1);
  EXPECT_STREQ(b->texture_name, "bush.png");
  EXPECT_EQ(b->colour[0], 0x20);
  EXPECT_EQ(b->colour[1], 0xa0);
  EXPECT_EQ(b->colour[2], 0xff);
  b = billboard_at(first_file_billboard + 2);
  EXPECT_EQ(b->texture, 0u);
  EXPECT_STREQ(b->texture_name, "missing.png") << "the name stays for saving";
  // The roost particles' sprites come before the file's billboards.
  EXPECT_GE(first_file_billboard, 2000);

  ASSERT_EQ((int)statues.count - first_file_statue, 2);
  const statue* s = statue_at(first_file_statue);
  EXPECT_EQ(s->model, nullptr);
  EXPECT_EQ(s->texture, 0u) << "a texture needs a model";
  EXPECT_NE(s->shape, nullptr);
  EXPECT_FLOAT_EQ(s->y, 12.0f);
  EXPECT_EQ(s->facing_value, 0.0f);
  s = statue_at(first_file_statue + 1);
  EXPECT_FLOAT_EQ(s->facing_value, std::exp2(3.5f));
  EXPECT_EQ(s->shape_name, nullptr);
}

TEST_F(Track, NormalAndSpecularCompanionsWithShaders) {
  shaders_active = 1;
  make_track("maps", {{"statues",
                       "[100 0 100] 0 @box.jm @rock.png null\n"
                       "[110 0 100] 0 @box.jm @stone null\n"
                       "[120 0 100] 0 @wall.jm @brick-repeat.png null\n"}});
  ASSERT_EQ(load("maps"), 1);
  const statue* s = statue_at(first_file_statue);
  EXPECT_EQ(texture_of(s->normal_texture), "@rock_norm.seq");
  EXPECT_EQ(texture_of(s->specular_texture), "@rock_spec.seq");
  // A name without '.' takes the endings whole.
  EXPECT_EQ(texture_of(statue_at(first_file_statue + 1)->normal_texture), "@stone_norm.seq");
  EXPECT_EQ(texture_of(statue_at(first_file_statue + 2)->normal_texture), "@brick_norm-repeat.seq");
  EXPECT_EQ(load_texture_variant("@a.png", ".png", "_x.png"), fake_texture("@a_x.png"));
  EXPECT_EQ(load_texture_variant("@a.png", ".ppm", "_x.png"), 0u);

  free_track_data();
  shaders_active = 0;
  ASSERT_EQ(load("maps"), 1);
  EXPECT_EQ(statue_at(first_file_statue)->normal_texture, 0u) << "no maps without shaders";
}

TEST_F(Track, CamerasAndLighting) {
  make_track("view", {{"cameras",
                       "fov 60\naddcamera 10 5 20\naddcamera 30 6 40\n"
                       "autofovsize -3\ngate 2 7 300 x 4\nfov -45\naddcamera 1 2 3\nsomething else\n"},
                      {"lighting",
                       "sun_vector [ 0 2 0 ]\n\tsun_color [0.5 0.6 0.7]  \nfar_plane 0.1\nnear_plane 0.5\n"
                       "sky_n @north.ppm\nfog [0.1 0.2 0.3] 0.004\ndynamic_lighting 1\n"
                       "flare_element [0 1] [1 0.5 0.25] 2 @flare1.png\n"
                       "flare_element [0.5 1] [1 1 1] 1 @flare2.png\n"
                       "flare_vector [1 1 0]\n"
                       "flare_point [10 20 30]\n"}});
  ASSERT_EQ(load("view"), 1) << console();
  ASSERT_EQ(track_cameras.count, 3u);
  const track_camera* c = (const track_camera*)track_cameras.data;
  EXPECT_FLOAT_EQ(c[0].fov, 60.0f);
  EXPECT_FLOAT_EQ(c[1].fov, 90.0f);
  EXPECT_FLOAT_EQ(c[1].y, 16.0f);
  EXPECT_FLOAT_EQ(c[2].fov, 45.0f);
  EXPECT_FLOAT_EQ(c[2].autofovsize, 3.0f);
  EXPECT_EQ(gate_cameras[2], 2);
  EXPECT_EQ(gate_cameras[7], 2);
  EXPECT_EQ(gate_cameras[4], -1) << "the list ends at the first token that is not a gate";

  EXPECT_FLOAT_EQ(lighting.near_plane, 0.5f);
  EXPECT_FLOAT_EQ(lighting.far_plane, 5000.0f) << "a far plane before the near one keeps the default";
  EXPECT_FLOAT_EQ(lighting.sun_vector[1], 1.0f);
  EXPECT_FLOAT_EQ(lighting.sun_color[2], 0.7f);
  EXPECT_EQ(lighting.dynamic_lighting, 1);
  EXPECT_EQ(lighting.fog_on, 1);
  EXPECT_FLOAT_EQ(lighting.fog_density, 0.004f);
  EXPECT_EQ(texture_of(lighting.sky_textures[sky_north]), "@north.ppm");
  EXPECT_EQ(texture_of(lighting.sky_textures[sky_up]), "@sky-u.ppm");
  EXPECT_EQ(texture_of(lighting.sky_env_texture), "@sky-env.ppm");
  ASSERT_EQ(flares.count, 2u);
  const flare* f = (const flare*)flares.data;
  EXPECT_EQ(f[0].is_direction, 1);
  EXPECT_EQ(f[0].element_count, 2);
  EXPECT_FLOAT_EQ(f[0].element_colour[0][2], 0.25f);
  EXPECT_EQ(texture_of(f[0].element_texture[1]), "@flare2.png");
  EXPECT_EQ(f[1].is_direction, 0);
  EXPECT_EQ(f[1].element_count, 0);
  EXPECT_FLOAT_EQ(f[1].element_size[0], 1.0f);

  // Without a lighting file the defaults come back: no sky, no fog.
  free_track_data();
  make_track("plain", {});
  ASSERT_EQ(load("plain"), 1);
  EXPECT_EQ(lighting.sky_textures[sky_north], 0u);
  EXPECT_EQ(lighting.fog_on, 0);
  EXPECT_FLOAT_EQ(lighting.near_plane, 0.25f);
}

// Values no view can be drawn with keep their defaults, with a warning;
// sound ones are clamped into range as before.
TEST_F(Track, ImpossibleLightingValuesKeepTheDefaults) {
  const struct {
    const char* text;
    float near_plane, far_plane, fog;
    const char* warning;  // null: none
  } cases[] = {
      {"near_plane 0\n", 0.25f, 5000, 0, "near_plane 0 is not above 0; the default 0.25 is kept"},
      {"near_plane -3\n", 0.25f, 5000, 0, "near_plane -3 is not above 0"},
      {"far_plane -5\n", 0.25f, 5000, 0, "far_plane -5 is not beyond near_plane 0.25; the default 5000 is kept"},
      {"near_plane 0.5\nfar_plane 0.5\n", 0.5f, 5000, 0, "far_plane 0.5 is not beyond near_plane 0.5"},
      {"fog [1 1 1] 1e30\n", 0.25f, 5000, 0, "fog density 1e+30 is outside 0 to 1; the default 0 is kept"},
      {"fog [1 1 1] -0.5\n", 0.25f, 5000, 0, "fog density -0.5 is outside 0 to 1"},
      {"near_plane 0.0001\nfar_plane 1e9\nfog [1 1 1] 0.002\n", 1.0f / 1024, 1048576, 0.002f, nullptr},
      {"near_plane 3\nfar_plane 2\n", 0.875f, 2, 0, nullptr},
  };
  for (const auto& c : cases) {
    free_track_data();
    make_track("light", {{"lighting", c.text}});
    const int first = message_ring.write_index;
    ASSERT_EQ(load("light"), 1) << c.text;
    std::string said;
    for (int i = first; i != message_ring.write_index; i = (i + 1) % message_ring_size)
      said += message_ring.lines[i];
    EXPECT_FLOAT_EQ(lighting.near_plane, c.near_plane) << c.text;
    EXPECT_FLOAT_EQ(lighting.far_plane, c.far_plane) << c.text;
    EXPECT_FLOAT_EQ(lighting.fog_density, c.fog) << c.text;
    if (c.warning) EXPECT_NE(said.find(std::string("Warning: lighting: ") + c.warning), std::string::npos) << said;
    else EXPECT_EQ(said.find("Warning: lighting"), std::string::npos) << said;
  }
}

TEST_F(Track, Flaggers) {
  make_track("flags", {{"timing_gates", gate_file},
                       {"flaggers",
                        "[10 0 20] [30 0 40] 5 0.5 2\n@s1.png @s2.png @s3.png @s4.png @s5.png\n"
                        "[50 1 60] 5 0.5 @l1.png @l2.png @l3.png @l4.png\n"
                        "[70 0 80] 4 0.5 0 -7 2 9 @idle.png @wave.png\n"
                        "[90 0 80] 4 0.5 1 -1 -1 -1 @idle.png\n"}});
  ASSERT_EQ(load("flags"), 1);
  EXPECT_FLOAT_EQ(flaggers.start_walk_time, 2.0f);
  ASSERT_GE(flaggers.start_billboard, 0);
  EXPECT_EQ(texture_of(billboard_at(flaggers.start_billboard)->texture), "@s1.png");
  EXPECT_EQ(flaggers.start_textures[0], billboard_at(flaggers.start_billboard)->texture);
  EXPECT_EQ(texture_of(flaggers.start_textures[4]), "@s5.png");
  EXPECT_FLOAT_EQ(billboard_at(flaggers.lap_billboard)->y, 11.0f);
  EXPECT_EQ(texture_of(flaggers.lap_textures[3]), "@l4.png");
  // The second course flagger lacks its waving texture: reading stops there.
  ASSERT_EQ(course_flaggers.count, 1u);
  EXPECT_NE(console().find("flaggers: a malformed entry"), std::string::npos) << console();
  const course_flagger* c = (const course_flagger*)course_flaggers.data;
  EXPECT_EQ(texture_of(c->texture_waving), "@wave.png");
  EXPECT_EQ(c->gates[0], 0);
  EXPECT_EQ(c->gates[1], -1);
  EXPECT_EQ(c->gates[3], 2) << "clamped to the last gate";
  EXPECT_LT(flaggers.start_billboard, first_file_billboard);
}

// Everything the writers save, as read back.
struct saved_objects {
  std::vector<std::string> lines;
};
std::vector<std::string> object_records() {
  std::vector<std::string> out;
  char text[4096];
  for (size_t i = (size_t)first_file_billboard; i < billboards.count; i++) {
    const billboard* b = billboard_at((int32_t)i);
    std::snprintf(text, sizeof text, "b %g %g %g %g %g %s %d %d %d", b->x, b->height_offset, b->z, b->size, b->aspect,
                  b->texture_name, b->colour[0], b->colour[1], b->colour[2]);
    out.push_back(text);
  }
  for (size_t i = 0; i < statues.count; i++) {
    const statue* s = statue_at((int32_t)i);
    std::snprintf(text, sizeof text, "s %g %g %g %g %s %s %s", s->x, s->height_offset, s->z, s->angle,
                  s->model_name ? s->model_name : "-", s->texture_name ? s->texture_name : "-",
                  s->shape_name ? s->shape_name : "-");
    out.push_back(text);
  }
  for (int i = 0; i < start_slot_count; i++) {
    std::snprintf(text, sizeof text, "slot %g %g %g %g", start_slots[i].x, start_slots[i].y, start_slots[i].z,
                  start_slots[i].angle);
    out.push_back(text);
  }
  for (int i = 0; i < checkpoints_read; i++) {
    const checkpoint* c = &checkpoints[i];
    std::snprintf(text, sizeof text, "gate %g %g %g %g %g %g %g", c->half_width, c->x, c->y, c->z, c->dx, c->dy, c->dz);
    out.push_back(text);
  }
  for (int i = 0; i < lap_list_read[0] + lap_list_read[1]; i++) out.push_back("entry " + std::to_string(route.entries[i]));
  out.push_back("lists " + std::to_string(lap_list_read[0]) + " " + std::to_string(lap_list_read[1]));
  return out;
}

TEST_F(Track, WriteThenReloadGivesEqualRecords) {
  struct {
    const char* name;
    const char* gates;
  } cases[] = {
      {"save_working", gate_file},
      // Gates that do not take effect are saved as read.
      {"save_idle", "checkpoints:\n5.5 [1 2 3] [0 0 0]\nfirstlap:\n0 0\nnormallap:\n0\n"},
      {"save_slots_only", "startinggate:\n[1 0 2] 0.5 @other.jm missing.png null\n"},
  };
  for (const auto& c : cases) {
    make_track(c.name, {{"timing_gates", c.gates},
                        {"billboards", "[10.5 1 20] 4 0.5 #ff8000#tree.png\n[30 0 40] 2 1 missing.png\n"},
                        {"statues", "[100 2 100] 0.5 null missing.png @gate.shp\n[120 0 100] -7.25 @nothing.jm null null\n"}});
    ASSERT_EQ(load(c.name), 1);
    const std::vector<std::string> before = object_records();
    EXPECT_EQ(write_billboards(), 1);
    EXPECT_EQ(write_statues(), 1);
    EXPECT_EQ(write_timing_gates(), 1);
    // The saved files lie in the per-user folder, which the next load reads first.
    EXPECT_NE(get(home_track(c.name) + "/statues"), "");
    free_track_data();
    ASSERT_EQ(load(c.name), 1);
    EXPECT_EQ(object_records(), before) << c.name;
    free_track_data();
  }
  // A save of the start-gate statues' track does not duplicate them.
  ASSERT_EQ(load("save_working"), 1);
  EXPECT_EQ((int)statues.count, 4);
}

TEST_F(Track, WritersReportAFolderTheyCannotWrite) {
  make_track("unwritable", {});
  ASSERT_EQ(load("unwritable"), 1);
  std::snprintf(track_source, sizeof track_source, "%s/no/such/\x01", "/proc");
  const int first = message_ring.write_index;
  EXPECT_EQ(write_billboards(), 0);
  EXPECT_EQ(write_statues(), 0);
  EXPECT_EQ(write_timing_gates(), 0);
  const std::string lines = console_since(first);
  EXPECT_NE(lines.find("Can't open 'billboards'"), std::string::npos) << lines;
  EXPECT_NE(lines.find("Can't open 'timing_gates'"), std::string::npos) << lines;
}

// The digest is of the bytes as read, so a packed height field hashes as
// the plain one and a server set up from either admits the same clients.
TEST_F(Track, HashOfAGzippedHeightFieldIsThePlainOnes) {
  make_track("packed", {});
  ASSERT_EQ(load("packed"), 1);
  uint8_t plain[digest_bytes];
  std::memcpy(plain, track_hash, sizeof plain);
  const std::string hf = data_root() + "/packed/terrain.hf";
  const std::string bytes = get(hf);
  ASSERT_FALSE(bytes.empty());
  gzFile out = gzopen((hf + ".gz").c_str(), "wb");
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(gzwrite(out, bytes.data(), static_cast<unsigned>(bytes.size())), static_cast<int>(bytes.size()));
  ASSERT_EQ(gzclose(out), Z_OK);
  ASSERT_EQ(std::remove(hf.c_str()), 0);
  free_track_data();
  free_terrain(&track_field);
  ASSERT_EQ(load("packed"), 1) << console();
  EXPECT_EQ(std::memcmp(plain, track_hash, sizeof plain), 0);
}

TEST_F(Track, HashFollowsTerrainAndShapesButNotLighting) {
  make_track("hashed", {{"statues", "[100 2 100] 0.5 null null @hashed.shp\n"}, {"lighting", "near_plane 1\n"}});
  put(data_root() + "/hashed.shp", "1\n0 1 0 0.5 1 2500 250\n");
  ASSERT_EQ(load("hashed"), 1);
  uint8_t first[digest_bytes];
  std::memcpy(first, track_hash, sizeof first);
  for (int round = 0; round < 3; round++) {
    free_track_data();
    free_terrain(&track_field);
    ASSERT_EQ(load("hashed"), 1);
    EXPECT_EQ(std::memcmp(first, track_hash, sizeof first), 0) << "round " << round;
  }
  put(data_root() + "/hashed/lighting", "near_plane 0.5\nfar_plane 100\n");
  free_track_data();
  ASSERT_EQ(load("hashed"), 1);
  EXPECT_EQ(std::memcmp(first, track_hash, sizeof first), 0) << "lighting is not hashed";
  put(data_root() + "/hashed.shp", "1\n0 1 0 0.75 1 2500 250\n");
  free_track_data();
  shape_free_all();
  ASSERT_EQ(load("hashed"), 1);
  EXPECT_NE(std::memcmp(first, track_hash, sizeof first), 0) << "a shape file is hashed";
}

TEST_F(Track, MalformedFoldersLoadPartlyAndAGoodTrackStillLoads) {
  struct {
    const char* file;
    const char* text;
    const char* console;  // a line the load must print
  } cases[] = {
      {"timing_gates", "checkpoints:\n5 [0 0 0] [1 0 0]\n5 [9 0", "incomplete"},
      {"timing_gates", "checkpoints:\n5 [0 0 0] [0 5 0]\nfirstlap: 0 0 0\nnormallap: 0 0 0\n", "no horizontal direction"},
      {"timing_gates", "gates:\n5 [0 0 0] [1 0 0]\n", "timing_gates line 1: starts with 'gates:'"},
      {"timing_gates", "checkpoints:\n1e39 [0 0 0] [1 0 0]\n", "out of range"},
      {"timing_gates", "startinggate:\n[1 2 3] 0\n[1 2 3]\ncheckpoints:\n", "bad starting gate line"},
      {"billboards", "[1 0 2] 3 1 a.png\n[nan 0 2] 3 1 b.png\n[1 0 2] 3 1 c.png\n", "billboards: entry 1 is malformed"},
      {"lighting", "sun_vector [0 0 0]\n", "sun vector has no length"},
      {"lighting", "near_plane 0.5\nshine 3\nfar_plane 2\n", "Unknown identifier 'shine'"},
      {"lighting", "far_plane 1e39\n", "out of range"},
      {"cameras", "fov 0\naddcamera 1 2 3\n", "kept at 90"},
      {"cameras", "fov 1e39\naddcamera 1 2 3\n", "kept at 90"},
      {"statues", "[1 0 2] 0 null null @nowhere.shp\n", "missing shape file @nowhere.shp"},
      {"statues", "[1 0 2] 0 null null null\n[1 0 2] 0 null", "statues: entry 1 is malformed"},
      {"flaggers", "[1 0 2] [3 0 4] 5 0.5 0 @a.png @b.png @c.png @d.png @e.png\n", nullptr},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string name = "bad" + std::to_string(n++);
    make_track(name, {{c.file, c.text}});
    ASSERT_EQ(load(name), 1) << c.text;
    if (c.console) {
      EXPECT_NE(console().find(c.console), std::string::npos) << c.text << "\n" << console();
    }
    free_track_data();
  }
  // What the bad files left behind.
  ASSERT_EQ(load("bad1"), 1);
  float end[3];
  checkpoint_far_end(&checkpoints[0], end);
  EXPECT_TRUE(std::isfinite(end[0]) && end[0] == 0.0f) << "a gate without direction ends at its centre";
  free_track_data();
  ASSERT_EQ(load("bad5"), 1);
  EXPECT_EQ((int)billboards.count - first_file_billboard, 1);
  free_track_data();
  ASSERT_EQ(load("bad6"), 1);
  EXPECT_FLOAT_EQ(lighting.sun_vector[0], 1.0f / std::sqrt(3.0f));
  free_track_data();
  ASSERT_EQ(load("bad7"), 1);
  EXPECT_FLOAT_EQ(lighting.near_plane, 0.5f);
  EXPECT_FLOAT_EQ(lighting.far_plane, 5000.0f) << "reading stopped at the unknown keyword";
  free_track_data();
  ASSERT_EQ(load("bad9"), 1);
  EXPECT_FLOAT_EQ(((const track_camera*)track_cameras.data)[0].fov, 90.0f);
  free_track_data();
  ASSERT_EQ(load("bad13"), 1);
  EXPECT_FLOAT_EQ(flaggers.start_walk_time, 0.0f) << "kept as read";
  free_track_data();

  make_track("good", {{"timing_gates", gate_file}});
  ASSERT_EQ(load("good"), 1);
  EXPECT_EQ(checkpoint_count, 3);
}

TEST_F(Track, AFailedLoadFreesWhatItBuiltAndTheNextLoadWorks) {
  make_track("broken", {{"lighting", "flare_vector [1 1 1]\n"}});
  put(data_root() + "/broken/tilemap", "short");
  EXPECT_EQ(load("broken"), 0);
  EXPECT_STREQ(track_folder, "");
  EXPECT_STREQ(track_long_name, "");
  EXPECT_EQ(flares.data, nullptr);
  EXPECT_EQ(billboards.data, nullptr);
  EXPECT_EQ(track_field.heights, nullptr);
  EXPECT_NE(console().find("Error reading tilemap"), std::string::npos);
  make_track("fine", {{"timing_gates", gate_file}});
  EXPECT_EQ(load("fine"), 1);
  EXPECT_STREQ(track_long_name, "fine");
}

TEST_F(Track, ScanListsTracksByLongNameIgnoringCase) {
  make_track("zeta", {{"desc", "b\r\nmore"}});
  make_track("alpha", {{"desc", "Cee"}});
  make_track("omega", {{"desc", "A"}});
  make_track("nodesc", {});
  make_track("alpha/.saving", {});  // a save cut short: no track of its own
  free_file_index();
  ASSERT_EQ(scan_tracks(), 1);
  std::vector<std::string> names, folders;
  for (int i = 0; i < track_count; i++) {
    names.push_back(track_long_names[i]);
    folders.push_back(track_folders[i]);
  }
  // Other tests' folders may be there too; these four keep their order.
  std::vector<std::string> mine;
  for (size_t i = 0; i < names.size(); i++)
    if (folders[i] == "zeta" || folders[i] == "alpha" || folders[i] == "omega" || folders[i] == "nodesc")
      mine.push_back(names[i]);
  EXPECT_EQ(mine, (std::vector<std::string>{"A", "b", "Cee", "nodesc"}));
  EXPECT_EQ(std::count(folders.begin(), folders.end(), "alpha/.saving"), 0);
  std::snprintf(track_folder, sizeof track_folder, "omega");
  ASSERT_EQ(load_track(), 1);
  EXPECT_STREQ(track_long_name, "A");
  free_track_list();
  free_file_index();
}

}  // namespace
