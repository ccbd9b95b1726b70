#include "assets/jm_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "assets/test_support_models.h"
#include "core/file.h"
#include "core/memory.h"

namespace {

class JmWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    models_reset();
    console_lines_clear();
  }
  void TearDown() override { models_reset(); }
};

const jm_material grey = {20.0f, {0.5f, 0.5f, 0.5f, 1.0f}};
const jm_material chrome = {-1.0f, {0.75f, 0.8f, 0.9f, 0.5f}};
const jm_material lamp = {-2.0f, {1.0f, 0.5f, 0.0f, 0.25f}};

std::map<int, float> weights_by_bone(const model* m, int i) {
  std::map<int, float> out;
  for (int k = 0; k < 4; ++k)
    if (m->weights[4 * i + k] > 0.0f) out[m->bone_indices[4 * i + k]] += m->weights[4 * i + k];
  return out;
}

// Same sub-meshes, vertices (both halves), triangles and weights.
void expect_same(const model* a, const model* b) {
  for (; a && b; a = a->next, b = b->next) {
    ASSERT_EQ(a->vertex_count, b->vertex_count);
    ASSERT_EQ(a->triangle_count, b->triangle_count);
    ASSERT_EQ(a->bone_count, b->bone_count);
    EXPECT_EQ(a->shininess, b->shininess);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(a->colour[k], b->colour[k]) << k;
    const int halves = a->bone_count > 0 ? 2 : 1;
    for (int k = 0; k < 3 * a->vertex_count * halves; ++k) {
      EXPECT_EQ(a->positions[k], b->positions[k]) << k;
      EXPECT_EQ(a->normals[k], b->normals[k]) << k;
      EXPECT_NEAR(a->tangents[k], b->tangents[k], 1e-5f) << k;
    }
    for (int k = 0; k < 2 * a->vertex_count; ++k) EXPECT_NEAR(a->texcoords[k], b->texcoords[k], 1e-6f) << k;
    for (int k = 0; k < 3 * a->triangle_count; ++k) EXPECT_EQ(a->triangles[k], b->triangles[k]) << k;
    for (int i = 0; i < a->vertex_count && a->bone_count > 0; ++i) {
      const std::map<int, float> wa = weights_by_bone(a, i), wb = weights_by_bone(b, i);
      ASSERT_EQ(wa.size(), wb.size()) << i;
      for (const auto& [bone, w] : wa) EXPECT_NEAR(wb.at(bone), w, 1e-6f) << i;
    }
  }
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(b, nullptr);
}

TEST_F(JmWriter, ShapesReadBackAsWritten) {
  const float size[3] = {2.0f, 1.0f, 0.5f};
  model* box = jm_box(size, &grey, "box");
  model* cylinder = jm_cylinder(0.5f, 3.0f, 12, &chrome, "cylinder");
  model* torus = jm_torus(2.0f, 0.25f, 16, 8, &lamp, "torus");
  ASSERT_NE(box, nullptr);
  ASSERT_NE(cylinder, nullptr);
  ASSERT_NE(torus, nullptr);
  EXPECT_EQ(box->vertex_count, 24);
  EXPECT_EQ(box->triangle_count, 12);
  EXPECT_EQ(cylinder->triangle_count, 12 * 2 + 2 * 12);
  EXPECT_EQ(torus->triangle_count, 16 * 8 * 2);
  // Three materials in one model.
  box->next = cylinder;
  cylinder->next = torus;
  ASSERT_EQ(jm_write_file(box, "@shapes/three.jm"), 1);
  model* back = model_read("@shapes/three.jm");
  ASSERT_NE(back, nullptr);
  expect_same(box, back);
  EXPECT_EQ(back->reflective, 1);
  EXPECT_EQ(console_lines_with("degenerate"), 0);
  model_free_submeshes(back);
  model_free_submeshes(box);
}

