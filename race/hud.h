#pragma once
// The two overlays drawn over the 3-D view, in the unit-distance view (x
// from -view_xe to view_xe, y from -view_ye to view_ye at z = -1): the
// instrument panel of the viewed rider (tachometer and gear, pit board,
// lapping strip, lean indicator, track map, suspension graph, start
// caption) and the info board (results board, status column, message
// lines).

// The HUD's pictures, loaded at start-up: tachometer, gear sheet (3 x 3
// cells), pit board. 0 where a picture is missing (that part is skipped).
enum { hud_tach = 0, hud_shifter = 1, hud_pitboard = 2 };
extern unsigned hud_textures[3];

// The instrument panel for the rider in slot; only the map and the start
// caption when the slot is empty.
void draw_hud(int slot);
// The results board, the status column and the message lines; slot's row
// is highlighted.
void draw_info_board(int slot);

// The pit board of the rider in slot, from the bottom-left corner.
void draw_rider_hud_text(int slot);

// A quad strip from angle a0 to a1 (radians from the screen's up towards
// its right) between radius r0 (colour0) and r1 (colour1); nothing for a
// non-finite angle.
void draw_gauge_arc(float a0, float a1, float r0, float r1, const float colour0[4], const float colour1[4]);
// A 2 x 2 box round the origin and its horizontal centre line.
void draw_graph_frame();
// A line strip of count samples of ring from index start (wrapping at
// count), x from -1 to 1, y = scale x value clamped to -1..1; with a colour
// ring, each point's colour runs from colour0 to colour1 by that ring's
// value.
void draw_graph_traces(const float* ring, const float* colour_ring, const float colour0[4], const float colour1[4],
                       int count, int start, float scale);
