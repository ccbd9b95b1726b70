#include "terrain/terrain_contact.h"

#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include "terrain/dynamics_world.h"
#include "terrain/terrain_files.h"
#include "terrain/terrain_settings.h"
#include "terrain/tri_kernels.h"

namespace {

// A generated height field of exponent 7 (257 x 257 vertices) with one
// ground material whose friction and rolling resistance the test sets.
height_field* make_field(float spacing, float (*height)(float x, float z)) {
  height_field* f = new height_field;
  terrain_reset(f);
  EXPECT_EQ(terrain_create(f, 7, spacing), 1);
  const int r = f->size;
  for (int k = 0; k < r; k++)
    for (int i = 0; i < r; i++) f->heights[i + r * k] = height(i * spacing, k * spacing);
  memcpy(f->base_heights, f->heights, sizeof(float) * r * r);
  for (int k = 0; k < tile_curve_points; k++) {
    f->friction_value[0][k] = 1.0f;
    f->friction_slip[0][k] = k == 0 ? 1.0f : tile_unused_slip;
    f->roll_resist_pair[0][k][0] = 0.0f;
    f->roll_resist_pair[0][k][1] = 0.0f;
    f->roll_resist_key[0][k] = k == 0 ? 1.0f : 0.0f;
  }
  return f;
}

void drop_field(height_field* f) {
  free_terrain(f);
  delete f;
}

float flat_ground(float, float) { return 10.0f; }
float x_slope(float x, float) { return 0.3f * x; }

// Every test runs with an open world and contact group.
class TerrainContact : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(dynamics_open(), 1); }
  void TearDown() override { dynamics_close(); }
};

dBodyID make_body(double x, double y, double z, double mass, double radius) {
  dBodyID b = dBodyCreate(dynamics_world);
  dMass m;
  dMassSetSphereTotal(&m, mass, radius);
  dBodySetMass(b, &m);
  dBodySetPosition(b, x, y, z);
  return b;
}

wheel_contact make_wheel(dBodyID body, float rim, float tyre) {
  wheel_contact w;
  memset(&w, 0, sizeof w);
  w.body = body;
  w.axle[0] = 1.0f;
  w.rim_radius = rim;
  w.tyre_radius = tyre;
  return w;
}

void rotation_of(dBodyID b, float rot[9]) {
  const dReal* r = dBodyGetRotation(b);
  for (int row = 0; row < 3; row++)
    for (int col = 0; col < 3; col++) rot[3 * row + col] = (float)r[4 * row + col];
}

int body_finite(dBodyID b) {
  const dReal* p = dBodyGetPosition(b);
  const dReal* q = dBodyGetQuaternion(b);
  const dReal* v = dBodyGetLinearVel(b);
  const dReal* w = dBodyGetAngularVel(b);
  for (int k = 0; k < 3; k++)
    if (!isfinite(p[k]) || !isfinite(v[k]) || !isfinite(w[k])) return 0;
  for (int k = 0; k < 4; k++)
    if (!isfinite(q[k])) return 0;
  return 1;
}

TEST_F(TerrainContact, SoftContactFromSpringAndDamper) {
  double kp, kd, erp, cfm;
  struct {
    float depth, tyre;
    double kp, kd;
  } cases[] = {{0.5f, 0.5f, 25000, 2500}, {0.9f, 0.5f, 25000, 2500}, {0.25f, 0.5f, 4000, 487.5},
               {0.0f, 0.5f, 1000, 200}};
  for (auto& c : cases) {
    tyre_spring_damper(c.depth, c.tyre, &kp, &kd);
    EXPECT_DOUBLE_EQ(kp, c.kp) << c.depth;
    EXPECT_DOUBLE_EQ(kd, c.kd) << c.depth;
  }
  soft_contact_params(2500, 250, 1.0 / 128, &erp, &cfm);
  EXPECT_DOUBLE_EQ(cfm, 1.0 / (2500.0 / 128 + 250));
  EXPECT_DOUBLE_EQ(erp, 2500.0 / 128 * cfm);
}

