#include "bike/packed_pose.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_setters.h"
#include "bike/riders_step.h"
#include "bike/test_support_riders.h"
#include "terrain/height_field.h"

namespace {

const double pi = 3.14159265358979323846;

class Pose : public ::testing::Test {
 protected:
  void SetUp() override {
    test_track_open();
    race_clock = {};
    demo_playback = {};
  }
  void TearDown() override {
    for (rider*& s : rider_slots) s = nullptr;
    race_clock = {};
    demo_playback = {};
    test_track_close();
  }

  // A rider in the slots, stepped by riders_step.
  rider* ridden(float heading = 0) {
    rider* r = test_rider_place("cr125", 0, 128, 128, heading);
    test_rider_give_shapes(r);
    rider_slots[0] = r;
    rider_slot_kind[0] = RIDER_LOCAL;
    rider_activate(r);
    return r;
  }

  // A rider only shown from poses: out of the slots, bodies disabled.
  rider* shown(unsigned slot = 1) {
    rider* r = test_rider_place("cr125", slot, 64, 64);
    rider_deactivate(r);
    return r;
  }

  void run(int n) {
    for (int i = 0; i < n; i++) {
      race_clock.current_tick += 1;
      ASSERT_NE(riders_step(nullptr), 0);
    }
  }
};

uint32_t le(const packed_pose& p, int at, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; i++) v |= (uint32_t)p.bytes[at + i] << (8 * i);
  return v;
}

void put_le(packed_pose* p, int at, int n, uint32_t v) {
  for (int i = 0; i < n; i++) p->bytes[at + i] = (uint8_t)(v >> (8 * i));
}

// Decoded quaternion of a pose field, normalised, w made positive.
void pose_quaternion(const packed_pose& p, int at, double q[4]) {
  double n = 0;
  for (int i = 0; i < 4; i++) {
    q[i] = 2 * le(p, at + 2 * i, 2) / 65535.0 - 1;
    n += q[i] * q[i];
  }
  n = std::sqrt(n) * (q[0] < 0 ? -1 : 1);
  for (int i = 0; i < 4; i++) q[i] /= n;
}

void set_quaternion(packed_pose* p, int at, const double q[4]) {
  for (int i = 0; i < 4; i++) put_le(p, at + 2 * i, 2, (uint32_t)std::floor((q[i] + 1) * 0.5 * 65535 + 0.5));
}

double distance(const dReal* a, const dReal* b) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// Angle between two body orientations.
double turn_between(dBodyID a, dBodyID b) {
  const dReal* qa = dBodyGetQuaternion(a);
  const dReal* qb = dBodyGetQuaternion(b);
  const double d = std::fabs(qa[0] * qb[0] + qa[1] * qb[1] + qa[2] * qb[2] + qa[3] * qb[3]);
  return 2 * std::acos(std::fmin(1.0, d));
}

