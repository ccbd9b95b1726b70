// A rider and bike drawn by a real driver (Mesa under Xvfb): the sample
// cr125 with the generated models and skins, seen from its left side in an
// orthographic view, rendered into a 256 x 256 framebuffer and read back.
// What each part covers is found by drawing it alone, so the checks follow
// the models wherever the generator puts them.
#include "bike/rider_draw.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "assets/gl_ext.h"
#include "assets/image.h"
#include "assets/model.h"
#include "assets/model_settings.h"
#include "assets/shader.h"
#include "assets/texture.h"
#include "assets/verbose.h"
#include "bike/rider.h"
#include "bike/rider_posing.h"
#include "platform/window.h"
#include "terrain/dynamics_world.h"
#include "tools/testing/gl_frame.h"
#include "tools/testing/test_env.h"

namespace {

const int view = 256;
const unsigned char clear_colour[3] = {40, 80, 120};

// The sample bikes and rider, made once by the data generator.
bool make_sample_bikes() {
  static int made = -1;
  if (made < 0) made = test_run_bkdata(std::string("bike ") + std::getenv("BK_HOME"));
  return made == 1;
}

typedef std::vector<unsigned char> frame;  // RGBA, bottom row first

int inked(const frame& f, int i) {
  int d = 0;
  for (int c = 0; c < 3; c++) d += std::abs((int)f[4 * i + c] - (int)clear_colour[c]);
  return d > 24;
}

// Pixels of a mask.
typedef std::vector<char> mask;
mask ink_of(const frame& f) {
  mask m(view * view);
  for (int i = 0; i < view * view; i++) m[i] = (char)inked(f, i);
  return m;
}
int count(const mask& m) {
  int n = 0;
  for (char c : m) n += c;
  return n;
}
// Pixels of a that no other mask covers.
mask only(const mask& a, const std::vector<mask>& others) {
  mask m = a;
  for (const mask& o : others)
    for (int i = 0; i < view * view; i++)
      if (o[i]) m[i] = 0;
  return m;
}
// Pixels that differ visibly between two frames.
int changed(const frame& a, const frame& b) {
  int n = 0;
  for (int i = 0; i < view * view; i++) {
    int d = 0;
    for (int c = 0; c < 3; c++) d += std::abs((int)a[4 * i + c] - (int)b[4 * i + c]);
    n += d > 24;
  }
  return n;
}

// Share of the mask's pixels inked in f.
double coverage(const frame& f, const mask& m) {
  int n = 0, hit = 0;
  for (int i = 0; i < view * view; i++)
    if (m[i]) {
      n++;
      hit += inked(f, i);
    }
  return n ? (double)hit / n : 0;
}

model* rider::*const part_models[] = {
    &rider::frame_model,      &rider::fork_upper_model, &rider::fork_lower_model, &rider::swingarm_model,
    &rider::front_wheel_model, &rider::rear_wheel_model, &rider::head_model,       &rider::body_model,
    &rider::body_fp_model,    &rider::side_plates_model, &rider::front_plate_model, &rider::rider_plate_model,
};

class DrawBikeGl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(make_sample_bikes()) << "bkdata bike failed";
    window_ = gl_window_open("Draw bike test", 64, 64, 24, 0, 16, 0, 0);
    ASSERT_NE(window_, nullptr);
    gl_load_extensions();
    ASSERT_TRUE(gl_caps.framebuffer_object);
    texture_bytes = 0;
    ASSERT_EQ(dynamics_open(), 1);
    rider_table_init();
    r_ = rider_create("cr125", 0, 1, "7", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(r_, nullptr);
    for (model* rider::*p : part_models) ASSERT_NE(r_->*p, nullptr);

    target_.create(view, view, true);
    ASSERT_TRUE(target_.complete());

    // A bright environment map, so shine shows.
    std::vector<unsigned char> white(8 * 8 * 4, 255);
    glGenTextures(1, &env_);
    glBindTexture(GL_TEXTURE_2D, env_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 8, 8, 0, GL_RGBA, GL_UNSIGNED_BYTE, white.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    scene_env_texture = env_;
  }
  void TearDown() override {
    scene_env_texture = 0;
    material_alpha = 1;
    model_reflections = 1;
    verbose = 0;
    rider_debug_points[0] = rider_debug_list{};
    if (shaders_active) shader_delete_all();
    shaders_active = 0;
    target_.release();
    if (env_) glDeleteTextures(1, &env_);
    for (rider& r : rider_table) rider_destroy(&r);
    dynamics_close();
    model_delete_stale(1);
    texture_delete_stale(1);
    gl_window_close(window_);
  }

  // The scene's part: camera, light and depth test, then one draw_bike.
  frame render(int mode, const rider* who = nullptr) {
    target_.bind();
    glViewport(0, 0, view, view);
    glClearColor(clear_colour[0] / 255.0f, clear_colour[1] / 255.0f, clear_colour[2] / 255.0f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(ortho_[0], ortho_[1], ortho_[2], ortho_[3], -50, 50);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float light[4] = {0, 0.3f, 1, 0};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    glEnable(GL_LIGHT0);
    // From the rider's left, turned yaw_ degrees from straight behind and
    // tilted down by tilt_.
    const float yaw = yaw_;
    glRotatef(tilt_, 1, 0, 0);
    glRotatef(yaw, 0, 1, 0);
    glTranslatef(0, -3.5f, -3.5f);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_CULL_FACE);
    const float eye[3] = {-30 * std::sin(yaw * 3.14159265f / 180), 3.5f, 3.5f + 30 * std::cos(yaw * 3.14159265f / 180)};
    for (int i = 0; i < 3; i++) eye_position[i] = eye[i];
    if (draw_)
      draw_(eye);
    else
      draw_bike(who ? who : r_, mode, eye);
    frame f(view * view * 4);
    glReadPixels(0, 0, view, view, GL_RGBA, GL_UNSIGNED_BYTE, f.data());
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    return f;
  }

  // What one part covers, drawn alone (in mode 0, or 2 for the
  // first-person body).
  mask part_mask(model* rider::*part) {
    model* saved[sizeof part_models / sizeof part_models[0]];
    int k = 0;
    for (model* rider::*p : part_models) {
      saved[k++] = r_->*p;
      if (p != part) r_->*p = nullptr;
    }
    // The rider plate rides on the posed bones, which need the body model;
    // so does the first-person body, which takes its place.
    const int fp = part == &rider::body_fp_model;
    if (part == &rider::rider_plate_model || fp) r_->body_model = saved[7];
    mask m = ink_of(render(fp ? DRAW_BIKE_FIRST_PERSON : DRAW_BIKE_OUTSIDE));
    if (part == &rider::rider_plate_model) m = only(m, {part_mask_body_alone()});
    k = 0;
    for (model* rider::*p : part_models) r_->*p = saved[k++];
    return m;
  }
  mask part_mask_body_alone() {
    model* plate = r_->rider_plate_model;
    r_->rider_plate_model = nullptr;
    mask m = ink_of(render(0));
    r_->rider_plate_model = plate;
    return m;
  }

  // Pixels only this part covers, among all parts.
  mask exclusive(model* rider::*part) {
    std::vector<mask> others;
    for (model* rider::*p : part_models)
      if (p != part && p != &rider::body_fp_model) others.push_back(part_mask(p));
    const mask m = only(part_mask(part), others);
    return m;
  }

  frame without_plate(int mode) {
    model* plate = r_->rider_plate_model;
    r_->rider_plate_model = nullptr;
    const frame f = render(mode);
    r_->rider_plate_model = plate;
    return f;
  }

  void save_png(const frame& f, const char* name) {
    std::vector<unsigned char> rgb(view * view * 3);
    for (int y = 0; y < view; y++)
      for (int x = 0; x < view; x++)
        for (int c = 0; c < 3; c++) rgb[(y * view + x) * 3 + c] = f[((view - 1 - y) * view + x) * 4 + c];
    const std::string path = std::string(test_root()) + "/" + name;
    image_write_png8(path.c_str(), rgb.data(), view, view, 3);
  }

  void expect_state_put_back() {
    GLint program = -1, active = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ(program, 0);
    glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &active);
    EXPECT_EQ(active, GL_TEXTURE0_ARB);
    for (int unit = 1; unit <= 2; unit++) {
      gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB + unit);
      EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D)) << "unit " << unit;
    }
    gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB);
  }

  // When set, render calls it with the eye in place of the one draw_bike.
  std::function<void(const float eye[3])> draw_;
  window_state* window_ = nullptr;
  rider* r_ = nullptr;
  gl_target target_;
  GLuint env_ = 0;
  float tilt_ = 0;
  float yaw_ = 60;  // the plate on the rider's back shows from 25
  float ortho_[4] = {-5, 5, -5, 5};
};

