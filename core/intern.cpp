#include "core/intern.h"

#include <cstring>

#include "core/growable_array.h"
#include "core/memory.h"

namespace {

growable_array g_table;
bool g_created = false;

}  // namespace

const char* intern_string(const char* text) {
  if (!g_created) {
    if (!growable_array_init(&g_table, sizeof(char*), 16)) out_of_memory();
    g_created = true;
  }
  char** strings = static_cast<char**>(g_table.data);
  for (size_t i = 0; i < g_table.count; i++)
    if (std::strcmp(strings[i], text) == 0) return strings[i];

  const size_t length = std::strlen(text);
  char* copy = static_cast<char*>(xmalloc(length + 1));
  std::memcpy(copy, text, length + 1);
  // An unstored copy would break the promise that equal names share one
  // pointer, so a table that cannot grow is as fatal as a failed copy.
  if (!growable_array_append(&g_table, &copy)) out_of_memory();
  return copy;
}

void intern_free_all() {
  if (!g_created) return;
  char** strings = static_cast<char**>(g_table.data);
  for (size_t i = 0; i < g_table.count; i++) check_free(strings[i]);
  growable_array_free(&g_table);
  g_created = false;
}
