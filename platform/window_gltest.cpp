#include "platform/window.h"

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/display_mode.h"
#include "platform/log.h"
#include "platform/options.h"
#include "platform/os/os.h"
#include "platform/test_support_input.h"
#include "tools/testing/test_env.h"

namespace {

// Each test logs to its own file and reads the window options afresh.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_path_ = std::string(test_root()) + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
    setenv("PAVO_LOGFILE", log_path_.c_str(), 1);
    log_reset_for_tests();
    options_set_string("");
    window_reset_options_for_tests();
  }
  void TearDown() override {
    log_reset_for_tests();
    unsetenv("PAVO_LOGFILE");
  }
  std::string log_text() { return test_read_file(log_path_); }

  std::string log_path_;
};

// Handles the window's messages until done() holds (false only after a
// minute: a hang).
bool eventually(window_state* window, const std::function<bool()>& done) {
  for (int i = 0; i < 6000; ++i) {  // a minute: only a hang gets there
    window_pump_messages(window);
    if (done()) return true;
    os_sleep_ms(10);
  }
  return false;
}

// Waits for a frame to draw, draws it and returns its size.
bool draw_frame(window_state* window, int* width, int* height) {
  window_frame* frame = nullptr;
  if (!eventually(window, [&] { return (frame = window_begin_frame(window)) != nullptr; })) return false;
  *width = frame->width;
  *height = frame->height;
  glClearColor(0.2f, 0.6f, 0.8f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  return window_end_frame(window) == 1;
}

window_state* open_window(int width, int height, int flags = 24) {
  return gl_window_open("Test window", width, height, flags, 0, 16, 0, 0);
}

TEST_F(WindowTest, OpensAtTheAskedSize) {
  window_state* w = open_window(320, 240);
  ASSERT_NE(w, nullptr);
  int width = 0, height = 0;
  ASSERT_TRUE(draw_frame(w, &width, &height));
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);
  EXPECT_EQ(w->flags & (window_threaded | window_is_fullscreen), 0);
  ASSERT_NE(input_device_names(w), nullptr);
  EXPECT_EQ(input_device_names(w)[0], nullptr);  // no analogue axes
  gl_window_close(w);
  const std::string log = log_text();
  for (const char* line : {"Options:\n", " threaded: [no]\n", "Choosing pixel format\n", "Creating window\n",
                           "Creating OpenGL context\n", "Deleting OpenGL context\n", "Destroying window\n",
                           "Window shutdown complete\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
}

TEST_F(WindowTest, ZeroSizeOpensAtTheDesktopSize) {
  os_display_mode desktop{};
  window_state* w = open_window(0, 0);
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(os_desktop_mode(&desktop));
  int width = 0, height = 0;
  ASSERT_TRUE(draw_frame(w, &width, &height));
  EXPECT_EQ(width, desktop.width);
  EXPECT_EQ(height, desktop.height);
  gl_window_close(w);
}

TEST_F(WindowTest, CompatibilityContextWithTheGameExtensions) {
  window_state* w = open_window(64, 64, 16);
  ASSERT_NE(w, nullptr);
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  ASSERT_NE(version, nullptr);
  int major = 0, minor = 0;
  ASSERT_EQ(std::sscanf(version, "%d.%d", &major, &minor), 2);
  if (major * 10 + minor >= 32) {
    GLint profile = 0;
    glGetIntegerv(0x9126 /* GL_CONTEXT_PROFILE_MASK */, &profile);
    EXPECT_NE(profile & 0x2 /* compatibility */, 0) << version;
  }
  const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  ASSERT_NE(extensions, nullptr);
  const std::string all = std::string(" ") + extensions + " ";
  for (const char* e : {"GL_ARB_multitexture", "GL_EXT_framebuffer_object", "GL_ARB_vertex_shader",
                        "GL_ARB_fragment_shader", "GL_SGIS_generate_mipmap"})
    EXPECT_NE(all.find(std::string(" ") + e + " "), std::string::npos) << e;
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  gl_window_close(w);
}

TEST_F(WindowTest, HiddenOrSuspendedWindowGetsNoFrame) {
  window_state* w = open_window(200, 150);
  ASSERT_NE(w, nullptr);
  int width, height;
  ASSERT_TRUE(draw_frame(w, &width, &height));
  os_window_hide(w->handle);
  EXPECT_EQ(window_begin_frame(w), nullptr);
  os_window_show(w->handle);
  ASSERT_TRUE(draw_frame(w, &width, &height));
  w->suspended = 1;
  EXPECT_EQ(window_begin_frame(w), nullptr);
  w->suspended = 0;
  ASSERT_TRUE(draw_frame(w, &width, &height));
  gl_window_close(w);
}

TEST_F(WindowTest, RequestModeSwitchesFullScreenAndWindowed) {
  window_state* w = open_window(320, 240);
  ASSERT_NE(w, nullptr);
  const display_mode* modes = display_mode_list();
  ASSERT_NE(modes, nullptr);
  ASSERT_NE(modes[0].width, 0);
  os_display_mode desktop;
  ASSERT_TRUE(os_desktop_mode(&desktop));

  // The smallest listed mode: full screen picks exactly it.
  display_mode smallest = modes[0];
  for (const display_mode* m = modes; m->width; ++m)
    if (m->width + m->height < smallest.width + smallest.height) smallest = *m;
  ASSERT_EQ(window_request_mode(w, smallest.width, smallest.height, window_open_fullscreen), 1);
  EXPECT_TRUE(eventually(w, [&] { return (w->flags & window_is_fullscreen) != 0; }));
  EXPECT_TRUE(os_window_is_fullscreen(w->handle));
  EXPECT_EQ(w->fullscreen_width, static_cast<unsigned>(smallest.width));
  EXPECT_EQ(w->fullscreen_height, static_cast<unsigned>(smallest.height));
  int width, height;
  ASSERT_TRUE(draw_frame(w, &width, &height));

  // The OS layer refuses a display mode the screen does not have rather
  // than claiming a switch.
  EXPECT_EQ(os_window_set_fullscreen(w->handle, 123, 45), 0);

  ASSERT_EQ(window_request_mode(w, 400, 300, 0), 1);
  EXPECT_TRUE(eventually(w, [&] { return w->requested_width == 400 && w->requested_height == 300; }));
  EXPECT_EQ(w->flags & window_is_fullscreen, 0);
  EXPECT_FALSE(os_window_is_fullscreen(w->handle));
  ASSERT_TRUE(draw_frame(w, &width, &height));
  EXPECT_EQ(width, 400);
  EXPECT_EQ(height, 300);

  // 0 x 0 full screen: the desktop mode; 0 x 0 windowed: the whole desktop.
  window_request_mode(w, 0, 0, window_open_fullscreen);
  EXPECT_TRUE(eventually(w, [&] { return (w->flags & window_is_fullscreen) != 0; }));
  EXPECT_EQ(w->fullscreen_width, static_cast<unsigned>(desktop.width));
  window_request_mode(w, 0, 0, 0);
  EXPECT_TRUE(eventually(w, [&] { return w->requested_width == desktop.width && w->requested_height == desktop.height; }));
  EXPECT_EQ(w->flags & window_is_fullscreen, 0);
  gl_window_close(w);
}

TEST_F(WindowTest, OpensFullScreen) {
  window_state* w = open_window(0, 0, 24 | window_open_fullscreen);
  ASSERT_NE(w, nullptr);
  EXPECT_NE(w->flags & window_is_fullscreen, 0);
  EXPECT_TRUE(os_window_is_fullscreen(w->handle));
  int width, height;
  ASSERT_TRUE(draw_frame(w, &width, &height));
  gl_window_close(w);
}

// Pushes every input case's SDL events, then reads the game events back.
void check_injected_input(window_state* w, Uint32 window_id) {
  std::vector<game_event> want;
  for (const input_case& c : input_cases()) {
    for (const sdl_step& step : c.steps) {
      SDL_Event e = make_sdl_event(step, window_id);
      ASSERT_EQ(SDL_PushEvent(&e), 1) << c.name;
    }
    want.insert(want.end(), c.events.begin(), c.events.end());
  }
  std::vector<game_event> got;
  eventually(w, [&] {
    int code, pressed;
    while (got.size() < want.size() && window_get_event(w, &code, &pressed)) got.push_back({code, pressed});
    return got.size() >= want.size();
  });
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].code, want[i].code) << "event " << i;
    EXPECT_EQ(got[i].pressed, want[i].pressed) << "event " << i;
  }
}