TEST_F(DrawBikeGl, ModesDrawTheirParts) {
  const mask frame_only = exclusive(&rider::frame_model);
  const mask front = exclusive(&rider::front_wheel_model);
  const mask rear = exclusive(&rider::rear_wheel_model);
  const mask swingarm = exclusive(&rider::swingarm_model);
  const mask body = exclusive(&rider::body_model);
  const mask head = exclusive(&rider::head_model);
  const mask* parts[] = {&frame_only, &front, &rear, &swingarm, &body, &head};
  for (int i = 0; i < 6; i++) ASSERT_GT(count(*parts[i]), 20) << "part " << i << " shows somewhere of its own";

  const frame outside = render(DRAW_BIKE_OUTSIDE);
  save_png(outside, "mode0.png");
  expect_state_put_back();
  for (const mask* m : {&frame_only, &front, &rear, &body, &head}) EXPECT_GT(coverage(outside, *m), 0.95);

  // The camera's own rider: the bike alone, and neither swingarm nor rear
  // wheel while it rides.
  const frame riding = render(DRAW_BIKE_RIDING);
  save_png(riding, "mode1.png");
  expect_state_put_back();
  for (const mask* m : {&body, &head, &swingarm, &rear}) EXPECT_LT(coverage(riding, *m), 0.02);
  EXPECT_GT(coverage(riding, frame_only), 0.95);
  EXPECT_GT(coverage(riding, front), 0.85) << "less its hub, which shines only from outside";
  r_->down_counter = 40;
  const frame fallen = render(DRAW_BIKE_RIDING);
  for (const mask* m : {&swingarm, &rear}) EXPECT_GT(coverage(fallen, *m), 0.95);
  for (const mask* m : {&body, &head}) EXPECT_LT(coverage(fallen, *m), 0.02);
  r_->down_counter = 0;

  // First person: the first-person body (limbs without the torso), no head.
  const frame first = render(DRAW_BIKE_FIRST_PERSON);
  save_png(first, "mode2.png");
  const mask fp = only(part_mask(&rider::body_fp_model), {part_mask(&rider::frame_model)});
  ASSERT_GT(count(fp), 20);
  EXPECT_GT(coverage(first, fp), 0.95);
  EXPECT_LT(coverage(first, head), 0.02);
  const mask torso = only(body, {fp});
  ASSERT_GT(count(torso), 20);
  EXPECT_LT(coverage(first, torso), 0.02);

  // The plate on the rider's back, seen from behind (it lies in front of
  // the torso, so it is found by what it changes): only from outside.
  yaw_ = 25;
  // The number texture shows only its digits; an opaque one shows the
  // whole plate.
  const unsigned number = r_->plate_texture;
  r_->plate_texture = env_;
  EXPECT_GT(changed(render(DRAW_BIKE_OUTSIDE), without_plate(DRAW_BIKE_OUTSIDE)), 20);
  for (int mode : {DRAW_BIKE_RIDING, DRAW_BIKE_FIRST_PERSON})
    EXPECT_EQ(changed(render(mode), without_plate(mode)), 0) << "mode " << mode;
  r_->plate_texture = number;
}

