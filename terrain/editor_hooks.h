#pragma once
// The calls the track code makes into the track editor, which lives above
// it. The editor fills the table at start-up and sets `active` while it is
// in use; with the editor off, or nothing installed, the calls do nothing.
struct height_field;

struct editor_hook_table {
  int active;
  // A track has loaded: take over its new terrain.
  void (*track_loaded)(height_field* field);
  // The track is being freed: drop everything built from it.
  void (*release)();
};

extern editor_hook_table editor_hooks;

// For the track loader, after the statue grid is built.
void editor_track_loaded(height_field* field);
// For the track release.
void editor_track_released();
