#include "platform/options.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/log.h"
#include "tools/testing/test_env.h"

namespace {

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test_log_begin();
  }
  void TearDown() override {
    options_set_string(nullptr);
    test_log_end();
    unsetenv("PAVO_OPTIONS");
  }
  std::string logged() {
    return test_log_text();
  }
};

TEST_F(OptionsTest, BoolValues) {
  struct Case {
    const char* options;
    int fallback;
    int expected;
  } cases[] = {
      {"", 1, 1},
      {"[dsnd:no]", 1, 0},
      {"[dsnd:off]", 1, 0},
      {"[dsnd:yes]", 0, 1},
      {"[dsnd:on]", 0, 1},
      {"[mydsnd:no]", 1, 1},            // the bracket is part of the key
      {"[threaded:yes][dsnd:no]", 1, 0},
      {"dsnd:no", 1, 1},                // no bracket, no key
      {"[dsnd:no", 1, 1},               // value must close with a bracket
  };
  for (const Case& c : cases) {
    options_set_string(c.options);
    EXPECT_EQ(option_bool("dsnd", c.fallback), c.expected) << c.options;
  }
}

TEST_F(OptionsTest, BadBoolIsLoggedAndDefaultKept) {
  options_set_string("[dsnd:maybe]");
  EXPECT_EQ(option_bool("dsnd", 1), 1);
  EXPECT_NE(logged().find("unrecognized setting for dsnd\n"), std::string::npos);
}

TEST_F(OptionsTest, IntValues) {
  struct Case {
    const char* options;
    int expected;
  } cases[] = {
      {"", 22050},
      {"[sound-rate:44100]", 44100},
      {"[sound-rate:11025xyz]", 11025},   // text after the number is ignored
      {"[sound-rate:-5]", -5},
      {"[sound-rate:]", 22050},
      {"[sound-rate:fast]", 22050},
      {"[sound-rate:99999999999]", 22050},  // would wrap
  };
  for (const Case& c : cases) {
    options_set_string(c.options);
    EXPECT_EQ(option_int("sound-rate", 22050), c.expected) << c.options;
  }
}

TEST_F(OptionsTest, IntWithoutDigitsIsLogged) {
  options_set_string("[sound-rate:]");
  EXPECT_EQ(option_int("sound-rate", 22050), 22050);
  EXPECT_NE(logged().find("unrecognized setting for sound-rate\n"), std::string::npos);
}

TEST_F(OptionsTest, ReadsEnvironmentOnce) {
  setenv("PAVO_OPTIONS", "[threaded:yes]", 1);
  options_set_string(nullptr);
  EXPECT_EQ(option_bool("threaded", 0), 1);
  setenv("PAVO_OPTIONS", "[threaded:no]", 1);
  EXPECT_EQ(option_bool("threaded", 0), 1);
}

}  // namespace
