#include "assets/model.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <string>
#include <vector>

#include "assets/shader.h"
#include "assets/test_support_models.h"
#include "assets/verbose.h"
#include "core/file.h"
#include "core/memory.h"

namespace {

class Models : public ::testing::Test {
 protected:
  void SetUp() override {
    models_reset();
    console_lines_clear();
    shaders_active = 0;
  }
  void TearDown() override {
    models_reset();
    shaders_active = 0;
  }
};

// One triangle sub-mesh with the given material line.
std::string triangle_submesh(const std::string& material) {
  return material + " 3 1\n"
         "0 0 0  0 0 1  0 0\n"
         "1 0 0  0 0 1  1 0\n"
         "0 1 0  0 0 1  0 0.25\n"
         "0 1 2\n";
}

TEST_F(Models, VersionOneChainTakesItsMaterialsAndFlipsV) {
  const std::string name = model_fixture("m/chain.jm", "JM1\n" + triangle_submesh("20 0.3 0.1 0.2 0.4") +
                                                           triangle_submesh("-1 0.5 1 0.5 0.25") +
                                                           triangle_submesh("-2 0.7 0 1 0"));
  model* m = model_read(name.c_str());
  ASSERT_NE(m, nullptr);
  ASSERT_NE(m->next, nullptr);
  ASSERT_NE(m->next->next, nullptr);
  EXPECT_EQ(m->next->next->next, nullptr);
  EXPECT_STREQ(model_name(m), name.c_str());

  EXPECT_EQ(m->shininess, 20.0f);
  EXPECT_EQ(m->colour[0], 0.1f);
  EXPECT_EQ(m->colour[1], 0.2f);
  EXPECT_EQ(m->colour[2], 0.4f);
  EXPECT_EQ(m->colour[3], 1.0f);  // m1 only counts below mode 0
  EXPECT_EQ(m->next->colour[3], 0.5f);
  EXPECT_EQ(m->next->next->colour[3], 0.7f);
  EXPECT_EQ(m->next->reflective, 1);
  EXPECT_EQ(m->next->next->reflective, 0);
  EXPECT_EQ(m->reflective, 1);  // the chain's flag on the first
  EXPECT_EQ(m->list_wanted, 1);
  EXPECT_EQ(m->next->list_wanted, 0);

  EXPECT_EQ(m->vertex_count, 3);
  EXPECT_EQ(m->triangle_count, 1);
  EXPECT_EQ(m->bone_count, 0);
  EXPECT_EQ(m->weights, nullptr);
  EXPECT_EQ(m->texcoords[1], 1.0f);
  EXPECT_EQ(m->texcoords[5], 0.75f);
  // Tangent along +u, which runs along +x here.
  EXPECT_NEAR(std::fabs(m->tangents[0]), 1.0f, 1e-6f);
  EXPECT_NEAR(m->tangents[1], 0.0f, 1e-6f);
  model_free_submeshes(m);
}

TEST_F(Models, HeaderlessFileIsOneWhiteSubMesh) {
  const std::string name = model_fixture("m/plain.jm",
                                         "4 2\n"
                                         "0 0 0 0 1 0 0 0\n1 0 0 0 1 0 1 0\n1 0 1 0 1 0 1 1\n0 0 1 0 1 0 0 1\n"
                                         "0 1 2 0 2 3\n");
  model* m = model_read(name.c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->next, nullptr);
  EXPECT_EQ(m->shininess, 32.0f);
  for (float c : m->colour) EXPECT_EQ(c, 1.0f);
  EXPECT_EQ(m->reflective, 0);
  EXPECT_EQ(m->list_wanted, 1);
  EXPECT_EQ(m->triangle_count, 2);
  EXPECT_EQ(m->texcoords[2 * 2 + 1], 0.0f);
  model_free_submeshes(m);
}

TEST_F(Models, BoneWeightsKeepTheFourLargestAndNormalise) {
  // Vertex 0: five weights; vertex 1: none; vertex 2: one bone.
  const std::string name = model_fixture("m/bones.jm",
                                         "JM2 5 rig\n"
                                         "10 1 1 1 1 3 1\n"
                                         "0 0 0 0 0 1 0 0  0.5 0.4 0.3 0.2 0.1\n"
                                         "1 0 0 0 0 1 1 0  0 0 0 0 0\n"
                                         "0 1 0 0 0 1 0 1  0 0 0 2 0\n"
                                         "0 1 2\n");
  model* m = model_read(name.c_str());
  ASSERT_NE(m, nullptr);
  ASSERT_NE(m->weights, nullptr);
  EXPECT_EQ(m->bone_count, 5);
  const float* w = m->weights;
  const int* b = m->bone_indices;
  const float expected[4] = {0.5f / 1.3f, 0.4f / 1.3f, 0.3f / 1.3f, 0.1f / 1.3f};
  const int bones[4] = {0, 1, 2, 4};
  for (int k = 0; k < 4; ++k) {
    EXPECT_NEAR(w[k], expected[k], 1e-6f) << k;
    EXPECT_EQ(b[k], bones[k]) << k;
  }
  for (int k = 4; k < 8; ++k) {
    EXPECT_EQ(w[k], 0.25f);
    EXPECT_EQ(b[k], 0);
  }
  EXPECT_EQ(w[8], 1.0f);
  EXPECT_EQ(b[8], 3);
  EXPECT_EQ(console_lines_with("Warning: vertex with more than 4 bone influences in '" + name + "'"), 1);
  // The bind pose starts as a copy of the current one.
  for (int k = 0; k < 9; ++k) {
    EXPECT_EQ(m->positions[9 + k], m->positions[k]);
    EXPECT_EQ(m->normals[9 + k], m->normals[k]);
    EXPECT_EQ(m->tangents[9 + k], m->tangents[k]);
  }
  model_free_submeshes(m);
}

TEST_F(Models, BadTrianglesAreDroppedInOrderAndCounted) {
  const std::string name = model_fixture("m/bad.jm",
                                         "JM1\n10 1 1 1 1 4 5\n"
                                         "0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n1 1 0 0 0 1 1 1\n"
                                         "0 1 2\n"
                                         "0 1 7\n"    // out of range
                                         "0 0 1\n"    // no area
                                         "-1 2 3\n"   // out of range
                                         "1 3 2\n");
  model* m = model_read(name.c_str());
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->triangle_count, 2);
  const int kept[6] = {0, 1, 2, 1, 3, 2};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(m->triangles[k], kept[k]);
  // The tangent pass never saw the out-of-range corners: the arrays after
  // the tangents are intact and every tangent is a unit vector.
  const float uv[8] = {0, 1, 1, 1, 0, 0, 1, 0};
  for (int k = 0; k < 8; ++k) EXPECT_EQ(m->texcoords[k], uv[k]) << k;
  for (int i = 0; i < 4; ++i) {
    const float* t = m->tangents + 3 * i;
    EXPECT_NEAR(t[0] * t[0] + t[1] * t[1] + t[2] * t[2], 1.0f, 1e-6f) << i;
  }
  EXPECT_EQ(console_lines_with("3 degenerate triangles deleted in " + name), 1);
  model_free_submeshes(m);
}

