#pragma once
// The texture variants a rider can wear and ride: riding gear, helmet, the
// bike's graphics and the wheels. Each list holds the variant names that
// the bike-setup items offer and the texture path of each ("default" has
// none).
#include <cstddef>

#include "core/growable_array.h"

struct bike_model;

enum {
  rider_look_gear,
  rider_look_helmet,
  rider_look_bike,
  rider_look_wheels,
  rider_look_count,
};

struct texture_variant_list {
  growable_array paths;  // const char*, interned; entry 0 null
  growable_array names;  // const char*, interned; entry 0 "default"
};

extern texture_variant_list rider_look_lists[rider_look_count];

// The prefix of a bike's graphics variants: its default skin's file name
// without "@" or folder, up to its last "." (all of it without one), then
// "-". "" without a bike.
void bike_graphics_prefix(const bike_model* bike, char* out, size_t size);

// Fills the four lists from the file index ("rider_body-", "rider_head-",
// the bike's prefix, "wheels-").
void collect_rider_look(const bike_model* bike);
void free_rider_look();
// The texture path of the named variant of list `which`; null for
// "default", an empty or unknown name, or a list not built.
const char* rider_look_path(int which, const char* variant);
// Refills only the bike's graphics list, for a newly chosen bike.
void collect_bike_graphics(const bike_model* bike);
