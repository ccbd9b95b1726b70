// The HUD and the info board drawn by a real driver (Mesa under Xvfb) over a
// plain grey frame for a staged race on the sample track: 640 x 480 frames
// rendered into a framebuffer object and read back.
#include "race/hud.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <ode/ode.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "assets/font.h"
#include "assets/gl_ext.h"
#include "assets/image.h"
#include "assets/model.h"
#include "assets/shader.h"
#include "assets/texture.h"
#include "assets/view_extent.h"
#include "assets/view_settings.h"
#include "bike/rider.h"
#include "bike/rider_contacts.h"
#include "bike/rider_timing.h"
#include "core/file_index.h"
#include "core/memory.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "platform/window.h"
#include "race/frame_loop.h"
#include "race/game_state.h"
#include "race/projection.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/scene.h"
#include "race/test_support_race.h"
#include "terrain/dynamics_world.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/track.h"
#include "tools/testing/gl_frame.h"

namespace {

const int width = 640, height = 480;

using frame = gl_frame;

bool is_red(const unsigned char* p) { return p[0] > 150 && p[1] < 60 && p[2] < 60; }
bool is_white(const unsigned char* p) { return p[0] > 220 && p[1] > 220 && p[2] > 220; }
bool is_dark(const unsigned char* p) { return p[0] < 60 && p[1] < 60 && p[2] < 60; }
bool is_grey(const unsigned char* p) {
  return std::abs(p[0] - 128) < 4 && std::abs(p[1] - 128) < 4 && std::abs(p[2] - 128) < 4;
}

class HudGl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(race_test_make_data()) << "bkdata build failed";
    window_ = gl_window_open("HUD test", 64, 64, 24, 0, 16, 0, 0);
    ASSERT_NE(window_, nullptr);
    gl_load_extensions();
    ASSERT_TRUE(gl_caps.framebuffer_object);
    ground_gl_install();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    asset_generation = 0;
    file_index_build();
    fonts_load();
    hud_textures[hud_tach] = texture_load("!@tach.png");
    hud_textures[hud_shifter] = texture_load("!@shifter.png");
    hud_textures[hud_pitboard] = texture_load("!@pitboard.png");
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
    line_up[1] = 2;
    ASSERT_EQ(reset_session(line_up, 0, 0, 0, 3, 0), 1);
    ASSERT_NE(rider_slots[0], nullptr);
    ASSERT_NE(rider_slots[1], nullptr);
    ASSERT_NE(map_texture, 0u);

    target_.create(width, height, true);
    ASSERT_TRUE(target_.complete());
    saved_[0] = draw_fps, saved_[1] = draw_time, saved_[2] = draw_speed, saved_[3] = game_state.draw_render_stats;
    stage();
  }
  void TearDown() override {
    draw_fps = saved_[0], draw_time = saved_[1], draw_speed = saved_[2], game_state.draw_render_stats = saved_[3];
    telemetry_graph_on = 0;
    target_.release();
    for (int i = 0; i < 160; i++) {
      if (rider_slots[i]) rider_destroy(rider_slots[i]);
      rider_slots[i] = nullptr;
    }
    running_order_clear();
    results_clear();
    free_track();
    scene_arrays_free();
    shape_free_all();
    model_delete_stale(1);
    texture_delete_stale(1);
    for (unsigned& t : hud_textures) t = 0;
    fonts_free();
    shader_delete_all();
    free_file_index();
    dynamics_close();
    race_hooks = {};
    race_clock = {};
    gl_window_close(window_);
  }

  // 8000 rpm in gear index 2, on lap 2 of two riders, the graph filled and
  // on, the FPS and time lines on, past the start caption.
  void stage() {
    rider* r = rider_slots[0];
    r->engine_speed = 8000 / 9.549296585513721f;
    r->gear = 2;
    const int first = route.first_lap_gates > 0 ? route.first_lap_gates : 1;
    for (int n = 0; n <= first; n++) rider_set_timing_tick(r, n, 700 + 300 * n);
    r->timing_count = first + 1;
    rider* other = rider_slots[1];
    for (int n = 0; n < first; n++) rider_set_timing_tick(other, n, 720 + 300 * n);
    other->timing_count = first;
    race_clock.gate_drop_tick = 640;
    race_clock.current_tick = 640 + 128 * 75 + 64;
    finish_results();
    for (int i = 0; i < telemetry_ring_size; i++) {
      const float t = i / 64.0f;
      telemetry_rings.fork_travel[i] = telemetry_rings.shock_travel[i] = 0.5f + 0.4f * std::sin(t);
      telemetry_rings.fork_rate[i] = telemetry_rings.shock_rate[i] = 0.8f * std::cos(t);
      telemetry_rings.fork_damping[i] = telemetry_rings.shock_damping[i] = 0.5f + 0.5f * std::sin(t * 3);
    }
    telemetry_rings.write_index = 0;
    telemetry_graph_on = 1;
    draw_fps = draw_time = 1;
    draw_speed = 0;
    game_state.draw_render_stats = 0;
    frame_loop.last_frame_seconds = 1.0 / 30;
  }

  frame draw(int hud, int info) {
    set_projection(width, height, fov);
    glClearColor(0.5f, 0.5f, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (hud) draw_hud(viewed_slot);
    frame_loop.last_frame_seconds = 1.0 / 30;
    if (info) draw_info_board(viewed_slot);
    return gl_frame_read(width, height);
  }

  // Pixel of a point of the unit-distance view (row from the top).
  static int px(float x) { return (int)std::lround((x / view_xe + 1) / 2 * width); }
  static int py(float y) { return (int)std::lround((1 - y / view_ye) / 2 * height); }

  window_state* window_ = nullptr;
  gl_target target_;
  int saved_[4] = {};
};