TEST_F(DrawBikeGl, MissingHeadOrBodyDrawsNoneOfIt) {
  const mask body = exclusive(&rider::body_model);
  const mask head = exclusive(&rider::head_model);
  model* saved = r_->head_model;
  r_->head_model = nullptr;
  frame f = render(DRAW_BIKE_OUTSIDE);
  EXPECT_LT(coverage(f, head), 0.02);
  EXPECT_GT(coverage(f, body), 0.95);
  r_->head_model = saved;
  saved = r_->body_model;
  r_->body_model = nullptr;
  f = render(DRAW_BIKE_OUTSIDE);
  EXPECT_LT(coverage(f, body), 0.02);
  EXPECT_GT(coverage(f, head), 0.95);
  // The rider plate rides on the posed bones: without a body, no plate.
  yaw_ = 25;
  const unsigned number = r_->plate_texture;
  r_->plate_texture = env_;
  EXPECT_EQ(changed(render(DRAW_BIKE_OUTSIDE), without_plate(DRAW_BIKE_OUTSIDE)), 0);
  r_->body_model = saved;
  EXPECT_GT(changed(render(DRAW_BIKE_OUTSIDE), without_plate(DRAW_BIKE_OUTSIDE)), 20);
  r_->plate_texture = number;
}

// Where a part's own pieces overlap (the seat on the frame box) the nearer
// one blends over the farther; everywhere else one layer shows at half.
// Fixed function: the lit programs take their alpha from the ambient term,
// which counts both the light's and the light model's ambient.
TEST_F(DrawBikeGl, MaterialAlphaBlendsOverTheClearColour) {
  const mask parts[] = {exclusive(&rider::frame_model), exclusive(&rider::front_wheel_model),
                        exclusive(&rider::rear_wheel_model)};
  const frame full = render(DRAW_BIKE_OUTSIDE);
  material_alpha = 0.5f;
  const frame half = render(DRAW_BIKE_OUTSIDE);
  save_png(half, "alpha.png");
  material_alpha = 1;
  for (const mask& m : parts) {
    int checked = 0, matched = 0;
    for (int i = 0; i < view * view; i++) {
      if (!m[i]) continue;
      int ok = 1;
      for (int c = 0; c < 3; c++) {
        const float expected = 0.5f * full[4 * i + c] + 0.5f * clear_colour[c];
        ok &= std::fabs(half[4 * i + c] - expected) <= 3;
      }
      checked++;
      matched += ok;
    }
    EXPECT_GT(checked, 20);
    EXPECT_GT(matched, 0.85 * checked);
  }
}

