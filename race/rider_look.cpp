#include "race/rider_look.h"

#include <cstdio>
#include <cstring>

#include "assets/texture.h"
#include "bike/bike_model.h"

texture_variant_list rider_look_lists[rider_look_count];

void bike_graphics_prefix(const bike_model* bike, char* out, size_t size) {
  if (size == 0) return;
  out[0] = 0;
  if (!bike) return;
  // The table's names are NUL-padded, not always NUL-terminated.
  char skin[BIKE_PART_FILE_SIZE + 1] = {};
  std::memcpy(skin, bike->part_files[BIKE_PART_BIKE_SKIN], BIKE_PART_FILE_SIZE);
  if (char* dot = std::strrchr(skin, '.')) *dot = 0;
  // Variants are matched on the file's own name: no "@", no folder.
  const char* stem = skin[0] == '@' ? skin + 1 : skin;
  if (const char* slash = std::strrchr(stem, '/')) stem = slash + 1;
  std::snprintf(out, size, "%s-", stem);
}

void collect_rider_look(const bike_model* bike) {
  char bike_prefix[BIKE_PART_FILE_SIZE + 2];
  bike_graphics_prefix(bike, bike_prefix, sizeof bike_prefix);
  const char* prefixes[rider_look_count] = {"rider_body-", "rider_head-", bike_prefix, "wheels-"};
  for (int i = 0; i < rider_look_count; i++) {
    collect_texture_variants(&rider_look_lists[i].paths, &rider_look_lists[i].names, prefixes[i]);
  }
}

const char* rider_look_path(int which, const char* variant) {
  if (which < 0 || which >= rider_look_count || !variant || !variant[0]) return nullptr;
  const texture_variant_list& list = rider_look_lists[which];
  const char* const* names = static_cast<const char* const*>(list.names.data);
  const char* const* paths = static_cast<const char* const*>(list.paths.data);
  for (size_t i = 0; i < list.names.count && i < list.paths.count; i++)
    if (names[i] && std::strcmp(names[i], variant) == 0) return paths[i];
  return nullptr;
}

void collect_bike_graphics(const bike_model* bike) {
  char prefix[BIKE_PART_FILE_SIZE + 2];
  bike_graphics_prefix(bike, prefix, sizeof prefix);
  texture_variant_list& list = rider_look_lists[rider_look_bike];
  collect_texture_variants(&list.paths, &list.names, prefix);
}

void free_rider_look() {
  for (texture_variant_list& list : rider_look_lists) {
    if (list.paths.capacity) growable_array_free(&list.paths);
    if (list.names.capacity) growable_array_free(&list.names);
  }
}
