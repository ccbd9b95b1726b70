#pragma once
// The route planner: for a whole race, one line per library segment, the
// cheapest chain through the first lap and the cheapest closed cycle
// through the normal lap, where each line hands over smoothly to the next.
// Three variants, each under its own cost model, go into the route block's
// best paths; the auto pilot runs the same programme live.
#include <cstddef>
#include <cstdint>

#include "terrain/line_library.h"

enum {
  route_unreachable = 100000000,
  route_not_eligible = 1000000,
  route_cost_models = 4,
  route_no_slot = 45,  // a back-pointer naming no slot
};

// A line's cost in ticks under a cost model (0 to 3).
int32_t route_slot_cost(const line_record* slot, int model);
// Whether slot `from` of a segment may hand over to slot `to` of the next.
int route_hands_over(const line_record* from, const line_record* to);

// The centre of the circle through three points in the x-z plane, y from
// p1. Collinear or coincident points put it 1000000 out along the
// perpendicular bisector of p1 p2 (or of the first pair that differs).
void circle_centre_xz(float out[3], const line_sample& p1, const line_sample& p2, const line_sample& p3);

// Back-pointer blocks: one of 45 x 45 bytes per step of a range.
struct route_back_pointers {
  uint8_t* blocks;
  int32_t block_count;
};
inline uint8_t& route_back(route_back_pointers* b, int step, int start, int slot) {
  return b->blocks[((size_t)step * route_no_slot + start) * route_no_slot + slot];
}

// Fills cost[start][slot] (45 x 45) with the cheapest chain from a start
// slot of segment number a to each slot of segment number a + count, and
// the back-pointers of steps 0 .. count - 1 (step k names the slot of
// segment a + k on the best chain into a slot of segment a + k + 1).
void route_dynamic_program(route_back_pointers* back, int32_t cost[route_no_slot][route_no_slot], int32_t a,
                           int32_t count, int model);

// One variant into out (SF + SN entries): the ids of the chosen lines that
// were tested at least five times, else 0.
void plan_route_variant(int32_t* out, int model);
// Variants 0, 1 and 2 with cost models 0, 1 and 2.
void plan_auto_pilot_routes();
