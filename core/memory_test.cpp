#include "core/memory.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/log.h"
#include "tools/testing/test_env.h"

#if defined(__SANITIZE_ADDRESS__)
// xmalloc's failure path needs malloc to return null for an impossible size
// rather than stop the process.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif

namespace {

class MemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("BK_CHECK_ALLOC");
    check_reset_for_tests();
  }
  void TearDown() override {
    check_set_release_for_tests(nullptr);
    unsetenv("BK_CHECK_ALLOC");
    check_reset_for_tests();
  }
  void track() {
    setenv("BK_CHECK_ALLOC", "1", 1);
    check_reset_for_tests();
  }
};

TEST_F(MemoryTest, TrackingFollowsTheEnvironment) {
  struct {
    const char* value;
    int tracking;
  } cases[] = {{nullptr, 0}, {"0", 0}, {"-3", 0}, {"", 0}, {"abc", 0}, {"1", 1}, {"7", 1}};
  for (const auto& c : cases) {
    if (c.value)
      setenv("BK_CHECK_ALLOC", c.value, 1);
    else
      unsetenv("BK_CHECK_ALLOC");
    check_reset_for_tests();
    EXPECT_EQ(check_tracking_state(), -1);
    void* p = check_malloc(8);
    EXPECT_EQ(check_tracking_state(), c.tracking) << (c.value ? c.value : "unset");
    EXPECT_EQ(check_live_count(), c.tracking ? 1u : 0u);
    check_free(p);
    EXPECT_EQ(check_live_count(), 0u);
  }
}

TEST_F(MemoryTest, DoubleFreeIsReportedOnceAndFreesOnce) {
  track();
  void* p = check_malloc(32);
  testing::internal::CaptureStderr();
  check_free(p);
  check_free(p);
  check_free(nullptr);
  const std::string err = testing::internal::GetCapturedStderr();
  char expected[64];
  std::snprintf(expected, sizeof expected, "Allocation not found for %p!\n", p);
  EXPECT_EQ(err, expected);
}

std::vector<unsigned char> g_seen;
void look_then_free(void* p) {
  const unsigned char* b = static_cast<const unsigned char*>(p);
  g_seen.assign(b, b + 100);
  std::free(p);
}

TEST_F(MemoryTest, FreedBlockIsWipedBeforeRelease) {
  track();
  check_set_release_for_tests(look_then_free);
  void* p = check_malloc(100);
  std::memset(p, 0xAB, 100);
  check_free(p);
  ASSERT_EQ(g_seen.size(), 100u);
  for (unsigned char c : g_seen) ASSERT_EQ(c, 0);
}

TEST_F(MemoryTest, ReallocMovesTheEntryAndRefusesUnknownPointers) {
  track();
  void* a = check_malloc(16);
  void* b = check_malloc(16);
  std::memset(b, 7, 16);
  void* grown = check_realloc(b, 4096);
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(static_cast<unsigned char*>(grown)[15], 7);
  EXPECT_EQ(check_live_count(), 2u);

  // A block the table never saw is reported and left alone.
  void* stranger = std::malloc(16);
  std::memset(stranger, 9, 16);
  testing::internal::CaptureStderr();
  EXPECT_EQ(check_realloc(stranger, 64), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Allocation not found for"), std::string::npos);
  EXPECT_EQ(static_cast<unsigned char*>(stranger)[15], 9);
  std::free(stranger);

  // Oldest first, each with the serial it got when recorded.
  testing::internal::CaptureStderr();
  check_print_allocations();
  char expected[128];
  std::snprintf(expected, sizeof expected, "%p:0\n%p:2\n", a, grown);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);

  void* fresh = check_realloc(nullptr, 10);
  EXPECT_EQ(check_live_count(), 3u);
  check_free(fresh);
  check_free(grown);
  check_free(a);
  testing::internal::CaptureStderr();
  check_print_allocations();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(MemoryTest, ReallocToZeroKeepsABlock) {
  for (int tracked = 0; tracked < 2; tracked++) {
    if (tracked) track();
    void* p = check_malloc(16);
    void* q = check_realloc(p, 0);
    ASSERT_NE(q, nullptr);
    check_free(q);
    EXPECT_EQ(check_live_count(), 0u);
  }
}

TEST_F(MemoryTest, FullTableSwitchesTrackingOffAndForgetsItsEntries) {
  track();
  std::vector<void*> blocks;
  blocks.reserve(check_table_capacity + 1);
  for (int i = 0; i < check_table_capacity; i++) blocks.push_back(check_malloc(1));
  EXPECT_EQ(check_live_count(), static_cast<uint32_t>(check_table_capacity));
  testing::internal::CaptureStderr();
  blocks.push_back(check_malloc(1));
  EXPECT_EQ(check_tracking_state(), 0);
  for (void* p : blocks) check_free(p);
  check_print_allocations();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Too many allocations to check!\n");
  EXPECT_EQ(check_live_count(), 0u);
}

int g_order = 0;
void close_audio() { std::fprintf(stderr, "audio closed %d\n", ++g_order); }
void close_window() { std::fprintf(stderr, "window closed %d\n", ++g_order); }
void box(const char* title, const char* text) { std::fprintf(stderr, "box %s: %s\n", title, text); }

TEST_F(MemoryTest, XmallocFailureClosesAudioThenWindowAndExits1) {
  volatile size_t huge = SIZE_MAX - 4096;
  EXPECT_EXIT(
      {
        oom_close_audio_hook = close_audio;
        oom_close_window_hook = close_window;
        oom_error_box_hook = box;
        xmalloc(huge);
      },
      testing::ExitedWithCode(1), "audio closed 1\nwindow closed 2\nbox Error: Out of virtual memory");
  // Without hooks the message still reaches the user.
  EXPECT_EXIT(xmalloc(huge), testing::ExitedWithCode(1), "Out of virtual memory");
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(WorkingSet, RangeFollowsPhysicalMemory) {
  struct {
    uint64_t total;
    int ok;
    uint32_t minimum, maximum;
  } cases[] = {
      {67108863u, 0, 0, 0},
      {67108864u, 1, 33554432u, 33554432u},
      {536870912u, 1, 503316480u, 503316480u},
      {2147483648u, 1, 1073741824u, 2113929216u},
      {17179869184ull, 1, 1073741824u, 2113929216u},  // 16 GiB: no 32-bit wrap
  };
  for (const auto& c : cases) {
    uint32_t minimum = 0, maximum = 0;
    EXPECT_EQ(working_set_range(c.total, &minimum, &maximum), c.ok) << c.total;
    EXPECT_EQ(minimum, c.minimum) << c.total;
    EXPECT_EQ(maximum, c.maximum) << c.total;
  }

  const std::string path = std::string(test_root()) + "/working_set.log";
  setenv("PAVO_LOGFILE", path.c_str(), 1);
  log_reset_for_tests();
  tune_working_set_for(1u << 20);
  tune_working_set_for(17179869184ull);
  tune_working_set();
  log_reset_for_tests();
  unsetenv("PAVO_LOGFILE");
  const std::string log = read_file(path);
  EXPECT_NE(log.find("] Working set left alone - less than 64 MB physical memory\n"), std::string::npos);
  EXPECT_NE(log.find("] Setting working set range to 1073741824 - 2113929216\n"), std::string::npos);
  EXPECT_NE(log.find("] Working set update skipped - not available on this system\n"), std::string::npos);
  EXPECT_NE(log.find("] Priority set to high skipped - not available on this system\n"), std::string::npos);
}

}  // namespace
