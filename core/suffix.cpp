#include "core/suffix.h"

#include <cstring>

#include "core/memory.h"

char* replace_suffix(const char* text, const char* suffix, const char* replacement) {
  const size_t text_length = std::strlen(text);
  const size_t suffix_length = std::strlen(suffix);
  if (suffix_length > text_length) return nullptr;
  const size_t stem = text_length - suffix_length;
  if (std::memcmp(text + stem, suffix, suffix_length) != 0) return nullptr;
  const size_t replacement_length = std::strlen(replacement);
  char* out = static_cast<char*>(xmalloc(stem + replacement_length + 1));
  std::memcpy(out, text, stem);
  std::memcpy(out + stem, replacement, replacement_length + 1);
  return out;
}
