#include "assets/test_support_images.h"

#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/log.h"
#include "tools/testing/test_env.h"

std::string fixture_path(const std::string& name) {
  return std::string(test_root()) + "/images/" + name;
}

void fixture_put(const std::string& path, const std::string& bytes) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), (std::streamsize)bytes.size());
}

std::string fixture_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

static void add_text(png_structp png, png_infop info, const std::string& text) {
  png_text chunk = {};
  chunk.compression = PNG_TEXT_COMPRESSION_NONE;
  chunk.key = const_cast<char*>("Comment");
  chunk.text = const_cast<char*>(text.c_str());
  chunk.text_length = text.size();
  png_set_text(png, info, &chunk, 1);
}

void fixture_png(const std::string& path, const png_fixture& f) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_infop end = png_create_info_struct(png);
  std::vector<png_bytep> rows(f.height);
  const size_t row_bytes = f.rows.size() / f.height;
  for (int y = 0; y < f.height; y++) rows[y] = const_cast<png_bytep>(f.rows.data() + y * row_bytes);
  if (setjmp(png_jmpbuf(png))) {
    ADD_FAILURE() << "libpng could not write " << path;
  } else {
    png_init_io(png, file);
    png_set_IHDR(png, info, f.width, f.height, f.bit_depth, f.colour_type, f.interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!f.palette.empty())
      png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(f.palette.data()),
                   (int)f.palette.size() / 3);
    if (!f.trns.empty()) {
      if (f.colour_type == PNG_COLOR_TYPE_PALETTE) {
        png_set_tRNS(png, info, f.trns.data(), (int)f.trns.size(), nullptr);
      } else {
        png_color_16 key = {};
        key.gray = (png_uint_16)(f.trns[0] << 8 | f.trns[1]);
        png_set_tRNS(png, info, nullptr, 0, &key);
      }
    }
    if (!f.text_before.empty()) add_text(png, info, f.text_before);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    if (!f.text_after.empty()) add_text(png, end, f.text_after);
    png_write_end(png, end);
  }
  png_destroy_info_struct(png, &end);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

static std::string g_log_path;

void log_to_fixture_file() {
  log_reset_for_tests();
  g_log_path = fixture_path(std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".log");
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(g_log_path).parent_path(), ec);
  setenv("PAVO_LOGFILE", g_log_path.c_str(), 1);
}

std::string log_text() { return fixture_bytes(g_log_path); }
