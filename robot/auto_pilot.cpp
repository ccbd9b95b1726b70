#include "robot/auto_pilot.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "bike/rider.h"
#include "bike/rider_setters.h"
#include "bike/robot_hooks.h"
#include "core/growable_array.h"
#include "core/race_clock.h"
#include "core/random.h"
#include "core/running_order.h"
#include "platform/log.h"
#include "race/game_state.h"
#include "race/race_hooks.h"
#include "robot/line_following.h"
#include "robot/lines.h"
#include "robot/look_ahead.h"
#include "robot/record_pass.h"
#include "robot/rider_assist.h"
#include "robot/route_planner.h"
#include "terrain/terrain_settings.h"
#include "terrain/track.h"

namespace {

float clampf(float x, float lo, float hi) { return x < lo ? lo : (x > hi ? hi : x); }

// A fresh draw in [0, 1).
float uniform() { return (float)((random_next() & 0x7fffffffu) / 2147483648.0); }

double distance_xz(const float c[3], const line_sample& p) {
  const double dx = (double)p.x - c[0], dz = (double)p.z - c[2];
  return std::sqrt(dx * dx + dz * dz);
}

// How well a slot's line carries on from the end of the followed line.
float line_match(const line_record& slot, const float frame[3], const line_sample* followed, int32_t count) {
  if (count < 3) {
    if (slot.sample_count <= 0) return 0;
    const line_sample& f = slot.samples[0];
    const double dx = (double)f.x - frame[0], dy = (double)f.y - frame[1], dz = (double)f.z - frame[2];
    const float near = clampf((float)((100 - std::sqrt(dx * dx + dy * dy + dz * dz)) / 96), 0, 1);
    return 10 * near * near * near;
  }
  if (slot.sample_count < 2) return 0;
  float c[3];
  circle_centre_xz(c, followed[count - 3], followed[count - 2], followed[count - 1]);
  const double r = distance_xz(c, followed[count - 1]);
  const double v = std::fabs(followed[count - 1].speed);
  const double d1 = distance_xz(c, slot.samples[0]), d2 = distance_xz(c, slot.samples[1]);
  const float a = clampf((float)((15 + std::fabs(slot.samples[0].speed) - v) / 5), 0, 1);
  const float b = clampf((float)((5 - std::fabs(r - d1)) / 3.5), 0, 1);
  const float k = clampf((float)((3 - std::fabs(d2 - d1)) / 2), 0, 1);
  const float bc = b * k;
  return a * bc * bc * bc;
}

// The live programme's back-pointers: eight steps.
enum { pick_steps = 8 };
uint8_t pick_back_blocks[pick_steps * route_no_slot * route_no_slot];

void hold_posture(rider* r, float throttle) {
  const int down = r->down_counter > 0;
  rider_set_dab(r, down ? 0 : 1);
  rider_set_clutch(r, 0);
  rider_set_front_brake(r, 1);
  rider_set_rear_brake(r, 1);
  rider_set_steer(r, 0);
  rider_set_auto_shift(r, 0);
  const bike_model* model = rider_model(r);
  rider_set_gear(r, model && model->gear_ratios[1] > 0 ? 1 : 0);
  rider_set_throttle(r, down ? 0 : throttle);
}

// Steer that turns the frame's roll rate toward upright: the careful
// follower's roll-rate steering with no lean asked.
float steer_upright(dBodyID frame) {
  const dReal* w = dBodyGetAngularVel(frame);
  dVector3 spin;
  dBodyVectorFromWorld(frame, w[0], w[1], w[2], spin);
  const float roll_rate = clampf(-4 * body_pitch_angle(frame), -4, 4);
  const float steer = clampf(2 * ((float)spin[2] - roll_rate), -1, 1);
  return std::isfinite(steer) ? steer : 0.0f;
}

// The bike has reached its followed line (a sample lies behind it) and the
// line's speed there.
int launch_has_line_speed(const rider* r) {
  const line_sample* q = (const line_sample*)r->followed_line.data;
  const int32_t count = (int32_t)r->followed_line.count;
  if (!q || count <= 0) return 0;
  const float place = line_cursor_position(r);
  if (!(place >= 1)) return 0;
  const int32_t i = std::min((int32_t)place, count - 1);
  const int32_t j = std::min(i + 1, count - 1);
  const float want = std::fabs(q[i].speed) + (std::fabs(q[j].speed) - std::fabs(q[i].speed)) * (place - (float)i);
  const dReal* v = dBodyGetLinearVel(r->bodies[RIDER_FRAME]);
  return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) >= want;
}

