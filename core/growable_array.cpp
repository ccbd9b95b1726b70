#include "core/growable_array.h"

#include <cstdint>
#include <cstring>

#include "core/memory.h"

int growable_array_init(growable_array* array, size_t element_size, size_t capacity) {
  if (capacity == 0) capacity = 1;
  array->count = 0;
  array->element_size = element_size;
  array->data = nullptr;
  array->capacity = 0;
  if (element_size == 0 || capacity > SIZE_MAX / element_size) return 0;
  array->data = check_malloc(capacity * element_size);
  if (!array->data) return 0;
  array->capacity = capacity;
  return 1;
}

int growable_array_append(growable_array* array, const void* element) {
  if (array->count == array->capacity) {
    if (array->capacity == 0 || array->capacity > SIZE_MAX / 2 / array->element_size) return 0;
    void* grown = check_realloc(array->data, array->capacity * 2 * array->element_size);
    if (!grown) return 0;
    array->data = grown;
    array->capacity *= 2;
  }
  unsigned char* slot = static_cast<unsigned char*>(array->data) + array->count * array->element_size;
  if (element)
    std::memcpy(slot, element, array->element_size);
  else
    std::memset(slot, 0, array->element_size);
  array->count++;
  return 1;
}

int growable_array_insert(growable_array* array, size_t index, const void* element) {
  if (index > array->count) return 0;
  if (!growable_array_append(array, element)) return 0;
  unsigned char* base = static_cast<unsigned char*>(array->data);
  const size_t size = array->element_size;
  if (index + 1 < array->count) {
    // The appended copy sits at the end; rotate it into place.
    unsigned char* last = base + (array->count - 1) * size;
    unsigned char* slot = base + index * size;
    unsigned char held[64];
    unsigned char* tmp = size <= sizeof held ? held : static_cast<unsigned char*>(check_malloc(size));
    if (!tmp) {
      array->count--;
      return 0;
    }
    std::memcpy(tmp, last, size);
    std::memmove(slot + size, slot, (array->count - 1 - index) * size);
    std::memcpy(slot, tmp, size);
    if (tmp != held) check_free(tmp);
  }
  return 1;
}

int growable_array_remove(growable_array* array, size_t index) {
  if (index >= array->count) return 0;
  unsigned char* base = static_cast<unsigned char*>(array->data);
  const size_t size = array->element_size;
  std::memmove(base + index * size, base + (index + 1) * size, (array->count - 1 - index) * size);
  array->count--;
  return 1;
}

void* growable_array_at(const growable_array* array, size_t i) {
  return static_cast<unsigned char*>(array->data) + i * array->element_size;
}

void growable_array_free(growable_array* array) {
  check_free(array->data);
  array->data = nullptr;
  array->capacity = 0;
  array->count = 0;
}
