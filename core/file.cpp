// Search roots, "@" names, opening streams and whole-file services.
#include "core/file.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/file_index.h"
#include "core/memory.h"
#include "core/rmd160.h"
#include "platform/log.h"
#include "platform/os/os.h"
#include "platform/os/os_shell.h"

enum { name_path_max = 511, max_roots = 2 };

static char* roots[max_roots + 1];
static int roots_built;
// Root 0 is the per-user folder. Without one the game data folder is root
// 0 for reading, but nothing is ever written there.
static int user_root;

char* path_join(const char* a, const char* b) {
  if (!a || !b) return nullptr;
  const size_t la = std::strlen(a), lb = std::strlen(b);
  char* out = static_cast<char*>(check_malloc(la + lb + 1));
  if (!out) return nullptr;
  char* w = out;
  for (const char* part : {a, b}) {
    for (const char* r = part; *r; ++r) {
      const char c = *r == '\\' ? '/' : *r;
      if (c == '/' && w > out && w[-1] == '/') continue;
      *w++ = c;
    }
  }
  *w = 0;
  return out;
}

static void add_root(int* n, const char* folder) {
  char* root = path_join(folder, "/");
  if (root) roots[(*n)++] = root;
}

static void build_roots() {
  if (roots_built) return;
  roots_built = 1;
  int n = 0;
  char buffer[4096];
  user_root = 0;
  if (os_local_data_folder(buffer, sizeof(buffer))) {
    char* user = path_join(buffer, "/Brakkan/");
    if (user) roots[n++] = user;
    user_root = user != nullptr;
  }
  // An empty BK_HOME would make "/" a root and index the whole disk.
  const char* home = os_getenv("BK_HOME");
  if (home && home[0]) {
    add_root(&n, home);
  } else if (os_executable_path(buffer, sizeof(buffer))) {
    char* slash = std::strrchr(buffer, '/');
    if (slash) {
      slash[1] = 0;
      add_root(&n, buffer);
    }
  }
  roots[n] = nullptr;
}

const char* search_root(int i) {
  build_roots();
  if (i < 0 || i >= max_roots) return nullptr;
  return roots[i];
}

void search_roots_free() {
  for (char*& r : roots) {
    check_free(r);
    r = nullptr;
  }
  roots_built = 0;
  user_root = 0;
}

const char* user_folder() {
  build_roots();
  return user_root ? roots[0] : nullptr;
}

static int is_read_mode(const char* mode) { return std::strchr(mode, 'r') && !std::strchr(mode, '+'); }

void make_parent_folders(const char* path) {
  char buffer[1024];
  const size_t len = std::strlen(path);
  if (len >= sizeof(buffer)) return;
  std::memcpy(buffer, path, len + 1);
  for (size_t i = 1; i < len; ++i) {
    if (buffer[i] != '/' || buffer[i - 1] == '/') continue;
    buffer[i] = 0;
    mkdir(buffer, 0755);
    buffer[i] = '/';
  }
}

static int file_exists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

static int copy_file(const char* from, const char* to) {
  FILE* in = std::fopen(from, "rb");
  if (!in) return 0;
  FILE* out = std::fopen(to, "wb");
  if (!out) {
    std::fclose(in);
    return 0;
  }
  static char chunk[65536];
  int ok = 1;
  size_t n;
  while (ok && (n = std::fread(chunk, 1, sizeof(chunk), in)) > 0) ok = std::fwrite(chunk, 1, n, out) == n;
  if (std::ferror(in)) ok = 0;
  std::fclose(in);
  if (std::fclose(out) != 0) ok = 0;
  return ok;
}

static FILE* open_with_backup(const char* path, const char* mode) {
  if (std::strlen(path) > 1000) return nullptr;
  if (file_exists(path)) {
    char backup[1024];
    int i = 1;
    for (; i <= 9999; ++i) {
      std::snprintf(backup, sizeof(backup), "%s.~%d~", path, i);
      if (!file_exists(backup)) break;
    }
    if (i > 9999 || !copy_file(path, backup)) return nullptr;
  }
  return std::fopen(path, mode + 1);
}

// A folder opens as an empty file on Linux; a reader must never get one.
static FILE* open_regular(const char* path, const char* mode) {
  FILE* f = std::fopen(path, mode);
  if (!f) return nullptr;
  struct stat st;
  if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
    std::fclose(f);
    return nullptr;
  }
  return f;
}

