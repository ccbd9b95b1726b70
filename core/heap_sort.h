#pragma once
// In-place heapsort of fixed-size records (not stable). compare > 0 means
// the first record goes after the second.
#include <cstddef>

void heap_sort(void* base, size_t count, size_t size, int (*compare)(const void*, const void*));