TEST_F(Pose, PackGoldenBytes) {
  struct golden {
    const char* what;
    std::function<void(rider*)> set;
    int at;
    std::vector<uint8_t> bytes;
  };
  const float E = track_field.extent;
  auto frame_at = [](rider* r, double x, double y, double z) { dBodySetPosition(r->bodies[RIDER_FRAME], x, y, z); };
  const std::vector<golden> table = {
      {"x at the extent", [&](rider* r) { frame_at(r, E, 12, 5); }, 0, {0xFF, 0xFF, 0xFF}},
      {"x beyond the extent", [&](rider* r) { frame_at(r, E + 40, 12, 5); }, 0, {0xFF, 0xFF, 0xFF}},
      {"x below 0", [&](rider* r) { frame_at(r, -3, 12, 5); }, 0, {0, 0, 0}},
      {"x not a number", [&](rider* r) { frame_at(r, NAN, 12, 5); }, 0, {0, 0, 0}},
      {"x infinite", [&](rider* r) { frame_at(r, INFINITY, 12, 5); }, 0, {0, 0, 0}},
      {"z at half the extent", [&](rider* r) { frame_at(r, 5, 12, E / 2); }, 6, {0x00, 0x00, 0x80}},
      {"identity: w = 1, x = y = z = 0", [](rider*) {}, 9, {0xFF, 0xFF, 0x00, 0x80, 0x00, 0x80, 0x00, 0x80}},
      {"throttle 1 in gear 2",
       [](rider* r) {
         r->throttle = 1;
         r->gear = 2;
       },
       36, {0xF2}},
      {"foot down, gear 9, throttle 0.5",
       [](rider* r) {
         r->ramp = 0.1f;
         r->gear = 9;
         r->throttle = 0.5f;
       },
       36, {0x7E}},
      {"down counter 128", [](rider* r) { r->down_counter = 128; }, 36, {0xF7}},
      {"down counter 1", [](rider* r) { r->down_counter = 1; }, 36, {0x07}},
      {"down counter huge", [](rider* r) { r->down_counter = 2000000000; }, 36, {0xF7}},
      {"throttle not a number", [](rider* r) { r->throttle = NAN; }, 36, {0x00}},
      {"rpm 32768", [](rider* r) { r->engine_speed = (float)(32768 * 2 * pi / 60); }, 37, {0xFF, 0xFF}},
      {"rpm above 32768", [](rider* r) { r->engine_speed = 9000; }, 37, {0xFF, 0xFF}},
      {"rpm 8192", [](rider* r) { r->engine_speed = (float)(8192 * 2 * pi / 60); }, 37, {0x00, 0x40}},
      {"rpm negative", [](rider* r) { r->engine_speed = -50; }, 37, {0, 0}},
      {"rpm infinite", [](rider* r) { r->engine_speed = INFINITY; }, 37, {0, 0}},
  };
  for (const golden& g : table) {
    rider* r = test_rider_place("cr125", 0, 64, 64);
    g.set(r);
    packed_pose p;
    rider_pack_pose(r, &p);
    for (size_t i = 0; i < g.bytes.size(); i++)
      EXPECT_EQ(p.bytes[g.at + i], g.bytes[i]) << g.what << ", byte " << g.at + i;
    rider_destroy(r);
  }
}

TEST_F(Pose, PackWithoutTerrainLeavesThePositionZero) {
  rider* r = test_rider_place("cr125", 0, 64, 64);
  track_field.extent = 0;
  packed_pose p;
  rider_pack_pose(r, &p);
  for (int i = 0; i < 9; i++) EXPECT_EQ(p.bytes[i], 0) << i;
  EXPECT_EQ(le(p, 9, 2), 0xFFFFu);  // the rest still packs
}

TEST_F(Pose, StatusReadsBackDownAndRiding) {
  rider* r = shown();
  packed_pose p;
  rider_pack_pose(r, &p);
  p.bytes[36] = 0xF7;
  ASSERT_EQ(rider_unpack_pose(r, &p, 5), 1);
  EXPECT_EQ(r->down_counter, 128);
  EXPECT_EQ(r->throttle, 0);
  EXPECT_EQ(dJointGetBody(r->joints[RIDER_PERSON_JOINT], 0), nullptr);

  // Riding again: the joint is back between rider and frame, the rider body
  // where the pose puts it.
  p.bytes[36] = 0xA6;  // gear 6, throttle 10/15
  ASSERT_EQ(rider_unpack_pose(r, &p, 5), 1);
  EXPECT_EQ(r->down_counter, 0);
  EXPECT_EQ(dJointGetBody(r->joints[RIDER_PERSON_JOINT], 0), r->bodies[RIDER_PERSON]);
  EXPECT_EQ(dJointGetBody(r->joints[RIDER_PERSON_JOINT], 1), r->bodies[RIDER_FRAME]);
  EXPECT_NEAR(r->throttle, 10.0f / 15, 1e-6);
  const bike_model* m = rider_model(r);
  int gear = 5;
  while (gear > 0 && !(m->gear_ratios[gear] > 0)) gear--;
  EXPECT_EQ(r->gear, gear);
  packed_pose again;
  rider_pack_pose(r, &again);
  for (int i = 20; i < 34; i++) EXPECT_NEAR(again.bytes[i], p.bytes[i], 1) << i;

  p.bytes[37] = 0x00;
  p.bytes[38] = 0x80;
  rider_unpack_pose(r, &p, 5);
  EXPECT_NEAR(r->engine_speed * 60 / (2 * pi), 16384.25, 0.01);
}

