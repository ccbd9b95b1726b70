#pragma once
// Where the balance assist turns a slow, tipped bike.
#include <cstdint>

#include "terrain/line_library.h"

// The slot holding a segment's fastest line: the lowest slot with samples
// and the least own time; 0 when none has samples.
int32_t assist_fastest_slot(const line_record slots[line_slots_per_segment]);
// The sample nearest to p over x, y and z (the earlier on equal distances);
// -1 for an empty line.
int32_t assist_nearest_sample(const line_sample* samples, int32_t count, const float p[3]);
