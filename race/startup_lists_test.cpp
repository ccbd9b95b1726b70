#include "race/startup_lists.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/file.h"
#include "core/file_index.h"
#include "game_data_digest.h"
#include "tools/testing/test_env.h"

namespace fs = std::filesystem;

namespace {

void write_file(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

struct StockParts : ::testing::Test {
  void SetUp() override {
    root = std::getenv("BK_HOME");
    ASSERT_EQ(std::system((test_bkdata_program() + " shapes " + root.string() + " >/dev/null").c_str()), 0);
    stock_parts_digest = stock_parts_stored_digest;
  }
  void TearDown() override {
    stock_parts_digest = nullptr;
    search_roots_free();
  }
  fs::path root;
};

// The build stores the digest of the generated shapes: they pass, and any
// change to one of the seven, or its absence, fails the check.
TEST_F(StockParts, GeneratedShapesMatchAndEveryChangeFails) {
  check_fixed_files();
  EXPECT_EQ(stock_parts_ok, 1);
  for (const char* name : stock_part_files) {
    const fs::path path = root / (name + 1);
    const std::string bytes = test_read_file(path.string());
    ASSERT_FALSE(bytes.empty()) << name;
    std::string changed = bytes;
    changed[changed.size() / 2] ^= 1;
    write_file(path, changed);
    check_fixed_files();
    EXPECT_EQ(stock_parts_ok, 0) << "changed byte in " << name;
    fs::remove(path);
    check_fixed_files();
    EXPECT_EQ(stock_parts_ok, 0) << "removed " << name;
    write_file(path, bytes);
    check_fixed_files();
    EXPECT_EQ(stock_parts_ok, 1) << "restored " << name;
  }
}

TEST_F(StockParts, NoStoredDigestFails) {
  stock_parts_digest = nullptr;
  check_fixed_files();
  EXPECT_EQ(stock_parts_ok, 0);
}

TEST(DemoList, DisplayNames) {
  const struct {
    const char* name;
    const char* display;
  } cases[] = {
      {"demos/race.bkdemo", "race"},
      {"demos/sub/deeper/lap.bkdemo", "lap"},
      {"demos/.bkdemo", ""},
      {"demos/a.b.c.bkdemo", "a.b.c"},
      {"demos/sub.dir/plain", "plain"},
      {"noslash.bkdemo", "noslash"},
  };
  for (const auto& c : cases) {
    char* d = demo_display_name(c.name);
    EXPECT_STREQ(d, c.display) << c.name;
    std::free(d);
  }
}

TEST(DemoList, ListsDemosOfTheIndexWithAPageOfRows) {
  const fs::path home = fs::path(std::getenv("XDG_DATA_HOME")) / "Brakkan";
  const fs::path demos = fs::path(std::getenv("BK_HOME")) / "demos";
  // Earlier tests in this process may have recorded demos in either folder.
  fs::remove_all(demos);
  fs::remove_all(home / "demos");
  write_file(demos / "b.bkdemo", "x");
  write_file(home / "demos/a.bkdemo", "x");
  write_file(demos / "sub/c.bkdemo", "x");
  write_file(demos / ".bkdemo", "x");
  write_file(demos / "notes.txt", "x");
  write_file(fs::path(std::getenv("BK_HOME")) / "other/d.bkdemo", "x");
  for (int i = 0; i < 25; i++) write_file(demos / ("z" + std::to_string(100 + i) + ".bkdemo"), "x");
  free_file_index();
  file_index_build();
  build_demo_list();
  ASSERT_EQ(demo_list.count, 29);
  std::vector<std::string> shown(demo_list.display_names, demo_list.display_names + 4);
  EXPECT_EQ(shown, (std::vector<std::string>{"", "a", "b", "c"}));
  EXPECT_STREQ(demo_list.names[3], "demos/sub/c.bkdemo");
  EXPECT_STREQ(demo_page_rows[0], "");
  EXPECT_STREQ(demo_page_rows[19], "z115");
  const char* rows[list_page_rows];
  fill_list_page(demo_list.display_names, demo_list.count, 1, rows);
  EXPECT_STREQ(rows[0], "z116");
  EXPECT_STREQ(rows[8], "z124");
  EXPECT_EQ(rows[9], nullptr);
  free_demo_list();
  EXPECT_EQ(demo_list.count, 0);
  EXPECT_EQ(demo_page_rows[0], nullptr);
  fs::remove_all(demos);
  fs::remove_all(home / "demos");
  free_file_index();
  file_index_build();
  build_demo_list();
  EXPECT_EQ(demo_list.count, 0);
  EXPECT_EQ(demo_page_rows[0], nullptr);
  free_demo_list();
  free_file_index();
}

}  // namespace
