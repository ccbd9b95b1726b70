// gzip streams: a loose ".gz" file read in uneven pieces, its trailer
// checked, and the same file whole through file_to_string.
#include "core/file.h"
#include "core/memory.h"
#include "fuzz/fuzz_target.h"
#include "fuzz/targets/stream_check.h"

BK_FUZZ_TARGET(gzip) {
  fuzz_write("z.bin.gz", data, size);
  const std::string plain = std::string(fuzz_scratch()) + "/z.bin";
  stream* s = stream_open(plain.c_str(), "rb");
  if (!s) return 0;
  fuzz_drain_checked(s, data, size < 16 ? size : 16);
  const int intact = stream_verify(s);
  stream_close(s);
  char* whole = file_to_string(plain.c_str());
  if ((whole != nullptr) != (intact != 0)) std::abort();  // whole-file reads agree with the stream
  check_free(whole);
  return intact;
}
