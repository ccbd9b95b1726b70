#pragma once
// What the player is holding, as the main loop and the control bindings
// keep it. Long loads release everything, so a key pressed while the screen
// was frozen does not stay held afterwards.

struct control_binding;  // defined by the front end

// One entry of the control map; the table ends with an entry whose binding
// is null.
struct control_map_entry {
  const control_binding* binding;
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
