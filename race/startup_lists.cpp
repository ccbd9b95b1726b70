// Start-up lists: the stock bike part check and the demo list.
#include "race/startup_lists.h"

#include <cstring>

#include "core/file.h"
#include "core/file_index.h"
#include "core/growable_array.h"
#include "core/memory.h"
#include "platform/log.h"
#include "race/game_state.h"

const char* const stock_part_files[7] = {
    "@generic_frame.shp", "@generic_fork_upper.shp", "@generic_fork_lower.shp", "@generic_swingarm.shp",
    "@front_wheel.shp",   "@rear_wheel.shp",         "@generic_rider.shp",
};

const char* stock_parts_digest;
int stock_parts_ok;
demo_list_record demo_list;
const char* demo_page_rows[list_page_rows];

static char* copy_text(const char* text, size_t n) {
  char* out = static_cast<char*>(xmalloc(n + 1));
  std::memcpy(out, text, n);
  out[n] = 0;
  return out;
}

void stock_parts_digest_hex(char out[digest_hex_chars + 1]) {
  rmd160_context context;
  rmd160_init(&context);
  uint8_t block[1024];
  for (const char* name : stock_part_files) {
    stream s;
    if (!stream_open_name(&s, name, "rb")) continue;
    uint32_t n;
    while ((n = stream_read(&s, block, sizeof block)) > 0) rmd160_update(&context, block, n);
    stream_close_file(&s);
  }
  rmd160_final(&context);
  digest_to_hex(context.digest, out);
}

void check_fixed_files() {
  char hex[digest_hex_chars + 1];
  stock_parts_digest_hex(hex);
  stock_parts_ok = stock_parts_digest && std::strcmp(hex, stock_parts_digest) == 0;
}

static int ends_with(const char* text, const char* tail) {
  const size_t n = std::strlen(text), m = std::strlen(tail);
  return n >= m && std::strcmp(text + n - m, tail) == 0;
}

char* demo_display_name(const char* name) {
  const char* slash = std::strrchr(name, '/');
  const char* start = slash ? slash + 1 : name;
  const char* dot = std::strrchr(start, '.');
  return copy_text(start, dot ? (size_t)(dot - start) : std::strlen(start));
}

void fill_list_page(const char* const* names, int count, int page, const char* rows[list_page_rows]) {
  for (int i = 0; i < list_page_rows; i++) {
    const long k = (long)page * list_page_rows + i;
    rows[i] = page >= 0 && k < count ? names[k] : nullptr;
  }
}

void build_demo_list() {
  free_demo_list();
  growable_array names;
  if (!growable_array_init(&names, sizeof(char*), 16)) out_of_memory();
  const char* const* all = game_file_index.unique_names;
  for (int i = 0; all && all[i]; i++) {
    const char* name = all[i];
    if (std::strncmp(name, "demos/", 6) != 0 || !ends_with(name, ".bkdemo")) continue;
    char* copy = copy_text(name, std::strlen(name));
    if (!growable_array_append(&names, &copy)) out_of_memory();
  }
  demo_list.count = (int)names.count;
  if (demo_list.count > 0) {
    demo_list.names = static_cast<char**>(xmalloc(names.count * sizeof(char*)));
    std::memcpy(demo_list.names, names.data, names.count * sizeof(char*));
    demo_list.display_names = static_cast<char**>(xmalloc(names.count * sizeof(char*)));
    for (int i = 0; i < demo_list.count; i++) {
      demo_list.display_names[i] = demo_display_name(demo_list.names[i]);
      if (game_state.debug_level > 0) log_printf("%s -> %s\n", demo_list.names[i], demo_list.display_names[i]);
    }
  }
  growable_array_free(&names);
  fill_list_page(demo_list.display_names, demo_list.count, 0, demo_page_rows);
}

void free_demo_list() {
  for (int i = 0; i < demo_list.count; i++) {
    check_free(demo_list.names[i]);
    check_free(demo_list.display_names[i]);
  }
  check_free(demo_list.names);
  check_free(demo_list.display_names);
  demo_list = {};
  for (const char*& row : demo_page_rows) row = nullptr;
}
