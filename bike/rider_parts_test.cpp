#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "assets/model.h"
#include "bike/rider.h"
#include "bike/rider_build.h"
#include "core/file.h"
#include "core/file_index.h"
#include "core/message_ring.h"
#include "terrain/dynamics_world.h"
#include "terrain/shape.h"

namespace {

// A one-triangle model in the per-user folder, named "@" + relative.
void write_model(const std::string& relative) {
  const std::string path = std::string(search_root(0)) + relative;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out << "JM1\n10 1 1 1 1 3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n0 1 2\n";
}

int console_count(const std::string& text) {
  int n = 0;
  for (int k = 1; k <= message_ring_size; ++k) {
    const char* line = message_ring_line(k);
    if (line && text == line) n++;
  }
  return n;
}

class PartFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::remove_all(search_root(0));
    std::filesystem::create_directories(search_root(0));
    model_delete_stale(1);
    free_file_index();
    message_ring_clear();
  }
  void TearDown() override {
    model_delete_stale(1);
    free_file_index();
    std::filesystem::remove_all(search_root(0));
  }
};

TEST_F(PartFiles, SkinVariantModelsBesideThePartOrTheSkin) {
  write_model("cr125_frame-red.jm");
  write_model("skins/cr125_swingarm-red.jm");
  write_model("cr125_fork_lower.jm");

  model* m = model_load_skinned("@cr125_frame.jm", "@skins/bike-red-fast.png", 1);
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(model_name(m), "@cr125_frame-red.jm");

  m = model_load_skinned("@cr125_swingarm.jm", "@skins/bike-red-fast.png", 1);
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(model_name(m), "@skins/cr125_swingarm-red.jm");

  // A variant that is nowhere gives none, even though the plain part exists:
  // the caller falls back to the default skin.
  EXPECT_EQ(model_load_skinned("@cr125_fork_lower.jm", "@skins/bike-red-fast.png", 1), nullptr);
  EXPECT_EQ(console_count("Warning: Can't load @cr125_fork_lower-red.jm or @skins/cr125_fork_lower-red.jm"), 1);
  EXPECT_EQ(model_load_skinned("@cr125_fork_lower.jm", "@bike-red-fast.png", 1), nullptr);
  EXPECT_EQ(console_count("Warning: Can't load @cr125_fork_lower-red.jm"), 1);

  // A skin without a variant loads the plain path.
  m = model_load_skinned("@cr125_fork_lower.jm", "@skins/bike-red.png", 1);
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(model_name(m), "@cr125_fork_lower.jm");
  EXPECT_NE(model_load_skinned("@cr125_fork_lower.jm", nullptr, 1), nullptr);

  message_ring_clear();
  EXPECT_EQ(model_load_skinned("@nothing.jm", nullptr, 0), nullptr);
  EXPECT_EQ(console_count("Warning: Can't load @nothing.jm"), 0) << "warnings off";
  EXPECT_EQ(model_load_skinned("@nothing.jm", nullptr, 1), nullptr);
  EXPECT_EQ(console_count("Warning: Can't load @nothing.jm"), 1);
}

TEST_F(PartFiles, MissingSkinFallsBackToTheDefaultSkinsParts) {
  const bike_model& row = bike_models[0];
  for (int part : {BIKE_PART_FRAME_MODEL, BIKE_PART_FORK_UPPER_MODEL, BIKE_PART_FORK_LOWER_MODEL,
                   BIKE_PART_SWINGARM_MODEL, BIKE_PART_FRONT_WHEEL_MODEL, BIKE_PART_REAR_WHEEL_MODEL,
                   BIKE_PART_HEAD_MODEL, BIKE_PART_BODY_MODEL, BIKE_PART_BODY_FP_MODEL,
                   BIKE_PART_SIDE_PLATES_MODEL, BIKE_PART_FRONT_PLATE_MODEL, BIKE_PART_RIDER_PLATE_MODEL})
    write_model(row.part_files[part] + 1);
  // The red frame exists, but the red skin has no texture: the whole bike
  // takes the default skin and its plain parts.
  write_model("cr125_frame-red.jm");

  ASSERT_EQ(dynamics_open(), 1);
  rider_table_init();
  rider* r = rider_create("cr125", 0, 1, "12", "@gear-blue-x.png", nullptr, "@bike-red-fast.png", nullptr);
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(model_name(r->frame_model), "@cr125_frame.jm");
  model* parts[] = {r->frame_model,       r->fork_upper_model, r->fork_lower_model,   r->swingarm_model,
                    r->front_wheel_model, r->rear_wheel_model, r->head_model,         r->body_model,
                    r->body_fp_model,     r->side_plates_model, r->front_plate_model, r->rider_plate_model};
  for (model* m : parts) EXPECT_NE(m, nullptr);
  EXPECT_EQ(r->body_model, model_get("@rider_body.jm"));
  rider_destroy(r);
  rider_table_init();
  dynamics_close();
}

TEST_F(PartFiles, EveryRiderOwnsCopiesOfItsShapes) {
  const bike_model& row = bike_models[0];
  const int parts[] = {BIKE_PART_FRAME_SHAPE,       BIKE_PART_FORK_UPPER_SHAPE, BIKE_PART_FORK_LOWER_SHAPE,
                       BIKE_PART_SWINGARM_SHAPE,    BIKE_PART_FRONT_WHEEL_SHAPE, BIKE_PART_REAR_WHEEL_SHAPE,
                       BIKE_PART_RIDER_SHAPE};
  int spheres = 1;
  for (int part : parts) {
    if (part == BIKE_PART_RIDER_SHAPE) continue;  // left out: that shape is missing
    const std::string path = std::string(search_root(0)) + (row.part_files[part] + 1);
    std::ofstream out(path, std::ios::binary);
    out << spheres << "\n";
    for (int i = 0; i < spheres; i++) out << "0 " << i << " 0 0.5 0.6 2500 250\n";
    spheres++;
  }
  ASSERT_EQ(dynamics_open(), 1);
  rider_table_init();
  rider* a = rider_create("cr125", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
  rider* b = rider_create("kx125", 1, 1, "2", nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  shape* owned[] = {a->frame_shape,      a->fork_upper_shape, a->fork_lower_shape, a->swingarm_shape,
                    a->front_wheel_shape, a->rear_wheel_shape};
  for (int i = 0; i < 6; i++) {
    ASSERT_NE(owned[i], nullptr) << i;
    EXPECT_EQ(owned[i]->count, i + 1);
    EXPECT_NE(owned[i]->source, nullptr) << "a copy, not the cached shape";
  }
  EXPECT_EQ(a->rider_shape, nullptr);
  EXPECT_NE(a->frame_shape, b->frame_shape);
  EXPECT_EQ(a->frame_shape->source, b->frame_shape->source);
  EXPECT_EQ(shape_cache_count(), 6u);
  rider_destroy(a);
  EXPECT_EQ(a->frame_shape, nullptr);
  EXPECT_EQ(a->swingarm_shape, nullptr);
  EXPECT_EQ(b->frame_shape->count, 1) << "the other rider's copy is untouched";
  rider_destroy(b);
  rider_table_init();
  shape_free_all();
  dynamics_close();
}

}  // namespace
