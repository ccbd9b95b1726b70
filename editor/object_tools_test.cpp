#include "editor/object_tools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/intern.h"
#include "core/memory.h"
#include "editor/decal_tools.h"
#include "editor/editor.h"
#include "editor/editor_items.h"
#include "editor/test_support_sample_track.h"
#include "race/menu_screen.h"
#include "terrain/decals.h"
#include "terrain/editor_hooks.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/terrain_files.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"
#include "tools/testing/test_env.h"
#include "ui/widget.h"

namespace {

// The sample track loaded through the game's loader, the editor set up on
// it and the icons at their least size (pick radius 0.5).
class ObjectTools : public ::testing::Test {
 protected:
  void SetUp() override {
    editor_items_reset();
    menu_keys_name(nullptr);
    menu_screen = {640, 480, 320, 240};
    editor_install_hooks();
    editor_hooks.active = 1;
    ASSERT_NO_FATAL_FAILURE(track_.load());
    ASSERT_EQ(editor.terrain, &track_field);
    editor_zoom = 8;
    ASSERT_FLOAT_EQ(editor_pick_radius_now(), 0.5f);
  }
  void TearDown() override {
    track_.unload();
    editor_hooks.active = 0;
    editor_items_reset();
  }
  static float editor_pick_radius_now() { return editor_icon_scale() * 0.5f; }
  static void mouse(float x, float z) {
    editor.centre_x = x;
    editor.centre_z = z;
    menu_screen.mouse_x = 320;
    menu_screen.mouse_y = 240;
  }
  int key(int code) {
    const int used = editor_key(code, 1);
    editor_key(code, 0);
    return used;
  }
  // A left press at (x, z), drag steps through the points, the release.
  void drag(float x, float z, const std::vector<std::pair<float, float>>& path) {
    mouse(x, z);
    editor_key(menu_keys.click, 1);
    for (const auto& p : path) {
      mouse(p.first, p.second);
      editor_update();
    }
    editor_key(menu_keys.click, 0);
  }
  static int billboard_count() { return (int)billboards.count; }
  static int statue_count() { return (int)statues.count; }
  // A point 30 units clear of every billboard and statue.
  static void clear_ground(float* x, float* z) {
    for (float cx = 100; cx < track_field.extent - 100; cx += 17)
      for (float cz = 100; cz < track_field.extent - 100; cz += 17) {
        bool free = true;
        for (int i = 0; i < billboard_count() && free; i++)
          free = std::hypot(billboard_at(i)->x - cx, billboard_at(i)->z - cz) > 60;
        for (int i = 0; i < statue_count() && free; i++)
          free = std::hypot(statue_at(i)->x - cx, statue_at(i)->z - cz) > 60;
        if (free) {
          *x = cx;
          *z = cz;
          return;
        }
      }
    FAIL() << "no clear ground";
  }
  sample_track track_;
};

TEST_F(ObjectTools, GatesMoveAndAimAndIgnoreAnAimOntoTheCentre) {
  ASSERT_GT(checkpoints_read, 1);
  editor.mode = mode_timing_gate;
  const checkpoint start = checkpoints[0];
  float far_end[3];
  checkpoint_far_end(&start, far_end);
  // The far end aims: 6 units out along (0.6, 0.8).
  drag(far_end[0], far_end[2], {{start.x + 3.6f, start.z + 4.8f}});
  EXPECT_EQ(editor.current_gate, 0);
  EXPECT_EQ(editor.drag_state, 2);
  EXPECT_NEAR(checkpoints[0].half_width, 6, 1e-4);
  const float length = std::hypot(checkpoints[0].dx, checkpoints[0].dz);
  EXPECT_NEAR(checkpoints[0].dx / length, 0.6, 1e-5);
  EXPECT_NEAR(checkpoints[0].dz / length, 0.8, 1e-5);
  EXPECT_EQ(checkpoints[0].dy, 0);
  EXPECT_EQ(track_field.change_flags, 7);
  // Aimed onto its own centre the gate keeps its aim: no length, no nan.
  const checkpoint aimed = checkpoints[0];
  drag(start.x + 3.6f, start.z + 4.8f, {{start.x, start.z}, {start.x + 0.001f, start.z}});
  EXPECT_EQ(std::memcmp(&aimed, &checkpoints[0], sizeof aimed), 0);
  // The centre moves it, at ground level.
  drag(start.x, start.z, {{start.x + 10, start.z - 5}});
  EXPECT_EQ(editor.drag_state, 1);
  EXPECT_FLOAT_EQ(checkpoints[0].x, start.x + 10);
  EXPECT_FLOAT_EQ(checkpoints[0].z, start.z - 5);
  EXPECT_EQ(checkpoints[0].y, 0);
  // Inside the half disc the gate spans it is picked, not dragged; far off
  // nothing is.
  const checkpoint& g = checkpoints[1];
  const float d = std::hypot(g.dx, g.dz);
  mouse(g.x + g.dx / d * g.half_width * 0.5f, g.z + g.dz / d * g.half_width * 0.5f);
  timing_gate_pick();
  EXPECT_EQ(editor.current_gate, 1);
  EXPECT_EQ(editor.drag_state, 0);
  mouse(-5000, -5000);
  timing_gate_pick();
  EXPECT_EQ(editor.current_gate, -1);
}

TEST_F(ObjectTools, BillboardTrailsAreSpacedByTheirWidth) {
  editor.mode = mode_billboards;
  ASSERT_GT(billboard_count(), first_file_billboard);
  billboard* model = billboard_at(first_file_billboard);
  model->size = 2;
  model->aspect = 3;
  model->colour[0] = 10;
  editor_billboard_spacing = 1;
  // The press picks the billboard and takes its height for the panel.
  mouse(model->x, model->z);
  editor.current_billboard = first_file_billboard - 1;
  key(menu_keys.click);
  EXPECT_EQ(editor.current_billboard, first_file_billboard);
  EXPECT_DOUBLE_EQ(editor_billboard_height, model->height_offset);
  float x = 0, z = 0;
  clear_ground(&x, &z);
  const int n = billboard_count();
  std::vector<std::pair<float, float>> path;
  for (int k = 1; k <= 20; k++) path.push_back({x + k, z});
  drag(x, z, path);
  ASSERT_EQ(billboard_count(), n + 4);
  for (int k = 0; k < 4; k++) {
    const billboard* b = billboard_at(n + k);
    EXPECT_FLOAT_EQ(b->x, x + 6 * k);
    EXPECT_FLOAT_EQ(b->z, z);
    EXPECT_FLOAT_EQ(b->size, 2);
    EXPECT_EQ(b->colour[0], 10);
  }
  EXPECT_EQ(editor.last_painted_billboard, n + 3);
  EXPECT_EQ(billboard_extras.count, billboards.count);
  EXPECT_EQ(track_field.change_flags, 7);
  // Size 0: the press lays its one copy, the drag nothing more.
  billboard_at(first_file_billboard)->size = 0;
  editor.current_billboard = first_file_billboard;
  path.clear();
  for (int k = 1; k <= 20; k++) path.push_back({x + k, z + 30});
  drag(x, z + 30, path);
  EXPECT_EQ(billboard_count(), n + 5);
}

TEST_F(ObjectTools, BillboardDeletesKeepTheIndicesAndTheCompanions) {
  editor.mode = mode_billboards;
  ASSERT_GT(first_file_billboard, 0);
  // A flagger's billboard, below the track's own, stays.
  const int before = billboard_count();
  const billboard* fixed = billboard_at(first_file_billboard - 1);
  mouse(fixed->x, fixed->z);
  EXPECT_EQ(key('x'), 1);
  EXPECT_EQ(billboard_count(), before);
  // Five painted copies 10 apart.
  float x = 0, z = 0;
  clear_ground(&x, &z);
  editor.current_billboard = first_file_billboard;
  editor_billboard_spacing = 1000;
  for (int k = 0; k < 5; k++) {
    editor.last_painted_billboard = -1;
    mouse(x + 10 * k, z);
    key(menu_keys.click);
    editor.current_billboard = first_file_billboard;
  }
  const int n = before;
  ASSERT_EQ(billboard_count(), n + 5);
  editor.current_billboard = n + 2;
  editor.last_painted_billboard = n + 3;
  track_field.change_flags = 0;
  // Below both: both fall by one.
  mouse(x, z);
  key('x');
  EXPECT_EQ(billboard_count(), n + 4);
  EXPECT_EQ(editor.current_billboard, n + 1);
  EXPECT_EQ(editor.last_painted_billboard, n + 2);
  EXPECT_EQ(track_field.change_flags, 7);
  // The current one itself, by the Delete key.
  mouse(x + 20, z);
  key(127);
  EXPECT_EQ(editor.current_billboard, -1);
  EXPECT_EQ(editor.last_painted_billboard, n + 1);
  EXPECT_FLOAT_EQ(billboard_at(n + 1)->x, x + 30);
  // The last painted one.
  mouse(x + 30, z);
  key(127);
  EXPECT_EQ(editor.last_painted_billboard, -1);
  EXPECT_EQ(billboard_extras.count, billboards.count);
  // Painting goes on from a fresh press.
  editor.current_billboard = first_file_billboard;
  editor_billboard_spacing = 1;
  const int left = billboard_count();
  drag(x, z + 40, {{x + 30, z + 40}});
  EXPECT_EQ(billboard_count(), left + 2);
  EXPECT_EQ(billboard_extras.count, billboards.count);
}

TEST_F(ObjectTools, StatuesTurnKeepingTheirAngleRanges) {
  editor.mode = mode_statues;
  const int i = first_file_statue;
  statue* s = statue_at(i);
  struct turn_case {
    float angle;
    float expect_low, expect_high;
  } cases[] = {{4.0f, 4.0f, 4.0f}, {-7.0f, -4 * (float)M_PI - 0.01f, -2 * (float)M_PI - 0.01f}, {1.0f, -0.001f, 0.001f}};
  for (const turn_case& c : cases) {
    s->angle = c.angle;
    editor.current_statue = i;
    editor.drag_state = 2;
    editor.held_key = editor_held_tool;
    mouse(s->x, s->z - 10);  // straight ahead of angle 0
    editor_update();
    editor.held_key = 0;
    EXPECT_GE(s->angle, c.expect_low) << c.angle;
    EXPECT_LE(s->angle, c.expect_high) << c.angle;
  }
  EXPECT_NEAR(s->angle, 0, 1e-6);
  // The handle picks the statue for turning, its centre for moving.
  const float hx = s->x - 4 * std::sin(s->angle), hz = s->z - 4 * std::cos(s->angle);
  mouse(hx, hz);
  statue_pick();
  EXPECT_EQ(editor.drag_state, 2);
  EXPECT_EQ(editor.current_statue, i);
  const float x = s->x, z = s->z;
  drag(x, z, {{x + 7, z + 3}});
  EXPECT_FLOAT_EQ(statue_at(i)->x, x + 7);
  EXPECT_FLOAT_EQ(statue_at(i)->y, terrain_height(&track_field, x + 7, z + 3) + statue_at(i)->height_offset);
}

TEST_F(ObjectTools, DuplicatesInterpolateAndDeleteCleanly) {
  editor.mode = mode_statues;
  // The first track statue is a rock, with a shape.
  const int rock = first_file_statue;
  ASSERT_NE(statue_at(rock)->shape, nullptr);
  float x = 0, z = 0;
  clear_ground(&x, &z);
  const int n = statue_count();
  const float places[4][2] = {{x, z}, {x + 13, z + 40}, {x - 20, z + 11}, {x + 30, z + 30}};
  for (const auto& p : places) {
    editor.current_statue = rock;
    mouse(p[0], p[1]);
    EXPECT_EQ(key('d'), 1);
  }
  ASSERT_EQ(statue_count(), n + 4);
  EXPECT_STREQ(statue_at(n)->model_name, statue_at(rock)->model_name);
  // The statue grid knows the copy.
  const growable_array* near = statue_grid_near(x, z, 1);
  bool found = false;
  for (size_t k = 0; k < near->count; k++) found |= ((const int32_t*)near->data)[k] == n;
  EXPECT_TRUE(found);
  // "i" with the current statue second from last does nothing.
  editor.current_statue = n + 2;
  const float before[2] = {statue_at(n + 2)->x, statue_at(n + 2)->z};
  EXPECT_EQ(key('i'), 1);
  EXPECT_FLOAT_EQ(statue_at(n + 2)->x, before[0]);
  // A bale among them: no match, nothing moves.
  editor.current_statue = rock;
  key('i');
  EXPECT_STREQ(editor.message, "Bad match for interpolate!");
  EXPECT_FLOAT_EQ(statue_at(n + 2)->x, before[0]);
  // From the first copy: the two between are spread evenly to the last.
  editor.current_statue = n;
  key('i');
  for (int k = 1; k <= 2; k++) {
    EXPECT_NEAR(statue_at(n + k)->x, x + 30 * k / 3.0f, 1e-3);
    EXPECT_NEAR(statue_at(n + k)->z, z + 30 * k / 3.0f, 1e-3);
  }
  // Deleting one with a bone pose frees all of it (the leak checker
  // watches), shifts the current index and leaves fixed statues alone.
  statue* victim = statue_at(n + 1);
  victim->bone_count = 2;
  victim->bone_centres = (float*)xmalloc(6 * sizeof(float));
  victim->bone_translations = (float*)xmalloc(6 * sizeof(float));
  victim->bone_rotations = (float*)xmalloc(18 * sizeof(float));
  editor.current_statue = n + 3;
  mouse(victim->x, victim->z);
  EXPECT_EQ(key('x'), 1);
  EXPECT_EQ(statue_count(), n + 3);
  EXPECT_EQ(editor.current_statue, n + 2);
  if (first_file_statue > 0) {
    const statue* fixed = statue_at(first_file_statue - 1);
    mouse(fixed->x, fixed->z);
    key('x');
    EXPECT_EQ(statue_count(), n + 3);
  }
}

TEST_F(ObjectTools, UnderTheEditLockNoToolChangesAnything) {
  // Decals on the track's terrain too, for the decal keys.
  decal_bins_init(&track_field);
  decal d = {};
  d.x = 300;
  d.z = 300;
  d.extent_a = 2;
  d.extent_b = 4;
  d.cos_angle = 1;
  d.name = intern_string("arrow.png");
  track_field.decals.count = 0;
  growable_array_append(&track_field.decals, &d);
  decal_bins_rebuild(&track_field);
  track_field.edit_lock = 1;
  const int gates = checkpoints_read;
  std::vector<checkpoint> gate_copy(checkpoints, checkpoints + gates);
  std::vector<float> statue_places;
  for (int i = 0; i < statue_count(); i++)
    statue_places.insert(statue_places.end(), {statue_at(i)->x, statue_at(i)->z, statue_at(i)->angle});
  const int billboards_before = billboard_count();
  float x = 0, z = 0;
  clear_ground(&x, &z);
  struct lock_case {
    const char* what;
    int mode;
    std::function<void()> act;
  };
  const checkpoint g = checkpoints[0];
  const statue* s = statue_at(first_file_statue);
  const float sx = s->x, sz = s->z;
  const billboard* b = billboard_at(first_file_billboard);
  const float bx = b->x, bz = b->z;
  const lock_case cases[] = {
      {"gate move", mode_timing_gate, [&] { drag(g.x, g.z, {{g.x + 5, g.z}}); }},
      {"billboard paint", mode_billboards,
       [&] {
         editor.current_billboard = first_file_billboard;
         editor.last_painted_billboard = first_file_billboard;
         drag(x, z, {{x + 50, z}});
       }},
      {"billboard delete", mode_billboards, [&] { mouse(bx, bz), key('x'); }},
      {"statue move", mode_statues, [&] { drag(sx, sz, {{sx + 5, sz}}); }},
      {"statue turn", mode_statues,
       [&] {
         editor.current_statue = first_file_statue;
         editor.drag_state = 2;
         editor.held_key = editor_held_tool;
         mouse(sx + 10, sz);
         editor_update();
         editor.held_key = 0;
       }},
      {"statue keys", mode_statues,
       [&] {
         editor.current_statue = first_file_statue;
         mouse(sx, sz), key('x'), key('d'), key('i');
       }},
      {"decal move and keys", mode_decals,
       [&] {
         editor.current_decal = 0;
         drag(300, 300, {{310, 300}});
         mouse(320, 300), key('d'), key('m'), key('{'), key('x'), key('X');
         drag(x, z, {{x + 50, z}});
       }},
  };
  for (const lock_case& c : cases) {
    editor.mode = c.mode;
    track_field.change_flags = 0;
    c.act();
    EXPECT_EQ(track_field.change_flags, 0) << c.what;
    EXPECT_EQ(billboard_count(), billboards_before) << c.what;
    EXPECT_EQ(std::memcmp(gate_copy.data(), checkpoints, gates * sizeof(checkpoint)), 0) << c.what;
    ASSERT_EQ(statue_count() * 3, (int)statue_places.size()) << c.what;
    for (int i = 0; i < statue_count(); i++) {
      EXPECT_EQ(statue_at(i)->x, statue_places[3 * i]) << c.what;
      EXPECT_EQ(statue_at(i)->angle, statue_places[3 * i + 2]) << c.what;
    }
    ASSERT_EQ(track_field.decals.count, 1u) << c.what;
    EXPECT_EQ(std::memcmp(track_field.decals.data, &d, sizeof d), 0) << c.what;
  }
  track_field.edit_lock = 0;
}

}  // namespace
