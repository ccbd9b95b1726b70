// Allocator tuning for the whole process.
#include <malloc.h>

#include "platform/os/os.h"

void os_keep_freed_memory() {
  // The software GL renderer allocates several megabytes of per-frame
  // triangle data in 64 KB blocks and frees them when the frame is drawn.
  // With the allocator's defaults the freed top of the heap goes back to
  // the system every frame and comes back as fresh zeroed pages the next,
  // a page fault for every 4 KB: on a race with ten riders in view that was
  // a third of what the riders cost a frame. Keeping up to 64 MB of freed
  // memory, and growing the heap 16 MB at a time, stops the round trip.
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  mallopt(M_TOP_PAD, 16 << 20);
}
