#include "platform/array.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(Array, GrowsByDoublingAndZeroFillsNullElements) {
  growable_array a{std::malloc(2 * sizeof(int)), 2, 0, sizeof(int)};
  for (int i = 1; i <= 5; ++i) ASSERT_EQ(array_append(&a, &i), 1);
  ASSERT_EQ(array_append(&a, nullptr), 1);
  EXPECT_EQ(a.count, 6);
  EXPECT_EQ(a.capacity, 8);
  const int* items = static_cast<const int*>(a.items);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(items[i], i + 1);
  EXPECT_EQ(items[5], 0);
  std::free(a.items);
}

TEST(Array, StartsFromNothing) {
  growable_array a{nullptr, 0, 0, sizeof(double)};
  const double x = 2.5;
  ASSERT_EQ(array_append(&a, &x), 1);
  EXPECT_EQ(a.capacity, 16);
  EXPECT_EQ(static_cast<double*>(a.items)[0], 2.5);
  std::free(a.items);
}

}  // namespace
