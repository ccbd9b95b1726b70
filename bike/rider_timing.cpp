// The crossing ticks of a rider.
#include "bike/rider_timing.h"

#include <algorithm>

#include "bike/rider.h"
#include "core/message_ring.h"

int32_t rider_next_timing_index(const rider* r) { return r->timing_count; }

void rider_set_timing_tick(rider* r, int n, int32_t tick) {
  if (n < 0) return;
  if (n >= rider_timing_index_limit) {
    console_printf("Timing crossing %d is out of range", n);
    return;
  }
  growable_array* list = &r->timing_ticks;
  // A rider without its list (never created, or destroyed) records nothing.
  if (!list->data) return;
  const int32_t not_crossed = -1;
  while ((size_t)n >= list->count)
    if (!growable_array_append(list, &not_crossed)) break;
  if ((size_t)n < list->count) *static_cast<int32_t*>(growable_array_at(list, (size_t)n)) = tick;
}

void rider_truncate_timing(rider* r, int n) {
  if (n < 0) n = 0;
  if (n < r->timing_count) r->finished = 0;
  r->timing_ticks.count = std::min(r->timing_ticks.count, (size_t)n);
  r->timing_count = n;
  r->down = 0;
}
