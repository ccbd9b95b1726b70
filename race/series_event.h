#pragma once
// Recording a points-series event when its race ends: every series rider's
// finishing position, the standings ranked again and the standings file
// rewritten.
struct series_record;

// Does nothing unless the entered series event is the next to record (the
// menus set series_table.current_series and current_event). Positions come
// from the final results, else the running order; the player is column N.
// Clears the entered series and event either way.
void record_series_event();

// Writes the series' standings ("@" + file name + "_standings"): a line per
// event done of N + 1 values "%d " (position + 1) ended by "\n", through a
// temporary file. 1 when written; on failure a console line and the old
// file stays.
int write_series_standings(const series_record* s);
