#include "race/scene_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "terrain/track_lighting.h"

namespace {

TEST(SceneMath, GhostFadeAcrossTheFadeDistance) {
  struct {
    double d, fade_distance;
    float fade;
  } const cases[] = {
      {0, 40, 0},    {19.9, 40, 0},  {20, 40, 0}, {30, 40, 0.5f}, {40, 40, 1},
      {400, 40, 1},  {0, 0, 1},      {5, -3, 1},  {5, std::nan(""), 1},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(ghost_fade(c.d, c.fade_distance), c.fade, 1e-6) << c.d << " of " << c.fade_distance;
}

TEST(SceneMath, ClipPlanesKeepAFrustum) {
  const track_lighting saved = lighting;
  lighting.near_plane = 0.5f;
  lighting.far_plane = 0.5f;  // the loader's clamps allow this
  float n, f;
  scene_clip_planes(&n, &f);
  EXPECT_EQ(n, 0.5f);
  EXPECT_EQ(f, 1.5f);
  EXPECT_TRUE(std::isfinite(linear_depth(0.7, n, f)));
  lighting.far_plane = 4000;
  scene_clip_planes(&n, &f);
  EXPECT_EQ(f, 4000.0f);
  lighting = saved;
}

TEST(SceneMath, DepthKeysClampInto32Bits) {
  EXPECT_EQ(depth_key(0), 16777216u);
  EXPECT_EQ(depth_key(1), 16777216u + 1024u);
  EXPECT_EQ(depth_key(-1.0 / 2048), 16777216u - 1u);  // floor, not truncation
  EXPECT_EQ(depth_key(-1e9), 0u);
  EXPECT_EQ(depth_key(1e12), 4294967295u);
  EXPECT_EQ(depth_key(std::nan("")), 0u);
}

billboard_view board(float x, float z, float width, uint32_t texture) {
  return {x, 0, z, width, 2, texture, 255};
}

// The camera at the origin looking along -z (back axis +z).
const float back_z[3] = {0, 0, 1};
const float origin[3] = {0, 0, 0};

std::vector<int32_t> listed(const std::vector<billboard_view>& boards, size_t widened, const float back[3],
                            const float camera[3], std::vector<uint32_t>* keys = nullptr) {
  std::vector<int32_t> list(boards.size());
  std::vector<uint32_t> k(boards.size());
  list.resize(billboard_cull(boards.data(), boards.size(), widened, back, camera, list.data(), k.data()));
  std::vector<int32_t> scratch(list.size());
  radix_sort_by_key(list.data(), list.size(), k.data(), scratch.data());
  if (keys) *keys = k;
  return list;
}

TEST(SceneMath, BillboardsInFrontAreListedFarthestFirst) {
  std::vector<billboard_view> boards = {
      board(0, -10, 1, 1), board(0, 5, 1, 1),   // behind
      board(0, -100, 1, 1), board(1, -50, 1, 0),  // no texture
      board(0, -30, 1, 1),
  };
  boards.push_back(board(0, -20, 1, 1));
  boards.back().alpha = 0;
  boards.push_back(board(std::nanf(""), -20, 1, 1));
  boards.push_back(board(0, -std::numeric_limits<float>::infinity(), 1, 1));
  EXPECT_EQ(listed(boards, 0, back_z, origin), (std::vector<int32_t>{2, 4, 0}));
}

TEST(SceneMath, TheFirstBillboardsAreKeyedWithTheirWidth) {
  // Two billboards just in front of the camera, each 4 ft wide: with the
  // width the first counts as behind; the 2001st is keyed without it.
  std::vector<billboard_view> boards(2001, board(0, -1, 4, 0));
  boards[0].texture = 1;
  boards[2000].texture = 1;
  std::vector<uint32_t> keys;
  EXPECT_EQ(listed(boards, 2000, back_z, origin, &keys), (std::vector<int32_t>{2000}));
  EXPECT_EQ(keys[2000], depth_key(-1));
  boards[0].z = -5;
  listed(boards, 2000, back_z, origin, &keys);
  EXPECT_EQ(keys[0], depth_key(-5 + 4));
}

TEST(SceneMath, ACameraLookingStraightUpListsNone) {
  const std::vector<billboard_view> boards = {board(0, -10, 1, 1), board(3, 10, 1, 1)};
  const float up[3] = {0, -1, 0}, down[3] = {0, 1, 0};
  EXPECT_TRUE(listed(boards, 0, up, origin).empty());
  EXPECT_TRUE(listed(boards, 0, down, origin).empty());
}

TEST(SceneMath, RadixSortIsStableOverAllFourBytes) {
  const uint32_t keys[] = {0x01000000, 0x00ff00ff, 0x00000001, 0x01000000, 0xffffffff, 0x00010000, 0x00000001};
  std::vector<int32_t> list = {0, 1, 2, 3, 4, 5, 6}, scratch(7);
  radix_sort_by_key(list.data(), list.size(), keys, scratch.data());
  EXPECT_EQ(list, (std::vector<int32_t>{2, 6, 5, 1, 0, 3, 4}));
}

std::vector<int32_t> regrouped(const std::vector<billboard_view>& boards, int lookahead) {
  std::vector<int32_t> list;
  for (size_t i = 0; i < boards.size(); i++) list.push_back((int32_t)i);
  billboard_regroup(list.data(), list.size(), boards.data(), lookahead, back_z, origin);
  return list;
}

TEST(SceneMath, RegroupingKeepsOverlapsInOrder) {
  // In list (far to near) order. Texture 7 at 0 and 2, texture 9 between.
  // Apart: the 9 lies off to the side of the second 7, which moves up.
  std::vector<billboard_view> apart = {board(0, -40, 2, 7), board(20, -30, 2, 9), board(0, -20, 2, 7)};
  EXPECT_EQ(regrouped(apart, 8), (std::vector<int32_t>{0, 2, 1}));
  // Overlapping: the 9 stands right behind the second 7 as seen from the
  // camera, so the order must stay.
  std::vector<billboard_view> covered = {board(0, -40, 2, 7), board(0.5f, -30, 2, 9), board(0, -20, 2, 7)};
  EXPECT_EQ(regrouped(covered, 8), (std::vector<int32_t>{0, 1, 2}));
  // Adjacent equal textures are left as they are.
  std::vector<billboard_view> adjacent = {board(0, -40, 2, 7), board(0, -30, 2, 7), board(30, -20, 2, 9)};
  EXPECT_EQ(regrouped(adjacent, 8), (std::vector<int32_t>{0, 1, 2}));
  // Beyond the lookahead nothing is found; a lookahead of 1 does nothing.
  std::vector<billboard_view> far = {board(0, -50, 2, 7), board(20, -40, 2, 9), board(-20, -35, 2, 8),
                                     board(0, -20, 2, 7)};
  EXPECT_EQ(regrouped(far, 3), (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_EQ(regrouped(far, 4), (std::vector<int32_t>{0, 3, 1, 2}));
  EXPECT_EQ(regrouped(apart, 1), (std::vector<int32_t>{0, 1, 2}));
}

TEST(SceneMath, StartFlaggerSchedule) {
  // e = 5 s; walk 2 s.
  struct {
    double t, walk;
    float along;
    int texture;
  } const cases[] = {
      {0, 2, 0, 0},     {5.05, 2, 0, 0},  {5.1, 2, 0, 1},   {5.39, 2, 0, 1},  {5.4, 2, 0, 2},
      {5.99, 2, 0, 2},  {6, 2, 0, 3},     {7, 2, 0.5f, 3},  {8, 2, 1, 4},     {30, 2, 1, 4},
      // A walk of no time: a jump at e + 1, straight to the last texture.
      {5.99, 0, 0, 2},  {6, 0, 1, 4},     {6, -1, 1, 4},    {5.5, std::nan(""), 0, 2},
      {6, std::nan(""), 1, 4},           {6, std::numeric_limits<double>::infinity(), 1, 4},
  };
  for (const auto& c : cases) {
    float along = -1;
    int texture = -1;
    start_flagger_at(c.t, 640, c.walk, &along, &texture);
    EXPECT_NEAR(along, c.along, 1e-6) << "t " << c.t << " walk " << c.walk;
    EXPECT_EQ(texture, c.texture) << "t " << c.t << " walk " << c.walk;
  }
}

TEST(SceneMath, FinishFlagOverLapsAndTime) {
  struct {
    int laps_done, finish_lap, race_laps, time_up, completed, half_way;
    int flag;
  } const cases[] = {
      // A race of 5 laps.
      {0, 5, 5, 0, 0, 3, lap_flag_green},
      {3, 5, 5, 0, 1, 3, lap_flag_half_way},
      {4, 5, 5, 0, 1, 3, lap_flag_white},
      {5, 5, 5, 0, 1, 3, lap_flag_chequered},
      // Minutes plus one lap: time ran out as the rider completed lap 2.
      {2, 1000000, 1, 1, 1, 1000000, lap_flag_white},
      // ... and once the race logic has fixed the finishing lap at 3.
      {3, 3, 1, 1, 1, 1000000, lap_flag_chequered},
      // Time is up but the rider is mid-lap: the total stays.
      {2, 1000000, 1, 1, 0, 1000000, lap_flag_green},
      // Minutes only (0 extra laps): chequered at the first lap line after.
      {2, 1000000, 0, 1, 1, 1000000, lap_flag_chequered},
  };
  for (const auto& c : cases) {
    const int total = lap_total(c.laps_done, c.finish_lap, c.race_laps, c.time_up, c.completed);
    EXPECT_EQ(lap_flag(c.laps_done, total, c.half_way), c.flag)
        << c.laps_done << " laps, finish " << c.finish_lap << " time up " << c.time_up;
  }
}

TEST(SceneMath, FlareVisibilityAndScreenPoint) {
  const float xe = 1.0711f, ye = 0.8033f;
  struct {
    float c[3];
    int visible;
  } const cases[] = {
      {{0, 0, -10}, 1},    {{10.7f, 0, -10}, 1}, {{10.8f, 0, -10}, 0}, {{0, -8.0f, -10}, 1},
      {{0, 8.1f, -10}, 0}, {{0, 0, 10}, 0},      {{0, 0, 0}, 0},       {{0, 0, -0.0f}, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(flare_in_view(c.c, xe, ye), c.visible) << c.c[0] << " " << c.c[1] << " " << c.c[2];

  const float middle[3] = {0, 0, -5};
  float s[2];
  int px, py;
  ASSERT_TRUE(flare_pixel(middle, xe, ye, 640, 480, s, &px, &py));
  EXPECT_EQ(px, 320);
  EXPECT_EQ(py, 240);
  // The right edge lands on the window's width: outside.
  const float edge[3] = {xe * 5, 0, -5};
  EXPECT_FALSE(flare_pixel(edge, xe, ye, 640, 480, s, &px, &py));
}

TEST(SceneMath, FlareDepthIsLinear) {
  const double n = 0.5, f = 4000;
  EXPECT_NEAR(linear_depth(0, n, f), 0, 1e-9);
  EXPECT_NEAR(linear_depth(1, n, f), 1, 1e-9);
  // The depth buffer value of a point 2000.25 ft out maps back to half way.
  const double d = 2000.25, depth = (f / (f - n)) * (1 - n / d);
  EXPECT_NEAR(linear_depth(depth, n, f), 0.5, 1e-9);

  EXPECT_TRUE(flare_depth_visible(1, 0.4, -1e6, n, f));
  EXPECT_FALSE(flare_depth_visible(1, 0.39, -1e6, n, f));
  // A point 100 ft out: hidden by anything nearer, shown over anything as far.
  const double own = (100 - n) / (f - n);
  EXPECT_TRUE(flare_depth_visible(0, own, -100, n, f));
  EXPECT_FALSE(flare_depth_visible(0, own - 0.001, -100, n, f));
  EXPECT_TRUE(flare_depth_visible(0, 0, -0.1, n, f));  // nearer than the near plane
}

TEST(SceneMath, FlareFadesOverTheLastBandBeforeEachEdge) {
  const float xe = 1.0f, ye = 0.75f, band = 0.75f / 32;
  struct {
    float s[2];
    float intensity;
  } const cases[] = {
      {{0, 0}, 1},          {{1 - band, 0}, 1},        {{1 - band / 2, 0}, 0.5f}, {{1, 0}, 0},
      {{0, -0.75f}, 0},     {{0, 0.75f - band / 4}, 0.25f},
      {{1 - band / 2, 0.75f - band / 4}, 0.25f},  // the smaller of the two
  };
  for (const auto& c : cases)
    EXPECT_NEAR(flare_edge_intensity(c.s, xe, ye), c.intensity, 1e-4) << c.s[0] << ", " << c.s[1];
}

}  // namespace

namespace {

TEST(SceneMath, FacingBasisKeepsItsBasisUnderTheCamera) {
  float basis[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(facing_basis(basis, 0, 0), 0);
  EXPECT_EQ(facing_basis(basis, 1e-5f, -1e-5f), 0);
  EXPECT_EQ(basis[0], 1);
  ASSERT_EQ(facing_basis(basis, 3, 4), 1);
  // Forward column towards the camera, up column vertical, all unit and
  // square to each other.
  EXPECT_NEAR(basis[0], 0.6, 1e-6);
  EXPECT_NEAR(basis[6], 0.8, 1e-6);
  EXPECT_EQ(basis[4], 1);
  for (float v : basis) EXPECT_TRUE(std::isfinite(v));
  EXPECT_NEAR(basis[0] * basis[2] + basis[6] * basis[8], 0, 1e-6);
  EXPECT_NEAR(basis[2] * basis[2] + basis[8] * basis[8], 1, 1e-6);
}

}  // namespace
