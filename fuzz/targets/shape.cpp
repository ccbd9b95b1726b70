// ".shp" collision shapes, through the cache the game loads them by.
#include "fuzz/fuzz_target.h"
#include "terrain/shape.h"

BK_FUZZ_TARGET(shape) {
  const std::string path = fuzz_write("s.shp", data, size);
  const int ok = shape_load(path.c_str()) != nullptr;
  shape_free_all();
  return ok;
}
