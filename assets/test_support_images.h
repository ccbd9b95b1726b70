#pragma once
// Fixture makers for the image tests: PNG files of every colour type written
// straight through libpng (palettes, transparency chunks, text chunks), raw
// file bytes, and a log file to look for refusals in.
#include <cstdint>
#include <string>
#include <vector>

struct png_fixture {
  int width = 1, height = 1;
  int bit_depth = 8;
  int colour_type = 2;  // libpng's PNG_COLOR_TYPE_* value
  int interlace = 0;
  std::vector<uint8_t> rows;      // packed rows as libpng takes them
  std::vector<uint8_t> palette;   // RGB triples
  std::vector<uint8_t> trns;      // palette alphas, or a 16-bit grey key (2 bytes)
  std::string text_before;        // a tEXt chunk before the image data
  std::string text_after;         // and one after it
};

void fixture_png(const std::string& path, const png_fixture& f);
std::string fixture_bytes(const std::string& path);
void fixture_put(const std::string& path, const std::string& bytes);
// A path inside the test root.
std::string fixture_path(const std::string& name);

// Points the platform log at a fresh file for this test; log_text() is what
// it holds so far.
void log_to_fixture_file();
std::string log_text();
