#include "core/random.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TEST(Random, MatchesTheReferenceSequence) {
  random_seed(5489u);
  const uint32_t first[] = {3499211612u, 581869302u, 3890346734u, 3586334585u, 545404204u};
  for (uint32_t v : first) EXPECT_EQ(random_next(), v);
  // The 10000th output of the default seed is the reference check value.
  random_seed(5489u);
  uint32_t v = 0;
  for (int i = 0; i < 10000; i++) v = random_next();
  EXPECT_EQ(v, 4123659995u);
}

TEST(Random, AgreesWithTheStandardEngineAcrossStateRefills) {
  for (uint32_t seed : {0u, 1u, 19650218u, 0xFFFFFFFFu, 1234567u}) {
    std::mt19937 reference(seed);
    random_seed(seed);
    for (int i = 0; i < 2000; i++) ASSERT_EQ(random_next(), reference()) << "seed " << seed << " draw " << i;
  }
}

TEST(Random, ReseedingRestartsTheSequence) {
  random_seed(42);
  const uint32_t a = random_next();
  for (int i = 0; i < 700; i++) random_next();
  random_seed(42);
  EXPECT_EQ(random_next(), a);
}

}  // namespace
