#include "platform/input.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/input_device.h"
#include "platform/log.h"
#include "platform/mutex.h"
#include "platform/test_support_input.h"
#include "platform/window.h"
#include "tools/testing/test_env.h"

namespace {

TEST(EventQueue, FirstInFirstOutWithStampsCarried) {
  event_queue q{};
  event_queue_push(&q, 0x1010, 1, 5, 900);
  event_queue_push(&q, 0x1010, 0, 3, 100);  // earlier stamp, later arrival
  event_queue_push(&q, 'a', 1, 7, 0);
  int code, pressed, s, us;
  ASSERT_EQ(event_queue_pop(&q, &code, &pressed, &s, &us), 1);
  EXPECT_EQ(code, 0x1010);
  EXPECT_EQ(pressed, 1);
  EXPECT_EQ(s, 5);
  EXPECT_EQ(us, 900);
  ASSERT_EQ(event_queue_pop(&q, &code, &pressed, &s, &us), 1);
  EXPECT_EQ(pressed, 0);
  EXPECT_EQ(s, 3);
  ASSERT_EQ(event_queue_pop(&q, &code, &pressed, &s, &us), 1);
  EXPECT_EQ(code, 'a');
  EXPECT_EQ(event_queue_pop(&q, &code, &pressed, &s, &us), 0);
}

TEST(EventQueue, DropsThe257thEvent) {
  event_queue q{};
  event_queue_push(&q, 1, 1, 0, 0);
  int code, pressed, s, us;
  event_queue_pop(&q, &code, &pressed, &s, &us);  // head away from slot 0
  for (int i = 0; i < 257; ++i) event_queue_push(&q, 0x1000 + i, i % 2, i, 0);
  EXPECT_EQ(q.count, 256);
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(event_queue_pop(&q, &code, &pressed, &s, &us), 1);
    EXPECT_EQ(code, 0x1000 + i);
    EXPECT_EQ(pressed, i % 2);
  }
  EXPECT_EQ(event_queue_pop(&q, &code, &pressed, &s, &us), 0);
}

TEST(EventQueue, PopBeforeTakesStampsNotLaterThanTheLimit) {
  event_queue q{};
  event_queue_push(&q, 10, 1, 2, 500);
  event_queue_push(&q, 11, 1, 3, 0);
  int code, pressed;
  EXPECT_EQ(event_queue_pop_before(&q, &code, &pressed, 2, 499), 0);
  EXPECT_EQ(event_queue_pop_before(&q, &code, &pressed, 1, 999999), 0);
  ASSERT_EQ(event_queue_pop_before(&q, &code, &pressed, 2, 500), 1);  // equal stamp pops
  EXPECT_EQ(code, 10);
  EXPECT_EQ(event_queue_pop_before(&q, &code, &pressed, 2, 999999), 0);
  EXPECT_EQ(event_queue_pop_before(&q, &code, &pressed, 3, 0), 1);
}

TEST(InputNames, KeyNamesExactLooseAndHex) {
  struct row {
    const char* name;
    int code;  // 0: no match
  } rows[] = {
      {"Space", 0x1039},       {"space", 0x1039},      {"SPACE", 0x1039},     {" ", 0x1039},
      {"left_ctrl", 0x101D},   {"Left Ctrl", 0x101D},  {"left\tctrl", 0x101D}, {"Right Ctrl", 0x111D},
      {"0x1d", 0x101D},        {"0x1FF", 0x11FF},      {"0x200", 0},          {"", 0},
      {"Close", 0xDEAD},       {"close", 0xDEAD},      {"mouse_left", 0x2000}, {"Keypad Enter", 0x111C},
      {"esc", 0x1001},         {"page up", 0x1149},    {"pause", 0x1045},     {"Num Lock", 0x1145},
      {"\\", 0x102B},          {"F12", 0x1058},        {"Spacebar", 0},       {"Spac", 0},
  };
  for (const row& r : rows) {
    int code = -1;
    EXPECT_EQ(input_key_code_from_name(r.name, &code), r.code != 0) << '"' << r.name << '"';
    if (r.code) {
      EXPECT_EQ(code, r.code) << '"' << r.name << '"';
    }
  }
}

TEST(InputNames, LooseCompare) {
  EXPECT_EQ(input_name_compare("Left Ctrl", "LEFT_CTRL"), 0);
  EXPECT_EQ(input_name_compare("a b", "a\nb"), 0);
  EXPECT_LT(input_name_compare("Up", "Upper"), 0);
  EXPECT_GT(input_name_compare("b", "A"), 0);
  EXPECT_EQ(input_name_compare("", "x"), -'x');
}

TEST(InputNames, InternKeepsOneCopy) {
  const std::string a = "interned-name";
  const char* first = input_name_intern(a.c_str());
  EXPECT_NE(first, a.c_str());
  EXPECT_EQ(input_name_intern("interned-name"), first);
  EXPECT_STREQ(first, "interned-name");
}

// A device with 4 buttons and no axes, as a joystick would be.
int enable_ok(input_device*) { return 1; }
int open_ok(input_device*) { return 1; }
void nothing(input_device*) {}
int no_axis(input_device*, int) { return 0; }
const input_device_ops kFakeOps = {enable_ok, open_ok, nothing, no_axis, nothing, nothing};

struct bare_window {
  window_state state{};
  input_device joystick{};
  bare_window() {
    state.event_queue_mutex = mutex_create();
    joystick = input_device{nullptr, &state, "Joystick1", 0x12340000u, 0, 0, 4, 0, &kFakeOps};
    state.devices = &joystick;
  }
  ~bare_window() { mutex_close(state.event_queue_mutex); }
};

