#include "core/intern.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(Intern, EqualTextsShareOnePointer) {
  std::string abc = "abc";
  const char* a = intern_string(abc.c_str());
  EXPECT_NE(a, abc.c_str());
  EXPECT_STREQ(a, "abc");
  EXPECT_EQ(intern_string("abc"), a);
  const char* upper = intern_string("ABC");
  EXPECT_NE(upper, a);
  EXPECT_STREQ(upper, "ABC");
  EXPECT_NE(intern_string(""), a);
  EXPECT_EQ(intern_string(""), intern_string(""));
}

TEST(Intern, PointersSurviveTheTableGrowing) {
  std::vector<const char*> first;
  for (int i = 0; i < 100; i++) first.push_back(intern_string(("name" + std::to_string(i)).c_str()));
  for (int i = 0; i < 100; i++) EXPECT_EQ(intern_string(("name" + std::to_string(i)).c_str()), first[i]);
}

}  // namespace
