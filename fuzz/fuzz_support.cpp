// The scratch folder the targets write their inputs into, and the table of
// targets the replay test walks.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "fuzz/fuzz_target.h"

namespace {

struct registered_target {
  const char* name;
  fuzz_target_fn fn;
};

enum { max_targets = 64 };
registered_target targets[max_targets];
int target_count;

std::string scratch;

void remove_scratch() {
  std::error_code ec;
  if (!scratch.empty()) std::filesystem::remove_all(scratch, ec);
}

}  // namespace

int fuzz_register(const char* name, fuzz_target_fn fn) {
  if (target_count == max_targets) {
    std::fprintf(stderr, "fuzz: more than %d targets\n", (int)max_targets);
    std::abort();
  }
  targets[target_count] = {name, fn};
  return target_count++;
}

int fuzz_target_count() { return target_count; }
const char* fuzz_target_name(int i) { return targets[i].name; }
fuzz_target_fn fuzz_target_at(int i) { return targets[i].fn; }

const char* fuzz_scratch() {
  if (scratch.empty()) {
    // Memory-backed when there is one: targets write a file per input.
    const char* base = std::getenv("TMPDIR");
    if (!base || !*base) base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string templ = std::string(base) + "/bk_fuzz_XXXXXX";
    if (!mkdtemp(&templ[0])) {
      std::perror("fuzz: mkdtemp");
      std::abort();
    }
    scratch = templ;
    std::atexit(remove_scratch);
  }
  return scratch.c_str();
}

void fuzz_clear_scratch() {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(fuzz_scratch(), ec))
    std::filesystem::remove_all(entry.path(), ec);
}

std::string fuzz_write(const char* name, const uint8_t* data, size_t size) {
  const std::string path = std::string(fuzz_scratch()) + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
    std::perror(("fuzz: can't write " + path).c_str());
    std::abort();
  }
  return path;
}