TEST_F(TerrainContact, PlumbingRefusesWhatWouldBreakTheStep) {
  EXPECT_EQ(dynamics_open(), 0);  // already open

  dBodyID b = make_body(1, 1, 1, 1, 0.5);
  dContact c;
  memset(&c, 0, sizeof c);
  c.surface.mode = contact_mode_soft;
  c.surface.mu = 1;
  c.surface.soft_cfm = 0.01;
  c.surface.soft_erp = 0.2;
  c.geom.normal[1] = 1;
  c.geom.depth = 0.1;
  EXPECT_EQ(add_contact_joint(&c, nullptr), nullptr);
  c.geom.depth = NAN;
  EXPECT_EQ(add_contact_joint(&c, b), nullptr);
  c.geom.depth = 0.1;
  c.surface.mode = contact_mode_soft_fdir;
  c.fdir1[0] = INFINITY;
  EXPECT_EQ(add_contact_joint(&c, b), nullptr);
  c.fdir1[0] = 1;
  dJointID j = add_contact_joint(&c, b);
  ASSERT_NE(j, nullptr);
  EXPECT_EQ(dJointGetBody(j, 0), b);
  EXPECT_EQ(dJointGetBody(j, 1), nullptr);
  EXPECT_EQ(dynamics_step(tick_length), 1);

  dynamics_close();
  EXPECT_EQ(dynamics_step(tick_length), 0);
  ASSERT_EQ(dynamics_open(), 1);
}

TEST_F(TerrainContact, TyreOnFlatGround) {
  height_field* f = make_field(1.0f, flat_ground);
  dBodyID b = make_body(100, 0, 100, 1, 1);
  struct {
    float centre_y;  // rim radius 1, tyre radius 0.5
    float depth;
  } cases[] = {{11.2f, 0.3f}, {10.9f, 0.6f}, {11.6f, 0.0f}};
  for (auto& c : cases) {
    dBodySetPosition(b, 100.25, c.centre_y, 100.5);
    wheel_contact w = make_wheel(b, 1.0f, 0.5f);
    float p[3], n[3], d = 0;
    int hit = tyre_contact_geometry(f, &w, p, n, &d);
    EXPECT_EQ(hit, c.depth > 0) << c.centre_y;
    if (!hit) continue;
    EXPECT_NEAR(d, c.depth, 1e-5f);
    EXPECT_NEAR(n[1], 1.0f, 1e-6f);
    EXPECT_NEAR(p[0], 100.25f, 1e-4f);
    EXPECT_NEAR(p[1], c.centre_y - 1.5f, 1e-5f);  // a tyre radius below the lowest rim point

    // The cheap refresh finds the same face contact, written into the
    // record's own fields.
    EXPECT_EQ(collide_wheel_terrain(f, &w, w.point, w.normal, &w.depth), 1);
    EXPECT_NEAR(w.depth, c.depth, 1e-5f);
    EXPECT_NEAR(w.normal[1], 1.0f, 1e-6f);
  }
  drop_field(f);
}

// The deepest contact by the plain rule: every triangle of the cells in
// range, rows then columns, first triangle then second, kept only when
// strictly deeper.
float reference_tyre_depth(const height_field* f, const float w[3], const float a[3], float rim,
                           float tyre, float point[3]) {
  const float s = f->spacing, reach = rim + tyre;
  const int c0 = (int)floorf((w[0] - reach) / s), c1 = (int)ceilf((w[0] + reach) / s) - 1;
  const int r0 = (int)floorf((w[2] - reach) / s), r1 = (int)ceilf((w[2] + reach) / s) - 1;
  static const int even[2][3][2] = {{{0, 0}, {0, 1}, {1, 1}}, {{1, 1}, {1, 0}, {0, 0}}};
  static const int odd[2][3][2] = {{{0, 0}, {0, 1}, {1, 0}}, {{1, 1}, {1, 0}, {0, 1}}};
  float best = 0;
  for (int k = r0; k <= r1; k++)
    for (int i = c0; i <= c1; i++)
      for (int half = 0; half < 2; half++) {
        const int(*corner)[2] = ((i + k) % 2) ? odd[half] : even[half];
        float tri[9];
        for (int v = 0; v < 3; v++) {
          tri[3 * v] = (i + corner[v][0]) * s;
          tri[3 * v + 1] = terrain_vertex_height(f, i + corner[v][0], k + corner[v][1]);
          tri[3 * v + 2] = (k + corner[v][1]) * s;
        }
        float p[3], n[3];
        float d = wheel_triangle_contact(p, n, w, a, rim, tyre, tri);
        if (d > best) {
          best = d;
          memcpy(point, p, sizeof p);
        }
      }
  return best;
}

