#pragma once
// What a key or click does to the side panel's item under the mouse.

// Dispatches `key` (code 16: a held left press) on editor.panel_item.
void editor_panel_action(int key);
// Makes `mode` the current tool; a change commits what is pending and
// shows "OK". The panel's tool buttons and the digit keys share it.
void editor_choose_tool(int mode);

// The panel over the view, with the mouse's world point m (GL).
void editor_draw_panel(const float m[2]);