// Past the start: the look-ahead driver, or the careful follower while
// the robot recovers.
void drive(rider* r) {
  if (r->robot.recovery_counter == 0) {
    auto_pilot_steer_ahead(r);
  } else {
    auto_pilot_follow_line(r);
  }
}

// The cursor runs ahead of the bike to the first sample 60 ft away (30
// while recovering), but never onto a stretch heading back at it.
void advance_cursor(rider* r, const float frame[3], const float forward[3], int32_t now) {
  rider_robot_state& bot = r->robot;
  growable_array& line = r->followed_line;
  const int32_t n = bot.cursor;
  if (n < 0 || (size_t)n >= line.count) return;
  const line_sample* s = (const line_sample*)line.data;
  const double dx = (double)s[n].x - frame[0], dz = (double)s[n].z - frame[2];
  const double d = std::sqrt(dx * dx + dz * dz);
  if (!(d < (bot.recovery_counter == 3 ? 30 : 60))) return;
  if (d > 4 && n >= 1) {
    const double wx = (double)s[n].x - s[n - 1].x, wz = (double)s[n].z - s[n - 1].z;
    if (wx * wx + wz * wz > 1 && wx * forward[0] + wz * forward[2] < 0) return;
  }
  bot.cursor = n + 1;
  bot.last_advance_tick = now;
  if ((size_t)bot.cursor >= line.count) bot.cursor = 0, line.count = 0;
  if (bot.recovery_counter > 0) bot.recovery_counter--;
}

// Picks the library line for the next segment and splices it onto the
// followed line. On the first segment the cursor skips the samples within
// 10 ft of the line's start, and no stall counts before 30 seconds.
void splice_next_line(rider* r, const float frame[3], const float forward[3], int32_t now) {
  rider_robot_state& bot = r->robot;
  growable_array& line = r->followed_line;
  const int32_t s = bot.pick_segment;
  const int32_t v = library_segment(s);
  const auto_pilot_pick pick = auto_pilot_pick_line(v, auto_pilot_route_variant(r), now, frame,
                                                    (const line_sample*)line.data, (int32_t)line.count);
  line_record* slots = library_segment_slots(v);
  if (pick.slot < 0 || !slots || slots[pick.slot].sample_count <= 0) return;
  const line_record& w = slots[pick.slot];
  bot.picked_line_ids[s % 4] = w.unique_id;
  bot.pick_segment = s + 1;
  auto_pilot_splice(&line, &bot.cursor, w.samples, w.sample_count, frame, forward);
  if (s != 0) return;
  const line_sample* q = (const line_sample*)line.data;
  int32_t c = 1;
  for (; (size_t)c < line.count; c++) {
    const double dx = (double)q[c].x - q[0].x, dy = (double)q[c].y - q[0].y, dz = (double)q[c].z - q[0].z;
    if (dx * dx + dy * dy + dz * dz > 100) break;
  }
  bot.cursor = c;
  bot.last_advance_tick = (int32_t)(30.0 / tick_length);
}

// The line is used up: stand on the brakes.
void brake_at_line_end(rider* r, dBodyID frame_body) {
  rider_set_throttle(r, 0);
  rider_set_clutch(r, 0);
  rider_set_front_brake(r, 1);
  rider_set_rear_brake(r, 1);
  rider_set_steer(r, 0);
  // Still rolling (a finished robot runs off the end of its line at
  // speed, often in a bend): held straight on full brakes the bike goes
  // over, so it steers by roll rate toward upright until it stops.
  const dReal* fv = dBodyGetLinearVel(frame_body);
  if (fv[0] * fv[0] + fv[1] * fv[1] + fv[2] * fv[2] > 1) rider_set_steer(r, steer_upright(frame_body));
  rider_set_dab(r, r->down_counter > 0 ? 0 : 1);
}