TEST_F(TerrainContact, DeepestTyreContactMatchesAWalkOfEveryTriangle) {
  height_field* f = make_field(
      1.0f, [](float x, float z) { return 20.0f + 1.5f * sinf(x * 0.31f) * cosf(z * 0.23f); });
  dBodyID b = make_body(0, 0, 0, 1, 1);
  uint32_t seed = 12345;
  auto uniform = [&seed](float lo, float hi) {
    seed = seed * 1664525u + 1013904223u;
    return lo + (hi - lo) * (float)(seed >> 8) / 16777216.0f;
  };
  int hits = 0;
  for (int trial = 0; trial < 3000; trial++) {
    const float x = uniform(40, 200), z = uniform(40, 200);
    const float y = terrain_height(f, x, z) + uniform(-0.5f, 1.6f);
    dBodySetPosition(b, x, y, z);
    wheel_contact w = make_wheel(b, 0.9f, 0.3f);
    w.axle[0] = uniform(-1, 1);
    w.axle[1] = trial % 10 == 0 ? 1.0f : uniform(-1, 1);  // some lying flat
    w.axle[2] = trial % 10 == 0 ? 0.0f : uniform(-1, 1);
    if (trial % 10 == 0) w.axle[0] = 0;
    const float centre[3] = {x, y, z};
    float want_point[3] = {0, 0, 0};
    const float want = reference_tyre_depth(f, centre, w.axle, 0.9f, 0.3f, want_point);
    float p[3], n[3], d = 0;
    const int hit = tyre_contact_geometry(f, &w, p, n, &d);
    ASSERT_EQ(hit, want > 0) << trial;
    if (!hit) continue;
    hits++;
    ASSERT_EQ(d, want) << trial;
    ASSERT_EQ(p[0], want_point[0]) << trial;
    ASSERT_EQ(p[1], want_point[1]) << trial;
    ASSERT_EQ(p[2], want_point[2]) << trial;
    ASSERT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-5f) << trial;
  }
  EXPECT_GT(hits, 1500);
  drop_field(f);
}

TEST_F(TerrainContact, BorderContinuesAtTheBorderHeights) {
  // The ground climbs along x inside the field; beyond x = 0 it stays at
  // the border height, 0.
  height_field* f = make_field(1.0f, x_slope);
  dBodyID b = make_body(-0.5, 1.2, 50.5, 1, 1);
  wheel_contact w = make_wheel(b, 1.0f, 0.5f);
  float p[3], n[3], d;
  ASSERT_EQ(tyre_contact_geometry(f, &w, p, n, &d), 1);
  EXPECT_NEAR(d, 0.3f, 1e-5f);
  EXPECT_NEAR(n[0], 0.0f, 1e-6f);
  EXPECT_NEAR(n[1], 1.0f, 1e-6f);

  float centre[3] = {-0.5f, 0.4f, 50.5f};
  ASSERT_EQ(collide_sphere_terrain(f, centre, 0.5f, p, n, &d), 1);
  EXPECT_NEAR(d, 0.1f, 1e-5f);
  drop_field(f);
}

