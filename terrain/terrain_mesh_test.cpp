#include "terrain/terrain_mesh.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <map>
#include <tuple>
#include <utility>

#include "terrain/bitmap.h"
#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "terrain/terrain_lod.h"

namespace {

height_field field;

struct TerrainMesh : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(terrain_create(&field, 8, 2.0f), 1);
    // Rough ground in one corner, gentle elsewhere: the error data refines
    // the corner from afar.
    for (int j = 0; j < field.size; j++)
      for (int i = 0; i < field.size; i++) {
        float h = 3.0f * std::sin(i * 0.05f) * std::cos(j * 0.04f);
        if (i < 60 && j < 60) h += ((i * 7 + j * 13) % 5) * 0.8f;
        field.heights[i + field.size * j] = h;
      }
    field.min_height = -3.0f;
    field.max_height = 7.0f;
    field.lod_setting = 0.0025f;
    ASSERT_EQ(terrain_lod_refresh(&field, INT_MAX), 1);
  }
  void TearDown() override { free_terrain(&field); }
  static int refined(int level, int x, int z) {
    const int side = 1 << level;
    if (x < 0 || z < 0 || x >= side || z >= side) return 1;  // nothing beyond the grid to keep in step
    return bitmap_test(field.lod_node_bits, terrain_lod_node_index(level, x, z));
  }
  static void look(float x, float y, float z, float dx, float dy, float dz) {
    field.camera_position[0] = x;
    field.camera_position[1] = y;
    field.camera_position[2] = z;
    field.camera_direction[0] = dx;
    field.camera_direction[1] = dy;
    field.camera_direction[2] = dz;
  }
};

