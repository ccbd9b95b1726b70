// Window messages over SDL events, posted messages, thread mailboxes and the
// close signals.
#include "platform/os/os_events.h"

#include <SDL.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstring>
#include <new>

#include "platform/os/os.h"

namespace {

// Keys whose press was delivered, by set-1 code; their release is always
// delivered, whatever the modifiers are by then.
bool g_key_down[0x200];
// Modifiers of the last key event: text events carry none of their own.
uint16_t g_last_mod;

os_message g_pending[os_max_messages_per_event];
int g_pending_count;
int g_pending_next;

std::atomic<int> g_close_signals{0};

uint32_t user_event_type() {
  static const uint32_t type = SDL_RegisterEvents(1);
  return type;
}

int add(os_message* out, int n, int max, uint32_t message, uint32_t wparam, uint32_t lparam) {
  if (n >= max) return n;
  out[n] = os_message{message, wparam, lparam, os_milliseconds()};
  return n + 1;
}

// The character Windows sends with a key press that SDL never sends as
// text, or 0.
uint32_t control_char(SDL_Keycode sym, bool ctrl, bool alt) {
  switch (sym) {
    case SDLK_BACKSPACE: return 8;
    case SDLK_TAB: return 9;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return 13;
    case SDLK_ESCAPE: return 27;
    // Text fields and the editor take Delete as the character 127.
    case SDLK_DELETE: return 127;
    default: break;
  }
  if (ctrl && !alt && sym >= SDLK_a && sym <= SDLK_z) return static_cast<uint32_t>(sym - SDLK_a + 1);
  return 0;
}

// AltGr counts as Ctrl+Alt, as on Windows.
void modifiers(uint16_t mod, bool* ctrl, bool* alt) {
  *ctrl = (mod & KMOD_CTRL) != 0;
  *alt = (mod & KMOD_ALT) != 0;
  if (mod & KMOD_MODE) *ctrl = *alt = true;
}

int translate_key(const SDL_KeyboardEvent& key, os_message* out, int max) {
  const int scan = os_scancode_to_set1(key.keysym.scancode);
  if (scan < 0) return 0;
  g_last_mod = key.keysym.mod;
  bool ctrl, alt;
  modifiers(key.keysym.mod, &ctrl, &alt);
  if (key.keysym.scancode == SDL_SCANCODE_LALT || key.keysym.scancode == SDL_SCANCODE_RALT) alt = true;
  const uint32_t lparam = 1u | static_cast<uint32_t>(scan) << 16;
  if (key.state == SDL_RELEASED) {
    if (!g_key_down[scan]) return 0;
    g_key_down[scan] = false;
    return add(out, 0, max, os_msg_key_up, 0, lparam | 0xC0000000u);
  }
  const bool system = (alt && !ctrl) || key.keysym.scancode == SDL_SCANCODE_F10;
  if (system) return 0;
  g_key_down[scan] = true;
  int n = add(out, 0, max, os_msg_key_down, 0, lparam);
  const uint32_t c = control_char(key.keysym.sym, ctrl, alt);
  if (c) n = add(out, n, max, os_msg_char, c, lparam);
  return n;
}

// One code point from UTF-8 at *p, advancing *p; malformed bytes give
// U+FFFD one byte at a time.
uint32_t next_codepoint(const unsigned char** p) {
  const unsigned char* s = *p;
  int len = 0;
  uint32_t cp = 0;
  if (s[0] < 0x80) {
    *p = s + 1;
    return s[0];
  } else if ((s[0] & 0xE0) == 0xC0) {
    len = 2;
    cp = s[0] & 0x1F;
  } else if ((s[0] & 0xF0) == 0xE0) {
    len = 3;
    cp = s[0] & 0x0F;
  } else if ((s[0] & 0xF8) == 0xF0) {
    len = 4;
    cp = s[0] & 0x07;
  } else {
    *p = s + 1;
    return 0xFFFD;
  }
  for (int i = 1; i < len; ++i) {
    if ((s[i] & 0xC0) != 0x80) {
      *p = s + 1;
      return 0xFFFD;
    }
    cp = cp << 6 | (s[i] & 0x3F);
  }
  *p = s + len;
  return cp;
}

int translate_text(const char* text, os_message* out, int max) {
  bool ctrl, alt;
  modifiers(g_last_mod, &ctrl, &alt);
  // Alt+key is a system key and Ctrl+key makes control characters (or
  // nothing) on Windows; only both together (AltGr) type text.
  if (ctrl != alt) return 0;
  int n = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    const uint32_t cp = next_codepoint(&p);
    if (cp < 0x20 || cp == 0x7F) continue;
    n = add(out, n, max, os_msg_char, os_codepoint_to_cp1252(cp), 0);
  }
  return n;
}

int translate_window(const SDL_WindowEvent& w, os_message* out, int max) {
  switch (w.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED: {
      int width = w.data1, height = w.data2;
      if (SDL_Window* window = SDL_GetWindowFromID(w.windowID)) SDL_GL_GetDrawableSize(window, &width, &height);
      const uint32_t lparam = (static_cast<uint32_t>(width) & 0xFFFF) | (static_cast<uint32_t>(height) & 0xFFFF) << 16;
      return add(out, 0, max, os_msg_size, 0, lparam);
    }
    case SDL_WINDOWEVENT_FOCUS_GAINED: return add(out, 0, max, os_msg_activate, 1, 0);
    case SDL_WINDOWEVENT_FOCUS_LOST: return add(out, 0, max, os_msg_activate, 0, 0);
    case SDL_WINDOWEVENT_CLOSE: return add(out, 0, max, os_msg_close, 0, 0);
    default: return 0;
  }
}

