// The ".saf" archive index, then every member through the stream its name
// asks for (plain, gzip, scrambled), as bkdata check reads them.
#include <cstdio>
#include <cstring>

#include "core/saf.h"
#include "core/stream.h"
#include "fuzz/fuzz_target.h"

static int ends_with(const char* name, const char* suffix) {
  const size_t n = std::strlen(name), m = std::strlen(suffix);
  return n >= m && std::strcmp(name + n - m, suffix) == 0;
}

BK_FUZZ_TARGET(archive) {
  const std::string path = fuzz_write("a.saf", data, size);
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 0;
  saf_listing listing;
  const int ok = saf_read_header(f, path.c_str(), &listing);
  std::fclose(f);
  if (!ok) return 0;
  for (int i = 0; i < listing.count; ++i) {
    const saf_member* m = &listing.members[i];
    const int gzip = ends_with(m->name, ".gz") || ends_with(m->name, ".gz.scram");
    const int scrambled = ends_with(m->name, ".scram");
    FILE* member = std::fopen(path.c_str(), "rb");
    if (!member || std::fseek(member, (long)m->offset, SEEK_SET) != 0) {
      if (member) std::fclose(member);
      continue;
    }
    stream s;
    if (!stream_attach(&s, member, m->offset, m->size, gzip, scrambled)) continue;
    unsigned char buffer[4096];
    uint64_t total = 0;
    for (uint32_t n; (n = stream_read(&s, buffer, sizeof buffer)) > 0;) total += n;
    if (total > m->size && !gzip) __builtin_trap();  // a member never reads past its end
    stream_close_file(&s);
  }
  saf_listing_free(&listing);
  return 1;
}