TEST_F(Pose, SwingarmAndForkBitZeroIsNeitherWrittenNorRead) {
  rider* r = shown();
  const bike_model* m = rider_model(r);
  packed_pose p;
  rider_pack_pose(r, &p);
  p.bytes[18] = 101;
  p.bytes[19] = 77;
  rider_unpack_pose(r, &p, 5);
  packed_pose q;
  rider_pack_pose(r, &q);
  EXPECT_EQ(q.bytes[18], 100);
  EXPECT_EQ(q.bytes[19], 76);

  // Turn the swingarm on to code 101 exactly: it still packs as 100.
  const double S = m->shock_linkage[BIKE_SWINGARM_TRAVEL];
  const double w = 101 / 255.0 * S - S;
  dMatrix3 turn;
  dRFromAxisAndAngle(turn, 1, 0, 0, w);
  dBodyID frame = r->bodies[RIDER_FRAME];
  dMatrix3 rot;
  dMultiply0_333(rot, dBodyGetRotation(frame), turn);
  const double y = m->swingarm_position[1] - m->swingarm_pivot[1];
  const double z = m->swingarm_position[2] - m->swingarm_pivot[2];
  dVector3 at;
  dBodyGetRelPointPos(frame, m->swingarm_position[0] - m->frame_position[0],
                      m->swingarm_pivot[1] + y * std::cos(w) - z * std::sin(w) - m->frame_position[1],
                      m->swingarm_pivot[2] + y * std::sin(w) + z * std::cos(w) - m->frame_position[2], at);
  dBodySetRotation(r->bodies[RIDER_SWINGARM], rot);
  dBodySetPosition(r->bodies[RIDER_SWINGARM], at[0], at[1], at[2]);
  ASSERT_NEAR((dJointGetHingeAngle(r->joints[RIDER_SWINGARM_PIVOT]) + S) / S * 255, 101, 0.01);
  rider_pack_pose(r, &q);
  EXPECT_EQ(q.bytes[18], 100);
}

TEST_F(Pose, ZeroQuaternionsDecodeAsNoTurn) {
  rider* r = shown();
  packed_pose p;
  rider_pack_pose(r, &p);
  for (int at : {9, 26})
    for (int i = 0; i < 4; i++) put_le(&p, at + 2 * i, 2, 0x8000);
  ASSERT_EQ(rider_unpack_pose(r, &p, 5), 1);
  for (dBodyID b : {r->bodies[RIDER_FRAME], r->bodies[RIDER_PERSON]}) {
    const dReal* q = dBodyGetQuaternion(b);
    EXPECT_NEAR(std::fabs(q[0]), 1, 1e-9);
    for (int i = 0; i < 4; i++) EXPECT_TRUE(std::isfinite(q[i]));
  }
  packed_pose out;
  interpolate_packed_state(&out, &p, &p, 0.5);
  EXPECT_EQ(le(out, 9, 2), 0xFFFFu);
  EXPECT_EQ(le(out, 11, 2), 0x8000u);
  EXPECT_EQ(le(out, 26, 2), 0xFFFFu);
}

