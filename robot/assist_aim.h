#pragma once
// Where the balance assist turns a slow, tipped bike.
#include <cstdint>

#include "terrain/line_library.h"

struct rider;

// The slot holding a segment's fastest line: the lowest slot with samples
// and the least own time; 0 when none has samples.
int32_t assist_fastest_slot(const line_record slots[line_slots_per_segment]);
// The sample nearest to p over x, y and z (the earlier on equal distances);
// -1 for an empty line.
int32_t assist_nearest_sample(const line_sample* samples, int32_t count, const float p[3]);

// Where the realign assist turns a rider (depth 0 from callers): a robot's
// cursor sample; for another rider a point four samples along the fastest
// line of its coming segment; else the next timing gate's centre.
void assist_aim_point(const rider* r, float out[3], int depth);
