// Images in bkdata: "check" of every image kind through the game's own
// readers, and "image", which writes a test pattern in any format the game
// reads (fixtures for tests and modders).
#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assets/image.h"
#include "core/file.h"
#include "core/memory.h"
#include "tools/bkdata/commands.h"

static const char* const variant_suffixes[] = {".gz.scram", ".scram", ".gz"};
static const char* const image_suffixes[] = {".png", ".ppm", ".pgm", ".j6", ".j7"};

static size_t variant_length(const std::string& path) {
  for (const char* v : variant_suffixes) {
    const size_t n = std::strlen(v);
    if (path.size() > n && path.compare(path.size() - n, n, v) == 0) return n;
  }
  return 0;
}

int bkdata_is_image_name(const char* path) {
  std::string base(path);
  base.resize(base.size() - variant_length(base));
  for (const char* s : image_suffixes) {
    const size_t n = std::strlen(s);
    if (base.size() > n && strcasecmp(base.c_str() + base.size() - n, s) == 0) return 1;
  }
  return 0;
}

static const char* channel_text(int channels) {
  switch (channels) {
    case 1: return "grey";
    case 3: return "RGB";
    case 4: return "RGBA";
  }
  return "?";
}

// The reader for the file's magic word; 1 and a summary, or 0.
static int check_by_magic(const char* name, std::string* summary) {
  char head[8] = {};
  stream* s = stream_open(name, "rb");
  if (!s) return image_refuse(0, name, "can't open the file");
  const uint32_t got = stream_read(s, head, 8);
  stream_close(s);
  uint8_t* pixels = nullptr;
  int w = 0, h = 0, channels = 0, ok = 0;
  char line[128];
  static const unsigned char png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const char* slash = std::strrchr(name, '/');
  if (got == 8 && std::memcmp(head, png_signature, 8) == 0 && !std::strcmp(slash ? slash + 1 : name, "terrain.png")) {
    // A track's heights: read as the terrain loader reads them.
    uint16_t* heights = nullptr;
    ok = image_load_png_gray(name, &heights, &w, &h);
    if (ok) {
      std::snprintf(line, sizeof line, "PNG %d x %d, 16-bit grey heights", w, h);
      *summary = line;
    }
    check_free(heights);
    return ok ? 1 : image_refuse(0, name, "not a grey PNG the terrain loader can read");
  }
  if (got == 8 && std::memcmp(head, png_signature, 8) == 0) {
    char* info = nullptr;
    ok = image_read_png(name, &pixels, &w, &h, &channels, &info);
    if (ok) {
      std::snprintf(line, sizeof line, "PNG %d x %d, %s%s", w, h, channel_text(channels),
                    info && std::strstr(info, "[mip_custom]") ? ", custom mip levels" : "");
      *summary = line;
    }
    check_free(info);
    check_free(pixels);
    return ok;
  }
  s = stream_open(name, "rb");
  if (!s) return image_refuse(0, name, "can't open the file");
  char magic[16];
  if (stream_scanf(s, "%15s", magic) != 1) {
    magic[0] = '\0';
  }
  if (!std::strcmp(magic, "P6") || !std::strcmp(magic, "P3")) {
    ok = image_read_ppm(magic, s, &pixels, &w, &h, name);
    channels = 3;
  } else if (!std::strcmp(magic, "J6") || !std::strcmp(magic, "J7")) {
    channels = magic[1] == '6' ? 3 : 4;
    ok = image_read_raw(magic, s, channels, &pixels, &w, &h, name);
  } else if (!std::strcmp(magic, "P5") || !std::strcmp(magic, "P2")) {
    stream_close(s);
    s = stream_open(name, "rb");  // the PGM reader reads its own magic
    ok = s && image_read_pgm(s, &pixels, &w, &h, name);
    channels = 1;
  } else {
    image_refuse(0, name, "not a PNG, PPM, PGM, J6 or J7 file");
  }
  if (s) stream_close(s);
  check_free(pixels);
  if (ok) {
    std::snprintf(line, sizeof line, "%s %d x %d, %s", magic, w, h, channel_text(channels));
    *summary = line;
  }
  return ok;
}

