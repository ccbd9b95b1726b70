#pragma once
// One libFuzzer target per reader. A target is written once with
// BK_FUZZ_TARGET(name) and built two ways: alone with libFuzzer's main (the
// clang fuzz build, BK_FUZZ_MAIN defined), and registered by name in the
// replay test, which feeds it the inputs of fuzz/regressions/<name>/ in the
// normal build.
//
// A target returns 1 when the reader accepted the input and 0 when it
// refused it; libFuzzer itself is always told 0.
#include <cstddef>
#include <cstdint>
#include <string>

typedef int (*fuzz_target_fn)(const uint8_t* data, size_t size);

// Records a target for the replay test; returns its number.
int fuzz_register(const char* name, fuzz_target_fn fn);
// How many are registered, and the name and function of target i.
int fuzz_target_count();
const char* fuzz_target_name(int i);
fuzz_target_fn fuzz_target_at(int i);

// A folder of this process's own for the files a target writes, created on
// first use and emptied by fuzz_clear_scratch.
const char* fuzz_scratch();
void fuzz_clear_scratch();
// Writes bytes to scratch/name and returns the path.
std::string fuzz_write(const char* name, const uint8_t* data, size_t size);

#ifdef BK_FUZZ_MAIN
#define BK_FUZZ_ENTRY(name)                                                    \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { \
    bk_fuzz_##name(data, size);                                               \
    return 0;                                                                 \
  }
#else
#define BK_FUZZ_ENTRY(name) static const int bk_fuzz_registered_##name = fuzz_register(#name, bk_fuzz_##name);
#endif

#define BK_FUZZ_TARGET(name)                                 \
  static int bk_fuzz_##name(const uint8_t* data, size_t size); \
  BK_FUZZ_ENTRY(name)                                        \
  static int bk_fuzz_##name(const uint8_t* data, size_t size)
