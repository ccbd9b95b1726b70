// Decal bins: which decals overlap each eighth of the field, so the ground
// compositor paints only the decals over the region it builds. Only the
// insertion the decals loader needs lives here; the compositor owns the rest
// of the bins.
#include <math.h>

#include <cstring>

#include "terrain/decals.h"
#include "terrain/height_field.h"

static int bin_of(float c, float extent) {
  const double b = floor((double)c / extent * decal_bin_side);
  if (!(b >= 0.0)) return 0;
  return b > decal_bin_side - 1 ? decal_bin_side - 1 : (int)b;
}

void decal_bin_insert(height_field* field, int index) {
  const decal* d = decal_at(field, index);
  const float hx = fabsf(d->extent_a * d->cos_angle / 2) + fabsf(d->extent_b * d->sin_angle / 2);
  const float hz = fabsf(d->extent_a * d->sin_angle / 2) + fabsf(d->extent_b * d->cos_angle / 2);
  const int x0 = bin_of(d->x - hx, field->extent), x1 = bin_of(d->x + hx, field->extent);
  const int z0 = bin_of(d->z - hz, field->extent), z1 = bin_of(d->z + hz, field->extent);
  for (int bz = z0; bz <= z1; bz++)
    for (int bx = x0; bx <= x1; bx++) {
      growable_array* bin = &field->decal_bins[bz][bx];
      if (!bin->data) continue;
      // Keep the bin ascending and without repeats.
      size_t at = 0;
      while (at < bin->count && static_cast<int32_t*>(bin->data)[at] < index) at++;
      if (at < bin->count && static_cast<int32_t*>(bin->data)[at] == index) continue;
      if (!growable_array_append(bin, nullptr)) continue;
      int32_t* v = static_cast<int32_t*>(bin->data);
      std::memmove(v + at + 1, v + at, (bin->count - 1 - at) * sizeof(int32_t));
      v[at] = index;
    }
}