// A refined node is drawn at its children's scale, so its parent and the
// parents of the same-level neighbours across its edges must be refined too: then no drawn
// quadrant borders one more than a level coarser.
TEST_F(TerrainMesh, RefinementIsRestrictedForEveryCameraPlace) {
  const float e = field.extent;
  const float places[][2] = {{0, 0},         {e / 2, e / 2}, {e - 1, e - 1}, {e, 0},         {3, e / 3},
                             {e * 0.9f, 17}, {-200, -300},   {e + 500, e / 2}, {130.5f, 131.5f}, {e / 4, e * 0.77f}};
  for (const auto& p : places) {
    SCOPED_TRACE(testing::Message() << "camera " << p[0] << "," << p[1]);
    look(p[0], 20.0f, p[1], 0.0f, -1.0f, 0.0f);
    terrain_refine(&field);
    int refined_count = 0;
    for (int level = 1; level <= field.n; level++) {
      const int side = 1 << level;
      for (int z = 0; z < side; z++)
        for (int x = 0; x < side; x++) {
          if (!bitmap_test(field.lod_node_bits, terrain_lod_node_index(level, x, z))) continue;
          refined_count++;
          ASSERT_TRUE(refined(level - 1, x >> 1, z >> 1)) << "level " << level << " node " << x << "," << z;
          static const int across[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
          for (const auto& a : across)
              ASSERT_TRUE(refined(level - 1, (x + a[0]) >> 1, (z + a[1]) >> 1))
                  << "level " << level << " node " << x << "," << z << " neighbour " << a[0] << "," << a[1];
        }
    }
    EXPECT_GT(refined_count, 16);
    // The camera's own finest node is always refined, when over the field.
    const int cx = field.lod_centre[0], cz = field.lod_centre[1];
    if (cx >= 0 && cz >= 0 && cx < field.size - 1 && cz < field.size - 1) {
      EXPECT_TRUE(refined(field.n, cx >> 1, cz >> 1));
    }
  }
}

TEST_F(TerrainMesh, TheClampOfTheCoarsestWindowsDoesNotInvert) {
  // Level 1 has 2 x 2 nodes; a window of 4 must still start at 0.
  for (int centre : {-1000000, 0, 100, 511, 100000}) {
    for (int level = 0; level < lod_texture_levels; level++) {
      const int origin = lod_window_origin(centre, level, field.n);
      EXPECT_GE(origin, 0);
      EXPECT_LE(origin, (1 << (field.n - level)) - 4);
    }
  }
  look(-5000, 10, -5000, 0, -1, 0);
  terrain_refine(&field);
  for (int x = 0; x < 2; x++)
    for (int z = 0; z < 2; z++) EXPECT_TRUE(refined(1, x, z));
}

struct collected {
  std::map<std::tuple<int, int, int, int>, int> edges;  // undirected, in grid units
  double area = 0.0;
  int fans = 0;
};

void collect(void* context, const terrain_fan* fan) {
  collected* c = (collected*)context;
  c->fans++;
  auto grid = [](const float* p) { return std::make_pair((int)std::lround(p[0] / 2.0f), (int)std::lround(p[2] / 2.0f)); };
  for (int k = 1; k + 1 < fan->count; k++) {
    const std::pair<int, int> v[3] = {grid(fan->position[0]), grid(fan->position[k]), grid(fan->position[k + 1])};
    c->area += std::fabs((double)(v[1].first - v[0].first) * (v[2].second - v[0].second) -
                         (double)(v[2].first - v[0].first) * (v[1].second - v[0].second)) /
               2.0;
    for (int e = 0; e < 3; e++) {
      std::pair<int, int> a = v[e], b = v[(e + 1) % 3];
      if (b < a) std::swap(a, b);
      c->edges[std::make_tuple(a.first, a.second, b.first, b.second)]++;
    }
  }
  for (int k = 0; k < fan->count; k++) {
    EXPECT_GE(fan->texcoord[k][0], 0.0f);
    EXPECT_LE(fan->texcoord[k][0], 1.0f);
    EXPECT_GE(fan->texcoord[k][1], 0.0f);
    EXPECT_LE(fan->texcoord[k][1], 1.0f);
  }
}

// Looking straight down nothing is culled: the fans cover the field once,
// and every edge inside it is shared by exactly two triangles (a T-junction
// would leave an edge with one).
TEST_F(TerrainMesh, FansCoverTheFieldWithoutCracks) {
  const float e = field.extent;
  const float places[][2] = {{e / 2, e / 2}, {10, 10}, {e - 3, 40}};
  for (const auto& p : places) {
    SCOPED_TRACE(testing::Message() << "camera " << p[0] << "," << p[1]);
    look(p[0], 50.0f, p[1], 0.0f, -1.0f, 0.0f);
    terrain_refine(&field);
    collected c;
    const terrain_fan_sink sink = {&c, collect};
    terrain_emit_fans(&field, &sink);
    const int cells = field.size - 1;
    EXPECT_DOUBLE_EQ(c.area, (double)cells * cells);
    int single = 0;
    for (const auto& edge : c.edges) {
      int a, b, cc, d;
      std::tie(a, b, cc, d) = edge.first;
      const bool border = (a == cc && (a == 0 || a == cells)) || (b == d && (b == 0 || b == cells));
      if (edge.second != (border ? 1 : 2)) single++;
    }
    EXPECT_EQ(single, 0);
    EXPECT_GT(field.drawn_vertex_count, c.fans * 3);
  }
}

TEST_F(TerrainMesh, NodesBehindTheCameraAreNotDrawn) {
  const float e = field.extent;
  look(e / 2, 10.0f, e / 2, 1.0f, 0.0f, 0.0f);  // looking along +x
  terrain_refine(&field);
  collected c;
  const terrain_fan_sink sink = {&c, collect};
  terrain_emit_fans(&field, &sink);
  EXPECT_GT(c.area, 0.0);
  EXPECT_LT(c.area, 0.7 * (field.size - 1) * (field.size - 1));
  for (const auto& edge : c.edges) EXPECT_GE(std::max(std::get<0>(edge.first), std::get<2>(edge.first)) * 2.0f, e / 2 - e / 4);
}

}  // namespace
