// The platform layer's growable array.
#include "platform/array.h"

#include <cstdlib>
#include <cstring>

int array_append(growable_array* array, const void* element) {
  if (array->count == array->capacity) {
    const int capacity = array->capacity > 0 ? array->capacity * 2 : 16;
    void* items = std::realloc(array->items, static_cast<size_t>(capacity) * static_cast<size_t>(array->element_size));
    if (!items) return 0;
    array->items = items;
    array->capacity = capacity;
  }
  char* slot = static_cast<char*>(array->items) + static_cast<size_t>(array->count) * static_cast<size_t>(array->element_size);
  if (element)
    std::memcpy(slot, element, static_cast<size_t>(array->element_size));
  else
    std::memset(slot, 0, static_cast<size_t>(array->element_size));
  ++array->count;
  return 1;
}
