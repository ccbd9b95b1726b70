#pragma once
// Text rasterised with FreeType for the generated pictures: the bitmap
// fonts the game scans for glyph cells, and the lettering of the title
// picture and the HUD images.
#include <cstdint>
#include <string>
#include <vector>

// The folder of the DejaVu fonts (Debian's fonts-dejavu-core).
extern const char* const dejavu_folder;

struct raster_face;

// Opens a font file of dejavu_folder at a pixel size; null after a message
// on stderr.
raster_face* raster_open(const char* file_name, int pixel_size);
void raster_close(raster_face* face);

// An RGBA picture, rows top first.
struct rgba_canvas {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;
};
rgba_canvas canvas_make(int width, int height, const uint8_t fill[4]);
// Blends the colour into pixel (x, y) with the given coverage (0..255);
// nothing outside the canvas.
void canvas_blend(rgba_canvas* c, int x, int y, const uint8_t colour[4], int coverage);

// Width in pixels of text set in the face (sum of the rounded advances).
int raster_text_width(raster_face* face, const char* text);
// Draws text with its baseline at y, starting at x, in the colour.
void raster_draw_text(raster_face* face, rgba_canvas* c, int x, int baseline, const char* text,
                      const uint8_t colour[4]);

// A bitmap font picture: the glyphs in cells of cell_height rows, in bands
// across a picture `width` wide, white ink whose alpha is the coverage on a
// clear background. The top-left pixel of each cell and one pixel after
// each band's last cell hold the separator colour; the height is padded to
// a power of two, the padding starting a band of its own. cells gets
// x0, y0, x1, y1 in pixels per glyph. 0 when the glyphs don't fit.
int raster_font_picture(raster_face* face, const char* glyphs, int width, int cell_height,
                        rgba_canvas* out, std::vector<int>* cells);

// The separator colour of the font pictures (opaque magenta, never ink).
extern const uint8_t font_separator[4];
