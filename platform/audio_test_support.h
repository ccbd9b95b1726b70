#pragma once
// Shared set-up of the audio tests: each test gets its own log file, its own
// platform options and an SDL audio backend chosen in-process.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "platform/log.h"
#include "platform/options.h"
#include "tools/testing/test_env.h"

// How long the tests wait for the audio thread before calling it hung: a
// machine loaded with other work may starve the thread for seconds.
constexpr int audio_hang_ms = 60000;

class AudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    log_path_ = std::string(test_root()) + "/" + name + ".log";
    out_path_ = std::string(test_root()) + "/" + name + ".raw";
    setenv("PAVO_LOGFILE", log_path_.c_str(), 1);
    log_reset_for_tests();
    options_set_string("");
    use_backend("dummy");
  }
  void TearDown() override {
    EXPECT_EQ(audio_current_driver, nullptr) << "a test left audio open";
    log_reset_for_tests();
    unsetenv("PAVO_LOGFILE");
    options_set_string("");
  }

  // Read by SDL when the audio subsystem starts, which the drivers do at open.
  void use_backend(const char* name) {
    setenv("SDL_AUDIODRIVER", name, 1);
    setenv("SDL_DISKAUDIOFILE", out_path_.c_str(), 1);
  }

  std::string log_text() const {
    std::ifstream in(log_path_);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  // The log's lines without their time prefix.
  std::vector<std::string> log_lines() const {
    std::vector<std::string> out;
    std::stringstream ss(log_text());
    std::string line;
    while (std::getline(ss, line)) {
      const size_t at = line.find("] ");
      out.push_back(at == std::string::npos ? line : line.substr(at + 2));
    }
    return out;
  }

  bool log_has(const std::string& line) const {
    for (const std::string& l : log_lines())
      if (l == line) return true;
    return false;
  }

  bool wait_for_log(const std::string& prefix, int ms) const {
    for (int waited = 0; waited <= ms; waited += 20) {
      for (const std::string& l : log_lines())
        if (l.compare(0, prefix.size(), prefix) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  std::vector<uint8_t> device_output() const {
    std::ifstream in(out_path_, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::string log_path_;
  std::string out_path_;
};
