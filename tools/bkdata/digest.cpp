// bkdata digest FILE: the RIPEMD-160 of a file as the game writes it.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/rmd160.h"
#include "tools/bkdata/commands.h"

int bkdata_digest(int argc, char** argv) {
  if (argc != 1) return bkdata_usage();
  FILE* file = std::fopen(argv[0], "rb");
  if (!file) {
    std::fprintf(stderr, "bkdata digest: can't open '%s': %s\n", argv[0], std::strerror(errno));
    return 1;
  }
  rmd160_context context;
  rmd160_init(&context);
  static unsigned char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) rmd160_update(&context, buffer, n);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    std::fprintf(stderr, "bkdata digest: can't read '%s'\n", argv[0]);
    return 1;
  }
  rmd160_final(&context);
  char hex[digest_hex_chars + 1];
  digest_to_hex(context.digest, hex);
  std::printf("%s\n", hex);
  return 0;
}
