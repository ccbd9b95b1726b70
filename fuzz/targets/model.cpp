// ".jm" models, read whole into their sub-mesh chain.
#include "assets/model.h"
#include "core/message_ring.h"
#include "fuzz/fuzz_target.h"

BK_FUZZ_TARGET(model) {
  const std::string path = fuzz_write("m.jm", data, size);
  model* m = model_read(path.c_str());
  if (!m) return 0;
  model_free_submeshes(m);
  return 1;
}
