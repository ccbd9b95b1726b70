#include "core/file.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/file_index.h"
#include "core/memory.h"
#include "core/rmd160.h"
#include "core/test_support_files.h"
#include "platform/log.h"
#include "tools/testing/test_env.h"

namespace {

namespace fs = std::filesystem;

// Root 0 is the per-user folder under XDG_DATA_HOME, root 1 is BK_HOME; both
// start empty, and the log goes to a file of the test's own.
class FileLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = std::string(test_root()) + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(base_);
    user_ = base_ + "/xdg/Brakkan/";
    install_ = base_ + "/install/";
    fs::create_directories(base_ + "/home");
    fs::create_directories(base_ + "/xdg");
    fs::create_directories(install_);
    setenv("HOME", (base_ + "/home").c_str(), 1);
    setenv("XDG_DATA_HOME", (base_ + "/xdg").c_str(), 1);
    setenv("BK_HOME", (base_ + "/install").c_str(), 1);
    log_path_ = base_ + "/test.log";
    setenv("PAVO_LOGFILE", log_path_.c_str(), 1);
    log_reset_for_tests();
    free_file_index();
  }
  // Starts the file layer with XDG_DATA_HOME at xdg and no log file named,
  // writing log_line to the log when given; what start-up and that line
  // said on standard error.
  std::string start_with_data_home(const std::string& xdg, const char* log_line = nullptr) {
    setenv("XDG_DATA_HOME", xdg.c_str(), 1);
    search_roots_free();
    unsetenv("PAVO_LOGFILE");
    log_reset_for_tests();
    ::testing::internal::CaptureStderr();
    locate_game_data("none");
    if (log_line) log_printf("%s", log_line);
    return ::testing::internal::GetCapturedStderr();
  }
  void TearDown() override {
    free_file_index();
    log_reset_for_tests();
    unsetenv("PAVO_LOGFILE");
    const std::string root = test_root();
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/xdg").c_str(), 1);
    setenv("BK_HOME", (root + "/bkhome").c_str(), 1);
  }
  std::string log_text() {
    log_close();
    return fixture_read(log_path_);
  }
  std::string base_, user_, install_, log_path_;
};

