#pragma once
// Bitmap fonts: a font is a picture whose glyph cells are marked by
// separator pixels, so drawing a new font needs no tool but a paint program.
// The main font draws all text on screen; the two digit fonts stamp rider
// numbers into number-plate pixels. Text may carry ANSI colour sequences
// (ESC "[" ... "m"), honoured when drawing and skipped when measuring.
#include <cstdint>

struct font {
  unsigned texture;  // GL texture id, 0 when none (only the main font has one)
  uint8_t* pixels;   // RGBA with its chain, or null (freed after upload)
  int width;
  int height;
  float cells[256][4];  // u0, v0, u1, v1 as fractions of the image; 0 without a glyph
  float advances[256];  // glyph widths in row heights; 2/3 without a glyph
};

extern font font_main;
extern font font_numbers;
extern font font_numbers_condensed;

// Drawing flags.
enum {
  text_flag_palette = 15,  // palette index
  text_flag_bold = 8,
  text_flag_caller_colour = 16,
  text_flag_shadow = 32,
  text_flag_ignore_colour = 64,
};

extern const float text_palette[16][3];

// Loads "@font.png", "@numbers.png" and "@numbers-condensed.png"; the main
// font is uploaded and its pixels freed.
void fonts_load();
void fonts_free();

// Frees what the font held, loads the image as RGBA and finds the glyph
// cells. A missing image prints "Can't open font '...'" and leaves the font
// empty.
void font_load(font* f, const char* name, const char* glyphs);

// Clears the record: no texture, no pixels, empty cells, advances 2/3.
void font_reset(font* f);

// Finds the cells of `glyphs` (in order) in an RGBA image by its separator
// pixels and makes the separators transparent. The image must be at least
// 1 x 1.
void font_scan_cells(font* f, uint8_t* pixels, int width, int height, const char* glyphs);

// The byte after the colour sequence starting at the ESC at `p`; never past
// the end of the text.
const char* text_skip_colour(const char* p);

// The width of the longest line, in font units, with the main font.
float text_width(const char* text);
// The same with any font.
float font_text_width(const font* f, const char* text);

// Stamps a number, centred, into an RGBA image with the digit fonts.
void render_digits_to_pixels(uint8_t* pixels, int width, int height, float r, float g, float b,
                             float a, const char* text);

// Glyph quads waiting to be drawn: 4 corners each, 6 indices per glyph.
enum { text_batch_glyphs = 256 };
struct text_batch {
  int count;
  float vertices[text_batch_glyphs * 4 * 3];
  float texcoords[text_batch_glyphs * 4 * 2];
  float colours[text_batch_glyphs * 4 * 4];
  uint32_t indices[text_batch_glyphs * 6];
};

// Lays out text with a font into batches, calling flush for each full batch
// and for the last one; what draw_text_core draws.
void text_layout(const font* f, float r, float g, float b, float a, const char* text, int flags,
                 text_batch* batch, void (*flush)(const text_batch*, void*), void* context);

// Drawing with the main font at the current GL transform, one unit high.
void draw_text_core(float r, float g, float b, float a, const char* text, int flags);
void draw_glyph_arrays(int count, const float* vertices, const float* texcoords,
                       const uint32_t* indices, const float* colours);
void draw_text_color(float r, float g, float b, float a, const char* text);
void draw_text_white(const char* text);
void draw_text_shadowed(float r, float g, float b, float a, const char* text);
void draw_text_grey_shadowed(const char* text);
void draw_text_centered(float r, float g, float b, float a, float x0, float x1, const char* text);
void draw_text_centered_shadowed(float r, float g, float b, float a, float x0, float x1,
                                 const char* text);
void draw_text_right_shadowed(float r, float g, float b, float a, float x, const char* text);
