#include "terrain/terrain_edit.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>
#include <utility>

#include "terrain/bitmap.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "terrain/terrain_lod.h"

namespace {

height_field field;

struct TerrainEdit : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(terrain_create(&field, 7, 2.0f), 1);
    clear_bits();
  }
  void TearDown() override { free_terrain(&field); }
  static void clear_bits() {
    const int64_t vertices = (int64_t)field.size * field.size;
    std::memset(field.vertex_dirty, 0, (size_t)bitmap_bytes(vertices));
    std::memset(field.triangle_dirty, 0, (size_t)bitmap_bytes(terrain_triangle_count(&field)));
  }
  static std::set<std::pair<int, int>> dirty_vertices() {
    std::set<std::pair<int, int>> out;
    for (int j = 0; j < field.size; j++)
      for (int i = 0; i < field.size; i++)
        if (bitmap_test(field.vertex_dirty, i + (int64_t)field.size * j)) out.insert({i, j});
    return out;
  }
  // Set triangle bits as (triangle column, cell row).
  static std::set<std::pair<int, int>> dirty_triangles() {
    std::set<std::pair<int, int>> out;
    const int per_row = 2 * field.size - 2;
    for (int j = 0; j < field.size - 1; j++)
      for (int t = 0; t < per_row; t++)
        if (bitmap_test(field.triangle_dirty, t + (int64_t)per_row * j)) out.insert({t, j});
    return out;
  }
};

TEST_F(TerrainEdit, MarksTheVerticesAndTrianglesRoundTheEditInsideTheGrid) {
  const int last = field.size - 1;
  const struct {
    int column, row;
  } cases[] = {{10, 20}, {0, 0}, {last, last}, {0, 7}, {last, 3}, {5, last}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.column << "," << c.row);
    clear_bits();
    ASSERT_EQ(terrain_set_height(&field, c.column, c.row, 3.0f), 1);
    std::set<std::pair<int, int>> want_vertices;
    for (int j = c.row - 1; j <= c.row + 1; j++)
      for (int i = c.column - 1; i <= c.column + 1; i++)
        if (i >= 0 && j >= 0 && i <= last && j <= last) want_vertices.insert({i, j});
    EXPECT_EQ(dirty_vertices(), want_vertices);
    // Every triangle that has the vertex as a corner is marked, and the
    // marking stays inside the grid.
    const std::set<std::pair<int, int>> triangles = dirty_triangles();
    for (int j = c.row - 1; j <= c.row; j++)
      for (int i = c.column - 1; i <= c.column; i++) {
        if (i < 0 || j < 0 || i >= last || j >= last) continue;
        EXPECT_TRUE(triangles.count({2 * i, j}) && triangles.count({2 * i + 1, j})) << "cell " << i << "," << j;
      }
    for (const auto& t : triangles) {
      EXPECT_GE(t.first, 2 * c.column - 2);
      EXPECT_LE(t.first, 2 * c.column + 1);
      EXPECT_GE(t.second, c.row - 1);
      EXPECT_LE(t.second, c.row);
    }
  }
}

TEST_F(TerrainEdit, WidensTheRangeAndFlagsTheChange) {
  field.min_height = 0.0f;
  field.max_height = 1.0f;
  ASSERT_EQ(terrain_set_height(&field, 4, 4, 7.5f), 1);
  ASSERT_EQ(terrain_set_height(&field, 5, 4, -2.0f), 1);
  ASSERT_EQ(terrain_set_height(&field, 6, 4, 0.5f), 1);  // never narrows
  EXPECT_EQ(field.max_height, 7.5f);
  EXPECT_EQ(field.min_height, -2.0f);
  EXPECT_EQ(field.change_flags, 7);
  EXPECT_EQ(terrain_height(&field, 8.0f, 8.0f), 7.5f);
  // The normals follow the edit once the dirty triangles are read again.
  float normal[3];
  terrain_vertex_normal(&field, 3, 4, normal);
  EXPECT_LT(normal[0], -0.5f);
}

TEST_F(TerrainEdit, OutsideTheGridOrUnderTheLockNothingChanges) {
  const int r = field.size;
  const struct {
    int column, row;
  } outside[] = {{-1, 0}, {0, -1}, {r, 0}, {0, r}, {INT_MIN, INT_MAX}};
  for (const auto& c : outside) EXPECT_EQ(terrain_set_height(&field, c.column, c.row, 1.0f), 0);
  EXPECT_EQ(field.change_flags, 0);
  field.edit_lock = 1;
  for (int k = 0; k < 50; k++) EXPECT_EQ(terrain_set_height(&field, k, k, 9.0f), 0);
  EXPECT_EQ(field.change_flags, 0);
  EXPECT_EQ(field.max_height, 0.0f);
  EXPECT_TRUE(dirty_vertices().empty());
  EXPECT_TRUE(dirty_triangles().empty());
  for (int k = 0; k < r * r; k++) ASSERT_EQ(field.heights[k], 0.0f);
}

TEST_F(TerrainEdit, AnEditDuringALodPassDoesNotRestartIt) {
  ASSERT_EQ(terrain_lod_refresh(&field, INT_MAX), 1);
  // Vertex (65, 65) is the centre of finest node (32, 32).
  const float flat = field.lod_node_data_a[terrain_lod_node_index(7, 32, 32)];
  field.edit_count++;
  ASSERT_EQ(terrain_lod_refresh(&field, 500), 0);
  const int level = field.lod_level, row = field.lod_row;
  ASSERT_EQ(terrain_set_height(&field, 65, 65, 20.0f), 1);
  field.edit_count++;
  ASSERT_EQ(terrain_lod_refresh(&field, 50), 0);
  // Still the same pass, a little further on.
  EXPECT_EQ(field.lod_pass_target, -(field.edit_count - 1));
  EXPECT_TRUE(field.lod_level < level || (field.lod_level == level && field.lod_row >= row));
  while (!terrain_lod_refresh(&field, 8000)) {
  }
  EXPECT_EQ(field.lod_pass_target, field.edit_count - 1);
  // The next call serves the edit with a pass of its own, which sees it.
  while (!terrain_lod_refresh(&field, 8000)) {
  }
  EXPECT_EQ(field.lod_pass_target, field.edit_count);
  EXPECT_GT(field.lod_node_data_a[terrain_lod_node_index(7, 32, 32)], 4 * flat);
}

}  // namespace
