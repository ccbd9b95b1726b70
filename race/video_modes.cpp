#include "race/video_modes.h"

#include <cstdio>
#include <cstring>

#include "core/memory.h"
#include "platform/display_mode.h"
#include "platform/log.h"
#include "race/race_settings.h"

video_mode_list_record video_mode_list;

// Room for "%dx%d" of any two ints.
enum { mode_text_size = 24 };

void list_video_modes() { list_video_modes_from(display_mode_list()); }

static const char* const fixed_names[2] = {"Default Fullscreen", "Windowed"};

void list_video_modes_from(const display_mode* modes) {
  free_video_modes();
  int n = 2;
  if (modes)
    for (const display_mode* m = modes; m->width || m->height || m->bits; m++)
      if (m->bits == modes[0].bits) n++;
  if (n > video_mode_max) {
    log_printf("%d display modes, only the first %d listed\n", n - 2, video_mode_max - 2);
    n = video_mode_max;
  }
  const size_t entry = sizeof(int[2]) + mode_text_size;
  char* block = static_cast<char*>(xmalloc(n * entry));
  video_mode_list.block = block;
  video_mode_list.count = n;
  video_mode_list.size = reinterpret_cast<int(*)[2]>(block);
  char* text = block + n * sizeof(int[2]);
  int i = 0;
  for (; i < 2; i++) {
    video_mode_list.size[i][0] = video_mode_list.size[i][1] = 0;
    std::snprintf(text, mode_text_size, "%s", fixed_names[i]);
    video_mode_names[i] = text;
    text += mode_text_size;
  }
  if (modes)
    for (const display_mode* m = modes; i < n && (m->width || m->height || m->bits); m++) {
      if (m->bits != modes[0].bits) continue;
      video_mode_list.size[i][0] = m->width;
      video_mode_list.size[i][1] = m->height;
      std::snprintf(text, mode_text_size, "%dx%d", m->width, m->height);
      video_mode_names[i++] = text;
      text += mode_text_size;
    }
  video_mode_count = n;
}

void free_video_modes() {
  check_free(video_mode_list.block);
  std::memset(&video_mode_list, 0, sizeof video_mode_list);
  video_mode_names[0] = fixed_names[0];
  video_mode_names[1] = fixed_names[1];
  video_mode_count = 2;
}
