// bkdata scramble: a plain file written in the scrambled form the readers
// accept, so tests can make the variants of stock files.
#include <cstdio>
#include <vector>

#include "core/scram.h"
#include "tools/bkdata/commands.h"

int bkdata_scramble(int argc, char** argv) {
  if (argc != 2) return bkdata_usage();
  std::FILE* in = std::fopen(argv[0], "rb");
  if (!in) {
    std::fprintf(stderr, "bkdata scramble: can't open '%s'\n", argv[0]);
    return 1;
  }
  std::vector<char> bytes;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(in);
  std::FILE* out = std::fopen(argv[1], "wb");
  if (!out) {
    std::fprintf(stderr, "bkdata scramble: can't write '%s'\n", argv[1]);
    return 1;
  }
  const int ok = scram_write(out, bytes.data(), bytes.size());
  if (std::fclose(out) != 0 || !ok) {
    std::fprintf(stderr, "bkdata scramble: error writing '%s'\n", argv[1]);
    return 1;
  }
  return 0;
}
