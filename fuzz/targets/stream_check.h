#pragma once
// Reads a stream to its end in uneven pieces, checking on the way that
// stream_remaining never promises less than is still delivered: the readers
// size their buffers by it.
#include <cstdlib>

#include "core/stream.h"

inline uint64_t fuzz_drain_checked(stream* s, const uint8_t* steer, size_t steer_size) {
  unsigned char buffer[3000];
  uint64_t total = 0;
  for (size_t k = 0;; ++k) {
    const uint64_t promised = stream_remaining(s);
    const uint32_t want = steer_size ? 1 + steer[k % steer_size] * 11u : 1000u;
    const uint32_t got = stream_read(s, buffer, want);
    if (got > promised) std::abort();
    if (got == 0) break;
    total += got;
    if (k % 7 == 3) stream_peekc(s);
  }
  return total;
}