TEST_F(DrawBikeGl, ShadersAndFixedFunctionDrawTheSameSilhouette) {
  const mask fixed = ink_of(render(DRAW_BIKE_OUTSIDE));
  ASSERT_EQ(shaders_activate(1), 1);
  const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  shader_set_env_matrix(identity);
  const frame shaded = render(DRAW_BIKE_OUTSIDE);
  save_png(shaded, "mode0_shaders.png");
  expect_state_put_back();
  const mask with = ink_of(shaded);
  int agree = 0;
  for (int i = 0; i < view * view; i++) agree += fixed[i] == with[i];
  EXPECT_GT(agree, 0.98 * view * view);
  EXPECT_GT(count(with), 1000);
  expect_state_put_back();
}

TEST_F(DrawBikeGl, ARunOfRidersDrawsAsOneByOneAndPutsTheStateBackAtItsEnd) {
  // Each rider after the first starts from the units and program the one
  // before left (the shine pass's), not from the state draw_bike puts back.
  ASSERT_EQ(shaders_activate(1), 1);
  const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  shader_set_env_matrix(identity);
  const int modes[] = {DRAW_BIKE_RIDING, DRAW_BIKE_OUTSIDE, DRAW_BIKE_FIRST_PERSON};
  draw_ = [&](const float eye[3]) {
    for (int mode : modes) draw_bike(r_, mode, eye);
  };
  const frame one_by_one = render(0);
  draw_ = [&](const float eye[3]) {
    for (int mode : modes) draw_bike_in_run(r_, mode, eye);
    draw_bike_run_end();
  };
  const frame run = render(0);
  draw_ = nullptr;
  EXPECT_GT(count(ink_of(run)), 1000);
  EXPECT_EQ(std::memcmp(one_by_one.data(), run.data(), run.size()), 0);
  expect_state_put_back();
}

TEST_F(DrawBikeGl, ShineOnlyWhereTheRulesAllow) {
  const mask fork = exclusive(&rider::fork_lower_model);
  ASSERT_GT(count(fork), 20);
  auto brightness = [&](const frame& f) {
    long sum = 0;
    for (int i = 0; i < view * view; i++)
      if (fork[i]) sum += f[4 * i] + f[4 * i + 1] + f[4 * i + 2];
    return sum;
  };
  const frame shine_frame = render(DRAW_BIKE_OUTSIDE);
  const long shining = brightness(shine_frame);
  model_reflections = 0;
  const frame dull_frame = render(DRAW_BIKE_OUTSIDE);
  const long dull = brightness(dull_frame);
  model_reflections = 1;
  EXPECT_GT(shining, dull + 20 * count(fork));
  // The metal is a solid lit surface under its shine, and even under a
  // white sky the shine does not wash it out to white.
  EXPECT_GT(coverage(dull_frame, fork), 0.95) << "without its shine the fork is not there";
  int white = 0;
  for (int i = 0; i < view * view; i++)
    if (fork[i]) white += shine_frame[4 * i] > 235 && shine_frame[4 * i + 1] > 235 && shine_frame[4 * i + 2] > 235;
  EXPECT_LT(white, count(fork) / 20) << "the fork glows white";
  // Riding: the fork lower gets no shine at all.
  const long riding = brightness(render(DRAW_BIKE_RIDING));
  model_reflections = 0;
  EXPECT_EQ(riding, brightness(render(DRAW_BIKE_RIDING)));
  model_reflections = 1;
  // No environment map: no shine either, and no white in its place.
  scene_env_texture = 0;
  EXPECT_EQ(brightness(render(DRAW_BIKE_OUTSIDE)), dull);
}

