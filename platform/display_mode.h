#pragma once
// Full-screen display modes.

struct display_mode {
  int width;
  int height;
  int bits;
};

// The display modes of the screen, the desktop mode first when its depth is
// 8, 15, 16, 24 or 32, each width x height x bits once, ending with an
// all-zero entry. Built once and kept for the process; null when it could
// not be allocated.
const display_mode* display_mode_list();

// The full-screen mode for a request of width x height: among the listed
// modes at least that large, the one with the least extra width + height
// (the earlier on a tie); the desktop mode when none is large enough.
display_mode display_mode_pick(const display_mode* list, int width, int height, display_mode desktop);