TEST_F(WindowTest, InjectedInputArrivesAsGameEventsInOrder) {
  window_state* w = open_window(320, 240);
  ASSERT_NE(w, nullptr);
  check_injected_input(w, SDL_GetWindowID(reinterpret_cast<SDL_Window*>(w->handle)));
  gl_window_close(w);
}

TEST_F(WindowTest, SigtermIsACloseRequest) {
  window_state* w = open_window(100, 100);
  ASSERT_NE(w, nullptr);
  int code = 0, pressed = 0;
  while (window_get_event(w, &code, &pressed)) {
  }
  ASSERT_EQ(raise(SIGTERM), 0);
  EXPECT_TRUE(eventually(w, [&] { return window_get_event(w, &code, &pressed) == 1; }));
  EXPECT_EQ(code, input_code_close);
  EXPECT_EQ(pressed, 1);
  gl_window_close(w);
}

TEST_F(WindowTest, ThreadedWindowOpensServesAndCloses) {
  options_set_string("[threaded:yes]");
  window_state* w = open_window(320, 240);
  ASSERT_NE(w, nullptr);
  EXPECT_NE(w->flags & window_threaded, 0);
  EXPECT_NE(w->window_thread, w->creator_thread);
  int width = 0, height = 0;
  ASSERT_TRUE(draw_frame(w, &width, &height));
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);

  check_injected_input(w, SDL_GetWindowID(reinterpret_cast<SDL_Window*>(w->handle)));

  // The hold handshake: the window's thread answers and waits for release.
  ASSERT_EQ(os_post_message(os_msg_hold, 0, 0), 1);
  os_message reply;
  os_mailbox_wait(w->creator_mailbox, os_msg_held, os_msg_held, &reply);
  EXPECT_EQ(reply.message, static_cast<uint32_t>(os_msg_held));
  os_mailbox_post(w->window_mailbox, os_msg_release, 0, 0);

  window_request_mode(w, 200, 100, 0);
  EXPECT_TRUE(eventually(w, [&] { return w->requested_width == 200 && w->requested_height == 100; }));
  ASSERT_TRUE(draw_frame(w, &width, &height));
  EXPECT_EQ(width, 200);

  gl_window_close(w);
  const std::string log = log_text();
  for (const char* line : {" threaded: [yes]\n", "Starting message processing thread\n", "Setting close flag\n",
                           "Window shutdown complete\n", "Message processing thread done\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
}

}  // namespace
