#pragma once
// The choices of the Video Mode setting: "Default Fullscreen" and
// "Windowed", then each full-screen display mode of the desktop's colour
// depth as "%dx%d", with the size the window is opened with (0 x 0 for the
// first two). The texts go into the settings' video_mode_names and
// video_mode_count (race_settings.h), which the Video Mode item shows.
struct display_mode;

struct video_mode_list_record {
  int count;
  int (*size)[2];  // count {width, height} pairs
  void* block;     // the one allocation holding the pairs and the texts
};

extern video_mode_list_record video_mode_list;

enum { video_mode_default_fullscreen = 0, video_mode_windowed = 1 };

// Builds the list from the platform's display modes (the desktop first).
// Out of memory ends the game.
void list_video_modes();
// The same from a zero-terminated list (null: none).
void list_video_modes_from(const display_mode* modes);
// Frees the list; the settings keep only the first two texts.
void free_video_modes();
