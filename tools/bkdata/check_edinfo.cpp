// bkdata check .../edinfo: the editor's gradient file through the editor's
// own reader, headless.
#include <cstdio>
#include <cstring>

#include "core/message_ring.h"
#include "editor/editor.h"
#include "editor/editor_files.h"
#include "tools/bkdata/commands.h"

int bkdata_is_edinfo_name(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return std::strcmp(slash ? slash + 1 : path, "edinfo") == 0;
}

int bkdata_check_edinfo(const char* path) {
  editor_free();
  growable_array_init(&editor.gradients, sizeof(gradient), 16);
  editor.selected_gradient = -1;
  editor.selected_point = -1;
  const int first = message_ring.write_index;
  const int refused = editor_read_edinfo(path);
  int good = 0;
  if (refused < 0) {
    std::printf("%s: can't open\n", path);
  } else if (refused > 0) {
    for (int k = first; k != message_ring.write_index; k = (k + 1) % message_ring_size)
      std::printf("%s: %s\n", path, message_ring.lines[k]);
  } else {
    size_t points = 0;
    for (size_t i = 0; i < editor.gradients.count; i++)
      points += ((const gradient*)growable_array_at(&editor.gradients, i))->points.count;
    std::printf("%s: edinfo, %zu gradients, %zu points\n", path, editor.gradients.count, points);
    good = 1;
  }
  editor_free();
  return good;
}