TEST_F(Pose, InterpolateGolden) {
  packed_pose a = {}, b = {};
  for (int i = 0; i < packed_pose_size; i++) {
    a.bytes[i] = (uint8_t)(i * 7);
    b.bytes[i] = (uint8_t)(i * 7 + 20);
  }
  const double q0[4] = {1, 0, 0, 0};
  set_quaternion(&a, 9, q0);
  set_quaternion(&b, 9, q0);
  set_quaternion(&a, 26, q0);
  set_quaternion(&b, 26, q0);
  packed_pose out;

  struct wheel_case {
    uint8_t a, b;
    double t;
    uint8_t want;
  };
  for (const wheel_case& c : std::vector<wheel_case>{{250, 5, 0.5, 0},   // forward through the wrap
                                                     {5, 0, 0.5, 3},     // a small turn back stays back
                                                     {0, 250, 0.5, 253}, // a small turn back through the wrap
                                                     {10, 100, 0.5, 55},
                                                     {10, 200, 0.5, 105},  // forward, not 3/4 of a turn back
                                                     {200, 10, 0.25, 216}}) {
    a.bytes[34] = c.a;
    b.bytes[34] = c.b;
    interpolate_packed_state(&out, &a, &b, c.t);
    EXPECT_EQ(out.bytes[34], c.want) << (int)c.a << " to " << (int)c.b;
  }

  // t = 0, and a version-4 demo: a copy of a.
  interpolate_packed_state(&out, &a, &b, 0);
  EXPECT_EQ(std::memcmp(out.bytes, a.bytes, packed_pose_size), 0);
  demo_playback = {1, 4};
  interpolate_packed_state(&out, &a, &b, 0.5);
  EXPECT_EQ(std::memcmp(out.bytes, a.bytes, packed_pose_size), 0);
  demo_playback = {1, 5};

  // Positions, angles and offsets are linear; status from a; bit 0 of the
  // swingarm and fork bytes clear.
  a.bytes[18] = 10;
  b.bytes[18] = 12;
  a.bytes[19] = 40;
  b.bytes[19] = 43;
  put_le(&a, 0, 3, 1000);
  put_le(&b, 0, 3, 3000);
  put_le(&a, 37, 2, 100);
  put_le(&b, 37, 2, 200);
  a.bytes[36] = 0x53;
  b.bytes[36] = 0xF7;
  interpolate_packed_state(&out, &a, &b, 0.5);
  EXPECT_EQ(le(out, 0, 3), 2000u);
  EXPECT_EQ(out.bytes[18], 10);
  EXPECT_EQ(out.bytes[19], 42);
  EXPECT_EQ(le(out, 37, 2), 150u);
  EXPECT_EQ(out.bytes[36], 0x53);
  // Far beyond b: clamped to the box.
  put_le(&b, 0, 3, 0xFFFFF0);
  interpolate_packed_state(&out, &a, &b, 3);
  EXPECT_EQ(le(out, 0, 3), 0xFFFFFFu);

  // Opposite signs: the short way, between the two turns, not through zero.
  const double half = 0.1;
  const double qa[4] = {std::cos(half), std::sin(half), 0, 0};      // 0.2 rad about x
  const double qb[4] = {-std::cos(3 * half), -std::sin(3 * half), 0, 0};  // 0.6 rad, other sign
  set_quaternion(&a, 9, qa);
  set_quaternion(&b, 9, qb);
  interpolate_packed_state(&out, &a, &b, 0.5);
  double q[4];
  pose_quaternion(out, 9, q);
  EXPECT_NEAR(2 * std::atan2(q[1], q[0]), 0.4, 1e-3);
  EXPECT_NEAR(q[2], 0, 1e-4);
  // t above 1 is held at b for the turns.
  interpolate_packed_state(&out, &a, &b, 4);
  pose_quaternion(out, 9, q);
  EXPECT_NEAR(2 * std::atan2(q[1], q[0]), 0.6, 1e-3);
}

