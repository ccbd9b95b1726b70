#include "core/file_replace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/file.h"
#include "core/message_ring.h"
#include "tools/testing/test_env.h"

namespace {

// A writer that takes at most `budget` bytes in all, then reports a full
// disk; fsync and close can be made to fail too.
long budget;
int fail_fsync;
int fail_close;

ssize_t limited_write(int fd, const void* bytes, size_t n) {
  if (budget <= 0) {
    errno = ENOSPC;
    return -1;
  }
  const size_t take = n < static_cast<size_t>(budget) ? n : static_cast<size_t>(budget);
  budget -= static_cast<long>(take);
  return ::write(fd, bytes, take);
}
int failing_fsync(int fd) {
  if (fail_fsync) {
    errno = EIO;
    return -1;
  }
  return ::fsync(fd);
}
int failing_close(int fd) {
  ::close(fd);
  if (fail_close) {
    errno = EIO;
    return -1;
  }
  return 0;
}

class FileReplaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    search_roots_free();
    home = search_root(0);
    std::filesystem::create_directories(home);
    std::filesystem::remove(home + "settings");
    std::filesystem::remove(home + "settings~");
    message_ring_clear();
  }
  void TearDown() override {
    file_replace_ops = {::write, ::fsync, ::close};
    budget = 0;
    fail_fsync = fail_close = 0;
  }
  std::string newest_line() { return message_ring_line(1); }
  std::string home;
};

TEST_F(FileReplaceTest, WritesNewFileAndKeepsOneBackup) {
  ASSERT_EQ(file_replace("@settings", "one\n", 4, 1), 1);
  EXPECT_EQ(test_read_file(home + "settings"), "one\n");
  EXPECT_FALSE(std::filesystem::exists(home + "settings~"));  // nothing to back up
  ASSERT_EQ(file_replace("@settings", "two\n", 4, 1), 1);
  ASSERT_EQ(file_replace("@settings", "three\n", 6, 1), 1);
  EXPECT_EQ(test_read_file(home + "settings"), "three\n");
  EXPECT_EQ(test_read_file(home + "settings~"), "two\n");
  ASSERT_EQ(file_replace("@settings", "four\n", 5, 0), 1);
  EXPECT_EQ(test_read_file(home + "settings~"), "two\n");
  for (auto& entry : std::filesystem::directory_iterator(home))
    EXPECT_EQ(entry.path().filename().string().find(".new"), std::string::npos) << entry.path();
}

TEST_F(FileReplaceTest, FailureAtAnyByteLeavesTheOldFileAndSaysWhy) {
  const std::string old_text = "old content\nsecond line\n";
  const std::string new_text = "a longer new content\nwith more lines\nthan before\n";
  {
    std::ofstream(home + "settings", std::ios::binary) << old_text;
    std::ofstream(home + "settings~", std::ios::binary) << "older";
  }
  file_replace_ops.write = limited_write;
  // Backup copy and new file both go through the writer: fail everywhere
  // in either.
  const long total = static_cast<long>(old_text.size() + new_text.size());
  for (long offset = 0; offset < total; ++offset) {
    budget = offset;
    message_ring_clear();
    EXPECT_EQ(file_replace("@settings", new_text.data(), new_text.size(), 1), 0) << offset;
    EXPECT_EQ(test_read_file(home + "settings"), old_text) << offset;
    const std::string backup = test_read_file(home + "settings~");
    EXPECT_TRUE(backup == "older" || backup == old_text) << offset;
    EXPECT_NE(newest_line().find("No space left on device"), std::string::npos) << newest_line();
    EXPECT_FALSE(std::filesystem::exists(home + "settings.new"));
    EXPECT_FALSE(std::filesystem::exists(home + "settings~.new"));
  }
  budget = total;
  EXPECT_EQ(file_replace("@settings", new_text.data(), new_text.size(), 1), 1);
  EXPECT_EQ(test_read_file(home + "settings"), new_text);
  EXPECT_EQ(test_read_file(home + "settings~"), old_text);
}

TEST_F(FileReplaceTest, FailedFlushOrCloseLeavesTheOldFile) {
  std::ofstream(home + "settings", std::ios::binary) << "kept\n";
  file_replace_ops = {::write, failing_fsync, failing_close};
  for (int which = 0; which < 2; ++which) {
    fail_fsync = which == 0;
    fail_close = which == 1;
    message_ring_clear();
    EXPECT_EQ(file_replace("@settings", "lost\n", 5, 0), 0);
    EXPECT_EQ(test_read_file(home + "settings"), "kept\n");
    EXPECT_NE(newest_line().find("Can't write settings: Input/output error"), std::string::npos)
        << newest_line();
    EXPECT_STREQ(file_replace_failure, "Can't write settings: Input/output error") << "kept for callers";
  }
}

TEST_F(FileReplaceTest, RefusesUnsafeNames) {
  EXPECT_EQ(file_replace("@../escape", "x", 1, 0), 0);
  EXPECT_NE(newest_line().find("Can't write ../escape"), std::string::npos) << newest_line();
}

}  // namespace
