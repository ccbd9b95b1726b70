// The file index over the search roots and the ".saf" archives among them.
#include "core/file_index.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/file.h"
#include "core/heap_sort.h"
#include "core/memory.h"
#include "core/saf.h"
#include "platform/log.h"

file_index game_file_index;
void (*file_index_refresh_hook)();

static int compare_names(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const int ca = std::tolower(static_cast<unsigned char>(*a));
    const int cb = std::tolower(static_cast<unsigned char>(*b));
    if (ca != cb || !ca) return ca - cb;
  }
}

// Name ignoring case, then source; the last two keys only make the order of
// exact duplicates (names differing in case, repeated archive members)
// independent of the sort.
static int file_index_compare(const void* pa, const void* pb) {
  const file_index_entry* a = static_cast<const file_index_entry*>(pa);
  const file_index_entry* b = static_cast<const file_index_entry*>(pb);
  int c = compare_names(a->relative, b->relative);
  if (c) return c;
  if (a->source != b->source) return a->source < b->source ? -1 : 1;
  c = std::strcmp(a->relative, b->relative);
  if (c) return c;
  return a->offset < b->offset ? -1 : a->offset > b->offset ? 1 : 0;
}

file_index_entry* file_index_at(const file_index* index, int i) {
  return static_cast<file_index_entry*>(growable_array_at(&index->entries, static_cast<size_t>(i)));
}

int file_index_count(const file_index* index) { return static_cast<int>(index->entries.count); }

static int append_entry(file_index* index, const file_index_entry* e) {
  if (!index->entries.data && !growable_array_init(&index->entries, sizeof(file_index_entry), 16)) return 0;
  return growable_array_append(&index->entries, e);
}

// Folders already on the way down: a symbolic link back up must not loop.
struct walk_step {
  dev_t dev;
  ino_t ino;
  const walk_step* up;
};

static void list_directory(const char* folder, size_t rootlen, int source, const walk_step* up) {
  if (file_index_refresh_hook) file_index_refresh_hook();
  DIR* dir = opendir(folder);
  if (!dir) return;
  size_t flen = std::strlen(folder);
  while (flen > 0 && folder[flen - 1] == '/') --flen;
  while (const dirent* d = readdir(dir)) {
    if (!std::strcmp(d->d_name, ".") || !std::strcmp(d->d_name, "..")) continue;
    const size_t nlen = std::strlen(d->d_name);
    char* path = static_cast<char*>(check_malloc(flen + 1 + nlen + 1));
    if (!path) continue;
    std::memcpy(path, folder, flen);
    path[flen] = '/';
    std::memcpy(path + flen + 1, d->d_name, nlen + 1);
    struct stat st;
    if (stat(path, &st) != 0) {
      check_free(path);
      continue;
    }
    if (S_ISDIR(st.st_mode)) {
      int loops = 0;
      for (const walk_step* w = up; w; w = w->up) loops |= w->dev == st.st_dev && w->ino == st.st_ino;
      const walk_step here = {st.st_dev, st.st_ino, up};
      if (!loops) list_directory(path, rootlen, source, &here);
      check_free(path);
      continue;
    }
    if (!S_ISREG(st.st_mode) || st.st_size > 0x7FFFFFFF) {
      if (S_ISREG(st.st_mode)) log_printf("Not indexing %.900s: too large\n", path);
      check_free(path);
      continue;
    }
    const file_index_entry e = {path, path, path + rootlen, 0, static_cast<uint32_t>(st.st_size), source};
    if (!append_entry(&game_file_index, &e)) check_free(path);
  }
  closedir(dir);
}

static int ends_with_saf(const char* name) {
  const size_t len = std::strlen(name);
  return len >= 5 && compare_names(name + len - 4, ".saf") == 0;
}

static void list_archive(int at, int source) {
  if (file_index_refresh_hook) file_index_refresh_hook();
  const char* container = file_index_at(&game_file_index, at)->container;
  FILE* f = std::fopen(container, "rb");
  if (!f) return;
  saf_listing listing;
  const int ok = saf_read_header(f, container, &listing);
  std::fclose(f);
  if (!ok) {
    log_printf("%s\n", listing.error);
    return;
  }
  for (int i = 0; i < listing.count; ++i) {
    saf_member* m = &listing.members[i];
    const file_index_entry e = {m->name, container, m->name, m->offset, m->size, source};
    if (append_entry(&game_file_index, &e)) m->name = nullptr;
  }
  saf_listing_free(&listing);
}

const char** file_index_build() {
  file_index* index = &game_file_index;
  if (index->built) return index->unique_names;
  log_printf("Listing directories\n");
  int roots = 0;
  for (; search_root(roots); ++roots) {
    const char* root = search_root(roots);
    struct stat st;
    if (stat(root, &st) != 0) continue;
    const walk_step top = {st.st_dev, st.st_ino, nullptr};
    list_directory(root, std::strlen(root), roots, &top);
  }
  heap_sort(index->entries.data, index->entries.count, sizeof(file_index_entry), file_index_compare);

  log_printf("Listing archives\n");
  int source = roots;
  const int listed = file_index_count(index);
  for (int i = 0; i < listed; ++i) {
    if (!ends_with_saf(file_index_at(index, i)->relative)) continue;
    list_archive(i, source);
    ++source;
  }
  heap_sort(index->entries.data, index->entries.count, sizeof(file_index_entry), file_index_compare);

  log_printf("Creating file list\n");
  const int count = file_index_count(index);
  index->unique_names = static_cast<const char**>(xmalloc((static_cast<size_t>(count) + 1) * sizeof(char*)));
  int unique = 0;
  if (index->unique_names) {
    for (int i = 0; i < count; ++i) {
      const char* name = file_index_at(index, i)->relative;
      if (unique && compare_names(index->unique_names[unique - 1], name) == 0) continue;
      index->unique_names[unique++] = name;
    }
    index->unique_names[unique] = nullptr;
  }
  index->built = 1;
  log_printf("File index complete\n");
  return index->unique_names;
}

int file_index_find(const file_index* index, const char* name) {
  if (!index || !name) return -1;
  int lo = 0, hi = file_index_count(index);
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (compare_names(file_index_at(index, mid)->relative, name) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo < file_index_count(index) && compare_names(file_index_at(index, lo)->relative, name) == 0) return lo;
  return -1;
}

int file_index_contains(const char* name) { return file_index_find(&game_file_index, name) >= 0; }

int file_index_entry_text(int i, char* buffer, int size) {
  const file_index* index = &game_file_index;
  if (!index->built || i < 0 || i >= file_index_count(index) || !buffer || size <= 0) return 0;
  const file_index_entry* e = file_index_at(index, i);
  std::snprintf(buffer, static_cast<size_t>(size), "%s -> %s", e->relative, e->container);
  return 1;
}

void free_file_index() {
  file_index* index = &game_file_index;
  for (int i = 0; i < file_index_count(index); ++i) check_free(file_index_at(index, i)->name);
  if (index->entries.data) growable_array_free(&index->entries);
  check_free(index->unique_names);
  *index = file_index{};
  search_roots_free();
}