TEST_F(Pose, RoundTripOnARiddenBike) {
  // Riding, leaning into a turn, on the suspension: pack, place a shown
  // rider from it and pack again.
  rider* a = ridden(0.5f);
  rider_set_clutch(a, 1);
  rider_set_throttle(a, 1);
  run(256);
  rider_set_throttle(a, 0.6f);
  rider_set_steer(a, 0.4f);
  rider* b = shown();
  for (int round = 0; round < 4; round++) {
    run(48);
    packed_pose p, q;
    rider_pack_pose(a, &p);
    ASSERT_EQ(rider_unpack_pose(b, &p, 5), 1);
    rider_pack_pose(b, &q);
    for (int i = 0; i < packed_pose_size;) {
      const bool quaternion = (i >= 9 && i < 17) || (i >= 26 && i < 34);
      const bool offset = i >= 20 && i < 26;
      const int n = i < 9 ? 3 : (quaternion || offset || i == 37) ? 2 : 1;
      const int slack = quaternion || offset || i == 17 || i == 34 || i == 35 ? 1 : (i == 18 || i == 19) ? 2 : 0;
      EXPECT_LE(std::abs((int)le(q, i, n) - (int)le(p, i, n)), slack) << "byte " << i << ", round " << round;
      i += n;
    }

    // Each body of b lies where a's is, within what the fields can say:
    // the frame within its position step, the others within the steps of
    // the angles and slides that carry them.
    const float E = track_field.extent;
    const double frame_step = E / 16777215.0;
    const double turn_step = 2.0 / 65535 * 2;
    const double angle_step = pi / 2 / 255;
    const double S = rider_model(a)->shock_linkage[BIKE_SWINGARM_TRAVEL];
    const double F = rider_model(a)->fork_travel;
    const double tolerance[RIDER_BODY_COUNT] = {
        frame_step,                                           // frame
        0.01 + 3 * (turn_step + angle_step) + F / 255 * 2,    // front wheel
        0.01 + 3 * (turn_step + S / 255 * 2),                 // rear wheel
        0.01 + 3 * turn_step,                                 // fork upper
        0.01 + 3 * (turn_step + angle_step) + F / 255 * 2,    // fork lower
        0.01 + 3 * (turn_step + S / 255 * 2),                 // swingarm
        frame_step + 32.0 / 65535,                            // rider
    };
    for (int k = 0; k < RIDER_BODY_COUNT; k++) {
      EXPECT_LE(distance(dBodyGetPosition(a->bodies[k]), dBodyGetPosition(b->bodies[k])), tolerance[k] + 1e-6)
          << "body " << k << ", round " << round;
      if (k == RIDER_FRONT_WHEEL || k == RIDER_REAR_WHEEL) continue;  // turned by the wheel bytes
      EXPECT_LE(turn_between(a->bodies[k], b->bodies[k]), 0.02) << "body " << k;
    }
    EXPECT_EQ(b->gear, a->gear);
    EXPECT_NEAR(b->engine_speed, a->engine_speed, 0.5f);
  }
}

TEST_F(Pose, ReplayFollowsTheRecordedRider) {
  rider* a = ridden(0.3f);
  rider_set_clutch(a, 1);
  rider_set_throttle(a, 1);
  run(64);
  struct sample {
    packed_pose pose;
    double position[3];
    double velocity[3];
  };
  std::vector<sample> samples;
  for (int i = 0; i < 64; i++) {
    if (i == 32) rider_set_steer(a, -0.3f);
    run(4);
    sample s;
    rider_pack_pose(a, &s.pose);
    for (int k = 0; k < 3; k++) {
      s.position[k] = dBodyGetPosition(a->bodies[RIDER_FRAME])[k];
      s.velocity[k] = dBodyGetLinearVel(a->bodies[RIDER_FRAME])[k];
    }
    samples.push_back(s);
  }
  rider* b = shown();
  for (size_t i = 1; i + 1 < samples.size(); i++) {
    rider_apply_packed_pose(b, &samples[i].pose, &samples[i - 1].pose, &samples[i + 1].pose, 8, 5);
    const dReal* p = dBodyGetPosition(b->bodies[RIDER_FRAME]);
    EXPECT_LT(distance(p, samples[i].position), 0.05) << "sample " << i;
    const dReal* v = dBodyGetLinearVel(b->bodies[RIDER_FRAME]);
    const double* want = samples[i].velocity;
    const double speed = std::sqrt(want[0] * want[0] + want[1] * want[1] + want[2] * want[2]);
    EXPECT_LT(distance(v, want), std::fmax(0.05 * speed, 0.1)) << "sample " << i << " at " << speed << " ft/s";
  }
  EXPECT_EQ(b->down_counter, 0);
  EXPECT_FALSE(rider_is_active(b));
}

