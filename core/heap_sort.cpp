#include "core/heap_sort.h"

namespace {

void swap_records(unsigned char* a, unsigned char* b, size_t size) {
  for (size_t i = 0; i < size; i++) {
    const unsigned char t = a[i];
    a[i] = b[i];
    b[i] = t;
  }
}

void sift_down(unsigned char* base, size_t root, size_t count, size_t size,
               int (*compare)(const void*, const void*)) {
  for (;;) {
    size_t child = 2 * root + 1;
    if (child >= count) return;
    if (child + 1 < count && compare(base + child * size, base + (child + 1) * size) < 0) child++;
    if (compare(base + root * size, base + child * size) >= 0) return;
    swap_records(base + root * size, base + child * size, size);
    root = child;
  }
}

}  // namespace

void heap_sort(void* base, size_t count, size_t size, int (*compare)(const void*, const void*)) {
  if (count < 2) return;
  unsigned char* bytes = static_cast<unsigned char*>(base);
  for (size_t i = count / 2; i-- > 0;) sift_down(bytes, i, count, size, compare);
  for (size_t end = count - 1; end > 0; end--) {
    swap_records(bytes, bytes + end * size, size);
    sift_down(bytes, 0, end, size, compare);
  }
}
