#include "race/views.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "assets/font.h"
#include "assets/view_extent.h"
#include "assets/view_settings.h"
#include "bike/rider.h"
#include "core/game_clock.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/game_state.h"
#include "race/gate_timing.h"
#include "race/listener.h"
#include "race/loop_options.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/race_view.h"
#include "race/scene.h"
#include "race/scene_math.h"
#include "race/screen_draw.h"

camera_key camera_keys[camera_key_max];
size_t camera_key_count;
int key_camera_on;
track_camera free_camera = {0, 50, 0, 0, 0, 0, 0, 90, 0};
gimbal_memory onbike_gimbal_memory;

void place_free_camera(float x, float y, float z) {
  free_camera.x = x;
  free_camera.y = y;
  free_camera.z = z;
}

void draw_onbike_view(dBodyID body, int slot) {
  if (!body) return;
  float head[3];
  onbike_head_point(first_person_height, head);
  dVector3 p;
  dBodyGetRelPointPos(body, head[0], head[1], head[2], p);
  const float position[3] = {(float)p[0], (float)p[1], (float)p[2]};
  const dReal* r = dBodyGetRotation(body);  // rows of 4
  float m[9] = {(float)r[0], (float)r[1], (float)r[2], (float)r[4], (float)r[5],
                (float)r[6], (float)r[8], (float)r[9], (float)r[10]};
  const double t = race_clock.current_tick / 128.0;
  onbike_gimbal(m, first_person_gimbal, t, &onbike_gimbal_memory);
  if (game_state.print_orientation) {
    // A recorded video owns standard output; its frames must stay whole.
    // Each line goes out whole at once: a script reading a file or pipe
    // follows the ride as it happens, not a buffer's worth later.
    std::FILE* out = loop_options.record_video ? stderr : stdout;
    std::fprintf(out, "t=%f p0=%f p1=%f p2=%f x0=%f x1=%f x2=%f z0=%f z1=%f z2=%f\n", t, position[0], position[1],
                 position[2], m[0], m[3], m[6], m[2], m[5], m[8]);
    std::fflush(out);
  }
  tilt_about_right(m, first_person_angle);
  const dReal* v = dBodyGetLinearVel(body);
  for (int c = 0; c < 3; c++) listener.velocity[c] = (float)v[c];
  draw_scene(position, m, fov, slot);
}

void draw_onbike_view_of(int slot) {
  const rider* r = slot_rider(slot);
  if (r) draw_onbike_view(rider_frame_body(r), slot);
}

void draw_race_view() {
  if (key_camera_on && camera_key_count > 0) {
    float position[3], q[4], key_fov, m[9];
    key_camera_at(camera_keys, camera_key_count, race_clock.current_tick, position, q, &key_fov);
    key_camera_orientation(q, m);
    draw_scene(position, m, key_fov, -1);
    return;
  }
  const int choice = race_camera_choice;
  const int track = choice >= 0 && track_cameras.data && (size_t)choice < track_cameras.count;
  const track_camera* c =
      track ? static_cast<const track_camera*>(growable_array_at(&track_cameras, (size_t)choice)) : &free_camera;
  float m[9];
  matrix_from_yaw_pitch(m, c->pitch, c->yaw);
  const float position[3] = {c->x, c->y, c->z};
  for (float& v : listener.velocity) v = 0;
  draw_scene(position, m, c->fov, -1);
  if (track) draw_ticker();
}

void draw_race_view_of(int) { draw_race_view(); }

// Ticker -------------------------------------------------------------------

namespace {

// Text space: 40 lines, y counted down from the top in line units (the
// strip's own layout), x from the left.
void box(float r, float g, float b, float x0, float y0, float x1, float y1) {
  draw_filled_quad(r, g, b, 1, x0, -y1, x1, -y0);
}

void text_at(float r, float g, float b, float x0, float x1, float y, const char* text) {
  glPushMatrix();
  glTranslatef(0, -y, 0);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  draw_text_centered(r, g, b, 1, x0, x1, text);
  glPopMatrix();
}

// Entry n of the strip, or -1 for a slot to leave out.
int ticker_slot(int n) {
  const int slot = running_order.entries[n].slot;
  if (game_state.connect_target && own_start_position == race_no_slot && slot_kind(slot) == RIDER_LOCAL) return -1;
  return slot;
}

}  // namespace