TEST_F(Pose, ReplayTurnsTheBodiesAtTheRecordedRate) {
  rider* b = shown();
  packed_pose before, after;
  rider_pack_pose(b, &before);
  after = before;
  // The frame turned 0.08 rad about y over 8 ticks.
  const double q[4] = {std::cos(0.04), 0, std::sin(0.04), 0};
  set_quaternion(&after, 9, q);
  rider_apply_packed_pose(b, &after, &before, &after, 8, 5);
  const dReal* w = dBodyGetAngularVel(b->bodies[RIDER_FRAME]);
  EXPECT_NEAR(w[1], 0.08 * 16, 0.01);
  EXPECT_NEAR(w[0], 0, 0.01);
  // A gap of 0 counts as 1.
  rider_apply_packed_pose(b, &after, &before, &after, 0, 5);
  EXPECT_NEAR(dBodyGetAngularVel(b->bodies[RIDER_FRAME])[1], 0.08 * 128, 0.1);
}

TEST_F(Pose, APoseBelowTheGroundIsLifted) {
  rider* b = shown();
  packed_pose p;
  rider_translate(b, 0, -3, 0);
  rider_pack_pose(b, &p);
  rider_apply_packed_pose(b, &p, &p, &p, 4, 5);
  const bike_model* m = rider_model(b);
  const dReal* axle = dBodyGetPosition(b->bodies[RIDER_REAR_WHEEL]);
  EXPECT_NEAR(axle[1] - m->rear_rim_radius, test_ground, 1e-3);
  // All seven moved together: the rider sits where it sat.
  const dReal* frame = dBodyGetPosition(b->bodies[RIDER_FRAME]);
  EXPECT_NEAR(frame[1] - axle[1], m->frame_position[1] - m->rear_wheel_position[1], 0.05);
  // Above the ground nothing moves.
  rider_translate(b, 0, 2, 0);
  rider_pack_pose(b, &p);
  const double y = dBodyGetPosition(b->bodies[RIDER_FRAME])[1];
  rider_apply_packed_pose(b, &p, &p, &p, 4, 5);
  EXPECT_NEAR(dBodyGetPosition(b->bodies[RIDER_FRAME])[1], y, 1e-3);
}

TEST_F(Pose, GoingDownStartsTheFeetAndRaisesTheFootDown) {
  rider* b = shown();
  packed_pose p;
  rider_pack_pose(b, &p);
  for (dBodyID body : b->bodies) dBodySetLinearVel(body, 0, 0, 0);
  p.bytes[36] = 0xF7;
  rider_apply_packed_pose(b, &p, &p, &p, 4, 5);
  EXPECT_EQ(b->down_counter, 128);
  EXPECT_NE(b->point_a_pos[0], 0.0f);
  EXPECT_NEAR(b->ramp, 8.0f / 128, 1e-6);
  p.bytes[36] = 0x08;  // riding, foot down
  rider_apply_packed_pose(b, &p, &p, &p, 4, 5);
  EXPECT_EQ(b->down_counter, 0);
  EXPECT_NEAR(b->ramp, 16.0f / 128, 1e-6);
}

TEST_F(Pose, OnlyVersionsFourAndFiveApply) {
  rider* b = shown();
  packed_pose p;
  rider_pack_pose(b, &p);
  const double before = dBodyGetPosition(b->bodies[RIDER_FRAME])[0];
  put_le(&p, 0, 3, 0x400000);
  for (int version : {0, 3, 6, -1}) {
    rider_apply_packed_pose(b, &p, &p, &p, 4, version);
    EXPECT_EQ(rider_unpack_pose(b, &p, version), 0);
    EXPECT_EQ(dBodyGetPosition(b->bodies[RIDER_FRAME])[0], before) << version;
  }
  EXPECT_EQ(packed_pose_bytes_for_version(4), 26);
  EXPECT_EQ(packed_pose_bytes_for_version(5), 39);
  EXPECT_EQ(packed_pose_bytes_for_version(6), 0);
}

