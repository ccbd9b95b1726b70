#include "platform/test_support_input.h"

#include <cstring>

namespace {

sdl_step down(SDL_Scancode s, SDL_Keycode k, Uint16 mod = KMOD_NONE) { return {sdl_step::key_down, s, k, mod, nullptr, 0}; }
sdl_step up(SDL_Scancode s, SDL_Keycode k, Uint16 mod = KMOD_NONE) { return {sdl_step::key_up, s, k, mod, nullptr, 0}; }
sdl_step repeat(SDL_Scancode s, SDL_Keycode k) { return {sdl_step::key_repeat, s, k, KMOD_NONE, nullptr, 0}; }
sdl_step text(const char* t) { return {sdl_step::text, SDL_SCANCODE_UNKNOWN, 0, 0, t, 0}; }
sdl_step button(bool pressed, Uint8 b) {
  return {pressed ? sdl_step::button_down : sdl_step::button_up, SDL_SCANCODE_UNKNOWN, 0, 0, nullptr, b};
}
sdl_step other(sdl_step::kind_t kind) { return {kind, SDL_SCANCODE_UNKNOWN, 0, 0, nullptr, 0}; }

const int P = 1, R = 0;  // pressed, released

}  // namespace

const std::vector<input_case>& input_cases() {
  static const std::vector<input_case> cases = {
      {"letter", {down(SDL_SCANCODE_A, SDLK_a), text("a"), up(SDL_SCANCODE_A, SDLK_a)},
       {{0x101E, P}, {'a', P}, {0x101E, R}}},
      {"digits", {down(SDL_SCANCODE_1, SDLK_1), text("1"), up(SDL_SCANCODE_1, SDLK_1), down(SDL_SCANCODE_0, SDLK_0), text("0"), up(SDL_SCANCODE_0, SDLK_0)},
       {{0x1002, P}, {'1', P}, {0x1002, R}, {0x100B, P}, {'0', P}, {0x100B, R}}},
      {"shifted letter",
       {down(SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, KMOD_LSHIFT), down(SDL_SCANCODE_Q, SDLK_q, KMOD_LSHIFT), text("Q"),
        up(SDL_SCANCODE_Q, SDLK_q, KMOD_LSHIFT), up(SDL_SCANCODE_LSHIFT, SDLK_LSHIFT)},
       {{0x102A, P}, {0x1010, P}, {'Q', P}, {0x1010, R}, {0x102A, R}}},
      {"extended keys",
       {down(SDL_SCANCODE_RCTRL, SDLK_RCTRL, KMOD_RCTRL), up(SDL_SCANCODE_RCTRL, SDLK_RCTRL),
        down(SDL_SCANCODE_UP, SDLK_UP), up(SDL_SCANCODE_UP, SDLK_UP), down(SDL_SCANCODE_INSERT, SDLK_INSERT),
        down(SDL_SCANCODE_DELETE, SDLK_DELETE), down(SDL_SCANCODE_HOME, SDLK_HOME), down(SDL_SCANCODE_END, SDLK_END),
        down(SDL_SCANCODE_PAGEUP, SDLK_PAGEUP), down(SDL_SCANCODE_PAGEDOWN, SDLK_PAGEDOWN),
        down(SDL_SCANCODE_LEFT, SDLK_LEFT), down(SDL_SCANCODE_RIGHT, SDLK_RIGHT), down(SDL_SCANCODE_DOWN, SDLK_DOWN),
        down(SDL_SCANCODE_KP_DIVIDE, SDLK_KP_DIVIDE), down(SDL_SCANCODE_NUMLOCKCLEAR, SDLK_NUMLOCKCLEAR),
        down(SDL_SCANCODE_PRINTSCREEN, SDLK_PRINTSCREEN), down(SDL_SCANCODE_LGUI, SDLK_LGUI),
        down(SDL_SCANCODE_APPLICATION, SDLK_APPLICATION), down(SDL_SCANCODE_KP_7, SDLK_KP_7)},
       {{0x111D, P}, {0x111D, R}, {0x1148, P}, {0x1148, R}, {0x1152, P}, {0x1153, P}, {127, P}, {0x1147, P},
        {0x114F, P}, {0x1149, P}, {0x1151, P}, {0x114B, P}, {0x114D, P}, {0x1150, P}, {0x1135, P}, {0x1145, P}, {0x1137, P},
        {0x115B, P}, {0x115D, P}, {0x1047, P}}},
      {"tab, enter, backspace and esc type their characters",
       {down(SDL_SCANCODE_TAB, SDLK_TAB), up(SDL_SCANCODE_TAB, SDLK_TAB), down(SDL_SCANCODE_RETURN, SDLK_RETURN),
        down(SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER), down(SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE),
        down(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE)},
       {{0x100F, P}, {9, P}, {0x100F, R}, {0x101C, P}, {13, P}, {0x111C, P}, {13, P}, {0x100E, P}, {8, P},
        {0x1001, P}, {27, P}}},
      {"alt combinations are system keys",
       {down(SDL_SCANCODE_LALT, SDLK_LALT, KMOD_LALT), down(SDL_SCANCODE_F4, SDLK_F4, KMOD_LALT), text("x"),
        up(SDL_SCANCODE_F4, SDLK_F4, KMOD_LALT), up(SDL_SCANCODE_LALT, SDLK_LALT),
        down(SDL_SCANCODE_F10, SDLK_F10), up(SDL_SCANCODE_F10, SDLK_F10)},
       {}},
      {"a key released while alt is held still delivers its release",
       {down(SDL_SCANCODE_W, SDLK_w), down(SDL_SCANCODE_RALT, SDLK_RALT, KMOD_RALT),
        up(SDL_SCANCODE_W, SDLK_w, KMOD_RALT), up(SDL_SCANCODE_RALT, SDLK_RALT)},
       {{0x1011, P}, {0x1011, R}}},
      {"ctrl+letter",
       {down(SDL_SCANCODE_LCTRL, SDLK_LCTRL, KMOD_LCTRL), down(SDL_SCANCODE_C, SDLK_c, KMOD_LCTRL),
        up(SDL_SCANCODE_C, SDLK_c, KMOD_LCTRL), down(SDL_SCANCODE_Z, SDLK_z, KMOD_LCTRL), text("z"),
        up(SDL_SCANCODE_LCTRL, SDLK_LCTRL)},
       {{0x101D, P}, {0x102E, P}, {3, P}, {0x102E, R}, {0x102C, P}, {26, P}, {0x101D, R}}},
      {"ctrl+alt is not a system key", {down(SDL_SCANCODE_E, SDLK_e, KMOD_LCTRL | KMOD_RALT), text("\xE2\x82\xAC")},
       {{0x1012, P}, {0x80, P}}},
      {"auto-repeat presses again", {down(SDL_SCANCODE_S, SDLK_s), repeat(SDL_SCANCODE_S, SDLK_s), up(SDL_SCANCODE_S, SDLK_s)},
       {{0x101F, P}, {0x101F, P}, {0x101F, R}}},
      {"unmapped keys give nothing", {down(SDL_SCANCODE_VOLUMEUP, SDLK_VOLUMEUP), up(SDL_SCANCODE_VOLUMEUP, SDLK_VOLUMEUP)}, {}},
      {"text as windows-1252", {text("\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD!")}, {{0xE9, P}, {0x80, P}, {'?', P}, {'!', P}}},
      {"mouse buttons",
       {button(true, SDL_BUTTON_LEFT), button(false, SDL_BUTTON_LEFT), button(true, SDL_BUTTON_MIDDLE),
        button(true, SDL_BUTTON_RIGHT), button(false, SDL_BUTTON_RIGHT), button(true, SDL_BUTTON_X1)},
       {{0x2000, P}, {0x2000, R}, {0x2001, P}, {0x2002, P}, {0x2002, R}}},
      {"close", {other(sdl_step::window_close), other(sdl_step::quit)}, {{0xDEAD, P}, {0xDEAD, P}}},
  };
  return cases;
}

