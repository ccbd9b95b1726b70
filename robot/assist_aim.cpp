// Support functions for the assist's aim point.
#include "robot/assist_aim.h"

#include "bike/rider.h"
#include "robot/lines.h"
#include "terrain/track.h"

int32_t assist_fastest_slot(const line_record slots[line_slots_per_segment]) {
  int32_t chosen = 0;
  for (int32_t i = 1; i < line_slots_per_segment; i++) {
    if (slots[i].sample_count <= 0) continue;
    if (slots[chosen].sample_count <= 0 || slots[i].own_time < slots[chosen].own_time) chosen = i;
  }
  return chosen;
}

int32_t assist_nearest_sample(const line_sample* samples, int32_t count, const float p[3]) {
  int32_t best = -1;
  double best_distance = 0;
  for (int32_t i = 0; samples && i < count; i++) {
    const double dx = (double)samples[i].x - p[0], dy = (double)samples[i].y - p[1], dz = (double)samples[i].z - p[2];
    const double d = dx * dx + dy * dy + dz * dz;
    if (best < 0 || d < best_distance) {
      best = i;
      best_distance = d;
    }
  }
  return best;
}

static void frame_position(const rider* r, float out[3]) {
  out[0] = out[1] = out[2] = 0;
  if (!r->bodies[RIDER_FRAME]) return;
  const dReal* p = dBodyGetPosition(r->bodies[RIDER_FRAME]);
  for (int c = 0; c < 3; c++) out[c] = (float)p[c];
}

// The centre of the gate the rider crosses next.
static void next_gate_centre(const rider* r, float out[3]) {
  const int64_t c = r->timing_count > 0 ? r->timing_count : 0;
  const int64_t f = route.first_lap_gates, n = route.normal_lap_gates;
  const int64_t index = n == 0 ? 0 : (c < f ? c : f + (c - f) % n);
  int32_t gate = index >= 0 && index < route_entry_max ? route.entries[index] : -1;
  if (gate >= route_flagged) gate -= route_flagged;
  if (gate < 0 || gate >= checkpoint_count) {
    // No gate to aim at: the bike's own place asks for no turn.
    frame_position(r, out);
    return;
  }
  out[0] = checkpoints[gate].x;
  out[1] = checkpoints[gate].y;
  out[2] = checkpoints[gate].z;
}

static const line_record* fastest_line(int64_t segment_number) {
  const line_record* slots = library_segment_slots(library_segment(segment_number));
  return slots ? &slots[assist_fastest_slot(slots)] : nullptr;
}

static int has_samples(const line_record* l) { return l && l->samples && l->sample_count > 0; }

static void copy_sample(const line_sample& s, float out[3]) {
  out[0] = s.x;
  out[1] = s.y;
  out[2] = s.z;
}

void assist_aim_point(const rider* r, float out[3], int depth) {
  if (!r || !out) return;
  if (r->robot.personality != 0) {
    const int32_t count = (int32_t)r->followed_line.count;
    const int32_t cursor = r->robot.cursor < 0 ? 0 : r->robot.cursor;
    if (cursor < count && r->followed_line.data) {
      copy_sample(((const line_sample*)r->followed_line.data)[cursor], out);
      return;
    }
    next_gate_centre(r, out);
    return;
  }
  const int64_t s = (int64_t)segment_index_for_crossings(r->timing_count) + depth;
  const line_record* line = route_has_library() ? fastest_line(s) : nullptr;
  if (!line || !line->samples || line->sample_count < 2 || depth >= 2) {
    next_gate_centre(r, out);
    return;
  }
  float p[3];
  frame_position(r, p);
  const int32_t count = line->sample_count;
  const int32_t nearest = assist_nearest_sample(line->samples, count, p);
  if (nearest == count - 1) {
    assist_aim_point(r, out, depth + 1);
    return;
  }
  if (nearest + 4 < count) {
    copy_sample(line->samples[nearest + 4], out);
    return;
  }
  const int32_t over = nearest + 4 - count;
  const line_record* next = fastest_line(s + 1);
  if (has_samples(next)) {
    copy_sample(next->samples[over < next->sample_count - 1 ? over : next->sample_count - 1], out);
    return;
  }
  copy_sample(line->samples[nearest], out);
}
