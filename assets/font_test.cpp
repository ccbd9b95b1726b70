#include "assets/font.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/memory.h"

namespace {

const uint8_t separator[4] = {255, 0, 255, 255};
const uint8_t ink[4] = {10, 20, 30, 255};

// An RGBA picture filled with ink, with separator pixels at the given
// places.
struct picture {
  int width, height;
  std::vector<uint8_t> pixels;
  picture(int w, int h) : width(w), height(h), pixels((size_t)w * h * 4) {
    for (size_t i = 0; i < pixels.size(); i += 4) std::memcpy(&pixels[i], ink, 4);
  }
  void mark(int x, int y) { std::memcpy(&pixels[((size_t)y * width + x) * 4], separator, 4); }
  const uint8_t* at(int x, int y) const { return &pixels[((size_t)y * width + x) * 4]; }
};

// Two bands: the first (rows 0-4) with cells from x 0, 3 and 7 to 9; the
// second (rows 5-7) with cells from x 0 and 4 to 8. A cell ends at the next
// separator: what lies right of a band's last separator is no cell.
picture two_band_font() {
  picture p(10, 8);
  for (int x : {0, 3, 7, 9}) p.mark(x, 0);
  for (int x : {0, 4, 8}) p.mark(x, 5);
  return p;
}

void expect_cell(const font& f, char c, int x0, int y0, int x1, int y1) {
  const float* cell = f.cells[(unsigned char)c];
  EXPECT_FLOAT_EQ(cell[0], x0 / 10.0f) << c;
  EXPECT_FLOAT_EQ(cell[1], y0 / 8.0f) << c;
  EXPECT_FLOAT_EQ(cell[2], x1 / 10.0f) << c;
  EXPECT_FLOAT_EQ(cell[3], y1 / 8.0f) << c;
  EXPECT_FLOAT_EQ(f.advances[(unsigned char)c], float(x1 - x0) / float(y1 - y0)) << c;
}

TEST(FontCells, SeparatorScanFindsBandsAndCellsAndWrapsToTheFirstBand) {
  picture p = two_band_font();
  static font f;
  font_reset(&f);
  font_scan_cells(&f, p.pixels.data(), p.width, p.height, "abcde-f");
  expect_cell(f, 'a', 0, 0, 3, 5);
  expect_cell(f, 'b', 3, 0, 7, 5);
  expect_cell(f, 'c', 7, 0, 9, 5);
  expect_cell(f, 'd', 0, 5, 4, 8);
  expect_cell(f, 'e', 4, 5, 8, 8);
  // Past the last cell the list starts again at the top left.
  expect_cell(f, '-', 0, 0, 3, 5);
  expect_cell(f, 'f', 3, 0, 7, 5);
  // The space has no cell but the width of "-"; other bytes keep 2/3.
  EXPECT_FLOAT_EQ(f.advances[(unsigned char)' '], 3.0f / 5.0f);
  for (int i = 0; i < 4; i++) EXPECT_EQ(f.cells[(unsigned char)' '][i], 0.0f);
  EXPECT_FLOAT_EQ(f.advances[(unsigned char)'z'], 2.0f / 3.0f);

  // Separators become transparent white; ink stays.
  const uint8_t clear[4] = {255, 255, 255, 0};
  for (auto xy : {std::make_pair(0, 0), std::make_pair(3, 0), std::make_pair(9, 0),
                  std::make_pair(0, 5), std::make_pair(8, 5)})
    EXPECT_EQ(std::memcmp(p.at(xy.first, xy.second), clear, 4), 0) << xy.first << "," << xy.second;
  EXPECT_EQ(std::memcmp(p.at(1, 1), ink, 4), 0);
  EXPECT_EQ(std::memcmp(p.at(5, 6), ink, 4), 0);
}

// A font whose every byte has advance 1 except the space (0.5).
void unit_font(font* f) {
  font_reset(f);
  for (int c = 0; c < 256; c++) f->advances[c] = 1.0f;
  f->advances[(unsigned char)' '] = 0.5f;
}

TEST(TextWidth, LinesTabsAndColourSequences) {
  static font f;
  unit_font(&f);
  struct row {
    const char* text;
    float width;
  };
  const row rows[] = {
      {"", 0},
      {"abc", 3},
      {"ab\ncdef", 4},
      {"abcd\r\nxy", 4},
      {"\033[1;31mab\033[0m", 2},
      {"\033[mab", 2},
      {"a\tb", 5},           // one glyph, then the tab stop at 8 x 0.5
      {"abcd\tb", 9},        // exactly on a stop: on to the next
      {"\033[1m\033[31ma", 1},  // back-to-back sequences are each skipped
      {"a\033[3\2001m", 1},  // bytes 128-255 inside a sequence are skipped
  };
  for (const row& r : rows) EXPECT_FLOAT_EQ(font_text_width(&f, r.text), r.width) << r.text;
}

TEST(TextWidth, TextEndingInsideAColourSequenceStopsAtItsEnd) {
  static font f;
  unit_font(&f);
  // Exact-size heap copies, so reading one byte past the end is caught.
  for (const char* text : {"ab\033", "ab\033[", "ab\033[1;3"}) {
    const size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(check_malloc(n));
    std::memcpy(copy, text, n);
    EXPECT_FLOAT_EQ(font_text_width(&f, copy), 2.0f) << text;
    EXPECT_EQ(text_skip_colour(copy + 2), copy + n - 1);
    check_free(copy);
  }
}

struct captured {
  std::vector<text_batch> batches;
};

void capture(const text_batch* batch, void* context) {
  static_cast<captured*>(context)->batches.push_back(*batch);
}

std::vector<float> glyph_colour(const text_batch& b, int glyph) {
  return std::vector<float>(b.colours + glyph * 16, b.colours + glyph * 16 + 4);
}

TEST(TextLayout, ColourSequencesInTheNormalAndShadowPasses) {
  static font f;
  unit_font(&f);
  static text_batch batch;
  const char* text = "a\033[1;31mb\033[0mc\033[32md";
  captured normal;
  text_layout(&f, 0.2f, 0.4f, 0.6f, 0.8f, text, text_flag_caller_colour, &batch, capture, &normal);
  ASSERT_EQ(normal.batches.size(), 1u);
  ASSERT_EQ(normal.batches[0].count, 4);
  EXPECT_EQ(glyph_colour(normal.batches[0], 0), (std::vector<float>{0.2f, 0.4f, 0.6f, 0.8f}));
  EXPECT_EQ(glyph_colour(normal.batches[0], 1), (std::vector<float>{1, 0, 0, 0.8f}));  // palette 9
  EXPECT_EQ(glyph_colour(normal.batches[0], 2), (std::vector<float>{0.2f, 0.4f, 0.6f, 0.8f}));
  EXPECT_EQ(glyph_colour(normal.batches[0], 3), (std::vector<float>{0, 0.75f, 0, 0.8f}));

  // The shadow keeps the caller's colour through foreground codes and
  // through a reset.
  captured shadow;
  text_layout(&f, 0, 0, 0, 0.5f, text, text_flag_caller_colour | text_flag_shadow, &batch, capture,
              &shadow);
  ASSERT_EQ(shadow.batches.size(), 1u);
  EXPECT_EQ(glyph_colour(shadow.batches[0], 0), (std::vector<float>{0, 0, 0, 0.5f}));
  EXPECT_EQ(glyph_colour(shadow.batches[0], 2), (std::vector<float>{0, 0, 0, 0.5f}));
  EXPECT_EQ(glyph_colour(shadow.batches[0], 3), (std::vector<float>{0, 0, 0, 0.5f}));

  // Flag 64 skips the sequences without applying them.
  captured plain;
  text_layout(&f, 1, 1, 1, 1, text, text_flag_caller_colour | text_flag_ignore_colour, &batch,
              capture, &plain);
  EXPECT_EQ(glyph_colour(plain.batches[0], 1), (std::vector<float>{1, 1, 1, 1}));
}

TEST(TextLayout, QuadsLinesAndBatchesOf256) {
  static font f;
  unit_font(&f);
  f.cells[(unsigned char)'x'][0] = 0.1f;
  f.cells[(unsigned char)'x'][1] = 0.2f;
  f.cells[(unsigned char)'x'][2] = 0.3f;
  f.cells[(unsigned char)'x'][3] = 0.4f;
  static text_batch batch;
  captured two_lines;
  text_layout(&f, 1, 1, 1, 1, "x x\nx", text_flag_caller_colour, &batch, capture, &two_lines);
  ASSERT_EQ(two_lines.batches.size(), 1u);
  const text_batch& b = two_lines.batches[0];
  ASSERT_EQ(b.count, 3);
  // Second glyph after the space: corners (1.5, 1), (2.5, 1), (1.5, 0), (2.5, 0).
  const float expected_vertices[12] = {1.5f, 1, 0, 2.5f, 1, 0, 1.5f, 0, 0, 2.5f, 0, 0};
  for (int i = 0; i < 12; i++) EXPECT_FLOAT_EQ(b.vertices[12 + i], expected_vertices[i]) << i;
  const float expected_uv[8] = {0.1f, 0.2f, 0.3f, 0.2f, 0.1f, 0.4f, 0.3f, 0.4f};
  for (int i = 0; i < 8; i++) EXPECT_FLOAT_EQ(b.texcoords[8 + i], expected_uv[i]) << i;
  const uint32_t expected_indices[6] = {6, 5, 4, 6, 7, 5};
  for (int i = 0; i < 6; i++) EXPECT_EQ(b.indices[6 + i], expected_indices[i]) << i;
  // The third glyph starts the next line down.
  EXPECT_FLOAT_EQ(b.vertices[24], 0.0f);
  EXPECT_FLOAT_EQ(b.vertices[25], 0.0f);
  EXPECT_FLOAT_EQ(b.vertices[31], -1.0f);

  captured many;
  const std::string long_text(300, 'x');
  text_layout(&f, 1, 1, 1, 1, long_text.c_str(), text_flag_caller_colour, &batch, capture, &many);
  ASSERT_EQ(many.batches.size(), 2u);
  EXPECT_EQ(many.batches[0].count, 256);
  EXPECT_EQ(many.batches[1].count, 44);
  EXPECT_FLOAT_EQ(many.batches[1].vertices[0], 256.0f);
  EXPECT_EQ(many.batches[1].indices[0], 2u);
}

// Digit fonts of `digit_width` x 4 pixels per glyph in one band, opaque
// ink, separators on row 0.
void digit_font(font* f, int digit_width) {
  font_reset(f);
  const int width = digit_width * 10, height = 4;
  uint8_t* pixels = static_cast<uint8_t*>(check_malloc((size_t)width * height * 4));
  for (int i = 0; i < width * height; i++) std::memcpy(pixels + i * 4, ink, 4);
  for (int d = 0; d < 10; d++) std::memcpy(pixels + d * digit_width * 4, separator, 4);
  font_scan_cells(f, pixels, width, height, "0123456789");
  f->pixels = pixels;
  f->width = width;
  f->height = height;
}

int inked_columns(const std::vector<uint8_t>& plate, int width, int height) {
  int n = 0;
  for (int x = 0; x < width; x++) {
    bool any = false;
    for (int y = 0; y < height; y++) any = any || plate[((size_t)y * width + x) * 4 + 3] == 255;
    n += any;
  }
  return n;
}

TEST(RenderDigits, CentresTheNumberAndUsesCondensedDigitsOnANarrowPlate) {
  digit_font(&font_numbers, 6);
  digit_font(&font_numbers_condensed, 3);
  // 24 pixels of normal digits fit a 24-wide plate; on a 20-wide plate
  // (20 x 9 / 8 = 22 < 24) the condensed ones are used.
  std::vector<uint8_t> wide(32 * 8 * 4, 0), narrow(20 * 8 * 4, 0);
  render_digits_to_pixels(wide.data(), 32, 8, 1, 1, 1, 1, "1234");
  render_digits_to_pixels(narrow.data(), 20, 8, 1, 1, 1, 1, "\033[31m1234");
  EXPECT_EQ(inked_columns(wide, 32, 8), 24);
  EXPECT_EQ(inked_columns(narrow, 20, 8), 12);
  // Centred: columns 4..27 of the wide plate, rows 2..5.
  EXPECT_EQ(wide[(3 * 32 + 4) * 4 + 3], 255);
  EXPECT_EQ(wide[(3 * 32 + 3) * 4 + 3], 0);
  EXPECT_EQ(wide[(1 * 32 + 5) * 4 + 3], 0);
  EXPECT_EQ(wide[(6 * 32 + 5) * 4 + 3], 0);
  // Opaque ink blended at full alpha keeps its colour.
  EXPECT_NEAR(wide[(3 * 32 + 5) * 4 + 0], 10, 1);
  EXPECT_NEAR(wide[(3 * 32 + 5) * 4 + 2], 30, 1);
  check_free(font_numbers.pixels);
  check_free(font_numbers_condensed.pixels);
  font_reset(&font_numbers);
  font_reset(&font_numbers_condensed);
}

}  // namespace