TEST_F(DrawBikeGl, LeanedRiderBodyIsLeftAsItWas) {
  // Bring the bar within a foot of the chest, so the lean-back rule turns
  // the body.
  dBodyID person = r_->bodies[RIDER_PERSON];
  dMatrix3 turn;
  dRFromAxisAndAngle(turn, 0.2, 1, 0.1, 0.3);
  dBodySetRotation(person, turn);
  const float* g = rider_model(r_)->pose_geometry;
  dVector3 chest;
  dBodyGetRelPointPos(person, 0, g[4], g[5], chest);
  dBodySetPosition(r_->bodies[RIDER_FORK_UPPER], chest[0], chest[1] - 0.6 - g[16], chest[2] - 0.8 - g[17]);
  body_transform drawn;
  ASSERT_EQ(rider_drawn_body(r_, &drawn), 1);
  dReal position[3], rotation[12], quaternion[4];
  std::memcpy(position, dBodyGetPosition(person), sizeof position);
  std::memcpy(rotation, dBodyGetRotation(person), sizeof rotation);
  std::memcpy(quaternion, dBodyGetQuaternion(person), sizeof quaternion);
  for (int mode : {0, 1, 2}) {
    render(mode);
    EXPECT_EQ(std::memcmp(position, dBodyGetPosition(person), sizeof position), 0);
    EXPECT_EQ(std::memcmp(rotation, dBodyGetRotation(person), sizeof rotation), 0);
    EXPECT_EQ(std::memcmp(quaternion, dBodyGetQuaternion(person), sizeof quaternion), 0);
  }
}

TEST_F(DrawBikeGl, RiderNotBuiltDrawsNothingAndTouchesNoState) {
  rider empty;
  std::memset(&empty, 0, sizeof empty);
  glDisable(GL_LIGHTING);
  glDisable(GL_BLEND);
  const frame f = render(0, &empty);
  EXPECT_EQ(count(ink_of(f)), 0);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  // Bodies but no row: not built either.
  empty = *r_;
  empty.model_index = -1;
  EXPECT_EQ(count(ink_of(render(0, &empty))), 0);
}

TEST_F(DrawBikeGl, DebugPointsOnlyAtVerboseTwo) {
  // Three samples of a line (x, y, z, speed, lean) in front of the bike,
  // the second one airborne and the robot's cursor.
  const float samples[3][5] = {{0, 7.5f, -0.5f, 20, 0}, {0, 7.5f, 3.5f, -5, 0}, {0, 7.5f, 7.5f, 20, 0}};
  rider_debug_points[0] = rider_debug_list{samples, 3, (int)sizeof samples[0], 1};
  tilt_ = 30;  // the squares are level: look down on them
  const mask quiet = ink_of(render(DRAW_BIKE_OUTSIDE));
  verbose = 2;
  const frame loud = render(DRAW_BIKE_OUTSIDE);
  save_png(loud, "debug_points.png");
  const mask with = ink_of(loud);
  int added = 0;
  for (int i = 0; i < view * view; i++) added += with[i] && !quiet[i];
  EXPECT_GT(added, 30);
  verbose = 0;
  rider_debug_points[0] = rider_debug_list{};
}

