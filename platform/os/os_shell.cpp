// Shell services over POSIX: XDG folders, /proc/self/exe and xdg-open.
#include "platform/os/os_shell.h"

#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/log.h"

extern char** environ;

static int copy_text(char* buffer, size_t size, const char* a, const char* b) {
  const int n = std::snprintf(buffer, size, "%s%s", a, b);
  return n >= 0 && static_cast<size_t>(n) < size;
}

int os_local_data_folder(char* buffer, size_t size) {
  if (!buffer || size == 0) return 0;
  buffer[0] = 0;
  // The XDG rules ignore a relative XDG_DATA_HOME.
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return copy_text(buffer, size, xdg, "");
  const char* home = std::getenv("HOME");
  if (home && home[0]) return copy_text(buffer, size, home, "/.local/share");
  // No HOME in the environment (a service, "env -i"): the account still has
  // a home, and the game data folder must never stand in for it.
  const struct passwd* account = getpwuid(getuid());
  if (account && account->pw_dir && account->pw_dir[0] == '/')
    return copy_text(buffer, size, account->pw_dir, "/.local/share");
  return 0;
}

int os_executable_path(char* buffer, size_t size) {
  if (!buffer || size < 2) return 0;
  const ssize_t n = readlink("/proc/self/exe", buffer, size);
  // readlink does not terminate, and a result that fills the buffer may
  // have been cut off.
  if (n <= 0 || static_cast<size_t>(n) >= size) {
    buffer[0] = 0;
    return 0;
  }
  buffer[n] = 0;
  return 1;
}

int os_open_folder(const char* path) {
  if (!path || !path[0]) return 0;
  char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(path), nullptr};
  pid_t pid;
  const int err = posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ);
  if (err != 0) {
    log_printf("Can't run xdg-open: %s\n", std::strerror(err));
    return 0;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 0;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
