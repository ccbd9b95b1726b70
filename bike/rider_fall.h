#pragma once
// Throwing a rider off the bike. The contact step and the control step both
// call it; it lies down for 512 ticks plus the server's knockout time.
#include <cstdint>

struct rider;

enum { knockout_extra_count = 16 };

// Extra ticks of rest after a fall, by crash count (0..15, the last entry
// for every later fall). All 0 until the server's "knockout" command sets
// them; the network client owns them, the rider code reads them.
extern int32_t knockout_extra[knockout_extra_count];

// Detaches the rider body, seeds the foot point masses from the limb pose
// and starts the down counter. Nothing while the rider is already down or
// its hit_timer is negative (it was just struck by another rider).
void rider_fall_off(rider* r);
