// The instrument panel drawn over the on-bike and chase views.
#include "race/hud.h"

#include <GL/gl.h>
#include <ode/ode.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "assets/font.h"
#include "assets/view_extent.h"
#include "bike/rider.h"
#include "bike/rider_contacts.h"
#include "bike/rider_engine.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/bike_setup.h"
#include "race/gate_timing.h"
#include "race/hud_math.h"
#include "race/hud_text.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/screen_draw.h"
#include "race/series.h"
#include "terrain/height_field.h"
#include "terrain/ruts.h"
#include "terrain/track.h"

unsigned hud_textures[3];

namespace {

const float pi = 3.14159265358979f;
const float white[4] = {1, 1, 1, 1};
const float green[4] = {0, 1, 0, 1};
const float red[4] = {1, 0, 0, 1};

// The overlay's own state: no depth, lighting, fog or culling; the
// modelview at z = -1 so x and y are the unit-distance view's.
void begin_overlay() {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glTranslatef(0, 0, -1);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glDisable(GL_FOG);
  glDisable(GL_ALPHA_TEST);
}

void end_overlay() {
  glPopMatrix();
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  glColor4f(1, 1, 1, 1);
}

void untextured_blended() {
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

// A picture on (x0, y0)-(x1, y1); texture row v0 at the top edge.
void picture(unsigned texture, float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1) {
  if (!texture) return;
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glBindTexture(GL_TEXTURE_2D, texture);
  glColor4f(1, 1, 1, 1);
  glBegin(GL_QUADS);
  glTexCoord2f(u0, v1);
  glVertex2f(x0, y0);
  glTexCoord2f(u1, v1);
  glVertex2f(x1, y0);
  glTexCoord2f(u1, v0);
  glVertex2f(x1, y1);
  glTexCoord2f(u0, v0);
  glVertex2f(x0, y1);
  glEnd();
  glDisable(GL_TEXTURE_2D);
}

void square(float x, float y, float half, float r, float g, float b) {
  glColor4f(r, g, b, 1);
  glBegin(GL_QUADS);
  glVertex2f(x - half, y - half);
  glVertex2f(x + half, y - half);
  glVertex2f(x + half, y + half);
  glVertex2f(x - half, y + half);
  glEnd();
}

void draw_telemetry_graph(float scale) {
  const telemetry_ring_set& t = telemetry_rings;
  const int start = t.write_index >= 0 && t.write_index < telemetry_ring_size ? t.write_index : 0;
  glPushMatrix();
  glTranslatef(view_xe, -view_ye, 0);
  glScalef(scale, scale, 1);
  untextured_blended();
  glPushMatrix();
  glTranslatef(-4, 1, 0);
  draw_graph_frame();
  draw_graph_traces(t.shock_travel, nullptr, white, white, telemetry_ring_size, start, 1);
  draw_graph_traces(t.shock_rate, t.shock_damping, green, red, telemetry_ring_size, start, -1);
  glPopMatrix();
  glPushMatrix();
  glTranslatef(-7, 1, 0);
  draw_graph_traces(t.fork_travel, nullptr, white, white, telemetry_ring_size, start, 1);
  draw_graph_traces(t.fork_rate, t.fork_damping, green, red, telemetry_ring_size, start, -0.25f);
  glPopMatrix();

  static const char* const legends[2][3] = {{" Fork Position", " Fork Speed (High)", " Fork Speed (Low)"},
                                            {" Swingarm Position", " Shock Speed (High)", " Shock Speed (Low)"}};
  const float* colours[3] = {white, green, red};
  glTranslatef(-6, 2, 0);
  glScalef(1 / 12.0f, 1 / 12.0f, 1);
  for (int column = 0; column < 2; column++)
    for (int k = 0; k < 3; k++) {
      glPushMatrix();
      glTranslatef(36.0f * column, -1.0f - k, 0);
      draw_text_shadowed(colours[k][0], colours[k][1], colours[k][2], 1, legends[column][k]);
      glPopMatrix();
    }
  glPopMatrix();
}

void draw_tachometer(const rider* r, float scale) {
  glPushMatrix();
  glTranslatef(view_xe, -view_ye, 0);
  glScalef(scale, scale, 1);
  glTranslatef(-1, 1, 0);
  picture(hud_textures[hud_tach], -1, -1, 1, 1, 0, 0, 1, 1);

  glPushMatrix();
  glRotatef(-tach_needle_degrees(rider_engine_rpm(r)), 0, 0, 1);
  untextured_blended();
  glColor4f(0.75f, 0, 0, 1);
  glBegin(GL_TRIANGLES);
  glVertex2f(0, 0.75f);
  glVertex2f(-0.1f, 0.25f);
  glVertex2f(0.1f, 0.25f);
  glEnd();
  glPopMatrix();

  float cell[4];
  gear_cell(rider_get_gear(r), cell);
  const float half = 1 / 3.0f;
  picture(hud_textures[hud_shifter], -half, -half, half, half, cell[0], cell[1], cell[2], cell[3]);
  glPopMatrix();
}

// The slot's name over a recorded rider, as the race view shows it.
void draw_caption(int slot) {
  if (slot_kind(slot) != RIDER_REMOTE) return;
  const char* name = nullptr;
  if (net_online && race_hooks.net_rider_name) name = race_hooks.net_rider_name(slot);
  if (!name || !*name) name = rider_names[slot];
  if (!name || !*name || !(view_ye > 0)) return;
  menu_begin_text_scale(30);
  glTranslatef(0, -28, 0);
  draw_text_centered_shadowed(1, 1, 1, 1, 0, 30 * view_xe / view_ye, name);
  menu_pop_transform();
}

void draw_lean_indicator(const rider* r) {
  const dBodyID body = rider_frame_body(r);
  if (!body || !track_field.heights) return;
  const dReal* p = dBodyGetPosition(body);
  float ground[3];
  terrain_triangle_normal(&track_field, (float)p[0], (float)p[2], ground);
  dVector3 n;
  dBodyVectorFromWorld(body, ground[0], ground[1], ground[2], n);
  const float a = std::atan2((float)n[0], (float)n[1]);
  if (!std::isfinite(a)) return;
  const int warn = std::fabs(a) > pi / 5;
  const float inside[4] = {warn ? 1.0f : 0.0f, 0, 0, 0}, outside[4] = {warn ? 1.0f : 0.0f, 0, 0, 0.25f};
  glPushMatrix();
  const float s = 0.93361f * view_ye;
  glScalef(s, s, 1);
  untextured_blended();
  if (a >= 0)
    draw_gauge_arc(a - pi / 2, -pi / 2, 0.5f, 1, inside, outside);
  else
    draw_gauge_arc(pi / 2, a + pi / 2, 0.5f, 1, inside, outside);
  glPopMatrix();
}

void draw_track_map(int slot) {
  if (!map_texture || !(track_field.extent > 0)) return;
  const float scale = map_scale > 0 ? (float)map_scale : 1.0f;
  const float extent = track_field.extent;
  glPushMatrix();
  glTranslatef(view_xe, view_ye, 0);
  const float s = 0.466805f * view_ye * scale;
  glScalef(s, s, 1);
  glTranslatef(-1, 0, 0);
  picture(map_texture, 0, -1, 1, 0, 0, 0, 1, 1);

  untextured_blended();
  for (int k = 0; k < 160; k++) {
    const rider* r = slot_rider(k);
    if (!r || !rider_frame_body(r) || rider_hidden(k)) continue;
    const dReal* p = dBodyGetPosition(rider_frame_body(r));
    square((float)p[0] / extent, -(float)p[2] / extent, 1 / (64 * scale), 0, 0, 0);
  }
  for (int i = (running_order.count < running_order_max ? running_order.count : running_order_max) - 1; i >= 0;
       i--) {
    const int k = running_order.entries[i].slot;
    rider* r = slot_rider(k);
    if (!r || !rider_frame_body(r)) continue;
    const dReal* p = dBodyGetPosition(rider_frame_body(r));
    const float x = (float)p[0] / extent, y = -(float)p[2] / extent, half = 1 / (128 * scale);
    if (rider_has_finished(r))
      square(x, y, half, 0.25f, 0.25f, 0.25f);
    else if (i == 0)
      square(x, y, half, 0, 1, 0);
    else
      square(x, y, half, 1, 1, 1);
  }

  const rider* viewed = slot_rider(slot);
  if (viewed && rider_frame_body(viewed)) {
    const dBodyID body = rider_frame_body(viewed);
    const dReal* p = dBodyGetPosition(body);
    const dReal* m = dBodyGetRotation(body);
    // Forward is the body's -z; on the map world z runs downwards.
    float dx = -(float)m[2], dy = (float)m[10];
    const float length = std::sqrt(dx * dx + dy * dy);
    if (length > 1e-6f) {
      dx /= length;
      dy /= length;
      const float x = (float)p[0] / extent, y = -(float)p[2] / extent;
      const float sizes[2] = {3 / (128 * scale) + 3 / (256 * scale), 3 / (128 * scale)};
      for (int k = 0; k < 2; k++) {
        const float z = sizes[k];
        glColor4f(k ? 1.0f : 0.0f, 0, 0, 1);
        glBegin(GL_TRIANGLES);
        glVertex2f(x + dx * z, y + dy * z);
        glVertex2f(x - dx * z * 0.6f - dy * z * 0.6f, y - dy * z * 0.6f + dx * z * 0.6f);
        glVertex2f(x - dx * z * 0.6f + dy * z * 0.6f, y - dy * z * 0.6f - dx * z * 0.6f);
        glEnd();
      }
    }
  }
  glPopMatrix();
}

const char* series_event_title() {
  const series_table_record& t = series_table;
  if (t.current_series < 0 || t.current_series >= t.count || !t.records) return nullptr;
  const series_record& s = t.records[t.current_series];
  if (t.current_event < 0 || t.current_event >= s.event_count || !s.events) return nullptr;
  return s.events[t.current_event].title;
}

void draw_start_caption() {
  const float alpha = start_caption_alpha(race_clock.current_tick);
  if (race_clock.current_tick / 128.0 >= 3 || alpha <= 0) return;
  glPushMatrix();
  glScalef(0.1f, 0.1f, 1);
  const char* title = series_event_title();
  if (title) {
    draw_text_centered_shadowed(1, 1, 1, alpha, -10, 10, title);
  } else {
    draw_text_centered_shadowed(1, 1, 1, alpha, -10, 10, track_long_name);
    char length[64];
    draw_race_length(length, sizeof length);
    glTranslatef(0, -1, 0);
    draw_text_centered_shadowed(1, 1, 1, alpha, -10, 10, length);
  }
  glPopMatrix();
}

void draw_lapping_strip(int slot) {
  const rider* viewed = slot_rider(slot);
  if (!viewed || !(view_ye > 0)) return;
  int place = -1;
  const int count = running_order.count < running_order_max ? running_order.count : running_order_max;
  for (int i = 0; i < count; i++)
    if (running_order.entries[i].slot == slot) place = i;
  if (place <= 0) return;
  const crossing_list mine = crossings_of(viewed);
  char text[1024];
  size_t length = 0;
  text[0] = 0;
  for (int i = 0; i < place; i++) {
    const rider* other = slot_rider(running_order.entries[i].slot);
    const crossing_list theirs = crossings_of(other);
    if (!lapping_listed(mine, theirs, count, route.first_lap_gates, route.normal_lap_gates)) continue;
    const int k = (theirs.count - mine.count - 1) / route.normal_lap_gates;
    const int32_t g = mine.ticks[theirs.count - route.normal_lap_gates * (k + 1) - 1];
    const double behind = (theirs.ticks[theirs.count - 1] - g) / 128.0;
    const char* number = rider_number_text(other);
    char item[64];
    const int n = std::snprintf(item, sizeof item, " %.5s (%.1f) ", number ? number : "", behind);
    if (n <= 0 || length + (size_t)n > 1023) break;
    std::memcpy(text + length, item, (size_t)n + 1);
    length += (size_t)n;
  }
  if (!length) return;
  glPushMatrix();
  glTranslatef(-view_xe, -view_ye, 0);
  const float s = view_ye / 15;
  glScalef(s, s, 1);
  const float width = 2 * view_xe / s;
  draw_filled_quad(0, 0.5f, 1, 0.5f, 0, 0, width, 1);
  draw_text_centered(1, 1, 1, 1, 0, width, text);
  glPopMatrix();
}

}  // namespace

void draw_gauge_arc(float a0, float a1, float r0, float r1, const float colour0[4], const float colour1[4]) {
  const int steps = gauge_arc_steps(a0, a1);
  if (steps < 2) return;
  glBegin(GL_QUAD_STRIP);
  for (int i = 0; i < steps; i++) {
    const float a = a0 + (a1 - a0) * (float)i / (float)(steps - 1);
    const float sx = std::sin(a), cy = std::cos(a);
    glColor4fv(colour0);
    glVertex2f(r0 * sx, r0 * cy);
    glColor4fv(colour1);
    glVertex2f(r1 * sx, r1 * cy);
  }
  glEnd();
}

void draw_graph_frame() {
  glBegin(GL_LINES);
  const float corners[5][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {-1, -1}};
  for (int k = 0; k < 4; k++) {
    glVertex2f(corners[k][0], corners[k][1]);
    glVertex2f(corners[k + 1][0], corners[k + 1][1]);
  }
  glVertex2f(-1, 0);
  glVertex2f(1, 0);
  glEnd();
}

void draw_graph_traces(const float* ring, const float* colour_ring, const float colour0[4], const float colour1[4],
                       int count, int start, float scale) {
  if (!ring || count <= 0) return;
  if (start < 0 || start >= count) start = 0;
  glBegin(GL_LINE_STRIP);
  int index = start;
  for (int i = 0; i < count; i++, index = index + 1 >= count ? 0 : index + 1) {
    if (colour_ring) {
      float t = colour_ring[index];
      t = t < 0 ? 0 : t > 1 ? 1 : t == t ? t : 0;
      glColor4f(colour0[0] + (colour1[0] - colour0[0]) * t, colour0[1] + (colour1[1] - colour0[1]) * t,
                colour0[2] + (colour1[2] - colour0[2]) * t, colour0[3] + (colour1[3] - colour0[3]) * t);
    } else {
      glColor4fv(colour0);
    }
    float y = scale * ring[index];
    y = y < -1 ? -1 : y > 1 ? 1 : y == y ? y : 0;
    glVertex2f(2.0f * i / count - 1, y);
  }
  glEnd();
}

void draw_rider_hud_text(int slot) {
  pit_board_text text;
  if (!pit_board_fill(slot, &text)) return;
  glPushMatrix();
  glTranslatef(-view_xe, -view_ye, 0);
  const float s = 0.6227179f * view_ye;
  glScalef(s, s, 1);
  picture(hud_textures[hud_pitboard], 0, 0.125f, 1, 0.8125f, 0, 0.1875f, 1, 0.875f);
  glTranslatef(95 / 256.0f, 87 / 128.0f, 0);
  glScalef(9 / 128.0f, 9 / 128.0f, 1);
  draw_text_color(0, 0, 0, 1, text.number);
  glTranslatef(0, -2, 0);
  glScalef(1.25f, 1.25f, 1);
  // The gap follows the place on its line, and the best lap the last one.
  char line[sizeof text.place + sizeof text.gap + sizeof text.last + sizeof text.best];
  std::snprintf(line, sizeof line, "%s %s", text.place, text.gap);
  draw_text_color(0, 0, 0, 1, line);
  glTranslatef(-2, -1, 0);
  std::snprintf(line, sizeof line, "%s%s", text.last, text.best);
  draw_text_color(0, 0, 0, 1, line);
  glPopMatrix();
}

void draw_hud(int slot) {
  begin_overlay();
  const rider* r = slot_rider(slot);
  const float scale = 0.2334025f * view_ye;
  if (r) {
    if (telemetry_graph_on) draw_telemetry_graph(scale);
    draw_tachometer(r, scale);
    draw_rider_hud_text(slot);
    if (bike_setup.lean_indicator) draw_lean_indicator(r);
    draw_lapping_strip(slot);
  }
  draw_caption(slot);
  draw_track_map(slot);
  draw_start_caption();
  end_overlay();
}
