#include "bike/rider.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "bike/rider_build.h"
#include "core/message_ring.h"
#include "core/running_order.h"
#include "terrain/dynamics_world.h"
#include "terrain/terrain_files.h"
#include "terrain/tiles.h"
#include "terrain/track.h"

namespace {

// The loaded track's gates as the timing code reads them: whether there
// are any, the crossings of the first lap and of each later lap.
void set_lap_gates(int gates, int first, int normal) {
  route.gate_count = gates;
  route.first_lap_gates = first;
  route.normal_lap_gates = normal;
}

struct world_counts {
  int bodies;
  int joints;
};

// Every body and joint the world holds, as its own export lists them.
world_counts count_world() {
  world_counts n{0, 0};
  FILE* f = tmpfile();
  dWorldExportDIF(dynamics_world, f, "w");
  rewind(f);
  char line[512];
  while (fgets(line, sizeof line, f)) {
    if (strncmp(line, "wbody[", 6) == 0) n.bodies++;
    if (strncmp(line, "wjoint[", 7) == 0) n.joints++;
  }
  fclose(f);
  return n;
}

bool console_has(const std::string& text) {
  for (int k = 1; k <= message_ring_size; ++k) {
    const char* line = message_ring_line(k);
    if (line && text == line) return true;
  }
  return false;
}

class Riders : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(dynamics_open(), 1);
    rider_table_init();
    message_ring_clear();
  }
  void TearDown() override {
    for (rider& r : rider_table) rider_destroy(&r);
    rider_table_init();
    dynamics_close();
  }
};

rider* make(const char* bike, unsigned slot = 0) {
  return rider_create(bike, slot, 1, "7", nullptr, nullptr, nullptr, nullptr);
}

TEST_F(Riders, SlotOutOfRangeCreatesNothing) {
  EXPECT_EQ(make("cr125", RIDER_NO_SLOT), nullptr);
  EXPECT_EQ(make("cr125", 0xFFFFFFFFu), nullptr);
  const world_counts n = count_world();
  EXPECT_EQ(n.bodies, 0);
  EXPECT_EQ(n.joints, 0);
}

TEST_F(Riders, UnknownBikeFallsBackByClass) {
  struct {
    const char* asked;
    const char* used;
  } cases[] = {
      {"xx125", "cr125"},
      {"CR125", "cr125"},  // exact case only; then "125" picks the first 125
      {"nosuch", "kx250f(2007)"},
      {"", "kx250f(2007)"},
  };
  for (const auto& c : cases) {
    message_ring_clear();
    rider* r = make(c.asked);
    ASSERT_NE(r, nullptr) << c.asked;
    EXPECT_STREQ(rider_bike_model_name(r), c.used) << c.asked;
    EXPECT_TRUE(console_has(std::string("bike info for '") + c.asked + "' not found using '" +
                            c.used + "' instead"))
        << c.asked;
    rider_destroy(r);
  }
  message_ring_clear();
  rider* r = make("yz250(2012)");
  EXPECT_STREQ(rider_bike_class(r), "250");
  EXPECT_FLOAT_EQ(rider_bike_rev_limit(r), 10500);
  EXPECT_FALSE(console_has("bike info for 'yz250(2012)' not found using 'cr125' instead"));
}

TEST_F(Riders, DestroyLeavesNoBodyOrJointAndTheSlotWorksAgain) {
  rider* a = make("cr125", 0);
  rider* b = make("crf450(2018)", 159);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(a, &rider_table[0]);
  EXPECT_EQ(b->slot, 159);
  world_counts n = count_world();
  EXPECT_EQ(n.bodies, 14);
  EXPECT_EQ(n.joints, 12);

  rider_destroy(a);
  n = count_world();
  EXPECT_EQ(n.bodies, 7);
  EXPECT_EQ(n.joints, 6);
  EXPECT_EQ(a->timing_ticks.data, nullptr);
  EXPECT_EQ(a->followed_line.capacity, 0u);
  rider_destroy(a);  // twice is harmless

  // Created again in place; creating over a live record replaces it.
  ASSERT_EQ(make("cr125", 0), a);
  ASSERT_EQ(make("kx125", 0), a);
  n = count_world();
  EXPECT_EQ(n.bodies, 14);
  EXPECT_EQ(n.joints, 12);
  EXPECT_STREQ(rider_bike_model_name(a), "kx125");

  rider_destroy(a);
  rider_destroy(b);
  n = count_world();
  EXPECT_EQ(n.bodies, 0);
  EXPECT_EQ(n.joints, 0);
}

