#include "terrain/roost.h"

#include <gtest/gtest.h>
#include <string.h>

#include "terrain/height_field.h"
#include "terrain/terrain_files.h"
#include "terrain/tiles.h"
#include "terrain/track_objects.h"

namespace {

// Flat ground at height 0 in track_field, the pool with its sprites.
class Roost : public ::testing::Test {
 protected:
  void SetUp() override {
    terrain_reset(&track_field);
    ASSERT_EQ(terrain_create(&track_field, 7, 4.0f), 1);
    roost_particles_create();
    memset(&type, 0, sizeof type);
    type.mode = 1;
    type.texture = 7;
    type.size = 0.5f;
    type.grow = 1.0f;
    type.drag = 2.0f;
    memcpy(type.colour, "\x80\x40\x20\xff", 4);
    type.fade[0] = 1;
    type.fade[1] = -1;
    type.fade[3] = -2;
  }
  void TearDown() override {
    track_objects_free();
    free_terrain(&track_field);
  }
  roost_type type;
};

int count(const roost_particle* p) {
  int n = 0;
  for (; p; p = p->next) n++;
  return n;
}

TEST_F(Roost, PoolOfTwoThousand) {
  ASSERT_EQ(billboards.count, (size_t)roost_pool_size);
  EXPECT_EQ(count(roost_free), roost_pool_size);
  EXPECT_EQ(roost_free, &roost_particles[0]);
  const float p[3] = {10, 5, 10}, v[3] = {0, 50, 0};
  for (int i = 0; i < roost_pool_size; i++) ASSERT_EQ(roost_particle_spawn(p, v, &type), 1);
  // The pool is spent: nothing is taken from the live particles.
  EXPECT_EQ(roost_particle_spawn(p, v, &type), 0);
  EXPECT_EQ(count(roost_live), roost_pool_size);
  EXPECT_EQ(roost_free, nullptr);
  const billboard* sprite = billboard_at(roost_particles[0].sprite);
  EXPECT_EQ(sprite->texture, 7u);
  EXPECT_FLOAT_EQ(sprite->size, 0.5f);
  EXPECT_FLOAT_EQ(sprite->y, 5.0f);

  // One falls into the ground: it is retired, and the next throw takes it.
  roost_particles[1234].position[1] = -1.0f;
  roost_particles[1234].velocity[1] = -1.0f;
  roost_particles_update();
  EXPECT_EQ(count(roost_live), roost_pool_size - 1);
  EXPECT_EQ(roost_free, &roost_particles[1234]);
  EXPECT_EQ(billboard_at(roost_particles[1234].sprite)->texture, 0u);
  EXPECT_EQ(roost_particle_spawn(p, v, &type), 1);
  EXPECT_EQ(roost_free, nullptr);

  // The race reset puts everything back, in order, hidden.
  roost_particles_reset();
  EXPECT_EQ(roost_live, nullptr);
  EXPECT_EQ(count(roost_free), roost_pool_size);
  EXPECT_EQ(roost_free->next, &roost_particles[1]);
  EXPECT_EQ(billboard_at(roost_particles[5].sprite)->texture, 0u);
}

TEST_F(Roost, StepMovesDragsAndFades) {
  const float p[3] = {100, 2, 100}, v[3] = {4, 64, 0};
  ASSERT_EQ(roost_particle_spawn(p, v, &type), 1);
  roost_particle* r = roost_live;
  roost_particles_update();
  const float dt = 1.0f / 128;
  // The move uses the velocity from before this tick's drag and gravity.
  EXPECT_FLOAT_EQ(r->position[0], 100 + 4 * dt);
  EXPECT_FLOAT_EQ(r->position[1], 2 + 64 * dt);
  EXPECT_FLOAT_EQ(r->velocity[0], 4 * (1 - 2 * dt));
  EXPECT_FLOAT_EQ(r->velocity[1], 64 * (1 - 2 * dt) - 32 * dt);
  const billboard* b = billboard_at(r->sprite);
  EXPECT_FLOAT_EQ(b->x, r->position[0]);
  EXPECT_FLOAT_EQ(b->y, r->position[1]);
  EXPECT_FLOAT_EQ(b->size, 0.5f + dt);
  EXPECT_EQ(b->colour[0], 0x81);
  EXPECT_EQ(b->colour[1], 0x3f);
  EXPECT_EQ(b->colour[2], 0x20);
  EXPECT_EQ(b->colour[3], 253);
}

TEST_F(Roost, AlphaFadesToZeroIn128TicksAndStays) {
  type.drag = 0;
  const float p[3] = {100, 1, 100}, v[3] = {0, 100, 0};
  ASSERT_EQ(roost_particle_spawn(p, v, &type), 1);
  roost_particle* r = roost_live;
  for (int tick = 1; tick <= 130; tick++) {
    roost_particles_update();
    ASSERT_EQ(roost_live, r);
    if (tick == 127) {
      EXPECT_EQ(billboard_at(r->sprite)->colour[3], 1);
    }
  }
  EXPECT_EQ(billboard_at(r->sprite)->colour[3], 0);
  EXPECT_EQ(billboard_at(r->sprite)->colour[0], 255);  // the red fade saturates too
}

TEST_F(Roost, RetiredOnlyWhenFallingBelowTheGround) {
  type.drag = 0;
  // Thrown up from below the ground: kept while rising.
  const float p[3] = {100, -3, 100}, v[3] = {0, 8, 0};
  ASSERT_EQ(roost_particle_spawn(p, v, &type), 1);
  roost_particle* r = roost_live;
  int ticks = 0;
  while (roost_live && ticks < 1000) {
    const float before = r->velocity[1];
    roost_particles_update();
    ticks++;
    if (roost_live) {
      EXPECT_TRUE(r->velocity[1] >= 0 || r->position[1] >= 0) << "tick " << ticks;
    } else {
      EXPECT_LT(r->position[1], 0.0f);
      EXPECT_LT(before - 32.0f / 128, 0.0f);
    }
  }
  // 8 ft/s up under 32 ft/s^2: its velocity reaches 0 after 32 ticks, it
  // falls at the 33rd, still below the ground.
  EXPECT_EQ(ticks, 33);

  // A falling particle above the ground stays until it crosses it.
  const float high[3] = {100, 1, 100}, down[3] = {0, -32, 0};
  ASSERT_EQ(roost_particle_spawn(high, down, &type), 1);
  roost_particles_update();
  EXPECT_NE(roost_live, nullptr);
  for (int i = 0; i < 8 && roost_live; i++) roost_particles_update();
  EXPECT_EQ(roost_live, nullptr);
}

}  // namespace
