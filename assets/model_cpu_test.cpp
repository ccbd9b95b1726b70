#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "assets/model_draw.h"
#include "assets/model_settings.h"
#include "assets/shader.h"
#include "core/memory.h"

namespace {

// A sub-mesh of the given vertices (x y z nx ny nz u v each) and triangles.
model* make(int v, const float* vertices, int t, const int* triangles, int bones = 0) {
  model* m = model_alloc_submesh(v, t, bones, "test");
  for (int i = 0; i < v; ++i) {
    std::memcpy(m->positions + 3 * i, vertices + 8 * i, 3 * sizeof(float));
    std::memcpy(m->normals + 3 * i, vertices + 8 * i + 3, 3 * sizeof(float));
    std::memcpy(m->texcoords + 2 * i, vertices + 8 * i + 6, 2 * sizeof(float));
    if (bones) {
      std::memcpy(m->positions + 3 * (v + i), vertices + 8 * i, 3 * sizeof(float));
      std::memcpy(m->normals + 3 * (v + i), vertices + 8 * i + 3, 3 * sizeof(float));
    }
  }
  std::memcpy(m->triangles, triangles, 3 * t * sizeof(int));
  return m;
}

TEST(ModelLod, ChoiceByDistanceScaleAndOffset) {
  model base = {}, near = {}, far = {};
  base.lod_next = &near;
  near.lod_distance = 16.0f;
  near.lod_next = &far;
  far.lod_distance = 64.0f;
  struct lod_case {
    float distance, scale, offset;
    const model* chosen;
  };
  const lod_case cases[] = {
      {10, 1, 0, &base}, {20, 1, 0, &near}, {70, 1, 0, &far}, {16, 1, 0, &near},
      // A smaller scale keeps detail further out.
      {20, 0.5f, 0, &base}, {40, 0.5f, 0, &near},
      // An offset pulls every switch closer; past a switch distance it is
      // always taken.
      {0, 1, 16, &near}, {40, 1, 30, &far}, {0, 0, 100, &far},
  };
  for (const lod_case& c : cases) {
    const float object[3] = {3.0f, c.distance, 0.0f}, eye[3] = {3.0f, 0.0f, 0.0f};
    EXPECT_EQ(model_choose_lod(&base, object, eye, c.scale, c.offset), c.chosen)
        << c.distance << " " << c.scale << " " << c.offset;
  }
}

TEST(ModelLod, ScaleAndOffsetFromTheDetailSlider) {
  struct detail_case {
    float detail, scale, offset;
  };
  const detail_case cases[] = {
      {50, 1.0f, 0.0f}, {100, 0.0f, 0.0f}, {0, 8.0f, 50.0f}, {10, 1.8f * 1.8f * 1.8f, 50.0f},
      {20, 1.6f * 1.6f * 1.6f, 25.0f}, {75, 0.5f, 0.0f}, {-20, 8.0f, 50.0f}, {150, 0.0f, 0.0f},
  };
  for (const detail_case& c : cases) {
    float scale, offset;
    model_lod_from_detail(c.detail, &scale, &offset);
    EXPECT_NEAR(scale, c.scale, 1e-5f) << c.detail;
    EXPECT_NEAR(offset, c.offset, 1e-5f) << c.detail;
  }
}

TEST(ModelTangents, FollowUAndFallBackWithoutTextureSpace) {
  // u runs along -y on this quad, v along +x.
  const float quad[] = {0, 0, 0, 0, 0, 1, 0, 0, 0, -1, 0, 0, 0, 1, 1, 0,
                        1, -1, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 1, 0, 1};
  const int triangles[] = {0, 1, 2, 0, 2, 3};
  model* m = make(4, quad, 2, triangles);
  model_compute_tangents(m);
  for (int i = 0; i < 4; ++i) {
    const float* t = m->tangents + 3 * i;
    EXPECT_NEAR(std::fabs(t[1]), 1.0f, 1e-6f) << i;
    EXPECT_NEAR(t[0], 0.0f, 1e-6f);
    EXPECT_NEAR(t[2], 0.0f, 1e-6f);
  }
  // Every vertex shares one uv: the tangent falls back to the longer edge.
  const float flat[] = {0, 0, 0, 0, 0, 1, 0.5f, 0.5f, 0, 0, 3, 0, 0, 1, 0.5f, 0.5f,
                        0, 1, 0, 0, 0, 1, 0.5f, 0.5f, 5, 5, 5, 0, 0, 1, 0, 0};
  const int one[] = {0, 1, 2};
  model* f = make(4, flat, 1, one);
  model_compute_tangents(f);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(f->tangents[3 * i + 2], 1.0f, 1e-6f) << i;
  }
  // An unused vertex gets (1, 0, 0).
  EXPECT_EQ(f->tangents[9], 1.0f);
  EXPECT_EQ(f->tangents[10], 0.0f);
  check_free(m);
  check_free(f);
}

TEST(ModelTriangles, DegenerateByAreaOrNan) {
  const float v[] = {0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1e-13f, 0, 0, 0, 1, 0, 0,
                     0, 1, 0, 0, 0, 1, 0, 0, NAN, 0, 0, 0, 0, 1, 0, 0};
  const int t[] = {0, 1, 3, 0, 1, 2, 0, 1, 4, 0, 0, 3};
  model* m = make(5, v, 4, t);
  EXPECT_EQ(model_triangle_degenerate(m, 0), 0);
  EXPECT_EQ(model_triangle_degenerate(m, 1), 1);  // area 1e-13: squared below 2^-80
  EXPECT_EQ(model_triangle_degenerate(m, 2), 1);
  EXPECT_EQ(model_triangle_degenerate(m, 3), 1);
  check_free(m);
}