TEST(InputNames, DeviceButtonsByEitherForm) {
  bare_window w;
  int a = 0, b = 0;
  ASSERT_EQ(input_code_from_name(&w.state, &a, "Joystick1.key[3]"), 1);
  EXPECT_EQ(w.joystick.events_enabled, 1);
  ASSERT_EQ(input_code_from_name(&w.state, &b, "Joystick1 button 3"), 1);
  EXPECT_EQ(a, 0x12340003);
  EXPECT_EQ(a, b);
  EXPECT_STREQ(input_code_name(&w.state, a), "Joystick1 button 3");
  int c;
  EXPECT_EQ(input_code_from_name(&w.state, &c, "Joystick1.key[4]"), 0);  // 4 buttons
  EXPECT_EQ(input_code_from_name(&w.state, &c, "Joystick1.key[-1]"), 0);
  EXPECT_EQ(input_code_from_name(&w.state, &c, "Joystick2 button 0"), 0);
  EXPECT_EQ(input_code_from_name(&w.state, &c, ""), 0);
}

TEST(InputNames, CodeNames) {
  bare_window w;
  EXPECT_STREQ(input_code_name(&w.state, 0x1039), "Space");
  EXPECT_STREQ(input_code_name(&w.state, 0x111C), "Keypad Enter");
  EXPECT_STREQ(input_code_name(&w.state, 0x1038), "0x38");  // Left Alt has no table name
  EXPECT_EQ(input_code_name(&w.state, 0x1038), input_code_name(&w.state, 0x1038));
  EXPECT_STREQ(input_code_name(&w.state, 0xDEAD), "Close");
  EXPECT_STREQ(input_code_name(&w.state, 0x2002), "Mouse Right");
  EXPECT_EQ(input_code_name(&w.state, 'a'), nullptr);
  EXPECT_EQ(input_code_name(&w.state, 0x56780001), nullptr);
}

TEST(InputNames, FirstAliasWinsAndTheSecondIsLogged) {
  test_log_begin();
  EXPECT_EQ(alias_add("test-mouse-x", "Mouse.axis[0]"), 1);
  EXPECT_EQ(alias_add("test-mouse-x", "Mouse.axis[1]"), 0);
  EXPECT_STREQ(alias_lookup("test-mouse-x"), "Mouse.axis[0]");
  const char* other = "not-an-alias";
  EXPECT_EQ(alias_lookup(other), other);
  EXPECT_NE(test_log_text().find("Second alias for 'test-mouse-x' ('Mouse.axis[1]') ignored\n"), std::string::npos);
  test_log_end();
}

TEST(InputNames, AliasesLeadToKeysAndDeviceButtons) {
  bare_window w;
  alias_add("test-fire", "Joystick1.key[1]");
  alias_add("test-chain", "test-fire");  // one level only
  alias_add("test-left", "Mouse Left");
  int code;
  ASSERT_EQ(input_code_from_name(&w.state, &code, "test-fire"), 1);
  EXPECT_EQ(code, 0x12340001);
  EXPECT_EQ(input_code_from_name(&w.state, &code, "test-chain"), 0);
  ASSERT_EQ(input_code_from_name(&w.state, &code, "test-left"), 1);
  EXPECT_EQ(code, 0x2000);
}

// Every input case through the translator and the window procedure.
TEST(InputTranslation, SdlEventsBecomeGameEvents) {
  for (const input_case& c : input_cases()) {
    SCOPED_TRACE(c.name);
    bare_window w;
    os_translate_reset();
    for (const sdl_step& step : c.steps) {
      const SDL_Event e = make_sdl_event(step, 0);
      os_message messages[os_max_messages_per_event];
      const int n = os_translate_event(&e, messages, os_max_messages_per_event);
      for (int i = 0; i < n; ++i) window_proc(&w.state, messages[i]);
    }
    std::vector<game_event> got;
    int code, pressed;
    while (window_get_event(&w.state, &code, &pressed)) got.push_back({code, pressed});
    ASSERT_EQ(got.size(), c.events.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].code, c.events[i].code) << "event " << i;
      EXPECT_EQ(got[i].pressed, c.events[i].pressed) << "event " << i;
    }
  }
}

TEST(InputTranslation, KeyMessagesCarryScanCodeAndExtendedBit) {
  os_translate_reset();
  SDL_Event e = make_sdl_event({sdl_step::key_down, SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, 0, nullptr, 0}, 0);
  os_message m[4];
  ASSERT_EQ(os_translate_event(&e, m, 4), 2);
  EXPECT_EQ(m[0].message, static_cast<uint32_t>(os_msg_key_down));
  EXPECT_EQ(m[0].lparam, 0x011C0001u);
  EXPECT_EQ(m[1].message, static_cast<uint32_t>(os_msg_char));
  EXPECT_EQ(m[1].wparam, 13u);
  e = make_sdl_event({sdl_step::key_up, SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, 0, nullptr, 0}, 0);
  ASSERT_EQ(os_translate_event(&e, m, 4), 1);
  EXPECT_EQ(m[0].lparam, 0xC11C0001u);
}

TEST(InputTranslation, Cp1252) {
  EXPECT_EQ(os_codepoint_to_cp1252('A'), 'A');
  EXPECT_EQ(os_codepoint_to_cp1252(0xFF), 0xFF);
  EXPECT_EQ(os_codepoint_to_cp1252(0x20AC), 0x80);
  EXPECT_EQ(os_codepoint_to_cp1252(0x0178), 0x9F);
  EXPECT_EQ(os_codepoint_to_cp1252(0x2122), 0x99);
  EXPECT_EQ(os_codepoint_to_cp1252(0x85), '?');  // a C1 control, not a cp1252 character
  EXPECT_EQ(os_codepoint_to_cp1252(0x4E2D), '?');
}

}  // namespace