TEST_F(TerrainContact, BadInputsGiveNoContact) {
  height_field* f = make_field(1.0f, flat_ground);
  float p[3], n[3], d;
  const float nan_centre[3] = {NAN, 10, 50};
  const float inf_centre[3] = {50, INFINITY, 50};
  const float centre[3] = {50, 10, 50};
  EXPECT_EQ(collide_sphere_terrain(f, nan_centre, 1, p, n, &d), 0);
  EXPECT_EQ(collide_sphere_terrain(f, inf_centre, 1, p, n, &d), 0);
  EXPECT_EQ(collide_sphere_terrain(f, centre, INFINITY, p, n, &d), 0);
  EXPECT_EQ(collide_sphere_terrain(f, centre, NAN, p, n, &d), 0);

  // A huge reach walks the grid once and ends.
  ASSERT_EQ(collide_sphere_terrain(f, centre, 1e30f, p, n, &d), 1);
  EXPECT_TRUE(isfinite(p[0]) && isfinite(n[1]) && isfinite(d));
  const float far_away[3] = {1e20f, 10, 1e20f};
  EXPECT_EQ(collide_sphere_terrain(f, far_away, 1, p, n, &d), 0);

  // A wheel whose body has gone bad makes no joint and reports no depth.
  dBodyID b = make_body(50, 11, 50, 1, 1);
  wheel_contact w = make_wheel(b, 1.0f, 0.5f);
  w.depth = 7;
  dBodySetLinearVel(b, NAN, 0, 0);
  EXPECT_EQ(collide_tyre_terrain(f, &w, 1.0f), 0);
  EXPECT_EQ(w.depth, 0.0f);
  dBodySetLinearVel(b, 0, 0, 0);
  dBodySetPosition(b, 50, NAN, 50);
  EXPECT_EQ(collide_tyre_terrain(f, &w, 1.0f), 0);
  EXPECT_EQ(collide_wheel_terrain(f, &w, p, n, &d), 0);
  drop_field(f);
}

TEST_F(TerrainContact, TyreFrictionFromTheTileUnderTheContact) {
  height_field* f = make_field(1.0f, flat_ground);
  // Tile 1 under the wheel: friction points (0, 1.2) and (10, 0.8).
  f->tile_count = 2;
  for (int k = 0; k < tile_curve_points; k++) {
    f->friction_value[1][k] = k == 0 ? 1.2f : 0.8f;
    f->friction_slip[1][k] = k == 0 ? 0.0f : k == 1 ? 10.0f : tile_unused_slip;
    f->roll_resist_key[1][k] = k == 0 ? 1.0f : 0.0f;
  }
  f->tilemap[(100 / 2) * 128 + 100 / 2] = 1;

  struct {
    int slip_function;
    float speed, scale, mu;
  } cases[] = {
      {1, 5, 1, 1.0f},  {0, 5, 1, 1.1f}, {1, 20, 1, 0.8f},
      {0, 20, 1, 0.8f}, {1, 0, 1, 1.2f}, {1, 5, 0.5f, 0.5f},
      {3, 5, 1, 1.1f},  // an unknown slip function reads like 0
  };
  dBodyID b = make_body(100.5, 11.2, 100.5, 1, 1);
  for (auto& c : cases) {
    f->slip_function[1] = c.slip_function;
    dBodySetLinearVel(b, 0, 0, -c.speed);
    wheel_contact w = make_wheel(b, 1.0f, 0.5f);
    dContact contact;
    float force[3];
    ASSERT_EQ(tyre_contact_prepare(f, &w, c.scale, &contact, force), 1);
    EXPECT_NEAR(contact.surface.mu, c.mu, 1e-5f) << c.slip_function << " " << c.speed;
    EXPECT_NEAR(w.point_velocity[2], -c.speed, 1e-5f);
  }

  // A wheel spinning on the spot: its contact point moves at 15 ft/s, which
  // slip function 1 reads; slip function 2 removes the spin about the axle
  // and sees a point at rest.
  dBodySetLinearVel(b, 0, 0, 0);
  dBodySetAngularVel(b, 10, 0, 0);
  wheel_contact w = make_wheel(b, 1.0f, 0.5f);
  dContact contact;
  float force[3];
  f->slip_function[1] = 1;
  ASSERT_EQ(tyre_contact_prepare(f, &w, 1, &contact, force), 1);
  EXPECT_NEAR(contact.surface.mu, 0.8f, 1e-5f);
  f->slip_function[1] = 2;
  ASSERT_EQ(tyre_contact_prepare(f, &w, 1, &contact, force), 1);
  EXPECT_NEAR(contact.surface.mu, 1.2f, 1e-5f);
  drop_field(f);
}

