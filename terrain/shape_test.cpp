#include "terrain/shape.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "core/memory.h"
#include "core/message_ring.h"
#include "terrain/dynamics_world.h"
#include "terrain/height_field.h"
#include "terrain/terrain_contact.h"
#include "terrain/terrain_files.h"
#include "tools/testing/test_env.h"

namespace {

const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

std::string shape_path(const std::string& file) { return std::string(test_root()) + "/" + file; }

std::string write_shape(const std::string& file, const std::string& text) {
  const std::string path = shape_path(file);
  FILE* f = fopen(path.c_str(), "wb");
  EXPECT_NE(f, nullptr);
  if (f) {
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
  }
  return path;
}

std::string last_console_line() { return message_ring.lines[(message_ring.write_index + message_ring_size - 1) % message_ring_size]; }

class Shapes : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(dynamics_open(), 1); }
  void TearDown() override {
    dynamics_close();
    shape_free_all();
  }
};

dBodyID sphere_body(double x, double y, double z, double mass = 1.0) {
  dBodyID b = dBodyCreate(dynamics_world);
  dMass m;
  dMassSetSphereTotal(&m, mass, 1.0);
  dBodySetMass(b, &m);
  dBodySetPosition(b, x, y, z);
  return b;
}

shape_sphere ball(float x, float y, float z, float r, float spring = 25000, float damper = 2500, float mu = 1) {
  return shape_sphere{{x, y, z}, r, mu, spring, damper};
}

TEST_F(Shapes, LoadsOnceAndCopiesAreIndependent) {
  const std::string path = write_shape("pair.shp", "2\n0 0.5 0 0.5 0.8 25000 2500\n1 0 0 0.25 1.0 20000 2000\n");
  shape* a = shape_load_copy(path.c_str());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->count, 2);
  EXPECT_STREQ(shape_name(a), path.c_str());
  EXPECT_FLOAT_EQ(shape_bounding_radius(a), 1.25f);
  EXPECT_FLOAT_EQ(a->spheres[1].friction, 1.0f);
  EXPECT_FLOAT_EQ(a->spheres[1].spring, 20000.0f);
  EXPECT_FLOAT_EQ(a->spheres[1].damper, 2000.0f);
  float centre[3], radius;
  EXPECT_EQ(shape_get_element(a, 0, centre, &radius), 1);
  EXPECT_FLOAT_EQ(centre[1], 0.5f);
  EXPECT_FLOAT_EQ(radius, 0.5f);
  EXPECT_EQ(shape_get_element(a, 2, centre, &radius), 0);
  EXPECT_EQ(shape_get_element(a, -1, centre, &radius), 0);

  // The second load comes from the cache: the file is not read again.
  write_shape("pair.shp", "1\n0 0 0 9 1 1 1\n");
  shape* b = shape_load_copy(path.c_str());
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->count, 2);
  EXPECT_EQ(a->source, b->source);
  EXPECT_EQ(shape_cache_count(), 1u);
  EXPECT_NE(a->spheres, b->spheres);
  EXPECT_EQ((void*)a->spheres, (void*)(a + 1));  // one allocation

  const float far[3] = {100, 0, 0};
  shape_move_to_world(a, far, identity);
  EXPECT_FLOAT_EQ(a->spheres[0].centre[0], 100.0f);
  EXPECT_FLOAT_EQ(b->spheres[0].centre[0], 0.0f);
  EXPECT_FLOAT_EQ(a->source->spheres[0].centre[0], 0.0f);
  check_free(a);
  check_free(b);
}

TEST_F(Shapes, TheCacheGrowsAndFindsEveryShape) {
  std::vector<shape*> first;
  for (int i = 0; i < 40; i++) {
    const std::string path = write_shape("c" + std::to_string(i) + ".shp", "1\n0 0 0 " + std::to_string(i + 1) + " 1 1 1\n");
    first.push_back(shape_load(path.c_str()));
    ASSERT_NE(first.back(), nullptr);
  }
  EXPECT_EQ(shape_cache_count(), 40u);
  for (int i = 0; i < 40; i++) {
    shape* again = shape_load(shape_path("c" + std::to_string(i) + ".shp").c_str());
    EXPECT_EQ(again, first[i]);
    EXPECT_FLOAT_EQ(again->bounding_radius, (float)(i + 1));
  }
  // Names are matched exactly, case and all.
  EXPECT_EQ(shape_load(shape_path("C1.shp").c_str()), nullptr);
}