TEST_F(Riders, NoWorldNoRider) {
  dynamics_close();
  EXPECT_EQ(make("cr125"), nullptr);
  EXPECT_TRUE(console_has("Can't build a rider without a dynamics world"));
  EXPECT_EQ(rider_table[0].bodies[0], nullptr);
  EXPECT_EQ(rider_table[0].timing_ticks.data, nullptr);
  ASSERT_EQ(dynamics_open(), 1);
}

TEST_F(Riders, CreatedRecordHoldsListsNumberAndWheels) {
  rider* r = rider_create("cr125", 3, 0, "1234567890", nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(rider_number_text(r), "1234567");
  EXPECT_EQ(r->slot, 3);
  EXPECT_EQ(r->simulated, 0);
  EXPECT_EQ(r->timing_ticks.capacity, 16u);
  EXPECT_EQ(r->timing_ticks.element_size, 4u);
  for (const growable_array* list : {&r->pass_sample_lists[0], &r->pass_sample_lists[1], &r->followed_line}) {
    EXPECT_EQ(list->capacity, 16u);
    EXPECT_EQ(list->count, 0u);
    EXPECT_EQ(list->element_size, 20u);
  }
  EXPECT_EQ(r->front_contact.body, r->bodies[RIDER_FRONT_WHEEL]);
  EXPECT_EQ(r->rear_contact.body, r->bodies[RIDER_REAR_WHEEL]);
  EXPECT_FLOAT_EQ(r->front_contact.axle[0], 1);
  EXPECT_FLOAT_EQ(r->rear_contact.rim_radius, bike_models[0].rear_rim_radius);
  EXPECT_FLOAT_EQ(r->front_contact.tyre_radius, bike_models[0].front_tyre_radius);
  EXPECT_EQ(rider_frame_body(r), r->bodies[0]);
  EXPECT_EQ(rider_person_body(r), r->bodies[6]);
}

void expect_near3(const dReal* got, const float* want, const char* what) {
  for (int i = 0; i < 3; i++) EXPECT_NEAR(got[i], want[i], 1e-5) << what << " [" << i << "]";
}

void expect_axis(const dReal* got, double x, double y, double z, const char* what) {
  const double len = std::sqrt(x * x + y * y + z * z);
  EXPECT_NEAR(got[0], x / len, 1e-6) << what;
  EXPECT_NEAR(got[1], y / len, 1e-6) << what;
  EXPECT_NEAR(got[2], z / len, 1e-6) << what;
}

double body_mass(dBodyID b) {
  dMass m;
  dBodyGetMass(b, &m);
  return m.mass;
}

TEST_F(Riders, MassesAndJointsFollowTheRow) {
  for (const char* name : {"cr125", "crf450(2018)", "yz250(2012)", "rs50cr"}) {
    SCOPED_TRACE(name);
    const bike_model* row = bike_model_find(name);
    ASSERT_NE(row, nullptr);
    rider* r = make(name);
    ASSERT_NE(r, nullptr);
    dBodyID* b = r->bodies;

    const double d = 1.0 / 3.0;
    EXPECT_NEAR(body_mass(b[RIDER_FRAME]), row->frame_mass + (1 - d) * row->rider_mass, 1e-5);
    EXPECT_NEAR(body_mass(b[RIDER_PERSON]), d * row->rider_mass, 1e-5);
    EXPECT_NEAR(body_mass(b[RIDER_FRONT_WHEEL]), row->front_hub_mass + row->front_tyre_mass, 1e-5);
    EXPECT_NEAR(body_mass(b[RIDER_REAR_WHEEL]), row->rear_hub_mass + row->rear_tyre_mass, 1e-5);
    EXPECT_NEAR(body_mass(b[RIDER_FORK_UPPER]), row->fork_mass, 1e-5);
    EXPECT_NEAR(body_mass(b[RIDER_FORK_LOWER]), row->fork_mass, 1e-5);
    EXPECT_NEAR(body_mass(b[RIDER_SWINGARM]), 2 * row->swingarm_mass, 1e-5);
    double sum = 0;
    for (dBodyID body : r->bodies) sum += body_mass(body);
    EXPECT_NEAR(r->total_mass, sum, 1e-4);

    // The tyre ring spins the wheel: about its axle the wheel is stiffer
    // than the hub alone, and symmetric about the other two axes.
    dMass wheel;
    dBodyGetMass(b[RIDER_FRONT_WHEEL], &wheel);
    const double hub = 0.4 * row->front_hub_mass * row->front_hub_radius * row->front_hub_radius;
    const double ring_axial = row->front_tyre_mass * row->front_rim_radius * row->front_rim_radius;
    EXPECT_NEAR(wheel.I[0], hub + ring_axial + 0.4 * row->front_tyre_mass * row->front_tyre_radius *
                                                     row->front_tyre_radius,
                1e-5);
    EXPECT_NEAR(wheel.I[5], wheel.I[10], 1e-6);
    EXPECT_EQ(wheel.c[0], 0);
    EXPECT_EQ(wheel.c[1], 0);

    expect_near3(dBodyGetPosition(b[RIDER_FRAME]), row->frame_position, "frame");
    expect_near3(dBodyGetPosition(b[RIDER_FRONT_WHEEL]), row->front_wheel_position, "front wheel");
    expect_near3(dBodyGetPosition(b[RIDER_SWINGARM]), row->swingarm_position, "swingarm");
    expect_near3(dBodyGetPosition(b[RIDER_PERSON]), row->rider_position, "rider");

    dJointID* j = r->joints;
    EXPECT_EQ(dJointGetType(j[RIDER_FRONT_AXLE]), dJointTypeHinge);
    EXPECT_EQ(dJointGetBody(j[RIDER_FRONT_AXLE], 0), b[RIDER_FORK_LOWER]);
    EXPECT_EQ(dJointGetBody(j[RIDER_FRONT_AXLE], 1), b[RIDER_FRONT_WHEEL]);
    EXPECT_EQ(dJointGetBody(j[RIDER_REAR_AXLE], 0), b[RIDER_SWINGARM]);
    EXPECT_EQ(dJointGetBody(j[RIDER_STEERING], 1), b[RIDER_FRAME]);
    EXPECT_EQ(dJointGetType(j[RIDER_FORK_SLIDER]), dJointTypeSlider);
    EXPECT_EQ(dJointGetType(j[RIDER_PERSON_JOINT]), dJointTypeHinge2);
    EXPECT_EQ(dJointGetBody(j[RIDER_PERSON_JOINT], 0), b[RIDER_PERSON]);

    dVector3 v;
    dJointGetHingeAnchor(j[RIDER_FRONT_AXLE], v);
    expect_near3(v, row->front_wheel_position, "front axle anchor");
    dJointGetHingeAnchor(j[RIDER_REAR_AXLE], v);
    expect_near3(v, row->rear_wheel_position, "rear axle anchor");
    dJointGetHingeAnchor(j[RIDER_STEERING], v);
    expect_near3(v, row->fork_upper_position, "steering anchor");
    dJointGetHingeAnchor(j[RIDER_SWINGARM_PIVOT], v);
    expect_near3(v, row->swingarm_pivot, "swingarm anchor");
    dJointGetHinge2Anchor(j[RIDER_PERSON_JOINT], v);
    const float person_anchor[3] = {0, row->rider_position[1], -50};
    expect_near3(v, person_anchor, "rider joint anchor");

    const float* fu = row->fork_upper_position;
    const float* fl = row->fork_lower_position;
    dJointGetHingeAxis(j[RIDER_STEERING], v);
    expect_axis(v, fu[0] - fl[0], fu[1] - fl[1], fu[2] - fl[2], "steering axis");
    dJointGetSliderAxis(j[RIDER_FORK_SLIDER], v);
    expect_axis(v, fu[0] - fl[0], fu[1] - fl[1], fu[2] - fl[2], "fork axis");
    dJointGetHingeAxis(j[RIDER_SWINGARM_PIVOT], v);
    expect_axis(v, 1, 0, 0, "swingarm axis");
    dJointGetHinge2Axis1(j[RIDER_PERSON_JOINT], v);
    expect_axis(v, 0, 1, 1, "rider axis 1");
    dJointGetHinge2Axis2(j[RIDER_PERSON_JOINT], v);
    expect_axis(v, 1, 0, 0, "rider axis 2");

    EXPECT_NEAR(dJointGetHingeParam(j[RIDER_STEERING], dParamLoStop), -M_PI / 4, 1e-9);
    EXPECT_NEAR(dJointGetHingeParam(j[RIDER_STEERING], dParamHiStop), M_PI / 4, 1e-9);
    EXPECT_NEAR(dJointGetSliderParam(j[RIDER_FORK_SLIDER], dParamLoStop), -row->fork_travel, 1e-6);
    EXPECT_EQ(dJointGetSliderParam(j[RIDER_FORK_SLIDER], dParamHiStop), 0);
    EXPECT_NEAR(dJointGetHingeParam(j[RIDER_SWINGARM_PIVOT], dParamLoStop),
                -row->shock_linkage[BIKE_SWINGARM_TRAVEL], 1e-6);
    EXPECT_EQ(dJointGetHinge2Param(j[RIDER_PERSON_JOINT], dParamLoStop), 0);
    EXPECT_EQ(dJointGetHinge2Param(j[RIDER_PERSON_JOINT], dParamHiStop), 0);
    for (int i = 0; i < RIDER_JOINT_COUNT; i++) EXPECT_EQ(dJointGetFeedback(j[i]), &r->joint_feedback[i]);
    for (dBodyID body : r->bodies) EXPECT_EQ(dBodyGetGyroscopicMode(body), 0);
    rider_destroy(r);
  }
}

TEST_F(Riders, DefaultsAreWrittenAtCreation) {
  rider* r = make("cr125");
  ASSERT_NE(r, nullptr);
  EXPECT_FLOAT_EQ(r->final_drive_ratio, 52.0f / 13.0f);
  EXPECT_FLOAT_EQ(r->fork[0], 60);
  EXPECT_FLOAT_EQ(r->fork[1], 0);
  EXPECT_FLOAT_EQ(r->fork[4], (322.5f + 860.1f) / 2);
  EXPECT_FLOAT_EQ(r->fork[6], 0.4167f);
  EXPECT_FLOAT_EQ(r->shock[0], 1600);
  EXPECT_FLOAT_EQ(r->shock[3], 150);
  EXPECT_FLOAT_EQ(r->rider_ydamping, 0.75f);
  EXPECT_FLOAT_EQ(rider_get_roll_damping(r), 60);
  EXPECT_FLOAT_EQ(rider_get_roll_limit_angle(r), (float)(M_PI / 4));
  EXPECT_FLOAT_EQ(rider_get_max_steering_force(r), 400);
  EXPECT_FLOAT_EQ(rider_get_slow_damping_factor(r), 1);
  EXPECT_FLOAT_EQ(r->restricted_lock, 0.0872665f);
  EXPECT_EQ(r->assist_flags, 0x8D);
  EXPECT_EQ(rider_get_assist_bit0(r), 1);
  EXPECT_EQ(rider_get_stop_wheelies(r), 2);
  EXPECT_EQ(rider_get_front_antilock(r), 1);
  EXPECT_EQ(rider_get_rear_antilock(r), 0);
  EXPECT_EQ(rider_get_auto_shift(r), 0);
  EXPECT_EQ(rider_get_auto_dab(r), 0);
  // Suspension settings clamp before scaling.
  rider_set_fork(r, 10, -5, 0, 2, 1.5f, -1, 0.5f);
  EXPECT_FLOAT_EQ(r->fork[0], 4 * 60);
  EXPECT_FLOAT_EQ(r->fork[1], -60);
  EXPECT_FLOAT_EQ(r->fork[2], 0.25f * 30);
  EXPECT_FLOAT_EQ(r->fork[3], 30);
  EXPECT_FLOAT_EQ(r->fork[4], 860.1f);
  EXPECT_FLOAT_EQ(r->fork[5], 0);
}

TEST_F(Riders, ResetRotateAndTranslate) {
  rider* r = make("cr125");
  ASSERT_NE(r, nullptr);
  const bike_model* row = &bike_models[0];

  rider_translate(r, 10, 2, -3);
  const dReal* p = dBodyGetPosition(r->bodies[RIDER_REAR_WHEEL]);
  EXPECT_NEAR(p[0], 10, 1e-6);
  EXPECT_NEAR(p[1], row->rear_wheel_position[1] + 2, 1e-6);
  EXPECT_NEAR(p[2], row->rear_wheel_position[2] - 3, 1e-6);

  rider_reset(r);
  rider_rotate(r, 0, 1, 0, (float)M_PI);
  // Facing +z now: the front wheel lies at +z of the frame.
  const dReal* front = dBodyGetPosition(r->bodies[RIDER_FRONT_WHEEL]);
  const dReal* frame = dBodyGetPosition(r->bodies[RIDER_FRAME]);
  EXPECT_GT(front[2], frame[2]);
  EXPECT_NEAR(front[2], -row->front_wheel_position[2], 1e-5);
  const dReal* m = dBodyGetRotation(r->bodies[RIDER_SWINGARM]);
  EXPECT_NEAR(m[0], -1, 1e-6);
  EXPECT_NEAR(m[10], -1, 1e-6);

  dBodySetLinearVel(r->bodies[RIDER_FRAME], 0, 0, 22);
  EXPECT_NEAR(rider_forward_speed_mph(r), 15, 1e-4);

  // Everything a race changes goes back at reset.
  r->throttle = 1;
  r->gear = 3;
  r->down = 1;
  r->finished = 1;
  r->timing_count = 4;
  r->timing_ticks.count = 4;
  r->pass_sample_lists[1].count = 2;
  r->velocity_ring[2][1] = 5;
  r->robot.personality = 9;
  r->activity = 0.5f;
  r->joint_feedback[2].f1[0] = 3;
  r->front_rut.point_count = 5;
  r->front_rut.points[4] = {40, 41, 0.5f, 0.5f, 3};
  r->rear_rut.sample_count = 2;
  r->rear_rut.travelled = 0.7f;
  r->rear_rut.points[63].b = 1;
  dJointAttach(r->joints[RIDER_PERSON_JOINT], nullptr, nullptr);  // fallen
  rider_reset(r);
  for (int i = 0; i < RIDER_BODY_COUNT; i++) {
    const dReal* q = dBodyGetQuaternion(r->bodies[i]);
    EXPECT_NEAR(q[0], 1, 1e-9) << i;
    const dReal* v = dBodyGetLinearVel(r->bodies[i]);
    EXPECT_EQ(v[2], 0) << i;
  }
  expect_near3(dBodyGetPosition(r->bodies[RIDER_FRONT_WHEEL]), row->front_wheel_position, "front wheel");
  expect_near3(dBodyGetPosition(r->bodies[RIDER_PERSON]), row->rider_position, "rider");
  EXPECT_EQ(dJointGetBody(r->joints[RIDER_PERSON_JOINT], 0), r->bodies[RIDER_PERSON]);
  EXPECT_EQ(dJointGetBody(r->joints[RIDER_PERSON_JOINT], 1), r->bodies[RIDER_FRAME]);
  EXPECT_EQ(r->throttle, 0);
  EXPECT_EQ(r->gear, 0);
  EXPECT_EQ(rider_is_down(r), 0);
  EXPECT_EQ(r->finished, 0);
  EXPECT_EQ(r->timing_count, 0);
  EXPECT_EQ(r->timing_ticks.count, 0u);
  EXPECT_EQ(r->timing_ticks.capacity, 16u);
  EXPECT_EQ(r->pass_sample_lists[1].count, 0u);
  EXPECT_EQ(r->velocity_ring[2][1], 0);
  EXPECT_EQ(r->robot.personality, 0);
  EXPECT_EQ(r->robot.lean_limit_tick, -1000000);
  EXPECT_EQ(r->roost_tick, -1);
  EXPECT_EQ(r->contact_tick, -1);
  EXPECT_FLOAT_EQ(r->land_damping, 1);
  EXPECT_FLOAT_EQ(r->activity, 1);
  EXPECT_EQ(r->joint_feedback[2].f1[0], 0);
  // The strokes start over: a restart must not join old ruts to new ones.
  EXPECT_EQ(r->front_rut.point_count, 0);
  EXPECT_EQ(r->front_rut.points[4].x, 0);
  EXPECT_EQ(r->front_rut.points[4].b, 0);
  EXPECT_EQ(r->rear_rut.sample_count, 0);
  EXPECT_EQ(r->rear_rut.travelled, 0);
  EXPECT_EQ(r->rear_rut.points[63].b, 0);
}

TEST_F(Riders, ActivityRule) {
  rider* r = make("cr125");
  ASSERT_NE(r, nullptr);
  auto enabled = [&] {
    int n = 0;
    for (dBodyID b : r->bodies) n += dBodyIsEnabled(b) ? 1 : 0;
    return n;
  };
  rider_deactivate(r);
  EXPECT_EQ(r->activity, 0);
  EXPECT_EQ(enabled(), 0);
  rider_wake_on_contact(r);
  EXPECT_EQ(r->activity, 1);
  EXPECT_EQ(enabled(), 7);
  rider_wake_on_contact(r);
  EXPECT_EQ(r->activity, 1);

  r->activity = 0.1f;
  rider_wake_on_contact(r);
  EXPECT_FLOAT_EQ(r->activity, 0.25f);
  EXPECT_EQ(enabled(), 0) << "0.25 is still inactive";

  rider_activate(r);
  r->activity = 0.25f + 1.0f / 128;
  rider_fade_remote(r);
  EXPECT_FLOAT_EQ(r->activity, 0.25f);
  EXPECT_EQ(enabled(), 0);
  rider_fade_remote(r);
  EXPECT_FLOAT_EQ(r->activity, 0.25f - 1.0f / 128);
  r->activity = 0.005f;
  rider_fade_remote(r);
  EXPECT_EQ(r->activity, 0);
  rider_fade_remote(r);
  EXPECT_EQ(r->activity, 0);

  // Forces gathered while inactive are dropped when the rider wakes.
  dBodySetForce(r->bodies[RIDER_FRAME], 5, 5, 5);
  rider_activate(r);
  EXPECT_EQ(dBodyGetForce(r->bodies[RIDER_FRAME])[0], 0);
  EXPECT_EQ(enabled(), 7);
  dBodySetForce(r->bodies[RIDER_FRAME], 5, 5, 5);
  rider_activate(r);
  EXPECT_EQ(dBodyGetForce(r->bodies[RIDER_FRAME])[0], 5) << "active riders keep theirs";
}

// The running order's first entry, the leader.
void leader_is(int slot, int crossings) {
  running_order.count = 1;
  running_order.entries[0] = {slot, crossings, 0};
}

TEST_F(Riders, HasFinishedAfterTheLeader) {
  rider* leader = make("cr125", 0);
  rider* other = make("cr125", 1);
  ASSERT_NE(leader, nullptr);
  ASSERT_NE(other, nullptr);
  rider_slots[0] = leader;
  rider_slots[1] = other;
  auto set_ticks = [](rider* r, std::initializer_list<int32_t> ticks) {
    r->timing_ticks.count = 0;
    for (int32_t t : ticks) growable_array_append(&r->timing_ticks, &t);
    r->timing_count = (int32_t)ticks.size();
  };
  // Three crossings make lap 1, two each later lap; the race is two laps,
  // so crossing 4 finishes it.
  set_lap_gates(1, 3, 2);
  race_clock.finish_lap = 2;
  leader_is(0, 5);
  set_ticks(leader, {100, 200, 300, 400, 500});

  set_ticks(other, {110, 210, 310, 410});  // one crossing short
  EXPECT_EQ(rider_has_finished(other), 0);
  set_ticks(other, {110, 210, 310, 410, 490});  // before the leader finished
  EXPECT_EQ(rider_has_finished(other), 0);
  set_ticks(other, {110, 210, 310, 410, 520});
  EXPECT_EQ(rider_has_finished(other), 1);
  set_ticks(other, {});
  EXPECT_EQ(rider_has_finished(other), 1) << "sticky";
  EXPECT_EQ(rider_has_finished(leader), 1);

  other->finished = 0;
  set_ticks(other, {110, 210, 310, 410, 520});
  leader_is(0, 4);  // leader not through crossing 4 yet
  EXPECT_EQ(rider_has_finished(other), 0);
  leader_is(7, 5);  // no rider in the leader's slot
  EXPECT_EQ(rider_has_finished(other), 0);
  set_lap_gates(0, 3, 2);
  leader_is(0, 5);
  EXPECT_EQ(rider_has_finished(other), 0) << "no gates, no finish";
  set_lap_gates(1, 3, 0x40000000);
  race_clock.finish_lap = 0x7FFFFFFF;
  EXPECT_EQ(rider_has_finished(other), 0) << "a lap count beyond reach";
  set_lap_gates(0, 0, 0);
  race_clock = {};
  running_order_clear();
  rider_slots[0] = rider_slots[1] = nullptr;
}

// Flat ground at y = 10 over 256 x 256 ft with one plain material.
height_field* flat_field() {
  height_field* f = new height_field;
  terrain_reset(f);
  EXPECT_EQ(terrain_create(f, 7, 2.0f), 1);
  const int n = f->size * f->size;
  for (int i = 0; i < n; i++) f->heights[i] = f->base_heights[i] = 10.0f;
  for (int k = 0; k < tile_curve_points; k++) {
    f->friction_value[0][k] = 1.0f;
    f->friction_slip[0][k] = k == 0 ? 1.0f : tile_unused_slip;
    f->roll_resist_pair[0][k][0] = 0.0f;
    f->roll_resist_pair[0][k][1] = 0.0f;
    f->roll_resist_key[0][k] = k == 0 ? 1.0f : 0.0f;
  }
  return f;
}

// The control step holds the steering, the suspension and the rider body
// with joint motors every tick; without it the test holds them still.
void hold_joints(rider* r) {
  const double force = 1e4;
  for (int j : {RIDER_STEERING, RIDER_SWINGARM_PIVOT}) {
    dJointSetHingeParam(r->joints[j], dParamVel, 0);
    dJointSetHingeParam(r->joints[j], dParamFMax, force);
  }
  dJointSetSliderParam(r->joints[RIDER_FORK_SLIDER], dParamVel, 0);
  dJointSetSliderParam(r->joints[RIDER_FORK_SLIDER], dParamFMax, force);
  dJointSetHinge2Param(r->joints[RIDER_PERSON_JOINT], dParamVel2, 0);
  dJointSetHinge2Param(r->joints[RIDER_PERSON_JOINT], dParamFMax2, force);
}

TEST_F(Riders, DroppedOnFlatGroundSettlesOnItsWheels) {
  height_field* field = flat_field();
  for (const char* name : {"cr125", "crf450(2018)", "rs50cr"}) {
    SCOPED_TRACE(name);
    rider* r = make(name);
    ASSERT_NE(r, nullptr);
    const bike_model* row = rider_model(r);
    rider_rotate(r, 0, 1, 0, 0.5f);
    // Dropped from half a foot above the ground.
    rider_translate(r, 128, 10 + 0.5f, 128);
    rider_activate(r);
    hold_joints(r);
    int front_touches = 0, rear_touches = 0;
    for (int tick = 0; tick < 384; tick++) {
      front_touches += collide_tyre_terrain(field, &r->front_contact, 1.0f);
      rear_touches += collide_tyre_terrain(field, &r->rear_contact, 1.0f);
      riders_add_gyroscopic_torques();
      ASSERT_EQ(dynamics_step(1.0 / 128), 1);
    }
    EXPECT_GT(front_touches, 200);
    EXPECT_GT(rear_touches, 200);
    for (int i = 0; i < RIDER_BODY_COUNT; i++) {
      const dReal* p = dBodyGetPosition(r->bodies[i]);
      const dReal* v = dBodyGetLinearVel(r->bodies[i]);
      const dReal* w = dBodyGetAngularVel(r->bodies[i]);
      for (int k = 0; k < 3; k++) {
        ASSERT_TRUE(std::isfinite(p[k]) && std::isfinite(v[k]) && std::isfinite(w[k])) << i;
      }
      EXPECT_GT(p[1], 10) << "body " << i << " above the ground";
      EXPECT_LT(std::fabs(v[1]), 0.5) << "body " << i << " at rest";
    }
    // Wheels on the ground: centres one rim and tyre above it, pressed in a
    // little.
    const double front_y = dBodyGetPosition(r->bodies[RIDER_FRONT_WHEEL])[1];
    const double rear_y = dBodyGetPosition(r->bodies[RIDER_REAR_WHEEL])[1];
    EXPECT_NEAR(front_y, 10 + row->front_rim_radius + row->front_tyre_radius, 0.15);
    EXPECT_NEAR(rear_y, 10 + row->rear_rim_radius + row->rear_tyre_radius, 0.15);
    EXPECT_GT(r->front_contact.depth, 0);
    EXPECT_GT(r->rear_contact.depth, 0);
    // Upright still: the frame's up axis points up.
    EXPECT_GT(dBodyGetRotation(r->bodies[RIDER_FRAME])[5], 0.9);
    rider_destroy(r);
  }
  free_terrain(field);
  delete field;
}

TEST(RiderParts, SkinVariantNames) {
  struct {
    const char* path;
    const char* skin;
    const char* extension;
    const char* want;  // null: no variant
  } cases[] = {
      {"@cr125_frame.jm", "@skins/bike-red-fast.png", ".jm", "@cr125_frame-red.jm"},
      {"@cr125_frame-blue.jm", "@bike-red-fast.png", ".jm", "@cr125_frame-red.jm"},
      {"@skins/bike-red-fast.png", "@skins/bike-red-fast.png", ".foo", "@skins/bike-red.foo"},
      {"@cr125.png", "@skins/bike-red-fast.png", ".foo", "@cr125-red.foo"},
      {"@cr125_frame.jm", "@skins/bike-red.png", ".jm", nullptr},  // one "-" only
      {"@cr125_frame.jm", "@sk-a-b/bike.png", ".jm", nullptr},      // dashes before the "/"
      {"@dir.x/frame", "@bike-red-fast.png", ".jm", nullptr},       // the "." is in a folder
  };
  for (const auto& c : cases) {
    char out[128];
    const int got = skin_variant_name(out, sizeof out, c.path, c.skin, c.extension);
    if (c.want) {
      EXPECT_EQ(got, 1) << c.path << " " << c.skin;
      EXPECT_STREQ(out, c.want);
    } else {
      EXPECT_EQ(got, 0) << c.path << " " << c.skin;
    }
  }
  char tiny[8];
  EXPECT_EQ(skin_variant_name(tiny, sizeof tiny, "@cr125_frame.jm", "@bike-red-fast.png", ".jm"), 0);
}

TEST(RiderParts, PlateColoursFromTheInfoText) {
  struct {
    const char* info;
    uint8_t want[3];
  } cases[] = {
      {"[numberbackground:2,0.5,-1]", {255, 127, 0}},
      {"x [numberbackground:0.2,0.4,0.6] y", {51, 102, 153}},
      {"[numberbackground:0.5,0.5]", {9, 9, 9}},  // two numbers: unchanged
      {"[numberforeground:0,0,0]", {9, 9, 9}},    // another key
      {nullptr, {9, 9, 9}},
  };
  for (const auto& c : cases) {
    uint8_t colour[3] = {9, 9, 9};
    rider_read_plate_colour(c.info, "[numberbackground:", colour);
    EXPECT_EQ(colour[0], c.want[0]) << (c.info ? c.info : "null");
    EXPECT_EQ(colour[1], c.want[1]);
    EXPECT_EQ(colour[2], c.want[2]);
  }
}

TEST(RiderBuild, GyroscopicTorqueIsMinusOmegaCrossAngularMomentum) {
  ASSERT_EQ(dynamics_open(), 1);
  dBodyID b = dBodyCreate(dynamics_world);
  dMass m;
  dMassSetBoxTotal(&m, 2, 1, 2, 3);
  dBodySetMass(b, &m);
  dMatrix3 turn;
  dRFromAxisAndAngle(turn, 1, 1, 0, 0.7);
  dBodySetRotation(b, turn);
  const double w[3] = {0.5, -1.5, 2.0};
  dBodySetAngularVel(b, w[0], w[1], w[2]);
  body_add_gyroscopic_torque(b);
  // I_world = R I R^T, written out.
  double iw[3] = {0, 0, 0};
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) {
      double e = 0;
      for (int k = 0; k < 3; k++) e += turn[i * 4 + k] * m.I[k * 4 + k] * turn[j * 4 + k];
      iw[i] += e * w[j];
    }
  const double want[3] = {-(w[1] * iw[2] - w[2] * iw[1]), -(w[2] * iw[0] - w[0] * iw[2]),
                          -(w[0] * iw[1] - w[1] * iw[0])};
  const dReal* t = dBodyGetTorque(b);
  for (int i = 0; i < 3; i++) EXPECT_NEAR(t[i], want[i], 1e-9) << i;
  EXPECT_GT(std::fabs(want[0]) + std::fabs(want[1]) + std::fabs(want[2]), 0.1);

  dBodySetTorque(b, 0, 0, 0);
  dBodyDisable(b);
  body_add_gyroscopic_torque(b);
  EXPECT_EQ(dBodyGetTorque(b)[0], 0) << "disabled bodies are left alone";
  dBodyDestroy(b);
  dynamics_close();
}

}  // namespace
