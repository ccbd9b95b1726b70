#include "assets/texture_anim.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/anim_writer.h"
#include "assets/image.h"
#include "assets/test_support_images.h"
#include "core/file.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/stream.h"

namespace {

std::vector<std::string> console_since(int mark) {
  std::vector<std::string> lines;
  for (int i = mark; i != message_ring.write_index; i = (i + 1) % message_ring_size)
    lines.push_back(message_ring.lines[i]);
  return lines;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  return all;
}

// A solid RGB or RGBA PNG.
std::string solid_png(const std::string& name, int width, int height, int channels, uint8_t r, uint8_t g,
                      uint8_t b) {
  const std::string path = fixture_path("seq/" + name);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::vector<uint8_t> pixels((size_t)width * height * channels);
  const uint8_t colour[4] = {r, g, b, 200};
  for (size_t i = 0; i < pixels.size(); i++) pixels[i] = colour[i % channels];
  EXPECT_TRUE(image_write_png8(path.c_str(), pixels.data(), width, height, channels));
  return path;
}

// Parses a ".seq" as texture_load would, after its magic word.
texture_animation* parse(const std::string& path) {
  stream* s = stream_open(path.c_str(), "rb");
  if (!s) return nullptr;
  char word[16];
  texture_animation* a = nullptr;
  if (stream_scanf(s, "%15s", word) == 1 && std::strcmp(word, "ANIM1") == 0) a = texture_anim_read(s, path.c_str());
  stream_close(s);
  return a;
}

std::string seq_path(const std::string& name) {
  const std::string path = fixture_path("seq/" + name);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  return path;
}

TEST(TextureAnimRead, RefusesBadFilesWithTheirReasonAndLeaksNothing) {
  const std::string red = solid_png("red.png", 64, 16, 3, 255, 0, 0);
  const std::string wide = solid_png("wide.png", 128, 16, 3, 0, 255, 0);
  const std::string alpha = solid_png("alpha.png", 64, 16, 4, 0, 0, 255);
  const std::string square = solid_png("square.png", 256, 256, 3, 9, 9, 9);
  const std::string huge = solid_png("huge.png", 2048, 2048, 3, 9, 9, 9);
  // Frames naming one picture over and over: past the pixels all frames may
  // hold together, known after the first frame, or only as they add up
  // (a big picture reduces to a small frame).
  std::string many_frames = "ANIM1 1 1024 4 1\n0\n", big_frames = "ANIM1 1 5 4 1\n0\n";
  for (int i = 0; i < 1024; i++) many_frames += "PNG " + square + "\n";
  for (int i = 0; i < 5; i++) big_frames += "PNG " + huge + "\n";
  struct row {
    const char* name;
    std::string text;
    std::string message;  // what the console must show
  };
  const std::vector<row> rows = {
      {"steps0", "ANIM1 0 1 4 1\nPNG " + red + "\n", "Bad .seq sizes"},
      {"frames0", "ANIM1 1 0 4 1\n0\n", "Bad .seq sizes"},
      {"ticks0", "ANIM1 1 1 0 1\n0\nPNG " + red + "\n", "Bad .seq ticks per step"},
      {"ticksneg", "ANIM1 1 1 -3 1\n0\nPNG " + red + "\n", "Bad .seq ticks per step"},
      {"entry", "ANIM1 2 2 4 1\n0 2\nPNG " + red + "\nPNG " + red + "\n", "Sequence entry 1 of"},
      {"negentry", "ANIM1 1 1 4 1\n-1\nPNG " + red + "\n", "Sequence entry 0 of"},
      {"shortseq", "ANIM1 3 1 4 1\n0 0", "Bad .seq sequence entry 2"},
      {"word", "ANIM1 2 2 4 1\n0 1\nPNG " + red + "\nGIF " + red + "\n", "Error reading .seq frame 1"},
      {"noframe", "ANIM1 1 1 4 1\n0\n", "Error reading .seq frame 0"},
      {"noname", "ANIM1 1 1 4 1\n0\nPNG", "EOF while reading .seq"},
      {"nonameline", "ANIM1 1 1 4 1\n0\nPNG   \n", "EOF while reading .seq"},
      {"missing", "ANIM1 1 1 4 1\n0\nPNG  " + fixture_path("seq/none.png") + "  \n",
       "Can't read " + fixture_path("seq/none.png")},
      {"width", "ANIM1 2 2 4 1\n0 1\nPNG " + red + "\nPNG " + wide + "\n", "Width/height mismatch reading .seq"},
      {"depth", "ANIM1 2 2 4 1\n0 1\nPNG " + red + "\nPNG " + alpha + "\n", "Depth mismatch reading .seq"},
      {"header", "ANIM1 2 two 4 1\n", "Bad .seq header"},
      {"hugesteps", "ANIM1 1000000000 1 4 1\n0\n", "Bad .seq sizes"},
      {"hugeframes", "ANIM1 1 1000000000 4 1\n0\n", "Bad .seq sizes"},
      {"manyframes", many_frames, "More than 16777216 pixels in the frames of"},
      {"bigframes", big_frames, "More than 16777216 pixels in the frames of"},
  };
  // Every block the reader takes must be back when it refuses.
  setenv("BK_CHECK_ALLOC", "1", 1);
  check_reset_for_tests();
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string path = seq_path(std::string(r.name) + ".seq");
    fixture_put(path, r.text);
    const uint32_t live = check_live_count();
    const int mark = message_ring.write_index;
    EXPECT_EQ(parse(path), nullptr);
    EXPECT_EQ(check_live_count(), live);
    const std::string lines = joined(console_since(mark));
    EXPECT_NE(lines.find(r.message), std::string::npos) << lines;
  }