TEST_F(Pose, VersionFourPutsTheRiderAlongItsTravel) {
  rider* b = shown();
  const bike_model* m = rider_model(b);
  packed_pose p;
  rider_pack_pose(b, &p);
  // Version 4: byte 20 the rider's travel, 21-22 wheels, 23 status, 24-25 rpm.
  p.bytes[20] = 255;
  p.bytes[23] = 0x32;
  put_le(&p, 24, 2, 0xFFFF);
  ASSERT_EQ(rider_unpack_pose(b, &p, 4), 1);
  dVector3 want;
  double axis[3] = {m->rider_axis[0], m->rider_axis[1], m->rider_axis[2]};
  const double n = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
  dBodyGetRelPointPos(b->bodies[RIDER_FRAME], m->rider_position[0] + m->rider_travel_max * axis[0] / n - m->frame_position[0],
                      m->rider_position[1] + m->rider_travel_max * axis[1] / n - m->frame_position[1],
                      m->rider_position[2] + m->rider_travel_max * axis[2] / n - m->frame_position[2], want);
  EXPECT_LT(distance(dBodyGetPosition(b->bodies[RIDER_PERSON]), want), 1e-6);
  EXPECT_LT(turn_between(b->bodies[RIDER_PERSON], b->bodies[RIDER_FRAME]), 1e-6);
  EXPECT_NEAR(b->throttle, 0.2f, 1e-6);
  EXPECT_NEAR(b->engine_speed * 60 / (2 * pi), 32768, 0.1);
}

TEST_F(Pose, AnActiveRiderIsPulledToThePose) {
  rider* a = ridden();
  run(128);
  // Ahead, the way the bike rolls.
  packed_pose target;
  rider_translate(a, 0, 0, -3);
  rider_pack_pose(a, &target);
  rider_translate(a, 0, 0, 3);
  const double z0 = dBodyGetPosition(a->bodies[RIDER_FRAME])[2];
  rider_set_activity(a, 0.5f);
  for (int i = 0; i < 256; i++) {
    rider_apply_packed_pose(a, &target, &target, &target, 4, 5);
    run(1);
  }
  const double moved = z0 - dBodyGetPosition(a->bodies[RIDER_FRAME])[2];
  EXPECT_GT(moved, 2.0);
  EXPECT_LT(moved, 3.5);
  EXPECT_EQ(a->crash_count, 0);
}

TEST_F(Pose, ActivePullStaysWithinItsLimits) {
  rider* a = ridden();
  packed_pose target;
  rider_pack_pose(a, &target);
  const double turned[4] = {std::cos(1.2), 0.6 * std::sin(1.2), 0.8 * std::sin(1.2), 0};
  // The previous pose lies 40 ft behind the next: with a gap of 1 or less
  // (counted as 1) that asks for a large target speed.
  packed_pose previous = target;
  put_le(&previous, 0, 3, le(target, 0, 3) - (uint32_t)(40.0 / track_field.extent * 16777215));
  int gap = 4;
  for (float activity : {0.26f, 0.4f, 0.6f, 0.7f})
    for (double offset : {0.01, 1.0, 3.0, 100.0, 1000.0}) {
      gap = gap == 4 ? 0 : gap == 0 ? -3 : 4;
      packed_pose p = target;
      set_quaternion(&p, 9, turned);
      dBodyID frame = a->bodies[RIDER_FRAME];
      rider_set_activity(a, activity);
      dBodySetPosition(frame, 128 + offset, 12, 128 - offset);
      dBodySetLinearVel(frame, 0, offset, 0);
      dBodySetAngularVel(frame, offset, 0, 0);
      dBodySetForce(frame, 0, 0, 0);
      dBodySetTorque(frame, 0, 0, 0);
      rider_unpack_pose_active(a, &p, &previous, &p, gap);
      const dReal* f = dBodyGetForce(frame);
      const dReal* t = dBodyGetTorque(frame);
      const double zero[3] = {0, 0, 0};
      for (int i = 0; i < 3; i++) ASSERT_TRUE(std::isfinite(f[i]) && std::isfinite(t[i]));
      EXPECT_LE(distance(f, zero), 2500 + 1e-6) << activity << ", " << offset;
      EXPECT_LE(distance(t, zero), 2500 + 1e-6) << activity << ", " << offset;
      EXPECT_GT(distance(f, zero), 0) << activity << ", " << offset;
    }
}