// The launch: the clutch let out over x from 0 to 1 on full throttle, in
// first gear until most of the way out.
void launch(rider* r, float step_x) {
  const int down = r->down_counter > 0;
  const float x = clampf(step_x, 0, 1);
  rider_set_throttle(r, down ? 0 : 1);
  rider_set_dab(r, down ? 0 : 1 - x);
  rider_set_clutch(r, x);
  rider_set_front_brake(r, 0);
  rider_set_rear_brake(r, 0);
  rider_set_steer(r, 0);
  if (step_x < 0.75f) {
    rider_set_auto_shift(r, 0);
    const bike_model* model = rider_model(r);
    rider_set_gear(r, model && model->gear_ratios[1] > 0 ? 1 : 0);
  } else {
    rider_set_auto_shift(r, 1);
  }
}

// Held at the gate, launched, or driven, by where the start has got to.
void start_or_drive(rider* r, int32_t now) {
  rider_robot_state& bot = r->robot;
  const auto_pilot_personality& who = auto_pilot_personalities[bot.personality];
  const auto_pilot_start_step step =
      auto_pilot_start_state((float)(now * tick_length), (float)(race_clock.gate_drop_tick * tick_length),
                             (float)(race_clock.five_second_ticks * tick_length), &bot.launch_time, who.weight1,
                             who.weight2);
  switch (step.phase) {
    case auto_pilot_start_hold:
      hold_posture(r, step.throttle);
      break;
    case auto_pilot_start_launch:
      // The launch is over once the clutch is home and the bike, on its
      // line, is as fast as the line there: two blind seconds of full
      // throttle carried a pack far past its lines' speed and straight on
      // past the first bend, all of them turning and braking at once.
      if (bot.launch_over || (step.x >= 1 && launch_has_line_speed(r))) {
        bot.launch_over = 1;
        drive(r);
      } else {
        launch(r, step.x);
      }
      break;
    default:
      drive(r);
      break;
  }
}

}  // namespace

int auto_pilot_route_variant(const rider* r) {
  const int32_t row = r->robot.personality;
  if (row <= 0 || row >= auto_pilot_personality_count) return 0;
  const auto_pilot_personality& p = auto_pilot_personalities[row];
  int64_t lead = 0;
  if (running_order.count >= 2 && running_order.entries[0].slot == r->slot) {
    const running_order_entry& second = running_order.entries[1];
    const int64_t theirs = second.last_tick;
    const int64_t mine = second.crossings > 0 ? rider_timing_tick(r, second.crossings - 1) : -1;
    if (theirs > 0 && mine > 0 && theirs - mine > 0) lead = theirs - mine;
  }
  return p.threshold >= lead * tick_length ? p.variant_a : p.variant_b;
}