  // A good file reads after all of them.
  const std::string good = seq_path("good.seq");
  fixture_put(good, "ANIM1\n3 2 8 1\n1 0 1\nPNG " + red + "\nPNG\t" + red + " \n");
  texture_animation* a = parse(good);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->sequence_length, 3);
  EXPECT_EQ(a->frame_count, 2);
  EXPECT_EQ(a->ticks_per_step, 8);
  EXPECT_EQ(a->loop, 1);
  EXPECT_EQ(a->current_frame, 1);
  EXPECT_EQ(a->frames[0].width, 64);
  EXPECT_EQ(a->frames[0].height, 16);
  EXPECT_EQ(a->frames[0].channels, 3);
  texture_anim_free(a);
  unsetenv("BK_CHECK_ALLOC");
  check_reset_for_tests();
}

TEST(TextureAnimRead, WriterRoundTripsEmbeddedAndNamedFramesAndFramesAreReduced) {
  // 512 x 256 is past the frame budget: it comes down a level to 256 x 128.
  const std::string big = solid_png("big.png", 512, 256, 4, 10, 20, 30);
  std::vector<uint8_t> rgba(256 * 128 * 4);
  for (size_t i = 0; i < rgba.size(); i++) rgba[i] = (uint8_t)(i * 7 + i / 1024);
  const anim_writer_frame frames[] = {{big.c_str(), nullptr, 0, 0}, {nullptr, rgba.data(), 256, 128}};
  const int sequence[] = {1, 0, 0, 1};
  const anim_writer_sequence seq = {4, sequence, 2, frames, 6, 0};
  const std::string path = seq_path("written.seq");
  ASSERT_TRUE(anim_write_file(&seq, path.c_str()));
  texture_animation* a = parse(path);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->loop, 0);
  EXPECT_EQ(a->ticks_per_step, 6);
  EXPECT_EQ(std::vector<int>(a->sequence, a->sequence + 4), std::vector<int>(sequence, sequence + 4));
  for (int f = 0; f < 2; f++) {
    EXPECT_EQ(a->frames[f].width, 256);
    EXPECT_EQ(a->frames[f].height, 128);
    EXPECT_EQ(a->frames[f].channels, 4);
  }
  EXPECT_EQ(std::memcmp(a->frames[1].pixels, rgba.data(), rgba.size()), 0);
  EXPECT_EQ(a->frames[0].pixels[0], 10);
  EXPECT_EQ(a->frames[0].pixels[3], 200);
  texture_anim_free(a);
}

texture_animation* make_anim(int length, const int* sequence, int frames, int ticks, int loop) {
  const size_t block = sizeof(texture_animation) + frames * sizeof(anim_frame) + length * sizeof(int);
  texture_animation* a = static_cast<texture_animation*>(check_calloc(1, block));
  a->sequence_length = length;
  a->frame_count = frames;
  a->ticks_per_step = ticks;
  a->loop = loop;
  a->frames = reinterpret_cast<anim_frame*>(a + 1);
  a->sequence = reinterpret_cast<int*>(a->frames + frames);
  std::memcpy(a->sequence, sequence, length * sizeof(int));
  return a;
}

