// Support functions for recording a points-series event.
#include "race/series_event.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "bike/rider.h"
#include "bike/rider_timing.h"
#include "core/file_replace.h"
#include "race/results.h"
#include "race/series.h"

namespace {

void leave_series() {
  series_table.current_series = -1;
  series_table.current_event = -1;
}

// The series rider (robot column) whose roster number reads as the rider's
// number, or -1.
int32_t series_column(const series_record* s, const rider* r) {
  char text[16];
  for (int32_t i = 0; i < s->rider_count; i++) {
    std::snprintf(text, sizeof text, "%d", s->riders[i]);
    if (std::strcmp(text, rider_number_text(r)) == 0) return i;
  }
  return -1;
}

}  // namespace

void record_series_event() {
  const int32_t which = series_table.current_series, event = series_table.current_event;
  if (which < 0 || which >= series_table.count) return leave_series();
  series_record* s = &series_table.records[which];
  // An event number outside the series (say after its points were reset)
  // has nothing to record into.
  if (s->events_done != event || event < 0 || event >= s->event_count) return leave_series();

  const int32_t p = s->rider_count;
  series_event* ev = &s->events[event];
  for (int32_t i = 0; i <= p; i++) ev->positions[i] = p;
  const running_order_state* order = results_finished ? &results_list : &running_order;
  int32_t place = 0;
  for (int i = 0; i < order->count; i++) {
    const int slot = order->entries[i].slot;
    if (slot < 0 || slot >= RIDER_SLOT_COUNT || !rider_slots[slot]) continue;
    rider* r = rider_slots[slot];
    if (rider_slot_kind[slot] == RIDER_LOCAL) {
      // Unofficial results place the player only once finished, and only
      // when it cut no gate.
      if (results_finished || (rider_has_finished(r) &&
                               (rider_next_timing_index(r) == 0 || rider_cut_penalty(r) == 0)))
        ev->positions[p] = place++;
    }
    // Every rider, the player too, also takes the place of the series
    // rider whose number it carries.
    const int32_t column = series_column(s, r);
    if (column >= 0) ev->positions[column] = place++;
  }
  s->events_done++;
  rank_series_standings(s);
  leave_series();
  write_series_standings(s);
}

int write_series_standings(const series_record* s) {
  std::string text;
  char value[16];
  for (int32_t e = 0; e < s->events_done && e < s->event_count; e++) {
    for (int32_t i = 0; i <= s->rider_count; i++) {
      std::snprintf(value, sizeof value, "%d ", s->events[e].positions[i] + 1);
      text += value;
    }
    text += "\n";
  }
  const std::string name = std::string("@") + s->file_name + "_standings";
  return file_replace(name.c_str(), text.data(), text.size(), 0);
}
