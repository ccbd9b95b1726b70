// Points series: a ".series" file and its standings, split at the first
// NUL byte (no NUL: no standings file). A taken series is read, its
// standings read and ranked, and the menus' line-up and standings rows are
// built from it: every index they use must stay inside the tables.
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_target.h"
#include "race/game_state.h"
#include "race/series.h"
#include "terrain/track.h"
#include "ui/series_pages.h"

BK_FUZZ_TARGET(series) {
  static char quarry[] = "quarrybend", hill[] = "rockhill";
  static char* folders[] = {quarry, hill};
  track_folders = folders;
  track_count = 2;
  const uint8_t* split = 
      size ? static_cast<const uint8_t*>(std::memchr(data, 0, size)) : nullptr;
  const size_t text_size = split ? static_cast<size_t>(split - data) : size;
  const std::string path = fuzz_write("cup.series", data, text_size);
  const std::string standings = fuzz_write("cup.series_standings", split ? split + 1 : data,
                                           split ? size - text_size - 1 : 0);
  series_record s;
  const int taken = read_series_at(path.c_str(), "cup.series", &s);
  if (taken) {
    read_series_standings_at(&s, split ? standings.c_str() : "/nonexistent/standings");
    if (s.events_done < 0 || s.events_done > s.event_count) std::abort();
    for (int e = 0; e < s.events_done; e++)
      for (int i = 0; i <= s.rider_count; i++)
        if (s.events[e].positions[i] < 0 || s.events[e].positions[i] > s.rider_count) std::abort();
    rank_series_standings(&s);
    int line_up[160];
    build_series_line_up(&s, line_up);
    static standings_row rows[series_rider_max];
    const int races = series_points_race_count(&s);
    for (int first = 0; first < races; first += standings_block_races)
      if (build_standings_block(&s, first, rows) != s.rider_count + 1) std::abort();
    free_series_record(&s);
  }
  track_folders = nullptr;
  track_count = 0;
  return taken;
}