TEST_F(Models, MalformedFilesAreRefusedWithAMessage) {
  struct bad_case {
    const char* file;
    const char* text;
    const char* message;
  };
  const std::string body = triangle_submesh("10 1 1 1 1");
  const std::vector<bad_case> cases = {
      {"empty.jm", "", "Can't read model"},
      {"v3.jm", "JM3\n", "unknown version 3"},
      {"v2bare.jm", "JM2\n", "lacks its bone count"},
      {"v2word.jm", "JM2 4\n", "lacks its bone count"},
      {"negbones.jm", "JM2 -1 rig\n", "asks for -1 bones"},
      {"hugebones.jm", "JM2 100000 rig\n", "asks for 100000 bones"},
      {"negv.jm", "JM1\n10 1 1 1 1 -3 1\n", "Bad counts"},
      {"hugev.jm", "JM1\n10 1 1 1 1 99999999999 1\n", "Bad counts"},
      {"huget.jm", "JM1\n10 1 1 1 1 3 2147483647\n", "Bad counts"},
      {"shortv.jm", "JM1\n10 1 1 1 1 3 1\n0 0 0 0 0 1 0 0\n1 0 0\n", "Can't read model"},
      {"shortt.jm", "JM1\n10 1 1 1 1 3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 0 0\n0 1 0 0 0 1 0 0\n0 1\n",
       "Can't read model"},
      {"nobody.jm", "JM1\n", "Can't read model"},
      {"plainshort.jm", "3 1\n0 0 0 0 0 1 0 0\n", "breaks off"},
      {"plainneg.jm", "-5 1\n", "Bad counts"},
      {"text.jm", "hello world\n", "Can't read model"},
  };
  for (const bad_case& c : cases) {
    console_lines_clear();
    const std::string name = model_fixture(std::string("bad/") + c.file, c.text);
    EXPECT_EQ(model_read(name.c_str()), nullptr) << c.file;
    EXPECT_GE(console_lines_with(c.message), 1) << c.file;
  }
  EXPECT_EQ(model_read("@bad/missing.jm"), nullptr);
}

