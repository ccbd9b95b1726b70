#pragma once
// The editor's side panel: its drawing over the view, and what a key or
// click does to the item under the mouse.

// Dispatches `key` (code 16: a held left press) on editor.panel_item.
void editor_panel_action(int key);
// Makes `mode` the current tool; a change commits what is pending and
// shows "OK". The panel's tool buttons and the digit keys share it.
void editor_choose_tool(int mode);

// A gradient 50 units along x from the world point under the window's
// centre, with a flat profile, made the selected one. 0 when the list
// cannot grow.
int editor_new_gradient();

// The panel's buttons that act on the track, callable without a click.
void editor_copy_gradient();
void editor_set_from_terrain();
void editor_snap_to_gradient();
// The current gate's AI switch points: set = 1 makes the cleared ones
// count again, set = 0 clears them.
void editor_switch_points(int set);
// "Switch Point: Yes" ... or "Gate not referenced", for the current gate.
const char* editor_switch_point_text();

// The Gradient Edit read-out "Slope: %.3f" for the selected point: 1 when
// there is one to show (a selected point of a profile of 2 points or more).
int editor_slope_line(char* out, int size);

// The panel over the view, with the mouse's world point m (GL).
void editor_draw_panel(const float m[2]);
