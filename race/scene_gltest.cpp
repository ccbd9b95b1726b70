// The scene and its views drawn by a real driver (Mesa under Xvfb) on the
// sample track after a race reset: 640 x 480 frames rendered into a
// framebuffer object and read back.
#include "race/scene.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assets/font.h"
#include "assets/gl_ext.h"
#include "assets/model.h"
#include "assets/model_settings.h"
#include "assets/shader.h"
#include "assets/texture.h"
#include "assets/view_extent.h"
#include "assets/view_settings.h"
#include "bike/rider.h"
#include "core/file_index.h"
#include "core/memory.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "platform/window.h"
#include "race/camera_math.h"
#include "race/chase_camera.h"
#include "race/frame_loop.h"
#include "race/game_state.h"
#include "race/listener.h"
#include "race/loop_options.h"
#include "race/projection.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/race_view.h"
#include "race/test_support_race.h"
#include "race/views.h"
#include "terrain/dynamics_world.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/line_library.h"
#include "terrain/shape.h"
#include "terrain/terrain_settings.h"
#include "terrain/track.h"
#include "terrain/track_lighting.h"
#include "terrain/track_objects.h"
#include "tools/testing/gl_frame.h"

namespace {

const int width = 640, height = 480;

using frame = gl_frame;

// Mean colour of a rectangle (rows counted from the top).
void mean(const frame& f, int x0, int y0, int x1, int y1, double out[3]) {
  double s[3] = {0, 0, 0};
  int n = 0;
  for (int y = y0; y < y1; y++)
    for (int x = x0; x < x1; x++, n++)
      for (int c = 0; c < 3; c++) s[c] += f.at(x, y)[c];
  for (int c = 0; c < 3; c++) out[c] = s[c] / n;
}

// Pixels of a rectangle that are near white.
int white_pixels(const frame& f, int x0, int y0, int x1, int y1) {
  return gl_frame_count(f, x0, y0, x1, y1, [](const unsigned char* p) { return p[0] > 235 && p[1] > 235 && p[2] > 235; });
}

// A camera at `from` looking at `to`.
void look_at(const float from[3], const float to[3], float m[9]) {
  const float d[3] = {to[0] - from[0], to[1] - from[1], to[2] - from[2]};
  const float horizontal = std::sqrt(d[0] * d[0] + d[2] * d[2]);
  matrix_from_yaw_pitch(m, std::atan2(d[1], horizontal), std::atan2(d[0], d[2]));
}

// Yaw and pitch of a direction, as the track cameras store them.
void yaw_pitch_of(const float d[3], float* yaw, float* pitch) {
  *yaw = std::atan2(d[0], d[2]);
  *pitch = std::atan2(d[1], std::sqrt(d[0] * d[0] + d[2] * d[2]));
}

class SceneGl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(race_test_make_data()) << "bkdata build failed";
    window_ = gl_window_open("Scene test", 64, 64, 24, 0, 16, 0, 0);
    ASSERT_NE(window_, nullptr);
    gl_load_extensions();
    ASSERT_TRUE(gl_caps.framebuffer_object);
    ground_gl_install();
    glEnable(GL_CULL_FACE);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    asset_generation = 0;
    file_index_build();
    fonts_load();
    ASSERT_EQ(dynamics_open(), 1);
    ASSERT_EQ(scene_arrays_create(), 1);
    race_hooks = {};
    race_clock = {};
    running_order_clear();
    game_state.track_dir = nullptr;
    game_state.connect_target = nullptr;
    track_folder[0] = 0;
    viewed_slot = 0;
    std::snprintf(race_track_choice, sizeof race_track_choice, "quarrybend");
    for (int i = 0; i < 160; i++) rider_slot_kind[i] = 1;
    int line_up[160] = {};
    line_up[0] = line_up_local;
    ASSERT_EQ(reset_session(line_up, 0, 0, 0, 3, 0), 1);
    ASSERT_NE(rider_slots[0], nullptr);
    game_state.fugly = 0;
    lens_flare = 1;
    key_camera_on = 0;
    camera_key_count = 0;
    race_camera_choice = -1;
    clear_debug_markers();

