#pragma once
// The robot riders' line library as the robot code sees it: segment
// numbering over the laps, the rules that rank and give up lines, the
// personality table, and the lines files ("lines_novice", "lines_amateur",
// "lines_expert" in the track folder) that keep the library between runs.
//
// A lines file is text:
//   ct03 <segments>
//   per segment: <records>
//     per record: <samples> own pass tested best_own best_pass own_sum pass_sum failures
//       per sample: [x y z] speed lean
#include <cstdint>
#include <string>

#include "terrain/line_library.h"

struct rider;

enum {
  line_skill_count = 3,
  line_sum_max = 100000000,
  line_count_max = 65535,
  line_sample_count_max = 65536,  // more in one record is a damaged file
  line_sample_interval = 32,      // ticks between the samples of a line
};

// 5 seconds in ticks: what a crash costs a line.
int32_t line_crash_penalty_ticks();

// 1 when the route block describes laps the robot code can number: gates,
// a normal lap of at least one crossing that starts a segment, lists that
// fit. Otherwise the robot code acts as on a track without gates.
int route_has_segments();
// SF + SN, or 0 without segments.
int32_t route_library_segments();
// 1 when there are segments and the library was made for them.
int route_has_library();

// The lap-order entry of crossing i (i >= 0), and whether it starts a
// line segment.
int32_t route_entry_for_crossing(int64_t i);
int crossing_starts_segment(int64_t i);
// The gate a crossing is made at.
int32_t route_gate_for_crossing(int64_t i);

// The segment number of a rider that has made n crossings (0 for n <= 0).
int32_t segment_index_for_crossings(int64_t n);
// The library segment a segment number is stored in.
int32_t library_segment(int64_t segment_number);
// The 45 slots of a library segment, or null.
line_record* library_segment_slots(int32_t library_segment_index);

// Expected time of a slot in ticks.
int64_t line_slot_expected_time(const line_record* slot);
// The slot of a segment to give up for a new line, or -1 when none may go.
int line_slot_to_replace(const line_record slots[line_slots_per_segment]);

// 1 when p and q lie on opposite sides of the line through a and b, in the
// x-z plane.
int segment_side(const line_sample& a, const line_sample& b, const line_sample& p, const line_sample& q);

// The personality rows; row 0 is "no auto pilot".
struct auto_pilot_personality {
  const char* name;
  int32_t variant_a;
  int32_t variant_b;
  float threshold;  // seconds
  float weight1;
  float weight2;
};
enum { auto_pilot_personality_count = 5 };
extern const auto_pilot_personality auto_pilot_personalities[auto_pilot_personality_count];
void rider_set_auto_pilot_personality(rider* r, const char* name);

// "lines_novice", "lines_amateur", "lines_expert"; null for another index.
const char* lines_file_name(int skill);
// The skill whose file was read last, -1 for none.
extern int lines_skill;

// Fills the library from the skill's lines file in the track's folder: the
// per-user copy, then the shipped one for every segment the per-user copy
// could not give whole. 1 when a header matched.
int lines_load_file(int skill);
// The same from one file named as it is opened. A damaged record or line is
// logged with the file, line, segment and record, and reading goes on at
// the next record or segment. The first fault, if any, goes into refusal
// (null: not wanted).
int lines_load_from(const char* path, std::string* refusal);
// Thins the first lap's crowded segments: lines that cross others go first.
void line_library_prune();
// Writes the remembered skill's file, then empties every slot.
void line_library_clear();
// With learning on, replaces the track's file of that name in the per-user
// folder. 1 when written.
int lines_write_file(const char* file_name);
// The library as lines_write_file writes it.
std::string lines_file_text();
