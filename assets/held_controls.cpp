#include "assets/held_controls.h"

control_map_entry* control_map;
int held_key_flag;

void release_held_controls() {
  for (control_map_entry* e = control_map; e && e->binding; e++) e->value = 0.0f;
  held_key_flag = 0;
}
