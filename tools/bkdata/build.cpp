// bkdata build OUT: the game's data root. OUT/zzzz.saf holds the fonts,
// the title picture and the HUD images; the sample track folder, the bike
// and rider models with their skins and the stock shapes lie loose beside
// it. The same bytes come out of every run: members are stored in
// name order and nothing records a time. The last line printed is the
// digest the game checks the archive against (of its first MiB).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "assets/font.h"
#include "assets/image.h"
#include "core/memory.h"
#include "core/rmd160.h"
#include "core/saf.h"
#include "tools/bkdata/commands.h"
#include "tools/bkdata/raster.h"

namespace fs = std::filesystem;

namespace {

const char* const printable_ascii =
    "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";

int write_canvas(const fs::path& path, const rgba_canvas& c, int channels) {
  std::vector<uint8_t> px((size_t)c.width * c.height * channels);
  for (size_t i = 0; i < (size_t)c.width * c.height; i++) std::memcpy(&px[i * channels], &c.pixels[i * 4], channels);
  if (!image_write_png8(path.string().c_str(), px.data(), c.width, c.height, channels)) {
    std::fprintf(stderr, "bkdata build: can't write '%s': %s\n", path.string().c_str(), image_last_refusal());
    return 0;
  }
  return 1;
}

// Writes a font picture and reads it back through the game's font loader:
// every glyph must land in the cell it was drawn in.
int write_font(const fs::path& path, const char* face_file, int pixel_size, const char* glyphs, int width,
               int cell_height) {
  raster_face* face = raster_open(face_file, pixel_size);
  if (!face) return 0;
  rgba_canvas picture;
  std::vector<int> cells;
  const int laid = raster_font_picture(face, glyphs, width, cell_height, &picture, &cells);
  raster_close(face);
  if (!laid) {
    std::fprintf(stderr, "bkdata build: the glyphs of '%s' don't fit %d pixels\n", path.string().c_str(), width);
    return 0;
  }
  if (!write_canvas(path, picture, 4)) return 0;
  static font scanned;
  font_load(&scanned, path.string().c_str(), glyphs);
  int ok = scanned.pixels != nullptr;
  for (size_t i = 0; ok && glyphs[i]; i++) {
    const float* cell = scanned.cells[(unsigned char)glyphs[i]];
    const int* want = &cells[i * 4];
    ok = cell[0] == (float)want[0] / picture.width && cell[1] == (float)want[1] / picture.height &&
         cell[2] == (float)want[2] / picture.width && cell[3] == (float)want[3] / picture.height;
  }
  check_free(scanned.pixels);
  font_reset(&scanned);
  if (!ok) std::fprintf(stderr, "bkdata build: '%s' does not scan back into its glyph cells\n", path.string().c_str());
  return ok;
}

uint8_t mix(int a, int b, double t) { return (uint8_t)std::lround(a + (b - a) * t); }

// The title picture, 2:1: a sky over rolling dirt hills and the name.
int write_title(const fs::path& path) {
  const int w = 512, h = 256;
  const uint8_t none[4] = {0, 0, 0, 255};
  rgba_canvas c = canvas_make(w, h, none);
  for (int x = 0; x < w; x++) {
    const double ridge = 168 + 10 * std::sin(x / 41.0) + 6 * std::sin(x / 17.0 + 1.3);
    for (int y = 0; y < h; y++) {
      uint8_t* p = &c.pixels[((size_t)y * w + x) * 4];
      if (y < ridge) {
        const double t = y / ridge;
        p[0] = mix(52, 150, t), p[1] = mix(110, 196, t), p[2] = mix(188, 232, t);
      } else {
        // Dirt, darker further down, with ruts running across it.
        const double t = (y - ridge) / (h - ridge);
        const int rut = (int)(std::fabs(std::sin((x + 3.0 * y) / 9.0)) * 14);
        p[0] = mix(156 - rut, 104, t), p[1] = mix(104 - rut, 66, t), p[2] = mix(60 - rut / 2, 38, t);
      }
    }
  }
  raster_face* face = raster_open("DejaVuSans-Bold.ttf", 56);
  if (!face) return 0;
  const char* name = "BRAKKAN";
  const int x = (w - raster_text_width(face, name)) / 2;
  const uint8_t shadow[4] = {40, 24, 12, 200}, orange[4] = {255, 142, 24, 255};
  raster_draw_text(face, &c, x + 3, 116 + 3, name, shadow);
  raster_draw_text(face, &c, x, 116, name, orange);
  raster_close(face);
  return write_canvas(path, c, 3);
}

// The tachometer dial: ticks for every 1000 rpm from 0 at 135 degrees left
// of straight up to 16000 at 135 degrees right, numbered every 2000.
int write_tach(const fs::path& path) {
  const int side = 256;
  const double centre = side / 2.0 - 0.5, radius = side / 2.0 - 2;
  const uint8_t clear[4] = {0, 0, 0, 0};
  rgba_canvas c = canvas_make(side, side, clear);
  const uint8_t face_colour[4] = {24, 24, 28, 230}, rim[4] = {200, 200, 200, 255};
  for (int y = 0; y < side; y++)
    for (int x = 0; x < side; x++) {
      const double d = std::hypot(x - centre, y - centre);
      if (d <= radius) canvas_blend(&c, x, y, d > radius - 4 ? rim : face_colour, 255);
    }
  const uint8_t white[4] = {240, 240, 240, 255}, red[4] = {220, 30, 20, 255};
  raster_face* face = raster_open("DejaVuSans-Bold.ttf", 18);
  if (!face) return 0;
  for (int k = 0; k <= 16; k++) {
    const double angle = (k / 16.0 * 270.0 - 135.0) * M_PI / 180.0;
    const double sx = std::sin(angle), sy = -std::cos(angle);
    const double inner = k % 2 ? radius - 18 : radius - 26;
    for (double r = inner; r < radius - 5; r += 0.5)
      for (int t = -1; t <= 1; t++)
        canvas_blend(&c, (int)std::lround(centre + sx * r - sy * t), (int)std::lround(centre + sy * r + sx * t),
                     k >= 13 ? red : white, 255);
    if (k % 2 == 0) {
      char label[4];
      std::snprintf(label, sizeof label, "%d", k);
      const double r = radius - 44;
      raster_draw_text(face, &c, (int)std::lround(centre + sx * r) - raster_text_width(face, label) / 2,
                       (int)std::lround(centre + sy * r) + 7, label, white);
    }
  }
  raster_close(face);
  return write_canvas(path, c, 4);
}

// The gear sheet: 3 x 3 cells, gear index g in column g mod 3 and row
// g / 3. Index 0 is first gear, so cells 0..5 hold "1".."6" and the rest
// stay clear. The HUD takes each cell as a third of the picture, so the
// side can be a power of two (textures are sized so) with cells of 85.33.
int write_shifter(const fs::path& path) {
  const int side = 256;
  const double cell = side / 3.0;
  const uint8_t clear[4] = {0, 0, 0, 0}, white[4] = {255, 255, 255, 255};
  rgba_canvas c = canvas_make(side, side, clear);
  raster_face* face = raster_open("DejaVuSans-Bold.ttf", 58);
  if (!face) return 0;
  const char* const gears[6] = {"1", "2", "3", "4", "5", "6"};
  for (int g = 0; g < 6; g++) {
    const int x = (int)std::lround((g % 3) * cell + (cell - raster_text_width(face, gears[g])) / 2);
    raster_draw_text(face, &c, x, (int)std::lround((g / 3) * cell + 64), gears[g], white);
  }
  raster_close(face);
  return write_canvas(path, c, 4);
}

// The pit board: a light board with a dark frame, written on in black by
// the HUD. The HUD shows rows 0.1875..0.875 of the picture, so the board
// fills those and the rest is clear.
int write_pitboard(const fs::path& path) {
  const int w = 256, h = 128, top = 24, bottom = 112;
  const uint8_t clear[4] = {0, 0, 0, 0}, board[4] = {236, 234, 222, 235}, frame[4] = {40, 40, 46, 255};
  rgba_canvas c = canvas_make(w, h, clear);
  for (int y = top; y < bottom; y++)
    for (int x = 0; x < w; x++) {
      const bool edge = x < 5 || y < top + 3 || x >= w - 5 || y >= bottom - 3;
      canvas_blend(&c, x, y, edge ? frame : board, 255);
    }
  return write_canvas(path, c, 4);
}

// The digest locate_game_data compares: RIPEMD-160 of the first MiB.
int archive_digest(const fs::path& path, char hex[digest_hex_chars + 1]) {
  FILE* f = std::fopen(path.string().c_str(), "rb");
  if (!f) return 0;
  rmd160_context context;
  rmd160_init(&context);
  static unsigned char buffer[65536];
  size_t total = 0, n;
  while (total < 1048576 && (n = std::fread(buffer, 1, std::min(sizeof buffer, 1048576 - total), f)) > 0) {
    rmd160_update(&context, buffer, n);
    total += n;
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return 0;
  rmd160_final(&context);
  digest_to_hex(context.digest, hex);
  return 1;
}

struct member {
  const char* name;
  int (*write)(const fs::path&);
};

int main_font(const fs::path& p) { return write_font(p, "DejaVuSans.ttf", 22, printable_ascii, 512, 32); }
int numbers_font(const fs::path& p) { return write_font(p, "DejaVuSans-Bold.ttf", 30, "0123456789", 256, 32); }
int numbers_condensed_font(const fs::path& p) {
  return write_font(p, "DejaVuSansCondensed-Bold.ttf", 30, "0123456789", 256, 32);
}

// In name order, as they are stored.
const member members[] = {
    {"font.png", main_font},
    {"numbers-condensed.png", numbers_condensed_font},
    {"numbers.png", numbers_font},
    {"pitboard.png", write_pitboard},
    {"shifter.png", write_shifter},
    {"tach.png", write_tach},
    {"title.png", write_title},
};

}  // namespace

int bkdata_build(int argc, char** argv) {
  if (argc != 1) return bkdata_usage();
  const fs::path out = argv[0];
  const fs::path parts = out / "zzzz.saf.parts";
  std::error_code ec;
  fs::remove_all(parts, ec);
  if (!fs::create_directories(parts, ec) && ec) {
    std::fprintf(stderr, "bkdata build: can't create '%s': %s\n", parts.string().c_str(), ec.message().c_str());
    return 1;
  }
  std::vector<std::string> paths;
  std::vector<const char*> names, path_texts;
  int ok = 1;
  for (const member& m : members) {
    paths.push_back((parts / m.name).string());
    ok = ok && m.write(paths.back());
  }
  for (size_t i = 0; i < paths.size(); i++) {
    names.push_back(members[i].name);
    path_texts.push_back(paths[i].c_str());
  }
  const fs::path archive = out / "zzzz.saf";
  ok = ok && saf_write(archive.string().c_str(), names.data(), path_texts.data(), (int)names.size());
  fs::remove_all(parts, ec);
  if (!ok) return 1;

  // The sample track, the bikes and rider, and the stock shapes lie loose
  // beside the archive.
  char track_name[] = "quarrybend";
  std::string root = out.string();
  char* track_args[2] = {track_name, &root[0]};
  char* root_args[1] = {&root[0]};
  // The shapes first: the track's starting gate uses the stock gate files.
  if (bkdata_shapes(1, root_args) != 0 || bkdata_track(2, track_args) != 0 || bkdata_bike(1, root_args) != 0 ||
      bkdata_sounds(1, root_args) != 0)
    return 1;

  if (!write_sample_series(root.c_str())) {
    std::fprintf(stderr, "bkdata build: can't write the sample series\n");
    return 1;
  }
  char hex[digest_hex_chars + 1];
  if (!stock_parts_digest_of(root.c_str(), hex)) return 1;
  std::printf("stock parts digest %s\n", hex);
  if (!archive_digest(archive, hex)) {
    std::fprintf(stderr, "bkdata build: can't read '%s' back\n", archive.string().c_str());
    return 1;
  }
  std::printf("game data digest %s\n", hex);
  return 0;
}