    target_.create(width, height, true);
    ASSERT_TRUE(target_.complete());
  }
  void TearDown() override {
    target_.release();
    for (int i = 0; i < 160; i++) {
      if (rider_slots[i]) rider_destroy(rider_slots[i]);
      rider_slots[i] = nullptr;
    }
    free_track();
    scene_arrays_free();
    shape_free_all();
    model_delete_stale(1);
    texture_delete_stale(1);
    fonts_free();
    shader_delete_all();
    shaders_active = 0;
    free_file_index();
    dynamics_close();
    race_hooks = {};
    gl_window_close(window_);
  }

  // The terrain's framebuffer work may bind its own; every frame draws
  // into ours.
  void begin() {
    target_.bind();
    set_projection(width, height, fov);
    glClearColor(1, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  frame read() {
    target_.bind();
    return gl_frame_read(width, height);
  }
  frame scene(const float position[3], const float m[9], double field = 110) {
    begin();
    draw_scene(position, m, field, -1);
    return read();
  }

  // The frame body's position of a slot's rider.
  void rider_position(int slot, float out[3]) {
    const dReal* p = dBodyGetPosition(rider_frame_body(rider_slots[slot]));
    for (int c = 0; c < 3; c++) out[c] = (float)p[c];
  }
  // A camera `distance` ft from the rider in slot 0, `up` ft above it,
  // aimed at it.
  void camera_on_rider(float distance, float up, float position[3], float m[9]) {
    float at[3];
    rider_position(0, at);
    position[0] = at[0] + distance;
    position[2] = at[2];
    position[1] = std::fmax(at[1] + up, terrain_height(&track_field, position[0], position[2]) + 3);
    look_at(position, at, m);
  }

  window_state* window_ = nullptr;
  gl_target target_;
};

// Sky on top, ground below: the top band (from row `top_row`) is the
// sky's blue, the bottom band not.
void expect_sky_and_ground(const frame& f, const char* what, int top_row = 0) {
  double top[3], bottom[3];
  mean(f, 0, top_row, width, top_row + 40, top);
  mean(f, 0, height - 40, width, height, bottom);
  EXPECT_GT(top[2], top[0] + 30) << what << ": the top is not sky";
  EXPECT_GT(top[2], 150) << what;
  EXPECT_LT(bottom[2], bottom[0] + 30) << what << ": the bottom is not ground";
}

TEST_F(SceneGl, RaceViewFromTheFreeCameraShowsTheRider) {
  float position[3], m[9];
  camera_on_rider(30, 4, position, m);
  const frame first = scene(position, m);
  gl_frame_keep(first, "free_camera_first");
  const frame with = scene(position, m);
  gl_frame_keep(with, "free_camera");
  expect_sky_and_ground(with, "free camera");
  rider* r = rider_slots[0];
  rider_slots[0] = nullptr;
  const frame without = scene(position, m);
  rider_slots[0] = r;
  // The rider stands where the camera points: the middle changes.
  EXPECT_GT(gl_frame_differing(with, without, 280, 200, 360, 280), 600);
  EXPECT_LT(gl_frame_differing(with, without, 0, 0, width, 60), 50) << "the rider shows at the top";

  // The same through the race view, with the free camera placed there.
  place_free_camera(position[0], position[1], position[2]);
  float d[3];
  for (int c = 0; c < 3; c++) d[c] = -m[3 * c + 2];
  yaw_pitch_of(d, &free_camera.yaw, &free_camera.pitch);
  free_camera.fov = 110;
  listener.velocity[0] = 5;
  begin();
  draw_race_view();
  const frame view = read();
  gl_frame_keep(view, "race_view_free");
  EXPECT_LT(gl_frame_differing(view, with), 200);
  EXPECT_EQ(listener.velocity[0], 0);
}

TEST_F(SceneGl, RaceViewFromATrackCameraAndTheKeyCamera) {
  ASSERT_GT(track_cameras.count, 0u);
  track_camera* c = static_cast<track_camera*>(growable_array_at(&track_cameras, 0));
  float at[3];
  rider_position(0, at);
  const float d[3] = {at[0] - c->x, at[1] - c->y, at[2] - c->z};
  yaw_pitch_of(d, &c->yaw, &c->pitch);
  c->fov = 60;
  race_camera_choice = 0;
  begin();
  draw_race_view();
  const frame track = read();
  gl_frame_keep(track, "track_camera");
  // The ticker covers the top rows.
  expect_sky_and_ground(track, "track camera", 60);
  double strip[3];
  mean(track, 0, 8, width, 30, strip);
  EXPECT_LT(strip[0] + strip[1] + strip[2], 60) << "no ticker";
  // The lap box stands at the top right over the picture.
  double box[3];
  mean(track, width - 20, 2, width - 4, 10, box);
  EXPECT_GT(box[1], 200) << "no lap box";
  // With a rider in the running order its number and name boxes show
  // white on the strip.
  EXPECT_LT(white_pixels(track, 0, 4, width - 80, 30), 20);
  running_order.count = 1;
  running_order.entries[0] = {0, 0, 0};
  std::snprintf(rider_names[0], sizeof rider_names[0], "Tester");
  begin();
  draw_race_view();
  const frame named = read();
  gl_frame_keep(named, "ticker");
  EXPECT_GT(white_pixels(named, 0, 4, width - 80, 30), 1000);
  running_order_clear();

  // Key camera: two keys either side of the rider, 30 ft off, aimed at it.
  float from[2][3], m[2][9];
  for (int k = 0; k < 2; k++) {
    const float angle = k ? 0.4f : -0.4f;
    from[k][0] = at[0] + 30 * std::cos(angle);
    from[k][2] = at[2] + 30 * std::sin(angle);
    from[k][1] = std::fmax(at[1] + 4, terrain_height(&track_field, from[k][0], from[k][2]) + 3);
    look_at(from[k], at, m[k]);
  }
  for (int k = 0; k < 2; k++) {
    // The key file's quaternion: of the orientation with its first and
    // third rows negated.
    float r[9];
    std::memcpy(r, m[k], sizeof r);
    for (int i = 0; i < 3; i++) {
      r[i] = -r[i];
      r[6 + i] = -r[6 + i];
    }
    const double w = std::sqrt(std::fmax(0.0, 1 + r[0] + r[4] + r[8])) / 2;
    ASSERT_GT(w, 0.1);
    camera_keys[k] = {{from[k][0], from[k][1], from[k][2]},
                      {(float)((r[7] - r[5]) / (4 * w)), (float)((r[2] - r[6]) / (4 * w)),
                       (float)((r[3] - r[1]) / (4 * w)), (float)w},
                      110,
                      100 + 100 * k};
  }
  camera_key_count = 2;
  key_camera_on = 1;
  race_clock.current_tick = 150;
  begin();
  draw_race_view();
  const frame keyed = read();
  gl_frame_keep(keyed, "key_camera");
  expect_sky_and_ground(keyed, "key camera");
  rider* r = rider_slots[0];
  rider_slots[0] = nullptr;
  begin();
  draw_race_view();
  const frame empty = read();
  rider_slots[0] = r;
  EXPECT_GT(gl_frame_differing(keyed, empty, 280, 200, 360, 280), 600) << "the rider is not where the key camera points";
}

TEST_F(SceneGl, OnBikeViewLooksAheadFromTheHead) {
  listener.velocity[0] = 9;
  begin();
  draw_onbike_view_of(0);
  const frame f = read();
  gl_frame_keep(f, "onbike");
  expect_sky_and_ground(f, "on-bike");
  const dReal* v = dBodyGetLinearVel(rider_frame_body(rider_slots[0]));
  EXPECT_EQ(listener.velocity[0], (float)v[0]);
  float head[3];
  onbike_head_point(first_person_height, head);
  dVector3 p;
  dBodyGetRelPointPos(rider_frame_body(rider_slots[0]), head[0], head[1], head[2], p);
  for (int c = 0; c < 3; c++) EXPECT_NEAR(eye_position[c], p[c], 1e-4);
}

TEST_F(SceneGl, OrientationLinesStayOffARecordedVideo) {
  game_state.print_orientation = 1;
  for (int recording : {0, 1}) {
    loop_options.record_video = recording;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    begin();
    draw_onbike_view_of(0);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ((recording ? err : out).rfind("t=0.000000 p0=", 0), 0u) << "recording " << recording;
    EXPECT_EQ((recording ? out : err).find("t="), std::string::npos) << "recording " << recording;
  }
  loop_options.record_video = 0;
  game_state.print_orientation = 0;
}

TEST_F(SceneGl, EveryCompositorModeTexturesTheGround) {
  float position[3], m[9];
  camera_on_rider(30, 4, position, m);
  for (int mode : {1, 2, 3}) {
    free_track();
    render_texture_mode = mode;
    int line_up[160] = {};
    line_up[0] = line_up_local;
    ASSERT_EQ(reset_session(line_up, 0, 0, 0, 3, 0), 1);
    ASSERT_EQ(track_field.texture_mode, mode);
    frame f;
    for (int k = 0; k < 3; k++) f = scene(position, m);
    char name[32];
    std::snprintf(name, sizeof name, "ground_mode%d", mode);
    gl_frame_keep(f, name);
    // The near ground is grass or dirt, not the white of an untextured
    // lit surface nor the clear colour.
    double ground[3];
    mean(f, 0, height - 100, width, height, ground);
    EXPECT_LT(ground[2], ground[1]) << "mode " << mode;
    EXPECT_LT(ground[0] + ground[1] + ground[2], 450) << "mode " << mode;
    EXPECT_GT(ground[0] + ground[1] + ground[2], 120) << "mode " << mode;
  }
  render_texture_mode = 1;
}

// A rock in the lit pass, with and without shader programs (with them it
// has its normal map once the track loads again).
TEST_F(SceneGl, StatuesDrawWithAndWithoutShaders) {
  for (int use : {0, 1}) {
    if (use) {
      ASSERT_EQ(shaders_activate(1), 1);
      free_track();
      int line_up[160] = {};
      line_up[0] = line_up_local;
      ASSERT_EQ(reset_session(line_up, 0, 0, 0, 3, 0), 1);
    }
    const statue* rock = nullptr;
    for (size_t i = 0; i < statues.count && !rock; i++) {
      const char* name = statue_at((int32_t)i)->texture_name;
      if (name && std::strstr(name, "rock")) rock = statue_at((int32_t)i);
    }
    ASSERT_NE(rock, nullptr);
    if (use) {
      ASSERT_NE(rock->normal_texture, 0u);
    }
    const float at[3] = {rock->x, rock->y + 1, rock->z};
    float position[3] = {rock->x + 14, 0, rock->z + 4}, m[9];
    position[1] = std::fmax(at[1] + 3, terrain_height(&track_field, position[0], position[2]) + 3);
    look_at(position, at, m);
    const frame with = scene(position, m);
    gl_frame_keep(with, use ? "statue_shaders" : "statue_fixed");
    const size_t count = statues.count;
    statues.count = 0;
    const frame without = scene(position, m);
    statues.count = count;
    EXPECT_GT(gl_frame_differing(with, without, 220, 140, 420, 340), 1500) << (use ? "shaders" : "fixed function");
  }
  shader_delete_all();
  shaders_active = 0;
}

TEST_F(SceneGl, StatsHoldOneFrameAndTheEyeIsTheCamera) {
  float position[3], m[9];
  camera_on_rider(30, 4, position, m);
  scene(position, m);
  const draw_statistics first = draw_stats;
  const scene_counters counters = scene_stats;
  EXPECT_GT(first.triangles, 0);
  EXPECT_GT(counters.texture_binds, 0);
  EXPECT_GT(counters.billboards_drawn, 0);
  scene(position, m);
  EXPECT_EQ(draw_stats.triangles, first.triangles);
  EXPECT_EQ(draw_stats.vertices, first.vertices);
  EXPECT_EQ(scene_stats.billboards_drawn, counters.billboards_drawn);
  for (int c = 0; c < 3; c++) {
    EXPECT_EQ(eye_position[c], position[c]);
    EXPECT_EQ(listener.position[c], position[c]);
    EXPECT_EQ(track_field.camera_position[c], position[c]);
    EXPECT_FLOAT_EQ(track_field.camera_direction[c], -m[3 * c + 2]);
  }
  for (int i = 0; i < 9; i++) EXPECT_EQ(listener.orientation[i], m[i]);
}

TEST_F(SceneGl, AGhostBetweenHalfAndFullFadeDistanceBlends) {
  // A recorded rider 30 ft from the local one, with a 40 ft fade.
  float at[3];
  rider_position(0, at);
  rider* ghost = rider_create("cr125", 1, 0, "9", nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(ghost, nullptr);
  rider_slots[1] = ghost;
  rider_slot_kind[1] = RIDER_REMOTE;
  place_rider_clear(ghost, at[0], at[2] + 30, 0);
  float g[3];
  rider_position(1, g);
  const double d = std::sqrt((g[0] - at[0]) * (g[0] - at[0]) + (g[1] - at[1]) * (g[1] - at[1]) +
                             (g[2] - at[2]) * (g[2] - at[2]));
  ghost_fade_distance = 40;
  ASSERT_GT(d, 20);
  ASSERT_LT(d, 40);

  float position[3] = {g[0] + 25, 0, g[2]}, m[9];
  position[1] = std::fmax(g[1] + 4, terrain_height(&track_field, position[0], position[2]) + 3);
  look_at(position, g, m);
  const frame blended = scene(position, m);
  gl_frame_keep(blended, "ghost");
  EXPECT_GT(rider_fade[1], 0);
  EXPECT_LT(rider_fade[1], 1);
  EXPECT_EQ(rider_fade[0], 1);
  ghost_fade_distance = 0;  // a legal slider value: everyone drawn fully
  const frame solid = scene(position, m);
  EXPECT_EQ(rider_fade[1], 1);
  rider_slots[1] = nullptr;
  const frame none = scene(position, m);
  rider_slots[1] = ghost;
  EXPECT_GT(gl_frame_differing(blended, none, 240, 160, 400, 320), 100) << "the ghost does not show";
  EXPECT_GT(gl_frame_differing(blended, solid, 240, 160, 400, 320), 100) << "the ghost is drawn solid";
  ghost_fade_distance = 0;
}

TEST_F(SceneGl, FuglyDrawsNoSky) {
  float position[3], m[9];
  camera_on_rider(30, 4, position, m);
  game_state.fugly = 1;
  const frame plain = scene(position, m);
  game_state.fugly = 0;
  double top[3];
  mean(plain, 0, 0, width, 20, top);
  // The clear colour (magenta, under the fog) and no sky texture.
  EXPECT_GT(top[0], 150);
  EXPECT_LT(top[1], 120);
  expect_sky_and_ground(scene(position, m), "with sky");
}

// At "--super-debug" the robots' learned lines show as white strips.
TEST_F(SceneGl, LearnedLinesShowAtSuperDebug) {
  ASSERT_NE(route.line_library, nullptr);
  float position[3], m[9];
  camera_on_rider(30, 4, position, m);
  // A line across the view 10 ft ahead of the camera, a sample every half
  // foot: near enough to be drawn almost opaque.
  const float ahead[3] = {position[0] - 10 * m[2], position[1] - 10 * m[5], position[2] - 10 * m[8]};
  line_record* line = &route.line_library[0];
  line_record_empty(line);
  line->sample_count = 41;
  line->samples = static_cast<line_sample*>(check_malloc(sizeof(line_sample) * 41));
  for (int i = 0; i < 41; i++)
    line->samples[i] = {ahead[0] + (i - 20) * 0.5f * m[0], ahead[1] - 1, ahead[2] + (i - 20) * 0.5f * m[6], 30, 0};
  for (int k = 0; k < 3; k++) scene(position, m);  // the ground textures settle
  const frame plain = scene(position, m);
  game_state.debug_level = 2;
  const frame lined = scene(position, m);
  game_state.debug_level = 0;
  gl_frame_keep(lined, "learned_lines");
  EXPECT_GT(gl_frame_differing(plain, lined, 0, 240, width, 400), 300);
  line_record_empty(line);
}

TEST_F(SceneGl, ALabelShows) {
  float position[3], m[9];
  camera_on_rider(12, 2, position, m);
  const frame before = scene(position, m);
  float at[3];
  rider_position(0, at);
  at[1] += 3;
  add_debug_marker(at, "rut 12");
  EXPECT_EQ(debug_marker_distance(at), 0);
  const frame after = scene(position, m);
  gl_frame_keep(after, "label");
  EXPECT_GT(white_pixels(after, 200, 40, 440, 240), white_pixels(before, 200, 40, 440, 240) + 150);
  // Labels behind the camera are not listed.
  float behind[3] = {2 * position[0] - at[0], position[1], 2 * position[2] - at[2]};
  add_debug_marker(behind, "behind");
  EXPECT_EQ(draw_debug_markers(position, m), 1u);
  clear_debug_markers();
  EXPECT_EQ(debug_marker_distance(at), 1000000.0f);
}

TEST_F(SceneGl, TheSunFlareShowsInViewAndNotBehindSomething) {
  // Stand above the ground looking at the sun.
  float at[3];
  rider_position(0, at);
  const float position[3] = {at[0], at[1] + 30, at[2]};
  const float* sun = lighting.sun_vector;
  const float target[3] = {position[0] + sun[0], position[1] + sun[1], position[2] + sun[2]};
  float m[9];
  look_at(position, target, m);
  lens_flare = 0;
  const frame plain = scene(position, m);
  lens_flare = 1;
  const frame flared = scene(position, m);
  gl_frame_keep(flared, "flare");
  const int changed = gl_frame_differing(plain, flared);
  EXPECT_GT(changed, 200) << "no flare";

  // A white board right in front of the camera covers the sun: the colour
  // passes, the depth does not.
  begin();
  draw_scene(position, m, 110, -1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_FOG);
  glDisable(GL_LIGHTING);
  glDepthFunc(GL_ALWAYS);
  glColor3f(1, 1, 1);
  glBegin(GL_QUADS);
  glVertex3f(-2, -2, -1);
  glVertex3f(2, -2, -1);
  glVertex3f(2, 2, -1);
  glVertex3f(-2, 2, -1);
  glEnd();
  const frame board = read();
  draw_lens_flares(position, m);
  const frame covered = read();
  EXPECT_LT(gl_frame_differing(board, covered), 10) << "a flare shows through a near object";
}

// Behind the viewed rider the chase camera sees the whole bike: the parts
// an on-bike view leaves out (rear wheel, swingarm) show too.
TEST_F(SceneGl, ChaseViewDrawsTheOwnBikeWhole) {
  ASSERT_EQ(rider_slot_kind[0], RIDER_LOCAL);
  frame_loop.local_view = 1;
  rider* r = rider_slots[0];
  auto chase = [&] {
    begin();
    draw_chase_view(0);
    return read();
  };
  chase();
  const frame with = chase();
  gl_frame_keep(with, "chase");
  EXPECT_LT(gl_frame_differing(with, chase()), 20) << "the chase camera still moves";
  struct {
    model* rider::*part;
    const char* name;
  } parts[] = {{&rider::rear_wheel_model, "rear wheel"}, {&rider::swingarm_model, "swingarm"},
               {&rider::head_model, "helmet"}};
  for (auto [part, name] : parts) {
    model* kept = r->*part;
    r->*part = nullptr;
    const frame without = chase();
    r->*part = kept;
    EXPECT_GT(gl_frame_differing(with, without), 30) << "no " << name << " in the chase view";
  }
}

// Wherever no pass draws (beyond the world's edge, below the sky box's
// sides) the frame shows the scene's own background, never what the
// buffer held before.
TEST_F(SceneGl, NothingOfTheFrameBeforeShowsWhereNoPassDraws) {
  const float position[3] = {-100000, 40, -100000};
  const float below[3] = {-100000 + 10, 0, -100000};
  float m[9];
  look_at(position, below, m);
  const frame f = scene(position, m);  // over a magenta buffer
  gl_frame_keep(f, "beyond_edge");
  int stale = 0;
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) stale += f.at(x, y)[0] > 200 && f.at(x, y)[1] < 60 && f.at(x, y)[2] > 200;
  EXPECT_EQ(stale, 0);
}

}  // namespace