int translate_button(const SDL_MouseButtonEvent& b, os_message* out, int max) {
  const bool down = b.state == SDL_PRESSED;
  switch (b.button) {
    case SDL_BUTTON_LEFT: return add(out, 0, max, down ? os_msg_lbutton_down : os_msg_lbutton_up, 0, 0);
    case SDL_BUTTON_MIDDLE: return add(out, 0, max, down ? os_msg_mbutton_down : os_msg_mbutton_up, 0, 0);
    case SDL_BUTTON_RIGHT: return add(out, 0, max, down ? os_msg_rbutton_down : os_msg_rbutton_up, 0, 0);
    default: return 0;
  }
}

void on_close_signal(int) { g_close_signals.fetch_add(1); }

}  // namespace

int os_translate_event(const SDL_Event* event, os_message* out, int max) {
  if (event->type == user_event_type()) {
    const uint32_t wparam = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(event->user.data1));
    const uint32_t lparam = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(event->user.data2));
    return add(out, 0, max, static_cast<uint32_t>(event->user.code), wparam, lparam);
  }
  switch (event->type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: return translate_key(event->key, out, max);
    case SDL_TEXTINPUT: return translate_text(event->text.text, out, max);
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: return translate_button(event->button, out, max);
    case SDL_WINDOWEVENT: return translate_window(event->window, out, max);
    case SDL_QUIT: return add(out, 0, max, os_msg_close, 0, 0);
    default: return 0;
  }
}

void os_translate_reset() {
  std::memset(g_key_down, 0, sizeof g_key_down);
  g_last_mod = 0;
  g_pending_count = g_pending_next = 0;
}

unsigned char os_codepoint_to_cp1252(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
  // The 0x80-0x9F row of Windows-1252 (0x81, 0x8D, 0x8F, 0x90, 0x9D unused).
  static const uint16_t row80[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  for (int i = 0; i < 32; ++i)
    if (row80[i] != 0 && row80[i] == cp) return static_cast<unsigned char>(0x80 + i);
  return '?';
}

int os_next_message(os_message* message, int wait_ms) {
  for (;;) {
    if (g_pending_next < g_pending_count) {
      *message = g_pending[g_pending_next++];
      return 1;
    }
    if (g_close_signals.exchange(0) > 0) {
      *message = os_message{os_msg_close, 0, 0, os_milliseconds()};
      return 1;
    }
    SDL_Event event;
    const int got = wait_ms > 0 ? SDL_WaitEventTimeout(&event, wait_ms) : SDL_PollEvent(&event);
    if (!got) return 0;
    g_pending_count = os_translate_event(&event, g_pending, os_max_messages_per_event);
    g_pending_next = 0;
  }
}

int os_post_message(uint32_t message, uint32_t wparam, uint32_t lparam) {
  SDL_Event event;
  std::memset(&event, 0, sizeof event);
  event.type = user_event_type();
  event.user.code = static_cast<Sint32>(message);
  event.user.data1 = reinterpret_cast<void*>(static_cast<uintptr_t>(wparam));
  event.user.data2 = reinterpret_cast<void*>(static_cast<uintptr_t>(lparam));
  return SDL_PushEvent(&event) == 1 ? 1 : 0;
}

void os_install_close_signals() {
  static bool installed = false;
  if (!installed) {
    installed = true;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_close_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
  }
  // A launcher may start us with these blocked, for instance so that a
  // signal sent before we could handle it waits for us rather than killing
  // the process; left blocked, the close request would never arrive.
  sigset_t close_signals;
  sigemptyset(&close_signals);
  sigaddset(&close_signals, SIGTERM);
  sigaddset(&close_signals, SIGINT);
  pthread_sigmask(SIG_UNBLOCK, &close_signals, nullptr);
}

enum { mailbox_capacity = 64 };

struct os_mailbox {
  pthread_mutex_t mutex;
  pthread_cond_t posted;
  os_message messages[mailbox_capacity];  // in order of posting
  int count;
};

os_mailbox* os_mailbox_create() {
  os_mailbox* mailbox = new (std::nothrow) os_mailbox;
  if (!mailbox) return nullptr;
  pthread_mutex_init(&mailbox->mutex, nullptr);
  pthread_cond_init(&mailbox->posted, nullptr);
  mailbox->count = 0;
  return mailbox;
}

void os_mailbox_destroy(os_mailbox* mailbox) {
  if (!mailbox) return;
  pthread_cond_destroy(&mailbox->posted);
  pthread_mutex_destroy(&mailbox->mutex);
  delete mailbox;
}

int os_mailbox_post(os_mailbox* mailbox, uint32_t message, uint32_t wparam, uint32_t lparam) {
  pthread_mutex_lock(&mailbox->mutex);
  const bool room = mailbox->count < mailbox_capacity;
  if (room) {
    mailbox->messages[mailbox->count++] = os_message{message, wparam, lparam, os_milliseconds()};
    pthread_cond_broadcast(&mailbox->posted);
  }
  pthread_mutex_unlock(&mailbox->mutex);
  return room ? 1 : 0;
}

void os_mailbox_wait(os_mailbox* mailbox, uint32_t first, uint32_t last, os_message* message) {
  pthread_mutex_lock(&mailbox->mutex);
  for (;;) {
    for (int i = 0; i < mailbox->count; ++i) {
      if (mailbox->messages[i].message < first || mailbox->messages[i].message > last) continue;
      *message = mailbox->messages[i];
      std::memmove(&mailbox->messages[i], &mailbox->messages[i + 1],
                   sizeof(os_message) * static_cast<size_t>(mailbox->count - i - 1));
      --mailbox->count;
      pthread_mutex_unlock(&mailbox->mutex);
      return;
    }
    pthread_cond_wait(&mailbox->posted, &mailbox->mutex);
  }
}
