#include "bike/riders_step.h"

#include <gtest/gtest.h>

#include <string>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/test_support_riders.h"

namespace {

std::string calls;

void note(const std::string& what) { calls += what + " "; }
void whole_contacts() { note("contacts"); }
void remote(rider* r) { note("remote" + std::to_string(r->slot)); }
void before_step() { note("before_step"); }
void after_step() { note("after_step"); }
void before(int slot, rider*) { note("before" + std::to_string(slot)); }
void after(int slot, rider*) { note("after" + std::to_string(slot)); }

class RidersStep : public ::testing::Test {
 protected:
  void SetUp() override {
    test_track_open();
    race_clock = {};
    calls.clear();
    // Two riders stepped here around one posed from elsewhere.
    for (unsigned slot : {0u, 1u, 2u}) {
      rider* r = test_rider_place("cr125", slot, 100 + 10.0f * slot, 128);
      rider_slots[slot] = r;
      rider_slot_kind[slot] = slot == 1 ? RIDER_REMOTE : RIDER_LOCAL;
      if (slot == 1) rider_deactivate(r);
      else rider_activate(r);
    }
  }
  void TearDown() override {
    for (int s = 0; s < RIDER_SLOT_COUNT; s++) {
      rider_slots[s] = nullptr;
      rider_slot_kind[s] = RIDER_REMOTE;
    }
    race_clock = {};
    test_track_close();
  }
};

// The race puts its own parts among the riders' step through the hooks and
// relies on where each one runs, on one contact thread or several.
TEST_F(RidersStep, HooksRunInTheirPlacesAtAnyThreadCount) {
  for (int threads : {1, 3}) {
    calls.clear();
    riders_step_timing timing = {};
    riders_step_hooks hooks = {threads, nullptr, remote, before_step, after_step, before, after, &timing};
    EXPECT_NE(riders_step(&hooks), 0);
    EXPECT_EQ(calls, "remote1 before_step after_step before0 after0 before1 after1 before2 after2 ")
        << threads << " threads";
    EXPECT_GE(timing.contacts, 0);
    EXPECT_GT(timing.world_step + timing.control, 0);
  }
  // Contacts made by the caller take the place of the riders' own.
  calls.clear();
  riders_step_hooks hooks = {1, whole_contacts, remote, nullptr, nullptr, nullptr, nullptr, nullptr};
  EXPECT_NE(riders_step(&hooks), 0);
  EXPECT_EQ(calls, "contacts ");
}

}  // namespace