auto_pilot_pick auto_pilot_pick_line(int32_t v, int variant, int32_t now, const float frame[3],
                                     const line_sample* followed, int32_t followed_count) {
  auto_pilot_pick pick{-1, 0, 0, 0};
  line_record* slots = library_segment_slots(v);
  if (!slots) return pick;
  int used = 0;
  for (int j = 0; j < line_slots_per_segment; j++) used |= slots[j].sample_count > 0;
  if (!used) return pick;  // nothing to pick while the segment holds no line

  static int32_t cost[route_no_slot][route_no_slot];
  route_back_pointers back{pick_back_blocks, pick_steps};
  route_dynamic_program(&back, cost, v, pick_steps, variant);
  float score[line_slots_per_segment];
  int32_t least[line_slots_per_segment];
  int32_t best = route_unreachable;
  for (int j = 0; j < line_slots_per_segment; j++) {
    least[j] = cost[j][0];
    for (int i = 1; i < route_no_slot; i++) least[j] = std::min(least[j], cost[j][i]);
    best = std::min(best, least[j]);
  }
  for (int j = 0; j < line_slots_per_segment; j++) score[j] = least[j] < 1 ? 1.0f : (float)best / (float)least[j];

  if (variant >= 0 && variant < route_best_path_variants && route.best_paths) {
    const int32_t chosen = route.best_paths[variant * route_library_segments() + v];
    const float k = clampf((float)((now * tick_length - 40) * 0.05), 0, 1);
    for (int j = 0; j < line_slots_per_segment; j++)
      if (slots[j].unique_id == chosen) score[j] += k * (1 - score[j]);
  }
  if (v == 0)
    for (float& s : score) s = 0.8f + 0.2f * s;

  float value[line_slots_per_segment], match[line_slots_per_segment], since[line_slots_per_segment];
  // Every slot competes; an empty winner splices nothing, and its fresh pick
  // tick lets another slot win on a later tick.
  int winner = 0;
  for (int j = 0; j < line_slots_per_segment; j++) {
    match[j] = line_match(slots[j], frame, followed, followed_count);
    since[j] = (float)(((int64_t)now - slots[j].last_picked_tick) * tick_length);
    value[j] = match[j] + clampf(since[j] / 3, 0, 1) * score[j];
    if (value[j] > value[winner]) winner = j;
  }
  if (!(value[winner] > 0)) winner = 0;
  pick.slot = winner;
  pick.score = score[winner];
  pick.match = match[winner];
  pick.seconds_since_picked = since[winner];
  if (game_state.debug_level > 0)
    log_printf("auto pilot: picking %d score = %f match = %f last_picked = %f\n", winner, pick.score,
               pick.match, pick.seconds_since_picked);

  line_record& w = slots[winner];
  w.last_picked_tick = now;
  if (w.sample_count > 0) {
    const line_sample& end = w.samples[w.sample_count - 1];
    for (int j = 0; j < line_slots_per_segment; j++) {
      line_record& o = slots[j];
      if (j == winner || o.sample_count <= 0) continue;
      const line_sample& e = o.samples[o.sample_count - 1];
      const double dx = (double)e.x - end.x, dy = (double)e.y - end.y, dz = (double)e.z - end.z;
      if (dx * dx + dy * dy + dz * dz < 9) o.last_picked_tick = now;
    }
  }
  return pick;
}

void auto_pilot_splice(growable_array* followed, int32_t* cursor, const line_sample* samples, int32_t count,
                       const float frame[3], const float forward[3]) {
  if (!followed || !cursor || !samples || count <= 0) return;
  line_sample* line = (line_sample*)followed->data;
  if (*cursor >= 31 && (size_t)*cursor <= followed->count) {
    const size_t drop = (size_t)*cursor - 30;
    std::memmove(line, line + drop, (followed->count - drop) * sizeof(line_sample));
    followed->count -= drop;
    *cursor = 30;
  }
  if (followed->count == 0)
    for (int k = 0; k < 5; k++) growable_array_append(followed, &samples[0]);
  const int32_t m = (int32_t)followed->count;
  const int32_t e = std::max(m - 5, *cursor);
  for (int32_t k = 0; k < count; k++)
    if (!growable_array_append(followed, &samples[k])) return;
  line = (line_sample*)followed->data;
  // The blend's far tangent reads the new line's second sample.
  if (count < 2 || e >= m || e < 0) return;
  if (!(line[e].speed >= 0 && line[m].speed >= 0)) return;
  const float span = (float)(m - e);
  float p0[3], t0[3];
  const float p1[3] = {line[m].x, line[m].y, line[m].z};
  const float t1[3] = {(line[m + 1].x - p1[0]) * span, (line[m + 1].y - p1[1]) * span,
                       (line[m + 1].z - p1[2]) * span};
  if (e > 0) {
    p0[0] = line[e].x, p0[1] = line[e].y, p0[2] = line[e].z;
    t0[0] = (p0[0] - line[e - 1].x) * span;
    t0[1] = (p0[1] - line[e - 1].y) * span;
    t0[2] = (p0[2] - line[e - 1].z) * span;
  } else {
    for (int c = 0; c < 3; c++) p0[c] = frame[c], t0[c] = forward[c] * 7.5f * (float)m;
  }
  const float speed0 = line[e].speed, speed1 = line[m].speed;
  const float lean0 = line[e].lean, lean1 = line[m].lean;
  for (int32_t k = e + 1; k < m; k++) {
    const float u = (float)(k - e) / span, u2 = u * u, u3 = u2 * u;
    float q[3];
    for (int c = 0; c < 3; c++)
      q[c] = p0[c] + t0[c] * u + (3 * (p1[c] - p0[c]) - 2 * t0[c] - t1[c]) * u2 +
             (2 * (p0[c] - p1[c]) + t0[c] + t1[c]) * u3;
    line[k].x = q[0], line[k].y = q[1], line[k].z = q[2];
    line[k].speed = std::min(line[k].speed, speed0 + (speed1 - speed0) * u);
    line[k].lean = lean0 + (lean1 - lean0) * u;
  }
}

