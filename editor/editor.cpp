#include "editor/editor.h"

#include <cstring>

#include "core/memory.h"
#include "terrain/editor_hooks.h"
#include "terrain/height_field.h"

editor_state editor;

void editor_load_edinfo(editor_state* state, height_field* field) {
  editor_release(state);
  if (field->heights) {
    const size_t count = (size_t)field->size * field->size;
    state->heights = (float*)xmalloc(count * sizeof(float));
    std::memcpy(state->heights, field->heights, count * sizeof(float));
    state->size = field->size;
  }
  field->change_flags &= ~4;
}

void editor_release(editor_state* state) {
  check_free(state->heights);
  state->heights = nullptr;
  state->size = 0;
}

static void hook_track_loaded(height_field* field) { editor_load_edinfo(&editor, field); }
static void hook_release() { editor_release(&editor); }

void editor_install_hooks() {
  editor_hooks.track_loaded = hook_track_loaded;
  editor_hooks.release = hook_release;
}
