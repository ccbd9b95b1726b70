#include "platform/error_box.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "tools/testing/test_env.h"

namespace {

// The test entry point sets BK_ERROR_BOX=0, so no box waits for an answer
// even with a display and a terminal.
TEST(ErrorBox, WritesTitleAndTextToStderrAndTheLog) {
  const std::string path = std::string(test_root()) + "/error_box.log";
  setenv("PAVO_LOGFILE", path.c_str(), 1);
  log_reset_for_tests();
  ::testing::internal::CaptureStderr();
  error_box("Problem starting Brakkan", "Can't find game data\n");
  error_box("Title", "%d%%", 50);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Problem starting Brakkan: Can't find game data\nTitle: 50%\n");
  log_close();
  const std::string log = test_read_file(path);
  EXPECT_NE(log.find("] Problem starting Brakkan: Can't find game data\n"), std::string::npos);
  EXPECT_NE(log.find("] Title: 50%\n"), std::string::npos);
  log_reset_for_tests();
  unsetenv("PAVO_LOGFILE");
}

TEST(ErrorBox, TextIsCutAt1023Characters) {
  const std::string long_text(3000, 'x');
  ::testing::internal::CaptureStderr();
  error_box("T", "%s", long_text.c_str());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "T: " + std::string(1023, 'x') + "\n");
}

}  // namespace