TEST_F(TerrainContact, TyreContactRecord) {
  height_field* f = make_field(1.0f, flat_ground);
  // Rolling resistance 5 uncompressed, 15 fully compressed.
  for (int k = 0; k < tile_curve_points; k++) {
    f->roll_resist_pair[0][k][0] = 5.0f;
    f->roll_resist_pair[0][k][1] = 15.0f;
  }
  dBodyID b = make_body(60.5, 11.25, 60.5, 1, 1);  // depth 0.25 of 0.5: half compressed
  wheel_contact w = make_wheel(b, 1.0f, 0.5f);
  dContact c;
  float force[3];

  // At rest the friction direction comes from the axle: up x axle.
  ASSERT_EQ(tyre_contact_prepare(f, &w, 1, &c, force), 1);
  EXPECT_EQ(c.surface.mode, contact_mode_soft_fdir);
  EXPECT_NEAR(c.fdir1[0], 0, 1e-6);
  EXPECT_NEAR(c.fdir1[2], -1, 1e-6);
  EXPECT_NEAR(force[0] * force[0] + force[1] * force[1] + force[2] * force[2], 0, 1e-12);
  double kp, kd, erp, cfm;
  tyre_spring_damper(0.25f, 0.5f, &kp, &kd);
  soft_contact_params(kp, kd, tick_length, &erp, &cfm);
  EXPECT_DOUBLE_EQ(c.surface.soft_cfm, cfm);
  EXPECT_DOUBLE_EQ(c.surface.soft_erp, erp);
  EXPECT_NEAR(c.geom.depth, 0.25, 1e-5);
  EXPECT_NEAR(c.geom.normal[1], 1, 1e-6);
  EXPECT_NEAR(c.geom.pos[1], 9.75, 1e-5);

  // Rolling resistance R = 5 + 10 x 0.5 = 10, against the hub's motion along
  // the ground (its fall does not count), in proportion below 1 ft/s.
  struct {
    double vx, vy, vz;
    float fx, fz;
  } cases[] = {{0, -3, -0.5, 0, 5}, {0, 0, -4, 0, 10}, {3, 0, 4, -6, -8}};
  for (auto& r : cases) {
    dBodySetLinearVel(b, r.vx, r.vy, r.vz);
    ASSERT_EQ(tyre_contact_prepare(f, &w, 1, &c, force), 1);
    EXPECT_NEAR(force[0], r.fx, 1e-4f);
    EXPECT_NEAR(force[1], 0, 1e-4f);
    EXPECT_NEAR(force[2], r.fz, 1e-4f);
  }
  // Moving straight ahead, the friction direction is up x velocity.
  dBodySetLinearVel(b, 0, 0, -4);
  ASSERT_EQ(tyre_contact_prepare(f, &w, 1, &c, force), 1);
  EXPECT_NEAR(c.fdir1[0], -1, 1e-6);

  // The joint goes into the group with the record's feedback.
  w.depth = 0;
  EXPECT_EQ(collide_tyre_terrain(f, &w, 1), 1);
  EXPECT_NEAR(w.depth, 0.25f, 1e-5f);
  EXPECT_EQ(dynamics_step(tick_length), 1);
  EXPECT_GT(w.feedback.f1[1], 0.0);  // the ground pushes the wheel up
  drop_field(f);
}

