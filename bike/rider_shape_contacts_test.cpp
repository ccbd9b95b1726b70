#include <gtest/gtest.h>

#include <cmath>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_contacts.h"
#include "bike/test_support_riders.h"
#include "core/memory.h"
#include "terrain/dynamics_world.h"
#include "terrain/shape.h"
#include "terrain/terrain_settings.h"
#include "terrain/track_objects.h"

namespace {

class RiderShapes : public ::testing::Test {
 protected:
  void SetUp() override {
    test_track_open();
    race_clock.current_tick = 10;
  }
  void TearDown() override {
    race_clock.current_tick = 0;
    test_track_close();
  }
};

rider* shaped(unsigned slot, float x, float z = 64) {
  rider* r = test_rider_place("cr125", slot, x, z);
  test_rider_give_shapes(r);
  return r;
}

void keep_only(rider* r, shape* rider::*keep) {
  shape* rider::*const all[] = {&rider::frame_shape,       &rider::fork_upper_shape,
                                &rider::fork_lower_shape,  &rider::swingarm_shape,
                                &rider::front_wheel_shape, &rider::rear_wheel_shape,
                                &rider::rider_shape};
  for (shape* rider::*f : all)
    if (f != keep) {
      check_free(r->*f);
      r->*f = nullptr;
    }
}

void move_all(rider* r, float dy) {
  for (dBodyID b : r->bodies) {
    const dReal* p = dBodyGetPosition(b);
    dBodySetPosition(b, p[0], p[1] + dy, p[2]);
  }
}

TEST_F(RiderShapes, PartsOnTheGroundThatPutTheRiderDown) {
  struct part_case {
    const char* name;
    shape* rider::*part;
    int down;
  };
  const part_case cases[] = {
      {"frame", &rider::frame_shape, 0},
      {"fork upper", &rider::fork_upper_shape, 1},
      {"fork lower", &rider::fork_lower_shape, 1},
      {"swingarm", &rider::swingarm_shape, 1},
  };
  unsigned slot = 0;
  for (const part_case& c : cases) {
    rider* r = shaped(slot, 20.0f + 10 * slot);
    slot++;
    keep_only(r, c.part);
    // Sunk to the axles: the tyres are deep in, and the part touches too.
    move_all(r, -1.7f);
    EXPECT_NE(rider_collide_terrain(r), 0) << c.name;
    EXPECT_EQ(r->down, c.down) << c.name;
    EXPECT_EQ(r->down_counter, 0) << c.name;  // down, not thrown off
  }
}

TEST_F(RiderShapes, UpsideDownRiderFallsOffOnlyWhenSliding) {
  for (float speed : {5.0f, 6.0f}) {
    rider* r = shaped(speed > 5 ? 1 : 0, speed > 5 ? 90 : 40);
    keep_only(r, &rider::rider_shape);
    dBodyID person = r->bodies[RIDER_PERSON];
    dMatrix3 m;
    dRFromAxisAndAngle(m, 0, 0, 1, M_PI);
    dBodySetRotation(person, m);
    const dReal* p = dBodyGetPosition(person);
    dBodySetPosition(person, p[0], test_ground + 0.3, p[2]);
    dBodySetLinearVel(person, speed, 0, 0);
    EXPECT_NE(rider_collide_terrain(r), 0);
    EXPECT_EQ(r->down, 1);
    EXPECT_EQ(r->down_counter, speed > 5 ? 512 : 0) << speed;
  }
}

TEST_F(RiderShapes, ObjectThrowsTheRiderOffAbove20FeetPerSecond) {
  rider* r = shaped(0, 64);
  FILE* f = fopen((std::string(getenv("BK_HOME")) + "/post.shp").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fputs("1\n0 0 0 1 0.5 2500 250\n", f);
  fclose(f);
  shape* post = shape_load_copy((std::string(getenv("BK_HOME")) + "/post.shp").c_str());
  ASSERT_NE(post, nullptr);
  const dReal* p = dBodyGetPosition(r->bodies[RIDER_PERSON]);
  const float at[3] = {(float)p[0] + 1, (float)p[1], (float)p[2]};
  const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  dBodySetLinearVel(r->bodies[RIDER_PERSON], 20, 0, 0);
  EXPECT_TRUE(rider_collide_object(r, post, nullptr, at, identity) & rider_part_rider);
  EXPECT_EQ(r->down_counter, 0);
  dBodySetLinearVel(r->bodies[RIDER_PERSON], 20.5, 0, 0);
  rider_collide_object(r, post, nullptr, at, identity);
  EXPECT_EQ(r->down_counter, 512);
  EXPECT_EQ(r->crash_count, 1);
  dBodySetLinearVel(r->bodies[RIDER_PERSON], 40, 0, 0);
  rider_collide_object(r, post, nullptr, at, identity);
  EXPECT_EQ(r->crash_count, 1);
  check_free(post);
}

TEST_F(RiderShapes, FrontTestOnlyReportsTheFrontEndWithoutResponse) {
  rider* r = shaped(0, 64);
  dBodyID lower = r->bodies[RIDER_FORK_LOWER];
  const dReal* p = dBodyGetPosition(lower);
  const float at[3] = {(float)p[0] + 0.5f, (float)p[1], (float)p[2]};
  const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  FILE* f = fopen((std::string(getenv("BK_HOME")) + "/ball.shp").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fputs("1\n0 0 0 0.5 0.5 2500 250\n", f);
  fclose(f);
  shape* ball = shape_load_copy((std::string(getenv("BK_HOME")) + "/ball.shp").c_str());
  ASSERT_NE(ball, nullptr);
  const int joints = dBodyGetNumJoints(lower);
  EXPECT_TRUE(rider_collide_shape(r, ball, nullptr, at, identity, 0, 1) & rider_part_fork_lower);
  EXPECT_EQ(dBodyGetNumJoints(lower), joints);
  EXPECT_TRUE(rider_collide_shape(r, ball, nullptr, at, identity, 0, 0) & rider_part_fork_lower);
  EXPECT_GT(dBodyGetNumJoints(lower), joints);
  check_free(ball);
}

TEST_F(RiderShapes, FirstRiderContactOfATickGetsJointsTheRestForces) {
  rider* a = shaped(0, 64);
  rider* b = shaped(1, 64.6f);
  rider* c = shaped(2, 63.4f);
  const int joints_b = dBodyGetNumJoints(b->bodies[RIDER_FRAME]);
  EXPECT_NE(rider_collide_rider(a, b, 0), 0);
  EXPECT_GT(dBodyGetNumJoints(b->bodies[RIDER_FRAME]), joints_b);
  EXPECT_EQ(a->contact_tick, 10);
  EXPECT_EQ(b->contact_tick, 10);
  const int joints_c = dBodyGetNumJoints(c->bodies[RIDER_FRAME]);
  EXPECT_NE(rider_collide_rider(a, c, 0), 0);
  EXPECT_EQ(dBodyGetNumJoints(c->bodies[RIDER_FRAME]), joints_c);
  const dReal* force = dBodyGetForce(c->bodies[RIDER_FRAME]);
  EXPECT_GT(std::fabs(force[0]) + std::fabs(force[1]) + std::fabs(force[2]), 0);
  EXPECT_EQ(c->contact_tick, 10);
}

struct crash_result {
  float velocity[2][3];  // frames of the riders at 62 and 66
  float hit_timer[2];
  int touched;
};

// Two riders side by side, 4 ft apart, driven at each other at 12 ft/s each
// for 40 ticks. swapped: the rider at 66 is taken first in the contact call.
crash_result crash(bool swapped) {
  crash_result out{};
  rider* left = shaped(0, 62);
  rider* right = shaped(1, 66);
  test_rider_velocity(left, 12, 0, 0);
  test_rider_velocity(right, -12, 0, 0);
  for (int t = 0; t < 40; t++) {
    race_clock.current_tick++;
    rider_collide_terrain(left);
    rider_collide_terrain(right);
    const int u = swapped ? rider_collide_rider(right, left, 0) : rider_collide_rider(left, right, 0);
    out.touched |= u != 0;
    riders_add_gyroscopic_torques();
    EXPECT_EQ(dynamics_step(tick_length), 1);
    for (rider* r : {left, right})
      for (dBodyID b : r->bodies) {
        const dReal* p = dBodyGetPosition(b);
        const dReal* v = dBodyGetLinearVel(b);
        for (int i = 0; i < 3; i++) {
          EXPECT_TRUE(std::isfinite(p[i]) && std::isfinite(v[i])) << "tick " << t;
          if (!std::isfinite(p[i]) || !std::isfinite(v[i])) return out;
        }
      }
  }
  rider* both[2] = {left, right};
  for (int k = 0; k < 2; k++) {
    const dReal* v = dBodyGetLinearVel(both[k]->bodies[RIDER_FRAME]);
    for (int i = 0; i < 3; i++) out.velocity[k][i] = (float)v[i];
    out.hit_timer[k] = both[k]->hit_timer;
  }
  return out;
}

TEST_F(RiderShapes, RidersDrivenIntoEachOtherCollideTheSameWhicheverComesFirst) {
  const crash_result first = crash(false);
  test_track_close();
  test_track_open();
  race_clock.current_tick = 10;
  const crash_result second = crash(true);
  ASSERT_TRUE(first.touched);
  ASSERT_TRUE(second.touched);
  // They met and were pushed apart (or at least stopped closing).
  EXPECT_LT(first.velocity[0][0], 6);
  EXPECT_GT(first.velocity[1][0], -6);
  // The scene is its own mirror image about x = 64: taking the other rider
  // first must give the mirror of the first run.
  for (int k = 0; k < 2; k++) {
    EXPECT_NEAR(second.velocity[k][0], -first.velocity[1 - k][0], 0.1) << k;
    EXPECT_NEAR(second.velocity[k][1], first.velocity[1 - k][1], 0.1) << k;
    EXPECT_NEAR(second.velocity[k][2], first.velocity[1 - k][2], 0.1) << k;
    EXPECT_EQ(second.hit_timer[k], first.hit_timer[1 - k]) << k;
  }
}

TEST_F(RiderShapes, ImpactTimers) {
  // Hitting timers only, with shapes placed so that just the named parts
  // meet: A's front wheel into B's frame (A struck B elsewhere).
  rider* a = shaped(0, 64);
  rider* b = shaped(1, 64);
  keep_only(a, &rider::front_wheel_shape);
  keep_only(b, &rider::frame_shape);
  // B's frame centred on A's front wheel.
  const dReal* w = dBodyGetPosition(a->bodies[RIDER_FRONT_WHEEL]);
  const dReal* fp = dBodyGetPosition(b->bodies[RIDER_FRAME]);
  const double shift[3] = {w[0] - fp[0], w[1] - fp[1], w[2] - fp[2]};
  for (dBodyID body : b->bodies) {
    const dReal* p = dBodyGetPosition(body);
    dBodySetPosition(body, p[0] + shift[0], p[1] + shift[1], p[2] + shift[2]);
  }
  struct timer_case {
    float va, vb;
    int b_down;
    float a_before, b_before;
    float a_after, b_after;
  };
  const timer_case cases[] = {
      {12, 6, 0, 0, 0, 128, -640},      // striker gets 128, struck rider -640
      {12, 6, 0, 200, -700, 200, -700},  // keep the larger and the lower
      {8, 6, 0, 0, 0, 0, -640},         // a slow striker gets nothing
      {12, 4, 0, 0, 0, 0, 0},           // a struck rider under 5 ft/s: no timers
      {12, 6, 1, 0, 0, 0, 0},           // nor one lying down
      {12, 6, 0, 0, 3, 128, 3},         // a positive timer is left alone
  };
  for (const timer_case& c : cases) {
    race_clock.current_tick++;
    test_rider_velocity(a, 0, 0, -c.va);
    test_rider_velocity(b, c.vb, 0, 0);
    b->down_counter = c.b_down;
    a->hit_timer = c.a_before;
    b->hit_timer = c.b_before;
    a->robot.picked_line_ids[2] = 9;
    EXPECT_EQ(rider_collide_rider(a, b, 0), rider_part_frame);
    EXPECT_EQ(a->hit_timer, c.a_after) << c.va << " " << c.vb;
    EXPECT_EQ(b->hit_timer, c.b_after) << c.va << " " << c.vb;
    EXPECT_EQ(a->robot.picked_line_ids[2], 0);
    dJointGroupEmpty(contact_group);
  }
}

}  // namespace

namespace {

TEST_F(RiderShapes, StatuesNearTheRiderAreHitOnce) {
  // The border between grid columns 1 and 2 of this 256 ft field lies at
  // x = (2/8 x 3/4 + 1/8) x 256 = 80.
  ASSERT_EQ(track_field.extent, 256);
  rider* r = shaped(0, 79.5f);
  FILE* f = fopen((std::string(getenv("BK_HOME")) + "/rock.shp").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fputs("1\n0 0 0 1 0.5 2500 250\n", f);
  fclose(f);
  const std::string rock = std::string(getenv("BK_HOME")) + "/rock.shp";
  ASSERT_EQ(growable_array_init(&statues, sizeof(statue), 16), 1);
  const dReal* p = dBodyGetPosition(r->bodies[RIDER_FRAME]);
  // One against the frame on the border, so listed in two cells that the
  // rider's window both covers; one 30 ft away.
  const float places[2][3] = {{80, (float)p[1], (float)p[2]}, {110, (float)p[1], (float)p[2]}};
  for (const auto& at : places) {
    statue s{};
    s.shape = shape_load_copy(rock.c_str());
    s.x = at[0];
    s.y = at[1];
    s.z = at[2];
    s.basis[0] = s.basis[4] = s.basis[8] = 1;
    s.touch_tick = -1;
    ASSERT_EQ(growable_array_append(&statues, &s), 1);
  }
  statue_grid_rebuild();
  ASSERT_EQ(statue_grid[statue_grid_cell(p[2], 256)][1].count, 1u);
  ASSERT_EQ(statue_grid[statue_grid_cell(p[2], 256)][2].count, 1u);
  const int before = dBodyGetNumJoints(r->bodies[RIDER_FRAME]);
  collide_rider_statues(r);
  EXPECT_EQ(statue_at(0)->touch_tick, 10);
  EXPECT_EQ(statue_at(1)->touch_tick, -1);
  // The frame's three spheres all reach the rock: three joints, once.
  EXPECT_EQ(dBodyGetNumJoints(r->bodies[RIDER_FRAME]) - before, 3);
  track_objects_free();
}

}  // namespace