TEST_F(Shapes, MalformedFilesAreRefusedAndNotCached) {
  struct {
    const char* text;
    const char* reason;
  } cases[] = {
      {"", "no sphere count"},
      {"two\n", "no sphere count"},
      {"2\n0 0 0 1 1 1 1\n", "sphere 2 of 2 is short"},
      {"1\n0 0 0 1 1 1\n", "sphere 1 of 1 is short"},
      {"0\n", "0 spheres"},
      {"-3\n", "-3 spheres"},
      {"1025\n", "1025 spheres"},
      {"1\n0 0 0 -1 1 1 1\n", "bad number"},
      {"1\n0 nan 0 1 1 1 1\n", "sphere 1 of 1 is short"},
      {"1\n0 1e39 0 1 1 1 1\n", "bad number"},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string path = write_shape("bad" + std::to_string(n++) + ".shp", c.text);
    EXPECT_EQ(shape_load_copy(path.c_str()), nullptr) << c.text;
    EXPECT_NE(last_console_line().find(c.reason), std::string::npos) << c.text << " -> " << last_console_line();
  }
  EXPECT_EQ(shape_cache_count(), 0u);
  EXPECT_EQ(shape_load_copy(shape_path("none.shp").c_str()), nullptr);
  EXPECT_NE(last_console_line().find("Can't open shape file"), std::string::npos);

  // Mended, the same name loads.
  const std::string path = write_shape("bad0.shp", "1\n0 0 0 1 1 1 1\n");
  shape* s = shape_load_copy(path.c_str());
  ASSERT_NE(s, nullptr);
  check_free(s);
  // The largest count allowed loads.
  std::string many = "1024\n";
  for (int i = 0; i < 1024; i++) many += "0 0 0 1 1 1 1\n";
  s = shape_load_copy(write_shape("many.shp", many).c_str());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->count, 1024);
  check_free(s);
}

TEST_F(Shapes, SpherePairGeometry) {
  dBodyID body = sphere_body(0, 0, 0);
  const shape_sphere a = ball(0, 0, 0, 1), b = ball(1.5f, 0, 0, 1);
  sphere_pair_contact c;
  ASSERT_EQ(collide_sphere_pair(&a, body, &b, nullptr, shape_report_only, &c), 1);
  EXPECT_FLOAT_EQ(c.depth, 0.5f);
  EXPECT_FLOAT_EQ(c.normal[0], 1.0f);
  EXPECT_FLOAT_EQ(c.normal[1], 0.0f);
  EXPECT_FLOAT_EQ(c.point[0], 0.75f);
  EXPECT_EQ(dBodyGetNumJoints(body), 0);

  // Apart, and just touching, is no overlap.
  const shape_sphere touching = ball(2, 0, 0, 1);
  EXPECT_EQ(collide_sphere_pair(&a, body, &touching, nullptr, shape_contact_joint, &c), 0);
  // Without bodies only the overlap is answered.
  memset(&c, 0, sizeof c);
  EXPECT_EQ(collide_sphere_pair(&a, nullptr, &b, nullptr, shape_contact_joint, &c), 1);
  EXPECT_EQ(c.depth, 0.0f);

  // Coincident centres: an overlap, but no contact.
  const shape_sphere same = ball(0, 0, 0.001f, 0.5f);
  memset(&c, 0, sizeof c);
  EXPECT_EQ(collide_sphere_pair(&a, body, &same, nullptr, shape_contact_joint, &c), 1);
  EXPECT_EQ(c.depth, 0.0f);
  EXPECT_EQ(dBodyGetNumJoints(body), 0);

  // A joint in mode 0; none when spring and damper are both 0.
  EXPECT_EQ(collide_sphere_pair(&a, body, &b, nullptr, shape_contact_joint, nullptr), 1);
  EXPECT_EQ(dBodyGetNumJoints(body), 1);
  const shape_sphere limp = ball(1.5f, 0, 0, 1, 0, 0);
  EXPECT_EQ(collide_sphere_pair(&a, body, &limp, nullptr, shape_contact_joint, nullptr), 1);
  EXPECT_EQ(dBodyGetNumJoints(body), 1);
}