TEST_F(HudGl, StagedRaceReadsBack) {
  const frame f = draw(1, 1);
  gl_frame_keep(f, "hud_staged");
  const float s = 0.2334025f * view_ye;
  const int cx = px(view_xe - s), cy = py(-view_ye + s), unit = py(-view_ye) - py(-view_ye + s);
  ASSERT_GT(unit, 40);

  // The needle straight above the dial's centre at 8000 rpm, and nowhere
  // beside it.
  EXPECT_GE(gl_frame_count(f, cx - 1, cy - unit * 7 / 10, cx + 2, cy - unit * 4 / 10, is_red), unit / 4)
      << "no needle above the centre";
  EXPECT_EQ(gl_frame_count(f, cx - unit * 6 / 10, cy - unit * 7 / 10, cx - unit * 3 / 10, cy + unit / 3, is_red), 0);
  EXPECT_EQ(gl_frame_count(f, cx + unit * 3 / 10, cy - unit * 7 / 10, cx + unit * 6 / 10, cy + unit / 3, is_red), 0);

  // The gear square shows the sheet's cell of index 2, a "3": its white
  // pixels follow the sheet's opaque ones.
  uint8_t* sheet = nullptr;
  int sw = 0, sh = 0, channels = 0;
  ASSERT_EQ(image_read_png("@shifter.png", &sheet, &sw, &sh, &channels, nullptr), 1);
  ASSERT_EQ(channels, 4);
  const int half = unit / 3;
  int both = 0, ink = 0, lit = 0;
  for (int y = -half + 2; y < half - 2; y++)
    for (int x = -half + 2; x < half - 2; x++) {
      const int u = 2 * sw / 3 + (x + half) * sw / 3 / (2 * half), v = (y + half) * sh / 3 / (2 * half);
      const bool opaque = sheet[4 * (u + sw * v) + 3] > 200;
      const bool white = is_white(f.at(cx + x, cy + y));
      both += opaque && white;
      ink += opaque;
      lit += white;
    }
  check_free(sheet);
  ASSERT_GT(ink, 40) << "the sheet's cell is empty";
  EXPECT_GT(both, ink * 6 / 10) << "the gear square is not the sheet's \"3\"";
  EXPECT_GT(both, lit * 6 / 10) << "the gear square is not the sheet's \"3\"";

  // Pit board bottom left: a light board with black ink where its text
  // goes (number, place and gap lines), none below the text.
  const float p = 0.6227179f * view_ye;
  const int bx0 = px(-view_xe), bx1 = px(-view_xe + p);
  const int text_top = py(-view_ye + p * 0.76f), text_bottom = py(-view_ye + p * 0.44f);
  // The glyphs are small, so their ink is blended with the board.
  EXPECT_GT(gl_frame_count(f, bx0 + 10, text_top, bx1 - 10, text_bottom,
                         [](const unsigned char* c) { return c[0] < 110 && c[1] < 110; }),
            60)
      << "no ink on the pit board";
  EXPECT_GT(gl_frame_count(f, bx0 + 10, text_top, bx1 - 10, text_bottom,
                         [](const unsigned char* c) { return c[0] > 200 && c[1] > 200; }),
            500)
      << "no board under the text";
  // The number, then the place with its gap on the same line: two lines of
  // ink, as no lap is timed yet to show a times line.
  int lines = 0;
  bool inked = false;
  for (int y = py(-view_ye + p * 0.78f); y < py(-view_ye + p * 0.3f); y++) {
    const bool ink = gl_frame_count(f, bx0 + 10, y, bx1 - 10, y + 1,
                                  [](const unsigned char* c) { return c[0] < 110 && c[1] < 110; }) > 0;
    lines += ink && !inked;
    inked = ink;
  }
  EXPECT_EQ(lines, 2) << "the gap is not on the place's line";

  // The status column: "FPS - 30" and the time on the first two of 50
  // lines; without them those lines are bare.
  const int line = height / 50;
  draw_fps = draw_time = 0;
  const frame bare = draw(1, 1);
  draw_fps = draw_time = 1;
  EXPECT_GT(gl_frame_differing(f, bare, 0, 0, 120, line), 20) << "no FPS line";
  EXPECT_GT(gl_frame_differing(f, bare, 0, line, 120, 2 * line + 1), 20) << "no time line";

  // The map top right, with a dot for each rider.
  const float m = 0.466805f * view_ye;
  const int mx0 = px(view_xe - m), my1 = py(view_ye - m);
  EXPECT_LT(gl_frame_count(f, mx0 + 2, 2, width - 2, my1 - 2, is_grey), (width - mx0) * my1 / 20) << "no map";
  for (int k = 0; k < 2; k++) {
    const dReal* at = dBodyGetPosition(rider_frame_body(rider_slots[k]));
    const int dx = px(view_xe - m + m * (float)at[0] / track_field.extent);
    const int dy = py(view_ye - m * (float)at[2] / track_field.extent);
    ASSERT_TRUE(dx > mx0 && dx < width && dy > 0 && dy < my1) << k;
    EXPECT_GT(gl_frame_count(f, dx - 3, dy - 3, dx + 4, dy + 4,
                           [](const unsigned char* c) { return is_dark(c) || is_red(c) || is_white(c); }),
              2)
        << "no dot for slot " << k;
  }

  // Without the HUD only the info board is drawn: the dial and the map go.
  const frame board_only = draw(0, 1);
  gl_frame_keep(board_only, "hud_info_board_only");
  EXPECT_GT(gl_frame_count(board_only, mx0 + 2, 2, width - 2, my1 - 2, is_grey), (width - mx0) * my1 * 9 / 10);
  EXPECT_EQ(gl_frame_count(board_only, cx - unit, cy - unit, cx + unit, cy + unit, is_red), 0);
}