// The whole content of a named file, or "<none>".
std::string read_name(const char* name) {
  stream* s = stream_open(name, "rb");
  if (!s) return "<none>";
  std::string out;
  char buffer[512];
  for (uint32_t n; (n = stream_read(s, buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  stream_close(s);
  return out;
}

TEST(PathJoin, SeparatorsAreNormalised) {
  struct join_case {
    const char* a;
    const char* b;
    const char* joined;
  };
  const join_case cases[] = {
      {"/a/", "b", "/a/b"},       {"/a/", "/b", "/a/b"},          {"C:\\x\\", "y\\\\z", "C:/x/y/z"},
      {"", "", ""},               {"//srv//", "a///b//", "/srv/a/b/"},
  };
  for (const join_case& c : cases) {
    char* j = path_join(c.a, c.b);
    ASSERT_NE(j, nullptr);
    EXPECT_STREQ(j, c.joined);
    check_free(j);
  }
  EXPECT_EQ(path_join(nullptr, "x"), nullptr);
  EXPECT_EQ(path_join("x", nullptr), nullptr);
}

TEST_F(FileLayer, SearchRoots) {
  EXPECT_STREQ(search_root(0), user_.c_str());
  EXPECT_STREQ(search_root(1), install_.c_str());
  EXPECT_EQ(search_root(2), nullptr);
  EXPECT_EQ(search_root(-1), nullptr);

  // No XDG_DATA_HOME (or a relative one): the XDG default under HOME.
  search_roots_free();
  setenv("XDG_DATA_HOME", "relative/path", 1);
  EXPECT_EQ(std::string(search_root(0)), base_ + "/home/.local/share/Brakkan/");

  // No HOME either: the account's home from the password database; the
  // installation folder never takes the per-user folder's place.
  search_roots_free();
  unsetenv("XDG_DATA_HOME");
  unsetenv("HOME");
  const struct passwd* account = getpwuid(getuid());
  ASSERT_NE(account, nullptr);
  EXPECT_EQ(std::string(search_root(0)), std::string(account->pw_dir) + "/.local/share/Brakkan/");
  EXPECT_STREQ(search_root(1), install_.c_str());

  // Without BK_HOME (or with an empty one) the executable's folder is the
  // second root.
  search_roots_free();
  setenv("BK_HOME", "", 1);
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  exe[n] = 0;
  *std::strrchr(exe, '/') = 0;
  EXPECT_EQ(std::string(search_root(1)), std::string(exe) + "/");
}

// A per-user folder the game can't use is said on standard error at
// start-up, whatever becomes of the log.
TEST_F(FileLayer, AnUnusablePerUserFolderIsSaidOnStandardError) {
  fixture_write(base_ + "/file", "x");
  const struct {
    std::string xdg;
    const char* why;
  } cases[] = {
      {base_ + "/file", "Not a directory"},  // XDG_DATA_HOME a file
      {base_ + "/xdg2", "Not a directory"},  // its Brakkan a file
  };
  fs::create_directories(base_ + "/xdg2");
  fixture_write(base_ + "/xdg2/Brakkan", "x");
  for (const auto& c : cases) {
    const std::string err = start_with_data_home(c.xdg);
    EXPECT_NE(err.find("can't use the per-user folder '" + c.xdg + "/Brakkan/': " + c.why), std::string::npos)
        << err;
    EXPECT_NE(err.find("can't open the log file '" + c.xdg + "/Brakkan/lastlog.txt'"), std::string::npos) << err;
    log_reset_for_tests();
  }
  search_roots_free();
}

// The game data folder is never the per-user folder: with no usable home
// (here an XDG_DATA_HOME too long to use) the game reads its data but
// writes nothing, and says so; with an unusable per-user folder writes
// fail rather than fall through into the data folder.
TEST_F(FileLayer, WritesNeverLandInTheGameDataFolder) {
  fixture_write(base_ + "/file", "x");
  fixture_write(install_ + "config", "shipped");
  const struct {
    const char* what;
    std::string xdg;
    const char* said;  // on standard error at start-up
  } cases[] = {
      {"no usable home", "/" + std::string(5000, 'h'), "no per-user folder"},
      {"XDG_DATA_HOME a file", base_ + "/file", "can't use the per-user folder"},
  };
  for (const auto& c : cases) {
    const std::string err = start_with_data_home(c.xdg, "a line for the log\n");
    EXPECT_NE(err.find(c.said), std::string::npos) << c.what << ": " << err;
    EXPECT_EQ(read_name("@config"), "shipped") << c.what << ": the data are still read";

    stream* s = stream_open("@results.txt", "wb");
    EXPECT_EQ(s, nullptr) << c.what;
    if (s) stream_close(s);
    stream* d = stream_open("@demos/default.bkdemo", "~wb");
    EXPECT_EQ(d, nullptr) << c.what;
    if (d) stream_close(d);
    char* path = home_file_path("@config");
    EXPECT_TRUE(!path || std::string(path).rfind(install_, 0) != 0) << c.what << ": " << path;
    check_free(path);
    EXPECT_EQ(rename_home_file("@config", "@config.old"), 0) << c.what;
    log_reset_for_tests();

    std::vector<std::string> left;
    for (const auto& e : fs::recursive_directory_iterator(install_)) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"config"}) << c.what << ": written into the game data folder";
    EXPECT_EQ(fixture_read(install_ + "config"), "shipped") << c.what;
  }
  search_roots_free();
}

// Two roots and two archives; each file's content names where it came from.
TEST_F(FileLayer, WhichFileWins) {
  fixture_write(user_ + "shared.txt", "user");
  fixture_write(install_ + "shared.txt", "install");
  fixture_write(install_ + "install.txt", "install");
  fixture_write(user_ + "pic.png.gz", fixture_gzip("user gz"));  // root 0's variant beats root 1's plain file
  fixture_write(install_ + "pic.png", "install");
  fixture_write(install_ + "loose.dat.gz.scram", fixture_scramble(fixture_gzip("loose gz scram")));
  fixture_write(install_ + "tracks/a/desc", "loose desc");
  fixture_saf(install_ + "data1.saf", {
                                          {"shared.txt", "data1"},
                                          {"install.txt", "data1"},
                                          {"both.txt", "data1"},
                                          {"terrain.hf.gz", fixture_gzip("data1 gz")},
                                          {"dir//sub///file.txt", "data1 sub"},
                                          {"only1.txt", "data1 only"},
                                      });
  fixture_saf(user_ + "data2.saf", {
                                       {"both.txt", "data2"},
                                       {"terrain.hf", "data2 plain"},
                                       {"v1", "plain"},
                                       {"v1.gz", fixture_gzip("gz")},
                                       {"v1.scram", fixture_scramble("scram")},
                                       {"v2.gz.scram", fixture_scramble(fixture_gzip("gz scram"))},
                                       {"v2.scram", fixture_scramble("scram")},
                                       {"v3.gz.scram", fixture_scramble(fixture_gzip("gz scram"))},
                                       {"Mixed.Case", "data2 case"},
                                       {"tracks/b/desc", "member desc"},
                                   });
  const char** unique = file_index_build();
  ASSERT_NE(unique, nullptr);
  EXPECT_EQ(file_index_build(), unique);

  struct win_case {
    const char* name;
    const char* content;
  };
  const win_case cases[] = {
      {"@shared.txt", "user"},           // root 0 over root 1 and the archives
      {"@install.txt", "install"},       // a loose file over any archive
      {"@pic.png", "user gz"},
      {"@loose.dat", "loose gz scram"},
      {"@both.txt", "data1"},            // the archive that sorts first
      {"@terrain.hf", "data1 gz"},       // a lower source beats a plainer variant
      {"@v1", "plain"},                  // equal sources: plain, .gz, .scram, .gz.scram
      {"@v2", "scram"},
      {"@v3", "gz scram"},
      {"@dir/sub/file.txt", "data1 sub"},
      {"@dir//sub/file.txt", "data1 sub"},
      {"@DIR/SUB/FILE.TXT", "data1 sub"},
      {"@mixed.case", "data2 case"},
      {"@only1.txt", "data1 only"},
      {"@tracks/a/desc", "loose desc"},
      {"@tracks/b/desc", "member desc"},
      {"@missing", "<none>"},
  };
  for (const win_case& c : cases) EXPECT_EQ(read_name(c.name), c.content) << c.name;

  // Every name once in the unique list.
  int both = 0, total = 0;
  for (const char** u = unique; *u; ++u, ++total) both += std::strcmp(*u, "both.txt") == 0;
  EXPECT_EQ(both, 1);
  const int entries = file_index_count(&game_file_index);
  EXPECT_LT(total, entries);

  // Sources: roots 0 and 1, then data1.saf = 2, data2.saf = 3.
  EXPECT_EQ(file_index_at(&game_file_index, file_index_find(&game_file_index, "only1.txt"))->source, 2);
  EXPECT_EQ(file_index_at(&game_file_index, file_index_find(&game_file_index, "v1"))->source, 3);
  EXPECT_EQ(file_index_find(&game_file_index, "dir//sub/file.txt"), -1);
  EXPECT_TRUE(file_index_contains("DIR/sub/file.txt"));

  char text[64];
  const int only1 = file_index_find(&game_file_index, "only1.txt");
  ASSERT_EQ(file_index_entry_text(only1, text, sizeof text), 1);
  EXPECT_EQ(std::string(text), ("only1.txt -> " + install_ + "data1.saf").substr(0, 63));
  ASSERT_EQ(file_index_entry_text(only1, text, 5), 1);
  EXPECT_STREQ(text, "only");
  EXPECT_EQ(file_index_entry_text(entries, text, sizeof text), 0);
  EXPECT_EQ(file_index_entry_text(-1, text, sizeof text), 0);

  // A plain member stops at its own end though the archive goes on.
  stream* s = stream_open("@only1.txt", "rb");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(stream_seek(s, 5), 1);
  char rest[64];
  EXPECT_EQ(stream_read(s, rest, sizeof rest), 5u);
  EXPECT_EQ(std::string(rest, 5), " only");
  EXPECT_EQ(stream_seek(s, 10), 0);
  stream_close(s);
}

TEST_F(FileLayer, WritesLandInTheUserFolder) {
  fixture_saf(install_ + "data.saf", {{"inside.txt", "archive"}});
  file_index_build();
  stream* s = stream_open("@new/dir/inside.txt", "wb");
  ASSERT_NE(s, nullptr);
  stream_puts(s, "written");
  stream_close(s);
  EXPECT_EQ(fixture_read(user_ + "new/dir/inside.txt"), "written");
  // Read-write opens never reach the archives.
  EXPECT_EQ(stream_open("@inside.txt", "r+b"), nullptr);
  s = stream_open("@inside.txt", "ab");
  ASSERT_NE(s, nullptr);
  stream_close(s);
  EXPECT_TRUE(fs::exists(user_ + "inside.txt"));
}

TEST_F(FileLayer, UnsafeNamesAreRefused) {
  fixture_write(base_ + "/secret", "secret");
  fixture_write(install_ + "ok.txt", "ok");
  const std::string long_name = "@" + std::string(600, 'n');
  // Paths of exactly 511 and 512 bytes under root 0, in folders of 100.
  std::string fits;
  while (fits.size() + 120 < 511 - user_.size()) fits += std::string(100, 'f') + "/";
  fits += std::string(511 - user_.size() - fits.size(), 'g');
  const std::string just_too_long = "@" + fits + "g";
  fixture_write(user_ + fits, "fits");
  const char* refused[] = {"@../secret", "@a/../../secret", "@..", "@/etc/passwd", "@\\etc", "@", long_name.c_str(),
                           "@x\\..\\..\\secret"};
  for (const char* name : refused) {
    EXPECT_EQ(stream_open(name, "rb"), nullptr) << name;
    EXPECT_EQ(stream_open(name, "wb"), nullptr) << name;
  }
  EXPECT_EQ(read_name(just_too_long.c_str()), "<none>");
  EXPECT_EQ(read_name(("@" + fits).c_str()), "fits");
  EXPECT_EQ(read_name("@./ok.txt"), "ok");
  EXPECT_EQ(read_name("@..ok/../ok.txt"), "<none>");
  EXPECT_FALSE(fs::exists(base_ + "/xdg/secret"));
  EXPECT_NE(log_text().find("Refusing file name '@../secret'"), std::string::npos);
}

TEST_F(FileLayer, MalformedArchivesAreRefusedAndTheRestLoads) {
  fixture_write(install_ + "a1_truncated.saf", "5 one\n12345");
  fixture_write(install_ + "a2_negative.saf", "-5 neg\n-\n12345");
  fixture_write(install_ + "a3_past_end.saf", "3 fine\n9 past\n-\nabc12345");
  fixture_write(install_ + "a4_long_line.saf", "1 " + std::string(1030, 'l') + "\n-\nx");
  fixture_write(install_ + "a5_no_digits.saf", "x word\n-\n");
  fixture_write(install_ + "a6_overflow.saf", "4294967297 big\n-\nx");
  fixture_write(install_ + "a7_no_separator.saf", "5\n-\n12345");
  fixture_write(install_ + "a8_unterminated.saf", "1 a\n-");
  fixture_write(install_ + "b_good.saf", "3 good.txt\r\n0 empty\n2 x//y\n-\nabcde");
  const char** unique = file_index_build();
  ASSERT_NE(unique, nullptr);
  for (const char* name : {"one", "neg", "fine", "past", "big", "a"}) EXPECT_EQ(file_index_find(&game_file_index, name), -1) << name;
  EXPECT_EQ(read_name("@good.txt"), "abc");
  EXPECT_EQ(read_name("@empty"), "");
  EXPECT_EQ(read_name("@x/y"), "de");
  // Refused archives still use up their source numbers.
  EXPECT_EQ(file_index_at(&game_file_index, file_index_find(&game_file_index, "good.txt"))->source, 2 + 8);
  const std::string log = log_text();
  for (const char* archive : {"a1_truncated", "a2_negative", "a3_past_end", "a4_long_line", "a5_no_digits", "a6_overflow",
                              "a7_no_separator", "a8_unterminated"})
    EXPECT_NE(log.find(std::string("Archive ") + install_ + archive + ".saf"), std::string::npos) << archive;
  EXPECT_NE(log.find("member 'past' runs past the end"), std::string::npos);
  EXPECT_NE(log.find("member 'neg' has an impossible size"), std::string::npos);
  EXPECT_NE(log.find("File index complete"), std::string::npos);
}

TEST_F(FileLayer, SymbolicLinksDoNotLoop) {
  fixture_write(install_ + "real/file.txt", "x");
  fixture_write(base_ + "/elsewhere/linked.txt", "linked");
  ASSERT_EQ(symlink(install_.c_str(), (install_ + "real/loop").c_str()), 0);
  ASSERT_EQ(symlink((base_ + "/elsewhere").c_str(), (install_ + "outside").c_str()), 0);
  const char** unique = file_index_build();
  int count = 0;
  for (const char** u = unique; *u; ++u) ++count;
  EXPECT_EQ(count, 2);
  EXPECT_GE(file_index_find(&game_file_index, "real/file.txt"), 0);
  EXPECT_GE(file_index_find(&game_file_index, "outside/linked.txt"), 0);
}

TEST_F(FileLayer, FileToString) {
  fixture_write(user_ + "script.js", "print(1);\n");
  char* text = file_to_string("@script.js");
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "print(1);\n");
  check_free(text);
  EXPECT_EQ(file_to_string("@nothing.js"), nullptr);

  std::string big(file_to_string_buffer - 1, 'b');
  fixture_write(user_ + "largest.js", big);
  text = file_to_string("@largest.js");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::strlen(text), big.size());
  check_free(text);
  big += 'b';
  fixture_write(user_ + "toolong.js", big);
  EXPECT_EQ(file_to_string("@toolong.js"), nullptr);
  // A compressed file has no size limit of its own: the buffer still holds.
  fixture_write(user_ + "bomb.js.gz", fixture_gzip(big + big));
  EXPECT_EQ(file_to_string("@bomb.js"), nullptr);
  const std::string log = log_text();
  EXPECT_NE(log.find("File @toolong.js too long for file_to_string"), std::string::npos);
  EXPECT_NE(log.find("File @bomb.js too long for file_to_string"), std::string::npos);
}

