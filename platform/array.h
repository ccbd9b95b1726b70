#pragma once
// The platform layer's growable array.

struct growable_array {
  void* items;
  int capacity;  // elements
  int count;
  int element_size;  // bytes
};

// Appends a copy of element (zeroes when element is null). When the array is
// full it doubles its capacity first (16 when it had none); if that fails it
// returns 0 and the array is unchanged. 1 on success.
int array_append(growable_array* array, const void* element);
