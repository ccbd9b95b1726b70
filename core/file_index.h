#pragma once
// The file index: every loose file under the search roots and every member
// of the ".saf" archives among them, sorted by relative name (ignoring case)
// and then by source number. Lower source numbers win: the roots are 0 and
// 1, then each archive takes the next number in the order of its name.
#include <cstdint>

#include "core/growable_array.h"

struct file_index_entry {
  char* name;             // owned
  const char* container;  // the real path to open: the file, or its archive
  const char* relative;   // name used for lookups, "/" separated
  uint32_t offset;        // of the data inside the container
  uint32_t size;
  int32_t source;
};

struct file_index {
  growable_array entries;  // of file_index_entry
  int built;
  const char** unique_names;  // null-terminated, one per distinct name
};

extern file_index game_file_index;

// Called for every folder and archive walked, to keep the window alive.
extern void (*file_index_refresh_hook)();

// Builds the index on the first call; returns the unique-name list, which
// stays unchanged until free_file_index.
const char** file_index_build();
// Entry i of the index (i < count).
file_index_entry* file_index_at(const file_index* index, int i);
int file_index_count(const file_index* index);
// Position of the winning entry for name (ignoring case), or -1.
int file_index_find(const file_index* index, const char* name);
int file_index_contains(const char* name);
// "relative -> container" for entry i, cut to fit. 0 past the end or before
// the index is built.
int file_index_entry_text(int i, char* buffer, int size);
// Frees the index and the roots.
void free_file_index();