TEST_F(TerrainContact, ShapeSpheresMoveToWorld) {
  height_field* f = make_field(1.0f, flat_ground);
  shape_sphere source_spheres[2] = {{{1, 0, 0}, 0.5f, 1, 2500, 250}, {{0, 2, 0}, 0.5f, 1, 2500, 250}};
  shape source = {nullptr, 2, source_spheres, nullptr, 2.5f};
  shape_sphere spheres[2];
  memcpy(spheres, source_spheres, sizeof spheres);
  shape instance = {nullptr, 2, spheres, &source, 2.5f};

  // A quarter turn about y: shape x becomes world -z.
  const float rot[9] = {0, 0, 1, 0, 1, 0, -1, 0, 0};
  const float pos[3] = {50, 10.25f, 50};
  EXPECT_EQ(collide_shape_terrain(&instance, nullptr, pos, rot, f), 1);
  EXPECT_FLOAT_EQ(spheres[0].centre[0], 50);
  EXPECT_FLOAT_EQ(spheres[0].centre[1], 10.25f);
  EXPECT_FLOAT_EQ(spheres[0].centre[2], 49);
  EXPECT_FLOAT_EQ(spheres[1].centre[1], 12.25f);

  const float high[3] = {50, 11, 50};
  EXPECT_EQ(collide_shape_terrain(&instance, nullptr, high, rot, f), 0);

  // A cached shape (no source) is never moved.
  EXPECT_EQ(collide_shape_terrain(&source, nullptr, pos, rot, f), 0);
  EXPECT_FLOAT_EQ(source_spheres[0].centre[0], 1);
  drop_field(f);
}

TEST_F(TerrainContact, SphereContactWithAFrictionDirection) {
  height_field* f = make_field(1.0f, flat_ground);
  dBodyID b = make_body(30, 10.4, 30, 1, 0.5);
  const float centre[3] = {30, 10.4f, 30};
  const float forward[3] = {0, 0, -1};
  const float up[3] = {0, 1, 0};
  EXPECT_EQ(add_sphere_contact(f, centre, 0.5f, 1.0f, 0.5f, forward, nullptr), 1);
  EXPECT_EQ(add_sphere_contact(f, centre, 0.5f, 1.0f, 0.5f, forward, b), 1);
  EXPECT_EQ(add_sphere_contact(f, centre, 0.5f, 1.0f, 0.5f, up, b), 1);
  const float high[3] = {30, 11, 30};
  EXPECT_EQ(add_sphere_contact(f, high, 0.5f, 1.0f, 0.5f, forward, b), 0);
  EXPECT_EQ(dynamics_step(tick_length), 1);
  EXPECT_GT(dBodyGetLinearVel(b)[1], 0.0);  // pushed up out of the ground
  drop_field(f);
}

// One tick of a shape body: its terrain contacts, then the world step.
void shape_tick(shape* instance, dBodyID body, const height_field* f) {
  const dReal* p = dBodyGetPosition(body);
  const float pos[3] = {(float)p[0], (float)p[1], (float)p[2]};
  float rot[9];
  rotation_of(body, rot);
  collide_shape_terrain(instance, body, pos, rot, f);
  ASSERT_EQ(dynamics_step(tick_length), 1);
}

// A shape of up to three spheres and its instance, owned by the test.
struct test_shape {
  shape_sphere source_spheres[3];
  shape_sphere spheres[3];
  shape source;
  shape instance;
};

void make_shape(test_shape* s, int count, const float (*centres)[3], float radius, float mu) {
  for (int k = 0; k < count; k++) {
    s->source_spheres[k] = {{centres[k][0], centres[k][1], centres[k][2]}, radius, mu, 2500, 250};
    s->spheres[k] = s->source_spheres[k];
  }
  s->source = {nullptr, count, s->source_spheres, nullptr, 0};
  s->instance = {nullptr, count, s->spheres, &s->source, 0};
}

TEST_F(TerrainContact, SphereDroppedOnFlatGroundRestsAtItsRadius) {
  height_field* f = make_field(1.0f, flat_ground);
  const float centre[1][3] = {{0, 0, 0}};
  test_shape ball;
  make_shape(&ball, 1, centre, 0.5f, 1.0f);
  const double mass = 0.1;  // slugs: the spring holds it mg / kp deep
  dBodyID b = make_body(80.3, 13, 90.6, mass, 0.5);
  for (int tick = 0; tick < 2000; tick++) {
    shape_tick(&ball.instance, b, f);
    ASSERT_TRUE(body_finite(b)) << tick;
  }
  const dReal* p = dBodyGetPosition(b);
  EXPECT_NEAR(p[1], 10.5 - mass * 32 / sphere_contact_spring, 2e-4);
  EXPECT_NEAR(p[0], 80.3, 1e-3);
  EXPECT_NEAR(dBodyGetLinearVel(b)[1], 0.0, 1e-3);
  drop_field(f);
}