TEST_F(JmWriter, ShapesFaceOutwards) {
  const float size[3] = {1.0f, 2.0f, 3.0f};
  model* shapes[3] = {jm_box(size, &grey, "b"), jm_cylinder(1.0f, 2.0f, 8, &grey, "c"),
                      jm_torus(3.0f, 1.0f, 8, 6, &grey, "t")};
  for (model* m : shapes) {
    ASSERT_NE(m, nullptr);
    for (int t = 0; t < m->triangle_count; ++t) {
      const int* c = m->triangles + 3 * t;
      const float* a = m->positions + 3 * c[0];
      const float* b = m->positions + 3 * c[1];
      const float* d = m->positions + 3 * c[2];
      const float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
      const float e2[3] = {d[0] - a[0], d[1] - a[1], d[2] - a[2]};
      const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
      const float* vn = m->normals + 3 * c[0];
      EXPECT_GT(n[0] * vn[0] + n[1] * vn[1] + n[2] * vn[2], 0.0f) << m->name << " " << t;
    }
    model_free_submeshes(m);
  }
}

TEST_F(JmWriter, SkinnedCapsuleReadsBackWithItsWeights) {
  model* capsule = jm_capsule(0.5f, 4.0f, 10, 4, 5, &grey, "capsule");
  ASSERT_NE(capsule, nullptr);
  EXPECT_EQ(capsule->bone_count, 5);
  // Each vertex hangs on the pivots next to its height, weights summing to 1.
  for (int i = 0; i < capsule->vertex_count; ++i) {
    const std::map<int, float> w = weights_by_bone(capsule, i);
    float sum = 0.0f;
    for (const auto& [bone, weight] : w) {
      float centre[3];
      jm_capsule_bone_centre(4.0f, 5, bone, centre);
      EXPECT_LE(std::fabs(capsule->positions[3 * i + 1] - centre[1]), 1.0f + 1e-5f) << i;
      sum += weight;
    }
    EXPECT_NEAR(sum, 1.0f, 1e-6f) << i;
  }
  ASSERT_EQ(jm_write_file(capsule, "@shapes/capsule.jm"), 1);
  model* back = model_read("@shapes/capsule.jm");
  ASSERT_NE(back, nullptr);
  expect_same(capsule, back);
  EXPECT_EQ(console_lines_with("more than 4 bone influences"), 0);
  EXPECT_EQ(console_lines_with("degenerate"), 0);
  model_free_submeshes(back);
  model_free_submeshes(capsule);

  EXPECT_EQ(jm_capsule(0.5f, 4.0f, 10, 4, 0, &grey, "none"), nullptr);
}

TEST_F(JmWriter, RefusedWritesSayWhy) {
  const float size[3] = {1, 1, 1};
  model* box = jm_box(size, &grey, "box");
  model* capsule = jm_capsule(0.5f, 1.0f, 6, 2, 2, &grey, "capsule");
  box->next = capsule;
  EXPECT_EQ(jm_write_file(box, "@shapes/mixed.jm"), 0);
  EXPECT_EQ(console_lines_with("differ in bone count"), 1);
  box->next = nullptr;
  EXPECT_EQ(jm_write_file(box, "@../outside.jm"), 0);
  EXPECT_EQ(console_lines_with("Can't write '@../outside.jm'"), 1);
  model_free_submeshes(box);
  model_free_submeshes(capsule);
}

TEST_F(JmWriter, LodVariantsWrittenBesideTheBaseAreFound) {
  const float size[3] = {1, 1, 1};
  model* detailed = jm_torus(2.0f, 0.5f, 24, 12, &grey, "d");
  model* middle = jm_torus(2.0f, 0.5f, 12, 6, &grey, "m");
  model* coarse = jm_box(size, &grey, "c");
  ASSERT_EQ(jm_write_file(detailed, "@things/ring.jm"), 1);
  ASSERT_EQ(jm_write_file(coarse, "@things/ring_lod5.jm"), 1);
  ASSERT_EQ(jm_write_file(middle, "@things/ring_lod3.jm"), 1);
  model* m = model_get("@things/ring.jm");
  ASSERT_NE(m, nullptr);
  expect_same(detailed, m);
  ASSERT_NE(m->lod_next, nullptr);
  EXPECT_EQ(m->lod_next->lod_distance, 8.0f);
  expect_same(middle, m->lod_next);
  ASSERT_NE(m->lod_next->lod_next, nullptr);
  EXPECT_EQ(m->lod_next->lod_next->lod_distance, 32.0f);
  expect_same(coarse, m->lod_next->lod_next);
  EXPECT_EQ(m->lod_next->lod_next->lod_next, nullptr);
  model_free_submeshes(detailed);
  model_free_submeshes(middle);
  model_free_submeshes(coarse);
}

}  // namespace
