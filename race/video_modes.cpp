#include "race/video_modes.h"

#include <cstdio>
#include <cstring>

#include "core/memory.h"
#include "platform/display_mode.h"

video_mode_list_record video_mode_list;

// Room for "%dx%d" of any two ints.
enum { mode_text_size = 24 };

void list_video_modes() { list_video_modes_from(display_mode_list()); }

void list_video_modes_from(const display_mode* modes) {
  free_video_modes();
  int n = 2;
  if (modes)
    for (const display_mode* m = modes; m->width || m->height || m->bits; m++)
      if (m->bits == modes[0].bits) n++;
  const size_t entry = sizeof(int[2]) + sizeof(const char*) + mode_text_size;
  char* block = static_cast<char*>(xmalloc(n * entry));
  video_mode_list.block = block;
  video_mode_list.count = n;
  video_mode_list.size = reinterpret_cast<int(*)[2]>(block);
  video_mode_list.names = reinterpret_cast<const char**>(block + n * sizeof(int[2]));
  char* text = block + n * (sizeof(int[2]) + sizeof(const char*));
  static const char* const fixed[2] = {"Default Fullscreen", "Windowed"};
  int i = 0;
  for (; i < 2; i++) {
    video_mode_list.size[i][0] = video_mode_list.size[i][1] = 0;
    std::snprintf(text, mode_text_size, "%s", fixed[i]);
    video_mode_list.names[i] = text;
    text += mode_text_size;
  }
  if (modes)
    for (const display_mode* m = modes; m->width || m->height || m->bits; m++) {
      if (m->bits != modes[0].bits) continue;
      video_mode_list.size[i][0] = m->width;
      video_mode_list.size[i][1] = m->height;
      std::snprintf(text, mode_text_size, "%dx%d", m->width, m->height);
      video_mode_list.names[i++] = text;
      text += mode_text_size;
    }
}

void free_video_modes() {
  check_free(video_mode_list.block);
  std::memset(&video_mode_list, 0, sizeof video_mode_list);
}
