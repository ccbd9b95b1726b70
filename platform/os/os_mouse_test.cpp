#include "platform/os/os_mouse.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace {

void push_motion(int dx, int dy) {
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_MOUSEMOTION;
  e.motion.xrel = dx;
  e.motion.yrel = dy;
  SDL_PushEvent(&e);
}

void push_wheel(int y, Uint32 direction) {
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_MOUSEWHEEL;
  e.wheel.y = y;
  e.wheel.direction = direction;
  SDL_PushEvent(&e);
}

void push_button(Uint8 button, bool down) {
  SDL_Event e;
  SDL_zero(e);
  e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  e.button.button = button;
  SDL_PushEvent(&e);
}

TEST(OsMouse, MotionAndWheelAccumulateUntilTaken) {
  ASSERT_EQ(os_mouse_watch_start(), 1);
  int dx = 99, dy = 99, wheel = 99;
  os_mouse_take_motion(&dx, &dy, &wheel);  // start clean

  push_motion(3, -4);
  push_motion(5, 1);
  push_wheel(1, SDL_MOUSEWHEEL_NORMAL);
  push_wheel(1, SDL_MOUSEWHEEL_FLIPPED);
  push_wheel(2, SDL_MOUSEWHEEL_NORMAL);
  // Taking x alone keeps y for a later reader.
  os_mouse_take_motion(&dx, nullptr, nullptr);
  EXPECT_EQ(dx, 8);
  os_mouse_take_motion(&dx, &dy, &wheel);
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(dy, -3);
  EXPECT_EQ(wheel, 2 * os_mouse_wheel_step);
  os_mouse_take_motion(&dx, &dy, &wheel);
  EXPECT_EQ(dy, 0);
  EXPECT_EQ(wheel, 0);

  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  os_mouse_watch_stop();
}

TEST(OsMouse, ButtonsFollowPressAndRelease) {
  ASSERT_EQ(os_mouse_watch_start(), 1);
  push_button(SDL_BUTTON_LEFT, true);
  push_button(SDL_BUTTON_MIDDLE, true);
  push_button(SDL_BUTTON_X2, true);
  EXPECT_EQ(os_mouse_buttons(), unsigned(os_mouse_left | os_mouse_middle | os_mouse_x2));
  push_button(SDL_BUTTON_LEFT, false);
  EXPECT_EQ(os_mouse_buttons(), unsigned(os_mouse_middle | os_mouse_x2));
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  os_mouse_watch_stop();
}

}  // namespace