TEST_F(Shapes, PenaltyForcesUseTheSofterSpringAndCapIt) {
  struct {
    float gap, spring_a, spring_b, force;
  } cases[] = {
      {1.9f, 25000, 3000, 300},   // depth 0.1 at 3000
      {1.8f, 3000, 25000, 600},   // depth 0.2, whichever sphere is softer
      {1.5f, 25000, 25000, 1000}, // 2500 capped, then clamped to 1000
  };
  for (const auto& c : cases) {
    dBodyID one = sphere_body(0, 0, 0), two = sphere_body(c.gap, 0, 0);
    const shape_sphere a = ball(0, 0, 0, 1, c.spring_a, 0), b = ball(c.gap, 0, 0, 1, c.spring_b, 0);
    ASSERT_EQ(collide_sphere_pair(&a, one, &b, two, shape_penalty_force, nullptr), 1);
    EXPECT_NEAR(dBodyGetForce(two)[0], c.force, 1e-3);
    EXPECT_NEAR(dBodyGetForce(one)[0], -c.force, 1e-3);
    dBodyDestroy(one);
    dBodyDestroy(two);
  }
  // A disabled body gets no force.
  dBodyID one = sphere_body(0, 0, 0), two = sphere_body(1.5, 0, 0);
  dBodyDisable(two);
  const shape_sphere a = ball(0, 0, 0, 1), b = ball(1.5f, 0, 0, 1);
  collide_sphere_pair(&a, one, &b, two, shape_penalty_force, nullptr);
  EXPECT_EQ(dBodyGetForce(two)[0], 0.0);
  EXPECT_LT(dBodyGetForce(one)[0], 0.0);
}

TEST_F(Shapes, TwoShapeBodiesCollideAndSeparate) {
  const std::string path = write_shape("blob.shp", "3\n-0.5 0 0 0.5 0.5 25000 2500\n0.5 0 0 0.5 0.5 25000 2500\n0 0.5 0 0.4 0.5 25000 2500\n");
  dWorldSetGravity(dynamics_world, 0, 0, 0);
  shape* a = shape_load_copy(path.c_str());
  shape* b = shape_load_copy(path.c_str());
  ASSERT_TRUE(a && b);
  dBodyID ba = sphere_body(-3, 0, 0, 5), bb = sphere_body(3, 0.2, 0, 5);
  dBodySetLinearVel(ba, 10, 0, 0);
  dBodySetLinearVel(bb, -10, 0, 0);
  int touches = 0;
  for (int tick = 0; tick < 256; tick++) {
    float pa[3], pb[3], ra[9], rb[9];
    for (int k = 0; k < 3; k++) {
      pa[k] = (float)dBodyGetPosition(ba)[k];
      pb[k] = (float)dBodyGetPosition(bb)[k];
    }
    for (int r = 0; r < 3; r++)
      for (int c = 0; c < 3; c++) {
        ra[3 * r + c] = (float)dBodyGetRotation(ba)[4 * r + c];
        rb[3 * r + c] = (float)dBodyGetRotation(bb)[4 * r + c];
      }
    touches += collide_shapes(a, ba, pa, ra, b, bb, pb, rb, shape_contact_joint);
    ASSERT_EQ(dynamics_step(1.0 / 128), 1);
  }
  EXPECT_GT(touches, 0);
  const dReal* va = dBodyGetLinearVel(ba);
  const dReal* vb = dBodyGetLinearVel(bb);
  EXPECT_LT(va[0], 0.0);  // bounced back
  EXPECT_GT(vb[0], 0.0);
  EXPECT_GT(dBodyGetPosition(bb)[0] - dBodyGetPosition(ba)[0], 2 * 1.0);
  for (int k = 0; k < 3; k++) EXPECT_TRUE(isfinite(va[k]) && isfinite(vb[k]));
  // Far apart, nothing is moved.
  const float here[3] = {0, 0, 0}, there[3] = {50, 0, 0};
  a->spheres[0].centre[0] = 123;
  EXPECT_EQ(collide_shapes(a, nullptr, here, identity, b, nullptr, there, identity, shape_report_only), 0);
  EXPECT_EQ(a->spheres[0].centre[0], 123);
  check_free(a);
  check_free(b);
}

