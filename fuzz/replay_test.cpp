// Replays the kept fuzz inputs (fuzz/regressions/<target>/) through their
// targets in the ordinary build, so every compiler and sanitizer checks
// them. Inputs named "refused-*" must be refused with a line in the log,
// "accepted-*" ones accepted; the others need only to pass without a fault. Under AddressSanitizer no
// block above 64 MiB may be asked for: these inputs are small, and a
// reader that sizes a buffer from a header alone would.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_target.h"
#include "tools/testing/test_env.h"

extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=0:max_allocation_size_mb=64";
}

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputs_of(const char* target) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(BK_FUZZ_REGRESSIONS) / target, ec))
    if (entry.is_regular_file()) out.push_back(entry.path());
  std::sort(out.begin(), out.end());
  return out;
}

fuzz_target_fn find_target(const char* name) {
  for (int i = 0; i < fuzz_target_count(); i++)
    if (!std::strcmp(fuzz_target_name(i), name)) return fuzz_target_at(i);
  return nullptr;
}

void replay(const char* target) {
  // The targets' files go into this run's own folder, removed with it.
  setenv("TMPDIR", test_root(), 1);
  const fuzz_target_fn fn = find_target(target);
  ASSERT_NE(fn, nullptr) << target;
  for (const fs::path& path : inputs_of(target)) {
    SCOPED_TRACE(path.string());
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    test_log_begin();
    const int accepted = fn(bytes.data(), bytes.size());
    const std::string log = test_log_text();
    test_log_end();
    if (path.filename().string().rfind("refused-", 0) == 0) {
      EXPECT_EQ(accepted, 0);
      // A refusal always says why: the log holds more than its two
      // opening lines.
      EXPECT_GE(std::count(log.begin(), log.end(), '\n'), 3) << log;
    } else if (path.filename().string().rfind("accepted-", 0) == 0) {
      EXPECT_EQ(accepted, 1) << log;
    }
  }
}

// One test a target, so a failure names its reader.
const char* const replayed[] = {"anim",      "archive", "bike_setup", "config",  "decals",   "gzip",
                                "model",     "png",     "pnm",        "raw",     "scanner",  "scrambled",
                                "shape",     "terrain", "tileinfo",   "rut_message", "track_files", "engine_sound", "demo", "script", "net_packet", "net_items", "lines", "camera_keys", "series", "edinfo"};

TEST(FuzzReplay, EveryTargetIsReplayed) {
  const std::set<std::string> listed(std::begin(replayed), std::end(replayed));
  for (int i = 0; i < fuzz_target_count(); i++) EXPECT_EQ(listed.count(fuzz_target_name(i)), 1u) << fuzz_target_name(i);
  EXPECT_EQ(static_cast<size_t>(fuzz_target_count()), listed.size());
}

#define REPLAY(target) \
  TEST(FuzzReplay, target) { replay(#target); }
REPLAY(anim)
REPLAY(archive)
REPLAY(bike_setup)
REPLAY(config)
REPLAY(decals)
REPLAY(gzip)
REPLAY(model)
REPLAY(png)
REPLAY(pnm)
REPLAY(raw)
REPLAY(scanner)
REPLAY(scrambled)
REPLAY(shape)
REPLAY(terrain)
REPLAY(tileinfo)
REPLAY(rut_message)
REPLAY(track_files)
REPLAY(engine_sound)
REPLAY(net_packet)
REPLAY(net_items)
REPLAY(lines)
REPLAY(demo)
REPLAY(script)
REPLAY(camera_keys)
REPLAY(series)
REPLAY(edinfo)

}  // namespace