int bkdata_check_image(const char* path) {
  // The game opens a data file by its plain name and finds ".gz" and
  // ".scram" variants itself; a plain file beside the variant would win.
  std::string name(path);
  const size_t variant = variant_length(name);
  if (variant) {
    name.resize(name.size() - variant);
    struct stat st;
    if (stat(name.c_str(), &st) == 0) {
      std::printf("%s: '%s' is there too and would be read instead\n", path, name.c_str());
      return 0;
    }
  }
  std::string summary;
  if (!check_by_magic(name.c_str(), &summary)) {
    std::printf("%s: %s\n", path, image_last_refusal());
    return 0;
  }
  std::printf("%s: %s\n", path, summary.c_str());
  return 1;
}

// bkdata image FORMAT WIDTH HEIGHT OUT
int bkdata_image(int argc, char** argv) {
  if (argc != 4) return bkdata_usage();
  const char* format = argv[0];
  char* end = nullptr;
  const long w = std::strtol(argv[1], &end, 10);
  const bool w_ok = *argv[1] && !*end;
  const long h = std::strtol(argv[2], &end, 10);
  if (!w_ok || !*argv[2] || *end || w < 1 || h < 1 || w > image_max_side || h > image_max_side) {
    std::fprintf(stderr, "bkdata image: the size must be 1..%d on each side\n", (int)image_max_side);
    return 2;
  }
  const char* out = argv[3];
  struct {
    const char* name;
    int channels;
  } const formats[] = {{"png", 3},      {"png-rgba", 4}, {"png-grey", 1}, {"png16", 1},
                       {"ppm", 3},      {"ppm-text", 3}, {"pgm", 1},      {"pgm-text", 1},
                       {"j6", 3},       {"j7", 4}};
  int channels = 0;
  for (const auto& f : formats)
    if (!std::strcmp(format, f.name)) channels = f.channels;
  if (!channels) {
    std::fprintf(stderr, "bkdata image: formats are png png-rgba png-grey png16 ppm ppm-text pgm pgm-text j6 j7\n");
    return 2;
  }
  // A pattern every level of a chain shows, with alpha from clear to opaque.
  std::vector<uint8_t> px((size_t)w * h * channels);
  std::vector<uint16_t> deep((size_t)w * h);
  for (long y = 0; y < h; y++)
    for (long x = 0; x < w; x++) {
      uint8_t* p = &px[((size_t)y * w + x) * channels];
      for (int c = 0; c < channels; c++) p[c] = (uint8_t)(x * 7 + y * 13 + c * 61);
      if (channels == 4) p[3] = (uint8_t)((x + y) * 16);
      deep[(size_t)y * w + x] = (uint16_t)(x * 257 + y * 4099);
    }
  int ok;
  const int iw = (int)w, ih = (int)h;
  if (!std::strcmp(format, "png16"))
    ok = image_write_png(out, deep.data(), iw, ih);
  else if (!std::strncmp(format, "png", 3))
    ok = image_write_png8(out, px.data(), iw, ih, channels);
  else if (!std::strcmp(format, "j6") || !std::strcmp(format, "j7"))
    ok = image_write_raw(out, format[1] == '6' ? "J6" : "J7", px.data(), iw, ih);
  else {
    const bool text = std::strstr(format, "-text") != nullptr;
    const char* magic = channels == 3 ? (text ? "P3" : "P6") : (text ? "P2" : "P5");
    ok = image_write_pnm(out, magic, px.data(), iw, ih);
  }
  if (!ok) {
    std::fprintf(stderr, "bkdata image: %s: %s\n", out, image_last_refusal());
    return 1;
  }
  return 0;
}
