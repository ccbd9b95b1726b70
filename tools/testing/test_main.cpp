// Test entry point shared by every test executable: each run gets its own
// home, data and per-user folders, so nothing a test writes reaches the
// real per-user folder. GL test executables also get an X server of their
// own (see own_display below).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

std::string test_bkdata_program() {
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "bkdata";
  exe[n] = 0;
  *std::strrchr(exe, '/') = 0;
  return std::string(exe) + "/../bkdata";
}

bool test_run_bkdata(const std::string& args) {
  return std::system((test_bkdata_program() + " " + args + " >/dev/null").c_str()) == 0;
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

#ifdef BK_TEST_OWN_DISPLAY
// With no window manager, SDL gives the keyboard focus to every window it
// shows, and a window that is destroyed leaves the focus on nothing. Test
// processes sharing one X server therefore take the focus from one another,
// cover one another's windows and see one another's pointer warps, full-screen
// switches and screen size. So each GL test process starts a virtual X server
// of its own, at a screen size of our choosing, and points DISPLAY at it.
static pid_t g_xvfb_pid = -1;

static bool start_own_display() {
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) {
    std::perror("pipe2");
    return false;
  }
  // Everything the child needs is made before the fork: it only sets up
  // its descriptors and starts the server.
  const pid_t parent = getpid();
  const std::string log = g_test_root + "/xvfb.log";
  const std::string fd_text = std::to_string(ready[1]);
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("fork");
    close(ready[0]);
    close(ready[1]);
    return false;
  }
  if (pid == 0) {
    // The server goes when this process goes, however it ends.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    fcntl(ready[1], F_SETFD, 0);  // the server writes its number here
    const int err = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = open("/dev/null", O_WRONLY);
    if (err < 0 || null < 0 || dup2(err, STDERR_FILENO) < 0 || dup2(null, STDOUT_FILENO) < 0) _exit(1);
    // -displayfd: the server takes the first free display number itself and
    // writes it there once it accepts connections, so two servers never race
    // for one number.
    execlp("Xvfb", "Xvfb", "-displayfd", fd_text.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
           "-noreset", static_cast<char*>(nullptr));
    static const char failed[] = "Xvfb could not be started (is the xvfb package installed?)\n";
    (void)!write(STDERR_FILENO, failed, sizeof failed - 1);
    _exit(127);
  }
  close(ready[1]);
  g_xvfb_pid = pid;

  std::string number;
  for (;;) {
    pollfd p{ready[0], POLLIN, 0};
    // A loaded machine can be slow to start a server, but one that has not
    // answered within a minute is not coming.
    const int n = poll(&p, 1, 60000);
    if (n < 0 && errno == EINTR) continue;
    char c;
    if (n <= 0 || read(ready[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(ready[0]);
  if (number.empty()) {
    std::fprintf(stderr, "The virtual X server (Xvfb) did not start; its output:\n%s\n",
                 test_read_file(g_test_root + "/xvfb.log").c_str());
    return false;
  }
  setenv("DISPLAY", (":" + number).c_str(), 1);
  // The server has no access control; a cookie file of another display
  // has nothing to say about this one.
  unsetenv("XAUTHORITY");
  return true;
}

static void stop_own_display() {
  if (g_xvfb_pid <= 0) return;
  kill(g_xvfb_pid, SIGTERM);
  int status;
  while (waitpid(g_xvfb_pid, &status, 0) < 0 && errno == EINTR) {
  }
  g_xvfb_pid = -1;
}

#endif

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
#ifdef BK_TEST_OWN_DISPLAY
  // Listing the tests, as the build's test discovery does, needs no display.
  if (!GTEST_FLAG_GET(list_tests) && !start_own_display()) {
    stop_own_display();
    std::filesystem::remove_all(g_test_root, ec);
    return 1;
  }
#endif
  const int rc = RUN_ALL_TESTS();
#ifdef BK_TEST_OWN_DISPLAY
  stop_own_display();
#endif
  if (!std::getenv("BK_KEEP_TEST_ROOT")) std::filesystem::remove_all(g_test_root, ec);
  return rc;
}