TEST_F(Pose, ActiveRiderTakesItsControlsFromThePose) {
  rider* a = ridden();
  packed_pose p;
  rider_pack_pose(a, &p);
  p.bytes[17] = 255;   // full right lock
  p.bytes[36] = 0xF9;  // gear 1, foot down, full throttle
  put_le(&p, 37, 2, 0x8000);
  rider_unpack_pose_active(a, &p, &p, &p, 4);
  EXPECT_GT(a->steer, 0.15f);
  EXPECT_EQ(a->gear, 1);
  EXPECT_EQ(a->throttle, 1.0f);
  EXPECT_EQ(a->dab, 1.0f);
  EXPECT_NEAR(a->engine_speed * 60 / (2 * pi), 16384.25, 0.01);
  // Sitting where the rest geometry puts the rider: no lean.
  EXPECT_NEAR(a->lean, 0, 0.01);

  p.bytes[36] = 0xF7;
  rider_unpack_pose_active(a, &p, &p, &p, 4);
  EXPECT_EQ(a->down_counter, 128);
  EXPECT_EQ(dJointGetBody(a->joints[RIDER_PERSON_JOINT], 0), nullptr);
  EXPECT_EQ(a->throttle, 0);
  EXPECT_EQ(a->dab, 0);
  EXPECT_EQ(a->lean, 0);
  p.bytes[36] = 0x01;
  rider_unpack_pose_active(a, &p, &p, &p, 4);
  EXPECT_EQ(a->down_counter, 0);
  EXPECT_EQ(dJointGetBody(a->joints[RIDER_PERSON_JOINT], 0), a->bodies[RIDER_PERSON]);
}

TEST(PoseHelpers, RotationVectorAndSignedAngle) {
  double out[3];
  const double q1[4] = {1, 0, 0, 0};
  rotation_vector_between(q1, q1, out);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(out[2], 0);
  const double q2[4] = {std::cos(0.3), 0, 0, std::sin(0.3)};
  rotation_vector_between(q1, q2, out);
  EXPECT_NEAR(out[2], 0.6, 1e-12);
  // The same turn given with the other sign goes the short way.
  const double q3[4] = {-q2[0], 0, 0, -q2[3]};
  rotation_vector_between(q1, q3, out);
  EXPECT_NEAR(out[2], 0.6, 1e-12);
  rotation_vector_between(q2, q1, out);
  EXPECT_NEAR(out[2], -0.6, 1e-12);

  struct angle_case {
    double axis[3], a[3], b[3];
    double want[3];
  };
  for (const angle_case& c : std::vector<angle_case>{
           {{0, 0, 2}, {1, 0, 0}, {0, 3, 0}, {0, 0, pi / 2}},
           {{0, 0, 1}, {0, 3, 0}, {1, 0, 0}, {0, 0, -pi / 2}},
           {{0, 0, 1}, {1, 0, 5}, {1, 0, -2}, {0, 0, 0}},     // the same seen along the axis
           {{0, 0, 1}, {0, 0, 1}, {1, 0, 0}, {0, 0, 0}},      // a along the axis
           {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}},      // no axis
           {{0, 1, 0}, {1, 0, 0}, {-1, 0, 0}, {0, pi, 0}}}) {
    signed_angle_about_axis(c.axis, c.a, c.b, out);
    for (int i = 0; i < 3; i++) {
      EXPECT_TRUE(std::isfinite(out[i]));
      EXPECT_NEAR(std::fabs(out[i]), std::fabs(c.want[i]), 1e-12);
      if (c.want[i] != 0) {
        EXPECT_EQ(out[i] > 0, c.want[i] > 0);
      }
    }
  }

  double m[9];
  const double zero[4] = {0, 0, 0, 0};
  quaternion_to_matrix(zero, m);
  for (int i = 0; i < 9; i++) EXPECT_EQ(m[i], i % 4 == 0 ? 1 : 0);
  const double about_y[4] = {std::cos(pi / 4), 0, std::sin(pi / 4), 0};
  quaternion_to_matrix(about_y, m);
  // A quarter turn about y takes x to -z.
  EXPECT_NEAR(m[6], -1, 1e-12);
  EXPECT_NEAR(m[2], 1, 1e-12);
}

}  // namespace
