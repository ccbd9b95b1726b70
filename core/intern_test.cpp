#include "core/intern.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "core/memory.h"

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

TEST(Intern, FreeingStartsAFreshTableThatWorksAsBefore) {
  intern_string("kept until freed");
  intern_free_all();
  intern_free_all();
  std::string text = "after";
  const char* a = intern_string(text.c_str());
  EXPECT_NE(a, text.c_str());
  EXPECT_EQ(intern_string("after"), a);
}

TEST(Intern, TableThatCannotGrowEndsTheGame) {
  intern_string("made before tracking");
  // Switching tracking on after the table exists makes its block unknown to
  // the wrappers, so the next growth fails.
  EXPECT_EXIT(
      {
        setenv("BK_CHECK_ALLOC", "1", 1);
        check_reset_for_tests();
        for (int i = 0; i < 100000; i++) intern_string(("grow" + std::to_string(i)).c_str());
      },
      testing::ExitedWithCode(1), "Out of virtual memory");
}

}  // namespace
