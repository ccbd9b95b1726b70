#include "terrain/tri_kernels.h"

#include <gtest/gtest.h>
#include <math.h>

namespace {

const float eps20 = 9.5367431640625e-7f;  // 2^-20

// A large flat face in y = 0, wound so its normal points up; it covers the
// points with x >= -10, z <= 10 and x <= z.
const float big_flat[9] = {-10, 0, -10, -10, 0, 10, 10, 0, 10};
// A unit right triangle in y = 0 covering 0 <= x <= z <= 1.
const float small_flat[9] = {0, 0, 0, 0, 0, 1, 1, 0, 1};

void expect_vec(const float got[3], float x, float y, float z, float tol, const char* what) {
  EXPECT_NEAR(got[0], x, tol) << what;
  EXPECT_NEAR(got[1], y, tol) << what;
  EXPECT_NEAR(got[2], z, tol) << what;
}

TEST(TriKernels, PointLineAndPlaneOperations) {
  const float q[3] = {0, 1, 0}, n[3] = {0, 2, 0};
  const float p[3] = {3, -4, 5};
  EXPECT_FLOAT_EQ(point_plane_distance(q, n, p), 5.0f);

  float out[3];
  const float down[3] = {0, -1, 0};
  const float above[3] = {1, 3, 2};
  EXPECT_EQ(line_plane_intersect(out, above, down, q, n), 1);
  expect_vec(out, 1, 1, 2, 1e-6f, "intersection");

  const float along[3] = {1, 0, 1};
  EXPECT_EQ(line_plane_intersect(out, above, along, q, n), 0);
  expect_vec(out, 1, 3, 2, 0, "parallel line gives its own point");
}

TEST(TriKernels, NearestRimPoint) {
  const float w[3] = {1, 2, 3}, a[3] = {2, 0, 0};
  float out[3];
  const float p[3] = {5, 2, 13};  // off the wheel plane, straight ahead
  nearest_point_on_rim(out, w, a, 0.5f, p);
  expect_vec(out, 1, 2, 3.5f, 1e-6f, "in-plane projection");

  // A point on the axle falls back on the trial offsets and still lands on
  // the rim, in the wheel plane.
  const float on_axle[3] = {4, 2, 3};
  nearest_point_on_rim(out, w, a, 0.5f, on_axle);
  EXPECT_NEAR(out[0], 1.0f, 1e-6f);
  EXPECT_NEAR(hypotf(out[1] - 2, out[2] - 3), 0.5f, 1e-6f);
  EXPECT_TRUE(isfinite(out[1]) && isfinite(out[2]));
}

struct wheel_case {
  const char* name;
  const float* tri;
  float w[3], a[3];
  float depth;
  float point[3], normal[3];
};

TEST(TriKernels, WheelCases) {
  const float r = sqrtf(0.5f);
  const float k = 1.0f / sqrtf(3.0f);
  // Rim radius 1, tyre radius 0.5 throughout.
  const wheel_case cases[] = {
      {"lowest rim point 0.2 above the face", big_flat, {-2, 1.2f, 2}, {1, 0, 0}, 0.3f,
       {-2, -0.3f, 2}, {0, 1, 0}},
      {"lowest rim point 0.1 above, axle not unit", big_flat, {-2, 1.1f, 2}, {0, 0, 3}, 0.4f,
       {-2, -0.4f, 2}, {0, 1, 0}},
      {"rim crosses the face", big_flat, {-2, 0.9f, 2}, {1, 0, 0}, 0.6f, {-2, -0.6f, 2},
       {0, 1, 0}},
      {"whole rim under the face", big_flat, {-2, -2, 2}, {1, 0, 0}, 2.0f, {-2, -3, 2},
       {0, 1, 0}},
      {"flat wheel lying on the face", big_flat, {-2, 0.3f, 2}, {0, 1, 0}, 0.2f, {-2, -0.2f, 2},
       {0, 1, 0}},
      {"flat wheel sunk into the face", big_flat, {-2, -0.4f, 2}, {0, -2, 0}, 0.9f,
       {-2, -0.9f, 2}, {0, 1, 0}},
      {"edge cuts the rim's disc", small_flat, {0.5f, 0.2f, 0.3f}, {1, 0, 0}, 0.5f - eps20,
       {0.5f - 0.5f * k, 0.2f - r - 0.5f * k, 0.3f + r + 0.5f * k}, {k, k, -k}},
  };
  for (const wheel_case& c : cases) {
    float point[3] = {99, 99, 99}, normal[3] = {99, 99, 99};
    float depth = wheel_triangle_contact(point, normal, c.w, c.a, 1.0f, 0.5f, c.tri);
    EXPECT_NEAR(depth, c.depth, 1e-6f) << c.name;
    expect_vec(point, c.point[0], c.point[1], c.point[2], 2e-6f, c.name);
    expect_vec(normal, c.normal[0], c.normal[1], c.normal[2], 1e-6f, c.name);

    // None of these needs the general case, so the cheap kernel agrees.
    float point2[3], normal2[3];
    float depth2 = wheel_triangle_contact_2(point2, normal2, c.w, c.a, 1.0f, 0.5f, c.tri);
    EXPECT_EQ(depth2, depth) << c.name;
  }
}

// Distance from q to the rim circle, straight from the geometry.
float brute_rim_distance(const float q[3], const float w[3], const float a[3], float rr) {
  float al = sqrtf(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
  float o[3] = {q[0] - w[0], q[1] - w[1], q[2] - w[2]};
  float axial = (o[0] * a[0] + o[1] * a[1] + o[2] * a[2]) / al;
  float radial = sqrtf(fmaxf(0.0f, o[0] * o[0] + o[1] * o[1] + o[2] * o[2] - axial * axial));
  return hypotf(axial, radial - rr);
}

TEST(TriKernels, GeneralCaseFindsTheNearestEdgePoint) {
  struct general_case {
    float w[3], a[3];
  } cases[] = {
      {{0.5f, 1.2f, -0.3f}, {1, 0, 0}},      // beside the diagonal, leaning nowhere
      {{0.5f, 1.1f, -0.4f}, {1, 0.3f, 0.2f}},  // tilted wheel
      {{1.6f, 1.0f, 0.5f}, {0, 0, 1}},       // beside the far corner, sideways
      {{-0.6f, 0.9f, 0.5f}, {0.2f, 0, 1}},   // off the first edge, its disc missing it
  };
  for (const general_case& c : cases) {
    float point[3], normal[3];
    float depth = wheel_triangle_contact(point, normal, c.w, c.a, 1.0f, 0.5f, small_flat);

    // The true smallest distance between the rim and the triangle's edges
    // (sampled) and corners (nearest point of the rim's disc).
    float best = INFINITY;
    float al = sqrtf(c.a[0] * c.a[0] + c.a[1] * c.a[1] + c.a[2] * c.a[2]);
    for (int k = 0; k < 3; k++) {
      const float* v = small_flat + 3 * k;
      float o[3] = {v[0] - c.w[0], v[1] - c.w[1], v[2] - c.w[2]};
      float axial = (o[0] * c.a[0] + o[1] * c.a[1] + o[2] * c.a[2]) / al;
      float radial = sqrtf(fmaxf(0.0f, o[0] * o[0] + o[1] * o[1] + o[2] * o[2] - axial * axial));
      best = fminf(best, hypotf(axial, fmaxf(0.0f, radial - 1.0f)));
    }
    for (int j = 0; j < 3; j++) {
      const float* v0 = small_flat + 3 * j;
      const float* v1 = small_flat + 3 * ((j + 1) % 3);
      for (int s = 0; s <= 20000; s++) {
        float t = s / 20000.0f;
        float q[3] = {v0[0] + t * (v1[0] - v0[0]), v0[1] + t * (v1[1] - v0[1]),
                      v0[2] + t * (v1[2] - v0[2])};
        best = fminf(best, brute_rim_distance(q, c.w, c.a, 1.0f));
      }
    }
    EXPECT_NEAR(depth, 0.5f - best, 1e-3f) << c.w[0] << " " << c.w[2];
    EXPECT_TRUE(isfinite(normal[0]) && isfinite(normal[1]) && isfinite(normal[2]));

    // The cheap kernel never runs the general case.
    float p2[3] = {7, 7, 7}, n2[3] = {7, 7, 7};
    EXPECT_EQ(wheel_triangle_contact_2(p2, n2, c.w, c.a, 1.0f, 0.5f, small_flat), 0.0f);
    expect_vec(p2, 7, 7, 7, 0, "untouched point");
    expect_vec(n2, 7, 7, 7, 0, "untouched normal");
  }
}

TEST(TriKernels, GeneralCaseEdgeNormalPointsFromEdgeToRim) {
  const float w[3] = {0.5f, 1.2f, -0.3f}, a[3] = {1, 0, 0};
  float point[3], normal[3];
  wheel_triangle_contact(point, normal, w, a, 1.0f, 0.5f, small_flat);
  // The nearest edge point lies on the diagonal x = z, y = 0.
  EXPECT_NEAR(point[0], point[2], 1e-6f);
  EXPECT_NEAR(point[1], 0.0f, 1e-6f);
  float rim[3];
  nearest_point_on_rim(rim, w, a, 1.0f, point);
  expect_vec(normal, rim[0] - point[0], rim[1] - point[1], rim[2] - point[2], 1e-6f,
             "edge normal");
}

TEST(TriKernels, CornerWinsWithTheAxleAsNormal) {
  // A big sideways wheel whose disc covers the whole triangle seen along the
  // axle; the corner (1, 0, 1) is the nearest, 0.2 before the disc.
  const float w[3] = {1.2f, 0.5f, 0.5f}, a[3] = {1, 0, 0};
  const float up[3] = {0, 1, 0};
  float point[3], normal[3];
  float dist = rim_triangle_distance(point, normal, w, a, 3.0f, 0.5f, small_flat, up);
  EXPECT_NEAR(dist, 0.2f, 1e-6f);
  expect_vec(point, 1, 0, 1, 0, "corner");
  expect_vec(normal, 1, 0, 0, 0, "corner on the -axle side pushes along +axle");
}

struct sphere_case {
  const char* name;
  const float* tri;
  float c[3], r;
  float depth;
  float point[3], normal[3];
};

TEST(TriKernels, SphereCases) {
  const sphere_case cases[] = {
      {"over the face", big_flat, {-2, 0.5f, 2}, 1, 0.5f, {-2, -0.5f, 2}, {0, 1, 0}},
      {"clear of the face", big_flat, {-2, 1.5f, 2}, 1, -0.5f, {-2, 0.5f, 2}, {0, 1, 0}},
      {"beside an edge", small_flat, {0.5f, 0.2f, 1.3f}, 0.5f, 0.5f - sqrtf(0.13f),
       {0.5f, 0.2f - 0.5f * 0.2f / sqrtf(0.13f), 1.3f - 0.5f * 0.3f / sqrtf(0.13f)},
       {0, 0.2f / sqrtf(0.13f), 0.3f / sqrtf(0.13f)}},
      {"beside a corner", small_flat, {1.3f, 0, 1.4f}, 1, 0.5f, {0.7f, 0, 0.6f}, {0.6f, 0, 0.8f}},
      {"deep under the face", big_flat, {-2, -3, 2}, 1, 4.0f, {-2, -4, 2}, {0, 1, 0}},
  };
  for (const sphere_case& c : cases) {
    float point[3] = {99, 99, 99}, normal[3] = {99, 99, 99};
    float depth = body_triangle_contact(point, normal, c.c, c.r, c.tri);
    EXPECT_NEAR(depth, c.depth, 1e-6f) << c.name;
    expect_vec(point, c.point[0], c.point[1], c.point[2], 1e-6f, c.name);
    expect_vec(normal, c.normal[0], c.normal[1], c.normal[2], 1e-6f, c.name);
  }
}

TEST(TriKernels, DeepSphereOutsideTheVerticalPrismGivesNothing) {
  // A steep face (the plane y = x); far below it along its normal the centre
  // is still inside its slanted edges but no longer under it seen from above.
  const float steep[9] = {0, 0, 0, 0, 0, 1, 1, 1, 1};
  const float c[3] = {1.5f, -0.5f, 0.6f};
  float point[3], normal[3];
  EXPECT_EQ(body_triangle_contact(point, normal, c, 0.5f, steep), 0.0f);
}

}  // namespace