TEST_F(Models, TooManyBonesForTheShadersIsRefusedOnlyWithShaders) {
  std::string text = "JM2 33 rig\n10 1 1 1 1 1 0\n0 0 0 0 0 1 0 0";
  for (int b = 0; b < 33; ++b) text += b == 32 ? " 1" : " 0";
  text += "\n";
  const std::string name = model_fixture("m/many.jm", text);
  model* m = model_read(name.c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->bone_indices[0], 32);
  EXPECT_EQ(m->list_wanted, 0);  // skinned on the CPU, so drawn from arrays
  model_free_submeshes(m);
  shaders_active = 1;
  EXPECT_EQ(model_read(name.c_str()), nullptr);
  EXPECT_EQ(console_lines_with("the shaders take at most 32"), 1);
}

TEST_F(Models, ABrokenLaterSubMeshEndsTheChainWithAWarning) {
  const std::string name =
      model_fixture("m/broken.jm", "JM1\n" + triangle_submesh("10 1 1 1 1") + "10 1 1 1 1 3 1\n0 0 0\n");
  model* m = model_read(name.c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->next, nullptr);
  EXPECT_EQ(console_lines_with("breaks off after 1 sub-meshes"), 1);
  model_free_submeshes(m);
}

TEST_F(Models, CacheServesByNameAndStampsGenerations) {
  const std::string a = model_fixture("m/a.jm", "JM1\n" + triangle_submesh("10 1 1 1 1"));
  const std::string b = model_fixture("m/b.jm", "JM1\n" + triangle_submesh("10 1 1 1 1"));
  const std::string c = model_fixture("m/c.jm", "JM1\n" + triangle_submesh("10 1 1 1 1"));
  model* ma = model_get(a.c_str());
  ASSERT_NE(ma, nullptr);
  EXPECT_EQ(ma->generation, 0);
  EXPECT_EQ(model_get(a.c_str()), ma);
  EXPECT_EQ(console_lines_with("case mismatch"), 0);
  EXPECT_EQ(model_get("@M/A.JM"), ma);
  EXPECT_EQ(console_lines_with("Warning: case mismatch on '@M/A.JM'"), 1);
  EXPECT_EQ(model_get("@m/nothing.jm"), nullptr);
  EXPECT_EQ(model_cache.count, 1u);

  model_generation = 1;
  model* mb = model_get(b.c_str());
  model* mc = model_get(c.c_str());
  ASSERT_NE(mb, nullptr);
  ASSERT_NE(mc, nullptr);
  EXPECT_EQ(mb->generation, 1);

  // A new track: c is asked for again, b is not; a stays from start-up.
  model_generation = 2;
  EXPECT_EQ(model_get(c.c_str()), mc);
  EXPECT_EQ(mc->generation, 2);
  verbose = 1;
  model_delete_stale(0);
  verbose = 0;
  EXPECT_EQ(console_lines_with("deleting model " + b), 1);
  EXPECT_EQ(console_lines_with("deleting model"), 1);
  ASSERT_EQ(model_cache.count, 2u);
  EXPECT_EQ(static_cast<model**>(model_cache.data)[0], ma);
  EXPECT_EQ(static_cast<model**>(model_cache.data)[1], mc);

  // A lookup of a start-up model stamps it into the current generation too.
  EXPECT_EQ(model_get(a.c_str()), ma);
  EXPECT_EQ(ma->generation, 2);
  model_generation = 3;
  model_delete_stale(0);
  EXPECT_EQ(model_cache.count, 0u);
  EXPECT_NE(model_cache.data, nullptr);
  model_delete_stale(1);
  EXPECT_EQ(model_cache.data, nullptr);
}

