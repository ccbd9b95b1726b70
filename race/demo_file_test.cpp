// The demo file's header and chunk chain.
#include "race/demo_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/file.h"
#include "tools/testing/test_env.h"

namespace {

std::string temp_path(const char* name) { return std::string(test_root()) + "/" + name; }

void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

int only_quarrybend(const char* folder) { return std::strcmp(folder, "quarrybend") == 0; }

struct opened {
  stream s = {};
  bool ok = false;
  explicit opened(const std::string& path, const char* mode) { ok = stream_open_path(&s, path.c_str(), mode); }
  ~opened() {
    if (ok) stream_close_file(&s);
  }
};

TEST(DemoFile, HeaderRoundTripCleansSeparatorsAndLineBreaks) {
  static demo_header h, back;
  std::memset(&h, 0, sizeof h);
  h.version = 6;
  h.rider_count = 2;
  h.race_length_ticks = 7680;
  h.race_laps = 3;
  h.gate_drop_tick = 1700;
  std::strcpy(h.track, "quarrybend");
  std::strcpy(h.riders[0].bike, "crf250");
  std::strcpy(h.riders[0].number, "12");
  std::strcpy(h.riders[0].name, "A|B\nC");
  std::strcpy(h.riders[0].bike_skin, "red\rbike");
  std::strcpy(h.riders[1].bike, "kx125");
  std::strcpy(h.riders[1].number, "999");
  std::strcpy(h.riders[1].helmet_skin, "lid");
  const std::string path = temp_path("header.bkdemo");
  {
    opened w(path, "wb");
    ASSERT_TRUE(w.ok);
    ASSERT_EQ(demo_header_write(&w.s, &h), 1);
  }
  opened r(path, "rb");
  ASSERT_TRUE(r.ok);
  char reason[128] = "";
  ASSERT_EQ(demo_header_read(&r.s, &back, only_quarrybend, reason, sizeof reason), 1) << reason;
  EXPECT_EQ(back.version, 6);
  EXPECT_EQ(back.rider_count, 2);
  EXPECT_EQ(back.race_length_ticks, 7680);
  EXPECT_EQ(back.race_laps, 3);
  EXPECT_EQ(back.gate_drop_tick, 1700);
  EXPECT_STREQ(back.track, "quarrybend");
  EXPECT_STREQ(back.riders[0].name, "A_B_C");
  EXPECT_STREQ(back.riders[0].bike, "crf250");
  EXPECT_STREQ(back.riders[0].bike_skin, "red_bike");
  EXPECT_STREQ(back.riders[0].gear_skin, "");
  EXPECT_STREQ(back.riders[1].number, "999");
  EXPECT_STREQ(back.riders[1].helmet_skin, "lid");
  EXPECT_EQ(back.riders[1].slot, -1);
  EXPECT_EQ(back.length, (int64_t)test_read_file(path).size());
}

TEST(DemoFile, LongFieldsAreCutToTheReadersLine) {
  static demo_header h, back;
  std::memset(&h, 0, sizeof h);
  h.rider_count = 1;
  std::strcpy(h.track, "quarrybend");
  for (char* f : {h.riders[0].bike, h.riders[0].gear_skin, h.riders[0].bike_skin, h.riders[0].wheels_skin,
                  h.riders[0].helmet_skin, h.riders[0].name}) {
    std::memset(f, 'x', demo_field_bytes - 1);
    f[demo_field_bytes - 1] = 0;
  }
  std::strcpy(h.riders[0].number, "123");
  const std::string path = temp_path("long.bkdemo");
  {
    opened w(path, "wb");
    ASSERT_TRUE(w.ok);
    ASSERT_EQ(demo_header_write(&w.s, &h), 1);
  }
  const std::string text = test_read_file(path);
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    EXPECT_LE(nl + 1 - start, (size_t)demo_line_bytes);
  opened r(path, "rb");
  char reason[128] = "";
  ASSERT_EQ(demo_header_read(&r.s, &back, nullptr, reason, sizeof reason), 1) << reason;
  EXPECT_EQ(std::strlen(back.riders[0].bike), (size_t)demo_field_bytes - 1);
  EXPECT_EQ(std::strlen(back.riders[0].number), 3u);
}

TEST(DemoFile, HeadersReadOrRefused) {
  const std::string long_line(1100, 'x');
  struct row {
    const char* what;
    std::string text;
    const char* reason;  // null: read
    int version, count, gate;
  } rows[] = {
      {"v6", "BK06 1 0 3 1500\nquarrybend\nb|g|k|w|h\n7\nName\n\n", nullptr, 6, 1, 1500},
      {"gate drop defaults to 14 s", "BK06 0 0 3\nquarrybend\n", nullptr, 6, 0, 1792},
      {"v4 has two lines a rider", "BK4 2 100 0 1000\nquarrybend\ncrf250\n1\nkx125\n2\n", nullptr, 4, 2, 1000},
      {"v5", "BK05 1 100 0 1000\nquarrybend\ncrf250|a\n1\n", nullptr, 5, 1, 1000},
      {"extra lines before the blank one", "BK06 1 0 3\nquarrybend\nb\n7\nN\nmore\n\n", nullptr, 6, 1, 1792},
      {"no header", "", "no header line", 0, 0, 0},
      {"not a demo", "PNG 1 2 3\n", "not a demo header", 0, 0, 0},
      {"two numbers", "BK06 1\nquarrybend\n", "not a demo header", 0, 0, 0},
      {"version 3", "BK03 0 0 0\nquarrybend\n", "version 3", 0, 0, 0},
      {"version 7", "BK07 0 0 0\nquarrybend\n", "version 7", 0, 0, 0},
      {"161 riders", "BK06 161 0 0\nquarrybend\n", "rider count", 0, 0, 0},
      {"negative riders", "BK06 -1 0 0\nquarrybend\n", "rider count", 0, 0, 0},
      {"negative length", "BK06 0 -5 0\nquarrybend\n", "negative", 0, 0, 0},
      {"negative laps", "BK06 0 0 -1\nquarrybend\n", "negative", 0, 0, 0},
      {"negative gate drop", "BK06 0 0 0 -3\nquarrybend\n", "negative", 0, 0, 0},
      {"huge number", "BK06 0 99999999999 0\nquarrybend\n", "not a demo header", 0, 0, 0},
      {"unknown track", "BK06 0 0 0\nnowhere\n", "track is not installed", 0, 0, 0},
      {"track line cut", "BK06 0 0 0\nquarrybend", "no track line", 0, 0, 0},
      {"first line too long", "BK06 0 0 0 " + long_line + "\nquarrybend\n", "no header line", 0, 0, 0},
      {"rider lines missing", "BK06 2 0 0\nquarrybend\nb\n1\nN\n\n", "rider's lines", 0, 0, 0},
      {"no blank line", "BK06 1 0 0\nquarrybend\nb\n1\nN\n", "rider's lines", 0, 0, 0},
  };
  for (const row& c : rows) {
    const std::string path = temp_path("case.bkdemo");
    write_bytes(path, c.text);
    opened r(path, "rb");
    ASSERT_TRUE(r.ok);
    static demo_header h;
    char reason[128] = "";
    const int ok = demo_header_read(&r.s, &h, only_quarrybend, reason, sizeof reason);
    if (!c.reason) {
      EXPECT_EQ(ok, 1) << c.what << ": " << reason;
      EXPECT_EQ(h.version, c.version) << c.what;
      EXPECT_EQ(h.rider_count, c.count) << c.what;
      EXPECT_EQ(h.gate_drop_tick, c.gate) << c.what;
      EXPECT_EQ(h.length, (int64_t)c.text.size()) << c.what;
    } else {
      EXPECT_EQ(ok, 0) << c.what;
      EXPECT_NE(std::string(reason).find(c.reason), std::string::npos) << c.what << ": " << reason;
    }
  }
}

TEST(DemoFile, ChunkChainWalksForwardAndBack) {
  const std::string path = temp_path("chain.bkdemo");
  const uint32_t lengths[] = {8, 0, 44 * 3, 269, 5, 1023};
  std::vector<int64_t> offsets;
  const int64_t first = 4;
  {
    opened w(path, "wb");
    ASSERT_TRUE(w.ok);
    stream_puts(&w.s, "head");
    uint32_t previous = 0;
    int64_t at = first;
    std::vector<uint8_t> data(2000, 0xa5);
    for (int k = 0; k < 6; k++) {
      offsets.push_back(at);
      ASSERT_EQ(demo_chunk_write(&w.s, &previous, 100 + 16 * k, 1 + k, data.data(), lengths[k]), 1);
      at += lengths[k] + demo_chunk_head_bytes;
    }
  }
  opened r(path, "rb");
  ASSERT_TRUE(r.ok);
  char head[4];
  ASSERT_EQ(stream_read(&r.s, head, 4), 4u);
  uint32_t previous = 0;
  int64_t at = first;
  demo_chunk c;
  for (int k = 0; k < 6; k++) {
    ASSERT_EQ(demo_chunk_read_head(&r.s, at, previous, &c), 1) << k;
    EXPECT_EQ(c.length, lengths[k]);
    EXPECT_EQ(c.tick, 100 + 16 * k);
    EXPECT_EQ(c.type, 1 + k);
    previous = c.length;
    at += c.length + demo_chunk_head_bytes;
  }
  EXPECT_EQ(demo_chunk_read_head(&r.s, at, previous, &c), 0) << "the clean end";
  // Back from past the last chunk to the first, and no further.
  for (int k = 5; k >= 0; k--) {
    ASSERT_EQ(demo_chunk_step_back(&r.s, first, &at, &previous, &c), 1) << k;
    EXPECT_EQ(at, offsets[k]);
    EXPECT_EQ(c.tick, 100 + 16 * k);
    EXPECT_EQ(previous, k > 0 ? lengths[k - 1] : 0u);
  }
  EXPECT_EQ(demo_chunk_step_back(&r.s, first, &at, &previous, &c), 0);
  EXPECT_EQ(at, first);
  // Forward again from where the walk stopped.
  ASSERT_EQ(demo_chunk_read_head(&r.s, at, previous, &c), 1);
  EXPECT_EQ(c.length, lengths[0]);
}

TEST(DemoFile, ChunkPastTheEndEndsTheDemo) {
  const std::string path = temp_path("cut.bkdemo");
  {
    opened w(path, "wb");
    uint32_t previous = 0;
    const uint8_t data[44] = {};
    demo_chunk_write(&w.s, &previous, 5, 1, data, 44);
    demo_chunk_write(&w.s, &previous, 9, 1, data, 44);
  }
  std::string bytes = test_read_file(path);
  write_bytes(path, bytes.substr(0, bytes.size() - 1));
  opened r(path, "rb");
  demo_chunk c;
  ASSERT_EQ(demo_chunk_read_head(&r.s, 0, 0, &c), 1);
  EXPECT_EQ(demo_chunk_read_head(&r.s, 53, 44, &c), -1) << "data would pass the end";
  EXPECT_EQ(demo_chunk_read_head(&r.s, 53 + 44 + 5, 44, &c), -1) << "head cut short";
  // A length word that says gigabytes is refused before anything is read.
  bytes[0] ^= (char)0xff;
  bytes[3] ^= (char)0x7f;
  write_bytes(path, bytes);
  opened r2(path, "rb");
  EXPECT_EQ(demo_chunk_read_head(&r2.s, 0, 0, &c), -1);
  EXPECT_EQ(demo_state_size(4), 26);
  EXPECT_EQ(demo_state_size(5), 39);
  EXPECT_EQ(demo_state_size(6), 0);
}

}  // namespace