// Rotation by 90 degrees about z, column after column.
const float quarter_z[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};
const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

TEST(ModelSkinning, MovesByTheWeightedBones) {
  const float v[] = {2, 1, 0, 1, 0, 0, 0, 0, 2, 0, 0, 1, 0, 0, 0, 0, 4, 4, 4, 0, 1, 0, 0, 0};
  const int t[] = {0, 1, 2};
  model* m = make(3, v, 1, t, 2);
  model_compute_tangents(m);
  // Vertex 0: bone 1 alone; vertex 1: half each; vertex 2: bone 0 alone.
  const float weights[12] = {1, 0, 0, 0, 0.5f, 0.5f, 0, 0, 1, 0, 0, 0};
  const int bones[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
  std::memcpy(m->weights, weights, sizeof weights);
  std::memcpy(m->bone_indices, bones, sizeof bones);
  const float centres[6] = {0, 0, 0, 1, 1, 0};
  const float translations[6] = {10, 0, 0, 0, 0, 5};
  float rotations[18];
  std::memcpy(rotations, identity, sizeof identity);
  std::memcpy(rotations + 9, quarter_z, sizeof quarter_z);

  shaders_active = 1;
  model_skin_cpu(m, centres, translations, rotations, 2);
  EXPECT_EQ(m->positions[0], 2.0f);  // the vertex programs skin instead
  shaders_active = 0;
  model_skin_cpu(m, centres, translations, rotations, 1);
  EXPECT_EQ(m->positions[0], 2.0f);  // not this model's bones

  model_skin_cpu(m, centres, translations, rotations, 2);
  // R (p - c) + t with p - c = (1, 0, 0) turned to (0, 1, 0).
  EXPECT_NEAR(m->positions[0], 0.0f, 1e-6f);
  EXPECT_NEAR(m->positions[1], 1.0f, 1e-6f);
  EXPECT_NEAR(m->positions[2], 5.0f, 1e-6f);
  EXPECT_NEAR(m->normals[0], 0.0f, 1e-6f);
  EXPECT_NEAR(m->normals[1], 1.0f, 1e-6f);
  // Half of (2, 0, 0) + (10, 0, 0) and half of R (1, -1, 0) + (0, 0, 5).
  EXPECT_NEAR(m->positions[3], 0.5f * 12.0f + 0.5f * 1.0f, 1e-6f);
  EXPECT_NEAR(m->positions[4], 0.5f * 1.0f, 1e-6f);
  EXPECT_NEAR(m->positions[5], 2.5f, 1e-6f);
  // The blended normal is normalised.
  const float* n = m->normals + 3;
  EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-6f);
  EXPECT_NEAR(m->positions[6], 14.0f, 1e-6f);
  // The bind pose stays.
  EXPECT_EQ(m->positions[9], 2.0f);
  EXPECT_EQ(m->positions[10], 1.0f);
  check_free(m);
}

TEST(ModelEnvironment, PolarLookupWithoutNans) {
  // One vertex looking straight down at an upward face: the reflection
  // goes straight up, the centre of the map. Then straight down, sideways,
  // and an eye sitting on the vertex.
  const float v[] = {0, 0, 0, 0, 1, 0, 9, 9, 0, 0, 0, 1, 0, 0, 9, 9, 0, 0, 0, 1, 0, 0, 9, 9, 0, 0, 0, 0, 1, 0, 9, 9};
  const int t[] = {0, 1, 2};
  model* m = make(4, v, 1, t);
  const float rows_identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  const float object[3] = {0, 0, 0};
  const float above[3] = {0, 5, 0};
  model_env_texcoords(m, above, object, rows_identity);
  EXPECT_FLOAT_EQ(m->texcoords[0], 0.5f);
  EXPECT_FLOAT_EQ(m->texcoords[1], 0.5f);
  // A +x face seen from above: the view passes along it, straight down,
  // the rim of the map.
  EXPECT_FLOAT_EQ(m->texcoords[2], 1.0f);
  EXPECT_FLOAT_EQ(m->texcoords[3], 0.5f);
  for (int k = 0; k < 8; ++k) EXPECT_FALSE(std::isnan(m->texcoords[k])) << k;

  // Looking along -x at a +x face: reflected back along +x, the horizon.
  const float side[3] = {5, 0, 0};
  model_env_texcoords(m, side, object, rows_identity);
  EXPECT_NEAR(m->texcoords[4], 0.75f, 1e-6f);
  EXPECT_NEAR(m->texcoords[5], 0.5f, 1e-6f);

  // The object turned so that its +x faces the eye on world +z: the +x
  // face sends the view back to the eye, the horizon towards +z.
  const float turned[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};
  const float front[3] = {0, 0, 5};
  model_env_texcoords(m, front, object, turned);
  EXPECT_NEAR(m->texcoords[4], 0.5f, 1e-6f);
  EXPECT_NEAR(m->texcoords[5], 0.75f, 1e-6f);

  // The eye on the vertex itself.
  model_env_texcoords(m, object, object, rows_identity);
  for (int k = 0; k < 8; ++k) EXPECT_FALSE(std::isnan(m->texcoords[k])) << k;
  EXPECT_EQ(m->texcoords[0], 0.5f);
  check_free(m);
}

}  // namespace