int stream_open_path(stream* s, const char* path, const char* mode) {
  if (!s || !path || !mode) return 0;
  const int reading = is_read_mode(mode);
  if (!reading) make_parent_folders(path);
  FILE* f = mode[0] == '~' ? open_with_backup(path, mode) : open_regular(path, mode);
  int gzip = 0, scrambled = 0;
  char variant[1024] = "";
  if (!f && reading) {
    static const char* const suffixes[] = {".gz", ".scram", ".gz.scram"};
    for (int v = 0; v < 3 && !f; ++v) {
      const int n = std::snprintf(variant, sizeof(variant), "%s%s", path, suffixes[v]);
      if (n < 0 || n >= 1023) continue;
      f = open_regular(variant, mode);
      gzip = v != 1;
      scrambled = v != 0;
    }
  }
  if (!f) return 0;
  if (!stream_attach(s, f, 0, 2147483647u, gzip, scrambled)) return 0;
  stream_set_name(s, gzip || scrambled ? variant : path);
  return 1;
}

// "@" names may come from other machines later: keep them inside the roots
// and never use a cut-off name.
static int name_is_safe(const char* name) {
  const char* why = nullptr;
  if (!name[0])
    why = "empty";
  else if (name[0] == '/' || name[0] == '\\')
    why = "absolute";
  else if (std::strlen(name) > name_path_max)
    why = "too long";
  for (const char* p = name; !why && *p;) {
    const char* end = p;
    while (*end && *end != '/' && *end != '\\') ++end;
    if (end - p == 2 && p[0] == '.' && p[1] == '.') why = "has a '..' part";
    p = *end ? end + 1 : end;
  }
  if (!why) return 1;
  log_printf("Refusing file name '@%.200s': %s\n", name, why);
  return 0;
}

// root + name, or null (with a log line) when it would not fit.
static char* root_path(const char* root, const char* name) {
  char* path = path_join(root, name);
  if (path && std::strlen(path) > name_path_max) {
    log_printf("Refusing file name '@%.200s': too long\n", name);
    check_free(path);
    return nullptr;
  }
  return path;
}

static int open_name_from(stream* s, const char* name, const char* mode, int first_root) {
  if (!s || !name || !mode) return 0;
  if (name[0] != '@') return stream_open_path(s, name, mode);
  ++name;
  if (!name_is_safe(name)) return 0;
  if (!is_read_mode(mode)) {
    // Written files belong to the per-user folder alone: one it can't
    // write to never sends them into the game data.
    if (!user_folder()) return 0;
    char* path = root_path(user_folder(), name);
    const int ok = path && stream_open_path(s, path, mode);
    check_free(path);
    return ok;
  }
  for (int i = first_root; search_root(i); ++i) {
    char* path = root_path(search_root(i), name);
    if (!path) return 0;
    const int ok = stream_open_path(s, path, mode);
    check_free(path);
    if (ok) return 1;
  }
  if (!game_file_index.built) return 0;

  char* wanted = path_join(name, "");
  if (!wanted) return 0;
  static const char* const suffixes[] = {"", ".gz", ".scram", ".gz.scram"};
  int best = -1, best_variant = 0;
  for (int v = 0; v < 4; ++v) {
    char variant[1024];
    std::snprintf(variant, sizeof(variant), "%s%s", wanted, suffixes[v]);
    const int at = file_index_find(&game_file_index, variant);
    if (at < 0) continue;
    if (best < 0 || file_index_at(&game_file_index, at)->source < file_index_at(&game_file_index, best)->source) {
      best = at;
      best_variant = v;
    }
  }
  check_free(wanted);
  if (best < 0) return 0;
  const file_index_entry* e = file_index_at(&game_file_index, best);
  FILE* f = open_regular(e->container, "rb");
  if (!f) return 0;
  if (std::fseek(f, static_cast<long>(e->offset), SEEK_SET) != 0) {
    std::fclose(f);
    return 0;
  }
  if (!stream_attach(s, f, e->offset, e->size, best_variant & 1, best_variant >= 2)) return 0;
  stream_set_name(s, name - 1);
  return 1;
}

int stream_open_name(stream* s, const char* name, const char* mode) { return open_name_from(s, name, mode, 0); }

stream* stream_open_shadowed(const char* name) {
  if (!name || name[0] != '@' || !user_folder() || !search_root(1)) return nullptr;
  stream* s = static_cast<stream*>(check_malloc(sizeof(stream)));
  if (!s) return nullptr;
  if (!open_name_from(s, name, "rb", 1)) {
    check_free(s);
    return nullptr;
  }
  return s;
}

