// Moving a staged set of files into place, all or none.
#include "core/file_set.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "core/file.h"
#include "core/memory.h"
#include "core/message_ring.h"

static const char staging_suffix[] = "/.saving";
static const char old_prefix[] = "old-";

char* file_set_staging(const char* folder) {
  const size_t n = std::strlen(folder) + sizeof staging_suffix;
  if (n > 1000) return nullptr;
  char* name = (char*)check_malloc(n);
  if (!name) return nullptr;
  std::snprintf(name, n, "%s%s", folder, staging_suffix);
  return name;
}

static char* join3(const char* a, const char* b, const char* c) {
  const size_t n = std::strlen(a) + std::strlen(b) + std::strlen(c) + 2;
  char* s = (char*)xmalloc(n);
  std::snprintf(s, n, "%s/%s%s", a, b, c);
  return s;
}

static int is_regular(const char* path) {
  struct stat st;
  return ::lstat(path, &st) == 0 && S_ISREG(st.st_mode);
}

static int exists(const char* path) {
  struct stat st;
  return ::lstat(path, &st) == 0;
}

// The real paths of the folder and of its staging folder.
static int real_folders(const char* folder, char** base, char** staging) {
  char* stage_name = file_set_staging(folder);
  *base = home_file_path(folder);
  *staging = stage_name ? home_file_path(stage_name) : nullptr;
  check_free(stage_name);
  if (*base && *staging) return 1;
  check_free(*base);
  check_free(*staging);
  return 0;
}

static void remove_staging(const char* staging, const char* const* names, int count) {
  for (int i = 0; i < count; i++) {
    char* a = join3(staging, "", names[i]);
    char* b = join3(staging, old_prefix, names[i]);
    ::unlink(a);
    ::unlink(b);
    check_free(a);
    check_free(b);
  }
  ::rmdir(staging);
}

void file_set_discard(const char* folder, const char* const* names, int count) {
  char *base, *staging;
  if (!real_folders(folder, &base, &staging)) return;
  remove_staging(staging, names, count);
  check_free(base);
  check_free(staging);
}

int file_set_commit(const char* folder, const char* const* names, int count) {
  char *base, *staging;
  if (!real_folders(folder, &base, &staging)) {
    console_printf("Can't save into '%.900s'", folder);
    return 0;
  }
  // Every target must be a plain file or absent before anything moves.
  int ok = 1;
  for (int i = 0; i < count && ok; i++) {
    char* target = join3(base, "", names[i]);
    char* staged = join3(staging, "", names[i]);
    if (is_regular(staged) && exists(target) && !is_regular(target)) {
      console_printf("Can't replace '%s'", names[i]);
      ok = 0;
    }
    check_free(target);
    check_free(staged);
  }
  // moved[i]: 0 untouched, 1 new file in place with no old one, 2 new file
  // in place with the old one kept aside in the staging folder.
  int* moved = (int*)xmalloc(sizeof(int) * (size_t)(count > 0 ? count : 1));
  std::memset(moved, 0, sizeof(int) * (size_t)(count > 0 ? count : 1));
  for (int i = 0; i < count && ok; i++) {
    char* target = join3(base, "", names[i]);
    char* staged = join3(staging, "", names[i]);
    char* aside = join3(staging, old_prefix, names[i]);
    if (is_regular(staged)) {
      const int had_old = exists(target);
      if (had_old && std::rename(target, aside) != 0) {
        ok = 0;
      } else if (std::rename(staged, target) != 0) {
        if (had_old) std::rename(aside, target);
        ok = 0;
      } else {
        moved[i] = had_old ? 2 : 1;
      }
      if (!ok) console_printf("Can't replace '%s'", names[i]);
    }
    check_free(target);
    check_free(staged);
    check_free(aside);
  }
  if (!ok) {
    for (int i = 0; i < count; i++) {
      if (!moved[i]) continue;
      char* target = join3(base, "", names[i]);
      char* aside = join3(staging, old_prefix, names[i]);
      if (moved[i] == 2)
        std::rename(aside, target);
      else
        ::unlink(target);
      check_free(target);
      check_free(aside);
    }
  }
  check_free(moved);
  remove_staging(staging, names, count);
  check_free(base);
  check_free(staging);
  return ok;
}
