#pragma once
// A list of fixed-size elements whose capacity doubles when full. Memory
// comes from the allocation wrappers.
#include <cstddef>

struct growable_array {
  void* data;
  size_t capacity;  // elements
  size_t count;
  size_t element_size;
};

// Allocates room for `capacity` elements (at least 1). Returns 0 when the
// allocation fails, leaving the array empty.
int growable_array_init(growable_array* array, size_t element_size, size_t capacity);

// Appends a copy of `element` (zeros when null), doubling the capacity when
// full. Returns 0, with the array unchanged, when it cannot grow.
int growable_array_append(growable_array* array, const void* element);

// Inserts a copy of `element` (zeros when null) before element `index`
// (index == count appends). Returns 0, with the array unchanged, when the
// index is past the end or the array cannot grow.
int growable_array_insert(growable_array* array, size_t index, const void* element);

// Removes element `index`, closing the gap. Returns 0 when index >= count.
int growable_array_remove(growable_array* array, size_t index);

// Pointer to element i (no check; i < count).
void* growable_array_at(const growable_array* array, size_t i);

// Frees the elements; the array is empty and needs init before reuse.
void growable_array_free(growable_array* array);
