// Support functions for replacing per-user files in one step.
#include "core/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/file.h"
#include "core/memory.h"
#include "core/message_ring.h"

file_replace_ops_table file_replace_ops = {::write, ::fsync, ::close};
char file_replace_failure[512];

// Says on the console why a replacement failed, and keeps it for callers
// that have no console to show.
static void failed(const char* format, ...) BK_PRINTF_LIKE(1, 2);
static void failed(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(file_replace_failure, sizeof file_replace_failure, format, args);
  va_end(args);
  console_printf("%s\n", file_replace_failure);
  // The console closes with the game: a failed save is said where it stays.
  std::fprintf(stderr, "%s\n", file_replace_failure);
}

// Writes the bytes to a fresh file at path and flushes them to the disk.
// 0 after a console line naming what failed; the file may then be left
// partial, and the caller removes it.
static int write_whole_file(const char* shown, const char* path, const char* bytes, size_t size) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    failed("Can't write %s: %s", shown, std::strerror(errno));
    return 0;
  }
  size_t done = 0;
  while (done < size) {
    const ssize_t n = file_replace_ops.write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed("Can't write %s: %s", shown, n < 0 ? std::strerror(errno) : "nothing written");
      file_replace_ops.close(fd);
      return 0;
    }
    done += static_cast<size_t>(n);
  }
  if (file_replace_ops.fsync(fd) != 0) {
    failed("Can't write %s: %s", shown, std::strerror(errno));
    file_replace_ops.close(fd);
    return 0;
  }
  if (file_replace_ops.close(fd) != 0) {
    failed("Can't write %s: %s", shown, std::strerror(errno));
    return 0;
  }
  return 1;
}

// The whole file at path into a new buffer (caller frees), or null when
// it cannot be read. A missing file gives null with *missing set.
static char* read_whole_file(const char* path, size_t* size, int* missing) {
  *missing = 0;
  const int fd = ::open(path, O_RDONLY);
  if (fd < 0) {
    *missing = errno == ENOENT;
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_size < 0) {
    ::close(fd);
    return nullptr;
  }
  const size_t want = static_cast<size_t>(st.st_size);
  char* buffer = static_cast<char*>(check_malloc(want + 1));
  size_t got = 0;
  while (buffer && got < want) {
    const ssize_t n = ::read(fd, buffer + got, want - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  if (!buffer || got != want) {
    check_free(buffer);
    return nullptr;
  }
  *size = got;
  return buffer;
}

static char* with_suffix(const char* path, const char* suffix) {
  const size_t a = std::strlen(path), b = std::strlen(suffix);
  char* out = static_cast<char*>(check_malloc(a + b + 1));
  if (!out) return nullptr;
  std::memcpy(out, path, a);
  std::memcpy(out + a, suffix, b + 1);
  return out;
}

// Copies the file at path to path~, through a temporary file so that a
// failure never spoils the backup already there either. 1 when there was
// nothing to copy.
static int copy_to_backup(const char* shown, const char* path) {
  size_t size = 0;
  int missing = 0;
  char* old = read_whole_file(path, &size, &missing);
  if (!old) {
    if (missing) return 1;
    failed("Can't back up %s: %s", shown, std::strerror(errno ? errno : EIO));
    return 0;
  }
  char* backup = with_suffix(path, "~");
  char* temporary = with_suffix(path, "~.new");
  int ok = backup && temporary && write_whole_file(shown, temporary, old, size);
  if (ok && std::rename(temporary, backup) != 0) {
    failed("Can't back up %s: %s", shown, std::strerror(errno));
    ok = 0;
  }
  if (!ok && temporary) ::unlink(temporary);
  check_free(old);
  check_free(backup);
  check_free(temporary);
  return ok;
}

int file_replace(const char* name, const char* bytes, size_t size, int keep_backup) {
  if (!name) return 0;
  const char* shown = name[0] == '@' ? name + 1 : name;
  char* path = home_file_path(name);
  if (!path) {
    failed("Can't write %s: no per-user folder or bad name", shown);
    return 0;
  }
  make_parent_folders(path);
  char* temporary = with_suffix(path, ".new");
  int ok = temporary && write_whole_file(shown, temporary, bytes, size);
  if (ok && keep_backup) ok = copy_to_backup(shown, path);
  if (ok && std::rename(temporary, path) != 0) {
    failed("Can't write %s: %s", shown, std::strerror(errno));
    ok = 0;
  }
  if (!ok && temporary) ::unlink(temporary);
  if (ok) {
    // The rename itself only lasts once the folder is on the disk too.
    char* slash = std::strrchr(path, '/');
    if (slash) {
      slash[1] = 0;
      const int dir = ::open(path, O_RDONLY | O_DIRECTORY);
      if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
      }
    }
  }
  check_free(temporary);
  check_free(path);
  return ok;
}
