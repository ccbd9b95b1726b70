#include "race/hud_text.h"

#include <ode/ode.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "assets/shader.h"
#include "assets/model_settings.h"
#include "bike/rider.h"
#include "bike/rider_timing.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/bike_setup.h"
#include "race/frame_loop.h"
#include "race/game_state.h"
#include "race/gate_timing.h"
#include "race/hud_math.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/scene.h"
#include "terrain/erode_queue.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"

render_stats_record render_stats_max;

namespace {

int order_place(int slot) {
  for (int i = 0; i < running_order.count && i < running_order_max; i++)
    if (running_order.entries[i].slot == slot) return i;
  return -1;
}

// Milliseconds of a tick count, as "%d:%02d.%03d".
void format_millis(char* buffer, size_t size, const char* prefix, int64_t ticks) {
  if (ticks < 0) ticks = 0;
  const int64_t ms = ticks * 1000 / 128;
  std::snprintf(buffer, size, "%s%d:%02d.%03d", prefix, (int)(ms / 60000), (int)(ms / 1000 % 60), (int)(ms % 1000));
}

void raise(int* maximum, int value) {
  if (value > *maximum) *maximum = value;
}

}  // namespace

void format_tenths(char* buffer, size_t size, const char* prefix, double seconds, const char* suffix) {
  if (!(seconds > 0)) seconds = 0;
  if (seconds > 1e12) seconds = 1e12;  // keeps the tenths within a long long
  const long long tenths = (long long)(seconds * 10);
  std::snprintf(buffer, size, "%s%lld:%02d.%d%s", prefix, tenths / 600, (int)(tenths / 10 % 60), (int)(tenths % 10),
                suffix);
}

int pit_board_fill(int slot, pit_board_text* out) {
  std::memset(out, 0, sizeof *out);
  const rider* r = slot_rider(slot);
  if (!r) return 0;
  const char* number = rider_number_text(r);
  std::snprintf(out->number, sizeof out->number, "%s", number ? number : "");

  const int place = order_place(slot);
  const int lap = rider_lap_and_segment(r).lap;
  if (time_trial)
    std::snprintf(out->place, sizeof out->place, "P%d", place + 1);
  else
    std::snprintf(out->place, sizeof out->place, "L%d P%d", lap + 1, place + 1);

  double gap = 0;
  if (place >= 0 && running_order.count >= 2) {
    const int other = place == 0 ? 1 : place - 1;
    gap = pit_board_gap(crossings_of(r), crossings_of(slot_rider(running_order.entries[other].slot)));
  }
  std::snprintf(out->gap, sizeof out->gap, "%+.1f ", gap);

  double last = 0, best = 0;
  if (time_trial) {
    last = last_lap_ticks / 128.0;
    best = best_lap_ticks / 128.0;
  } else {
    if (lap >= 2) last = rider_lap_time(r, -1);
    const int32_t b = results_best_lap(r);
    if (b >= 2) best = rider_lap_time(r, b);
  }
  if (last > 0) format_tenths(out->last, sizeof out->last, "Last - ", last, " ");
  if (best > 0) format_tenths(out->best, sizeof out->best, "Best - ", best, "");
  return 1;
}

void info_board_fill(info_board_text* out) {
  out->shown = out->final = out->row_count = out->penalty_count = 0;
  out->total[0] = 0;
  const running_order_state& list = results_finished ? results_list : running_order;
  const int count = list.count < running_order_max ? list.count : running_order_max;
  if (count <= 0) return;
  rider* first = slot_rider(list.entries[0].slot);
  if (!first || !rider_has_finished(first)) return;
  out->shown = 1;
  out->final = results_finished;

  const running_order_entry* ahead = nullptr;
  for (int i = 0; i < count; i++) {
    const running_order_entry& e = list.entries[i];
    rider* r = slot_rider(e.slot);
    if (!r || (!results_finished && !rider_has_finished(r))) continue;
    info_board_row& row = out->rows[out->row_count++];
    row.slot = e.slot;
    std::snprintf(row.place, sizeof row.place, "%d", i + 1);
    const char* number = rider_number_text(r);
    std::snprintf(row.number, sizeof row.number, "%3s", number ? number : "");
    std::snprintf(row.laps, sizeof row.laps, "L%d", laps_completed(e.crossings));
    double gap = 0.0;
    if (ahead && ahead->crossings == e.crossings) {
      gap = ((int64_t)e.last_tick - ahead->last_tick) / 128.0;
    } else if (ahead) {
      // A lapped rider finished before the rider ahead did: the gap is
      // taken where both have been, not from their last crossings.
      gap = -pit_board_gap(crossings_of(r), crossings_of(slot_rider(ahead->slot)));
    }
    std::snprintf(row.gap, sizeof row.gap, "%7.3f", gap);
    const int32_t b = results_best_lap(r);
    const double best = b >= 1 ? rider_lap_time(r, b) : 0;
    // Whole milliseconds, cut as results.txt cuts them, so both agree.
    const long long ms = (long long)(best * 1000);
    std::snprintf(row.best, sizeof row.best, "%d:%02d.%03d", (int)(ms / 60000), (int)(ms / 1000 % 60), (int)(ms % 1000));
    std::snprintf(row.best_lap, sizeof row.best_lap, "(%d)", b);
    ahead = &e;
  }
  if (!results_finished) return;

  format_millis(out->total, sizeof out->total, "Total Race Time: ",
                (int64_t)list.entries[0].last_tick - race_clock.gate_drop_tick);
  const int32_t normal = rider_track_lap_counts().normal_lap_gates;
  for (int i = 0; i < count; i++) {
    const running_order_entry& e = list.entries[i];
    const rider* r = slot_rider(e.slot);
    if (!r || rider_cut_penalty(r) <= 0) continue;
    const crossing_list made = crossings_of(r);
    const int laps_off = normal > 0 && made.count > e.crossings ? (made.count - e.crossings) / normal : 0;
    const int32_t last = made.count > 0 ? made.ticks[made.count - 1] : e.last_tick;
    const double seconds = ((int64_t)e.last_tick - last) / 128.0;
    char* line = out->penalties[out->penalty_count++];
    const char* number = rider_number_text(r);
    int n = std::snprintf(line, hud_line_bytes, "%3s penalized ", number ? number : "");
    if (laps_off > 0 && n < hud_line_bytes)
      n += std::snprintf(line + n, hud_line_bytes - n, "%d %s ", laps_off, laps_off == 1 ? "lap" : "laps");
    if (n < hud_line_bytes) std::snprintf(line + n, hud_line_bytes - n, "%.2f seconds for cutting track", seconds);
  }
}

