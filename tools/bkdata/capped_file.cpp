// Whole-file reading for the checks, each capped at what its game reader
// would take, so a huge or endless file is refused rather than read.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/bkdata/commands.h"

int bkdata_read_capped(const char* path, size_t max_bytes, const char* what, std::string* text) {
  text->clear();
  struct stat info;
  // Only a plain file has an end to read to.
  if (stat(path, &info) != 0) {
    std::printf("%s: can't open: %s\n", path, std::strerror(errno));
    return 0;
  }
  if (!S_ISREG(info.st_mode)) {
    std::printf("%s: can't open: not a plain file\n", path);
    return 0;
  }
  std::FILE* f = std::fopen(path, "rb");
  if (!f) {
    std::printf("%s: can't open: %s\n", path, std::strerror(errno));
    return 0;
  }
  char buffer[65536];
  for (size_t n; text->size() <= max_bytes && (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
    text->append(buffer, n);
  const int failed = std::ferror(f);
  const int error = errno;
  std::fclose(f);
  if (failed) {
    std::printf("%s: read error: %s\n", path, std::strerror(error));
    text->clear();
    return 0;
  }
  if (text->size() > max_bytes) {
    std::printf("%s: too large for a %s (more than %zu bytes)\n", path, what, max_bytes);
    text->clear();
    return 0;
  }
  return 1;
}