TEST(TextureAnimClock, StepsLoopStopAndStartTick) {
  const int sequence[] = {2, 0, 1};
  texture_animation* a = make_anim(3, sequence, 3, 10, 1);
  struct row {
    int loop, start, tick, frame;
  };
  const row rows[] = {
      {1, 0, 0, 2},  {1, 0, 9, 2},  {1, 0, 10, 0},  {1, 0, 20, 1},  {1, 0, 30, 2},  {1, 0, 50, 1},
      {0, 0, 30, 1}, {0, 0, 50, 1}, {0, 0, 100000, 1},
      {1, 100, 50, 2},  // before its start: step 0
      {1, 100, 110, 0}, {1, -2147483647, 2147483647, 0},
  };
  for (const row& r : rows) {
    a->loop = r.loop;
    a->start_tick = r.start;
    EXPECT_EQ(texture_anim_frame_at(a, r.tick), r.frame) << r.loop << " " << r.start << " " << r.tick;
  }
  texture_anim_free(a);
}

// One 4 x 2 RGBA animation of two frames in the table, with custom frame
// begun.
struct CustomFrame : ::testing::Test {
  void SetUp() override {
    const int sequence[] = {0, 1};
    anim = make_anim(2, sequence, 2, 4, 1);
    anim->id = 4242;
    for (int f = 0; f < 2; f++) {
      anim->frames[f] = {4, 2, 4, static_cast<uint8_t*>(check_calloc(1, image_chain_size(4, 2, 4)))};
      for (int p = 0; p < 8; p++) {
        uint8_t* px = anim->frames[f].pixels + p * 4;
        px[0] = (uint8_t)(10 * p + f);
        px[1] = (uint8_t)(100 + p);
        px[2] = (uint8_t)(200 - p);
        px[3] = 255;
      }
    }
    ASSERT_TRUE(texture_anim_add(anim));
    ASSERT_EQ(texture_custom_frame_begin(anim->id), 1);
  }
  void TearDown() override { texture_anims_delete_stale(1); }
  uint8_t* at(int x, int y) { return anim->custom_frame + (y * 4 + x) * 4; }
  void set_source(int frame, int x, int y, int r, int g, int b, int a) {
    uint8_t* p = anim->frames[frame].pixels + (y * 4 + x) * 4;
    p[0] = (uint8_t)r, p[1] = (uint8_t)g, p[2] = (uint8_t)b, p[3] = (uint8_t)a;
  }
  texture_animation* anim = nullptr;
};

TEST_F(CustomFrame, ComposesByTheAlphaRules) {
  // Destination pixels first: pasted opaque from frame 0, or left clear.
  set_source(0, 0, 0, 100, 50, 0, 255);
  set_source(0, 2, 0, 30, 60, 90, 64);
  EXPECT_EQ(texture_custom_frame_paste(anim->id, 0, 0, 0, 0, 0, 0.25, 0.5), 1);
  EXPECT_EQ(texture_custom_frame_paste(anim->id, 0, 0.5, 0, 0.5, 0, 0.25, 0.5), 1);
  // (1, 0) stays clear (alpha 0) for the copy case.
  struct row {
    int x;
    int s[4];
    int want[4];
  };
  const row rows[] = {
      // Half-transparent over opaque: (d (255 - a) + s a) / 255, alpha stays.
      {0, {200, 0, 255, 128}, {(100 * 127 + 200 * 128) / 255, (50 * 127) / 255, (255 * 128) / 255, 255}},
      // Anything over a clear pixel is copied.
      {1, {1, 2, 3, 77}, {1, 2, 3, 77}},
      // a = 128 over b = 64: the general case.
      {2,
       {200, 100, 0, 128},
       {(30 * 64 * 127 + 200 * 128 * 255) / (128 * 255 + 127 * 64),
        (60 * 64 * 127 + 100 * 128 * 255) / (128 * 255 + 127 * 64), (90 * 64 * 127) / (128 * 255 + 127 * 64),
        128 + 127 * 64 / 255}},
  };
  for (const row& r : rows) set_source(1, r.x, 1, r.s[0], r.s[1], r.s[2], r.s[3]);
  // Row 1 of frame 1 onto row 0 of the custom frame.
  EXPECT_EQ(texture_custom_frame_paste(anim->id, 1, 0, 0.5, 0, 0, 0.75, 0.5), 1);
  for (const row& r : rows)
    for (int c = 0; c < 4; c++) EXPECT_EQ(at(r.x, 0)[c], r.want[c]) << "x " << r.x << " channel " << c;

  // Source alpha 0 leaves an opaque pixel alone.
  set_source(1, 0, 0, 9, 9, 9, 0);
  EXPECT_EQ(texture_custom_frame_paste(anim->id, 1, 0, 0, 0, 0, 0.25, 0.5), 1);
  EXPECT_EQ(at(0, 0)[3], 255);
  EXPECT_NE(at(0, 0)[0], 9);
}

