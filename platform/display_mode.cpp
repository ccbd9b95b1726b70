// Full-screen display modes.
#include "platform/display_mode.h"

#include <cstdlib>

#include "platform/log.h"
#include "platform/os/os_window.h"

namespace {

bool usable_depth(int bits) { return bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32; }

bool listed(const display_mode* list, int count, const os_display_mode& m) {
  for (int i = 0; i < count; ++i)
    if (list[i].width == m.width && list[i].height == m.height && list[i].bits == m.bits) return true;
  return false;
}

display_mode* build_list() {
  os_video_init();
  int count = 0;
  os_display_mode m;
  while (os_display_mode_at(count, &m)) ++count;
  // Room for every enumerated mode, the desktop mode before them and the
  // terminating entry.
  display_mode* list = static_cast<display_mode*>(std::calloc(static_cast<size_t>(count) + 2, sizeof(display_mode)));
  if (!list) return nullptr;
  int n = 0;
  if (os_desktop_mode(&m)) {
    if (usable_depth(m.bits)) {
      log_printf("Registry mode is %dx%dx%d@%dhz\n", m.width, m.height, m.bits, m.refresh_hz);
      list[n++] = display_mode{m.width, m.height, m.bits};
    } else {
      log_printf("Registry mode is %dx%dx%d@%dhz (ignored)\n", m.width, m.height, m.bits, m.refresh_hz);
    }
  }
  for (int i = 0; i < count && os_display_mode_at(i, &m); ++i) {
    if (!usable_depth(m.bits)) {
      log_printf("Found mode %dx%dx%d@%dhz (ignored)\n", m.width, m.height, m.bits, m.refresh_hz);
    } else if (!listed(list, n, m)) {
      log_printf("Found mode %dx%dx%d@%dhz\n", m.width, m.height, m.bits, m.refresh_hz);
      list[n++] = display_mode{m.width, m.height, m.bits};
    }
  }
  return list;  // calloc left the terminating entry zero
}

}  // namespace

const display_mode* display_mode_list() {
  static const display_mode* list = build_list();
  return list;
}

display_mode display_mode_pick(const display_mode* list, int width, int height, display_mode desktop) {
  const display_mode* best = nullptr;
  for (const display_mode* m = list; m && m->width != 0; ++m) {
    if (m->width < width || m->height < height) continue;
    if (!best || m->width + m->height < best->width + best->height) best = m;
  }
  return best ? *best : desktop;
}

int display_mode_switch(display_mode pick, display_mode desktop, int (*set_mode)(void* context, int width, int height),
                        void* context, display_mode* chosen) {
  *chosen = pick;
  if (set_mode(context, pick.width, pick.height)) return 1;
  log_printf("Can't switch the display to %dx%d (%s)\n", pick.width, pick.height, os_video_error());
  if (pick.width == desktop.width && pick.height == desktop.height) return 0;
  log_printf("Using the desktop mode %dx%d\n", desktop.width, desktop.height);
  *chosen = desktop;
  if (set_mode(context, desktop.width, desktop.height)) return 1;
  log_printf("Can't switch the display to %dx%d (%s)\n", desktop.width, desktop.height, os_video_error());
  return 0;
}
