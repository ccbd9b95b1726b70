// Scrambled files, plain and gzip-compressed, read to the end.
#include "core/file.h"
#include "fuzz/fuzz_target.h"
#include "fuzz/targets/stream_check.h"

BK_FUZZ_TARGET(scrambled) {
  // The first byte picks ".scram" or ".gz.scram"; the rest is the file.
  if (size < 1) return 0;
  const int gzip = data[0] & 1;
  fuzz_write(gzip ? "s.bin.gz.scram" : "s.bin.scram", data + 1, size - 1);
  const std::string plain = std::string(fuzz_scratch()) + "/s.bin";
  stream* s = stream_open(plain.c_str(), "rb");
  if (!s) {
    fuzz_clear_scratch();
    return 0;
  }
  fuzz_drain_checked(s, data + 1, size - 1 < 16 ? size - 1 : 16);
  const int intact = stream_verify(s);
  stream_close(s);
  fuzz_clear_scratch();
  return intact;
}