TEST_F(FileLayer, RenameHomeFile) {
  fixture_write(user_ + "demo1", "one");
  fixture_write(user_ + "demo2", "two");
  EXPECT_EQ(rename_home_file("@demo1", "@demo2"), 1);
  EXPECT_EQ(fixture_read(user_ + "demo2"), "one");
  EXPECT_FALSE(fs::exists(user_ + "demo1"));
  // A missing source leaves the target as it was.
  EXPECT_EQ(rename_home_file("@demo1", "@demo2"), 0);
  EXPECT_EQ(fixture_read(user_ + "demo2"), "one");
  EXPECT_EQ(rename_home_file((user_ + "demo2").c_str(), "@demo3"), 1);
  EXPECT_EQ(fixture_read(user_ + "demo3"), "one");
  EXPECT_EQ(rename_home_file("@demo3", "@../escaped"), 0);
  EXPECT_TRUE(fs::exists(user_ + "demo3"));
}

TEST_F(FileLayer, LocateGameData) {
  std::string archive = "1 x\n-\nx" + fixture_noise(1048576, 9);
  fixture_write(install_ + "zzzz.saf", archive + "tail beyond the first MiB");
  rmd160_context c;
  rmd160_init(&c);
  rmd160_update(&c, archive.data(), 1048576);
  rmd160_final(&c);
  char hex[digest_hex_chars + 1];
  digest_to_hex(c.digest, hex);

  unsetenv("PAVO_LOGFILE");
  log_reset_for_tests();
  EXPECT_EQ(locate_game_data(hex), 1);
  EXPECT_TRUE(fs::is_directory(user_));
  log_printf("hello\n");
  log_close();
  EXPECT_NE(fixture_read(user_ + "lastlog.txt").find("hello"), std::string::npos);

  hex[0] = hex[0] == '0' ? '1' : '0';
  EXPECT_EQ(locate_game_data(hex), 0);
  EXPECT_EQ(locate_game_data("not a digest"), 0);
  fs::remove(install_ + "zzzz.saf");
  hex[0] = hex[0] == '0' ? '1' : '0';
  EXPECT_EQ(locate_game_data(hex), 0);
}

TEST_F(FileLayer, OpenHomeFolderRunsTheOpener) {
  const std::string bin = base_ + "/bin";
  fixture_write(bin + "/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > \"" + base_ + "/opened\"\n");
  ASSERT_EQ(chmod((bin + "/xdg-open").c_str(), 0755), 0);
  const std::string old_path = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", (bin + ":" + old_path).c_str(), 1);
  const int ok = open_home_folder();
  setenv("PATH", old_path.c_str(), 1);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(fixture_read(base_ + "/opened"), user_.substr(0, user_.size() - 1));
  struct stat st;
  ASSERT_EQ(stat(user_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
}

}  // namespace
