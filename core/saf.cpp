// Reading and writing ".saf" archive headers. The game only reads archives;
// the writer serves the data generator and tests.
#include "core/saf.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "platform/log.h"

void saf_listing_free(saf_listing* listing) {
  if (!listing) return;
  for (int i = 0; i < listing->count; ++i) check_free(listing->members[i].name);
  check_free(listing->members);
  listing->members = nullptr;
  listing->count = listing->capacity = 0;
}

// Reads one header line into line (with its "\n"); its length, or -1 when it
// is longer than the limit or the file ends without "\n".
static int read_header_line(FILE* file, char* line) {
  int len = 0;
  for (;;) {
    const int c = std::fgetc(file);
    if (c == EOF) return -1;
    if (len >= saf_line_max) return -1;
    line[len++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  line[len] = 0;
  return len;
}

// Drops what was listed and keeps the reason.
static void refuse(saf_listing* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
static void refuse(saf_listing* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(out->error, sizeof(out->error), format, args);
  va_end(args);
  saf_listing_free(out);  // after the text: it may name a member
}

static int add_member(saf_listing* out, char* name, uint32_t size) {
  if (out->count == out->capacity) {
    const int cap = out->capacity ? out->capacity * 2 : 16;
    void* grown = check_realloc(out->members, static_cast<size_t>(cap) * sizeof(saf_member));
    if (!grown) return 0;
    out->members = static_cast<saf_member*>(grown);
    out->capacity = cap;
  }
  out->members[out->count].name = name;
  out->members[out->count].offset = 0;
  out->members[out->count].size = size;
  ++out->count;
  return 1;
}

int saf_read_header(FILE* file, const char* archive_name, saf_listing* out) {
  out->members = nullptr;
  out->count = out->capacity = 0;
  out->error[0] = 0;
  struct stat st;
  if (fstat(fileno(file), &st) != 0) {
    refuse(out, "Archive %.900s: can't tell its size", archive_name);
    return 0;
  }
  const uint64_t file_size = static_cast<uint64_t>(st.st_size);
  char line[saf_line_max + 1];
  uint64_t header_bytes = 0;
  for (;;) {
    const int len = read_header_line(file, line);
    if (len < 0) {
      refuse(out, "Archive %.900s: header line %d is too long or unterminated", archive_name, out->count + 1);
      return 0;
    }
    header_bytes += static_cast<uint64_t>(len);
    int end = len - 1;  // drop "\n", and "\r" before it
    if (end > 0 && line[end - 1] == '\r') --end;
    line[end] = 0;
    if (std::strcmp(line, "-") == 0) break;

    const char* p = line;
    while (*p == ' ' || *p == '\t' || *p == '\v' || *p == '\f' || *p == '\r') ++p;
    int negative = 0;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    uint64_t size = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9' && size <= 0xFFFFFFFFu) {
      size = size * 10 + static_cast<uint64_t>(*p++ - '0');
      ++digits;
    }
    if (!digits || !*p || !p[1]) {
      refuse(out, "Archive %.900s: bad header line '%.200s'", archive_name, line);
      return 0;
    }
    const char* path = p + 1;  // one separator byte of any value
    if ((negative && size) || size > 0x7FFFFFFFu || (*p >= '0' && *p <= '9')) {
      refuse(out, "Archive %.900s: member '%.200s' has an impossible size", archive_name, path);
      return 0;
    }
    char* name = static_cast<char*>(check_malloc(std::strlen(path) + 1));
    if (!name) {
      refuse(out, "Archive %.900s: out of memory", archive_name);
      return 0;
    }
    char* w = name;
    for (const char* r = path; *r; ++r)
      if (!(*r == '/' && w > name && w[-1] == '/')) *w++ = *r;
    *w = 0;
    if (!add_member(out, name, static_cast<uint32_t>(size))) {
      check_free(name);
      refuse(out, "Archive %.900s: out of memory", archive_name);
      return 0;
    }
  }
  uint64_t at = header_bytes;
  for (int i = 0; i < out->count; ++i) {
    saf_member* m = &out->members[i];
    if (at + m->size > file_size || at + m->size > 0x7FFFFFFFu) {
      refuse(out, "Archive %.900s: member '%.200s' runs past the end of the file", archive_name, m->name);
      return 0;
    }
    m->offset = static_cast<uint32_t>(at);
    at += m->size;
  }
  return 1;
}

int saf_write(const char* out_path, const char* const* names, const char* const* paths, int count) {
  FILE* out = std::fopen(out_path, "wb");
  if (!out) {
    std::fprintf(stderr, "Can't create '%s'\n", out_path);
    return 0;
  }
  int ok = 1;
  std::vector<long long> sizes(static_cast<size_t>(count > 0 ? count : 0));
  for (int i = 0; ok && i < count; ++i) {
    struct stat st;
    if (stat(paths[i], &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 0x7FFFFFFF) {
      std::fprintf(stderr, "Can't pack '%s'\n", paths[i]);
      ok = 0;
      break;
    }
    char line[saf_line_max + 2];
    const int n = std::snprintf(line, sizeof(line), "%lld %s\n", static_cast<long long>(st.st_size), names[i]);
    // A reader takes "\r\n" as a line end, so a name may not end in "\r".
    const size_t name_len = std::strlen(names[i]);
    if (n < 0 || n > saf_line_max || std::strchr(names[i], '\n') || name_len == 0 || names[i][name_len - 1] == '\r') {
      std::fprintf(stderr, "Member name '%s' can't be stored\n", names[i]);
      ok = 0;
      break;
    }
    sizes[static_cast<size_t>(i)] = static_cast<long long>(st.st_size);
    ok = std::fputs(line, out) >= 0;
  }
  if (ok) ok = std::fputs("-\n", out) >= 0;
  static char chunk[65536];
  for (int i = 0; ok && i < count; ++i) {
    FILE* in = std::fopen(paths[i], "rb");
    if (!in) {
      std::fprintf(stderr, "Can't read '%s'\n", paths[i]);
      ok = 0;
      break;
    }
    // The header promised sizes: a file that changed meanwhile spoils it.
    long long copied = 0;
    size_t n;
    while (ok && (n = std::fread(chunk, 1, sizeof(chunk), in)) > 0) {
      ok = std::fwrite(chunk, 1, n, out) == n;
      copied += static_cast<long long>(n);
    }
    if (std::ferror(in) || copied != sizes[static_cast<size_t>(i)]) ok = 0;
    std::fclose(in);
  }
  if (std::fclose(out) != 0) ok = 0;
  if (!ok) {
    std::fprintf(stderr, "Writing '%s' failed\n", out_path);
    std::remove(out_path);
  }
  return ok;
}