stream* stream_open(const char* name, const char* mode) {
  stream* s = static_cast<stream*>(check_malloc(sizeof(stream)));
  if (!s) return nullptr;
  if (!stream_open_name(s, name, mode)) {
    check_free(s);
    return nullptr;
  }
  return s;
}

char* home_file_path(const char* name) {
  if (name[0] != '@') return path_join(name, "");
  if (!name_is_safe(name + 1) || !user_folder()) return nullptr;
  return root_path(user_folder(), name + 1);
}

int rename_home_file(const char* from, const char* to) {
  if (!from || !to) return 0;
  char* a = home_file_path(from);
  char* b = home_file_path(to);
  // rename() replaces the target in one step, so a missing source never
  // costs the file already there.
  const int ok = a && b && std::rename(a, b) == 0;
  check_free(a);
  check_free(b);
  return ok;
}

int open_home_folder() {
  const char* root = user_folder();
  if (!root) return 0;
  make_parent_folders(root);
  char folder[1024];
  const int n = std::snprintf(folder, sizeof(folder), "%s", root);
  if (n < 0 || n >= static_cast<int>(sizeof(folder))) return 0;
  for (int end = n - 1; end > 0 && folder[end] == '/'; --end) folder[end] = 0;
  return os_open_folder(folder);
}

char* file_to_string(const char* name) {
  stream s;
  if (!stream_open_name(&s, name, "rb")) return nullptr;
  // Sized by what the file can hold, so a small file costs a small block.
  const uint64_t left = stream_remaining(&s);
  const uint32_t capacity = left < file_to_string_buffer - 1u ? static_cast<uint32_t>(left) + 1
                                                              : static_cast<uint32_t>(file_to_string_buffer);
  char* buffer = static_cast<char*>(check_malloc(capacity));
  if (!buffer) {
    stream_close_file(&s);
    return nullptr;
  }
  const uint32_t n = stream_read(&s, buffer, capacity);
  const int intact = stream_verify(&s);
  stream_close_file(&s);
  if (n >= capacity) {
    log_printf("File %s too long for file_to_string\n", name);
    check_free(buffer);
    return nullptr;
  }
  if (!intact) {
    log_printf("File %s is damaged\n", name);
    check_free(buffer);
    return nullptr;
  }
  buffer[n] = 0;
  char* shrunk = static_cast<char*>(check_realloc(buffer, n + 1));
  return shrunk ? shrunk : buffer;
}

// Says on standard error, where a player sees it whatever becomes of the
// log, when the per-user folder can't hold what the game saves there.
static void check_home_folder() {
  char buffer[4096];
  const char* home = user_folder();
  if (!home || !os_local_data_folder(buffer, sizeof buffer)) {
    std::fprintf(stderr,
                 "Brakkan: no per-user folder (XDG_DATA_HOME, HOME and the account's home give no usable "
                 "folder): settings, log, results and demos can't be saved\n");
    return;
  }
  struct stat st;
  const char* why = nullptr;
  if (stat(home, &st) != 0) why = std::strerror(errno);  // a file on the way: "Not a directory"
  else if (access(home, W_OK | X_OK) != 0) why = std::strerror(errno);
  if (why)
    std::fprintf(stderr, "Brakkan: can't use the per-user folder '%s': %s; settings, log, results and demos can't "
                 "be saved\n", home, why);
}

int locate_game_data(const char* expected_digest_hex) {
  const char* home = user_folder();
  if (home) make_parent_folders(home);
  check_home_folder();
  if (home) {
    char line[1024];
    const int n = std::snprintf(line, sizeof(line), "PAVO_LOGFILE=%slastlog.txt", home);
    if (n > 0 && n < static_cast<int>(sizeof(line))) log_printf("%s", line);
  }
  for (int i = 0; search_root(i); ++i) {
    char* path = path_join(search_root(i), "zzzz.saf");
    FILE* f = path ? std::fopen(path, "rb") : nullptr;
    check_free(path);
    if (!f) continue;
    // The first MiB identifies the archive without reading all of it.
    rmd160_context context;
    rmd160_init(&context);
    unsigned char piece[256];
    size_t total = 0, n;
    while (total < 1048576 && (n = std::fread(piece, 1, sizeof(piece), f)) > 0) {
      rmd160_update(&context, piece, n);
      total += n;
    }
    std::fclose(f);
    rmd160_final(&context);
    if (expected_digest_hex && digest_matches_hex(expected_digest_hex, context.digest)) return 1;
  }
  return 0;
}
