#include "core/growable_array.h"

#include <gtest/gtest.h>

namespace {

TEST(GrowableArray, DoublesAndKeepsElements) {
  growable_array a;
  ASSERT_EQ(growable_array_init(&a, sizeof(int), 16), 1);
  for (int i = 0; i < 40; i++) ASSERT_EQ(growable_array_append(&a, &i), 1);
  EXPECT_EQ(a.count, 40u);
  EXPECT_EQ(a.capacity, 64u);
  for (int i = 0; i < 40; i++) EXPECT_EQ(*static_cast<int*>(growable_array_at(&a, i)), i);
  ASSERT_EQ(growable_array_append(&a, nullptr), 1);
  EXPECT_EQ(*static_cast<int*>(growable_array_at(&a, 40)), 0);
  growable_array_free(&a);
  EXPECT_EQ(a.count, 0u);
  EXPECT_EQ(a.data, nullptr);
}

}  // namespace
