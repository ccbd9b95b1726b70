// Test entry point shared by every test executable: each run gets its own
// home, data and per-user folders, so nothing a test writes reaches the
// real per-user folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/log.h"
#include "tools/testing/test_env.h"

static std::string g_test_root;

const char* test_root() { return g_test_root.c_str(); }

std::string test_read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

static std::string g_log_path;

std::string test_log_begin() {
  g_log_path = g_test_root + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
  setenv("PAVO_LOGFILE", g_log_path.c_str(), 1);
  log_reset_for_tests();
  return g_log_path;
}

std::string test_log_text() {
  log_close();
  return test_read_file(g_log_path);
}

void test_log_end() {
  log_reset_for_tests();
  unsetenv("PAVO_LOGFILE");
}

int main(int argc, char** argv) {
  char tmpl[] = "/tmp/bk_test_XXXXXX";
  const char* root = mkdtemp(tmpl);
  if (!root) {
    std::perror("mkdtemp");
    return 1;
  }
  g_test_root = root;
  const std::string home = g_test_root + "/home";
  const std::string data = g_test_root + "/xdg";
  const std::string bk = g_test_root + "/bkhome";
  std::error_code ec;
  for (const std::string& d : {home, data, bk}) std::filesystem::create_directories(d, ec);
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_DATA_HOME", data.c_str(), 1);
  setenv("BK_HOME", bk.c_str(), 1);
  // A test never waits for someone to answer a message box.
  setenv("BK_ERROR_BOX", "0", 1);

  ::testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  if (!std::getenv("BK_KEEP_TEST_ROOT")) std::filesystem::remove_all(g_test_root, ec);
  return rc;
}
