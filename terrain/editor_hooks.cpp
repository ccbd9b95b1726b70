#include "terrain/editor_hooks.h"

editor_hook_table editor_hooks;

void editor_track_loaded(height_field* field) {
  if (editor_hooks.active && editor_hooks.track_loaded) editor_hooks.track_loaded(field);
}

void editor_track_released() {
  if (editor_hooks.active && editor_hooks.release) editor_hooks.release();
}
