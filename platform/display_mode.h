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

// Sets the full-screen mode pick through set_mode (1 on success); when that
// fails and pick is not the desktop mode, logs it and sets the desktop mode
// instead. *chosen is the mode tried last. 1 when a mode was set, else 0
// (also logged).
int display_mode_switch(display_mode pick, display_mode desktop, int (*set_mode)(void* context, int width, int height),
                        void* context, display_mode* chosen);
