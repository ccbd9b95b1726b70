#pragma once
// Replacing a file of the per-user folder without ever leaving it half
// written: the new content goes to a temporary file beside it, is flushed
// to the disk, and is renamed over the old one in one step. A crash or a
// full disk at any point leaves either the old file or the new one.
#include <cstddef>
#include <sys/types.h>

// The system calls the replacement goes through, so tests can make any one
// of them fail.
struct file_replace_ops_table {
  ssize_t (*write)(int fd, const void* bytes, size_t n);
  int (*fsync)(int fd);
  int (*close)(int fd);
};
extern file_replace_ops_table file_replace_ops;

// Writes size bytes as the file name ("@" names land in the per-user
// folder). With keep_backup, an existing file is first copied to name
// followed by "~" (one backup, replaced each time). 1 on success; on any
// failure the console says why, the temporary file is removed and the
// file is left as it was.
int file_replace(const char* name, const char* bytes, size_t size, int keep_backup);
// What the last failed file_replace said on the console ("Can't write
// results.txt: No space left on device").
extern char file_replace_failure[512];