double ticker_time_behind(const running_order_entry& ahead, const running_order_entry& entry) {
  const rider* a = slot_rider(ahead.slot);
  const rider* b = slot_rider(entry.slot);
  if (!a || !b) return -1;
  const int index = (ahead.crossings < entry.crossings ? ahead.crossings : entry.crossings) - 1;
  if (index < 0) return -1;
  const int32_t ta = rider_timing_tick(a, index), tb = rider_timing_tick(b, index);
  if (ta < 1 || tb < 1 || tb <= ta) return -1;
  return (tb - ta) / 128.0;
}

void draw_ticker() {
  if (!(view_ye > 0)) return;
  const float width = 40 * view_xe / view_ye;
  menu_begin_text_scale(40);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);

  int entries[running_order_max];
  int count = 0;
  for (int i = 0; i < running_order.count && i < running_order_max; i++)
    if (ticker_slot(i) >= 0) entries[count++] = i;
  const double t = game_clock * 0.5;
  const float cell = 21.5f;
  glPushMatrix();
  glTranslatef(-(float)(t - std::floor(t)) * cell, -0.25f, 0);
  int k = count ? (int)((long long)std::floor(t) % (count + 1)) : 0;
  char text[64];
  for (float x = 0; x <= width + cell; x += cell, k = (k + 1) % (count + 1)) {
    box(0, 0, 0, x, -1, x + cell, 2);
    if (k >= count) continue;  // the empty cell after the last
    const running_order_entry& e = running_order.entries[entries[k]];
    const rider* r = slot_rider(e.slot);
    std::snprintf(text, sizeof text, "%d", k + 1);
    text_at(1, 1, 1, x, x + 3, 0, text);
    box(1, 1, 1, x + 3, -0.9f, x + 6, 0.1f);
    std::snprintf(text, sizeof text, "%3s", r ? rider_number_text(r) : "");
    text_at(0, 0, 0, x + 3, x + 6, 0, text);
    box(1, 1, 1, x + 6.5f, -0.9f, x + 21.5f, 0.1f);
    text_at(0, 0, 0, x + 6.5f, x + 21.5f, 0, e.slot >= 0 && e.slot < 160 ? rider_names[e.slot] : "");
    if (k > 0) {
      const double behind = ticker_time_behind(running_order.entries[entries[k - 1]], e);
      if (behind >= 0) {
        std::snprintf(text, sizeof text, "%7.3f", behind);
        text_at(1, 1, 1, x + 6.5f, x + 21.5f, 1, text);
      }
    }
  }
  glPopMatrix();

  // The leader's lap.
  int laps = 0;
  if (running_order.count > 0)
    laps = laps_completed(running_order.entries[0].crossings);
  const float x0 = width - 5, y0 = -1.25f;
  if (laps < race_clock.finish_lap) {
    const int last = laps + 1 == race_clock.finish_lap;
    box(last ? 1 : 0, 1, last ? 1 : 0, x0, y0, x0 + 5, y0 + 1.25f);
    std::snprintf(text, sizeof text, "Lap %d", laps + 1);
    text_at(0, 0, 0, x0, x0 + 5, y0 + 1.25f, text);
  } else {
    box(1, 1, 1, x0, y0, x0 + 5, y0 + 1.25f);
    for (int i = 0; i < 8; i++)
      for (int j = 0; j < 2; j++)
        if ((i + j) % 2) box(0, 0, 0, x0 + i * 0.625f, y0 + j * 0.625f, x0 + (i + 1) * 0.625f, y0 + (j + 1) * 0.625f);
  }
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  menu_pop_transform();
}
