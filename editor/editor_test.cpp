#include "editor/editor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/file_set.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "editor/editor_items.h"
#include "editor/editor_panel.h"
#include "editor/test_support_sample_track.h"
#include "race/menu_screen.h"
#include "terrain/bitmap.h"
#include "terrain/editor_hooks.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/terrain_files.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"
#include "tools/testing/test_env.h"
#include "ui/widget.h"

namespace {

height_field field;

// A created field whose heights vary, optionally with the second colour
// layer of a normal-mapped terrain.
void make_field(int with_normals) {
  ASSERT_EQ(terrain_create(&field, 7, 4.0f), 1);
  const int r = field.size;
  for (int j = 0; j < r; j++)
    for (int i = 0; i < r; i++) field.heights[i + r * j] = (float)((i * 7 + j * 13) % 29) * 0.5f;
  field.min_height = 0;
  field.max_height = 14;
  if (with_normals) {
    const size_t cells = (size_t)r * r;
    field.normal_mapped = 1;
    field.normal_bytes = (uint8_t*)xmalloc(cells * 3);
    std::memset(field.normal_bytes, 0, cells * 3);
    field.normal_dirty = (uint8_t*)xmalloc((size_t)bitmap_bytes((int64_t)cells));
    std::memset(field.normal_dirty, 0xFF, (size_t)bitmap_bytes((int64_t)cells));
  }
}

class Editor : public ::testing::Test {
 protected:
  void SetUp() override {
    editor_items_reset();
    menu_keys_name(nullptr);
    menu_screen = {640, 480, 320, 240};
    editor_install_hooks();
    editor_hooks.active = 1;
  }
  void TearDown() override {
    editor_free();
    free_terrain(&field);
    editor_hooks.active = 0;
    editor_items_reset();
  }
  // A press and its release.
  int tap(int code) {
    const int used = editor_key(code, 1);
    editor_key(code, 0);
    return used;
  }
  // A stroke as the brushes make it: cells written through the cell
  // writer, the pending flag set.
  void stroke(float amount) {
    for (int j = 40; j < 44; j++)
      for (int i = 40; i < 44; i++)
        editor_set_height(&field, i, j, field.heights[i + field.size * j] + amount);
    editor.pending = 1;
  }
};

TEST_F(Editor, SetUpTakesOverTheTerrainWithOneSnapshot) {
  for (int with_normals = 0; with_normals < 2; with_normals++) {
    make_field(with_normals);
    field.change_flags = 7;
    editor_track_loaded(&field);
    ASSERT_EQ(editor.terrain, &field);
    EXPECT_FLOAT_EQ(editor.centre_x, field.extent / 2);
    EXPECT_FLOAT_EQ(editor.centre_z, field.extent / 2);
    EXPECT_EQ(editor.undo_count, 1);
    EXPECT_EQ(editor.undo_index, 1);
    EXPECT_EQ(editor.undo_levels, editor_undo_levels);
    EXPECT_EQ(field.change_flags, 0);
    EXPECT_STREQ(editor.message, "OK");
    EXPECT_EQ(editor.mode, 0);
    EXPECT_EQ(editor.selected_gradient, -1);
    EXPECT_EQ(editor.current_gate, -1);
    EXPECT_EQ(editor.last_painted_billboard, -1);
    EXPECT_LT(editor.drag_anchor[0], 0);
    EXPECT_EQ(editor.gradients.count, 0u);
    EXPECT_EQ(editor.gradients.capacity, 16u);
    EXPECT_EQ(editor.decal_selection.capacity, 16u);
    EXPECT_EQ(editor.undo[0].normal_bytes != nullptr, with_normals == 1);
    const size_t cells = (size_t)field.size * field.size;
    EXPECT_EQ(std::memcmp(editor.stroke_base, field.heights, cells * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(editor.undo[0].heights, field.heights, cells * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(editor.undo[0].shading, field.shading, cells * 3), 0);
    // The single created tile names itself in neither byte: no plain tiles.
    EXPECT_EQ(editor_tile_item.maximum, 0);
    editor_track_released();
    EXPECT_EQ(editor.terrain, nullptr);
    EXPECT_EQ(editor.stroke_base, nullptr);
    free_terrain(&field);
  }
}

TEST_F(Editor, TheTileMaximumCountsTheLeadingPlainTiles) {
  make_field(0);
  field.tile_count = 5;
  for (int t = 0; t < 5; t++) field.transition_codes[t] = t << 8 | t << 16;
  field.transition_codes[3] = 1 << 8 | 3 << 16;  // a transition ends the run
  editor_track_loaded(&field);
  EXPECT_EQ(editor_tile_item.maximum, 2);
}

TEST_F(Editor, WithoutTheEditorNothingIsAllocated) {
  make_field(0);
  editor_hooks.active = 0;
  field.change_flags = 7;
  editor_track_loaded(&field);
  EXPECT_EQ(editor.terrain, nullptr);
  EXPECT_EQ(editor.stroke_base, nullptr);
  EXPECT_EQ(editor.undo[0].heights, nullptr);
  EXPECT_EQ(field.change_flags, 7);
  // With no track set up the entries do nothing.
  EXPECT_EQ(editor_key('s', 1), 0);
  editor_update();
  undo_step();
  EXPECT_STREQ(editor.message, "");
}

TEST_F(Editor, TheCellWriterRefusesOutsideLockedAndNonFinite) {
  make_field(0);
  editor_track_loaded(&field);
  const int r = field.size;
  struct refused {
    int column, row;
    float height;
    int lock;
  } cases[] = {{-1, 5, 1, 0}, {r, 5, 1, 0}, {5, -1, 1, 0}, {5, r, 1, 0}, {5, 5, 1, 1},
               {5, 5, NAN, 0}, {5, 5, INFINITY, 0}, {5, 5, -INFINITY, 0}};
  const std::vector<float> before(field.heights, field.heights + r * r);
  for (const refused& c : cases) {
    field.edit_lock = c.lock;
    field.change_flags = 0;
    EXPECT_EQ(editor_set_height(&field, c.column, c.row, c.height), 0) << c.column << " " << c.row;
    EXPECT_EQ(field.change_flags, 0);
  }
  field.edit_lock = 0;
  EXPECT_TRUE(std::equal(before.begin(), before.end(), field.heights));

  // A corner vertex: only its existing neighbours and triangles.
  const size_t cells = (size_t)r * r;
  const int per_row = 2 * r - 2;
  std::memset(field.vertex_dirty, 0, (size_t)bitmap_bytes((int64_t)cells));
  std::memset(field.triangle_dirty, 0, (size_t)bitmap_bytes((int64_t)terrain_triangle_count(&field)));
  EXPECT_EQ(editor_set_height(&field, 0, 0, -30.0f), 1);
  EXPECT_EQ(field.change_flags, 7);
  EXPECT_FLOAT_EQ(field.min_height, -30.0f);
  EXPECT_FLOAT_EQ(field.heights[0], -30.0f);
  int vertex_bits = 0, triangle_bits = 0;
  for (size_t k = 0; k < cells; k++) vertex_bits += bitmap_test(field.vertex_dirty, (int64_t)k);
  for (int64_t k = 0; k < (int64_t)terrain_triangle_count(&field); k++) triangle_bits += bitmap_test(field.triangle_dirty, k);
  EXPECT_EQ(vertex_bits, 4);
  EXPECT_TRUE(bitmap_test(field.vertex_dirty, 0) && bitmap_test(field.vertex_dirty, 1) &&
              bitmap_test(field.vertex_dirty, r) && bitmap_test(field.vertex_dirty, r + 1));
  EXPECT_EQ(triangle_bits, 2);
  EXPECT_TRUE(bitmap_test(field.triangle_dirty, 0) && bitmap_test(field.triangle_dirty, 1));
  // The far corner, in the last row of triangles.
  EXPECT_EQ(editor_set_height(&field, r - 1, r - 1, 40.0f), 1);
  EXPECT_FLOAT_EQ(field.max_height, 40.0f);
  EXPECT_TRUE(bitmap_test(field.triangle_dirty, (int64_t)per_row * (r - 2) + per_row - 1));
  EXPECT_TRUE(bitmap_test(field.triangle_dirty, (int64_t)per_row * (r - 2) + per_row - 2));
}

// The height at a point, written out from the editor's own description:
// the cell's diagonal by the parity of its column and row.
float reference_height(const height_field* f, float x, float z) {
  auto h = [f](int c, int r) {
    c = c < 0 ? 0 : c > f->size - 1 ? f->size - 1 : c;
    r = r < 0 ? 0 : r > f->size - 1 ? f->size - 1 : r;
    return f->heights[c + f->size * r];
  };
  const float u = x / f->spacing, v = z / f->spacing;
  const int i = (int)std::floor(u), j = (int)std::floor(v);
  const float fu = u - (float)i, fv = v - (float)j;
  int first, second;
  float a;
  if (((i ^ j) & 1) != 0) {
    first = i;
    second = i + 1;
    a = fu;
  } else {
    first = i + 1;
    second = i;
    a = 1 - fu;
  }
  if (a + fv <= 1) {
    const float h0 = h(first, j), h1 = h(second, j), h2 = h(first, j + 1);
    return h0 + a * (h1 - h0) + fv * (h2 - h0);
  }
  const float h0 = h(second, j + 1), h1 = h(first, j + 1), h2 = h(second, j);
  return h0 + (1 - a) * (h1 - h0) + (1 - fv) * (h2 - h0);
}

TEST_F(Editor, HeightAtAPointFollowsTheCellDiagonals) {
  make_field(0);
  const float s = field.spacing, e = field.extent;
  const float points[][2] = {
      {0, 0}, {e, e}, {0, e}, {e, 0},                                  // corners
      {0, 37.3f}, {e, 101.9f}, {55.5f, 0}, {203.1f, e},               // edges
      {10 * s + 1, 20 * s + 1}, {10 * s + 3, 20 * s + 3},             // even cell, both sides of its diagonal
      {11 * s + 1, 20 * s + 2.5f}, {11 * s + 3, 20 * s + 2},          // odd cell
      {11 * s + 2, 20 * s + 2}, {10 * s + 2, 20 * s + 2},             // on the diagonals
      {-50, 77}, {e + 30, 77}, {77, -9}, {77, e + 12}, {-5, -5}, {e + 1, e + 1},  // outside
  };
  for (const auto& p : points)
    EXPECT_NEAR(editor_height_at(&field, p[0], p[1]), reference_height(&field, p[0], p[1]), 1e-4f)
        << p[0] << " " << p[1];
}

TEST_F(Editor, TheViewShowsTheExtentOverTwoToTheZoom) {
  ASSERT_EQ(terrain_create(&field, 8, 2.0f), 1);  // E = 1024
  ASSERT_FLOAT_EQ(field.extent, 1024.0f);
  editor_track_loaded(&field);
  struct view {
    double zoom;
    int width, height;
    float shown, icon_scale;
  } cases[] = {{8, 640, 480, 4, 1}, {-3, 640, 480, 8 * 1024, 0.08f * 1024}, {0, 641, 481, 1024, 10.24f},
               {1, 1, 1, 512, 5.12f}};
  for (const view& c : cases) {
    editor_zoom = c.zoom;
    menu_screen.width = c.width;
    menu_screen.height = c.height;
    float top[2], bottom[2], centre[2];
    const float top_px[2] = {(float)(c.width / 2), 0}, bottom_px[2] = {(float)(c.width / 2), (float)c.height};
    editor_screen_to_world(top, top_px);
    editor_screen_to_world(bottom, bottom_px);
    EXPECT_NEAR(bottom[1] - top[1], c.shown, c.shown * 1e-5f) << c.zoom;
    // The integer half of the window is the view's centre.
    const float centre_px[2] = {(float)(c.width / 2), (float)(c.height / 2)};
    editor_screen_to_world(centre, centre_px);
    EXPECT_FLOAT_EQ(centre[0], editor.centre_x);
    EXPECT_FLOAT_EQ(centre[1], editor.centre_z);
    EXPECT_FLOAT_EQ(top[0], editor.centre_x);
    EXPECT_NEAR(editor_pixel_size(), c.shown / (float)c.height, 1e-5f);
    EXPECT_NEAR(editor_icon_scale(), c.icon_scale, 1e-4f) << c.zoom;
  }
  // A point to the right moves by pixels x the pixel size.
  editor_zoom = 2;
  menu_screen = {640, 480, 0, 0};
  float p[2];
  const float px[2] = {420, 240};
  editor_screen_to_world(p, px);
  EXPECT_NEAR(p[0] - editor.centre_x, 100 * 256.0f / 480, 1e-3f);
}

TEST_F(Editor, UndoRestoresTheCommittedStates) {
  for (int with_normals = 0; with_normals < 2; with_normals++) {
    make_field(with_normals);
    editor_track_loaded(&field);
    const int r = field.size;
    const size_t cells = (size_t)r * r;
    const std::vector<float> loaded(field.heights, field.heights + cells);
    const std::vector<uint8_t> shading(field.shading, field.shading + cells * 3);
    std::vector<uint8_t> normals;
    if (with_normals) normals.assign(field.normal_bytes, field.normal_bytes + cells * 3);

    // Right after set-up there is nothing to undo.
    tap(8);
    EXPECT_STREQ(editor.message, "No more undo levels!");
    EXPECT_EQ(editor.undo_count, 1);

    // Raise, release, Backspace: the loaded state returns.
    stroke(5);
    undo_commit();
    EXPECT_EQ(editor.undo_count, 2);
    EXPECT_NE(std::memcmp(field.shading, shading.data(), cells * 3), 0);
    const int edits = field.edit_count;
    field.change_flags = 0;
    tap(8);
    EXPECT_STREQ(editor.message, "Undo!");
    EXPECT_TRUE(std::equal(loaded.begin(), loaded.end(), field.heights));
    EXPECT_TRUE(std::equal(loaded.begin(), loaded.end(), editor.stroke_base));
    EXPECT_EQ(std::memcmp(field.shading, shading.data(), cells * 3), 0);
    if (with_normals) {
      EXPECT_EQ(std::memcmp(field.normal_bytes, normals.data(), cells * 3), 0);
    }
    EXPECT_EQ(field.edit_count, edits + 1);
    // The ground differs from the file again, but no new snapshot is due.
    EXPECT_EQ(field.change_flags, 2);
    EXPECT_EQ(editor.pending, 0);
    for (int64_t k = 0; k < terrain_triangle_count(&field); k++)
      ASSERT_TRUE(bitmap_test(field.triangle_dirty, k)) << k;
    for (size_t k = 0; k < cells; k++) ASSERT_FALSE(bitmap_test(field.vertex_dirty, (int64_t)k)) << k;
    // The shading is the refreshed one: a fresh refresh changes nothing.
    float n[3];
    terrain_vertex_normal(&field, 41, 41, n);
    uint8_t fresh[3];
    terrain_shade_vertex(&field, 41, 41, fresh);
    EXPECT_EQ(std::memcmp(fresh, field.shading + 3 * (41 + (size_t)r * 41), 3), 0);
    editor_free();
    free_terrain(&field);
  }
}

// Moving an object marks the track changed but leaves the heights: it
// spends no undo level, and Backspace steps back the last height change
// instead of reporting an undo that changed nothing.
TEST_F(Editor, AnObjectEditSpendsNoUndoLevel) {
  make_field(0);
  editor_track_loaded(&field);
  const std::vector<float> loaded(field.heights, field.heights + field.size * field.size);
  stroke(5);
  undo_commit();
  ASSERT_EQ(editor.undo_count, 2);
  field.change_flags = 7;  // a statue dragged
  editor_update();
  tap(8);
  EXPECT_STREQ(editor.message, "Undo!");
  EXPECT_TRUE(std::equal(loaded.begin(), loaded.end(), field.heights));
  field.change_flags = 7;
  editor_update();
  tap(8);
  EXPECT_STREQ(editor.message, "No more undo levels!");
  EXPECT_EQ(editor.undo_count, 1);
}

TEST_F(Editor, TheRingKeepsEightLevelsAndWraps) {
  make_field(0);
  editor_track_loaded(&field);
  // Nine commits, each a new height at one cell.
  for (int k = 1; k <= 9; k++) {
    editor_set_height(&field, 60, 60, (float)(100 + k));
    editor.pending = 1;
    tap('u');
    EXPECT_STREQ(editor.message, "OK");
    EXPECT_EQ(editor.undo_index, (1 + k) % 8);
    EXPECT_EQ(editor.undo_count, k + 1 < 8 ? k + 1 : 8);
  }
  const int r = field.size;
  // Seven undos step back through 108 .. 102; the eighth has nothing left.
  for (int k = 1; k <= 7; k++) {
    tap(8);
    EXPECT_STREQ(editor.message, "Undo!") << k;
    EXPECT_FLOAT_EQ(field.heights[60 + r * 60], (float)(109 - k)) << k;
    EXPECT_GE(editor.undo_index, 0);
  }
  tap(8);
  EXPECT_STREQ(editor.message, "No more undo levels!");
  EXPECT_FLOAT_EQ(field.heights[60 + r * 60], 102.0f);
  EXPECT_EQ(editor.undo_count, 1);
  // A commit after undoing writes after the restored slot.
  const int index = editor.undo_index;
  editor_set_height(&field, 60, 60, 5.0f);
  editor.pending = 1;
  undo_commit();
  EXPECT_EQ(editor.undo_index, (index + 1) % 8);
  tap(8);
  EXPECT_FLOAT_EQ(field.heights[60 + r * 60], 102.0f);
}

TEST_F(Editor, UndoAtSlotZeroReadsTheLastSlot) {
  make_field(0);
  editor_track_loaded(&field);
  const int r = field.size;
  // Seven commits bring the next slot round to 0.
  for (int k = 1; k <= 7; k++) {
    editor_set_height(&field, 10, 10, (float)k);
    editor.pending = 1;
    undo_commit();
  }
  ASSERT_EQ(editor.undo_index, 0);
  tap(8);
  EXPECT_EQ(editor.undo_index, 7);
  EXPECT_FLOAT_EQ(field.heights[10 + r * 10], 6.0f);
}

TEST_F(Editor, AStrokeInProgressIsCommittedThenUndone) {
  make_field(0);
  editor_track_loaded(&field);
  const std::vector<float> loaded(field.heights, field.heights + field.size * field.size);
  editor.mode = mode_raise;
  ASSERT_EQ(editor_key(menu_keys.click, 1), 1);
  stroke(3);
  tap(8);  // before the release
  EXPECT_STREQ(editor.message, "Undo!");
  EXPECT_TRUE(std::equal(loaded.begin(), loaded.end(), field.heights));
  // "u" with nothing pending only says OK.
  editor_set_message("x");
  const int count = editor.undo_count;
  tap('u');
  EXPECT_STREQ(editor.message, "OK");
  EXPECT_EQ(editor.undo_count, count);
}

TEST_F(Editor, CommitAndUndoAllocateNothing) {
  setenv("BK_CHECK_ALLOC", "1", 1);
  check_reset_for_tests();
  make_field(1);
  editor_track_loaded(&field);
  const uint32_t live = check_live_count();
  EXPECT_GT(live, 0u);
  for (int k = 0; k < 3; k++) {
    stroke(1);
    undo_commit();
  }
  tap(8);
  tap(8);
  EXPECT_EQ(check_live_count(), live);
  editor_free();
  free_terrain(&field);
  unsetenv("BK_CHECK_ALLOC");
  check_reset_for_tests();
}

TEST_F(Editor, UpdateNoticesChangesFromOutside) {
  make_field(0);
  editor_track_loaded(&field);
  editor_update();
  EXPECT_EQ(editor.pending, 0);
  field.heights[5] += 1;  // the erosion wrote cells
  field.change_flags = 7;
  editor_update();
  EXPECT_EQ(editor.pending, 1);
  EXPECT_STREQ(editor.message, "Update needed!");
  tap('u');
  EXPECT_EQ(editor.pending, 0);
  EXPECT_EQ(field.change_flags, 3);
  EXPECT_EQ(editor.undo_count, 2);
}

TEST_F(Editor, KeysChangeTheViewAndTools) {
  make_field(0);
  editor_track_loaded(&field);
  // Tab is never the editor's.
  EXPECT_EQ(editor_key(9, 1), 0);
  EXPECT_EQ(editor_key(9, 0), 0);

  editor_zoom = 1;
  for (int k = 0; k < 20; k++) EXPECT_EQ(tap('='), 1);
  EXPECT_DOUBLE_EQ(editor_zoom, 11);
  for (int k = 0; k < 40; k++) tap('-');
  EXPECT_DOUBLE_EQ(editor_zoom, -3);
  editor_strength = 4.9;
  tap(']');
  EXPECT_DOUBLE_EQ(editor_strength, 5);
  tap(']');
  EXPECT_DOUBLE_EQ(editor_strength, 5);
  editor_strength = -4.9;
  tap('[');
  EXPECT_DOUBLE_EQ(editor_strength, -5);

  // The arrows move the view by a quarter of what it shows.
  editor_zoom = 2;
  const float x = editor.centre_x, z = editor.centre_z, quarter = field.extent / 4 * 0.25f;
  EXPECT_EQ(tap(menu_keys.right), 1);
  EXPECT_FLOAT_EQ(editor.centre_x, x + quarter);
  tap(menu_keys.left);
  tap(menu_keys.left);
  EXPECT_FLOAT_EQ(editor.centre_x, x - quarter);
  tap(menu_keys.down);
  EXPECT_FLOAT_EQ(editor.centre_z, z + quarter);
  tap(menu_keys.up);
  EXPECT_FLOAT_EQ(editor.centre_z, z);

  // The press message, with and without the character.
  editor_key('A', 1);
  EXPECT_STREQ(editor.message, "Pressed 0x41 ('A')");
  editor_key('A', 0);
  editor_key(7, 1);
  EXPECT_STREQ(editor.message, "Pressed 0x07");
  EXPECT_EQ(editor_key('A', 1), 0);  // not the editor's key

  // "l" twice leaves no anchor; in the Snap tool it does nothing.
  editor.mode = mode_raise;
  tap('l');
  EXPECT_GE(editor.drag_anchor[0], 0);
  tap('l');
  EXPECT_LT(editor.drag_anchor[0], 0);
  editor.mode = mode_snap;
  tap('l');
  EXPECT_LT(editor.drag_anchor[0], 0);
}

TEST_F(Editor, DigitsChooseToolsAndCommitOnlyOnAChange) {
  make_field(0);
  editor_track_loaded(&field);
  const int modes[9] = {2, 4, 5, 6, 7, 8, 9, 10, 11};
  for (int k = 0; k < 9; k++) {
    editor.mode = mode_raise;
    editor.pending = 1;
    EXPECT_EQ(tap('1' + k), 1);
    EXPECT_EQ(editor.mode, modes[k]);
    EXPECT_STREQ(editor.message, "OK");
    EXPECT_EQ(editor.pending, 0);
  }
  // The tool already chosen: no commit, the press message stays.
  editor.mode = mode_smooth;
  editor.pending = 1;
  const int count = editor.undo_count;
  tap('1');
  EXPECT_EQ(editor.pending, 1);
  EXPECT_EQ(editor.undo_count, count);
  EXPECT_STREQ(editor.message, "Pressed 0x31 ('1')");
}

TEST_F(Editor, ObjectKeysBelongToTheirTools) {
  make_field(0);
  editor_track_loaded(&field);
  struct key_case {
    int code;
    int mode;
    int used;
  } cases[] = {{'x', 12, 1}, {127, 12, 1}, {'d', 12, 0}, {'x', 13, 1}, {'d', 13, 1}, {'m', 13, 0},
               {'x', 15, 1}, {'X', 15, 1}, {'d', 15, 1}, {'m', 15, 1}, {'M', 15, 1}, {'{', 15, 1},
               {'}', 15, 1}, {'x', 0, 0},  {'d', 0, 0},  {'m', 0, 0},  {'x', 11, 0}, {'d', 14, 0},
               {'m', 4, 0},  {127, 0, 0},  {'i', 0, 1},  {'p', 3, 1},  {'f', 10, 1}};
  for (const key_case& c : cases) {
    editor.mode = c.mode;
    EXPECT_EQ(editor_key(c.code, 1), c.used) << (char)c.code << " mode " << c.mode;
  }
}

TEST_F(Editor, MouseButtonsCommitStrokesAndPan) {
  make_field(0);
  editor_track_loaded(&field);
  // Press and release commit in the height tools; the gradient brushes
  // and the tilemap do not.
  for (int mode = 0; mode <= 15; mode++) {
    editor.mode = mode;
    editor.pending = 1;
    EXPECT_EQ(editor_key(menu_keys.click, 1), 1);
    EXPECT_EQ(editor.held_key, editor_held_tool);
    EXPECT_EQ(editor.pending, mode <= 4 ? 0 : 1) << mode;
    EXPECT_EQ(editor.call_counter, 0);
    editor.pending = 1;
    editor.drag_anchor[0] = editor.drag_anchor[1] = 10;
    EXPECT_EQ(editor_key(menu_keys.click, 0), 1);
    EXPECT_EQ(editor.held_key, 0);
    EXPECT_EQ(editor.pending, mode <= 4 ? 0 : 1) << mode;
    const int keeps_anchor = mode == 4 || (mode >= 11 && mode <= 13) || mode == 15;
    EXPECT_EQ(editor.drag_anchor[0] >= 0, keeps_anchor) << mode;
  }
  // The smudge press remembers where it started.
  editor.mode = mode_smudge;
  menu_screen.mouse_x = 400;
  editor_key(menu_keys.click, 1);
  float m[2];
  editor_mouse_world(m);
  EXPECT_FLOAT_EQ(editor.smudge_anchor[0], m[0]);
  editor_key(menu_keys.click, 0);

  // A right drag pans by the pixels moved times the pixel size.
  editor_zoom = 1;
  menu_screen.mouse_x = 300;
  menu_screen.mouse_y = 200;
  EXPECT_EQ(editor_key(menu_keys.right_click, 1), 1);
  const float x = editor.centre_x, z = editor.centre_z, p = editor_pixel_size();
  menu_screen.mouse_x = 340;
  menu_screen.mouse_y = 190;
  editor_update();
  EXPECT_FLOAT_EQ(editor.centre_x, x - 40 * p);
  EXPECT_FLOAT_EQ(editor.centre_z, z + 10 * p);
  editor_update();  // no further move, no further pan
  EXPECT_FLOAT_EQ(editor.centre_x, x - 40 * p);
  editor_key(menu_keys.right_click, 0);
  menu_screen.mouse_x = 0;
  editor_update();
  EXPECT_FLOAT_EQ(editor.centre_x, x - 40 * p);
}

TEST_F(Editor, APressOnTheZoomSliderRepeatsWhileHeld) {
  make_field(0);
  editor_track_loaded(&field);
  // The slider as the panel lays it out; the mouse on its bar's top end.
  const int rect[4] = {0, 100, 200, 120};
  std::memcpy(editor_zoom_item.rect, rect, sizeof rect);
  editor_zoom_item.bar_x0 = 100;
  editor_zoom_item.bar_x1 = 200;
  menu_screen.mouse_x = 199;
  menu_screen.mouse_y = 110;
  editor_zoom = 1;
  EXPECT_EQ(editor_key(menu_keys.click, 1), 0);
  EXPECT_EQ(editor.held_key, panel_zoom | editor_held_panel);
  const double after_press = editor_zoom;
  EXPECT_GT(after_press, 1);
  editor_update();
  editor_update();
  EXPECT_GE(editor_zoom, after_press);
  EXPECT_EQ(editor.pending, 0);  // no stroke began
  editor_key(menu_keys.click, 0);
  EXPECT_EQ(editor.held_key, 0);
  std::memset(editor_zoom_item.rect, 0, sizeof editor_zoom_item.rect);
}

// --- Saving the sample track. ---

std::string home_track_file(const std::string& name) {
  return std::string(test_root()) + "/xdg/Brakkan/quarrybend/" + name;
}

const char* const saved[] = {"billboards", "timing_gates", "terrain.hf", "terrain.png",
                             "shading.ppm", "shadingx2.ppm", "tilemap", "statues"};

class EditorSave : public Editor {
 protected:
  void SetUp() override {
    Editor::SetUp();
    ASSERT_NO_FATAL_FAILURE(track_.load());
    ASSERT_EQ(editor.terrain, &track_field);
  }
  void TearDown() override {
    track_.unload();
    for (const char* name : saved) std::remove(home_track_file(name).c_str());
    std::remove(home_track_file("edinfo").c_str());
    Editor::TearDown();
  }
  std::map<std::string, std::string> files() {
    std::map<std::string, std::string> out;
    for (const char* name : saved) out[name] = test_read_file(home_track_file(name));
    return out;
  }
  static bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }
  sample_track track_;
};

TEST_F(EditorSave, SavingWritesTheSetAndClearsTheModifiedValue) {
  track_field.change_flags = 7;
  EXPECT_EQ(tap('s'), 1);
  EXPECT_STREQ(editor.message, "Saved!");
  EXPECT_EQ(track_field.change_flags, 5);
  for (const auto& f : files()) EXPECT_FALSE(f.second.empty()) << f.first;
  EXPECT_FALSE(exists(home_track_file(".saving")));
  // The objects come back as the generator wrote them, number for number.
  for (const char* name : {"billboards", "timing_gates", "statues"}) {
    auto unbracketed = [](std::string text) {
      for (char& c : text)
        if (c == '[' || c == ']') c = ' ';
      return text;
    };
    std::istringstream made(unbracketed(test_read_file(std::string(std::getenv("BK_HOME")) + "/quarrybend/" + name)));
    std::istringstream saved_file(unbracketed(test_read_file(home_track_file(name))));
    std::string a, b;
    int tokens = 0;
    while (made >> a) {
      ASSERT_TRUE(saved_file >> b) << name << " ends early after " << tokens;
      char* end_a;
      char* end_b;
      const double x = std::strtod(a.c_str(), &end_a), y = std::strtod(b.c_str(), &end_b);
      if (*end_a == 0 && *end_b == 0 && end_a != a.c_str())
        EXPECT_NEAR(x, y, 1e-3) << name << " token " << tokens;
      else
        EXPECT_EQ(a, b) << name << " token " << tokens;
      tokens++;
    }
    EXPECT_FALSE(saved_file >> b) << name << " has more: " << b;
  }
}

TEST_F(EditorSave, AFileThatCannotBeReplacedLeavesTheOldSet) {
  ASSERT_EQ(editor_save(), 1);
  const auto before = files();
  for (const char* name : saved) {
    const std::string path = home_track_file(name);
    ASSERT_EQ(std::remove(path.c_str()), 0);
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
    editor_set_height(&track_field, 100, 100, track_field.heights[100 + track_field.size * 100] + 3);
    const int first = message_ring.write_index;
    EXPECT_EQ(editor_save(), 0) << name;
    EXPECT_STREQ(editor.message, "Save failed!");
    EXPECT_EQ(track_field.change_flags & 2, 2);
    std::string console;
    for (int k = first; k != message_ring.write_index; k = (k + 1) % message_ring_size)
      console += message_ring.lines[k];
    EXPECT_NE(console.find(name), std::string::npos) << console;
    EXPECT_FALSE(exists(home_track_file(".saving"))) << name;
    ::rmdir(path.c_str());
    for (const auto& f : before)
      if (f.first != name) {
        EXPECT_EQ(test_read_file(home_track_file(f.first)), f.second) << name << ": " << f.first;
      }
    // Put the old file back for the next round.
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(before.at(name).data(), 1, before.at(name).size(), out);
    std::fclose(out);
  }
}

// The save stops dead (as a kill would stop it) after each step in turn:
// each file staged, the journal, each file moved. The next load of the
// track finds the whole old set or the whole new one, says which in the
// log, and leaves no staging folder.
int kill_at_step = 0;
int steps_taken = 0;
void die_at_step(const char*) {
  if (++steps_taken == kill_at_step) _exit(0);
}

TEST_F(EditorSave, ASaveKilledAtAnyStepIsFinishedOrUndoneAtTheNextLoad) {
  const int cell = 100 + track_field.size * 100;
  const float old_height = track_field.heights[cell];
  ASSERT_EQ(editor_save(), 1);
  const auto old_set = files();
  editor_set_height(&track_field, 100, 100, old_height + 3);
  ASSERT_EQ(editor_save(), 1);
  const auto new_set = files();
  ASSERT_NE(old_set.at("terrain.png"), new_set.at("terrain.png"));
  auto put_back_old_set = [&] {
    for (const auto& f : old_set) {
      std::FILE* out = std::fopen(home_track_file(f.first).c_str(), "wb");
      ASSERT_NE(out, nullptr);
      std::fwrite(f.second.data(), 1, f.second.size(), out);
      std::fclose(out);
    }
  };
  int finished = 0, undone = 0;
  for (kill_at_step = 1;; kill_at_step++) {
    put_back_old_set();
    editor_free();
    free_track_data();
    free_terrain(&track_field);
    ASSERT_EQ(load_track(), 1);
    editor_set_height(&track_field, 100, 100, old_height + 3);
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      steps_taken = 0;
      file_set_step_hook = die_at_step;
      _exit(editor_save() == 1 ? 3 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) break;  // the save ran through before the stop
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the save failed at step " << kill_at_step;
    ASSERT_TRUE(exists(home_track_file(".saving")) || exists(home_track_file(".saving.done"))) << kill_at_step;
    const int first = message_ring.write_index;
    editor_free();
    free_track_data();
    free_terrain(&track_field);
    ASSERT_EQ(load_track(), 1);
    std::string console;
    for (int k = first; k != message_ring.write_index; k = (k + 1) % message_ring_size)
      console += message_ring.lines[k];
    const auto now = files();
    EXPECT_FALSE(exists(home_track_file(".saving"))) << kill_at_step;
    EXPECT_FALSE(exists(home_track_file(".saving.done"))) << kill_at_step;
    if (now == new_set) {
      finished++;
      EXPECT_NE(console.find("Finished the interrupted save of '@quarrybend'"), std::string::npos) << console;
      EXPECT_NEAR(track_field.heights[cell], old_height + 3, 0.01);
    } else {
      undone++;
      EXPECT_TRUE(now == old_set) << "a mixed set after a stop at step " << kill_at_step;
      EXPECT_NE(console.find("Undid the interrupted save of '@quarrybend'"), std::string::npos) << console;
      EXPECT_NEAR(track_field.heights[cell], old_height, 0.01);
    }
  }
  // Stops before the journal undo the save, stops after it finish it.
  EXPECT_GE(undone, 5);
  EXPECT_GE(finished, 10);
}

// A full disk at any file of the save names the file and the reason, and
// leaves nothing behind.
TEST_F(EditorSave, AFullDiskNamesTheFileAndTheReason) {
  const std::string staging = home_track_file(".saving");
  ASSERT_TRUE(editor_new_gradient());  // so that edinfo has a line to write
  ::mkdir((std::string(test_root()) + "/xdg").c_str(), 0755);
  ::mkdir((std::string(test_root()) + "/xdg/Brakkan").c_str(), 0755);
  ::mkdir(home_track_file("").c_str(), 0755);
  for (const char* name : {"billboards", "timing_gates", "terrain.hf", "terrain.png", "shading.ppm", "shadingx2.ppm",
                           "tilemap", "statues", "edinfo"}) {
    ASSERT_EQ(::mkdir(staging.c_str(), 0755), 0) << name;
    ASSERT_EQ(::symlink("/dev/full", (staging + "/" + name).c_str()), 0) << name;
    const int first = message_ring.write_index;
    EXPECT_EQ(editor_save(), 0) << name;
    std::string console;
    for (int k = first; k != message_ring.write_index; k = (k + 1) % message_ring_size)
      console += message_ring.lines[k];
    EXPECT_NE(console.find("Error writing '" + std::string(name) + "': No space left on device"), std::string::npos)
        << console;
    EXPECT_FALSE(exists(staging)) << name;
    ::unlink((staging + "/" + name).c_str());
    ::rmdir(staging.c_str());
  }
}

TEST_F(EditorSave, ALockedTrackIsNotSaved) {
  track_field.save_lock = 1;
  track_field.change_flags = 7;
  tap('s');
  EXPECT_STREQ(editor.message, "Track is locked - not saved");
  EXPECT_EQ(track_field.change_flags, 7);
  for (const auto& f : files()) EXPECT_TRUE(f.second.empty()) << f.first;
  EXPECT_FALSE(exists(home_track_file(".saving")));
}

}  // namespace