TEST_F(HudGl, NeedleTurnsWithTheRevsAndAnEmptySlotDrawsOnlyTheMap) {
  rider_slots[0]->engine_speed = 0;
  frame f = draw(1, 0);
  gl_frame_keep(f, "hud_zero_rpm");
  const float s = 0.2334025f * view_ye;
  const int cx = px(view_xe - s), cy = py(-view_ye + s), unit = py(-view_ye) - py(-view_ye + s);
  // 0 rpm: 135 degrees to the left, so down and left of the centre.
  EXPECT_GT(gl_frame_count(f, cx - unit * 6 / 10, cy + unit / 10, cx - unit / 10, cy + unit * 6 / 10, is_red), 10);
  EXPECT_LT(gl_frame_count(f, cx - 2, cy - unit * 7 / 10, cx + 3, cy - unit * 4 / 10, is_red), 3);

  viewed_slot = 160;
  f = draw(1, 0);
  gl_frame_keep(f, "hud_empty_slot");
  EXPECT_EQ(gl_frame_count(f, 0, height / 2, width, height, [](const unsigned char* c) { return !is_grey(c); }), 0)
      << "no dial or pit board without a rider";
  const float m = 0.466805f * view_ye;
  EXPECT_LT(gl_frame_count(f, px(view_xe - m) + 2, 2, width - 2, py(view_ye - m) - 2, is_grey), 200)
      << "the map is still drawn";
  viewed_slot = 0;
}

TEST_F(HudGl, FinalResultsBoardBesideTheStatusColumn) {
  // Both riders finish a one-lap race.
  race_clock.finish_lap = 1;
  race_clock.race_laps = 1;
  const int first = route.first_lap_gates > 0 ? route.first_lap_gates : 1;
  for (int k = 0; k < 2; k++) {
    rider* r = rider_slots[k];
    rider_truncate_timing(r, 0);
    for (int n = 0; n < first; n++) rider_set_timing_tick(r, n, 700 + 300 * n + 40 * k);
    r->timing_count = first;
  }
  finish_results();
  ASSERT_EQ(results_finished, 1);
  const frame f = draw(0, 1);
  gl_frame_keep(f, "hud_final_results");
  // The board's half-transparent black box darkens the grey from the top
  // left, and the status column moves to its right.
  const int line = height / 50;
  int darker = 0;
  for (int y = line / 2; y < line; y++)
    for (int x = 10; x < 150; x++) darker += f.at(x, y)[0] < 110 && f.at(x, y)[0] > 70;
  EXPECT_GT(darker, 100) << "no results box";
  EXPECT_GT(gl_frame_count(f, 10, line * 2, 150, line * 4,
                         [](const unsigned char* c) { return c[0] > 170 && c[1] > 170 && c[2] > 170; }),
            10)
      << "no rows";
  draw_fps = draw_time = 0;
  const frame bare = draw(0, 1);
  EXPECT_GT(gl_frame_differing(f, bare, width * 195 / 500, 0, width * 195 / 500 + 100, 2 * line), 20)
      << "the status lines are not beside the board";
}

}  // namespace
