#pragma once
// The track editor's state, from the track it takes over to the release.
#include <cstdint>

struct height_field;

struct editor_state {
  float* heights;  // the editor's working copy of the terrain's heights
  int32_t size;    // vertices a side
};

extern editor_state editor;

// Takes over a newly loaded terrain: builds the working buffers from it and
// clears the terrain's unsaved-changes bit (value 4 of change_flags).
void editor_load_edinfo(editor_state* state, height_field* field);
// Frees what editor_load_edinfo built; safe when nothing was.
void editor_release(editor_state* state);
// Fills the terrain's editor hook table with the calls above on `editor`.
void editor_install_hooks();
