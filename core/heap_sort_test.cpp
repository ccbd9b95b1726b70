#include "core/heap_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Odd-sized records catch a sort that swaps words instead of bytes.
struct record {
  unsigned char key[3];
  unsigned char tag[4];
};
static_assert(sizeof(record) == 7, "packed record");

int by_key(const void* a, const void* b) {
  return std::memcmp(static_cast<const record*>(a)->key, static_cast<const record*>(b)->key, 3);
}

int by_int(const void* a, const void* b) {
  const int x = *static_cast<const int*>(a), y = *static_cast<const int*>(b);
  return (x > y) - (x < y);
}

TEST(HeapSort, SortsLikeTheStandardSort) {
  std::mt19937 gen(7);
  for (size_t count : {2u, 3u, 10u, 64u, 1000u}) {
    std::vector<record> records(count);
    for (size_t i = 0; i < count; i++) {
      for (auto& k : records[i].key) k = static_cast<unsigned char>(gen() % 4);  // plenty of ties
      std::memcpy(records[i].tag, &i, 4);
    }
    std::vector<record> expected = records;
    std::sort(expected.begin(), expected.end(), [](const record& a, const record& b) { return by_key(&a, &b) < 0; });
    heap_sort(records.data(), count, sizeof(record), by_key);
    for (size_t i = 0; i < count; i++) ASSERT_EQ(by_key(&records[i], &expected[i]), 0) << count << " at " << i;
    // Nothing lost or duplicated: every tag still there once.
    std::vector<uint32_t> tags;
    for (const record& r : records) {
      uint32_t t;
      std::memcpy(&t, r.tag, 4);
      tags.push_back(t);
    }
    std::sort(tags.begin(), tags.end());
    for (size_t i = 0; i < count; i++) ASSERT_EQ(tags[i], i);
  }
}

TEST(HeapSort, ZeroOrOneRecordIsLeftAlone) {
  int one[] = {5, 1};
  heap_sort(one, 1, sizeof(int), by_int);
  EXPECT_EQ(one[0], 5);
  EXPECT_EQ(one[1], 1);
  heap_sort(nullptr, 0, sizeof(int), by_int);
}

}  // namespace
