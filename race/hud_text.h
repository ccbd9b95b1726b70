#pragma once
// The HUD's and the info board's texts, worked out from the race state
// without GL: the pit board's lines, the results board's rows, the status
// column and the render statistics with their running maxima.
#include <cstddef>

enum { hud_line_bytes = 128, info_board_status_max = 24 };

// The pit board of the rider in a slot. Empty strings are not drawn.
struct pit_board_text {
  char number[16];
  char place[32];  // "P%d" in a time trial, else "L%d P%d"
  char gap[64];    // "%+.1f "
  char last[64];   // "Last - %d:%02d.%d ", empty when there is none
  char best[64];   // "Best - %d:%02d.%d", empty when there is none
};
// 0 (everything empty) when the slot holds no rider.
int pit_board_fill(int slot, pit_board_text* out);

// m:ss.t of a time in seconds ("%d:%02d.%d").
void format_tenths(char* buffer, size_t size, const char* prefix, double seconds, const char* suffix);

// The results board: the final results once final, else the running order.
struct info_board_row {
  int slot;
  char place[8];
  char number[8];
  char laps[16];
  char gap[16];
  char best[24];
  char best_lap[16];
};
struct info_board_text {
  int shown;      // the board is drawn: the list's first rider has finished
  int final;      // "Final Results", else "Unofficial Results"
  int row_count;  // only finished riders until the results are final
  info_board_row rows[160];
  char total[64];  // "Total Race Time: ..." once final, else empty
  int penalty_count;
  char penalties[160][hud_line_bytes];
};
void info_board_fill(info_board_text* out);

// The status column's lines in order. Reading the FPS line zeroes the frame
// loop's frame time; reading the render statistics raises their maxima.
// slot: the viewed slot (for the speed line).
int info_board_status(int slot, char lines[info_board_status_max][hud_line_bytes]);

// The render statistics: this frame's counts and the maxima kept for the
// whole run (or since the console last asked for them again).
struct render_stats_record {
  int ground_polygons, model_polygons, billboards, decals, texture_changes, shader_changes;
};
extern render_stats_record render_stats_max;
// Starts collecting afresh: the statistics on, the counts and maxima zero.
void render_stats_reset();
// This frame's counts from the scene and the terrain.
render_stats_record render_stats_now();
