#include "platform/log.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/testing/test_env.h"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream ss(text);
  std::string line;
  while (std::getline(ss, line)) out.push_back(line);
  return out;
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::string(test_root()) + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
    unsetenv("PAVO_LOGFILE");
    unsetenv("PAVO_LOGFILE_FLAGS");
    log_reset_for_tests();
  }
  void TearDown() override {
    log_reset_for_tests();
    unsetenv("PAVO_LOGFILE");
    unsetenv("PAVO_LOGFILE_FLAGS");
  }
  std::string path_;
};

TEST_F(LogTest, LinesCarryTimePrefixAndSetUpHeader) {
  setenv("PAVO_LOGFILE", path_.c_str(), 1);
  log_printf("hello %d\n", 42);
  log_printf("\x13hidden\n");
  log_close();
  log_printf("after close\n");
  const auto lines = lines_of(read_file(path_));
  ASSERT_EQ(lines.size(), 3u);
  const std::regex prefix(R"(^\[\d+:\d\d:\d\d\.\d\d\] (.*)$)");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, prefix));
  EXPECT_EQ(m[1], "Logfile \"" + path_ + "\" opened");
  ASSERT_TRUE(std::regex_match(lines[1], m, prefix));
  EXPECT_EQ(m[1], "PAVO 0.31");
  ASSERT_TRUE(std::regex_match(lines[2], m, prefix));
  EXPECT_EQ(m[1], "hello 42");
}

// Bytes from files and servers reach the log: it stays text.
TEST_F(LogTest, UnprintableBytesAreWrittenEscaped) {
  setenv("PAVO_LOGFILE", path_.c_str(), 1);
  log_printf("Unknown identifier '%s'\n", "\xc2");
  log_printf("server says %s|\n", "\x1b[2J\x07\r\x7f tab\tok \x1b[31mred\x1b[0m");
  log_printf("%s\n", std::string(3000, '\x01').c_str());
  log_close();
  const std::string text = read_file(path_);
  EXPECT_NE(text.find("Unknown identifier '\\xc2'\n"), std::string::npos) << text;
  EXPECT_NE(text.find("server says \\x1b[2J\\x07\\x0d\\x7f tab\tok \x1b[31mred\x1b[0m|\n"), std::string::npos) << text;
  std::string long_line;
  for (int i = 0; i < 3000; i++) long_line += "\\x01";
  EXPECT_NE(text.find(long_line + "\n"), std::string::npos) << "long lines escaped whole";
}

TEST_F(LogTest, AppendAndTruncatePrefixes) {
  {
    std::ofstream(path_) << "old line\n";
  }
  setenv("PAVO_LOGFILE", (">>" + path_).c_str(), 1);
  log_printf("one\n");
  log_reset_for_tests();
  log_printf("two\n");
  log_reset_for_tests();
  std::string text = read_file(path_);
  EXPECT_EQ(text.rfind("old line\n", 0), 0u);
  EXPECT_NE(text.find("one\n"), std::string::npos);
  EXPECT_NE(text.find("two\n"), std::string::npos);

  setenv("PAVO_LOGFILE", (">" + path_).c_str(), 1);
  log_printf("three\n");
  log_reset_for_tests();
  text = read_file(path_);
  EXPECT_EQ(text.find("old line"), std::string::npos);
  EXPECT_EQ(text.find("one\n"), std::string::npos);
  EXPECT_NE(text.find("three\n"), std::string::npos);
}

TEST_F(LogTest, FlagsOverrideMode) {
  {
    std::ofstream(path_) << "kept\n";
  }
  setenv("PAVO_LOGFILE", (">" + path_).c_str(), 1);
  setenv("PAVO_LOGFILE_FLAGS", "a", 1);
  log_printf("added\n");
  log_reset_for_tests();
  const std::string text = read_file(path_);
  EXPECT_EQ(text.rfind("kept\n", 0), 0u);
  EXPECT_NE(text.find("added\n"), std::string::npos);
}

TEST_F(LogTest, SetUpMessageOpensItsFileAndIsNotWritten) {
  log_printf("PAVO_LOGFILE=%s", path_.c_str());
  log_printf("next\n");
  log_reset_for_tests();
  const std::string text = read_file(path_);
  EXPECT_EQ(text.find("PAVO_LOGFILE="), std::string::npos);
  EXPECT_NE(text.find("next\n"), std::string::npos);
}

TEST_F(LogTest, EnvironmentWinsOverSetUpMessage) {
  const std::string other = path_ + ".other";
  setenv("PAVO_LOGFILE", path_.c_str(), 1);
  log_printf("PAVO_LOGFILE=%s", other.c_str());
  log_printf("next\n");
  log_reset_for_tests();
  EXPECT_NE(read_file(path_).find("next\n"), std::string::npos);
  EXPECT_FALSE(std::ifstream(other).good());
}

TEST_F(LogTest, UnopenableFileDropsMessagesQuietly) {
  setenv("PAVO_LOGFILE", (std::string(test_root()) + "/no/such/dir/x.log").c_str(), 1);
  EXPECT_EQ(log_printf("dropped\n"), 0);
  log_error("boom");
  EXPECT_STREQ(log_last_error(), "boom");
}

TEST_F(LogTest, LastErrorStartsUnknownAndIsLogged) {
  setenv("PAVO_LOGFILE", path_.c_str(), 1);
  EXPECT_STREQ(log_last_error(), "Unknown");
  log_error("disk on fire");
  EXPECT_STREQ(log_last_error(), "disk on fire");
  log_close();
  EXPECT_NE(read_file(path_).find("] Error: disk on fire\n"), std::string::npos);
}

TEST_F(LogTest, ThreadsDoNotInterleaveWithinALine) {
  setenv("PAVO_LOGFILE", path_.c_str(), 1);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) log_printf("thread %d line %d %s\n", t, i, "abcdefghijklmnopqrstuvwxyz");
    });
  }
  for (auto& th : threads) th.join();
  log_close();
  const auto lines = lines_of(read_file(path_));
  ASSERT_EQ(lines.size(), 2u + 800u);
  const std::regex shape(R"(^\[\d+:\d\d:\d\d\.\d\d\] thread \d line \d+ abcdefghijklmnopqrstuvwxyz$)");
  for (size_t i = 2; i < lines.size(); ++i) ASSERT_TRUE(std::regex_match(lines[i], shape)) << lines[i];
}

}  // namespace