TEST_F(CustomFrame, RectanglesAreCutAndBadArgumentsChangeNothing) {
  const std::vector<uint8_t> clear(anim->custom_frame, anim->custom_frame + 32);
  const double inf = 1.0 / 0.0, nan = std::nan("");
  struct row {
    const char* what;
    unsigned id;
    int frame;
    double v[6];
  };
  const row refused[] = {
      {"wholly right of the frame", 4242, 0, {0, 0, 1.0, 0, 1, 1}},
      {"wholly below", 4242, 0, {0, 0, 0, 1.2, 1, 1}},
      {"wholly left", 4242, 0, {0, 0, -1.0, 0, 1, 1}},
      {"negative size", 4242, 0, {0, 0, 0, 0, -0.5, 1}},
      {"zero size", 4242, 0, {0, 0, 0, 0, 0.1, 1}},
      {"frame out of range", 4242, 2, {0, 0, 0, 0, 1, 1}},
      {"negative frame", 4242, -1, {0, 0, 0, 0, 1, 1}},
      {"no animation", 4243, 0, {0, 0, 0, 0, 1, 1}},
      {"infinite", 4242, 0, {inf, 0, 0, 0, 1, 1}},
      {"not a number", 4242, 0, {0, 0, 0, 0, nan, 1}},
      {"huge origin", 4242, 0, {0, 0, 1e300, 0, 1, 1}},
      {"huge negative origin", 4242, 0, {0, 0, -1e300, 0, 1e300, 1}},
  };
  for (const row& r : refused) {
    EXPECT_EQ(texture_custom_frame_paste(r.id, r.frame, r.v[0], r.v[1], r.v[2], r.v[3], r.v[4], r.v[5]), 0)
        << r.what;
    EXPECT_EQ(std::vector<uint8_t>(anim->custom_frame, anim->custom_frame + 32), clear) << r.what;
  }
  // A huge size is cut to the frame.
  EXPECT_EQ(texture_custom_frame_paste(4242, 0, 0, 0, 0, 0, 1e300, 1e300), 1);
  EXPECT_EQ(std::memcmp(anim->custom_frame, anim->frames[0].pixels, 32), 0);

  // A negative destination moves both origins: source (1, 0) lands at (0, 0),
  // and the rectangle loses a column.
  ASSERT_EQ(texture_custom_frame_begin(4242), 1);
  EXPECT_EQ(texture_custom_frame_paste(4242, 1, 0, 0, -0.25, 0, 1, 0.5), 1);
  EXPECT_EQ(at(0, 0)[0], anim->frames[1].pixels[4]);
  EXPECT_EQ(at(2, 0)[0], anim->frames[1].pixels[12]);
  EXPECT_EQ(at(3, 0)[3], 0);
  EXPECT_EQ(at(0, 1)[3], 0);
  // Nearest rounds halves up: 0.125 x 4 = 0.5 is column 0, 0.375 x 4 = 1.5 is
  // column 1.
  ASSERT_EQ(texture_custom_frame_begin(4242), 1);
  EXPECT_EQ(texture_custom_frame_paste(4242, 1, 0.375, 0, 0.125, 0, 0.25, 0.5), 1);
  EXPECT_EQ(at(0, 0)[0], anim->frames[1].pixels[4]);
}

TEST(CustomFrameBegin, PasteBeforeBeginAndUnknownIdsAreRefused) {
  const int sequence[] = {0};
  texture_animation* a = make_anim(1, sequence, 1, 4, 1);
  a->id = 7;
  a->frames[0] = {2, 2, 3, static_cast<uint8_t*>(check_calloc(1, image_chain_size(2, 2, 3)))};
  ASSERT_TRUE(texture_anim_add(a));
  EXPECT_EQ(texture_custom_frame_paste(7, 0, 0, 0, 0, 0, 1, 1), 0);
  EXPECT_EQ(texture_custom_frame_begin(8), 0);
  EXPECT_EQ(texture_custom_frame_end(8), 0);
  EXPECT_EQ(texture_anim_start(8, 5), 8u);  // ignored, but the id comes back
  texture_anim_stop(8);
  EXPECT_EQ(texture_custom_frame_begin(7), 1);
  EXPECT_EQ(texture_custom_frame_paste(7, 0, 0, 0, 0, 0, 1, 1), 1);
  texture_anims_delete_stale(1);
  EXPECT_EQ(texture_anim_table.count, 0u);
}

}  // namespace