// A plate's number reads as printed from wherever the plate faces: the
// glyph "7" has its bar on top and its stem reaching down to the left.
// Each plate is drawn alone, found, and drawn again close up.
TEST_F(DrawBikeGl, PlateNumbersReadUprightFromOutside) {
  struct {
    model* rider::*part;
    float yaw;  // the camera's side: 0 behind, 90 left, 180 ahead
    const char* name;
  } plates[] = {{&rider::front_plate_model, 180, "front plate"},
                {&rider::side_plates_model, 90, "side plate, left"},
                {&rider::side_plates_model, 270, "side plate, right"},
                {&rider::rider_plate_model, 0, "rider's plate"}};
  // A "7" as the number-plate builder lays it out: first row on top, ink
  // opaque, the rest clear.
  std::vector<unsigned char> seven(128 * 128 * 4, 0);
  for (int y = 0; y < 128; y++)
    for (int x = 0; x < 128; x++) {
      const float stem_x = 95 - (y - 44) * 45.0f / 56;  // from (95, 44) down to (50, 100)
      const bool ink = (y >= 30 && y < 44 && x >= 35 && x < 100) || (y >= 44 && y < 100 && std::fabs(x - stem_x) < 7);
      if (ink) seven[4 * (y * 128 + x) + 3] = 255;
    }
  GLuint seven_texture = 0;
  glGenTextures(1, &seven_texture);
  glBindTexture(GL_TEXTURE_2D, seven_texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 128, 128, 0, GL_RGBA, GL_UNSIGNED_BYTE, seven.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  const unsigned number = r_->plate_texture;
  r_->plate_texture = seven_texture;
  for (const auto& p : plates) {
    model* saved[sizeof part_models / sizeof part_models[0]];
    int k = 0;
    for (model* rider::*q : part_models) {
      saved[k++] = r_->*q;
      // The rider's plate rides on the posed bones, which need the body.
      if (q != p.part && !(q == &rider::body_model && p.part == &rider::rider_plate_model)) r_->*q = nullptr;
    }
    yaw_ = p.yaw;
    // What the plate adds to the picture, on the clear colour.
    auto plate_alone = [&] {
      frame with = render(DRAW_BIKE_OUTSIDE);
      model* m = r_->*p.part;
      r_->*p.part = nullptr;
      const frame bare = render(DRAW_BIKE_OUTSIDE);
      r_->*p.part = m;
      for (int i = 0; i < view * view; i++)
        if (std::memcmp(&with[4 * i], &bare[4 * i], 3) == 0) std::memcpy(&with[4 * i], clear_colour, 3);
      return with;
    };
    const mask plate = ink_of(plate_alone());
    int x0 = view, x1 = -1, y0 = view, y1 = -1;
    for (int i = 0; i < view * view; i++)
      if (plate[i]) {
        x0 = std::min(x0, i % view), x1 = std::max(x1, i % view);
        y0 = std::min(y0, i / view), y1 = std::max(y1, i / view);
      }
    ASSERT_GE(x1, 0) << p.name << " shows nothing";
    // Close up on the middle of what it drew: 1.2 ft across.
    const float cx = -5 + 10 * (x0 + x1 + 1) / 2.0f / view, cy = -5 + 10 * (y0 + y1 + 1) / 2.0f / view;
    const float zoom[4] = {cx - 0.6f, cx + 0.6f, cy - 0.6f, cy + 0.6f}, whole[4] = {-5, 5, -5, 5};
    std::memcpy(ortho_, zoom, sizeof ortho_);
    const frame close = plate_alone();
    std::memcpy(ortho_, whole, sizeof ortho_);
    save_png(close, (std::string("plate_") + std::to_string((int)p.yaw) + ".png").c_str());
    k = 0;
    for (model* rider::*q : part_models) r_->*q = saved[k++];

    // The ink's rows from the top of the picture (frames are bottom row first).
    std::vector<int> left, right;
    for (int y = view - 1; y >= 0; y--) {
      int a = -1, b = -1;
      for (int x = 0; x < view; x++)
        if (inked(close, y * view + x)) {
          if (a < 0) a = x;
          b = x;
        }
      if (a >= 0) left.push_back(a), right.push_back(b);
    }
    ASSERT_GT(left.size(), 8u) << p.name;
    const size_t n = left.size(), band = n / 5;
    double top_width = 0, bottom_width = 0, top_middle = 0, bottom_middle = 0;
    for (size_t i = 0; i < band; i++) {
      top_width += right[i] - left[i];
      bottom_width += right[n - 1 - i] - left[n - 1 - i];
      top_middle += (left[i] + right[i]) / 2.0;
      bottom_middle += (left[n - 1 - i] + right[n - 1 - i]) / 2.0;
    }
    EXPECT_GT(top_width, 2 * bottom_width) << p.name << ": the bar of the 7 is not on top";
    EXPECT_LT(bottom_middle, top_middle) << p.name << ": the 7 reads mirrored";
  }
  r_->plate_texture = number;
  glDeleteTextures(1, &seven_texture);
}

}  // namespace
