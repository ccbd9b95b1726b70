#include "core/message_ring.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "core/console_settings.h"
#include "core/game_clock.h"
#include "platform/log.h"
#include "tools/testing/test_env.h"

namespace {

class MessageRingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test_log_begin();
    std::memset(&message_ring, 0x55, sizeof message_ring);
    message_ring.write_index = 0;
    message_ring.on_screen = 0;
    message_ring.expiry = 0;
    message_ring_clear();
    message_lines = 5;
    spam_filter = 1;
    game_clock = 0;
  }
  void TearDown() override {
    test_log_end();
    spam_filter = 1;
    message_lines = 5;
  }
  std::string log_text() {
    return test_log_text();
  }
};

TEST_F(MessageRingTest, ClearEmptiesEveryLine) {
  for (int k = 1; k <= message_ring_size; k++) ASSERT_STREQ(message_ring_line(k), "");
}

TEST_F(MessageRingTest, RingWrapsPast1000Lines) {
  for (int i = 1; i <= 1001; i++) console_printf("line %d", i);
  EXPECT_EQ(message_ring.write_index, 1);
  EXPECT_STREQ(message_ring.lines[0], "line 1001");
  EXPECT_STREQ(message_ring.lines[1], "line 2");
  EXPECT_STREQ(message_ring_line(1), "line 1001");
  EXPECT_STREQ(message_ring_line(2), "line 1000");
  EXPECT_STREQ(message_ring_line(1000), "line 2");
}

TEST_F(MessageRingTest, LongLineIsCutInTheRingButLoggedWhole) {
  const std::string text(300, 'x');
  console_print(text.c_str());
  EXPECT_EQ(std::strlen(message_ring_line(1)), 255u);
  EXPECT_EQ(std::string(message_ring_line(1)), text.substr(0, 255));
  // The formatting path must not cut it either.
  console_printf("%s!", std::string(2000, 'y').c_str());
  EXPECT_EQ(std::strlen(message_ring_line(1)), 255u);
  const std::string log = log_text();
  EXPECT_NE(log.find("] " + text + "\n"), std::string::npos);
  EXPECT_NE(log.find("] " + std::string(2000, 'y') + "!\n"), std::string::npos);
}

TEST_F(MessageRingTest, NewlinesAndColoursInTheLog) {
  console_print("ends in newline\n");
  console_print("no newline");
  console_print("\033[31mred");
  EXPECT_STREQ(message_ring_line(3), "ends in newline\n");
  EXPECT_STREQ(message_ring_line(1), "\033[31mred");
  const std::string log = log_text();
  EXPECT_NE(log.find("] ends in newline\n["), std::string::npos);
  EXPECT_NE(log.find("] no newline\n["), std::string::npos);
  EXPECT_NE(log.find("] \033[31mred\033[0m\n"), std::string::npos);
}

TEST_F(MessageRingTest, SpamFilterToggles) {
  console_print("[SPAM] Setup change ---");
  console_print("before [SPAM] after");
  EXPECT_EQ(message_ring.write_index, 0);
  EXPECT_EQ(message_ring.on_screen, 0);

  spam_filter = !spam_filter;  // what "togglespam" does
  console_print("[SPAM] shown now");
  EXPECT_EQ(message_ring.write_index, 1);
  EXPECT_STREQ(message_ring_line(1), "[SPAM] shown now");

  spam_filter = !spam_filter;
  console_print("[SPAM] hidden again");
  console_print("[spam] is not the marker");
  EXPECT_EQ(message_ring.write_index, 2);

  const std::string log = log_text();
  EXPECT_EQ(log.find("Setup change"), std::string::npos);
  EXPECT_EQ(log.find("before"), std::string::npos);
  EXPECT_EQ(log.find("hidden again"), std::string::npos);
  EXPECT_NE(log.find("[SPAM] shown now"), std::string::npos);
}

TEST_F(MessageRingTest, OnScreenLinesExpire) {
  game_clock = 10.0;
  for (int i = 0; i < 7; i++) console_print("burst");
  EXPECT_EQ(message_ring.on_screen, 5);

  struct {
    double now;
    int on_screen;
  } steps[] = {{11.0, 5}, {12.0, 5}, {12.01, 4}, {17.0, 4}, {17.02, 3}, {22.03, 2}, {27.04, 1}, {32.05, 0}, {99.0, 0}};
  for (const auto& s : steps) {
    game_clock = s.now;
    message_ring_expire();
    EXPECT_EQ(message_ring.on_screen, s.on_screen) << "at " << s.now;
  }

  // Lowering the setting stops growth but keeps what is shown.
  for (int i = 0; i < 4; i++) console_print("again");
  EXPECT_EQ(message_ring.on_screen, 4);
  message_lines = 2;
  console_print("more");
  EXPECT_EQ(message_ring.on_screen, 4);
  EXPECT_DOUBLE_EQ(message_ring.expiry, 99.0 + 2.0);
}

}  // namespace
