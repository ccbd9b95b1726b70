// Game controllers over SDL joysticks.
#include "platform/os/os_joystick.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

struct os_joystick {
  SDL_Joystick* sdl;
};

static void copy_text(char* out, size_t size, const char* text) {
  std::snprintf(out, size, "%s", text ? text : "");
}

int os_joystick_init() {
  // Joystick state must change only when the game polls, never from the
  // window thread's event pump.
  SDL_SetHint(SDL_HINT_AUTO_UPDATE_JOYSTICKS, "0");
  // The game decides when input counts (only while its window has the
  // focus); SDL must keep the state current meanwhile, or a stick held
  // while the focus was away would read stale until it moves again.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return 0;
  // Buttons reach the game by polling; queued SDL joystick events would only
  // pile up unread.
  SDL_JoystickEventState(SDL_IGNORE);
  return 1;
}

void os_joystick_quit() { SDL_QuitSubSystem(SDL_INIT_JOYSTICK); }

int os_joystick_count() {
  const int n = SDL_NumJoysticks();
  return n > 0 ? n : 0;
}

int os_joystick_describe(int index, os_joystick_info* info) {
  if (index < 0 || index >= os_joystick_count()) return 0;
  copy_text(info->instance_name, sizeof info->instance_name, SDL_JoystickNameForIndex(index));
  const SDL_JoystickGUID guid = SDL_JoystickGetDeviceGUID(index);
  SDL_JoystickGetGUIDString(guid, info->product_name, static_cast<int>(sizeof info->product_name));
  return 1;
}

os_joystick* os_joystick_open(int index) {
  SDL_Joystick* sdl = SDL_JoystickOpen(index);
  if (!sdl) return nullptr;
  os_joystick* j = static_cast<os_joystick*>(SDL_calloc(1, sizeof(os_joystick)));
  if (!j) {
    SDL_JoystickClose(sdl);
    return nullptr;
  }
  j->sdl = sdl;
  return j;
}

void os_joystick_close(os_joystick* joystick) {
  if (!joystick) return;
  SDL_JoystickClose(joystick->sdl);
  SDL_free(joystick);
}

int os_joystick_axis_count(os_joystick* joystick) {
  const int n = SDL_JoystickNumAxes(joystick->sdl);
  return n > 0 ? n : 0;
}

int os_joystick_button_count(os_joystick* joystick) {
  const int n = SDL_JoystickNumButtons(joystick->sdl);
  return n > 0 ? n : 0;
}

void os_joystick_update() { SDL_JoystickUpdate(); }

int os_joystick_axis(os_joystick* joystick, int axis) { return SDL_JoystickGetAxis(joystick->sdl, axis); }

int os_joystick_button(os_joystick* joystick, int button) {
  return SDL_JoystickGetButton(joystick->sdl, button) ? 1 : 0;
}

int os_joystick_add_virtual(const char* name, int axes, int buttons) {
  SDL_VirtualJoystickDesc desc;
  SDL_zero(desc);
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = static_cast<Uint16>(axes);
  desc.nbuttons = static_cast<Uint16>(buttons);
  desc.name = name;
  return SDL_JoystickAttachVirtualEx(&desc);
}

int os_joystick_remove_virtual(int index) { return SDL_JoystickDetachVirtual(index) == 0; }

int os_joystick_set_virtual_axis(os_joystick* joystick, int axis, int value) {
  if (value < -32768) value = -32768;
  if (value > 32767) value = 32767;
  return SDL_JoystickSetVirtualAxis(joystick->sdl, axis, static_cast<Sint16>(value)) == 0;
}

int os_joystick_set_virtual_button(os_joystick* joystick, int button, int pressed) {
  return SDL_JoystickSetVirtualButton(joystick->sdl, button, pressed ? SDL_PRESSED : SDL_RELEASED) == 0;
}
