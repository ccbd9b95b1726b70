#include "core/scram.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/log.h"
#include "tools/testing/test_env.h"

namespace {

std::vector<uint8_t> sample(size_t n) {
  std::vector<uint8_t> data(n);
  for (size_t i = 0; i < n; i++) data[i] = static_cast<uint8_t>(i * 131 + (i >> 8) * 7 + 1);
  return data;
}

std::vector<uint8_t> scramble(const std::vector<uint8_t>& plain) {
  FILE* f = std::tmpfile();
  EXPECT_EQ(scram_write(f, plain.data(), plain.size()), 1);
  std::vector<uint8_t> bytes(static_cast<size_t>(std::ftell(f)));
  std::rewind(f);
  EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
  std::fclose(f);
  return bytes;
}

// A FILE holding `bytes`, positioned at the start.
FILE* file_of(const std::vector<uint8_t>& bytes) {
  FILE* f = std::tmpfile();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  return f;
}

class ScramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test_log_begin();
  }
  void TearDown() override { test_log_end(); }
  std::string log_text() {
    return test_log_text();
  }
  // Opens `bytes` as scrambled data and expects a refusal.
  void expect_refused(const std::vector<uint8_t>& bytes, uint64_t size) {
    FILE* f = file_of(bytes);
    EXPECT_EQ(scram_open(f, size), nullptr);
    std::fclose(f);
  }
};

TEST_F(ScramTest, RoundTripsByteExact) {
  for (size_t n : {0u, 1u, 15u, 16u, 17u, 32u, 4099u}) {
    const std::vector<uint8_t> plain = sample(n);
    const std::vector<uint8_t> bytes = scramble(plain);
    ASSERT_EQ(bytes.size(), scram_size(n)) << n;
    EXPECT_EQ(bytes.size(), 64 + (n + 15) / 16 * 16);
    // The plain bytes must not show through.
    if (n >= 16) {
      EXPECT_EQ(std::search(bytes.begin(), bytes.end(), plain.begin(), plain.begin() + 16), bytes.end());
    }

    // One read of everything, and reads of 5, 40 and the rest.
    for (int pieces = 0; pieces < 2; pieces++) {
      FILE* f = file_of(bytes);
      scram_reader* r = scram_open(f, bytes.size());
      ASSERT_NE(r, nullptr) << n;
      EXPECT_EQ(r->length, n);
      std::vector<uint8_t> got(n + 100, 0xEE);
      size_t total = 0;
      if (pieces) {
        total += scram_read(r, got.data(), 5);
        total += scram_read(r, got.data() + total, 40);
      }
      total += scram_read(r, got.data() + total, got.size() - total);
      EXPECT_EQ(total, n) << n;
      EXPECT_TRUE(std::equal(plain.begin(), plain.end(), got.begin())) << n << " pieces " << pieces;
      EXPECT_EQ(got[n], 0xEE);  // nothing delivered past the end
      EXPECT_EQ(scram_read(r, got.data(), 10), 0u);
      scram_close(r);
      std::fclose(f);
    }
  }
}

TEST_F(ScramTest, WriterIsDeterministicAndKeysDifferPerContent) {
  const std::vector<uint8_t> a = sample(100);
  std::vector<uint8_t> b = a;
  b[99] ^= 1;
  EXPECT_EQ(scramble(a), scramble(a));
  const std::vector<uint8_t> sa = scramble(a), sb = scramble(b);
  EXPECT_NE(std::memcmp(sa.data() + 64, sb.data() + 64, 16), 0);
}

TEST_F(ScramTest, ShortHeaderIsRefused) {
  const std::vector<uint8_t> bytes = scramble(sample(40));
  testing::internal::CaptureStderr();
  expect_refused(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 63), 63);
  expect_refused({}, 0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("fread error", 0), 0u) << err;
  EXPECT_NE(log_text().find("Scrambled file shorter than its header\n"), std::string::npos);
}

TEST_F(ScramTest, DamagedHeaderIsRefused) {
  const std::vector<uint8_t> bytes = scramble(sample(40));
  for (size_t at : {0u, 17u, 33u, 40u, 47u, 63u}) {
    std::vector<uint8_t> damaged = bytes;
    damaged[at] ^= 0x10;
    expect_refused(damaged, damaged.size());
  }
  // A header from a plain file.
  expect_refused(std::vector<uint8_t>(200, 'x'), 200);
  const std::string log = log_text();
  size_t count = 0;
  for (size_t at = log.find("Scrambled file has a damaged header"); at != std::string::npos;
       at = log.find("Scrambled file has a damaged header", at + 1))
    count++;
  EXPECT_EQ(count, 7u);
}

TEST_F(ScramTest, LengthBeyondTheDataIsRefused) {
  const std::vector<uint8_t> bytes = scramble(sample(100));
  // A whole file cut short.
  expect_refused(std::vector<uint8_t>(bytes.begin(), bytes.end() - 1), bytes.size() - 1);
  // An archive member followed by the next member: the size given bounds the
  // read, not the end of the file.
  std::vector<uint8_t> archive(bytes.begin(), bytes.end() - 16);
  archive.insert(archive.end(), 64, 0);
  expect_refused(archive, bytes.size() - 16);
  EXPECT_NE(log_text().find("Scrambled file claims 100 bytes but holds only 96\n"), std::string::npos);
}

TEST_F(ScramTest, MemberInsideALargerFileReadsOnlyItself) {
  const std::vector<uint8_t> plain = sample(33);
  std::vector<uint8_t> archive(10, 'h');
  const std::vector<uint8_t> member = scramble(plain);
  archive.insert(archive.end(), member.begin(), member.end());
  archive.insert(archive.end(), 50, 'n');
  FILE* f = file_of(archive);
  std::fseek(f, 10, SEEK_SET);
  scram_reader* r = scram_open(f, member.size());
  ASSERT_NE(r, nullptr);
  std::vector<uint8_t> got(100);
  EXPECT_EQ(scram_read(r, got.data(), got.size()), 33u);
  EXPECT_EQ(std::memcmp(got.data(), plain.data(), 33), 0);
  EXPECT_EQ(std::ftell(f), static_cast<long>(10 + member.size()));
  scram_close(r);
  std::fclose(f);
}

TEST_F(ScramTest, FileThatShrinksAfterOpeningStopsShort) {
  // The size check passes, then the data is not there: reads end early
  // without reading garbage.
  const std::vector<uint8_t> bytes = scramble(sample(100));
  FILE* f = file_of(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 64 + 32 + 5));
  scram_reader* r = scram_open(f, bytes.size());
  ASSERT_NE(r, nullptr);
  std::vector<uint8_t> got(100);
  EXPECT_EQ(scram_read(r, got.data(), 100), 32u);
  EXPECT_EQ(scram_read(r, got.data(), 100), 0u);
  scram_close(r);
  std::fclose(f);
}

int g_hook_calls = 0;
void count_hook(scram_reader*) { g_hook_calls++; }

TEST_F(ScramTest, OpenHookRunsOncePerAcceptedFile) {
  void (*saved)(scram_reader*) = scram_open_hook;
  scram_open_hook = count_hook;
  const std::vector<uint8_t> bytes = scramble(sample(20));
  FILE* f = file_of(bytes);
  scram_reader* r = scram_open(f, bytes.size());
  ASSERT_NE(r, nullptr);
  scram_close(r);
  std::fclose(f);
  std::vector<uint8_t> damaged = bytes;
  damaged[5] ^= 1;
  expect_refused(damaged, damaged.size());
  scram_open_hook = saved;
  EXPECT_EQ(g_hook_calls, 1);
}

}  // namespace