TEST_F(Shapes, ShapeBodyRestsOnTerrain) {
  height_field* f = new height_field;
  terrain_reset(f);
  ASSERT_EQ(terrain_create(f, 7, 4.0f), 1);
  const std::string path = write_shape("feet.shp", "4\n-1 0 -1 0.5 1 25000 2500\n1 0 -1 0.5 1 25000 2500\n-1 0 1 0.5 1 25000 2500\n1 0 1 0.5 1 25000 2500\n");
  shape* s = shape_load_copy(path.c_str());
  ASSERT_NE(s, nullptr);
  dBodyID b = sphere_body(300, 3, 300, 2);
  for (int tick = 0; tick < 1024; tick++) {
    const dReal* p = dBodyGetPosition(b);
    const float pos[3] = {(float)p[0], (float)p[1], (float)p[2]};
    float rot[9];
    for (int r = 0; r < 3; r++)
      for (int c = 0; c < 3; c++) rot[3 * r + c] = (float)dBodyGetRotation(b)[4 * r + c];
    collide_shape_terrain(s, b, pos, rot, f);
    ASSERT_EQ(dynamics_step(1.0 / 128), 1);
  }
  // Four springs of 2500 lb/ft hold 64 lb: a sink of about 0.0064 ft.
  EXPECT_NEAR(dBodyGetPosition(b)[1], 0.5, 0.02);
  EXPECT_NEAR(dBodyGetLinearVel(b)[1], 0.0, 0.01);
  check_free(s);
  free_terrain(f);
  delete f;
}

TEST_F(Shapes, ShapeAgainstTyre) {
  const std::string path = write_shape("post.shp", "1\n0 0 0 0.5 0.7 3000 300\n");
  shape* post = shape_load_copy(path.c_str());
  ASSERT_NE(post, nullptr);
  dBodyID wheel_body = sphere_body(0, 2, 0);
  wheel_contact w;
  memset(&w, 0, sizeof w);
  w.body = wheel_body;
  w.axle[0] = 1;  // wheel in the y-z plane
  w.rim_radius = 1.0f;
  w.tyre_radius = 0.5f;
  // The post's sphere sits 1.8 in front of the hub: 0.2 into the tyre.
  const float pos[3] = {0, 2, -1.8f};
  ASSERT_EQ(collide_shape_wheel(post, nullptr, pos, identity, &w, shape_report_only), 1);
  EXPECT_NEAR(w.depth, 0.2f, 1e-5);
  EXPECT_NEAR(w.normal[2], -1.0f, 1e-5);
  EXPECT_NEAR(w.point[2], -1.0f - 0.5f + 0.1f, 1e-5);
  // A wheel that touches the ground keeps its terrain contact.
  w.depth = 0.05f;
  w.normal[1] = 1;
  w.normal[2] = 0;
  ASSERT_EQ(collide_shape_wheel(post, nullptr, pos, identity, &w, shape_report_only), 1);
  EXPECT_EQ(w.depth, 0.05f);
  EXPECT_EQ(w.normal[1], 1.0f);
  // With a joint: attached to the wheel body.
  w.depth = 0;
  ASSERT_EQ(collide_shape_wheel(post, nullptr, pos, identity, &w, shape_contact_joint), 1);
  EXPECT_EQ(dBodyGetNumJoints(wheel_body), 1);
  // Out of reach.
  const float far[3] = {0, 2, -2.1f};
  EXPECT_EQ(collide_shape_wheel(post, nullptr, far, identity, &w, shape_report_only), 0);
  check_free(post);
}

}  // namespace
