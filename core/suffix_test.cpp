#include "core/suffix.h"

#include <gtest/gtest.h>

#include "core/memory.h"

namespace {

TEST(ReplaceSuffix, Cases) {
  struct {
    const char* text;
    const char* suffix;
    const char* replacement;
    const char* result;  // null: no match
  } cases[] = {
      {"grass.png", ".png", ".info", "grass.info"},
      {"a.png.png", ".png", ".jm", "a.png.jm"},  // only the last occurrence
      {"x.png", ".png", "", "x"},
      {".png", ".png", ".gz", ".gz"},
      {"file", "", ".scram", "file.scram"},
      {"grass.PNG", ".png", ".info", nullptr},
      {"png", ".png", ".info", nullptr},
      {"grass.png.bak", ".png", ".info", nullptr},
  };
  for (const auto& c : cases) {
    char* out = replace_suffix(c.text, c.suffix, c.replacement);
    if (c.result) {
      ASSERT_NE(out, nullptr) << c.text;
      EXPECT_STREQ(out, c.result);
    } else {
      EXPECT_EQ(out, nullptr) << c.text;
    }
    check_free(out);
  }
}

}  // namespace
