// bkdata check FILE...: each file through the game's own reader for its
// kind, chosen by its name.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/file.h"
#include "core/memory.h"
#include "core/saf.h"
#include "core/stream.h"
#include "script/script_host.h"
#include "tools/bkdata/commands.h"

static int is_folder(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

static int ends_with(const char* name, const char* suffix) {
  const size_t n = std::strlen(name), m = std::strlen(suffix);
  return n >= m && std::strcmp(name + n - m, suffix) == 0;
}

// Reads the data at offset through a stream with the given variant flags.
// 1 and the plain length, or 0 with the reason.
static int read_through(const char* path, uint32_t offset, uint32_t size, int gzip, int scrambled, uint64_t* length,
                        const char** why) {
  FILE* f = std::fopen(path, "rb");
  if (!f) {
    *why = "can't open";
    return 0;
  }
  if (std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0) {
    std::fclose(f);
    *why = "can't seek";
    return 0;
  }
  stream* s = static_cast<stream*>(xmalloc(sizeof(stream)));
  if (!stream_attach(s, f, offset, size, gzip, scrambled)) {
    check_free(s);
    *why = scrambled ? "not readable as a scrambled file" : "bad gzip header";
    return 0;
  }
  stream_set_name(s, path);
  static char buffer[65536];
  *length = 0;
  for (uint32_t n; (n = stream_read(s, buffer, sizeof buffer)) > 0;) *length += n;
  const int broken = s->broken;
  const int corrupt = s->corrupt_said;
  stream_close(s);
  if (corrupt) {
    static char message[600];
    std::snprintf(message, sizeof message, "Corrupt gzip data in '%.500s'", path);
    *why = message;
    return 0;
  }
  if (broken) {
    *why = "compressed data end early or are damaged";
    return 0;
  }
  return 1;
}

static int variant_of(const char* name, int* gzip, int* scrambled) {
  *gzip = *scrambled = 0;
  if (ends_with(name, ".gz.scram"))
    *gzip = *scrambled = 1;
  else if (ends_with(name, ".scram"))
    *scrambled = 1;
  else if (ends_with(name, ".gz"))
    *gzip = 1;
  return *gzip || *scrambled;
}

static int check_archive(const char* path) {
  FILE* f = std::fopen(path, "rb");
  if (!f) {
    std::printf("%s: can't open\n", path);
    return 0;
  }
  saf_listing listing;
  const int ok = saf_read_header(f, path, &listing);
  std::fclose(f);
  if (!ok) {
    std::printf("%s: %s\n", path, listing.error);
    return 0;
  }
  uint64_t bytes = 0;
  int good = 1;
  for (int i = 0; i < listing.count && good; ++i) {
    const saf_member* m = &listing.members[i];
    bytes += m->size;
    int gzip, scrambled;
    if (!variant_of(m->name, &gzip, &scrambled)) continue;
    uint64_t length;
    const char* why = "";
    if (!read_through(path, m->offset, m->size, gzip, scrambled, &length, &why)) {
      std::printf("%s: member '%s': %s\n", path, m->name, why);
      good = 0;
    }
  }
  if (good) std::printf("%s: archive, %d members, %llu bytes\n", path, listing.count, static_cast<unsigned long long>(bytes));
  saf_listing_free(&listing);
  return good;
}

// A track script: compiled only, as the game would before running it.
static int check_script(const char* path) {
  // The game reads a script through file_to_string, whose buffer also
  // holds the closing NUL.
  std::string text;
  if (!bkdata_read_capped(path, file_to_string_buffer - 1, "track script", &text)) return 0;
  if (text.find('\0') != std::string::npos) {
    std::printf("%s: refused: holds a NUL byte\n", path);
    return 0;
  }
  char error[script_error_bytes];
  if (!script_compile_check(text.c_str(), path, error)) {
    std::printf("%s: %s\n", path, error);
    return 0;
  }
  std::printf("%s: script, %zu bytes\n", path, text.size());
  return 1;
}

int bkdata_check(int argc, char** argv) {
  if (argc < 1) return bkdata_usage();
  int failed = 0;
  for (int i = 0; i < argc; ++i) {
    const char* path = argv[i];
    int gzip, scrambled;
    if (is_folder(path)) {
      failed |= !bkdata_check_track(path);
    } else if (ends_with(path, ".saf")) {
      failed |= !check_archive(path);
    } else if (ends_with(path, ".js")) {
      failed |= !check_script(path);
    } else if (bkdata_is_sound_name(path)) {
      failed |= !bkdata_check_sound(path);
    } else if (bkdata_is_demo_name(path)) {
      failed |= !bkdata_check_demo(path);
    } else if (bkdata_is_series_name(path)) {
      failed |= !bkdata_check_series(path);
    } else if (bkdata_is_lines_name(path)) {
      failed |= !bkdata_check_lines(path);
    } else if (bkdata_is_track_file_name(path)) {
      failed |= !bkdata_check_track_file(path);
    } else if (bkdata_is_edinfo_name(path)) {
      failed |= !bkdata_check_edinfo(path);
    } else if (bkdata_is_keycam_name(path)) {
      failed |= !bkdata_check_keycam(path);
    } else if (bkdata_is_setup_name(path)) {
      failed |= !bkdata_check_setup(path);
    } else if (bkdata_is_config_name(path)) {
      failed |= !bkdata_check_config(path);
    } else if (bkdata_is_shape_name(path)) {
      failed |= !bkdata_check_shape(path);
    } else if (bkdata_is_decals_name(path)) {
      failed |= !bkdata_check_decals(path);
    } else if (bkdata_is_seq_name(path)) {
      failed |= !bkdata_check_seq(path);
    } else if (bkdata_is_image_name(path)) {
      failed |= !bkdata_check_image(path);
    } else if (bkdata_is_model_name(path)) {
      failed |= !bkdata_check_model(path);
    } else if (variant_of(path, &gzip, &scrambled)) {
      uint64_t length;
      const char* why = "";
      if (read_through(path, 0, 2147483647u, gzip, scrambled, &length, &why)) {
        std::printf("%s: %s, %llu plain bytes\n", path, gzip && scrambled ? "gzip scrambled" : gzip ? "gzip" : "scrambled",
                    static_cast<unsigned long long>(length));
      } else {
        std::printf("%s: %s\n", path, why);
        failed = 1;
      }
    } else {
      std::printf("%s: no reader for this kind of file\n", path);
      failed = 1;
    }
  }
  return failed ? 1 : 0;
}