TEST_F(TerrainContact, BodiesDroppedOnASlopeRollSlideOrStayAsTheirFrictionSays) {
  // The ground rises 0.3 ft per foot along x.
  height_field* f = make_field(1.0f, x_slope);
  const double sin_a = 0.3 / sqrt(1.09), cos_a = 1.0 / sqrt(1.09);
  const float ball_centre[1][3] = {{0, 0, 0}};
  const float sled_centres[3][3] = {{-1, 0, -1}, {1, 0, -1}, {0, 0, 1}};
  struct {
    const char* name;
    int spheres;
    float mu;
    double accel;  // down the slope once landed
    int rolls;
  } cases[] = {
      // A ball rolls without slipping: a = 5/7 g sin(a) for a solid sphere.
      {"rough ball rolls", 1, 1.0f, 5.0 / 7.0 * 32 * sin_a, 1},
      {"frictionless ball slides", 1, 0.0f, 32 * sin_a, 0},
      {"rough sled stays", 3, 1.0f, 0.0, 0},
      {"slippery sled slides", 3, 0.1f, 32 * (sin_a - 0.1 * cos_a), 0},
  };
  for (auto& c : cases) {
    test_shape s;
    make_shape(&s, c.spheres, c.spheres == 1 ? ball_centre : sled_centres, 0.5f, c.mu);
    // Dropped from 0.3 ft above where it would rest.
    const double x0 = 150, z0 = 100.5;
    dBodyID b = make_body(x0, 0.3 * x0 + 0.5 / cos_a + 0.3, z0, 0.1, 0.5);
    double speed_at_1s = 0;
    for (int tick = 1; tick <= 256; tick++) {
      shape_tick(&s.instance, b, f);
      const dReal* v = dBodyGetLinearVel(b);
      if (tick == 128) speed_at_1s = -(v[0] * cos_a + v[1] * sin_a);
    }
    ASSERT_TRUE(body_finite(b)) << c.name;
    const dReal* v = dBodyGetLinearVel(b);
    const dReal* w = dBodyGetAngularVel(b);
    const double down_slope = -(v[0] * cos_a + v[1] * sin_a);
    EXPECT_NEAR(down_slope - speed_at_1s, c.accel, 0.03 * c.accel + 0.01) << c.name;
    if (c.accel == 0) {
      EXPECT_LT(fabs(down_slope), 0.01) << c.name;
    }
    EXPECT_NEAR(v[2], 0.0, 1e-3) << c.name;
    // Rolling: the spin carries the surface along at the body's speed.
    const double surface_speed = fabs(w[2]) * 0.5;
    if (c.rolls)
      EXPECT_NEAR(surface_speed, down_slope, 0.02 * down_slope) << c.name;
    else
      EXPECT_LT(surface_speed, 0.05) << c.name;
    // At rest on the surface, at its radius less the spring's give.
    const dReal* p = dBodyGetPosition(b);
    const double clearance = (p[1] - 0.3 * p[0]) * cos_a;
    EXPECT_NEAR(clearance, 0.5 - 0.1 * 32 * cos_a / (c.spheres * sphere_contact_spring), 2e-4)
        << c.name;
    dBodyDestroy(b);
  }
  drop_field(f);
}

