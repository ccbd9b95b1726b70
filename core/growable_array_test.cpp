#include "core/growable_array.h"

#include <gtest/gtest.h>

#include <vector>

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

static std::vector<int> contents(const growable_array& a) {
  std::vector<int> v;
  for (size_t i = 0; i < a.count; i++) v.push_back(*static_cast<int*>(growable_array_at(&a, i)));
  return v;
}

TEST(GrowableArray, InsertsAndRemovesAtAnIndex) {
  growable_array a;
  ASSERT_EQ(growable_array_init(&a, sizeof(int), 1), 1);
  for (int i : {1, 3}) ASSERT_EQ(growable_array_append(&a, &i), 1);
  const int zero = 0, two = 2, four = 4;
  EXPECT_EQ(growable_array_insert(&a, 1, &two), 1);   // middle, grows
  EXPECT_EQ(growable_array_insert(&a, 0, &zero), 1);  // front
  EXPECT_EQ(growable_array_insert(&a, 4, &four), 1);  // at count: appends
  EXPECT_EQ(growable_array_insert(&a, 9, &four), 0);  // past the end
  EXPECT_EQ(contents(a), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(growable_array_remove(&a, 0), 1);
  EXPECT_EQ(growable_array_remove(&a, 2), 1);
  EXPECT_EQ(growable_array_remove(&a, 3), 0);
  EXPECT_EQ(growable_array_remove(&a, 2), 1);  // last
  EXPECT_EQ(contents(a), (std::vector<int>{1, 2}));
  growable_array_free(&a);
}

TEST(GrowableArray, InsertsElementsLargerThanTheStackBuffer) {
  struct big {
    char bytes[200];
  };
  growable_array a;
  ASSERT_EQ(growable_array_init(&a, sizeof(big), 2), 1);
  big b{};
  for (char c : {'a', 'c'}) {
    b.bytes[0] = b.bytes[199] = c;
    ASSERT_EQ(growable_array_append(&a, &b), 1);
  }
  b.bytes[0] = b.bytes[199] = 'b';
  ASSERT_EQ(growable_array_insert(&a, 1, &b), 1);
  const char want[] = {'a', 'b', 'c'};
  for (size_t i = 0; i < 3; i++) {
    const big* e = static_cast<const big*>(growable_array_at(&a, i));
    EXPECT_EQ(e->bytes[0], want[i]);
    EXPECT_EQ(e->bytes[199], want[i]);
  }
  growable_array_free(&a);
}

}  // namespace
