// bkdata pack DIR OUT.saf and bkdata list ARCHIVE.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "core/saf.h"
#include "tools/bkdata/commands.h"

namespace fs = std::filesystem;

// Members are the regular files below dir, named by their path inside it and
// stored in byte order of those names, so the same tree always gives the
// same archive.
int bkdata_pack(int argc, char** argv) {
  if (argc != 2) return bkdata_usage();
  const fs::path dir = argv[0];
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    std::fprintf(stderr, "bkdata pack: '%s' is not a folder\n", argv[0]);
    return 1;
  }
  const fs::path out = fs::absolute(argv[1], ec);
  std::vector<std::pair<std::string, std::string>> files;  // name, path
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code file_ec;
    if (!it->is_regular_file(file_ec)) continue;
    if (fs::equivalent(it->path(), out, file_ec)) continue;
    files.emplace_back(it->path().lexically_relative(dir).generic_string(), it->path().string());
  }
  if (ec) {
    std::fprintf(stderr, "bkdata pack: can't list '%s': %s\n", argv[0], ec.message().c_str());
    return 1;
  }
  std::sort(files.begin(), files.end());
  std::vector<const char*> names, paths;
  for (const auto& f : files) {
    names.push_back(f.first.c_str());
    paths.push_back(f.second.c_str());
  }
  return saf_write(argv[1], names.data(), paths.data(), static_cast<int>(files.size())) ? 0 : 1;
}

int bkdata_list(int argc, char** argv) {
  if (argc != 1) return bkdata_usage();
  FILE* f = std::fopen(argv[0], "rb");
  if (!f) {
    std::fprintf(stderr, "bkdata list: can't open '%s'\n", argv[0]);
    return 1;
  }
  saf_listing listing;
  const int ok = saf_read_header(f, argv[0], &listing);
  std::fclose(f);
  if (!ok) {
    std::fprintf(stderr, "bkdata list: %s\n", listing.error);
    return 1;
  }
  for (int i = 0; i < listing.count; ++i) std::printf("%u %s\n", listing.members[i].size, listing.members[i].name);
  saf_listing_free(&listing);
  return 0;
}