TEST_F(TerrainContact, TyreRollsOverHillsWithoutSinking) {
  // Hills along x only; the wheel is held upright in the plane z = 0 (the
  // border row of the field, which continues beyond it).
  height_field* f = make_field(1.0f, [](float x, float) { return 20.0f + 0.8f * sinf(x * 0.05f); });
  const float rim = 0.9f, tyre = 0.3f, reach = rim + tyre;
  const double speed = 8.0;
  dBodyID b = dBodyCreate(dynamics_world);
  dMass m;
  dMassSetCylinderTotal(&m, 1.0, 1, reach, 0.3);  // 32 lb, axle along body x
  dBodySetMass(b, &m);
  dMatrix3 r;
  dRFromAxisAndAngle(r, 0, 1, 0, M_PI / 2);  // body x becomes world -z
  dBodySetRotation(b, r);
  dBodySetPosition(b, 60, terrain_height(f, 60, 0) + reach, 0);
  dBodySetLinearVel(b, speed, 0, 0);
  dBodySetAngularVel(b, 0, 0, -speed / reach);
  dJointID plane = dJointCreatePlane2D(dynamics_world, nullptr);
  dJointAttach(plane, b, nullptr);

  wheel_contact w = make_wheel(b, rim, tyre);
  int touching = 0;
  double lowest = 1e9, highest = -1e9;
  for (int tick = 0; tick < 2000; tick++) {
    touching += collide_tyre_terrain(f, &w, 1.0f);
    ASSERT_EQ(dynamics_step(tick_length), 1);
    ASSERT_TRUE(body_finite(b)) << tick;
    const dReal* p = dBodyGetPosition(b);
    const double above = p[1] - terrain_height(f, (float)p[0], 0);
    lowest = fmin(lowest, above);
    highest = fmax(highest, above);
  }
  EXPECT_GT(touching, 1990);
  EXPECT_GT(lowest, reach - 0.1);  // about 0.03 of spring give under 32 lb
  EXPECT_LT(highest, reach + 0.05);
  const dReal* p = dBodyGetPosition(b);
  const dReal* v = dBodyGetLinearVel(b);
  EXPECT_GT(p[0], 60 + 100);
  EXPECT_NEAR(-dBodyGetAngularVel(b)[2] * reach, v[0], 0.05 * fabs(v[0]));
  drop_field(f);
}

TEST_F(TerrainContact, FallenWheelLiesFlatAndStaysFinite) {
  height_field* f = make_field(1.0f, flat_ground);
  const float rim = 0.9f, tyre = 0.3f;
  struct {
    const char* name;
    double lean;  // radians from upright about world z
    double low, high;  // where the centre may end up
  } cases[] = {
      // Dropped lying flat, axle straight up: it rests on the tube, pressed
      // in until the spring carries its 32 lb (about 0.031 ft).
      {"dropped flat", M_PI / 2, 10 + tyre - 0.036, 10 + tyre - 0.026},
      // Leaning over and rolling: it falls, then wobbles down like a spun
      // coin, still a little tilted after 2000 ticks.
      {"falling over", 0.5, 10 + tyre - 0.1, 10 + tyre + 0.15},
  };
  for (auto& c : cases) {
    dBodyID b = dBodyCreate(dynamics_world);
    dMass m;
    dMassSetCylinderTotal(&m, 1.0, 1, rim + tyre, 0.3);
    dBodySetMass(b, &m);
    dMatrix3 r;
    dRFromAxisAndAngle(r, 0, 0, 1, c.lean);
    dBodySetRotation(b, r);
    dBodySetPosition(b, 120, 10 + rim + tyre + 0.5, 120);
    if (c.lean < 1) dBodySetLinearVel(b, 0, 0, -2);

    wheel_contact w = make_wheel(b, rim, tyre);
    for (int tick = 0; tick < 2000; tick++) {
      collide_tyre_terrain(f, &w, 1.0f);
      ASSERT_EQ(dynamics_step(tick_length), 1);
      ASSERT_TRUE(body_finite(b)) << c.name << " " << tick;
      ASSERT_TRUE(isfinite(w.depth) && isfinite(w.normal[0]) && isfinite(w.normal[1]) &&
                  isfinite(w.normal[2]) && isfinite(w.point[1]))
          << c.name << " " << tick;
    }
    dVector3 axle;
    dBodyVectorToWorld(b, 1, 0, 0, axle);
    EXPECT_GT(fabs(axle[1]), 0.95) << c.name;
    EXPECT_GT(dBodyGetPosition(b)[1], c.low) << c.name;
    EXPECT_LT(dBodyGetPosition(b)[1], c.high) << c.name;
    dBodyDestroy(b);
  }
  drop_field(f);
}

}  // namespace
