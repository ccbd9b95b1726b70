#pragma once
// "Points Series" (page 4) and a series' standings (page 5): the list of
// series, entering or practising a series' next event, and the standings
// table. The line-up builder and the standings rows need no GL.
#include <cstdint>

struct series_record;

// The shown page of the series list and the series on the standings page.
extern int series_page_index;
extern int series_shown;

void draw_series_page();
void series_page_key(int code);
void draw_standings_page();
void standings_page_key(int code);

// Fills line_up (160 entries) for the series' next event: 1000 + race
// number for a robot, 1 for the player, 0 for an empty gate. 0 when the
// series has no event left (line_up untouched).
int build_series_line_up(const series_record* s, int* line_up);

// The race length of an event in ticks: negative minutes count as 0, the
// product is capped at INT_MAX.
int series_event_ticks(int minutes);

// Starts the shown series' next event through the reset; 1 when started,
// 0 when there is nothing to start.
int prepare_series_event();

// The points races of a series: each scoring event (points for the winner
// non-zero) with the heats before it.
enum { standings_block_races = 8, standings_cell_bytes = 32 };

struct standings_row {
  int rider;            // series rider, the player is rider_count
  int64_t total;
  int last_position;    // the rider's last points position, for ties
  char number[16];      // robots' race number; empty for the player
  char total_text[24];
  char cells[standings_block_races][standings_cell_bytes];
};

// Sort order of standings rows: higher total first, then the better last
// points position, then the lower rider.
int compare_standings(const void* a, const void* b);

// The number of points races in the series.
int series_points_race_count(const series_record* s);

// The rows of the block of points races starting at `first_race`, sorted;
// returns the row count (rider_count + 1). rows holds 160 entries.
int build_standings_block(const series_record* s, int first_race, standings_row* rows);

// Fills the page's entries of the page table.
void series_pages_install();
