// The editor's "edinfo" gradient file. Whatever it holds, the gradients
// taken have finite numbers and strictly increasing distances; written and
// read again they are written the same.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/file.h"
#include "core/memory.h"
#include "editor/editor.h"
#include "editor/editor_files.h"
#include "fuzz/fuzz_target.h"
#include "terrain/track.h"

static void clear_gradients() {
  if (!editor.gradients.data) growable_array_init(&editor.gradients, sizeof(gradient), 16);
  for (size_t i = 0; i < editor.gradients.count; i++) {
    gradient* g = (gradient*)growable_array_at(&editor.gradients, i);
    growable_array_free(&g->points);
    growable_array_free(&g->types);
  }
  editor.gradients.count = 0;
  editor.selected_gradient = -1;
}

static void check_gradients() {
  for (size_t i = 0; i < editor.gradients.count; i++) {
    const gradient* g = (const gradient*)growable_array_at(&editor.gradients, i);
    if (!std::isfinite(g->start_x) || !std::isfinite(g->start_z) || !std::isfinite(g->end_x) ||
        !std::isfinite(g->end_z) || g->points.count != g->types.count)
      std::abort();
    for (size_t k = 0; k < g->points.count; k++) {
      const gradient_point* p = (const gradient_point*)growable_array_at(&g->points, k);
      if (!std::isfinite(p->distance) || !std::isfinite(p->height)) std::abort();
      if (k > 0 && !(p->distance > (p - 1)->distance)) std::abort();
      if (*(const uint8_t*)growable_array_at(&g->types, k) > 1) std::abort();
    }
  }
}

// Saves into the scratch folder and returns what was written.
static std::string saved() {
  std::snprintf(track_source, sizeof track_source, "%s", fuzz_scratch());
  if (!editor_save_edinfo()) std::abort();
  char* text = file_to_string((std::string(fuzz_scratch()) + "/edinfo").c_str());
  std::string out = text ? text : "";
  check_free(text);
  return out;
}

static void read_saved() {
  clear_gradients();
  editor_read_edinfo((std::string(fuzz_scratch()) + "/edinfo").c_str());
  check_gradients();
}

BK_FUZZ_TARGET(edinfo) {
  clear_gradients();
  const std::string path = fuzz_write("edinfo", data, size);
  const int refused = editor_read_edinfo(path.c_str());
  check_gradients();
  // Six decimals may merge close distances once; after that the file
  // reads back as written.
  saved();
  read_saved();
  const std::string second = saved();
  read_saved();
  if (saved() != second) std::abort();
  clear_gradients();
  growable_array_free(&editor.gradients);
  return refused == 0;
}