void write_gzip(const std::string& path, const std::string& text) {
  gzFile f = gzopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  gzwrite(f, text.data(), static_cast<unsigned>(text.size()));
  gzclose(f);
}

TEST_F(Models, LodVariantsComeFromTheFileList) {
  const std::string base = model_fixture("m/bike.jm", "JM1\n" + triangle_submesh("10 1 1 1 1"));
  model_fixture("m/bike_lod4.jm", "JM1\n" + triangle_submesh("11 1 1 1 1"));
  write_gzip(std::string(search_root(0)) + "m/bike_lod6.jm.gz", "JM1\n" + triangle_submesh("12 1 1 1 1"));
  model_fixture("m/bike_lodx.jm", "JM1\n" + triangle_submesh("13 1 1 1 1"));       // no number
  model_fixture("m/bike_lod9.jm", "not a model\n");                                 // does not read
  model_fixture("m/bikes_lod1.jm", "JM1\n" + triangle_submesh("14 1 1 1 1"));      // another stem
  model* m = model_get(base.c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->lod_distance, 0.0f);
  ASSERT_NE(m->lod_next, nullptr);
  EXPECT_EQ(m->lod_next->lod_distance, 16.0f);
  EXPECT_EQ(m->lod_next->shininess, 11.0f);
  ASSERT_NE(m->lod_next->lod_next, nullptr);
  EXPECT_EQ(m->lod_next->lod_next->lod_distance, 64.0f);
  EXPECT_EQ(m->lod_next->lod_next->shininess, 12.0f);
  EXPECT_STREQ(m->lod_next->lod_next->name, "@m/bike_lod6.jm");
  EXPECT_EQ(m->lod_next->lod_next->lod_next, nullptr);
  // Variants are not cached themselves.
  EXPECT_EQ(model_cache.count, 1u);
}

TEST_F(Models, TextureGradientBoundsCoverTheRestOfTheChain) {
  // First sub-mesh: u changes by 1 over an edge of 2; v by 1 over 1. The
  // second: u by 1 over 0.5, and a short edge (0.05) whose change is ignored.
  const std::string name = model_fixture("m/gradient.jm",
                                         "JM1\n"
                                         "10 1 1 1 1 3 1\n"
                                         "0 0 0 0 0 1 0 0\n2 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n0 1 2\n"
                                         "10 1 1 1 1 4 2\n"
                                         "0 0 0 0 0 1 0 0\n0.5 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 0\n"
                                         "0.05 0 0 0 0 1 0 1\n"
                                         "0 1 2 0 3 2\n");
  model* m = model_read(name.c_str());
  ASSERT_NE(m, nullptr);
  ASSERT_NE(m->next, nullptr);
  EXPECT_FLOAT_EQ(m->next->u_gradient_bound, 2.0f);
  EXPECT_NEAR(m->next->v_gradient_bound, 1.0f / std::sqrt(1.0f + 0.05f * 0.05f), 1e-6f);
  EXPECT_FLOAT_EQ(m->u_gradient_bound, 2.0f);
  EXPECT_FLOAT_EQ(m->v_gradient_bound, 1.0f);
  float u, v;
  model_gradient_counts(m, 100.0f, &u, &v);
  EXPECT_FLOAT_EQ(u, 50.0f);
  EXPECT_FLOAT_EQ(v, 100.0f);
  model_gradient_counts(m, 1e6f, &u, &v);
  EXPECT_EQ(u, 8192.0f);
  EXPECT_EQ(v, 8192.0f);
  model_free_submeshes(m);
}