auto_pilot_start_step auto_pilot_start_state(float t, float gate_drop, float five_seconds, float* launch, float w1,
                                             float w2) {
  float& l = *launch;
  if (t >= gate_drop + 5) return {auto_pilot_start_drive, 0, 0};
  if (l == 0) l = uniform() * 2;
  if (t < five_seconds) {
    if (l < 0) {
      if (t > -l) l = std::min(t + 2 + uniform() * 0.5f, five_seconds);
      return {auto_pilot_start_hold, 1, 0};
    }
    if (t > l) l = -(t + 0.25f + uniform() * 0.5f);
    return {auto_pilot_start_hold, 0, 0};
  }
  if (l <= five_seconds) l = five_seconds + 0.125f + uniform() * 0.375f;
  if (l < gate_drop) {
    if (t < l) return {auto_pilot_start_hold, 0, 0};
    l = gate_drop + w1 + uniform() * (w2 - w1);
  }
  if (t < l) return {auto_pilot_start_hold, 1, 0};
  if (t < l + 2) return {auto_pilot_start_launch, 1, (t - l) * 4};
  return {auto_pilot_start_drive, 0, 0};
}

void auto_pilot_tick(rider* r) {
  if (!r || r->robot.personality <= 0 || r->robot.personality >= auto_pilot_personality_count) return;
  dBodyID frame_body = r->bodies[RIDER_FRAME];
  if (!frame_body) return;
  rider_robot_state& bot = r->robot;
  const int32_t now = race_clock.current_tick;

  rider_set_stop_wheelies(r, 3);
  rider_set_front_antilock(r, 1);
  rider_set_rear_antilock(r, 1);
  rider_set_auto_shift(r, 1);

  const dReal* p = dBodyGetPosition(frame_body);
  const dReal* m = dBodyGetRotation(frame_body);
  const float frame[3] = {(float)p[0], (float)p[1], (float)p[2]};
  const float forward[3] = {(float)-m[2], (float)-m[6], (float)-m[10]};

  advance_cursor(r, frame, forward, now);
  const growable_array& line = r->followed_line;
  if ((int64_t)bot.cursor >= (int64_t)line.count - 10 && route_has_library() && !r->finished)
    splice_next_line(r, frame, forward, now);
  if ((size_t)bot.cursor >= line.count) {
    brake_at_line_end(r, frame_body);
    return;
  }
  start_or_drive(r, now);
}

void line_library_reset_pick_ticks() {
  const int32_t slots = route_has_library() ? route_library_segments() * line_slots_per_segment : 0;
  for (int32_t i = 0; i < slots; i++) route.line_library[i].last_picked_tick = -1000000;
}

void robot_install_hooks() {
  rider_assist_step_hook = rider_assist_step;
  race_hooks.auto_pilot_tick = auto_pilot_tick;
  race_hooks.lines_write_and_clear = line_library_clear;
  race_hooks.lines_load = [](int skill) { lines_load_file(skill); };
  race_hooks.lines_prune_and_plan = [] {
    line_library_prune();
    plan_auto_pilot_routes();
  };
  race_hooks.robot_personality = rider_set_auto_pilot_personality;
  race_hooks.lines_reset_pick_ticks = line_library_reset_pick_ticks;
  race_hooks.pass_before_gate_search = record_pass_before_gate_search;
  race_hooks.pass_record_crossing = record_pass_crossing;
  race_hooks.pass_rider_finished = record_pass_finished;
}
