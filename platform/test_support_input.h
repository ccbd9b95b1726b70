#pragma once
// Input cases shared by the translator test and the window test: SDL events
// as the keyboard, mouse and window send them, and the events the game must
// read from its queue for them.
#include <SDL.h>

#include <vector>

struct sdl_step {
  enum kind_t { key_down, key_up, key_repeat, text, button_down, button_up, quit, window_close } kind;
  SDL_Scancode scancode;
  SDL_Keycode sym;
  Uint16 mod;
  const char* typed;  // text steps
  Uint8 button;       // button steps
};

struct game_event {
  int code;
  int pressed;
};

struct input_case {
  const char* name;
  std::vector<sdl_step> steps;
  std::vector<game_event> events;
};

const std::vector<input_case>& input_cases();
SDL_Event make_sdl_event(const sdl_step& step, Uint32 window_id);