TEST(ModelLodNames, VariantNamesAndDistances) {
  struct lod_case {
    const char* listed;
    int is_variant;
    float distance;
    const char* variant;
  };
  const lod_case cases[] = {
      {"m/bike_lod4.jm", 1, 16.0f, "m/bike_lod4.jm"},
      {"m/bike_lod6.jm.gz", 1, 64.0f, "m/bike_lod6.jm"},
      {"m/bike_lod2.jm.scram", 1, 4.0f, "m/bike_lod2.jm"},
      {"m/bike_lod3.jm.gz.scram", 1, 8.0f, "m/bike_lod3.jm"},
      {"m/bike_lod2.5.jm", 1, std::pow(2.0f, 2.5f), "m/bike_lod2.5.jm"},
      {"m/bike_lod1e1.jm", 1, 1024.0f, "m/bike_lod1e1.jm"},
      {"m/bike_lod-1.jm", 1, 0.5f, "m/bike_lod-1.jm"},
      {"m/bike_lod.jm", 0, 0, nullptr},
      {"m/bike_lodinf.jm", 0, 0, nullptr},
      {"m/bike_lod 4.jm", 0, 0, nullptr},
      {"m/bike.jm", 0, 0, nullptr},
      {"m/bike2_lod4.jm", 0, 0, nullptr},
      {"n/bike_lod4.jm", 0, 0, nullptr},
  };
  for (const lod_case& c : cases) {
    float distance = -1;
    char variant[256] = "";
    EXPECT_EQ(model_lod_variant("m/bike", c.listed, &distance, variant, sizeof variant), c.is_variant) << c.listed;
    if (!c.is_variant) continue;
    EXPECT_FLOAT_EQ(distance, c.distance) << c.listed;
    EXPECT_STREQ(variant, c.variant);
  }
  char stem[64];
  EXPECT_EQ(model_lod_stem("@m/bike.jm", stem, sizeof stem), 1);
  EXPECT_STREQ(stem, "m/bike");
  EXPECT_EQ(model_lod_stem("@m/bike", stem, sizeof stem), 0);
  EXPECT_EQ(model_lod_stem("m/bike.jm", stem, sizeof stem), 0);
  EXPECT_EQ(model_lod_stem("@m/a-very-long-name.jm", stem, 8), 0);
}

TEST_F(Models, PovExportWritesMesh2Blocks) {
  const std::string one = model_fixture("m/pov.jm", "JM1\n" + triangle_submesh("10 1 1 1 1"));
  const std::string two =
      model_fixture("m/pov2.jm", "JM1\n" + triangle_submesh("10 1 1 1 1") + triangle_submesh("10 1 1 1 1"));
  model* m = model_read(one.c_str());
  model* m2 = model_read(two.c_str());
  ASSERT_NE(m, nullptr);
  ASSERT_NE(m2, nullptr);
  stream* s = stream_open("@out/one.pov", "wb");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(model_export_pov(m, s), 1);
  stream_close(s);
  s = stream_open("@out/two.pov", "wb");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(model_export_pov(m2, s), 1);
  stream_close(s);
  const std::string block =
      "mesh2 {\n"
      "\tvertex_vectors {\n\t\t3\n\t\t<0.000000,0.000000,0.000000>,\n\t\t<1.000000,0.000000,0.000000>,\n"
      "\t\t<0.000000,1.000000,0.000000>\n\t}\n"
      "\tnormal_vectors {\n\t\t3\n\t\t<0.000000,0.000000,1.000000>,\n\t\t<0.000000,0.000000,1.000000>,\n"
      "\t\t<0.000000,0.000000,1.000000>\n\t}\n"
      "\tuv_vectors {\n\t\t3\n\t\t<0.000000,1.000000>,\n\t\t<1.000000,1.000000>,\n\t\t<0.000000,0.750000>\n\t}\n"
      "\tface_indices {\n\t\t1\n\t\t<0,1,2>\n\t}\n"
      "}\n";
  char* text = file_to_string("@out/one.pov");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), block);
  check_free(text);
  text = file_to_string("@out/two.pov");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), "union {\n" + block + block + "}\n");
  check_free(text);
  model_free_submeshes(m);
  model_free_submeshes(m2);
}

}  // namespace