SDL_Event make_sdl_event(const sdl_step& step, Uint32 window_id) {
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  switch (step.kind) {
    case sdl_step::key_down:
    case sdl_step::key_up:
    case sdl_step::key_repeat:
      e.type = step.kind == sdl_step::key_up ? SDL_KEYUP : SDL_KEYDOWN;
      e.key.windowID = window_id;
      e.key.state = step.kind == sdl_step::key_up ? SDL_RELEASED : SDL_PRESSED;
      e.key.repeat = step.kind == sdl_step::key_repeat;
      e.key.keysym.scancode = step.scancode;
      e.key.keysym.sym = step.sym;
      e.key.keysym.mod = step.mod;
      break;
    case sdl_step::text:
      e.type = SDL_TEXTINPUT;
      e.text.windowID = window_id;
      std::strncpy(e.text.text, step.typed, sizeof e.text.text - 1);
      break;
    case sdl_step::button_down:
    case sdl_step::button_up:
      e.type = step.kind == sdl_step::button_down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
      e.button.windowID = window_id;
      e.button.button = step.button;
      e.button.state = step.kind == sdl_step::button_down ? SDL_PRESSED : SDL_RELEASED;
      e.button.clicks = 1;
      break;
    case sdl_step::quit:
      e.type = SDL_QUIT;
      break;
    case sdl_step::window_close:
      e.type = SDL_WINDOWEVENT;
      e.window.windowID = window_id;
      e.window.event = SDL_WINDOWEVENT_CLOSE;
      break;
  }
  return e;
}
