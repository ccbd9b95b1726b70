// Skins and number plates of a rider on a real driver (Mesa under Xvfb).
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "assets/gl_ext.h"
#include "assets/image.h"
#include "assets/model.h"
#include "assets/shader.h"
#include "assets/texture.h"
#include "bike/rider.h"
#include "bike/rider_build.h"
#include "core/file.h"
#include "platform/window.h"
#include "terrain/dynamics_world.h"

namespace {

void write_skin(const std::string& relative, const uint8_t colour[3]) {
  const std::string path = std::string(search_root(0)) + relative;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::vector<uint8_t> px(16 * 16 * 3);
  for (size_t i = 0; i < px.size(); i++) px[i] = colour[i % 3];
  ASSERT_TRUE(image_write_png8(path.c_str(), px.data(), 16, 16, 3));
}

void write_model(const std::string& relative) {
  const std::string path = std::string(search_root(0)) + relative;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out << "JM1\n10 1 1 1 1 3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n0 1 2\n";
}

// The plate's pixel at (x, y) of its base level.
std::vector<uint8_t> plate_pixel(unsigned id, int x, int y) {
  std::vector<uint8_t> level(128 * 128 * 4);
  glBindTexture(GL_TEXTURE_2D, id);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, level.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  const uint8_t* p = &level[(y * 128 + x) * 4];
  return {p[0], p[1], p[2]};
}

class RiderGl : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = gl_window_open("Rider test", 64, 64, 24, 0, 16, 0, 0);
    ASSERT_NE(window_, nullptr);
    gl_load_extensions();
    texture_bytes = 0;
    ASSERT_EQ(dynamics_open(), 1);
    rider_table_init();
  }
  void TearDown() override {
    for (rider& r : rider_table) rider_destroy(&r);
    dynamics_close();
    model_delete_stale(1);
    texture_delete_stale(1);
    gl_window_close(window_);
  }
  window_state* window_ = nullptr;
};

TEST_F(RiderGl, SkinsPlateColoursAndTheTextureCount) {
  const bike_model& row = bike_models[0];
  for (int part : {BIKE_PART_FRAME_MODEL, BIKE_PART_FORK_UPPER_MODEL, BIKE_PART_FORK_LOWER_MODEL,
                   BIKE_PART_SWINGARM_MODEL, BIKE_PART_SIDE_PLATES_MODEL, BIKE_PART_FRONT_PLATE_MODEL})
    write_model(row.part_files[part] + 1);
  write_model("cr125_frame-red.jm");
  write_model("cr125_fork_upper-red.jm");
  write_model("cr125_fork_lower-red.jm");
  write_model("cr125_swingarm-red.jm");
  write_model("cr125_side_plates-red.jm");
  write_model("cr125_front_plate-red.jm");
  const uint8_t red[3] = {200, 0, 0}, grey[3] = {90, 90, 90};
  write_skin("bike-red-fast.png", red);
  write_skin("cr125.png", grey);
  // Blue digits on orange for the red skin.
  std::ofstream(std::string(search_root(0)) + "bike-red-fast.png.info")
      << "[numberbackground:1,0.5,0] [numberforeground:0,0,1]";

  rider* r = rider_create("cr125", 0, 1, "8", nullptr, nullptr, "@bike-red-fast.png", "@nowheels.png");
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(rider_bike_skin_name(r), "@bike-red-fast.png");
  ASSERT_NE(r->frame_model, nullptr);
  EXPECT_STREQ(model_name(r->frame_model), "@cr125_frame-red.jm");
  EXPECT_EQ(rider_wheels_skin_name(r), nullptr) << "no wheels skin anywhere";
  ASSERT_NE(r->plate_texture, 0u);
  // The digits stamp only the mask's alpha: the plate's colour is the
  // foreground colour, shown where the digits are.
  EXPECT_EQ(plate_pixel(r->plate_texture, 64, 2), (std::vector<uint8_t>{0, 0, 255}));

  // Without a skin of its own the default skin dresses the bike and the
  // digits are black.
  rider* plain = rider_create("cr125", 1, 1, "9", nullptr, nullptr, "@missing-red-fast.png", nullptr);
  ASSERT_NE(plain, nullptr);
  EXPECT_STREQ(rider_bike_skin_name(plain), "@cr125.png");
  ASSERT_NE(plain->frame_model, nullptr);
  EXPECT_STREQ(model_name(plain->frame_model), "@cr125_frame.jm");
  EXPECT_EQ(plate_pixel(plain->plate_texture, 64, 2), (std::vector<uint8_t>{0, 0, 0}));

  // Destroying a rider gives its plate's bytes back, never below zero.
  const unsigned before = texture_bytes;
  ASSERT_GE(before, 2 * 87381u);
  rider_destroy(plain);
  EXPECT_EQ(texture_bytes, before - 87381);
  texture_bytes = 1000;  // a new generation started after the plate was made
  rider_destroy(r);
  EXPECT_EQ(texture_bytes, 0u);
}

TEST_F(RiderGl, NormalAndSpecularMapsFromTheSkinOrItsVariants) {
  const uint8_t flat[3] = {128, 128, 255};
  write_skin("skins/bike-red-fast_norm.png", flat);
  write_skin("skins/bike-red_spec.ppm.png", flat);  // not a map name: ignored
  write_skin("cr125-red_spec.png", flat);
  write_skin("wheels-blue_norm.png", flat);
  unsigned norm = 9, spec = 9;
  texture_find_norm_spec(&norm, &spec, "@skins/bike-red-fast.png", "@cr125.png");
  EXPECT_EQ(norm, 0u) << "no maps without shaders";
  EXPECT_EQ(spec, 0u);

  shaders_active = 1;
  texture_find_norm_spec(&norm, &spec, "@skins/bike-red-fast.png", "@cr125.png");
  EXPECT_NE(norm, 0u);
  EXPECT_STREQ(texture_name(norm), "@skins/bike-red-fast_norm.png");
  EXPECT_STREQ(texture_name(spec), "@cr125-red_spec.png") << "from the default skin's variant";
  // The skin's own variant comes before the default skin's.
  texture_find_norm_spec(&norm, &spec, "@wheels-blue-x.png", "@wheels.png");
  EXPECT_STREQ(texture_name(norm), "@wheels-blue_norm.png");
  EXPECT_EQ(spec, 0u);
  texture_find_norm_spec(&norm, &spec, nullptr, "@wheels.png");
  EXPECT_EQ(norm, 0u);
  shaders_active = 0;
}

}  // namespace