render_stats_record render_stats_now() {
  render_stats_record now = {};
  now.ground_polygons = track_field.drawn_triangle_count;
  now.model_polygons = draw_stats.triangles;
  now.billboards = scene_stats.billboards_drawn;
  now.decals = track_field.decals_drawn;
  now.texture_changes = scene_stats.texture_binds;
  now.shader_changes = shader_programs.switch_count;
  return now;
}

void render_stats_reset() {
  game_state.draw_render_stats = 1;
  render_stats_max = render_stats_record{};
  track_field.decals_drawn = 0;
  scene_stats = scene_counters{};
  draw_stats = draw_statistics{};
  shader_programs.switch_count = 0;
}

int info_board_status(int slot, char lines[info_board_status_max][hud_line_bytes]) {
  int n = 0;
  if (draw_fps) {
    const double frame = frame_loop.last_frame_seconds;
    const double fps = frame > 0 ? 1.0 / frame : 0.0;
    std::snprintf(lines[n++], hud_line_bytes, "FPS - %d", fps < 2e9 ? (int)fps : 0);
    frame_loop.last_frame_seconds = 0;
  }
  if (draw_time) {
    const double seconds = (race_clock.current_tick - (double)race_clock.gate_drop_tick) / 128.0;
    format_tenths(lines[n++], hud_line_bytes, "Time - ", seconds, " ");
  }
  if (draw_ping && net_online && net_own_slot >= 0 && net_own_slot < net_slot_count) {
    const int ping = net_lag[net_own_slot] * 1000 / 128;
    const int offset = race_hooks.net_server_time_estimate
                           ? (race_hooks.net_server_time_estimate() - race_clock.current_tick) * 1000 / 128
                           : 0;
    std::snprintf(lines[n++], hud_line_bytes, "Ping - %dms (%dms offset)", ping, offset);
  }
  const rider* r = slot_rider(slot);
  if (draw_speed && r && rider_frame_body(r)) {
    const dReal* v = dBodyGetLinearVel(rider_frame_body(r));
    const double speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    std::snprintf(lines[n++], hud_line_bytes, "Speed - %.2f", speed * 0.6818182);
  }
  if (game_state.draw_render_stats) {
    const render_stats_record now = render_stats_now();
    render_stats_record& m = render_stats_max;
    raise(&m.ground_polygons, now.ground_polygons);
    raise(&m.model_polygons, now.model_polygons);
    raise(&m.billboards, now.billboards);
    raise(&m.decals, now.decals);
    raise(&m.texture_changes, now.texture_changes);
    raise(&m.shader_changes, now.shader_changes);
    track_field.decals_drawn = 0;
    std::snprintf(lines[n++], hud_line_bytes, "Ground polygons - %d max=%d", now.ground_polygons, m.ground_polygons);
    std::snprintf(lines[n++], hud_line_bytes, "Model polygons - %d max=%d", now.model_polygons, m.model_polygons);
    std::snprintf(lines[n++], hud_line_bytes, "Billboards - %d max=%d", now.billboards, m.billboards);
    std::snprintf(lines[n++], hud_line_bytes, "Decals - %d max=%d", now.decals, m.decals);
    std::snprintf(lines[n++], hud_line_bytes, "Texture Changes - %d max=%d", now.texture_changes, m.texture_changes);
    std::snprintf(lines[n++], hud_line_bytes, "Shader Changes - %d max=%d", now.shader_changes, m.shader_changes);
    const int loaded = track_field.heights != nullptr;
    std::snprintf(lines[n++], hud_line_bytes, "Terrain texture age - %d", loaded ? ground_texture_stats(&track_field) : 0);
    std::snprintf(lines[n++], hud_line_bytes, "Reshades pending - %d", loaded ? ground_count_dirty(&track_field) : 0);
    std::snprintf(lines[n++], hud_line_bytes, "Erode buffered - %d", erode_queue.count);
  }
  if (bike_setup.sticky_dab && sticky_dab_is_held()) std::snprintf(lines[n++], hud_line_bytes, "Dabbing!");
  return n;
}
