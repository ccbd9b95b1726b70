#include "bike/state_history.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/message_ring.h"

namespace {

// A pose that names its tick, so every entry shows whose pose it holds.
packed_pose pose_of(int32_t tick) {
  packed_pose p;
  for (int i = 0; i < packed_pose_size; i++) p.bytes[i] = (uint8_t)(tick * 31 + i);
  return p;
}

bool holds_own_pose(const state_history& h, int i) {
  const packed_pose want = pose_of(h.ticks[i]);
  return std::memcmp(h.poses[i].bytes, want.bytes, packed_pose_size) == 0;
}

// The held ticks, oldest first, walking back from the head; every entry must
// hold its own pose.
std::vector<int32_t> held(const state_history& h) {
  std::vector<int32_t> ticks;
  for (int k = 0; k < state_history_size; k++) {
    const int i = (h.head - k + state_history_size) % state_history_size;
    if (h.ticks[i] == -1) break;
    EXPECT_TRUE(holds_own_pose(h, i)) << "entry " << i << " tick " << h.ticks[i];
    ticks.insert(ticks.begin(), h.ticks[i]);
  }
  return ticks;
}

class History : public ::testing::Test {
 protected:
  void SetUp() override { state_history_clear_all(); }
  void TearDown() override { state_history_clear_all(); }
  void add(int slot, int32_t tick) {
    const packed_pose p = pose_of(tick);
    add_state_to_history(slot, &p, tick);
  }
};

TEST_F(History, StartsAndClearsEmpty) {
  for (const state_history& h : state_histories) {
    EXPECT_EQ(h.head, 0);
    EXPECT_EQ(h.count, 0);
    for (int32_t t : h.ticks) EXPECT_EQ(t, -1);
  }
  add(3, 10);
  add(159, 0);
  state_history_clear_all();
  for (int slot : {3, 159}) {
    const state_history& h = state_histories[slot];
    EXPECT_EQ(h.head, 0);
    EXPECT_EQ(h.count, 0);
    for (int i = 0; i < state_history_size; i++) {
      EXPECT_EQ(h.ticks[i], -1);
      for (uint8_t b : h.poses[i].bytes) EXPECT_EQ(b, 0);
    }
  }
}

TEST_F(History, InsertCases) {
  struct insert_case {
    const char* what;
    std::vector<int32_t> before;  // inserted first, in this order
    int slot;
    int32_t tick;
    std::vector<int32_t> after;  // held afterwards, oldest first
    int count;
  };
  std::vector<int32_t> full, full_plus_129, full_with_late;
  for (int i = 0; i < 128; i++) full.push_back(100 + 2 * i);  // 100 .. 354
  full_plus_129 = std::vector<int32_t>(full.begin() + 1, full.end());
  full_plus_129.push_back(356);
  full_with_late = std::vector<int32_t>(full.begin() + 1, full.end());
  full_with_late.insert(full_with_late.begin() + 10, 121);
  const std::vector<insert_case> table = {
      {"first", {}, 0, 0, {0}, 1},
      {"newest after the head", {5, 8}, 0, 9, {5, 8, 9}, 3},
      {"duplicate", {5, 8, 12}, 0, 8, {5, 8, 12}, 3},
      {"duplicate of the newest", {5, 8, 12}, 0, 12, {5, 8, 12}, 3},
      {"older, into the middle", {5, 8, 12}, 0, 7, {5, 7, 8, 12}, 4},
      {"older than all", {5, 8, 12}, 0, 2, {2, 5, 8, 12}, 4},
      {"the 129th evicts the oldest", full, 0, 356, full_plus_129, 128},
      {"late into a full ring evicts the oldest", full, 0, 121, full_with_late, 128},
      {"older than every entry of a full ring is dropped", full, 0, 99, full, 128},
      {"duplicate in a full ring", full, 0, 200, full, 128},
      {"negative tick", {5, 8}, 0, -1, {5, 8}, 2},
      {"very negative tick", {5, 8}, 0, -70000, {5, 8}, 2},
      {"last slot", {}, 159, 4, {4}, 1},
  };
  for (const insert_case& c : table) {
    state_history_clear_all();
    for (int32_t t : c.before) add(c.slot, t);
    add(c.slot, c.tick);
    const state_history& h = state_histories[c.slot];
    EXPECT_EQ(held(h), c.after) << c.what;
    EXPECT_EQ(h.count, c.count) << c.what;
    EXPECT_EQ(h.ticks[h.head], c.after.back()) << c.what;
  }
}

TEST_F(History, SlotOutOfRangeStoresNothing) {
  for (int slot : {160, -1, 1000}) {
    message_ring_clear();
    add(slot, 5);
    EXPECT_STREQ(message_ring_line(1), "add_state_to_history: slot out of range") << slot;
  }
  for (const state_history& h : state_histories) EXPECT_EQ(h.count, 0);
  add_state_to_history(0, nullptr, 5);
  EXPECT_EQ(state_histories[0].count, 0);
}

TEST_F(History, PendingCountIsTakenByTheDemoWriter) {
  add(2, 1);
  add(2, 2);
  EXPECT_EQ(state_histories[2].count, 2);
  state_histories[2].count = 0;
  add(2, 3);
  add(2, 3);
  EXPECT_EQ(state_histories[2].count, 1);
  for (int t = 4; t < 300; t++) add(2, t);
  EXPECT_EQ(state_histories[2].count, 128);
}

// Mostly rising ticks with late, duplicate and very old ones, as a network
// delivers them, against a model that keeps the 128 largest distinct ticks.
TEST_F(History, SeededRunMatchesAModel) {
  std::mt19937 random(2606);
  for (int slot : {0, 77}) {
    std::map<int32_t, bool> model;
    int32_t now = 0;
    for (int i = 0; i < 20000; i++) {
      now += (int32_t)(random() % 5);
      int32_t tick = now;
      switch (random() % 6) {
        case 0: tick = now - (int32_t)(random() % 40); break;   // late
        case 1: tick = now - (int32_t)(random() % 400); break;  // very late
        case 2: tick = now - (int32_t)(random() % 3); break;    // near duplicates
        default: break;
      }
      if (tick < 0) tick = 0;
      add(slot, tick);
      model[tick] = true;
      while (model.size() > state_history_size) model.erase(model.begin());
      if (i % 97 == 0 || i == 19999) {
        std::vector<int32_t> want;
        for (const auto& m : model) want.push_back(m.first);
        ASSERT_EQ(held(state_histories[slot]), want) << "insert " << i;
        ASSERT_EQ(state_histories[slot].ticks[state_histories[slot].head], want.back());
      }
    }
  }
  EXPECT_EQ(state_histories[1].count, 0);  // other slots untouched
}

}  // namespace
