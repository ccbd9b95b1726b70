#pragma once
// What the player is holding, as the main loop and the control bindings
// keep it. Long loads release everything, so a key pressed while the screen
// was frozen does not stay held afterwards.

struct axis_handle;

// One control binding: a key, or an analogue axis over a range. The config
// file and the console's key commands set the names; main resolves the key
// name to a code at start-up and the controls page sets both when the
// player binds an input. The records themselves live with the race code.
struct menu_binding {
  const char* label;
  const char* key_name;   // interned; null or "" binds no key
  int key_code;           // 0 until resolved
  const char* axis_name;  // interned, or null
  axis_handle* axis;      // the open axis, or null
  float axis_minimum;
  float axis_maximum;
  int rect[4];  // x0, y0, x1, y1 in pixels, from the controls page's last draw
};

// One entry of the control map; the table ends with an entry whose binding
// is null.
struct control_map_entry {
  const menu_binding* binding;
  int control;  // 0..8
  int sign;     // +1 or -1
  float value;  // current value
};

// The front end's table, or null before it is set up.
extern control_map_entry* control_map;

// The main loop's flag for the key it watches in its event loop.
extern int held_key_flag;

// Sets every current value of the control map to 0 and clears the flag.
void release_held_controls();
